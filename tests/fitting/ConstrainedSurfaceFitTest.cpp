// Surface fit with weight and relation constraints: boundary kept on both
// roads, the constraint set of the Newton road, the error list, and the hit
// road bringing an offset surface onto a bump.
#include "fitting/ConstrainedSurfaceFit.h"

#include "fitting/FitFixtures.h"
#include "geometry/BoundaryConstraint.h"
#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using fitfix::SurfaceFrame;

constexpr double kSize = 10.0, kHeight = 2.0;

std::unique_ptr<Fenwo::NurbsSurf> startSurface(int n, double offset)
{
    return fitfix::heightFieldSurface(n, n, SurfaceFrame{1.0, 1.0, kSize - 2.0, kSize - 2.0},
                                      fitfix::bump(kSize, kHeight), offset);
}

bool sameStoredPoint(const Fenwo::NurbsSurf& a, const Fenwo::NurbsSurf& b, int i, int j)
{
    const Vector& p = a.controlPointAt(i, j);
    const Vector& q = b.controlPointAt(i, j);
    return p.n == q.n && std::memcmp(p.data, q.data, sizeof(double) * p.n) == 0;
}

TEST(ConstrainedSurfaceFit, KeepBoundaryHoldsTheBorderBitForBitOnBothRoads)
{
    auto mesh = fitfix::bumpMesh(40, kSize, kHeight);
    for (bool selectHits : {true, false}) {
        SCOPED_TRACE(selectHits ? "hit road" : "Newton road");
        auto s = startSurface(7, 0.3);
        const Fenwo::NurbsSurf entry(*s);
        ASSERT_TRUE(fitSurfaceWithConstraints(s.get(), mesh.get(), selectHits, true, nullptr,
                                              nullptr, false, true, false, nullptr, false, 2.0,
                                              true, -1.0));
        const int n = s->getUCount();
        bool interiorMoved = false;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const bool border = i == 0 || j == 0 || i == n - 1 || j == n - 1;
                if (border)
                    EXPECT_TRUE(sameStoredPoint(*s, entry, i, j)) << i << "," << j;
                else
                    interiorMoved = interiorMoved || !sameStoredPoint(*s, entry, i, j);
            }
        EXPECT_TRUE(interiorMoved);
    }
}

TEST(ConstrainedSurfaceFit, NewtonRoadReplacesConstraintsByWeightsAndSideRelations)
{
    auto mesh = fitfix::bumpMesh(40, kSize, kHeight);
    for (bool collapsedSouth : {false, true}) {
        SCOPED_TRACE(collapsedSouth ? "collapsed south side" : "no marked side");
        auto s = startSurface(6, 0.2);
        if (collapsedSouth) {
            Vector corner(3);
            s->getControlPoint(0, 0, corner);
            for (int i = 0; i < s->getUCount(); ++i)
                s->setControlPoint(i, 0, corner);
            s->addDegenerateSide(uvSouth);
        }
        s->addConstraint(
            new Fenwo::CBoundaryConstraint(uvWest, Fenwo::BoundaryConstraintKind::C0Fix));
        ASSERT_TRUE(fitSurfaceWithConstraints(s.get(), mesh.get(), false, false, nullptr, nullptr,
                                              false, false, false, nullptr, false, 0.0, true,
                                              -1.0));
        int weights = 0, relations = 0;
        for (int k = 0; k < s->constraints.count; ++k) {
            const int type = s->constraints[k]->m_type;
            weights += type == Fenwo::weightsConstraint;
            relations += type == Fenwo::ijRelationConstraint;
        }
        EXPECT_EQ(1, weights);
        EXPECT_EQ(collapsedSouth ? s->getUCount() - 1 : 0, relations);
        EXPECT_EQ(weights + relations, s->constraints.count);
    }
}

TEST(ConstrainedSurfaceFit, HitRoadWithSnappingBringsAnOffsetSurfaceOntoTheBump)
{
    auto mesh = fitfix::bumpMesh(60, kSize, kHeight);
    const auto height = fitfix::bump(kSize, kHeight);
    auto s = fitfix::heightFieldSurface(12, 12, SurfaceFrame{0.0, 0.0, kSize, kSize}, height,
                                        0.05 * kHeight);
    const double before = fitfix::vertexRmsDistance(*mesh, *s);
    Kor::List<float> errors; // six floats per fit point, nothing older
    errors.append(-1.0f);
    ASSERT_TRUE(fitSurfaceWithConstraints(s.get(), mesh.get(), true, false, nullptr, &errors, false,
                                          true, false, nullptr, false, 2.0, true, -1.0));
    EXPECT_LT(fitfix::vertexRmsDistance(*mesh, *s), 0.5 * before);
    ASSERT_EQ(6 * 144, errors.count);
    for (int k = 0; k < errors.count; k += 6) {
        EXPECT_NEAR(height(errors[k + 3], errors[k + 4]), errors[k + 5], 0.02);
        EXPECT_NEAR(0.05 * kHeight, errors[k + 2], 0.02);
    }
    EXPECT_FALSE(fitSurfaceWithConstraints(nullptr, mesh.get(), true, false, nullptr, nullptr,
                                           false, true, false, nullptr, false, 2.0, true, -1.0));
}

} // namespace
