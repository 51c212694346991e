// Packing: the build tool's side of the format, apart from the reader that the program links.

#include "debuginfo/LumDebugInfo.h"

#include "toolkit/base/LumByteIO.h"

#include <algorithm>
#include <array>
#include <map>

using namespace DebugLayout;

namespace {

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

std::vector<std::uint8_t> DeflatedDebugSection(std::uint32_t packedSize,
                                               std::span<const std::uint8_t> deflated) {
    TByteWriter out;
    out.Bytes(kMagic, sizeof kMagic);
    out.U32(kDeflatedVersion);
    out.U32(packedSize);
    out.U32(static_cast<std::uint32_t>(deflated.size()));
    out.Bytes(deflated);
    return out.Take();
}
