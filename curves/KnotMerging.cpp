#include "curves/KnotMerging.h"

#include "curves/CurveJoins.h"
#include "curves/CurveOperations.h"
#include "curves/SubCurves.h"
#include "foundation/IndexSubset.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include <algorithm>
#include <cmath>
#include <iostream>

using Fenwo::NurbsSurf;

namespace {

constexpr double kSameKnot = 1e-8;

knots* knotsOf(NurbsSurf* s, int direction)
{
    return direction == 0 ? s->uKnots : s->vKnots;
}

int controlCountOf(NurbsSurf* s, int direction)
{
    return direction == 0 ? s->getUCount() : s->getVCount();
}

// Same degree, end condition and number of positions, and every position
// within kSameKnot.
bool sameKnotVector(const knots& a, const knots& b)
{
    if (a.p != b.p || a.n != b.n || a.endCondition != b.endCondition)
        return false;
    for (int i = 0; i <= a.n + a.p + 1; ++i)
        if (std::fabs(a.valueAt(i) - b.valueAt(i)) >= kSameKnot)
            return false;
    return true;
}

bool hasNullCurve(const Kor::Array<NurbsSurf*>& curves)
{
    for (int i = 0; i < curves.getCount(); ++i)
        if (curves[i] == nullptr || curves[i]->uKnots == nullptr)
            return true;
    return false;
}

// First curve with the most (iMax) and the fewest (iMin) u control points.
void findExtremeCurves(const Kor::Array<NurbsSurf*>& curves, int& iMax, int& iMin)
{
    iMax = iMin = 0;
    for (int i = 1; i < curves.getCount(); ++i) {
        if (curves[i]->uKnots->n > curves[iMax]->uKnots->n)
            iMax = i;
        if (curves[i]->uKnots->n < curves[iMin]->uKnots->n)
            iMin = i;
    }
}

} // namespace

bool tempKnotLess(const tempKnot* a, const tempKnot* b)
{
    return a->value < b->value;
}

void CallKnots::insertUnique(double value, int multiplicity)
{
    int index = -1;
    if (findKnotValue(knotSet, value, index)) {
        tempKnot* present = knotSet[index];
        present->multiplicity = std::max(present->multiplicity, multiplicity);
        return;
    }
    tempKnot key;
    key.multiplicity = multiplicity;
    key.value = value;
    knotSet.find(&key, index, tempKnotLess);
    knotSet.insertAt(new tempKnot(key), index);
}

void CallKnots::addKnotsOf(const knots& k)
{
    // The active knots: positions p .. n + 1, or one period (p .. n + 1 - p)
    // on a cyclic vector, whose tail only repeats them shifted.
    for (int i = k.p; i <= k.getControlPointCount(); ++i)
        insertUnique(*k.knotAt(i), k.getMultiplicityAt(i));
}

void CallKnots::missingKnots(const knots& k, Kor::Array<tempKnot>& out) const
{
    for (int i = 0; i < getCount(); ++i) {
        tempKnot lacking = (*this)[i];
        if (k.findKnot(lacking.value) >= 0)
            lacking.multiplicity -= k.getMultiplicity(lacking.value);
        if (lacking.multiplicity >= 1)
            out.append(lacking);
    }
}

bool ClassicKnotMerge(Kor::Array<NurbsSurf*>& members, int direction)
{
    const int count = members.getCount();
    if (count == 0)
        return true;
    if (direction != 0 && direction != 1)
        return false;
    for (int i = 0; i < count; ++i)
        if (members[i] == nullptr || knotsOf(members[i], direction) == nullptr)
            return false;

    const int p = knotsOf(members[0], direction)->p;
    for (int i = 1; i < count; ++i) {
        if (knotsOf(members[i], direction)->p != p) {
            std::cout << "classicmerge failed, " << (direction == 0 ? 'u' : 'v')
                      << "-degrees are not homogen. " << std::endl;
            return false;
        }
    }

    // Hull of the members' active ranges.
    const Interval first = knotsOf(members[0], direction)->getDomain();
    double lo = first.min;
    double hi = first.max;
    for (int i = 1; i < count; ++i) {
        const Interval d = knotsOf(members[i], direction)->getDomain();
        lo = std::min(lo, d.min);
        hi = std::max(hi, d.max);
    }

    CallKnots merged;
    for (int i = 0; i < count; ++i) {
        knots* k = knotsOf(members[i], direction);
        k->spacing = knots::NonUniform;
        k->rescale(lo, hi);
        merged.addKnotsOf(*k);
    }

    for (int i = 0; i < count; ++i) {
        Kor::Array<tempKnot> lacking;
        merged.missingKnots(*knotsOf(members[i], direction), lacking);
        for (const tempKnot& t : lacking)
            members[i]->insertKnots(t.value, t.multiplicity, direction);
    }

    const int expected = controlCountOf(members[0], direction);
    for (int i = 1; i < count; ++i) {
        if (controlCountOf(members[i], direction) == expected)
            continue;
        if (direction == 1) {
            std::cout << "ClassicKnotMergeFailed:" << std::endl;
            knots::write(std::cout, *members[0]->vKnots);
            std::cout << std::endl;
            knots::write(std::cout, *members[i]->vKnots);
            std::cout << std::endl;
        }
        return false;
    }
    return true;
}

bool pairwiseKnotMerge(NurbsSurf* a, NurbsSurf* b, int& flagA, int& flagB)
{
    if (a == nullptr || b == nullptr)
        return false;
    if (flagA == flagB) {
        b->invertDirection(0);
        flagB = -flagB;
    }
    Kor::Array<NurbsSurf*> pair;
    pair.append(a);
    pair.append(b);
    return ClassicKnotMerge(pair, 0);
}

void equalizeCurveDegrees(Kor::Array<NurbsSurf*>& curves)
{
    IndexSubset<NurbsSurf*> all(curves);
    for (int i = 0; i < curves.getCount(); ++i)
        all.append(i);
    elevateDegreesToCommon(all, false);
}

bool mergeAllKnots(Kor::Array<NurbsSurf*>& curves, int mode)
{
    if (hasNullCurve(curves))
        return false;
    equalizeCurveDegrees(curves);
    const int count = curves.getCount();
    if (mode == 1)
        return ClassicKnotMerge(curves, 0);
    if (count < 2 || (mode != 2 && mode != 3))
        return true;

    int iMax = 0;
    int iMin = 0;
    findExtremeCurves(curves, iMax, iMin);
    NurbsSurf* widest = curves[iMax];

    if (mode == 2) {
        // Curves of equal counts may still differ in their knots, so the
        // merge runs even when iMax and iMin coincide.
        auto mergeWith = [&](int j) {
            int flagA = 1;
            int flagB = -1;
            return pairwiseKnotMerge(widest, curves[j], flagA, flagB);
        };
        if (iMax != iMin)
            mergeWith(iMin);
        for (int j = 0; j < count; ++j)
            if (j != iMax)
                mergeWith(j);
        // The widest curve now holds every knot, but the curves merged early
        // lack the knots (and the domain) it gained later: hand them back.
        bool ok = true;
        for (int j = 0; j < count; ++j)
            if (j != iMax)
                ok = mergeWith(j) && ok;
        for (int j = 0; j < count && ok; ++j)
            ok = sameKnotVector(*curves[j]->uKnots, *widest->uKnots);
        return ok;
    }

    // mode 3: knot-count equalisation.
    bool ok = true;
    for (int j = 0; j < count; ++j) {
        if (j == iMax)
            continue;
        distributeKnotsToMatch(curves[j], *widest->uKnots);
        ok = ok && curves[j] != nullptr && curves[j]->getUCount() == widest->getUCount();
    }
    return ok;
}

bool mergeCurveKnots(Kor::Array<NurbsSurf*>& curves, int mode)
{
    if (hasNullCurve(curves))
        return false;
    Kor::Array<int> degrees;
    for (int i = 0; i < curves.getCount(); ++i)
        degrees.appendUnique(curves[i]->uKnots->p);
    if (degrees.getCount() != 1)
        equalizeCurveDegrees(curves);
    return mergeAllKnots(curves, mode);
}
