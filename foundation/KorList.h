#pragma once
// Kor::List<T>: growable array of values with virtual growth operations, and
// Kor::SimpleList<T>, a list that is only a view over storage held elsewhere.
//
// Ownership: a List owns its element storage (allocated as an array of
// default-constructed elements; elements are copied in by assignment). For
// lists of pointers it owns only the pointer array, never the pointees, except
// through deleteAll() and deleteAt(). A SimpleList never owns its storage.
// Storage is freed only when `capacity` is not 0.
//
// Not thread-safe: no operation takes a lock.

#include <algorithm>
#include <functional>
#include <utility>

#include "foundation/Sort.h"

namespace Kor {

template <class T> class List {
public:
    T* data = nullptr;
    int count = 0;
    int capacity = 0;

    List() = default;

    List(const List& other)
    {
        List::setCapacity(other.count, false);
        for (int i = 0; i < other.count; ++i)
            data[i] = other.data[i];
        count = other.count;
    }

    List(List&& other) noexcept : data(other.data), count(other.count), capacity(other.capacity)
    {
        other.data = nullptr;
        other.count = 0;
        other.capacity = 0;
    }

    // Makes this list an owning copy of `other`; the old storage is released
    // first (when owned), so copies never share storage.
    List& operator=(const List& other)
    {
        if (this == &other)
            return *this;
        if (capacity < other.count || capacity == 0) {
            T* fresh = other.count > 0 ? new T[other.count] : nullptr;
            for (int i = 0; i < other.count; ++i)
                fresh[i] = other.data[i];
            releaseStorage();
            data = fresh;
            capacity = other.count;
        } else {
            for (int i = 0; i < other.count; ++i)
                data[i] = other.data[i];
        }
        count = other.count;
        return *this;
    }

    List& operator=(List&& other) noexcept
    {
        if (this == &other)
            return *this;
        releaseStorage();
        data = other.data;
        count = other.count;
        capacity = other.capacity;
        other.data = nullptr;
        other.count = 0;
        other.capacity = 0;
        return *this;
    }

    // Frees the storage when owned (capacity != 0) and empties the list.
    virtual void removeAll()
    {
        releaseStorage();
        data = nullptr;
        count = 0;
        capacity = 0;
    }

    virtual ~List() { releaseStorage(); }

    // Appends `item` (or inserts it at the front when atFront) and returns its
    // index. A full list grows to max(2*capacity + 1, 5) places.
    virtual int append(const T& item, bool atFront = false)
    {
        if (atFront) {
            insertAfter(item, -1);
            return 0;
        }
        if (count == capacity) {
            // The item may be an element of this list: copy it before the
            // storage moves.
            T copy = item;
            setCapacity(std::max(2 * capacity + 1, 5), false);
            data[count] = std::move(copy);
        } else {
            data[count] = item;
        }
        return count++;
    }

    // Inserts `item` at index + 1, the index clamped into [-1, count - 1].
    // A full list grows by exactly one place.
    virtual void insertAfter(const T& item, int index)
    {
        if (isElement(&item)) {
            T copy = item;
            insertAfter(copy, index);
            return;
        }
        setCapacity(count + 1, false);
        index = std::clamp(index, -1, count - 1);
        for (int i = count; i > index + 1; --i)
            data[i] = std::move(data[i - 1]);
        data[index + 1] = item;
        ++count;
    }

    // Reallocates to exactly n places, keeping the first min(count, n)
    // elements. Without force it only grows (does nothing when n <= capacity).
    virtual void setCapacity(int n, bool force)
    {
        if (!force && n <= capacity)
            return;
        n = std::max(n, 0);
        const int kept = std::min(count, n);
        T* fresh = n > 0 ? new T[n] : nullptr;
        for (int i = 0; i < kept; ++i)
            fresh[i] = std::move(data[i]);
        releaseStorage();
        data = fresh;
        capacity = n;
        count = kept;
    }

    // Takes ownership of p (allocated with new T[n]); returns n.
    virtual int attach(T* p, int n)
    {
        removeAll();
        data = p;
        count = capacity = n;
        return n;
    }

    virtual void clear() { removeAll(); }

    T& operator[](int i) { return data[i]; }
    const T& operator[](int i) const { return data[i]; }
    T* begin() { return data; }
    T* end() { return data + count; }
    const T* begin() const { return data; }
    const T* end() const { return data + count; }
    int getCount() const { return count; }

    // Sorts the elements ascending by operator< (a list of fewer than two
    // is left alone).
    void sort()
    {
        if (count > 1)
            quickSort(data, 0, count - 1, [](const T* a, const T* b) { return *a < *b; });
    }

    // Removes the first element; false on an empty list.
    bool removeFirst()
    {
        if (count <= 0)
            return false;
        return removeAt(0);
    }

    // Appends the n values, sorts the list (sort) and
    // removes neighbours that are exactly equal. Returns the growth of the
    // count (0 when every value was present already).
    int addUnique(const T* values, int n)
    {
        const int before = count;
        for (int i = 0; i < n; ++i)
            append(values[i]);
        sort();
        int kept = std::min(count, 1);
        for (int i = 1; i < count; ++i)
            if (!(data[i] == data[kept - 1]))
                data[kept++] = std::move(data[i]);
        count = kept;
        return count - before;
    }

    bool contains(const T& v) const
    {
        for (int i = 0; i < count; ++i)
            if (data[i] == v)
                return true;
        return false;
    }

    // Removes every element equal to v, keeping the order of the rest;
    // returns how many were removed. Pointees are not deleted.
    int remove(const T& v)
    {
        const T value = v; // v may be an element of this list
        int kept = 0;
        for (int i = 0; i < count; ++i)
            if (!(data[i] == value))
                data[kept++] = std::move(data[i]);
        const int removed = count - kept;
        count = kept;
        return removed;
    }

    // Removes the element at index (0 <= index < count, guaranteed by the
    // caller) by shifting the later ones down.
    bool removeAt(int index)
    {
        for (int i = index; i + 1 < count; ++i)
            data[i] = std::move(data[i + 1]);
        --count;
        return true;
    }

    // For lists of pointers to objects with an equality operator: index of
    // the first element whose object equals *key. When none, false and
    // index = count.
    bool findEqual(const T& key, int& index) const
    {
        for (index = 0; index < count; ++index)
            if (data[index] != nullptr && key != nullptr && *data[index] == *key)
                return true;
        index = count;
        return false;
    }

    // For pointer lists: deletes the object at index and removes the element.
    // A position outside [0, count) is ignored.
    void deleteAt(const int& index)
    {
        if (index < 0 || index >= count)
            return;
        const int at = index; // index may refer into this list's storage
        delete data[at];
        removeAt(at);
    }

    // For pointer lists: deletes every non-null pointee, then empties the list.
    void deleteAll()
    {
        for (int i = 0; i < count; ++i) {
            delete data[i];
            data[i] = nullptr;
        }
        removeAll();
    }

protected:
    void releaseStorage()
    {
        if (capacity != 0)
            delete[] data;
    }

    bool isElement(const T* p) const
    {
        if (data == nullptr || count <= 0)
            return false;
        std::less<const T*> less;
        return !less(p, data) && less(p, data + count);
    }
};

// A list over borrowed storage: never allocates and never frees. append and
// insertAfter write into the attached storage, so the caller attaches storage
// large enough for every element it adds.
template <class T> class SimpleList : public List<T> {
public:
    SimpleList() = default;

    // Copies are views of the same storage.
    SimpleList(const SimpleList& other) : List<T>()
    {
        this->data = other.data;
        this->count = other.count;
    }

    SimpleList& operator=(const SimpleList& other)
    {
        this->data = other.data;
        this->count = other.count;
        this->capacity = 0;
        return *this;
    }

    ~SimpleList() override
    {
        this->data = nullptr;
        this->count = 0;
        this->capacity = 0;
    }

    void removeAll() override { this->count = 0; }
    void setCapacity(int, bool) override {}

    // Views p[0..n) without taking ownership; returns n.
    int attach(T* p, int n) override
    {
        this->data = p;
        this->count = n;
        this->capacity = 0;
        return n;
    }

    void clear() override { removeAll(); }
};

} // namespace Kor

// Appends value to *list when list is not null.
template <class T> void appendToList(Kor::List<T>* list, const T& value)
{
    if (list != nullptr)
        list->append(value);
}
