// How well neighbouring Breps of a document meet: the gaps along the edges
// they share.
//
// Each edge of a Brep is sampled at 50 points evenly spread over its domain
// and measured against the edges of all other Breps together (as poly-lines
// of 400 points each, which follow them far closer than any gap of
// interest), so that an edge that runs along two neighbours, each over a
// part of it (a side with a neighbour's corner on it), is measured against
// both. A sample is near them when it lies within a quarter of the length
// of its own edge, and of the edge it is nearest to: a long free side that
// runs beside a narrow face (an L-shaped face's outer side beside the cell
// it wraps) lies farther than that from the neighbour's short sides. Nor is
// a sample near them that lies within twice its distance from them of
// another edge of its own Brep (away from its edge's ends): they lie beyond
// its face, as the face across the diagonal lies from the free side of a
// thin triangle. The edge is shared when 80 % of its samples are near; its
// gap is then the largest distance of those samples.
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
    // sample is nearest to, by their place in the document's order (from 0);
    // -1 while no edge is shared.
    int largestBetween[2] = {-1, -1};
    std::vector<int> edgesPerBrep; // in the document's order
};

// Over the document's Breps that are neither deleted nor hidden.
EdgeGaps sharedEdgeGaps(const CVezadDoc& doc);

} // namespace VezadHost
