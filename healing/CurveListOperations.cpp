#include "healing/CurveListOperations.h"

#include "curves/ArcLength.h"
#include "curves/KnotMerging.h"
#include "foundation/KorArray.h"
#include "foundation/Sort.h"
#include "foundation/Vector.h"
#include "geometry/NurbsSurf.h"

#include <memory>

namespace {

// The candidate record of findNextChainCurve.
struct ChainChoice {
    double best = 1e10;
    int index = -1;
    int orientation = 1;
    int endCode = -1;
    int gapCode = -1;
    bool reversal = false;
};

// Tries the curve point c (unit tangent tc) against the chain point e with
// the chain tangent te. `outsideSign` is +1 at the chain's end (outside means
// along its tangent) and -1 at its start; `reverseAbove` says whether the
// reversal test is tc.te > 0.9 (the curve is taken backwards) rather than
// tc.te < -0.9.
void consider(ChainChoice& choice, int i, const Vector& e, const Vector& te, const Vector& c,
              const Vector& tc, double tolerance, int orientation, int endCode, double outsideSign,
              bool reverseAbove)
{
    const Vector gap = c - e;
    const double d = norm(gap);
    if (!(d < tolerance && d < choice.best))
        return;
    choice.best = d;
    choice.index = i;
    choice.orientation = orientation;
    choice.endCode = endCode;
    if (d <= 0.001)
        choice.gapCode = 0;
    else
        choice.gapCode = outsideSign * dot(gap, te) > 0.0 ? 1 : 2;
    const double cosine = dot(normalized(tc), normalized(te));
    choice.reversal = reverseAbove ? cosine > 0.9 : cosine < -0.9;
}

} // namespace

int findNextChainCurve(CParametricGeometry* chain, const Kor::List<CParametricGeometry*>& curves,
                       int* orientation, double tolerance, int* endCode, int* gapCode,
                       bool* reversal)
{
    ChainChoice choice;
    if (chain != nullptr) {
        const Vector E = chain->getEndPoint();
        const Vector Te = chain->getEndTangent();
        for (int i = 0; i < curves.count; ++i) {
            CParametricGeometry* c = curves[i];
            if (c == nullptr)
                continue;
            consider(choice, i, E, Te, c->getStartPoint(), c->getStartTangent(), tolerance, 1, 0,
                     1.0, false);
            consider(choice, i, E, Te, c->getEndPoint(), c->getEndTangent(), tolerance, -1, 1, 1.0,
                     true);
        }
        const Vector S = chain->getStartPoint();
        const Vector Ts = chain->getStartTangent();
        for (int i = 0; i < curves.count; ++i) {
            CParametricGeometry* c = curves[i];
            if (c == nullptr)
                continue;
            consider(choice, i, S, Ts, c->getStartPoint(), c->getStartTangent(), tolerance, -1, 2,
                     -1.0, true);
            consider(choice, i, S, Ts, c->getEndPoint(), c->getEndTangent(), tolerance, 1, 3, -1.0,
                     false);
        }
    }
    if (orientation != nullptr)
        *orientation = choice.orientation;
    if (endCode != nullptr)
        *endCode = choice.endCode;
    if (gapCode != nullptr)
        *gapCode = choice.gapCode;
    if (reversal != nullptr)
        *reversal = choice.reversal;
    return choice.index;
}

bool sortCurvesByLength(Kor::List<CParametricGeometry*>& curves)
{
    const int n = curves.count;
    if (n < 2)
        return true;
    std::unique_ptr<double[]> lengths(new double[n]);
    for (int i = 0; i < n; ++i)
        lengths[i] = sampledCurveLength(curves[i], 100, false);
    int* raw = nullptr;
    sortIndexByKey(lengths.get(), n, &raw);
    std::unique_ptr<int[]> idx(raw);
    const Kor::List<CParametricGeometry*> old(curves);
    for (int k = 0; k < n; ++k)
        curves[k] = old[idx[n - 1 - k]];
    return true;
}

bool sortCurvesByLength(Kor::List<Fenwo::NurbsSurf*>& curves)
{
    Kor::List<CParametricGeometry*> present;
    for (Fenwo::NurbsSurf* c : curves)
        if (c != nullptr)
            present.append(c);
    sortCurvesByLength(present);
    curves.removeAll();
    for (CParametricGeometry* c : present)
        curves.append(dynamic_cast<Fenwo::NurbsSurf*>(c));
    return true;
}

bool mergeCurveListKnots(Kor::List<CParametricGeometry*>& curves)
{
    Kor::Array<Fenwo::NurbsSurf*> array;
    for (CParametricGeometry* c : curves)
        array.append(dynamic_cast<Fenwo::NurbsSurf*>(c));
    return mergeCurveKnots(array, 1);
}
