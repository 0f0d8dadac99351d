#include "TestHost.h"

#include "net/FailureMessages.h"
#include "platform/host/EdgeGaps.h"

#include <filesystem>
#include <fstream>

#include <unistd.h>

using hosttest::passes;
using hosttest::transcript;

namespace {

// What the picking command saw in its last run.
struct PickRun {
    int answer = -1;
    int optionIndex = 0;
    bool deleteMesh = true;
    bool file = false;
    int count = 100;
    double distance = 0.1;
    std::vector<std::string> picked;
    bool interactive = false;
};
PickRun g_run;
bool g_acceptNothing = false;

// A getter like the mesh loader's: mesh filter, no pre-selection, toggles,
// an integer and a number option; one GetObjects per run.
class TestPickCommand : public CVezadCommand {
public:
    ON_UUID CommandUUID() override { return ON_UUID(); }
    const wchar_t* EnglishCommandName() override { return L"TestPick"; }
    result RunCommand(const CVezadCommandContext& context) override
    {
        g_run = PickRun();
        g_run.interactive = context.IsInteractive();
        CVezadGetObject go;
        go.SetCommandPrompt(L"Select Mesh Objects for Import, press Enter when done");
        go.SetGeometryFilter(ON::mesh_object);
        go.EnablePreSelect(false);
        go.AcceptNothing(g_acceptNothing);
        go.AddCommandOptionToggle(L"DeleteVezadMesh", L"No", L"Yes", &g_run.deleteMesh);
        go.AddCommandOptionToggle(L"File", L"No", L"Yes", &g_run.file);
        go.AddCommandOptionInteger(L"Count", &g_run.count, 10, 750);
        go.AddCommandOptionNumber(L"Distance", &g_run.distance, 0.001, 2.5);
        g_run.answer = go.GetObjects(0, 0);
        g_run.optionIndex = go.OptionIndex();
        for (int i = 0; i < go.ObjectCount(); ++i)
            g_run.picked.push_back(go.Object(i).Object()->Attributes().m_name.ToUtf8());
        return g_run.answer == CVezadGet::cancel ? cancel : success;
    }
} g_pick;

// Runs the picking command nested, as a menu would, so that it takes the
// tokens that follow this command.
class TestNestCommand : public CVezadCommand {
public:
    ON_UUID CommandUUID() override { return ON_UUID(); }
    const wchar_t* EnglishCommandName() override { return L"TestNest"; }
    result RunCommand(const CVezadCommandContext&) override
    {
        return VezadApp().RunScript(L"_TestPick", 0) ? success : failure;
    }
} g_nest;

class TestFailCommand : public CVezadCommand {
public:
    ON_UUID CommandUUID() override { return ON_UUID(); }
    const wchar_t* EnglishCommandName() override { return L"TestFail"; }
    result RunCommand(const CVezadCommandContext&) override
    {
        VezadMessageBox(L"Really fail?", L"TestFail", MB_YESNO | MB_ICONQUESTION);
        return failure;
    }
} g_fail;

void addNamedObjects(CVezadDoc& doc)
{
    ON_Mesh mesh;
    mesh.SetVertex(0, ON_3dPoint(0, 0, 0));
    mesh.SetVertex(1, ON_3dPoint(1, 0, 0));
    mesh.SetVertex(2, ON_3dPoint(0, 1, 0));
    mesh.SetTriangle(0, 0, 1, 2);
    ON_3dmObjectAttributes attributes;
    attributes.m_name = L"M";
    ASSERT_TRUE(doc.AddMeshObject(mesh, &attributes));
    attributes.m_name = L"N";
    ASSERT_TRUE(doc.AddMeshObject(mesh, &attributes));
    attributes.m_name = L"M"; // a curve of the same name does not pass the filter
    ASSERT_TRUE(
        doc.AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 1, 0)), &attributes));
}

} // namespace

TEST(HostGetter, AnswersFollowTheTokensAndRefusedValuesRepeatThePrompt)
{
    struct Case {
        const char* tokens;
        bool acceptNothing;
        int answer;
        std::vector<std::string> picked;
        const char* printed; // "" when nothing particular
        bool unanswered;
    };
    const Case cases[] = {
        {"File=yes", false, CVezadGet::option, {}, "", false},
        {"Count=5 Count=abc Count=20",
         false,
         CVezadGet::option,
         {},
         "Count must be from 10 to 750; 5 refused",
         false},
        {"Distance=3 Distance=2.5", false, CVezadGet::option, {}, "Distance must be from", false},
        {"Count=abc Escape", false, CVezadGet::cancel, {}, "Invalid value for Count: abc", false},
        {"pick:name:M Enter", false, CVezadGet::object, {"M"}, "", false},
        {"pick:type:mesh pick:#0 Enter", false, CVezadGet::object, {"M", "N"}, "", false},
        {"pick:name:Q Escape",
         false,
         CVezadGet::cancel,
         {},
         "Nothing picked by pick:name:Q",
         false},
        {"pick:#2 Escape", false, CVezadGet::cancel, {}, "Nothing picked by pick:#2", false},
        {"Enter", true, CVezadGet::nothing, {}, "", false},
        {"Enter", false, CVezadGet::cancel, {}, "", false},
        {"Loud=1 Escape", false, CVezadGet::cancel, {}, "Unknown option: Loud", false},
        {"Count=5", false, CVezadGet::cancel, {}, "(unanswered)", true},
    };
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    addNamedObjects(host.doc());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tokens);
        g_acceptNothing = c.acceptNothing;
        const std::size_t from = VezadApp().Transcript().size();
        ScriptResult r = host.runScript(std::string("_TestPick ") + c.tokens);
        EXPECT_EQ(r.failures.size(), c.unanswered ? 1u : 0u);
        EXPECT_EQ(g_run.answer, c.answer);
        EXPECT_EQ(g_run.picked, c.picked);
        EXPECT_NE(transcript(from).find(c.printed), std::string::npos) << transcript(from);
    }
    // The option changed by the last answer, and its value.
    host.runScript("_TestPick Count=20");
    EXPECT_EQ(g_run.optionIndex, 3);
    EXPECT_EQ(g_run.count, 20);
    EXPECT_NE(transcript().find("Select Mesh Objects for Import, press Enter when done ( "
                                "DeleteVezadMesh=Yes File=No Count=100 Distance=0.1 ): Count=20"),
              std::string::npos);
}

TEST(HostCommandLine, ModesUnknownNamesResultsAndNestedScripts)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    addNamedObjects(host.doc());

    ScriptResult r = host.runScript("_TestPick Escape\n"
                                    "!expect-result 1\n"
                                    "-_testpick Enter\n" // names compare without case
                                    "!expect-result 1\n"
                                    "_Foo\n"
                                    "!expect-result 3\n"
                                    "_TestNest pick:name:N Enter\n"
                                    "!expect-result 0\n"
                                    "!expect-print \"Command TestNest: result 0\"\n");
    ASSERT_EQ(r.failures.size(), 1u) << passes(r).message();
    EXPECT_EQ(r.failures[0].line, 5);
    EXPECT_EQ(r.failures[0].message, "unknown command");
    EXPECT_NE(transcript().find("Unknown command: Foo\n"), std::string::npos);
    EXPECT_NE(transcript().find("Command TestPick: result 1\n"), std::string::npos);
    // The nested command took the tokens after the one that ran it.
    EXPECT_EQ(g_run.picked, std::vector<std::string>{"N"});
    EXPECT_TRUE(g_run.interactive);

    host.runScript("-_TestPick Escape");
    EXPECT_FALSE(g_run.interactive);
    // Picks select objects only until the command ends.
    EXPECT_EQ(host.doc().ObjectAt(1)->IsSelected(), 0);
}

TEST(HostScript, DirectivesCheckAndFailNamingTheirLines)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    addNamedObjects(host.doc());
    const std::string missing = mwtest::scratchPath("missing.stl");
    ScriptResult r = host.runScript("# a comment\n"
                                    "\n"
                                    "!dump-doc\n"
                                    "!expect-print \"doc: layer 0 mesh normal 2\"\n"
                                    "!expect-print \"doc: layer 0 curve normal 1\"\n"
                                    "!expect-print \"not printed\"\n"
                                    "_TestFail yes\n"
                                    "!expect-box \"Really fail?\"\n"
                                    "!expect-result 0\n"
                                    "!no-such-directive\n"
                                    "_TestPick ${UNDEFINED}\n"
                                    // A NUL cut the token of a file name: the
                                    // words after it were lost.
                                    "_TestPick pick:name:N" +
                                    std::string(1, '\0') + "M Enter\n# " +
                                    std::string(HeadlessHost::kLongestScriptLine, 'x') +
                                    "\n!require-file ${OUT}/missing.stl\n"
                                    "_Foo\n");
    // The missing file skips the rest; the checks that failed before it
    // fail the script (it was reported skipped).
    EXPECT_EQ(r.status, ScriptResult::failed);
    std::vector<int> lines;
    for (const ScriptFailure& f : r.failures)
        lines.push_back(f.line);
    EXPECT_EQ(lines, (std::vector<int>{6, 9, 10, 11, 12, 13}));
    ASSERT_EQ(r.failures.size(), 6u);
    EXPECT_EQ(r.failures[4].message,
              "the line holds a NUL byte at character 22, which no script line does");
    EXPECT_EQ(r.failures[5].message,
              "the line runs past 1048576 characters, more than any script line holds");
    EXPECT_EQ(g_run.answer, -1); // no pick ran
    EXPECT_NE(transcript().find("required file missing: " + missing), std::string::npos);
    EXPECT_EQ(transcript().find("Unknown command: Foo"), std::string::npos);

    // A question left without an answer fails the script.
    r = host.runScript("_TestFail");
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].message, "unanswered prompt: TestFail: Really fail? [Yes/No]");

    // What the system prints on standard output counts for checks too.
    std::printf("fit error 0.25\n");
    EXPECT_TRUE(passes(host.runScript("!expect-print \"fit error 0.25\"")));
    // The opposite check names the line that holds the text.
    std::printf("Heal failed for dTol=0.5\n");
    r = host.runScript("!expect-no-print \"fit error\"\n!expect-no-print \"Heal failed\"");
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].line, 2);
    EXPECT_EQ(r.failures[0].message, "!expect-no-print: printed: Heal failed for dTol=0.5");
    // A failed script names its cause: the first line printed that names
    // what failed, with the last line before it that tells why. The host's
    // own lines of failed checks, which quote what they sought, are none.
    host.addFailureLine("has no surface", {"face refused"});
    std::printf("makro: face refused\n folded surface, face refused \nFace 3 of 4 has no surface\n"
                "Face 4 of 4 has no surface\n");
    r = host.runScript("!expect-print \"Converted 4 Surfaces\"");
    EXPECT_EQ(r.cause, "Face 3 of 4 has no surface (after \"folded surface, face refused\")");
    r = host.runScript("!expect-print \"Face 1 of 4 has no surface\"");
    EXPECT_EQ(r.cause,
              "line 1: !expect-print: nothing printed holds \"Face 1 of 4 has no surface\"");
    // Two printed lines go on alike after their texts, or the check names
    // both.
    for (const std::string edges : {"4 4", "4 5"}) {
        std::printf("Sides per Brep: 4 4\nEdges per Brep: %s\n", edges.c_str());
        r = host.runScript("!expect-same-print \"Edges per Brep:\" \"Sides per Brep:\"");
        if (edges == "4 4") {
            EXPECT_TRUE(r.failures.empty());
            continue;
        }
        ASSERT_EQ(r.failures.size(), 1u);
        EXPECT_EQ(r.failures[0].message,
                  "!expect-same-print: printed Edges per Brep: 4 5 and Sides "
                  "per Brep: 4 4, which part at word 2 (5 and 4)");
    }
    // A default gives way to the value the run was given.
    for (const char* given : {"", "1,1,1"}) {
        std::printf("look %s\n", *given ? given : "0,0,1");
        VezadHost::ScriptDefines defines;
        if (*given)
            defines["LOOK"] = given;
        EXPECT_TRUE(
            passes(host.runScript("!default LOOK 0,0,1\n!expect-print \"look ${LOOK}\"", defines)));
    }
    // Scripts from files know their folder.
    std::ofstream(mwtest::scratchPath("s.vzs")) << "!expect-print \"never printed anywhere\"\n";
    EXPECT_EQ(host.runScriptFile(mwtest::scratchPath("nothing.vzs")).status,
              ScriptResult::unreadable);
    r = host.runScriptFile(mwtest::scratchPath("s.vzs"));
    EXPECT_EQ(r.status, ScriptResult::failed);
    // A script from a pipe runs (refused before as no regular file); one
    // longer than the runner reads is refused before a line runs, unread.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string piped = "!expect-print \"never printed anywhere\"\n";
    ASSERT_EQ(::write(ends[1], piped.data(), piped.size()), ssize_t(piped.size()));
    ::close(ends[1]);
    r = host.runScriptFile("/proc/self/fd/" + std::to_string(ends[0]));
    ::close(ends[0]);
    EXPECT_EQ(r.status, ScriptResult::failed);
    std::filesystem::resize_file(mwtest::scratchPath("s.vzs"), HeadlessHost::kLongestScript + 1);
    r = host.runScriptFile(mwtest::scratchPath("s.vzs"));
    EXPECT_EQ(r.status, ScriptResult::unreadable);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_NE(r.failures[0].message.find("is larger than 67108864 bytes"), std::string::npos);
    EXPECT_TRUE(
        passes(host.runScript("!require-file ${SCRIPT_DIR}/s.vzs", {}, mwtest::scratchDir())));
}

// A failed job's last line names what failed and why, from the lines the
// system printed before the first check failed, as the script runner's table
// knows them: the gap and the faces it lies between, the face without a
// surface and the step that gave up, the failed heal and the face it was on;
// where no line names the failure, the first failed check, which names the
// Brep whose edges are not its region's sides, or the count printed in place
// of the one expected. The heal's progress lines ("Start Face 9/9  val =
// ...") were taken for the cause of every failure after a heal, and a
// failure without a marked line had no last line at all.
TEST(HostScript, FailedJobNamesWhatFailedAndWhyNotAProgressLine)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings()));
    // The kinds the plug-in registers with its host as it loads.
    for (const FailureMessages::FailureLineKind& kind : FailureMessages::failureLineKinds())
        VezadApp().RegisterFailureLine(kind.what, kind.causes);
    // Prints its argument as the system would, on standard output.
    host.addDirective("say", [](const std::vector<std::string>& arguments, std::string&) {
        for (const std::string& a : arguments)
            std::printf("%s\n", a.c_str());
        return DirectiveOutcome::passed;
    });
    const std::string heal = "!say \"Start Face 1/2  val = 0.5\" \"Start Face 2/2  val = 0.25\"\n";
    const std::string commit = "!say \"Converted 2 Surfaces to Vezad into Layer 1.\"\n";
    const std::string checks = "!expect-no-print \"Heal failed\"\n"
                               "!expect-no-print \"Gap between faces\"\n"
                               "!say \"Edges per Brep: 4 5\"\n"
                               "!expect-same-print \"Edges per Brep:\" \"Sides per Brep:\"\n";
    struct Case {
        const char* name;
        std::string script;
        ScriptResult::Status status;
        std::string cause;
    };
    const Case cases[] = {
        {"gap after the heal",
         heal + commit +
             "!say \"Gap between faces 1 and 2: 0.5 exceeds the tolerance 0.1\" "
             "\"Sides per Brep: 4 4\"\n" +
             checks,
         ScriptResult::failed, "Gap between faces 1 and 2: 0.5 exceeds the tolerance 0.1"},
        {"failed heal",
         heal + "!say \"Heal failed for dTol=0.1\"\n" + commit + "!say \"Sides per Brep: 4 4\"\n" +
             checks,
         ScriptResult::failed, "Heal failed for dTol=0.1 (after \"Start Face 2/2  val = 0.25\")"},
        {"edges apart from sides after the heal",
         heal + commit + "!say \"Sides per Brep: 4 4\"\n" + checks, ScriptResult::failed,
         "line 7: !expect-same-print: printed Edges per Brep: 4 5 and Sides per Brep: 4 4, "
         "which part at word 2 (5 and 4)"},
        {"edges apart from sides without the heal",
         commit + "!say \"Sides per Brep: 4 4 4\"\n" + checks, ScriptResult::failed,
         "line 6: !expect-same-print: printed Edges per Brep: 4 5 and Sides per Brep: 4 4 4, "
         "which part at word 2 (5 and 4)"},
        // A fit step that gave up on a face that was fitted after all is no
        // cause of the face that failed later for a reason of its own.
        {"face without a surface",
         "!say \"face fit outside the tolerance: dMax=0.3\" \"Face 1 of 2 fitted\" "
         "\"folded surface, face refused\" \"Face 2 of 2 has no surface\" \"Start Face 1/1\"\n"
         "!say \"Converted 1 Surfaces to Vezad into Layer 1.\"\n"
         "!expect-print \"Converted 2 Surfaces to Vezad into Layer 1.\"\n",
         ScriptResult::failed,
         "Face 2 of 2 has no surface (after \"folded surface, face refused\")"},
        // The plug-in's own lines name every cause: the runner's copy of
        // them lacked "capped Cylinder", and a boundary that hit the mesh
        // too rarely printed none.
        {"tube-like face",
         "!say \"capped Cylinder\" \"Face 1 of 1 has no surface\"\n"
         "!expect-no-print \"has no surface\"\n",
         ScriptResult::failed, "Face 1 of 1 has no surface (after \"capped Cylinder\")"},
        {"boundary that hits the mesh too rarely",
         "!say \"picked 2 polygons on Boundary at  40 points on Loop \" "
         "\"fewer than 3 boundary samples hit the mesh\" \"Face 1 of 1 has no surface\"\n"
         "!expect-no-print \"has no surface\"\n",
         ScriptResult::failed,
         "Face 1 of 1 has no surface (after \"fewer than 3 boundary samples hit the mesh\")"},
        // A region the net closes without a face, a face without a Brep and
        // a commit with nothing to commit name themselves: the gap printed
        // after them, or the commit's answers read as commands, did before.
        {"region without a face",
         "!say \"The region of corners 0 40 81 57 41 is left without a face: the mesh normals "
         "at its corners lie across their plane\" \"Gap between faces 1 and 2: 0.5\"\n" +
             checks,
         ScriptResult::failed,
         "The region of corners 0 40 81 57 41 is left without a face: the mesh normals at its "
         "corners lie across their plane"},
        {"face without a Brep",
         "!say \"bRepTrim failed!.\" \"Face 4 of 9 makes no Brep: m_L[0] of m_F[0] is open\" "
         "\"Gap between faces 4 and 5: 17.65 exceeds the tolerance 1\"\n" +
             checks,
         ScriptResult::failed, "Face 4 of 9 makes no Brep: m_L[0] of m_F[0] is open"},
        // A face refused as the net was drawn, numbered among the faces made
        // so far, is named again by the commit among all four, as the fit
        // report and the Breps number it, with the cause said when its fit
        // gave up (not another face's, fitted since).
        {"face refused as drawn, named again by the commit",
         "!say \"folded surface, face refused\" \"Face 1 of 1 has no surface\"\n"
         "!say \"face fit outside the tolerance: dMax=0.3\" \"model has 4 loops\"\n"
         "!say \"Face 4 of 4 has no surface\" \"Converted 3 Surfaces to Vezad into Layer 1.\"\n"
         "!expect-print \"Converted 4 Surfaces to Vezad into Layer 1.\"\n",
         ScriptResult::failed,
         "Face 4 of 4 has no surface (after \"folded surface, face refused\")"},
        // A face off the mesh comes before the seam it leaves open, which the
        // heal names first.
        {"face off the mesh before its open seam",
         "!say \"Start Face 1/2  val = 0.5\" \"Start Face 2/2  val = 0.25\" "
         "\"Heal failed for dTol=0.1: the shared edge of faces 1 and 2 lies 0.95 apart (found "
         "0.96)\" \"Converted 2 Surfaces to Vezad into Layer 1.\" \"Brep off the mesh: face 1 "
         "lies 0.42 from it, 4.2 x the fit tolerance 0.1 where 1.5 are accepted\" \"Gap between "
         "faces 1 and 2: 0.95 exceeds the tolerance 0.1\" \"Sides per Brep: 4 4\"\n" +
             checks,
         ScriptResult::failed,
         "Brep off the mesh: face 1 lies 0.42 from it, 4.2 x the fit tolerance 0.1 where 1.5 "
         "are accepted"},
        {"nothing to commit", "!say \"MW:Nothing to Commit.\"\n!expect-print \"Converted \"\n",
         ScriptResult::failed, "MW:Nothing to Commit."},
        {"face lost by the net",
         "!say \"model has 3 loops\"\n!expect-print \"model has 4 loops\"\n", ScriptResult::failed,
         "line 2: !expect-print: nothing printed holds \"model has 4 loops\" (printed: model has 3 "
         "loops)"},
        // What is printed after the first check failed (a report of the fits
        // that follows the checks) is no cause of it.
        {"report after the failed check",
         heal + commit + "!say \"Sides per Brep: 4 4\"\n" + checks +
             "!say \"Face 2 has no surface\"\n",
         ScriptResult::failed,
         "line 7: !expect-same-print: printed Edges per Brep: 4 5 and Sides per Brep: 4 4, "
         "which part at word 2 (5 and 4)"},
        {"no region after a failed check",
         "!say \"No facets have been imported from m.stl\"\n"
         "!expect-no-print \"No facets have been imported from\"\n!place-net NET\n",
         ScriptResult::noRegion,
         "line 2: !expect-no-print: printed: No facets have been imported from m.stl"},
        {"passed", heal + commit, ScriptResult::passed, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScriptResult r = host.runScript(c.script);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.cause, c.cause);
    }
    // The gap the document's Breps leave names its figure, the tolerance and
    // the Breps it lies between: a square 0.05 above its neighbour on the
    // left, which is the document's third Brep, and level with the one on its
    // right.
    for (const ON_3dVector offset :
         {ON_3dVector(1, 0, 0.05), ON_3dVector(2, 0, 0.05), ON_3dVector(0, 0, 0)})
        ASSERT_TRUE(host.doc().AddBrepObject(hosttest::squareBrep(offset)));
    host.doc().SetAbsoluteTolerance(0.01);
    EXPECT_EQ(host.runScript("!edge-gaps 1").cause,
              "line 1: !edge-gaps: the largest gap 0.05, between Breps 1 and 3, exceeds 1 x the "
              "document's tolerance 0.01");
    // Breps a plug-in's net describes share the sides it names and no
    // other: none here (slots between them), so nothing lies apart.
    VezadHost::BrepSides slots;
    for (int i = 0; i < host.doc().ObjectCount(); ++i)
        slots.breps.push_back(host.doc().ObjectAt(i)->ModelObjectId());
    VezadHost::setSharedSidesQuery([slots](const CVezadDoc&) { return slots; });
    EXPECT_EQ(host.runScript("!edge-gaps 1").status, ScriptResult::passed);
    // A side the net says two of them share and that is found along no
    // edge leaves its gap unknown: the check passed on no shared edge.
    VezadHost::BrepSides unfound = slots;
    unfound.sides.push_back({slots.breps[0], slots.breps[1], {}});
    VezadHost::setSharedSidesQuery([unfound](const CVezadDoc&) { return unfound; });
    EXPECT_EQ(host.runScript("!edge-gaps 1").cause,
              "line 1: !edge-gaps: the plug-in's net says the Breps share 1 side, of which none "
              "is found along their edges");
    VezadHost::setSharedSidesQuery({});
}

TEST(HostMessageBox, TakesFittingAnswersAndDefaultsSafely)
{
    struct Case {
        UINT flags;
        const char* next; // null: empty queue
        int answer;
        bool answered;
        bool countsUnanswered;
    };
    const Case cases[] = {
        {MB_OK, "ok", IDOK, true, false},
        {MB_OK, nullptr, IDOK, false, false},
        {MB_YESNO, "YES", IDYES, true, false},
        {MB_YESNO, "cancel", IDNO, false, true}, // not an answer it offers
        {MB_YESNO, nullptr, IDNO, false, true},
        {MB_YESNOCANCEL, "no", IDNO, true, false},
        {MB_YESNOCANCEL, nullptr, IDCANCEL, false, true},
        {MB_OKCANCEL, "cancel", IDCANCEL, true, false},
    };
    CVezadApp& app = VezadApp();
    for (const Case& c : cases) {
        app.InputQueue().clear();
        if (c.next)
            app.InputQueue().pushFront({c.next});
        const std::size_t unanswered = app.UnansweredPrompts().size();
        EXPECT_EQ(VezadMessageBox(L"Merge new mesh into existing ?", L"MWLoadMesh", c.flags),
                  c.answer);
        const CVezadMessageBoxRecord& logged = app.MessageBoxes().back();
        EXPECT_EQ(logged.title, "MWLoadMesh");
        EXPECT_EQ(logged.text, "Merge new mesh into existing ?");
        EXPECT_EQ(logged.answered, c.answered);
        EXPECT_EQ(app.UnansweredPrompts().size() - unanswered, c.countsUnanswered ? 1u : 0u);
        // A token the box does not take stays for the next prompt.
        EXPECT_EQ(app.InputQueue().size(), c.next && !c.answered ? 1u : 0u);
    }
    EXPECT_NE(transcript().find("[box] MWLoadMesh: Merge new mesh into existing ? [Yes/No] -> No "
                                "(unanswered)"),
              std::string::npos);
}
