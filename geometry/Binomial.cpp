#include "geometry/Binomial.h"

namespace binomial_detail {

long computeBinomial(int n, int k)
{
    if (k > n - k)
        k = n - k;
    long result = 1;
    // result * (n - k + i) is divisible by i at every step: it is i times
    // C(n - k + i, i).
    for (int i = 1; i <= k; ++i)
        result = result * (n - k + i) / i;
    return result;
}

} // namespace binomial_detail
