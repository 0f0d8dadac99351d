#include "geometry/BoundaryConstraint.h"
#include "geometry/IJConstraints.h"
#include "geometry/KnotAndNormalConstraints.h"
#include "geometry/NurbsSurf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

using Fenwo::NurbsSurf;

namespace {

// 5 x 4 surface: u cubic with non-uniform knots, v quadratic with uniform
// knots on [0, 2]; a curved, rational net. (A Uniform vector on [0, 1] with
// more than one span is written without its range and reads back on
// integer knots: same shape, other parameters.)
std::unique_ptr<NurbsSurf> sampleSurface()
{
    Vector values(9);
    const double kv[9] = {0, 0, 0, 0, 0.3, 1, 1, 1, 1};
    for (int k = 0; k < 9; ++k)
        values[k] = kv[k];
    const knots u(values, 4, 3);
    const knots v(3, 2, 0.0, 2.0);
    auto s = std::make_unique<NurbsSurf>(u, &v);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 5; ++i)
            s->setControlPoint(i, j, Vector(i * 0.7, j - 0.25 * i, std::cos(i + j) / 3.0),
                               1.0 + 0.25 * ((i * j) % 3));
    return s;
}

std::string body(const NurbsSurf& s)
{
    std::ostringstream os;
    EXPECT_TRUE(s.writeGeometry(os));
    return os.str();
}

std::unique_ptr<NurbsSurf> readBody(const std::string& text, std::string* output = nullptr)
{
    std::istringstream is(text);
    if (output != nullptr)
        testing::internal::CaptureStdout();
    auto s = std::make_unique<NurbsSurf>(is, false);
    if (output != nullptr)
        *output = testing::internal::GetCapturedStdout();
    return s;
}

// Largest distance between a and b over 50 x 50 samples of their common domain.
double shapeDistance(NurbsSurf& a, NurbsSurf& b)
{
    const Interval du = a.getDomain(0), dv = a.getDomain(1);
    double worst = 0.0;
    for (int j = 0; j < 50; ++j)
        for (int i = 0; i < 50; ++i) {
            const double u = du.min + (du.max - du.min) * i / 49.0;
            const double v = dv.min + (dv.max - dv.min) * j / 49.0;
            worst = std::max(worst, std::sqrt(squaredDistance(a.getPoint(u, v), b.getPoint(u, v))));
        }
    return worst;
}

// Every stored point has the homogeneous size: the net is safe to evaluate.
bool netIsConsistent(const NurbsSurf& s)
{
    if (s.controlNetSize < s.getUCount() * s.getVCount())
        return false;
    for (int k = 0; k < s.controlNetSize; ++k)
        if (s.controlNet[k].n != 4)
            return false;
    return true;
}

int countLines(const std::string& text, const std::string& prefix)
{
    int n = 0;
    std::istringstream is(text);
    std::string line;
    while (std::getline(is, line))
        n += line.rfind(prefix, 0) == 0;
    return n;
}

} // namespace

TEST(NurbsSurfText, WriteReadWriteIsIdenticalAndKeepsShape)
{
    auto s = sampleSurface();
    s->addConstraint(new Fenwo::CIJRegionConstraint(1, 3, 0, 2));
    s->addConstraint(new Fenwo::CBoundaryConstraint(uvSouth, Fenwo::BoundaryConstraintKind::C0Fix));
    s->addConstraint(new Fenwo::CIJRelationConstraint(0, 0, 1, 0, 2, 0, 0.5));
    s->setColour(0.25, 0.5, 1.0);
    s->setBkColour(1.0, 0.0, 0.125);
    s->reverseU();
    const std::string first = body(*s);
    EXPECT_EQ(countLines(first, "Begin(Constraints)"), 1);
    EXPECT_EQ(countLines(first, "#Colour "), 1);
    EXPECT_EQ(countLines(first, "reverse"), 1);
    EXPECT_NE(first.find("P 4,3 = [ "), std::string::npos);

    auto r = readBody(first);
    ASSERT_TRUE(r->valid);
    EXPECT_EQ(body(*r), first);
    EXPECT_TRUE(r->isUReversed());
    EXPECT_FALSE(r->isVReversed());
    EXPECT_TRUE(r->rational);
    ASSERT_EQ(r->constraints.count, 4);
    // The records themselves are compared through the text above; a relation
    // read back is a new relation, equal only to itself.
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(r->constraints[k]->m_type, s->constraints[k]->m_type);
    ASSERT_EQ(r->colour.n, 3);
    EXPECT_EQ(r->colour[1], 0.5);
    EXPECT_EQ(r->bkColour[2], 0.125);
    EXPECT_LT(shapeDistance(*s, *r), 1e-12);

    // The colour lines kept as comments are not written a second time.
    auto again = readBody(body(*r));
    EXPECT_EQ(body(*again), first);
}

TEST(NurbsSurfText, ConstraintBlockOnlyForConstraints)
{
    auto s = sampleSurface();
    s->constraints.deleteAll();
    const std::string none = body(*s);
    EXPECT_EQ(none.find("Begin(Constraints)"), std::string::npos);
    EXPECT_EQ(none.rfind("p=3 n=4 ClampedEnd NonUniform", 0), 0u);
    auto r = readBody(none);
    ASSERT_TRUE(r->valid);
    EXPECT_EQ(r->constraints.count, 1); // the weights constraint every surface carries

    s->addConstraint(new Fenwo::CFixWeightsConstraint(Fenwo::fixCornerWeights));
    s->addConstraint(new Fenwo::CRemoveKnotsConstraint(4, 4, 1, 3, true));
    s->addConstraint(new Fenwo::CAllNormalsConstraint());
    const std::string three = body(*s);
    EXPECT_EQ(three.rfind("Begin(Constraints)\n3\nweights fixCornerWeights", 0), 0u);
    r = readBody(three);
    ASSERT_TRUE(r->valid);
    ASSERT_EQ(r->constraints.count, 3);
    EXPECT_EQ(static_cast<Fenwo::CFixWeightsConstraint*>(r->constraints[0])->m_mode,
              Fenwo::fixCornerWeights);
    EXPECT_EQ(body(*r), three);
}

TEST(NurbsSurfText, ReverseWordsToggleOnceAndCurveWritesNoVReverse)
{
    // A uniform u vector is written without a range line; "reverse" for v
    // must still be seen after it.
    const knots u(3, 3, 0.0, 1.0);
    const knots v(1, 1, 0.0, 1.0);
    NurbsSurf s(u, &v);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 4; ++i)
            s.setControlPoint(i, j, Vector(i, j, i * j));
    s.reverseV();
    const std::string text = body(s);
    EXPECT_NE(text.find("Uniform\nreverse\np="), std::string::npos);
    auto r = readBody(text);
    ASSERT_TRUE(r->valid);
    EXPECT_FALSE(r->isUReversed());
    EXPECT_TRUE(r->isVReversed());
    EXPECT_LT(shapeDistance(s, *r), 1e-12);

    // Reading into a surface that was reversed: the record alone decides.
    std::istringstream is(text);
    r->reverseU();
    EXPECT_TRUE(r->readGeometry(is, false));
    EXPECT_FALSE(r->isUReversed());
    EXPECT_TRUE(r->isVReversed());

    s.vReversed = false;
    const std::string plain = body(s);
    r = readBody(plain);
    EXPECT_FALSE(r->isUReversed());
    EXPECT_FALSE(r->isVReversed());

    const double a[3] = {0, 0, 0}, b[3] = {1, 2, 3};
    std::unique_ptr<NurbsSurf> c(makeCurve(a, b));
    c->vReversed = true;
    const std::string curveText = body(*c);
    EXPECT_EQ(countLines(curveText, "reverse"), 0);
    r = readBody(curveText);
    ASSERT_TRUE(r->valid);
    EXPECT_TRUE(r->isCurve());
    EXPECT_EQ(r->getUCount(), 2);
}

TEST(NurbsSurfText, ReverseBeforeKnotsKeepsShapeOfReversedSurface)
{
    auto s = sampleSurface();
    s->constraints.deleteAll(); // the body then begins with "reverse"
    s->reverseU();
    s->reverseV();
    const std::string text = body(*s);
    EXPECT_EQ(text.rfind("reverse\np=3", 0), 0u);
    auto r = readBody(text);
    ASSERT_TRUE(r->valid);
    EXPECT_TRUE(r->isUReversed());
    EXPECT_TRUE(r->isVReversed());
    EXPECT_LT(shapeDistance(*s, *r), 1e-12);
    s->reverseU();
    s->reverseV();
    EXPECT_GT(shapeDistance(*s, *r), 1e-3);
}

TEST(NurbsSurfText, CommentsColourLinesAndOutOfOrderPoints)
{
    const std::string text = "# written by hand\n"
                             "#Colour [1,0,0]\n"
                             "#other line\n"
                             "p=1 n=1 ClampedEnd Uniform\n"
                             "p=0 n=0 ClampedEnd Uniform\n"
                             "P 1,0 = [ 1.0, 2.0, 3.0 ] 1.0\n"
                             "P 0,0 = [ -1.0, 0.5, 0.0 ] 2.0\n";
    auto r = readBody(text);
    ASSERT_TRUE(r->valid);
    ASSERT_EQ(r->commentLines.count, 1);
    EXPECT_STREQ(r->commentLines[0].text, "#Colour [1,0,0]");
    ASSERT_EQ(r->colour.n, 3);
    EXPECT_EQ(r->colour[0], 1.0);
    Vector p;
    double w = 0.0;
    r->getControlPointAndWeight(p, 1, 0, w);
    EXPECT_EQ(p[2], 3.0);
    r->getControlPointAndWeight(p, 0, 0, w);
    EXPECT_EQ(p[0], -1.0);
    EXPECT_EQ(w, 2.0);
    EXPECT_TRUE(r->rational);
    EXPECT_EQ(r->dampSteps, 0);
    EXPECT_EQ(r->stepLimit, DBL_MAX);
}

TEST(NurbsSurfText, WindowsLineEndsReadAsWhiteSpace)
{
    auto s = sampleSurface();
    s->setColour(0.5, 0.5, 0.5);
    std::ostringstream os;
    ASSERT_TRUE(s->write(os));
    std::string crlf;
    for (char ch : os.str()) {
        if (ch == '\n')
            crlf += '\r';
        crlf += ch;
    }
    std::istringstream is(crlf);
    auto r = std::make_unique<NurbsSurf>(is, false); // "GeoObject" found by look-ahead
    ASSERT_TRUE(r->valid);
    EXPECT_STREQ(r->id.text, s->id.text);
    EXPECT_EQ(body(*r), body(*s));
    EXPECT_STREQ(r->commentLines[0].text, body(*s).substr(0, body(*s).find('\n')).c_str());
}

TEST(NurbsSurfText, TooFewPointLinesFailAndLeaveSafeNet)
{
    auto s = sampleSurface();
    std::string text = body(*s);
    text.erase(text.rfind("P 4,3"));
    std::string out;
    auto r = readBody(text, &out);
    EXPECT_FALSE(r->valid);
    EXPECT_EQ(out.rfind("c!= 'P' '=' id=", 0), 0u);
    EXPECT_EQ(countLines(out, "c="), 10);
    // The net the knots sized is never built: the small placeholder stays.
    EXPECT_TRUE(netIsConsistent(*r));
    EXPECT_EQ(r->getUCount(), 2);
    EXPECT_EQ(r->getVCount(), 2);
    const Vector point = r->getPoint(0.5, 0.5);
    EXPECT_TRUE(std::isfinite(point[0]));
}

TEST(NurbsSurfText, PointIndexOutsideNetFailsRead)
{
    const std::string head = "p=1 n=1 ClampedEnd Uniform\np=0 n=0 ClampedEnd Uniform\n";
    std::string out;
    auto r = readBody(head + "P 0,0 = [ 0, 0, 0 ] 1\nP 2,0 = [ 1, 0, 0 ] 1\n", &out);
    EXPECT_FALSE(r->valid);
    EXPECT_NE(out.find("outside the control net"), std::string::npos);
    EXPECT_TRUE(netIsConsistent(*r));

    r = readBody(head + "P 0,0 = [ 0, 0, 0 ] 1\nP -1,0 = [ 1, 0, 0 ] 1\n", &out);
    EXPECT_FALSE(r->valid);

    // Two lines for one point leave the other unset.
    r = readBody(head + "P 0,0 = [ 0, 0, 0 ] 1\nP 0,0 = [ 1, 0, 0 ] 1\n", &out);
    EXPECT_FALSE(r->valid);
    EXPECT_NE(out.find("control point 1,0 missing."), std::string::npos);
    EXPECT_TRUE(netIsConsistent(*r));
}

TEST(NurbsSurfText, MalformedPointLinesReportTheirFault)
{
    const std::string head = "p=1 n=1 ClampedEnd Uniform\np=0 n=0 ClampedEnd Uniform\n"
                             "P 0,0 = [ 0, 0, 0 ] 1\n";
    std::string out;
    auto r = readBody(head + "P 1;0 = [ 1, 0, 0 ] 1\n", &out);
    EXPECT_FALSE(r->valid);
    EXPECT_EQ(out, " c!= ,\n");
    r = readBody(head + "P 1,0 : [ 1, 0, 0 ] 1\n", &out);
    EXPECT_EQ(out, " c!= =\n");
    // Exactly three coordinates and a positive weight, alone on the line:
    // a decimal comma or a number split by a blank gives a fourth number,
    // and a weight of 0 keeps no point at all.
    const struct {
        const char* line;
        const char* fault;
    } points[] = {
        {"P 1,0 = [ 1, 0 ] 1", "control point 1,0 has 2 coordinates, a control point has 3"},
        {"P 1,0 = [ 1, 5,19377, 0 ] 1",
         "control point 1,0 has 4 coordinates, a control point has 3"},
        {"P 1,0 = [ 1, 0.5 1, 0 ] 1", "control point 1,0 has 4 coordinates, a control point has 3"},
        {"P 1,0 = [ 1, 0, 0 ] 0",
         "the weight of control point 1,0 is 0, a weight is a positive number"},
        {"P 1,0 = [ 1, 0, 0 ] -1",
         "the weight of control point 1,0 is -1, a weight is a positive number"},
        {"P 1,0 = [ 1, 0, 0 ] 1 0",
         "expected the end of the line after the weight of control point 1,0, found \" 0\""},
    };
    for (const auto& point : points) {
        r = readBody(head + point.line + "\n", &out);
        EXPECT_FALSE(r->valid) << point.line;
        EXPECT_EQ(out, std::string(point.fault) + "\n");
    }
    r = readBody(head + "P 1,0 = [ 1, 1e-400, 0 ] 1\n", &out); // the nearest double
    EXPECT_TRUE(r->valid) << out;
}

TEST(NurbsSurfText, UnhealthyKnotsClearValidityAndKeepConsistentSurface)
{
    std::string out;
    auto r = readBody("p=1 n=1 ClampedEnd Uniform\nq=0 n=0 ClampedEnd Uniform\n", &out);
    EXPECT_FALSE(r->valid);
    EXPECT_NE(out.find("unheahlthy vknots."), std::string::npos);
    ASSERT_NE(r->uKnots, nullptr);
    ASSERT_NE(r->vKnots, nullptr);
    EXPECT_TRUE(netIsConsistent(*r));
    EXPECT_TRUE(std::isfinite(r->getPoint(0.5, 0.5)[0]));

    r = readBody("#only a comment\n", &out);
    EXPECT_FALSE(r->valid);
    EXPECT_TRUE(netIsConsistent(*r));

    // The writer refuses an unhealthy vector and says so in its result.
    auto s = sampleSurface();
    s->uKnots->isHealthy = false;
    std::ostringstream os;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(s->writeGeometry(os));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Uh, Oh"), std::string::npos);
}

TEST(NurbsSurfText, ReadAndMergeReplacesOnlyOnSuccess)
{
    auto source = sampleSurface();
    source->reverseV();
    source->addConstraint(new Fenwo::CIJRegionConstraint(0, 1, 0, 1));
    const std::string text = body(*source);

    const knots k(1, 1, 0.0, 1.0);
    NurbsSurf target(k, &k);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 2; ++i)
            target.setControlPoint(i, j, Vector(i, j, 0));

    std::string broken = text;
    broken.erase(broken.rfind("P 4,3"));
    std::istringstream bad(broken);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(target.readAndMerge(bad));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(target.getUCount(), 2);
    EXPECT_TRUE(target.valid);

    std::istringstream good(text);
    EXPECT_TRUE(target.readAndMerge(good));
    EXPECT_TRUE(target.valid);
    EXPECT_TRUE(target.isVReversed());
    EXPECT_EQ(target.constraints.count, 2);
    EXPECT_EQ(body(target), text);
    EXPECT_LT(shapeDistance(*source, target), 1e-12);
}

TEST(NurbsSurfText, GeometryObjectBlockRoundTrip)
{
    auto s = sampleSurface();
    s->layer = 4;
    std::ostringstream os;
    ASSERT_TRUE(s->write(os));
    const std::string text = os.str();
    EXPECT_EQ(text.rfind("GeoObject Begin\n", 0), 0u);

    // The file reader takes "GeoObject" and hands over with the header flag.
    std::istringstream is(text);
    std::string word;
    is >> word;
    NurbsSurf r(is, true);
    ASSERT_TRUE(r.valid);
    EXPECT_EQ(r.layer, 4);
    EXPECT_STREQ(r.id.text, s->id.text);
    EXPECT_EQ(body(r), body(*s));

    // The read slot: block after "GeoObject", then the body.
    std::istringstream again(text);
    again >> word;
    NurbsSurf target(knots(1, 1, 0.0, 1.0), nullptr);
    EXPECT_TRUE(target.read(again));
    EXPECT_EQ(body(target), body(*s));

    std::istringstream noBlock("GeoObject Nonsense\n");
    noBlock >> word;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(target.read(noBlock));
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(target.valid);
}

// A kept fuzzer input: two knot headers of 4096 control points each and no
// point lines. The 4096 x 4096 net is never built; the read fails at once.
TEST(NurbsSurfText, KnotHeadersWithoutPointLinesBuildNoNet)
{
    std::ifstream in(MW_SOURCE_DIR "/tests/data/fuzz/NurbsSurfText/net-without-point-lines",
                     std::ios::binary);
    ASSERT_TRUE(in.is_open());
    in.get(); // the fuzz harness's mode byte
    testing::internal::CaptureStdout();
    NurbsSurf r(in, false);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(r.valid);
    EXPECT_EQ(out.rfind("c!= 'P' ", 0), 0u) << out;
    EXPECT_EQ(r.controlNetSize, 4);
    EXPECT_TRUE(netIsConsistent(r));
}
