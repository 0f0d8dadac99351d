// Test helper: grid points and poly-lines of a grid made in code, and a
// counter of the grid's change notifications.
//
// Ownership: gridPoint returns a new point the caller owns until it enters
// a poly-line of a grid (the grid owns it from then on); polyLine hands its
// new poly-line to the grid. Thread-safety: the counter installs a
// process-wide handler for its lifetime.
#pragma once

#include "mesh/GridPoint.h"
#include "net/OffsetGrid.h"
#include "net/SurfaceNet.h"
#include "platform/ChangeNotification.h"

#include <initializer_list>
#include <vector>

namespace mwtest {

// A new grid point at (x, y, z).
Gridbench::CGridPoint* gridPoint(float x, float y, float z = 0.f);

// A new poly-line of the grid through the points (each use counted), added
// to the grid.
COffset_PointList* polyLine(COffset_Grid& grid, std::initializer_list<CVertex<float, 3>*> points);
COffset_PointList* polyLine(COffset_Grid& grid, const std::vector<CVertex<float, 3>*>& points);

// A flat "#" of three rows and three columns of poly-lines (no curves) over
// x in [x0, x0 + 2 step], y in [y0, y0 + 2 step] on z = 0 with mesh normals
// +z: after its topology step, four square faces.
struct HashNet {
    GB::CSurfaceNet net;
    Gridbench::CGridPoint* at[3][3];       // at[i][j] at (x0 + i step, y0 + j step)
    std::vector<COffset_PointList*> lines; // the rows j = 0..2, then the columns i = 0..2

    HashNet(float x0, float y0, float step);
    // The faces in the net's order.
    std::vector<GB::Face*> faces() const;
};

// Counts the change notifications while it lives.
class NotificationCounter {
public:
    NotificationCounter();
    ~NotificationCounter();
    NotificationCounter(const NotificationCounter&) = delete;
    NotificationCounter& operator=(const NotificationCounter&) = delete;
    // The notifications since the last call.
    int take();

private:
    int m_count = 0;
    Platform::ChangeNotificationHandler m_previous;
};

// A window token for the grid's notifications.
Platform::WindowToken testWindow();

} // namespace mwtest
