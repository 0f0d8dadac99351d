// The plug-in's hooks into the host's views: CMWMouseCallback, which edits
// the net's grid with the mouse while grid editing is on, and
// CMWDrawCallBack, which draws the net's display container in shaded views;
// and redrawAllViews.
//
// The mouse callback is built bound to the net and stays disabled until grid
// editing starts. The draw callback is registered with the host once, at
// load or at a mesh object's first draw. Their editing and drawing slots
// answer 0 and draw nothing until the grid's mouse editing and the view
// drawing are built.
//
// Ownership: the plug-in owns both callbacks; the net is not owned.
// Not thread-safe: the host's user-interface thread only.
#pragma once

#include "platform/host/VezadSdk.h"

namespace GB {
class CSurfaceNet;
}

class CMWMouseCallback : public CVezadMouseCallback {
public:
    GB::CSurfaceNet* net; // the net the grid edits go to; not owned
    ON_Line line;         // the frustum line through the cursor of the last event
    int moveCount = 0;    // handed to the net's vertex drag
    bool dragging = false;

    explicit CMWMouseCallback(GB::CSurfaceNet* net) : net(net) {}

    int OnMouseDown(CVezadView& view, int button, UINT flags, int x, int y) override;
    int OnMouseMove(CVezadView& view, UINT flags, int x, int y) override;
    int OnMouseUp(CVezadView& view, int button, UINT flags, int x, int y) override;
    // Asks IsEnabled and lets no event go on (0).
    int PassThrough() override;
};

class CMWDrawCallBack : public CVezadDrawCallback {
public:
    // The middle-ground stage: the net's display container in shaded views.
    void DrawMiddleground(CVezadViewport& vp, CVezadDoc& doc) override;
    // The stage after the foreground: outlines of picked meshes and the
    // rubber band of grid editing.
    void DrawPostForeground(CVezadViewport& vp, CVezadDoc& doc) override;
    // False: the callback adds nothing to the extents.
    bool testBoundingBox(ON_BoundingBox box);
};

// Redraws every view of the active document; nothing without one.
void redrawAllViews();
