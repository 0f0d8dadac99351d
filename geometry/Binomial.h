#pragma once
// Integer binomial coefficients for the derivative formulas of rational
// curves and surfaces.
//
// Thread-safety: the rows for n = 0 .. 10 come from a table computed at
// compile time, so there is no shared mutable state; calls from several
// threads are safe.

#include <array>

namespace binomial_detail {

constexpr int tableRows = 10;
using Table = std::array<std::array<long, tableRows + 1>, tableRows + 1>;

// Pascal's triangle for n = 0 .. 10.
constexpr Table buildTable()
{
    Table t{};
    for (int n = 0; n <= tableRows; ++n) {
        t[n][0] = 1;
        for (int k = 1; k <= n; ++k)
            t[n][k] = t[n - 1][k - 1] + (k < n ? t[n - 1][k] : 0);
    }
    return t;
}

inline constexpr Table table = buildTable();

// Rows above the table: n (n - 1) ... (n - k + 1) / k!.
long computeBinomial(int n, int k);

} // namespace binomial_detail

// C(n, k): the number of k-subsets of n things; 0 when k < 0, k > n or n < 0.
// Rows above 10 are computed as n (n - 1) ... (n - k + 1) / k!, kept exact by
// dividing after every factor, in 64-bit arithmetic (exact while the result
// and the intermediate products fit; the callers use small orders).
inline long binomial(int n, int k)
{
    if (n < 0 || k < 0 || k > n)
        return 0;
    if (n <= binomial_detail::tableRows)
        return binomial_detail::table[n][k];
    return binomial_detail::computeBinomial(n, k);
}
