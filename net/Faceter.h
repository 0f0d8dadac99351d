// CFaceter: the display tessellation of one trimmed face in its (u, v)
// plane: quads for the parameter cells wholly inside the face, triangles for
// the rest along the trim loops, and, from the scan-line fallback, the pieces
// of scan lines inside the face. The face builds one on first use, draws and
// samples it, and drops it whenever its loops change. Every corner is a
// (u, v) pair; the faceter never evaluates the surface.
//
// The face reads the lists below. The two tessellations that fill them (the
// cut-cell faceting and the scan-line fallback) are not part of this
// library yet: until they are, no face makes a faceter and faces draw their
// trims without shading.
//
// Ownership: the faceter owns its lists. Thread-safety: a plain record,
// filled once and read afterwards.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Tuple.h"

// A whole cell: the u values of its four corners, then their v values,
// counter-clockwise in the (u, v) plane.
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
    Kor::List<tuple<float, 2>> gridPoints; // grid nodes found inside the face
    Kor::List<quadDataType> quads;
    Kor::List<triDataType> triangles;
    // Pieces of iso-parameter (scan) lines inside the face, in pairs of end
    // points: points 0-1, 2-3, ... of each list.
    Kor::List<Kor::List<tuple<float, 2>>> scanSegments;
    Kor::List<tuple<float, 2>> scanCrossings;

    CFaceter() = default;
    virtual ~CFaceter() = default;
    CFaceter(const CFaceter&) = delete;
    CFaceter& operator=(const CFaceter&) = delete;

    // The number of triangles; both arguments are ignored.
    int getTriangleCount(int, int) const { return triangles.count; }
};

// Squared distance of two (u, v) points.
inline double squaredDistance2(const tuple<float, 2>& a, const tuple<float, 2>& b)
{
    const double du = double(a[0]) - double(b[0]);
    const double dv = double(a[1]) - double(b[1]);
    return du * du + dv * dv;
}
