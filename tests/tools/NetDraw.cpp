// netdraw: writes a net text of n x n regions drawn in one of the styles of
// tests/support/NetDrawings.h on a smooth spot of a mesh, for trying the
// import job on nets as users draw them (scripts/netsweep.sh).
//
//   netdraw [--jitter SHARE] [--seed N] MESH N STYLE LOOK OUT.grid [SCALE SCALED.stl]
//   netdraw --shape NAME FACET OUT.stl [SCALE]
//
// LOOK is x,y,z towards the viewer. With SCALE, the mesh is first scaled by
// that factor and written to SCALED.stl (a mesh in millimetres given in
// metres), and the net lies on the scaled mesh. With a jitter, each lattice
// point is moved by up to that share of a step each way, as a user places
// points, by a generator seeded with N (1 by default): the same seed draws
// the same net. Prints the regions the net encloses ("faces K"); exits 1
// when no smooth spot is found, 2 on bad arguments or an unreadable mesh.
// With --shape it writes a mesh of one of the shapes of mwtest::shapeSoup
// (tests/support/TestMeshes.h) at the facet size given, scaled by SCALE,
// as binary STL instead: one shape from coarse to fine, to draw nets on.
#include "support/NetDrawings.h"

#include "foundation/KorList.h"
#include "geometry/GeoObject.h"
#include "mesh/AutoFormReader.h"
#include "mesh/FlatMesh.h"
#include "mesh/NastranReader.h"
#include "mesh/StlFormat.h"
#include "mesh/VrmlReader.h"
#include "support/TestMeshes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

bool readMesh(CFlatMesh& mesh, std::string path)
{
    std::string ext = path.substr(path.find_last_of('.') + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    bool read = false;
    mwtest::capturedStdout([&] {
        if (ext == "stl")
            read = readSTL(mesh, path.c_str(), true);
        else if (ext == "pol")
            read = mesh.readPOL(path.c_str());
        else if (ext == "af")
            read = readAutoForm(mesh, path.c_str(), 0, nullptr);
        else if (ext == "nas" || ext == "bdf" || ext == "dat" || ext == "blk")
            read = readNastran(mesh, path.c_str());
        else if (ext == "wrl" || ext == "vrml") {
            Kor::List<CParametricGeometry*> curves;
            read = readVRML(mesh, path.c_str(), curves);
            curves.deleteAll();
        }
    });
    return read && mesh.getFacetCount() > 0;
}

int usage()
{
    std::fprintf(stderr, "usage: netdraw [--jitter SHARE] [--seed N] MESH N STYLE LOOK OUT.grid "
                         "[SCALE SCALED.stl]\n"
                         "       netdraw --shape bump|ellipsoid FACET OUT.stl [SCALE]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--shape") == 0) {
        if (argc != 5 && argc != 6)
            return usage();
        const double scale = argc == 6 ? std::atof(argv[5]) : 1.0;
        const mwtest::MeshSoup soup = mwtest::shapeSoup(argv[2], std::atof(argv[3]), scale);
        if (soup.facets.empty() || !(scale > 0.0))
            return usage();
        CFlatMesh mesh;
        mwtest::fillFlatMesh(soup, mesh);
        if (!mesh.writeBinarySTL(argv[4], nullptr, -1)) {
            std::fprintf(stderr, "netdraw: cannot write %s\n", argv[4]);
            return 2;
        }
        std::printf("facets %zu\n", soup.facets.size());
        return 0;
    }
    mwtest::NetSpot spot;
    while (argc >= 3 && (std::strcmp(argv[1], "--jitter") == 0 || std::strcmp(argv[1], "--seed") == 0)) {
        char* end = nullptr;
        if (std::strcmp(argv[1], "--jitter") == 0) {
            spot.jitter = std::strtod(argv[2], &end);
            if (!(spot.jitter >= 0.0 && spot.jitter <= 0.45))
                return usage();
        } else {
            const unsigned long seed = std::strtoul(argv[2], &end, 10);
            if (seed > 0xffffffffUL)
                return usage();
            spot.seed = unsigned(seed);
        }
        if (end == argv[2] || *end != '\0')
            return usage();
        argv += 2;
        argc -= 2;
    }
    if (argc != 6 && argc != 8)
        return usage();
    const int n = std::atoi(argv[2]);
    mwtest::NetStyle style;
    if (n < 1 || n > 20 || !mwtest::netStyleFromName(argv[3], style))
        return usage();
    CVector<double, 3> look;
    if (std::sscanf(argv[4], "%lf,%lf,%lf", &look.data[0], &look.data[1], &look.data[2]) != 3)
        return usage();
    CFlatMesh mesh;
    if (!readMesh(mesh, argv[1])) {
        std::fprintf(stderr, "netdraw: no facets read from %s\n", argv[1]);
        return 2;
    }
    if (argc == 8) {
        const float scale = float(std::atof(argv[6]));
        const int count = mesh.getVertexCount(true);
        for (int v = 0; v < count; ++v) {
            CFlatMesh::Point p;
            if (mesh.getVertex(v, p)) {
                for (int k = 0; k < 3; ++k)
                    p.data[k] *= scale;
                mesh.setVertex(v, p);
            }
        }
        if (!mesh.writeBinarySTL(argv[7], nullptr, -1)) {
            std::fprintf(stderr, "netdraw: cannot write %s\n", argv[7]);
            return 2;
        }
    }
    mesh.computeBoundingBox();
    mesh.buildFacetHash(10.0, -1.0, nullptr);
    if (!mwtest::findNetSpot(mesh, look, n, style, spot)) {
        std::printf("netdraw: no smooth spot for %d x %d seen from %s\n", n, n, argv[4]);
        return 1;
    }
    const std::string text = mwtest::netText(mesh, spot, n, style);
    std::ofstream out(argv[5], std::ios::binary);
    out << text;
    if (text.empty() || !out) {
        std::fprintf(stderr, "netdraw: cannot write %s\n", argv[5]);
        return 2;
    }
    std::printf("faces %d spot %g,%g size %g jitter %g seed %u\n", mwtest::netFaceCount(n, style),
                spot.centre[0], spot.centre[1], spot.size, spot.jitter, spot.seed);
    return 0;
}
