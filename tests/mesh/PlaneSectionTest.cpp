#include "mesh/PlaneSection.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/StlFormat.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace MeshFunctions;
using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;

namespace {

// Owns the curves of a section.
struct Curves {
    CurveList list;
    ~Curves() { list.deleteAll(); }
    int count() const { return list.count; }
    Fenwo::NurbsSurf& operator[](int i) { return *list.data[i]; }
};

bool isClosed(Fenwo::NurbsSurf& c)
{
    return c.uKnots->endCondition == knots::CyclicEnd;
}

Vector controlPoint(Fenwo::NurbsSurf& c, int i)
{
    Vector p;
    c.getControlPointXYZ(p, i, 0);
    return p;
}

bool section(Mesh::CBaseMesh* mesh, const Direction& n, int count, double lo, double hi,
             Curves& out, bool perPlane = false, const Point& origin = Point())
{
    return meshPlaneSection(mesh, origin, n, n, count, Interval(lo, hi), out.list, nullptr, nullptr,
                            nullptr, -1.0, perPlane);
}

// The distances of the control points from the z axis through (cx, cy).
void radiiAbout(Fenwo::NurbsSurf& c, double cx, double cy, double cz, int dropAxis, double& lo,
                double& hi)
{
    lo = 1e300;
    hi = 0.0;
    const double centre[3] = {cx, cy, cz};
    for (int i = 0; i < c.getUCount(); ++i) {
        const Vector p = controlPoint(c, i);
        double r2 = 0.0;
        for (int k = 0; k < 3; ++k)
            if (k != dropAxis)
                r2 += (p[k] - centre[k]) * (p[k] - centre[k]);
        lo = std::min(lo, std::sqrt(r2));
        hi = std::max(hi, std::sqrt(r2));
    }
}

} // namespace

TEST(PlaneSection, SimpleCutsGiveOpenAndClosedCurvesOnTheRangeEnds)
{
    CFlatMesh square, tube;
    mwtest::fillFlatMesh(mwtest::gridSoup(1, 1, 1.0, 1.0, true), square);
    mwtest::fillFlatMesh(mwtest::tubeSoup(2.0, 24, 3, 6.0), tube);

    // One plane sits on range.min: x = 0.5 crosses the diagonal.
    Curves one;
    ASSERT_TRUE(section(&square, Direction(1, 0, 0), 1, 0.5, 7.0, one));
    ASSERT_EQ(one.count(), 1);
    EXPECT_FALSE(isClosed(one[0]));
    ASSERT_EQ(one[0].getUCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(controlPoint(one[0], i)[0], 0.5);
    EXPECT_NEAR(one[0].computeLength(), 1.0, 1e-6);

    // Two planes lie on both ends of the range.
    Curves two;
    ASSERT_TRUE(section(&square, Direction(0, 1, 0), 2, 0.25, 0.75, two));
    ASSERT_EQ(two.count(), 2);
    std::vector<double> ys;
    for (int c = 0; c < 2; ++c)
        ys.push_back(controlPoint(two[c], 0)[1]);
    std::sort(ys.begin(), ys.end());
    EXPECT_FLOAT_EQ(ys[0], 0.25);
    EXPECT_FLOAT_EQ(ys[1], 0.75);

    // Across a tube: one cyclic curve through one point per facet column.
    Curves ring;
    ASSERT_TRUE(section(&tube, Direction(0, 0, 1), 1, 3.1, 3.1, ring));
    ASSERT_EQ(ring.count(), 1);
    EXPECT_TRUE(isClosed(ring[0]));
    EXPECT_EQ(ring[0].getUCount(), 24);
    double lo, hi;
    radiiAbout(ring[0], 0, 0, 0, 2, lo, hi);
    EXPECT_NEAR(lo, 2.0, 1e-5);
    EXPECT_NEAR(hi, 2.0, 1e-5);
    // The closing span counts: 24 chords of the 24-gon.
    EXPECT_NEAR(ring[0].computeLength(), 96.0 * std::sin(M_PI / 24.0), 1e-4);

    Curves none;
    EXPECT_FALSE(section(nullptr, Direction(1, 0, 0), 1, 0.5, 0.5, none));
    EXPECT_FALSE(section(&square, Direction(1, 0, 0), 0, 0.5, 0.5, none));
    EXPECT_FALSE(section(&square, Direction(1, 0, 0), 1, 5.0, 5.0, none));
    SegmentList segments;
    EXPECT_FALSE(intersectMeshWithPlanes(nullptr, Point(), Direction(1, 0, 0), Direction(1, 0, 0),
                                         3, Interval(0, 1), segments));
    EXPECT_EQ(none.count(), 0);
}

TEST(PlaneSection, PerPlanePiecesAreJoinedIntoOneCurvePerPlane)
{
    // Two squares side by side with a gap: y = 0.25 and y = 0.75 each cut
    // both, giving two pieces per plane.
    CFlatMesh pair;
    mwtest::fillFlatMesh(mwtest::gridSoup(2, 2, 0.5, 0.5, true), pair);
    mwtest::fillFlatMesh(mwtest::gridSoup(2, 2, 0.5, 0.5, true, 2.0, 0.0), pair);
    Curves apart, joined;
    ASSERT_TRUE(section(&pair, Direction(0, 1, 0), 2, 0.25, 0.75, apart));
    EXPECT_EQ(apart.count(), 4);
    ASSERT_TRUE(section(&pair, Direction(0, 1, 0), 2, 0.25, 0.75, joined, true));
    ASSERT_EQ(joined.count(), 2);
    double run[2];
    for (int c = 0; c < 2; ++c) {
        const Vector a = controlPoint(joined[c], 0);
        const Vector b = controlPoint(joined[c], joined[c].getUCount() - 1);
        run[c] = b[0] - a[0];
        EXPECT_NEAR(std::fabs(run[c]), 3.0, 1e-6);
        EXPECT_EQ(a[1], b[1]);
    }
    EXPECT_GT(run[0] * run[1], 0.0); // oriented alike
}

TEST(PlaneSection, EndsMergeWithinTheRadiusContinueWithinTwiceItAndStayApartBeyond)
{
    // Unit segments: the merge radius is 1 / sqrt(5) = 0.447.
    struct Case {
        double gap;
        int curves;
        int points;
        bool continued;
    } cases[] = {{0.3, 1, 3, false}, {0.6, 1, 4, true}, {1.5, 2, 2, false}};
    for (const Case& c : cases) {
        SegmentList segments;
        segments.append(PolyPlaneIntersection(Point(0, 0, 0), Point(1, 0, 0), 0, 0));
        segments.append(PolyPlaneIntersection(Point(float(1 + c.gap), 0, 0),
                                              Point(float(2 + c.gap), 0, 0), 0, 0));
        Curves out;
        const std::string text = mwtest::capturedStdout(
            [&] { EXPECT_TRUE(followSectionPath(segments, out.list, 0.001)); });
        ASSERT_EQ(out.count(), c.curves) << "gap " << c.gap;
        EXPECT_EQ(out[0].getUCount(), c.points) << "gap " << c.gap;
        EXPECT_EQ(text.find("new Path continuation found, fMin=") != std::string::npos, c.continued)
            << text;
    }
}

TEST(PlaneSection, PlaneThroughFacetCornersKeepsItsPath)
{
    // x + y = 1 runs through two corners of the square and the middle of its
    // diagonal: each triangle finds its corner twice and the diagonal once.
    CFlatMesh square;
    mwtest::fillFlatMesh(mwtest::gridSoup(1, 1, 1.0, 1.0, true), square);
    const float s = float(1.0 / std::sqrt(2.0));
    Curves out;
    const std::string text = mwtest::capturedStdout([&] {
        EXPECT_TRUE(section(&square, Direction(s, s, 0), 1, 0.0, 0.0, out, false, Point(1, 0, 0)));
    });
    EXPECT_NE(text.find("efCount=3, mystery"), std::string::npos);
    ASSERT_EQ(out.count(), 1);
    EXPECT_EQ(out[0].getUCount(), 3);
    EXPECT_NEAR(out[0].computeLength(), std::sqrt(2.0), 1e-5);

    // A plane that only touches a corner gives no segment at all; one along
    // the grid's shared edges gives each edge once.
    CFlatMesh grid;
    mwtest::fillFlatMesh(mwtest::gridSoup(4, 4, 1.0, 1.0, true), grid);
    Curves touch, along;
    EXPECT_FALSE(section(&square, Direction(s, s, 0), 1, 0.0, 0.0, touch));
    ASSERT_TRUE(section(&grid, Direction(1, 0, 0), 1, 2.0, 2.0, along));
    ASSERT_EQ(along.count(), 1);
    EXPECT_EQ(along[0].getUCount(), 5);
    EXPECT_NEAR(along[0].computeLength(), 4.0, 1e-6);
}

TEST(PlaneSection, RealSphereAndTorusSectionsAreCircles)
{
    MW_REQUIRE_REAL_FILE(spherePath, "stl", "unit_sphere.STL");
    MW_REQUIRE_REAL_FILE(torusPath, "stl", "torus.STL");
    CFlatMesh sphere, torus;
    ASSERT_TRUE(readSTL(sphere, spherePath.c_str(), true));
    ASSERT_TRUE(readSTL(torus, torusPath.c_str(), true));

    // Planes through the centre of the unit sphere run through vertices and
    // along edges.
    for (int axis = 0; axis < 3; ++axis) {
        Direction n;
        n.data[axis] = 1.0f;
        Curves out;
        ASSERT_TRUE(section(&sphere, n, 1, 0.0, 0.0, out)) << axis;
        ASSERT_EQ(out.count(), 1) << axis;
        EXPECT_TRUE(isClosed(out[0]));
        double lo, hi;
        radiiAbout(out[0], 0, 0, 0, -1, lo, hi);
        EXPECT_GE(lo, 0.99);
        EXPECT_LE(hi, 1.0 + 1e-6);
        for (int i = 0; i < out[0].getUCount(); ++i)
            EXPECT_NEAR(controlPoint(out[0], i)[axis], 0.0, 1e-6);
        EXPECT_NEAR(out[0].computeLength(), 2.0 * M_PI, 0.01 * 2.0 * M_PI) << axis;
    }

    // z = 0 cuts the torus (R = 1, r = 0.5) in circles of radii 1.5 and 0.5;
    // y = 0 in two circles of radius 0.5 around (+-1, 0, 0).
    Curves flat, upright;
    ASSERT_TRUE(section(&torus, Direction(0, 0, 1), 1, 0.0, 0.0, flat));
    ASSERT_TRUE(section(&torus, Direction(0, 1, 0), 1, 0.0, 0.0, upright));
    ASSERT_EQ(flat.count(), 2);
    ASSERT_EQ(upright.count(), 2);
    std::vector<double> radii;
    for (int c = 0; c < 2; ++c) {
        EXPECT_TRUE(isClosed(flat[c]) && isClosed(upright[c]));
        double lo, hi;
        radiiAbout(flat[c], 0, 0, 0, 2, lo, hi);
        EXPECT_NEAR(lo, hi, 0.02);
        radii.push_back(hi);
        const double cx = controlPoint(upright[c], 0)[0] > 0 ? 1.0 : -1.0;
        radiiAbout(upright[c], cx, 0, 0, 1, lo, hi);
        EXPECT_NEAR(lo, 0.5, 0.02);
        EXPECT_NEAR(hi, 0.5, 0.02);
    }
    std::sort(radii.begin(), radii.end());
    EXPECT_NEAR(radii[0], 0.5, 0.02);
    EXPECT_NEAR(radii[1], 1.5, 0.02);
}
