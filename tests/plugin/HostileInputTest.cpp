// Readers on hostile and bad input: the inputs found to drive a reader to a
// quarter of a gigabyte or to minutes of work, each read with a limit on the
// CPU time it takes and on how far it raises the process's peak memory, and
// inputs a reader must refuse, leaving what the user had as it was.
#include "MeshwrightHost.h"

#include "geometry/Knots.h"
#include "geometry/NurbsSurf.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/AutoFormReader.h"
#include "mesh/MeshBoundaryCurves.h"
#include "mesh/NastranReader.h"
#include "mesh/PolFormat.h"
#include "mesh/StlFormat.h"
#include "mesh/VrmlReader.h"
#include "net/Face.h"
#include "net/Faceter.h"
#include "platform/Diagnostics.h"
#include "support/ScanLikeMesh.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <zlib.h>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::string keptInput(const std::string& name)
{
    std::ifstream in(std::string(MW_SOURCE_DIR) + "/tests/data/fuzz/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

#if defined(__SANITIZE_ADDRESS__)
#define MW_HEAP_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MW_HEAP_HOOKS 1
#endif
#endif

#ifdef MW_HEAP_HOOKS
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                              void (*onFree)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* p);
}

// The heap bytes allocated while counting, and their peak: the reader's own
// sizes, without the sanitizer's red zones and quarantine.
std::atomic<bool> counting{false};
std::atomic<long> heapNow{0}, heapPeak{0};

void onMalloc(const volatile void*, size_t size)
{
    if (!counting.load(std::memory_order_relaxed))
        return;
    const long now = heapNow.fetch_add(long(size)) + long(size);
    long peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
}

void onFree(const volatile void* p)
{
    if (counting.load(std::memory_order_relaxed))
        heapNow.fetch_sub(long(__sanitizer_get_allocated_size(p)));
}
#else
// A field of /proc/self/status in KB; 0 when it cannot be read.
long statusKB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::stol(line.substr(field.size() + 1));
    return 0;
}
#endif

struct Cost {
    double seconds = 0.0; // CPU time
    long growthKB = 0;    // peak of the memory taken while reading
};

// Runs read once. Under the address sanitizer the heap is counted through
// its allocation hooks (frees of older blocks lower the count, so the peak
// may come out a little low); elsewhere the peak resident size is reset to
// the current size first where the kernel allows it, and only a rise above
// the earlier peak is seen where it does not.
Cost measure(const std::function<void()>& read)
{
#ifdef MW_HEAP_HOOKS
    static const bool installed =
        __sanitizer_install_malloc_and_free_hooks(&onMalloc, &onFree) != 0;
    EXPECT_TRUE(installed);
    heapNow = 0;
    heapPeak = 0;
    counting = true;
#else
    std::ofstream clearRefs("/proc/self/clear_refs");
    const bool reset = static_cast<bool>(clearRefs << "5" << std::flush);
    const long before = reset ? statusKB("VmRSS") : statusKB("VmHWM");
#endif
    const std::clock_t start = std::clock();
    read();
    Cost cost;
    cost.seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
#ifdef MW_HEAP_HOOKS
    counting = false;
    cost.growthKB = heapPeak / 1024;
#else
    cost.growthKB = statusKB("VmHWM") - before;
#endif
    return cost;
}

// The plug-in's document record holding one mesh (a grid of 2 x 2 cells
// unless given) and the given net text.
std::string documentRecord(const std::string& netText, Mesh::CBaseMesh* given = nullptr)
{
    CFlatMesh grid;
    mwtest::fillFlatMesh(mwtest::gridSoup(2, 2, 1.0, 1.0, true), grid);
    Mesh::CBaseMesh* mesh = given != nullptr ? given : &grid;
    char* image = nullptr;
    unsigned size = 0;
    EXPECT_TRUE(serializeMesh(mesh, &image, false, &size));
    ON_MemoryArchive record;
    for (int field : {4, 0, 0, 0, 1})
        record.WriteInt(field);
    record.WriteCompressedBuffer(size, image);
    delete[] image;
    record.WriteCompressedBuffer(netText.size() + 1, netText.c_str());
    return std::string(record.Buffer().begin(), record.Buffer().end());
}

// A net text of version 2 with `nodes` nodes (all at the origin) and the
// given poly-lines (their entries).
std::string versionTwoText(int nodes, const std::vector<std::vector<int>>& polyLines)
{
    std::ostringstream text;
    text << "Version 2\nNodes " << nodes << '\n';
    for (int i = 0; i < nodes; ++i)
        text << i << " 0 0 0 0 0 1\n0\t0\t0 0 0\n0\t0\t0 0 0\n";
    text << "Polylines " << polyLines.size() << '\n';
    for (const std::vector<int>& entries : polyLines) {
        text << entries.size() << "\n 1\n";
        for (std::size_t k = 0; k < entries.size(); ++k)
            text << (k > 0 ? " " : "") << entries[k];
        text << '\n';
    }
    return text.str();
}

// The "#" of addHashNet as a compact grid file: nine nodes, three rows and
// three columns.
std::string hashGrid(const std::string& firstRow)
{
    std::ostringstream text;
    text << "Version 2\nNodes 9\n";
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            text << 3 * j + i << ' ' << 0.5 * (i - 1) << ' ' << 0.5 * (j - 1)
                 << " 0 0 0 1\n0\t0\t0 0 0\n0\t0\t0 0 0\n";
    text << "Polylines 6\n3\n 1\n"
         << firstRow << "\n3\n 1\n3 4 5\n3\n 1\n6 7 8\n"
         << "3\n 1\n0 3 6\n3\n 1\n1 4 7\n3\n 1\n2 5 8\n";
    return text.str();
}

} // namespace

// A folder, a FIFO or a device handed to a reader by its name: a FIFO held a
// reader forever, a folder aborted it and an endless device fed it until
// the memory ran out. Every reader refuses them unread.
TEST_F(MeshwrightHost, ReadersRefuseFoldersFifosAndDevicesUnread)
{
    const std::string fifo = mwtest::scratchPath("fifo.out"), zero = mwtest::scratchPath("z.out");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", zero);
    std::filesystem::create_directory(mwtest::scratchPath("folder.out"));
    const std::function<bool(CFlatMesh&, const char*)> readers[] = {
        [](CFlatMesh& mesh, const char* path) { return readSTL(mesh, path, true); },
        [](CFlatMesh& mesh, const char* path) { return mesh.readPOL(path); },
        [](CFlatMesh& mesh, const char* path) { return readNastran(mesh, path); },
        [](CFlatMesh& mesh, const char* path) { return readAutoForm(mesh, path, 0, nullptr); },
        [](CFlatMesh& mesh, const char* path) {
            Kor::List<CParametricGeometry*> curves;
            return readVRML(mesh, path, curves);
        },
        [this](CFlatMesh&, const char* path) { return plugIn().net.readFile(path); },
        [this](CFlatMesh&, const char* path) {
            return plugIn().ReadFile(ON_wString(path), 0, doc(), CVezadFileReadOptions()) != FALSE;
        },
    };
    for (const std::string& path : {fifo, zero, mwtest::scratchPath("folder.out")})
        for (const auto& read : readers) {
            CFlatMesh mesh;
            EXPECT_FALSE(read(mesh, path.c_str())) << path << " reader " << (&read - readers);
            EXPECT_EQ(mesh.getFacetCount() + doc().ObjectCount(), 0);
        }
}

// Each input of at most 1 KB returns within a second of CPU time, raises
// the peak memory by less than 64 MB and leaves no debug file of a megabyte;
// what it asks for beyond that is refused in one line, and a face the
// bounds cut short still reads and tessellates.
TEST_F(MeshwrightHost, HostileInputsStaySmallAndQuick)
{
    // Each reader answers whether the input read as it should.
    const auto readKnots = [](const std::string& text) {
        std::istringstream in(text);
        return !knots(in).isHealthy;
    };
    const auto readSurface = [](const std::string& text) {
        std::istringstream in(text.substr(1)); // the harness's first byte chooses the entry
        return !Fenwo::NurbsSurf(in, false).valid;
    };
    const auto readFace = [](const std::string& text) {
        std::istringstream in(text);
        CFace face;
        if (!face.read(in))
            return false;
        const CFaceter* faceter = face.getFaceter(1);
        return faceter->triangles.count + faceter->quads.count + faceter->scanSegments.count > 0;
    };
    const std::string netText = keptInput("NetText/trimmed-face-bridging-a-corner-at-4e12");
    const std::string record = documentRecord(netText);
    const auto readNet = [this](const std::string& text) {
        std::istringstream in(text);
        const bool read = plugIn().net.read(in);
        plugIn().net.deleteAll(false);
        return read;
    };
    const auto readNotNet = [this](const std::string& text) {
        std::istringstream in(text);
        const bool read = plugIn().net.read(in);
        const bool nothing = plugIn().net.getNumPointLists() == 0;
        plugIn().net.deleteAll(false);
        return !read && nothing;
    };
    const auto readRecord = [this](const std::string& bytes) {
        ON_MemoryArchive in(bytes.data(), bytes.size());
        return plugIn().ReadDocument(doc(), in, CVezadFileReadOptions()) &&
               plugIn().meshObjects.count == 1;
    };

    // After the harness's first byte: the record itself (even) or a mesh
    // image the record's compressed buffer holds (odd).
    const auto readMeshObject = [](const std::string& bytes) {
        std::vector<unsigned char> record(bytes.begin() + 1, bytes.end());
        if (bytes[0] % 2 == 1) {
            ON_MemoryArchive written;
            written.WriteCompressedBuffer(record.size(), record.data());
            record = written.Buffer();
        }
        ON_MemoryArchive in(std::move(record));
        CMWMeshObject object;
        return object.Read(in) && object.mesh != nullptr;
    };

    // Records whose image inflates hundreds of times are refused before
    // anything is read; the same images read by the POL reader and hashed,
    // as the mesh object read them before that bound, stay quick too.
    const auto refuseMeshObject = [readMeshObject](const std::string& bytes) {
        return !readMeshObject(bytes);
    };
    const auto hashImageOfRecord = [](const std::string& bytes) {
        ON_MemoryArchive in(bytes.data() + 1, bytes.size() - 1);
        std::size_t size = 0;
        int crcFailed = 0;
        if (!in.ReadCompressedBufferSize(&size))
            return false;
        std::string image(size, '\0');
        if (!in.ReadCompressedBuffer(size, image.data(), &crcFailed) || crcFailed != 0)
            return false;
        std::istringstream stream(image);
        CFlatMesh mesh;
        if (!mesh.readPOL(stream, std::uint32_t(size)))
            return false;
        mesh.buildFacetHash(200.0, -1.0, nullptr);
        return mesh.getFacetCount() > 0;
    };

    // The record whose compressed buffer holds what a raw deflate stream
    // inflates to, as the deflate harness makes it.
    const auto readMeshObjectDeflate = [readMeshObject](const std::string& stream) {
        std::string image(1, '\1'); // the selector of a mesh image
        z_stream z{};
        EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
        z.avail_in = uInt(stream.size());
        char out[4096];
        int status = Z_OK;
        while (status == Z_OK) {
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            status = inflate(&z, Z_NO_FLUSH);
            image.append(out, sizeof out - z.avail_out);
        }
        inflateEnd(&z);
        EXPECT_EQ(status, Z_STREAM_END);
        return readMeshObject(image);
    };

    // A mesh file read by its reader: the facets given, none with a corner
    // that is not finite, and a finite box.
    const auto meshFile = [](const std::function<bool(CFlatMesh&, const char*)>& reader,
                             int facets) {
        return [reader, facets](const std::string& bytes) {
            const std::string path = mwtest::scratchPath("mesh-input");
            std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
            CFlatMesh mesh;
            if (!reader(mesh, path.c_str()) || mesh.getFacetCount() != facets)
                return false;
            for (int f = 0; f < facets; ++f)
                for (int k = 0; k < mesh.getFacetSize(f); ++k) {
                    CVertex<float, 3> p;
                    if (!mesh.getFacetCorner(f, k, p) || !Mesh::isFinitePoint(p.data))
                        return false;
                }
            const CBox<float, 3> box = mesh.getBoundingBox();
            return Mesh::isFinitePoint(box.min.data) && Mesh::isFinitePoint(box.max.data);
        };
    };
    const auto stl = [](CFlatMesh& mesh, const char* path) { return readSTL(mesh, path, true); };
    const auto pol = [](CFlatMesh& mesh, const char* path) { return mesh.readPOL(path); };
    const auto nastran = [](CFlatMesh& mesh, const char* path) { return readNastran(mesh, path); };
    const auto autoForm = [](CFlatMesh& mesh, const char* path) {
        return readAutoForm(mesh, path, 0, nullptr);
    };
    const auto vrml = [](CFlatMesh& mesh, const char* path) {
        Kor::List<CParametricGeometry*> curves;
        const bool read = readVRML(mesh, path, curves);
        curves.deleteAll();
        return read;
    };
    // A record whose net text repeats itself: refused, the mesh restored,
    // the net empty, and the open reports the loss.
    const auto refuseRecord = [this](const std::string& bytes) {
        plugIn().meshObjects.removeAll();
        ON_MemoryArchive in(bytes.data(), bytes.size());
        const bool read = plugIn().ReadDocument(doc(), in, CVezadFileReadOptions()) != FALSE;
        const bool refused =
            !read && plugIn().meshObjects.count == 1 && plugIn().net.getNumPointLists() == 0;
        plugIn().meshObjects.removeAll();
        return refused;
    };
    std::vector<int> alternating(200000);
    for (std::size_t k = 0; k < alternating.size(); ++k)
        alternating[k] = int(k % 2);
    // A grid file imported over a drawn net with an undo item: refused
    // (result 3, "failed to read the grid."), the net and its undo as they
    // were.
    const auto refuseImport = [this](const std::string& text) {
        GB::CSurfaceNet& net = plugIn().net;
        net.deleteAll(false);
        addHashNet(0.5f);
        net.addUndo(new CUndoInsert(net.getPointList(0), 99));
        std::ostringstream before, after;
        net.write(before);
        const std::string path = mwtest::scratchPath("refused.grid");
        std::ofstream(path, std::ios::binary) << text;
        const std::size_t boxesBefore = boxes().size();
        const int result = command("_MWImportGridV1 file:" + path);
        net.write(after);
        return result == 3 && after.str() == before.str() && net.undoList.count == 1 &&
               boxes().size() == boxesBefore + 1 &&
               boxShown("failed to read the grid.", "MWImportGridV1");
    };
    const std::string grid = hashGrid("0 1 2");

    struct Case {
        const char* what;
        std::string input;
        std::function<bool(const std::string&)> read;
        const char* line; // a line the read prints (what it refused or built), or nothing
    };
    const Case cases[] = {
        {"uniform knot count of 2^24", keptInput("KnotsText/uniform-count-beyond-the-store-budget"),
         readKnots, "knot vector of 16777221 positions too large.\n"},
        {"cyclic uniform knot count of 2^24",
         keptInput("KnotsText/cyclic-uniform-count-beyond-the-store-budget"), readKnots,
         "knot vector of 16777224 positions too large.\n"},
        {"two uniform headers of 2^24",
         keptInput("NurbsSurfText/two-uniform-headers-naming-a-huge-net"), readSurface,
         "control net of 16777217 x 16777217 points too large.\n"},
        {"uniform header beside a degree-0 header",
         keptInput("NurbsSurfText/uniform-header-beside-a-degree-0-header"), readSurface,
         "control net of 16777217 x 1 points too large.\n"},
        {"face bridging a corner at z = 4e12", keptInput("OutFace/bridge-across-a-corner-at-4e12"),
         readFace, nullptr},
        {"trim curve to v = 2147483647", keptInput("OutFace/trim-curve-far-outside-the-domain"),
         readFace, "skipping a trim curve far outside the surface's domain\n"},
        {"face bridging ten spans, the last with a corner at z = 4e12",
         keptInput("OutFace/bridge-across-ten-spans-with-a-corner-at-4e12"), readFace, nullptr},
        {"face bridging a folded face with a corner at 1e42",
         keptInput("OutFace/bridge-across-a-folded-face-with-a-corner-at-1e42"), readFace, nullptr},
        {"face tessellated on a domain far from zero",
         keptInput("OutFace/tessellation-of-a-domain-far-from-zero"), readFace, nullptr},
        {"face on a domain 16 rounding steps wide at 1e20, its trim evaluating to the origin",
         keptInput("OutFace/tessellation-at-1e-9-of-a-domain-at-1e20"), readFace,
         "skipping a trim curve far outside the surface's domain\n"},
        {"that face in a net text", netText, readNet, nullptr},
        {"cube of facets as large as the mesh",
         keptInput("MeshObject/cube-of-facets-as-large-as-the-mesh"), readMeshObject, nullptr},
        {"thousands of coincident facets as large as the mesh",
         keptInput("MeshObject/thousands-of-coincident-facets-as-large-as-the-mesh"),
         refuseMeshObject, "a mesh image repeating itself is not read."},
        {"thousands of coincident facets as large as the mesh, hashed",
         keptInput("MeshObject/thousands-of-coincident-facets-as-large-as-the-mesh"),
         hashImageOfRecord, nullptr},
        {"that net in a document record", record, readRecord, nullptr},
        {"polygon of 91422 corners round eight vertices",
         keptInput("MeshObject/polygon-of-ninety-thousand-corners-round-eight-vertices"),
         refuseMeshObject, "a mesh image repeating itself is not read."},
        {"polygon of 91422 corners round eight vertices, hashed",
         keptInput("MeshObject/polygon-of-ninety-thousand-corners-round-eight-vertices"),
         hashImageOfRecord, nullptr},
        // A node listed seven times in a row is one point of its poly-line:
        // the junction keeps no self-pointing edges, and the grid its nine
        // faces.
        {"grid junction with six self-pointing edges",
         keptInput("ImportGrid/grid-junction-with-six-self-pointing-edges"), readNet,
         "model has 9 loops\n"},
        // A walk passes each junction once, so the six loops that start and
        // end at one junction are no way round any region (walked in every
        // order and direction, they ran the search out of its work). At a
        // junction where other pieces meet they are hooks that close
        // nothing: every cell is a face (the one they lie in was lost).
        {"grid junction with six self-pointing loops",
         keptInput("ImportGrid/grid-junction-with-six-self-pointing-loops"), readNet,
         "model has 4 loops\n"},
        // Junctions each joined to every other, their mesh normals in the
        // plane of the net: the regions among them are no faces, each said
        // (before, the cycles that multiplied ran into the search's bound).
        {"twelve junctions each joined to every other",
         keptInput("ImportGrid/twelve-junctions-each-joined-to-every-other"), readNet,
         "is no face: the mesh normals at its corners lie across their plane"},
        // Facets with a NaN or infinite corner are left out, and counted in
        // one line; they came into the mesh ("dij is bad"), and a file of
        // nothing else loaded as a mesh without a box.
        {"binary STL facets with NaN and infinite corners",
         keptInput("Stl/binary-facets-with-nan-and-infinite-corners"), meshFile(stl, 1),
         "left out 2 facets with non-finite coordinates\n"},
        {"STL text facets with nan, -inf and 1e39",
         keptInput("StlAscii/text-facets-with-nan-inf-and-1e39"), meshFile(stl, 1),
         "left out 2 facets with non-finite coordinates\n"},
        {"POL image with an infinite vertex", keptInput("Pol/image-with-an-infinite-vertex"),
         meshFile(pol, 1), "left out 1 facets with non-finite coordinates\n"},
        {"VRML face set with a point at 1e39",
         keptInput("Vrml/face-set-with-a-point-beyond-float-range"), meshFile(vrml, 1),
         "left out 1 facets with non-finite coordinates\n"},
        // Here the grid or point was read as 0 or dropped (its facets then
        // took vertex 0).
        {"Nastran grid at 1.+39", keptInput("Nastran/grid-beyond-the-range-of-a-float"),
         meshFile(nastran, 1), "left out 1 facets with non-finite coordinates\n"},
        {"AutoForm point with a nan coordinate", keptInput("AutoForm/point-with-a-nan-coordinate"),
         meshFile(autoForm, 1), "left out 1 facets with non-finite coordinates\n"},
        // Records the readers passed over, or put at vertex 0, without a
        // word: each cause is told in one line with its count and first
        // place, and a message given per record only for the first few.
        {"STL text of facets without vertices",
         keptInput("StlAscii/text-of-facets-without-vertices"), meshFile(stl, 0),
         "left out 64 facets, the first: facet 1 (line 1) has 0 vertices\n"},
        {"Nastran elements on grids no card defines",
         keptInput("Nastran/elements-on-grids-no-card-defines"), meshFile(nastran, 0),
         "left out 19 facets, the first: CTRIA3 1 (line 3) names GRID 2, which no GRID card "
         "defines\n"},
        {"AutoForm facet naming point 2147483648",
         keptInput("AutoForm/facet-naming-point-2147483648"), meshFile(autoForm, 1),
         "left out 1 facets: '2147483648' of facet 2 (line 7) is not a point id\n"},
        {"VRML face set with words in its point and index lists",
         keptInput("Vrml/face-set-with-words-in-its-lists"), meshFile(vrml, 0),
         "left out 3 facets, the first: face 4 of the IndexedFaceSet of line 2 holds 'x' (line "
         "4), not a point number\n"},
        // A thousand iso lines a direction asked for by distance: a million
        // cells; the lines step at least a two-hundredth of the domain.
        {"face tessellated by distance at a billionth of its size",
         keptInput("OutFace/tessellation-by-distance-at-a-billionth-of-the-face"), readFace,
         nullptr},
        // Records whose net text inflates 400 to 700 times, once read in
        // 19 to 26 s with 0.3 to 1.2 GB: every repetition was a poly-line
        // or an entry fitted.
        {"poly-line of 200000 entries alternating between two nodes, in a record",
         documentRecord(versionTwoText(2, {alternating})), refuseRecord,
         "a net text repeating itself is not read."},
        {"20000 two-point poly-lines between the same two nodes, in a record",
         documentRecord(versionTwoText(2, std::vector<std::vector<int>>(20000, {0, 1}))),
         refuseRecord, "a net text repeating itself is not read."},
        // Records whose net text is not whole: the plug-in's record is not
        // read whole either (before, the open gave the net that was read).
        {"net text that ends after its Polylines line, in a record",
         documentRecord("Version 7\nNodes 0\nPolylines 0\n"), refuseRecord,
         "line 4: the text ends where \"Topology\" was expected (version 7 has the section): the "
         "text is refused.\n"},
        {"net text declaring 0 faces before its face record, in a record",
         documentRecord(netText.substr(0, netText.find("0.5\n1\nGeoObject")) + "0.5\n0\n" +
                        netText.substr(netText.find("GeoObject"))),
         refuseRecord,
         "line 14: expected the end of the text after the last of the 0 faces declared on line 13, "
         "found \"GeoObject\": the text is refused.\n"},
        // Read plain, such a poly-line is refused as no poly-line of a net.
        {"poly-line of 400 entries alternating between two nodes",
         versionTwoText(2, {std::vector<int>(alternating.begin(), alternating.begin() + 400)}),
         readNotNet,
         "poly-line 1 of the net text passes its 2 points 400 times, a poly-line passes a point "
         "twice at most: the text is refused.\n"},
        // Grid files that are no whole net leave the drawn net as it was
        // (the import emptied it first, and an index past the end or below
        // 0 lost the poly-line's point and answered success).
        {"empty grid file", "", refuseImport, nullptr},
        {"grid file cut in half", grid.substr(0, grid.size() / 2), refuseImport, nullptr},
        {"grid file naming a node past the end", hashGrid("0 1 12"), refuseImport,
         "poly-line 1 of the net text names node 12, but the text has 9 nodes before it: the text "
         "is refused.\n"},
        {"grid file naming node -1", hashGrid("0 -1 2"), refuseImport,
         "poly-line 1 of the net text names node -1, but the text has 9 nodes before it: the text "
         "is refused.\n"},
        // Grid files that declare more than they hold, or counts past int,
        // read as an empty or smaller net in the drawn one's place; a field
        // moved by a missing line took a decimal for an index.
        {"grid file of only its header", "Version 2", refuseImport,
         "line 1: the text ends where \"Nodes\" was expected: the text is refused.\n"},
        {"grid file cut after its Polylines line", grid.substr(0, grid.find("Polylines 6\n") + 12),
         refuseImport,
         "line 31: the text ends after 0 of the 6 poly-lines declared on line 30: the text is "
         "refused.\n"},
        {"grid file cut after 3 of 6 poly-lines", grid.substr(0, grid.find("3\n 1\n0 3 6")),
         refuseImport,
         "line 40: the text ends after 3 of the 6 poly-lines declared on line 30: the text is "
         "refused.\n"},
        {"grid file with 2147483648 nodes", "Version 2\nNodes 2147483648\nPolylines 0\n",
         refuseImport,
         "line 2: expected the node count after \"Nodes\" (a whole number from 0 to 2147483647), "
         "found \"2147483648\": the text is refused.\n"},
        {"grid file with 2147483648 poly-lines", "Version 2\nNodes 0\nPolylines 2147483648\n",
         refuseImport,
         "line 3: expected the poly-line count after \"Polylines\" (a whole number from 0 to "
         "2147483647), found \"2147483648\": the text is refused.\n"},
        {"grid file of version 2147483648", "Version 2147483648\nNodes 0\nPolylines 0\n",
         refuseImport,
         "line 1: expected the version after \"Version\" (a whole number from 0 to 2147483647), "
         "found \"2147483648\": the text is refused.\n"},
        {"grid file without a direction line",
         grid.substr(0, 20) + grid.substr(grid.find('\n', 20) + 1), refuseImport,
         "line 5: expected the second flag of the second direction of node record 1 of the 9 "
         "declared on line 2 (0 or 1), found \"-0.5\": the text is refused.\n"},
        {"grid file naming node 1.5", hashGrid("0 1.5 2"), refuseImport,
         "line 33: expected entry 2 of the 3 of poly-line 1 of the 6 declared on line 30 (a whole "
         "number within the range of an int), found \"1.5\": the text is refused.\n"},
        // Far corners beside unit ones size the facet hash by the far ones.
        {"POL image with corners at 3e21 beside unit ones",
         keptInput("MeshObjectDeflate/pol-image-with-corners-at-3e21-beside-unit-ones"),
         readMeshObjectDeflate, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_LE(c.input.size(), 1024u);
        CaptureStdout();
        bool readAsItShould = false;
        const Cost cost = measure([&] { readAsItShould = c.read(c.input); });
        const std::string printed = GetCapturedStdout();
        EXPECT_TRUE(readAsItShould) << printed;
        EXPECT_LT(cost.seconds, 1.0);
        EXPECT_LT(cost.growthKB, 64 * 1024);
        if (c.line != nullptr) {
            EXPECT_NE(printed.find(c.line), std::string::npos) << printed;
        }
        // Nor does a debug file the read writes grow past a megabyte.
        for (const auto& file : std::filesystem::directory_iterator(Platform::diagnosticsFolder())) {
            EXPECT_LT(file.is_regular_file() ? file.file_size() : 0u, 1u << 20) << file.path();
        }
    }
}

// Records of about a megabyte whose buffer heads declare a mesh image or a
// net text of a gigabyte (what the archive's own bound of 1040 times lets
// through): refused before anything of that size is allocated, within a
// few times the record's size. The image was held as a vector, a string
// and a string stream, and the net text allocated at its declared size
// before its bound was checked.
TEST_F(MeshwrightHost, BuffersDeclaringAGigabyteAreRefusedBeforeTheyAreAllocated)
{
    const auto forgedBuffer = [](std::uint64_t size, std::size_t packed) {
        ON_MemoryArchive head;
        head.WriteInt64(std::int64_t(size));
        head.WriteInt(0); // the check sum of bytes never inflated
        head.WriteInt64(std::int64_t(packed));
        std::string bytes(head.Buffer().begin(), head.Buffer().end());
        return bytes + std::string(packed, '\x5a');
    };
    // The plug-in's record of one mesh: version 4, no references, display
    // settings, a mesh count of 1, then the mesh's and the net's buffers.
    const auto record = [](const std::string& buffers) {
        ON_MemoryArchive out;
        for (int field : {4, 0, 0, 0, 1})
            out.WriteInt(field);
        return std::string(out.Buffer().begin(), out.Buffer().end()) + buffers;
    };
    const std::string small = documentRecord(versionTwoText(0, {})).substr(20);
    ON_MemoryArchive smallMesh(small.data(), small.size());
    std::size_t meshSize = 0, meshPacked = 0;
    ASSERT_TRUE(smallMesh.ReadCompressedBufferSize(&meshSize, &meshPacked));
    const std::string meshBuffer = small.substr(0, 20 + meshPacked);

    // What the record of the small mesh and an empty net costs to read.
    const auto readRecord = [this](const std::string& bytes, bool& read) {
        plugIn().meshObjects.removeAll();
        ON_MemoryArchive in(bytes.data(), bytes.size());
        return measure([&] { read = plugIn().ReadDocument(doc(), in, CVezadFileReadOptions()); });
    };
    bool read = false;
    const long smallKB = readRecord(record(small), read).growthKB;
    ASSERT_TRUE(read);

    struct Case {
        const char* what;
        std::string record;
        const char* line;
    };
    const Case cases[] = {
        {"mesh image of 1,020,000,532 bytes from 991,000",
         record(forgedBuffer(1020000532u, 991000) + small.substr(20 + meshPacked)),
         "the mesh image of 1020000532 bytes inflates from 991020, more than 32 times: a mesh "
         "image repeating itself is not read.\n"},
        {"net text of 1,000,000,000 bytes from 972,000",
         record(meshBuffer + forgedBuffer(1000000000u, 972000)),
         "the net text of 1000000000 bytes inflates from 972020, more than 32 times: a net text "
         "repeating itself is not read.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CaptureStdout();
        const Cost cost = readRecord(c.record, read);
        const std::string printed = GetCapturedStdout();
        EXPECT_FALSE(read);
        EXPECT_NE(printed.find(c.line), std::string::npos) << printed;
        EXPECT_LT(cost.growthKB, smallKB + long(4 * c.record.size() / 1024));
        EXPECT_LT(cost.seconds, 2.0);
    }
}

// Documents and mesh files of facets scattered over a few vertices: each
// plane cuts them into a piece per facet it crosses, and the boundary has a
// loop per few facets, so an outline drawing every piece builds, converts
// and keeps hundreds of thousands of curves (seconds and gigabytes for a
// document of some kilobytes). Opened or loaded and drawn, each leaves its
// sections out of the outline, saying so in one line, and keeps its
// boundary loops, within a few seconds and 192 MB under the sanitizers.
TEST_F(MeshwrightHost, ScatteredFacetsOpenWithTheirSectionsLeftOutOfTheOutline)
{
    const mwtest::ScanLikeMesh scattered = mwtest::scatteredTriangles(5000, 1000);
    CFlatMesh mesh;
    for (std::size_t k = 0; k < scattered.xyz.size(); k += 3)
        mesh.addVertex(CVertex<float, 3>(float(scattered.xyz[k]), float(scattered.xyz[k + 1]),
                                         float(scattered.xyz[k + 2])));
    for (std::size_t t = 0; t < scattered.triangles.size(); t += 3)
        mesh.addPolygon(&scattered.triangles[t], 3, -1);
    const std::string record = documentRecord(versionTwoText(0, {}), &mesh);
    const std::string pol = mwtest::scratchPath("scattered.pol");
    const std::string stl = mwtest::scratchPath("scattered.stl");
    ASSERT_TRUE(writePOLFile(&mesh, pol.c_str()));
    ASSERT_TRUE(mesh.writeBinarySTL(stl.c_str(), nullptr, -1));

    const auto open = [this, &record] {
        ON_MemoryArchive in(record.data(), record.size());
        return plugIn().ReadDocument(doc(), in, CVezadFileReadOptions()) != FALSE;
    };
    const auto load = [this](const std::string& path) {
        return [this, path] { return command("_MWLoadMesh File=Yes file:" + path) == 0; };
    };
    const struct Case {
        const char* what;
        std::function<bool()> read;
    } cases[] = {
        {"document of 5,000 facets scattered over 1,000 vertices", open},
        {"the same mesh in a POL file, loaded", load(pol)},
        {"the same mesh in an STL file, loaded", load(stl)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        plugIn().meshObjects.removeAll();
        CaptureStdout();
        bool read = false;
        // The outline is made when a wireframe view first asks for it.
        const Cost cost = measure([&] {
            read = c.read();
            if (read && plugIn().meshObjects.count == 1)
                (void)plugIn().meshObjects[0]->sectionCurves();
        });
        const std::string printed = GetCapturedStdout();
        EXPECT_TRUE(read) << printed;
        ASSERT_EQ(plugIn().meshObjects.count, 1);
        const CMWMeshObject* object = plugIn().meshObjects[0];
        ASSERT_NE(object->mesh, nullptr);
        EXPECT_EQ(object->mesh->getFacetCount(), 5000);
        EXPECT_NE(printed.find("the mesh's sections along its major and middle axes break into "
                               "more than 20000 pieces: they are left out of its outline.\n"),
                  std::string::npos)
            << printed;
        // The outline is the boundary's loops alone.
        BoundaryEdgeList edges;
        BoundaryLoopList loops;
        ASSERT_TRUE(collectBoundaryLoops(object->mesh, edges, loops));
        EXPECT_GT(loops.count, 0);
        EXPECT_EQ(object->sectionCurves().count, loops.count);
        // Most of what remains is the facet hash (about 100 MB here).
        EXPECT_LT(cost.seconds, 4.0);
        EXPECT_LT(cost.growthKB, 192 * 1024);
    }
}
