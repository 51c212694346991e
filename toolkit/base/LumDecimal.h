#pragma once
// The variant's decimal: a 96-bit magnitude with a sign and 0 to 28 decimal places, read from
// and written to text exactly, compared exactly, and converted to and from integers and
// doubles. Rounding is half to even throughout.

#include "toolkit/base/LumNumberText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// A 96-bit unsigned integer with a sign and a scale (0 to 28 decimal places): the value is
/// (Hi32 * 2^64 + Lo64) / 10^Scale, negative when Negative is set.
struct TDecimal {
    std::uint32_t Hi32 = 0;
    std::uint64_t Lo64 = 0;
    std::uint8_t Scale = 0;
    bool Negative = false;

    /// Reads a decimal text ("-12.5", "3E-4"); raises EConvertError when it is not one or does
    /// not fit. Digits beyond 28 decimal places are rounded half to even.
    static TDecimal FromText(std::u16string_view text);
    /// The exact value as text, without trailing zeros in the fraction.
    std::u16string ToText() const;
};

/// Reads a decimal text as TDecimal::FromText does, without raising: Invalid for a text that
/// is not a number, Overflow for one beyond 96 bits. A value far below the smallest decimal is
/// 0.
TNumberRead ReadDecimalText(std::u16string_view text, TDecimal& result);

/// The integer given by sign and magnitude, divided by 10^scale (0 to 28).
TDecimal DecimalOfInteger(bool negative, std::uint64_t magnitude, int scale = 0);

/// The double to the 15 significant digits it holds (more would be noise), without trailing
/// zeros in the fraction; nothing for infinity, NaN or a value beyond 96 bits.
std::optional<TDecimal> DecimalOfDouble(double value);

/// The double nearest the value.
double DecimalToDouble(const TDecimal& d);

/// Whether the value is 0, whatever its sign and scale.
bool DecimalIsZero(const TDecimal& d);

/// Below 0, 0 or above 0 as a is less than, equal to or greater than b; 0 and -0 are equal.
int CompareDecimals(const TDecimal& a, const TDecimal& b);

/// The magnitude of the value times 10^scale, rounded half to even to an integer; nothing when
/// it needs more than 64 bits.
std::optional<std::uint64_t> ScaledMagnitude64(const TDecimal& d, int scale);
