#include "tools/LumBuildIdentity.h"
#include "toolkit/res/LumResFile.h"

#include <gtest/gtest.h>

#include <regex>
#include <stdexcept>

namespace {

TResEntry Entry(TResId type, TResId name, std::vector<std::uint8_t> data, std::uint16_t lang = 0) {
    TResEntry entry;
    entry.Type = std::move(type);
    entry.Name = std::move(name);
    entry.Language = lang;
    entry.Data = std::move(data);
    return entry;
}

std::vector<TResEntry> Sample() {
    return {Entry(TResId::Of(u"file"), TResId::Of(u"CapicomDll"), {1, 2, 3, 4, 5}),
            Entry(TResId::Of(kRtString), TResId::Of(4096), {0, 0, 1}, 0x409),
            Entry(TResId::Of(kRtRcData), TResId::Of(u"TOSTRINFORM"), {'L', 'P', 'F', '0'})};
}

std::string Text(const std::u16string& s) { return std::string(s.begin(), s.end()); }

} // namespace

TEST(ResFile, WritesAndReadsBackEveryField) {
    auto entries = Sample();
    entries[1].MemoryFlags = 0x1030;
    entries[1].Version = 7;
    entries[1].Characteristics = 9;
    auto bytes = WriteResFile(entries);
    EXPECT_EQ(bytes.size() % 4, 0u);
    // The file opens with the empty 32-byte entry that marks the 32-bit format.
    EXPECT_EQ(bytes[4], 32);
    auto read = ReadResFile(bytes);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].Type.Name, u"FILE"); // names are stored upper case
    EXPECT_EQ(read[0].Name.Name, u"CAPICOMDLL");
    EXPECT_EQ(read[0].Data, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(read[1].Type.Number, kRtString);
    EXPECT_EQ(read[1].Name.Number, 4096);
    EXPECT_EQ(read[1].Language, 0x409);
    EXPECT_EQ(read[1].MemoryFlags, 0x1030);
    EXPECT_EQ(read[1].Version, 7u);
    EXPECT_EQ(read[1].Characteristics, 9u);
    EXPECT_EQ(read[2].Data.size(), 4u);
}

TEST(ResFile, TruncatedOrInconsistentFilesRaise) {
    auto bytes = WriteResFile(Sample());
    for (size_t cut = 1; cut < bytes.size(); ++cut) {
        std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + cut);
        // A cut between entries, or in the padding after the last one, leaves a shorter valid
        // file; anything else raises.
        try {
            auto read = ReadResFile(part);
            part.resize((part.size() + 3) / 4 * 4, 0);
            EXPECT_EQ(WriteResFile(read), part) << "cut at " << cut;
        } catch (const std::runtime_error&) {
        }
    }
    std::vector<std::uint8_t> truncated(bytes.begin(), bytes.end() - 8);
    EXPECT_THROW(ReadResFile(truncated), std::runtime_error);
    auto wrongHeader = bytes;
    wrongHeader[32 + 4] = 99; // header size of the first real entry
    EXPECT_THROW(ReadResFile(wrongHeader), std::runtime_error);
}

TEST(ResFile, SortingOrdersNumbersBeforeNamesAndRejectsDuplicates) {
    auto entries = Sample();
    SortResEntries(entries);
    EXPECT_EQ(entries[0].Type.Number, kRtString);
    EXPECT_EQ(entries[1].Type.Number, kRtRcData);
    EXPECT_EQ(Text(entries[2].Type.Name), "FILE");
    entries.push_back(entries[0]);
    EXPECT_THROW(SortResEntries(entries), std::runtime_error);
}

TEST(BuildIdentity, ChangesExactlyWhenAResourceChanges) {
    auto base = Sample();
    std::u16string identity = BuildIdentity(base);
    EXPECT_TRUE(std::regex_match(
        Text(identity),
        std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-5[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")))
        << Text(identity);

    auto reordered = base;
    std::swap(reordered[0], reordered[2]);
    EXPECT_EQ(BuildIdentity(reordered), identity);

    auto withOldIdentity = base;
    withOldIdentity.push_back(IdentityResource(u"{00000000-0000-0000-0000-000000000000}"));
    EXPECT_EQ(BuildIdentity(withOldIdentity), identity);

    auto data = base;
    data[0].Data[4] = 6;
    auto name = base;
    name[2].Name = TResId::Of(u"TOSTRINFORM2");
    auto language = base;
    language[1].Language = 0x407;
    auto added = base;
    added.push_back(TranslationFlagResource());
    for (const auto* changed : {&data, &name, &language, &added}) {
        EXPECT_NE(BuildIdentity(*changed), identity);
    }
}

TEST(BuildIdentity, IdentityAndFlagResources) {
    TResEntry identity = IdentityResource(BuildIdentity(Sample()));
    EXPECT_EQ(identity.Type.Number, kRtRcData);
    EXPECT_EQ(Text(identity.Name.Name), "LUM_TRX_GUID");
    EXPECT_EQ(identity.Data.size(), 76u);
    EXPECT_EQ(identity.Data[0], '{');
    EXPECT_EQ(identity.Data[1], 0);

    TResEntry flag = TranslationFlagResource();
    EXPECT_EQ(Text(flag.Name.Name), "LUM_TRX_FLAG");
    EXPECT_EQ(std::string(flag.Data.begin(), flag.Data.end()),
              "This application is enabled to version check its resource module.");
    EXPECT_EQ(flag.Data.size(), 65u);
}
