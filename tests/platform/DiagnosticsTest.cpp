#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
    EXPECT_FALSE(Platform::diagnosticsFolder().empty());
    if (old)
        ::setenv("FENWO_DIAGNOSTICS_DIR", saved.c_str(), 1);
}
