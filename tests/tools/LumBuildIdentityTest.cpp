#include "tools/LumBuildIdentity.h"

#include "tests/support/LumTestResources.h"

#include <gtest/gtest.h>

#include <regex>

TEST(BuildIdentity, ChangesExactlyWhenAResourceChanges) {
    auto base = SampleResources();
    std::u16string identity = BuildIdentity(base);
    EXPECT_TRUE(std::regex_match(
        AsciiOf(identity),
        std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-5[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")))
        << AsciiOf(identity);

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
    std::u16string identity = BuildIdentity(SampleResources());
    EXPECT_TRUE(IsRegistryGuid(identity));
    EXPECT_EQ(ParseBuildIdentity(BuildIdentityResource(identity).Data), identity);
}
