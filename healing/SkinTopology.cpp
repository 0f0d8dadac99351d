#include "healing/SkinTopology.h"

#include "curves/CurveJoins.h"
#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "curves/Projections.h"
#include "curves/ReInterpolation.h"
#include "curves/StartValues.h"
#include "foundation/Logging.h"
#include "foundation/Progress.h"
#include "geometry/NurbsSurf.h"
#include "mesh/SpatialHash.h"
#include "net/Face.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace FENWO_SKIN {

namespace {

using VertexHash = Mesh::C3DHash<CTopoV, double>;

// Starts a phase of the skin build on the sink, if there is one.
void beginPhase(CProgress* sink, const char* label, int count)
{
    if (sink != nullptr) {
        sink->setLabel(label);
        sink->begin(0, count);
    }
}

// One step of a phase; true when the user cancelled.
bool stepCancelled(CProgress* sink)
{
    if (sink == nullptr)
        return false;
    sink->step(1);
    return sink->isCancelled();
}

// Chord tolerance of the parameter estimators that start the projections of
// the coincidence test.
constexpr double kEstimateStep = 0.1;
// Steps of the chain check after a split.
constexpr int kChainCheckSteps = 1000;

bool lessIdentity(const void* a, const void* b)
{
    return std::less<const void*>()(a, b);
}

CVertex<double, 3> toVertex(const Vector& p)
{
    return CVertex<double, 3>(p.n > 0 ? p[0] : 0.0, p.n > 1 ? p[1] : 0.0, p.n > 2 ? p[2] : 0.0);
}

Vector toVector(const CVertex<double, 3>& v)
{
    return Vector(v.data[0], v.data[1], v.data[2]);
}

// The hash holds the skin's vertices by pointer: it must let them go, not
// delete them, whatever way the build ends.
struct HashRelease {
    VertexHash& hash;
    ~HashRelease() { hash.clear(); }
};

// The vertex nearest to p strictly closer than tol; null when none.
// *anyFound tells whether the hash returned anything in range.
CTopoV* nearestVertex(VertexHash& hash, const CVertex<double, 3>& p, double tol, bool* anyFound)
{
    const bool found = hash.findNearest(p, float(tol), true);
    if (anyFound != nullptr)
        *anyFound = found;
    CTopoV* best = nullptr;
    double bestDistance = tol;
    for (int k = 0; k < hash.results.count; ++k) {
        const double d = std::sqrt(squaredDistance<double, 3>(*hash.results.data[k], p));
        if (d < bestDistance) {
            bestDistance = d;
            best = hash.results.data[k];
        }
    }
    return best;
}

// T-joins ordered by curve identity, then parameter.
bool lessTJoin(const CPointOnCurveAndVertex* a, const CPointOnCurveAndVertex* b)
{
    if (a->curve != b->curve)
        return lessIdentity(a->curve, b->curve);
    return a->parameter < b->parameter;
}

// Whether each of three points of `from` within [t0, t1] (at quarters) lies
// within tol of `to`.
bool runsAlong(CParametricGeometry* from, double t0, double t1, CParametricGeometry* to, double tol)
{
    CEstimateCurveParam estimate(to, kEstimateStep);
    for (int k = 1; k <= 3; ++k) {
        const Vector p = from->getPoint(t0 + 0.25 * k * (t1 - t0), 0.0);
        double t = estimate.estimate(p, true);
        const float d = projectPointOnCurve(to, p, t);
        if (d < 0.0f || double(d) > tol)
            return false;
    }
    return true;
}

bool coincide(CParametricGeometry* a, CParametricGeometry* b, double tol)
{
    const Interval da = a->getDomain(0), db = b->getDomain(0);
    return runsAlong(a, da.min, da.max, b, tol) && runsAlong(b, db.min, db.max, a, tol);
}

// The faces' corners among the skin's vertices, for the T-join search: the
// vertices at the ends of each curve, and the corners of the loop each
// curve runs in (the ends of the curves of its chain).
class LoopCorners {
public:
    LoopCorners(const Kor::List<CParametricGeometry*>& curveList, VertexHash& hash, double tol)
        : tol(tol)
    {
        for (CParametricGeometry* c : curveList) {
            const Interval d = c->getDomain(0);
            CTopoV* a = nearestVertex(hash, toVertex(c->getPoint(d.min, 0.0)), tol, nullptr);
            CTopoV* b = nearestVertex(hash, toVertex(c->getPoint(d.max, 0.0)), tol, nullptr);
            ends[c] = {a, b};
            if (a != nullptr && b != nullptr)
                between[key(a, b)].push_back(c);
        }
        for (CParametricGeometry* c : curveList) {
            if (cornersOf.count(c) != 0)
                continue;
            auto loop = std::make_shared<std::unordered_set<const CTopoV*>>();
            std::vector<CParametricGeometry*> chain{c};
            for (CParametricGeometry* g = c->getNext();
                 g != nullptr && g != c && int(chain.size()) <= curveList.count; g = g->getNext())
                chain.push_back(g);
            for (CParametricGeometry* g = c->getPrevious();
                 g != nullptr && g != c && int(chain.size()) <= 2 * curveList.count;
                 g = g->getPrevious())
                chain.push_back(g);
            for (CParametricGeometry* g : chain)
                if (const auto at = ends.find(g); at != ends.end()) {
                    loop->insert(at->second.first);
                    loop->insert(at->second.second);
                    cornersOf.emplace(g, loop);
                }
        }
    }

    // Whether V is a corner of a face that c bounds, or that a curve
    // running along c between the same vertices bounds (the face across
    // c): such a corner faces c across its face and is no point of c,
    // however near it comes.
    bool acrossFrom(const CTopoV* V, CParametricGeometry* c) const
    {
        if (isCornerOf(V, c))
            return true;
        const auto at = ends.find(c);
        if (at == ends.end() || at->second.first == nullptr || at->second.second == nullptr)
            return false;
        const auto along = between.find(key(at->second.first, at->second.second));
        if (along == between.end())
            return false;
        for (CParametricGeometry* g : along->second)
            if (g != c && isCornerOf(V, g) && coincide(c, g, tol))
                return true;
        return false;
    }

private:
    using VertexPair = std::pair<const CTopoV*, const CTopoV*>;
    double tol;
    std::unordered_map<const CParametricGeometry*, std::pair<CTopoV*, CTopoV*>> ends;
    std::unordered_map<const CParametricGeometry*,
                       std::shared_ptr<std::unordered_set<const CTopoV*>>>
        cornersOf;
    // The curves between two vertices, in the order of the list.
    std::map<VertexPair, std::vector<CParametricGeometry*>> between;

    static VertexPair key(const CTopoV* a, const CTopoV* b)
    {
        return lessIdentity(a, b) ? VertexPair(a, b) : VertexPair(b, a);
    }
    bool isCornerOf(const CTopoV* V, const CParametricGeometry* c) const
    {
        const auto at = cornersOf.find(c);
        return at != cornersOf.end() && at->second->count(V) != 0;
    }
};

// Phase 2: every curve interior point that lies on a skin vertex. The match
// tolerance follows the shortest curves (up to three quarters of them), and
// a face's corner across from one of its sides may come within it of that
// side, away from its ends (a triangle's corner facing its long side, the
// corner of a sheared cell facing its base): such a corner is no point of
// the side, and cutting the side there pairs its pieces with the face's
// other sides. A neighbour's corner on a side is one, however far the
// curves of an unhealed net let it lie off the side.
void collectTJoins(Kor::List<CParametricGeometry*>& curveList, const Kor::List<CTopoV*>& vertices,
                   const LoopCorners& corners, double tol, CProgress* sink, bool& cancelled,
                   Kor::Set<CPointOnCurveAndVertex>& tJoins)
{
    const double tol2 = tol * tol;
    // A T-join lies within tol of its curve, so within tol of the curve's
    // box but for the little the curve bulges between the box's samples:
    // twice that leaves a margin. Ten times took in, for every vertex of a
    // net of small faces, the curves of its whole neighbourhood, and their
    // projections grew with the square of the faces (a fifth of a 900-face
    // commit went on them).
    const float grow = float(2.0 * tol);
    // Boxes refreshed here: a curve's cached box may be older than its
    // surface.
    std::vector<CBox<float, 3>> boxes(std::size_t(curveList.count));
    for (int i = 0; i < curveList.count; ++i) {
        curveList[i]->updateBoundingBox(0);
        boxes[std::size_t(i)] = curveList[i]->box;
    }
    std::vector<CParametricGeometry*> candidates;
    for (CTopoV* V : vertices) {
        if (stepCancelled(sink)) {
            cancelled = true;
            return;
        }
        candidates.clear();
        for (int i = 0; i < curveList.count; ++i) {
            const CBox<float, 3>& b = boxes[std::size_t(i)];
            bool inside = true;
            for (int a = 0; a < 3 && inside; ++a)
                inside = V->data[a] >= double(b.min.data[a] - grow) &&
                         V->data[a] <= double(b.max.data[a] + grow);
            if (inside)
                candidates.push_back(curveList[i]);
        }
        std::sort(candidates.begin(), candidates.end(), lessIdentity);
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        const Vector p = toVector(*V);
        for (CParametricGeometry* c : candidates) {
            const Interval d = c->getDomain(0);
            double t = 0.5 * d.min + 0.5 * d.max;
            startParameterOnCurve(*c, p, t);
            const float distance = projectPointOnCurve(c, p, t);
            if (distance < 0.0f || !(double(distance) < tol))
                continue;
            const Vector P = c->getPoint(t, 0.0);
            if (squaredDistance(P, c->getStartPoint()) <= tol2 ||
                squaredDistance(P, c->getEndPoint()) <= tol2)
                continue;
            if (corners.acrossFrom(V, c))
                continue;
            const CPointOnCurveAndVertex join(toVertex(P), c, t, V);
            const int before = tJoins.count;
            tJoins.findOrInsert(join, &lessTJoin);
            if (tJoins.count != before && tJoins.count % 1000 == 0)
                std::cout << " TJoinList.getCard() = " << tJoins.count << std::endl;
        }
    }
}

// Follows the chain from `from` through the next links and reports a link
// whose next does not lead back.
void checkChain(CParametricGeometry* from)
{
    CParametricGeometry* x = from;
    for (int k = 0; k < kChainCheckSteps; ++k) {
        CParametricGeometry* y = x->getNext();
        if (y == nullptr)
            return;
        if (y->getPrevious() != x) {
            std::cout << "daiys chain is broken" << std::endl;
            return;
        }
        x = y;
        if (x == from)
            return;
    }
}

void dumpCurve(const char* name, CParametricGeometry* curve, bool always)
{
    std::unique_ptr<Fenwo::NurbsSurf> copy(resampleAndReInterpolate(curve, 0.01, 3, false));
    if (copy == nullptr)
        return;
    if (!always && !isLoggingEnabled())
        return;
    // Appended on every run: bounded, so that it cannot grow for ever.
    CBoundedDump dump(name, true);
    if (std::ostream* out = dump.entry()) {
        copy->write(*out);
        *out << '\n';
    }
}

void pair(CSkinTopology::CHalfEdge* a, CSkinTopology::CHalfEdge* b)
{
    if (a->partner != nullptr)
        std::cout << " overwriting a Partner! creating non-manifold things " << std::endl;
    ++a->partnerCount;
    a->target = b->origin;
    a->partner = b;
}

// The `length` curves of the loop from position `first` on (taken
// cyclically) as one new curve on the surface of the first: their (u, v)
// curves, each as it runs in the loop, joined end to start. Null when a
// curve is no NURBS curve on that surface or the join fails; the loop's
// curves are not changed.
CParCurve* joinLoopCurves(const CLoop& loop, int first, int length)
{
    CParametricGeometry* surface = loop.getCurve(first)->surface;
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> copies;
    Kor::Array<Fenwo::NurbsSurf*> uvCurves;
    for (int k = 0; k < length; ++k) {
        const CParCurve* curve = loop.getCurve(first + k);
        const auto* uv = dynamic_cast<const Fenwo::NurbsSurf*>(curve->getUVCurve());
        if (uv == nullptr || curve->surface != surface)
            return nullptr;
        // A copy takes no reversal flag: it is reversed in its control
        // points instead.
        copies.push_back(std::make_unique<Fenwo::NurbsSurf>(*uv));
        Fenwo::NurbsSurf* copy = copies.back().get();
        if (uv->isUReversed())
            copy->invertDirection(0);
        uvCurves.append(copy);
    }
    IndexSubset<Fenwo::NurbsSurf*> chain(&uvCurves, length);
    for (int k = 0; k < length; ++k)
        chain.append(k);
    Fenwo::NurbsSurf* joined = joinCurvesC1(chain, Kor::Array<int>(), 0.0, false, false);
    return joined != nullptr ? new CParCurve(joined, surface, false) : nullptr;
}

} // namespace

Kor::List<CParametricGeometry*> CTopoV::getCurves() const
{
    Kor::List<CParametricGeometry*> out;
    for (const auto& entry : curves)
        out.append(entry.second);
    return out;
}

bool CSkinTopology::CHalfEdge::less(const CHalfEdge* a, const CHalfEdge* b)
{
    if (a->origin != b->origin)
        return lessIdentity(a->origin, b->origin);
    return lessIdentity(a->curve, b->curve);
}

CSkinTopology::CSkinTopology() = default;

CSkinTopology::~CSkinTopology()
{
    clearSkin();
    releasePieces();
}

void CSkinTopology::clearSkin()
{
    halfEdges.removeAll(true, false);
    halfEdgesInOrder.removeAll();
    sharedVertices.clear();
    vertices.deleteAll();
    globalToLocalFaces.deleteAll();
}

void CSkinTopology::joinStandIns()
{
    // Each stand-in's original as the face holds it: a piece cut again
    // stands for the curve the first cut was made in.
    std::unordered_map<const CParametricGeometry*, SplitCurve*> parentOf; // piece -> split
    for (SplitCurve* split : splits)
        for (CParametricGeometry* piece : split->pieces)
            parentOf[piece] = split;
    std::unordered_map<const CParametricGeometry*, const CParametricGeometry*> originalOf;
    for (SplitCurve* split : splits) {
        const CParametricGeometry* original = split->original;
        for (auto it = parentOf.find(original); it != parentOf.end(); it = parentOf.find(original))
            original = it->second->original;
        for (CParametricGeometry* standIn : split->standIns)
            originalOf[standIn] = original;
    }
    if (originalOf.empty())
        return;
    const auto originalOfCurve = [&](const CParCurve* c) -> const CParametricGeometry* {
        const auto it = originalOf.find(c);
        return it != originalOf.end() ? it->second : nullptr;
    };
    for (CFace* face : faces) {
        if (face == nullptr)
            continue;
        bool joined = false;
        for (CLoop* loop : face->trimLoops) {
            const int n = loop->getCard();
            // The walk starts where a run starts; a loop made of one
            // original's stand-ins alone is left as it is.
            int start = -1;
            for (int i = 0; i < n && start < 0; ++i)
                if (originalOfCurve(loop->getCurve(i)) == nullptr ||
                    originalOfCurve(loop->getCurve(i)) != originalOfCurve(loop->getCurve(i - 1)))
                    start = i;
            if (n < 2 || start < 0)
                continue;
            Kor::List<CParCurve*> curves, joinedRuns;
            for (int i = 0; i < n;) {
                CParCurve* first = loop->getCurve(start + i);
                const CParametricGeometry* original = originalOfCurve(first);
                int length = 1;
                while (original != nullptr && i + length < n &&
                       originalOfCurve(loop->getCurve(start + i + length)) == original)
                    ++length;
                CParCurve* whole = length > 1 ? joinLoopCurves(*loop, start + i, length) : nullptr;
                for (int k = 0; k < length; ++k)
                    (whole != nullptr ? joinedRuns : curves).append(loop->getCurve(start + i + k));
                if (whole != nullptr)
                    curves.append(whole);
                i += length;
            }
            loop->curves = curves;
            joinedRuns.deleteAll();
            joined = joined || curves.count < n;
        }
        if (joined) {
            face->getAllCONS(false, true);
            face->updateTrimLoops();
        }
    }
}

void CSkinTopology::releasePieces()
{
    if (splits.count == 0)
        return;
    joinStandIns();
    std::unordered_set<const CParametricGeometry*> held;
    for (CFace* face : faces)
        if (face != nullptr)
            for (CLoop* loop : face->trimLoops)
                for (CParCurve* c : loop->curves)
                    held.insert(c);
    std::unordered_map<const CParametricGeometry*, SplitCurve*> splitOf;  // original -> split
    std::unordered_map<const CParametricGeometry*, SplitCurve*> parentOf; // piece -> split
    for (SplitCurve* split : splits) {
        splitOf[split->original] = split;
        for (CParametricGeometry* piece : split->pieces)
            parentOf[piece] = split;
    }
    // A piece stands for the curve it was cut from, up to the face's own.
    auto original = [&](CParametricGeometry* g) {
        for (auto it = parentOf.find(g); it != parentOf.end(); it = parentOf.find(g))
            g = it->second->original;
        return g;
    };
    // A piece cut again is followed down to the piece now in the chain.
    auto firstInChain = [&](CParametricGeometry* g) {
        for (auto it = splitOf.find(g); it != splitOf.end(); it = splitOf.find(g))
            g = it->second->pieces[0];
        return g;
    };
    auto lastInChain = [&](CParametricGeometry* g) {
        for (auto it = splitOf.find(g); it != splitOf.end(); it = splitOf.find(g))
            g = it->second->pieces[it->second->pieces.count - 1];
        return g;
    };
    for (SplitCurve* split : splits) {
        CParametricGeometry* c = split->original;
        if (held.count(c) == 0)
            continue;
        CParametricGeometry* previous = original(firstInChain(c)->getPrevious());
        CParametricGeometry* next = original(lastInChain(c)->getNext());
        c->setPrevious(held.count(previous) != 0 ? previous : nullptr);
        c->setNext(held.count(next) != 0 ? next : nullptr);
        if (c->getPrevious() != nullptr)
            c->getPrevious()->setNext(c);
        if (c->getNext() != nullptr)
            c->getNext()->setPrevious(c);
    }
    for (SplitCurve* split : splits) {
        split->pieces.deleteAll();
        delete split;
    }
    splits.removeAll();
}

CSkinTopology::CHalfEdge*
CSkinTopology::findOrInsertHalfEdge(CTopoV* origin, CParametricGeometry* curve, bool* made)
{
    CHalfEdge key(origin, curve);
    int at = -1;
    if (halfEdges.find(&key, at, &CHalfEdge::less)) {
        if (made != nullptr)
            *made = false;
        return halfEdges.items[at];
    }
    CHalfEdge* h = halfEdges.insertAt(new CHalfEdge(origin, curve), at);
    halfEdgesInOrder.append(h);
    if (made != nullptr)
        *made = true;
    return h;
}

CSkinTopology::CHalfEdge* CSkinTopology::findHalfEdge(const CTopoV* origin,
                                                      const CParametricGeometry* curve) const
{
    CHalfEdge key(const_cast<CTopoV*>(origin), const_cast<CParametricGeometry*>(curve));
    int at = -1;
    return halfEdges.find(&key, at, &CHalfEdge::less) ? halfEdges.items[at] : nullptr;
}

CSkinTopology::CHalfEdge* CSkinTopology::findHalfEdge(const CParametricGeometry* curve) const
{
    for (CHalfEdge* h : halfEdgesInOrder)
        if (h->curve == curve)
            return h;
    return nullptr;
}

Kor::List<CSkinTopology::CHalfEdge*> CSkinTopology::getInnerEdgePairs()
{
    Kor::List<CHalfEdge*> out;
    for (CHalfEdge* h : halfEdgesInOrder)
        if (h->partnerCount == 1)
            h->visited = 0;
    for (CHalfEdge* h : halfEdgesInOrder) {
        if (h->partnerCount != 1 || h->visited != 0 || h->partner == nullptr ||
            h->partner->visited != 0)
            continue;
        out.append(h);
        h->visited = 1;
        h->partner->visited = 1;
    }
    return out;
}

Kor::List<CParametricGeometry*> CSkinTopology::getInnerCurves() const
{
    Kor::List<CParametricGeometry*> out;
    for (CHalfEdge* h : halfEdgesInOrder)
        if (h->partnerCount == 1)
            out.append(h->curve);
    return out;
}

Kor::List<CParametricGeometry*> CSkinTopology::getJunctionCurves() const
{
    Kor::List<CParametricGeometry*> out;
    for (CHalfEdge* h : halfEdgesInOrder)
        if (h->partnerCount != 1 && h->origin != nullptr && h->origin->curves.count > 2)
            for (const auto& entry : h->origin->curves)
                out.append(entry.second);
    return out;
}

CFace* CSkinTopology::faceOfCurve(const CParametricGeometry* curve) const
{
    const CCONS* c = dynamic_cast<const CCONS*>(curve);
    if (c == nullptr)
        return nullptr;
    const Fenwo::NurbsSurf* surface = dynamic_cast<const Fenwo::NurbsSurf*>(c->surface);
    return surface != nullptr ? findFaceBySurface(surface) : nullptr;
}

void FaceNeighbours::addSide(const CFace* a, const CFace* b)
{
    sides.insert({a, b});
    sides.insert({b, a});
    addPoint(a, b);
}

void FaceNeighbours::addPoint(const CFace* a, const CFace* b)
{
    points.insert({a, b});
    points.insert({b, a});
}

void FaceNeighbours::addPoint(const CFace* a, const CFace* b, const CVertex<double, 3>& at)
{
    addPoint(a, b);
    places[{a, b}].push_back(at);
    places[{b, a}].push_back(at);
}

bool CSkinTopology::sharesSide(const CFace* a, const CFace* b) const
{
    return a != b && (neighbours == nullptr || neighbours->sides.count({a, b}) != 0);
}

bool CSkinTopology::sharesPoint(const CFace* a, const CFace* b) const
{
    return a != b && (neighbours == nullptr || neighbours->points.count({a, b}) != 0);
}

bool CSkinTopology::sharesPointAt(const CFace* a, const CFace* b, const CTopoV* V) const
{
    if (!sharesPoint(a, b))
        return false;
    if (neighbours == nullptr)
        return true;
    const auto at = neighbours->places.find({a, b});
    return at == neighbours->places.end() || at->second.empty() ||
           sharedVertices.count({V, a, b}) != 0;
}

int CSkinTopology::rankOfCurve(const CParametricGeometry* curve) const
{
    const CFace* face = faceOfCurve(curve);
    return face != nullptr ? face->spareFlag : 0;
}

Kor::List<CCONS*> CSkinTopology::getFaceCurves(CFace* face)
{
    Kor::List<CCONS*> out;
    if (face == nullptr || face->surface == nullptr)
        return out;
    // The walk starts in the outer loop, at its first curve that the skin
    // holds (a curve cut at T-joins by its first piece), so that it never
    // runs around a hole; failing that at the first half-edge on the face.
    CParametricGeometry* start = nullptr;
    if (face->trimLoops.count > 0) {
        std::unordered_map<const CParametricGeometry*, SplitCurve*> splitOf;
        for (SplitCurve* split : splits)
            splitOf[split->original] = split;
        for (CParCurve* c : face->trimLoops[0]->curves) {
            CParametricGeometry* g = c;
            for (auto it = splitOf.find(g); it != splitOf.end(); it = splitOf.find(g))
                g = it->second->pieces[0];
            if (findHalfEdge(g) != nullptr) {
                start = g;
                break;
            }
        }
    }
    for (int k = 0; start == nullptr && k < halfEdgesInOrder.count; ++k) {
        const CCONS* c = dynamic_cast<const CCONS*>(halfEdgesInOrder[k]->curve);
        if (c != nullptr && c->surface == face->surface)
            start = halfEdgesInOrder[k]->curve;
    }
    if (start == nullptr)
        return out;
    CParametricGeometry* g = start;
    for (int steps = 0; g != nullptr && steps < std::max(halfEdgesInOrder.count, 1); ++steps) {
        if (findHalfEdge(g) == nullptr) {
            std::cout << " curve not found in Skin!" << std::endl;
            dumpCurve("c:/tmp/next.out", g, false);
        }
        if (CCONS* c = dynamic_cast<CCONS*>(g))
            out.append(c);
        g = g->getNext();
        if (g == start)
            break;
    }
    return out;
}

bool CSkinTopology::replaceFaceCurves(CHalfEdge* start, CLoop& newLoop)
{
    const int n = newLoop.getCard();
    for (int i = 0; i < n; ++i) {
        newLoop.getCurve(i)->setNext(newLoop.getCurve(i + 1));
        newLoop.getCurve(i)->setPrevious(newLoop.getCurve(i - 1));
    }
    if (start == nullptr || start->curve == nullptr)
        return false;
    Kor::List<CHalfEdge*> chain;
    CParametricGeometry* g = start->curve;
    for (int steps = 0; g != nullptr && steps < halfEdgesInOrder.count; ++steps) {
        CHalfEdge* h = findHalfEdge(g);
        if (h == nullptr)
            return false;
        chain.append(h);
        g = g->getNext();
        if (g == start->curve)
            break;
    }
    if (chain.count != n)
        return false;
    for (int i = 0; i < n; ++i) {
        CParametricGeometry* old = chain[i]->curve;
        CParametricGeometry* fresh = newLoop.getCurve(i);
        // A stand-in healed again gives its place to the new one.
        for (SplitCurve* split : splits) {
            int at = -1;
            for (int k = 0; k < split->standIns.count && at < 0; ++k)
                if (split->standIns[k] == old)
                    at = k;
            if (at >= 0)
                split->standIns[at] = fresh;
            else if (split->pieces.contains(old))
                split->standIns.append(fresh);
            else
                continue;
            break;
        }
        chain[i]->curve = fresh;
        for (CTopoV* V : vertices)
            for (auto& entry : V->curves)
                if (entry.second == old)
                    entry.second = fresh;
    }
    // The set is ordered by curve identity too.
    std::sort(halfEdges.items, halfEdges.items + halfEdges.count,
              [](const CHalfEdge* a, const CHalfEdge* b) { return CHalfEdge::less(a, b); });
    return true;
}

double fadeWeight(double d, double reach)
{
    return d >= reach ? 0.0 : d <= 0.0 ? 1.0 : 0.5 * (1.0 + std::cos(M_PI * d / reach));
}

double nearerEndParameter(CParametricGeometry* curve, const Vector& point, bool* atEnd)
{
    const Interval d = curve->getDomain(0);
    const double toStart = squaredDistance(curve->getPoint(d.min, 0.0), point);
    const double toEnd = squaredDistance(curve->getPoint(d.max, 0.0), point);
    const bool end = toEnd <= toStart;
    if (atEnd != nullptr)
        *atEnd = end;
    return end ? d.max : d.min;
}

namespace {

bool partnerPointNear(const CSkinTopology::CHalfEdge& h, bool atStart, Vector& out)
{
    if (h.curve == nullptr || h.partner == nullptr || h.partner->curve == nullptr)
        return false;
    const Vector p = atStart ? h.curve->getStartPoint() : h.curve->getEndPoint();
    CParametricGeometry* other = h.partner->curve;
    out = other->getPoint(nearerEndParameter(other, p, nullptr), 0.0);
    return true;
}

} // namespace

bool CSkinTopology::partnerPointAtStart(const CHalfEdge& h, Vector& out) const
{
    return partnerPointNear(h, true, out);
}

bool CSkinTopology::partnerPointAtEnd(const CHalfEdge& h, Vector& out) const
{
    return partnerPointNear(h, false, out);
}

CVertex<double, 3> lerpVertex(double t, const CVertex<double, 3>& a, const CVertex<double, 3>& b)
{
    CVertex<double, 3> out;
    for (int i = 0; i < 3; ++i)
        out.data[i] = (1.0 - t) * a.data[i] + t * b.data[i];
    return out;
}

CParametricGeometry*
findCoincidentCurve(CTopoV* V, CTopoV* other, CParametricGeometry* c, double a, double b,
                    double tol, const std::function<bool(const CParametricGeometry*)>& joinable)
{
    // Each of the two curves' quarter points must lie within tol of the other.
    for (const auto& entry : V->curves) {
        CParametricGeometry* g = entry.second;
        if (entry.first != other || g == c || (joinable && !joinable(g)))
            continue;
        const Interval dg = g->getDomain(0);
        if (runsAlong(c, a, b, g, tol) && runsAlong(g, dg.min, dg.max, c, tol))
            return g;
    }
    return nullptr;
}

bool buildSkin(Kor::List<CParametricGeometry*>& curveList, CSkinTopology* skin, double dMatchTol,
               CProgress* progress)
{
    if (skin == nullptr)
        return false;
    const double tol = dMatchTol;
    skin->clearSkin();
    skin->dMatchTol = tol;
    CProgress* sink = progress != nullptr ? progress : skin->progress;

    // Phase 1: the curve ends, merged within tol.
    VertexHash hash;
    HashRelease release{hash};
    hash.setCellSize(2.0 * tol);
    for (CParametricGeometry* c : curveList) {
        const Interval d = c->getDomain(0);
        for (double t : {d.min, d.max}) {
            const CVertex<double, 3> p = toVertex(c->getPoint(t, 0.0));
            if (nearestVertex(hash, p, tol, nullptr) != nullptr)
                continue;
            auto* V = new CTopoV(p);
            if (hash.insert(*V, true, true) == V)
                skin->vertices.append(V);
            else
                delete V;
        }
    }

    // The vertices the points the faces share fall into: the nearest to
    // each place.
    if (skin->neighbours != nullptr)
        for (const auto& [pair, places] : skin->neighbours->places)
            for (const CVertex<double, 3>& place : places)
                if (const CTopoV* V = nearestVertex(hash, place, tol, nullptr))
                    skin->sharedVertices.insert({V, pair.first, pair.second});

    // Phase 2: vertices on curve interiors.
    beginPhase(sink, "connect edges (2/3)", skin->vertices.count);
    Kor::Set<CPointOnCurveAndVertex> tJoins;
    bool cancelled = false;
    const LoopCorners corners(curveList, hash, tol);
    collectTJoins(curveList, skin->vertices, corners, tol, sink, cancelled, tJoins);
    if (cancelled)
        return false;
    if (isLoggingEnabled()) {
        std::cout << "Skin has " << skin->vertices.count << " vertices. " << std::endl;
        if (tJoins.count > 0)
            std::cout << " tJoinList how has " << tJoins.count << " joins " << std::endl;
    }

    // Phase 2.1: curves cut at their T-joins.
    beginPhase(sink, "connect edges (2.1/3)", curveList.count);
    Kor::List<int> replaced;
    const int originalCount = curveList.count;
    for (int i = 0; i < originalCount; ++i) {
        if (stepCancelled(sink))
            return false;
        CParametricGeometry* c = curveList[i];
        const Interval d = c->getDomain(0);
        Kor::List<double> parameters;
        parameters.append(d.min);
        const CPointOnCurveAndVertex key(CVertex<double, 3>(), c, -DBL_MAX, nullptr);
        int at = -1;
        tJoins.find(&key, at, &lessTJoin);
        for (int k = at + 1; k < tJoins.count && tJoins.items[k]->curve == c; ++k)
            parameters.append(tJoins.items[k]->parameter);
        parameters.append(d.max);
        if (parameters.count <= 2)
            continue;
        auto split = std::make_unique<CSkinTopology::SplitCurve>();
        split->original = c;
        for (int k = 0; k + 1 < parameters.count; ++k) {
            CParametricGeometry* piece = c->clone();
            if (piece == nullptr)
                break;
            piece->setDomain(0, Interval(parameters[k], parameters[k + 1]));
            split->pieces.append(piece);
        }
        if (split->pieces.count != parameters.count - 1) {
            split->pieces.deleteAll();
            continue;
        }
        Kor::List<CParametricGeometry*>& pieces = split->pieces;
        CParametricGeometry* first = pieces[0];
        CParametricGeometry* last = pieces[pieces.count - 1];
        CParametricGeometry* previous = c->getPrevious() == c ? last : c->getPrevious();
        CParametricGeometry* next = c->getNext() == c ? first : c->getNext();
        first->setPrevious(previous);
        if (previous != nullptr)
            previous->setNext(first);
        for (int k = 0; k + 1 < pieces.count; ++k) {
            pieces[k]->setNext(pieces[k + 1]);
            pieces[k + 1]->setPrevious(pieces[k]);
        }
        last->setNext(next);
        if (next != nullptr)
            next->setPrevious(last);
        c->setNext(nullptr);
        c->setPrevious(nullptr);
        checkChain(last);
        for (CParametricGeometry* piece : pieces)
            curveList.append(piece);
        skin->splits.append(split.release());
        replaced.append(i);
    }
    for (int k = replaced.count - 1; k >= 0; --k)
        curveList.removeAt(replaced[k]);
    tJoins.removeAll(true, false);

    // Phase 3: half-edges, coinciding curves paired.
    beginPhase(sink, "connect edges (3/3)", curveList.count);
    int skipped = 0;
    for (int i = 0; i < curveList.count; ++i) {
        if (stepCancelled(sink))
            return false;
        CParametricGeometry* c = curveList[i];
        const Interval d = c->getDomain(0);
        const CVertex<double, 3> p0 = toVertex(c->getPoint(d.min, 0.0));
        const CVertex<double, 3> p1 = toVertex(c->getPoint(d.max, 0.0));
        bool any0 = false, any1 = false;
        CTopoV* pV0 = nearestVertex(hash, p0, tol, &any0);
        if (pV0 == nullptr) {
            std::cout << "unexpected: pV0 not found." << std::endl;
            if (!any0)
                std::cout << " no neighbor! "
                          << "d0=" << hash.nearestDistance(p0) << std::endl;
        }
        CTopoV* pV1 = nearestVertex(hash, p1, tol, &any1);
        if (pV1 == nullptr) {
            std::cout << "unexpected:pV1 not found." << std::endl;
            if (!any1)
                std::cout << " no neighbor! "
                          << "d1=" << hash.nearestDistance(p1) << std::endl;
        }
        if (pV0 == nullptr || pV1 == nullptr) {
            std::cout << "oops not 2 connections found, skipping this curve" << std::endl;
            dumpCurve("c:/tmp/no-curves.out", c, true);
            ++skipped;
            continue;
        }
        // Two faces that do not share a side are not joined along these
        // curves, however close they run; a curve of a face that does is
        // sought among all that run along c (a sheet over c's face, both
        // sides of a thin part, may have its curve registered first).
        const CFace* face = nullptr;
        const auto neighbour = [&](const CParametricGeometry* g) {
            if (face == nullptr)
                face = skin->faceOfCurve(c);
            return skin->sharesSide(face, skin->faceOfCurve(g));
        };
        CParametricGeometry* g =
            skin->neighbours != nullptr
                ? findCoincidentCurve(pV0, pV1, c, d.min, d.max, tol, neighbour)
                : findCoincidentCurve(pV0, pV1, c, d.min, d.max, tol);
        if (g == nullptr) {
            CSkinTopology::CHalfEdge* h = skin->findOrInsertHalfEdge(pV1, c, nullptr);
            h->target = pV0;
            pV0->curves.append({pV1, c});
            pV1->curves.append({pV0, c});
            continue;
        }
        CSkinTopology::CHalfEdge* hg = skin->findHalfEdge(pV1, g);
        const bool gAtEnd = hg != nullptr;
        if (hg == nullptr)
            hg = skin->findHalfEdge(pV0, g);
        if (hg == nullptr) {
            // g is registered at pV0; its half-edge starts there.
            std::cout << "creating a fresh coedge" << std::endl;
            hg = skin->findOrInsertHalfEdge(pV0, g, nullptr);
        }
        bool made = false;
        CSkinTopology::CHalfEdge* hc = skin->findOrInsertHalfEdge(gAtEnd ? pV0 : pV1, c, &made);
        if (!made)
            std::cout << "non-manifold edge at " << i << std::endl;
        pair(hc, hg);
        pair(hg, hc);
    }

    if (isLoggingEnabled()) {
        std::cout << "skipped " << skipped << " segments of total " << curveList.count
                  << " curveList.getCard() = " << curveList.count << std::endl;
        int outer = 0, inner = 0;
        std::map<int, int> valences;
        for (CSkinTopology::CHalfEdge* h : skin->halfEdgesInOrder) {
            if (h->partnerCount == 0)
                ++outer;
            if (h->partnerCount == 1) {
                ++inner;
                ++valences[h->origin->curves.count];
            }
        }
        std::cout << "skin has " << outer << " outer edges " << std::endl;
        for (const auto& [valence, count] : valences)
            std::cout << "valence " << valence << " : " << count << std::endl;
        std::cout << "skin has " << inner / 2 << " inner edges " << std::endl;
    }
    return true;
}

} // namespace FENWO_SKIN
