// The system's command-line program. Until the headless host and the mesh
// road exist it reports which parts of the mesh-to-surface road are built.
#include <cstdio>

int main(int, char**)
{
    std::printf(
        "Meshwright: mesh to NURBS surface reverse engineering.\n"
        "\n"
        "Built so far (the numeric core under the surface fitting):\n"
        "  - containers, dense vectors, dense matrices (Householder QR, LDLt, LLt),\n"
        "    sparse least-squares CG, Gauss-Newton and conjugate-gradient optimisers;\n"
        "  - fit-point records, statistics, planar geometry and ear-clipping triangulation;\n"
        "  - knot vectors, geometry objects and their registry, the geometry text format;\n"
        "  - rational NURBS surfaces and curves: evaluation, point inversion, knot\n"
        "    insertion and removal, fitting constraints, their null space and the\n"
        "    Jacobian of the Newton fit.\n"
        "\n"
        "Not built yet: curves on surfaces, mesh reading, the surface net, the surface\n"
        "fitting driver, healing and the host commands. No mesh can be fitted yet.\n");
    return 0;
}
