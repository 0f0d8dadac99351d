#include "curves/BoundaryLoopCurves.h"

#include "curves/ReInterpolation.h"
#include "foundation/Vector.h"
#include "geometry/FitHelpers.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <cmath>
#include <vector>

namespace {

Fenwo::NurbsSurf* pieceThrough(const std::vector<Vector>& points, int from, int to)
{
    const int n = int(points.size());
    const knots u(to - from, 1, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    auto* piece = new Fenwo::NurbsSurf(u, nullptr);
    for (int k = from; k <= to; ++k)
        piece->setControlPoint(k - from, 0, points[k % n], 1.0);
    return piece;
}

} // namespace

Kor::List<Fenwo::NurbsSurf*> boundaryLoopToCurves(Fenwo::NurbsSurf* curve, double angleDegrees)
{
    Kor::List<Fenwo::NurbsSurf*> pieces;
    if (curve == nullptr || curve->isSurface() || curve->uKnots == nullptr || curve->uKnots->p != 1)
        return pieces;
    std::vector<Vector> points;
    for (int i = 0; i < curve->getUCount(); ++i) {
        Vector p;
        curve->getControlPointXYZ(p, i, 0);
        points.push_back(p);
    }
    // A clamped loop repeats its start at its end; walked around, the start
    // is an ordinary point that is a corner only when the loop turns there.
    bool cyclic = curve->uKnots->endCondition == knots::CyclicEnd;
    if (!cyclic && points.size() >= 4 && squaredDistance(points.front(), points.back()) == 0.0) {
        points.pop_back();
        cyclic = true;
    }
    const int n = int(points.size());
    if (n < 2)
        return pieces;

    const double limit = angleDegrees * M_PI / 180.0;
    auto turnsAt = [&](int k) {
        const Vector& before = points[(k + n - 1) % n];
        const Vector& after = points[(k + 1) % n];
        return angleBetween(points[k] - before, after - points[k]) > limit;
    };
    std::vector<int> corners;
    for (int k = cyclic ? 0 : 1; k < (cyclic ? n : n - 1); ++k)
        if (turnsAt(k))
            corners.push_back(k);

    if (corners.empty()) {
        if (Fenwo::NurbsSurf* smooth = resampleAndInterpolate(curve, 3))
            pieces.append(smooth);
        return pieces;
    }
    if (!cyclic) {
        corners.insert(corners.begin(), 0);
        corners.push_back(n - 1);
        for (std::size_t j = 0; j + 1 < corners.size(); ++j)
            pieces.append(pieceThrough(points, corners[j], corners[j + 1]));
        return pieces;
    }
    for (std::size_t j = 0; j < corners.size(); ++j) {
        const int from = corners[j];
        int to = corners[(j + 1) % corners.size()];
        if (to <= from)
            to += n;
        pieces.append(pieceThrough(points, from, to));
    }
    return pieces;
}
