// Test and benchmark helper: a generated mesh as a scanner delivers it.
// Plain values; no test framework needed, so benchmarks use it too.
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

} // namespace mwtest
