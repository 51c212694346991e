#include "toolkit/res/LumStringTables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
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
    std::vector<std::u16string> strings = DecodeStringBlock(block.Data);
    EXPECT_EQ(strings.size(), kStringsPerBlock);
    return index < strings.size() ? strings[index] : u"(missing)";
}

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::string NameMapError(std::u16string_view text) {
    try {
        ReadNameMap(Utf16Bytes(text));
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
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
    EXPECT_EQ(blocks[0].Name.Number(), 4069);
    EXPECT_EQ(blocks[1].Name.Number(), 4095);
    EXPECT_EQ(blocks[2].Name.Number(), 4096);
    EXPECT_EQ(blocks[2].Type.Number(), kRtString);
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

TEST(StringTables, BlocksEncodeAndDecodeWhole) {
    TStringBlock strings;
    strings[0] = u"first";
    strings[7] = u"caf\u00e9 \U0001F600";
    strings[15] = u"last";
    std::vector<std::uint8_t> bytes = EncodeStringBlock(strings);
    EXPECT_EQ(bytes.size(), 2u * (16 + 5 + 7 + 4));
    std::vector<std::u16string> decoded = DecodeStringBlock(bytes);
    ASSERT_EQ(decoded.size(), 16u);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(decoded[i], strings[i]) << i;
    }
    // Bytes after the 16th string are no string.
    bytes.insert(bytes.end(), {1, 0, 'x', 0});
    EXPECT_EQ(DecodeStringBlock(bytes).size(), 16u);

    EXPECT_EQ(StringBlockOf(65535), 4096);
    EXPECT_EQ(StringIndexOf(65535), 15u);
    EXPECT_EQ(StringBlockOf(0), 1);
    EXPECT_EQ(StringBlockOf(65088), 4069);
    EXPECT_EQ(StringIndexOf(65088), 0u);

    TStringBlock tooLong;
    tooLong[3] = std::u16string(0x10000, u'x');
    EXPECT_THROW(EncodeStringBlock(tooLong), std::runtime_error);
}

TEST(StringTables, ACutBlockKeepsTheWholeStringsBeforeTheCut) {
    TStringBlock strings;
    for (size_t i = 0; i < 16; ++i) {
        strings[i] = std::u16string(i % 3, static_cast<char16_t>(u'a' + i));
    }
    std::vector<std::uint8_t> bytes = EncodeStringBlock(strings);
    for (size_t size = 0; size <= bytes.size(); ++size) {
        std::vector<std::uint8_t> cut(bytes.begin(),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(size));
        std::vector<std::u16string> decoded = DecodeStringBlock(cut);
        // The strings whose length and text lie wholly inside the cut.
        size_t whole = 0;
        for (size_t end = 0; whole < 16; ++whole) {
            end += 2 + 2 * strings[whole].size();
            if (end > size) {
                break;
            }
        }
        ASSERT_EQ(decoded.size(), whole) << size;
        for (size_t i = 0; i < whole; ++i) {
            EXPECT_EQ(decoded[i], strings[i]);
        }
    }
}

TEST(NameMap, WritesAndReadsBack) {
    auto strings = Declared("LumSysConst", "SEndOfFile = \"Read beyond end of file\"\n"
                                           "SFixed 65109 = \"x\"");
    AssignStringIds(strings);
    std::vector<TNameMapEntry> entries = NameMapEntries(strings);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (TNameMapEntry{65109, "LumSysConst_SFixed"}));
    std::vector<std::uint8_t> bytes = WriteNameMap(entries);
    EXPECT_EQ(bytes, Utf16Bytes(NameMapText(strings)));
    EXPECT_EQ(ReadNameMap(bytes), entries);
    // The zero padding of a section's raw data is no line, odd or even.
    for (size_t padding : {1u, 2u, 3u, 511u}) {
        std::vector<std::uint8_t> padded = bytes;
        padded.resize(bytes.size() + padding, 0);
        EXPECT_EQ(ReadNameMap(padded), entries) << padding;
    }
    EXPECT_TRUE(ReadNameMap({}).empty());
}

TEST(NameMap, MalformedMapsRaiseNamingTheLine) {
    EXPECT_EQ(NameMapError(u"1=A\r\n2=B"), "name map line 2: no CR LF at the end");
    EXPECT_EQ(NameMapError(u"1=A\n"), "name map line 1: no CR LF at the end");
    EXPECT_EQ(NameMapError(u"1A\r\n"), "name map line 1: no '='");
    EXPECT_EQ(NameMapError(u"x=A\r\n"), "name map line 1: the id is no number");
    EXPECT_EQ(NameMapError(u"=A\r\n"), "name map line 1: the id is no number");
    EXPECT_EQ(NameMapError(u"65536=A\r\n"),
              "name map line 1: the id must be a number from 1 to 65535");
    EXPECT_EQ(NameMapError(u"0=A\r\n"), "name map line 1: the id must be a number from 1 to 65535");
    EXPECT_EQ(NameMapError(u"5=A\r\n5=B\r\n"), "name map line 2: the ids do not ascend");
    EXPECT_EQ(NameMapError(u"5=\r\n"), "name map line 1: the name is empty or not printable ASCII");
    EXPECT_EQ(NameMapError(u"5=A\u00e9\r\n"),
              "name map line 1: the name is empty or not printable ASCII");
    std::vector<std::uint8_t> odd = Utf16Bytes(u"1=A\r\n");
    odd.push_back('x');
    EXPECT_THROW(ReadNameMap(odd), std::runtime_error);
    // Every cut of a good map either ends at a line's end or raises.
    std::vector<std::uint8_t> good = Utf16Bytes(u"1=A\r\n22=BB\r\n");
    for (size_t size = 0; size < good.size(); ++size) {
        std::vector<std::uint8_t> cut(good.begin(),
                                      good.begin() + static_cast<std::ptrdiff_t>(size));
        bool lineEnd = size == 0 || size == 10;
        if (lineEnd) {
            EXPECT_EQ(ReadNameMap(cut).size(), size ? 1u : 0u);
        } else {
            EXPECT_THROW(ReadNameMap(cut), std::runtime_error) << size;
        }
    }
}

#ifdef LUM_NAME_MAP
// The map the build wrote with lumbuild (gen/LUM.RSM.bin) reads back as the map of the
// declarations it was made from.
TEST(NameMap, TheBuildsMapReadsBackAsItsDeclarations) {
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        EXPECT_TRUE(in) << path;
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::vector<TDeclaredString> all;
    std::stringstream files(LUM_RSTR_FILES);
    for (std::string file; std::getline(files, file, '|');) {
        std::string module = file.substr(file.find_last_of('/') + 1);
        module = module.substr(0, module.find('.'));
        auto declared = ParseStringDeclarations(module, read(file), file);
        all.insert(all.end(), declared.begin(), declared.end());
    }
    AssignStringIds(all);
    std::string map = read(LUM_NAME_MAP);
    std::vector<TNameMapEntry> entries =
        ReadNameMap(std::span(reinterpret_cast<const std::uint8_t*>(map.data()), map.size()));
    EXPECT_GT(entries.size(), 100u);
    EXPECT_EQ(entries, NameMapEntries(all));
    EXPECT_EQ(entries.back(), (TNameMapEntry{65535, "LumSysConst_SOperationAborted"}));
}
#endif
