// The surface update of the net: the loops to recompute, their coedges, and
// per face a blend, the approximation, a Coons surface fitted to the mesh or
// an equispaced surface; the face displays and the small operations around
// them (clearing, counting, colouring).
#include "curves/CurveLoops.h"
#include "curves/CurveOperations.h"
#include "curves/SubCurves.h"
#include "display/entities/OpenGLSasSurf.h"
#include "fitting/BoundaryPlacement.h"
#include "fitting/ConstrainedSurfaceFit.h"
#include "fitting/CurveFitting.h"
#include "fitting/FaceSurface.h"
#include "fitting/HitSelection.h"
#include "foundation/KorArray.h"
#include "foundation/Logging.h"
#include "foundation/Progress.h"
#include "foundation/StopUhr.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "healing/CoEdge.h"
#include "healing/SeamPatches.h"
#include "mesh/GridPoint.h"
#include "net/Face.h"
#include "net/FaceApproximation.h"
#include "net/FaceSetup.h"
#include "net/FailureMessages.h"
#include "net/SurfaceNet.h"
#include "platform/GLContext.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <set>
#include <vector>

namespace GB {

namespace {

// Sets the net's busy byte for the life of an update and clears it on every
// way out.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : busy(flag) { busy = true; }
    ~BusyScope() { busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy;
};

const Gridbench::CGridPoint* targetGridPoint(const GraphAlgorithm::CHalfEdge* h)
{
    const auto* node = h != nullptr ? dynamic_cast<const _CVertex*>(h->target) : nullptr;
    return node != nullptr ? dynamic_cast<const Gridbench::CGridPoint*>(node->point) : nullptr;
}

// The number of distinct poly-lines the loop's half-edges run along.
int distinctPolyLines(const Loop* loop)
{
    std::set<const COffset_PointList*> lines;
    for (int i = 0; i < loop->cycle.count; ++i)
        if (const GraphAlgorithm::CHalfEdge* h = loop->cycle.items[i]; h != nullptr)
            lines.insert(h->polyLine);
    lines.erase(nullptr);
    return int(lines.size());
}

// The boundary curves of the loop (new, owned by the caller), one per run of
// a poly-line.
bool loopBoundaryCurves(Loop* loop, Kor::List<CParametricGeometry*>& out)
{
    return loop->getBoundaryCurves(out, true);
}

// Whether a coedge of the loop lies on a poly-line with a locked curve.
bool runsAlongLockedCurve(const Loop* loop)
{
    for (const CCoEdge* c : loop->coedges)
        if (c != nullptr && c->polyLine != nullptr && c->polyLine->curveLocked)
            return true;
    return false;
}

// The control points (in u) of a curve-like surface through the points, of
// degree min(3, n - 1), clamped on [0, 1].
Fenwo::NurbsSurf* curveThroughControlPoints(const std::vector<Vector>& points)
{
    const int n = int(points.size());
    const knots u(n - 1, std::min(3, n - 1), 0.0, 1.0);
    auto* curve = new Fenwo::NurbsSurf(u, nullptr);
    for (int i = 0; i < n; ++i)
        curve->setControlPoint(i, 0, points[std::size_t(i)], 1.0);
    return curve;
}

// The side resampled with n points at equal arc length, as the control
// points of a new curve; null when the side cannot be measured.
Fenwo::NurbsSurf* resampleSide(Fenwo::NurbsSurf* side, int n)
{
    Kor::List<double> t;
    if (!equalArcLengthParameters(side, n - 1, t) || t.count < 2)
        return nullptr;
    std::vector<Vector> points;
    for (double value : t)
        points.push_back(side->getPoint(value, 0.0));
    return curveThroughControlPoints(points);
}

// Matches the face's seams along poly-lines with attached curves to the
// curves and the neighbouring faces.
void matchSeams(Loop* loop)
{
    CSeamPatches patches;
    for (CCoEdge* c : loop->coedges) {
        if (c == nullptr || c->polyLine == nullptr || !c->polyLine->curveLocked)
            continue;
        bool listed = false;
        for (int k = 0; k < patches.seams.count && !listed; ++k)
            listed = patches.seams.items[k] == c;
        if (!listed)
            patches.seams.append(c);
    }
    if (patches.seams.count == 0)
        return;
    std::cout << "refreshing #seams=" << patches.seams.count << std::endl;
    patches.healSeams(0.001, 10, false, 0.5, 0);
}

// Shows the surface of the loop's face as a trimmed face bounded by its
// domain; the trimmed face owns the surface the face refers to.
void showAsTrimmedFace(CSurfaceNet& net, Loop* loop, Fenwo::NurbsSurf* s)
{
    auto* trimmed = new CFace(s);
    trimmed->MeshDistance = 0.5 * net.surfaceTolerance;
    net.updateFaceDisplay(trimmed, loop, true);
}

// The approximation of the mesh inside the loop by a trimmed face. Without
// a result the loop is marked failed, so it is not queued again until a
// point of it changes or the mesh does, and "Face
// " k " of " n " has no surface" names it after the line of the
// approximation that tells why: k counts the net's n faces from its first,
// as they stand now (a face added later comes first and moves the others
// on). The options dialog's "Surf Mesh Distance" asks for the face's error
// points.
void approximateFace(CSurfaceNet& net, Loop* loop, bool draftOnly)
{
    Face* face = loop->owner;
    CFace* trimmed =
        selectAndApprox(loop, net.mesh, nullptr, net.faceColorCoding.get(), net.surfaceQuality == 1,
                        net.progress, net.surfaceTolerance, draftOnly, net.surfaceMeshDistance);
    if (trimmed == nullptr) {
        int number = 0, count = 0;
        for (const Face* f = net.firstFace; f != nullptr; f = f->next) {
            ++count;
            if (f == face)
                number = count;
        }
        std::cout << "Face " << number << " of " << count << " " << FailureMessages::kNoSurface
                  << std::endl;
        loop->failed = true;
        net.updateFaceDisplay(nullptr, loop, false);
        return;
    }
    trimmed->MeshDistance = 0.5 * net.surfaceTolerance;
    net.updateFaceDisplay(trimmed, loop, true);
    face->computedState = draftOnly ? Draft : face->requestedState;
}

} // namespace

// ---- Coedges -------------------------------------------------------------------------------

namespace {

// The share of the net's tolerance within which a coedge's end is taken for
// a corner of its face's surface.
constexpr double kCornerReachShare = 0.2;

// The entry of the source (atSource) or the target of half-edge k of the
// ring in its poly-line: its own while it still holds that point, else the
// point's first entry; -1 without a grid point node.
int runEntry(const GraphAlgorithm::Cycle& ring, int k, bool atSource)
{
    const int n = ring.count;
    const GraphAlgorithm::CHalfEdge* h = ring.items[((k % n) + n) % n];
    const GraphAlgorithm::CHalfEdge* from = ring.items[(((k - 1) % n) + n) % n];
    const auto* node = dynamic_cast<const _CVertex*>(atSource ? from->target : h->target);
    if (node == nullptr || h->polyLine == nullptr)
        return -1;
    return h->polyLine->entryOf(atSource ? h->sourceEntry : h->targetEntry, node->point);
}

// The ends a and b of the run of half-edges first..last of the ring along
// one closed poly-line, on one count of its entries: a run that goes on
// round the closing segment ends past the last entry (or starts there when
// it runs backwards), each piece taken on from where the one before ended.
// a is the first piece's start entry; both are brought into 0 .. 2 count - 1
// with the smaller below count. False when the pieces do not follow each
// other (a poly-line changed since the ring was found).
bool chainRoundClosing(const GraphAlgorithm::Cycle& ring, int first, int last, int& a, int& b)
{
    const COffset_PointList* pl = ring.items[first % ring.count]->polyLine;
    const int count = pl->vertices.count;
    if (count <= 0)
        return false;
    a = runEntry(ring, first, true);
    int at = runEntry(ring, first, false);
    for (int k = first + 1; k <= last; ++k) {
        const int start = runEntry(ring, k, true);
        const int end = runEntry(ring, k, false);
        if (a < 0 || at < 0 || start < 0 || end < 0 || (at - start) % count != 0)
            return false;
        at = end + (at - start);
    }
    b = at;
    if (a < 0 || b < 0)
        return false;
    const int low = std::min(a, b);
    const int shift = (low >= 0 ? low / count : -((count - 1 - low) / count)) * count;
    a -= shift;
    b -= shift;
    return std::max(a, b) < 2 * count;
}

} // namespace

void CSurfaceNet::deleteCoEdges()
{
    for (Face* f = firstFace; f != nullptr; f = f->next)
        for (Loop* l = f->firstLoop; l != nullptr; l = l->next)
            l->coedges.removeAll();
    for (int i = 0; i < coedges.count; ++i)
        delete coedges.items[i];
    coedges.removeAll();
}

std::vector<Loop::RingRun> Loop::ringRuns() const
{
    std::vector<RingRun> runs;
    const int n = cycle.count;
    // A run starts where the ring leaves a stretch of a poly-line (a
    // poly-line that passes a node twice may bound the face with two
    // stretches that meet there); a ring along one poly-line has a run per
    // half-edge.
    auto lineOf = [&](int i) { return cycle.items[((i % n) + n) % n]->polyLine; };
    bool oneLine = true;
    for (int i = 1; i < n; ++i)
        oneLine = oneLine && lineOf(i) == lineOf(0);
    for (int i = 0; i < n; ++i) {
        COffset_PointList* pl = lineOf(i);
        if (pl == nullptr || (!oneLine && continuesPiece(i - 1)))
            continue;
        int last = i;
        while (!oneLine && last + 1 < i + n && continuesPiece(last))
            ++last;
        // The run's own entries: a point the poly-line passes twice has two.
        int a = runEntry(cycle, i, true);
        int b = runEntry(cycle, last, false);
        if (pl->closed && !chainRoundClosing(cycle, i, last, a, b))
            continue;
        if (a >= 0 && b >= 0)
            runs.push_back({pl, a, b});
    }
    return runs;
}

void CSurfaceNet::rebuildCoEdges(bool place)
{
    deleteCoEdges();
    for (Face* f = firstFace; f != nullptr; f = f->next)
        for (Loop* loop = f->firstLoop; loop != nullptr; loop = loop->next)
            for (const Loop::RingRun& run : loop->ringRuns()) {
                COffset_PointList* pl = run.polyLine;
                const int a = run.from, b = run.to;
                auto* coedge = new CCoEdge(a, b, pl);
                int at = -1;
                const auto less = [](const CCoEdge* x, const CCoEdge* y) { return *x < *y; };
                const auto place =
                    std::lower_bound(coedges.items, coedges.items + coedges.count, coedge, less);
                at = int(place - coedges.items);
                if (at < coedges.count && !less(coedge, coedges.items[at])) {
                    delete coedge;
                    coedge = coedges.items[at];
                } else {
                    // The ends' places in the poly-line: an entry reached
                    // round the closing segment of a closed one is that
                    // entry.
                    const int count = pl->vertices.count;
                    coedge->startIndex = coedge->firstIndex % count;
                    coedge->endIndex = coedge->secondIndex % count;
                    coedge->startGridPoint = pl->entryAt(coedge->firstIndex);
                    coedge->endGridPoint = pl->entryAt(coedge->secondIndex);
                    coedges.append(coedge);
                    std::rotate(coedges.items + at, coedges.items + coedges.count - 1,
                                coedges.items + coedges.count);
                }
                if (a <= b)
                    coedge->leftLoop = loop;
                else
                    coedge->rightLoop = loop;
                loop->coedges.append(coedge);
            }
    for (Face* f = firstFace; place && f != nullptr; f = f->next)
        placeSurfaceOnCoEdges(f);
}

void CSurfaceNet::placeSurfaceOnCoEdges(Face* face)
{
    auto* surface = face != nullptr ? dynamic_cast<Fenwo::NurbsSurf*>(face->surface) : nullptr;
    if (surface == nullptr)
        return;
    // A coedge's end stands at a corner of the surface within a share of
    // the net's tolerance, in metres as in millimetres (0.1 at 0.5).
    const double cornerReach =
        surfaceTolerance > 0.0 ? kCornerReachShare * surfaceTolerance : kDefaultCornerReach;
    for (Loop* loop = face->firstLoop; loop != nullptr; loop = loop->next)
        for (CCoEdge* c : loop->coedges) {
            if (c == nullptr || c->startGridPoint == nullptr || c->endGridPoint == nullptr)
                continue;
            Interval range(0.0, 0.0);
            const BoundaryPosition side = getBoundaryPOs(*c->startGridPoint, *c->endGridPoint,
                                                         surface, &range, nullptr, nullptr,
                                                         cornerReach);
            if (c->leftLoop == loop && !c->leftSet) {
                c->leftPosition = side;
                c->leftInterval = range;
            }
            if (c->rightLoop == loop && !c->rightSet) {
                c->rightPosition = side;
                c->rightInterval = range;
            }
        }
}

// ---- Selection -------------------------------------------------------------------------------

Kor::List<Loop*> CSurfaceNet::collectLoopsToUpdate(bool onlyModified, Face* onlyFace)
{
    Kor::List<Loop*> list;
    int counted = 0;
    for (Face* f = firstFace; f != nullptr; f = f->next)
        for (Loop* loop = f->firstLoop; loop != nullptr; loop = loop->next) {
            bool take = false;
            if (onlyFace != nullptr)
                take = f == onlyFace;
            else if (onlyModified)
                take = loop->isModified();
            else
                take = loop->isModified() || f->requestedState != f->computedState;
            // A face an undo gave back is as it was before the edits undone.
            if (!take || facesGivenBack.count(f->serial) > 0)
                continue;
            ++counted;
            // A loop whose last approximation gave nothing is taken again
            // once its points changed: on the same boundary the same fit
            // fails again.
            if (!loop->failed || loop->pointsChanged())
                list.append(loop);
        }
    if (counted > 0) {
        displayContainer.removeEntityByName("d_i errors");
        displayContainer.removeEntityByName("geometry-errors");
    }
    // Blends lean on their neighbours' surfaces: they go last.
    int j = list.count - 1;
    auto blending = [&](int k) {
        return list[k]->owner != nullptr && list[k]->owner->requestedState == Blending;
    };
    while (j >= 0 && blending(j))
        --j;
    for (int i = 0; i < j; ++i)
        if (blending(i)) {
            std::swap(list[i], list[j]);
            while (j >= 0 && blending(j))
                --j;
        }
    return list;
}

// ---- The update ------------------------------------------------------------------------------

namespace {

// One face of an update: its loop, the boundary curves and the outcome.
struct FaceJob {
    CSurfaceNet& net;
    Loop* loop;
    Face* face;
    bool draftOnly;
    Kor::List<CParametricGeometry*> curves; // owned
    bool chainFailed = false;

    FaceJob(CSurfaceNet& n, Loop* l, bool draft) : net(n), loop(l), face(l->owner), draftOnly(draft)
    {
    }
    ~FaceJob()
    {
        for (CParametricGeometry* c : curves)
            delete c;
    }
    FaceJob(const FaceJob&) = delete;
    FaceJob& operator=(const FaceJob&) = delete;

    // The boundary curves as NURBS curves; empty when one is of another kind.
    Kor::Array<Fenwo::NurbsSurf*> nurbsCurves() const
    {
        Kor::Array<Fenwo::NurbsSurf*> out;
        for (CParametricGeometry* c : curves) {
            auto* n = dynamic_cast<Fenwo::NurbsSurf*>(c);
            if (n == nullptr)
                return Kor::Array<Fenwo::NurbsSurf*>();
            out.append(n);
        }
        return out;
    }

    Fenwo::NurbsSurf* coons();
    Fenwo::NurbsSurf* equispaced();
    bool fit(Fenwo::NurbsSurf* s, bool selectHits, bool keepBoundary, bool planar,
             bool consistentOrientation, CColorCoding* colours);
};

bool FaceJob::fit(Fenwo::NurbsSurf* s, bool selectHits, bool keepBoundary, bool planar,
                  bool consistentOrientation, CColorCoding* colours)
{
    return fitSurfaceWithConstraints(s, net.mesh, selectHits, keepBoundary, colours,
                                     &face->errorPoints, false, true, consistentOrientation,
                                     net.progress, planar, 2.0, true, -1.0);
}

// The Coons path: a start surface spanned by the boundary curves, turned
// towards the mesh and fitted to it as the requested state asks, then the
// seams along locked poly-lines matched to the neighbours.
Fenwo::NurbsSurf* FaceJob::coons()
{
    Kor::Array<Fenwo::NurbsSurf*> sides = nurbsCurves();
    Fenwo::NurbsSurf* s = nullptr;
    if (net.directCoons) {
        s = orderCurveLoops(sides, 1, 1, nullptr);
    } else if (!net.constrainedStart) {
        // Every side on the range of its control points; the shapes stay.
        for (Fenwo::NurbsSurf* c : sides)
            if (c->uKnots != nullptr)
                c->uKnots->rescale(0.0, double(c->getUCount() - c->uKnots->p));
        s = orderCurveLoops(sides, 1, 1, nullptr);
        if (s == nullptr) {
            std::cout << "approx Coons failed." << std::endl;
        } else {
            s->uKnots->rescale(0.0, 1.0);
            s->vKnots->rescale(0.0, 1.0);
        }
    } else {
        s = Face_OrderLoopAndInit(sides, nullptr, std::clamp(net.sideCount, 1, 4), nullptr);
        if (s != nullptr) {
            s->reparametrizeU();
            s->reparametrizeV();
        }
    }
    if (s == nullptr)
        return nullptr;
    const bool fitting = !net.fittingOff;
    if (fitting && net.mode != 3)
        selectHitsAndUpdate(s, net.mesh);
    net.clearFaceSurface(face);
    face->surface = s;
    face->errorPoints.removeAll();
    face->computedState = Initial;
    net.placeSurfaceOnCoEdges(face);

    // The fits draw their coloured deviations into the list of "d_i errors".
    auto* errors = new COpenGLEntity();
    errors->setName("d_i errors");
    const bool listed =
        Platform::GLContext::isAnyCurrent() && (errors->listId = glGenLists(1)) != 0;
    if (listed)
        glNewList(errors->listId, GL_COMPILE);
    CColorCoding* colours = listed ? net.faceColorCoding.get() : nullptr;
    bool fitted = false;
    const FaceState requested = face->requestedState;
    if (requested == Draft || requested == Planar || (draftOnly && requested != Initial)) {
        if (fitting && !net.directCoons && net.mode != 3) {
            fitted = fit(s, true, true, requested == Planar, false, colours);
            face->computedState = requested == Planar ? Planar : Draft;
        }
    } else if (fitting && net.mode != 3 && (requested == ComplexApprox || requested == Imprint)) {
        if (!net.directCoons)
            fit(s, true, true, false, false, colours);
        // With direct Coons the second pass is the first: it selects its hits.
        fitted = fit(s, net.directCoons, true, false, net.depthTest, colours);
        face->computedState = requested;
    }
    if (listed) {
        glEndList();
        errors->dirty = false;
    }
    if (fitted)
        net.displayContainer.addEntity(errors);
    else
        delete errors;

    if (fitting)
        matchSeams(loop);
    return s;
}

// The equispaced path: nu x nv control points from the lengths of the sides
// (an Imprint face's own counts), the surface from the resampled sides
// (Imprint) or the face-surface builder (mode 3), shown as a trimmed face.
Fenwo::NurbsSurf* FaceJob::equispaced()
{
    face->computedState = Imprint;
    StopUhr watch(true, "Generate Equispaced nuxnv");
    Kor::Array<Fenwo::NurbsSurf*> all = nurbsCurves(), chain;
    Kor::List<int> indices, flags;
    if (all.count == 0 || findCurveChain(all, indices, flags, 100.0, &chain) != 0 ||
        chain.count < 4) {
        std::cout << "order Curve Loops failed" << std::endl;
        chainFailed = true;
        return nullptr;
    }
    const double lu = std::max(chain[0]->getLength(), chain[2]->getLength());
    const double lv = std::max(chain[1]->getLength(), chain[3]->getLength());
    const int n = net.numCtrlPts;
    int nu = n, nv = n;
    // A zero longer side gives no ratio: both directions take N.
    if (std::max(lu, lv) > 0.0) {
        if (lu <= lv)
            nu = int(std::ceil(lu * n / lv));
        else
            nv = int(std::ceil(lv * n / lu));
    }
    const bool imprint = face->requestedState == Imprint;
    if (imprint) {
        // The first count goes to the longer direction.
        nu = lv >= lu ? face->imprint[1] : face->imprint[0];
        nv = lv >= lu ? face->imprint[0] : face->imprint[1];
    }
    nu = std::clamp(nu, 1, 500);
    nv = std::clamp(nv, 1, 500);
    std::cout << "nu=" << nu << " nv=" << nv << std::endl;

    Fenwo::NurbsSurf* s = nullptr;
    // With fitting off the face-surface builder, which fits the mesh, is
    // not run: the sides' equispaced samples span the surface instead.
    if (imprint || net.fittingOff) {
        Kor::Array<Fenwo::NurbsSurf*> sides;
        std::vector<std::unique_ptr<Fenwo::NurbsSurf>> owned;
        for (int k = 0; k < 4; ++k) {
            const int points = std::clamp(k % 2 == 0 ? nu : nv, 2, 200);
            owned.emplace_back(resampleSide(chain[k], points));
            if (owned.back() == nullptr)
                return nullptr;
            sides.append(owned.back().get());
        }
        s = orderCurveLoops(sides, 1, 1, nullptr);
        if (s != nullptr && !net.fittingOff)
            fit(s, true, false, false, false, nullptr);
    } else if (net.mode == 3) {
        CSimpleProgress own;
        CProgress* sink = net.progress;
        if (sink == nullptr) {
            own.begin(0, 48);
            sink = &own;
        }
        s = createFaceSurface(net.mesh, chain, net.automaticCount ? 0 : n, sink, net.automaticCount,
                              net.surfaceTolerance, 3, false, nullptr);
        if (s != nullptr && net.simplify && net.surfaceTolerance > 0.0)
            simplify(s, 0.5 * net.surfaceTolerance);
    }
    if (s == nullptr)
        return nullptr;
    net.clearFaceSurface(face);
    face->surface = s;
    face->errorPoints.removeAll();
    net.placeSurfaceOnCoEdges(face);
    showAsTrimmedFace(net, loop, s);
    return s;
}

} // namespace

void CSurfaceNet::computeSurfaces(bool draftOnly, bool onlyModified, Face* onlyFace)
{
    if (busy || mesh == nullptr)
        return;
    BusyScope busyScope(busy);
    if (onlyFace == nullptr)
        surfaceEditCount = editCount;
    if (progress != nullptr)
        progress->setCancelled(false);
    mesh->progress = progress;
    // No half-finished drag reaches the surfaces.
    for (COffset_PointList* pl : pointLists)
        if (pl->hasPending()) {
            pl->RollBack();
            pl->dropCurve();
            pl->interpolate();
        }
    rebuildCoEdges();
    const Kor::List<Loop*> list = collectLoopsToUpdate(onlyModified, onlyFace);
    if (mesh->facetHash.cells.count == 0)
        mesh->buildFacetHash(350.0, -1.0, nullptr);
    auto cancelled = [this] { return progress != nullptr && progress->isCancelled(); };

    for (int i = 0; i < list.count; ++i) {
        Loop* loop = list[i];
        Face* face = loop->owner;
        if (progress != nullptr) {
            char label[64];
            if (list.count == 1)
                std::snprintf(label, sizeof label, "update face");
            else
                std::snprintf(label, sizeof label, "update face %1i / %1i", i + 1, list.count);
            progress->setLabel(label);
        }
        if (isLoggingEnabled()) {
            std::cout << "recompute on loop #curves " << distinctPolyLines(loop);
            for (int k = 0; k < loop->cycle.count; ++k)
                if (const Gridbench::CGridPoint* p = targetGridPoint(loop->cycle.items[k]))
                    std::cout << " " << p->serial;
            std::cout << std::endl;
        }
        if (face == nullptr)
            continue;
        // The update after an edit records the faces it changes, for the
        // edit's undo; a full update (other settings, the commit, another
        // mesh) belongs to no edit that an undo takes back.
        if (onlyModified && onlyFace == nullptr)
            recordFaceState(face);
        loop->failed = false;
        face->computedState = Naked;
        if (cancelled())
            break;
        // A region is a face however many pieces bound it.
        if (loop->getCycleLength() < 2)
            continue;
        if (!fittingOff && face->requestedState == Blending) {
            clearFaceSurface(face);
            buildBlendSurface(loop, mesh);
            auto* blend = dynamic_cast<Fenwo::NurbsSurf*>(face->surface);
            if (blend != nullptr)
                selectHitsAndUpdate(blend, mesh);
            face->computedState = Blending;
            // A blend is shown like every other surface.
            redisplayFace(this, blend, loop);
            continue;
        }
        if (mode == 0 && !fittingOff && !runsAlongLockedCurve(loop)) {
            clearFaceSurface(face);
            approximateFace(*this, loop, draftOnly);
            if (cancelled())
                break;
            continue;
        }
        FaceJob job(*this, loop, draftOnly);
        loopBoundaryCurves(loop, job.curves);
        if (mode == 0)
            for (CParametricGeometry*& c : job.curves) {
                CParametricGeometry* refit = fitCurveToPolyline(c, 9, false);
                if (refit != nullptr) {
                    delete c;
                    c = refit;
                }
            }
        Fenwo::NurbsSurf* s =
            face->requestedState == Imprint || mode == 3 ? job.equispaced() : job.coons();
        if (job.chainFailed) {
            // Ends the update like a cancellation: the marks are still cleared.
            break;
        }
        // A surface spanned by the boundary the face had before is no
        // surface of the face: without a new one the face has none, as its
        // state says (an undo or a save would find a stale one).
        if (s == nullptr)
            clearFaceSurface(face);
        redisplayFace(this, s, loop);
        if (progress != nullptr)
            progress->step(1);
    }
    if (list.count > 0 && progress != nullptr)
        progress->setLabel("Incremental surface creation finished.");
    notify();
    for (COffset_PointList* pl : pointLists) {
        pl->modified = false;
        for (CVertex<float, 3>* v : pl->vertices)
            if (auto* g = dynamic_cast<Gridbench::CGridPoint*>(v))
                g->changed = false;
    }
}

// ---- Small operations --------------------------------------------------------------------------

bool CSurfaceNet::clearFaceSurface(Face* face)
{
    if (face == nullptr || face->requestedState == Ribbon)
        return false;
    displayContainer.removeEntity(findFaceDisplay(face));
    // A trimmed face owns the surface the face refers to: it goes as a whole,
    // its display with it, so nothing is left pointing into it.
    const bool shared = face->trimmedFace != nullptr && face->surface != nullptr &&
                        face->surface == face->trimmedFace->surface;
    releaseTrimmedFace(face);
    if (shared) {
        face->errorPoints.removeAll();
        return true;
    }
    if (face->surface == nullptr)
        return false;
    delete face->surface;
    face->surface = nullptr;
    face->errorPoints.removeAll();
    return true;
}

bool CSurfaceNet::hasAttachedCurves() const
{
    for (const COffset_PointList* pl : pointLists)
        if (pl->curveLocked || pl->hasValidCurve())
            return true;
    return false;
}

bool redisplayFace(CSurfaceNet* net, Fenwo::NurbsSurf* surface, Loop* loop)
{
    if (net == nullptr || surface == nullptr || loop == nullptr || loop->owner == nullptr)
        return false;
    Face* face = loop->owner;
    char name[32] = "";
    CSurfaceNet::getFaceDisplayName(face, name, sizeof name);
    COpenGLEntity* found = net->displayContainer.findEntityByName(name);
    auto* display = dynamic_cast<COpenGLSasSurf*>(found);
    if (display != nullptr) {
        display->surface = surface;
        display->setDirty();
        std::cout << "redisplay id=" << name << std::endl;
    } else if (found == nullptr && face->surface != nullptr) {
        auto* own = dynamic_cast<Fenwo::NurbsSurf*>(face->surface);
        if (own != nullptr) {
            display = new COpenGLSasSurf(name, own, 1.f, 1.f, 1.f, 1.f, !net->wireframe, false,
                                         net->depthTest);
            display->colourMap = net->faceColorCoding.get();
            display->errorPoints = face->errorPoints;
            face->errorPoints.removeAll();
            net->displayContainer.addEntity(display);
        }
    }
    if (display != nullptr && !net->fittingOff) {
        float rgba[4];
        faceStateColour(face->requestedState, false, rgba);
        display->setColour(rgba[0], rgba[1], rgba[2], rgba[3]);
    }
    return true;
}

void buildBlendSurface(Loop* loop, Mesh::CBaseMesh*)
{
    if (loop == nullptr || loop->owner == nullptr)
        return;
    Kor::List<CCoEdge*> boundary;
    for (CCoEdge* c : loop->coedges)
        if (c != nullptr && c->isBlendBoundary())
            boundary.append(c);
    if (boundary.count < 2) {
        std::cout << "not enough CONS found. actual=" << boundary.count << std::endl;
        return;
    }
    if (Fenwo::NurbsSurf* blend = blendFaceFromBoundary(boundary)) {
        Face* face = loop->owner;
        releaseTrimmedFace(face);
        delete face->surface;
        face->surface = blend;
        face->errorPoints.removeAll();
        face->requestedState = Blending;
    }
}

} // namespace GB
