#pragma once
// CSimpleVertex3f / CSimpleVector3f: points and directions of three floats
// that live elsewhere (the coordinate blocks of a flat mesh, its normal
// arrays). They are the items of the vertex-merging hash and the per-vertex
// views of the flat mesh's derived data.
//
// Ownership: a simple vertex never owns its coordinates and frees nothing;
// the storage it views must outlive it. An empty one views nothing (null
// data) and must be pointed at storage with view() before it is read.
// Thread-safety: plain views; no locking.

#include "foundation/Vertex.h"

class CSimpleVertex3f : public CVertex<float, 3> {
public:
    CSimpleVertex3f() : CVertex<float, 3>(nullptr, VertexStorage::View) {}
    explicit CSimpleVertex3f(float* storage) : CVertex<float, 3>(storage, VertexStorage::View) {}
    // A second view of the other point's storage.
    CSimpleVertex3f(const CVertex<float, 3>& other)
        : CVertex<float, 3>(other.data, VertexStorage::View)
    {
    }
    CSimpleVertex3f(const CSimpleVertex3f& other)
        : CVertex<float, 3>(other.data, VertexStorage::View)
    {
    }
    // Assignment copies coordinates into the viewed storage (as for CVertex).
    CSimpleVertex3f& operator=(const CSimpleVertex3f& other)
    {
        CVertex<float, 3>::operator=(other);
        return *this;
    }
    ~CSimpleVertex3f() override = default;

    // Views three other floats.
    void view(float* storage)
    {
        data = storage;
        ownsData = false;
    }
};

class CSimpleVector3f : public CVector<float, 3> {
public:
    CSimpleVector3f() : CVector<float, 3>(nullptr, VertexStorage::View) {}
    explicit CSimpleVector3f(float* storage) : CVector<float, 3>(storage, VertexStorage::View) {}
    CSimpleVector3f(const CVertex<float, 3>& other)
        : CVector<float, 3>(other.data, VertexStorage::View)
    {
    }
    CSimpleVector3f(const CSimpleVector3f& other)
        : CVector<float, 3>(other.data, VertexStorage::View)
    {
    }
    CSimpleVector3f& operator=(const CSimpleVector3f& other)
    {
        CVertex<float, 3>::operator=(other);
        return *this;
    }
    ~CSimpleVector3f() override = default;

    void view(float* storage)
    {
        data = storage;
        ownsData = false;
    }
};
