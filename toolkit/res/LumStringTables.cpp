#include "toolkit/res/LumStringTables.h"

#include "toolkit/base/LumByteIO.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <stdexcept>

namespace {

bool IsIdentifierStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsIdentifierChar(char c) {
    return IsIdentifierStart(c) || (c >= '0' && c <= '9');
}

bool IsIdentifier(std::string_view text) {
    return !text.empty() && IsIdentifierStart(text[0]) &&
           std::all_of(text.begin(), text.end(), IsIdentifierChar);
}

class LineParser {
  public:
    LineParser(std::string_view line, std::string location)
        : line_(line), where_(std::move(location)) {}

    [[noreturn]] void Fail(const std::string& problem) const {
        throw std::runtime_error(where_ + ": " + problem);
    }
    void SkipSpaces() {
        while (pos_ < line_.size() && (line_[pos_] == ' ' || line_[pos_] == '\t')) {
            ++pos_;
        }
    }
    bool AtEnd() {
        SkipSpaces();
        return pos_ >= line_.size();
    }
    char Peek() {
        SkipSpaces();
        return pos_ < line_.size() ? line_[pos_] : '\0';
    }
    std::string Word() {
        SkipSpaces();
        size_t start = pos_;
        while (pos_ < line_.size() && IsIdentifierChar(line_[pos_])) {
            ++pos_;
        }
        return std::string(line_.substr(start, pos_ - start));
    }
    void Expect(char c) {
        if (Peek() != c) {
            Fail(std::string("expected '") + c + "'");
        }
        ++pos_;
    }
    std::u16string Quoted() {
        Expect('"');
        std::string utf8;
        while (true) {
            if (pos_ >= line_.size()) {
                Fail("unterminated text");
            }
            char c = line_[pos_++];
            if (c == '"') {
                break;
            }
            if (c != '\\') {
                utf8 += c;
                continue;
            }
            if (pos_ >= line_.size()) {
                Fail("unterminated escape");
            }
            char e = line_[pos_++];
            switch (e) {
            case 'r':
                utf8 += '\r';
                break;
            case 'n':
                utf8 += '\n';
                break;
            case 't':
                utf8 += '\t';
                break;
            case '\\':
                utf8 += '\\';
                break;
            case '"':
                utf8 += '"';
                break;
            case 'u': {
                if (pos_ + 4 > line_.size()) {
                    Fail("\\u needs four hexadecimal digits");
                }
                std::string hex(line_.substr(pos_, 4));
                if (!std::all_of(hex.begin(), hex.end(), [](char h) {
                        return std::isxdigit(static_cast<unsigned char>(h));
                    })) {
                    Fail("\\u needs four hexadecimal digits");
                }
                pos_ += 4;
                utf8 += WideToUtf8(
                    std::u16string(1, static_cast<char16_t>(std::stoul(hex, nullptr, 16))));
                break;
            }
            default:
                Fail(std::string("unknown escape \\") + e);
            }
        }
        return Utf8ToWide(utf8);
    }

  private:
    std::string_view line_;
    std::string where_;
    size_t pos_ = 0;
};

// A u"" literal; characters outside printable ASCII become universal character names.
std::string CppLiteral(std::u16string_view text) {
    std::string out = "u\"";
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
            continue;
        }
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            continue;
        }
        // A surrogate pair is one character; a universal character name may not name halves.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        int digits = c > 0xFFFF ? 8 : 4;
        out += digits == 8 ? "\\U" : "\\u";
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
            out += "0123456789ABCDEF"[(c >> shift) & 0xF];
        }
    }
    return out + "\"";
}

} // namespace

std::vector<TDeclaredString> ParseStringDeclarations(std::string_view module,
                                                     std::string_view content,
                                                     std::string_view source) {
    if (!IsIdentifier(module)) {
        throw std::runtime_error(std::string(source) + ": module name '" + std::string(module) +
                                 "' is not an identifier");
    }
    std::vector<TDeclaredString> strings;
    std::set<std::string> seen;
    size_t lineNumber = 0;
    size_t start = 0;
    while (start <= content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos) {
            end = content.size();
        }
        std::string_view line = content.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        LineParser in(line, std::string(source) + ":" + std::to_string(lineNumber));
        if (in.AtEnd() || in.Peek() == '#') {
            continue;
        }
        TDeclaredString s;
        s.Module = std::string(module);
        s.Identifier = in.Word();
        if (!IsIdentifier(s.Identifier)) {
            in.Fail("expected an identifier");
        }
        if (!seen.insert(s.Identifier).second) {
            in.Fail("'" + s.Identifier + "' is declared twice");
        }
        if (std::isdigit(static_cast<unsigned char>(in.Peek()))) {
            std::string digits = in.Word();
            if (digits.size() > 5 ||
                !std::all_of(digits.begin(), digits.end(),
                             [](char d) { return d >= '0' && d <= '9'; }) ||
                std::stoi(digits) < 1 || std::stoi(digits) > 65535) {
                in.Fail("the id must be a number from 1 to 65535");
            }
            s.FixedId = std::stoi(digits);
        }
        in.Expect('=');
        s.Text = in.Quoted();
        if (!in.AtEnd()) {
            in.Fail("unexpected text after the string");
        }
        strings.push_back(std::move(s));
    }
    return strings;
}

void AssignStringIds(std::vector<TDeclaredString>& strings) {
    std::map<int, const TDeclaredString*> taken;
    std::set<std::string> names;
    for (TDeclaredString& s : strings) {
        std::string qualified = s.Module + "_" + s.Identifier;
        if (!names.insert(qualified).second) {
            throw std::runtime_error(qualified + " is declared twice");
        }
        if (s.FixedId < 0) {
            continue;
        }
        auto [it, added] = taken.emplace(s.FixedId, &s);
        if (!added) {
            throw std::runtime_error("id " + std::to_string(s.FixedId) + " is fixed for both " +
                                     it->second->Module + "_" + it->second->Identifier + " and " +
                                     qualified);
        }
        s.Id = static_cast<std::uint16_t>(s.FixedId);
    }
    int next = 65535;
    for (TDeclaredString& s : strings) {
        if (s.FixedId >= 0) {
            continue;
        }
        while (next > 0 && taken.count(next)) {
            --next;
        }
        if (next <= 0) {
            throw std::runtime_error("no string id left for " + s.Module + "_" + s.Identifier);
        }
        s.Id = static_cast<std::uint16_t>(next);
        taken.emplace(next, &s);
    }
}

std::vector<TResEntry> StringTableResources(const std::vector<TDeclaredString>& strings) {
    std::map<std::uint16_t, std::array<const TDeclaredString*, kStringsPerBlock>> blocks;
    for (const TDeclaredString& s : strings) {
        blocks[StringBlockOf(s.Id)][StringIndexOf(s.Id)] = &s;
    }
    std::vector<TResEntry> entries;
    for (const auto& [block, slots] : blocks) {
        TStringBlock texts;
        for (size_t i = 0; i < kStringsPerBlock; ++i) {
            if (slots[i] && slots[i]->Text.size() > 0xFFFF) {
                throw std::runtime_error(slots[i]->Module + "_" + slots[i]->Identifier +
                                         " is too long");
            }
            texts[i] = slots[i] ? slots[i]->Text : std::u16string();
        }
        TResEntry entry;
        entry.Type = TResId::Of(kRtString);
        entry.Name = TResId::Of(block);
        entry.MemoryFlags = 0x1030; // moveable, pure, discardable
        entry.Data = EncodeStringBlock(texts);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<TNameMapEntry> NameMapEntries(const std::vector<TDeclaredString>& strings) {
    std::vector<TNameMapEntry> entries;
    for (const TDeclaredString& s : strings) {
        entries.push_back({s.Id, s.Module + "_" + s.Identifier});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TNameMapEntry& a, const TNameMapEntry& b) { return a.Id < b.Id; });
    return entries;
}

std::u16string NameMapText(const std::vector<TDeclaredString>& strings) {
    std::u16string map;
    for (const TNameMapEntry& entry : NameMapEntries(strings)) {
        map += AsciiToWide(std::to_string(entry.Id) + "=" + entry.Name + "\r\n");
    }
    return map;
}

std::vector<std::uint8_t> WriteNameMap(const std::vector<TNameMapEntry>& entries) {
    TByteWriter out;
    for (const TNameMapEntry& entry : entries) {
        out.Utf16(AsciiToWide(std::to_string(entry.Id) + "=" + entry.Name + "\r\n"));
    }
    return out.Take();
}

std::vector<TNameMapEntry> ReadNameMap(std::span<const std::uint8_t> bytes) {
    // The padding of a section's raw data: zero bytes after the last line.
    size_t size = bytes.size();
    while (size > 0 && bytes[size - 1] == 0) {
        --size;
    }
    size += size % 2; // the high byte of the last character may be such a zero
    if (size > bytes.size()) {
        throw std::runtime_error("name map line 1: the map's size is odd");
    }
    TByteReader in(bytes.first(size));
    std::u16string text = in.Utf16(size / 2);
    std::vector<TNameMapEntry> entries;
    size_t start = 0;
    for (size_t line = 1; start < text.size(); ++line) {
        auto fail = [&](const std::string& problem) {
            throw std::runtime_error("name map line " + std::to_string(line) + ": " + problem);
        };
        size_t end = text.find(u"\r\n", start);
        if (end == std::u16string::npos) {
            fail("no CR LF at the end");
        }
        std::u16string_view row(text.data() + start, end - start);
        start = end + 2;
        size_t equals = row.find(u'=');
        if (equals == std::u16string_view::npos) {
            fail("no '='");
        }
        std::u16string_view id = row.substr(0, equals);
        std::u16string_view name = row.substr(equals + 1);
        std::uint32_t number = 0;
        if (id.empty() || id.size() > 5 ||
            !std::all_of(id.begin(), id.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
            fail("the id is no number");
        }
        for (char16_t c : id) {
            number = number * 10 + (c - u'0');
        }
        if (number < 1 || number > 65535) {
            fail("the id must be a number from 1 to 65535");
        }
        if (!entries.empty() && number <= entries.back().Id) {
            fail("the ids do not ascend");
        }
        if (name.empty() ||
            !std::all_of(name.begin(), name.end(), [](char16_t c) { return c > 32 && c < 127; })) {
            fail("the name is empty or not printable ASCII");
        }
        entries.push_back(
            {static_cast<std::uint16_t>(number), std::string(name.begin(), name.end())});
    }
    return entries;
}

std::string ModuleHeaderText(std::string_view module, const std::vector<TDeclaredString>& strings) {
    std::string out = "// Generated from " + std::string(module) +
                      ".rstr by the build; edit the declarations there.\n"
                      "#pragma once\n\n#include \"toolkit/base/LumResStrings.h\"\n\nnamespace " +
                      std::string(module) + " {\n";
    for (const TDeclaredString& s : strings) {
        if (s.Module == module) {
            out += "inline constexpr TResStringRec " + s.Identifier + "{" + std::to_string(s.Id) +
                   ", " + CppLiteral(s.Text) + "};\n";
        }
    }
    return out + "} // namespace " + std::string(module) + "\n";
}
