// The skin over trim curves: curve ends merged within the match tolerance,
// shared edges paired, edges cut where another face's corner lies on them
// (and linked back when the skin goes), closed skins and non-manifold
// edges.
#include "healing/SkinTopology.h"

#include "SkinTestSupport.h"
#include "curves/ParCurve.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

namespace {

using FENWO_SKIN::CSkinTopology;
using skintest::Faces;
using skintest::insetRectangle;
using skintest::rectangle;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

int countPartners(const CSkinTopology& skin, int partnerCount)
{
    int n = 0;
    for (CSkinTopology::CHalfEdge* h : skin.halfEdgesInOrder)
        n += h->partnerCount == partnerCount ? 1 : 0;
    return n;
}

// Whether the curve runs along x = x0 (both ends there).
bool runsAlongX(CParametricGeometry* c, double x0)
{
    return std::fabs(c->getStartPoint()[0] - x0) < 1e-9 &&
           std::fabs(c->getEndPoint()[0] - x0) < 1e-9;
}

// Curve ends within the match tolerance make one vertex, and the edge
// between them a pair; farther apart they do not. Two faces whose
// neighbourhood is known and shares no side (two regions of a net across a
// slot) are not paired however close their edges run, and the healing
// leaves them as they are: it moved the second face's edge across the slot.
// A sheet B over A (both sides of a thin part) runs along the side A shares
// with C, its corners in A's vertices: listed before A and C, its curve was
// the first that ran along theirs, was turned down as no neighbour's, and
// A and C were left unpaired and unhealed; in every order they now pair,
// and the heal closes their seam and leaves B.
TEST(Skin, SharedEdgeIsPairedWhenItsEndsLieWithinTheMatchTolerance)
{
    const ScopedEnv logging("FENWO_LOGGING", "1");
    const double tol = 0.1;
    enum Known { byNearness, nothing, sideAC };
    const struct {
        double offset;     // of face C, in tolerances
        const char* order; // of the faces A, C beside it and B 0.05 over A
        int vertices;
        int pairs;
        Known known = byNearness;
    } cases[] = {
        {0.4, "AC", 6, 1},          {1.1, "AC", 8, 0},          {0.4, "AC", 6, 0, nothing},
        {0.4, "ABC", 6, 1, sideAC}, {0.4, "ACB", 6, 1, sideAC}, {0.4, "BAC", 6, 1, sideAC},
        {0.4, "BCA", 6, 1, sideAC}, {0.4, "CAB", 6, 1, sideAC}, {0.4, "CBA", 6, 1, sideAC}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << " " << c.order);
        Faces faces;
        std::map<char, CFace*> face;
        for (const char* f = c.order; *f != '\0'; ++f)
            face[*f] = faces.add(*f == 'A'   ? insetRectangle(0, 0, 1, 1, 0.0, 0.25)
                                 : *f == 'B' ? insetRectangle(0, 0, 1, 1, 0.05, 0.25)
                                             : insetRectangle(1, 0, 2, 1, c.offset * tol, 0.25));
        const int halfEdges = 4 * faces.list.count;
        CSkinTopology skin;
        FENWO_SKIN::FaceNeighbours known;
        if (c.known == sideAC)
            known.addSide(face['A'], face['C']);
        if (c.known != byNearness)
            skin.neighbours = &known;
        Kor::List<CParametricGeometry*> curves;
        CaptureStdout();
        ASSERT_TRUE(skintest::buildOver(skin, faces.list, tol, curves));
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(skin.vertices.count, c.vertices);
        EXPECT_EQ(skin.halfEdges.count, halfEdges);
        EXPECT_EQ(countPartners(skin, 1), 2 * c.pairs);
        EXPECT_EQ(countPartners(skin, 0), halfEdges - 2 * c.pairs);
        EXPECT_NE(out.find("skin has " + std::to_string(c.pairs) + " inner edges "),
                  std::string::npos)
            << out;
        const Kor::List<CSkinTopology::CHalfEdge*> pairs = skin.getInnerEdgePairs();
        ASSERT_EQ(pairs.count, c.pairs);
        if (c.pairs == 1) {
            CSkinTopology::CHalfEdge* h = pairs[0];
            EXPECT_EQ(h->partner->partner, h);
            EXPECT_TRUE(runsAlongX(h->curve, 1.0) && runsAlongX(h->partner->curve, 1.0));
            const CFace *a = skin.faceOfCurve(h->curve), *b = skin.faceOfCurve(h->partner->curve);
            EXPECT_TRUE((a == face['A'] && b == face['C']) || (a == face['C'] && b == face['A']));
            EXPECT_NE(h->origin, h->partner->origin);
            EXPECT_EQ(h->target, h->partner->origin);
        }
        if (c.known == byNearness)
            continue;
        // Healed, the faces that share a side meet; the others stay.
        const auto point = [](CFace* f) { return f->surface->getPoint(0.5, 0.5); };
        const Vector before = point(face['C']);
        const Vector sheet = face.count('B') != 0 ? point(face['B']) : Vector();
        CaptureStdout();
        EXPECT_TRUE(skin.healFaces(0.01, nullptr, 0));
        GetCapturedStdout();
        if (c.known == nothing) {
            EXPECT_EQ(norm(point(face['C']) - before), 0.0);
            EXPECT_EQ(face['A']->spareFlag + face['C']->spareFlag, 0);
            continue;
        }
        Kor::List<CFace*> seam;
        seam.append(face['A']);
        seam.append(face['C']);
        EXPECT_LT(skintest::largestEdgeGap(seam, 0.5, 0.01), 0.01);
        EXPECT_EQ(face['B']->spareFlag, 0);
        EXPECT_EQ(norm(point(face['B']) - sheet), 0.0);
    }
}

// A corner on an edge cuts it into pieces that go with the skin: a face
// that still holds the edge gets it linked in its loop again; a face healed
// meanwhile, whose loop took a curve for each piece (replaceFaceCurves),
// gets those curves joined back into one, so that it keeps one curve a side
// (it kept both, and its Brep had five edges on a region of four sides).
TEST(Skin, CornerOnAnEdgeCutsItIntoPiecesThatJoinBackIntoOneSideWhenTheSkinGoes)
{
    for (bool healed : {false, true}) {
        SCOPED_TRACE(healed ? "healed" : "not healed");
        Faces faces;
        CFace* wide = faces.add(rectangle(0, 0, 2, 1));
        faces.add(rectangle(0, 1, 1, 2));
        faces.add(rectangle(1, 1, 2, 2));
        Kor::List<CParCurve*> loop = wide->trimLoops[0]->curves;
        {
            CSkinTopology skin;
            Kor::List<CParametricGeometry*> curves;
            ASSERT_TRUE(skintest::buildOver(skin, faces.list, 0.05, curves));
            EXPECT_EQ(curves.count, 13);
            EXPECT_EQ(skin.vertices.count, 8);
            EXPECT_EQ(countPartners(skin, 1), 6);
            // The wide face's top edge is gone from the list; its two pieces
            // pair with the bottom edges of the two squares above.
            int pieces = 0;
            for (CSkinTopology::CHalfEdge* h : skin.getInnerEdgePairs()) {
                CParametricGeometry* mine = skin.faceOfCurve(h->curve) == wide ? h->curve
                                            : skin.faceOfCurve(h->partner->curve) == wide
                                                ? h->partner->curve
                                                : nullptr;
                if (mine == nullptr)
                    continue;
                ++pieces;
                EXPECT_FALSE(loop.contains(static_cast<CParCurve*>(mine)));
                EXPECT_NEAR(mine->getStartPoint()[1], 1.0, 1e-9);
                EXPECT_NEAR(std::fabs(mine->getEndPoint()[0] - mine->getStartPoint()[0]), 1.0,
                            1e-9);
            }
            EXPECT_EQ(pieces, 2);
            const Kor::List<CCONS*> chain = skin.getFaceCurves(wide);
            ASSERT_EQ(chain.count, 5);
            for (int i = 0; i < chain.count; ++i)
                EXPECT_EQ(chain[i]->getNext(), chain[(i + 1) % chain.count]);
            if (healed) {
                // The healing's new loop: a straight (u, v) curve for each
                // curve of the chain, the pieces included.
                auto* fresh = new CLoop();
                for (CCONS* c : chain) {
                    const Vector a = c->getStartUVPoint(), b = c->getEndUVPoint();
                    const double p[3] = {a[0], a[1], 0.0}, q[3] = {b[0], b[1], 0.0};
                    fresh->curves.append(new CParCurve(makeCurve(p, q), wide->surface, false));
                }
                ASSERT_TRUE(skin.replaceFaceCurves(skin.findHalfEdge(chain[0]), *fresh));
                ASSERT_TRUE(wide->setOuterLoop(fresh));
                EXPECT_EQ(wide->trimLoops[0]->getCard(), 5);
            }
        }
        CLoop& now = *wide->trimLoops[0];
        if (!healed) {
            // The face's own curves are linked in their loop again.
            for (int i = 0; i < loop.count; ++i) {
                EXPECT_EQ(loop[i]->getNext(), loop[(i + 1) % loop.count]);
                EXPECT_EQ(loop[(i + 1) % loop.count]->getPrevious(), loop[i]);
            }
            continue;
        }
        // Four curves, one of them the whole top side, linked and closed.
        ASSERT_EQ(now.getCard(), 4);
        int top = 0;
        for (int i = 0; i < 4; ++i) {
            CParCurve* c = now.getCurve(i);
            EXPECT_EQ(c->getNext(), now.getCurve(i + 1));
            const Vector a = c->getStartPoint(), b = c->getEndPoint();
            top += std::fabs(a[1] - 1.0) < 1e-9 && std::fabs(b[1] - 1.0) < 1e-9 &&
                   std::fabs(std::fabs(b[0] - a[0]) - 2.0) < 1e-9;
        }
        EXPECT_EQ(top, 1);
        EXPECT_TRUE(now.checkGaps(1e-9));
    }
}

// At the match tolerance the heal takes from the shortest curves (three
// quarters of them), a face's corner across from a side may lie within it
// of that side, away from its ends: in a sheared cell cut by its long
// diagonal (a cell of a net on a slanted spot), the obtuse corners lie 0.55
// from the diagonal, 0.83 and more from its ends, at a tolerance of 0.75.
// Taken for points on it, they cut the diagonals of both triangles, and the
// pieces paired with the cell's sides ("overwriting a Partner!"): on nets
// with a diagonal, 3-sided faces got Breps of 5 edges and their heal
// failed. A neighbour's corner on a side (a T-junction) still cuts it at
// that tolerance, also where the curves of an unhealed net let it lie 0.4
// off the side, a third of its distance from the side's ends.
TEST(Skin, CornerAcrossFromASideIsNoPointOfIt)
{
    // x = 2 u, y = 4 v.
    const auto plane = []() {
        return skintest::bilinear(Vector(0, 0, 0), Vector(2, 0, 0), Vector(0, 4, 0),
                                  Vector(2, 4, 0));
    };
    const struct {
        const char* layout;
        std::vector<std::vector<std::array<double, 2>>> faces; // (u, v) corners on the plane
        int curves; // after the build: a side cut at a T-join gives two
        int vertices;
        int pairs;
    } cases[] = {
        {"sheared cell cut by its long diagonal",
         {{{0, 0}, {0.5, 0}, {0.75, 0.25}}, {{0, 0}, {0.75, 0.25}, {0.25, 0.25}}},
         6,
         4,
         1},
        {"wide face below two cells",
         {{{0, 0}, {1, 0}, {1, 0.25}, {0, 0.25}},
          {{0, 0.25}, {0.5, 0.25}, {0.5, 0.625}, {0, 0.625}},
          {{0.5, 0.25}, {1, 0.25}, {1, 0.625}, {0.5, 0.625}}},
         13,
         8,
         3},
        {"wide face below two cells whose corner lies off its side",
         {{{0, 0}, {1, 0}, {1, 0.25}, {0, 0.25}},
          {{0, 0.25}, {0.5, 0.35}, {0.5, 0.625}, {0, 0.625}},
          {{0.5, 0.35}, {1, 0.25}, {1, 0.625}, {0.5, 0.625}}},
         13,
         8,
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        Faces faces;
        for (const auto& corners : c.faces)
            faces.add(skintest::trimmedPolygon(plane(), corners));
        CSkinTopology skin;
        Kor::List<CParametricGeometry*> curves;
        CaptureStdout();
        ASSERT_TRUE(skintest::buildOver(skin, faces.list, 0.75, curves));
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(out.find("overwriting a Partner"), std::string::npos) << out;
        EXPECT_EQ(curves.count, c.curves);
        EXPECT_EQ(skin.vertices.count, c.vertices);
        EXPECT_EQ(countPartners(skin, 1), 2 * c.pairs);
        EXPECT_EQ(countPartners(skin, 2), 0);
    }
}

TEST(Skin, ClosedSkinPairsEveryCurveAndAThirdFaceOnAnEdgeIsNonManifold)
{
    for (bool fin : {false, true}) {
        SCOPED_TRACE(fin);
        Faces faces;
        auto face = [&](Vector o, Vector u, Vector v) {
            faces.add(new CFace(skintest::bilinear(o, o + u, o + v, o + u + v)));
        };
        const Vector X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1), O(0, 0, 0);
        face(O, Y, X);
        face(Z, X, Y);
        face(O, X, Z);
        face(Y, Z, X);
        face(O, Z, Y);
        face(X, Y, Z);
        if (fin)
            face(O, X, -1.0 * Y);
        CSkinTopology skin;
        Kor::List<CParametricGeometry*> curves;
        CaptureStdout();
        ASSERT_TRUE(skintest::buildOver(skin, faces.list, 0.01, curves));
        const std::string out = GetCapturedStdout();
        EXPECT_EQ(out.find("skipping this curve"), std::string::npos) << out;
        EXPECT_EQ(skin.vertices.count, fin ? 10 : 8);
        EXPECT_EQ(skin.halfEdges.count, fin ? 28 : 24);
        EXPECT_EQ(out.find("overwriting a Partner") != std::string::npos, fin) << out;
        EXPECT_EQ(countPartners(skin, 2), fin ? 1 : 0);
        EXPECT_EQ(countPartners(skin, 1), fin ? 24 : 24);
        EXPECT_EQ(countPartners(skin, 0), fin ? 3 : 0);
    }
}

} // namespace
