#include "net/FaceDisplay.h"

#include "curves/CurveOnSurface.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "net/GraphRecords.h"
#include "net/OpenGLFace.h"
#include "net/PointList.h"
#include "net/SurfaceNet.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>

namespace {

// The entries k - 1 and k + 1 of the poly-line beside entry k (round the
// closing segment of a closed one); null where there is none.
const CVertex<float, 3>* entryBeside(const COffset_PointList& pl, int k, int step)
{
    const int n = pl.vertices.count;
    const int at = k + step;
    if (at >= 0 && at < n)
        return pl.vertices[at];
    return pl.closed && n > 2 ? pl.vertices[(at + n) % n] : nullptr;
}

// Whether the poly-line runs from a to b at some entry of b (a beside it)
// and, when c is given, on from b to c (c beside it on the other side). A
// poly-line that passes b twice is asked at each of its entries there: its
// two passes need not go on into one another.
bool runsThrough(const COffset_PointList& pl, const CVertex<float, 3>* a,
                 const CVertex<float, 3>* b, const CVertex<float, 3>* c)
{
    for (int k = 0; k < pl.vertices.count; ++k) {
        if (pl.vertices[k] != b)
            continue;
        for (int step : {-1, 1})
            if (entryBeside(pl, k, step) == a && (c == nullptr || entryBeside(pl, k, -step) == c))
                return true;
    }
    return false;
}

// Whether the poly-line reaches b from a at one entry of b and leaves it for
// c at another: a poly-line that passes b twice and turns there from one
// pass to the other. The first and last entries of an open poly-line drawn
// back to its first point are one point it runs on round.
bool turnsBetweenPasses(const COffset_PointList& pl, const CVertex<float, 3>* a,
                        const CVertex<float, 3>* b, const CVertex<float, 3>* c)
{
    const int n = pl.vertices.count;
    const auto beside = [&](int k, const CVertex<float, 3>* v) {
        return pl.vertices[k] == b && (entryBeside(pl, k, -1) == v || entryBeside(pl, k, 1) == v);
    };
    for (int from = 0; from < n; ++from)
        for (int to = 0; to < n; ++to)
            if (from != to && beside(from, a) && beside(to, c) &&
                (pl.closed || std::min(from, to) != 0 || std::max(from, to) != n - 1))
                return true;
    return false;
}

// Index of the first poly-line with a and b side by side, -1 when none.
int firstPolyLineThrough(const Kor::List<COffset_PointList*>& polyLines, const CVertex<float, 3>* a,
                         const CVertex<float, 3>* b)
{
    for (int i = 0; i < polyLines.count; ++i)
        if (polyLines[i] != nullptr && runsThrough(*polyLines[i], a, b, nullptr))
            return i;
    return -1;
}

double distance(const Vector& p, const CVertex<float, 3>& q)
{
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double d = p[k] - q.data[k];
        sum += d * d;
    }
    return std::sqrt(sum);
}

// The number that names a grid point in messages: its serial number.
long long pointIdentity(CVertex<float, 3>* p)
{
    return static_cast<long long>(_CVertex(p).getId());
}

// The loop's boundary points without gaps and without the repeated joints
// of consecutive pieces.
Kor::List<CVertex<float, 3>*> distinctLoopPoints(const GB::Loop& loop)
{
    Kor::List<CVertex<float, 3>*> all, points;
    loop.getVertexList(all);
    for (CVertex<float, 3>* p : all)
        if (p != nullptr && (points.count == 0 || points[points.count - 1] != p))
            points.append(p);
    while (points.count > 1 && points[points.count - 1] == points[0])
        points.removeAt(points.count - 1);
    return points;
}

// "c:/tmp/deb.out": the surface and a poly-line through the corners, for a
// loop whose corners do not follow the surface's sides.
void dumpCorners(Fenwo::NurbsSurf& surface, const Kor::List<CVertex<float, 3>*>& corners)
{
    std::ofstream out;
    if (!Platform::openDiagnosticsStream(out, "c:/tmp/deb.out") || corners.count < 2)
        return;
    surface.write(out);
    out << '\n';
    const knots k(corners.count - 1, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    Fenwo::NurbsSurf line(k, nullptr);
    for (int i = 0; i < corners.count; ++i)
        line.setControlPoint(i, 0,
                             Vector(corners[i]->data[0], corners[i]->data[1], corners[i]->data[2]));
    line.write(out);
    out << '\n';
}

} // namespace

int findLoopCorners(const Kor::List<CVertex<float, 3>*>& p,
                    const Kor::List<COffset_PointList*>& polyLines, Kor::List<v_attribute>& flags,
                    Kor::List<int>& indices)
{
    flags.removeAll();
    indices.removeAll();
    const int n = p.count;
    int corners = 0;
    for (int i = 0; i < n; ++i) {
        const CVertex<float, 3>* prev = p[(i + n - 1) % n];
        const CVertex<float, 3>* cur = p[i];
        const CVertex<float, 3>* next = p[(i + 1) % n];
        const int A = firstPolyLineThrough(polyLines, prev, cur);
        if (A >= 0 && runsThrough(*polyLines[A], prev, cur, next)) {
            flags.append(NoCorner);
            indices.append(A);
            continue;
        }
        const int B = firstPolyLineThrough(polyLines, cur, next);
        if ((A == B && !(A >= 0 && turnsBetweenPasses(*polyLines[A], prev, cur, next))) || B < 0) {
            // No poly-line leads on (B < 0): the point still gets its flag,
            // so that flags stay one per point.
            flags.append(NoCorner);
            if (B >= 0)
                indices.append(B);
            continue;
        }
        flags.append(Corner);
        indices.append(B);
        ++corners;
    }
    return corners;
}

int countLoopSides(const GB::Loop& loop, const Kor::List<COffset_PointList*>& polyLines)
{
    Kor::List<v_attribute> flags;
    Kor::List<int> indices;
    return std::max(findLoopCorners(distinctLoopPoints(loop), polyLines, flags, indices), 1);
}

bool matchCornersToSurface(const Kor::List<CVertex<float, 3>*>& corners, Fenwo::NurbsSurf* surface,
                           Kor::List<CPointOnSurfaceBoundary>& positions)
{
    if (corners.count != 4)
        return false;
    const BoundaryPosition order[4] = {uvSouthWest, uvSouthEast, uvNorthEast, uvNorthWest};
    CPointOnSurfaceBoundary records[4];
    float D[4][4];
    for (int j = 0; j < 4; ++j) {
        records[j].surface = surface;
        records[j].setPosition(order[j], -1.0);
        const Vector q = records[j].getPoint();
        for (int i = 0; i < 4; ++i) {
            float sum = 0.f;
            for (int k = 0; k < 3; ++k) {
                const float d = corners[i]->data[k] - static_cast<float>(q[k]);
                sum += d * d;
            }
            D[i][j] = std::sqrt(sum);
        }
    }
    bool rowUsed[4] = {false, false, false, false};
    bool columnUsed[4] = {false, false, false, false};
    int match[4] = {0, 1, 2, 3};
    for (int round = 0; round < 4; ++round) {
        double best = 1e100;
        int bi = -1, bj = -1;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                if (!rowUsed[i] && !columnUsed[j] && D[i][j] < best) {
                    best = D[i][j];
                    bi = i;
                    bj = j;
                }
        if (bi < 0)
            break; // only distances that are not numbers are left
        rowUsed[bi] = columnUsed[bj] = true;
        match[bi] = bj;
    }
    positions.removeAll();
    for (int i = 0; i < 4; ++i)
        positions.append(records[match[i]]);
    return true;
}

BoundaryPosition sideBetweenCorners(BoundaryPosition a, BoundaryPosition b)
{
    struct Entry {
        BoundaryPosition a, b, side;
    };
    static const Entry table[] = {{uvSouthWest, uvSouthEast, uvSouth},
                                  {uvSouthWest, uvNorthWest, uvWest},
                                  {uvSouthEast, uvNorthEast, uvEast},
                                  {uvNorthEast, uvNorthWest, uvNorth}};
    for (const Entry& e : table)
        if ((a == e.a && b == e.b) || (a == e.b && b == e.a))
            return e.side;
    std::cout << "returning undefinedPosition." << std::endl;
    return undefinedPosition;
}

void assignCoEdgeToSegment(CCONS* curve, GB::Loop* loop)
{
    if (curve == nullptr || loop == nullptr)
        return;
    const Vector start = curve->getStartPoint();
    const Vector end = curve->getEndPoint();
    CCoEdge* chosen = nullptr;
    double best = 1e10;
    for (CCoEdge* coedge : loop->coedges) {
        if (coedge == nullptr || coedge->polyLine == nullptr)
            continue;
        // The ends' entries (past the last one round the closing segment of
        // a closed poly-line).
        const CVertex<float, 3>* first = coedge->polyLine->entryAt(coedge->firstIndex);
        const CVertex<float, 3>* second = coedge->polyLine->entryAt(coedge->secondIndex);
        if (first == nullptr || second == nullptr)
            continue;
        const CVertex<float, 3>& a = *first;
        const CVertex<float, 3>& b = *second;
        // The curve may run either way along its coedge.
        const double d =
            std::min(distance(start, a) + distance(end, b), distance(start, b) + distance(end, a));
        if (d < best) {
            best = d;
            chosen = coedge;
        }
    }
    if (chosen == nullptr)
        return;
    if (chosen->leftLoop == loop) {
        chosen->setLeftSurface(curve);
    } else if (chosen->rightLoop == loop) {
        chosen->setRightSurface(curve);
    } else if (chosen->leftLoop == nullptr) {
        chosen->leftLoop = loop;
        chosen->setLeftSurface(curve);
    } else if (chosen->rightLoop == nullptr) {
        chosen->rightLoop = loop;
        chosen->setRightSurface(curve);
    } else {
        std::cout << "uups, Left and Right are already occupied " << std::endl;
    }
}

bool assignTrimCurves(GB::Loop* loop)
{
    if (loop == nullptr || loop->owner == nullptr || loop->owner->requestedState != Trimmed ||
        loop->owner->trimmedFace == nullptr)
        return false;
    for (CCONS* curve : loop->owner->trimmedFace->getAllCONS(false, false))
        assignCoEdgeToSegment(curve, loop);
    return true;
}

namespace GB {

void CSurfaceNet::restoreTrimmedFace(Face* face, CFace* trimmed)
{
    face->surface = trimmed->surface;
    const int meshType = trimmed->MeshType;
    const double meshDistance = trimmed->MeshDistance;
    updateFaceDisplay(trimmed, face->firstLoop, true);
    trimmed->MeshType = meshType;
    trimmed->MeshDistance = meshDistance;
}

bool CSurfaceNet::updateFaceDisplay(CFace* trimmed, Loop* loop, bool show)
{
    if (loop == nullptr)
        return false;
    Face* face = loop->owner;
    CFace* previous = face != nullptr ? face->trimmedFace : nullptr;
    if (face != nullptr)
        face->trimmedFace = trimmed;
    COpenGLEntity* found = face != nullptr ? findFaceDisplay(face) : nullptr;
    auto* display = dynamic_cast<COpenGLFace*>(found);
    if (show && face != nullptr) {
        if (display != nullptr) {
            display->setDirty();
            display->colourMap = faceColorCoding.get();
            display->face = trimmed;
            display->errorPoints = face->errorPoints;
        } else if (found == nullptr) {
            display = new COpenGLFace(trimmed, face->errorPoints, faceColorCoding.get());
            if (trimmed != nullptr) {
                trimmed->MeshType = 17;
                trimmed->MeshDistance = 0.5 * surfaceTolerance;
            }
            char name[32] = "";
            getFaceDisplayName(face, name, sizeof name);
            display->setName(name);
            displayContainer.addEntity(display, true);
        }
        if (display != nullptr) {
            display->loop = loop;
            if (depthTest)
                display->depthTestOff = false;
        }
    }
    // The net owns trimmed faces: a replaced one goes once nothing draws it.
    if (previous != nullptr && previous != trimmed) {
        if (display != nullptr && display->face == previous) {
            display->face = trimmed;
            display->setDirty();
        }
        if (face->surface != nullptr && face->surface == previous->surface)
            face->surface = trimmed != nullptr ? trimmed->surface : nullptr;
        delete previous;
    }
    updateFaceBoundary(loop);
    return true;
}

bool CSurfaceNet::updateFaceBoundary(Loop* loop)
{
    if (loop == nullptr || loop->owner == nullptr)
        return false;
    Face* face = loop->owner;
    Fenwo::NurbsSurf* surface = asNurbsSurf(face->surface);
    if (surface == nullptr)
        return false;
    if (face->requestedState == Trimmed) {
        assignTrimCurves(loop);
        return true;
    }
    const Kor::List<CVertex<float, 3>*> p = distinctLoopPoints(*loop);
    const int n = p.count;
    Kor::List<v_attribute> flags;
    Kor::List<int> indices;
    findLoopCorners(p, pointLists, flags, indices);
    loop->coedges.removeAll();

    Kor::List<int> cornerIndex;
    Kor::List<CVertex<float, 3>*> corners;
    for (int k = 0; k < flags.count; ++k)
        if (flags[k] == Corner) {
            cornerIndex.append(k);
            corners.append(p[k]);
        }
    Kor::List<CPointOnSurfaceBoundary> positions;
    matchCornersToSurface(corners, surface, positions);
    const int nc = corners.count;
    if (nc == 0 || positions.count != nc)
        return true;
    for (int m = 0; m < nc; ++m) {
        BoundaryPosition a = positions[m].position;
        BoundaryPosition b = positions[(m + 1) % nc].position;
        BoundaryPosition side = sideBetweenCorners(a, b);
        if (side == undefinedPosition && nc > 1) {
            dumpCorners(*surface, corners);
            a = mirrorCorner(a, surface);
            b = mirrorCorner(b, surface);
            side = sideBetweenCorners(a, b);
        }
        if (side == undefinedPosition) {
            std::cout << "borderpos undefined, could not recreate CoEdge " << std::endl;
            continue;
        }
        if (indices.count != n)
            continue;
        const int from = cornerIndex[m], to = cornerIndex[(m + 1) % nc];
        for (int k = from;; k = (k + 1) % n) {
            const COffset_PointList* polyLine = pointLists[indices[k]];
            if (polyLine != nullptr && polyLine->hasValidCurve())
                std::cout << "isSharp! from" << pointIdentity(p[k]) << " to"
                          << pointIdentity(p[(k + 1) % n]) << std::endl;
            if ((k + 1) % n == to)
                break;
        }
    }
    return true;
}

} // namespace GB
