#include "MeshwrightHost.h"

#include "display/entities/OpenGLMesh.h"
#include "mesh/PolFormat.h"
#include "net/PointList.h"
#include "platform/Diagnostics.h"
#include "support/GridFixtures.h"
#include "support/NurbsFixtures.h"
#include "support/ReadPng.h"
#include "support/ScratchDir.h"

#include <climits>
#include <filesystem>
#include <map>

namespace {

// How many pixels of the view have each colour (0xRRGGBB), from a capture.
std::map<unsigned, int> colourCounts(CVezadView& view)
{
    std::map<unsigned, int> counts;
    const std::string path = mwtest::scratchPath("view.png");
    std::string reason;
    std::vector<unsigned char> pixels;
    int width = 0, height = 0;
    EXPECT_TRUE(view.capture(path, reason)) << reason;
    EXPECT_TRUE(mwtest::readPng(path, width, height, pixels));
    for (std::size_t k = 0; k + 3 < pixels.size(); k += 4)
        ++counts[(unsigned(pixels[k]) << 16) | (unsigned(pixels[k + 1]) << 8) | pixels[k + 2]];
    return counts;
}

unsigned hostRgb(const float* c)
{
    auto byte = [](float v) { return unsigned(int(v * 255.0f)); };
    return (byte(c[0]) << 16) | (byte(c[1]) << 8) | byte(c[2]);
}

TEST_F(MeshwrightHost, ArchiveHoldsOneCompressedPolImageAndRestoresTheMesh)
{
    CMWMeshObject* object = addMeshObject();
    char* image = nullptr;
    unsigned imageSize = 0;
    ASSERT_TRUE(serializeMesh(object->mesh, &image, false, &imageSize));
    delete[] image;

    ON_MemoryArchive archive;
    bool written = false;
    const std::string out = mwtest::capturedStdout([&] { written = object->Write(archive); });
    EXPECT_TRUE(written);
    EXPECT_EQ(out, "MWMeshObject::Write called\nobuffer size=" + std::to_string(imageSize) + "\n");

    ON_MemoryArchive reading(archive.Buffer());
    std::size_t size = 0;
    ASSERT_TRUE(reading.ReadCompressedBufferSize(&size));
    EXPECT_EQ(size, imageSize);
    CMWMeshObject restored;
    bool read = false;
    const std::string in = mwtest::capturedStdout([&] { read = restored.Read(reading); });
    ASSERT_TRUE(read);
    EXPECT_TRUE(reading.AtEnd()); // one buffer and nothing else
    EXPECT_NE(in.find("ibuffer size=" + std::to_string(imageSize) + "\n"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(Platform::diagnosticsPath("c:/tmp/test.pol")), imageSize);
    ASSERT_NE(restored.mesh, nullptr);
    EXPECT_EQ(restored.mesh->getVertexCount(true), object->mesh->getVertexCount(true));
    EXPECT_EQ(restored.mesh->getFacetCount(), object->mesh->getFacetCount());
    EXPECT_GT(restored.sectionCurves().count, 0);
    const ON_BoundingBox box = restored.BoundingBox();
    EXPECT_EQ(box.m_min.x, -1.0);
    EXPECT_EQ(box.m_max.y, 1.0);
    // The host geometry answers the cached box and refuses to move.
    ON_BoundingBox geometryBox = restored.Geometry()->BoundingBox();
    EXPECT_EQ(geometryBox.m_max.x, 1.0);
    auto* geometry = const_cast<ON_Geometry*>(restored.Geometry());
    bool moved = true;
    EXPECT_EQ(mwtest::capturedStdout([&] { moved = geometry->Transform(ON_Xform()); }),
              "XTrans on Object called.\n");
    EXPECT_FALSE(moved);
    EXPECT_EQ(restored.ObjectType(), 32);
}

TEST_F(MeshwrightHost, ObjectWithoutMeshWritesNothingAndHasNoBox)
{
    CMWMeshObject empty;
    ON_MemoryArchive archive;
    bool written = false;
    EXPECT_EQ(mwtest::capturedStdout([&] { written = empty.Write(archive); }),
              "MWMeshObject::Write called\n");
    EXPECT_TRUE(written);
    EXPECT_TRUE(archive.Buffer().empty());
    EXPECT_TRUE(empty.BoundingBox().IsEmpty());
    ON_MemoryArchive nothing(archive.Buffer());
    EXPECT_FALSE(empty.Read(nothing));
    EXPECT_EQ(empty.mesh, nullptr);
}

// Only the object that holds the net's mesh takes the net with it when it
// is destroyed. Another one, say an older object purged from the undo
// history, used to empty the net and leave it without a mesh.
TEST_F(MeshwrightHost, DestroyingAnotherMeshObjectLeavesTheNetAlone)
{
    CMWMeshObject* current = addMeshObject();
    CMWMeshObject* other = addMeshObject(false);
    addHashNet(0.5f);
    GB::CSurfaceNet& net = plugIn().net;
    ASSERT_EQ(net.getNumPointLists(), 6);
    ASSERT_NE(net.firstFace, nullptr);
    ASSERT_TRUE(doc().PurgeObject(other));
    EXPECT_EQ(net.mesh, current->mesh);
    EXPECT_EQ(net.getNumPointLists(), 6);
    EXPECT_NE(net.firstFace, nullptr);
    ASSERT_TRUE(doc().PurgeObject(current));
    EXPECT_EQ(net.mesh, nullptr);
    EXPECT_EQ(net.getNumPointLists(), 0);
    EXPECT_EQ(net.firstFace, nullptr);
    EXPECT_EQ(plugIn().meshObjects.count, 0);
}

TEST_F(MeshwrightHost, ReadRefusesAnImageThatFailsItsCrc)
{
    CMWMeshObject* object = addMeshObject();
    ON_MemoryArchive archive;
    ASSERT_TRUE(object->Write(archive));
    // Size (8), CRC (4) and compressed size (8) head the record; the stored
    // CRC no longer matches when it is changed.
    std::vector<unsigned char> bytes = archive.Buffer();
    bytes[9] ^= 0x5a;
    ON_MemoryArchive corrupted(bytes);
    CMWMeshObject restored;
    EXPECT_FALSE(restored.Read(corrupted));
    EXPECT_EQ(restored.mesh, nullptr);
}

TEST_F(MeshwrightHost, DisplayEntityIsMadeOnceAndFollowsVisibility)
{
    CMWMeshObject* object = addMeshObject(); // added: the host has shown it
    COpenGLEntity* first = object->glEntity();
    object->showGLEntity();
    ASSERT_EQ(object->glEntity(), first);
    auto* entity = dynamic_cast<COpenGLMesh*>(first);
    ASSERT_NE(entity, nullptr);
    int named = 0;
    for (const COpenGLEntity* stored : plugIn().net.displayContainer.entities)
        named += std::string(stored->getName().c_str()) == "MeshwrightMesh" ? 1 : 0;
    EXPECT_EQ(named, 1);
    EXPECT_STREQ(entity->getName().c_str(), "MeshwrightMesh");
    const float front[4] = {0.870588f, 0.721569f, 0.529412f, 1.0f};
    const float back[4] = {0.45f, 0.721569f, 0.729412f, 1.0f};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(entity->frontColour[k], front[k]);
        EXPECT_EQ(entity->backColour[k], back[k]);
    }
    EXPECT_EQ(static_cast<unsigned>(entity->layer), 0x80000000u);
    EXPECT_TRUE(plugIn().net.depthTest);

    for (bool visible : {false, true}) {
        ON_3dmObjectAttributes attributes = object->Attributes();
        attributes.SetVisible(visible);
        EXPECT_TRUE(object->ModifyAttributes(attributes, true, false));
        EXPECT_EQ(entity->hidden, !visible);
    }
    object->hideGLEntity();
    EXPECT_TRUE(entity->hidden);
    EXPECT_FALSE(object->shown);
    markMeshEntityChanged(object);
    EXPECT_TRUE(entity->dirty);
}

TEST_F(MeshwrightHost, PickFindsTheMeshAlongTheLineOrNothing)
{
    // A closed cube [0, 1]^3: a line beside it meets nothing (a mesh with a
    // boundary would give the nearest boundary point instead).
    auto* mesh = new CFlatMesh;
    mwtest::fillFlatMesh(mwtest::cubeSoup(1.0), *mesh);
    auto* object = new CMWMeshObject;
    attachMesh(object, mesh);
    ASSERT_TRUE(doc().AddObject(object));

    ON_ClassArray<CVezadObjRef> picks;
    EXPECT_EQ(object->pick(view().pickContext(60, 180), picks), 0);
    EXPECT_EQ(picks.Count(), 0);
    ASSERT_EQ(object->pick(view().pickContext(240, 60), picks), 1);
    ASSERT_EQ(picks.Count(), 1);
    ON_3dPoint hit;
    ASSERT_TRUE(picks[0].SelectionPoint(hit));
    double x = 0.0, y = 0.0;
    ASSERT_TRUE(view().ActiveViewport().worldToScreen(hit, x, y));
    EXPECT_NEAR(x, 240.0, 1.0);
    EXPECT_NEAR(y, 60.0, 1.0);
    EXPECT_NEAR(hit.z, 1.0, 1e-6); // the top face, nearest the camera
    EXPECT_EQ(picks[0].m_uuid, object->ModelObjectId());
}

TEST_F(MeshwrightHost, WireframeViewShowsSectionsAndGridCurvesShadedViewNothing)
{
    if (!view().hasContext())
        GTEST_SKIP() << "no offscreen OpenGL";
    addMeshObject();
    GB::CSurfaceNet& net = plugIn().net;
    COffset_PointList* lines[2] = {
        mwtest::polyLine(net, {mwtest::gridPoint(-0.9f, -0.5f), mwtest::gridPoint(0.0f, -0.4f),
                               mwtest::gridPoint(0.9f, -0.5f)}),
        mwtest::polyLine(net, {mwtest::gridPoint(-0.9f, 0.5f), mwtest::gridPoint(0.0f, 0.4f),
                               mwtest::gridPoint(0.9f, 0.5f)})};
    for (COffset_PointList* line : lines) {
        std::vector<Vector> points;
        for (const CVertex<float, 3>* p : line->vertices)
            points.emplace_back((*p)[0], (*p)[1], 0.0);
        line->setCurve(clampedCurve(points, 2).release(), Kor::List<double>(), 0, -1);
    }
    net.currentPointList = lines[0];

    // In shaded views the object leaves the drawing to the plug-in's draw
    // callback: without it only the background shows.
    CVezadDrawCallback* callback = plugIn().drawCallback;
    ASSERT_TRUE(view().RemoveDrawCallback(callback));
    view().Redraw();
    std::map<unsigned, int> shaded = colourCounts(view());
    EXPECT_EQ(shaded.size(), 1u); // the background alone
    ASSERT_TRUE(view().AddDrawCallback(callback));

    view().ActiveViewport().setShaded(false);
    view().Redraw();
    std::map<unsigned, int> wire = colourCounts(view());
    EXPECT_GT(wire[0x000000], 200); // section curves in the default draw colour
    EXPECT_GT(wire[hostRgb(net.colours[CurrentPointListColour])], 50);
    EXPECT_GT(wire[hostRgb(net.colours[6])], 50);
    EXPECT_GT(wire[hostRgb(net.colours[VertexColour])], 0);
    EXPECT_EQ(view().ActiveViewport().DrawColor().Red(), 0);
}

} // namespace
