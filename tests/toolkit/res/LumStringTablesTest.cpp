#include "toolkit/res/LumStringTables.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

std::vector<TDeclaredString> Declared(std::string_view module, std::string_view content) {
    return ParseStringDeclarations(module, content, std::string(module) + ".rstr");
}

std::string ErrorOf(std::string_view content) {
    try {
        Declared("M", content);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

std::u16string BlockString(const TResEntry& block, unsigned index) {
    size_t pos = 0;
    for (unsigned i = 0; i <= index; ++i) {
        size_t length = block.Data[pos] | (block.Data[pos + 1] << 8);
        if (i == index) {
            std::u16string text;
            for (size_t k = 0; k < length; ++k) {
                text += static_cast<char16_t>(block.Data[pos + 2 + 2 * k] |
                                              (block.Data[pos + 3 + 2 * k] << 8));
            }
            return text;
        }
        pos += 2 + 2 * length;
    }
    return {};
}

} // namespace

TEST(StringDeclarations, ParsesIdentifiersIdsAndEscapes) {
    auto strings = Declared("LumLXUtils", "# comment\r\n"
                                          "\n"
                                          "SProgramRequires 65168 = \"This program requires %s.\"\n"
                                          "  SOSError=\"System Error.  Code: %d.\\r\\n%s\"  \n"
                                          "SQuote = \"say \\\"hi\\\" \\\\ \\u00e9 \xC3\xA9\"");
    ASSERT_EQ(strings.size(), 3u);
    EXPECT_EQ(strings[0].Identifier, "SProgramRequires");
    EXPECT_EQ(strings[0].FixedId, 65168);
    EXPECT_EQ(strings[0].Text, u"This program requires %s.");
    EXPECT_EQ(strings[1].FixedId, -1);
    EXPECT_EQ(strings[1].Text, u"System Error.  Code: %d.\r\n%s");
    EXPECT_EQ(strings[2].Text, u"say \"hi\" \\ \u00e9 \u00e9");
    EXPECT_EQ(strings[2].Module, "LumLXUtils");
}

TEST(StringDeclarations, ReportsMistakesWithTheirLine) {
    EXPECT_EQ(ErrorOf("SA = \"a\"\nSA = \"b\""), "M.rstr:2: 'SA' is declared twice");
    EXPECT_EQ(ErrorOf("SA = \"open"), "M.rstr:1: unterminated text");
    EXPECT_EQ(ErrorOf("SA \"a\""), "M.rstr:1: expected '='");
    EXPECT_EQ(ErrorOf("SA 70000 = \"a\""), "M.rstr:1: the id must be a number from 1 to 65535");
    EXPECT_EQ(ErrorOf("SA 0 = \"a\""), "M.rstr:1: the id must be a number from 1 to 65535");
    EXPECT_EQ(ErrorOf("SA = \"a\" junk"), "M.rstr:1: unexpected text after the string");
    EXPECT_EQ(ErrorOf("SA = \"\\q\""), "M.rstr:1: unknown escape \\q");
    EXPECT_EQ(ErrorOf("SA = \"\\u12\""), "M.rstr:1: \\u needs four hexadecimal digits");
    EXPECT_EQ(ErrorOf("= \"a\""), "M.rstr:1: expected an identifier");
    EXPECT_THROW(Declared("Not-A-Name", ""), std::runtime_error);
}

TEST(StringIds, FixedIdsStayAndOthersCountDownSkippingThem) {
    auto strings = Declared("A", "S1 = \"1\"\nS2 65534 = \"2\"\nS3 = \"3\"");
    auto more = Declared("B", "S1 = \"b1\"\nS4 65533 = \"4\"\nS5 = \"5\"");
    strings.insert(strings.end(), more.begin(), more.end());
    AssignStringIds(strings);
    EXPECT_EQ(strings[0].Id, 65535); // A_S1
    EXPECT_EQ(strings[1].Id, 65534); // fixed
    EXPECT_EQ(strings[2].Id, 65532); // skips the fixed 65534 and 65533
    EXPECT_EQ(strings[3].Id, 65531); // B_S1: same identifier, other module
    EXPECT_EQ(strings[4].Id, 65533);
    EXPECT_EQ(strings[5].Id, 65530);
}

TEST(StringIds, RepeatedFixedIdsAndNamesAreErrors) {
    auto strings = Declared("A", "S1 100 = \"1\"");
    auto clash = Declared("B", "S2 100 = \"2\"");
    strings.insert(strings.end(), clash.begin(), clash.end());
    try {
        AssignStringIds(strings);
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "id 100 is fixed for both A_S1 and B_S2");
    }
    auto twice = Declared("A", "S1 = \"1\"");
    auto again = Declared("A", "S1 = \"1\"");
    twice.insert(twice.end(), again.begin(), again.end());
    EXPECT_THROW(AssignStringIds(twice), std::runtime_error);
}

TEST(StringTables, BlocksHoldSixteenCountedStrings) {
    auto strings = Declared("M", "SA 65535 = \"last\"\nSB 65520 = \"\"\nSC 65519 = \"prev\"\n"
                                 "SD 65088 = \"Seagate\"");
    AssignStringIds(strings);
    auto blocks = StringTableResources(strings);
    ASSERT_EQ(blocks.size(), 3u);
    // Blocks in ascending order: 65088 / 16 + 1 = 4069, then 4095, then 4096.
    EXPECT_EQ(blocks[0].Name.Number, 4069);
    EXPECT_EQ(blocks[1].Name.Number, 4095);
    EXPECT_EQ(blocks[2].Name.Number, 4096);
    EXPECT_EQ(blocks[2].Type.Number, kRtString);
    EXPECT_EQ(blocks[2].Language, 0);
    EXPECT_EQ(BlockString(blocks[0], 0), u"Seagate");
    EXPECT_EQ(BlockString(blocks[1], 15), u"prev");
    EXPECT_EQ(BlockString(blocks[2], 15), u"last");
    EXPECT_EQ(BlockString(blocks[2], 0), u"");
    // 16 length words, plus "last" (4 characters) in the upper block.
    EXPECT_EQ(blocks[2].Data.size(), 2u * (16 + 4));
}

TEST(NameMap, OneCrLfLinePerStringInAscendingIdOrder) {
    auto strings = Declared("LumSysConst", "SEndOfFile = \"Read beyond end of file\"\n"
                                           "SFixed 65109 = \"x\"");
    auto utils = Declared("LumLXUtils", "SProgramRequires 65168 = \"This program requires %s.\"");
    strings.insert(strings.end(), utils.begin(), utils.end());
    AssignStringIds(strings);
    EXPECT_EQ(NameMapText(strings), u"65109=LumSysConst_SFixed\r\n"
                                    u"65168=LumLXUtils_SProgramRequires\r\n"
                                    u"65535=LumSysConst_SEndOfFile\r\n");
}

TEST(ModuleHeader, DeclaresConstantsOfOneModule) {
    auto strings = Declared("LumSysConst", "SOSError = \"Code: %d.\\r\\n\\\"%s\\\" \\u00e9\"");
    auto other = Declared("Other", "SOther = \"o\"");
    strings.insert(strings.end(), other.begin(), other.end());
    AssignStringIds(strings);
    std::string header = ModuleHeaderText("LumSysConst", strings);
    EXPECT_NE(header.find("namespace LumSysConst {\n"
                          "inline constexpr TResStringRec SOSError{65535, "
                          "u\"Code: %d.\\u000D\\u000A\\\"%s\\\" \\u00E9\"};\n"
                          "}"),
              std::string::npos)
        << header;
    EXPECT_EQ(header.find("SOther"), std::string::npos);
}
