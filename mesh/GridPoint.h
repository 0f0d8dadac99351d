#pragma once
// Gridbench::CGridPoint: one point of the grid of poly-lines sketched on the
// mesh, made from a hit on the mesh (its point, facet and mesh normal) and
// numbered from a process-wide serial counter; the serial is the corner id
// of the net's topology. It carries two direction vectors with their flags,
// the use count (how many poly-line entries refer to it; above 1 the point
// is a junction), the changed mark and the saved index of the net text.
// Also nearestMeshPoint, which places a grid point on the mesh.
//
// Ownership: a grid point owns its vectors; copies are deep.
// Thread-safety: the serial counter is atomic, so grid points may be made on
// any thread; a grid point itself is a plain value.

#include "foundation/Vertex.h"
#include "mesh/BaseMesh.h"

#include <atomic>

namespace Gridbench {

class CGridPoint : public Mesh::CBaseMesh::CBaseHitInfo {
public:
    CVector<float, 3> direction1; // (0, 0, 0) at construction
    CVector<float, 3> direction2; // (0, 0, 0) at construction
    bool direction1Set = false;   // returned by getDirection1
    bool direction2Set = false;   // returned by getDirection2
    bool direction1Flag = true;   // second flag of direction 1
    bool direction2Flag = true;   // second flag of direction 2
    int useCount = 0;             // poly-line entries referring to the point
    int serial;                   // from the process-wide counter
    bool changed = true;          // a neighbouring poly-line changed
    int savedIndex = -1;          // node number in the net text; -1 until written
    int lastValue = 0;

    // A point at the origin with a zero normal and the next serial number.
    CGridPoint();
    // The same, then the hit's point, normal and facet.
    explicit CGridPoint(const Mesh::CBaseMesh::CBaseHitInfo& hit);
    // Copies every field, the serial number included: a copy stands for the
    // same corner of the net.
    CGridPoint(const CGridPoint& other) = default;
    CGridPoint& operator=(const CGridPoint& other) = default;
    ~CGridPoint() override = default;

    // Copies the direction into out and returns its set flag.
    bool getDirection1(CVector<float, 3>& out) const;
    bool getDirection2(CVector<float, 3>& out) const;
    // Stores the flag and a normalised copy of v (whatever the flag); returns
    // the stored direction.
    const CVector<float, 3>& setDirection1(const CVector<float, 3>& v, bool set);
    const CVector<float, 3>& setDirection2(const CVector<float, 3>& v, bool set);

    // The serial number the next grid point will get.
    static int peekNextSerial();

private:
    static std::atomic<int> nextSerial;
};

} // namespace Gridbench

// Places the grid point on the mesh: the hits of the mesh near the point
// (meshHitsNearPoint at 0.6 cell sizes of the facet hash, then at 1.75)
// give the point the nearest hit's position and facet, and normal the
// normal there. False, with the point and normal unchanged, for a null
// mesh, a mesh without a facet hash or no hit near the point.
bool nearestMeshPoint(Mesh::CBaseMesh* mesh, Gridbench::CGridPoint& point,
                      CVector<float, 3>& normal);
