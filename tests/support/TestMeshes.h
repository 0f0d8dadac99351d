// Test helper: small analytic meshes (grids, spheres, a cube) given as
// points and polygons, poured into a flat mesh or a triangle mesh, and the
// location of the real mesh files; owned curve lists and the capture of the
// standard output.
//
// Ownership: a soup is a plain value; the fill functions add to the caller's
// mesh. Thread-safety: plain values.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Vector.h"
#include "geometry/NurbsSurf.h"
#include "mesh/FlatMesh.h"
#include "mesh/TriangleMesh.h"

#include <functional>
#include <string>
#include <vector>

namespace mwtest {

struct MeshSoup {
    std::vector<double> xyz;              // 3 per point
    std::vector<std::vector<int>> facets; // point indices, counter-clockwise seen from outside

    int addPoint(double x, double y, double z);
    int pointCount() const { return int(xyz.size() / 3); }
};

// nx x ny cells of sx x sy in the plane z = 0 starting at (x0, y0), normals
// +z; with triangles each cell is split along its diagonal from (i, j) to
// (i + 1, j + 1).
MeshSoup gridSoup(int nx, int ny, double sx, double sy, bool triangles, double x0 = 0.0,
                  double y0 = 0.0);
// A closed sphere of radius r around (cx, cy, cz): `rings` latitude rows of
// `around` facets (triangles at the poles, quads between), normals outwards.
MeshSoup sphereSoup(double r, int around, int rings, double cx = 0.0, double cy = 0.0,
                    double cz = 0.0);
// The closed cube [0, s]^3 as six quads, normals outwards.
MeshSoup cubeSoup(double s);
// A scanned-like patch over [-1, 1]^2, normals +z: n x n cells of uneven
// widths (0.6 to 1.4 of the mean), inner vertices moved by up to 0.3 of a
// cell in x and y, each cell cut along a random diagonal, heights on a bumpy
// surface (two waves, 0.12 and 0.04 high) with +-0.002 of noise. The same
// seed gives the same mesh on every machine.
MeshSoup scannedSoup(int n, unsigned seed);

// One smooth shape tessellated at a given facet size (the length of a
// facet's sides, about), so that meshes of one shape from coarse to fine
// can be compared: "bump", a Gaussian hill 20 high over [0, 100]^2 (a
// diagonal of 143, which the main job fits at 0.25), as triangles of a
// regular grid; "ellipsoid", semi-axes 60, 40 and 25 around the origin
// (a diagonal of 153, fitted at 0.25), as latitude rows of quads and
// triangles; "arch", a sheet over [0, 24]^2 bent along y into an arch 3
// high over the 20 from y = 2 to 22 (a diagonal of 34, fitted at 0.05),
// as triangles of a regular grid; "wave", a plate of 100 x 70 waving 5.5 up
// and down (fitted at 0.25), and "steps", a sheet of 100 x 70 with a step of
// 1 across y = 35 (4 tolerances), both as triangles of a regular grid;
// "eggcrate", 5 sin(pi x / 25) sin(pi y / 25) over [0, 100]^2, and
// "saddle", ((x - 50)^2 - (y - 50)^2) / 200 there, as triangles of a
// regular grid (fitted at 0.25); "sphere", radius 50 (fitted at 0.25). With
// scale, every coordinate is multiplied by it (a model in metres). Empty for
// another name or a size that is not positive.
MeshSoup shapeSoup(const std::string& name, double facetSize, double scale = 1.0);

// Every point and polygon into the flat mesh (indices shifted past its
// existing vertices), then its box.
void fillFlatMesh(const MeshSoup& soup, CFlatMesh& mesh);
// Every polygon into the triangle mesh (quads split), then vertex normals.
void fillTriangleMesh(const MeshSoup& soup, Mesh::CTriangleMesh& mesh);

// The path of a real mesh file under ../shared/realdata (or under the folder
// the environment variable MW_REALDATA_DIR names), or "" when it is absent
// outside CI; under CI its absence fails the test.
std::string realDataFile(const std::string& folder, const std::string& name);

// A list of curves that deletes them when it goes.
struct OwnedCurves {
    Kor::List<Fenwo::NurbsSurf*> list;
    OwnedCurves() = default;
    explicit OwnedCurves(Kor::List<Fenwo::NurbsSurf*>&& l) : list(std::move(l)) {}
    ~OwnedCurves() { list.deleteAll(); }
    int count() const { return list.count; }
    Fenwo::NurbsSurf& operator[](int i) { return *list.data[i]; }
};

// Control point i of a curve (-1: the last), in space.
Vector controlPoint(Fenwo::NurbsSurf& curve, int i);

// What run writes to the standard output.
std::string capturedStdout(const std::function<void()>& run);

// Reads an STL file into mesh without its messages and makes it ready for
// hits: its bounding box and a facet hash of the given cell count.
bool readHashedMesh(CFlatMesh& mesh, const std::string& path, double hashCells = 10.0);

} // namespace mwtest

// Skips the current test when the real data folder is absent (outside CI).
#define MW_REQUIRE_REAL_FILE(var, folder, name)                                                    \
    const std::string var = mwtest::realDataFile(folder, name);                                    \
    if (var.empty())                                                                               \
        GTEST_SKIP() << "no real data for " << name;
