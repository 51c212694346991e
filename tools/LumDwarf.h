#pragma once
// Reading what stack traces need from the DWARF (versions 2 to 5) of a linked image: every
// function with code, its qualified name and its address ranges, the call sites of inlined
// code, and the line tables.
//
// Values given by index into .debug_str_offsets or .debug_addr (the strx and addrx forms of
// split DWARF, which this build does not produce) are not resolved: a name or address given
// that way is treated as absent, and so is a reference to an entry that is no function or
// scope. Malformed data (a field past the end of its section, an unknown form or
// abbreviation, a line table that cannot be decoded) raises std::runtime_error naming what is
// wrong and where.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct TDwarfSections {
    std::span<const std::uint8_t> Info;
    std::span<const std::uint8_t> Abbrev;
    std::span<const std::uint8_t> Line;
    std::span<const std::uint8_t> Str;
    std::span<const std::uint8_t> LineStr;
    std::span<const std::uint8_t> Ranges;
    std::span<const std::uint8_t> RngLists;
};

/// Code from Start up to, not including, End.
struct TDwarfRange {
    std::uint64_t Start = 0;
    std::uint64_t End = 0;
    bool operator==(const TDwarfRange&) const = default;
};

struct TDwarfFunction {
    /// Qualified by its namespaces and classes, e.g. "TOstrinForm::Timer1Timer"; anonymous
    /// namespaces and unnamed classes add nothing.
    std::string Name;
    /// The address where the function is entered.
    std::uint64_t Entry = 0;
    /// The function's code; more than one range where the compiler split it.
    std::vector<TDwarfRange> Ranges;
    /// The compilation unit's name (its main source file as the compiler was given it).
    std::string CompileUnit;
    /// Where the function is written (DW_AT_decl_file and DW_AT_decl_line, from the function
    /// or the entries it refers to): an index into TDwarfData::Files, and the line.
    std::optional<std::uint32_t> DeclFile;
    std::uint32_t DeclLine = 0;
};

/// Code of a function inlined into another: where it was called from.
struct TDwarfInline {
    std::vector<TDwarfRange> Ranges;
    /// Index into TDwarfData::Files.
    std::uint32_t CallFile = 0;
    std::uint32_t CallLine = 0;
    /// How many inlined calls enclose this one (0: inlined straight into a function).
    std::uint32_t Depth = 0;
};

struct TDwarfLineRow {
    std::uint64_t Address = 0;
    /// 0 where the code has no source line.
    std::uint32_t Line = 0;
    /// Index into TDwarfData::Files.
    std::uint32_t File = 0;
    /// The row that ends its sequence: the first address after the sequence's code.
    bool EndSequence = false;
};

struct TDwarfData {
    std::vector<TDwarfFunction> Functions;
    /// The inlined calls with code and a known call site.
    std::vector<TDwarfInline> Inlines;
    /// Each sequence of the line tables, its rows in program order, ending with the row that
    /// ends it. Sequences without their end are left out.
    std::vector<std::vector<TDwarfLineRow>> Sequences;
    /// File paths as the line tables give them (folder and name joined with "/").
    std::vector<std::string> Files;
};

TDwarfData ReadDwarf(const TDwarfSections& sections);
