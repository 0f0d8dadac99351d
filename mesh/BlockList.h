#pragma once
// CBlockList<T>: a growable array kept in equal blocks. Growth allocates one
// new block and never moves the elements already stored, so pointers into the
// blocks (the per-vertex coordinate views of the flat mesh) stay valid while
// the list grows. Element i lies in block i / blockSize at i % blockSize;
// elements of one block are contiguous.
//
// Ownership: the list owns its blocks and its block table; it cannot be
// copied (a copy would share the blocks), only moved.
// Not thread-safe: no operation takes a lock.

#include <algorithm>
#include <utility>

template <class T> class CBlockList {
public:
    int count = 0;      // elements in use
    int blockSize = 1;  // elements per block, at least 1 (set by init only)
    int blockCount = 0; // allocated blocks
    int capacity = 0;   // blockCount * blockSize
    T** blocks = nullptr;

    CBlockList() = default;
    CBlockList(int n, int size) { init(n, size); }
    CBlockList(const CBlockList&) = delete;
    CBlockList& operator=(const CBlockList&) = delete;
    CBlockList(CBlockList&& other) noexcept { takeOver(other); }
    CBlockList& operator=(CBlockList&& other) noexcept
    {
        if (this != &other) {
            release();
            takeOver(other);
        }
        return *this;
    }
    ~CBlockList() { release(); }

    // Frees all storage, then allocates at once enough blocks of `size`
    // elements for n elements; the list is empty afterwards. A size below 1
    // is taken as 1 and a negative n as 0, so a bad argument cannot divide by
    // zero or allocate a negative table.
    void init(int n, int size)
    {
        release();
        blockSize = std::max(size, 1);
        setDivisor();
        n = std::max(n, 0);
        blockCount = int((long(n) + blockSize - 1) / blockSize);
        capacity = blockCount * blockSize;
        if (blockCount > 0) {
            blocks = new T*[blockCount];
            for (int b = 0; b < blockCount; ++b)
                blocks[b] = new T[blockSize]();
        }
    }

    // Appends a copy of value; when the list is full one block is added.
    // Returns the index of the new element.
    int push(const T& value)
    {
        if (capacity <= count)
            addBlock();
        (*this)[count] = value;
        return count++;
    }

    // Frees every block and the table. The block size is kept, so the list
    // can be filled again with push.
    void release()
    {
        for (int b = 0; b < blockCount; ++b)
            delete[] blocks[b];
        delete[] blocks;
        blocks = nullptr;
        blockCount = 0;
        capacity = 0;
        count = 0;
    }

    // Unchecked element access; 0 <= i < capacity is the caller's guarantee.
    T& operator[](int i)
    {
        const int b = blockOf(i);
        return blocks[b][i - b * blockSize];
    }
    const T& operator[](int i) const
    {
        const int b = blockOf(i);
        return blocks[b][i - b * blockSize];
    }

    // Address of element i; the elements up to the end of its block follow it
    // contiguously.
    T* pointer(int i) { return &(*this)[i]; }
    const T* pointer(int i) const { return &(*this)[i]; }

    int size() const { return count; }

private:
    // ceil(2^64 / blockSize) (0 for a block size of 1): i / blockSize is then
    // the high word of i times it, exactly for every i and block size below
    // 2^31 (the error of the product stays below 1 / blockSize), without a
    // division.
    unsigned long long reciprocal = 0;

    void setDivisor()
    {
        reciprocal = blockSize > 1 ? ~0ull / unsigned(blockSize) + 1 : 0;
    }
    int blockOf(int i) const
    {
        if (reciprocal == 0)
            return i;
        return int((unsigned __int128)(unsigned(i)) * reciprocal >> 64);
    }

    void addBlock()
    {
        T** table = new T*[blockCount + 1];
        std::copy(blocks, blocks + blockCount, table);
        table[blockCount] = new T[blockSize]();
        delete[] blocks;
        blocks = table;
        ++blockCount;
        capacity += blockSize;
    }

    void takeOver(CBlockList& other)
    {
        count = other.count;
        blockSize = other.blockSize;
        reciprocal = other.reciprocal;
        blockCount = other.blockCount;
        capacity = other.capacity;
        blocks = other.blocks;
        other.blocks = nullptr;
        other.blockCount = 0;
        other.capacity = 0;
        other.count = 0;
    }
};
