// How well neighbouring Breps of a document meet: the gaps along the edges
// they share.
//
// Which Breps share which sides is the model's own knowledge where a
// plug-in has it: a plug-in that made Breps from a net of faces installs a
// query (setSharedSidesQuery) that answers the Breps it describes and the
// stretches of its net they share. The gaps are measured from the Breps'
// edges all the same, each edge followed by a poly-line of 400 points:
// - Along a shared side, each Brep follows the side with the edge nearest
//   to 13 points evenly spread along the side on their mean, over the
//   stretch between where it
//   passes the side's two ends (at its own end, a corner of the Brep, where
//   that lies within twice as far from the side's end as the edge's nearest
//   point); the gap is the largest distance of a point
//   of either stretch (its poly-line's points and 50 evenly spread) from
//   the other Brep's edge. Breps that share no side (a slot between them)
//   have no gap however near they lie, and an opening counts however wide
//   it is: nothing bounds how far the edges are sought.
// - Breps no query describes are paired by their edges alone. Each edge is
//   sampled at 50 points evenly spread over its domain, and a sample p of
//   an edge of Brep i is paired with Brep j when
//   - the point q nearest to p on the edges of the Breps other than i lies
//     on an edge of Brep j;
//   - p is, in turn, about the nearest point to q on the edges of the Breps
//     other than j: none lies nearer to q than three quarters of |pq|. Two
//     edges along each other are each other's nearest however far apart
//     they lie, while the free side of a narrow face lies beyond its own
//     shared side from the neighbour (that side is nearer to the neighbour),
//     and the free end of a side beyond its neighbour's end (the sides'
//     common corner is);
//   - |pq| is within a quarter of the smaller of the two Breps (the
//     diagonal of the box of its edges): faces that look at each other
//     across a hole of their own size share no edge.
//   An edge is shared when half of its samples are paired, and its gap is
//   then the largest |pq| of those. An edge along two neighbours, each over
//   a part of it (a side with a neighbour's corner on it), pairs each part
//   with its own neighbour. Without the model's sides this rule cannot tell
//   a slot from an open seam.
// The nearest points are sought in a tree of boxes around runs of 16
// poly-line segments, nearer boxes first: the cost grows with the samples
// times the logarithm of the runs, however the Breps' sizes differ.
//
// Plain functions; the document must not change meanwhile. The query is
// process-wide, installed and removed on the user-interface thread.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <functional>
#include <vector>

class CVezadDoc;

namespace VezadHost {

struct EdgeGaps {
    int brepCount = 0;
    int sharedEdges = 0; // edges that run along other Breps, each side counted
    // The Breps whose shared sides a plug-in's query gave, the sides it
    // gave between those of them measured, and the sides found along their
    // edges (a side without points, or along a Brep without edges, is not).
    int describedBreps = 0;
    int describedSides = 0;
    int measuredSides = 0;
    double largest = 0.0;
    // The Brep whose edge has the largest gap and the Brep its farthest
    // sample is paired with, by their place in the document's order (from
    // 0); -1 while no edge is shared.
    int largestBetween[2] = {-1, -1};
    std::vector<int> edgesPerBrep; // in the document's order
};

// Over the document's Breps that are neither deleted nor hidden.
EdgeGaps sharedEdgeGaps(const CVezadDoc& doc);

// A side two Breps share, by their ids: points at the middles of equal
// steps along it (its ends half a step beyond the first and the last).
struct BrepSharedSide {
    ON_UUID a;
    ON_UUID b;
    std::vector<ON_3dPoint> along;
};

// What a plug-in knows of the Breps it made: their ids, and the sides they
// share. A Brep it names shares no side but those it lists.
struct BrepSides {
    std::vector<ON_UUID> breps;
    std::vector<BrepSharedSide> sides;
};

using SharedSidesQuery = std::function<BrepSides(const CVezadDoc&)>;

// Installs the query sharedEdgeGaps asks; an empty one removes it (every
// Brep is then paired by its edges alone).
void setSharedSidesQuery(SharedSidesQuery query);

} // namespace VezadHost
