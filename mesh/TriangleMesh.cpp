#include "mesh/TriangleMesh.h"

#include "mesh/MeshGeometry.h"

#include <GL/gl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>
#include <vector>

namespace Mesh {

namespace {

// Curvature length floor: an edge no longer than this is taken this long.
constexpr double kMinEdgeLength = 1e-16;

double dot3(const CVertex<float, 3>& a, const CVertex<float, 3>& b)
{
    return double(a.data[0]) * b.data[0] + double(a.data[1]) * b.data[1] +
           double(a.data[2]) * b.data[2];
}

template <class Visit> void forEachHashVertex(C3DHash<CSTLVertex, float>& hash, Visit visit)
{
    for (int c = 0; c < hash.cells.count; ++c) {
        auto* cell = hash.cells.items[c];
        for (int n = 0; n < cell->items.count; ++n)
            visit(cell->items.items[n]);
    }
}

int wrap(int k, int n)
{
    const int r = k % n;
    return r < 0 ? r + n : r;
}

} // namespace

bool CTriangularEdge::addTriangle(CTriData* t)
{
    if (t == nullptr) {
        first = second = nullptr;
        value = openValue;
        return true;
    }
    if (first == nullptr) {
        first = t;
        value = openValue;
        return true;
    }
    if (second != nullptr) {
        std::cout << "adding a third triangle !" << std::endl;
        return false;
    }
    second = t;
    value = float(dot3(first->normal, t->normal));
    return true;
}

bool CTriangularEdge::less(const CTriangularEdge* x, const CTriangularEdge* y)
{
    if (x->a != y->a)
        return lessByCreation(x->a, y->a);
    return lessByCreation(x->b, y->b);
}

CMesh<CSTLVertex>::~CMesh()
{
    clearEdges();
}

void CMesh<CSTLVertex>::clearEdges()
{
    edgeSet.removeAll(true, false);
}

int CMesh<CSTLVertex>::getTriangleCount()
{
    return triangles.count;
}

int CMesh<CSTLVertex>::getFacetCount()
{
    return triangles.count + quads.count;
}

int CMesh<CSTLVertex>::getFacetSize(int i)
{
    if (i < 0)
        return 0;
    if (i < triangles.count)
        return 3;
    if (i - triangles.count < quads.count)
        return 4;
    return 0;
}

bool CMesh<CSTLVertex>::getTriangleCorner(int i, int k, Point& out)
{
    if (i < 0 || i >= triangles.count)
        return false;
    out = *triangles.data[i].v[wrap(k, 3)];
    return true;
}

bool CMesh<CSTLVertex>::getFacetCorner(int i, int k, Point& out)
{
    if (i < 0)
        return false;
    if (i < triangles.count)
        return getTriangleCorner(i, k, out);
    const int q = i - triangles.count;
    if (q >= quads.count)
        return false;
    out = *quads.data[q].v[wrap(k, 4)];
    return true;
}

bool CMesh<CSTLVertex>::getTriangleRecord(int i, float rec[12])
{
    if (i < 0 || i >= triangles.count || rec == nullptr)
        return false;
    const CTriData& t = triangles.data[i];
    for (int c = 0; c < 3; ++c) {
        rec[c] = t.normal.data[c];
        for (int k = 0; k < 3; ++k)
            rec[3 + 3 * k + c] = t.v[k]->data[c];
    }
    return true;
}

CBox<float, 3> CMesh<CSTLVertex>::getBoundingBox()
{
    box = vertexHash.getBoundingBox();
    return box;
}

CSTLVertex* CMesh<CSTLVertex>::findVertex(const Point& p)
{
    static_cast<Point&>(probe) = p;
    return vertexHash.findVertex(probe);
}

CSTLVertex* CMesh<CSTLVertex>::insertVertex(const Point& p)
{
    static_cast<Point&>(probe) = p;
    return vertexHash.insert(probe, true, false);
}

int CMesh<CSTLVertex>::getHashVertexCount() const
{
    int n = 0;
    for (int c = 0; c < vertexHash.cells.count; ++c)
        n += vertexHash.cells.items[c]->items.count;
    return n;
}

int CMesh<CSTLVertex>::appendTriangle(CSTLVertex* a, CSTLVertex* b, CSTLVertex* c)
{
    if (a == nullptr || b == nullptr || c == nullptr || a == b || b == c || c == a)
        return -1;
    // The edges point into the triangle list, which may move now.
    clearEdges();
    CTriData t;
    t.v[0] = a;
    t.v[1] = b;
    t.v[2] = c;
    triangleNormalAndArea(*a, *b, *c, t.normal);
    triangles.append(t);
    modified = true;
    releaseFacetHash();
    return triangles.count - 1;
}

int CMesh<CSTLVertex>::addTriangle(const Point& a, const Point& b, const Point& c)
{
    return appendTriangle(insertVertex(a), insertVertex(b), insertVertex(c));
}

int CMesh<CSTLVertex>::addQuad(const Point& a, const Point& b, const Point& c, const Point& d,
                               bool split)
{
    CSTLVertex* v[4] = {insertVertex(a), insertVertex(b), insertVertex(c), insertVertex(d)};
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            if (v[i] == v[j])
                return -1;
    if (split) {
        appendTriangle(v[0], v[1], v[2]);
        return appendTriangle(v[0], v[2], v[3]);
    }
    CQuadData q;
    for (int k = 0; k < 4; ++k)
        q.v[k] = v[k];
    // The normal of the quadrilateral from its two diagonals.
    const Point d02 = *v[2] - *v[0];
    const Point d13 = *v[3] - *v[1];
    crossProductInto(d02, d13, q.normal);
    normalize(q.normal);
    quads.append(q);
    modified = true;
    releaseFacetHash();
    return triangles.count + quads.count - 1;
}

bool CMesh<CSTLVertex>::buildEdgeTable()
{
    clearEdges();
    if (triangles.count == 0)
        return false;
    struct Record {
        CSTLVertex* a;
        CSTLVertex* b;
        CTriData* t;
    };
    // Vertices in the order they were made: their addresses would order the
    // edges (and the vertices' edge lists) differently in every run.
    const auto byCreation = &lessByCreation<CSTLVertex>;
    std::vector<Record> records;
    records.reserve(std::size_t(triangles.count) * 3);
    for (int i = 0; i < triangles.count; ++i) {
        CTriData* t = &triangles.data[i];
        for (int k = 0; k < 3; ++k) {
            CSTLVertex* p = t->v[k];
            CSTLVertex* q = t->v[(k + 1) % 3];
            if (byCreation(q, p))
                std::swap(p, q);
            records.push_back({p, q, t});
        }
    }
    // Stable, so the triangles of one edge keep their list order.
    std::stable_sort(records.begin(), records.end(), [&](const Record& x, const Record& y) {
        if (x.a != y.a)
            return byCreation(x.a, y.a);
        return byCreation(x.b, y.b);
    });
    edgeSet.setCapacity(int(records.size()));
    CTriangularEdge* last = nullptr;
    for (const Record& r : records) {
        if (last != nullptr && last->a == r.a && last->b == r.b) {
            last->addTriangle(r.t);
            continue;
        }
        last = new CTriangularEdge;
        last->a = r.a;
        last->b = r.b;
        last->addTriangle(r.t);
        edgeSet.insertAt(last, edgeSet.count - 1);
    }
    return true;
}

void CMesh<CSTLVertex>::computeVertexNormals()
{
    forEachHashVertex(vertexHash, [](CSTLVertex* v) {
        for (int c = 0; c < 3; ++c)
            v->direction.data[c] = 0.0f;
    });
    CVector<float, 3> n;
    auto accumulate = [&](CSTLVertex* const* corners, int size) {
        // Area-weighted: the unnormalised normal of each corner's triangle.
        for (int k = 0; k < size; ++k) {
            triangleNormal(*corners[k], *corners[(k + 1) % size], *corners[(k + size - 1) % size],
                           n);
            for (int c = 0; c < 3; ++c)
                corners[k]->direction.data[c] += n.data[c];
        }
    };
    for (int i = 0; i < triangles.count; ++i)
        accumulate(triangles.data[i].v, 3);
    for (int i = 0; i < quads.count; ++i)
        accumulate(quads.data[i].v, 4);
    forEachHashVertex(vertexHash, [](CSTLVertex* v) {
        if (dot3(v->direction, v->direction) > 0.0)
            normalize(v->direction);
        v->normal = v->direction;
    });
}

bool CMesh<CSTLVertex>::getVertexCurvature(const Point& p, double& minimum, double& maximum,
                                           CVector<float, 3>& minDirection,
                                           CVector<float, 3>& maxDirection)
{
    if (getHashVertexCount() < 3)
        return false;
    CSTLVertex* v = findVertex(p);
    if (v == nullptr)
        return false;
    std::vector<std::pair<CSTLVertex*, CSTLVertex*>> around;
    auto enter = [&](CSTLVertex* a, CSTLVertex* b) {
        if (lessByCreation(b, a))
            std::swap(a, b);
        const std::pair<CSTLVertex*, CSTLVertex*> e(a, b);
        if (std::find(around.begin(), around.end(), e) == around.end())
            around.push_back(e);
    };
    for (int i = 0; i < triangles.count; ++i) {
        const CTriData& t = triangles.data[i];
        for (int k = 0; k < 3; ++k)
            if (t.v[k] == v) {
                enter(v, t.v[(k + 1) % 3]);
                enter(t.v[(k + 2) % 3], v);
            }
    }
    if (around.empty())
        return false;
    double lo = DBL_MAX, hi = -DBL_MAX;
    CVector<float, 3> loDir, hiDir;
    for (const auto& [a, b] : around) {
        const CVector<float, 3> e = *b - *a;
        double length = std::sqrt(dot3(e, e));
        if (!(length > kMinEdgeLength))
            length = kMinEdgeLength;
        // Rounding can push the cosine of equal unit normals past 1; acos
        // would answer NaN there.
        const double cosine = std::clamp(dot3(a->normal, b->normal), -1.0, 1.0);
        const double k = std::acos(cosine) / length;
        if (k < lo) {
            lo = k;
            loDir = e;
        }
        if (k > hi) {
            hi = k;
            hiDir = e;
        }
    }
    normalize(loDir);
    normalize(hiDir);
    minimum = lo;
    maximum = hi;
    minDirection = loDir;
    maxDirection = hiDir;
    return true;
}

int CMesh<CSTLVertex>::drawStep()
{
    const int count = triangles.count;
    const int inc = count / thinningTriangles;
    if (inc > 1) {
        std::cout << "Triangular restriction of" << count << " triangles "
                  << " every inc=" << inc << std::endl;
        return inc;
    }
    return 1;
}

void CMesh<CSTLVertex>::draw(int mode)
{
    if ((mode & drawCurvatureDirections) != 0) {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        std::cout << "computng curvatures for " << getHashVertexCount() << " points " << std::endl;
        const double h = 0.3 * vertexHash.cellSize;
        double lo = 0.0, hi = 0.0;
        CVector<float, 3> loDir, hiDir;
        glBegin(GL_LINES);
        forEachHashVertex(vertexHash, [&](CSTLVertex* v) {
            if (!getVertexCurvature(*v, lo, hi, loDir, hiDir))
                return;
            if (!(lo * hi <= 0.0 || std::fabs(hi) * 0.05 <= std::fabs(lo - hi)))
                return;
            // The direction of the curvature of smaller magnitude, the
            // minimum's on a tie.
            const CVector<float, 3>& e = std::fabs(hi) < std::fabs(lo) ? hiDir : loDir;
            for (double sign : {-1.0, 1.0})
                glVertex3d(v->data[0] + sign * h * e.data[0], v->data[1] + sign * h * e.data[1],
                           v->data[2] + sign * h * e.data[2]);
        });
        glEnd();
        modified = false;
        return;
    }
    // Vertex normals are the hash vertices' directions.
    auto corner = [](const CSTLVertex* v, float shift) {
        glNormal3fv(v->direction.data);
        if (shift == 0.0f) {
            glVertex3fv(v->data);
            return;
        }
        glVertex3f(v->data[0] + shift * v->direction.data[0],
                   v->data[1] + shift * v->direction.data[1],
                   v->data[2] + shift * v->direction.data[2]);
    };
    if (!(offsetDistance > 0.0f)) {
        const int inc = drawStep();
        GLint shadeModel = GL_SMOOTH;
        glGetIntegerv(GL_SHADE_MODEL, &shadeModel);
        const bool flat = shadeModel == GL_FLAT;
        glBegin(GL_TRIANGLES);
        for (int i = 0; i < triangles.count; i += inc) {
            const CTriData& t = triangles.data[i];
            if (flat) {
                glNormal3fv(t.normal.data);
                for (const CSTLVertex* v : t.v)
                    glVertex3fv(v->data);
            } else {
                for (const CSTLVertex* v : t.v)
                    corner(v, 0.0f);
            }
        }
        glEnd();
        glBegin(GL_QUADS);
        for (int i = 0; i < quads.count; ++i)
            for (const CSTLVertex* v : quads.data[i].v)
                corner(v, 0.0f);
        glEnd();
    } else {
        auto flagged = [](CSTLVertex* const* corners, int size) {
            for (int k = 0; k < size; ++k)
                if (corners[k]->firstFlag == 0)
                    return false;
            return true;
        };
        // Each flagged facet once at +d and once at -d along the vertex
        // normals: the two sides of the offset shell.
        for (float shift : {offsetDistance, -offsetDistance}) {
            glBegin(GL_TRIANGLES);
            for (int i = 0; i < triangles.count; ++i)
                if (flagged(triangles.data[i].v, 3))
                    for (const CSTLVertex* v : triangles.data[i].v)
                        corner(v, shift);
            glEnd();
            glBegin(GL_QUADS);
            for (int i = 0; i < quads.count; ++i)
                if (flagged(quads.data[i].v, 4))
                    for (const CSTLVertex* v : quads.data[i].v)
                        corner(v, shift);
            glEnd();
        }
    }
    if ((mode & (drawBoundaryEdges | drawCreaseEdges)) != 0) {
        if (edgeSet.count == 0)
            buildEdgeTable();
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        auto drawEdges = [this](bool boundary, float r, float g, float b) {
            glColor3f(r, g, b);
            glBegin(GL_LINES);
            for (int n = 0; n < edgeSet.count; ++n) {
                const CTriangularEdge* e = edgeSet.items[n];
                const bool take = boundary
                                      ? e->second == nullptr
                                      : e->second != nullptr && double(e->value) < creaseThreshold;
                if (take) {
                    glVertex3fv(e->a->data);
                    glVertex3fv(e->b->data);
                }
            }
            glEnd();
        };
        if ((mode & drawBoundaryEdges) != 0)
            drawEdges(true, 0.4f, 0.0f, 0.6f);
        if ((mode & drawCreaseEdges) != 0)
            drawEdges(false, 0.5f, 0.0f, 0.8f);
    }
    modified = false;
}

bool CMesh<CSTLVertex>::hitOrNearest(const Point& p, const Direction& d,
                                     Kor::Set<CBaseHitInfo>& hits, bool bothSides, bool fallback,
                                     bool firstOnly, Kor::List<int>* cells, double tolerance)
{
    if (CBaseMesh::hit(p, d, hits, bothSides, false, firstOnly, cells, tolerance))
        return true;
    if (!fallback)
        return hits.count > 0;
    Direction unit(d);
    const double length = std::sqrt(dot3(unit, unit));
    if (!(length > 0.0) || !std::isfinite(length))
        return hits.count > 0;
    for (int c = 0; c < 3; ++c)
        unit.data[c] = float(unit.data[c] / length);

    CSTLVertex* nearest = nullptr;
    float nearest2 = FLT_MAX;
    forEachHashVertex(vertexHash, [&](CSTLVertex* v) {
        const float d2 = pointLineDistance2(*v, p, unit);
        if (d2 < nearest2) {
            nearest2 = d2;
            nearest = v;
        }
    });
    if (nearest == nullptr)
        return hits.count > 0;

    const CVector<float, 3> toVertex = *nearest - p;
    const double nn = dot3(nearest->direction, nearest->direction);
    const double denominator = dot3(unit, nearest->direction);
    double t = dot3(toVertex, unit);
    if (nn > 0.0 && std::fabs(denominator) > 1e-6 * std::sqrt(nn))
        t = dot3(toVertex, nearest->direction) / denominator;

    CBaseHitInfo h;
    for (int c = 0; c < 3; ++c)
        h.data[c] = float(double(p.data[c]) + t * unit.data[c]);
    h.distance = std::fabs(t);
    h.normal = nearest->direction;
    h.flag = 1;
    for (int i = 0; i < triangles.count && h.facet < 0; ++i)
        for (int k = 0; k < 3; ++k)
            if (triangles.data[i].v[k] == nearest)
                h.facet = i;
    addHit(hits, h);
    return hits.count > 0;
}

} // namespace Mesh
