// Axis-aligned box of N coordinates.
//
// `min` and `max` are vertices that view the box's own inline storage, so a
// box is one allocation-free value; copies re-point them at the copy's
// storage. An empty box has every min coordinate at the largest finite float
// and every max coordinate at its negative, so that the first `add` sets both.
// `count` is a free counter for the owner (add leaves it unchanged).
//
// Thread-safety: a plain value.
#pragma once

#include "foundation/Vertex.h"

#include <algorithm>
#include <limits>

template <typename T, int N> class CBox {
private:
    T corners[2 * N]; // min then max; declared first so it outlives the views

public:
    CVertex<T, N> min;
    CVertex<T, N> max;
    int count = 0;

    // The empty box.
    CBox() : min(corners, VertexStorage::View), max(corners + N, VertexStorage::View)
    {
        setEmpty();
    }
    // Starts empty, then takes lo and hi as its corners.
    CBox(const CVertex<T, N>& lo, const CVertex<T, N>& hi) : CBox()
    {
        min = lo;
        max = hi;
    }
    CBox(const CBox& other)
        : min(corners, VertexStorage::View), max(corners + N, VertexStorage::View),
          count(other.count)
    {
        std::copy(other.corners, other.corners + 2 * N, corners);
    }
    CBox& operator=(const CBox& other)
    {
        std::copy(other.corners, other.corners + 2 * N, corners);
        count = other.count;
        return *this;
    }
    virtual ~CBox() = default;

    void setEmpty()
    {
        const T big = T(std::numeric_limits<float>::max());
        for (int i = 0; i < N; ++i) {
            corners[i] = big;
            corners[N + i] = -big;
        }
        count = 0;
    }
    // True while no point has been added (min above max in some coordinate).
    bool isEmpty() const
    {
        for (int i = 0; i < N; ++i)
            if (corners[i] > corners[N + i])
                return true;
        return false;
    }
    // True when min_c - tol <= p_c <= max_c + tol for every coordinate.
    bool contains(const CVertex<T, N>& p, double tol) const
    {
        for (int i = 0; i < N; ++i)
            if (!(corners[i] - tol <= p.data[i] && p.data[i] <= corners[N + i] + tol))
                return false;
        return true;
    }
    // Widens the box to include p; count is unchanged.
    void add(const CVertex<T, N>& p)
    {
        for (int i = 0; i < N; ++i) {
            corners[i] = std::min(corners[i], p.data[i]);
            corners[N + i] = std::max(corners[N + i], p.data[i]);
        }
    }
};
