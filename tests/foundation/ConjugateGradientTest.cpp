#include "foundation/ConjugateGradient.h"

#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Objective of a point; fills grad when it is given.
using Objective = std::function<double(const Vector& pt, Vector* grad)>;

// A problem around a plain function of the point, recording what the base does.
class Problem : public CConjugateGradient {
public:
    Problem(int n, bool goldstein, Objective fn) : CConjugateGradient(n, goldstein), fn(fn) {}

    double evaluate(int mode, Vector& g, const Vector& x, double alpha, const Vector& p) override
    {
        Vector pt(x);
        pt.addScaled(alpha, p);
        ++evaluations;
        probes += m_inNumericGradient ? 1 : 0;
        if (mode == 0 && clobberGradientInModeZero)
            g.fill(0.0);
        return fn(pt, mode == 1 ? &g : nullptr);
    }
    void onIteration(const Vector& x, Vector& p) override
    {
        iterates.emplace_back(x.data, x.data + x.n);
        if (iterationHook)
            iterationHook(x, p);
    }
    bool isCancelled() override { return cancelAfter >= 0 && m_iter >= cancelAfter; }
    bool restartRequested(const Vector&, const Vector&) override { return alwaysRestart; }

    using CConjugateGradient::lineSearchGoldstein;

    Objective fn;
    int evaluations = 0;
    int probes = 0;
    int cancelAfter = -1;
    bool alwaysRestart = false;
    bool clobberGradientInModeZero = false; // a subclass that zeroes g when not asked for it
    std::vector<std::vector<double>> iterates;
    std::function<void(const Vector&, Vector&)> iterationHook;
};

Vector vec(std::initializer_list<double> v)
{
    return Vector(v.begin(), static_cast<int>(v.size()));
}

// 0.5 (x - t)^T A (x - t) with a fixed symmetric positive definite A (n = 4).
const std::vector<double> kTarget = {1.0, -2.0, 0.5, 3.0};
double quadratic(const Vector& x, Vector* g)
{
    static const double a[4][4] = {
        {4.0, 1.0, 0.0, 0.5}, {1.0, 3.0, 0.5, 0.0}, {0.0, 0.5, 2.0, 0.3}, {0.5, 0.0, 0.3, 1.0}};
    double f = 0.0;
    for (int i = 0; i < 4; ++i) {
        double ad = 0.0;
        for (int j = 0; j < 4; ++j)
            ad += a[i][j] * (x[j] - kTarget[j]);
        f += 0.5 * (x[i] - kTarget[i]) * ad;
        if (g)
            (*g)[i] = ad;
    }
    return f;
}

// Sum of (x_i - t_i)^2: its minimum in a box is the clamped target.
Objective separable(std::vector<double> target)
{
    return [target](const Vector& x, Vector* g) {
        double f = 0.0;
        for (int i = 0; i < x.n; ++i) {
            f += (x[i] - target[i]) * (x[i] - target[i]);
            if (g)
                (*g)[i] = 2.0 * (x[i] - target[i]);
        }
        return f;
    };
}

// Extended Rosenbrock function (even n); minimum 0 at (1, ..., 1).
double rosenbrock(const Vector& x, Vector* g)
{
    double f = 0.0;
    for (int i = 0; i + 1 < x.n; i += 2) {
        const double a = x[i + 1] - x[i] * x[i];
        const double b = 1.0 - x[i];
        f += 100.0 * a * a + b * b;
        if (g) {
            (*g)[i] = -400.0 * x[i] * a - 2.0 * b;
            (*g)[i + 1] = 200.0 * a;
        }
    }
    return f;
}

// 0.5 + |x0 - 1| + (x1 - 2)^2, slope +1 taken at the kink.
double kinked(const Vector& x, Vector* g)
{
    if (g) {
        (*g)[0] = x[0] >= 1.0 ? 1.0 : -1.0;
        (*g)[1] = 2.0 * (x[1] - 2.0);
    }
    return 0.5 + std::fabs(x[0] - 1.0) + (x[1] - 2.0) * (x[1] - 2.0);
}

// Points the diagnostics folder at a fresh folder for one test.
struct DiagnosticsFolder {
    explicit DiagnosticsFolder(const std::string& name) : folder(testing::TempDir() + "/cg_" + name)
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        Platform::setDiagnosticsFolderOverride(folder);
    }
    ~DiagnosticsFolder() { Platform::setDiagnosticsFolderOverride(""); }
    std::string log() const
    {
        std::ifstream in(folder + "/cg.log");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool hasLog() const { return std::filesystem::exists(folder + "/cg.log"); }

    std::string folder;
};

class BothLineSearches : public testing::TestWithParam<bool> {};

INSTANTIATE_TEST_SUITE_P(ConjugateGradient, BothLineSearches, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Goldstein" : "Interpolating";
                         });

TEST_P(BothLineSearches, MinimisesConvexQuadratic)
{
    // Analytic gradient, numeric gradient, and a subclass that writes g in mode 0.
    for (int variant = 0; variant < 3; ++variant) {
        const bool numeric = variant == 1;
        Problem problem(4, GetParam(), quadratic);
        problem.m_numericGradient = numeric;
        problem.clobberGradientInModeZero = variant == 2;
        Vector x = vec({10.0, 10.0, -10.0, 0.0});
        const double f = problem.solve(x, 200, 0);
        EXPECT_LT(f, numeric ? 1e-9 : 1e-12) << "variant " << variant;
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(x[i], kTarget[i], numeric ? 1e-3 : 1e-5) << "variant " << variant;
        EXPECT_NEAR(f, quadratic(x, nullptr), 1e-15);
    }
}

TEST_P(BothLineSearches, MinimisesRosenbrock)
{
    Problem problem(2, GetParam(), rosenbrock);
    Vector x = vec({-1.2, 1.0});
    const double f = problem.solve(x, 5000, 0);
    EXPECT_LT(f, 1e-8);
    EXPECT_NEAR(x[0], 1.0, 1e-3);
    EXPECT_NEAR(x[1], 1.0, 2e-3);
    EXPECT_DOUBLE_EQ(f, rosenbrock(x, nullptr));
}

TEST_P(BothLineSearches, BoundsHoldAtEveryIterate)
{
    // Unconstrained minimum outside the unit box in three coordinates;
    // coordinate 1 starts on its lower bound with the gradient pushing outwards.
    const std::vector<double> target = {2.0, -1.0, 0.5, 3.0};
    Problem problem(4, GetParam(), separable(target));
    problem.setLowerBounds(vec({0.0, 0.0, 0.0, 0.0}));
    problem.setUpperBounds(vec({1.0, 1.0, 1.0, 1.0}));
    Vector x = vec({0.3, 0.0, 0.1, 0.5});
    const double f = problem.solve(x, 100, 0);

    ASSERT_GT(problem.iterates.size(), 2u);
    for (const auto& it : problem.iterates) {
        for (double v : it) {
            EXPECT_GE(v, 0.0);
            EXPECT_LE(v, 1.0);
        }
        EXPECT_EQ(it[1], 0.0);
    }
    EXPECT_EQ(problem.m_p[1], 0.0);
    EXPECT_EQ(problem.m_g[1], 0.0);
    EXPECT_NEAR(x[0], 1.0, 1e-6);
    EXPECT_NEAR(x[2], 0.5, 1e-5);
    EXPECT_NEAR(x[3], 1.0, 1e-6);
    EXPECT_NEAR(f, separable(target)(x, nullptr), 1e-12);
}

// The whole step leaves the box and is clamped back onto the start; the value
// the line search found belongs to the unclamped point, not to x.
TEST_P(BothLineSearches, ClampedStepReportsObjectiveOfClampedPoint)
{
    Problem problem(3, GetParam(), separable({-1.0, -1.0, -1.0}));
    problem.setLowerBounds(vec({0.0, 0.0, 0.0}));
    problem.setUpperBounds(vec({1.0, 1.0, 1.0}));
    Vector x = vec({0.0, 0.0, 0.0});
    EXPECT_DOUBLE_EQ(problem.solve(x, 20, 0), 3.0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(x[i], 0.0);
        EXPECT_EQ(problem.m_p[i], 0.0);
        EXPECT_EQ(problem.m_g[i], 0.0);
    }
}

// A gradient of the wrong sign makes every trial climb; the search gives up
// and the value returned must still be that of the unchanged point.
TEST_P(BothLineSearches, RejectedStepReturnsObjectiveOfUnchangedPoint)
{
    Problem problem(2, GetParam(), [](const Vector& x, Vector* g) {
        if (g) {
            (*g)[0] = -2.0 * (x[0] - 1.0);
            (*g)[1] = -2.0 * (x[1] - 2.0);
        }
        return (x[0] - 1.0) * (x[0] - 1.0) + (x[1] - 2.0) * (x[1] - 2.0) + 1.0;
    });
    Vector x = vec({3.0, 3.0});
    EXPECT_DOUBLE_EQ(problem.solve(x, 20, 0), 6.0);
    EXPECT_EQ(x[0], 3.0);
    EXPECT_EQ(x[1], 3.0);
}

TEST_P(BothLineSearches, NonFiniteObjectiveEndsTheSearch)
{
    // Defined only up to 0.5; the minimum of the formula lies at 2.
    Problem problem(1, GetParam(), [](const Vector& x, Vector* g) {
        if (x[0] > 0.5)
            return std::numeric_limits<double>::quiet_NaN();
        if (g)
            (*g)[0] = 2.0 * (x[0] - 2.0);
        return (x[0] - 2.0) * (x[0] - 2.0);
    });
    Vector x = vec({-3.0});
    const double f = problem.solve(x, 50, 0);
    EXPECT_LE(x[0], 0.5);
    EXPECT_LT(f, 25.0);
    EXPECT_DOUBLE_EQ(f, (x[0] - 2.0) * (x[0] - 2.0));
}

// When the line search ends on a trial whose gradient it did not take, the
// gradient left in g belongs to another trial point.
TEST_P(BothLineSearches, StaleLineSearchGradientIsReplaced)
{
    for (auto fn : {rosenbrock, kinked}) {
        for (const auto& start : {vec({-1.2, 1.0}), vec({2.0, -1.0}), vec({0.0, 3.0})}) {
            for (int maxIter : {1, 2, 3, 7, 15, 40}) {
                Problem problem(2, GetParam(), fn);
                Vector x = start;
                const double f = problem.solve(x, maxIter, 0);
                Vector g(2);
                EXPECT_DOUBLE_EQ(f, fn(x, &g));
                for (int i = 0; i < 2; ++i)
                    EXPECT_NEAR(problem.m_g[i], g[i], 1e-9 * (1.0 + std::fabs(g[i])))
                        << "start " << start[0] << "," << start[1] << " maxIter " << maxIter;
            }
        }
    }
}

TEST(ConjugateGradient, ZeroMaxIterMeansFiveTimesDimension)
{
    DiagnosticsFolder folder("maxiter");
    Problem problem(4, false, rosenbrock);
    Vector x = vec({-3.0, -4.0, 5.0, -2.0});
    problem.solve(x, 0, 1);
    EXPECT_EQ(problem.m_maxIter, 0);
    EXPECT_LE(problem.m_iter, 20);

    const std::string log = folder.log();
    EXPECT_EQ(log.rfind("CG start, maxiter=20\n", 0), 0u) << log;
    EXPECT_NE(log.find("restarts = "), std::string::npos);
    // With interval 1: the header, one line per iteration, then the reasons.
    std::istringstream lines(log);
    std::string line;
    std::getline(lines, line);
    int iterationLines = 0;
    while (std::getline(lines, line) && line.rfind("terminated", 0) != 0 &&
           line.rfind("restarts", 0) != 0)
        ++iterationLines;
    EXPECT_EQ(iterationLines, problem.m_iter);
}

TEST(ConjugateGradient, LogOnlyWhenIntervalBelowLimit)
{
    DiagnosticsFolder folder("nolog");
    for (int interval : {0, -1, 10, 25}) {
        Problem problem(2, false, rosenbrock);
        Vector x = vec({-1.2, 1.0});
        problem.solve(x, 10, interval);
        EXPECT_FALSE(folder.hasLog()) << "interval " << interval;
    }
    Problem problem(2, true, rosenbrock);
    Vector x = vec({-1.2, 1.0});
    problem.solve(x, 10, 9);
    const std::string log = folder.log();
    EXPECT_EQ(log.rfind("CG start, maxiter=10\n", 0), 0u);
    EXPECT_NE(log.find("terminated m_iter>=maxiter\n"), std::string::npos) << log;
}

TEST(ConjugateGradient, StartsThatEndAtOnce)
{
    // Flat start: zero gradient, x untouched, one evaluation.
    Problem flat(2, false, [](const Vector& x, Vector* g) {
        if (g)
            g->fill(0.0);
        return 5.0 + std::pow(x[0] - 0.3, 4);
    });
    Vector x = vec({0.3, 7.0});
    EXPECT_EQ(flat.solve(x, 0, 0), 5.0);
    EXPECT_EQ(x[0], 0.3);
    EXPECT_EQ(x[1], 7.0);
    EXPECT_EQ(flat.evaluations, 1);

    // Objective already at the lower limit, though the gradient is not zero.
    Problem low(1, true, [](const Vector& x, Vector* g) {
        if (g)
            (*g)[0] = 1.0;
        return 1e-17 + x[0];
    });
    Vector y = vec({0.0});
    EXPECT_EQ(low.solve(y, 0, 0), 1e-17);
    EXPECT_EQ(low.evaluations, 1);
}

TEST(ConjugateGradient, HooksSteerTheIteration)
{
    for (int cancelAfter : {0, 2}) {
        Problem cancelled(4, false, quadratic);
        cancelled.cancelAfter = cancelAfter;
        Vector x = vec({10.0, 10.0, -10.0, 0.0});
        const double f = cancelled.solve(x, 100, 0);
        EXPECT_EQ(cancelled.m_iter, cancelAfter);
        EXPECT_DOUBLE_EQ(f, quadratic(x, nullptr));
        // onIteration: once before the first iteration and once per iteration.
        EXPECT_EQ(static_cast<int>(cancelled.iterates.size()), cancelAfter + 1);
    }
    // Steepest descent (a restart every iteration) still gets there.
    for (bool goldstein : {false, true}) {
        Problem restarted(4, goldstein, quadratic);
        restarted.alwaysRestart = true;
        Vector y = vec({10.0, 10.0, -10.0, 0.0});
        EXPECT_LT(restarted.solve(y, 2000, 0), 1e-10);
    }
}

TEST(ConjugateGradient, GoldsteinReplacesAscentDirection)
{
    // f = x0^2 + 2 x1^2 + 1e-9 x2 + 1: at (1, -1, 0) g = (2, -4, 1e-9).
    Problem problem(3, true, [](const Vector& x, Vector* g) {
        if (g) {
            (*g)[0] = 2.0 * x[0];
            (*g)[1] = 4.0 * x[1];
            (*g)[2] = 1e-9;
        }
        return x[0] * x[0] + 2.0 * x[1] * x[1] + 1e-9 * x[2] + 1.0;
    });
    Vector x = vec({1.0, -1.0, 0.0});
    Vector p = vec({1.0, -1.0, 0.0}); // g.p = 6: climbs
    const double f0 = problem.evaluateAt(1, problem.m_g, x, 0.0, p);
    double f = f0;
    double ratio = -1.0;
    int nf = 0, ng = 0, info = -1, expansions = 0, contractions = 0;
    testing::internal::CaptureStdout();
    const double alpha = problem.lineSearchGoldstein(f0, f, problem.m_g, p, x, 1.0, nf, ng, ratio,
                                                     info, expansions, contractions);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              " gp ist          6 \np ist keine Abstiegsrichtung, versuche -1/g\n");
    EXPECT_EQ(p[0], -0.5);
    EXPECT_EQ(p[1], 0.25);
    EXPECT_EQ(p[2], 0.0); // |g| not above the small quantity
    EXPECT_GT(alpha, 0.0);
    EXPECT_EQ(info, 0);
    EXPECT_GE(ratio, 0.25);
    EXPECT_LE(ratio, 0.75);
    EXPECT_DOUBLE_EQ(f, 1.0 + x[0] * x[0] + 2.0 * x[1] * x[1]);
    EXPECT_LT(f, f0);

    // Inside a solve: the hook turns the first direction round; the run goes on.
    Problem turned(4, true, quadratic);
    int calls = 0;
    turned.iterationHook = [&calls](const Vector&, Vector& dir) {
        if (calls++ == 1)
            dir *= -1.0;
    };
    Vector y = vec({10.0, 10.0, -10.0, 0.0});
    testing::internal::CaptureStdout();
    const double fy = turned.solve(y, 200, 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind(" gp ist ", 0), 0u) << out;
    EXPECT_NE(out.find(" \np ist keine Abstiegsrichtung, versuche -1/g\n"), std::string::npos);
    EXPECT_LT(fy, 1e-10);
}

TEST(ConjugateGradient, NumericGradientAgreesWithAnalytic)
{
    Problem problem(4, false, rosenbrock);
    Vector x = vec({0.1, 0.7, -1.3, 2.5});
    const Vector p = vec({0.5, -0.25, 1.0, 2.0});
    Vector analytic(4);
    const double fa = problem.evaluateAt(1, analytic, x, 0.3, p);

    problem.m_numericGradient = true;
    problem.m_gradientStep = 1e-6;
    Vector numeric(4);
    EXPECT_EQ(problem.evaluateAt(1, numeric, x, 0.3, p), fa);
    EXPECT_EQ(problem.probes, 4);
    EXPECT_FALSE(problem.m_inNumericGradient);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(numeric[i], analytic[i], 1e-4 * (1.0 + std::fabs(analytic[i]))) << i;
    problem.evaluateAt(0, numeric, x, 0.3, p); // value only: no probes
    EXPECT_EQ(problem.probes, 4);

    // A subclass that writes g in value-only calls cannot spoil the differences.
    problem.clobberGradientInModeZero = true;
    Vector guarded(4);
    problem.evaluateAt(1, guarded, x, 0.3, p);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(guarded[i], numeric[i]) << i;
}

// x[i] += h; x[i] -= h does not give x[i] back for coordinates below the step.
TEST(ConjugateGradient, NumericGradientRestoresCoordinatesExactly)
{
    Problem problem(3, false, separable({0.0, 0.0, 0.0}));
    problem.m_numericGradient = true;
    Vector x = vec({1e-9, 3e-8, 1.234567e-8});
    const Vector before(x);
    Vector g(3);
    for (int k = 0; k < 50; ++k)
        problem.evaluateAt(1, g, x, 0.0, Vector(3));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(x[i], before[i]) << i;
}

Kor::List<LineSearchValues> recordsOf(std::initializer_list<LineSearchValues> values)
{
    Kor::List<LineSearchValues> records;
    for (const LineSearchValues& v : values)
        records.append(v);
    return records;
}

TEST(ConjugateGradient, InterpolatedStepModels)
{
    const double unevaluated = std::numeric_limits<double>::max();
    int flag = -1;
    // Second slope not evaluated: the quadratic 1 - 2a + a^2, vertex at 1.
    const double inner[2] = {0.2, 1.0};
    EXPECT_NEAR(interpolatedStep(recordsOf({{0.0, 1.0, -2.0}, {2.0, 1.0, unevaluated}}), 0, 1,
                                 inner, &flag),
                1.0, 1e-14);
    EXPECT_EQ(flag, 0);

    // Cubic through both slopes of a^3 - 3a (minimum at 1); bounds reversed.
    const double reversed[2] = {1.8, 0.1};
    EXPECT_NEAR(
        interpolatedStep(recordsOf({{0.0, 0.0, -3.0}, {2.0, 2.0, 9.0}}), 0, 1, reversed, &flag),
        1.0, 1e-12);
    EXPECT_EQ(flag, 0);

    // Both slopes descend towards larger steps: extrapolation, flag raised.
    const double outward[2] = {2.0, 10.0};
    EXPECT_GT(
        interpolatedStep(recordsOf({{1.0, 1.0, -0.2}, {0.0, 2.0, -1.5}}), 0, 1, outward, &flag),
        1.0);
    EXPECT_EQ(flag, 1);

    // Equal steps give the first record's step.
    EXPECT_EQ(
        interpolatedStep(recordsOf({{0.5, 1.0, -1.0}, {0.5, 1.0, -1.0}}), 0, 1, inner, nullptr),
        0.5);

    const double c[3] = {1.0, -2.0, 3.0};
    EXPECT_EQ(evaluatePolynomial(c, 3, 2.0), 9.0);
    EXPECT_EQ(evaluatePolynomial(Vector(), 7.0), 0.0);
}

// Along a quadratic objective the cubic model's leading coefficient is exactly
// 0; the textbook root formula then divides 0 by 0 and loses the vertex.
TEST(ConjugateGradient, InterpolatedStepZeroCubicCoefficientFindsVertex)
{
    // 1 - a + a^2 from both ends: f(0) = 1, f'(0) = -1, f(1) = 1, f'(1) = 1.
    const auto records = recordsOf({{0.0, 1.0, -1.0}, {1.0, 1.0, 1.0}});
    const double bounds[2] = {0.1, 0.6};
    const double back[2] = {0.9, 0.4};
    EXPECT_DOUBLE_EQ(interpolatedStep(records, 0, 1, bounds, nullptr), 0.5);
    EXPECT_DOUBLE_EQ(interpolatedStep(records, 1, 0, back, nullptr), 0.5);
}

TEST(ConjugateGradient, LineSearchVectorHelperClampsIntoBounds)
{
    Vector out;
    lineSearchVectorHelper(out, vec({-1.0, 0.5, 2.0, 7.0}), vec({0.0, 0.0, 0.0}),
                           vec({1.0, 1.0, 1.0}));
    ASSERT_EQ(out.n, 4);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 0.5);
    EXPECT_EQ(out[2], 1.0);
    EXPECT_EQ(out[3], 7.0); // no bound for the fourth entry
    // Raised first, then lowered: crossed bounds end on the upper one.
    Vector y = vec({5.0});
    lineSearchVectorHelper(y, y, vec({3.0}), vec({2.0}));
    EXPECT_EQ(y[0], 2.0);
}

TEST(ConjugateGradient, DimensionFollowsTheStartVector)
{
    Problem problem(1, false, separable({1.0, 2.0, 3.0}));
    Vector x = vec({0.0, 0.0, 0.0});
    EXPECT_LT(problem.solve(x, 0, 0), 1e-12);
    EXPECT_EQ(problem.m_n, 3);
    EXPECT_EQ(problem.m_g.n, 3);
    EXPECT_NEAR(x[2], 3.0, 1e-6);
}

} // namespace
