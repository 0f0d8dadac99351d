// The curve of a poly-line: where insertPoints places a point (ends, view
// ellipses, closing by the pending point), the interpolation on a mesh with
// its held points, ribbons and the parameters of pieces.
#include "curves/ArcLength.h"
#include "geometry/Interval.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "net/OffsetGrid.h"

#include "fitting/FitFixtures.h"
#include "support/GridFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using Gridbench::CGridPoint;
using mwtest::gridPoint;
using mwtest::polyLine;

// Inserts a new grid point at (x, y, z); a refused point is deleted again.
bool insertAt(COffset_PointList& pl, float x, float y, float z = 0.f,
              const CVector<float, 3>* view = nullptr, bool committed = true,
              const CVector<float, 3>* seenAlong = nullptr)
{
    CGridPoint* p = gridPoint(x, y, z);
    const bool placed = pl.insertPoints(p, 1.0, view, committed, nullptr, nullptr, seenAlong);
    if (!placed)
        delete p;
    return placed;
}

Vector at(const CVertex<float, 3>* v)
{
    return Vector(v->data, 3);
}

TEST(PointListCurve, InsertionPlacesPointsAtEndsAndSegmentsByTheRules)
{
    // A straight line of unit steps: its end length is 2, so an end reaches
    // to just below 3.5. The turn at an end is judged as the user sees it
    // along the view, where one is given: a turn of 60 degrees in the plane
    // z = 0 seen along (1, 1, 1) is one of 85 on the screen (the drawing's
    // right angle at a slant), where the next row or column starts; judged
    // in space, the click joined it to the line drawn last.
    const double turn = 1.2566370614359172;
    const CVector<float, 3> slant(0.57735027f, 0.57735027f, 0.57735027f);
    struct Case {
        float x, y;
        bool placed;
        int insertionCase;
        const char* what;
        bool seenAtASlant = false;
    } cases[] = {
        {6.4f, 0.f, true, 2, "beyond the end, within reach"},
        {6.5f, 0.f, false, 3, "exactly 1.75 times the end length"},
        {-3.4f, 0.f, true, 0, "before the start"},
        {1.5f, 0.3f, true, 1, "into a segment"},
        {1.5f, 1.2f, false, 3, "a segment farther than maxDistance"},
        {float(3 + std::cos(turn - 0.05)), float(std::sin(turn - 0.05)), true, 2,
         "a turn under 72"},
        {float(3 + std::cos(turn + 0.05)), float(std::sin(turn + 0.05)), false, 2,
         "a sharper turn"},
        {3.5f, 0.8660254f, true, 2, "60 degrees in space"},
        {3.5f, 0.8660254f, false, 2, "60 degrees in space, 85 on the screen", true},
    };
    for (const Case& k : cases) {
        COffset_Grid grid(nullptr);
        COffset_PointList* pl =
            polyLine(grid, {gridPoint(0, 0), gridPoint(1, 0), gridPoint(2, 0), gridPoint(3, 0)});
        EXPECT_EQ(insertAt(*pl, k.x, k.y, 0.f, nullptr, true, k.seenAtASlant ? &slant : nullptr),
                  k.placed)
            << k.what;
        EXPECT_EQ(pl->insertionCase, k.insertionCase) << k.what;
        EXPECT_EQ(pl->getCount(), k.placed ? 5 : 4) << k.what;
        EXPECT_EQ(grid.undoList.count, k.placed ? 1 : 0) << k.what;
    }

    // A closed poly-line grows only inside; a plain point never enters.
    COffset_Grid grid(nullptr);
    COffset_PointList* ring =
        polyLine(grid, {gridPoint(0, 0), gridPoint(1, 0), gridPoint(1, 1), gridPoint(0, 1)});
    ring->closed = true;
    EXPECT_FALSE(insertAt(*ring, 2.5f, -1.f));
    EXPECT_EQ(ring->insertionCase, 3);
    CVertex<float, 3> plain(0.5f, 0.1f, 0.f);
    EXPECT_FALSE(ring->insertPoints(&plain, 1.0, nullptr, true, nullptr, nullptr));
    EXPECT_EQ(ring->insertionCase, 3);
    EXPECT_EQ(ring->getCount(), 4);
}

TEST(PointListCurve, ViewEllipsePicksTheSegmentUnderTheClickAndPendingPointsClose)
{
    // Seen from above, the click lies at the middle of the second segment;
    // in space the first segment is far nearer.
    COffset_Grid grid(nullptr);
    COffset_PointList* pl =
        polyLine(grid, {gridPoint(2.f, 0.6f, 5.f), gridPoint(6, 0), gridPoint(-2, 0)});
    const CVector<float, 3> down(0.f, 0.f, -1.f);
    ASSERT_TRUE(insertAt(*pl, 2.f, 0.f, 4.9f, &down));
    EXPECT_EQ(pl->insertionCase, 1);
    EXPECT_EQ(pl->vertices[2]->data[2], 4.9f);

    // Both ends empty: points are appended untested, the second one pending.
    COffset_PointList* fresh = polyLine(grid, {});
    EXPECT_TRUE(insertAt(*fresh, 9.f, 9.f, 0.f, nullptr, false));
    EXPECT_FALSE(fresh->hasPending());
    EXPECT_TRUE(insertAt(*fresh, 90.f, 9.f, 0.f, nullptr, false));
    EXPECT_EQ(fresh->pendingVertex, fresh->vertices[1]);

    // The pending end moved from the last to the first entry closes the
    // open poly-line; rolling back opens it again.
    COffset_PointList* open =
        polyLine(grid, {gridPoint(0, 0), gridPoint(1, 0), gridPoint(1, 1), gridPoint(0, 1)});
    ASSERT_TRUE(insertAt(*open, -0.2f, 0.6f, 0.f, nullptr, false));
    EXPECT_EQ(open->insertionCase, 2);
    EXPECT_FALSE(open->closed);
    ASSERT_TRUE(insertAt(*open, -0.2f, 0.3f, 0.f, nullptr, false));
    EXPECT_EQ(open->insertionCase, 0);
    EXPECT_TRUE(open->closed);
    EXPECT_EQ(open->getCount(), 5);
    EXPECT_TRUE(open->RollBack());
    EXPECT_FALSE(open->closed);
    EXPECT_EQ(open->getCount(), 4);
}

TEST(PointListCurve, InterpolationHoldsEndsAndJunctionsOnTheMesh)
{
    const double size = 10.0;
    auto mesh = fitfix::bumpMesh(30, size, 2.0);
    COffset_Grid grid(mesh.get());
    // Grid points on the mesh along a wave over the bump, and around it.
    const fitfix::HeightField z = fitfix::bump(size, 2.0);
    auto onMesh = [&](double x, double y) {
        CGridPoint* g = gridPoint(float(x), float(y), float(z(x, y)));
        CVector<float, 3> normal;
        EXPECT_TRUE(nearestMeshPoint(mesh.get(), *g, normal));
        g->normal = normal;
        return g;
    };
    Kor::List<CVertex<float, 3>*> wave;
    for (int i = 0; i <= 6; ++i)
        wave.append(onMesh(1.0 + 8.0 * i / 6, 5.0 + 1.5 * std::sin(i)));
    COffset_PointList* line = polyLine(grid, {});
    for (CVertex<float, 3>* v : wave)
        line->appendVertex(v);
    polyLine(grid, {wave[3], onMesh(5.0, 9.0)}); // a junction inside the wave
    COffset_PointList* ring = polyLine(grid, {});
    for (int i = 0; i < 6; ++i)
        ring->appendVertex(onMesh(5.0 + 3.0 * std::cos(i * std::numbers::pi / 3),
                                  5.0 + 3.0 * std::sin(i * std::numbers::pi / 3)));
    ring->closed = true;

    CParametricGeometry *lineCurve = nullptr, *ringCurve = nullptr;
    const std::string out = mwtest::capturedStdout([&] {
        lineCurve = line->interpolate();
        ringCurve = ring->interpolate();
    });
    ASSERT_NE(nullptr, lineCurve) << out;
    ASSERT_NE(nullptr, ringCurve) << out;
    EXPECT_EQ(out.find("** severe"), std::string::npos) << out;
    ASSERT_EQ(line->parameters.count, 7);
    for (int i : {0, 3, 6})
        EXPECT_LT(norm(line->curve->getPoint(line->parameters[i], 0.0) - at(wave[i])), 0.001) << i;
    auto* periodic = dynamic_cast<Fenwo::NurbsSurf*>(ring->curve);
    ASSERT_NE(nullptr, periodic);
    EXPECT_EQ(periodic->uKnots->endCondition, knots::CyclicEnd);
    // The closing piece of the ring runs from its last entry to the curve's
    // end.
    Interval closing;
    ASSERT_TRUE(ring->getParameterInterval(5, 6, closing));
    EXPECT_EQ(closing.min, ring->parameters[5]);
    EXPECT_EQ(closing.max, periodic->getUMax());
    EXPECT_FALSE(ring->getParameterInterval(5, 7, closing));

    // A poly-line of one repeated point cannot be fitted: the fallback
    // reports itself.
    COffset_PointList* stuck = polyLine(grid, {wave[0], wave[0]});
    const std::string fallback = mwtest::capturedStdout([&] { stuck->interpolate(); });
    EXPECT_NE(fallback.find("resorting to old-fashioned interpolation on points="),
              std::string::npos);
    EXPECT_EQ(fitfix::occurrences(fallback, "points to="), 2);
}

TEST(PointListCurve, AnEndNormalAlongTheLineLeavesNoSpurInTheCurve)
{
    // A line across the plane z = 0, near its border, with a junction in
    // the middle. An end picked on a sharp edge of the mesh carries the
    // other sheet's normal, which stands (nearly) along the line: the fit
    // that lies across it loops out past the border and back, and the
    // pieces of such a curve give a face a spur of extra sides. Each row:
    // the normal of the last entry, first the plane's own. The curve must
    // pass the entries and run from one to the next, not half as long again
    // as the line.
    auto mesh = fitfix::planarGridMesh(20, 10.0);
    const float rows[][3] = {{0.f, 0.f, 1.f}, {0.98f, -0.2f, 0.f}, {-0.98f, 0.2f, 0.f}};
    for (const auto& n : rows) {
        COffset_Grid grid(mesh.get());
        CGridPoint* a = gridPoint(2, 2);
        CGridPoint* junction = gridPoint(5, 2);
        CGridPoint* edge = gridPoint(8, 2);
        for (CGridPoint* g : {a, junction})
            g->normal = CVector<float, 3>(0.f, 0.f, 1.f);
        edge->normal = CVector<float, 3>(n[0], n[1], n[2]);
        COffset_PointList* line = polyLine(grid, {a, junction, edge});
        polyLine(grid, {junction, gridPoint(5, 8)});
        CParametricGeometry* curve = nullptr;
        const std::string out = mwtest::capturedStdout([&] { curve = line->interpolate(); });
        ASSERT_NE(nullptr, curve) << n[0];
        EXPECT_EQ(out.find("** severe"), std::string::npos) << out;
        ASSERT_EQ(line->parameters.count, 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_LT(norm(curve->getPoint(line->parameters[i], 0.0) - at(line->vertices[i])),
                      0.001)
                << n[0] << " entry " << i;
        for (int i = 0; i < 2; ++i) {
            ASSERT_LT(line->parameters[i], line->parameters[i + 1]);
            EXPECT_LT(curveLengthBetween(*curve, line->parameters[i], line->parameters[i + 1]),
                      1.5 * norm(at(line->vertices[i + 1]) - at(line->vertices[i])))
                << n[0] << " piece " << i;
        }
    }
}

TEST(PointListCurve, RibbonTakesACopyAndPlacesPointsInTheCurvesOrder)
{
    auto arc = fitfix::circularArc(2.0, 1); // from (2, 0) to (0, 2)
    for (bool reversed : {false, true}) {
        COffset_Grid grid(nullptr);
        COffset_PointList* pl = reversed ? polyLine(grid, {gridPoint(0, 2), gridPoint(2, 0)})
                                         : polyLine(grid, {gridPoint(2, 0), gridPoint(0, 2)});
        pl->setRibbonCurve(arc.get(), 0.01, -1);
        ASSERT_NE(pl->curve, nullptr);
        EXPECT_NE(pl->curve, arc.get());
        EXPECT_TRUE(pl->curveLocked);
        ASSERT_GT(pl->getCount(), 4);
        ASSERT_EQ(pl->parameters.count, pl->getCount());
        for (int i = 0; i < pl->getCount(); ++i) {
            EXPECT_LT(norm(pl->curve->getPoint(pl->parameters[i], 0.0) - at(pl->vertices[i])), 1e-5)
                << reversed << " " << i;
            EXPECT_EQ(useCountOf(pl->vertices[i]), 1);
        }
        // The pieces come from the ribbon itself, also without refit.
        std::unique_ptr<CParametricGeometry> piece(pl->getSubCurve(1, 3, true, 5));
        ASSERT_NE(nullptr, piece);
        EXPECT_LT(norm(piece->getStartPoint() - at(pl->vertices[reversed ? 3 : 1])), 1e-6);
        const std::string out =
            mwtest::capturedStdout([&] { pl->setRibbonCurve(nullptr, 0.01, -1); });
        EXPECT_NE(out.find("deleting a know Ribbon."), std::string::npos);
    }
}

} // namespace
