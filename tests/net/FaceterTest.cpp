// The tessellation of trimmed faces: coverage, watertightness and
// orientation of the facets, the counts of the tessellation methods, the
// scan-line fallback, the messages of the cut-cell walk, and the face
// services built on the tessellation (area, look-up mesh, samples, picture).
#include "net/Faceter.h"
#include "curves/ParCurve.h"
#include "foundation/PlanarGeometry.h"
#include "foundation/Random15.h"
#include "foundation/VertexList.h"
#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "net/Face.h"
#include "net/IsoParameters.h"

#include "support/AnalyticCurves.h"
#include "support/GLView.h"
#include "support/NurbsFixtures.h"
#include "support/ReadPng.h"
#include "support/ScopedEnv.h"
#include "support/ScratchDir.h"

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using UV = std::pair<double, double>;

// The closed polygon through the corners, one straight trim curve a side.
CLoop* polygonLoop(CParametricGeometry* s, const std::vector<UV>& corners)
{
    auto* loop = new CLoop();
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const UV &a = corners[i], &b = corners[(i + 1) % corners.size()];
        const double pa[3] = {a.first, a.second, 0.0}, pb[3] = {b.first, b.second, 0.0};
        loop->curves.append(new CParCurve(makeCurve(pa, pb), s, false));
    }
    return loop;
}

// The circle of radius r about (cu, cv) in (u, v) as one rational trim curve.
CLoop* circleLoop(CParametricGeometry* s, double cu, double cv, double r)
{
    auto* loop = new CLoop();
    auto uv = rationalArc(Vector(cu, cv, 0.0), Vector(1, 0, 0), Vector(0, 1, 0), r, 4);
    loop->curves.append(new CParCurve(uv.release(), s, false));
    return loop;
}

// A bicubic bowl over [0, 1]^2 (5 x 5 control points, x = u and y = v at
// the control points), curved along every iso line.
Fenwo::NurbsSurf* bowl()
{
    const knots k(4, 3, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            const double x = i / 4.0, y = j / 4.0;
            s->setControlPoint(i, j,
                               Vector(x, y, 0.8 * ((x - 0.5) * (x - 0.5) + (y - 0.4) * (y - 0.4))));
        }
    return s;
}

// A face on the bowl with the outer loop and the holes (each made on the
// face's surface).
std::unique_ptr<CFace> bicubicFace(CLoop* (*outer)(CParametricGeometry*),
                                   std::vector<CLoop* (*)(CParametricGeometry*)> holes = {})
{
    auto face = std::make_unique<CFace>(bowl(), nullptr);
    face->setOuterLoop(outer(face->surface));
    for (auto hole : holes)
        face->addTrimLoop(hole(face->surface));
    return face;
}

CLoop* circle(CParametricGeometry* s)
{
    return circleLoop(s, 0.5, 0.5, 0.37);
}
CLoop* square(CParametricGeometry* s)
{
    return polygonLoop(s, {{0.05, 0.06}, {0.93, 0.06}, {0.93, 0.95}, {0.05, 0.95}});
}
CLoop* squareHole(CParametricGeometry* s)
{
    return polygonLoop(s, {{0.36, 0.33}, {0.36, 0.61}, {0.67, 0.61}, {0.67, 0.33}});
}
CLoop* circleHole(CParametricGeometry* s)
{
    return circleLoop(s, 0.52, 0.47, 0.18);
}

using Facet = std::vector<UV>;

// Shoelace area, positive for counter-clockwise corners.
double areaOf(const Facet& p)
{
    double a = 0.0;
    for (std::size_t k = 0; k < p.size(); ++k) {
        const UV &c = p[k], &d = p[(k + 1) % p.size()];
        a += c.first * d.second - d.first * c.second;
    }
    return 0.5 * a;
}

double polygonArea(const CVertexList& p)
{
    Facet corners;
    for (int k = 0; k < p.getCount(); ++k)
        corners.push_back({(*p.getVertex(k))[0], (*p.getVertex(k))[1]});
    return areaOf(corners);
}

std::vector<Facet> facetsOf(const CFaceter& f)
{
    std::vector<Facet> out;
    for (const quadDataType& q : f.quads)
        out.push_back({{q.u[0], q.v[0]}, {q.u[1], q.v[1]}, {q.u[2], q.v[2]}, {q.u[3], q.v[3]}});
    for (const triDataType& t : f.triangles)
        out.push_back({{t.u[0], t.v[0]}, {t.u[1], t.v[1]}, {t.u[2], t.v[2]}});
    return out;
}

// Corners closer than 1e-9 in (u, v) become one vertex.
struct Welded {
    double tolerance = 1e-9;
    std::vector<UV> points;
    std::unordered_map<long long, int> cells; // by cell, the first point in it

    int id(const UV& p)
    {
        const long long cu = std::llround(p.first / tolerance);
        const long long cv = std::llround(p.second / tolerance);
        for (long long du = -1; du <= 1; ++du)
            for (long long dv = -1; dv <= 1; ++dv) {
                auto found = cells.find(key(cu + du, cv + dv));
                if (found != cells.end() &&
                    std::hypot(points[found->second].first - p.first,
                               points[found->second].second - p.second) < tolerance)
                    return found->second;
            }
        points.push_back(p);
        return cells[key(cu, cv)] = int(points.size()) - 1;
    }
    static long long key(long long cu, long long cv) { return cu * 1000003LL + cv; }
};

// Point p inside the convex facet (counter-clockwise), by the signs of the
// edge cross products.
bool covers(const std::vector<UV>& f, const UV& p)
{
    for (std::size_t k = 0; k < f.size(); ++k) {
        const UV& a = f[k];
        const UV& b = f[(k + 1) % f.size()];
        if ((b.first - a.first) * (p.second - a.second) -
                (b.second - a.second) * (p.first - a.first) <
            0.0)
            return false;
    }
    return true;
}

CVertex<double, 3> vertex(const UV& p)
{
    return CVertex<double, 3>(p.first, p.second, 0.0);
}

// The iso values of the distance road as facetFace uses them.
void isoValues(CFace& face, Vector& U, Vector& V)
{
    isoParametersForDistance(face.surface, face.MeshDistance, U, V);
    for (Vector* W : {&U, &V}) {
        const int n = W->size();
        (*W)[0] += 0.1 * ((*W)[1] - (*W)[0]);
        (*W)[n - 1] -= 0.1 * ((*W)[n - 1] - (*W)[n - 2]);
    }
}

} // namespace

TEST(FacetFace, CountsAndCornerOrderOfEachMethod)
{
    // A face without trim loops: the cells of its sample parameters,
    // counter-clockwise whatever its sense.
    for (bool reversed : {false, true}) {
        CFace face(bowl());
        face.trimLoops.deleteAll();
        face.sense = reversed;
        Vector U, V;
        face.surface->getUSampleParameters(U);
        face.surface->getVSampleParameters(V);
        CFaceter f;
        EXPECT_EQ(f.facetFace(face), (U.size() - 1) * (V.size() - 1));
        EXPECT_EQ(f.quads.count, (U.size() - 1) * (V.size() - 1));
        EXPECT_EQ(f.triangles.count, 0);
        for (const Facet& q : facetsOf(f))
            EXPECT_GT(areaOf(q), 0.0);
    }

    // The same trimmed face forwards and reversed, by each method.
    for (int type : {0, 17, 1, 32}) {
        std::unique_ptr<CFace> face[2] = {bicubicFace(circle), bicubicFace(circle)};
        CFaceter f[2];
        int result[2];
        for (int r = 0; r < 2; ++r) {
            face[r]->MeshType = type;
            face[r]->MeshArcTol = 0.005;
            face[r]->MeshDistance = 0.03;
            face[r]->sense = r == 1;
            result[r] = f[r].facetFace(*face[r]);
        }
        const int N = face[0]->uvPolygon.getCount();
        EXPECT_EQ(result[0], result[1]);
        if (type == 0) {
            EXPECT_EQ(result[0], 0);
            EXPECT_EQ(f[0].triangles.count, N - 2);
        } else if (type == 32) {
            EXPECT_GE(result[0], 10);
            EXPECT_EQ(f[0].quads.count + f[0].triangles.count, 0);
            EXPECT_GT(f[0].scanSegments.count, 0);
        } else {
            EXPECT_EQ(result[0], f[0].quads.count);
            EXPECT_GT(f[0].quads.count, 20);
        }
        ASSERT_EQ(f[1].quads.count, f[0].quads.count);
        ASSERT_EQ(f[1].triangles.count, f[0].triangles.count);
        for (int k = 0; k < f[0].quads.count; ++k)
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(f[1].quads[k].u[c], f[0].quads[k].u[3 - c]);
                EXPECT_EQ(f[1].quads[k].v[c], f[0].quads[k].v[3 - c]);
            }
        for (int k = 0; k < f[0].triangles.count; ++k) {
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(f[1].triangles[k].u[c], f[0].triangles[k].u[2 - c]);
                EXPECT_EQ(f[1].triangles[k].v[c], f[0].triangles[k].v[2 - c]);
            }
            EXPECT_GE(areaOf(facetsOf(f[0])[f[0].quads.count + k]), -1e-15);
        }
    }
}

// Coverage of the trim polygon: facets that sum to its area, lie inside it
// and do not overlap, a quad for every whole cell. The calls run on faces
// whose polygon is already built, which facetFace must not run twice; the
// hole on the left is bridged by a slit whose two edges cross each u line
// at one place, the one on top by a slit that crosses the v lines.
TEST(FacetFace, CoverageAndSlitCrossingsThatBoundTheirOwnSide)
{
    auto holeLeft = +[](CParametricGeometry* s) { return circleLoop(s, 0.2, 0.5, 0.1); };
    auto holeTop = +[](CParametricGeometry* s) { return circleLoop(s, 0.5, 0.8, 0.1); };
    auto octagon = +[](CParametricGeometry* s) {
        return polygonLoop(s, {{0.05, 0.06},
                               {0.5, 0.03},
                               {0.93, 0.06},
                               {0.96, 0.5},
                               {0.93, 0.95},
                               {0.5, 0.97},
                               {0.05, 0.95},
                               {0.03, 0.5}});
    };
    const std::vector<std::unique_ptr<CFace>> faces = [&] {
        std::vector<std::unique_ptr<CFace>> v;
        v.push_back(bicubicFace(circle));
        v.push_back(bicubicFace(square, {squareHole}));
        v.push_back(bicubicFace(octagon, {holeLeft}));
        v.push_back(bicubicFace(octagon, {holeTop}));
        return v;
    }();
    for (const auto& face : faces) {
        face->MeshType = 1;
        face->MeshDistance = 0.03;
        CFaceter f;
        f.facetFace(*face);
        const CVertexList& polygon = face->uvPolygon;
        const std::vector<Facet> facets = facetsOf(f);
        double sum = 0.0;
        for (const Facet& p : facets) {
            sum += areaOf(p);
            EXPECT_GE(areaOf(p), -1e-15);
            const UV c{(p[0].first + p[1].first + p[2].first) / 3,
                       (p[0].second + p[1].second + p[2].second) / 3};
            EXPECT_TRUE(p.size() == 4 || areaOf(p) < 1e-12 || polygon.isInside(vertex(c), true));
        }
        EXPECT_NEAR(sum, polygonArea(polygon), 1e-9);
        // Points inside the polygon are covered exactly once, others never.
        for (int k = 0; k < 4000; ++k) {
            const UV p{(k % 63 + 0.5) / 63.0 + 1e-4 * std::sin(k), (k / 63 + 0.5) / 63.5};
            int covering = 0;
            for (const Facet& facet : facets)
                covering += covers(facet, p) ? 1 : 0;
            EXPECT_EQ(covering, polygon.isInside(vertex(p), false) ? 1 : 0)
                << p.first << " " << p.second;
        }
        // Every cell that no polygon edge touches and that lies inside is a quad.
        Vector U, V;
        isoValues(*face, U, V);
        std::map<UV, int> quads;
        for (const quadDataType& q : f.quads)
            ++quads[{q.u[0], q.v[0]}];
        int whole = 0;
        for (int i = 0; i + 1 < U.size(); ++i)
            for (int j = 0; j + 1 < V.size(); ++j) {
                const UV c[4] = {
                    {U[i], V[j]}, {U[i + 1], V[j]}, {U[i + 1], V[j + 1]}, {U[i], V[j + 1]}};
                bool inside = polygon.isInside(vertex(c[0]), false);
                for (int e = 0; e < 4 && inside; ++e) {
                    Kor::Set<double> crossings;
                    polygon.segmentCrossParams(vertex(c[e]), vertex(c[(e + 1) % 4]), crossings);
                    inside = crossings.count == 0;
                }
                whole += inside;
                EXPECT_EQ(quads.count({U[i], V[j]}), inside ? 1u : 0u) << i << " " << j;
            }
        EXPECT_EQ(whole, f.quads.count);
    }
}

namespace {

// Distance from p to the poly-line through pts (closed when asked).
double distanceToPolyline(const Vector& p, const std::vector<Vector>& pts)
{
    double best = 1e300;
    for (std::size_t k = 0; k + 1 < pts.size(); ++k) {
        const Vector d = pts[k + 1] - pts[k];
        const double len2 = dot(d, d);
        const double t = len2 > 0.0 ? std::clamp(dot(p - pts[k], d) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, norm(p - (pts[k] + t * d)));
    }
    return best;
}

} // namespace

// Every facet edge inside the face is shared by two facets running opposite
// ways, the slit's included; the rest forms the outer loop and the hole, and
// stays within MeshDistance of the trim curves in space.
TEST(FacetFace, WatertightAlongTheTrimAndAcrossTheSlit)
{
    for (int type : {17, 1}) {
        std::unique_ptr<CFace> face = bicubicFace(square, {circleHole});
        face->MeshType = type;
        face->MeshArcTol = 0.01;
        face->MeshDistance = 0.01;
        CFaceter f;
        ASSERT_GT(f.facetFace(*face), 20);
        Welded w;
        std::map<std::pair<int, int>, int> edges;
        for (const Facet& facet : facetsOf(f))
            for (std::size_t k = 0; k < facet.size(); ++k) {
                const int a = w.id(facet[k]), b = w.id(facet[(k + 1) % facet.size()]);
                if (a != b)
                    ++edges[{a, b}];
            }
        std::map<int, int> boundary; // vertex -> next vertex along the boundary
        for (const auto& [e, count] : edges) {
            ASSERT_EQ(count, 1) << "edge used twice the same way";
            if (edges.count({e.second, e.first}) == 0) {
                ASSERT_EQ(boundary.count(e.first), 0u);
                boundary[e.first] = e.second;
            }
        }
        int loops = 0;
        std::map<int, bool> seen;
        for (const auto& [start, next] : boundary) {
            if (seen[start])
                continue;
            ++loops;
            for (int v = start; !seen[v]; v = boundary.at(v))
                seen[v] = true;
        }
        EXPECT_EQ(loops, 2) << "type " << type;

        // In space: boundary vertices near the trim curves, trim curve points
        // near the boundary edges.
        std::vector<Vector> trim; // dense samples of every trim curve
        std::vector<Vector> coarse;
        for (CLoop* loop : face->trimLoops)
            for (CParCurve* c : loop->curves) {
                const Interval d = c->getDomain(0);
                for (int k = 0; k <= 1000; ++k) {
                    const double t = d.min + (d.max - d.min) * k / 1000.0;
                    trim.push_back(c->getPoint(t, 0.0));
                    if (k % 5 == 0)
                        coarse.push_back(trim.back());
                }
                trim.push_back(Vector(1e9, 1e9, 1e9)); // no chord between curves
            }
        std::vector<Vector> edgesInSpace;
        for (const auto& [a, b] : boundary) {
            const Vector pa = face->surface->getPoint(w.points[a].first, w.points[a].second);
            EXPECT_LT(distanceToPolyline(pa, trim), face->MeshDistance);
            edgesInSpace.push_back(pa);
            edgesInSpace.push_back(face->surface->getPoint(w.points[b].first, w.points[b].second));
        }
        for (const Vector& p : coarse) {
            double best = 1e300;
            for (std::size_t k = 0; k + 1 < edgesInSpace.size(); k += 2)
                best =
                    std::min(best, distanceToPolyline(p, {edgesInSpace[k], edgesInSpace[k + 1]}));
            EXPECT_LT(best, face->MeshDistance);
        }
    }
}

// Spikes too thin to pair the crossings of an iso line: the pair is skipped
// with a message and marks nothing; the walks that meet the unlinked
// crossings say so, and the rest of the face is tessellated as without them.
TEST(FacetFace, ThinSpikesAreSkippedAndTheRestTessellated)
{
    auto plain = +[](CParametricGeometry* s) {
        return polygonLoop(s, {{0.05, 0.06}, {0.7, 0.06}, {0.7, 0.72}, {0.05, 0.72}});
    };
    auto spiky = +[](CParametricGeometry* s) {
        return polygonLoop(s, {{0.05, 0.06},
                               {0.7, 0.06},
                               {0.7, 0.4 - 1e-8},
                               {0.8, 0.4},
                               {0.7, 0.4 + 1e-8},
                               {0.7, 0.72},
                               {0.4 + 1e-8, 0.72},
                               {0.4, 0.82},
                               {0.4 - 1e-8, 0.72},
                               {0.05, 0.72}});
    };
    std::vector<std::vector<float>> grid[2];
    int quads[2];
    std::string out;
    for (int k = 0; k < 2; ++k) {
        std::unique_ptr<CFace> face = bicubicFace(k == 0 ? plain : spiky);
        face->MeshType = 1;
        face->MeshDistance = 0.03;
        CFaceter f;
        CaptureStdout();
        quads[k] = f.facetFace(*face);
        out = GetCapturedStdout();
        for (const tuple<float, 2>& p : f.gridPoints)
            grid[k].push_back({p[0], p[1]});
        std::sort(grid[k].begin(), grid[k].end());
        EXPECT_GT(f.triangles.count, 50);
    }
    EXPECT_EQ(quads[1], quads[0]);
    EXPECT_EQ(grid[1], grid[0]);
    auto count = [&](const std::string& message) {
        int n = 0;
        for (std::size_t at = out.find(message); at != std::string::npos;
             at = out.find(message, at + 1))
            ++n;
        return n;
    };
    // The horizontal spike crosses three u lines, the vertical one four v
    // lines, whose unlinked crossings are dropped.
    EXPECT_EQ(count("skipping a segmet "), 3);
    EXPECT_EQ(count("skipping a segment "), 4);
    EXPECT_EQ(count("null not expected.\n"), 8);
    EXPECT_EQ(count("facetFaceQuads unxpected p->pNext == NULL \n"), 1);
}

// The scan-line hatching: one piece per line of a convex face, exactly the
// lines that meet it (a line that misses adds no row, not the row before
// it again), the crossings of the pieces, and the outline rows.
TEST(FacetByVertexList, RowsCrossingsAndOutline)
{
    auto rectangle = +[](CParametricGeometry* s) {
        return polygonLoop(s, {{0.23, 0.17}, {0.81, 0.17}, {0.81, 0.66}, {0.23, 0.66}});
    };
    std::unique_ptr<CFace> face = bicubicFace(rectangle);
    CFaceter f;
    const int rows = f.facetByVertexList(*face, false);
    // Three distinct knots, refined with 5 values between neighbours.
    Vector U = refineValues(Vector(std::vector<double>{0.0, 0.5, 1.0}.data(), 3), 5);
    ASSERT_EQ(U.size(), 13);
    int inside = 0;
    for (int k = 0; k < U.size(); ++k)
        inside += U[k] > 0.23 && U[k] < 0.81;
    int insideV = 0;
    for (int k = 0; k < U.size(); ++k)
        insideV += U[k] > 0.17 && U[k] < 0.66;
    EXPECT_EQ(rows, inside + insideV);
    for (const auto& row : f.scanSegments)
        EXPECT_EQ(row.count, 2);
    EXPECT_EQ(f.scanCrossings.count, inside * insideV);
    for (const tuple<float, 2>& p : f.scanCrossings) {
        EXPECT_GE(p[0], 0.23f);
        EXPECT_LE(p[1], 0.66f);
    }

    // Two loops with the outline: two more rows of the loops' edges.
    std::unique_ptr<CFace> holed = bicubicFace(rectangle, {circleHole});
    CFaceter g;
    const int withOutline = g.facetByVertexList(*holed, true);
    ASSERT_GE(withOutline, 2);
    for (int l = 0; l < 2; ++l) {
        CVertexList loopPolygon;
        holed->trimLoops[l]->getPolygon(loopPolygon, 1, 0.1);
        const auto& row = g.scanSegments[withOutline - 2 + l];
        ASSERT_EQ(row.count, 2 * loopPolygon.getCount());
        EXPECT_EQ(squaredDistance2(row[row.count - 1], row[0]), 0.0); // the closing edge
    }

    // The debug pictures of the polygon and the iso pieces are written only
    // with logging on.
    for (const char* logging : {static_cast<const char*>(nullptr), "1"}) {
        ScopedEnv env("FENWO_LOGGING", logging);
        std::unique_ptr<CFace> logged = bicubicFace(circle);
        logged->MeshType = 1;
        logged->MeshDistance = 0.1;
        CFaceter l;
        l.facetFace(*logged);
        l.facetByVertexList(*logged, false);
        for (const char* name : {"face.out", "iseg.out", "vList.out"})
            EXPECT_EQ(std::filesystem::exists(mwtest::scratchPath(name)), logging != nullptr)
                << name;
    }

    // A face without trim loops: quads only.
    CFace untrimmed(bowl());
    untrimmed.trimLoops.deleteAll();
    CFaceter h;
    EXPECT_EQ(h.facetByVertexList(untrimmed, true), h.quads.count);
    EXPECT_GT(h.quads.count, 0);
    EXPECT_EQ(h.scanSegments.count, 0);
}

TEST(IsoParameters, ArcAndDistanceRoads)
{
    // Flat iso curves: the middle value and one step beyond each end,
    // refined to five values for degree 3.
    const knots k(4, 3, 0.0, 2.0);
    Fenwo::NurbsSurf plane(k, &k);
    for (int i = 0; i < 5; ++i) // at the Greville abscissae: unit speed in u
        for (int j = 0; j < 5; ++j)
            plane.setControlPoint(
                i, j, Vector(k.getGrevilleAbscissa(i), 0.5 * k.getGrevilleAbscissa(j), 0.0));
    Vector U, V;
    isoParametersForArcTolerance(&plane, 0.01, U, V);
    for (const Vector* W : {&U, &V}) {
        ASSERT_EQ(W->size(), 5);
        EXPECT_EQ((*W)[2], 1.0);
        EXPECT_LT((*W)[0], 0.0);
        EXPECT_GT((*W)[4], 2.0);
        EXPECT_NEAR((*W)[1], 0.5 * ((*W)[0] + (*W)[2]), 1e-12);
    }
    // A straight iso curve among curved ones (the wavy patch's side at
    // u = 0) no longer stretches the steps some 1e7 past the face: the
    // values stay within one domain length beyond its ends.
    auto wavy = makeWavyBicubic(Interval(0, 1), Interval(0, 1));
    isoParametersForArcTolerance(wavy.get(), 0.01, V, U);
    ASSERT_GE(U.size(), 5);
    for (int i = 0; i < U.size(); ++i)
        EXPECT_TRUE(U[i] > -1.0 && U[i] < 2.0 && (i == 0 || U[i] > U[i - 1])) << U;

    // The distance road: steps of tol / |S_u| on the plane (speed 1 in u,
    // 0.5 in v), the last interval halved and the end exact.
    isoParametersForDistance(&plane, 0.01, U, V);
    for (auto [W, step] : {std::pair{&U, 0.01}, std::pair{&V, 0.02}}) {
        const int n = W->size();
        ASSERT_GT(n, 10);
        EXPECT_EQ((*W)[0], 0.0);
        EXPECT_NEAR((*W)[1], step, 1e-12);
        EXPECT_EQ((*W)[n - 1], 2.0);
        EXPECT_EQ((*W)[n - 2], 0.5 * ((*W)[n - 3] + 2.0));
    }
    // A tolerance a billionth of the face would ask for a thousand lines a
    // direction; beyond 200 x 200 cells each direction steps at least a
    // two-hundredth of its domain. A long, thin face within that keeps the
    // steps of its tolerance along its length.
    isoParametersForDistance(&plane, 1e-9, U, V);
    for (const Vector* W : {&U, &V}) {
        const int n = W->size();
        EXPECT_TRUE(n > 100 && n <= 202) << n;
        EXPECT_NEAR((*W)[1], 0.01, 1e-12);
        EXPECT_EQ((*W)[n - 1], 2.0);
    }
    Fenwo::NurbsSurf strip(k, &k);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            strip.setControlPoint(
                i, j, Vector(k.getGrevilleAbscissa(i), 0.005 * k.getGrevilleAbscissa(j), 0.0));
    isoParametersForDistance(&strip, 0.002, U, V);
    EXPECT_NEAR(U[1], 0.002, 1e-12);
    EXPECT_GT(U.size(), 900);
    EXPECT_LT(V.size(), 10);
    // A side collapsed to a point has no speed there: its samples are left
    // out of the mean instead of making it infinite.
    Fenwo::NurbsSurf cone(k, &k);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            cone.setControlPoint(i, j, Vector(i * j / 4.0, j, 0.0));
    isoParametersForDistance(&cone, 0.05, U, V);
    EXPECT_GT(U.size(), 10);
    // A tolerance that is not positive gives nothing (and the face nothing).
    for (double tol : {0.0, -1.0}) {
        isoParametersForDistance(&plane, tol, U, V);
        EXPECT_EQ(U.size() + V.size(), 0);
        std::unique_ptr<CFace> face = bicubicFace(circle);
        face->MeshType = 1;
        face->MeshDistance = tol;
        CFaceter f;
        EXPECT_EQ(f.facetFace(*face), 0);
    }

    // A domain 16 rounding steps wide at 1e20, where every step is lost in
    // the rounding of the values: both roads still span it end to end.
    const double lo = 1e20, hi = 1.0000000000000026e20;
    const knots far(1, 1, lo, hi);
    Fenwo::NurbsSurf farPlane(far, &far);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            farPlane.setControlPoint(i, j, Vector(i, j, 0.0));
    isoParametersForDistance(&farPlane, 1e-9, U, V);
    for (const Vector* W : {&U, &V}) {
        ASSERT_GE(W->size(), 2);
        EXPECT_EQ((*W)[0], lo);
        EXPECT_EQ((*W)[W->size() - 1], hi);
    }
    isoParametersForArcTolerance(&farPlane, 1e-9, U, V);
    for (const Vector* W : {&U, &V}) {
        ASSERT_GE(W->size(), 2);
        EXPECT_LE((*W)[0], lo);
        EXPECT_GE((*W)[W->size() - 1], hi);
    }

    // Another kind of surface: its two sample values in each direction,
    // refined to 9 and then to 65.
    AnalyticPlane analytic(Vector(0, 0, 0), Vector(1, 0, 0), Vector(0, 1, 0), Interval(0, 1),
                           Interval(0, 1));
    isoParametersForDistance(&analytic, 0.1, U, V);
    EXPECT_EQ(U.size(), 65);
    EXPECT_EQ(V.size(), 65);
}

namespace {

// The plane z = 0 over [0, 1]^2, scaled by `size` about its centre: x = size
// (u - 0.5), y = size (v - 0.5); of `spans` equal spans a direction.
Fenwo::NurbsSurf* plane(double size = 1.0, int spans = 1)
{
    const knots k(spans, 1, 0.0, 1.0);
    auto* s = new Fenwo::NurbsSurf(k, &k);
    for (int i = 0; i <= spans; ++i)
        for (int j = 0; j <= spans; ++j)
            s->setControlPoint(
                i, j,
                Vector(size * (double(i) / spans - 0.5), size * (double(j) / spans - 0.5), 0.0));
    return s;
}

// A regular n-gon of radius r about (0.5, 0.5) in (u, v), turned so that
// no corner lies on an iso line.
CLoop* ngon(CParametricGeometry* s, int n, double r)
{
    std::vector<UV> corners;
    for (int k = 0; k < n; ++k)
        corners.push_back({0.5 + r * std::cos(2 * M_PI * k / n + 0.1),
                           0.5 + r * std::sin(2 * M_PI * k / n + 0.1)});
    return polygonLoop(s, corners);
}

} // namespace

// The accessor runs the scan lines when the iso lines give fewer than 10
// quads and fewer than 10 triangles, or alone for MeshType 32; and the
// services read the tessellation it keeps.
TEST(FaceServices, FallbackRuleSamplesMeshAreaAndLookup)
{
    struct Case {
        int type, corners;
        bool scanLines;
    } cases[] = {{0, 11, true}, {0, 12, false}, {1, 12, false}, {32, 12, true}};
    for (const Case& c : cases) {
        CFace face(plane(), nullptr);
        face.setOuterLoop(ngon(face.surface, c.corners, 0.37));
        face.MeshType = c.type;
        face.MeshDistance = 0.05;
        CFaceter* f = face.getFaceter(1);
        ASSERT_NE(f, nullptr);
        if (c.type == 0) {
            EXPECT_EQ(f->triangles.count, c.corners - 2);
        } else if (c.type == 32) {
            EXPECT_EQ(f->quads.count + f->triangles.count, 0);
        }
        EXPECT_EQ(f->scanSegments.count > 0, c.scanLines) << c.type << " " << c.corners;
        EXPECT_EQ(face.getFaceter(1), f);

        // Samples lie in the face: four per quad and one per triangle, then
        // those along the scan lines.
        globalRandom15().seed(7);
        Kor::List<Vector> samples;
        const int n = face.collectSamples(samples, true, 0, 1, 0, 0.0);
        const int inFacets = 4 * f->quads.count + f->triangles.count;
        EXPECT_EQ(n, samples.count);
        EXPECT_EQ(n > inFacets, c.scanLines);
        for (int k = 0; k < inFacets; ++k)
            EXPECT_TRUE(face.uvPolygon.isInside(
                CVertex<double, 3>(samples[k][0], samples[k][1], 0.0), true))
                << samples[k];

        // Split quads give two triangles each.
        CFlatMesh mesh;
        face.addToMesh(3, mesh, true);
        EXPECT_EQ(mesh.getFacetCount(), 2 * f->quads.count + f->triangles.count);
    }

    // The area in space: the unit square untrimmed, and a disc of radius 2
    // on a plane four times as large: its polygon's, within the chords'
    // sagitta of the circle's.
    CFace unit(plane());
    unit.trimLoops.deleteAll();
    EXPECT_NEAR(unit.computeArea(), 1.0, 1e-12);
    EXPECT_EQ(unit.MeshArcTol, 0.25);
    CFace disc(plane(4.0), nullptr);
    disc.setOuterLoop(circleLoop(disc.surface, 0.5, 0.5, 0.5));
    disc.MeshType = 1;
    disc.MeshDistance = 0.5;
    const double area = disc.computeArea();
    EXPECT_NEAR(area, 16.0 * polygonArea(disc.uvPolygon), 1e-5); // single-precision corners
    EXPECT_LT(area, M_PI * 4.0);
    EXPECT_GT(area, M_PI * 4.0 - 4.0 * M_PI * 0.05);

    // The look-up mesh: MeshDistance 2 for a negative tolerance, the facets
    // of the polygon's triangulation, its facet hash, and its file.
    auto face = bicubicFace(square, {circleHole});
    face->buildLookup(true, -1.0);
    EXPECT_EQ(face->MeshDistance, 2.0);
    EXPECT_EQ(face->MeshType, 0);
    ASSERT_NE(face->lookupMesh, nullptr);
    EXPECT_EQ(face->lookupMesh->getFacetCount(), face->faceter->triangles.count);
    EXPECT_GT(face->lookupMesh->facetHash.cells.count, 0);
    CFlatMesh back;
    ASSERT_TRUE(
        back.readPOL(mwtest::scratchPath("face" + std::to_string(face->serial) + ".pol").c_str()));
    EXPECT_EQ(back.getFacetCount(), face->lookupMesh->getFacetCount());
}

namespace {

class FacePicture : public mwtest::GLView {
protected:
    FacePicture() : GLView(200, 160) {}
};

} // namespace

// A face with a hole, shaded through its drawing and written as a picture.
TEST_F(FacePicture, ShadedFaceWithAHole)
{
    ortho(-5, 5, -4, 4);
    CFace face(plane(8.0));
    face.trimLoops.deleteAll();
    face.setOuterLoop(
        polygonLoop(face.surface, {{0.06, 0.06}, {0.94, 0.06}, {0.94, 0.94}, {0.06, 0.94}}));
    face.addTrimLoop(circleLoop(face.surface, 0.51, 0.49, 0.2));
    face.MeshType = 1;
    face.MeshDistance = 0.2;
    light();
    glDisable(GL_DEPTH_TEST);
    face.draw(true, false);
    ASSERT_NE(face.faceter, nullptr);
    EXPECT_GT(face.faceter->quads.count, 10);
    const std::string path = capture("face.png");
    ASSERT_FALSE(path.empty());
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    ASSERT_TRUE(mwtest::readPng(path, w, h, rgba));
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    // Pixel at world (x, y), rows top-down.
    auto at = [&](double x, double y) {
        const int px = int((x + 5.0) * 20.0), py = h - 1 - int((y + 4.0) * 20.0);
        const unsigned char* p = &rgba[4 * (std::size_t(py) * w + px)];
        return mwtest::rgb(p[0] / 255.0, p[1] / 255.0, p[2] / 255.0);
    };
    const unsigned shaded = mwtest::rgb(1.0, 0.8, 0.3607);
    EXPECT_EQ(at(0.08, -0.08), 0u); // the hole's centre
    for (auto [x, y] : {std::pair{-3.0, -3.0}, {2.5, 0.1}, {0.3, 2.9}, {-2.2, 0.4}})
        EXPECT_EQ(at(x, y), shaded) << x << " " << y;
    EXPECT_EQ(at(3.9, 3.9), 0u); // beyond the outer loop
}

namespace {

// The values facetFace cuts a face on the surface with: by arc tolerance
// (MeshArcTol tol) for MeshType 17, else by distance (MeshDistance tol); the
// outermost ones pulled inwards.
void cutValues(Fenwo::NurbsSurf* surface, int type, double tol, Vector& U, Vector& V)
{
    if (type == 17)
        isoParametersForArcTolerance(surface, tol, U, V);
    else
        isoParametersForDistance(surface, tol, U, V);
    for (Vector* W : {&U, &V}) {
        const int n = W->size();
        (*W)[0] += 0.1 * ((*W)[1] - (*W)[0]);
        (*W)[n - 1] -= 0.1 * ((*W)[n - 1] - (*W)[n - 2]);
    }
}

// The first way in which the faceter's quads and triangles fail to tile the
// face's (u, v) polygon exactly, or "" when they tile it: every facet has
// area and runs counter-clockwise in (u, v) (clockwise on a reversed face),
// so that its normal through the surface's derivatives is the face's;
// corners closer than 1e-10 are one vertex, no edge is used twice the same
// way, the edges used one way only form one closed chain per trim loop; the
// areas add up to the polygon's within 1e-9 of it; and of `samples` random
// points every one inside the polygon lies in exactly one facet, every one
// outside in none.
std::string tilingFault(const CVertexList& polygon, int loops, bool reversed, const CFaceter& f,
                        std::mt19937& random, int samples)
{
    const double turn = reversed ? -1.0 : 1.0;
    const std::vector<Facet> facets = facetsOf(f);
    double sum = 0.0;
    for (const Facet& p : facets) {
        double longest = 0.0;
        UV centre{0.0, 0.0};
        for (std::size_t k = 0; k < p.size(); ++k) {
            const UV &a = p[k], &b = p[(k + 1) % p.size()];
            longest = std::max(longest, std::hypot(b.first - a.first, b.second - a.second));
            centre = {centre.first + a.first / p.size(), centre.second + a.second / p.size()};
        }
        const double area = turn * areaOf(p);
        sum += area;
        if (!(area > 1e-12 * longest * longest))
            return "a facet of area " + std::to_string(area) + " at " +
                   std::to_string(centre.first) + " " + std::to_string(centre.second);
    }
    const double area = polygonArea(polygon);
    if (!(std::fabs(sum - area) <= 1e-9 * std::fabs(area)))
        return "facet area " + std::to_string(sum) + " for " + std::to_string(area);

    Welded w;
    w.tolerance = 1e-10;
    std::unordered_set<long long> edges; // a n + b for the edge from a to b
    const long long n = 4 * long(facets.size()) + 1;
    for (const Facet& p : facets)
        for (std::size_t k = 0; k < p.size(); ++k) {
            const int a = w.id(p[k]), b = w.id(p[(k + 1) % p.size()]);
            if (a == b)
                return "a facet edge of no length";
            if (!edges.insert(a * n + b).second)
                return "an edge used twice the same way";
        }
    std::map<int, int> boundary;
    for (long long e : edges)
        if (edges.count((e % n) * n + e / n) == 0 && !boundary.emplace(e / n, e % n).second)
            return "two boundary edges leave one corner";
    std::set<int> seen;
    int chains = 0;
    for (const auto& [start, next] : boundary) {
        if (seen.count(start))
            continue;
        ++chains;
        for (int v = start; seen.insert(v).second;) {
            auto found = boundary.find(v);
            if (found == boundary.end())
                return "an open boundary chain";
            v = found->second;
        }
    }
    if (chains != loops)
        return std::to_string(chains) + " boundary chains for " + std::to_string(loops) + " loops";

    // Sample points by the facets that cover them, found through a grid of
    // the facets' boxes.
    const int cells = 24;
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (const CVertex<double, 3>* v : polygon.vertices)
        for (int d = 0; d < 2; ++d) {
            lo[d] = std::min(lo[d], (*v)[d]);
            hi[d] = std::max(hi[d], (*v)[d]);
        }
    auto cellOf = [&](double x, int d) {
        return std::clamp(int((x - lo[d]) / (hi[d] - lo[d]) * cells), 0, cells - 1);
    };
    std::vector<std::vector<int>> grid(cells * cells);
    for (std::size_t k = 0; k < facets.size(); ++k) {
        int c0[2] = {cells, cells}, c1[2] = {-1, -1};
        for (const UV& c : facets[k])
            for (int d = 0; d < 2; ++d) {
                const int at = cellOf(d == 0 ? c.first : c.second, d);
                c0[d] = std::min(c0[d], at);
                c1[d] = std::max(c1[d], at);
            }
        for (int i = c0[0]; i <= c1[0]; ++i)
            for (int j = c0[1]; j <= c1[1]; ++j)
                grid[j * cells + i].push_back(int(k));
    }
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int s = 0; s < samples; ++s) {
        const UV p{lo[0] + unit(random) * (hi[0] - lo[0]), lo[1] + unit(random) * (hi[1] - lo[1])};
        int covering = 0;
        for (int k : grid[cellOf(p.second, 1) * cells + cellOf(p.first, 0)]) {
            Facet facet = facets[k];
            if (reversed)
                std::reverse(facet.begin(), facet.end());
            covering += covers(facet, p) ? 1 : 0;
        }
        if (covering != (polygon.isInside(vertex(p), false) ? 1 : 0))
            return "a point in " + std::to_string(covering) + " facets";
    }
    return "";
}

// A polygon of n corners around c, one in each of n equal turns (at a
// random place within its first two thirds) at a random distance between
// rMin and rMax, counter-clockwise or clockwise. Corners are moved onto
// the nearest u value, v value or both of the cut values U and V, some of
// them followed by a corner on the same iso line, so that trim edges run
// along iso lines.
std::vector<UV> starOnLines(std::mt19937& random, UV c, double rMin, double rMax, int n, bool ccw,
                            const Vector& U, const Vector& V)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto nearest = [](const Vector& W, double x) {
        double best = W[0];
        for (int k = 1; k < W.size(); ++k)
            if (std::fabs(W[k] - x) < std::fabs(best - x))
                best = W[k];
        return best;
    };
    std::vector<UV> corners;
    for (int k = 0; k < n; ++k) {
        const double a = 2 * M_PI * (k + 0.66 * unit(random)) / n;
        const double r = rMin + (rMax - rMin) * unit(random);
        UV p{c.first + r * std::cos(a), c.second + r * std::sin(a)};
        const double pick = unit(random);
        if (pick < 0.6)
            p.first = nearest(U, p.first);
        if (pick > 0.3 && pick < 0.85)
            p.second = nearest(V, p.second);
        corners.push_back(p);
        if (pick < 0.6 && unit(random) < 0.4) // on along the u line
            corners.push_back({p.first, nearest(V, c.second + (r * 0.8) * std::sin(a + 0.6 / n))});
        else if (pick > 0.3 && pick < 0.85 && unit(random) < 0.4) // on along the v line
            corners.push_back({nearest(U, c.first + (r * 0.8) * std::cos(a + 0.6 / n)), p.second});
    }
    // Keep it star-shaped about c (so simple): turning one way, by less than
    // half a turn from corner to corner.
    std::vector<UV> kept;
    double last = -1.0;
    for (const UV& p : corners) {
        const double a = std::atan2(p.second - c.second, p.first - c.first);
        const double turn = a < 0.0 ? a + 2 * M_PI : a;
        if (turn > last + 1e-9 && std::hypot(p.first - c.first, p.second - c.second) > 0.02) {
            kept.push_back(p);
            last = turn;
        }
    }
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const UV &p = kept[k], &q = kept[(k + 1) % kept.size()];
        const double a = std::atan2(p.second - c.second, p.first - c.first);
        const double b = std::atan2(q.second - c.second, q.first - c.first);
        double gap = b - a;
        while (gap <= 0.0)
            gap += 2 * M_PI;
        if (gap >= M_PI * 0.9)
            return {};
    }
    if (!ccw)
        std::reverse(kept.begin(), kept.end());
    return kept;
}

// The distance of point p from the segment s-t.
double distanceToSegment(const UV& p, const UV& s, const UV& t)
{
    const double dx = t.first - s.first, dy = t.second - s.second;
    const double len2 = dx * dx + dy * dy;
    const double h = std::clamp(
        ((p.first - s.first) * dx + (p.second - s.second) * dy) / std::max(len2, 1e-300), 0.0, 1.0);
    return std::hypot(p.first - s.first - h * dx, p.second - s.second - h * dy);
}

// True when no edge of a meets or comes within `margin` of an edge of b.
bool apart(const std::vector<UV>& a, const std::vector<UV>& b, double margin)
{
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j) {
            const UV &p = a[i], &q = a[(i + 1) % a.size()];
            const UV &s = b[j], &t = b[(j + 1) % b.size()];
            double tp = 0.0;
            if (intersectSegments(vertex(p), vertex(q), vertex(s), vertex(t), tp) ||
                distanceToSegment(p, s, t) < margin || distanceToSegment(s, p, q) < margin)
                return false;
        }
    return true;
}

// The loops as one polygon, joined the way the face joins them.
void joinLoops(const std::vector<std::vector<UV>>& loops, CVertexList& out)
{
    std::vector<std::unique_ptr<CVertexList>> holes;
    for (std::size_t h = 0; h < loops.size(); ++h) {
        CVertexList& polygon = h == 0 ? out : *holes.emplace_back(std::make_unique<CVertexList>());
        for (const UV& p : loops[h])
            polygon.appendPoint(Vector(p.first, p.second, 0.0));
    }
    joinHolePolygons(out, std::move(holes));
}

// True when the polygon crosses itself nowhere.
bool crossesNowhere(const CVertexList& polygon)
{
    const int n = polygon.getCount();
    for (int i = 0; i < n; ++i)
        for (int j = i + 2; j < n; ++j) {
            double t = 0.0, s = 0.0;
            if (intersectSegments(*polygon.getVertex(i), *polygon.getVertex(i + 1),
                                  *polygon.getVertex(j), *polygon.getVertex(j + 1), t, s) &&
                t > 1e-9 && t < 1.0 - 1e-9 && s > 1e-9 && s < 1.0 - 1e-9)
                return false;
        }
    return true;
}

// Gives loop h a spike of no width at a corner on an iso line: the trim
// runs from the corner along the line to a grid node, turns there and runs
// part of the way back (to a node or between two), then on to the next
// corner; into the loop or out of it. False when the spike would come
// within 0.01 of another edge.
bool addSpike(std::mt19937& random, std::vector<std::vector<UV>>& loops, std::size_t h,
              const Vector& U, const Vector& V)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<UV>& loop = loops[h];
    const std::size_t n = loop.size(), i = std::size_t(unit(random) * n) % n;
    const UV p = loop[i];
    const bool onU = std::count(U.data, U.data + U.size(), p.first) > 0;
    const bool onV = std::count(V.data, V.data + V.size(), p.second) > 0;
    if (!onU && !onV)
        return true;
    // Along the u line the spike runs in v, along the v line in u.
    const bool alongU = onU && (!onV || unit(random) < 0.5);
    const Vector& W = alongU ? V : U;
    auto at = [&](double w) { return alongU ? UV{p.first, w} : UV{w, p.second}; };
    const double from = alongU ? p.second : p.first;
    const double sign = unit(random) < 0.5 ? -1.0 : 1.0;
    const double* tip =
        std::lower_bound(W.data, W.data + W.size(), from + sign * (0.03 + 0.12 * unit(random)));
    if (tip == W.data + W.size() || *tip == from)
        return false;
    const double back = from + (*tip - from) * (0.2 + 0.6 * unit(random));
    const double* node = std::lower_bound(W.data, W.data + W.size(), back);
    const double to =
        unit(random) < 0.5 && node != W.data + W.size() && (*node - from) * (*tip - *node) > 0.0
            ? *node
            : back;
    // Neither neighbour may run on along the spike's line.
    const UV prev = loop[(i + n - 1) % n], next = loop[(i + 1) % n];
    if ((alongU ? next.first : next.second) == (alongU ? p.first : p.second) ||
        ((alongU ? prev.first : prev.second) == (alongU ? p.first : p.second) &&
         ((alongU ? prev.second : prev.first) - from) * (*tip - from) > 0.0))
        return false;
    loop.insert(loop.begin() + std::ptrdiff_t(i) + 1, {at(*tip), at(to)});
    // The spike and the edge on from it, against every edge they do not
    // meet by construction (edge k runs from corner k).
    const std::size_t size = loop.size();
    const std::pair<UV, UV> spike[2] = {{p, at(*tip)}, {at(to), next}};
    for (std::size_t g = 0; g < loops.size(); ++g)
        for (std::size_t k = 0; k < loops[g].size(); ++k) {
            const std::size_t rel = (k + size + 1 - i) % size; // edge i - 1 is 0
            const UV &s = loops[g][k], &t = loops[g][(k + 1) % loops[g].size()];
            for (int e = 0; e < 2; ++e) {
                if (g == h && (e == 0 ? rel <= 3 : rel >= 1 && rel <= 4))
                    continue;
                const auto& [a, b] = spike[e];
                double tp = 0.0;
                if (intersectSegments(vertex(a), vertex(b), vertex(s), vertex(t), tp) ||
                    distanceToSegment(a, s, t) < 0.01 || distanceToSegment(b, s, t) < 0.01 ||
                    distanceToSegment(s, a, b) < 0.01 || distanceToSegment(t, a, b) < 0.01)
                    return false;
            }
        }
    return true;
}

// Random trim loops around (0.5, 0.5) on the cut values U, V: an outer loop
// and up to two holes, apart from each other, with spikes of no width when
// asked; empty when the draw fails.
std::vector<std::vector<UV>> loopsOnLines(std::mt19937& random, const Vector& U, const Vector& V,
                                          bool spikes = false)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const UV c{0.45 + 0.1 * unit(random), 0.45 + 0.1 * unit(random)};
    std::vector<std::vector<UV>> loops = {
        starOnLines(random, c, 0.3, 0.45, 8 + int(5 * unit(random)), true, U, V)};
    const int holes = int(3 * unit(random));
    for (int h = 0; h < holes; ++h) {
        const UV at{c.first + (holes == 1 ? 0.0 : h == 0 ? -0.11 : 0.11), c.second};
        loops.push_back(
            starOnLines(random, at, 0.03, 0.08, 4 + int(4 * unit(random)), false, U, V));
    }
    for (const auto& loop : loops)
        if (loop.size() < 3)
            return {};
    CVertexList outer;
    for (const UV& p : loops[0])
        outer.appendPoint(Vector(p.first, p.second, 0.0));
    for (std::size_t a = 0; a < loops.size(); ++a)
        for (std::size_t b = a + 1; b < loops.size(); ++b)
            if (!apart(loops[a], loops[b], 0.01) ||
                (a == 0 && !outer.isInside(vertex(loops[b][0]), false)))
                return {};
    for (std::size_t h = 0; spikes && h < loops.size(); ++h)
        if (unit(random) < 0.7 && !addSpike(random, loops, h, U, V))
            return {};
    return loops;
}

// Where the point p lies for the face of the loops (outer loop first, holes
// after): 1 inside, 0 outside, -1 on a trim edge.
int placeIn(const std::vector<std::vector<UV>>& loops, const UV& p)
{
    double turns = 0.0;
    for (const std::vector<UV>& loop : loops)
        for (std::size_t k = 0; k < loop.size(); ++k) {
            const UV &a = loop[k], &b = loop[(k + 1) % loop.size()];
            if (distanceToSegment(p, a, b) < 1e-12)
                return -1;
            turns += std::atan2((a.first - p.first) * (b.second - p.second) -
                                    (a.second - p.second) * (b.first - p.first),
                                (a.first - p.first) * (b.first - p.first) +
                                    (a.second - p.second) * (b.second - p.second));
        }
    return std::lround(turns / (2 * M_PI)) == 1 ? 1 : 0;
}

// The first way in which the first `rows` scan rows fail to hatch the face of
// the loops exactly, or "" when they hatch it: on each scan line u = W[k] and
// v = W[k] (0 < k < last), the pieces of its row (none when it has no row)
// overlap nowhere and cover exactly the line's points with the face on both
// sides (a trim edge along the line has it on one side or none; a slit to a
// hole is no trim edge), within the single precision of the rows.
std::string hatchingFault(const std::vector<std::vector<UV>>& loops, const CFaceter& f, int rows,
                          const Vector& W)
{
    using Pieces = std::vector<std::pair<double, double>>;
    auto merged = [](Pieces pieces) {
        std::sort(pieces.begin(), pieces.end());
        Pieces out;
        for (const auto& piece : pieces)
            if (!out.empty() && piece.first <= out.back().second + 1e-6)
                out.back().second = std::max(out.back().second, piece.second);
            else
                out.push_back(piece);
        return out;
    };
    for (int d = 0; d < 2; ++d)
        for (int k = 1; k + 1 < W.size(); ++k) {
            const double c = W[k];
            auto along = [d](const UV& p) { return d == 0 ? p.second : p.first; };
            auto across = [d](const UV& p) { return d == 0 ? p.first : p.second; };
            std::vector<double> cuts;
            for (const std::vector<UV>& loop : loops)
                for (std::size_t e = 0; e < loop.size(); ++e) {
                    const UV &a = loop[e], &b = loop[(e + 1) % loop.size()];
                    if (across(a) == c)
                        cuts.push_back(along(a));
                    if ((across(a) - c) * (across(b) - c) < 0.0)
                        cuts.push_back(along(a) + (c - across(a)) / (across(b) - across(a)) *
                                                      (along(b) - along(a)));
                }
            std::sort(cuts.begin(), cuts.end());
            Pieces inside, pieces;
            for (std::size_t m = 0; m + 1 < cuts.size(); ++m) {
                const double mid = 0.5 * (cuts[m] + cuts[m + 1]);
                const UV p = d == 0 ? UV{c, mid} : UV{mid, c};
                int place = placeIn(loops, p);
                if (place < 0) // on a trim edge: in when the face lies on both sides
                    place = placeIn(loops, d == 0 ? UV{c - 1e-9, mid} : UV{mid, c - 1e-9}) +
                                placeIn(loops, d == 0 ? UV{c + 1e-9, mid} : UV{mid, c + 1e-9}) ==
                            2;
                if (cuts[m] < cuts[m + 1] && place == 1)
                    inside.push_back({cuts[m], cuts[m + 1]});
            }
            double length = 0.0;
            for (int r = 0; r < rows; ++r) {
                const auto& row = f.scanSegments[r];
                if (row.count < 2 || row[0][d] != float(c) || row[1][d] != float(c))
                    continue;
                for (int m = 0; m + 1 < row.count; m += 2) {
                    pieces.push_back({std::min(row[m][1 - d], row[m + 1][1 - d]),
                                      std::max(row[m][1 - d], row[m + 1][1 - d])});
                    length += pieces.back().second - pieces.back().first;
                }
            }
            const Pieces want = merged(inside), have = merged(pieces);
            double covered = 0.0;
            bool same = want.size() == have.size();
            for (std::size_t m = 0; m < have.size(); ++m) {
                covered += have[m].second - have[m].first;
                same = same && std::fabs(have[m].first - want[m].first) < 1e-6 &&
                       std::fabs(have[m].second - want[m].second) < 1e-6;
            }
            if (!same || length > covered + 1e-6) {
                double wanted = 0.0;
                for (const auto& piece : want)
                    wanted += piece.second - piece.first;
                return std::string(d == 0 ? "u" : "v") + " = " + std::to_string(c) + " covers " +
                       std::to_string(length) + " for " + std::to_string(wanted);
            }
        }
    return "";
}

} // namespace

// Trims whose corners lie on iso values and whose edges run along iso
// lines, outer loops and holes, cut by the iso values of the distance road
// on a plane and of both roads on a bowl: the joined polygon crosses
// itself nowhere, the facets tile it exactly, and nothing is printed; so
// too with spikes of no width along the iso lines, turning on grid nodes;
// and so for whole faces, forwards and reversed, by distance, by arc
// tolerance, triangulated whole (type 0) and hatched by scan lines.
TEST(FacetFace, TilesTrimsThatMeetTheIsoLines)
{
    std::unique_ptr<Fenwo::NurbsSurf> flat(plane()), curved(bowl());
    struct Grid {
        Vector U, V;
    };
    std::vector<Grid> grids;
    for (double tol : {0.05, 0.07, 0.09, 0.11}) {
        grids.emplace_back();
        cutValues(flat.get(), 1, tol, grids.back().U, grids.back().V);
    }
    for (auto [type, tol] :
         {std::pair{17, 0.002}, {17, 0.004}, {17, 0.007}, {1, 0.06}, {1, 0.12}}) {
        grids.emplace_back();
        cutValues(curved.get(), type, tol, grids.back().U, grids.back().V);
    }
    std::mt19937 random(45);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // The last 150 polygons are trims that double back along iso lines,
    // turning on grid nodes.
    int ties = 0;
    for (int polygons = 0; polygons < 1150;) {
        const bool spiked = polygons >= 1000;
        const Grid& grid = grids[std::size_t(unit(random) * grids.size())];
        const std::vector<std::vector<UV>> loops = loopsOnLines(random, grid.U, grid.V, spiked);
        if (loops.empty())
            continue;
        CVertexList polygon;
        joinLoops(loops, polygon);
        ASSERT_TRUE(crossesNowhere(polygon)) << "polygon " << polygons;
        if (!spiked)
            for (const CVertex<double, 3>* p : polygon.vertices)
                ties += std::count(grid.U.data, grid.U.data + grid.U.size(), (*p)[0]) +
                        std::count(grid.V.data, grid.V.data + grid.V.size(), (*p)[1]);
        CFaceter f;
        CaptureStdout();
        f.facetPolygon(polygon, grid.U, grid.V);
        const std::string printed = GetCapturedStdout();
        ASSERT_EQ(tilingFault(polygon, int(loops.size()), false, f, random, 40) + printed, "")
            << "polygon " << polygons;
        ++polygons;
    }
    EXPECT_GT(ties, 10 * 1000);

    // Trims the face by the loops (the first one outer) and facets it;
    // answers what the faceter printed.
    auto facetWithLoops = [](CFaceter& f, CFace& face, const std::vector<std::vector<UV>>& loops) {
        face.setOuterLoop(polygonLoop(face.surface, loops[0]));
        for (std::size_t h = 1; h < loops.size(); ++h)
            face.addTrimLoop(polygonLoop(face.surface, loops[h]));
        CaptureStdout();
        f.facetFace(face);
        return GetCapturedStdout();
    };
    for (int faces = 0; faces < 8;) {
        const bool onBowl = faces % 2 == 1;
        auto face = std::make_unique<CFace>(onBowl ? bowl() : plane(), nullptr);
        face->MeshType = onBowl && faces % 4 == 1 ? 17 : 1;
        face->MeshDistance = onBowl ? 0.1 : 0.07;
        face->MeshArcTol = 0.004;
        face->sense = faces % 3 == 0;
        Vector U, V;
        cutValues(face->getNurbsSurf(), face->MeshType,
                  face->MeshType == 17 ? face->MeshArcTol : face->MeshDistance, U, V);
        const std::vector<std::vector<UV>> loops = loopsOnLines(random, U, V);
        if (loops.empty())
            continue;
        CFaceter f;
        const std::string printed = facetWithLoops(f, *face, loops);
        ASSERT_TRUE(crossesNowhere(face->uvPolygon)) << "face " << faces;
        ASSERT_EQ(tilingFault(face->uvPolygon, int(loops.size()), face->sense, f, random, 100) +
                      printed,
                  "")
            << "face " << faces;
        ++faces;
    }

    // Type 0 triangulates the whole trim polygon and types 32 and above
    // hatch the face with its scan lines (on a plane of two spans, 13
    // values a direction); the trims lie on the iso lines or the scan
    // lines, some with spikes.
    const Vector W = refineValues(Vector(std::vector<double>{0.0, 0.5, 1.0}.data(), 3), 5);
    for (int faces = 0; faces < 64;) {
        const bool hatched = faces % 2 == 1;
        const Grid& grid = grids[std::size_t(unit(random) * grids.size())];
        const std::vector<std::vector<UV>> loops =
            loopsOnLines(random, hatched ? W : grid.U, hatched ? W : grid.V, faces % 8 >= 4);
        if (loops.empty())
            continue;
        auto face = std::make_unique<CFace>(plane(1.0, hatched ? 2 : 1), nullptr);
        face->MeshType = hatched ? 32 + 8 * (faces % 4 / 2) : 0;
        face->sense = faces % 3 == 0;
        CFaceter f;
        const std::string printed = facetWithLoops(f, *face, loops);
        // Each loop keeps its turn, also with a spike at its first corners.
        double area = 0.0;
        for (const std::vector<UV>& loop : loops)
            area += areaOf(loop);
        ASSERT_NEAR(polygonArea(face->uvPolygon), area, 1e-9) << "face " << faces;
        ASSERT_TRUE(crossesNowhere(face->uvPolygon)) << "face " << faces;
        const std::string fault =
            hatched ? hatchingFault(loops, f, f.scanSegments.count - int(loops.size()), W)
                    : tilingFault(face->uvPolygon, int(loops.size()), face->sense, f, random, 100);
        ASSERT_EQ(fault + printed, "") << "type " << face->MeshType << " face " << faces;
        ++faces;
    }
}

// Faces whose trims sit on the iso lines they are cut with, each of which
// once lost or doubled facets: a square with a square hole on a planar
// 10 x 10 face (area 71.56 of 72), a bowl face whose side runs along the
// middle line of the arc road (a flipped facet and unclosed walks), a
// circle about that middle (flat facets used twice), a diamond hole whose
// corners touch iso lines (an inverted facet, the ear clipping giving up),
// a hole whose slit runs on along a side of the hole and of the outer loop,
// triangulated whole (area 26 of 54, the ear clipping giving up), and a
// trim that doubles back along an iso line, turning on a grid node (a cell
// lost). Each is tiled exactly, silently, and the planar ones have their
// area in space.
TEST(FacetFace, TrimsOnIsoLinesLeaveNoGapOrOverlap)
{
    struct Case {
        const char* name;
        bool planar;
        int type;
        std::vector<UV> outer, hole;
        double circle; // radius of an outer circle about (0.5, 0.5), 0 for none
        double area;   // in space, of a planar face
    } cases[] = {
        {"square hole",
         true,
         1,
         {{0.05, 0.05}, {0.95, 0.05}, {0.95, 0.95}, {0.05, 0.95}},
         {{0.3, 0.3}, {0.3, 0.6}, {0.6, 0.6}, {0.6, 0.3}},
         0.0,
         72.0},
        {"side on the middle",
         false,
         17,
         {{0.08, 0.1}, {0.5, 0.1}, {0.5, 0.92}, {0.08, 0.92}},
         {},
         0.0,
         0.0},
        {"circle about the middle", false, 17, {}, {}, 0.37, 0.0},
        {"diamond hole",
         true,
         1,
         {{0.05, 0.05}, {0.95, 0.05}, {0.95, 0.95}, {0.05, 0.95}},
         {{0.5, 0.3}, {0.3, 0.5}, {0.5, 0.7}, {0.7, 0.5}},
         0.0,
         73.0},
        {"slit along a side of the hole and of the outer loop",
         true,
         0,
         {{0.1, 0.1},
          {0.9, 0.1},
          {0.9, 0.7},
          {0.7, 0.7},
          {0.7, 0.9},
          {0.3, 0.9},
          {0.3, 0.8},
          {0.4, 0.8},
          {0.4, 0.7},
          {0.2, 0.7},
          {0.2, 0.8},
          {0.1, 0.8}},
         {{0.5, 0.4}, {0.5, 0.5}, {0.7, 0.5}, {0.7, 0.4}},
         0.0,
         54.0},
        {"trim doubling back to turn on a grid node",
         true,
         1,
         {{0.1, 0.1}, {0.9, 0.1}, {0.9, 0.9}, {0.5, 0.9}, {0.5, 0.4}, {0.5, 0.6}, {0.1, 0.9}},
         {},
         0.0,
         58.0},
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        auto face = std::make_unique<CFace>(c.planar ? plane(10.0) : bowl(), nullptr);
        face->setOuterLoop(c.circle > 0.0 ? circleLoop(face->surface, 0.5, 0.5, c.circle)
                                          : polygonLoop(face->surface, c.outer));
        if (!c.hole.empty())
            face->addTrimLoop(polygonLoop(face->surface, c.hole));
        face->MeshType = c.type;
        face->MeshDistance = 0.1;
        face->MeshArcTol = 0.005;
        for (bool reversed : {false, true}) {
            face->sense = reversed;
            CFaceter f;
            CaptureStdout();
            f.facetFace(*face);
            EXPECT_EQ(GetCapturedStdout(), "") << c.name;
            EXPECT_EQ(
                tilingFault(face->uvPolygon, face->trimLoops.count, reversed, f, random, 3000), "")
                << c.name;
        }
        if (c.planar) {
            EXPECT_NEAR(face->computeArea(), c.area, 1e-5) << c.name; // corners in single precision
        }
    }

    // The scan lines decide alike: of a square whose sides lie on scan lines
    // those lines hold nothing, of a diamond whose corners touch them, the
    // lines through its side corners; every other line holds the piece from
    // side to side.
    const Vector W = refineValues(Vector(std::vector<double>{0.0, 1.0}.data(), 2), 5);
    ASSERT_EQ(W.size(), 7);
    const std::vector<UV> squareOnLines = {{W[1], W[1]}, {W[5], W[1]}, {W[5], W[5]}, {W[1], W[5]}};
    const std::vector<UV> diamondOnLines = {{W[3], W[1]}, {W[5], W[3]}, {W[3], W[5]}, {W[1], W[3]}};
    for (const auto* corners : {&squareOnLines, &diamondOnLines}) {
        CFace face(plane(), nullptr);
        face.setOuterLoop(polygonLoop(face.surface, *corners));
        CFaceter f;
        ASSERT_EQ(f.facetByVertexList(face, false), 6);
        for (int r = 0; r < 6; ++r) {
            const auto& row = f.scanSegments[r];
            const int along = r < 3 ? 1 : 0; // the u lines first
            const double half = corners == &squareOnLines || r % 3 == 1 ? 2.0 : 1.0;
            ASSERT_EQ(row.count, 2);
            EXPECT_NEAR(row[0][along], W[3] - half / 6.0, 1e-6) << r;
            EXPECT_NEAR(row[1][along], W[3] + half / 6.0, 1e-6) << r;
        }
    }

    // A scan line along the slit to a hole runs on through it (it hatched
    // 0.283 of the line's 0.45 inside the face).
    const std::vector<std::vector<UV>> slitOnLine = {
        {{W[1], W[1]}, {W[3], W[1]}, {W[5], W[1]}, {W[5], W[5]}, {W[1], W[5]}},
        {{W[3], W[2]}, {0.4, 0.45}, {W[3], 0.55}, {0.6, 0.45}}};
    CFace face(plane(), nullptr);
    face.setOuterLoop(polygonLoop(face.surface, slitOnLine[0]));
    face.addTrimLoop(polygonLoop(face.surface, slitOnLine[1]));
    CFaceter f;
    f.facetByVertexList(face, false);
    EXPECT_EQ(hatchingFault(slitOnLine, f, f.scanSegments.count, W), "");
}
