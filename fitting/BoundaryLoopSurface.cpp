// The surface spanned over a closed loop of boundary samples.
#include "fitting/BoundaryLoopSurface.h"

#include "curves/CurveUtilities.h"
#include "curves/LeastSquaresFits.h"
#include "curves/SubCurves.h"
#include "fitting/BicubicFit.h"
#include "fitting/ScatteredDataRBF.h"
#include "foundation/Logging.h"
#include "foundation/Rotation.h"
#include "foundation/VertexList.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "geometry/SurfaceBoundaryPoint.h"
#include "geometry/Transformation.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <numbers>

namespace {

using SurfacePtr = std::unique_ptr<Fenwo::NurbsSurf>;

// The first three entries of v (missing ones 0): samples may carry longer
// vectors, the interpolant and the cross products take exactly three.
Vector xyz(const Vector& v)
{
    Vector out(3);
    for (int k = 0; k < 3 && k < v.n; ++k)
        out[k] = v[k];
    return out;
}

// v minus its part along the sample's normal, normalised. A sample without a
// normal leaves the direction as it is.
Vector transport(const Vector& v, const CFitPoint& sample)
{
    const Vector n = xyz(sample.Normal);
    return normalized(v - dot(v, n) * n);
}

// Parallel transport of a tangent frame along the loop, forwards and
// backwards from sample 0; each sample's Tangent becomes the mean direction
// of both, so the holonomy of a closed loop is shared by its two halves.
void transportFrame(CFitPointArray& loop)
{
    const int N = loop.count;
    Vector v = normalized(pointOnHyperplane(xyz(loop[0].Normal), 0.0));
    loop[0].Tangent = v;
    for (int i = 1; i < N; ++i) {
        v = transport(v, loop[i]);
        loop[i].Tangent = v;
    }
    v = loop[0].Tangent;
    loop[0].SurfNormal = v;
    for (int i = N - 1; i >= 1; --i) {
        v = transport(v, loop[i]);
        loop[i].SurfNormal = v;
    }
    for (int i = 0; i < N; ++i)
        loop[i].Tangent = normalized(loop[i].Tangent + loop[i].SurfNormal);
}

// The step d from sample `from` to sample `to` laid into the plane of the
// frame (tangent, normal x tangent) of sample `to`.
void developStep(const CFitPoint& from, const CFitPoint& to, double& x, double& y)
{
    const Vector t = xyz(to.Tangent);
    const Vector a = crossProduct(xyz(to.Normal), t);
    const Vector d = xyz(to.Point) - xyz(from.Point);
    x += dot(d, t);
    y += dot(d, a);
}

// The developed loop as a degree-1 curve, chord-length parametrised, with
// the closing gap spread along its arc length.
SurfacePtr developLoop(CFitPointArray& loop, std::ostream& dump)
{
    const int N = loop.count;
    auto curve = std::make_unique<Fenwo::NurbsSurf>(knots(N - 1, 1, 0.0, 1.0));
    double x = 0.0, y = 0.0;
    curve->setControlPoint(0, 0, Vector(0.0, 0.0, 0.0));
    for (int i = 1; i < N; ++i) {
        developStep(loop[i - 1], loop[i], x, y);
        curve->setControlPoint(i, 0, Vector(x, y, 0.0));
    }
    developStep(loop[N - 1], loop[0], x, y);
    const double gx = -x, gy = -y; // developed start (the origin) minus the closing end
    curve->write(dump);
    dump << '\n';

    reparametrizeByChordLength(curve.get());
    const double L = curve->getUMax();
    if (L > 0.0)
        for (int i = 0; i < N; ++i) {
            const double f = curve->uKnots->valueAt(i + 1) / L;
            Vector P;
            curve->getControlPoint(i, 0, P);
            P[0] += f * gx;
            P[1] += f * gy;
            curve->setControlPointPosition(i, 0, P);
        }
    return curve;
}

bool crossesItself(const Fenwo::NurbsSurf& curve)
{
    CVertexList polygon;
    Vector P;
    for (int i = 0; i < curve.getUCount(); ++i) {
        curve.getControlPoint(i, 0, P);
        polygon.appendPoint(P);
    }
    return polygon.selfIntersects();
}

// The enlarged box of the developed loop and the map from it to space.
struct DevelopedBox {
    double xa = 0.0, xb = 0.0, ya = 0.0, yb = 0.0;

    Vector at(double s, double t) const
    {
        return Vector((1.0 - s) * xa + s * xb, (1.0 - t) * ya + t * yb, 0.0);
    }
};

knots uniformKnots(int count, double a, double b)
{
    return knots(count - 1, std::min(3, count - 1), a, b);
}

// The sum of the angles between the normals at consecutive samples of one
// row, the largest such sum over the rows, in degrees; rows and samples at
// 0.2, 0.3, ..., 0.8 of the domain. alongU: the samples run in u.
double maxNormalTurn(Fenwo::NurbsSurf& g, bool alongU)
{
    const Interval U = g.getDomain(0), V = g.getDomain(1);
    double largest = 0.0;
    for (int r = 2; r <= 8; ++r) {
        const double row = 0.1 * r;
        double sum = 0.0;
        Vector previous;
        for (int k = 2; k <= 8; ++k) {
            const double s = 0.1 * k;
            const double u =
                alongU ? (1.0 - s) * U.min + s * U.max : (1.0 - row) * U.min + row * U.max;
            const double v =
                alongU ? (1.0 - row) * V.min + row * V.max : (1.0 - s) * V.min + s * V.max;
            Vector n = g.getRawNormal(u, v);
            if (k > 2)
                sum += std::acos(std::clamp(cosineBetween(previous, n), -1.0, 1.0));
            previous = n;
        }
        largest = std::max(largest, sum);
    }
    return largest * 57.29577951308232;
}

} // namespace

bool alignToMinAreaRectangle(Fenwo::NurbsSurf* planarCurve)
{
    if (planarCurve == nullptr)
        return false;
    Kor::List<CVertex<float, 2>> points, corners;
    Vector P;
    for (int j = 0; j < planarCurve->getVCount(); ++j)
        for (int i = 0; i < planarCurve->getUCount(); ++i) {
            planarCurve->getControlPoint(i, j, P);
            if (P.n >= 2)
                points.append(
                    CVertex<float, 2>(static_cast<float>(P[0]), static_cast<float>(P[1])));
        }
    double angle = 0.0;
    if (!minAreaBoundingRectangle(points, corners, angle, 0.0))
        return false;
    const CRotation rotation(Vector(0.0, 0.0, 1.0), -angle * std::numbers::pi / 180.0);
    C3DTransformation t;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            t.rotation.at(i, j) = rotation.at(i, j);
    return transformNurbsSurf(planarCurve, t);
}

Fenwo::NurbsSurf* fitWithKnotRefinement(CFitPointArray& loop, bool startSurfaceOnly,
                                        bool useBicubicParameters)
{
    const int N = loop.count;
    if (N < 3)
        return nullptr;
    std::ofstream x0map;
    openLogStream(x0map, "c:/tmp/x0map.out", 18);
    if (SurfacePtr outline{polylineOfAllFitPoints(loop, true)}) {
        outline->write(x0map);
        x0map << '\n';
    }

    transportFrame(loop);
    SurfacePtr developed = developLoop(loop, x0map);
    if (useBicubicParameters) {
        if (SurfacePtr bicubic{fitBicubic(loop)})
            for (int i = 0; i < N; ++i)
                if (loop[i].uv.n >= 2)
                    developed->setControlPointPosition(i, 0,
                                                       Vector(loop[i].uv[0], loop[i].uv[1], 0.0));
    }
    developed->write(x0map);
    x0map << '\n';
    if (crossesItself(*developed))
        return nullptr;
    alignToMinAreaRectangle(developed.get());
    developed->write(x0map);
    x0map << '\n';

    std::unique_ptr<iPolScatteredData> map(newScatteredDataRBF());
    map->setKernelType(N > 10 ? 2 : 1);
    Vector P;
    for (int i = 0; i < N; ++i) {
        developed->getControlPoint(i, 0, P);
        map->setSample(Vector(P[0], P[1], 0.0), xyz(loop[i].Point));
    }
    map->recompute(false);

    Vector lo, hi;
    developed->getBoundingBox(lo, hi, 0);
    const double w = hi[0] - lo[0], h = hi[1] - lo[1];
    // A loop developed onto a line spans nothing; the counts below would
    // divide by its zero extent.
    if (!(w > 0.0) || !(h > 0.0))
        return nullptr;
    const DevelopedBox box{lo[0] - 0.1 * w, hi[0] + 0.1 * w, lo[1] - 0.1 * h, hi[1] + 0.1 * h};

    const int nu0 = h > w ? std::max(4, static_cast<int>(std::ceil(12.0 * w / h)) + 1) : 12;
    const int nv0 = h > w ? 12 : std::max(4, static_cast<int>(std::ceil(12.0 * h / w)) + 1);
    const knots ku0 = uniformKnots(nu0, 0.0, 1.0), kv0 = uniformKnots(nv0, 0.0, 1.0);
    auto g0 = std::make_unique<Fenwo::NurbsSurf>(ku0, &kv0);
    for (int j = 0; j < nv0; ++j)
        for (int i = 0; i < nu0; ++i)
            g0->setControlPoint(
                i, j, map->evaluate(box.at(double(i) / (nu0 - 1), double(j) / (nv0 - 1))));
    g0->setColour(0.0, 1.0, 0.0);
    g0->write(x0map);
    x0map << '\n';
    if (startSurfaceOnly)
        return g0.release();

    const double uMaxChange = maxNormalTurn(*g0, true);
    const double vMaxChange = maxNormalTurn(*g0, false);
    const int nu = std::max(3, spansForAngle(uMaxChange) - 1);
    const int nv = std::max(3, spansForAngle(vMaxChange) - 1);
    std::cout << "uMaxChange=" << uMaxChange << " vMaxChange=" << vMaxChange << std::endl;
    std::cout << "new nu=" << nu << " new nv = " << nv << std::endl;

    CFitPointArray2D grid(nu, nv);
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i) {
            const Vector X = box.at(double(i) / (nu - 1), double(j) / (nv - 1));
            grid.at(i, j) = CFitPoint(map->evaluate(X), Vector(X[0], X[1]));
        }
    // Knots over the box, so the samples' parameters (their box points) lie
    // uniformly in the domain and every record meets one control point.
    const knots ku = uniformKnots(nu, box.xa, box.xb), kv = uniformKnots(nv, box.ya, box.yb);
    SurfacePtr g{fitNurbsToPoints(grid, &ku, &kv, nullptr, false, 3, 3)};
    if (!g)
        return nullptr;
    g->setColour(0.0, 0.0, 1.0);
    if (g->checkControlNetAngles()) {
        std::cout << "g is a bad surface. using sampled g0 as start surface" << std::endl;
        g = std::make_unique<Fenwo::NurbsSurf>(*g0);
        g->setColour(1.0, 1.0, 0.0);
        if (g->checkControlNetAngles()) {
            std::cout << "g is a bad surface. using g0 as start surface" << std::endl;
            g->copyFrom(*g0);
        }
    }
    g->write(x0map);
    x0map << '\n';
    std::ofstream makro;
    if (openLogStream(makro, "c:/tmp/makroTriangulate.out", std::ios::out | std::ios::app)) {
        g->write(makro);
        makro << '\n';
    }
    return g.release();
}
