#include "foundation/FitPoint.h"

#include <algorithm>
#include <cmath>
#include <ostream>

CFitPoint::CFitPoint(const Vector& point) : Point(point), uv(2) {}

CFitPoint::CFitPoint(const Vector& point, const Vector& params) : Point(point), uv(params) {}

CFitPoint::CFitPoint(const Vector& point, const Vector& params, const Vector& normal)
    : Point(point), uv(params), Normal(normal)
{
}

std::ostream& operator<<(std::ostream& os, const CFitPoint& p)
{
    os << "Point=" << p.Point;
    if (p.uv.n != 0)
        os << " uv=" << p.uv;
    if (p.Normal.n != 0)
        os << " Normal=" << p.Normal;
    if (p.ot.n != 0)
        os << " ot=" << p.ot;
    if (p.Tangent.n != 0)
        os << " Tangent=" << p.Tangent;
    if (p.SurfNormal.n != 0)
        os << " SurfNormal=" << p.SurfNormal;
    os << " group=" << p.group;
    os << " AbsErr=" << (std::isfinite(p.AbsErr) ? p.AbsErr : 0.0);
    os << " weight=" << (std::isfinite(p.weight) ? p.weight : 1.0);
    os << " dist2=" << (std::isfinite(p.dist2) ? p.dist2 : 0.0);
    return os;
}

double signedError(const CFitPoint& p)
{
    return std::sqrt(std::max(p.dist2, 0.0)) * p.side;
}

void printFitPoint(std::ostream& os, const CFitPoint& p)
{
    os << p;
}

void insertAfter(CFitPointArray& a, const CFitPoint& p, int index)
{
    index = std::clamp(index, -1, a.count - 1);
    if (index == a.count - 1) {
        a.append(p);
        return;
    }
    const CFitPoint copy = p; // p may be an element of a
    if (a.count == a.capacity)
        a.setCapacity((std::max(a.capacity, 1) * 3 + 1) / 2);
    for (int i = a.count; i > index + 1; --i)
        a.data[i] = std::move(a.data[i - 1]);
    a.data[index + 1] = copy;
    ++a.count;
}

bool removeAt(CFitPointArray& a, int index)
{
    if (index < 0 || index >= a.count)
        return false;
    for (int i = index; i + 1 < a.count; ++i)
        a.data[i] = std::move(a.data[i + 1]);
    --a.count;
    // Leave the vacated record in its default state so that no stale vectors
    // linger behind count.
    a.data[a.count] = CFitPoint();
    return true;
}

CFitPointArray2D::CFitPointArray2D(int r, int c)
{
    if (r > 0 && c > 0) {
        rows = r;
        cols = c;
        items = new CFitPoint[static_cast<std::size_t>(r) * static_cast<std::size_t>(c)];
    }
}

CFitPointArray2D::~CFitPointArray2D()
{
    delete[] items;
}

namespace {

void addCoordinates(Vector& sum, const Vector& p)
{
    const int m = std::min(3, p.n);
    for (int d = 0; d < m; ++d)
        sum[d] += p[d];
}

} // namespace

Vector centroid(const CFitPointArray& points)
{
    Vector c(3);
    for (int i = 0; i < points.count; ++i)
        addCoordinates(c, points.data[i].Point);
    if (points.count > 0)
        c /= points.count;
    return c;
}

Vector centroid(const IndexSubset<CFitPoint>& points)
{
    Vector c(3);
    for (int k = 0; k < points.count; ++k)
        addCoordinates(c, points.at(k).Point);
    if (points.count > 0)
        c /= points.count;
    return c;
}

std::array<Vector, 2> boundingBox(const IndexSubset<CFitPoint>& points)
{
    std::array<Vector, 2> box{Vector(3), Vector(3)};
    if (points.count == 0)
        return box;
    box[0].fill(HUGE_VAL);
    box[1].fill(-HUGE_VAL);
    for (int k = 0; k < points.count; ++k) {
        const Vector& p = points.at(k).Point;
        const int m = std::min(3, p.n);
        for (int d = 0; d < m; ++d) {
            box[0][d] = std::min(box[0][d], p[d]);
            box[1][d] = std::max(box[1][d], p[d]);
        }
    }
    // Coordinates that no point has stay zero instead of infinite.
    for (int d = 0; d < 3; ++d) {
        if (box[0][d] > box[1][d])
            box[0][d] = box[1][d] = 0.0;
    }
    return box;
}

std::array<Vector, 2> boundingBox(const CFitPointArray& points)
{
    IndexSubset<CFitPoint> all(const_cast<CFitPointArray*>(&points), points.count);
    all.selectAll();
    return boundingBox(all);
}
