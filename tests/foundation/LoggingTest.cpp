#include "foundation/Logging.h"

#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Points the diagnostics folder at a fresh folder for one test.
class LoggingTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path() /
                   ("mw-logging-" + std::to_string(::getpid()) + "-" +
                    testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        Platform::setDiagnosticsFolderOverride(m_folder.string());
    }
    void TearDown() override
    {
        closeGlobalLogs();
        Platform::setDiagnosticsFolderOverride("");
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }

    std::string contents(const std::string& name) const
    {
        std::ifstream in(m_folder / name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool exists(const std::string& name) const { return fs::exists(m_folder / name); }

    fs::path m_folder;
};

} // namespace

TEST_F(LoggingTest, SwitchesFollowTheEnvironmentWhenReloaded)
{
    {
        ScopedEnv timer("FENWO_TIMER", nullptr);
        ScopedEnv profiler("FENWO_PROFILER", nullptr);
        ScopedEnv logging("FENWO_LOGGING", nullptr);
        EXPECT_FALSE(isTimerEnabled());
        EXPECT_FALSE(isProfilerEnabled());
        EXPECT_FALSE(isLoggingEnabled());

        // Any value counts, even an empty one; the switches are independent.
        ::setenv("FENWO_LOGGING", "", 1);
        EXPECT_FALSE(isLoggingEnabled()); // not re-read yet
        reloadDiagnosticSwitches();
        EXPECT_TRUE(isLoggingEnabled());
        EXPECT_FALSE(isTimerEnabled());
        ::setenv("FENWO_PROFILER", "0", 1);
        reloadDiagnosticSwitches();
        EXPECT_TRUE(isProfilerEnabled());
    }
}

TEST_F(LoggingTest, DumpFilesAreOpenedOnlyWithTheLoggingSwitch)
{
    {
        ScopedEnv logging("FENWO_LOGGING", nullptr);
        std::ofstream s;
        EXPECT_FALSE(openLogStream(s, "c:/tmp/Heal.out", 18));
        EXPECT_FALSE(s.is_open());
        s << "dropped" << std::endl; // must not crash or create a file
        EXPECT_FALSE(exists("Heal.out"));
    }
    ScopedEnv logging("FENWO_LOGGING", "1");
    std::ofstream s;
    EXPECT_FALSE(openLogStream(s, nullptr));
    EXPECT_FALSE(openLogStream(s, ""));

    ASSERT_TRUE(openLogStream(s, "c:/tmp/Heal.out", 18));
    s << "first" << std::endl;
    s.close();
    ASSERT_TRUE(openLogStream(s, "c:/tmp/Heal.out", 0x02 | 0x08)); // append
    s << "second" << std::endl;
    s.close();
    EXPECT_EQ(contents("Heal.out"), "first\nsecond\n");

    ASSERT_TRUE(openLogStream(s, "C:\\tmp\\Heal.out", std::ios::out | std::ios::trunc));
    s << "third" << std::endl;
    s.close();
    EXPECT_EQ(contents("Heal.out"), "third\n");

    // A file that cannot be created is a failure, not a success.
    EXPECT_FALSE(openLogStream(s, "c:/tmp/no-such-folder/x.out"));
}

TEST_F(LoggingTest, GlobalLogsOpenOnTheFirstCallOnly)
{
    ScopedEnv logging("FENWO_LOGGING", nullptr);
    EXPECT_FALSE(profileLog().is_open());
    profileLog() << "lost" << std::endl; // dropped while closed

    openGlobalLogs("c:/tmp/mw.txt", "c:/tmp/mw.log");
    ASSERT_TRUE(profileLog().is_open());
    ASSERT_TRUE(ioLog().is_open());
    profileLog() << "profile line" << std::endl;
    ioLog() << "io line"; // no line end, no explicit flush: still on disk
    EXPECT_EQ(contents("mw.log"), "io line");
    const std::string first = contents("mw.txt");
    EXPECT_EQ(first.rfind("Opened at:", 0), 0u) << first;
    EXPECT_NE(first.find("\nprofile line\n"), std::string::npos) << first;
    EXPECT_EQ(first.find("lost"), std::string::npos);

    openGlobalLogs("c:/tmp/other.txt", "c:/tmp/other.log");
    EXPECT_FALSE(exists("other.txt"));
    EXPECT_FALSE(exists("other.log"));
    profileLog() << "still here" << std::endl;
    EXPECT_NE(contents("mw.txt").find("still here"), std::string::npos);
    // Without the logging switch the extra dumps are left alone.
    EXPECT_FALSE(exists("iolog.out"));

    closeGlobalLogs();
    EXPECT_FALSE(profileLog().is_open());
    openGlobalLogs("c:/tmp/other.txt", nullptr);
    EXPECT_TRUE(exists("other.txt"));
    EXPECT_FALSE(ioLog().is_open());
}

TEST_F(LoggingTest, GlobalLogsTruncateTheIoAndProfileDumpsUnderLogging)
{
    ScopedEnv logging("FENWO_LOGGING", "1");
    {
        std::ofstream(m_folder / "iolog.out") << "old io";
        std::ofstream(m_folder / "profiles.out") << "old profiles";
    }
    openGlobalLogs("c:/tmp/mw.txt", "c:/tmp/mw.log");
    EXPECT_EQ(contents("iolog.out"), "");
    EXPECT_EQ(contents("profiles.out"), "");
    EXPECT_TRUE(exists("mw.log"));
}

// Whatever stands at a debug file's name in place of a file of the user's own
// (a link to another file or to no file yet, a second name of another file, a
// pipe) is never written through, however the file is opened: the opening
// fails and what the link names stays as it was.
TEST_F(LoggingTest, PlantedLinkAtADebugFileIsNeverFollowed)
{
    ScopedEnv logging("FENWO_LOGGING", "1");
    const std::string victim = (m_folder / "victim").string();
    const std::string nowhere = (m_folder / "nowhere").string();
    struct Opener {
        const char* name;
        std::function<bool(const std::string&)> open; // true when the file was opened
    };
    const Opener openers[] = {
        {"openLogStream",
         [](const std::string& n) {
             std::ofstream s;
             const bool opened = openLogStream(s, n.c_str());
             s << "written";
             return opened;
         }},
        {"openLogStream appending",
         [](const std::string& n) {
             std::ofstream s;
             const bool opened = openLogStream(s, n.c_str(), std::ios::out | std::ios::app);
             s << "written";
             return opened;
         }},
        {"CBoundedDump",
         [](const std::string& n) {
             CBoundedDump dump(n.c_str(), true);
             if (std::ostream* out = dump.entry())
                 *out << "written";
             return dump.isOpen();
         }},
        {"global log",
         [](const std::string& n) {
             closeGlobalLogs();
             openGlobalLogs(n.c_str(), nullptr);
             profileLog() << "written";
             const bool opened = profileLog().is_open();
             closeGlobalLogs();
             return opened;
         }},
        {"C stream",
         [](const std::string& n) {
             std::FILE* file = Platform::openDiagnosticsStdio(n, true);
             if (file == nullptr)
                 return false;
             std::fputs("written", file);
             std::fclose(file);
             return true;
         }},
        {"path writer",
         [](const std::string& n) {
             return Platform::writeDiagnosticsFile(n, [](const std::string& path) {
                 return bool(std::ofstream(path) << "written");
             });
         }},
    };
    enum class Planted { link, danglingLink, hardLink, pipe };
    const Planted planted[] = {Planted::link, Planted::danglingLink, Planted::hardLink,
                               Planted::pipe};
    int row = 0;
    for (const Opener& opener : openers)
        for (const Planted p : planted) {
            const std::string name = "planted" + std::to_string(row++) + ".out";
            const std::string path = (m_folder / name).string();
            SCOPED_TRACE(std::string(opener.name) + " on " + name);
            std::ofstream(victim) << "precious";
            switch (p) {
            case Planted::link:
                fs::create_symlink(victim, path);
                break;
            case Planted::danglingLink:
                fs::create_symlink(nowhere, path);
                break;
            case Planted::hardLink:
                fs::create_hard_link(victim, path);
                break;
            case Planted::pipe:
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                break;
            }
            EXPECT_FALSE(opener.open("c:/tmp/" + name));
            EXPECT_EQ(contents("victim"), "precious");
            EXPECT_FALSE(exists("nowhere"));
        }
}

// A debug file starts empty at its first opening in a run, also when it is
// opened for appending: what earlier runs left is gone, and within the run
// the appended writes add up.
TEST_F(LoggingTest, AppendedDebugFilesStartAfreshInEachRun)
{
    ScopedEnv logging("FENWO_LOGGING", "1");
    struct Appender {
        const char* name;
        std::function<void(const std::string&, const std::string&)> append;
    };
    const Appender appenders[] = {
        {"openLogStream",
         [](const std::string& n, const std::string& text) {
             std::ofstream s;
             ASSERT_TRUE(openLogStream(s, n.c_str(), std::ios::out | std::ios::app));
             s << text;
         }},
        {"CBoundedDump",
         [](const std::string& n, const std::string& text) {
             // A limit that the earlier run's bytes would have used up.
             CBoundedDump dump(n.c_str(), true, 64);
             ASSERT_TRUE(dump.isOpen());
             std::ostream* out = dump.entry();
             ASSERT_NE(out, nullptr);
             *out << text;
         }},
        {"C stream",
         [](const std::string& n, const std::string& text) {
             std::FILE* file = Platform::openDiagnosticsStdio(n, true);
             ASSERT_NE(file, nullptr);
             std::fputs(text.c_str(), file);
             std::fclose(file);
         }},
    };
    for (const Appender& a : appenders) {
        SCOPED_TRACE(a.name);
        const std::string name = std::string("appended-") + a.name + ".out";
        std::ofstream(m_folder / name) << std::string(100, 'e') << "\n";
        a.append("c:/tmp/" + name, "first\n");
        EXPECT_EQ(contents(name), "first\n");
        a.append("c:/tmp/" + name, "second\n");
        EXPECT_EQ(contents(name), "first\nsecond\n");
    }
}
