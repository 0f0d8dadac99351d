// Host curves, trims and surfaces evaluated through the wrappers.
#include "plugin/HostWrappers.h"
#include "curves/CurveOnSurface.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "plugin/OpenNurbsConversion.h"
#include "support/AnalyticCurves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// The line (t, 2t, 3) over a given domain; remembers where it was asked.
class LineInterface : public C3DCurveInterface {
public:
    double t0, t1, lastT = -1.0;
    LineInterface(double t0, double t1) : t0(t0), t1(t1) {}
    bool getDomain(double& a, double& b) override
    {
        a = t0;
        b = t1;
        return true;
    }
    bool getPoint(double, double&, double&, double&) override { return false; }
    bool getFirstDerivative(double, double&, double&, double&) override { return false; }
    bool getSecondDerivative(double, double&, double&, double&) override { return false; }
    bool getNormal(double, double&, double&, double&) override { return false; }
    bool evaluate(double t, double* p, double* d1, double* d2, double*) override
    {
        lastT = t;
        const double values[3][3] = {{t, 2.0 * t, 3.0}, {1.0, 2.0, 0.0}, {0.0, 0.0, 0.0}};
        double* out[3] = {p, d1, d2};
        for (int k = 0; k < 3; ++k)
            if (out[k] != nullptr)
                for (int i = 0; i < 3; ++i)
                    out[k][i] = values[k][i];
        return true;
    }
    bool reserved7() override { return false; }
};

// A Brep of the wavy bicubic face over [0, 4]^2.
std::unique_ptr<ON_Brep> wavyBrep()
{
    auto face =
        std::make_unique<CFace>(makeWavyBicubic(Interval(0.0, 4.0), Interval(0.0, 4.0)).release());
    auto brep = std::make_unique<ON_Brep>();
    EXPECT_TRUE(faceToBrep(face.get(), *brep, 1e-4));
    return brep;
}

TEST(HostWrappers, CurveAcrossTheSeamAndReversed)
{
    LineInterface seam(0.8, 0.2);
    ciCurve across(&seam);
    EXPECT_TRUE(across.wrapped);
    EXPECT_DOUBLE_EQ(across.getDomain(0).min, 0.8);
    EXPECT_DOUBLE_EQ(across.getDomain(0).max, 1.2);
    across.evaluate(0, 1.1, 0.0);
    EXPECT_NEAR(seam.lastT, 0.1, 1e-12);
    across.evaluate(0, 1.0, 0.0);
    EXPECT_EQ(seam.lastT, 0.0);

    auto* line = new LineInterface(0.0, 2.0);
    ciCurve reversed(line, true);
    reversed.reverseU();
    Vector** d = reversed.evaluate(2, 0.0, 0.0);
    EXPECT_EQ(line->lastT, 2.0);
    EXPECT_EQ(d[0][0][1], 4.0);
    EXPECT_EQ(d[1][0][0], -1.0);
    EXPECT_EQ(d[1][0][1], -2.0);
    EXPECT_FALSE(reversed.hasNormal());
}

// A trim lifts to its face, an edge is taken through its last trim, a free
// curve has no normal, and the surface wrapper gives all second-order
// derivatives in their own entries.
TEST(HostWrappers, TrimsEdgesFreeCurvesAndSurfaces)
{
    std::unique_ptr<ON_Brep> brep = wavyBrep();
    ASSERT_GT(brep->m_T.Count(), 0);
    const ON_BrepFace& face = brep->m_F[0];
    CVezadCurveInterface trim(&brep->m_T[0]);
    double t0 = 0.0, t1 = 0.0;
    ASSERT_TRUE(trim.getDomain(t0, t1));
    for (double t : {t0, 0.3 * t0 + 0.7 * t1}) {
        double p[3], n[3];
        ON_3dPoint uv, onFace;
        ON_3dVector d1, d2, normal;
        ASSERT_TRUE(brep->m_T[0].Ev2Der(t, uv, d1, d2));
        ASSERT_TRUE(trim.evaluate(t, p, nullptr, nullptr, n));
        face.EvPoint(uv.x, uv.y, onFace);
        face.EvNormal(uv.x, uv.y, normal);
        EXPECT_NEAR(ON_3dPoint(p[0], p[1], p[2]).DistanceTo(onFace), 0.0, 1e-12);
        EXPECT_NEAR(ON_3dVector(n[0], n[1], n[2]).Length(), 1.0, 1e-9);
        EXPECT_NEAR(normal.x * n[0] + normal.y * n[1] + normal.z * n[2], 1.0, 1e-9);
    }
    double x, y, z;
    EXPECT_TRUE(trim.getNormal(t0, x, y, z));
    CVezadCurveInterface free(brep->m_C3[0]);
    EXPECT_FALSE(free.getNormal(t0, x, y, z));
    EXPECT_EQ(x * x + y * y + z * z, 0.0);

    // A second face whose trim shares edge 0: the edge's curve lies on it.
    ON_NurbsSurface* lifted = ON_NurbsSurface::Cast(brep->m_S[0]->DuplicateSurface());
    for (int i = 0; i < lifted->CVCount(0); ++i)
        for (int j = 0; j < lifted->CVCount(1); ++j) {
            ON_3dPoint cv;
            lifted->GetCV(i, j, cv);
            lifted->SetCV(i, j, cv + ON_3dVector(0, 0, 5));
        }
    ON_BrepFace& second = brep->NewFace(brep->AddSurface(lifted));
    ON_BrepLoop& loop = brep->NewLoop(ON_BrepLoop::outer, second);
    brep->NewTrim(brep->m_E[0], false, loop, brep->m_T[0].m_c2i);
    std::unique_ptr<CParametricGeometry> edge(collectPatchBoundary(&brep->m_E[0]));
    auto* cons = dynamic_cast<CCONS*>(edge.get());
    ASSERT_NE(cons, nullptr);
    const double tm = 0.5 * (t0 + t1);
    const ON_3dPoint uv = brep->m_T[0].PointAt(tm);
    const ON_3dPoint below = face.PointAt(uv.x, uv.y);
    const Vector onSecond = cons->getPoint(tm, 0.0);
    EXPECT_NEAR(onSecond[0], below.x, 1e-9);
    EXPECT_NEAR(onSecond[2], below.z + 5.0, 1e-9);
    std::unique_ptr<CParametricGeometry> spaceCurve(collectPatchBoundary(brep->m_C3[0]));
    EXPECT_NE(dynamic_cast<ciCurve*>(spaceCurve.get()), nullptr);

    ciSurface surface(&face);
    Vector** d = surface.evaluate(2, 1.3, 2.7);
    ON_3dPoint p;
    ON_3dVector du, dv, duu, duv, dvv;
    ASSERT_TRUE(face.Ev2Der(1.3, 2.7, p, du, dv, duu, duv, dvv));
    const ON_3dVector expected[6] = {ON_3dVector(p.x, p.y, p.z), du, dv, duu, duv, dvv};
    const Vector* got[6] = {&d[0][0], &d[1][0], &d[0][1], &d[2][0], &d[1][1], &d[0][2]};
    for (int k = 0; k < 6; ++k)
        for (int i = 0; i < 3; ++i)
            EXPECT_DOUBLE_EQ((*got[k])[i], (&expected[k].x)[i]) << k;
}

} // namespace
