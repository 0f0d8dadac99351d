// The system's command-line program. Until the headless host exists it reports
// which parts of the mesh-to-surface road are built.
#include <cstdio>

int main(int, char**)
{
    std::printf("Meshwright: mesh to NURBS surface reverse engineering.\n"
                "Built so far: the numeric foundation (containers, dense vectors,\n"
                "parameter intervals). Mesh loading, the surface net and the\n"
                "surface fitting are not built yet.\n");
    return 0;
}
