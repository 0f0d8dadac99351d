// Thinning of fit points before they become scattered-data samples.
//
// Two stages reduce a point set: `thinToTargetCount` keeps one representative
// per cell of a sparse cell grid whose cell size is tuned to a wanted count,
// and `thinPoints` keeps points greedily so that no two kept ones are closer
// than a minimum spacing, through the spatial hash instantiated on
// `CSimpleVertex3d` (points that view coordinates held elsewhere).
// `selectThinnedSubset` applies both to a fit-point subset in place;
// `intersectSubsets` intersects two subsets of one fit-point array.
//
// Ownership: the hash's cells own their CSimpleVertex3d items, but an item
// never owns the coordinates it views; the coordinates must outlive the hash.
// Thread-safety: none; every call builds its own hash.
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/IndexSubset.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"
#include "mesh/SpatialHash.h"

// A point of three doubles held elsewhere (the data of a Vector); destroying
// it leaves the coordinates alone. Copies view the same coordinates.
class CSimpleVertex3d : public CVertex<double, 3> {
public:
    explicit CSimpleVertex3d(double* storage) : CVertex<double, 3>(storage, VertexStorage::View) {}
    CSimpleVertex3d(const CSimpleVertex3d& other)
        : CVertex<double, 3>(other.data, VertexStorage::View)
    {
    }
    CSimpleVertex3d& operator=(const CSimpleVertex3d&) = delete;
    ~CSimpleVertex3d() override { data = nullptr; }
};

// The thinning hash and its cells. The hash's cellKey, findNearest and
// insert are the thinning's cell index, neighbour query and insertion.
using CThinningCell = Mesh::C3DCell<CSimpleVertex3d, double>;
using CThinningHash = Mesh::C3DHash<CSimpleVertex3d, double>;

// Appends to kept, in input order, the indices of the points that survive a
// greedy pass: a point is kept when no point kept before lies closer than
// minDist (a point exactly minDist away does not count), so no two kept
// points are closer than minDist and every dropped point lies within minDist
// of a kept one. minDist <= 1e-8 keeps every point. Vectors with fewer than
// three entries count the missing coordinates as 0. False for no points.
bool thinPoints(const Kor::List<Vector*>& pts, Kor::List<int>& kept, double minDist);

// Appends to chosen one index per occupied cell of a sparse cell grid (in
// the grid's cell order): the point nearest to the centroid of its cell's
// points. The cell size is tuned (from 10.0, within 20 %) so that the points
// occupy about targetCount cells, then grown further while more than
// targetCount cells are occupied, so at most max(targetCount, 1) indices are
// appended. Coordinates are taken in single precision. False for no points.
bool thinToTargetCount(const Kor::List<Vector*>& pts, int targetCount, Kor::List<int>& chosen);

// Rewrites the index list of pts: when it holds more than targetCount points
// only those thinToTargetCount chooses stay (in the chosen order); then
// only those thinPoints keeps at minDist (in order). Always true.
bool selectThinnedSubset(IndexSubset<CFitPoint>& pts, int targetCount, double minDist);

// The indices present in both subsets, ascending (each once per matching
// pair). Both index lists are sorted ascending in place. Empty, over a's
// array, when the subsets index different arrays.
IndexSubset<CFitPoint> intersectSubsets(IndexSubset<CFitPoint>& a, IndexSubset<CFitPoint>& b);
