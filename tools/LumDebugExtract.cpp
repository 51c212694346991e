#include "tools/LumDebugExtract.h"

#include "toolkit/base/LumByteIO.h"
#include "toolkit/res/LumPeImage.h"
#include "tools/LumDwarf.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

constexpr std::uint32_t kScnCntCode = 0x00000020;
constexpr std::uint32_t kScnMemExecute = 0x20000000;
constexpr size_t kSymbolSize = 18;
constexpr std::uint16_t kFunctionType = 0x20;
constexpr std::uint8_t kClassExternal = 2;
constexpr std::uint8_t kClassStatic = 3;

struct CodeRange {
    std::uint64_t Start;
    std::uint64_t End;
};

// A checked reader at an offset of the file; a field past the end raises.
TByteReader At(std::span<const std::uint8_t> bytes, size_t at) {
    TByteReader in(bytes);
    if (at > bytes.size()) {
        throw std::runtime_error("PE image: field past the end of the file");
    }
    in.Seek(at);
    return in;
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, size_t at) {
    try {
        return At(bytes, at).U32();
    } catch (const EByteReadError&) {
        throw std::runtime_error("PE image: field past the end of the file");
    }
}

// Where the bracket group that closes just before `end` opens; npos when it does not balance.
size_t OpeningOf(std::string_view text, size_t end, char open, char close) {
    int depth = 0;
    for (size_t i = end; i-- > 0;) {
        if (text[i] == close) {
            ++depth;
        } else if (text[i] == open && --depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

struct Symbol {
    std::uint64_t Address;
    std::string Name;
};

// The function symbols of the image's COFF symbol table that lie in code sections.
std::vector<Symbol> FunctionSymbols(std::span<const std::uint8_t> bytes, const TPeImage& image) {
    std::uint32_t pe = Le32(bytes, 0x3C);
    std::uint32_t table = Le32(bytes, std::size_t{pe} + 12);
    std::uint32_t count = Le32(bytes, std::size_t{pe} + 16);
    std::vector<Symbol> symbols;
    if (table == 0 || count == 0) {
        return symbols;
    }
    std::uint64_t strings = std::uint64_t{table} + std::uint64_t{count} * kSymbolSize;
    if (strings > bytes.size()) {
        throw std::runtime_error("PE image: symbol table past the end of the file");
    }
    auto stringAt = [&](std::uint32_t offset) -> std::string {
        std::uint64_t at = strings + offset;
        if (at >= bytes.size()) {
            throw std::runtime_error("PE image: symbol name past the end of the file");
        }
        // The last name may end with the file instead of a zero.
        auto rest = bytes.subspan(static_cast<size_t>(at));
        return std::string(rest.begin(), std::find(rest.begin(), rest.end(), 0));
    };
    const auto& sections = image.Sections();
    for (std::uint32_t i = 0; i < count; ++i) {
        // Inside the file: the table ends before the string table, checked above.
        TByteReader symbol = At(bytes, table + size_t{i} * kSymbolSize);
        auto shortName = symbol.Bytes(8);
        std::uint32_t value = symbol.U32();
        std::int16_t section = symbol.I16();
        std::uint16_t type = symbol.U16();
        std::uint8_t storage = symbol.U8();
        std::uint8_t auxiliary = symbol.U8();
        if (type == kFunctionType && (storage == kClassExternal || storage == kClassStatic) &&
            section >= 1 && static_cast<size_t>(section) <= sections.size() &&
            (sections[section - 1].Characteristics & (kScnCntCode | kScnMemExecute))) {
            std::string name;
            TByteReader field(shortName);
            if (field.U32() == 0) {
                name = stringAt(field.U32());
            } else {
                name.assign(shortName.begin(), std::find(shortName.begin(), shortName.end(), 0));
            }
            symbols.push_back(
                {std::uint64_t{image.ImageBase()} + sections[section - 1].VirtualAddress + value,
                 std::move(name)});
        }
        i += auxiliary;
    }
    return symbols;
}

std::span<const std::uint8_t> SectionBytes(const TPeImage& image, const char* name) {
    const TPeSection* section = image.FindSection(name);
    if (!section) {
        return {};
    }
    auto data = image.SectionData(*section);
    if (data.size() < section->VirtualSize) {
        throw std::runtime_error(std::string("PE image: section ") + name + " is cut short");
    }
    return data;
}

// The compiler's and the system's headers.
bool IsLibraryFile(std::string_view path) {
    return path.starts_with("/usr/");
}

struct CallSite {
    std::uint32_t File;
    std::uint32_t Line;
};

// Disjoint address ranges with the call site each belongs to; a range set later replaces what
// it overlaps.
class TCallSites {
  public:
    void Set(std::uint64_t start, std::uint64_t end, CallSite site) {
        if (end <= start) {
            return;
        }
        auto at = ranges_.lower_bound(start);
        if (at != ranges_.begin()) {
            auto before = std::prev(at);
            if (before->second.End > start) {
                Piece cut = before->second;
                before->second.End = start;
                if (cut.End > end) {
                    ranges_[end] = cut;
                }
            }
        }
        for (at = ranges_.lower_bound(start); at != ranges_.end() && at->first < end;) {
            if (at->second.End > end) {
                Piece rest = at->second;
                ranges_.erase(at);
                ranges_[end] = rest;
                break;
            }
            at = ranges_.erase(at);
        }
        ranges_[start] = {end, site};
    }

    const CallSite* Find(std::uint64_t address) const {
        auto after = ranges_.upper_bound(address);
        if (after == ranges_.begin()) {
            return nullptr;
        }
        const Piece& piece = std::prev(after)->second;
        return address < piece.End ? &piece.Site : nullptr;
    }

  private:
    struct Piece {
        std::uint64_t End;
        CallSite Site;
    };
    std::map<std::uint64_t, Piece> ranges_;
};

class Extractor {
  public:
    Extractor(std::span<const std::uint8_t> bytes, const TPeImage& image)
        : bytes_(bytes), image_(image) {
        for (const TPeSection& section : image.Sections()) {
            if (section.Characteristics & (kScnCntCode | kScnMemExecute)) {
                std::uint64_t start = std::uint64_t{image.ImageBase()} + section.VirtualAddress;
                code_.push_back({start, start + section.VirtualSize});
            }
        }
    }

    TDebugInfo Extract() {
        TDwarfSections dwarf;
        dwarf.Info = SectionBytes(image_, ".debug_info");
        dwarf.Abbrev = SectionBytes(image_, ".debug_abbrev");
        dwarf.Line = SectionBytes(image_, ".debug_line");
        dwarf.Str = SectionBytes(image_, ".debug_str");
        dwarf.LineStr = SectionBytes(image_, ".debug_line_str");
        dwarf.Ranges = SectionBytes(image_, ".debug_ranges");
        dwarf.RngLists = SectionBytes(image_, ".debug_rnglists");
        TDwarfData data = ReadDwarf(dwarf);

        TDebugInfo info;
        AddLines(data, info);
        AddFunctions(data, info);
        AddSymbols(info);
        return info;
    }

  private:
    const CodeRange* CodeOf(std::uint64_t address) const {
        for (const CodeRange& range : code_) {
            if (address >= range.Start && address < range.End) {
                return &range;
            }
        }
        return nullptr;
    }

    std::uint32_t Relative(std::uint64_t address) const {
        return static_cast<std::uint32_t>(address - image_.ImageBase());
    }

    // Code of the compiler's and the system's headers inlined into a function is given the
    // line of the function's own code that called it: that is the line a report needs, and it
    // spares the rows of every inlined string and container operation, the most of all rows.
    void AddLines(const TDwarfData& data, TDebugInfo& info) {
        TCallSites sites = OwnCallSites(data);
        for (const auto& sequence : data.Sequences) {
            // A sequence starts where its code was placed; a discarded copy starts outside.
            if (sequence.empty() || !CodeOf(sequence.front().Address)) {
                continue;
            }
            for (const TDwarfLineRow& row : sequence) {
                std::uint32_t line = row.Line;
                std::uint32_t file = row.File;
                if (!row.EndSequence && !IsLibraryFile(data.Files[file])) {
                    ownFiles_.emplace(row.Address, data.Files[file]);
                }
                if (!row.EndSequence && IsLibraryFile(data.Files[file])) {
                    if (const CallSite* site = sites.Find(row.Address)) {
                        line = site->Line;
                        file = site->File;
                    }
                }
                info.Lines.push_back(
                    {Relative(row.Address), row.EndSequence ? 0 : line,
                     row.EndSequence ? std::string() : FileNameOf(data.Files[file])});
            }
        }
    }

    // For each address of inlined code, the innermost call from a file that is not the
    // library's.
    static TCallSites OwnCallSites(const TDwarfData& data) {
        std::vector<const TDwarfInline*> inlines;
        for (const TDwarfInline& call : data.Inlines) {
            if (!IsLibraryFile(data.Files[call.CallFile])) {
                inlines.push_back(&call);
            }
        }
        std::stable_sort(
            inlines.begin(), inlines.end(),
            [](const TDwarfInline* a, const TDwarfInline* b) { return a->Depth < b->Depth; });
        TCallSites sites;
        for (const TDwarfInline* call : inlines) {
            for (const TDwarfRange& range : call->Ranges) {
                sites.Set(range.Start, range.End, {call->CallFile, call->CallLine});
            }
        }
        return sites;
    }

    void AddFunctions(const TDwarfData& data, TDebugInfo& info) {
        std::map<std::uint64_t, std::string> symbolNames;
        for (const Symbol& symbol : FunctionSymbols(bytes_, image_)) {
            symbolNames.emplace(symbol.Address, symbol.Name);
        }
        for (const TDwarfFunction& function : data.Functions) {
            // The unit is the file the function is written in; the line where it is written
            // is the line of its first address.
            std::string unit = UnitOfFile(function.DeclFile ? data.Files[*function.DeclFile]
                                                            : function.CompileUnit);
            auto symbol = symbolNames.find(function.Entry);
            std::string name = symbol == symbolNames.end()
                                   ? function.Name
                                   : ScopedName(function.Name, symbol->second);
            for (const TDwarfRange& range : function.Ranges) {
                const CodeRange* code = CodeOf(range.Start);
                if (!code) {
                    continue;
                }
                std::uint64_t end = std::min(range.End, code->End);
                covered_.push_back({range.Start, end});
                info.Procedures.push_back({Relative(range.Start),
                                           static_cast<std::uint32_t>(end - range.Start), unit,
                                           BriefName(name), function.DeclLine});
            }
        }
        // Merged into disjoint ranges, so that one look back answers whether code is covered.
        std::sort(covered_.begin(), covered_.end(),
                  [](const CodeRange& a, const CodeRange& b) { return a.Start < b.Start; });
        std::vector<CodeRange> merged;
        for (const CodeRange& range : covered_) {
            if (!merged.empty() && range.Start <= merged.back().End) {
                merged.back().End = std::max(merged.back().End, range.End);
            } else {
                merged.push_back(range);
            }
        }
        covered_ = std::move(merged);
    }

    // Code without DWARF gets its symbol's name, from the symbol up to the next symbol or
    // the next function that DWARF describes; its unit is the file of our own source that
    // the line table gives its first address (link-time optimised copies of a function can
    // come without a description of their own), none for the libraries' code.
    void AddSymbols(TDebugInfo& info) {
        std::vector<Symbol> symbols = FunctionSymbols(bytes_, image_);
        std::stable_sort(symbols.begin(), symbols.end(),
                         [](const Symbol& a, const Symbol& b) { return a.Address < b.Address; });
        for (size_t i = 0; i < symbols.size(); ++i) {
            std::uint64_t start = symbols[i].Address;
            if ((i > 0 && symbols[i - 1].Address == start) || Covered(start)) {
                continue;
            }
            const CodeRange* code = CodeOf(start);
            std::uint64_t end = code->End;
            for (size_t j = i + 1; j < symbols.size(); ++j) {
                if (symbols[j].Address > start) {
                    end = std::min(end, symbols[j].Address);
                    break;
                }
            }
            auto next = std::upper_bound(covered_.begin(), covered_.end(), start,
                                         [](std::uint64_t address, const CodeRange& range) {
                                             return address < range.Start;
                                         });
            if (next != covered_.end()) {
                end = std::min(end, next->Start);
            }
            auto file = ownFiles_.find(start);
            info.Procedures.push_back(
                {Relative(start), static_cast<std::uint32_t>(end - start),
                 file == ownFiles_.end() ? std::string() : UnitOfFile(file->second),
                 BriefName(ReadableSymbolName(symbols[i].Name)), 0});
        }
    }

    bool Covered(std::uint64_t address) const {
        auto after = std::upper_bound(
            covered_.begin(), covered_.end(), address,
            [](std::uint64_t value, const CodeRange& range) { return value < range.Start; });
        return after != covered_.begin() && address < std::prev(after)->End;
    }

    std::span<const std::uint8_t> bytes_;
    const TPeImage& image_;
    std::vector<CodeRange> code_;
    std::vector<CodeRange> covered_;
    // The source file of each line row's address, where it is not the libraries' code.
    std::map<std::uint64_t, std::string> ownFiles_;
};

} // namespace

TDebugInfo ExtractDebugInfo(std::span<const std::uint8_t> bytes) {
    auto image = TPeImage::Parse(bytes);
    if (!image) {
        throw std::runtime_error("not a 32-bit PE image");
    }
    return Extractor(bytes, *image).Extract();
}

std::string ReadableName(std::string_view name) {
    std::string_view text = name;
    // Clone notes of split or specialised copies: " [clone .cold]", " [clone .isra.0]".
    while (EndsWith(text, "]")) {
        size_t open = OpeningOf(text, text.size(), '[', ']');
        if (open == std::string_view::npos || text.substr(open, 7) != "[clone ") {
            break;
        }
        text = text.substr(0, open);
        while (!text.empty() && text.back() == ' ') {
            text.remove_suffix(1);
        }
    }
    // Qualifiers after the parameter list.
    for (bool again = true; again;) {
        again = false;
        for (std::string_view tail : {" const", " volatile", " &&", " &", " noexcept"}) {
            if (EndsWith(text, tail)) {
                text.remove_suffix(tail.size());
                again = true;
            }
        }
    }
    if (EndsWith(text, ")")) {
        size_t open = OpeningOf(text, text.size(), '(', ')');
        if (open != std::string_view::npos && open > 0) {
            text = text.substr(0, open);
        }
    }
    // A template function's return type ends at the last space outside brackets, looked for
    // only before an operator's name (whose "<" or "(" would confuse the count).
    size_t limit = text.size();
    for (size_t at = text.find("operator"); at != std::string_view::npos;
         at = text.find("operator", at + 1)) {
        if (at == 0 || text[at - 1] == ':' || text[at - 1] == ' ') {
            limit = at;
            break;
        }
    }
    int depth = 0;
    size_t nameStart = 0;
    for (size_t i = 0; i < limit; ++i) {
        char c = text[i];
        if (c == '<' || c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if (c == '>' || c == ')' || c == ']' || c == '}') {
            --depth;
        } else if (c == ' ' && depth == 0) {
            nameStart = i + 1;
        }
    }
    return std::string(text.substr(nameStart));
}

std::string BriefName(std::string_view name) {
    std::string brief;
    int depth = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (depth == 0 && name.substr(i, 8) == "operator") {
            // The operator's own "<" and ">", and all after them, stay as they are.
            return brief.append(name.substr(i));
        }
        if (c == '<') {
            ++depth;
            brief += depth == 2 ? "<..." : depth == 1 ? "<" : "";
        } else if (c == '>' && depth > 0) {
            brief += depth <= 2 ? ">" : "";
            --depth;
        } else if (depth <= 1) {
            brief += c;
        }
    }
    return brief;
}

std::string ReadableSymbolName(std::string_view symbol) {
    std::string_view name = symbol;
    if (!name.empty() && (name[0] == '_' || name[0] == '@')) {
        name.remove_prefix(1); // i686 C decoration; fastcall names start with "@"
    }
    if (name.substr(0, 2) == "_Z") {
        int status = 0;
        std::unique_ptr<char, void (*)(void*)> demangled(
            abi::__cxa_demangle(std::string(name).c_str(), nullptr, nullptr, &status), std::free);
        if (status == 0 && demangled) {
            return ReadableName(demangled.get());
        }
        return std::string(name);
    }
    size_t at = name.rfind('@');
    if (at != std::string_view::npos && at > 0 && at + 1 < name.size() &&
        name.find_first_not_of("0123456789", at + 1) == std::string_view::npos) {
        name = name.substr(0, at);
    }
    return std::string(name);
}

std::string ScopedName(std::string_view dwarfName, std::string_view symbol) {
    std::string name(dwarfName);
    if (name.find("::") != std::string::npos) {
        return name;
    }
    std::string full = ReadableSymbolName(symbol);
    std::string_view scope(full);
    if (!EndsWith(scope, "::" + name)) {
        return name;
    }
    scope.remove_suffix(name.size());
    return scope.find_first_of("({") == std::string_view::npos ? full : name;
}

std::string FileNameOf(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string UnitOfFile(std::string_view path) {
    std::string name = FileNameOf(path);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}
