#pragma once
// What a variant is worth as a number: shared by the variant's conversions
// (LumVariantsConvert.cpp) and comparison (LumVariantsCompare.cpp). Users include
// LumVariants.h.

#include "toolkit/base/LumVariants.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace VariantNumbers {

/// A scalar's value on its way to a numeric kind, in the form it came in.
struct TNumber {
    enum class Kind { Integer, Float, Currency, Decimal } kind = Kind::Integer;
    bool negative = false;       // Integer
    std::uint64_t magnitude = 0; // Integer
    double f = 0;                // Float
    TCurrency currency;          // Currency
    TDecimal decimal;            // Decimal
};

/// The value of v for the target kind. Empty is 0, Boolean -1 or 0, a date its days. A text is
/// read as the target reads it: decimals and currency exactly, integers' digits exactly and
/// anything else as a float, dates as date texts (varVariant: as a float). Raises the
/// conversion errors for a text that is not such a number and a kind without a number.
TNumber NumberOf(const TLumVariant& v, TVarType target);

/// The number as a decimal; a float that has no decimal raises "out of range" for Decimal
/// with the value of source.
TDecimal DecimalOfNumber(const TLumVariant& source, const TNumber& n);

/// The number as the nearest double.
double DoubleOfNumber(const TNumber& n);

/// True for "True", false for "False", in any letter case and with blanks around; nothing for
/// any other text.
std::optional<bool> BooleanText(std::u16string_view text);

} // namespace VariantNumbers
