#include "platform/host/GeometryRecords.h"

#include <cstdint>
#include <memory>
#include <vector>

// Record layouts (int = 4 bytes, double = 8 bytes, little-endian):
//   mesh      int V; V x (3 doubles); int F; F x (4 ints)
//   curve     int kind; kind 1 (NURBS): int dim, int rational, int order,
//             int count, order + count - 2 knots, count x (dim [+1]) doubles
//             of the stored control points; kind 2 (line): int dim, 3 + 3
//             doubles for the ends, 2 doubles for the domain
//   surface   int dim, int rational, int order0, int order1, int count0,
//             int count1, the knots of direction 0 then 1, control points
//             with i (direction 0) outer
//   Brep      int S, S surface records; int C2, C2 curve records; int C3, C3
//             curve records; int V, V x (point, tolerance, edge list); int E,
//             E x (c3i, vi0, vi1, tolerance, domain, trim list); int F, F x
//             (si, reversed, loop list); int L, L x (type, fi, trim list);
//             int T, T x (c2i, ei, li, vi0, vi1, reversed, type, tolerance 0,
//             tolerance 1, domain)
// A list is an int count followed by that many ints.

namespace VezadHost {

namespace {

constexpr int curveNurbs = 1;
constexpr int curveLine = 2;
constexpr int maximumDimension = 3;

bool writeInts(ON_BinaryArchive& a, std::initializer_list<int> values)
{
    for (int v : values)
        if (!a.WriteInt(v))
            return false;
    return true;
}

bool writeDoubles(ON_BinaryArchive& a, std::initializer_list<double> values)
{
    for (double v : values)
        if (!a.WriteDouble(v))
            return false;
    return true;
}

bool writeList(ON_BinaryArchive& a, const ON_SimpleArray<int>& list)
{
    if (!a.WriteInt(list.Count()))
        return false;
    for (int v : list)
        if (!a.WriteInt(v))
            return false;
    return true;
}

bool writeInterval(ON_BinaryArchive& a, const ON_Interval& interval)
{
    return writeDoubles(a, {interval[0], interval[1]});
}

// A count read from the archive that says how many items of at least
// itemBytes follow: false unless 0 <= count and the bytes are there.
bool readCount(ON_BinaryArchive& a, std::size_t itemBytes, int& count)
{
    return a.ReadInt(&count) && count >= 0 &&
           static_cast<std::size_t>(count) <= a.BytesLeft() / itemBytes;
}

bool readList(ON_BinaryArchive& a, ON_SimpleArray<int>& list)
{
    int count = 0;
    if (!readCount(a, 4, count))
        return false;
    list.Empty();
    list.Reserve(count);
    for (int i = 0; i < count; ++i) {
        int v = 0;
        if (!a.ReadInt(&v))
            return false;
        list.Append(v);
    }
    return true;
}

bool readInterval(ON_BinaryArchive& a, ON_Interval& interval)
{
    return a.ReadDouble(&interval.m_t[0]) && a.ReadDouble(&interval.m_t[1]);
}

bool readPoint(ON_BinaryArchive& a, ON_3dPoint& p)
{
    return a.ReadDouble(&p.x) && a.ReadDouble(&p.y) && a.ReadDouble(&p.z);
}

bool writePoint(ON_BinaryArchive& a, const ON_3dPoint& p)
{
    return writeDoubles(a, {p.x, p.y, p.z});
}

// Orders and counts of a NURBS shape before anything is allocated: each
// order at least 2, each count at least its order, and the knots and
// control points not more than the bytes left.
bool shapeFits(ON_BinaryArchive& a, int dim, int rational, const int* orders, const int* counts,
               int directions)
{
    if (dim < 1 || dim > maximumDimension || (rational != 0 && rational != 1))
        return false;
    std::uint64_t doubles = 1;
    std::uint64_t knots = 0;
    const std::uint64_t limit = a.BytesLeft() / 8;
    for (int d = 0; d < directions; ++d) {
        if (orders[d] < 2 || counts[d] < orders[d] || static_cast<std::uint64_t>(counts[d]) > limit)
            return false;
        doubles *= static_cast<std::uint64_t>(counts[d]);
        knots += static_cast<std::uint64_t>(orders[d]) + static_cast<std::uint64_t>(counts[d]) - 2;
        if (doubles > limit)
            return false;
    }
    return doubles * static_cast<std::uint64_t>(dim + rational) + knots <= limit;
}

bool writeNurbsCurve(ON_BinaryArchive& a, const ON_NurbsCurve& c)
{
    if (!writeInts(a, {curveNurbs, c.m_dim, c.m_is_rat ? 1 : 0, c.Order(), c.CVCount()}))
        return false;
    for (int k = 0; k < c.KnotCount(); ++k)
        if (!a.WriteDouble(c.Knot(k)))
            return false;
    for (int i = 0; i < c.CVCount(); ++i)
        for (int d = 0; d < c.CVSize(); ++d)
            if (!a.WriteDouble(c.CV(i)[d]))
                return false;
    return true;
}

bool writeCurve(ON_BinaryArchive& a, const ON_Curve& curve)
{
    if (const ON_LineCurve* line = ON_LineCurve::Cast(&curve))
        return writeInts(a, {curveLine, line->m_dim}) && writePoint(a, line->m_line.from) &&
               writePoint(a, line->m_line.to) && writeInterval(a, line->m_t);
    if (const ON_NurbsCurve* nurbs = ON_NurbsCurve::Cast(&curve))
        return writeNurbsCurve(a, *nurbs);
    ON_NurbsCurve converted;
    return curve.NurbsCurve(&converted) != 0 && writeNurbsCurve(a, converted);
}

ON_Curve* readCurve(ON_BinaryArchive& a)
{
    int kind = 0;
    if (!a.ReadInt(&kind))
        return nullptr;
    if (kind == curveLine) {
        auto line = std::make_unique<ON_LineCurve>();
        if (!a.ReadInt(&line->m_dim) || line->m_dim < 2 || line->m_dim > 3 ||
            !readPoint(a, line->m_line.from) || !readPoint(a, line->m_line.to) ||
            !readInterval(a, line->m_t) || !line->IsValid())
            return nullptr;
        return line.release();
    }
    int dim = 0, rational = 0, order = 0, count = 0;
    if (kind != curveNurbs || !a.ReadInt(&dim) || !a.ReadInt(&rational) || !a.ReadInt(&order) ||
        !a.ReadInt(&count) || !shapeFits(a, dim, rational, &order, &count, 1))
        return nullptr;
    auto curve = std::make_unique<ON_NurbsCurve>(dim, rational != 0, order, count);
    for (int k = 0; k < curve->KnotCount(); ++k) {
        double knot = 0.0;
        if (!a.ReadDouble(&knot) || !curve->SetKnot(k, knot))
            return nullptr;
    }
    for (int i = 0; i < count; ++i)
        for (int d = 0; d < curve->CVSize(); ++d)
            if (!a.ReadDouble(&curve->CV(i)[d]))
                return nullptr;
    return curve->IsValid() ? curve.release() : nullptr;
}

bool writeNurbsSurface(ON_BinaryArchive& a, const ON_NurbsSurface& s)
{
    if (!writeInts(
            a, {s.m_dim, s.m_is_rat ? 1 : 0, s.Order(0), s.Order(1), s.CVCount(0), s.CVCount(1)}))
        return false;
    for (int dir = 0; dir < 2; ++dir)
        for (int k = 0; k < s.KnotCount(dir); ++k)
            if (!a.WriteDouble(s.Knot(dir, k)))
                return false;
    for (int i = 0; i < s.CVCount(0); ++i)
        for (int j = 0; j < s.CVCount(1); ++j)
            for (int d = 0; d < s.CVSize(); ++d)
                if (!a.WriteDouble(s.CV(i, j)[d]))
                    return false;
    return true;
}

bool writeSurface(ON_BinaryArchive& a, const ON_Surface& surface)
{
    if (const ON_NurbsSurface* nurbs = ON_NurbsSurface::Cast(&surface))
        return writeNurbsSurface(a, *nurbs);
    ON_NurbsSurface converted;
    return surface.NurbsSurface(&converted) != 0 && writeNurbsSurface(a, converted);
}

ON_Surface* readSurface(ON_BinaryArchive& a)
{
    int dim = 0, rational = 0, orders[2] = {0, 0}, counts[2] = {0, 0};
    if (!a.ReadInt(&dim) || !a.ReadInt(&rational) || !a.ReadInt(&orders[0]) ||
        !a.ReadInt(&orders[1]) || !a.ReadInt(&counts[0]) || !a.ReadInt(&counts[1]) ||
        !shapeFits(a, dim, rational, orders, counts, 2))
        return nullptr;
    auto s = std::make_unique<ON_NurbsSurface>(dim, rational != 0, orders[0], orders[1], counts[0],
                                               counts[1]);
    for (int dir = 0; dir < 2; ++dir)
        for (int k = 0; k < s->KnotCount(dir); ++k) {
            double knot = 0.0;
            if (!a.ReadDouble(&knot) || !s->SetKnot(dir, k, knot))
                return nullptr;
        }
    for (int i = 0; i < counts[0]; ++i)
        for (int j = 0; j < counts[1]; ++j)
            for (int d = 0; d < s->CVSize(); ++d)
                if (!a.ReadDouble(&s->CV(i, j)[d]))
                    return nullptr;
    return s->IsValid() ? s.release() : nullptr;
}

bool writeMesh(ON_BinaryArchive& a, const ON_Mesh& mesh)
{
    if (!a.WriteInt(mesh.VertexCount()))
        return false;
    for (const ON_3fPoint& v : mesh.m_V)
        if (!writeDoubles(a, {v.x, v.y, v.z}))
            return false;
    if (!a.WriteInt(mesh.FaceCount()))
        return false;
    for (const ON_MeshFace& f : mesh.m_F)
        if (!writeInts(a, {f.vi[0], f.vi[1], f.vi[2], f.vi[3]}))
            return false;
    return true;
}

ON_Mesh* readMesh(ON_BinaryArchive& a)
{
    auto mesh = std::make_unique<ON_Mesh>();
    int vertices = 0;
    if (!readCount(a, 24, vertices))
        return nullptr;
    mesh->m_V.Reserve(vertices);
    for (int i = 0; i < vertices; ++i) {
        ON_3dPoint p;
        if (!readPoint(a, p))
            return nullptr;
        mesh->m_V.Append(ON_3fPoint(p));
    }
    int faces = 0;
    if (!readCount(a, 16, faces))
        return nullptr;
    mesh->m_F.Reserve(faces);
    for (int i = 0; i < faces; ++i) {
        ON_MeshFace f;
        for (int& vi : f.vi)
            if (!a.ReadInt(&vi))
                return nullptr;
        mesh->m_F.Append(f);
    }
    return mesh->IsValid() ? mesh.release() : nullptr;
}

bool writeBrep(ON_BinaryArchive& a, const ON_Brep& b)
{
    if (!a.WriteInt(b.m_S.Count()))
        return false;
    for (const ON_Surface* s : b.m_S)
        if (!s || !writeSurface(a, *s))
            return false;
    for (const auto* table : {&b.m_C2, &b.m_C3}) {
        if (!a.WriteInt(table->Count()))
            return false;
        for (const ON_Curve* c : *table)
            if (!c || !writeCurve(a, *c))
                return false;
    }
    if (!a.WriteInt(b.m_V.Count()))
        return false;
    for (int i = 0; i < b.m_V.Count(); ++i) {
        const ON_BrepVertex& v = b.m_V[i];
        if (!writePoint(a, v.point) || !a.WriteDouble(v.m_tolerance) || !writeList(a, v.m_ei))
            return false;
    }
    if (!a.WriteInt(b.m_E.Count()))
        return false;
    for (int i = 0; i < b.m_E.Count(); ++i) {
        const ON_BrepEdge& e = b.m_E[i];
        if (!writeInts(a, {e.m_c3i, e.m_vi[0], e.m_vi[1]}) || !a.WriteDouble(e.m_tolerance) ||
            !writeInterval(a, e.Domain()) || !writeList(a, e.m_ti))
            return false;
    }
    if (!a.WriteInt(b.m_F.Count()))
        return false;
    for (int i = 0; i < b.m_F.Count(); ++i) {
        const ON_BrepFace& f = b.m_F[i];
        if (!writeInts(a, {f.m_si, f.m_bRev ? 1 : 0}) || !writeList(a, f.m_li))
            return false;
    }
    if (!a.WriteInt(b.m_L.Count()))
        return false;
    for (int i = 0; i < b.m_L.Count(); ++i) {
        const ON_BrepLoop& l = b.m_L[i];
        if (!writeInts(a, {static_cast<int>(l.m_type), l.m_fi}) || !writeList(a, l.m_ti))
            return false;
    }
    if (!a.WriteInt(b.m_T.Count()))
        return false;
    for (int i = 0; i < b.m_T.Count(); ++i) {
        const ON_BrepTrim& t = b.m_T[i];
        if (!writeInts(a, {t.m_c2i, t.m_ei, t.m_li, t.m_vi[0], t.m_vi[1], t.m_bRev3d ? 1 : 0,
                           static_cast<int>(t.m_type)}) ||
            !writeDoubles(a, {t.m_tolerance[0], t.m_tolerance[1]}) || !writeInterval(a, t.Domain()))
            return false;
    }
    return true;
}

// The Brep is rebuilt with its own calls, so that every element knows its
// Brep and proxies its curve or surface; the stored index lists then take
// the place of those the calls made, and IsValid judges the whole.
ON_Brep* readBrep(ON_BinaryArchive& a)
{
    auto b = std::make_unique<ON_Brep>();
    int count = 0;
    if (!readCount(a, 4, count))
        return nullptr;
    for (int i = 0; i < count; ++i) {
        ON_Surface* s = readSurface(a);
        if (!s)
            return nullptr;
        b->AddSurface(s);
    }
    for (int table = 0; table < 2; ++table) {
        if (!readCount(a, 4, count))
            return nullptr;
        for (int i = 0; i < count; ++i) {
            ON_Curve* c = readCurve(a);
            if (!c)
                return nullptr;
            table == 0 ? b->AddTrimCurve(c) : b->AddEdgeCurve(c);
        }
    }
    if (!readCount(a, 32, count))
        return nullptr;
    for (int i = 0; i < count; ++i) {
        ON_3dPoint p;
        double tolerance = 0.0;
        if (!readPoint(a, p) || !a.ReadDouble(&tolerance) ||
            !readList(a, b->NewVertex(p, tolerance).m_ei))
            return nullptr;
    }
    if (!readCount(a, 40, count))
        return nullptr;
    std::vector<ON_SimpleArray<int>> edgeTrims(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        int c3i = -1;
        ON_BrepEdge& e = b->NewEdge(-1);
        ON_Interval domain;
        if (!a.ReadInt(&c3i) || !a.ReadInt(&e.m_vi[0]) || !a.ReadInt(&e.m_vi[1]) ||
            !a.ReadDouble(&e.m_tolerance) || !readInterval(a, domain) ||
            !readList(a, edgeTrims[static_cast<std::size_t>(i)]))
            return nullptr;
        if (c3i >= 0 && !b->SetEdgeCurve(e, c3i, &domain))
            return nullptr;
    }
    if (!readCount(a, 12, count))
        return nullptr;
    std::vector<ON_SimpleArray<int>> faceLoops(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        int si = -1, reversed = 0;
        if (!a.ReadInt(&si) || !a.ReadInt(&reversed) ||
            !readList(a, faceLoops[static_cast<std::size_t>(i)]))
            return nullptr;
        b->NewFace(si).m_bRev = reversed != 0;
    }
    if (!readCount(a, 12, count))
        return nullptr;
    std::vector<ON_SimpleArray<int>> loopTrims(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        int type = 0, fi = -1;
        if (!a.ReadInt(&type) || !a.ReadInt(&fi) || !b->m_F.At(fi) || type < ON_BrepLoop::unknown ||
            type > ON_BrepLoop::ptonsrf || !readList(a, loopTrims[static_cast<std::size_t>(i)]))
            return nullptr;
        b->NewLoop(static_cast<ON_BrepLoop::TYPE>(type), b->m_F[fi]);
    }
    if (!readCount(a, 60, count))
        return nullptr;
    for (int i = 0; i < count; ++i) {
        int c2i = -1, ei = -1, li = -1, vi[2] = {-1, -1}, reversed = 0, type = 0;
        double tolerance[2] = {0.0, 0.0};
        ON_Interval domain;
        if (!a.ReadInt(&c2i) || !a.ReadInt(&ei) || !a.ReadInt(&li) || !a.ReadInt(&vi[0]) ||
            !a.ReadInt(&vi[1]) || !a.ReadInt(&reversed) || !a.ReadInt(&type) ||
            !a.ReadDouble(&tolerance[0]) || !a.ReadDouble(&tolerance[1]) ||
            !readInterval(a, domain) || !b->m_E.At(ei) || !b->m_L.At(li) ||
            type < ON_BrepTrim::unknown || type > ON_BrepTrim::slit)
            return nullptr;
        ON_BrepTrim& t = b->NewTrim(b->m_E[ei], reversed != 0, b->m_L[li], c2i);
        if (c2i >= 0 && c2i < b->m_C2.Count())
            t.SetProxyCurve(b->m_C2[c2i], domain);
        t.m_vi[0] = vi[0];
        t.m_vi[1] = vi[1];
        t.m_type = static_cast<ON_BrepTrim::TYPE>(type);
        t.m_tolerance[0] = tolerance[0];
        t.m_tolerance[1] = tolerance[1];
    }
    for (int i = 0; i < b->m_E.Count(); ++i)
        b->m_E[i].m_ti = edgeTrims[static_cast<std::size_t>(i)];
    for (int i = 0; i < b->m_F.Count(); ++i)
        b->m_F[i].m_li = faceLoops[static_cast<std::size_t>(i)];
    for (int i = 0; i < b->m_L.Count(); ++i)
        b->m_L[i].m_ti = loopTrims[static_cast<std::size_t>(i)];
    // Boxes are derived data: set again rather than stored.
    b->SetTolerancesBoxesAndFlags(true, false, false, false, false, false, false, true);
    return b->IsValid() ? b.release() : nullptr;
}

} // namespace

bool writeGeometry(ON_BinaryArchive& archive, const ON_Geometry& geometry)
{
    if (const ON_Mesh* mesh = ON_Mesh::Cast(&geometry))
        return writeMesh(archive, *mesh);
    if (const ON_Brep* brep = ON_Brep::Cast(&geometry))
        return writeBrep(archive, *brep);
    if (const ON_Curve* curve = dynamic_cast<const ON_Curve*>(&geometry))
        return writeCurve(archive, *curve);
    if (const ON_Surface* surface = dynamic_cast<const ON_Surface*>(&geometry))
        return writeSurface(archive, *surface);
    return false;
}

ON_Geometry* readGeometry(ON_BinaryArchive& archive, ON::object_type type)
{
    switch (type) {
    case ON::mesh_object:
        return readMesh(archive);
    case ON::curve_object:
        return readCurve(archive);
    case ON::surface_object:
        return readSurface(archive);
    case ON::brep_object:
        return readBrep(archive);
    default:
        return nullptr;
    }
}

} // namespace VezadHost
