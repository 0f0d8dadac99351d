#include "fitting/RbfFitLoop.h"

#include "fitting/PointThinning.h"
#include "fitting/RbfCorrection.h"
#include "foundation/Logging.h"
#include "foundation/PointSequence.h"
#include "foundation/Progress.h"
#include "foundation/Statistic.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

using Fenwo::NurbsSurf;

namespace {

// The largest error of rbf3 before any change, in tolerances.
constexpr double kAbortFactor = 120.0;
// The closest two points of an imprint's field may lie, as a share of the
// diagonal of the points' box: points closer than that add nothing to the
// shape and make the field's system nearly singular. It follows the points'
// size, so that a point set in metres is imprinted as the same set in
// millimetres (0.1 on a face 20 millimetres across).
constexpr double kImprintSpacingShare = 0.005;
// Samples and spacing of a face's parameter look-up.
constexpr int kLookupSamples = 500;
constexpr double kLookupSpacing = 0.001;

void setInversionState(IndexSubset<CFitPoint>& pts, int state)
{
    for (int k = 0; k < pts.count; ++k)
        pts[k].state = state;
}

// Keeps in pts only the points whose boundary flag is 0, in order.
void keepInsidePoints(IndexSubset<CFitPoint>& pts)
{
    for (int k = pts.count - 1; k >= 0; --k)
        if (pts[k].boundary != 0)
            pts.removeAt(k);
}

} // namespace

bool rbf3(NurbsSurf& S, double dTol, IndexSubset<CFitPoint>& pts, int targetCount,
          CProgress* progress, int kernelType, bool alsoApproximate, bool skipFlagged,
          double minDist, double th, bool prepare)
{
    if (progress != nullptr && progress->isCancelled())
        return false;
    if (pts.count < 3)
        return true;
    if (targetCount != pts.count)
        selectThinnedSubset(pts, targetCount, minDist);
    std::unique_ptr<iPolScatteredData> f(
        harmonicRecompute(S, pts, kernelType, skipFlagged, progress, -1.0, th, prepare));
    if (f == nullptr)
        return false;

    const CStatistic stat = fitErrorStatistics(pts, nullptr, nullptr, 0.0, 0);
    if (pts.count < 3)
        return false;
    if (isLoggingEnabled())
        std::cout << "initial hStat=" << stat << " for dTol =" << dTol << std::endl;
    if (stat.max > kAbortFactor * dTol) {
        std::cout << "rbf3::error too large, abort" << std::endl;
        return false;
    }
    setInversionState(pts, 2);
    std::optional<NurbsSurf> S0;
    if (alsoApproximate)
        S0.emplace(S);
    const bool ok = interpolateToTolerance(S, f.get(), dTol, pts, progress);
    if (S0) {
        // The approximation moves the control points freely along the
        // surface; one that folds a net the interpolation left without
        // spikes is not kept.
        const NurbsSurf interpolated(S);
        approximateToTolerance(*S0, *f, S, progress);
        if (S.checkControlNetAngles() && !interpolated.checkControlNetAngles())
            adoptKnotsAndNet(S, interpolated);
    }
    S.updateBoundaryPositions();
    return ok;
}

bool imprintSurface(NurbsSurf& S, IndexSubset<CFitPoint>& pts, int kernelType, int nU, int nV,
                    int targetCount, bool reproject)
{
    if (nU < 1 || nV < 1)
        return false;
    targetCount = std::max(4, std::min(nU * nV, targetCount));
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int k = 0; k < pts.count; ++k)
        for (int d = 0; d < 3 && d < pts[k].Point.n; ++d) {
            lo[d] = std::min(lo[d], pts[k].Point[d]);
            hi[d] = std::max(hi[d], pts[k].Point[d]);
        }
    double diagonal = 0.0;
    for (int d = 0; d < 3; ++d)
        if (hi[d] > lo[d])
            diagonal += (hi[d] - lo[d]) * (hi[d] - lo[d]);
    IndexSubset<CFitPoint> thinned(pts);
    selectThinnedSubset(thinned, targetCount, kImprintSpacingShare * std::sqrt(diagonal));
    std::unique_ptr<iPolScatteredData> f(
        harmonicRecompute(S, thinned, kernelType, true, nullptr, -1.0, -1.0, true));
    if (f == nullptr || !f->isValid())
        return false;

    const knots u(nU, std::min(nU, 3), 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    const knots v(nV, std::min(nV, 3), 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    NurbsSurf T(u, &v);
    const Interval du = S.getDomain(0);
    const Interval dv = S.getDomain(1);
    for (int a = 0; a <= nU; ++a)
        for (int b = 0; b <= nV; ++b) {
            const double s = double(a) / nU, t = double(b) / nV;
            const Vector p =
                S.getPoint((1.0 - s) * du.min + s * du.max, (1.0 - t) * dv.min + t * dv.max);
            T.setControlPointPosition(a, b, p + f->evaluate(p));
        }
    f.reset();
    adoptKnotsAndNet(S, T);

    if (reproject) {
        setInversionState(pts, 1);
        S.invertPoints(pts, 2, 2, false);
        S.PointInversion(pts, 20);
        keepInsidePoints(pts);
    }
    std::ofstream dump;
    if (openLogStream(dump, "c:/tmp/imprint.out")) {
        S.write(dump);
        dump << '\n';
    }
    return true;
}

bool fitShapeToTestSet(NurbsSurf& S, double dTol, IndexSubset<CFitPoint>& testSet,
                       IndexSubset<CFitPoint>& shapeSet, int targetCount, CProgress* progress,
                       int kernelType, bool /*spare*/, bool skipFlagged, double minDist, double th,
                       bool prepare, bool applyField)
{
    if (testSet.count == 0)
        return true;
    selectThinnedSubset(testSet, targetCount, minDist);
    std::unique_ptr<iPolScatteredData> f(harmonicRecompute(S, testSet, kernelType, skipFlagged,
                                                           progress, minDist / 5.0, th, prepare));
    if (f == nullptr)
        return false;

    IndexSubset<CFitPoint> common = intersectSubsets(shapeSet, testSet);
    if (common.count == 0) {
        std::cout << "oops, testSet and shapeSet have nothing common." << std::endl;
        std::cout << "maybe the Surface is too small ? " << std::endl;
    }
    keepInsidePoints(common);
    setInversionState(common, 2);
    const bool result =
        common.count >= 2 && interpolateToTolerance(S, f.get(), dTol, common, progress, applyField);
    S.updateBoundaryPositions();
    return result;
}

iPolScatteredData* newParameterLookup(CParametricGeometry& S, const Kor::List<Vector>& uvSamples)
{
    CFitPointArray samples;
    samples.setCapacity(uvSamples.count);
    for (const Vector& uv : uvSamples) {
        if (uv.n < 2)
            continue;
        Vector params(2);
        params[0] = uv[0];
        params[1] = uv[1];
        samples.append(CFitPoint(S.getPoint(uv[0], uv[1]), params));
    }
    IndexSubset<CFitPoint> kept(samples);
    kept.selectAll();
    selectThinnedSubset(kept, kLookupSamples, kLookupSpacing);

    iPolScatteredData* lookup = newScatteredDataRBF();
    for (int k = 0; k < kept.count; ++k) {
        // The value carries a zero third entry: samples take 3-vectors only.
        const Vector value(kept[k].uv[0], kept[k].uv[1], 0.0);
        lookup->setSample(kept[k].Point, value);
    }
    lookup->setKernelType(0);
    lookup->recompute(false);
    return lookup;
}
