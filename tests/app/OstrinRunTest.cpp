// Which command lines ask for the unattended run.

#include "app/OstrinRun.h"

#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

TEST(OstrinRun, TheUnattendedSwitchIsAnArgumentOfItsOwn) {
    struct Case {
        const char16_t* CommandLine;
        bool Unattended;
    };
    const Case cases[] = {
        {u"Ostrin.exe /S", true},
        {u"Ostrin.exe /s", true},
        {u"\"C:\\Program Files\\Lum\\Ostrin.exe\" /S", true},
        {u"Ostrin.exe\t/S", true},
        {u"Ostrin.exe /X /S", true},
        {u"Ostrin.exe \"/S\"", true},
        {u"", false},
        {u"Ostrin.exe", false},
        {u"Ostrin.exe   ", false},
        {u"Ostrin.exe /Silent", false},
        {u"Ostrin.exe S", false},
        // Part of the program's name, not an argument.
        {u"\"C:\\Setup /S\\Ostrin.exe\"", false},
        {u"C:\\Setup/S\\Ostrin.exe", false},
        {u"\"C:\\Program Files\\Lum\\Ostrin.exe\"/S", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.CommandLine));
        EXPECT_EQ(IsUnattendedCommandLine(c.CommandLine), c.Unattended);
    }
}
