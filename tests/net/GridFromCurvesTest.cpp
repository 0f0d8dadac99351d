// Poly-lines from boundary curves: shared end points, periodic curves cut
// in two, curves closing on one point, and the hole of a real mesh.
#include "curves/SubCurves.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshBoundaryCurves.h"
#include "mesh/StlFormat.h"
#include "net/OffsetGrid.h"

#include "fitting/FitFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

Vector at(const CVertex<float, 3>* v)
{
    return Vector(v->data, 3);
}

// The cyclic cubic on knots(4, 3) (last index 7) through 5 points of a
// circle of radius 2.
std::unique_ptr<Fenwo::NurbsSurf> periodicCubic()
{
    auto c = std::make_unique<Fenwo::NurbsSurf>(knots(4, 3, 0.0, 1.0, knots::CyclicEnd));
    for (int i = 0; i < c->getUCount(); ++i) {
        const double a = 2.0 * std::numbers::pi * i / c->getUCount();
        c->setControlPoint(i, 0, Vector(2.0 * std::cos(a), 2.0 * std::sin(a), 0.0), 1.0);
    }
    return c;
}

TEST(GridFromCurves, EndsAreSharedAndPeriodicCurvesAreCutInTwo)
{
    COffset_Grid grid(nullptr);
    auto a = fitfix::straightCurve(Vector(0, 0, 0), Vector(1, 0, 0));
    auto b = fitfix::straightCurve(Vector(1, 0, 0), Vector(1, 1, 0));
    ASSERT_TRUE(grid.addPointListsFromPoints(a.get()));
    ASSERT_TRUE(grid.addPointListsFromPoints(b.get()));
    ASSERT_EQ(grid.getNumPointLists(), 2);
    COffset_PointList* first = grid.getPointList(0);
    COffset_PointList* second = grid.getPointList(1);
    EXPECT_EQ(first->vertices[first->getCount() - 1], second->vertices[0]);
    EXPECT_EQ(useCountOf(second->vertices[0]), 2);
    EXPECT_EQ(grid.currentPointList, second);
    EXPECT_NE(first->curve, a.get()); // a copy follows the curve

    // A curve that closes on one point adds nothing; so does a null one.
    auto loop = fitfix::circularArc(1.0, 4);
    EXPECT_TRUE(grid.addPointListsFromPoints(loop.get()));
    EXPECT_FALSE(grid.addPointListsFromPoints(nullptr));
    EXPECT_EQ(grid.getNumPointLists(), 2);

    // knots(4, 3, cyclic) has last index 7: cut at knot index 5, the two
    // halves share both ends.
    auto periodic = periodicCubic();
    ASSERT_EQ(periodic->uKnots->n, 7);
    const double cut = *periodic->uKnots->knotAt(5);
    COffset_Grid ring(nullptr);
    bool done = false;
    const std::string out =
        mwtest::capturedStdout([&] { done = ring.addPointListsFromPoints(periodic.get()); });
    EXPECT_TRUE(done);
    EXPECT_EQ(fitfix::occurrences(out, "settting a periodic edge "), 1);
    ASSERT_EQ(ring.getNumPointLists(), 2);
    COffset_PointList* h0 = ring.getPointList(0);
    COffset_PointList* h1 = ring.getPointList(1);
    EXPECT_EQ(h0->vertices[0], h1->vertices[h1->getCount() - 1]);
    EXPECT_EQ(h0->vertices[h0->getCount() - 1], h1->vertices[0]);
    EXPECT_LT(norm(at(h1->vertices[0]) - periodic->getPoint(cut, 0.0)), 1e-6);
}

TEST(GridFromCurves, RealSphereHoleBecomesTwoPolyLinesOnTheMesh)
{
    MW_REQUIRE_REAL_FILE(path, "stl", "sphereWithHole.stl");
    CFlatMesh mesh;
    mwtest::capturedStdout([&] { ASSERT_TRUE(readSTL(mesh, path.c_str(), true)); });
    mesh.computeBoundingBox();
    mesh.buildFacetHash(40.0, -1.0, nullptr);
    mwtest::OwnedCurves loops;
    ASSERT_TRUE(meshBoundaryToCurves(&mesh, loops.list, false));
    // The hole's boundary passes its first vertex twice: two loops from there.
    ASSERT_EQ(loops.count(), 2);
    // The hole as a closed degree-1 curve through its vertices, both loops
    // one after the other.
    CFitPointArray corners;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i + 1 < loops[c].getUCount(); ++i)
            corners.append(CFitPoint(mwtest::controlPoint(loops[c], i)));
    ASSERT_EQ(corners.count, 9);
    std::unique_ptr<Fenwo::NurbsSurf> hole(polylineOfAllFitPoints(corners, true));
    ASSERT_EQ(hole->uKnots->endCondition, knots::CyclicEnd);

    COffset_Grid grid(&mesh);
    mwtest::capturedStdout([&] { EXPECT_TRUE(grid.addPointListsFromPoints(hole.get())); });
    ASSERT_EQ(grid.getNumPointLists(), 2);
    COffset_PointList* a = grid.getPointList(0);
    COffset_PointList* b = grid.getPointList(1);
    EXPECT_EQ(a->vertices[0], b->vertices[b->getCount() - 1]);
    EXPECT_EQ(a->vertices[a->getCount() - 1], b->vertices[0]);
    for (CVertex<float, 3>* end : {a->vertices[0], b->vertices[0]}) {
        EXPECT_EQ(useCountOf(end), 2);
        // On the mesh: on the sphere of radius 1.5 around (1.5, 1.5, 1.5).
        EXPECT_NEAR(norm(at(end) - Vector(1.5, 1.5, 1.5)), 1.5, 1e-4);
    }
}

} // namespace
