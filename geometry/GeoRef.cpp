#include "geometry/GeoRef.h"

#include <iostream>

CGeoRef* geoRegistry()
{
    // Deliberately never destroyed: geometry objects with static storage
    // duration in any file may be destroyed after this function's statics,
    // and their destructors still unregister themselves here.
    static CGeoRef* registry = new CGeoRef;
    return registry;
}

CGeoRef::~CGeoRef()
{
    // The set is built owning, but the registry only refers to its objects,
    // which may already be gone: they are not touched here.
    objects.removeAll(false, false);
}

CGeoObject* CGeoRef::find(const CSimpleString& id) const
{
    CGeoObject key(id);
    int index = -1;
    if (objects.find(&key, index, lessGeoObjectId))
        return objects.items[index];
    return nullptr;
}

CGeoObject* CGeoRef::contains(const CGeoObject* obj) const
{
    if (obj == nullptr)
        return nullptr;
    int index = -1;
    if (objects.find(obj, index, lessGeoObjectId))
        return objects.items[index];
    return nullptr;
}

bool CGeoRef::addUnique(CGeoObject* obj)
{
    if (obj == nullptr || obj->id.empty())
        return false;
    int index = -1;
    if (objects.find(obj, index, lessGeoObjectId))
        return false;
    objects.insertAt(obj, index);
    ++obj->registrations;
    return true;
}

bool CGeoRef::remove(CGeoObject* obj)
{
    if (obj == nullptr)
        return false;
    if (obj->id.empty()) {
        std::cout << "can not remove Object: empty ID" << std::endl;
        return false;
    }
    int index = -1;
    if (!objects.find(obj, index, lessGeoObjectId) || objects.items[index] != obj)
        return false;
    takeOut(index);
    return true;
}

bool CGeoRef::forget(const CGeoObject* obj)
{
    if (obj == nullptr || objects.count == 0)
        return false;
    int index = -1;
    bool found = objects.find(obj, index, lessGeoObjectId) && objects.items[index] == obj;
    if (!found) {
        // The id may have changed since the object was added (a read into a
        // registered object); a linear scan still finds it by address.
        for (int i = 0; i < objects.count && !found; ++i) {
            if (objects.items[i] == obj) {
                index = i;
                found = true;
            }
        }
    }
    if (!found)
        return false;
    takeOut(index);
    return true;
}

void CGeoRef::takeOut(int index)
{
    CGeoObject* obj = objects.items[index];
    for (int i = index; i + 1 < objects.count; ++i)
        objects.items[i] = objects.items[i + 1];
    --objects.count;
    --obj->registrations;
}
