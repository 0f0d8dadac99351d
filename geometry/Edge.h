// Edge records of geometry chains.
//
// `CEdge` pairs a surface with a three-dimensional curve on it: the surface
// is only referred to, the curve is owned. `CEdgeLoop` is an owning list of edges.
//
// Ownership: a CEdge deletes its curve; a CEdgeLoop deletes its edges.
// Thread-safety: none.
#pragma once

#include "foundation/KorList.h"

class CParametricGeometry;

class CEdge {
public:
    CParametricGeometry* surface = nullptr; // not owned
    CParametricGeometry* curve = nullptr;   // owned

    CEdge() = default;
    CEdge(CParametricGeometry* surface, CParametricGeometry* curve) : surface(surface), curve(curve)
    {
    }
    CEdge(const CEdge&) = delete;
    CEdge& operator=(const CEdge&) = delete;
    // Deletes the curve.
    virtual ~CEdge();
};

class CEdgeLoop {
public:
    Kor::List<CEdge*> edges; // owned edges, in chain order

    CEdgeLoop() = default;
    CEdgeLoop(const CEdgeLoop&) = delete;
    CEdgeLoop& operator=(const CEdgeLoop&) = delete;
    // Deletes every edge and empties the list.
    virtual ~CEdgeLoop();
};
