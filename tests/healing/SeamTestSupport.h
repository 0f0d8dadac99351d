// Helpers of the seam tests: bicubic patches from a control-point rule,
// faces that own their loop and surface, and two faces meeting along a
// coedge with loops, positions and intervals set by hand.
#pragma once

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "net/FaceRecords.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace seamtest {

using ControlRule = std::function<Vector(int i, int j)>;

// A clamped patch on [0, 1]^2, cubic where the count allows, with nu x nv
// control points P(i, j) = rule(i, j); owned by the caller.
inline Fenwo::NurbsSurf* patch(const ControlRule& rule, int nu = 4, int nv = 4)
{
    const knots ku(nu - 1, std::min(3, nu - 1), 0.0, 1.0);
    const knots kv(nv - 1, std::min(3, nv - 1), 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(ku, &kv);
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j)
            s->setControlPoint(i, j, rule(i, j));
    return s;
}

// A face owning its one loop and the surface (null allowed).
inline std::unique_ptr<GB::Face> face(CParametricGeometry* surface, FaceState state = ComplexApprox)
{
    auto f = std::make_unique<GB::Face>(new GB::Loop);
    f->surface = surface;
    f->requestedState = state;
    return f;
}

inline Fenwo::NurbsSurf* surfaceOf(const std::unique_ptr<GB::Face>& f)
{
    return static_cast<Fenwo::NurbsSurf*>(f->surface);
}

// Two 4 x 4 patches meeting along y = 0: the left one below (its north side
// on the seam), the right one above (its south side), the right one bent up
// by `kinkDegrees` about the seam and lifted by `gap`; `opposite` runs the
// right patch's u against the left one's. Left row j = 0 is the far row.
struct TwoPatchSeam {
    std::unique_ptr<GB::Face> left;
    std::unique_ptr<GB::Face> right;
    CCoEdge seam{0, 1, nullptr};

    TwoPatchSeam(double gap, double kinkDegrees, bool opposite)
    {
        auto wave = [](int i) { return 0.05 * ((i * 7) % 3); };
        left = face(patch([&](int i, int j) {
            return Vector(i / 3.0, (j - 3) / 3.0, wave(i) + 0.02 * (3 - j) * (i % 2));
        }));
        const double a = kinkDegrees * std::numbers::pi / 180.0;
        right = face(patch([&](int i, int j) {
            const int k = opposite ? 3 - i : i;
            return Vector(k / 3.0, j / 3.0 * std::cos(a), wave(k) + gap + j / 3.0 * std::sin(a));
        }));
        seam.setLeftLoop(left->firstLoop);
        seam.setRightLoop(right->firstLoop);
        seam.leftPosition = uvNorth;
        seam.rightPosition = uvSouth;
        seam.leftInterval = Interval(0.0, 1.0);
        seam.rightInterval = Interval(0.0, 1.0);
    }

    Fenwo::NurbsSurf* leftSurface() const { return surfaceOf(left); }
    Fenwo::NurbsSurf* rightSurface() const { return surfaceOf(right); }
};

// The stored (homogeneous) control points of the given rows j of a surface.
inline std::vector<std::vector<double>> controlRows(Fenwo::NurbsSurf* s, std::vector<int> rows)
{
    std::vector<std::vector<double>> out;
    for (int j : rows)
        for (int i = 0; i < s->getUCount(); ++i) {
            const Vector& p = s->getWrappedControlPoint(i, j);
            out.emplace_back(p.data, p.data + p.n);
        }
    return out;
}

} // namespace seamtest
