// The Win32 general utilities: long names and paths, random numbers, folders made and deleted,
// the system queries, shell execution and the cursor stack. Files live in a folder of the
// test's own under the temporary folder, removed at the end.
#include "lib/LumLX/LumLXUtilsWin.h"

#include "tests/support/LumTestChecks.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestRandom.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/win/LumRandomWin.h"
#include "toolkit/win/LumSystemWin.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

// A folder of the test's own under the temporary folder (no trailing backslash), made empty
// at the start and removed at the end.
class TTestFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = SystemTempPath() + u"Lum General Utils Test";
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr)) << WideToUtf8(folder_);
    }
    void TearDown() override { RemoveTree(folder_); }

    /// Creates a file (its folder must exist) and returns its full path.
    std::u16string AddFile(std::u16string_view relative) {
        std::u16string file = folder_ + u"\\" + std::u16string(relative);
        WriteTestFile(file);
        return file;
    }

    std::u16string AddFolder(std::u16string_view relative) {
        std::u16string path = folder_ + u"\\" + std::u16string(relative);
        EXPECT_TRUE(CreateDirectoryW(WinStr(path), nullptr)) << WideToUtf8(path);
        return path;
    }

    std::u16string folder_;
};

// Starts the utilities unit for the test and stops it again, so that the test leaves it as
// it found it (stopped, in this program).
class TUnitRunning {
  public:
    TUnitRunning() { LumLXUtilsUnit.Start(); }
    TUnitRunning(const TUnitRunning&) = delete;
    TUnitRunning& operator=(const TUnitRunning&) = delete;
    ~TUnitRunning() { LumLXUtilsUnit.Stop(); }
};

// Puts the screen's cursor back as it was.
class TCursorKept {
  public:
    TCursorKept() : cursor_(ScreenCursor()) {}
    TCursorKept(const TCursorKept&) = delete;
    TCursorKept& operator=(const TCursorKept&) = delete;
    ~TCursorKept() { SetScreenCursor(cursor_); }

  private:
    TCursor cursor_;
};

} // namespace

// ---- Long names and paths ----

using LXLongNames = TTestFolder;

TEST_F(LXLongNames, LongNameIsTheStoredName) {
    AddFolder(u"Mixed Case Folder");
    AddFile(u"Mixed Case Folder\\Some Long File Name.txt");
    struct Case {
        std::u16string Path;
        std::u16string Expected;
    };
    const Case cases[] = {
        {folder_ + u"\\mixed case folder\\some long file name.TXT", u"Some Long File Name.txt"},
        {folder_ + u"\\MIXED CASE FOLDER", u"Mixed Case Folder"},
        // Nothing found: the path as given.
        {folder_ + u"\\mixed case folder\\missing.txt",
         folder_ + u"\\mixed case folder\\missing.txt"},
        // Wildcards would name another file.
        {folder_ + u"\\mixed case folder\\some*", folder_ + u"\\mixed case folder\\some*"},
        {folder_ + u"\\mixed case folder\\Some Long File Name.tx?",
         folder_ + u"\\mixed case folder\\Some Long File Name.tx?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Path));
        EXPECT_EQ(LongName(c.Path), c.Expected);
    }
}

TEST_F(LXLongNames, LongPathExpandsEveryElement) {
    AddFolder(u"Mixed Case Folder");
    AddFolder(u"Mixed Case Folder\\Inner Folder");
    AddFile(u"Mixed Case Folder\\Inner Folder\\Some Long File Name.txt");
    // The test folder's own stored form, from which the cases go on.
    std::u16string base = LongPath(folder_);
    ASSERT_EQ(AsciiUpperCase(base), AsciiUpperCase(folder_));
    EXPECT_EQ(base.substr(base.rfind(u'\\')), u"\\Lum General Utils Test");
    struct Case {
        std::u16string Path;
        std::u16string Expected;
    };
    const Case cases[] = {
        // Every element but the root (as given) comes as stored.
        {AsciiUpperCase(folder_) + u"\\MIXED CASE FOLDER\\INNER FOLDER\\SOME LONG FILE NAME.TXT",
         AsciiUpperCase(base.substr(0, 3)) + base.substr(3) +
             u"\\Mixed Case Folder\\Inner Folder\\Some Long File Name.txt"},
        // A trailing backslash stays.
        {folder_ + u"\\MIXED CASE FOLDER\\", base + u"\\Mixed Case Folder\\"},
        // The full path is formed first.
        {folder_ + u"\\mixed case folder\\inner folder\\..\\.\\INNER FOLDER",
         base + u"\\Mixed Case Folder\\Inner Folder"},
        // Elements that do not exist keep the name given, in their place.
        {folder_ + u"\\mixed case folder\\New Sub\\new file.txt",
         base + u"\\Mixed Case Folder\\New Sub\\new file.txt"},
        {u"c:\\", u"c:\\"},
        {u"C:\\", u"C:\\"},
        {u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Path));
        EXPECT_EQ(LongPath(c.Path), c.Expected);
    }
}

TEST_F(LXLongNames, LongPathOfAShortName) {
    std::u16string file = AddFolder(u"Mixed Case Folder") + u"\\Some Long File Name.txt";
    AddFile(u"Mixed Case Folder\\Some Long File Name.txt");
    wchar_t shortPath[MAX_PATH];
    DWORD length = GetShortPathNameW(WinStr(file), shortPath, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::u16string shortName = FromWinStr(shortPath, length);
    ASSERT_NE(AsciiUpperCase(shortName), AsciiUpperCase(file))
        << "the file system gave no short name";
    EXPECT_EQ(LongPath(shortName),
              LongPath(folder_) + u"\\Mixed Case Folder\\Some Long File Name.txt");
}

TEST(LXGeneralUtilsWin, OwnFileName) {
    std::u16string name = OwnFileName();
    EXPECT_EQ(AsciiUpperCase(name.substr(name.rfind(u'\\') + 1)), u"LUMLXGENERALUTILSWINTEST.EXE");
    EXPECT_TRUE(PathExists(name)) << WideToUtf8(name);
}

// ---- Random numbers ----

TEST(LXRandom, SystemBytesFillAnyBuffer) {
    // Two 4 KB draws: each uses every byte value somewhere, and they differ.
    std::vector<std::uint8_t> first(4096);
    std::vector<std::uint8_t> second(4096);
    SystemRandomBytes(first);
    SystemRandomBytes(second);
    EXPECT_NE(first, second);
    EXPECT_EQ(std::set<std::uint8_t>(first.begin(), first.end()).size(), 256u);
    // Nothing to fill is no call at all.
    EXPECT_NO_THROW(SystemRandomBytes({}));
}

TEST(LXRandom, NumbersCoverTheSignedRange) {
    std::set<std::int32_t> seen;
    bool negative = false;
    bool positive = false;
    for (int i = 0; i < 200; ++i) {
        std::int32_t value = RandomNumber();
        seen.insert(value);
        negative = negative || value < 0;
        positive = positive || value > 0;
    }
    EXPECT_GT(seen.size(), 190u);
    EXPECT_TRUE(negative);
    EXPECT_TRUE(positive);
}

TEST(LXRandom, SourceCanBeSubstituted) {
    {
        TRandomValues values({7, -7, std::numeric_limits<std::int32_t>::min(), 9});
        EXPECT_EQ(RandomNumber(), 7);
        EXPECT_EQ(RandomNumber(), -7);
        EXPECT_EQ(RandomNumber(), std::numeric_limits<std::int32_t>::min());
        // Replacing a substitute hands it back, and putting it back goes on where it was.
        TRandomSource first = SetRandomSource([] { return 42; });
        EXPECT_EQ(RandomNumber(), 42);
        EXPECT_EQ(RandomNumber(), 42);
        SetRandomSource(std::move(first));
        EXPECT_EQ(RandomNumber(), 9);
    }
    // An empty source gives the system's back.
    std::set<std::int32_t> after;
    for (int i = 0; i < 20; ++i) {
        after.insert(RandomNumber());
    }
    EXPECT_GT(after.size(), 18u);
}

// ---- Folders made and deleted ----

using LXFolders = TTestFolder;

TEST_F(LXFolders, ForceDirectoriesMakesEveryMissingParent) {
    std::u16string deep = folder_ + u"\\One\\Two\\Three";
    EXPECT_TRUE(ForceDirectories(deep + u"\\"));
    EXPECT_TRUE(IsFolder(deep));
    // Existing folders, with and without the backslash, are fine.
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_TRUE(ForceDirectories(folder_ + u"\\One\\"));
    ForceDirectoriesWithMessage(folder_ + u"\\One\\Four");
    EXPECT_TRUE(IsFolder(folder_ + u"\\One\\Four"));
}

TEST_F(LXFolders, ForceDirectoriesFailures) {
    std::u16string file = AddFile(u"plain.txt");
    std::u16string below = file + u"\\Sub\\Folder";
    EXPECT_FALSE(ForceDirectories(below));
    EXPECT_FALSE(PathExists(file + u"\\Sub"));
    ExpectRaises<ELumGeneralError>([&] { ForceDirectoriesWithMessage(below); }, "ELumGeneralError",
                                   u"Could not create " + below);
    ExpectRaises<ELumGeneralError>([&] { ForceDirectoriesWithMessage(file + u"\\"); },
                                   "ELumGeneralError", u"Could not create " + file + u"\\");
    ExpectRaises<ELumGeneralError>([] { ForceDirectories(u""); }, "ELumGeneralError",
                                   u"Unable to create directory");
    ExpectRaises<ELumGeneralError>([] { ForceDirectoriesWithMessage(u""); }, "ELumGeneralError",
                                   u"Unable to create directory");
}

TEST_F(LXFolders, DeleteThroughShell) {
    std::u16string tree = AddFolder(u"Tree");
    AddFolder(u"Tree\\Branch");
    AddFile(u"Tree\\Branch\\leaf.txt");
    std::u16string readOnly = AddFile(u"Tree\\read-only.txt");
    SetFileAttributesW(WinStr(readOnly), FILE_ATTRIBUTE_READONLY);
    // A folder named with its trailing backslash goes with everything in it.
    DeleteThroughShell(tree + u"\\", FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT, u"");
    EXPECT_FALSE(PathExists(tree));
    std::u16string file = AddFile(u"single.txt");
    DeleteThroughShell(file, FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT, u"Deleting");
    EXPECT_FALSE(PathExists(file));
    EXPECT_TRUE(IsFolder(folder_));
}

TEST_F(LXFolders, DeleteThroughShellFailuresAbort) {
    ExpectRaises<EAbort>(
        [&] {
            DeleteThroughShell(folder_ + u"\\missing", FOF_NOCONFIRMATION | FOF_NOERRORUI, u"");
        },
        "EAbort", u"Operation aborted");
    ExpectRaises<EAbort>([] { DeleteThroughShell(u"", FOF_NOCONFIRMATION | FOF_NOERRORUI, u""); },
                         "EAbort", u"Operation aborted");
    EXPECT_TRUE(IsFolder(folder_));
}

// ---- System queries ----

TEST(LXGeneralUtilsWin, TheTestUserIsAnAdministrator) {
    // Wine's user holds the built-in Administrators group.
    EXPECT_TRUE(UserIsAdministrator());
}

TEST(LXGeneralUtilsWin, NoKeyIsHeldDown) {
    for (int key : {VK_SHIFT, VK_CONTROL, VK_F12, int{'Q'}}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(KeyIsDown(key));
    }
}

TEST(LXGeneralUtilsWin, LocaleTexts) {
    EXPECT_EQ(LocaleText(0x0407, LOCALE_SABBREVLANGNAME), u"DEU");
    EXPECT_EQ(LocaleText(0x0807, LOCALE_SABBREVLANGNAME), u"DES");
    EXPECT_EQ(LocaleText(0x0409, LOCALE_SENGLANGUAGE), u"English");
    EXPECT_EQ(LocaleText(0x0409, 0x7FFFFFF), u"???");
    EXPECT_EQ(LocaleText(0x7FFF, LOCALE_SENGLANGUAGE), u"???");
    struct Case {
        std::uint32_t Locale;
        const char16_t* Expected;
    };
    const Case cases[] = {
        {0x0407, u"German (Germany)"},
        {0x0807, u"German (Switzerland)"},
        {0x0409, u"English (United States)"},
        {0x0809, u"English (United Kingdom)"},
        {0x7FFF, u"??? ("
                 u"???"
                 u")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Locale);
        EXPECT_EQ(LocaleDisplayName(c.Locale), c.Expected);
    }
}

// ---- Shell execution ----

using LXShell = TTestFolder;

TEST_F(LXShell, MissingFile) {
    std::u16string file = folder_ + u"\\missing.txt";
    ExpectRaises<ELumGeneralError>([&] { ShellOpen(file, u"", u"", SW_SHOW); }, "ELumGeneralError",
                                   u"The specified file was not found.");
    ExpectRaises<ELumGeneralError>([&] { ShellExec(nullptr, u"", file, SW_SHOW, folder_, u"/x"); },
                                   "ELumGeneralError", u"The specified file was not found.");
}

TEST_F(LXShell, FileTypeWithoutAnApplication) {
    std::u16string file = AddFile(u"report.lumnoapp");
    ExpectRaises<ELumGeneralError>(
        [&] { ShellOpen(file, u"", u"", SW_SHOW); }, "ELumGeneralError",
        u"There is no application associated with the given file name extension.");
    ExpectRaises<ELumGeneralError>(
        [&] { ShellExec(nullptr, u"open", file, SW_SHOW, u"", u""); }, "ELumGeneralError",
        u"There is no application associated with the given file name extension.");
    ExpectRaises<ELumGeneralError>([&] { ShellExec(nullptr, u"print", file, SW_SHOW, u"", u""); },
                                   "ELumGeneralError", u"The specified file is not printable.");
    ExpectRaises<ELumGeneralError>([&] { ShellExec(nullptr, u"Print", file, SW_SHOW, u"", u""); },
                                   "ELumGeneralError", u"The specified file is not printable.");
}

// ---- Cursor stack ----

TEST(LXCursorStack, PopRestoresInReverseOrder) {
    TCursorKept kept;
    TUnitRunning unit;
    SetScreenCursor(crArrow);
    PushCursor(crHourGlass);
    EXPECT_EQ(ScreenCursor(), crHourGlass);
    PushCursor(crCross);
    EXPECT_EQ(ScreenCursor(), crCross);
    PushCursor(crCross);
    PopCursor();
    EXPECT_EQ(ScreenCursor(), crCross);
    PopCursor();
    EXPECT_EQ(ScreenCursor(), crHourGlass);
    PopCursor();
    EXPECT_EQ(ScreenCursor(), crArrow);
    // An empty stack gives the default cursor, however often.
    PopCursor();
    EXPECT_EQ(ScreenCursor(), crDefault);
    SetScreenCursor(crIBeam);
    PopCursor();
    EXPECT_EQ(ScreenCursor(), crDefault);
}

TEST(LXCursorStack, TheStackStartsEmptyWithTheUnit) {
    TCursorKept kept;
    {
        TUnitRunning unit;
        PushCursor(crHourGlass);
    }
    TUnitRunning unit;
    SetScreenCursor(crArrow);
    PopCursor();
    EXPECT_EQ(ScreenCursor(), crDefault);
}

TEST(LXCursorStack, NotThereWhileTheUnitIsStopped) {
    ASSERT_EQ(LumLXUtilsUnit.StartCount(), 0);
    TCursorKept kept;
    SetScreenCursor(crArrow);
    ExpectRaises<ELumInternalError>([] { PushCursor(crHourGlass); }, "ELumInternalError",
                                    u"Internal Error: CursorStack not assigned.");
    EXPECT_EQ(ScreenCursor(), crArrow);
    ExpectRaises<ELumInternalError>([] { PopCursor(); }, "ELumInternalError",
                                    u"Internal Error: CursorStack not assigned.");
}
