#include "ScratchDir.h"

#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace mwtest {
namespace {

std::string g_dir;

std::string safeName(std::string name)
{
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ' ')
            c = '_';
    return name;
}

class ScratchDirListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override
    {
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        if (ec)
            base = "/tmp";
        g_dir = (base / ("mwtest-" + std::to_string(::getpid()) + "-" +
                         safeName(std::string(info.test_suite_name()) + "." + info.name())))
                    .string();
        std::filesystem::remove_all(g_dir, ec);
        std::filesystem::create_directories(g_dir, ec);
        // Both the override and the environment point at the case's folder, so a
        // test that resets the override still writes into its own folder.
        ::setenv("FENWO_DIAGNOSTICS_DIR", g_dir.c_str(), 1);
        ::setenv("TEST_TMPDIR", (g_dir + "/").c_str(), 1);
        Platform::setDiagnosticsFolderOverride("");
    }
    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        Platform::setDiagnosticsFolderOverride("");
        if (info.result() && info.result()->Passed()) {
            std::error_code ec;
            std::filesystem::remove_all(g_dir, ec);
        }
    }
};

} // namespace

const std::string& scratchDir()
{
    if (g_dir.empty()) {
        // Outside a test case (a global fixture, say) the process gets one folder.
        g_dir = (std::filesystem::temp_directory_path() /
                 ("mwtest-" + std::to_string(::getpid()) + "-global"))
                    .string();
        std::error_code ec;
        std::filesystem::create_directories(g_dir, ec);
    }
    return g_dir;
}

std::string scratchPath(const std::string& name)
{
    return scratchDir() + "/" + name;
}

void installScratchDirListener()
{
    ::testing::UnitTest::GetInstance()->listeners().Append(new ScratchDirListener);
}

} // namespace mwtest
