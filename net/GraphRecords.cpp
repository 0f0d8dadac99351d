#include "net/GraphRecords.h"

#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"

namespace GraphAlgorithm {

bool Vertex::isLess(const Vertex& other) const
{
    return creation < other.creation;
}

void Vertex::getPoint(CVertex<float, 3>&) const {}

std::intptr_t Vertex::getId() const
{
    return static_cast<std::intptr_t>(creation.value());
}

} // namespace GraphAlgorithm

bool _CVertex::isLess(const GraphAlgorithm::Vertex& other) const
{
    const auto* o = dynamic_cast<const _CVertex*>(&other);
    if (o == nullptr || point == nullptr || o->point == nullptr)
        return Vertex::isLess(other);
    return isLessVertex(*point, *o->point);
}

void _CVertex::getPoint(CVertex<float, 3>& out) const
{
    if (point != nullptr)
        out = *point;
}

std::intptr_t _CVertex::getId() const
{
    if (const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(point))
        return g->serial;
    return reinterpret_cast<std::intptr_t>(point);
}
