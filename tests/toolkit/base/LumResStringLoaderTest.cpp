#include "toolkit/base/LumResStrings.h"

#include <gtest/gtest.h>

namespace {

constexpr TResStringRec kGreeting{65000, u"Hello"};

std::u16string Translated(const TResStringRec& rec) {
    return u"Hallo #" + std::u16string(1, char16_t(u'0' + rec.Id % 10));
}

std::u16string Other(const TResStringRec&) {
    return u"other";
}

} // namespace

TEST(ResStringLoader, DeclaredTextUntilALoaderIsInstalledAndAfterItIsTakenBack) {
    TResStringLoader before = SetResStringLoader(nullptr);
    EXPECT_EQ(LoadResString(kGreeting), u"Hello");

    EXPECT_EQ(SetResStringLoader(&Translated), nullptr);
    EXPECT_EQ(LoadResString(kGreeting), u"Hallo #0");

    // Each installation hands back the one it replaced, so a stop can restore it.
    EXPECT_EQ(SetResStringLoader(&Other), &Translated);
    EXPECT_EQ(LoadResString(kGreeting), u"other");
    EXPECT_EQ(SetResStringLoader(&Translated), &Other);

    EXPECT_EQ(SetResStringLoader(before), &Translated);
    if (!before) {
        EXPECT_EQ(LoadResString(kGreeting), u"Hello");
    }
}
