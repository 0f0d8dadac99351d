#include "platform/ChangeNotification.h"

#include <utility>

namespace Platform {

namespace {

ChangeNotificationHandler& installedHandler()
{
    static ChangeNotificationHandler handler;
    return handler;
}

} // namespace

bool sendChangeNotification(WindowToken window, unsigned int message)
{
    if (window == nullptr || message == 0)
        return false;
    if (const ChangeNotificationHandler& handler = installedHandler())
        handler(window, message);
    return true;
}

ChangeNotificationHandler setChangeNotificationHandler(ChangeNotificationHandler handler)
{
    return std::exchange(installedHandler(), std::move(handler));
}

} // namespace Platform
