#include "toolkit/base/LumNumberText.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace {

// Doubles of every kind: random bit patterns (all exponents, subnormals), and the edges.
std::vector<double> SampleDoubles() {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.1,
                                  0.5,
                                  1.0,
                                  2.5,
                                  9.5,
                                  0.125,
                                  1e23,
                                  123456789012345678.0,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::denorm_min(),
                                  -std::numeric_limits<double>::denorm_min(),
                                  9007199254740993.0};
    std::mt19937_64 random(20261208);
    while (values.size() < 3000) {
        double value = std::bit_cast<double>(random());
        if (std::isfinite(value)) {
            values.push_back(value);
        }
    }
    return values;
}

std::string Reference(double value, int precision) {
    char buffer[1200];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                             precision)
                   .ptr;
    return std::string(buffer, end);
}

} // namespace

TEST(NumberText, ScientificTextIsExactlyRoundedAtEveryPrecision) {
    for (double value : SampleDoubles()) {
        for (int precision : {0, 1, 2, 5, 15, 16, 17, 30, 766}) {
            SCOPED_TRACE(Reference(value, 17) + " precision " + std::to_string(precision));
            ASSERT_EQ(ScientificText(value, precision), Reference(value, precision));
        }
    }
}

TEST(NumberText, ScientificTextRoundsTiesToEvenAndCarriesIntoTheExponent) {
    EXPECT_EQ(ScientificText(2.5, 0), "2e+00");
    EXPECT_EQ(ScientificText(3.5, 0), "4e+00");
    EXPECT_EQ(ScientificText(9.5, 0), "1e+01");
    EXPECT_EQ(ScientificText(0.125, 1), "1.2e-01");
    EXPECT_EQ(ScientificText(999.96, 2), "1.00e+03");
    EXPECT_EQ(ScientificText(-1.5, 2), "-1.50e+00");
    EXPECT_EQ(ScientificText(0.0, 3), "0.000e+00");
    EXPECT_EQ(ScientificText(1e300, 0), "1e+300");
    EXPECT_EQ(ScientificText(-std::numeric_limits<double>::infinity(), 3), "-inf");
    EXPECT_EQ(ScientificText(std::numeric_limits<double>::quiet_NaN(), 3), "nan");
}

template <class T> std::string PlainReference(T value) {
    char buffer[64];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

TEST(NumberText, ShortestTextWritesWhatPlainToCharsWritesForBothWidths) {
    for (double value : SampleDoubles()) {
        ASSERT_EQ(ShortestText(value), PlainReference(value)) << ScientificText(value, 17);
    }
    std::vector<float> floats = {0.0F,
                                 -0.0F,
                                 0.1F,
                                 1.0F,
                                 16777216.0F,
                                 16777217.0F,
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::min(),
                                 std::numeric_limits<float>::denorm_min()};
    std::mt19937 random(20261209);
    while (floats.size() < 3000) {
        float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
        if (std::isfinite(value)) {
            floats.push_back(value);
        }
    }
    // Powers of two, where the values that read back lie unevenly around the value.
    for (int e = -1074; e <= 1023; e += 7) {
        ASSERT_EQ(ShortestText(std::ldexp(1.0, e)), PlainReference(std::ldexp(1.0, e))) << e;
    }
    for (int e = -149; e <= 127; ++e) {
        floats.push_back(std::ldexp(1.0F, e));
    }
    for (float value : floats) {
        ASSERT_EQ(ShortestText(value), PlainReference(value)) << ScientificText(value, 9);
    }
    EXPECT_EQ(ShortestText(1e-7), "1e-07");
    EXPECT_EQ(ShortestText(0.001), "0.001");
    EXPECT_EQ(ShortestText(1500.0), "1500");
    EXPECT_EQ(ShortestText(-2.5F), "-2.5");
    EXPECT_EQ(ShortestText(std::numeric_limits<double>::infinity()), "inf");
}

// Reads the text as both widths and compares with the C++ library's reading.
void ExpectReadAsFromChars(const std::string& text) {
    SCOPED_TRACE(text);
    double expected = 0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    double read = 1;
    ASSERT_EQ(ReadAsciiFloat(text, read), TNumberRead::Ok);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(read), std::bit_cast<std::uint64_t>(expected));
    float expectedSingle = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), expectedSingle);
    float single = 1;
    TNumberRead result = ReadAsciiFloat(text, single);
    if (error == std::errc()) {
        ASSERT_EQ(result, TNumberRead::Ok);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(single),
                  std::bit_cast<std::uint32_t>(expectedSingle));
    } else {
        EXPECT_EQ(result, TNumberRead::Overflow);
        EXPECT_EQ(single, 1);
    }
}

TEST(NumberText, ReadAsciiFloatGivesTheNearestValueOfBothWidths) {
    for (double value : SampleDoubles()) {
        // The shortest text of each value, and one of 25 digits that lies between two values.
        ExpectReadAsFromChars(Reference(value, 16));
        ExpectReadAsFromChars(Reference(value, 24));
    }
    // Around powers of two the next value down is nearer than the next one up; the C library
    // of the Windows build reads some of these texts as the power itself.
    for (int e = -1074; e <= 1023; ++e) {
        double power = std::ldexp(1.0, e);
        for (double value : {power, std::nextafter(power, 0.0), std::nextafter(power, 2 * power)}) {
            ExpectReadAsFromChars(Reference(value, 15));
            ExpectReadAsFromChars(PlainReference(value));
        }
    }
}

TEST(NumberText, ReadAsciiFloatDecidesTiesByEveryDigit) {
    // 1 + 2^-53 lies halfway between 1 and the next double: a tie, to the even 1; any nonzero
    // digit after it, however far, rounds up.
    const std::string halfway = "1.00000000000000011102230246251565404236316680908203125";
    double value = 0;
    ASSERT_EQ(ReadAsciiFloat(halfway, value), TNumberRead::Ok);
    EXPECT_EQ(value, 1.0);
    ASSERT_EQ(ReadAsciiFloat(halfway + std::string(2000, '0') + "1", value), TNumberRead::Ok);
    EXPECT_EQ(value, std::nextafter(1.0, 2.0));
    ASSERT_EQ(ReadAsciiFloat(halfway + std::string(2000, '0') + "e0", value), TNumberRead::Ok);
    EXPECT_EQ(value, 1.0);
    ASSERT_EQ(ReadAsciiFloat("0." + std::string(1000, '0') + "1e1001", value), TNumberRead::Ok);
    EXPECT_EQ(value, 1.0);
    EXPECT_EQ(ReadAsciiFloat("1e999999999999", value), TNumberRead::Overflow);
    EXPECT_EQ(ReadAsciiFloat("1e-999999999999", value), TNumberRead::Overflow);
    EXPECT_EQ(value, 1.0);
}

TEST(NumberText, ReadAsciiFloatTakesOnlyPlainNumbersInRange) {
    struct Case {
        const char* Text;
        TNumberRead Expected;
    };
    for (Case c : {Case{"12.5E+3", TNumberRead::Ok}, Case{"-0", TNumberRead::Ok},
                   Case{".5", TNumberRead::Ok}, Case{"5.", TNumberRead::Ok},
                   Case{"0e-99999", TNumberRead::Ok}, Case{"4e-324", TNumberRead::Ok},
                   Case{"2e-324", TNumberRead::Overflow}, Case{"1e309", TNumberRead::Overflow},
                   Case{"+1", TNumberRead::Invalid}, Case{" 1", TNumberRead::Invalid},
                   Case{"1 ", TNumberRead::Invalid}, Case{"0x10", TNumberRead::Invalid},
                   Case{"inf", TNumberRead::Invalid}, Case{"nan", TNumberRead::Invalid},
                   Case{"1e", TNumberRead::Invalid}, Case{"1.2.3", TNumberRead::Invalid},
                   Case{".", TNumberRead::Invalid}, Case{"", TNumberRead::Invalid},
                   Case{"-", TNumberRead::Invalid}}) {
        SCOPED_TRACE(c.Text);
        double value = 7;
        EXPECT_EQ(ReadAsciiFloat(c.Text, value), c.Expected);
        if (c.Expected != TNumberRead::Ok) {
            EXPECT_EQ(value, 7);
        }
    }
    double value = 0;
    ASSERT_EQ(ReadAsciiFloat("-0", value), TNumberRead::Ok);
    EXPECT_TRUE(std::signbit(value));
}
