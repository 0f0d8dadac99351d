#include "display/entities/OpenGLMesh.h"

#include <GL/gl.h>

#include <cstdint>
#include <iostream>

#include "mesh/BaseMesh.h"

namespace {
constexpr int kHighlightMode = 8;
constexpr int kHighlightOnlyMode = 264;
} // namespace

COpenGLMesh::COpenGLMesh(const char* name, Mesh::CBaseMesh* mesh_, float fr, float fg, float fb,
                         float fa, float br, float bg, float bb, float ba)
    : mesh(mesh_)
{
    key = mesh_ != nullptr ? displayKeyOf(*mesh_) : 0;
    depthTestOff = false;
    const float front[4] = {fr, fg, fb, fa}, back[4] = {br, bg, bb, ba};
    for (int k = 0; k < 4; ++k) {
        frontColour[k] = front[k];
        backColour[k] = back[k];
    }
    setName(name);
}

COpenGLMesh::~COpenGLMesh()
{
    if (mesh != nullptr)
        mesh->modified = true;
    highlight.removeAll();
}

unsigned int COpenGLMesh::draw()
{
    if (transformed) {
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glTranslated(translation[0], translation[1], translation[2]);
        glRotated(rotationAngle, rotationAxis[0], rotationAxis[1], rotationAxis[2]);
    }
    unsigned int error = 0;
    if (!highlightOnly && mesh != nullptr && mesh->getFacetCount() > kListedFacets) {
        // Drawn straight: a list compiled while the mesh was smaller goes.
        if (listId != 0)
            glDeleteLists(listId, 1);
        listId = 0;
        dirty = false;
        clearOpenGLErrors();
        if (!hidden)
            compileCommands();
        error = glGetError();
    } else if (!highlightOnly) {
        error = COpenGLEntity::draw();
    }
    if (highlight.count > 0 && mesh != nullptr) {
        glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT | GL_POINT_BIT);
        glDisable(GL_DEPTH_TEST);
        mesh->drawFacetList(highlightOnly ? kHighlightOnlyMode : kHighlightMode, highlight);
        glPopAttrib();
    }
    if (transformed) {
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }
    return error != 0 ? error : glGetError();
}

void COpenGLMesh::compileCommands()
{
    GLint polygonMode[2] = {GL_FILL, GL_FILL};
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    pushAttrib();
    if (polygonMode[0] != GL_FILL) {
        glPolygonMode(GL_FRONT, GL_FILL);
        std::cout << "OpenGL forcing:GL_FILL " << std::endl;
    }
    if (depthTestOff)
        glDisable(GL_DEPTH_TEST);
    else
        glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glShadeModel(GL_FLAT);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    // The colour acts as the ambient colour over a grey diffuse one.
    static const GLfloat grey[4] = {0.7f, 0.7f, 0.7f, 1.0f};
    const GLfloat front[4] = {frontColour[0], frontColour[1], frontColour[2], 1.0f};
    const GLfloat back[4] = {backColour[0], backColour[1], backColour[2], 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, front);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, grey);
    glMaterialf(GL_FRONT, GL_SHININESS, 50.0f);
    glMaterialfv(GL_BACK, GL_AMBIENT_AND_DIFFUSE, back);
    glMaterialfv(GL_BACK, GL_DIFFUSE, grey);
    glMaterialf(GL_BACK, GL_SHININESS, 50.0f);
    glDisable(GL_CULL_FACE);
    glPointSize(float(pointSize));
    if (drawMesh && mesh != nullptr) {
        mesh->modified = true;
        mesh->draw(meshDrawMode);
    }
    glDisable(GL_COLOR_MATERIAL);
    popAttrib();
}
