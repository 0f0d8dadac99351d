#include "MeshwrightHost.h"

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
        {"_MWPatch Escape", 0, "", ""},
        {"_MWHeal Escape", 0, "", ""},
        {"_MWImportGridV1 cancel", 1, "", ""},
        {"_MWImportGridV1 file:" + brokenGrid, 3, "failed to read the grid.", "MWImportGridV1"},
        {"_MWRelief", 3, "", ""}, // no mesh under the net
        {"_MWEditGrid", 3, "no mesh to work on", "Fenwo::MWEditGrid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(command(c.script), c.result);
        if (c.boxTitle.empty())
            EXPECT_NE(transcript().find(c.text), std::string::npos);
        else
            EXPECT_TRUE(boxShown(c.text, c.boxTitle));
    }
    // Editing stayed off without a mesh, with nothing hooked.
    EXPECT_FALSE(plugIn().editGrid);
    EXPECT_EQ(deleteKeyHookHandle(), nullptr);
    EXPECT_FALSE(plugIn().mouseCallback.IsEnabled());
    assertNoUnansweredPrompts();
}

TEST_F(MeshwrightHost, ReliefWithoutFourSidedFacesSwitchesEditingOnAndFails)
{
    addMeshObject();
    EXPECT_EQ(command("_MWRelief"), 3);
    EXPECT_TRUE(boxShown("Please sketch 4 sideded regions, using MWEditGrid.", "MWRelief"));
    EXPECT_TRUE(plugIn().editGrid);
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
