// Evaluation and point inversion bit for bit as they were before their
// kernels were specialised: every entry of the derivative tables (orders 0
// to 3, the table slot and the flat forms) over a grid of parameters, and
// the inverted parameters, distances, sides and control indices of scattered
// points, each reduced to a digest of their bits and compared with the
// digest recorded from the earlier code. Surfaces of every kind the kernels
// tell apart: polynomial and rational, degrees 1 to 4 and mixed, non-uniform,
// cyclic, a curve, a reversed direction.
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>

namespace {

using Fenwo::NurbsSurf;

// FNV-1a over the bits of the values fed to it.
struct Digest {
    std::uint64_t h = 1469598103934665603ull;
    void add(double x)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        for (int b = 0; b < 8; ++b) {
            h ^= (bits >> (8 * b)) & 0xffu;
            h *= 1099511628211ull;
        }
    }
};

std::unique_ptr<NurbsSurf> surface(const knots& u, const knots* v, bool rational)
{
    auto s = std::make_unique<NurbsSurf>(u, v);
    for (int j = 0; j < s->getVCount(); ++j)
        for (int i = 0; i < s->getUCount(); ++i)
            s->setControlPoint(i, j,
                               Vector(i + 0.1 * std::sin(3.0 * j), j + 0.2 * std::cos(1.7 * i),
                                      std::sin(0.3 * i) * std::cos(0.2 * j)),
                               rational ? 1.0 + 0.5 * std::sin(1.3 * i + 0.7 * j) : 1.0);
    return s;
}

knots nonUniform(int p)
{
    const double values[] = {0.0, 0.1, 0.15, 0.4, 0.45, 0.7, 0.9, 1.3, 1.35, 2.0, 2.2, 2.5, 3.0};
    return knots(values, 13, p, false);
}

struct SurfaceCase {
    const char* name;
    std::function<std::unique_ptr<NurbsSurf>()> make;
    std::uint64_t evaluation; // digest of every table
    std::uint64_t inversion;  // digest of the inverted points
};

// Every table of orders 0 to 3 at a grid of parameters reaching past the
// domain, through evaluate, computeDerivatives, computeDerivativesInto and
// evaluatePoint.
std::uint64_t evaluationDigest(NurbsSurf& s)
{
    Digest digest;
    const double u0 = s.getUMin(), u1 = s.getUMax(), v0 = s.getVMin(), v1 = s.getVMax();
    double flat[48];
    Vector point;
    for (int a = -1; a <= 17; ++a)
        for (int b = -1; b <= 13; ++b) {
            const double u = u0 + (u1 - u0) * a / 16.0 + 1e-3 * std::sin(a + 2.0 * b);
            const double v = v0 + (v1 - v0) * b / 12.0 + 1e-3 * std::cos(3.0 * a - b);
            for (int order = 0; order <= 3; ++order) {
                Vector** T = s.evaluate(order, u, v);
                for (int k = 0; k <= order; ++k)
                    for (int l = 0; l <= order; ++l)
                        for (int c = 0; c < T[k][l].n; ++c)
                            digest.add(T[k][l][c]);
                s.computeDerivativesInto(order, u, v, flat);
                for (int e = 0; e < 3 * (order + 1) * (order + 1); ++e)
                    digest.add(flat[e]);
            }
            s.evaluatePoint(point, u, v);
            for (int c = 0; c < 3; ++c)
                digest.add(point[c]);
        }
    return digest.h;
}

// Points scattered near the surface, started from the grid's values and
// refined by Newton.
std::uint64_t inversionDigest(NurbsSurf& s)
{
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    CFitPointArray points;
    Vector S;
    for (int k = 0; k < 300; ++k) {
        s.evaluatePoint(S, s.getUMin() + (s.getUMax() - s.getUMin()) * unit(gen),
                        s.getVMin() + (s.getVMax() - s.getVMin()) * unit(gen));
        S[0] += 0.3 * (unit(gen) - 0.5);
        S[1] += 0.3 * (unit(gen) - 0.5);
        S[2] += 0.3 * (unit(gen) - 0.5);
        points.append(CFitPoint(S));
    }
    IndexSubset<CFitPoint> subset(points, points.count);
    subset.selectAll();
    testing::internal::CaptureStdout(); // the start values report their hits
    s.invertPoints(subset, 3, 3, false);
    testing::internal::GetCapturedStdout();
    subset.selectAll();
    s.PointInversion(subset, 10);
    Digest digest;
    for (int k = 0; k < points.count; ++k) {
        const CFitPoint& p = points[k];
        digest.add(p.uv[0]);
        digest.add(p.uv[1]);
        digest.add(p.dist2);
        digest.add(p.side);
        digest.add(p.uIndex);
        digest.add(p.vIndex);
        digest.add(p.boundary);
    }
    return digest.h;
}

TEST(EvaluationEquality, TablesAndInvertedPointsAreThoseOfTheEarlierKernels)
{
    const SurfaceCase cases[] = {
        {"bicubic 10 x 10", [] { const knots k(9, 3, 0.0, 1.0); return surface(k, &k, false); },
         0x449aa26b6361696aull, 0x184c8de4784f8b13ull},
        {"rational bicubic 10 x 10", [] { const knots k(9, 3, 0.0, 1.0); return surface(k, &k, true); },
         0xe264147ca71eeea3ull, 0x8437b557eed3aaebull},
        {"bicubic 100 x 100", [] { const knots k(99, 3, 0.0, 1.0); return surface(k, &k, false); },
         0x3b9e79565d7ba29aull, 0x7b0b9ae00fd7e5b4ull},
        {"rational biquadratic", [] { const knots k(7, 2, 0.0, 2.0); return surface(k, &k, true); },
         0x7b1fd7a16042bc31ull, 0x738153b4f3d73babull},
        {"cubic by linear", [] { const knots u(6, 3, 0.0, 1.0), v(4, 1, -1.0, 1.0); return surface(u, &v, false); },
         0x3fb72b101f802163ull, 0x47822148776eab9aull},
        {"non-uniform quadratic by cubic", [] { const knots u = nonUniform(2), v = nonUniform(3); return surface(u, &v, true); },
         0x596f8a2ed5307f48ull, 0xdab6b8343419d145ull},
        {"quartic (the general kernel)", [] { const knots k(8, 4, 0.0, 1.0); return surface(k, &k, false); },
         0x5237d2998fa0b107ull, 0x92a3c3d9e0a6b3cbull},
        {"cyclic in u", [] { const knots u(8, 3, 0.0, 1.0, knots::CyclicEnd), v(5, 3, 0.0, 1.0); return surface(u, &v, false); },
         0xcd2c2579dc50259cull, 0x6003744c81485c74ull},
        {"cubic curve", [] { const knots u(9, 3, 0.0, 4.0); return surface(u, nullptr, true); },
         0xe8344bf5b7b93dbfull, 0x179241b2269c05afull},
        {"reversed in u", [] {
             const knots k(6, 3, 0.0, 1.0);
             auto s = surface(k, &k, false);
             s->reverseU();
             return s;
         },
         0x0b4127174c7f3eedull, 0x29ddf2da0c1d1a3aull},
    };
    for (const SurfaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<NurbsSurf> s = c.make();
        EXPECT_EQ(evaluationDigest(*s), c.evaluation)
            << std::hex << "evaluation 0x" << evaluationDigest(*s);
        EXPECT_EQ(inversionDigest(*s), c.inversion)
            << std::hex << "inversion 0x" << inversionDigest(*s);
    }
}

} // namespace
