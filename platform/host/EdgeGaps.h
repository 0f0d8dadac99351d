// How well neighbouring Breps of a document meet: the gaps along the edges
// they share.
//
// Each edge of a Brep is sampled at 50 points evenly spread over its domain
// and measured against every other Brep's edges (as poly-lines of 400
// points each, which follow them far closer than any gap of interest). A
// sample is near that Brep when it lies within a quarter of the length of
// its own edge, and of the edge it is nearest to, from that Brep's edges: a
// long free side that runs beside a narrow face (an L-shaped face's outer
// side beside the cell it wraps) lies farther than that from the
// neighbour's short sides. The edge runs along that Brep, and the pair
// counts as shared, when 80 % of its samples are near it; its gap is then
// the largest distance of those samples.
//
// Plain functions; the document must not change meanwhile.
#pragma once

#include <vector>

class CVezadDoc;

namespace VezadHost {

struct EdgeGaps {
    int brepCount = 0;
    int sharedEdges = 0; // edges that run along another Brep, each side counted
    double largest = 0.0;
    std::vector<int> edgesPerBrep; // in the document's order
};

// Over the document's Breps that are neither deleted nor hidden.
EdgeGaps sharedEdgeGaps(const CVezadDoc& doc);

} // namespace VezadHost
