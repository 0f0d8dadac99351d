#include "platform/MessageBox.h"

#include <iostream>
#include <utility>

namespace Platform {

namespace {

MessageBoxHandler& installedHandler()
{
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

MessageBoxAnswer defaultMessageBoxAnswer(MessageBoxButtons buttons)
{
    switch (buttons) {
    case MessageBoxButtons::Ok:
        return MessageBoxAnswer::Ok;
    case MessageBoxButtons::YesNo:
        return MessageBoxAnswer::No;
    case MessageBoxButtons::OkCancel:
    case MessageBoxButtons::YesNoCancel:
        break;
    }
    return MessageBoxAnswer::Cancel;
}

MessageBoxAnswer showMessageBox(const std::string& text, MessageBoxButtons buttons)
{
    const MessageBoxHandler& handler = installedHandler();
    if (handler)
        return handler(text, buttons);
    std::cout << text << std::endl;
    return defaultMessageBoxAnswer(buttons);
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler)
{
    return std::exchange(installedHandler(), std::move(handler));
}

} // namespace Platform
