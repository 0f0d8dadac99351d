#include "MeshwrightHost.h"

#include "net/OpenGLPointList.h"

#include <fstream>

namespace {

// Every command's frame and the commands that refuse or fail at once: the
// result, and the line printed or the box shown (with its title).
TEST_F(MeshwrightHost, CommandResultsAndMessages)
{
    const std::string brokenGrid = mwtest::scratchPath("broken.grid");
    std::ofstream(brokenGrid) << "no grid in here\n";
    struct Case {
        std::string script;
        int result;
        std::string text;
        std::string boxTitle; // empty: text is a printed line
    };
    const Case cases[] = {
        {"-_MWEditGrid", 3, "The \"MWEditGrid\" command not available in non-interactive modes.",
         ""},
        {"-_MWOptions", 3, "The \"MWOptions\" command is under construction.", ""},
        {"-_Meshwright", 3, "The \"Meshwright\" command is under construction.", ""},
        {"-_getStringList", 3, "The \"getStringList\" command is under construction.", ""},
        {"_Meshwright", 3,
         "The \"Meshwright\" command is deprecated in Vezad4. Please use "
         "MWLoadMesh/MWEditGrid/MWOptions and so on.\n",
         "Meshwright"},
        {"-_MWCommit", 1, "MW:Nothing to Commit.", ""},
        {"-_MWPatch", 3, "The \"MWPatch\" command is under construction.", ""},
        {"_MWPatch Escape", 0, "Select boundary edges ( Continuity=1 ): Escape\n", ""},
        {"_MWHeal Escape", 0,
         "Select Surfaces to Heal (Modify), press Enter when done ( EdgeMatchDistance=0.1 "
         "Continuity=2 ): Escape\n",
         ""},
        {"_MWImportGridV1 cancel", 1,
         "File to open (Grid-Files (Ascii) (*.grid)|*.grid|All Files (*.*)|*.*||): cancel\n", ""},
        {"_MWImportGridV1 file:" + brokenGrid, 3, "failed to read the grid.", "MWImportGridV1"},
        // No mesh under the net: refused before it asks anything.
        {"_MWRelief", 3, "Command: _MWRelief\nCommand MWRelief: result 3\n", ""},
        {"_MWEditGrid", 3, "no mesh to work on", "Fenwo::MWEditGrid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const std::size_t before = transcript().size();
        EXPECT_EQ(command(c.script), c.result);
        // What this command printed, not what an earlier one did.
        if (c.boxTitle.empty())
            EXPECT_NE(transcript().find(c.text, before), std::string::npos) << transcript();
        else
            EXPECT_TRUE(boxShown(c.text, c.boxTitle));
    }
    // Editing stayed off without a mesh, with nothing hooked.
    EXPECT_FALSE(plugIn().editGrid);
    EXPECT_EQ(deleteKeyHookHandle(), nullptr);
    EXPECT_FALSE(plugIn().mouseCallback.IsEnabled());
    assertNoUnansweredPrompts();
}

// A grid file (the net's text) read into an emptied net: its poly-lines,
// its faces, every poly-line shown.
TEST_F(MeshwrightHost, ImportGridReadsTheNetAndShowsItsPolyLines)
{
    addMeshObject();
    addHashNet(0.5f);
    GB::CSurfaceNet& net = plugIn().net;
    const std::string path = mwtest::scratchPath("hash.grid");
    {
        std::ofstream out(path);
        ASSERT_TRUE(net.write(out));
    }
    mwtest::polyLine(net, {mwtest::gridPoint(0.9f, 0.9f), mwtest::gridPoint(0.8f, 0.9f)});
    ASSERT_EQ(net.getNumPointLists(), 7);
    EXPECT_EQ(command("_MWImportGridV1 file:" + path), 0);
    EXPECT_EQ(net.getNumPointLists(), 6);
    int faces = 0;
    for (GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        ++faces;
    EXPECT_EQ(faces, 4);
    for (COffset_PointList* pl : net.pointLists)
        EXPECT_NE(
            dynamic_cast<COpenGLPointList*>(net.displayContainer.findEntity(displayKeyOf(*pl))),
            nullptr);
    assertNoUnansweredPrompts();
}

TEST_F(MeshwrightHost, ReliefWithoutFourSidedFacesSwitchesEditingOnAndFails)
{
    addMeshObject();
    EXPECT_EQ(command("_MWRelief"), 3);
    EXPECT_TRUE(boxShown("Please sketch 4 sideded regions, using MWEditGrid.", "MWRelief"));
    EXPECT_TRUE(plugIn().editGrid);
}

// Relief over the four fitted four-sided faces of a "#": equispaced
// surfaces of the asked control-point count, committed as Breps; the net goes back to
// grid mode 0 and editing off. A commit cancelled while the faces are
// converted is a failure (the command used to report success though it
// added nothing).
TEST_F(MeshwrightHost, ReliefCommitsFourSidedFacesAndACancelledCommitFails)
{
    addMeshObject(true, 8);
    addHashNet(0.5f);
    GB::CSurfaceNet& net = plugIn().net;
    net.computeSurfaces(true, false, nullptr);
    ASSERT_EQ(net.countSurfaces(nullptr), 4);
    const int objects = doc().ObjectCount();
    EXPECT_EQ(command("_MWRelief NumCtrlPts=10 Enter"), 0);
    EXPECT_NE(m_host.standardOutput().find("starting MWRelief with numCtrlPts = 10"),
              std::string::npos);
    EXPECT_NE(transcript().find("Converted 4 Surfaces to Vezad"), std::string::npos);
    EXPECT_EQ(doc().ObjectCount(), objects + 4);
    EXPECT_EQ(plugIn().objectRefs.count, 4);
    // The faces were made equispaced from the asked count.
    EXPECT_NE(m_host.standardOutput().find("nu=10 nv=10"), std::string::npos);
    EXPECT_EQ(net.numCtrlPts, 10);
    EXPECT_EQ(net.mode, 0);
    EXPECT_FALSE(plugIn().editGrid);

    CancelConversion sink;
    net.setProgress(&sink);
    EXPECT_EQ(command("_MWRelief NumCtrlPts=10 Enter"), 3);
    net.setProgress(&plugIn().infoDialog);
    EXPECT_EQ(doc().ObjectCount(), objects + 4);
    assertNoUnansweredPrompts();
}

TEST_F(MeshwrightHost, GetStringListPrintsAndReplacesUserStrings)
{
    ON_3dmObjectAttributes attributes;
    attributes.SetUserString(L"part", L"door");
    attributes.SetUserString(L"rev", L"B");
    doc().AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)), &attributes);
    EXPECT_EQ(command("_getStringList pick:#0 Enter"), 0);
    const std::string& out = m_host.standardOutput();
    EXPECT_NE(out.find("Key=part\nvalue=door\nKey=rev\nvalue=B\n"), std::string::npos);
    ON_wString value;
    for (const wchar_t* key : {L"part", L"rev"}) {
        ASSERT_TRUE(doc().ObjectAt(0)->Attributes().GetUserString(key, value));
        EXPECT_EQ(value, L"new text item");
    }
}

} // namespace
