#include "HostFixture.h"

#include "ScratchDir.h"

void HostFixture::SetUp()
{
    ASSERT_TRUE(m_host.start(settings()));
}

void HostFixture::TearDown()
{
    m_host.shutdown();
}

HeadlessHostSettings HostFixture::settings() const
{
    HeadlessHostSettings s;
    s.plugInFolder = mwtest::scratchDir();
    s.outputFolder = mwtest::scratchDir();
    s.plugIns = plugIns();
    s.absoluteTolerance = 0.001;
    s.views = {HeadlessViewSettings()};
    return s;
}

ScriptResult HostFixture::run(const std::string& script)
{
    return m_host.runScript(script);
}

std::string HostFixture::transcript() const
{
    std::string text;
    for (const std::string& line : VezadApp().Transcript())
        text += line + "\n";
    return text;
}

const std::vector<CVezadMessageBoxRecord>& HostFixture::boxes() const
{
    return VezadApp().MessageBoxes();
}

CVezadDoc& HostFixture::doc()
{
    return m_host.doc();
}

CVezadView& HostFixture::view(int index)
{
    return *VezadApp().views().at(static_cast<std::size_t>(index));
}

ScriptResult HostFixture::mouse(const std::string& event)
{
    return run("!mouse " + event);
}

ScriptResult HostFixture::key(const std::string& event)
{
    return run("!key " + event);
}

bool HostFixture::saveAndReopen()
{
    const std::string path = mwtest::scratchPath("reopen.vzd");
    if (run("-_Save \"" + path + "\"").status != ScriptResult::passed ||
        VezadApp().LastCommandResult() != CVezadCommand::success)
        return false;
    return run("-_Open \"" + path + "\"").status == ScriptResult::passed &&
           VezadApp().LastCommandResult() == CVezadCommand::success;
}

void HostFixture::assertNoUnansweredPrompts()
{
    const auto& prompts = VezadApp().UnansweredPrompts();
    std::string list;
    for (const std::string& prompt : prompts)
        list += "\n  " + prompt;
    EXPECT_TRUE(prompts.empty()) << "unanswered prompts:" << list;
}
