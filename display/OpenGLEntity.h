// COpenGLEntity: one drawable thing of the display layer (a mesh, a poly-line,
// a face, the net). It compiles its OpenGL commands into a display list once
// and replays that list on every redraw until it is marked dirty again.
//
// Ownership: an entity owns its display list and its chain of children (the
// first child in `children`, each child's next sibling in the child's own
// `children` field); destroying the entity deletes both. Entities stored in a
// COpenGLContainer are owned by the container. Not copyable.
// Thread-safety: none. Drawing runs on the user-interface thread with the
// view's OpenGL context current; OpenGL is only called while a context is.
#pragma once

#include <climits>
#include <cstdint>

#include "foundation/CreationOrder.h"
#include "foundation/SimpleString.h"

class COpenGLContainer;

class COpenGLEntity {
public:
    // Layers of the container: the bottom layer is drawn first, the top layer
    // last (after the container's call lists), every other layer in between.
    static constexpr int LayerBottom = INT_MIN;
    static constexpr int LayerTop = INT_MAX;
    static constexpr int LayerDefault = 1;

    // Only entities that draw themselves transformed (the mesh display) set
    // and use the transform.
    bool transformed = false;
    double translation[3] = {0.0, 0.0, 0.0};
    double rotationAngle = 0.0; // degrees
    double rotationAxis[3] = {0.0, 0.0, 1.0};
    bool depthTestOff = true;
    bool hidden = false; // the list is kept (and compiled when dirty) but not called
    int kind = 2;
    float colour[3] = {0.f, 0.f, 0.f};
    float alpha = 1.f;
    COpenGLEntity* children = nullptr; // owned chain, see above
    unsigned int listId = 0;           // display list name, 0 when none was generated
    bool dirty = true;                 // compile again at the next draw
    bool compiling = false;
    int layer = 0;
    // The entity's identity (see displayKeyOf).
    const CreationOrder creation;
    // Sort key in the container: the entity's own creation number, or the
    // creation number of the object the entity stands for (displayKeyOf),
    // so that the container draws in the same order in every run. Change it
    // only while the entity is not stored in a container.
    std::intptr_t key;

    COpenGLEntity();
    // Deletes the display list (when a context is current), then the chain of
    // children one by one. An entity still stored leaves its container's
    // name index first.
    virtual ~COpenGLEntity();
    COpenGLEntity(const COpenGLEntity&) = delete;
    COpenGLEntity& operator=(const COpenGLEntity&) = delete;

    // glPopAttrib, the counterpart of pushAttrib.
    virtual void popAttrib();

    // Compiles the list when dirty (with compileCommands between glNewList and
    // glEndList), then calls it unless hidden. Returns the OpenGL error code,
    // 0 when none. A compile that raises an error returns that error without
    // calling the list in this draw; the entity is no longer dirty either way.
    // When no list name can be generated the entity stays dirty and the error
    // (GL_OUT_OF_MEMORY when OpenGL reports none) is returned.
    virtual unsigned int draw();

    // glPushAttrib of the current, point, line, polygon, lighting and depth
    // buffer state.
    virtual void pushAttrib();

    virtual int getKind() const { return kind; }

    // Receives the container's face display mode and edge flag. Entities that
    // are not faces ignore it; a face stores both and marks itself dirty.
    virtual void setFaceDisplayMode(int mode, bool edges);

    // True for the display of a face's surface or trimmed face; the grid
    // shows and hides these together.
    virtual bool isFaceDisplay() const { return false; }

    // Receives the grid's depth-test switch. Entities without one ignore it;
    // the others store it in their own terms and mark themselves dirty.
    virtual void applyDepthTest(bool on) { (void)on; }

    void setDirty() { dirty = true; }
    // Sets colour and alpha; what the entity shows changes only after its
    // next compile (callers mark it dirty when it has one).
    void setRgba(float r, float g, float b, float a)
    {
        colour[0] = r;
        colour[1] = g;
        colour[2] = b;
        alpha = a;
    }
    // Names the entity; a stored entity is found under the new name from now
    // on.
    void setName(const char* text);
    const CSimpleString& getName() const { return name; }
    bool hasName(const char* text) const;

    // Appends child (owned from now on) at the end of the chain; null is
    // ignored.
    void appendChild(COpenGLEntity* child);

    // Hands the display list name over to the caller (who deletes the list
    // later) and forgets it; the entity becomes dirty so that a later draw
    // compiles a new list.
    unsigned int releaseList();

protected:
    // The commands compiled into the list; the base entity draws nothing.
    virtual void compileCommands() {}

private:
    friend class COpenGLContainer;
    CSimpleString name;
    // The container that stores the entity, null while it is stored in none:
    // its name index follows the entity's name.
    COpenGLContainer* container = nullptr;
};

// The container key of the entity that stands for `object` (a mesh, a
// poly-line): the object's creation number. Numbers come from one counter,
// so they never meet an entity's own key.
template <class T> std::intptr_t displayKeyOf(const T& object)
{
    return static_cast<std::intptr_t>(object.creation.value());
}

// Empties the OpenGL error queue (bounded, so a missing context cannot make it
// spin).
void clearOpenGLErrors();
