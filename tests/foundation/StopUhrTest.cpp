#include "foundation/StopUhr.h"
#include "foundation/Profiler.h"

#include "foundation/Logging.h"

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A stopwatch on a hand-driven clock.
class FakeClockWatch : public StopUhr {
public:
    explicit FakeClockWatch(const char* label = nullptr) : StopUhr(false, label, true) {}
    double now() const override { return ticks; }
    void advanceMilliseconds(double ms) { ticks += ms / 1000.0 * getTicksPerSecond(); }

    double ticks = 1.0e6;
};

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool startsWith(const std::string& text, const std::string& head)
{
    return text.rfind(head, 0) == 0;
}

std::string textOf(const StopUhr& watch)
{
    std::ostringstream os;
    os << watch;
    return os.str();
}

} // namespace

TEST(StopUhr, StartAndStopRefuseTheStateTheWatchIsIn)
{
    FakeClockWatch watch;
    EXPECT_FALSE(watch.isRunning());
    EXPECT_FALSE(watch.stop());
    EXPECT_EQ(watch.elapsedTicks(), 0.0);

    EXPECT_TRUE(watch.start());
    watch.advanceMilliseconds(100.0);
    EXPECT_FALSE(watch.start()); // keeps the first start
    watch.advanceMilliseconds(100.0);
    EXPECT_NEAR(watch.elapsedMilliseconds(), 200.0, 1e-2);

    EXPECT_TRUE(watch.pause());
    watch.advanceMilliseconds(1000.0); // not counted while paused
    EXPECT_FALSE(watch.stop());
    EXPECT_NEAR(watch.elapsedMilliseconds(), 200.0, 1e-2);
    EXPECT_TRUE(watch.resume());
    watch.advanceMilliseconds(50.0);
    EXPECT_TRUE(watch.stop());
    EXPECT_NEAR(watch.elapsedMilliseconds(), 250.0, 1e-2);
    EXPECT_NEAR(watch.ticksToMilliseconds(watch.elapsedTicks()), 250.0, 1e-2);
}

TEST(StopUhr, TextFormIsEmptyWithoutTheTimerSwitch)
{
    ScopedEnv timer("FENWO_TIMER", nullptr);
    FakeClockWatch watch("fit");
    watch.start();
    watch.advanceMilliseconds(12000.0);
    watch.stop();
    EXPECT_EQ(textOf(watch), "");

    // A watch that is not quiet prints nothing at all when it ends, not even
    // an empty line.
    testing::internal::CaptureStdout();
    {
        StopUhr loud(true, "loud", false);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(StopUhr, TextFormChoosesSecondsMillisecondsOrTicks)
{
    ScopedEnv timer("FENWO_TIMER", "");
    FakeClockWatch labelled("select and approx");
    labelled.start();
    labelled.advanceMilliseconds(12000.0);
    labelled.stop();
    EXPECT_EQ(textOf(labelled), "select and approx: elapsed seconds = 12");

    FakeClockWatch plain;
    plain.start();
    plain.advanceMilliseconds(3000.0);
    plain.stop();
    EXPECT_EQ(textOf(plain), "elapsed milliseconds = 3000");

    FakeClockWatch idle;
    EXPECT_EQ(textOf(idle), "elapsed ticks=0");

    testing::internal::CaptureStdout();
    {
        StopUhr loud(false, "loud", false);
        StopUhr quiet(false, "quiet", true);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "loud: elapsed ticks=0\n");
}

TEST(StopUhr, GlobalWatchIsOneRunningQuietWatch)
{
    StopUhr& global = globalStopUhr();
    EXPECT_EQ(&global, &globalStopUhr());
    EXPECT_TRUE(global.isRunning());
    EXPECT_TRUE(global.isQuiet());
    EXPECT_GE(global.elapsedTicks(), 0.0);
}

TEST(SimpleProfiler, ReportListsTheUsedSectionsThenOtherThenTheTimer)
{
    ScopedEnv profiler("FENWO_PROFILER", "1");
    ScopedEnv timer("FENWO_TIMER", "1");

    testing::internal::CaptureStdout(); // the profilers report again when they end
    {
        CSimpleProfiler empty("empty");
        std::ostringstream os;
        os << empty;
        const std::vector<std::string> lines = linesOf(os.str());
        ASSERT_EQ(lines.size(), 2u) << os.str();
        EXPECT_TRUE(startsWith(lines[0], "other = ")) << lines[0];
        EXPECT_EQ(lines[0].substr(lines[0].size() - 5), " ms. ");
        EXPECT_TRUE(startsWith(lines[1], "empty: elapsed ")) << lines[1];

        CSimpleProfiler used("used");
        const double ticksPerMs = used.getTimer().getTicksPerSecond() / 1000.0;
        EXPECT_TRUE(used.addSectionTicks(3, 2.0 * ticksPerMs));
        EXPECT_TRUE(used.addSectionTicks(0, 0.5 * ticksPerMs));
        EXPECT_FALSE(used.addSectionTicks(50, 1.0));
        EXPECT_FALSE(used.addSectionTicks(-1, 1.0));
        EXPECT_EQ(used.getSectionTicks(50), 0.0);
        used.getTimer().stop();
        os.str("");
        os << used;
        const std::vector<std::string> report = linesOf(os.str());
        ASSERT_EQ(report.size(), 4u) << os.str();
        EXPECT_TRUE(startsWith(report[0], "0-th sub=0.5 ms. portion=")) << report[0];
        EXPECT_TRUE(startsWith(report[1], "3-th sub=2 ms. portion=")) << report[1];
        EXPECT_EQ(report[1].substr(report[1].size() - 2), " %");
        EXPECT_TRUE(startsWith(report[2], "other = ")) << report[2];
        EXPECT_TRUE(startsWith(report[3], "used: elapsed ")) << report[3];
    }
    testing::internal::GetCapturedStdout();
}

TEST(SimpleProfiler, ReportOnlyWithTheProfilerSwitchAndOnDestruction)
{
    {
        ScopedEnv profiler("FENWO_PROFILER", nullptr);
        testing::internal::CaptureStdout();
        {
            CSimpleProfiler silent("silent");
            silent.addSectionTicks(1, 10.0);
            std::ostringstream os;
            os << silent;
            EXPECT_EQ(os.str(), "");
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
    ScopedEnv profiler("FENWO_PROFILER", "1");
    testing::internal::CaptureStdout();
    {
        CSimpleProfiler loud("loud");
        loud.addSectionTicks(7, 1.0e6);
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("7-th sub=", 0), 0u) << out;
    EXPECT_NE(out.find("other = "), std::string::npos) << out;
}

TEST(SimpleProfiler, ScopedSectionsAddTheirTime)
{
    CSimpleProfiler profiler("scoped");
    {
        CTP section(profiler, 4);
        CTP outOfRange(profiler, 99); // ignored, no harm
    }
    EXPECT_GE(profiler.getSectionTicks(4), 0.0);
    EXPECT_TRUE(profiler.startSection(2));
    EXPECT_TRUE(profiler.stopSection(2));
    EXPECT_TRUE(profiler.stopSection(2));
    EXPECT_GE(profiler.getSectionTicks(2), 0.0);
    EXPECT_FALSE(profiler.startSection(50));
    EXPECT_FALSE(profiler.stopSection(-3));
    EXPECT_EQ(profiler.getSectionTicks(1), 0.0);
}
