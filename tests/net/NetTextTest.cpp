// The net text: the face and loop records with their state words, the whole
// net written and read back byte for byte, the readers' tolerance of older
// versions, case, line ends and stray characters, the refusal of texts that
// are not whole with the line where they stop, and the relocation of stored
// loops onto the topology's faces.
#include "curves/ParCurve.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/GridPoint.h"
#include "mesh/StlFormat.h"
#include "net/Face.h"
#include "net/OpenGLFace.h"
#include "net/SurfaceNet.h"

#include "support/GridFixtures.h"
#include "support/NurbsFixtures.h"
#include "support/ScratchDir.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using GB::CSurfaceNet;
using Gridbench::CGridPoint;

// The "#" of the tests: four faces over [0.05, 0.25] x [-0.2, 0.4].
struct HashNet : mwtest::HashNet {
    HashNet() : mwtest::HashNet(0.05f, -0.2f, 0.1f) {}
};

std::string written(CSurfaceNet& net)
{
    std::ostringstream out;
    mwtest::capturedStdout([&] { EXPECT_TRUE(net.write(out)); });
    return out.str();
}

std::string readBack(CSurfaceNet& net, const std::string& text)
{
    std::istringstream in(text);
    return mwtest::capturedStdout([&] { EXPECT_TRUE(net.read(in)); });
}

// The lines of a text, each without its line end.
std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// The index of the first line at or after `from` that is `line` (or, with
// prefix, begins with it); the number of lines when there is none.
std::size_t lineIndex(const std::vector<std::string>& lines, const std::string& line,
                      std::size_t from = 0, bool prefix = false)
{
    for (std::size_t i = from; i < lines.size(); ++i)
        if (prefix ? lines[i].rfind(line, 0) == 0 : lines[i] == line)
            return i;
    ADD_FAILURE() << "no line " << line;
    return lines.size();
}

double liftOf(const Fenwo::NurbsSurf& s)
{
    Vector p;
    s.getControlPoint(1, 1, p);
    return p[2];
}

int faceCount(const CSurfaceNet& net)
{
    int n = 0;
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        ++n;
    return n;
}

// A biquadratic patch over 3 x 3 control points with digits in every place.
Fenwo::NurbsSurf* bumpPatch(double lift)
{
    const knots k(2, 2, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            s->setControlPoint(
                i, j, Vector(0.1 * i / 3.0, 0.3 * j / 7.0, lift * (i == 1 && j == 1)), 1.0);
    return s;
}

TEST(NetText, EmptyNetsVersionsCaseLineEndsAndStrayCharacters)
{
    CSurfaceNet net;
    std::ostringstream out;
    out.precision(6);
    EXPECT_TRUE(net.write(out));
    EXPECT_EQ(out.str(), "Version 7\nNodes 0\nPolylines 0\nTopology\n0 5 100\n0.1\n1\n2\n0\n"
                         "0.01\n0.1\n0.5\n0\n");
    EXPECT_EQ(out.precision(), 6); // the stream's own precision is given back
    EXPECT_TRUE(net.savedMark);
    net.topologySwitch = false;
    EXPECT_EQ(written(net), "Version 2\nNodes 0\nPolylines 0\n");

    // Every reader below sees the same two poly-lines crossing at one node
    // (no face) and, where the version carries it, a Topology section.
    const std::string body =
        " 3\n0 0 0 0 0 0 1\n1 0\t0 0 0\n1\t0\t0 0 0\n1 1 0 0 0 0 1\n0\t1\t0 0 0\n"
        "0\t1\t0 0 0\n2 0 1 0 0 0 1\n0\t1\t0 0 0\n0\t1\t0 0 0\n";
    struct Case {
        const char* name;
        std::string text;
        int polyLines;
        int mode; // read from the Topology section; 0 when none is read
    };
    const std::string topology = "Topology\n2 3 40\n0.2\n0\n1\n1\n0.01\n0.1\n0.5\n0\n";
    const Case cases[] = {
        {"version 7",
         "Version 7\nNodes" + body + "Polylines 2\n2\n 1\n0 1\n1\n2\n 1\n0 2\n0\n" + topology, 2,
         2},
        {"any case, CR LF",
         "vERSION 7\r\nnodes" + body +
             "POLYLINES 2\r\n2\r\n 1\r\n0 1\r\n0\r\n2\r\n 1\r\n0 2\r\n0\r\n" + topology,
         2, 2},
        {"version 4 is 2",
         "Version 4\nNodes" + body + "Polylines 2\n2\n 1\n0 1\n2\n 1\n0 2\n" + topology, 2, 0},
        {"stray characters",
         "Version 7 ; Nodes" + body + ". Polylines 2 !\n2\n 1\n0 1\n0\n2\n 1\n0 2\n0\n" + topology,
         2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSurfaceNet in;
        readBack(in, c.text);
        ASSERT_EQ(in.getNumPointLists(), c.polyLines);
        EXPECT_EQ(in.getPointList(0)->vertices[0], in.getPointList(1)->vertices[0]); // shared node
        EXPECT_EQ(in.getPointList(1)->getCount(), 2);
        EXPECT_EQ(in.mode, c.mode);
        EXPECT_EQ(faceCount(in), 0);
        const auto* first = static_cast<CGridPoint*>(in.getPointList(0)->vertices[0]);
        EXPECT_TRUE(first->direction1Set);
        EXPECT_FALSE(first->direction1Flag);
        EXPECT_EQ(first->useCount, 2);
    }
    // No net text, a text cut short inside a record, and poly-lines no net
    // holds (a node past the end or below 0: once passed over, the
    // poly-line losing a point and the faces a corner; a back and forth over
    // two nodes) read as failures; those refused add nothing to the net.
    const std::string twoNodes =
        "Version 2\nNodes 2\n0 0 0 0 0 0 1\n0\t0\t0 0 0\n0\t0\t0 0 0\n"
        "1 1 0 0 0 0 1\n0\t0\t0 0 0\n0\t0\t0 0 0\nPolylines 2\n2\n 1\n0 1\n";
    const struct {
        std::string text;
        const char* refusal;
    } failures[] = {
        {"no grid in here\n", nullptr},
        {"Version 7\nNodes 1\n0 0 0 0 0 0", nullptr},
        {twoNodes + "3\n 1\n0 1 2\n",
         "line 15: poly-line 2 of the net text names node 2, but the text has 2 nodes before it"},
        {twoNodes + "2\n 1\n-1 0\n",
         "line 15: poly-line 2 of the net text names node -1, but the text has 2 nodes before "
         "it"},
        {twoNodes + "5\n 1\n0 1 0 1 0\n",
         "line 15: poly-line 2 of the net text passes its 2 points 5 times, a poly-line passes a "
         "point twice at most"},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.text);
        CSurfaceNet in;
        mwtest::polyLine(in, {mwtest::gridPoint(5.f, 5.f), mwtest::gridPoint(6.f, 5.f)});
        std::istringstream is(failure.text);
        bool read = true;
        const std::string printed = mwtest::capturedStdout([&] { read = in.read(is); });
        EXPECT_FALSE(read);
        EXPECT_EQ(in.getNumPointLists(), 1);
        if (failure.refusal != nullptr) {
            EXPECT_EQ(printed, std::string(failure.refusal) + ": the text is refused.\n");
        }
    }
    // The same poly-line through itself, once, is read.
    CSurfaceNet through;
    std::istringstream is(twoNodes + "3\n 1\n0 1 0\n");
    mwtest::capturedStdout([&] { EXPECT_TRUE(through.read(is)); });
    EXPECT_EQ(through.getNumPointLists(), 2);
}

TEST(NetText, FaceAndLoopRecordsKeepStatesCountsAndLoopOrder)
{
    // Twelve words and "Unknown"; words are read case-sensitively.
    const char* words[] = {"Naked",   "Initial", "Draft",    "SimpleApprox", "ComplexApprox",
                           "Frozen",  "Refresh", "Blending", "Trimmed",      "Ribbon",
                           "Imprint", "Planar",  "Unknown"};
    for (int v = 0; v <= 12; ++v) {
        std::ostringstream os;
        writeFaceState(os, FaceState(v));
        EXPECT_EQ(os.str(), words[v]);
        std::istringstream is(os.str() + " planar");
        FaceState s = Draft, t = Draft;
        readFaceState(is, s);
        readFaceState(is, t);
        EXPECT_EQ(s, v < 12 ? FaceState(v) : Naked);
        EXPECT_EQ(t, Naked);
    }

    // A face in state Imprint with a surface and loops A, B, C, the loops'
    // cycles from the "#" net, at version 4 (one line per loop) and 5 (one
    // pair per line).
    HashNet hash;
    std::ostringstream nodes;
    mwtest::capturedStdout([&] { hash.net.write(nodes); }); // gives the grid points their indices
    GB::Face face;
    face.requestedState = Imprint;
    face.computedState = Draft;
    face.imprint[0] = 7;
    face.imprint[1] = 12;
    face.surface = bumpPatch(0.25);
    GB::Loop* last = nullptr;
    const char* names[] = {"A", "B", "C"};
    for (int k = 0; k < 3; ++k) {
        auto* loop = new GB::Loop();
        loop->name.set(names[k]);
        loop->setCycle(hash.faces()[std::size_t(k)]->firstLoop->cycle);
        (last == nullptr ? face.firstLoop : last->next) = loop;
        loop->owner = &face;
        last = loop;
    }
    for (int version : {4, 5}) {
        SCOPED_TRACE(version);
        std::ostringstream out;
        ASSERT_TRUE(face.write(out, version));
        const std::string text = out.str();
        EXPECT_NE(text.find("\nImprint\n7 12\nDraft\n1\nGeoObject Begin"), std::string::npos);
        std::istringstream in(text);
        GB::Face back;
        ASSERT_TRUE(back.read(in, 0, version));
        EXPECT_EQ(back.requestedState, Imprint);
        EXPECT_EQ(back.imprint[1], 12);
        auto* s = dynamic_cast<Fenwo::NurbsSurf*>(back.surface);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(liftOf(*s), 0.25);
        std::string chain;
        for (const GB::Loop* l = back.firstLoop; l != nullptr; l = l->next) {
            chain += l->name.c_str();
            EXPECT_EQ(l->owner, &back);
            EXPECT_EQ(l->references.count, version >= 5 ? 8 : 4);
        }
        EXPECT_EQ(chain, "ABC");
    }
    // One cycle writes one loop text, whatever half-edge it starts at.
    const GraphAlgorithm::Cycle& cycle = face.firstLoop->cycle;
    GraphAlgorithm::Cycle rotated;
    for (int k = 0; k < cycle.count; ++k)
        rotated.append(cycle[(k + 1) % cycle.count]);
    GB::Loop turned;
    turned.setCycle(rotated);
    std::ostringstream a, b, older;
    face.firstLoop->write(a, 7);
    turned.write(b, 7);
    face.firstLoop->write(older, 4);
    auto entries = [](const std::string& text) {
        return text.substr(text.find("GeoObject End\n") + 14);
    };
    const std::string e7 = entries(a.str()), e4 = entries(older.str());
    EXPECT_EQ(e7, entries(b.str()));
    EXPECT_EQ(std::count(e4.begin(), e4.end(), '\n'), 2); // " 0", then count and indices
    EXPECT_EQ(std::count(e7.begin(), e7.end(), '\n'), 6); // a pair per line, an empty line

    // A loop record's "0", count and entries are whole ints, as written.
    const struct {
        const char* rest; // after the loop's block
        const char* fault;
    } loops[] = {
        {" 1\n1 3 0\n", "expected the 0 before the count of a loop record, found \"1\""},
        {" 0\n-1 3 0\n", "expected the entry count of a loop record (a count), found -1"},
        {" 0\n2 3 0\n 4.5 1\n",
         "expected the node of entry 2 of the 2 of a loop record (a whole number within the "
         "range of an int), found \"4.5\""},
    };
    for (const auto& loop : loops) {
        std::istringstream in(std::string("GeoObject Begin\n0H\n0H\nLayer -1\nGeoObject End\n") +
                              loop.rest);
        GB::Loop damaged;
        EXPECT_EQ(mwtest::capturedStdout([&] { EXPECT_FALSE(damaged.read(in, 0, 7)); }),
                  std::string(loop.fault) + "\n");
    }

    // A record that is no face record, and a loop node without grid point.
    std::istringstream bad("Face Begin\n");
    GB::Face none;
    EXPECT_FALSE(none.read(bad, 0, 7));
    GB::Loop plain;
    CVertex<float, 3> somewhere;
    auto* h = new GraphAlgorithm::CHalfEdge();
    h->target = new _CVertex(&somewhere);
    plain.cycle.append(h);
    std::ostringstream out;
    EXPECT_EQ(mwtest::capturedStdout([&] { plain.write(out, 7); }),
              "uups. pPoint could not! be written\n");
    EXPECT_NE(out.str().find(" 0\n0\n"), std::string::npos); // the count of what was written
}

TEST(NetText, HashNetRoundTripsByteForByte)
{
    HashNet hash;
    CSurfaceNet& net = hash.net;
    ASSERT_EQ(hash.faces().size(), 4u);
    // Directions, option flags and a poly-line with a locked curve.
    hash.at[1][1]->setDirection1(CVector<float, 3>(1.f, 2.f, 0.f), true);
    hash.at[0][2]->setDirection2(CVector<float, 3>(0.f, -3.f, 1.f), false);
    hash.at[0][2]->direction2Flag = false;
    hash.lines[1]->optionFlag = true;
    CGridPoint* far[2] = {mwtest::gridPoint(5.f, 5.f, 1.f / 3.f), mwtest::gridPoint(6.f, 5.f)};
    COffset_PointList* ribbon = mwtest::polyLine(net, {far[0], far[1]});
    Kor::List<double> t;
    ribbon->setCurve(
        clampedCurve({Vector(5.0, 5.0, 1.0 / 3.0), Vector(5.5, 5.2, 0.1), Vector(6.0, 5.0, 0.0)}, 2)
            .release(),
        t, 0, -1);
    // Faces: a surface, Imprint counts, other states, the settings.
    std::vector<GB::Face*> faces = hash.faces();
    net.setFaceSurface(faces[0], bumpPatch(0.125));
    faces[0]->requestedState = Draft;
    faces[0]->computedState = Draft;
    faces[1]->requestedState = Imprint;
    faces[1]->imprint[0] = 3;
    faces[1]->imprint[1] = 40;
    faces[2]->requestedState = Blending;
    faces[3]->computedState = Frozen;
    faces[3]->name.set("named face");
    // A Trimmed face carries its trimmed face's record; its outer loop
    // comes back as it was, though the heal left a step between two of its
    // curves (ordered again on reading, it began at the next curve and the
    // text changed on every first open and save).
    faces[3]->requestedState = Trimmed;
    auto* trimmed = new CFace(bumpPatch(0.375));
    ASSERT_EQ(trimmed->trimLoops.count, 1);
    {
        CParCurve* second = trimmed->trimLoops[0]->curves[1];
        auto* uv = dynamic_cast<Fenwo::NurbsSurf*>(second->getUVCurve());
        ASSERT_NE(uv, nullptr);
        Vector start;
        uv->getControlPoint(0, 0, start);
        start[1] += 0.03;
        uv->setControlPointPosition(0, 0, start);
        second->uvPoints.removeAll();
    }
    faces[3]->surface = trimmed->surface;
    net.updateFaceDisplay(trimmed, faces[3]->firstLoop, true);
    net.setMode(2);
    net.surfaceTolerance = 0.0625;
    net.tolerances[1] = 1.0 / 3.0;

    const std::string first = written(net);
    ASSERT_NE(first.find("Topology\n2 5 100\n0.0625\n"), std::string::npos);
    CSurfaceNet back;
    readBack(back, first);
    EXPECT_EQ(written(back), first);

    // As editors and other programs write it, the text reads as it stands:
    // CR LF, a byte-order mark, tabs or runs of blanks between fields (not
    // in a counted string's text), numbers of 150 characters, numbers too
    // small for their type. The last four were refused (the blanks with the
    // line of the text's end).
    const auto each = [&](const std::function<std::string(const std::string&)>& change) {
        std::string text;
        for (const std::string& line : linesOf(first)) {
            const std::size_t digits = line.find_first_not_of("0123456789");
            const bool counted = digits > 0 && digits < line.size() && line[digits] == 'H';
            text += (counted ? line : change(line)) + "\n";
        }
        return text;
    };
    const auto blanks = [](const char* by) {
        return [by](const std::string& line) {
            std::string out;
            for (char c : line)
                out += c == ' ' ? std::string(by) : std::string(1, c);
            return out;
        };
    };
    // Zeros after the last digit of every number with a decimal point.
    const auto longNumbers = [](const std::string& line) {
        std::string out;
        bool fraction = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const bool digit = line[i] >= '0' && line[i] <= '9';
            fraction = (fraction && digit) || (line[i] == '.' && i > 0 && line[i - 1] >= '0' &&
                                               line[i - 1] <= '9');
            out += line[i];
            const bool next = i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '9';
            if (fraction && digit && !next)
                out += std::string(130, '0');
        }
        return out;
    };
    std::vector<std::string> tiny = linesOf(first);
    ASSERT_EQ(tiny[2].substr(tiny[2].size() - 8), " 0 0 0 1");
    tiny[2].replace(tiny[2].size() - 8, 2, " 1.2e-50");
    const std::size_t zero = lineIndex(tiny, "P 0,0 = [   0.0000000000000000,", 0, true);
    tiny[zero].replace(tiny[zero].find("0.0000000000000000"), 18, "1e-400");
    std::string crOnly = first;
    std::replace(crOnly.begin(), crOnly.end(), '\n', '\r');
    const std::pair<const char*, std::string> variants[] = {
        {"CR LF", each([](const std::string& line) { return line + "\r"; })},
        {"a byte-order mark", "\xef\xbb\xbf" + first},
        {"tabs", each(blanks("\t"))},
        {"runs of blanks", each(blanks("  \t "))},
        {"numbers of 150 characters", each(longNumbers)},
        {"numbers too small", joined(tiny)},
        // Refused whole before: CR line ends, a blank or tab after a word
        // alone on its line ("Begin(Constraints) "), a '+' before a number
        // of a control point, knot headers in lower case.
        {"CR line ends", crOnly},
        {"blanks and a tab at line ends", each([](const std::string& line) { return line + " \t"; })},
        {"a plus before control points' numbers",
         each([](std::string line) {
             for (const char* at : {"[   ", "]   "})
                 if (const std::size_t p = line.find(at);
                     line.rfind("P ", 0) == 0 && p != std::string::npos)
                     line = line.substr(0, p + 4) + '+' + line.substr(p + 4);
             return line;
         })},
        {"knot headers in lower case", each([](std::string line) {
             if (line.rfind("p=", 0) == 0)
                 std::transform(line.begin(), line.end(), line.begin(),
                                [](unsigned char c) { return char(std::tolower(c)); });
             return line;
         })},
    };
    for (const auto& [what, text] : variants) {
        SCOPED_TRACE(what);
        CSurfaceNet variant;
        readBack(variant, text);
        EXPECT_EQ(written(variant), first);
    }
    // What does not add up is refused with its line, the net kept: a
    // negative tessellation distance, knots whose multiplicities add up past
    // the header's count (both were read and saved back).
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"MeshDistance=", "MeshDistance=-"},
                                   {"\n0 3\n1 3\n", "\n0 3\n0.5 1\n1 3\n"}}) {
        SCOPED_TRACE(to);
        std::string text = first;
        ASSERT_NE(text.find(from), std::string::npos);
        text.replace(text.find(from), from.size(), to);
        CSurfaceNet refused;
        mwtest::polyLine(refused, {mwtest::gridPoint(5.f, 5.f), mwtest::gridPoint(6.f, 5.f)});
        std::istringstream is(text);
        bool read = true;
        const std::string printed = mwtest::capturedStdout([&] { read = refused.read(is); });
        EXPECT_FALSE(read);
        EXPECT_EQ(refused.getNumPointLists(), 1);
        EXPECT_NE(printed.find(": the text is refused.\n"), std::string::npos) << printed;
    }
    ASSERT_EQ(faceCount(back), 4);
    int withSurface = 0;
    for (GB::Face* f = back.firstFace; f != nullptr; f = f->next) {
        auto* s = dynamic_cast<Fenwo::NurbsSurf*>(f->surface);
        if (s != nullptr && f->requestedState != Trimmed) {
            ++withSurface;
            EXPECT_EQ(f->requestedState, Draft);
            EXPECT_EQ(liftOf(*s), 0.125);
            EXPECT_NE(back.findFaceDisplay(f), nullptr);
        }
        if (f->requestedState == Imprint) {
            EXPECT_EQ(f->imprint[1], 40);
        }
        if (f->requestedState == Trimmed) {
            ASSERT_NE(f->trimmedFace, nullptr);
            EXPECT_EQ(f->surface, f->trimmedFace->surface);
            EXPECT_EQ(liftOf(*f->trimmedFace->getNurbsSurf()), 0.375);
        }
    }
    EXPECT_EQ(withSurface, 1);
    EXPECT_EQ(back.mode, 2);
    EXPECT_TRUE(back.directCoons);
    EXPECT_TRUE(back.getPointList(6)->curveLocked);
    // The read entries take their places on the attached curve (not -1).
    const Kor::List<double>& places = back.getPointList(6)->parameters;
    ASSERT_EQ(places.count, 2);
    EXPECT_EQ(places[0], 0.0);
    EXPECT_EQ(places[1], 1.0);
    EXPECT_EQ(back.getPointList(6)->getCurve()->getPoint(0.0, 0.0)[2],
              Vector(5.0, 5.0, 1.0 / 3.0)[2]);

    // Without the topology switch: version 2, no faces.
    net.topologySwitch = false;
    const std::string plain = written(net);
    EXPECT_EQ(plain.find("Topology"), std::string::npos);
    CSurfaceNet older;
    readBack(older, plain);
    EXPECT_EQ(faceCount(older), 0);
    older.topologySwitch = false;
    EXPECT_EQ(written(older), plain);

    // A poly-line of more indices than one line is given goes on over lines
    // of that many (all on one line, they ran past the reader's bound at
    // about 2.2 million points), and reads back as it was written: one that
    // runs out and back over its points, to write half as many nodes.
    std::vector<CVertex<float, 3>*> many;
    for (int k = 0; k <= CSurfaceNet::kIndicesOnOneLine / 2 + 1; ++k)
        many.push_back(mwtest::gridPoint(float(k), 7.f));
    for (std::size_t k = many.size() - 1; k-- > 0;)
        many.push_back(many[k]);
    mwtest::polyLine(net, many);
    const std::string broken = written(net);
    const std::vector<std::string> lines = linesOf(broken);
    const std::size_t count = lineIndex(lines, std::to_string(many.size()));
    ASSERT_EQ(lines.size(), count + 4);
    EXPECT_EQ(std::count(lines[count + 2].begin(), lines[count + 2].end(), ' '),
              CSurfaceNet::kIndicesOnOneLine - 1);
    EXPECT_EQ(std::count(lines[count + 3].begin(), lines[count + 3].end(), ' '), 2);
    CSurfaceNet longer;
    readBack(longer, broken);
    longer.topologySwitch = false;
    EXPECT_EQ(written(longer), broken);
}

TEST(NetText, RealSphereFacesOnTheCoonsPathRoundTripByteForByte)
{
    MW_REQUIRE_REAL_FILE(path, "stl", "unit_sphere.STL");
    CFlatMesh mesh;
    ASSERT_TRUE(mwtest::readHashedMesh(mesh, path));
    CSurfaceNet net;
    net.setMesh(&mesh);
    net.fittingOff = true;
    net.setMode(2);
    // The "#" of grid points where rays straight down hit the upper half.
    const float c[3] = {-0.5f, 0.f, 0.5f};
    CGridPoint* at[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            Kor::Set<Mesh::CBaseMesh::CBaseHitInfo> hits;
            ASSERT_TRUE(mesh.hit(CVertex<float, 3>(c[i], c[j], 5.f), CVector<float, 3>(0, 0, -1),
                                 hits, true, false, false, nullptr, 0.0));
            at[i][j] = new CGridPoint(*hits[0]);
        }
    for (int k = 0; k < 3; ++k) {
        mwtest::polyLine(net, {at[0][k], at[1][k], at[2][k]});
        mwtest::polyLine(net, {at[k][0], at[k][1], at[k][2]});
    }
    mwtest::capturedStdout([&] {
        for (COffset_PointList* pl : net.pointLists)
            pl->interpolate();
        net.buildTopology(false);
        net.computeSurfaces(false, false, nullptr);
    });
    ASSERT_EQ(faceCount(net), 4);
    for (const GB::Face* f = net.firstFace; f != nullptr; f = f->next) {
        EXPECT_EQ(f->computedState, Initial);
        ASSERT_NE(f->surface, nullptr);
    }

    // The text holds every control point: equal texts, equal surfaces.
    const std::string first = written(net);
    CSurfaceNet back;
    back.setMesh(&mesh);
    readBack(back, first);
    EXPECT_EQ(written(back), first);
    ASSERT_EQ(faceCount(back), 4);
    for (const GB::Face* f = back.firstFace; f != nullptr; f = f->next) {
        EXPECT_EQ(f->requestedState, ComplexApprox);
        EXPECT_EQ(f->computedState, Initial);
        EXPECT_NE(dynamic_cast<Fenwo::NurbsSurf*>(f->surface), nullptr);
    }
}

TEST(NetText, StoredLoopsRelocateUpToRotationButNotReversal)
{
    HashNet hash;
    const GraphAlgorithm::Cycle& cycle = hash.faces()[0]->firstLoop->cycle;
    ASSERT_EQ(cycle.count, 4);
    Kor::List<int> pairs;
    for (int k = 0; k < 4; ++k) {
        pairs.append(int(cycle[(k + 2) % 4]->target->getId()));
        pairs.append(99); // the second values are not compared
    }
    EXPECT_TRUE(GB::matchLoopUpToRotation(cycle, pairs));
    Kor::List<int> reversed;
    for (int k = 3; k >= 0; --k) {
        reversed.append(pairs[2 * k]);
        reversed.append(0);
    }
    EXPECT_FALSE(GB::matchLoopUpToRotation(cycle, reversed));
    reversed.count = 6;
    EXPECT_FALSE(GB::matchLoopUpToRotation(cycle, reversed));

    // A stored loop walked the other way round is no loop of the net: its
    // face is rebuilt as a new region's face is after an edit, the others
    // keep their stored states.
    for (GB::Face* f : hash.faces())
        f->requestedState = Planar;
    std::string text = written(hash.net);
    const std::size_t at = text.find("GeoObject End\n 0\n4 ");
    ASSERT_NE(at, std::string::npos);
    const std::size_t from = text.find(" 0\n4 ", at) + 5;
    const std::size_t to = text.find("\n\n", from);
    std::istringstream entries(text.substr(from, to - from));
    std::vector<std::string> lines;
    for (std::string line; std::getline(entries, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u);
    std::string flipped = lines[0] + "\n" + lines[3] + "\n" + lines[2] + "\n" + lines[1];
    text.replace(from, to - from, flipped);
    CSurfaceNet back;
    std::istringstream in(text);
    bool whole = true;
    EXPECT_NE(
        mwtest::capturedStdout([&] { whole = back.read(in); }).find("failed to relocate the loop "),
        std::string::npos);
    EXPECT_FALSE(whole); // the reader says it lost part of the net
    EXPECT_EQ(back.lostStoredFaces(), 1); // but the text was whole
    ASSERT_EQ(faceCount(back), 4);
    int rebuilt = 0, stored = 0;
    for (GB::Face* f = back.firstFace; f != nullptr; f = f->next) {
        rebuilt += f->requestedState == ComplexApprox && f->computedState == Naked;
        stored += f->requestedState == Planar;
    }
    EXPECT_EQ(rebuilt, 1);
    EXPECT_EQ(stored, 3);
    // A text that stores faces for some regions of its net only is no text
    // the writer made: the region left is said, and read as a loss.
    std::string short3 = written(hash.net);
    const std::size_t lastFace =
        short3.rfind("GeoObject Begin", short3.rfind("GeoObject End\nPlanar\n"));
    const std::size_t count = short3.find("\n4\nGeoObject Begin");
    ASSERT_TRUE(lastFace != std::string::npos && count != std::string::npos);
    short3 = short3.substr(0, lastFace).replace(count, 3, "\n3\n");
    std::istringstream in3(short3);
    CSurfaceNet back3;
    EXPECT_NE(mwtest::capturedStdout([&] { whole = back3.read(in3); })
                  .find("1 region of the net read has no stored face"),
              std::string::npos);
    EXPECT_FALSE(whole);
    EXPECT_EQ(back3.lostStoredFaces(), 1);
    // A text refused after it counts no lost face: nothing of it was read.
    std::istringstream cut(text.substr(0, text.find("\nPolylines ") + 12));
    mwtest::capturedStdout([&] { EXPECT_FALSE(back.read(cut)); });
    EXPECT_EQ(back.lostStoredFaces(), 0);
}

// A poly-line that turns the net's corner through two grid points at one
// place (a point dragged onto one of its own poly-line does not snap to it):
// the text keeps the two apart, so every stored loop finds its face again
// and a second save writes the same bytes. Made one node, the poly-line
// read back passed one point twice, a junction of no length that gave the
// corner's face a loop of five edges where three were stored, and the face
// was lost. A text that lists one node twice in a row (as such writers did)
// reads as one point the poly-line passes.
TEST(NetText, PolyLineThroughTwoPointsAtOnePlaceKeepsEveryLoop)
{
    CSurfaceNet net;
    CGridPoint* at[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            at[i][j] = mwtest::gridPoint(0.1f * float(i), 0.1f * float(j));
            at[i][j]->normal.data[2] = 1.f;
        }
    CGridPoint* twin = mwtest::gridPoint(0.f, 0.2f);
    twin->normal.data[2] = 1.f;
    mwtest::polyLine(net, {at[0][0], at[1][0], at[2][0]});
    mwtest::polyLine(net, {at[0][1], at[1][1], at[2][1]});
    mwtest::polyLine(net, {at[0][0], at[0][1], at[0][2], twin, at[1][2], at[2][2]});
    mwtest::polyLine(net, {at[1][0], at[1][1], at[1][2]});
    mwtest::polyLine(net, {at[2][0], at[2][1], at[2][2]});
    mwtest::capturedStdout([&] { net.buildTopology(false); });
    const auto loopSizes = [](const CSurfaceNet& n) {
        std::vector<int> sizes;
        for (const GB::Face* f = n.firstFace; f != nullptr; f = f->next)
            sizes.push_back(f->firstLoop->getCycleLength());
        std::sort(sizes.begin(), sizes.end());
        return sizes;
    };
    ASSERT_EQ(loopSizes(net), (std::vector<int>{3, 4, 4, 4}));

    std::string text = written(net);
    for (int old = 0; old < 2; ++old) {
        SCOPED_TRACE(old ? "one node twice in a row" : "as written");
        CSurfaceNet back;
        std::istringstream in(text);
        bool whole = false;
        EXPECT_EQ(mwtest::capturedStdout([&] {
                      whole = back.read(in);
                  }).find("failed to relocate the loop "),
                  std::string::npos);
        EXPECT_TRUE(whole);
        EXPECT_EQ(loopSizes(back), loopSizes(net));
        if (old == 0) {
            EXPECT_EQ(written(back), text);
            const auto entries = [&](CGridPoint* fourth) {
                std::string line = "\n";
                for (CGridPoint* p : {at[0][0], at[0][1], at[0][2], fourth, at[1][2], at[2][2]})
                    line += std::to_string(p->savedIndex) + (p == at[2][2] ? "\n" : " ");
                return line;
            };
            const std::size_t l = text.find(entries(twin));
            ASSERT_NE(l, std::string::npos);
            text.replace(l, entries(twin).size(), entries(at[0][2]));
        }
    }
}

// A lens cut by a chord: three poly-lines between two points, whose two
// faces have the same corners. The text writes them in one order whatever
// their order in the net, so that a document opened (its faces in the
// topology's order) and saved again writes the same bytes.
TEST(NetText, FacesWithTheSameCornersAreWrittenInOneOrder)
{
    CSurfaceNet net;
    const auto point = [](float x, float y) {
        CGridPoint* p = mwtest::gridPoint(x, y);
        p->normal.data[2] = 1.f;
        return p;
    };
    CGridPoint *from = point(0.f, 0.f), *to = point(0.2f, 0.f);
    for (float y : {-0.1f, 0.f, 0.1f})
        mwtest::polyLine(net, {from, point(0.1f, y), to});
    mwtest::capturedStdout([&] { net.buildTopology(false); });
    ASSERT_GE(faceCount(net), 2);
    const std::string text = written(net);
    GB::Face* reversed = nullptr;
    while (GB::Face* f = net.firstFace) {
        net.firstFace = f->next;
        f->next = reversed;
        reversed = f;
    }
    net.firstFace = reversed;
    EXPECT_EQ(written(net), text);
    CSurfaceNet back;
    readBack(back, text);
    EXPECT_EQ(written(back), text);
}

// Damage of every kind at every kind of place of a net text: cut at each
// record boundary (and at every line), each declared count too small, too
// large and past int, fields not of their type, a record removed, moved or
// repeated. Each text is refused with one line that names the line where it
// stops being a net text and what was expected there, and the net that
// read it keeps what it held. Before, a text of only its header, one cut at
// a record boundary and counts past int read as success (an empty or
// smaller net in place of the user's), and a field moved by a missing line
// read a decimal as a node index and the rest as coordinates.
TEST(NetText, DamagedTextsAreRefusedWithTheLineWhereTheyStopAndTheNetStays)
{
    HashNet hash;
    CSurfaceNet& net = hash.net;
    CGridPoint* far[2] = {mwtest::gridPoint(5.f, 5.f), mwtest::gridPoint(6.f, 5.f)};
    COffset_PointList* ribbon = mwtest::polyLine(net, {far[0], far[1]});
    Kor::List<double> t;
    ribbon->setCurve(
        clampedCurve({Vector(5.0, 5.0, 0.0), Vector(5.5, 5.2, 0.1), Vector(6.0, 5.0, 0.0)}, 2)
            .release(),
        t, 0, -1);
    std::vector<GB::Face*> faces = hash.faces();
    net.setFaceSurface(faces[0], bumpPatch(0.125));
    faces[1]->requestedState = Imprint;
    const std::string whole = written(net);
    net.topologySwitch = false;
    const std::string plain = written(net);
    const std::vector<std::string> v7 = linesOf(whole), v2 = linesOf(plain);
    ASSERT_EQ(v2[1], "Nodes 11");
    const std::size_t polyLines = lineIndex(v2, "Polylines 7"); // the same line in both
    ASSERT_EQ(v7[polyLines], "Polylines 7");
    const std::size_t faces4 = lineIndex(v7, "4", lineIndex(v7, "Topology") + 9);
    const std::size_t face[2] = {lineIndex(v7, "GeoObject Begin", faces4),
                                 lineIndex(v7, "GeoObject Begin", faces4 + 2)};
    // Each face record's first line, and the loop record's within the first.
    std::vector<std::size_t> faceStarts;
    for (std::size_t i = faces4 + 1; i < v7.size(); ++i)
        if (v7[i] == "GeoObject Begin" && (faceStarts.empty() || v7[i - 1] == ""))
            faceStarts.push_back(i);
    ASSERT_EQ(faceStarts.size(), 4u);
    ASSERT_EQ(face[0], faceStarts[0]);

    const auto with = [](std::vector<std::string> lines, std::size_t at, const std::string& line) {
        lines[at] = line;
        return joined(lines);
    };
    const auto without = [](std::vector<std::string> lines, std::size_t from, std::size_t to) {
        lines.erase(lines.begin() + std::ptrdiff_t(from), lines.begin() + std::ptrdiff_t(to));
        return joined(lines);
    };
    const auto cutAt = [](const std::vector<std::string>& lines, std::size_t at) {
        return joined(std::vector<std::string>(lines.begin(), lines.begin() + std::ptrdiff_t(at)));
    };
    // Face record 2 repeated in place of face record 3, and after the last.
    std::vector<std::string> replacedFace(v7.begin(), v7.end());
    replacedFace.erase(replacedFace.begin() + std::ptrdiff_t(faceStarts[2]),
                       replacedFace.begin() + std::ptrdiff_t(faceStarts[3]));
    replacedFace.insert(replacedFace.begin() + std::ptrdiff_t(faceStarts[2]),
                        v7.begin() + std::ptrdiff_t(faceStarts[1]),
                        v7.begin() + std::ptrdiff_t(faceStarts[2]));
    std::vector<std::string> addedFace(v7.begin(), v7.end());
    addedFace.insert(addedFace.end(), v7.begin() + std::ptrdiff_t(faceStarts[1]),
                     v7.begin() + std::ptrdiff_t(faceStarts[2]));
    // The face record with a surface, its control point 1,1 and its words.
    const std::size_t point = lineIndex(v7, "P 1,1 = [", faceStarts[0], true);
    std::size_t withSurface = 0;
    while (withSurface + 1 < faceStarts.size() && faceStarts[withSurface + 1] < point)
        ++withSurface;
    const std::size_t state = lineIndex(v7, "GeoObject End", faceStarts[withSurface]) + 1;
    const auto pointWith = [&](const std::string& from, const std::string& to) {
        std::string line = v7[point];
        return with(v7, point, line.replace(line.find(from), from.size(), to));
    };
    const std::string n = std::to_string(polyLines + 1); // the Polylines line
    const std::string f = std::to_string(faces4 + 1); // the face count's line
    const std::string node2 = " of node record 2 of the 11 declared on line 2";
    const std::string line1 = " of poly-line 1 of the 7 declared on line " + n;
    const std::string floatField = " (a finite number within the range of a float), found ";
    const std::string surfaceRecord = "face record " + std::to_string(withSurface + 1) +
                                      " of the 4 declared on line " + std::to_string(faces4 + 1) +
                                      " (from line " + std::to_string(faceStarts[withSurface] + 1) +
                                      "): ";
    // The first entry of the loop of a face record without a surface.
    const std::size_t plainFace = withSurface == 0 ? 1 : 0;
    const std::size_t entryLine = lineIndex(v7, "4 ", faceStarts[plainFace], true);
    const auto entryWith = [&](const std::string& polyLine) {
        const std::string line = v7[entryLine];
        return with(v7, entryLine, line.substr(0, line.rfind(' ') + 1) + polyLine);
    };
    const std::string loopRecord =
        "face record " + std::to_string(plainFace + 1) + " of the 4 declared on line " + f +
        " (from line " + std::to_string(faceStarts[plainFace] + 1) +
        "): entry 1 of its loop 1 names poly-line ";
    struct Case {
        const char* what;
        std::string text;
        std::size_t line; // where the reader stops
        std::string refusal;
    };
    const Case cases[] = {
        {"no net text", "no grid in here\n", 1, "expected \"Version\" or \"Nodes\", found \"no\""},
        {"only its header", "Version 2", 1, "the text ends where \"Nodes\" was expected"},
        {"version past int", with(v2, 0, "Version 2147483648"), 1,
         "expected the version after \"Version\" (a whole number from 0 to 2147483647), found "
         "\"2147483648\""},
        {"a version newer than the reader", with(v7, 0, "Version 8"), 1,
         "version 8 is newer than this reader's 7"},
        {"Nodes past int", with(v2, 1, "Nodes 2147483648"), 2,
         "expected the node count after \"Nodes\" (a whole number from 0 to 2147483647), found "
         "\"2147483648\""},
        {"Nodes too small", with(v2, 1, "Nodes 10"), 33,
         "more records follow than the 10 nodes declared on line 2: found \"10\""},
        {"Nodes too large", with(v2, 1, "Nodes 12"), polyLines + 1,
         "expected the index of node record 12 of the 12 declared on line 2 (a whole number "
         "within the range of an int), found \"Polylines\""},
        {"Nodes with a sign", with(v2, 1, "Nodes +11"), 2,
         "expected the node count after \"Nodes\" (a whole number from 0 to 2147483647), found "
         "\"+11\""},
        {"cut after 5 of 11 nodes", cutAt(v2, 17), 18,
         "the text ends after 5 of the 11 nodes declared on line 2"},
        {"a node index with a decimal point", with(v2, 5, "1.5" + v2[5].substr(1)), 6,
         "expected the index" + node2 +
             " (a whole number within the range of an int), found \"1.5\""},
        {"a node numbered out of its place", with(v2, 5, "2" + v2[5].substr(1)), 6,
         "node record 2 of the 11 declared on line 2 is numbered 2, expected 1"},
        {"a coordinate that is no number", with(v2, 5, "1 abc" + v2[5].substr(v2[5].find(' ', 2))),
         6, "expected the x coordinate" + node2 + floatField + "\"abc\""},
        // A number was kept whole, and a line scanned to its end: a text of
        // 2 GB without line ends took 4.27 GB and half a minute.
        {"a coordinate of 65537 digits",
         with(v2, 5, "1 " + std::string(65537, '1') + v2[5].substr(v2[5].find(' ', 2))), 6,
         "expected the x coordinate" + node2 + floatField + "\"" + std::string(40, '1') + "...\""},
        {"a line past 16 MiB", with(v2, 5, v2[5] + std::string(std::size_t(1) << 24, ' ')), 6,
         "the line runs past 16777216 characters, more than a net text's line"},
        {"a normal beyond a float", with(v2, 5, v2[5].substr(0, v2[5].rfind(' ')) + " 1e39"), 6,
         "expected the normal's z" + node2 + floatField + "\"1e39\""},
        {"a direction flag of 2", with(v2, 6, "2\t1\t0 0 0"), 7,
         "expected the set flag of the first direction" + node2 + " (0 or 1), found \"2\""},
        // The next node's index and coordinates were read as a direction
        // (and before, its normal as the index and coordinates of a node).
        {"a direction line removed", without(v2, 6, 7), 8,
         "expected the set flag of the second direction" + node2 + " (0 or 1), found \"2\""},
        {"Polylines past int", with(v2, polyLines, "Polylines 2147483648"), polyLines + 1,
         "expected the poly-line count after \"Polylines\" (a whole number from 0 to 2147483647), "
         "found \"2147483648\""},
        {"cut after its Polylines line", cutAt(v2, polyLines + 1), polyLines + 2,
         "the text ends after 0 of the 7 poly-lines declared on line " + n},
        {"cut after 3 of 7 poly-lines", cutAt(v7, polyLines + 1 + 3 * 4), polyLines + 14,
         "the text ends after 3 of the 7 poly-lines declared on line " + n},
        {"Polylines too small", with(v2, polyLines, "Polylines 6"), polyLines + 1 + 6 * 3 + 1,
         "more records follow than the 6 poly-lines declared on line " + n + ": found \"2\""},
        {"Polylines too large", with(v7, polyLines, "Polylines 8"), lineIndex(v7, "Topology") + 1,
         "expected the point count of poly-line 8 of the 8 declared on line " + n +
             " (a whole number from 0 to 2147483647), found \"Topology\""},
        {"a point count past int", with(v2, polyLines + 1, "2147483648"), polyLines + 2,
         "expected the point count" + line1 +
             " (a whole number from 0 to 2147483647), found \"2147483648\""},
        {"a point count with a sign", with(v2, polyLines + 1, "-3"), polyLines + 2,
         "expected the point count" + line1 +
             " (a whole number from 0 to 2147483647), found \"-3\""},
        // The entries run into the next record's fields, or that record's
        // count is read as the last entry.
        {"a point count too small", with(v2, polyLines + 1, "2"), polyLines + 5,
         "expected the curve kind of poly-line 2 of the 7 declared on line " + n +
             " (1, or 2 before a curve), found \"3\""},
        {"a point count too large", with(v7, polyLines + 1, "4"), polyLines + 6,
         "expected the option flag" + line1 + " (0 or 1), found \"3\""},
        {"an entry with a decimal point",
         with(v2, polyLines + 3, "1.5" + v2[polyLines + 3].substr(1)), polyLines + 4,
         "expected entry 1 of the 3" + line1 +
             " (a whole number within the range of an int), found \"1.5\""},
        {"an entry past int", with(v2, polyLines + 3, "2147483648 1 2"), polyLines + 4,
         "expected entry 1 of the 3" + line1 +
             " (a whole number within the range of an int), found \"2147483648\""},
        {"a curve kind of 3", with(v2, polyLines + 2, " 3"), polyLines + 3,
         "expected the curve kind" + line1 + " (1, or 2 before a curve), found \"3\""},
        {"an option flag of 5", with(v7, polyLines + 4, "5"), polyLines + 5,
         "expected the option flag" + line1 + " (0 or 1), found \"5\""},
        {"cut before its Topology section", cutAt(v7, lineIndex(v7, "Topology")),
         lineIndex(v7, "Topology") + 1,
         "the text ends where \"Topology\" was expected (version 7 has the section)"},
        {"a face count past int", with(v7, faces4, "2147483648"), faces4 + 1,
         "expected the face count (a whole number from 0 to 2147483647), found \"2147483648\""},
        {"a face count of 0", with(v7, faces4, "0"), faceStarts[0] + 1,
         "expected the end of the text after the last of the 0 faces declared on line " + f +
             ", found \"GeoObject\""},
        {"a face count of 3", with(v7, faces4, "3"), faceStarts[3] + 1,
         "expected the end of the text after the last of the 3 faces declared on line " + f +
             ", found \"GeoObject\""},
        {"a face count of 5", with(v7, faces4, "5"), v7.size() + 1,
         "the text ends after 4 of the 5 faces declared on line " + f},
        {"cut after 2 of 4 face records", cutAt(v7, faceStarts[2]), faceStarts[2] + 1,
         "the text ends after 2 of the 4 faces declared on line " + f},
        {"a face record repeated", joined(addedFace), v7.size() + 1,
         "expected the end of the text after the last of the 4 faces declared on line " + f +
             ", found \"GeoObject\""},
        // Every field of a face record is read as the writer writes it: a
        // weight of 0 or -1, a decimal comma, a number added or split in a
        // control point were read (the point lost or moved), a state word
        // of no state read as Naked, a surface flag of 2 as none, and a
        // block whose end line was damaged took the rest of the text along.
        {"a weight of 0", pointWith("   1.0000000000000000", " 0"), point + 1,
         surfaceRecord + "the weight of control point 1,1 is 0, a weight is a positive number"},
        {"a weight of -1", pointWith("   1.0000000000000000", " -1"), point + 1,
         surfaceRecord + "the weight of control point 1,1 is -1, a weight is a positive number"},
        {"a decimal comma", pointWith("0.0428571428571429", "0,0428571428571429"), point + 1,
         surfaceRecord + "control point 1,1 has 4 coordinates, a control point has 3"},
        {"a number added", pointWith(" ]", ", 7 ]"), point + 1,
         surfaceRecord + "control point 1,1 has 4 coordinates, a control point has 3"},
        {"a number split", pointWith("0.0333333333333333", "0.03333 33333333333"), point + 1,
         surfaceRecord + "control point 1,1 has 4 coordinates, a control point has 3"},
        {"a state word of no state", with(v7, state, "Draught"), state + 1,
         surfaceRecord + "expected the requested state of a face record (a state word), found "
                         "\"Draught\""},
        {"a surface flag of 2", with(v7, state + 2, "2"), state + 3,
         surfaceRecord + "expected the surface flag of a face record (0 or 1), found \"2\""},
        {"a block's end line damaged", with(v7, state - 1, "GeoObject Ent"), state,
         surfaceRecord + "expected \"GeoObject End\" in a geometry object, found "
                         "\"GeoObject Ent\""},
        // A loop's poly-line reference beyond the text's poly-lines or
        // negative was taken unchecked.
        {"a loop naming poly-line 7", entryWith("7"), faceStarts[plainFace] + 1,
         loopRecord + "7, but the text has 7"},
        {"a loop naming poly-line -1", entryWith("-1"), faceStarts[plainFace] + 1,
         loopRecord + "-1, but the text has 7"},
        {"a layer that is no number", with(v7, state - 2, "Layer one"), state - 1,
         surfaceRecord + "expected \"Layer\" and its number or \"GeoObject End\" in a geometry "
                         "object, found \"Layer one\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CSurfaceNet in;
        mwtest::polyLine(in, {mwtest::gridPoint(5.f, 5.f), mwtest::gridPoint(6.f, 5.f)});
        std::istringstream is(c.text);
        bool read = true;
        const std::string printed = mwtest::capturedStdout([&] { read = in.read(is); });
        EXPECT_FALSE(read);
        EXPECT_EQ(in.getNumPointLists(), 1);
        EXPECT_EQ(faceCount(in), 0);
        EXPECT_EQ(printed, "line " + std::to_string(c.line) + ": " + c.refusal +
                               ": the text is refused.\n");
    }
    // A face record in place of another names the corners of a face that
    // record already took: the face it replaced is lost, and the read says
    // so. (Two records alike are two regions between the same corners
    // along the same poly-lines, which a drawing may hold.)
    {
        CSurfaceNet in;
        std::istringstream is(joined(replacedFace));
        bool read = true;
        const std::string printed = mwtest::capturedStdout([&] { read = in.read(is); });
        EXPECT_FALSE(read);
        EXPECT_EQ(in.lostStoredFaces(), 1);
        EXPECT_NE(printed.find("failed to relocate the loop of 1 stored face"), std::string::npos);
    }
    // Cut after any of its lines, each text is refused on a line no later
    // than the one after the cut (a curve's or face's own reader may say
    // first what it missed).
    for (const std::vector<std::string>* lines : {&v2, &v7})
        for (std::size_t at = 0; at < lines->size(); ++at) {
            const std::string kept = cutAt(*lines, at);
            const std::string rest = joined(*lines).substr(kept.size());
            if (rest.find_first_not_of(" \n") == std::string::npos)
                continue;
            SCOPED_TRACE("cut after line " + std::to_string(at) + " of version " + (*lines)[0]);
            CSurfaceNet in;
            std::istringstream is(kept);
            bool read = true;
            const std::string printed = mwtest::capturedStdout([&] { read = in.read(is); });
            EXPECT_FALSE(read);
            EXPECT_EQ(in.getNumPointLists(), 0);
            const std::string last = linesOf(printed).empty() ? "" : linesOf(printed).back();
            ASSERT_EQ(last.rfind("line ", 0), 0u) << printed;
            EXPECT_LE(std::stoul(last.substr(5)), at + 1) << printed;
            EXPECT_EQ(last.find(": the text is refused."), last.size() - 22) << printed;
        }
}

// Strokes joined back and forth along one path: the third join would make
// the poly-line 0 1 2 1 0 1 2, more entries than twice its points, which the
// net text refuses; it is not made, and the net as it stands is written and
// read back whole. Before, the join was made, the net was saved, and its
// text was refused on reading (a document holding it opened without its
// net).
TEST(NetText, JoinOfStrokesBackAndForthThatNoTextHoldsIsNotMade)
{
    CSurfaceNet net;
    net.pickRadius = 0.2;
    CGridPoint* p[3];
    for (int i = 0; i < 3; ++i) {
        p[i] = mwtest::gridPoint(float(i), 0.f);
        p[i]->normal.data[2] = 1.f;
    }
    COffset_PointList* first = mwtest::polyLine(net, {p[0], p[1], p[2]});
    mwtest::polyLine(net, {p[2], p[1], p[0]});
    mwtest::capturedStdout([&] { EXPECT_TRUE(net.joinAtPoint(p[2])); });
    ASSERT_EQ(net.getNumPointLists(), 1);
    ASSERT_EQ(first->getCount(), 5); // there and back: each point twice at most
    mwtest::polyLine(net, {p[0], p[1], p[2]});
    const int undoItems = net.undoList.count;
    EXPECT_EQ(mwtest::capturedStdout([&] { EXPECT_TRUE(net.joinAtPoint(p[0])); }),
              "not joined: the poly-line would pass its 3 points 7 times, a poly-line passes a "
              "point twice at most\n");
    EXPECT_EQ(net.getNumPointLists(), 2);
    EXPECT_EQ(first->getCount(), 5);
    EXPECT_EQ(net.undoList.count, undoItems);

    const std::string text = written(net);
    CSurfaceNet back;
    std::istringstream in(text);
    bool whole = false;
    mwtest::capturedStdout([&] { whole = back.read(in); });
    EXPECT_TRUE(whole);
    ASSERT_EQ(back.getNumPointLists(), 2);
    EXPECT_EQ(back.getPointList(0)->getCount(), 5);
    EXPECT_EQ(back.getPointList(1)->getCount(), 3);
    EXPECT_EQ(written(back), text);
}

// A net text imported from a file: the face displays taken from the net that
// read it colour their error points by the importing net's colour coding.
// They kept the reading net's, which went with that net when the import
// returned.
TEST(NetText, ImportedFaceDisplaysTakeTheImportingNetsColourCoding)
{
    HashNet hash;
    std::vector<GB::Face*> faces = hash.faces();
    faces[0]->requestedState = Trimmed;
    auto* trimmed = new CFace(bumpPatch(0.375));
    faces[0]->surface = trimmed->surface;
    hash.net.updateFaceDisplay(trimmed, faces[0]->firstLoop, true);
    const std::string path = mwtest::scratchPath("trimmed.grid");
    std::ofstream(path) << written(hash.net);

    CSurfaceNet net;
    bool read = false;
    mwtest::capturedStdout([&] { read = net.readFile(path.c_str()); });
    ASSERT_TRUE(read);
    int faceDisplays = 0;
    for (COpenGLEntity* entity : net.displayContainer.entities)
        if (auto* display = dynamic_cast<COpenGLFace*>(entity)) {
            EXPECT_EQ(display->colourMap, net.faceColorCoding.get());
            ++faceDisplays;
        }
    EXPECT_EQ(faceDisplays, 1);
}

// Over a mesh, a point of a poly-line lies near it: a node more than a
// thousand times the mesh's size from its box is refused. Before, such a
// text of a few hundred bytes was fitted at coordinates whose float steps
// outgrew the tolerance (a node at 1e9 over a mesh of size 100: seconds and
// 600 MB). Without a mesh nothing is measured.
TEST(NetText, NodesThousandsOfMeshSizesFromTheMeshAreRefused)
{
    CFlatMesh mesh;
    mwtest::fillFlatMesh(mwtest::gridSoup(2, 2, 0.5, 0.5, true), mesh); // diagonal sqrt(2)
    const double diagonal = std::sqrt(2.0);
    const struct {
        double sizes; // the second node's distance from the box in diagonals
        bool overMesh, read;
    } cases[] = {{0.5, true, true},     {999.0, true, true}, {1001.0, true, false},
                 {1e7, true, false},    {1e7, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.sizes) + (c.overMesh ? " over the mesh" : " alone"));
        std::ostringstream text;
        text.precision(17);
        text << "Version 2\nNodes 2\n0 0.5 0.5 0 0 0 1\n0\t0\t0 0 0\n0\t0\t0 0 0\n1 0.5 -"
             << c.sizes * diagonal << " 0 0 0 1\n0\t0\t0 0 0\n0\t0\t0 0 0\nPolylines 1\n2\n 1\n0 1\n";
        CSurfaceNet net;
        if (c.overMesh)
            net.setMesh(&mesh);
        std::istringstream in(text.str());
        bool read = false;
        const std::string printed = mwtest::capturedStdout([&] { read = net.read(in); });
        EXPECT_EQ(read, c.read) << printed;
        EXPECT_EQ(net.getNumPointLists(), c.read ? 1 : 0);
        if (!c.read) {
            EXPECT_EQ(printed.rfind("line 6: node record 2 lies ", 0), 0u) << printed;
            EXPECT_NE(printed.find(" from the mesh's box, more than 1000 times its diagonal of "
                                   "1.41421: the text is refused.\n"),
                      std::string::npos)
                << printed;
        }
    }
}

} // namespace
