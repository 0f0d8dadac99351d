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

#include <cmath>
#include <iostream>
#include <memory>

namespace {

// Moves a two-point pen curve to run from a to b in the (u, v) plane.
void setPen(Fenwo::NurbsSurf& pen, double ua, double va, double ub, double vb)
{
    pen.setControlPoint(0, 0, Vector(ua, va, 0.0), 1.0);
    pen.setControlPoint(1, 0, Vector(ub, vb, 0.0), 1.0);
}

} // namespace

// ---- The (u, v) polygon ----------------------------------------------------------------

int CFace::buildUVPolygon(CVertexList& out, int, double tol)
{
    if (trimLoops.count == 0 || !trimLoops[0]->getPolygon(out, 1, tol))
        return 0;
    for (int k = 1; k < trimLoops.count; ++k) {
        CVertexList hole;
        trimLoops[k]->getPolygon(hole, 1, tol);
        if (hole.getCount() == 0) {
            std::cout << "tempList.getCard()==0" << std::endl;
            return out.getCount();
        }
        // The closest pair; the first one found wins ties.
        double best = 1e10;
        int bi = 0, bj = 0;
        for (int i = 0; i < out.getCount(); ++i)
            for (int j = 0; j < hole.getCount(); ++j) {
                const double d = std::sqrt(squaredDistance(*out.vertices[i], *hole.vertices[j]));
                if (d < best) {
                    best = d;
                    bi = i;
                    bj = j;
                }
            }
        // Cut the hole open at bj: the walk returns to hole vertex bj and then
        // to outer vertex bi, a slit of zero width.
        auto* holeCopy = new CVertex<double, 3>(*hole.vertices[bj]);
        auto* outerCopy = new CVertex<double, 3>(*out.vertices[bi]);
        int start = 0;
        if (bj == 0) {
            hole.appendVertex(holeCopy);
            hole.appendVertex(outerCopy);
        } else {
            hole.vertices.insertAfter(holeCopy, bj - 1);
            hole.vertices.insertAfter(outerCopy, bj);
            start = bj + 2;
        }
        out.insertFrom(hole, bi, start);
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
    const double origin[3] = {0.0, 0.0, 0.0};
    std::unique_ptr<Fenwo::NurbsSurf> line(makeCurve(origin, origin));
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
