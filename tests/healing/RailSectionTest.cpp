#include "healing/RailSection.h"

#include "foundation/Logging.h"
#include "platform/Diagnostics.h"
#include "support/NurbsFixtures.h"
#include "support/ScratchDir.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <numbers>

namespace {

// A parabola in the plane y = const from (0, y, 0) to (width, y, 0) rising to
// height h / 2 (its middle control point at height h).
std::unique_ptr<Fenwo::NurbsSurf> arch(double y, double h, double width = 4.0)
{
    return clampedCurve({Vector(0, y, 0), Vector(width / 2, y, h), Vector(width, y, 0)}, 2);
}

struct Sweep {
    std::unique_ptr<Fenwo::NurbsSurf> rail0 = clampedCurve({Vector(0, 0, 0), Vector(0, 20, 0)}, 1);
    std::unique_ptr<Fenwo::NurbsSurf> rail1 = clampedCurve({Vector(4, 0, 0), Vector(4, 20, 0)}, 1);
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> owned;
    Kor::List<Fenwo::NurbsSurf*> profiles;

    void add(std::unique_ptr<Fenwo::NurbsSurf> c)
    {
        profiles.append(c.get());
        owned.push_back(std::move(c));
    }

    // Runs the sweep with the given uniform step count and returns its
    // sections as dumped (none when the run fails).
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> sections(int count)
    {
        std::remove(Platform::diagnosticsPath("c:/tmp/profiles.out").c_str());
        CRailSection rs(profiles);
        rs.rail0 = rail0.get();
        rs.rail1 = rail1.get();
        rs.sectionCount = count;
        if (!rs.Run())
            return {};
        delete rs.result;
        rs.patches.deleteAll();
        return readCurves(Platform::diagnosticsPath("c:/tmp/profiles.out"));
    }
};

double weightOfNext(double s)
{
    return 3 * s * s - 2 * s * s * s;
}

} // namespace

TEST(RailSection, ClusterFractionsOnTheGridOfTheStep)
{
    openGlobalLogs(mwtest::scratchPath("mw.txt").c_str(), nullptr);
    Kor::List<double> fractions, out;
    for (double f : {0.0021, 0.0049, 0.5})
        fractions.append(f);
    EXPECT_EQ(clusterFractions(fractions, 0.005, out), 3);
    ASSERT_EQ(out.count, 3);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1], 0.5);
    EXPECT_EQ(out[2], 1.0);

    closeGlobalLogs();
    std::ifstream log(mwtest::scratchPath("mw.txt"));
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("clustering =3 of 3\n"), std::string::npos) << text;
}

TEST(RailSection, ThreeProfilesGiveFortyThreeSectionsAndTwoPatches)
{
    Sweep sweep;
    sweep.add(arch(0, 1.0));
    sweep.add(arch(10, 3.0));
    sweep.add(arch(20, 1.0));
    CRailSection rs(sweep.profiles);
    rs.rail0 = sweep.rail0.get();
    rs.rail1 = sweep.rail1.get();
    ASSERT_TRUE(rs.Run());
    std::unique_ptr<Fenwo::NurbsSurf> result(rs.result);
    std::vector<std::unique_ptr<Fenwo::NurbsSurf>> patches(rs.patches.begin(), rs.patches.end());
    EXPECT_EQ(rs.rail0->getDomain(0).max, 1.0); // domains restored

    const auto sections = readCurves(Platform::diagnosticsPath("c:/tmp/profiles.out"));
    ASSERT_EQ(sections.size(), 43u);
    for (int k = 0; k < 43; ++k) {
        // Section k of pair 0 at s = k / 21, then pair 1 from its own s = 0.
        const int pair = k < 21 ? 0 : 1;
        const double s = (k - 21.0 * pair) / 21.0;
        const double h = pair == 0 ? 1.0 + 2.0 * weightOfNext(s) : 3.0 - 2.0 * weightOfNext(s);
        Fenwo::NurbsSurf& c = *sections[k];
        const double y = 10.0 * (pair + s);
        EXPECT_LT(norm(pointAt(c, 0.0) - Vector(0, y, 0)), 1e-9) << k;
        EXPECT_LT(norm(pointAt(c, 1.0) - Vector(4, y, 0)), 1e-9) << k;
        EXPECT_LT(norm(pointAt(c, 0.5) - Vector(2, y, h / 2)), 1e-9) << k;
        for (double t : {0.0, 0.3, 0.5, 0.8, 1.0})
            EXPECT_LT(distanceToSurface(*result, pointAt(c, t)), 1e-8) << k << " " << t;
    }

    // Two patches that meet at the middle profile.
    ASSERT_EQ(patches.size(), 2u);
    for (double t : {0.0, 0.5, 1.0}) {
        const Vector mid = pointAt(*sweep.owned[1], t);
        EXPECT_LT(norm(pointAt(*patches[0], t, patches[0]->getVMax()) - mid), 1e-8) << t;
        EXPECT_LT(norm(pointAt(*patches[1], t, patches[1]->getVMin()) - mid), 1e-8) << t;
    }
}

TEST(RailSection, EqualStraightProfilesGiveTranslatedSections)
{
    // Equal straight profiles between parallel rails at their own distance:
    // every section is the profile moved along the rails.
    Sweep sweep;
    const Vector offset(0.5, 0, 1.0); // the rails run beside a tilted chord
    sweep.rail1 = clampedCurve({Vector(4, 0, 0) + offset, Vector(4, 20, 0) + offset}, 1);
    for (double y : {0.0, 20.0})
        sweep.add(clampedCurve({Vector(0, y, 0), Vector(4, y, 0) + offset}, 1));
    const auto sections = sweep.sections(21);
    ASSERT_EQ(sections.size(), 22u);
    for (int k = 0; k < 22; ++k)
        for (double t : {0.0, 0.25, 1.0}) {
            const Vector expected = pointAt(*sweep.owned[0], t) + Vector(0, 20.0 * k / 21, 0);
            EXPECT_LT(norm(pointAt(*sections[k], t) - expected), 1e-9) << k << " " << t;
        }
}

TEST(RailSection, TwistOfOppositeNormalsTowardsAStraightProfile)
{
    const Vector nP(0, 1, 0), tangent(1, 0, 0), rail(0, 1, 0);
    Vector axis;
    EXPECT_DOUBLE_EQ(profilePairTwist(nP, Vector(0, -0.9, 0.1), true, tangent, rail, axis),
                     std::numbers::pi);
    EXPECT_LT(norm(axis - Vector(0, 0, 1)), 1e-15);
    EXPECT_EQ(profilePairTwist(nP, Vector(0, 0.2, 0.9), true, tangent, rail, axis), 0.0);
    // A curved next profile keeps the angle and turns about nP x nQ.
    EXPECT_NEAR(profilePairTwist(nP, Vector(1, 1, 0), false, tangent, rail, axis),
                std::numbers::pi / 4, 1e-15);
    EXPECT_LT(norm(axis - Vector(0, 0, -1)), 1e-15);
}

TEST(RailSection, WithoutSecondRailSectionsEndAtTheCommonEnd)
{
    Sweep sweep;
    sweep.rail0 = clampedCurve({Vector(0, 0, 0), Vector(0, 10, 0)}, 1);
    sweep.rail1.reset();
    sweep.add(clampedCurve({Vector(0, 0, 0), Vector(2, 0, 1), Vector(4, 5, 0)}, 2));
    sweep.add(clampedCurve({Vector(0, 10, 0), Vector(2, 10, 1), Vector(4, 5, 0)}, 2));
    const auto sections = sweep.sections(21);
    ASSERT_EQ(sections.size(), 22u);
    for (const auto& c : sections)
        EXPECT_LT(norm(pointAt(*c, 1.0) - Vector(4, 5, 0)), 1e-9);
}

TEST(RailSection, NullSecondRailWithProfilesApartGivesFalse)
{
    Sweep apart;
    apart.rail1.reset();
    apart.add(arch(0, 1.0));
    apart.add(arch(10, 1.0));
    CRailSection refused(apart.profiles);
    refused.rail0 = apart.rail0.get();
    EXPECT_FALSE(refused.Run());
    EXPECT_EQ(refused.result, nullptr);
    EXPECT_EQ(refused.patches.count, 0);
}

TEST(RailSection, SectionsTurnFromOneProfilePlaneToTheNext)
{
    // The next profile's plane is turned by 30 degrees about its chord: the
    // first and last sections reproduce the two profiles, the middle one is
    // turned halfway.
    const double a = std::numbers::pi / 6, h = 2.0;
    Sweep sweep;
    sweep.add(arch(0, h));
    sweep.add(clampedCurve(
        {Vector(0, 20, 0), Vector(2, 20 - h * std::sin(a), h * std::cos(a)), Vector(4, 20, 0)}, 2));
    const auto sections = sweep.sections(4);
    ASSERT_EQ(sections.size(), 5u);
    using mwtest::controlPoint;
    for (int i : {0, 1, 2}) {
        EXPECT_LT(norm(controlPoint(*sections[0], i) - controlPoint(*sweep.owned[0], i)), 1e-9);
        EXPECT_LT(norm(controlPoint(*sections[4], i) - controlPoint(*sweep.owned[1], i)), 1e-9);
    }
    const Vector middle = controlPoint(*sections[2], 1);
    EXPECT_LT(norm(middle - Vector(2, 10 - h * std::sin(a / 2), h * std::cos(a / 2))), 1e-9);
}

// The profile's normal turns with the profile when its chord is turned onto
// the frame's, before it is compared with the target normal. Compared as it
// came, the arch's normal (y) lies along the frame's chord (y) and vanishes
// across it: the copy was not turned to the target at all.
TEST(RailSection, PlacedProfileTakesTheTargetNormalWhenItsChordTurns)
{
    const auto profile = arch(0.0, 1.0, 1.0); // in the plane y = 0, chord along x
    for (const Vector& target : {Vector(0, 0, 1), Vector(0, 0, -1), Vector(1, 0, 1)}) {
        SCOPED_TRACE(testing::Message() << target);
        CSectionFrame frame{Vector(3, 3, 3), Vector(0, 2, 0), Vector(0, 1, 0), target};
        std::unique_ptr<Fenwo::NurbsSurf> placed(placeProfileInSection(profile.get(), frame));
        ASSERT_NE(placed, nullptr);
        const Vector a = placed->getStartPoint(), b = placed->getEndPoint();
        EXPECT_LT(norm(a - frame.origin), 1e-12);
        EXPECT_NEAR(cosineBetween(b - a, frame.chord), 1.0, 1e-12);
        // The plane of the placed arch is normal to the target (made
        // orthogonal to the chord).
        const Vector normal = crossProduct(b - a, placed->getPoint(0.5, 0.0) - a);
        Vector wanted = target;
        orthogonalize(wanted, normalized(frame.chord));
        EXPECT_NEAR(std::fabs(cosineBetween(normal, wanted)), 1.0, 1e-9);
    }
}
