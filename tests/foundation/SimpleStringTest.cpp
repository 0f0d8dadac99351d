#include "foundation/SimpleString.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(SimpleString, LengthRules)
{
    const CSimpleString empty("abc", 0);
    EXPECT_EQ(empty.text, nullptr);
    EXPECT_EQ(empty.length, 0);
    const CSimpleString none(nullptr);
    EXPECT_TRUE(none.empty());
    EXPECT_STREQ(none.c_str(), "");

    const CSimpleString part("abcdef", 3);
    EXPECT_STREQ(part.text, "abc");
    EXPECT_EQ(part.length, 3);
    const CSimpleString whole("abcdef");
    EXPECT_EQ(whole.length, 6);
    EXPECT_STREQ(whole.text, "abcdef");

    // A source shorter than the requested length: padded with terminators.
    const CSimpleString padded("ab", 5);
    EXPECT_EQ(padded.length, 5);
    EXPECT_STREQ(padded.text, "ab");
    EXPECT_EQ(padded.text[5], '\0');
}

TEST(SimpleString, CopiesAreDeepAndSelfSetIsSafe)
{
    CSimpleString a("hello");
    CSimpleString b = a;
    b.text[0] = 'j';
    EXPECT_STREQ(a.text, "hello");
    a.set(a.text + 1, 3); // from its own text
    EXPECT_STREQ(a.text, "ell");
    a = b;
    EXPECT_STREQ(a.text, "jello");
    CSimpleString moved = std::move(a);
    EXPECT_STREQ(moved.text, "jello");
}
