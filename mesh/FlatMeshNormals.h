#pragma once
// Vertex normal fitting and the polygon normal estimate of the flat mesh.
//
// CFitPointsToVertexNormals finds, for every vertex of a CFlatMesh with
// derived data, a signed distance along its own vertex normal such that the
// normal implied by the moved neighbouring corners agrees with the vertex
// normal; the result is added to the vertices' displacement records (the
// coordinates are not moved). CEstimatePolygonNormal estimates the unit
// normal of a closed polygon of points. CFlatMesh::relaxVertices (declared
// with the mesh) smooths the vertex normals and can run the fit.
//
// Ownership: the fit views its mesh (not owned; it must outlive the fit) and
// owns its legs and scratch values. The estimate owns its points.
// Thread-safety: none; a fit works on its mesh's derived records.

#include "foundation/ConjugateGradient.h"
#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "foundation/Vertex.h"
#include "mesh/FlatMesh.h"
#include "mesh/MeshVertex.h"

#include <vector>

class CFitPointsToVertexNormals : public CConjugateGradient {
public:
    // Builds the legs of every vertex, minimises at once (at most
    // maxIterations conjugate-gradient iterations; 0 means 5 per unknown) and
    // adds x_i times the vertex normal to the displacement of every vertex.
    // Nothing is done (solved() false) when the mesh has no derived data.
    CFitPointsToVertexNormals(CFlatMesh& mesh, int maxIterations);
    ~CFitPointsToVertexNormals() override;

    // Prints "f=" and the current objective value.
    void onIteration(const Vector& x, Vector& p) override;
    // The objective at x + t d: the sum over the vertices of the squared
    // tangential part of the normal implied by the moved corners around each
    // vertex (scaled by twice the area around it). With mode 1 the gradient
    // there goes to gradient; its entries of boundary vertices are 0.
    double evaluate(int mode, Vector& gradient, const Vector& x, double t,
                    const Vector& d) override;

    // True when the minimisation ran.
    bool solved() const { return m_solved; }
    // The unknowns: the signed distance of every vertex along its normal.
    const Vector& distances() const { return x; }
    // The objective value the minimisation ended with.
    double finalObjective() const { return m_finalObjective; }
    // True for a vertex whose edge list holds a boundary edge.
    bool isBoundaryVertex(int i) const { return i >= 0 && i < n && m_boundary[i] != 0; }

private:
    CFlatMesh& mesh;
    int n = 0; // the number of vertex records
    Vector x;  // one signed distance per vertex
    // The legs of vertex i are legs[legStart[i] .. legStart[i + 1]); legs
    // whose previous corner was not found keep -1 there and are skipped.
    std::vector<CFlatMesh::CPolygonLeg> legs;
    std::vector<int> legStart;
    std::vector<double> m_positions; // 3 per vertex
    std::vector<double> m_normals;   // 3 per vertex
    std::vector<double> m_scale;     // 1 / max(2 A_i, 2.2e-16) per vertex
    std::vector<char> m_boundary;    // 1 for a boundary vertex
    std::vector<double> m_moved;     // scratch: 3 per vertex, the moved positions
    std::vector<double> m_residual;  // scratch: 3 per vertex, r_i
    bool m_solved = false;
    double m_finalObjective = 0.0;

    void buildLegs();
};

class CEstimatePolygonNormal {
public:
    using Point = CVertex<float, 3>;
    using Direction = CVector<float, 3>;

    CEstimatePolygonNormal() = default;
    CEstimatePolygonNormal(const CEstimatePolygonNormal&) = delete;
    CEstimatePolygonNormal& operator=(const CEstimatePolygonNormal&) = delete;
    virtual ~CEstimatePolygonNormal() = default;

    // Sets normal to the unit normal of the closed polygon points[0 .. count)
    // from the turns at its odd corners (1, 3, 5, ...). False for fewer than
    // 3 points or a polygon without a usable normal (collinear or coincident
    // corners, non-finite coordinates); normal is then the zero vector.
    bool estimate(const Point* points, int count);
    bool estimate(const Kor::List<Point>& points);

    Direction normal; // the result of the last estimate
};
