#include "curves/CurveJoins.h"

#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// Clamped curve of degree p on uniform knots over [t0, t1], points (and
// weights, when given) in order.
std::unique_ptr<NurbsSurf> makeCurve(int p, double t0, double t1, const std::vector<Vector>& pts,
                                     const std::vector<double>& w = {})
{
    knots k(static_cast<int>(pts.size()) - 1, p, t0, t1);
    auto c = std::make_unique<NurbsSurf>(k);
    for (size_t i = 0; i < pts.size(); ++i)
        c->setControlPoint(static_cast<int>(i), 0, pts[i], w.empty() ? 1.0 : w[i]);
    return c;
}

Vector at(NurbsSurf& c, double t)
{
    Vector out;
    c.evaluatePoint(out, t, 0.0);
    return out;
}

Vector derivative(NurbsSurf& c, double t)
{
    return c.evaluate(1, t, 0.0)[1][0];
}

template <class T> Kor::Array<T> arrayOf(std::initializer_list<T> xs)
{
    Kor::Array<T> a;
    for (const T& x : xs)
        a.append(x);
    return a;
}
Kor::Array<int> flags(std::initializer_list<int> fs)
{
    return arrayOf(fs);
}

struct Selection {
    Kor::Array<NurbsSurf*> items;
    IndexSubset<NurbsSurf*> subset{items};
    explicit Selection(std::initializer_list<NurbsSurf*> cs) : items(arrayOf(cs))
    {
        subset.selectAll();
    }
};

// Two cubics with 5 spans each meeting at (5, 0, 0) with a corner.
std::unique_ptr<NurbsSurf> cornerPiece(bool second, double scale = 1.0)
{
    std::vector<Vector> pts;
    for (int i = 0; i <= 7; ++i)
        pts.push_back(second ? scale * Vector(5.0 + 0.6 * i, 0.9 * i, std::cos(0.5 * i) - 1.0)
                             : scale * Vector(5.0 * i / 7, std::sin(0.8 * i) * (7 - i) * 0.2,
                                              i < 7 ? 0.1 * i : 0.0));
    return makeCurve(3, 0.0, second ? 2.0 : 5.0, pts);
}

} // namespace

TEST(CurveJoins, EmptySelectionOrNullCurveGiveNull)
{
    Selection empty{}, withNull{nullptr};
    EXPECT_EQ(joinCurvesC1(empty.subset, flags({}), 1.0, false, false), nullptr);
    EXPECT_EQ(joinCurvesC1(withNull.subset, flags({1}), 1.0, false, true), nullptr);
}

TEST(CurveJoins, JoinKeepsShapeOfRationalPiecesWithDifferentJointWeights)
{
    auto a =
        makeCurve(3, 0.0, 2.0, {Vector(3, 0, 0), Vector(2, 1, 0), Vector(1, 1, 0), Vector(0, 0, 0)},
                  {0.5, 2.0, 1.0, 1.0});
    auto b = makeCurve(1, 4.0, 5.0, {Vector(3, 0, 0), Vector(3, -2, 1)}, {3.0, 1.0});
    NurbsSurf a0(*a), b0(*b);
    Selection sel{a.get(), b.get()};
    // The first curve is reversed; the second has no flag and keeps its direction.
    std::unique_ptr<NurbsSurf> j(joinCurvesC1(sel.subset, flags({0}), 1.0, false, false));
    ASSERT_NE(j, nullptr);
    EXPECT_TRUE(j->rational);
    EXPECT_EQ(j->uKnots->p, 3);
    EXPECT_EQ(j->getUCount(), 7);
    EXPECT_EQ(j->uKnots->getMultiplicity(2.0), 3);
    for (int i = 0; i <= 20; ++i) {
        const double t = i / 20.0;
        EXPECT_LT(norm(at(*j, 2.0 * t) - at(a0, 2.0 - 2.0 * t)), 1e-12);
        EXPECT_LT(norm(at(*j, 2.0 + t) - at(b0, 4.0 + t)), 1e-12);
    }
}

TEST(CurveJoins, CornerBecomesC1AndShapeAwayFromJointIsKept)
{
    for (double scale : {1e-3, 1.0, 1e3}) {
        auto a = cornerPiece(false, scale);
        auto b = cornerPiece(true, scale);
        NurbsSurf a0(*a), b0(*b);
        Selection sel{a.get(), b.get()};
        testing::internal::CaptureStdout();
        std::unique_ptr<NurbsSurf> j(
            joinCurvesC1(sel.subset, flags({1, 1}), 1e-9, scale == 1.0, true));
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_NE(j, nullptr);
        EXPECT_EQ(out.find("delta1 = "), 0u) << out;
        EXPECT_EQ(out.find("delta1 = ", 1), std::string::npos);

        const double tj = a->getUMax();
        const Vector left = derivative(*j, tj - 1e-9);
        const Vector right = derivative(*j, tj + 1e-9);
        EXPECT_GT(cosineBetween(left, right), 1.0 - 1e-9);
        EXPECT_NEAR(norm(left), norm(right), 1e-5 * norm(left));

        // The first three spans of A and the last three of B are untouched.
        const double b0lo = b0.getUMin(), b0hi = b0.getUMax();
        const double blo = b->getUMin(), bhi = b->getUMax();
        for (int i = 0; i <= 20; ++i) {
            const double ta = 3.0 * i / 20.0;
            EXPECT_LT(norm(at(*j, ta) - at(a0, ta)), 1e-9 * scale);
            const double tb = b0lo + (b0hi - b0lo) * (0.4 + 0.6 * i / 20.0);
            const double mapped = blo + (tb - b0lo) / (b0hi - b0lo) * (bhi - blo);
            EXPECT_LT(norm(at(*j, mapped) - at(b0, tb)), 1e-9 * scale);
        }
    }
}

TEST(CurveJoins, OptimiseJointMatchesDerivativeMagnitude)
{
    // B's start derivative is 0.3 times A's end derivative (the knot lies
    // inside the trial range), or far larger (the first span must grow past
    // B's own end, beyond the reach of the trial knot).
    const std::vector<Vector> legA{Vector(0, 0, 0), Vector(1, 1, 0), Vector(2, 0, 0),
                                   Vector(3, 0, 0)};
    const std::vector<Vector> legB{Vector(3, 0, 0), Vector(3.3, 0, 0), Vector(5, 1, 0),
                                   Vector(6, 1, 1), Vector(7, 0, 1),   Vector(8, 0, 0)};
    for (double bEnd : {3.0, 0.003}) {
        auto a = makeCurve(3, 0.0, 1.0, legA);
        auto b = makeCurve(3, 0.0, bEnd, legB);
        testing::internal::CaptureStdout();
        EXPECT_TRUE(optimiseJointC1(a.get(), b.get()));
        EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("delta1 = ", 0), 0u);
        EXPECT_DOUBLE_EQ(b->getUMin(), 1.0);
        const Vector ta = derivative(*a, a->getUMax());
        const Vector tb = derivative(*b, b->getUMin());
        EXPECT_LT(norm(ta - tb), 1e-6 * norm(ta)) << bEnd;
    }
}

TEST(CurveJoins, OptimiseJointFailures)
{
    auto a = cornerPiece(false);
    auto line = makeCurve(1, 0.0, 1.0, {Vector(5, 0, 0), Vector(6, 0, 0)});
    const double lineEnd = line->getUMax();
    EXPECT_FALSE(optimiseJointC1(a.get(), line.get())); // degree mismatch: unchanged
    EXPECT_DOUBLE_EQ(line->getUMax(), lineEnd);

    // Legs not parallel: reparametrised by length after A's end, no message.
    auto b = cornerPiece(true);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(optimiseJointC1(a.get(), b.get()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_DOUBLE_EQ(b->getUMin(), 5.0);
    EXPECT_NEAR(b->getUMax() - 5.0, b->getLength(), 1e-12);
}

TEST(CurveJoins, ElevateInVLeavesCurvesAlone)
{
    auto a = cornerPiece(false);
    auto line = makeCurve(1, 0.0, 1.0, {Vector(0, 0, 0), Vector(1, 0, 0)});
    Selection sel{a.get(), line.get()};
    elevateDegreesToCommon(sel.subset, true);
    EXPECT_EQ(line->uKnots->p, 1);
    elevateDegreesToCommon(sel.subset, false);
    EXPECT_EQ(line->uKnots->p, 3);
    EXPECT_LT(norm(at(*line, 0.5) - Vector(0.5, 0, 0)), 1e-12);
}
