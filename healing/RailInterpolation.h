#pragma once
// The surface between two rails: each point of the first rail's faceting is
// paired with the point at the same fraction of arc length on the second
// rail, a cubic section curve spans the pair with its inner control points
// along the chord (its components along the section plane's normal and
// along the rail's surface normal removed), and the sections are
// interpolated into one surface. Two closed rails are first brought into step
// at their closest points and the sections interpolated as a cyclic set.
//
// Ownership: the rails stay the caller's; the surface is new and owned by the
// caller. Thread-safety: none; the interpolation uses process-wide solvers.

class CCompositeCurve;
namespace Fenwo {
class NurbsSurf;
}

// The surface, or null when no interpolation succeeds ("resorting to linear
// curves.. " is printed once the cubic and quadratic ones have failed). The
// rails are faceted with 10 x chordTolerance; startArm and endArm scale the
// chord length to the inner control points' distances from their ends. With
// two closed rails rail A may come back reversed and both re-parametrised to
// start at their closest points. Every section goes to "c:/tmp/ipolset.out"
// (twice), written on every run.
Fenwo::NurbsSurf* interpolateBetweenRails(CCompositeCurve* railA, CCompositeCurve* railB,
                                          double chordTolerance, double startArm, double endArm);
