#include "toolkit/base/LumVariants.h"

#include "rstr/LumVariants.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

struct TLumVariant::TArray {
    int Low = 0;
    TVarType ElementType = varVariant;
    std::vector<TLumVariant> Items;
};

// The conversion code below reads and builds variants through this one door.
struct TVariantAccess {
    template <class T> static const T& Get(const TLumVariant& v) { return std::get<T>(v.value_); }
    static TLumVariant Make(TVarType type, TLumVariant::TPayload value) {
        return TLumVariant(type, std::move(value));
    }
};

namespace {

// ---- Errors

[[noreturn]] void CouldNotConvert(TVarType from, TVarType to) {
    throw EConvertError(Format(LoadResString(LumVariants::SVarTypeCouldNotConvert),
                               VarTypeAsText(from), VarTypeAsText(to)));
}

[[noreturn]] void OutOfRange(std::u16string_view valueText, TVarType to) {
    throw EConvertError(
        Format(LoadResString(LumVariants::SVarOverflow), valueText, VarTypeAsText(to)));
}

[[noreturn]] void ArrayError(const TResStringRec& text) {
    throw EVariantError(LoadResString(text));
}

// ---- Kinds

bool IsSignedKind(TVarType t) {
    return t == varShortInt || t == varSmallint || t == varInteger || t == varInt64;
}
bool IsUnsignedKind(TVarType t) {
    return t == varByte || t == varWord || t == varLongWord || t == varUInt64;
}
bool IsIntegerKind(TVarType t) {
    return IsSignedKind(t) || IsUnsignedKind(t);
}
bool IsFloatKind(TVarType t) {
    return t == varSingle || t == varDouble || t == varDate;
}
bool IsNumberKind(TVarType t) {
    return IsIntegerKind(t) || IsFloatKind(t) || t == varCurrency || t == varDecimal ||
           t == varBoolean;
}
bool IsTextKind(TVarType t) {
    return t == varString || t == varOleStr;
}
bool IsInterfaceKind(TVarType t) {
    return t == varUnknown || t == varDispatch;
}
bool IsScalarKind(TVarType t) {
    return IsNumberKind(t) || IsTextKind(t) || IsInterfaceKind(t);
}

int BitsOf(TVarType t) {
    switch (t) {
    case varShortInt:
    case varByte:
        return 8;
    case varSmallint:
    case varWord:
        return 16;
    case varInteger:
    case varLongWord:
        return 32;
    default:
        return 64;
    }
}

// ---- Text helpers

std::u16string_view Trimmed(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A number's text as ASCII when it has the form [sign] digits [. digits] [E [sign] digits]
// (at least one mantissa digit), else nothing.
std::optional<std::string> NumberSyntax(std::u16string_view text) {
    text = Trimmed(text);
    std::string out;
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-') {
            out += '-';
        }
        ++i;
    }
    int digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        out += static_cast<char>(text[i++]);
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        out += '.';
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            out += static_cast<char>(text[i++]);
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        out += 'e';
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
            out += static_cast<char>(text[i++]);
        }
        int exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i])) {
            out += static_cast<char>(text[i++]);
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return std::nullopt;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return out;
}

enum class TParse { Ok, Invalid, Overflow };

TParse ParseFloat(std::u16string_view text, double& value) {
    std::optional<std::string> syntax = NumberSyntax(text);
    if (!syntax) {
        return TParse::Invalid;
    }
    const char* end = syntax->data() + syntax->size();
    auto [ptr, ec] = std::from_chars(syntax->data(), end, value);
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is out of range.
        size_t e = syntax->find('e');
        if (e != std::string::npos && (*syntax)[e + 1] == '-') {
            value = 0;
            return TParse::Ok;
        }
        return TParse::Overflow;
    }
    return ec == std::errc() && ptr == end ? TParse::Ok : TParse::Invalid;
}

// An integer text: [sign] digits, as magnitude and sign.
TParse ParseInteger(std::u16string_view text, bool& negative, std::uint64_t& magnitude) {
    text = Trimmed(text);
    negative = false;
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) {
        return TParse::Invalid;
    }
    magnitude = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) {
            return TParse::Invalid;
        }
        unsigned digit = text[i] - u'0';
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            overflow = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    return overflow ? TParse::Overflow : TParse::Ok;
}

std::optional<bool> BooleanText(std::u16string_view text) {
    text = Trimmed(text);
    if (SameAsciiText(text, u"True")) {
        return true;
    }
    if (SameAsciiText(text, u"False")) {
        return false;
    }
    return std::nullopt;
}

std::u16string UnsignedText(std::uint64_t value) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return AsciiToWide(std::string_view(buffer, static_cast<size_t>(end - buffer)));
}

std::u16string SignedText(std::int64_t value) {
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    return value < 0 ? u"-" + UnsignedText(magnitude) : UnsignedText(magnitude);
}

std::u16string CurrencyText(TCurrency value) {
    std::uint64_t magnitude = value.Value < 0 ? 0 - static_cast<std::uint64_t>(value.Value)
                                              : static_cast<std::uint64_t>(value.Value);
    std::u16string text = UnsignedText(magnitude / 10000);
    if (unsigned fraction = magnitude % 10000) {
        std::u16string digits = UnsignedText(fraction + 10000).substr(1);
        while (digits.back() == u'0') {
            digits.pop_back();
        }
        text += u'.' + digits;
    }
    return value.Value < 0 ? u"-" + text : text;
}

// ---- Dates: days since 1899-12-30, the fraction being the time of day (for dates before
// 1899-12-30 the fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00).

constexpr std::int64_t kUnixEpochDay = 25569; // 1970-01-01
constexpr std::int64_t kMsPerDay = 86400000;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    auto yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    auto doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// Years 1 to 9999 only: the range the date texts can show.
constexpr double kMinDate = -693593.0; // 0001-01-01
constexpr double kMaxDate = 2958466.0; // 10000-01-01

std::optional<std::u16string> DateText(double date) {
    if (!(date >= kMinDate && date < kMaxDate)) {
        return std::nullopt;
    }
    double whole = std::trunc(date);
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(date - whole) * kMsPerDay));
    auto day = static_cast<std::int64_t>(whole);
    if (ms == kMsPerDay) {
        ms = 0;
        ++day;
    }
    std::int64_t y = 0;
    unsigned m = 0;
    unsigned d = 0;
    CivilFromDays(day - kUnixEpochDay, y, m, d);
    std::u16string text =
        Format(u"%d/%d/%.4d", static_cast<int>(m), static_cast<int>(d), static_cast<int>(y));
    if (ms != 0) {
        auto seconds = static_cast<int>(ms / 1000);
        int hour = seconds / 3600;
        int hour12 = hour % 12 == 0 ? 12 : hour % 12;
        text += Format(u" %d:%.2d:%.2d %s", hour12, seconds / 60 % 60, seconds % 60,
                       hour < 12 ? u"AM" : u"PM");
    }
    return text;
}

// Reads the digits at pos; false when there are none or more than maxDigits.
bool ReadNumber(std::u16string_view text, size_t& pos, int maxDigits, int& value) {
    size_t start = pos;
    value = 0;
    while (pos < text.size() && IsDigit(text[pos]) && static_cast<int>(pos - start) < maxDigits) {
        value = value * 10 + (text[pos++] - u'0');
    }
    return pos > start && (pos == text.size() || !IsDigit(text[pos]));
}

// "M/d/yyyy", "h:nn[:ss] [AM|PM]" or the two separated by blanks.
std::optional<double> ParseDate(std::u16string_view text) {
    text = Trimmed(text);
    size_t pos = 0;
    bool hasDate = false;
    std::int64_t days = 0;
    if (text.find(u'/') != std::u16string_view::npos) {
        int m = 0;
        int d = 0;
        int y = 0;
        if (!ReadNumber(text, pos, 2, m) || pos >= text.size() || text[pos++] != u'/' ||
            !ReadNumber(text, pos, 2, d) || pos >= text.size() || text[pos++] != u'/' ||
            !ReadNumber(text, pos, 4, y)) {
            return std::nullopt;
        }
        if (y < 1 || m < 1 || m > 12 || d < 1 ||
            d > static_cast<int>(DaysInMonth(y, static_cast<unsigned>(m)))) {
            return std::nullopt;
        }
        days = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) + kUnixEpochDay;
        hasDate = true;
        while (pos < text.size() && text[pos] == u' ') {
            ++pos;
        }
    }
    double time = 0;
    if (pos < text.size()) {
        int h = 0;
        int n = 0;
        int s = 0;
        if (!ReadNumber(text, pos, 2, h) || pos >= text.size() || text[pos++] != u':' ||
            !ReadNumber(text, pos, 2, n)) {
            return std::nullopt;
        }
        if (pos < text.size() && text[pos] == u':') {
            ++pos;
            if (!ReadNumber(text, pos, 2, s)) {
                return std::nullopt;
            }
        }
        while (pos < text.size() && text[pos] == u' ') {
            ++pos;
        }
        std::u16string_view marker = text.substr(pos);
        if (!marker.empty()) {
            bool pm = SameAsciiText(marker, u"PM");
            if ((!pm && !SameAsciiText(marker, u"AM")) || h < 1 || h > 12) {
                return std::nullopt;
            }
            h = h % 12 + (pm ? 12 : 0);
        }
        if (h > 23 || n > 59 || s > 59) {
            return std::nullopt;
        }
        time = (h * 3600 + n * 60 + s) / 86400.0;
    } else if (!hasDate) {
        return std::nullopt;
    }
    auto whole = static_cast<double>(days);
    return days < 0 ? whole - time : whole + time;
}

// ---- Decimals: the 96-bit magnitude in 32-bit limbs, least significant first, with room for
// a magnitude times 10^28 when two scales are aligned.

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

TDecimal DecimalOfInteger(bool negative, std::uint64_t magnitude, int scale = 0) {
    return DecimalOf(LimbsOf(magnitude), scale, negative);
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

TParse ParseDecimal(std::u16string_view text, TDecimal& result) {
    std::optional<std::string> syntax = NumberSyntax(text);
    if (!syntax) {
        return TParse::Invalid;
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
                return TParse::Overflow;
            }
            result = TDecimal{};
            return TParse::Ok;
        }
        scale += negativeExponent ? exponent : -exponent;
    }
    for (; scale < 0; ++scale) {
        MulAdd(m, 10, 0);
        if (!FitsIn(m, 3)) {
            return TParse::Overflow;
        }
    }
    if (scale > 28) {
        DropDigits(m, scale - 28);
        scale = 28;
    }
    result = DecimalOf(m, scale, negative);
    return TParse::Ok;
}

double DecimalToDouble(const TDecimal& d) {
    std::string ascii = WideToAnsi(d.ToText());
    double value = 0;
    std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    return value;
}

// ---- Numbers: what a scalar is worth on its way to a numeric kind.

struct TNumber {
    enum class Kind { Integer, Float, Currency, Decimal } kind = Kind::Integer;
    bool negative = false;       // Integer
    std::uint64_t magnitude = 0; // Integer
    double f = 0;                // Float
    TCurrency currency;          // Currency
    TDecimal decimal;            // Decimal
};

TNumber IntegerNumber(std::int64_t v) {
    TNumber n;
    n.negative = v < 0;
    n.magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    return n;
}

TNumber UnsignedNumber(std::uint64_t v) {
    TNumber n;
    n.magnitude = v;
    return n;
}

TNumber FloatNumber(double f) {
    TNumber n;
    n.kind = TNumber::Kind::Float;
    n.f = f;
    return n;
}

TNumber DecimalNumber(const TDecimal& d) {
    TNumber n;
    n.kind = TNumber::Kind::Decimal;
    n.decimal = d;
    return n;
}

std::u16string ValueText(const TLumVariant& v);

// A text on its way to the target kind: decimals and currency read it exactly, integers read
// digits exactly and anything else as a rounded float, dates read date texts.
TNumber NumberOfText(const TLumVariant& v, std::u16string_view text, TVarType target) {
    if (target == varDate) {
        std::optional<double> date = ParseDate(text);
        if (!date) {
            CouldNotConvert(v.VarType(), target);
        }
        return FloatNumber(*date);
    }
    if (target == varCurrency || target == varDecimal) {
        TDecimal d;
        switch (ParseDecimal(text, d)) {
        case TParse::Ok:
            return DecimalNumber(d);
        case TParse::Overflow:
            OutOfRange(text, target);
        case TParse::Invalid:
            CouldNotConvert(v.VarType(), target);
        }
    }
    if (IsIntegerKind(target)) {
        TNumber n;
        switch (ParseInteger(text, n.negative, n.magnitude)) {
        case TParse::Ok:
            return n;
        case TParse::Overflow:
            OutOfRange(text, target);
        case TParse::Invalid:
            break;
        }
    }
    double f = 0;
    switch (ParseFloat(text, f)) {
    case TParse::Ok:
        return FloatNumber(f);
    case TParse::Overflow:
        OutOfRange(text, target);
    case TParse::Invalid:
        break;
    }
    CouldNotConvert(v.VarType(), target);
}

TNumber NumberOf(const TLumVariant& v, TVarType target) {
    using A = TVariantAccess;
    TVarType type = v.VarType();
    switch (type) {
    case varEmpty:
        return TNumber{};
    case varBoolean:
        return IntegerNumber(A::Get<bool>(v) ? -1 : 0);
    case varSingle:
        return FloatNumber(A::Get<float>(v));
    case varDouble:
    case varDate:
        return FloatNumber(A::Get<double>(v));
    case varCurrency: {
        TNumber n;
        n.kind = TNumber::Kind::Currency;
        n.currency = A::Get<TCurrency>(v);
        return n;
    }
    case varDecimal:
        return DecimalNumber(A::Get<TDecimal>(v));
    case varString:
        return NumberOfText(v, AnsiToWide(A::Get<std::string>(v)), target);
    case varOleStr:
        return NumberOfText(v, A::Get<std::u16string>(v), target);
    default:
        if (IsSignedKind(type)) {
            return IntegerNumber(A::Get<std::int64_t>(v));
        }
        if (IsUnsignedKind(type)) {
            return UnsignedNumber(A::Get<std::uint64_t>(v));
        }
        CouldNotConvert(type, target);
    }
}

TDecimal DecimalOfNumber(const TLumVariant& source, const TNumber& n) {
    switch (n.kind) {
    case TNumber::Kind::Integer:
        return DecimalOfInteger(n.negative, n.magnitude);
    case TNumber::Kind::Currency: {
        std::int64_t v = n.currency.Value;
        return DecimalOfInteger(
            v < 0, v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v), 4);
    }
    case TNumber::Kind::Decimal:
        return n.decimal;
    case TNumber::Kind::Float:
        break;
    }
    // A double holds 15 significant decimal digits; more would be noise.
    TDecimal d;
    if (!std::isfinite(n.f) || ParseDecimal(Format(u"%.15e", n.f), d) != TParse::Ok) {
        OutOfRange(ValueText(source), varDecimal);
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

double DoubleOfNumber(const TNumber& n) {
    switch (n.kind) {
    case TNumber::Kind::Integer: {
        auto magnitude = static_cast<double>(n.magnitude);
        return n.negative ? -magnitude : magnitude;
    }
    case TNumber::Kind::Float:
        return n.f;
    case TNumber::Kind::Currency:
        return static_cast<double>(n.currency.Value) / 10000.0;
    case TNumber::Kind::Decimal:
        return DecimalToDouble(n.decimal);
    }
    return 0;
}

// The value rounded half to even to an integer: sign and magnitude, or nothing when the
// magnitude needs more than 64 bits.
bool RoundedInteger(const TNumber& n, bool& negative, std::uint64_t& magnitude) {
    switch (n.kind) {
    case TNumber::Kind::Integer:
        negative = n.negative;
        magnitude = n.magnitude;
        return true;
    case TNumber::Kind::Float: {
        if (!std::isfinite(n.f)) {
            return false;
        }
        double r = std::nearbyint(n.f);
        if (std::fabs(r) >= 18446744073709551616.0) {
            return false;
        }
        negative = r < 0;
        magnitude = static_cast<std::uint64_t>(std::fabs(r));
        return true;
    }
    case TNumber::Kind::Currency:
    case TNumber::Kind::Decimal: {
        TDecimal d = n.kind == TNumber::Kind::Decimal
                         ? n.decimal
                         : DecimalOfInteger(n.currency.Value < 0,
                                            n.currency.Value < 0
                                                ? 0 - static_cast<std::uint64_t>(n.currency.Value)
                                                : static_cast<std::uint64_t>(n.currency.Value),
                                            4);
        TLimbs m = ScaledMagnitude(d, 0);
        if (!FitsIn(m, 2)) {
            return false;
        }
        magnitude = m[0] | (static_cast<std::uint64_t>(m[1]) << 32);
        negative = d.Negative && magnitude != 0;
        return true;
    }
    }
    return false;
}

TLumVariant ToIntegerKind(const TLumVariant& source, TVarType target) {
    TNumber n = NumberOf(source, target);
    bool negative = false;
    std::uint64_t magnitude = 0;
    int bits = BitsOf(target);
    bool fits = RoundedInteger(n, negative, magnitude);
    if (IsSignedKind(target)) {
        std::uint64_t limit = std::uint64_t{1} << (bits - 1);
        fits = fits && (negative ? magnitude <= limit : magnitude < limit);
        if (!fits) {
            OutOfRange(ValueText(source), target);
        }
        auto value = negative ? static_cast<std::int64_t>(0 - magnitude)
                              : static_cast<std::int64_t>(magnitude);
        return TVariantAccess::Make(target, value);
    }
    std::uint64_t max = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    fits = fits && (!negative || magnitude == 0) && magnitude <= max;
    if (!fits) {
        OutOfRange(ValueText(source), target);
    }
    return TVariantAccess::Make(target, magnitude);
}

TCurrency CurrencyOf(const TLumVariant& source) {
    TNumber n = NumberOf(source, varCurrency);
    constexpr double kLimit = 9223372036854775808.0;
    if (n.kind == TNumber::Kind::Currency) {
        return n.currency;
    }
    if (n.kind == TNumber::Kind::Float) {
        double r = std::nearbyint(n.f * 10000.0);
        if (!(r >= -kLimit && r < kLimit)) {
            OutOfRange(ValueText(source), varCurrency);
        }
        return TCurrency{static_cast<std::int64_t>(r)};
    }
    TLimbs m = ScaledMagnitude(DecimalOfNumber(source, n), 4);
    bool negative = n.kind == TNumber::Kind::Integer ? n.negative : n.decimal.Negative;
    std::uint64_t magnitude = m[0] | (static_cast<std::uint64_t>(m[1]) << 32);
    std::uint64_t limit = std::uint64_t{1} << 63;
    if (!FitsIn(m, 2) || (negative ? magnitude > limit : magnitude >= limit)) {
        OutOfRange(ValueText(source), varCurrency);
    }
    return TCurrency{negative ? static_cast<std::int64_t>(0 - magnitude)
                              : static_cast<std::int64_t>(magnitude)};
}

bool BooleanOf(const TLumVariant& source) {
    if (IsTextKind(source.VarType())) {
        std::u16string text = source.AsWideString();
        if (std::optional<bool> b = BooleanText(text)) {
            return *b;
        }
        double f = 0;
        if (ParseFloat(text, f) != TParse::Ok) {
            CouldNotConvert(source.VarType(), varBoolean);
        }
        return f != 0;
    }
    TNumber n = NumberOf(source, varBoolean);
    switch (n.kind) {
    case TNumber::Kind::Integer:
        return n.magnitude != 0;
    case TNumber::Kind::Float:
        return n.f != 0;
    case TNumber::Kind::Currency:
        return n.currency.Value != 0;
    case TNumber::Kind::Decimal:
        return !IsZero(LimbsOf(n.decimal));
    }
    return false;
}

std::u16string TextOf(const TLumVariant& v, TVarType target) {
    using A = TVariantAccess;
    TVarType type = v.VarType();
    switch (type) {
    case varEmpty:
        return u"";
    case varBoolean:
        return A::Get<bool>(v) ? u"True" : u"False";
    case varSingle:
        return Format(u"%.7g", static_cast<double>(A::Get<float>(v)));
    case varDouble:
        return Format(u"%g", A::Get<double>(v));
    case varDate: {
        std::optional<std::u16string> text = DateText(A::Get<double>(v));
        if (!text) {
            CouldNotConvert(type, target);
        }
        return *text;
    }
    case varCurrency:
        return CurrencyText(A::Get<TCurrency>(v));
    case varDecimal:
        return A::Get<TDecimal>(v).ToText();
    case varString:
        return AnsiToWide(A::Get<std::string>(v));
    case varOleStr:
        return A::Get<std::u16string>(v);
    default:
        if (IsSignedKind(type)) {
            return SignedText(A::Get<std::int64_t>(v));
        }
        if (IsUnsignedKind(type)) {
            return UnsignedText(A::Get<std::uint64_t>(v));
        }
        CouldNotConvert(type, target);
    }
}

// The value as error messages show it; dates as their number, which never fails.
std::u16string ValueText(const TLumVariant& v) {
    if (v.VarType() == varDate) {
        return Format(u"%g", v.AsDouble());
    }
    return TextOf(v, varOleStr);
}

TLumInterface InterfaceOf(const TLumVariant& v, TVarType target) {
    TVarType type = v.VarType();
    if (type == varEmpty) {
        return {};
    }
    if (!IsInterfaceKind(type)) {
        CouldNotConvert(type, target);
    }
    const TLumInterface& ref = TVariantAccess::Get<TLumInterface>(v);
    if (target == varUnknown || type == varDispatch || !ref) {
        return ref;
    }
    TLumInterface dispatch = ref.QueryDispatch();
    if (!dispatch) {
        CouldNotConvert(type, target);
    }
    return dispatch;
}

TLumVariant ZeroOf(TVarType type) {
    if (type == varVariant) {
        return TLumVariant();
    }
    return TLumVariant().ChangeType(type);
}

// ---- Comparison

TVariantRelation RelationOf(int order) {
    return order < 0 ? vrLessThan : order > 0 ? vrGreaterThan : vrEqual;
}

template <class T> TVariantRelation RelationOf(T a, T b) {
    if (a < b) {
        return vrLessThan;
    }
    if (b < a) {
        return vrGreaterThan;
    }
    return a == b ? vrEqual : vrNotEqual; // NaN
}

TVariantRelation CompareNumbers(const TLumVariant& a, const TLumVariant& b) {
    TVarType ta = a.VarType();
    TVarType tb = b.VarType();
    // Texts were turned into numbers by the caller, so nothing here raises.
    TNumber na = NumberOf(a, varVariant);
    TNumber nb = NumberOf(b, varVariant);
    if (ta == varSingle && tb == varSingle) {
        return RelationOf(na.f, nb.f);
    }
    if (IsFloatKind(ta) || IsFloatKind(tb)) {
        // Integers of 64 bits and doubles are both exact in long double where it is wider.
        auto value = [](const TNumber& n) -> long double {
            if (n.kind == TNumber::Kind::Integer) {
                auto magnitude = static_cast<long double>(n.magnitude);
                return n.negative ? -magnitude : magnitude;
            }
            return DoubleOfNumber(n);
        };
        return RelationOf(value(na), value(nb));
    }
    return RelationOf(CompareDecimals(DecimalOfNumber(a, na), DecimalOfNumber(b, nb)));
}

// A text against a number: the text is read as a number of the other side's kind; integers,
// Booleans and currency read it as an exact decimal, so "1.5" is not 2.
TVariantRelation CompareTextWithNumber(std::u16string_view text, const TLumVariant& number) {
    TVarType kind = number.VarType();
    if (kind == varDate) {
        std::optional<double> date = ParseDate(text);
        return date ? CompareNumbers(TLumVariant::FromDate(*date), number) : vrNotEqual;
    }
    if (kind == varBoolean) {
        if (std::optional<bool> b = BooleanText(text)) {
            return CompareNumbers(TLumVariant(*b), number);
        }
    }
    double f = 0;
    if (kind == varSingle || kind == varDouble) {
        if (ParseFloat(text, f) != TParse::Ok) {
            return vrNotEqual;
        }
        return kind == varSingle ? CompareNumbers(TLumVariant(static_cast<float>(f)), number)
                                 : CompareNumbers(TLumVariant(f), number);
    }
    TDecimal d;
    switch (ParseDecimal(text, d)) {
    case TParse::Ok:
        return CompareNumbers(TLumVariant(d), number);
    case TParse::Overflow:
        return ParseFloat(text, f) == TParse::Ok ? CompareNumbers(TLumVariant(f), number)
                                                 : vrNotEqual;
    case TParse::Invalid:
        break;
    }
    return vrNotEqual;
}

TVariantRelation Reversed(TVariantRelation r) {
    return r == vrLessThan ? vrGreaterThan : r == vrGreaterThan ? vrLessThan : r;
}

} // namespace

// ---- TDecimal

TDecimal TDecimal::FromText(std::u16string_view text) {
    TDecimal d;
    switch (ParseDecimal(text, d)) {
    case TParse::Ok:
        return d;
    case TParse::Overflow:
        OutOfRange(text, varDecimal);
    case TParse::Invalid:
        break;
    }
    CouldNotConvert(varOleStr, varDecimal);
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

// ---- TLumInterface

TLumInterface::TLumInterface(void* object, const TInterfaceOps* ops)
    : object_(object), ops_(object ? ops : nullptr) {
    if (object_) {
        ops_->AddRef(object_);
    }
}

TLumInterface::TLumInterface(const TLumInterface& other)
    : TLumInterface(other.object_, other.ops_) {}

TLumInterface::TLumInterface(TLumInterface&& other) noexcept
    : object_(std::exchange(other.object_, nullptr)), ops_(std::exchange(other.ops_, nullptr)) {}

TLumInterface& TLumInterface::operator=(TLumInterface other) noexcept {
    std::swap(object_, other.object_);
    std::swap(ops_, other.ops_);
    return *this;
}

TLumInterface::~TLumInterface() {
    if (object_) {
        ops_->Release(object_);
    }
}

TLumInterface TLumInterface::QueryDispatch() const {
    if (!object_ || !ops_->QueryDispatch) {
        return {};
    }
    void* dispatch = ops_->QueryDispatch(object_);
    if (!dispatch) {
        return {};
    }
    // The query added the caller's reference; the new TLumInterface adds its own.
    TLumInterface result(dispatch, ops_);
    ops_->Release(dispatch);
    return result;
}

// ---- TLumVariant

TLumVariant::TArrayBox::TArrayBox(std::unique_ptr<TArray> array) : array_(std::move(array)) {}
TLumVariant::TArrayBox::TArrayBox(const TArrayBox& other)
    : array_(std::make_unique<TArray>(*other.array_)) {}
TLumVariant::TArrayBox::TArrayBox(TArrayBox&& other) noexcept = default;
TLumVariant::TArrayBox& TLumVariant::TArrayBox::operator=(const TArrayBox& other) {
    array_ = std::make_unique<TArray>(*other.array_);
    return *this;
}
TLumVariant::TArrayBox& TLumVariant::TArrayBox::operator=(TArrayBox&& other) noexcept = default;
TLumVariant::TArrayBox::~TArrayBox() = default;

TLumVariant::TLumVariant(const TLumVariant& other) = default;
// A variant moved from is Empty, never a kind without its value.
TLumVariant::TLumVariant(TLumVariant&& other) noexcept
    : type_(std::exchange(other.type_, varEmpty)), value_(std::exchange(other.value_, {})) {}
TLumVariant::~TLumVariant() = default;

TLumVariant& TLumVariant::operator=(const TLumVariant& other) {
    // Through a copy: other may live inside this variant's own array.
    TLumVariant copy(other);
    return *this = std::move(copy);
}

TLumVariant& TLumVariant::operator=(TLumVariant&& other) noexcept {
    type_ = std::exchange(other.type_, varEmpty);
    value_ = std::exchange(other.value_, {});
    return *this;
}

TLumVariant::TLumVariant(const TDecimal& value) : type_(varDecimal), value_(value) {
    if (value.Scale > 28) {
        throw EConvertError(Format(LoadResString(LumVariants::SInvalidDecimalScale),
                                   static_cast<int>(value.Scale)));
    }
}

TLumVariant::TLumVariant(TVarType type, TPayload value) : type_(type), value_(std::move(value)) {}

TLumVariant TLumVariant::Null() {
    return TLumVariant(varNull, std::monostate());
}

TLumVariant TLumVariant::FromDate(double value) {
    return TLumVariant(varDate, value);
}

TLumVariant TLumVariant::FromUnknown(TLumInterface value) {
    return TLumVariant(varUnknown, std::move(value));
}

TLumVariant TLumVariant::FromDispatch(TLumInterface value) {
    return TLumVariant(varDispatch, std::move(value));
}

TVarType TLumVariant::VarType() const {
    if (type_ == varArray) {
        return static_cast<TVarType>(varArray | ArrayData().ElementType);
    }
    return type_;
}

TLumVariant TLumVariant::ChangeType(TVarType type) const {
    if (type == varVariant || type == VarType()) {
        return *this;
    }
    if (type_ == varArray || (type_ == varNull && type != varNull)) {
        CouldNotConvert(VarType(), type);
    }
    switch (type) {
    case varEmpty:
        CouldNotConvert(type_, type);
    case varNull:
        if (type_ != varEmpty) {
            CouldNotConvert(type_, type);
        }
        return Null();
    case varBoolean:
        return TLumVariant(BooleanOf(*this));
    case varSingle: {
        double value = DoubleOfNumber(NumberOf(*this, type));
        if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) {
            OutOfRange(ValueText(*this), type);
        }
        return TLumVariant(static_cast<float>(value));
    }
    case varDouble:
        return TLumVariant(DoubleOfNumber(NumberOf(*this, type)));
    case varDate:
        return FromDate(DoubleOfNumber(NumberOf(*this, type)));
    case varCurrency:
        return TLumVariant(CurrencyOf(*this));
    case varDecimal:
        return TLumVariant(DecimalOfNumber(*this, NumberOf(*this, type)));
    case varOleStr:
        return TLumVariant(TextOf(*this, type));
    case varString:
        return TLumVariant(WideToAnsi(TextOf(*this, type)));
    case varUnknown:
        return FromUnknown(InterfaceOf(*this, type));
    case varDispatch:
        return FromDispatch(InterfaceOf(*this, type));
    default:
        if (IsIntegerKind(type)) {
            return ToIntegerKind(*this, type);
        }
        CouldNotConvert(VarType(), type);
    }
}

bool TLumVariant::AsBoolean() const {
    return std::get<bool>(ChangeType(varBoolean).value_);
}

std::int32_t TLumVariant::AsInteger() const {
    return static_cast<std::int32_t>(std::get<std::int64_t>(ChangeType(varInteger).value_));
}

std::int64_t TLumVariant::AsInt64() const {
    return std::get<std::int64_t>(ChangeType(varInt64).value_);
}

double TLumVariant::AsDouble() const {
    return std::get<double>(ChangeType(varDouble).value_);
}

double TLumVariant::AsDate() const {
    return std::get<double>(ChangeType(varDate).value_);
}

TCurrency TLumVariant::AsCurrency() const {
    return std::get<TCurrency>(ChangeType(varCurrency).value_);
}

TDecimal TLumVariant::AsDecimal() const {
    return std::get<TDecimal>(ChangeType(varDecimal).value_);
}

std::string TLumVariant::AsString() const {
    return std::get<std::string>(ChangeType(varString).value_);
}

std::u16string TLumVariant::AsWideString() const {
    return std::get<std::u16string>(ChangeType(varOleStr).value_);
}

TLumInterface TLumVariant::AsInterface() const {
    return std::get<TLumInterface>(ChangeType(varUnknown).value_);
}

TLumInterface TLumVariant::AsDispatch() const {
    return std::get<TLumInterface>(ChangeType(varDispatch).value_);
}

TLumVariant::TArray& TLumVariant::ArrayData() const {
    if (type_ != varArray) {
        ArrayError(LumVariants::SVarNotArray);
    }
    return std::get<TArrayBox>(value_).Get();
}

int TLumVariant::ArrayLowBound() const {
    return ArrayData().Low;
}

int TLumVariant::ArrayHighBound() const {
    const TArray& array = ArrayData();
    return array.Low + static_cast<int>(array.Items.size()) - 1;
}

const TLumVariant& TLumVariant::GetElement(int index) const {
    const TArray& array = ArrayData();
    std::int64_t offset = static_cast<std::int64_t>(index) - array.Low;
    if (offset < 0 || offset >= static_cast<std::int64_t>(array.Items.size())) {
        ArrayError(LumVariants::SVarArrayBounds);
    }
    return array.Items[static_cast<size_t>(offset)];
}

void TLumVariant::PutElement(int index, const TLumVariant& value) {
    TArray& array = ArrayData();
    std::int64_t offset = static_cast<std::int64_t>(index) - array.Low;
    if (offset < 0 || offset >= static_cast<std::int64_t>(array.Items.size())) {
        ArrayError(LumVariants::SVarArrayBounds);
    }
    // Converted (or copied) first: value may be this very array or one of its elements.
    TLumVariant element = value.ChangeType(array.ElementType);
    array.Items[static_cast<size_t>(offset)] = std::move(element);
}

void TLumVariant::ArrayRedim(int highBound) {
    TArray& array = ArrayData();
    std::int64_t count = static_cast<std::int64_t>(highBound) - array.Low + 1;
    if (count < 0) {
        ArrayError(LumVariants::SVarArrayCreate);
    }
    array.Items.resize(static_cast<size_t>(count), ZeroOf(array.ElementType));
}

TLumVariant VarArrayCreate(int lowBound, int highBound, TVarType elementType) {
    std::int64_t count = static_cast<std::int64_t>(highBound) - lowBound + 1;
    if (count < 0 || (elementType != varVariant && !IsScalarKind(elementType))) {
        ArrayError(LumVariants::SVarArrayCreate);
    }
    auto array = std::make_unique<TLumVariant::TArray>();
    array->Low = lowBound;
    array->ElementType = elementType;
    array->Items.assign(static_cast<size_t>(count), ZeroOf(elementType));
    return TLumVariant(varArray, TLumVariant::TArrayBox(std::move(array)));
}

std::u16string VarTypeAsText(TVarType type) {
    if (type & varArray) {
        return u"Array " + VarTypeAsText(static_cast<TVarType>(type & ~varArray));
    }
    switch (type) {
    case varEmpty:
        return u"Empty";
    case varNull:
        return u"Null";
    case varSmallint:
        return u"Smallint";
    case varInteger:
        return u"Integer";
    case varSingle:
        return u"Single";
    case varDouble:
        return u"Double";
    case varCurrency:
        return u"Currency";
    case varDate:
        return u"Date";
    case varOleStr:
        return u"OleStr";
    case varDispatch:
        return u"Dispatch";
    case varBoolean:
        return u"Boolean";
    case varVariant:
        return u"Variant";
    case varUnknown:
        return u"Unknown";
    case varDecimal:
        return u"Decimal";
    case varShortInt:
        return u"ShortInt";
    case varByte:
        return u"Byte";
    case varWord:
        return u"Word";
    case varLongWord:
        return u"LongWord";
    case varInt64:
        return u"Int64";
    case varUInt64:
        return u"UInt64";
    case varString:
        return u"String";
    case varArray:
        break;
    }
    return Format(u"$%.4x", static_cast<int>(type));
}

TVariantRelation VarCompareValue(const TLumVariant& a, const TLumVariant& b, bool ignoreCase) {
    TVarType ta = a.VarType();
    TVarType tb = b.VarType();
    if (ta == varEmpty || ta == varNull || tb == varEmpty || tb == varNull) {
        return ta == tb ? vrEqual : vrNotEqual;
    }
    if (IsInterfaceKind(ta) && IsInterfaceKind(tb)) {
        return a.AsInterface() == b.AsInterface() ? vrEqual : vrNotEqual;
    }
    if (IsTextKind(ta) && IsTextKind(tb)) {
        return RelationOf(LumCompareStrings(a.AsWideString(), b.AsWideString(), !ignoreCase));
    }
    if (IsNumberKind(ta) && IsNumberKind(tb)) {
        return CompareNumbers(a, b);
    }
    if (IsTextKind(ta) && IsNumberKind(tb)) {
        return CompareTextWithNumber(a.AsWideString(), b);
    }
    if (IsNumberKind(ta) && IsTextKind(tb)) {
        return Reversed(CompareTextWithNumber(b.AsWideString(), a));
    }
    return vrNotEqual;
}

bool VarSameValue(const TLumVariant& a, const TLumVariant& b, bool ignoreCase) {
    return VarCompareValue(a, b, ignoreCase) == vrEqual;
}
