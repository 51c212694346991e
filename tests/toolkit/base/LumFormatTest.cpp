#include "toolkit/base/LumFormat.h"

#include "toolkit/base/LumExceptions.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(Format, IntegersWidthAndPrecision) {
    EXPECT_EQ(Format(u"%d", 42), u"42");
    EXPECT_EQ(Format(u"%5d|", 42), u"   42|");
    EXPECT_EQ(Format(u"%-5d|", 42), u"42   |");
    EXPECT_EQ(Format(u"%.3d", 5), u"005");
    EXPECT_EQ(Format(u"%.3d", -5), u"-005");
    EXPECT_EQ(Format(u"%d", INT32_MIN), u"-2147483648");
    EXPECT_EQ(Format(u"%d", INT64_MIN), u"-9223372036854775808");
    EXPECT_EQ(Format(u"%u", -1), u"4294967295");
    EXPECT_EQ(Format(u"%u", std::uint32_t{4000000000u}), u"4000000000");
    // Width never cuts.
    EXPECT_EQ(Format(u"%2d", 12345), u"12345");
}

TEST(Format, HexAndPointers) {
    EXPECT_EQ(Format(u"%x", 255), u"FF");
    EXPECT_EQ(Format(u"%.8x", 255), u"000000FF");
    EXPECT_EQ(Format(u"%x", -1), u"FFFFFFFF");
    EXPECT_EQ(Format(u"%x", std::int64_t{-1}), u"FFFFFFFFFFFFFFFF");
    EXPECT_EQ(Format(u"%.8x", static_cast<std::int32_t>(0x80004005)), u"80004005");
    EXPECT_EQ(Format(u"%p", reinterpret_cast<const void*>(0x1234)), u"00001234");
    EXPECT_EQ(Format(u"[%p]", reinterpret_cast<const void*>(0x00401A2B)), u"[00401A2B]");
    EXPECT_EQ(Format(u" + $%x", 0x1C), u" + $1C");
}

TEST(Format, TextsPaddingAndCutting) {
    EXPECT_EQ(Format(u"%s and %s", u"wide", "ansi"), u"wide and ansi");
    EXPECT_EQ(Format(u"%.2s", u"abcdef"), u"ab");
    EXPECT_EQ(Format(u"%-*s|", 6, u"ab"), u"ab    |");
    EXPECT_EQ(Format(u"%*s|", 6, u"ab"), u"    ab|");
    EXPECT_EQ(Format(u"%-*s|", 2, u"abcdef"), u"abcdef|");
    EXPECT_EQ(Format(u"%*.*s|", 5, 2, u"abcdef"), u"   ab|");
    EXPECT_EQ(Format(u"%s", u'x'), u"x");
    EXPECT_EQ(Format(u"100%%"), u"100%");
    EXPECT_EQ(Format(u"%s%%%s", u"a", u"b"), u"a%b");
}

TEST(Format, ExplicitIndexes) {
    EXPECT_EQ(Format(u"0x%0:.8x (%0:d)", static_cast<std::int32_t>(0x80004005)),
              u"0x80004005 (-2147467259)");
    EXPECT_EQ(Format(u"%1:s %0:s", u"world", u"hello"), u"hello world");
    // After an index, unindexed directives go on from the next argument.
    EXPECT_EQ(Format(u"%1:s %s %0:s", u"a", u"b", u"c"), u"b c a");
    EXPECT_EQ(Format(u"%0:-4s|", u"ab"), u"ab  |");
}

TEST(Format, AnsiFormatConvertsWideArguments) {
    EXPECT_EQ(Format("%s/%s", u"caf\u00e9", "x"), "caf\xE9/x");
    EXPECT_EQ(Format(u"%s", "caf\xE9"), u"caf\u00e9");
    EXPECT_EQ(Format("[%.8x] %s", 0x400000, "C:\\x.exe"), "[00400000] C:\\x.exe");
}

TEST(Format, FloatingPoint) {
    EXPECT_EQ(Format(u"%f", 3.14159), u"3.14");
    EXPECT_EQ(Format(u"%.0f", 2.5), u"3");
    EXPECT_EQ(Format(u"%.2f", 0.125), u"0.13"); // halves round away from zero
    EXPECT_EQ(Format(u"%.2f", -0.125), u"-0.13");
    EXPECT_EQ(Format(u"%.2f", -0.001), u"0.00");
    EXPECT_EQ(Format(u"%.1f", 9.96), u"10.0");
    EXPECT_EQ(Format(u"%e", 1234.5), u"1.23450000000000E+003");
    EXPECT_EQ(Format(u"%.3e", -0.00012345), u"-1.23E-004");
    EXPECT_EQ(Format(u"%g", 0.5), u"0.5");
    EXPECT_EQ(Format(u"%g", 123456.0), u"123456");
    EXPECT_EQ(Format(u"%g", 1e20), u"1E20");
    EXPECT_EQ(Format(u"%g", 1.5e-6), u"1.5E-6");
    EXPECT_EQ(Format(u"%g", 0.0), u"0");
    EXPECT_EQ(Format(u"%n", 1234567.891), u"1,234,567.89");
    EXPECT_EQ(Format(u"%.0n", 999.5), u"1,000");
    EXPECT_EQ(Format(u"%m", 1234.5), u"$1,234.50");
    EXPECT_EQ(Format(u"%m", -5.0), u"($5.00)");
    EXPECT_EQ(Format(u"%8.1f|", 2.25), u"     2.3|");
}

TEST(Format, MalformedFormatsRaiseConversionErrors) {
    struct Case {
        const char16_t* format;
        const char16_t* message;
    };
    const Case cases[] = {
        {u"%", u"Format '%' invalid or incompatible with argument"},
        {u"%5", u"Format '%5' invalid or incompatible with argument"},
        {u"%z", u"Format '%z' invalid or incompatible with argument"},
        {u"%s", u"Format '%s' invalid or incompatible with argument"}, // integer for %s
        {u"%.d", u"Format '%.d' invalid or incompatible with argument"},
        {u"%f", u"Format '%f' invalid or incompatible with argument"}, // integer for %f
        {u"%p", u"Format '%p' invalid or incompatible with argument"}, // integer for %p
        {u"%d %d", u"No argument for format '%d %d'"},
        {u"%3:d", u"No argument for format '%3:d'"},
        {u"%99999999999d", u"Format '%99999999999d' invalid or incompatible with argument"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            std::string(c.format, c.format + std::char_traits<char16_t>::length(c.format)));
        try {
            Format(c.format, 1);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), c.message);
            EXPECT_STREQ(error.ClassName(), "EConvertError");
        }
    }
    EXPECT_THROW(Format(u"%d", u"text"), EConvertError);
    EXPECT_THROW(Format(u"%*s", u"6", u"ab"), EConvertError);
}

// Format texts come from translation modules too: a width or precision that would ask for a
// huge text is refused before anything is padded.
TEST(Format, WidthsAndPrecisionsAreCapped) {
    EXPECT_EQ(Format(u"%1024d", 7).size(), 1024u);
    EXPECT_EQ(Format(u"%.1024d", 7).size(), 1024u);
    EXPECT_EQ(Format("%-*s|", 1024, "x").size(), 1025u);
    const char16_t* refused[] = {u"%1025d",        u"%.1025d",        u"%2147483647d",
                                 u"%.2147483647x", u"%0:2147483647d", u"%-1025d"};
    for (const char16_t* format : refused) {
        SCOPED_TRACE(std::string(format, format + std::char_traits<char16_t>::length(format)));
        try {
            Format(format, 7);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& error) {
            EXPECT_EQ(error.Message(), u"Format '" + std::u16string(format) +
                                           u"' invalid or incompatible with argument");
        }
    }
    EXPECT_THROW(Format(u"%-1025s", u"x"), EConvertError);
    EXPECT_THROW(Format("%.1025s", "x"), EConvertError);
    // Taken from arguments, for both text kinds.
    EXPECT_THROW(Format(u"%*d", 1025, 7), EConvertError);
    EXPECT_THROW(Format("%.*d", 0x7FFFFFFF, 7), EConvertError);
    EXPECT_THROW(Format(u"%*.*s", 5, 1025, u"x"), EConvertError);
}

// ---- Canonical form and comparison of format strings (translated texts are checked with them)

namespace {

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

// The message of the ELumGeneralError the call raises; empty when it raises none.
template <class F> std::u16string GeneralErrorOf(F call) {
    try {
        call();
    } catch (const ELumGeneralError& error) {
        return error.Message();
    }
    return {};
}

} // namespace

TEST(CanonicalFormatString, WritesOutEveryIndex) {
    struct Case {
        const char16_t* format;
        const char16_t* canonical;
    };
    const Case cases[] = {
        {u"%s %d", u"%0:s %1:d"},
        {u"File %s, line %d: %-10.3f", u"File %0:s, line %1:d: %2:-10.3f"},
        // Counting goes on from the last index written.
        {u"%2:s %s %0:d %d", u"%2:s %3:s %0:d %1:d"},
        // A "*" width or precision takes an argument of its own.
        {u"%*d %s", u"%0:*d %2:s"},
        {u"%s %*.*s %d", u"%0:s %1:*.*s %4:d"},
        // Not directives.
        {u"100%% of %s is %d", u"100%% of %0:s is %1:d"},
        {u"50% done: %s %s", u"50% done: %0:s %1:s"},
        // Type letters keep their case; widths keep their form.
        {u"%S%5X", u"%0:S%1:5X"},
        // Unchanged: one directive and no index, only indexes, or none at all.
        {u"Error %d occurred", u"Error %d occurred"},
        {u"%*d", u"%*d"},
        {u"%1:s %0:s", u"%1:s %0:s"},
        {u"no directive, 100%%", u"no directive, 100%%"},
        {u"", u""},
        // One indexed, one not: the second still needs its index.
        {u"%0:s %s", u"%0:s %1:s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.format));
        EXPECT_EQ(CanonicalFormatString(c.format), c.canonical);
        // The canonical form takes the same arguments as the original.
        EXPECT_EQ(GeneralErrorOf([&] { CheckFormatStringsMatch(c.format, c.canonical); }), u"");
    }
}

TEST(CanonicalFormatString, MalformedDirectivesAreNamed) {
    struct Case {
        const char16_t* format;
        const char16_t* message;
    };
    const Case cases[] = {
        {u"abc %z def", u"Invalid Format Specifier: %z"},
        {u"%s and %", u"Invalid Format Specifier: %"},
        {u"%s %5", u"Invalid Format Specifier: %5"},
        {u"%.d %s", u"Invalid Format Specifier: %.d"},
        {u"%s %1025d", u"Invalid Format Specifier: %1025d"},
        {u"%99999999999:d", u"Invalid Format Specifier: %9999999999"},
        // An index taken from an argument cannot be checked.
        {u"%*:d %s", u"Invalid Format Specifier: %*:d"},
        // Only ASCII letters are types, whatever their low byte.
        {u"%s %\u0164", u"Invalid Format Specifier: %\u0164"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.format));
        EXPECT_EQ(GeneralErrorOf([&] { CanonicalFormatString(c.format); }), c.message);
        EXPECT_EQ(GeneralErrorOf([&] { CheckFormatStringsMatch(c.format, u"%s"); }), c.message);
        EXPECT_EQ(GeneralErrorOf([&] { CheckFormatStringsMatch(u"%s", c.format); }), c.message);
        // Texts that are not format strings are taken as they stand where a module is made.
        EXPECT_EQ(CanonicalFormatStringOrText(c.format), c.format);
    }
    EXPECT_EQ(CanonicalFormatStringOrText(u"%s of %d"), u"%0:s of %1:d");
    try {
        CanonicalFormatString(u"%q");
        ADD_FAILURE() << "no exception";
    } catch (const ELumGeneralError& error) {
        EXPECT_STREQ(error.ClassName(), "ELumGeneralError");
    }
}

TEST(CheckFormatStringsMatch, SameArgumentsPass) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        // Moved by explicit indexes, each index keeping its type.
        {u"Cannot open %s: error %d", u"Fehler %1:d beim \u00d6ffnen von %0:s"},
        // Type classes, not letters: d u x are integers, e f g m n floating; case is free.
        {u"%d %e %p %s", u"%0:X %1:M %2:P %3:S"},
        {u"%u items", u"%d Eintr\u00e4ge"},
        {u"%.2f MB", u"%n MB"},
        // Widths, precisions and literal text do not matter.
        {u"%-10s|%5d", u"%s / %.3d"},
        // An index used twice with one class.
        {u"%0:s (%0:s)", u"%0:s"},
        {u"%*d", u"%0:d %1:d"},
        {u"plain", u"schlicht 100%% % "},
    };
    for (const auto& [reference, text] : cases) {
        SCOPED_TRACE(Narrow(text));
        EXPECT_EQ(GeneralErrorOf([&] { CheckFormatStringsMatch(reference, text); }), u"");
    }
}

TEST(CheckFormatStringsMatch, DifferentArgumentsAreRefused) {
    struct Case {
        const char16_t* reference;
        const char16_t* text;
        const char16_t* message;
    };
    const Case cases[] = {
        // Swapped: the lowest index that differs is named, with both directives.
        {u"File %s has %d lines", u"%d Zeilen hat %s",
         u"Argument types for index 0 do not match. (%0:s <> %0:d)"},
        {u"%s %d %f", u"%s %d %s", u"Argument types for index 2 do not match. (%2:f <> %2:s)"},
        {u"%p", u"%x", u"Argument types for index 0 do not match. (%0:p <> %0:x)"},
        // A "*" takes an integer.
        {u"%*s", u"%s %s", u"Argument types for index 0 do not match. (%0:*s <> %0:s)"},
        // One string using one index with two classes.
        {u"%0:s %0:d", u"%0:s", u"Argument types for index 0 do not match. (%0:s <> %0:d)"},
        {u"%s", u"%0:s %0:d", u"Argument types for index 0 do not match. (%0:s <> %0:d)"},
        // An index the text skips.
        {u"%s %s", u"%1:s", u"Argument types for index 0 do not match. (%0:s <> )"},
        {u"%s %d", u"%s", u"Number of format specifiers do not match."},
        {u"%s", u"%s %s", u"Number of format specifiers do not match."},
        {u"Done.", u"%s", u"Number of format specifiers do not match."},
        {u"%s", u"%2147483647:s", u"Argument types for index 0 do not match. (%0:s <> )"},
        {u"%2147483647:s", u"%2147483647:s %s", u"Invalid Format Specifier: %s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        EXPECT_EQ(GeneralErrorOf([&] { CheckFormatStringsMatch(c.reference, c.text); }), c.message);
    }
}

// The directive reader is shared with Format: what the checks accept, Format accepts.
TEST(CheckFormatStringsMatch, AgreesWithFormat) {
    const char16_t* format = u"%2:-8s|%0:*d|%3:.1f";
    EXPECT_EQ(GeneralErrorOf([&] { CheckFormatStringsMatch(u"%*d %s %f", format); }), u"");
    EXPECT_EQ(Format(format, 5, 42, u"ab", 2.25), u"ab      |   42|2.3");
    EXPECT_EQ(Format(CanonicalFormatString(u"%*d %s %.1f"), 5, 42, u"ab", 2.25),
              Format(u"%*d %s %.1f", 5, 42, u"ab", 2.25));
    EXPECT_THROW(Format(u"%\u0164", 5), EConvertError);
}
