#include "toolkit/res/LumPeImage.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr size_t kSectionHeaderSize = 40;

// Little-endian reads that answer nothing when the field is not inside the bytes.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool Has(size_t offset, size_t size) const {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }
    std::optional<std::uint32_t> U16(size_t offset) const {
        if (!Has(offset, 2)) {
            return std::nullopt;
        }
        return bytes_[offset] | (bytes_[offset + 1] << 8);
    }
    std::optional<std::uint32_t> U32(size_t offset) const {
        if (!Has(offset, 4)) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(bytes_[offset]) | (bytes_[offset + 1] << 8) |
               (bytes_[offset + 2] << 16) | (static_cast<std::uint32_t>(bytes_[offset + 3]) << 24);
    }

private:
    std::span<const std::uint8_t> bytes_;
};

std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
    return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

// The zero-terminated name at a decimal offset into the string table, if it lies inside.
std::optional<std::string> LongName(std::span<const std::uint8_t> bytes, size_t table,
                                    const std::string& offsetText) {
    if (offsetText.size() > 7 || offsetText.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    size_t at = table + std::stoul(offsetText);
    if (at >= bytes.size()) {
        return std::nullopt;
    }
    auto begin = reinterpret_cast<const char*>(bytes.data()) + at;
    auto end = reinterpret_cast<const char*>(bytes.data()) + bytes.size();
    auto zero = std::find(begin, end, '\0');
    if (zero == end || zero == begin) {
        return std::nullopt;
    }
    return std::string(begin, zero);
}

} // namespace

std::optional<TPeImage> TPeImage::Parse(std::span<const std::uint8_t> bytes) {
    Reader in(bytes);
    if (in.U16(0) != 0x5A4D) { // "MZ"
        return std::nullopt;
    }
    auto peOffset = in.U32(0x3C);
    if (!peOffset || in.U32(*peOffset) != 0x00004550) { // "PE\0\0"
        return std::nullopt;
    }
    size_t fileHeader = size_t{*peOffset} + 4;
    auto sectionCount = in.U16(fileHeader + 2);
    auto optionalSize = in.U16(fileHeader + 16);
    size_t optional = fileHeader + 20;
    if (!sectionCount || !optionalSize || in.U16(optional) != kPe32Magic) {
        return std::nullopt;
    }
    auto imageBase = in.U32(optional + 28);
    auto sectionAlignment = in.U32(optional + 32);
    auto fileAlignment = in.U32(optional + 36);
    auto sizeOfImage = in.U32(optional + 56);
    size_t table = optional + *optionalSize;
    if (!imageBase || !sectionAlignment || !fileAlignment || !sizeOfImage ||
        !in.Has(table, *sectionCount * kSectionHeaderSize)) {
        return std::nullopt;
    }
    // Names longer than eight characters are "/" and an offset into the COFF string table,
    // which follows the symbol table.
    auto symbols = in.U32(fileHeader + 8);
    auto symbolCount = in.U32(fileHeader + 12);
    std::optional<size_t> strings;
    if (symbols && symbolCount && *symbols != 0) {
        std::uint64_t at = std::uint64_t{*symbols} + std::uint64_t{*symbolCount} * 18;
        if (at < bytes.size()) {
            strings = static_cast<size_t>(at);
        }
    }
    TPeImage image;
    image.bytes_ = bytes;
    image.imageBase_ = *imageBase;
    image.sectionAlignment_ = *sectionAlignment;
    image.fileAlignment_ = *fileAlignment;
    image.sizeOfImage_ = *sizeOfImage;
    for (size_t i = 0; i < *sectionCount; ++i) {
        size_t at = table + i * kSectionHeaderSize;
        TPeSection section;
        auto name = reinterpret_cast<const char*>(bytes.data() + at);
        section.Name.assign(name, std::find(name, name + 8, '\0'));
        if (section.Name.size() > 1 && section.Name[0] == '/' && strings) {
            section.Name = LongName(bytes, *strings, section.Name.substr(1)).value_or(section.Name);
        }
        section.VirtualSize = *in.U32(at + 8);
        section.VirtualAddress = *in.U32(at + 12);
        section.SizeOfRawData = *in.U32(at + 16);
        section.PointerToRawData = *in.U32(at + 20);
        section.Characteristics = *in.U32(at + 36);
        image.sections_.push_back(std::move(section));
    }
    return image;
}

const TPeSection* TPeImage::FindSection(std::string_view name) const {
    for (const TPeSection& section : sections_) {
        if (section.Name == name) {
            return &section;
        }
    }
    return nullptr;
}

std::span<const std::uint8_t> TPeImage::SectionData(const TPeSection& section) const {
    size_t size = std::min(section.VirtualSize, section.SizeOfRawData);
    size_t start = std::min<size_t>(section.PointerToRawData, bytes_.size());
    size = std::min(size, bytes_.size() - start);
    return bytes_.subspan(start, size);
}

std::uint32_t TPeImage::NextSectionAddress() const {
    std::uint64_t end = sizeOfImage_;
    for (const TPeSection& section : sections_) {
        std::uint32_t size = section.VirtualSize ? section.VirtualSize : section.SizeOfRawData;
        end = std::max(end, std::uint64_t{section.VirtualAddress} + size);
    }
    return static_cast<std::uint32_t>(AlignUp(end, sectionAlignment_));
}
