#pragma once
// CFlatMesh: the polygon mesh every loaded mesh is stored in. Polygons may have
// any number of corners. Storage follows the POL file layout: one flat block
// list of float coordinates (vertex i at 3i, 3i + 1, 3i + 2), one flat stream
// of polygon records (loop count L, then per loop its corner count n and n
// vertex indices; this class always writes L = 1 and reads the first loop
// only) and a table of where each polygon's record starts in the stream.
// Deleting polygons removes their starts; their records stay in the stream,
// which never shrinks, so an undo can bring them back.
//
// Ownership: the mesh owns its block lists, the facet info and group ids, the
// derived data and (through the base) its undo items. Points handed in are
// copied; points handed out are copied into the caller's vertex or vector.
// Thread-safety: none; see Mesh::CBaseMesh for the lock of the projection
// routines.
//
// Where the bodies live: storage, adding, editing, deletion with undo and
// flipping in FlatMesh.cpp; topology, welding, merging and derived data in
// FlatMeshTopology.cpp; the POL readers with the POL format code.

#include "foundation/KorList.h"
#include "foundation/Vertex.h"
#include "mesh/BaseMesh.h"
#include "mesh/BlockList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>

// Optional per-facet record; nothing in the mesh code interprets the values.
struct CFacetInfo {
    double first = -1.0;
    double second = -1.0;
    int tag = -1;
};

// The 512-byte header record of a POL image, kept by every CFlatMesh. The six
// 32-bit count words sit at byte offsets 196 .. 216 in native (little-endian)
// order: vertex count (196), vertex block bytes (200), polygon count (204),
// polygon block bytes (208), third block count (212) and bytes (216).
struct CPOLHeader {
    static constexpr int size = 512;
    static constexpr int vertexCountOffset = 196;
    static constexpr int vertexBytesOffset = 200;
    static constexpr int polygonCountOffset = 204;
    static constexpr int polygonBytesOffset = 208;
    static constexpr int thirdCountOffset = 212;
    static constexpr int thirdBytesOffset = 216;

    unsigned char bytes[size] = {};

    std::uint32_t word(int offset) const
    {
        std::uint32_t w;
        std::memcpy(&w, bytes + offset, sizeof w);
        return w;
    }
    void setWord(int offset, std::uint32_t w) { std::memcpy(bytes + offset, &w, sizeof w); }
    // Writes text and its terminating NUL at offset (cut to fit the record).
    void setText(int offset, const char* text)
    {
        const std::size_t room = std::size_t(size - offset - 1);
        const std::size_t n = std::min(std::strlen(text), room);
        std::memcpy(bytes + offset, text, n);
        bytes[offset + n] = 0;
    }

    // Sets the six count words from the mesh and returns the image size
    // (defined with the POL format code).
    std::uint32_t polImageSize(Mesh::CBaseMesh& mesh);
};

class CFlatMesh : public Mesh::CBaseMesh {
public:
    // Record of the derived data of the mesh, built by computeDerivedData and
    // freed by clearDerivedData (topology code). vertexCount 0 means there are
    // no derived data. The record types are defined with the topology code.
    class MeshVertex;
    struct CPolygonLeg;
    struct CFacetRecord;
    struct CDerivedData {
        MeshVertex* vertices = nullptr; // one per vertex
        CFacetRecord* facets = nullptr; // one per polygon
        float* vertexVectors = nullptr; // 9 floats per vertex: normals, targets, displacements
        float* facetNormals = nullptr;  // 3 floats per polygon
        CPolygonLeg* legs = nullptr;    // viewed by the vertices' leg lists
        int vertexCount = 0;
        int facetCount = 0;
    };

    // Block sizes of the three storage lists.
    static constexpr int vertexBlockSize = 24000; // 8000 vertices, a multiple of 3
    static constexpr int streamBlockSize = 8192;
    static constexpr int startsBlockSize = 24000;
    static constexpr const char* polTitle = "PolyWorks File Ver 1.0";
    static constexpr const char* polCreator = "Fenwo GmbH Vorlach";

    Kor::List<CFacetInfo> facetInfo; // indexed by facet; grown on demand
    Kor::List<int> groupIds;         // one per polygon added with a group id >= 0
    CDerivedData derived;
    CPOLHeader header;             // its vertex and polygon counts are the mesh's
    CBlockList<float> coordinates; // x, y, z of vertex i at 3i .. 3i + 2
    CBlockList<int> polygonStream; // polygon records, never shrinks
    CBlockList<int> polygonStarts; // stream position of polygon i

    // An empty mesh with the header texts set and the modified flag set.
    CFlatMesh();
    CFlatMesh(const CFlatMesh&) = delete;
    CFlatMesh& operator=(const CFlatMesh&) = delete;
    ~CFlatMesh() override;

    using Mesh::CBaseMesh::getVertex;

    // Counts.
    // The header's polygon count: the number of polygons ever added (deletion
    // and undo leave it unchanged).
    int getTriangleCount() override;
    // The number of live polygons.
    int getFacetCount() override;
    // The header's vertex count; the flag is not used.
    int getVertexCount(bool all) override;

    // Vertices.
    // Appends a copy of v; returns its index.
    int addVertex(const Point& v) override;
    // False for an index outside the stored vertices; out unchanged then.
    bool getVertex(int i, Point& out) override;
    bool setVertex(int i, const Point& v) override;

    // Polygons.
    // Appends the polygon of n vertex indices (not checked here); a group id
    // above -1 is recorded in groupIds. Returns the polygon's index, or -1
    // (nothing added) for a null list or n < 0.
    int addPolygon(const int* indices, int n, int groupId) override;
    // Three new vertices and the triangle over them; the polygon index.
    int addTriangle(const Point& a, const Point& b, const Point& c) override;
    // Four new vertices and one quad, or the triangles (0,1,2), (0,2,3) when
    // split; the index of the last polygon added.
    int addQuad(const Point& a, const Point& b, const Point& c, const Point& d,
                bool split) override;
    // Corner count of polygon p's first loop; 0 for an invalid index or a
    // record that does not lie in the stream.
    int getFacetSize(int p) override;
    // The same as getFacetSize.
    virtual int getPolygonSize(int p);
    // Vertex index of corner k of polygon p, k taken cyclically (k = n is
    // corner 0, k = -1 the last). For an invalid p prints "pol out of range. "
    // and returns 0; -1 for a polygon without corners or a record cut off by
    // the end of the stream.
    int getPolygonVertexIndex(int p, int k) override;
    // Corner k of polygon p; false (with "pIndex out of range. " printed) when
    // the corner's vertex does not exist.
    bool getFacetCorner(int p, int k, Point& out) override;
    // All corners of polygon p at once, straight from the polygon stream.
    int readFacetCorners(int p, float* xyz, int capacity) override;
    // Corners of triangle p into rec[3..11]; rec[0..2] untouched. False
    // unless p has exactly 3 corners.
    bool getTriangleRecord(int p, float rec[12]) override;
    // Not supported by this mesh: false.
    bool getTriangleCorner(int i, int k, Point& out) override;
    // Stream position of polygon i; -1 for an invalid index.
    int getPolygonStart(int i) override;
    // Appends n stream positions to the polygon starts (the polygons there
    // reappear at the end); n <= 0 or a null list changes nothing. True.
    bool appendPolygonStarts(const int* starts, int n) override;

    // Facet info.
    bool setFacetInfo(int i, int tag, double first, double second) override;
    bool getFacetInfo(int i, int& tag, double& first, double& second) override;

    // Normals from the derived data.
    // False without derived data, for an invalid index or a zero normal.
    bool getVertexNormal(int i, Direction& out) override;
    // The stored normal with derived data; the base's computation without.
    bool getFacetNormal(int p, Direction& out) override;

    // Editing.
    // Deletes the listed polygons (invalid indices ignored); with recordUndo
    // the deletion can be undone by undo. Clears the derived data and the
    // facet hash. False for an empty or null list.
    bool deleteFacets(const int* list, int n, bool recordUndo) override;
    // Undoes the last recorded edit; false when there is none.
    bool undo() override;
    // Reverses the corner order of the listed polygons; sets the modified
    // flag. False for an empty or null list.
    bool flipFacets(const int* list, int n) override;
    // Reverses the corner order of polygon p; true.
    bool flipFacet(int p) override;

    // Both only call the base's operation.
    bool getBoundaryEdgeFrameByVertices(int a, int b, Direction& side, Direction& normal) override;
    bool slice(int v, Kor::Set<Slice>& out, const Kor::List<int>* edgeList, float dist,
               int tag) override;

    // Unused slot: false.
    virtual bool reserved75() { return false; }

    // Reading of POL images (defined with the POL format code). A false
    // result leaves the mesh as it was and prints one line saying why: the
    // header's sizes do not match the image, the polygon records run past
    // their block or leave words of it over. Polygons with a vertex index
    // outside the image, no loop or a negative corner count are left out
    // ("left out N facets" and the first, in one line), and so are those on
    // a vertex that is not finite (Mesh::reportNonFiniteFacets). With
    // wholeOnly (an image this system wrote, as a document holds it) an image
    // whose records do not add up is refused like a damaged one, in one
    // line: a polygon left out for its index, loop or corner count, a
    // polygon of more than one loop (only the first is kept), a third block
    // (not kept). Coordinates that are not finite are left out all the same.
    bool readPOL(std::istream& in, std::uint32_t available, bool wholeOnly = false);
    bool readPOL(const char* path);

    // ---- Topology, welding, merging and derived data (FlatMeshTopology.cpp) ----

    // Frees the derived data, empties the edge table and the facet values;
    // true. Deletion calls it; so does the destructor.
    virtual bool clearDerivedData();
    // The record types of the derived data are defined in mesh/MeshVertex.h.

    // Builds the edge table: one record per polygon side, neighbours paired
    // (facet2 -1 on a boundary), isolated polygons whose every side runs
    // against its neighbours flipped. False ("Memory Low.") only when the
    // records cannot be allocated; the edge table is then unchanged.
    bool buildTopology() override;
    // Joins vertices closer than dTol (exact != 0, a non-positive dTol or more
    // than 500000 vertices: weldEqualVertices). Merged-away vertices stay
    // stored but unreferenced. False, mesh unchanged, for fewer than 3 vertices.
    bool mergeVertices(double dTol, int exact) override;
    // Joins vertices of exactly equal coordinates and renumbers the vertices
    // in coordinate order (dTol is not used). Clears the derived data and the
    // undo list. False, mesh unchanged, for fewer than 3 vertices.
    virtual bool weldEqualVertices(double dTol);
    // Adds the triangles at corners (9 finite coordinates each) to an empty
    // mesh, as addPolygon after addVertex for each corner and then
    // mergeVertices(dTol, 0) would leave it, where that merge is the weld of
    // equal points; without the unwelded vertices or a copy of them. False,
    // with nothing added, where the merge would join vertices within dTol
    // (500000 vertices or fewer) or the mesh is not empty.
    bool addWeldedTriangles(const float* corners, int triangles, double dTol);
    // Builds the edge table when it is empty, then the vertex and facet
    // records; the result of pairPolygonLegs.
    virtual bool computeDerivedData();
    // Fills the polygon legs, facet areas and normals and the vertex normals
    // of the derived data; false (nothing changed) without edges or records.
    // Defined in FlatMeshLegs.cpp.
    virtual bool pairPolygonLegs();
    // In polygon p, the vertex before a where corners a, b follow each other;
    // -1 when there is no such pair (or p is invalid).
    int getCornerBeforeEdge(int p, int a, int b);
    // With derived data computed from the vertex records; else the base's.
    double getBoundaryAngle(int v) override;
    bool getBoundaryVertexFrame(int v, Direction& side, Direction& normal) override;
    bool getBoundaryEdgeFrame(const CPolygonEdge& e, Direction& side, Direction& normal) override;
    // The neighbours of v in order around it (emptied first) and, when asked,
    // the polygon between consecutive neighbours; false without derived data,
    // without legs or with fewer than two neighbours found.
    bool getVertexRing(int v, Kor::List<int>& vertices, Kor::List<int>* polygons);

    // ---- Vertex normal fitting and relaxation (FlatMeshNormals.cpp) ----

    // Smooths the vertex normals: each sweep sets every vertex's normal to the
    // normalised sum of its neighbours' normals, leaving out the fraction q
    // of the least and of the most similar ones (by dot product); all
    // vertices of a sweep change together. iterations >= 0 asks for a count
    // estimated from the edge lengths and the area, a negative value gives
    // the count |iterations|; at most 250 sweeps run. Builds the derived
    // data first when there are none. With refit, a CFitPointsToVertexNormals
    // (mesh/FlatMeshNormals.h) then adds the fitted distances along the
    // normals to the vertices' displacements. Prints its diagnostics. False,
    // nothing changed, only when there are no vertex records.
    virtual bool relaxVertices(int iterations, double q, bool refit);
    // Set by relaxVertices; false until then.
    bool normalsRelaxed = false;

    // ---- end of vertex normal fitting and relaxation ----

    // ---- Offset and dual mesh (FlatMeshOffset.cpp) ----

    // Fills target with this mesh moved by a along its vertex normals. b is
    // a clearance that takes a's sign (a = 0 counts as positive): a vertex
    // is kept only when no facet centre lies within 0.995 |a + b| of the
    // probe point p + (a + b) n (with a + b = 0 every vertex is kept); a
    // polygon (of fewer than 100 corners) is kept when all its corners are
    // and its moved normal still agrees with its own, otherwise it counts as
    // tumbled ("tumbleCount=" is printed). This mesh is welded at 1e-8 and
    // its topology and box rebuilt first; its facet hash is built with cell
    // size |a + b| when it has none; its derived data are freed at the end.
    // The target is welded at 1e-8. Returns the target's facet count; 0 for
    // a null target or when the progress sink cancels (the target then gets
    // no polygon).
    virtual int offset(double a, double b, CFlatMesh* target, CProgress* progress);
    // A new mesh (owned by the caller) with one polygon per inner vertex,
    // through the centres of the polygons around it in ring order; boundary
    // vertices and vertices of fewer than 3 polygons give none. With
    // projectOnto, each centre is moved to its first hit along its polygon's
    // normal on that mesh (the hits near it, 1.6 cell sizes of its facet
    // hash); centres without a hit stay ("voronoi midfailcount=" counts
    // them). The result is welded at 1e-8 and its topology built; " generated
    // ", the count and " Voronoi faces " are printed.
    virtual CFlatMesh* buildVoronoiFaces(Mesh::CBaseMesh* projectOnto);

    // ---- Drawing and statistics (FlatMeshDraw.cpp) ----

    // Mode bits: 0x8 the base's flat facets (when there are no facet values
    // and 0x80 is clear); 0x200 the vertex normals in white (with derived
    // data); 0x10 the boundary edges in red (lighting and depth test left
    // off); 0x80 facet values from the turn of the normals across the
    // facets' edges (computed when absent, range set to their 10 % and 90 %
    // quantiles, both printed). Facets with values are drawn in their value
    // colours, unlit and depth-tested.
    void draw(int mode) override;
    // Curvature indicator per polygon (from the areas of its corner triangle
    // and of the triangle of its unit vertex normals) into the facet records
    // and, as magnitudes, into the facet values; prints the 10 % and 90 %
    // quantiles and the extremes and sets the value range from the quantiles.
    // Builds the derived data when there are none. True.
    bool printStatistics();

private:
    // Stream position of the corner count of polygon p's first loop, or -1
    // when p is invalid or the record does not lie in the stream.
    int cornerCountPosition(int p) const;
    void reversePolygon(int p);
    // The weld's points (x, y, z each) as the vertices, a new geometry.
    void takeWeldedPoints(const std::vector<float>& points);
};
