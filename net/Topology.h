// The face test of a closed cycle of the net's graph and the corner
// identity of a cycle.
//
// getOrientation decides whether a closed cycle of the poly-line graph
// bounds a face of the net and which way it runs: its outline (the
// poly-lines' curves between the junctions) is projected into the plane of
// its corners, seen from the side the mesh normals point to; a cycle into
// which some other piece of the net runs from one of its junctions is no
// face. cycleCornerSet gives the identity a face keeps across rebuilds: the
// corner ids of the cycle, where along the sides of a face bounded by four
// poly-lines the junctions at which other poly-lines merely end do not
// count.
//
// The net's own topology step (GB::CSurfaceNet::buildTopology, in
// Topology.cpp) finds the regions of the drawing as the walks round them:
// each node's pieces ordered round it by the way its lines leave it (seen
// about its mesh normal), a junction put where lines cross between their
// points, the pieces that hang off the net left out. A walk with one
// closed walk counter-clockwise about the mesh normals runs round a region
// (the others, where it touches itself, are its holes); one all clockwise
// runs round the outside of a part of the net, whose region inside another
// region is a hole of it. A region too small to hold a face gives way to
// its neighbour.
//
// Ownership: the functions only read the cycle, its graph and the
// poly-lines; outputs are the caller's. Thread-safety: none beyond that of
// the poly-lines' curves, which are evaluated.
#pragma once

#include "foundation/KorList.h"
#include "foundation/KorSet.h"
#include "net/FaceRecords.h"
#include "net/GraphRecords.h"

#include <cstdint>
#include <string>

class COffset_PointList;

// Why getOrientation found a cycle no face: the cause in words, and which
// way its outline runs (as getOrientation answers for a face; 0 where the
// outline was not drawn).
struct CycleRejection {
    std::string cause;
    int orientation = 0;
};

// -1 when the cycle runs counter-clockwise about the mesh normals, +1
// clockwise, 0 when its outline has fewer than three points. bad is set
// (and -1 returned) when the cycle is no face: a node is no grid-point node
// ("runtime cast failed!   aborting the loop "), the mesh normals are all
// nearly perpendicular to the plane of the corners ("getOrientation::badloop,
// spstat = " and the statistic), or a piece of the net leaves one of its
// junctions towards its inside; then *rejection (when given) says why. A
// piece's first stretch that runs along the outline (a pen that ran past
// the junction and came back) tells nothing: the piece is judged where it
// leaves the outline. The poly-line list is not consulted.
int getOrientation(const GraphAlgorithm::Cycle& c, const Kor::List<COffset_PointList*>& polyLines,
                   bool& bad, CycleRejection* rejection = nullptr);

// One entry per half-edge of the cycle whose two ends are grid-point nodes
// (corner ids, poly-line, the ends' indices in it), appended to entries.
// When the cycle runs along exactly four poly-lines, consecutive entries
// on one poly-line that meet at a point are merged into one.
void collectEdgeEntries(const GraphAlgorithm::Cycle& c, Kor::List<EdgeData>& entries);

// The corner ids of the entries, ascending and each once, inserted into
// corners (which owns the new items).
void collectCornerSet(const Kor::List<EdgeData>& entries, Kor::Set<std::intptr_t>& corners);

// Whether the ring of the poly-line's entries from..to (a piece from a
// point back to it), seen along the mesh normal at its first point, is too
// small to hold a face: it encloses less than `least`, and so do its lobes
// where it crosses itself (a figure-eight's lobes are no pen's hook though
// their areas cancel). A ring whose first point is no grid point is.
bool smallRing(const COffset_PointList& polyLine, int from, int to, double least);

// The area below which a region of the poly-lines' drawing is no region: that
// of a square a few tolerances wide, or a few hundredths of the extent of the
// net's junctions when that is less.
double leastRegionArea(const Kor::List<COffset_PointList*>& polyLines, double tolerance);
