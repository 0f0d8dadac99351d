// The face healing of a skin: the heal order, and for each face in turn the
// targets taken from its healed neighbours, the shape correction through
// them and the trim loop rebuilt on the corrected surface.

#include "curves/ArcLength.h"
#include "curves/CurveInterpolation.h"
#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "curves/Projections.h"
#include "fitting/RbfCorrection.h"
#include "fitting/RbfFitLoop.h"
#include "foundation/Logging.h"
#include "foundation/MatrixThreads.h"
#include "foundation/Progress.h"
#include "foundation/Sort.h"
#include "geometry/FitHelpers.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "healing/SkinTopology.h"
#include "net/Face.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace FENWO_SKIN {

namespace {

// The order value of a fixed face: the largest single-precision value.
constexpr double kFixedValue = 3.4028234663852886e38;
// Arguments of the shape correction.
constexpr int kTargetCount = 723;
constexpr double kOvershootRatio = 500.0;
// Chords of a side's length, and the targets a side keeps at least.
constexpr int kSideSteps = 15;
constexpr double kTargetsPerSide = 6.0;
// Corrections on targets thinned ever closer, while the matched edges miss.
constexpr int kDenserRounds = 4;
// Digits of the Vector text while a healing runs (and after it).
constexpr int kVectorDigits = 10;
// Points along a healed side, and along the edge it matched, where the
// two are measured against each other.
constexpr int kSideSamples = 50;
constexpr int kEdgePolylinePoints = 400;
// How far, in tolerances, a healed side may run from the neighbour it
// matched before the heal counts as failed. Between its targets a side
// sags by a fraction of the tolerance, which the committed edges (each
// approximated within three quarters of it) may take up or add to; the
// gap between the committed edges is measured on its own. A side further
// off than this has not followed its neighbour.
constexpr double kSideSlack = 1.5;

struct HealRecord {
    CFace* face = nullptr;
    double value = 0.0;
    int place = 0; // position in the heal set: equal values keep it
};

// The continuity distance: the distance at which a kink of half a degree
// opens a gap of 2 dTol, a sixth of it. About 38.2 dTol.
double continuityDistance(double dTol)
{
    return (2.0 * dTol / std::atan(M_PI / 360.0)) / 6.0;
}

int appendTarget(CFitPointArray& targets, const Vector& p, int group, const Vector* normal)
{
    CFitPoint fp = normal != nullptr ? CFitPoint(p, Vector(0.0, 0.0), *normal)
                                     : CFitPoint(p, Vector(0.0, 0.0));
    fp.group = group;
    return targets.append(fp);
}

// The heal order grows from the faces kept: after them comes, in value
// order, the first face that shares an edge with a face placed before it,
// so that it has an edge to match; a face that meets the placed ones at a
// vertex at most (it could only take corner targets, which lie beyond its
// own sides, and would stay as it is) comes when no face has such an edge.
void growFromHealed(CSkinTopology& skin, std::vector<HealRecord>& records, int seeds)
{
    std::unordered_map<const CFace*, std::vector<const CFace*>> neighbours;
    for (const CSkinTopology::CHalfEdge* h : skin.halfEdgesInOrder)
        if (h->partner != nullptr && h->partner->curve != nullptr) {
            const CFace* a = skin.faceOfCurve(h->curve);
            const CFace* b = skin.faceOfCurve(h->partner->curve);
            if (a != nullptr && b != nullptr && a != b)
                neighbours[a].push_back(b);
        }
    std::unordered_set<const CFace*> placed;
    for (int k = 0; k < seeds; ++k)
        placed.insert(records[std::size_t(k)].face);
    for (std::size_t p = std::size_t(std::max(seeds, 0)); p < records.size(); ++p) {
        std::size_t next = p;
        for (std::size_t q = p; q < records.size(); ++q) {
            const std::vector<const CFace*>& around = neighbours[records[q].face];
            if (std::any_of(around.begin(), around.end(),
                            [&](const CFace* f) { return placed.count(f) != 0; })) {
                next = q;
                break;
            }
        }
        std::rotate(records.begin() + std::ptrdiff_t(p), records.begin() + std::ptrdiff_t(next),
                    records.begin() + std::ptrdiff_t(next) + 1);
        placed.insert(records[p].face);
    }
}

// Whether the targets of the face's edges (group > 0) all lie within tol
// of the surface, as their last inversion found them; false without any.
bool edgesWithin(const CFitPointArray& targets, double tol)
{
    int edgeTargets = 0;
    for (int k = 0; k < targets.count; ++k) {
        if (targets[k].group <= 0)
            continue;
        ++edgeTargets;
        if (!(targets[k].dist2 <= tol * tol))
            return false;
    }
    return edgeTargets > 0;
}

// The largest distance from the surface, as their last inversion found
// it, of the targets of the face's edges (group e > 0 is edge e - 1): of
// those whose edge `only` flags, or of all of them when `only` is empty.
double sideGap(const CFitPointArray& targets, const std::vector<bool>& only)
{
    double gap = 0.0;
    for (int k = 0; k < targets.count; ++k) {
        const int g = targets[k].group;
        if (g >= 1 && (only.empty() || (std::size_t(g) <= only.size() && only[std::size_t(g - 1)])))
            gap = std::max(gap, std::sqrt(targets[k].dist2));
    }
    return gap;
}

// Points of a curve at count parameters evenly spread over its domain: at
// the middles of count equal steps when midpoints, else from end to end.
std::vector<Vector> curveSamples(CParametricGeometry* curve, int count, bool midpoints)
{
    std::vector<Vector> points;
    const Interval d = curve->getDomain(0);
    for (int k = 0; k < count; ++k) {
        const double share = midpoints ? (k + 0.5) / count : double(k) / (count - 1);
        points.push_back(curve->getPoint((1.0 - share) * d.min + share * d.max, 0.0));
    }
    return points;
}

double distanceToPolyline(const Vector& p, const std::vector<Vector>& line)
{
    double best = HUGE_VAL;
    for (std::size_t k = 1; k < line.size(); ++k)
        best = std::min(best,
                        pointSegmentDistance(line[k - 1].data, line[k].data, p.data, 3, nullptr));
    return std::sqrt(best);
}

// How far the side runs from the neighbour it was matched to: the largest
// distance of points spread along the side from the neighbour's sides
// (each followed by a poly-line far finer than any gap of interest), from
// the side it matched and, near the corners, from those that meet it
// there. The targets only say where the side's curve passes; between them
// a curve through their (u, v) on a surface folded in its parameters can
// stray far.
double sideDeviation(CParametricGeometry* side, const Kor::List<CCONS*>& neighbourSides)
{
    std::vector<std::vector<Vector>> lines;
    for (CCONS* c : neighbourSides)
        lines.push_back(curveSamples(c, kEdgePolylinePoints, false));
    double gap = 0.0;
    for (const Vector& p : curveSamples(side, kSideSamples, true)) {
        double nearest = HUGE_VAL;
        for (const std::vector<Vector>& line : lines)
            nearest = std::min(nearest, distanceToPolyline(p, line));
        gap = std::max(gap, nearest);
    }
    return gap;
}

} // namespace

bool continuationPoint(CParametricGeometry* surface, const Vector& P, const Vector& direction,
                       double d, double u, double v, Vector& point)
{
    const Vector aim = P + d * direction;
    projectPointOnSurface(surface, aim, u, v);
    point = surface->getPoint(u, v);
    return norm(point - aim) <= 0.5 * d;
}

namespace {

// One face's healing. The skin, the face and the working lists of the
// record being healed.
class FaceHealer {
public:
    FaceHealer(CSkinTopology& skin, double dTol, int mode)
        : skin(skin), dTol(dTol), mode(mode), s(continuityDistance(dTol))
    {
    }

    // Heals the face of record p; false on a cancel or a loop that cannot
    // be walked.
    bool heal(const std::vector<HealRecord>& records, int p, std::ofstream& facesLog);

private:
    CSkinTopology& skin;
    double dTol;
    int mode;
    double s;

    bool cancelled() const { return skin.progress != nullptr && skin.progress->isCancelled(); }
    // Targets along edge i from the partner's curve of the healed
    // neighbour: its points, and the continuity rows at s and 2 s inside
    // the neighbour's surface.
    void addMatchedTargets(int i, CParametricGeometry* partnerCurve, CFitPointArray& targets,
                           IndexSubset<CFitPoint>& all, IndexSubset<CFitPoint>& edge);
    // The new outer loop from the targets of groups 1..n; true when the
    // face took it, its sides then in sides (side i of edge i).
    bool rebuildLoop(CFace& F, Fenwo::NurbsSurf& S, const Kor::List<CCONS*>& curves,
                     CFitPointArray& targets, std::vector<CParametricGeometry*>& sides);
};

void FaceHealer::addMatchedTargets(int i, CParametricGeometry* partnerCurve,
                                   CFitPointArray& targets, IndexSubset<CFitPoint>& all,
                                   IndexSubset<CFitPoint>& edge)
{
    Kor::List<double> tList;
    partnerCurve->facetCurve(tList, dTol / 3.0, true, 2000, false, false, 250.0 * dTol);
    // A nearly straight edge is faceted into its two ends: the correction
    // would get nothing to pull the middle of the side with, which then
    // stays as far from the edge as it was. Such an edge takes targets a
    // sixth of its length apart.
    if (tList.count < 3) {
        const double partnerLength = sampledCurveLength(partnerCurve, kSideSteps, false);
        partnerCurve->facetCurve(tList, dTol / 3.0, true, 2000, false, false,
                                 std::min(250.0 * dTol, partnerLength / kTargetsPerSide));
    }
    const int m = tList.count - 1;
    auto* cons = dynamic_cast<CCONS*>(partnerCurve);
    for (int j = 0; j <= m; ++j) {
        const double t = tList[j];
        const Vector P = partnerCurve->getPoint(t, 0.0);
        const Vector normal = partnerCurve->getNormal(t, 0.0);
        const int at = appendTarget(targets, P, i + 1, &normal);
        edge.append(at);
        all.append(at);
        if (mode < 1 || cons == nullptr || cons->surface == nullptr)
            continue;
        const Vector N = cons->getSideVector(t, true);
        const Vector uv = cons->getUVPoint(t);
        // A row the neighbour's surface does not reach (a neighbour
        // narrower than s or 2 s) is no target.
        Vector row1;
        const bool reached1 = continuationPoint(cons->surface, P, -N, s, uv[0], uv[1], row1);
        const int at1 = appendTarget(targets, row1, -(i + 1), nullptr);
        if (reached1) {
            edge.append(at1);
            all.append(at1);
        }
        if (mode < 2)
            continue;
        Vector row2;
        const bool reached2 = continuationPoint(cons->surface, P, -N, 2.0 * s, uv[0], uv[1], row2);
        const int at2 = appendTarget(targets, row2, -(i + 1), nullptr);
        // The second row leaves out the two points at each end, where the
        // neighbouring edges bend it.
        if (reached2 && j >= 2 && j < m - 1) {
            edge.append(at2);
            all.append(at2);
        }
    }
}

bool FaceHealer::rebuildLoop(CFace& F, Fenwo::NurbsSurf& S, const Kor::List<CCONS*>& curves,
                             CFitPointArray& targets, std::vector<CParametricGeometry*>& sides)
{
    // The (u, v) of each side's targets, in their order.
    std::vector<IndexSubset<CFitPoint>> sideTargets;
    for (int e = 1; e <= curves.count; ++e) {
        IndexSubset<CFitPoint> points(targets);
        for (int k = 0; k < targets.count; ++k) {
            CFitPoint& fp = targets[k];
            if (fp.group != e || fp.uv.n < 2)
                continue;
            fp.Point = Vector(fp.uv[0], fp.uv[1], 0.0);
            points.append(k);
        }
        sideTargets.push_back(std::move(points));
    }
    // Two sides matched to two different neighbours end where those
    // neighbours' edges end, a little apart: the nearest ends of
    // neighbouring sides meet half-way, so that the loop closes with its
    // sides alone and is not bridged by a curve of its own (a side the face
    // does not have).
    for (std::size_t e = 0; e < sideTargets.size() && sideTargets.size() > 1; ++e) {
        IndexSubset<CFitPoint>& a = sideTargets[e];
        IndexSubset<CFitPoint>& b = sideTargets[(e + 1) % sideTargets.size()];
        if (a.count < 2 || b.count < 2)
            continue;
        CFitPoint* best[2] = {nullptr, nullptr};
        double nearest = HUGE_VAL;
        for (CFitPoint* x : {&a[0], &a[a.count - 1]})
            for (CFitPoint* y : {&b[0], &b[b.count - 1]})
                if (const double d = squaredDistance(x->Point, y->Point); d < nearest) {
                    nearest = d;
                    best[0] = x;
                    best[1] = y;
                }
        const Vector middle = lerp(best[0]->Point, best[1]->Point, 0.5);
        best[0]->Point = middle;
        best[1]->Point = middle;
    }
    auto loop = std::make_unique<CLoop>();
    for (IndexSubset<CFitPoint>& points : sideTargets) {
        if (points.count < 2)
            continue;
        Fenwo::NurbsSurf* uvCurve = interpolateCurve(points, 2, 2, true, false);
        if (uvCurve == nullptr)
            continue;
        if (uvCurve->uKnots != nullptr && uvCurve->uKnots->p == 1) {
            std::cout << "logging a linear probaly bad uv curve" << std::endl;
            // Appended on every healing: bounded, so that it cannot grow for ever.
            CBoundedDump bad("c:/tmp/baduv.out", true);
            if (std::ostream* out = bad.entry()) {
                uvCurve->write(*out);
                *out << '\n';
            }
        }
        loop->curves.append(new CParCurve(uvCurve, &S, false));
    }
    if (loop->getCard() <= 1 || curves.count == 0)
        return false;
    if (!skin.replaceFaceCurves(skin.findHalfEdge(curves[0]), *loop))
        return false;
    // The loop replaced the face's curves one for one: side i is edge i's.
    sides.clear();
    for (int i = 0; i < loop->getCard(); ++i)
        sides.push_back(loop->getCurve(i));
    F.setOuterLoop(loop.release());
    // The loop was ordered and oriented: its chain links follow it again.
    F.getAllCONS(false, true);
    return true;
}

bool FaceHealer::heal(const std::vector<HealRecord>& records, int p, std::ofstream& facesLog)
{
    if (cancelled())
        return false;
    const int count = int(records.size());
    CFace& F = *records[std::size_t(p)].face;
    std::cout << "Start Face " << p + 1 << "/" << count
              << "  val = " << records[std::size_t(p)].value << std::endl;
    if (skin.progress != nullptr) {
        char label[64];
        std::snprintf(label, sizeof label, "healing face %1i / %1i", p + 1, count);
        skin.progress->setLabel(label);
    }
    const Kor::List<CCONS*> curves = skin.getFaceCurves(&F);
    const int n = curves.count;
    std::ofstream thisFace;
    if (openLogStream(thisFace, "c:/tmp/thisface.out"))
        thisFace << F;

    // The loop walk: each half-edge learns the next one of the face.
    bool broken = false;
    for (int i = 0; i < n; ++i) {
        CSkinTopology::CHalfEdge* h = skin.findHalfEdge(curves[i]);
        CSkinTopology::CHalfEdge* next = skin.findHalfEdge(curves[(i + 1) % n]);
        if (h == nullptr) {
            std::cout << "No pHalf here." << std::endl;
            broken = true;
        } else if (next == nullptr) {
            std::cout << "No pNext here." << std::endl;
            broken = true;
        } else {
            h->pNext = next;
            h->visited = 0;
        }
    }
    if (broken) {
        std::cout << "Abort, damaged Pointers." << std::endl;
        return false;
    }

    Fenwo::NurbsSurf* S = F.getNurbsSurf();
    CFitPointArray targets;
    IndexSubset<CFitPoint> all(targets), edge(targets);
    int matched = 0;
    std::vector<bool> matchedEdges(std::size_t(n), false);
    std::vector<CFace*> matchedNeighbours(std::size_t(n), nullptr);
    for (int i = 0; i < n && S != nullptr; ++i) {
        if (cancelled())
            return false;
        CSkinTopology::CHalfEdge* h = skin.findHalfEdge(curves[i]);
        CSkinTopology::CHalfEdge* partner = h->partner;
        if (partner == nullptr || partner->curve == nullptr)
            continue;
        CFace* neighbour = skin.faceOfCurve(partner->curve);
        if (neighbour == nullptr || neighbour->spareFlag < 1 || neighbour->spareFlag > p)
            continue;
        addMatchedTargets(i, partner->curve, targets, all, edge);
        h->visited = 1;
        matchedEdges[std::size_t(i)] = true;
        matchedNeighbours[std::size_t(i)] = neighbour;
        ++matched;
    }
    if (S != nullptr && matched < n)
        skin.addUnmatchedEdgeTargets(curves, *S, all, edge, s, dTol);
    // Every target, those of the unmatched edges too, gets its parameters
    // on S before the correction.
    IndexSubset<CFitPoint> every(targets);
    every.selectAll();
    if (S != nullptr && every.count > 0) {
        S->invertPoints(every, 1, 1, false);
        S->PointInversion(every, 10);
    }

    std::ofstream shape;
    if (openLogStream(shape, ("c:/tmp/shape-" + std::to_string(p) + ".mp").c_str())) {
        shape.precision(16);
        for (int k = 0; k < all.count; ++k)
            shape << all[k] << '\n';
    }
    const int degree = mode == 0 ? 0 : 2;
    // The targets are thinned to a third of the continuity distance, but
    // on a face narrower than that to a sixth of its shortest side: thinned
    // at s / 3 such a face keeps one or two targets a side, fewer than the
    // correction's quadratic part has terms, and the correction then bends
    // the whole face by a couple of displacements, sides it met included.
    double shortestSide = HUGE_VAL;
    for (CCONS* c : curves)
        shortestSide = std::min(shortestSide, sampledCurveLength(c, kSideSteps, false));
    const double spacing = std::min(s / 3.0, shortestSide / kTargetsPerSide);
    // How far the face's sides lie from their targets before the
    // correction, and its surface as it stood, to go back to should the
    // correction move them away.
    const double sidesBefore = sideGap(targets, {});
    std::optional<Fenwo::NurbsSurf> uncorrected;
    if (S != nullptr && matched > 0)
        uncorrected.emplace(*S);
    bool corrected = false;
    const IndexSubset<CFitPoint> allTargets(all);
    if (S != nullptr && edge.count > 0)
        corrected = fitShapeToTestSet(*S, 0.8 * dTol, all, edge, kTargetCount, skin.progress,
                                      degree, false, true, spacing, kOvershootRatio, true);
    else if (S != nullptr && all.count > 4)
        corrected = rbf3(*S, 0.8 * dTol, all, kTargetCount, skin.progress, degree, false, true,
                         spacing, kOvershootRatio, true);
    // Thinned to `spacing` the correction sees the neighbours' edges at a
    // few points; where they wave between them (fits of a noisy scan) the
    // matched edges stay farther than its tolerance from them. It then
    // runs again on the surface it made, the targets thinned half as far
    // apart each time, a few times at most.
    double thin = spacing;
    for (int round = 0; S != nullptr && edge.count > 0 && matched > 0 && round < kDenserRounds;
         ++round) {
        if (cancelled())
            break;
        S->PointInversion(every, 10);
        if (sideGap(targets, matchedEdges) <= 0.8 * dTol)
            break;
        thin /= 2.0;
        IndexSubset<CFitPoint> denser(allTargets);
        corrected = fitShapeToTestSet(*S, 0.8 * dTol, denser, edge, kTargetCount, skin.progress,
                                      degree, false, true, thin, kOvershootRatio, true);
    }
    // The trim loop follows the surface even when the correction was
    // cancelled part of the way: a moved surface keeps its old loop only
    // when the targets give no place for a new one (below). A face without
    // matched edges whose correction could not run (all its targets lie on
    // or beyond its sides) or failed has still healed when its sides meet
    // the places its targets give (group > 0) within dTol; otherwise "Heal
    // failed".
    bool failed = !corrected;
    if (S != nullptr && every.count > 0) {
        S->PointInversion(every, 10);
        if (matched > 0) {
            // A correction that leaves the face's sides farther from their
            // targets than they were, and beyond dTol, is undone: bent by a
            // few displacements, a small face swings its free corner off
            // the mesh (a cancelled correction stays as far as it came).
            // The face has healed when its matched edges meet its healed
            // neighbours' edges within dTol, whatever the correction
            // answered: it judges itself on a thinned part of the targets.
            const double sides = sideGap(targets, {});
            if (sides > dTol && sides > sidesBefore && uncorrected && !cancelled()) {
                adoptKnotsAndNet(*S, *uncorrected);
                S->updateBoundaryPositions();
                S->PointInversion(every, 10);
            }
            failed = sideGap(targets, matchedEdges) > dTol;
        } else {
            failed = failed && !edgesWithin(targets, dTol);
        }
        // Sides whose targets lie farther from the surface than the skin's
        // match tolerance (a neighbour paired across a region drawn astray)
        // are no place for the loop: their feet on the surface trace no
        // side of the face, and the face keeps the loop it had.
        std::vector<CParametricGeometry*> sides(curves.begin(), curves.end());
        if (S->degenerateSides.count == 0 && sideGap(targets, {}) <= skin.dMatchTol)
            rebuildLoop(F, *S, curves, targets, sides);
        // The face has healed only when the sides it ends with follow the
        // neighbours they matched, between the targets too.
        for (int i = 0; i < n && !failed; ++i)
            if (CFace* neighbour = matchedNeighbours[std::size_t(i)];
                neighbour != nullptr && std::size_t(i) < sides.size())
                failed = sideDeviation(sides[std::size_t(i)], skin.getFaceCurves(neighbour)) >
                         kSideSlack * dTol;
        if (failed)
            std::cout << "Heal failed for dTol=" << dTol << std::endl;
    } else if (failed) {
        std::cout << "Heal failed for dTol=" << dTol << std::endl;
    }
    if (facesLog.is_open())
        facesLog << F;
    return !cancelled();
}

} // namespace

bool CSkinTopology::healFaces(double dTol, Kor::List<CFace*>* fixed, int mode)
{
    multithreadingAllowed = false;
    setVectorOutputPrecision(kVectorDigits);

    // The faces with a shared edge or a junction vertex, each once.
    Kor::List<CFace*> healSet;
    std::unordered_set<const CFace*> inSet;
    auto addFacesOf = [&](const Kor::List<CParametricGeometry*>& curves) {
        for (CParametricGeometry* c : curves)
            if (CFace* f = faceOfCurve(c); f != nullptr && inSet.insert(f).second)
                healSet.append(f);
    };
    addFacesOf(getInnerCurves());
    addFacesOf(getJunctionCurves());

    std::ofstream preheal;
    if (openLogStream(preheal, "c:/tmp/faces_preheal.out"))
        for (CFace* f : healSet)
            preheal << *f;
    if (progress != nullptr)
        progress->begin(0, healSet.count);

    // Ranks of an earlier run must not stand for this one.
    for (CFace* f : faces)
        if (f != nullptr)
            f->spareFlag = 0;
    std::vector<HealRecord> records;
    int seeds = fixed != nullptr ? 0 : 1;
    for (int k = 0; k < healSet.count; ++k) {
        if (progress != nullptr) {
            progress->step(1);
            if (progress->isCancelled())
                return false;
        }
        CFace* f = healSet[k];
        HealRecord record{f, kFixedValue, k};
        if (fixed != nullptr && fixed->contains(f)) {
            ++seeds;
        } else {
            const double area = f->computeArea();
            const double l = f->trimLoops.count > 0 ? f->trimLoops[0]->getLength() : 0.0;
            record.value = area / std::pow(std::max(l, 1e-10), 2);
            std::cout << "area = " << area << " area/l^2 = " << record.value << std::endl;
        }
        records.push_back(record);
    }
    // Largest value first; equal values keep the order of the heal set.
    if (records.size() > 1)
        quickSort(records.data(), 0, int(records.size()) - 1,
                  [](const HealRecord* a, const HealRecord* b) {
                      return a->value != b->value ? a->value > b->value : a->place < b->place;
                  });
    growFromHealed(*this, records, std::min(seeds, int(records.size())));
    for (std::size_t k = 0; k < records.size(); ++k)
        records[k].face->spareFlag = int(k) + 1;

    const double s = continuityDistance(dTol);
    std::cout << "len used=" << s << " dTol=" << dTol << std::endl;
    std::ofstream facesLog;
    openLogStream(facesLog, "c:/tmp/faces.out");
    if (records.empty())
        return true;
    seeds = std::min(seeds, int(records.size()));
    if (seeds == 1 && facesLog.is_open())
        facesLog << *records[0].face;
    FaceHealer healer(*this, dTol, mode);
    for (int p = seeds; p < int(records.size()); ++p)
        if (!healer.heal(records, p, facesLog))
            return false;
    return true;
}

} // namespace FENWO_SKIN
