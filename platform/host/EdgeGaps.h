// How well neighbouring Breps of a document meet: the gaps along the edges
// they share.
//
// The document holds Breps only, not the net they came from, so which edges
// run along each other is read from the edges alone, pairing pieces of two
// Breps' edges that are each other's nearest. Each edge is followed by a
// poly-line of 400 points and sampled at 50 points evenly spread over its
// domain. A sample p of an edge of Brep i is paired with Brep j when
// - the point q nearest to p on the edges of the Breps other than i lies on
//   an edge of Brep j;
// - p is, in turn, about the nearest point to q on the edges of the Breps
//   other than j: none lies nearer to q than three quarters of |pq|. Two
//   edges along each other are each other's nearest however far apart they
//   lie, while the free side of a narrow face lies beyond its own shared
//   side from the neighbour (that side is nearer to the neighbour), and the
//   free end of a side beyond its neighbour's end (the sides' common corner
//   is);
// - |pq| is within a quarter of the smaller of the two Breps (the diagonal
//   of the box of its edges): faces that look at each other across a hole
//   of their own size share no edge.
// An edge is shared when half of its samples are paired, and its gap is
// then the largest |pq| of those. An edge along two neighbours, each over a
// part of it (a side with a neighbour's corner on it), pairs each part with
// its own neighbour.
//
// The nearest points are searched in a grid of cells a quarter of the
// median edge long, each listing the runs of poly-line segments that cross
// it; a search goes out cell by cell only as far as the nearest point found:
// the cost grows with the samples, not with the square of the Breps.
//
// Plain functions; the document must not change meanwhile.
#pragma once

#include <vector>

class CVezadDoc;

namespace VezadHost {

struct EdgeGaps {
    int brepCount = 0;
    int sharedEdges = 0; // edges that run along other Breps, each side counted
    double largest = 0.0;
    // The Brep whose edge has the largest gap and the Brep its farthest
    // sample is paired with, by their place in the document's order (from
    // 0); -1 while no edge is shared.
    int largestBetween[2] = {-1, -1};
    std::vector<int> edgesPerBrep; // in the document's order
};

// Over the document's Breps that are neither deleted nor hidden.
EdgeGaps sharedEdgeGaps(const CVezadDoc& doc);

} // namespace VezadHost
