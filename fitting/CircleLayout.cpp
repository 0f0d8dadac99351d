// The circle layout of a closed boundary.
#include "fitting/CircleLayout.h"

#include "curves/ArcLength.h"
#include "curves/CompositeCurve.h"
#include "curves/ReInterpolation.h"
#include "fitting/BoundaryLoopSurface.h"
#include "fitting/FitGeometry.h"
#include "foundation/Logging.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <numbers>

namespace {

// A junction is a corner when its tangents turn by more than 4 degrees.
constexpr double kCornerAngle = 0.06981317007977318;

bool isCorner(const Vector& leaving, const Vector& entering)
{
    return std::acos(std::clamp(cosineBetween(leaving, entering), -1.0, 1.0)) > kCornerAngle;
}

// The member as a NURBS curve running the way the chain runs it.
std::unique_ptr<Fenwo::NurbsSurf> chainMemberCurve(CCompositeCurve& chain, int j)
{
    CParametricGeometry* member = chain.curves[j];
    std::unique_ptr<Fenwo::NurbsSurf> c;
    if (auto* nurbs = dynamic_cast<Fenwo::NurbsSurf*>(member))
        c = std::make_unique<Fenwo::NurbsSurf>(*nurbs);
    else
        c.reset(resampleAndReInterpolate(member, 0.001, 3));
    if (c && chain.isMemberReversed(j))
        c->invertDirection(0);
    return c;
}

} // namespace

CCircleLayout::CCircleLayout(const Kor::List<CParametricGeometry*>& boundary, bool startSurfaceOnly)
    : CConjugateGradient(2 * boundary.count, false), curves(boundary)
{
    layOut(startSurfaceOnly);
}

CCircleLayout::~CCircleLayout() = default;

double CCircleLayout::evaluate(int, Vector&, const Vector&, double, const Vector&)
{
    return 0.0;
}

bool CCircleLayout::layOut(bool startSurfaceOnly)
{
    CCompositeCurve chain;
    for (int k = 0; k < curves.count; ++k)
        if (curves[k] != nullptr)
            chain.curves.append(curves[k]);
    if (chain.curves.count == 0)
        return false;
    chain.orderCurves(0);
    if (!chain.CParametricGeometry::isClosed())
        return false;
    const int n = chain.memberCount();

    Vector lengths(n);
    squaredLengths.resize(n, true);
    double L = 0.0;
    for (int i = 0; i < n; ++i) {
        lengths[i] = sampledCurveLength(chain.curves[i], 22, false);
        squaredLengths[i] = lengths[i] * lengths[i];
        L += lengths[i];
    }
    // A boundary of no length has no circle to lie on.
    if (!(L > 0.0))
        return false;
    const double R = L / (2.0 * std::numbers::pi);

    std::ofstream dump;
    openLogStream(dump, "c:/tmp/circleLayout.out", 18);
    Vector joints;
    chain.getNumCurves(&joints);
    double phi = 0.0;
    for (int i = 0; i < n; ++i) {
        CFitPoint junction(chain.getPoint(joints[i], 0.0),
                           Vector(R * std::cos(phi), R * std::sin(phi)));
        junctions.append(junction);
        phi += 2.0 * std::numbers::pi * lengths[i] / L;
    }

    const double width = L / 10.0;
    for (int j = 0; j < n; ++j) {
        Vector endBefore, startHere, endHere, startAfter;
        chain.getJunctionTangents((j + n - 1) % n, endBefore, startHere);
        chain.getJunctionTangents(j, endHere, startAfter);
        Vector t(3);
        if (isCorner(endBefore, startHere))
            t += normalized(endBefore) - normalized(startHere);
        else if (!ribbons.empty())
            t += normalized(ribbons.back()->getDerivativeV(ribbons.back()->getUMax(), 0.0));
        else
            std::cout << "using substitute tangent=" << std::endl;
        if (isCorner(endHere, startAfter))
            t += normalized(endHere) - normalized(startAfter);
        if (norm(t) < 0.001)
            return false;
        t.normalize();

        std::unique_ptr<Fenwo::NurbsSurf> c = chainMemberCurve(chain, j);
        if (!c)
            return false;
        // v = 0 is the curve itself, v = L/10 the curve moved by (L/10) t.
        ribbons.emplace_back(extrudeCurve(c.get(), -t, Interval(-width, 0.0)));
        ribbons.back()->write(dump);
        dump << '\n';
    }

    std::ofstream mp;
    openLogStream(mp, "c:/tmp/v2.mp", 18);
    CFitPointArray samples;
    for (const auto& ribbon : ribbons) {
        const double ua = ribbon->getUMin(), ub = ribbon->getUMax();
        for (int k = 0; k < 5; ++k) {
            const double s = k / 5.0, u = (1.0 - s) * ua + s * ub;
            CFitPoint p(ribbon->getPoint(u, 0.0), Vector(u, 0.0), ribbon->getRawNormal(u, 0.0));
            p.Tangent = ribbon->getDerivativeU(u, 0.0);
            printFitPoint(mp, p);
            mp << '\n';
            samples.append(p);
        }
    }
    result.reset(fitWithKnotRefinement(samples, startSurfaceOnly, true));
    return result != nullptr;
}

Fenwo::NurbsSurf* circleLayoutFit(const Kor::List<CParametricGeometry*>& boundary,
                                  bool startSurfaceOnly)
{
    CCircleLayout layout(boundary, startSurfaceOnly);
    return layout.takeResult();
}
