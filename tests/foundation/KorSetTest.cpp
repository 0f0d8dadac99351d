#include "foundation/KorSet.h"
#include "foundation/KorSubSet.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct Item {
    static int live;
    int key;
    explicit Item(int k) : key(k) { ++live; }
    Item(const Item& o) : key(o.key) { ++live; }
    ~Item() { --live; }
};
int Item::live = 0;

bool lessItem(const Item* a, const Item* b)
{
    return a->key < b->key;
}

bool isSorted(const Kor::Set<Item>& s)
{
    for (int i = 1; i < s.count; ++i)
        if (lessItem(s.items[i], s.items[i - 1]))
            return false;
    return true;
}

} // namespace

TEST(KorSet, FindReportsInsertionPosition)
{
    Kor::Set<Item> s;
    Item k(10);
    int index = 7;
    EXPECT_FALSE(s.find(&k, index, lessItem));
    EXPECT_EQ(index, -1);
    for (int key : {20, 40, 60})
        s.insertAt(new Item(key), s.count - 1);

    Item below(1), above(99), mid(50), equal(40);
    EXPECT_FALSE(s.find(&below, index, lessItem));
    EXPECT_EQ(index, -1);
    EXPECT_FALSE(s.find(&above, index, lessItem));
    EXPECT_EQ(index, s.count - 1);
    EXPECT_FALSE(s.find(&mid, index, lessItem));
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(s.find(&equal, index, lessItem));
    EXPECT_EQ(index, 1);
}

TEST(KorSet, RandomInsertsStaySortedAndFindable)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        Kor::Set<Item> s;
        std::uniform_int_distribution<int> key(0, 5 + round * 10);
        for (int n = 0; n < 200; ++n) {
            Item probe(key(rng));
            int index = -2;
            if (!s.find(&probe, index, lessItem))
                s.insertAt(new Item(probe), index);
            else
                EXPECT_EQ(s.items[index]->key, probe.key);
            ASSERT_TRUE(isSorted(s));
        }
        for (int i = 0; i < s.count; ++i) {
            int index = -2;
            EXPECT_TRUE(s.find(s.items[i], index, lessItem));
            EXPECT_EQ(index, i);
        }
    }
    EXPECT_EQ(Item::live, 0);
}

TEST(KorSet, GrowthAndSetCapacity)
{
    Kor::Set<Item> s;
    s.findOrInsert(Item(1), lessItem);
    EXPECT_EQ(s.capacity, 5);
    for (int k = 2; k <= 6; ++k)
        s.findOrInsert(Item(k), lessItem);
    EXPECT_EQ(s.capacity, 11);
    Item* two = s.items[1];
    EXPECT_EQ(s.findOrInsert(Item(2), lessItem), two);
    EXPECT_EQ(s.count, 6);
    delete s.items[5];
    s.setCapacity(5); // drops the last pointer only
    EXPECT_EQ(s.count, 5);
    EXPECT_EQ(s.items[1], two);
}

TEST(KorSet, SetDestructorDeletesOnlyOwnedItems)
{
    Item::live = 0;
    Item a(1), b(2);
    {
        Kor::Set<Item> view;
        view.ownsItems = 0;
        view.insertAt(&a, -1);
        view.insertAt(&b, 0);
    } // a non-owning set must leave stack items alone
    EXPECT_EQ(Item::live, 2);
    {
        Kor::Set<Item> owner;
        owner.insertAt(new Item(3), -1);
        owner.insertAt(nullptr, 0);
    }
    EXPECT_EQ(Item::live, 2);
}

TEST(KorSet, RemoveAllDeletesByFlags)
{
    Item::live = 0;
    Kor::Set<Item> s;
    s.ownsItems = 0;
    Item* kept = s.insertAt(new Item(1), -1);
    s.removeAll(false, true);
    EXPECT_EQ(Item::live, 1);
    s.insertAt(kept, -1);
    s.removeAll(true, false);
    EXPECT_EQ(Item::live, 0);
    s.ownsItems = 1;
    s.insertAt(new Item(2), -1);
    s.removeAll(false, true);
    EXPECT_EQ(Item::live, 0);
}

TEST(KorSet, RemoveKeyAndCopy)
{
    Item::live = 0;
    Kor::Set<Item> s;
    for (int k : {5, 1, 3})
        s.findOrInsert(Item(k), lessItem);
    Kor::Set<Item> copy(s);
    EXPECT_EQ(Item::live, 6);
    EXPECT_NE(copy.items[0], s.items[0]);
    Item three(3);
    EXPECT_TRUE(s.removeKey(&three, lessItem, true));
    EXPECT_FALSE(s.removeKey(&three, lessItem, true));
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s.items[1]->key, 5);
    copy = s;
    EXPECT_EQ(copy.count, 2);
    EXPECT_EQ(Item::live, 1 + 2 + 2);
}

TEST(KorSet, CompareByAddressOrdersPointers)
{
    Item pool[6] = {Item(0), Item(1), Item(2), Item(3), Item(4), Item(5)};
    Kor::Set<Item> s;
    s.ownsItems = 0;
    s.compareByAddress = true;
    for (int i : {4, 0, 5, 2, 1, 3}) {
        int index = -2;
        EXPECT_FALSE(s.find(&pool[i], index, lessItem));
        s.insertAt(&pool[i], index);
    }
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(s.items[i], &pool[i]);
}

TEST(KorSubSet, OwnsOnlyItsArrays)
{
    int a = 1, b = 2, c = 3;
    Kor::SubSet<int> s;
    for (int* p : {&a, &b, &c})
        s.append(p);
    s.append2(&c);
    s.setCapacity(2);
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s[1], &b);
    Kor::SubSet<int> copy(s);
    s.setCapacity(0);
    EXPECT_EQ(copy.count + copy.count2, 3);
    EXPECT_EQ(*copy.items2[0], 3);
}
