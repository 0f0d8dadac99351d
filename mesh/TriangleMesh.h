#pragma once
// Mesh::CMesh<Mesh::CSTLVertex>: the triangle mesh of the local mesh
// algorithms. Triangles and quadrilaterals refer to shared vertices kept in a
// spatial hash and welded by exact coordinates, so two facets that name the
// same point share one vertex object. The mesh adds an edge table (each edge
// with at most two triangles and the cosine of the angle between their
// normals) and a per-vertex curvature estimate from the vertex normals.
// Facets are numbered triangles first: facet i < T is triangle i, facet
// T <= i < T + Q is quadrilateral i - T.
//
// Ownership: the vertex hash owns the vertices (every facet holds pointers to
// them); the mesh owns its triangle and quadrilateral lists and its edges.
// Edges point into the triangle list, so adding a facet empties the edge set
// (buildEdgeTable builds it again).
// Thread-safety: none; lookups and hits use member scratch storage.

#include "foundation/CreationOrder.h"
#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Vertex.h"
#include "mesh/BaseMesh.h"
#include "mesh/SpatialHash.h"

namespace Mesh {

class CTriangularEdge;

// The vertex of the triangle mesh. `direction` (of the hash-vertex part) is
// the vertex normal used by drawing, hits and smoothing; `normal` is the one
// the curvature estimate reads. computeVertexNormals and the smoothing set
// both.
class CSTLVertex : public CBaseHashVertex<3> {
public:
    unsigned char firstFlag = 0; // offset drawing takes facets whose corners all have it
    unsigned char secondFlag = 0;
    int tag = 0;
    CVector<float, 3> colour;
    int index = 0;
    CVector<float, 3> normal;
    int extra = 0;
    CVector<float, 3> work; // the smoothing's work vector (a displacement)
    // The edges at the vertex, only while a smoothing runs (owned by the
    // smoothing; never copied).
    Kor::List<CTriangularEdge*>* edgeList = nullptr;
    // The vertex's identity in the edge order; a copy has its own.
    CreationOrder creation;

    CSTLVertex() = default;
    explicit CSTLVertex(const CVertex<float, 3>& p) : CBaseHashVertex<3>(p) {}
    CSTLVertex(const CSTLVertex& other)
        : CBaseHashVertex<3>(other), firstFlag(other.firstFlag), secondFlag(other.secondFlag),
          tag(other.tag), colour(other.colour), index(other.index), normal(other.normal),
          extra(other.extra), work(other.work)
    {
    }
    CSTLVertex& operator=(const CSTLVertex& other)
    {
        CBaseHashVertex<3>::operator=(other);
        firstFlag = other.firstFlag;
        secondFlag = other.secondFlag;
        tag = other.tag;
        colour = other.colour;
        index = other.index;
        normal = other.normal;
        extra = other.extra;
        work = other.work;
        return *this;
    }
    ~CSTLVertex() override = default;
};

// A triangle: its corners (counter-clockwise about `normal`), its unit facet
// normal (zero for a degenerate triangle), a second vector and a value that
// the mesh algorithms may use (the smoothing keeps the area there).
struct CTriData {
    CSTLVertex* v[3] = {nullptr, nullptr, nullptr};
    CVector<float, 3> normal;
    CVector<float, 3> second;
    float value = 0.0f;
};

// A quadrilateral: its corners and its unit facet normal.
struct CQuadData {
    CSTLVertex* v[4] = {nullptr, nullptr, nullptr, nullptr};
    CVector<float, 3> normal;
};

// One edge of the edge table: its vertices (a the one made first), the
// triangles on it and the dot product of their normals, 10.0 while the edge
// has fewer than two triangles.
class CTriangularEdge {
public:
    static constexpr float openValue = 10.0f;

    CSTLVertex* a = nullptr;
    CSTLVertex* b = nullptr;
    CTriData* first = nullptr;
    CTriData* second = nullptr;
    float value = openValue;

    // Null clears both triangles; otherwise the triangle becomes the first,
    // or the second (value = dot of the two normals). A third triangle is
    // refused with "adding a third triangle !" on the standard output and the
    // edge left unchanged (false).
    bool addTriangle(CTriData* t);

    // Edge order: by a's creation, then by b's.
    static bool less(const CTriangularEdge* x, const CTriangularEdge* y);
};

template <class V> class CMesh;

template <> class CMesh<CSTLVertex> : public CBaseMesh {
public:
    // Draw mode bits read by draw.
    static constexpr int drawBoundaryEdges = 0x10;
    static constexpr int drawCreaseEdges = 0x20;
    static constexpr int drawCurvatureDirections = 0x40;
    // Plain drawing shows every (T / thinningTriangles)-th triangle once that
    // quotient exceeds 1.
    static constexpr int thinningTriangles = 100000;

    float offsetDistance = -1.0f; // above 0 the drawing shows the offset shell
    C3DHash<CSTLVertex, float> vertexHash;
    Kor::List<CTriData> triangles;
    Kor::List<CQuadData> quads;
    Kor::Set<CTriangularEdge> edgeSet; // owning, ascending by (a, b) (CTriangularEdge::less)
    int reservedValue = 0;
    double d0 = 0.0; // printed with the z-move statistics
    // Edges of two triangles whose normal dot product is below this are
    // creases (drawing mode 0x20).
    double creaseThreshold = 0.5;

    CMesh() = default;
    ~CMesh() override;

    using CBaseMesh::getVertex;

    // Base operations.
    // T.
    int getTriangleCount() override;
    // T + Q.
    int getFacetCount() override;
    // 3 for a triangle, 4 for a quadrilateral, 0 outside the facet range.
    int getFacetSize(int i) override;
    // Corner k (taken cyclically) of facet i; false outside the facet range,
    // out unchanged then.
    bool getFacetCorner(int i, int k, Point& out) override;
    // Corner k (taken modulo 3) of triangle i; false when i is no triangle.
    bool getTriangleCorner(int i, int k, Point& out) override;
    // rec[0..2] the normal, rec[3..11] the corners; false when i is no
    // triangle (rec unchanged).
    bool getTriangleRecord(int i, float rec[12]) override;
    // The box of every vertex of the hash (also stored as the mesh's box).
    CBox<float, 3> getBoundingBox() override;
    // The welded corners and the triangle over them; the new facet index, or
    // -1 (nothing added) when two corners weld into one vertex.
    int addTriangle(const Point& a, const Point& b, const Point& c) override;
    // The quadrilateral, or with split the triangles (a, b, c), (a, c, d);
    // the index of the facet added last, -1 when corners weld together. A
    // quadrilateral's index is T + q and moves when triangles are added.
    int addQuad(const Point& a, const Point& b, const Point& c, const Point& d,
                bool split) override;
    // Draws by the mode bits: 0x40 only the curvature directions (short
    // lines along the direction of the smaller curvature); otherwise the
    // facets (thinned above 200000 triangles; facet normals under GL_FLAT,
    // vertex normals under GL_SMOOTH) or, with an offset distance d > 0, the
    // flagged facets moved by +d and by -d along the vertex normals; 0x10
    // adds the boundary edges in (0.4, 0, 0.6), 0x20 the creases in
    // (0.5, 0, 0.8), unlit and without depth test. Clears the modified flag.
    void draw(int mode) override;

    // The base ray hit (through the facet hash when built). When nothing is
    // hit and fallback is set, the vertex nearest to the ray gives one hit
    // record (flag 1): the ray's point on the plane through the vertex
    // perpendicular to its vertex normal (the vertex's foot on the ray when
    // the ray runs along that plane). True when there is a hit.
    virtual bool hitOrNearest(const Point& p, const Direction& d, Kor::Set<CBaseHitInfo>& hits,
                              bool bothSides, bool fallback, bool firstOnly, Kor::List<int>* cells,
                              double tolerance);

    // Own operations.
    // The stored vertex with exactly p's coordinates, or null.
    CSTLVertex* findVertex(const Point& p);
    // The stored vertex at p, created when there is none; never null.
    CSTLVertex* insertVertex(const Point& p);
    // Appends the triangle over stored vertices (normal computed); its facet
    // index, or -1 for a null or repeated corner.
    int appendTriangle(CSTLVertex* a, CSTLVertex* b, CSTLVertex* c);
    // Number of vertices in the hash.
    int getHashVertexCount() const;
    // Rebuilds the edge set from the triangles; false when there are none.
    bool buildEdgeTable();
    // Sets both normals of every vertex to the normalised sum of the
    // area-weighted normals of its triangles and quadrilaterals.
    void computeVertexNormals();
    // Curvature estimate at the stored vertex p from the turn of the
    // vertex normals along its triangle edges: minimum and maximum of
    // acos(n_a . n_b) / |b - a| with the unit edge directions where they
    // occur. False (outputs unchanged) for fewer than 3 vertices, a point
    // that is not a vertex, or a vertex of no triangle.
    bool getVertexCurvature(const Point& p, double& minimum, double& maximum,
                            CVector<float, 3>& minDirection, CVector<float, 3>& maxDirection);
    // The thinning step of plain drawing: T / 100000 when above 1 (printing
    // "Triangular restriction of" ...), else 1.
    int drawStep();

    // ---- Smoothing (MeshSmoothing.cpp) ----
    // The vertex normals (computeVertexNormals) must be set before either
    // smoothing runs. Both build the edge table when it is empty, give every
    // vertex its edge list for the run, and afterwards put the moved
    // vertices back into the cells of their new positions (rehashVertices),
    // so findVertex finds them there.

    // One pass over the vertices in cell order: each vertex moves along its
    // normal by half the mean of (sqrt(q) + c) d over its edges (d the edge
    // length, c the cosine of the edge against the normal, q from the angle
    // between the normals at both ends; edges shorter than 1e-6, printed as
    // "di too small di=", and edges to opposed normals left out), and the
    // normals around it follow at once. Prints "zMove-Statistics = " with
    // the statistic of |z| and " with d0=" when a vertex was seen.
    void zMoveSmooth();
    // Nothing for iterations < 1. Otherwise relaxes the vertex normals by
    // (vertex count) x iterations random picks (globalRandom15): a picked
    // vertex's normal becomes its own plus the normals of its neighbours
    // ranked 20 % .. 80 % by their agreement with it, normalised (a vertex of
    // 100 or more edges keeps its normal: "more than 100 spValues, expect
    // problems. eList="); then ("applying Umbrella operator") every vertex
    // gets umbrellaSmoothVertex's displacement, ("applygin changes") all
    // vertices move together, ("deleting data") the edge lists go, and the
    // triangle normals and areas are recomputed.
    void umbrellaSmooth(int iterations);
    // Puts every vertex into the cell of its current position, in position
    // order, and grows the cells' boxes; the facet hash is released.
    void rehashVertices();

private:
    CSTLVertex probe; // scratch key of findVertex
    void buildVertexEdgeLists();
    void deleteVertexEdgeLists();
    void clearEdges();
};

using CTriangleMesh = CMesh<CSTLVertex>;

} // namespace Mesh
