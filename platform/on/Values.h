// Value types of the openNURBS subset: points, vectors, intervals, boxes,
// lines, colours, transformations, ids, the unset-value marker and the
// enumerations and file helpers of the ON scope.
//
// All types here are plain values: copying copies everything, nothing is
// shared. Not thread-safe beyond what plain values are (no hidden state).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Marks a double that was never set (tolerances of new trims and edges, an
// interval not yet given). No model coordinate comes near it.
constexpr double ON_UNSET_VALUE = -1.23432101234321e+308;

namespace ON {

// Object types as the host reports them; each is one bit so that filters can
// combine them.
enum object_type {
    unknown_object_type = 0,
    point_object = 1,
    pointset_object = 2,
    curve_object = 4,
    surface_object = 8,
    brep_object = 0x10,
    mesh_object = 0x20,
};

// Where an object's display colour comes from.
enum object_color_source {
    color_from_layer = 0,
    color_from_object = 1,
    color_from_material = 2,
    color_from_parent = 3,
};

enum view_projection {
    unknown_view = 0,
    parallel_view = 1,
    perspective_view = 2,
};

// Direction of a file archive.
enum archive_mode {
    unset_archive_mode = 0,
    read = 1,
    write = 2,
};

// fopen with a UTF-8 (narrow) or wide file name; null when the file cannot be
// opened or an argument is null. The caller closes the file with CloseFile.
FILE* OpenFile(const char* fileName, const char* mode);
FILE* OpenFile(const wchar_t* fileName, const wchar_t* mode);

// fclose; 0 on success, EOF on failure or for a null file.
int CloseFile(FILE* file);

} // namespace ON

class ON_3dVector;

class ON_3dPoint {
public:
    double x = 0.0, y = 0.0, z = 0.0;

    ON_3dPoint() = default;
    ON_3dPoint(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    explicit ON_3dPoint(const ON_3dVector& v);
    // The first three of three consecutive doubles.
    explicit ON_3dPoint(const double* p) : x(p[0]), y(p[1]), z(p[2]) {}

    double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

    ON_3dPoint& operator+=(const ON_3dVector& v);
    ON_3dPoint& operator-=(const ON_3dVector& v);
    ON_3dPoint& operator*=(double s);

    double DistanceTo(const ON_3dPoint& p) const;
    bool IsValid() const; // all coordinates finite and set

    bool operator==(const ON_3dPoint& p) const { return x == p.x && y == p.y && z == p.z; }
    bool operator!=(const ON_3dPoint& p) const { return !(*this == p); }
};

class ON_3dVector {
public:
    double x = 0.0, y = 0.0, z = 0.0;

    ON_3dVector() = default;
    ON_3dVector(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    explicit ON_3dVector(const ON_3dPoint& p) : x(p.x), y(p.y), z(p.z) {}

    double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

    ON_3dVector& operator+=(const ON_3dVector& v);
    ON_3dVector& operator-=(const ON_3dVector& v);
    ON_3dVector& operator*=(double s);
    ON_3dVector operator-() const { return ON_3dVector(-x, -y, -z); }

    double Length() const;
    // Scales to unit length; false (vector unchanged) for a zero or
    // non-finite vector.
    bool Unitize();
    bool IsZero() const { return x == 0.0 && y == 0.0 && z == 0.0; }

    bool operator==(const ON_3dVector& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const ON_3dVector& v) const { return !(*this == v); }
};

inline ON_3dPoint::ON_3dPoint(const ON_3dVector& v) : x(v.x), y(v.y), z(v.z) {}

ON_3dPoint operator+(const ON_3dPoint& p, const ON_3dVector& v);
ON_3dPoint operator-(const ON_3dPoint& p, const ON_3dVector& v);
ON_3dVector operator-(const ON_3dPoint& a, const ON_3dPoint& b);
ON_3dPoint operator+(const ON_3dPoint& a, const ON_3dPoint& b);
ON_3dPoint operator*(double s, const ON_3dPoint& p);
ON_3dPoint operator*(const ON_3dPoint& p, double s);
ON_3dVector operator+(const ON_3dVector& a, const ON_3dVector& b);
ON_3dVector operator-(const ON_3dVector& a, const ON_3dVector& b);
ON_3dVector operator*(double s, const ON_3dVector& v);
ON_3dVector operator*(const ON_3dVector& v, double s);
// Dot product.
double operator*(const ON_3dVector& a, const ON_3dVector& b);

// A homogeneous point (w·x, w·y, w·z, w): the form rational control points
// are stored in.
class ON_4dPoint {
public:
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;

    ON_4dPoint() = default;
    ON_4dPoint(double x_, double y_, double z_, double w_) : x(x_), y(y_), z(z_), w(w_) {}
    // The Euclidean point with weight 1.
    explicit ON_4dPoint(const ON_3dPoint& p) : x(p.x), y(p.y), z(p.z), w(1.0) {}

    double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : (i == 2 ? z : w)); }
    double operator[](int i) const { return i == 0 ? x : (i == 1 ? y : (i == 2 ? z : w)); }
};

// Single-precision point: the vertex type of meshes.
class ON_3fPoint {
public:
    float x = 0.0f, y = 0.0f, z = 0.0f;

    ON_3fPoint() = default;
    ON_3fPoint(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    explicit ON_3fPoint(const ON_3dPoint& p)
        : x(static_cast<float>(p.x)), y(static_cast<float>(p.y)), z(static_cast<float>(p.z))
    {
    }
    operator ON_3dPoint() const { return ON_3dPoint(x, y, z); }

    bool operator==(const ON_3fPoint& p) const { return x == p.x && y == p.y && z == p.z; }
};

// A parameter interval [m_t[0], m_t[1]]; decreasing intervals are allowed
// and mean a reversed range.
class ON_Interval {
public:
    double m_t[2] = {ON_UNSET_VALUE, ON_UNSET_VALUE};

    ON_Interval() = default;
    ON_Interval(double t0, double t1) : m_t{t0, t1} {}

    void Set(double t0, double t1)
    {
        m_t[0] = t0;
        m_t[1] = t1;
    }
    double& operator[](int i) { return m_t[i == 0 ? 0 : 1]; }
    double operator[](int i) const { return m_t[i == 0 ? 0 : 1]; }
    double Min() const { return m_t[0] <= m_t[1] ? m_t[0] : m_t[1]; }
    double Max() const { return m_t[0] <= m_t[1] ? m_t[1] : m_t[0]; }
    // m_t[1] - m_t[0]; negative for a decreasing interval.
    double Length() const { return m_t[1] - m_t[0]; }
    // Both ends set and finite.
    bool IsValid() const;
    bool IsIncreasing() const { return IsValid() && m_t[0] < m_t[1]; }
    // (1 - s)·m_t[0] + s·m_t[1].
    double ParameterAt(double s) const;
    // The s with ParameterAt(s) = t; 0 for a degenerate interval.
    double NormalizedParameterAt(double t) const;
    bool Includes(double t) const { return Min() <= t && t <= Max(); }

    bool operator==(const ON_Interval& o) const { return m_t[0] == o.m_t[0] && m_t[1] == o.m_t[1]; }
    bool operator!=(const ON_Interval& o) const { return !(*this == o); }
};

// Axis-aligned box. A box whose minimum exceeds its maximum in any coordinate
// is empty; the default box is empty.
class ON_BoundingBox {
public:
    ON_3dPoint m_min{1.0, 1.0, 1.0};
    ON_3dPoint m_max{-1.0, -1.0, -1.0};

    ON_BoundingBox() = default;
    ON_BoundingBox(const ON_3dPoint& minCorner, const ON_3dPoint& maxCorner)
        : m_min(minCorner), m_max(maxCorner)
    {
    }

    // Not empty and finite.
    bool IsValid() const;
    bool IsEmpty() const { return !IsValid(); }
    void Destroy() { *this = ON_BoundingBox(); }
    // With bGrowBox and a valid box, enlarges it to hold p; otherwise the box
    // becomes the single point p. Non-finite points are ignored (false).
    bool Set(const ON_3dPoint& p, bool bGrowBox);
    // Enlarges this box to hold other; an empty other changes nothing.
    void Union(const ON_BoundingBox& other);
    ON_3dPoint Center() const;
    ON_3dVector Diagonal() const;
    bool IsPointIn(const ON_3dPoint& p) const;
};

class ON_Line {
public:
    ON_3dPoint from;
    ON_3dPoint to;

    ON_Line() = default;
    ON_Line(const ON_3dPoint& a, const ON_3dPoint& b) : from(a), to(b) {}

    // to - from (not unitized).
    ON_3dVector Direction() const { return to - from; }
    double Length() const { return from.DistanceTo(to); }
    // (1 - t)·from + t·to.
    ON_3dPoint PointAt(double t) const;
};

// An 8-bit RGBA colour; every channel is clamped to 0..255 on construction.
class ON_Color {
public:
    ON_Color() = default;
    ON_Color(int red, int green, int blue, int alpha = 0) { SetRGBA(red, green, blue, alpha); }

    int Red() const { return m_rgba[0]; }
    int Green() const { return m_rgba[1]; }
    int Blue() const { return m_rgba[2]; }
    int Alpha() const { return m_rgba[3]; }
    void SetRGB(int red, int green, int blue) { SetRGBA(red, green, blue, Alpha()); }
    void SetRGBA(int red, int green, int blue, int alpha);

    bool operator==(const ON_Color& c) const;
    bool operator!=(const ON_Color& c) const { return !(*this == c); }

private:
    unsigned char m_rgba[4] = {0, 0, 0, 0};
};

// A 4x4 transformation acting on column vectors: p' = M·(x, y, z, 1).
// The default is the identity.
class ON_Xform {
public:
    double m_xform[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};

    // The transformed Euclidean point (divided by the resulting weight).
    ON_3dPoint operator*(const ON_3dPoint& p) const;
    // The transformed homogeneous point.
    ON_4dPoint operator*(const ON_4dPoint& p) const;
    // The transformed direction (translation ignored).
    ON_3dVector operator*(const ON_3dVector& v) const;
};

// A 128-bit object id. Text form: 36 lower-case characters
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx".
struct ON_UUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    unsigned char Data4[8] = {0, 0, 0, 0, 0, 0, 0, 0};

    // All 128 bits zero: the id of nothing.
    bool IsNil() const;
    // The next id of the process's stream (Platform::makeUuid); the nil id
    // when none can be made.
    static ON_UUID Create();
    // Parses the text form (either case, no braces). False leaves the id as
    // it was.
    bool SetFromString(const char* text);
    std::string ToString() const;

    bool operator==(const ON_UUID& o) const;
    bool operator!=(const ON_UUID& o) const { return !(*this == o); }
    bool operator<(const ON_UUID& o) const;
};
