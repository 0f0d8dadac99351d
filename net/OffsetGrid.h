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

#include <memory>
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
    // Before the cursor's first hit sets it from the view's scale.
    static constexpr double kDefaultPickRadius = 1.0;
    double pickRadius = kDefaultPickRadius;
    Mesh::CBaseMesh* mesh; // not owned
    COffset_PointList* currentPointList = nullptr;
    Kor::List<COffset_PointList*> pointLists;        // owned
    Kor::List<COffset_PointList*> retiredPointLists; // owned; taken out by undo
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
    // Recorded edits and undos of the grid so far, and that count when the
    // topology step and the surface update of the whole net last ran: an
    // edit either has not seen yet leaves the counts apart (see
    // GB::CSurfaceNet::updateAfterEdit).
    long editCount = 0;
    long topologyEditCount = -1;
    long surfaceEditCount = -1;
    // Changes whenever the items after the last mark begin anew: a mark is
    // made, an undo runs or the grid is emptied. Records made once per
    // mark (the net's face states) compare it.
    long undoStretch = 0;

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
    // The right-button edit: removes the point under the cursor
    // (removePointAt). False when busy, without mesh, while editing is not
    // allowed or when nothing was removed.
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
    // A checkpoint: the items recorded from now on up to the next mark are
    // what one undo takes back. With `from` (an earlier undo-list length,
    // the mark of a step this one finishes) the undo of this mark takes
    // back the items from there on: the whole step, whose own mark then
    // encloses nothing.
    void addUndoMark();
    void addUndoMark(int from);
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
    // first becomes current. False when there is nothing to split: no such
    // point, or an end of an open poly-line.
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

    // ---- Picking ------------------------------------------------------------------
    // Everything under the pick ray (origin, unit direction): first the mesh
    // (near the tangent plane of the last mouse hit when there is one, moved
    // onto the ray's hit nearest it when the move reaches that far; else
    // along the ray), then, unless meshOnly, the grid point nearest that
    // mesh hit (nearest the ray without one). The pick radius is taken anew
    // from the current view first: its world width / 75 (a width <= 0 keeps
    // the radius). A grid point within the pick radius wins: its position,
    // facet, normal and values go into out. Otherwise, with allowMesh (forced
    // by meshOnly), the mesh hit goes into out. True when something went into
    // out; the last pick position is then its point. With nearest the mesh
    // hit nearest the origin is taken, else the first reported.
    bool pickPoint(const CVertex<float, 3>& origin, const CVector<float, 3>& direction,
                   Gridbench::CGridPoint& out, bool allowMesh, bool meshOnly, bool nearest);
    // The mesh's hits along the ray (mode: hit from both sides; retry: the
    // nearest facet when the ray meets none); the one nearest the origin with
    // nearest, else the first, into out. count receives the number of hits;
    // false (out unchanged) without any.
    static bool pickMeshAlongRay(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& origin,
                                 const CVector<float, 3>& direction,
                                 Mesh::CBaseMesh::CBaseHitInfo& out, int mode, bool nearest,
                                 bool retry, int& count);
    // With a current poly-line: the grid point within the pick radius of the
    // pick becomes the selected point, its poly-line current unless the
    // current one holds it. The highlight point is cleared first. False when
    // nothing was selected.
    bool selectPointAt(const CVertex<float, 3>& origin, const CVector<float, 3>& direction);
    // What the cursor hovers over, point being the scene point under it and
    // direction the ray's: a grid point of another poly-line within the pick
    // radius (or beyond it but within the pick radius of the ray line), else
    // the curve of another poly-line within the pick radius, becomes the
    // point on a segment (setSelectedPointOnSegment; a grid point only when
    // within the pick radius of point). pl and gridPoint receive what was
    // found (null when nothing). True when something was found.
    bool hoverPick(const CVertex<float, 3>& point, const CVector<float, 3>& direction,
                   COffset_PointList*& pl, CVertex<float, 3>*& gridPoint);
    // The poly-line whose curve passes nearest the ray, within pick radius x
    // 15 (within the pick radius only when asked), the current one skipped
    // when asked; poly-lines without a curve, or whose curve's box lies far
    // from the ray, are not looked at. The winner keeps the picked parameter
    // of its curve. Null when none.
    COffset_PointList* findPointListNear(const CVertex<float, 3>& origin,
                                         const CVector<float, 3>& direction, bool withinRadius,
                                         bool skipCurrent);
    // Makes the poly-line whose curve passes nearest the ray current, clears
    // the highlight point and notifies. False when busy, without mesh, while
    // editing is not allowed or when no curve is near.
    bool pickPointListAt(const CVertex<float, 3>& origin, const CVector<float, 3>& direction);
    // The grabbed point becomes gridPoint and the segment poly-line pl; the
    // marker "SelectedPointOnSegment" is shown at gridPoint (or at point
    // without one) unless gridPoint is the selected point (a null gridPoint
    // with no selected point counts as the same).
    void setSelectedPointOnSegment(COffset_PointList* pl, const CVertex<float, 3>& point,
                                   CVertex<float, 3>* gridPoint);

    // ---- Edits ----------------------------------------------------------------------
    // Every edit records undo items, so that undo() restores the grid to its
    // last checkpoint. The left-button edit at the cursor: the first click on
    // an empty grid starts a poly-line (building the mesh's facet hash when
    // missing); a click within the pick radius of a grid point selects it;
    // any other click adds a point to the current poly-line (a point it
    // refuses starts a poly-line of its own while live editing is on), and
    // an end that then turns by more than 72 degrees is split off. True when
    // something changed; false when busy, without mesh or while editing is
    // not allowed.
    bool editAtMouseDown(const CGridMouseEvent& event, int flags);
    // A new grid point at the pick (mesh or grid point) given to addGridPoint
    // (a new poly-line with newList, else the current one), then the
    // directions of the current poly-line's points. False when nothing was
    // picked or added.
    bool addPickedPoint(const CVertex<float, 3>& origin, const CVector<float, 3>& direction,
                        bool newList);
    // Puts point into a new poly-line (newList) or the current one. A grid
    // point within pick radius x snap factor (the alternative snap distance
    // with useAlternative) is re-used instead: its use count grows and the
    // topology counts as changed. When point cannot be placed and live
    // editing is on, a new poly-line is tried once. The poly-line becomes
    // current and its point nearest point the selected point. The caller
    // keeps a point that did not enter the grid. True when placed.
    bool addGridPoint(CVertex<float, 3>* point, bool newList, bool useAlternative,
                      const CVector<float, 3>* direction);
    // The grid point within the pick radius of point, when the current
    // poly-line holds it, gets direction 1 = unit(tangent x mesh normal) and
    // direction 2 its opposite, each keeping its set flag. False otherwise.
    bool setDirectionsAt(const CVertex<float, 3>& point);
    // setDirectionsAt, then the set flags of an inner point of the current
    // poly-line: at a T-junction only the direction nearer the stem's keeps
    // its flag (direction 1 on a tie), at a crossing neither; both notify.
    // True when the grid point lies on the current poly-line.
    bool updateDirectionsAt(const CVertex<float, 3>& point);
    // updateDirectionsAt at every point of pl; how many answered true (0 for
    // null).
    int updateDirectionsOfPointList(COffset_PointList* pl);
    // Drags a grid point (vertex; when null, the one within the pick radius
    // of the last mouse hit, stored back into vertex) onto the last mouse
    // hit. Every poly-line through it drops its curve and is shown again.
    // False when busy or without a grid point.
    bool moveVertex(CVertex<float, 3>*& vertex);
    // Ends a mouse edit: commits the current poly-line's pending point,
    // merges the selected point with a neighbour it was dropped onto
    // (mergeWithNeighbourAtItsPosition), then snaps the selected point, where
    // a poly-line holds it, onto the grabbed grid point, or inserts a new
    // point on the segment poly-line's curve at its picked parameter (into
    // the current poly-line too, or replacing the selected point there with
    // insertIntoCurrent); the grabbed point or the pick is used up. False
    // when there was nothing to finish.
    bool onMouseUp(bool insertIntoCurrent);
    // A new grid point on the segment poly-line's curve at its picked
    // parameter (or its entry standing there, see insertOnSegmentCurve),
    // inserted there and selected (the pick is used up); the segment
    // poly-line becomes current. False without a segment poly-line or when
    // nothing was placed.
    bool snapPoint();
    // Starts a poly-line at a grid point by splitting the poly-line through
    // it there. A null point: a point snapped onto the segment poly-line
    // (snapPoint) first, else the grabbed point. False when the point is not
    // a grid point or no poly-line could be split.
    bool splitAtPoint(CVertex<float, 3>* point);
    // joinPointListsAt at point (null: the grabbed point); false when that is
    // not a grid point, true otherwise (whether joined or not).
    bool joinAtPoint(CVertex<float, 3>* point);
    // Joins the two poly-lines ending within the pick radius of point that
    // continue each other most nearly straight: the second's points go onto
    // the first (in front when the joint is its first point), the second is
    // removed, the first becomes current. Nothing changes when either is
    // closed or the point is not an end of both, nor when the joined
    // poly-line would pass its points more often than a net's poly-line does
    // (passesItsPointsTooOften: "not joined: the poly-line would pass its
    // <d> points <k> times, ..."). True when joined.
    bool joinPointListsAt(const CVertex<float, 3>& point);
    // The point under the cursor (a pick of mesh or grid point) goes to
    // removeGridPoint.
    bool removePointAt(const CVertex<float, 3>& origin, const CVector<float, 3>& direction);
    // Removes the current poly-line's point nearest point (else the grid
    // point within the pick radius, else the selected point) from its
    // poly-line; a poly-line left empty is removed. Prints "upps " n " < 0 !"
    // for a use count that fell below zero. False when nothing was found or
    // the poly-line is closed.
    bool removeGridPoint(const CVertex<float, 3>& point);
    // The Delete key: removes the selected point (removeGridPoint) or, with
    // none, the current poly-line.
    bool deleteSelection();
    // Starts a new poly-line with the pending start point and the last mouse
    // hit; false without both.
    bool replacePendingPoint();
    // Rolls the grid back to its last checkpoint: a point the mouse is still
    // placing is taken back, then the undo items after the last mark go,
    // newest first (all of them without marks); the mark goes, also when it
    // encloses none.
    // The use counts are recounted and "SelectedPoint" shown again; a
    // selected point no poly-line holds any more is no longer selected.
    void undo();
    // Takes pl out of the grid without an undo item, withdrawing its uses.
    // It is kept, points and all, until the grid is emptied, since the
    // net's loops may still refer to it. False when it is not the grid's.
    bool discardPointList(COffset_PointList* pl);
    // After a point went onto an end of the current poly-line (its insertion
    // case 2, or 0 for the start): when the poly-line now turns there by more
    // than 72 degrees (as seen along seenAlong, when given), it is split at
    // that corner; after a split at the end the last poly-line becomes
    // current. True when split.
    bool splitAtSharpEndTurn(const CVector<float, 3>* seenAlong = nullptr);

    // ---- Crossings -----------------------------------------------------------------
    // An edit that draws or moves a line across another one makes the
    // junction there: the regions of the drawing meet at the points the
    // poly-lines share, and the topology step only reads them.
    //
    // Puts a junction where a stretch between two entries that an edit drew
    // or moved since the crossings were last taken (every stretch with
    // everyStretch) crosses another one or itself between their points,
    // seen along the mesh normals there, within the tolerance of each other
    // in space: a grid point of either stretch when the crossing lies within
    // half the tolerance of it, else a new grid point on the mesh there
    // (between the two curves without a mesh), entering each stretch that
    // does not end there, the crossings within half the tolerance of one
    // another at one junction. Crossings where two stretches end at one
    // point, between neighbouring stretches of one poly-line, on a ring that
    // encloses less than the least region, and the pen's crossings near a
    // node both pieces end at (within a third of their reach, on stretches
    // whose way from it stays that near) are none. With recordUndo each
    // poly-line's former points go to an undo item of the edit; each
    // changed poly-line's curve is fitted anew (a locked curve kept, the
    // point taking its parameter there). Points the mouse is still placing
    // are left out. The number of junctions put, said in one line ("2
    // junctions put where the net's lines cross"); -1, with none put and one
    // line, for more crossings than any net's drawing makes.
    int putJunctionsWhereLinesCross(bool everyStretch, bool recordUndo);
    // The edit's crossings: putJunctionsWhereLinesCross on the stretches an
    // edit drew or moved, recorded for undo, then takeStretchesAsSeen.
    int putJunctionsAtNewCrossings();
    // Takes the stretches of every poly-line as they now stand as those the
    // crossings were taken on: what an open read, an undo gave back or an
    // import put its junctions at.
    void takeStretchesAsSeen();

protected:
    // Empties the poly-lines, undo items, grid points and point pointers.
    void deleteGridContents();
    // Moves the poly-lines of `from` (those taken out by undo too) with
    // every grid point it owns and the points no poly-line uses into this
    // grid, emptied before; the poly-lines' owner becomes this grid. `from`
    // is left without any of them, its current poly-line, selection and
    // points of the edit that were its own forgotten.
    void takePointLists(COffset_Grid& from);
    // Asks "delete all point lists ?" (Yes and No); true for Yes.
    static bool confirmDeleteAll();

private:
    std::unordered_set<Gridbench::CGridPoint*> ownedGridPoints;
    // The stretches the crossings were last taken on (net/LineCrossings.cpp).
    struct SeenStretches;
    struct SeenStretchesDeleter {
        void operator()(SeenStretches* s) const;
    };
    std::unique_ptr<SeenStretches, SeenStretchesDeleter> seenStretches;

    // insertPoints committed, recording the undo item of an insertion that
    // recorded none (the first two points of a poly-line are appended
    // without one).
    bool insertCommitted(COffset_PointList* pl, CVertex<float, 3>* v, double maxDistance,
                         const CVector<float, 3>* direction,
                         const CVector<float, 3>* seenAlong = nullptr);
    // A new grid point on the mesh under the segment poly-line's curve at
    // its picked parameter, inserted into the segment poly-line, whose curve
    // is built again; the point on a segment is then forgotten (see
    // clearSelectedPointOnSegment), so one pick inserts one point. Where a
    // grid point of the segment poly-line stands at the pick already (the
    // grabbed point, or an entry within the snap distance of the place on
    // the mesh) that entry is the answer and nothing is inserted: no
    // insertion makes a piece of no length. Null when none was placed.
    Gridbench::CGridPoint* insertOnSegmentCurve();
    // A grid point dragged onto the very position of its neighbour in a
    // poly-line merges with that neighbour in every poly-line that holds it
    // (snapVertex, with its undo items), so that no piece of no length is
    // left; the selection follows. True when merged.
    bool mergeWithNeighbourAtItsPosition(CVertex<float, 3>* v);
    // Deletes a new grid point that did not enter the grid.
    void discardUnowned(Gridbench::CGridPoint* point);
    // The direction flags of v (see updateDirectionsAt); false unless the
    // current poly-line holds v.
    bool updateDirections(CVertex<float, 3>* v);
};

// Undo item of a removed poly-line: owns the poly-line until undone.
class CUndoRemovePointList : public UndoGridEdit {
public:
    COffset_PointList* pointList; // owned while the item holds it
    bool makeCurrent;
    int index = -1; // its place among the grid's poly-lines (-1: appended)

    // Drops pl's cached curve (a locked curve stays).
    CUndoRemovePointList(COffset_PointList* pl, bool current);
    ~CUndoRemovePointList() override;
    // Gives the poly-line back to the grid at its former place, makes it
    // current when asked and shows it.
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

// Undo item of a poly-line an edit added to the grid: takes it out again.
class CUndoAddPointList : public UndoGridEdit {
public:
    COffset_PointList* pointList; // the grid's; deleted when undone

    explicit CUndoAddPointList(COffset_PointList* pl) : pointList(pl) {}
    void undo(COffset_Grid* grid) override;
};

// Undo item of an edit that rewrote a poly-line's points (a join, a removal):
// a copy of the former points and closed flag, put back with their uses.
class CUndoVertexList : public UndoGridEdit {
public:
    COffset_PointList* pointList;
    Kor::List<CVertex<float, 3>*> vertices;
    bool closed;

    explicit CUndoVertexList(COffset_PointList* pl)
        : pointList(pl), vertices(pl->vertices), closed(pl->closed)
    {
    }
    void undo(COffset_Grid* grid) override;
};
