#include "toolkit/base/LumStrings.h"

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
    EXPECT_EQ(Utf8ToWide("\xC3"), u"\uFFFD");                     // truncated sequence
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), u"\uFFFD\uFFFD");           // overlong form
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

TEST(Strings, SplitLinesAtEveryKindOfBreak) {
    EXPECT_EQ(SplitLines(u"a\r\nb\rc\nd"), (std::vector<std::u16string>{u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(SplitLines(u"one\r\n"), (std::vector<std::u16string>{u"one"}));
    EXPECT_EQ(SplitLines(u"\r\n\r\n"), (std::vector<std::u16string>{u"", u""}));
    EXPECT_EQ(SplitLines(u"\n\r"), (std::vector<std::u16string>{u"", u""})); // LF then CR: two
    EXPECT_TRUE(SplitLines(u"").empty());
    EXPECT_EQ(SplitLines(std::string_view("x\ny")), (std::vector<std::string>{"x", "y"}));
}
