#include "platform/host/RenderMesh.h"

#include "platform/host/ObjectDrawing.h"

#include <algorithm>
#include <unordered_map>

namespace VezadHost {

namespace {

constexpr int kGridCells = 32;
constexpr int kSplitLevels = 3;
// Grid steps per side at the finest split.
constexpr int kFine = kGridCells << kSplitLevels;

struct Segment {
    double u0, v0, u1, v1;
};

// Whether the segment meets the box [u0, u1] x [v0, v1] (Liang-Barsky).
bool segmentMeetsBox(const Segment& s, double u0, double v0, double u1, double v1)
{
    double enter = 0.0, leave = 1.0;
    const double du = s.u1 - s.u0, dv = s.v1 - s.v0;
    const double p[4] = {-du, du, -dv, dv};
    const double q[4] = {s.u0 - u0, u1 - s.u0, s.v0 - v0, v1 - s.v0};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0)
                return false;
        } else {
            const double r = q[k] / p[k];
            if (p[k] < 0.0)
                enter = std::max(enter, r);
            else
                leave = std::min(leave, r);
            if (enter > leave)
                return false;
        }
    }
    return true;
}

class FaceTessellation {
public:
    FaceTessellation(const ON_BrepFace& face, const ON_Surface& surface, RenderMesh& mesh)
        : m_face(face), m_surface(surface), m_mesh(mesh)
    {
    }

    void run()
    {
        for (int l = 0; l < m_face.LoopCount(); ++l)
            if (const ON_BrepLoop* loop = m_face.Loop(l))
                addLoop(*loop);
        if (m_segments.empty() || !setGrid())
            return;
        // Each coarse cell looks only at the trims whose boxes reach it.
        std::vector<std::vector<int>> buckets(kGridCells * kGridCells);
        for (int k = 0; k < static_cast<int>(m_segments.size()); ++k) {
            const Segment& s = m_segments[static_cast<std::size_t>(k)];
            const int i0 = cellOf(std::min(s.u0, s.u1), 0), i1 = cellOf(std::max(s.u0, s.u1), 0);
            const int j0 = cellOf(std::min(s.v0, s.v1), 1), j1 = cellOf(std::max(s.v0, s.v1), 1);
            for (int j = j0; j <= j1; ++j)
                for (int i = i0; i <= i1; ++i)
                    buckets[static_cast<std::size_t>(j * kGridCells + i)].push_back(k);
        }
        const int step = 1 << kSplitLevels;
        for (int j = 0; j < kGridCells; ++j)
            for (int i = 0; i < kGridCells; ++i)
                cell(i * step, j * step, step,
                     buckets[static_cast<std::size_t>(j * kGridCells + i)]);
    }

private:
    // The loop as a closed poly-line of the parameter plane.
    void addLoop(const ON_BrepLoop& loop)
    {
        std::vector<ON_3dPoint> polygon;
        for (int t = 0; t < loop.TrimCount(); ++t)
            if (const ON_BrepTrim* trim = loop.Trim(t)) {
                const std::vector<ON_3dPoint> samples = curveSamples(*trim);
                polygon.insert(polygon.end(), samples.begin() + (polygon.empty() ? 0 : 1),
                               samples.end());
            }
        if (polygon.size() < 3)
            return;
        const ON_3dPoint& last = polygon.back();
        for (std::size_t k = 0; k < polygon.size(); ++k) {
            const ON_3dPoint& a = k == 0 ? last : polygon[k - 1];
            const ON_3dPoint& b = polygon[k];
            if (a.x != b.x || a.y != b.y)
                m_segments.push_back({a.x, a.y, b.x, b.y});
        }
    }

    // The grid over the loops' box, within the surface's domain.
    bool setGrid()
    {
        double box[4] = {m_segments[0].u0, m_segments[0].v0, m_segments[0].u0, m_segments[0].v0};
        for (const Segment& s : m_segments) {
            box[0] = std::min({box[0], s.u0, s.u1});
            box[1] = std::min({box[1], s.v0, s.v1});
            box[2] = std::max({box[2], s.u0, s.u1});
            box[3] = std::max({box[3], s.v0, s.v1});
        }
        for (int d = 0; d < 2; ++d) {
            const ON_Interval domain = m_surface.Domain(d);
            m_origin[d] = std::max(box[d], domain.Min());
            m_size[d] = std::min(box[d + 2], domain.Max()) - m_origin[d];
            if (!(m_size[d] > 0.0))
                return false;
        }
        return true;
    }

    int cellOf(double value, int d) const
    {
        const int i = static_cast<int>((value - m_origin[d]) / m_size[d] * kGridCells);
        return std::clamp(i, 0, kGridCells - 1);
    }

    double parameter(int step, int d) const { return m_origin[d] + m_size[d] * step / kFine; }

    // Inside the face: inside an odd number of its loops (the outer one and
    // none of the holes).
    bool inside(double u, double v) const
    {
        bool in = false;
        for (const Segment& s : m_segments)
            if ((s.v0 > v) != (s.v1 > v) && u < s.u0 + (v - s.v0) * (s.u1 - s.u0) / (s.v1 - s.v0))
                in = !in;
        return in;
    }

    void cell(int i, int j, int size, const std::vector<int>& candidates)
    {
        const double u0 = parameter(i, 0), v0 = parameter(j, 1);
        const double u1 = parameter(i + size, 0), v1 = parameter(j + size, 1);
        std::vector<int> crossing;
        for (int k : candidates)
            if (segmentMeetsBox(m_segments[static_cast<std::size_t>(k)], u0, v0, u1, v1))
                crossing.push_back(k);
        if (crossing.empty() || size == 1) {
            if (inside(0.5 * (u0 + u1), 0.5 * (v0 + v1)))
                quad(i, j, size);
            return;
        }
        const int half = size / 2;
        for (int b = 0; b < 2; ++b)
            for (int a = 0; a < 2; ++a)
                cell(i + a * half, j + b * half, half, crossing);
    }

    void quad(int i, int j, int size)
    {
        const int a = point(i, j), b = point(i + size, j), c = point(i + size, j + size),
                  d = point(i, j + size);
        if (a < 0 || b < 0 || c < 0 || d < 0)
            return;
        const int order[6] = {a, b, c, a, c, d};
        for (int k = 0; k < 6; ++k)
            m_mesh.triangles.push_back(m_face.m_bRev ? order[k / 3 * 3 + 2 - k % 3] : order[k]);
    }

    // The mesh point at grid step (i, j), evaluated once; -1 where the
    // surface cannot be evaluated.
    int point(int i, int j)
    {
        const int key = j * (kFine + 1) + i;
        auto found = m_points.find(key);
        if (found != m_points.end())
            return found->second;
        const double u = parameter(i, 0), v = parameter(j, 1);
        ON_3dPoint p;
        ON_3dVector n;
        int index = -1;
        if (m_surface.EvNormal(u, v, p, n)) {
            index = static_cast<int>(m_mesh.points.size());
            m_mesh.points.push_back(p);
            m_mesh.normals.push_back(m_face.m_bRev ? -n : n);
        }
        m_points.emplace(key, index);
        return index;
    }

    const ON_BrepFace& m_face;
    const ON_Surface& m_surface;
    RenderMesh& m_mesh;
    std::vector<Segment> m_segments;
    double m_origin[2] = {0.0, 0.0};
    double m_size[2] = {0.0, 0.0};
    std::unordered_map<int, int> m_points;
};

} // namespace

void appendFaceRenderMesh(const ON_BrepFace& face, RenderMesh& mesh)
{
    const ON_Surface* surface = face.SurfaceOf();
    if (surface && face.OuterLoop())
        FaceTessellation(face, *surface, mesh).run();
}

RenderMesh brepRenderMesh(const ON_Brep& brep)
{
    RenderMesh mesh;
    for (int f = 0; f < brep.m_F.Count(); ++f)
        appendFaceRenderMesh(brep.m_F[f], mesh);
    return mesh;
}

} // namespace VezadHost
