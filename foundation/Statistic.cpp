#include "foundation/Statistic.h"

#include <cmath>
#include <ostream>

void CStatistic::add(double x)
{
    sum += x;
    sumSquares += x * x;
    if (count == 0) {
        min = x;
        max = x;
    } else {
        if (x < min)
            min = x;
        if (x > max)
            max = x;
    }
    ++count;
    if (keepValues)
        values.append(x);
}

bool CStatistic::holdsValues() const
{
    return count > 0 && min != -DBL_MAX && max != DBL_MAX;
}

double CStatistic::mean() const
{
    return count > 0 ? sum / count : 0.0;
}

double CStatistic::rms() const
{
    if (count <= 0)
        return 0.0;
    const int dof = count > 1 ? count - 1 : 1;
    return std::sqrt(sumSquares / dof);
}

std::ostream& operator<<(std::ostream& os, const CStatistic& s)
{
    os << "n=" << s.count << " in [";
    if (s.holdsValues())
        os << s.min << "," << s.max;
    else
        os << "-infty"
           << ","
           << "infty";
    os << "]";
    if (s.count != 0)
        os << " mean=" << s.sum / s.count;
    if (s.count >= 2)
        os << " rms=" << std::sqrt(s.sumSquares / (s.count - 1));
    return os;
}
