#pragma once
// Tangent continuity inside a curve: at every interior knot of multiplicity
// at least the degree (a joint where the curve may kink) the control points
// around the joint are moved onto one line, so that the tangent directions on
// both sides of the joint agree.
//
// Ownership: the curve is changed in place; nothing is allocated for the
// caller. Thread-safety: one thread per curve.

#include "foundation/Vector.h"

namespace Fenwo {
class NurbsSurf;
}

// Replaces a, b and c by their feet on one line chosen by mode: 0 the line
// through a and b (c moves), 1 through b and c (a moves), 2 through a and c
// (b moves), any other value the line through the centroid along c - a.
// Always true.
bool makeCollinear(Vector& a, Vector& b, Vector& c, int mode);

// Makes the control points J-1, J, J+1 around every such joint J collinear,
// joints taken from the last to the first. Degree 2 moves J onto the line
// J-1 - J+1. Higher degrees move J-1 onto the line J - J+1 and spread the move
// over the piece to the left, fading linearly to nothing one point after the
// piece's start (which never moves); a piece too short for that leaves J-1
// (and the kink) as it was. A curve without such joints is left untouched;
// otherwise " unexpected: AdjustInternalG1 has something to do." goes to the
// first log stream. Weights are kept. Always true (also for a null curve).
bool AdjustInternalG1(Fenwo::NurbsSurf* curve);
