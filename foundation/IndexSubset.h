#pragma once
// IndexSubset<T>: a selection of elements of a Kor::Array<T>, kept as a list
// of indices into it. IndexSubset<CFitPoint> is the selection of fit points
// handed to every fit, inversion and statistic.
//
// Ownership: the subset owns only its index list; the indexed array belongs
// to the caller and must outlive the subset (its elements may change, its
// indices must stay valid). Copies copy the index list and share the array.
// Not thread-safe.

#include "foundation/KorArray.h"

#include <algorithm>

template <class T> class IndexSubset {
public:
    int* indices = nullptr;
    int count = 0;
    int capacity = 0;
    Kor::Array<T>* array = nullptr; // the indexed array, not owned

    IndexSubset() = default;
    // An empty subset over `a` with an initial capacity (negative: the smaller
    // of the array's size and 10).
    explicit IndexSubset(Kor::Array<T>* a, int initialCapacity = -1) : array(a)
    {
        if (initialCapacity < 0)
            initialCapacity = a != nullptr ? std::min(a->count, 10) : 0;
        setCapacity(initialCapacity);
    }
    explicit IndexSubset(Kor::Array<T>& a, int initialCapacity = -1)
        : IndexSubset(&a, initialCapacity)
    {
    }

    IndexSubset(const IndexSubset& other) : array(other.array) { copyIndices(other); }
    IndexSubset(IndexSubset&& other) noexcept
        : indices(other.indices), count(other.count), capacity(other.capacity), array(other.array)
    {
        other.indices = nullptr;
        other.count = other.capacity = 0;
    }
    IndexSubset& operator=(const IndexSubset& other)
    {
        if (this != &other) {
            array = other.array;
            count = 0;
            copyIndices(other);
        }
        return *this;
    }
    IndexSubset& operator=(IndexSubset&& other) noexcept
    {
        if (this != &other) {
            delete[] indices;
            indices = other.indices;
            count = other.count;
            capacity = other.capacity;
            array = other.array;
            other.indices = nullptr;
            other.count = other.capacity = 0;
        }
        return *this;
    }
    ~IndexSubset() { delete[] indices; }

    // Reallocates the index list to exactly n places, keeping the first
    // min(count, n) indices.
    void setCapacity(int n)
    {
        n = std::max(n, 0);
        const int kept = std::min(count, n);
        int* fresh = n > 0 ? new int[n] : nullptr;
        std::copy(indices, indices + kept, fresh);
        delete[] indices;
        indices = fresh;
        capacity = n;
        count = kept;
    }

    // Appends an index; a full list grows to (max(capacity, 1)*3 + 1)/2.
    // Returns the position of the new entry.
    int append(int index)
    {
        if (count == capacity)
            setCapacity((std::max(capacity, 1) * 3 + 1) / 2);
        indices[count] = index;
        return count++;
    }

    // Removes the entry at position k (0 <= k < count), keeping the order.
    void removeAt(int k)
    {
        std::copy(indices + k + 1, indices + count, indices + k);
        --count;
    }

    // Selects every element of the indexed array: indices 0..n-1.
    void selectAll()
    {
        const int n = array != nullptr ? array->count : 0;
        if (capacity < n)
            setCapacity(n);
        for (int i = 0; i < n; ++i)
            indices[i] = i;
        count = n;
    }

    void clear() { count = 0; }
    int getCount() const { return count; }

    // The element of the k-th index (0 <= k < count, the caller's guarantee).
    T& at(int k) { return array->data[indices[k]]; }
    const T& at(int k) const { return array->data[indices[k]]; }
    T& operator[](int k) { return at(k); }
    const T& operator[](int k) const { return at(k); }

private:
    void copyIndices(const IndexSubset& other)
    {
        if (capacity < other.count)
            setCapacity(other.count);
        std::copy(other.indices, other.indices + other.count, indices);
        count = other.count;
    }
};
