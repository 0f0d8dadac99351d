// Shared by the net benchmarks: a 30 x 30 grid of poly-lines in the plane
// z = 0 (31 lines each way, every crossing a junction, grid points with mesh
// normals +z, each line with an attached straight curve), which the
// topology step turns into 900 faces, and a guard that keeps the net's
// messages off the benchmark's report.
#pragma once

#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "net/SurfaceNet.h"

#include <iostream>
#include <memory>
#include <sstream>

namespace netbench {

constexpr int kCells = 30;

// Sets the straight curve from the line's first to its last point, point i
// at parameter i / (n - 1).
inline void attachStraightCurve(COffset_PointList* line)
{
    const int n = line->vertices.count;
    const CVertex<float, 3>& a = *line->vertices[0];
    const CVertex<float, 3>& b = *line->vertices[n - 1];
    const double from[3] = {a[0], a[1], a[2]};
    const double to[3] = {b[0], b[1], b[2]};
    Kor::List<double> t;
    for (int i = 0; i < n; ++i)
        t.append(double(i) / (n - 1));
    line->setCurve(makeCurve(from, to), t, 0, n - 1);
}

inline std::unique_ptr<GB::CSurfaceNet> gridNet()
{
    auto net = std::make_unique<GB::CSurfaceNet>();
    Gridbench::CGridPoint* at[kCells + 1][kCells + 1];
    for (int i = 0; i <= kCells; ++i)
        for (int j = 0; j <= kCells; ++j) {
            auto* p = new Gridbench::CGridPoint();
            p->data[0] = float(i);
            p->data[1] = float(j);
            p->normal.data[2] = 1.f;
            at[i][j] = p;
        }
    for (int k = 0; k <= kCells; ++k)
        for (bool across : {false, true}) {
            auto* line = new COffset_PointList(net.get());
            for (int m = 0; m <= kCells; ++m)
                line->appendVertex(across ? at[m][k] : at[k][m]);
            attachStraightCurve(line);
            net->addPointList(line);
        }
    return net;
}

inline int faceCount(const GB::CSurfaceNet& net)
{
    int n = 0;
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        ++n;
    return n;
}

// Keeps the net's messages off the benchmark's report.
struct QuietOutput {
    std::ostringstream sink;
    std::streambuf* previous = std::cout.rdbuf(sink.rdbuf());
    ~QuietOutput() { std::cout.rdbuf(previous); }
};

} // namespace netbench
