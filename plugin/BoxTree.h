// A static tree of axis-aligned boxes in space (a bounding-volume
// hierarchy), each box standing for an item of the caller's (a segment of
// a poly-line, the column over a point of a surface): the items whose box
// holds a point, those within a distance of it or of a segment, and the
// nearest by the caller's own measure. A query walks only the nodes whose box can hold an
// answer, so its cost follows the items near the point, not how far the
// nearest one lies nor how many there are.
//
// Built once from the boxes (their order is the items' numbers); the tree
// depends on the boxes and their order alone, and visits items in an order
// fixed by them. Ownership: plain values. Thread-safety: const queries may
// run at once; nothing locks.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

using Point3 = std::array<double, 3>;

struct Box3 {
    Point3 lo{0.0, 0.0, 0.0}, hi{0.0, 0.0, 0.0};
};

class BoxTree {
public:
    BoxTree() = default;
    // The tree keeps the boxes: a caller done with its vector moves it in
    // rather than have it copied.
    explicit BoxTree(std::vector<Box3> boxes) { build(std::move(boxes)); }
    // Replaces the tree by one of these boxes, item i the box at i.
    void build(std::vector<Box3> boxes);
    bool empty() const { return m_nodes.empty(); }

    // Calls f(item) for each item whose box holds p.
    template <class F> void containing(const Point3& p, F&& f) const
    {
        within(p, 0.0, f);
    }

    // Calls f(item) for each item whose box lies within `radius` of p.
    template <class F> void within(const Point3& p, double radius, F&& f) const
    {
        withinAfter(p, radius, -1, f);
    }

    // As within, for the items numbered above `after` only, in the same
    // order: a node whose items are all numbered `after` or below is passed
    // over (a caller pairing each item with those after it).
    template <class F> void withinAfter(const Point3& p, double radius, int after, F&& f) const
    {
        if (m_nodes.empty())
            return;
        const double r2 = radius * radius;
        // The tree is balanced: a walk holds no more nodes than its depth
        // and one.
        std::array<int, kMostDepth> stack;
        std::size_t size = 0;
        stack[size++] = 0;
        while (size > 0) {
            const int n = stack[--size];
            const Node& node = m_nodes[std::size_t(n)];
            if (node.largest <= after || squaredDistance(node.box, p) > r2)
                continue;
            if (node.right < 0) {
                for (int k = node.first; k < node.first + node.count; ++k) {
                    const int item = m_items[std::size_t(k)];
                    if (item > after && squaredDistance(m_boxes[std::size_t(item)], p) <= r2)
                        f(item);
                }
                continue;
            }
            stack[size++] = node.right;
            stack[size++] = n + 1;
        }
    }

    // Calls f(item) for each item whose box, grown by radius[k] along each
    // axis k, the segment from a to b passes through, until f answers true;
    // whether it did.
    template <class F>
    bool alongSegment(const Point3& a, const Point3& b, const Point3& radius, F&& f) const
    {
        if (m_nodes.empty())
            return false;
        std::array<int, kMostDepth> stack;
        std::size_t size = 0;
        stack[size++] = 0;
        while (size > 0) {
            const int n = stack[--size];
            const Node& node = m_nodes[std::size_t(n)];
            if (!crosses(node.box, a, b, radius))
                continue;
            if (node.right < 0) {
                for (int k = node.first; k < node.first + node.count; ++k)
                    if (crosses(m_boxes[std::size_t(m_items[std::size_t(k)])], a, b, radius) &&
                        f(m_items[std::size_t(k)]))
                        return true;
                continue;
            }
            stack[size++] = node.right;
            stack[size++] = n + 1;
        }
        return false;
    }

    // The item nearest p by distanceTo(item, p) (which is never less than
    // the distance from p to the item's box) among those within `within`,
    // and that distance; {within, -1} when none lies nearer. The nearer
    // child is walked first, and a node farther than the best found is
    // passed over.
    template <class D>
    std::pair<double, int> nearest(const Point3& p, double within, D&& distanceTo) const
    {
        std::pair<double, int> best{within, -1};
        if (m_nodes.empty())
            return best;
        std::array<std::pair<double, int>, kMostDepth> stack;
        std::size_t size = 0;
        stack[size++] = {0.0, 0};
        while (size > 0) {
            const auto [near2, n] = stack[--size];
            if (near2 >= best.first * best.first)
                continue;
            const Node& node = m_nodes[std::size_t(n)];
            if (node.right < 0) {
                for (int k = node.first; k < node.first + node.count; ++k) {
                    const int item = m_items[std::size_t(k)];
                    const double d = distanceTo(item, p);
                    if (d < best.first)
                        best = {d, item};
                }
                continue;
            }
            const int left = n + 1;
            const double l2 = squaredDistance(m_nodes[std::size_t(left)].box, p);
            const double r2 = squaredDistance(m_nodes[std::size_t(node.right)].box, p);
            // The nearer child goes on the stack last: it is walked first.
            if (l2 <= r2) {
                stack[size++] = {r2, node.right};
                stack[size++] = {l2, left};
            } else {
                stack[size++] = {l2, left};
                stack[size++] = {r2, node.right};
            }
        }
        return best;
    }

    // Whether the segment from a to b passes through the box grown by
    // radius[k] along each axis k (the slabs' intervals along it overlap).
    static bool crosses(const Box3& box, const Point3& a, const Point3& b, const Point3& radius)
    {
        double t0 = 0.0, t1 = 1.0;
        for (std::size_t k = 0; k < 3; ++k) {
            const double lo = box.lo[k] - radius[k], hi = box.hi[k] + radius[k], d = b[k] - a[k];
            if (d == 0.0) {
                if (a[k] < lo || a[k] > hi)
                    return false;
                continue;
            }
            double s0 = (lo - a[k]) / d, s1 = (hi - a[k]) / d;
            if (s0 > s1)
                std::swap(s0, s1);
            t0 = s0 > t0 ? s0 : t0;
            t1 = s1 < t1 ? s1 : t1;
            if (t0 > t1)
                return false;
        }
        return true;
    }

    static double squaredDistance(const Box3& box, const Point3& p)
    {
        double d2 = 0.0;
        for (std::size_t k = 0; k < 3; ++k) {
            const double below = box.lo[k] - p[k], above = p[k] - box.hi[k];
            const double out = below > 0.0 ? below : above > 0.0 ? above : 0.0;
            d2 += out * out;
        }
        return d2;
    }

private:
    // Leaves hold up to kLeafItems items; the tree's depth stays below
    // kMostDepth for any count an int holds.
    static constexpr int kLeafItems = 8;
    static constexpr std::size_t kMostDepth = 96;
    // A node's left child follows it (the tree is built depth first); a
    // leaf has no right child.
    struct Node {
        Box3 box;
        int first = 0, count = 0; // the items of a leaf, in m_items
        int right = -1;
        int largest = -1; // the largest item number under the node
    };
    int buildNode(int first, int count, const std::vector<Point3>& middles);

    static int nodesOver(int count);
    std::vector<Box3> m_boxes;
    std::vector<int> m_items;
    std::vector<Node> m_nodes;
};
