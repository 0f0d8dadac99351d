#include "plugin/BoxTree.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

// The items after a number come in the order the whole query gives them,
// none left out where a node holds items on both sides of the number.
TEST(BoxTree, WithinAfterKeepsTheWholeQuerysOrder)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> at(0.0, 10.0), half(0.0, 0.8);
    std::vector<Box3> boxes;
    for (int i = 0; i < 500; ++i) {
        const Point3 c{at(random), at(random), at(random)};
        const double h = half(random);
        boxes.push_back({{c[0] - h, c[1] - h, c[2] - h}, {c[0] + h, c[1] + h, c[2] + h}});
    }
    const BoxTree tree(boxes);
    for (const int after : {-1, 0, 7, 250, 498, 499})
        for (int q = 0; q < 40; ++q) {
            const Point3 p{at(random), at(random), at(random)};
            std::vector<int> whole, later;
            tree.within(p, 1.5, [&](int item) {
                if (item > after)
                    whole.push_back(item);
            });
            tree.withinAfter(p, 1.5, after, [&](int item) { later.push_back(item); });
            EXPECT_EQ(whole, later) << "after " << after;
        }
}
