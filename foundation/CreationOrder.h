#pragma once
// CreationOrder: a number drawn from one process-wide counter when a record
// is made. Records that are ordered, or keyed, by their identity (graph
// nodes and half-edges, poly-lines, mesh vertices, display entities) order
// by this number instead of by their addresses: addresses follow the heap's
// layout, which changes from run to run, so an order by address changes
// the results of the same input from run to run. The number is unique among
// all records that carry one and grows with the order of construction.
//
// A copy is a record of its own and draws the next number; assignment
// leaves the number of the assigned-to record as it is. So the number stays
// an identity: two live records never share one.
// Thread-safety: the counter is atomic; records made on several threads get
// distinct numbers, in the order the threads draw them.

#include <atomic>
#include <cstdint>

class CreationOrder {
public:
    CreationOrder() : number(draw()) {}
    CreationOrder(const CreationOrder&) : number(draw()) {}
    CreationOrder& operator=(const CreationOrder&) { return *this; }

    std::int64_t value() const { return number; }
    bool operator<(const CreationOrder& other) const { return number < other.number; }

private:
    static std::int64_t draw()
    {
        static std::atomic<std::int64_t> counter{0};
        return counter.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    std::int64_t number;
};

// Orders records that carry a CreationOrder named `creation` by it; null
// pointers come first.
template <class T> bool lessByCreation(const T* a, const T* b)
{
    if (a == nullptr || b == nullptr)
        return a == nullptr && b != nullptr;
    return a->creation < b->creation;
}
