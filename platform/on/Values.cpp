#include "platform/on/Values.h"

#include "platform/Uuid.h"
#include "platform/on/WideString.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ON {

FILE* OpenFile(const char* fileName, const char* mode)
{
    if (!fileName || !mode || !*fileName)
        return nullptr;
    return std::fopen(fileName, mode);
}

FILE* OpenFile(const wchar_t* fileName, const wchar_t* mode)
{
    if (!fileName || !mode)
        return nullptr;
    return OpenFile(ON_wString(fileName).ToUtf8().c_str(), ON_wString(mode).ToUtf8().c_str());
}

int CloseFile(FILE* file)
{
    return file ? std::fclose(file) : EOF;
}

} // namespace ON

namespace {

bool isSet(double v)
{
    return std::isfinite(v) && v != ON_UNSET_VALUE;
}

} // namespace

ON_3dPoint& ON_3dPoint::operator+=(const ON_3dVector& v)
{
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}

ON_3dPoint& ON_3dPoint::operator-=(const ON_3dVector& v)
{
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

ON_3dPoint& ON_3dPoint::operator*=(double s)
{
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

double ON_3dPoint::DistanceTo(const ON_3dPoint& p) const
{
    return (*this - p).Length();
}

bool ON_3dPoint::IsValid() const
{
    return isSet(x) && isSet(y) && isSet(z);
}

ON_3dVector& ON_3dVector::operator+=(const ON_3dVector& v)
{
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}

ON_3dVector& ON_3dVector::operator-=(const ON_3dVector& v)
{
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

ON_3dVector& ON_3dVector::operator*=(double s)
{
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

double ON_3dVector::Length() const
{
    return std::hypot(x, y, z);
}

bool ON_3dVector::Unitize()
{
    double len = Length();
    if (!(len > 0.0) || !std::isfinite(len))
        return false;
    *this *= 1.0 / len;
    return true;
}

ON_3dPoint operator+(const ON_3dPoint& p, const ON_3dVector& v)
{
    return ON_3dPoint(p.x + v.x, p.y + v.y, p.z + v.z);
}

ON_3dPoint operator-(const ON_3dPoint& p, const ON_3dVector& v)
{
    return ON_3dPoint(p.x - v.x, p.y - v.y, p.z - v.z);
}

ON_3dVector operator-(const ON_3dPoint& a, const ON_3dPoint& b)
{
    return ON_3dVector(a.x - b.x, a.y - b.y, a.z - b.z);
}

ON_3dPoint operator+(const ON_3dPoint& a, const ON_3dPoint& b)
{
    return ON_3dPoint(a.x + b.x, a.y + b.y, a.z + b.z);
}

ON_3dPoint operator*(double s, const ON_3dPoint& p)
{
    return ON_3dPoint(s * p.x, s * p.y, s * p.z);
}

ON_3dPoint operator*(const ON_3dPoint& p, double s)
{
    return s * p;
}

ON_3dVector operator+(const ON_3dVector& a, const ON_3dVector& b)
{
    return ON_3dVector(a.x + b.x, a.y + b.y, a.z + b.z);
}

ON_3dVector operator-(const ON_3dVector& a, const ON_3dVector& b)
{
    return ON_3dVector(a.x - b.x, a.y - b.y, a.z - b.z);
}

ON_3dVector operator*(double s, const ON_3dVector& v)
{
    return ON_3dVector(s * v.x, s * v.y, s * v.z);
}

ON_3dVector operator*(const ON_3dVector& v, double s)
{
    return s * v;
}

double operator*(const ON_3dVector& a, const ON_3dVector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bool ON_Interval::IsValid() const
{
    return isSet(m_t[0]) && isSet(m_t[1]);
}

double ON_Interval::ParameterAt(double s) const
{
    return (1.0 - s) * m_t[0] + s * m_t[1];
}

double ON_Interval::NormalizedParameterAt(double t) const
{
    double len = Length();
    return len != 0.0 ? (t - m_t[0]) / len : 0.0;
}

bool ON_BoundingBox::IsValid() const
{
    return m_min.IsValid() && m_max.IsValid() && m_min.x <= m_max.x && m_min.y <= m_max.y &&
           m_min.z <= m_max.z;
}

bool ON_BoundingBox::Set(const ON_3dPoint& p, bool bGrowBox)
{
    if (!p.IsValid())
        return false;
    if (bGrowBox && IsValid()) {
        m_min = ON_3dPoint(std::min(m_min.x, p.x), std::min(m_min.y, p.y), std::min(m_min.z, p.z));
        m_max = ON_3dPoint(std::max(m_max.x, p.x), std::max(m_max.y, p.y), std::max(m_max.z, p.z));
    } else {
        m_min = m_max = p;
    }
    return true;
}

void ON_BoundingBox::Union(const ON_BoundingBox& other)
{
    if (!other.IsValid())
        return;
    if (!IsValid()) {
        *this = other;
        return;
    }
    Set(other.m_min, true);
    Set(other.m_max, true);
}

ON_3dPoint ON_BoundingBox::Center() const
{
    return 0.5 * (m_min + m_max);
}

ON_3dVector ON_BoundingBox::Diagonal() const
{
    return m_max - m_min;
}

bool ON_BoundingBox::IsPointIn(const ON_3dPoint& p) const
{
    return IsValid() && m_min.x <= p.x && p.x <= m_max.x && m_min.y <= p.y && p.y <= m_max.y &&
           m_min.z <= p.z && p.z <= m_max.z;
}

ON_3dPoint ON_Line::PointAt(double t) const
{
    return (1.0 - t) * from + t * to;
}

void ON_Color::SetRGBA(int red, int green, int blue, int alpha)
{
    const int values[4] = {red, green, blue, alpha};
    for (int i = 0; i < 4; ++i)
        m_rgba[i] = static_cast<unsigned char>(std::clamp(values[i], 0, 255));
}

bool ON_Color::operator==(const ON_Color& c) const
{
    return std::memcmp(m_rgba, c.m_rgba, sizeof m_rgba) == 0;
}

ON_3dPoint ON_Xform::operator*(const ON_3dPoint& p) const
{
    ON_4dPoint h = *this * ON_4dPoint(p);
    double s = h.w != 0.0 ? 1.0 / h.w : 1.0;
    return ON_3dPoint(s * h.x, s * h.y, s * h.z);
}

ON_4dPoint ON_Xform::operator*(const ON_4dPoint& p) const
{
    double r[4];
    for (int i = 0; i < 4; ++i)
        r[i] =
            m_xform[i][0] * p.x + m_xform[i][1] * p.y + m_xform[i][2] * p.z + m_xform[i][3] * p.w;
    return ON_4dPoint(r[0], r[1], r[2], r[3]);
}

ON_3dVector ON_Xform::operator*(const ON_3dVector& v) const
{
    double r[3];
    for (int i = 0; i < 3; ++i)
        r[i] = m_xform[i][0] * v.x + m_xform[i][1] * v.y + m_xform[i][2] * v.z;
    return ON_3dVector(r[0], r[1], r[2]);
}

namespace {

// The 16 bytes of an id in text order: Data1, Data2 and Data3 most
// significant byte first, then Data4.
void toBytes(const ON_UUID& id, unsigned char b[16])
{
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<unsigned char>(id.Data1 >> (24 - 8 * i));
    b[4] = static_cast<unsigned char>(id.Data2 >> 8);
    b[5] = static_cast<unsigned char>(id.Data2);
    b[6] = static_cast<unsigned char>(id.Data3 >> 8);
    b[7] = static_cast<unsigned char>(id.Data3);
    std::memcpy(b + 8, id.Data4, 8);
}

} // namespace

bool ON_UUID::IsNil() const
{
    return *this == ON_UUID();
}

ON_UUID ON_UUID::Create()
{
    ON_UUID id;
    std::string text = Platform::makeUuid();
    if (!id.SetFromString(text.c_str()))
        return ON_UUID();
    return id;
}

bool ON_UUID::SetFromString(const char* text)
{
    if (!text || std::strlen(text) != static_cast<size_t>(Platform::uuidTextLength))
        return false;
    unsigned char b[16];
    int k = 0;
    for (int i = 0; i < Platform::uuidTextLength;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return false;
            ++i;
            continue;
        }
        int hi = Platform::hexDigitValue(text[i]), lo = Platform::hexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        b[k++] = static_cast<unsigned char>(hi * 16 + lo);
        i += 2;
    }
    Data1 = (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
            b[3];
    Data2 = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
    Data3 = static_cast<std::uint16_t>((b[6] << 8) | b[7]);
    std::memcpy(Data4, b + 8, 8);
    return true;
}

std::string ON_UUID::ToString() const
{
    static const char hex[] = "0123456789abcdef";
    unsigned char b[16];
    toBytes(*this, b);
    std::string text;
    text.reserve(Platform::uuidTextLength);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(hex[b[i] >> 4]);
        text.push_back(hex[b[i] & 0x0f]);
    }
    return text;
}

bool ON_UUID::operator==(const ON_UUID& o) const
{
    return Data1 == o.Data1 && Data2 == o.Data2 && Data3 == o.Data3 &&
           std::memcmp(Data4, o.Data4, 8) == 0;
}

bool ON_UUID::operator<(const ON_UUID& o) const
{
    unsigned char a[16], b[16];
    toBytes(*this, a);
    toBytes(o, b);
    return std::memcmp(a, b, 16) < 0;
}
