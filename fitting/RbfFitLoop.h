// Entry points that bend a NURBS surface onto fit points with the
// radial-basis-function correction: the fit loop `rbf3`, the imprint of
// points into a new control net (`imprintSurface`), the shape healing of a
// surface from a test set (`fitShapeToTestSet`), and the parameter look-up
// interpolant of a trimmed face (`newParameterLookup`).
//
// kernelType is always the public kernel code of the interpolant; the
// boundary flag of a fit point is its status (0 after an inversion that
// landed inside the domain).
//
// Ownership: the surfaces are changed in place; the fit points belong to the
// caller (their parameters, errors and states are rewritten). The look-up
// interpolant is owned by the caller.
// Thread-safety: none. These run the Newton approximation (process-wide stop
// flag and solver slots), so only one of them may run at a time; the healing
// runs them on the user-interface thread.
#pragma once

#include "fitting/ScatteredDataRBF.h"
#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorList.h"

class CProgress;
class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// Fits S to the points within dTol. True at once for fewer than 3 points;
// false on a cancel. Unless targetCount equals the point count the points
// are thinned (selectThinnedSubset with targetCount and minDist); their
// displacement field is built (harmonicRecompute with skipFlagged, th and
// prepare); when the largest error exceeds 120 dTol, "rbf3::error too
// large, abort" goes to standard output and false is returned with S
// untouched. Otherwise S is interpolated to the tolerance (and, with
// alsoApproximate, afterwards approximated from its previous shape, unless
// that approximation folds a control net the interpolation left without
// spikes: the interpolated S then stays) and its boundary positions are
// renewed. True when the points end within dTol.
bool rbf3(Fenwo::NurbsSurf& S, double dTol, IndexSubset<CFitPoint>& pts, int targetCount,
          CProgress* progress, int kernelType, bool alsoApproximate, bool skipFlagged,
          double minDist, double th, bool prepare);

// Replaces S by a surface of (nU + 1) x (nV + 1) control points (degree
// min(n, 3) per direction, uniform clamped knots on [0, 1]) placed on the
// displaced S at a uniform grid of its domain; the field is built from at
// most max(4, min(nU nV, targetCount)) points, no two of them closer than a
// two-hundredth of the diagonal of the points' box. With reproject
// the points are inverted on the new S and only those landing inside its
// domain stay in pts. False (S untouched) when nU or nV is below 1 or no
// field can be built.
bool imprintSurface(Fenwo::NurbsSurf& S, IndexSubset<CFitPoint>& pts, int kernelType, int nU,
                    int nV, int targetCount, bool reproject);

// Heals S with the displacements of testSet (thinned to targetCount at
// minDist, shape parameter minDist / 5) and judges it on the points testSet
// shares with shapeSet: S is interpolated to dTol on those of them that lie
// inside the domain. True for an empty testSet; false when fewer than 2
// common points remain (with "oops, testSet and shapeSet have nothing
// common." and "maybe the Surface is too small ? " on standard output when
// none are shared), S then unchanged. `spare` is not read. With applyField
// the field moves S even where the common points lie within dTol already
// (interpolateToTolerance).
bool fitShapeToTestSet(Fenwo::NurbsSurf& S, double dTol, IndexSubset<CFitPoint>& testSet,
                       IndexSubset<CFitPoint>& shapeSet, int targetCount, CProgress* progress,
                       int kernelType, bool spare, bool skipFlagged, double minDist, double th,
                       bool prepare, bool applyField = false);

// The look-up of a trimmed face from its surface points back to its
// parameters: every (u, v) sample becomes a fit point at S(u, v); at most
// 500 of them are kept, thinned at 0.001; the interpolant (linear kernel,
// direct solve) maps S(u, v) to (u, v, 0). A new interpolant owned by the
// caller. A face builds its look-up from the (u, v) samples along its
// tessellation's iso-lines with this.
iPolScatteredData* newParameterLookup(CParametricGeometry& S, const Kor::List<Vector>& uvSamples);
