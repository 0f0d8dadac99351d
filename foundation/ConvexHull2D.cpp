#include "foundation/ConvexHull2D.h"

#include "foundation/Sort.h"

CConvexHull2D::CConvexHull2D(const Kor::List<Vector>& input) : hull(&points, 0)
{
    findPivot(input);
    const int n = input.count;
    points.setCapacity(n);
    for (int i = 0; i < n; ++i)
        points.append(CPolarPoint(input[i], centre));
    order = Kor::IntArray(n);
    for (int i = 0; i < n; ++i)
        order[i] = i;
    sortByAngle(0, n - 1);
    scan();
}

void CConvexHull2D::findPivot(const Kor::List<Vector>& input)
{
    double x = -1e10;
    double y = 1e10;
    int pivot = -1;
    for (int i = 0; i < input.count; ++i) {
        const Vector& p = input[i];
        if (p[1] < y || (p[1] == y && p[0] > x)) {
            x = p[0];
            y = p[1];
            pivot = i;
        }
    }
    if (pivot >= 0)
        centre = input[pivot];
    else
        centre = Vector(x, y, 0.0);
}

void CConvexHull2D::sortByAngle(int first, int last)
{
    if (first >= last)
        return;
    const CPolarPoint* p = points.data;
    quickSort(order.data, first, last, [p](const int* a, const int* b) {
        if (p[*a].angle != p[*b].angle)
            return p[*a].angle < p[*b].angle;
        return p[*a].dist2 < p[*b].dist2;
    });
}

namespace {

// 2-D cross product of (b - a) and (c - b): positive for a left turn.
double turn(const Vector& a, const Vector& b, const Vector& c)
{
    return (b[0] - a[0]) * (c[1] - b[1]) - (b[1] - a[1]) * (c[0] - b[0]);
}

} // namespace

void CConvexHull2D::scan()
{
    const int n = points.count;
    hull.clear();
    if (n < 4) {
        hull.selectAll();
        return;
    }
    hull.setCapacity(n + 1);
    hull.append(order[n - 1]);
    hull.append(order[0]);
    for (int k = 1; k < n; ++k) {
        const Vector& c = points.data[order[k]].point;
        for (;;) {
            const Vector& a = points.data[hull.indices[hull.count - 2]].point;
            const Vector& b = points.data[hull.indices[hull.count - 1]].point;
            if (turn(a, b, c) > 1e-8) {
                hull.append(order[k]);
                break;
            }
            if (hull.count < 3)
                break; // the candidate is skipped
            --hull.count;
        }
    }
}
