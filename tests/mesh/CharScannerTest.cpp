#include "mesh/CharScanner.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

TEST(CharScannerTest, ClassesOfCharacters)
{
    const std::string chars = "aZ#+-09(){}[]=._\r\xc3";
    const int classes[] = {1, 1, 2, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9, 11, 0, 0, 0, 0};
    for (std::size_t i = 0; i < chars.size(); ++i) {
        std::istringstream in(chars.substr(i, 1));
        char next = '?';
        EXPECT_EQ(peekTokenClass(in, &next, false), classes[i]) << "character " << int(chars[i]);
        EXPECT_EQ(next, chars[i]);
    }
}

TEST(CharScannerTest, BlanksSkippedOnlyWhenAskedAndNothingTaken)
{
    std::istringstream in(" \t\r\n -1.5");
    EXPECT_EQ(peekTokenClass(in, nullptr, false), 12);
    EXPECT_EQ(peekTokenClass(in, nullptr, true), 3);
    EXPECT_EQ(peekTokenClass(in, nullptr, true), 3);
    double v = 0;
    in >> v;
    EXPECT_DOUBLE_EQ(v, -1.5);
    // The end of the stream, reached by skipping or not, and a failed stream.
    std::istringstream empty("");
    char next = 'x';
    EXPECT_EQ(peekTokenClass(empty, &next, false), 0);
    EXPECT_EQ(next, '\0');
    std::istringstream blanks("  \n");
    EXPECT_EQ(peekTokenClass(blanks, &next, true), 0);
    std::istringstream failed("abc");
    failed.setstate(std::ios::failbit);
    next = 'x';
    EXPECT_EQ(peekTokenClass(failed, &next, false), 0);
    EXPECT_EQ(next, 'x');
}
