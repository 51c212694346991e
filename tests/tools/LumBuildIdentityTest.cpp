#include "tools/LumBuildIdentity.h"

#include <gtest/gtest.h>

#include <regex>

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

std::string Text(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

} // namespace

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
    withOldIdentity.push_back(BuildIdentityResource(u"{00000000-0000-0000-0000-000000000000}"));
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

TEST(BuildIdentity, IsAGuidInRegistryFormThatTheFormatReadsBack) {
    std::u16string identity = BuildIdentity(Sample());
    EXPECT_TRUE(IsRegistryGuid(identity));
    EXPECT_EQ(ParseBuildIdentity(BuildIdentityResource(identity).Data), identity);
}
