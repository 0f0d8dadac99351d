#include "foundation/PointSequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <vector>

namespace {

// Row-major 3-D points with the pointer array the poly-line helpers take.
struct Polyline {
    std::vector<double> xyz;
    std::vector<const double*> ptr;

    explicit Polyline(const std::vector<std::array<double, 3>>& pts)
    {
        for (const auto& p : pts)
            xyz.insert(xyz.end(), p.begin(), p.end());
        for (std::size_t i = 0; i < pts.size(); ++i)
            ptr.push_back(&xyz[3 * i]);
    }
    int size() const { return static_cast<int>(ptr.size()); }
    const double* const* data() const { return ptr.data(); }
};

double distanceToChord(const double* p, const double* a, const double* b)
{
    double d[3], e[3], len2 = 0.0, along = 0.0;
    for (int k = 0; k < 3; ++k) {
        d[k] = b[k] - a[k];
        e[k] = p[k] - a[k];
        len2 += d[k] * d[k];
        along += d[k] * e[k];
    }
    double h2 = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double r = e[k] - (len2 > 0 ? along / len2 : 0.0) * d[k];
        h2 += r * r;
    }
    return std::sqrt(h2);
}

// Every dropped point lies within tol of the chord of its kept neighbours
// (cyclically for a closed poly-line).
void expectWithinTolerance(const Polyline& pl, std::vector<int> kept, double tol, bool closed)
{
    const int n = pl.size();
    if (!closed)
        kept.insert(kept.begin(), 0);
    for (std::size_t k = 0; k < kept.size(); ++k) {
        if (!closed && k + 1 == kept.size())
            break;
        const int a = kept[k];
        const int b = kept[(k + 1) % kept.size()];
        for (int i = (a + 1) % n; i != b; i = (i + 1) % n)
            EXPECT_LE(distanceToChord(pl.ptr[i], pl.ptr[a], pl.ptr[b]), tol + 1e-12)
                << "point " << i << " between " << a << " and " << b;
    }
}

std::vector<int> simplify(const Polyline& pl, double tol, bool closed, bool refine)
{
    std::vector<int> keep(static_cast<std::size_t>(pl.size()), -1);
    const int m = simplifyPolyline(pl.data(), pl.size(), keep.data(), tol, closed, refine);
    keep.resize(static_cast<std::size_t>(m));
    return keep;
}

CFitPointArray pointsWithErrors(const std::vector<double>& errors)
{
    CFitPointArray a;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        CFitPoint p{Vector(double(i), 0.0, 0.0)};
        p.dist2 = errors[i] * errors[i];
        a.append(p);
    }
    return a;
}

} // namespace

TEST(PointSequence, FileSizeOfMissingEmptyAndSmallFiles)
{
    const std::filesystem::path dir = testing::TempDir();
    EXPECT_EQ(fileSize((dir / "records_no_such_file.bin").c_str()), -1);
    EXPECT_EQ(fileSize(nullptr), -1);
    const auto empty = dir / "records_empty.bin";
    {
        std::ofstream(empty, std::ios::binary);
    }
    EXPECT_EQ(fileSize(empty.c_str()), 0);
    const auto small = dir / "records_small.bin";
    {
        std::ofstream out(small, std::ios::binary);
        out << std::string(1234, 'x');
    }
    EXPECT_EQ(fileSize(small.c_str()), 1234);
    std::filesystem::remove(empty);
    std::filesystem::remove(small);
}

TEST(PointSequence, FileSizeOver2GiBDoesNotOverflow)
{
    const auto big = std::filesystem::path(testing::TempDir()) / "records_sparse_3gib.bin";
    const std::uintmax_t size = 3ull << 30;
    {
        std::ofstream(big, std::ios::binary);
    }
    std::error_code ec;
    std::filesystem::resize_file(big, size, ec); // sparse: no real disk use
    if (ec) {
        std::filesystem::remove(big);
        GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
    }
    EXPECT_EQ(fileSize(big.c_str()), static_cast<std::int64_t>(size));
    std::filesystem::remove(big);
}

TEST(PointSequence, ThreePointAngle)
{
    const Vector a(0, 0, 0), b(2, 0, 0);
    EXPECT_EQ(threePointAngle(a, Vector(1, 0, 0), b), 180.0);
    EXPECT_EQ(threePointAngle(a, Vector(5, 0, 0), b), 180.0);
    EXPECT_EQ(threePointAngle(a, Vector(1, 1, 0), a), 0.0);
    EXPECT_NEAR(threePointAngle(a, Vector(1, 1, 0), b), 90.0, 1e-12);
    EXPECT_NEAR(threePointAngle(a, Vector(1, 0, 1), b), 90.0, 1e-12);
    // Isosceles apex with height h: 2 atan(1 / h).
    EXPECT_NEAR(threePointAngle(a, Vector(1, 0.2, 0), b),
                2 * std::atan(5.0) * 180 / std::numbers::pi, 1e-10);
    EXPECT_NEAR(threePointAngle(a, Vector(1, 3, 0), b),
                2 * std::atan(1.0 / 3) * 180 / std::numbers::pi, 1e-10);
}

TEST(PointSequence, FarthestFromChord)
{
    const Polyline pl({{0, 0, 0}, {1, 0.5, 0}, {2, 2, 0}, {3, 0.1, 0}, {4, 0, 0}});
    double d = -1.0;
    EXPECT_EQ(farthestFromChord(pl.data(), 2, 3, 0.1, &d, 5), 2);
    EXPECT_EQ(d, 0.0);
    // The first point beyond the tolerance is returned at once.
    EXPECT_EQ(farthestFromChord(pl.data(), 0, 4, 0.3, &d, 5), 1);
    EXPECT_DOUBLE_EQ(d, 0.5);
    // Otherwise the farthest one.
    EXPECT_EQ(farthestFromChord(pl.data(), 0, 4, 10.0, &d, 5), 2);
    EXPECT_DOUBLE_EQ(d, 2.0);
    // A wrapped chord of a closed sequence: from 3 over 4 and 0 to 1.
    EXPECT_EQ(farthestFromChord(pl.data(), 3, 1, 10.0, &d, 5), 0);
    EXPECT_GT(d, 0.0);
}

TEST(PointSequence, SimplifyStraightAndCorneredOpenLines)
{
    std::vector<std::array<double, 3>> pts;
    for (int i = 0; i <= 10; ++i)
        pts.push_back({double(i), (i % 2) * 0.01, 0});
    const Polyline straight(pts);
    EXPECT_EQ(simplify(straight, 0.05, false, false), std::vector<int>{10});

    pts.clear();
    for (int i = 0; i <= 5; ++i)
        pts.push_back({double(i), 0, 0});
    for (int i = 1; i <= 5; ++i)
        pts.push_back({5, double(i), 0});
    const Polyline corner(pts);
    for (bool refine : {false, true})
        EXPECT_EQ(simplify(corner, 0.01, false, refine), (std::vector<int>{5, 10}));
}

TEST(PointSequence, SimplifyKeepsFarPointJustBeforeTheEnd)
{
    // The end-index search stops one short of the last index; the chord to the
    // last point must still be tested, or the far middle point is dropped.
    const Polyline three({{0, 0, 0}, {1, 5, 0}, {2, 0, 0}});
    EXPECT_EQ(simplify(three, 0.1, false, false), (std::vector<int>{1, 2}));
    const Polyline five({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 4, 0}, {4, 0, 0}});
    const std::vector<int> kept = simplify(five, 0.1, false, false);
    expectWithinTolerance(five, kept, 0.1, false);
    EXPECT_EQ(kept.back(), 4);
}

TEST(PointSequence, SimplifiedWaveStaysWithinTolerance)
{
    std::vector<std::array<double, 3>> pts;
    for (int i = 0; i < 200; ++i)
        pts.push_back({i * 0.05, std::sin(i * 0.05), 0.1 * std::cos(i * 0.13)});
    const Polyline wave(pts);
    for (double tol : {0.001, 0.01, 0.1}) {
        for (bool refine : {false, true}) {
            const std::vector<int> kept = simplify(wave, tol, false, refine);
            ASSERT_FALSE(kept.empty());
            EXPECT_EQ(kept.back(), 199);
            EXPECT_LT(kept.size(), 200u);
            for (std::size_t k = 1; k < kept.size(); ++k)
                EXPECT_LT(kept[k - 1], kept[k]);
            expectWithinTolerance(wave, kept, tol, false);
        }
    }
}

TEST(PointSequence, SimplifyClosedSquareKeepsOnlyCorners)
{
    // 40 points around the unit square, starting in the middle of the bottom
    // edge: neither 0 nor 39 is a corner.
    std::vector<std::array<double, 3>> pts;
    for (int i = 0; i < 40; ++i) {
        const double s = std::fmod(i * 0.1 + 0.5, 4.0);
        if (s < 1)
            pts.push_back({s, 0, 0});
        else if (s < 2)
            pts.push_back({1, s - 1, 0});
        else if (s < 3)
            pts.push_back({3 - s, 1, 0});
        else
            pts.push_back({0, 4 - s, 0});
    }
    const Polyline square(pts);
    for (bool refine : {false, true}) {
        const std::vector<int> kept = simplify(square, 1e-6, true, refine);
        EXPECT_EQ(kept, (std::vector<int>{5, 15, 25, 35}));
        expectWithinTolerance(square, kept, 1e-6, true);
    }
}

TEST(PointSequence, ErrorQuantileAndBestSubsets)
{
    IndexSubset<CFitPoint> empty;
    EXPECT_EQ(errorQuantile(empty, 0.5), -1.0);

    std::vector<double> errors;
    for (int i = 0; i < 20; ++i)
        errors.push_back(double((i * 7) % 20)); // a permutation of 0..19
    CFitPointArray a = pointsWithErrors(errors);
    IndexSubset<CFitPoint> s(a);
    s.selectAll();
    EXPECT_DOUBLE_EQ(errorQuantile(s, 1.0), 19.0);
    EXPECT_DOUBLE_EQ(errorQuantile(s, 0.0), 0.0);
    EXPECT_DOUBLE_EQ(errorQuantile(s, -0.5), 10.0); // position ceil(10)
    EXPECT_DOUBLE_EQ(errorQuantile(s, 0.51), 11.0);

    auto worst = bestQuantileSubset(s, -0.1);
    ASSERT_EQ(worst->count, 2);
    EXPECT_EQ(worst->array, &a);
    EXPECT_DOUBLE_EQ(a[worst->indices[0]].dist2, 19.0 * 19.0);
    EXPECT_DOUBLE_EQ(a[worst->indices[1]].dist2, 18.0 * 18.0);
    auto best = bestQuantileSubset(s, 0.25);
    ASSERT_EQ(best->count, 5);
    for (int k = 0; k < 5; ++k)
        EXPECT_DOUBLE_EQ(std::sqrt(best->at(k).dist2), double(k));
    EXPECT_EQ(bestQuantileSubset(s, 3.0)->count, 20);
}

TEST(PointSequence, ErrorHistogramSevenLines)
{
    Vector errors(5);
    const double e[] = {0.1, 0.3, 0.5, 0.9, 1.1};
    for (int i = 0; i < 5; ++i)
        errors[i] = e[i];
    std::ostringstream os;
    printErrorHistogram(errors, 4, 0.2, &os, "> ");
    std::ostringstream sigma;
    const double mean = 0.58;
    double var = 0.0;
    for (double x : e)
        var += (x - mean) * (x - mean);
    sigma << std::sqrt(var / 5);
    std::ostringstream meanText;
    meanText << (0.1 + 0.3 + 0.5 + 0.9 + 1.1) / 5;
    EXPECT_EQ(os.str(), "> "
                        " mean-error=" +
                            meanText.str() + " sigma=" + sigma.str() +
                            "\n"
                            "> "
                            " Histo(5)=[0.1,1.1]=[2,1,0,1,1]\n"
                            "> "
                            " [0-0.2]:1\n"
                            "> "
                            " [0.2-0.4]:1\n"
                            "> "
                            " [0.4-0.6]:1\n"
                            "> "
                            " [0.6-1]:1\n"
                            "> "
                            " [1-infty]:1\n");

    std::ostringstream none;
    printErrorHistogram(Vector(), 10, 0.2, &none, nullptr);
    EXPECT_EQ(none.str(), "");
    printErrorHistogram(errors, 10, 0.2, nullptr, nullptr); // no stream: nothing to see
}

TEST(PointSequence, HistogramOfEqualErrorsUsesFirstBin)
{
    Vector errors(3);
    errors.fill(0.25);
    std::ostringstream os;
    printErrorHistogram(errors, 3, 0.2, &os, nullptr);
    EXPECT_NE(os.str().find(" Histo(3)=[0.25,0.25]=[3,0,0,0]\n"), std::string::npos) << os.str();
}

TEST(PointSequence, FitErrorStatisticsAndTrimming)
{
    IndexSubset<CFitPoint> empty;
    EXPECT_EQ(fitErrorStatistics(empty, nullptr, nullptr, 0.5, 0).count, 0);

    CFitPointArray a = pointsWithErrors({0.4, 0.1, 0.3, 0.2, 2.0});
    IndexSubset<CFitPoint> s(a);
    s.selectAll();
    std::ostringstream quiet;
    CStatistic st = fitErrorStatistics(s, &quiet, "", 0.0, 0);
    EXPECT_EQ(st.count, 5);
    EXPECT_DOUBLE_EQ(st.max, 2.0);
    EXPECT_EQ(s.count, 5);
    const std::string histogram = quiet.str();
    EXPECT_EQ(std::count(histogram.begin(), histogram.end(), '\n'), 7);

    // Mode 0: keep the points up to the quantile position (floor(0.6 * 5) = 3
    // of the ascending errors), in their original order.
    std::ostringstream os;
    st = fitErrorStatistics(s, &os, "", 0.6, 0);
    EXPECT_NE(os.str().find("qVal=0.4 qindex=3\n"), std::string::npos) << os.str();
    ASSERT_EQ(s.count, 4);
    const int kept[] = {0, 1, 2, 3};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(s.indices[k], kept[k]);
    EXPECT_EQ(st.count, 4);
    EXPECT_DOUBLE_EQ(st.max, 0.4);
    std::ostringstream line;
    line << st << "\n";
    EXPECT_NE(os.str().find(line.str()), std::string::npos);

    // Mode 1: keep errors below q times the rms.
    s.selectAll();
    st = fitErrorStatistics(s, nullptr, nullptr, 0.5, 1);
    const double rms = std::sqrt((0.16 + 0.01 + 0.09 + 0.04 + 4.0) / 4.0);
    EXPECT_EQ(s.count, 4);
    EXPECT_LT(st.max, 0.5 * rms);
}
