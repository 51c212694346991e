#include "lib/LumTrx/LumTrxPo.h"

#include "rstr/LumTrxPo.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <cstdint>

namespace {

// ---- Writing

void AppendEscaped(std::string& out, std::string_view utf8) {
    for (char c : utf8) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                // Three digits always, so that a digit after the escape is not taken into it.
                out += '\\';
                out += static_cast<char>('0' + (byte >> 6));
                out += static_cast<char>('0' + ((byte >> 3) & 7));
                out += static_cast<char>('0' + (byte & 7));
            } else {
                out += c;
            }
        }
    }
}

void WriteKeyword(std::string& out, std::string_view keyword, std::u16string_view text) {
    std::string utf8 = WideToUtf8(text);
    out += keyword;
    size_t firstBreak = utf8.find('\n');
    if (firstBreak == std::string::npos || firstBreak + 1 == utf8.size()) {
        out += " \"";
        AppendEscaped(out, utf8);
        out += "\"\n";
        return;
    }
    // Line by line, as gettext's own tools lay out texts of several lines.
    out += " \"\"\n";
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = utf8.find('\n', start);
        end = end == std::string::npos ? utf8.size() : end + 1;
        out += '"';
        AppendEscaped(out, std::string_view(utf8).substr(start, end - start));
        out += "\"\n";
        start = end;
    }
}

void WriteCommentLines(std::string& out, std::string_view marker, std::u16string_view text) {
    for (const std::string& line : SplitLines(WideToUtf8(text))) {
        out += marker;
        if (!line.empty()) {
            out += ' ';
            out += line;
        }
        out += '\n';
    }
    if (text.empty()) {
        out += marker;
        out += '\n';
    }
}

// ---- Reading

[[noreturn]] void Fail(int line, std::u16string message) {
    throw EPoError(line, message);
}

// Strict UTF-8: overlong forms, surrogates and code points above U+10FFFF are refused, since
// a replacement character would silently change a translation.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes) {
    std::u16string out;
    size_t i = 0;
    while (i < bytes.size()) {
        auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || i + length > bytes.size()) {
            return std::nullopt;
        }
        std::uint32_t code = lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return std::nullopt;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}

bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Appends the bytes of the quoted text that `rest` starts with (after blanks) and answers what
// follows it.
std::string_view ReadOneQuoted(std::string_view rest, int line, std::string& bytes) {
    rest = TrimBlanks(rest);
    if (rest.empty() || rest.front() != '"') {
        Fail(line, LoadResString(LumTrxPo::SPoQuoteExpected));
    }
    size_t i = 1;
    for (;;) {
        if (i >= rest.size()) {
            Fail(line, LoadResString(LumTrxPo::SPoUnterminated));
        }
        char c = rest[i++];
        if (c == '"') {
            break;
        }
        if (c != '\\') {
            bytes += c;
            continue;
        }
        if (i >= rest.size()) {
            Fail(line, LoadResString(LumTrxPo::SPoUnterminated));
        }
        char e = rest[i++];
        switch (e) {
        case 'n':
            bytes += '\n';
            break;
        case 't':
            bytes += '\t';
            break;
        case 'r':
            bytes += '\r';
            break;
        case 'a':
            bytes += '\a';
            break;
        case 'b':
            bytes += '\b';
            break;
        case 'f':
            bytes += '\f';
            break;
        case 'v':
            bytes += '\v';
            break;
        case '\\':
        case '"':
        case '\'':
        case '?':
            bytes += e;
            break;
        case 'x': {
            int value = 0;
            int digits = 0;
            while (digits < 2 && i < rest.size() && HexDigitValue(rest[i]) >= 0) {
                value = value * 16 + HexDigitValue(rest[i++]);
                ++digits;
            }
            if (digits == 0) {
                Fail(line, Format(LoadResString(LumTrxPo::SPoBadEscape), u"x"));
            }
            bytes += static_cast<char>(value);
            break;
        }
        default:
            if (!IsOctal(e)) {
                Fail(line, Format(LoadResString(LumTrxPo::SPoBadEscape), Utf8ToWide({&e, 1})));
            }
            int value = e - '0';
            for (int digits = 1; digits < 3 && i < rest.size() && IsOctal(rest[i]); ++digits) {
                value = value * 8 + (rest[i++] - '0');
            }
            if (value > 0xFF) {
                Fail(line, Format(LoadResString(LumTrxPo::SPoBadEscape),
                                  Utf8ToWide(rest.substr(i - 3, 3))));
            }
            bytes += static_cast<char>(value);
        }
    }
    return TrimBlanks(rest.substr(i));
}

// Appends the bytes of the quoted texts of a line ("a" "b" is "ab"); nothing else may follow.
void ReadQuoted(std::string_view rest, int line, std::string& bytes) {
    rest = ReadOneQuoted(rest, line, bytes);
    while (!rest.empty()) {
        if (rest.front() != '"') {
            Fail(line, LoadResString(LumTrxPo::SPoTextAfterQuote));
        }
        rest = ReadOneQuoted(rest, line, bytes);
    }
}

std::u16string Decode(std::string_view bytes, int line) {
    std::optional<std::u16string> text = DecodeUtf8(bytes);
    if (!text) {
        Fail(line, LoadResString(LumTrxPo::SPoNotUtf8));
    }
    return *text;
}

std::u16string TrimmedText(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.remove_suffix(1);
    }
    return std::u16string(text);
}

// The header entry's text as fields, one "Name: value" a line.
std::vector<TPoHeaderField> ParseHeader(std::u16string_view text) {
    std::vector<TPoHeaderField> fields;
    for (const std::u16string& line : SplitLines(text)) {
        size_t colon = line.find(u':');
        if (colon == std::u16string::npos) {
            continue;
        }
        fields.emplace_back(TrimmedText(std::u16string_view(line).substr(0, colon)),
                            TrimmedText(std::u16string_view(line).substr(colon + 1)));
    }
    return fields;
}

std::u16string CharsetOf(std::u16string_view contentType) {
    std::u16string lower = AsciiUpperCase(contentType);
    size_t at = lower.find(u"CHARSET=");
    if (at == std::u16string::npos) {
        return u"";
    }
    std::u16string_view rest = contentType.substr(at + 8);
    size_t end = rest.find_first_of(u"; \t");
    return std::u16string(rest.substr(0, end));
}

class TPoReader {
  public:
    TPoCatalogue Read(std::string_view text);

  private:
    enum class TPhase { Empty, Comments, Context, Id, Str };

    void Line(std::string_view line);
    void Keyword(std::string_view keyword, std::string_view rest);
    void Comment(std::string_view line);
    void Finish();
    void StartIfComplete() {
        if (phase_ == TPhase::Str) {
            Finish();
        }
    }
    // An entry whose msgid has been read cannot take anything but its msgstr.
    void RequireNoOpenId() const {
        if (phase_ == TPhase::Id) {
            Fail(entry_.Line, LoadResString(LumTrxPo::SPoNoMsgstr));
        }
    }
    void MarkStart() {
        if (entry_.Line == 0) {
            entry_.Line = line_;
        }
    }

    TPoCatalogue catalogue_;
    bool hasHeader_ = false;
    int line_ = 0;
    TPhase phase_ = TPhase::Empty;
    TPoEntry entry_;
    // The bytes of the keywords' texts so far and where continued quoted lines go.
    std::string context_, id_, str_;
    int idLine_ = 0;
    std::string* current_ = nullptr;
};

TPoCatalogue TPoReader::Read(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        ++line_;
        Line(text.substr(start, end - start));
        start = end + 1;
    }
    if (phase_ == TPhase::Context || phase_ == TPhase::Id) {
        Fail(entry_.Line, LoadResString(LumTrxPo::SPoNoMsgstr));
    }
    StartIfComplete();
    return std::move(catalogue_);
}

void TPoReader::Line(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty()) {
        StartIfComplete();
        return;
    }
    if (line.front() == '#') {
        Comment(line);
        return;
    }
    if (line.front() == '"') {
        if (current_ == nullptr) {
            Fail(line_, Format(LoadResString(LumTrxPo::SPoOutOfPlace), u"..."));
        }
        ReadQuoted(line, line_, *current_);
        return;
    }
    size_t end = line.find_first_of(" \t\"");
    Keyword(line.substr(0, end), end == std::string_view::npos ? "" : line.substr(end));
}

void TPoReader::Comment(std::string_view line) {
    StartIfComplete();
    if (line.substr(0, 2) == "#~") {
        // An obsolete entry: its comments went with it.
        if (phase_ == TPhase::Comments) {
            entry_ = TPoEntry();
            phase_ = TPhase::Empty;
        }
        return;
    }
    RequireNoOpenId();
    if (phase_ == TPhase::Context) {
        Fail(line_, Format(LoadResString(LumTrxPo::SPoOutOfPlace), u"#"));
    }
    MarkStart();
    phase_ = TPhase::Comments;
    char kind = line.size() > 1 ? line[1] : ' ';
    std::string_view body = line.substr(std::min<size_t>(line.size(), 2));
    if (kind == ' ' || kind == '\t') {
        entry_.Comments.push_back(Decode(body, line_));
        return;
    }
    body = TrimBlanks(body);
    if (kind == '.') {
        entry_.ExtractedComments.push_back(Decode(body, line_));
    } else if (kind == ',') {
        size_t start = 0;
        while (start <= body.size()) {
            size_t comma = body.find(',', start);
            std::string_view flag = TrimBlanks(body.substr(start, comma - start));
            if (!flag.empty()) {
                entry_.Flags.push_back(Decode(flag, line_));
            }
            if (comma == std::string_view::npos) {
                break;
            }
            start = comma + 1;
        }
    }
    // "#:" references and "#|" previous texts are the editors' business.
}

void TPoReader::Keyword(std::string_view keyword, std::string_view rest) {
    auto outOfPlace = [&] {
        Fail(line_, Format(LoadResString(LumTrxPo::SPoOutOfPlace), Utf8ToWide(keyword)));
    };
    if (keyword == "msgctxt") {
        StartIfComplete();
        RequireNoOpenId();
        if (phase_ == TPhase::Context) {
            outOfPlace();
        }
        MarkStart();
        phase_ = TPhase::Context;
        entry_.ContextLine = line_;
        context_.clear();
        current_ = &context_;
    } else if (keyword == "msgid") {
        StartIfComplete();
        RequireNoOpenId();
        MarkStart();
        phase_ = TPhase::Id;
        idLine_ = line_;
        current_ = &id_;
    } else if (keyword == "msgstr") {
        if (phase_ != TPhase::Id) {
            outOfPlace();
        }
        phase_ = TPhase::Str;
        entry_.StrLine = line_;
        current_ = &str_;
    } else if (keyword == "msgid_plural" || keyword.substr(0, 7) == "msgstr[") {
        Fail(line_, LoadResString(LumTrxPo::SPoPlural));
    } else {
        Fail(line_, Format(LoadResString(LumTrxPo::SPoUnknownKeyword), Utf8ToWide(keyword)));
    }
    ReadQuoted(rest, line_, *current_);
}

void TPoReader::Finish() {
    if (entry_.ContextLine != 0) {
        entry_.Context = Decode(context_, entry_.ContextLine);
    }
    entry_.Id = Decode(id_, idLine_);
    entry_.Str = Decode(str_, entry_.StrLine);
    if (!entry_.Context && entry_.Id.empty()) {
        if (hasHeader_) {
            Fail(entry_.Line, LoadResString(LumTrxPo::SPoSecondHeader));
        }
        hasHeader_ = true;
        catalogue_.Header = ParseHeader(entry_.Str);
        std::u16string charset = CharsetOf(PoHeaderValue(catalogue_, u"Content-Type"));
        if (!charset.empty() && !SameAsciiText(charset, u"UTF-8")) {
            Fail(entry_.StrLine, Format(LoadResString(LumTrxPo::SPoCharset), charset));
        }
    } else {
        catalogue_.Entries.push_back(std::move(entry_));
    }
    entry_ = TPoEntry();
    context_.clear();
    id_.clear();
    str_.clear();
    current_ = nullptr;
    phase_ = TPhase::Empty;
}

} // namespace

bool TPoEntry::HasFlag(std::u16string_view flag) const {
    for (const std::u16string& each : Flags) {
        if (each == flag) {
            return true;
        }
    }
    return false;
}

std::string WritePo(const TPoCatalogue& catalogue) {
    std::string out;
    std::u16string header;
    for (const auto& [name, value] : catalogue.Header) {
        header += name + u": " + value + u"\n";
    }
    WriteKeyword(out, "msgid", u"");
    WriteKeyword(out, "msgstr", header);
    for (const TPoEntry& entry : catalogue.Entries) {
        out += '\n';
        for (const std::u16string& comment : entry.Comments) {
            WriteCommentLines(out, "#", comment);
        }
        for (const std::u16string& comment : entry.ExtractedComments) {
            WriteCommentLines(out, "#.", comment);
        }
        if (!entry.Flags.empty()) {
            out += "#,";
            for (size_t i = 0; i < entry.Flags.size(); ++i) {
                out += i == 0 ? " " : ", ";
                out += WideToUtf8(entry.Flags[i]);
            }
            out += '\n';
        }
        if (entry.Context) {
            WriteKeyword(out, "msgctxt", *entry.Context);
        }
        WriteKeyword(out, "msgid", entry.Id);
        WriteKeyword(out, "msgstr", entry.Str);
    }
    return out;
}

TPoCatalogue ReadPo(std::string_view text) {
    return TPoReader().Read(text);
}

std::u16string PoHeaderValue(const TPoCatalogue& catalogue, std::u16string_view name) {
    for (const auto& [field, value] : catalogue.Header) {
        if (SameAsciiText(field, name)) {
            return value;
        }
    }
    return u"";
}
