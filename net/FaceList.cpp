#include "net/FaceList.h"

#include "curves/CurveOnSurface.h"
#include "geometry/Knots.h"
#include "geometry/NumericRoutines.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"

#include <cfloat>
#include <memory>

CTopology::~CTopology()
{
    for (CFace* face : faces)
        if (!lent.contains(face))
            delete face;
    faces.removeAll();
}

void CTopology::lend(CFace* face)
{
    faces.append(face);
    lent.append(face);
}

CFace* CTopology::findFaceBySurface(const Fenwo::NurbsSurf* surface) const
{
    for (CFace* face : faces)
        if (face != nullptr && face->getNurbsSurf() == surface)
            return face;
    return nullptr;
}

CFace* CTopology::findFaceOfCONS(CParametricGeometry* geometry, bool remove)
{
    const auto* curve = dynamic_cast<const CCONS*>(geometry);
    if (curve == nullptr)
        return nullptr;
    CFace* found = nullptr;
    for (CFace* face : faces)
        if (face != nullptr && face->surface == curve->surface) {
            found = face;
            break;
        }
    if (found != nullptr && remove) {
        faces.remove(found);
        lent.remove(found);
    }
    return found;
}

namespace {

// Sum over the spans [a[i - 1], a[i]] of the mean length of the iso curves
// at the values b: the (u, v) segment from (a[i - 1], b[j]) to (a[i], b[j]),
// or the other way round when across.
double meanSpanLengths(Fenwo::NurbsSurf* surface, const Vector& a, const Vector& b, bool across)
{
    const double origin[3] = {0.0, 0.0, 0.0};
    std::unique_ptr<Fenwo::NurbsSurf> line(makeCurve(origin, origin));
    CCONS iso(line.get(), surface);
    auto uv = [across](double s, double t) {
        return across ? Vector(t, s, 0.0) : Vector(s, t, 0.0);
    };
    const double divisor = b.n > 0 ? b.n : DBL_MAX;
    double total = 0.0;
    for (int i = 1; i < a.n; ++i) {
        double sum = 0.0;
        for (int j = 0; j < b.n; ++j) {
            line->setControlPoint(0, 0, uv(a[i - 1], b[j]), 1.0);
            line->setControlPoint(1, 0, uv(a[i], b[j]), 1.0);
            sum += gaussLegendreLength(iso, 0.0, 1.0, 5);
        }
        total += sum / divisor;
    }
    return total;
}

} // namespace

bool reparametrizeByArcLength(Fenwo::NurbsSurf* surface, double& Lu, double& Lv)
{
    if (surface == nullptr)
        return false;
    Vector U, V;
    surface->uKnots->getBreakpoints(U, 0);
    surface->vKnots->getBreakpoints(V, 0);
    Lu = meanSpanLengths(surface, U, V, false);
    Lv = meanSpanLengths(surface, V, U, true);
    // A direction without length keeps its knots: an empty range would
    // leave the surface without a domain.
    if (Lu > 0.0)
        surface->uKnots->rescale(0.0, Lu);
    if (Lv > 0.0)
        surface->vKnots->rescale(0.0, Lv);
    surface->uKnots->reparametrized = 1;
    return true;
}
