// The DWARF reader on sections written byte by byte here: a version 5 unit (a definition outside
// its class, an anonymous namespace, range lists, an abstract origin, forms to skip) with its
// line table, and a version 4 unit with .debug_ranges and an old-style line table.

#include "tools/LumDwarf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <stdexcept>

namespace {

class Bytes {
  public:
    Bytes& U8(std::uint8_t v) {
        data_.push_back(v);
        return *this;
    }
    Bytes& U16(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bytes& Uleb(std::uint64_t v) {
        do {
            std::uint8_t b = v & 0x7F;
            v >>= 7;
            U8(v ? b | 0x80 : b);
        } while (v);
        return *this;
    }
    Bytes& Sleb(std::int64_t v) {
        while (true) {
            std::uint8_t b = v & 0x7F;
            v >>= 7;
            bool done = (v == 0 && !(b & 0x40)) || (v == -1 && (b & 0x40));
            U8(done ? b : b | 0x80);
            if (done) {
                return *this;
            }
        }
    }
    Bytes& Str(const char* text) {
        for (; *text; ++text) {
            U8(static_cast<std::uint8_t>(*text));
        }
        return U8(0);
    }
    // Attribute and form pairs of an abbreviation, ending with 0, 0.
    Bytes& Abbrev(std::uint64_t code, std::uint64_t tag, bool children,
                  std::initializer_list<std::pair<std::uint64_t, std::uint64_t>> attributes) {
        Uleb(code).Uleb(tag).U8(children ? 1 : 0);
        for (auto [name, form] : attributes) {
            Uleb(name).Uleb(form);
            if (form == 0x21) { // implicit_const: its value follows in the abbreviation
                Sleb(3);
            }
        }
        return Uleb(0).Uleb(0);
    }
    // Patches the 4-byte length at `at` to cover everything after it.
    Bytes& EndLength(size_t at) {
        std::uint32_t length = static_cast<std::uint32_t>(data_.size() - at - 4);
        for (int i = 0; i < 4; ++i) {
            data_[at + i] = static_cast<std::uint8_t>(length >> (8 * i));
        }
        return *this;
    }
    void Set32(size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            data_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    size_t Size() const { return data_.size(); }
    std::vector<std::uint8_t>& Data() { return data_; }

  private:
    std::vector<std::uint8_t> data_;
};

// Tags, attributes and forms used below.
enum : std::uint64_t {
    TAG_compile_unit = 0x11,
    TAG_namespace = 0x39,
    TAG_class = 0x02,
    TAG_subprogram = 0x2e,
    TAG_lexical_block = 0x0b,
    TAG_variable = 0x34,
    AT_name = 0x03,
    AT_low_pc = 0x11,
    AT_high_pc = 0x12,
    AT_stmt_list = 0x10,
    AT_declaration = 0x3c,
    AT_specification = 0x47,
    AT_ranges = 0x55,
    AT_inline = 0x20,
    AT_abstract_origin = 0x31,
    AT_location = 0x02,
    AT_const_value = 0x1c,
    AT_type = 0x49,
    AT_decl_file = 0x3a,
    AT_decl_line = 0x3b,
    FORM_addr = 0x01,
    FORM_data4 = 0x06,
    FORM_string = 0x08,
    FORM_block1 = 0x0a,
    FORM_data1 = 0x0b,
    FORM_strp = 0x0e,
    FORM_udata = 0x0f,
    FORM_ref4 = 0x13,
    FORM_sec_offset = 0x17,
    FORM_exprloc = 0x18,
    FORM_flag_present = 0x19,
    FORM_data16 = 0x1e,
    FORM_line_strp = 0x1f,
    FORM_implicit_const = 0x21,
};

struct Sections {
    Bytes Info, Abbrev, Line, Str, LineStr, Ranges, RngLists;

    TDwarfSections Spans() {
        return {Info.Data(),    Abbrev.Data(), Line.Data(),    Str.Data(),
                LineStr.Data(), Ranges.Data(), RngLists.Data()};
    }
};

Sections Sample() {
    Sections s;
    s.Str.U8(0).Str("Widget");                      // "Widget" at 1
    s.LineStr.Str("Helper").Str("/src").Str("inc"); // 0, 7, 12

    // ---- Version 5 ----
    s.Abbrev
        .Abbrev(1, TAG_compile_unit, true,
                {{AT_name, FORM_string}, {AT_low_pc, FORM_addr}, {AT_stmt_list, FORM_sec_offset}})
        .Abbrev(2, TAG_namespace, true, {{AT_name, FORM_string}})
        .Abbrev(3, TAG_class, true, {{AT_name, FORM_strp}})
        .Abbrev(4, TAG_subprogram, false,
                {{AT_name, FORM_string}, {AT_declaration, FORM_flag_present}})
        .Abbrev(5, TAG_subprogram, false,
                {{AT_specification, FORM_ref4},
                 {AT_decl_file, FORM_data1},
                 {AT_decl_line, FORM_data1},
                 {AT_low_pc, FORM_addr},
                 {AT_high_pc, FORM_data4}})
        .Abbrev(6, TAG_namespace, true, {})
        .Abbrev(7, TAG_subprogram, true, {{AT_name, FORM_line_strp}, {AT_ranges, FORM_sec_offset}})
        .Abbrev(8, TAG_lexical_block, true, {})
        .Abbrev(9, TAG_subprogram, false,
                {{AT_name, FORM_string},
                 {AT_decl_file, FORM_data1},
                 {AT_decl_line, FORM_udata},
                 {AT_inline, FORM_implicit_const}})
        .Abbrev(10, TAG_subprogram, false,
                {{AT_abstract_origin, FORM_ref4}, {AT_low_pc, FORM_addr}, {AT_high_pc, FORM_udata}})
        .Abbrev(
            11, TAG_variable, false,
            {{AT_location, FORM_exprloc}, {AT_const_value, FORM_block1}, {AT_type, FORM_data16}})
        .Abbrev(12, TAG_subprogram, false,
                {{AT_name, FORM_string}, {AT_low_pc, FORM_addr}, {AT_high_pc, FORM_addr}})
        .Uleb(0);
    size_t abbrev4 = s.Abbrev.Size();
    s.Abbrev
        .Abbrev(1, TAG_compile_unit, true,
                {{AT_name, FORM_string}, {AT_stmt_list, FORM_sec_offset}, {AT_low_pc, FORM_addr}})
        .Abbrev(2, TAG_subprogram, false, {{AT_name, FORM_string}, {AT_ranges, FORM_sec_offset}})
        .Abbrev(3, TAG_subprogram, false,
                {{AT_name, FORM_string},
                 {AT_decl_file, FORM_data1},
                 {AT_decl_line, FORM_data1},
                 {AT_low_pc, FORM_addr},
                 {AT_high_pc, FORM_data4}})
        .Uleb(0);

    // Range list of "Helper" at offset 12, after the table's header.
    s.RngLists.U32(0).U16(5).U8(4).U8(0).U32(0);
    s.RngLists.U8(0x04)
        .Uleb(0x40)
        .Uleb(0x60) // offset pair from the unit's base
        .U8(0x05)
        .U32(0x402000) // base address
        .U8(0x04)
        .Uleb(0x10)
        .Uleb(0x18)
        .U8(0x07)
        .U32(0x403000)
        .Uleb(8) // start and length
        .U8(0x00);
    s.RngLists.EndLength(0);

    Bytes& i = s.Info;
    i.U32(0).U16(5).U8(1).U8(4).U32(0);
    i.Uleb(1).Str("fixture.cpp").U32(0x401000).U32(0);
    i.Uleb(2).Str("ns");
    i.Uleb(3).U32(1);
    size_t paint = i.Size();
    i.Uleb(4).Str("Paint");
    i.Uleb(0).Uleb(0); // end of class, of namespace
    i.Uleb(5).U32(static_cast<std::uint32_t>(paint)).U8(1).U8(42).U32(0x401000).U32(0x20);
    i.Uleb(6);
    i.Uleb(7).U32(0).U32(12);
    i.Uleb(8);
    i.Uleb(11).Uleb(2).U8(0x91).U8(0x08).U8(3).U8(1).U8(2).U8(3);
    for (int k = 0; k < 16; ++k) {
        i.U8(0xEE);
    }
    i.Uleb(0).Uleb(0).Uleb(0); // end of block, of Helper, of the anonymous namespace
    size_t inlined = i.Size();
    i.Uleb(9).Str("Inlined").U8(0).Uleb(300);
    i.Uleb(10).U32(static_cast<std::uint32_t>(inlined)).U32(0x401100).Uleb(0x10);
    i.Uleb(4).Str("NoCode");
    i.Uleb(12).Str("Absolute").U32(0x401200).U32(0x401230);
    i.Uleb(0);
    i.EndLength(0);

    // ---- Version 4 ----
    size_t unit4 = i.Size();
    size_t line4 = 0; // patched below
    i.U32(0).U16(4).U32(static_cast<std::uint32_t>(abbrev4)).U8(4);
    i.Uleb(1).Str("old.c");
    size_t stmtList4 = i.Size();
    i.U32(0).U32(0x406000);
    i.Uleb(2).Str("OldRanges").U32(0);
    i.Uleb(3).Str("OldPlain").U8(2).U8(5).U32(0x406100).U32(0x30);
    i.Uleb(0);
    i.EndLength(unit4);

    s.Ranges.U32(0x10).U32(0x20).U32(0xFFFFFFFF).U32(0x407000).U32(0).U32(8).U32(0).U32(0);

    // ---- Line table, version 5 ----
    Bytes& l = s.Line;
    l.U32(0).U16(5).U8(4).U8(0);
    size_t headerLength = l.Size();
    l.U32(0).U8(1).U8(1).U8(1).U8(static_cast<std::uint8_t>(-5)).U8(14).U8(13);
    for (std::uint8_t n : {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1}) {
        l.U8(n);
    }
    l.U8(1).Uleb(1).Uleb(FORM_line_strp).Uleb(2).U32(7).U32(12);
    l.U8(2).Uleb(1).Uleb(FORM_string).Uleb(2).Uleb(FORM_udata);
    l.Uleb(2).Str("fixture.cpp").Uleb(0).Str("widget.h").Uleb(1);
    l.Set32(headerLength, static_cast<std::uint32_t>(l.Size() - headerLength - 4));
    l.U8(0).Uleb(5).U8(2).U32(0x401000);       // set_address
    l.U8(4).Uleb(0);                           // set_file 0
    l.U8(3).Sleb(9);                           // advance_line to 10
    l.U8(1);                                   // copy
    l.U8(75);                                  // special: address + 4, line + 1
    l.U8(4).Uleb(1);                           // set_file 1
    l.U8(130);                                 // special: address + 8
    l.U8(8);                                   // const_add_pc: + 17
    l.U8(9).U16(3);                            // fixed_advance_pc
    l.U8(0).Uleb(2).U8(4).Uleb(1);             // set_discriminator
    l.U8(5).Uleb(7);                           // set_column
    l.U8(1);                                   // copy
    l.U8(2).Uleb(0x10);                        // advance_pc
    l.U8(0).Uleb(1).U8(1);                     // end_sequence
    l.U8(0).Uleb(5).U8(2).U32(0x405000).U8(1); // a sequence without its end
    l.EndLength(0);

    // ---- Line table, version 4 ----
    line4 = l.Size();
    l.U32(0).U16(4);
    headerLength = l.Size();
    l.U32(0).U8(1).U8(1).U8(1).U8(static_cast<std::uint8_t>(-5)).U8(14).U8(10);
    for (std::uint8_t n : {0, 1, 1, 1, 1, 0, 0, 0, 1}) {
        l.U8(n);
    }
    l.Str("inc").U8(0);
    l.Str("old.c").Uleb(0).Uleb(0).Uleb(0).Str("defs.h").Uleb(1).Uleb(0).Uleb(0).U8(0);
    l.Set32(headerLength, static_cast<std::uint32_t>(l.Size() - headerLength - 4));
    l.U8(0).Uleb(5).U8(2).U32(0x406000).U8(1);                // set_address, copy
    l.U8(45);                                                 // special: address + 2, line + 2
    l.U8(0).Uleb(8).U8(3).Str("x.h").Uleb(0).Uleb(0).Uleb(0); // define_file: file 3
    l.U8(4).Uleb(3).U8(1);                                    // set_file 3, copy
    l.U8(4).Uleb(2).U8(1);                                    // set_file 2, copy
    l.U8(2).Uleb(4).U8(0).Uleb(1).U8(1);                      // advance_pc, end_sequence
    l.EndLength(line4);
    i.Set32(stmtList4, static_cast<std::uint32_t>(line4));
    return s;
}

const TDwarfFunction* Named(const TDwarfData& data, const std::string& name) {
    for (const auto& f : data.Functions) {
        if (f.Name == name) {
            return &f;
        }
    }
    return nullptr;
}

std::string Rows(const TDwarfData& data, const std::vector<TDwarfLineRow>& sequence) {
    std::string text;
    for (const auto& row : sequence) {
        char line[96];
        std::snprintf(line, sizeof line, "%llx:%u:%s%s;",
                      static_cast<unsigned long long>(row.Address), row.Line,
                      data.Files[row.File].c_str(), row.EndSequence ? ":end" : "");
        text += line;
    }
    return text;
}

} // namespace

TEST(Dwarf, FunctionsGetQualifiedNamesAndTheirRanges) {
    Sections s = Sample();
    TDwarfData data = ReadDwarf(s.Spans());
    struct Case {
        const char* Name;
        std::uint64_t Entry;
        std::vector<TDwarfRange> Ranges;
        const char* Unit;
        const char* DeclFile; // "" for none
        std::uint32_t DeclLine;
    };
    const Case cases[] = {
        {"ns::Widget::Paint", 0x401000, {{0x401000, 0x401020}}, "fixture.cpp", "inc/widget.h", 42},
        {"Helper",
         0x401040,
         {{0x401040, 0x401060}, {0x402010, 0x402018}, {0x403000, 0x403008}},
         "fixture.cpp",
         "",
         0},
        // Where it is written comes from the abstract entry it refers to.
        {"Inlined", 0x401100, {{0x401100, 0x401110}}, "fixture.cpp", "/src/fixture.cpp", 300},
        {"Absolute", 0x401200, {{0x401200, 0x401230}}, "fixture.cpp", "", 0},
        {"OldRanges", 0x406010, {{0x406010, 0x406020}, {0x407000, 0x407008}}, "old.c", "", 0},
        // Before version 5 the files are numbered from 1.
        {"OldPlain", 0x406100, {{0x406100, 0x406130}}, "old.c", "inc/defs.h", 5},
    };
    EXPECT_EQ(data.Functions.size(), std::size(cases)); // no declarations, no abstract entries
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const TDwarfFunction* f = Named(data, c.Name);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->Entry, c.Entry);
        EXPECT_EQ(f->Ranges, c.Ranges);
        EXPECT_EQ(f->CompileUnit, c.Unit);
        EXPECT_EQ(f->DeclFile ? data.Files[*f->DeclFile] : std::string(), c.DeclFile);
        EXPECT_EQ(f->DeclLine, c.DeclLine);
    }
}

TEST(Dwarf, LineTablesOfBothVersions) {
    Sections s = Sample();
    TDwarfData data = ReadDwarf(s.Spans());
    ASSERT_EQ(data.Sequences.size(), 2u); // the one without its end is left out
    EXPECT_EQ(Rows(data, data.Sequences[0]),
              "401000:10:/src/fixture.cpp;401004:11:/src/fixture.cpp;40100c:11:inc/widget.h;"
              "401020:11:inc/widget.h;401030:11:inc/widget.h:end;");
    EXPECT_EQ(Rows(data, data.Sequences[1]),
              "406000:1:old.c;406002:3:old.c;406002:3:x.h;406002:3:inc/defs.h;"
              "406006:3:inc/defs.h:end;");
}

TEST(Dwarf, MalformedSectionsRaise) {
    struct Case {
        const char* What;
        std::function<void(Sections&)> Damage;
        const char* Message;
    };
    const Case cases[] = {
        {"unknown form", [](Sections& s) { s.Abbrev.Data()[4] = 0x7F; },
         "DWARF: unknown attribute form 127 at 0xd"},
        {"unknown abbreviation", [](Sections& s) { s.Info.Data()[12] = 0x3F; },
         "DWARF: unknown abbreviation 63 at 0xc"},
        {"unit past the end", [](Sections& s) { s.Info.Set32(0, 0x10000); },
         "DWARF: unit past the end of .debug_info at 0x0"},
        {"unknown version", [](Sections& s) { s.Info.Data()[4] = 7; },
         "DWARF: unknown DWARF version 7 at 0x0"},
        {"line range 0", [](Sections& s) { s.Line.Data()[16] = 0; },
         "DWARF: line table with line range or opcode base 0 at 0x0"},
        {"string without its end", [](Sections& s) { s.Str.Data().back() = 'x'; },
         "DWARF: unterminated string in .debug_str at 0x1"},
        {"range list past its section", [](Sections& s) { s.RngLists.Data().resize(14); },
         "DWARF: field past the end of .debug_rnglists at 0xe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Sections s = Sample();
        c.Damage(s);
        try {
            ReadDwarf(s.Spans());
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), c.Message);
        }
    }
}

TEST(Dwarf, EveryCutOfTheInfoSectionRaisesOrReadsWhole) {
    Sections whole = Sample();
    for (size_t cut = 0; cut < whole.Info.Size(); ++cut) {
        Sections s = Sample();
        s.Info.Data().resize(cut);
        try {
            TDwarfData data = ReadDwarf(s.Spans());
            // Only a cut between the two units leaves something readable: the first unit.
            EXPECT_TRUE(cut == 0 || Named(data, "ns::Widget::Paint")) << cut;
        } catch (const std::runtime_error&) {
        }
    }
}
