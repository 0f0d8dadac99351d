// The plug-in's hooks into the host's views: CMWMouseCallback, which edits
// the net's grid with the mouse while grid editing is on, and
// CMWDrawCallBack, which draws the net's display container in shaded views
// and the feedback of picking and editing over everything; with the helpers
// they share (redrawAllViews, storeGridHit, the per-view contexts).
//
// The mouse callback turns the cursor into a ray through the view, hits the
// mesh through the net, and chooses the net's edit: start, extend, split or
// join a poly-line, drag a grid point, or offer the context menu. Every
// handled press and release is a named host undo record holding the grid's
// undo mark. It disables itself while the net rebuilds its topology and
// surfaces, so that messages pumped by the progress dialogs meanwhile cannot
// re-enter the grid.
//
// The draw callback keeps one OpenGL context per view in the plug-in's
// viewContexts: a view drawing in a context that cannot share the display
// lists compiled so far makes every entity compile its list again there.
//
// Ownership: the plug-in owns both callbacks; the net is not owned. The
// mouse callback owns the net's last hit (lastMouseHit), which it stores
// and deletes. Not thread-safe: the host's user-interface thread only; the
// draw callback assumes the host made the view's context current.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Tuple.h"
#include "mesh/BaseMesh.h"
#include "platform/host/VezadSdk.h"

class CMeshwrightPlugIn;
namespace GB {
class CSurfaceNet;
}

class CMWMouseCallback : public CVezadMouseCallback {
public:
    GB::CSurfaceNet* net; // the net the grid edits go to; not owned
    ON_Line line;         // the frustum line through the cursor of the last event
    int moveCount = 0;    // handed to the net's vertex drag
    bool dragging = false;
    // What the last left press was: an edit of the grid, which its release
    // finishes; one that opened the context menu, whose item chosen (or
    // none) was the edit on the pick it was about; a press left to the host (the callback disabled,
    // or Shift or Ctrl held), whose release is the host's too; or one that
    // only set the view's target ("Y" held), whose release has nothing to
    // finish.
    enum class LeftPress { edit, host, viewTarget, menu };
    LeftPress leftPress = LeftPress::edit;
    // The grid's undo mark the last left press took (its place in the
    // marks and the undo-list length it holds; -1 when the press took
    // none): the release's record takes the gesture back from there.
    int pressMarkAt = -1;
    int pressMark = -1;

    explicit CMWMouseCallback(GB::CSurfaceNet* net) : net(net) {}
    // Deletes the net's last hit.
    ~CMWMouseCallback() override;

    // The host's slots; each answers what the system's handler below does.
    int OnMouseDown(CVezadView& view, int button, UINT flags, int x, int y) override
    {
        return mouseDown(view, button, flags, x, y);
    }
    int OnMouseMove(CVezadView& view, UINT flags, int x, int y) override
    {
        return mouseMove(view, flags, x, y);
    }
    int OnMouseUp(CVezadView& view, int button, UINT flags, int x, int y) override
    {
        return mouseUp(view, button, flags, x, y);
    }
    // Asks IsEnabled and lets no event go on (0).
    int PassThrough() override;

    // Button down (1 left, 2 right, 3 middle): 0 leaves the event to the
    // host (disabled, Shift or Ctrl held, a right click that neither split
    // nor joined without Alt); 1 when the system handled it. An edit of the
    // left or right button ends with the net's faces brought after it
    // (GB::CSurfaceNet::updateAfterEdit).
    int mouseDown(CVezadView& view, int button, UINT flags, int x, int y);
    // Feedback while the cursor moves: pick radius, read-outs, hover
    // highlight, tool-tips, the pending vertex and the rubber band's snap
    // target. 1 only while a grid point is dragged.
    int mouseMove(CVezadView& view, UINT flags, int x, int y);
    // Button up: the left button finishes the edit (undo record "MW
    // LButtonUp", whose undo takes back the whole gesture from its press,
    // the press's record then enclosing nothing; with a point on a segment
    // or a selected grid point the pending insert or snap; then the faces
    // are brought after the grid when it changed since the last topology
    // step, else the surface update) and answers 1; 0 while disabled, while
    // the net is busy, for the release of a press left to the host and for
    // the other buttons. The release of a press that set the view's target
    // answers 1 too. Neither release of a press that made no edit records
    // or edits.
    int mouseUp(CVezadView& view, int button, UINT flags, int x, int y);

private:
    // The ray through the cursor into p and dir; on a mesh hit p becomes
    // the hit point and the hit the net's last hit. True on a hit.
    bool castRay(CVezadView& view, int x, int y, CVertex<float, 3>& p, CVector<float, 3>& dir);
    // The right-button edit; see mouseDown.
    int rightButtonDown(const CVertex<float, 3>& p, const CVector<float, 3>& dir);
    // The left-button edit of an unselected click: commits the pending
    // vertex, then the net's own button-down edit.
    void editAtLeftButton(const CVertex<float, 3>& p, const CVector<float, 3>& dir);
    // The rubber band of the current poly-line while the cursor moves: the
    // pending vertex follows the last hit, or, where the poly-line refuses
    // it, a snap target is chosen. The turn at an end is judged as seen
    // along dir, the ray through the cursor, as the click judges it.
    void followCursor(const CVector<float, 3>& dir);
    // The snap target of a refused pending vertex: the end the current
    // poly-line grows at (its insertion case 0 the first, 2 the last grid
    // point), or the active grid point when that lies nearer or the
    // poly-line's mark flag is set; none where the active grid point lies
    // beyond both of the insertion's end limits.
    void chooseSnapTarget(double limitStart, double limitEnd);
};

class CMWDrawCallBack : public CVezadDrawCallback {
public:
    // The host's stages; each runs the system's stage below.
    void DrawMiddleground(CVezadViewport& vp, CVezadDoc& doc) override { drawGLEntities(vp, doc); }
    void DrawPostForeground(CVezadViewport& vp, CVezadDoc& doc) override { drawFeedback(vp, doc); }

    // The middle-ground stage: in shaded views only, the view's context is
    // entered into viewContexts (a fresh context recompiles every entity),
    // the mesh entities are shown or the edit display applied, and the
    // net's display container is drawn.
    void drawGLEntities(CVezadViewport& vp, CVezadDoc& doc);
    // The stage after the foreground: a sparse outline of the mesh objects
    // picked in a running getter or highlighted, drawn through everything,
    // and the rubber band of grid editing.
    void drawFeedback(CVezadViewport& vp, CVezadDoc& doc);
    // False: the callback adds nothing to the extents.
    bool testBoundingBox(ON_BoundingBox box);
};

// Redraws every view of the active document; nothing without one.
void redrawAllViews();

// Keeps a copy of hit as the net's last hit: assigned into the stored
// record when there is one, else into a new one the net's mouse callback
// owns.
void storeGridHit(GB::CSurfaceNet* net, const Mesh::CBaseMesh::CBaseHitInfo& hit);

// The entry of the view in plugIn's viewContexts; the first entry when the
// view has none; null for an empty list.
c_pair<CVezadView*, HGLRC>* findViewContext(CMeshwrightPlugIn& plugIn, const CVezadView* view);
// The first context entered in plugIn's viewContexts; null when none is.
HGLRC firstSharedContext(CMeshwrightPlugIn& plugIn);

// The facets that outline a mesh of facetCount facets: every step-th one
// from 0, step being facetCount / 5000 and at least 5; none when the step
// is not below facetCount.
Kor::List<int> outlineFacets(int facetCount);
