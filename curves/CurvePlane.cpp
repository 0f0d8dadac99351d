#include "curves/CurvePlane.h"

#include "curves/PlaneFit.h"
#include "foundation/FitPoint.h"
#include "foundation/Statistic.h"
#include "geometry/FitHelpers.h"

#include <cmath>

CPlane& curvePlane(Fenwo::NurbsSurf& curve, CPlane& plane)
{
    if (!curve.isCurve() || curve.uKnots == nullptr)
        return plane;
    Vector start = curve.getStartTangent();
    Vector end = curve.getEndTangent();
    const Interval domain = curve.getDomain(0);
    const double t0 = domain.min;
    const double t1 = domain.max;
    // A closed or straight-ended curve has parallel end tangents: look for a
    // tangent in the middle that spans the plane with the start tangent.
    if (areParallel(start, end))
        end = curve.getTangent(0.48 * t0 + 0.52 * t1);
    if (areParallel(start, end))
        end = curve.getTangent(0.67 * t0 + 0.33 * t1);

    const Vector origin = curve.getStartPoint();
    if (areParallel(start, end) || norm(crossProduct(start, end)) <= 0.0) {
        Vector normal = pointOnHyperplane(start, 0.0);
        normal.normalize();
        plane = CPlane(origin, normal);
        return plane;
    }

    const CPlane candidate(origin, normalized(crossProduct(start, end)));
    Vector greville;
    curve.uKnots->getGrevilleAbscissae(greville);
    CStatistic distances;
    for (int k = 0; k < greville.n; ++k)
        distances.add(std::fabs(candidate.signedDistance(curve.getPoint(greville[k], 0.0))));
    // Standard deviation from the sums of the statistic.
    double deviation = 0.0;
    if (distances.count >= 2) {
        const double meanValue = distances.sum / distances.count;
        const double variance = (distances.sumSquares - distances.count * meanValue * meanValue) /
                                (distances.count - 1);
        deviation = variance > 0.0 ? std::sqrt(variance) : 0.0;
    }
    if (distances.count < 2 || deviation < 1e-5) {
        plane = candidate;
        return plane;
    }

    Vector vGreville;
    if (curve.vKnots != nullptr)
        curve.vKnots->getGrevilleAbscissae(vGreville);
    if (vGreville.n == 0)
        vGreville = Vector(1);
    CFitPointArray points;
    for (int b = 0; b < vGreville.n; ++b)
        for (int a = 0; a < greville.n; ++a) {
            CFitPoint fp;
            fp.Point = curve.getPoint(greville[a], vGreville[b]);
            points.append(fp);
        }
    Vector centroid, normal;
    if (fitPlane(points, centroid, normal))
        plane = CPlane(centroid, normal);
    else
        plane = candidate;
    return plane;
}
