// The trimmed face: CFace, one base surface with closed trim loops of curves
// on it (the first loop is the outer boundary, the others are holes), and
// CLoop, one such loop, a closed chain of trim curves (CParCurve).
//
// A trim loop is kept ordered (consecutive curves join end to start, the
// last one closing the loop) and oriented in the parameter plane: the outer
// loop counter-clockwise (orientation -1 of CVertexList) and the holes
// clockwise (+1). Every curve of every loop, and every display curve, lies on
// the face's base surface.
//
// The face caches its whole boundary as one (u, v) polygon, its tessellation
// (CFaceter) and an OpenGL display list; every change of its loops drops the
// cache. It is written and read as the ".out" face record.
//
// Ownership: a face owns its base surface, its loops, its display curves,
// its faceter and its look-up mesh; a loop owns its curves. Loops and curves
// handed to a face are owned by it from then on. Functions that return a new
// face leave it to the caller.
// Thread-safety: none. A face is built and changed by one thread; drawing
// needs the view's OpenGL context current.
#pragma once

#include "foundation/Box.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "foundation/VertexList.h"

#include <iosfwd>
#include <memory>
#include <vector>

class CCONS;
class CFace;
class CFaceter;
class CFlatMesh;
class CParCurve;
class CParametricGeometry;
class iPolScatteredData;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

class CLoop {
public:
    Kor::List<CParCurve*> curves; // owned, in chain order
    CFace* owner = nullptr;       // set when the loop is given to a face

    CLoop() = default;
    // Deletes the curves.
    virtual ~CLoop();
    CLoop(const CLoop&) = delete;
    CLoop& operator=(const CLoop&) = delete;

    // Curve i taken cyclically (a negative i wraps); null for an empty loop.
    CParCurve* getCurve(int i) const;
    int getCard() const { return curves.count; }
    // Refers every curve and its space curve's record to surface s.
    void setSurface(CParametricGeometry* s);
    // Sum of the curves' sampled lengths (25 chords each); 0 for no curves.
    double getLength() const;

    // True when every joint, the closing one included, leaves a gap in space
    // strictly below tol. With logging on, a gap above tol prints "dTol="
    // and is appended to "c:/tmp/3dgap.out" as a straight curve.
    bool checkGaps(double tol);
    // Reverses every curve and the order of the curves; prints " Loop after
    // invert() is bad" when a gap of 0.01 or more remains (the loop stays
    // inverted).
    void invert();
    // With reorder, chains the curves by the gaps of their (u, v) ends and
    // turns the pieces that run backwards ("orderCurves failed, missed " n
    // " curves " when n pieces do not join the chain; they are kept after
    // it). Then closes the loop: a joint whose gap in space is at most the
    // larger of a tenth of the face's tolerance (0.05 when the tolerance is
    // not given, 0 or less) and a thousandth of the loop's length stays; a
    // gap below twice the tolerance (1.0 without one) that turns back
    // against the end tangent (dot below -0.9) stays open; every other gap
    // gets a straight (u, v) bridge after the curve. With sides, each curve is one side of the face, from one of its
    // corners to the next, and a gap between two sides is none to bridge:
    // their (u, v) ends meet half-way (as makeVezadCompat moves them) and
    // the two curves are rebuilt on them; a bridge would be a side the face
    // does not have. A loop whose curves do not all join the chain is closed
    // as without sides. False only for an empty loop.
    bool orderCurves(bool reorder, bool sides = false, double tolerance = 0.0);
    // Inverts the loop when the orientation of its (u, v) polygon (tolerance
    // 0.1) is not the wanted one (-1 counter-clockwise, +1 clockwise).
    void orient(int wanted);

    // Appends the (u, v) samples of every curve (u, v, 0), each curve's last
    // sample left out, to out; curves without samples are sampled at tol
    // first. True when out then holds a vertex. The int is not read.
    bool getPolygon(CVertexList& out, int, double tol);
    // Empties the (u, v) sample list of every curve.
    void clearUVSamples();
};

// Whether the (u, v) curve lies farther outside the surface's domain than
// a trim curve of a face on it may (see the source for the reach): the
// face record's reader leaves such a curve out, so no face is made with one.
bool farOutsideDomain(Fenwo::NurbsSurf& uv, CParametricGeometry& surface);

class CFace {
public:
    CFlatMesh* lookupMesh = nullptr;     // owned; the tessellation as a mesh for hit tests
    iPolScatteredData* lookup = nullptr; // owned; maps surface points to (u, v, 0)
    int spareFlag = 0;
    // Tessellation method: 0 triangulate the trim polygon, 17 iso lines by
    // arc tolerance, 32 the scan-line method, others iso lines by distance.
    int MeshType = 0;
    double MeshArcTol = 1.0;
    double MeshDistance = 10.0;
    bool sense = false;           // true: "reverse", the reported normal is flipped
    CBox<double, 3> boundingBox;  // of the base surface
    CParametricGeometry* surface; // owned base surface
    Kor::List<CLoop*> trimLoops;  // owned; loop 0 is the outer loop
    CFaceter* faceter = nullptr;  // owned; built on demand
    CVertexList uvPolygon;        // the whole boundary as one (u, v) polygon; empty when stale
    int displayList = -1;         // OpenGL list of the face; -1 when none
    Kor::List<CParCurve*> displayCurves; // owned; drawn and written with the face
    // Number of the face among all faces made in this process; names its
    // debug files.
    const long serial;

    // A face without surface and loops: the state a record is read into.
    CFace();
    // A face on surface; first (when given) becomes loop 0 as it stands, its
    // curves referred to the surface; the loop is neither ordered nor
    // oriented.
    CFace(CParametricGeometry* surface, CLoop* first);
    // A face on surface bounded by its parameter domain.
    explicit CFace(CParametricGeometry* surface);
    // Drops the cache, then deletes the loops, the display curves, the
    // look-up mesh and the surface.
    virtual ~CFace();
    CFace(const CFace&) = delete;
    CFace& operator=(const CFace&) = delete;

    // ---- Surface ----------------------------------------------------------------
    // The outer loop of four straight (u, v) segments around the surface's
    // domain rectangle (a NURBS surface's knot vectors become NonUniform).
    void setBoundaryFromDomain();
    // Refers every loop curve and display curve to s, deletes the old
    // surface and keeps s; the current surface changes nothing. A null s
    // prints "warning: set NULL pointer in setBaseSurface" and is stored.
    // Always true; the box is the caller's to refresh.
    bool setBaseSurface(CParametricGeometry* s);
    // The box of the base surface.
    void updateBoundingBox();
    // The base surface as a NURBS surface; null for any other kind.
    Fenwo::NurbsSurf* getNurbsSurf() const;
    void getPoint(Vector& out, double u, double v);
    // The surface's normal at (u, v), flipped for a reversed face.
    void getNormal(Vector& out, double u, double v);
    // The point and the unit normal from the first derivatives (flipped for a
    // reversed face); false without a surface or where it cannot be evaluated.
    bool getPointAndNormal(double u, double v, Vector& point, Vector& normal);

    // ---- Loops ------------------------------------------------------------------
    // Replaces loop 0 by loop (with arrange: ordered, oriented -1), keeping
    // the holes, and rebuilds the (u, v) polygon. Without arrange the loop
    // is taken as it stands: one that was ordered and oriented when it was
    // made. False (nothing changes, the caller keeps the loop) for a null or
    // empty loop.
    bool setOuterLoop(CLoop* loop, bool arrange = true);
    // Appends loop as a hole (with arrange: ordered, oriented +1) and
    // rebuilds the (u, v) polygon. False as setOuterLoop.
    bool addTrimLoop(CLoop* loop, bool arrange = true);
    // The curves of every loop in order, then (withDisplayCurves) the display
    // curves. With link, each loop curve's next and previous are its
    // neighbours in its loop, cyclically. The list owns nothing.
    Kor::List<CCONS*> getAllCONS(bool withDisplayCurves, bool link);

    // ---- ".out" record ------------------------------------------------------
    // Writes the record with 16 significant digits (the stream's precision is
    // restored). False when the base surface is not a NURBS surface; the
    // settings lines have been written then.
    bool write(std::ostream& os);
    // Reads one record into a freshly made face. True when the face is
    // usable (a valid NURBS surface with healthy knots and control points);
    // otherwise prints "skipping a bad nurbs surface in face read " and the
    // caller discards the face. Reading stops at the first stream failure.
    // While the stream carries a GeoTextAsWritten (a text this system wrote
    // of what it holds), the record is read as written: "Face=", the four
    // settings with their keys and whole numbers, the counts, every trim
    // curve pair read and usable (the space curve may be the writer's zero
    // curve) and "ListOfCONS" with its curves; any other form is refused,
    // false, with its cause reported (reportGeoTextFault). In either form a
    // trim curve whose (u, v) curve lies far outside the surface's domain
    // ("skipping a trim curve far outside the surface's domain") is left
    // out, as is an unusable one where the form allows it; leftOutTrimCurves
    // counts those of the last read.
    // The trim loops are ordered and oriented as setOuterLoop and
    // addTrimLoop do, unless loopsAsWritten: a record this system wrote of a
    // face it holds (the net text's trimmed faces) gets its loops back as
    // they were, so that reading and writing it again gives the same text
    // (ordering again may start a loop at another curve, and close a gap
    // the face had with a bridge).
    bool read(std::istream& is, bool loopsAsWritten = false);
    int leftOutTrimCurves = 0;

    // ---- (u, v) polygon and display ------------------------------------------------
    // Appends the outer loop's polygon to out, then merges the holes in by
    // zero-width slits (joinHolePolygons). Returns the number of loops
    // merged; 0 without loops or when the outer polygon is empty. A hole
    // without vertices prints "tempList.getCard()==0" and stops the merge:
    // the holes before it are merged and the result is out's vertex count.
    // The int is not read.
    int buildUVPolygon(CVertexList& out, int, double tol);
    // Empties the (u, v) samples of every loop curve.
    void clearUVSamples();
    // Deletes the faceter and the display list (the list only while a
    // context is current) and clears the (u, v) samples; the polygon stays.
    void clearDisplayCache();
    // Deletes the display list (while a context is current) and marks it
    // absent, so that the next draw compiles it again.
    void dropDisplayList();
    // Drops the cache and rebuilds the (u, v) polygon; true.
    bool updateTrimLoops();
    // The tessellation, built on first use: a new faceter after the (u, v)
    // polygon is emptied; MeshType 32 runs the scan-line method alone, any
    // other type the iso-line method and, when that gives fewer than 10
    // quads and fewer than 10 triangles, the scan-line method as well (with
    // the outline when outline is not 0). With a faceter present nothing is
    // done. Never null.
    CFaceter* getFaceter(int outline);
    // The shaded face with its trims (withTrims) and display curves; with
    // useList compiled into the face's own display list on first use and
    // replayed afterwards.
    void draw(bool withTrims, bool useList);
    // The iso lines of the tessellation and the domain's sides; nothing
    // without a faceter.
    void computeIsoLines();
    // A line strip 1.0 beside the outer loop on the surface, left of the
    // (u, v) direction.
    void drawTrimCurves();

    // ---- Services built on the tessellation ---------------------------------
    // Appends samples of the tessellation to out: (quadDensity + 1)^2
    // random points in every quad, (triangleDensity + 1)^2 in every
    // triangle (none for a density of -1), and the facet points (chord
    // tolerance 0.1, at most 2000) of every scan-line piece longer than 1e-4.
    // Each sample is (u, v, 0) with asUV, else the surface point. The random
    // points come from globalRandom15. Returns the number appended; 0
    // without a faceter. The int and tol are not read.
    int collectSamples(Kor::List<Vector>& out, bool asUV, int, int quadDensity, int triangleDensity,
                       double tol);
    // Adds the tessellation to mesh: each quad's four surface points and one
    // quad (splitQuads: the triangles 0-1-2 and 0-2-3), each triangle's
    // three points and one triangle. Every facet's info is owner and the
    // (u, v) centroid of its corners. Corners where the surface cannot be
    // evaluated are added at the origin. Nothing without a faceter.
    void addToMesh(int owner, Mesh::CBaseMesh& mesh, bool splitQuads);
    // The area in space of the tessellation at MeshArcTol 0.25 (set here):
    // quads as the triangles 0-1-2 and 2-3-0. The faceter is built, or
    // rebuilt when it holds no triangles.
    double computeArea();
    // The look-up from space back to (u, v). As a mesh: MeshType 0 and
    // MeshDistance tol (2.0 when tol is negative), the tessellation rebuilt
    // and added to a new look-up mesh (owner the face's serial number),
    // vertices closer than 1e-8 merged, the facet hash built (350.0, -1.0);
    // the mesh is written to "c:/tmp/face<serial>.pol" in every case. As an
    // interpolant: MeshType 32, the tessellation rebuilt, its scan-line
    // samples handed to newParameterLookup.
    void buildLookup(bool asMesh, double tol);

private:
    // Binds the surface's colour and replays the face's list.
    void callDisplayList();
    // The shaded tessellation (steps that need the faceter).
    void drawShading();
    // False for a null or empty loop; otherwise the face becomes its owner.
    bool prepareLoop(CLoop* loop);
};

// Writes the face's record; prints " face write failed. " when write fails.
std::ostream& operator<<(std::ostream& os, CFace& face);

// Merges the hole polygons (their vertices move over) into the (u, v)
// polygon, each by a zero-width slit: the walk runs from a polygon vertex
// to a hole vertex, once around the hole to a copy of that vertex, and on
// to a copy of the polygon vertex. Holes are taken in list order, each at
// the closest pair of vertices (the first in polygon, then hole, order
// among equals) whose slit leaves both vertices into the face and meets no
// loop and no earlier slit. A hole that no such slit reaches yet waits
// until the holes after it are merged; when none can be reached, the first
// one waiting is merged at its closest pair. Null and empty holes are
// skipped; nothing is merged into an empty polygon.
void joinHolePolygons(CVertexList& polygon, std::vector<std::unique_ptr<CVertexList>> holes);

// Makes the (u, v) curves of each joint of the loop meet exactly: A's last
// and B's first control point move to their midpoint (weights kept), a
// reversal flag first moved into the control points. A loop of fewer than
// two curves is left as it is.
void makeVezadCompat(CLoop& loop);

// A clone of source made to stand for it (an undo's record of it): with
// source's identity and, for a NURBS surface or curve, its constraints,
// comment lines and degenerate sides (NurbsSurf::copyFitSetupFrom), so that
// the copy writes the record source writes and fits as source does. Null
// when the clone fails; owned by the caller.
CParametricGeometry* copyAsItStands(const CParametricGeometry& source);

// A new face on a clone of source's surface with duplicates of its loops
// (and its sense and tessellation settings); null for a null source or when
// the surface cannot be cloned as a surface. Owned by the caller. The loops
// are ordered and oriented as setOuterLoop does, unless asItStands: then
// they are taken as they stand, the display curves and the trim curves'
// space curves are copied too, and the surface and every curve are copied
// as they stand (copyAsItStands), so that the copy writes the record the
// source writes.
CFace* copyFace(const CFace* source, bool asItStands = false);

// A new face on a clone of surface, bounded by its domain; null for a null
// surface or a failed clone. Owned by the caller.
CFace* makeFaceFromSurface(const CParametricGeometry* surface);

// Colours curve (0.4, 0, 0.5) and appends a new trim curve with a space
// curve on its (u, v) curve to the face's display curves; drops the face's
// display list. The trim curve takes over a (u, v) curve that curve owns
// (curve then refers to it without owning it) and copies any other. Nothing
// for a null curve or one without (u, v) curve.
void addDisplayCurve(CFace& face, CCONS* curve);

// True when the first curve's start and the last curve's end lie closer
// than 1e-6 in space; false for an empty list.
bool isChainClosed(const Kor::List<CParCurve*>& curves);
