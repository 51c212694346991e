#pragma once
// Reading the headers, sections and resource directory of a 32-bit PE image held in memory.
// Every offset and size read from the image is checked against the buffer before it is used
// (through the checked byte reader, toolkit/base/LumByteIO.h).

#include "toolkit/res/LumResId.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct TPeSection {
    /// The name: the 8-byte field without its padding, or the long name from the COFF string
    /// table that a "/offset" field refers to.
    std::string Name;
    std::uint32_t VirtualSize = 0;
    std::uint32_t VirtualAddress = 0;
    std::uint32_t SizeOfRawData = 0;
    std::uint32_t PointerToRawData = 0;
    std::uint32_t Characteristics = 0;
};

/// One resource of the resource directory: a data entry under its type, name and language.
struct TPeResource {
    TResId Type;
    TResId Name;
    std::uint16_t Language = 0;
    /// Where the data lies: its relative address (as the directory gives it) and its offset in
    /// the file.
    std::uint32_t DataAddress = 0;
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
    std::uint32_t CodePage = 0;
};

class TPeImage {
  public:
    /// The image's headers, or nothing when the bytes are not a 32-bit PE image (too short,
    /// no "MZ" or "PE" signature, not PE32, or a section table outside the bytes); raises
    /// nothing. The image refers to the bytes, which must outlive it.
    static std::optional<TPeImage> Parse(std::span<const std::uint8_t> bytes);

    std::uint32_t ImageBase() const { return imageBase_; }
    std::uint32_t SectionAlignment() const { return sectionAlignment_; }
    std::uint32_t FileAlignment() const { return fileAlignment_; }
    std::uint32_t SizeOfImage() const { return sizeOfImage_; }
    const std::vector<TPeSection>& Sections() const { return sections_; }

    /// The first section with that name, or null.
    const TPeSection* FindSection(std::string_view name) const;

    /// The section's contents in the file: min(virtual size, raw size) bytes from its raw
    /// data, cut short where the file ends (so the caller can tell a truncated section).
    std::span<const std::uint8_t> SectionData(const TPeSection& section) const;

    /// The relative address at which a section appended to the image would start: the end of
    /// the highest section (or of the image), rounded up to the section alignment.
    std::uint32_t NextSectionAddress() const;

    /// The file offset of a relative address inside a section's raw data; nothing elsewhere.
    std::optional<std::uint32_t> FileOffsetOf(std::uint32_t address) const;

    /// The resource directory's relative address and size (data directory 2); 0 for none.
    std::uint32_t ResourceDirectoryAddress() const { return resourceAddress_; }
    std::uint32_t ResourceDirectorySize() const { return resourceSize_; }

    /// Every resource of the resource directory, in directory order: types, then names, then
    /// languages, each level names before numbers as the directory keeps them. None when the
    /// image has no resource directory. A directory that points outside its section, a name
    /// or data entry cut short, levels that nest other than type, name, language, or more
    /// entries than the directory can hold (a loop) raise EByteReadError; data that lies outside
    /// the file raises it too.
    std::vector<TPeResource> Resources() const;

    /// The first resource with that type and name (any language), or nothing.
    std::optional<TPeResource> FindResourceEntry(const TResId& type, const TResId& name) const;

    /// The resource's bytes in the file.
    std::span<const std::uint8_t> ResourceData(const TPeResource& resource) const;

  private:
    std::span<const std::uint8_t> bytes_;
    std::uint32_t imageBase_ = 0;
    std::uint32_t sectionAlignment_ = 0;
    std::uint32_t fileAlignment_ = 0;
    std::uint32_t sizeOfImage_ = 0;
    std::uint32_t resourceAddress_ = 0;
    std::uint32_t resourceSize_ = 0;
    std::vector<TPeSection> sections_;
};
