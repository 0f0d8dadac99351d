// Platform::showMessageBox: the seam through which the system shows a message
// box and waits for the user's answer.
//
// Without a handler the text is printed to standard output and the box takes
// its default answer (OK for an OK box, No for Yes/No, Cancel for
// Yes/No/Cancel). Tests install a handler that records the text and answers;
// the headless host answers from its input queue.
// Thread-safety: the handler is a process-wide setting; install it before the
// user-interface code runs and not while a box may be shown.
#pragma once

#include <functional>
#include <string>

namespace Platform {

enum class MessageBoxButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageBoxAnswer { Ok, Cancel, Yes, No };

using MessageBoxHandler =
    std::function<MessageBoxAnswer(const std::string& text, MessageBoxButtons buttons)>;

// Shows text with the given buttons and returns the answer.
MessageBoxAnswer showMessageBox(const std::string& text,
                                MessageBoxButtons buttons = MessageBoxButtons::Ok);

// The answer a box takes when nobody answers it.
MessageBoxAnswer defaultMessageBoxAnswer(MessageBoxButtons buttons);

// Installs handler (an empty one restores printing); returns the previous one.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);

} // namespace Platform
