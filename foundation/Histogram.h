#pragma once
// HistogramItem: one bin of a histogram over integer keys, kept in a
// Kor::Set ordered by key (for example faces counted by the number of
// poly-lines around them).
//
// Ownership: the set owns its bins. Not thread-safe.

#include "foundation/KorSet.h"

#include <ostream>

struct HistogramItem {
    int key = 0;
    int count = 0;
};

inline bool lessHistogramItem(const HistogramItem* a, const HistogramItem* b)
{
    return a->key < b->key;
}

// Adds 1 to the bin of key, inserting the bin with count 0 first.
inline void countInHistogram(Kor::Set<HistogramItem>& histogram, int key)
{
    ++histogram.findOrInsert(HistogramItem{key, 0}, lessHistogramItem)->count;
}

// The count of key's bin; 0 when there is none.
inline int histogramCount(const Kor::Set<HistogramItem>& histogram, int key)
{
    const HistogramItem probe{key, 0};
    int index = -1;
    return histogram.find(&probe, index, lessHistogramItem) ? histogram[index]->count : 0;
}

// One line per bin, ascending keys: the key, " f=" and the count.
inline std::ostream& operator<<(std::ostream& out, const Kor::Set<HistogramItem>& histogram)
{
    for (const HistogramItem* item : histogram)
        out << item->key << " f=" << item->count << "\n";
    return out;
}
