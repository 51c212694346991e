#include "toolkit/res/LumResFile.h"
#include "toolkit/res/LumBuildIdentity.h"
#include "toolkit/res/LumResId.h"

#include "tests/support/LumTestResources.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ResFile, WritesAndReadsBackEveryField) {
    auto entries = SampleResources();
    entries[1].MemoryFlags = 0x1030;
    entries[1].Version = 7;
    entries[1].Characteristics = 9;
    auto bytes = WriteResFile(entries);
    EXPECT_EQ(bytes.size() % 4, 0u);
    // The file opens with the empty 32-byte entry that marks the 32-bit format.
    EXPECT_EQ(bytes[4], 32);
    auto read = ReadResFile(bytes);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].Type.Name(), u"FILE"); // names are stored upper case
    EXPECT_EQ(read[0].Name.Name(), u"CAPICOMDLL");
    EXPECT_EQ(read[0].Data, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(read[1].Type.Number(), kRtString);
    EXPECT_EQ(read[1].Name.Number(), 4096);
    EXPECT_EQ(read[1].Language, 0x409);
    EXPECT_EQ(read[1].MemoryFlags, 0x1030);
    EXPECT_EQ(read[1].Version, 7u);
    EXPECT_EQ(read[1].Characteristics, 9u);
    EXPECT_EQ(read[2].Data.size(), 4u);
}

TEST(ResFile, TruncatedOrInconsistentFilesRaise) {
    auto bytes = WriteResFile(SampleResources());
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
    auto entries = SampleResources();
    SortResEntries(entries);
    EXPECT_EQ(entries[0].Type.Number(), kRtString);
    EXPECT_EQ(entries[1].Type.Number(), kRtRcData);
    EXPECT_EQ(AsciiOf(entries[2].Type.Name()), "FILE");
    entries.push_back(entries[0]);
    EXPECT_THROW(SortResEntries(entries), std::runtime_error);
}

TEST(ResFile, NamesAreReadAsStoredAndAnEmptyNameIsTheNumberZero) {
    // A name in lower case, as another tool may store it, stays as it is.
    TResEntry lower = TestResEntry(TResId(u"lower"), TResId::Of(1), {9});
    auto read = ReadResFile(WriteResFile({lower}));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].Type, TResId(u"lower"));
    EXPECT_EQ(read[0].Name, TResId(1));
}

TEST(ResId, NumbersAndNames) {
    TResId number(std::uint16_t(10));
    EXPECT_TRUE(number.IsNumber());
    EXPECT_FALSE(number.IsName());
    EXPECT_EQ(number.Number(), 10);
    EXPECT_EQ(number.Display(), u"10");
    EXPECT_EQ(number, RcDataType());
    EXPECT_EQ(TResId::Of(kRtRcData), number);

    TResId name(u"capicomDll");
    EXPECT_TRUE(name.IsName());
    EXPECT_EQ(name.Name(), u"capicomDll"); // kept as given: the system matches without case
    EXPECT_EQ(name.Display(), u"capicomDll");
    EXPECT_EQ(TResId::Of(u"capicomDll").Name(), u"CAPICOMDLL");
    EXPECT_NE(name, TResId::Of(u"capicomDll"));
    EXPECT_EQ(TResId::Of(u""), TResId());
    EXPECT_EQ(TResId(), TResId(std::uint16_t(0)));

    // Numbers before names, numbers by value, names by their code units.
    EXPECT_LT(TResId(std::uint16_t(65535)), TResId(u"A"));
    EXPECT_LT(TResId(std::uint16_t(2)), TResId(std::uint16_t(10)));
    EXPECT_LT(TResId(u"AB"), TResId(u"B"));
}

TEST(BuildIdentityFormat, IdentityAndFlagResources) {
    const std::u16string guid = u"{0123ABCD-4567-589A-BCDE-F0123456789A}";
    ASSERT_TRUE(IsRegistryGuid(guid));
    TResEntry identity = BuildIdentityResource(guid);
    EXPECT_TRUE(IsBuildIdentityResource(identity));
    EXPECT_EQ(identity.Type.Number(), kRtRcData);
    EXPECT_EQ(AsciiOf(identity.Name.Name()), "LUM_TRX_GUID");
    EXPECT_EQ(identity.Data.size(), kBuildIdentitySize);
    EXPECT_EQ(identity.Data.size(), 76u);
    EXPECT_EQ(identity.Data[0], '{');
    EXPECT_EQ(identity.Data[1], 0);
    EXPECT_EQ(ParseBuildIdentity(identity.Data), guid);

    TResEntry flag = TranslationFlagResource();
    EXPECT_FALSE(IsBuildIdentityResource(flag));
    EXPECT_EQ(AsciiOf(flag.Name.Name()), "LUM_TRX_FLAG");
    EXPECT_EQ(std::string(flag.Data.begin(), flag.Data.end()),
              "This application is enabled to version check its resource module.");
    EXPECT_EQ(flag.Data.size(), 65u);
}

TEST(BuildIdentityFormat, ThePlaceholderAndOddDataCountAsNoIdentity) {
    EXPECT_TRUE(IsRegistryGuid(kBuildIdentityPlaceholder) == false);
    EXPECT_EQ(ParseBuildIdentity(BuildIdentityResource(kBuildIdentityPlaceholder).Data), u"");
    EXPECT_EQ(ParseBuildIdentity({}), u"");
    // Text up to a zero character; an odd last byte is no character.
    std::vector<std::uint8_t> data = BuildIdentityResource(u"{AB}").Data;
    std::vector<std::uint8_t> withZero = data;
    withZero.insert(withZero.end(), {0, 0, 'x', 0, 7});
    EXPECT_EQ(ParseBuildIdentity(withZero), u"{AB}");
    data.push_back('x');
    EXPECT_EQ(ParseBuildIdentity(data), u"{AB}");

    EXPECT_FALSE(IsRegistryGuid(u"{0123ABCD-4567-589A-BCDE-F0123456789}"));
    EXPECT_FALSE(IsRegistryGuid(u"(0123ABCD-4567-589A-BCDE-F0123456789A)"));
    EXPECT_FALSE(IsRegistryGuid(u"{0123ABCD-4567-589A-BCDE+F0123456789A}"));
    EXPECT_TRUE(IsRegistryGuid(u"{0123abcd-4567-589a-bcde-f0123456789a}"));
}
