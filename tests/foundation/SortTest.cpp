#include "foundation/Sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

bool lessInt(const int* a, const int* b)
{
    return *a < *b;
}

struct Pair {
    int id;
    int index;
};

bool lessId(const Pair* a, const Pair* b)
{
    return a->id < b->id;
}

} // namespace

TEST(Sort, QuickSortMatchesStdSort)
{
    std::mt19937 rng(11);
    for (int n = 1; n < 60; ++n) {
        for (int range : {2, 5, 1000}) {
            std::uniform_int_distribution<int> dist(0, range);
            std::vector<int> v(n);
            for (int& x : v)
                x = dist(rng);
            std::vector<int> expected = v;
            std::sort(expected.begin(), expected.end());
            quickSort(v.data(), 0, n - 1, lessInt);
            ASSERT_EQ(v, expected) << "n=" << n << " range=" << range;
        }
    }
    // Presorted, reversed and constant inputs.
    std::vector<int> up(100), down(100), flat(100, 4);
    for (int i = 0; i < 100; ++i) {
        up[i] = i;
        down[i] = 100 - i;
    }
    for (std::vector<int>* v : {&up, &down, &flat}) {
        quickSort(v->data(), 0, 99, lessInt);
        EXPECT_TRUE(std::is_sorted(v->begin(), v->end()));
    }
}

TEST(Sort, QuickSortSubrangeOnly)
{
    std::vector<int> v{9, 5, 3, 4, 1, 0};
    quickSort(v.data(), 1, 4, lessInt);
    EXPECT_EQ(v, (std::vector<int>{9, 1, 3, 4, 5, 0}));
}

TEST(Sort, SortIndexByKey)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> keys(57);
    for (double& k : keys)
        k = dist(rng);
    keys[10] = keys[20]; // a tie
    int* idx = nullptr;
    sortIndexByKey(keys.data(), static_cast<int>(keys.size()), &idx);
    for (size_t k = 1; k < keys.size(); ++k)
        EXPECT_LE(keys[idx[k - 1]], keys[idx[k]]);
    std::vector<int> seen(idx, idx + keys.size());
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen.back(), 56);
    EXPECT_EQ(std::unique(seen.begin(), seen.end()), seen.end());
    delete[] idx;

    const double one = 5.0;
    idx = nullptr;
    sortIndexByKey(&one, 1, &idx);
    EXPECT_EQ(idx[0], 0);
    delete[] idx;
    idx = nullptr;
    sortIndexByKey(&one, 0, &idx); // still allocates one entry
    ASSERT_NE(idx, nullptr);
    delete[] idx;
}

TEST(Sort, FindIdIndex)
{
    std::vector<Pair> pairs;
    for (int i = 0; i < 9; ++i)
        pairs.push_back({i * 3, i});
    for (int id = -2; id < 30; ++id) {
        Pair key{id, -1};
        const int expected = (id >= 0 && id % 3 == 0 && id < 27) ? id / 3 : -1;
        EXPECT_EQ(findIdIndex(&key, pairs.data(), 9, lessId), expected) << id;
    }
    Pair key{0, 0};
    EXPECT_EQ(findIdIndex(&key, pairs.data(), 0, lessId), -1);
}

TEST(Sort, BinarySearchPositionAgreesWithLowerBound)
{
    std::mt19937 rng(5);
    for (int n = 0; n < 40; ++n) {
        std::vector<int> v(n);
        for (int& x : v)
            x = 2 * static_cast<int>(rng() % 50);
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
        const int m = static_cast<int>(v.size());
        for (int key = -1; key <= 101; ++key) {
            int index = -9;
            const bool found = binarySearchPosition(
                m, index, [&](int i) { return v[i] < key; }, [&](int i) { return key < v[i]; });
            const int lb = static_cast<int>(std::lower_bound(v.begin(), v.end(), key) - v.begin());
            const bool present = lb < m && v[lb] == key;
            ASSERT_EQ(found, present) << "n=" << m << " key=" << key;
            ASSERT_EQ(index, present ? lb : lb - 1) << "n=" << m << " key=" << key;
        }
    }
}
