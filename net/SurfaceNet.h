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
#include "net/FaceRecords.h"
#include "net/OffsetGrid.h"

#include <cstddef>
#include <fstream>
#include <iosfwd>
#include <memory>

namespace GB {

class CSurfaceNet : public COffset_Grid, public COpenGLEntity {
public:
    bool savedMark = false;                        // the net text was written
    std::unique_ptr<CColorCoding> faceColorCoding; // mode 1 over -0.1 .. 0.1
    Face* firstFace = nullptr;                     // head of the owned chain of faces
    bool fittingOff = false;                       // the surface update fits nothing to the mesh
    bool surfaceMeshDistance = false;              // the options dialog's "Surf Mesh Distance"

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
    // Reads the net text from the named file; a file that cannot be opened
    // prints a message and changes nothing (false).
    bool readFile(const char* name) override;
    // With ask and no poly-lines: 0 at once. With ask, the grid's question
    // first (No: 0, nothing changes). Then removes every face and all the
    // grid holds; returns the number of poly-lines there were.
    int deleteAll(bool ask) override;
    // The grid's right-button edit, then the topology and surfaces when it
    // changed something; when it changed nothing, the face pick at the
    // cursor's window position ("no pick at" x y when nothing is hit).
    bool onRButtonDown(const CGridMouseEvent& event, int flags) override;
    // False while busy; true without rebuilding while "Y" is held; otherwise
    // rebuilds topology and surfaces and runs the grid's update.
    bool update() override;
    // The topology step: the closed regions of the poly-line graph become
    // faces (see net/Topology.h). False, with only the use counts recounted,
    // while the topology switch is off.
    bool buildTopology(bool collectCycles) override;
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
    // Reads the net text; true when read.
    virtual bool read(std::istream& in);

    // ---- The net's drawable
    // ---------------------------------------------------------------------- Draws on the top layer
    // without depth test: the surfaces of the faces whose first loop runs along the current
    // poly-line.
    unsigned int draw() override;

    // ---- Further operations
    // ------------------------------------------------------------------------ The host's button
    // down: the grid's edit, then the pending surface update.
    bool onMouseDown(const CGridMouseEvent& event, int flags);
    // Sets the unmatched mark of every loop of every face.
    void markAllLoopsUnmatched();
    // Gives the cycle to the first loop still marked unmatched whose corner
    // set equals corners (the loop keeps its face, states and surface and
    // takes the coedge list), or makes a new face with a new loop at the head
    // of the chain (requested ComplexApprox, computed Naked). True when a new
    // face was made.
    bool findMatchingLoop(const GraphAlgorithm::Cycle& c, const Kor::List<CCoEdge*>& coedges,
                          const Kor::Set<std::intptr_t>& corners);
    // Removes the loops still marked unmatched, except in Ribbon faces; a
    // face whose first loop goes is removed as a whole.
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
    // Brings the loop's coedges up to date with its face's surface: a
    // Trimmed face puts its trim curves on them; any other face has them
    // cleared, its corners matched to the surface's corners and the sides
    // between them walked, reporting "isSharp! from" the segments along
    // poly-lines with a valid attached curve. False without a loop, a face
    // or a NURBS surface of the face.
    bool updateFaceBoundary(Loop* loop);

    // The net's log "c:/tmp/SurfaceNet.log" in the diagnostics folder, open
    // while FENWO_LOGGING is set (writes are dropped otherwise).
    std::ostream& log();

private:
    std::ofstream netLog;
    bool netLogOpened = false;
};

} // namespace GB
