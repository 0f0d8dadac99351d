#pragma once
// Where two curves come closest, from two lists of sample parameters: the
// closest pair of sample points, refined on the curves themselves. Used to
// find the parameters at which two closed rails are cut open in step.
//
// Ownership: nothing is kept; the curves are only evaluated.
// Thread-safety: evaluation overwrites the curves' tables and the refinement
// uses process-wide solvers; one thread.

#include "foundation/KorList.h"

class CParametricGeometry;

// Finds the pair (s_i of sa, t_j of sb) whose points are closest (ties keep
// the lowest i, then j), prints "dMin =" d^2 " at " i " of " |sa| " " j " of "
// |sb| on standard output, and when both lists are non-empty writes s_i and
// t_j into *outA and *outB and refines them to the closest points of the two
// curves (correctCurveCurve, tolerance 0.001). With an empty list the message
// shows 3.40282e+38 and the indices -1, and the outputs keep their values.
// With logging on, both sample poly-lines and the joining segment go to
// "c:/tmp/adjust.out".
void closestSamplePair(CParametricGeometry* a, CParametricGeometry* b, const Kor::List<double>& sa,
                       const Kor::List<double>& sb, double* outA, double* outB);
