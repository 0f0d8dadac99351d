#pragma once
// Sort helpers: a quicksort on element arrays, a quicksort on index arrays
// ordered by keys, sorting into distinct values, an index sort by double
// keys, and binary searches in sorted arrays (the insertion-position search
// shared with Kor::Set and the search for an (id, index) pair).
//
// Ownership: sortIndexByKey allocates the index array when the caller passes
// null; the caller owns it and frees it with delete[].
// Thread-safety: the functions keep no state; callers serialise access to
// the arrays they sort.

#include <algorithm>
#include <utility>

// Sorts a[lo..hi] in place so that no element is less than its predecessor.
// `less` is called as less(const T*, const T*). The pivot is tracked by
// position, so it never needs to be copied.
template <class T, class Less> void quickSort(T* a, int lo, int hi, Less less)
{
    while (lo < hi) {
        int i = lo;
        int j = hi;
        int m = lo + (hi - lo) / 2;
        while (i <= j) {
            while (i != m && less(&a[i], &a[m]))
                ++i;
            while (j != m && less(&a[m], &a[j]))
                --j;
            if (i < j) {
                std::swap(a[i], a[j]);
                if (m == i)
                    m = j;
                else if (m == j)
                    m = i;
            }
            if (j < i)
                break;
            ++i;
            if (j > lo)
                --j;
        }
        if (lo < j)
            quickSort(a, lo, j, less);
        if (i >= hi)
            break;
        lo = i;
    }
}

// The same algorithm on an index array: orders idx[lo..hi] so that the keys
// it addresses ascend under less(const K*, const K*).
template <class K, class Less>
void quickSortIndices(const K* keys, int* idx, int lo, int hi, Less less)
{
    quickSort(idx, lo, hi,
              [keys, &less](const int* x, const int* y) { return less(&keys[*x], &keys[*y]); });
}

// Fills *idx with 0..n-1 ordered so that keys[(*idx)[k]] ascends. Allocates
// *idx (max(n, 1) entries, owned by the caller, delete[]) when it is null;
// otherwise the caller provides at least n entries.
template <class K> void sortIndexByKey(const K* keys, int n, int** idx)
{
    if (*idx == nullptr)
        *idx = new int[std::max(n, 1)];
    int* out = *idx;
    for (int k = 0; k < n; ++k)
        out[k] = k;
    if (n > 1)
        quickSortIndices(keys, out, 0, n - 1, [](const K* x, const K* y) { return *x < *y; });
}

// Sorts a[0..n) ascending (quickSort with the type's <) and moves the
// distinct values to the front; returns their count (n itself when n < 2 or
// a is null).
template <class T> int sortUnique(T* a, int n)
{
    if (n < 2 || a == nullptr)
        return n;
    quickSort(a, 0, n - 1, [](const T* x, const T* y) { return *x < *y; });
    int kept = 1;
    for (int i = 1; i < n; ++i)
        if (a[i] != a[kept - 1])
            a[kept++] = a[i];
    return kept;
}

// Binary search over n sorted items. lessItemKey(i) tells whether item i is
// less than the key, lessKeyItem(i) whether the key is less than item i.
// True with index = the position of an equal item; false with index = the
// position of the last item less than the key (-1 when the key precedes every
// item), so that inserting after index keeps the order.
template <class LessItemKey, class LessKeyItem>
bool binarySearchPosition(int n, int& index, LessItemKey lessItemKey, LessKeyItem lessKeyItem)
{
    index = -1;
    if (n <= 0)
        return false;
    int lo = 0;
    int hi = n - 1;
    for (;;) {
        const int mid = lo + (hi - lo) / 2;
        index = mid;
        if (lessItemKey(mid)) {
            lo = mid + 1;
            if (lo >= hi)
                break;
        } else if (lessKeyItem(mid)) {
            if (mid - 1 <= lo) {
                hi = lo;
                break;
            }
            hi = mid - 1;
        } else {
            return true;
        }
        if (hi == lo)
            break;
    }
    index = hi;
    if (lessKeyItem(hi)) {
        index = hi - 1;
        return false;
    }
    if (lessItemKey(hi))
        return false;
    return true;
}

// Position of the pair equal to *key in pairs[0..n), sorted by
// less(const T*, const T*); -1 when there is none or n < 1.
template <class T, class Less> int findIdIndex(const T* key, const T* pairs, int n, Less less)
{
    int index = -1;
    const bool found = binarySearchPosition(
        n, index, [&](int i) { return less(&pairs[i], key); },
        [&](int i) { return less(key, &pairs[i]); });
    return found ? index : -1;
}
