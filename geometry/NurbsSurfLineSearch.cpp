// Line search of the constrained Newton surface fit: trial steps applied to
// the surface itself, re-projection of the fit points, and the quadratic and
// cubic step-length rules.

#include "foundation/Matrix.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace Fenwo {

namespace {

constexpr double kEps = 2.2e-16;
constexpr int kMaxTrials = 10;
constexpr int kInversionIterations = 10;
constexpr double kMinWeight = 1e-4;

// Values of the u knot positions p + 1 .. n (the interior ones that can be
// knot variables).
std::vector<double> saveInteriorKnots(const knots& k)
{
    std::vector<double> out;
    for (int m = k.p + 1; m <= k.n; ++m)
        out.push_back(k.valueAt(m));
    return out;
}

void restoreInteriorKnots(knots& k, const std::vector<double>& saved)
{
    for (int m = k.p + 1, i = 0; m <= k.n && i < static_cast<int>(saved.size()); ++m, ++i)
        k.setKnotValue(m, saved[i]);
}

void copyParameters(IndexSubset<CFitPoint>& points, bool toSecondSlot)
{
    for (int k = 0; k < points.count; ++k) {
        CFitPoint& fp = points[k];
        if (toSecondSlot)
            fp.uv2 = fp.uv;
        else if (fp.uv2.n > 0)
            fp.uv = fp.uv2;
    }
}

double cubicValue(const double c[4], double x)
{
    return c[0] + x * (c[1] + x * (c[2] + x * c[3]));
}

} // namespace

std::vector<Vector> NurbsSurf::saveEuclideanNet() const
{
    const int nU = getUCount();
    const int nV = getVCount();
    std::vector<Vector> net(static_cast<size_t>(nU) * nV);
    Vector xyz(3);
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i) {
            double w = 0.0;
            getControlPointAndWeight(xyz, i, j, w);
            Vector& p = net[i + nU * j];
            p.resize(4);
            p[0] = xyz[0];
            p[1] = xyz[1];
            p[2] = xyz[2];
            p[3] = w;
        }
    return net;
}

bool NurbsSurf::applyNewtonStep(const std::vector<Vector>& savedNet, const Vector& x, double alpha,
                                double sqrtScale)
{
    const int nU = getUCount();
    const int nV = getVCount();
    if (static_cast<int>(savedNet.size()) != nU * nV)
        return false;
    const double limit = stepLimit * sqrtScale;
    auto increment = [&](int v) -> double {
        if (v < 0 || v >= x.n)
            return 0.0;
        return alpha * x[v];
    };

    Vector p(3);
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i) {
            const int c = i + nU * j;
            const Vector& saved = savedNet[c];
            for (int d = 0; d < 3; ++d) {
                double delta = increment(4 * c + d);
                // Smooth bound: |delta| stays below limit and small moves pass
                // unchanged. hypot keeps (delta / limit)^2 from overflowing.
                if (dampSteps != 0 && delta != 0.0)
                    delta = delta / std::hypot(1.0, delta / limit);
                p[d] = (d < saved.n ? saved[d] : 0.0) - delta;
            }
            double w = (saved.n > 3 ? saved[3] : 1.0) - increment(4 * c + 3);
            if (!(w >= kMinWeight))
                w = kMinWeight;
            setControlPoint(i, j, p, w);
        }

    if (freeKnots && uKnots != nullptr) {
        knots& K = *uKnots;
        const int p0 = K.p;
        const int n = K.n;
        if (n > p0) {
            std::vector<double> base(n + 2);
            for (int m = p0; m <= n + 1; ++m)
                base[m - p0] = K.valueAt(m);
            const double length = base[n + 1 - p0] - base[0];
            const double floorGap = length > 0.0 ? 1e-8 * length : 1e-8;
            std::vector<double> moved(base);
            for (int m = p0 + 1; m <= n; ++m) {
                const int var = getKnotUnknownIndex(m);
                if (var < 0)
                    continue;
                double delta = -increment(var);
                if (!std::isfinite(delta))
                    continue;
                // Each knot covers less than half the gap towards the
                // neighbour it approaches; the neighbour does the same, so the
                // knots stay ordered and at least floorGap apart.
                const int k = m - p0;
                if (delta < 0.0)
                    delta =
                        std::max(delta, -std::max(0.5 * (base[k] - base[k - 1] - floorGap), 0.0));
                else
                    delta =
                        std::min(delta, std::max(0.5 * (base[k + 1] - base[k] - floorGap), 0.0));
                moved[k] = base[k] + delta;
            }
            for (int m = p0 + 1; m <= n; ++m)
                if (moved[m - p0] != base[m - p0])
                    K.setKnotValue(m, moved[m - p0]);
        }
    }
    return true;
}

void NurbsSurf::lineSearchObjective(IndexSubset<CFitPoint>& points, double lambda,
                                    bool refreshDistances, double& f, double& P)
{
    f = 0.0;
    double normalSum = 0.0;
    Vector** T = nullptr;
    Vector S(3);
    const bool surface = isSurface();
    for (int k = 0; k < points.count; ++k) {
        CFitPoint& fp = points[k];
        if (fp.uv.n < 1)
            continue;
        const double u = fp.uv[0];
        const double v = fp.uv.n > 1 ? fp.uv[1] : 0.0;
        if (refreshDistances && fp.Point.n >= 3) {
            evaluatePoint(S, u, v);
            double d2 = 0.0;
            for (int d = 0; d < 3; ++d)
                d2 += (S[d] - fp.Point[d]) * (S[d] - fp.Point[d]);
            fp.dist2 = d2;
        }
        f += fp.weight * fp.dist2;
        if (lambda == 0.0 || fp.Normal.n < 3)
            continue;
        T = computeDerivatives(1, u, v, T);
        // A vanishing derivative has no direction and costs nothing.
        auto term = [&](const Vector& D) {
            const double len = std::sqrt(D[0] * D[0] + D[1] * D[1] + D[2] * D[2]);
            if (len <= 0.0)
                return 0.0;
            const double c =
                (fp.Normal[0] * D[0] + fp.Normal[1] * D[1] + fp.Normal[2] * D[2]) / len;
            return c * c;
        };
        normalSum += term(T[1][0]);
        if (surface)
            normalSum += term(T[0][1]);
    }
    if (T != nullptr)
        freeDerivativeTable(T, 1);
    P = lambda * lambda * normalSum;
}

double NurbsSurf::quadraticStep(double f0, double g, double alpha, double f, double alphaMax)
{
    const double c = (f - g * alpha - f0) / std::max(alpha * alpha, DBL_MIN);
    if (c > kEps) {
        const double x = -g / (2.0 * c);
        if (x <= alphaMax)
            return x;
    }
    return alpha * 0.25;
}

double NurbsSurf::cubicStep(double f0, double g, double a1, double f1, double a2, double f2,
                            double alphaMax, double fallback)
{
    // c0 + c1 x + c2 x^2 + c3 x^3 with c(0) = f0, c'(0) = g and through the
    // two trials.
    Matrix A(4, 4);
    Vector b(4);
    A.at(0, 0) = 1.0;
    b[0] = f0;
    A.at(1, 1) = 1.0;
    b[1] = g;
    const double as[2] = {a1, a2};
    const double fs[2] = {f1, f2};
    for (int r = 0; r < 2; ++r) {
        double power = 1.0;
        for (int col = 0; col < 4; ++col) {
            A.at(r + 2, col) = power;
            power *= as[r];
        }
        b[r + 2] = fs[r];
    }
    Vector coef(4);
    if (A.factorize(0, kEps) != FactorizeDone || !A.solve(coef, b))
        return fallback;
    const double c[4] = {coef[0], coef[1], coef[2], coef[3]};

    // Stationary points: 3 c3 x^2 + 2 c2 x + c1 = 0. The first root is the
    // minimum of a cubic with c3 > 0. Each root is evaluated in the form that
    // avoids cancellation, so a nearly quadratic cubic (c3 -> 0) still yields
    // the minimiser of its quadratic part.
    double disc = c[2] * c[2] - 3.0 * c[1] * c[3];
    if (disc < 0.0)
        disc = 0.0;
    const double sq = std::sqrt(disc);
    double div = 3.0 * c[3];
    if (std::fabs(div) < 0.5 * kEps)
        div = div < 0.0 ? -0.5 * kEps : 0.5 * kEps;
    double first;
    double second;
    if (c[2] > 0.0) {
        first = -c[1] / (c[2] + sq);
        second = (-c[2] - sq) / div;
    } else {
        first = (sq - c[2]) / div;
        second = sq - c[2] > 0.0 ? c[1] / (sq - c[2]) : (-c[2] - sq) / div;
    }
    const bool firstOk = std::isfinite(first) && first > 0.0;
    const bool secondOk = std::isfinite(second) && second > 0.0;
    if (firstOk && (!secondOk || cubicValue(c, first) < cubicValue(c, second)) && first < alphaMax)
        return first;
    if (secondOk && second < alphaMax)
        return second;
    return fallback;
}

double NurbsSurf::newtonLineSearch(const Vector& step, double alpha0,
                                   IndexSubset<CFitPoint>& points, double* f0In, double* scale,
                                   double g, double* fOut, int /*unused*/, double* pOut,
                                   double lambda, double P0)
{
    const double f0 = f0In != nullptr ? *f0In : 0.0;
    // Not a descent direction (NaN included): nothing to search.
    if (!(g <= -kEps)) {
        if (fOut != nullptr)
            *fOut = f0;
        if (pOut != nullptr)
            *pOut = P0;
        return 0.0;
    }

    if (progress != nullptr)
        progress->begin(0, kMaxTrials);
    double alphas[kMaxTrials];
    double values[kMaxTrials];
    int recorded = 0;
    double fBest = f0;
    double alphaBest = 0.0;
    double alphaMax = DBL_MAX;
    double rho = 0.0;

    std::vector<double> savedKnots;
    if (freeKnots && uKnots != nullptr)
        savedKnots = saveInteriorKnots(*uKnots);
    const std::vector<Vector> savedNet = saveEuclideanNet();
    double s = scale != nullptr ? *scale : 0.0;
    if (std::fabs(s) < 1e-8) {
        s = 1e-8;
        if (scale != nullptr)
            *scale = s;
    }
    // A negative scale would give a NaN bound; its magnitude is meant.
    const double sqrtScale = std::sqrt(std::fabs(s));
    Vector full;
    expandUnknowns(full, step);

    // The best parameters so far are the current ones.
    copyParameters(points, true);

    auto applyAt = [&](double alpha) {
        if (freeKnots && uKnots != nullptr)
            restoreInteriorKnots(*uKnots, savedKnots);
        applyNewtonStep(savedNet, full, alpha, sqrtScale);
    };

    double alpha = alpha0;
    int trials = 0;
    bool stopRequested = false;
    for (;;) {
        if (progress != nullptr) {
            progress->step(1);
            if (progress->isCancelled())
                break;
        }
        ++trials;
        const double alphaTrial = alpha;
        applyAt(alphaTrial);
        copyParameters(points, false);
        PointInversion(points, kInversionIterations);
        double f = 0.0;
        double P = 0.0;
        lineSearchObjective(points, lambda, false, f, P);
        const bool folded =
            checkFolds && (isSurface() ? checkControlNetAngles() : checkTurningAngles());

        if (stopRequested) {
            trials = kMaxTrials;
        } else if (folded) {
            // Never recorded: steps beyond a folding one are not tried again.
            alphaMax = alphaTrial;
            alpha = alphaTrial * 0.25;
        } else {
            rho = (f - f0 + P - P0) / (alphaTrial * g);
            if (recorded < kMaxTrials) {
                alphas[recorded] = alphaTrial;
                values[recorded] = f;
                ++recorded;
            }
            if (f >= 50.0 * f0 && P >= 50.0 * P0) {
                alphaMax = alphaTrial;
                alpha = alphaTrial * 0.33;
            } else {
                if (f < fBest || P < P0) {
                    fBest = f;
                    alphaBest = alphaTrial;
                    copyParameters(points, true);
                }
                if (recorded == 1) {
                    alpha = quadraticStep(f0, g, alphaTrial, f, alphaMax);
                } else {
                    // Entries 0 and 1 are the pair the cubic interpolates; the
                    // worse one gives way to a better trial.
                    const int w = values[0] >= values[1] ? 0 : 1;
                    const int other = 1 - w;
                    bool stopNow = false;
                    if (recorded >= 3) {
                        if (f >= values[0] && f >= values[1]) {
                            alpha = alphas[other];
                            stopRequested = true;
                            stopNow = true;
                        } else {
                            // The trial takes the worse entry's place in the
                            // cubic's pair, but the best objective stays:
                            // lowering the bar to this trial's value would let
                            // a later trial that is worse than the best one
                            // found so far become the result.
                            alphas[w] = alphaTrial;
                            values[w] = f;
                        }
                    }
                    if (!stopNow) {
                        alpha = cubicStep(f0, g, alphas[0], values[0], alphas[1], values[1],
                                          alphaMax, 0.5 * alphaTrial);
                        if (std::fabs(alpha - alphas[other]) < 1e-6)
                            stopRequested = true;
                    }
                }
            }
        }

        if (rho >= 0.3 && rho <= 0.7)
            break;
        if (!(alpha > 1e-10 && trials < kMaxTrials))
            break;
    }

    applyAt(alphaBest);
    copyParameters(points, false);
    double f = 0.0;
    double P = 0.0;
    lineSearchObjective(points, lambda, true, f, P);
    if (fOut != nullptr)
        *fOut = f;
    if (pOut != nullptr)
        *pOut = P;
    return alphaBest;
}

} // namespace Fenwo
