#include "toolkit/res/LumPeImage.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void Put16(std::vector<std::uint8_t>& b, size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& b, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

struct Section {
    const char* Name;
    std::uint32_t VirtualSize, VirtualAddress, RawSize, RawPointer, Characteristics;
};

constexpr size_t kPe = 0x40;
constexpr size_t kOptional = kPe + 24;
constexpr size_t kTable = kOptional + 0xE0;

// A minimal PE32 image: headers, section table, and the file padded to `fileSize`.
std::vector<std::uint8_t> Image(const std::vector<Section>& sections, size_t fileSize) {
    std::vector<std::uint8_t> b(fileSize, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPe);
    std::memcpy(&b[kPe], "PE\0\0", 4);
    Put16(b, kPe + 4, 0x14C);
    Put16(b, kPe + 6, static_cast<std::uint16_t>(sections.size()));
    Put16(b, kPe + 20, 0xE0);
    Put16(b, kOptional, 0x10B);
    Put32(b, kOptional + 28, 0x400000);
    Put32(b, kOptional + 32, 0x1000);
    Put32(b, kOptional + 36, 0x200);
    Put32(b, kOptional + 56, 0x3000);
    for (size_t i = 0; i < sections.size(); ++i) {
        size_t at = kTable + 40 * i;
        std::memcpy(&b[at], sections[i].Name, std::strlen(sections[i].Name));
        Put32(b, at + 8, sections[i].VirtualSize);
        Put32(b, at + 12, sections[i].VirtualAddress);
        Put32(b, at + 16, sections[i].RawSize);
        Put32(b, at + 20, sections[i].RawPointer);
        Put32(b, at + 36, sections[i].Characteristics);
    }
    return b;
}

const std::vector<Section> kTwoSections = {
    {".text", 0x120, 0x1000, 0x200, 0x400, 0x60000020},
    {"LUM.RSM", 0x3C, 0x2000, 0x200, 0x600, 0x40000040},
};

} // namespace

TEST(PeImage, ReadsHeadersAndSections) {
    auto bytes = Image(kTwoSections, 0x800);
    for (size_t i = 0; i < 0x3C; ++i) {
        bytes[0x600 + i] = static_cast<std::uint8_t>(i + 1);
    }
    auto image = TPeImage::Parse(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ImageBase(), 0x400000u);
    EXPECT_EQ(image->SectionAlignment(), 0x1000u);
    ASSERT_EQ(image->Sections().size(), 2u);
    const TPeSection* map = image->FindSection("LUM.RSM");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->Characteristics, 0x40000040u);
    // The contents are the virtual size, not the padded raw size.
    auto data = image->SectionData(*map);
    ASSERT_EQ(data.size(), 0x3Cu);
    EXPECT_EQ(data.front(), 1);
    EXPECT_EQ(data.back(), 0x3C);
    EXPECT_EQ(image->FindSection("LUM.DBG"), nullptr);
    EXPECT_EQ(image->FindSection("LUM.RS"), nullptr);
}

TEST(PeImage, NextSectionAddressFollowsTheLastSection) {
    auto image = TPeImage::Parse(Image(kTwoSections, 0x800));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->NextSectionAddress(), 0x3000u);

    // A section larger than SizeOfImage claims pushes the address out.
    auto grown = kTwoSections;
    grown[1].VirtualSize = 0x1001;
    auto bigger = TPeImage::Parse(Image(grown, 0x800));
    ASSERT_TRUE(bigger);
    EXPECT_EQ(bigger->NextSectionAddress(), 0x4000u);
}

TEST(PeImage, SectionBeyondTheFileIsCutShort) {
    auto bytes = Image(kTwoSections, 0x620);
    auto image = TPeImage::Parse(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->SectionData(*image->FindSection("LUM.RSM")).size(), 0x20u);
    EXPECT_TRUE(image->SectionData(*image->FindSection(".text")).size() == 0x120u);

    auto far = kTwoSections;
    far[1].RawPointer = 0x7FFFFFFF;
    auto farImage = TPeImage::Parse(Image(far, 0x620));
    ASSERT_TRUE(farImage);
    EXPECT_TRUE(farImage->SectionData(farImage->Sections()[1]).empty());
}

TEST(PeImage, RejectsWhatIsNotAPe32Image) {
    auto full = Image(kTwoSections, 0x800);
    size_t headersEnd = kTable + 40 * kTwoSections.size();
    // Every cut before the end of the section table answers nothing, and reads nothing beyond.
    for (size_t size = 0; size < headersEnd; ++size) {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + size);
        EXPECT_FALSE(TPeImage::Parse(cut)) << size;
    }
    EXPECT_TRUE(TPeImage::Parse(std::span(full).first(headersEnd)));

    auto noMz = full;
    noMz[0] = 'X';
    EXPECT_FALSE(TPeImage::Parse(noMz));

    auto pe64 = full;
    Put16(pe64, kOptional, 0x20B);
    EXPECT_FALSE(TPeImage::Parse(pe64));

    auto wildOffset = full;
    Put32(wildOffset, 0x3C, 0xFFFFFFFE);
    EXPECT_FALSE(TPeImage::Parse(wildOffset));

    auto manySections = full;
    Put16(manySections, kPe + 6, 0xFFFF);
    EXPECT_FALSE(TPeImage::Parse(manySections));
}

TEST(PeImage, LongNamesComeFromTheStringTable) {
    auto bytes = Image({{"/4", 0x10, 0x1000, 0x200, 0x400, 0x42000040},
                        {"/99", 0x10, 0x2000, 0x200, 0x400, 0x42000040}},
                       0x800);
    // One symbol record (18 bytes) at 0x700, then the string table: its size, then names.
    Put32(bytes, kPe + 12, 0x700);
    Put32(bytes, kPe + 16, 1);
    size_t table = 0x700 + 18;
    std::memcpy(&bytes[table + 4], ".debug_info", 12);
    auto image = TPeImage::Parse(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Sections()[0].Name, ".debug_info");
    EXPECT_EQ(image->Sections()[1].Name, "/99"); // an empty name there: the field stays
}
