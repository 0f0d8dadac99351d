// The script runner as a program: its exit codes, and the failing line named
// on standard error.
#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

struct RunnerOutcome {
    int code = -1;
    std::string errors;
};

RunnerOutcome runScript(const std::string& name, const std::string& text, const char* ci = nullptr)
{
    const std::string script = mwtest::scratchPath(name);
    if (!text.empty())
        std::ofstream(script) << text;
    const std::string errors = mwtest::scratchPath(name + ".err");
    const std::string command = std::string(ci ? "env CI=" + std::string(ci) : "env -u CI") +
                                " '" MW_VZHOST "' --script '" + script + "' --define WHO=vzhost" +
                                " --out '" + mwtest::scratchPath(name + ".out") +
                                "' >/dev/null 2>'" + errors + "'";
    RunnerOutcome run;
    const int status = std::system(command.c_str());
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::stringstream written;
    written << std::ifstream(errors).rdbuf();
    run.errors = written.str();
    return run;
}

// The last line the runner wrote about the script, after the script's path
// (what the sanitizers report at exit may follow it).
std::string lastRunnerLine(const std::string& errors, const std::string& name)
{
    const std::string script = mwtest::scratchPath(name);
    std::istringstream lines(errors);
    std::string last;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(script, 0) == 0)
            last = line.substr(script.size());
    return last;
}

} // namespace

// Every failed script ends with one line that names what failed; a script
// whose failure no printed line names ended without one.
TEST(ScriptRunner, ExitCodesNameTheFailingLine)
{
    struct Case {
        const char* name;
        std::string text;
        int code;
        const char* error;
        std::string last; // the runner's last line, after the script's path
    };
    const Case cases[] = {
        {"pass.vzs",
         "# views, events, answers and captures\n_ShadedViewport\n!mouse down left 160 120\n"
         "!key Delete\n_Tolerance 0.01\n!capture 0 ${OUT}/v.png\n!require-file ${OUT}/v.png\n"
         "-_Save ${OUT}/${WHO}.vzd\n!expect-print \"Command Save: result 0\"\n",
         0, "", ""},
        {"check.vzs", "_Tolerance 0.01\n!expect-print \"never printed\"\n", 1,
         "check.vzs:2: !expect-print",
         ": failed: line 2: !expect-print: nothing printed holds \"never printed\""},
        {"unanswered.vzs", "\n_Tolerance\n", 1, "unanswered.vzs:2: unanswered prompt",
         ": failed: line 2: unanswered prompt: Absolute tolerance <0.001>"},
        {"skip.vzs", "!require-file /no/such/file\n!expect-print never\n", 77, "skipped",
         ": skipped"},
        {"noregion.vzs", "!place-net NET\n!expect-print never\n", 3,
         "noregion.vzs:1: no region: nothing is visible in the view",
         ":1: no region: nothing is visible in the view"},
        // A check that failed first is the cause of finding no region (a mesh
        // file without facets left nothing to draw on): the exit code was 3.
        {"failed-then-noregion.vzs", "!expect-print \"never printed\"\n!place-net NET\n", 1,
         "failed-then-noregion.vzs:1: !expect-print",
         ": failed: line 1: !expect-print: nothing printed holds \"never printed\""},
        {"missing.vzs", "", 2, "cannot be read",
         ":0: script cannot be read: " + mwtest::scratchPath("missing.vzs") + ": file not found"},
        // A folder given as the script aborted the runner.
        {"folder.vzs", "", 2, "cannot be read",
         ":0: script cannot be read: " + mwtest::scratchPath("folder.vzs") + ": file is a folder"},
        // A check that failed before a required file was missing: the
        // script was skipped (77), its failure hidden.
        {"failed-then-skip.vzs", "!expect-print \"never printed\"\n!require-file /no/such/file\n",
         1, "failed-then-skip.vzs:1: !expect-print",
         ": failed: line 1: !expect-print: nothing printed holds \"never printed\""},
    };
    std::filesystem::create_directory(mwtest::scratchPath("folder.vzs"));
    for (const Case& c : cases) {
        const RunnerOutcome run = runScript(c.name, c.text);
        EXPECT_EQ(run.code, c.code) << c.name << "\n" << run.errors;
        EXPECT_NE(run.errors.find(c.error), std::string::npos) << c.name << "\n" << run.errors;
        EXPECT_EQ(lastRunnerLine(run.errors, c.name), c.last) << c.name << "\n" << run.errors;
    }
    // Under CI a missing data file fails instead of skipping.
    EXPECT_EQ(runScript("skip.vzs", "", "true").code, 1);
}

// Without --out the outputs go to the working folder (where there was no
// diagnostics folder, ${OUT}/name was /name), and a check that failed
// before them fails the script whatever follows.
TEST(ScriptRunner, OutputsGoToTheWorkingFolderWithoutOut)
{
    const std::string folder = mwtest::scratchPath("work");
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/out.vzs") << "!expect-print \"never printed\"\n!capture 0 ${OUT}/v.png\n"
                                          "!require-file ${OUT}/v.png\n";
    const std::string command = "cd '" + folder + "' && env -u CI FENWO_DIAGNOSTICS_DIR='" +
                                mwtest::scratchPath("diagnostics") + "' '" MW_VZHOST
                                "' --script out.vzs >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    EXPECT_TRUE(std::filesystem::exists(folder + "/v.png"));
}
