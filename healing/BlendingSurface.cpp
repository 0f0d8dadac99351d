#include "healing/BlendingSurface.h"

#include "curves/ArcLength.h"
#include "curves/BoundaryCurves.h"
#include "curves/CurveLoops.h"
#include "curves/SubCurves.h"
#include "fitting/CurveFitting.h"
#include "foundation/Logging.h"
#include "foundation/Sort.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"
#include "healing/RailSection.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <numbers>

namespace {

// The normal of the corner where curve k ends and curve k + 1 starts.
Vector cornerNormal(Kor::Array<Fenwo::NurbsSurf*>& c, int k)
{
    return crossProduct(c[k % 4]->getEndTangent(), c[(k + 1) % 4]->getStartTangent());
}

// True when every corner of the loop turns by a usable angle: its two
// tangents are more than 30 degrees from parallel and from antiparallel.
bool cornersUsable(Kor::Array<Fenwo::NurbsSurf*>& c)
{
    bool usable = true;
    for (int k = 0; k < 4; ++k) {
        const double angle = angleBetween(c[k]->getEndTangent(), c[(k + 1) % 4]->getStartTangent());
        if (std::fabs(angle - std::numbers::pi / 2) > std::numbers::pi / 3)
            usable = false;
    }
    return usable;
}

// The sweep between the long sides i2 and i3 with the short sides as
// profiles; null when a profile degenerates or the sweep gives nothing.
Fenwo::NurbsSurf* sweepLongSides(Kor::Array<Fenwo::NurbsSurf*>& c, int i2, int i3, double tolerance,
                                 double sumRest, std::ofstream& log)
{
    Fenwo::NurbsSurf* s1 = c[(i3 + 1) % 4]; // from the end of i3 to the start of i2
    Fenwo::NurbsSurf* s2 = c[(i2 + 1) % 4]; // from the end of i2 to the start of i3
    Kor::List<Fenwo::NurbsSurf*> profiles;
    profiles.append(hermiteSegment(s1->getEndPoint(), -s1->getEndTangent(), s1->getStartPoint(),
                                   -s1->getStartTangent(), 3, 0.353552, 0.35355));
    profiles.append(hermiteSegment(s2->getStartPoint(), s2->getStartTangent(), s2->getEndPoint(),
                                   s2->getEndTangent(), 3, 0.353552, 0.35355));
    Fenwo::NurbsSurf* result = nullptr;
    if (sampledCurveLength(profiles[0], 10, false) > 0.001 &&
        sampledCurveLength(profiles[1], 10, false) > 0.001) {
        CRailSection sweep(profiles);
        sweep.rail0 = c[i2];
        c[i3]->invertDirection(0);
        sweep.rail1 = c[i3];
        sweep.tolerance = tolerance;
        sweep.adaptiveSampling = true;
        sweep.Run();
        sweep.patches.deleteAll();
        result = sweep.result;
    }
    profiles.deleteAll();
    if (result != nullptr) {
        for (int side : {1, 2, 4, 3})
            offsetNurbs(result, side, 0.1 * sumRest, false, false);
        if (log.is_open()) {
            result->write(log);
            log << std::endl;
        }
    }
    return result;
}

// The surface spanning the four curves after opposite sides are refitted
// with one control-point count; null when opposite lengths differ too much.
Fenwo::NurbsSurf* spanFourCurves(Kor::Array<Fenwo::NurbsSurf*>& c, const double* length)
{
    for (int i : {0, 1}) {
        const double lo = std::min(length[i], length[i + 2]);
        const double hi = std::max(length[i], length[i + 2]);
        if (!(lo / hi >= 0.75))
            return nullptr;
    }
    for (int i : {0, 1}) {
        Fenwo::NurbsSurf* a = nullptr;
        Fenwo::NurbsSurf* b = nullptr;
        fitCompatibleCurves(c[i], c[i + 2], a, b, 9, false);
        if (a != nullptr && b != nullptr) {
            delete c[i];
            delete c[i + 2];
            c[i] = a;
            c[i + 2] = b;
        } else {
            delete a;
            delete b;
        }
    }
    Fenwo::NurbsSurf* surface = orderCurveLoops(c, 1, 1, nullptr);
    if (surface == nullptr)
        return nullptr;
    for (int side : {1, 2})
        offsetNurbs(surface, side, 0.05 * (length[0] + length[1]), false, false);
    for (int side : {4, 3})
        offsetNurbs(surface, side, 0.05 * (length[2] + length[3]), false, false);
    return surface;
}

} // namespace

Fenwo::NurbsSurf* buildBlendingSurface(Kor::Array<Fenwo::NurbsSurf*>& curves, double tolerance)
{
    if (curves.count == 0)
        return nullptr;
    chainCurveList(curves);
    const int n = curves.count;
    std::unique_ptr<double[]> length(new double[n]);
    for (int i = 0; i < n; ++i)
        length[i] = sampledCurveLength(curves[i], 25, false);
    int* raw = nullptr;
    sortIndexByKey(length.get(), n, &raw);
    const std::unique_ptr<int[]> idx(raw);
    if (n != 4)
        return nullptr;

    const int i2 = idx[2], i3 = idx[3];
    if (std::abs(i2 - i3) == 1 || std::abs(i2 - i3) == 3)
        return nullptr;
    const double L0 = length[i2], L1 = length[i3];
    const double sumRest = length[idx[0]] + length[idx[1]];
    std::cout << "sumRest=" << sumRest << " L0=" << L0 << " L1=" << L1 << std::endl;

    Fenwo::NurbsSurf* result = nullptr;
    if (sumRest < 0.6 * (L0 + L1)) {
        std::ofstream log;
        openLogStream(log, "c:/tmp/n0log.out", 18);
        bool sweep = true;
        if (sumRest > 0.05 * (L0 + L1)) {
            for (int side : {(i3 + 1) % 4, (i2 + 1) % 4}) {
                const double angle =
                    angleBetween(cornerNormal(curves, side + 3), cornerNormal(curves, side));
                std::cout << "angle =" << angle * 180.0 / std::numbers::pi << std::endl;
            }
            sweep = cornersUsable(curves);
        }
        if (sweep) {
            std::cout << "ok we have a blending surface!" << std::endl;
            if (log.is_open())
                for (int i : {i2, i3}) {
                    curves[i]->write(log);
                    log << std::endl;
                }
            result = sweepLongSides(curves, i2, i3, tolerance, sumRest, log);
        }
    }
    if (result == nullptr)
        result = spanFourCurves(curves, length.get());
    return result;
}

Fenwo::NurbsSurf* makeBlendingSurface(const Kor::List<Fenwo::NurbsSurf*>& curves, double tolerance)
{
    Kor::Array<Fenwo::NurbsSurf*> copies;
    for (Fenwo::NurbsSurf* c : curves) {
        if (c == nullptr) {
            for (Fenwo::NurbsSurf* made : copies)
                delete made;
            return nullptr;
        }
        copies.append(new Fenwo::NurbsSurf(*c));
    }
    Fenwo::NurbsSurf* result = buildBlendingSurface(copies, tolerance);
    for (Fenwo::NurbsSurf* c : copies)
        delete c;
    return result;
}
