#include "healing/SeamPatches.h"

#include "foundation/Progress.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "net/PointList.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <numbers>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

constexpr double kSamePlace = 1e-6;  // coordinates this close are one variable
constexpr double kNoExcess = 1e-14;  // an excess up to this contributes nothing
constexpr double kTinyNormal = 1e-6; // a normal this short gives no gradient

bool isInitialFace(const GB::Loop* loop)
{
    return loop != nullptr && loop->owner != nullptr && loop->owner->requestedState == Initial;
}

bool isCyclic(const knots* k)
{
    return k != nullptr && k->endCondition == knots::CyclicEnd;
}

// The basis values and first derivatives of a NURBS surface at (u, v): the
// (p + 1) x (q + 1) control points from (firstI, firstJ) carry the point.
// Taken from the surface's knot vectors at the evaluated parameters, with
// the derivative signs of the table (a reversed direction, a reversed seam
// side), not from what the surface's last evaluation left behind.
struct SideBasis {
    NurbsSurf* surface = nullptr;
    int firstI = 0;
    int firstJ = 0;
    std::vector<double> Nu, dNu, Nv, dNv;

    bool set(const CSeamSide& side, bool flipU)
    {
        surface = dynamic_cast<NurbsSurf*>(side.surface);
        if (surface == nullptr || surface->uKnots == nullptr || surface->vKnots == nullptr)
            return false;
        double u = side.u;
        double v = side.v;
        surface->toInternalParameters(u, v);
        const double uSign = (surface->isUReversed() != flipU) ? -1.0 : 1.0;
        const double vSign = surface->isVReversed() ? -1.0 : 1.0;
        firstI = take(*surface->uKnots, u, uSign, Nu, dNu);
        firstJ = take(*surface->vKnots, v, vSign, Nv, dNv);
        return true;
    }

private:
    static int take(knots& k, double t, double sign, std::vector<double>& N,
                    std::vector<double>& dN)
    {
        const int span = k.clampToKnots(t);
        const Vector* rows = k.basisDerivatives(span, 1, t);
        N.assign(rows[0].data, rows[0].data + k.p + 1);
        dN.assign(rows[1].data, rows[1].data + k.p + 1);
        for (double& d : dN)
            d *= sign;
        return span - k.p;
    }
};

// What one sample contributes to the gradient on one side.
struct SideTerm {
    double sign = 1.0;           // +1 left, -1 right (D = left point - right point)
    double positionFactor = 0.0; // e / dist, 0 without a position term
    double normalFactor = 0.0;   // w ge / g, 0 without a normal term
    // With a normal term: a = S_v x q and b = q x S_u, q the difference of
    // the unit normals projected across this side's unit normal, over the
    // normal's length. Then (u_L - u_R) . d(unit normal)/dP_c for control
    // point (I, J) is dN_I N_J a_c + N_I dN_J b_c: the derivative of n / |n|
    // with dn = dN_I N_J e_c x S_v + N_I dN_J S_u x e_c, dotted with
    // (u_L - u_R), rearranged so that no vector is formed per control point.
    double a[3] = {0.0, 0.0, 0.0};
    double b[3] = {0.0, 0.0, 0.0};
};

void cross(const double* x, const double* y, double* out)
{
    out[0] = x[1] * y[2] - x[2] * y[1];
    out[1] = x[2] * y[0] - x[0] * y[2];
    out[2] = x[0] * y[1] - x[1] * y[0];
}

// Fills the normal-term vectors of a side: unit normal un of raw normal n
// (length len), difference of the unit normals diff.
void setNormalTerm(SideTerm& term, const CSeamSide& side, const Vector& un, double len,
                   const Vector& diff)
{
    const double along = dot(diff, un);
    double q[3];
    for (int c = 0; c < 3; ++c)
        q[c] = (diff[c] - along * un[c]) / len;
    cross(side.d[0][1].data, q, term.a);
    cross(q, side.d[1][0].data, term.b);
}

} // namespace

// ---- Variables ------------------------------------------------------------------

void CCtrlPt::apply() const
{
    const Vector p(position[0], position[1], position[2]);
    for (int k = 0; k < refs.count; ++k) {
        const CCtrlPt_Ref* ref = refs.items[k];
        if (ref != nullptr && ref->surface != nullptr)
            ref->surface->setControlPointPosition(ref->i, ref->j, p);
    }
}

bool lessFuzzyPoint(const CCtrlPt* a, const CCtrlPt* b)
{
    for (int c = 0; c < 3; ++c) {
        if (a->position[c] - kSamePlace > b->position[c])
            return false;
        if (b->position[c] - kSamePlace > a->position[c])
            return true;
    }
    return false;
}

bool lessCtrlPtRef(const CCtrlPt_Ref* a, const CCtrlPt_Ref* b)
{
    if (a->surface != b->surface)
        return std::less<const NurbsSurf*>()(a->surface, b->surface);
    if (a->i != b->i)
        return a->i < b->i;
    return a->j < b->j;
}

bool getCtrlPtIndex(NurbsSurf* surface, int position, int k, int& i, int& j, int offset)
{
    i = -1;
    j = -1;
    if (surface == nullptr)
        return false;
    const int nu = surface->getUCount();
    const int nv = surface->getVCount();
    switch (position) {
    case uvSouth:
        i = k;
        j = offset;
        break;
    case uvNorth:
        i = k;
        j = nv - 1 - offset;
        break;
    case uvWest:
        i = offset;
        j = k;
        break;
    case uvEast:
        i = nu - 1 - offset;
        j = k;
        break;
    default:
        std::cout << "getCtrlPtIndex: unknown Position. " << std::endl;
        break;
    }
    bool inside = true;
    if (i < 0 || i >= nu) {
        std::cout << "s_i out of range." << std::endl;
        inside = false;
    }
    if (j < 0 || j >= nv) {
        std::cout << "s_j out of range." << std::endl;
        inside = false;
    }
    return inside;
}

int getCtrlPtCountAlong(const NurbsSurf* surface, int position)
{
    if (surface == nullptr)
        return 0;
    if (position == uvSouth || position == uvNorth)
        return surface->getUCount();
    if (position == uvWest || position == uvEast)
        return surface->getVCount();
    return 0;
}

// ---- The matching ------------------------------------------------------------------

CSeamPatches::CSeamPatches() : CConjugateGradient(1, true)
{
    m_numericGradient = false;
    m_gradientStep = 1e-6;
}

int CSeamPatches::variableIndex(NurbsSurf* surface, int i, int j) const
{
    if (surface == nullptr)
        return -1;
    if (isCyclic(surface->uKnots)) {
        const int nu = surface->getUCount();
        i = ((i % nu) + nu) % nu;
    }
    if (isCyclic(surface->vKnots)) {
        const int nv = surface->getVCount();
        j = ((j % nv) + nv) % nv;
    }
    CCtrlPt_Ref key;
    key.i = i;
    key.j = j;
    key.surface = surface;
    int index = -1;
    if (!references.find(&key, index, lessCtrlPtRef))
        return -1;
    return references[index]->variable;
}

CCtrlPt_Ref* CSeamPatches::findOrAddRef(const CCtrlPt_Ref& key)
{
    return references.findOrInsert(key, lessCtrlPtRef);
}

void CSeamPatches::addControlPoint(NurbsSurf* surface, int i, int j)
{
    Vector p;
    surface->getControlPoint(i, j, p);
    CCtrlPt probe(p[0], p[1], p[2]);
    int index = -1;
    CCtrlPt* variable = variables.find(&probe, index, lessFuzzyPoint)
                            ? variables[index]
                            : variables.insertAt(new CCtrlPt(p[0], p[1], p[2]), index);
    CCtrlPt_Ref key;
    key.i = i;
    key.j = j;
    key.surface = surface;
    CCtrlPt_Ref* ref = findOrAddRef(key);
    for (int k = 0; k < variable->refs.count; ++k)
        if (variable->refs.items[k] == ref)
            return;
    variable->refs.append(ref);
}

void CSeamPatches::addSideRow(NurbsSurf* surface, int position, int offset, bool skipEnds)
{
    const int count = getCtrlPtCountAlong(surface, position);
    for (int k = 0; k < count; ++k) {
        if (skipEnds && (k == 0 || k == count - 1))
            continue;
        int i = -1;
        int j = -1;
        if (getCtrlPtIndex(surface, position, k, i, j, offset))
            addControlPoint(surface, i, j);
    }
}

bool CSeamPatches::collectSeamVariables(bool mode)
{
    variables.removeAll(true, true);
    references.removeAll(true, true);
    totalSamples = 0;
    for (int q = 0; q < seams.count; ++q) {
        CCoEdge* seam = seams.items[q];
        if (mode && (isInitialFace(seam->leftLoop) || isInitialFace(seam->rightLoop))) {
            seam->samples.release();
            seam->samples.init(0, 10);
        } else {
            totalSamples += seam->sampleSeams(samplingMesh);
        }
    }
    if (positionFlag) {
        for (int q = 0; q < seams.count; ++q) {
            CCoEdge* seam = seams.items[q];
            const bool attached = seam->polyLine != nullptr && seam->polyLine->curveLocked;
            if (!seam->leftSet)
                addSideRow(seam->leftFaceSurface(), seam->leftPosition, 0, attached);
            if (!seam->rightSet)
                addSideRow(seam->rightFaceSurface(), seam->rightPosition, 0, seam->leftSet);
        }
    }
    if (G1) {
        for (int q = 0; q < seams.count; ++q) {
            CCoEdge* seam = seams.items[q];
            if (!seam->leftSet)
                addSideRow(seam->leftFaceSurface(), seam->leftPosition, 1, false);
            if (!seam->rightSet)
                addSideRow(seam->rightFaceSurface(), seam->rightPosition, 1, false);
        }
    }
    if (variables.count == 0)
        std::cout << "no Variables here. " << std::endl;
    for (int k = 0; k < variables.count; ++k) {
        const CCtrlPt* variable = variables[k];
        for (int r = 0; r < variable->refs.count; ++r)
            variable->refs.items[r]->variable = k;
    }
    return totalSamples > 0;
}

bool CSeamPatches::healSeams(double d, int maxIter, bool withG1, double angleDegrees, int mode)
{
    distanceTolerance = d;
    positionFlag = true;
    G1 = withG1;
    m_f = DBL_MAX;
    stopped = false;
    stopPoint.resize(0);

    const double c = std::sqrt(2.0 - 2.0 * std::cos(angleDegrees * std::numbers::pi / 180.0));
    chordTolerance = c;
    normalWeight = d * d / std::max(c * c, 1e-16);
    distanceThreshold = 0.7 * d;
    chordThreshold = 0.5 * c;

    collectSeamVariables(mode != 0);

    const int variableCount = variables.count;
    coordinateCount = 3 * variableCount;
    setDimension(coordinateCount);
    residualCount = 0;
    for (int q = 0; q < seams.count; ++q)
        residualCount += seams.items[q]->samples.count;
    if (G1)
        residualCount *= 2;

    Vector x(coordinateCount);
    for (int k = 0; k < variableCount; ++k)
        for (int c3 = 0; c3 < 3; ++c3)
            x[3 * k + c3] = variables[k]->position[c3];

    if (maxIter < 0)
        maxIter = std::min(36, (3 * variableCount) / 5);
    if (progress != nullptr) {
        progress->begin(0, maxIter + 2);
        progress->reset(0);
    }
    m_useGoldstein = true;
    solve(x, maxIter, 0);
    clearBounds();

    // The minimiser leaves the surfaces at its last trial, which its line
    // search may have rejected; put them where the run actually ended.
    const Vector none;
    applyCoordinates(stopped && stopPoint.n == coordinateCount ? stopPoint : x, 0.0, none);
    return true;
}

void CSeamPatches::applyCoordinates(const Vector& x, double alpha, const Vector& p)
{
    for (int k = 0; k < variables.count; ++k) {
        CCtrlPt* variable = variables[k];
        for (int c = 0; c < 3; ++c) {
            const int index = 3 * k + c;
            double value = index < x.n ? x[index] : variable->position[c];
            if (index < p.n)
                value += alpha * p[index];
            variable->position[c] = value;
        }
        variable->apply();
    }
}

void CSeamPatches::onIteration(const Vector&, Vector&)
{
    if (progress != nullptr)
        progress->step(1);
}

double CSeamPatches::evaluate(int mode, Vector& grad, const Vector& x, double alpha,
                              const Vector& p)
{
    if (stopped || (progress != nullptr && progress->isCancelled())) {
        grad.fill(0.0);
        stopped = true;
        return 0.0;
    }
    distanceStatistic = CStatistic();
    normalStatistic = CStatistic();
    applyCoordinates(x, alpha, p);

    double F = 0.0;
    if (mode == 1)
        grad.fill(0.0);
    const int n = grad.n;
    const int ring = G1 ? 1 : 0;
    CSeamSide left;
    CSeamSide right;
    SideBasis basis;

    // Adds one side's share of a sample's gradient.
    auto addSide = [&](const CSeamSide& side, bool flipU, const SideTerm& term, const Vector& D) {
        if (!basis.set(side, flipU))
            return;
        NurbsSurf* s = basis.surface;
        for (size_t a = 0; a < basis.Nu.size(); ++a) {
            for (size_t b = 0; b < basis.Nv.size(); ++b) {
                const int I = basis.firstI + static_cast<int>(a);
                const int J = basis.firstJ + static_cast<int>(b);
                if (!s->isNearBoundary(I, J, ring))
                    continue;
                const int var = variableIndex(s, I, J);
                if (var < 0)
                    continue;
                const double B = basis.Nu[a] * basis.Nv[b];
                const double du = basis.dNu[a] * basis.Nv[b];
                const double dv = basis.Nu[a] * basis.dNv[b];
                for (int c = 0; c < 3; ++c) {
                    double value = 0.0;
                    const double t = D[c] * B;
                    if (term.positionFactor != 0.0 && std::isfinite(t))
                        value += term.sign * t * term.positionFactor;
                    if (term.normalFactor != 0.0)
                        value += term.sign * term.normalFactor * (du * term.a[c] + dv * term.b[c]);
                    const int index = 3 * var + c;
                    if (index < 0 || index >= n) {
                        std::cout << (term.sign > 0.0 ? "Out of range left!: "
                                                      : "Out of range right: ")
                                  << index << " dim=" << n << std::endl;
                        continue;
                    }
                    grad[index] += value;
                }
            }
        }
    };

    for (int q = 0; q < seams.count; ++q) {
        CCoEdge* seam = seams.items[q];
        for (int s = 0; s < seam->samples.count; ++s) {
            if (!seam->evaluateSample(s, left, right, 1)) {
                std::cout << "unexpected: coedge could not be evaluated." << std::endl;
                continue;
            }
            const Vector D = left.d[0][0] - right.d[0][0];
            double dist = norm(D);
            distanceStatistic.add(dist);
            double e = dist - distanceThreshold;
            if (e > 0.0 && positionFlag)
                F += e * e;
            if (e <= kNoExcess) {
                e = 0.0;
                dist = 1.0;
            }
            SideTerm leftTerm;
            SideTerm rightTerm;
            rightTerm.sign = -1.0;
            leftTerm.positionFactor = rightTerm.positionFactor = e / dist;
            bool withGradient = e > kNoExcess;
            if (G1 && !seam->hasValidCurve()) {
                const Vector nL = crossProduct(left.d[1][0], left.d[0][1]);
                const Vector nR = crossProduct(right.d[1][0], right.d[0][1]);
                const double lenL = norm(nL);
                const double lenR = norm(nR);
                if (lenL < kTinyNormal || lenR < kTinyNormal)
                    continue;
                const Vector uL = nL / lenL;
                const Vector uR = nR / lenR;
                const Vector diff = uL - uR;
                double g = norm(diff);
                if (!std::isfinite(g))
                    g = 0.0;
                normalStatistic.add(g);
                const double ge = g - chordThreshold;
                if (ge > 0.0)
                    F += normalWeight * ge * ge;
                if (ge > kNoExcess) {
                    leftTerm.normalFactor = rightTerm.normalFactor = normalWeight * ge / g;
                    setNormalTerm(leftTerm, left, uL, lenL, diff);
                    setNormalTerm(rightTerm, right, uR, lenR, diff);
                }
                withGradient = withGradient || ge >= kNoExcess;
            }
            if (mode != 1 || !withGradient)
                continue;
            addSide(left, false, leftTerm, D);
            addSide(right, seam->reversed, rightTerm, D);
        }
    }

    if (distanceStatistic.max < distanceTolerance &&
        (!G1 || normalStatistic.max < chordTolerance)) {
        F = 0.0;
        grad.fill(0.0);
        stopped = true;
        stopPoint.resize(variables.count * 3);
        for (int k = 0; k < variables.count; ++k)
            for (int c = 0; c < 3; ++c)
                stopPoint[3 * k + c] = variables[k]->position[c];
    }
    return 0.5 * F;
}
