#include "platform/on/Brep.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

template <class T> T* tableEntry(const ON_SimpleArray<T*>& table, int i)
{
    T* const* p = table.At(i);
    return p ? *p : nullptr;
}

// The parameter-plane point at one end of a trim.
bool trimEndUV(const ON_BrepTrim& trim, int end, ON_3dPoint& uv)
{
    return trim.ProxyCurve() && trim.EvPoint(trim.Domain()[end], uv, end == 1 ? -1 : 1);
}

// The 3-D point at one end of an edge.
bool edgeEndPoint(const ON_BrepEdge& edge, int end, ON_3dPoint& p)
{
    return edge.ProxyCurve() && edge.EvPoint(edge.Domain()[end], p, end == 1 ? -1 : 1);
}

void appendUnique(ON_SimpleArray<int>& list, int value)
{
    for (int v : list)
        if (v == value)
            return;
    list.Append(value);
}

} // namespace

// ---------------------------------------------------------------- elements

bool ON_BrepVertex::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    ON_BoundingBox box;
    box.Set(point, false);
    return OnSubset::storeBox(box, boxmin, boxmax, bGrowBox);
}

ON_BrepTrim* ON_BrepEdge::Trim(int i) const
{
    const int* ti = m_ti.At(i);
    return m_brep && ti ? m_brep->m_T.At(*ti) : nullptr;
}

ON_BrepVertex* ON_BrepEdge::Vertex(int end) const
{
    return m_brep && (end == 0 || end == 1) ? m_brep->m_V.At(m_vi[end]) : nullptr;
}

const ON_Curve* ON_BrepEdge::EdgeCurveOf() const
{
    return m_brep ? tableEntry(m_brep->m_C3, m_c3i) : nullptr;
}

ON_BrepLoop* ON_BrepTrim::Loop() const
{
    return m_brep ? m_brep->m_L.At(m_li) : nullptr;
}

ON_BrepFace* ON_BrepTrim::Face() const
{
    ON_BrepLoop* loop = Loop();
    return loop ? loop->Face() : nullptr;
}

ON_BrepEdge* ON_BrepTrim::Edge() const
{
    return m_brep ? m_brep->m_E.At(m_ei) : nullptr;
}

const ON_Surface* ON_BrepTrim::SurfaceOf() const
{
    ON_BrepFace* face = Face();
    return face ? face->SurfaceOf() : nullptr;
}

const ON_Curve* ON_BrepTrim::TrimCurveOf() const
{
    return m_brep ? tableEntry(m_brep->m_C2, m_c2i) : nullptr;
}

const ON_Curve* ON_BrepTrim::EdgeCurveOf() const
{
    ON_BrepEdge* edge = Edge();
    return edge ? edge->EdgeCurveOf() : nullptr;
}

ON_BrepFace* ON_BrepLoop::Face() const
{
    return m_brep ? m_brep->m_F.At(m_fi) : nullptr;
}

ON_BrepTrim* ON_BrepLoop::Trim(int i) const
{
    const int* ti = m_ti.At(i);
    return m_brep && ti ? m_brep->m_T.At(*ti) : nullptr;
}

bool ON_BrepLoop::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    return OnSubset::storeBox(m_pbox, boxmin, boxmax, bGrowBox);
}

ON_BrepLoop* ON_BrepFace::Loop(int l) const
{
    const int* li = m_li.At(l);
    return m_brep && li ? m_brep->m_L.At(*li) : nullptr;
}

const ON_Surface* ON_BrepFace::SurfaceOf() const
{
    return m_brep ? tableEntry(m_brep->m_S, m_si) : nullptr;
}

// ---------------------------------------------------------------- Brep

ON_Brep::ON_Brep(const ON_Brep& other) : ON_Geometry(other)
{
    *this = other;
}

ON_Brep& ON_Brep::operator=(const ON_Brep& other)
{
    if (this == &other)
        return *this;
    Destroy();
    ON_Geometry::operator=(other);
    for (ON_Curve* c : other.m_C2)
        m_C2.Append(c ? c->DuplicateCurve() : nullptr);
    for (ON_Curve* c : other.m_C3)
        m_C3.Append(c ? c->DuplicateCurve() : nullptr);
    for (ON_Surface* s : other.m_S)
        m_S.Append(s ? s->DuplicateSurface() : nullptr);
    m_V = other.m_V;
    m_E = other.m_E;
    m_T = other.m_T;
    m_L = other.m_L;
    m_F = other.m_F;
    rebind();
    return *this;
}

ON_Brep::~ON_Brep()
{
    Destroy();
}

void ON_Brep::Destroy()
{
    m_F.Empty();
    m_L.Empty();
    m_T.Empty();
    m_E.Empty();
    m_V.Empty();
    for (ON_Curve* c : m_C2)
        delete c;
    for (ON_Curve* c : m_C3)
        delete c;
    for (ON_Surface* s : m_S)
        delete s;
    m_C2.Empty();
    m_C3.Empty();
    m_S.Empty();
}

void ON_Brep::rebind()
{
    for (int i = 0; i < m_E.Count(); ++i) {
        ON_BrepEdge& e = m_E[i];
        e.m_brep = this;
        e.SetProxyCurve(tableEntry(m_C3, e.m_c3i), e.Domain());
    }
    for (int i = 0; i < m_T.Count(); ++i) {
        ON_BrepTrim& t = m_T[i];
        t.m_brep = this;
        t.SetProxyCurve(tableEntry(m_C2, t.m_c2i), t.Domain());
    }
    for (int i = 0; i < m_L.Count(); ++i)
        m_L[i].m_brep = this;
    for (int i = 0; i < m_F.Count(); ++i) {
        m_F[i].m_brep = this;
        m_F[i].SetProxySurface(tableEntry(m_S, m_F[i].m_si));
    }
}

int ON_Brep::AddSurface(ON_Surface* surface)
{
    if (!surface)
        return -1;
    m_S.Append(surface);
    return m_S.Count() - 1;
}

int ON_Brep::AddTrimCurve(ON_Curve* curve)
{
    if (!curve)
        return -1;
    m_C2.Append(curve);
    return m_C2.Count() - 1;
}

int ON_Brep::AddEdgeCurve(ON_Curve* curve)
{
    if (!curve)
        return -1;
    m_C3.Append(curve);
    return m_C3.Count() - 1;
}

ON_BrepVertex& ON_Brep::NewVertex(const ON_3dPoint& point, double tolerance)
{
    ON_BrepVertex& v = m_V.AppendNew();
    v.m_vertex_index = m_V.Count() - 1;
    v.point = point;
    v.m_tolerance = tolerance;
    return v;
}

ON_BrepFace& ON_Brep::NewFace(int si)
{
    ON_BrepFace& f = m_F.AppendNew();
    f.m_face_index = m_F.Count() - 1;
    f.m_si = si;
    f.m_brep = this;
    f.SetProxySurface(tableEntry(m_S, si));
    return f;
}

ON_BrepLoop& ON_Brep::NewLoop(ON_BrepLoop::TYPE type, ON_BrepFace& face)
{
    ON_BrepLoop& l = m_L.AppendNew();
    l.m_loop_index = m_L.Count() - 1;
    l.m_type = type;
    l.m_fi = face.m_face_index;
    l.m_brep = this;
    face.m_li.Append(l.m_loop_index);
    return l;
}

ON_BrepEdge& ON_Brep::NewEdge(int c3i)
{
    ON_BrepEdge& e = m_E.AppendNew();
    e.m_edge_index = m_E.Count() - 1;
    e.m_brep = this;
    e.m_c3i = c3i;
    e.SetProxyCurve(tableEntry(m_C3, c3i));
    return e;
}

bool ON_Brep::SetEdgeCurve(ON_BrepEdge& edge, int c3i, const ON_Interval* subDomain)
{
    const ON_Curve* curve = tableEntry(m_C3, c3i);
    if (!curve)
        return false;
    ON_Interval whole = curve->Domain();
    if (subDomain && (!subDomain->IsIncreasing() || subDomain->Min() < whole.Min() ||
                      subDomain->Max() > whole.Max()))
        return false;
    edge.m_c3i = c3i;
    edge.SetProxyCurve(curve, subDomain ? *subDomain : whole);
    return true;
}

ON_BrepTrim& ON_Brep::NewTrim(ON_BrepEdge& edge, bool bRev3d, ON_BrepLoop& loop, int c2i)
{
    ON_BrepTrim& t = m_T.AppendNew();
    t.m_trim_index = m_T.Count() - 1;
    t.m_brep = this;
    t.m_c2i = c2i;
    t.SetProxyCurve(tableEntry(m_C2, c2i));
    t.m_ei = edge.m_edge_index;
    t.m_bRev3d = bRev3d;
    t.m_vi[0] = edge.m_vi[bRev3d ? 1 : 0];
    t.m_vi[1] = edge.m_vi[bRev3d ? 0 : 1];
    t.m_li = loop.m_loop_index;
    edge.m_ti.Append(t.m_trim_index);
    loop.m_ti.Append(t.m_trim_index);
    return t;
}

void ON_Brep::setTrimEndVertex(ON_BrepTrim& trim, int end, int vi)
{
    trim.m_vi[end] = vi;
    ON_BrepEdge* edge = m_E.At(trim.m_ei);
    if (!edge)
        return;
    const int edgeEnd = trim.m_bRev3d ? 1 - end : end;
    if (edge->m_vi[edgeEnd] < 0)
        edge->m_vi[edgeEnd] = vi;
    if (ON_BrepVertex* v = m_V.At(vi))
        appendUnique(v->m_ei, edge->m_edge_index);
}

// The vertex already at one end of a trim (its own or its edge's), else a
// new one at the edge curve's end, else on the surface at the trim's end.
int ON_Brep::vertexAtTrimEnd(const ON_BrepTrim& trim, int end)
{
    if (m_V.At(trim.m_vi[end]))
        return trim.m_vi[end];
    const ON_BrepEdge* edge = m_E.At(trim.m_ei);
    const int edgeEnd = trim.m_bRev3d ? 1 - end : end;
    if (edge && m_V.At(edge->m_vi[edgeEnd]))
        return edge->m_vi[edgeEnd];
    return -1;
}

void ON_Brep::SetVertices()
{
    auto pointAt = [&](const ON_BrepTrim& trim, int end) {
        ON_3dPoint p;
        const ON_BrepEdge* edge = m_E.At(trim.m_ei);
        if (edge && edgeEndPoint(*edge, trim.m_bRev3d ? 1 - end : end, p))
            return p;
        ON_3dPoint uv;
        const ON_Surface* surface = trim.SurfaceOf();
        if (surface && trimEndUV(trim, end, uv) && surface->EvPoint(uv.x, uv.y, p))
            return p;
        return ON_3dPoint(ON_UNSET_VALUE, ON_UNSET_VALUE, ON_UNSET_VALUE);
    };
    for (int li = 0; li < m_L.Count(); ++li) {
        const ON_BrepLoop& loop = m_L[li];
        const int n = loop.m_ti.Count();
        for (int k = 0; k < n; ++k) {
            ON_BrepTrim* a = m_T.At(loop.m_ti[k]);
            ON_BrepTrim* b = m_T.At(loop.m_ti[(k + 1) % n]);
            if (!a || !b)
                continue;
            int vi = vertexAtTrimEnd(*a, 1);
            if (vi < 0)
                vi = vertexAtTrimEnd(*b, 0);
            if (vi < 0)
                vi = NewVertex(pointAt(*a, 1)).m_vertex_index;
            setTrimEndVertex(*a, 1, vi);
            setTrimEndVertex(*b, 0, vi);
        }
    }
    // Edges that no trim reached get vertices of their own.
    for (int ei = 0; ei < m_E.Count(); ++ei) {
        ON_BrepEdge& edge = m_E[ei];
        for (int end = 0; end < 2; ++end) {
            if (m_V.At(edge.m_vi[end]))
                continue;
            ON_3dPoint p(ON_UNSET_VALUE, ON_UNSET_VALUE, ON_UNSET_VALUE);
            edgeEndPoint(edge, end, p);
            edge.m_vi[end] = NewVertex(p).m_vertex_index;
            appendUnique(m_V[edge.m_vi[end]].m_ei, ei);
        }
    }
}

namespace {

// Twice the signed area that a loop's trims enclose in the parameter plane,
// from a polygon through points along each trim.
double loopTurning(const ON_Brep& brep, const ON_BrepLoop& loop)
{
    constexpr int samples = 16;
    double area = 0.0;
    ON_3dPoint previous;
    bool havePrevious = false, haveFirst = false;
    ON_3dPoint first;
    for (int ti : loop.m_ti) {
        const ON_BrepTrim* trim = brep.m_T.At(ti);
        if (!trim || !trim->ProxyCurve())
            continue;
        const ON_Interval d = trim->Domain();
        for (int k = 0; k <= samples; ++k) {
            ON_3dPoint p;
            if (!trim->EvPoint(d.ParameterAt(double(k) / samples), p))
                continue;
            if (havePrevious)
                area += previous.x * p.y - p.x * previous.y;
            if (!haveFirst) {
                first = p;
                haveFirst = true;
            }
            previous = p;
            havePrevious = true;
        }
    }
    if (haveFirst)
        area += previous.x * first.y - first.x * previous.y;
    return area;
}

} // namespace

bool ON_Brep::SetTolerancesBoxesAndFlags(bool bLazy, bool bSetVertexTolerances, bool, bool, bool,
                                         bool bSetTrimTypeFlags, bool bSetLoopTypeFlags,
                                         bool bSetTrimBoxes)
{
    if (bSetVertexTolerances) {
        for (int vi = 0; vi < m_V.Count(); ++vi) {
            ON_BrepVertex& v = m_V[vi];
            if (bLazy && v.m_tolerance != ON_UNSET_VALUE)
                continue;
            double tolerance = 0.0;
            for (int ei : v.m_ei) {
                const ON_BrepEdge* edge = m_E.At(ei);
                for (int end = 0; edge && end < 2; ++end) {
                    ON_3dPoint p;
                    if (edge->m_vi[end] == vi && edgeEndPoint(*edge, end, p))
                        tolerance = std::max(tolerance, p.DistanceTo(v.point));
                }
            }
            v.m_tolerance = tolerance;
        }
    }
    if (bSetTrimTypeFlags) {
        for (int ti = 0; ti < m_T.Count(); ++ti) {
            ON_BrepTrim& trim = m_T[ti];
            const ON_BrepEdge* edge = m_E.At(trim.m_ei);
            if (trim.m_type == ON_BrepTrim::unknown && edge)
                trim.m_type = edge->TrimCount() > 1 ? ON_BrepTrim::mated : ON_BrepTrim::boundary;
        }
    }
    if (bSetLoopTypeFlags) {
        for (int li = 0; li < m_L.Count(); ++li) {
            ON_BrepLoop& loop = m_L[li];
            if (loop.m_type == ON_BrepLoop::unknown)
                loop.m_type =
                    loopTurning(*this, loop) > 0.0 ? ON_BrepLoop::outer : ON_BrepLoop::inner;
        }
    }
    if (bSetTrimBoxes) {
        for (int ti = 0; ti < m_T.Count(); ++ti) {
            ON_BrepTrim& trim = m_T[ti];
            trim.m_pbox = trim.BoundingBox();
            trim.m_pbox.m_min.z = trim.m_pbox.m_max.z = 0.0;
        }
        for (int li = 0; li < m_L.Count(); ++li) {
            ON_BrepLoop& loop = m_L[li];
            loop.m_pbox = ON_BoundingBox();
            for (int ti : loop.m_ti)
                if (const ON_BrepTrim* trim = m_T.At(ti))
                    loop.m_pbox.Union(trim->m_pbox);
        }
    }
    return true;
}

// ---------------------------------------------------------------- validity

namespace {

// Reports the first failed rule.
class Report {
public:
    explicit Report(ON_TextLog* log) : m_log(log) {}
    bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (m_log) {
            char text[512];
            va_list args;
            va_start(args, format);
            std::vsnprintf(text, sizeof text, format, args);
            va_end(args);
            m_log->Print("ON_Brep is not valid: %s\n", text);
        }
        return false;
    }

private:
    ON_TextLog* m_log;
};

bool indicesAreConsistent(const ON_Brep& b, Report& report)
{
    for (int i = 0; i < b.m_V.Count(); ++i) {
        if (b.m_V[i].m_vertex_index != i)
            return report.fail("m_V[%d].m_vertex_index is %d.", i, b.m_V[i].m_vertex_index);
        for (int ei : b.m_V[i].m_ei)
            if (!b.m_E.At(ei))
                return report.fail("m_V[%d] names edge %d of %d.", i, ei, b.m_E.Count());
    }
    for (int i = 0; i < b.m_F.Count(); ++i) {
        const ON_BrepFace& f = b.m_F[i];
        if (f.m_face_index != i)
            return report.fail("m_F[%d].m_face_index is %d.", i, f.m_face_index);
        const ON_Surface* s = f.SurfaceOf();
        if (!s)
            return report.fail("m_F[%d] names surface %d of %d.", i, f.m_si, b.m_S.Count());
        if (f.ProxySurface() != s)
            return report.fail("m_F[%d] does not evaluate m_S[%d].", i, f.m_si);
        if (!s->IsValid())
            return report.fail("m_S[%d] of m_F[%d] is not a valid surface.", f.m_si, i);
        for (int li : f.m_li) {
            const ON_BrepLoop* l = b.m_L.At(li);
            if (!l || l->m_fi != i)
                return report.fail("m_F[%d] names loop %d, which is missing or of another face.", i,
                                   li);
        }
    }
    for (int i = 0; i < b.m_L.Count(); ++i) {
        const ON_BrepLoop& l = b.m_L[i];
        if (l.m_loop_index != i)
            return report.fail("m_L[%d].m_loop_index is %d.", i, l.m_loop_index);
        const ON_BrepFace* f = b.m_F.At(l.m_fi);
        if (!f || std::find(f->m_li.begin(), f->m_li.end(), i) == f->m_li.end())
            return report.fail("m_L[%d] names face %d, which does not list it.", i, l.m_fi);
        if (l.TrimCount() == 0)
            return report.fail("m_L[%d] has no trims.", i);
        for (int ti : l.m_ti) {
            const ON_BrepTrim* t = b.m_T.At(ti);
            if (!t || t->m_li != i)
                return report.fail("m_L[%d] names trim %d, which is missing or of another loop.", i,
                                   ti);
        }
    }
    for (int i = 0; i < b.m_T.Count(); ++i) {
        const ON_BrepTrim& t = b.m_T[i];
        if (t.m_trim_index != i)
            return report.fail("m_T[%d].m_trim_index is %d.", i, t.m_trim_index);
        const ON_BrepLoop* l = b.m_L.At(t.m_li);
        if (!l || std::find(l->m_ti.begin(), l->m_ti.end(), i) == l->m_ti.end())
            return report.fail("m_T[%d] names loop %d, which does not list it.", i, t.m_li);
        const ON_Curve* c = t.TrimCurveOf();
        if (!c)
            return report.fail("m_T[%d] names trim curve %d of %d.", i, t.m_c2i, b.m_C2.Count());
        if (t.ProxyCurve() != c || !t.ON_CurveProxy::IsValid())
            return report.fail("m_T[%d] does not evaluate a valid m_C2[%d].", i, t.m_c2i);
        if (t.m_ei >= 0 && !b.m_E.At(t.m_ei))
            return report.fail("m_T[%d] names edge %d of %d.", i, t.m_ei, b.m_E.Count());
        const ON_BrepEdge* e = b.m_E.At(t.m_ei);
        if (e && std::find(e->m_ti.begin(), e->m_ti.end(), i) == e->m_ti.end())
            return report.fail("m_T[%d] names edge %d, which does not list it.", i, t.m_ei);
        for (int end = 0; end < 2; ++end)
            if (t.m_vi[end] >= 0 && !b.m_V.At(t.m_vi[end]))
                return report.fail("m_T[%d] names vertex %d of %d.", i, t.m_vi[end], b.m_V.Count());
    }
    for (int i = 0; i < b.m_E.Count(); ++i) {
        const ON_BrepEdge& e = b.m_E[i];
        if (e.m_edge_index != i)
            return report.fail("m_E[%d].m_edge_index is %d.", i, e.m_edge_index);
        if (e.m_c3i >= 0 && !e.EdgeCurveOf())
            return report.fail("m_E[%d] names edge curve %d of %d.", i, e.m_c3i, b.m_C3.Count());
        if (e.EdgeCurveOf() && (e.ProxyCurve() != e.EdgeCurveOf() || !e.ON_CurveProxy::IsValid()))
            return report.fail("m_E[%d] does not evaluate a valid m_C3[%d].", i, e.m_c3i);
        for (int ti : e.m_ti) {
            const ON_BrepTrim* t = b.m_T.At(ti);
            if (!t || t->m_ei != i)
                return report.fail("m_E[%d] names trim %d, which is missing or of another edge.", i,
                                   ti);
        }
        for (int end = 0; end < 2; ++end)
            if (e.m_vi[end] >= 0 && !b.m_V.At(e.m_vi[end]))
                return report.fail("m_E[%d] names vertex %d of %d.", i, e.m_vi[end], b.m_V.Count());
    }
    return true;
}

bool loopsAreOrdered(const ON_Brep& b, Report& report)
{
    for (int i = 0; i < b.m_F.Count(); ++i) {
        const ON_BrepFace& f = b.m_F[i];
        if (f.LoopCount() == 0)
            return report.fail("m_F[%d] has no loops.", i);
        for (int k = 0; k < f.LoopCount(); ++k) {
            const ON_BrepLoop::TYPE expected = k == 0 ? ON_BrepLoop::outer : ON_BrepLoop::inner;
            if (f.Loop(k)->m_type != expected)
                return report.fail("loop %d of m_F[%d] (m_L[%d]) is not %s.", k, i, f.m_li[k],
                                   k == 0 ? "outer" : "inner");
        }
    }
    return true;
}

bool loopsAreClosed(const ON_Brep& b, Report& report)
{
    for (int i = 0; i < b.m_L.Count(); ++i) {
        const ON_BrepLoop& l = b.m_L[i];
        const ON_Surface* s = l.Face()->SurfaceOf();
        const double size =
            std::max(std::fabs(s->Domain(0).Length()), std::fabs(s->Domain(1).Length()));
        const double tolerance = 1e-6 * size;
        const int n = l.TrimCount();
        for (int k = 0; k < n; ++k) {
            const ON_BrepTrim* a = l.Trim(k);
            const ON_BrepTrim* c = l.Trim((k + 1) % n);
            ON_3dPoint end, start;
            if (!trimEndUV(*a, 1, end) || !trimEndUV(*c, 0, start))
                return report.fail("a trim of m_L[%d] cannot be evaluated.", i);
            const double gap = std::hypot(end.x - start.x, end.y - start.y);
            if (!(gap <= tolerance))
                return report.fail("m_L[%d] of m_F[%d] is open: m_T[%d] ends at (%g, %g) but "
                                   "m_T[%d] starts at (%g, %g), %g apart (allowed %g).",
                                   i, l.m_fi, a->m_trim_index, end.x, end.y, c->m_trim_index,
                                   start.x, start.y, gap, tolerance);
        }
    }
    return true;
}

bool trimsHaveEdges(const ON_Brep& b, Report& report)
{
    for (int i = 0; i < b.m_T.Count(); ++i) {
        const ON_BrepEdge* e = b.m_T[i].Edge();
        if (!e)
            return report.fail("m_T[%d] has no edge.", i);
        if (!e->EdgeCurveOf())
            return report.fail("m_E[%d] of m_T[%d] has no 3-D curve.", e->m_edge_index, i);
    }
    return true;
}

bool edgesLieOnSurfaces(const ON_Brep& b, Report& report)
{
    for (int i = 0; i < b.m_T.Count(); ++i) {
        const ON_BrepTrim& t = b.m_T[i];
        const ON_BrepEdge& e = *t.Edge();
        const ON_Surface* s = t.SurfaceOf();
        for (int end = 0; end < 2; ++end) {
            ON_3dPoint uv, onSurface, onEdge;
            const int edgeEnd = t.m_bRev3d ? 1 - end : end;
            if (!trimEndUV(t, end, uv) || !s->EvPoint(uv.x, uv.y, onSurface) ||
                !edgeEndPoint(e, edgeEnd, onEdge))
                return report.fail("m_T[%d] or its edge cannot be evaluated at its ends.", i);
            const double scale =
                std::max({1.0, std::fabs(onEdge.x), std::fabs(onEdge.y), std::fabs(onEdge.z)});
            const double set =
                e.m_tolerance != ON_UNSET_VALUE && e.m_tolerance > 0.0 ? e.m_tolerance : 0.0;
            const double tolerance = std::max(set, 1e-9 * scale);
            const double distance = onEdge.DistanceTo(onSurface);
            if (!(distance <= tolerance))
                return report.fail("the %s of m_E[%d] is %g from the surface at the %s of "
                                   "m_T[%d] (tolerance %g).",
                                   edgeEnd == 0 ? "start" : "end", e.m_edge_index, distance,
                                   end == 0 ? "start" : "end", i, tolerance);
        }
    }
    return true;
}

} // namespace

bool ON_Brep::IsValid(ON_TextLog* textLog) const
{
    Report report(textLog);
    return indicesAreConsistent(*this, report) && loopsAreOrdered(*this, report) &&
           loopsAreClosed(*this, report) && trimsHaveEdges(*this, report) &&
           edgesLieOnSurfaces(*this, report);
}

bool ON_Brep::GetBBox(double* boxmin, double* boxmax, bool bGrowBox) const
{
    ON_BoundingBox box;
    for (int i = 0; i < m_F.Count(); ++i)
        if (const ON_Surface* s = m_F[i].SurfaceOf())
            box.Union(s->BoundingBox());
    for (int i = 0; i < m_E.Count(); ++i)
        box.Union(m_E[i].BoundingBox());
    for (int i = 0; i < m_V.Count(); ++i)
        box.Set(m_V[i].point, true);
    return OnSubset::storeBox(box, boxmin, boxmax, bGrowBox);
}

bool ON_Brep::Transform(const ON_Xform& xform)
{
    for (ON_Curve* c : m_C3)
        if (c && !c->Transform(xform))
            return false;
    for (ON_Surface* s : m_S)
        if (s && !s->Transform(xform))
            return false;
    for (int i = 0; i < m_V.Count(); ++i)
        m_V[i].point = xform * m_V[i].point;
    return true;
}
