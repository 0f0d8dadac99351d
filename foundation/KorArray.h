#pragma once
// Kor::Array<T>: plain growable array without virtual operations, and
// Kor::IntArray, an int array whose storage is exactly `count` values.
//
// Ownership: each array owns its storage (default-constructed elements,
// copied in by assignment); copies are deep. For arrays of pointers only the
// pointer array is owned.
// Not thread-safe: no operation takes a lock.

#include <algorithm>
#include <utility>

namespace Kor {

template <class T> class Array {
public:
    T* data = nullptr;
    int count = 0;
    int capacity = 0;

    Array() = default;

    Array(const Array& other)
    {
        setCapacity(other.count);
        for (int i = 0; i < other.count; ++i)
            data[i] = other.data[i];
        count = other.count;
    }

    Array(Array&& other) noexcept : data(other.data), count(other.count), capacity(other.capacity)
    {
        other.data = nullptr;
        other.count = other.capacity = 0;
    }

    ~Array() { delete[] data; }

    // Makes this array an exact copy of `other` (fresh storage of
    // other.count places when the counts differ).
    Array& operator=(const Array& other)
    {
        if (this == &other)
            return *this;
        if (count != other.count) {
            delete[] data;
            data = nullptr;
            count = capacity = 0;
            setCapacity(other.count);
        }
        count = other.count;
        for (int i = 0; i < other.count; ++i)
            data[i] = other.data[i];
        return *this;
    }

    Array& operator=(Array&& other) noexcept
    {
        if (this != &other) {
            delete[] data;
            data = other.data;
            count = other.count;
            capacity = other.capacity;
            other.data = nullptr;
            other.count = other.capacity = 0;
        }
        return *this;
    }

    // Always reallocates to exactly n default-constructed places (none for
    // n <= 0), keeping the first min(count, n) elements.
    void setCapacity(int n)
    {
        n = std::max(n, 0);
        const int kept = std::min(count, n);
        T* fresh = n > 0 ? new T[n] : nullptr;
        for (int i = 0; i < kept; ++i)
            fresh[i] = std::move(data[i]);
        delete[] data;
        data = fresh;
        capacity = n;
        count = kept;
    }

    // Appends a copy of item and returns its index. A full array grows to
    // (max(capacity, 1)*3 + 1)/2 places: 2, 3, 5, 8, 12, ...
    int append(const T& item)
    {
        if (count == capacity) {
            T copy = item; // item may be an element of this array
            setCapacity((std::max(capacity, 1) * 3 + 1) / 2);
            data[count] = std::move(copy);
        } else {
            data[count] = item;
        }
        return count++;
    }

    // Index of an element equal to v, else the index of v appended.
    int appendUnique(const T& v)
    {
        for (int i = 0; i < count; ++i)
            if (data[i] == v)
                return i;
        return append(v);
    }

    void reverse() { std::reverse(data, data + count); }

    T& operator[](int i) { return data[i]; }
    const T& operator[](int i) const { return data[i]; }
    T* begin() { return data; }
    T* end() { return data + count; }
    const T* begin() const { return data; }
    const T* end() const { return data + count; }
    int getCount() const { return count; }
};

// index := the first position of value among c.data[0 .. c.count) (any
// array of ints with data and count); true when found, else false with -1.
template <class IntArrayLike> bool findIndex(const IntArrayLike& c, int value, int& index)
{
    for (index = 0; index < c.count; ++index)
        if (c.data[index] == value)
            return true;
    index = -1;
    return false;
}

// Array of exactly `count` ints.
class IntArray {
public:
    int* data = nullptr;
    int count = 0;

    // n zeroed values (none for n <= 0).
    explicit IntArray(int n = 0)
    {
        if (n > 0) {
            data = new int[n]();
            count = n;
        }
    }

    IntArray(const IntArray& other) { assign(other); }

    IntArray(IntArray&& other) noexcept : data(other.data), count(other.count)
    {
        other.data = nullptr;
        other.count = 0;
    }

    ~IntArray() { delete[] data; }

    IntArray& operator=(const IntArray& other)
    {
        if (this != &other) {
            if (count != other.count) {
                delete[] data;
                data = nullptr;
                count = 0;
            }
            assign(other);
        }
        return *this;
    }

    IntArray& operator=(IntArray&& other) noexcept
    {
        if (this != &other) {
            delete[] data;
            data = other.data;
            count = other.count;
            other.data = nullptr;
            other.count = 0;
        }
        return *this;
    }

    // Lowers count when n <= count; else reallocates to n values keeping the
    // old ones (the new ones are zero).
    void resize(int n)
    {
        if (n <= count) {
            count = std::max(n, 0);
            return;
        }
        int* fresh = new int[n]();
        std::copy(data, data + count, fresh);
        delete[] data;
        data = fresh;
        count = n;
    }

    void fill(int v) { std::fill(data, data + count, v); }

    int& operator[](int i) { return data[i]; }
    const int& operator[](int i) const { return data[i]; }
    int* begin() { return data; }
    int* end() { return data + count; }
    const int* begin() const { return data; }
    const int* end() const { return data + count; }

private:
    // Copies other's values; allocates exactly other.count when data is null.
    void assign(const IntArray& other)
    {
        if (data == nullptr && other.count > 0)
            data = new int[other.count];
        count = other.count;
        std::copy(other.data, other.data + other.count, data);
    }
};

} // namespace Kor

using Kor::IntArray;
