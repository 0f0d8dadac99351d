#include "curves/CurveLoops.h"

#include "curves/CurveOperations.h"
#include "curves/KnotMerging.h"
#include "foundation/Vector.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "platform/Diagnostics.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>

using Fenwo::NurbsSurf;

namespace {

constexpr double kUnitWeightTolerance = 1e-7;

// The point where a curve run with `flag` enters (leaves) the chain.
Vector entryPoint(NurbsSurf* curve, int flag)
{
    Vector p;
    return flag == 1 ? curveStartPoint(p, curve) : curveEndPoint(p, curve);
}

Vector exitPoint(NurbsSurf* curve, int flag)
{
    Vector p;
    return flag == 1 ? curveEndPoint(p, curve) : curveStartPoint(p, curve);
}

Kor::Array<CParametricGeometry*> asGeometryList(const Kor::Array<NurbsSurf*>& curves)
{
    Kor::Array<CParametricGeometry*> out;
    out.setCapacity(curves.getCount());
    for (NurbsSurf* c : curves)
        out.append(c);
    return out;
}

double shortestLength(const Kor::Array<NurbsSurf*>& curves, Vector& lengths)
{
    Kor::List<NurbsSurf*> list;
    for (NurbsSurf* c : curves)
        list.append(c);
    curveLengths(list, lengths);
    return minElement(lengths);
}

void writeFailedLoop(const Kor::Array<NurbsSurf*>& curves)
{
    std::cout << "orderCurveLoopsfailed" << std::endl;
    std::ofstream dump;
    Platform::openDiagnosticsStream(dump, "c:/tmp/orderfailed.out");
    dump.precision(16);
    for (NurbsSurf* c : curves) {
        if (c == nullptr)
            continue;
        c->write(dump);
        dump << std::endl;
    }
}

// Fills the inner control points of the patch, whose boundary rows and
// columns are set, with the bilinearly blended Coons combination of the
// boundary points in homogeneous coordinates.
void blendInnerPoints(NurbsSurf& patch, int uDegree, int vDegree)
{
    const int nU = patch.getUCount();
    const int nV = patch.getVCount();
    knots blendU(uDegree, uDegree, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    knots blendV(vDegree, vDegree, 0.0, 1.0, knots::ClampedEnd, knots::Uniform);
    std::vector<double> aS(nU), bS(nU), aT(nV), bT(nV);
    for (int i = 0; i < nU; ++i)
        basisPartialSums(blendU, uDegree / 2, double(i) / (nU - 1), aS[i], bS[i]);
    for (int j = 0; j < nV; ++j)
        basisPartialSums(blendV, vDegree / 2, double(j) / (nV - 1), aT[j], bT[j]);

    const Vector& c00 = patch.controlPointAt(0, 0);
    const Vector& c01 = patch.controlPointAt(0, nV - 1);
    const Vector& c10 = patch.controlPointAt(nU - 1, 0);
    const Vector& c11 = patch.controlPointAt(nU - 1, nV - 1);
    for (int j = 1; j < nV - 1; ++j) {
        const Vector& west = patch.controlPointAt(0, j);
        const Vector& east = patch.controlPointAt(nU - 1, j);
        for (int i = 1; i < nU - 1; ++i) {
            const Vector& south = patch.controlPointAt(i, 0);
            const Vector& north = patch.controlPointAt(i, nV - 1);
            Vector H(4);
            for (int d = 0; d < 4; ++d)
                H[d] = aS[i] * west[d] + bS[i] * east[d] + aT[j] * south[d] + bT[j] * north[d] -
                       (aS[i] * (aT[j] * c00[d] + bT[j] * c01[d]) +
                        bS[i] * (aT[j] * c10[d] + bT[j] * c11[d]));
            double w = H[3];
            if (std::fabs(w - 1.0) < kUnitWeightTolerance)
                w = 1.0;
            patch.setControlPoint(i, j, Vector(H[0] / w, H[1] / w, H[2] / w), w);
        }
    }
}

// The patch over sides running along u (0 and 2) and v (1 and 3), whose
// opposite sides share their knot vectors. Null when the counts disagree.
NurbsSurf* buildCoonsPatch(NurbsSurf* const side[4], int uDegree, int vDegree)
{
    const int nU = side[0]->getUCount();
    const int nV = side[1]->getUCount();
    if (side[2]->getUCount() != nU || side[3]->getUCount() != nV || nU < 2 || nV < 2)
        return nullptr;
    auto patch = std::make_unique<NurbsSurf>(*side[0]->uKnots, side[1]->uKnots);
    if (patch->getUCount() != nU || patch->getVCount() != nV)
        return nullptr;
    bool rational = false;
    for (int i = 0; i < nU; ++i) {
        patch->setHomogeneousControlPoint(i, 0, side[0]->getWrappedControlPoint(i, 0));
        patch->setHomogeneousControlPoint(i, nV - 1, side[2]->getWrappedControlPoint(i, 0));
    }
    for (int j = 0; j < nV; ++j) {
        patch->setHomogeneousControlPoint(nU - 1, j, side[1]->getWrappedControlPoint(j, 0));
        patch->setHomogeneousControlPoint(0, j, side[3]->getWrappedControlPoint(j, 0));
    }
    for (int s = 0; s < 4; ++s)
        rational = rational || side[s]->rational || side[s]->isRational();
    blendInnerPoints(*patch, std::max(uDegree, 1), std::max(vDegree, 1));
    patch->rational = rational || patch->isRational();
    patch->updateBoundaryPositions();
    return patch.release();
}

} // namespace

int findCurveChain(const Kor::Array<NurbsSurf*>& curves, Kor::List<int>& indices,
                   Kor::List<int>& flags, double gapTol, Kor::Array<NurbsSurf*>* chain)
{
    indices.clear();
    flags.clear();
    if (chain != nullptr)
        chain->count = 0;
    const int count = curves.getCount();
    if (count == 0 || curves[0] == nullptr)
        return -1;

    const Kor::Array<CParametricGeometry*> all = asGeometryList(curves);
    Kor::Array<CParametricGeometry*> forward;
    Kor::List<int> forwardFlags;
    Kor::List<int> forwardOrder;
    int result = buildCurveChain(all, forward, forwardFlags, gapTol, 1, &forwardOrder);

    if (result == -1) {
        // Walk backwards from the start of curves[0] over the curves the
        // forward walk left, and put them in front.
        std::vector<bool> taken(count, false);
        for (int k = 0; k < forwardOrder.getCount(); ++k)
            taken[forwardOrder[k]] = true;
        Kor::Array<CParametricGeometry*> rest;
        Kor::List<int> restIndex;
        rest.append(curves[0]);
        restIndex.append(0);
        for (int i = 1; i < count; ++i)
            if (!taken[i]) {
                rest.append(curves[i]);
                restIndex.append(i);
            }
        Kor::Array<CParametricGeometry*> backward;
        Kor::List<int> backwardFlags;
        Kor::List<int> backwardOrder;
        const int back = buildCurveChain(rest, backward, backwardFlags, gapTol, -1, &backwardOrder);
        for (int k = backwardOrder.getCount() - 1; k >= 1; --k) {
            indices.append(restIndex[backwardOrder[k]]);
            flags.append(-backwardFlags[k]);
        }
        result = back == -1 ? -1 : 1;
    }
    for (int k = 0; k < forwardOrder.getCount(); ++k) {
        indices.append(forwardOrder[k]);
        flags.append(forwardFlags[k]);
    }
    if (chain != nullptr)
        for (int k = 0; k < indices.getCount(); ++k)
            chain->append(curves[indices[k]]);
    if (result == 1) {
        // A chain completed from both ends may still close on itself.
        const int last = indices.getCount() - 1;
        const Vector start = entryPoint(curves[indices[0]], flags[0]);
        const Vector end = exitPoint(curves[indices[last]], flags[last]);
        if (std::sqrt(squaredDistance(start, end)) < gapTol)
            result = 0;
    }
    return result;
}

bool orientCurveChain(const Kor::Array<NurbsSurf*>& curves, Kor::Array<NurbsSurf*>& ordered,
                      double divisor)
{
    ordered.count = 0;
    if (curves.getCount() == 0 || !(divisor > 0.0))
        return false;
    for (NurbsSurf* c : curves)
        if (c == nullptr)
            return false;
    Vector lengths;
    const double gapTol = shortestLength(curves, lengths) / divisor;
    Kor::List<int> indices;
    Kor::List<int> flags;
    Kor::Array<NurbsSurf*> chain;
    if (findCurveChain(curves, indices, flags, gapTol, &chain) < 0)
        return false;
    for (int k = 0; k < chain.getCount(); ++k) {
        if (flags[k] != 1)
            chain[k]->invertDirection(0);
        ordered.append(chain[k]);
    }
    return true;
}

NurbsSurf* orderCurveLoops(const Kor::Array<NurbsSurf*>& curves, int uDegree, int vDegree,
                           int* positions)
{
    const int count = curves.getCount();
    if (count != 3 && count != 4)
        return nullptr;

    Vector lengths;
    const double gapTol = 0.5 * shortestLength(curves, lengths);
    Kor::List<int> indices;
    Kor::List<int> flags;
    Kor::Array<NurbsSurf*> chain;
    bool hasNull = false;
    for (NurbsSurf* c : curves)
        hasNull = hasNull || c == nullptr;
    if (hasNull || findCurveChain(curves, indices, flags, gapTol, &chain) != 0) {
        writeFailedLoop(curves);
        return nullptr;
    }

    // The collapsed fourth side of a three-sided loop sits opposite the
    // shortest side: at the corner where its two neighbours meet.
    std::unique_ptr<NurbsSurf> collapsed;
    if (count == 3) {
        int k = 0;
        for (int j = 1; j < 3; ++j)
            if (lengths[indices[j]] < lengths[indices[k]])
                k = j;
        const int i = (k + 1) % 3;
        const Vector corner = exitPoint(chain[i], flags[i]);
        collapsed.reset(makeCurve(corner.data, corner.data));
        Kor::Array<NurbsSurf*> withCorner;
        Kor::List<int> cornerIndices;
        Kor::List<int> cornerFlags;
        for (int j = 0; j < 3; ++j) {
            withCorner.append(chain[j]);
            cornerIndices.append(indices[j]);
            cornerFlags.append(flags[j]);
            if (j == i) {
                withCorner.append(collapsed.get());
                cornerIndices.append(-1);
                cornerFlags.append(1);
            }
        }
        chain = withCorner;
        indices = cornerIndices;
        flags = cornerFlags;
    }

    if (positions != nullptr)
        for (int j = 0; j < 4; ++j)
            positions[j] = indices[j];

    // Every side runs along the loop; then sides 2 and 3 turn round, so that
    // opposite sides run in the same parameter direction of the patch.
    NurbsSurf* side[4];
    for (int j = 0; j < 4; ++j) {
        side[j] = chain[j];
        if (flags[j] != 1)
            side[j]->invertDirection(0);
    }
    side[2]->invertDirection(0);
    side[3]->invertDirection(0);

    Kor::Array<NurbsSurf*> alongU;
    alongU.append(side[0]);
    alongU.append(side[2]);
    Kor::Array<NurbsSurf*> alongV;
    alongV.append(side[1]);
    alongV.append(side[3]);
    if (!mergeCurveKnots(alongU, 1) || !mergeCurveKnots(alongV, 1))
        return nullptr;
    return buildCoonsPatch(side, uDegree, vDegree);
}
