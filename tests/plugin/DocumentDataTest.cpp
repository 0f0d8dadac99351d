#include "MeshwrightHost.h"

#include "mesh/PolFormat.h"

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
    char* image = nullptr;
    unsigned size = 0;
    ASSERT_TRUE(serializeMesh(object->mesh, &image, false, &size));
    std::unique_ptr<char[]> owned(image);
    const CVezadObject* curve =
        doc().AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));

    struct Case {
        int version, mode;
        bool corruptMesh, loseLoop;
        int meshes, refs; // expected afterwards
        int modeRead;
        bool whole;
    };
    const Case cases[] = {
        {2, 4, false, false, 1, 1, 0, true}, // references, no display settings
        {3, 4, false, false, 1, 0, 4, true}, // display settings, no references
        {3, 5, false, false, 1, 0, 0, true}, // a mode out of range reads as 0
        {4, 0, false, true, 1, 1, 0, false}, // a stored face is lost
        {4, 0, true, false, 0, 1, 0, false}, // the mesh is lost, the net still read
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
        const std::string& net = c.loseLoop ? lostLoop : text;
        record.WriteCompressedBuffer(net.size() + 1, net.c_str());
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

    // Negative counts are none, and a record cut short stops quietly.
    ON_MemoryArchive record;
    for (int v : {4, -3, 0, 0, -1})
        record.WriteInt(v);
    EXPECT_TRUE(readRecord(plugIn(), doc(), record));
    EXPECT_EQ(plugIn().objectRefs.count, 0);
    EXPECT_EQ(plugIn().meshObjects.count, 0);
    EXPECT_EQ(plugIn().net.pointLists.count, 0);
}

} // namespace
