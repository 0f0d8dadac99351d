// Projection between world and window coordinates of the view being drawn,
// and measures of that view in world units.
//
// Everything here reads the current OpenGL state (viewport, model-view and
// projection matrices) of the context that is current on the calling thread;
// call it inside a view's drawing. Window coordinates run top-down: y = 0 is
// the top row of the viewport, as the host's mouse positions are.
//
// Screen-constant sizes of the display layer are pixelSize() divided by a
// constant (300 for markers, 200 and 190 for spheres, 5000 for the faceting
// tolerance of curves); a user of pixelSize draws nothing of a size derived
// from a value <= 0.
// Thread-safety: as OpenGL's; the functions keep no state.
#pragma once

#include "foundation/Vector.h"
#include "foundation/Vertex.h"

// Window position of p: x, y counted from the viewport's top-left corner and
// the depth in [0, 1]. False (outputs unchanged) when the projection fails.
bool projectToWindow(const CVertex<double, 3>& p, int& x, int& y, float& depth);

// The world points under window position (x, y) on the near and on the far
// clipping plane, both sized to 3. A failed query or unprojection prints
// "getViewport error", "getModelView error", "getProjection error" or
// "gluUnproject error" and the computation goes on with what was read.
void unprojectWindowPoint(int x, int y, Vector& nearPoint, Vector& farPoint);

// World distance between two window positions: the mean of their distances
// on the near and on the far plane.
double screenDistanceToWorld(int x1, int y1, int x2, int y2);

// The world width of the whole view (the distance between the left and the
// right end of the viewport's first row); -1.0 when the viewport cannot be
// read (an OpenGL error, or no viewport).
double pixelSize();

// The world directions that map to the screen's x (right), y (up) and depth,
// each of unit length and sized to 3. Returns depth.
Vector& viewAxes(Vector& depth, Vector& right, Vector& up);
