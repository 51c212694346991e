#pragma once
// Format: the runtime's formatting of texts with arguments.
//
// A directive is "%" [index ":"] ["-"] [width] ["." precision] type, where index, width and
// precision are decimal numbers or "*" (taken from the next argument, which must be an
// integer). An index makes that argument the current one; later directives go on from it.
// Types: d (signed decimal, precision = minimum digits), u (unsigned decimal), x (upper-case
// hexadecimal, precision = minimum digits; a negative 32-bit value shows its 32-bit pattern),
// p (pointer, at least eight upper-case hexadecimal digits), s (text, precision = maximum
// characters), e f g n m (floating point: scientific, fixed, general, fixed with thousands
// separators, currency). Width pads with spaces, on the right with "-", and never cuts.
// "%%" is a percent sign. A malformed directive or a missing argument raises EConvertError,
// as does a width or precision above kFormatMaxWidth: format texts come from translation
// modules too, and "%2147483647d" must not ask for a 2 GB text.

#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

/// The largest width or precision a directive may give, written or taken from an argument.
inline constexpr int kFormatMaxWidth = 1024;

/// One argument of Format. Built implicitly from integers, floating-point values, ANSI and
/// wide texts, single characters and pointers; it refers to texts without copying them, so
/// it lives only as long as the call.
class TFormatArg {
  public:
    enum class Kind { Integer, Int64, Float, AnsiText, WideText, Pointer };

    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, char16_t> &&
             !std::same_as<T, wchar_t>) TFormatArg(T value) {
        if constexpr (std::is_signed_v<T> && sizeof(T) <= 4) {
            kind_ = Kind::Integer;
            int_ = value;
        } else {
            kind_ = Kind::Int64;
            int_ = static_cast<std::int64_t>(value);
        }
    }
    TFormatArg(bool) = delete;
    TFormatArg(double value) : kind_(Kind::Float), float_(value) {}
    TFormatArg(long double value) : kind_(Kind::Float), float_(static_cast<double>(value)) {}
    TFormatArg(const char* text) : kind_(Kind::AnsiText), ansi_(text ? text : "") {}
    TFormatArg(std::string_view text) : kind_(Kind::AnsiText), ansi_(text) {}
    TFormatArg(const std::string& text) : kind_(Kind::AnsiText), ansi_(text) {}
    TFormatArg(const char16_t* text) : kind_(Kind::WideText), wide_(text ? text : u"") {}
    TFormatArg(std::u16string_view text) : kind_(Kind::WideText), wide_(text) {}
    TFormatArg(const std::u16string& text) : kind_(Kind::WideText), wide_(text) {}
    TFormatArg(char c) : kind_(Kind::AnsiText), char_(c), ansi_(&char_, 1) {}
    TFormatArg(char16_t c) : kind_(Kind::WideText), wchar_(c), wide_(&wchar_, 1) {}
    TFormatArg(const void* pointer)
        : kind_(Kind::Pointer),
          int_(static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(pointer))) {}

    TFormatArg(const TFormatArg&) = delete;
    TFormatArg& operator=(const TFormatArg&) = delete;

    Kind GetKind() const { return kind_; }
    std::int64_t IntValue() const { return int_; }
    double FloatValue() const { return float_; }
    std::string_view AnsiValue() const { return ansi_; }
    std::u16string_view WideValue() const { return wide_; }

  private:
    Kind kind_;
    std::int64_t int_ = 0;
    double float_ = 0;
    char char_ = 0;
    char16_t wchar_ = 0;
    std::string_view ansi_;
    std::u16string_view wide_;
};

/// Separators and currency conventions of %n and %m (and the decimal point of e, f, g).
struct TFormatSettings {
    char16_t DecimalSeparator = u'.';
    char16_t ThousandSeparator = u',';
    std::u16string CurrencyString = u"$";
    /// Position of the currency string for positive amounts: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
    int CurrencyFormat = 0;
    /// Negative amounts, 0 to 15, in the order of the system's LOCALE_INEGCURR values.
    int NegCurrFormat = 0;
    int CurrencyDecimals = 2;
};

/// The settings Format uses.
TFormatSettings& FormatSettings();

std::u16string FormatArgs(std::u16string_view format, std::span<const TFormatArg> args);
std::string FormatArgs(std::string_view format, std::span<const TFormatArg> args);

template <class... Args> std::u16string Format(std::u16string_view format, const Args&... args) {
    // The extra element keeps the array non-empty when there are no arguments.
    const TFormatArg converted[] = {TFormatArg(args)..., TFormatArg(0)};
    return FormatArgs(format, std::span<const TFormatArg>(converted, sizeof...(Args)));
}

template <class... Args> std::string Format(std::string_view format, const Args&... args) {
    const TFormatArg converted[] = {TFormatArg(args)..., TFormatArg(0)};
    return FormatArgs(format, std::span<const TFormatArg>(converted, sizeof...(Args)));
}

/// The format string with an explicit argument index on every directive: "%s %d" becomes
/// "%0:s %1:d", indexes counting on from the last one used, a "*" width or precision using
/// one up too; "%%" and "% " are not directives. A string with exactly one directive and no
/// index, or with indexes on all of them, comes back unchanged. A malformed directive raises
/// ELumGeneralError "Invalid Format Specifier: %s".
std::u16string CanonicalFormatString(std::u16string_view format);

/// CanonicalFormatString, except that a text with a malformed directive comes back as it
/// stands: a program's or a translator's text need not be a format string ("100%").
std::u16string CanonicalFormatStringOrText(std::u16string_view text);

/// Checks that the text takes the same arguments as the reference: by argument index, the
/// same type class (integer d u x, floating e f g m n, pointer p, string s; either case) and
/// the same number of indexes. Raises ELumGeneralError "Argument types for index %d do not
/// match. (%s <> %s)" with the two directives in canonical form (also for one string that
/// uses an index with two classes), or "Number of format specifiers do not match.".
void CheckFormatStringsMatch(std::u16string_view reference, std::u16string_view text);
