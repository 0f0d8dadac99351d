#pragma once
// CVertexList: a closed polygon of owned CVertex<double,3> points in the x-y
// (parameter) plane: winding angle, orientation, point-in-polygon, segment
// crossings, self-intersection, splicing of polygons and ear-clipping
// triangulation. The third coordinate is carried along but ignored.
// Edge i runs from vertex i to vertex (i + 1) mod n.
//
// Also here: the records of the triangulation (CTGVertex, CTGEdge,
// CTGTriangle), the crossing record CIntersectionVertex, and small comparison
// and sort helpers.
//
// Ownership: a CVertexList owns its vertices and deletes them when destroyed;
// insertFrom moves vertex pointers between lists. Not thread-safe.

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Sort.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"

#include <iosfwd>

class CVertexList;

// A crossing of a segment with a polygon edge (or, for callers that build
// grids of them, a grid node with m_i and m_j set, param -1 and vIndex -1).
// A copy owns its own point (CVertex copies its values).
struct CIntersectionVertex {
    double t = 0.0;     // parameter on the segment (0 at its start, 1 at its end)
    double param = 0.0; // parameter on the polygon edge
    int vIndex = -1;    // the edge index
    int m_i = -1;
    int m_j = -1;
    CVertexList* polygon = nullptr;       // not owned
    CVertex<double, 3> point;             // the crossing point
    CIntersectionVertex* pNext = nullptr; // free link for callers, not owned

    // A crossing inside its edge (param above 0): the point at param on the
    // edge from vertex vIndex to vIndex + 1 of the polygon (indices taken
    // cyclically), so that every user of the crossing gets the same point;
    // otherwise (grid nodes, crossings at an edge's start, no polygon) a
    // copy of the stored point.
    CVertex<double, 3> getPoint() const;
};

// Orders crossings by their parameter on the segment.
bool lessByParameter(const CIntersectionVertex* a, const CIntersectionVertex* b);
// Orders crossings along their polygon: by edge index, then by the
// parameter on the edge.
bool lessAlongPolygon(const CIntersectionVertex* a, const CIntersectionVertex* b);
// A crossing (m_i + m_j = -2) as "vIndex=" vIndex " param =" param, a grid
// node as "m_i=" m_i " m_j=" m_j; no line end.
std::ostream& operator<<(std::ostream& os, const CIntersectionVertex& x);
// Every record of the set followed by a line end.
std::ostream& operator<<(std::ostream& os, const Kor::Set<CIntersectionVertex>& set);
bool lessDouble(const double* a, const double* b);

// Vertex of the doubly linked ring of the ear-clipping triangulation.
struct CTGVertex {
    int index = -1; // position in the polygon
    CTGVertex* pPrev = nullptr;
    CTGVertex* pNext = nullptr;
    double key = 0.0; // sort key of the ear scan
    CVertexList* polygon = nullptr;
};

// Polygon edge (i, (i + 1) mod n), ordered by (i, j).
struct CTGEdge {
    int i = 0;
    int j = 0;
    CVertexList* polygon = nullptr;
};
bool lessEdge(const CTGEdge* a, const CTGEdge* b);

// One triangle of a triangulation: three polygon vertex indices in the order
// (previous, ear, next) and the polygon they index.
struct CTGTriangle {
    int i = 0;
    int j = 0;
    int k = 0;
    CVertexList* polygon = nullptr;
};

class CVertexList {
public:
    Kor::List<CVertex<double, 3>*> vertices; // owned

    CVertexList() = default;
    virtual ~CVertexList();
    CVertexList(const CVertexList&) = delete;
    CVertexList& operator=(const CVertexList&) = delete;

    int getCount() const { return vertices.count; }
    // The vertex at i modulo the count (negative i wrapped); null when empty.
    CVertex<double, 3>* getVertex(int i) const;
    // Appends a new owned vertex (p's first three entries; missing ones 0).
    void appendPoint(const Vector& p);
    // Appends v; the list takes ownership.
    void appendVertex(CVertex<double, 3>* v) { vertices.append(v); }

    // Sum of the signed angles at p over all edges: about +2 pi inside a
    // counter-clockwise polygon, -2 pi inside a clockwise one, 0 outside; 0.0
    // for an empty polygon.
    double windingAngle(const CVertex<double, 3>& p) const;
    // pointInPolygon over the vertices (with useSecondAxis set, points on the
    // boundary are inside).
    bool isInside(const CVertex<double, 3>& p, bool useSecondAxis) const;
    // -1 counter-clockwise, 1 clockwise (also when no corner decides), 0 for
    // fewer than 3 vertices. Corners without area (straight runs, spikes)
    // are passed over.
    int orientation() const;
    // Centroid of the vertices i, j, k (indices taken modulo the count).
    CVertex<double, 3> cornerCentroid(int i, int j, int k) const;

    // Parameters on a-b of its crossings with every edge, inserted into the
    // sorted set once each (params owns its items). True when the set then
    // holds more than one parameter.
    bool segmentCrossParams(const CVertex<double, 3>& a, const CVertex<double, 3>& b,
                            Kor::Set<double>& params) const;
    // One record per crossing of a-b with an edge, sorted by the parameter on
    // a-b; a parameter within 1e-8 of the previous crossing's is moved 2e-8
    // away from it so that touching crossings stay apart. hits owns the new
    // records. True when hits then holds more than one record.
    bool segmentCrossVertices(const CVertex<double, 3>& a, const CVertex<double, 3>& b,
                              Kor::Set<CIntersectionVertex>& hits);
    // True when two non-adjacent edges cross or touch.
    bool selfIntersects() const;

    // Moves every vertex pointer of source into this list after `position`,
    // taken cyclically from source's startIndex; source ends empty and no
    // vertex is deleted.
    void insertFrom(CVertexList& source, int position, int startIndex);
    // Deletes every vertex and empties the list.
    void deleteVertices();

    // Ear-clipping triangulation. Appends one CTGTriangle per ear to
    // `triangles`. Without `point` the ears are tried in order of decreasing
    // corner area among the convex corners (either orientation of the
    // polygon is accepted); with a point (which is only a switch) in order of
    // increasing x of the ear vertex. A simple polygon of n vertices gives
    // n - 2 triangles and true. False for fewer than 3 vertices (nothing
    // added) and when no ear can be found while more than 3 vertices remain:
    // "emergency break, PV not removed." is written to standard output and
    // the triangles found so far stay in the list.
    bool triangulate(Kor::List<CTGTriangle>& triangles, const CVertex<double, 3>* point = nullptr);
};

// A new vertex s v.
CVertex<double, 3> scaledVertex(double s, const CVertex<double, 3>& v);

// Comparison callbacks for the sort helpers.
bool lessByFirstDouble(const double* a, const double* b);
bool lessByThirdDouble(const double* a, const double* b);
bool lessInt(const int* a, const int* b);
bool lessByKey(const CTGVertex* const* a, const CTGVertex* const* b);

// Orders index[first..last] so that items[index[k]] ascend under less.
template <class T, class Less>
void indexQuickSort(const T* items, int* index, int first, int last, Less less)
{
    if (first < last)
        quickSortIndices(items, index, first, last, less);
}

// Sorts n pointers to double arrays by their first entry.
void sortPointersByFirstDouble(double** items, int n);

// Binary search of *key in items[0..n) sorted by less(const T*, const T*):
// true with index at an equal item, false with index at the last item less
// than the key (-1 when none), so that inserting after index keeps the order.
template <class T, class Less>
bool binarySearchByKey(const T* key, const T* items, int n, int& index, Less less)
{
    return binarySearchPosition(
        n, index, [&](int i) { return less(&items[i], key); },
        [&](int i) { return less(key, &items[i]); });
}
