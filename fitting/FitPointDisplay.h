#pragma once
// Display of fit points coloured by their signed error, used by the surface
// fits to show where a surface leaves the mesh.
//
// Ownership: nothing is kept. Thread-safety: OpenGL calls in the caller's
// current context.

#include "foundation/FitPoint.h"

class CColorCoding;

// The fit points as one batch of OpenGL points of size 4, depth test and
// lighting off, each coloured by coding.getColour of its signedError over
// the coding's range. Every OpenGL attribute changed is restored afterwards.
void drawErrorColouredPoints(const CFitPointArray& points, const CColorCoding& coding);
