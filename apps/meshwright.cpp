// The system's command-line program. Until the headless host and the mesh
// road exist it reports which parts of the mesh-to-surface road are built.
#include "mesh/TriangleMesh.h"

#include <cstdio>

int main(int, char**)
{
    // Both smoothing operations of the triangle mesh run once at start-up,
    // on empty meshes; they change nothing.
    Mesh::CTriangleMesh().zMoveSmooth();
    Mesh::CTriangleMesh().umbrellaSmooth(1);

    std::printf(
        "Meshwright: mesh to NURBS surface reverse engineering.\n"
        "\n"
        "Built so far:\n"
        "  - the numeric core: containers, dense and sparse solvers, optimisers;\n"
        "  - knot vectors and rational NURBS surfaces and curves: evaluation, point\n"
        "    inversion, knot refinement, fitting constraints and the Newton fit;\n"
        "  - curve algorithms: interpolation, poly-line to NURBS, joins, projections;\n"
        "  - meshes: STL, POL, VRML, Nastran and AutoForm readers, topology, ray hits\n"
        "    and projection onto the mesh, plane and principal sections, boundary\n"
        "    curves, smoothing, offset and dual meshes; an offscreen OpenGL context.\n"
        "\n"
        "Not built yet: the surface net, the per-face fitting driver, healing and the\n"
        "host commands. No mesh can be fitted yet.\n");
    return 0;
}
