#include "debuginfo/LumDebugInfo.h"

#include "toolkit/base/LumByteIO.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <map>

namespace {

constexpr char kMagic[4] = {'L', 'D', 'B', 'G'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kRowsPerBlock = 32;
constexpr size_t kTableHeaderSize = 20;
constexpr size_t kProceduresAt = 16;
constexpr size_t kLinesAt = kProceduresAt + kTableHeaderSize;
constexpr size_t kHeaderSize = kLinesAt + kTableHeaderSize;
constexpr size_t kIndexEntrySize = 8;

// Procedure fields and line fields, in row order.
enum { kProcSize, kProcName, kProcUnit, kProcFirstLine, kProcFields };
enum { kLineLine, kLineFile, kLineFields };

// ---- Writing ----

// Names are stored once each, in the order they are first used, so that the name offsets of
// neighbouring rows differ little.
class StringPool {
  public:
    std::uint32_t Add(const std::string& text) {
        auto [it, added] = offsets_.emplace(text, static_cast<std::uint32_t>(bytes_.size()));
        if (added) {
            bytes_.insert(bytes_.end(), text.begin(), text.end());
            bytes_.push_back(0);
        }
        return it->second;
    }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

  private:
    std::map<std::string, std::uint32_t> offsets_;
    std::vector<std::uint8_t> bytes_;
};

template <size_t Fields> struct PlainRow {
    std::uint32_t Address;
    std::array<std::int64_t, Fields> Values;
};

// For searches of rows by an address.
std::uint32_t AddressOf(std::uint32_t address) {
    return address;
}
template <size_t Fields> std::uint32_t AddressOf(const PlainRow<Fields>& row) {
    return row.Address;
}

struct EncodedTable {
    std::uint32_t RowCount = 0;
    TByteWriter Index; // block offsets relative to the table's data
    TByteWriter Data;
};

template <size_t Fields> EncodedTable Encode(const std::vector<PlainRow<Fields>>& rows) {
    EncodedTable table;
    table.RowCount = static_cast<std::uint32_t>(rows.size());
    PlainRow<Fields> previous{};
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i % kRowsPerBlock == 0) {
            table.Index.U32(rows[i].Address);
            table.Index.U32(static_cast<std::uint32_t>(table.Data.Size()));
            previous = PlainRow<Fields>{};
        }
        table.Data.Uleb(rows[i].Address - previous.Address);
        for (size_t f = 0; f < Fields; ++f) {
            table.Data.Sleb(rows[i].Values[f] - previous.Values[f]);
        }
        previous = rows[i];
    }
    return table;
}

std::vector<PlainRow<kProcFields>> ProcedureRows(std::vector<TDebugProcedure>& procedures,
                                                 StringPool& strings) {
    std::stable_sort(
        procedures.begin(), procedures.end(),
        [](const TDebugProcedure& a, const TDebugProcedure& b) { return a.Start < b.Start; });
    std::vector<PlainRow<kProcFields>> rows;
    for (size_t i = 0; i < procedures.size(); ++i) {
        const TDebugProcedure& p = procedures[i];
        std::uint64_t end = std::uint64_t{p.Start} + p.Size;
        if (i + 1 < procedures.size()) {
            end = std::min<std::uint64_t>(end, procedures[i + 1].Start);
        }
        if (end <= p.Start) {
            continue;
        }
        rows.push_back({p.Start,
                        {static_cast<std::int64_t>(end - p.Start), strings.Add(p.Name),
                         strings.Add(p.Unit), p.FirstLine}});
    }
    return rows;
}

// The line rows in address order. A row that only repeats the line and file of the row before
// it (the compiler's rows for the columns and statements of one line) changes no lookup but
// the offset from the line's start, which then counts from the line's first row; it is left
// out, unless a procedure starts there.
std::vector<PlainRow<kLineFields>> LineRows(std::vector<TDebugLine>& lines,
                                            const std::vector<PlainRow<kProcFields>>& procedures,
                                            StringPool& strings) {
    std::stable_sort(lines.begin(), lines.end(), [](const TDebugLine& a, const TDebugLine& b) {
        return a.Address < b.Address;
    });
    std::vector<PlainRow<kLineFields>> rows;
    for (size_t i = 0; i < lines.size();) {
        size_t end = i;
        const TDebugLine* chosen = &lines[i];
        for (; end < lines.size() && lines[end].Address == lines[i].Address; ++end) {
            if (lines[end].Line != 0 || chosen->Line == 0) {
                chosen = &lines[end];
            }
        }
        std::int64_t file = chosen->Line ? strings.Add(chosen->File) : 0;
        bool repeats = chosen->Line != 0 && !rows.empty() &&
                       rows.back().Values[kLineLine] == chosen->Line &&
                       rows.back().Values[kLineFile] == file &&
                       !std::binary_search(procedures.begin(), procedures.end(), chosen->Address,
                                           [](const auto& a, const auto& b) {
                                               return AddressOf(a) < AddressOf(b);
                                           });
        if (!repeats) {
            rows.push_back({chosen->Address, {chosen->Line, file}});
        }
        i = end;
    }
    return rows;
}

// ---- Reading ----

// The little-endian word at an offset; the caller has checked that it lies inside. The reader
// raises nothing: it runs while an exception is being reported, and every raise is seen there.
std::uint32_t U32At(std::span<const std::uint8_t> bytes, size_t at) {
    return LoadLittleEndian<std::uint32_t>(bytes.data() + at);
}

} // namespace

std::vector<std::uint8_t> PackDebugInfo(TDebugInfo info) {
    StringPool strings;
    std::vector<PlainRow<kProcFields>> procedureRows = ProcedureRows(info.Procedures, strings);
    EncodedTable procedures = Encode(procedureRows);
    EncodedTable lines = Encode(LineRows(info.Lines, procedureRows, strings));

    // Header, string pool, then each table's index and data.
    size_t at = kHeaderSize;
    auto place = [&](size_t size) {
        at += size;
        return static_cast<std::uint32_t>(at - size);
    };
    TByteWriter out;
    out.Bytes(kMagic, sizeof kMagic);
    out.U32(kVersion);
    out.U32(place(strings.Bytes().size()));
    out.U32(static_cast<std::uint32_t>(strings.Bytes().size()));
    for (const EncodedTable* table : {&procedures, &lines}) {
        out.U32(table->RowCount);
        out.U32(static_cast<std::uint32_t>(table->Index.Size() / kIndexEntrySize));
        out.U32(place(table->Index.Size()));
        out.U32(place(table->Data.Size()));
        out.U32(static_cast<std::uint32_t>(table->Data.Size()));
    }
    out.Bytes(strings.Bytes());
    for (const EncodedTable* table : {&procedures, &lines}) {
        out.Bytes(table->Index.Data());
        out.Bytes(table->Data.Data());
    }
    return out.Take();
}

std::optional<TDebugInfoReader> TDebugInfoReader::Open(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 ||
        U32At(bytes, 4) != kVersion) {
        return std::nullopt;
    }
    std::uint32_t stringsAt = U32At(bytes, 8);
    std::uint32_t stringsSize = U32At(bytes, 12);
    if (stringsAt > bytes.size() || stringsSize > bytes.size() - stringsAt) {
        return std::nullopt;
    }
    TDebugInfoReader reader;
    reader.strings_ = bytes.subspan(stringsAt, stringsSize);
    // Every name ends with its zero, so a terminator follows any offset inside the pool.
    if (!reader.strings_.empty() && reader.strings_.back() != 0) {
        return std::nullopt;
    }
    auto procedures = ReadTable(bytes, kProceduresAt);
    auto lines = ReadTable(bytes, kLinesAt);
    if (!procedures || !lines) {
        return std::nullopt;
    }
    reader.procedures_ = *procedures;
    reader.lines_ = *lines;
    return reader;
}

std::optional<TDebugInfoReader::Table>
TDebugInfoReader::ReadTable(std::span<const std::uint8_t> bytes, size_t at) {
    Table table;
    table.RowCount = U32At(bytes, at);
    table.BlockCount = U32At(bytes, at + 4);
    std::uint32_t indexAt = U32At(bytes, at + 8);
    std::uint32_t dataAt = U32At(bytes, at + 12);
    std::uint32_t dataSize = U32At(bytes, at + 16);
    std::uint64_t indexSize = std::uint64_t{table.BlockCount} * kIndexEntrySize;
    if (table.BlockCount != (std::uint64_t{table.RowCount} + kRowsPerBlock - 1) / kRowsPerBlock ||
        indexAt > bytes.size() || indexSize > bytes.size() - indexAt || dataAt > bytes.size() ||
        dataSize > bytes.size() - dataAt) {
        return std::nullopt;
    }
    table.Index = bytes.subspan(indexAt, static_cast<size_t>(indexSize));
    table.Data = bytes.subspan(dataAt, dataSize);
    // Blocks follow each other in address and in data; the first starts the data.
    std::uint32_t previousFirst = 0;
    std::uint32_t previousOffset = 0;
    for (std::uint32_t i = 0; i < table.BlockCount; ++i) {
        std::uint32_t first = U32At(table.Index, i * kIndexEntrySize);
        std::uint32_t offset = U32At(table.Index, i * kIndexEntrySize + 4);
        if (offset >= dataSize || (i == 0 && offset != 0)) {
            return std::nullopt;
        }
        if (i > 0 && (first <= previousFirst || offset <= previousOffset)) {
            return std::nullopt;
        }
        previousFirst = first;
        previousOffset = offset;
    }
    return table;
}

template <size_t Fields>
std::optional<TDebugInfoReader::Row<Fields>> TDebugInfoReader::FindRow(const Table& table,
                                                                       std::uint32_t address) {
    // The last block that starts at or before the address holds the answer.
    std::uint32_t low = 0;
    std::uint32_t high = table.BlockCount;
    while (low < high) {
        std::uint32_t middle = low + (high - low) / 2;
        if (U32At(table.Index, middle * kIndexEntrySize) <= address) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == 0) {
        return std::nullopt;
    }
    std::uint32_t block = low - 1;
    std::uint32_t first = U32At(table.Index, block * kIndexEntrySize);
    size_t at = U32At(table.Index, block * kIndexEntrySize + 4);
    bool last = block + 1 == table.BlockCount;
    size_t end = last ? table.Data.size() : U32At(table.Index, (block + 1) * kIndexEntrySize + 4);
    std::uint64_t limit =
        last ? std::uint64_t{1} << 32 : U32At(table.Index, (block + 1) * kIndexEntrySize);
    std::uint32_t rows = std::min(kRowsPerBlock, table.RowCount - block * kRowsPerBlock);
    if (at > end) {
        return std::nullopt;
    }
    TByteReader data(table.Data.first(end));
    data.Skip(at);
    Row<Fields> row;
    Row<Fields> found;
    std::uint64_t current = 0;
    for (std::uint32_t i = 0; i < rows; ++i) {
        auto delta = data.TryUleb();
        if (!delta || (i == 0 ? *delta != first : *delta == 0)) {
            return std::nullopt;
        }
        current += *delta;
        if (current >= limit) {
            return std::nullopt;
        }
        row.Address = static_cast<std::uint32_t>(current);
        for (size_t f = 0; f < Fields; ++f) {
            auto change = data.TrySleb();
            if (!change || __builtin_add_overflow(row.Values[f], *change, &row.Values[f])) {
                return std::nullopt;
            }
        }
        if (row.Address > address) {
            break;
        }
        found = row;
    }
    return found;
}

std::optional<std::string> TDebugInfoReader::String(std::int64_t offset) const {
    if (offset < 0 || static_cast<std::uint64_t>(offset) >= strings_.size()) {
        return std::nullopt;
    }
    auto begin = reinterpret_cast<const char*>(strings_.data()) + offset;
    return std::string(begin); // the pool ends with a zero (checked by Open)
}

std::optional<TDebugLocation> TDebugInfoReader::Lookup(std::uint32_t address) const {
    auto procedure = FindRow<kProcFields>(procedures_, address);
    if (!procedure) {
        return std::nullopt;
    }
    std::int64_t size = procedure->Values[kProcSize];
    std::int64_t firstLine = procedure->Values[kProcFirstLine];
    if (size <= 0 || address - procedure->Address >= size || firstLine < 0 ||
        firstLine > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    auto name = String(procedure->Values[kProcName]);
    auto unit = String(procedure->Values[kProcUnit]);
    if (!name || !unit) {
        return std::nullopt;
    }
    TDebugLocation location;
    location.UnitName = std::move(*unit);
    location.ProcedureName = std::move(*name);
    location.OffsetFromProcedure = address - procedure->Address;
    location.ProcedureFirstLine = static_cast<std::uint32_t>(firstLine);

    // A line table that is damaged here leaves the address without a line.
    auto line = FindRow<kLineFields>(lines_, address);
    if (line && line->Address >= procedure->Address && line->Values[kLineLine] > 0 &&
        line->Values[kLineLine] <= std::numeric_limits<std::uint32_t>::max()) {
        if (auto file = String(line->Values[kLineFile])) {
            location.LineNumber = static_cast<std::uint32_t>(line->Values[kLineLine]);
            location.OffsetFromLine = static_cast<std::int32_t>(address - line->Address);
            location.SourceName = std::move(*file);
        }
    }
    return location;
}
