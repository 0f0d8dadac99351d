#include "healing/InternalG1.h"

#include "foundation/Logging.h"
#include "geometry/FitHelpers.h"
#include "geometry/NurbsSurf.h"

bool makeCollinear(Vector& a, Vector& b, Vector& c, int mode)
{
    const Vector m = (1.0 / 3.0) * (a + b + c);
    Vector point = m;
    Vector direction = c - a;
    switch (mode) {
    case 0:
        point = a;
        direction = b - a;
        break;
    case 1:
        point = b;
        direction = c - b;
        break;
    case 2:
        point = a;
        break;
    default:
        break;
    }
    direction.normalize();
    const CAxis line(point, direction);
    a = line.footOnLine(a);
    b = line.footOnLine(b);
    c = line.footOnLine(c);
    return true;
}

namespace {

// The control point through which the curve passes at knot value v (the
// start point of a piece, or the joint point at its end).
int controlIndexOfKnot(const knots& k, double v)
{
    return k.clampToKnots(v) - k.p;
}

} // namespace

bool AdjustInternalG1(Fenwo::NurbsSurf* curve)
{
    if (curve == nullptr || curve->uKnots == nullptr)
        return true;
    const knots& k = *curve->uKnots;
    Kor::List<Kor::List<double>> pieces;
    k.splitAtC0Breaks(pieces);
    if (pieces.count <= 1)
        return true;
    profileLog() << " unexpected: AdjustInternalG1 has something to do." << std::endl;
    const int p = k.p;
    for (int piece = pieces.count - 1; piece >= 1; --piece) {
        const Kor::List<double>& left = pieces[piece - 1];
        const int J = controlIndexOfKnot(k, left[left.count - 1]);
        Vector a, b, c;
        curve->getControlPoint(J - 1, 0, a);
        curve->getControlPoint(J, 0, b);
        curve->getControlPoint(J + 1, 0, c);
        const Vector oldLeft = a;
        makeCollinear(a, b, c, p == 2 ? 2 : 1);
        if (p == 2) {
            curve->setControlPointPosition(J - 1, 0, a);
        } else {
            const Vector delta = a - oldLeft;
            const int S = controlIndexOfKnot(k, left[0]);
            const int n = J - S - 2;
            if (n >= 1 && J - 1 > S) {
                for (int j = J - 1; j >= S + 1; --j) {
                    const double factor = static_cast<double>(j - S - 1) / n;
                    Vector q;
                    curve->getControlPoint(j, 0, q);
                    curve->setControlPointPosition(j, 0, q + factor * delta);
                }
            }
        }
        curve->setControlPointPosition(J, 0, b);
        curve->setControlPointPosition(J + 1, 0, c);
    }
    return true;
}
