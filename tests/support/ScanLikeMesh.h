// Test and benchmark helper: a generated mesh as a scanner delivers it, and
// one of triangles scattered at random, which is no surface at all. Plain
// values; no test framework needed, so benchmarks use it too.
#pragma once

#include <vector>

namespace mwtest {

struct ScanLikeMesh {
    std::vector<double> xyz;    // 3 per point
    std::vector<int> triangles; // 3 point indices per triangle
};

// columns x rows cells over about 100 x 70 units of a bumpy height field,
// the columns spaced unevenly (four times denser at one end), every point
// jittered by up to a third of its spacing (a fixed pseudo-random sequence),
// each cell cut into two triangles along an alternating diagonal.
ScanLikeMesh scanLikeMesh(int columns, int rows);

// `triangles` triangles over `points` points placed at random in the cube
// [0, 100)^3 (coordinates in steps of 1e-4), each triangle three distinct
// points drawn at random; with points 0, each triangle has three points of
// its own. Its facets share few edges or none, so that every plane cuts it
// into about as many pieces as facets it crosses. A fixed pseudo-random
// sequence.
ScanLikeMesh scatteredTriangles(int triangles, int points);

} // namespace mwtest
