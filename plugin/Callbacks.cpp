#include "plugin/Callbacks.h"

// The grid's mouse editing (select, start, extend, split, join, drag, the
// context menu and the rubber band) comes with the mouse editing of the
// grid; until then every event is left to the host.
int CMWMouseCallback::OnMouseDown(CVezadView&, int, UINT, int, int)
{
    moveCount = 0;
    dragging = false;
    return 0;
}

int CMWMouseCallback::OnMouseMove(CVezadView&, UINT, int, int)
{
    return 0;
}

int CMWMouseCallback::OnMouseUp(CVezadView&, int button, UINT, int, int)
{
    moveCount = 0;
    if (button == 1)
        dragging = false;
    return 0;
}

int CMWMouseCallback::PassThrough()
{
    IsEnabled();
    return 0;
}

// The net's own drawing in the views comes with the draw callback's stages;
// until then they draw nothing.
void CMWDrawCallBack::DrawMiddleground(CVezadViewport&, CVezadDoc&) {}

void CMWDrawCallBack::DrawPostForeground(CVezadViewport&, CVezadDoc&) {}

bool CMWDrawCallBack::testBoundingBox(ON_BoundingBox)
{
    return false;
}

void redrawAllViews()
{
    CVezadDoc* doc = VezadApp().ActiveDoc();
    if (doc == nullptr)
        return;
    ON_SimpleArray<CVezadView*> views;
    doc->GetViewList(views);
    for (int i = 0; i < views.Count(); ++i)
        views[i]->Redraw();
}
