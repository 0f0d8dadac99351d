#pragma once
// Mesh::CBaseMesh: the abstract polygon mesh. Everything that works on "a
// mesh" (facet geometry, the facet hash and ray hits, boundary frames,
// drawing, the binary STL writer, copying) is written once here against a
// small set of virtual storage operations that the concrete meshes override
// (facet count and size, corner k of facet i, vertex i, ...). A facet is a
// polygon of any number of corners; the concrete mesh takes a corner index
// modulo the facet's size, so corner `size` is corner 0 again.
// Also the edge-table record CPolygonEdge, the hit record CBaseHitInfo, the
// ray frame CRayFrame and the facet triangulator Mesh::CPolyTriangulator.
//
// Ownership: a mesh owns its lock, its facet-centroid array (the items of its
// facet hash, which holds pointers into that array), its facet values, edge
// table and undo items. Operations that return new objects say so.
// Thread-safety: the operations use member scratch storage, so none is
// re-entrant on one mesh. Code that may run beside the projection routines
// on the same mesh brackets its use of the mesh with lock() / unlock().
//
// Where the bodies live: the facet hash and hit operations are defined with
// the facet hash, the boundary frames, angles and slicing with the boundary
// code, writeBinarySTL with the STL formats, the drawing (OpenGL 1.1
// immediate mode into the current context) in BaseMeshDraw.cpp.

#include "foundation/Box.h"
#include "foundation/CreationOrder.h"
#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Statistic.h"
#include "foundation/Vertex.h"
#include "mesh/MeshGeometry.h"
#include "mesh/FacetHashIndex.h"
#include "mesh/SpatialHash.h"
#include "platform/MTLock.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

class CProgress;

namespace Mesh {

class CVertexFacets;

// An undo record of a mesh edit, created by the concrete mesh's edit
// operations and owned by the mesh's undo list.
class CMeshUndoItem {
public:
    virtual ~CMeshUndoItem() = default;
    // Reverts the edit; false when the item cannot undo by itself (the mesh's
    // undo() then recognises the item's kind).
    virtual bool undo() = 0;
};

// The ray of the current hit search and the scratch vectors of the ray
// against triangle test. Built by CBaseMesh::setRay.
struct CRayFrame {
    CVector<float, 3> d;           // unit direction
    CVector<float, 3> u;           // unit axis perpendicular to d
    CVector<float, 3> v;           // d x u, completing the frame
    CVector<float, 3> relative[3]; // scratch: origin relative to the triangle's corners
    CVector<float, 3> normal;      // scratch: facet normal of the current candidate
    CVertex<float, 3> corner[3];   // scratch: corners of the current triangle
    CVertex<float, 3> origin;      // o
    float value = 0.0f;
};

class CBaseMesh {
public:
    // Record of the edge table: vertex0 -> vertex1 is the edge's direction in
    // facet1; facet2 is -1 for a boundary edge.
    struct CPolygonEdge {
        int vertex0 = -1;
        int vertex1 = -1;
        int facet1 = -1;
        int facet2 = -1;
        bool mark = false;   // set by the topology builder
        float length = 0.0f; // distance of the two vertices
    };

    // One hit of a ray or point search: the hit point (the base), the facet,
    // the distance |t| along the unit ray direction, the facet normal there
    // and a flag (0: a ray hit on a facet, 1: the fallback hit).
    class CBaseHitInfo : public CVertex<float, 3> {
    public:
        int facet = -1;
        double distance = 0.0;
        CVector<float, 3> normal;
        int flag = 0;

        CBaseHitInfo() = default;
        CBaseHitInfo(const CBaseHitInfo& other)
            : CVertex<float, 3>(other), facet(other.facet), distance(other.distance),
              normal(other.normal), flag(other.flag)
        {
        }
        CBaseHitInfo& operator=(const CBaseHitInfo& other)
        {
            CVertex<float, 3>::operator=(other);
            facet = other.facet;
            distance = other.distance;
            normal = other.normal;
            flag = other.flag;
            return *this;
        }
        ~CBaseHitInfo() override = default;

        // The facet normal at the hit.
        CVector<float, 3>& getNormal() { return normal; }
        const CVector<float, 3>& getNormal() const { return normal; }
    };

    // One crossing of a slice plane with a boundary edge (defined with the
    // boundary code).
    struct Slice;

    using Point = CVertex<float, 3>;
    using Direction = CVector<float, 3>;

    CMTLock* mtLock; // owned; taken by the projection routines
    Direction scratchVectorA, scratchVectorB;
    Point cornerA, cornerB, cornerC; // scratch: corners of the current triangle
    double valueMin = 0.0;           // range mapped onto the colour ramp
    double valueMax = 0.0;
    Kor::List<float> facetValues;  // optional value per facet
    Kor::List<CPolygonEdge> edges; // edge table, filled by buildTopology
    CRayFrame rayFrame;            // ray of the current hit search
    bool modified = false;         // display must be rebuilt; draw clears it
    int reserved = -1;
    CBox<float, 3> box;                       // kept by computeBoundingBox
    CFacetCentroid* facetCentroids = nullptr; // owned (new[]); items of facetHash
    C3DHash<CFacetCentroid, float> facetHash; // items point into facetCentroids
    Point workPoints[4];                      // scratch
    Direction workVectors[4];                 // scratch
    Kor::List<CMeshUndoItem*> undoItems;      // owned
    CProgress* progress = nullptr;            // optional sink of the facet-hash build
    // Scratch of the hit search: a mark per facet (the facet was taken as a
    // candidate of the search whose number it holds) and that number.
    std::vector<unsigned> facetMarks;
    unsigned markNumber = 0;
    // Flat mirror of the facet hash for the hit searches, rebuilt when the
    // hash or the geometry has changed (see flatFacetHash).
    CFacetHashIndex facetIndex;
    // Counts the changes of vertex positions and of the corners of facets
    // (their order included) made through the mesh's operations, so that
    // what was copied from the facets can tell that it is stale.
    std::uint64_t geometryVersion = 0;
    // The facets around each vertex, for walks from facet to facet: made on
    // first use and again after the facets or the geometry changed
    // (CVertexFacets::of, mesh/VertexFacets.h).
    std::shared_ptr<CVertexFacets> vertexFacets;
    // The mesh's identity where it is keyed (its display entity's key).
    const CreationOrder creation;

    CBaseMesh();
    CBaseMesh(const CBaseMesh&) = delete;
    CBaseMesh& operator=(const CBaseMesh&) = delete;

    // Virtual operations, in slot order. Base behaviours that mean "not
    // supported" answer false, -1 or 0; callers test the result.

    // Deletes the facet-centroid array and empties the facet hash. Edits that
    // change geometry or the facet set call it (the hash refers to facets by
    // index).
    virtual void releaseFacetHash();
    virtual ~CBaseMesh();
    // Draws facet i as one primitive (triangles below 4 corners, a quad, a
    // polygon from 5), with its normal when asked; true.
    virtual bool drawFacet(int i, bool withNormal);
    // Builds the edge table; false in the base.
    virtual bool buildTopology();
    virtual double getBoundaryAngle(int v);
    virtual double getVertexAngle(int a, int b, int c, const Direction* normal);
    virtual void reserved6();
    virtual bool getBoundaryEdgeFrameByVertices(int a, int b, Direction& side, Direction& normal);
    virtual bool getBoundaryVertexFrame(int v, Direction& side, Direction& normal);
    virtual bool getBoundaryEdgeFrame(const CPolygonEdge& e, Direction& side, Direction& normal);
    virtual bool slice(int v, Kor::Set<Slice>& out, const Kor::List<int>* edgeList, float dist,
                       int tag);
    virtual bool pickNearBoundaryEdge(const CPolygonEdge& e, float t, float dist);
    virtual bool pickAlongRay(const Point& p, Direction dir, const Direction& rayDir, float dist);
    // A copy of the stored box.
    virtual CBox<float, 3> getBoundingBox();
    // The stored box reset and grown by every vertex that can be read.
    virtual void computeBoundingBox();
    virtual int getTriangleCount() = 0;
    // getTriangleCorners converted to double; its result.
    virtual bool getTriangleCornersD(int i, CVertex<double, 3>& a, CVertex<double, 3>& b,
                                     CVertex<double, 3>& c);
    // Corners 0, 1, 2 of facet i; true whatever the corner reads return.
    virtual bool getTriangleCorners(int i, Point& a, Point& b, Point& c);
    // The record of triangle p: rec[0..2] the normal slot, rec[3..11] the
    // three corners. False when p is not a triangle.
    virtual bool getTriangleRecord(int p, float rec[12]) = 0;
    // Unit normal of the triangle of vertices a, b, c; false when a vertex
    // cannot be read or the area is at most 1e-8.
    virtual bool getVertexTriangleNormal(int a, int b, int c, Direction& n);
    // Unit normal of corners 0, 1, 2 of facet i; false when they cannot be
    // read or the area is at most 1e-6.
    virtual bool getTriangleNormal(int i, Direction& n);
    virtual int getFacetCount();
    // The sum of the facet sizes in the base.
    virtual int getVertexCount(bool all);
    virtual bool getVertex(int i, Point& out);
    virtual bool findNearestVertex(const Point& p, int& index);
    virtual int reserved25();
    virtual bool setVertex(int i, const Point& p);
    // Mesh index of corner k of facet p; -1 in the base.
    virtual int getPolygonVertexIndex(int p, int k);
    // Sum of the edge lengths of facet i, closing edge included; 0 without
    // corners.
    virtual double getFacetPerimeter(int i);
    virtual int addVertex(const Point& p);
    virtual bool setFacetInfo(int i, int info, double a, double b);
    virtual bool getFacetInfo(int i, int& info, double& a, double& b);
    virtual int addTriangle(const Point& a, const Point& b, const Point& c);
    virtual int addQuad(const Point& a, const Point& b, const Point& c, const Point& d, bool split);
    virtual int addPolygon(const int* idx, int n, int group);
    virtual bool mergeVertices(double tol, int flags);
    // 3 for a valid facet index, else 0.
    virtual int getFacetSize(int i);
    // Corner k of facet i; false for an invalid facet index.
    virtual bool getFacetCorner(int i, int k, Point& out);
    // All corners of facet i, read at once: corner k at xyz[3k .. 3k + 2], n
    // the corner count; -1 when the mesh has no such reading, a corner cannot
    // be read or n exceeds capacity. Prints nothing. The base has no such
    // reading; meshes that store their polygons answer without a call per
    // corner.
    virtual int readFacetCorners(int i, float* xyz, int capacity);
    virtual bool canUndo();
    virtual bool undo();
    // deleteFacets(&i, 1, true); false for an invalid index.
    virtual bool deleteFacet(int i);
    // Sets the modified flag and returns false in the base.
    virtual bool deleteFacets(const int* idx, int n, bool recordUndo);
    // Takes ownership of item; false for null.
    virtual bool addUndoItem(CMeshUndoItem* item);
    // Deletes every undo item; true.
    virtual bool clearUndo();
    virtual bool appendPolygonStarts(const int* starts, int n);
    virtual int getPolygonStart(int i);
    virtual bool flipFacets(const int* idx, int n);
    // Mean of the corners of facet i; false for an invalid index or an
    // unreadable corner.
    virtual bool getFacetCentroid(int i, Point& out);
    // Sum of w[k] times corner k; false for an invalid index, null weights or
    // an unreadable corner.
    virtual bool evalFacetPoint(int i, Point& out, const float* w);
    // Area of facet i (sum of its triangles); n = normalised sum of the unit
    // triangle normals.
    virtual double getFacetAreaAndNormal(int i, Direction& n);
    virtual double getFacetArea(int i);
    // out = the distances between consecutive vertices of the closed loop,
    // closing edge last; false (out empty) for fewer than 2 vertices.
    virtual bool getLoopEdgeLengths(const Kor::List<int>& loop, Kor::List<float>& out);
    virtual bool getVertexNormal(int i, Direction& n);
    // Unit normal of facet i (triangulated sum for polygons and tiny
    // triangles); false only for an invalid index.
    virtual bool getFacetNormal(int i, Direction& n);
    virtual bool flipFacet(int i);
    virtual bool reserved55();
    // Draws every facet of the mesh flat-shaded when the modified flag is
    // set and clears the flag; the mode is not read by the base. However many
    // the facets, none is left out: a thinned drawing shows a sheet full of
    // holes, and what the view shows is what picks and placements go by.
    virtual void draw(int mode);
    // Draws the n listed facets lit and flat-shaded in the diffuse colour
    // (0.6784, 0.8471, 0.902), red with flags bit 0x100: triangles in one
    // block, quads in one block, other polygons one by one; then, with facet
    // values, a point of each facet's value colour at its centroid. Nothing
    // for a null list or n = 0.
    virtual void drawFacets(int flags, const int* idx, int n);
    virtual void drawFacetList(int flags, const Kor::List<int>& list);
    virtual void setRay(const Point& p, const Direction& d);
    virtual bool getFirstHit(const Point& p, const Direction& d, Point& out, double tolerance);
    virtual bool hit(const Point& p, const Direction& d, Kor::Set<CBaseHitInfo>& hits,
                     bool bothSides, bool fallback, bool firstOnly, Kor::List<int>* cells,
                     double tolerance);
    virtual bool hitWithFacetHash(const Point& p, const Direction& d, Kor::Set<CBaseHitInfo>& hits,
                                  bool bothSides, bool fallback, bool firstOnly,
                                  Kor::List<int>* cells, double tolerance);
    virtual bool hitNearest(const Point& p, const Direction& d, Kor::Set<CBaseHitInfo>& hits,
                            int cell, double tolerance);
    virtual bool writeBinarySTL(const char* path, const int* facets, int facetCount);
    virtual bool reserved65();
    virtual bool getTriangleCorner(int i, int k, Point& out) = 0;

    // Non-virtual operations.

    // Enter / leave the mesh's lock; true (also when there is no lock).
    bool lock();
    bool unlock();
    // getVertex into three floats.
    bool getVertex(int i, float out[3]);
    // True when the facet-value list holds exactly one value per facet.
    bool hasFacetValues();
    // The colour of facet i's value over the value range (hueBandColour round
    // the hue circle, saturation 0.7 to 0.5 across a band; white over an
    // empty range). False (rgba unchanged) when i has no value.
    bool getFacetValueColour(int i, float rgba[4]);
    // Smallest triangleQuality of the triangles (k, k+s, k+2s), s = 1, 2, 4,
    // ...; DBL_MAX for a facet of at most 2 corners.
    double facetQuality(int i);
    // The first facet with the directed edge a -> b; false when none.
    bool findFacetWithEdge(int a, int b, int& facet);
    // Edge lengths: the edge table's, or every facet's edges (shared edges
    // counted twice) when there is no table.
    CStatistic getEdgeLengthStatistics();
    // Copies every facet of at most 20 corners of source (corner by corner),
    // then box, vertex merge and topology; true.
    bool copyMesh(CBaseMesh& source);

    // Facet-hash and hit helpers (defined with the facet hash).
    void buildFacetHash(double divisor, double size, void* unused);
    // sideTested: with both sides counting, the side test (rayMayHitFacet)
    // has passed the facet already at this tolerance and is not repeated.
    bool rayFacetHit(int i, CBaseHitInfo& hit, bool bothSides, double tolerance,
                     bool sideTested = false);
    // False only when the ray of the frame cannot hit facet i from either
    // side: its corners, read at once and projected across the ray as the
    // triangle test projects them, all lie beyond every threshold of that
    // test on one side. The frame's corners are then left as the full test
    // would have left them. True when the corners cannot be read at once.
    bool rayMayHitFacet(int i, double tolerance);
    // The same test of a facet's n corners (x, y, z each) as read at once;
    // true for n < 3.
    bool rayMayHitCorners(const float* corners, int n, double tolerance);
    // True when the ray of the frame passes a facet whose corners all lie
    // within `radius` of the point xyz so far that rayMayHitFacet (and so
    // rayFacetHit with both sides counting, at this tolerance) rejects it.
    // Never true with an infinite radius or anything not finite.
    bool rayPassesFacetNear(const float* xyz, float radius, double tolerance) const;
    CBaseHitInfo* addHit(Kor::Set<CBaseHitInfo>& hits, const CBaseHitInfo& h);
    // The flat mirror of the facet hash, brought up to date; null when the
    // hash has no cells or a cell carries user data (searches then go
    // through the hash).
    const CFacetHashIndex* flatFacetHash();

protected:
    // Scratch of the drawing operations.
    Direction& drawNormal();
    Point& drawCorner();
};

// The centroid of n corners (x, y, z each), as getFacetCentroid gives it.
void cornerCentroid(const float* xyz, int n, CVertex<float, 3>& out);
// The quality of a facet of n corners (x, y, z each), as facetQuality
// gives it.
double cornerQuality(const float* xyz, int n);
// The area and normal of a facet of n corners (x, y, z each), as
// getFacetAreaAndNormal gives them.
double cornerAreaAndNormal(const float* xyz, int n, CVector<float, 3>& normal);

// True when the three coordinates at xyz are finite. The readers leave out
// facets with a corner that is not: a NaN or infinite corner has no place in
// the box, the hash or the topology of a mesh.
inline bool isFinitePoint(const float* xyz)
{
    return std::isfinite(xyz[0]) && std::isfinite(xyz[1]) && std::isfinite(xyz[2]);
}

// The readers' one line on the facets they left out for a corner that is
// not finite: "left out <n> facets with non-finite coordinates" on standard
// output; nothing for n = 0.
void reportNonFiniteFacets(long n);

// Triangulates facet i of a mesh by step doubling, without geometry: for n
// corners it gives n - 2 triangles, e.g. (0,1,2), (2,3,0) for a quad.
class CPolyTriangulator {
public:
    CBaseMesh* mesh;
    int facet;
    int produced = 0; // triangles produced so far
    int step = 1;
    int extra = 0;
    int n; // corner count of the facet
    int position = 0;

    CPolyTriangulator(CBaseMesh* m, int i);
    virtual ~CPolyTriangulator() = default;

    // Corner indices (in 0 .. n) of the next triangle; true while the
    // triangles produced, this one included, number at most n - 2.
    bool nextCorners(int& ka, int& kb, int& kc);
    // The facet's corners read at once on the first `next` (readFacetCorners),
    // when they all could be; otherwise next reads corner by corner.
    static constexpr int kReadAtOnce = 16;
    float corners[3 * kReadAtOnce];
    int cornersRead = 0; // 0 not tried, -1 not readable at once, else n
    // The corners of the next triangle read with getFacetCorner (an
    // unreadable corner leaves its output unchanged); result as nextCorners.
    bool next(CVertex<float, 3>& a, CVertex<float, 3>& b, CVertex<float, 3>& c);
};

} // namespace Mesh
