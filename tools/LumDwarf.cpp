#include "tools/LumDwarf.h"

#include "toolkit/base/LumByteIO.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

namespace {

// Tags, attributes and forms that the reader looks at.
enum : std::uint32_t {
    DW_TAG_class_type = 0x02,
    DW_TAG_structure_type = 0x13,
    DW_TAG_inlined_subroutine = 0x1d,
    DW_TAG_union_type = 0x17,
    DW_TAG_subprogram = 0x2e,
    DW_TAG_namespace = 0x39,

    DW_AT_stmt_list = 0x10,
    DW_AT_low_pc = 0x11,
    DW_AT_high_pc = 0x12,
    DW_AT_name = 0x03,
    DW_AT_abstract_origin = 0x31,
    DW_AT_decl_file = 0x3a,
    DW_AT_decl_line = 0x3b,
    DW_AT_declaration = 0x3c,
    DW_AT_specification = 0x47,
    DW_AT_entry_pc = 0x52,
    DW_AT_ranges = 0x55,
    DW_AT_call_file = 0x58,
    DW_AT_call_line = 0x59,
    DW_AT_rnglists_base = 0x74,

    DW_FORM_addr = 0x01,
    DW_FORM_block2 = 0x03,
    DW_FORM_block4 = 0x04,
    DW_FORM_data2 = 0x05,
    DW_FORM_data4 = 0x06,
    DW_FORM_data8 = 0x07,
    DW_FORM_string = 0x08,
    DW_FORM_block = 0x09,
    DW_FORM_block1 = 0x0a,
    DW_FORM_data1 = 0x0b,
    DW_FORM_flag = 0x0c,
    DW_FORM_sdata = 0x0d,
    DW_FORM_strp = 0x0e,
    DW_FORM_udata = 0x0f,
    DW_FORM_ref_addr = 0x10,
    DW_FORM_ref1 = 0x11,
    DW_FORM_ref2 = 0x12,
    DW_FORM_ref4 = 0x13,
    DW_FORM_ref8 = 0x14,
    DW_FORM_ref_udata = 0x15,
    DW_FORM_indirect = 0x16,
    DW_FORM_sec_offset = 0x17,
    DW_FORM_exprloc = 0x18,
    DW_FORM_flag_present = 0x19,
    DW_FORM_strx = 0x1a,
    DW_FORM_addrx = 0x1b,
    DW_FORM_ref_sup4 = 0x1c,
    DW_FORM_strp_sup = 0x1d,
    DW_FORM_data16 = 0x1e,
    DW_FORM_line_strp = 0x1f,
    DW_FORM_ref_sig8 = 0x20,
    DW_FORM_implicit_const = 0x21,
    DW_FORM_loclistx = 0x22,
    DW_FORM_rnglistx = 0x23,
    DW_FORM_ref_sup8 = 0x24,
    DW_FORM_strx1 = 0x25,
    DW_FORM_strx2 = 0x26,
    DW_FORM_strx3 = 0x27,
    DW_FORM_strx4 = 0x28,
    DW_FORM_addrx1 = 0x29,
    DW_FORM_addrx2 = 0x2a,
    DW_FORM_addrx3 = 0x2b,
    DW_FORM_addrx4 = 0x2c,
    DW_FORM_GNU_addr_index = 0x1f01,
    DW_FORM_GNU_str_index = 0x1f02,
    DW_FORM_GNU_ref_alt = 0x1f20,
    DW_FORM_GNU_strp_alt = 0x1f21,

    DW_UT_compile = 0x01,
    DW_UT_partial = 0x03,

    DW_LNCT_path = 0x1,
    DW_LNCT_directory_index = 0x2,
};

[[noreturn]] void Fail(const std::string& what, std::uint64_t offset) {
    char hex[24];
    std::snprintf(hex, sizeof hex, "0x%llx", static_cast<unsigned long long>(offset));
    throw std::runtime_error("DWARF: " + what + " at " + hex);
}

// Little-endian reads inside one section, through the checked byte reader; a read past the
// end raises naming the section and the offset.
class Cursor {
  public:
    Cursor(std::span<const std::uint8_t> bytes, const char* section, size_t at = 0)
        : in_(bytes), section_(section) {
        Seek(at);
    }

    size_t Offset() const { return in_.Position(); }
    void Seek(size_t at) {
        Checked("offset beyond ", [&] { in_.Seek(at); });
    }
    bool AtEnd() const { return in_.AtEnd(); }
    std::span<const std::uint8_t> Bytes() const { return in_.Data(); }

    void Skip(std::uint64_t size) {
        Checked("data past the end of ", [&] { in_.Skip(size); });
    }
    std::uint64_t Fixed(size_t size) {
        return Checked("field past the end of ", [&] { return in_.Unsigned(size); });
    }
    std::uint8_t U8() { return static_cast<std::uint8_t>(Fixed(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Fixed(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Fixed(4)); }
    // Compilers may pad LEB128 numbers; bits beyond 64 are dropped.
    std::uint64_t Uleb() {
        return Checked("field past the end of ", [&] { return in_.Uleb(TLebLength::Wrapping); });
    }
    std::int64_t Sleb() {
        return Checked("field past the end of ", [&] { return in_.Sleb(TLebLength::Wrapping); });
    }
    std::string_view CString() {
        return Checked("unterminated string in ", [&] { return in_.CString(); });
    }

  private:
    template <class Read> auto Checked(const char* what, Read read) -> decltype(read()) {
        try {
            return read();
        } catch (const EByteReadError& error) {
            Fail(what + std::string(section_), error.Offset());
        }
    }

    TByteReader in_;
    const char* section_;
};

// The zero-terminated string at an offset of a string section.
std::string_view StringAt(std::span<const std::uint8_t> section, const char* name,
                          std::uint64_t offset) {
    Cursor cursor(section, name);
    cursor.Seek(offset);
    return cursor.CString();
}

// What a unit header says about how its values are encoded.
struct Encoding {
    int Version = 0;
    int AddressSize = 4;
    int OffsetSize = 4;
};

// One attribute value, as much of it as the reader uses.
struct Value {
    enum Kind {
        None,
        Constant,
        Signed,
        Address,
        String,
        UnitRef,
        SectionRef,
        SectionOffset,
        RangeListIndex,
        Flag
    };
    Kind Type = None;
    std::uint64_t Number = 0;
    std::string_view Text;
};

class FormReader {
  public:
    FormReader(const TDwarfSections& sections, Encoding encoding)
        : sections_(sections), encoding_(encoding) {}

    Value Read(Cursor& in, std::uint64_t form, std::int64_t implicitConst) {
        Value v;
        switch (form) {
        case DW_FORM_addr:
            return {Value::Address, in.Fixed(encoding_.AddressSize), {}};
        case DW_FORM_data1:
            return {Value::Constant, in.U8(), {}};
        case DW_FORM_data2:
            return {Value::Constant, in.U16(), {}};
        case DW_FORM_data4:
            return {Value::Constant, in.U32(), {}};
        case DW_FORM_data8:
            return {Value::Constant, in.Fixed(8), {}};
        case DW_FORM_udata:
            return {Value::Constant, in.Uleb(), {}};
        case DW_FORM_sdata:
            return {Value::Signed, static_cast<std::uint64_t>(in.Sleb()), {}};
        case DW_FORM_implicit_const:
            return {Value::Signed, static_cast<std::uint64_t>(implicitConst), {}};
        case DW_FORM_flag:
            return {Value::Flag, in.U8(), {}};
        case DW_FORM_flag_present:
            return {Value::Flag, 1, {}};
        case DW_FORM_string:
            return {Value::String, 0, in.CString()};
        case DW_FORM_strp:
            return {Value::String, 0,
                    StringAt(sections_.Str, ".debug_str", in.Fixed(encoding_.OffsetSize))};
        case DW_FORM_line_strp:
            return {Value::String, 0,
                    StringAt(sections_.LineStr, ".debug_line_str", in.Fixed(encoding_.OffsetSize))};
        case DW_FORM_ref1:
            return {Value::UnitRef, in.U8(), {}};
        case DW_FORM_ref2:
            return {Value::UnitRef, in.U16(), {}};
        case DW_FORM_ref4:
            return {Value::UnitRef, in.U32(), {}};
        case DW_FORM_ref8:
            return {Value::UnitRef, in.Fixed(8), {}};
        case DW_FORM_ref_udata:
            return {Value::UnitRef, in.Uleb(), {}};
        case DW_FORM_ref_addr:
            // Version 2 gave it the size of an address, later versions that of an offset.
            return {Value::SectionRef,
                    in.Fixed(encoding_.Version <= 2 ? encoding_.AddressSize : encoding_.OffsetSize),
                    {}};
        case DW_FORM_sec_offset:
            return {Value::SectionOffset, in.Fixed(encoding_.OffsetSize), {}};
        case DW_FORM_rnglistx:
            return {Value::RangeListIndex, in.Uleb(), {}};
        case DW_FORM_indirect:
            return Read(in, in.Uleb(), implicitConst);
        case DW_FORM_block1:
            in.Skip(in.U8());
            return v;
        case DW_FORM_block2:
            in.Skip(in.U16());
            return v;
        case DW_FORM_block4:
            in.Skip(in.U32());
            return v;
        case DW_FORM_block:
        case DW_FORM_exprloc:
            in.Skip(in.Uleb());
            return v;
        case DW_FORM_data16:
            in.Skip(16);
            return v;
        case DW_FORM_ref_sig8:
        case DW_FORM_ref_sup8:
            in.Skip(8);
            return v;
        case DW_FORM_ref_sup4:
            in.Skip(4);
            return v;
        case DW_FORM_strp_sup:
        case DW_FORM_GNU_ref_alt:
        case DW_FORM_GNU_strp_alt:
            in.Skip(encoding_.OffsetSize);
            return v;
        case DW_FORM_strx:
        case DW_FORM_addrx:
        case DW_FORM_loclistx:
        case DW_FORM_GNU_addr_index:
        case DW_FORM_GNU_str_index:
            in.Uleb();
            return v;
        case DW_FORM_strx1:
        case DW_FORM_addrx1:
            in.Skip(1);
            return v;
        case DW_FORM_strx2:
        case DW_FORM_addrx2:
            in.Skip(2);
            return v;
        case DW_FORM_strx3:
        case DW_FORM_addrx3:
            in.Skip(3);
            return v;
        case DW_FORM_strx4:
        case DW_FORM_addrx4:
            in.Skip(4);
            return v;
        default:
            Fail("unknown attribute form " + std::to_string(form), in.Offset());
        }
    }

  private:
    const TDwarfSections& sections_;
    Encoding encoding_;
};

struct AttributeForm {
    std::uint64_t Name;
    std::uint64_t Form;
    std::int64_t ImplicitConst;
};

struct Abbreviation {
    std::uint64_t Tag = 0;
    bool HasChildren = false;
    std::vector<AttributeForm> Attributes;
};

using AbbreviationTable = std::unordered_map<std::uint64_t, Abbreviation>;

AbbreviationTable ReadAbbreviations(std::span<const std::uint8_t> section, std::uint64_t offset) {
    AbbreviationTable table;
    Cursor in(section, ".debug_abbrev");
    in.Seek(offset);
    while (std::uint64_t code = in.Uleb()) {
        Abbreviation& abbreviation = table[code];
        abbreviation.Tag = in.Uleb();
        abbreviation.HasChildren = in.U8() != 0;
        while (true) {
            std::uint64_t name = in.Uleb();
            std::uint64_t form = in.Uleb();
            if (name == 0 && form == 0) {
                break;
            }
            std::int64_t implicitConst = form == DW_FORM_implicit_const ? in.Sleb() : 0;
            abbreviation.Attributes.push_back({name, form, implicitConst});
        }
    }
    return table;
}

struct Unit {
    Encoding Enc;
    std::string Name;
    std::uint64_t Base = 0; // the unit's low_pc, against which range offsets count
    std::optional<std::uint64_t> RangeListsBase;
    std::optional<std::uint64_t> LineTable;
};

// The entries that carry names and code: functions and the scopes that qualify them.
struct Entry {
    std::uint64_t Tag = 0;
    std::int64_t Parent = -1;
    std::uint32_t Unit = 0;
    std::string_view Name;
    std::uint64_t DeclarationOf = 0; // section offsets of other entries; 0 for none
    std::uint64_t AbstractOrigin = 0;
    std::optional<std::uint64_t> LowPc;
    std::optional<Value> HighPc;
    std::optional<Value> Ranges;
    std::optional<Value> EntryPc;
    std::optional<std::uint64_t> DeclFile; // the unit's line table numbers its files
    std::uint32_t DeclLine = 0;
    std::optional<std::uint64_t> CallFile; // as DeclFile
    std::uint32_t CallLine = 0;
    std::uint32_t InlineDepth = 0;
    bool Declaration = false;
};

bool Kept(std::uint64_t tag) {
    return tag == DW_TAG_subprogram || tag == DW_TAG_namespace || tag == DW_TAG_class_type ||
           tag == DW_TAG_structure_type || tag == DW_TAG_union_type;
}

class Reader {
  public:
    explicit Reader(const TDwarfSections& sections) : sections_(sections) {}

    TDwarfData Read() {
        Cursor in(sections_.Info, ".debug_info");
        while (!in.AtEnd()) {
            ReadUnit(in);
        }
        TDwarfData data;
        for (auto& [offset, unit] : lineTables_) {
            lineFiles_[offset] = ReadLineTable(offset, units_[unit], data);
        }
        for (size_t i = 0; i < entries_.size(); ++i) {
            AddFunction(entries_[i], data);
        }
        for (const Entry& entry : inlines_) {
            AddInline(entry, data);
        }
        return data;
    }

  private:
    void ReadUnit(Cursor& in) {
        size_t start = in.Offset();
        Encoding enc;
        std::uint64_t length = in.U32();
        if (length == 0xffffffff) {
            enc.OffsetSize = 8;
            length = in.Fixed(8);
        } else if (length >= 0xfffffff0) {
            Fail("reserved unit length", start);
        }
        size_t bodyStart = in.Offset();
        if (length > in.Bytes().size() - bodyStart) {
            Fail("unit past the end of .debug_info", start);
        }
        size_t end = bodyStart + static_cast<size_t>(length);
        enc.Version = in.U16();
        std::uint64_t abbrevOffset;
        if (enc.Version >= 2 && enc.Version <= 4) {
            abbrevOffset = in.Fixed(enc.OffsetSize);
            enc.AddressSize = in.U8();
        } else if (enc.Version == 5) {
            std::uint8_t type = in.U8();
            enc.AddressSize = in.U8();
            abbrevOffset = in.Fixed(enc.OffsetSize);
            if (type != DW_UT_compile && type != DW_UT_partial) {
                in.Seek(end); // type units and split units hold no code of this image
                return;
            }
        } else {
            Fail("unknown DWARF version " + std::to_string(enc.Version), start);
        }
        if (enc.AddressSize != 4 && enc.AddressSize != 8) {
            Fail("address size " + std::to_string(enc.AddressSize), start);
        }
        auto table = abbreviations_.find(abbrevOffset);
        if (table == abbreviations_.end()) {
            table = abbreviations_
                        .emplace(abbrevOffset, ReadAbbreviations(sections_.Abbrev, abbrevOffset))
                        .first;
        }
        units_.push_back(Unit{enc, {}, 0, std::nullopt, std::nullopt});
        ReadEntries(Cursor(in.Bytes().first(end), ".debug_info", in.Offset()), start,
                    table->second);
        in.Seek(end);
    }

    void ReadEntries(Cursor in, size_t unitStart, const AbbreviationTable& table) {
        auto unitIndex = static_cast<std::uint32_t>(units_.size() - 1);
        Unit& unit = units_.back();
        FormReader forms(sections_, unit.Enc);
        // The kept entry each open level of children belongs to (-1: none), and whether the
        // level is an inlined call's.
        std::vector<std::int64_t> parents;
        std::vector<bool> inlineLevels;
        bool first = true;
        while (!in.AtEnd()) {
            size_t offset = in.Offset();
            std::uint64_t code = in.Uleb();
            if (code == 0) {
                if (!parents.empty()) {
                    parents.pop_back();
                    inlineLevels.pop_back();
                }
                continue;
            }
            auto found = table.find(code);
            if (found == table.end()) {
                Fail("unknown abbreviation " + std::to_string(code), offset);
            }
            const Abbreviation& abbreviation = found->second;
            Entry entry;
            entry.Tag = abbreviation.Tag;
            entry.Unit = unitIndex;
            std::int64_t scope = -1;
            for (auto it = parents.rbegin(); it != parents.rend(); ++it) {
                if (*it >= 0) {
                    scope = *it;
                    break;
                }
            }
            entry.Parent = scope;
            for (const AttributeForm& attribute : abbreviation.Attributes) {
                Value value = forms.Read(in, attribute.Form, attribute.ImplicitConst);
                if (value.Type == Value::UnitRef) {
                    value = {Value::SectionRef, unitStart + value.Number, {}};
                }
                if (first) {
                    TakeUnitAttribute(unit, unitIndex, attribute.Name, value);
                }
                Take(entry, attribute.Name, value, offset);
            }
            if (first) {
                unit.Name = std::string(entry.Name);
                unit.Base = entry.LowPc.value_or(0);
                first = false;
            }
            std::int64_t kept = -1;
            if (Kept(entry.Tag)) {
                kept = static_cast<std::int64_t>(entries_.size());
                byOffset_.emplace(offset, entries_.size());
                entries_.push_back(entry);
            } else if (entry.Tag == DW_TAG_inlined_subroutine && entry.CallFile) {
                entry.InlineDepth = static_cast<std::uint32_t>(
                    std::count(inlineLevels.begin(), inlineLevels.end(), true));
                inlines_.push_back(entry);
            }
            if (abbreviation.HasChildren) {
                parents.push_back(kept);
                inlineLevels.push_back(entry.Tag == DW_TAG_inlined_subroutine);
            }
        }
    }

    static void Take(Entry& entry, std::uint64_t attribute, const Value& value, size_t offset) {
        switch (attribute) {
        case DW_AT_name:
            if (value.Type == Value::String) {
                entry.Name = value.Text;
            }
            break;
        case DW_AT_low_pc:
            if (value.Type == Value::Address) {
                entry.LowPc = value.Number;
            }
            break;
        case DW_AT_high_pc:
            entry.HighPc = value;
            break;
        case DW_AT_entry_pc:
            entry.EntryPc = value;
            break;
        case DW_AT_ranges:
            entry.Ranges = value;
            break;
        case DW_AT_declaration:
            entry.Declaration = value.Number != 0;
            break;
        case DW_AT_decl_file:
            if (value.Type == Value::Constant || value.Type == Value::Signed) {
                entry.DeclFile = value.Number;
            }
            break;
        case DW_AT_decl_line:
            if (value.Type == Value::Constant || value.Type == Value::Signed) {
                entry.DeclLine = static_cast<std::uint32_t>(value.Number);
            }
            break;
        case DW_AT_call_file:
            if (value.Type == Value::Constant || value.Type == Value::Signed) {
                entry.CallFile = value.Number;
            }
            break;
        case DW_AT_call_line:
            if (value.Type == Value::Constant || value.Type == Value::Signed) {
                entry.CallLine = static_cast<std::uint32_t>(value.Number);
            }
            break;
        case DW_AT_specification:
        case DW_AT_abstract_origin:
            if (value.Type != Value::SectionRef) {
                break;
            }
            if (value.Number == 0) {
                Fail("reference to offset 0", offset);
            }
            (attribute == DW_AT_specification ? entry.DeclarationOf : entry.AbstractOrigin) =
                value.Number;
            break;
        }
    }

    // The unit entry's line table and range list base (before version 4 the line table's
    // offset is a plain constant).
    void TakeUnitAttribute(Unit& unit, std::uint32_t unitIndex, std::uint64_t attribute,
                           const Value& value) {
        bool offsetValue = value.Type == Value::SectionOffset ||
                           (unit.Enc.Version < 4 && value.Type == Value::Constant);
        if (attribute == DW_AT_stmt_list && offsetValue) {
            unit.LineTable = value.Number;
            lineTables_.emplace(value.Number, unitIndex);
        } else if (attribute == DW_AT_rnglists_base && offsetValue) {
            unit.RangeListsBase = value.Number;
        }
    }

    // ---- Functions ----

    const Entry* Lookup(std::uint64_t offset) const {
        auto found = byOffset_.find(offset);
        return found == byOffset_.end() ? nullptr : &entries_[found->second];
    }

    // The entry that declares this one: through abstract origins (inlined and out-of-line
    // copies) and declaration links (definitions outside their class), as far as they go.
    const Entry& Declaring(const Entry& entry, std::string_view& name) const {
        const Entry* current = &entry;
        name = entry.Name;
        for (int depth = 0; depth < 16; ++depth) {
            std::uint64_t next =
                current->AbstractOrigin ? current->AbstractOrigin : current->DeclarationOf;
            if (!next) {
                return *current;
            }
            const Entry* target = Lookup(next);
            if (!target) {
                return *current;
            }
            current = target;
            if (name.empty()) {
                name = current->Name;
            }
        }
        Fail("reference chain too long", 0);
    }

    std::string Scope(std::int64_t index, int depth = 0) const {
        if (index < 0) {
            return {};
        }
        if (depth > 64) {
            Fail("scopes nested too deep", 0);
        }
        std::string_view name;
        const Entry& declaring = Declaring(entries_[static_cast<size_t>(index)], name);
        std::string outer = Scope(declaring.Parent, depth + 1);
        if (name.empty()) {
            return outer; // anonymous namespace, unnamed class
        }
        return outer + std::string(name) + "::";
    }

    std::vector<TDwarfRange> RangesOf(const Entry& entry) const {
        std::vector<TDwarfRange> ranges;
        if (entry.LowPc && entry.HighPc) {
            std::uint64_t high = entry.HighPc->Number;
            if (entry.HighPc->Type != Value::Address) {
                high += *entry.LowPc; // version 4 on: the size of the code
            }
            if (high > *entry.LowPc) {
                ranges.push_back({*entry.LowPc, high});
            }
        } else if (entry.Ranges) {
            ranges = RangeList(units_[entry.Unit], *entry.Ranges);
        }
        return ranges;
    }

    void AddFunction(const Entry& entry, TDwarfData& data) const {
        if (entry.Tag != DW_TAG_subprogram || entry.Declaration) {
            return;
        }
        std::vector<TDwarfRange> ranges = RangesOf(entry);
        if (ranges.empty()) {
            return;
        }
        std::string_view name;
        const Entry& declaring = Declaring(entry, name);
        if (name.empty()) {
            return;
        }
        TDwarfFunction function;
        function.Name = Scope(declaring.Parent) + std::string(name);
        function.Entry = entry.LowPc.value_or(ranges.front().Start);
        if (entry.EntryPc && entry.EntryPc->Type == Value::Address) {
            function.Entry = entry.EntryPc->Number;
        }
        function.Ranges = std::move(ranges);
        function.CompileUnit = units_[entry.Unit].Name;
        // Where it is written: the first entries of the chain that say so (a definition
        // outside its class repeats only what differs from the declaration).
        for (const Entry* at = &entry; at;) {
            if (!function.DeclFile && at->DeclFile) {
                function.DeclFile = DeclaredFile(*at);
            }
            if (function.DeclLine == 0) {
                function.DeclLine = at->DeclLine;
            }
            std::uint64_t next = at->AbstractOrigin ? at->AbstractOrigin : at->DeclarationOf;
            at = next && at != &declaring ? Lookup(next) : nullptr;
        }
        data.Functions.push_back(std::move(function));
    }

    void AddInline(const Entry& entry, TDwarfData& data) const {
        std::optional<std::uint32_t> file = UnitFile(entry.Unit, *entry.CallFile);
        std::vector<TDwarfRange> ranges = RangesOf(entry);
        if (!file || entry.CallLine == 0 || ranges.empty()) {
            return;
        }
        data.Inlines.push_back({std::move(ranges), *file, entry.CallLine, entry.InlineDepth});
    }

    // An entry's file as an index into TDwarfData::Files, through its unit's line table.
    std::optional<std::uint32_t> DeclaredFile(const Entry& entry) const {
        return UnitFile(entry.Unit, *entry.DeclFile);
    }

    std::optional<std::uint32_t> UnitFile(std::uint32_t unitIndex, std::uint64_t number) const {
        const Unit& unit = units_[unitIndex];
        auto files = unit.LineTable ? lineFiles_.find(*unit.LineTable) : lineFiles_.end();
        if (files == lineFiles_.end() || number >= files->second.size()) {
            return std::nullopt;
        }
        return files->second[static_cast<size_t>(number)];
    }

    // DW_AT_ranges: .debug_ranges before version 5, .debug_rnglists from it on.
    std::vector<TDwarfRange> RangeList(const Unit& unit, const Value& value) const {
        const Encoding& enc = unit.Enc;
        std::vector<TDwarfRange> ranges;
        if (enc.Version < 5) {
            Cursor in(sections_.Ranges, ".debug_ranges");
            in.Seek(value.Number);
            std::uint64_t base = unit.Base;
            std::uint64_t selector = enc.AddressSize == 4 ? 0xffffffffu : ~std::uint64_t{0};
            while (true) {
                std::uint64_t begin = in.Fixed(enc.AddressSize);
                std::uint64_t end = in.Fixed(enc.AddressSize);
                if (begin == 0 && end == 0) {
                    return ranges;
                }
                if (begin == selector) {
                    base = end;
                } else if (end > begin) {
                    ranges.push_back({base + begin, base + end});
                }
            }
        }
        std::uint64_t offset = value.Number;
        if (value.Type == Value::RangeListIndex) {
            if (!unit.RangeListsBase) {
                Fail("range list index without DW_AT_rnglists_base", 0);
            }
            Cursor table(sections_.RngLists, ".debug_rnglists");
            table.Seek(*unit.RangeListsBase + value.Number * enc.OffsetSize);
            offset = *unit.RangeListsBase + table.Fixed(enc.OffsetSize);
        }
        Cursor in(sections_.RngLists, ".debug_rnglists");
        in.Seek(offset);
        std::uint64_t base = unit.Base;
        bool baseKnown = true;
        auto add = [&](std::uint64_t begin, std::uint64_t end, bool known) {
            if (known && end > begin) {
                ranges.push_back({begin, end});
            }
        };
        while (true) {
            switch (in.U8()) {
            case 0x00: // end_of_list
                return ranges;
            case 0x01: // base_addressx: an index into .debug_addr, which is not read
                in.Uleb();
                baseKnown = false;
                break;
            case 0x02: // startx_endx
                in.Uleb();
                in.Uleb();
                break;
            case 0x03: // startx_length
                in.Uleb();
                in.Uleb();
                break;
            case 0x04: { // offset_pair
                std::uint64_t begin = in.Uleb();
                std::uint64_t end = in.Uleb();
                add(base + begin, base + end, baseKnown);
                break;
            }
            case 0x05: // base_address
                base = in.Fixed(enc.AddressSize);
                baseKnown = true;
                break;
            case 0x06: { // start_end
                std::uint64_t begin = in.Fixed(enc.AddressSize);
                add(begin, in.Fixed(enc.AddressSize), true);
                break;
            }
            case 0x07: { // start_length
                std::uint64_t begin = in.Fixed(enc.AddressSize);
                add(begin, begin + in.Uleb(), true);
                break;
            }
            default:
                Fail("unknown range list entry", in.Offset() - 1);
            }
        }
    }

    // ---- Line tables ----

    std::uint32_t FileIndex(const std::string& path, TDwarfData& data) {
        auto [it, added] = files_.emplace(path, static_cast<std::uint32_t>(data.Files.size()));
        if (added) {
            data.Files.push_back(path);
        }
        return it->second;
    }

    static std::string Join(std::string_view folder, std::string_view name) {
        bool absolute = !name.empty() &&
                        (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'));
        if (absolute || folder.empty()) {
            return std::string(name);
        }
        return std::string(folder) + "/" + std::string(name);
    }

    // The entries of a version 5 directory or file table, each as (path, directory index).
    std::vector<std::pair<std::string_view, std::uint64_t>> EntryTable(Cursor& in,
                                                                       const Encoding& enc) {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> formats(in.U8());
        for (auto& [content, form] : formats) {
            content = in.Uleb();
            form = in.Uleb();
        }
        FormReader forms(sections_, enc);
        std::vector<std::pair<std::string_view, std::uint64_t>> entries(in.Uleb());
        for (auto& [path, folder] : entries) {
            for (auto [content, form] : formats) {
                Value value = forms.Read(in, form, 0);
                if (content == DW_LNCT_path && value.Type == Value::String) {
                    path = value.Text;
                } else if (content == DW_LNCT_directory_index) {
                    folder = value.Number;
                }
            }
        }
        return entries;
    }

    // Adds the table's sequences and returns its files (by the table's numbering) as indexes
    // into TDwarfData::Files.
    std::vector<std::uint32_t> ReadLineTable(std::uint64_t offset, const Unit& unit,
                                             TDwarfData& data) {
        Cursor in(sections_.Line, ".debug_line");
        in.Seek(offset);
        Encoding enc;
        std::uint64_t length = in.U32();
        if (length == 0xffffffff) {
            enc.OffsetSize = 8;
            length = in.Fixed(8);
        }
        if (length > in.Bytes().size() - in.Offset()) {
            Fail("line table past the end of .debug_line", offset);
        }
        size_t end = in.Offset() + static_cast<size_t>(length);
        enc.Version = in.U16();
        if (enc.Version < 2 || enc.Version > 5) {
            Fail("unknown line table version " + std::to_string(enc.Version), offset);
        }
        enc.AddressSize = unit.Enc.AddressSize;
        if (enc.Version == 5) {
            enc.AddressSize = in.U8();
            in.U8(); // segment selector size
        }
        std::uint64_t headerLength = in.Fixed(enc.OffsetSize);
        size_t program = in.Offset() + static_cast<size_t>(headerLength);
        if (headerLength > end - in.Offset()) {
            Fail("line table header past its table", offset);
        }
        std::uint8_t minLength = in.U8();
        if (enc.Version >= 4) {
            in.U8(); // maximum operations per instruction: 1 on this processor
        }
        bool defaultIsStmt = in.U8() != 0;
        (void)defaultIsStmt;
        auto lineBase = static_cast<std::int8_t>(in.U8());
        std::uint8_t lineRange = in.U8();
        std::uint8_t opcodeBase = in.U8();
        if (lineRange == 0 || opcodeBase == 0) {
            Fail("line table with line range or opcode base 0", offset);
        }
        std::vector<std::uint8_t> argumentCounts(opcodeBase - 1);
        for (auto& count : argumentCounts) {
            count = in.U8();
        }

        std::vector<std::uint32_t> files; // the table's file numbers to TDwarfData::Files
        if (enc.Version == 5) {
            auto folders = EntryTable(in, enc);
            for (auto [name, folder] : EntryTable(in, enc)) {
                std::string_view dir = folder < folders.size() ? folders[folder].first : "";
                files.push_back(FileIndex(Join(dir, name), data));
            }
        } else {
            std::vector<std::string_view> folders{""};
            for (std::string_view dir = in.CString(); !dir.empty(); dir = in.CString()) {
                folders.push_back(dir);
            }
            files.push_back(FileIndex("?", data)); // numbering starts at 1 before version 5
            for (std::string_view name = in.CString(); !name.empty(); name = in.CString()) {
                std::uint64_t folder = in.Uleb();
                in.Uleb(); // modification time
                in.Uleb(); // size
                files.push_back(
                    FileIndex(Join(folder < folders.size() ? folders[folder] : "", name), data));
            }
        }
        in.Seek(program);
        std::vector<std::uint32_t> headerFiles = files;

        Cursor body(in.Bytes().first(end), ".debug_line", program);
        std::uint64_t address = 0;
        std::uint64_t file = 1;
        std::int64_t line = 1;
        std::vector<TDwarfLineRow> sequence;
        auto emit = [&](bool endSequence) {
            TDwarfLineRow row;
            row.Address = address;
            row.Line = line > 0 && line <= 0xffffffff ? static_cast<std::uint32_t>(line) : 0;
            row.File = file < files.size() ? files[file] : FileIndex("?", data);
            row.EndSequence = endSequence;
            sequence.push_back(row);
        };
        auto reset = [&] {
            address = 0;
            file = 1;
            line = 1;
        };
        reset();
        while (!body.AtEnd()) {
            std::uint8_t opcode = body.U8();
            if (opcode >= opcodeBase) {
                std::uint8_t adjusted = opcode - opcodeBase;
                address += static_cast<std::uint64_t>(adjusted / lineRange) * minLength;
                line += lineBase + adjusted % lineRange;
                emit(false);
                continue;
            }
            switch (opcode) {
            case 0: { // extended
                std::uint64_t size = body.Uleb();
                size_t next = body.Offset();
                if (size == 0 || size > end - next) {
                    Fail("extended line opcode past its table", next);
                }
                next += static_cast<size_t>(size);
                switch (body.U8()) {
                case 1: // end_sequence
                    emit(true);
                    data.Sequences.push_back(std::move(sequence));
                    sequence.clear();
                    reset();
                    break;
                case 2: // set_address
                    address = body.Fixed(std::min<size_t>(size - 1, 8));
                    break;
                case 3: { // define_file (before version 5)
                    std::string_view name = body.CString();
                    files.push_back(FileIndex(std::string(name), data));
                    break;
                }
                default: // set_discriminator and vendor extensions carry nothing needed
                    break;
                }
                body.Seek(next);
                break;
            }
            case 1: // copy
                emit(false);
                break;
            case 2: // advance_pc
                address += body.Uleb() * minLength;
                break;
            case 3: // advance_line
                line += body.Sleb();
                break;
            case 4: // set_file
                file = body.Uleb();
                break;
            case 8: // const_add_pc
                address += static_cast<std::uint64_t>((255u - opcodeBase) / lineRange) * minLength;
                break;
            case 9: // fixed_advance_pc
                address += body.U16();
                break;
            default: // column, statement, block, prologue, epilogue, isa and unknown ones
                for (int i = 0; i < argumentCounts[opcode - 1]; ++i) {
                    body.Uleb();
                }
                break;
            }
        }
        return headerFiles;
    }

    const TDwarfSections& sections_;
    std::vector<Unit> units_;
    std::vector<Entry> entries_;
    std::vector<Entry> inlines_;
    std::unordered_map<std::uint64_t, size_t> byOffset_;
    std::map<std::uint64_t, AbbreviationTable> abbreviations_;
    std::map<std::uint64_t, std::uint32_t> lineTables_;             // offset -> unit
    std::map<std::uint64_t, std::vector<std::uint32_t>> lineFiles_; // offset -> its files
    std::unordered_map<std::string, std::uint32_t> files_;
};

} // namespace

TDwarfData ReadDwarf(const TDwarfSections& sections) {
    return Reader(sections).Read();
}
