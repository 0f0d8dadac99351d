#pragma once
// Sparse rows and the linear equations that the fitting constraints put on
// the increments of a surface's fit variables.
//
// `CSparseNumericVector<T>` is a row of cells (unknown index, coefficient)
// kept in ascending index order in a `Kor::Set`; no cell ever holds a zero
// coefficient, so the cells are exactly the unknowns the row mentions.
// `CSparseLinearEquation` is one equation: such a row, a right-hand side and
// an int tag. Both are values: copies deep-copy the cells.
//
// Ownership: a row owns its cells (the set owns its items); an equation owns
// its row. Thread-safety: plain values, no shared state.

#include "foundation/KorSet.h"

#include <utility>

template <class T> struct CSparseCell {
    int index = 0; // unknown (column) index
    T value = T(); // coefficient, never zero inside a row
};

template <class T> class CSparseNumericVector {
public:
    int size = 0;                   // one past the largest index ever set (a dimension hint)
    int flags = 0;                  // free for the owner; copied with the row
    Kor::Set<CSparseCell<T>> cells; // owned, ascending by index

    CSparseNumericVector() = default;
    CSparseNumericVector(const CSparseNumericVector& other) = default;
    CSparseNumericVector(CSparseNumericVector&& other) noexcept { swap(other); }

    // Drops the old cells and deep-copies the other's cells, size and flags.
    CSparseNumericVector& operator=(const CSparseNumericVector& other)
    {
        if (this != &other) {
            CSparseNumericVector copy(other);
            swap(copy);
        }
        return *this;
    }
    CSparseNumericVector& operator=(CSparseNumericVector&& other) noexcept
    {
        if (this != &other) {
            CSparseNumericVector empty;
            swap(empty);
            swap(other);
        }
        return *this;
    }

    void swap(CSparseNumericVector& other) noexcept
    {
        std::swap(size, other.size);
        std::swap(flags, other.flags);
        std::swap(cells.ownsItems, other.cells.ownsItems);
        std::swap(cells.items, other.cells.items);
        std::swap(cells.count, other.cells.count);
        std::swap(cells.capacity, other.cells.capacity);
        std::swap(cells.compareByAddress, other.cells.compareByAddress);
    }

    // Number of cells (non-zero coefficients).
    int getCellCount() const { return cells.count; }
    // Cell k in index order, 0 <= k < getCellCount().
    const CSparseCell<T>& cellAt(int k) const { return *cells.items[k]; }

    // The coefficient of `index`; zero when the row has no cell for it.
    T get(int index) const
    {
        int at = -1;
        return findCell(index, at) ? cells.items[at]->value : T();
    }

    // Sets the coefficient of `index`. A zero value stores nothing and
    // removes an existing cell of that index.
    void set(int index, T value)
    {
        int at = -1;
        const bool found = findCell(index, at);
        if (value == T()) {
            if (found)
                removeCellAt(at);
            return;
        }
        if (found) {
            cells.items[at]->value = value;
            return;
        }
        insertCell(index, value, at);
    }

    // Adds `value` to the coefficient of `index`. Adding zero does nothing; a
    // sum that comes out exactly zero removes the cell, so a row never holds a
    // zero coefficient.
    void add(int index, T value)
    {
        if (value == T())
            return;
        int at = -1;
        if (!findCell(index, at)) {
            insertCell(index, value, at);
            return;
        }
        cells.items[at]->value += value;
        if (cells.items[at]->value == T())
            removeCellAt(at);
    }

    // Removes every cell; size and flags stay.
    void clearCells() { cells.removeAll(false, true); }

private:
    static bool lessByIndex(const CSparseCell<T>* a, const CSparseCell<T>* b)
    {
        return a->index < b->index;
    }

    bool findCell(int index, int& at) const
    {
        CSparseCell<T> key;
        key.index = index;
        return cells.find(&key, at, &lessByIndex);
    }

    void insertCell(int index, T value, int after)
    {
        auto* cell = new CSparseCell<T>;
        cell->index = index;
        cell->value = value;
        cells.insertAt(cell, after);
        if (index >= size)
            size = index + 1;
    }

    void removeCellAt(int at)
    {
        CSparseCell<T>* cell = cells.items[at];
        for (int k = at; k + 1 < cells.count; ++k)
            cells.items[k] = cells.items[k + 1];
        --cells.count;
        delete cell;
    }
};

// One linear equation: row . increments = rhs.
class CSparseLinearEquation {
public:
    CSparseNumericVector<double> row;
    double rhs = 0.0;
    int tag = 0; // carried for the solvers; the constraints always set 0

    CSparseLinearEquation() = default;
    // Deep-copies the row's cells.
    CSparseLinearEquation(const CSparseNumericVector<double>& r, double rightHandSide, int t)
        : row(r), rhs(rightHandSide), tag(t)
    {
    }
};
