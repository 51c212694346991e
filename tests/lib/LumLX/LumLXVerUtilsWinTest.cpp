// Version information of files, read from the stand-in libraries whose resources we wrote.
#include "lib/LumLX/LumLXVerUtils.h"

#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestChecks.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

namespace {

// A file without version information, and a folder, in a temporary folder of the test's own.
class VersionFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = SystemTempPath() + u"LumVerUtilsTest";
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        ASSERT_TRUE(CreateDirectoryW(WinStr(Folder()), nullptr));
        WriteTestFile(TextFile(), "no version here");
    }
    static void TearDownTestSuite() { RemoveTree(folder_); }
    static std::u16string TextFile() { return folder_ + u"\\plain.txt"; }
    static std::u16string Folder() { return folder_ + u"\\folder.dll"; }

    static inline std::u16string folder_;
};

} // namespace

TEST_F(VersionFiles, ReadVersionInfoOfNothingRaises) {
    const std::u16string missing = folder_ + u"\\missing.dll";
    EXPECT_EQ(MessageOf<Exception>([&] { ReadVersionInfo(missing); }),
              u"Internal Error: File does not exist: " + missing);
    // A folder is not a file.
    EXPECT_EQ(MessageOf<Exception>([&] { ReadVersionInfo(Folder()); }),
              u"Internal Error: File does not exist: " + Folder());
    // Every reader goes through it.
    EXPECT_EQ(MessageOf<Exception>([&] { GetFileVersion(missing); }),
              u"Internal Error: File does not exist: " + missing);
    EXPECT_EQ(MessageOf<Exception>([&] { GetVersionInfoString(u"CompanyName", missing); }),
              u"Internal Error: File does not exist: " + missing);
}

TEST_F(VersionFiles, FileWithoutVersionInformationGivesNothing) {
    EXPECT_TRUE(ReadVersionInfo(TextFile()).empty());
    EXPECT_EQ(GetFirstTranslation(TextFile()), 0u);
    EXPECT_EQ(GetVersionInfoString(u"CompanyName", TextFile()), u"");
    EXPECT_EQ(GetFileVersion(TextFile()), 0u);
    TFixedFileInfo info = GetFixedFileInfo(TextFile());
    EXPECT_EQ(info.Signature, 0u);
    EXPECT_EQ(info.FileVersionMS, 0u);
    EXPECT_EQ(info.FileType, 0u);
}

TEST(VerUtilsWin, FileVersionsOfTheStandins) {
    struct Case {
        const char16_t* File;
        TVersionNumber Expected;
    };
    const Case cases[] = {
        {u"capicom.dll", MakeVersion(2, 0, 0, 3)},
        {u"capicom1\\capicom.dll", MakeVersion(1, 0, 0, 0)},
        {u"wininet4\\wininet.dll", MakeVersion(4, 72, 3110, 8)},
        {u"rpawinet.dll", MakeVersion(3, 13, 0, 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.File));
        EXPECT_EQ(GetFileVersion(StandinPath(c.File)), c.Expected);
    }
}

TEST(VerUtilsWin, FixedFileInfo) {
    TFixedFileInfo info = GetFixedFileInfo(StandinPath(u"wininet4\\wininet.dll"));
    EXPECT_EQ(info.Signature, 0xFEEF04BDu);
    EXPECT_EQ(info.FileVersionMS, 0x00040048u);
    EXPECT_EQ(info.FileVersionLS, 0x0C260008u);
    EXPECT_EQ(info.ProductVersionMS, 0x00040048u);
    EXPECT_EQ(info.FileType, 2u); // VFT_DLL
    EXPECT_EQ(info.FileOS, 4u);   // VOS__WINDOWS32
}

TEST(VerUtilsWin, FirstTranslation) {
    // Language in the low half, code page in the high half.
    EXPECT_EQ(GetFirstTranslation(StandinPath(u"capicom.dll")), 0x04E40409u);
    EXPECT_EQ(GetFirstTranslation(StandinPath(u"rpawinet.dll")), 0x04B00409u);
}

TEST(VerUtilsWin, VersionInfoStrings) {
    const std::u16string capicom = StandinPath(u"capicom.dll");
    const std::u16string rpawinet = StandinPath(u"rpawinet.dll");
    EXPECT_EQ(GetVersionInfoString(u"CompanyName", capicom), u"Lum Software");
    EXPECT_EQ(GetVersionInfoString(u"ProductName", capicom), u"CAPICOM 2.0 stand-in");
    EXPECT_EQ(GetVersionInfoString(u"FileVersion", capicom), u"2.0.0.3");
    EXPECT_EQ(GetVersionInfoString(u"OriginalFilename", capicom), u"capicom.dll");
    EXPECT_EQ(GetVersionInfoString(u"Comments", capicom), u"");
    // The file's own translation given explicitly, and one it does not have.
    EXPECT_EQ(GetVersionInfoString(u"CompanyName", capicom, 0x0409, 1252), u"Lum Software");
    EXPECT_EQ(GetVersionInfoString(u"CompanyName", capicom, 0x0407, 1252), u"");
    // Either part 0 takes both from the translation table.
    EXPECT_EQ(GetVersionInfoString(u"CompanyName", capicom, 0x0407, 0), u"Lum Software");
    EXPECT_EQ(GetVersionInfoString(u"CompanyName", capicom, 0, 1250), u"Lum Software");
    // A block stored with a lower-case name ("040904b0") is found all the same.
    EXPECT_EQ(GetVersionInfoString(u"CompanyName", rpawinet),
              u"CompuServe Interactive Services, Inc.");
    EXPECT_EQ(GetVersionInfoString(u"CompanyName", rpawinet, 0x0409, 1200),
              u"CompuServe Interactive Services, Inc.");
}
