// The mouse callback: grid editing with the mouse in the host's views.
#include "plugin/Callbacks.h"

#include "mesh/GridPoint.h"
#include "plugin/MeshwrightPlugIn.h"

CMWMouseCallback::~CMWMouseCallback()
{
    if (net != nullptr) {
        delete net->lastMouseHit;
        net->lastMouseHit = nullptr;
    }
}

int CMWMouseCallback::PassThrough()
{
    IsEnabled();
    return 0;
}

// The grid's mouse editing comes with the net's picking and editing; until
// then every event is left to the host.
int CMWMouseCallback::mouseDown(CVezadView&, int, UINT, int, int)
{
    moveCount = 0;
    dragging = false;
    return 0;
}

int CMWMouseCallback::mouseMove(CVezadView&, UINT, int, int)
{
    return 0;
}

int CMWMouseCallback::mouseUp(CVezadView&, int button, UINT, int, int)
{
    moveCount = 0;
    if (button == 1)
        dragging = false;
    return 0;
}
