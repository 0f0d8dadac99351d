#include "curves/CurveFamilyInterpolation.h"

#include "curves/CurveFamilySurface.h"
#include "curves/CurveInterpolation.h"
#include "curves/CurveOperations.h"
#include "curves/KnotMerging.h"
#include "curves/SubCurves.h"
#include "foundation/FitPoint.h"
#include "foundation/Logging.h"
#include "geometry/NurbsSurf.h"
#include "platform/Uuid.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

using Fenwo::NurbsSurf;

namespace {

void dumpCurve(const char* name, NurbsSurf* curve)
{
    std::ofstream dump;
    if (curve == nullptr || !openLogStream(dump, name))
        return;
    dump.precision(16);
    curve->write(dump);
    dump << std::endl;
}

} // namespace

NurbsSurf* interpolCurves(const Kor::Array<NurbsSurf*>& curves, int degree, bool closed,
                          Vector* outParameters, double s, bool orient)
{
    std::vector<std::unique_ptr<NurbsSurf>> copies;
    Kor::Array<NurbsSurf*> family;
    for (NurbsSurf* c : curves) {
        if (c == nullptr)
            continue;
        if (c->getVCount() > 1) {
            std::cout << "interpolCurves: a member of the family is a surface, not a curve."
                      << std::endl;
            return nullptr;
        }
        copies.emplace_back(new NurbsSurf(*c));
        family.append(copies.back().get());
    }
    const int n = family.getCount();
    if (n < 2)
        return nullptr;
    if (!closed && orient)
        orientCurvesConsistently(family);
    if (!mergeAllKnots(family, 1)) {
        std::cout << "merge all knots failed." << std::endl;
        return nullptr;
    }

    CFitPointArray mids;
    mids.setCapacity(n);
    for (NurbsSurf* c : family) {
        const double t = c->getUMin() * (1.0 - s) + c->getUMax() * s;
        Vector p(3);
        c->evaluatePoint(p, t, 0.0);
        mids.append(CFitPoint(p));
    }
    double target = 0.0;
    for (int k = 1; k < n; ++k)
        target += std::sqrt(squaredDistance(mids[k - 1].Point, mids[k].Point));
    if (closed)
        target += std::sqrt(squaredDistance(mids[n - 1].Point, mids[0].Point));

    IndexSubset<CFitPoint> all(mids);
    all.selectAll();
    std::unique_ptr<NurbsSurf> mid(interpolateCurve(all, 1, degree, true, closed));
    if (mid == nullptr) {
        std::cout << "interpolation to mid-curve failed " << n << " curves" << std::endl;
        if (isLoggingEnabled()) {
            const Platform::SideIdScope sideIds; // the dump's curve
            std::unique_ptr<NurbsSurf> polyline(polylineOfFitPoints(all, closed));
            dumpCurve("c:/tmp/midIpolFAil.out", polyline.get());
        }
        return nullptr;
    }
    const double length = mid->computeLength();
    if (length > 2.0 * target) {
        std::cout << "interpolCurves::interpolation is oscillatory. len=" << length
                  << " target=" << target << std::endl;
        std::ofstream dump;
        if (openLogStream(dump, "c:/tmp/interpolCurves-osc.out")) {
            dump.precision(16);
            for (NurbsSurf* c : family) {
                c->write(dump);
                dump << std::endl;
            }
        }
        return nullptr;
    }

    Vector parameters(n);
    for (int k = 0; k < n; ++k)
        parameters[k] = mids[k].uv[0];
    NurbsSurf* surface = fitRationalNurbsToPoints(family, parameters, *mid->uKnots);
    if (surface == nullptr)
        std::cout << "final curve interpolation failed." << std::endl;
    if (outParameters != nullptr)
        *outParameters = parameters;
    return surface;
}

NurbsSurf* interpolCurvesOfSet(const Kor::SubSet<CParametricGeometry>& curves, int degree,
                               bool closed, Vector* outParameters, double s, bool orient)
{
    Kor::Array<NurbsSurf*> list;
    for (int i = 0; i < curves.count; ++i) {
        CParametricGeometry* g = curves[i];
        NurbsSurf* curve = asNurbsSurf(g);
        if (g != nullptr && curve == nullptr) {
            std::cout << "interpolCurvesOfSet: a member of the set is not a NURBS curve."
                      << std::endl;
            return nullptr;
        }
        list.append(curve);
    }
    return interpolCurves(list, degree, closed, outParameters, s, orient);
}
