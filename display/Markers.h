// Point markers of the display layer: small shapes drawn at a point with a
// constant size on the screen, the lighting of sphere markers and the sphere
// marker itself.
//
// Sizes derive from pixelSize() (display/ViewProjection.h), read when the
// marker is drawn, so a marker keeps its screen size at every zoom; nothing is
// drawn at a size derived from a pixelSize() <= 0.
// Thread-safety: as OpenGL's; call inside a view's drawing.
#pragma once

#include "foundation/Vector.h"
#include "foundation/Vertex.h"

// What drawMarker draws in: the view's axes in world space and the base
// scale, read once so that many markers of one view share them.
class CMarkerFrame {
public:
    double scale;              // world length of a marker of size 1: pixelSize() / 300
    Vector right;              // screen right, unit, world coordinates
    Vector up;                 // screen up
    Vector depth;              // viewing direction
    CVertex<double, 3> centre; // centre of the marker being drawn

    // Reads the scale and the axes from the current view.
    CMarkerFrame();
};

// Draws marker `shape` at (x, y, z) with half-extent frame.scale * size:
// 0 "+" (red), 1 "x" (0.1, 0.1, 0.9), 2 square (0.2, 0.8, 0.0), 3 triangle
// pointing up (0.8, 0.0, 0.7), 4 triangle pointing down (0.9, 0.1, 0.1), all
// in the screen plane; 5 a grey sphere (always grey); 6 prints "curCol=" and
// the current colour and puts a 3 x 3 pixel block of it at the point; 7 a
// wire cube in world axes (1.0, 0.6, 0.6); 8 a circle in the world x-y plane
// of radius pixelSize() / 500 * size in the current colour. The colour is set
// only with setColour (shape 5 excepted). Any other shape prints
// "undefined shape=" and the code and draws nothing. Without a frame one is
// built for the call.
void drawMarker(double x, double y, double z, int shape, bool setColour,
                CMarkerFrame* frame = nullptr, double size = 1.0);

// Lighting of sphere markers: lighting and light 0 on, smooth shading,
// two-sided lighting, front and back material ambient (c, 1), diffuse
// (0.9 c, 1), shininess 50.
void setMarkerLighting(const float colour[3]);

// A lit sphere of radius 0.75 * pixelSize() / divisor at p (7 slices and 7
// stacks, faces culled), with the depth test on or off as asked.
void drawSphereMarker(const CVertex<float, 3>& p, const float colour[3], double divisor,
                      bool depthTest);
