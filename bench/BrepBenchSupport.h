// Shared by the benchmarks that measure Breps: a rectangle at a height as a
// one-face Brep of a bilinear surface, its four edges straight.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

namespace brepbench {

inline ON_NurbsCurve* segment(int dimension, const ON_3dPoint& a, const ON_3dPoint& b)
{
    auto* c = new ON_NurbsCurve(dimension, false, 2, 2);
    c->SetCV(0, a);
    c->SetCV(1, b);
    c->SetKnot(0, 0.0);
    c->SetKnot(1, 1.0);
    return c;
}

// The rectangle [x, x + w] x [y, y + h] at height z as a one-face Brep.
inline ON_Brep rectangleBrep(double x, double y, double z, double w = 1.0, double h = 1.0)
{
    ON_Brep brep;
    auto* plane = new ON_NurbsSurface(3, false, 2, 2, 2, 2);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            plane->SetCV(i, j, ON_3dPoint(x + i * w, y + j * h, z));
    for (int dir = 0; dir < 2; ++dir) {
        plane->SetKnot(dir, 0, 0.0);
        plane->SetKnot(dir, 1, 1.0);
    }
    ON_BrepFace& face = brep.NewFace(brep.AddSurface(plane));
    ON_BrepLoop& loop = brep.NewLoop(ON_BrepLoop::outer, face);
    const ON_3dPoint corners[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int k = 0; k < 4; ++k) {
        const ON_3dPoint a = corners[k], b = corners[(k + 1) % 4];
        ON_BrepEdge& edge = brep.NewEdge(brep.AddEdgeCurve(segment(
            3, ON_3dPoint(x + a.x * w, y + a.y * h, z), ON_3dPoint(x + b.x * w, y + b.y * h, z))));
        edge.m_tolerance = 1e-6;
        ON_BrepTrim& trim = brep.NewTrim(edge, false, loop, brep.AddTrimCurve(segment(2, a, b)));
        trim.m_type = ON_BrepTrim::boundary;
    }
    brep.SetVertices();
    brep.SetTolerancesBoxesAndFlags();
    return brep;
}

} // namespace brepbench
