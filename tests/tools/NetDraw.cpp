// netdraw: writes a net text of n x n regions drawn in one of the styles of
// tests/support/NetDrawings.h on a smooth spot of a mesh, for trying the
// import job on nets as users draw them (scripts/netsweep.sh).
//
//   netdraw MESH N STYLE LOOK OUT.grid [SCALE SCALED.stl]
//
// LOOK is x,y,z towards the viewer. With SCALE, the mesh is first scaled by
// that factor and written to SCALED.stl (a mesh in millimetres given in
// metres), and the net lies on the scaled mesh. Prints the regions the net
// encloses ("faces K"); exits 1 when no smooth spot is found, 2 on bad
// arguments or an unreadable mesh.
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
    std::fprintf(stderr, "usage: netdraw MESH N STYLE LOOK OUT.grid [SCALE SCALED.stl]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
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
    mwtest::NetSpot spot;
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
    std::printf("faces %d spot %g,%g size %g\n", mwtest::netFaceCount(n, style), spot.centre[0],
                spot.centre[1], spot.size);
    return 0;
}
