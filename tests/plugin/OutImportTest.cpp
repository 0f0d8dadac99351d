#include "MeshwrightHost.h"

#include "curves/ParCurve.h"
#include "fitting/FitFixtures.h"
#include "net/Face.h"
#include "support/AnalyticCurves.h"

#include <fstream>
#include <sstream>

namespace {

// One named surface with its own colour, one trimmed face and one curve, as
// the system writes them.
std::string outText(CFace& face)
{
    auto surface = fitfix::heightFieldSurface(4, 4, {0.0, 0.0, 2.0, 1.0}, fitfix::flat(1.0));
    surface->name = CSimpleString("hood");
    surface->setColour(0.5, 1.0, 0.2);
    auto curve = fitfix::straightCurve(Vector(0.0, 0.0, 0.0), Vector(1.0, 2.0, 0.0));
    std::ostringstream out;
    surface->write(out);
    out << '\n';
    face.write(out);
    out << '\n';
    curve->write(out);
    out << '\n';
    return out.str();
}

int countType(CVezadDoc& doc, ON::object_type type)
{
    int n = 0;
    CVezadObjectIterator it(doc);
    for (CVezadObject* object = it.First(); object; object = it.Next())
        n += object->ObjectType() == type;
    return n;
}

TEST_F(MeshwrightHost, OutImportAddsSurfacesFacesAndCurvesUpToAnUnknownRecord)
{
    CFace face(makeWavyBicubic(Interval(0.0, 4.0), Interval(0.0, 4.0)).release());
    const std::string text = outText(face);
    const std::string good = mwtest::scratchPath("good.OUT");
    const std::string stopped = mwtest::scratchPath("stopped.out");
    const std::string cut = mwtest::scratchPath("cut.out");
    const std::string mesh = mwtest::scratchPath("mesh.stl");
    std::ofstream(good) << text;
    std::ofstream(stopped) << text << "{ nothing the system writes }\n" << text;
    std::ofstream(cut) << text.substr(0, text.size() / 2);
    std::ofstream(mesh) << "solid nothing\nendsolid nothing\n";

    EXPECT_EQ(command("_Import \"" + good + "\""), 0);
    EXPECT_EQ(countType(doc(), ON::surface_object), 1);
    EXPECT_EQ(countType(doc(), ON::brep_object), 1);
    EXPECT_EQ(countType(doc(), ON::curve_object), 1);
    const CVezadObject* surface = doc().ObjectAt(0);
    ASSERT_EQ(surface->ObjectType(), ON::surface_object);
    const ON_3dmObjectAttributes& attributes = surface->Attributes();
    EXPECT_EQ(attributes.m_name, L"hood");
    EXPECT_EQ(attributes.ColorSource(), ON::color_from_object);
    EXPECT_EQ(attributes.m_color.Red(), 127);
    EXPECT_EQ(attributes.m_color.Green(), 255);
    EXPECT_EQ(attributes.m_color.Blue(), 51);
    const std::string& out = m_host.standardOutput();
    EXPECT_NE(out.find("faceCount = 1"), std::string::npos);
    EXPECT_NE(out.find("nurbsCount = 2"), std::string::npos);

    // The Brep follows the face within the tolerance.
    const ON_Brep* brep = CVezadObjRef(doc().ObjectAt(1)).Brep();
    ASSERT_NE(brep, nullptr);
    EXPECT_TRUE(brep->IsValid());
    for (double u : {0.3, 1.7, 3.9})
        for (double v : {0.1, 2.2, 3.5}) {
            Vector expected;
            face.getPoint(expected, u, v);
            const ON_3dPoint got = brep->m_F[0].PointAt(u, v);
            EXPECT_NEAR(got.DistanceTo(ON_3dPoint(expected[0], expected[1], expected[2])), 0.0,
                        0.75 * doc().AbsoluteTolerance());
        }

    int before = doc().ObjectCount();
    EXPECT_EQ(command("_Import \"" + stopped + "\""), 0);
    EXPECT_TRUE(boxShown("Unknown type in input-stream, input stopped.", "Meshwright"));
    EXPECT_EQ(doc().ObjectCount(), before + 3);
    const std::size_t boxCount = boxes().size();
    EXPECT_EQ(command("_Import \"" + cut + "\""), 0);
    EXPECT_EQ(command("_Import \"" + mesh + "\""), 0);
    EXPECT_EQ(boxes().size(), boxCount);
    EXPECT_EQ(doc().ObjectCount(), before + 3 + 1); // the cut file's whole surface

    // A file that ends inside a record adds the records before it, whole,
    // and stops without a box. A trimmed face cut inside its trim loop read
    // its surface and came in as a Brep with its loop half-read.
    auto* trimmed = makeWavyBicubic(Interval(0.0, 4.0), Interval(0.0, 4.0)).release();
    CFace cutFace(trimmed);
    auto* loop = new CLoop;
    const double corners[5][3] = {{1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}, {1, 1, 0}};
    for (int k = 0; k < 4; ++k)
        loop->curves.append(new CParCurve(makeCurve(corners[k], corners[k + 1]), trimmed, false));
    ASSERT_TRUE(cutFace.setOuterLoop(loop));
    const std::string two = outText(cutFace);
    const std::size_t faceAt = two.find("Face=");
    // The loop count follows the surface's blank line, the curve count it.
    const std::size_t loopAt = two.find("\n\n1\n4\n", faceAt) + 2;
    const std::size_t consAt = two.find("ListOfCONS", faceAt);
    ASSERT_TRUE(faceAt != std::string::npos && loopAt < consAt && consAt != std::string::npos);
    const struct {
        const char* what;
        std::size_t length;
        int added;
    } cuts[] = {
        {"inside the face's surface", (faceAt + loopAt) / 2, 1},
        {"after the face's loop count", loopAt + 2, 1},
        {"inside the face's trim loop", (loopAt + consAt) / 2, 1},
        {"before the display curves' count", consAt + 11, 1},
        {"after the face", consAt + 12, 2},
        {"inside the curve", (consAt + two.size()) / 2, 2},
    };
    for (const auto& c : cuts) {
        SCOPED_TRACE(c.what);
        std::ofstream(cut, std::ios::trunc) << two.substr(0, c.length);
        before = doc().ObjectCount();
        EXPECT_EQ(command("_Import \"" + cut + "\""), 0);
        EXPECT_EQ(doc().ObjectCount(), before + c.added);
        EXPECT_EQ(boxes().size(), boxCount);
    }
}

} // namespace
