// The commit of the net's fitted surfaces to the host document, and the
// worker behind it: CMakeTight recomputes the net's surfaces (fully
// approximated on request), copies each face's trimmed face (or makes one
// bounded by the surface's domain when the net did not trim the face) and,
// on request, heals those faces against each other. The plug-in's
// convertFacesToVezad turns them into Breps on the first empty layer
// (plugin/MeshwrightPlugIn.h) and names the faces whose Breps part along a
// shared edge by more than the document's tolerance.
//
// Ownership: CMakeTight owns the faces it collected; they die with it.
// Thread-safety: runs in the foreground, on the host's user-interface thread.
#pragma once

#include "foundation/KorList.h"
#include "net/FaceMeshDistance.h"
#include "platform/host/EdgeGaps.h"
#include "platform/host/VezadSdk.h"
#include "plugin/SharedEdgeGaps.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CFace;
class CProgress;
namespace GB {
class CSurfaceNet;
}

// The custom step of a commit's undo record: it holds the plug-in's record
// of committed Breps as it stood before the commit (objectRefs,
// committedSides, committedDistances) and the layer the commit added, if
// any. Undoing the commit (the host takes its Breps out and brings back the
// ones it deleted) puts that record back, less Breps no longer in the
// document, and takes the added layer out again when it is the last one:
// the document is then saved as it was saved before the commit, and the
// next commit replaces the Breps the record names.
// Owned by the document's undo record.
class CMWCommitUndo : public CVezadUndoEventHandler {
public:
    CMWCommitUndo(const Kor::List<CVezadObjRef>& refs, VezadHost::BrepSides sides,
                  std::vector<std::pair<int, FaceMeshDistance>> distances, int addedLayer);
    void Undo() override;

private:
    Kor::List<CVezadObjRef> objectRefs;
    VezadHost::BrepSides committedSides;
    std::vector<std::pair<int, FaceMeshDistance>> committedDistances;
    int addedLayer; // -1: the commit added none
};

class CMakeTight : public CVezadWorkerThread {
public:
    GB::CSurfaceNet* net;
    Kor::List<CFace*> faces; // owned
    Kor::List<int> sides;    // of each face's region in the net, as faces
    // The number of each face's net face: its place in the net's chain,
    // counted from 1 as the faces are numbered to the user.
    std::vector<int> faceNumbers;
    // The pieces of the net the faces share, by the faces' places in
    // `faces`: where their gaps are measured.
    std::vector<SharedSide> sharedSides;
    // The points of the net two faces' loops pass (on a side, a corner, a
    // T-junction), by the faces' places in `faces` (a < b): where the heal
    // may take corner targets from a face.
    std::vector<SharedPoint> sharedPoints;
    bool heal;
    bool approx;
    double dTol;
    double dMatchTol;
    // Faces with a surface that did not become a trimmed face in the last run.
    int notConverted = 0;

    CMakeTight(GB::CSurfaceNet* net, bool heal, double dTol, double dMatchTol, bool approx);
    ~CMakeTight() override;
    CMakeTight(const CMakeTight&) = delete;
    CMakeTight& operator=(const CMakeTight&) = delete;

    // Recomputes the net's surfaces (draft unless approx), collects one
    // trimmed face per face with a NURBS surface in chain order with the
    // pieces of the net they share and, with heal, heals them along their
    // shared edges, judged on the Breps the commit makes of them: a face's
    // heal is kept while the face keeps its edges and its heal brings more
    // of its shared edges within dTol than it takes out, leaving none
    // farther beyond dTol than the farthest of them was found (see
    // healFaces); a face whose heal is not kept goes back to its shape
    // before the heal, one face at a time, until every healed face's is; a
    // face the heal moved off the mesh (healsOffTheMesh) goes back first.
    // "Heal failed for dTol=" then names each shared edge that ends beyond
    // dTol other than it was found. A cancel through the net's progress
    // sink stops the run; the net's draft flag and sink are put back either
    // way. Faces left out are announced in a message box.
    void work() override;

private:
    // Heals the faces; see work.
    void healFaces(CProgress* progress);
};

// A face that its heal moved off the mesh (its place among the faces), and
// how far from the mesh it lay as found and as healed.
struct HealOffTheMesh {
    int face = 0;
    double found = 0.0;
    double healed = 0.0;
};

// The healed faces that lie farther from the net's mesh than the fit's
// slack (kFitSlack tolerances of the net) where they were found within it,
// or farther than found (by more than a hundredth of the tolerance) beyond
// it, both measured as net/FaceMeshDistance.h measures: a face pulled to
// meet a neighbour that bulges off the mesh has left the mesh itself, and
// the seam it mends is no reason to keep that. found and healed hold the
// same faces in the same order; none without a mesh.
std::vector<HealOffTheMesh> healsOffTheMesh(const std::vector<std::unique_ptr<CFace>>& found,
                                            const Kor::List<CFace*>& healed,
                                            const GB::CSurfaceNet& net);

// The one line that names the faces whose committed shared edge lies
// farther apart than the tolerance, the farthest first: "Gap between faces
// a and b: g exceeds the tolerance t", and "; faces c and d: h" for each
// further pair. Empty when no gap exceeds it. Gaps index faceNumbers.
std::string gapLine(std::vector<SharedEdgeGap> gaps, const std::vector<int>& faceNumbers,
                    double tolerance);

// The one line that names the Brep farthest from the mesh beyond the fit's
// slack (kFitSlack x the fit tolerance), as the commit measured its Breps
// (each with its net face's number): "Brep off the mesh: face k lies d
// from it, t x the fit tolerance f where s are accepted", and "; faces
// i, j beyond it too" for the others. Empty when none lies beyond.
std::string brepOffTheMeshLine(const std::vector<std::pair<int, FaceMeshDistance>>& distances,
                               double tolerance);

// One shared edge of a face as the heal's judge weighs it: how far apart its
// two faces lay as found, and as they stand after the heal.
struct SeamChange {
    double found = 0.0;
    double healed = 0.0;
};

// The judge's rule over one face's shared edges: its heal is kept when it
// brings more of them within the tolerance than it takes out (none taken
// out, or fewer than it brings in) and leaves none farther beyond the
// tolerance than the farthest of them was found. An edge that moves by no
// more than a hundredth of the tolerance is not taken out by the trace (a
// face healed against its other neighbours moves the samples of an edge it
// did not heal by 2e-5 where the tolerance is 0.016). Where the heal is not
// kept, *told (when given) is the edge that tells why: the farthest edge
// taken out, else the farthest beyond the tolerance.
bool healKeptOnSeams(const std::vector<SeamChange>& seams, double tolerance,
                     std::size_t* told = nullptr);

// Prints, one line each, the regions the net's last topology step found
// closed but no face: "The region of corners ... is left without a face: "
// and why.
void sayRegionsWithoutFace(const GB::CSurfaceNet& net);

// The matching distance of the commit's healing: the larger of 4 times the
// net's deviation value and 100 times the document's tolerance (the first
// when they cannot be compared).
double commitMatchTolerance(double deviation, double tolerance);
