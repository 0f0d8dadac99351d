// Dense vector of doubles: storage, arithmetic, index sort, quantiles and the
// text form.
#include "foundation/Vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <istream>
#include <ostream>

namespace {

// Significant digits of the Vector text writer.
constexpr int kDefaultVectorOutputPrecision = 20;
int g_vectorOutputPrecision = kDefaultVectorOutputPrecision;

// Entries at or below this magnitude are written as "0".
constexpr double kTinyOutputValue = 1e-323;

double* allocateZeroed(int count)
{
    return count > 0 ? new double[count]() : nullptr;
}

// Orders indices by the values they address. Holding the context in the
// comparator (instead of globals) keeps the sort re-entrant. NaN keys sort
// behind every number so that the order stays a strict weak ordering.
template <typename T> struct IndexOrder {
    const T* values;
    bool ascending;
    bool signedValues;

    T key(int i) const { return signedValues ? values[i] : std::fabs(values[i]); }

    bool operator()(int a, int b) const
    {
        const T x = key(a);
        const T y = key(b);
        const bool xNan = std::isnan(x);
        const bool yNan = std::isnan(y);
        if (xNan || yNan)
            return !xNan && yNan;
        return ascending ? x < y : y < x;
    }
};

bool startsNumber(char c)
{
    return (c >= '0' && c <= '9') || c == '-' || c == '+';
}

} // namespace

// ---------------------------------------------------------------------------
// Construction and storage

Vector::Vector(int size)
{
    if (size > 0) {
        n = size;
        data = allocateZeroed(size);
    }
}

Vector::Vector(double a, double b) : n(2), data(new double[2])
{
    data[0] = a;
    data[1] = b;
}

Vector::Vector(double x, double y, double z) : n(3), data(new double[3])
{
    data[0] = x;
    data[1] = y;
    data[2] = z;
}

Vector::Vector(const double* a, int size)
{
    if (size > 0 && a) {
        n = size;
        data = new double[size];
        std::memcpy(data, a, sizeof(double) * size);
    }
}

Vector::Vector(const float* a, int size)
{
    if (size > 0 && a) {
        n = size;
        data = new double[size];
        for (int i = 0; i < size; ++i)
            data[i] = a[i];
    }
}

Vector::Vector(const Vector& other)
{
    if (other.n > 0) {
        n = other.n;
        data = new double[n];
        std::memcpy(data, other.data, sizeof(double) * n);
    }
}

Vector::Vector(Vector&& other) noexcept : n(other.n), data(other.data)
{
    other.n = 0;
    other.data = nullptr;
}

Vector& Vector::operator=(const Vector& other)
{
    if (this == &other)
        return *this;
    if (other.n > n) {
        release();
        data = new double[other.n];
    }
    n = std::max(other.n, 0);
    if (n > 0)
        std::memcpy(data, other.data, sizeof(double) * n);
    return *this;
}

Vector& Vector::operator=(Vector&& other) noexcept
{
    if (this == &other)
        return *this;
    if (other.n <= n) {
        // Like a copy, a vector that is long enough keeps its storage, so
        // pointers into it stay valid across assignments.
        n = std::max(other.n, 0);
        if (n > 0)
            std::memcpy(data, other.data, sizeof(double) * n);
    } else {
        release();
        n = other.n;
        data = other.data;
        other.n = 0;
        other.data = nullptr;
    }
    return *this;
}

Vector::~Vector()
{
    release();
}

void Vector::release()
{
    delete[] data;
    data = nullptr;
    n = 0;
}

bool Vector::resize(int newSize, bool discard)
{
    if (newSize < 0)
        newSize = 0;
    const int kept = std::max(n, 0);
    if (newSize > kept) {
        double* grown = new double[newSize];
        if (kept > 0)
            std::memcpy(grown, data, sizeof(double) * kept);
        std::fill(grown + kept, grown + newSize, 0.0);
        delete[] data;
        data = grown;
        n = newSize;
    } else if (!discard) {
        n = newSize;
    } else {
        delete[] data;
        data = allocateZeroed(newSize);
        n = newSize;
    }
    return true;
}

Vector& Vector::setSize(int newSize, bool discard)
{
    resize(newSize, discard);
    return *this;
}

int Vector::fill(double v)
{
    for (int i = 0; i < n; ++i)
        data[i] = v;
    return n;
}

// ---------------------------------------------------------------------------
// Arithmetic

Vector& Vector::operator+=(const Vector& b)
{
    const int m = std::min(n, b.n);
    for (int i = 0; i < m; ++i)
        data[i] += b.data[i];
    return *this;
}

Vector& Vector::operator-=(const Vector& b)
{
    const int m = std::min(n, b.n);
    for (int i = 0; i < m; ++i)
        data[i] -= b.data[i];
    return *this;
}

Vector& Vector::operator*=(double s)
{
    for (int i = 0; i < n; ++i)
        data[i] *= s;
    return *this;
}

Vector& Vector::operator/=(double s)
{
    if (s == 0.0)
        return *this;
    for (int i = 0; i < n; ++i)
        data[i] /= s;
    return *this;
}

Vector& Vector::addScaled(double s, const Vector& b)
{
    const int m = std::min(n, b.n);
    for (int i = 0; i < m; ++i)
        data[i] += s * b.data[i];
    return *this;
}

void Vector::insertAfter(double value, int i)
{
    const int at = std::clamp(i, -1, n - 1) + 1;
    resize(n + 1);
    for (int k = n - 1; k > at; --k)
        data[k] = data[k - 1];
    data[at] = value;
}

Vector& Vector::normalize()
{
    double length = norm(*this);
    if (length < 2.2e-16)
        length = 2.2e-16;
    for (int i = 0; i < n; ++i)
        data[i] /= length;
    return *this;
}

Vector operator+(const Vector& a, const Vector& b)
{
    Vector r(a);
    r += b;
    return r;
}

Vector operator-(const Vector& a, const Vector& b)
{
    Vector r(a);
    r -= b;
    return r;
}

Vector operator*(double s, const Vector& a)
{
    Vector r(a);
    r *= s;
    return r;
}

Vector operator*(const Vector& a, double s)
{
    return s * a;
}

Vector operator-(const Vector& a)
{
    Vector r(a);
    r *= -1.0;
    return r;
}

Vector operator/(const Vector& a, double s)
{
    Vector r(a);
    r /= s;
    return r;
}

double dotRange(const double* a, const double* b, int n)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int i = 0;
    for (; i + 3 < n; i += 4) {
        s0 += a[i] * b[i];
        s1 += a[i + 1] * b[i + 1];
        s2 += a[i + 2] * b[i + 2];
        s3 += a[i + 3] * b[i + 3];
    }
    for (; i < n; ++i)
        s0 += a[i] * b[i];
    return (s0 + s1) + (s2 + s3);
}

double dot(const Vector& a, const Vector& b)
{
    const int m = std::min(a.n, b.n);
    double s = 0.0;
    for (int i = 0; i < m; ++i)
        s += a.data[i] * b.data[i];
    return s;
}

double normSquared(const Vector& a)
{
    const double s = dot(a, a);
    return s > 0.0 ? s : 0.0;
}

double norm(const Vector& a)
{
    return std::sqrt(normSquared(a));
}

Vector normalized(const Vector& a)
{
    const double length = norm(a);
    if (length <= 1e-9)
        return Vector(a.n);
    return a / length;
}

double cosineBetween(const Vector& a, const Vector& b)
{
    const double na = norm(a);
    const double nb = norm(b);
    if (na <= 1e-8 || nb <= 1e-8)
        return 0.0;
    return dot(a, b) / (na * nb);
}

Vector crossProduct(const Vector& a, const Vector& b)
{
    if (a.n < 3 || b.n < 3)
        return Vector(3);
    Vector r(3);
    crossProduct3(a.data, b.data, r.data);
    return r;
}

void crossProduct3(const double* a, const double* b, double* out)
{
    const double x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2],
                 z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

double norm3(const double* a)
{
    double s = 0.0;
    for (int i = 0; i < 3; ++i)
        s += a[i] * a[i];
    return std::sqrt(s > 0.0 ? s : 0.0);
}

double minElement(const Vector& v, int* index)
{
    if (v.n <= 0) {
        if (index)
            *index = -1;
        return 0.0;
    }
    int best = 0;
    for (int i = 1; i < v.n; ++i)
        if (v.data[i] < v.data[best])
            best = i;
    if (index)
        *index = best;
    return v.data[best];
}

double sumElements(const Vector& v)
{
    double s = 0.0;
    for (int i = 0; i < v.n; ++i)
        s += v.data[i];
    return s;
}

Vector pointOnHyperplane(const Vector& a, double d)
{
    Vector x(a.n);
    if (a.n <= 0)
        return x;
    int imax = 0;
    int imin = 0;
    for (int i = 1; i < a.n; ++i) {
        if (std::fabs(a[i]) > std::fabs(a[imax]))
            imax = i;
        if (std::fabs(a[i]) < std::fabs(a[imin]))
            imin = i;
    }
    if (imax == imin) {
        imin = 0;
        imax = a.n > 1 ? 1 : 0;
    }
    // A zero normal admits no point with a.x = d; answer the zero vector
    // rather than dividing by zero.
    if (a[imax] == 0.0)
        return x;
    x[imin] = 1.0;
    double s = 0.0;
    for (int i = 0; i < a.n; ++i)
        if (i != imax)
            s += a[i] * x[i];
    x[imax] = (d - s) / a[imax];
    return x;
}

Vector refineValues(const Vector& v, int k)
{
    if (v.n <= 0)
        return Vector();
    if (k < 0)
        k = 0;
    Vector r((v.n - 1) * k + v.n);
    int m = 0;
    for (int i = 0; i + 1 < v.n; ++i) {
        for (int j = 0; j <= k; ++j) {
            const double t = double(j) / double(k + 1);
            r[m++] = (1.0 - t) * v[i] + t * v[i + 1];
        }
    }
    r[m] = v[v.n - 1];
    return r;
}

Vector& orthogonalize(Vector& a, const Vector& axis)
{
    const double axisSquared = dot(axis, axis);
    if (!(axisSquared > 0.0))
        return a;
    a.addScaled(-dot(a, axis) / axisSquared, axis);
    return a;
}

// ---------------------------------------------------------------------------
// Index sort and quantiles

namespace {

template <typename T>
void sortIndexOf(const T* values, int** index, int n, bool ascending, bool signedValues)
{
    if (!index)
        return;
    if (!*index)
        *index = new int[std::max(n, 1)];
    int* idx = *index;
    for (int i = 0; i < n; ++i)
        idx[i] = i;
    if (n > 1 && values)
        std::sort(idx, idx + n, IndexOrder<T>{values, ascending, signedValues});
}

template <typename T>
T quantileOf(const T* values, int n, T q, int** index, int* position, bool reuseIndex,
             bool signedValues)
{
    if (position)
        *position = 0;
    if (n <= 0 || !values)
        return T(0);
    if (!(q >= T(0)))
        q = T(0);
    else if (q > T(1))
        q = T(1);

    int* ownIndex = nullptr;
    int** idx = index ? index : &ownIndex;
    if (!(reuseIndex && *idx))
        sortIndexOf(values, idx, n, true, signedValues);

    const int pos = std::min(n - 1, std::max(0, int(std::floor(q * T(n)))));
    if (position)
        *position = pos;
    const T value = values[(*idx)[pos]];
    delete[] ownIndex;
    return signedValues ? value : std::fabs(value);
}

} // namespace

void sortIndex(const double* values, int** index, int n, bool ascending, bool signedValues)
{
    sortIndexOf(values, index, n, ascending, signedValues);
}

void sortIndex(const Vector& values, int** index, bool ascending, bool signedValues)
{
    sortIndexOf(values.data, index, values.n, ascending, signedValues);
}

double quantile(const double* values, int n, double q, int** index, int* position, bool reuseIndex,
                bool signedValues)
{
    return quantileOf(values, n, q, index, position, reuseIndex, signedValues);
}

float quantile(const float* values, int n, float q, int** order, int* index, bool reuseOrder)
{
    return quantileOf(values, n, q, order, index, reuseOrder, true);
}

double quantile(const Vector& values, double q, int** index, int* position, bool reuseIndex,
                bool signedValues)
{
    return quantile(values.data, values.n, q, index, position, reuseIndex, signedValues);
}

double quantile(const Vector& values, double q)
{
    return quantile(values.data, values.n, q, nullptr, nullptr, false, true);
}

// ---------------------------------------------------------------------------
// Text form

int vectorOutputPrecision()
{
    return g_vectorOutputPrecision;
}

int setVectorOutputPrecision(int digits)
{
    const int previous = g_vectorOutputPrecision;
    g_vectorOutputPrecision = digits;
    return previous;
}

void resetVectorOutputPrecision()
{
    g_vectorOutputPrecision = kDefaultVectorOutputPrecision;
}

std::ostream& operator<<(std::ostream& os, const Vector& v)
{
    const int precision = g_vectorOutputPrecision;
    const std::streamsize width = os.width(0);
    // Entries per line keep a line near 120 characters.
    const long lineWidth = long(width) + precision + 3;
    const int perLine = lineWidth > 0 ? std::max(1, int(119 / lineWidth)) : 1;
    const std::streamsize previousPrecision = os.precision(precision);

    os << '[';
    for (int i = 0; i < v.n; ++i) {
        os.width(width);
        if (std::fabs(v.data[i]) <= kTinyOutputValue)
            os << "0";
        else
            os << v.data[i];
        if (i + 1 < v.n)
            os << ',';
        if ((i + 1) % perLine == 0)
            os << "\n ";
    }
    os << ']';
    os.precision(previousPrecision);
    return os;
}

std::istream& operator>>(std::istream& is, Vector& v)
{
    char c = 0;
    is >> std::ws;
    if (!is.get(c))
        return is;

    if (c != '[') {
        // Unbracketed: exactly as many numbers as the vector has entries.
        is.putback(c);
        for (int i = 0; i < v.n; ++i)
            if (!(is >> v.data[i]))
                break;
        return is;
    }

    // The writer writes an empty vector as "[]": read it back as empty
    // rather than failing the stream on the missing number.
    is >> std::ws;
    if (is.peek() == ']') {
        is.get(c);
        v.resize(0);
        return is;
    }

    int k = 0; // entries read so far
    for (;;) {
        if (c == ']') {
            v.resize(k);
            return is;
        }
        if (k >= v.n)
            v.resize(v.n + std::max(16, v.n / 2));

        double value = 0.0;
        bool fault = !(is >> value);
        if (!fault) {
            v.data[k++] = value;
            is >> std::ws;
            if (!is.get(c)) {
                fault = true;
            } else if (startsNumber(c)) {
                is.putback(c); // it starts the next number
            } else if (c != ']' && c != ',') {
                fault = true;
            }
        }
        if (fault) {
            std::cout << "format error/empty number reading vector:'" << c << "'" << std::endl;
            // Keep only what was read; the stream stays failed for the caller.
            v.resize(k);
            is.setstate(std::ios::failbit);
            return is;
        }
    }
}
