// COpenGLContainer: the store of every display entity of the net, kept sorted
// by key, drawn layer by layer, with extra display lists replayed between the
// ordinary layers and the top layer.
//
// Ownership: the container owns every entity it stores and deletes it on
// removal, on moveListsToPending and on destruction. The display lists of
// removed entities are handed to the pending deletions and deleted at the
// start of the next draw, when the view's context is current again. The
// names in callLists belong to whoever registered them; the container only
// replays them and, on moveListsToPending, deletes them.
// Names: the container keeps an index of its named entities by name and
// key, in step with what it stores and with setName on a stored entity, so a
// look-up by name costs the logarithm of the count, not a walk over all.
// Thread-safety: none; used on the user-interface thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "display/OpenGLEntity.h"
#include "foundation/CreationOrder.h"
#include "foundation/KorList.h"
#include "foundation/KorSet.h"

class COpenGLContainer {
public:
    // Owning, ascending keys, no repeats; changed only through the members
    // below, which keep the name index in step.
    Kor::Set<COpenGLEntity> entities;
    Kor::List<int> callLists;                // replayed after the ordinary layers
    Kor::Set<unsigned int> pendingDeletions; // list names deleted at the next draw
    int faceDisplayMode = 0;
    bool faceEdges = true;
    // The container's identity in the destruction line: the same in every
    // run, unlike its address.
    const CreationOrder creation;

    COpenGLContainer();
    // Prints the destruction line (with the container's creation number),
    // destroys every entity and deletes every list the container still knows
    // of (when a context is current).
    virtual ~COpenGLContainer();
    COpenGLContainer(const COpenGLContainer&) = delete;
    COpenGLContainer& operator=(const COpenGLContainer&) = delete;

    // Deletes the pending lists, then draws the bottom layer, the ordinary
    // layers, the call lists and (after resetting the line width) the top
    // layer; within a layer in key order. Always true.
    virtual bool draw();

    // Stores entity in layer 1, or in the top layer when onTop, and returns
    // it. When an entity with the same key is stored already, that one is
    // returned and the argument is not stored: the caller keeps ownership of
    // it. Null for a null entity.
    COpenGLEntity* addEntity(COpenGLEntity* entity, bool onTop = false);

    // The stored entity with this key, or null.
    COpenGLEntity* findEntity(std::intptr_t key) const;

    // The first entity in key order with a non-empty name equal to name, or
    // null.
    COpenGLEntity* findEntityByName(const char* name) const;

    // Takes entity out of the container without deleting it; the caller owns
    // it again. False when entity is null or not stored (a different entity
    // stored under the same key is left in place).
    bool detachEntity(COpenGLEntity* entity);

    // Takes entity out, schedules its list for deletion and deletes it. False
    // for null or when no entity has its key; when the key belongs to a
    // different stored entity, shows the message box "OpenGL delete request
    // ignored" and changes nothing.
    bool removeEntity(COpenGLEntity* entity);

    // removeEntity of findEntityByName(name).
    bool removeEntityByName(const char* name);

    // Stores mode and edges and hands them to every stored entity (faces take
    // them and recompile).
    void setFaceDisplayMode(int mode, bool edges);
    // The stored mode (0 shaded, 1 iso lines, 2 trim curves, 3 control
    // points, 4 none) and edge flag; always true.
    bool getFaceDisplayMode(int& mode, bool& edges) const;

    // Schedules the lists of every entity and every call list for deletion,
    // destroys all entities and empties the call lists. Always true.
    bool moveListsToPending();
    // Schedules the lists of every entity and every call list for deletion
    // and empties the call lists; the entities stay and compile anew at
    // their next draw.
    void releaseLists();

private:
    friend class COpenGLEntity;
    // Entering and leaving the name index (unnamed entities are never in it).
    void indexName(COpenGLEntity* entity);
    void unindexName(COpenGLEntity* entity);
    // Takes entity out of entities and of the name index.
    void take(COpenGLEntity* entity);
    // Forgets every entity: the index empties and no entity points here.
    void forgetAll();

    // The named stored entities by (name, key): the first at or after
    // (name, smallest key) is the first in key order with that name.
    std::map<std::pair<std::string, std::intptr_t>, COpenGLEntity*> byName;

    void addPending(unsigned int listName);
    void drawLayer(bool (*inLayer)(int layer));
};
