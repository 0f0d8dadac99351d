// Growable arrays of the openNURBS subset: ON_SimpleArray<T> for plain values
// and pointers, ON_ClassArray<T> for classes with constructors.
//
// Both own their elements (copies are deep), never the objects that pointer
// elements point to. Indices are int. operator[] requires a valid index;
// At(i) answers null for an index out of range. Not thread-safe.
#pragma once

#include <cstddef>
#include <vector>

namespace OnSubset {

template <class T> class ArrayStore {
public:
    ArrayStore() = default;
    explicit ArrayStore(int capacity) { Reserve(capacity); }

    int Count() const { return static_cast<int>(m_a.size()); }
    int Capacity() const { return static_cast<int>(m_a.capacity()); }

    T& operator[](int i) { return m_a[static_cast<std::size_t>(i)]; }
    const T& operator[](int i) const { return m_a[static_cast<std::size_t>(i)]; }
    T* At(int i) { return i >= 0 && i < Count() ? &m_a[static_cast<std::size_t>(i)] : nullptr; }
    const T* At(int i) const
    {
        return i >= 0 && i < Count() ? &m_a[static_cast<std::size_t>(i)] : nullptr;
    }
    T* First() { return At(0); }
    T* Last() { return At(Count() - 1); }

    void Append(const T& x) { m_a.push_back(x); }
    void Append(int count, const T* p)
    {
        for (int i = 0; p && i < count; ++i)
            m_a.push_back(p[i]);
    }
    T& AppendNew() { return m_a.emplace_back(); }
    // Inserts before index i (0 <= i <= Count()); other indices are ignored.
    void Insert(int i, const T& x)
    {
        if (i >= 0 && i <= Count())
            m_a.insert(m_a.begin() + i, x);
    }
    // Removes element i; an index out of range is ignored.
    void Remove(int i)
    {
        if (i >= 0 && i < Count())
            m_a.erase(m_a.begin() + i);
    }
    void Empty() { m_a.clear(); }
    void Destroy() { std::vector<T>().swap(m_a); }
    void Reserve(int capacity)
    {
        if (capacity > 0)
            m_a.reserve(static_cast<std::size_t>(capacity));
    }
    // Grows with default values or shrinks to count elements.
    void SetCount(int count) { m_a.resize(count > 0 ? static_cast<std::size_t>(count) : 0); }

    T* Array() { return m_a.data(); }
    const T* Array() const { return m_a.data(); }

    auto begin() { return m_a.begin(); }
    auto end() { return m_a.end(); }
    auto begin() const { return m_a.begin(); }
    auto end() const { return m_a.end(); }

private:
    std::vector<T> m_a;
};

} // namespace OnSubset

template <class T> class ON_SimpleArray : public OnSubset::ArrayStore<T> {
public:
    using OnSubset::ArrayStore<T>::ArrayStore;
};

template <class T> class ON_ClassArray : public OnSubset::ArrayStore<T> {
public:
    using OnSubset::ArrayStore<T>::ArrayStore;
};
