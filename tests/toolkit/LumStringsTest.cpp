#include "toolkit/LumStrings.h"

#include <gtest/gtest.h>

TEST(Strings, Utf8RoundTripsEveryPlane) {
    std::u16string text = u"A\u00e9\u20ac\U0001F600z";
    EXPECT_EQ(WideToUtf8(text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
}

TEST(Strings, MalformedUtf8AndLoneSurrogatesBecomeReplacements) {
    EXPECT_EQ(Utf8ToWide("a\xFF"
                         "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToWide("\xC3"), u"\uFFFD");       // truncated sequence
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD"); // overlong form
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // encoded surrogate
    EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// The machines the program is tested on, host and Wine prefix, use code page 1252.
TEST(Strings, AnsiIsCodePage1252) {
    EXPECT_EQ(AnsiToWide("caf\xE9 \x80"), u"caf\u00e9 \u20ac");
    EXPECT_EQ(WideToAnsi(u"caf\u00e9 \u20ac"), "caf\xE9 \x80");
    EXPECT_EQ(WideToAnsi(u"\u0416"), "?"); // Cyrillic is not in 1252
    EXPECT_EQ(WideToAnsi(u""), "");
}

TEST(Strings, AsciiCaseHelpers) {
    EXPECT_EQ(AsciiUpperCase(u"capicomdll.\u00e9"), u"CAPICOMDLL.\u00e9");
    EXPECT_TRUE(SameAsciiText(u"Deu", u"dEU"));
    EXPECT_FALSE(SameAsciiText(u"DEU", u"DE"));
}
