// How far apart neighbouring faces lie along the edges they share: the
// commit measures its trimmed faces before and after their heal, and the
// Breps it adds to the document.
//
// Each edge is sampled at 50 points evenly spread over its domain and
// measured against the edges of all other faces together (as poly-lines of
// 400 points each, which follow them far closer than any gap of interest).
// A sample is near them when it lies within a quarter of the length of its
// own edge, and of the edge it is nearest to: a long free side that runs
// beside a narrow face (an L-shaped face's outer side beside the cell it
// wraps) lies farther than that from the neighbour's short sides, where a
// side the two faces share lies along one side of the neighbour. Nor is a
// sample near them that lies within twice its distance from them of another
// edge of its own face (away from its edge's ends): they lie beyond its face, as the face across the
// diagonal lies from the free side of a thin triangle. The edge
// runs along other faces when 80 % of its samples are near them. Each of
// those samples belongs to the face it is nearest to, so that a side that
// runs along two neighbours, each over a part of it (a side with a
// neighbour's corner on it: a T-junction), is measured against each only
// along the part that neighbour shares (a sample nearer to an end of its
// edge than twice its distance belongs to the face of the nearest sample
// that is not: a face across a corner may lie nearest there); a face shares
// the edge when it is given two of its samples at least, and the gap of the
// two is the largest distance of those samples from the faces, as the
// job's judge of the Breps measures them.
//
// Plain values and functions; not thread-safe only in that the faces and
// Breps measured must not change meanwhile.
#pragma once

#include <array>
#include <vector>

class CFace;
class ON_Brep;

using EdgePoint = std::array<double, 3>;

// One edge of a face: its samples, the poly-line that follows it and its
// length along that poly-line.
struct EdgeOutline {
    std::vector<EdgePoint> samples;
    std::vector<EdgePoint> polyline;
    double length = 0.0;
};

// The edges of one face, and the box of their poly-lines.
struct FaceOutline {
    std::vector<EdgeOutline> edges;
    EdgePoint low{0.0, 0.0, 0.0}, high{0.0, 0.0, 0.0};
};

// Two faces of which one has an edge along the other, by their positions in
// the list measured (a < b), and the largest gap of such edges between them.
struct SharedEdgeGap {
    int a = 0;
    int b = 0;
    double gap = 0.0;
};

// The curves of every trim loop of the face, in space; no edges for a face
// without loops.
FaceOutline faceOutline(CFace& face);
// The Brep's edges; edges without a valid domain are left out.
FaceOutline brepOutline(const ON_Brep& brep);

// Every pair of faces of which one has an edge running along the other, once,
// in the order of a and then b.
std::vector<SharedEdgeGap> sharedEdgeGaps(const std::vector<FaceOutline>& faces);
