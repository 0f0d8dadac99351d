#include "mesh/BaseMesh.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iostream>

namespace Mesh {

namespace {

// Facets of more corners are left out by copyMesh.
constexpr int kMaxCopiedCorners = 20;
// Corners of a facet read at once for its centroid and quality.
constexpr int kCornersReadAtOnce = 64;

} // namespace

CBaseMesh::CBaseMesh() : mtLock(new CMTLock) {}

CBaseMesh::~CBaseMesh()
{
    CBaseMesh::releaseFacetHash();
    delete mtLock;
    mtLock = nullptr;
    CBaseMesh::clearUndo();
}

void CBaseMesh::releaseFacetHash()
{
    // The hash holds pointers into the centroid array: empty it first.
    facetHash.clear();
    delete[] facetCentroids;
    facetCentroids = nullptr;
}

bool CBaseMesh::buildTopology()
{
    return false;
}

void CBaseMesh::reserved6() {}

CBox<float, 3> CBaseMesh::getBoundingBox()
{
    return box;
}

void CBaseMesh::computeBoundingBox()
{
    box.setEmpty();
    const int n = getVertexCount(true);
    Point p;
    for (int i = 0; i < n; ++i)
        if (getVertex(i, p))
            box.add(p);
}

bool CBaseMesh::getTriangleCornersD(int i, CVertex<double, 3>& a, CVertex<double, 3>& b,
                                    CVertex<double, 3>& c)
{
    const bool ok = getTriangleCorners(i, cornerA, cornerB, cornerC);
    for (int k = 0; k < 3; ++k) {
        a.data[k] = cornerA.data[k];
        b.data[k] = cornerB.data[k];
        c.data[k] = cornerC.data[k];
    }
    return ok;
}

bool CBaseMesh::getTriangleCorners(int i, Point& a, Point& b, Point& c)
{
    // A triangle or quadrilateral whose corners all exist is read at once
    // where the mesh can; anything else corner by corner, which says which
    // corner cannot be read.
    float xyz[12];
    if (readFacetCorners(i, xyz, 4) >= 3) {
        std::copy_n(xyz, 3, a.data);
        std::copy_n(xyz + 3, 3, b.data);
        std::copy_n(xyz + 6, 3, c.data);
        return true;
    }
    getFacetCorner(i, 0, a);
    getFacetCorner(i, 1, b);
    getFacetCorner(i, 2, c);
    return true;
}

bool CBaseMesh::getVertexTriangleNormal(int a, int b, int c, Direction& n)
{
    if (!getVertex(a, workPoints[0]) || !getVertex(b, workPoints[1]) ||
        !getVertex(c, workPoints[2]))
        return false;
    return triangleNormalAndArea(workPoints[0], workPoints[1], workPoints[2], n) > 1e-8;
}

bool CBaseMesh::getTriangleNormal(int i, Direction& n)
{
    if (!getTriangleCorners(i, workPoints[0], workPoints[1], workPoints[2]))
        return false;
    return triangleNormalAndArea(workPoints[0], workPoints[1], workPoints[2], n) > 1e-6;
}

int CBaseMesh::getFacetCount()
{
    return getTriangleCount();
}

int CBaseMesh::getVertexCount(bool)
{
    int sum = 0;
    const int n = getFacetCount();
    for (int i = 0; i < n; ++i)
        sum += getFacetSize(i);
    return sum;
}

bool CBaseMesh::getVertex(int, Point&)
{
    return false;
}

bool CBaseMesh::getVertex(int i, float out[3])
{
    if (!getVertex(i, workPoints[3]))
        return false;
    for (int k = 0; k < 3; ++k)
        out[k] = workPoints[3].data[k];
    return true;
}

int CBaseMesh::reserved25()
{
    return 0;
}

bool CBaseMesh::setVertex(int, const Point&)
{
    return false;
}

int CBaseMesh::getPolygonVertexIndex(int, int)
{
    return -1;
}

double CBaseMesh::getFacetPerimeter(int i)
{
    const int size = getFacetSize(i);
    if (size <= 0)
        return 0.0;
    double sum = 0.0;
    getFacetCorner(i, 0, workPoints[0]);
    for (int k = 1; k <= size; ++k) {
        Point& prev = workPoints[(k - 1) % 2];
        Point& cur = workPoints[k % 2];
        getFacetCorner(i, k, cur);
        sum += double(pointDistance(prev, cur));
    }
    return sum;
}

int CBaseMesh::addVertex(const Point&)
{
    return -1;
}

bool CBaseMesh::setFacetInfo(int, int, double, double)
{
    return false;
}

bool CBaseMesh::getFacetInfo(int, int&, double&, double&)
{
    return false;
}

int CBaseMesh::addTriangle(const Point&, const Point&, const Point&)
{
    return -1;
}

int CBaseMesh::addQuad(const Point&, const Point&, const Point&, const Point&, bool)
{
    return -1;
}

int CBaseMesh::addPolygon(const int*, int, int)
{
    return -1;
}

bool CBaseMesh::mergeVertices(double, int)
{
    return false;
}

int CBaseMesh::getFacetSize(int i)
{
    return i >= 0 && i < getFacetCount() ? 3 : 0;
}

bool CBaseMesh::getFacetCorner(int i, int k, Point& out)
{
    if (i < 0 || i >= getFacetCount())
        return false;
    return getTriangleCorner(i, k, out);
}

int CBaseMesh::readFacetCorners(int, float*, int)
{
    return -1;
}

bool CBaseMesh::canUndo()
{
    return undoItems.count > 0;
}

bool CBaseMesh::undo()
{
    return false;
}

bool CBaseMesh::deleteFacet(int i)
{
    if (i < 0 || i >= getFacetCount())
        return false;
    return deleteFacets(&i, 1, true);
}

bool CBaseMesh::deleteFacets(const int*, int, bool)
{
    modified = true;
    return false;
}

bool CBaseMesh::addUndoItem(CMeshUndoItem* item)
{
    if (item == nullptr)
        return false;
    undoItems.append(item);
    return true;
}

bool CBaseMesh::clearUndo()
{
    undoItems.deleteAll();
    return true;
}

bool CBaseMesh::appendPolygonStarts(const int*, int)
{
    return false;
}

int CBaseMesh::getPolygonStart(int)
{
    return 0;
}

bool CBaseMesh::flipFacets(const int*, int)
{
    return false;
}

void cornerCentroid(const float* xyz, int n, CVertex<float, 3>& out)
{
    double sum[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < n; ++k)
        for (int c = 0; c < 3; ++c)
            sum[c] += xyz[3 * k + c];
    const double divisor = n > 1 ? n : 1;
    for (int c = 0; c < 3; ++c)
        out.data[c] = float(sum[c] / divisor);
}

double cornerQuality(const float* xyz, int n)
{
    if (n <= 2)
        return DBL_MAX;
    auto corner = [&](int k) {
        return CVertex<float, 3>(const_cast<float*>(xyz) + 3 * (k % n), VertexStorage::View);
    };
    double best = DBL_MAX;
    for (int s = 1; 2 * s < n; s *= 2) {
        for (int k = 0; k + 2 * s <= n; k += 2 * s) {
            const CVertex<float, 3> a = corner(k), b = corner(k + s), c = corner(k + 2 * s);
            best = std::min(best,
                            triangleQuality(pointDistance(a, b), pointDistance(b, c),
                                            pointDistance(c, a)));
        }
    }
    return best;
}

bool CBaseMesh::getFacetCentroid(int i, Point& out)
{
    if (i < 0 || i >= getFacetCount())
        return false;
    const int size = getFacetSize(i);
    float corners[3 * kCornersReadAtOnce];
    if (size > 0 && readFacetCorners(i, corners, kCornersReadAtOnce) == size) {
        cornerCentroid(corners, size, out);
        return true;
    }
    double sum[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < size; ++k) {
        if (!getFacetCorner(i, k, workPoints[0]))
            return false;
        for (int c = 0; c < 3; ++c)
            sum[c] += workPoints[0].data[c];
    }
    const double divisor = size > 1 ? size : 1;
    for (int c = 0; c < 3; ++c)
        out.data[c] = float(sum[c] / divisor);
    return true;
}

bool CBaseMesh::evalFacetPoint(int i, Point& out, const float* w)
{
    if (i < 0 || i >= getFacetCount() || w == nullptr)
        return false;
    const int size = getFacetSize(i);
    float sum[3] = {0.0f, 0.0f, 0.0f};
    for (int k = 0; k < size; ++k) {
        if (!getFacetCorner(i, k, workPoints[0]))
            return false;
        for (int c = 0; c < 3; ++c)
            sum[c] += w[k] * workPoints[0].data[c];
    }
    out.set(sum);
    return true;
}

double cornerAreaAndNormal(const float* xyz, int n, CVector<float, 3>& normal)
{
    normal.data[0] = normal.data[1] = normal.data[2] = 0.0f;
    CPolyTriangulator triangulator(nullptr, 0);
    triangulator.n = n;
    const int triangles = std::max(n - 2, 0);
    double area = 0.0;
    float store[3];
    CVector<float, 3> w(store, VertexStorage::View);
    auto corner = [&](int k) {
        return CVertex<float, 3>(const_cast<float*>(xyz) + 3 * (k % n), VertexStorage::View);
    };
    for (int t = 0; t < triangles; ++t) {
        int ka, kb, kc;
        triangulator.nextCorners(ka, kb, kc);
        area += triangleNormalAndArea(corner(ka), corner(kb), corner(kc), w);
        normal += w;
    }
    normalize(normal);
    return area;
}

double CBaseMesh::getFacetAreaAndNormal(int i, Direction& n)
{
    const int size = getFacetSize(i);
    float corners[3 * kCornersReadAtOnce];
    if (size > 0 && readFacetCorners(i, corners, kCornersReadAtOnce) == size)
        return cornerAreaAndNormal(corners, size, n);
    n.data[0] = n.data[1] = n.data[2] = 0.0f;
    CPolyTriangulator triangulator(this, i);
    const int triangles = std::max(triangulator.n - 2, 0);
    double area = 0.0;
    for (int t = 0; t < triangles; ++t) {
        triangulator.next(workPoints[0], workPoints[1], workPoints[2]);
        area += triangleNormalAndArea(workPoints[0], workPoints[1], workPoints[2], workVectors[0]);
        n += workVectors[0];
    }
    normalize(n);
    return area;
}

double CBaseMesh::getFacetArea(int i)
{
    return getFacetAreaAndNormal(i, workVectors[1]);
}

bool CBaseMesh::getLoopEdgeLengths(const Kor::List<int>& loop, Kor::List<float>& out)
{
    out.count = 0;
    if (loop.count < 2)
        return false;
    for (int k = 1; k <= loop.count; ++k) {
        getVertex(loop.data[k - 1], workPoints[0]);
        getVertex(loop.data[k % loop.count], workPoints[1]);
        out.append(pointDistance(workPoints[0], workPoints[1]));
    }
    return true;
}

bool CBaseMesh::getVertexNormal(int, Direction&)
{
    return false;
}

bool CBaseMesh::getFacetNormal(int i, Direction& n)
{
    if (i < 0 || i >= getFacetCount())
        return false;
    if (getFacetSize(i) == 3 && getTriangleNormal(i, n))
        return true;
    n.data[0] = n.data[1] = n.data[2] = 0.0f;
    CPolyTriangulator triangulator(this, i);
    while (triangulator.next(workPoints[0], workPoints[1], workPoints[2])) {
        triangleNormalAndArea(workPoints[0], workPoints[1], workPoints[2], workVectors[2]);
        n += workVectors[2];
    }
    normalize(n);
    return true;
}

bool CBaseMesh::flipFacet(int)
{
    return false;
}

bool CBaseMesh::reserved55()
{
    return false;
}

bool CBaseMesh::reserved65()
{
    return false;
}

bool CBaseMesh::lock()
{
    return mtLock == nullptr ? true : mtLock->lock();
}

bool CBaseMesh::unlock()
{
    return mtLock == nullptr ? true : mtLock->unlock();
}

bool CBaseMesh::hasFacetValues()
{
    return facetValues.count == getFacetCount();
}

double CBaseMesh::facetQuality(int i)
{
    const int size = getFacetSize(i);
    if (size <= 2)
        return DBL_MAX;
    float corners[3 * kCornersReadAtOnce];
    if (readFacetCorners(i, corners, kCornersReadAtOnce) == size)
        return cornerQuality(corners, size);
    double best = DBL_MAX;
    for (int s = 1; 2 * s < size; s *= 2) {
        for (int k = 0; k + 2 * s <= size; k += 2 * s) {
            getFacetCorner(i, k, workPoints[0]);
            getFacetCorner(i, k + s, workPoints[1]);
            getFacetCorner(i, k + 2 * s, workPoints[2]);
            const double q = triangleQuality(pointDistance(workPoints[0], workPoints[1]),
                                             pointDistance(workPoints[1], workPoints[2]),
                                             pointDistance(workPoints[2], workPoints[0]));
            best = std::min(best, q);
        }
    }
    return best;
}

bool CBaseMesh::findFacetWithEdge(int a, int b, int& facet)
{
    const int count = getFacetCount();
    for (int f = 0; f < count; ++f) {
        const int size = getFacetSize(f);
        for (int k = 1; k <= size; ++k) {
            if (getPolygonVertexIndex(f, k - 1) == a && getPolygonVertexIndex(f, k) == b) {
                facet = f;
                return true;
            }
        }
    }
    return false;
}

CStatistic CBaseMesh::getEdgeLengthStatistics()
{
    CStatistic stat;
    if (edges.count > 0) {
        for (const CPolygonEdge& e : edges)
            stat.add(e.length);
        return stat;
    }
    const int count = getFacetCount();
    for (int f = 0; f < count; ++f) {
        const int size = getFacetSize(f);
        if (size <= 0)
            continue;
        getFacetCorner(f, 0, workPoints[0]);
        for (int k = 1; k <= size; ++k) {
            getFacetCorner(f, k, workPoints[k % 2]);
            stat.add(pointDistance(workPoints[(k - 1) % 2], workPoints[k % 2]));
        }
    }
    return stat;
}

bool CBaseMesh::copyMesh(CBaseMesh& source)
{
    const int count = source.getFacetCount();
    Point corners[kMaxCopiedCorners];
    int indices[kMaxCopiedCorners];
    for (int f = 0; f < count; ++f) {
        const int size = source.getFacetSize(f);
        if (size > kMaxCopiedCorners || size <= 0)
            continue;
        // Read every corner first so that a facet with an unreadable corner
        // leaves no stray vertices behind.
        bool readable = true;
        for (int k = 0; k < size && readable; ++k)
            readable = source.getFacetCorner(f, k, corners[k]);
        if (!readable)
            continue;
        for (int k = 0; k < size; ++k)
            indices[k] = addVertex(corners[k]);
        addPolygon(indices, size, 0);
    }
    computeBoundingBox();
    mergeVertices(1e-8, 0);
    buildTopology();
    modified = true;
    return true;
}

CPolyTriangulator::CPolyTriangulator(CBaseMesh* m, int i)
    : mesh(m), facet(i), n(m != nullptr ? m->getFacetSize(i) : 0)
{
}

bool CPolyTriangulator::nextCorners(int& ka, int& kb, int& kc)
{
    ka = position;
    kb = position + step;
    const int c = position + 2 * step;
    kc = c < 0 ? 0 : std::min(c, n);
    ++produced;
    position += 2 * step;
    if (position + step >= n) {
        step *= 2;
        position = 0;
    }
    return produced <= n - 2;
}

bool CPolyTriangulator::next(CVertex<float, 3>& a, CVertex<float, 3>& b, CVertex<float, 3>& c)
{
    int ka, kb, kc;
    const bool more = nextCorners(ka, kb, kc);
    if (mesh == nullptr)
        return more;
    if (cornersRead == 0) {
        cornersRead = mesh->readFacetCorners(facet, corners, kReadAtOnce);
        if (cornersRead != n || n < 1)
            cornersRead = -1;
    }
    if (cornersRead > 0) {
        // The same values getFacetCorner gives (corner indices cyclic).
        const int k[3] = {ka % n, kb % n, kc % n};
        CVertex<float, 3>* out[3] = {&a, &b, &c};
        for (int m = 0; m < 3; ++m)
            std::copy_n(corners + 3 * k[m], 3, out[m]->data);
        return more;
    }
    mesh->getFacetCorner(facet, ka, a);
    mesh->getFacetCorner(facet, kb, b);
    mesh->getFacetCorner(facet, kc, c);
    return more;
}

void reportNonFiniteFacets(long n)
{
    if (n > 0)
        std::cout << "left out " << n << " facets with non-finite coordinates" << std::endl;
}

} // namespace Mesh
