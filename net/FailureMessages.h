// The lines the system prints when something fails, each defined once here:
// the code that prints them takes its words from here, and the plug-in
// registers them with its host as the lines that name what failed and the
// lines before them that tell why (failureLineKinds).
//
// A face without a surface ("Face k of n has no surface") follows the line
// of the step of its approximation that gave up; a failed heal ("Heal
// failed for dTol=") follows the line of the face the heal worked on
// ("Start Face k/n"); a region without a face, the commit's gap between two
// faces, its Brep farther from the mesh than its fit accepts (printed before
// the gaps such a face leaves), a face without a Brep, a commit with nothing
// to commit and the reopened document's lost loop tell their cause
// themselves.
//
// Plain constants; thread-safe.
#pragma once

#include <string>
#include <vector>

namespace FailureMessages {

// ---- A face without a surface ------------------------------------------------------------
inline constexpr char kNoSurface[] = "has no surface";
// The steps of a face's approximation that give up, in the order they run.
inline constexpr char kNoBoundaryCurves[] = "the loop gives no boundary curve";
inline constexpr char kEmptyChain[] = "no boundary curve to chain";
inline constexpr char kFewBoundaryHits[] = "fewer than 3 boundary samples hit the mesh";
inline constexpr char kCappedCylinder[] = "capped Cylinder";
inline constexpr char kMakroBadSurface[] = "makro returned a bad surface";
inline constexpr char kNoStartSurface[] = "no start surface";
inline constexpr char kBadStartSurface[] = "start surface is a bad surface";
inline constexpr char kStartNotSurface[] = "start geometry is not a surface";
inline constexpr char kSelectionError[] = "selection Error dMax = ";
inline constexpr char kDegenerateFace[] = "Shortcut delete a degenerate face ";
inline constexpr char kFoldedSurface[] = "folded surface, face refused";
inline constexpr char kBadSurfaceStage3[] = "bad surface stage 3, ignoring";
inline constexpr char kFewPointsInside[] = "fewer than 3 points inside the boundary";
inline constexpr char kOutsideTolerance[] = "face fit outside the tolerance";
inline constexpr char kNoTrimLoop[] = "the boundary curves give no trim loop on the surface";
inline constexpr char kNoHoleTrimLoop[] =
    "the boundary of a region inside the face gives no trim loop on the surface";
inline constexpr char kTrimLoopOffDomain[] = "the trim loop runs far outside the surface's domain";
inline constexpr char kApproximationCancelled[] = "approximation cancelled";

// ---- The net's regions -------------------------------------------------------------------
// A region the net closes that the topology found no face ("The region of
// corners 0 40 81 57 41 is left without a face: " and why), said again by
// the commit.
inline constexpr char kRegionWithoutFace[] = "is left without a face";
// The commit's check of its Breps against the areas the net's lines enclose
// on the mesh (plugin/RegionCoverage.h): an enclosed area under no Brep
// ("The area within the net's junctions 4 7 11 12 is covered by no face"),
// partly bare or under two Breps, a Brep over two areas, and a Brep whose
// edges leave its region's sides.
inline constexpr char kAreaWithoutFace[] = "is covered by no face";
inline constexpr char kAreaPartlyBare[] = "is left bare";
inline constexpr char kAreaUnderTwoFaces[] = "lies under two faces";
inline constexpr char kFaceOverTwoAreas[] = "lies over areas the net parts";
inline constexpr char kEdgesOffSides[] = "leaves its region's sides";
// A Brep over no area the check finds enclosed ("Face k lies over no area
// the net's lines enclose: the check could not judge it"): the check was
// blind where the face lies, which fails as a fault does.
inline constexpr char kFaceOverNoArea[] = "lies over no area the net's lines enclose";

// ---- The heal, the commit and the document --------------------------------------------------
inline constexpr char kHealFailed[] = "Heal failed";
inline constexpr char kHealStartFace[] = "Start Face ";
inline constexpr char kGapBetweenFaces[] = "Gap between faces";
// A face with a surface whose trimmed face makes no valid Brep ("Face k of
// n makes no Brep: " and the Brep's first fault), and a commit that finds
// no face with a surface.
inline constexpr char kNoBrep[] = "makes no Brep";
// A face that lies over a region inside it, which it was not trimmed by
// ("Face k does not leave out the region of corners ... inside it: ").
inline constexpr char kRegionNotLeftOut[] = "does not leave out the region of corners";
inline constexpr char kNothingToCommit[] = "Nothing to Commit";
inline constexpr char kBrepOffTheMesh[] = "Brep off the mesh";
inline constexpr char kLostLoop[] = "failed to relocate the loop";

// A kind of failure line: the marker of the line that names what failed,
// and the markers of the lines before it that tell why.
struct FailureLineKind {
    std::string what;
    std::vector<std::string> causes;
};

// Every kind the system prints, for its host, a kind before those its
// failures may cause: a face's own faults (no surface, no face for a
// region, no Brep, a face over a region inside it, nothing to commit, a
// Brep off the mesh) before the commit's check of its Breps against the
// areas the lines enclose (a face left out or off the mesh leaves its area
// bare), these before the seams between faces (a failed heal, a gap), and
// these before what the reopened document lost.
std::vector<FailureLineKind> failureLineKinds();

} // namespace FailureMessages
