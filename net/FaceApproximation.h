#pragma once
// The approximation of one face of the net: the mesh inside the face's
// boundary fitted by a NURBS surface (approximateFace), and the trimmed face
// made of that surface and a trim loop in its parameter plane
// (selectAndApprox), which the net's surface update calls for every face it
// approximates.
//
// approximateFace runs in stages: the boundary curves are chained and
// sampled on the mesh (the boundary samples), faces the method cannot handle
// are refused, a start surface is chosen, bent to the boundary and corrected
// towards the mesh inside the boundary (the Draft surface); unless only a
// draft is wanted, the selection of the mesh inside is checked again and the
// surface is refined to the tolerance, either by one radial-basis-function
// correction (fast) or by up to five constrained Newton runs.
//
// Ownership: approximateFace returns a new surface owned by the caller; a
// start surface handed to it belongs to it from the call on (it is the
// result or deleted). selectAndApprox returns a new trimmed face owned by the
// caller; the face owns the surface, which the net's face refers to without
// owning it. The boundary curves passed to approximateFace stay the caller's.
// Thread-safety: user-interface thread only; the fits use the process-wide
// Newton solver, so only one approximation may run at a time.

#include "foundation/FitPoint.h"
#include "foundation/KorList.h"

class CColorCoding;
class CFace;
class CProgress;
namespace Fenwo {
class NurbsSurf;
}
namespace GB {
class Loop;
}
namespace Mesh {
class CBaseMesh;
}

// How far beyond its tolerance a fit may leave the mesh, in tolerances: the
// Newton runs accept no more, and a fit beyond it is reported ("face fit
// outside the tolerance"). The commit's Breps are judged against it too.
constexpr double kFitSlack = 1.5;

// How far a face's edges may lie from its region's sides (the net's curves
// the face was fitted to), measured across the mesh, for the net's fit
// tolerance: the fit's slack. The fit puts each side onto the face's
// surface, which it holds within the slack of the mesh the side was drawn
// on, so the edges as fitted lie on their sides across the mesh. The heal
// moves no point of a side farther than this from where it lay, and places
// its sides to the document's tolerance or this, whichever is less: it
// takes the two faces of a seam, each within the slack of the mesh, half-way
// to each other, which asks of each at most this. The commit's region check
// accepts no more, healed or not.
constexpr double sideAllowance(double fitTolerance)
{
    return kFitSlack * fitTolerance;
}

// The surface of the face bounded by the curves, fitted to the mesh within
// `tolerance`, or null. The curves are reordered longest first and sampled
// on the mesh within a chord tolerance of a hundredth of their root mean
// square length (a model in metres is sampled as in millimetres). Every
// boundary sample that hit the mesh is appended to boundarySamples with the
// hit's position and normal and its curve's place in the boundary chain
// (curveIndex); on a surface returned they carry their (u, v) on it. With
// errorPoints, the deviations of the mesh points inside are appended to it,
// six floats per point (u, v, signed distance, x, y, z). colourCoding (may be
// null) gets the deviation range +-3 tolerance. fast replaces the Newton runs
// by one radial-basis-function correction; draftOnly returns the Draft
// surface. fitOptionA and fitOptionB go to the knot-refinement start fit.
// Without progress the mesh's own sink is polled; a cancellation returns the
// surface as it stands (null before there is one).
// A nearly flat face starts from the plane of its boundary imprinted with
// its samples, or from the plane alone where the imprint folds its net.
// The refined surface is measured against the mesh as the commit measures
// its Breps (net/FaceMeshDistance.h); where it strays beyond the tolerance
// the mesh points there join the fit ("mesh check: n mesh points off the
// surface join the fit") and the refinement runs again, at most 3 times,
// keeping the surface nearest the mesh. Where it still strays and the
// mesh's facets are long against the fit's spacing and the tolerance, the
// face is fitted again with points within the facets joining the vertices
// ("mesh check: the face is fitted again with points within the facets"),
// and the nearer of the two surfaces is kept. One farther than 1.5
// tolerances from its points or the mesh is reported ("face fit outside
// the tolerance").
// Null, with its message (net/FailureMessages.h), without a boundary curve
// to chain ("no boundary curve to chain"), when the boundary hits the mesh
// at fewer than 3 places ("fewer than 3 boundary samples hit the mesh"), on
// a cancellation before there is a surface ("approximation cancelled"), for
// a tube-like face ("capped Cylinder"), without a start surface
// ("no start surface"), a start surface with a bad control net ("makro
// returned a bad surface" for the fit of the developed boundary, "start
// surface is a bad surface" for the others), a start geometry that is not a
// surface ("start geometry is not a surface"), a second selection that
// strays from the Draft surface ("selection Error dMax = "), more than 625
// control points ("Shortcut delete a degenerate face "), a bad control net
// during the Newton runs (" bad surface stage 3, ignoring ") or fewer than 3
// points left inside the boundary ("fewer than 3 points inside the
// boundary").
Fenwo::NurbsSurf* approximateFace(Kor::List<Fenwo::NurbsSurf*>& boundaryCurves,
                                  Mesh::CBaseMesh* mesh, CFitPointArray& boundarySamples,
                                  Kor::List<float>* errorPoints, Fenwo::NurbsSurf* startSurface,
                                  CColorCoding* colourCoding, bool fast, CProgress* progress,
                                  double tolerance, bool draftOnly, int fitOptionA, int fitOptionB);

// The trimmed face of the loop's face: its boundary curves, a blending
// (Coons) start surface when none is given ("s0 is a coons"), approximateFace
// timed as "select and approx", and a trim loop oriented counter-clockwise in
// the surface's parameter plane: with draftOnly one curve per run of boundary
// samples from the same boundary curve, else each boundary curve put on the
// surface, within a five-hundredth of the tolerance, and the loop closed
// within a tenth of it. A loop that does not close in space within a
// fiftieth of the tolerance (0.01 without one) prints "trimLoop not io."
// and still gives a face. On success both states of the loop's face
// become Trimmed and its surface refers to the face's surface. With
// errorPoints the face's error points are refilled. Null (the face's states
// untouched) without boundary curves ("the loop gives no boundary curve"),
// when approximateFace gives nothing (it said why), or when the trim loop
// could not be built ("the boundary curves give no trim loop on the
// surface", or "approximation cancelled").
CFace* selectAndApprox(GB::Loop* loop, Mesh::CBaseMesh* mesh, Fenwo::NurbsSurf* startSurface,
                       CColorCoding* colourCoding, bool fast, CProgress* progress, double tolerance,
                       bool draftOnly, bool errorPoints);
