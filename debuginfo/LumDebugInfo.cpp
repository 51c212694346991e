#include "debuginfo/LumDebugInfo.h"

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

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void SetU32(std::vector<std::uint8_t>& out, size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void PutUleb(std::vector<std::uint8_t>& out, std::uint64_t value) {
    do {
        std::uint8_t byte = value & 0x7F;
        value >>= 7;
        out.push_back(value ? byte | 0x80 : byte);
    } while (value);
}

void PutSleb(std::vector<std::uint8_t>& out, std::int64_t value) {
    while (true) {
        std::uint8_t byte = value & 0x7F;
        value >>= 7; // arithmetic: the sign stays
        bool done = (value == 0 && !(byte & 0x40)) || (value == -1 && (byte & 0x40));
        out.push_back(done ? byte : byte | 0x80);
        if (done) {
            return;
        }
    }
}

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

struct EncodedTable {
    std::uint32_t RowCount = 0;
    std::vector<std::uint8_t> Index; // block offsets relative to the table's data
    std::vector<std::uint8_t> Data;
};

template <size_t Fields> EncodedTable Encode(const std::vector<PlainRow<Fields>>& rows) {
    EncodedTable table;
    table.RowCount = static_cast<std::uint32_t>(rows.size());
    PlainRow<Fields> previous{};
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i % kRowsPerBlock == 0) {
            PutU32(table.Index, rows[i].Address);
            PutU32(table.Index, static_cast<std::uint32_t>(table.Data.size()));
            previous = PlainRow<Fields>{};
        }
        PutUleb(table.Data, rows[i].Address - previous.Address);
        for (size_t f = 0; f < Fields; ++f) {
            PutSleb(table.Data, rows[i].Values[f] - previous.Values[f]);
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

std::vector<PlainRow<kLineFields>> LineRows(std::vector<TDebugLine>& lines, StringPool& strings) {
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
        rows.push_back({chosen->Address, {chosen->Line, file}});
        i = end;
    }
    return rows;
}

void PutTableHeader(std::vector<std::uint8_t>& out, size_t at, const EncodedTable& table,
                    size_t indexOffset, size_t dataOffset) {
    SetU32(out, at, table.RowCount);
    SetU32(out, at + 4, static_cast<std::uint32_t>(table.Index.size() / kIndexEntrySize));
    SetU32(out, at + 8, static_cast<std::uint32_t>(indexOffset));
    SetU32(out, at + 12, static_cast<std::uint32_t>(dataOffset));
    SetU32(out, at + 16, static_cast<std::uint32_t>(table.Data.size()));
}

// ---- Reading ----

std::optional<std::uint32_t> U32(std::span<const std::uint8_t> bytes, size_t at) {
    if (at > bytes.size() || bytes.size() - at < 4) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(bytes[at]) | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// Bounded LEB128 reads: at most ten bytes, and the value must fit 64 bits.
std::optional<std::uint64_t> Uleb(std::span<const std::uint8_t> bytes, size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (at >= bytes.size()) {
            return std::nullopt;
        }
        std::uint8_t byte = bytes[at++];
        std::uint64_t bits = byte & 0x7F;
        if (shift == 63 && bits > 1) {
            return std::nullopt;
        }
        value |= bits << shift;
        if (!(byte & 0x80)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> Sleb(std::span<const std::uint8_t> bytes, size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (at >= bytes.size()) {
            return std::nullopt;
        }
        std::uint8_t byte = bytes[at++];
        value |= std::uint64_t{byte & 0x7Fu} << shift;
        if (!(byte & 0x80)) {
            if (shift + 7 < 64 && (byte & 0x40)) {
                value |= ~std::uint64_t{0} << (shift + 7);
            }
            return static_cast<std::int64_t>(value);
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<std::uint8_t> PackDebugInfo(TDebugInfo info) {
    StringPool strings;
    EncodedTable procedures = Encode(ProcedureRows(info.Procedures, strings));
    EncodedTable lines = Encode(LineRows(info.Lines, strings));

    size_t size = kHeaderSize + strings.Bytes().size() + procedures.Index.size() +
                  procedures.Data.size() + lines.Index.size() + lines.Data.size();
    std::vector<std::uint8_t> out(size, 0);
    size_t at = kHeaderSize;
    auto put = [&](const std::vector<std::uint8_t>& part) {
        if (!part.empty()) {
            std::memcpy(out.data() + at, part.data(), part.size());
        }
        at += part.size();
        return at - part.size();
    };
    std::memcpy(out.data(), kMagic, sizeof kMagic);
    SetU32(out, 4, kVersion);
    SetU32(out, 8, static_cast<std::uint32_t>(put(strings.Bytes())));
    SetU32(out, 12, static_cast<std::uint32_t>(strings.Bytes().size()));
    for (auto [table, header] :
         {std::pair{&procedures, kProceduresAt}, std::pair{&lines, kLinesAt}}) {
        size_t index = put(table->Index);
        size_t data = put(table->Data);
        PutTableHeader(out, header, *table, index, data);
    }
    return out;
}

std::optional<TDebugInfoReader> TDebugInfoReader::Open(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 ||
        U32(bytes, 4) != kVersion) {
        return std::nullopt;
    }
    std::uint32_t stringsAt = *U32(bytes, 8);
    std::uint32_t stringsSize = *U32(bytes, 12);
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
    table.RowCount = *U32(bytes, at);
    table.BlockCount = *U32(bytes, at + 4);
    std::uint32_t indexAt = *U32(bytes, at + 8);
    std::uint32_t dataAt = *U32(bytes, at + 12);
    std::uint32_t dataSize = *U32(bytes, at + 16);
    std::uint64_t indexSize = std::uint64_t{table.BlockCount} * kIndexEntrySize;
    if (table.BlockCount != (std::uint64_t{table.RowCount} + kRowsPerBlock - 1) / kRowsPerBlock ||
        indexAt > bytes.size() || indexSize > bytes.size() - indexAt || dataAt > bytes.size() ||
        dataSize > bytes.size() - dataAt) {
        return std::nullopt;
    }
    table.Index = bytes.subspan(indexAt, static_cast<size_t>(indexSize));
    table.Data = bytes.subspan(dataAt, dataSize);
    // Blocks follow each other in address and in data; the first starts the data.
    for (std::uint32_t i = 0; i < table.BlockCount; ++i) {
        std::uint32_t first = *U32(table.Index, i * kIndexEntrySize);
        std::uint32_t offset = *U32(table.Index, i * kIndexEntrySize + 4);
        if (offset >= dataSize || (i == 0 && offset != 0)) {
            return std::nullopt;
        }
        if (i > 0 && (first <= *U32(table.Index, (i - 1) * kIndexEntrySize) ||
                      offset <= *U32(table.Index, (i - 1) * kIndexEntrySize + 4))) {
            return std::nullopt;
        }
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
        if (*U32(table.Index, middle * kIndexEntrySize) <= address) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == 0) {
        return std::nullopt;
    }
    std::uint32_t block = low - 1;
    std::uint32_t first = *U32(table.Index, block * kIndexEntrySize);
    size_t at = *U32(table.Index, block * kIndexEntrySize + 4);
    bool last = block + 1 == table.BlockCount;
    size_t end = last ? table.Data.size() : *U32(table.Index, (block + 1) * kIndexEntrySize + 4);
    std::uint64_t limit =
        last ? std::uint64_t{1} << 32 : *U32(table.Index, (block + 1) * kIndexEntrySize);
    std::uint32_t rows = std::min(kRowsPerBlock, table.RowCount - block * kRowsPerBlock);
    auto data = table.Data.first(end);

    Row<Fields> row;
    Row<Fields> found;
    std::uint64_t current = 0;
    for (std::uint32_t i = 0; i < rows; ++i) {
        auto delta = Uleb(data, at);
        if (!delta || (i == 0 ? *delta != first : *delta == 0)) {
            return std::nullopt;
        }
        current += *delta;
        if (current >= limit) {
            return std::nullopt;
        }
        row.Address = static_cast<std::uint32_t>(current);
        for (size_t f = 0; f < Fields; ++f) {
            auto change = Sleb(data, at);
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
