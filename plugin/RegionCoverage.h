// The commit's own check of the Breps it made against what the net's
// drawing encloses: the mesh near the net is sampled, a quarter of a fit
// tolerance apart in narrow places next to the net's lines and coarser
// away from them (as far apart as a share of their distance from the
// lines), so that the samples number about the lines' length over the
// tolerance, whatever the net's size; the samples on the lines are left
// out, and the others fall into the areas the lines part them into (the
// stretches the faces' loops run along, as the net's topology took them;
// samples
// near one another, for their spacings, on one sheet are one area; a wall
// whose facets meet a sheet's across a fold is of that sheet). An area
// that reaches beyond the lines (the edge of the mesh where no line runs
// along it, or the ground beside the whole net) is outside, and so is the
// other side of a closed part round the net (its sheet faces away along the
// lines from the way it faces as a whole). Every other area is enclosed and
// must lie under exactly one Brep, a Brep over no more than one of them
// (within a band along the lines, where a Brep's edge may lie, nothing is
// judged; an area narrower than that must lie under a face in its middle,
// and a region with no samples beyond the band (a sliver about a tolerance
// wide) must have a Brep of its own, whose edges follow its sides;
// an area smaller than the topology's least region, which gives it to a
// neighbour, must lie under a face). A Brep lies over a sample where the
// sample's foot on it lies inside its trim; of the Breps over a sample, the
// nearest sheet's (a stacked sheet's Brep lies farther); one over it only
// far off (the top of a spike or a column under a face) is the Brep's
// distance from the mesh, which the commit measures, and is not judged
// here. Each Brep's edges must also follow its region's sides (the curves
// of its net face's loop and holes, which it is fitted to, and its nodes)
// both ways, across the mesh (a side's curve off the mesh is met where it
// lies straight off the edge along the mesh's normal), within
// edgesOffSidesAllowance (sideAllowance, which the heal keeps to as
// well): the edges are the sides put onto the face's
// surface, which the fit holds that close to the mesh the sides were drawn
// on.
//
// Ownership: the check reads the net, its mesh and the Breps; it keeps
// nothing. Thread-safety: none; the mesh's and the surfaces' evaluation
// tables are used, and the mesh's table of the facets round its vertices
// (built when it has none).
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

// How far a Brep's edges may lie from its region's sides, for the net's fit
// tolerance: the fit's slack (sideAllowance, which the heal keeps to).
double edgesOffSidesAllowance(double fitTolerance);

// What the check found: the enclosed areas it found, the farthest a Brep's
// edges lie from its region's sides, and one line per fault, in the order
// of the faces and areas (none when every enclosed area lies under one Brep, each Brep over
// one area, and every Brep's edges within the allowance of its region's
// sides):
// - "Face i leaves its region's sides: its Brep's edges lie d from them,
//   r x the fit tolerance t where 1.5 are accepted"
// - "The area within the net's junctions a b c is covered by no face"
// - "The area within the net's junctions a b c lies under two faces, i and
//   j, over p % of it"
// - "The area within the net's junctions a b c is left bare over p % of it,
//   beside face i"
// - "Face i lies over areas the net parts: within its junctions a b and
//   within c d"
// - "Face i lies over no area the net's lines enclose: the check could not
//   judge it" (a face where the check found nothing enclosed: it fails
//   rather than pass unseen)
// An area with no junction beside it is named by a point of its middle
// ("The area round x y z"). The fit tolerance is the net's (`tolerance`,
// the document's, where the net has none). A line parts the areas where its
// curve runs and where it lies on the mesh below or above that (within ten
// tolerances: a curve drawn through junctions far apart across a wave runs
// under its crests). Without a mesh only the edges are checked.
struct RegionCoverage {
    std::vector<std::string> faults;
    int areas = -1;             // the enclosed areas found; -1 without a mesh
    double edgesOffSides = 0.0; // the farthest a Brep's edges lie from its region's sides
};
RegionCoverage checkRegionCoverage(GB::CSurfaceNet& net, const std::vector<CommittedBrep>& breps,
                                   double tolerance);
