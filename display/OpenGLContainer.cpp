#include "display/OpenGLContainer.h"

#include <GL/gl.h>

#include <cstdint>
#include <iostream>

#include "platform/GLContext.h"
#include "platform/MessageBox.h"

namespace {

bool lessByKey(const COpenGLEntity* a, const COpenGLEntity* b)
{
    return a->key < b->key;
}

bool lessName(const unsigned int* a, const unsigned int* b)
{
    return *a < *b;
}

bool isBottom(int layer)
{
    return layer == COpenGLEntity::LayerBottom;
}
bool isTop(int layer)
{
    return layer == COpenGLEntity::LayerTop;
}
bool isOrdinary(int layer)
{
    return !isBottom(layer) && !isTop(layer);
}

} // namespace

COpenGLContainer::COpenGLContainer()
{
    setFaceDisplayMode(0, true);
}

COpenGLContainer::~COpenGLContainer()
{
    std::cout << "COpenGLContainer::~COpenGLContainer() deleted OPenGLList at: " << creation.value()
              << std::endl;
    moveListsToPending();
    // The entities handed their lists over instead of deleting them; without a
    // current context there is nothing to delete them in, and the lists go
    // with the context.
    if (Platform::GLContext::isAnyCurrent()) {
        for (unsigned int* name : pendingDeletions)
            glDeleteLists(*name, 1);
    }
    pendingDeletions.removeAll(false, true);
    callLists.removeAll();
    entities.removeAll(false, true);
}

bool COpenGLContainer::draw()
{
    for (unsigned int* name : pendingDeletions)
        glDeleteLists(*name, 1);
    pendingDeletions.removeAll(false, true);

    drawLayer(isBottom);
    drawLayer(isOrdinary);
    for (int name : callLists)
        glCallList(static_cast<GLuint>(name));
    glLineWidth(1.0f);
    drawLayer(isTop);
    return true;
}

void COpenGLContainer::drawLayer(bool (*inLayer)(int layer))
{
    for (COpenGLEntity* entity : entities)
        if (inLayer(entity->layer))
            entity->draw();
}

COpenGLEntity* COpenGLContainer::addEntity(COpenGLEntity* entity, bool onTop)
{
    if (entity == nullptr)
        return nullptr;
    // Only faces take the mode; they mark themselves dirty on taking it.
    entity->setFaceDisplayMode(faceDisplayMode, faceEdges);
    entity->layer = onTop ? COpenGLEntity::LayerTop : COpenGLEntity::LayerDefault;
    int index = -1;
    if (entities.find(entity, index, lessByKey))
        return entities[index];
    return entities.insertAt(entity, index);
}

COpenGLEntity* COpenGLContainer::findEntity(std::intptr_t key) const
{
    COpenGLEntity probe;
    probe.key = key;
    int index = -1;
    return entities.find(&probe, index, lessByKey) ? entities[index] : nullptr;
}

COpenGLEntity* COpenGLContainer::findEntityByName(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    for (COpenGLEntity* entity : entities)
        if (entity->hasName(name))
            return entity;
    return nullptr;
}

bool COpenGLContainer::detachEntity(COpenGLEntity* entity)
{
    if (entity == nullptr)
        return false;
    int index = -1;
    if (!entities.find(entity, index, lessByKey) || entities[index] != entity)
        return false;
    return entities.removeKey(entity, lessByKey, false);
}

bool COpenGLContainer::removeEntity(COpenGLEntity* entity)
{
    if (entity == nullptr)
        return false;
    int index = -1;
    if (!entities.find(entity, index, lessByKey))
        return false;
    if (entities[index] != entity) {
        Platform::showMessageBox("OpenGL delete request ignored");
        return false;
    }
    entities.removeKey(entity, lessByKey, false);
    // The list is deleted at the next draw, not by the entity: its name could
    // otherwise be handed out again before the pending deletion runs.
    addPending(entity->releaseList());
    delete entity;
    return true;
}

bool COpenGLContainer::removeEntityByName(const char* name)
{
    return removeEntity(findEntityByName(name));
}

void COpenGLContainer::setFaceDisplayMode(int mode, bool edges)
{
    faceDisplayMode = mode;
    faceEdges = edges;
    for (COpenGLEntity* entity : entities)
        entity->setFaceDisplayMode(mode, edges);
}

bool COpenGLContainer::getFaceDisplayMode(int& mode, bool& edges) const
{
    mode = faceDisplayMode;
    edges = faceEdges;
    return true;
}

bool COpenGLContainer::moveListsToPending()
{
    releaseLists();
    entities.removeAll(true, true);
    return true;
}

void COpenGLContainer::releaseLists()
{
    for (COpenGLEntity* entity : entities)
        addPending(entity->releaseList());
    for (int name : callLists)
        addPending(static_cast<unsigned int>(name));
    callLists.removeAll();
}

void COpenGLContainer::addPending(unsigned int listName)
{
    if (listName != 0)
        pendingDeletions.findOrInsert(listName, lessName);
}
