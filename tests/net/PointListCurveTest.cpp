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

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

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

// A grid point at (x, y) on the height field z, with the normal of the
// mesh point nearest to it.
CGridPoint* pointOnMesh(Mesh::CBaseMesh* mesh, const fitfix::HeightField& z, double x, double y)
{
    CGridPoint* g = gridPoint(float(x), float(y), float(z(x, y)));
    CVector<float, 3> normal;
    EXPECT_TRUE(nearestMeshPoint(mesh, *g, normal));
    g->normal = normal;
    return g;
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
        {3.f, 0.f, false, 3, "at the last entry's position: a piece of no length"},
        {1.f, 0.f, false, 3, "at an inner entry's position"},
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
    auto onMesh = [&](double x, double y) { return pointOnMesh(mesh.get(), z, x, y); };
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

TEST(PointListCurve, CurveFittedBeforeALaterJunctionMissedIt)
{
    // A poly-line over a bump is fitted while its inner entries are free; a
    // poly-line drawn later ends on one of them. The curve kept from the
    // fit passed that junction at a distance, and the net judged its
    // regions on it, while the same net read back fits with the junction
    // held: the curve the pieces are cut from is fitted again and passes
    // it, and is kept while nothing changes.
    const double size = 10.0;
    auto mesh = fitfix::bumpMesh(30, size, 3.0);
    const fitfix::HeightField z = fitfix::bump(size, 3.0);
    COffset_Grid grid(mesh.get());
    grid.surfaceTolerance = 0.02;
    auto onMesh = [&](double x, double y) { return pointOnMesh(mesh.get(), z, x, y); };
    std::vector<CVertex<float, 3>*> path;
    for (const auto& [x, y] :
         {std::array<double, 2>{0.8, 3.0}, {3.9, 3.6}, {5.0, 4.4}, {7.6, 5.9}, {9.2, 6.4}})
        path.push_back(onMesh(x, y));
    COffset_PointList* line = polyLine(grid, path);
    CParametricGeometry* curve = nullptr;
    mwtest::capturedStdout([&] { curve = line->interpolate(); });
    ASSERT_NE(nullptr, curve);
    const double limit = line->heldEntryMiss();
    const auto miss = [&](int i) {
        return norm(line->curve->getPoint(line->parameters[i], 0.0) - at(path[std::size_t(i)]));
    };
    ASSERT_GT(miss(2), limit) << "the free entry lies on the first fit: nothing to refit";

    polyLine(grid, {path[2], onMesh(5.3, 5.3)});
    std::string out = mwtest::capturedStdout([&] { curve = line->currentCurve(); });
    ASSERT_NE(nullptr, curve) << out;
    EXPECT_EQ(out.find("** severe"), std::string::npos) << out;
    for (int i : {0, 2, 4})
        EXPECT_LT(miss(i), limit) << "entry " << i;
    const std::vector<double> refitted(line->parameters.begin(), line->parameters.end());
    mwtest::capturedStdout([&] { line->currentCurve(); });
    EXPECT_EQ(std::vector<double>(line->parameters.begin(), line->parameters.end()), refitted);
}

TEST(PointListCurve, PulledCurveMissedJunctionsBetweenItsSamples)
{
    // Poly-lines of 4 to 6 entries over a bump, their stretches of unequal
    // length, every inner entry a junction with a short crossing stroke
    // (a lasso passes its own point, a junction of itself, and turns at
    // free entries). The curve pulled onto the mesh took its samples at
    // parameters of its own; a junction between two of them was missed by
    // up to a tenth of the tolerance, and the faces on its two sides did not
    // close at the grid point. Every held entry must lie on the curve at its
    // parameter within a small share of the tolerance, in both drawing
    // directions and with the model in millimetres or in metres. A pen that
    // ran past a junction or the end and came back leaves a spur's tip
    // among the entries: the cubic through it looped far past it, and the
    // faces beside took the loop for their side. Between two held entries
    // the curve runs no longer than half again the poly-line between them.
    struct Row {
        const char* name;
        double scale;                     // of the model: 1 millimetres, 0.001 metres
        std::vector<std::array<double, 2>> at; // positions on the 10 x 10 bump
        std::vector<int> path;            // the poly-line's entries as indices into at
        std::vector<int> crossed;         // entries a stroke crosses (junctions)
    };
    const std::vector<Row> rows = {
        {"four entries", 1.0, {{1.0, 4.5}, {2.2, 4.2}, {5.6, 4.9}, {9.0, 4.4}}, {0, 1, 2, 3}, {1, 2}},
        {"five entries", 1.0,
         {{0.8, 3.0}, {3.9, 3.6}, {5.0, 4.4}, {7.6, 5.9}, {9.2, 6.4}}, {0, 1, 2, 3, 4}, {1, 2, 3}},
        {"five entries reversed", 1.0,
         {{0.8, 3.0}, {3.9, 3.6}, {5.0, 4.4}, {7.6, 5.9}, {9.2, 6.4}}, {4, 3, 2, 1, 0}, {1, 2, 3}},
        {"five entries in metres", 0.001,
         {{0.8, 3.0}, {3.9, 3.6}, {5.0, 4.4}, {7.6, 5.9}, {9.2, 6.4}}, {0, 1, 2, 3, 4}, {1, 2, 3}},
        {"lasso", 1.0,
         {{1.0, 5.0}, {3.0, 5.0}, {5.0, 5.0}, {7.0, 5.0}, {8.5, 5.0}, {8.5, 8.5}, {5.0, 8.5},
          {5.0, 7.0}, {5.0, 3.0}, {5.0, 1.0}},
         {0, 1, 2, 3, 4, 5, 6, 7, 2, 8, 9}, {1, 3, 7, 8}},
        {"a spur past a junction and back", 1.0,
         {{1.0, 5.0}, {3.0, 5.0}, {5.5, 5.1}, {5.0, 5.0}, {5.1, 7.0}, {5.0, 9.0}},
         {0, 1, 2, 3, 4, 5}, {3}},
        {"a spur past the end and back", 1.0,
         {{1.0, 5.0}, {3.0, 5.0}, {5.0, 5.0}, {7.0, 5.0}, {9.4, 5.1}, {9.0, 5.0}},
         {0, 1, 2, 3, 4, 5}, {2}},
        {"from the end a spur past the first junction", 1.0,
         {{1.0, 5.0}, {3.1, 5.02}, {3.0, 5.0}, {5.0, 5.0}, {7.0, 5.0}, {9.0, 5.0}},
         {0, 1, 2, 3, 4, 5}, {2, 3}},
        {"a tail before the first junction", 1.0,
         {{1.0, 5.0}, {1.3, 5.0}, {3.0, 5.0}, {5.0, 5.0}, {7.0, 5.0}, {9.0, 5.0}},
         {0, 1, 2, 3, 4, 5}, {1, 3}},
    };
    for (const Row& row : rows) {
        const double size = 10.0 * row.scale;
        auto mesh = fitfix::bumpMesh(30, size, 3.0 * row.scale);
        const fitfix::HeightField z = fitfix::bump(size, 3.0 * row.scale);
        COffset_Grid grid(mesh.get());
        const double tolerance = 0.02 * row.scale;
        grid.surfaceTolerance = tolerance;
        auto onMesh = [&](double x, double y) { return pointOnMesh(mesh.get(), z, x, y); };
        std::vector<CVertex<float, 3>*> entries;
        for (const auto& a : row.at)
            entries.push_back(onMesh(a[0] * row.scale, a[1] * row.scale));
        std::vector<CVertex<float, 3>*> path;
        for (int k : row.path)
            path.push_back(entries[std::size_t(k)]);
        COffset_PointList* line = polyLine(grid, path);
        for (int k : row.crossed) {
            const auto& a = row.at[std::size_t(k)];
            polyLine(grid, {entries[std::size_t(k)],
                            onMesh((a[0] + 0.3) * row.scale, (a[1] + 0.9) * row.scale)});
        }
        CParametricGeometry* curve = nullptr;
        const std::string out = mwtest::capturedStdout([&] { curve = line->interpolate(); });
        ASSERT_NE(nullptr, curve) << row.name << out;
        EXPECT_EQ(out.find("** severe"), std::string::npos) << row.name << out;
        ASSERT_EQ(line->parameters.count, int(path.size())) << row.name;
        std::size_t lastHeld = 0;
        double way = 0.0; // along the poly-line since the last held entry
        for (std::size_t i = 0; i < path.size(); ++i) {
            const bool held = i == 0 || i + 1 == path.size() || useCountOf(path[i]) >= 2;
            way += i > 0 ? norm(at(path[i]) - at(path[i - 1])) : 0.0;
            if (held) {
                EXPECT_LT(norm(curve->getPoint(line->parameters[int(i)], 0.0) - at(path[i])),
                          0.01 * tolerance)
                    << row.name << " entry " << i;
                EXPECT_LE(curveLengthBetween(*curve, line->parameters[int(lastHeld)],
                                             line->parameters[int(i)]),
                          1.5 * way)
                    << row.name << " entries " << lastHeld << " to " << i;
                lastHeld = i;
                way = 0.0;
            }
            if (i > 0) {
                EXPECT_LT(line->parameters[int(i) - 1], line->parameters[int(i)])
                    << row.name << " entry " << i;
            }
        }
    }
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
