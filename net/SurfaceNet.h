// GB::CSurfaceNet: the one surface net of the system: the editable grid of
// poly-lines on the loaded mesh (its COffset_Grid part) together with the
// faces its closed regions become, their surfaces, and the net's own
// drawable (its COpenGLEntity part, stored in the grid's display container),
// which shows the surfaces of the faces around the current poly-line.
//
// The display of a face is found in the container by its name, "Face %1i"
// formatted with the face's serial number.
// While a surface computation runs (the grid is busy) the editing entries
// return at once.
//
// Ownership: the net owns its faces (and through them their loops and,
// depending on their state, their surfaces) and its colour coding; the grid
// part owns everything listed in net/OffsetGrid.h. Deleting the net through
// either base deletes the whole net.
// Thread-safety: none; user-interface thread only.
#pragma once

#include "display/ColorCoding.h"
#include "display/OpenGLEntity.h"
#include "foundation/Histogram.h"
#include "foundation/KorSubSet.h"
#include "net/FaceRecords.h"
#include "net/FaceUndo.h"
#include "net/OffsetGrid.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace GB {

class CSurfaceNet : public COffset_Grid, public COpenGLEntity {
public:
    bool savedMark = false;                        // the net text was written
    std::unique_ptr<CColorCoding> faceColorCoding; // mode 1 over -0.1 .. 0.1
    Face* firstFace = nullptr;                     // head of the owned chain of faces
    bool fittingOff = false;                       // the surface update fits nothing to the mesh
    bool surfaceMeshDistance = false;              // the options dialog's "Surf Mesh Distance"
    // read puts junctions where the text's lines cross (an import; an open
    // reads a document's net as it was saved).
    bool junctionsAtCrossingsOnRead = false;

    // An empty net without a mesh; its drawable is put into the container.
    CSurfaceNet();
    // Removes every face and the error display, takes the drawable out of
    // the container, then destroys the grid.
    ~CSurfaceNet() override;

    // ---- Operations of the grid the net adds to or replaces -------------------------
    // Marks the net's drawable for recompilation, then the grid's operation.
    bool setCurrentPointList(COffset_PointList* pl) override;
    // Appends the NURBS surface of every face not in state Ribbon; the number
    // appended.
    int getSurfaces(Kor::List<Fenwo::NurbsSurf*>& list) override;
    // True when any face holds a surface, whatever its state.
    bool hasSurfaces() override;
    // Reads the net text from the named file in place of the net's
    // contents: the text is read (read) into a net of its own on this net's
    // mesh, with this net's switches and settings, and only when that read
    // is whole are this net's poly-lines, faces and undo items replaced by
    // what was read, with the settings the text carried. False, with the
    // net as it was, for a file that cannot be opened ("cannot open the net
    // file " and its name) and for a text the reader refuses, finds cut
    // short or loses a face of.
    bool readFile(const char* name) override;
    // readFile, where the net's former contents are not deleted but moved
    // into `replaced` (see moveContentsInto) when the read takes the net's
    // place; `replaced` is left as it was otherwise.
    bool importFile(const char* name, std::unique_ptr<CSurfaceNet>& replaced);
    // Moves the net's contents into `into`, a net of its own that is not
    // shown (made for this, on this net's mesh): the poly-lines with their
    // grid points, the current one, the faces with their displays, the
    // coedges, the undo items and marks and the fitting settings; the
    // poly-lines' displays and the markers go. The net is left empty, as
    // deleteAll leaves it.
    void moveContentsInto(CSurfaceNet& into);
    // Empties the net and takes back what moveContentsInto moved into
    // `from`, undo items, marks and current poly-line included, showing the
    // poly-lines when they are shown; `from` is left empty.
    void restoreContents(CSurfaceNet& from);
    // readFile's two halves, for a text read ahead into a net of its own
    // (a document's net, read whole before the open changes anything): the
    // net that will read takes this net's switches and settings, and once
    // read it gives its contents to this net in place of this net's
    // poly-lines, faces and undo items.
    void prepareTextRead(CSurfaceNet& read) const { read.copyReadSettings(*this); }
    void takeTextRead(CSurfaceNet& read)
    {
        deleteAll(false);
        takeContents(read);
    }
    // With ask and no poly-lines: 0 at once. Otherwise removes every face and
    // all the grid holds, without a question; returns the number of
    // poly-lines there were.
    int deleteAll(bool ask) override;
    // The grid's right-button edit, then the topology and surfaces when it
    // changed something; when it changed nothing, the face pick at the
    // cursor's window position ("no pick at" x y when nothing is hit).
    bool onRButtonDown(const CGridMouseEvent& event, int flags) override;
    // False while busy; true without rebuilding while "Y" is held; otherwise
    // rebuilds topology and surfaces and runs the grid's update.
    bool update() override;
    // Ends an edit or undo: when the grid changed since the last topology
    // step or the last surface update of the whole net (the edit counts
    // differ), points still pending are taken back, the topology is built
    // (when it is behind) and the modified faces are computed, so that the
    // faces are those of the net as it stands, with their surfaces, whatever
    // the edit rebuilt on its way. After an undo (afterUndo) only the faces
    // left without a surface are computed: the others stand as they stood
    // before the edits undone (a face those edits changed was recorded and
    // is given back), whatever points the undo marked changed on its way.
    // False, doing nothing, while busy, with the topology switch off or
    // when no edit is left to catch up.
    bool updateAfterEdit(bool afterUndo = false);
    // The mesh under the net changed (another mesh, or the same one with
    // other facets): the net goes onto m, every curve of its poly-lines that
    // is not locked is fitted anew on m when next needed, as a net read on
    // m fits them, and the topology step and the surface update of every
    // face follow, as after an edit. False, with the net on m and its
    // faces marked for the next update, while busy, with the topology
    // switch off or without a mesh; false at once for an empty net.
    bool followMesh(Mesh::CBaseMesh* m);
    // The topology step: the closed regions of the poly-line graph become
    // faces (see net/Topology.h). False, with only the use counts recounted,
    // while the topology switch is off.
    bool buildTopology(bool collectCycles) override;
    // The regions the last topology step found closed but no face, each
    // once: their corners (the junctions' numbers, in order round the
    // region) and why it is no face.
    struct RegionWithoutFace {
        std::string corners;
        std::string cause;
    };
    std::vector<RegionWithoutFace> regionsWithoutFace;
    void computeSurfaces(bool draftOnly, bool onlyModified, Face* onlyFace) override;
    // The grid's switch, then every face display and poly-line display takes
    // it; false (nothing notified) when unchanged.
    bool setDepthTest(bool on) override;
    // Stores the switch; every face surface display draws as lines when on.
    void setWireframe(bool on) override;
    // A new value resets the faces (mode 0, computed states Naked) without
    // recomputing, then is stored.
    int setSurfaceQuality(int quality) override;
    // Removes the face whose surface is the poly-line's locked curve, then
    // the grid's removal, then the topology (and, with rebuild, the surfaces).
    bool removePointList(COffset_PointList* pl, bool rebuild) override;

    // ---- Operations the net adds, in slot order ----------------------------------------------
    virtual void showPointListPlain(COffset_PointList* pl, bool show);
    // Stitches the trimmed faces into a skin and heals it; true when done.
    virtual bool healFaces();
    // Sets the grid's mode, every face's computed state back to Naked and,
    // with recompute (and the topology switch on), recomputes all faces.
    virtual void resetFaces(int newMode, bool recompute);
    // Reads the net text and appends its grid points and poly-lines to the
    // net (the caller empties the net first); from version 3 on the topology
    // is rebuilt and every stored face's states, surface and identity move
    // onto the face with the same corners. A stored face whose loop finds
    // none loses its surface and states: the faces of the net read that no
    // stored face took get the states of a new region's face, without
    // surface, so that the next surface update computes them as after an
    // edit, and one line says so ("failed to relocate the loop of <k> stored
    // faces: their faces are rebuilt from the net read"); lostStoredFaces()
    // counts them. So is a stored trimmed face read without every trim curve
    // written ("the trimmed faces of <k> stored faces were read without every
    // trim curve: their faces are rebuilt from the net read"). True only
    // when the text was read whole and every stored loop found its face.
    // The whole text is read before anything enters the net, so a text that
    // is not a whole net text is refused with false, the net unchanged,
    // lostStoredFaces() 0 and one line "line <n>: <what was expected there
    // and what was found>: the text is refused.": a section or record
    // missing or cut short (fewer records than its count declares, "the
    // text ends after 2 of the 6 poly-lines declared on line 30"), more
    // records than declared or anything after the last face record but one
    // word, a field not of its type (a count that is not a whole number from
    // 0 to 2147483647, an index that is no int, a flag other than 0 or 1, a
    // coordinate that is no finite float), a node numbered out of its place,
    // a version newer than 7, a curve or face record that cannot be read, a
    // loop stored twice, and a poly-line that no net holds: an entry naming
    // no node read before it ("poly-line <n> of the net text names node
    // <i>, but the text has <count> nodes before it"), or more entries than
    // twice its points ("... passes its <d> points <k> times, a poly-line
    // passes a point twice at most"), and, over a mesh, a point of a
    // poly-line more than 1000 times the mesh's box diagonal from the box
    // ("line <n>: node record <k> lies <d> from the mesh's box, ...").
    // Stray marks between records are passed over; words are compared
    // without case; before version 3 a Topology section is not read. False
    // with the whole net built and lostStoredFaces() above 0 when a stored
    // loop found no face or a trimmed face lost a trim curve. Poly-lines over the same entries are
    // fitted once before the topology step (fitPolyLineCurves).
    virtual bool read(std::istream& in);
    // The stored faces of the last read whose loop found no face of the net
    // read, or whose trimmed face lost a trim curve (their faces rebuilt
    // from the net); 0 for a text refused.
    int lostStoredFaces() const { return lostStoredFaceCount; }

    // ---- The net's drawable
    // ---------------------------------------------------------------------- Draws on the top layer
    // without depth test: the surfaces of the faces whose first loop runs along the current
    // poly-line.
    unsigned int draw() override;

    // ---- Further operations --------------------------------------------------------------------
    // The host's button down: the grid's edit, then the topology (when the edit changed which
    // poly-lines meet) and the surface update.
    bool onMouseDown(const CGridMouseEvent& event, int flags);
    // Sets the unmatched mark of every loop of every face, and lists the
    // loops by their corner sets for findMatchingLoop.
    void markAllLoopsUnmatched();
    // Gives the cycle to the first loop still marked unmatched whose corner
    // set equals corners (the loop keeps its face, states and surface and
    // takes the coedge list), or makes a new face with a new loop at the head
    // of the chain (requested ComplexApprox, computed Naked). True when a new
    // face was made. The loops marked are looked up in the list the last
    // markAllLoopsUnmatched made: between the two no loop may go.
    // The loop that took the cycle goes to *taken when given. Only a face's
    // first loop takes a cycle: its holes are found anew.
    bool findMatchingLoop(const GraphAlgorithm::Cycle& c, const Kor::List<CCoEdge*>& coedges,
                          const Kor::Set<std::intptr_t>& corners, Loop** taken = nullptr);
    // Removes the loops still marked unmatched, except in Ribbon faces; a
    // face whose first loop goes is removed as a whole. The list of marked
    // loops is emptied.
    void removeUnmatchedLoops();
    // The number of faces holding a surface. With a histogram, every face is
    // also counted under the number of distinct poly-lines of its first loop
    // (0 without a loop).
    int countSurfaces(Kor::Set<HistogramItem>* histogram);
    // Unlinks and deletes one face with its display (see the source for
    // which surfaces go with it); false for null or a face not in the net.
    bool removeFace(Face* face);
    // Hides or shows every poly-line and vertex-list display.
    void showGridEntities(bool show);
    // The face surface under window position (x, y); no pick is made (false).
    bool pickFaceSurfaces(int x, int y);
    // Writes "Face <serial>", the name of face's display, into buffer (size
    // bytes); nothing for a null buffer or face.
    static void getFaceDisplayName(const Face* face, char* buffer, std::size_t size);
    // The display of face in the container, or null.
    COpenGLEntity* findFaceDisplay(const Face* face) const;

    // Face display:
    // Gives the face of loop its trimmed face (null included; a previous,
    // different one is deleted) and, with show, its display "Face <serial>"
    // (made on the first call, refreshed later); then updateFaceBoundary.
    // False for a null loop.
    bool updateFaceDisplay(CFace* trimmed, Loop* loop, bool show);
    // Gives face a trimmed face kept aside (a stored or undone one) with its
    // surface, and shows it, the trimmed face keeping its own tessellation
    // settings.
    void restoreTrimmedFace(Face* face, CFace* trimmed);
    // Brings the loop's coedges up to date with its face's surface: a
    // Trimmed face puts its trim curves on them; any other face has them
    // cleared, its corners matched to the surface's corners and the sides
    // between them walked, reporting "isSharp! from" the segments along
    // poly-lines with a valid attached curve. False without a loop, a face
    // or a NURBS surface of the face.
    bool updateFaceBoundary(Loop* loop);

    // ---- Net text ---------------------------------------------------------------------------
    // Writes the net text: version 7 (2 with the topology switch off), the
    // grid points by position, the poly-lines, and from version 3 on the
    // settings and every face that is not Ribbon, faces and loops in an
    // order that depends only on the net's shape. Points still pending at
    // the cursor are taken back first (only placed points are written), then
    // poly-lines of a single point are removed. At precision 16 in the
    // classic locale (the stream's own are restored). A poly-line's node
    // indices stand on one line, or, past kIndicesOnOneLine of them, on
    // lines of kIndicesOnOneLine (so that no line nears the reader's bound
    // on a line's length). Sets the saved mark; true.
    bool write(std::ostream& out);
    static constexpr int kIndicesOnOneLine = 100000;
    // Gives face the surface (deleting its former one, emptying its error
    // points) and shows it as "Face <serial>": an existing surface display
    // takes the surface, otherwise a new white one is made. Nothing for a
    // null face.
    void setFaceSurface(Face* face, Fenwo::NurbsSurf* surface);

    // ---- Surface update ----------------------------------------------------------------------
    // The loops to recompute, Blending faces last: with onlyFace its loops;
    // otherwise the modified loops and, unless onlyModified, those whose
    // face's requested and computed states differ. Loops marked failed
    // whose points did not change, and the faces the last undo gave back
    // (giveBackFaceStates), are not taken.
    Kor::List<Loop*> collectLoopsToUpdate(bool onlyModified, Face* onlyFace);
    // Removes the face's display and deletes its surface; a face that holds
    // a trimmed face loses it too (with the surface it owns). False for null
    // and Ribbon faces and for faces without surface (display removed all
    // the same for the latter).
    bool clearFaceSurface(Face* face);
    // True when some poly-line carries a locked curve or a valid curve.
    bool hasAttachedCurves() const;
    // Gives every loop its coedges anew: one per run of its cycle along one
    // poly-line, shared with the loop on the other side through the net's
    // coedge set (the loop that runs the poly-line by ascending index is the
    // left loop). Each face's NURBS surface is then placed on its coedges,
    // unless `place` is false: the runs alone, for a caller that reads which
    // faces share which runs (an update of the surfaces makes them anew).
    void rebuildCoEdges(bool place = true);
    // Places the face's NURBS surface on the coedges of its first loop:
    // each takes that side's position and interval on the surface; an end
    // within a fifth of the net's tolerance of a corner control point stands
    // at that corner.
    void placeSurfaceOnCoEdges(Face* face);

    // The net's log "c:/tmp/SurfaceNet.log" in the diagnostics folder, open
    // while FENWO_LOGGING is set (writes are dropped otherwise).
    std::ostream& log();

    // ---- Undo of the faces (net/FaceUndo.h) --------------------------------------------------
    // Records the face's state as an undo item of the last mark, the first
    // time the edits since the mark change the face (the update after an
    // edit recomputes it, or a topology step removes it); nothing without a
    // mark, while records are held (faceRecordsHeld), for a Ribbon face or
    // a face already recorded since the mark. While an undo's topology step
    // runs the record goes to faceStatesAsTheyStood instead, once a face.
    void recordFaceState(Face* face);
    // recordFaceState for every face (a load that replaces the mesh under
    // all of them).
    void recordFaceStates();
    // After an undo's topology step: each record the undo handed over
    // (faceStatesToGiveBack, newest first) whose mesh is the net's mesh as
    // it stands goes to the face whose first loop walks the record's pieces
    // (FaceStateRecord::pieces): states, surface or trimmed
    // face with their display, statistics, the loop's failed mark and the
    // face's identity. A face given more than one record takes the oldest,
    // its state before all the edits undone; a face given none takes the
    // record of faceStatesAsTheyStood that walks its region, if any. The
    // faces given back are not recomputed by the update that follows. The
    // records are used up; the number of faces given back.
    int giveBackFaceStates();
    // Records handed over by the undo items of the last undo, newest first.
    std::vector<std::unique_ptr<FaceStateRecord>> faceStatesToGiveBack;
    // The undo's topology step may hand a face's region to another region
    // with the same corners (the lens of three poly-lines between two
    // junctions) or take it away: the faces it changes so are recorded here
    // as they stood, not as undo items. A face the edits undone never
    // changed has no undo item; its record from here goes back to the face
    // whose first loop then walks its region, after the undo items' records
    // and only to a face none of them went to.
    std::vector<std::unique_ptr<FaceStateRecord>> faceStatesAsTheyStood;
    // While above 0 recordFaceState records nothing (the net emptied,
    // destroyed or following another mesh, an undo running), but for the
    // undo's topology step, which keeps what it changes in
    // faceStatesAsTheyStood.
    int faceRecordsHeld = 0;

    // Every coedge of the loops, ordered by CCoEdge::operator<; owned.
    Kor::SubSet<CCoEdge> coedges;

private:
    // Gives the face the holes of the cycles (see Face::holes); a face whose
    // holes are not those it had, or moved, loses its surface to be computed
    // again, a Trimmed face as ComplexApprox.
    void takeHoles(Face& face, const std::vector<GraphAlgorithm::Cycle>& cycles);
    // The serials of the faces recorded since the last mark, in the undo
    // stretch recordedStretch; and of the faces the last undo gave back.
    std::set<long> facesRecorded;
    long recordedStretch = -1;
    std::set<long> facesGivenBack;
    // While the undo's topology step runs: recordFaceState keeps each face
    // once in faceStatesAsTheyStood (by serial, facesKept).
    bool keepingFaceStates = false;
    std::set<long> facesKept;
    // The stored faces of the last read whose loop found no face.
    int lostStoredFaceCount = 0;
    // The loops markAllLoopsUnmatched marked, by their corner ids, each list
    // in the chain's order; empty outside a topology step.
    std::map<std::vector<std::intptr_t>, std::vector<Loop*>> unmatchedLoops;
    // The faces of the net by the corner ids of their first loops' cycles,
    // walked from the least id on (see loopWalkKey), each list in the
    // chain's order.
    using FacesByWalk = std::map<std::vector<std::intptr_t>, std::vector<Face*>>;
    FacesByWalk facesByWalk() const;
    // Relocates one stored face of the net text onto the face with the same
    // corners, looked up in faces; nodes maps node indices to grid points.
    // Faces with the same corners (two regions between the same two
    // junctions) are told apart by the poly-lines along their loops, and a
    // face another stored loop took in this read (in taken, which receives
    // the faces found) is passed over while another one matches. False when
    // a loop of it found no face.
    bool relocateStoredFace(Face* stored, const Kor::List<Gridbench::CGridPoint*>& nodes,
                            const FacesByWalk& faces, std::set<const Face*>& taken);
    // Gives every poly-line without a curve its curve (interpolate), as the
    // topology step would, fitting each run of entries once: a poly-line
    // over the same points as one before it (a line drawn again) takes a
    // copy of that one's curve and parameters.
    void fitPolyLineCurves();
    // The coedge block of version-3 texts as read (per coedge its two node
    // indices), looked up among the loops' coedges ("vlist out of range. ",
    // "relocation failure for coedges. ").
    void checkCoEdgeBlock(const std::vector<std::pair<int, int>>& block,
                          const Kor::List<Gridbench::CGridPoint*>& nodes);
    // Deletes every coedge and empties the loops' coedge lists.
    void deleteCoEdges();
    // The settings a net text read may change or depend on, and the
    // switches and display options the read uses, taken from another net.
    void copyReadSettings(const CSurfaceNet& from);
    // The fitting settings a net text carries (sides, control points,
    // tolerances, quality, colour range), taken from another net.
    void copyFittingSettings(const CSurfaceNet& from);
    // Takes the contents of a net that read a text (its poly-lines with
    // their grid points, its faces with their displays, its coedges and the
    // settings the text carried) into this net, emptied before (deleteAll).
    void takeContents(CSurfaceNet& read);

    std::ofstream netLog;
    bool netLogOpened = false;
};

// Whether the stored loop entries (pairs of corner id and a second value
// that is not compared) name the targets of the cycle's half-edges in
// order, starting anywhere: false for an empty cycle, a list that is not
// two values per half-edge, or the cycle walked the other way.
bool matchLoopUpToRotation(const GraphAlgorithm::Cycle& cycle, const Kor::List<int>& pairs);

// The ids in the order of the least rotation (lexicographically) of their
// cycle: two walks that are rotations of one another have one key.
std::vector<std::intptr_t> loopWalkKey(std::vector<std::intptr_t> ids);

// The display colour of a face by its requested state (rgba). Blending has
// its own colour only with blendingColour; otherwise it shares the colour of
// the states without one.
void faceStateColour(FaceState state, bool blendingColour, float rgba[4]);

// Deletes the face's trimmed face and nulls the pointer; the face's surface
// is nulled first when it is the trimmed face's own. Nothing for null.
void releaseTrimmedFace(Face* face);

// Makes or refreshes the surface display of the loop's face (the face's
// surface when it has none yet); "redisplay id=" and the name for a
// display that takes the new surface. With fitting on it is coloured by the
// face's requested state. False without surface or loop.
bool redisplayFace(CSurfaceNet* net, Fenwo::NurbsSurf* surface, Loop* loop);

// The blend of the loop's face from its blend-boundary coedges and the
// mesh: with two or more of them the blend becomes the face's surface and
// its requested state Blending; else "not enough CONS found. actual=" and
// the number.
void buildBlendSurface(Loop* loop, Mesh::CBaseMesh* mesh);

} // namespace GB
