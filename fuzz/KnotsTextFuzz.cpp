// Fuzz harness: the knot-vector text reader; a vector read healthy is
// evaluated across its domain, an unhealthy one at one parameter.
#include "FuzzTarget.h"
#include "geometry/Knots.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    knots k(in);
    const Interval domain = k.getDomain();
    for (int s = 0; s <= (k.isHealthy ? 4 : 0); ++s) {
        double t = domain.min + (domain.max - domain.min) * s / 4.0;
        const int span = k.clampToKnots(t);
        k.basisFunctions(span, t);
        k.basisDerivatives(span, 2, t);
    }
    return 0;
}
