#include "healing/ProfileShaping.h"

#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"

#include <numbers>

namespace {

// p with its component along dir scaled by s (exact for a unit dir).
void scaleAlong(Vector& p, const Vector& dir, double s)
{
    const double dd = dot(dir, dir);
    if (!(norm(dir) > 0.0))
        return;
    const double along = dot(p, dir);
    Vector q = p;
    q.addScaled(-along / dd, dir);
    p = q;
    p.addScaled(s * along, dir);
}

} // namespace

void scaleCurveAlongAxes(Fenwo::NurbsSurf* profile, CAxisScaling scaling)
{
    if (profile == nullptr)
        return;
    if (scaling.s2 < 0.0)
        scaling.s2 = scaling.s1;
    const int count = profile->getUCount();
    for (int i = 0; i < count; ++i) {
        Vector p;
        profile->getControlPoint(i, 0, p);
        p -= scaling.centre;
        scaleAlong(p, scaling.dir1, scaling.s1);
        scaleAlong(p, scaling.dir2, scaling.s2);
        p += scaling.centre;
        profile->setControlPointPosition(i, 0, p);
    }
}

Fenwo::NurbsSurf* blendCurvesLinear(const Fenwo::NurbsSurf* a, const Fenwo::NurbsSurf* b, double wa,
                                    double wb)
{
    if (a == nullptr || b == nullptr || b->getUCount() < a->getUCount())
        return nullptr;
    auto* result = new Fenwo::NurbsSurf(*a);
    const int count = a->getUCount();
    for (int i = 0; i < count; ++i)
        result->getWrappedControlPoint(i, 0) =
            wa * a->getWrappedControlPoint(i, 0) + wb * b->getWrappedControlPoint(i, 0);
    result->rational = result->isRational();
    return result;
}

bool isNearlyStraightCurve(CParametricGeometry* curve)
{
    if (curve == nullptr)
        return false;
    Kor::List<double> t;
    curve->facetCurve(t, 0.001, true, 2000, false, false, -1.0);
    if (t.count == 2)
        return true;
    double sum = 0.0;
    for (int i = 1; i + 1 < t.count; ++i)
        sum += angleBetween(curve->getTangent(t[i] - 1e-6), curve->getTangent(t[i] + 1e-6));
    for (int i = 1; i + 1 < t.count; ++i)
        sum += angleBetween(curve->getTangent(0.5 * (t[i - 1] + t[i])),
                            curve->getTangent(0.5 * (t[i] + t[i + 1])));
    return sum < std::numbers::pi / 180.0;
}
