#pragma once
// The packed debug information that the build adds to an executable as section LUM.DBG: for
// every procedure its unit, name and first line, and the line table, so that an address of
// the running image can be named without any other file. Portable: the build tool writes it,
// the program reads it from its mapped image.
//
// The section comes in two forms (little endian throughout):
//   version 2 (what the build writes): "LDBG", version 2, the size of the packed information
//             and the size of its deflated data, then the packed information as raw deflate
//             data (RFC 1951). The program inflates it on its first lookup, never at start-up,
//             and keeps it for the process's lifetime.
//   version 1: the packed information itself, as below; still read where a section has it.
//
// The packed information (addresses are relative to the image base):
//   header    "LDBG", version 1, offset and size of the string pool, then two tables
//             (procedures, lines), each as row count, block count, index offset, data offset
//             and data size
//   strings   zero-terminated names; rows refer to them by byte offset
//   index     per block: the block's first address and its offset into the table's data
//   data      blocks of up to 32 rows; a row is the address as ULEB128 (the difference to
//             the previous row of its block; the first row of a block is absolute), then
//             each field as SLEB128 difference to the same field of the previous row (to 0
//             for the first). Procedure fields: size, name, unit, first line. Line fields:
//             line (0 where no line applies from that address on), file.
// The reader checks every offset, size and number before it uses it, and answers nothing where
// the data contradicts itself (a block that does not start where its index says, addresses
// that do not ascend, a name outside the string pool, deflated data that does not inflate to
// exactly the size its header gives).

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// The section's name in the executable.
inline constexpr char kDebugSectionName[] = "LUM.DBG";

/// The layout's constants, for the writer and the reader.
namespace DebugLayout {
inline constexpr char kMagic[4] = {'L', 'D', 'B', 'G'};
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::uint32_t kDeflatedVersion = 2;
inline constexpr size_t kDeflatedHeaderSize = 16;
inline constexpr std::uint32_t kRowsPerBlock = 32;
inline constexpr size_t kTableHeaderSize = 20;
inline constexpr size_t kProceduresAt = 16;
inline constexpr size_t kLinesAt = kProceduresAt + kTableHeaderSize;
inline constexpr size_t kHeaderSize = kLinesAt + kTableHeaderSize;
inline constexpr size_t kIndexEntrySize = 8;

// Procedure fields and line fields, in row order.
enum { kProcSize, kProcName, kProcUnit, kProcFirstLine, kProcFields };
enum { kLineLine, kLineFile, kLineFields };
} // namespace DebugLayout

/// A procedure, or one piece of it where its code is split (a cold part).
struct TDebugProcedure {
    std::uint32_t Start = 0;
    std::uint32_t Size = 0;
    /// The source module, e.g. "OstrinFrm"; empty for code known only by its symbol.
    std::string Unit;
    /// Qualified and readable, e.g. "TOstrinForm::Timer1Timer".
    std::string Name;
    /// The line of the procedure's first address; 0 when unknown.
    std::uint32_t FirstLine = 0;
};

/// A row of the line table: from Address on, code belongs to Line of File, until the next row.
/// Line 0 ends a run of lines (code after it has no line).
struct TDebugLine {
    std::uint32_t Address = 0;
    std::uint32_t Line = 0;
    /// The source file's name without folders, e.g. "OstrinFrm.cpp".
    std::string File;
};

struct TDebugInfo {
    std::vector<TDebugProcedure> Procedures;
    std::vector<TDebugLine> Lines;
};

/// Packs the information into the section's format. Procedures are sorted by address, a
/// procedure that overlaps the next one is cut short where the next begins, and empty ones
/// are dropped. Lines are sorted by address; where several rows share an address the last
/// one with a line wins, and a row that repeats the line and file of the one before it is left
/// out unless a procedure starts at its address.
std::vector<std::uint8_t> PackDebugInfo(TDebugInfo info);

/// The section in its deflated form (version 2): `deflated` is raw deflate data of packed
/// information (PackDebugInfo's bytes) of `packedSize` bytes. The build tool deflates with the
/// host's zlib.
std::vector<std::uint8_t> DeflatedDebugSection(std::uint32_t packedSize,
                                               std::span<const std::uint8_t> deflated);

/// What the packed information says about an address of the image.
struct TDebugLocation {
    std::string UnitName;
    std::string ProcedureName;
    /// The address minus the start of the procedure (or of the piece it lies in).
    std::uint32_t OffsetFromProcedure = 0;
    /// 0 when the address has no line.
    std::uint32_t LineNumber = 0;
    /// The address minus the start of its line's code.
    std::int32_t OffsetFromLine = 0;
    std::string SourceName;
    /// The line of the procedure's first address; 0 when unknown.
    std::uint32_t ProcedureFirstLine = 0;
};

/// Reads packed debug information; the bytes must outlive the reader.
class TDebugInfoReader {
  public:
    /// The reader, or nothing when the bytes are not packed debug information of a version it
    /// knows or their header, index or string pool are inconsistent.
    static std::optional<TDebugInfoReader> Open(std::span<const std::uint8_t> bytes);

    /// The procedure, line and file of a relative address; nothing when no procedure covers
    /// it or the data that would answer is damaged.
    std::optional<TDebugLocation> Lookup(std::uint32_t address) const;

    std::uint32_t ProcedureCount() const { return procedures_.RowCount; }
    std::uint32_t LineCount() const { return lines_.RowCount; }

  private:
    struct Table {
        std::uint32_t RowCount = 0;
        std::uint32_t BlockCount = 0;
        std::span<const std::uint8_t> Index;
        std::span<const std::uint8_t> Data;
    };
    template <size_t Fields> struct Row {
        std::uint32_t Address = 0;
        std::int64_t Values[Fields] = {};
    };

    static std::optional<Table> ReadTable(std::span<const std::uint8_t> bytes, size_t at);
    template <size_t Fields>
    static std::optional<Row<Fields>> FindRow(const Table& table, std::uint32_t address);
    std::optional<std::string> String(std::int64_t offset) const;

    std::span<const std::uint8_t> strings_;
    Table procedures_;
    Table lines_;
};

/// A debug section in either form, as mapped with its image; the bytes must outlive it. The
/// deflated form is inflated on the first lookup, once, whichever thread asks first.
class TDebugSection {
  public:
    explicit TDebugSection(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    TDebugSection(const TDebugSection&) = delete;
    TDebugSection& operator=(const TDebugSection&) = delete;

    /// As TDebugInfoReader::Lookup; nothing as well when the section is no packed debug
    /// information, or its deflated data is damaged. Raises nothing.
    std::optional<TDebugLocation> Lookup(std::uint32_t address) const;

  private:
    void Open() const;

    std::span<const std::uint8_t> bytes_;
    mutable std::once_flag opened_;
    mutable std::vector<std::uint8_t> inflated_;
    mutable std::optional<TDebugInfoReader> reader_;
};

/// The process's reader of the section at these bytes (a section of a loaded image): made on
/// the first call for them and kept, with what it inflates, for the process's lifetime, since
/// reports are made from any thread up to the process's end. Thread-safe.
const TDebugSection& KeptDebugSection(std::span<const std::uint8_t> bytes);
