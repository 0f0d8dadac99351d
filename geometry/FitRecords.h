// Cells of fit points used when a surface fit refines knots or fixes control
// points, grids of such cells, and the helpers of plain pointer arrays.
//
// `CSegmentInfo` collects the fit points that fall into one knot span,
// `CCtrlPtInfo` those in the parameter region of one control point. Both hold
// an owned list of indices into a fit-point array that they do not own.
// `CInfoGrid<T>` keeps rows x columns cells allocated together.
//
// Ownership: a cell owns its index list, never the fit-point array; a grid
// owns its cells. Thread-safety: none.
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorArray.h"

#include <algorithm>

// Index list over a fit-point array (shared layout of both cell kinds): a
// fit-point selection that is deleted through its cell type.
class CFitPointCell : public IndexSubset<CFitPoint> {
public:
    virtual ~CFitPointCell() = default;
};

// The fit points of one control point's parameter region.
class CCtrlPtInfo : public CFitPointCell {};

// The fit points of one knot span (u span x v span).
class CSegmentInfo : public CFitPointCell {};

// rows x columns cells allocated as one array (none when either size is 0);
// cell (r, c) is cells[r * columns + c].
template <class T> class CInfoGrid {
public:
    T* cells = nullptr;
    int rows = 0;
    int columns = 0;

    CInfoGrid(int rowCount, int columnCount)
        : rows(std::max(rowCount, 0)), columns(std::max(columnCount, 0))
    {
        if (rows > 0 && columns > 0)
            cells = new T[static_cast<size_t>(rows) * static_cast<size_t>(columns)];
    }
    CInfoGrid(const CInfoGrid&) = delete;
    CInfoGrid& operator=(const CInfoGrid&) = delete;
    ~CInfoGrid() { delete[] cells; }

    T& at(int r, int c) { return cells[static_cast<size_t>(r) * columns + c]; }
    const T& at(int r, int c) const { return cells[static_cast<size_t>(r) * columns + c]; }
};

// Plain pointer arrays: a Kor::Array of pointers that never owns the
// pointees.

// Releases any storage and leaves the array empty.
template <class T> void initPtrArray(Kor::Array<T*>& a)
{
    a.setCapacity(0);
}

// Stores p at the end and returns its index; a full array grows to
// (max(capacity, 1)*3 + 1)/2 places (2, 3, 5, 8, 12, ...).
template <class T> int appendPtrArray(Kor::Array<T*>& a, T* p)
{
    return a.append(p);
}

// Exactly n places, the first min(count, n) pointers kept.
template <class T> void resizePtrArray(Kor::Array<T*>& a, int n)
{
    a.setCapacity(n);
}

// Removes the entry at index i (0 <= i < count, else nothing happens); later
// entries shift down. True when one was removed.
template <class T> bool removeFromPtrArray(Kor::Array<T*>& a, int i)
{
    if (i < 0 || i >= a.count)
        return false;
    for (int k = i; k + 1 < a.count; ++k)
        a.data[k] = a.data[k + 1];
    --a.count;
    return true;
}

// Removes the first occurrence of p (later entries shift down); false when p
// is not there.
template <class T> bool removeFromPtrArray(Kor::Array<T*>& a, T* p)
{
    for (int i = 0; i < a.count; ++i) {
        if (a.data[i] == p) {
            for (int k = i; k + 1 < a.count; ++k)
                a.data[k] = a.data[k + 1];
            --a.count;
            return true;
        }
    }
    return false;
}

// Frees the storage; the array is empty afterwards.
template <class T> void freeArray(Kor::Array<T*>& a)
{
    a.setCapacity(0);
}
