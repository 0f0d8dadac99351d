#include "foundation/Rounding.h"

#include <cmath>
#include <cstdlib>

double roundToDigits(double x, int n)
{
    // 10^|n+1| by repeated squaring.
    long long e = std::llabs((long long)n + 1);
    double base = 10.0, scale = 1.0;
    while (e > 0) {
        if (e & 1)
            scale *= base;
        base *= base;
        e >>= 1;
    }
    if ((long long)n + 1 < 0)
        scale = 1.0 / scale;
    return std::floor(x * scale + 0.5) / scale;
}
