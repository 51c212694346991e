#include "toolkit/base/LumNumberText.h"

#include "toolkit/base/LumStrings.h"

#include <charconv>
#include <limits>

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
    const char* end = syntax->data() + syntax->size();
    auto [ptr, ec] = std::from_chars(syntax->data(), end, value);
    if (ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is out of range.
        size_t e = syntax->find('e');
        if (e != std::string::npos && (*syntax)[e + 1] == '-') {
            value = 0;
            return TNumberRead::Ok;
        }
        return TNumberRead::Overflow;
    }
    return ec == std::errc() && ptr == end ? TNumberRead::Ok : TNumberRead::Invalid;
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
