#include "foundation/Progress.h"

#include "platform/KeepRunning.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// True when text is exactly one progress line "<head>% done, finish in N seconds.   ".
bool isProgressLine(const std::string& text, const std::string& head)
{
    const std::string prefix = head + "% done, finish in ";
    const std::string suffix = " seconds.   \n";
    if (text.size() <= prefix.size() + suffix.size() || text.rfind(prefix, 0) != 0 ||
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string seconds =
        text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
    return seconds.find_first_not_of("0123456789") == std::string::npos;
}

class StopAfterQueries : public Platform::KeepRunningQuery {
public:
    explicit StopAfterQueries(int allowed) : m_allowed(allowed) {}
    bool keepRunning() override { return m_allowed-- > 0; }

private:
    int m_allowed;
};

} // namespace

TEST(SimpleProgress, FirstLineComesAtTwoPercent)
{
    CSimpleProgress progress;
    progress.begin(0, 200);
    std::vector<int> percents;
    testing::internal::CaptureStdout();
    for (int i = 0; i < 4; ++i) {
        progress.step(1);
        percents.push_back(progress.getPercent());
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(percents, (std::vector<int>{0, 1, 1, 2}));
    EXPECT_TRUE(isProgressLine(out, "2")) << out;

    // The threshold is now 3: the step to 3 % stays silent, the one to 4 % prints.
    testing::internal::CaptureStdout();
    progress.step(2);
    EXPECT_EQ(progress.getPercent(), 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::CaptureStdout();
    progress.step(2);
    EXPECT_EQ(progress.getPercent(), 4);
    EXPECT_TRUE(isProgressLine(testing::internal::GetCapturedStdout(), "4"));
}

TEST(SimpleProgress, LabelAndOneBlankPrecedeThePercentage)
{
    CSimpleProgress progress;
    EXPECT_EQ(progress.getLabel(), nullptr);
    std::string label = "simplify";
    EXPECT_TRUE(progress.setLabel(label.c_str()));
    label = "changed"; // the sink keeps its own copy
    EXPECT_STREQ(progress.getLabel(), "simplify");

    progress.begin(0, 10);
    testing::internal::CaptureStdout();
    progress.step(5);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(isProgressLine(out, "simplify 50")) << out;

    EXPECT_TRUE(progress.setLabel(""));
    EXPECT_EQ(progress.getLabel(), nullptr);
    EXPECT_TRUE(progress.setLabel("x"));
    EXPECT_TRUE(progress.setLabel(nullptr));
    EXPECT_EQ(progress.getLabel(), nullptr);
}

TEST(SimpleProgress, RangeNotStartingAtZeroDoesNotJumpToFullPercent)
{
    CSimpleProgress progress;
    progress.begin(100, 200);
    testing::internal::CaptureStdout();
    progress.step(1);
    EXPECT_EQ(progress.getPercent(), 1);
    progress.step(49);
    EXPECT_EQ(progress.getPercent(), 50);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(isProgressLine(out, "50")) << out;

    // Reset goes back to the start of the range, not to 0.
    progress.reset(0);
    EXPECT_EQ(progress.getDone(), 100);
    progress.setPrint(false);
    progress.step(10);
    EXPECT_EQ(progress.getPercent(), 10);
}

TEST(SimpleProgress, JumpToTheEndPrintsOnceAndEmptyRangeCountsAsOne)
{
    CSimpleProgress progress;
    progress.begin(0, 1000);
    testing::internal::CaptureStdout();
    progress.step(1000);
    progress.step(0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(progress.getPercent(), 100);
    EXPECT_EQ(out, "100% done, finish in 0 seconds.   \n");

    // to <= from: one unit of work is the whole range.
    progress.begin(7, 3);
    testing::internal::CaptureStdout();
    progress.step(1);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(progress.getPercent(), 100);
    EXPECT_TRUE(isProgressLine(out, "100")) << out;
    EXPECT_GE(progress.getRemainingSeconds(), 0.0);
}

TEST(SimpleProgress, SilentSinkStillMovesItsThreshold)
{
    CSimpleProgress progress;
    progress.setPrint(false);
    progress.begin(0, 100);
    testing::internal::CaptureStdout();
    progress.step(50);
    progress.setPrint(true);
    progress.step(1); // 51 % does not pass the threshold 51 left by the silent line
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(VezadProgress, CountsSilentlyAndFollowsTheHostsKeepRunningQuery)
{
    CVezadProgress progress;
    CProgress& sink = progress;
    sink.begin(0, 10);
    testing::internal::CaptureStdout();
    sink.step(5);
    sink.step(5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(progress.getDone(), 10);

    // No host query installed: never cancelled.
    EXPECT_FALSE(sink.isCancelled());

    StopAfterQueries host(2);
    Platform::setKeepRunningQuery(&host);
    EXPECT_FALSE(sink.isCancelled());
    EXPECT_FALSE(sink.isCancelled());
    EXPECT_TRUE(sink.isCancelled());
    Platform::setKeepRunningQuery(nullptr);
    EXPECT_FALSE(sink.isCancelled());

    // A caller's cancellation is not lost behind the host's answer.
    sink.setCancelled(true);
    EXPECT_TRUE(sink.isCancelled());
}
