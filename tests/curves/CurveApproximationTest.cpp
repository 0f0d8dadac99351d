#include "curves/CurveApproximation.h"

#include "curves/CurveProjection.h"
#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>

using Fenwo::NurbsSurf;

namespace {

constexpr double kPi = std::numbers::pi;

// Largest distance of 1000 samples of c from the circle of the radius about
// the origin in the plane z = 0.
double deviationFromCircle(NurbsSurf& c, double radius)
{
    double worst = 0.0;
    for (int k = 0; k <= 1000; ++k) {
        const double t = c.getUMin() + (c.getUMax() - c.getUMin()) * k / 1000;
        const Vector p = c.getPoint(t, 0.0);
        worst = std::max(worst, std::hypot(std::hypot(p[0], p[1]) - radius, p[2]));
    }
    return worst;
}

// A circle arc whose getLength reports its true length divided by `factor`.
class MismeasuredArc : public AnalyticCircle {
public:
    MismeasuredArc(double factor)
        : AnalyticCircle(Vector(0.0, 0.0, 0.0), 10.0, 0.0, 1.5 * kPi), factor(factor)
    {
    }
    double getLength() override { return AnalyticCircle::getLength() / factor; }
    double factor;
};

} // namespace

TEST(CurveApproximation, CircleWithinToleranceWithAndWithoutRefinement)
{
    for (bool refine : {false, true})
        for (double end : {1.5 * kPi, 2.0 * kPi}) {
            AnalyticCircle circle(Vector(0.0, 0.0, 0.0), 10.0, 0.0, end);
            CurveApproximationSettings settings;
            settings.refine = refine;
            bool failed = true;
            std::unique_ptr<NurbsSurf> c(
                approximateCurveWithLengthCheck(&circle, 0.01, settings, true, &failed, nullptr));
            ASSERT_NE(c, nullptr) << refine << ' ' << end;
            EXPECT_FALSE(failed);
            // A refined curve is the second pass's, fitted at a fifth of the
            // tolerance.
            EXPECT_LT(deviationFromCircle(*c, 10.0), refine ? 1.2 * 0.01 / 5 : 0.01)
                << refine << ' ' << end;
            if (!c->isClosed()) {
                EXPECT_LT(norm(c->getStartPoint() - circle.getStartPoint()), 0.01);
                EXPECT_LT(norm(c->getEndPoint() - circle.getEndPoint()), 0.01);
            }
        }
}

TEST(CurveApproximation, LengthCheckAcceptsUpTo15PercentThenRetriesAndGivesUp)
{
    MismeasuredArc close(1.14), far(1.16);
    testing::internal::CaptureStdout();
    std::unique_ptr<NurbsSurf> accepted(
        approximateCurveWithLengthCheck(&close, 0.01, {}, true, nullptr, nullptr));
    const std::string first = testing::internal::GetCapturedStdout();
    EXPECT_NE(accepted, nullptr);
    EXPECT_EQ(first.find("Length of Curves do not match."), std::string::npos);

    testing::internal::CaptureStdout();
    std::unique_ptr<NurbsSurf> refused(
        approximateCurveWithLengthCheck(&far, 0.01, {}, true, nullptr, nullptr));
    const std::string second = testing::internal::GetCapturedStdout();
    EXPECT_EQ(refused, nullptr);
    const size_t retry = second.find("Length of Curves do not match. ");
    ASSERT_NE(retry, std::string::npos);
    EXPECT_NE(second.find(" lNew not Reached at second stage, returning NULL lNew=", retry),
              std::string::npos);

    // Without the check the length does not matter.
    std::unique_ptr<NurbsSurf> unchecked(
        approximateCurveWithLengthCheck(&far, 0.01, {}, false, nullptr, nullptr));
    EXPECT_NE(unchecked, nullptr);
    EXPECT_EQ(approximateCurveWithLengthCheck(nullptr, 0.01, {}, true, nullptr, nullptr), nullptr);
}

TEST(CurveApproximation, CircleProjectedOntoATiltedPlaneIsTheEllipse)
{
    AnalyticCircle circle(Vector(0.0, 0.0, 0.0), 5.0, 0.0, 2.0 * kPi);
    const double c30 = std::cos(kPi / 6), s30 = std::sin(kPi / 6);
    const CPlane plane(Vector(0.0, 0.0, 0.0), Vector(0.0, -s30, c30));
    std::unique_ptr<NurbsSurf> flat(projectCurveToPlane(&circle, plane));
    ASSERT_NE(flat, nullptr);
    // The ellipse in the plane: semi-axis 5 along x, 5 cos 30 along e2.
    const Vector e2(0.0, c30, s30);
    double worst = 0.0;
    for (int k = 0; k <= 1000; ++k) {
        const double t = flat->getUMin() + (flat->getUMax() - flat->getUMin()) * k / 1000;
        const Vector q = flat->getPoint(t, 0.0);
        EXPECT_NEAR(plane.signedDistance(q), 0.0, 1e-9);
        // The nearest ellipse point lies near the angle of q's coordinates.
        const double a = dot(q, Vector(1.0, 0.0, 0.0)), b = dot(q, e2);
        const double theta = std::atan2(b / (5.0 * c30), a / 5.0);
        double nearest = 1e300;
        for (int j = -200; j <= 200; ++j) {
            const double th = theta + 0.05 * j / 200;
            nearest =
                std::min(nearest, std::hypot(a - 5.0 * std::cos(th), b - 5.0 * c30 * std::sin(th)));
        }
        worst = std::max(worst, nearest);
    }
    EXPECT_LT(worst, 0.01);
}
