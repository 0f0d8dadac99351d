#pragma once
// Interval: closed parameter interval [min, max] used for every domain and
// range in the geometry code. A plain value type; lists of intervals are kept
// in Kor::List<Interval>.
// Thread-safety: plain value, no shared state.

#include "foundation/KorList.h"

#include <ostream>

class Interval {
public:
    double min = 0.0;
    double max = 0.0;
    bool valid = true; // set by every constructor; never cleared

    Interval() = default;

    // The ends are swapped when b < a, so min <= max.
    Interval(double a, double b);

    // |max - min|.
    double getLength() const;

    // A degenerate interval (max - min < 2.2e-15) contains t when
    // |t - min| < 1.1e-15; any other contains t when min <= t <= max.
    bool contains(const double& t) const;
};

// Writes "[min,max]" at the stream's precision, without a line end.
std::ostream& operator<<(std::ostream& os, const Interval& interval);
// Each interval of the list as "[min,max]" followed by a line end.
std::ostream& operator<<(std::ostream& os, const Kor::List<Interval>& intervals);

// True when b[0] and b[1] lie in the intervals [a[k] - 4.4e-16, a[k] + 4.4e-16]
// under the containment rule of Interval; compares a parameter range with a
// domain.
bool equalWithinEps2(const double a[2], const double b[2]);
