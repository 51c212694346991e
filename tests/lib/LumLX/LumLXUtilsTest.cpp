// The portable topics of the general utilities.
#include "lib/LumLX/LumLXUtils.h"

#include <gtest/gtest.h>

TEST(LXUtils, PlatformName) {
    EXPECT_EQ(PlatformName(0), u"Win32s");
    EXPECT_EQ(PlatformName(1), u"Win9x");
    EXPECT_EQ(PlatformName(2), u"NT");
    EXPECT_EQ(PlatformName(3), u"3");
    EXPECT_EQ(PlatformName(4294967295u), u"4294967295");
}

TEST(LXUtils, OSVersionText) {
    EXPECT_EQ(OSVersionText(2, 5, 1, 2600, u"Service Pack 2"),
              u"NT 5.1 (Build 2600) Service Pack 2");
    EXPECT_EQ(OSVersionText(1, 4, 10, 2222, u"A"), u"Win9x 4.10 (Build 2222) A");
    // Without a service pack the line keeps its separating space.
    EXPECT_EQ(OSVersionText(2, 6, 1, 7601, u""), u"NT 6.1 (Build 7601) ");
    EXPECT_EQ(OSVersionText(7, 10, 0, 19045, u""), u"7 10.0 (Build 19045) ");
}

TEST(LXUtils, CodePageIsoName) {
    struct Case {
        std::uint32_t CodePage;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {1250, u"ISO 8859-2,  Latin 2 (Central Europe)"},
        {1251, u"ISO 8859-5,  Cyrillic (Slavic)"},
        {1252, u"ISO 8859-1,  Latin 1 (ANSI)"},
        {1253, u"ISO 8859-7,  Greek"},
        {1254, u"ISO 8859-9,  Latin 5 (Turkish)"},
        {1255, u"ISO 8859-8,  Hebrew"},
        {1256, u"ISO 8859-6,  Arabic"},
        {1257, u"ISO 8859-4,  Scandinavia and Baltic Rim"},
        {874, u"(Unknown ISO equivalent)"},
        {1249, u"(Unknown ISO equivalent)"},
        {1258, u"(Unknown ISO equivalent)"},
        {65001, u"(Unknown ISO equivalent)"},
        {0, u"(Unknown ISO equivalent)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.CodePage);
        EXPECT_EQ(CodePageIsoName(c.CodePage), c.Expected);
    }
}

TEST(LXUtils, OfficeAppNames) {
    EXPECT_EQ(OfficeAppName(oaWord), u"Word");
    EXPECT_EQ(OfficeAppName(oaExcel), u"Excel");
    EXPECT_EQ(OfficeAppName(oaOutlook), u"Outlook");
    EXPECT_EQ(OfficeAppName(oaAccess), u"Access");
}
