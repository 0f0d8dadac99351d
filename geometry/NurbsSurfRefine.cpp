// Knot refinement and control-point fixing between the least-squares fits of
// a NurbsSurf: knots go into the spans whose fit points are worst
// approximated, and control points that the data cannot or need not move are
// frozen by fixed single-control-point constraints.
//
// Fit points are sorted into cells (CSegmentInfo per knot span,
// CCtrlPtInfo per control-point region) that index the caller's fit-point
// array without owning it.

#include "foundation/PointSequence.h"
#include "geometry/FitRecords.h"
#include "geometry/IJConstraints.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

namespace Fenwo {

namespace {

// A span whose worst point exceeds the tolerance: its largest squared error
// and the parameter of its midpoint.
struct KnotCandidate {
    double error;
    double midpoint;
};

// Parameters of a fit point; false when it has none. A point of a curve may
// carry only u; v is then the start of the v domain.
bool fitPointParameters(const CFitPoint& fp, const knots* vK, double& u, double& v)
{
    if (fp.uv.empty())
        return false;
    u = fp.uv[0];
    v = fp.uv.size() > 1 ? fp.uv[1] : (vK != nullptr ? vK->t0 : 0.0);
    return true;
}

// Cell of t among the n - p + 1 knot spans of k.
int spanCell(const knots& k, double t)
{
    const int span = k.clampToKnots(t);
    return std::clamp(span - k.p, 0, std::max(k.n - k.p, 0));
}

// Boundaries B[0..count] of the parameter regions of the count control
// points of k: region i runs from the midpoint between Greville abscissae
// i - 1 and i to that between i and i + 1; the first and last regions reach
// the first and last abscissa. On a cyclic vector the regions wrap, so
// B[count] = B[0] + period.
std::vector<double> controlPointRegions(const knots& k, int count)
{
    Vector g;
    k.getGrevilleAbscissae(g);
    std::vector<double> B(static_cast<size_t>(count) + 1, 0.0);
    if (count <= 0 || g.size() < count)
        return B;
    for (int i = 1; i < count; ++i)
        B[i] = 0.5 * (g[i - 1] + g[i]);
    if (k.endCondition == knots::CyclicEnd) {
        const double period = k.t1 - k.t0;
        B[0] = 0.5 * (g[count - 1] - period + g[0]);
        B[count] = B[0] + period;
    } else {
        B[0] = g[0];
        B[count] = g[count - 1];
    }
    return B;
}

// Control-point region of t (0 .. B.size() - 2). Parameters outside the
// outer boundaries fall into the outer regions, or wrap on a cyclic vector.
int regionOf(const std::vector<double>& B, bool cyclic, double t)
{
    const int count = static_cast<int>(B.size()) - 1;
    if (count <= 1)
        return 0;
    if (cyclic) {
        const double period = B[count] - B[0];
        if (period > 0.0) {
            t = B[0] + std::fmod(t - B[0], period);
            if (t < B[0])
                t += period;
        }
    }
    const auto inner = std::upper_bound(B.begin() + 1, B.begin() + count, t);
    return static_cast<int>(inner - (B.begin() + 1));
}

// Inserts the midpoints of the worst candidates, largest error first, at
// most maxNewKnots of them; returns the number of knots inserted.
int insertWorstMidpoints(NurbsSurf& surf, std::vector<KnotCandidate>& candidates, int maxNewKnots,
                         int direction)
{
    // Candidates of equal error all stay: symmetric data gives equal errors
    // in different spans, and each of them deserves its knot.
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const KnotCandidate& a, const KnotCandidate& b) { return a.error > b.error; });
    const int count = std::min(static_cast<int>(candidates.size()), std::max(maxNewKnots, 0));
    int inserted = 0;
    for (int k = 0; k < count; ++k)
        inserted += surf.insertKnots(candidates[k].midpoint, 1, direction);
    candidates.clear();
    return inserted;
}

} // namespace

bool NurbsSurf::fixControlPoints(const IndexSubset<CFitPoint>& pts, double tol, bool fixMode,
                                 bool refineU, bool refineV, int maxNewKnots)
{
    const double tol2 = tol * tol;
    const Kor::Array<CFitPoint>* fitArray = pts.array;

    if (!fixMode) {
        if (uKnots == nullptr || vKnots == nullptr || fitArray == nullptr)
            return false;
        const int columns = std::max(uKnots->n - uKnots->p + 1, 1);
        const int rows = std::max(vKnots->n - vKnots->p + 1, 1);
        CInfoGrid<CSegmentInfo> spans(rows, columns);
        for (int k = 0; k < pts.count; ++k) {
            double u, v;
            if (!fitPointParameters(pts.at(k), vKnots, u, v))
                continue;
            CSegmentInfo& cell = spans.at(spanCell(*vKnots, v), spanCell(*uKnots, u));
            cell.array = pts.array;
            cell.append(pts.indices[k]);
        }
        // Worst error of every span column (u) and row (v); the v spans do not
        // change when u knots are inserted, so one sorting serves both.
        std::vector<double> columnError(columns, -1.0);
        std::vector<double> rowError(rows, -1.0);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c) {
                const CSegmentInfo& cell = spans.at(r, c);
                for (int k = 0; k < cell.count; ++k) {
                    const double e = fitArray->data[cell.indices[k]].dist2;
                    columnError[c] = std::max(columnError[c], e);
                    rowError[r] = std::max(rowError[r], e);
                }
            }

        int inserted = 0;
        std::vector<KnotCandidate> candidates;
        if (refineU) {
            const int p = uKnots->p;
            for (int c = 0; c < columns; ++c)
                if (columnError[c] > tol2)
                    candidates.push_back(
                        {columnError[c], 0.5 * uKnots->getUnrolledKnot(p + c) +
                                             0.5 * uKnots->getUnrolledKnot(p + 1 + c)});
            inserted += insertWorstMidpoints(*this, candidates, maxNewKnots, 0);
        }
        if (refineV) {
            const int q = vKnots->p;
            for (int r = 0; r < rows; ++r)
                if (rowError[r] > tol2)
                    candidates.push_back(
                        {rowError[r], 0.5 * vKnots->getUnrolledKnot(q + r) +
                                          0.5 * vKnots->getUnrolledKnot(q + 1 + r)});
            inserted += insertWorstMidpoints(*this, candidates, maxNewKnots, 1);
        }
        return inserted > 0;
    }

    const int nU = getUCount();
    const int nV = getVCount();
    Vector grevilleU, grevilleV;
    if (uKnots != nullptr)
        uKnots->getGrevilleAbscissae(grevilleU);
    if (vKnots != nullptr)
        vKnots->getGrevilleAbscissae(grevilleV);
    const std::vector<double> regionsU =
        uKnots != nullptr ? controlPointRegions(*uKnots, nU) : std::vector<double>(2, 0.0);
    const std::vector<double> regionsV =
        vKnots != nullptr ? controlPointRegions(*vKnots, nV) : std::vector<double>(2, 0.0);
    const bool cyclicU = uKnots != nullptr && uKnots->endCondition == knots::CyclicEnd;
    const bool cyclicV = vKnots != nullptr && vKnots->endCondition == knots::CyclicEnd;

    CInfoGrid<CCtrlPtInfo> cells(nV, nU);
    if (fitArray != nullptr)
        for (int k = 0; k < pts.count; ++k) {
            double u, v;
            if (!fitPointParameters(pts.at(k), vKnots, u, v))
                continue;
            CCtrlPtInfo& cell =
                cells.at(regionOf(regionsV, cyclicV, v), regionOf(regionsU, cyclicU, u));
            cell.array = pts.array;
            cell.append(pts.indices[k]);
        }

    int fixCount = 0;
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i) {
            const CCtrlPtInfo& cell = cells.at(j, i);
            bool fix = cell.count == 0;
            if (!fix) {
                // The worst 2 % are left out, so that a few stray points do not
                // keep an otherwise well fitted control point free.
                IndexSubset<CFitPoint> region(pts.array, cell.count);
                for (int k = 0; k < cell.count; ++k)
                    region.append(cell.indices[k]);
                const std::unique_ptr<IndexSubset<CFitPoint>> best =
                    bestQuantileSubset(region, 0.98);
                fix = best != nullptr && best->count > 0 && best->at(best->count - 1).dist2 < tol2;
            }
            if (!fix)
                continue;
            Vector xyz;
            double w = 0.0;
            getControlPointAndWeight(xyz, i, j, w);
            const double gu = i < grevilleU.size() ? grevilleU[i] : 0.0;
            const double gv = j < grevilleV.size() ? grevilleV[j] : 0.0;
            const Vector normal = getRawNormal(gu, gv);
            addConstraint(new CIJSingleConstraint(*this, i, j, xyz, normal, SingleCpKind::fixed));
            ++fixCount;
        }
    std::cout << "fixCount=" << fixCount << " out of " << nU * nV << '\n';
    return true;
}

} // namespace Fenwo
