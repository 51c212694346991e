#include "toolkit/res/LumResFile.h"

#include "toolkit/base/LumByteIO.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

namespace {

TResId ReadId(TByteReader& in) {
    std::uint16_t first = in.U16();
    if (first == 0xFFFF) {
        return TResId::Of(in.U16());
    }
    if (first == 0) {
        return TResId(); // an empty name reads as the number 0
    }
    // The name as stored: a resource compiler stores it in upper case.
    return TResId(std::u16string(1, static_cast<char16_t>(first)) + in.Utf16Z());
}

void WriteId(TByteWriter& out, const TResId& id) {
    if (!id.IsName()) {
        out.U16(0xFFFF);
        out.U16(id.Number());
        return;
    }
    out.Utf16Z(id.Name());
}

TResEntry ReadEntry(TByteReader& in) {
    size_t start = in.Position();
    std::uint32_t dataSize = in.U32();
    std::uint32_t headerSize = in.U32();
    TResEntry entry;
    entry.Type = ReadId(in);
    entry.Name = ReadId(in);
    in.AlignTo(4);
    entry.DataVersion = in.U32();
    entry.MemoryFlags = in.U16();
    entry.Language = in.U16();
    entry.Version = in.U32();
    entry.Characteristics = in.U32();
    if (in.Position() - start != headerSize) {
        throw std::runtime_error("resource header size mismatch at offset " +
                                 std::to_string(start));
    }
    auto data = in.Bytes(dataSize);
    entry.Data.assign(data.begin(), data.end());
    in.AlignTo(4);
    return entry;
}

void WriteEntry(TByteWriter& out, const TResEntry& entry) {
    size_t start = out.Size();
    out.U32(static_cast<std::uint32_t>(entry.Data.size()));
    out.U32(0); // header size, patched below
    WriteId(out, entry.Type);
    WriteId(out, entry.Name);
    out.AlignTo(4);
    out.U32(entry.DataVersion);
    out.U16(entry.MemoryFlags);
    out.U16(entry.Language);
    out.U32(entry.Version);
    out.U32(entry.Characteristics);
    out.PatchU32(start + 4, static_cast<std::uint32_t>(out.Size() - start));
    out.Bytes(entry.Data);
    out.AlignTo(4);
}

} // namespace

std::vector<TResEntry> ReadResFile(std::span<const std::uint8_t> bytes) {
    TByteReader in(bytes);
    std::vector<TResEntry> entries;
    try {
        while (!in.AtEnd()) {
            TResEntry entry = ReadEntry(in);
            // The leading empty entry marks the file as 32-bit; it is no resource.
            bool marker = entry.Data.empty() && entry.Type == TResId();
            if (!marker) {
                entries.push_back(std::move(entry));
            }
        }
    } catch (const EByteReadError& error) {
        throw std::runtime_error("resource file truncated at offset " +
                                 std::to_string(error.Offset()));
    }
    return entries;
}

std::vector<std::uint8_t> WriteResFile(const std::vector<TResEntry>& entries) {
    TByteWriter out;
    TResEntry marker;
    marker.MemoryFlags = 0;
    WriteEntry(out, marker);
    for (const TResEntry& entry : entries) {
        WriteEntry(out, entry);
    }
    return out.Take();
}

void SortResEntries(std::vector<TResEntry>& entries) {
    auto key = [](const TResEntry& e) { return std::tie(e.Type, e.Name, e.Language); };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const TResEntry& a, const TResEntry& b) { return key(a) < key(b); });
    auto same = std::adjacent_find(
        entries.begin(), entries.end(),
        [&](const TResEntry& a, const TResEntry& b) { return key(a) == key(b); });
    if (same != entries.end()) {
        throw std::runtime_error("duplicate resource");
    }
}
