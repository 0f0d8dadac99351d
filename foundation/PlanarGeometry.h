#pragma once
// Planar geometry on the first two coordinates of CVertex<double,3> points:
// segment intersection, the signed angle at a point, and the point-in-polygon
// test used on parameter-plane (uv) polygons. The third coordinate is ignored.
//
// Pure functions: they own nothing and keep no state.

#include "foundation/KorList.h"
#include "foundation/Vertex.h"

// Intersects the segments a1-a2 and b1-b2. Parallel segments (the sine of
// their angle below 1e-8) and degenerate ones (shorter than 1e-14) never
// intersect: the result is false and t is left unchanged. Otherwise t
// receives the parameter of the crossing on a1-a2 (0 at a1, 1 at a2) and the
// result tells whether the crossing lies within both segments (a slack of
// 1e-12 on both parameters lets segments that meet at an end point
// intersect with t = 0 or 1).
bool intersectSegments(const CVertex<double, 3>& a1, const CVertex<double, 3>& a2,
                       const CVertex<double, 3>& b1, const CVertex<double, 3>& b2, double& t);
// The same, also giving the parameter s of the crossing on b1-b2.
bool intersectSegments(const CVertex<double, 3>& a1, const CVertex<double, 3>& a2,
                       const CVertex<double, 3>& b1, const CVertex<double, 3>& b2, double& t,
                       double& s);

// The angle at p from a to b in [-pi, pi]: its size from the normalised dot
// product, its sign from the 2-D cross product (positive counter-clockwise,
// a cross product of 0 counts as positive). The lengths of the legs are
// floored at 2.2e-16, so a zero leg gives pi / 2.
double signedAngle(const CVertex<double, 3>& a, const CVertex<double, 3>& p,
                   const CVertex<double, 3>& b);

// Crossing-number test of p against the closed polygon (edge i runs from
// vertex i to vertex (i + 1) mod n). useSecondAxis true: the crossings are
// counted on the line y = p.y at or right of p, and an even count is checked
// again on the line x = p.x; a point on an edge or a vertex counts as inside.
// useSecondAxis false: only the line x = p.x, crossings at or above p; a
// point on an edge along that line or on an edge above the interior counts
// as inside, one on an edge below the interior does not (the half-open rule
// of crossing counts). An empty polygon contains nothing.
bool pointInPolygon(const Kor::List<CVertex<double, 3>*>& polygon, const CVertex<double, 3>& p,
                    bool useSecondAxis);
// The same test on a plain array of n point pointers.
bool pointInVertexArray(const CVertex<double, 3>* const* points, int n, const CVertex<double, 3>& p,
                        bool useSecondAxis);
