// The trimmed face and its loops: the gap rules of ordering, inversion and
// orientation, the outer loop and holes, host compatibility and copies, the
// ".out" record, the (u, v) polygon with its slits, the face list and the
// arc-length parametrisation.
#include "net/Face.h"
#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "curves/Projections.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "net/FaceList.h"

#include "support/NurbsFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// The plane S(u, v) = (u, v, 0) over [0, extent]^2: gaps in (u, v) are gaps
// in space.
Fenwo::NurbsSurf* plane(double extent = 10.0)
{
    const knots k(1, 1, 0.0, extent);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            s->setControlPoint(i, j, Vector(extent * i, extent * j, 0.0));
    return s;
}

// A straight trim curve from a to b in (u, v), with or without space curve.
CParCurve* segment(CParametricGeometry* s, double au, double av, double bu, double bv,
                   bool withSpaceCurve = true)
{
    const double a[3] = {au, av, 0.0}, b[3] = {bu, bv, 0.0};
    return new CParCurve(makeCurve(a, b), s, withSpaceCurve);
}

// The closed polygon through the (u, v) corners as a loop, in the given order.
CLoop* polygonLoop(CParametricGeometry* s, const std::vector<std::pair<double, double>>& c,
                   bool withSpaceCurves = true)
{
    auto* loop = new CLoop();
    for (std::size_t i = 0; i < c.size(); ++i) {
        const auto& [au, av] = c[i];
        const auto& [bu, bv] = c[(i + 1) % c.size()];
        loop->curves.append(segment(s, au, av, bu, bv, withSpaceCurves));
    }
    return loop;
}

int orientationOf(CLoop& loop)
{
    loop.clearUVSamples();
    CVertexList polygon;
    loop.getPolygon(polygon, 1, 0.1);
    return polygon.orientation();
}

Vector uvAt(const CVertexList& polygon, int i)
{
    const CVertex<double, 3>& p = *polygon.getVertex(i);
    return Vector(p.data[0], p.data[1], 0.0);
}

TEST(TrimLoop, OrderCurvesBridgesTheGapsThatAreHolesOnly)
{
    // Curve 0 ends at (5, 1) heading +u; curve 1 starts there moved by the
    // gap; the loop (13.7 around) is drawn at the scale given. A gap up to a
    // thousandth of the loop's length (0.9 of 1370 at scale 100) is no hole:
    // bridged, it gave a face in large units a fifth side. When the curves
    // are the face's sides no gap is a hole: the ends meet half-way, and a
    // face whose sides part by more than its loop's share keeps three sides.
    // With the face's tolerance (0.5 at scale 1) the loop in metres (scale
    // 0.001) closes as in millimetres: an absolute 0.05 closed its holes of
    // a hundred tolerances, and an absolute 1.0 took them for overlaps.
    struct Case {
        double du, dv;
        int curves;
        double scale = 1.0;
        bool sides = false;
        double tolerance = 0.0; // at scale 1
    } cases[] = {{0.04, 0.0, 3},
                 {-0.5, 0.0, 3},
                 {0.5, 0.0, 4},
                 {0.0, 0.5, 4},
                 {-1.5, 0.0, 4},
                 {0.009, 0.0, 3, 100},
                 {0.0, 0.009, 3, 100},
                 {0.02, 0.0, 4, 100},
                 {0.5, 0.0, 3, 1, true},
                 {0.0, 0.5, 3, 1, true},
                 {0.02, 0.0, 3, 100, true},
                 {0.04, 0.0, 3, 0.001, false, 0.5},
                 {-0.5, 0.0, 3, 0.001, false, 0.5},
                 {0.5, 0.0, 4, 0.001, false, 0.5},
                 {0.0, 0.5, 4, 0.001, false, 0.5},
                 {-1.5, 0.0, 4, 0.001, false, 0.5},
                 {0.5, 0.0, 3, 0.001, true, 0.5}};
    for (const Case& c : cases) {
        std::unique_ptr<Fenwo::NurbsSurf> s(plane(10.0 * c.scale));
        const double k = c.scale;
        CLoop loop;
        loop.curves.append(segment(s.get(), k, k, 5 * k, k));
        loop.curves.append(segment(s.get(), (5 + c.du) * k, (1 + c.dv) * k, 5 * k, 5 * k));
        loop.curves.append(segment(s.get(), 5 * k, 5 * k, k, k));
        EXPECT_TRUE(loop.orderCurves(false, c.sides, c.tolerance * k));
        ASSERT_EQ(loop.getCard(), c.curves) << c.du << " " << c.dv << " at " << k;
        if (c.sides) {
            EXPECT_TRUE(loop.checkGaps(1e-9 * k));
            const Vector corner = loop.getCurve(1)->getStartUVPoint();
            EXPECT_NEAR(corner[0], (5 + 0.5 * c.du) * k, 1e-12 * k);
            EXPECT_NEAR(corner[1], (1 + 0.5 * c.dv) * k, 1e-12 * k);
        }
        if (c.curves == 4) {
            auto* bridge = asNurbsSurf(loop.getCurve(1)->getUVCurve());
            EXPECT_EQ(bridge->uKnots->p, 1);
            EXPECT_EQ(loop.getCurve(1)->getStartUVPoint()[0], 5.0 * k);
            EXPECT_EQ(loop.getCurve(1)->getEndUVPoint()[0], (5 + c.du) * k);
            EXPECT_TRUE(loop.checkGaps(1e-9 * k));
        }
    }
    std::unique_ptr<Fenwo::NurbsSurf> s(plane());

    // One curve whose ends are 2.0 apart is closed by its bridge.
    CLoop single;
    single.curves.append(segment(s.get(), 1, 1, 3, 1));
    single.orderCurves(true);
    EXPECT_EQ(single.getCard(), 2);

    // Shuffled and reversed pieces are chained without bridges; a piece that
    // cannot be placed is reported and kept.
    CLoop shuffled;
    shuffled.curves.append(segment(s.get(), 1, 1, 5, 5));
    shuffled.curves.append(segment(s.get(), 5, 1, 1, 1));
    shuffled.curves.append(segment(s.get(), 5, 5, 5, 1));
    EXPECT_TRUE(shuffled.orderCurves(true));
    EXPECT_EQ(shuffled.getCard(), 3);
    EXPECT_TRUE(shuffled.checkGaps(1e-9));
    const double nan = std::nan("");
    shuffled.curves.append(segment(s.get(), nan, nan, nan, 1));
    CaptureStdout();
    shuffled.orderCurves(true);
    EXPECT_NE(GetCapturedStdout().find("orderCurves failed, missed 1 curves \n"),
              std::string::npos);
    EXPECT_GE(shuffled.getCard(), 4);
}

TEST(TrimLoop, GapsInversionAndCyclicAccess)
{
    std::unique_ptr<Fenwo::NurbsSurf> s(plane());
    CLoop empty;
    EXPECT_EQ(empty.getCurve(-1), nullptr);
    EXPECT_FALSE(empty.orderCurves(true));

    std::unique_ptr<CLoop> square(polygonLoop(s.get(), {{1, 1}, {4, 1}, {4, 4}, {1, 4}}));
    EXPECT_EQ(square->getCurve(-1), square->curves[3]);
    EXPECT_EQ(square->getCurve(9), square->curves[1]);
    EXPECT_DOUBLE_EQ(square->getLength(), 12.0);
    EXPECT_EQ(orientationOf(*square), -1);
    const Vector firstStart = square->getCurve(0)->getStartPoint();
    CaptureStdout();
    square->invert();
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(orientationOf(*square), 1);
    EXPECT_EQ(squaredDistance(square->getCurve(-1)->getEndPoint(), firstStart), 0.0);
    EXPECT_TRUE(square->checkGaps(1e-12));

    // A gap of exactly 0.25 fails a tolerance of 0.25: strictly below is needed.
    CLoop open;
    open.curves.append(segment(s.get(), 1, 1, 4, 1));
    open.curves.append(segment(s.get(), 4.25, 1, 1, 1));
    EXPECT_FALSE(open.checkGaps(0.25));
    EXPECT_TRUE(open.checkGaps(0.2500001));
    CaptureStdout();
    open.invert();
    EXPECT_EQ(GetCapturedStdout(), " Loop after invert() is bad\n");
    EXPECT_EQ(open.getCurve(0)->getStartUVPoint()[0], 1.0);
    EXPECT_EQ(open.getCurve(0)->getEndUVPoint()[0], 4.25);
}

TEST(Face, OuterLoopAndHolesKeepTheirOrientation)
{
    CFace face(plane());
    ASSERT_EQ(face.trimLoops.count, 1);
    EXPECT_EQ(face.trimLoops[0]->getCard(), 4);
    EXPECT_EQ(orientationOf(*face.trimLoops[0]), -1);

    // A counter-clockwise hole is turned clockwise; a clockwise outer loop
    // replaces loop 0 turned counter-clockwise, and the hole stays.
    EXPECT_TRUE(face.addTrimLoop(polygonLoop(face.surface, {{4, 4}, {6, 4}, {6, 6}, {4, 6}})));
    CLoop emptyLoop;
    EXPECT_FALSE(face.addTrimLoop(&emptyLoop));
    EXPECT_FALSE(face.setOuterLoop(nullptr));
    CLoop* outer = polygonLoop(face.surface, {{1, 1}, {1, 9}, {9, 9}, {9, 5}, {9, 1}});
    EXPECT_TRUE(face.setOuterLoop(outer));
    ASSERT_EQ(face.trimLoops.count, 2);
    EXPECT_EQ(face.trimLoops[0], outer);
    EXPECT_EQ(orientationOf(*outer), -1);
    EXPECT_EQ(orientationOf(*face.trimLoops[1]), 1);
    EXPECT_EQ(face.uvPolygon.getCount(), 5 + 4 + 2);

    Kor::List<CCONS*> all = face.getAllCONS(false, true);
    ASSERT_EQ(all.count, 9);
    EXPECT_EQ(all[4]->getNext(), all[0]);
    EXPECT_EQ(all[0]->getPrevious(), all[4]);

    // A reversed face reports the other side.
    Vector point, normal, raw;
    for (bool reversed : {false, true}) {
        face.sense = reversed;
        ASSERT_TRUE(face.getPointAndNormal(2, 3, point, normal));
        face.getNormal(raw, 2, 3);
        EXPECT_LT(squaredDistance(point, Vector(2, 3, 0)), 1e-28);
        EXPECT_EQ(squaredDistance(normal, Vector(0, 0, reversed ? -1 : 1)), 0.0);
        EXPECT_EQ(squaredDistance(raw, normal), 0.0);
    }

    // The same surface again changes nothing; null is reported and stored.
    CParametricGeometry* s = face.surface;
    EXPECT_TRUE(face.setBaseSurface(s));
    EXPECT_EQ(face.surface, s);
    EXPECT_EQ(face.trimLoops[1]->getCurve(0)->surface, s);
    CaptureStdout();
    face.setBaseSurface(nullptr);
    EXPECT_EQ(GetCapturedStdout(), "warning: set NULL pointer in setBaseSurface\n");
    EXPECT_EQ(face.trimLoops[0]->getCurve(0)->surface, nullptr);
}

TEST(Face, HostCompatibilityAndCopies)
{
    std::unique_ptr<Fenwo::NurbsSurf> s(plane());
    CLoop loop;
    loop.curves.append(segment(s.get(), 1, 1, 5, 1.2));
    loop.curves.append(segment(s.get(), 5.4, 1, 1, 1.5));
    auto* a = asNurbsSurf(loop.curves[0]->getUVCurve());
    auto* b = asNurbsSurf(loop.curves[1]->getUVCurve());
    a->setControlPoint(1, 0, Vector(5, 1.2, 0), 2.0);
    b->reverseU(); // a flag the host cannot read
    makeVezadCompat(loop);
    Vector p, q;
    double w = 0;
    a->getControlPointAndWeight(p, -1, 0, w);
    EXPECT_EQ(w, 2.0);
    EXPECT_FALSE(b->isUReversed());
    b->getControlPoint(0, 0, q);
    EXPECT_LT(squaredDistance(p, q), 1e-28);
    EXPECT_LT(squaredDistance(p, Vector(0.5 * (5 + 1), 0.5 * (1.2 + 1.5), 0)), 1e-28);

    CLoop one;
    one.curves.append(segment(s.get(), 1, 1, 5, 1));
    makeVezadCompat(one);
    asNurbsSurf(one.curves[0]->getUVCurve())->getControlPoint(-1, 0, p);
    EXPECT_EQ(p[0], 5.0);

    EXPECT_EQ(copyFace(nullptr), nullptr);
    CFace face(plane());
    face.addTrimLoop(polygonLoop(face.surface, {{4, 4}, {6, 4}, {6, 6}, {4, 6}}));
    face.sense = true;
    std::unique_ptr<CFace> copy(copyFace(&face));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->surface, face.surface);
    EXPECT_TRUE(copy->sense);
    ASSERT_EQ(copy->trimLoops.count, 2);
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(copy->trimLoops[k]->getCurve(i)->surface, copy->surface);
            EXPECT_EQ(squaredDistance(copy->trimLoops[k]->getCurve(i)->getStartPoint(),
                                      face.trimLoops[k]->getCurve(i)->getStartPoint()),
                      0.0);
        }
    std::unique_ptr<CFace> fromSurface(makeFaceFromSurface(face.surface));
    EXPECT_EQ(fromSurface->trimLoops[0]->getCard(), 4);
    EXPECT_NE(fromSurface->surface, face.surface);
}

// A face over a bicubic patch with awkward coordinates, a hole and two
// display curves.
std::unique_ptr<CFace> faceWithHole()
{
    const knots k(4, 3, 0.0, 3.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            s->setControlPoint(i, j, Vector(i * 2.0 / 3.0, j * std::sqrt(2.0), std::sin(i + j)));
    auto face = std::make_unique<CFace>(s);
    face->addTrimLoop(polygonLoop(s, {{1, 1}, {2, 1.1}, {1.9, 2}, {1.2, 1.8}}));
    face->MeshDistance = 1.0 / 3.0;
    for (double v : {0.5, 2.5}) {
        const double a[3] = {0.2, v, 0.0}, b[3] = {2.8, v + 0.1, 0.0};
        CCONS curve(makeCurve(a, b), s);
        curve.ownsUVCurve = true;
        addDisplayCurve(*face, &curve);
    }
    return face;
}

std::string textOf(CFace& face)
{
    std::ostringstream os;
    os.precision(3);
    os << face;
    EXPECT_EQ(os.precision(), 3);
    return os.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(FaceRecord, RoundTripKeepsSixteenDigitsAndTheStreamPrecision)
{
    auto face = faceWithHole();
    const std::string text = textOf(*face);
    // Every variant reads to the same face: CR LF line ends, text after
    // "Face=".
    for (const std::string& variant :
         {text, replaced(text, "\n", "\r\n"), replaced(text, "Face=\n", "Face= 17 more\n")}) {
        std::istringstream in(variant);
        CFace read;
        ASSERT_TRUE(read.read(in));
        EXPECT_EQ(textOf(read), text);
        EXPECT_EQ(read.displayCurves.count, 2);
        EXPECT_EQ(read.MeshDistance, 1.0 / 3.0);
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i < face->trimLoops[k]->getCard(); ++i) {
                Vector p, q;
                asNurbsSurf(face->trimLoops[k]->getCurve(i)->getUVCurve())
                    ->getControlPoint(1, 0, p);
                asNurbsSurf(read.trimLoops[k]->getCurve(i)->getUVCurve())->getControlPoint(1, 0, q);
                EXPECT_LE(std::sqrt(squaredDistance(p, q)), 1e-15 * norm(p));
            }
    }

    // A copy made to stand for the face (an undo's record of it) writes its
    // record, the fit constraints of its surface and curves too: an edge
    // curve fitted with its ends fixed, a (u, v) curve, a collapsed side.
    asNurbsSurf(face->trimLoops[1]->getCurve(0)->getSpaceCurve())->addFixedPointConstraint(0, 0);
    asNurbsSurf(face->trimLoops[1]->getCurve(1)->getUVCurve())->addFixedPointConstraint(1, 0);
    asNurbsSurf(face->surface)->addFixedPointConstraint(2, 2);
    asNurbsSurf(face->surface)->addDegenerateSide(uvNorth);
    const std::unique_ptr<CFace> record(copyFace(face.get(), true));
    EXPECT_EQ(textOf(*record), textOf(*face));
    EXPECT_TRUE(asNurbsSurf(record->surface)->hasDegenerateSide(uvNorth));

    // A reversed face, and a record that names no display curves.
    face->sense = true;
    std::string reversed = textOf(*face);
    reversed = reversed.substr(0, reversed.find("ListOfCONS")) + "ListOfCONS 0\n";
    std::istringstream in(reversed);
    CFace read;
    CaptureStdout();
    EXPECT_TRUE(read.read(in));
    EXPECT_EQ(GetCapturedStdout(), "reversing a face from .out\n");
    EXPECT_TRUE(read.sense);
    EXPECT_EQ(read.displayCurves.count, 0);
}

TEST(FaceRecord, ZeroCurvesBadSurfacesAndUnwritableFaces)
{
    // A curve without space curve, or with one shorter than the reader
    // takes, is written as the zero curve and reads back without one; the
    // face reads back to the same text.
    CFace face(plane());
    face.addTrimLoop(polygonLoop(face.surface, {{4, 4}, {6, 4}, {6, 6}, {4, 6}}, false));
    ASSERT_EQ(face.trimLoops[1]->getCurve(0)->getSpaceCurve(), nullptr);
    const double p[3] = {6.0, 4.0, 0.0}, q[3] = {6.0, 4.0 + 1e-9, 0.0};
    face.trimLoops[1]->getCurve(1)->edge = new CEdge(face.surface, makeCurve(p, q));
    const std::string text = textOf(face);
    {
        std::istringstream in(text);
        CFace read;
        ASSERT_TRUE(read.read(in));
        ASSERT_EQ(read.trimLoops.count, 2);
        EXPECT_EQ(read.trimLoops[1]->getCard(), 4);
        EXPECT_EQ(read.trimLoops[1]->getCurve(0)->getSpaceCurve(), nullptr);
        EXPECT_EQ(read.trimLoops[1]->getCurve(1)->getSpaceCurve(), nullptr);
        EXPECT_NE(read.trimLoops[0]->getCurve(0)->getSpaceCurve(), nullptr);
        EXPECT_EQ(textOf(read), text);
    }
    // An unhealthy knot vector of the surface: the loops are read, the face
    // is refused.
    const std::string knotsText = "p=1 n=1 ClampedEnd NonUniform\n[0,10]\n0 2\n10 2\n";
    ASSERT_NE(text.find(knotsText), std::string::npos);
    std::istringstream bad(
        replaced(text, knotsText, "p=1 n=1 ClampedEnd NonUniform\n[0,10]\n0 2\n10 4\n"));
    CFace refused;
    CaptureStdout();
    EXPECT_FALSE(refused.read(bad));
    EXPECT_NE(GetCapturedStdout().find("skipping a bad nurbs surface in face read \n"),
              std::string::npos);

    // A base surface that is not a NURBS surface cannot be written.
    CFace other(new CCONS(nullptr, nullptr), nullptr);
    CaptureStdout();
    const std::string partial = textOf(other);
    EXPECT_EQ(GetCapturedStdout(), " face write failed. \n");
    EXPECT_EQ(partial, "Face=\nSenseData=forward\nMeshType=0\nMeshDistance=10\nMeshArcTol=1\n");
}

TEST(FaceRecord, CorruptCountsAndLongLinesStopAtTheFirstStreamFailure)
{
    CFace face(plane());
    const std::string text = textOf(face);
    const std::size_t loops = text.find("\n1\n4\n") + 1;
    std::istringstream huge(text.substr(0, loops) + "2000000000\n3\n");
    CFace read;
    EXPECT_TRUE(read.read(huge));
    EXPECT_EQ(read.trimLoops.count, 0);

    std::istringstream longLine("Face=\nSenseData=forward\nMeshType=" + std::string(2000, '7') +
                                "\n" + text.substr(text.find("MeshDistance")));
    CFace refused;
    CaptureStdout();
    EXPECT_FALSE(refused.read(longLine));
    EXPECT_EQ(GetCapturedStdout(), "skipping a bad nurbs surface in face read \n");
    EXPECT_EQ(refused.MeshType, 0);
}

// A three-sided face parametrized by arc length has a domain narrow one way:
// its trim curve bulging past the narrow side by three times that side's
// width, as the program's own fits make it, was skipped as far outside, and
// the open lost it. A direction's reach is at least half the wider side; a
// curve at v = 2147483647 is still left out, and counted.
TEST(FaceRecord, TrimCurveBulgingPastANarrowDomainIsReadBack)
{
    const std::string head = "Face=\nSenseData=forward\nMeshType=0\nMeshDistance=10\nMeshArcTol=1\n"
                             "p=1 n=1 ClampedEnd NonUniform\n[0,0.00569483]\n0 2\n"
                             "0.00569483 2\np=1 n=1 ClampedEnd NonUniform\n[0,0.619255]\n0 2\n"
                             "0.619255 2\nP 0,0 = [0,0,0] 1\nP 1,0 = [1,0,0] 1\n"
                             "P 0,1 = [0,1,0] 1\nP 1,1 = [1,1,0] 1\n1\n1\n"
                             "p=2 n=2 ClampedEnd Uniform\np=0 n=0 ClampedEnd Uniform\n"
                             "P 0,0 = [0.000421372,0.0364692,0] 1\nP 1,0 = [";
    const std::string tail = ",0] 1\nP 2,0 = [0.00513809,0.582873,0] 1\n"
                             "p=1 n=1 ClampedEnd Uniform\np=0 n=0 ClampedEnd Uniform\n"
                             "P 0,0 = [0,0,0] 1\nP 1,0 = [1,1,0] 1\nListOfCONS 0\n";
    for (const auto& [middle, kept] : {std::pair<std::string, int>{"0.016208,0.0410124", 1},
                                       std::pair<std::string, int>{"0.0025,2147483647", 0}}) {
        std::istringstream in(head + middle + tail);
        CFace read;
        CaptureStdout();
        ASSERT_TRUE(read.read(in, true));
        EXPECT_EQ(GetCapturedStdout().find("far outside") == std::string::npos, kept == 1);
        EXPECT_EQ(read.trimLoops.count, kept); // a loop left empty is no loop
        EXPECT_EQ(read.leftOutTrimCurves, 1 - kept);
    }
}

TEST(Face, PolygonMergesHolesThroughSlits)
{
    Fenwo::NurbsSurf* s = plane();
    CFace face(s, polygonLoop(s, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}));
    face.trimLoops.append(polygonLoop(face.surface, {{1, 1}, {1, 2}, {2, 2}, {2, 1}}));
    CVertexList polygon;
    EXPECT_EQ(face.buildUVPolygon(polygon, 1, 0.1), 2);
    // Outer 0, the hole from 0 round to 0 again, outer 0 again, outer 1 on.
    const double expected[][2] = {{0, 0}, {1, 1}, {1, 2},  {2, 2},   {2, 1},
                                  {1, 1}, {0, 0}, {10, 0}, {10, 10}, {0, 10}};
    ASSERT_EQ(polygon.getCount(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(squaredDistance(uvAt(polygon, i), Vector(expected[i][0], expected[i][1], 0)), 0.0)
            << i;

    // A second hole next to the first bridges to it.
    face.trimLoops.append(polygonLoop(face.surface, {{2.5, 1}, {2.5, 2}, {3.5, 2}, {3.5, 1}}));
    polygon.deleteVertices();
    EXPECT_EQ(face.buildUVPolygon(polygon, 1, 0.1), 3);
    ASSERT_EQ(polygon.getCount(), 16);
    int at = 0; // the closest pairs tie; the first, at hole vertex (2, 2), wins
    while (at < 16 && squaredDistance(uvAt(polygon, at), Vector(2.5, 2, 0)) != 0.0)
        ++at;
    EXPECT_EQ(squaredDistance(uvAt(polygon, at - 1), Vector(2, 2, 0)), 0.0);

    face.trimLoops.append(new CLoop());
    polygon.deleteVertices();
    CaptureStdout();
    EXPECT_EQ(face.buildUVPolygon(polygon, 1, 0.1), 16);
    EXPECT_EQ(GetCapturedStdout(), "tempList.getCard()==0\n");
}

// A slit to the nearest corner may run through another hole or leave a
// corner shared with an earlier slit on the wrong side of it; either way
// the polygon crosses itself. Each hole joins instead at the nearest pair
// whose slit stays in the face: the centre square past the diamond on the
// diagonal, at the next corner of equal distance; the triangle by the
// corner at the copy of (0, 0) on whose side of the first slit it lies;
// and a square that sees no outer corner from inside a U-shaped hole after
// the U, at the U's inner corner.
TEST(Face, PolygonBridgesCrossNoOtherHoleOrSlit)
{
    struct Case {
        const char* name;
        std::vector<std::vector<std::pair<double, double>>> holes;
        std::vector<std::pair<double, double>> expected;
    } cases[] = {
        {"through a hole",
         {{{4.5, 4.5}, {4.5, 5.5}, {5.5, 5.5}, {5.5, 4.5}},
          {{2.5, 1.8}, {1.8, 2.5}, {2.5, 3.2}, {3.2, 2.5}}},
         {{0, 0},
          {10, 0},
          {5.5, 4.5},
          {4.5, 4.5},
          {2.5, 3.2},
          {3.2, 2.5},
          {2.5, 1.8},
          {1.8, 2.5},
          {2.5, 3.2},
          {4.5, 4.5},
          {4.5, 5.5},
          {5.5, 5.5},
          {5.5, 4.5},
          {10, 0},
          {10, 10},
          {0, 10}}},
        {"across a slit",
         {{{3, 3}, {3, 4}, {4, 4}, {4, 3}}, {{1.0, 0.2}, {1.4, 0.5}, {1.4, 0.2}}},
         {{0, 0},
          {3, 3},
          {3, 4},
          {4, 4},
          {4, 3},
          {3, 3},
          {0, 0},
          {1.0, 0.2},
          {1.4, 0.5},
          {1.4, 0.2},
          {1.0, 0.2},
          {0, 0},
          {10, 0},
          {10, 10},
          {0, 10}}},
        {"inside a cup",
         {{{4, 4}, {4, 5}, {5, 5}, {5, 4}},
          {{2, 2}, {2, 8}, {3, 8}, {3, 3}, {7, 3}, {7, 8}, {8, 8}, {8, 2}}},
         {{0, 0}, {2, 2}, {2, 8}, {3, 8}, {3, 3}, {4, 4}, {4, 5}, {5, 5},  {5, 4},   {4, 4},
          {3, 3}, {7, 3}, {7, 8}, {8, 8}, {8, 2}, {2, 2}, {0, 0}, {10, 0}, {10, 10}, {0, 10}}},
    };
    for (const Case& c : cases) {
        Fenwo::NurbsSurf* s = plane();
        CFace face(s, polygonLoop(s, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}));
        for (const auto& hole : c.holes)
            face.trimLoops.append(polygonLoop(face.surface, hole));
        CVertexList polygon;
        EXPECT_EQ(face.buildUVPolygon(polygon, 1, 0.1), 3) << c.name;
        ASSERT_EQ(polygon.getCount(), int(c.expected.size())) << c.name;
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(squaredDistance(uvAt(polygon, int(i)),
                                      Vector(c.expected[i].first, c.expected[i].second, 0)),
                      0.0)
                << c.name << " " << i;
    }
}

// Long trims on a 1000 x 1000 plane, one trim curve each: a cubic of 12
// waves about 20 high and a poly-line of 400 corners 15 apart across.
// Sampled at 0.1 as the face samples its trims, each keeps what its
// tolerance asks for: every corner is a sample, every chord keeps within
// the tolerance of the curve (the faceting verifies a chord at six points,
// and a few % more lie between them), the face's polygon has the face's
// area, and the cubic's edge curve follows it within 0.01. A cap of 250
// samples a curve left the cubic 0.95 off its chords and its edge 0.02 off
// it, and cut the corners of the poly-line, growing its face by 2077 of
// 398250.
TEST(Face, LongTrimsKeepTheSamplesTheirToleranceAsksFor)
{
    const struct {
        int corners; // 0: the cubic
        double area; // in (u, v)
    } cases[] = {{0, 0.405}, {400, 0.39825}};
    for (const auto& c : cases) {
        const knots k(1, 1, 0.0, 1.0);
        auto* s = new Fenwo::NurbsSurf(k, &k);
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j)
                s->setControlPoint(i, j, Vector(1000.0 * i, 1000.0 * j, 0.0));
        // With the other sides the loop runs as an outer loop does: it is not
        // turned over (and sampled again).
        std::vector<Vector> points;
        const int n = c.corners > 0 ? c.corners : 97;
        for (int i = 0; i < n; ++i)
            points.push_back(Vector(0.05 + 0.9 * i / (n - 1),
                                    c.corners > 0 ? 0.3 + 0.015 * (i % 2)
                                                  : 0.3 + 0.024 * std::sin(M_PI * i / 4.0),
                                    0.0));
        auto* trim = new CParCurve(clampedCurve(points, c.corners > 0 ? 1 : 3).release(), s, false);
        auto* loop = new CLoop();
        loop->curves.append(trim);
        loop->curves.append(segment(s, 0.95, 0.3, 0.95, 0.75, false));
        loop->curves.append(segment(s, 0.95, 0.75, 0.05, 0.75, false));
        loop->curves.append(segment(s, 0.05, 0.75, 0.05, 0.3, false));
        CFace face(s, nullptr);
        face.setOuterLoop(loop);
        double area = 0.0;
        for (int i = 0; i < face.uvPolygon.getCount(); ++i) {
            const Vector a = uvAt(face.uvPolygon, i);
            const Vector b = uvAt(face.uvPolygon, (i + 1) % face.uvPolygon.getCount());
            area += 0.5 * (a[0] * b[1] - b[0] * a[1]);
        }
        EXPECT_NEAR(area, c.area, c.corners > 0 ? 1e-9 * c.area : 2e-6) << n;

        const Kor::List<double>& t = trim->facetParameters;
        double worst = 0.0;
        for (int i = 1; i < t.count; ++i) {
            const Vector a = trim->getPoint(t[i - 1], 0.0), b = trim->getPoint(t[i], 0.0);
            for (int j = 1; j < 16; ++j) {
                const Vector p = trim->getPoint(t[i - 1] + (t[i] - t[i - 1]) * j / 16.0, 0.0);
                const double along = std::clamp(dot(p - a, b - a) / normSquared(b - a), 0.0, 1.0);
                worst = std::max(worst, norm(p - (a + along * (b - a))));
            }
        }
        EXPECT_LT(worst, 0.105) << n;
        if (c.corners > 0) {
            int kept = 0;
            for (const Vector& corner : points)
                for (const tuple<double, 2>& uv : trim->uvPoints)
                    kept += std::hypot(uv[0] - corner[0], uv[1] - corner[1]) < 1e-12;
            EXPECT_EQ(kept, n);
        } else {
            std::unique_ptr<Fenwo::NurbsSurf> edge(trim->reApproximateCurve(3, 0.01, false));
            ASSERT_NE(edge, nullptr);
            // Along the curve, each point's projection starts from the last.
            double off = 0.0, u = edge->getUMin();
            for (int i = 0; i <= 2000; ++i) {
                const Vector p = trim->getPoint(i / 2000.0, 0.0);
                projectPointOnCurve(edge.get(), p, u);
                off = std::max(off, norm(edge->getPoint(u, 0.0) - p));
            }
            EXPECT_LT(off, 0.01);
        }
    }
}

TEST(FaceList, TopologyDeletesOnlyOwnedFaces)
{
    CTopology* topology = new CTopology();
    auto* owned = new CFace(plane());
    auto* lent = new CFace(plane());
    topology->faces.append(owned);
    topology->lend(lent);
    topology->faces.append(owned);
    EXPECT_EQ(topology->findFaceBySurface(lent->getNurbsSurf()), lent);
    std::unique_ptr<Fenwo::NurbsSurf> line(clampedCurve({Vector(0, 0, 0), Vector(1, 0, 0)}, 1));
    EXPECT_EQ(topology->findFaceOfCONS(line.get(), true), nullptr);
    EXPECT_EQ(topology->faces.count, 3);
    EXPECT_EQ(topology->findFaceOfCONS(owned->trimLoops[0]->getCurve(0), true), owned);
    EXPECT_EQ(topology->faces.count, 1);
    topology->faces.append(owned);
    delete topology; // deletes the owned face once and leaves the lent one
    EXPECT_EQ(lent->trimLoops[0]->getCard(), 4);
    delete lent;
}

TEST(FaceList, ArcLengthParametrisationOfASquare)
{
    // A bicubic square of side 10 on [0, 1]^2 at uniform speed: control
    // points at ten times the Greville abscissae.
    const knots k(5, 3, 0.0, 1.0);
    Fenwo::NurbsSurf s(k, &k);
    Vector g;
    k.getGrevilleAbscissae(g);
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 6; ++j)
            s.setControlPoint(i, j, Vector(10 * g[i], 10 * g[j], 0.0));
    double Lu = 0, Lv = 0;
    EXPECT_FALSE(reparametrizeByArcLength(nullptr, Lu, Lv));
    ASSERT_TRUE(reparametrizeByArcLength(&s, Lu, Lv));
    EXPECT_EQ(s.uKnots->reparametrized, 1);
    EXPECT_EQ(s.vKnots->reparametrized, 0);
    EXPECT_NEAR(Lu, 10.0, 1e-12);
    EXPECT_NEAR(Lv, 10.0, 1e-12);
    for (int dir = 0; dir < 2; ++dir) {
        EXPECT_NEAR(s.getDomain(dir).min, 0.0, 1e-12);
        EXPECT_NEAR(s.getDomain(dir).max, 10.0, 1e-12);
    }
    EXPECT_LT(squaredDistance(s.getPoint(3.0, 7.0), Vector(3, 7, 0)), 1e-20);
}

} // namespace
