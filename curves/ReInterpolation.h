// Replaces any curve (a curve on a surface, a chain, a NURBS curve) by one
// NURBS curve that follows it within a tolerance: adaptive interpolation of
// samples with a deviation test and refinement rounds, Greville resampling
// of curves whose parameters come from a NURBS curve, and the test of a uv
// curve for an iso-parameter line of its surface.
//
// Ownership: every returned curve is new and owned by the caller; inputs are
// only evaluated.
// Thread-safety: none; the interpolation and the deviation test use the
// process-wide projection solvers.
#pragma once

#include "foundation/KorList.h"

class CParametricGeometry;
class CProgress;
namespace Fenwo {
class NurbsSurf;
}

// What reInterpolate reports besides its curve.
struct ReInterpolationRecord {
    // Filled only when the interpolation is accepted: per sample, its
    // parameter on the input curve and its parameter on the result.
    Kor::List<double> parameters;
    Kor::List<double> curveParameters;
    int passes = 0;         // interpolation passes run
    int interpolations = 0; // interpolateCurve calls made
};

// Samples the curve at its facet parameters (chord tolerance 2 tol, at most
// 10000; a closed curve without the repeated end), interpolates them (degree,
// centripetal) and, with check, measures the deviation of the curve from the
// interpolant at `degree` points between each two samples. Intervals beyond
// tol are halved with their two successors, for at most 5 further passes
// while the mean deviation stays below 10 times the best; the pass of the
// smallest mean is kept. It is the result when check is off or tol exceeds
// its own largest deviation. Otherwise, below 1000 samples, the result is
// approximateCurveWithLengthCheck (samples per interval = degree) of the
// curve; from 1000 samples on the kept curve stands. Null when the sink
// cancels (everything freed) or when nothing could be made.
// The first samples are taken at the tolerance and within the samples
// sampleAllowance gives the curve at 2 tol: its faceting spends at most 128
// curve evaluations per sample allowed (the rest of a curve that needs more
// is stepped evenly), more first samples than allowed are thinned to that
// count and the passes add none beyond: the work depends on the pieces the
// curve is made of, not on its size.
Fenwo::NurbsSurf* reInterpolate(CParametricGeometry* curve, double tol, int degree, bool check,
                                CProgress* progress, ReInterpolationRecord* record = nullptr);

// The chord tolerance and the samples of a curve's faceting at a tolerance.
struct SampleAllowance {
    double tol = 0.0; // the tolerance asked for, or larger (see sampleAllowance)
    int samples = 0;  // the samples the faceting may keep, at least 250
};

// The curve is cut into the polynomial pieces its record makes it of: the
// spans between the distinct knots of a NURBS curve, of a curve on a
// surface's uv curve or of a composite curve's members, and each span of a
// curve on a surface into one equal part more than the knot lines of the
// surface that its uv points (its ends and quarters) reach across and no
// span before it did; a curve has no more pieces than its spans and its
// surface's knot lines together. Each piece is measured at 8 chords or
// more, 64 over all pieces at least: its length L and turning T (the angles
// between its tangents, the turn from the piece before included) ask for
// about sqrt(T L / (8 tol)) chords, d. The curve may keep
// max(250, the sum of min(2 d + 2, 250)) samples: each piece twice what it
// asks for, and no more than 250. A curve whose pieces ask for more than
// that in all, or whose whole length and turning ask for more than 250
// chords a piece, is given the larger tolerance at which it asks for that
// many: the work on a curve far larger than its tolerance depends on the
// pieces it is made of, not on its size. A curve of one piece is measured
// and given its tolerance as chordToleranceWithin does for 250 chords. The
// tolerance stays for a curve whose measures are not finite; a curve that
// cannot be evaluated keeps it with 250 samples.
SampleAllowance sampleAllowance(CParametricGeometry& curve, double tol);

// A curve on a surface whose uv curve is a NURBS curve is interpolated at
// the distinct Greville abscissae of the uv curve within its domain; any
// other curve goes to reInterpolate. Null when the interpolation fails.
Fenwo::NurbsSurf* resampleAndReInterpolate(CParametricGeometry* curve, double tol, int degree,
                                           bool check = true);

// The curve interpolated at the distinct Greville abscissae of its own u
// knots within its domain (a closed curve without its repeated end). Null
// for a null curve or when the interpolation fails.
Fenwo::NurbsSurf* resampleAndInterpolate(Fenwo::NurbsSurf* curve, int degree);

// Whether the uv curve runs along a parameter line of the surface: its
// start point and the points at tenths of its domain span less than 1e-8 in
// u or in v. Code 1 (v constant) or 2 (v at the surface's v maximum), with
// start and end its u ends; code 3 (u constant) or 4 (at the u maximum),
// with start and end its v ends. fixedParameter is the middle of the
// constant coordinate's span. False (outputs unchanged) for a curve that
// spans both directions or a null input.
bool classifyIsoUVCurve(CParametricGeometry* uvCurve, const Fenwo::NurbsSurf* surface,
                        double& start, double& end, int& code, double& fixedParameter);

// Writes the curve's text form and a line end to the file (appending when
// append is set); true when the stream is still good. False for a null name
// or curve, or a file that cannot be opened.
bool dumpCurveToFile(const char* fileName, const CParametricGeometry* curve, bool append);
