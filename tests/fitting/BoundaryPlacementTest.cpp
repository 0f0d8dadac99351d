// Boundary pieces on a surface: the corner test at its tolerance, the side a
// piece runs along with its snapped range and ends, and the parameter of a
// point along a side.
#include "fitting/BoundaryPlacement.h"

#include "fitting/FitFixtures.h"
#include "geometry/Interval.h"
#include "geometry/SurfaceBoundaryPoint.h"

#include <gtest/gtest.h>

namespace {

// A flat patch over [0, 4] x [0, 2] whose parameters run over [0, 1]^2.
std::unique_ptr<Fenwo::NurbsSurf> patch()
{
    return fitfix::heightFieldSurface(2, 2, fitfix::SurfaceFrame{0.0, 0.0, 4.0, 2.0},
                                      fitfix::flat(0.0), 0.0, 1, 1);
}

TEST(BoundaryPlacement, CornerTestIncludesItsTolerance)
{
    auto s = patch();
    EXPECT_EQ(nearestCorner(Vector(4.25, 2.0, 0.0), s.get(), 0.25), uvNorthEast);
    EXPECT_EQ(nearestCorner(CVertex<float, 3>(4.f, 0.f, 0.25f), s.get(), 0.25), uvSouthEast);
    EXPECT_EQ(nearestCorner(Vector(4.2501, 2.0, 0.0), s.get(), 0.25), undefinedPosition);
    EXPECT_EQ(nearestCorner(Vector(0.0, 0.0, 0.0), nullptr, 1.0), undefinedPosition);
}

TEST(BoundaryPlacement, PiecesLieOnTheSideTheirParametersRunAlong)
{
    auto s = patch();
    struct Case {
        Vector a, b;
        BoundaryPosition side;
        double lo, hi;
        BoundaryPosition endA, endB;
    } cases[] = {
        // u changes less than v: west or east.
        {Vector(0.0, 0.4, 0.0), Vector(0.0, 1.4, 0.0), uvWest, 0.2, 0.7, uvWest, uvWest},
        {Vector(4.0, 0.0, 0.0), Vector(4.0, 1.0, 0.0), uvEast, 0.0, 0.5, uvSouthEast, uvEast},
        // Equal changes (a diagonal) go along u; nearer v max: north.
        {Vector(1.0, 1.0, 0.0), Vector(2.0, 1.5, 0.0), uvNorth, 0.25, 0.5, uvNorth, uvNorth},
        {Vector(0.0, 0.0, 0.0), Vector(4.0, 0.0, 0.0), uvSouth, 0.0, 1.0, uvSouthWest, uvSouthEast},
    };
    for (const Case& k : cases) {
        Interval range;
        CPointOnSurfaceBoundary a, b;
        EXPECT_EQ(getBoundaryPOsOfPoints(k.a, k.b, s.get(), &range, &a, &b), k.side);
        EXPECT_NEAR(range.min, k.lo, 1e-6);
        EXPECT_NEAR(range.max, k.hi, 1e-6);
        EXPECT_EQ(a.position, k.endA);
        EXPECT_EQ(b.position, k.endB);
        EXPECT_EQ(a.surface, s.get());
    }
    EXPECT_EQ(getBoundaryPOsOfPoints(Vector(0, 0, 0), Vector(1, 0, 0), nullptr, nullptr, nullptr,
                                     nullptr),
              undefinedPosition);

    // Along a side: a corner gives the bound where it meets the side.
    double t = 0.0;
    EXPECT_EQ(boundaryParameter(Vector(4.0, 0.0, 0.0), s.get(), &t, uvSouth, 0.01), uvSouthEast);
    EXPECT_EQ(t, 1.0);
    EXPECT_EQ(boundaryParameter(Vector(4.0, 0.0, 0.0), s.get(), &t, uvWest, 0.01), uvSouthEast);
    EXPECT_EQ(t, -1.0);
    EXPECT_EQ(boundaryParameter(Vector(4.0, 0.5, 0.0), s.get(), &t, uvEast, 0.01), uvEast);
    EXPECT_NEAR(t, 0.25, 1e-6);
    std::string out = mwtest::capturedStdout(
        [&] { boundaryParameter(Vector(2.0, 1.0, 0.0), s.get(), &t, uvNorthWest, 0.01); });
    EXPECT_EQ(out, "unhandled searchPos uvNorthWest \n");
    EXPECT_EQ(t, -1.0);
}

} // namespace
