#include "foundation/Logging.h"

#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
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
