// COffset_Grid: the editable grid of poly-lines that the user sketches on the
// loaded mesh, and the base of the surface net (GB::CSurfaceNet). It holds
// the poly-lines and their shared grid points, the current poly-line, the
// undo list of grid edits with its checkpoint marks, the display container
// of every drawable of the grid and the net, the display and computation
// settings, and the window that is told of every change of the display.
//
// The virtual operations keep their order (the net overrides several).
// Operations that later parts of the net supply (topology, surfaces, mouse
// editing, grouped undo) answer false, 0 or null here.
//
// Ownership: the grid owns its poly-lines, its undo items, every grid point
// that has entered one of its poly-lines (deleted once, when the grid goes or
// deleteAll empties it, never while a poly-line or an undo item may refer to
// it), its display container with every entity in it, and its colour coding.
// The mesh and the progress sink are not owned.
// Thread-safety: none; user-interface thread only. Change notifications are
// synchronous: the window's handler runs before the setter returns.
#pragma once

#include "display/ColorCoding.h"
#include "display/OpenGLContainer.h"
#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "foundation/KorSubSet.h"
#include "foundation/Vertex.h"
#include "mesh/BaseMesh.h"
#include "net/PointList.h"
#include "platform/ChangeNotification.h"

#include <string>
#include <unordered_set>

class CProgress;
namespace Fenwo {
class NurbsSurf;
}
namespace GB {
class Face;
}
namespace Gridbench {
class CGridPoint;
}

// What a mouse entry learns of the cursor: the pick ray through it and the
// point of the scene under it.
struct CGridMouseEvent {
    CVertex<float, 3> rayOrigin;
    CVector<float, 3> rayDirection; // unit length
    CVertex<double, 3> point;
};

// A walk over a list of int lists (see COffset_Grid::nextChainPoint).
struct CChainCursor {
    const Kor::List<Kor::List<int>>* lists = nullptr;
    int list = 0;
    int item = 0;
    bool closed = false; // the first item was given again at the end
};

// Roles of the grid's first six display colours.
enum GridColour : int {
    PointListColour = 0,
    CurrentPointListColour = 1,
    VertexColour = 2,
    ModifiedPointListColour = 3,
    SelectedPointColour = 4,
    PointOnSegmentColour = 5,
};

class COffset_Grid {
public:
    Kor::List<UndoGridEdit*> undoList;      // oldest first; owned
    Kor::List<int> undoMarks;               // undo-list lengths at the checkpoints
    Platform::WindowToken window = nullptr; // told of display changes
    unsigned int message = 0;
    bool draftOnly = true;                    // first argument of computeSurfaces
    bool liveEdit = true;                     // live editing of the current poly-line
    COffset_PointList* segmentList = nullptr; // poly-line of the grabbed point on a segment
    // Grid points no poly-line uses any more, ordered by x, y, z (not owned).
    Kor::Set<CVertex<float, 3>> pointSet;
    Kor::List<Kor::List<int>> examinedCycles; // corner lists of the last collecting topology build
    int surfaceQuality = 2;                   // 1 "Fast Skin", 2 "Smooth Face"
    double surfaceTolerance = 0.1;
    bool simplify = false;      // knot removal in the mode-3 surfaces
    bool automaticCount = true; // automatic control-point count in the mode-3 surfaces
    double snapFactor = 0.5;    // re-use a grid point closer than snapFactor x pick radius
    std::string statusText = "nothing loaded";
    double tolerances[3] = {0.01, 0.1, 0.5};
    CProgress* progress = nullptr; // sink of the surface computation; not owned
    bool busy = false;             // a surface computation runs
    bool surfacesPending = false;  // an edit wants the surfaces updated
    bool showSurfacesFlag = true;
    bool topologySwitch = true;    // off: no topology build and no surface update after edits
    bool topologyPending = false;  // set by the net reader, cleared by the topology build
    int mode = 0;                  // 0..3
    bool constrainedStart = false; // set in mode 1
    bool wireframe = true;         // face surfaces drawn as lines
    bool editAllowed = true;
    bool markerColour = true;     // poly-line displays get their third colour
    bool topologyChanged = false; // an edit changed which poly-lines meet
    bool showPointLists = true;
    int pointSize = 4;
    int sideCount = 5;        // of the constrained start
    int numCtrlPts = 100;     // of the equispaced surfaces
    bool directCoons = false; // set in mode 2
    bool depthTest = false;   // of the grid's drawables
    std::string vertexListName = "VertexList";
    double alternativeSnapDistance = 0.1;
    float colours[11][4]; // the first six in the order of GridColour
    double pickRadius = 1.0;
    Mesh::CBaseMesh* mesh; // not owned
    COffset_PointList* currentPointList = nullptr;
    Kor::List<COffset_PointList*> pointLists; // owned
    COpenGLContainer displayContainer;
    CColorCoding colorCoding; // mode 3 over -0.15 .. 0.15, count 360
    // Points of the edit; none is owned through these (see the header note).
    Gridbench::CGridPoint* lastSnappedPoint = nullptr;
    Gridbench::CGridPoint* lastMouseHit = nullptr;
    Gridbench::CGridPoint* pendingStartPoint = nullptr;
    CVertex<float, 3>* selectedPoint = nullptr;
    CVertex<float, 3>* grabbedPoint = nullptr;     // the selected point on a segment
    CVertex<float, 3>* highlightedPoint = nullptr; // shown by "HighlightPoint"
    float lastPickPosition[3] = {0.f, 0.f, 0.f};

    explicit COffset_Grid(Mesh::CBaseMesh* mesh);
    COffset_Grid(const COffset_Grid&) = delete;
    COffset_Grid& operator=(const COffset_Grid&) = delete;

    // ---- Virtual operations, in slot order ------------------------------------
    // Hides the poly-lines, removes the markers, deletes poly-lines, undo
    // items and grid points.
    virtual ~COffset_Grid();
    // Makes pl current (hiding and showing both, the new one highlighted) and
    // notifies; false when it already was current.
    virtual bool setCurrentPointList(COffset_PointList* pl);
    // setCurrentPointList of getPointList(index) (of pl when it is one of the
    // grid's); false when there is none.
    virtual bool selectPointList(int index);
    virtual bool selectPointList(COffset_PointList* pl);
    // Appends the face surfaces to list; the number appended (none here).
    virtual int getSurfaces(Kor::List<Fenwo::NurbsSurf*>& list);
    // Recounts every grid point's use from the poly-lines.
    virtual void recountUse();
    virtual void reserved5(void*) {}
    virtual bool hasSurfaces() { return false; }
    virtual bool readFile(const char*) { return false; }
    // Asks "delete all point lists ?" when ask is set and there are
    // poly-lines (No keeps everything); removes every poly-line, undo item
    // and grid point and the error displays; notifies when there were
    // poly-lines. Returns the number of poly-lines removed.
    virtual int deleteAll(bool ask);
    virtual int emptyHook(int, int, int, int, int, int) { return 0; }
    // Removes the point under the cursor from its poly-line; true when
    // something changed.
    virtual bool onRButtonDown(const CGridMouseEvent& event, int flags);
    // Notifies and returns true when not busy and a mesh is set.
    virtual bool update();
    // Finds the net's closed regions; true when the faces changed. The grid
    // alone has no faces: false.
    virtual bool buildTopology(bool /*collectCycles*/) { return false; }
    // Recomputes the face surfaces; the grid alone has none.
    virtual void computeSurfaces(bool /*draftOnly*/, bool /*onlyModified*/, GB::Face* /*onlyFace*/)
    {
    }
    // Stores the flag and notifies; false (nothing sent) when it is unchanged.
    virtual bool setDepthTest(bool on);
    virtual void setWireframe(bool on);
    // Stores the mode and sets the flags of modes 1 and 2 (see the source).
    virtual void setMode(int newMode);
    // Hides or shows every face display of the container.
    virtual void showSurfaces(bool show);
    virtual int setSurfaceQuality(int quality);
    // Takes pl out of the grid into a CUndoRemovePointList; false when pl is
    // null or not in the grid.
    virtual bool removePointList(COffset_PointList* pl, bool rebuild);
    // Shows (creating its display) or hides pl; the number of its points when
    // shown, else 0.
    virtual int showPointList(COffset_PointList* pl, bool show, bool highlight);
    // showPointList of the current poly-line (highlighted); notifies when it
    // is the grid's only poly-line and the result is 1.
    virtual int redisplayCurrent(bool show);

    // ---- Settings ---------------------------------------------------------------
    // Sends the change message to the window when both are set; true when sent.
    bool notify();
    void setNotifyWindow(Platform::WindowToken w, unsigned int m)
    {
        window = w;
        message = m;
    }
    void setMesh(Mesh::CBaseMesh* m) { mesh = m; }
    void setProgress(CProgress* sink) { progress = sink; }
    void setNumCtrlPts(int n) { numCtrlPts = n; }
    void setDraftOnly(bool on) { draftOnly = on; }
    double getTolerance1() const { return tolerances[0]; }
    double getTolerance2() const { return tolerances[1]; }
    double getTolerance3() const { return tolerances[2]; }
    double getPickRadius() const { return pickRadius; }
    int getNumPointLists() const { return pointLists.count; }
    COffset_PointList* getSelectedSegmentList() const { return segmentList; }
    int getNextPointListNumber() const { return pointLists.count + 1; }
    // Rolls back the current poly-line's pending point (redisplaying it),
    // stores the flag; off also forgets the pending start point.
    void setLiveEdit(bool on);
    void setShowPointLists(bool show);

    // ---- Poly-lines ----------------------------------------------------------------
    void addUndo(UndoGridEdit* item);
    int indexOfPointList(const COffset_PointList* pl) const;
    // The poly-line at index modulo the count (a negative index wraps); null
    // without poly-lines.
    COffset_PointList* getPointList(int index) const;
    // pl when it is one of the grid's poly-lines, else null.
    COffset_PointList* getPointList(COffset_PointList* pl) const;
    // Appends pl (the grid owns it from then on); false when already there.
    bool addPointList(COffset_PointList* pl);
    COffset_PointList* firstPointListAt(const CVertex<float, 3>* point) const;
    int showAllPointLists(bool show);
    // Shows every poly-line through point (highlighting the current one);
    // the number of poly-lines, 0 for a null point.
    int showPointListsAt(bool show, const CVertex<float, 3>* point);
    // Removes the current poly-line; the last one left becomes current.
    bool deleteCurrentPointList();
    // Removes every poly-line of a single point; always 0.
    int removeSinglePointLists();
    // Turns a curve (a boundary curve of the mesh) into two-point poly-lines
    // following copies of it (setRibbonCurve, chord tolerance 0.1). Its ends
    // become grid points: an existing one within 0.001 is shared, else a
    // new one placed on the mesh. A CyclicEnd curve with n - p > p is first
    // cut at its middle knot into two pieces handled in turn ("settting a
    // periodic edge "), so that no poly-line starts and ends at one point;
    // a curve whose ends meet in one grid point adds nothing. The new
    // poly-line becomes current. The caller keeps its curve. False for a
    // null curve and when a piece fails, else true.
    bool addPointListsFromPoints(Fenwo::NurbsSurf* curve);

    // ---- Grid points -------------------------------------------------------------
    // The grid takes ownership of v when it is a grid point it does not own yet.
    void adoptGridPoint(CVertex<float, 3>* v);
    // Keeps a grid point no poly-line uses in the point set; prints
    // "double delete! a Vertex " when another grid point of the same position
    // is kept already. False for null.
    bool registerGridPoint(CVertex<float, 3>* point);
    // Takes a point out of the point set again (it is used once more).
    void unregisterGridPoint(CVertex<float, 3>* point);
    // The grid point nearest to point within maxDist over all poly-lines
    // (the current one skipped when asked, and while it has a pending
    // point), with its poly-line in *pl; null when none lies that close. The
    // nearest one beyond maxDist goes to *beyond (when given).
    CVertex<float, 3>* findNearestVertex(const CVertex<float, 3>& point, double maxDist,
                                         COffset_PointList** pl, bool skipCurrent,
                                         CVertex<float, 3>** beyond) const;
    // Counts the poly-lines through point into count (0 when exactly two
    // poly-lines end in each other); interior receives the last poly-line
    // that has the point inside. True when there is one.
    bool findListsAtVertex(const CVertex<float, 3>* point, COffset_PointList** interior,
                           int& count) const;
    // The point is inside one of its first and last poly-lines and an end of
    // the other.
    bool isTJunction(const CVertex<float, 3>* point) const;
    // The point is inside both of its first and last poly-lines.
    bool isCrossing(const CVertex<float, 3>* point) const;
    // At a T-junction of use count 2: the tangent of the poly-line ending
    // there, pointing into the junction. False otherwise.
    bool getStemTangent(const CVertex<float, 3>* point, CVector<float, 3>& out) const;
    // Splits pl (or the poly-line with a grid point within the pick radius
    // of point) at that grid point into two new poly-lines sharing it; the
    // first becomes current. False when there is nothing to split.
    bool splitPointList(const CVertex<float, 3>* point, COffset_PointList* pl);
    // Asks the poly-lines through a and b for their segment between them; the
    // number of points found (none). A buffer owned by the call is freed.
    int selectSegment(const CVertex<float, 3>* a, const CVertex<float, 3>* b,
                      const CVertex<float, 3>& point, float* buffer, bool ownsBuffer);
    // Every grid point of every poly-line (of poly-lines with a locked curve
    // only withCurves), ordered by x, y, z, each position once.
    Kor::SubSet<CVertex<float, 3>> collectGridPoints(bool withCurves) const;
    // The next joint of the lists joined end to start: every list without its
    // last item, then the first item once more, then 0.
    static int nextChainPoint(CChainCursor& cursor);
    // Distance of p from the line through a with unit direction d; FLT_MAX
    // when one of them is missing.
    static float distanceToLine(const CVertex<float, 3>* p, const CVertex<float, 3>* a,
                                const CVector<float, 3>* d);

    // ---- Selection and markers -------------------------------------------------
    // Forgets the grabbed point and its poly-line and removes its marker;
    // true when there was one of them.
    bool clearSelectedPointOnSegment();
    // Looks up the vertex-list display; changes nothing.
    void refreshVertexList();
    // The selected point becomes point (shown by "SelectedPoint"); without a
    // current poly-line the first one through point becomes current.
    void highlightPoint(CVertex<float, 3>* point);
    bool showSelectedPoint(bool show);
    bool clearSelectedPoint();
    void clearHighlightPoint();

    // ---- Edits that later parts of the grid supply ----------------------------
    // The left-button edit at the cursor; true when something changed.
    bool editAtMouseDown(const CGridMouseEvent& event, int flags);
    // Rolls the grid back to its last checkpoint.
    void undo();
    // Commits the pending insert or snap of a mouse-up (with insertIntoCurrent
    // the snapped point replaces the selected one); true when the grid changed.
    bool onMouseUp(bool insertIntoCurrent);
    // Inserts a grid point where the grabbed point on a segment lies and
    // selects it; true when inserted.
    bool snapPoint();
    // Splits a poly-line at point (null: the snapped or grabbed point); true
    // when split.
    bool splitAtPoint(CVertex<float, 3>* point);
    // Joins the poly-lines that end at point (null: the grabbed point); true
    // when a join was tried.
    bool joinAtPoint(CVertex<float, 3>* point);
    // The Delete key: removes the selected grid point, else the current
    // poly-line; true when something was removed.
    bool deleteSelection();
    // Updates the direction vectors of the poly-line's points; how many changed.
    int updateDirectionsOfPointList(COffset_PointList* pl);

protected:
    // Empties the poly-lines, undo items, grid points and point pointers.
    void deleteGridContents();
    // Asks "delete all point lists ?" (Yes and No); true for Yes.
    static bool confirmDeleteAll();

private:
    std::unordered_set<Gridbench::CGridPoint*> ownedGridPoints;
};

// Undo item of a removed poly-line: owns the poly-line until undone.
class CUndoRemovePointList : public UndoGridEdit {
public:
    COffset_PointList* pointList; // owned while the item holds it
    bool makeCurrent;

    // Drops pl's cached curve (a locked curve stays).
    CUndoRemovePointList(COffset_PointList* pl, bool current);
    ~CUndoRemovePointList() override;
    // Gives the poly-line back to the grid, makes it current when asked and
    // shows it.
    void undo(COffset_Grid* grid) override;
};

// Undo item of a dragged grid point: the point and a copy of its hit record.
class CUndoMoveVertex : public UndoGridEdit {
public:
    Gridbench::CGridPoint* point;
    Mesh::CBaseMesh::CBaseHitInfo* saved; // owned

    CUndoMoveVertex(Gridbench::CGridPoint* p, const Mesh::CBaseMesh::CBaseHitInfo& hit);
    ~CUndoMoveVertex() override;
    // Puts the point back where it was.
    void undo(COffset_Grid* grid) override;
};
