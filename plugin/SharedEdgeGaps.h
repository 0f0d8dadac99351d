// How far apart neighbouring faces lie along the sides they share: the
// commit measures its trimmed faces before and after their heal, and the
// Breps it adds to the document.
//
// Which faces share a side, and along which stretch, is the net's own
// topology, never a guess from how near the faces' edges lie: each loop of a
// face holds coedges, runs of one poly-line between two of its entries, and
// two faces whose coedges cover a common run of one poly-line share the
// piece between the entries both cover (a wide face below two narrow ones, a
// T-junction, shares a part of its side with each). A narrow face's free
// side is therefore never taken for a shared one, and a seam left open
// between two faces is measured however wide it is against them. A hole of
// a face is the outer ring of an island walked the other way round: the
// face around the island shares that ring with it.
//
// Each piece is sampled at 50 points evenly spread along the poly-line's
// curve between its entries. Each face follows the piece with one of its
// edges (the edges followed by poly-lines of 400 points, far closer than
// any gap of interest): the edge nearest to 13 points evenly spread along
// the piece on their mean, over the stretch between where it passes the piece's two ends (its
// own end, a corner of the face, where that lies within twice as far from
// the piece's end as the edge's nearest point). The
// gap of the piece is the largest distance of a point of either stretch
// (its poly-line's points and 50 evenly spread) from the other face's edge:
// measured along the whole shared side, a side that leaves the net's line
// (where a face bends away over a step) counts as far as it leaves its
// neighbour, and a narrow neighbour's other edge, nearer than the opening,
// never stands in for the one along the piece. The gap of two faces is the
// largest over the pieces they share. A piece asks only the edges of its
// two faces, through the boxes of short runs of their poly-lines: the cost
// grows with the pieces, not with the square of the faces.
//
// Plain values and functions; not thread-safe only in that the faces and
// Breps measured must not change meanwhile.
#pragma once

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

class CFace;
class CParametricGeometry;
class ON_Brep;
namespace GB {
class Face;
}

using EdgePoint = std::array<double, 3>;

// One edge of a face: the poly-line that follows it.
struct EdgeOutline {
    std::vector<EdgePoint> polyline;
};

// A run of consecutive segments of one edge's poly-line and its box: a
// point farther from the box than a distance found is farther from the run.
struct OutlineRun {
    std::size_t edge = 0;
    std::size_t first = 0; // the run's segments start at these points
    std::size_t last = 0;  // of the edge's poly-line, the last one excluded
    EdgePoint low{0.0, 0.0, 0.0}, high{0.0, 0.0, 0.0};
};

// The edges of one face, the runs of their poly-lines, and the box of all.
struct FaceOutline {
    std::vector<EdgeOutline> edges;
    std::vector<OutlineRun> runs;
    EdgePoint low{0.0, 0.0, 0.0}, high{0.0, 0.0, 0.0};
};

// Two faces that share a side, by their positions in the list measured
// (a < b), and the largest gap of the pieces they share.
struct SharedEdgeGap {
    int a = 0;
    int b = 0;
    double gap = 0.0;
};

// A piece of the net that two faces share, by their positions in the list
// measured (a < b): points at the middles of equal steps along the piece,
// where it is measured (its ends lie half a step beyond the first and the
// last).
struct SharedSide {
    int a = 0;
    int b = 0;
    std::vector<EdgePoint> along;
};

// The curves of every trim loop of the face, in space; no edges for a face
// without loops.
FaceOutline faceOutline(CFace& face);
// The Brep's edges; edges without a valid domain are left out.
FaceOutline brepOutline(const ON_Brep& brep);

// The pieces the faces share as their loops' coedges give them, by the
// faces' positions in the list; null faces share nothing. A face's hole
// covers the runs of poly-lines its ring follows, shared with the faces of
// the island inside it along them (one face, or the outer faces of a net
// drawn inside the face). Ordered by a,
// b, then by poly-line and entry; a piece is at least one entry step long
// (two faces that meet at a grid point only share nothing). A poly-line
// without a curve is followed along its grid points.
std::vector<SharedSide> sharedSides(const std::vector<const GB::Face*>& faces);

// A point of the net that two faces' loops pass, by the faces' positions in
// the list measured (a < b), and where it lies.
struct SharedPoint {
    int a = 0;
    int b = 0;
    EdgePoint at{0.0, 0.0, 0.0};
};

// The points of the net two faces' loops pass, for every pair of faces that
// has any: a grid point their coedges or holes cover, taken by its position (the
// net's graph joins points at one place into one node), each once per pair.
// Ordered by a, b, then by the point's coordinates. Null faces share
// nothing.
std::vector<SharedPoint> sharedPoints(const std::vector<const GB::Face*>& faces);

// The gap of one piece between outlines a and b (see above); HUGE_VAL when
// either has no edge (a face that makes no Brep has left its neighbour),
// 0 for a piece without points.
double sideGap(const SharedSide& side, const FaceOutline& a, const FaceOutline& b);

// The points of a surface at 5 x 5 evenly spread shares of its domain, row
// by row; those of the surface of a Brep's first face (none without one).
std::vector<EdgePoint> surfaceGrid(CParametricGeometry& surface);
std::vector<EdgePoint> surfaceGrid(const ON_Brep& brep);

// Which face each Brep was made of (a document's Breps and the faces of the
// net), by their surfaces' grids (surfaceGrid): the position in `faces` of
// the face each of `breps` was made of, -1 for none. A Brep's surface is its
// face's, moved where the heal brought it to its neighbours: the two match
// when no point of one lies farther from the other's at the same place of
// the grid than a quarter of the smaller extent of the two (the largest
// distance between points of a grid), however the Brep's trim follows its
// face's region. Each Brep and face is matched once, the nearest pairs
// first (by the largest such distance, ties by position).
std::vector<int> matchSurfaces(const std::vector<std::vector<EdgePoint>>& breps,
                               const std::vector<std::vector<EdgePoint>>& faces);

// The gap of every pair of faces that share a piece, once, in the order of
// a and then b. Pairs with a face without edges are left out: there is no
// Brep of it to part from its neighbour.
std::vector<SharedEdgeGap> sharedEdgeGaps(const std::vector<FaceOutline>& faces,
                                          const std::vector<SharedSide>& sides);
