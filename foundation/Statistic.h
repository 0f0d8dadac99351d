#pragma once
// CStatistic: running statistic of a series of doubles (count, sum, sum of
// squares, smallest and largest value), optionally keeping every value.
//
// Ownership: the statistic owns its value list. Not thread-safe: add() from
// one thread at a time.

#include "foundation/KorList.h"

#include <cfloat>
#include <iosfwd>

class CStatistic {
public:
    int count = 0;
    double sum = 0.0;
    double sumSquares = 0.0;
    // Start values that mark an empty statistic: the first value overwrites
    // both bounds.
    double min = -DBL_MAX;
    double max = DBL_MAX;
    bool keepValues = false;
    Kor::List<double> values; // every value added, when keepValues is set

    CStatistic() = default;
    explicit CStatistic(bool keep) : keepValues(keep) {}

    // Adds x to the sums and bounds (and to `values` when keepValues is set).
    void add(double x);

    // True when values were added and both bounds moved from their start values.
    bool holdsValues() const;
    // sum / count; 0 for an empty statistic.
    double mean() const;
    // sqrt(sumSquares / (count - 1)), the spread measure of the text form;
    // for a single value sqrt(sumSquares), 0 for an empty statistic.
    double rms() const;
};

// "n=" count " in [" min "," max "]" (or "[-infty,infty]" without values),
// then " mean=" mean when count > 0 and " rms=" rms when count >= 2, in the
// stream's current floating format. No line end.
std::ostream& operator<<(std::ostream& os, const CStatistic& s);
