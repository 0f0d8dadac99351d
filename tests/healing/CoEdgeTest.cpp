#include "healing/CoEdge.h"

#include "SeamTestSupport.h"
#include "net/PointList.h"
#include "support/NurbsFixtures.h"

#include <gtest/gtest.h>

#include <string>

using namespace seamtest;

namespace {

Vector flatBelow(int i, int j)
{
    return Vector(i / 3.0, (j - 3) / 3.0, 0.0);
}

// A face below y = 0 whose north side lies on a poly-line carrying a
// straight cubic from shift to (1, 0, 0) + shift; the coedge runs between
// the poly-line's two points, which sit at curve parameters 0 and 1.
struct BorderSeam {
    std::unique_ptr<GB::Face> left = face(patch(flatBelow));
    COffset_PointList polyLine{nullptr};
    CVertex<float, 3> a, b, elsewhere;
    CCoEdge seam{0, 1, &polyLine};

    explicit BorderSeam(const Vector& shift)
    {
        std::vector<Vector> points;
        for (int i = 0; i <= 3; ++i)
            points.push_back(Vector(i / 3.0, 0.0, 0.0) + shift);
        polyLine.curve = clampedCurve(points, 3).release();
        polyLine.curveLocked = true;
        polyLine.vertices.append(&a);
        polyLine.vertices.append(&b);
        polyLine.parameters.append(0.0);
        polyLine.parameters.append(1.0);
        seam.setLeftLoop(left->firstLoop);
        seam.leftPosition = uvNorth;
        seam.leftInterval = Interval(0.0, 1.0);
        seam.startGridPoint = &a;
        seam.endGridPoint = &b;
    }
    ~BorderSeam() { polyLine.vertices.removeAll(); }
};

int sampleCapturing(CCoEdge& seam, std::string& out)
{
    testing::internal::CaptureStdout();
    const int n = seam.sampleSeams(nullptr);
    out = testing::internal::GetCapturedStdout();
    return n;
}

} // namespace

TEST(CoEdge, BlendBoundaryFollowsTheFacesBeside)
{
    // Left face (state, with surface), right face (state, with surface; no
    // loop when Naked), a fixed left curve, and the answer.
    const struct {
        FaceState left;
        bool leftSurface;
        FaceState right;
        bool rightSurface, fixed, blendBoundary;
    } cases[] = {
        {Blending, false, Blending, false, true, true},
        {Blending, false, Blending, false, false, false},
        {Blending, false, ComplexApprox, true, false, true},
        {ComplexApprox, true, ComplexApprox, true, false, false},
        {ComplexApprox, true, Naked, false, false, true},
    };
    auto fixedCurve = clampedCurve({Vector(0, 0, 0), Vector(1, 0, 0)}, 1);
    for (const auto& c : cases) {
        auto left = face(c.leftSurface ? patch(flatBelow) : nullptr, c.left);
        auto right = face(c.rightSurface ? patch(flatBelow) : nullptr, c.right);
        CCoEdge seam(0, 1, nullptr);
        seam.setLeftLoop(left->firstLoop);
        seam.setRightLoop(c.right == Naked ? nullptr : right->firstLoop);
        if (c.fixed)
            seam.setLeftSurface(fixedCurve.get());
        EXPECT_EQ(seam.isBlendBoundary(), c.blendBoundary) << &c - cases;
        EXPECT_EQ(seam.rightSurface() != nullptr, c.rightSurface);
    }
}

TEST(CoEdge, BorderSeamSamplesThePolyLineCurve)
{
    // A foot 0.0005 away is close enough whatever the angle; one 0.01 away
    // counts only where it meets the other curve at a right angle, which the
    // end samples of curves shifted along their length do not.
    const struct {
        Vector shift;
        int samples;
    } cases[] = {{Vector(0, 0, 0.01), 12}, {Vector(0.0005, 0, 0), 12}, {Vector(0.01, 0, 0), 10}};
    for (const auto& c : cases) {
        BorderSeam border(c.shift);
        CCoEdge& seam = border.seam;
        EXPECT_EQ(seam.leftSurface(), border.left->surface);
        EXPECT_EQ(seam.rightSurface(), border.polyLine.curve);
        EXPECT_EQ(seam.rightPosition, uvSouth);
        EXPECT_EQ(seam.blendBoundaryCurve(), nullptr);
        std::string printed;
        EXPECT_EQ(sampleCapturing(seam, printed), c.samples) << c.shift[0];
        EXPECT_NE(printed.find("fixed r-range=[0,1]"), std::string::npos) << printed;
        EXPECT_FALSE(seam.reversed);
    }

    BorderSeam border(Vector(0, 0, 0));
    border.seam.endGridPoint = &border.elsewhere;
    std::string printed;
    EXPECT_EQ(sampleCapturing(border.seam, printed), 0);
    EXPECT_NE(printed.find("bad right index from getIndex"), std::string::npos);
    EXPECT_EQ(border.seam.samples.count, 0);
}

TEST(CoEdge, SamplesPairSeamPointsInBothDirections)
{
    for (const bool opposite : {false, true}) {
        TwoPatchSeam two(0.0, 0.0, opposite);
        CCoEdge& seam = two.seam;
        // Six parameters a side: one cubic span refined by four.
        ASSERT_EQ(seam.sampleSeams(nullptr), 12);
        CSeamSide l0, r0, l1, r1;
        for (int k = 0; k < seam.samples.count; ++k) {
            ASSERT_TRUE(seam.evaluateSample(k, l0, r0, 1));
            EXPECT_LT(norm(l0.d[0][0] - r0.d[0][0]), 1e-6) << k;
        }
        // The right-driven samples follow the right list, reversed when the
        // sides run against each other.
        EXPECT_FLOAT_EQ(seam.samples[6].second, opposite ? 1.0f : 0.0f);
        EXPECT_FALSE(seam.evaluateSample(seam.samples.count, l0, r0, 1));

        // The reversed flag turns the right S_u alone, and so the right normal.
        ASSERT_TRUE(seam.evaluateSample(3, l0, r0, 1));
        seam.reversed = true;
        ASSERT_TRUE(seam.evaluateSample(3, l1, r1, 1));
        EXPECT_EQ(norm(l1.d[0][0] - l0.d[0][0]) + norm(l1.d[1][0] - l0.d[1][0]) +
                      norm(r1.d[0][0] - r0.d[0][0]) + norm(r1.d[0][1] - r0.d[0][1]) +
                      norm(r1.d[1][0] + r0.d[1][0]),
                  0.0);
        EXPECT_GT(norm(r1.d[1][0]), 0.1);
    }
}

TEST(CoEdge, FixedSideThatIsNoCurveOnSurfaceIsNotEvaluated)
{
    TwoPatchSeam two(0.0, 0.0, false);
    ASSERT_GT(two.seam.sampleSeams(nullptr), 0);
    auto notOnSurface = clampedCurve({Vector(0, 0, 0), Vector(1, 0, 0)}, 1);
    two.seam.setLeftSurface(notOnSurface.get());
    CSeamSide left, right;
    EXPECT_FALSE(two.seam.evaluateSample(0, left, right, 1));
}

TEST(CoEdge, BlendFaceSpansTheNeighboursSides)
{
    // Fitted faces below y = 0 and above y = 1, bent away from the straight
    // sides that face the Blending face between them.
    auto below = face(patch(
        [](int i, int j) { return Vector(i / 3.0, (j - 3) / 3.0, 0.1 * (3 - j) * (i % 2)); }));
    auto above = face(patch(
        [](int i, int j) { return Vector(i / 3.0, 1.0 + j / 3.0, -0.1 * j * ((i + 1) % 2)); }));
    auto blend = face(nullptr, Blending);
    CCoEdge toBelow(0, 1, nullptr), toAbove(2, 3, nullptr);
    toBelow.setRightLoop(below->firstLoop);
    toBelow.rightPosition = uvNorth;
    toAbove.setRightLoop(above->firstLoop);
    toAbove.rightPosition = uvSouth;
    Kor::List<CCoEdge*> coedges;
    for (CCoEdge* c : {&toBelow, &toAbove}) {
        c->setLeftLoop(blend->firstLoop);
        c->rightInterval = Interval(0.0, 1.0);
        ASSERT_TRUE(c->isBlendBoundary());
        coedges.append(c);
    }
    testing::internal::CaptureStdout();
    std::unique_ptr<Fenwo::NurbsSurf> s(blendFaceFromBoundary(coedges));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("R coedge range=[0,1]"),
              std::string::npos);
    ASSERT_NE(s, nullptr);

    // Two opposite sides of the blend lie on the rails y = 0 and y = 1 (z = 0).
    bool onRail[2] = {false, false};
    for (int side = uvSouth; side <= uvEast; ++side) {
        double off[2] = {0.0, 0.0};
        for (int k = 0; k <= 20; ++k) {
            const float t =
                (side <= uvNorth ? s->getUMin() + (s->getUMax() - s->getUMin()) * k / 20
                                 : s->getVMin() + (s->getVMax() - s->getVMin()) * k / 20);
            const Vector p = evaluateOnBoundary(&t, s.get(), side, 0)[0][0];
            for (int r = 0; r < 2; ++r)
                off[r] = std::max(off[r], std::hypot(p[1] - r, p[2]));
        }
        for (int r = 0; r < 2; ++r)
            onRail[r] = onRail[r] || off[r] < 1e-6;
    }
    EXPECT_TRUE(onRail[0]);
    EXPECT_TRUE(onRail[1]);
}
