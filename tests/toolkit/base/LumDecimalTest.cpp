#include "toolkit/base/LumDecimal.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Narrow(std::u16string_view text) {
    return WideToUtf8(text);
}

} // namespace

TEST(LumDecimal, Texts) {
    struct Case {
        const char16_t* text;
        const char16_t* value;
        int scale;
    };
    const Case cases[] = {
        {u"-12.50", u"-12.5", 2},
        {u"-0.000", u"0", 3},
        {u"0.0000000000000000000000000001", u"0.0000000000000000000000000001", 28},
        {u"79228162514264337593543950335", u"79228162514264337593543950335", 0},
        {u"7.9228162514264337593543950335", u"7.9228162514264337593543950335", 28},
        {u"1E28", u"10000000000000000000000000000", 0},
        {u"1.5e-3", u"0.0015", 4},
        {u"1.23456789012345678901234567891", u"1.2345678901234567890123456789", 28},
        // Beyond 28 places the rest is rounded half to even.
        {u"0.00000000000000000000000000005", u"0", 28},
        {u"0.00000000000000000000000000015", u"0.0000000000000000000000000002", 28},
        {u"0.000000000000000000000000000051", u"0.0000000000000000000000000001", 28},
        // Digits beyond 96 bits shift the point.
        {u"123456789012345678901234567890123E-10", u"12345678901234567890123.456789", 6},
        {u"1e-5000", u"0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        TDecimal d = TDecimal::FromText(c.text);
        EXPECT_EQ(d.ToText(), c.value);
        EXPECT_EQ(d.Scale, c.scale);
    }
    EXPECT_EQ(MessageOf<EConvertError>([] { TDecimal::FromText(u"x"); }),
              u"Could not convert variant of type (OleStr) into type (Decimal)");
    EXPECT_EQ(MessageOf<EConvertError>([] { TDecimal::FromText(u"1E29"); }),
              u"Variant value 1E29 is out of range for type (Decimal)");
    TDecimal d;
    EXPECT_EQ(ReadDecimalText(u"79228162514264337593543950336", d), TNumberRead::Overflow);
    EXPECT_EQ(ReadDecimalText(u"1,5", d), TNumberRead::Invalid);
}

// Random amounts with up to 18 digits and 0 to 28 decimal places read back exactly, and order
// as their exact values do.
TEST(LumDecimal, ReadBackAndOrderExactly) {
    std::mt19937_64 random(11);
    std::vector<std::pair<std::int64_t, int>> amounts; // (units, scale)
    for (int i = 0; i < 2000; ++i) {
        auto units =
            static_cast<std::int64_t>(random() % 1000000000000000000ULL) * (random() % 2 ? 1 : -1);
        int scale = static_cast<int>(random() % 29);
        std::string digits = std::to_string(units < 0 ? -units : units);
        while (digits.size() <= static_cast<size_t>(scale)) {
            digits.insert(0, "0");
        }
        std::string text = digits.substr(0, digits.size() - scale);
        std::string fraction = digits.substr(digits.size() - scale);
        while (!fraction.empty() && fraction.back() == '0') {
            fraction.pop_back();
        }
        if (!fraction.empty()) {
            text += "." + fraction;
        }
        if (units < 0) {
            text.insert(0, "-");
        }
        SCOPED_TRACE(text);
        // Written with all its decimal places, read back without the trailing zeros.
        std::string written = (units < 0 ? "-" : "") + digits.substr(0, digits.size() - scale) +
                              (scale ? "." + digits.substr(digits.size() - scale) : "");
        ASSERT_EQ(Narrow(TDecimal::FromText(Utf8ToWide(written)).ToText()), text);
        amounts.push_back({units, scale});
    }
    auto sign = [](int order) { return order < 0 ? -1 : order > 0 ? 1 : 0; };
    for (size_t i = 0; i + 1 < amounts.size(); i += 2) {
        auto [u1, s1] = amounts[i];
        auto [u2, s2] = amounts[i + 1];
        // Same scale: the units decide.
        TDecimal a = TDecimal::FromText(Utf8ToWide(std::to_string(u1)));
        TDecimal b = TDecimal::FromText(Utf8ToWide(std::to_string(u2)));
        a.Scale = b.Scale = static_cast<std::uint8_t>(s1);
        EXPECT_EQ(sign(CompareDecimals(a, b)), u1 < u2 ? -1 : u1 > u2 ? 1 : 0);
        // A finer scale of the same units is closer to zero.
        b = a;
        b.Scale = static_cast<std::uint8_t>(std::min(28, s1 + 1 + s2 % 3));
        int finer = u1 > 0 ? -1 : u1 < 0 ? 1 : 0;
        EXPECT_EQ(sign(CompareDecimals(b, a)), s1 == 28 ? 0 : finer);
    }
}

TEST(LumDecimal, IntegersAndDoubles) {
    EXPECT_EQ(DecimalOfInteger(true, 5, 1).ToText(), u"-0.5");
    EXPECT_EQ(DecimalOfInteger(true, 0).ToText(), u"0");
    EXPECT_FALSE(DecimalOfInteger(true, 0).Negative);
    EXPECT_TRUE(DecimalIsZero(TDecimal::FromText(u"-0.000")));
    EXPECT_EQ(CompareDecimals(TDecimal::FromText(u"-0"), TDecimal::FromText(u"0.00")), 0);
    // Rounded half to even at the scale asked for; more than 64 bits is nothing.
    struct Case {
        const char16_t* text;
        int scale;
        std::optional<std::uint64_t> magnitude;
    };
    const Case cases[] = {
        {u"2.5", 0, 2},
        {u"3.5", 0, 4},
        {u"-2.5", 0, 2},
        {u"1.23455", 4, 12346},
        {u"1.23445", 4, 12344},
        {u"18446744073709551615", 0, 18446744073709551615ULL},
        {u"18446744073709551616", 0, std::nullopt},
        {u"1844674407370955.1616", 4, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        EXPECT_EQ(ScaledMagnitude64(TDecimal::FromText(c.text), c.scale), c.magnitude);
    }
    // A double gives the 15 digits it holds and no trailing zeros.
    EXPECT_EQ(DecimalOfDouble(1.0 / 3.0)->ToText(), u"0.333333333333333");
    EXPECT_EQ(DecimalOfDouble(-250.0)->Scale, 0);
    EXPECT_FALSE(DecimalOfDouble(1e30));
    EXPECT_FALSE(DecimalOfDouble(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(DecimalToDouble(TDecimal::FromText(u"0.1")), 0.1);
}
