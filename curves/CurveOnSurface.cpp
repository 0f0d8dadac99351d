#include "curves/CurveOnSurface.h"

#include "curves/ParameterCurve.h"
#include "geometry/GeoRef.h"
#include "geometry/NurbsSurf.h"

#include <cmath>
#include <iostream>
#include <string>

namespace {

bool beginsWith(const std::string& word, const char* prefix)
{
    return word.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Reads a counted id and finds its geometry; prints the relocation failure
// and gives null when the registry has no object of that id.
bool resolveReference(std::istream& is, const CGeoRef& registry, const char* what,
                      CParametricGeometry*& target)
{
    CSimpleString id;
    CGeoObject* found = readHollerith(id, is) ? registry.find(id) : nullptr;
    if (found == nullptr) {
        std::cout << "relocation failure for CONS " << what << std::endl;
        target = nullptr;
        return false;
    }
    target = dynamic_cast<CParametricGeometry*>(found);
    return true;
}

} // namespace

CCONS::CCONS(CParametricGeometry* uv, CParametricGeometry* s) : surface(s), uvCurve(uv) {}

CCONS::CCONS(CParametricGeometry* curve, CParametricGeometry* s, int option, double tolerance,
             double accuracy)
    : surface(s)
{
    if (curve == nullptr)
        return;
    uvCurve = euclideanToPCurve(curve, surface, option, tolerance, accuracy);
    if (uvCurve == nullptr) {
        std::cout << "parCurve-Creation failed !" << std::endl;
        uvCurve = euclideanToPCurve(curve, surface, option, tolerance, accuracy);
    }
    ownsUVCurve = uvCurve != nullptr;
}

CCONS::~CCONS()
{
    freeDerivativeTable(table, 3);
    if (ownsUVCurve)
        delete uvCurve;
}

CParametricGeometry* CCONS::takeUVCurve()
{
    ownsUVCurve = false;
    return uvCurve;
}

Vector** CCONS::memberTable()
{
    allocateDerivativeTable(table, 3);
    return table;
}

bool CCONS::isUReversed() const
{
    return uvCurve != nullptr && uvCurve->isUReversed();
}

void CCONS::reverseU()
{
    if (uvCurve != nullptr)
        uvCurve->reverseU();
}

bool CCONS::writeGeometry(std::ostream& os) const
{
    os << "CONS Begin\n";
    writeBlock(os);
    if (uvCurve != nullptr && surface != nullptr) {
        writeHollerith(uvCurve->id, os);
        os << '\n';
        writeHollerith(surface->id, os);
        os << '\n';
    } else {
        std::cout << "warning: CONS without refs !" << std::endl;
        os << "7Hunknown\n7Hunknown\n";
    }
    os << "CONS End\n";
    return os.good();
}

CParametricGeometry* CCONS::clone() const
{
    if (uvCurve == nullptr)
        return nullptr;
    auto* copy = new CCONS(uvCurve->clone(), surface);
    copy->ownsUVCurve = copy->uvCurve != nullptr;
    return copy;
}

Vector** CCONS::evaluate(int order, double t, double)
{
    if (uvCurve == nullptr || surface == nullptr)
        return nullptr;
    Vector** D = memberTable();
    if (closedComputed && closed) {
        const Interval domain = getDomain(0);
        const double a = domain.min, b = domain.max;
        const double r = std::fmod(t - a, b - a);
        t = std::fabs(r) < 1e-8 ? a : r + (t < a ? b : a);
    }
    const int o = order < 0 ? 0 : order > 2 ? 2 : order;
    Vector** C = uvCurve->evaluate(o, t, 0.0);
    if (C == nullptr)
        return nullptr;
    double c[3][2] = {};
    for (int k = 0; k <= o; ++k)
        for (int i = 0; i < 2 && i < C[k][0].n; ++i)
            c[k][i] = C[k][0][i];
    Vector** S = surface->evaluate(o, c[0][0], c[0][1]);
    if (S == nullptr)
        return nullptr;
    const int dim = D[0][0].n < S[0][0].n ? D[0][0].n : S[0][0].n;
    const double du = c[1][0], dv = c[1][1], duu = c[2][0], dvv = c[2][1];
    for (int k = 0; k < dim; ++k) {
        D[0][0][k] = S[0][0][k];
        if (o >= 1)
            D[1][0][k] = du * S[1][0][k] + dv * S[0][1][k];
        if (o >= 2)
            D[2][0][k] = du * du * S[2][0][k] + 2.0 * du * dv * S[1][1][k] + dv * dv * S[0][2][k] +
                         duu * S[1][0][k] + dvv * S[0][1][k];
    }
    return D;
}

Interval CCONS::getDomain(int dir) const
{
    return uvCurve != nullptr ? uvCurve->getDomain(dir) : Interval();
}

void CCONS::setDomain(int dir, const Interval& domain)
{
    if (uvCurve != nullptr)
        uvCurve->setDomain(dir, domain);
}

bool CCONS::getUKinks(Vector& kinks) const
{
    return uvCurve != nullptr && uvCurve->getUKinks(kinks);
}

bool CCONS::getUBreakpoints(Kor::List<double>& out, bool withEnds) const
{
    return uvCurve != nullptr && uvCurve->getUBreakpoints(out, withEnds);
}

void CCONS::getUSampleParameters(Vector& out) const
{
    if (uvCurve != nullptr)
        uvCurve->getUSampleParameters(out);
}

double CCONS::getLength()
{
    // Measured through getPoint and getDomain alone, so that a subclass that
    // evaluates its surface directly (an iso line, without a uv curve) is
    // measured the same way. Without a surface nothing can be evaluated.
    if (surface == nullptr)
        return 0.0;
    const Interval d = getDomain(0);
    double length = 0.0;
    Vector previous = getPoint(d.min, 0.0);
    for (int i = 1; i <= 50; ++i) {
        const double s = i / 50.0;
        Vector p = getPoint((1.0 - s) * d.min + s * d.max, 0.0);
        length += std::sqrt(squaredDistance(p, previous));
        previous = std::move(p);
    }
    return length;
}

Vector CCONS::getSideVector(double t, bool orthogonal)
{
    Vector** C = evaluateUV(1, t);
    if (C == nullptr || surface == nullptr)
        return Vector(3);
    const double du = C[1][0][0], dv = C[1][0][1];
    Vector** S = surface->evaluate(1, C[0][0][0], C[0][0][1]);
    Vector side = dv * S[1][0] - du * S[0][1];
    if (orthogonal) {
        Vector tangent = du * S[1][0] + dv * S[0][1];
        const Vector T = normalized(tangent);
        side.addScaled(-dot(side, T), T);
    }
    return side.normalize();
}

Vector CCONS::getNormal(double t, double)
{
    return getNormalWithDerivatives(t, nullptr, nullptr);
}

Vector CCONS::getNormalWithDerivatives(double t, Vector* Su, Vector* Sv)
{
    if (uvCurve == nullptr || surface == nullptr)
        return Vector(3);
    Vector uv = uvCurve->getPoint(t, 0.0);
    Vector** S = surface->evaluate(1, uv[0], uv[1]);
    Vector su = S[1][0], sv = S[0][1];
    if (norm(su) < 1e-4 || norm(sv) < 1e-4) {
        // A degenerate side: take the derivatives just inside the curve.
        const Interval d = uvCurve->getDomain(0);
        const double t2 = t > d.min ? t - 1e-6 : t < d.max ? t + 1e-6 : t;
        const Vector uv2 = uvCurve->getPoint(t2, 0.0);
        S = surface->evaluate(1, uv2[0], uv2[1]);
        su = S[1][0];
        sv = S[0][1];
    }
    if (Su != nullptr)
        *Su = su;
    if (Sv != nullptr)
        *Sv = sv;
    return getSurfaceNormal(uv[0], uv[1]);
}

bool CCONS::read(std::istream& is, const CGeoRef& registry)
{
    std::string word;
    if (!(is >> word) || !beginsWith(word, "CONS") || !(is >> word) || !beginsWith(word, "Begin"))
        return false;
    if (!(is >> word) || !beginsWith(word, "GeoObject"))
        return false;
    CGeoObject::read(is);
    if (ownsUVCurve) {
        delete uvCurve;
        uvCurve = nullptr;
        ownsUVCurve = false;
    }
    const bool uvFound = resolveReference(is, registry, "uvCurve", uvCurve);
    const bool surfaceFound = resolveReference(is, registry, "surface", surface);
    if (!(is >> word) || !beginsWith(word, "CONS") || !(is >> word) || !beginsWith(word, "End"))
        return false;
    return uvFound && surfaceFound;
}

Vector** CCONS::evaluateUV(int order, double t)
{
    return uvCurve != nullptr ? uvCurve->evaluate(order, t, 0.0) : nullptr;
}

Vector** CCONS::evaluateSurface(int order, double t)
{
    Vector** C = evaluateUV(0, t);
    if (C == nullptr || surface == nullptr)
        return nullptr;
    return surface->evaluate(order, C[0][0][0], C[0][0][1]);
}

Vector CCONS::getSurfaceNormal(double& u, double& v)
{
    return surface != nullptr ? surface->getNormal(u, v) : Vector(3);
}

Vector CCONS::getUVPoint(double t)
{
    return uvCurve != nullptr ? uvCurve->getPoint(t, 0.0) : Vector(3);
}

Vector CCONS::getUVTangent(double t)
{
    return uvCurve != nullptr ? uvCurve->getTangent(t) : Vector(3);
}

Vector CCONS::getStartUVPoint()
{
    return getUVPoint(getDomain(0).min);
}

Vector CCONS::getStartUVTangent()
{
    return getUVTangent(getDomain(0).min);
}

Vector CCONS::getEndUVPoint()
{
    return getUVPoint(getDomain(0).max);
}

Vector CCONS::getEndUVTangent()
{
    return getUVTangent(getDomain(0).max);
}
