// The message-box seam: printed with its default answer when nobody answers,
// handed to an installed handler otherwise.
#include "platform/MessageBox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Platform::MessageBoxAnswer;
using Platform::MessageBoxButtons;

TEST(MessageBox, UnansweredBoxesPrintAndTakeTheirDefault)
{
    const std::pair<MessageBoxButtons, MessageBoxAnswer> cases[] = {
        {MessageBoxButtons::Ok, MessageBoxAnswer::Ok},
        {MessageBoxButtons::OkCancel, MessageBoxAnswer::Cancel},
        {MessageBoxButtons::YesNo, MessageBoxAnswer::No},
        {MessageBoxButtons::YesNoCancel, MessageBoxAnswer::Cancel}};
    for (const auto& [buttons, answer] : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(Platform::showMessageBox("Delete the net?", buttons), answer);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Delete the net?\n");
    }

    // An installed handler answers instead; nothing is printed.
    Platform::setMessageBoxHandler(
        [](const std::string&, MessageBoxButtons) { return MessageBoxAnswer::Yes; });
    testing::internal::CaptureStdout();
    EXPECT_EQ(Platform::showMessageBox("Keep it?", MessageBoxButtons::YesNo),
              MessageBoxAnswer::Yes);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(bool(Platform::setMessageBoxHandler(nullptr)));
}

} // namespace
