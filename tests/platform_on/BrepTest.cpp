#include "platform/on/OpenNurbsSubset.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The saddle S(u, v) = (u, v, u·v) over [0, 1] x [0, 1] as a bilinear patch.
ON_NurbsSurface* saddle()
{
    auto* s = new ON_NurbsSurface(3, false, 2, 2, 2, 2);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            s->SetCV(i, j, ON_3dPoint(i, j, i * j));
    for (int dir = 0; dir < 2; ++dir) {
        s->SetKnot(dir, 0, 0.0);
        s->SetKnot(dir, 1, 1.0);
    }
    return s;
}

// The straight parameter-plane segment a-b as a 2-D trim curve.
ON_NurbsCurve* uvSegment(ON_3dPoint a, ON_3dPoint b)
{
    auto* c = new ON_NurbsCurve(2, false, 2, 2);
    c->SetCV(0, a);
    c->SetCV(1, b);
    c->SetKnot(0, 0.0);
    c->SetKnot(1, 1.0);
    return c;
}

// The image of the segment a-b on the saddle: a parabola, exact as a
// quadratic whose middle point is the blossom of u·v.
ON_NurbsCurve* saddleImage(ON_3dPoint a, ON_3dPoint b)
{
    auto* c = new ON_NurbsCurve(3, false, 3, 3);
    c->SetCV(0, ON_3dPoint(a.x, a.y, a.x * a.y));
    c->SetCV(1, ON_3dPoint(0.5 * (a.x + b.x), 0.5 * (a.y + b.y), 0.5 * (a.x * b.y + b.x * a.y)));
    c->SetCV(2, ON_3dPoint(b.x, b.y, b.x * b.y));
    for (int k = 0; k < 4; ++k)
        c->SetKnot(k, k < 2 ? 0.0 : 1.0);
    return c;
}

struct LoopSpec {
    ON_BrepLoop::TYPE type;
    std::vector<ON_3dPoint> corners; // in the parameter plane, in trim order
    int skip = -1;                   // a side left out
    int reversedEdge = -1;           // a side whose edge curve runs backwards
};

// Builds a one-face Brep on the saddle with the calls a face conversion
// makes: surface, face, per loop its trims with edge curves, then vertices,
// tolerances, boxes and flags.
void buildFace(ON_Brep& brep, const std::vector<LoopSpec>& loops, double tolerance = 1e-3)
{
    ON_BrepFace& face = brep.NewFace(brep.AddSurface(saddle()));
    for (const LoopSpec& spec : loops) {
        ON_BrepLoop& loop = brep.NewLoop(spec.type, face);
        const int n = static_cast<int>(spec.corners.size());
        for (int i = 0; i < n; ++i) {
            if (i == spec.skip)
                continue;
            ON_3dPoint a = spec.corners[i], b = spec.corners[(i + 1) % n];
            const bool reversed = i == spec.reversedEdge;
            int c2i = brep.AddTrimCurve(uvSegment(a, b));
            int c3i = brep.AddEdgeCurve(reversed ? saddleImage(b, a) : saddleImage(a, b));
            ON_BrepEdge& edge = brep.NewEdge(-1);
            edge.m_tolerance = tolerance;
            ASSERT_TRUE(brep.SetEdgeCurve(edge, c3i));
            ON_BrepTrim& trim = brep.NewTrim(edge, false, loop, c2i);
            trim.m_tolerance[0] = trim.m_tolerance[1] = ON_UNSET_VALUE;
            trim.m_type = ON_BrepTrim::boundary;
            trim.m_bRev3d = reversed;
        }
    }
    brep.SetVertices();
    brep.SetTolerancesBoxesAndFlags(true, true, true, true, true, true, true, true);
}

const std::vector<ON_3dPoint> unitSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

// A small clockwise square (a hole) with its lower left corner at (x, y).
std::vector<ON_3dPoint> hole(double x, double y)
{
    return {{x, y, 0}, {x, y + 0.2, 0}, {x + 0.2, y + 0.2, 0}, {x + 0.2, y, 0}};
}

std::string validityReport(const ON_Brep& brep, bool* valid)
{
    ON_wString text;
    ON_TextLog log(text);
    *valid = brep.IsValid(&log);
    return text.ToUtf8();
}

} // namespace

TEST(OnBrep, UnitSquareFaceIsValidWithSharedVertices)
{
    ON_Brep brep;
    buildFace(brep, {{ON_BrepLoop::outer, unitSquare}});
    bool valid = false;
    std::string why = validityReport(brep, &valid);
    EXPECT_TRUE(valid) << why;
    EXPECT_EQ(brep.m_V.Count(), 4);
    ASSERT_EQ(brep.m_E.Count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(brep.m_E[i].TrimCount(), 1);
        EXPECT_EQ(brep.m_E[i].Trim(0), &brep.m_T[i]);
        EXPECT_EQ(brep.m_V[i].EdgeCount(), 2) << "each corner joins two sides";
        EXPECT_NEAR(brep.m_V[i].m_tolerance, 0.0, 1e-15);
        // Consecutive trims share the vertex where they meet.
        EXPECT_EQ(brep.m_T[i].m_vi[1], brep.m_T[(i + 1) % 4].m_vi[0]);
    }
    EXPECT_EQ(brep.m_T[2].m_pbox.m_max, ON_3dPoint(1, 1, 0));
    EXPECT_EQ(brep.m_L[0].m_pbox.m_min, ON_3dPoint(0, 0, 0));

    // The casts tell the Brep's elements apart, and a trim evaluates its
    // face's surface.
    const ON_Curve* edge = &brep.m_E[0];
    const ON_Curve* trim = &brep.m_T[0];
    const ON_Curve* free = brep.m_C3[0];
    EXPECT_TRUE(ON_BrepEdge::Cast(edge) && !ON_BrepTrim::Cast(edge) && ON_CurveProxy::Cast(edge));
    EXPECT_TRUE(ON_BrepTrim::Cast(trim) && !ON_BrepEdge::Cast(trim) && ON_CurveProxy::Cast(trim));
    EXPECT_FALSE(ON_CurveProxy::Cast(free) || ON_BrepEdge::Cast(free) || ON_BrepTrim::Cast(free));
    const ON_Surface* faceSurface = &brep.m_F[0];
    EXPECT_TRUE(ON_SurfaceProxy::Cast(faceSurface) && ON_BrepFace::Cast(faceSurface));
    EXPECT_FALSE(ON_BrepFace::Cast(brep.m_S[0]));
    const ON_Surface* s = ON_BrepTrim::Cast(trim)->Face()->SurfaceOf();
    ASSERT_EQ(s, brep.m_S[0]);
    EXPECT_EQ(s->PointAt(0.5, 0.25), ON_3dPoint(0.5, 0.25, 0.125));
    EXPECT_EQ(brep.m_F[0].PointAt(0.5, 0.25), ON_3dPoint(0.5, 0.25, 0.125));
}

TEST(OnBrep, EdgeDirectionFollowsTheReversedFlag)
{
    ON_Brep reversed;
    buildFace(reversed, {{ON_BrepLoop::outer, unitSquare, -1, 1}});
    EXPECT_TRUE(reversed.IsValid());
    EXPECT_EQ(reversed.m_V.Count(), 4);
    // The same backwards edge curve without the flag lies off the surface at
    // both ends.
    reversed.m_T[1].m_bRev3d = false;
    bool valid = true;
    std::string why = validityReport(reversed, &valid);
    EXPECT_FALSE(valid);
    EXPECT_NE(why.find("m_E[1]"), std::string::npos) << why;
}

TEST(OnBrep, FaceWithTwoHolesIsValidAndTypesLoopsByTurning)
{
    ON_Brep brep;
    buildFace(brep, {{ON_BrepLoop::outer, unitSquare},
                     {ON_BrepLoop::inner, hole(0.1, 0.1)},
                     {ON_BrepLoop::inner, hole(0.6, 0.5)}});
    EXPECT_TRUE(brep.IsValid());
    ASSERT_EQ(brep.m_F[0].LoopCount(), 3);
    EXPECT_EQ(brep.m_F[0].Loop(0)->m_type, ON_BrepLoop::outer);
    EXPECT_EQ(brep.m_F[0].Loop(1)->m_type, ON_BrepLoop::inner);
    EXPECT_EQ(brep.m_F[0].Loop(2)->m_type, ON_BrepLoop::inner);
    EXPECT_EQ(brep.m_V.Count(), 12);

    // Loops built with unknown types get them from their turning direction.
    ON_Brep untyped;
    buildFace(untyped,
              {{ON_BrepLoop::unknown, unitSquare}, {ON_BrepLoop::unknown, hole(0.3, 0.3)}});
    EXPECT_EQ(untyped.m_L[0].m_type, ON_BrepLoop::outer);
    EXPECT_EQ(untyped.m_L[1].m_type, ON_BrepLoop::inner);
    EXPECT_TRUE(untyped.IsValid());

    // A copy is deep: it survives the original and evaluates its own surface.
    ON_Brep* original = new ON_Brep(brep);
    ON_Brep copy(*original);
    delete original;
    EXPECT_TRUE(copy.IsValid());
    EXPECT_EQ(copy.m_T[5].Face()->SurfaceOf(), copy.m_S[0]);
    EXPECT_NE(copy.m_S[0], brep.m_S[0]);
    EXPECT_EQ(copy.m_E[2].ProxyCurve(), copy.m_C3[2]);
}

TEST(OnBrep, BrokenBrepsReportTheFirstFailedRule)
{
    struct Case {
        const char* name;
        std::function<void(ON_Brep&)> breakIt;
        const char* expected;
    } cases[] = {
        {"a missing side",
         [](ON_Brep& b) {
             buildFace(b, {{ON_BrepLoop::outer, unitSquare, 3}});
         },
         "m_L[0] of m_F[0] is open"},
        {"a trim index out of range",
         [](ON_Brep& b) {
             buildFace(b, {{ON_BrepLoop::outer, unitSquare}});
             b.m_L[0].m_ti[2] = 40;
         },
         "m_L[0] names trim 40"},
        {"a surface index out of range",
         [](ON_Brep& b) {
             buildFace(b, {{ON_BrepLoop::outer, unitSquare}});
             b.m_F[0].m_si = 3;
         },
         "m_F[0] names surface 3"},
        {"a face without loops", [](ON_Brep& b) { b.NewFace(b.AddSurface(saddle())); },
         "m_F[0] has no loops"},
        {"a hole first",
         [](ON_Brep& b) {
             buildFace(b, {{ON_BrepLoop::inner, hole(0.1, 0.1)}, {ON_BrepLoop::outer, unitSquare}});
         },
         "loop 0 of m_F[0] (m_L[0]) is not outer"},
        {"an edge without a curve",
         [](ON_Brep& b) {
             ON_BrepFace& f = b.NewFace(b.AddSurface(saddle()));
             ON_BrepLoop& l = b.NewLoop(ON_BrepLoop::outer, f);
             for (int i = 0; i < 4; ++i) {
                 ON_BrepEdge& e = b.NewEdge(-1);
                 b.NewTrim(e, false, l,
                           b.AddTrimCurve(uvSegment(unitSquare[i], unitSquare[(i + 1) % 4])));
             }
             b.SetVertices();
         },
         "m_E[0] of m_T[0] has no 3-D curve"},
        {"an edge off the surface",
         [](ON_Brep& b) {
             buildFace(b, {{ON_BrepLoop::outer, unitSquare}}, 1e-3);
             ON_Xform lift;
             lift.m_xform[2][3] = 0.01;
             b.m_C3[1]->Transform(lift);
         },
         "the start of m_E[1] is 0.01 from the surface"},
        {"a trim without a curve",
         [](ON_Brep& b) {
             buildFace(b, {{ON_BrepLoop::outer, unitSquare}});
             b.m_T[0].m_c2i = -1;
         },
         "m_T[0] names trim curve -1"},
    };
    for (const Case& c : cases) {
        ON_Brep brep;
        c.breakIt(brep);
        bool valid = true;
        std::string why = validityReport(brep, &valid);
        EXPECT_FALSE(valid) << c.name;
        EXPECT_NE(why.find(c.expected), std::string::npos) << c.name << ": " << why;
        EXPECT_FALSE(brep.IsValid()) << c.name;
    }
}
