#include "foundation/KorList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Class element with heap-held state, like the dense vector: a shallow copy
// anywhere would show up as a double free under the sanitizers.
struct Heavy {
    std::vector<double> v;
    bool operator==(const Heavy& o) const { return v == o.v; }
};

Heavy heavy(double x)
{
    return Heavy{{x, x + 1.0}};
}

struct Element {
    static int live;
    int key;
    explicit Element(int k) : key(k) { ++live; }
    virtual ~Element() { --live; }
    virtual bool operator==(const Element& o) const { return key == o.key; }
};
int Element::live = 0;

std::vector<int> values(const Kor::List<int>& l)
{
    return std::vector<int>(l.begin(), l.end());
}

} // namespace

TEST(KorList, AppendGrowsFiveElevenTwentyThree)
{
    Kor::List<int> l;
    std::vector<int> capacities;
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(l.append(i), i);
        capacities.push_back(l.capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int>{5, 5, 5, 5, 5, 11, 11, 11, 11, 11, 11, 23}));
    EXPECT_EQ(l.append(-1, true), 0);
    EXPECT_EQ(l[0], -1);
    EXPECT_EQ(l.count, 13);
}

TEST(KorList, InsertAfterClampsIndexAndGrowsByOne)
{
    Kor::List<int> l;
    for (int i = 0; i < 3; ++i)
        l.append(i);
    l.setCapacity(3, true);
    l.insertAfter(100, 100);
    EXPECT_EQ(l.capacity, 4);
    l.insertAfter(-7, -7);
    l.insertAfter(50, 1);
    EXPECT_EQ(values(l), (std::vector<int>{-7, 0, 50, 1, 2, 100}));
}

TEST(KorList, SetCapacityGrowsOnlyUnlessForced)
{
    Kor::List<int> l;
    for (int i = 0; i < 4; ++i)
        l.append(i);
    int* before = l.data;
    l.setCapacity(2, false);
    EXPECT_EQ(l.capacity, 5);
    EXPECT_EQ(l.count, 4);
    EXPECT_EQ(l.data, before);
    l.setCapacity(2, true);
    EXPECT_EQ(l.capacity, 2);
    EXPECT_EQ(values(l), (std::vector<int>{0, 1}));
    l.setCapacity(-3, true);
    EXPECT_EQ(l.capacity, 0);
    EXPECT_EQ(l.count, 0);
}

TEST(KorList, RemovalsShiftElements)
{
    Kor::List<int> l;
    EXPECT_FALSE(l.removeFirst());
    for (int i = 0; i < 5; ++i)
        appendToList(&l, i);
    appendToList<int>(nullptr, 5);
    EXPECT_TRUE(l.removeFirst());
    EXPECT_TRUE(l.removeAt(2));
    EXPECT_EQ(values(l), (std::vector<int>{1, 2, 4}));
    EXPECT_TRUE(l.contains(4));
    EXPECT_FALSE(l.contains(3));
    l.removeAll();
    EXPECT_EQ(l.data, nullptr);
    EXPECT_EQ(l.count + l.capacity, 0);
}

TEST(KorList, ClassElementsAreDeepCopies)
{
    Kor::List<Heavy> a;
    for (int i = 0; i < 7; ++i)
        a.append(heavy(i));
    // Appending an element of the list itself while it grows.
    for (int i = 0; i < 10; ++i)
        a.append(a[0]);
    a.insertAfter(a[a.count - 1], -1);
    EXPECT_EQ(a[0], heavy(0));
    EXPECT_EQ(a[a.count - 1], heavy(0));

    Kor::List<Heavy> b(a);
    Kor::List<Heavy> c;
    c = b;
    c = c;
    b[1].v.clear();
    EXPECT_EQ(c.count, a.count);
    EXPECT_EQ(c[1], heavy(0));
    EXPECT_EQ(c[2], heavy(1));
    EXPECT_NE(b[1], c[1]);

    Kor::List<Heavy> d(std::move(c));
    EXPECT_EQ(c.count, 0);
    EXPECT_EQ(d.count, a.count);
}

TEST(KorList, AttachTakesOwnership)
{
    Kor::List<std::string> l;
    l.append("old");
    l.attach(new std::string[2]{"x", "y"}, 2);
    EXPECT_EQ(l.capacity, 2);
    EXPECT_EQ(l[1], "y");
    l.append("z");
    EXPECT_EQ(l.capacity, 5);
}

TEST(KorList, PointerListsDeleteOnlyOnRequest)
{
    Kor::List<Element*> l;
    for (int k = 0; k < 4; ++k)
        l.append(new Element(k));
    l.append(nullptr);
    Element key(2);
    int index = -1;
    EXPECT_TRUE(l.findEqual(&key, index));
    EXPECT_EQ(index, 2);
    Element absent(9);
    EXPECT_FALSE(l.findEqual(&absent, index));
    EXPECT_EQ(index, l.count);

    l.deleteAt(l.count); // outside: ignored
    l.deleteAt(-1);
    EXPECT_EQ(l.count, 5);
    l.deleteAt(1);
    EXPECT_EQ(l.count, 4);
    EXPECT_EQ(l[1]->key, 2);
    EXPECT_EQ(Element::live, 2 + 3);

    l.deleteAll();
    EXPECT_EQ(Element::live, 2);
    EXPECT_EQ(l.count, 0);
}

TEST(KorList, SimpleListBorrowsStorage)
{
    int storage[8] = {};
    {
        Kor::SimpleList<int> s;
        Kor::List<int>& asList = s;
        EXPECT_EQ(asList.attach(storage, 0), 0);
        asList.append(1);
        asList.append(3);
        asList.insertAfter(2, 0);
        asList.setCapacity(100, true);
        EXPECT_EQ(s.data, storage);
        EXPECT_EQ(s.count, 3);
        Kor::SimpleList<int> view(s);
        EXPECT_EQ(view.data, storage);
        asList.removeAll();
        EXPECT_EQ(s.count, 0);
        EXPECT_EQ(s.data, storage);
    }
    EXPECT_EQ(storage[0], 1);
    EXPECT_EQ(storage[1], 2);
    EXPECT_EQ(storage[2], 3);
}
