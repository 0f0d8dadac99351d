// A face loop's own copy of the cycle it came from: the copies outlive the
// graph of the topology step, so they keep nothing that points into it.

#include "net/FaceRecords.h"

namespace GB {

void Loop::setCycle(const GraphAlgorithm::Cycle& c)
{
    clearCycle();
    for (int i = 0; i < c.count; ++i) {
        if (c.items[i] == nullptr)
            continue;
        GraphAlgorithm::CHalfEdge* copy = c.items[i]->clone();
        // Twin and the further pointer lead into the graph, which is gone
        // after the step; the copy's own target node is the loop's.
        copy->twin = nullptr;
        copy->extra = nullptr;
        cycle.append(copy);
    }
    const int m = cycle.count;
    for (int i = 0; i < m; ++i) {
        cycle.items[i]->next = cycle.items[(i + 1) % m];
        cycle.items[i]->previous = cycle.items[(i + m - 1) % m];
    }
}

int Loop::getCycleLength() const
{
    return cycle.count;
}

} // namespace GB
