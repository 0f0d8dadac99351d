// The undo of the net's faces. An undo takes the grid back to a mark and the
// topology step finds the regions of the grid as it was; the faces of those
// regions must then be what they were before the edits undone, not what a
// new fit makes of them (a fit that failed, a face's requested state, a
// surface fitted on the mesh a load replaced: a new fit gives none of them
// back). So the first time the edits after a mark change a face (its
// recomputation, its removal, a load that replaces the mesh under all
// faces) the face's state is recorded as an undo item; undoing that item
// hands the record to the net, which gives it back to the face that then
// bounds the same region (GB::CSurfaceNet::giveBackFaceStates).
//
// Ownership: a record owns copies of the face's surface and trimmed face;
// the undo item owns its record until its undo hands it to the net.
// Thread-safety: none; user-interface thread only.
#pragma once

#include "foundation/Statistic.h"
#include "geometry/GeoObject.h"
#include "net/FaceRecords.h"
#include "net/PointList.h"

#include <cstdint>
#include <memory>
#include <vector>

class CFace;

namespace GB {

struct FaceStateRecord {
    // The region: the walk of the face's first loop along the pieces of
    // the net, each piece by its poly-line, its entries in the direction
    // walked and its target's id (two regions never share it).
    std::vector<std::int64_t> pieces;
    // The mesh the surface was fitted on, by creation and facet count: a
    // mesh merged into, or one replaced in place, gives nothing back.
    std::int64_t meshCreation = -1;
    int meshFacets = -1;
    FaceState requested = ComplexApprox;
    FaceState computed = Naked;
    int imprint[2] = {-1, -1};
    std::unique_ptr<CFace> trimmed;               // as it stands, with the surface it owns
    std::unique_ptr<CParametricGeometry> surface; // the surface of a face without trimmed face
    CStatistic statistics;
    bool failed = false; // the first loop's last approximation gave nothing
    CSimpleString id, name;
    int layer = -1;

    FaceStateRecord();
    ~FaceStateRecord();
    FaceStateRecord(const FaceStateRecord&) = delete;
    FaceStateRecord& operator=(const FaceStateRecord&) = delete;
};

// A cycle's walk along the pieces of the net: per half-edge its poly-line
// (by creation), the entries of the poly-line it runs between in the
// direction it runs them, and its target's id, from the least rotation on.
// Two regions may share their corners and every junction their loops pass
// (three poly-lines between two junctions, a ring of two strokes cut by a
// chord), but never this walk.
std::vector<std::int64_t> loopPieces(const GraphAlgorithm::Cycle& cycle);

// The record of a face as it stands, its surface and trimmed face copied;
// null for a face without loop and for a Ribbon face (whose surface is its
// poly-line's curve).
std::unique_ptr<FaceStateRecord> recordFaceState(const Face& face, Mesh::CBaseMesh* mesh);

// The undo item of one record: its undo hands the record to the net
// (a grid that is no net drops it).
class CUndoFaceState : public UndoGridEdit {
public:
    explicit CUndoFaceState(std::unique_ptr<FaceStateRecord> r) : record(std::move(r)) {}
    void undo(COffset_Grid* grid) override;

    std::unique_ptr<FaceStateRecord> record;
};

} // namespace GB
