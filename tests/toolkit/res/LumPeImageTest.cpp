#include "toolkit/res/LumPeImage.h"

#include "toolkit/base/LumByteIO.h"
#include "toolkit/res/LumStringTables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#endif

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

// A resource directory for resources given in directory order (per level names first, then
// numbers, ascending), as the section at relative address `address` holds it: the tables, the
// data entries, the names, then the data.
struct Resource {
    TResId Type;
    TResId Name;
    std::uint16_t Language;
    std::string Data;
};

std::vector<std::uint8_t> ResourceSection(const std::vector<Resource>& resources,
                                          std::uint32_t address) {
    struct Node {
        TResId Id;
        std::vector<Node> Children;
        size_t Resource = 0;
    };
    std::vector<Node> types;
    for (size_t i = 0; i < resources.size(); ++i) {
        const Resource& r = resources[i];
        if (types.empty() || !(types.back().Id == r.Type)) {
            types.push_back({r.Type, {}, 0});
        }
        auto& names = types.back().Children;
        if (names.empty() || !(names.back().Id == r.Name)) {
            names.push_back({r.Name, {}, 0});
        }
        names.back().Children.push_back({TResId(r.Language), {}, i});
    }
    // First pass: where every table, data entry, name and data goes.
    size_t tables = 0;
    auto tableSize = [](const std::vector<Node>& level) { return 16 + 8 * level.size(); };
    tables += tableSize(types);
    for (const Node& type : types) {
        tables += tableSize(type.Children);
        for (const Node& name : type.Children) {
            tables += tableSize(name.Children);
        }
    }
    size_t entries = tables;
    size_t strings = entries + 16 * resources.size();
    std::vector<std::uint8_t> names;
    std::vector<std::uint8_t> data;
    TByteWriter out;
    size_t nextTable = 0;
    auto idField = [&](const TResId& id) -> std::uint32_t {
        if (id.IsNumber()) {
            return id.Number();
        }
        std::uint32_t at = static_cast<std::uint32_t>(strings + names.size());
        names.push_back(static_cast<std::uint8_t>(id.Name().size()));
        names.push_back(0);
        for (char16_t c : id.Name()) {
            names.push_back(static_cast<std::uint8_t>(c));
            names.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        return at | 0x80000000u;
    };
    // Tables breadth first: the root, the types' tables, then the names' tables.
    std::vector<std::pair<const std::vector<Node>*, int>> order{{&types, 0}};
    for (const Node& type : types) {
        order.push_back({&type.Children, 1});
    }
    for (const Node& type : types) {
        for (const Node& name : type.Children) {
            order.push_back({&name.Children, 2});
        }
    }
    nextTable = tableSize(types);
    for (auto [level, depth] : order) {
        size_t named = 0;
        for (const Node& node : *level) {
            named += node.Id.IsName();
        }
        out.U32(0);
        out.U32(0);
        out.U32(0);
        out.U16(static_cast<std::uint16_t>(named));
        out.U16(static_cast<std::uint16_t>(level->size() - named));
        for (const Node& node : *level) {
            out.U32(idField(node.Id));
            if (depth < 2) {
                out.U32(static_cast<std::uint32_t>(nextTable) | 0x80000000u);
                nextTable += tableSize(node.Children);
            } else {
                out.U32(static_cast<std::uint32_t>(entries + 16 * node.Resource));
            }
        }
    }
    size_t dataStart = (strings + names.size() + 3) / 4 * 4;
    for (const Resource& r : resources) {
        out.U32(static_cast<std::uint32_t>(address + dataStart + data.size()));
        out.U32(static_cast<std::uint32_t>(r.Data.size()));
        out.U32(1252);
        out.U32(0);
        data.insert(data.end(), r.Data.begin(), r.Data.end());
        data.resize((data.size() + 3) / 4 * 4, 0);
    }
    out.Bytes(names);
    out.AlignTo(4);
    out.Bytes(data);
    return out.Take();
}

const std::vector<Resource> kResources = {
    {TResId(u"FILE"), TResId(u"CAPICOMDLL"), 0, "MZ library"},
    {TResId(6), TResId(4096), 0, std::string("\0\0\1\0x\0", 6)},
    {TResId(10), TResId(u"LUM_TRX_FLAG"), 0, "flag"},
    {TResId(10), TResId(u"TOSTRINFORM"), 0x407, "LPF0 de"},
    {TResId(10), TResId(u"TOSTRINFORM"), 0x409, "LPF0 en"},
    {TResId(10), TResId(1), 0, ""},
};

// An image whose third section (".rsrc" at 0x3000, raw data at 0x800) holds the resources;
// data directory 2 points at it.
std::vector<std::uint8_t> ImageWithResources(const std::vector<Resource>& resources) {
    std::vector<std::uint8_t> section = ResourceSection(resources, 0x3000);
    std::uint32_t raw = static_cast<std::uint32_t>((section.size() + 0x1FF) / 0x200 * 0x200);
    auto bytes = Image(
        {{".text", 0x120, 0x1000, 0x200, 0x400, 0x60000020},
         {".data", 0x10, 0x2000, 0x200, 0x600, 0xC0000040},
         {".rsrc", static_cast<std::uint32_t>(section.size()), 0x3000, raw, 0x800, 0x40000040}},
        0x800 + raw);
    std::memcpy(&bytes[0x800], section.data(), section.size());
    Put32(bytes, kOptional + 92, 16);
    Put32(bytes, kOptional + 96 + 16, 0x3000);
    Put32(bytes, kOptional + 96 + 20, static_cast<std::uint32_t>(section.size()));
    return bytes;
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

    auto distant = kTwoSections;
    distant[1].RawPointer = 0x7FFFFFFF;
    auto distantImage = TPeImage::Parse(Image(distant, 0x620));
    ASSERT_TRUE(distantImage);
    EXPECT_TRUE(distantImage->SectionData(distantImage->Sections()[1]).empty());
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

TEST(PeImage, WalksTheResourceDirectory) {
    auto bytes = ImageWithResources(kResources);
    auto image = TPeImage::Parse(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ResourceDirectoryAddress(), 0x3000u);
    std::vector<TPeResource> found = image->Resources();
    ASSERT_EQ(found.size(), kResources.size());
    for (size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(found[i].Type, kResources[i].Type);
        EXPECT_EQ(found[i].Name, kResources[i].Name);
        EXPECT_EQ(found[i].Language, kResources[i].Language);
        EXPECT_EQ(found[i].Size, kResources[i].Data.size());
        EXPECT_EQ(found[i].CodePage, 1252u);
        EXPECT_EQ(found[i].Offset, found[i].DataAddress - 0x3000 + 0x800);
        auto data = image->ResourceData(found[i]);
        EXPECT_EQ(std::string(data.begin(), data.end()), kResources[i].Data);
    }
    auto form = image->FindResourceEntry(RcDataType(), TResId(u"TOSTRINFORM"));
    ASSERT_TRUE(form);
    EXPECT_EQ(form->Language, 0x407);
    EXPECT_FALSE(image->FindResourceEntry(RcDataType(), TResId(u"MISSING")));
    auto block = image->FindResourceEntry(TResId(kRtString), TResId(4096));
    ASSERT_TRUE(block);
    std::vector<std::u16string> strings = DecodeStringBlock(image->ResourceData(*block));
    ASSERT_EQ(strings.size(), 2u); // the block is cut short after the second string
    EXPECT_EQ(strings[1], u"x");

    EXPECT_EQ(image->FileOffsetOf(0x3004), 0x804u);
    EXPECT_FALSE(image->FileOffsetOf(0x2FFF + 0x1000)); // beyond the raw data
    EXPECT_FALSE(image->FileOffsetOf(0x10));            // the headers are no section
}

TEST(PeImage, NoDirectoryMeansNoResources) {
    auto image = TPeImage::Parse(Image(kTwoSections, 0x800));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ResourceDirectoryAddress(), 0u);
    EXPECT_TRUE(image->Resources().empty());
    // An optional header too small for data directory 2 has none either.
    auto small = Image(kTwoSections, 0x800);
    Put32(small, kOptional + 92, 2);
    Put32(small, kOptional + 96 + 16, 0x2000);
    EXPECT_TRUE(TPeImage::Parse(small)->Resources().empty());
}

TEST(PeImage, EveryCutOfTheResourceSectionRaisesOrReadsInside) {
    auto bytes = ImageWithResources(kResources);
    auto whole = TPeImage::Parse(bytes);
    ASSERT_TRUE(whole);
    const TPeSection* rsrc = whole->FindSection(".rsrc");
    size_t end = 0x800 + rsrc->VirtualSize;
    for (size_t size = 0x800; size < end; ++size) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> cut(bytes.begin(),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(size));
        auto image = TPeImage::Parse(cut);
        ASSERT_TRUE(image);
        try {
            for (const TPeResource& resource : image->Resources()) {
                image->ResourceData(resource);
            }
            ADD_FAILURE() << "a cut directory read whole";
        } catch (const EByteReadError&) {
        }
    }
}

TEST(PeImage, MalformedDirectoriesRaise) {
    auto bytes = ImageWithResources(kResources);
    // The root's first entry points at the root again: a loop.
    auto loop = bytes;
    Put32(loop, 0x800 + 16 + 4, 0x80000000u);
    EXPECT_THROW(TPeImage::Parse(loop)->Resources(), EByteReadError);
    // The root's first entry points at a data entry instead of a table.
    auto flat = bytes;
    Put32(flat, 0x800 + 16 + 4, 0x10);
    EXPECT_THROW(TPeImage::Parse(flat)->Resources(), EByteReadError);
    // A name offset past the section.
    auto wildName = bytes;
    Put32(wildName, 0x800 + 16, 0x8000FFF0u);
    EXPECT_THROW(TPeImage::Parse(wildName)->Resources(), EByteReadError);
    // Data past the end of the file.
    auto image = TPeImage::Parse(bytes);
    std::vector<TPeResource> found = image->Resources();
    TPeResource distant = found[0];
    distant.Offset = static_cast<std::uint32_t>(bytes.size() - 2);
    EXPECT_THROW(image->ResourceData(distant), EByteReadError);
    // A directory whose root lies outside every section.
    auto outside = bytes;
    Put32(outside, kOptional + 96 + 16, 0x9000);
    EXPECT_THROW(TPeImage::Parse(outside)->Resources(), EByteReadError);
}

#ifdef _WIN32
// The walker on a real image: this test's own executable, whose string tables the linker put
// there; every block decodes to what the system's LoadStringW reads.
TEST(PeImage, WalksItsOwnExecutable) {
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    std::ifstream in(WideToAnsi(FromWinStr(path)), std::ios::binary);
    ASSERT_TRUE(in);
    std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    auto image = TPeImage::Parse(bytes);
    ASSERT_TRUE(image);
    size_t blocks = 0;
    for (const TPeResource& resource : image->Resources()) {
        if (resource.Type != TResId(kRtString)) {
            continue;
        }
        ++blocks;
        std::vector<std::u16string> strings = DecodeStringBlock(image->ResourceData(resource));
        ASSERT_EQ(strings.size(), 16u);
        for (unsigned i = 0; i < 16; ++i) {
            auto id = static_cast<UINT>((resource.Name.Number() - 1) * 16 + i);
            const wchar_t* stored = nullptr;
            int length =
                LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&stored), 0);
            EXPECT_EQ(strings[i], length > 0 ? FromWinStr(stored, static_cast<size_t>(length))
                                             : std::u16string())
                << id;
        }
    }
    EXPECT_GT(blocks, 5u);
}
#endif
