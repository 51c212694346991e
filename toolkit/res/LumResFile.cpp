#include "toolkit/res/LumResFile.h"

#include <algorithm>
#include <stdexcept>
#include <tuple>

namespace {

class Input {
public:
    explicit Input(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return pos_ >= bytes_.size(); }
    size_t Pos() const { return pos_; }

    std::uint16_t U16() {
        Need(2);
        std::uint16_t v = bytes_[pos_] | (bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    std::uint32_t U32() {
        std::uint32_t low = U16();
        return low | (std::uint32_t{U16()} << 16);
    }
    TResId Id() {
        std::uint16_t first = U16();
        if (first == 0xFFFF) {
            return TResId::Of(U16());
        }
        std::u16string name;
        for (std::uint16_t c = first; c != 0; c = U16()) {
            name += static_cast<char16_t>(c);
        }
        return TResId{0, name};
    }
    std::vector<std::uint8_t> Bytes(size_t size) {
        Need(size);
        std::vector<std::uint8_t> out(bytes_.begin() + pos_, bytes_.begin() + pos_ + size);
        pos_ += size;
        return out;
    }
    void Align4() { pos_ = std::min(bytes_.size(), (pos_ + 3) & ~size_t{3}); }

private:
    void Need(size_t size) const {
        if (pos_ > bytes_.size() || size > bytes_.size() - pos_) {
            throw std::runtime_error("resource file truncated at offset " + std::to_string(pos_));
        }
    }

    std::span<const std::uint8_t> bytes_;
    size_t pos_ = 0;
};

class Output {
public:
    void U16(std::uint16_t v) {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    void Id(const TResId& id) {
        if (!id.IsName()) {
            U16(0xFFFF);
            U16(id.Number);
            return;
        }
        for (char16_t c : id.Name) {
            U16(c);
        }
        U16(0);
    }
    void Align4() {
        while (bytes_.size() % 4) {
            bytes_.push_back(0);
        }
    }
    size_t Size() const { return bytes_.size(); }
    void PatchU32(size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

void WriteEntry(Output& out, const TResEntry& entry) {
    size_t start = out.Size();
    out.U32(static_cast<std::uint32_t>(entry.Data.size()));
    out.U32(0); // header size, patched below
    out.Id(entry.Type);
    out.Id(entry.Name);
    out.Align4();
    out.U32(entry.DataVersion);
    out.U16(entry.MemoryFlags);
    out.U16(entry.Language);
    out.U32(entry.Version);
    out.U32(entry.Characteristics);
    out.PatchU32(start + 4, static_cast<std::uint32_t>(out.Size() - start));
    out.Bytes().insert(out.Bytes().end(), entry.Data.begin(), entry.Data.end());
    out.Align4();
}

} // namespace

TResId TResId::Of(std::u16string name) {
    for (char16_t& c : name) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return TResId{0, std::move(name)};
}

std::strong_ordering TResId::operator<=>(const TResId& other) const {
    return std::tuple(IsName(), Name, Number) <=> std::tuple(other.IsName(), other.Name, other.Number);
}

std::vector<TResEntry> ReadResFile(std::span<const std::uint8_t> bytes) {
    Input in(bytes);
    std::vector<TResEntry> entries;
    while (!in.AtEnd()) {
        size_t start = in.Pos();
        std::uint32_t dataSize = in.U32();
        std::uint32_t headerSize = in.U32();
        TResEntry entry;
        entry.Type = in.Id();
        entry.Name = in.Id();
        in.Align4();
        entry.DataVersion = in.U32();
        entry.MemoryFlags = in.U16();
        entry.Language = in.U16();
        entry.Version = in.U32();
        entry.Characteristics = in.U32();
        if (in.Pos() - start != headerSize) {
            throw std::runtime_error("resource header size mismatch at offset " +
                                     std::to_string(start));
        }
        entry.Data = in.Bytes(dataSize);
        in.Align4();
        // The leading empty entry marks the file as 32-bit; it is no resource.
        bool marker = dataSize == 0 && !entry.Type.IsName() && entry.Type.Number == 0;
        if (!marker) {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

std::vector<std::uint8_t> WriteResFile(const std::vector<TResEntry>& entries) {
    Output out;
    TResEntry marker;
    marker.MemoryFlags = 0;
    WriteEntry(out, marker);
    for (const TResEntry& entry : entries) {
        WriteEntry(out, entry);
    }
    return std::move(out.Bytes());
}

void SortResEntries(std::vector<TResEntry>& entries) {
    auto key = [](const TResEntry& e) { return std::tie(e.Type, e.Name, e.Language); };
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const TResEntry& a, const TResEntry& b) { return key(a) < key(b); });
    auto same = std::adjacent_find(entries.begin(), entries.end(),
                                   [&](const TResEntry& a, const TResEntry& b) { return key(a) == key(b); });
    if (same != entries.end()) {
        throw std::runtime_error("duplicate resource");
    }
}
