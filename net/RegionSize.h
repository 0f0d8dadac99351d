// The least area of a region the net's lines close: a region enclosing
// less is no region of its own (a sliver between lines drawn close, a pen's
// hook at a junction) and goes into a neighbour. The net's topology and the
// commit's check of its Breps against the areas the lines enclose on the
// mesh take it from here, so that the two agree on which areas count.
//
// Plain function; reads the poly-lines' points.
#pragma once

#include "foundation/KorList.h"

class COffset_PointList;

namespace GB {

// The area of a square kLeastRegionWidth (3) units wide, the unit the
// tolerance, or a hundredth of the extent of the net's junctions (the
// points more than one poly-line passes) when that is less (a net whose
// tolerance was never set keeps the default of 0.1 whatever its size);
// 0 without junctions.
double smallestRegionArea(const Kor::List<COffset_PointList*>& polyLines, double tolerance);

} // namespace GB
