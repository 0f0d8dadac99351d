#include "curves/ReInterpolation.h"

#include "curves/CurveApproximation.h"
#include "curves/CurveInterpolation.h"
#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "curves/PolylineCurve.h"
#include "curves/PolylineToNurbs.h"
#include "curves/Projections.h"
#include "curves/SubCurves.h"
#include "foundation/Logging.h"
#include "foundation/PointSequence.h"
#include "foundation/Profiler.h"
#include "foundation/Progress.h"
#include "foundation/Sort.h"
#include "foundation/Statistic.h"
#include "geometry/NurbsSurf.h"
#include "platform/Diagnostics.h"
#include "platform/Uuid.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

// The chords a polynomial piece of a curve may take. One piece of a curve
// whose size dwarfs its tolerance (a bridge across a face with a corner
// at 4e12) asks for millions, and interpolating a few hundred of its samples
// takes a good part of a second under the sanitizers.
constexpr int kSampleChordsPerPiece = 250;
// The chords at which a piece's length and turning are measured, at least,
// and those of all pieces together, at least.
constexpr long kPieceEstimateChords = 8;
constexpr long kEstimateChords = 64;
// No curve is allowed more samples (a bound of the store, far beyond any
// curve a record can hold).
constexpr double kMaxAllowedSamples = 1 << 28;
// The curve evaluations the faceting of the first samples spends per sample
// allowed: a verification at 61 points, halved once. A curve that needs
// more (a fold its size estimate missed) is stepped evenly on and thinned.
constexpr long kFacetWorkPerSample = 128;

// The interior knot lines of the surface in direction dir (0: u), in the
// parameters its evaluation takes, ascending.
std::vector<double> knotLines(CParametricGeometry& surface, int dir)
{
    Kor::List<double> list;
    if (dir == 0)
        surface.getUBreakpoints(list, false);
    else
        surface.getVBreakpoints(list, false);
    const bool reversed = dir == 0 ? surface.isUReversed() : surface.isVReversed();
    const Interval d = surface.getDomain(dir);
    std::vector<double> lines;
    for (double x : list)
        lines.push_back(reversed ? d.min + d.max - x : x);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The knot lines of one direction, each counted once: the first span of a
// curve whose uv points reach across a line takes it.
class KnotLineCount {
public:
    explicit KnotLineCount(std::vector<double> values) : lines(std::move(values))
    {
        next.resize(lines.size() + 1);
        for (std::size_t i = 0; i < next.size(); ++i)
            next[i] = i;
    }
    // The lines strictly between lo and hi not taken before, taken now.
    long take(double lo, double hi)
    {
        if (!(lo < hi))
            return 0;
        const std::size_t first = std::upper_bound(lines.begin(), lines.end(), lo) - lines.begin();
        const std::size_t last = std::lower_bound(lines.begin(), lines.end(), hi) - lines.begin();
        long taken = 0;
        for (std::size_t i = untaken(first); i < last; i = untaken(i + 1)) {
            next[i] = i + 1;
            ++taken;
        }
        return taken;
    }
    bool empty() const { return lines.empty(); }

private:
    // The first line from i on not taken yet (lines.size() when none).
    std::size_t untaken(std::size_t i)
    {
        std::size_t root = i;
        while (next[root] != root)
            root = next[root];
        while (next[i] != root) {
            const std::size_t up = next[i];
            next[i] = root;
            i = up;
        }
        return root;
    }

    std::vector<double> lines;
    std::vector<std::size_t> next;
};

// Steps the sink (when given); true when it asks to stop.
bool cancelled(CProgress* progress)
{
    if (progress == nullptr)
        return false;
    progress->step(0);
    return progress->isCancelled();
}

CFitPoint samplePoint(CParametricGeometry* curve, double t)
{
    Vector uv(2);
    uv[0] = t;
    return CFitPoint(curve->getPoint(t, 0.0), uv);
}

void writeCurveLog(const char* name, const CParametricGeometry* curve)
{
    std::ofstream out;
    if (curve != nullptr && openLogStream(out, name)) {
        out.precision(16);
        curve->write(out);
        out << '\n';
    }
}

void writeFitPointLog(const IndexSubset<CFitPoint>& points)
{
    std::ofstream out;
    if (!openLogStream(out, "c:/tmp/ipol-mp.mp"))
        return;
    for (int i = 0; i < points.count; ++i) {
        printFitPoint(out, points[i]);
        out << '\n';
    }
}

// The curve interpolated through its points at the distinct values of g
// that lie in its domain.
NurbsSurf* interpolateAtGreville(CParametricGeometry* curve, const knots& k, int degree)
{
    Vector g;
    k.getGrevilleAbscissae(g);
    const Interval domain = curve->getDomain(0);
    // An abscissa that rounding puts just past an end of the domain is that
    // end: dropping it would leave the curve's end out of the interpolant.
    const double slack = 1e-12 * (domain.max - domain.min);
    std::vector<double> values;
    for (int i = 0; i < g.n; ++i)
        if (g[i] >= domain.min - slack && g[i] <= domain.max + slack)
            values.push_back(std::clamp(g[i], domain.min, domain.max));
    int n = sortUnique(values.data(), static_cast<int>(values.size()));
    const bool closed = curve->isClosed();
    // The cyclic interpolant closes through the first point itself: a
    // repeated end point would leave a span of zero length.
    if (closed && n > 2)
        --n;
    CFitPointArray points;
    for (int i = 0; i < n; ++i)
        points.append(samplePoint(curve, values[i]));
    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    return interpolateCurve(all, 2, degree, true, closed);
}

} // namespace

NurbsSurf* reInterpolate(CParametricGeometry* curve, double tol, int degree, bool check,
                         CProgress* progress, ReInterpolationRecord* record)
{
    if (curve == nullptr || cancelled(progress))
        return nullptr;
    CSimpleProfiler profiler("reInterpolate");
    const int furtherPasses = check ? 5 : 0;
    const bool closed = curve->isClosed();
    // The samples are taken at twice the tolerance. Each pass interpolates
    // all of them: the samples a curve is allowed bound the work by the
    // pieces it is made of.
    const SampleAllowance allowance = sampleAllowance(*curve, 2.0 * tol);
    const int maxSamples = allowance.samples;
    tol = 0.5 * allowance.tol;

    Kor::List<double> params;
    curve->facetCurve(params, 2.0 * tol, true, 10000, false, false, -1.0,
                      kFacetWorkPerSample * maxSamples);
    if (closed && params.count > 2 &&
        norm(curve->getPoint(params[0], 0.0) - curve->getPoint(params[params.count - 1], 0.0)) <
            2.0 * tol)
        params.removeAt(params.count - 1);
    // A curve whose turning the estimate missed (a fold or a cusp between
    // its estimate's points) is thinned evenly to the allowance, its ends
    // kept.
    thinParameters(params, maxSamples);
    CFitPointArray points;
    for (double t : params)
        points.append(samplePoint(curve, t));

    std::unique_ptr<NurbsSurf> kept;
    double keptMax = DBL_MAX;
    double best = DBL_MAX;
    int interpolations = 0, passes = 0;
    for (int pass = 0;; ++pass) {
        CStatistic stat;
        std::set<int> marked;
        IndexSubset<CFitPoint> all(points);
        all.selectAll();
        if (cancelled(progress))
            return nullptr;
        ++passes;
        ++interpolations;
        std::unique_ptr<NurbsSurf> c(interpolateCurve(all, 2, degree, true, closed));
        writeFitPointLog(all);
        if (cancelled(progress))
            return nullptr;
        if (c == nullptr) {
            if (isLoggingEnabled()) {
                const Platform::SideIdScope sideIds; // the dump's curve
                std::unique_ptr<NurbsSurf> polyline(makePolylineCurve(curve, params));
                writeCurveLog("c:/tmp/result-useBaseCurve-fail.out", polyline.get());
            }
            ++interpolations;
            c.reset(interpolateCurve(all, 2, degree, false, closed));
            if (c == nullptr)
                return kept.release();
        }
        if (check) {
            for (int i = 1; i < points.count; ++i)
                for (int j = 1; j <= degree; ++j) {
                    const double a = double(j) / (degree + 1);
                    const double t = (1.0 - a) * params[i - 1] + a * params[i];
                    double tc = (1.0 - a) * points[i - 1].uv[0] + a * points[i].uv[0];
                    const double d = projectPointOnCurve(c.get(), curve->getPoint(t, 0.0), tc);
                    if (d > tol)
                        for (int k = i - 1; k <= i + 1; ++k)
                            if (k >= 0 && k <= points.count - 2)
                                marked.insert(k);
                    stat.add(d);
                }
        }
        const double mean = stat.count > 0 ? stat.sum / stat.count : DBL_MAX;
        if (mean <= best) {
            kept = std::move(c);
            keptMax = stat.count > 0 ? stat.max : DBL_MAX;
        }
        int shift = 0;
        for (int k : marked) {
            const int at = k + shift;
            if (at + 1 >= params.count || params.count >= maxSamples)
                continue;
            const double t = 0.5 * (params[at] + params[at + 1]);
            params.insertAfter(t, at);
            insertAfter(points, samplePoint(curve, t), at);
            ++shift;
        }
        best = std::min(best, mean);
        if (shift == 0 || pass >= furtherPasses || !(mean < 10.0 * best))
            break;
    }
    if (record != nullptr) {
        record->passes = passes;
        record->interpolations = interpolations;
    }

    NurbsSurf* result = nullptr;
    if (kept != nullptr && (!check || tol > keptMax)) {
        if (record != nullptr && points.count == params.count)
            for (int i = 0; i < params.count; ++i) {
                record->parameters.append(params[i]);
                record->curveParameters.append(points[i].uv[0]);
            }
        result = kept.release();
    } else if (points.count < 1000) {
        CurveApproximationSettings settings;
        settings.samplesPerInterval = degree;
        result = approximateCurveWithLengthCheck(curve, tol, settings, check, nullptr, progress);
        writeCurveLog("c:/tmp/reApprox.out", result);
    } else {
        result = kept.release();
    }
    profileLog() << profiler << std::endl;
    return result;
}

SampleAllowance sampleAllowance(CParametricGeometry& curve, double tol)
{
    const SampleAllowance unmeasured{tol, kSampleChordsPerPiece};
    const Interval domain = curve.getDomain(0);
    Kor::List<double> breaks;
    curve.getUBreakpoints(breaks, false);
    std::vector<double> ends{domain.min};
    for (double b : breaks)
        if (b > domain.min && b < domain.max)
            ends.push_back(b);
    std::sort(ends.begin(), ends.end());
    ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
    if (domain.max > ends.back() || ends.size() == 1)
        ends.push_back(domain.max);

    // A curve on a surface is a polynomial between the surface's knot lines
    // too: a span is cut once more for each line across it that no span
    // before it took, so that a curve has no more pieces than its spans and
    // the surface's lines together.
    auto* cons = dynamic_cast<CCONS*>(&curve);
    CParametricGeometry* uv = cons != nullptr ? cons->getUVCurve() : nullptr;
    const bool onSurface = uv != nullptr && cons->surface != nullptr;
    KnotLineCount lines[2] = {
        KnotLineCount(onSurface ? knotLines(*cons->surface, 0) : std::vector<double>()),
        KnotLineCount(onSurface ? knotLines(*cons->surface, 1) : std::vector<double>())};
    std::vector<double> cuts{ends[0]};
    for (std::size_t s = 1; s < ends.size(); ++s) {
        const double a = ends[s - 1], b = ends[s];
        long parts = 1;
        if (!lines[0].empty() || !lines[1].empty()) {
            double lo[2] = {DBL_MAX, DBL_MAX}, hi[2] = {-DBL_MAX, -DBL_MAX};
            for (int q = 0; q <= 4; ++q) {
                const Vector p = uv->getPoint(a + (b - a) * q / 4.0, 0.0);
                for (int k = 0; k < 2 && k < p.n; ++k) {
                    lo[k] = std::min(lo[k], p[k]);
                    hi[k] = std::max(hi[k], p[k]);
                }
            }
            for (int k = 0; k < 2; ++k)
                parts += lines[k].take(lo[k], hi[k]);
        }
        for (long j = 1; j < parts; ++j)
            cuts.push_back(a + (b - a) * double(j) / double(parts));
        cuts.push_back(b);
    }

    // T L / 8 from chords and tangents (the chords alone would miss a turn
    // made within the first of them): a chord c across an arc of radius r
    // keeps within c^2 / (8 r) of it, so a curve of length L turning by T
    // needs about sqrt(T L / (8 tol)) chords. The turn between two pieces
    // (a kink at a knot line of the surface) is the next piece's.
    const long pieces = long(cuts.size()) - 1;
    const long chords =
        std::max<long>(kPieceEstimateChords, (kEstimateChords + pieces - 1) / pieces);
    double sumOfRoots = 0.0, allowed = 0.0, length = 0.0, turning = 0.0;
    Vector previousPoint, previousTangent;
    for (long piece = 0; piece < pieces; ++piece) {
        const double a = cuts[std::size_t(piece)], b = cuts[std::size_t(piece) + 1];
        double pieceLength = 0.0, pieceTurning = 0.0;
        for (long i = piece == 0 ? 0 : 1; i <= chords; ++i) {
            const double s = double(i) / double(chords);
            Vector** d = curve.evaluate(1, (1.0 - s) * a + s * b, 0.0);
            if (d == nullptr)
                return unmeasured;
            const Vector& point = d[0][0];
            const Vector& tangent = d[1][0];
            if (previousPoint.n > 0)
                pieceLength += std::sqrt(squaredDistance(point, previousPoint));
            if (normSquared(tangent) > 0.0) {
                if (previousTangent.n > 0) {
                    const double c = dot(tangent, previousTangent) /
                                     std::sqrt(normSquared(tangent) * normSquared(previousTangent));
                    pieceTurning += std::acos(std::clamp(c, -1.0, 1.0));
                }
                previousTangent = tangent;
            }
            previousPoint = point;
        }
        length += pieceLength;
        turning += pieceTurning;
        const double root = std::sqrt(pieceTurning * pieceLength / 8.0);
        sumOfRoots += root;
        const double asked = root / std::sqrt(tol);
        allowed += std::isfinite(asked) ? std::min(2.0 * asked + 2.0, double(kSampleChordsPerPiece))
                                        : double(kSampleChordsPerPiece);
    }
    allowed = std::clamp(allowed, double(kSampleChordsPerPiece), double(kMaxAllowedSamples));
    SampleAllowance result{tol, int(allowed)};
    // The tolerance at which the pieces ask for the samples allowed in all,
    // and that at which the whole curve asks for 250 chords a piece; each
    // comparison is written so that it holds for a tolerance that is not
    // positive too.
    const double demands[2] = {sumOfRoots * sumOfRoots, turning * length / 8.0};
    const double caps[2] = {double(result.samples) * double(result.samples),
                            std::pow(double(kSampleChordsPerPiece) * double(pieces), 2.0)};
    for (int k = 0; k < 2; ++k)
        if (std::isfinite(demands[k]) && demands[k] > result.tol * caps[k])
            result.tol = demands[k] / caps[k];
    return result;
}

NurbsSurf* resampleAndReInterpolate(CParametricGeometry* curve, double tol, int degree, bool check)
{
    auto* cons = dynamic_cast<CCONS*>(curve);
    const NurbsSurf* uv = cons != nullptr ? asNurbsSurf(cons->getUVCurve()) : nullptr;
    if (uv != nullptr && uv->uKnots != nullptr)
        return interpolateAtGreville(curve, *uv->uKnots, degree);
    return reInterpolate(curve, tol, degree, check, nullptr, nullptr);
}

NurbsSurf* resampleAndInterpolate(NurbsSurf* curve, int degree)
{
    if (curve == nullptr || curve->uKnots == nullptr)
        return nullptr;
    return interpolateAtGreville(curve, *curve->uKnots, degree);
}

bool classifyIsoUVCurve(CParametricGeometry* uv, const NurbsSurf* surface, double& start,
                        double& end, int& code, double& fixedParameter)
{
    if (uv == nullptr || surface == nullptr)
        return false;
    const Vector s = uv->getStartPoint();
    double lo[2] = {s[0] - 4.4e-16, s[1] - 4.4e-16}, hi[2] = {s[0] + 4.4e-16, s[1] + 4.4e-16};
    const Interval d = uv->getDomain(0);
    for (int i = 1; i <= 10; ++i) {
        const Vector p = uv->getPoint(d.min + (d.max - d.min) * i / 10.0, 0.0);
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    const bool spansU = hi[0] - lo[0] >= 1e-8, spansV = hi[1] - lo[1] >= 1e-8;
    if (spansU && spansV)
        return false;
    const Vector e = uv->getEndPoint();
    const int k = spansU ? 1 : 0; // the constant coordinate
    fixedParameter = 0.5 * (lo[k] + hi[k]);
    start = s[1 - k];
    end = e[1 - k];
    const double max = spansU ? surface->getVMax() : surface->getUMax();
    code = (spansU ? 1 : 3) + (std::fabs(fixedParameter - max) < 1e-8 ? 1 : 0);
    return true;
}

bool dumpCurveToFile(const char* fileName, const CParametricGeometry* curve, bool append)
{
    if (fileName == nullptr || curve == nullptr)
        return false;
    std::ofstream out;
    if (!Platform::openDiagnosticsStream(out, fileName, append ? std::ios::app : std::ios::trunc))
        return false;
    out.precision(16);
    curve->write(out);
    out << '\n';
    return out.good();
}

NurbsSurf* CParCurve::reApproximateCurve(int degree, double tol, bool approximate)
{
    NurbsSurf* nurbs = asNurbsSurf(surface);
    if (uvCurve == nullptr || nurbs == nullptr)
        return nullptr;
    double start = 0.0, end = 0.0, fixed = 0.0;
    int code = 0;
    if (asNurbsSurf(uvCurve) != nullptr &&
        classifyIsoUVCurve(uvCurve, nurbs, start, end, code, fixed)) {
        const bool alongU = code <= 2;
        std::unique_ptr<NurbsSurf> iso(extractIsoCurve(nurbs, fixed, alongU ? 3 : 2));
        if (iso == nullptr)
            return nullptr;
        const Interval domain = nurbs->getDomain(alongU ? 0 : 1);
        const double whole[2] = {domain.min, domain.max};
        const double range[2] = {std::min(start, end), std::max(start, end)};
        if (!equalWithinEps2(whole, range)) {
            NurbsSurf* piece = getSubCurve(iso.get(), range[0], range[1]);
            if (piece == nullptr)
                return nullptr;
            iso.reset(piece);
        }
        if (start > end && !isUReversed())
            iso->invertDirection(0);
        return iso.release();
    }
    if (!approximate)
        return reInterpolate(this, tol, degree, true, nullptr, nullptr);

    Kor::List<double> params;
    facetCurve(params, chordToleranceWithin(*this, tol, 2000), false, 2000, false, false, -1.0);
    const bool closed = isClosed();
    CFitPointArray points;
    auto addSample = [&](double t) {
        CFitPoint fp = samplePoint(this, t);
        fp.Tangent = getTangent(t);
        points.append(fp);
    };
    for (int i = 1; i < params.count; ++i)
        for (int k = 0; k < 3; ++k)
            addSample((1.0 - k / 3.0) * params[i - 1] + (k / 3.0) * params[i]);
    if (!closed && params.count > 0)
        addSample(params[params.count - 1]);
    // The fit rewrites uv[0] with the parameter on the result; the tangent
    // test needs the parameter on this curve.
    std::vector<double> own;
    for (const CFitPoint& fp : points)
        own.push_back(fp.uv[0]);
    // polyLineToNurbs thins the samples at 25 times the tolerance it is given
    // before it fits: handed tol itself, its control polygon keeps too few
    // vertices and the curve misses tol many times over on a bent line. A
    // fifteenth of tol, as the curve approximation uses, thins at about
    // 1.7 tol, which leaves the fit enough control points to follow.
    // On a strongly bent line even that can stay above tol at coarse
    // tolerances; the fit is then repeated on the same samples at a quarter
    // of its tolerance, a few times at most, and the closest one is kept.
    const CFitPointArray samples = points;
    auto worstOf = [](const CFitPointArray& fitted) {
        double worst = 0.0;
        for (const CFitPoint& fp : fitted)
            worst = std::max(worst, fp.dist2);
        return std::sqrt(worst);
    };
    NurbsSurf* result = nullptr;
    double fitTol = std::clamp(tol / 15.0, 0.0, 0.5), reached = 0.0;
    for (int attempt = 0; attempt < 4; ++attempt, fitTol *= 0.25) {
        CFitPointArray trial = samples;
        NurbsSurf* fitted = polyLineToNurbs(trial, closed, fitTol, degree, true);
        if (fitted == nullptr)
            break;
        const double worst = worstOf(trial);
        if (result == nullptr || worst < reached) {
            delete result;
            result = fitted;
            points = trial;
            reached = worst;
        } else {
            delete fitted;
        }
        if (reached <= tol)
            break;
    }
    if (result == nullptr)
        return nullptr;

    IndexSubset<CFitPoint> all(points);
    all.selectAll();
    std::cout << "dTol=" << tol << std::endl;
    std::cout << " Positional Error:" << std::endl;
    std::cout << fitErrorStatistics(all, nullptr, "", 0.0, 0) << std::endl;
    CStatistic angles;
    for (int i = 0; i < points.count; ++i) {
        const double c = std::clamp(
            cosineBetween(getTangent(own[i]), result->getTangent(points[i].uv[0])), -1.0, 1.0);
        double angle = std::acos(c);
        if (angle > M_PI / 2)
            angle = M_PI - angle;
        angles.add(angle * 57.29577951308232);
    }
    std::cout << "tangent statistic = " << angles << std::endl;
    return result;
}
