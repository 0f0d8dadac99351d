// The face's (u, v) boundary polygon, its display cache and its drawing:
// the shaded tessellation, the iso lines, the trim loops and the display
// curves, and the strip that runs beside the outer loop.
#include "net/Face.h"

#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "curves/Projections.h"
#include "geometry/NurbsSurf.h"
#include "net/Faceter.h"
#include "platform/GLContext.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

namespace {

// Moves a two-point pen curve to run from a to b in the (u, v) plane.
void setPen(Fenwo::NurbsSurf& pen, double ua, double va, double ub, double vb)
{
    pen.setControlPoint(0, 0, Vector(ua, va, 0.0), 1.0);
    pen.setControlPoint(1, 0, Vector(ub, vb, 0.0), 1.0);
}

// ---- Bridges from the holes to the polygon --------------------------------------------
//
// A hole joins the polygon through a slit of zero width from one of its
// vertices to a vertex of the polygon built so far. The slit must stay in
// the face: it may cross no loop and no earlier slit, or the polygon
// crosses itself. The predicates below are exact sign tests on the (u, v)
// coordinates, so points on a common iso line are seen as collinear.

using UV = CVertex<double, 3>;

// Twice the signed area of (a, b, c): positive when c lies left of a->b.
double turn(const UV& a, const UV& b, const UV& c)
{
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

bool samePlace(const UV& a, const UV& b)
{
    return a[0] == b[0] && a[1] == b[1];
}

// +1 when the polygon runs counter-clockwise (or has no area), else -1.
int orientationOf(const CVertexList& polygon)
{
    double area = 0.0;
    for (int k = 0; k < polygon.getCount(); ++k) {
        const UV &a = *polygon.getVertex(k), &b = *polygon.getVertex(k + 1);
        area += a[0] * b[1] - b[0] * a[1];
    }
    return area < 0.0 ? -1 : 1;
}

// Whether the edge c-d meets the bridge a-b anywhere but at its ends:
// crosses it, touches it with an end or runs along it.
bool meetsBridge(const UV& a, const UV& b, const UV& c, const UV& d)
{
    const double tc = turn(a, b, c), td = turn(a, b, d);
    if (tc == 0.0 && td == 0.0) {
        // On the bridge's line: the edge's stretch along the bridge.
        const double du = b[0] - a[0], dv = b[1] - a[1], length2 = du * du + dv * dv;
        const double sc = ((c[0] - a[0]) * du + (c[1] - a[1]) * dv) / length2;
        const double sd = ((d[0] - a[0]) * du + (d[1] - a[1]) * dv) / length2;
        const double lo = std::min(sc, sd), hi = std::max(sc, sd);
        return std::max(lo, 0.0) < std::min(hi, 1.0) || (lo > 0.0 && lo < 1.0);
    }
    if ((tc > 0.0 && td > 0.0) || (tc < 0.0 && td < 0.0))
        return false;
    const double ta = turn(c, d, a), tb = turn(c, d, b);
    // The lines meet at a bridge end (ta or tb zero) or beside the edge.
    return ta != 0.0 && tb != 0.0 && ((ta > 0.0) != (tb > 0.0));
}

// The nearest vertex before (step -1) or after (step 1) vertex i that lies
// elsewhere; vertex i itself when all lie there.
const UV& neighbourElsewhere(const CVertexList& polygon, int i, int step)
{
    const UV& v = *polygon.getVertex(i);
    for (int k = 1; k < polygon.getCount(); ++k)
        if (const UV& w = *polygon.getVertex(i + step * k); !samePlace(w, v))
            return w;
    return v;
}

// Whether the way from vertex i to b leaves strictly between the vertex's
// two edges on the side of the face: left of the edges for orientation
// +1, right for -1. A vertex without two distinct neighbours lets any way
// through.
bool leavesIntoFace(const CVertexList& polygon, int i, int orientation, const UV& b)
{
    const UV& v = *polygon.getVertex(i);
    const UV* before = &neighbourElsewhere(polygon, i, -1);
    const UV* after = &neighbourElsewhere(polygon, i, 1);
    if (samePlace(*before, v) || samePlace(*before, *after))
        return true;
    if (orientation < 0)
        std::swap(before, after);
    if (turn(*before, v, *after) >= 0.0) // a convex or straight corner
        return turn(v, b, *before) > 0.0 && turn(b, v, *after) > 0.0;
    return !(turn(v, b, *after) >= 0.0 && turn(b, v, *before) >= 0.0);
}

bool meetsAnyEdge(const UV& a, const UV& b, const CVertexList& polygon)
{
    for (int k = 0; k < polygon.getCount(); ++k)
        if (meetsBridge(a, b, *polygon.getVertex(k), *polygon.getVertex(k + 1)))
            return true;
    return false;
}

// The polygon built so far with the side of the face at each of its
// vertices (the orientation argument of leavesIntoFace), and the holes
// still to be joined.
struct HoleJoin {
    CVertexList& polygon;
    std::vector<int> sides;
    std::vector<std::unique_ptr<CVertexList>> holes;
    std::vector<int> holeSides;

    HoleJoin(CVertexList& out, std::vector<std::unique_ptr<CVertexList>> toJoin)
        : polygon(out), sides(std::size_t(out.getCount()), orientationOf(out)),
          holes(std::move(toJoin))
    {
        // The face lies outside each hole.
        for (const auto& hole : holes)
            holeSides.push_back(-orientationOf(*hole));
    }

    // Whether the slit from polygon vertex i to vertex j of hole h stays
    // in the face.
    bool clear(int i, std::size_t h, int j) const
    {
        const UV &a = *polygon.vertices[i], &b = *holes[h]->vertices[j];
        if (samePlace(a, b))
            return true;
        if (!leavesIntoFace(polygon, i, sides[std::size_t(i)], b) ||
            !leavesIntoFace(*holes[h], j, holeSides[h], a) || meetsAnyEdge(a, b, polygon))
            return false;
        for (const auto& hole : holes)
            if (meetsAnyEdge(a, b, *hole))
                return false;
        return true;
    }

    // The closest pair of polygon vertex i and vertex j of hole h whose
    // slit stays in the face; the first pair in (i, then j) order wins
    // ties. False when there is none.
    bool bridge(std::size_t h, int& bi, int& bj) const
    {
        closest(h, bi, bj);
        if (clear(bi, h, bj))
            return true;
        struct Pair {
            double d;
            int i, j;
        };
        std::vector<Pair> pairs;
        const CVertexList& hole = *holes[h];
        for (int i = 0; i < polygon.getCount(); ++i)
            for (int j = 0; j < hole.getCount(); ++j)
                pairs.push_back(
                    {std::sqrt(squaredDistance(*polygon.vertices[i], *hole.vertices[j])), i, j});
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const Pair& x, const Pair& y) { return x.d < y.d; });
        for (const Pair& p : pairs)
            if (clear(p.i, h, p.j)) {
                bi = p.i;
                bj = p.j;
                return true;
            }
        return false;
    }

    // The closest pair by Euclidean distance; the first one found wins ties.
    void closest(std::size_t h, int& bi, int& bj) const
    {
        const CVertexList& hole = *holes[h];
        double best = 1e10;
        bi = bj = 0;
        for (int i = 0; i < polygon.getCount(); ++i)
            for (int j = 0; j < hole.getCount(); ++j) {
                const double d =
                    std::sqrt(squaredDistance(*polygon.vertices[i], *hole.vertices[j]));
                if (d < best) {
                    best = d;
                    bi = i;
                    bj = j;
                }
            }
    }

    // Cuts hole h open at bj and walks it from polygon vertex bi: vertex
    // bi, around the hole from bj back to bj, then a copy of bi.
    void join(std::size_t h, int bi, int bj)
    {
        CVertexList& hole = *holes[h];
        const int count = hole.getCount();
        auto* holeCopy = new UV(*hole.vertices[bj]);
        auto* outerCopy = new UV(*polygon.vertices[bi]);
        int start = 0;
        if (bj == 0) {
            hole.appendVertex(holeCopy);
            hole.appendVertex(outerCopy);
        } else {
            hole.vertices.insertAfter(holeCopy, bj - 1);
            hole.vertices.insertAfter(outerCopy, bj);
            start = bj + 2;
        }
        polygon.insertFrom(hole, bi, start);
        std::vector<int> walked(std::size_t(count + 1), holeSides[h]);
        walked.push_back(sides[std::size_t(bi)]);
        sides.insert(sides.begin() + bi + 1, walked.begin(), walked.end());
        holes.erase(holes.begin() + std::ptrdiff_t(h));
        holeSides.erase(holeSides.begin() + std::ptrdiff_t(h));
    }

    // Joins every hole: in list order, each at the closest pair whose slit
    // stays in the face. A hole that no such slit reaches yet waits until
    // the holes after it have joined; when none can be reached the first
    // one waiting joins at its closest pair.
    void joinAll()
    {
        while (!holes.empty()) {
            std::size_t h = 0;
            int bi = 0, bj = 0;
            while (h < holes.size() && !bridge(h, bi, bj))
                ++h;
            if (h == holes.size()) {
                h = 0;
                closest(h, bi, bj);
            }
            join(h, bi, bj);
        }
    }
};

} // namespace

void joinHolePolygons(CVertexList& polygon, std::vector<std::unique_ptr<CVertexList>> holes)
{
    if (polygon.getCount() == 0)
        return;
    std::erase_if(holes, [](const auto& hole) { return hole == nullptr || hole->getCount() == 0; });
    HoleJoin(polygon, std::move(holes)).joinAll();
}

// ---- The (u, v) polygon ----------------------------------------------------------------

int CFace::buildUVPolygon(CVertexList& out, int, double tol)
{
    if (trimLoops.count == 0 || !trimLoops[0]->getPolygon(out, 1, tol))
        return 0;
    // A hole without vertices ends the list: the holes before it are joined.
    std::vector<std::unique_ptr<CVertexList>> holes;
    bool emptyHole = false;
    for (int k = 1; k < trimLoops.count && !emptyHole; ++k) {
        holes.push_back(std::make_unique<CVertexList>());
        trimLoops[k]->getPolygon(*holes.back(), 1, tol);
        emptyHole = holes.back()->getCount() == 0;
    }
    joinHolePolygons(out, std::move(holes));
    if (emptyHole) {
        std::cout << "tempList.getCard()==0" << std::endl;
        return out.getCount();
    }
    return trimLoops.count;
}

void CFace::clearUVSamples()
{
    for (CLoop* loop : trimLoops)
        loop->clearUVSamples();
}

void CFace::dropDisplayList()
{
    if (displayList != -1 && Platform::GLContext::isAnyCurrent())
        glDeleteLists(static_cast<GLuint>(displayList), 1);
    displayList = -1;
}

void CFace::clearDisplayCache()
{
    delete faceter;
    faceter = nullptr;
    dropDisplayList();
    clearUVSamples();
}

bool CFace::updateTrimLoops()
{
    clearDisplayCache();
    uvPolygon.deleteVertices();
    buildUVPolygon(uvPolygon, 1, 0.1);
    return true;
}

CFaceter* CFace::getFaceter(int outline)
{
    if (faceter != nullptr)
        return faceter;
    faceter = new CFaceter();
    uvPolygon.deleteVertices();
    if (MeshType == 32)
        faceter->facetByVertexList(*this, outline != 0);
    else if (faceter->facetFace(*this) < 10 && faceter->getTriangleCount(0, 0) < 10)
        faceter->facetByVertexList(*this, outline != 0);
    return faceter;
}

// ---- Drawing ---------------------------------------------------------------------------

void CFace::callDisplayList()
{
    glPushAttrib(GL_LIGHTING_BIT);
    if (surface != nullptr)
        surface->setGLColour();
    glCallList(static_cast<GLuint>(displayList));
    glPopAttrib();
}

void CFace::drawShading()
{
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glDisable(GL_CULL_FACE);
    static const GLfloat front[4] = {1.0f, 0.8f, 0.3607f, 1.0f};
    static const GLfloat back[4] = {0.990588f, 0.881569f, 0.869412f, 1.0f};
    glMaterialfv(GL_FRONT, GL_DIFFUSE, front);
    glMaterialfv(GL_BACK, GL_DIFFUSE, back);
    CFaceter* tessellation = getFaceter(1);
    if (tessellation == nullptr || surface == nullptr)
        return;
    Vector point, normal;
    auto corner = [&](double u, double v) {
        getNormal(normal, u, v);
        getPoint(point, u, v);
        glNormal3d(normal[0], normal[1], normal[2]);
        glVertex3d(point[0], point[1], point[2]);
    };
    glBegin(GL_QUADS);
    for (const quadDataType& q : tessellation->quads)
        for (int k = 0; k < 4; ++k)
            corner(q.u[k], q.v[k]);
    glEnd();
    glBegin(GL_TRIANGLES);
    for (const triDataType& t : tessellation->triangles)
        for (int k = 0; k < 3; ++k)
            corner(t.u[k], t.v[k]);
    glEnd();
}

void CFace::draw(bool withTrims, bool useList)
{
    if (useList) {
        if (displayList != -1) {
            callDisplayList();
            return;
        }
        displayList = static_cast<int>(glGenLists(1));
        if (displayList == 0)
            displayList = -1;
        else
            glNewList(static_cast<GLuint>(displayList), GL_COMPILE);
    }
    drawShading();
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    computeIsoLines();
    glEnable(GL_DEPTH_TEST);
    glColor3d(0.11764706, 0.56470588, 1.0);
    if (withTrims && uvPolygon.getCount() > 1) {
        for (CLoop* loop : trimLoops) {
            glBegin(isChainClosed(loop->curves) ? GL_LINE_LOOP : GL_LINE_STRIP);
            for (CParCurve* curve : loop->curves)
                for (const CVertex<double, 3>& p : curve->spacePoints)
                    glVertex3dv(p.data);
            glEnd();
        }
    } else if (withTrims) {
        for (CLoop* loop : trimLoops)
            for (CParCurve* curve : loop->curves)
                curve->draw(0.1, true, 0);
    }
    if (withTrims && displayCurves.count > 0) {
        glPushAttrib(GL_LIGHTING_BIT);
        glColor3d(1.0, 0.57406, 0.0);
        for (CParCurve* curve : displayCurves)
            curve->draw(0.01, true, 0);
        glPopAttrib();
    }
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    if (useList && displayList != -1)
        glEndList();
    if (displayList != -1)
        callDisplayList();
}

void CFace::computeIsoLines()
{
    if (faceter == nullptr || surface == nullptr)
        return;
    std::unique_ptr<Fenwo::NurbsSurf> line(makeLineCurve(Vector(3), Vector(3)));
    CCONS pen(line.get(), surface);
    forEachScanPiece(*faceter, [&](const tuple<float, 2>& a, const tuple<float, 2>& b) {
        setPen(*line, a[0], a[1], b[0], b[1]);
        pen.draw(0.1, true, 0);
    });
    const Interval U = surface->getDomain(0), V = surface->getDomain(1);
    const double sides[4][4] = {{U.min, V.min, U.max, V.min},
                                {U.max, V.min, U.max, V.max},
                                {U.max, V.max, U.min, V.max},
                                {U.min, V.max, U.min, V.min}};
    for (const auto& s : sides) {
        setPen(*line, s[0], s[1], s[2], s[3]);
        pen.draw(0.1, true, 0);
    }
}

void CFace::drawTrimCurves()
{
    if (trimLoops.count == 0 || surface == nullptr)
        return;
    for (CParCurve* curve : trimLoops[0]->curves) {
        Kor::List<double> parameters;
        curve->facetCurve(parameters, chordToleranceWithin(*curve, 0.1, 2000), true, 2000, false,
                          false, -1.0);
        glBegin(GL_LINE_STRIP);
        for (double t : parameters) {
            Vector** C = curve->evaluateUV(1, t);
            if (C == nullptr)
                continue;
            const double u = C[0][0][0], v = C[0][0][1];
            const double du = C[1][0][0], dv = C[1][0][1];
            Vector** S = surface->evaluate(1, u, v);
            if (S == nullptr)
                continue;
            // The side to the left of the (u, v) direction, in space.
            Vector side = -dv * S[1][0] + du * S[0][1];
            side.normalize();
            const Vector beside = S[0][0] + side;
            double pu = u, pv = v;
            projectPointOnSurface(surface, beside, pu, pv);
            const Vector p = surface->getPoint(pu, pv);
            glVertex3d(p[0], p[1], p[2]);
        }
        glEnd();
    }
}
