#include "curves/EdgeFitting.h"

#include "curves/ArcLength.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "foundation/Logging.h"
#include "foundation/Statistic.h"
#include "geometry/NurbsSurf.h"
#include "platform/Diagnostics.h"

#include <cfloat>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>

using Fenwo::NurbsSurf;

namespace {

// Sample parameters of an edge: its distinct knots with k values between
// each two.
Vector edgeSamples(const NurbsSurf& edge, int k)
{
    Vector breaks;
    edge.uKnots->getBreakpoints(breaks, 1);
    return refineValues(breaks, k);
}

// The start on the curve of a walk along the edge from the edge point p.
double walkStart(CParametricGeometry& curve, const Vector& p)
{
    double t = curve.getUMin();
    startParameterOnCurve(curve, p, t);
    return t;
}

// Distance of the edge point at s from the curve, its foot found from t
// (updated). Where the edge and the curve run against each other there, the
// walk has jumped to another branch: start afresh from the facets.
float projectAlong(CParametricGeometry& curve, NurbsSurf& edge, double s, const Vector& p,
                   double& t)
{
    float d = projectPointOnCurve(&curve, p, t);
    if (dot(edge.getTangent(s), curve.getTangent(t)) < 0.0) {
        startParameterOnCurve(curve, p, t);
        d = projectPointOnCurve(&curve, p, t);
    }
    return d;
}

// The midpoints of the spans, ascending, inserted once each into the edge's
// u knots and appended to the knot list.
void insertSpanMidpoints(NurbsSurf& edge, const std::set<int>& spans, Kor::List<double>* knotList)
{
    Kor::List<double> values;
    for (int k : spans)
        values.append(0.5 * edge.uKnots->valueAt(k) + 0.5 * edge.uKnots->valueAt(k + 1));
    for (double value : values) {
        edge.insertKnots(value, 1, 0);
        if (knotList != nullptr)
            knotList->append(value);
    }
}

int spanOf(const NurbsSurf& edge, double s)
{
    return edge.uKnots->clampToKnots(s);
}

bool isHealthyCurve(const NurbsSurf* c)
{
    return c != nullptr && c->valid && c->uKnots != nullptr && c->uKnots->isHealthy &&
           c->vKnots != nullptr && c->vKnots->isHealthy && c->controlNet != nullptr;
}

// The edge point at each fit point's parameter, one fit point per line.
void writeFitPoints(std::ostream& os, const Kor::Array<CFitPoint>& points)
{
    for (const CFitPoint& fp : points) {
        printFitPoint(os, fp);
        os << '\n';
    }
}

void writeSolutions(std::ostream& os, const NurbsSurf& edge, const NurbsSurf* best)
{
    os.precision(16);
    edge.write(os);
    os << '\n';
    if (best != nullptr)
        best->write(os);
    os << '\n';
}

} // namespace

bool tearToCurves(NurbsSurf*& edge, CParametricGeometry& curve, double tol,
                  Kor::List<double>* knotList, bool useNewton, bool trackBest, bool reparametrize,
                  bool fixEnds, bool checkLength, int nuMax)
{
    Interval matched;
    const bool fitted = useNewton ? tearToCurve(edge, curve, tol, matched, knotList, trackBest,
                                                reparametrize, fixEnds, nuMax)
                                  : tearToCurveInterpolate(edge, curve, tol, knotList);
    if (!checkLength || !(matched.getLength() >= 2.2e-15))
        return fitted;
    const double L = curveLengthBetween(curve, matched.min, matched.max);
    const double E = edge->getLength();
    if (E < 0.85 * L || E > 1.15 * L) {
        std::cout << "Length of Curves (tier to Curve) do not match." << L << ' ' << E << std::endl;
        return false;
    }
    return fitted;
}

bool tearToCurveInterpolate(NurbsSurf*& edge, CParametricGeometry& curve, double tol,
                            Kor::List<double>* knotList)
{
    if (edge == nullptr || edge->uKnots == nullptr)
        return false;
    const double t0 = walkStart(curve, edge->getStartPoint());
    for (int pass = 0; pass <= 10; ++pass) {
        CStatistic stat;
        std::set<int> spans;
        const Vector S = edgeSamples(*edge, edge->uKnots->p);
        double t = t0;
        for (int i = 0; i < S.n; ++i) {
            const float d = projectPointOnCurve(&curve, edge->getPoint(S[i], 0.0), t);
            stat.add(d);
            if (pass > 0 && d > 1.2 * tol)
                spans.insert(spanOf(*edge, S[i]));
        }
        if (stat.max < tol || (pass > 0 && spans.empty()))
            return true;
        if (pass < 10)
            insertSpanMidpoints(*edge, spans, knotList);

        // Re-interpolate through the feet of the Greville points.
        Vector G;
        edge->uKnots->getGrevilleAbscissae(G);
        CFitPointArray feet;
        t = t0;
        for (int i = 0; i < G.n; ++i) {
            projectPointOnCurve(&curve, edge->getPoint(G[i], 0.0), t);
            Vector uv(2);
            uv[0] = G[i];
            feet.append(CFitPoint(curve.getPoint(t, 0.0), uv));
        }
        IndexSubset<CFitPoint> all(feet);
        all.selectAll();
        std::unique_ptr<NurbsSurf> fresh(interpolateWithKnots(*edge->uKnots, all));
        if (isHealthyCurve(fresh.get())) {
            const int count = std::min(edge->getUCount(), fresh->getUCount());
            for (int i = 0; i < count; ++i)
                edge->setHomogeneousControlPoint(i, 0, fresh->controlPointAt(i, 0));
        } else {
            std::cout << "Interpolation to a new curve failed." << std::endl;
        }
    }
    return false;
}

bool tearToCurve(NurbsSurf*& edge, CParametricGeometry& curve, double tol, Interval& matchedRange,
                 Kor::List<double>* knotList, bool trackBest, bool reparametrize, bool fixEnds,
                 int nuMax)
{
    if (edge == nullptr || edge->uKnots == nullptr)
        return false;
    std::unique_ptr<NurbsSurf> best;
    CStatistic bestStat;
    Kor::List<double> savedKnots;
    auto restoreBest = [&]() {
        if (best != nullptr)
            edge->copyFrom(*best);
        if (knotList != nullptr)
            *knotList = savedKnots;
    };
    auto saveBest = [&](const CStatistic& stat) {
        best = std::make_unique<NurbsSurf>(*edge);
        bestStat = stat;
        if (knotList != nullptr)
            savedKnots = *knotList;
    };
    auto meanOf = [](const CStatistic& s) { return s.count > 0 ? s.mean() : DBL_MAX; };
    const bool surfaceEdge = edge->isSurface();

    for (int pass = 0; pass <= 6; ++pass) {
        CStatistic stat;
        const int p = edge->uKnots->p;
        if (reparametrize && edge->uKnots->n > p) {
            const Interval domain(edge->getUMin(), edge->getUMax());
            edge->reparametrizeU(new knots(edge->getUCount() - 1, p, domain.min, domain.max,
                                           edge->uKnots->endCondition, knots::Uniform));
        }

        // Feet of the edge's samples on the curve.
        const Vector S = edgeSamples(*edge, 4 * p);
        double t = curve.getUMin();
        matchedRange = Interval(t - 4.4e-16, t + 4.4e-16);
        CFitPointArray points;
        points.setCapacity(S.n);
        for (int i = 0; i < S.n; ++i) {
            const float d = projectAlong(curve, *edge, S[i], edge->getPoint(S[i], 0.0), t);
            stat.add(d);
            matchedRange = Interval(std::min(matchedRange.min, t), std::max(matchedRange.max, t));
            Vector uv(2);
            uv[0] = S[i];
            CFitPoint& fp = points[points.append(CFitPoint(curve.getPoint(t, 0.0), uv))];
            if (surfaceEdge) {
                // The edge is the side v = 0 of a surface: its fit points
                // may only slide along u, across the direction (0, 1).
                fp.dirU = 0.0;
                fp.dirV = 1.0;
                fp.state = 3;
            }
        }
        if (isEdgeWithinTolerance(curve, *edge, 1.2 * tol, points))
            return true;
        std::cout << "approx on " << edge->getUCount() << " ctrlpts Max dev=" << stat.max
                  << std::endl;

        if (edge->getUCount() > nuMax) {
            std::cout << "nuMax reached. terminating." << std::endl;
            std::ofstream mp, out;
            if (Platform::openDiagnosticsStream(mp, "c:/tmp/tearToCurvenu.mp"))
                writeFitPoints(mp, points);
            if (Platform::openDiagnosticsStream(out, "c:/tmp/solutionsnu.out"))
                writeSolutions(out, *edge, best.get());
            restoreBest();
            return false;
        }
        if (best == nullptr)
            saveBest(stat);

        // Newton fit of the edge to the feet.
        IndexSubset<CFitPoint> all(points);
        all.selectAll();
        edge->PointInversion(all, 20);
        edge->dampSteps = 1;
        edge->stepLimit = 5.0;
        if (fixEnds && !edge->isClosed()) {
            edge->addFixedPointConstraint(0, 0);
            edge->addFixedPointConstraint(edge->getUCount() - 1, 0);
        }
        edge->buildSparseSystem();
        edge->newtonApproximation(all, 0, surfaceEdge ? 25 : 5, false, true, 1, nullptr, 1.0, 0.0,
                                  -1.0);

        stat = CStatistic();
        std::set<int> spans;
        for (const CFitPoint& fp : points) {
            if (fp.dist2 > 4.0 * tol * tol)
                spans.insert(spanOf(*edge, fp.uv[0]));
            stat.add(std::sqrt(fp.dist2));
        }
        if (stat.max > tol && spans.empty())
            for (const CFitPoint& fp : points)
                if (fp.dist2 > tol * tol)
                    spans.insert(spanOf(*edge, fp.uv[0]));
        if (!trackBest)
            return false;

        if (stat.max < bestStat.max) {
            saveBest(stat);
        } else if (stat.max > 1.5 * bestStat.max && meanOf(stat) > 1.5 * meanOf(bestStat)) {
            std::cout << "emergency break in tear to Curve, error is increasing . max="
                      << bestStat.max << " mean= " << meanOf(bestStat) << " tol = " << tol
                      << std::endl;
            std::ofstream mp, out;
            if (openLogStream(mp, "c:/tmp/tearToCurve0inc.mp"))
                writeFitPoints(mp, points);
            if (openLogStream(out, "c:/tmp/solutions.out"))
                writeSolutions(out, *edge, best.get());
            restoreBest();
            return false;
        }
        if (pass < 6 && stat.max > tol)
            insertSpanMidpoints(*edge, spans, knotList);
        if (pass == 6) {
            restoreBest();
            return isEdgeWithinTolerance(curve, *edge, 1.2 * tol, points);
        }
    }
    return false;
}

bool isEdgeWithinTolerance(CParametricGeometry& curve, NurbsSurf& edge, double tol,
                           const Kor::Array<CFitPoint>& fitPoints)
{
    if (fitPoints.count < 2)
        return true;
    double t = walkStart(curve, edge.getStartPoint());
    for (int k = 1; k < fitPoints.count; ++k) {
        const double a = fitPoints[k - 1].uv[0];
        const double b = fitPoints[k].uv[0];
        for (int m = 1; m <= 5; ++m) {
            const double s = (1.0 - m / 6.0) * a + (m / 6.0) * b;
            if (projectAlong(curve, edge, s, edge.getPoint(s, 0.0), t) > tol)
                return false;
        }
    }
    return true;
}
