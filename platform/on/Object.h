// The object roots of the openNURBS subset: ON_Object (user strings, archive
// slots, the allocation a host document takes over), ON_Geometry (validity,
// dimension, bounding box, transformation, caches), the object attributes a
// host keeps beside each object, and ON_ObjRef, a stored reference to a
// document object or one of its components.
//
// Objects own their user strings; copies copy them. Not thread-safe.
#pragma once

#include "platform/on/Arrays.h"
#include "platform/on/Values.h"
#include "platform/on/WideString.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class ON_BinaryArchive;

class ON_Object {
public:
    ON_Object() = default;
    ON_Object(const ON_Object&) = default;
    ON_Object& operator=(const ON_Object&) = default;
    virtual ~ON_Object() = default;

    // Every object of the subset is allocated here, so a host document may
    // take over and later delete an object made by any library.
    static void* operator new(std::size_t size);
    static void operator delete(void* p) noexcept;

    // True when the object can be used; a reason for false is printed to
    // textLog when one is given.
    virtual bool IsValid(ON_TextLog* textLog = nullptr) const;
    virtual ON::object_type ObjectType() const { return ON::unknown_object_type; }
    // Archive slots for objects that store themselves; the base stores
    // nothing and answers false.
    virtual bool Write(ON_BinaryArchive& archive) const;
    virtual bool Read(ON_BinaryArchive& archive);

    // Sets the value of key; a null value removes the key. A key keeps its
    // place when its value changes; new keys go last. False for a null or
    // empty key.
    bool SetUserString(const wchar_t* key, const wchar_t* value);
    // False (value unchanged) when the key has no value.
    bool GetUserString(const wchar_t* key, ON_wString& value) const;
    // Appends the keys in insertion order; returns how many were appended.
    int GetUserStringKeys(ON_ClassArray<ON_wString>& keys) const;
    int UserStringCount() const { return static_cast<int>(m_userStrings.size()); }

protected:
    // The user strings as a counted list of key and value pairs.
    bool WriteUserStrings(ON_BinaryArchive& archive) const;
    // Replaces the user strings; false leaves them as they were.
    bool ReadUserStrings(ON_BinaryArchive& archive);

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_userStrings;
};

class ON_Geometry : public ON_Object {
public:
    // Number of coordinates of the geometry's points (2 for parameter-plane
    // curves, else 3).
    virtual int Dimension() const { return 3; }
    // Writes the box into boxmin[0..2] and boxmax[0..2]; with bGrowBox and a
    // valid box already there, the two are united. False when the geometry
    // has no box (outputs unchanged).
    virtual bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const;
    // GetBBox as a box; empty when there is none.
    ON_BoundingBox BoundingBox() const;
    // Applies xform in place; false (unchanged) for geometry that refuses it.
    virtual bool Transform(const ON_Xform& xform);
    virtual void ClearBoundingBox() {}
    virtual void DestroyRuntimeCache(bool bDelete = true) { (void)bDelete; }
};

namespace OnSubset {

// GetBBox's output rule for a computed box: false for an empty box.
bool storeBox(const ON_BoundingBox& box, double* boxmin, double* boxmax, bool bGrowBox);

} // namespace OnSubset

// What a host keeps beside each object: name, visibility, colour and its
// source, layer, and user strings.
class ON_3dmObjectAttributes : public ON_Object {
public:
    ON_wString m_name;
    ON_Color m_color;
    int m_layer_index = 0;

    bool IsVisible() const { return m_visible; }
    void SetVisible(bool visible) { m_visible = visible; }
    ON::object_color_source ColorSource() const { return m_colorSource; }
    // Values outside the enumeration are ignored.
    void SetColorSource(ON::object_color_source source);

    bool Write(ON_BinaryArchive& archive) const override;
    // False (attributes unchanged) on a short or malformed record.
    bool Read(ON_BinaryArchive& archive) override;

private:
    bool m_visible = true;
    ON::object_color_source m_colorSource = ON::color_from_layer;
};

// A reference to a document object by id, optionally to one of its
// components (a Brep edge or face).
class ON_ObjRef {
public:
    enum ComponentType {
        no_component = 0,
        brep_vertex = 1,
        brep_edge = 2,
        brep_trim = 3,
        brep_loop = 4,
        brep_face = 5,
    };

    ON_UUID m_uuid;
    ComponentType m_component_type = no_component;
    int m_component_index = -1;

    virtual ~ON_ObjRef() = default;

    bool Write(ON_BinaryArchive& archive) const;
    // False (reference unchanged) on a short or malformed record.
    bool Read(ON_BinaryArchive& archive);
};
