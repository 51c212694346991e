#include "toolkit/base/LumFormat.h"

#include "rstr/LumFormat.h"
#include "rstr/LumSysConst.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <map>
#include <set>
#include <vector>

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

// One directive after its "%": [index ":"] ["-"] [width] ["." precision] type.
struct TDirective {
    int Index = -1; // -1: none
    bool IndexFromArgument = false;
    bool LeftAlign = false;
    int Width = -1;
    int Precision = -1;
    int Stars = 0; // "*" widths and precisions, each taking an argument
    char Type = 0; // lower case, one of d u x p s e f g n m
};

// The one reader of directives, for Format and for the checks on format strings. A "*" is
// resolved through the caller's `Args` when it is read, and an index handed to it at once, so
// arguments are taken in text order: "%1:*d" takes its width from argument 1.
// `Args` has `int Star()` (the value of the next argument) and `void Index(int)`.
template <class CharT> class DirectiveReader {
  public:
    // `pos` is just past the "%".
    DirectiveReader(TextView<CharT> format, size_t pos) : format_(format), pos_(pos) {}

    // False when the directive is malformed; End() is then just past the character that
    // makes it so (at the end of the text when it is cut short).
    template <class Args> bool Read(TDirective& d, Args& args) {
        int first = -1;
        bool star = false;
        if (!Number(first, star, args)) {
            return Fail();
        }
        if (first >= 0 && At(CharT(':'))) {
            ++pos_;
            d.Index = first;
            d.IndexFromArgument = star;
            args.Index(first);
            first = -1;
        }
        if (first >= 0) {
            d.Width = first;
            d.Stars += star;
        } else {
            if (At(CharT('-'))) {
                d.LeftAlign = true;
                ++pos_;
            }
            if (!Number(d.Width, star, args)) {
                return Fail();
            }
            d.Stars += star;
        }
        if (At(CharT('.'))) {
            ++pos_;
            if (!Number(d.Precision, star, args) || d.Precision < 0) {
                return Fail();
            }
            d.Stars += star;
        }
        if (d.Width > kFormatMaxWidth || d.Precision > kFormatMaxWidth) {
            return Fail();
        }
        if (pos_ >= format_.size()) {
            return Fail();
        }
        CharT type = format_[pos_];
        if (type >= CharT('A') && type <= CharT('Z')) {
            type = type - CharT('A') + CharT('a');
        }
        // Compared whole: a wide character is no type letter, whatever its low byte.
        if (type > CharT(127) || std::string_view("duxpsefgnm").find(static_cast<char>(type)) ==
                                     std::string_view::npos) {
            return Fail();
        }
        ++pos_;
        d.Type = static_cast<char>(type);
        return true;
    }

    size_t End() const { return pos_; }

  private:
    bool Fail() {
        if (pos_ < format_.size()) {
            ++pos_;
        }
        return false;
    }

    bool At(CharT c) const { return pos_ < format_.size() && format_[pos_] == c; }
    bool AtDigit() const {
        return pos_ < format_.size() && format_[pos_] >= CharT('0') && format_[pos_] <= CharT('9');
    }

    // A decimal number or "*" into `value` (-1 when neither is there); false when a number
    // exceeds INT_MAX.
    template <class Args> bool Number(int& value, bool& star, Args& args) {
        star = At(CharT('*'));
        if (star) {
            ++pos_;
            value = args.Star();
            return true;
        }
        value = -1;
        if (!AtDigit()) {
            return true;
        }
        long long number = 0;
        while (AtDigit()) {
            number = number * 10 + (format_[pos_] - CharT('0'));
            if (number > INT_MAX) {
                return false;
            }
            ++pos_;
        }
        value = static_cast<int>(number);
        return true;
    }

    TextView<CharT> format_;
    size_t pos_;
};

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

    // The reader's view of the arguments.
    int Star() {
        const TFormatArg& arg = NextArg();
        if (arg.GetKind() != TFormatArg::Kind::Integer) {
            Invalid();
        }
        return static_cast<int>(arg.IntValue());
    }
    void Index(int index) { argIndex_ = static_cast<size_t>(index); }

  private:
    [[noreturn]] void Invalid() const {
        throw EConvertError(Format(LoadResString(LumSysConst::SInvalidFormat), AsWide(format_)));
    }

    const TFormatArg& NextArg() {
        if (argIndex_ >= args_.size()) {
            throw EConvertError(
                Format(LoadResString(LumSysConst::SArgumentMissing), AsWide(format_)));
        }
        return args_[argIndex_++];
    }

    void Directive(Text<CharT>& out) {
        TDirective d;
        DirectiveReader<CharT> reader(format_, pos_);
        bool valid = reader.Read(d, *this);
        pos_ = reader.End();
        if (!valid) {
            Invalid();
        }
        Text<CharT> text = Convert(d.Type, d.Precision);
        if (d.Width > 0 && text.size() < static_cast<size_t>(d.Width)) {
            Text<CharT> padding(static_cast<size_t>(d.Width) - text.size(), CharT(' '));
            text = d.LeftAlign ? text + padding : padding + text;
        }
        out += text;
    }

    Text<CharT> Convert(char type, int precision) {
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

// What the checks on format strings know of a directive: where it stands and the arguments
// it takes, as Format would take them.
struct TSpecifier {
    std::u16string_view Text;
    bool Explicit = false;
    long long Index = 0; // the first argument it takes: its "*"s, then its value
    int Stars = 0;
    char Type = 0;

    // The directive with its argument index written out.
    std::u16string Canonical() const {
        if (Explicit) {
            return std::u16string(Text);
        }
        return u"%" + AsciiToWide(Decimal(static_cast<std::uint64_t>(Index))) + u":" +
               std::u16string(Text.substr(1));
    }
};

// Follows the argument index as Format does; "*" values do not matter here.
struct ArgumentCounter {
    long long Current = 0;
    int Star() { return 0; }
    void Index(int index) { Current = index; }
};

std::vector<TSpecifier> Specifiers(std::u16string_view format) {
    std::vector<TSpecifier> specifiers;
    ArgumentCounter counter;
    size_t pos = 0;
    while ((pos = format.find(u'%', pos)) != std::u16string_view::npos) {
        size_t start = pos++;
        if (pos < format.size() && (format[pos] == u'%' || format[pos] == u' ')) {
            ++pos;
            continue;
        }
        TDirective d;
        long long index = counter.Current;
        DirectiveReader<char16_t> reader(format, pos);
        bool valid = reader.Read(d, counter);
        pos = reader.End();
        // An index taken from an argument depends on the values passed, and an implicit one
        // past the highest index has no argument Format could take.
        if (!valid || d.IndexFromArgument || (d.Index < 0 && index > INT_MAX)) {
            throw ELumGeneralError(Format(LoadResString(LumFormat::SInvalidFormatSpecifier),
                                          format.substr(start, pos - start)));
        }
        TSpecifier specifier;
        specifier.Text = format.substr(start, pos - start);
        specifier.Explicit = d.Index >= 0;
        specifier.Index = specifier.Explicit ? d.Index : index;
        specifier.Stars = d.Stars;
        specifier.Type = d.Type;
        specifiers.push_back(specifier);
        counter.Current = specifier.Index + d.Stars + 1;
    }
    return specifiers;
}

enum class ArgumentClass { None, Integer, Floating, Pointer, String };

ArgumentClass ClassOf(char type) {
    switch (type) {
    case 'd':
    case 'u':
    case 'x':
        return ArgumentClass::Integer;
    case 'p':
        return ArgumentClass::Pointer;
    case 's':
        return ArgumentClass::String;
    default:
        return ArgumentClass::Floating;
    }
}

struct TArgumentUse {
    ArgumentClass Class = ArgumentClass::None;
    std::u16string Specifier; // canonical, of the first directive that takes the argument
};

[[noreturn]] void RaiseTypesDiffer(size_t index, const std::u16string& a, const std::u16string& b) {
    throw ELumGeneralError(Format(LoadResString(LumFormat::SArgumentTypesDiffer), index, a, b));
}

// The arguments a format text takes, by index; an index no directive takes is not in the
// map. A map, not a vector: an index may be as high as 2147483647.
std::map<size_t, TArgumentUse> ArgumentUses(std::u16string_view format) {
    std::map<size_t, TArgumentUse> uses;
    for (const TSpecifier& specifier : Specifiers(format)) {
        std::u16string canonical = specifier.Canonical();
        for (int k = 0; k <= specifier.Stars; ++k) {
            auto index = static_cast<size_t>(specifier.Index + k);
            ArgumentClass argumentClass =
                k < specifier.Stars ? ArgumentClass::Integer : ClassOf(specifier.Type);
            auto [use, added] = uses.try_emplace(index, TArgumentUse{argumentClass, canonical});
            if (!added && use->second.Class != argumentClass) {
                RaiseTypesDiffer(index, use->second.Specifier, canonical);
            }
        }
    }
    return uses;
}

// The number of indexes from 0 to the highest one taken.
size_t IndexCount(const std::map<size_t, TArgumentUse>& uses) {
    return uses.empty() ? 0 : uses.rbegin()->first + 1;
}

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

std::u16string CanonicalFormatString(std::u16string_view format) {
    std::vector<TSpecifier> specifiers = Specifiers(format);
    auto implicit = std::count_if(specifiers.begin(), specifiers.end(),
                                  [](const TSpecifier& s) { return !s.Explicit; });
    if (implicit == 0 || (implicit == 1 && specifiers.size() == 1)) {
        return std::u16string(format);
    }
    std::u16string out;
    size_t done = 0;
    for (const TSpecifier& specifier : specifiers) {
        size_t start = static_cast<size_t>(specifier.Text.data() - format.data());
        out.append(format.substr(done, start - done));
        out += specifier.Canonical();
        done = start + specifier.Text.size();
    }
    out.append(format.substr(done));
    return out;
}

std::u16string CanonicalFormatStringOrText(std::u16string_view text) {
    try {
        return CanonicalFormatString(text);
    } catch (const ELumGeneralError&) {
        return std::u16string(text);
    }
}

void CheckFormatStringsMatch(std::u16string_view reference, std::u16string_view text) {
    std::map<size_t, TArgumentUse> expected = ArgumentUses(reference);
    std::map<size_t, TArgumentUse> actual = ArgumentUses(text);
    static const TArgumentUse kUnused;
    auto at = [](const std::map<size_t, TArgumentUse>& uses, size_t index) -> const TArgumentUse& {
        auto found = uses.find(index);
        return found == uses.end() ? kUnused : found->second;
    };
    // Only indexes some directive takes can differ; in ascending order, so the lowest is named.
    std::set<size_t> indexes;
    for (const auto& [index, use] : expected) {
        indexes.insert(index);
    }
    for (const auto& [index, use] : actual) {
        indexes.insert(index);
    }
    size_t common = std::min(IndexCount(expected), IndexCount(actual));
    for (size_t index : indexes) {
        if (index >= common) {
            break;
        }
        const TArgumentUse& a = at(expected, index);
        const TArgumentUse& b = at(actual, index);
        if (a.Class != b.Class) {
            RaiseTypesDiffer(index, a.Specifier, b.Specifier);
        }
    }
    if (IndexCount(expected) != IndexCount(actual)) {
        throw ELumGeneralError(LoadResString(LumFormat::SSpecifierCountDiffers));
    }
}
