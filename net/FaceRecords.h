// The records the net's closed regions become: the face GB::Face with its
// requested and computed states, its boundary loops GB::Loop, the coedges
// CCoEdge (one run of one poly-line between two of its point indices, shared
// by the loops on its two sides), the topology's per-edge record EdgeData
// and the seam healing's control-point reference CCtrlPt_Ref.
//
// Ownership: a face owns its chain of loops and, unless its state says the
// surface belongs elsewhere (Ribbon: the poly-line's curve; Trimmed: the
// trimmed face's surface, see GB::CSurfaceNet::removeFace), its surface; it
// never owns its trimmed face. A loop owns its copies of the half-edges of
// its cycle together with their target nodes; it does not own its coedges,
// which two loops share. A coedge owns its two side objects, not its
// surfaces, loops or poly-line. The coedge's seam and blend-boundary members
// belong to the seam matching and are defined with it (healing/CoEdge.cpp).
// Thread-safety: plain records of the net; user-interface thread only.
#pragma once

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Statistic.h"
#include "foundation/Tuple.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"
#include "geometry/BoundaryPosition.h"
#include "geometry/GeoObject.h"
#include "geometry/Interval.h"
#include "mesh/BlockList.h"
#include "net/GraphRecords.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <vector>

class CFace;
class CCoEdge;
class COffset_PointList;
class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}
namespace Mesh {
class CBaseMesh;
}

// State of a face; the requested state says what the user or the net asks
// for, the computed state what the surface was last computed as.
enum FaceState : int {
    Naked = 0, // no surface computed
    Initial = 1,
    Draft = 2,
    SimpleApprox = 3,
    ComplexApprox = 4,
    Frozen = 5,
    Refresh = 6,
    Blending = 7, // computed after the other faces
    Trimmed = 8,  // the face holds a trimmed face
    Ribbon = 9,   // the surface is the curve attached to a poly-line
    Imprint = 10, // uses the two imprint counts
    Planar = 11,
};

// The word of a state in the net text ("Naked" .. "Planar"); any other
// value writes "Unknown". Nothing is written before or after the word.
std::ostream& writeFaceState(std::ostream& os, const FaceState& s);
// Reads one word: exactly one of the twelve state words (case matters)
// gives its state; any other word, "Unknown" included, and a failed stream
// give Naked.
std::istream& readFaceState(std::istream& is, FaceState& s);

namespace GB {

class Loop;

class Face : public CGeoObject {
public:
    Face* next = nullptr;      // the net's chain of faces
    Loop* firstLoop = nullptr; // head of the owned chain of loops
    CParametricGeometry* surface = nullptr;
    FaceState requestedState = ComplexApprox;
    FaceState computedState = Naked;
    CFace* trimmedFace = nullptr; // held in state Trimmed; not owned
    int imprint[2] = {-1, -1};
    Kor::List<float> errorPoints; // six floats per point
    CStatistic statistics;
    // The regions inside the face's region that it leaves out: a ring of the
    // net that no other piece meets, lying inside the face's first loop, is
    // a face of its own and a hole of this one. Each hole is the ring walked
    // with the face on its left (owned copies; no owner, no coedges). The
    // topology step finds them anew each time; they are not written with
    // the face.
    std::vector<std::unique_ptr<Loop>> holes;
    // Number of the face among all faces made in this process; names the
    // face's display ("Face %1i") and never repeats while the face lives.
    const long serial;

    Face();
    // A face with its first loop, which it then owns.
    explicit Face(Loop* first);
    // Deletes every loop of the chain, then the surface; not the trimmed face.
    ~Face() override;
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    // ---- Face record of the net text ----------------------------------------------
    using CGeoObject::read;
    using CGeoObject::write;
    // The geometry-object block, the requested state word (Imprint: then its
    // two counts), the computed state word, "1" and the trimmed face's record
    // (state Trimmed) or the surface's text (any other state), or "0", then
    // " 0", the loop count and every loop's record. False when the stream
    // failed.
    virtual bool write(std::ostream& os, int version) const;
    // Reads a record into a fresh face (option is not read). False, having
    // taken only that word, when the record does not begin with "GeoObject";
    // false as well when its block, its surface or trimmed face, or a loop
    // cannot be read, when a field is not in the writer's form (a state
    // word that is none of the twelve, a surface flag other than 0 or 1, a
    // count or number that is not a whole int) or the stream failed: what
    // was read so far stays with the face, and the cause is reported
    // (reportGeoTextFault). Loops keep the order of the text.
    virtual bool read(std::istream& is, int option, int version);
};

class Loop : public CGeoObject {
public:
    bool failed = false; // the last approximation gave nothing; tried again when a point changed
    Kor::List<int> references;         // stored entries of the net text
    bool unmatched = false;            // set at the start of a rebuild
    Loop* next = nullptr;              // next loop of the same face
    Kor::List<CCoEdge*> coedges;       // the loop's pieces in order; not owned
    Face* owner = nullptr;             // the face that owns the loop
    GraphAlgorithm::Cycle cycle;       // owned copies of the half-edges (and their targets)
    Kor::Set<std::intptr_t> cornerSet; // corner ids, ascending, each once

    Loop() = default;
    // Deletes the half-edge copies of the cycle; the coedges stay and
    // forget the loop as theirs.
    ~Loop() override;
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    // ---- Loop record of the net text ------------------------------------------------
    using CGeoObject::read;
    using CGeoObject::write;
    // The geometry-object block, " 0", the number of entries, then per
    // half-edge the saved index of its target's grid point and (version 5
    // on) the position of its poly-line in the grid. The entries start at
    // the smallest node index, so one cycle writes one text whatever half-edge
    // the loop starts at. A target without a grid point prints "uups. pPoint
    // could not! be written" and is left out of the entries and their count.
    // False when the stream failed.
    virtual bool write(std::ostream& os, int version) const;
    // Reads a record into `references`: the node indices (up to version 4)
    // or pairs of node index and poly-line number (version 5 on), in text
    // order. False when the record does not begin with "GeoObject", its block
    // cannot be read, its "0", count or an entry is not a whole int (a
    // count not below 0), or the stream failed; the cause is reported
    // (reportGeoTextFault).
    virtual bool read(std::istream& is, int option, int version);

    // Deletes every half-edge copy with its target node and empties the cycle.
    void clearCycle();
    // Takes copies of the half-edges of c in order (each with a copy of its
    // target node, linked to the next and previous copies in a ring, with
    // nothing pointing back into c's graph) in place of the former ones.
    void setCycle(const GraphAlgorithm::Cycle& c);
    // The number of half-edge copies.
    int getCycleLength() const;

    // The index ranges the loop's coedges cover on each poly-line, for
    // drawing: polyLines is emptied and receives each poly-line once (in the
    // order the poly-lines were made); the result holds, at the same
    // position, the interval from the smallest to the largest point index
    // the coedges use on it.
    Kor::List<Interval> getPolyLineRanges(Kor::List<COffset_PointList*>& polyLines) const;

    // ---- Pieces of the ring (each half-edge runs along its poly-line from
    // the target of the previous half-edge to its own target) ----------------
    // Appends, for every half-edge with a poly-line, the poly-line's entries
    // from the half-edge's start to its target, so the points run round the
    // loop and a joint stands at the end of one piece and at the start of
    // the next. A piece whose poly-line no longer holds an end is skipped
    // (" loop is referencing a deleted Vertex.").
    void getVertexList(Kor::List<CVertex<float, 3>*>& out) const;
    // Appends the grid point of every half-edge's target, in ring order.
    void getNodePoints(Kor::List<CVertex<float, 3>*>& out) const;
    // Whether the face must be computed again: no face, a face without
    // surface that is not to be trimmed, or a point of the boundary marked
    // changed.
    bool isModified() const;
    // Whether a grid point of the boundary is marked changed.
    bool pointsChanged() const;
    // The number of distinct poly-lines of the half-edges.
    int countPolyLines() const;
    // Whether half-edge i + 1 (round the ring) goes on along the poly-line
    // of half-edge i from the entry where i ends, so that the two are one
    // stretch of it (on a closed poly-line, also round its closing
    // segment). A poly-line that passes a node twice can bound a face with
    // two stretches that meet at that node but lie apart along it.
    bool continuesPiece(int i) const;
    // A run of the ring along one stretch of a poly-line: the entries where
    // the ring comes onto it and where it leaves (a run round the closing
    // segment of a closed poly-line ends past its last entry).
    struct RingRun {
        COffset_PointList* polyLine = nullptr;
        int from = -1;
        int to = -1;
    };
    // The ring's runs in its order, one per stretch of a poly-line it
    // follows (see continuesPiece; a ring along one poly-line has one per
    // half-edge): the coedges a face's loop holds. A run whose entries are
    // not known (a poly-line changed since the ring was found) is left out.
    std::vector<RingRun> ringRuns() const;
    // The number of pieces between junctions (grid points with a use count
    // above 1) the ring runs over now, as the topology step would find it;
    // -1 when a half-edge's poly-line is not among polyLines any more or no
    // longer holds the piece's ends.
    int countDrawnPieces(const Kor::List<COffset_PointList*>& polyLines) const;
    // The number of coedges whose poly-line has a locked curve.
    int countLockedPieces() const;
    // The parameter interval of half-edge i on pl; on a closed pl a start at
    // entry 0 stands for the end of its curve. False for i outside the ring,
    // a null pl or ends that pl does not hold.
    bool getPieceInterval(int i, COffset_PointList* pl, Interval& out) const;
    // The piece of pl's curve along half-edge i (a new curve owned by the
    // caller), or null. It ends at the grid points of the half-edge's ends.
    CParametricGeometry* getPieceCurve(int i, COffset_PointList* pl) const;
    // Appends the boundary curves (new, owned by the caller): one piece per
    // half-edge, or with merge one piece per run of half-edges that go on
    // along one poly-line (see continuesPiece), spanning the run's
    // parameters and ending at the grid points of the run's ends (a
    // poly-line's curve may pass a junction inside it a little off). A loop
    // whose poly-lines all carry locked curves (given curves such as the
    // mesh boundary, or none at all) gets no face: "skipping an 'outer' loop"
    // and false. False also when a merged piece has no interval; otherwise
    // true when a curve was appended.
    bool getBoundaryCurves(Kor::List<CParametricGeometry*>& out, bool merge) const;
};

} // namespace GB

// Orders corner ids ascending (the comparator of GB::Loop::cornerSet).
bool lessCornerId(const std::intptr_t* a, const std::intptr_t* b);

// One side of an evaluated seam sample: the derivative table copied out of
// the surface that was evaluated (d[k][l]: order k in u and l in v, up to
// the order asked, at most 3), that surface and the (u, v) at which it was
// evaluated. A copy, so both sides stay valid when they are one surface.
struct CSeamSide {
    Vector d[4][4];
    CParametricGeometry* surface = nullptr; // not owned
    double u = 0.0;
    double v = 0.0;
};

class CCoEdge {
public:
    // The fixed curve of each side (a curve on a surface, not owned) and
    // whether that side is fixed.
    CParametricGeometry* leftSideSurface = nullptr;
    CParametricGeometry* rightSideSurface = nullptr;
    std::unique_ptr<CParametricGeometry> leftObject; // owned geometry of each side
    std::unique_ptr<CParametricGeometry> rightObject;
    Kor::List<c_pair<Vector, Vector>> vectorPairs;
    GB::Loop* leftLoop = nullptr;
    GB::Loop* rightLoop = nullptr;
    // Side of each face's surface the coedge runs along (uvSouth .. uvEast).
    BoundaryPosition leftPosition = undefinedPosition;
    BoundaryPosition rightPosition = undefinedPosition;
    bool leftSet = false;
    bool rightSet = false;
    int firstIndex; // point range on the poly-line, firstIndex <= secondIndex
    int secondIndex;
    CVertex<float, 3>* startGridPoint = nullptr; // grid points at the two ends; not owned
    CVertex<float, 3>* endGridPoint = nullptr;
    // The coedge's parameter range on each side's boundary curve (the fixed
    // curve's u domain when that side is set).
    Interval leftInterval{0.0, 0.0};
    Interval rightInterval{0.0, 0.0};
    COffset_PointList* polyLine; // not owned
    int startIndex = -1;         // positions in the poly-line of the two ends
    int endIndex = -1;
    bool flags[3] = {true, false, false};
    // The right surface's normal points against the left one's along the
    // seam: the right side's odd u-derivatives change sign on evaluation.
    bool reversed = false;
    // Seam samples: {left parameter, right parameter} of one seam point on
    // the two sides' boundary curves.
    CBlockList<c_pair<float, float>> samples{0, 10};

    // The run of polyLine between point indices a and b (in either order).
    CCoEdge(int a, int b, COffset_PointList* polyLine);
    virtual ~CCoEdge() = default;
    CCoEdge(const CCoEdge&) = delete;
    CCoEdge& operator=(const CCoEdge&) = delete;

    // Stores the fixed curve of the left (right) side, copies its u domain
    // into the left (right) interval and sets that side; null clears the side.
    void setLeftSurface(CParametricGeometry* surface);
    void setRightSurface(CParametricGeometry* surface);

    // By first index, then second index, then poly-line (in the order the
    // poly-lines were made).
    bool operator<(const CCoEdge& other) const;

    // ---- Seams and blend boundaries (defined with the seam matching) ------
    // The geometry on the left: the NURBS surface of the left loop's face
    // (null when that face's surface is no NURBS surface); without a left
    // loop or face, the poly-line's valid attached curve, the left position
    // then becoming uvSouth; else null.
    CParametricGeometry* leftSurface();
    CParametricGeometry* rightSurface();
    // The NURBS surface of that side's face only; null without loop, face
    // or NURBS surface.
    Fenwo::NurbsSurf* leftFaceSurface() const;
    Fenwo::NurbsSurf* rightFaceSurface() const;
    // The poly-line exists and carries a valid attached curve.
    bool hasValidCurve() const;
    void setLeftLoop(GB::Loop* loop) { leftLoop = loop; }
    void setRightLoop(GB::Loop* loop) { rightLoop = loop; }
    // Whether a blend of a face beside this coedge must meet it: a fixed
    // curve on either side; else not between two Blending faces; a Blending
    // face beside a face surface; else exactly one side with a face surface.
    bool isBlendBoundary() const;
    // The poly-line's point at the start (end) index; null without poly-line
    // or with an index outside it.
    CVertex<float, 3>* startPoint() const;
    CVertex<float, 3>* endPoint() const;
    // The curve a blend must meet along this coedge: the fixed left, else
    // the fixed right curve (still the coedge's); else, when exactly one side
    // supplies a surface and that side's face exists and is not Blending, a
    // new iso-curve of it along the side over the side's interval, owned by
    // the caller ("L coedge range=" or "R coedge range=" printed). Else null.
    CParametricGeometry* blendBoundaryCurve();
    // Both sides of sample k up to `order`: a fixed side at the curve-on-
    // surface's point of the sample parameter, another side on its surface
    // along its position. With the reversed flag the right side's odd pure
    // u-derivatives change sign. False, with the tables unspecified, for k
    // outside the samples, a side supplying no surface, a fixed side that is
    // no curve on a surface, or a failed evaluation.
    bool evaluateSample(int k, CSeamSide& left, CSeamSide& right, int order);
    // Rebuilds the samples from both sides' boundary curves (see the seam
    // matching) and returns their number. Only mesh null is supported: a
    // mesh gives 0 and keeps the old samples, as does a coedge with no
    // surface on either side or no boundary curve at all.
    int sampleSeams(Mesh::CBaseMesh* mesh);
};

// One edge of an accepted cycle as the topology step records it.
class EdgeData {
public:
    std::intptr_t sourceId = -1; // corner ids of the two ends
    std::intptr_t targetId = -1;
    COffset_PointList* polyLine = nullptr;
    int sourceIndex = -1; // indices of the two ends in the poly-line
    int targetIndex = -1;

    virtual ~EdgeData() = default;
};

// One control point (i, j) of a face surface, as the seam healing refers to it.
class CCtrlPt_Ref {
public:
    int i = -1;
    int j = -1;
    int variable = -1;
    Fenwo::NurbsSurf* surface = nullptr; // not owned

    virtual ~CCtrlPt_Ref() = default;
};
