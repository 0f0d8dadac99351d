// Helpers of the scattered-data tests: the general log read back, smooth
// surfaces over [0, 1]^2, fit points near them and their distances.
#pragma once

#include "foundation/FitPoint.h"
#include "foundation/Logging.h"
#include "foundation/PointSequence.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"

#include "support/ScratchDir.h"

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>

namespace rbftest {

// The first global log opened into the test's own folder while it lives.
class GeneralLog {
public:
    GeneralLog()
    {
        closeGlobalLogs();
        openGlobalLogs("c:/tmp/general.txt", nullptr);
    }
    ~GeneralLog() { closeGlobalLogs(); }
    GeneralLog(const GeneralLog&) = delete;
    GeneralLog& operator=(const GeneralLog&) = delete;

    std::string text() const
    {
        std::ifstream in(mwtest::scratchPath("general.txt"));
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

inline int countOf(const std::string& text, const std::string& word)
{
    int n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// The height 0 everywhere.
inline double flat(double, double)
{
    return 0.0;
}

// The clamped surface of degrees (p, q) with nU x nV control points over
// [0, 1]^2 whose control point (i, j) lies at (10 s, 10 t, h(10 s, 10 t)),
// s = i / (nU - 1), t = j / (nV - 1).
inline std::unique_ptr<Fenwo::NurbsSurf>
heightSurface(int nU, int nV, int p, int q, const std::function<double(double, double)>& h)
{
    const knots u(nU - 1, p, 0.0, 1.0);
    const knots v(nV - 1, q, 0.0, 1.0);
    auto S = std::make_unique<Fenwo::NurbsSurf>(u, &v);
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i) {
            const double x = 10.0 * i / (nU - 1), y = 10.0 * j / (nV - 1);
            S->setControlPoint(i, j, Vector(x, y, h(x, y)), 1.0);
        }
    return S;
}

// n fit points at random parameters of S (a fixed seed), lifted by
// offset(x, y) along z, with those parameters as start values.
inline void scatterNear(Fenwo::NurbsSurf& S, int n, double (*offset)(double, double),
                        CFitPointArray& out)
{
    std::mt19937 gen(23);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int k = 0; k < n; ++k) {
        Vector uv(2);
        uv[0] = unit(gen);
        uv[1] = unit(gen);
        Vector p = S.getPoint(uv[0], uv[1]);
        p[2] += offset(p[0], p[1]);
        out.append(CFitPoint(p, uv));
    }
}

// The largest distance of the points from S, their parameters found afresh.
inline double largestDistance(Fenwo::NurbsSurf& S, IndexSubset<CFitPoint>& pts)
{
    for (int k = 0; k < pts.count; ++k)
        pts[k].state = 1;
    S.invertPoints(pts, 2, 2, false);
    S.PointInversion(pts, 20);
    return fitErrorStatistics(pts, nullptr, nullptr, 0.0, 0).max;
}

// Same control-point counts and exactly the same homogeneous points.
inline bool sameNet(Fenwo::NurbsSurf& a, Fenwo::NurbsSurf& b)
{
    if (a.getUCount() != b.getUCount() || a.getVCount() != b.getVCount())
        return false;
    for (int j = 0; j < a.getVCount(); ++j)
        for (int i = 0; i < a.getUCount(); ++i)
            if (norm(a.getWrappedControlPoint(i, j) - b.getWrappedControlPoint(i, j)) != 0.0)
                return false;
    return true;
}

} // namespace rbftest
