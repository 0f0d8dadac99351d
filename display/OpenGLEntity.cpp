#include "display/OpenGLEntity.h"

#include <GL/gl.h>

#include <cstring>

#include "display/OpenGLContainer.h"
#include "platform/GLContext.h"

void clearOpenGLErrors()
{
    // OpenGL keeps at most one flag per error kind; a handful of reads empties it.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

COpenGLEntity::COpenGLEntity() : key(displayKeyOf(*this)) {}

COpenGLEntity::~COpenGLEntity()
{
    if (container != nullptr)
        container->unindexName(this);
    if (listId != 0 && Platform::GLContext::isAnyCurrent())
        glDeleteLists(listId, 1);
    listId = 0;
    // Walk the chain instead of recursing through it: long chains must not
    // exhaust the stack.
    COpenGLEntity* child = children;
    children = nullptr;
    while (child != nullptr) {
        COpenGLEntity* next = child->children;
        child->children = nullptr;
        delete child;
        child = next;
    }
}

void COpenGLEntity::popAttrib()
{
    glPopAttrib();
}

void COpenGLEntity::pushAttrib()
{
    glPushAttrib(GL_CURRENT_BIT | GL_POINT_BIT | GL_LINE_BIT | GL_POLYGON_BIT | GL_LIGHTING_BIT |
                 GL_DEPTH_BUFFER_BIT);
}

unsigned int COpenGLEntity::draw()
{
    if (dirty) {
        if (listId == 0) {
            listId = glGenLists(1);
            if (listId == 0) {
                const GLenum error = glGetError();
                return error != GL_NO_ERROR ? error : GL_OUT_OF_MEMORY;
            }
        }
        glNewList(listId, GL_COMPILE);
        compiling = true;
        clearOpenGLErrors();
        compileCommands();
    }
    if (compiling) {
        glEndList();
        const GLenum error = glGetError();
        compiling = false;
        dirty = false;
        if (error != GL_NO_ERROR)
            return error;
    }
    if (!hidden) {
        if (listId != 0)
            glCallList(listId);
        clearOpenGLErrors();
    }
    return glGetError();
}

void COpenGLEntity::setFaceDisplayMode(int, bool) {}

void COpenGLEntity::setName(const char* text)
{
    if (container != nullptr)
        container->unindexName(this);
    name.set(text);
    if (container != nullptr)
        container->indexName(this);
}

bool COpenGLEntity::hasName(const char* text) const
{
    return text != nullptr && !name.empty() && std::strcmp(name.c_str(), text) == 0;
}

void COpenGLEntity::appendChild(COpenGLEntity* child)
{
    if (child == nullptr || child == this)
        return;
    COpenGLEntity** slot = &children;
    while (*slot != nullptr)
        slot = &(*slot)->children;
    *slot = child;
}

unsigned int COpenGLEntity::releaseList()
{
    const unsigned int released = listId;
    listId = 0;
    dirty = true;
    return released;
}
