// Id map of the mesh text readers: the finite-element and forming files
// number their points with ids of their own, which the readers translate into
// mesh vertex indices.
//
// Pairs (id, mesh index) are appended in file order and sorted by id before
// the first look-up (and again before any look-up that follows further
// appends). A reader records an id it could not give a vertex with a
// negative mark of its own. When an id occurs twice, the pair appended first
// wins, unless it is such a mark and a later pair has a vertex: a point
// defined again in good form is taken.
//
// Ownership: the map owns its pairs. Thread-safety: none; one reader uses it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

class CMeshIdMap {
public:
    void append(int id, int index)
    {
        entries.emplace_back(id, index);
        sorted = false;
    }

    // Orders the pairs by id, keeping the file order of equal ids.
    void sortById()
    {
        if (sorted)
            return;
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.first < b.first; });
        // The pair that wins goes first in the run of its id.
        for (std::size_t run = 0; run < entries.size();) {
            std::size_t end = run + 1;
            while (end < entries.size() && entries[end].first == entries[run].first)
                ++end;
            if (entries[run].second < 0)
                for (std::size_t k = run + 1; k < end; ++k)
                    if (entries[k].second >= 0) {
                        std::swap(entries[run], entries[k]);
                        break;
                    }
            run = end;
        }
        sorted = true;
    }

    // The mesh index recorded for id (a reader's mark below -1 when no pair
    // of id has a vertex), or -1 when id is not in the map.
    int findIdIndex(int id)
    {
        sortById();
        const auto it = std::lower_bound(entries.begin(), entries.end(), id,
                                         [](const Entry& e, int value) { return e.first < value; });
        return it != entries.end() && it->first == id ? it->second : -1;
    }

    int count() const { return int(entries.size()); }

private:
    using Entry = std::pair<int, int>;
    std::vector<Entry> entries;
    bool sorted = true;
};
