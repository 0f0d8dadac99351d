// Registry of geometry objects by id.
//
// While a geometry text file is read, objects refer to each other by id (a
// curve on a surface names its uv curve and its surface); `CGeoRef` finds them
// again. The process has one registry, reached through geoRegistry(); further
// CGeoRef instances serve tests.
//
// Ownership: the registry refers to its objects and never deletes them. An
// object is registered between its caller's addUnique and its destruction (or
// an explicit remove); every CGeoObject destructor takes its object out, so
// the registry never holds a dangling pointer.
// Thread-safety: none; the registry is one unlocked process-wide set.
#pragma once

#include "foundation/KorSet.h"
#include "geometry/GeoObject.h"

class CGeoRef {
public:
    // Object pointers sorted by id (lessGeoObjectId); never deleted here.
    Kor::Set<CGeoObject> objects;

    CGeoRef() = default;
    CGeoRef(const CGeoRef&) = delete;
    CGeoRef& operator=(const CGeoRef&) = delete;
    // Empties the set without deleting the objects.
    virtual ~CGeoRef();

    // The stored object with this id, or null.
    CGeoObject* find(const CSimpleString& id) const;
    // The stored object with obj's id (obj itself or another object), or
    // null; null for a null obj.
    CGeoObject* contains(const CGeoObject* obj) const;
    // Stores obj at its sorted place. False, and nothing stored, for a null
    // obj, an obj with an empty id (such an object could not be removed
    // again) or when an object with the same id is already stored: the first
    // one stays.
    bool addUnique(CGeoObject* obj);
    // Takes obj out (the later entries shift down; obj is not deleted).
    // False for a null obj; an empty id prints "can not remove Object: empty
    // ID" on standard output and gives false. False as well when obj itself
    // is not stored, even if another object with the same id is: that one
    // stays registered.
    bool remove(CGeoObject* obj);
    // Takes obj out when it is stored, whatever its id (empty, or changed
    // since it was added); silent. Used by the CGeoObject destructor.
    bool forget(const CGeoObject* obj);

    int getCount() const { return objects.count; }

private:
    void takeOut(int index);
};

// The process-wide registry. It is created on first use and never destroyed,
// so objects may register and unregister during static initialisation and
// destruction in any order across files.
CGeoRef* geoRegistry();
