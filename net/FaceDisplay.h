// How a computed face of the net meets its surface: the corners of its loop
// among the grid points, their match to the four corners of the surface,
// the side between two matched corners, and, for a trimmed face, the trim
// curves put on the loop's coedges. The net's display update of a face
// (GB::CSurfaceNet::updateFaceDisplay and updateFaceBoundary) is built on
// these.
//
// Ownership: nothing is owned; coedges refer to the trim curves they are
// given, which the face's trimmed face owns.
// Thread-safety: none; user-interface thread only.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Vertex.h"
#include "geometry/BoundaryPosition.h"
#include "geometry/SurfaceBoundaryPoint.h"

class CCONS;
class COffset_PointList;
namespace GB {
class Loop;
}

// Whether a loop point is a corner of the loop.
enum v_attribute : int { NoCorner = 0, Corner = 1 };

// The corners of the closed loop of points p: a point is a corner when the
// first poly-line (in list order) through it and its predecessor does not go
// on to its successor while some poly-line runs from it to the successor.
// flags receives one entry per point; indices the poly-line (its position
// in polyLines) that runs from each point on, for every point that has one.
// Both are emptied first. Returns the number of corners.
int findLoopCorners(const Kor::List<CVertex<float, 3>*>& p,
                    const Kor::List<COffset_PointList*>& polyLines, Kor::List<v_attribute>& flags,
                    Kor::List<int>& indices);

// The number of sides of the loop: its corners (findLoopCorners over its
// boundary points, each once) or, for a loop without corners (a ring along
// one closed poly-line), 1. The face's trim loop takes one curve a side,
// and so does the Brep it is committed as.
int countLoopSides(const GB::Loop& loop, const Kor::List<COffset_PointList*>& polyLines);

// Matches four corner points to the corners of surface, closest pairs
// first (ties to the lower row, then the lower column): positions receives
// one record per corner point. False (positions untouched) unless exactly
// four points are given.
bool matchCornersToSurface(const Kor::List<CVertex<float, 3>*>& corners, Fenwo::NurbsSurf* surface,
                           Kor::List<CPointOnSurfaceBoundary>& positions);

// The side of a four-sided patch between two adjacent corners, in either
// order; any other pair prints "returning undefinedPosition." and gives
// undefinedPosition.
BoundaryPosition sideBetweenCorners(BoundaryPosition a, BoundaryPosition b);

// Puts curve on the coedge of loop whose end grid points lie closest to its
// ends: on the side that belongs to loop, else on a free side; prints
// "uups, Left and Right are already occupied " when both sides belong to
// other loops.
void assignCoEdgeToSegment(CCONS* curve, GB::Loop* loop);

// Every trim curve of the loop's trimmed face goes to its coedge. False
// unless the loop's face is Trimmed and holds a trimmed face.
bool assignTrimCurves(GB::Loop* loop);
