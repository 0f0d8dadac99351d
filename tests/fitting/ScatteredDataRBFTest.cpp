#include "fitting/ScatteredDataRBF.h"

#include "RbfTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// 200 positions scattered in the unit cube (or in the plane z = zPlane).
std::vector<Vector> scatteredPositions(int n, unsigned seed, bool flat = false, double zPlane = 0.0)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Vector> out;
    for (int i = 0; i < n; ++i) {
        const double x = unit(gen), y = unit(gen), z = unit(gen);
        out.emplace_back(x, y, flat ? zPlane : z);
    }
    return out;
}

Vector smoothField(const Vector& p)
{
    return Vector(std::sin(2.0 * p[0]) + p[1], std::cos(p[1]) * p[2] + 0.5,
                  p[0] * p[1] - p[2] * p[2]);
}

std::unique_ptr<iPolScatteredDataRBF> interpolant(int kernel, double eps,
                                                  const std::vector<Vector>& positions)
{
    std::unique_ptr<iPolScatteredDataRBF> f(
        static_cast<iPolScatteredDataRBF*>(newScatteredDataRBF()));
    f->setKernelType(kernel);
    f->setShapeParameter(eps);
    for (const Vector& p : positions)
        f->setSample(p, smoothField(p));
    return f;
}

// Largest |f(p_i) - v_i| relative to the largest |v|.
double reproductionError(iPolScatteredData& f, const std::vector<Vector>& positions)
{
    double worst = 0.0, largest = 0.0;
    for (const Vector& p : positions) {
        const Vector v = smoothField(p);
        worst = std::max(worst, norm(f.evaluate(p) - v));
        largest = std::max(largest, norm(v));
    }
    return worst / largest;
}

struct KernelCase {
    int publicCode;
    double eps;
    int degree;     // getPolynomialDegree
    int extraTerms; // polynomial unknowns beyond the samples
};

} // namespace

TEST(ScatteredDataRBF, EveryKernelReproducesItsSamples)
{
    const std::vector<Vector> positions = scatteredPositions(200, 7);
    const KernelCase cases[] = {
        {1, 1.0, 1, 4},  {2, 1.0, 2, 10}, {0, 1.0, 1, 4},  {7, 1.0, 1, 4},  {-1, 1.0, 1, 4},
        {3, 3.0, -1, 0}, {4, 3.0, -1, 0}, {5, 3.0, -1, 0}, {6, 3.0, -1, 0},
    };
    for (const KernelCase& c : cases) {
        SCOPED_TRACE(c.publicCode);
        auto f = interpolant(c.publicCode, c.eps, positions);
        EXPECT_EQ(f->getPolynomialDegree(), c.degree);
        EXPECT_EQ(f->getPolynomialDegreeValue(), double(c.degree));
        f->recompute(false);
        EXPECT_EQ(f->system.A.rows, 200 + c.extraTerms);
        EXPECT_LT(reproductionError(*f, positions), 1e-8);
    }
    // The thin-plate kernel vanishes up to r = 1e-12; the linear one at 0.
    EXPECT_EQ(rbfKernel(1, 1e-12, 1.0), 0.0);
    EXPECT_LT(rbfKernel(1, 2e-12, 1.0), 0.0);
    EXPECT_EQ(rbfKernel(0, 0.0, 1.0), 0.0);
    // Public codes name the kernels by a table of their own.
    const int internal[] = {0, 1, 2, 4, 5, 6, 3, 0};
    for (int code = 0; code <= 7; ++code)
        EXPECT_EQ(rbfInternalKernel(code), internal[code]) << code;
}

TEST(ScatteredDataRBF, IterativeSolveReproducesItsSamples)
{
    const std::vector<Vector> positions = scatteredPositions(60, 11);
    auto f = interpolant(2, 1.0, positions);
    f->recompute(true);
    EXPECT_EQ(f->system.A.type, SymmetricMatrix);
    EXPECT_LT(reproductionError(*f, positions), 1e-3);
}

TEST(ScatteredDataRBF, CoplanarSamplesFreeTheirFlatCoordinate)
{
    // Flatness is a matter of the samples' proportions: in metres and in
    // kilometres as in millimetres only the coordinate they do not spread in
    // is freed. An absolute spread of 0.2 took every coordinate of samples a
    // few tenths across for flat, and their field lost its linear part.
    for (const double scale : {1.0, 1e-3, 1e3})
        for (const bool coplanar : {true, false}) {
            SCOPED_TRACE(std::to_string(scale) + (coplanar ? " coplanar" : " spread"));
            std::vector<Vector> positions = scatteredPositions(50, 3, coplanar, 2.5);
            for (Vector& p : positions)
                p *= scale;
            auto f = interpolant(1, 1.0, positions);
            f->recompute(false);
            const CRBFSystem& system = f->system;
            EXPECT_FALSE(system.flat[0]);
            EXPECT_FALSE(system.flat[1]);
            EXPECT_EQ(system.flat[2], coplanar);
            EXPECT_EQ(system.A.rows, 54);
            EXPECT_LT(reproductionError(*f, positions), 1e-8);
        }

    // A single sample has no spread to measure.
    auto single = interpolant(1, 1.0, {Vector(1.0, 2.0, 3.0)});
    single->recompute(false);
    EXPECT_FALSE(single->system.flat[0] || single->system.flat[1] || single->system.flat[2]);
    // Only 3-entry positions and values become samples.
    single->setSample(Vector(2), Vector(1.0, 1.0, 1.0));
    single->setSample(Vector(1.0, 1.0, 1.0), Vector(4));
    EXPECT_EQ(single->getSampleCount(), 1);
}

TEST(ScatteredDataRBF, RepeatedSamplesAreDroppedAtAnyScale)
{
    // Rounding leaves a repeated column a remainder that grows with the
    // size of the entries; every repeat must be found, in millimetres as in
    // metres.
    for (double scale : {1.0, 1e4}) {
        SCOPED_TRACE(scale);
        rbftest::GeneralLog log;
        std::vector<Vector> positions = scatteredPositions(200, 5);
        for (Vector& p : positions)
            p *= scale;
        for (int k = 1; k <= 3; ++k)
            positions.push_back(positions[std::size_t(53 * k)]);
        auto f = interpolant(0, 1.0, positions);
        f->recompute(false);
        EXPECT_EQ(f->getSampleCount(), 203);
        EXPECT_EQ(f->active.count, 200);
        EXPECT_LT(reproductionError(*f, positions), 1e-8);

        // The next solve starts from every sample again and repairs it again.
        f->recompute(false);
        EXPECT_EQ(rbftest::countOf(log.text(), "removing point="), 6) << log.text();
        EXPECT_EQ(f->active.count, 200);
        Vector position, value;
        EXPECT_TRUE(f->getSample(202, position, value));
        EXPECT_EQ(norm(position - positions[159]), 0.0);
        EXPECT_FALSE(f->getSample(203, position, value));
    }
}

TEST(ScatteredDataRBF, EvaluationWithoutASolveGivesZero)
{
    auto f = interpolant(2, 1.0, scatteredPositions(10, 1));
    const Vector before = f->evaluate(Vector(0.5, 0.5, 0.5));
    EXPECT_EQ(before.n, 3);
    EXPECT_EQ(norm(before), 0.0);
    auto empty = interpolant(2, 1.0, {});
    empty->recompute(false);
    EXPECT_EQ(norm(empty->evaluate(Vector(0.5, 0.5, 0.5))), 0.0);
}

TEST(ScatteredDataRBF, QuadraticTermsFollowTheSamplesNotTheirQuadric)
{
    // The deviations of a face fitted around the pole of the real unit
    // sphere, recorded: positions on the fitted surface, values from there
    // to the mesh vertices (at most 0.0045). The positions lie close to the
    // sphere, a quadric: with every quadratic term kept its coefficient
    // follows the noise and the field swings to 2.5 between and beyond the
    // samples. The dependent term is dropped: the field stays near the data.
    std::ifstream in(MW_SOURCE_DIR "/tests/data/rbf/sphere-cap-deviations.txt");
    std::unique_ptr<iPolScatteredDataRBF> cap(
        static_cast<iPolScatteredDataRBF*>(newScatteredDataRBF()));
    cap->setKernelType(2);
    double data = 0.0;
    for (Vector p(3), v(3); in >> p[0] >> p[1] >> p[2] >> v[0] >> v[1] >> v[2];) {
        cap->setSample(p, v);
        data = std::max(data, norm(v));
    }
    ASSERT_EQ(cap->getSampleCount(), 77);
    cap->recompute(false);
    double largest = 0.0;
    for (double polar : {10.0, 30.0, 40.0})
        for (double r : {0.998, 1.0, 1.002})
            for (int k = 0; k < 72; ++k) {
                const double a = polar * M_PI / 180.0, b = k * M_PI / 36.0;
                const Vector p(std::sin(a) * std::cos(b), std::sin(a) * std::sin(b), std::cos(a));
                largest = std::max(largest, norm(cap->evaluate(r * p)));
            }
    EXPECT_LT(largest, 1.5 * data);

    // Samples in general position keep every term: a quadratic displacement
    // is the polynomial part itself and is reproduced everywhere.
    auto quadratic = [](const Vector& p) {
        return Vector(0.3 * p[0] * p[1] - 0.2 * p[2] * p[2] + 0.1, 0.5 * p[0] * p[0] + p[2],
                      -0.4 * p[1] * p[2] + 0.7 * p[0] * p[2] - p[1]);
    };
    std::unique_ptr<iPolScatteredDataRBF> g(
        static_cast<iPolScatteredDataRBF*>(newScatteredDataRBF()));
    g->setKernelType(2);
    for (const Vector& p : scatteredPositions(120, 23))
        g->setSample(p, quadratic(p));
    g->recompute(false);
    EXPECT_EQ(g->system.removedTerms.count, 0);
    for (const Vector& p : scatteredPositions(50, 29))
        EXPECT_LT(norm(g->evaluate(p) - quadratic(p)), 1e-9);

    // Nine samples, fewer than the ten terms (a face healed on nine
    // targets), determine no term beyond the constant: every coordinate is
    // freed, as a flat one is, and the field still passes its samples. Kept,
    // the undetermined terms swung healed faces' free sides off their places.
    std::unique_ptr<iPolScatteredDataRBF> few(
        static_cast<iPolScatteredDataRBF*>(newScatteredDataRBF()));
    few->setKernelType(2);
    const std::vector<Vector> nine = scatteredPositions(9, 31);
    for (const Vector& p : nine)
        few->setSample(p, quadratic(p));
    few->recompute(false);
    EXPECT_TRUE(few->system.flat[0] && few->system.flat[1] && few->system.flat[2]);
    for (const Vector& p : nine)
        EXPECT_LT(norm(few->evaluate(p) - quadratic(p)), 1e-9);
}
