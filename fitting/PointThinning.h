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

// The thinning hash and its cells: the spatial hash of the mesh code over
// points that view their coordinates.
using CThinningCell = Mesh::C3DCell<CSimpleVertex3d, double>;
class CThinningHash : public Mesh::C3DHash<CSimpleVertex3d, double> {
public:
    // The key of p's cell: floor of each coordinate times the inverse cell
    // size (cellKey).
    bool thinningCellIndex(const CVertex<double, 3>& p, int& i, int& j, int& k) const
    {
        return cellKey(p, i, j, k);
    }
    // Every stored point closer than radius to p (the cell size for a
    // radius <= 0) into results and distances; with searchNeighbours the
    // cells around p's are searched too (findNearest). True when any was
    // found.
    bool thinningQuery(const CVertex<double, 3>& p, float radius, bool searchNeighbours)
    {
        return findNearest(p, radius, searchNeighbours);
    }
    // Stores p in its cell, created when missing (insert): the stored point
    // with p's exact coordinates when there is one, else p itself (asVertex)
    // or a new point viewing p's coordinates. growBox grows the cell's box.
    CSimpleVertex3d* thinningInsert(CSimpleVertex3d& p, bool growBox, bool asVertex)
    {
        return insert(p, growBox, asVertex);
    }
};

// Appends to kept, in input order, the indices of the points that survive a
// greedy pass: a point is kept when no point kept before lies closer than
// minDist (a point exactly minDist away does not count), so no two kept
// points are closer than minDist and every dropped point lies within minDist
// of a kept one. minDist <= 1e-8 keeps every point. Vectors with fewer than
// three entries count the missing coordinates as 0. False for no points.
bool thinPoints(const Kor::List<Vector*>& pts, Kor::List<int>& kept, double minDist);

// Appends to chosen one index per occupied cell of a sparse cell grid (in
// the grid's cell order): the point nearest to the centroid of its cell's
// points. The cell size is tuned (from the larger side of the points' box
// over the square root of targetCount, at most 13 rounds, stopping within
// 20 %) so that the points occupy about targetCount cells: the count
// appended may miss max(targetCount, 1) by that much either way.
// Coordinates are taken in single precision. False for no points.
bool thinToTargetCount(const Kor::List<Vector*>& pts, int targetCount, Kor::List<int>& chosen);

// Rewrites the index list of pts: when it holds more than targetCount points
// only those thinToTargetCount chooses stay (in the chosen order); then
// only those thinPoints keeps at minDist (in order). Always true.
bool selectThinnedSubset(IndexSubset<CFitPoint>& pts, int targetCount, double minDist);

// The indices present in both subsets, ascending (each once per matching
// pair). Both index lists are sorted ascending in place. Empty, over a's
// array, when the subsets index different arrays.
IndexSubset<CFitPoint> intersectSubsets(IndexSubset<CFitPoint>& a, IndexSubset<CFitPoint>& b);
