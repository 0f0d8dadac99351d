// Process-wide threshold of pointsDiffer.
#include "foundation/Vertex.h"

namespace {

constexpr float kDefaultPointsDifferThreshold = 1e-16f;
float g_pointsDifferThreshold = kDefaultPointsDifferThreshold;

} // namespace

bool pointsDiffer(const CVertex<float, 3>& p, const CVertex<float, 3>& q)
{
    return squaredDistance(p, q) >= g_pointsDifferThreshold;
}

float pointsDifferThreshold()
{
    return g_pointsDifferThreshold;
}

float setPointsDifferThreshold(float threshold)
{
    const float previous = g_pointsDifferThreshold;
    g_pointsDifferThreshold = threshold;
    return previous;
}

void resetPointsDifferThreshold()
{
    g_pointsDifferThreshold = kDefaultPointsDifferThreshold;
}
