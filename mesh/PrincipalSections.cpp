#include "mesh/PrincipalSections.h"

#include "curves/PlaneFit.h"
#include "mesh/MeshBoundaryCurves.h"
#include "mesh/MeshGeometry.h"
#include "mesh/PlaneSection.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

namespace {

using Point = CVertex<float, 3>;

// The indices of the vertices the mesh's facets use, ascending; all stored
// vertices for a mesh without facets. Corners of a mesh that does not index
// them are read as points into extra.
std::vector<int> usedVertices(Mesh::CBaseMesh* mesh, std::vector<Point>& extra)
{
    std::vector<int> used;
    const int facets = mesh->getFacetCount();
    const int stored = std::max(mesh->getVertexCount(true), 0);
    if (facets <= 0) {
        for (int v = 0; v < stored; ++v)
            used.push_back(v);
        return used;
    }
    std::vector<char> marked(std::size_t(stored), 0);
    for (int f = 0; f < facets; ++f) {
        const int size = mesh->getFacetSize(f);
        for (int k = 0; k < size; ++k) {
            const int v = mesh->getPolygonVertexIndex(f, k);
            if (v >= 0) {
                if (std::size_t(v) >= marked.size())
                    marked.resize(std::size_t(v) + 1, 0);
                marked[std::size_t(v)] = 1;
            } else {
                Point p;
                if (mesh->getFacetCorner(f, k, p))
                    extra.push_back(p);
            }
        }
    }
    for (std::size_t v = 0; v < marked.size(); ++v)
        if (marked[v] != 0)
            used.push_back(int(v));
    return used;
}

// Calls visit(point) for every vertex the facets use.
template <class Visit> int forEachUsedVertex(Mesh::CBaseMesh* mesh, Visit visit)
{
    std::vector<Point> extra;
    const std::vector<int> used = usedVertices(mesh, extra);
    Point p;
    int n = 0;
    for (int v : used)
        if (mesh->getVertex(v, p)) {
            visit(p);
            ++n;
        }
    for (const Point& q : extra) {
        visit(q);
        ++n;
    }
    return n;
}

void widen(Interval& interval, double h, bool first)
{
    if (first) {
        interval.min = interval.max = h;
        interval.valid = true;
        return;
    }
    interval.min = std::min(interval.min, h);
    interval.max = std::max(interval.max, h);
}

} // namespace

void principalFrame(const double* xyz, int count, double centre[3], double minor[3],
                    double major[3])
{
    for (int c = 0; c < 3; ++c)
        centre[c] = 0.0;
    if (xyz == nullptr || count < 2)
        return;
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 3; ++c)
            centre[c] += xyz[3 * i + c];
    for (int c = 0; c < 3; ++c)
        centre[c] /= double(count);
    double S[3][3] = {};
    for (int i = 0; i < count; ++i) {
        double d[3];
        for (int c = 0; c < 3; ++c)
            d[c] = xyz[3 * i + c] - centre[c];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                S[r][c] += d[r] * d[c];
    }
    // Scaled to unit trace: the solver's stopping threshold is absolute.
    const double trace = S[0][0] + S[1][1] + S[2][2];
    if (!(trace > 0.0) || !std::isfinite(trace))
        return;
    for (auto& row : S)
        for (double& value : row)
            value /= trace;
    double lambda[3], V[3][3];
    symmetricEigen3(S, lambda, V);
    for (int c = 0; c < 3; ++c) {
        minor[c] = V[c][0];
        major[c] = V[c][2];
    }
}

bool meshPrincipalAxes(Mesh::CBaseMesh* mesh, CVertex<float, 3>& centre, CVector<float, 3>& minor,
                       CVector<float, 3>& major, bool boundaryOnly)
{
    if (mesh == nullptr)
        return false;
    std::vector<double> xyz;
    auto add = [&](const Point& p) { xyz.insert(xyz.end(), {p.data[0], p.data[1], p.data[2]}); };
    if (boundaryOnly) {
        if (mesh->edges.count == 0)
            mesh->buildTopology();
        std::vector<int> ends;
        for (const Mesh::CBaseMesh::CPolygonEdge& e : mesh->edges)
            if (e.facet1 != -1 && e.facet2 == -1) {
                ends.push_back(e.vertex0);
                ends.push_back(e.vertex1);
            }
        std::sort(ends.begin(), ends.end());
        ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
        Point p;
        for (int v : ends)
            if (mesh->getVertex(v, p))
                add(p);
    } else {
        forEachUsedVertex(mesh, add);
    }
    const int count = int(xyz.size() / 3);
    double c[3], lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
        lo[k] = minor.data[k];
        hi[k] = major.data[k];
    }
    principalFrame(xyz.data(), count, c, lo, hi);
    for (int k = 0; k < 3; ++k) {
        centre.data[k] = float(c[k]);
        minor.data[k] = float(lo[k]);
        major.data[k] = float(hi[k]);
    }
    return count >= 3;
}

bool meshExtentAlongAxes(Mesh::CBaseMesh* mesh, const CVertex<float, 3>& origin,
                         const CVector<float, 3>& a1, const CVector<float, 3>& a2,
                         const CVector<float, 3>& a3, Interval& i1, Interval& i2, Interval& i3)
{
    Interval* intervals[3] = {&i1, &i2, &i3};
    const CVector<float, 3>* axes[3] = {&a1, &a2, &a3};
    for (Interval* interval : intervals) {
        *interval = Interval();
        interval->valid = false;
    }
    if (mesh == nullptr)
        return false;
    bool first = true;
    const int n = forEachUsedVertex(mesh, [&](const Point& p) {
        for (int k = 0; k < 3; ++k)
            widen(*intervals[k], MeshFunctions::heightAlong(p, origin, *axes[k]), first);
        first = false;
    });
    return n > 0;
}

bool meshPrincipalSections(Mesh::CBaseMesh* mesh, Kor::List<Fenwo::NurbsSurf*>& curves, int n,
                           bool withBoundary)
{
    CVertex<float, 3> centre;
    CVector<float, 3> minor, major;
    if (!meshPrincipalAxes(mesh, centre, minor, major, true) &&
        !meshPrincipalAxes(mesh, centre, minor, major, false))
        return false;
    CVector<float, 3> middle;
    crossProductInto(major, minor, middle);
    normalize(middle);
    Interval alongMajor, alongMiddle, alongMinor;
    if (!meshExtentAlongAxes(mesh, centre, major, middle, minor, alongMajor, alongMiddle,
                             alongMinor))
        return false;
    const bool majorDrawn = MeshFunctions::meshPlaneSectionWithin(
        mesh, centre, major, n + 2, alongMajor, curves, kMostSectionPieces);
    const bool middleDrawn = MeshFunctions::meshPlaneSectionWithin(
        mesh, centre, middle, n + 2, alongMiddle, curves, kMostSectionPieces);
    if (!majorDrawn || !middleDrawn) {
        const char* axes = "major and middle axes";
        if (majorDrawn)
            axes = "middle axis";
        else if (middleDrawn)
            axes = "major axis";
        std::cout << "the mesh's sections along its " << axes << " break into more than "
                  << kMostSectionPieces << " pieces: they are left out of its outline."
                  << std::endl;
    }
    if (withBoundary)
        meshBoundaryToCurvesWithin(mesh, curves, kMostSectionPieces);
    return curves.count > 0;
}
