// The trimmed patch from a selected boundary.
#include "healing/BoundaryPatch.h"

#include "curves/ArcLength.h"
#include "curves/CurveOnSurface.h"
#include "curves/ParCurve.h"
#include "fitting/BoundaryFitPoints.h"
#include "fitting/BoundaryLoopSurface.h"
#include "fitting/CircleLayout.h"
#include "fitting/RbfFitLoop.h"
#include "foundation/IndexSubset.h"
#include "foundation/Logging.h"
#include "foundation/Plane.h"
#include "foundation/PointSequence.h"
#include "foundation/Profiler.h"
#include "foundation/Progress.h"
#include "foundation/Statistic.h"
#include "geometry/NurbsSurf.h"
#include "healing/PlanarStartSurface.h"
#include "net/Face.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>

namespace {

using SurfacePtr = std::unique_ptr<Fenwo::NurbsSurf>;

// Profiler sections.
enum Section {
    kSampling = 0,
    kStartSurface = 1,
    kFit = 2,
    kFitWithRCCurves = 3,
    kOrientationSamples = 4,
    kInversions = 5,
    kLoop = 6,
    kOrderLoop = 7
};

constexpr double kCos75 = 0.2588; // steepest normal that still counts
constexpr double kCos40 = 0.7660; // normals within 40 degrees of the direction
constexpr double kPlanar = 0.9999;

bool hasNormal(const CFitPoint& p)
{
    return p.Normal.n == 3;
}

// One progress step; true when the sink asks to stop.
bool stepCancelled(CProgress* progress)
{
    if (progress == nullptr)
        return false;
    progress->step(1);
    return progress->isCancelled();
}

// The boundary points that carry a normal, each position once (the curves
// meet at their ends).
IndexSubset<CFitPoint> distinctNormalPoints(const IndexSubset<CFitPoint>& boundary, double dTol)
{
    IndexSubset<CFitPoint> normals(boundary.array);
    const double same = 1e-6 * dTol * dTol;
    for (int k = 0; k < boundary.count; ++k) {
        const CFitPoint& p = boundary.at(k);
        if (!hasNormal(p))
            continue;
        if (normals.count > 0 &&
            (squaredDistance(p.Point, normals.at(normals.count - 1).Point) <= same ||
             squaredDistance(p.Point, normals.at(0).Point) <= same))
            continue;
        normals.append(boundary.indices[k]);
    }
    return normals;
}

void writeFitPoints(const char* name, const CFitPointArray& points)
{
    std::ofstream out;
    if (!openLogStream(out, name, 18))
        return;
    for (const CFitPoint& p : points) {
        printFitPoint(out, p);
        out << '\n';
    }
}

// The start surface by the first rule that applies (see approxAndTrim).
SurfacePtr startSurface(IndexSubset<CFitPoint>& all, const IndexSubset<CFitPoint>& boundaryPoints,
                        const CStatistic& directions, const Vector& direction, bool planar,
                        const Kor::List<CParametricGeometry*>& boundary, bool startSurfaceOnly)
{
    all.selectAll();
    if (planar)
        return SurfacePtr(planarImprintSurface(all, direction, 2, false));
    bool nearDirection = directions.count > 2;
    for (int k = 0; nearDirection && k < directions.values.count; ++k)
        nearDirection = std::fabs(directions.values[k]) > kCos40;
    if (nearDirection)
        return SurfacePtr(planarImprintSurface(all, direction, 25, false));
    SurfacePtr S;
    if (directions.count == boundaryPoints.count) {
        CFitPointArray loop;
        for (int k = 0; k < boundaryPoints.count; ++k)
            loop.append(boundaryPoints.at(k));
        S.reset(fitWithKnotRefinement(loop, startSurfaceOnly, true));
    } else {
        S.reset(circleLayoutFit(boundary, startSurfaceOnly));
    }
    if (!S) {
        all.selectAll();
        S.reset(planarImprintSurface(all, direction, 25, false));
    }
    return S;
}

// The error statistic of the normal points after a fresh inversion.
CStatistic normalPointErrors(Fenwo::NurbsSurf& S, IndexSubset<CFitPoint>& normals)
{
    for (int k = 0; k < normals.count; ++k)
        normals.at(k).state = 1;
    S.invertPoints(normals, 1, 1, false);
    S.PointInversion(normals, 10);
    return fitErrorStatistics(normals, nullptr, nullptr, 0.0, 0);
}

// rbf3 on the normal points alone, where the tangent planes still miss.
// The points are thinned no further than 0.1 and no further than the
// boundary's sampling step (twice the tolerance): at 0.1 alone, a boundary
// less than about 0.1 across kept one point, too few to fit, and the
// refinement did nothing.
void refineOnNormalPoints(Fenwo::NurbsSurf& S, double dTol, IndexSubset<CFitPoint>& normals,
                          CProgress* progress)
{
    rbf3(S, dTol, normals, 750, progress, 0, false, false, std::min(0.1, 2.0 * dTol), -1.0, true);
}

// The tolerance fit of the surface to every point, then to the normal points.
void fitToTolerance(Fenwo::NurbsSurf& S, double dTol, IndexSubset<CFitPoint>& all,
                    IndexSubset<CFitPoint>& normals, bool withRCCurves, int continuity,
                    CProgress* progress)
{
    all.selectAll();
    if (withRCCurves) {
        rbf3(S, 10.0 * dTol, all, 723, progress, 1, false, false, 0.1, -1.0, true);
        const CStatistic h = normalPointErrors(S, normals);
        profileLog() << " h(RCCurve)= " << h << std::flush;
        if (h.max > dTol)
            refineOnNormalPoints(S, dTol, normals, progress);
        return;
    }
    if (!rbf3(S, dTol, all, 723, progress, continuity != 0 ? 2 : 0, false, true, 10.0 * dTol, -1.0,
              true)) {
        std::cout << "Interpolation to dTol = " << dTol << " failed " << std::endl;
        std::ofstream out;
        if (openLogStream(out, "c:/tmp/ipol-fail.out", 18))
            S.write(out);
        writeFitPoints("c:/tmp/ipol-fail.mp", *all.array);
    }
    const CStatistic h = normalPointErrors(S, normals);
    if (normals.count > 0 && h.max > dTol) {
        std::cout << " h= " << h << " needs refinement " << std::endl;
        refineOnNormalPoints(S, dTol, normals, progress);
    }
}

// Reverses u when strictly more than half of the boundary curves' normals
// point against the surface.
void orientByBoundaryNormals(Fenwo::NurbsSurf& S, const Kor::List<CParametricGeometry*>& boundary,
                             CSimpleProfiler& profiler)
{
    CFitPointArray samples;
    {
        CTP timer(profiler, kOrientationSamples);
        for (int c = 0; c < boundary.count; ++c) {
            CParametricGeometry* curve = boundary[c];
            if (curve == nullptr || !curve->hasNormal())
                continue;
            Kor::List<double> t;
            sampleDomainUniform(curve, t, 7);
            for (int k = 0; k < t.count; ++k)
                samples.append(CFitPoint(curve->getPoint(t[k], 0.0), Vector(0.0, 0.0),
                                         curve->getNormal(t[k], 0.0)));
        }
    }
    if (samples.count == 0)
        return;
    CTP timer(profiler, kInversions);
    IndexSubset<CFitPoint> all(samples);
    all.selectAll();
    S.invertPoints(all, 2, 2, false);
    all.selectAll();
    S.PointInversion(all, 20);
    int against = 0;
    for (const CFitPoint& p : samples)
        if (dot(p.Normal, S.getRawNormal(p.uv[0], p.uv[1])) < 0.0)
            ++against;
    if (against > samples.count / 2)
        S.invertDirection(0);
}

// Appends the curve's image on the surface to the loop; false when it has none.
bool appendTrimCurve(CLoop& loop, CParametricGeometry* curve, Fenwo::NurbsSurf* S)
{
    if (curve == nullptr)
        return false;
    CCONS image(curve, S, 2, 1e-8);
    if (image.getUVCurve() == nullptr)
        return false;
    loop.curves.append(new CParCurve(image.takeUVCurve(), S, false));
    return true;
}

} // namespace

CFace* approxAndTrim(const Kor::List<CParametricGeometry*>& boundary, double dTol,
                     const Vector& direction, const Kor::List<CParametricGeometry*>& rcCurves,
                     const Kor::List<CParametricGeometry*>& interior, CFitPointArray* extraPoints,
                     CProgress* progress, bool startSurfaceOnly, int continuity)
{
    if (boundary.count == 0)
        return nullptr;
    CSimpleProfiler profiler("approx and Trim");
    if (progress != nullptr)
        progress->begin(0, boundary.count + rcCurves.count + interior.count);

    CFitPointArray points;
    IndexSubset<CFitPoint> all(points), boundaryPoints(points);
    CStatistic boundaryNormals;
    {
        CTP timer(profiler, kSampling);
        for (int c = 0; c < boundary.count; ++c) {
            if (stepCancelled(progress))
                return nullptr;
            sampleBoundaryCurve(boundary[c], points, boundaryPoints, 2.0 * dTol, dTol, 0.5,
                                continuity);
        }
        for (int k = 1; k < boundaryPoints.count; ++k)
            if (hasNormal(boundaryPoints.at(k)) && hasNormal(boundaryPoints.at(0)))
                boundaryNormals.add(dot(boundaryPoints.at(k).Normal, boundaryPoints.at(0).Normal));
        if (extraPoints != nullptr)
            for (const CFitPoint& p : *extraPoints)
                boundaryPoints.append(points.append(p));
        for (const Kor::List<CParametricGeometry*>* list : {&rcCurves, &interior})
            for (int c = 0; c < list->count; ++c) {
                if (stepCancelled(progress))
                    return nullptr;
                sampleCurveFitPoints((*list)[c], points, nullptr, 2.0 * dTol, nullptr);
            }
    }

    Vector reference = direction;
    if (norm(reference) < 0.1) {
        CPlane plane;
        boundaryPlane(boundary, plane);
        reference = plane.normal;
    }
    CStatistic directions(true);
    for (const CFitPoint& p : points)
        if (hasNormal(p))
            directions.add(dot(p.Normal, reference));
    if (!startSurfaceOnly && directions.count > 2 && std::fabs(directions.min) < kCos75 &&
        std::fabs(directions.max) < kCos75)
        return nullptr;
    IndexSubset<CFitPoint> normalPoints = distinctNormalPoints(boundaryPoints, dTol);
    const bool planar =
        boundaryNormals.count > 0 && boundaryNormals.min > kPlanar && interior.count == 0;

    SurfacePtr S;
    {
        CTP timer(profiler, kStartSurface);
        S = startSurface(all, boundaryPoints, directions, reference, planar, boundary,
                         startSurfaceOnly);
    }
    if (!S)
        return nullptr;

    bool fitted = false;
    {
        CTP timer(profiler, kInversions);
        all.selectAll();
        S->invertPoints(all, 1, 1, false);
        all.selectAll();
        S->PointInversion(all, 20);
        if (planar) {
            const CStatistic errors = fitErrorStatistics(all, nullptr, nullptr, 0.0, 0);
            fitted = errors.max - errors.min <= dTol;
        }
    }
    if (!fitted) {
        CTP timer(profiler, rcCurves.count == 0 ? kFit : kFitWithRCCurves);
        fitToTolerance(*S, dTol, all, normalPoints, rcCurves.count != 0, continuity, progress);
    }

    orientByBoundaryNormals(*S, boundary, profiler);
    S->write(ioLog());
    ioLog() << std::endl;
    // Full knot lists in the written face.
    S->uKnots->spacing = knots::NonUniform;
    S->vKnots->spacing = knots::NonUniform;

    auto loop = std::make_unique<CLoop>();
    CParCurve* lastBeforeRest = nullptr;
    {
        CTP timer(profiler, kLoop);
        for (int c = 0; c < boundary.count; ++c)
            appendTrimCurve(*loop, boundary[c], S.get());
        for (int c = 0; c < rcCurves.count; ++c) {
            appendTrimCurve(*loop, rcCurves[c], S.get());
            if (c == 0 && loop->getCard() > 0)
                lastBeforeRest = loop->getCurve(-1);
        }
    }
    // A loop without curves would make a face without a boundary; the
    // caller reports that no face was made.
    if (loop->getCard() == 0)
        return nullptr;
    {
        CTP timer(profiler, kOrderLoop);
        loop->orderCurves(true);
        loop->orient(-1);
        // The loop ends with the first RC curve.
        const int n = loop->getCard();
        int j = 0;
        while (j < n && loop->curves[j] != lastBeforeRest)
            ++j;
        if (lastBeforeRest != nullptr && j < n - 1) {
            Kor::List<CParCurve*> rotated;
            for (int k = 0; k < n; ++k)
                rotated.append(loop->curves[(j + 1 + k) % n]);
            loop->curves = rotated;
        }
    }

    auto face = std::make_unique<CFace>(S.release(), loop.release());
    std::ofstream facelog;
    if (openLogStream(facelog, "c:/tmp/facelog.out", 18)) {
        face->write(facelog);
        facelog << '\n';
    }
    writeFitPoints("c:/tmp/approxAndTrim.mp", points);
    return face.release();
}
