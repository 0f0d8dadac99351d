#pragma once
// tuple<T,N>: fixed-size value record of N components held in an owned array,
// and c_pair<A,B>: a plain (first, second) record. Both are kept by value in
// the Kor containers.
//
// Ownership: a tuple owns its component array; copies are deep.
// Thread-safety: plain values, no shared state.

#include <cmath>
#include <cstddef>

template <class T, int N> class tuple {
public:
    // Components start at zero.
    tuple() : values(new T[N]()) {}

    tuple(const tuple& other) : values(new T[N])
    {
        for (int i = 0; i < N; ++i)
            values[i] = other.values[i];
    }

    // Fills this tuple component by component.
    tuple& operator=(const tuple& other)
    {
        for (int i = 0; i < N; ++i)
            values[i] = other.values[i];
        return *this;
    }

    virtual ~tuple() { delete[] values; }

    // Sum of the squared components, accumulated from 0.0.
    virtual double squaredNorm() const
    {
        double sum = 0.0;
        for (int i = 0; i < N; ++i)
            sum += static_cast<double>(values[i]) * static_cast<double>(values[i]);
        return sum;
    }

    virtual double norm() const { return std::sqrt(squaredNorm()); }

    virtual operator T*() { return values; }
    virtual operator const T*() const { return values; }
    virtual T* data() { return values; }
    virtual const T* data() const { return values; }

    // Component i, unchecked. (Taking std::ptrdiff_t keeps t[i] unambiguous
    // beside the pointer conversion.)
    virtual T& operator[](std::ptrdiff_t i) { return values[i]; }
    virtual const T& operator[](std::ptrdiff_t i) const { return values[i]; }

    static constexpr int size() { return N; }

private:
    T* values;
};

template <class A, class B> struct c_pair {
    A first{};
    B second{};

    bool operator==(const c_pair&) const = default;
};
