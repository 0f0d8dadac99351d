// Trimmed faces to Breps and back, on a wavy bicubic patch with holes.
#include "curves/ParCurve.h"
#include "geometry/NurbsSurf.h"
#include "net/Face.h"
#include "platform/Diagnostics.h"
#include "plugin/OpenNurbsConversion.h"
#include "support/AnalyticCurves.h"
#include "support/NurbsFixtures.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>

namespace {

// The face over [0, 4]^2 bounded by its domain.
std::unique_ptr<CFace> wavyFace()
{
    return std::make_unique<CFace>(
        makeWavyBicubic(Interval(0.0, 4.0), Interval(0.0, 4.0)).release());
}

CParCurve* trim(CFace& face, Fenwo::NurbsSurf* uv)
{
    return new CParCurve(uv, face.surface, false);
}

// A square hole of straight (u, v) segments.
void addSquareHole(CFace& face, double u0, double v0, double size)
{
    auto* loop = new CLoop;
    const double corners[5][3] = {{u0, v0, 0},
                                  {u0 + size, v0, 0},
                                  {u0 + size, v0 + size, 0},
                                  {u0, v0 + size, 0},
                                  {u0, v0, 0}};
    for (int k = 0; k < 4; ++k)
        loop->curves.append(trim(face, makeCurve(corners[k], corners[k + 1])));
    ASSERT_TRUE(face.addTrimLoop(loop));
}

// A round hole as one curve: a rational circle on clamped knots, or a cubic
// on cyclic knots.
void addRoundHole(CFace& face, double u, double v, double r, bool cyclic)
{
    auto* loop = new CLoop;
    if (cyclic) {
        auto* c = new Fenwo::NurbsSurf(knots(10, 3, 0.0, 1.0, knots::CyclicEnd));
        for (int i = 0; i < c->getUCount(); ++i) {
            const double a = 2.0 * std::numbers::pi * i / c->getUCount();
            c->setControlPoint(i, 0, Vector(u + r * std::cos(a), v + r * std::sin(a), 0.0));
        }
        loop->curves.append(trim(face, c));
    } else {
        loop->curves.append(trim(
            face, rationalArc(Vector(u, v, 0.0), Vector(1.0, 0.0, 0.0), Vector(0.0, 1.0, 0.0), r, 4)
                      .release()));
    }
    ASSERT_TRUE(face.addTrimLoop(loop));
}

TEST(BrepConversion, FaceWithTwoHolesBecomesOneValidFaceIsLeftUnchangedAndComesBack)
{
    std::unique_ptr<CFace> face = wavyFace();
    addSquareHole(*face, 0.5, 0.5, 1.0);
    addRoundHole(*face, 2.8, 2.8, 0.6, false);
    ON_Brep brep;
    ASSERT_TRUE(faceToBrep(face.get(), brep, 0.01));
    EXPECT_TRUE(std::filesystem::exists(Platform::diagnosticsPath("c:/tmp/on_dump.txt")));

    ASSERT_EQ(brep.m_F.Count(), 1);
    ASSERT_EQ(brep.m_F[0].LoopCount(), 3);
    const ON_BrepLoop::TYPE types[3] = {ON_BrepLoop::outer, ON_BrepLoop::inner, ON_BrepLoop::inner};
    const int trims[3] = {4, 4, 1};
    for (int l = 0; l < 3; ++l) {
        EXPECT_EQ(brep.m_F[0].Loop(l)->m_type, types[l]);
        EXPECT_EQ(brep.m_F[0].Loop(l)->TrimCount(), trims[l]);
    }
    ASSERT_EQ(brep.m_T.Count(), 9);
    ASSERT_EQ(brep.m_E.Count(), 9);
    for (int t = 0; t < brep.m_T.Count(); ++t) {
        const ON_BrepTrim& trim = brep.m_T[t];
        EXPECT_EQ(trim.m_type, ON_BrepTrim::boundary);
        EXPECT_EQ(trim.m_tolerance[0], ON_UNSET_VALUE);
        EXPECT_EQ(trim.m_tolerance[1], ON_UNSET_VALUE);
        EXPECT_EQ(brep.m_E[t].m_tolerance, 0.01);
    }

    // The face is left as it came: converting it again gives the same loops.
    ON_Brep again;
    ASSERT_TRUE(faceToBrep(face.get(), again, 0.01));
    for (int t = 0; t < brep.m_T.Count(); ++t) {
        const ON_3dPoint a = brep.m_T[t].PointAtStart(), b = again.m_T[t].PointAtStart();
        const ON_3dPoint c = brep.m_T[t].PointAtEnd(), d = again.m_T[t].PointAtEnd();
        EXPECT_LT(a.DistanceTo(b) + c.DistanceTo(d), 1e-12) << t;
    }

    // Back: three loops; a trim whose curve does not convert is left out.
    auto* broken = ON_NurbsCurve::Cast(brep.m_C2[brep.m_F[0].Loop(1)->Trim(2)->m_c2i]);
    ASSERT_NE(broken, nullptr);
    std::unique_ptr<CFace> back(faceFromBrepFace(brep.m_F[0]));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->trimLoops.count, 3);
    for (int l = 0; l < 3; ++l)
        EXPECT_EQ(back->trimLoops[l]->getCard(), trims[l]);
    // The holes' curves lie on the surface too: the face's polygon leaves
    // its holes out as the face converted does.
    for (CLoop* loop : back->trimLoops)
        for (CParCurve* curve : loop->curves)
            EXPECT_TRUE(curve->surface == back->getNurbsSurf());
    EXPECT_EQ(back->uvPolygon.getCount(), face->uvPolygon.getCount());
    for (int k = 0; k < broken->KnotCount(); ++k)
        broken->SetKnot(k, 1.0);
    // Its hole is closed across the gap the trim left, as an outer loop is.
    std::unique_ptr<CFace> partial(faceFromBrepFace(brep.m_F[0]));
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(partial->trimLoops[1]->getCard(), 4);
    for (CParCurve* curve : partial->trimLoops[1]->curves)
        EXPECT_NE(curve->getUVCurve()->getDomain(0).getLength(), 0.0);
}

TEST(BrepConversion, ClosedTrimGivesAnEdgeStartingWhereTheTrimStarts)
{
    std::unique_ptr<CFace> face = wavyFace();
    addRoundHole(*face, 2.0, 2.0, 1.0, true);
    ON_Brep brep;
    bool valid = false;
    const std::string out =
        mwtest::capturedStdout([&] { valid = faceToBrep(face.get(), brep, 0.01); });
    EXPECT_TRUE(valid);
    EXPECT_NE(out.find("sp="), std::string::npos);
    const ON_BrepTrim& trim = *brep.m_F[0].Loop(1)->Trim(0);
    ON_3dPoint uv = trim.PointAtStart(), onSurface;
    ASSERT_TRUE(brep.m_S[0]->EvPoint(uv.x, uv.y, onSurface));
    const ON_3dPoint edgeStart =
        trim.m_bRev3d ? trim.Edge()->PointAtEnd() : trim.Edge()->PointAtStart();
    EXPECT_LT(edgeStart.DistanceTo(onSurface), 0.01);
}

TEST(BrepConversion, CurvesWithoutEdgeAndLoopsBeyond10000AreLeftOut)
{
    // A hole closed by a quadratic collapsed to its corner: no edge curve can
    // be made of it, so it gets no trim; its trim curve stays in the table.
    std::unique_ptr<CFace> face = wavyFace();
    addSquareHole(*face, 1.0, 1.0, 1.0);
    CLoop& hole = *face->trimLoops[1];
    const Vector corner = hole.getCurve(-1)->getEndUVPoint();
    hole.curves.append(trim(*face, clampedCurve(std::vector<Vector>(3, corner), 2).release()));
    ON_Brep brep;
    faceToBrep(face.get(), brep, 0.01);
    EXPECT_EQ(brep.m_C2.Count(), 9);
    ASSERT_EQ(brep.m_T.Count(), 8);
    for (int t = 0; t < brep.m_T.Count(); ++t)
        EXPECT_NE(brep.m_T[t].m_c2i, 8);

    // Empty loops make the Brep invalid, which is reported, with the
    // Brep's first fault.
    std::unique_ptr<CFace> many = wavyFace();
    for (int l = 0; l < 10000; ++l)
        many->trimLoops.append(new CLoop);
    ON_Brep big;
    bool valid = true;
    std::string why;
    const std::string out =
        mwtest::capturedStdout([&] { valid = faceToBrep(many.get(), big, 0.01, &why); });
    EXPECT_FALSE(valid);
    EXPECT_NE(out.find("bRepTrim failed!.\n"), std::string::npos);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(why.find('\n'), std::string::npos);
    EXPECT_EQ(big.m_L.Count(), 10000);
    EXPECT_EQ(big.m_T.Count(), 4);
    EXPECT_FALSE(faceToBrep(nullptr, big, 0.01));
}

} // namespace
