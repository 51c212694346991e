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
    try {
        std::string_view name = At(bytes, at).CString();
        return name.empty() ? std::nullopt : std::optional<std::string>(name);
    } catch (const EByteReadError&) {
        return std::nullopt; // unterminated
    }
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
    TPeImage image;
    size_t optional = 0;
    std::uint16_t optionalSize = 0;
    try {
        if (At(bytes, 0).U16() != 0x5A4D) { // "MZ"
            return std::nullopt;
        }
        std::uint32_t peOffset = At(bytes, 0x3C).U32();
        if (At(bytes, peOffset).U32() != 0x00004550) { // "PE\0\0"
            return std::nullopt;
        }
        TByteReader fileHeader = At(bytes, std::uint64_t{peOffset} + 4);
        fileHeader.Skip(2); // machine
        std::uint16_t sectionCount = fileHeader.U16();
        fileHeader.Skip(4); // time stamp
        std::uint32_t symbols = fileHeader.U32();
        std::uint32_t symbolCount = fileHeader.U32();
        optionalSize = fileHeader.U16();
        optional = fileHeader.Position() + 2; // after the characteristics
        TByteReader header = At(bytes, optional);
        if (header.U16() != kPe32Magic) {
            return std::nullopt;
        }
        header.Seek(optional + 28);
        image.imageBase_ = header.U32();
        image.sectionAlignment_ = header.U32();
        image.fileAlignment_ = header.U32();
        header.Seek(optional + 56);
        image.sizeOfImage_ = header.U32();
        TByteReader table = At(bytes, optional + optionalSize);
        if (!table.Has(std::uint64_t{sectionCount} * kSectionHeaderSize)) {
            return std::nullopt;
        }
        // Names longer than eight characters are "/" and an offset into the COFF string table,
        // which follows the symbol table.
        std::optional<size_t> strings;
        if (symbolCount && symbols != 0) {
            std::uint64_t at = std::uint64_t{symbols} + std::uint64_t{symbolCount} * kSymbolSize;
            if (at < bytes.size()) {
                strings = static_cast<size_t>(at);
            }
        }
        image.bytes_ = bytes;
        for (size_t i = 0; i < sectionCount; ++i) {
            TPeSection section;
            auto field = table.Bytes(8);
            section.Name.assign(field.begin(), std::find(field.begin(), field.end(), 0));
            if (section.Name.size() > 1 && section.Name[0] == '/' && strings) {
                section.Name =
                    LongName(bytes, *strings, section.Name.substr(1)).value_or(section.Name);
            }
            section.VirtualSize = table.U32();
            section.VirtualAddress = table.U32();
            section.SizeOfRawData = table.U32();
            section.PointerToRawData = table.U32();
            table.Skip(12); // relocations, line numbers and their counts
            section.Characteristics = table.U32();
            image.sections_.push_back(std::move(section));
        }
    } catch (const EByteReadError&) {
        return std::nullopt;
    }
    // The resource directory, where the optional header has room for it.
    try {
        if (optionalSize >= kDirectoriesAt + 8 * (kResourceDirectory + 1) &&
            At(bytes, optional + kDirectoryCountAt).U32() > kResourceDirectory) {
            TByteReader entry = At(bytes, optional + kDirectoriesAt + 8 * kResourceDirectory);
            image.resourceAddress_ = entry.U32();
            image.resourceSize_ = entry.U32();
        }
    } catch (const EByteReadError&) {
        // A headers-only image: no resources.
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

std::optional<TPeResource> TPeImage::FindResourceEntry(const TResId& type, const TResId& name) const {
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
