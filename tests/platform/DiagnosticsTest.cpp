#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"
#include "support/ScratchDir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using Platform::diagnosticsPath;

TEST(Diagnostics, TmpNamesLandInTheDiagnosticsFolder)
{
    Platform::setDiagnosticsFolderOverride("/some/where");
    EXPECT_EQ(diagnosticsPath("c:/tmp/cg.log"), "/some/where/cg.log");
    EXPECT_EQ(diagnosticsPath("C:\\tmp\\profiles.out"), "/some/where/profiles.out");
    EXPECT_EQ(diagnosticsPath("c:/TMP/sub\\x.out"), "/some/where/sub/x.out");
    EXPECT_EQ(diagnosticsPath("plain.out"), "/some/where/plain.out");
    EXPECT_EQ(diagnosticsPath("/abs/file.out"), "/abs/file.out");
    Platform::setDiagnosticsFolderOverride("");
}

TEST(Diagnostics, EnvironmentChoosesTheFolder)
{
    const char* old = std::getenv("FENWO_DIAGNOSTICS_DIR");
    std::string saved = old ? old : "";
    ::setenv("FENWO_DIAGNOSTICS_DIR", "/tmp/mw-diag-test/", 1);
    EXPECT_EQ(Platform::diagnosticsFolder(), "/tmp/mw-diag-test");
    EXPECT_EQ(diagnosticsPath("c:/tmp/a.log"), "/tmp/mw-diag-test/a.log");
    ::unsetenv("FENWO_DIAGNOSTICS_DIR");
    {
        ScopedEnv temp("TMPDIR", mwtest::scratchDir().c_str());
        EXPECT_FALSE(Platform::diagnosticsFolder().empty());
    }
    if (old)
        ::setenv("FENWO_DIAGNOSTICS_DIR", saved.c_str(), 1);
}

// Without FENWO_DIAGNOSTICS_DIR the debug files go to a folder of the user's
// own in the temporary folder, closed to others; whatever else holds its name
// (a link, a file, another user's folder) is never used, and a run that
// finds the folder held by another run takes a numbered folder inside it.
// Where the name is held, each run made a fallback folder of its own and
// left it behind, and a link put in the folder's place mid-run led the debug
// files away: later runs reuse the one fallback folder, and debug files are
// opened in the folder held open.
TEST(Diagnostics, DefaultFolderIsPrivateAndNeverOneSomeonePlanted)
{
    namespace fs = std::filesystem;
    ScopedEnv folderVariable("FENWO_DIAGNOSTICS_DIR", nullptr);
    const std::string uid = std::to_string(::geteuid());
    enum class Planted { nothing, ownOpenFolder, link, file, othersFolder, heldByAnotherRun };
    struct Case {
        const char* name;
        Planted planted;
        const char* inOwn; // the folder's path after the user's own; null: a fresh one
    };
    const Case cases[] = {
        {"nothing", Planted::nothing, ""},
        {"own folder open to others", Planted::ownOpenFolder, ""},
        {"links to another folder at the name and at a fallback name", Planted::link, nullptr},
        {"file", Planted::file, nullptr},
        {"another user's folder", Planted::othersFolder, nullptr},
        {"held by another run", Planted::heldByAnotherRun, "/2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.planted == Planted::othersFolder && ::geteuid() != 0)
            continue; // only the superuser can give a folder away
        const std::string temp = mwtest::scratchPath(std::string("tmp-") + std::to_string(&c - cases));
        const std::string own = temp + "/meshwright-" + uid;
        const std::string target = temp + "/target";
        fs::create_directories(target);
        fs::create_directories(temp + "/elsewhere");
        ScopedEnv tempVariable("TMPDIR", temp.c_str());
        int held = -1;
        switch (c.planted) {
        case Planted::nothing:
            break;
        case Planted::ownOpenFolder:
            fs::create_directory(own);
            fs::permissions(own, fs::perms::all);
            break;
        case Planted::link:
            fs::create_directory_symlink(target, own);
            fs::create_directory_symlink(target, own + "-AAAAAA");
            break;
        case Planted::file:
            std::ofstream(own) << "not a folder";
            break;
        case Planted::othersFolder:
            fs::create_directory(own);
            fs::permissions(own, fs::perms::all);
            ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
            break;
        case Planted::heldByAnotherRun:
            fs::create_directory(own);
            held = ::open((own + "/.lock").c_str(), O_RDWR | O_CREAT, 0600);
            ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
            break;
        }
        const std::string folder = Platform::diagnosticsFolder();
        if (c.inOwn) {
            EXPECT_EQ(folder, own + c.inOwn);
        } else {
            EXPECT_EQ(folder.rfind(own + "-", 0), 0u) << folder;
        }
        struct stat st;
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0) << folder;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        // The debug files go there, and nothing into what was planted.
        std::FILE* file = Platform::openDiagnosticsStdio("c:/tmp/probe.out", false);
        ASSERT_NE(file, nullptr);
        std::fclose(file);
        EXPECT_TRUE(fs::exists(folder + "/probe.out"));
        EXPECT_TRUE(fs::is_empty(target));
        // Four more runs (another temporary folder between them ends a run's
        // hold) use the same folder: five leave one fallback folder at most.
        for (int run = 0; run < 4; ++run) {
            {
                ScopedEnv elsewhere("TMPDIR", (temp + "/elsewhere").c_str());
                Platform::diagnosticsFolder();
            }
            EXPECT_EQ(Platform::diagnosticsFolder(), folder);
        }
        int fallbacks = 0;
        for (const auto& entry : fs::directory_iterator(temp))
            fallbacks +=
                entry.path().filename().string().rfind("meshwright-" + uid + "-", 0) == 0 &&
                !entry.is_symlink();
        EXPECT_EQ(fallbacks, c.inOwn ? 0 : 1);
        // The folder swapped for a link mid-run: the files still go into it.
        fs::rename(folder, folder + ".moved");
        fs::create_directory_symlink(target, folder);
        file = Platform::openDiagnosticsStdio("c:/tmp/swapped.out", false);
        ASSERT_NE(file, nullptr);
        std::fclose(file);
        EXPECT_TRUE(fs::exists(folder + ".moved/swapped.out"));
        EXPECT_TRUE(fs::is_empty(target));
        if (held >= 0)
            ::close(held);
    }
}
