#include "toolkit/persist/LumParser.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"

#include <charconv>
#include <limits>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdentChar(char c) {
    return IsLetter(c) || IsDigit(c) || c == '.';
}
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string ReadRest(TLumStream& stream) {
    std::int64_t size = stream.Size() - stream.Position();
    std::string text(static_cast<size_t>(size > 0 ? size : 0), '\0');
    stream.ReadBuffer(text.data(), text.size());
    return text;
}

} // namespace

TLumParser::TLumParser(std::string_view text) : text_(text) {
    NextToken();
}

TLumParser::TLumParser(TLumStream& stream) : text_(ReadRest(stream)) {
    NextToken();
}

void TLumParser::Error(std::u16string_view message) const {
    throw EParserError(Format(LoadResString(LumRtlConsts::SParseError), message, tokenLine_));
}

void TLumParser::SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) {
        char c = text_[pos_++];
        // CR LF is one line break; a lone CR or LF is one too.
        if (c == '\n' || (c == '\r' && (pos_ >= text_.size() || text_[pos_] != '\n'))) {
            ++line_;
        }
    }
}

char TLumParser::NextToken() {
    SkipBlanks();
    tokenLine_ = line_;
    tokenStart_ = pos_;
    floatType_ = 0;
    value_.clear();
    if (pos_ >= text_.size()) {
        token_ = toEOF;
    } else {
        char c = text_[pos_];
        if (IsLetter(c)) {
            while (pos_ < text_.size() && IsIdentChar(text_[pos_])) {
                ++pos_;
            }
            token_ = toSymbol;
        } else if (c == '\'' || c == '#') {
            ScanString();
        } else if (IsDigit(c) || c == '$' ||
                   (c == '-' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1]))) {
            ScanNumber();
        } else {
            ++pos_;
            token_ = c;
        }
    }
    tokenEnd_ = pos_;
    return token_;
}

void TLumParser::ScanString() {
    bool wide = false;
    while (pos_ < text_.size()) {
        char c = text_[pos_];
        if (c == '\'') {
            ++pos_;
            std::string run;
            for (;;) {
                if (pos_ >= text_.size() || text_[pos_] == '\r' || text_[pos_] == '\n') {
                    Error(LoadResString(LumRtlConsts::SUnterminatedString));
                }
                char q = text_[pos_++];
                if (q == '\'') {
                    if (pos_ < text_.size() && text_[pos_] == '\'') {
                        ++pos_;
                    } else {
                        break;
                    }
                }
                run += q;
            }
            value_ += AnsiToWide(run);
        } else if (c == '#') {
            ++pos_;
            std::uint32_t code = 0;
            size_t start = pos_;
            while (pos_ < text_.size() && IsDigit(text_[pos_]) && code <= 0xFFFF) {
                code = code * 10 + static_cast<std::uint32_t>(text_[pos_++] - '0');
            }
            if (pos_ == start || code > 0xFFFF) {
                Error(LoadResString(LumRtlConsts::SInvalidString));
            }
            value_ += static_cast<char16_t>(code);
        } else {
            break;
        }
    }
    for (char16_t c : value_) {
        wide = wide || c > 255;
    }
    token_ = wide ? toWString : toString;
}

void TLumParser::ScanNumber() {
    token_ = toInteger;
    if (text_[pos_] == '$') {
        ++pos_;
        size_t start = pos_;
        while (pos_ < text_.size() && HexDigitValue(text_[pos_]) >= 0) {
            ++pos_;
        }
        if (pos_ == start) {
            Error(LoadResString(LumRtlConsts::SInvalidNumber));
        }
        return;
    }
    if (text_[pos_] == '-') {
        ++pos_;
    }
    auto digits = [this] {
        while (pos_ < text_.size() && IsDigit(text_[pos_])) {
            ++pos_;
        }
    };
    auto digitAt = [this](size_t at) { return at < text_.size() && IsDigit(text_[at]); };
    digits();
    if (pos_ < text_.size() && text_[pos_] == '.' && digitAt(pos_ + 1)) {
        ++pos_;
        digits();
        token_ = toFloat;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
        size_t at = pos_ + 1;
        if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) {
            ++at;
        }
        if (digitAt(at)) {
            pos_ = at;
            digits();
            token_ = toFloat;
        }
    }
    if (token_ == toFloat && pos_ < text_.size()) {
        char type = static_cast<char>(text_[pos_] | 0x20);
        if (type == 's' || type == 'c' || type == 'd') {
            floatType_ = type;
            ++pos_;
        }
    }
}

void TLumParser::CheckToken(char kind) const {
    if (token_ == kind || (kind == toString && token_ == toWString)) {
        return;
    }
    switch (kind) {
    case toSymbol:
        Error(LoadResString(LumRtlConsts::SIdentifierExpected));
    case toString:
    case toWString:
        Error(LoadResString(LumRtlConsts::SStringExpected));
    case toInteger:
    case toFloat:
        Error(LoadResString(LumRtlConsts::SNumberExpected));
    default:
        Error(Format(LoadResString(LumRtlConsts::SCharExpected), kind));
    }
}

bool TLumParser::TokenSymbolIs(std::string_view symbol) const {
    return token_ == toSymbol &&
           SameAsciiText(std::string_view(text_).substr(tokenStart_, tokenEnd_ - tokenStart_),
                         symbol);
}

void TLumParser::CheckTokenSymbol(std::string_view symbol) const {
    if (!TokenSymbolIs(symbol)) {
        Error(Format(LoadResString(LumRtlConsts::SCharExpected), symbol));
    }
}

std::string TLumParser::TokenString() const {
    if (token_ == toString || token_ == toWString) {
        return WideToAnsi(value_);
    }
    size_t end = floatType_ ? tokenEnd_ - 1 : tokenEnd_;
    return text_.substr(tokenStart_, end - tokenStart_);
}

std::u16string TLumParser::TokenWideString() const {
    if (token_ == toString || token_ == toWString) {
        return value_;
    }
    return AnsiToWide(TokenString());
}

std::int64_t TLumParser::TokenInt() const {
    CheckToken(toInteger);
    std::string text = TokenString();
    if (text[0] == '$') {
        std::uint64_t value = 0;
        auto [end, error] = std::from_chars(text.data() + 1, text.data() + text.size(), value, 16);
        if (error != std::errc() || end != text.data() + text.size()) {
            Error(LoadResString(LumRtlConsts::SInvalidNumber));
        }
        return static_cast<std::int64_t>(value);
    }
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        Error(LoadResString(LumRtlConsts::SInvalidNumber));
    }
    return value;
}

double TLumParser::TokenFloat() const {
    if (token_ == toInteger) {
        return static_cast<double>(TokenInt());
    }
    CheckToken(toFloat);
    std::string text = TokenString();
    double value = 0;
    if (ReadAsciiFloat(text, value) != TNumberRead::Ok) {
        Error(LoadResString(LumRtlConsts::SInvalidNumber));
    }
    return value;
}

float TLumParser::TokenSingle() const {
    if (token_ == toInteger) {
        return static_cast<float>(TokenInt());
    }
    CheckToken(toFloat);
    std::string text = TokenString();
    float value = 0;
    if (ReadAsciiFloat(text, value) != TNumberRead::Ok) {
        Error(LoadResString(LumRtlConsts::SInvalidNumber));
    }
    return value;
}

std::int64_t TLumParser::TokenCurrency() const {
    if (token_ == toInteger) {
        std::int64_t value = TokenInt();
        if (value > std::numeric_limits<std::int64_t>::max() / 10000 ||
            value < std::numeric_limits<std::int64_t>::min() / 10000) {
            Error(LoadResString(LumRtlConsts::SInvalidNumber));
        }
        return value * 10000;
    }
    CheckToken(toFloat);
    // Decimal arithmetic on the digits, so that 0.1c is exactly 1000 and not a binary
    // approximation of it.
    std::string text = TokenString();
    size_t i = 0;
    bool negative = text[0] == '-';
    i += negative ? 1 : 0;
    std::string digits;
    int scale = 0;
    bool fraction = false;
    for (; i < text.size() && (IsDigit(text[i]) || text[i] == '.'); ++i) {
        if (text[i] == '.') {
            fraction = true;
        } else {
            digits += text[i];
            scale += fraction ? 1 : 0;
        }
    }
    int exponent = 0;
    if (i < text.size()) {
        const char* first = text.data() + i + 1 + (text[i + 1] == '+' ? 1 : 0);
        auto [end, error] = std::from_chars(first, text.data() + text.size(), exponent);
        if (error != std::errc() || exponent > 100 || exponent < -100) {
            Error(LoadResString(LumRtlConsts::SInvalidNumber));
        }
    }
    int shift = 4 - scale + exponent;
    bool roundUp = false;
    if (shift >= 0) {
        digits.append(static_cast<size_t>(shift), '0');
    } else {
        size_t keep = digits.size() > static_cast<size_t>(-shift) ? digits.size() + shift : 0;
        roundUp = keep < digits.size() && digits[keep] >= '5';
        digits.resize(keep);
    }
    size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? "0" : digits.substr(first);
    std::uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    magnitude += roundUp ? 1 : 0;
    std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    if (error != std::errc() || end != digits.data() + digits.size() || magnitude > limit) {
        Error(LoadResString(LumRtlConsts::SInvalidNumber));
    }
    return negative ? static_cast<std::int64_t>(0 - magnitude)
                    : static_cast<std::int64_t>(magnitude);
}

std::u16string TLumParser::ReadStringValue() {
    CheckToken(toString);
    std::u16string value = value_;
    while (NextToken() == '+') {
        NextToken();
        CheckToken(toString);
        value += value_;
    }
    return value;
}

std::vector<std::uint8_t> TLumParser::ReadBinary() {
    CheckToken('{');
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (;;) {
        SkipBlanks();
        tokenLine_ = line_;
        if (pos_ >= text_.size()) {
            Error(LoadResString(LumRtlConsts::SInvalidBinary));
        }
        char c = text_[pos_++];
        if (c == '}') {
            break;
        }
        int nibble = HexDigitValue(c);
        if (nibble < 0) {
            Error(LoadResString(LumRtlConsts::SInvalidBinary));
        }
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    if (high >= 0) {
        Error(LoadResString(LumRtlConsts::SInvalidBinary));
    }
    NextToken();
    return bytes;
}
