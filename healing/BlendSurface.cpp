#include "healing/BlendSurface.h"

#include "curves/CompositeCurve.h"
#include "curves/CurveOnSurface.h"
#include "healing/CurveListOperations.h"
#include "healing/RailInterpolation.h"

#include <algorithm>
#include <memory>

namespace {

// Moves curves from `rest` into `rail`: the first one, then repeatedly the
// one continuing the curve taken last within 0.5.
void takeRail(Kor::List<CParametricGeometry*>& rest, Kor::List<CParametricGeometry*>& rail)
{
    CParametricGeometry* last = rest[0];
    rest.removeAt(0);
    rail.append(last);
    for (;;) {
        const int next = findNextChainCurve(last, rest, nullptr, 0.5, nullptr, nullptr, nullptr);
        if (next < 0)
            break;
        last = rest[next];
        rest.removeAt(next);
        rail.append(last);
    }
}

std::unique_ptr<CCompositeCurve> makeRail(const Kor::List<CParametricGeometry*>& members)
{
    auto rail = std::make_unique<CCompositeCurve>();
    for (CParametricGeometry* c : members)
        if (c != nullptr)
            rail->curves.append(c);
    rail->orderCurves(0);
    return rail;
}

} // namespace

Fenwo::NurbsSurf* blendFromCurveChain(const Kor::List<CCONS*>& curves, double chordTolerance,
                                      double startArm, double endArm)
{
    if (curves.count < 2)
        return nullptr;
    Kor::List<CParametricGeometry*> rest, a, b;
    for (CCONS* c : curves)
        rest.append(c);
    takeRail(rest, a);
    if (rest.count > 0)
        takeRail(rest, b);
    const std::unique_ptr<CCompositeCurve> railA = makeRail(a);
    const std::unique_ptr<CCompositeCurve> railB = makeRail(b);
    if (railA->curves.count < 1 || railB->curves.count < 1)
        return nullptr;
    return interpolateBetweenRails(railA.get(), railB.get(), chordTolerance, startArm, endArm);
}

Fenwo::NurbsSurf* blendFromBoundaryCurves(Kor::List<CCONS*>& curves)
{
    CCompositeCurve chain; // measures only: never owns or deletes its members
    for (CCONS* c : curves)
        if (c != nullptr)
            chain.curves.append(c);
    chain.orderCurves(0);
    const int m = chain.curves.count;
    double largestGap = 0.0;
    for (int k = 0; k + 1 < m; ++k) {
        Vector end, start;
        chain.getJunctionPoints(k, end, start);
        largestGap = std::max(largestGap, norm(end - start));
    }

    if (m > 0 && largestGap < 0.5) {
        auto length = [&](int i) { return chain.curves[i % m]->getLength(); };
        auto drop = [&](int i) { curves.remove(static_cast<CCONS*>(chain.curves[i % m])); };
        const int n = curves.count;
        if (n == 3 && chain.isClosed()) {
            const double L0 = length(0), L1 = length(1), L2 = length(2);
            if (L0 < L1 && L0 < L2)
                drop(0);
            else if (L1 < L2 && L1 <= L0)
                drop(1);
            else
                drop(2);
        } else if (n == 3) {
            drop(1);
        } else if (n == 4) {
            const double A = length(0) + length(2), B = length(1) + length(3);
            if (A < B) {
                drop(0);
                drop(2);
            } else if (A > B) {
                drop(1);
                drop(3);
            }
        }
    }
    return blendFromCurveChain(curves, 0.001, 0.4, 0.4);
}
