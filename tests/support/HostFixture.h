// Test fixture of host-level tests: a started headless host with one shaded
// 320 x 240 view looking down -Z, absolute tolerance 0.001, the plug-ins the
// test names, FENWO_LOGGING unset and the test case's own folder for the
// plug-in files, ${OUT} and the diagnostics. Tear-down closes the document
// while the plug-ins live, then unloads them.
//
// A process runs one host (the plug-ins are static globals); every test case
// runs in a process of its own.
#pragma once

#include "ScopedEnv.h"
#include "platform/host/HeadlessHost.h"
#include "platform/host/VezadSdk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class HostFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The plug-ins to load, by base name; none unless a test names them.
    virtual std::vector<std::wstring> plugIns() const { return {}; }
    // The settings the host starts with; a test may add views.
    virtual HeadlessHostSettings settings() const;

    // Runs script text in the host.
    ScriptResult run(const std::string& script);
    // The transcript since the host started, one line per line.
    std::string transcript() const;
    const std::vector<CVezadMessageBoxRecord>& boxes() const;
    CVezadDoc& doc();
    CVezadView& view(int index = 0);
    // One event as the !mouse and !key directives write it, for example
    // mouse("down left 160 120 shift") or key("Delete dialog").
    ScriptResult mouse(const std::string& event);
    ScriptResult key(const std::string& event);
    // Saves the document into the test's folder and opens it again; false
    // when either command fails.
    bool saveAndReopen();
    // Fails the test, listing them, when prompts went unanswered.
    void assertNoUnansweredPrompts();

    HeadlessHost m_host;

private:
    ScopedEnv m_noLogging{"FENWO_LOGGING", nullptr};
};
