#include "foundation/PointSequence.h"

#include "platform/RegularFile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numeric>
#include <ostream>
#include <vector>

std::int64_t fileSize(const char* path)
{
    if (path == nullptr)
        return -1;
    std::ifstream in;
    Platform::openRegularStream(in, path, std::ios::binary);
    if (!in.is_open())
        return -1;
    in.seekg(0, std::ios::end);
    if (!in)
        return 0;
    const std::streamoff end = in.tellg();
    if (end < 0)
        return 0;
    return static_cast<std::int64_t>(end);
}

double threePointAngle(const Vector& a, const Vector& p, const Vector& b)
{
    const Vector c = b - a;
    const double c2 = normSquared(c);
    if (c2 < 1e-16)
        return 0.0;
    const Vector m = 0.5 * (a + b);
    // Distance of p from the line through a and b.
    Vector e = p - a;
    e.addScaled(-dot(e, c) / c2, c);
    const double h = norm(e);
    if (h == 0.0)
        return 180.0;
    return std::atan2(std::sqrt(c2), (squaredDistance(p, m) - c2 / 4.0) / h) * 57.29577951308232;
}

int farthestFromChord(const double* const* points, int first, int last, double tol, double* dist,
                      int n)
{
    if (std::abs(last - first) < 2) {
        *dist = 0.0;
        return first;
    }
    const double* p0 = points[first];
    const double* p1 = points[last];
    double d[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (len > 0.0)
        for (double& x : d)
            x /= len;
    const double tol2 = tol * tol;
    int best = last;
    double bestH2 = -1.0;
    auto visit = [&](int i) {
        const double* q = points[i];
        const double e[3] = {q[0] - p0[0], q[1] - p0[1], q[2] - p0[2]};
        const double along = e[0] * d[0] + e[1] * d[1] + e[2] * d[2];
        double h2 = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double r = e[k] - along * d[k];
            h2 += r * r;
        }
        if (h2 > bestH2) {
            bestH2 = h2;
            best = i;
        }
        return h2 > tol2;
    };
    if (last > first) {
        for (int i = first + 1; i < last; ++i)
            if (visit(i)) {
                *dist = std::sqrt(bestH2);
                return i;
            }
    } else {
        for (int i = first + 1; i < n; ++i)
            if (visit(i)) {
                *dist = std::sqrt(bestH2);
                return i;
            }
        for (int i = 0; i < last; ++i)
            if (visit(i)) {
                *dist = std::sqrt(bestH2);
                return i;
            }
    }
    *dist = bestH2 > 0.0 ? std::sqrt(bestH2) : 0.0;
    return best;
}

namespace {

// Index arithmetic along a sequence that may wrap: offset o from `start`.
struct Walk {
    int start;
    int n;
    int index(int o) const { return (start + o) % n; }
    int offset(int i) const { return ((i - start) % n + n) % n; }
};

double chordDeviation(const double* const* points, int first, int last, int n)
{
    double d = 0.0;
    farthestFromChord(points, first, last, 1e10, &d, n);
    return d;
}

// Simplifies the run from walk.start over `length` steps (wrapping modulo n)
// and appends the kept indices after the start, ending with the run's end.
void simplifyRun(const double* const* points, const Walk& walk, int length, double tol, bool refine,
                 std::vector<int>& out)
{
    auto passes = [&](int o0, int o1) {
        double d = 0.0;
        farthestFromChord(points, walk.index(o0), walk.index(o1), tol, &d, walk.n);
        return d <= tol;
    };
    int cur = 0;
    while (cur < length) {
        // Search the farthest end e whose chord from cur keeps every point
        // between within tol.
        int lo = cur, hi = length, e = cur + 1;
        bool passed = true, hiFailed = false;
        for (;;) {
            if (passed) {
                lo = e;
                e = (hi + e + 1) / 2;
            } else {
                hi = e;
                hiFailed = true;
                e = lo + 1;
            }
            if (hi - lo < 2)
                break;
            passed = passes(cur, e);
        }
        // Here e == hi: either a chord known to fail, or the run's end. The
        // end may not have been tested yet (the search stops one short of
        // it); test it before keeping it, or points just before the end
        // would be dropped however far they lie from the chord.
        bool ePassed;
        if (hiFailed)
            ePassed = false;
        else if (lo == e)
            ePassed = true;
        else
            ePassed = passes(cur, e);
        int next;
        if (e == length && ePassed) {
            next = length;
        } else {
            double d = 0.0;
            int split = farthestFromChord(points, walk.index(cur), walk.index(e), 1e10, &d, walk.n);
            if (refine)
                split = farthestPointSplit(points, walk.index(cur), walk.index(e), split, walk.n);
            next = walk.offset(split);
            if (next <= cur || next > e)
                next = e; // cannot happen for a chord that failed; keeps the walk moving
        }
        out.push_back(walk.index(next));
        cur = next;
    }
}

} // namespace

int farthestPointSplit(const double* const* points, int first, int last, int candidate, int n)
{
    const Walk walk{first, n};
    const int length = last > first ? last - first : walk.offset(last);
    const int c = walk.offset(candidate);
    if (length < 2 || c <= 0 || c >= length)
        return candidate;
    auto deviation = [&](int o) {
        const int s = walk.index(o);
        return std::max(chordDeviation(points, first, s, n), chordDeviation(points, s, last, n));
    };
    double best = 1e10;
    int bestOffset = c;
    for (int o = c; o > 0; --o) {
        const double d = deviation(o);
        if (!(d < best))
            break;
        best = d;
        bestOffset = o;
    }
    for (int o = c + 1; o < length; ++o) {
        const double d = deviation(o);
        if (!(d < best))
            break;
        best = d;
        bestOffset = o;
    }
    return walk.index(bestOffset);
}

int simplifyPolyline(const double* const* points, int n, int* keep, double tol, bool closed,
                     bool refine)
{
    if (n < 2)
        return 0;
    std::vector<int> forward;
    simplifyRun(points, Walk{0, n}, n - 1, tol, refine, forward);
    std::vector<int> result;
    if (!closed) {
        result = forward;
    } else if (forward.size() == 1) {
        // Every point lies within tol of the chord from 0 to n - 1.
        result = {0, n - 1};
    } else {
        // The forward pass keeps 0 and n - 1 as its ends. Decide the stretch
        // around the start again: from the last point kept before n - 1 (or
        // from n - 1 when the forward pass kept a single point between)
        // across index 0 to the first kept point.
        const int m = static_cast<int>(forward.size());
        const int firstKept = forward.front();
        const int anchor = m >= 3 ? forward[m - 2] : n - 1;
        std::vector<int> base(forward.begin(), m >= 3 ? forward.end() - 1 : forward.end());
        std::vector<int> around;
        const Walk walk{anchor, n};
        simplifyRun(points, walk, walk.offset(firstKept), tol, refine, around);
        around.pop_back(); // the run ends at firstKept, already kept
        for (int i : around)
            if (i < firstKept)
                result.push_back(i);
        result.insert(result.end(), base.begin(), base.end());
        for (int i : around)
            if (i > anchor)
                result.push_back(i);
    }
    std::copy(result.begin(), result.end(), keep);
    return static_cast<int>(result.size());
}

namespace {

// Positions 0..n-1 of the subset ordered by ascending squared error (equal
// errors keep their order).
std::vector<int> positionsByError(const IndexSubset<CFitPoint>& points)
{
    std::vector<int> order(static_cast<std::size_t>(points.count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return points.at(a).dist2 < points.at(b).dist2; });
    return order;
}

double errorOf(const CFitPoint& p)
{
    return std::sqrt(std::max(p.dist2, 0.0));
}

} // namespace

double errorQuantile(const IndexSubset<CFitPoint>& points, double q)
{
    const int n = points.count;
    if (n == 0)
        return -1.0;
    const std::vector<int> order = positionsByError(points);
    const double want = std::ceil(std::fabs(q) * n);
    const int position = want >= n - 1 ? n - 1 : (want <= 0.0 ? 0 : static_cast<int>(want));
    return errorOf(points.at(order[position]));
}

std::unique_ptr<IndexSubset<CFitPoint>> bestQuantileSubset(const IndexSubset<CFitPoint>& points,
                                                           double q)
{
    auto subset = std::make_unique<IndexSubset<CFitPoint>>(points.array);
    const int n = points.count;
    if (n == 0)
        return subset;
    const double want = std::ceil(std::fabs(q) * n);
    const int k = want >= n ? n : (want <= 0.0 ? 0 : static_cast<int>(want));
    const std::vector<int> order = positionsByError(points);
    if (q > 0.0) {
        for (int i = 0; i < k; ++i)
            subset->append(points.indices[order[i]]);
    } else {
        for (int i = 0; i < k; ++i)
            subset->append(points.indices[order[n - 1 - i]]);
    }
    return subset;
}

void printErrorHistogram(const Vector& errors, int bins, double scale, std::ostream* os,
                         const char* prefix)
{
    const int n = errors.n;
    if (n <= 0)
        return;
    bins = std::max(bins, 0);
    double lo = errors[0], hi = errors[0], sum = 0.0;
    for (int i = 0; i < n; ++i) {
        lo = std::min(lo, errors[i]);
        hi = std::max(hi, errors[i]);
        sum += errors[i];
    }
    const double mean = sum / n;
    double var = 0.0;
    for (int i = 0; i < n; ++i)
        var += (errors[i] - mean) * (errors[i] - mean);
    const double sigma = std::sqrt(var / n);

    std::vector<int> counts(static_cast<std::size_t>(bins) + 1, 0);
    int classes[5] = {0, 0, 0, 0, 0};
    const double range = hi - lo;
    for (int i = 0; i < n; ++i) {
        const double e = errors[i];
        // All errors equal (range 0): everything falls into the first bin.
        double f = range > 0.0 ? (e - lo) / range * bins : 0.0;
        if (!(f >= 0.0))
            f = 0.0;
        const int bin = f >= bins ? bins : static_cast<int>(f);
        ++counts[bin];
        if (e <= scale)
            ++classes[0];
        else if (e <= 2.0 * scale)
            ++classes[1];
        else if (e <= 3.0 * scale)
            ++classes[2];
        else if (e <= 5.0 * scale)
            ++classes[3];
        else
            ++classes[4];
    }
    if (os == nullptr)
        return;
    const char* pre = prefix != nullptr ? prefix : "";
    std::ostream& out = *os;
    out << pre << " mean-error=" << mean << " sigma=" << sigma << "\n";
    out << pre << " Histo(" << n << ")=[" << lo << "," << hi << "]=[";
    for (int b = 0; b <= bins; ++b) {
        if (b > 0)
            out << ",";
        out << counts[b];
    }
    out << "]\n";
    out << pre << " [0-" << scale << "]:" << classes[0] << "\n";
    out << pre << " [" << scale << "-" << 2.0 * scale << "]:" << classes[1] << "\n";
    out << pre << " [" << 2.0 * scale << "-" << 3.0 * scale << "]:" << classes[2] << "\n";
    out << pre << " [" << 3.0 * scale << "-" << 5.0 * scale << "]:" << classes[3] << "\n";
    out << pre << " [" << 5.0 * scale << "-infty"
        << "]:" << classes[4] << "\n";
}

namespace {

CStatistic errorStatistic(const IndexSubset<CFitPoint>& points, Vector& errors)
{
    CStatistic stat;
    errors.resize(points.count, true);
    for (int k = 0; k < points.count; ++k) {
        errors[k] = errorOf(points.at(k));
        stat.add(errors[k]);
    }
    return stat;
}

} // namespace

CStatistic fitErrorStatistics(IndexSubset<CFitPoint>& points, std::ostream* os, const char* prefix,
                              double q, int mode)
{
    const char* pre = prefix != nullptr ? prefix : "";
    Vector errors;
    CStatistic stat = errorStatistic(points, errors);
    if (points.count == 0)
        return stat;
    printErrorHistogram(errors, 10, 0.2, os, pre);

    const int n = points.count;
    std::vector<bool> keep;
    if (mode == 0 && q != 0.0) {
        int* index = nullptr;
        int position = 0;
        const double value = quantile(errors.data, n, q, &index, &position, false, true);
        if (os != nullptr)
            *os << pre << "qVal=" << value << " qindex=" << position << "\n";
        keep.assign(static_cast<std::size_t>(n), false);
        for (int k = 0; k <= position; ++k)
            keep[index[k]] = true;
        delete[] index;
    } else if (mode == 1 && q > 0.0) {
        const double limit = q * stat.rms();
        keep.assign(static_cast<std::size_t>(n), false);
        for (int k = 0; k < n; ++k)
            keep[k] = errors[k] < limit;
    }
    if (keep.empty())
        return stat;

    int kept = 0;
    for (int k = 0; k < n; ++k)
        if (keep[k])
            points.indices[kept++] = points.indices[k];
    points.count = kept;
    stat = errorStatistic(points, errors);
    printErrorHistogram(errors, 10, 0.2, os, pre);
    if (os != nullptr)
        *os << pre << stat << "\n";
    return stat;
}
