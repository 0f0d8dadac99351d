#include "platform/on/Object.h"

#include "platform/on/Archive.h"

#include <algorithm>
#include <new>

void* ON_Object::operator new(std::size_t size)
{
    return ::operator new(size);
}

void ON_Object::operator delete(void* p) noexcept
{
    ::operator delete(p);
}

bool ON_Object::IsValid(ON_TextLog*) const
{
    return true;
}

bool ON_Object::Write(ON_BinaryArchive&) const
{
    return false;
}

bool ON_Object::Read(ON_BinaryArchive&)
{
    return false;
}

bool ON_Object::SetUserString(const wchar_t* key, const wchar_t* value)
{
    if (!key || !*key)
        return false;
    auto it = std::find_if(m_userStrings.begin(), m_userStrings.end(),
                           [&](const auto& kv) { return kv.first == key; });
    if (!value) {
        if (it != m_userStrings.end())
            m_userStrings.erase(it);
        return true;
    }
    if (it != m_userStrings.end())
        it->second = value;
    else
        m_userStrings.emplace_back(key, value);
    return true;
}

bool ON_Object::GetUserString(const wchar_t* key, ON_wString& value) const
{
    if (!key)
        return false;
    for (const auto& kv : m_userStrings) {
        if (kv.first == key) {
            value = ON_wString(kv.second);
            return true;
        }
    }
    return false;
}

int ON_Object::GetUserStringKeys(ON_ClassArray<ON_wString>& keys) const
{
    for (const auto& kv : m_userStrings)
        keys.Append(ON_wString(kv.first));
    return UserStringCount();
}

bool ON_Object::WriteUserStrings(ON_BinaryArchive& archive) const
{
    if (!archive.WriteInt(UserStringCount()))
        return false;
    for (const auto& kv : m_userStrings)
        if (!archive.WriteString(ON_wString(kv.first)) ||
            !archive.WriteString(ON_wString(kv.second)))
            return false;
    return true;
}

bool ON_Object::ReadUserStrings(ON_BinaryArchive& archive)
{
    int count = 0;
    // Every pair takes at least two 4-byte lengths.
    if (!archive.ReadInt(&count) || count < 0 ||
        static_cast<std::size_t>(count) > archive.BytesLeft() / 8)
        return false; // the caller restores the record's position
    std::vector<std::pair<std::wstring, std::wstring>> read;
    read.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ON_wString key, value;
        if (!archive.ReadString(key) || !archive.ReadString(value))
            return false;
        read.emplace_back(key.Str(), value.Str());
    }
    m_userStrings = std::move(read);
    return true;
}

bool ON_Geometry::GetBBox(double*, double*, bool) const
{
    return false;
}

ON_BoundingBox ON_Geometry::BoundingBox() const
{
    ON_BoundingBox box;
    if (!GetBBox(&box.m_min.x, &box.m_max.x, false))
        return ON_BoundingBox();
    return box;
}

bool ON_Geometry::Transform(const ON_Xform&)
{
    return false;
}

namespace OnSubset {

bool storeBox(const ON_BoundingBox& computed, double* boxmin, double* boxmax, bool bGrowBox)
{
    if (!computed.IsValid() || !boxmin || !boxmax)
        return false;
    ON_BoundingBox box = computed;
    if (bGrowBox)
        box.Union(ON_BoundingBox(ON_3dPoint(boxmin), ON_3dPoint(boxmax)));
    for (int i = 0; i < 3; ++i) {
        boxmin[i] = box.m_min[i];
        boxmax[i] = box.m_max[i];
    }
    return true;
}

} // namespace OnSubset

void ON_3dmObjectAttributes::SetColorSource(ON::object_color_source source)
{
    if (source >= ON::color_from_layer && source <= ON::color_from_parent)
        m_colorSource = source;
}

namespace {

constexpr int attributesVersion = 1;
constexpr int objRefVersion = 1;

} // namespace

bool ON_3dmObjectAttributes::Write(ON_BinaryArchive& archive) const
{
    unsigned char rgba[4] = {
        static_cast<unsigned char>(m_color.Red()), static_cast<unsigned char>(m_color.Green()),
        static_cast<unsigned char>(m_color.Blue()), static_cast<unsigned char>(m_color.Alpha())};
    return archive.WriteInt(attributesVersion) && archive.WriteString(m_name) &&
           archive.WriteByte(4, rgba) && archive.WriteInt(m_colorSource) &&
           archive.WriteInt(m_visible ? 1 : 0) && archive.WriteInt(m_layer_index) &&
           WriteUserStrings(archive);
}

bool ON_3dmObjectAttributes::Read(ON_BinaryArchive& archive)
{
    std::size_t start = archive.CurrentPosition();
    ON_3dmObjectAttributes read;
    int version = 0, source = 0, visible = 0;
    unsigned char rgba[4];
    if (!archive.ReadInt(&version) || version != attributesVersion ||
        !archive.ReadString(read.m_name) || !archive.ReadByte(4, rgba) ||
        !archive.ReadInt(&source) || !archive.ReadInt(&visible) ||
        !archive.ReadInt(&read.m_layer_index) || !read.ReadUserStrings(archive) ||
        source < ON::color_from_layer || source > ON::color_from_parent) {
        archive.SeekFromStart(start);
        return false;
    }
    read.m_color.SetRGBA(rgba[0], rgba[1], rgba[2], rgba[3]);
    read.m_colorSource = static_cast<ON::object_color_source>(source);
    read.m_visible = visible != 0;
    *this = read;
    return true;
}

bool ON_ObjRef::Write(ON_BinaryArchive& archive) const
{
    return archive.WriteInt(objRefVersion) && archive.WriteUuid(m_uuid) &&
           archive.WriteInt(m_component_type) && archive.WriteInt(m_component_index);
}

bool ON_ObjRef::Read(ON_BinaryArchive& archive)
{
    std::size_t start = archive.CurrentPosition();
    int version = 0, type = 0, index = -1;
    ON_UUID id;
    if (!archive.ReadInt(&version) || version != objRefVersion || !archive.ReadUuid(id) ||
        !archive.ReadInt(&type) || !archive.ReadInt(&index) || type < no_component ||
        type > brep_face) {
        archive.SeekFromStart(start);
        return false;
    }
    m_uuid = id;
    m_component_type = static_cast<ComponentType>(type);
    m_component_index = index;
    return true;
}
