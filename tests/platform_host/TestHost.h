// Test helpers of the headless host's tests: a started host in the test's
// own folder, script results as assertions, and the transcript as one text.
// Each test case runs in a process of its own, so each may start its host.
#pragma once

#include "platform/host/HeadlessHost.h"
#include "platform/host/VezadSdk.h"
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hosttest {

inline HeadlessHostSettings settings(std::vector<std::wstring> plugIns = {})
{
    HeadlessHostSettings s;
    s.plugInFolder = mwtest::scratchDir();
    s.outputFolder = mwtest::scratchDir();
    s.plugIns = std::move(plugIns);
    return s;
}

inline ::testing::AssertionResult passes(const ScriptResult& result)
{
    if (result.status == ScriptResult::passed)
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "status " << result.status;
    for (const ScriptFailure& f : result.failures)
        failure << "\n  line " << f.line << ": " << f.message;
    return failure;
}

// A straight NURBS curve from a to b over [0, 1], of dimension 2 (a trim)
// or 3 (an edge), owned by the caller.
inline ON_NurbsCurve* segment(int dimension, const ON_3dPoint& a, const ON_3dPoint& b)
{
    auto* c = new ON_NurbsCurve(dimension, false, 2, 2);
    c->SetCV(0, a);
    c->SetCV(1, b);
    c->SetKnot(0, 0.0);
    c->SetKnot(1, 1.0);
    return c;
}

// The unit square in the plane z = 1, moved by `offset`, as a one-face Brep.
inline ON_Brep squareBrep(const ON_3dVector& offset = ON_3dVector(0, 0, 0))
{
    ON_Brep brep;
    auto* plane = new ON_NurbsSurface(3, false, 2, 2, 2, 2);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            plane->SetCV(i, j, ON_3dPoint(i, j, 1) + offset);
    for (int dir = 0; dir < 2; ++dir) {
        plane->SetKnot(dir, 0, 0.0);
        plane->SetKnot(dir, 1, 1.0);
    }
    ON_BrepFace& face = brep.NewFace(brep.AddSurface(plane));
    ON_BrepLoop& loop = brep.NewLoop(ON_BrepLoop::outer, face);
    const ON_3dPoint corners[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        ON_3dPoint a = corners[i], b = corners[(i + 1) % 4];
        ON_BrepEdge& edge = brep.NewEdge(brep.AddEdgeCurve(
            segment(3, ON_3dPoint(a.x, a.y, 1) + offset, ON_3dPoint(b.x, b.y, 1) + offset)));
        edge.m_tolerance = 1e-6;
        ON_BrepTrim& trim = brep.NewTrim(edge, false, loop, brep.AddTrimCurve(segment(2, a, b)));
        trim.m_type = ON_BrepTrim::boundary;
    }
    brep.SetVertices();
    brep.SetTolerancesBoxesAndFlags();
    return brep;
}

// The transcript lines printed since line `from`, joined by new lines.
inline std::string transcript(std::size_t from = 0)
{
    std::string text;
    const auto& lines = VezadApp().Transcript();
    for (std::size_t i = from; i < lines.size(); ++i)
        text += lines[i] + "\n";
    return text;
}

} // namespace hosttest
