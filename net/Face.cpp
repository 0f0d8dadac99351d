#include "net/Face.h"

#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "fitting/ScatteredDataRBF.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "net/Faceter.h"

#include <atomic>
#include <cmath>
#include <iostream>

namespace {

// What a clone of source lacks to stand for it: its identity and, for a
// NURBS surface or curve, its constraints, comment lines and degenerate
// sides (a curve fitted with its ends fixed carries their constraints).
void standFor(CParametricGeometry& copy, const CParametricGeometry& source)
{
    copy.takeIdentity(source);
    auto* nurbs = dynamic_cast<Fenwo::NurbsSurf*>(&copy);
    if (const auto* from = dynamic_cast<const Fenwo::NurbsSurf*>(&source);
        nurbs != nullptr && from != nullptr)
        nurbs->copyFitSetupFrom(*from);
}

// A trim curve's copy as the curve stands in its face's record: the (u, v)
// curve as it stands and the edge's space curve, with its own.
void keepRecordOf(const CParCurve& curve, CParCurve& copy)
{
    if (curve.getUVCurve() != nullptr && copy.getUVCurve() != nullptr)
        standFor(*copy.getUVCurve(), *curve.getUVCurve());
    const CParametricGeometry* space = curve.getSpaceCurve();
    if (space == nullptr || copy.edge != nullptr)
        return;
    if (CParametricGeometry* spaceCopy = copyAsItStands(*space))
        copy.edge = new CEdge(copy.surface, spaceCopy);
}

long nextFaceSerial()
{
    static std::atomic<long> counter{0};
    return counter.fetch_add(1) + 1;
}

// A straight (u, v) segment from (u0, v0) to (u1, v1) as a trim curve on
// surface, with its space curve.
CParCurve* straightTrimCurve(CParametricGeometry* surface, double u0, double v0, double u1,
                             double v1)
{
    const double a[3] = {u0, v0, 0.0};
    const double b[3] = {u1, v1, 0.0};
    return new CParCurve(makeCurve(a, b), surface, true);
}

} // namespace

// ---- CFace: construction and surface --------------------------------------------------

CFace::CFace() : CFace(nullptr, nullptr) {}

CFace::CFace(CParametricGeometry* s, CLoop* first) : surface(s), serial(nextFaceSerial())
{
    if (surface != nullptr)
        updateBoundingBox();
    if (first != nullptr) {
        first->setSurface(surface);
        first->owner = this;
        trimLoops.append(first);
    }
}

CFace::CFace(CParametricGeometry* s) : surface(s), serial(nextFaceSerial())
{
    setBoundaryFromDomain();
    if (surface != nullptr)
        updateBoundingBox();
}

CFace::~CFace()
{
    clearDisplayCache();
    trimLoops.deleteAll();
    displayCurves.deleteAll();
    delete lookupMesh;
    delete lookup;
    delete surface;
}

void CFace::setBoundaryFromDomain()
{
    if (surface == nullptr)
        return;
    if (Fenwo::NurbsSurf* nurbs = getNurbsSurf()) {
        nurbs->uKnots->spacing = knots::NonUniform;
        nurbs->vKnots->spacing = knots::NonUniform;
    }
    const Interval U = surface->getDomain(0), V = surface->getDomain(1);
    auto* loop = new CLoop();
    loop->curves.append(straightTrimCurve(surface, U.min, V.min, U.max, V.min));
    loop->curves.append(straightTrimCurve(surface, U.max, V.min, U.max, V.max));
    loop->curves.append(straightTrimCurve(surface, U.max, V.max, U.min, V.max));
    loop->curves.append(straightTrimCurve(surface, U.min, V.max, U.min, V.min));
    if (!setOuterLoop(loop))
        delete loop;
}

bool CFace::setBaseSurface(CParametricGeometry* s)
{
    if (s == nullptr)
        std::cout << "warning: set NULL pointer in setBaseSurface" << std::endl;
    if (s == surface)
        return true;
    for (CLoop* loop : trimLoops)
        loop->setSurface(s);
    for (CParCurve* curve : displayCurves)
        curve->setSurface(s);
    delete surface;
    surface = s;
    return true;
}

void CFace::updateBoundingBox()
{
    Vector lo, hi;
    if (surface == nullptr || !surface->getBoundingBox(lo, hi, 0) || lo.n < 3 || hi.n < 3)
        return;
    for (int k = 0; k < 3; ++k) {
        boundingBox.min[k] = lo[k];
        boundingBox.max[k] = hi[k];
    }
}

Fenwo::NurbsSurf* CFace::getNurbsSurf() const
{
    return asNurbsSurf(surface);
}

void CFace::getPoint(Vector& out, double u, double v)
{
    if (surface != nullptr)
        surface->pointAt(out, u, v);
}

void CFace::getNormal(Vector& out, double u, double v)
{
    if (surface == nullptr)
        return;
    out = surface->getRawNormal(u, v);
    if (sense)
        out *= -1.0;
}

bool CFace::getPointAndNormal(double u, double v, Vector& point, Vector& normal)
{
    if (surface == nullptr)
        return false;
    Vector** D = surface->evaluate(1, u, v);
    if (D == nullptr)
        return false;
    point = D[0][0];
    normal = crossProduct(D[1][0], D[0][1]);
    normal.normalize();
    if (sense)
        normal *= -1.0;
    return true;
}

// ---- CFace: loops --------------------------------------------------------------------

bool CFace::prepareLoop(CLoop* loop)
{
    if (loop == nullptr || loop->getCard() == 0)
        return false;
    loop->owner = this;
    return true;
}

bool CFace::setOuterLoop(CLoop* loop, bool arrange)
{
    if (!prepareLoop(loop))
        return false;
    clearDisplayCache();
    if (trimLoops.count > 0) {
        if (trimLoops[0] != loop)
            trimLoops.deleteAt(0);
        else
            trimLoops.removeAt(0);
    }
    if (arrange) {
        loop->orderCurves(true);
        loop->orient(-1);
    }
    trimLoops.append(loop, true);
    uvPolygon.deleteVertices();
    buildUVPolygon(uvPolygon, 1, 0.1);
    return true;
}

bool CFace::addTrimLoop(CLoop* loop, bool arrange)
{
    if (!prepareLoop(loop))
        return false;
    if (arrange) {
        loop->orderCurves(true);
        loop->orient(1);
    }
    trimLoops.append(loop);
    clearDisplayCache();
    uvPolygon.deleteVertices();
    buildUVPolygon(uvPolygon, 1, 0.1);
    return true;
}

Kor::List<CCONS*> CFace::getAllCONS(bool withDisplayCurves, bool link)
{
    Kor::List<CCONS*> all;
    for (CLoop* loop : trimLoops) {
        const int n = loop->getCard();
        for (int i = 0; i < n; ++i) {
            CParCurve* curve = loop->getCurve(i);
            if (link) {
                curve->setNext(loop->getCurve(i + 1));
                curve->setPrevious(loop->getCurve(i - 1));
            }
            all.append(curve);
        }
    }
    if (withDisplayCurves)
        for (CParCurve* curve : displayCurves)
            all.append(curve);
    return all;
}

// ---- Copies and display curves -----------------------------------------------------------

CParametricGeometry* copyAsItStands(const CParametricGeometry& source)
{
    CParametricGeometry* copy = source.clone();
    if (copy != nullptr)
        standFor(*copy, source);
    return copy;
}

CFace* copyFace(const CFace* source, bool asItStands)
{
    if (source == nullptr || source->surface == nullptr)
        return nullptr;
    CParametricGeometry* clone =
        asItStands ? copyAsItStands(*source->surface) : source->surface->clone();
    if (clone == nullptr)
        return nullptr;
    if (!clone->isSurface()) {
        delete clone;
        return nullptr;
    }
    auto* face = new CFace(clone, nullptr);
    // A copy is the same face: its side and tessellation settings go with it.
    face->sense = source->sense;
    face->MeshType = source->MeshType;
    face->MeshDistance = source->MeshDistance;
    face->MeshArcTol = source->MeshArcTol;
    for (int k = 0; k < source->trimLoops.count; ++k) {
        auto* loop = new CLoop();
        for (const CParCurve* curve : source->trimLoops[k]->curves) {
            CParCurve* copy = curve->duplicate();
            copy->setSurface(clone);
            if (asItStands)
                keepRecordOf(*curve, *copy);
            loop->curves.append(copy);
        }
        const bool taken =
            k == 0 ? face->setOuterLoop(loop, !asItStands) : face->addTrimLoop(loop, !asItStands);
        if (!taken)
            delete loop;
    }
    if (asItStands)
        for (const CParCurve* curve : source->displayCurves) {
            CParCurve* copy = curve->duplicate();
            copy->setSurface(clone);
            keepRecordOf(*curve, *copy);
            face->displayCurves.append(copy);
        }
    return face;
}

CFace* makeFaceFromSurface(const CParametricGeometry* surface)
{
    if (surface == nullptr)
        return nullptr;
    CParametricGeometry* clone = surface->clone();
    return clone != nullptr ? new CFace(clone) : nullptr;
}

void addDisplayCurve(CFace& face, CCONS* curve)
{
    if (curve == nullptr || curve->getUVCurve() == nullptr)
        return;
    curve->setColour(0.4, 0.0, 0.5);
    // The trim curve owns its (u, v) curve: it takes over the one the given
    // curve owns (which then only refers to it) and copies any other.
    CParametricGeometry* uv =
        curve->ownsUVCurve ? curve->takeUVCurve() : curve->getUVCurve()->clone();
    face.displayCurves.append(new CParCurve(uv, curve->surface, true));
    face.dropDisplayList();
}

bool isChainClosed(const Kor::List<CParCurve*>& curves)
{
    if (curves.count == 0)
        return false;
    const Vector start = curves[0]->getStartPoint();
    const Vector end = curves[curves.count - 1]->getEndPoint();
    return std::sqrt(squaredDistance(start, end)) < 1e-6;
}
