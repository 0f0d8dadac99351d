#include "display/OpenGLContainer.h"

#include <GL/gl.h>

#include <cstdint>
#include <iostream>
#include <limits>

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
    forgetAll();
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
    entities.insertAt(entity, index);
    entity->container = this;
    indexName(entity);
    return entity;
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
    if (name == nullptr || name[0] == '\0')
        return nullptr;
    const auto first = byName.lower_bound(
        std::make_pair(std::string(name), std::numeric_limits<std::intptr_t>::min()));
    return first != byName.end() && first->first.first == name ? first->second : nullptr;
}

void COpenGLContainer::indexName(COpenGLEntity* entity)
{
    if (!entity->name.empty())
        byName.emplace(std::make_pair(std::string(entity->name.c_str()), entity->key), entity);
}

void COpenGLContainer::unindexName(COpenGLEntity* entity)
{
    if (entity->name.empty())
        return;
    const auto at = byName.find(std::make_pair(std::string(entity->name.c_str()), entity->key));
    if (at != byName.end() && at->second == entity)
        byName.erase(at);
}

void COpenGLContainer::take(COpenGLEntity* entity)
{
    entities.removeKey(entity, lessByKey, false);
    unindexName(entity);
    entity->container = nullptr;
}

void COpenGLContainer::forgetAll()
{
    for (COpenGLEntity* entity : entities)
        entity->container = nullptr;
    byName.clear();
}

bool COpenGLContainer::detachEntity(COpenGLEntity* entity)
{
    if (entity == nullptr)
        return false;
    int index = -1;
    if (!entities.find(entity, index, lessByKey) || entities[index] != entity)
        return false;
    take(entity);
    return true;
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
    take(entity);
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
    forgetAll();
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
