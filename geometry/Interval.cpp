#include "geometry/Interval.h"

#include <cmath>

Interval::Interval(double a, double b) : min(a), max(b), valid(true)
{
    if (b < a) {
        min = b;
        max = a;
    }
}

double Interval::getLength() const
{
    return std::fabs(max - min);
}

bool Interval::contains(const double& t) const
{
    // Below 2.2e-15 the ends cannot be told apart from rounding: test against
    // the start with a tolerance instead of the (empty-looking) range.
    if (max - min < 2.2e-15)
        return std::fabs(t - min) < 1.1e-15;
    return min <= t && t <= max;
}

std::ostream& operator<<(std::ostream& os, const Interval& interval)
{
    return os << '[' << interval.min << ',' << interval.max << ']';
}

std::ostream& operator<<(std::ostream& os, const Kor::List<Interval>& intervals)
{
    for (int i = 0; i < intervals.count; ++i)
        os << intervals[i] << std::endl;
    return os;
}

bool equalWithinEps2(const double a[2], const double b[2])
{
    const double eps = 4.4e-16;
    return Interval(a[0] - eps, a[0] + eps).contains(b[0]) &&
           Interval(a[1] - eps, a[1] + eps).contains(b[1]);
}
