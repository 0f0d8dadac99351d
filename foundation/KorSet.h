#pragma once
// Kor::Set<T>: array of item pointers kept in ascending order of a per-type
// comparator (or of the pointer values when compareByAddress is set), found by
// binary search.
//
// Ownership: a set with ownsItems == 1 (the default) owns its items and
// deletes them when destroyed; a set with ownsItems == 0 only refers to them.
// An owner that keeps the items of an owning set calls removeAll(false, false)
// first.
// Not thread-safe: no operation takes a lock.

#include <algorithm>
#include <functional>

#include "foundation/Sort.h"

namespace Kor {

template <class T> class Set {
public:
    using Less = bool (*)(const T*, const T*);

    int ownsItems = 1;
    T** items = nullptr;
    int count = 0;
    int capacity = 0;
    bool compareByAddress = false;

    Set() = default;

    // Owned copies of every item of `other` (requires a copyable T).
    Set(const Set& other) { copyFrom(other); }

    Set& operator=(const Set& other)
    {
        if (this != &other) {
            removeAll(false, true);
            copyFrom(other);
        }
        return *this;
    }

    // Deletes the items only when the set owns them.
    virtual ~Set() { Set::removeAll(false, true); }

    // Deletes the items when deleteItems, or when deleteIfOwned and the set
    // owns them (null items are skipped); then frees the array and empties
    // the set.
    virtual void removeAll(bool deleteItems, bool deleteIfOwned)
    {
        if (deleteItems || (deleteIfOwned && ownsItems == 1)) {
            for (int i = 0; i < count; ++i) {
                delete items[i];
                items[i] = nullptr;
            }
        }
        if (capacity != 0)
            delete[] items;
        items = nullptr;
        count = 0;
        capacity = 0;
    }

    // Binary search for key. True with the index of an equal item; false with
    // the index of the last item less than key (-1 when key precedes every
    // item), so that insertAt(key, index) keeps the order. With
    // compareByAddress, or when less is null, items are ordered by address.
    bool find(const T* key, int& index, Less less) const
    {
        if (compareByAddress || less == nullptr) {
            std::less<const T*> byAddress;
            return binarySearchPosition(
                count, index, [&](int i) { return byAddress(items[i], key); },
                [&](int i) { return byAddress(key, items[i]); });
        }
        return binarySearchPosition(
            count, index, [&](int i) { return less(items[i], key); },
            [&](int i) { return less(key, items[i]); });
    }

    // Stores item at index + 1 (-1 <= index < count, guaranteed by the
    // caller), moving the later items up. A full set grows to
    // max(2*capacity + 1, 5) places. Returns item.
    T* insertAt(T* item, int index)
    {
        if (count == capacity)
            setCapacity(std::max(2 * capacity + 1, 5));
        for (int i = count; i > index + 1; --i)
            items[i] = items[i - 1];
        items[index + 1] = item;
        ++count;
        return item;
    }

    // Reallocates the pointer array to exactly n places (none for n <= 0),
    // keeping the first min(count, n) pointers.
    void setCapacity(int n)
    {
        n = std::max(n, 0);
        const int kept = std::min(count, n);
        T** fresh = n > 0 ? new T*[n] : nullptr;
        for (int i = 0; i < kept; ++i)
            fresh[i] = items[i];
        if (capacity != 0)
            delete[] items;
        items = fresh;
        capacity = n;
        count = kept;
    }

    // Removes the item equal to key, deleting it when deleteItem. False when
    // there is no such item.
    bool removeKey(const T* key, Less less, bool deleteItem)
    {
        int index = -1;
        if (!find(key, index, less))
            return false;
        T* item = items[index];
        for (int i = index; i + 1 < count; ++i)
            items[i] = items[i + 1];
        --count;
        if (deleteItem)
            delete item;
        return true;
    }

    // The item equal to key, or a new copy of key inserted at its place
    // (owned like every other item of the set).
    T* findOrInsert(const T& key, Less less)
    {
        int index = -1;
        if (find(&key, index, less))
            return items[index];
        return insertAt(new T(key), index);
    }

    T* operator[](int i) const { return items[i]; }
    T** begin() const { return items; }
    T** end() const { return items + count; }
    int getCount() const { return count; }

private:
    void copyFrom(const Set& other)
    {
        ownsItems = 1;
        compareByAddress = other.compareByAddress;
        setCapacity(other.count);
        for (int i = 0; i < other.count; ++i)
            items[i] = other.items[i] != nullptr ? new T(*other.items[i]) : nullptr;
        count = other.count;
        // The copies live at new addresses: restore the address order.
        if (compareByAddress)
            std::sort(items, items + count, std::less<const T*>());
    }
};

} // namespace Kor
