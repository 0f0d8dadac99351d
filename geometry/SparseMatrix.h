// Row-compressed sparse matrix handed to the sparse least-squares solvers.
//
// Each `SparseMatrixRow` keeps its non-zero values in a Vector and their
// columns in a parallel int array; `count` entries are in use, `capacity`
// places are allocated. The matrix holds `rows` such rows in one array and
// tells every row the column count.
//
// Ownership: a row owns its column array and values; the matrix owns its
// rows. The progress sink inherited from CProgressFeature is borrowed (the
// sparse solvers poll it).
// Thread-safety: none; the products only read, so concurrent products on an
// unchanged matrix are safe.
#pragma once

#include "foundation/Vector.h"
#include "geometry/GeoObject.h"

class SparseMatrixRow {
public:
    Vector values;                // the row's values; entries 0 .. count-1 in use
    int* columnIndices = nullptr; // the column of each value (owned)
    int count = 0;                // entries in use
    int capacity = 0;             // places allocated in values and columnIndices
    int columnCount = 0;          // the matrix's column count

    SparseMatrixRow() = default;
    // Room for n entries (values zero), none in use yet.
    SparseMatrixRow(int n, int columns);
    SparseMatrixRow(const SparseMatrixRow& other);
    SparseMatrixRow& operator=(const SparseMatrixRow& other);
    ~SparseMatrixRow();

    // Grows the storage to at least n places, keeping the entries in use.
    void reserve(int n);
    // Appends (column, value); storage grows by half when full. False, and
    // nothing stored, for a column outside 0 .. columnCount-1.
    bool append(int column, double value);
    // Entries in use become 0; the storage stays.
    void clear() { count = 0; }
    // Replaces the entries by those of dense[indices[k]], k = 0 .. n-1, whose
    // magnitude exceeds 1e-16, in the order of indices; the column count
    // becomes dense's length. Indices outside dense are skipped.
    void gather(const Vector& dense, const int* indices, int n);
    // Sum of value[k] * x[column[k]] over the entries in use; x must cover
    // every column used.
    double dot(const Vector& x) const;
};

class SparseMatrix : public CProgressFeature {
public:
    int rows = 0;
    int columns = 0;
    SparseMatrixRow* rowData = nullptr; // `rows` rows, one array

    // rows empty rows, each told the column count (negative sizes count as 0).
    SparseMatrix(int rows, int columns);
    SparseMatrix(const SparseMatrix&) = delete;
    SparseMatrix& operator=(const SparseMatrix&) = delete;
    ~SparseMatrix() override;

    SparseMatrixRow& operator[](int i) { return rowData[i]; }
    const SparseMatrixRow& operator[](int i) const { return rowData[i]; }

    // y = A x; y is sized to rows.
    Vector& multiply(const Vector& x, Vector& y) const;
};

// A^T x as a new Vector of A.columns entries (x has A.rows entries).
Vector multiplyTransposed(const Vector& x, const SparseMatrix& A);
