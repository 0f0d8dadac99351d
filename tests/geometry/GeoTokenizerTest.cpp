#include "geometry/GeoTokenizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

namespace {

std::string rest(std::istream& is)
{
    std::string s;
    std::getline(is, s, '\0');
    return s;
}

} // namespace

TEST(GeoTokenizer, SingleCharactersAreOnlyLookedAt)
{
    const struct {
        const char* text;
        int code;
    } cases[] = {{"7", 4},  {"0.5", 4}, {"-1", 0}, {".5", 0},  {"+2", 0}, {"#x", 1},
                 {"pX", 1}, {"(", 5},   {")", 6},  {"{", 7},   {"}", 8},  {"[", 9},
                 {"]", 10}, {"Fx", 2},  {"Bx", 3}, {"Px", 18}, {"@", 0},  {"~", 0}};
    for (const auto& c : cases) {
        std::istringstream is(std::string("  \r\n\t") + c.text);
        char buf[16];
        EXPECT_EQ(GeoTokenizer(is, buf, false, sizeof buf), c.code) << c.text;
        EXPECT_EQ(buf[0], c.text[0]);
        EXPECT_EQ(rest(is), c.text) << "the character stays in the stream";
    }
}

TEST(GeoTokenizer, WordsAreTakenAndComparedWholeWithCase)
{
    const struct {
        const char* word;
        int code;
    } cases[] = {{"CONS", 12},           {"CONSTANT", 11},  {"cons", 11},       {"GeoObject", 13},
                 {"CompositeCurve", 14}, {"MultiCONS", 15}, {"ListOfCONS", 16}, {"null", 19},
                 {"Null", 11},           {"reverse", 11}};
    for (const auto& c : cases) {
        std::istringstream is(std::string(c.word) + " 12\r\n");
        char buf[64];
        EXPECT_EQ(GeoTokenizer(is, buf, false, sizeof buf), c.code) << c.word;
        EXPECT_STREQ(buf, c.word);
        EXPECT_EQ(rest(is), " 12\r\n");
    }
}

TEST(GeoTokenizer, SkipLineDropsTheRestOfTheLine)
{
    std::istringstream is("Patch 1 2 3\r\n  \r\n  Face 4\nB x\nCONS");
    EXPECT_EQ(readGeoToken(is, true), 18);
    EXPECT_EQ(readGeoToken(is, true), 2);
    EXPECT_EQ(readGeoToken(is, true), 3);
    EXPECT_EQ(readGeoToken(is, true), 12);
    EXPECT_EQ(readGeoToken(is, true), 0) << "end of the stream";

    std::istringstream keep("Patch 1");
    EXPECT_EQ(readGeoToken(keep, false), 18);
    EXPECT_EQ(rest(keep), "Patch 1");
}

TEST(GeoTokenizer, SkipLineDropsLinesLongerThan128Characters)
{
    std::istringstream is("P " + std::string(500, '1') + "\nnull");
    EXPECT_EQ(readGeoToken(is, true), 18);
    EXPECT_EQ(readGeoToken(is, false), 19);
}

TEST(GeoTokenizer, EndOfStreamAndFailedStreamGiveZero)
{
    std::istringstream empty("   \r\n ");
    char buf[4] = "abc";
    EXPECT_EQ(GeoTokenizer(empty, buf, false, sizeof buf), 0);
    EXPECT_EQ(buf[0], '\0');

    std::istringstream failed("CONS");
    failed.setstate(std::ios::failbit);
    EXPECT_EQ(readGeoToken(failed, false), 0);
}

TEST(GeoTokenizer, LongWordNeverWritesPastTheBuffer)
{
    // The guard bytes after the 8-byte buffer must survive a 40-character word.
    char storage[16];
    std::memset(storage, 'G', sizeof storage);
    std::istringstream is("CompositeCurveWithAVeryLongNameIndeed next");
    EXPECT_EQ(GeoTokenizer(is, storage, false, 8), 11);
    EXPECT_STREQ(storage, "Composi");
    for (int i = 8; i < 16; ++i)
        EXPECT_EQ(storage[i], 'G');
    EXPECT_EQ(rest(is), " next") << "the whole word is taken";

    // A truncating buffer still classifies the whole word.
    std::istringstream kw("CompositeCurve");
    char small[4];
    EXPECT_EQ(GeoTokenizer(kw, small, false, sizeof small), 14);
    EXPECT_STREQ(small, "Com");

    std::istringstream huge(std::string(5000, 'a') + " null");
    EXPECT_EQ(readGeoToken(huge, false), 11);
    EXPECT_EQ(readGeoToken(huge, false), 19);
}
