#include "toolkit/base/LumNumberText.h"

#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

// Whether the text has the form ReadAsciiFloat takes; `nonZero` tells whether a mantissa digit
// is not 0.
bool IsAsciiFloat(std::string_view text, bool& nonZero) {
    size_t i = text.starts_with('-') ? 1 : 0;
    int digits = 0;
    nonZero = false;
    for (bool point = false; i < text.size(); ++i) {
        if (text[i] == '.' && !point) {
            point = true;
        } else if (text[i] >= '0' && text[i] <= '9') {
            ++digits;
            nonZero = nonZero || text[i] != '0';
        } else {
            break;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        size_t exponentStart = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        if (i == exponentStart) {
            return false;
        }
    }
    return i == text.size();
}

// A big unsigned integer: 32-bit words, the least significant first.
using TBigNumber = std::vector<std::uint32_t>;

void MultiplyAdd(TBigNumber& number, std::uint32_t factor, std::uint32_t add) {
    std::uint64_t carry = add;
    for (std::uint32_t& word : number) {
        carry += std::uint64_t{word} * factor;
        word = static_cast<std::uint32_t>(carry);
        carry >>= 32;
    }
    if (carry != 0) {
        number.push_back(static_cast<std::uint32_t>(carry));
    }
}

// The number's decimal digits, without leading zeros ("0" for zero); the number becomes zero.
std::string DecimalDigits(TBigNumber& number) {
    std::string reversed;
    while (!number.empty()) {
        std::uint64_t remainder = 0;
        for (size_t i = number.size(); i-- > 0;) {
            std::uint64_t current = (remainder << 32) | number[i];
            number[i] = static_cast<std::uint32_t>(current / 1000000000);
            remainder = current % 1000000000;
        }
        while (!number.empty() && number.back() == 0) {
            number.pop_back();
        }
        for (int d = 0; d < 9 && (remainder != 0 || !number.empty()); ++d) {
            reversed += static_cast<char>('0' + remainder % 10);
            remainder /= 10;
        }
    }
    return reversed.empty() ? "0" : std::string(reversed.rbegin(), reversed.rend());
}

// Multiplies by base^count, a word-sized power of the base at a time.
void MultiplyByPower(TBigNumber& number, std::uint32_t base, long count) {
    std::uint32_t chunk = 1;
    long chunkPower = 0;
    for (; chunk <= std::numeric_limits<std::uint32_t>::max() / base; chunk *= base) {
        ++chunkPower;
    }
    for (; count >= chunkPower; count -= chunkPower) {
        MultiplyAdd(number, chunk, 0);
    }
    std::uint32_t factor = 1;
    for (; count > 0; --count) {
        factor *= base;
    }
    MultiplyAdd(number, factor, 0);
}

TBigNumber BigNumberOf(std::uint64_t value) {
    TBigNumber number;
    for (; value != 0; value >>= 32) {
        number.push_back(static_cast<std::uint32_t>(value));
    }
    return number;
}

// The exact decimal digits of a finite, non-negative value, the first not 0 unless the value
// is, and the power of ten of the first.
std::string ExactDigits(double value, int& exponent) {
    int binaryExponent = 0;
    double fraction = std::frexp(value, &binaryExponent);
    // value = mantissa * 2^binaryExponent, exactly.
    TBigNumber number = BigNumberOf(static_cast<std::uint64_t>(std::ldexp(fraction, 53)));
    binaryExponent -= 53;
    int scale = 0;
    if (binaryExponent >= 0) {
        MultiplyByPower(number, 2, binaryExponent);
    } else {
        // m / 2^k = m * 5^k / 10^k
        MultiplyByPower(number, 5, -binaryExponent);
        scale = binaryExponent;
    }
    std::string digits = DecimalDigits(number);
    exponent = digits == "0" ? 0 : static_cast<int>(digits.size()) - 1 + scale;
    return digits;
}

// The decimal number of a text of ReadAsciiFloat's form: its significant digits (no leading
// zeros; after the first kMaxDigits, a nonzero rest counts as one more digit 1) and the power
// of ten of the last digit.
struct TDecimalNumber {
    std::string Digits;
    long Exponent = 0;
};

constexpr size_t kMaxDigits = 800; // more than any double's midpoint between two values has

TDecimalNumber DecimalNumberOf(std::string_view text) {
    TDecimalNumber number;
    size_t i = text.starts_with('-') ? 1 : 0;
    bool point = false;
    bool rest = false;
    for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
        if (text[i] == '.') {
            point = true;
        } else if (number.Digits.size() == kMaxDigits) {
            rest = rest || text[i] != '0';
            number.Exponent += point ? 0 : 1;
        } else if (!number.Digits.empty() || text[i] != '0') {
            number.Digits += text[i];
            number.Exponent -= point ? 1 : 0;
        } else {
            number.Exponent -= point ? 1 : 0;
        }
    }
    if (rest) {
        number.Digits += '1';
        --number.Exponent;
    }
    if (i < text.size()) {
        ++i;
        bool negative = text[i] == '-';
        i += text[i] == '-' || text[i] == '+' ? 1 : 0;
        long exponent = 0;
        for (; i < text.size(); ++i) {
            // Past a million the value is zero or infinite for any number of digits kept.
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1000000L);
        }
        number.Exponent += negative ? -exponent : exponent;
    }
    return number;
}

// -1, 0 or 1 as a is less than, equal to or greater than b (no leading zero words).
int Compare(const TBigNumber& a, const TBigNumber& b) {
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    for (size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return 0;
}

// Compares the decimal number with mantissa * 2^exponent exactly.
int CompareExactly(const TDecimalNumber& decimal, std::uint64_t mantissa, long exponent) {
    TBigNumber left;
    for (size_t i = 0; i < decimal.Digits.size(); i += 9) {
        std::string_view chunk = std::string_view(decimal.Digits).substr(i, 9);
        std::uint32_t scale = 1;
        std::uint32_t value = 0;
        for (char c : chunk) {
            scale *= 10;
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        MultiplyAdd(left, scale, value);
    }
    TBigNumber right = BigNumberOf(mantissa);
    MultiplyByPower(decimal.Exponent >= 0 ? left : right, 10, std::labs(decimal.Exponent));
    MultiplyByPower(exponent >= 0 ? right : left, 2, std::labs(exponent));
    return Compare(left, right);
}

// The value nearest to the decimal number (ties to the even mantissa), starting from the C
// library's result, which can be one value off next to a power of two.
template <typename Float> Float NearestValue(const TDecimalNumber& decimal, Float start) {
    constexpr int kDigits = std::numeric_limits<Float>::digits;
    constexpr long kLowestExponent = std::numeric_limits<Float>::min_exponent - kDigits;
    Float value = std::isinf(start) ? std::numeric_limits<Float>::max() : start;
    for (;;) {
        int binaryExponent = 0;
        Float fraction = std::frexp(value, &binaryExponent);
        auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, kDigits));
        long exponent = binaryExponent - kDigits;
        if (value == 0 || exponent < kLowestExponent) {
            mantissa >>= value == 0 ? 0 : kLowestExponent - exponent;
            exponent = kLowestExponent;
        }
        bool odd = mantissa % 2 == 1;
        int above = CompareExactly(decimal, 2 * mantissa + 1, exponent - 1);
        if (above > 0 || (above == 0 && odd)) {
            value = std::nextafter(value, std::numeric_limits<Float>::infinity());
            if (std::isinf(value)) {
                return value;
            }
            continue;
        }
        if (value == 0) {
            return value;
        }
        // Below a power of two the next value down is half as far away as the next one up.
        bool narrowBelow =
            mantissa == std::uint64_t{1} << (kDigits - 1) && exponent > kLowestExponent;
        int below = narrowBelow ? CompareExactly(decimal, 4 * mantissa - 1, exponent - 2)
                                : CompareExactly(decimal, 2 * mantissa - 1, exponent - 1);
        if (below < 0 || (below == 0 && odd)) {
            value = std::nextafter(value, Float{0});
            continue;
        }
        return value;
    }
}

// The C library's conversion (quick, and in the C locale's "." the program keeps) gives the
// value or one next to it; the exact comparison makes it the nearest.
template <typename Float, typename Convert>
TNumberRead ReadAsciiFloatWith(std::string_view text, Float& value, Convert convert) {
    bool nonZero = false;
    if (!IsAsciiFloat(text, nonZero)) {
        return TNumberRead::Invalid;
    }
    std::string terminated(text);
    char* end = nullptr;
    Float result = convert(terminated.c_str(), &end);
    if (end != terminated.c_str() + terminated.size()) {
        return TNumberRead::Invalid;
    }
    if (nonZero) {
        TDecimalNumber decimal = DecimalNumberOf(text);
        // The power of ten just above the number: far outside the type's range the C
        // library's zero or infinity stands, and no huge exact number is built.
        long position = decimal.Exponent + static_cast<long>(decimal.Digits.size());
        if (position <= std::numeric_limits<Float>::max_exponent10 + 1 &&
            position >= std::numeric_limits<Float>::min_exponent10 -
                            std::numeric_limits<Float>::max_digits10 - 2) {
            Float magnitude = NearestValue(decimal, std::fabs(result));
            result = std::signbit(result) ? -magnitude : magnitude;
        }
    }
    if (std::isinf(result) || (result == 0 && nonZero)) {
        return TNumberRead::Overflow;
    }
    value = result;
    return TNumberRead::Ok;
}

// Rounds exact digits to `keep` digits (to nearest, ties to even), padding with zeros; a carry
// out of the first digit moves the exponent.
void RoundDigits(std::string& digits, int& exponent, size_t keep) {
    if (digits.size() <= keep) {
        digits.append(keep - digits.size(), '0');
        return;
    }
    bool beyondHalf = digits.find_first_not_of('0', keep + 1) != std::string::npos;
    char next = digits[keep];
    bool odd = (digits[keep - 1] - '0') % 2 == 1;
    bool up = next > '5' || (next == '5' && (beyondHalf || odd));
    digits.resize(keep);
    for (size_t i = keep; up && i-- > 0;) {
        up = digits[i] == '9';
        digits[i] = up ? '0' : static_cast<char>(digits[i] + 1);
    }
    if (up) {
        digits.insert(digits.begin(), '1');
        digits.pop_back();
        ++exponent;
    }
}

// Adds one unit in the last place to a digit string, or takes one away; a carry out of the
// first digit moves the exponent. Nothing for a step down from zero.
std::optional<std::string> StepDigits(std::string digits, int& exponent, bool up) {
    size_t i = digits.size();
    if (up) {
        while (i-- > 0 && digits[i] == '9') {
            digits[i] = '0';
        }
        if (i == std::string::npos) {
            digits.insert(digits.begin(), '1');
            digits.pop_back();
            ++exponent;
        } else {
            ++digits[i];
        }
        return digits;
    }
    while (i-- > 0 && digits[i] == '0') {
        digits[i] = '9';
    }
    if (i == std::string::npos) {
        return std::nullopt;
    }
    --digits[i];
    if (digits[0] == '0') {
        digits.erase(digits.begin());
        digits.push_back('9');
        --exponent;
    }
    return digits;
}

std::string ExponentText(int exponent) {
    int magnitude = std::abs(exponent);
    return (exponent < 0 ? "e-" : "e+") + std::string(magnitude < 10 ? "0" : "") +
           std::to_string(magnitude);
}

// Whether digits d1 d2 ... times 10^exponent (of the first digit) reads back as the value.
template <class T> bool ReadsBackAs(const std::string& digits, int exponent, T value) {
    std::string text = digits.substr(0, 1) + "." + digits.substr(1) + ExponentText(exponent);
    T read{};
    return ReadAsciiFloat(text, read) == TNumberRead::Ok && read == value;
}

// The fewest digits that read back as the finite, positive value: at each length the
// correctly rounded digits, else their neighbour on the value's other side (near a power of
// two the interval that reads back is twice as wide above the value as below it).
template <class T> std::string ShortestDigits(T value, int& exponent) {
    int exactExponent = 0;
    std::string exact = ExactDigits(static_cast<double>(value), exactExponent);
    for (size_t keep = 1;; ++keep) {
        std::string digits = exact;
        exponent = exactExponent;
        RoundDigits(digits, exponent, keep);
        if (ReadsBackAs(digits, exponent, value)) {
            return digits;
        }
        bool roundedDown = exact.compare(0, keep, digits) == 0 && exponent == exactExponent;
        int otherExponent = exponent;
        std::optional<std::string> other = StepDigits(digits, otherExponent, roundedDown);
        if (other && ReadsBackAs(*other, otherExponent, value)) {
            exponent = otherExponent;
            return *other;
        }
    }
}

// The shortest text that reads back as the value, in fixed or scientific form, whichever is
// shorter (fixed on a tie): what the C++ library's plain to_chars writes.
template <class T> std::string Shortest(T value) {
    std::string sign = std::signbit(value) ? "-" : "";
    if (std::isnan(value)) {
        return sign + "nan";
    }
    if (std::isinf(value)) {
        return sign + "inf";
    }
    if (value == 0) {
        return sign + "0";
    }
    int exponent = 0;
    std::string digits = ShortestDigits(std::fabs(value), exponent);
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string scientific = digits.substr(0, 1) + (digits.size() > 1 ? "." : "") +
                             digits.substr(1) + ExponentText(exponent);
    std::string fixed;
    if (exponent < 0) {
        fixed = "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else if (digits.size() <= static_cast<size_t>(exponent) + 1) {
        // The value is a whole number: written with all its digits, not the shortest ones
        // padded with zeros.
        int exactExponent = 0;
        fixed = ExactDigits(static_cast<double>(std::fabs(value)), exactExponent);
        fixed.resize(static_cast<size_t>(exactExponent) + 1, '0');
    } else {
        auto whole = static_cast<size_t>(exponent) + 1;
        fixed = digits.substr(0, whole) + "." + digits.substr(whole);
    }
    return sign + (fixed.size() <= scientific.size() ? fixed : scientific);
}

} // namespace

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::string> NumberSyntax(std::u16string_view text) {
    text = TrimBlanks(text);
    std::string out;
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-') {
            out += '-';
        }
        ++i;
    }
    int digits = 0;
    while (i < text.size() && IsAsciiDigit(text[i])) {
        out += static_cast<char>(text[i++]);
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        out += '.';
        ++i;
        while (i < text.size() && IsAsciiDigit(text[i])) {
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
        while (i < text.size() && IsAsciiDigit(text[i])) {
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

TNumberRead ReadFloatText(std::u16string_view text, double& value) {
    std::optional<std::string> syntax = NumberSyntax(text);
    if (!syntax) {
        return TNumberRead::Invalid;
    }
    TNumberRead read = ReadAsciiFloat(*syntax, value);
    if (read == TNumberRead::Overflow) {
        // Too small to represent is zero; too large is out of range.
        size_t e = syntax->find('e');
        if (e != std::string::npos && (*syntax)[e + 1] == '-') {
            value = 0;
            return TNumberRead::Ok;
        }
    }
    return read;
}

TNumberRead ReadAsciiFloat(std::string_view text, double& value) {
    return ReadAsciiFloatWith(text, value,
                              [](const char* from, char** end) { return std::strtod(from, end); });
}

TNumberRead ReadAsciiFloat(std::string_view text, float& value) {
    return ReadAsciiFloatWith(text, value,
                              [](const char* from, char** end) { return std::strtof(from, end); });
}

TNumberRead ReadIntegerText(std::u16string_view text, bool& negative, std::uint64_t& magnitude) {
    text = TrimBlanks(text);
    negative = false;
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) {
        return TNumberRead::Invalid;
    }
    magnitude = 0;
    bool overflow = false;
    for (; i < text.size(); ++i) {
        if (!IsAsciiDigit(text[i])) {
            return TNumberRead::Invalid;
        }
        unsigned digit = text[i] - u'0';
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            overflow = true;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    return overflow ? TNumberRead::Overflow : TNumberRead::Ok;
}

std::u16string UnsignedToText(std::uint64_t value) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return AsciiToWide(std::string_view(buffer, static_cast<size_t>(end - buffer)));
}

std::u16string SignedToText(std::int64_t value) {
    std::u16string digits = UnsignedToText(MagnitudeOf(value));
    return value < 0 ? u"-" + digits : digits;
}

std::string ScientificText(double value, int precision) {
    std::string text = std::signbit(value) ? "-" : "";
    if (std::isnan(value)) {
        return text + "nan";
    }
    if (std::isinf(value)) {
        return text + "inf";
    }
    int exponent = 0;
    std::string digits = ExactDigits(std::fabs(value), exponent);
    RoundDigits(digits, exponent, static_cast<size_t>(precision) + 1);
    text += digits[0];
    if (precision > 0) {
        text += '.';
        text.append(digits, 1);
    }
    return text + ExponentText(exponent);
}

std::string ShortestText(double value) {
    return Shortest(value);
}

std::string ShortestText(float value) {
    return Shortest(value);
}
