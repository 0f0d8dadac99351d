// Point inversion of Fenwo::NurbsSurf: start parameters of fit points from
// samples of the surface, their refinement by a bounded Newton iteration (or
// by the nearest segment on a poly-line), and the reversal of a parameter
// direction.
#include "foundation/FitPointGrid.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <utility>
#include <vector>

namespace Fenwo {

namespace {

// Bound codes of the active set: 0 u minimum, 1 u maximum, 2 v minimum,
// 3 v maximum. The list keeps the order in which bounds became active: the
// release test examines them in that order and the last one names the
// boundary flag.
class ActiveBounds {
public:
    int count = 0;
    int list[4] = {0, 0, 0, 0};

    bool has(int b) const
    {
        for (int k = 0; k < count; ++k)
            if (list[k] == b)
                return true;
        return false;
    }
    void add(int b)
    {
        if (!has(b))
            list[count++] = b;
    }
    void remove(int b)
    {
        for (int k = 0; k < count; ++k) {
            if (list[k] == b) {
                std::copy(list + k + 1, list + count, list + k);
                --count;
                return;
            }
        }
    }
    bool holdsU() const { return has(0) || has(1); }
    bool holdsV() const { return has(2) || has(3); }
};

inline double dot3(const double* a, const double* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// The first three coordinates of v, zeros for those it lacks.
inline void copyPoint(const Vector& v, double* out)
{
    for (int c = 0; c < 3; ++c)
        out[c] = c < v.n ? v.data[c] : 0.0;
}

// Index of the control point whose basis function is largest at t: the span
// of t less the degree plus the position of the largest basis value (the
// first of equal values). Wrapped into the control points of a cyclic vector.
int largestBasisIndex(knots& k, double t, int controlCount)
{
    double tt = t;
    const int span = k.clampToKnots(tt);
    const Vector& N = k.basisFunctions(span, tt);
    int best = 0;
    for (int r = 1; r <= k.p && r < N.n; ++r)
        if (N.data[r] > N.data[best])
            best = r;
    int index = span - k.p + best;
    if (controlCount > 0 && k.endCondition == knots::CyclicEnd) {
        index %= controlCount;
        if (index < 0)
            index += controlCount;
    }
    return index;
}

// Solves the symmetric 2 x 2 system [[a, b], [b, c]] x = g by LDLt. False
// when a pivot is negligible against the diagonal (relative, so that the
// test does not depend on the scale of the model) or not finite.
bool solveSymmetric2x2(double a, double b, double c, double gu, double gv, double& xu, double& xv)
{
    const double scale = std::fabs(a) + std::fabs(c);
    const double tiny = 2.2e-16 * scale;
    if (!(std::fabs(a) > tiny))
        return false;
    const double l = b / a;
    const double d1 = c - l * b;
    if (!(std::fabs(d1) > tiny) || !std::isfinite(d1))
        return false;
    xv = (gv - l * gu) / d1;
    xu = gu / a - l * xv;
    return std::isfinite(xu) && std::isfinite(xv);
}

// Poly-line inversion: every point goes to the nearest point of the nearest
// segment (the earlier segment on equal distances).
void invertOnPolyline(NurbsSurf& s, IndexSubset<CFitPoint>& points)
{
    knots& k = *s.uKnots;
    const int segments = k.n;
    if (segments < 1)
        return;
    // Per segment: parameter ends, start point A, direction D = B - A, D.D.
    std::vector<double> t0(segments), t1(segments), A(3 * segments), D(3 * segments), L(segments);
    Vector a, b;
    for (int i = 0; i < segments; ++i) {
        t0[i] = *k.knotAt(k.p + i);
        t1[i] = *k.knotAt(k.p + i + 1);
        s.getControlPoint(i, 0, a);
        s.getControlPoint(i + 1, 0, b);
        double pa[3], pb[3];
        copyPoint(a, pa);
        copyPoint(b, pb);
        for (int c = 0; c < 3; ++c) {
            A[3 * i + c] = pa[c];
            D[3 * i + c] = pb[c] - pa[c];
        }
        L[i] = dot3(&D[3 * i], &D[3 * i]);
    }
    const double first = t0[0];
    const double last = t1[segments - 1];
    Vector S(3);
    for (int m = 0; m < points.count; ++m) {
        CFitPoint& fp = points.at(m);
        if (fp.uv.n < 2)
            fp.uv.resize(2);
        double P[3];
        copyPoint(fp.Point, P);
        if (fp.state == 2) {
            // Parameters are the caller's: only the distance is refreshed.
            s.evaluatePoint(S, fp.uv[0], fp.uv[1]);
            double q[3];
            copyPoint(S, q);
            const double r[3] = {q[0] - P[0], q[1] - P[1], q[2] - P[2]};
            fp.dist2 = dot3(r, r);
            continue;
        }
        double bestDist = HUGE_VAL;
        double bestT = first;
        for (int i = 0; i < segments; ++i) {
            const double* a0 = &A[3 * i];
            const double* d = &D[3 * i];
            const double w[3] = {P[0] - a0[0], P[1] - a0[1], P[2] - a0[2]};
            // A segment of zero length counts as its start point.
            const double sParam = L[i] > 0.0 ? dot3(w, d) / L[i] : 0.0;
            double dist, t;
            if (sParam > 0.0 && sParam <= 1.0) {
                const double e[3] = {w[0] - sParam * d[0], w[1] - sParam * d[1],
                                     w[2] - sParam * d[2]};
                dist = dot3(e, e);
                t = (1.0 - sParam) * t0[i] + sParam * t1[i];
            } else if (sParam > 1.0) {
                const double e[3] = {w[0] - d[0], w[1] - d[1], w[2] - d[2]};
                dist = dot3(e, e);
                t = t1[i];
            } else {
                dist = dot3(w, w);
                t = t0[i];
            }
            if (dist < bestDist) {
                bestDist = dist;
                bestT = t;
            }
        }
        fp.uv[0] = bestT;
        fp.dist2 = bestDist;
        fp.boundary = 0;
        if (std::fabs(bestT - first) < 1e-8 && bestDist > 1e-4)
            fp.boundary = 1;
        if (std::fabs(bestT - last) < 1e-8 && bestDist > 1e-4)
            fp.boundary = 2;
    }
}

} // namespace

long NurbsSurf::PointInversion(IndexSubset<CFitPoint>& points, int maxIterations)
{
    if (points.count == 0 || points.array == nullptr || uKnots == nullptr || vKnots == nullptr)
        return 0;
    const bool curve = vKnots->n == 0;
    if (curve && uKnots->p == 1) {
        invertOnPolyline(*this, points);
        return 0;
    }
    maxIterations = std::max(maxIterations, 0);
    const double umin = getUMin();
    const double umax = getUMax();
    const double vmin = getVMin();
    const double vmax = getVMax();
    const bool uCyclic = uKnots->endCondition == knots::CyclicEnd;
    const bool vCyclic = !curve && vKnots->endCondition == knots::CyclicEnd;
    // A cyclic direction has no boundary: its parameters wrap at the seam
    // instead of stopping there, so neither the start snap nor the ratio
    // test may make its bounds active.
    const bool uBounded = !uCyclic;
    const bool vBounded = !curve && !vCyclic;
    const double uSnap = (umax - umin) / 500.0;
    const double vSnap = (vmax - vmin) / 500.0;
    // The r . S_uu (r . S_vv) term of the Hessian only where the degree can
    // bend the surface in that direction.
    const bool uCurvatureTerm = uKnots->p > 1;
    const bool vCurvatureTerm = vKnots->p > 1;
    const int nU = getUCount();
    const int nV = getVCount();

    // Size of the model: the largest Euclidean control-point coordinate. It
    // is the scale of the rounding of every evaluated point, so the tests of
    // convergence and of an uphill step below are relative to it and hold
    // alike at any scale of the model.
    double size = 0.0;
    for (int k = 0; k < std::min(nU * nV, controlNetSize); ++k) {
        const Vector& Pw = std::as_const(controlNet)[k];
        if (Pw.n < 4 || Pw.data[3] == 0.0)
            continue;
        for (int c = 0; c < 3; ++c)
            size = std::max(size, std::fabs(Pw.data[c] / Pw.data[3]));
    }
    constexpr double eps = 2.220446049250313e-16;
    // A Newton step that moves the surface point by less than this ends the
    // iteration: it is taken once more (a distance evaluation only) and then
    // the parameters are within rounding of the foot, since Newton's error
    // after it is of the order of the square of the step.
    const double stepTolerance = 1e-10 * size;
    // The rounding of the evaluated points, for the uphill test.
    const double pointNoise = 8.0 * eps * size;

    // One flat derivative table of order 2 for the whole run: (k, l) at
    // 3 (3 k + l).
    double D[27] = {};
    const double* S = D;
    const double* Su = D + 9;
    const double* Sv = D + 3;
    const double* Suu = D + 18;
    const double* Suv = D + 12;
    const double* Svv = D + 6;
    Vector wrapWork(2);
    double P[3] = {0.0, 0.0, 0.0};
    double r[3] = {0.0, 0.0, 0.0};

    auto wrap = [&](double& u, double& v) {
        if (!uCyclic && !vCyclic)
            return;
        wrapWork[0] = u;
        wrapWork[1] = v;
        wrapCyclicParameters(wrapWork);
        u = wrapWork[0];
        v = wrapWork[1];
    };
    // A step never leaves the domain of a bounded direction: the ratio test
    // stops it on the bound, and this clamp catches the rounding of that
    // landing, so the stored parameters are those that were evaluated.
    auto clampToDomain = [&](double& u, double& v) {
        if (uBounded)
            u = std::clamp(u, umin, umax);
        if (vBounded)
            v = std::clamp(v, vmin, vmax);
    };
    // Squared distance at (u, v), with the derivative table of order 2 when
    // `derivatives` is set (an accepted point), else the point only (a trial
    // of the line search). r receives S - P.
    auto squaredDistanceAt = [&](double u, double v, bool derivatives) {
        computeDerivativesInto(derivatives ? 2 : 0, u, v, D);
        for (int c = 0; c < 3; ++c)
            r[c] = S[c] - P[c];
        return dot3(r, r);
    };
    // The rounding of a squared distance f near fBest: |r| carries the
    // rounding of the evaluated point (a few eps times the size).
    // f > fBest + 8 eps (m + sqrt(m) size), m = max(f, fBest), without the
    // square root where the answer is plain.
    auto uphill = [&](double f, double fBest) {
        if (f <= fBest)
            return false;
        const double m = f;
        return f > fBest + 8.0 * eps * m + std::sqrt(m) * pointNoise;
    };

    long iterations = 0;
    for (int m = 0; m < points.count; ++m) {
        CFitPoint& fp = points.at(m);
        copyPoint(fp.Point, P);
        if (fp.uv.n < 2)
            fp.uv.resize(2);
        if (fp.state == 2) {
            fp.dist2 = squaredDistanceAt(fp.uv[0], fp.uv[1], false);
            continue;
        }

        double u = fp.uv[0];
        double v = fp.uv[1];
        if (!std::isfinite(u))
            u = umin;
        if (!std::isfinite(v))
            v = vmin;
        // Starts outside the domain are taken to its border: the evaluation
        // would clamp them anyway, and the parameters written back must be
        // those of the evaluated point.
        clampToDomain(u, v);
        ActiveBounds active;
        if (uBounded) {
            if (std::fabs(u - umin) < uSnap) {
                u = umin;
                active.add(0);
            } else if (std::fabs(u - umax) < uSnap) {
                u = umax;
                active.add(1);
            }
        }
        if (vBounded) {
            if (std::fabs(v - vmin) < vSnap) {
                v = vmin;
                active.add(2);
            } else if (std::fabs(v - vmax) < vSnap) {
                v = vmax;
                active.add(3);
            }
        }
        const int limit = active.count == 0 ? maxIterations : 4 * maxIterations;

        // Parameter direction of a state-3 point, normalised so that the
        // projection below removes exactly the component along it.
        double nu = 0.0, nv = 0.0;
        if (fp.state == 3) {
            const double len = std::hypot(fp.dirU, fp.dirV);
            if (len > 0.0 && std::isfinite(len)) {
                nu = fp.dirU / len;
                nv = fp.dirV / len;
            }
        }

        double du = 0.0, dv = 0.0;
        double lambda = 1.0;
        // Infinity rather than a large constant: a first distance above any
        // fixed value must not start a line search on a zero step.
        double best = HUGE_VAL;
        int lastAdded = -1; // bound made active by the previous ratio test
        double f = 0.0;
        for (int iter = 0;; ++iter) {
            ++iterations;
            if (nu != 0.0 || nv != 0.0) {
                const double along = du * nu + dv * nv;
                du -= along * nu;
                dv -= along * nv;
            }
            const double pu = u;
            const double pv = v;
            u += lambda * du;
            v += lambda * dv;
            wrap(u, v);
            clampToDomain(u, v);
            f = squaredDistanceAt(u, v, true);
            // Uphill beyond rounding: a step that lands on the foot changes
            // the distance by less than its rounding and is taken.
            if (uphill(f, best) && lambda > 0.0) {
                // The step went uphill: back to the previous parameters, off
                // the bound the step was aimed at, and shorter steps, each
                // trial a distance only.
                if (lastAdded >= 0)
                    active.remove(lastAdded);
                do {
                    lambda *= 0.1;
                    u = pu + lambda * du;
                    v = pv + lambda * dv;
                    wrap(u, v);
                    clampToDomain(u, v);
                    f = squaredDistanceAt(u, v, false);
                } while (uphill(f, best) && lambda > 1e-16);
                // The derivatives of the point taken.
                f = squaredDistanceAt(u, v, true);
            }
            lastAdded = -1;
            best = f;

            double gu = dot3(r, Su);
            double gv = 0.0;
            double Huu = dot3(Su, Su) + (uCurvatureTerm ? dot3(r, Suu) : 0.0);
            double Huv = 0.0;
            double Hvv = 1.0;
            if (!curve) {
                const double n[3] = {Su[1] * Sv[2] - Su[2] * Sv[1], Su[2] * Sv[0] - Su[0] * Sv[2],
                                     Su[0] * Sv[1] - Su[1] * Sv[0]};
                fp.side = dot3(n, r) > 0.0 ? 1 : -1;
                gv = dot3(r, Sv);
                Huv = dot3(Su, Sv) + dot3(r, Suv);
                Hvv = dot3(Sv, Sv) + (vCurvatureTerm ? dot3(r, Svv) : 0.0);
            }

            // Newton direction in the coordinates no active bound holds.
            if (active.count == 0) {
                if (!solveSymmetric2x2(Huu, Huv, Hvv, gu, gv, du, dv)) {
                    du = gu; // singular: a gradient step
                    dv = gv;
                }
            } else if (active.count == 1) {
                const bool uHeld = active.list[0] < 2;
                const double g = uHeld ? gv : gu;
                const double h = uHeld ? Hvv : Huu;
                const double step = (h != 0.0 && std::isfinite(g / h)) ? g / h : g;
                du = uHeld ? 0.0 : step;
                dv = uHeld ? step : 0.0;
            } else {
                du = 0.0;
                dv = 0.0;
            }
            if (active.count == 0 && (nu != 0.0 || nv != 0.0)) {
                // A state-3 point moves along t, perpendicular to its
                // direction: the Newton step of the squared distance
                // restricted to that line. (The projection of the full
                // Newton step onto it need not even descend.)
                const double tu = -nv;
                const double tv = nu;
                const double gt = gu * tu + gv * tv;
                const double ht = tu * tu * Huu + 2.0 * tu * tv * Huv + tv * tv * Hvv;
                const double step = (ht > 0.0 && std::isfinite(gt / ht)) ? gt / ht : gt;
                du = step * tu;
                dv = step * tv;
            } else if (nu != 0.0 || nv != 0.0) {
                // Along an active bound: what is left across the direction,
                // so that the convergence test sees the step actually taken.
                const double along = du * nu + dv * nv;
                du -= along * nu;
                dv -= along * nv;
            }
            du = -du;
            dv = -dv;
            if (du * gu + dv * gv > 0.0) {
                // Not a descent direction (the Hessian is indefinite far from
                // the surface): turn every uphill component around.
                if (du * gu > 0.0)
                    du = -du;
                if (dv * gv > 0.0)
                    dv = -dv;
            }

            // Convergence: the step is negligible in the parameters (below
            // 1e-12) or moves the surface point by less than stepTolerance,
            // relative to the size of the model (so the test means the same
            // at any scale and reaches the rounding floor, where the test in
            // the parameters alone stops at about 1e-12).
            // (Compared squared: the larger of the two coordinate moves.)
            const double Luu = dot3(Su, Su);
            const double Lvv = curve ? 0.0 : dot3(Sv, Sv);
            const double moved2 = lambda * lambda * std::max(du * du * Luu, dv * dv * Lvv);
            bool done = false;
            bool ratioTest = true;
            if ((du * du + dv * dv) * lambda * lambda < 1e-24 ||
                moved2 < stepTolerance * stepTolerance) {
                if (active.count == 0) {
                    done = true;
                } else {
                    // Stationary on the active bounds: release the bound whose
                    // gradient points into the domain (a u bound before a v
                    // bound), with a Newton step along its coordinate.
                    int chosen = -1;
                    double cu = 0.0, cv = 0.0;
                    for (int k = 0; k < active.count; ++k) {
                        const int b = active.list[k];
                        if (b == 0 && gu < 0.0) {
                            chosen = 0;
                            cu = std::fabs(gu / Huu);
                            cv = 0.0;
                        } else if (b == 1 && gu > 0.0) {
                            chosen = 1;
                            cu = -std::fabs(gu / Huu);
                            cv = 0.0;
                        } else if (b == 2 && gv < 0.0 && chosen < 0) {
                            chosen = 2;
                            cu = 0.0;
                            cv = std::fabs(gv / Hvv);
                        } else if (b == 3 && gv > 0.0 && chosen < 0) {
                            chosen = 3;
                            cu = 0.0;
                            cv = -std::fabs(gv / Hvv);
                        }
                    }
                    ratioTest = false;
                    if (chosen >= 0 && std::isfinite(cu) && std::isfinite(cv)) {
                        active.remove(chosen);
                        du = cu;
                        dv = cv;
                        lambda = 1.0;
                    } else if (active.holdsU() && (curve || active.holdsV())) {
                        // Every coordinate is held and no bound wants to be
                        // released: a corner minimum (an end on a curve).
                        done = true;
                    } else {
                        // The coordinate left free is stationary when its
                        // gradient, or the Newton step it gives, is
                        // negligible (the latter independent of the scale),
                        // or when that step moves the point by less than
                        // stepTolerance.
                        const bool uHeld = active.list[0] < 2;
                        const double g = uHeld ? gv : gu;
                        const double h = uHeld ? Hvv : Huu;
                        const double LL = uHeld ? Lvv : Luu;
                        if (std::fabs(g) < 1e-12 || std::fabs(g) < 1e-12 * std::fabs(h) ||
                            g * g * LL < stepTolerance * stepTolerance * h * h)
                            done = true;
                    }
                }
            }

            if (ratioTest) {
                // Largest fraction of the step that stays in the domain; the
                // bound it reaches becomes active. A fraction of 0 counts: a
                // point on a released bound whose step leads outside stays put
                // and the bound holds it again.
                double fraction = 1.0;
                int reached = -1;
                for (int b = 0; b < 4; ++b) {
                    if (active.has(b) || (b < 2 && !uBounded) || (b >= 2 && !vBounded))
                        continue;
                    const double d = b < 2 ? du : dv;
                    if (std::fabs(d) <= 1e-12)
                        continue;
                    const double bound = b == 0 ? umin : b == 1 ? umax : b == 2 ? vmin : vmax;
                    const double here = b < 2 ? u : v;
                    const double t = (bound - here) / d;
                    if (t >= 0.0 && t <= fraction) {
                        fraction = t;
                        reached = b;
                    }
                }
                lambda = fraction;
                if (reached >= 0) {
                    active.add(reached);
                    lastAdded = reached;
                }
            }
            if (done && (du != 0.0 || dv != 0.0)) {
                // The last, negligible Newton step is still taken (the
                // distance only): it brings the parameters from about the
                // step's size to the rounding floor. It is kept unless it
                // goes uphill beyond rounding.
                const double step = ratioTest ? lambda : 1.0;
                double fu = u + step * du;
                double fv = v + step * dv;
                wrap(fu, fv);
                clampToDomain(fu, fv);
                const double ff = squaredDistanceAt(fu, fv, false);
                if (!uphill(ff, f)) {
                    u = fu;
                    v = fv;
                    f = ff;
                }
            }
            if (done || iter >= limit)
                break;
        }

        fp.dist2 = f;
        fp.uv[0] = u;
        fp.uv[1] = v;
        fp.uIndex = largestBasisIndex(*uKnots, u, nU);
        fp.vIndex = curve ? 0 : largestBasisIndex(*vKnots, v, nV);
        fp.boundary = 0;
        for (int k = 0; k < active.count; ++k)
            fp.boundary = active.list[k] + 1;
    }
    return iterations;
}

int NurbsSurf::invertPoints(IndexSubset<CFitPoint>& points, int resU, int resV, bool useGrid)
{
    if (points.array == nullptr || uKnots == nullptr || vKnots == nullptr)
        return 0;
    const bool curve = vKnots->n == 0;
    resU = std::max(resU, 1);
    resV = std::max(resV, 1);
    const double umin = getUMin();
    const double umax = getUMax();
    const double vmin = getVMin();
    const double vmax = getVMax();

    // Samples on a regular parameter grid, u running fastest. A curve needs
    // one row: every v gives the same point, and the first row would win.
    const int su = getUCount() * resU;
    const int sv = curve ? 1 : getVCount() * resV;
    CFitPointArray samples;
    samples.setCapacity(su * sv);
    Vector position(3);
    Vector params(2);
    for (int j = 0; j < sv; ++j) {
        const double s = static_cast<double>(j) / std::max(sv - 1, 1);
        params[1] = (1.0 - s) * vmin + s * vmax;
        for (int i = 0; i < su; ++i) {
            const double t = static_cast<double>(i) / std::max(su - 1, 1);
            params[0] = (1.0 - t) * umin + t * umax;
            evaluatePoint(position, params[0], params[1]);
            // Written into the array's own place (storage reserved above):
            // no temporary record to copy and free.
            CFitPoint& sample = samples.data[samples.count++];
            sample.Point = position;
            sample.uv = params;
        }
    }

    // Buckets of the samples: the own-bucket query of the grid start values,
    // and the search of the nearest sample overall (the first of equal
    // distances, as a scan of all samples would find it, but visiting only
    // the buckets around p).
    const CFitPointGrid sampleGrid(samples, 30, 30, 30);
    auto nearestSample = [&](const Vector& p) {
        int index = -1;
        sampleGrid.findNearestOverall(p, index);
        return std::max(index, 0);
    };
    auto takeParameters = [&](CFitPoint& fp, int sample) {
        if (fp.uv.n < 2)
            fp.uv.resize(2);
        fp.uv[0] = samples.data[sample].uv[0];
        fp.uv[1] = samples.data[sample].uv[1];
    };

    if (curve || !useGrid) {
        // Only the subset's points that may move are bucketed and receive
        // parameters: points outside the subset belong to other fits, and
        // points in state 2 carry parameters fixed by the caller.
        std::vector<int> owners;
        CFitPointArray moving;
        moving.setCapacity(points.count);
        for (int m = 0; m < points.count; ++m) {
            const CFitPoint& fp = points.at(m);
            if (fp.state == 2)
                continue;
            owners.push_back(points.indices[m]);
            moving.data[moving.count++].Point = fp.Point;
        }
        if (moving.count == 0)
            return 0;
        const std::array<Vector, 2> box = boundingBox(moving);
        const CFitPointGrid grid(moving, norm(box[1] - box[0]) / 45.0);
        Vector centre(3);
        std::vector<int> sampleOf(moving.count);
        for (int k = 0; k < grid.getCountZ(); ++k) {
            for (int j = 0; j < grid.getCountY(); ++j) {
                for (int i = 0; i < grid.getCountX(); ++i) {
                    const Kor::Array<int>& bucket = grid.bucketAt(i, j, k);
                    if (bucket.count == 0)
                        continue;
                    double sum[3] = {0.0, 0.0, 0.0};
                    for (int n = 0; n < bucket.count; ++n) {
                        const Vector& q = moving.data[bucket.data[n]].Point;
                        for (int c = 0; c < std::min(q.n, 3); ++c)
                            sum[c] += q.data[c];
                    }
                    for (int c = 0; c < 3; ++c)
                        centre[c] = sum[c] / static_cast<double>(bucket.count);
                    const int sample = nearestSample(centre);
                    for (int n = 0; n < bucket.count; ++n)
                        sampleOf[bucket.data[n]] = sample;
                }
            }
        }
        // Written in the order of the points, not of the buckets, so that
        // the writes walk the array instead of jumping about it.
        for (int n = 0; n < moving.count; ++n)
            takeParameters(points.array->data[owners[n]], sampleOf[n]);
        return moving.count;
    }

    int assigned = 0;
    int kept = 0;
    const int before = points.count;
    for (int m = 0; m < points.count; ++m) {
        CFitPoint& fp = points.at(m);
        bool found = false;
        int sample = -1;
        sampleGrid.findNearest(fp.Point, found, sample);
        if (fp.state == 2)
            continue; // fixed parameters: not a start value, and out of the subset
        if (!found)
            sample = nearestSample(fp.Point);
        takeParameters(fp, sample);
        ++assigned;
        // Points whose own bucket holds no sample lie away from the surface:
        // they keep the parameters found by the full search and leave the
        // subset; the order of the others is kept.
        if (found)
            points.indices[kept++] = points.indices[m];
    }
    points.count = kept;
    std::cout << "hits=" << assigned << " out of " << before << std::endl;
    return assigned;
}

void NurbsSurf::invertDirection(int direction)
{
    if (uKnots == nullptr || vKnots == nullptr)
        return;
    const bool curve = vKnots->n == 0;
    if (!curve && direction != 0 && direction != 1)
        return;
    const bool alongV = !curve && direction == 1;

    // The collapsed sides follow the rows and columns they name.
    if (degenerateSides.getCount() > 0) {
        std::vector<BoundaryPosition> sides;
        for (BoundaryPosition* side : degenerateSides) {
            if (side == nullptr)
                continue;
            BoundaryPosition s = *side;
            if (alongV && (s == uvSouth || s == uvNorth))
                s = s == uvSouth ? uvNorth : uvSouth;
            else if (!alongV && (s == uvWest || s == uvEast))
                s = s == uvWest ? uvEast : uvWest;
            sides.push_back(s);
        }
        degenerateSides.removeAll(false, true);
        for (BoundaryPosition s : sides)
            addDegenerateSide(s);
    }

    knots& k = alongV ? *vKnots : *uKnots;
    k.invert();
    const int nU = getUCount();
    const int nV = getVCount();
    if (nU * nV > controlNetSize)
        return;
    const int count = alongV ? nV : nU; // points along the reversed direction
    const int lines = alongV ? nU : nV; // rows (u) or columns (v) to reorder
    const bool cyclic = k.endCondition == knots::CyclicEnd;
    auto at = [&](int line, int pos) -> Vector& {
        return alongV ? controlNet[line + nU * pos] : controlNet[pos + nU * line];
    };
    std::vector<Vector> copy(cyclic ? count : 0);
    for (int line = 0; line < lines; ++line) {
        if (cyclic) {
            // The mirrored periodic basis function j is the old one of index
            // p - 1 - j (modulo the count).
            for (int j = 0; j < count; ++j)
                copy[j] = at(line, j);
            for (int j = 0; j < count; ++j) {
                int target = (k.p - j - 1) % count;
                if (target < 0)
                    target += count;
                at(line, target) = copy[j];
            }
        } else {
            for (int j = 0; j < count / 2; ++j)
                std::swap(at(line, j), at(line, count - 1 - j));
        }
    }
}

} // namespace Fenwo
