#include "lib/LumLX/LumLXVerUtils.h"

#include <gtest/gtest.h>

TEST(VerUtils, MakeVersionPacksPartsMostSignificantFirst) {
    EXPECT_EQ(MakeVersion(2, 0, 0, 3), 0x0002000000000003u);
    EXPECT_EQ(MakeVersion(0x1234, 0x5678, 0x9ABC, 0xDEF0), 0x123456789ABCDEF0u);
    EXPECT_EQ(MakeVersion(0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF), 0xFFFFFFFFFFFFFFFFu);
    EXPECT_EQ(MakeVersion(0, 0, 0, 0), 0u);
}

TEST(VerUtils, MakeVersionOrdersAsVersionsDo) {
    constexpr TVersionNumber v3_14 = MakeVersion(3, 14, 0, 0);
    // Every 3.13, whatever its release and build, is older; 3.14.0.1 is newer.
    EXPECT_LT(MakeVersion(3, 13, 0, 0), v3_14);
    EXPECT_LT(MakeVersion(3, 13, 0xFFFF, 0xFFFF), v3_14);
    EXPECT_LT(MakeVersion(3, 13, 9999, 1), v3_14);
    EXPECT_LT(v3_14, MakeVersion(3, 14, 0, 1));
    EXPECT_LT(v3_14, MakeVersion(3, 14, 1, 0));
    EXPECT_LT(MakeVersion(2, 0xFFFF, 0, 0), MakeVersion(3, 0, 0, 0));
}

TEST(VerUtils, MajorMinorIsTheSignedUpperHalf) {
    EXPECT_EQ(VersionMajorMinor(MakeVersion(2, 0, 0, 3)), 0x00020000);
    EXPECT_EQ(VersionMajorMinor(MakeVersion(2, 50, 7, 7)), 0x00020032);
    EXPECT_EQ(VersionMajorMinor(MakeVersion(1998, 11, 0, 0)), 0x07CE000B);
    EXPECT_EQ(VersionMajorMinor(0), 0);
    // A major version from 0x8000 on is negative, as the table's signed comparison sees it.
    EXPECT_LT(VersionMajorMinor(MakeVersion(0x8000, 0, 0, 0)), 0);
}

TEST(VerUtils, VersionToStrFormats) {
    struct Case {
        TVersionFormat Format;
        TVersionNumber Version;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {vfFull, MakeVersion(2, 0, 0, 3), u"2.0.0.3"},
        {vfRelease, MakeVersion(2, 0, 0, 3), u"2.0.0"},
        {vfShortRelease, MakeVersion(2, 0, 0, 3), u"2.0 r0"},
        {vfMajorMinor, MakeVersion(2, 0, 0, 3), u"2.0"},
        {vfFull, 0, u"0.0.0.0"},
        {vfShortRelease, MakeVersion(1, 6, 77, 12), u"1.6 r77"},
        // Parts are unsigned: the largest shows as 65535, not -1.
        {vfFull, MakeVersion(65535, 65535, 65535, 65535), u"65535.65535.65535.65535"},
        {vfRelease, MakeVersion(8, 0, 7601, 17601), u"8.0.7601"},
        {vfMajorMinor, MakeVersion(10, 20, 30, 40), u"10.20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.Format));
        EXPECT_EQ(VersionToStr(c.Format, c.Version), c.Expected);
    }
}
