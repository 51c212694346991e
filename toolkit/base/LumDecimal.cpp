#include "toolkit/base/LumDecimal.h"

#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumVarTypes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace {

// The 96-bit magnitude in 32-bit limbs, least significant first, with room for a magnitude
// times 10^28 when two scales are aligned.
using TLimbs = std::array<std::uint32_t, 7>;

TLimbs LimbsOf(const TDecimal& d) {
    return {static_cast<std::uint32_t>(d.Lo64), static_cast<std::uint32_t>(d.Lo64 >> 32), d.Hi32};
}

TLimbs LimbsOf(std::uint64_t magnitude) {
    return {static_cast<std::uint32_t>(magnitude), static_cast<std::uint32_t>(magnitude >> 32)};
}

bool IsZero(const TLimbs& m) {
    return std::all_of(m.begin(), m.end(), [](std::uint32_t l) { return l == 0; });
}

/// Limbs above the lowest `count` are zero.
bool FitsIn(const TLimbs& m, size_t count) {
    return std::all_of(m.begin() + static_cast<long>(count), m.end(),
                       [](std::uint32_t l) { return l == 0; });
}

void MulAdd(TLimbs& m, std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (std::uint32_t& limb : m) {
        std::uint64_t v = static_cast<std::uint64_t>(limb) * factor + carry;
        limb = static_cast<std::uint32_t>(v);
        carry = v >> 32;
    }
}

std::uint32_t DivSmall(TLimbs& m, std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (size_t i = m.size(); i-- > 0;) {
        std::uint64_t v = (remainder << 32) | m[i];
        m[i] = static_cast<std::uint32_t>(v / divisor);
        remainder = v % divisor;
    }
    return static_cast<std::uint32_t>(remainder);
}

int CompareLimbs(const TLimbs& a, const TLimbs& b) {
    for (size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return 0;
}

// Divides by 10^digits, rounding half to even on everything dropped.
void DropDigits(TLimbs& m, int digits) {
    if (digits <= 0) {
        return;
    }
    bool belowLast = false;
    std::uint32_t last = 0;
    for (int i = 0; i < digits; ++i) {
        std::uint32_t r = DivSmall(m, 10);
        if (i + 1 < digits) {
            belowLast |= r != 0;
        } else {
            last = r;
        }
    }
    if (last > 5 || (last == 5 && (belowLast || (m[0] & 1)))) {
        MulAdd(m, 1, 1);
    }
}

// The magnitude of value * 10^scale, rounded half to even.
TLimbs ScaledMagnitude(const TDecimal& d, int scale) {
    TLimbs m = LimbsOf(d);
    if (d.Scale > scale) {
        DropDigits(m, d.Scale - scale);
    }
    for (int i = d.Scale; i < scale; ++i) {
        MulAdd(m, 10, 0);
    }
    return m;
}

TDecimal DecimalOf(const TLimbs& m, int scale, bool negative) {
    TDecimal d;
    d.Lo64 = m[0] | (static_cast<std::uint64_t>(m[1]) << 32);
    d.Hi32 = m[2];
    d.Scale = static_cast<std::uint8_t>(scale);
    d.Negative = negative && !IsZero(m);
    return d;
}

} // namespace

TDecimal TDecimal::FromText(std::u16string_view text) {
    TDecimal d;
    switch (ReadDecimalText(text, d)) {
    case TNumberRead::Ok:
        return d;
    case TNumberRead::Overflow:
        RaiseOutOfRange(text, varDecimal);
    case TNumberRead::Invalid:
        break;
    }
    RaiseCouldNotConvert(varOleStr, varDecimal);
}

std::u16string TDecimal::ToText() const {
    TLimbs m = LimbsOf(*this);
    std::u16string digits;
    while (!IsZero(m)) {
        digits += static_cast<char16_t>(u'0' + DivSmall(m, 10));
    }
    while (digits.size() <= Scale) {
        digits += u'0';
    }
    std::reverse(digits.begin(), digits.end());
    size_t point = digits.size() - Scale;
    std::u16string fraction = digits.substr(point);
    while (!fraction.empty() && fraction.back() == u'0') {
        fraction.pop_back();
    }
    std::u16string text = digits.substr(0, point);
    if (!fraction.empty()) {
        text += u'.' + fraction;
    }
    return Negative && !IsZero(LimbsOf(*this)) ? u"-" + text : text;
}

TNumberRead ReadDecimalText(std::u16string_view text, TDecimal& result) {
    std::optional<std::string> syntax = NumberSyntax(text);
    if (!syntax) {
        return TNumberRead::Invalid;
    }
    std::string_view s = *syntax;
    bool negative = !s.empty() && s.front() == '-';
    if (negative) {
        s.remove_prefix(1);
    }
    TLimbs m{};
    int scale = 0;
    bool inFraction = false;
    bool dropping = false; // digits beyond what 96 bits or 28 places hold
    std::uint32_t firstDropped = 0;
    bool droppedBelow = false;
    size_t i = 0;
    for (; i < s.size() && s[i] != 'e'; ++i) {
        if (s[i] == '.') {
            inFraction = true;
            continue;
        }
        auto digit = static_cast<std::uint32_t>(s[i] - '0');
        if (!dropping) {
            TLimbs next = m;
            MulAdd(next, 10, digit);
            if (FitsIn(next, 3) && (!inFraction || scale < 28)) {
                m = next;
                scale += inFraction ? 1 : 0;
                continue;
            }
            dropping = true;
            firstDropped = digit;
        } else {
            droppedBelow |= digit != 0;
        }
        if (!inFraction) {
            // An integer digit that does not fit: shift the point instead of the digits.
            --scale;
        }
    }
    if (dropping && (firstDropped > 5 || (firstDropped == 5 && (droppedBelow || (m[0] & 1))))) {
        MulAdd(m, 1, 1);
        if (!FitsIn(m, 3)) {
            DropDigits(m, 1);
            --scale;
        }
    }
    if (i < s.size()) {
        std::string_view e = s.substr(i + 1);
        bool negativeExponent = e.front() == '-';
        if (e.front() == '+' || e.front() == '-') {
            e.remove_prefix(1);
        }
        int exponent = 0;
        auto [ptr, ec] = std::from_chars(e.data(), e.data() + e.size(), exponent);
        if (ec != std::errc() || exponent > 1000) {
            // Far below the smallest decimal is zero; far above the largest is out of range.
            if (!negativeExponent && !IsZero(m)) {
                return TNumberRead::Overflow;
            }
            result = TDecimal{};
            return TNumberRead::Ok;
        }
        scale += negativeExponent ? exponent : -exponent;
    }
    for (; scale < 0; ++scale) {
        MulAdd(m, 10, 0);
        if (!FitsIn(m, 3)) {
            return TNumberRead::Overflow;
        }
    }
    if (scale > 28) {
        DropDigits(m, scale - 28);
        scale = 28;
    }
    result = DecimalOf(m, scale, negative);
    return TNumberRead::Ok;
}

TDecimal DecimalOfInteger(bool negative, std::uint64_t magnitude, int scale) {
    return DecimalOf(LimbsOf(magnitude), scale, negative);
}

std::optional<TDecimal> DecimalOfDouble(double value) {
    TDecimal d;
    if (!std::isfinite(value) || ReadDecimalText(Format(u"%.15e", value), d) != TNumberRead::Ok) {
        return std::nullopt;
    }
    TLimbs m = LimbsOf(d);
    int scale = d.Scale;
    while (scale > 0) {
        TLimbs quotient = m;
        if (DivSmall(quotient, 10) != 0) {
            break;
        }
        m = quotient;
        --scale;
    }
    return DecimalOf(m, scale, d.Negative);
}

double DecimalToDouble(const TDecimal& d) {
    std::string ascii = WideToAnsi(d.ToText());
    double value = 0;
    ReadAsciiFloat(ascii, value);
    return value;
}

bool DecimalIsZero(const TDecimal& d) {
    return IsZero(LimbsOf(d));
}

int CompareDecimals(const TDecimal& a, const TDecimal& b) {
    TLimbs ma = LimbsOf(a);
    TLimbs mb = LimbsOf(b);
    int signA = IsZero(ma) ? 0 : a.Negative ? -1 : 1;
    int signB = IsZero(mb) ? 0 : b.Negative ? -1 : 1;
    if (signA != signB) {
        return signA < signB ? -1 : 1;
    }
    if (signA == 0) {
        return 0;
    }
    int scale = std::max(a.Scale, b.Scale);
    for (int i = a.Scale; i < scale; ++i) {
        MulAdd(ma, 10, 0);
    }
    for (int i = b.Scale; i < scale; ++i) {
        MulAdd(mb, 10, 0);
    }
    return signA * CompareLimbs(ma, mb);
}

std::optional<std::uint64_t> ScaledMagnitude64(const TDecimal& d, int scale) {
    TLimbs m = ScaledMagnitude(d, scale);
    if (!FitsIn(m, 2)) {
        return std::nullopt;
    }
    return m[0] | (static_cast<std::uint64_t>(m[1]) << 32);
}
