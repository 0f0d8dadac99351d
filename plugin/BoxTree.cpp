#include "plugin/BoxTree.h"

#include <algorithm>

void BoxTree::build(std::vector<Box3> boxes)
{
    m_boxes = std::move(boxes);
    const std::size_t count = m_boxes.size();
    m_items.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        m_items[i] = int(i);
    m_nodes.clear();
    if (count > 0) {
        // The boxes' middles, the splits' keys, worked out once.
        std::vector<Point3> middles(count);
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t c = 0; c < 3; ++c)
                middles[i][c] = 0.5 * (m_boxes[i].lo[c] + m_boxes[i].hi[c]);
        m_nodes.reserve(std::size_t(nodesOver(int(count))));
        buildNode(0, int(count), middles);
    }
}

// How many nodes the tree over `count` items has: a leaf, or a node over
// two halves.
int BoxTree::nodesOver(int count)
{
    return count <= kLeafItems ? 1 : 1 + nodesOver(count / 2) + nodesOver(count - count / 2);
}

// The node over items first .. first + count of m_items: a leaf of a few,
// else split at the median of the boxes' middles along the widest spread of
// them (ties by item number, so the tree follows the boxes alone).
int BoxTree::buildNode(int first, int count, const std::vector<Point3>& middles)
{
    const int at = int(m_nodes.size());
    m_nodes.emplace_back();
    Box3 box = m_boxes[std::size_t(m_items[std::size_t(first)])];
    Point3 lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    int largest = -1;
    for (int k = first; k < first + count; ++k) {
        const std::size_t item = std::size_t(m_items[std::size_t(k)]);
        largest = std::max(largest, int(item));
        const Box3& b = m_boxes[item];
        for (std::size_t c = 0; c < 3; ++c) {
            box.lo[c] = std::min(box.lo[c], b.lo[c]);
            box.hi[c] = std::max(box.hi[c], b.hi[c]);
            lo[c] = std::min(lo[c], middles[item][c]);
            hi[c] = std::max(hi[c], middles[item][c]);
        }
    }
    m_nodes[std::size_t(at)].box = box;
    m_nodes[std::size_t(at)].largest = largest;
    if (count <= kLeafItems) {
        m_nodes[std::size_t(at)].first = first;
        m_nodes[std::size_t(at)].count = count;
        return at;
    }
    std::size_t axis = 0;
    for (std::size_t c = 1; c < 3; ++c)
        if (hi[c] - lo[c] > hi[axis] - lo[axis])
            axis = c;
    const auto middleOf = [&](int item) { return middles[std::size_t(item)][axis]; };
    const int half = count / 2;
    std::nth_element(m_items.begin() + first, m_items.begin() + first + half,
                     m_items.begin() + first + count, [&](int a, int b) {
                         const double ma = middleOf(a), mb = middleOf(b);
                         return ma != mb ? ma < mb : a < b;
                     });
    buildNode(first, half, middles); // at + 1
    const int right = buildNode(first + half, count - half, middles);
    m_nodes[std::size_t(at)].right = right;
    return at;
}
