// Boundary representations of the openNURBS subset: ON_Brep with its
// vertices, edges, trims, loops and faces, the calls that build one face by
// face, and IsValid with the layer's own rules.
//
// Ownership: the Brep owns the curves and surfaces of its tables (m_C2 for
// parameter-plane trim curves, m_C3 for edge curves, m_S) and all its
// elements. Elements refer to each other by index and to the Brep by a back
// pointer; edges, trims and faces are proxies of the table entries they
// name. Element addresses stay fixed while more elements are added, so a
// reference returned by a New... call remains usable. Copies are deep and
// rebuild all back pointers. Not thread-safe.
#pragma once

#include "platform/on/Curve.h"
#include "platform/on/Surface.h"

#include <memory>
#include <vector>

class ON_Brep;
class ON_BrepTrim;
class ON_BrepLoop;
class ON_BrepFace;

namespace OnSubset {

// The element tables of a Brep: indexable like ON_ClassArray, with elements
// that never move.
template <class T> class ElementArray {
public:
    ElementArray() = default;
    ElementArray(const ElementArray& other) { *this = other; }
    ElementArray& operator=(const ElementArray& other)
    {
        if (this != &other) {
            m_items.clear();
            for (const auto& item : other.m_items)
                m_items.push_back(std::make_unique<T>(*item));
        }
        return *this;
    }

    int Count() const { return static_cast<int>(m_items.size()); }
    T& operator[](int i) { return *m_items[static_cast<size_t>(i)]; }
    const T& operator[](int i) const { return *m_items[static_cast<size_t>(i)]; }
    T* At(int i) const
    {
        return i >= 0 && i < Count() ? m_items[static_cast<size_t>(i)].get() : nullptr;
    }
    T& AppendNew()
    {
        m_items.push_back(std::make_unique<T>());
        return *m_items.back();
    }
    void Empty() { m_items.clear(); }

private:
    std::vector<std::unique_ptr<T>> m_items;
};

} // namespace OnSubset

class ON_BrepVertex : public ON_Geometry {
public:
    int m_vertex_index = -1;
    ON_3dPoint point;
    ON_SimpleArray<int> m_ei; // edges that start or end here
    double m_tolerance = ON_UNSET_VALUE;

    const ON_3dPoint& Point() const { return point; }
    int EdgeCount() const { return m_ei.Count(); }
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;
};

// An edge: a proxy of its 3-D curve m_C3[m_c3i], used by the trims m_ti.
class ON_BrepEdge : public ON_CurveProxy {
public:
    int m_edge_index = -1;
    int m_c3i = -1;
    int m_vi[2] = {-1, -1};
    ON_SimpleArray<int> m_ti;
    double m_tolerance = ON_UNSET_VALUE;

    static ON_BrepEdge* Cast(ON_Object* object) { return dynamic_cast<ON_BrepEdge*>(object); }
    static const ON_BrepEdge* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_BrepEdge*>(object);
    }

    ON_Brep* Brep() const { return m_brep; }
    int TrimCount() const { return m_ti.Count(); }
    // Null when the index or the trim it names is missing.
    ON_BrepTrim* Trim(int i) const;
    ON_BrepVertex* Vertex(int end) const;
    const ON_Curve* EdgeCurveOf() const;

private:
    friend class ON_Brep;
    ON_Brep* m_brep = nullptr;
};

// A trim: a proxy of its parameter-plane curve m_C2[m_c2i] on the surface of
// its loop's face; m_bRev3d tells that it runs against its edge.
class ON_BrepTrim : public ON_CurveProxy {
public:
    enum TYPE {
        unknown = 0,
        boundary = 1,
        mated = 2,
        seam = 3,
        singular = 4,
        crvonsrf = 5,
        ptonsrf = 6,
        slit = 7,
    };

    int m_trim_index = -1;
    int m_c2i = -1;
    int m_ei = -1;
    int m_vi[2] = {-1, -1};
    bool m_bRev3d = false;
    TYPE m_type = unknown;
    int m_li = -1;
    double m_tolerance[2] = {ON_UNSET_VALUE, ON_UNSET_VALUE};
    ON_BoundingBox m_pbox; // in the parameter plane, z = 0

    static ON_BrepTrim* Cast(ON_Object* object) { return dynamic_cast<ON_BrepTrim*>(object); }
    static const ON_BrepTrim* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_BrepTrim*>(object);
    }

    // Each null when missing.
    ON_Brep* Brep() const { return m_brep; }
    ON_BrepLoop* Loop() const;
    ON_BrepFace* Face() const;
    ON_BrepEdge* Edge() const;
    const ON_Surface* SurfaceOf() const;
    const ON_Curve* TrimCurveOf() const;
    const ON_Curve* EdgeCurveOf() const;

private:
    friend class ON_Brep;
    ON_Brep* m_brep = nullptr;
};

class ON_BrepLoop : public ON_Geometry {
public:
    enum TYPE {
        unknown = 0,
        outer = 1,
        inner = 2,
        slit = 3,
        crvonsrf = 4,
        ptonsrf = 5,
    };

    int m_loop_index = -1;
    ON_SimpleArray<int> m_ti; // trims in order around the loop
    TYPE m_type = unknown;
    int m_fi = -1;
    ON_BoundingBox m_pbox; // in the parameter plane, z = 0

    ON_Brep* Brep() const { return m_brep; }
    ON_BrepFace* Face() const;
    int TrimCount() const { return m_ti.Count(); }
    ON_BrepTrim* Trim(int i) const;
    int Dimension() const override { return 2; }
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;

private:
    friend class ON_Brep;
    ON_Brep* m_brep = nullptr;
};

// A face: a proxy of its surface m_S[m_si], bounded by the loops m_li (the
// first the outer one).
class ON_BrepFace : public ON_SurfaceProxy {
public:
    int m_face_index = -1;
    ON_SimpleArray<int> m_li;
    int m_si = -1;
    bool m_bRev = false;

    static ON_BrepFace* Cast(ON_Object* object) { return dynamic_cast<ON_BrepFace*>(object); }
    static const ON_BrepFace* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_BrepFace*>(object);
    }

    ON_Brep* Brep() const { return m_brep; }
    int LoopCount() const { return m_li.Count(); }
    ON_BrepLoop* Loop(int l) const;
    ON_BrepLoop* OuterLoop() const { return Loop(0); }
    const ON_Surface* SurfaceOf() const;

private:
    friend class ON_Brep;
    ON_Brep* m_brep = nullptr;
};

class ON_Brep : public ON_Geometry {
public:
    ON_SimpleArray<ON_Curve*> m_C2;
    ON_SimpleArray<ON_Curve*> m_C3;
    ON_SimpleArray<ON_Surface*> m_S;
    OnSubset::ElementArray<ON_BrepVertex> m_V;
    OnSubset::ElementArray<ON_BrepEdge> m_E;
    OnSubset::ElementArray<ON_BrepTrim> m_T;
    OnSubset::ElementArray<ON_BrepLoop> m_L;
    OnSubset::ElementArray<ON_BrepFace> m_F;

    ON_Brep() = default;
    ON_Brep(const ON_Brep& other);
    ON_Brep& operator=(const ON_Brep& other);
    ~ON_Brep() override;
    // Deletes every curve, surface and element.
    void Destroy();

    static ON_Brep* Cast(ON_Object* object) { return dynamic_cast<ON_Brep*>(object); }
    static const ON_Brep* Cast(const ON_Object* object)
    {
        return dynamic_cast<const ON_Brep*>(object);
    }
    ON::object_type ObjectType() const override { return ON::brep_object; }

    // Take ownership of a curve or surface and answer its table index; -1
    // (nothing kept) for null.
    int AddSurface(ON_Surface* surface);
    int AddTrimCurve(ON_Curve* curve);
    int AddEdgeCurve(ON_Curve* curve);

    ON_BrepVertex& NewVertex(const ON_3dPoint& point, double tolerance = ON_UNSET_VALUE);
    // A face on surface m_S[si] (an index out of range is reported by IsValid).
    ON_BrepFace& NewFace(int si);
    ON_BrepLoop& NewLoop(ON_BrepLoop::TYPE type, ON_BrepFace& face);
    // An edge on m_C3[c3i] (-1: no curve yet), without vertices.
    ON_BrepEdge& NewEdge(int c3i = -1);
    // Puts the edge on m_C3[c3i], over subDomain when given; false
    // (unchanged) for an index out of range or a domain outside the curve's.
    bool SetEdgeCurve(ON_BrepEdge& edge, int c3i, const ON_Interval* subDomain = nullptr);
    // A trim of edge on m_C2[c2i] appended to loop; it takes the edge's
    // vertices (swapped when bRev3d) and type unknown.
    ON_BrepTrim& NewTrim(ON_BrepEdge& edge, bool bRev3d, ON_BrepLoop& loop, int c2i = -1);

    // Gives every trim and edge end a vertex: consecutive trims of a loop
    // share the vertex where one ends and the next starts, and edges take
    // the vertices of their trims. A new vertex lies at the edge curve's end.
    void SetVertices();
    // Sets vertex tolerances (the largest distance to the ends of their
    // edges), the types of trims and loops still unknown (boundary or mated
    // by the number of trims of the edge; outer or inner by the turning of
    // the loop) and the parameter-plane boxes of trims and loops. Edge and
    // trim tolerances stay as the caller set them. With bLazy, vertex
    // tolerances already set are kept.
    bool SetTolerancesBoxesAndFlags(bool bLazy = false, bool bSetVertexTolerances = true,
                                    bool bSetEdgeTolerances = true, bool bSetTrimTolerances = true,
                                    bool bSetTrimIsoFlags = true, bool bSetTrimTypeFlags = true,
                                    bool bSetLoopTypeFlags = true, bool bSetTrimBoxes = true);

    // The layer's rules, checked in this order; the first that fails is
    // printed to textLog:
    //  1. indices in range and references consistent both ways; every
    //     referenced curve and surface present and valid;
    //  2. every face has loops, the first outer and the others inner;
    //  3. consecutive trims of a loop meet in the parameter plane within
    //     1e-6 of the surface's domain size, and the last meets the first;
    //  4. every trim has an edge with a 3-D curve;
    //  5. the edge's ends lie within its tolerance of the surface at the
    //     trim's ends (the edge's end at the trim's start when m_bRev3d).
    bool IsValid(ON_TextLog* textLog = nullptr) const override;
    bool GetBBox(double* boxmin, double* boxmax, bool bGrowBox = false) const override;
    // Moves edge curves, surfaces and vertices; false when one refuses.
    bool Transform(const ON_Xform& xform) override;

private:
    void rebind();
    void setTrimEndVertex(ON_BrepTrim& trim, int end, int vi);
    int vertexAtTrimEnd(const ON_BrepTrim& trim, int end);
};
