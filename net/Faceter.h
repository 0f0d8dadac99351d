// CFaceter: the display tessellation of one trimmed face in its (u, v)
// plane: quads for the parameter cells wholly inside the face, triangles for
// the rest along the trim loops, and, from the scan-line fallback, the pieces
// of scan lines inside the face. The face builds one on first use, draws and
// samples it, and drops it whenever its loops change. Every corner is a
// (u, v) pair; the faceter never evaluates the surface in space.
//
// Two tessellations fill the lists:
// - facetFace cuts the face's (u, v) plane with iso lines (chosen by
//   IsoParameters.h), marks the grid nodes and cell edges inside the trim
//   polygon, makes a quad of every whole cell and closes the cut cells along
//   the trim polygon into polygons that are triangulated by ear clipping;
// - facetByVertexList hatches the face with scan lines in u and v and keeps
//   their inside pieces and the points where they cross.
// The face's accessor (CFace::getFaceter) runs the first and falls back on
// the second when the first yields too little.
//
// Ownership: the faceter owns its lists. Thread-safety: a plain record,
// filled once on one thread and read afterwards.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Tuple.h"

#include <iosfwd>

class CFace;
class CVertexList;
class Vector;

// A whole cell: the u values of its four corners, then their v values,
// counter-clockwise in the (u, v) plane for a face that is not reversed.
struct quadDataType {
    double u[4] = {0.0, 0.0, 0.0, 0.0};
    double v[4] = {0.0, 0.0, 0.0, 0.0};
};

// A triangle: the u values of its three corners, then their v values.
struct triDataType {
    double u[3] = {0.0, 0.0, 0.0};
    double v[3] = {0.0, 0.0, 0.0};
};

class CFaceter {
public:
    // Grid nodes found inside the face, in the order found; a node found on
    // its u line and on its v line stands twice.
    Kor::List<tuple<float, 2>> gridPoints;
    Kor::List<quadDataType> quads;
    Kor::List<triDataType> triangles;
    // Pieces of scan lines inside the face, one list per scan line, in pairs
    // of end points (points 0-1, 2-3, ...); with the outline the edges of
    // each trim loop as pairs too.
    Kor::List<Kor::List<tuple<float, 2>>> scanSegments;
    // Where a piece of a v line crosses a piece of a u line.
    Kor::List<tuple<float, 2>> scanCrossings;

    CFaceter() = default;
    virtual ~CFaceter() = default;
    CFaceter(const CFaceter&) = delete;
    CFaceter& operator=(const CFaceter&) = delete;

    // Tessellates the face by its iso lines; returns the number of quads.
    // A face without trim loops gets the quads of its sample-parameter grid
    // (never reversed). Otherwise the face's (u, v) polygon is rebuilt from
    // its loops (at MeshDistance / 10, or MeshArcTol / 2 for MeshType 17) and:
    // MeshType 0 triangulates that polygon (no quads, result 0); 32 and above
    // hand the face to facetByVertexList (face, true) and return at least 10;
    // any other type cuts the polygon with the iso lines. 0 when no iso
    // values could be chosen. Walks that cannot close a cut polygon print why
    // and the rest of the face is still tessellated. A reversed face gets
    // every quad and triangle with its corner order reversed. Appends to the
    // lists (the grid points are emptied first).
    int facetFace(CFace& face);

    // The cut-cell tessellation of facetFace for a given (u, v) polygon
    // (running with the face on its left; holes joined by slits) and given
    // ascending iso values: appends the quads of the whole cells and the
    // triangles of the cut ones, counter-clockwise. A trim vertex on an iso
    // line, a trim edge along one and a crossing at a grid node are decided
    // as if the polygon were moved by an infinitely small amount, the same
    // way on every line, so that the facets tile the polygon; none is flat.
    // Spikes of no width (the trim doubling back on itself) cover nothing
    // and are left out.
    void facetPolygon(const CVertexList& polygon, const Vector& U, const Vector& V);

    // The scan-line tessellation: for a face without trim loops the quads of
    // its sample-parameter grid (only while the faceter holds no quads) and
    // their count; otherwise the scan segments (and, with outline, one row
    // per trim loop holding its polygon's edges) and their crossings, and
    // the number of scan-segment rows. A scan line holds the stretches with
    // the face on both sides: not those along a trim edge, but those along
    // a slit to a hole or a spike cut into the face.
    int facetByVertexList(CFace& face, bool outline);

    // The number of triangles; both arguments are ignored.
    int getTriangleCount(int, int) const { return triangles.count; }
};

// Appends to crossings the points where the pieces of the v-line row cross
// the pieces of the first uRowCount rows of rows (the u-line rows); returns
// how many were appended.
int addScanCrossings(const Kor::List<Kor::List<tuple<float, 2>>>& rows, int uRowCount,
                     const Kor::List<tuple<float, 2>>& row, Kor::List<tuple<float, 2>>& crossings);

// Writes the polygon's vertices as a closed degree-1 curve in the geometry
// text (a debug picture of a trim polygon); nothing for fewer than two
// vertices.
void writePolygonCurve(std::ostream& os, const CVertexList& polygon);

// Squared distance of two (u, v) points.
inline double squaredDistance2(const tuple<float, 2>& a, const tuple<float, 2>& b)
{
    const double du = double(a[0]) - double(b[0]);
    const double dv = double(a[1]) - double(b[1]);
    return du * du + dv * dv;
}

// Calls piece(a, b) for every piece of the faceter's scan lines whose ends
// are more than 1e-4 apart (squared distance above 1e-8), in list order.
template <class F> void forEachScanPiece(const CFaceter& faceter, F piece)
{
    for (const Kor::List<tuple<float, 2>>& segments : faceter.scanSegments)
        for (int k = 0; k + 1 < segments.count; k += 2)
            if (squaredDistance2(segments[k], segments[k + 1]) > 1e-8)
                piece(segments[k], segments[k + 1]);
}
