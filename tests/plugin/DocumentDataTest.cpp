#include "MeshwrightHost.h"

#include "mesh/PolFormat.h"
#include "platform/host/DocumentFile.h"
#include "support/DocumentBlocks.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string netText(GB::CSurfaceNet& net)
{
    std::ostringstream out;
    net.write(out);
    return out.str();
}

std::vector<int> facetCounts(const CMeshwrightPlugIn& plugIn)
{
    std::vector<int> counts;
    for (const CMWMeshObject* object : plugIn.meshObjects)
        counts.push_back(object->mesh ? object->mesh->getFacetCount() : -1);
    return counts;
}

// Reads a record through the plug-in as the host's open would; its answer.
bool readRecord(CMeshwrightPlugIn& plugIn, CVezadDoc& doc, const ON_MemoryArchive& written)
{
    ON_MemoryArchive in(written.Buffer());
    return plugIn.ReadDocument(doc, in, CVezadFileReadOptions()) != FALSE;
}

// Save and open keep the meshes in order, the net, the faces' display
// settings and the last commit's references; deleted mesh objects are left
// out or asked for.
TEST_F(MeshwrightHost, SaveAndOpenRestoreMeshesNetDisplayAndReferences)
{
    addMeshObject(true, 4);
    addMeshObject(true, 6);
    addHashNet(0.5f);
    const std::string text = netText(plugIn().net);
    ASSERT_NE(plugIn().net.firstFace, nullptr);
    plugIn().net.displayContainer.setFaceDisplayMode(4, true);
    const CVezadObject* committed =
        doc().AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));
    plugIn().objectRefs.append(CVezadObjRef(committed));
    const ON_UUID committedId = committed->ModelObjectId();

    ASSERT_TRUE(saveAndReopen());
    EXPECT_EQ(facetCounts(plugIn()), (std::vector<int>{32, 72}));
    EXPECT_EQ(plugIn().net.mesh, plugIn().meshObjects[1]->mesh);
    EXPECT_EQ(netText(plugIn().net), text);
    int mode = 0;
    bool edges = false;
    plugIn().net.displayContainer.getFaceDisplayMode(mode, edges);
    EXPECT_EQ(mode, 4);
    EXPECT_TRUE(edges);
    ASSERT_EQ(plugIn().objectRefs.count, 1);
    EXPECT_EQ(plugIn().objectRefs[0].m_uuid, committedId);
    for (const CMWMeshObject* object : plugIn().meshObjects)
        EXPECT_TRUE(plugIn().watcher.FindUuid(object->ModelObjectId()));
    // Those of the closed document's mesh objects are forgotten: a file may
    // give their ids to other objects.
    EXPECT_EQ(plugIn().watcher.Count(), 2);

    // With the first of the two deleted, the other mesh and the net are
    // written and restored.
    ASSERT_TRUE(doc().DeleteObject(CVezadObjRef(plugIn().meshObjects[0])));
    // With the other deleted too, the save's No brings back the mesh the net
    // went onto, not the one deleted before (as a replacing load deletes).
    ASSERT_TRUE(doc().DeleteObject(CVezadObjRef(plugIn().meshObjects[0])));
    VezadApp().InputQueue().pushFront({"no"});
    EXPECT_TRUE(plugIn().CallWriteDocument(CVezadFileWriteOptions()));
    EXPECT_EQ(facetCounts(plugIn()), (std::vector<int>{72}));
    ASSERT_TRUE(saveAndReopen());
    EXPECT_EQ(facetCounts(plugIn()), (std::vector<int>{72}));
    EXPECT_EQ(netText(plugIn().net), text);

    // With all deleted, the save asks first: Yes writes nothing, No brings
    // them back and writes.
    ASSERT_TRUE(doc().DeleteObject(CVezadObjRef(plugIn().meshObjects[0])));
    ASSERT_EQ(plugIn().meshObjects.count, 0);
    VezadApp().InputQueue().pushFront({"yes"});
    EXPECT_FALSE(plugIn().CallWriteDocument(CVezadFileWriteOptions()));
    EXPECT_EQ(plugIn().meshObjects.count, 0);
    VezadApp().InputQueue().pushFront({"no"});
    EXPECT_TRUE(plugIn().CallWriteDocument(CVezadFileWriteOptions()));
    EXPECT_EQ(facetCounts(plugIn()), (std::vector<int>{72}));
    EXPECT_TRUE(
        boxShown("There are deleted MWMeshObjects and Grids. Do you really want to loose them ?",
                 "Meshwright"));
}

// Older record versions, display modes out of range, a corrupted mesh
// buffer, a net whose stored face finds no loop and counts that cannot be
// right, read from hand-built records. A record that loses anything answers
// FALSE, so that the host's open says so.
TEST_F(MeshwrightHost, RecordVersionsAndDamagedRecordsRead)
{
    CMWMeshObject* object = addMeshObject(true, 4);
    addHashNet(0.5f);
    const std::string text = netText(plugIn().net);
    // The same net with the first stored loop walked the other way round.
    std::string lostLoop = text;
    {
        const std::size_t from =
            lostLoop.find(" 0\n4 ", lostLoop.find("GeoObject End\n 0\n4 ")) + 5;
        const std::size_t to = lostLoop.find("\n\n", from);
        std::istringstream entries(lostLoop.substr(from, to - from));
        std::vector<std::string> lines;
        for (std::string line; std::getline(entries, line);)
            lines.push_back(line);
        ASSERT_EQ(lines.size(), 4u);
        lostLoop.replace(from, to - from,
                         lines[0] + "\n" + lines[3] + "\n" + lines[2] + "\n" + lines[1]);
    }
    // The same net with the first stored face a trimmed face on the unit
    // square, written as the writer writes it, whose second trim curve runs
    // to v = 2147483647: read without it.
    std::string cutTrim = text;
    {
        int ids = 0;
        const auto object = [&](const std::string& degrees, const std::string& points) {
            char id[40];
            std::snprintf(id, sizeof id, "00000000-0000-0000-0000-%012d", ++ids);
            return "GeoObject Begin\n36H" + std::string(id) +
                   "\n0H\nLayer -1\nGeoObject End\nBegin(Constraints)\n1\nweights "
                   "fixAllWeights \n" +
                   degrees + points + "\n";
        };
        const auto curve = [&](const char* a, const char* b) {
            return object("p=1 n=1 ClampedEnd Uniform\np=0 n=0 ClampedEnd Uniform\n",
                          std::string("P 0,0 = [") + a + "] 1\nP 1,0 = [" + b + "] 1\n");
        };
        const std::string plane =
            object("p=1 n=1 ClampedEnd Uniform\np=1 n=1 ClampedEnd Uniform\n",
                   "P 0,0 = [0,0,0] 1\nP 1,0 = [1,0,0] 1\nP 0,1 = [0,1,0] 1\nP 1,1 = [1,1,0] 1\n");
        const std::size_t tail = cutTrim.rfind("\n0\n 0\n", text.find("GeoObject End\n 0\n4 "));
        const std::size_t states = cutTrim.rfind("GeoObject End\n", tail) + 14;
        cutTrim.replace(states, tail + 3 - states,
                        "Trimmed\nTrimmed\n1\nFace=\nSenseData=forward\nMeshType=0\n"
                        "MeshDistance=10\nMeshArcTol=1\n" +
                            plane + "\n1\n2\n" + curve("0,0,0", "1,1,0") + "\n" +
                            curve("0,0,0", "1,1,0") + "\n" + curve("1,1,0", "0,2147483647,0") +
                            "\n" + curve("1,1,0", "0,1,0") + "\nListOfCONS 0\n");
    }
    char* image = nullptr;
    unsigned size = 0;
    ASSERT_TRUE(serializeMesh(object->mesh, &image, false, &size));
    std::unique_ptr<char[]> owned(image);
    const CVezadObject* curve =
        doc().AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));

    struct Case {
        int version, mode;
        bool corruptMesh;
        const std::string& net;
        int meshes, refs; // expected afterwards
        int modeRead;
        bool whole;
    };
    const Case cases[] = {
        {2, 4, false, text, 1, 1, 0, true},      // references, no display settings
        {3, 4, false, text, 1, 0, 4, true},      // display settings, no references
        {3, 5, false, text, 1, 0, 0, true},      // a mode out of range reads as 0
        {4, 0, false, lostLoop, 1, 1, 0, false}, // a stored face is lost
        {4, 0, false, cutTrim, 1, 1, 0, false},  // a stored face loses a trim curve
        {4, 0, true, text, 0, 1, 0, false},      // the mesh is lost, the net still read
    };
    plugIn().meshObjects.removeAll(); // as the document's close leaves it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version * 10 + c.mode);
        ON_MemoryArchive record;
        record.WriteInt(c.version);
        if (c.version == 2 || c.version >= 4) {
            record.WriteInt(1);
            CVezadObjRef(curve).Write(record);
        }
        if (c.version >= 3) {
            record.WriteInt(1);
            record.WriteInt(c.mode);
        }
        record.WriteInt(1);
        const std::size_t meshAt = record.CurrentPosition();
        record.WriteCompressedBuffer(size, image);
        record.WriteCompressedBuffer(c.net.size() + 1, c.net.c_str());
        std::vector<unsigned char> bytes = record.Buffer();
        if (c.corruptMesh)
            bytes[meshAt + 40] ^= 0x5a; // inside the deflated image
        plugIn().net.displayContainer.setFaceDisplayMode(1, false);
        const std::size_t boxesBefore = boxes().size();
        EXPECT_EQ(readRecord(plugIn(), doc(), ON_MemoryArchive(bytes)), c.whole);
        EXPECT_EQ(plugIn().meshObjects.count, c.meshes);
        EXPECT_EQ(plugIn().objectRefs.count, c.refs);
        int mode = -1;
        bool edges = false;
        plugIn().net.displayContainer.getFaceDisplayMode(mode, edges);
        EXPECT_EQ(mode, c.version >= 3 ? c.modeRead : 1);
        EXPECT_EQ(boxShown("Mesh restore failed", "Meshwright"), c.corruptMesh);
        EXPECT_EQ(boxes().size() - boxesBefore, c.corruptMesh ? 1u : 0u);
        EXPECT_EQ(plugIn().net.pointLists.count, 6);
        plugIn().meshObjects.removeAll();
    }

    // Negative counts are no counts of a record: nothing is restored and
    // the read answers the loss.
    ON_MemoryArchive record;
    for (int v : {4, -3, 0, 0, -1})
        record.WriteInt(v);
    EXPECT_FALSE(readRecord(plugIn(), doc(), record));
    EXPECT_EQ(plugIn().objectRefs.count, 0);
    EXPECT_EQ(plugIn().meshObjects.count, 0);
    EXPECT_EQ(plugIn().net.pointLists.count, 0);
}

} // namespace

namespace {

void putInt(std::string& bytes, std::size_t at, int value)
{
    for (int k = 0; k < 4; ++k)
        bytes[at + std::size_t(k)] = char(std::uint32_t(value) >> (8 * k));
}

std::string compressedBuffer(const std::string& bytes)
{
    ON_MemoryArchive out;
    out.WriteCompressedBuffer(bytes.size(), bytes.data());
    return std::string(out.Buffer().begin(), out.Buffer().end());
}

} // namespace

// A plug-in record that cannot be read whole (a count its bytes do not
// match, a cut at a record boundary, a mesh image or net text that does
// not read) refuses the open with one line naming what of the record is
// wrong, and the open document stays as it was; a mesh count changed from
// 1 to 0 or -1 opened with result 0 and the mesh and the net gone.
TEST_F(MeshwrightHost, DocumentRecordNotReadWholeRefusesTheOpen)
{
    addMeshObject(true, 4);
    addHashNet(0.5f);
    const CVezadObject* committed =
        doc().AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));
    plugIn().objectRefs.append(CVezadObjRef(committed));
    const ON_UUID committedId = committed->ModelObjectId();
    const std::string text = netText(plugIn().net);
    // Saved as the user saves; each record below goes into the file with its
    // block's check sum made to fit, as a writer with a fault of its own
    // would write it: the record's own checks are the ones that refuse it.
    const std::string saved = mwtest::scratchPath("saved.vzd");
    ASSERT_EQ(command("-_Save \"" + saved + "\""), 0);
    std::vector<unsigned char> file;
    {
        std::ifstream in(saved, std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The plug-in's record is the body of the file's last block, after its
    // plug-in id.
    ON_MemoryArchive written;
    ASSERT_TRUE(plugIn().WriteDocument(doc(), written, CVezadFileWriteOptions()));
    const std::string record(written.Buffer().begin(), written.Buffer().end());
    const std::size_t body = mwtest::lastBlockBody(file);
    ASSERT_EQ(std::string(file.begin() + std::ptrdiff_t(body + 16), file.end()), record);
    const auto documentWith = [&file](const std::string& changed) {
        const std::vector<unsigned char> bytes = mwtest::withLastRecord(file, changed);
        EXPECT_FALSE(bytes.empty());
        return std::string(bytes.begin(), bytes.end());
    };
    // Version, one reference (28 bytes), the display settings, the mesh
    // count, the mesh's buffer and the net's.
    const std::size_t refCountAt = 4, meshCountAt = 44, meshAt = 48;
    const std::size_t netAt = meshAt + 20 + std::size_t(std::uint8_t(record[meshAt + 12])) +
                              256 * std::size_t(std::uint8_t(record[meshAt + 13]));
    ASSERT_LT(netAt, record.size());
    const std::string left = std::to_string(record.size() - meshAt);

    const auto withInt = [&record](std::size_t at, int value) {
        std::string damaged = record;
        putInt(damaged, at, value);
        return damaged;
    };
    const auto withNet = [&record, netAt](const std::string& bytes) {
        return record.substr(0, netAt) + compressedBuffer(bytes);
    };
    const auto withText = [&withNet](const std::string& netText) {
        return withNet(netText + std::string(1, '\0'));
    };
    const auto replaced = [&text](const std::string& from, const std::string& to) {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text
                                       : text.substr(0, at) + to + text.substr(at + from.size());
    };
    // The net text up to its "Polylines" line and 3 k lines after it.
    const auto cutAfterLines = [&text](int k) {
        std::size_t at = text.find("\nPolylines ");
        EXPECT_NE(at, std::string::npos);
        for (int line = 0; line <= 3 * k && at != std::string::npos; ++line)
            at = text.find('\n', at + 1);
        return text.substr(0, at == std::string::npos ? text.size() : at + 1);
    };
    const auto flipped = [&record](std::size_t at) {
        std::string damaged = record;
        damaged[at] = char(damaged[at] ^ 0x5a);
        return damaged;
    };
    // The mesh's image with a word changed, packed anew.
    std::string image;
    {
        ON_MemoryArchive in(record.data() + meshAt, record.size() - meshAt);
        std::size_t size = 0;
        int crcFailed = 0;
        ASSERT_TRUE(in.ReadCompressedBufferSize(&size));
        image.assign(size, '\0');
        ASSERT_TRUE(in.ReadCompressedBuffer(size, image.data(), &crcFailed));
    }
    const auto withImageWord = [&](std::size_t at, int value) {
        std::string changed = image;
        putInt(changed, at, value);
        return record.substr(0, meshAt) + compressedBuffer(changed) + record.substr(netAt);
    };
    const int vertices = int(std::uint8_t(image[196]) | std::uint8_t(image[197]) << 8);
    // The first polygon, after the header and the vertex block.
    const std::size_t polygon = 512 + 12 * std::size_t(vertices);
    // A buffer's head declaring a size beyond the 32 times its bytes that a
    // mesh image or a net text inflates at the most (its data unread).
    const auto oversize = [&record](std::size_t at) {
        std::uint64_t packed = 0;
        for (int k = 7; k >= 0; --k)
            packed = packed << 8 | std::uint8_t(record[at + 12 + std::size_t(k)]);
        return 32 * (packed + 20) + 4097;
    };
    const auto oversized = [&record, &oversize](std::size_t at) {
        std::string damaged = record;
        const std::uint64_t size = oversize(at);
        for (int k = 0; k < 8; ++k)
            damaged[at + std::size_t(k)] = char(size >> (8 * k));
        return damaged;
    };
    int meshCountOfRef = 0;
    for (int k = 3; k >= 0; --k)
        meshCountOfRef =
            int(std::uint32_t(meshCountOfRef) << 8 | std::uint8_t(record[16 + std::size_t(k)]));
    const std::string netBytes = std::to_string(text.size() + 1);

    struct Case {
        const char* what;
        std::string record;
        std::string problem;          // empty: the record reads whole
        const char* unread = nullptr; // a line of a reader that must not start
    };
    const Case cases[] = {
        {"mesh count 0", withInt(meshCountAt, 0),
         "its mesh count 0 ends the record, but " + left + " bytes follow"},
        {"mesh count -1", withInt(meshCountAt, -1), "its mesh count -1 is negative"},
        {"mesh count 2", withInt(meshCountAt, 2), "mesh 2 of 2 cannot be restored"},
        {"mesh count 2^31 - 1", withInt(meshCountAt, 2147483647),
         "its mesh count 2147483647 is more than the " + left + " bytes after it can hold"},
        {"mesh count 2^31", withInt(meshCountAt, int(0x80000000u)),
         "its mesh count -2147483648 is negative"},
        // The reference read as the display settings, and its id as the
        // mesh count.
        {"reference count 0", withInt(refCountAt, 0),
         "its mesh count " + std::to_string(meshCountOfRef) + " is more than the " +
             std::to_string(record.size() - 20) + " bytes after it can hold"},
        {"reference count 2", withInt(refCountAt, 2), "reference 2 of 2 is damaged"},
        {"reference count -1", withInt(refCountAt, -1), "its reference count -1 is negative"},
        {"reference count 2^31 - 1", withInt(refCountAt, 2147483647),
         "its reference count 2147483647 is more than the " + std::to_string(record.size() - 8) +
             " bytes after it can hold"},
        {"cut inside the version", record.substr(0, 2), "the record ends before its version"},
        {"cut after the version", record.substr(0, 4),
         "the record ends before its reference count"},
        {"cut after the reference count", record.substr(0, 8),
         "its reference count 1 is more than the 0 bytes after it can hold"},
        {"cut after the reference", record.substr(0, 36),
         "the record ends inside its display settings"},
        {"cut after the display settings", record.substr(0, meshCountAt),
         "the record ends before its mesh count"},
        {"cut after the mesh count", record.substr(0, meshAt),
         "its mesh count 1 is more than the 0 bytes after it can hold"},
        {"cut inside the mesh's buffer", record.substr(0, meshAt + 30),
         "mesh 1 of 1 cannot be restored"},
        {"cut after the mesh's buffer", record.substr(0, netAt),
         "the net text after mesh 1 is missing or cut short"},
        {"cut inside the net's buffer", record.substr(0, record.size() - 1),
         "the net text after mesh 1 is missing or cut short"},
        {"bytes after the net's buffer", record + std::string(4, '\0'),
         "4 bytes follow the net text, the record's end"},
        // Every buffer's check sum comes first: the net was read and its
        // faces built after a damaged mesh (seconds of a large document).
        {"mesh image damaged", flipped(meshAt + 40), "mesh 1 of 1 cannot be restored", "model has"},
        {"mesh image with a vertex more than it holds", withImageWord(196, vertices + 1),
         "mesh 1 of 1 cannot be restored"},
        // An image that names a vertex it does not have opened with 0 and
        // that facet left out, and the next save wrote the mesh without it.
        {"mesh image naming vertex -1", withImageWord(polygon + 12, -1),
         "mesh 1 of 1 cannot be restored"},
        {"mesh image naming vertex n", withImageWord(polygon + 12, vertices),
         "mesh 1 of 1 cannot be restored"},
        {"mesh image naming vertex n + 1", withImageWord(polygon + 12, vertices + 1),
         "mesh 1 of 1 cannot be restored"},
        {"mesh image naming vertex 2^31 - 1", withImageWord(polygon + 12, 2147483647),
         "mesh 1 of 1 cannot be restored"},
        {"mesh image with a third block count", withImageWord(212, 3),
         "mesh 1 of 1 cannot be restored"},
        {"mesh image inflating over 32 times", oversized(meshAt), "mesh 1 of 1 cannot be restored"},
        {"net text damaged", flipped(netAt + 40),
         "its net text does not inflate to its " + netBytes + " bytes and their check sum"},
        // The check sum refuses a buffer before its reader starts: the text
        // was read whole and its faces built first, the image read.
        {"net text damaged at its end", flipped(record.size() - 6),
         "its net text does not inflate to its " + netBytes + " bytes and their check sum",
         "model has"},
        {"mesh image damaged at its end", flipped(netAt - 6), "mesh 1 of 1 cannot be restored",
         "ibuffer size="},
        {"net text inflating over 32 times", oversized(netAt),
         "its net text of " + std::to_string(oversize(netAt)) +
             " bytes inflates more than 32 times"},
        {"net text without its NUL", withNet(text),
         "its net text of " + std::to_string(text.size()) + " bytes has no terminating NUL"},
        {"net text with bytes after its NUL", withNet(text + std::string(1, '\0') + "0\n"),
         "its net text ends at byte " + std::to_string(text.size()) + " of its " +
             std::to_string(text.size() + 3)},
        {"net text naming a node past the end", withText(replaced("\n0 1 2\n", "\n0 1 12\n")),
         "its net text cannot be read whole"},
        // A net text that ends before its declared poly-lines: read as a
        // smaller net (or none) before.
        {"net text cut after its poly-line count", withText(cutAfterLines(0)),
         "its net text cannot be read whole"},
        {"net text cut inside its poly-lines", withText(cutAfterLines(3)),
         "its net text cannot be read whole"},
        {"the record as written", record, ""},
    };
    const std::string damaged = mwtest::scratchPath("damaged.vzd");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << documentWith(c.record);
        const std::vector<CMWMeshObject*> meshes(plugIn().meshObjects.begin(),
                                                 plugIn().meshObjects.end());
        const int objects = doc().ObjectCount();
        const std::size_t before = transcript().size();
        const std::size_t outBefore = m_host.standardOutput().size();
        const int result = command("_Open \"" + damaged + "\"");
        const std::string printed = transcript().substr(before);
        if (c.problem.empty()) {
            EXPECT_EQ(result, 0) << printed;
            EXPECT_EQ(netText(plugIn().net), text);
            EXPECT_EQ(plugIn().meshObjects.count, 1);
            continue;
        }
        EXPECT_EQ(result, 3);
        if (c.unread != nullptr) {
            const std::string out = m_host.standardOutput().substr(outBefore);
            EXPECT_EQ(out.find(c.unread), std::string::npos) << out;
        }
        EXPECT_NE(
            printed.find(damaged +
                         " not opened: the data of plug-in Meshwright cannot be read whole: " +
                         c.problem + "\n"),
            std::string::npos)
            << printed;
        EXPECT_EQ(doc().ObjectCount(), objects);
        EXPECT_EQ(
            std::vector<CMWMeshObject*>(plugIn().meshObjects.begin(), plugIn().meshObjects.end()),
            meshes);
        EXPECT_EQ(netText(plugIn().net), text);
        ASSERT_EQ(plugIn().objectRefs.count, 1);
        EXPECT_EQ(plugIn().objectRefs[0].m_uuid, committedId);
    }

    // One bit flipped in the record's plug-in id opened the document with
    // result 0 without its mesh and net, and the next save dropped them for
    // good: the open says so, and the save keeps the record as it was.
    file[body] ^= 1;
    const std::string foreign = documentWith(record);
    std::ofstream(damaged, std::ios::binary | std::ios::trunc) << foreign;
    EXPECT_EQ(command("_Open \"" + damaged + "\""), 3);
    EXPECT_NE(transcript().find(damaged + " opened, but the data of plug-in "), std::string::npos);
    EXPECT_EQ(plugIn().meshObjects.count, 0);
    ASSERT_EQ(command("-_Save \"" + saved + "\""), 0);
    std::ifstream in(saved, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), foreign);
}
