// The iso-parameter values along which a trimmed face is tessellated
// (CFaceter::facetFace): u = U[i] and v = V[j], ascending, chosen so that
// the facets between them stay within the face's tolerance.
//
// - By arc tolerance: steps from the tolerance, the curvature of the
//   surface's iso curves through its knots and the first derivative, run out
//   from the middle of the knot range in both directions.
// - By distance: steps of the tolerance divided by the length of the first
//   derivative, from the first knot to the domain's end, the last interval cut
//   into two halves.
//
// Samples where the first derivative vanishes take no part in a step, and
// every step has a floor (1/100 of the domain on the arc road, 1/1000 on the
// distance road, 1/200 there when the finer floor leaves more than 200 x 200
// cells), a step lost in the rounding of a value far from zero ends its
// direction, and a direction takes at most 10000 values, so neither road can
// loop without end nor ask for more than some 40000 cells on the distance road.
//
// Ownership: the surface is only read (its evaluation tables are written).
// Thread-safety: one thread per surface.
#pragma once

class CParametricGeometry;
class Vector;
namespace Fenwo {
class NurbsSurf;
}

// The values by arc tolerance into U and V (resized). A list that holds no
// more values than its direction's degree + 1 is refined with max(degree / 2,
// 1) values between neighbours. A null surface leaves U and V unchanged.
void isoParametersForArcTolerance(Fenwo::NurbsSurf* surface, double tolerance, Vector& U,
                                  Vector& V);

// The values by distance into U and V. A NURBS surface takes the distance
// road: from its first distinct knot until the domain's end, the last two
// values the midpoint of the last interval and the end itself, the steps
// floored at 1/1000 of the domain, or at 1/200 in both directions where that
// would leave more than 200 x 200 cells; without u
// knots nothing is written, without v knots V is left as it was. A
// tolerance that is not positive gives no values (U and V emptied). Any
// other surface gets its sample parameters, refined with 7 values between
// neighbours while a list holds fewer than 15 (U, V, U, V). A null surface
// leaves U and V unchanged.
void isoParametersForDistance(CParametricGeometry* surface, double tolerance, Vector& U, Vector& V);
