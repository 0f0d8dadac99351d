// Drawing and picking helpers of the host's own objects and viewport: curve
// samples, poly-lines in OpenGL, and poly-line picks in screen space.
// Host-internal; not part of the SDK seam. Not thread-safe.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <vector>

class CVezadObject;
class CVezadPickContext;

namespace VezadHost {

// Whether the object is one of the host's own mesh, curve, surface and Brep
// objects.
bool isBuiltIn(const CVezadObject& object);

// Points along a curve for drawing and picking: 16 per span of a NURBS
// curve, 64 over the domain of any other curve.
std::vector<ON_3dPoint> curveSamples(const ON_Curve& curve);
// The four boundary curves of a surface as sampled poly-lines.
std::vector<std::vector<ON_3dPoint>> surfaceBoundary(const ON_Surface& surface);

// OpenGL calls; a context must be current.
void setColor(const ON_Color& color);
void drawPolyline(const std::vector<ON_3dPoint>& points);

// Where the poly-line passes within the context's pick radius of its screen
// point: the point of the poly-line nearest to the pick in screen space.
// False when it passes further away.
bool pickPolyline(const CVezadPickContext& context, const std::vector<ON_3dPoint>& points,
                  ON_3dPoint& hit);

} // namespace VezadHost
