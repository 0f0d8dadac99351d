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
// surfaces, loops or poly-line.
// Thread-safety: plain records of the net; user-interface thread only.
#pragma once

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/Statistic.h"
#include "foundation/Tuple.h"
#include "foundation/Vector.h"
#include "geometry/GeoObject.h"
#include "geometry/Interval.h"
#include "mesh/BlockList.h"
#include "net/GraphRecords.h"

#include <cstdint>
#include <memory>

class CFace;
class CCoEdge;
class COffset_PointList;
class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
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
};

class Loop : public CGeoObject {
public:
    bool failed = false;               // the last approximation of the face gave nothing
    Kor::List<int> references;         // stored entries of the net text
    bool unmatched = false;            // set at the start of a rebuild
    Loop* next = nullptr;              // next loop of the same face
    Kor::List<CCoEdge*> coedges;       // the loop's pieces in order; not owned
    Face* owner = nullptr;             // the face that owns the loop
    GraphAlgorithm::Cycle cycle;       // owned copies of the half-edges (and their targets)
    Kor::Set<std::intptr_t> cornerSet; // corner ids, ascending, each once

    Loop() = default;
    // Deletes the half-edge copies of the cycle; the coedges stay.
    ~Loop() override;
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    // Deletes every half-edge copy with its target node and empties the cycle.
    void clearCycle();
    // Takes copies of the half-edges of c in order (each with a copy of its
    // target node, linked to the next and previous copies in a ring, with
    // nothing pointing back into c's graph) in place of the former ones.
    void setCycle(const GraphAlgorithm::Cycle& c);
    // The number of half-edge copies.
    int getCycleLength() const;

    // The index ranges the loop's coedges cover on each poly-line, for
    // drawing: polyLines is emptied and receives each poly-line once (ordered
    // by address); the result holds, at the same position, the interval from
    // the smallest to the largest point index the coedges use on it.
    Kor::List<Interval> getPolyLineRanges(Kor::List<COffset_PointList*>& polyLines) const;
};

} // namespace GB

// Orders corner ids ascending (the comparator of GB::Loop::cornerSet).
bool lessCornerId(const std::intptr_t* a, const std::intptr_t* b);

class CCoEdge {
public:
    // The surface of the face on each side (not owned) and whether that side
    // is set.
    CParametricGeometry* leftSideSurface = nullptr;
    CParametricGeometry* rightSideSurface = nullptr;
    std::unique_ptr<CParametricGeometry> leftObject; // owned geometry of each side
    std::unique_ptr<CParametricGeometry> rightObject;
    Kor::List<c_pair<Vector, Vector>> vectorPairs;
    GB::Loop* leftLoop = nullptr;
    GB::Loop* rightLoop = nullptr;
    bool leftSet = false;
    bool rightSet = false;
    int firstIndex; // point range on the poly-line, firstIndex <= secondIndex
    int secondIndex;
    Interval leftInterval{0.0, 0.0}; // the side surface's domain in u when set
    Interval rightInterval{0.0, 0.0};
    COffset_PointList* polyLine; // not owned
    bool flags[3] = {true, false, false};
    CBlockList<c_pair<float, float>> samples{0, 10};

    // The run of polyLine between point indices a and b (in either order).
    CCoEdge(int a, int b, COffset_PointList* polyLine);
    virtual ~CCoEdge() = default;
    CCoEdge(const CCoEdge&) = delete;
    CCoEdge& operator=(const CCoEdge&) = delete;

    // Stores the surface of the left (right) face, copies its u domain into
    // the left (right) interval and sets that side; null clears the side.
    void setLeftSurface(CParametricGeometry* surface);
    void setRightSurface(CParametricGeometry* surface);

    // By first index, then second index, then poly-line address.
    bool operator<(const CCoEdge& other) const;
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
