#include "NetDrawings.h"

#include "GridFixtures.h"

#include "mesh/GridPoint.h"
#include "net/SurfaceNet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <sstream>

namespace mwtest {

namespace {

const std::array<std::pair<StrokeEnds, const char*>, 5> kEndNames = {{
    {StrokeEnds::Exact, "exact"},
    {StrokeEnds::Tail, "tail"},
    {StrokeEnds::Overshoot, "overshoot"},
    {StrokeEnds::Short, "short"},
    {StrokeEnds::Hook, "hook"},
}};

const std::array<std::pair<NetStyle, const char*>, 24> kStyleNames = {{
    {NetStyle::Lines, "lines"},
    {NetStyle::Strokes, "strokes"},
    {NetStyle::Reversed, "reversed"},
    {NetStyle::MixedRow, "mixed-row"},
    {NetStyle::MissingSide, "missing-side"},
    {NetStyle::MissingRow, "missing-row"},
    {NetStyle::TeeLines, "tee-lines"},
    {NetStyle::TeeStrokes, "tee-strokes"},
    {NetStyle::Diagonal, "diagonal"},
    {NetStyle::Lasso, "lasso"},
    {NetStyle::LassoSplit, "lasso-split"},
    {NetStyle::BigRegion, "big-region"},
    {NetStyle::Spur, "spur"},
    {NetStyle::YSpur, "y-spur"},
    {NetStyle::Ring, "ring"},
    {NetStyle::RingStrokes, "ring-strokes"},
    {NetStyle::FigureEight, "figure-eight"},
    {NetStyle::Lollipop, "lollipop"},
    {NetStyle::LollipopStrokes, "lollipop-strokes"},
    {NetStyle::Island, "island"},
    {NetStyle::IslandStrokes, "island-strokes"},
    {NetStyle::GridInFace, "grid-in-face"},
    {NetStyle::RingAcross, "ring-across"},
    {NetStyle::RingThrough, "ring-through"},
}};

LatticeLine row(int j, int from, int to)
{
    LatticeLine line;
    for (int i = from; i <= to; ++i)
        line.push_back({i, j});
    return line;
}

LatticeLine column(int i, int from, int to)
{
    LatticeLine line;
    for (int j = from; j <= to; ++j)
        line.push_back({i, j});
    return line;
}

// Each line cut into the strokes between its consecutive points.
std::vector<LatticeLine> strokes(const std::vector<LatticeLine>& lines)
{
    std::vector<LatticeLine> all;
    for (const LatticeLine& line : lines)
        for (std::size_t k = 0; k + 1 < line.size(); ++k)
            all.push_back({line[k], line[k + 1]});
    return all;
}

bool isLasso(NetStyle style) { return style == NetStyle::Lasso || style == NetStyle::LassoSplit; }

// The lattice steps a net step takes: 4 for the styles with strokes inside
// a cell (which come last), 1 for the others.
int latticeSteps(NetStyle style) { return style >= NetStyle::Spur ? 4 : 1; }

// The lattice's last index: the lasso turns one step outside the net.
int latticeLast(int n, NetStyle style) { return isLasso(style) ? n + 1 : n * latticeSteps(style); }

struct Frame {
    CVector<double, 3> look, across, up;
};

Frame frameOf(const CVector<double, 3>& look)
{
    Frame f;
    const double length =
        std::sqrt(look.data[0] * look.data[0] + look.data[1] * look.data[1] + look.data[2] * look.data[2]);
    for (int k = 0; k < 3; ++k)
        f.look.data[k] = look.data[k] / length;
    // The axis least along the look, made square to it.
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(f.look.data[k]) < std::fabs(f.look.data[axis]))
            axis = k;
    CVector<double, 3> a(0.0, 0.0, 0.0);
    a.data[axis] = 1.0;
    const double along = f.look.data[axis];
    double norm = 0.0;
    for (int k = 0; k < 3; ++k) {
        f.across.data[k] = a.data[k] - along * f.look.data[k];
        norm += f.across.data[k] * f.across.data[k];
    }
    for (int k = 0; k < 3; ++k)
        f.across.data[k] /= std::sqrt(norm);
    f.up.data[0] = f.look.data[1] * f.across.data[2] - f.look.data[2] * f.across.data[1];
    f.up.data[1] = f.look.data[2] * f.across.data[0] - f.look.data[0] * f.across.data[2];
    f.up.data[2] = f.look.data[0] * f.across.data[1] - f.look.data[1] * f.across.data[0];
    return f;
}

double dot(const CVector<double, 3>& a, const double* b)
{
    return a.data[0] * b[0] + a.data[1] * b[1] + a.data[2] * b[2];
}

double unitDot(const CVector<float, 3>& a, const CVector<float, 3>& b)
{
    const double la = std::sqrt(double(a.data[0]) * a.data[0] + double(a.data[1]) * a.data[1] +
                                double(a.data[2]) * a.data[2]);
    const double lb = std::sqrt(double(b.data[0]) * b.data[0] + double(b.data[1]) * b.data[1] +
                                double(b.data[2]) * b.data[2]);
    if (la == 0.0 || lb == 0.0)
        return -1.0;
    return (double(a.data[0]) * b.data[0] + double(a.data[1]) * b.data[1] +
            double(a.data[2]) * b.data[2]) /
           (la * lb);
}

} // namespace

const char* netStyleName(NetStyle style)
{
    for (const auto& [s, name] : kStyleNames)
        if (s == style)
            return name;
    return "?";
}

bool netStyleFromName(const std::string& name, NetStyle& style)
{
    for (const auto& [s, n] : kStyleNames)
        if (name == n) {
            style = s;
            return true;
        }
    return false;
}

const char* strokeEndsName(StrokeEnds ends)
{
    for (const auto& [e, name] : kEndNames)
        if (e == ends)
            return name;
    return "?";
}

bool strokeEndsFromName(const std::string& name, StrokeEnds& ends)
{
    for (const auto& [e, n] : kEndNames)
        if (name == n) {
            ends = e;
            return true;
        }
    return false;
}

std::vector<LatticeLine> netLines(int n, NetStyle style)
{
    const int m = n / 2; // an interior row and column (the middle one)
    std::vector<LatticeLine> rows, columns;
    for (int k = 0; k <= n; ++k) {
        rows.push_back(row(k, 0, n));
        columns.push_back(column(k, 0, n));
    }
    std::vector<LatticeLine> lines;
    const auto grid = [&] {
        lines = rows;
        lines.insert(lines.end(), columns.begin(), columns.end());
    };
    switch (style) {
    case NetStyle::Lines:
        grid();
        break;
    case NetStyle::Strokes:
        grid();
        lines = strokes(lines);
        break;
    case NetStyle::Reversed:
        grid();
        std::reverse(lines.begin(), lines.end());
        for (LatticeLine& line : lines)
            std::reverse(line.begin(), line.end());
        break;
    case NetStyle::MixedRow:
        rows.erase(rows.begin() + m);
        grid();
        lines = strokes(lines);
        lines.push_back(row(m, 0, n));
        break;
    case NetStyle::MissingSide: {
        // The side of column 1 from row a to row a + 1, inside the net from n = 3 on.
        // For n = 2 the side of row 0 is left out, and the column starts at row 1.
        const int a = n >= 3 ? n / 2 : 0;
        columns[1] = column(1, a + 1, n);
        if (a > 0)
            columns.insert(columns.begin() + 1, column(1, 0, a));
        grid();
        break;
    }
    case NetStyle::MissingRow:
        rows.erase(rows.begin() + m);
        grid();
        break;
    case NetStyle::TeeLines:
    case NetStyle::TeeStrokes:
        rows[std::size_t(m)] = row(m, 0, n - 1);
        grid();
        if (style == NetStyle::TeeStrokes)
            lines = strokes(lines);
        break;
    case NetStyle::Diagonal:
        grid();
        lines.push_back({{0, 0}, {1, 1}});
        break;
    case NetStyle::Lasso:
    case NetStyle::LassoSplit: {
        rows.erase(rows.begin() + m);
        columns.erase(columns.begin() + m);
        grid();
        const LatticeLine out = {{n, m}, {n + 1, m}, {n + 1, n + 1}, {m, n + 1}, {m, n}};
        LatticeLine down = column(m, 0, n);
        std::reverse(down.begin(), down.end());
        if (style == NetStyle::LassoSplit) {
            lines.push_back(row(m, 0, n));
            lines.push_back(out);
            lines.push_back(down);
        } else {
            LatticeLine lasso = row(m, 0, n);
            lasso.insert(lasso.end(), out.begin() + 1, out.end());
            lasso.insert(lasso.end(), down.begin() + 1, down.end());
            lines.push_back(lasso);
        }
        break;
    }
    case NetStyle::BigRegion: {
        // The lines inside the block from k0 to k1 stop at its sides.
        const int k0 = std::min(2, n), k1 = std::max(n - 2, k0);
        lines.clear();
        for (int k = 0; k <= n; ++k)
            if (k <= k0 || k >= k1)
                lines.insert(lines.end(), {row(k, 0, n), column(k, 0, n)});
            else
                lines.insert(lines.end(),
                             {row(k, 0, k0), row(k, k1, n), column(k, 0, k0), column(k, k1, n)});
        break;
    }
    default: {
        grid();
        for (LatticeLine& line : lines)
            for (auto& [i, j] : line)
                i *= 4, j *= 4;
        // The middle cell's lattice point (i, j), i and j from 0 to 4.
        const auto in = [&](int i, int j) { return std::pair<int, int>{4 * m + i, 4 * m + j}; };
        // The line of the net through a and b (neighbours along it) passes
        // the point between them too.
        const auto pass = [&](std::pair<int, int> a, std::pair<int, int> p, std::pair<int, int> b) {
            for (LatticeLine& line : lines)
                for (std::size_t k = 0; k + 1 < line.size(); ++k)
                    if ((line[k] == a && line[k + 1] == b) || (line[k] == b && line[k + 1] == a)) {
                        line.insert(line.begin() + std::ptrdiff_t(k) + 1, p);
                        return;
                    }
        };
        if (style == NetStyle::Spur || style == NetStyle::YSpur) {
            lines.push_back({in(0, 0), in(1, 1), in(2, 2), in(3, 2)});
            if (style == NetStyle::YSpur)
                lines.push_back({in(2, 2), in(2, 3)});
        } else if (style == NetStyle::RingStrokes) {
            lines.push_back({in(1, 1), in(2, 1), in(3, 1), in(3, 2), in(3, 3)});
            lines.push_back({in(3, 3), in(2, 3), in(1, 3), in(1, 2), in(1, 1)});
        } else if (style == NetStyle::Ring) {
            lines.push_back({in(1, 1), in(2, 1), in(3, 1), in(3, 2), in(3, 3), in(2, 3), in(1, 3),
                             in(1, 2), in(1, 1)});
        } else if (style == NetStyle::FigureEight) {
            lines.push_back({in(1, 1), in(2, 1), in(2, 2), in(3, 2), in(3, 3), in(2, 3), in(2, 2),
                             in(1, 2), in(1, 1)});
        } else if (style == NetStyle::Lollipop) {
            lines.push_back({in(0, 0), in(1, 1), in(2, 2), in(3, 2), in(3, 3), in(2, 3), in(2, 2)});
        } else if (style == NetStyle::LollipopStrokes) {
            lines.push_back({in(0, 0), in(1, 1), in(2, 2)});
            lines.push_back({in(2, 2), in(3, 2), in(3, 3), in(2, 3), in(2, 2)});
        } else if (style == NetStyle::Island || style == NetStyle::IslandStrokes) {
            pass(in(0, 0), in(2, 0), in(4, 0));
            if (style == NetStyle::Island)
                lines.push_back({in(2, 0), in(3, 1), in(2, 2), in(1, 1), in(2, 0)});
            else
                lines.insert(lines.end(),
                             {{in(2, 0), in(3, 1), in(2, 2)}, {in(2, 2), in(1, 1), in(2, 0)}});
        } else if (style == NetStyle::GridInFace) {
            for (int k = 1; k <= 3; ++k) {
                lines.push_back({in(1, k), in(2, k), in(3, k)});
                lines.push_back({in(k, 1), in(k, 2), in(k, 3)});
            }
        } else if (m == 0) {
            // No column side inside the net for the ring to cross: n = 1.
        } else if (style == NetStyle::RingAcross) {
            lines.push_back({in(-1, 1), in(1, 1), in(1, 3), in(-1, 3), in(-1, 1)});
        } else if (style == NetStyle::RingThrough) {
            pass(in(0, 0), in(0, 1), in(0, 4));
            pass(in(0, 1), in(0, 3), in(0, 4));
            lines.push_back({in(-1, 2), in(-1, 1), in(0, 1), in(1, 1), in(1, 2), in(1, 3), in(0, 3),
                             in(-1, 3), in(-1, 2)});
        }
        break;
    }
    }
    return lines;
}

int netFaceCount(int n, NetStyle style)
{
    switch (style) {
    case NetStyle::MissingSide:
    case NetStyle::TeeLines:
    case NetStyle::TeeStrokes:
        return n * n - 1;
    case NetStyle::MissingRow:
        return n * n - n;
    case NetStyle::Diagonal:
    case NetStyle::Lasso:
    case NetStyle::LassoSplit:
    case NetStyle::Ring:
    case NetStyle::RingStrokes:
    case NetStyle::Lollipop:
    case NetStyle::LollipopStrokes:
    case NetStyle::Island:
    case NetStyle::IslandStrokes:
        return n * n + 1;
    case NetStyle::FigureEight:
        return n * n + 2;
    case NetStyle::RingAcross:
    case NetStyle::RingThrough:
        return n * n + (n >= 2 ? 2 : 0);
    case NetStyle::GridInFace:
        return n * n + 4;
    case NetStyle::BigRegion: {
        const int block = std::max(n - 4, 0);
        return n * n - (block > 0 ? block * block - 1 : 0);
    }
    default:
        return n * n;
    }
}

namespace {

// The rays of a spot, along -look through the places (x, y) of the lattice
// 0..last (fractions allowed), the lattice turned about its middle by the
// spot's turn.
struct SpotRays {
    CFlatMesh& mesh;
    Frame f;
    double step = 0.0, c0 = 0.0, c1 = 0.0, front = 0.0, half = 0.0, cosTurn = 1.0, sinTurn = 0.0;
    CVector<float, 3> towards, down;

    SpotRays(CFlatMesh& m, const NetSpot& spot, int last) : mesh(m), f(frameOf(spot.look))
    {
        const CBox<float, 3> box = mesh.getBoundingBox();
        double lo[3] = {1e300, 1e300, 1e300}, hi[3] = {-1e300, -1e300, -1e300};
        for (int corner = 0; corner < 8; ++corner) {
            const double p[3] = {(corner & 1) ? box.max[0] : box.min[0],
                                 (corner & 2) ? box.max[1] : box.min[1],
                                 (corner & 4) ? box.max[2] : box.min[2]};
            const double seen[3] = {dot(f.across, p), dot(f.up, p), dot(f.look, p)};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], seen[k]);
                hi[k] = std::max(hi[k], seen[k]);
            }
        }
        const double side = std::max(hi[0] - lo[0], hi[1] - lo[1]);
        step = spot.size * side / last;
        c0 = lo[0] + spot.centre[0] * (hi[0] - lo[0]);
        c1 = lo[1] + spot.centre[1] * (hi[1] - lo[1]);
        front = hi[2] + 0.1 * side + 1e-6;
        half = 0.5 * last;
        cosTurn = std::cos(spot.turn * std::acos(-1.0) / 180.0);
        sinTurn = std::sin(spot.turn * std::acos(-1.0) / 180.0);
        for (int k = 0; k < 3; ++k) {
            towards.data[k] = float(f.look.data[k]);
            down.data[k] = float(-f.look.data[k]);
        }
    }

    // The hit nearest the viewer, its normal turned towards the viewer, and
    // its depth; false when the ray misses or the mesh there turns more
    // than 60 degrees away.
    bool cast(double x, double y, Mesh::CBaseMesh::CBaseHitInfo& sample, double& depth) const
    {
        const double u = (x - half) * step, v = (y - half) * step;
        const double a = c0 + cosTurn * u - sinTurn * v, b = c1 + sinTurn * u + cosTurn * v;
        CVertex<float, 3> origin;
        for (int k = 0; k < 3; ++k)
            origin.data[k] =
                float(a * f.across.data[k] + b * f.up.data[k] + front * f.look.data[k]);
        Kor::Set<Mesh::CBaseMesh::CBaseHitInfo> hits;
        if (!mesh.hit(origin, down, hits, true, false, false, nullptr, 0.0) || hits.count == 0)
            return false;
        int nearest = 0;
        double best = 1e300;
        for (int h = 0; h < hits.count; ++h) {
            double d = 0.0;
            for (int k = 0; k < 3; ++k)
                d += (double(hits[h]->data[k]) - origin.data[k]) *
                     (double(hits[h]->data[k]) - origin.data[k]);
            if (d < best) {
                best = d;
                nearest = h;
            }
        }
        sample = *hits[nearest];
        depth = std::sqrt(best);
        // Facet normals may point either way on a mesh without orientation.
        if (unitDot(sample.normal, towards) < 0.0)
            for (int k = 0; k < 3; ++k)
                sample.normal.data[k] = -sample.normal.data[k];
        return unitDot(sample.normal, towards) >= 0.5;
    }
};

// netNodes, with the lattice place of each node (moved by the jitter).
bool placeNodes(CFlatMesh& mesh, const NetSpot& spot, int last, int kSub,
                std::vector<Mesh::CBaseMesh::CBaseHitInfo>& nodes,
                std::vector<std::pair<double, double>>& places)
{
    const SpotRays rays(mesh, spot, last);
    // Rays through a finer lattice, kSub steps to a lattice step, so that a
    // crease or a jump between the net's points shows too; it reaches out by
    // as many fine steps as a jittered point may move.
    const double jitter = std::clamp(spot.jitter, 0.0, 0.45);
    const int margin = int(std::ceil(jitter * kSub));
    const int fine = last * kSub + 2 * margin;
    const double fineStep = rays.step / kSub;
    const auto fineCast = [&](double i, double j, Mesh::CBaseMesh::CBaseHitInfo& sample,
                              double& depth) {
        return rays.cast((i - margin) / kSub, (j - margin) / kSub, sample, depth);
    };
    std::vector<Mesh::CBaseMesh::CBaseHitInfo> samples(std::size_t((fine + 1) * (fine + 1)));
    std::vector<double> depth(samples.size());
    for (int j = 0; j <= fine; ++j)
        for (int i = 0; i <= fine; ++i) {
            const std::size_t at = std::size_t(j * (fine + 1) + i);
            if (!fineCast(i, j, samples[at], depth[at]))
                return false;
        }
    // Smooth: neighbours turn by at most 20 degrees and lie at most two steps
    // apart in depth, and no normal is more than 35 degrees off the middle
    // one's. Across a crease only the depth counts.
    const auto& middle = samples[std::size_t((fine / 2) * (fine + 1) + fine / 2)];
    for (int j = 0; j <= fine; ++j)
        for (int i = 0; i <= fine; ++i) {
            const std::size_t at = std::size_t(j * (fine + 1) + i);
            if (!spot.creased && unitDot(samples[at].normal, middle.normal) < 0.819)
                return false;
            for (const std::size_t next : {at + 1, at + std::size_t(fine + 1)}) {
                if ((next == at + 1 && i == fine) || (next != at + 1 && j == fine))
                    continue;
                if ((!spot.creased && unitDot(samples[at].normal, samples[next].normal) < 0.94) ||
                    std::fabs(depth[at] - depth[next]) > 2.0 * fineStep)
                    return false;
            }
        }
    nodes.assign(std::size_t((last + 1) * (last + 1)), {});
    places.assign(nodes.size(), {});
    // The moves are drawn for every lattice point in row-major order, two
    // to a point, from the generator's raw words (its sequence is the same
    // on every platform, unlike the library's distributions).
    std::mt19937 random(spot.seed);
    const auto move = [&] { return jitter * (2.0 * (double(random()) / 4294967296.0) - 1.0); };
    // A lattice line's place in net steps: its own, or the fraction given.
    const bool spaced = spot.columns.size() == std::size_t(last + 1) &&
                        spot.rows.size() == std::size_t(last + 1);
    const auto place = [&](const std::vector<double>& at, int k) {
        return spaced ? std::clamp(at[std::size_t(k)], 0.0, 1.0) * last : double(k);
    };
    for (int j = 0; j <= last; ++j)
        for (int i = 0; i <= last; ++i) {
            const std::size_t at = std::size_t(j * (last + 1) + i);
            Mesh::CBaseMesh::CBaseHitInfo& node = nodes[at];
            places[at] = {double(i), double(j)};
            const int fi = i * kSub + margin, fj = j * kSub + margin;
            if (jitter == 0.0 && !spaced) {
                node = samples[std::size_t(fj * (fine + 1) + fi)];
                continue;
            }
            const double di = jitter == 0.0 ? 0.0 : move(), dj = jitter == 0.0 ? 0.0 : move();
            const double pi = place(spot.columns, i) + di, pj = place(spot.rows, j) + dj;
            places[at] = {pi, pj};
            double seen = 0.0;
            if (!rays.cast(pi, pj, node, seen) ||
                (!spot.creased && unitDot(node.normal, middle.normal) < 0.819))
                return false;
        }
    return true;
}

} // namespace

bool netNodes(CFlatMesh& mesh, const NetSpot& spot, int last,
              std::vector<Mesh::CBaseMesh::CBaseHitInfo>& nodes)
{
    std::vector<std::pair<double, double>> places;
    return placeNodes(mesh, spot, last, 4, nodes, places);
}

bool findNetSpot(CFlatMesh& mesh, const CVector<double, 3>& look, int n, NetStyle style,
                 NetSpot& spot)
{
    const int last = latticeLast(n, style);
    std::vector<Mesh::CBaseMesh::CBaseHitInfo> nodes;
    std::vector<std::pair<double, double>> places;
    for (const double size : {0.3, 0.2, 0.1})
        for (const double dx : {0.0, -0.15, 0.15, -0.3, 0.3})
            for (const double dy : {0.0, -0.15, 0.15, -0.3, 0.3}) {
                NetSpot tried = spot;
                tried.look = look;
                tried.centre[0] = 0.5 + dx;
                tried.centre[1] = 0.5 + dy;
                tried.size = size;
                if (placeNodes(mesh, tried, last, 4 / latticeSteps(style), nodes, places)) {
                    spot = tried;
                    return true;
                }
            }
    return false;
}

std::string netText(CFlatMesh& mesh, const NetSpot& spot, int n, NetStyle style,
                    const StrokeShape& shape)
{
    const int last = latticeLast(n, style);
    std::vector<Mesh::CBaseMesh::CBaseHitInfo> nodes;
    std::vector<std::pair<double, double>> places;
    if (!placeNodes(mesh, spot, last, 4 / latticeSteps(style), nodes, places))
        return {};
    const SpotRays rays(mesh, spot, last);
    const double reach = shape.distance / rays.step; // in steps
    std::mt19937 random(spot.seed + 1);
    const auto wobble = [&] {
        return shape.wobble * (2.0 * (double(random()) / 4294967296.0) - 1.0);
    };
    GB::CSurfaceNet net;
    net.setMesh(&mesh);
    net.topologySwitch = false;
    std::map<std::pair<int, int>, Gridbench::CGridPoint*> at;
    bool placed = true;
    const auto placeOf = [&](std::pair<int, int> p) {
        return places[std::size_t(p.second * (last + 1) + p.first)];
    };
    // A point of the stroke's own at the lattice place (x, y).
    const auto ownPoint = [&](double x, double y) -> CVertex<float, 3>* {
        Mesh::CBaseMesh::CBaseHitInfo hit;
        double depth = 0.0;
        placed = placed && rays.cast(x, y, hit, depth);
        return new Gridbench::CGridPoint(hit);
    };
    const int border = n * latticeSteps(style);
    const auto atBorder = [&](std::pair<int, int> p) {
        return p.first == 0 || p.second == 0 || p.first >= border || p.second >= border;
    };
    // Whether the end of the line (its first or last point) takes the shape.
    const auto shaped = [&](const LatticeLine& line, bool front) {
        return shape.ends != StrokeEnds::Exact && line.size() >= 2 &&
               (front ? shape.first : shape.last) &&
               (atBorder(front ? line.front() : line.back()) ? shape.atBorder : shape.inside);
    };
    for (const LatticeLine& line : netLines(n, style)) {
        std::vector<CVertex<float, 3>*> points;
        for (std::size_t k = 0; k < line.size(); ++k) {
            if (k > 0)
                for (int s = 1; s < shape.pointsPerStep; ++s) {
                    const auto [ax, ay] = placeOf(line[k - 1]);
                    const auto [bx, by] = placeOf(line[k]);
                    const double share = double(s) / shape.pointsPerStep, across = wobble();
                    // A stroke that stops short has no points of its own
                    // after its last one before the junction.
                    const double length = std::hypot(bx - ax, by - ay);
                    if (shape.ends == StrokeEnds::Short &&
                        ((k == 1 && shaped(line, true) && share * length <= reach) ||
                         (k + 1 == line.size() && shaped(line, false) &&
                          (1.0 - share) * length <= reach)))
                        continue;
                    points.push_back(ownPoint(ax + share * (bx - ax) - across * (by - ay),
                                              ay + share * (by - ay) + across * (bx - ax)));
                }
            Gridbench::CGridPoint*& p = at[line[k]];
            if (p == nullptr)
                p = new Gridbench::CGridPoint(
                    nodes[std::size_t(line[k].second * (last + 1) + line[k].first)]);
            points.push_back(p);
        }
        // The ends: the point `reach` beyond the junction (along the way
        // from its neighbour in the stroke) or short of it.
        for (const bool front : {true, false}) {
            if (!shaped(line, front))
                continue;
            const std::pair<int, int> end = front ? line.front() : line.back();
            const std::pair<int, int> next = front ? line[1] : line[line.size() - 2];
            const auto [ex, ey] = placeOf(end);
            const auto [nx, ny] = placeOf(next);
            const double length = std::hypot(ex - nx, ey - ny);
            if (shape.ends == StrokeEnds::Hook) {
                // Past the junction, aside, and back onto it.
                const double ux = reach * (ex - nx) / length, uy = reach * (ey - ny) / length;
                CVertex<float, 3>* junction = front ? points.front() : points.back();
                const std::vector<CVertex<float, 3>*> hook = {
                    ownPoint(ex + ux, ey + uy), ownPoint(ex + ux - uy, ey + uy + ux), junction};
                points.insert(front ? points.begin() + 1 : points.end(), hook.begin(), hook.end());
                continue;
            }
            const double sense = shape.ends == StrokeEnds::Short ? -1.0 : 1.0;
            CVertex<float, 3>* extra = ownPoint(ex + sense * reach * (ex - nx) / length,
                                                ey + sense * reach * (ey - ny) / length);
            // A tail lies outside the junction, the others inside it.
            const bool outside = shape.ends == StrokeEnds::Tail;
            if (front)
                points.insert(points.begin() + (outside ? 0 : 1), extra);
            else
                points.insert(points.end() - (outside ? 0 : 1), extra);
        }
        polyLine(net, points);
    }
    if (!placed)
        return {};
    std::ostringstream text;
    if (!net.write(text))
        return {};
    return text.str();
}

} // namespace mwtest
