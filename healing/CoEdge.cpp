#include "healing/CoEdge.h"

#include "curves/CurveOnSurface.h"
#include "curves/IsoParametricCurve.h"
#include "foundation/Logging.h"
#include "geometry/BoundaryPosition.h"
#include "geometry/NurbsSurf.h"
#include "healing/BlendSurface.h"
#include "net/FaceRecords.h"
#include "net/PointList.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

GB::Face* faceOf(const GB::Loop* loop)
{
    return loop != nullptr ? loop->owner : nullptr;
}

bool isBlendingFace(const GB::Loop* loop)
{
    const GB::Face* face = faceOf(loop);
    return face != nullptr && face->requestedState == Blending;
}

NurbsSurf* faceSurfaceOf(const GB::Loop* loop)
{
    const GB::Face* face = faceOf(loop);
    return face != nullptr ? dynamic_cast<NurbsSurf*>(face->surface) : nullptr;
}

// The geometry one side supplies: its face's NURBS surface, or, without a
// face, the poly-line's valid attached curve (run along as uvSouth).
CParametricGeometry* sideSurface(const GB::Loop* loop, BoundaryPosition& position,
                                 const COffset_PointList* polyLine)
{
    if (faceOf(loop) != nullptr)
        return faceSurfaceOf(loop);
    if (polyLine != nullptr && polyLine->hasValidCurve()) {
        position = uvSouth;
        return polyLine->getCurve();
    }
    return nullptr;
}

CVertex<float, 3>* polyLinePoint(const COffset_PointList* polyLine, int index)
{
    if (polyLine == nullptr || index < 0 || index >= polyLine->vertices.count)
        return nullptr;
    return polyLine->vertices[index];
}

// The iso-curve of a side for a blend, over the side's interval; null when
// the side has no face or a Blending one.
CParametricGeometry* isoCurveOfSide(CParametricGeometry* surface, const GB::Loop* loop,
                                    BoundaryPosition position, const Interval& interval,
                                    const char* label)
{
    if (faceOf(loop) == nullptr || isBlendingFace(loop))
        return nullptr;
    auto* curve = new CIsoParametricCurve(surface, position);
    curve->setDomain(0, interval);
    std::cout << label << interval << std::endl;
    return curve;
}

} // namespace

// ---- Evaluation along a side ---------------------------------------------------

bool boundaryParameters(double t, CParametricGeometry* surface, int position, double& u, double& v)
{
    switch (position) {
    case uvSouth:
        u = t;
        v = surface->getVMin();
        return true;
    case uvNorth:
        u = t;
        v = surface->getVMax();
        return true;
    case uvWest:
        u = surface->getUMin();
        v = t;
        return true;
    case uvEast:
        u = surface->getUMax();
        v = t;
        return true;
    default:
        profileLog() << "pos=";
        writeBoundaryPosition(profileLog(), static_cast<BoundaryPosition>(position));
        profileLog() << " unknown BoundaryPosition !" << std::endl;
        u = 0.0;
        v = 0.0;
        return false;
    }
}

Vector** evaluateOnBoundary(const float* t, CParametricGeometry* surface, int position, int order)
{
    if (surface == nullptr || t == nullptr)
        return nullptr;
    double u = 0.0;
    double v = 0.0;
    boundaryParameters(*t, surface, position, u, v);
    return surface->evaluate(order, u, v);
}

// ---- Sides ------------------------------------------------------------------------

CParametricGeometry* CCoEdge::leftSurface()
{
    return sideSurface(leftLoop, leftPosition, polyLine);
}

CParametricGeometry* CCoEdge::rightSurface()
{
    return sideSurface(rightLoop, rightPosition, polyLine);
}

Fenwo::NurbsSurf* CCoEdge::leftFaceSurface() const
{
    return faceSurfaceOf(leftLoop);
}

Fenwo::NurbsSurf* CCoEdge::rightFaceSurface() const
{
    return faceSurfaceOf(rightLoop);
}

bool CCoEdge::hasValidCurve() const
{
    return polyLine != nullptr && polyLine->hasValidCurve();
}

bool CCoEdge::isBlendBoundary() const
{
    if ((leftSet && leftSideSurface != nullptr) || (rightSet && rightSideSurface != nullptr))
        return true;
    const bool leftBlending = isBlendingFace(leftLoop);
    const bool rightBlending = isBlendingFace(rightLoop);
    if (leftBlending && rightBlending)
        return false;
    if ((leftBlending && rightFaceSurface() != nullptr) ||
        (rightBlending && leftFaceSurface() != nullptr))
        return true;
    return (leftFaceSurface() != nullptr) != (rightFaceSurface() != nullptr);
}

CVertex<float, 3>* CCoEdge::startPoint() const
{
    return polyLinePoint(polyLine, startIndex);
}

CVertex<float, 3>* CCoEdge::endPoint() const
{
    return polyLinePoint(polyLine, endIndex);
}

CParametricGeometry* CCoEdge::blendBoundaryCurve()
{
    if (leftSet && leftSideSurface != nullptr)
        return leftSideSurface;
    if (rightSet && rightSideSurface != nullptr)
        return rightSideSurface;
    CParametricGeometry* left = leftSurface();
    CParametricGeometry* right = rightSurface();
    if ((left != nullptr) == (right != nullptr))
        return nullptr;
    if (left != nullptr)
        return isoCurveOfSide(left, leftLoop, leftPosition, leftInterval, "L coedge range=");
    return isoCurveOfSide(right, rightLoop, rightPosition, rightInterval, "R coedge range=");
}

// ---- Samples ----------------------------------------------------------------------

namespace {

// Evaluates one side of a sample at parameter t into `side`: a fixed curve
// at its curve-on-surface point, else the side's surface along its position.
bool evaluateSide(double t, CParametricGeometry* fixed, CParametricGeometry* surface,
                  BoundaryPosition position, int order, CSeamSide& side)
{
    if (fixed != nullptr) {
        auto* cons = dynamic_cast<CCONS*>(fixed);
        if (cons == nullptr || cons->surface == nullptr || cons->getUVCurve() == nullptr)
            return false;
        const Vector uv = cons->getUVPoint(t);
        surface = cons->surface;
        side.u = uv[0];
        side.v = uv[1];
    } else {
        boundaryParameters(t, surface, position, side.u, side.v);
    }
    side.surface = surface;
    Vector** table = surface->evaluate(order, side.u, side.v);
    if (table == nullptr)
        return false;
    for (int k = 0; k <= order; ++k)
        for (int l = 0; l <= order; ++l)
            side.d[k][l] = table[k][l];
    return true;
}

} // namespace

bool CCoEdge::evaluateSample(int k, CSeamSide& left, CSeamSide& right, int order)
{
    if (k < 0 || k >= samples.count)
        return false;
    CParametricGeometry* leftGeometry = leftSurface();
    CParametricGeometry* rightGeometry = rightSurface();
    if (leftGeometry == nullptr || rightGeometry == nullptr)
        return false;
    order = std::clamp(order, 0, 3);
    const c_pair<float, float>& sample = samples[k];
    if (!evaluateSide(sample.first, leftSet ? leftSideSurface : nullptr, leftGeometry, leftPosition,
                      order, left) ||
        !evaluateSide(sample.second, rightSet ? rightSideSurface : nullptr, rightGeometry,
                      rightPosition, order, right))
        return false;
    if (reversed)
        for (int row = 1; row <= order; row += 2)
            right.d[row][0] *= -1.0;
    return true;
}

// ---- Blend of a face ---------------------------------------------------------------

Fenwo::NurbsSurf* blendFaceFromBoundary(const Kor::List<CCoEdge*>& coedges)
{
    std::vector<std::unique_ptr<CParametricGeometry>> made;
    Kor::List<CCONS*> curves;
    for (CCoEdge* coedge : coedges) {
        if (coedge == nullptr)
            continue;
        CParametricGeometry* curve = coedge->blendBoundaryCurve();
        if (curve == nullptr)
            continue;
        if (curve != coedge->leftSideSurface && curve != coedge->rightSideSurface)
            made.emplace_back(curve);
        auto* cons = dynamic_cast<CCONS*>(curve);
        if (cons == nullptr || cons->surface == nullptr)
            continue;
        if (cons->getUVCurve() == nullptr && dynamic_cast<CIsoParametricCurve*>(cons) == nullptr)
            continue;
        curves.append(cons);
    }
    return blendFromBoundaryCurves(curves);
}
