#pragma once
// Kor::SubSet<T>: a non-owning selection of items: an array of item pointers
// and a second pointer array kept beside it (for example the items' partners
// or the groups they belong to).
//
// Ownership: the sub-set owns only its two pointer arrays, never what the
// pointers address. The destructor frees both arrays and zeroes the counts.
// Not thread-safe: no operation takes a lock.

#include <algorithm>

#include "foundation/Sort.h"

namespace Kor {

template <class T> class SubSet {
public:
    T** items = nullptr;
    T** items2 = nullptr; // the second pointer array
    int count2 = 0;
    int capacity2 = 0;
    int count = 0;
    int capacity = 0;

    SubSet() = default;

    SubSet(const SubSet& other) { copyFrom(other); }

    SubSet& operator=(const SubSet& other)
    {
        if (this != &other) {
            release();
            copyFrom(other);
        }
        return *this;
    }

    virtual ~SubSet() { release(); }

    // Reallocates the item-pointer array to exactly n places (none for
    // n <= 0), keeping the first min(count, n) pointers.
    void setCapacity(int n) { resizeArray(items, count, capacity, n); }

    // The same for the second pointer array.
    void setCapacity2(int n) { resizeArray(items2, count2, capacity2, n); }

    // Appends a pointer; returns its index. Grows to max(2*capacity + 1, 5).
    int append(T* item) { return appendTo(items, count, capacity, item); }
    int append2(T* item) { return appendTo(items2, count2, capacity2, item); }

    // Empties both arrays and frees them.
    void removeAll() { release(); }

    T* operator[](int i) const { return items[i]; }

    // Sorts the items with less(const T*, const T*) and removes every item
    // that is neither less nor greater than the item kept before it; returns
    // the number removed. The second array is not touched.
    template <class Less> int sortUnique(Less less)
    {
        if (count < 2)
            return 0;
        quickSort(items, 0, count - 1, [&less](T* const* a, T* const* b) { return less(*a, *b); });
        int kept = 1;
        for (int i = 1; i < count; ++i)
            if (less(items[kept - 1], items[i]) || less(items[i], items[kept - 1]))
                items[kept++] = items[i];
        const int removed = count - kept;
        count = kept;
        return removed;
    }
    // The same with the items' own operator<.
    int sortUnique()
    {
        return sortUnique([](const T* a, const T* b) { return *a < *b; });
    }

private:
    static void resizeArray(T**& array, int& n, int& cap, int want)
    {
        want = std::max(want, 0);
        const int kept = std::min(n, want);
        T** fresh = want > 0 ? new T*[want] : nullptr;
        for (int i = 0; i < kept; ++i)
            fresh[i] = array[i];
        delete[] array;
        array = fresh;
        cap = want;
        n = kept;
    }

    static int appendTo(T**& array, int& n, int& cap, T* item)
    {
        if (n == cap)
            resizeArray(array, n, cap, std::max(2 * cap + 1, 5));
        array[n] = item;
        return n++;
    }

    void copyFrom(const SubSet& other)
    {
        resizeArray(items, count, capacity, other.count);
        std::copy(other.items, other.items + other.count, items);
        count = other.count;
        resizeArray(items2, count2, capacity2, other.count2);
        std::copy(other.items2, other.items2 + other.count2, items2);
        count2 = other.count2;
    }

    void release()
    {
        delete[] items;
        delete[] items2;
        items = items2 = nullptr;
        count = capacity = count2 = capacity2 = 0;
    }
};

} // namespace Kor
