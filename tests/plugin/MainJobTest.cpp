// The main job end to end, as a user runs it: the script runner runs
// examples/main-job.vzs on every STL, VRML and Nastran file of the real data
// and on generated meshes (a bump, a sphere, a scanned-like bumpy mesh of
// jittered uneven triangles, a mesh 1000 units across); then this test opens
// the saved document and measures the committed Breps against the mesh with
// its own point-to-surface distance. A net read back from a document drives
// examples/main-job-import.vzs. Each case is a test (and a process) of its
// own, so CTest runs them side by side.
//
// Every file ends with four Breps committed, or, where it has no surface to
// draw on, with "no region". Where the region holds mesh vertices for every
// face to fit (always on the generated meshes), the heal leaves the shared
// edges within twice the document's tolerance and the pictures show the
// fits' colours and the Breps. On the coarse real meshes a region may hold
// next to no vertex: the fit then follows the boundary alone, the heal has no
// samples to work with ("Heal failed for dTol=") and the figures are only
// printed.
#include "MeshwrightHost.h"

#include "display/ColorCoding.h"
#include "support/ReadPng.h"
#include "support/RealData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <sys/wait.h>

namespace {

const std::string kSource = MW_SOURCE_DIR;

// ---- Meshes ---------------------------------------------------------------------------------

void writeStl(const mwtest::MeshSoup& soup, const std::string& path)
{
    CFlatMesh mesh;
    mwtest::fillFlatMesh(soup, mesh);
    EXPECT_TRUE(mesh.writeBinarySTL(path.c_str(), nullptr, -1));
}

// A height field over an n x n grid of the square [0, size]^2; inner grid
// points are moved across by up to `jitter` of a cell and lifted by noise of
// spread `noise`, so the triangles are uneven as a scan's are.
mwtest::MeshSoup heightField(int n, double size, double jitter, double noise,
                             const std::function<double(double, double)>& height)
{
    std::mt19937 random(47);
    std::uniform_real_distribution<double> across(-jitter, jitter);
    std::normal_distribution<double> lift(0.0, noise > 0.0 ? noise : 1.0);
    mwtest::MeshSoup soup = mwtest::gridSoup(n, n, size / n, size / n, true);
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            double* p = &soup.xyz[3 * (j * (n + 1) + i)];
            if (i > 0 && j > 0 && i < n && j < n) {
                p[0] += across(random) * size / n;
                p[1] += across(random) * size / n;
            }
            p[2] = height(p[0], p[1]) + (noise > 0.0 ? lift(random) : 0.0);
        }
    return soup;
}

// The mesh file of a case: generated into the test's folder, or a real file
// (a Nastran file under the ending the loader maps, as the runner links it).
std::string meshFile(const std::string& folder, const std::string& name)
{
    if (folder == "generated") {
        const std::string path = mwtest::scratchPath(name + ".stl");
        if (name == "bump")
            return kSource + "/examples/bump.stl";
        if (name == "sphere")
            writeStl(mwtest::sphereSoup(1.0, 64, 32), path);
        if (name == "bumpy-scan")
            writeStl(heightField(60, 10.0, 0.4, 0.002,
                                 [](double x, double y) {
                                     return 0.6 * std::sin(0.8 * x) * std::cos(0.6 * y) +
                                            0.3 * std::sin(0.3 * x + 0.5 * y);
                                 }),
                     path);
        if (name == "wide")
            writeStl(heightField(60, 1000.0, 0.0, 0.0,
                                 [](double x, double y) {
                                     const double u = x - 500.0, v = y - 500.0;
                                     return 150.0 * std::cos(u / 400.0) * std::cos(v / 500.0) +
                                            2e-4 * u * v;
                                 }),
                     path);
        return path;
    }
    std::string path = mwtest::realDataFile(folder, name);
    if (!path.empty() && folder == "nastran" && !path.ends_with(".nas")) {
        const std::string link = mwtest::scratchPath(name + ".nas");
        std::filesystem::create_symlink(path, link);
        path = link;
    }
    return path;
}

// ---- The runner -----------------------------------------------------------------------------

struct RunnerOutcome {
    int code = -1;
    std::string output; // standard output and standard error
};

RunnerOutcome runMainJob(const std::string& script, const std::string& defines,
                         const std::string& out)
{
    const std::string log = out + ".log";
    const std::string command = "FENWO_DIAGNOSTICS_DIR='" + mwtest::scratchDir() +
                                "' '" MW_VZHOST "' --script '" + kSource + "/examples/" + script +
                                "' " + defines + " --out '" + out + "' >'" + log + "' 2>&1";
    RunnerOutcome run;
    const int status = std::system(command.c_str());
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    run.output = text.str();
    return run;
}

// The number printed after `label` in the first line holding it; NaN when
// none.
double printedNumber(const std::string& output, const std::string& label)
{
    const std::size_t at = output.find(label);
    return at == std::string::npos ? NAN : std::atof(output.c_str() + at + label.size());
}

// ---- Measuring ------------------------------------------------------------------------------

// Mesh points a face's fit has at the least for its heal and pictures to be
// judged (the runner's "Face k fit to t: n=..." lines).
constexpr int kLeastFitPoints = 5;

std::vector<int> fitErrorPointCounts(const std::string& output)
{
    std::vector<int> counts;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Face ", 0) == 0 && line.find(" fit to ") != std::string::npos)
            counts.push_back(std::atoi(line.c_str() + line.find(": n=") + 4));
    return counts;
}

// The point of the surface nearest p, found without the system's NURBS code:
// the best of an 8 x 8 grid of the domain, then a pattern search that
// halves its step whenever it stops moving, down to 1e-9 of the domain. Answers the distance; u and
// v the parameters.
double nearestOnSurface(const ON_Surface& s, const ON_3dPoint& p, double& u, double& v)
{
    const ON_Interval U = s.Domain(0), V = s.Domain(1);
    double best = HUGE_VAL;
    for (int i = 0; i <= 8; ++i)
        for (int j = 0; j <= 8; ++j) {
            const double a = U.ParameterAt(i / 8.0), b = V.ParameterAt(j / 8.0);
            if (const double d = p.DistanceTo(s.PointAt(a, b)); d < best) {
                best = d;
                u = a;
                v = b;
            }
        }
    for (double du = U.Length() / 8.0, dv = V.Length() / 8.0; du > 1e-9 * U.Length();) {
        bool moved = false;
        for (int i = -1; i <= 1; ++i)
            for (int j = -1; j <= 1; ++j) {
                const double a = std::clamp(u + i * du, U.Min(), U.Max());
                const double b = std::clamp(v + j * dv, V.Min(), V.Max());
                if (const double d = p.DistanceTo(s.PointAt(a, b)); d < best) {
                    best = d;
                    u = a;
                    v = b;
                    moved = true;
                }
            }
        if (!moved) {
            du *= 0.5;
            dv *= 0.5;
        }
    }
    return best;
}

// The outer trim loop of the face as a polygon of the parameter plane.
std::vector<ON_3dPoint> outerLoop(const ON_BrepFace& face)
{
    std::vector<ON_3dPoint> polygon;
    const ON_BrepLoop* loop = face.OuterLoop();
    for (int t = 0; loop && t < loop->TrimCount(); ++t)
        if (const ON_BrepTrim* trim = loop->Trim(t))
            for (int k = 0; k < 32; ++k) {
                const ON_3dPoint q = trim->PointAt(trim->Domain().ParameterAt(k / 32.0));
                polygon.push_back(q);
            }
    return polygon;
}

bool inside(const std::vector<ON_3dPoint>& polygon, double u, double v)
{
    bool in = false;
    for (std::size_t a = 0, b = polygon.size() - 1; a < polygon.size(); b = a++)
        if ((polygon[a].y > v) != (polygon[b].y > v) &&
            u < polygon[a].x + (v - polygon[a].y) * (polygon[b].x - polygon[a].x) /
                                   (polygon[b].y - polygon[a].y))
            in = !in;
    return in;
}

struct FaceFit {
    int vertices = 0;
    double quantile98 = 0.0;
    double largest = 0.0;
};

// The distances of the mesh vertices inside the face's trim loop (of at
// most 200 near it, evenly taken) to its surface. Vertices farther from the face's box
// than `reach` are not looked at.
FaceFit measureFace(const ON_Brep& brep, Mesh::CBaseMesh& mesh, double reach)
{
    const ON_BrepFace& face = brep.m_F[0];
    const ON_Surface& surface = *face.SurfaceOf();
    const std::vector<ON_3dPoint> loop = outerLoop(face);
    ON_BoundingBox box = brep.BoundingBox();
    box.m_min -= ON_3dVector(reach, reach, reach);
    box.m_max += ON_3dVector(reach, reach, reach);
    std::vector<ON_3dPoint> near;
    Mesh::CBaseMesh::Point p;
    for (int i = 0; i < mesh.getVertexCount(true); ++i)
        if (mesh.getVertex(i, p) && box.IsPointIn(ON_3dPoint(p[0], p[1], p[2])))
            near.emplace_back(p[0], p[1], p[2]);
    std::vector<double> distances;
    const std::size_t stride = near.size() / 200 + 1;
    for (std::size_t k = 0; k < near.size(); k += stride) {
        double u = 0.0, v = 0.0;
        const double d = nearestOnSurface(surface, near[k], u, v);
        if (loop.size() > 2 && inside(loop, u, v))
            distances.push_back(d);
    }
    FaceFit fit;
    fit.vertices = static_cast<int>(distances.size());
    if (!distances.empty()) {
        std::sort(distances.begin(), distances.end());
        fit.quantile98 = distances[distances.size() * 98 / 100];
        fit.largest = distances.back();
    }
    return fit;
}

// ---- Pictures -------------------------------------------------------------------------------

bool readPicture(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgba)
{
    return mwtest::readPng(path, width, height, rgba) && width == 800 && height == 600;
}

// Colours of the face displays' colour map (the net's, whatever its
// range: the map colours a value by where it lies in the range).
std::set<std::array<int, 3>> colourMapColours()
{
    CColorCoding map;
    map.mode = 1;
    map.hueCarried = 0;
    map.hueLow = 0;
    map.count = 360;
    std::set<std::array<int, 3>> colours;
    for (int k = -4000; k <= 4000; ++k) {
        float rgba[4];
        map.getColour(rgba, k / 4000.0, -1.0, 1.0);
        colours.insert({int(std::lround(rgba[0] * 255)), int(std::lround(rgba[1] * 255)),
                        int(std::lround(rgba[2] * 255))});
    }
    return colours;
}

int pixelsOfColourMap(const std::vector<unsigned char>& rgba)
{
    static const std::set<std::array<int, 3>> colours = colourMapColours();
    int count = 0;
    for (std::size_t k = 0; k + 3 < rgba.size(); k += 4)
        count += colours.count({rgba[k], rgba[k + 1], rgba[k + 2]}) ? 1 : 0;
    return count;
}

// The share of the square's inner pixels (its middle half) where the two
// pictures differ: where one shows the mesh, the other the Breps.
double shareChanged(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b,
                    int width, const double square[4])
{
    int changed = 0, all = 0;
    const double w = square[2] - square[0], h = square[3] - square[1];
    for (double y = square[1] + 0.25 * h; y < square[3] - 0.25 * h; y += 2.0)
        for (double x = square[0] + 0.25 * w; x < square[2] - 0.25 * w; x += 2.0) {
            const std::size_t at =
                4 * (static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x));
            ++all;
            changed += std::abs(a[at] - b[at]) + std::abs(a[at + 1] - b[at + 1]) +
                           std::abs(a[at + 2] - b[at + 2]) >
                       30;
        }
    return all > 0 ? double(changed) / all : 0.0;
}

// The net's square in the pictures: "Net square: x X0..X2, y Y0..Y2" of
// the 320 x 240 view, scaled to the 800 x 600 picture.
bool netSquare(const std::string& output, double square[4])
{
    const std::size_t at = output.find("Net square: x ");
    int x0 = 0, x2 = 0, y0 = 0, y2 = 0;
    if (at == std::string::npos ||
        std::sscanf(output.c_str() + at, "Net square: x %d..%d, y %d..%d", &x0, &x2, &y0, &y2) != 4)
        return false;
    const double scale = 800.0 / 320.0;
    square[0] = x0 * scale, square[1] = y0 * scale, square[2] = x2 * scale, square[3] = y2 * scale;
    return true;
}

// ---- The cases ------------------------------------------------------------------------------

struct MainJobCase {
    const char* folder; // "generated", or a folder of the real data
    const char* name;
    // Only a file without any surface a region fits on may end with "no
    // region" (exit code 3).
    bool mayFindNoRegion = false;
};

void PrintTo(const MainJobCase& c, std::ostream* os)
{
    *os << c.folder << "/" << c.name;
}

std::string caseName(const ::testing::TestParamInfo<MainJobCase>& info)
{
    std::string name = std::string(info.param.folder) + "_" + info.param.name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name;
}

class MainJob : public MeshwrightHost, public ::testing::WithParamInterface<MainJobCase> {
protected:
    // Opens the document the job saved and answers its Breps.
    std::vector<const ON_Brep*> reopen(const std::string& document)
    {
        EXPECT_TRUE(hosttest::passes(run("_Open \"" + document + "\"")));
        std::vector<const ON_Brep*> breps;
        CVezadObjectIterator it(doc());
        for (CVezadObject* object = it.First(); object; object = it.Next())
            if (object->ObjectType() == ON::brep_object)
                breps.push_back(CVezadObjRef(object).Brep());
        return breps;
    }
};

TEST_P(MainJob, CommitsFourHealedFacesThatFollowTheMesh)
{
    const MainJobCase c = GetParam();
    const std::string mesh = meshFile(c.folder, c.name);
    if (mesh.empty())
        GTEST_SKIP() << "no real data for " << c.name;
    const std::string out = mwtest::scratchPath("out");
    const RunnerOutcome job = runMainJob("main-job.vzs", "--define 'MESH=" + mesh + "'", out);
    if (job.code == 3 && c.mayFindNoRegion)
        return;
    ASSERT_EQ(job.code, 0) << job.output.substr(job.output.size() > 3000 ? job.output.size() - 3000
                                                                         : 0);
    // The script checked the four faces committed.
    const double tolerance = printedNumber(job.output, " fit to ");
    const double documentTolerance = printedNumber(job.output, "Breps, document tolerance ");
    const double gap = printedNumber(job.output, "shared edges: ");
    ASSERT_GT(tolerance, 0.0);
    ASSERT_GT(documentTolerance, 0.0);

    const std::vector<const ON_Brep*> breps = reopen(out + "/main-job.vzd");
    ASSERT_EQ(breps.size(), 4u);
    Mesh::CBaseMesh* meshRead = plugIn().net.mesh;
    ASSERT_NE(meshRead, nullptr);
    const bool generated = std::string(c.folder) == "generated";
    const std::vector<int> errorPoints = fitErrorPointCounts(job.output);
    ASSERT_EQ(errorPoints.size(), 4u);
    // Every face's fit had mesh points to fit (and the heal samples).
    const bool detailed = std::all_of(errorPoints.begin(), errorPoints.end(),
                                      [](int n) { return n >= kLeastFitPoints; });
    for (std::size_t f = 0; f < breps.size(); ++f) {
        const FaceFit fit = measureFace(*breps[f], *meshRead, 5.0 * tolerance);
        std::cout << c.name << " face " << f + 1 << ": " << fit.vertices
                  << " mesh vertices inside its trim, 0.98 quantile " << fit.quantile98
                  << ", largest " << fit.largest << " (tolerance " << tolerance << ")" << std::endl;
        if (generated) {
            EXPECT_GE(fit.vertices, kLeastFitPoints) << "face " << f + 1;
            EXPECT_LE(fit.quantile98, 1.05 * tolerance) << "face " << f + 1;
            EXPECT_LE(fit.largest, 3.0 * tolerance) << "face " << f + 1;
        }
    }
    std::cout << c.name << ": largest gap between shared edges " << gap << " (document tolerance "
              << documentTolerance << ")" << std::endl;
    if (!detailed) {
        std::cout << c.name << ": a face's fit had fewer than " << kLeastFitPoints
                  << " mesh points; the heal and the pictures are not judged" << std::endl;
        return;
    }
    EXPECT_LE(gap, 2.0 * documentTolerance);

    // main-job.png shows the Breps where fit.png, from the same view,
    // shows the mesh inside the net's square; fit.png holds the colour
    // map's colours at the fits' error points.
    int width = 0, height = 0;
    std::vector<unsigned char> committed, fit;
    ASSERT_TRUE(readPicture(out + "/main-job.png", width, height, committed));
    ASSERT_TRUE(readPicture(out + "/fit.png", width, height, fit));
    double square[4];
    ASSERT_TRUE(netSquare(job.output, square));
    EXPECT_GE(shareChanged(committed, fit, width, square), 0.8);
    EXPECT_GE(pixelsOfColourMap(fit), 20);
}

const MainJobCase kCases[] = {
    {"generated", "bump"},
    {"generated", "sphere"},
    {"generated", "bumpy-scan"},
    {"generated", "wide"},
    {"stl", "1002_tray_bottom.STL"},
    {"stl", "Spider_ascii.stl"},
    {"stl", "Spider_binary.stl"},
    {"stl", "angle_block.STL"},
    {"stl", "featuretype.STL"},
    {"stl", "sphereWithHole.stl"},
    {"stl", "stl_empty_bin.stl", true},
    {"stl", "torus.STL"},
    {"stl", "triangle_with_two_solids.stl"},
    {"stl", "unit_sphere.STL"},
    {"vrml", "HelloWorld.wrl", true},
    {"vrml", "MotionCaptureROM.WRL"},
    {"vrml", "Wuson.wrl"},
    {"vrml", "vrml1_coordinate3.wrl"},
    {"vrml", "vrml1_indexedfaceset.wrl"},
    {"nastran", "0012_20.bdf"},
    {"nastran", "bend_A1_105.bdf"},
    {"nastran", "bwb_geom.blk"},
    {"nastran", "plate_py.dat"},
};

INSTANTIATE_TEST_SUITE_P(Meshes, MainJob, ::testing::ValuesIn(kCases), caseName);

// A net text file with a "#" of three rows and three columns on a bump
// drives the job's second form: its four faces are fitted to the tolerance
// the job sets (not the one the file carries), committed and healed.
TEST_F(MeshwrightHost, MainJobOnAnImportedNetCommitsAllItsFaces)
{
    const auto height = [](double x, double y) { return 0.3 * std::exp(-(x * x + y * y) / 0.36); };
    const std::string bump = writeBumpStl("bump.stl", 24, 0.3, 0.6);
    addMeshObject();
    addHashNet(0.5f, height);
    const std::string net = mwtest::scratchPath("bump.grid");
    {
        std::ofstream file(net);
        ASSERT_TRUE(plugIn().net.write(file));
    }
    const RunnerOutcome job =
        runMainJob("main-job-import.vzs", "--define 'MESH=" + bump + "' --define 'NET=" + net + "'",
                   mwtest::scratchPath("imported"));
    ASSERT_EQ(job.code, 0) << job.output.substr(job.output.size() > 3000 ? job.output.size() - 3000
                                                                         : 0);
    EXPECT_NE(job.output.find("Converted 4 Surfaces to Vezad into Layer 1."), std::string::npos);
    EXPECT_NE(job.output.find("Face 4 fit to 0.005: "), std::string::npos);
    EXPECT_LE(printedNumber(job.output, "shared edges: "),
              2.0 * printedNumber(job.output, "Breps, document tolerance "));
}

} // namespace
