#pragma once
// Rounding of values to a number of decimal places, as the measures of
// joints and statistics report them.
//
// Ownership: none. Thread-safety: no shared state.

// x rounded to n + 1 decimal places: floor(x 10^(n+1) + 0.5) / 10^(n+1), the
// power formed by repeated squaring from |n + 1|. n = -1 rounds to an
// integer; n below -1 rounds to tens, hundreds, ...
double roundToDigits(double x, int n);
