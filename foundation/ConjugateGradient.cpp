#include "foundation/ConjugateGradient.h"

#include "platform/Diagnostics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

constexpr double kSmallestNormalFloat = 1.1754943508222875e-38;
// Bracketing ends on its own tests; this only guards against objectives whose
// values never settle (non-finite values, a fixed point of the step rule).
constexpr int kMaxBracketingSteps = 100;
constexpr int kMaxSectioningSteps = 6;

double relativeDecrease(double fOld, double fNew)
{
    return (fOld - fNew) / std::fabs(fOld + 1.0);
}

struct Candidate {
    double value;
    double z;
};

} // namespace

double evaluatePolynomial(const double* coeffs, int count, double z)
{
    double value = 0.0;
    for (int k = count - 1; k >= 0; --k)
        value = value * z + coeffs[k];
    return value;
}

double evaluatePolynomial(const Vector& coeffs, double z)
{
    return evaluatePolynomial(coeffs.data, coeffs.n, z);
}

double interpolatedStep(const Kor::List<LineSearchValues>& records, int i, int j,
                        const double bounds[2], int* sameSignFlag)
{
    if (sameSignFlag)
        *sameSignFlag = 0;
    if (!records[i].hasSlope()) {
        // The models are built around a record with a slope: swap the roles
        // when only the second one has it, else take the middle of the bounds.
        if (records[j].hasSlope())
            return interpolatedStep(records, j, i, bounds, sameSignFlag);
        return 0.5 * (bounds[0] + bounds[1]);
    }
    const LineSearchValues& ri = records[i];
    const LineSearchValues& rj = records[j];
    const double a = ri.alpha;
    const double d = rj.alpha - ri.alpha;
    if (d == 0.0 || !std::isfinite(d))
        return a;

    double lo = bounds[0];
    double hi = bounds[1];
    if ((d < 0.0 && hi - lo > 0.0) || (d > 0.0 && hi - lo < 0.0))
        std::swap(lo, hi);
    const double zl = (lo - a) / d;
    const double zu = (hi - a) / d;
    auto inBounds = [&](double z) {
        if (zu == zl)
            return z == zl;
        const double t = (zu - z) / (zu - zl);
        return t >= 0.0 && t <= 1.0;
    };
    auto inUnit = [&](double z) {
        const double t = (rj.alpha - (a + z * d)) / d;
        return t >= 0.0 && t <= 1.0;
    };

    const double fa = ri.f;
    const double fb = rj.f;
    const double sa = d * ri.slope;
    const double fmin = std::min(fa, fb);

    Candidate candidates[12];
    int count = 0;
    // Non-finite candidates (a vanishing leading coefficient puts a stationary
    // point at infinity) can never be a step.
    auto add = [&](double value, double z) {
        if (std::isfinite(value) && std::isfinite(z))
            candidates[count++] = {value, z};
    };

    if (!rj.hasSlope()) {
        const double c[3] = {fa, sa, fb - fa - sa};
        auto q = [&](double z) { return evaluatePolynomial(c, 3, z); };
        add(fa, 0.0);
        add(fb, 1.0);
        if (c[2] != 0.0) {
            const double zs = -c[1] / (2.0 * c[2]);
            if ((inBounds(zs) || inUnit(zs)) && q(zs) < fmin)
                add(q(zs), zs);
        }
        add(q(zl), zl);
        add(q(zu), zu);
    } else {
        const double sb = d * rj.slope;
        const double c[4] = {fa, sa, 3.0 * (fb - fa) - 2.0 * sa - sb, sa + sb - 2.0 * (fb - fa)};
        auto q = [&](double z) { return evaluatePolynomial(c, 4, z); };
        const double disc = c[2] * c[2] - 3.0 * c[1] * c[3];
        double z1;
        double z2;
        if (disc < 0.0) {
            // No real stationary point: the cubic is monotone; probe it.
            add(q(0.5), 0.5);
            add(q(4.0), 4.0);
            add(q(-4.0), -4.0);
            z1 = 4.0;
            z2 = -4.0;
        } else {
            const double r = std::sqrt(std::max(disc, 1e-16));
            // z1 = (r - c2)/(3 c3) and z2 = (-c2 - r)/(3 c3), each taken in the
            // form without cancellation. When c3 is (nearly) 0 the cubic is a
            // quadratic along the line and one of the roots is its vertex
            // -c1/(2 c2); the textbook form would divide 0 by 0 there.
            if (c[2] > 0.0) {
                z1 = -c[1] / (r + c[2]);
                z2 = (-c[2] - r) / (3.0 * c[3]);
            } else {
                z1 = (r - c[2]) / (3.0 * c[3]);
                z2 = c[1] / (r - c[2]);
            }
            if (sameSignFlag && ((sa < 0.0 && sb < 0.0) || (sa > 0.0 && sb > 0.0)))
                *sameSignFlag = 1;
        }
        add(fa, 0.0);
        add(fb, 1.0);
        if (inBounds(z1) || inUnit(z1) || q(z1) < fmin)
            add(q(z1), z1);
        if (q(zl) < fmin)
            add(q(zl), zl);
        if (inBounds(z2) || inUnit(z2) || q(z2) < fmin)
            add(q(z2), z2);
        if (q(zu) < fmin)
            add(q(zu), zu);
    }

    int best = 0;
    for (int k = 1; k < count; ++k)
        if (candidates[k].value < candidates[best].value)
            best = k;
    return a + candidates[best].z * d;
}

void lineSearchVectorHelper(Vector& out, const Vector& x, const Vector& lo, const Vector& hi)
{
    if (&out != &x)
        out = x;
    const int nLo = std::min(out.n, lo.n);
    for (int i = 0; i < nLo; ++i)
        if (out[i] < lo[i])
            out[i] = lo[i];
    const int nHi = std::min(out.n, hi.n);
    for (int i = 0; i < nHi; ++i)
        if (out[i] > hi[i])
            out[i] = hi[i];
}

CConjugateGradient::CConjugateGradient(int n, bool useGoldstein) : m_useGoldstein(useGoldstein)
{
    setDimension(n);
}

CConjugateGradient::~CConjugateGradient() = default;

void CConjugateGradient::onIteration(const Vector&, Vector&) {}

bool CConjugateGradient::restartRequested(const Vector&, const Vector&)
{
    return false;
}

bool CConjugateGradient::checkRestart(int)
{
    return true;
}

bool CConjugateGradient::isCancelled()
{
    return false;
}

void CConjugateGradient::applyStep(Vector& x, double alpha, const Vector& p)
{
    x.addScaled(alpha, p);
    clampToBounds(x);
}

void CConjugateGradient::setDimension(int n)
{
    m_n = std::max(n, 0);
    m_work.resize(m_n);
    m_p.resize(m_n);
    m_g.resize(m_n);
    m_probeGradient.resize(m_n);
}

void CConjugateGradient::setLowerBounds(const Vector& lo)
{
    m_lowerBounds = std::make_unique<Vector>(lo);
}

void CConjugateGradient::setUpperBounds(const Vector& hi)
{
    m_upperBounds = std::make_unique<Vector>(hi);
}

void CConjugateGradient::clearBounds()
{
    m_lowerBounds.reset();
    m_upperBounds.reset();
}

void CConjugateGradient::clampToBounds(Vector& x) const
{
    static const Vector none;
    if (hasBounds())
        lineSearchVectorHelper(x, x, m_lowerBounds ? *m_lowerBounds : none,
                               m_upperBounds ? *m_upperBounds : none);
}

double CConjugateGradient::evaluateAt(int mode, Vector& g, Vector& x, double alpha, const Vector& p)
{
    if (!m_numericGradient || mode == 0)
        return evaluate(mode, g, x, alpha, p);
    // Value-only evaluations get a scratch gradient, so that a subclass that
    // writes g in mode 0 cannot spoil the entries already differenced.
    const double f0 = evaluate(0, m_probeGradient, x, alpha, p);
    m_inNumericGradient = true;
    const int count = std::min(x.n, g.n);
    for (int i = 0; i < count; ++i) {
        // The coordinate is restored from a saved copy: adding and then
        // subtracting the step does not give the same double back in general.
        const double saved = x[i];
        x[i] = saved + m_gradientStep;
        const double f1 = evaluate(0, m_probeGradient, x, alpha, p);
        g[i] = (f1 - f0) / m_gradientStep;
        x[i] = saved;
    }
    m_inNumericGradient = false;
    return f0;
}

bool CConjugateGradient::settleStep(Vector& x, double alpha, const Vector& p, bool gradientCurrent,
                                    double f0, double& f, Vector& g, const Vector& gPrevious,
                                    int& ng)
{
    m_previousX = x;
    applyStep(x, alpha, p);
    clampToBounds(x);
    // The line search valued x + alpha p; when the bounds (or an overriding
    // applyStep) put x elsewhere, that value and gradient belong to another
    // point and are taken again at x.
    bool offLine = false;
    if (hasBounds()) {
        for (int i = 0; i < x.n && !offLine; ++i)
            offLine = x[i] != m_previousX[i] + alpha * p[i];
    }
    if (!offLine && gradientCurrent)
        return true;
    f = evaluateAt(1, g, x, 0.0, p);
    ++ng;
    if (offLine && !(f < f0)) {
        x = m_previousX;
        f = f0;
        g = gPrevious;
        return false;
    }
    return true;
}

int CConjugateGradient::lineSearchZoom(Kor::List<LineSearchValues>& records, int& low, int high,
                                       Vector& g, const Vector& p, Vector& x, double f0, double gp,
                                       int& nf, int& ng, double rho, double sigma, double tau2,
                                       double tau3, double& gradientAlpha)
{
    for (int trial = 0; trial < kMaxSectioningSteps; ++trial) {
        const double aLow = records[low].alpha;
        const double aHigh = records[high].alpha;
        if (std::fabs(aHigh - aLow) / (aLow + 1.0) <= 1e-32)
            break;
        const double bounds[2] = {aLow + tau2 * (aHigh - aLow), aHigh - tau3 * (aHigh - aLow)};
        int sameSign = 0;
        const double aj = interpolatedStep(records, low, high, bounds, &sameSign);

        LineSearchValues rec;
        rec.alpha = aj;
        rec.f = evaluateAt(0, m_probeGradient, x, aj, p);
        ++nf;
        const int j = records.append(rec);
        // Written as "not below" so that a non-finite value counts as too high.
        if (!(rec.f <= f0 + rho * aj * gp) || rec.f > records[low].f) {
            high = j;
            continue;
        }
        rec.f = evaluateAt(1, g, x, aj, p);
        ++ng;
        gradientAlpha = aj;
        rec.slope = dot(g, p);
        records[j] = rec;
        if (std::fabs(rec.slope) <= -sigma * gp)
            return j;
        const int previousLow = low;
        low = j;
        if ((aHigh - aj) * rec.slope >= 0.0 || records[high].f > rec.f)
            high = previousLow;
    }
    return records.count - 1;
}

void CConjugateGradient::lineSearch(double alpha, LineSearchValues& result, Vector& g,
                                    const Vector& p, Vector& x, double f0, double fbar, int& nf,
                                    int& ng, double rho, double sigma, double tau1, double tau2,
                                    double tau3)
{
    const double gp = dot(g, p);
    Kor::List<LineSearchValues> records;
    LineSearchValues start;
    start.alpha = 0.0;
    start.f = f0;
    start.slope = gp;
    records.append(start);
    result = start;
    // Not a descent direction, or already at the value aimed at: no step.
    if (!(gp < 0.0) || !(f0 > fbar))
        return;

    double gradientAlpha = 0.0; // the step at which g was last evaluated
    // Finishes with record k; its slope is reported only when g belongs to it.
    auto finish = [&](const LineSearchValues& rec) {
        result = rec;
        if (!(rec.hasSlope() && rec.alpha == gradientAlpha))
            result.slope = std::numeric_limits<double>::max();
    };
    // After sectioning: the last record, or the one before it when that is
    // lower; never a record worse than the lowest bracket end found.
    auto finishSection = [&](int endIndex, int low, bool preferPrevious) {
        LineSearchValues chosen = records[endIndex];
        if (preferPrevious && records.count >= 2 && records[records.count - 2].f < chosen.f)
            chosen = records[records.count - 2];
        if (records[low].f < chosen.f || !std::isfinite(chosen.f))
            chosen = records[low];
        finish(chosen);
    };

    const double mu = (fbar - f0) / (rho * gp);
    double ai = std::min(alpha, mu);
    for (int i = 1;; ++i) {
        LineSearchValues rec;
        rec.alpha = ai;
        rec.f = evaluateAt(0, m_probeGradient, x, ai, p);
        ++nf;
        if (rec.f > 1e10 * f0) {
            ai = std::min(ai, 0.001 * ai);
            rec.alpha = ai;
            rec.f = evaluateAt(0, m_probeGradient, x, ai, p);
            ++nf;
        }
        records.append(rec);
        const LineSearchValues previous = records[i - 1];

        if (rec.f <= fbar) {
            finish(rec);
            return;
        }
        if (!(rec.f <= f0 + rho * ai * gp) || rec.f >= previous.f) {
            int low = i - 1;
            const int end = lineSearchZoom(records, low, i, g, p, x, f0, gp, nf, ng, rho, sigma,
                                           tau2, tau3, gradientAlpha);
            finishSection(end, low, true);
            return;
        }
        rec.f = evaluateAt(1, g, x, ai, p);
        ++ng;
        gradientAlpha = ai;
        rec.slope = dot(g, p);
        records[i] = rec;
        if (std::fabs(rec.slope) <= -sigma * gp) {
            finish(rec);
            return;
        }
        if (rec.slope >= 0.0) {
            int low = i;
            const int end = lineSearchZoom(records, low, i - 1, g, p, x, f0, gp, nf, ng, rho, sigma,
                                           tau2, tau3, gradientAlpha);
            finishSection(end, low, false);
            return;
        }
        if (i >= kMaxBracketingSteps) {
            finish(rec);
            return;
        }
        if (mu <= 2.0 * ai - previous.alpha) {
            ai = mu;
        } else {
            const double bounds[2] = {2.0 * ai - previous.alpha,
                                      std::min(mu, ai + tau1 * (ai - previous.alpha))};
            int sameSign = 0;
            ai = interpolatedStep(records, i, i - 1, bounds, &sameSign);
        }
    }
}

double CConjugateGradient::lineSearchGoldstein(double f0, double& f, Vector& g, Vector& p,
                                               Vector& x, double alpha, int& nf, int& ng,
                                               double& ratio, int& info, int& expansions,
                                               int& contractions)
{
    ratio = 0.0;
    info = 0;
    double gp = dot(g, p);
    if (gp > 0.0) {
        std::printf(" gp ist %10.5g \n", gp);
        std::printf("p ist keine Abstiegsrichtung, versuche -1/g\n");
        for (int i = 0; i < p.n && i < g.n; ++i)
            p[i] = std::fabs(g[i]) <= m_epsilon ? 0.0 : -1.0 / g[i];
        info = 4;
        gp = dot(g, p);
    }
    if (std::fabs(gp) < 1e-10) {
        info = 4;
        return 0.0;
    }
    if (!(gp < 0.0)) {
        std::printf("not descend! in Goldstein linesearch \n");
        info = 4;
        return 0.0;
    }

    const double low = m_goldsteinLow;
    const double high = m_goldsteinHigh;
    const double pp = dot(p, p);
    double fmin = f0;
    double alphaAtMin = 0.0;
    double fa = f0;
    // Value at the step a and the ratio r(a) of actual to predicted decrease.
    auto probe = [&](double a) {
        fa = evaluateAt(0, m_probeGradient, x, a, p);
        ++nf;
        if (fa < fmin) {
            fmin = fa;
            alphaAtMin = a;
        }
        return (fa - f0) / (a * gp);
    };
    auto inBand = [&](double r) { return r >= low && r <= high; };

    double r = probe(alpha);
    bool searched = false;
    double aLow = alpha;
    double rLow = r;
    double aHigh = alpha;
    double rHigh = r;
    if (r > 0.5 && r != high) {
        // Step too short: double it while the ratio stays above the band.
        ++expansions;
        searched = true;
        int doublings = 0;
        do {
            aLow = alpha;
            rLow = r;
            alpha *= 2.0;
            r = probe(alpha);
            ++doublings;
        } while (r > high && pp * alpha < 1e10 && fa < f0 && doublings < 21);
        if (pp * alpha >= 1e10) {
            info = 4;
            f = f0;
            return 0.0;
        }
        aHigh = alpha;
        rHigh = r;
        for (int m = 0; m < 20 && !inBand(r); ++m) {
            alpha = 0.5 * (aLow + aHigh);
            r = probe(alpha);
            if (r > high) {
                aLow = alpha;
                rLow = r;
            } else {
                aHigh = alpha;
                rHigh = r;
            }
        }
    } else if (r < 0.5 && r != low) {
        // Step too long: shorten it while the ratio stays below the band.
        ++contractions;
        searched = true;
        int shortenings = 0;
        do {
            aLow = alpha;
            rLow = r;
            alpha /= 15.0;
            r = probe(alpha);
            ++shortenings;
        } while (r < low && pp * alpha > 1e-16 && shortenings < 21);
        aHigh = alpha;
        rHigh = r;
        if (pp * alpha > 1e-16) {
            for (int m = 0; m < 20 && !inBand(r) && std::fabs(aHigh - aLow) > 1e-16; ++m) {
                alpha = 0.5 * (aLow + aHigh);
                r = probe(alpha);
                if (r < low) {
                    aLow = alpha;
                    rLow = r;
                } else {
                    aHigh = alpha;
                    rHigh = r;
                }
            }
        }
    }
    if (searched) {
        // Secant step towards the ratio 0.5.
        alpha = std::fabs(rHigh - rLow) >= 1e-10
                    ? aLow - (aLow - aHigh) / (rHigh - rLow) * (0.5 - rLow)
                    : aLow;
        if (!(alpha > 0.0))
            alpha = aLow;
        r = probe(alpha);
        if (!inBand(r)) {
            alpha = std::fabs(rHigh - 0.5) < std::fabs(rLow - 0.5) ? aHigh : aLow;
            r = probe(alpha);
        }
    }
    // The search may end on a step that climbs although a lower trial was
    // seen; settle on that lower trial instead.
    if (!(fa < f0) && fmin < f0)
        alpha = alphaAtMin;

    if (pp * alpha >= kSmallestNormalFloat && relativeDecrease(f0, fmin) >= 1e-16) {
        info = 0;
        const Vector gPrevious(g);
        f = evaluateAt(1, g, x, alpha, p);
        ++ng;
        if (settleStep(x, alpha, p, true, f0, f, g, gPrevious, ng)) {
            ratio = (f - f0) / (alpha * gp);
            return alpha;
        }
    }
    if (gp > 0.0)
        std::printf("Achtung keine Abstiegsrichtung\n");
    info = 3;
    f = f0;
    ratio = 1.0;
    return 0.0;
}

double CConjugateGradient::solve(Vector& x, int maxIter, int logInterval)
{
    if (x.n != m_n)
        setDimension(x.n);
    const int n = m_n;
    m_maxIter = maxIter;
    if (maxIter == 0)
        maxIter = 5 * n;

    std::FILE* log = nullptr;
    if (logInterval > 0 && logInterval < maxIter) {
        log = Platform::openDiagnosticsStdio("c:/tmp/cg.log", true);
        if (log)
            std::fprintf(log, "CG start, maxiter=%d\n", maxIter);
    }

    m_p.fill(0.0);
    onIteration(x, m_p);
    m_f = evaluateAt(1, m_g, x, 0.0, m_p);
    m_falt = m_f + 1.0;

    Vector r(m_g);
    double w = dot(m_g, m_g);
    double alpha = std::sqrt(w);
    double beta = 0.0;
    double c = 1.0;
    m_iter = 0;
    int nf = 0;
    int ng = 1;
    int restarts = 1;
    int sinceRestart = 0;
    double ratio = 0.0;
    int info = 0;
    int expansions = 0;
    int contractions = 0;

    while (w > 0.0 && info == 0 && dot(m_g, m_g) > 1e-32 && m_iter < maxIter &&
           relativeDecrease(m_falt, m_f) > m_relTolerance && alpha > 1e-16 && m_f > m_fLowerLimit &&
           !isCancelled()) {
        ++m_iter;
        // New direction; its slope g.p at the start is -1 by construction.
        for (int i = 0; i < n; ++i)
            m_p[i] = beta * m_p[i] - (c / w) * r[i];
        onIteration(x, m_p);
        const double wOld = w;
        m_falt = m_f;
        const double f0 = m_f;

        if (hasBounds()) {
            // Shorten the trial step so that no coordinate leaves its box,
            // but never below a thousandth of itself.
            double alphaMax = 1e32;
            for (int i = 0; i < n; ++i) {
                if (std::fabs(m_p[i]) <= 1e-8)
                    continue;
                for (const Vector* b : {m_lowerBounds.get(), m_upperBounds.get()}) {
                    if (!b || i >= b->n)
                        continue;
                    const double t = ((*b)[i] - x[i]) / m_p[i];
                    if (t > 0.0 && t < alphaMax)
                        alphaMax = t;
                }
            }
            alpha = std::min(alpha, std::max(alpha / 1000.0, alphaMax));
        }

        if (!m_useGoldstein) {
            const double gp = dot(m_g, m_p);
            LineSearchValues result;
            lineSearch(alpha, result, m_g, m_p, x, f0, 0.0, nf, ng, 0.1, 0.025, 9.0, 0.1, 0.5);
            alpha = result.alpha;
            m_f = result.f;
            if (relativeDecrease(m_falt, m_f) > 1e-16 &&
                settleStep(x, alpha, m_p, result.hasSlope(), f0, m_f, m_g, r, ng)) {
                ratio = std::fabs(alpha) <= 1e-17
                            ? 1.0
                            : (m_f - m_falt) / std::max(std::fabs(alpha * gp), 2.2e-16);
            } else {
                // No step: x keeps its value, so its objective and gradient
                // are the ones it came with.
                m_f = f0;
                m_g = r;
            }
        } else {
            alpha = lineSearchGoldstein(f0, m_f, m_g, m_p, x, alpha, nf, ng, ratio, info,
                                        expansions, contractions);
        }

        if (hasBounds()) {
            // A coordinate on its bound whose gradient pushes outwards is held
            // there: it leaves the direction and the gradient.
            for (int i = 0; i < n; ++i) {
                if (m_lowerBounds && i < m_lowerBounds->n) {
                    const double lo = (*m_lowerBounds)[i];
                    if (x[i] - lo < 1e-8 && m_g[i] > -1e-8) {
                        m_p[i] = 0.0;
                        m_g[i] = 0.0;
                        x[i] = lo;
                    }
                }
                if (m_upperBounds && i < m_upperBounds->n) {
                    const double hi = (*m_upperBounds)[i];
                    if (hi - x[i] < 1e-8 && m_g[i] < 1e-8) {
                        m_p[i] = 0.0;
                        m_g[i] = 0.0;
                        x[i] = hi;
                    }
                }
            }
        }

        const double d = m_restartWeightSlope * std::fabs(dot(m_g, m_p) * 0.7) +
                         m_restartWeightGradient * std::fabs(dot(m_g, r)) / wOld;
        r = m_g;
        w = dot(m_g, m_g);

        if (log && m_iter % logInterval == 0)
            std::fprintf(log, "%3d %3d(%3d) %7g %7g %7g %7g %d d=%5g cg=%5g\n", m_iter, nf, ng, m_f,
                         w, ratio, alpha, sinceRestart + 1, d, w / wOld);

        if (checkRestart(m_iter) && d > 1.0) {
            beta = 0.0;
            ++restarts;
            sinceRestart = 0;
            alpha = 1.0;
        } else {
            beta = 1.0;
            ++sinceRestart;
            alpha = std::sqrt(w);
        }
        if (restartRequested(x, r)) {
            beta = 0.0;
            ++restarts;
            sinceRestart = 0;
            alpha = 1.0;
        }
        c = beta * dot(m_g, m_p) + 1.0;
    }

    if (log) {
        if (!(w > 0.0))
            std::fprintf(log, "terminated w<=0\n");
        if (info != 0)
            std::fprintf(log, "terminated info!=0\n");
        if (!(dot(m_g, m_g) > 1e-32))
            std::fprintf(log, "terminated g*g<1E-32\n");
        if (m_iter >= maxIter)
            std::fprintf(log, "terminated m_iter>=maxiter\n");
        const double decrease = relativeDecrease(m_falt, m_f);
        if (!(decrease > m_relTolerance))
            std::fprintf(log, "terminated falt-f/fabs(1+falt)=%20.16f\n", decrease);
        if (!(alpha > 1e-16))
            std::fprintf(log, "terminated alpha too small");
        std::fprintf(log, "restarts = %i\n", restarts);
        std::fclose(log);
    }
    return m_f;
}
