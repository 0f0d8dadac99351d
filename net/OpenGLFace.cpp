#include "net/OpenGLFace.h"

#include "display/ColorCoding.h"
#include "display/Markers.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "net/FaceRecords.h"

#include <GL/gl.h>

namespace {

constexpr int kRecord = 6; // floats per error point

} // namespace

COpenGLFace::COpenGLFace(CFace* f, const Kor::List<float>& errors, CColorCoding* map)
    : colourMap(map), face(f), errorPoints(errors)
{
    layer = LayerTop;
    setDirty();
}

void COpenGLFace::setFaceDisplayMode(int mode, bool withEdges)
{
    displayMode = mode;
    edges = withEdges;
    setDirty();
}

void COpenGLFace::applyDepthTest(bool on)
{
    depthTestOff = !on;
    setDirty();
}

void COpenGLFace::compileCommands()
{
    if (displayMode < 0 || displayMode > 3)
        return;
    pushAttrib();
    if (face != nullptr) {
        // The entity's list holds the drawing: the face keeps no list of its
        // own inside it, and its tessellation is made afresh for the mode.
        face->clearDisplayCache();
        if (depthTestOff)
            glDisable(GL_DEPTH_TEST);
        else
            glEnable(GL_DEPTH_TEST);
        switch (displayMode) {
        case 0:
            glShadeModel(GL_SMOOTH);
            face->MeshType = 17;
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            face->draw(edges, false);
            break;
        case 1:
            face->MeshType = 32;
            face->getFaceter(1);
            glDisable(GL_LIGHTING);
            glColor3f(1.0f, 0.658f, 0.1411f);
            face->computeIsoLines();
            break;
        case 2:
            glDisable(GL_LIGHTING);
            glColor3f(1.0f, 0.5647f, 0.0f);
            glLineWidth(2.0f);
            face->drawTrimCurves();
            break;
        default:
            glDisable(GL_LIGHTING);
            glLineWidth(1.0f);
            if (Fenwo::NurbsSurf* surface = face->getNurbsSurf())
                surface->render(0, 0, 0, 8, 0.9f, 0.9f, 0.0f, 0.5f);
            break;
        }
        const int records = errorPoints.count / kRecord;
        if (colourMap != nullptr && records > 0 && errorPoints.count % kRecord == 0) {
            glDisable(GL_DEPTH_TEST);
            glDisable(GL_LIGHTING);
            glPointSize(3.0f);
            float rgba[4];
            glBegin(GL_POINTS);
            for (int k = 0; k < records; ++k) {
                const float* e = errorPoints.data + kRecord * k;
                colourMap->getColour(rgba, e[2]);
                glColor4fv(rgba);
                glVertex3f(e[3], e[4], e[5]);
            }
            glEnd();
        }
    }
    if (loop != nullptr) {
        glLineWidth(3.0f);
        glDisable(GL_LIGHTING);
        glColor3f(0.8f, 0.0f, 0.1f);
        Kor::List<CVertex<float, 3>*> corners;
        loop->getVertexList(corners);
        CMarkerFrame frame;
        for (const CVertex<float, 3>* p : corners)
            if (p != nullptr)
                drawMarker(p->data[0], p->data[1], p->data[2], 1, false, &frame, 1.5);
    }
    popAttrib();
}
