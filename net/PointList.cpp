#include "net/PointList.h"

#include "curves/Projections.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "mesh/MeshProjection.h"
#include "net/OffsetGrid.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <iostream>

namespace {

Gridbench::CGridPoint* asGridPoint(const CVertex<float, 3>* v)
{
    return dynamic_cast<Gridbench::CGridPoint*>(const_cast<CVertex<float, 3>*>(v));
}

CVertex<float, 3> toVertex(const Vector& p)
{
    return CVertex<float, 3>(float(p[0]), float(p[1]), float(p[2]));
}

} // namespace

bool samePosition(const CVertex<float, 3>* a, const CVertex<float, 3>* b)
{
    return a != nullptr && b != nullptr &&
           (a == b ||
            (a->data[0] == b->data[0] && a->data[1] == b->data[1] && a->data[2] == b->data[2]));
}

int useCountOf(const CVertex<float, 3>* v)
{
    if (v == nullptr)
        return -1;
    const Gridbench::CGridPoint* g = asGridPoint(v);
    return g != nullptr ? g->useCount : 0;
}

COffset_PointList::COffset_PointList(COffset_Grid* grid) : owner(grid) {}

COffset_PointList::COffset_PointList(COffset_Grid* grid, CVertex<float, 3>* a, CVertex<float, 3>* b)
    : owner(grid)
{
    for (CVertex<float, 3>* v : {a, b}) {
        if (owner != nullptr)
            owner->adoptGridPoint(v);
        vertices.append(v);
    }
}

COffset_PointList::~COffset_PointList()
{
    releaseVertices();
    delete curve;
    curve = nullptr;
}

int COffset_PointList::releaseVertices()
{
    const int n = vertices.count;
    if (usesCounted)
        for (CVertex<float, 3>* v : vertices)
            changeUse(v, -1);
    vertices.removeAll();
    pendingVertex = nullptr;
    return n;
}

void COffset_PointList::withdrawUses()
{
    if (!usesCounted)
        return;
    for (CVertex<float, 3>* v : vertices)
        changeUse(v, -1);
    usesCounted = false;
}

void COffset_PointList::restoreUses()
{
    if (usesCounted)
        return;
    usesCounted = true;
    for (CVertex<float, 3>* v : vertices)
        changeUse(v, +1);
}

int COffset_PointList::changeUse(CVertex<float, 3>* v, int delta)
{
    if (v == nullptr)
        return -1;
    Gridbench::CGridPoint* g = asGridPoint(v);
    if (g == nullptr)
        return 0;
    g->useCount += delta;
    if (delta < 0 && g->useCount == 0 && owner != nullptr)
        owner->registerGridPoint(g);
    if (delta > 0 && owner != nullptr)
        owner->unregisterGridPoint(g);
    return g->useCount;
}

void COffset_PointList::markChanged(int i)
{
    if (i < 0 || i >= vertices.count)
        return;
    if (Gridbench::CGridPoint* g = asGridPoint(vertices[i]))
        g->changed = true;
}

// ---- Curve -----------------------------------------------------------------

bool COffset_PointList::hasValidCurve() const
{
    return curveLocked && curve != nullptr && curve->isCurve();
}

bool COffset_PointList::dropCurve()
{
    if (curveLocked)
        return false;
    if (curve != nullptr)
        modified = true;
    delete curve;
    curve = nullptr;
    return true;
}

void COffset_PointList::setCurve(CParametricGeometry* c, const Kor::List<double>& params, int first,
                                 int last)
{
    parameters.removeAll();
    if (curve != c)
        delete curve;
    curve = c;
    for (int k = std::max(first, 0); k <= last && k < params.count; ++k)
        parameters.append(params[k]);
    curveLocked = true;
}

// ---- Queries -----------------------------------------------------------------

int COffset_PointList::indexOf(const CVertex<float, 3>* v) const
{
    for (int i = 0; i < vertices.count; ++i)
        if (vertices[i] == v)
            return i;
    return -1;
}

int COffset_PointList::entryOf(int i, const CVertex<float, 3>* v) const
{
    const CVertex<float, 3>* q = entryAt(i);
    if (q != nullptr && v != nullptr &&
        (q == v ||
         (q->data[0] == v->data[0] && q->data[1] == v->data[1] && q->data[2] == v->data[2])))
        return i;
    return indexOf(v);
}

CVertex<float, 3>* COffset_PointList::entryAt(int i) const
{
    const int n = vertices.count;
    if (i >= 0 && i < n)
        return vertices[i];
    if (closed && i >= n && i < 2 * n)
        return vertices[i - n];
    return nullptr;
}

bool COffset_PointList::isInteriorVertex(const CVertex<float, 3>* v) const
{
    const int i = indexOf(v);
    return i >= 1 && i <= vertices.count - 2;
}

bool COffset_PointList::isEndVertex(const CVertex<float, 3>* v) const
{
    const int i = indexOf(v);
    return i == 0 || i == vertices.count - 1;
}

bool COffset_PointList::isPendingAtEnd() const
{
    return pendingVertex != nullptr && isEndVertex(pendingVertex);
}

int COffset_PointList::getDirectionAtVertex(const CVertex<float, 3>* v,
                                            CVector<float, 3>& out) const
{
    int i = -1;
    for (int k = vertices.count - 1; k >= 0; --k)
        if (vertices[k] == v) {
            i = k;
            break;
        }
    int result = -1;
    if (i >= 0) {
        const bool hasPrev = i > 0;
        const bool hasNext = i + 1 < vertices.count;
        if (hasPrev && hasNext) {
            out = (*v - *vertices[i - 1]) + (*vertices[i + 1] - *v);
            result = 1;
        } else if (hasPrev) {
            out = *v - *vertices[i - 1];
            result = 2;
        } else if (hasNext) {
            out = *vertices[i + 1] - *v;
            result = 0;
        }
    }
    out.normalize();
    return result;
}

bool COffset_PointList::getEndTangent(bool atStart, CVector<float, 3>& out) const
{
    if (curve != nullptr) {
        const Vector t = atStart ? curve->getStartTangent() : curve->getEndTangent();
        out = toVertex(t);
    } else if (vertices.count >= 2) {
        const int n = vertices.count;
        out = atStart ? *vertices[1] - *vertices[0] : *vertices[n - 1] - *vertices[n - 2];
    } else {
        return false;
    }
    out.normalize();
    return true;
}

int COffset_PointList::segmentSide(int, int, const CVector<float, 3>&) const
{
    return 0;
}

bool COffset_PointList::findNearestVertex(const CVertex<float, 3>& p, double maxDist,
                                          CVertex<float, 3>*& found, double& dist,
                                          bool skipPending) const
{
    dist = FLT_MAX;
    found = nullptr;
    for (CVertex<float, 3>* v : vertices) {
        if (skipPending && v == pendingVertex)
            continue;
        const float d = pointDistance(p, *v);
        if (maxDist > d) {
            found = v;
            dist = d;
            return true;
        }
        if (d < dist) {
            found = v;
            dist = d;
        }
    }
    return false;
}

CVertex<float, 3>* COffset_PointList::getVertexNearestParameter() const
{
    if (vertices.count == 0 || parameters.count == 0)
        return nullptr;
    int best = 0;
    double bestGap = std::fabs(pickedParameter - parameters[0]);
    for (int i = 1; i < parameters.count; ++i) {
        const double gap = std::fabs(pickedParameter - parameters[i]);
        if (gap < bestGap) {
            bestGap = gap;
            best = i;
        }
    }
    return vertices[std::clamp(best, 0, vertices.count - 1)];
}

bool COffset_PointList::pickCurveAlongRay(const CVertex<float, 3>& origin,
                                          const CVector<float, 3>& direction, double maxDist,
                                          double& dist)
{
    dist = FLT_MAX;
    if (curve == nullptr || parameters.count < 2)
        return false;
    double best2 = FLT_MAX;
    double bestParameter = 0.0;
    CVertex<float, 3> bestPoint;
    for (int i = 0; i + 1 < parameters.count; ++i) {
        const double t0 = parameters[i];
        const double t1 = parameters[i + 1];
        const double tm = 0.5 * t0 + 0.5 * t1;
        const CVertex<float, 3> p0 = toVertex(curve->getPoint(t0, 0.0));
        const CVertex<float, 3> pm = toVertex(curve->getPoint(tm, 0.0));
        const CVertex<float, 3> p1 = toVertex(curve->getPoint(t1, 0.0));
        const CVertex<float, 3>* chords[2][2] = {{&p0, &pm}, {&pm, &p1}};
        const double chordEnds[2] = {tm, t1};
        for (int c = 0; c < 2; ++c) {
            double u = 0.0;
            const float d2 =
                pointSegmentDistance2InPlane(*chords[c][0], *chords[c][1], origin, direction, u);
            if (u < 0.0 || u > 1.0 || !(d2 < best2))
                continue;
            best2 = d2;
            bestParameter = chordEnds[c];
            bestPoint = lerp(u, *chords[c][0], *chords[c][1]);
        }
    }
    if (best2 >= FLT_MAX)
        return false;
    dist = std::sqrt(best2);
    if (!(maxDist >= dist))
        return false;
    pickedParameter = bestParameter;
    projectVertexOnCurve(curve, bestPoint, pickedParameter);
    return true;
}

// ---- Edits -------------------------------------------------------------------

int COffset_PointList::appendVertex(CVertex<float, 3>* v)
{
    if (owner != nullptr)
        owner->adoptGridPoint(v);
    if (usesCounted)
        changeUse(v, +1);
    return vertices.append(v);
}

bool COffset_PointList::addPoint(CVertex<float, 3>* v, bool insert, double distance,
                                 const CVector<float, 3>* direction)
{
    if (insert)
        return insertPoints(v, distance, direction, true, nullptr, nullptr);
    appendVertex(v);
    modified = true;
    return true;
}

bool COffset_PointList::removeVertex(CVertex<float, 3>* v)
{
    const int i = indexOf(v);
    bool result = false;
    if (i >= 0) {
        result = vertices.removeAt(i);
        dropCurve();
    }
    // Only a removed entry gives its use back, so counts cannot drift.
    if (result && usesCounted)
        changeUse(v, -1);
    if (Gridbench::CGridPoint* g = asGridPoint(v))
        g->changed = true;
    if (vertices.count > 0 && v != pendingVertex) {
        modified = true;
        markChanged(std::clamp(i, 0, vertices.count - 1));
        markChanged(std::clamp(i - 1, 0, vertices.count - 1));
    }
    if (result)
        removeRepeatedEntries();
    return result;
}

bool COffset_PointList::snapVertex(CVertex<float, 3>* oldV, CVertex<float, 3>* newV)
{
    const int i = indexOf(oldV);
    if (newV == nullptr || i < 0)
        return false;
    const int n = vertices.count;
    const CVertex<float, 3>* before = i > 0 ? vertices[i - 1] : closed ? vertices[n - 1] : nullptr;
    const CVertex<float, 3>* after = i + 1 < n ? vertices[i + 1] : closed ? vertices[0] : nullptr;
    const bool beside = samePosition(before, newV) || samePosition(after, newV);
    if (owner != nullptr) {
        // Merging with a neighbour shifts the entries after it: the undo
        // item then keeps the whole list.
        if (beside)
            owner->addUndo(new CUndoVertexList(this));
        else
            owner->addUndo(new CUndoSnapVertex(this, oldV, i));
        owner->adoptGridPoint(newV);
    }
    vertices[i] = newV;
    dropCurve();
    if (!beside)
        interpolate();
    if (usesCounted) {
        changeUse(newV, +1);
        changeUse(oldV, -1);
    }
    if (beside) {
        removeRepeatedEntries();
        interpolate();
    }
    return true;
}

int COffset_PointList::removeRepeatedEntries()
{
    int removed = 0;
    const auto drop = [&](int i) {
        CVertex<float, 3>* v = vertices[i];
        vertices.removeAt(i);
        if (usesCounted)
            changeUse(v, -1);
        if (v == pendingVertex)
            pendingVertex = nullptr;
        ++removed;
    };
    for (int i = 1; i < vertices.count;)
        if (samePosition(vertices[i - 1], vertices[i]))
            drop(i);
        else
            ++i;
    if (closed && vertices.count > 1 && samePosition(vertices[0], vertices[vertices.count - 1]))
        drop(vertices.count - 1);
    if (removed > 0) {
        dropCurve();
        modified = true;
        for (int i = 0; i < vertices.count; ++i)
            markChanged(i);
    }
    return removed;
}

void COffset_PointList::commitPending()
{
    if (pendingVertex != nullptr) {
        const int i = indexOf(pendingVertex);
        if (i >= 0 && owner != nullptr) {
            owner->addUndo(new CUndoInsert(this, i, closedByPending && closed));
            owner->highlightPoint(pendingVertex);
            modified = true;
        } else if (i >= 0) {
            modified = true;
        }
    }
    pendingVertex = nullptr;
    if (closedByPending && closed)
        closedByPending = false;
}

bool COffset_PointList::RollBack()
{
    if (pendingVertex == nullptr)
        return false;
    CVertex<float, 3>* pending = pendingVertex;
    // The closing goes first: closed, a poly-line that runs back to its
    // first point would lose its last entry as a repeat of the first, an
    // edit no undo item records.
    if (closedByPending) {
        closedByPending = false;
        closed = false;
    }
    removeVertex(pending);
    Gridbench::CGridPoint* g = asGridPoint(pending);
    if (g != nullptr && g->useCount == 0) {
        if (owner != nullptr)
            owner->registerGridPoint(g);
    } else {
        std::cout << "uups, RollBack:: deleting a used Vertex! " << std::endl;
    }
    pendingVertex = nullptr;
    return true;
}

bool PointList_Dump(COffset_PointList& list)
{
    char line[160];
    for (int i = 0; i < list.vertices.count; ++i) {
        const CVertex<float, 3>* v = list.vertices[i];
        const int use = useCountOf(v);
        if (use > 1)
            std::snprintf(line, sizeof line, "   %d:  Vertex, Usecount: %d", i, use);
        else
            std::snprintf(line, sizeof line, "   %d:  Point", i);
        std::cout << line << std::endl;
        if (v == nullptr)
            continue;
        std::snprintf(line, sizeof line, "      %5.3f %5.3f  %5.3f", double(v->data[0]),
                      double(v->data[1]), double(v->data[2]));
        std::cout << line << std::endl;
    }
    return true;
}

void CUndoInsert::undo(COffset_Grid*)
{
    COffset_PointList& pl = *pointList;
    if (index < 0 || index >= pl.vertices.count)
        return;
    CVertex<float, 3>* removed = pl.vertices[index];
    pl.vertices.removeAt(index);
    if (closedIt)
        pl.closed = false;
    if (pl.usesCounted)
        pl.changeUse(removed, -1);
    if (pl.vertices.count > 0)
        pl.markChanged(std::max(index - 1, 0));
    pl.dropCurve();
}

void CUndoSnapVertex::undo(COffset_Grid*)
{
    COffset_PointList& pl = *pointList;
    if (index < 0 || index >= pl.vertices.count)
        return;
    CVertex<float, 3>* replaced = pl.vertices[index];
    pl.vertices[index] = oldPoint;
    if (pl.usesCounted) {
        pl.changeUse(oldPoint, +1);
        pl.changeUse(replaced, -1);
    }
    pl.markChanged(index);
    pl.dropCurve();
}
