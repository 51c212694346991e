#include "toolkit/base/LumFormat.h"

#include "rstr/LumSysConst.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace {

template <class CharT> using Text = std::basic_string<CharT>;
template <class CharT> using TextView = std::basic_string_view<CharT>;

std::u16string AsWide(std::u16string_view text) {
    return std::u16string(text);
}
std::u16string AsWide(std::string_view text) {
    return AnsiToWide(text);
}

template <class CharT> Text<CharT> FromAscii(std::string_view ascii) {
    return Text<CharT>(ascii.begin(), ascii.end());
}

template <class CharT> Text<CharT> FromWide(std::u16string_view wide) {
    if constexpr (std::is_same_v<CharT, char>) {
        return WideToAnsi(wide);
    } else {
        return Text<CharT>(wide);
    }
}

template <class CharT> Text<CharT> TextArg(const TFormatArg& arg) {
    if constexpr (std::is_same_v<CharT, char>) {
        return arg.GetKind() == TFormatArg::Kind::AnsiText ? std::string(arg.AnsiValue())
                                                           : WideToAnsi(arg.WideValue());
    } else {
        return arg.GetKind() == TFormatArg::Kind::WideText ? std::u16string(arg.WideValue())
                                                           : AnsiToWide(arg.AnsiValue());
    }
}

std::string Decimal(std::uint64_t value) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string Hex(std::uint64_t value) {
    char buffer[24];
    auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
    std::string out(buffer, end);
    for (char& c : out) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::string ZeroPadded(std::string digits, int minimum) {
    if (minimum > 0 && digits.size() < static_cast<size_t>(minimum)) {
        digits.insert(0, static_cast<size_t>(minimum) - digits.size(), '0');
    }
    return digits;
}

// A floating-point value as decimal digits: value = 0.Digits * 10^Exponent. Zero has no digits.
struct DecimalFloat {
    bool Negative = false;
    std::string Digits;
    int Exponent = 0;

    bool IsZero() const { return Digits.empty(); }
    char DigitAt(long index) const {
        return index >= 0 && index < static_cast<long>(Digits.size()) ? Digits[index] : '0';
    }
};

// The exact decimal expansion of a double (at most 767 significant digits).
DecimalFloat ExactDecimal(double value) {
    DecimalFloat result;
    result.Negative = std::signbit(value);
    if (value == 0) {
        result.Negative = false;
        return result;
    }
    std::string scientific = ScientificText(std::fabs(value), 766);
    std::string_view text(scientific);
    size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e)) {
        if (c != '.') {
            digits += c;
        }
    }
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    exponent);
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
    result.Digits = std::move(digits);
    result.Exponent = exponent + 1;
    return result;
}

// Rounds, half away from zero, to the first `keep` significant digits.
void RoundDigits(DecimalFloat& value, long keep) {
    if (value.IsZero() || static_cast<long>(value.Digits.size()) <= keep) {
        return;
    }
    if (keep < 0) {
        value.Digits.clear();
    } else {
        bool up = value.Digits[keep] >= '5';
        value.Digits.resize(keep);
        if (up) {
            long i = keep - 1;
            while (i >= 0 && value.Digits[i] == '9') {
                value.Digits.pop_back();
                --i;
            }
            if (i < 0) {
                value.Digits = "1";
                ++value.Exponent;
            } else {
                ++value.Digits[i];
            }
        }
    }
    while (!value.Digits.empty() && value.Digits.back() == '0') {
        value.Digits.pop_back();
    }
    if (value.IsZero()) {
        value.Negative = false;
        value.Exponent = 0;
    }
}

std::u16string Grouped(const std::string& integer, char16_t separator) {
    std::u16string out;
    for (size_t i = 0; i < integer.size(); ++i) {
        if (i > 0 && (integer.size() - i) % 3 == 0) {
            out += separator;
        }
        out += static_cast<char16_t>(integer[i]);
    }
    return out;
}

// A number's text without its sign, and whether the rounded value is negative (-0.001 with
// two decimals is "0.00", not "-0.00").
struct SignedText {
    std::u16string Body;
    bool Negative = false;
};

SignedText FixedText(DecimalFloat value, int decimals, bool grouped) {
    const TFormatSettings& settings = FormatSettings();
    RoundDigits(value, static_cast<long>(value.Exponent) + decimals);
    std::string integer;
    for (long i = 0; i < value.Exponent; ++i) {
        integer += value.DigitAt(i);
    }
    if (integer.empty()) {
        integer = "0";
    }
    std::u16string out =
        grouped ? Grouped(integer, settings.ThousandSeparator) : AsciiToWide(integer);
    if (decimals > 0) {
        out += settings.DecimalSeparator;
        for (int k = 0; k < decimals; ++k) {
            out += static_cast<char16_t>(value.DigitAt(static_cast<long>(value.Exponent) + k));
        }
    }
    return {out, value.Negative};
}

// "d.ddd" with `precision` digits (trailing zeros dropped when asked), "E", the exponent's
// sign ("+" only when asked) and at least `exponentDigits` digits.
SignedText ScientificText(DecimalFloat value, int precision, int exponentDigits,
                          bool signedExponent, bool trimZeros) {
    RoundDigits(value, precision);
    int exponent = value.IsZero() ? 0 : value.Exponent - 1;
    size_t mantissaDigits =
        trimZeros ? std::max<size_t>(value.Digits.size(), 1) : static_cast<size_t>(precision);
    std::u16string out(1, static_cast<char16_t>(value.DigitAt(0)));
    if (mantissaDigits > 1) {
        out += FormatSettings().DecimalSeparator;
        for (size_t k = 1; k < mantissaDigits; ++k) {
            out += static_cast<char16_t>(value.DigitAt(static_cast<long>(k)));
        }
    }
    out += u'E';
    if (exponent < 0) {
        out += u'-';
    } else if (signedExponent) {
        out += u'+';
    }
    out += AsciiToWide(
        ZeroPadded(Decimal(static_cast<std::uint64_t>(std::abs(exponent))), exponentDigits));
    return {out, value.Negative};
}

// The shorter of fixed and scientific: fixed while the integer digits fit the precision and
// the value is at least 0.00001.
SignedText GeneralText(DecimalFloat value, int precision) {
    RoundDigits(value, precision);
    if (value.IsZero()) {
        return {u"0", false};
    }
    if (value.Exponent <= precision && value.Exponent - 1 >= -5) {
        int decimals = std::max(0, static_cast<int>(value.Digits.size()) - value.Exponent);
        return FixedText(value, decimals, false);
    }
    return ScientificText(value, precision, 0, false, true);
}

std::u16string CurrencyText(const std::u16string& amount, bool negative) {
    const TFormatSettings& s = FormatSettings();
    const std::u16string& c = s.CurrencyString;
    if (!negative) {
        switch (s.CurrencyFormat) {
        case 1:
            return amount + c;
        case 2:
            return c + u" " + amount;
        case 3:
            return amount + u" " + c;
        default:
            return c + amount;
        }
    }
    switch (s.NegCurrFormat) {
    case 1:
        return u"-" + c + amount;
    case 2:
        return c + u"-" + amount;
    case 3:
        return c + amount + u"-";
    case 4:
        return u"(" + amount + c + u")";
    case 5:
        return u"-" + amount + c;
    case 6:
        return amount + u"-" + c;
    case 7:
        return amount + c + u"-";
    case 8:
        return u"-" + amount + u" " + c;
    case 9:
        return u"-" + c + u" " + amount;
    case 10:
        return amount + u" " + c + u"-";
    case 11:
        return c + u" " + amount + u"-";
    case 12:
        return c + u" -" + amount;
    case 13:
        return amount + u"- " + c;
    case 14:
        return u"(" + c + u" " + amount + u")";
    case 15:
        return u"(" + amount + u" " + c + u")";
    default:
        return u"(" + c + amount + u")";
    }
}

// Floating-point directives; precision < 0 means "not given".
std::u16string FloatText(double number, char type, int precision) {
    if (std::isnan(number)) {
        return u"NAN";
    }
    if (std::isinf(number)) {
        return number < 0 ? u"-INF" : u"INF";
    }
    // A double carries no more than 18 meaningful decimal digits.
    precision = std::min(precision, 18);
    DecimalFloat value = ExactDecimal(number);
    SignedText text;
    switch (type) {
    case 'e':
        text = ScientificText(value, precision < 0 ? 15 : std::max(precision, 1), 3, true, false);
        break;
    case 'g':
        text = GeneralText(value, precision < 0 ? 15 : std::max(precision, 1));
        break;
    case 'm':
        text =
            FixedText(value, precision < 0 ? FormatSettings().CurrencyDecimals : precision, true);
        return CurrencyText(text.Body, text.Negative);
    default: // 'f', 'n'
        if (value.Exponent > 18) {
            text = ScientificText(value, 15, 3, true, false);
        } else {
            text = FixedText(value, precision < 0 ? 2 : precision, type == 'n');
        }
        break;
    }
    return text.Negative ? u"-" + text.Body : text.Body;
}

template <class CharT> class Formatter {
  public:
    Formatter(TextView<CharT> format, std::span<const TFormatArg> args)
        : format_(format), args_(args) {}

    Text<CharT> Run() {
        Text<CharT> out;
        out.reserve(format_.size() + 16 * args_.size());
        while (pos_ < format_.size()) {
            CharT c = format_[pos_++];
            if (c != CharT('%')) {
                out += c;
                continue;
            }
            if (pos_ < format_.size() && format_[pos_] == CharT('%')) {
                out += c;
                ++pos_;
                continue;
            }
            Directive(out);
        }
        return out;
    }

  private:
    [[noreturn]] void Invalid() const {
        throw EConvertError(Format(LoadResString(LumSysConst::SInvalidFormat), AsWide(format_)));
    }

    CharT Peek() const {
        if (pos_ >= format_.size()) {
            Invalid();
        }
        return format_[pos_];
    }

    const TFormatArg& NextArg() {
        if (argIndex_ >= args_.size()) {
            throw EConvertError(
                Format(LoadResString(LumSysConst::SArgumentMissing), AsWide(format_)));
        }
        return args_[argIndex_++];
    }

    // A decimal number or "*"; -1 when neither is there.
    int Number() {
        if (Peek() == CharT('*')) {
            ++pos_;
            const TFormatArg& arg = NextArg();
            if (arg.GetKind() != TFormatArg::Kind::Integer) {
                Invalid();
            }
            return static_cast<int>(arg.IntValue());
        }
        if (Peek() < CharT('0') || Peek() > CharT('9')) {
            return -1;
        }
        long long value = 0;
        while (Peek() >= CharT('0') && Peek() <= CharT('9')) {
            value = value * 10 + (Peek() - CharT('0'));
            if (value > INT_MAX) {
                Invalid();
            }
            ++pos_;
        }
        return static_cast<int>(value);
    }

    void Directive(Text<CharT>& out) {
        bool leftAlign = false;
        int width = -1;
        int precision = -1;
        int first = Number();
        if (first >= 0 && Peek() == CharT(':')) {
            ++pos_;
            argIndex_ = static_cast<size_t>(first);
            first = -1;
        }
        if (first >= 0) {
            width = first;
        } else {
            if (Peek() == CharT('-')) {
                leftAlign = true;
                ++pos_;
            }
            width = Number();
        }
        if (Peek() == CharT('.')) {
            ++pos_;
            precision = Number();
            if (precision < 0) {
                Invalid();
            }
        }
        if (width > kFormatMaxWidth || precision > kFormatMaxWidth) {
            Invalid();
        }
        CharT type = Peek();
        ++pos_;
        if (type >= CharT('A') && type <= CharT('Z')) {
            type = type - CharT('A') + CharT('a');
        }
        Text<CharT> text = Convert(static_cast<char>(type), precision);
        if (width > 0 && text.size() < static_cast<size_t>(width)) {
            Text<CharT> padding(static_cast<size_t>(width) - text.size(), CharT(' '));
            text = leftAlign ? text + padding : padding + text;
        }
        out += text;
    }

    Text<CharT> Convert(char type, int precision) {
        if (type != 'd' && type != 'u' && type != 'x' && type != 'p' && type != 's' &&
            type != 'e' && type != 'f' && type != 'g' && type != 'n' && type != 'm') {
            Invalid();
        }
        const TFormatArg& arg = NextArg();
        using Kind = TFormatArg::Kind;
        Kind kind = arg.GetKind();
        bool integer = kind == Kind::Integer || kind == Kind::Int64;
        switch (type) {
        case 'd': {
            if (!integer) {
                Invalid();
            }
            std::int64_t v = arg.IntValue();
            std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : v;
            std::string digits = ZeroPadded(Decimal(magnitude), precision);
            return FromAscii<CharT>(v < 0 ? "-" + digits : digits);
        }
        case 'u':
        case 'x': {
            if (!integer) {
                Invalid();
            }
            // A 32-bit argument shows its 32-bit pattern: -1 is FFFFFFFF, not 16 digits.
            std::uint64_t v = kind == Kind::Integer ? static_cast<std::uint32_t>(arg.IntValue())
                                                    : static_cast<std::uint64_t>(arg.IntValue());
            return FromAscii<CharT>(ZeroPadded(type == 'u' ? Decimal(v) : Hex(v), precision));
        }
        case 'p':
            if (kind != Kind::Pointer) {
                Invalid();
            }
            return FromAscii<CharT>(ZeroPadded(Hex(static_cast<std::uint64_t>(arg.IntValue())), 8));
        case 's': {
            if (kind != Kind::AnsiText && kind != Kind::WideText) {
                Invalid();
            }
            Text<CharT> text = TextArg<CharT>(arg);
            if (precision >= 0 && text.size() > static_cast<size_t>(precision)) {
                text.resize(static_cast<size_t>(precision));
            }
            return text;
        }
        default:
            if (kind != Kind::Float) {
                Invalid();
            }
            return FromWide<CharT>(FloatText(arg.FloatValue(), type, precision));
        }
    }

    TextView<CharT> format_;
    std::span<const TFormatArg> args_;
    size_t pos_ = 0;
    size_t argIndex_ = 0;
};

} // namespace

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

std::u16string FormatArgs(std::u16string_view format, std::span<const TFormatArg> args) {
    return Formatter<char16_t>(format, args).Run();
}

std::string FormatArgs(std::string_view format, std::span<const TFormatArg> args) {
    return Formatter<char>(format, args).Run();
}
