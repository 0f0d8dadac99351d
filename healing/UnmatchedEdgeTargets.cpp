// Targets for the edges of a face being healed whose neighbour was not
// healed before it: stretches of unmatched edges (runs) are moved so that
// they follow the corrected corners at their ends, and a face that touches
// an earlier healed face only at a skin vertex takes corner targets from
// that face's two curves there.

#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "curves/Projections.h"
#include "curves/StartValues.h"
#include "foundation/Logging.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "healing/SkinTopology.h"
#include "net/Face.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <unordered_set>
#include <vector>

namespace FENWO_SKIN {

namespace {

using HalfEdge = CSkinTopology::CHalfEdge;

// Group of the corner targets of the corner fix.
constexpr int kCornerGroup = -4;
// Group of the corner points that close a chain of a vertex-only face.
constexpr int kChainCornerGroup = -2;
// Margin of the run samples that go to all targets, in continuity
// distances from the run's ends, and at most this share of the run.
constexpr double kRunMargin = 7.0;
constexpr double kShortRunMargin = 0.1;

int appendTarget(CFitPointArray& targets, const Vector& p, int group)
{
    CFitPoint fp(p, Vector(0.0, 0.0));
    fp.group = group;
    return targets.append(fp);
}

// (u, v) of the surface point nearest to X: start from a grid of samples,
// then point inversion.
void invertOnto(Fenwo::NurbsSurf& S, const Vector& X, double& u, double& v)
{
    u = S.getDomain(0).min;
    v = S.getDomain(1).min;
    startParametersOnSurface(&S, u, v, X, 10);
    CFitPointArray one;
    one.append(CFitPoint(X, Vector(u, v)));
    IndexSubset<CFitPoint> subset(one);
    subset.selectAll();
    S.PointInversion(subset, 20);
    u = one[0].uv[0];
    v = one[0].uv[1];
}

// The parameter gap between the point at (u, v) and the curve's end
// nearest to X, when the curve lies on a surface; zero otherwise.
Vector parameterGap(CParametricGeometry* c, const Vector& X, double u, double v)
{
    auto* cons = dynamic_cast<CCONS*>(c);
    if (cons == nullptr || cons->getUVCurve() == nullptr)
        return Vector(0.0, 0.0);
    const Vector uv = cons->getUVPoint(nearerEndParameter(c, X, nullptr));
    return Vector(u - uv[0], v - uv[1]);
}

int edgeIndex(const Kor::List<CCONS*>& curves, const CParametricGeometry* c)
{
    for (int i = 0; i < curves.count; ++i)
        if (curves[i] == c)
            return i;
    return -1;
}

// The point a run that starts (atStart false: ends) at edge h's end takes
// for that end: the partner's curve end there for a matched edge; where the
// faces at that corner meet (cornerMeeting) for an edge whose neighbour
// heals later (visited 2), as that side's own end goes.
bool runEndPoint(const CSkinTopology& skin, const HalfEdge& h, bool atStart, Vector& out)
{
    if (h.curve == nullptr || h.partner == nullptr || h.partner->curve == nullptr)
        return false;
    const Vector p = atStart ? h.curve->getStartPoint() : h.curve->getEndPoint();
    CParametricGeometry* other = h.partner->curve;
    out = other->getPoint(nearerEndParameter(other, p, nullptr), 0.0);
    if (h.visited == 2) {
        const CFace* face = skin.faceOfCurve(h.curve);
        if (face == nullptr || !cornerMeeting(skin, h, *face, p, out))
            out = lerp(p, out, 0.5);
    }
    return true;
}

// Moves the run's curves from A to B: every facet point of the curves,
// shifted in the parameter plane and in space by the gaps at the two ends
// blended by the arc-length fraction x, becomes a target of its edge's
// group. A run sample goes to all targets for 0.1 < x < 0.9, for a run
// between matched edges also only 7 s away from both ends, or a tenth of
// the run's length L where that is less (on runs shorter than 70 s the
// x rule alone): on a face narrower than 14 s the 7 s margins would leave
// its free sides without a target, and the correction would swing them
// (and the corner between them) off the mesh.
void sampleRun(const Kor::List<HalfEdge*>& run, const Vector& A, const Vector& B,
               Fenwo::NurbsSurf& S, const Kor::List<CCONS*>& curves, CFitPointArray& targets,
               IndexSubset<CFitPoint>& all, double dTol, double s, bool vertexOnly, double band)
{
    if (run.count == 0)
        return;
    double uA, vA, uB, vB;
    invertOnto(S, A, uA, vA);
    invertOnto(S, B, uB, vB);
    const Vector gA = A - S.getPoint(uA, vA);
    const Vector gB = B - S.getPoint(uB, vB);
    const Vector hA = parameterGap(run[0]->curve, A, uA, vA);
    const Vector hB = parameterGap(run[run.count - 1]->curve, B, uB, vB);

    struct Sample {
        CParametricGeometry* curve;
        double t;
        double d; // chord length from the run's start
        int group;
    };
    std::vector<Sample> samples;
    Vector previous;
    double d = 0.0;
    for (HalfEdge* h : run) {
        CParametricGeometry* c = h->curve;
        Kor::List<double> tList;
        c->facetCurve(tList, dTol, true, 2000, false, false, vertexOnly ? -1.0 : 250.0 * dTol);
        const int group = edgeIndex(curves, c) + 1;
        for (double t : tList) {
            const Vector P = c->getPoint(t, 0.0);
            if (previous.n > 0)
                d += std::sqrt(squaredDistance(P, previous));
            previous = P;
            samples.push_back({c, t, d, group});
        }
    }
    const double L = d;
    const Interval du = S.getDomain(0), dv = S.getDomain(1);
    for (const Sample& sample : samples) {
        // A run of no length moves as its start.
        const double x = L > 0.0 ? sample.d / L : 0.0;
        // The ends' moves fade out along the run within `band` of each end:
        // a run is a side no neighbour meets, which stays where the fit put
        // it but where it follows a moved corner. A vertex-only chain and a
        // run shorter than twice the band keep more of the ends' moves.
        const double fade =
            band > 0.0 ? std::max(fadeWeight(sample.d, band), fadeWeight(L - sample.d, band)) : 1.0;
        Vector Q;
        auto* cons = dynamic_cast<CCONS*>(sample.curve);
        if (cons != nullptr && cons->getUVCurve() != nullptr && cons->surface != nullptr) {
            const Vector uv = cons->getUVPoint(sample.t);
            const Vector shift = fade * lerp(hA, hB, x);
            const double u = std::clamp(uv[0] + shift[0], du.min, du.max);
            const double v = std::clamp(uv[1] + shift[1], dv.min, dv.max);
            Q = cons->surface->getPoint(u, v);
        } else {
            Q = sample.curve->getPoint(sample.t, 0.0);
        }
        const int at = appendTarget(targets, Q + fade * lerp(gA, gB, x), sample.group);
        const bool inner = x > 0.1 && x < 0.9;
        const double margin = std::min(kRunMargin * s, kShortRunMargin * L);
        if (inner && (vertexOnly || (sample.d > margin && sample.d < L - margin)))
            all.append(at);
    }
}

// A curve of a vertex-only chain in its text form: a curve on a surface as
// its (u, v) curve and, where it has one, its space curve.
void writeChainCurve(std::ostream& os, CParametricGeometry* curve)
{
    if (auto* nurbs = dynamic_cast<Fenwo::NurbsSurf*>(curve)) {
        nurbs->write(os);
        return;
    }
    auto* cons = dynamic_cast<CCONS*>(curve);
    if (cons == nullptr)
        return;
    if (auto* uv = dynamic_cast<Fenwo::NurbsSurf*>(cons->getUVCurve()))
        uv->write(os);
    if (auto* trim = dynamic_cast<CParCurve*>(cons))
        if (auto* space = dynamic_cast<Fenwo::NurbsSurf*>(trim->getSpaceCurve()))
            space->write(os);
}

} // namespace

bool cornerMeeting(const CSkinTopology& skin, const HalfEdge& h, const CFace& face,
                   const Vector& end, Vector& out)
{
    // The skin vertex at that end: of the two the half-edge knows, the one
    // nearer to it.
    const CTopoV* vertex = nullptr;
    for (const CTopoV* v : {h.origin, h.target})
        if (v != nullptr &&
            (vertex == nullptr ||
             squaredDistance(Vector(v->data[0], v->data[1], v->data[2]), end) <
                 squaredDistance(Vector(vertex->data[0], vertex->data[1], vertex->data[2]), end)))
            vertex = v;
    if (vertex == nullptr)
        return false;
    // Each face's corner there: the end of its first curve at the vertex.
    std::vector<const CFace*> seen;
    Vector healed(0.0, 0.0, 0.0), every(0.0, 0.0, 0.0);
    int healedCount = 0, everyCount = 0;
    for (const auto& entry : vertex->curves) {
        CParametricGeometry* curve = entry.second;
        const CFace* other = curve != nullptr ? skin.faceOfCurve(curve) : nullptr;
        if (other == nullptr || std::find(seen.begin(), seen.end(), other) != seen.end() ||
            (other != &face && !skin.sharesPointAt(&face, other, vertex)))
            continue;
        seen.push_back(other);
        const Vector corner = curve->getPoint(nearerEndParameter(curve, end, nullptr), 0.0);
        every += corner;
        ++everyCount;
        if (other != &face && other->spareFlag >= 1 && other->spareFlag < face.spareFlag) {
            healed += corner;
            ++healedCount;
        }
    }
    if (everyCount == 0)
        return false;
    out = healedCount > 0 ? (1.0 / healedCount) * healed : (1.0 / everyCount) * every;
    return true;
}

bool addVertexOnlyTargets(const Kor::List<HalfEdge*>& chain, CFitPointArray& targets,
                          IndexSubset<CFitPoint>& all, Fenwo::NurbsSurf& S, const Vector& start,
                          const Vector& end, double dTol, const Kor::List<CCONS*>& curves)
{
    std::ofstream log;
    if (openLogStream(log, "c:/tmp/vonly.out", std::ios::out | std::ios::app))
        for (HalfEdge* h : chain)
            writeChainCurve(log, h->curve);
    sampleRun(chain, start, end, S, curves, targets, all, dTol, 0.0, true, 0.0);
    return true;
}

bool CSkinTopology::addCornerTargets(CParametricGeometry* c, Vector& corner,
                                     IndexSubset<CFitPoint>& all, IndexSubset<CFitPoint>& edge,
                                     double s)
{
    HalfEdge* h = findHalfEdge(c);
    if (h == nullptr || h->origin == nullptr)
        return false;
    if (h->curve != c) {
        std::cout << " pC0 pointer mismatch. " << std::endl;
        c = h->curve;
    }
    const CFace* F = faceOfCurve(c);
    if (F == nullptr)
        return false;
    const int rank = F->spareFlag;
    if (h->partner != nullptr) {
        const int partnerRank = rankOfCurve(h->partner->curve);
        if (partnerRank >= 1 && partnerRank < rank)
            return false;
    }
    // The edge neighbours of F, through its loop walk.
    std::unordered_set<const CFace*> neighbours;
    const HalfEdge* x = h;
    for (int k = 0; x != nullptr && k < halfEdgesInOrder.count; ++k) {
        if (x->partner != nullptr)
            neighbours.insert(faceOfCurve(x->partner->curve));
        x = x->pNext;
        if (x == h)
            break;
    }
    const CTopoV& V = *h->origin;
    const Vector vertex(V.data[0], V.data[1], V.data[2]);
    CParametricGeometry* found = nullptr;
    int bestRank = rank;
    for (const auto& entry : V.curves) {
        const CFace* G = faceOfCurve(entry.second);
        if (G == nullptr || G == F || neighbours.count(G) != 0 || !sharesPointAt(F, G, &V))
            continue;
        if (G->spareFlag >= 1 && G->spareFlag < bestRank) {
            bestRank = G->spareFlag;
            found = entry.second;
            corner = found->getPoint(nearerEndParameter(found, vertex, nullptr), 0.0);
        }
    }
    if (found == nullptr)
        return false;

    // The curves of that face's loop that end and start at the vertex.
    const Interval d = found->getDomain(0);
    const bool atEnd = squaredDistance(found->getPoint(d.max, 0.0), vertex) <
                       squaredDistance(found->getPoint(d.min, 0.0), vertex);
    CParametricGeometry* incoming = atEnd ? found : found->getPrevious();
    CParametricGeometry* outgoing = atEnd ? found->getNext() : found;
    auto* in = dynamic_cast<CCONS*>(incoming);
    auto* out = dynamic_cast<CCONS*>(outgoing);
    if (in == nullptr || out == nullptr || in->surface == nullptr || out->surface == nullptr)
        return true;
    const double te = in->getDomain(0).max;
    const double ts = out->getDomain(0).min;
    const struct {
        CCONS* curve;
        double t;
        Vector direction;
    } sides[2] = {{in, te, -normalized(in->getTangent(te))},
                  {out, ts, normalized(out->getTangent(ts))}};
    for (const auto& side : sides) {
        const Vector P = side.curve->getPoint(side.t, 0.0);
        const Vector uv = side.curve->getUVPoint(side.t);
        for (double step : {s, 3.0 * s}) {
            // A step the face's surface does not reach (a face narrower
            // than s or 3 s) gives no target.
            Vector Q;
            if (!continuationPoint(side.curve->surface, P, side.direction, step, uv[0], uv[1], Q))
                continue;
            const int at = appendTarget(*all.array, Q, kCornerGroup);
            all.append(at);
            edge.append(at);
        }
    }
    return true;
}

void CSkinTopology::addUnmatchedEdgeTargets(const Kor::List<CCONS*>& curves, Fenwo::NurbsSurf& S,
                                            IndexSubset<CFitPoint>& all,
                                            IndexSubset<CFitPoint>& edge, double s, double dTol,
                                            double band)
{
    const int n = curves.count;
    CFitPointArray& targets = *all.array;
    HalfEdge* firstMatched = nullptr;
    for (int i = 0; i < n && firstMatched == nullptr; ++i)
        if (HalfEdge* h = findHalfEdge(curves[i]); h != nullptr && h->visited != 0)
            firstMatched = h;
    const int limit = 2 * n + 2;
    Vector corner;

    if (firstMatched != nullptr) {
        // Runs of unmatched edges between matched ones, from the matched
        // neighbour's curve end to the next one, or to a corner.
        Vector runStart;
        runEndPoint(*this, *firstMatched, false, runStart);
        HalfEdge* h = firstMatched->pNext;
        for (int steps = 0; h != nullptr && h != firstMatched && steps < limit; ++steps) {
            if (h->visited != 0) {
                runEndPoint(*this, *h, false, runStart);
                h = h->pNext;
                continue;
            }
            Kor::List<HalfEdge*> run;
            Vector runEnd;
            bool atCorner = false;
            while (h != nullptr && h->visited == 0 && steps++ < limit) {
                run.append(h);
                atCorner = addCornerTargets(h->curve, corner, all, edge, s);
                h = h->pNext;
                if (atCorner) {
                    runEnd = corner;
                    break;
                }
            }
            if (!atCorner && (h == nullptr || !runEndPoint(*this, *h, true, runEnd)))
                break;
            sampleRun(run, runStart, runEnd, S, curves, targets, all, dTol, s, false, band);
            if (atCorner)
                runStart = runEnd;
        }
        return;
    }

    // No matched edge: chains of edges between the corners shared with
    // earlier healed faces, around the whole loop.
    int first = -1;
    Vector firstCorner;
    for (int i = 0; i < n && first < 0; ++i)
        if (addCornerTargets(curves[i], firstCorner, all, edge, s))
            first = i;
    if (first < 0)
        return;
    Vector previous = firstCorner;
    Kor::List<HalfEdge*> chain;
    CParametricGeometry* stop = curves[first]->getNext();
    CParametricGeometry* g = stop;
    for (int steps = 0; steps < limit; ++steps) {
        if (g == nullptr) {
            std::cout << "oops, pNextCurve is NULL, but should be != NULL" << std::endl;
            if (chain.count > 0)
                addVertexOnlyTargets(chain, targets, all, S, previous, firstCorner, dTol, curves);
            return;
        }
        HalfEdge* h = findHalfEdge(g);
        if (h != nullptr)
            chain.append(h);
        // The first corner's targets are made once; the walk only closes
        // there.
        const bool closing = g == curves[first];
        if (closing)
            corner = firstCorner;
        if (h != nullptr && (closing || addCornerTargets(g, corner, all, edge, s))) {
            if (chain.count > 0)
                addVertexOnlyTargets(chain, targets, all, S, previous, corner, dTol, curves);
            for (const Vector* p : {&previous, &corner}) {
                const int at = appendTarget(targets, *p, kChainCornerGroup);
                all.append(at);
                edge.append(at);
            }
            chain.removeAll();
            previous = corner;
        }
        g = g->getNext();
        if (g == stop)
            return;
    }
}

} // namespace FENWO_SKIN
