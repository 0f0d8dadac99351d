#include "fitting/RbfCorrection.h"

#include "curves/LeastSquaresFits.h"
#include "curves/SubCurves.h"
#include "foundation/Logging.h"
#include "foundation/PointSequence.h"
#include "foundation/Progress.h"
#include "foundation/Statistic.h"
#include "geometry/Constraint.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

bool isCancelled(CProgress* progress)
{
    return progress != nullptr && progress->isCancelled();
}

// The largest error of the points after refreshing their distances (one
// inversion step; points in state 2 keep their parameters).
double largestError(NurbsSurf& S, IndexSubset<CFitPoint>& pts)
{
    S.PointInversion(pts, 1);
    return fitErrorStatistics(pts, nullptr, nullptr, 0.0, 0).max;
}

void setInversionState(IndexSubset<CFitPoint>& pts, int state)
{
    for (int k = 0; k < pts.count; ++k)
        pts[k].state = state;
}

// The refinement puts knots into the spans of the fit points beyond the
// tolerance: the points are what the net grows for. Faces of scanned parts
// end within 16 control points a point (a bicubic patch's worth for each);
// a net of more than kControlPointsPerPoint follows a field that swings
// between its points (targets close together asking unlike moves, a wall
// no smooth surface follows), and its grid fits, square in the net's size,
// take minutes where they fail to converge. A net of up to kOpenNet control
// points (25 x 25, the largest a face's refinement starts from) is open to
// refinement however few the points.
constexpr int kControlPointsPerPoint = 32;
constexpr int kOpenNet = 625;

// Whether S's net has reached the size at which the interpolation to the
// given number of fit points stops refining it: (floor(nU / 2) nV) / 2 >=
// 5000 (about 20000 control points), or more than kControlPointsPerPoint
// control points a point beyond kOpenNet.
bool atNetBound(const NurbsSurf& S, int points)
{
    const int nU = S.getUCount(), nV = S.getVCount();
    const long long count = static_cast<long long>(nU) * nV;
    return (nU / 2 * nV) / 2 >= 5000 ||
           (count > kOpenNet && count > static_cast<long long>(kControlPointsPerPoint) * points);
}

// The debug dumps of a successful interpolation.
void writeInterpolationDumps(NurbsSurf& S, IndexSubset<CFitPoint>& pts)
{
    std::ofstream samples;
    if (openLogStream(samples, "c:/tmp/samplesuccess.mp")) {
        samples.precision(16);
        for (int k = 0; k < pts.count; ++k) {
            printFitPoint(samples, pts[k]);
            samples << '\n';
        }
    }
    std::ofstream result;
    if (openLogStream(result, "c:/tmp/InterpolateToResult.out")) {
        result.precision(16);
        S.write(result);
        result << '\n';
    }
}

// The grid's frame: the middle of its points' box and half its largest side
// (1 for points at one place).
void gridFrame(const CFitPointArray2D& grid, Vector& centre, double& half)
{
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int k = 0; k < grid.rows * grid.cols; ++k)
        for (int c = 0; c < 3; ++c) {
            low[c] = std::min(low[c], grid.items[k].Point[c]);
            high[c] = std::max(high[c], grid.items[k].Point[c]);
        }
    centre = Vector(0.5 * (low[0] + high[0]), 0.5 * (low[1] + high[1]), 0.5 * (low[2] + high[2]));
    half = 0.0;
    for (int c = 0; c < 3; ++c)
        half = std::max(half, 0.5 * (high[c] - low[c]));
    if (!(half > 0.0) || !std::isfinite(half))
        half = 1.0;
}

} // namespace

void raiseToCubic(NurbsSurf& S)
{
    for (int d = 0; d < 2; ++d) {
        const knots* k = d == 0 ? S.uKnots : S.vKnots;
        const int degree = k != nullptr ? k->p : 0;
        if (degree == 1 || degree == 2)
            for (int p = degree; p < 3; ++p)
                elevateCurveDegree(&S, d);
    }
}

void adoptKnotsAndNet(NurbsSurf& S, const NurbsSurf& T)
{
    if (&S == &T || T.uKnots == nullptr || T.vKnots == nullptr)
        return;
    // Constraints name control points by index: they stay meaningful only
    // while the net keeps its size.
    const bool sameNet = S.getUCount() == T.getUCount() && S.getVCount() == T.getVCount();
    delete S.uKnots;
    S.uKnots = new knots(*T.uKnots);
    delete S.vKnots;
    S.vKnots = new knots(*T.vKnots);
    if (!sameNet)
        S.constraints.deleteAll();
    S.allocateStorage();
    const int n = std::min(S.controlNetSize, T.controlNetSize);
    for (int k = 0; k < n; ++k)
        S.controlNet[k] = T.controlNet[k];
    S.rational = T.rational;
}

iPolScatteredData* harmonicRecompute(NurbsSurf& S, IndexSubset<CFitPoint>& pts, int kernelType,
                                     bool skipFlagged, CProgress* progress, double shape, double th,
                                     bool prepare)
{
    setInversionState(pts, 1);
    if (prepare) {
        if (isCancelled(progress))
            return nullptr;
        S.invertPoints(pts, 2, 2, false);
        S.PointInversion(pts, 20);
    }
    std::unique_ptr<iPolScatteredData> f(newScatteredDataRBF());
    f->setKernelType(kernelType);
    f->setShapeParameter(shape);

    const bool check = th > 0.0;
    CStatistic D;
    for (int k = 0; k < pts.count; ++k) {
        if (isCancelled(progress))
            return nullptr;
        const CFitPoint& fp = pts[k];
        if (skipFlagged && fp.boundary != 0)
            continue;
        const Vector p = S.getPoint(fp.uv[0], fp.uv[1]);
        const Vector d = fp.Point - p;
        if (check)
            D.add(norm(d));
        f->setSample(p, d);
    }
    if (skipFlagged)
        for (int k = pts.count - 1; k >= 0; --k)
            if (pts[k].boundary != 0)
                pts.removeAt(k);

    if (auto* rbf = dynamic_cast<iPolScatteredDataRBF*>(f.get()))
        rbf->progress = progress;
    f->recompute(false);

    if (kernelType != 0 && kernelType != 1 && kernelType != 2) {
        CStatistic R;
        for (int k = 0; k < pts.count; ++k) {
            const Vector p = S.getPoint(pts[k].uv[0], pts[k].uv[1]);
            R.add(norm(p + f->evaluate(p) - pts[k].Point));
        }
        std::cout << "type = " << kernelType << " repro Statistic=" << R << std::endl;
    }

    if (check) {
        // The field on the inner part of the domain, 4/18 .. 14/18 of each
        // direction, should not swing far beyond the displacements it was
        // built from.
        const Interval du = S.getDomain(0);
        const Interval dv = S.getDomain(1);
        CStatistic G;
        for (int a = 4; a <= 14; ++a)
            for (int b = 4; b <= 14; ++b) {
                const double s = a / 18.0, t = b / 18.0;
                const Vector p =
                    S.getPoint((1.0 - s) * du.min + s * du.max, (1.0 - t) * dv.min + t * dv.max);
                G.add(norm(f->evaluate(p)));
            }
        const double ratio = D.max / std::max(G.max, 2.2e-16);
        if (ratio < 1.0 / th && kernelType != 0) {
            std::cout << "harmonic recompute val=" << ratio << " th= " << 1.0 / th << std::endl;
            f.reset();
            return harmonicRecompute(S, pts, 0, skipFlagged, progress, -1.0, -1.0, true);
        }
    }
    if (isCancelled(progress))
        return nullptr;
    return f.release();
}

bool interpolateToTolerance(NurbsSurf& S, iPolScatteredData* rbf, double dTol,
                            IndexSubset<CFitPoint>& pts, CProgress* progress, bool applyField)
{
    if (rbf == nullptr)
        return false;
    raiseToCubic(S);
    // The displaced grid is always taken from the surface as it came in.
    NurbsSurf S0(S);
    double dMax = DBL_MAX;
    for (int pass = 0; pass < 16; ++pass) {
        Vector U, V;
        S.uKnots->getGrevilleAbscissae(U);
        S.vKnots->getGrevilleAbscissae(V);
        if (largestError(S, pts) < dTol && !(applyField && pass == 0))
            return true;

        CFitPointArray2D grid(U.n, V.n);
        if (progress != nullptr)
            progress->begin(0, U.n * V.n);
        for (int j = 0; j < V.n; ++j)
            for (int i = 0; i < U.n; ++i) {
                Vector q = S0.getPoint(U[i], V[j]);
                q += rbf->evaluate(q);
                CFitPoint& record = grid.at(i, j);
                record.Point = q;
                record.uv = Vector(2);
                record.uv[0] = U[i];
                record.uv[1] = V[j];
                if (progress != nullptr) {
                    progress->step(1);
                    if (progress->isCancelled())
                        return false;
                }
            }

        const int nU = S.getUCount();
        const int nV = S.getVCount();
        std::vector<double> W;
        if (S.isRational()) {
            W.resize(std::size_t(nU) * nV);
            Vector xyz;
            for (int j = 0; j < nV; ++j)
                for (int i = 0; i < nU; ++i)
                    S.getControlPointAndWeight(xyz, i, j, W[i + std::size_t(j) * nU]);
        }
        // The grid is fitted in its own frame: the fit's solve ends on bounds
        // in model units, which a model in metres reached with the surface
        // a share of the tolerance off its grid, and the correction took
        // another course than in millimetres.
        Vector centre;
        double half = 1.0;
        gridFrame(grid, centre, half);
        for (int k = 0; k < grid.rows * grid.cols; ++k)
            grid.items[k].Point = (1.0 / half) * (grid.items[k].Point - centre);
        std::unique_ptr<NurbsSurf> T(fitNurbsToPoints(grid, S.uKnots, S.vKnots,
                                                      nU * nV > 1000 ? progress : nullptr, false, 3,
                                                      3, W.empty() ? nullptr : W.data()));
        if (T == nullptr) {
            profileLog() << "interpolGrid failed" << std::endl;
            return false;
        }
        for (int j = 0; j < T->getVCount(); ++j)
            for (int i = 0; i < T->getUCount(); ++i) {
                Vector xyz;
                double w = 1.0;
                T->getControlPointAndWeight(xyz, i, j, w);
                T->setControlPoint(i, j, centre + half * xyz, w);
            }
        adoptKnotsAndNet(S, *T);

        dMax = largestError(S, pts);
        if (dMax < dTol)
            break;
        // The new knots keep S's shape. A net they would take to the bound
        // is not taken: S keeps the net it was fitted on, so that a caller
        // correcting S again (a heal's denser rounds) starts within the
        // bound as well, instead of growing the net by one more refinement
        // a call.
        const NurbsSurf fitted(S);
        if (!S.fixControlPoints(pts, dTol * 0.5, false, true, true, 7)) {
            refineKnots(&S, 0, 1, false);
            refineKnots(&S, 1, 1, false);
        }
        if (atNetBound(S, pts.count)) {
            adoptKnotsAndNet(S, fitted);
            break;
        }
    }
    if (dMax >= dTol) {
        profileLog() << "Interpolation failed dMax=" << dMax << " for dTol = " << dTol << std::endl;
        return false;
    }
    profileLog() << "interpolation success! dMax=" << dMax << " for Tol=" << dTol << std::endl;
    writeInterpolationDumps(S, pts);
    return true;
}

bool approximateToTolerance(const NurbsSurf& S, iPolScatteredData& rbf, NurbsSurf& T,
                            CProgress* progress)
{
    if (progress != nullptr)
        T.progress = progress;
    raiseToCubic(T);
    Vector U, V;
    T.uKnots->getGrevilleAbscissae(U);
    T.vKnots->getGrevilleAbscissae(V);
    U = refineValues(U, 1);
    V = refineValues(V, 1);

    NurbsSurf source(S); // evaluation writes the surface's tables
    CFitPointArray samples;
    samples.setCapacity(U.n * V.n);
    if (progress != nullptr)
        progress->begin(0, U.n * V.n);
    for (int j = 0; j < V.n; ++j)
        for (int i = 0; i < U.n; ++i) {
            const Vector p = source.getPoint(U[i], V[j]);
            Vector uv(2);
            uv[0] = U[i];
            uv[1] = V[j];
            samples.append(CFitPoint(p + rbf.evaluate(p), uv));
            if (progress != nullptr) {
                if (progress->isCancelled())
                    return false;
                progress->step(1);
            }
        }

    IndexSubset<CFitPoint> grid(samples);
    grid.selectAll();
    T.invalidateFitState();
    T.PointInversion(grid, 20);
    T.newtonApproximation(grid, 0, 3, false, true, 1, nullptr, 1.0, 0.0, -1.0);

    const CStatistic stat = fitErrorStatistics(grid, nullptr, nullptr, 0.0, 0);
    const double e =
        stat.count > 1 ? std::sqrt(stat.sumSquares / (stat.count - 1)) : stat.count - 1.0;
    profileLog() << "Max=" << stat.max << std::endl;
    if (e < 3.4028234663852886e+38) {
        profileLog() << "Approximation success!" << std::endl;
        return true;
    }
    return false;
}
