#include "mesh/PlaneSection.h"

#include "geometry/Knots.h"
#include "mesh/StlFormat.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace MeshFunctions;
using mwtest::controlPoint;
using Curves = mwtest::OwnedCurves;
using Point = CVertex<float, 3>;
using Direction = CVector<float, 3>;

namespace {

bool isClosed(Fenwo::NurbsSurf& c)
{
    return c.uKnots->endCondition == knots::CyclicEnd;
}

bool section(Mesh::CBaseMesh* mesh, const Direction& n, int count, double lo, double hi,
             Curves& out, bool perPlane = false, const Point& origin = Point())
{
    return meshPlaneSection(mesh, origin, n, n, count, Interval(lo, hi), out.list, nullptr, nullptr,
                            nullptr, -1.0, perPlane);
}

// The smallest and largest distance of the control points from a line
// through c along coordinate axis `along` (a point when along is -1).
void radii(Fenwo::NurbsSurf& curve, const Vector& c, int along, double& lo, double& hi)
{
    lo = 1e300;
    hi = 0.0;
    for (int i = 0; i < curve.getUCount(); ++i) {
        Vector d = controlPoint(curve, i) - c;
        if (along >= 0)
            d[along] = 0.0;
        lo = std::min(lo, norm(d));
        hi = std::max(hi, norm(d));
    }
}

} // namespace

TEST(PlaneSection, SimpleCutsGiveOpenAndClosedCurvesOnTheRangeEnds)
{
    CFlatMesh square, sphere;
    mwtest::fillFlatMesh(mwtest::gridSoup(1, 1, 1.0, 1.0, true), square);
    mwtest::fillFlatMesh(mwtest::sphereSoup(2.0, 24, 12), sphere);

    // One plane sits on range.min: x = 0.5 crosses the diagonal.
    Curves one, two, ring, none;
    ASSERT_TRUE(section(&square, Direction(1, 0, 0), 1, 0.5, 7.0, one));
    ASSERT_EQ(one.count(), 1);
    EXPECT_FALSE(isClosed(one[0]));
    ASSERT_EQ(one[0].getUCount(), 3);
    EXPECT_NEAR(one[0].computeLength(), 1.0, 1e-6);
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(controlPoint(one[0], i)[0], 0.5);

    // Two planes lie on both ends of the range.
    ASSERT_TRUE(section(&square, Direction(0, 1, 0), 2, 0.25, 0.75, two));
    ASSERT_EQ(two.count(), 2);
    EXPECT_FLOAT_EQ(controlPoint(two[0], 0)[1] + controlPoint(two[1], 0)[1], 1.0);
    EXPECT_FLOAT_EQ(std::fabs(controlPoint(two[0], 0)[1] - controlPoint(two[1], 0)[1]), 0.5);

    // Across a closed surface: one cyclic curve through one point per facet
    // of the band it crosses, all at one distance from the axis.
    ASSERT_TRUE(section(&sphere, Direction(0, 0, 1), 1, 0.3, 0.3, ring));
    ASSERT_EQ(ring.count(), 1);
    EXPECT_TRUE(isClosed(ring[0]));
    EXPECT_EQ(ring[0].getUCount(), 24);
    double lo, hi;
    radii(ring[0], Vector(3), 2, lo, hi);
    EXPECT_NEAR(lo, hi, 1e-6);

    EXPECT_FALSE(section(nullptr, Direction(1, 0, 0), 1, 0.5, 0.5, none));
    EXPECT_FALSE(section(&square, Direction(1, 0, 0), 0, 0.5, 0.5, none));
    EXPECT_FALSE(section(&square, Direction(1, 0, 0), 1, 5.0, 5.0, none));
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
        const Vector a = controlPoint(joined[c], 0), b = controlPoint(joined[c], -1);
        run[c] = b[0] - a[0];
        EXPECT_NEAR(std::fabs(run[c]), 3.0, 1e-6);
        EXPECT_EQ(a[1], b[1]);
    }
    EXPECT_GT(run[0] * run[1], 0.0); // oriented alike
}

TEST(PlaneSection, EndsMergeWithinTheRadiusAndStayApartBeyond)
{
    // Unit segments: the merge radius is 1 / sqrt(5) = 0.447. A gap of 0.6
    // lies beyond it (within twice it): the path ends there.
    struct Case {
        double gap;
        int curves, points;
    } cases[] = {{0.3, 1, 3}, {0.6, 2, 2}, {1.5, 2, 2}};
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
        EXPECT_EQ(text.find("new Path continuation found, fMin="), std::string::npos);
    }
}

TEST(PlaneSection, OpenPathLeftByAClosedWalkIsTracedFromItsEnd)
{
    // A theta: X and Y joined through P, through Q and through R. No vertex
    // has degree 1 at first; a walk round a cycle through X and Y leaves a
    // path such as X - R - Y whose ends now have degree 1. Started at its
    // middle R, a walk would reach one end and leave the other half
    // untraced for good; paths start at free ends, so every segment is in
    // some curve.
    const Point X(0, 0, 0), Y(2, 0, 0), P(1, 1, 0), Q(1, -1, 0), R(1, 0, 0);
    SegmentList segments;
    for (auto [a, b] : {std::pair{X, P}, {P, Y}, {X, Q}, {Q, Y}, {X, R}, {R, Y}})
        segments.append(PolyPlaneIntersection(a, b, 0, 0));
    Curves out;
    mwtest::capturedStdout([&] { EXPECT_TRUE(followSectionPath(segments, out.list, 0.001)); });
    double total = 0.0;
    for (int c = 0; c < out.count(); ++c)
        total += out[c].computeLength();
    EXPECT_NEAR(total, 4.0 * std::sqrt(2.0) + 2.0, 1e-6); // every segment, once
}

TEST(PlaneSection, PlaneThroughFacetCornersKeepsItsPath)
{
    // x + y = 1 runs through two corners of the square and the middle of its
    // diagonal: each triangle finds its corner twice and the diagonal once.
    CFlatMesh square, grid;
    mwtest::fillFlatMesh(mwtest::gridSoup(1, 1, 1.0, 1.0, true), square);
    const float s = float(1.0 / std::sqrt(2.0));
    Curves out, touch, along;
    const std::string text = mwtest::capturedStdout([&] {
        EXPECT_TRUE(section(&square, Direction(s, s, 0), 1, 0.0, 0.0, out, false, Point(1, 0, 0)));
    });
    EXPECT_NE(text.find("efCount=3, mystery"), std::string::npos);
    ASSERT_EQ(out.count(), 1);
    EXPECT_EQ(out[0].getUCount(), 3);
    EXPECT_NEAR(out[0].computeLength(), std::sqrt(2.0), 1e-5);

    // A plane that only touches a corner gives no segment; one along the
    // grid's shared edges gives each edge once.
    EXPECT_FALSE(section(&square, Direction(s, s, 0), 1, 0.0, 0.0, touch));
    mwtest::fillFlatMesh(mwtest::gridSoup(4, 4, 1.0, 1.0, true), grid);
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
    double lo, hi;

    // Planes through the centre of the unit sphere run through vertices and
    // along edges.
    for (int axis = 0; axis < 3; ++axis) {
        Direction n;
        n.data[axis] = 1.0f;
        Curves out;
        ASSERT_TRUE(section(&sphere, n, 1, 0.0, 0.0, out));
        ASSERT_EQ(out.count(), 1) << axis;
        EXPECT_TRUE(isClosed(out[0]));
        radii(out[0], Vector(3), -1, lo, hi);
        EXPECT_GE(lo, 0.99);
        EXPECT_LE(hi, 1.0 + 1e-6);
        for (int i = 0; i < out[0].getUCount(); ++i)
            EXPECT_NEAR(controlPoint(out[0], i)[axis], 0.0, 1e-6);
        EXPECT_NEAR(out[0].computeLength(), 2.0 * M_PI, 0.01 * 2.0 * M_PI);
    }

    // z = 0 cuts the torus (R = 1, r = 0.5) in circles of radii 0.5 and 1.5;
    // y = 0 in two circles of radius 0.5 around (+-1, 0, 0).
    Curves flat, upright;
    ASSERT_TRUE(section(&torus, Direction(0, 0, 1), 1, 0.0, 0.0, flat));
    ASSERT_TRUE(section(&torus, Direction(0, 1, 0), 1, 0.0, 0.0, upright));
    ASSERT_EQ(flat.count(), 2);
    ASSERT_EQ(upright.count(), 2);
    double sum = 0.0;
    for (int c = 0; c < 2; ++c) {
        EXPECT_TRUE(isClosed(flat[c]) && isClosed(upright[c]));
        radii(flat[c], Vector(3), 2, lo, hi);
        EXPECT_NEAR(lo, hi, 0.02);
        EXPECT_NEAR(std::fabs(hi - 1.0), 0.5, 0.02);
        sum += hi;
        radii(upright[c], Vector(controlPoint(upright[c], 0)[0] > 0 ? 1.0 : -1.0, 0.0, 0.0), 1, lo,
              hi);
        EXPECT_NEAR(lo, 0.5, 0.02);
        EXPECT_NEAR(hi, 0.5, 0.02);
    }
    EXPECT_NEAR(sum, 2.0, 0.04);
}

TEST(PlaneSection, SectionOfMorePartsThanTheBoundIsGivenUp)
{
    // Rows of separate shapes along y, 3 apart: unit cubes, closed, whose
    // sections are a square loop per cube and plane; and upright triangles
    // sharing no edge, a segment per triangle and plane.
    auto row = [](const mwtest::MeshSoup& shape, int copies) {
        mwtest::MeshSoup soup;
        for (int c = 0; c < copies; ++c) {
            const int base = soup.pointCount();
            for (int k = 0; k < shape.pointCount(); ++k)
                soup.addPoint(shape.xyz[3 * k], shape.xyz[3 * k + 1] + 3.0 * c,
                              shape.xyz[3 * k + 2]);
            for (std::vector<int> facet : shape.facets) {
                for (int& v : facet)
                    v += base;
                soup.facets.push_back(facet);
            }
        }
        return soup;
    };
    mwtest::MeshSoup triangle;
    triangle.addPoint(0, 0, 0);
    triangle.addPoint(1, 0, 0);
    triangle.addPoint(0.5, 0, 1);
    triangle.facets = {{0, 1, 2}};

    // The parts each section has: one per open path and one per loop.
    struct Case {
        const char* what;
        mwtest::MeshSoup soup;
        Direction n;
        int count;
        double lo, hi;
        int parts;
    } cases[] = {
        {"paths across a grid", mwtest::gridSoup(4, 4, 1.0, 1.0, true), Direction(1, 0, 0), 3, 0.5,
         3.5, 3},
        {"rings round a sphere", mwtest::sphereSoup(2.0, 24, 12), Direction(0, 0, 1), 5, -1.5, 1.5,
         5},
        {"loops round cubes", row(mwtest::cubeSoup(1.0), 6), Direction(1, 0, 0), 4, 0.2, 0.8, 24},
        {"segments of triangles sharing no edge", row(triangle, 6), Direction(1, 0, 0), 4, 0.2, 0.8,
         24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFlatMesh mesh;
        mwtest::fillFlatMesh(c.soup, mesh);
        Curves all, kept, none;
        ASSERT_TRUE(section(&mesh, c.n, c.count, c.lo, c.hi, all));
        ASSERT_EQ(all.count(), c.parts);
        // Within the bound: the curves of the whole section, point for point.
        EXPECT_TRUE(meshPlaneSectionWithin(&mesh, Point(), c.n, c.count, Interval(c.lo, c.hi),
                                           kept.list, c.parts));
        ASSERT_EQ(kept.count(), all.count());
        for (int k = 0; k < all.count(); ++k) {
            ASSERT_EQ(kept[k].getUCount(), all[k].getUCount());
            EXPECT_EQ(isClosed(kept[k]), isClosed(all[k]));
            for (int i = 0; i < all[k].getUCount(); ++i) {
                const Vector a = controlPoint(kept[k], i), b = controlPoint(all[k], i);
                for (int d = 0; d < 3; ++d)
                    EXPECT_EQ(a[d], b[d]);
            }
        }
        // One part more than the bound: given up, nothing appended.
        EXPECT_FALSE(meshPlaneSectionWithin(&mesh, Point(), c.n, c.count, Interval(c.lo, c.hi),
                                            none.list, c.parts - 1));
        EXPECT_EQ(none.count(), 0);
    }
}
