// netdraw: writes a net text of n x n regions drawn in one of the styles of
// tests/support/NetDrawings.h on a smooth spot of a mesh, for trying the
// import job on nets as users draw them (scripts/netsweep.sh).
//
//   netdraw [OPTION VALUE]... MESH N STYLE LOOK OUT.grid [SCALE SCALED.stl]
//   netdraw --shape NAME FACET OUT.stl [SCALE]
//
// LOOK is x,y,z towards the viewer. With SCALE, the mesh is first scaled by
// that factor and written to SCALED.stl (a mesh in millimetres given in
// metres), and the net lies on the scaled mesh. With a jitter, each lattice
// point is moved by up to that share of a step each way, as a user places
// points, by a generator seeded with N (1 by default): the same seed draws
// the same net. With --columns and --rows (both, N + 1 rising fractions of
// the window's side each, N + 2 for a lasso), the lattice's lines stand there
// instead of evenly spaced: a strip beside a wide face (2 missing-row
// --columns 0,0.2,0.7), a narrow border row (3 lines --rows
// 0,0.067,0.4,0.733). The strokes end as a user's pen may end them (--ends
// exact|tail|overshoot|short|hook, --distance D in tolerances, 1/500 of the
// mesh's diagonal as the import job sets it, --where border|inside|all,
// --which first|last|both), with --points K points a step and a --wobble
// across them; --turn DEG turns the lattice in the view, --at X,Y,SIZE
// places the window (fractions of the box seen) instead of seeking a smooth
// spot, and --creased lets it lie across a crease. Prints the regions the
// net encloses ("faces K"); exits 1 when no smooth spot is found, 2 on bad
// arguments or an unreadable mesh. With --shape it writes a mesh of one of
// the shapes of mwtest::shapeSoup (tests/support/TestMeshes.h) at the facet
// size given, scaled by SCALE, as binary STL instead: one shape from coarse
// to fine, to draw nets on. With --edges it prints the edges of the Breps of
// a saved document instead, each as a line "brep B edge E" and K + 1 points
// evenly spread over its domain (K 200 by default), one "x y z" a line, for
// measuring how far they part (scripts/gapnets.py).
#include "support/NetDrawings.h"

#include "foundation/KorList.h"
#include "geometry/GeoObject.h"
#include "mesh/AutoFormReader.h"
#include "mesh/FlatMesh.h"
#include "mesh/NastranReader.h"
#include "mesh/StlFormat.h"
#include "mesh/VrmlReader.h"
#include "platform/host/Document.h"
#include "platform/host/DocumentFile.h"
#include "platform/host/Object.h"
#include "support/TestMeshes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

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
    std::fprintf(stderr,
                 "usage: netdraw [--jitter SHARE] [--seed N] [--ends KIND] [--distance D] "
                 "[--where border|inside|all] [--which first|last|both] [--points K] "
                 "[--wobble SHARE] [--columns F,...] [--rows F,...] [--turn DEG] [--at X,Y,SIZE] "
                 "[--creased yes] MESH N STYLE LOOK OUT.grid [SCALE SCALED.stl]\n"
                 "       netdraw --shape bump|ellipsoid|arch|wave|steps|eggcrate|saddle|sphere FACET OUT.stl [SCALE]\n"
                 "       netdraw --edges DOC.vzd [K]\n");
    return 2;
}

// Rising fractions in 0..1, separated by commas; false for anything else.
bool readFractions(const char* text, std::vector<double>& out)
{
    out.clear();
    for (const char* at = text;;) {
        char* end = nullptr;
        const double f = std::strtod(at, &end);
        if (end == at || !(f >= 0.0 && f <= 1.0) || (!out.empty() && !(f > out.back())))
            return false;
        out.push_back(f);
        if (*end == '\0')
            return true;
        if (*end != ',')
            return false;
        at = end + 1;
    }
}

bool number(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

} // namespace

// The edges of the live Breps of a saved document, K + 1 points each.
int printEdges(const char* path, int k)
{
    CVezadDoc doc;
    std::string error;
    if (VezadHost::openDocument(doc, path, error) == VezadHost::OpenResult::refused) {
        std::fprintf(stderr, "netdraw: %s\n", error.c_str());
        return 2;
    }
    int b = 0;
    for (int i = 0; i < doc.ObjectCount(); ++i) {
        const auto* object = dynamic_cast<const CVezadBrepObject*>(doc.ObjectAt(i));
        if (object == nullptr || object->IsDeleted())
            continue;
        const ON_Brep& brep = *object->Brep();
        for (int e = 0; e < brep.m_E.Count(); ++e) {
            const ON_Interval domain = brep.m_E[e].Domain();
            std::printf("brep %d edge %d\n", b, e);
            for (int s = 0; s <= k; ++s) {
                const ON_3dPoint p = brep.m_E[e].PointAt(domain.ParameterAt(double(s) / k));
                std::printf("%.9g %.9g %.9g\n", p.x, p.y, p.z);
            }
        }
        ++b;
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--edges") == 0)
        return argc <= 4 ? printEdges(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 200)
                         : usage();
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
    mwtest::StrokeShape shape;
    double distance = 0.0; // in tolerances
    bool placed = false;
    while (argc >= 3 && std::strncmp(argv[1], "--", 2) == 0) {
        const std::string option = argv[1] + 2, value = argv[2];
        double x = 0.0;
        if (option == "jitter") {
            if (!number(argv[2], spot.jitter) || !(spot.jitter >= 0.0 && spot.jitter <= 0.45))
                return usage();
        } else if (option == "seed") {
            if (!number(argv[2], x) || x < 0.0 || x > 4294967295.0 || x != std::floor(x))
                return usage();
            spot.seed = unsigned(x);
        } else if (option == "ends") {
            if (!mwtest::strokeEndsFromName(value, shape.ends))
                return usage();
        } else if (option == "distance") {
            if (!number(argv[2], distance) || distance < 0.0)
                return usage();
        } else if (option == "where") {
            if (value != "border" && value != "inside" && value != "all")
                return usage();
            shape.atBorder = value != "inside";
            shape.inside = value != "border";
        } else if (option == "which") {
            if (value != "first" && value != "last" && value != "both")
                return usage();
            shape.first = value != "last";
            shape.last = value != "first";
        } else if (option == "points") {
            if (!number(argv[2], x) || x < 1.0 || x > 50.0 || x != std::floor(x))
                return usage();
            shape.pointsPerStep = int(x);
        } else if (option == "wobble") {
            if (!number(argv[2], shape.wobble) || !(shape.wobble >= 0.0 && shape.wobble <= 0.3))
                return usage();
        } else if (option == "columns" || option == "rows") {
            if (!readFractions(argv[2], option == "columns" ? spot.columns : spot.rows))
                return usage();
        } else if (option == "turn") {
            if (!number(argv[2], spot.turn))
                return usage();
        } else if (option == "at") {
            if (std::sscanf(argv[2], "%lf,%lf,%lf", &spot.centre[0], &spot.centre[1],
                            &spot.size) != 3 ||
                !(spot.size > 0.0 && spot.size <= 1.0))
                return usage();
            placed = true;
        } else if (option == "creased") {
            spot.creased = value == "yes";
        } else {
            return usage();
        }
        argv += 2;
        argc -= 2;
    }
    if (argc != 6 && argc != 8)
        return usage();
    const int n = std::atoi(argv[2]);
    mwtest::NetStyle style;
    if (n < 1 || n > 20 || !mwtest::netStyleFromName(argv[3], style))
        return usage();
    const std::size_t lines = std::size_t(n) + (style == mwtest::NetStyle::Lasso ||
                                                        style == mwtest::NetStyle::LassoSplit
                                                    ? 2
                                                    : 1);
    if (spot.columns.size() != spot.rows.size() ||
        (!spot.columns.empty() && spot.columns.size() != lines))
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
    if (placed) {
        spot.look = look;
    } else if (!mwtest::findNetSpot(mesh, look, n, style, spot)) {
        std::printf("netdraw: no smooth spot for %d x %d seen from %s\n", n, n, argv[4]);
        return 1;
    }
    const CBox<float, 3> box = mesh.getBoundingBox();
    double diagonal = 0.0;
    for (int k = 0; k < 3; ++k)
        diagonal += double(box.max[k] - box.min[k]) * double(box.max[k] - box.min[k]);
    shape.distance = distance * std::sqrt(diagonal) / 500.0;
    const std::string text = mwtest::netText(mesh, spot, n, style, shape);
    if (text.empty()) {
        std::printf("netdraw: the net leaves the mesh at %g,%g size %g\n", spot.centre[0],
                    spot.centre[1], spot.size);
        return 1;
    }
    std::ofstream out(argv[5], std::ios::binary);
    out << text;
    if (!out) {
        std::fprintf(stderr, "netdraw: cannot write %s\n", argv[5]);
        return 2;
    }
    std::printf("faces %d spot %g,%g size %g jitter %g seed %u\n", mwtest::netFaceCount(n, style),
                spot.centre[0], spot.centre[1], spot.size, spot.jitter, spot.seed);
    return 0;
}
