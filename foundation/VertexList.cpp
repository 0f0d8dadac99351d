#include "foundation/VertexList.h"

#include "foundation/PlanarGeometry.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <vector>

bool lessByParameter(const CIntersectionVertex* a, const CIntersectionVertex* b)
{
    return a->t < b->t;
}

bool lessAlongPolygon(const CIntersectionVertex* a, const CIntersectionVertex* b)
{
    return a->vIndex < b->vIndex || (a->vIndex == b->vIndex && a->param < b->param);
}

CVertex<double, 3> CIntersectionVertex::getPoint() const
{
    if (param > 0.0 && polygon != nullptr && polygon->getCount() > 0) {
        const CVertex<double, 3>& a = *polygon->getVertex(vIndex);
        const CVertex<double, 3>& b = *polygon->getVertex(vIndex + 1);
        CVertex<double, 3> p;
        for (int d = 0; d < 3; ++d)
            p[d] = (1.0 - param) * a[d] + param * b[d];
        return p;
    }
    return point;
}

std::ostream& operator<<(std::ostream& os, const CIntersectionVertex& x)
{
    if (x.m_i + x.m_j == -2)
        return os << "vIndex=" << x.vIndex << " param =" << x.param;
    return os << "m_i=" << x.m_i << " m_j=" << x.m_j;
}

std::ostream& operator<<(std::ostream& os, const Kor::Set<CIntersectionVertex>& set)
{
    for (const CIntersectionVertex* x : set)
        os << *x << "\n";
    return os;
}

bool lessDouble(const double* a, const double* b)
{
    return *a < *b;
}

bool lessEdge(const CTGEdge* a, const CTGEdge* b)
{
    return a->i < b->i || (a->i == b->i && a->j < b->j);
}

bool lessByFirstDouble(const double* a, const double* b)
{
    return a[0] < b[0];
}

bool lessByThirdDouble(const double* a, const double* b)
{
    return a[2] < b[2];
}

bool lessInt(const int* a, const int* b)
{
    return *a < *b;
}

bool lessByKey(const CTGVertex* const* a, const CTGVertex* const* b)
{
    return (*a)->key < (*b)->key;
}

void sortPointersByFirstDouble(double** items, int n)
{
    if (n > 1)
        quickSort(items, 0, n - 1,
                  [](double* const* a, double* const* b) { return lessByFirstDouble(*a, *b); });
}

CVertex<double, 3> scaledVertex(double s, const CVertex<double, 3>& v)
{
    return s * v;
}

CVertexList::~CVertexList()
{
    vertices.deleteAll();
}

CVertex<double, 3>* CVertexList::getVertex(int i) const
{
    const int n = vertices.count;
    if (n < 1)
        return nullptr;
    int k = i % n;
    if (k < 0)
        k += n;
    return vertices[k];
}

void CVertexList::appendPoint(const Vector& p)
{
    auto* v = new CVertex<double, 3>();
    for (int d = 0; d < 3 && d < p.n; ++d)
        (*v)[d] = p[d];
    vertices.append(v);
}

double CVertexList::windingAngle(const CVertex<double, 3>& p) const
{
    const int n = vertices.count;
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += signedAngle(*vertices[i], p, *vertices[(i + 1) % n]);
    return sum;
}

bool CVertexList::isInside(const CVertex<double, 3>& p, bool useSecondAxis) const
{
    return pointInPolygon(vertices, p, useSecondAxis);
}

CVertex<double, 3> CVertexList::cornerCentroid(int i, int j, int k) const
{
    const double third = 1.0 / 3.0;
    return CVertex<double, 3>(third, *getVertex(i), third, *getVertex(j), third, *getVertex(k));
}

int CVertexList::orientation() const
{
    const int n = vertices.count;
    if (n < 3)
        return 0;
    for (int i = 0; i < n; ++i) {
        // A corner without area (a straight run, or a spike where the polygon
        // turns back on itself) puts its centroid on the polygon's own edges,
        // where the winding angle takes half turns of either sign: such a
        // corner decides nothing.
        const CVertex<double, 3>& a = *getVertex(i);
        const CVertex<double, 3>& b = *getVertex(i + 1);
        const CVertex<double, 3>& d = *getVertex(i + 2);
        const double ux = b[0] - a[0], uy = b[1] - a[1], vx = d[0] - b[0], vy = d[1] - b[1];
        if (std::fabs(ux * vy - uy * vx) <= 1e-12 * std::hypot(ux, uy) * std::hypot(vx, vy))
            continue;
        const CVertex<double, 3> c = cornerCentroid(i, i + 1, i + 2);
        if (!isInside(c, true))
            continue;
        const double w = windingAngle(c);
        if (w > 4.71238898038469) // 3 pi / 2: one full counter-clockwise turn
            return -1;
        if (w < -0.15707963267948966) // -pi / 20
            break;
    }
    return 1;
}

bool CVertexList::segmentCrossParams(const CVertex<double, 3>& a, const CVertex<double, 3>& b,
                                     Kor::Set<double>& params) const
{
    const int n = vertices.count;
    for (int i = 0; i < n; ++i) {
        double t = 0.0;
        if (!intersectSegments(a, b, *vertices[i], *vertices[(i + 1) % n], t))
            continue;
        int index = -1;
        if (!params.find(&t, index, lessDouble))
            params.insertAt(new double(t), index);
    }
    return params.count > 1;
}

bool CVertexList::segmentCrossVertices(const CVertex<double, 3>& a, const CVertex<double, 3>& b,
                                       Kor::Set<CIntersectionVertex>& hits)
{
    const int n = vertices.count;
    bool havePrevious = false;
    double previous = 0.0;
    for (int i = 0; i < n; ++i) {
        const CVertex<double, 3>& e0 = *vertices[i];
        const CVertex<double, 3>& e1 = *vertices[(i + 1) % n];
        double t = 0.0, s = 0.0;
        if (!intersectSegments(a, b, e0, e1, t, s))
            continue;
        if (havePrevious && std::fabs(t - previous) < 1e-8)
            t = t >= previous ? previous + 2e-8 : previous - 2e-8;
        auto hit = std::make_unique<CIntersectionVertex>();
        hit->t = t;
        hit->param = s;
        hit->vIndex = i;
        hit->polygon = this;
        for (int d = 0; d < 3; ++d)
            hit->point[d] = (1.0 - s) * e0[d] + s * e1[d];
        int index = -1;
        hits.find(hit.get(), index, lessByParameter);
        // Equal parameters are kept side by side: insert behind the equal one.
        while (index + 1 < hits.count && !lessByParameter(hit.get(), hits.items[index + 1]))
            ++index;
        hits.insertAt(hit.release(), index);
        previous = t;
        havePrevious = true;
    }
    return hits.count > 1;
}

bool CVertexList::selfIntersects() const
{
    const int n = vertices.count;
    if (n < 4)
        return false;
    for (int i = 0; i < n; ++i) {
        const CVertex<double, 3>& p = *vertices[i];
        const CVertex<double, 3>& p1 = *vertices[(i + 1) % n];
        double dx = p1[0] - p[0], dy = p1[1] - p[1];
        const double lenI = std::hypot(dx, dy);
        const double ni = std::max(lenI, 2.2e-16);
        dx /= ni;
        dy /= ni;
        for (int j = i + 2; j < n; ++j) {
            if (i == 0 && j == n - 1)
                continue; // the closing edge is adjacent to edge 0
            const CVertex<double, 3>& q = *vertices[j];
            const CVertex<double, 3>& q1 = *vertices[(j + 1) % n];
            double ex = q1[0] - q[0], ey = q1[1] - q[1];
            const double lenJ = std::hypot(ex, ey);
            const double nj = std::max(lenJ, 2.2e-16);
            ex /= nj;
            ey /= nj;
            // Closest points of the two lines p + s d and q + t e; parallel
            // lines have none and are not counted as crossing.
            const double det = dx * ey - dy * ex;
            if (std::fabs(det) < 1e-12)
                continue;
            const double wx = q[0] - p[0], wy = q[1] - p[1];
            const double s = (wx * ey - wy * ex) / det;
            const double t = (wx * dy - wy * dx) / det;
            if (s >= 0.0 && s <= lenI && t >= 0.0 && t <= lenJ)
                return true;
        }
    }
    return false;
}

void CVertexList::insertFrom(CVertexList& source, int position, int startIndex)
{
    const int m = source.vertices.count;
    if (m == 0)
        return;
    int start = startIndex % m;
    if (start < 0)
        start += m;
    position = std::clamp(position, -1, vertices.count - 1);
    vertices.setCapacity(vertices.count + m, false);
    for (int k = 0; k < m; ++k)
        vertices.insertAfter(source.vertices[(start + k) % m], position + k);
    // The vertices now belong to this list.
    source.vertices.removeAll();
}

void CVertexList::deleteVertices()
{
    vertices.deleteAll();
}

namespace {

// Twice the signed area of the corner (a, b, c): positive when it turns
// counter-clockwise.
double cornerArea2(const CVertex<double, 3>& a, const CVertex<double, 3>& b,
                   const CVertex<double, 3>& c)
{
    return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

bool samePosition(const CVertex<double, 3>& a, const CVertex<double, 3>& b)
{
    return a[0] == b[0] && a[1] == b[1];
}

// The ring vertices sorted by key, with the moves the ear scan needs.
class KeyOrder {
public:
    std::vector<CTGVertex*> items;

    void sort()
    {
        if (items.size() > 1)
            quickSort(items.data(), 0, static_cast<int>(items.size()) - 1, lessByKey);
    }

    // Position of v, found by binary search on its key among equal keys;
    // -1 when it is not there.
    int find(CTGVertex* v) const
    {
        int index = -1;
        const int n = static_cast<int>(items.size());
        if (!binarySearchByKey<CTGVertex*>(&v, items.data(), n, index, lessByKey))
            return -1;
        for (int k = index; k >= 0 && !lessByKey(&items[k], &v); --k)
            if (items[k] == v)
                return k;
        for (int k = index + 1; k < n && !lessByKey(&v, &items[k]); ++k)
            if (items[k] == v)
                return k;
        return -1;
    }

    void insert(CTGVertex* v)
    {
        int index = -1;
        const int n = static_cast<int>(items.size());
        binarySearchByKey<CTGVertex*>(&v, items.data(), n, index, lessByKey);
        while (index + 1 < n && !lessByKey(&v, &items[index + 1]))
            ++index;
        items.insert(items.begin() + (index + 1), v);
    }
};

} // namespace

bool CVertexList::triangulate(Kor::List<CTGTriangle>& triangles, const CVertex<double, 3>* point)
{
    const int n = vertices.count;
    if (n < 3)
        return false;

    std::vector<CTGVertex> ring(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        ring[i].index = i;
        ring[i].pPrev = &ring[(i + n - 1) % n];
        ring[i].pNext = &ring[(i + 1) % n];
        ring[i].polygon = this;
    }

    // Convex corners get keys <= 0 (the negated corner area) whichever way
    // the polygon runs, so the scan takes the largest convex corners first.
    double area2 = 0.0;
    for (int i = 0; i < n; ++i) {
        const CVertex<double, 3>& a = *vertices[i];
        const CVertex<double, 3>& b = *vertices[(i + 1) % n];
        area2 += a[0] * b[1] - b[0] * a[1];
    }
    const double turnSign = area2 < 0.0 ? -1.0 : 1.0;
    auto keyOf = [&](const CTGVertex* v) {
        if (point != nullptr)
            return (*vertices[v->index])[0];
        return -turnSign * cornerArea2(*vertices[v->pPrev->index], *vertices[v->index],
                                       *vertices[v->pNext->index]);
    };

    KeyOrder order;
    order.items.reserve(static_cast<std::size_t>(n));
    for (CTGVertex& v : ring) {
        v.key = keyOf(&v);
        order.items.push_back(&v);
    }
    order.sort();

    auto appendTriangle = [&](const CTGVertex* v) {
        CTGTriangle tri;
        tri.i = v->pPrev->index;
        tri.j = v->index;
        tri.k = v->pNext->index;
        tri.polygon = this;
        triangles.append(tri);
    };

    auto isEar = [&](const CTGVertex* v) {
        const CVertex<double, 3>& a = *vertices[v->pPrev->index];
        const CVertex<double, 3>& p = *vertices[v->index];
        const CVertex<double, 3>& b = *vertices[v->pNext->index];
        const CVertex<double, 3>* corners[3] = {&a, &p, &b};
        // No other remaining vertex may lie in the triangle or on its edges;
        // a copy of a corner (the two sides of a bridge to a hole) is no
        // obstacle.
        for (const CTGVertex* w = v->pNext->pNext; w != v->pPrev; w = w->pNext) {
            const CVertex<double, 3>& q = *vertices[w->index];
            if (samePosition(q, a) || samePosition(q, p) || samePosition(q, b))
                continue;
            if (pointInVertexArray(corners, 3, q, true))
                return false;
        }
        // The diagonal must not cross the boundary: its crossings with the
        // edges may only lie at (or within 1e-6 of) its ends, and its middle
        // must be inside the polygon.
        Kor::Set<double> params;
        segmentCrossParams(a, b, params);
        double last = 0.0, largestGap = 0.0;
        for (int k = 0; k < params.count; ++k) {
            const double t = std::clamp(*params.items[k], 0.0, 1.0);
            largestGap = std::max(largestGap, t - last);
            last = t;
        }
        largestGap = std::max(largestGap, 1.0 - last);
        if (largestGap <= 0.999999)
            return false;
        const CVertex<double, 3> middle(0.5, a, 0.5, b, 0.0, b);
        return pointInPolygon(vertices, middle, true);
    };

    auto reposition = [&](CTGVertex* v, const char* message) {
        const int at = order.find(v);
        if (at < 0) {
            std::cout << message << std::endl;
            return;
        }
        order.items.erase(order.items.begin() + at);
        v->key = keyOf(v);
        order.insert(v);
    };

    int remaining = n;
    while (remaining > 3) {
        bool clipped = false;
        for (std::size_t k = 0; k < order.items.size(); ++k) {
            CTGVertex* v = order.items[k];
            if (point == nullptr && v->key > 0.0)
                break;
            if (!isEar(v))
                continue;
            appendTriangle(v);
            CTGVertex* prev = v->pPrev;
            CTGVertex* next = v->pNext;
            prev->pNext = next;
            next->pPrev = prev;
            order.items.erase(order.items.begin() + static_cast<std::ptrdiff_t>(k));
            --remaining;
            reposition(prev, "couldnt remove pPrev !");
            reposition(next, "couldnt remove pNext !");
            clipped = true;
            break;
        }
        if (!clipped) {
            std::cout << "emergency break, PV not removed." << std::endl;
            return false;
        }
    }
    // The last three vertices form the last ear.
    appendTriangle(order.items.front());
    return true;
}
