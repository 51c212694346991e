#include "debuginfo/LumDebugInfo.h"

#include "toolkit/base/LumByteIO.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace DebugLayout;

namespace {

// The little-endian word at an offset; the caller has checked that it lies inside. The reader
// raises nothing: it runs while an exception is being reported, and every raise is seen there.
std::uint32_t U32At(std::span<const std::uint8_t> bytes, size_t at) {
    return LoadLittleEndian<std::uint32_t>(bytes.data() + at);
}

} // namespace

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
