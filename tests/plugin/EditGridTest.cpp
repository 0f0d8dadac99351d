#include "MeshwrightHost.h"

#include "display/OpenGLEntity.h"
#include "plugin/FileFormats.h"

#include <algorithm>

namespace {

bool mouseCallbackEnabled(const CMWMouseCallback& callback)
{
    const auto& enabled = VezadHost::enabledMouseCallbacks();
    return std::find(enabled.begin(), enabled.end(), &callback) != enabled.end();
}

TEST_F(MeshwrightHost, EditGridSwitchesHookCallbackGripsAndDialogTogether)
{
    CMWMeshObject* object = addMeshObject();
    CMeshwrightPlugIn& p = plugIn();
    for (bool on : {true, false, true, false}) {
        SCOPED_TRACE(on ? "on" : "off");
        EXPECT_EQ(command("_MWEditGrid"), 0);
        EXPECT_EQ(p.editGrid, on);
        EXPECT_EQ(deleteKeyHookHandle() != nullptr, on);
        EXPECT_EQ(mouseCallbackEnabled(p.mouseCallback), on);
        EXPECT_EQ(object->CustomGrips() != nullptr, on);
        if (on) {
            EXPECT_EQ(object->CustomGrips()->m_grip_type, 1000);
        }
        EXPECT_EQ(p.infoDialog.IsWindowVisible() != FALSE, on);
        EXPECT_TRUE(p.net.depthTest);
    }
}

TEST_F(MeshwrightHost, DeleteKeyRecordsGridUndoAndUndoSwitchesEditingOn)
{
    addMeshObject();
    CMeshwrightPlugIn& p = plugIn();
    ASSERT_EQ(command("_MWEditGrid"), 0);
    const int records = doc().undoRecordCount();
    const int marks = p.net.undoMarks.count;

    // With the information dialog active the key passes untouched.
    ASSERT_TRUE(hosttest::passes(key("Delete dialog")));
    EXPECT_EQ(doc().undoRecordCount(), records);
    ASSERT_TRUE(hosttest::passes(key("Delete")));
    EXPECT_EQ(doc().undoRecordCount(), records + 1);
    EXPECT_EQ(doc().newestUndoRecordName(), L"MW delete");
    EXPECT_EQ(p.net.undoMarks.count, marks + 1);
    EXPECT_TRUE(mouseCallbackEnabled(p.mouseCallback));

    // Editing off: the hook is gone and Delete records nothing; undoing the
    // grid's record switches editing on again.
    ASSERT_EQ(command("_MWEditGrid"), 0);
    ASSERT_TRUE(hosttest::passes(key("Delete")));
    EXPECT_EQ(doc().undoRecordCount(), records + 1);
    EXPECT_EQ(command("_Undo"), 0);
    EXPECT_NE(transcript().find("Undo MW delete"), std::string::npos);
    EXPECT_TRUE(p.editGrid);
    EXPECT_NE(deleteKeyHookHandle(), nullptr);
}

TEST_F(MeshwrightHost, WatcherFollowsMeshObjectsAndTheNewDocument)
{
    CMeshwrightPlugIn& p = plugIn();
    CMWMeshObject* object = addMeshObject();
    COpenGLEntity* entity = object->glEntity();
    ASSERT_NE(entity, nullptr);
    // Outside grid editing every redraw shows the mesh again.
    ASSERT_EQ(command("_MWEditGrid"), 0);
    for (bool hidden : {true, false}) {
        EXPECT_EQ(command("_MWHideMesh"), 0);
        EXPECT_EQ(entity->hidden, hidden);
    }
    ASSERT_EQ(command("_MWEditGrid"), 0);

    EXPECT_EQ(command("_Delete pick:#0 Enter"), 0);
    EXPECT_EQ(p.meshObjects.count, 0);
    EXPECT_TRUE(entity->hidden);
    EXPECT_EQ(command("_Undo"), 0);
    ASSERT_EQ(p.meshObjects.count, 1);
    EXPECT_EQ(p.meshObjects[0], object);

    addMeshObject(false); // known to the watcher, missing from the list
    EXPECT_EQ(command("_Delete pick:#1 Enter"), 0);
    EXPECT_NE(m_host.standardOutput().find("Remove MeshObject failed!"), std::string::npos);
    EXPECT_EQ(p.meshObjects.count, 1);

    ASSERT_EQ(command("_MWEditGrid"), 0);
    p.objectRefs.append(CVezadObjRef(object));
    EXPECT_EQ(command("_New"), 0);
    EXPECT_EQ(p.meshObjects.count, 0);
    EXPECT_EQ(p.objectRefs.count, 0);
    EXPECT_FALSE(p.editGrid);
    EXPECT_EQ(deleteKeyHookHandle(), nullptr);
    EXPECT_EQ(p.net.mesh, nullptr);
}

TEST_F(MeshwrightHost, MenuCommandWithoutActionKeepsMouseEditingAlive)
{
    addMeshObject();
    CMeshwrightPlugIn& p = plugIn();
    ASSERT_EQ(command("_MWEditGrid"), 0);
    // Ids outside the menus' range and ids without action are not taken;
    // mouse editing goes on after every one of them.
    for (UINT id : {33000u, 33003u, 33014u, 33015u, 33022u, 33025u}) {
        EXPECT_FALSE(p.OnPlugInMenuCommand(id)) << id;
        EXPECT_TRUE(mouseCallbackEnabled(p.mouseCallback)) << id;
    }
    EXPECT_TRUE(p.OnPlugInMenuCommand(33016));
    EXPECT_TRUE(boxShown("pop1", "mw"));
    EXPECT_TRUE(mouseCallbackEnabled(p.mouseCallback));

    // "Patch" runs two commands, whose prompts the menu leaves unanswered;
    // four items name commands the host lacks.
    run("!menu 33005");
    const std::string text = transcript();
    const std::size_t patch = text.find("Select boundary edges");
    EXPECT_NE(patch, std::string::npos);
    EXPECT_NE(text.find("Select Surfaces to Heal", patch), std::string::npos);
    for (UINT id : {33002u, 33009u, 33011u, 33012u})
        EXPECT_TRUE(p.OnPlugInMenuCommand(id));
    for (const char* name : {"MWUnloadMesh", "MWCommitCurves", "MWMatchSrf", "MWUsageInfo"})
        EXPECT_NE(transcript().find(std::string("Unknown command: ") + name), std::string::npos);
    EXPECT_TRUE(mouseCallbackEnabled(p.mouseCallback));
}

TEST(FileFormatTable, NamesAndExtensions)
{
    const std::pair<const char*, int> extensions[] = {
        {"a.STL", 16}, {"a.vrml", 28}, {"dir.x/a", 0}, {"a", 0}, {"a.unknown", 0}, {"b.Pol", 18}};
    for (const auto& [path, number] : extensions)
        EXPECT_EQ(formatFromExtension(path), number) << path;
    EXPECT_EQ(formatFromExtension(nullptr), 0);

    const std::pair<const char*, int> names[] = {{"pro/e", 6},     {"Knotwork", 10}, {"obj", 23},
                                                 {"AUTOMAGIC", 0}, {"wrldat", 27},   {"off", 33}};
    int number = -1;
    for (const auto& [name, expected] : names) {
        EXPECT_TRUE(formatFromName(name, number)) << name;
        EXPECT_EQ(number, expected) << name;
    }
    EXPECT_FALSE(formatFromName("7", number));
    EXPECT_EQ(number, 0);
    EXPECT_FALSE(formatFromName(nullptr, number));
}

} // namespace
