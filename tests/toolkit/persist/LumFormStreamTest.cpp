#include "toolkit/persist/LumFormStream.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStreams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Form text lines, each ended by CR LF.
std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::string Repeat(char c, size_t count) {
    return std::string(count, c);
}

// The main form of the program, as its form file holds it.
const std::string kMainForm = Lines({
    "object OstrinForm: TOstrinForm",
    "  Left = 192",
    "  Top = 183",
    "  BorderIcons = []",
    "  BorderStyle = bsDialog",
    "  Caption = 'CAPICOM 2.0 setup'",
    "  ClientHeight = 1",
    "  ClientWidth = 309",
    "  Color = clBtnFace",
    "  Font.Charset = DEFAULT_CHARSET",
    "  Font.Color = clWindowText",
    "  Font.Height = -11",
    "  Font.Name = 'MS Shell Dlg 2'",
    "  Font.Style = []",
    "  OldCreateOrder = False",
    "  Position = poScreenCenter",
    "  PixelsPerInch = 96",
    "  TextHeight = 13",
    "  object Timer1: TTimer",
    "    Interval = 250",
    "    OnTimer = Timer1Timer",
    "    Left = 8",
    "    Top = 8",
    "  end",
    "end",
});

// Every kind of scalar value.
const std::string kScalars = Lines({
    "object Tricky: TTricky",
    "  Small = -128",
    "  Medium = 32767",
    "  Big = -2147483648",
    "  Huge = 9223372036854775807",
    "  Negative = -9223372036854775808",
    "  Ratio = 0.1",
    "  Whole = 3.0",
    "  NegativeZero = -0.0",
    "  Tiny = 1e-07",
    "  Large = 1e+20",
    "  Single = 0.1s",
    "  Money = 12.5c",
    "  MoneyNegative = -0.0001c",
    "  MoneyWhole = 7.0c",
    "  When = 45000.75d",
    "  Empty = ''",
    "  Quote = 'It'#39's'",
    "  Lines = 'one'#13#10'two'#9'tab'",
    "  Wide = #1046#1091#1082' '#8364",
    "  Accent = 'caf'#233",
    "  Delete = '\x7F'#128",
    "  Flags = [fsBold, fsItalic]",
    "  NoFlags = []",
    "  Yes = True",
    "  No = False",
    "  Nothing = nil",
    "  NullValue = Null",
    "  Kind = bsDialog",
    "end",
});

// Long strings, lists, binary data, collections and nested, unnamed, inherited and inline
// objects with child positions.
const std::string kStructures = Lines({
    "inherited Main: TMain [0]",
    "  Caption = ",
    "    '" + Repeat('a', 64) + "' +",
    "    'bbbb'",
    "  Hint = ",
    "    '" + Repeat('x', 63) + "'#233 +",
    "    'y'",
    "  Exact = '" + Repeat('e', 64) + "'",
    "  Long = ",
    "    '" + Repeat('l', 64) + "' +",
    "    '" + Repeat('l', 64) + "' +",
    "    '" + Repeat('l', 64) + "' +",
    "    '" + Repeat('l', 64) + "' +",
    "    'l'",
    "  Lines.Strings = (",
    "    'first'",
    "    ''",
    "    '" + Repeat('c', 64) + "' +",
    "      'dd')",
    "  Nested = (",
    "    1",
    "    (",
    "      2",
    "      'x')",
    "    ())",
    "  NoItems = ()",
    "  Data = {",
    "    000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F",
    "    20FF}",
    "  NoData = {}",
    "  Columns = <",
    "    item",
    "      Caption = 'Name'",
    "      Width = 100",
    "    end",
    "    item [5]",
    "      Caption = 'Size'",
    "      Sub = <",
    "        item",
    "          X = 1",
    "        end>",
    "    end",
    "    item",
    "    end>",
    "  Empty = <>",
    "  object Panel1: TPanel",
    "    object TLabel",
    "      Caption = 'Unnamed'",
    "    end",
    "    inline Frame1: TFrame1 [2]",
    "      Left = 8",
    "    end",
    "    inherited Button1: TButton",
    "    end",
    "    object TBevel [-1]",
    "    end",
    "  end",
    "end",
});

// A vaDouble value as the writer stores it.
std::string DoubleValue(double value) {
    TLumMemoryStream stream;
    TLumFormWriter(stream).WriteFloat(value);
    return stream.Bytes();
}

std::string Utf16(std::u16string_view text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

} // namespace

TEST(FormStream, CanonicalTextSurvivesTheRoundTripByteForByte) {
    const std::pair<const char*, const std::string*> texts[] = {
        {"main form", &kMainForm}, {"scalars", &kScalars}, {"structures", &kStructures}};
    for (const auto& [what, text] : texts) {
        SCOPED_TRACE(what);
        std::string binary = FormTextToBinary(*text);
        EXPECT_EQ(binary.substr(0, 4), "LPF0");
        EXPECT_EQ(FormBinaryToText(binary), *text);
        EXPECT_EQ(FormTextToBinary(FormBinaryToText(binary)), binary);
    }
}

TEST(FormStream, FormFilesOfTheTreeAreCanonical) {
    // Under Wine the host's root is drive Z:.
#ifdef _WIN32
    std::filesystem::path root = std::filesystem::path("Z:" LUM_SOURCE_DIR);
#else
    std::filesystem::path root = LUM_SOURCE_DIR;
#endif
    int found = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        std::string name = it->path().filename().string();
        if (it->is_directory() && (name.starts_with("build") || name.starts_with("."))) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->path().extension() != ".form") {
            continue;
        }
        SCOPED_TRACE(it->path().string());
        std::ifstream file(it->path(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        EXPECT_EQ(FormBinaryToText(FormTextToBinary(text.str())), text.str());
        ++found;
    }
    EXPECT_GT(found, 0);
}

TEST(FormStream, WritesTheDocumentedBytes) {
    std::string text = Lines({"object A: TB", "  X = 1", "end"});
    EXPECT_EQ(FormTextToBinary(text), std::string("LPF0\x02TB\x01"
                                                  "A\x01X\x02\x01\x00\x00",
                                                  15));

    std::string header = Lines({"inherited A: TB [3]", "end", ""});
    EXPECT_EQ(FormTextToBinary(header), std::string("LPF0\xF3\x02\x03\x02TB\x01"
                                                    "A\x00\x00",
                                                    14));
    EXPECT_EQ(FormTextToBinary("inline TB end"), std::string("LPF0\xF4\x02TB\x00\x00\x00", 11));

    struct Case {
        std::string value;
        std::string bytes;
    };
    const Case cases[] = {
        {"127", std::string("\x02\x7F", 2)},
        {"-129", std::string("\x03\x7F\xFF", 3)},
        {"32768", std::string("\x04\x00\x80\x00\x00", 5)},
        {"2147483648", std::string("\x05\x00\x00\x00\x80\x00\x00\x00\x00", 9)},
        {"$FF", std::string("\x03\xFF\x00", 3)},
        {"1.5", std::string("\x06\x00\x00\x00\x00\x00\x00\xF8\x3F", 9)},
        {"1.5s", std::string("\x07\x00\x00\xC0\x3F", 5)},
        {"1.5c", std::string("\x08\x98\x3A\x00\x00\x00\x00\x00\x00", 9)},
        {"1.5d", std::string("\x09\x00\x00\x00\x00\x00\x00\xF8\x3F", 9)},
        {"'abc'", std::string("\x0A\x03"
                              "abc",
                              5)},
        {"'" + Repeat('a', 255) + "'", "\x0A\xFF" + Repeat('a', 255)},
        {"'" + Repeat('a', 256) + "'", std::string("\x0B\x00\x01\x00\x00", 5) + Repeat('a', 256)},
        {"#127", std::string("\x0A\x01\x7F", 3)},
        {"#233", std::string("\x0C\x01\x00\x00\x00\xE9\x00", 7)},
        {"'x'#8364", std::string("\x0C\x02\x00\x00\x00x\x00\xAC\x20", 9)},
        {"clRed", "\x0D\x05"
                  "clRed"},
        {"false", std::string("\x0E", 1)},
        {"TRUE", std::string("\x0F", 1)},
        {"{0AFF}", std::string("\x10\x02\x00\x00\x00\x0A\xFF", 7)},
        {"[a, bc]", std::string("\x11\x01"
                                "a\x02"
                                "bc\x00",
                                7)},
        {"NIL", std::string("\x12", 1)},
        {"null", std::string("\x00", 1)},
        {"(1 'a')", std::string("\x01\x02\x01\x0A\x01"
                                "a\x00",
                                7)},
        {"<item [2] X = 1 end item end>",
         std::string("\x13\x02\x02\x01\x01X\x02\x01\x00\x01\x00\x00", 12)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::string binary =
            FormTextToBinary(std::string("object A: TB\r\n  P = ") + c.value + "\r\nend\r\n");
        EXPECT_EQ(binary, std::string("LPF0\x02TB\x01"
                                      "A\x01P",
                                      11) +
                              c.bytes + std::string("\x00\x00", 2));
    }
}

TEST(FormStream, AcceptsTheTextTheTranslationRuntimeRenders) {
    // Changed captions come back with unindented continuation lines; spacing and case of the
    // keywords vary in hand-written files.
    std::string rendered = Lines({
        "OBJECT Form1 : TForm1",
        "  Caption = ",
        "'" + Repeat('a', 64) + "' +",
        "'b'",
        "   Hint='h'",
        "  Tag = $10",
        "  Label.Caption = 'It''s'",
        "  Ratio = 1.50",
        "  Object Child:TChild",
        "  END",
        "End",
    });
    std::string canonical = Lines({
        "object Form1: TForm1",
        "  Caption = ",
        "    '" + Repeat('a', 64) + "' +",
        "    'b'",
        "  Hint = 'h'",
        "  Tag = 16",
        "  Label.Caption = 'It'#39's'",
        "  Ratio = 1.5",
        "  object Child: TChild",
        "  end",
        "end",
    });
    EXPECT_EQ(FormBinaryToText(FormTextToBinary(rendered)), canonical);
}

TEST(FormStream, BinaryKindsThatTextNormalises) {
    // An ANSI string with bytes above 127 reads through the code page and comes back as
    // UTF-16; a 64-bit integer that fits in 8 bits comes back as one.
    std::string binary = std::string("LPF0\x02TB\x00", 8) +
                         std::string("\x01S\x0A\x04"
                                     "caf\xE9",
                                     8) +
                         std::string("\x01L\x0B\x02\x00\x00\x00"
                                     "ok",
                                     9) +
                         std::string("\x01I\x05\x07\x00\x00\x00\x00\x00\x00\x00", 11) +
                         std::string("\x01W\x0C\x01\x00\x00\x00"
                                     "A\x00",
                                     9) +
                         std::string("\x00\x00", 2);
    std::string text =
        Lines({"object TB", "  S = 'caf'#233", "  L = 'ok'", "  I = 7", "  W = 'A'", "end"});
    EXPECT_EQ(FormBinaryToText(binary), text);
    std::string again = FormTextToBinary(text);
    EXPECT_EQ(again, std::string("LPF0\x02TB\x00", 8) +
                         std::string("\x01S\x0C\x04\x00\x00\x00", 7) + Utf16(u"caf\u00e9") +
                         std::string("\x01L\x0A\x02"
                                     "ok",
                                     6) +
                         std::string("\x01I\x02\x07", 4) +
                         std::string("\x01W\x0A\x01"
                                     "A",
                                     5) +
                         std::string("\x00\x00", 2));
}

TEST(FormStream, StringLiteralsFollowTheWritingRules) {
    struct Case {
        std::u16string text;
        std::string indent;
        std::string literal;
    };
    std::u16string a64(64, u'a');
    const Case cases[] = {
        {u"", "", "''"},
        {u"It's", "", "'It'#39's'"},
        {u"'", "", "#39"},
        {u"a\tb\x7F\x80", "", "'a'#9'b\x7F'#128"},
        {u"\U0001F600", "", "#55357#56832"},
        {a64, "", "'" + Repeat('a', 64) + "'"},
        {a64 + u"b", "", "\r\n'" + Repeat('a', 64) + "' +\r\n'b'"},
        {a64 + u"b", "    ", "\r\n    '" + Repeat('a', 64) + "' +\r\n    'b'"},
        {std::u16string(63, u'a') + u"\u00e9b", "", "\r\n'" + Repeat('a', 63) + "'#233 +\r\n'b'"},
        {std::u16string(65, u'\''), "",
         "\r\n" +
             [] {
                 std::string codes;
                 for (int i = 0; i < 64; ++i) {
                     codes += "#39";
                 }
                 return codes;
             }() +
             " +\r\n#39"},
        {std::u16string(128, u'z'), "",
         "\r\n'" + Repeat('z', 64) + "' +\r\n'" + Repeat('z', 64) + "'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.literal);
        EXPECT_EQ(FormStringLiteral(c.text, c.indent), c.literal);
    }
}

TEST(FormStream, MalformedTextRaisesWithTheLine) {
    struct Case {
        const char* what;
        std::string text;
        std::u16string message;
    };
    const Case cases[] = {
        {"empty", "", u"Object declaration expected on line 1"},
        {"no keyword", "thing A: TB\r\nend", u"Object declaration expected on line 1"},
        {"no class", "object A:\r\n", u"Identifier expected on line 2"},
        {"no end", "object A: TB\r\n  X = 1\r\n", u"'end' expected on line 3"},
        {"no equals", "object A: TB\r\n  X 1\r\nend", u"'=' expected on line 2"},
        {"bad value", "object A: TB\r\n  X = ,\r\nend", u"Invalid property value on line 2"},
        {"no value", "object A: TB\r\n  X =", u"Invalid property value on line 2"},
        {"string plus number", "object A: TB\r\n  X = 'abc' +\r\n 5\r\nend",
         u"String expected on line 3"},
        {"set without comma", "object A: TB\r\n  X = [a b]\r\nend", u"',' expected on line 2"},
        {"set of numbers", "object A: TB\r\n  X = [1]\r\nend", u"Identifier expected on line 2"},
        {"unclosed list", "object A: TB\r\n  X = (1\r\n", u"Invalid property value on line 3"},
        {"item expected", "object A: TB\r\n  X = <\r\n    thing\r\n  end>\r\nend",
         u"'item' expected on line 3"},
        {"item without end", "object A: TB\r\n  X = <\r\n    item\r\n",
         u"Identifier expected on line 4"},
        {"position", "object A: TB [x]\r\nend", u"Number expected on line 1"},
        {"position too large", "object A: TB [2147483648]\r\nend",
         u"Invalid numeric value on line 1"},
        {"position unclosed", "object A: TB [1\r\nend", u"']' expected on line 2"},
        {"binary", "object A: TB\r\n  X = {0A1}\r\nend", u"Invalid binary value on line 2"},
        {"number", "object A: TB\r\n  X = 99999999999999999999\r\nend",
         u"Invalid numeric value on line 2"},
        {"unterminated", "object A: TB\r\n  X = 'abc\r\nend", u"Unterminated string on line 2"},
        {"child not an object", "object A: TB\r\n  object C: TC\r\n  end\r\n  5\r\nend",
         u"'end' expected on line 4"},
        {"text after the end", "object A: TB\r\nend\r\nextra", u"End of text expected on line 3"},
        {"nested too deeply", "object A: TB\r\n  X = " + std::string(200, '(') + "\r\nend",
         u"Form stream nested too deeply on line 2"},
        {"class name too long", "object A: " + Repeat('T', 240) + "\r\nend",
         u"Invalid name '" + std::u16string(240, u'T') + u"' on line 1"},
        {"property name too long", "object A: TB\r\n  " + Repeat('P', 256) + " = 1\r\nend",
         u"Invalid name '" + std::u16string(256, u'P') + u"' on line 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MessageOf<EParserError>([&] { FormTextToBinary(c.text); }), c.message);
    }
    // Nothing half-converted reaches the output.
    TLumMemoryStream input(std::string("object A: TB\r\n  X = ,\r\nend"));
    TLumMemoryStream output;
    EXPECT_THROW(ObjectTextToBinary(input, output), EParserError);
    EXPECT_EQ(output.Size(), 0);
}

TEST(FormStream, CorruptBinaryRaisesReadErrors) {
    const std::string head("LPF0\x02TB\x00", 8);
    const std::string tail("\x00\x00", 2);
    struct Case {
        const char* what;
        std::string binary;
        std::u16string message;
    };
    const Case cases[] = {
        {"empty", "", u"Invalid stream format"},
        {"signature", "LPF1" + head.substr(4) + tail, u"Invalid stream format"},
        {"unknown value type", head + std::string("\x01P\x77", 3) + tail,
         u"Invalid property value"},
        {"huge string length", head + std::string("\x01P\x0B\xFF\xFF\xFF\x7F", 7) + tail,
         u"Stream read error"},
        {"huge wide string", head + std::string("\x01P\x0C\xFF\xFF\xFF\x7F", 7) + tail,
         u"Stream read error"},
        {"huge binary", head + std::string("\x01P\x10\x00\x00\x00\x80", 7) + tail,
         u"Stream read error"},
        {"unknown flag", std::string("LPF0\xF8\x02TB\x00", 9) + tail, u"Invalid stream format"},
        {"empty class name", std::string("LPF0\xF1\x00\x00", 7) + tail, u"Invalid stream format"},
        {"name with a blank",
         std::string("LPF0\x02TB\x03"
                     "A B",
                     11) +
             tail,
         u"Invalid stream format"},
        {"property keyword",
         head +
             std::string("\x03"
                         "end\x02\x01",
                         6) +
             tail,
         u"Invalid stream format"},
        {"identifier with quote",
         head +
             std::string("\x01P\x0D\x02"
                         "a'",
                         6) +
             tail,
         u"Invalid stream format"},
        {"set element with blank",
         head +
             std::string("\x01P\x11\x03"
                         "a b\x00",
                         8) +
             tail,
         u"Invalid stream format"},
        {"position is no integer",
         std::string("LPF0\xF2\x0A\x01"
                     "a\x02TB\x00",
                     12) +
             tail,
         u"Invalid property value"},
        {"not a number", head + std::string("\x01P\x06\x00\x00\x00\x00\x00\x00\xF8\x7F", 11) + tail,
         u"Invalid property value"},
        {"collection item without list", head + std::string("\x01P\x13\x02\x01\x00", 6) + tail,
         u"Invalid property value"},
        {"nested too deeply", head + "\x01P" + std::string(150, '\x01'),
         u"Form stream nested too deeply"},
        {"children too deep",
         [] {
             std::string binary = "LPF0";
             for (int i = 0; i < 150; ++i) {
                 binary += std::string("\x02TB\x00\x00", 5);
             }
             return binary;
         }(),
         u"Form stream nested too deeply"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MessageOf<EReadError>([&] { FormBinaryToText(c.binary); }), c.message);
    }
}

TEST(FormStream, EveryTruncationRaisesAReadError) {
    std::string binary = FormTextToBinary(kStructures);
    for (size_t length = 0; length < binary.size(); ++length) {
        SCOPED_TRACE(length);
        EXPECT_THROW(FormBinaryToText(binary.substr(0, length)), EReadError);
    }
    std::string scalars = FormTextToBinary(kScalars);
    for (size_t length = 0; length < scalars.size(); ++length) {
        SCOPED_TRACE(length);
        EXPECT_THROW(FormBinaryToText(scalars.substr(0, length)), EReadError);
    }
}

TEST(FormStream, FlippedBytesRaiseReadErrorsOrGiveStableText) {
    const std::string samples[] = {FormTextToBinary(kStructures), FormTextToBinary(kScalars)};
    for (const std::string& sample : samples) {
        for (size_t at = 0; at < sample.size(); ++at) {
            for (unsigned char mask : {0x01, 0x10, 0x80, 0xFF}) {
                std::string corrupt = sample;
                corrupt[at] = static_cast<char>(corrupt[at] ^ mask);
                std::string text;
                try {
                    text = FormBinaryToText(corrupt);
                } catch (const EReadError&) {
                    continue;
                }
                // Whatever the reader accepts, the text shows faithfully.
                SCOPED_TRACE(testing::Message() << "byte " << at << " mask " << int(mask));
                EXPECT_EQ(FormBinaryToText(FormTextToBinary(text)), text);
            }
        }
    }
}

TEST(FormReader, ReadsWhatTheWriterWrites) {
    TLumMemoryStream stream;
    TLumFormWriter writer(stream);
    writer.WriteSignature();
    writer.WriteObjectHeader({ffInherited | ffChildPos, 7, "TForm1", "Form1"});
    writer.WritePropName("Int");
    writer.WriteInteger(-100000);
    writer.WritePropName("Wide");
    writer.WriteString(u"\u0416x");
    writer.WritePropName("Set");
    const std::string elements[] = {"a", "b"};
    writer.WriteSet(elements);
    writer.WritePropName("Bytes");
    const std::uint8_t bytes[] = {1, 2, 3};
    writer.WriteBinary(bytes);
    writer.WritePropName("Items");
    writer.WriteCollectionBegin();
    writer.WriteCollectionItemBegin(std::nullopt);
    writer.WriteListEnd();
    writer.WriteCollectionItemBegin(-3);
    writer.WritePropName("On");
    writer.WriteBoolean(true);
    writer.WriteListEnd();
    writer.WriteListEnd();
    writer.WritePropName("Money");
    writer.WriteCurrency(-15000);
    writer.WritePropName("Float");
    writer.WriteFloat(0.25);
    writer.WriteListEnd();
    writer.WriteListEnd();

    stream.SetPosition(0);
    TLumFormReader reader(stream);
    reader.ReadSignature();
    TObjectHeader header = reader.ReadObjectHeader();
    EXPECT_EQ(header.Flags, ffInherited | ffChildPos);
    EXPECT_EQ(header.ChildPos, 7);
    EXPECT_EQ(header.ClassName, "TForm1");
    EXPECT_EQ(header.ObjectName, "Form1");
    EXPECT_EQ(reader.ReadPropName(), "Int");
    EXPECT_EQ(reader.NextValue(), vaInt32);
    EXPECT_EQ(reader.ReadInteger(), -100000);
    EXPECT_EQ(reader.ReadPropName(), "Wide");
    EXPECT_EQ(reader.ReadString(), u"\u0416x");
    EXPECT_EQ(reader.ReadPropName(), "Set");
    EXPECT_EQ(reader.ReadSet(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(reader.ReadPropName(), "Bytes");
    EXPECT_EQ(reader.ReadBinary(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(reader.ReadPropName(), "Items");
    reader.ReadCollectionBegin();
    EXPECT_EQ(reader.ReadCollectionItemBegin(), std::nullopt);
    EXPECT_TRUE(reader.EndOfList());
    reader.ReadListEnd();
    EXPECT_EQ(reader.ReadCollectionItemBegin(), -3);
    EXPECT_EQ(reader.ReadPropName(), "On");
    EXPECT_TRUE(reader.ReadBoolean());
    reader.ReadListEnd();
    reader.ReadListEnd();
    EXPECT_EQ(reader.ReadPropName(), "Money");
    EXPECT_EQ(reader.ReadFloat(), -1.5);
    EXPECT_EQ(reader.ReadPropName(), "Float");
    EXPECT_EQ(reader.ReadCurrency(), 2500);
    reader.ReadListEnd();
    reader.ReadListEnd();
    EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(FormReader, ValuesOfTheWrongKindRaise) {
    struct Case {
        const char* what;
        std::string bytes;
        std::function<void(TLumFormReader&)> read;
    };
    const Case cases[] = {
        {"integer from string", "\x0A\x01x", [](TLumFormReader& r) { r.ReadInteger(); }},
        {"integer beyond 32 bits", std::string("\x05\x00\x00\x00\x80\x00\x00\x00\x00", 9),
         [](TLumFormReader& r) { r.ReadInteger(); }},
        {"string from identifier", "\x0D\x01x", [](TLumFormReader& r) { r.ReadString(); }},
        {"boolean from nil", "\x12", [](TLumFormReader& r) { r.ReadBoolean(); }},
        {"identifier from integer", "\x02\x01", [](TLumFormReader& r) { r.ReadIdent(); }},
        {"set from list", "\x01\x00", [](TLumFormReader& r) { r.ReadSet(); }},
        {"binary from set", std::string("\x11\x00", 2), [](TLumFormReader& r) { r.ReadBinary(); }},
        {"float from string", "\x0A\x00", [](TLumFormReader& r) { r.ReadFloat(); }},
        {"list begin", "\x02\x00", [](TLumFormReader& r) { r.ReadListBegin(); }},
        {"list end", "\x01", [](TLumFormReader& r) { r.ReadListEnd(); }},
        {"collection", "\x01", [](TLumFormReader& r) { r.ReadCollectionBegin(); }},
        {"currency out of range", DoubleValue(1e300), [](TLumFormReader& r) { r.ReadCurrency(); }},
        {"skip unknown", "\x40", [](TLumFormReader& r) { r.SkipValue(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TLumMemoryStream stream(c.bytes);
        TLumFormReader reader(stream);
        EXPECT_EQ(MessageOf<EReadError>([&] { c.read(reader); }), u"Invalid property value");
    }
}

TEST(FormReader, SpecialIdentifiersAndConversions) {
    TLumMemoryStream stream(std::string("\x0E\x0F\x12\x00\x07\x00\x00\xC0\x3F\x02\x05", 11));
    TLumFormReader reader(stream);
    EXPECT_EQ(reader.ReadIdent(), "False");
    EXPECT_EQ(reader.ReadIdent(), "True");
    EXPECT_EQ(reader.ReadIdent(), "nil");
    EXPECT_EQ(reader.ReadIdent(), "Null");
    EXPECT_EQ(reader.ReadSingle(), 1.5f);
    EXPECT_EQ(reader.ReadDate(), 5.0);
    EXPECT_EQ(MessageOf<EReadError>([&] { reader.NextValue(); }), u"Stream read error");
}

TEST(FormReader, SkipValueSkipsEveryKind) {
    std::string binary = FormTextToBinary(kStructures);
    TLumMemoryStream stream(binary);
    TLumFormReader reader(stream);
    reader.ReadSignature();
    reader.ReadObjectHeader();
    std::vector<std::string> names;
    while (!reader.EndOfList()) {
        names.push_back(reader.ReadPropName());
        reader.SkipValue();
    }
    reader.ReadListEnd();
    EXPECT_EQ(names, (std::vector<std::string>{"Caption", "Hint", "Exact", "Long", "Lines.Strings",
                                               "Nested", "NoItems", "Data", "NoData", "Columns",
                                               "Empty"}));
    EXPECT_EQ(reader.ReadObjectHeader().ObjectName, "Panel1");
}

TEST(FormWriter, RefusesNamesTheStreamCannotHold) {
    TLumMemoryStream stream;
    TLumFormWriter writer(stream);
    struct Case {
        const char* what;
        std::function<void()> write;
        std::u16string message;
    };
    const std::string empty[] = {"a", ""};
    const Case cases[] = {
        {"long name", [&] { writer.WriteStr(Repeat('n', 256)); },
         u"Invalid name '" + std::u16string(256, u'n') + u"'"},
        {"empty property name", [&] { writer.WritePropName(""); }, u"Invalid name ''"},
        {"empty class name",
         [&] {
             writer.WriteObjectHeader({0, 0, "", "A"});
         },
         u"Invalid name ''"},
        {"long class name",
         [&] {
             writer.WriteObjectHeader({0, 0, Repeat('T', 240), "A"});
         },
         u"Invalid name '" + std::u16string(240, u'T') + u"'"},
        {"empty set element", [&] { writer.WriteSet(empty); }, u"Invalid name ''"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MessageOf<EWriteError>(c.write), c.message);
    }
    writer.WriteObjectHeader({0, 0, Repeat('T', 239), Repeat('n', 255)});
    EXPECT_EQ(stream.Size(), 1 + 239 + 1 + 255);
}
