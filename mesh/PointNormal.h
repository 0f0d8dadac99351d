// CPointNormal: a point with a normal and an index, each vector in storage of
// its own; the flat mesh's drawing keeps one per facet (centroid and unit
// normal).
// Thread-safety: a plain value.
#pragma once

#include "foundation/Vertex.h"

class CPointNormal {
public:
    CVertex<float, 3> point;
    CVector<float, 3> normal;
    int index = -1;

    CPointNormal() = default;
    virtual ~CPointNormal() = default;
};
