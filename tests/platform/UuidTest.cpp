#include "platform/Uuid.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

bool isLowerHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

} // namespace

TEST(Uuid, TextHasTheVersion4LayoutInLowerCase)
{
    for (int k = 0; k < 200; ++k) {
        std::string id = Platform::makeUuid();
        ASSERT_EQ(id.size(), static_cast<size_t>(Platform::uuidTextLength));
        for (int i = 0; i < Platform::uuidTextLength; ++i) {
            if (i == 8 || i == 13 || i == 18 || i == 23)
                EXPECT_EQ(id[i], '-') << id;
            else
                EXPECT_TRUE(isLowerHex(id[i])) << id;
        }
        EXPECT_EQ(id[14], '4') << id;
        EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;
    }
}

TEST(Uuid, ManyIdsAreDistinct)
{
    std::set<std::string> seen;
    for (int k = 0; k < 10000; ++k)
        seen.insert(Platform::makeUuid());
    EXPECT_EQ(seen.size(), 10000u);
}
