#include "geometry/ParametricGeometry.h"

#include "foundation/Logging.h"
#include "geometry/ExactFacetPoint.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "platform/Diagnostics.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <unistd.h>

using Fenwo::NurbsSurf;

namespace {

constexpr double pi = std::numbers::pi;

Vector origin3()
{
    return Vector(0.0, 0.0, 0.0);
}

// A curve over the clamped knot positions `positions` (n + p + 2 of them) of
// degree p with the given control points.
std::unique_ptr<NurbsSurf> nurbsCurve(std::initializer_list<double> positions, int p,
                                      std::initializer_list<Vector> points)
{
    Kor::List<double> values;
    for (double x : positions)
        values.append(x);
    const int n = static_cast<int>(positions.size()) - p - 2;
    const knots u(values, n, p);
    auto c = std::make_unique<NurbsSurf>(u, nullptr);
    int i = 0;
    for (const Vector& q : points)
        c->setControlPoint(i++, 0, q);
    return c;
}

// Squared distance of p from the segment a-b.
double segmentDistanceSq(const Vector& p, const Vector& a, const Vector& b)
{
    const Vector ab = b - a;
    const double len2 = normSquared(ab);
    const double s = len2 > 0.0 ? std::clamp(dot(p - a, ab) / len2, 0.0, 1.0) : 0.0;
    return squaredDistance(p, a + s * ab);
}

// Largest distance of the curve from its facet chords, sampled densely.
double largestChordDeviation(CParametricGeometry& curve, const Kor::List<double>& t,
                             int samplesPerFacet = 200)
{
    double worst = 0.0;
    for (int i = 1; i < t.getCount(); ++i) {
        const Vector a = curve.getPoint(t[i - 1], 0.0);
        const Vector b = curve.getPoint(t[i], 0.0);
        for (int k = 1; k < samplesPerFacet; ++k) {
            const double s = static_cast<double>(k) / samplesPerFacet;
            const Vector q = curve.getPoint((1.0 - s) * t[i - 1] + s * t[i], 0.0);
            worst = std::max(worst, std::sqrt(segmentDistanceSq(q, a, b)));
        }
    }
    return worst;
}

void expectIncreasingFromStartToEnd(const Kor::List<double>& t, const Interval& domain)
{
    ASSERT_GE(t.getCount(), 2);
    EXPECT_EQ(t[0], domain.min);
    EXPECT_EQ(t[t.getCount() - 1], domain.max);
    for (int i = 1; i < t.getCount(); ++i)
        EXPECT_LT(t[i - 1], t[i]) << i;
}

bool containsExactly(const Kor::List<double>& t, double value)
{
    for (int i = 0; i < t.getCount(); ++i)
        if (t[i] == value)
            return true;
    return false;
}

// Points the diagnostics folder at a fresh folder and opens the profile log
// there, so the faceting's log lines can be read back.
class FacetLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = std::filesystem::temp_directory_path() /
                   ("mw-facet-" + std::to_string(::getpid()) + "-" +
                    testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
        Platform::setDiagnosticsFolderOverride(m_folder.string());
        closeGlobalLogs();
        openGlobalLogs("c:/tmp/facet-profile.txt", nullptr);
    }
    void TearDown() override
    {
        closeGlobalLogs();
        Platform::setDiagnosticsFolderOverride("");
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    std::string logText() const
    {
        std::ifstream in(m_folder / "facet-profile.txt");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    std::filesystem::path m_folder;
};

} // namespace

// Far beyond 1e8 too: a straight stretch was cut into chords about the
// tolerance long (500 at 1e20, a curve's tolerance set relative to its size).
TEST(FacetCurve, StraightLineYieldsItsTwoEndsAtEveryScale)
{
    for (double scale : {1.0, 1e-8, 1e8, 1e20, 1e40}) {
        AnalyticLine line(Vector(0.0, 0.0, 0.0), Vector(3.0 * scale, 4.0 * scale, 0.0), 0.5, 2.0);
        for (bool verify : {false, true}) {
            Kor::List<double> t;
            t.append(42.0); // emptied first
            EXPECT_EQ(line.facetCurve(t, 0.01 * scale, verify, 2000, false, false, -1.0), 2);
            ASSERT_EQ(t.getCount(), 2) << scale;
            EXPECT_EQ(t[0], 0.5);
            EXPECT_EQ(t[1], 2.0);
        }
    }
}

TEST(FacetCurve, CurveShorterThanTheLengthFloorYieldsItsEnds)
{
    AnalyticLine point(Vector(1.0, 2.0, 3.0), Vector(1.0, 2.0, 3.0), -1.0, 4.0);
    Kor::List<double> t;
    EXPECT_EQ(point.facetCurve(t, 0.01, true, 2000, false, false, -1.0), 2);
    ASSERT_EQ(t.getCount(), 2);
    EXPECT_EQ(t[0], -1.0);
    EXPECT_EQ(t[1], 4.0);
}

TEST(FacetCurve, CircleStepsFollowTheSagittaAndKeepTheChordError)
{
    // A circle of radius R has |C'| = R and curvature 1/R: the step is
    // sqrt(tol^2 + 2 R tol)/R in parameter, and its chord deviates by about
    // tol/4, so verification keeps it.
    for (double scale : {1.0, 1e-8, 1e8}) {
        const double radius = 10.0 * scale;
        const double tol = 0.001 * scale;
        AnalyticCircle circle(origin3(), radius, 0.0, 2.0 * pi);
        Kor::List<double> t;
        const int count = circle.facetCurve(t, tol, true, 2000, false, false, -1.0);
        EXPECT_EQ(count, t.getCount());
        expectIncreasingFromStartToEnd(t, circle.getDomain(0));

        const double step = std::sqrt(tol * tol + 2.0 * radius * tol) / radius;
        for (int i = 1; i + 1 < t.getCount(); ++i)
            EXPECT_NEAR(t[i] - t[i - 1], step, 1e-12) << "scale " << scale << " facet " << i;
        EXPECT_LE(t[t.getCount() - 1] - t[t.getCount() - 2], step * (1.0 + 1e-12));
        EXPECT_EQ(count, static_cast<int>(std::ceil(2.0 * pi / step - 1e-9)) + 1);

        const double deviation = largestChordDeviation(circle, t);
        EXPECT_LE(deviation, tol) << scale;
        EXPECT_GT(deviation, 0.2 * tol) << scale; // not needlessly fine
    }
}

TEST(FacetCurve, ChordErrorBoundHoldsForSeveralTolerancesAndRadii)
{
    for (double radius : {0.5, 3.0, 200.0}) {
        for (double tol : {1.0, 0.1, 0.01, 1e-4}) {
            AnalyticCircle arc(Vector(1.0, -2.0, 0.5), radius, 0.3, 4.0);
            Kor::List<double> t;
            arc.facetCurve(t, tol, true, 2000, false, false, -1.0);
            expectIncreasingFromStartToEnd(t, arc.getDomain(0));
            EXPECT_LE(largestChordDeviation(arc, t), tol) << radius << " " << tol;
        }
    }
}

TEST(FacetCurve, KinksOfNurbsCurvesAreHitExactly)
{
    // Degree 2 with a double knot at 0.4: a C0 corner there.
    auto corner = nurbsCurve(
        {0.0, 0.0, 0.0, 0.4, 0.4, 1.0, 1.0, 1.0}, 2,
        {Vector(0, 0, 0), Vector(1, 1, 0), Vector(2, 0, 0), Vector(3, 2, 0), Vector(4, 0, 1)});
    Kor::List<double> t;
    corner->facetCurve(t, 0.01, true, 2000, false, false, -1.0);
    expectIncreasingFromStartToEnd(t, corner->getDomain(0));
    EXPECT_TRUE(containsExactly(t, 0.4));
    EXPECT_LE(largestChordDeviation(*corner, t), 0.01);

    // Degree 3 with triple knots at 0.3 and 0.75.
    auto twoKinks = nurbsCurve(
        {0.0, 0.0, 0.0, 0.0, 0.3, 0.3, 0.3, 0.75, 0.75, 0.75, 1.0, 1.0, 1.0, 1.0}, 3,
        {Vector(0, 0, 0), Vector(1, 2, 0), Vector(2, 2, 0), Vector(3, 0, 0), Vector(4, 3, 1),
         Vector(5, -1, 0), Vector(6, 1, 0), Vector(7, 0, 2), Vector(8, 1, 1), Vector(9, 0, 0)});
    twoKinks->facetCurve(t, 0.001, true, 2000, false, false, -1.0);
    expectIncreasingFromStartToEnd(t, twoKinks->getDomain(0));
    EXPECT_TRUE(containsExactly(t, 0.3));
    EXPECT_TRUE(containsExactly(t, 0.75));
    EXPECT_LE(largestChordDeviation(*twoKinks, t), 0.001);

    // A poly-line: every interior knot is a corner, and the straight pieces
    // need nothing in between.
    auto polyline =
        nurbsCurve({0.0, 0.0, 0.25, 0.6, 1.0, 1.0}, 1,
                   {Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 1, 0), Vector(0, 1, 1)});
    EXPECT_EQ(polyline->facetCurve(t, 0.01, true, 2000, false, false, -1.0), 4);
    ASSERT_EQ(t.getCount(), 4);
    EXPECT_EQ(t[1], 0.25);
    EXPECT_EQ(t[2], 0.6);

    // Ignoring kinks the poly-line is one span; the chords still keep tol.
    polyline->facetCurve(t, 0.01, true, 2000, false, true, -1.0);
    expectIncreasingFromStartToEnd(t, polyline->getDomain(0));
    EXPECT_LE(largestChordDeviation(*polyline, t), 0.01);
}

TEST(FacetCurve, KinkJustBeforeTheEndLeavesTheDomainEndLast)
{
    // The last span is shorter than 2e-8 and is not stepped through; the list
    // still ends exactly at the domain's end.
    const double k = 1.0 - 1.5e-8; // apart from 1.0 as a knot, within 2e-8 as a parameter
    auto c = nurbsCurve(
        {0.0, 0.0, 0.0, k, k, 1.0, 1.0, 1.0}, 2,
        {Vector(0, 0, 0), Vector(1, 1, 0), Vector(2, 0, 0), Vector(3, 2, 0), Vector(4, 0, 0)});
    Kor::List<double> t;
    c->facetCurve(t, 0.01, true, 2000, false, false, -1.0);
    expectIncreasingFromStartToEnd(t, c->getDomain(0));
}

TEST(FacetCurve, VanishingDerivativeEndsTheSpanAndTheEndIsAppended)
{
    // The first two control points coincide: C'(0) = 0.
    auto c = nurbsCurve({0.0, 0.0, 0.0, 1.0, 1.0, 1.0}, 2,
                        {Vector(0, 0, 0), Vector(0, 0, 0), Vector(1, 1, 0)});
    Kor::List<double> t;
    EXPECT_EQ(c->facetCurve(t, 0.01, true, 2000, false, false, -1.0), 2);
    ASSERT_EQ(t.getCount(), 2);
    EXPECT_EQ(t[0], 0.0);
    EXPECT_EQ(t[1], 1.0);
}

TEST(FacetCurve, StepsNeverFallBelowTheMinimumStep)
{
    // tol = 1e-14 on a unit circle asks for steps of about 1.4e-7; the floor
    // of 5e-7 wins, and the verification's halvings do not shorten the
    // advance below it.
    AnalyticCircle arc(origin3(), 1.0, 0.0, 1e-4);
    Kor::List<double> t;
    testing::internal::CaptureStdout();
    arc.facetCurve(t, 1e-14, true, 2000, false, false, -1.0);
    testing::internal::GetCapturedStdout();
    expectIncreasingFromStartToEnd(t, arc.getDomain(0));
    for (int i = 1; i + 1 < t.getCount(); ++i)
        EXPECT_GE(t[i] - t[i - 1], 5e-7 * (1.0 - 1e-9)) << i;
    EXPECT_LE(t.getCount(), 1e-4 / 5e-7 + 2);
}

TEST(FacetCurve, MaxFacetsBoundsTheStepsOfEachSpanWithoutVerification)
{
    AnalyticCircle circle(origin3(), 1.0, 0.0, 2.0 * pi);
    Kor::List<double> t;
    circle.facetCurve(t, 1e-6, false, 50, false, false, -1.0);
    expectIncreasingFromStartToEnd(t, circle.getDomain(0));
    EXPECT_LE(t.getCount(), 51);
    for (int i = 1; i + 1 < t.getCount(); ++i)
        EXPECT_GE(t[i] - t[i - 1], 2.0 * pi / 50 * (1.0 - 1e-12));

    // With verification the chords are halved back within the tolerance.
    circle.facetCurve(t, 1e-3, true, 50, false, false, -1.0);
    EXPECT_GT(t.getCount(), 51);
    EXPECT_LE(largestChordDeviation(circle, t), 1e-3);
}

TEST(FacetCurve, UnreachableToleranceIsReportedOnStandardOutput)
{
    // A zero tolerance can never be met: every step halves 10 times, reports
    // the miss and advances by the minimum step (the halved step is shorter).
    AnalyticCircle arc(Vector(0.3, 0.1, 0.0), 2.0, 0.5, 0.5 + 1e-6);
    Kor::List<double> t;
    testing::internal::CaptureStdout();
    arc.facetCurve(t, 0.0, true, 2000, false, false, -1.0);
    const std::string out = testing::internal::GetCapturedStdout();
    expectIncreasingFromStartToEnd(t, arc.getDomain(0));
    ASSERT_EQ(t.getCount(), 3); // two steps of 5e-7
    EXPECT_NEAR(t[1] - t[0], 5e-7, 1e-15);
    std::istringstream lines(out);
    std::string line;
    int reports = 0;
    while (std::getline(lines, line)) {
        ++reports;
        EXPECT_EQ(line.rfind("dTol=0  not reached actTol=", 0), 0u) << line;
        EXPECT_GE(std::stod(line.substr(line.find("actTol=") + 7)), 0.0);
    }
    EXPECT_EQ(reports, 2);
}

TEST(FacetCurve, MaxLengthSplitsLongChordsEvenly)
{
    // A line of length 3.5 with maxLength 1.0: floor(3.5) = 3 parameters
    // inserted into its one facet.
    AnalyticLine line(Vector(0.0, 0.0, 0.0), Vector(0.0, 3.5, 0.0), 0.0, 2.0);
    Kor::List<double> t;
    EXPECT_EQ(line.facetCurve(t, 0.01, true, 2000, false, false, 1.0), 5);
    ASSERT_EQ(t.getCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_DOUBLE_EQ(t[i], 0.5 * i);

    // Off (-1.0) and not needed (longer than every chord): nothing inserted.
    EXPECT_EQ(line.facetCurve(t, 0.01, true, 2000, false, false, -1.0), 2);
    EXPECT_EQ(line.facetCurve(t, 0.01, true, 2000, false, false, 4.0), 2);

    // On a circle every chord ends up no longer than maxLength.
    AnalyticCircle circle(origin3(), 10.0, 0.0, 2.0 * pi);
    circle.facetCurve(t, 0.5, true, 2000, false, false, 0.7);
    expectIncreasingFromStartToEnd(t, circle.getDomain(0));
    for (int i = 1; i < t.getCount(); ++i) {
        const double chord =
            std::sqrt(squaredDistance(circle.getPoint(t[i], 0.0), circle.getPoint(t[i - 1], 0.0)));
        EXPECT_LE(chord, 0.7) << i;
    }
}

TEST(FacetCurve, VariantRefinementKeepsTheChordErrorWithFewerFacets)
{
    AnalyticCircle circle(origin3(), 5.0, 0.0, 2.0 * pi);
    Kor::List<double> plain, refined;
    const int nPlain = circle.facetCurve(plain, 0.01, true, 2000, false, false, -1.0);
    const int nRefined = circle.facetCurve(refined, 0.01, true, 2000, true, false, -1.0);
    expectIncreasingFromStartToEnd(refined, circle.getDomain(0));
    // The refinement puts chords at the tolerance (a match allows 5 %); the
    // six verification samples at fractions i/7 let through what lies between
    // them, at most 49/48 of the tolerance for a curve bending like a circle.
    EXPECT_LE(largestChordDeviation(circle, refined), 0.01 * 49.0 / 48.0);
    EXPECT_LE(largestChordDeviation(circle, plain), 0.01);
    EXPECT_LE(nRefined, nPlain);
}

TEST(ExactFacetPoint, FindsTheChordEndWhoseDeviationIsTheTolerance)
{
    // On a unit circle the chord over the angle a deviates by 1 - cos(a/2).
    AnalyticCircle circle(origin3(), 1.0, 0.0, 2.0 * pi);
    const double tol = 0.01;
    const double exact = 2.0 * std::acos(1.0 - tol);
    CExactFacetPoint problem;
    const double u = problem.findMaxDeviation(&circle, 0.0, 1.2 * exact, 0.5 * exact, tol);
    ASSERT_TRUE(problem.matched);
    // A match allows 5 % on the deviation, about 2.5 % on the angle.
    EXPECT_NEAR(u, exact, 0.03 * exact);
    EXPECT_NEAR(problem.m_deviation, tol, 0.05 * tol);
}

TEST(ExactFacetPoint, ReusedProblemAnswersLikeAFreshOne)
{
    // One problem refines chords of other curves, starts and tolerances in
    // turn, and of a curve bent in place between two runs with the same
    // arguments; nothing of an earlier run may leak into a later one.
    AnalyticCircle circle(origin3(), 1.0, 0.0, 2.0 * pi);
    auto cubic = nurbsCurve(
        {0, 0, 0, 0, 1, 1, 1, 1}, 3,
        {origin3(), Vector(1.0, 0.0, 0.0), Vector(2.0, 0.0, 0.0), Vector(3.0, 0.0, 0.0)});
    struct Run {
        CParametricGeometry* curve;
        double t0, tEnd, tol;
        double bend; // y of the cubic's second control point before the run
    };
    const Run runs[] = {{&circle, 0.0, 0.3, 0.01, 0.0},
                        {&circle, 0.1, 0.4, 0.01, 0.0},
                        {&circle, 0.1, 0.4, 0.002, 0.0},
                        {cubic.get(), 0.1, 1.0, 0.01, 0.0},
                        {cubic.get(), 0.1, 1.0, 0.01, 0.3}};
    CExactFacetPoint reused;
    for (const Run& r : runs) {
        cubic->setControlPoint(1, 0, Vector(1.0, r.bend, 0.0));
        CExactFacetPoint fresh;
        const double expected = fresh.findMaxDeviation(r.curve, r.t0, r.tEnd, 0.5, r.tol);
        EXPECT_EQ(reused.findMaxDeviation(r.curve, r.t0, r.tEnd, 0.5, r.tol), expected);
        EXPECT_EQ(reused.matched, fresh.matched);
        EXPECT_EQ(reused.m_deviation, fresh.m_deviation);
    }
}

TEST(ExactFacetPoint, DegenerateChordGivesHalfTheSquaredTolerance)
{
    AnalyticLine point(Vector(1.0, 1.0, 1.0), Vector(1.0, 1.0, 1.0));
    CExactFacetPoint problem;
    problem.m_curve = &point;
    problem.m_t0 = 0.0;
    problem.m_tol = 0.1;
    problem.m_chordStart = point.getPoint(0.0, 0.0);
    Vector x(2), g(2), p(2);
    x[0] = 0.5;
    x[1] = 0.25;
    g[0] = g[1] = 7.0;
    EXPECT_DOUBLE_EQ(problem.evaluate(1, g, x, 0.0, p), 0.005);
    EXPECT_EQ(g[0], 0.0);
    EXPECT_EQ(g[1], 0.0);
    EXPECT_FALSE(problem.matched);
    EXPECT_EQ(problem.findMaxDeviation(nullptr, 0.0, 0.5, 0.25, 0.1), 0.5);
    EXPECT_FALSE(problem.matched);
}

TEST_F(FacetLogTest, LogLinesCountParametersAndEvaluations)
{
    AnalyticLine line(Vector(0.0, 0.0, 0.0), Vector(1.0, 0.0, 0.0));
    Kor::List<double> t;
    line.evaluations = 0;
    EXPECT_EQ(line.facetCurve(t, 0.01, false, 2000, false, false, -1.0), 2);
    const std::string text = logText();
    // One step covers the line.
    EXPECT_NE(text.find("facetCurve ends with tList.getCard()=2 nf=1\n"), std::string::npos)
        << text;
    EXPECT_NE(
        text.find("#number functions calls in facetCurve=1 for tList.getCard()=2 dTol=0.01\n"),
        std::string::npos)
        << text;

    // maxLength splitting happens after the first line and before the second.
    AnalyticLine longLine(Vector(0.0, 0.0, 0.0), Vector(3.5, 0.0, 0.0));
    longLine.facetCurve(t, 0.5, false, 2000, false, false, 1.0);
    const std::string more = logText().substr(text.size());
    EXPECT_NE(more.find("facetCurve ends with tList.getCard()=2 nf=1\n"), std::string::npos)
        << more;
    EXPECT_NE(more.find(" for tList.getCard()=5 dTol=0.5\n"), std::string::npos) << more;
}

TEST_F(FacetLogTest, ShortCurveWritesNoLogLines)
{
    AnalyticLine point(Vector(1.0, 2.0, 3.0), Vector(1.0, 2.0, 3.0));
    Kor::List<double> t;
    point.facetCurve(t, 0.01, true, 2000, false, false, -1.0);
    EXPECT_EQ(logText().find("facetCurve"), std::string::npos);
}
