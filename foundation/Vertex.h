// Small fixed-size points and directions of the mesh and display code.
//
// `CVertex<T,N>` is a point of N coordinates of type T, `CVector<T,N>` a
// direction with the same layout. A vertex normally owns its N values
// (`ownsData` true); it may instead view storage held by its owner
// (`ownsData` false), as the corners of a `CBox<T,N>` do. Copies always own
// their values; assignment copies values into the existing storage, so a
// viewing vertex keeps viewing its owner's storage. A vertex whose owned
// storage was moved away holds no values (data null): it may be assigned
// to, moved or destroyed, and assignment gives it owned storage again.
//
// Thread-safety: values are plain; the `pointsDiffer` threshold is a
// process-wide setting and not thread-safe.
#pragma once

#include <algorithm>
#include <cmath>

// Lengths below this are taken as this length when a direction is scaled to
// unit length, so a zero direction stays finite (and stays zero).
inline constexpr double kUnitLengthFloor = 2.2e-16;

// Scales the N values to unit length (lengths below kUnitLengthFloor count as
// that floor), summing in double. Returns the length before scaling.
template <typename T, int N> double normalizeCoordinates(T* data)
{
    double sum = 0.0;
    for (int i = 0; i < N; ++i)
        sum += double(data[i]) * double(data[i]);
    const double length = std::sqrt(sum);
    const double divisor = length < kUnitLengthFloor ? kUnitLengthFloor : length;
    for (int i = 0; i < N; ++i)
        data[i] = T(double(data[i]) / divisor);
    return length;
}

// How a vertex built on given storage treats it: View leaves it to its owner,
// Adopt frees it with delete[] when the vertex is destroyed.
enum class VertexStorage { View, Adopt };

template <typename T, int N> class CVertex {
public:
    T* data;       // N values
    bool ownsData; // whether the destructor frees data

    // The origin.
    CVertex() : data(new T[N]()), ownsData(true) {}
    CVertex(T x, T y) requires(N == 2) : CVertex()
    {
        data[0] = x;
        data[1] = y;
    }
    CVertex(T x, T y, T z) requires(N == 3) : CVertex()
    {
        data[0] = x;
        data[1] = y;
        data[2] = z;
    }
    // An owning copy of N values.
    explicit CVertex(const T* values) : CVertex() { std::copy(values, values + N, data); }
    // Works on N values held elsewhere (see VertexStorage).
    CVertex(T* storage, VertexStorage mode) : data(storage), ownsData(mode == VertexStorage::Adopt)
    {
    }
    // The weighted sum a p + b q + c r: weights rounded to T, sums formed in
    // double, stored as T.
    CVertex(double a, const CVertex& p, double b, const CVertex& q, double c, const CVertex& r)
        : CVertex()
    {
        const double wa = T(a), wb = T(b), wc = T(c);
        for (int i = 0; i < N; ++i)
            data[i] = T(wa * double(p.data[i]) + wb * double(q.data[i]) + wc * double(r.data[i]));
    }
    // Conversion between coordinate types.
    template <typename U> explicit CVertex(const CVertex<U, N>& other) : CVertex()
    {
        for (int i = 0; i < N; ++i)
            data[i] = T(other.data[i]);
    }

    CVertex(const CVertex& other) : CVertex() { std::copy(other.data, other.data + N, data); }
    // Takes over owned storage (a moved-from source stays empty); a viewing
    // source is copied.
    CVertex(CVertex&& other) noexcept : data(other.data), ownsData(other.ownsData)
    {
        if (other.ownsData || other.data == nullptr) {
            other.data = nullptr;
            other.ownsData = false;
        } else {
            data = new T[N];
            ownsData = true;
            std::copy(other.data, other.data + N, data);
        }
    }
    CVertex& operator=(const CVertex& other)
    {
        if (this != &other) {
            ensureStorage();
            std::copy(other.data, other.data + N, data);
        }
        return *this;
    }
    // Between vertices that own their storage (or are empty) the storage is
    // exchanged; a viewing side takes or gives a copy of the values. An
    // empty source leaves a viewing vertex as it is.
    CVertex& operator=(CVertex&& other) noexcept
    {
        if (this == &other)
            return *this;
        const bool viewing = data != nullptr && !ownsData;
        if (!viewing && (other.ownsData || other.data == nullptr)) {
            std::swap(data, other.data);
            std::swap(ownsData, other.ownsData);
        } else if (other.data != nullptr) {
            ensureStorage();
            std::copy(other.data, other.data + N, data);
        }
        return *this;
    }
    virtual ~CVertex()
    {
        if (ownsData)
            delete[] data;
    }

    // Unchecked access; 0 <= i < N is the caller's guarantee.
    T& operator[](int i) { return data[i]; }
    const T& operator[](int i) const { return data[i]; }

    void set(const T* values) { std::copy(values, values + N, data); }

    // this += s a + t b.
    CVertex& addTwoScaled(const CVertex& a, T s, const CVertex& b, T t)
    {
        for (int i = 0; i < N; ++i)
            data[i] += s * a.data[i] + t * b.data[i];
        return *this;
    }

private:
    // Owned storage for a vertex emptied by a move.
    void ensureStorage()
    {
        if (data == nullptr) {
            data = new T[N]();
            ownsData = true;
        }
    }
};

// A direction; same layout as a vertex.
template <typename T, int N> class CVector : public CVertex<T, N> {
public:
    using CVertex<T, N>::CVertex;
    CVector() = default;
    CVector(const CVertex<T, N>& v) : CVertex<T, N>(v) {}
    CVector(const CVector&) = default;
    CVector(CVector&&) noexcept = default;
    CVector& operator=(const CVector&) = default;
    CVector& operator=(CVector&&) noexcept = default;

    // Scales to unit length (see normalizeCoordinates); returns the length
    // before scaling.
    double normalize() { return normalizeCoordinates<T, N>(this->data); }
};

// A float point that owns its coordinate array (or views one it was given).
using CLocalVertex3f = CVertex<float, 3>;

// A plain double point copied from a float vertex.
class cVertex {
public:
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    cVertex() = default;
    explicit cVertex(const CVertex<float, 3>& p) : x(p.data[0]), y(p.data[1]), z(p.data[2]) {}
};

template <typename T, int N> bool operator==(const CVertex<T, N>& p, const CVertex<T, N>& q)
{
    return std::equal(p.data, p.data + N, q.data);
}

template <typename T, int N> CVertex<T, N> operator-(const CVertex<T, N>& p, const CVertex<T, N>& q)
{
    CVertex<T, N> r;
    for (int i = 0; i < N; ++i)
        r.data[i] = p.data[i] - q.data[i];
    return r;
}

template <typename T, int N> CVertex<T, N> operator+(const CVertex<T, N>& p, const CVertex<T, N>& q)
{
    CVertex<T, N> r;
    for (int i = 0; i < N; ++i)
        r.data[i] = p.data[i] + q.data[i];
    return r;
}

template <typename T, int N> CVertex<T, N> operator*(T s, const CVertex<T, N>& p)
{
    CVertex<T, N> r;
    for (int i = 0; i < N; ++i)
        r.data[i] = s * p.data[i];
    return r;
}

template <typename T, int N> CVertex<T, N> operator*(const CVertex<T, N>& p, T s)
{
    return s * p;
}

// Sum of p[i] q[i], accumulated in T.
template <typename T, int N> T dot(const CVertex<T, N>& p, const CVertex<T, N>& q)
{
    T s = T(0);
    for (int i = 0; i < N; ++i)
        s += p.data[i] * q.data[i];
    return s;
}

// Sum of (p[i] - q[i])^2, accumulated in T.
template <typename T, int N> T squaredDistance(const CVertex<T, N>& p, const CVertex<T, N>& q)
{
    T s = T(0);
    for (int i = 0; i < N; ++i) {
        const T d = p.data[i] - q.data[i];
        s += d * d;
    }
    return s;
}

template <typename T> CVertex<T, 3> crossProduct(const CVertex<T, 3>& a, const CVertex<T, 3>& b)
{
    return CVertex<T, 3>(a.data[1] * b.data[2] - a.data[2] * b.data[1],
                         a.data[2] * b.data[0] - a.data[0] * b.data[2],
                         a.data[0] * b.data[1] - a.data[1] * b.data[0]);
}

// True when the squared distance of p and q (accumulated in single precision)
// is at least the process-wide threshold.
bool pointsDiffer(const CVertex<float, 3>& p, const CVertex<float, 3>& q);

// The pointsDiffer threshold (a squared distance); 1e-16f at start. The setter
// returns the previous value.
float pointsDifferThreshold();
float setPointsDifferThreshold(float threshold);
void resetPointsDifferThreshold();
