#include "geometry/NumericRoutines.h"

#include "foundation/Matrix.h"
#include "foundation/Sort.h"
#include "foundation/Vector.h"
#include "geometry/ParametricGeometry.h"

#include <cmath>
#include <memory>
#include <ostream>

namespace {

// Rules for 3 .. 10 points. For odd n the first entry is the midpoint 0.
const GaussRule gaussRules[8] = {
    {2, {0.0, 0.7745966692414834}, {0.88888888888888884, 0.55555555555555558}},
    {2, {0.33998104358485626, 0.86113631159405257}, {0.65214515486254609, 0.34785484513745385}},
    {3,
     {0.0, 0.53846931010568311, 0.90617984593866396},
     {0.56888888888888889, 0.47862867049936647, 0.23692688505618908}},
    {3,
     {0.2386191860831969, 0.66120938646626448, 0.93246951420315205},
     {0.46791393457269104, 0.36076157304813861, 0.17132449237917036}},
    {4,
     {0.0, 0.40584515137739718, 0.74153118559939446, 0.94910791234275849},
     {0.4179591836734694, 0.38183005050511892, 0.27970539148927664, 0.1294849661688697}},
    {4,
     {0.18343464249564981, 0.52553240991632899, 0.79666647741362673, 0.96028985649753629},
     {0.36268378337836199, 0.31370664587788727, 0.22238103445337448, 0.10122853629037626}},
    {5,
     {0.0, 0.32425342340380892, 0.61337143270059036, 0.83603110732663577, 0.96816023950762609},
     {0.33023935500125978, 0.31234707704000286, 0.26061069640293544, 0.1806481606948574,
      0.081274388361574412}},
    {5,
     {0.14887433898163122, 0.43339539412924721, 0.67940956829902444, 0.86506336668898454,
      0.97390652851717174},
     {0.29552422471475287, 0.26926671930999635, 0.21908636251598204, 0.14945134915058059,
      0.066671344308688138}},
};

double speedAt(CParametricGeometry& g, double t)
{
    Vector** d = g.evaluate(1, t, 0.0);
    if (d == nullptr)
        return 0.0;
    const double sq = dot(d[1][0], d[1][0]);
    return sq > 0.0 ? std::sqrt(sq) : 0.0;
}

} // namespace

const GaussRule& gaussLegendreRule(int n)
{
    return gaussRules[(n < 3 ? 3 : n > 10 ? 10 : n) - 3];
}

double gaussLegendreLength(CParametricGeometry& g, double a, double b, int n)
{
    return gaussLegendreIntegral(a, b, n, [&g](double t) { return speedAt(g, t); });
}

bool fitLine(const Kor::List<std::array<double, 2>>& points, double& a, double& b)
{
    const int n = points.count;
    if (n < 2)
        return false;
    double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = points.data[i][0];
        const double y = points.data[i][1];
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    // The second pivot of the normal equations is n * spread / Sxx. An
    // absolute pivot test misses it when all x are equal but not exactly
    // representable (the pivot is then rounding noise), so the spread is
    // measured directly and compared with the data's scale.
    const double mean = sx / n;
    double spread = 0.0;
    for (int i = 0; i < n; ++i) {
        const double dx = points.data[i][0] - mean;
        spread += dx * dx;
    }
    if (!(spread > 2.2e-16 * sxx))
        return false;

    Matrix m(2, SymmetricMatrix);
    m.at(0, 0) = sxx;
    m.at(1, 0) = sx;
    m.at(1, 1) = n;
    if (m.factorize(0, 2.2e-16) != FactorizeDone)
        return false;
    Vector rhs(2);
    rhs[0] = sxy;
    rhs[1] = sy;
    Vector x(2);
    if (!m.solve(x, rhs))
        return false;
    a = x[0];
    b = x[1];
    return true;
}

void sortIntArrayByKey(int* values, int n)
{
    if (values == nullptr || n <= 1)
        return;
    std::unique_ptr<int[]> order(new int[n]);
    for (int i = 0; i < n; ++i)
        order[i] = i;
    quickSortIndices(values, order.get(), 0, n - 1, lessInt);
    std::unique_ptr<int[]> sorted(new int[n]);
    for (int i = 0; i < n; ++i)
        sorted[i] = values[order[i]];
    for (int i = 0; i < n; ++i)
        values[i] = sorted[i];
}

std::ostream& operator<<(std::ostream& os, const Kor::List<double>& values)
{
    for (int i = 0; i < values.count; ++i)
        os << values.data[i] << '\n';
    return os;
}
