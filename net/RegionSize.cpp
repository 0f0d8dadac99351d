#include "net/RegionSize.h"

#include "net/PointList.h"

#include <algorithm>
#include <cmath>

namespace GB {

namespace {

constexpr double kLeastRegionWidth = 3.0;
constexpr double kTolerancesOfExtent = 0.01;

} // namespace

double smallestRegionArea(const Kor::List<COffset_PointList*>& polyLines, double tolerance)
{
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const COffset_PointList* pl : polyLines)
        for (int i = 0; pl != nullptr && i < pl->vertices.count; ++i)
            for (int k = 0; useCountOf(pl->vertices[i]) > 1 && k < 3; ++k) {
                lo[k] = std::min(lo[k], double(pl->vertices[i]->data[k]));
                hi[k] = std::max(hi[k], double(pl->vertices[i]->data[k]));
            }
    if (!(hi[0] >= lo[0]))
        return 0.0;
    const double d[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    double unit = kTolerancesOfExtent * std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (tolerance > 0.0)
        unit = std::min(unit, tolerance);
    return (kLeastRegionWidth * unit) * (kLeastRegionWidth * unit);
}

} // namespace GB
