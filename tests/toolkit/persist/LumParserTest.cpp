#include "toolkit/persist/LumParser.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStreams.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

template <class Action> std::u16string ParserErrorOf(Action&& action) {
    try {
        action();
    } catch (const EParserError& e) {
        return e.Message();
    }
    ADD_FAILURE() << "no EParserError raised";
    return {};
}

struct Token {
    char kind;
    std::string text;
    bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Token& token) {
    return out << int(token.kind) << ":" << token.text;
}

std::vector<Token> Tokens(std::string_view text) {
    std::vector<Token> tokens;
    TLumParser parser(text);
    for (; parser.Token() != toEOF; parser.NextToken()) {
        tokens.push_back({parser.Token(), parser.TokenString()});
    }
    return tokens;
}

} // namespace

TEST(Parser, SplitsFormTextIntoTokens) {
    struct Case {
        const char* text;
        std::vector<Token> tokens;
    };
    const Case cases[] = {
        {"object Form1: TForm1",
         {{toSymbol, "object"}, {toSymbol, "Form1"}, {':', ":"}, {toSymbol, "TForm1"}}},
        {"  Font.Name = 'Arial'", {{toSymbol, "Font.Name"}, {'=', "="}, {toString, "Arial"}}},
        {"_a1.b2", {{toSymbol, "_a1.b2"}}},
        {"12 -5 $FF - 5",
         {{toInteger, "12"}, {toInteger, "-5"}, {toInteger, "$FF"}, {'-', "-"}, {toInteger, "5"}}},
        {"1.5 -0.25 1e5 2.5E-3 1.",
         {{toFloat, "1.5"},
          {toFloat, "-0.25"},
          {toFloat, "1e5"},
          {toFloat, "2.5E-3"},
          {toInteger, "1"},
          {'.', "."}}},
        {"1.5s 12.5c 4.0D", {{toFloat, "1.5"}, {toFloat, "12.5"}, {toFloat, "4.0"}}},
        {"12c", {{toInteger, "12"}, {toSymbol, "c"}}},
        {"[a, b] (x) <> {} + @",
         {{'[', "["},
          {toSymbol, "a"},
          {',', ","},
          {toSymbol, "b"},
          {']', "]"},
          {'(', "("},
          {toSymbol, "x"},
          {')', ")"},
          {'<', "<"},
          {'>', ">"},
          {'{', "{"},
          {'}', "}"},
          {'+', "+"},
          {'@', "@"}}},
        {"'a' 'b'", {{toString, "a"}, {toString, "b"}}},
        {"", {}},
        {" \t\r\n ", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Tokens(c.text), c.tokens);
    }
}

TEST(Parser, StringLiteralsJoinQuotedRunsAndCodes) {
    struct Case {
        const char* text;
        char kind;
        std::u16string value;
    };
    const Case cases[] = {
        {"''", toString, u""},
        {"'It''s'", toString, u"It's"},
        {"'It'#39's'", toString, u"It's"},
        {"'a'#13#10'b'", toString, u"a\r\nb"},
        {"#65#066", toString, u"AB"},
        {"'x'#255", toString, u"x\u00ff"},
        {"#256", toWString, u"\u0100"},
        {"#1046#1091#1082' '#8364", toWString, u"\u0416\u0443\u043a \u20ac"},
        {"#55357#56832", toWString, u"\U0001F600"},
        {"#0", toString, std::u16string(1, u'\0')},
        // Quoted bytes are ANSI text: 0xE9 is e acute and 0x80 the euro sign in code page 1252.
        {"'caf\xE9'", toString, u"caf\u00e9"},
        {"'\x80'", toWString, u"\u20ac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TLumParser parser(c.text);
        EXPECT_EQ(parser.Token(), c.kind);
        EXPECT_EQ(parser.TokenWideString(), c.value);
        EXPECT_EQ(parser.NextToken(), toEOF);
    }
    EXPECT_EQ(TLumParser("'caf'#233").TokenString(), "caf\xE9");
    EXPECT_EQ(TLumParser("#1046'x'").TokenString(), "?x");
}

TEST(Parser, NumbersAndTheirValues) {
    EXPECT_EQ(TLumParser("0").TokenInt(), 0);
    EXPECT_EQ(TLumParser("-2147483649").TokenInt(), -2147483649LL);
    EXPECT_EQ(TLumParser("9223372036854775807").TokenInt(),
              std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(TLumParser("-9223372036854775808").TokenInt(),
              std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(TLumParser("$ff").TokenInt(), 255);
    EXPECT_EQ(TLumParser("$FFFFFFFF").TokenInt(), 4294967295LL);
    EXPECT_EQ(TLumParser("$FFFFFFFFFFFFFFFF").TokenInt(), -1);
    EXPECT_EQ(TLumParser("2.5E-3").TokenFloat(), 0.0025);
    EXPECT_EQ(TLumParser("-1e300").TokenFloat(), -1e300);
    EXPECT_EQ(TLumParser("7").TokenFloat(), 7.0);
    EXPECT_EQ(TLumParser("0.1s").TokenSingle(), 0.1f);
    EXPECT_EQ(TLumParser("0.1s").FloatType(), 's');
    EXPECT_EQ(TLumParser("45000.5D").FloatType(), 'd');
    EXPECT_EQ(TLumParser("45000.5").FloatType(), 0);
}

TEST(Parser, CurrencyIsExactDecimal) {
    struct Case {
        const char* text;
        std::int64_t value;
    };
    const Case cases[] = {
        {"12.5c", 125000},
        {"0.1c", 1000},
        {"0.0001c", 1},
        {"-3.0c", -30000},
        {"1.23456c", 12346},
        {"1.23454c", 12345},
        {"-1.23455c", -12346},
        {"1e3c", 10000000},
        {"1.5e-4c", 2},
        {"922337203685477.5807c", std::numeric_limits<std::int64_t>::max()},
        {"-922337203685477.5808c", std::numeric_limits<std::int64_t>::min()},
        {"5", 50000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TLumParser(c.text).TokenCurrency(), c.value);
    }
}

TEST(Parser, CountsLinesAtEveryKindOfLineBreak) {
    TLumParser parser("a\r\nb\nc\rd\r\n\r\ne\n\n");
    std::vector<int> lines;
    for (; parser.Token() != toEOF; parser.NextToken()) {
        lines.push_back(parser.SourceLine());
    }
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3, 4, 6}));
    EXPECT_EQ(parser.SourceLine(), 8);
}

TEST(Parser, ErrorsNameTheLine) {
    struct Case {
        const char* what;
        std::function<void()> action;
        const char16_t* message;
    };
    const Case cases[] = {
        {"unterminated", [] { TLumParser("\r\n'abc"); }, u"Unterminated string on line 2"},
        {"line break in quotes",
         [] {
             TLumParser parser("x = 'ab\r\ncd'");
             while (parser.NextToken() != toEOF) {
             }
         },
         u"Unterminated string on line 1"},
        {"code without digits", [] { TLumParser("'a'#"); }, u"Invalid string constant on line 1"},
        {"code too large", [] { TLumParser("\n#65536"); }, u"Invalid string constant on line 2"},
        {"hex without digits", [] { TLumParser("$"); }, u"Invalid numeric value on line 1"},
        {"decimal too large", [] { TLumParser("99999999999999999999").TokenInt(); },
         u"Invalid numeric value on line 1"},
        {"hex too large", [] { TLumParser("$10000000000000000").TokenInt(); },
         u"Invalid numeric value on line 1"},
        {"float too large", [] { TLumParser("1e999").TokenFloat(); },
         u"Invalid numeric value on line 1"},
        {"currency too large", [] { TLumParser("922337203685477.5808c").TokenCurrency(); },
         u"Invalid numeric value on line 1"},
        {"string expected", [] { TLumParser("\n\nx").CheckToken(toString); },
         u"String expected on line 3"},
        {"identifier expected", [] { TLumParser("5").CheckToken(toSymbol); },
         u"Identifier expected on line 1"},
        {"number expected", [] { TLumParser("x").CheckToken(toInteger); },
         u"Number expected on line 1"},
        {"integer is no float", [] { TLumParser("1.5").TokenInt(); }, u"Number expected on line 1"},
        {"character expected", [] { TLumParser("x").CheckToken('='); }, u"'=' expected on line 1"},
        {"symbol expected", [] { TLumParser("\nbegin").CheckTokenSymbol("end"); },
         u"'end' expected on line 2"},
        {"message of the caller", [] { TLumParser("\n\n\nx").Error(u"Bad thing"); },
         u"Bad thing on line 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ParserErrorOf(c.action), c.message);
    }
}

TEST(Parser, SymbolsCompareWithoutCase) {
    TLumParser parser("Object");
    EXPECT_TRUE(parser.TokenSymbolIs("OBJECT"));
    EXPECT_FALSE(parser.TokenSymbolIs("objects"));
    parser.CheckTokenSymbol("object");
    EXPECT_FALSE(TLumParser("'object'").TokenSymbolIs("object"));
}

TEST(Parser, ReadStringValueJoinsPiecesAfterPlus) {
    struct Case {
        const char* text;
        std::u16string value;
    };
    const Case cases[] = {
        {"'abc' x", u"abc"},
        {"'abc' + #66 +\r\n  'def' x", u"abcBdef"},
        // Continuation lines without indentation, as the translation runtime writes them.
        {"\r\n'aaa' +\r\n'bbb' +\r\n#1046 x", u"aaabbb\u0416"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TLumParser parser(c.text);
        EXPECT_EQ(parser.ReadStringValue(), c.value);
        EXPECT_TRUE(parser.TokenSymbolIs("x"));
    }
    EXPECT_EQ(ParserErrorOf([] { TLumParser("'a' +\r\n 5").ReadStringValue(); }),
              u"String expected on line 2");
    EXPECT_EQ(ParserErrorOf([] { TLumParser("Caption").ReadStringValue(); }),
              u"String expected on line 1");
    EXPECT_EQ(ParserErrorOf([] { TLumParser("'a' +").ReadStringValue(); }),
              u"String expected on line 1");
}

TEST(Parser, ReadBinaryTakesHexPairsUpToTheBrace) {
    TLumParser parser("{ 0A ff\r\n  10} x");
    EXPECT_EQ(parser.ReadBinary(), (std::vector<std::uint8_t>{0x0A, 0xFF, 0x10}));
    EXPECT_TRUE(parser.TokenSymbolIs("x"));
    EXPECT_EQ(parser.SourceLine(), 2);

    TLumParser empty("{}");
    EXPECT_TRUE(empty.ReadBinary().empty());
    EXPECT_EQ(empty.Token(), toEOF);

    const char* bad[] = {"{0A1}", "{0G}", "{\r\n0A", "{'0A'}"};
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParserErrorOf([&] { TLumParser(text).ReadBinary(); }).substr(0, 20),
                  u"Invalid binary value");
    }
    EXPECT_EQ(ParserErrorOf([] { TLumParser("{\r\n00\r\n0X}").ReadBinary(); }),
              u"Invalid binary value on line 3");
    EXPECT_EQ(ParserErrorOf([] { TLumParser("x").ReadBinary(); }), u"'{' expected on line 1");
}

TEST(Parser, ReadsTheRestOfAStream) {
    TLumMemoryStream stream("skipped 'kept'");
    stream.SetPosition(8);
    TLumParser parser(stream);
    EXPECT_EQ(parser.Token(), toString);
    EXPECT_EQ(parser.TokenString(), "kept");
}
