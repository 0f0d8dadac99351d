#include "curves/CompositeCurve.h"

#include "curves/CurveOnSurface.h"
#include "foundation/Rounding.h"
#include "geometry/GeoRef.h"
#include "geometry/NurbsSurf.h"
#include "support/AnalyticCurves.h"
#include "support/GLView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr double pi = std::numbers::pi;

void expectNear(const Vector& a, const Vector& b, double tol)
{
    ASSERT_EQ(a.n, b.n);
    for (int i = 0; i < a.n; ++i)
        EXPECT_NEAR(a[i], b[i], tol) << i;
}

// A polyline of three members on the domains [0, 1], [5, 7] and [0, 2]; the
// middle one is a degree-1 NURBS curve with a breakpoint at 6. With
// middleBackwards it runs from (1, 2, 0) down to (1, 0, 0).
struct ThreeMembers {
    AnalyticLine first{Vector(0, 0, 0), Vector(1, 0, 0), 0.0, 1.0};
    Fenwo::NurbsSurf middle{knots(2, 1, 5.0, 7.0)};
    AnalyticLine last{Vector(1, 2, 0), Vector(3, 2, 0), 0.0, 2.0};
    CCompositeCurve composite;

    explicit ThreeMembers(bool middleBackwards)
    {
        for (int i = 0; i < 3; ++i)
            middle.setControlPoint(i, 0, Vector(1, middleBackwards ? 2 - i : i, 0));
        for (CParametricGeometry* c : std::vector<CParametricGeometry*>{&last, &middle, &first})
            composite.curves.append(c);
        composite.orderCurves(2);
    }
};

// Four quarters of the circle of radius 2, each its own arc; arcs 1 and 3
// are reversed.
std::vector<std::unique_ptr<AnalyticCircle>> quarterArcs()
{
    std::vector<std::unique_ptr<AnalyticCircle>> arcs;
    for (int k = 0; k < 4; ++k) {
        arcs.push_back(
            std::make_unique<AnalyticCircle>(Vector(0, 0, 0), 2.0, k * pi / 2, (k + 1) * pi / 2));
        if (k % 2 == 1)
            arcs.back()->reverseU();
    }
    return arcs;
}

} // namespace

TEST(CompositeCurve, GlobalParameterFollowsTheMembers)
{
    for (bool backwards : {false, true}) {
        ThreeMembers m(backwards);
        CCompositeCurve& c = m.composite;
        ASSERT_EQ(c.getNumCurves(), 3);
        EXPECT_EQ(c.curves[1], &m.middle);
        EXPECT_EQ(c.isMemberReversed(1), backwards);
        Vector joints; // member intervals [0, 1], [1, 3], [3, 5]
        c.getNumCurves(&joints);
        expectNear(joints, Vector(std::vector<double>{0, 1, 3, 5}.data(), 4), 0.0);

        // t -> (member, local): the middle member is read backwards when reversed.
        const struct {
            double t;
            CParametricGeometry* member;
            double local;
        } cases[] = {{2.0, &m.middle, 6.0}, {1.0, &m.middle, 5.0}, {5.0, &m.last, 2.0}};
        for (const auto& k : cases) {
            double local = -1;
            CParametricGeometry* member = nullptr;
            EXPECT_EQ(c.getlocalParameter(k.t, local, member), backwards && k.member == &m.middle);
            EXPECT_EQ(member, k.member) << k.t;
            EXPECT_DOUBLE_EQ(local, k.local) << k.t;
        }

        // The composite evaluates like its members: the middle member's
        // point at the mirrored parameter, its derivative negated when read
        // backwards; continuous across every joint.
        Vector** D = c.evaluate(2, 1.5, 0.0);
        ASSERT_NE(D, nullptr);
        expectNear(D[0][0], Vector(1, 0.5, 0), 1e-14);
        expectNear(D[1][0], Vector(0, 1, 0), 1e-14);
        for (double joint : {1.0, 3.0})
            expectNear(c.getPoint(joint - 1e-9, 0.0), c.getPoint(joint + 1e-9, 0.0), 1e-8);

        // Breakpoints of each member in its own interval: the middle's 6 at 2.
        Kor::List<double> breaks;
        EXPECT_TRUE(c.getUBreakpoints(breaks, false));
        ASSERT_EQ(breaks.getCount(), 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_DOUBLE_EQ(breaks[i], i + 1.0);
        Vector kinks;
        EXPECT_TRUE(c.getUKinks(kinks));
        expectNear(kinks, joints, 0.0);
    }
}

TEST(CompositeCurve, ReversedCompositeMirrorsItsParameter)
{
    ThreeMembers m(true);
    CCompositeCurve& c = m.composite;
    const Vector start = c.getStartPoint();
    c.reverseU();
    expectNear(c.getEndPoint(), start, 1e-15);
    expectNear(c.getTangent(3.5), -1.0 * Vector(0, 1, 0), 1e-14); // the middle, backwards
    c.setDomain(0, Interval(0.5, 5.0));                           // stored mirrored: [0, 4.5]
    EXPECT_DOUBLE_EQ(c.domain.min, 0.0);
    EXPECT_DOUBLE_EQ(c.domain.max, 4.5);
    Vector kinks;
    c.getUKinks(kinks); // the chain's 0, 1, 3, 4.5 seen from the other end
    expectNear(kinks, Vector(std::vector<double>{0, 1.5, 3.5, 4.5}.data(), 4), 0.0);
}

TEST(CompositeCurve, CloneKeepsTheDirectionOfAMemberReadBackwards)
{
    // The middle member runs against the chain. A clone keeps the order and
    // the reversal flags of its original: chained afresh from its second
    // member, which keeps its own direction, it would run the other way.
    for (bool reversed : {false, true}) {
        ThreeMembers m(true);
        CCompositeCurve& c = m.composite;
        if (reversed)
            c.reverseU();
        std::unique_ptr<CParametricGeometry> copy(c.clone());
        ASSERT_NE(copy, nullptr);
        auto* composite = static_cast<CCompositeCurve*>(copy.get());
        EXPECT_TRUE(composite->isMemberReversed(1));
        for (double t : {0.0, 0.7, 2.2, 3.9, 5.0})
            expectNear(copy->getPoint(t, 0.0), c.getPoint(t, 0.0), 1e-15);
        EXPECT_NE(composite->curves[0], c.curves[0]);
    }
}

TEST(CompositeCurve, QuarterArcsCloseIntoTheCircle)
{
    auto arcs = quarterArcs();
    CCompositeCurve c;
    for (int k : {2, 0, 3, 1})
        c.curves.append(arcs[k].get());
    c.orderCurves(0);
    EXPECT_TRUE(c.chainClosed);
    const Interval d = c.getDomain(0);
    for (int s = 0; s <= 400; ++s) {
        const double t = d.min + d.getLength() * s / 400;
        EXPECT_NEAR(norm(c.getPoint(t, 0.0)), 2.0, 1e-12) << t;
    }
    for (int i = 0; i < 4; ++i) {
        Vector out, in;
        c.getJunctionTangents(i, out, in);
        expectNear(normalized(out), normalized(in), 1e-9);
    }
    Kor::Set<double> kinks;
    EXPECT_TRUE(c.getKinks(kinks, 1.0));
    EXPECT_EQ(kinks.getCount(), 0);
    // A closed chain is periodic.
    expectNear(c.getPoint(d.max + 1.0, 0.0), c.getPoint(d.min + 1.0, 0.0), 1e-12);

    // The member that enters nearest to (0, -2, 0) is the one of the fourth
    // quarter; it comes first, and a second call changes nothing.
    EXPECT_TRUE(c.findNearestEnd(CVertex<float, 3>(0.1f, -2.0f, 0.0f)));
    EXPECT_EQ(c.curves[0], arcs[3].get());
    expectNear(c.getPoint(c.globalInterval.min, 0.0), Vector(0, -2, 0), 1e-12);
    EXPECT_FALSE(c.findNearestEnd(CVertex<float, 3>(0.1f, -2.0f, 0.0f)));
}

TEST(CompositeCurve, SquareKinksAndJointStatistics)
{
    AnalyticLine s0(Vector(0, 0, 0), Vector(1, 0, 0)), s1(Vector(1, 0, 0), Vector(1, 1, 0));
    AnalyticLine s2(Vector(1, 1, 0), Vector(0, 1, 0)), s3(Vector(0, 1, 0), Vector(0, 0, 0));
    CCompositeCurve square;
    for (CParametricGeometry* g : std::vector<CParametricGeometry*>{&s2, &s0, &s3, &s1})
        square.curves.append(g);
    square.orderCurves(1);
    Kor::Set<double> kinks;
    square.getKinks(kinks, 45.0);
    ASSERT_EQ(kinks.getCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_DOUBLE_EQ(*kinks[i], i + 1.0);
    Kor::Set<double> joints;
    square.getJointParameters(joints);
    EXPECT_EQ(joints.getCount(), 3);

    CJointStatistics stats;
    EXPECT_TRUE(square.getJointStatistics(stats));
    EXPECT_DOUBLE_EQ(stats.angle.first, 90.0);
    EXPECT_DOUBLE_EQ(stats.angle.second, 4.0); // ties go to the later joint
    EXPECT_DOUBLE_EQ(stats.crossGap.first, 0.0);

    // A gap of 0.123456789 along the tangent is reported to five places.
    AnalyticLine a(Vector(0, 0, 0), Vector(1, 0, 0)), b(Vector(1.123456789, 0, 0), Vector(2, 0, 0));
    CCompositeCurve gapped;
    gapped.curves.append(&a);
    gapped.curves.append(&b);
    gapped.orderCurves(0);
    CJointStatistics g;
    gapped.getJointStatistics(g);
    EXPECT_DOUBLE_EQ(g.alongGap.first, 0.12346);
    EXPECT_DOUBLE_EQ(g.alongGap.second, 1.0);
    EXPECT_DOUBLE_EQ(g.crossGap.first, 0.0);
    EXPECT_DOUBLE_EQ(roundToDigits(1.23456, 1), 1.23);
    EXPECT_DOUBLE_EQ(roundToDigits(2.5, -1), 3.0);
    EXPECT_DOUBLE_EQ(roundToDigits(-2.7, -1), -3.0);
}

TEST(CompositeCurve, ClosednessAndGapFilling)
{
    // Ends 0.05 apart: closed for 0.1, open for 0.01 and for exactly 0.05.
    AnalyticLine out(Vector(0, 0, 0), Vector(1, 0, 0)), back(Vector(1, 0, 0), Vector(0.05, 0, 0));
    CCompositeCurve v;
    v.curves.append(&out);
    v.curves.append(&back);
    v.orderCurves(0);
    EXPECT_TRUE(v.isClosed(0.1));
    EXPECT_FALSE(v.isClosed(0.01));
    EXPECT_FALSE(v.isClosed(0.05));

    for (double gap : {0.5, 0.005}) {
        AnalyticLine a(Vector(0, 0, 0), Vector(1, 0, 0)), b(Vector(1 + gap, 0, 0), Vector(3, 0, 0));
        CChainedCurves chain;
        chain.curves.append(&b);
        chain.curves.append(&a);
        chain.sortCurves(1, true);
        ASSERT_EQ(chain.memberCount(), gap > 0.01 ? 3 : 2) << gap;
        EXPECT_EQ(chain.curves[0], &a);
        EXPECT_EQ(chain.curves[chain.memberCount() - 1], &b);
        for (int i = 0; i + 1 < chain.memberCount(); ++i) {
            Vector end, start;
            chain.getJunctionPoints(i, end, start);
            EXPECT_LT(std::sqrt(squaredDistance(end, start)), gap > 0.01 ? 1e-12 : 0.01);
        }
    }

    // A null member is reported and leaves the chain.
    AnalyticLine a(Vector(0, 0, 0), Vector(1, 0, 0));
    CChainedCurves withNull;
    withNull.curves.append(nullptr);
    withNull.curves.append(&a);
    testing::internal::CaptureStdout();
    withNull.sortCurves(0, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "oops, missed 1 curves in sorting.\n");
    ASSERT_EQ(withNull.memberCount(), 1);
    EXPECT_EQ(withNull.curves[0], &a);
}

TEST(CompositeCurve, EmptyAndDegenerateChainsGiveNoMember)
{
    CCompositeCurve empty;
    testing::internal::CaptureStdout();
    EXPECT_EQ(empty.evaluate(1, 0.0, 0.0), nullptr);
    Vector kinks;
    EXPECT_FALSE(empty.getUKinks(kinks));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "getlocalParameter returned nothing. \nnCurves=0 ranges=\nusing first curve, expect "
              "problems.\noops, unexpected getNumCurves=0\n");
    EXPECT_FALSE(empty.isClosed(1.0) || empty.findNearestEnd(CVertex<float, 3>(0, 0, 0)));

    // A closed chain of zero length is not wrapped.
    AnalyticLine dot(Vector(1, 2, 3), Vector(1, 2, 3), 0.0, 0.0);
    CCompositeCurve point;
    point.curves.append(&dot);
    point.orderCurves(0);
    EXPECT_TRUE(point.chainClosed);
    expectNear(point.getPoint(7.0, 0.0), Vector(1, 2, 3), 0.0);
}

TEST(CompositeCurve, SurfaceNormalsOfCurvesOnASurface)
{
    AnalyticPlane plane(Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Interval(0, 1),
                        Interval(0, 1));
    AnalyticLine uv0(Vector(0.1, 0.1, 0), Vector(0.9, 0.1, 0));
    AnalyticLine uv1(Vector(0.9, 0.9, 0), Vector(0.9, 0.1, 0)); // runs against the chain
    CCONS c0(&uv0, &plane), c1(&uv1, &plane);
    CCompositeCurve onPlane;
    onPlane.curves.append(&c0);
    onPlane.curves.append(&c1);
    onPlane.orderCurves(0);
    ASSERT_TRUE(onPlane.isMemberReversed(1));
    EXPECT_TRUE(onPlane.hasNormal());
    for (double t : {0.5, 1.5}) {
        Vector n;
        EXPECT_TRUE(onPlane.getSurfaceNormal(t, n));
        EXPECT_NEAR(std::fabs(n[2]), 1.0, 1e-15);
        expectNear(onPlane.getNormal(t, 0.0), n, 0.0);
    }
    // The side vector turns with the chain: both members see the same side.
    expectNear(onPlane.getSideVector(0.5), Vector(0, -1, 0), 1e-15);
    expectNear(onPlane.getSideVector(1.5), Vector(1, 0, 0), 1e-15);

    AnalyticLine line(Vector(0, 0, 0), Vector(1, 0, 0));
    CCompositeCurve plain;
    plain.curves.append(&line);
    plain.orderCurves(0);
    Vector n(Vector(5, 5, 5));
    EXPECT_FALSE(plain.getSurfaceNormal(0.5, n));
    expectNear(n, Vector(0, 0, 0), 0.0);
    expectNear(plain.getNormal(0.5, 0.0), Vector(0, 0, 0), 0.0);

    // Colours go to the members.
    onPlane.setColour(0.1, 0.2, 0.3);
    expectNear(c1.colour, Vector(0.1, 0.2, 0.3), 0.0);
    expectNear(onPlane.colour, Vector(0.1, 0.2, 0.3), 0.0);
}

TEST(CompositeCurve, BlockRoundTripsThroughTheRegistry)
{
    auto arcs = quarterArcs();
    CCompositeCurve c;
    for (int k : {1, 3, 0, 2})
        c.curves.append(arcs[k].get());
    c.orderCurves(0);
    c.setDomain(0, Interval(0.5, 5.0));
    c.name.set("rim");
    EXPECT_EQ(c.memorySize(), 720);
    std::ostringstream os;
    ASSERT_TRUE(c.writeGeometry(os));
    std::string text = os.str();

    CGeoRef registry;
    for (auto& a : arcs)
        registry.addUnique(a.get());
    for (bool crlf : {false, true}) {
        std::string block;
        for (char ch : text)
            block += crlf && ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        std::istringstream is(block);
        std::string word;
        is >> word;
        ASSERT_EQ(word, "CompositeCurve");
        CCompositeCurve back;
        ASSERT_TRUE(back.read(is, registry)) << crlf;
        EXPECT_STREQ(back.name.text, "rim");
        ASSERT_EQ(back.getNumCurves(), 4);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(back.curves[i], c.curves[i]);
            EXPECT_EQ(back.isMemberReversed(i), c.isMemberReversed(i));
            EXPECT_NEAR(back.intervals[i].max, c.intervals[i].max, 1e-14);
        }
        EXPECT_NEAR(back.globalInterval.max, c.globalInterval.max, 1e-14);
        EXPECT_NEAR(back.domain.min, 0.5, 1e-15);
        EXPECT_NEAR(back.domain.max, 5.0, 1e-15);
        for (double t : {0.5, 2.0, 4.9})
            expectNear(back.getPoint(t, 0.0), c.getPoint(t, 0.0), 1e-13);
    }

    // A member missing from the registry is reported and skipped.
    registry.remove(c.curves[1]);
    std::istringstream is(text.substr(text.find(' ')));
    CCompositeCurve partial;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(partial.read(is, registry));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "reference relocation failed. \n");
    ASSERT_EQ(partial.getNumCurves(), 3);
    EXPECT_EQ(partial.curves[1], c.curves[2]);

    // A malformed block changes nothing.
    for (const char* bad : {" Start", " Begin GeoObject Begin 0H 0H GeoObject End 1 [0,1] [0,1]",
                            " Begin GeoObject Begin 0H 0H GeoObject End 0 [0,1 [0,1] "
                            "CompositeCurve End",
                            " Begin GeoObject Begin 0H 0H GeoObject End 0 [0,1] [0,1] Composite"}) {
        std::istringstream in(bad);
        EXPECT_FALSE(partial.read(in, registry)) << bad;
        EXPECT_EQ(partial.getNumCurves(), 3);
    }
}

namespace {
using CompositeCurveDraw = mwtest::GLView;
}

TEST_F(CompositeCurveDraw, EveryMemberDrawsInTheCompositeColour)
{
    // Two half circles of radius 0.4 (13 pixels) meeting at the view's
    // centre: the left one above the axis, the right one below it.
    AnalyticCircle left(Vector(-0.4, 0, 0), 0.4, 0.0, pi);
    AnalyticCircle right(Vector(0.4, 0, 0), 0.4, pi, 2.0 * pi);
    CCompositeCurve composite;
    composite.curves.append(&left);
    composite.curves.append(&right);
    composite.orderCurves(0);
    composite.setColour(1.0, 0.5, 0.0);
    composite.draw(0.001, true, 0);
    const unsigned orange = mwtest::rgb(1.0, 0.5, 0.0);
    EXPECT_EQ(litPixels(), countPixels(orange));
    EXPECT_GT(countPixels(orange, 3, {0, 36, 32, 64}), 20); // the left arc's top
    EXPECT_GT(countPixels(orange, 3, {32, 0, 64, 28}), 20); // the right arc's bottom
    EXPECT_EQ(countPixels(orange, 3, {32, 40, 64, 64}), 0);
}
