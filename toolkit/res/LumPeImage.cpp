#include "toolkit/res/LumPeImage.h"

#include "toolkit/base/LumByteIO.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSymbolSize = 18;
// Optional header: the number of data directories, then the directories (address, size).
constexpr size_t kDirectoryCountAt = 92;
constexpr size_t kDirectoriesAt = 96;
constexpr std::uint32_t kResourceDirectory = 2;
// Resource directory: a 16-byte table header whose last two words count the named and the
// numbered entries, then 8-byte entries; a high bit marks a name offset or a subdirectory.
constexpr size_t kResourceTableSize = 16;
constexpr size_t kResourceEntrySize = 8;
constexpr std::uint32_t kHighBit = 0x80000000;

std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
    return alignment ? (value + alignment - 1) / alignment * alignment : value;
}

// A reader placed at an offset of the bytes.
TByteReader At(std::span<const std::uint8_t> bytes, std::uint64_t offset) {
    TByteReader in(bytes);
    in.Seek(offset);
    return in;
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
    auto name = bytes.subspan(at);
    auto zero = std::find(name.begin(), name.end(), 0);
    if (zero == name.end() || zero == name.begin()) {
        return std::nullopt;
    }
    return std::string(name.begin(), zero);
}

// Walks the three levels of a resource directory whose bytes start at the directory's root.
class ResourceWalker {
  public:
    ResourceWalker(const TPeImage& image, std::span<const std::uint8_t> directory)
        : image_(image), directory_(directory) {}

    std::vector<TPeResource> Walk() {
        Table(0, 0, {});
        return std::move(found_);
    }

  private:
    TResId EntryId(std::uint32_t name) const {
        if (!(name & kHighBit)) {
            return TResId(static_cast<std::uint16_t>(name));
        }
        TByteReader in = At(directory_, name & ~kHighBit);
        std::uint16_t length = in.U16();
        return TResId(in.Utf16(length));
    }

    void Table(std::uint32_t offset, int level, TPeResource path) {
        TByteReader in = At(directory_, offset);
        in.Skip(kResourceTableSize - 4);
        std::uint32_t count = std::uint32_t{in.U16()} + in.U16();
        for (std::uint32_t i = 0; i < count; ++i) {
            // Each entry lies somewhere in the directory; visiting more than it has room for
            // means that tables refer to each other in a loop.
            if (++visited_ > directory_.size() / kResourceEntrySize) {
                throw EByteReadError(in.Position(), "resource directory refers to itself");
            }
            size_t entryAt = in.Position();
            std::uint32_t name = in.U32();
            std::uint32_t target = in.U32();
            bool subdirectory = (target & kHighBit) != 0;
            if (subdirectory != (level < 2)) {
                throw EByteReadError(entryAt, "resource directory nests wrongly");
            }
            TPeResource resource = path;
            if (level == 0) {
                resource.Type = EntryId(name);
            } else if (level == 1) {
                resource.Name = EntryId(name);
            } else {
                resource.Language = static_cast<std::uint16_t>(name);
            }
            if (subdirectory) {
                Table(target & ~kHighBit, level + 1, resource);
            } else {
                Data(target, std::move(resource));
            }
        }
    }

    void Data(std::uint32_t offset, TPeResource resource) {
        TByteReader in = At(directory_, offset);
        resource.DataAddress = in.U32();
        resource.Size = in.U32();
        resource.CodePage = in.U32();
        auto fileOffset = image_.FileOffsetOf(resource.DataAddress);
        if (!fileOffset) {
            throw EByteReadError(offset, "resource data outside the file");
        }
        resource.Offset = *fileOffset;
        found_.push_back(std::move(resource));
    }

    const TPeImage& image_;
    std::span<const std::uint8_t> directory_;
    std::vector<TPeResource> found_;
    size_t visited_ = 0;
};

} // namespace

std::optional<TPeImage> TPeImage::Parse(std::span<const std::uint8_t> bytes) {
    // Raises nothing, as the stack traces and reports read mapped modules with it while an
    // exception is being reported: every field is read with the reader's non-raising form.
    auto field = [&]<class T>(std::uint64_t offset, T) -> std::optional<T> {
        if (offset > bytes.size()) {
            return std::nullopt;
        }
        TByteReader in(bytes);
        in.Skip(offset);
        return in.TryRead<T>();
    };
    auto u16 = [&](std::uint64_t offset) { return field(offset, std::uint16_t{}); };
    auto u32 = [&](std::uint64_t offset) { return field(offset, std::uint32_t{}); };

    if (u16(0) != 0x5A4D) { // "MZ"
        return std::nullopt;
    }
    auto peOffset = u32(0x3C);
    if (!peOffset || u32(*peOffset) != 0x00004550) { // "PE\0\0"
        return std::nullopt;
    }
    std::uint64_t fileHeader = std::uint64_t{*peOffset} + 4;
    auto sectionCount = u16(fileHeader + 2);
    auto optionalSize = u16(fileHeader + 16);
    std::uint64_t optional = fileHeader + 20;
    if (!sectionCount || !optionalSize || u16(optional) != kPe32Magic) {
        return std::nullopt;
    }
    auto imageBase = u32(optional + 28);
    auto sectionAlignment = u32(optional + 32);
    auto fileAlignment = u32(optional + 36);
    auto sizeOfImage = u32(optional + 56);
    std::uint64_t table = optional + *optionalSize;
    if (!imageBase || !sectionAlignment || !fileAlignment || !sizeOfImage || table > bytes.size() ||
        std::uint64_t{*sectionCount} * kSectionHeaderSize > bytes.size() - table) {
        return std::nullopt;
    }
    // Names longer than eight characters are "/" and an offset into the COFF string table,
    // which follows the symbol table.
    auto symbols = u32(fileHeader + 8);
    auto symbolCount = u32(fileHeader + 12);
    std::optional<size_t> strings;
    if (symbols && symbolCount && *symbols != 0) {
        std::uint64_t at = std::uint64_t{*symbols} + std::uint64_t{*symbolCount} * kSymbolSize;
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
    // Inside the bytes, checked above.
    TByteReader in(
        bytes.subspan(static_cast<size_t>(table), size_t{*sectionCount} * kSectionHeaderSize));
    for (size_t i = 0; i < *sectionCount; ++i) {
        TPeSection section;
        auto name = in.Bytes(8);
        section.Name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
        if (section.Name.size() > 1 && section.Name[0] == '/' && strings) {
            section.Name = LongName(bytes, *strings, section.Name.substr(1)).value_or(section.Name);
        }
        section.VirtualSize = in.U32();
        section.VirtualAddress = in.U32();
        section.SizeOfRawData = in.U32();
        section.PointerToRawData = in.U32();
        in.Skip(12); // relocations, line numbers and their counts
        section.Characteristics = in.U32();
        image.sections_.push_back(std::move(section));
    }
    // The resource directory, where the optional header has room for it.
    auto directories = u32(optional + kDirectoryCountAt);
    auto resource = u32(optional + kDirectoriesAt + 8 * kResourceDirectory);
    auto resourceSize = u32(optional + kDirectoriesAt + 8 * kResourceDirectory + 4);
    if (*optionalSize >= kDirectoriesAt + 8 * (kResourceDirectory + 1) && directories &&
        *directories > kResourceDirectory && resource && resourceSize) {
        image.resourceAddress_ = *resource;
        image.resourceSize_ = *resourceSize;
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

std::optional<std::uint32_t> TPeImage::FileOffsetOf(std::uint32_t address) const {
    for (const TPeSection& section : sections_) {
        if (address >= section.VirtualAddress &&
            address - section.VirtualAddress < section.SizeOfRawData) {
            std::uint64_t offset =
                std::uint64_t{section.PointerToRawData} + (address - section.VirtualAddress);
            if (offset < bytes_.size()) {
                return static_cast<std::uint32_t>(offset);
            }
        }
    }
    return std::nullopt;
}

std::vector<TPeResource> TPeImage::Resources() const {
    if (resourceAddress_ == 0) {
        return {};
    }
    auto start = FileOffsetOf(resourceAddress_);
    if (!start) {
        throw EByteReadError(resourceAddress_, "resource directory outside the file");
    }
    // The directory's tables, names and data entries lie in the section that holds its root.
    std::uint64_t end = bytes_.size();
    for (const TPeSection& section : sections_) {
        std::uint64_t raw = section.PointerToRawData;
        if (*start >= raw && *start - raw < section.SizeOfRawData) {
            end = std::min<std::uint64_t>(end, raw + section.SizeOfRawData);
            break;
        }
    }
    return ResourceWalker(*this, bytes_.subspan(*start, static_cast<size_t>(end - *start))).Walk();
}

std::optional<TPeResource> TPeImage::FindResourceEntry(const TResId& type,
                                                       const TResId& name) const {
    for (TPeResource& resource : Resources()) {
        if (resource.Type == type && resource.Name == name) {
            return std::move(resource);
        }
    }
    return std::nullopt;
}

std::span<const std::uint8_t> TPeImage::ResourceData(const TPeResource& resource) const {
    return At(bytes_, resource.Offset).Bytes(resource.Size);
}
