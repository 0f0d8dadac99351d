#include "geometry/SparseMatrix.h"

#include <algorithm>
#include <cmath>

SparseMatrixRow::SparseMatrixRow(int n, int columns) : columnCount(columns)
{
    reserve(n);
}

SparseMatrixRow::SparseMatrixRow(const SparseMatrixRow& other) : columnCount(other.columnCount)
{
    reserve(other.count);
    for (int k = 0; k < other.count; ++k) {
        values[k] = other.values[k];
        columnIndices[k] = other.columnIndices[k];
    }
    count = other.count;
}

SparseMatrixRow& SparseMatrixRow::operator=(const SparseMatrixRow& other)
{
    if (this == &other)
        return *this;
    count = 0;
    reserve(other.count);
    for (int k = 0; k < other.count; ++k) {
        values[k] = other.values[k];
        columnIndices[k] = other.columnIndices[k];
    }
    count = other.count;
    columnCount = other.columnCount;
    return *this;
}

SparseMatrixRow::~SparseMatrixRow()
{
    delete[] columnIndices;
}

void SparseMatrixRow::reserve(int n)
{
    if (n <= capacity)
        return;
    int* fresh = new int[n];
    std::copy(columnIndices, columnIndices + count, fresh);
    delete[] columnIndices;
    columnIndices = fresh;
    values.resize(n); // keeps the values, new places zero
    capacity = n;
}

bool SparseMatrixRow::append(int column, double value)
{
    if (column < 0 || column >= columnCount)
        return false;
    if (count == capacity)
        reserve((std::max(capacity, 1) * 3 + 1) / 2);
    values[count] = value;
    columnIndices[count] = column;
    ++count;
    return true;
}

void SparseMatrixRow::gather(const Vector& dense, const int* indices, int n)
{
    count = 0;
    columnCount = dense.n;
    for (int k = 0; k < n; ++k) {
        const int i = indices[k];
        if (i >= 0 && i < dense.n && std::fabs(dense[i]) > 1e-16)
            append(i, dense[i]);
    }
}

double SparseMatrixRow::dot(const Vector& x) const
{
    double sum = 0.0;
    for (int k = 0; k < count; ++k)
        sum += values[k] * x[columnIndices[k]];
    return sum;
}

SparseMatrix::SparseMatrix(int rowCount, int columnCount)
    : rows(std::max(rowCount, 0)), columns(std::max(columnCount, 0))
{
    if (rows > 0) {
        rowData = new SparseMatrixRow[rows];
        for (int i = 0; i < rows; ++i)
            rowData[i].columnCount = columns;
    }
}

SparseMatrix::~SparseMatrix()
{
    delete[] rowData;
}

Vector& SparseMatrix::multiply(const Vector& x, Vector& y) const
{
    if (&x == &y) {
        Vector copy(x);
        return multiply(copy, y);
    }
    y.resize(rows);
    for (int i = 0; i < rows; ++i)
        y[i] = rowData[i].dot(x);
    return y;
}

Vector multiplyTransposed(const Vector& x, const SparseMatrix& A)
{
    Vector result(A.columns);
    for (int i = 0; i < A.rows && i < x.n; ++i) {
        const SparseMatrixRow& row = A.rowData[i];
        for (int k = 0; k < row.count; ++k) {
            const int c = row.columnIndices[k];
            if (c >= 0 && c < A.columns)
                result[c] += row.values[k] * x[i];
        }
    }
    return result;
}
