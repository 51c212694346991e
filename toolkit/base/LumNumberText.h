#pragma once
// Numbers in texts as the variants, decimals and dates read and write them: "." as decimal
// point, an optional exponent, blanks and tabs around the number ignored, no grouping.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// What reading a number from a text found.
enum class TNumberRead {
    Ok,       ///< a number that fits
    Invalid,  ///< not a number of the form asked for
    Overflow, ///< a number too large for the result
};

/// Whether the character is one of the digits 0 to 9.
constexpr bool IsAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

/// The magnitude of a signed integer, also of the smallest one.
constexpr std::uint64_t MagnitudeOf(std::int64_t value) {
    return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

/// The text without the blanks and tabs at either end.
std::u16string_view TrimBlanks(std::u16string_view text);

/// The number's text as ASCII ("-" only for a minus sign, "e" for the exponent mark) when it
/// has the form [sign] digits [. digits] [E [sign] digits] with at least one mantissa digit,
/// blanks around it ignored; nothing otherwise.
std::optional<std::string> NumberSyntax(std::u16string_view text);

/// Reads a floating-point number of NumberSyntax's form. A value too small to represent is 0;
/// one too large is Overflow.
TNumberRead ReadFloatText(std::u16string_view text, double& value);

/// Reads an ASCII number, [-] digits [. digits] [e|E [sign] digits] with at least one mantissa
/// digit, whole and correctly rounded. Overflow when its value is out of range: too large, or
/// not zero but too small to be anything but zero. The value is set only when Ok.
TNumberRead ReadAsciiFloat(std::string_view text, double& value);
TNumberRead ReadAsciiFloat(std::string_view text, float& value);

/// Reads an integer, [sign] digits, as its sign and magnitude; Overflow when the magnitude
/// needs more than 64 bits.
TNumberRead ReadIntegerText(std::u16string_view text, bool& negative, std::uint64_t& magnitude);

/// The value in scientific form with `precision` digits after the point and at least two
/// exponent digits ("-1.50e+00"), rounded exactly (to nearest, ties to even); "inf", "-inf" or
/// "nan" for a value that is not finite.
std::string ScientificText(double value, int precision);

/// The fewest digits that read back as the same value, written in fixed form ("0.001",
/// "1500") or scientific form ("1e-07", "1.5e+300"), whichever is shorter, fixed on a tie;
/// "-" before a negative value, "-0" for negative zero; "inf", "-inf" or "nan" for a value
/// that is not finite.
std::string ShortestText(double value);
std::string ShortestText(float value);

/// The integer in decimal digits, with "-" before a negative one.
std::u16string UnsignedToText(std::uint64_t value);
std::u16string SignedToText(std::int64_t value);
