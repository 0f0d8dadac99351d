#include "platform/InputState.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Names map onto the host's virtual-key codes; anything else is never down.
TEST(InputState, KeyNamesMapOntoVirtualKeys)
{
    std::set<int> held = {'Y', 0x10, 0x12};
    auto previous = Platform::setKeyStateQuery([&](int key) { return held.count(key) > 0; });
    const struct {
        const char* name;
        bool down;
    } cases[] = {{"Y", true},   {"y", true},   {"X", false}, {"Shift", true}, {"Ctrl", false},
                 {"Alt", true}, {"YY", false}, {"", false},  {nullptr, false}};
    for (const auto& c : cases)
        EXPECT_EQ(Platform::isKeyDown(c.name), c.down) << (c.name ? c.name : "null");
    held = {0x11};
    EXPECT_TRUE(Platform::isKeyDown("Ctrl"));
    Platform::setKeyStateQuery(nullptr);
    EXPECT_FALSE(Platform::isKeyDown("Ctrl"));
    Platform::setKeyStateQuery(previous);
}

} // namespace
