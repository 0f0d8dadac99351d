#include "MeshwrightHost.h"

#include "curves/ParCurve.h"
#include "fitting/FitFixtures.h"
#include "mesh/PolFormat.h"
#include "net/Face.h"
#include "plugin/MeshObject.h"
#include "support/AnalyticCurves.h"

#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

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
    EXPECT_EQ(command("_Import \"" + cut + "\""), 0);
    EXPECT_NE(transcript().find("1 of 1 trimmed faces not imported"), std::string::npos);
    EXPECT_EQ(doc().ObjectCount(), before + 3 + 1); // the cut file's whole surface
    // An STL or POL file, offered for import, loads as a mesh file does: one
    // without facets fails as the load does (it answered 0 and added
    // nothing), one with facets becomes the plug-in's mesh object.
    EXPECT_EQ(command("_Import \"" + mesh + "\""), 3);
    EXPECT_TRUE(boxShown("No facets have been imported", "Meshwright"));
    EXPECT_EQ(doc().ObjectCount(), before + 3 + 1);
    std::ofstream(mesh, std::ios::trunc) << "solid one\nfacet\nvertex 0 0 0\nvertex 1 0 0\n"
                                            "vertex 0 1 0\nendfacet\nendsolid one\n";
    EXPECT_EQ(command("_Import \"" + mesh + "\""), 0);
    const std::string pol = mwtest::scratchPath("mesh.pol");
    ASSERT_TRUE(writePOLFile(MeshwrightPlugIn().meshObjects[0]->mesh, pol.c_str()));
    EXPECT_EQ(command("_Import \"" + pol + "\" Yes"), 0); // replaces the loaded mesh
    ASSERT_EQ(MeshwrightPlugIn().meshObjects.count, 1);
    EXPECT_EQ(MeshwrightPlugIn().meshObjects[0]->mesh->getFacetCount(), 1);
    before = doc().ObjectCount();
    const std::size_t boxCount = boxes().size();

    // A file that ends inside a record adds the records before it, whole,
    // and stops without a box; a face left out is said, and counted. A
    // trimmed face cut inside its trim loop read its surface and came in as
    // a Brep with its loop half-read.
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
        const char* said;
    } cuts[] = {
        {"inside the face's surface", (faceAt + loopAt) / 2, 1, "1 of 1 trimmed faces"},
        {"after the face's loop count", loopAt + 2, 1, "1 of 1 trimmed faces"},
        {"inside the face's trim loop", (loopAt + consAt) / 2, 1, "1 of 1 trimmed faces"},
        {"before the display curves' count", consAt + 11, 1, "1 of 1 trimmed faces"},
        {"after the face", consAt + 12, 2, nullptr},
        {"inside the curve", (consAt + two.size()) / 2, 2, "1 of 2 surfaces and curves"},
    };
    for (const auto& c : cuts) {
        SCOPED_TRACE(c.what);
        std::ofstream(cut, std::ios::trunc) << two.substr(0, c.length);
        before = doc().ObjectCount();
        const std::size_t said = transcript().size();
        EXPECT_EQ(command("_Import \"" + cut + "\""), 0);
        EXPECT_EQ(doc().ObjectCount(), before + c.added);
        EXPECT_EQ(boxes().size(), boxCount);
        const std::size_t at = transcript().find(" not imported\n", said);
        if (c.said == nullptr) {
            EXPECT_EQ(at, std::string::npos) << transcript().substr(said);
        } else {
            EXPECT_NE(transcript().find(std::string(c.said) + " not imported\n", said),
                      std::string::npos)
                << transcript().substr(said);
        }
    }

    // A file from which nothing comes answers failure: an empty file, 24
    // bytes of garbage, and the face alone cut anywhere inside its record
    // (each cut that loses the face says so). They answered success, and of
    // the cuts that lost the face a quarter said nothing but the reader's
    // own lines.
    const std::size_t faceEnd = two.rfind("GeoObject Begin");
    const std::size_t lastSpaceCurve = two.rfind("GeoObject Begin", consAt);
    ASSERT_TRUE(faceEnd > consAt && lastSpaceCurve > loopAt);
    const std::string alone = two.substr(faceAt, faceEnd - faceAt);
    const std::string garbage("\x93q\x01\xfe{}7\x80[[ 5e9 ;\x02\x7f#\xcc\xa0\x11\x00\x1b", 24);
    std::vector<std::pair<std::string, bool>> nothing = {{"", false}, {garbage, false}};
    for (std::size_t n = 1; n + 1 < alone.size(); n += 7)
        nothing.emplace_back(alone.substr(0, n), true);
    int lost = 0;
    for (const auto& [text, faceCut] : nothing) {
        SCOPED_TRACE(faceCut ? std::to_string(text.size()) + " bytes of the face" : "no face");
        std::ofstream(cut, std::ios::binary | std::ios::trunc) << text;
        before = doc().ObjectCount();
        const std::size_t said = transcript().size();
        const int result = command("_Import \"" + cut + "\"");
        // A cut inside the last trim's space curve or the display curves
        // keeps the face, its surface and trims whole.
        if (result == 0) {
            EXPECT_EQ(doc().ObjectCount(), before + 1);
            EXPECT_GT(faceAt + text.size(), lastSpaceCurve);
            continue;
        }
        ++lost;
        EXPECT_EQ(result, 3);
        EXPECT_EQ(doc().ObjectCount(), before);
        EXPECT_NE(transcript().find("Import of " + cut + " failed", said), std::string::npos);
        if (faceCut) {
            EXPECT_NE(transcript().find("1 of 1 trimmed faces not imported\n", said),
                      std::string::npos)
                << transcript().substr(said);
        }
    }
    EXPECT_GT(lost, int(nothing.size()) * 9 / 10);
}

} // namespace
