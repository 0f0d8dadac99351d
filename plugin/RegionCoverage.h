// The commit's own check of the Breps it made against what the net's
// drawing encloses, found without the net's topology: the mesh under the
// net is sampled about half a tolerance apart, the samples within a band
// along the net's lines (their curves; the fit's slack and a spacing wide)
// are left out, and the others fall
// into the areas the lines part them into (samples about a spacing apart
// on facets facing alike are one area). An area that reaches beyond the
// lines (the edge of the mesh where no line runs along it, or the ground
// beside the whole net) is outside; every other area is enclosed and must
// lie under exactly one Brep, a Brep over no more than one of them (a
// region narrower than twice the band has no samples to judge). Each
// Brep's edges must also follow its
// region's sides (the curves of its net face's loop and holes, which it is
// fitted to, and its nodes) both ways, across the mesh (a side's curve
// off the mesh is met where it lies straight off the edge along the
// mesh's normal), within the fit's slack (sideAllowance, which the heal
// keeps to as well): the edges are the sides put onto the face's surface,
// which the fit holds that close to the mesh the sides were drawn on.
//
// Ownership: the check reads the net, its mesh and the Breps; it keeps
// nothing. Thread-safety: none; the mesh's and the surfaces' evaluation
// tables are used.
#pragma once

#include <memory>
#include <string>
#include <vector>

class ON_Brep;
namespace GB {
class CSurfaceNet;
class Face;
} // namespace GB

// One Brep of a commit and the face of the net it was made of.
struct CommittedBrep {
    int number = 0;                 // the face's number, as the fit report and the commit say it
    const GB::Face* face = nullptr; // its region: the first loop and the holes
    const ON_Brep* brep = nullptr;
};

// The Breps with the faces of the net they were made of: numbers[i] is
// Brep i's face number, its place in the net's chain of faces counted from
// 1 (no face for a number outside it).
std::vector<CommittedBrep> committedBreps(const GB::CSurfaceNet& net,
                                          const std::vector<std::unique_ptr<ON_Brep>>& breps,
                                          const std::vector<int>& numbers);

// What the check found: the enclosed areas it found, the farthest a Brep's
// edges lie from its region's sides, and one line per fault, in the order
// of the faces and areas (none when every enclosed area lies under one Brep, each Brep over
// one area, and every Brep's edges within the fit's slack of its region's
// sides):
// - "The area within the net's junctions a b c is covered by no face"
// - "The area within the net's junctions a b c lies under two faces, i and
//   j, over p % of it"
// - "The area within the net's junctions a b c is left bare over p % of it,
//   beside face i"
// - "Face i lies over areas the net parts: within its junctions a b and
//   within c d"
// - "Face i leaves its region's sides: its Brep's edges lie d from them,
//   r x the fit tolerance t where 1.5 are accepted"
// The fit tolerance is the net's (`tolerance`, the document's, where the
// net has none). A line parts the areas where its curve runs and where it
// lies on the mesh below or above that (within ten tolerances: a curve
// drawn through junctions far apart across a wave runs under its crests).
// Areas are sampled about half of it apart (coarser on a net
// too large for some 300000 samples); without a mesh only the edges are
// checked.
struct RegionCoverage {
    std::vector<std::string> faults;
    int areas = -1;             // the enclosed areas found; -1 without a mesh
    double edgesOffSides = 0.0; // the farthest a Brep's edges lie from its region's sides
};
RegionCoverage checkRegionCoverage(GB::CSurfaceNet& net, const std::vector<CommittedBrep>& breps,
                                   double tolerance);
