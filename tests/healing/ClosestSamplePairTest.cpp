#include "healing/ClosestSamplePair.h"

#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <numbers>

TEST(ClosestSamplePair, TouchingCirclesRefineToTheTouchingPoint)
{
    const double pi = std::numbers::pi;
    AnalyticCircle a(Vector(0, 0, 0), 1.0, 0.0, 2 * pi);
    AnalyticCircle b(Vector(2, 0, 0), 1.0, 0.0, 2 * pi);
    Kor::List<double> sa, sb;
    for (int k = 0; k < 16; ++k) {
        sa.append((k + 0.5) * 2 * pi / 16); // no sample at 0, where a touches b
        sb.append((k + 0.5) * 2 * pi / 16); // none at pi either
    }
    double ta = -1, tb = -1;
    testing::internal::CaptureStdout();
    closestSamplePair(&a, &b, sa, sb, &ta, &tb);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("dMin ="), std::string::npos) << out;
    const Vector pa = a.getPoint(ta, 0.0), pb = b.getPoint(tb, 0.0);
    EXPECT_LE(norm(pa - pb), 0.001);
    EXPECT_LE(norm(pa - Vector(1, 0, 0)), 0.05);
    EXPECT_LE(norm(pb - Vector(1, 0, 0)), 0.05);

    // Ties keep the lowest indices; an empty list leaves the outputs.
    Kor::List<double> twice, single;
    twice.append(0.0);
    twice.append(0.0);
    single.append(pi);
    testing::internal::CaptureStdout();
    closestSamplePair(&a, &b, twice, single, &ta, &tb);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(" at 0 of 2 0 of 1"), std::string::npos);

    Kor::List<double> none;
    ta = 7;
    tb = 8;
    testing::internal::CaptureStdout();
    closestSamplePair(&a, &b, none, sb, &ta, &tb);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "dMin =3.40282e+38 at -1 of 0 -1 of 16\n");
    EXPECT_EQ(ta, 7);
    EXPECT_EQ(tb, 8);
}
