// Temporary files and folders: their names, and their deletion at the utilities unit's last
// stop. Random values are fixed by the tests, so that names are known and collisions happen
// on purpose; every name a test uses is removed before and after it.
#include "lib/LumLX/LumLXUtils.h"

#include "tests/support/LumTestChecks.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestRandom.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Values for RandomNumber: far from what the generator is likely to give other tests.
constexpr std::int32_t kBase = 1734567000;

std::u16string FolderName(std::int32_t value) {
    return SystemTempPath() + u"Temp" + AsciiToWide(std::to_string(value)) + u"\\";
}

// Each test finds the unit stopped, runs with it started (Stop() ends that early, to see the
// clean-up) and leaves it stopped. The names in `Names` are removed before and after.
class LXTempFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(LumLXUtilsUnit.StartCount(), 0);
        RemoveNames();
        LumLXUtilsUnit.Start();
    }
    void TearDown() override {
        Stop();
        RemoveNames();
    }

    void Stop() {
        while (LumLXUtilsUnit.StartCount() > 0) {
            LumLXUtilsUnit.Stop();
        }
    }

    void RemoveNames() {
        for (const std::u16string& name : Names) {
            RemoveTree(name);
        }
    }

    std::vector<std::u16string> Names;
};

} // namespace

TEST_F(LXTempFiles, TempPathIsTheSystemsTemporaryFolder) {
    std::u16string path = TempPath();
    EXPECT_EQ(path, SystemTempPath());
    EXPECT_EQ(path, IncludeTrailingBackslash([] {
                  wchar_t value[MAX_PATH];
                  DWORD length = GetEnvironmentVariableW(L"TMP", value, MAX_PATH);
                  return FromWinStr(value, length < MAX_PATH ? length : 0);
              }()));
    EXPECT_TRUE(IsFolder(path));
}

TEST_F(LXTempFiles, NewFolderIsCreatedAndDeletedAtTheLastStop) {
    Names = {FolderName(kBase + 1)};
    TRandomValues random({kBase + 1});
    std::u16string folder = NewGarbageCollectedFolder();
    EXPECT_EQ(folder, FolderName(kBase + 1));
    ASSERT_TRUE(IsFolder(folder));
    WriteTestFile(folder + u"Error Details.txt");
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder + u"Inner"), nullptr));
    WriteTestFile(folder + u"Inner\\more.txt");
    // A start that is not the first and its stop change nothing.
    LumLXUtilsUnit.Start();
    LumLXUtilsUnit.Stop();
    EXPECT_TRUE(IsFile(folder + u"Error Details.txt"));
    Stop();
    EXPECT_FALSE(PathExists(folder));
}

TEST_F(LXTempFiles, NegativeRandomValuesNameFoldersToo) {
    Names = {FolderName(-kBase)};
    TRandomValues random({-kBase});
    EXPECT_EQ(NewGarbageCollectedFolder(), SystemTempPath() + u"Temp-1734567000\\");
    EXPECT_TRUE(IsFolder(FolderName(-kBase)));
}

TEST_F(LXTempFiles, CollidingRandomValuesGiveNewFolders) {
    Names = {FolderName(kBase + 2), FolderName(kBase + 3), FolderName(kBase + 4),
             FolderName(kBase + 5), FolderName(kBase + 6)};
    // A file and a folder that are not ours hold two of the names.
    WriteTestFile(ExcludeTrailingBackslash(FolderName(kBase + 4)));
    ASSERT_TRUE(CreateDirectoryW(WinStr(FolderName(kBase + 5)), nullptr));
    TRandomValues random({kBase + 2, kBase + 2, kBase + 3, kBase + 4, kBase + 5, kBase + 6});
    std::u16string first = NewGarbageCollectedFolder();
    std::u16string second = NewGarbageCollectedFolder();
    std::u16string third = NewGarbageCollectedFolder();
    EXPECT_EQ(first, FolderName(kBase + 2));
    EXPECT_EQ(second, FolderName(kBase + 3));
    EXPECT_EQ(third, FolderName(kBase + 6));
    EXPECT_EQ(random.Used(), 6u);
    Stop();
    EXPECT_FALSE(PathExists(first));
    EXPECT_FALSE(PathExists(second));
    EXPECT_FALSE(PathExists(third));
    // What was not ours stays.
    EXPECT_TRUE(IsFile(ExcludeTrailingBackslash(FolderName(kBase + 4))));
    EXPECT_TRUE(IsFolder(FolderName(kBase + 5)));
}

TEST_F(LXTempFiles, FolderTheUserDeletedIsSkipped) {
    Names = {FolderName(kBase + 7), FolderName(kBase + 8), FolderName(kBase + 9)};
    TRandomValues random({kBase + 7, kBase + 8, kBase + 9});
    std::u16string first = NewGarbageCollectedFolder();
    std::u16string second = NewGarbageCollectedFolder();
    std::u16string third = NewGarbageCollectedFolder();
    ASSERT_TRUE(RemoveDirectoryW(WinStr(second)));
    EXPECT_NO_THROW(Stop());
    EXPECT_FALSE(PathExists(first));
    EXPECT_FALSE(PathExists(third));
}

TEST_F(LXTempFiles, DeleteGarbageCollectedFolder) {
    Names = {FolderName(kBase + 10), FolderName(kBase + 11),
             SystemTempPath() + u"Lum Unrecorded Folder"};
    TRandomValues random({kBase + 10, kBase + 11});
    std::u16string recorded = NewGarbageCollectedFolder();
    std::u16string kept = NewGarbageCollectedFolder();
    WriteTestFile(recorded + u"a.txt");
    DeleteGarbageCollectedFolder(recorded);
    EXPECT_FALSE(PathExists(recorded));
    // Forgotten: made again by someone else, it is not deleted at the last stop.
    ASSERT_TRUE(CreateDirectoryW(WinStr(recorded), nullptr));
    // A folder that was never recorded is deleted all the same, without an error.
    std::u16string unrecorded = SystemTempPath() + u"Lum Unrecorded Folder\\";
    ASSERT_TRUE(CreateDirectoryW(WinStr(unrecorded), nullptr));
    WriteTestFile(unrecorded + u"b.txt");
    EXPECT_NO_THROW(DeleteGarbageCollectedFolder(unrecorded));
    EXPECT_FALSE(PathExists(unrecorded));
    // Nothing there: nothing happens.
    EXPECT_NO_THROW(DeleteGarbageCollectedFolder(unrecorded));
    EXPECT_NO_THROW(DeleteGarbageCollectedFolder(u""));
    Stop();
    EXPECT_TRUE(IsFolder(recorded));
    EXPECT_FALSE(PathExists(kept));
}

TEST_F(LXTempFiles, CleanUpsEmptyTheLists) {
    Names = {FolderName(kBase + 12), FolderName(kBase + 13)};
    TRandomValues random({kBase + 12, 0x1234, kBase + 13});
    std::u16string folder = NewGarbageCollectedFolder();
    std::u16string file = NewGarbageCollectedFileName(u".txt");
    Names.push_back(file);
    WriteTestFile(file);
    CleanUpGarbageCollectedFolders();
    CleanUpGarbageCollectedFiles();
    EXPECT_FALSE(PathExists(folder));
    EXPECT_FALSE(PathExists(file));
    // Made again after the clean-up, they are no longer recorded.
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    WriteTestFile(file);
    std::u16string later = NewGarbageCollectedFolder();
    Stop();
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_TRUE(IsFile(file));
    EXPECT_FALSE(PathExists(later));
}

TEST_F(LXTempFiles, TempFileNames) {
    std::u16string folder = SystemTempPath() + u"Lum Temp Names\\";
    Names = {folder};
    struct Case {
        std::int32_t Random;
        const char16_t* Name;
    };
    const Case cases[] = {
        {0x12345678, u"pre-5678.sfx"},
        {0x0000000A, u"pre-A.sfx"},
        {0x7FFF00C0, u"pre-C0.sfx"},
        {-1, u"pre-FFFF.sfx"},
        {static_cast<std::int32_t>(0x80000000u), u"pre-0.sfx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Name));
        TRandomValues random({c.Random});
        // The folder is given without its backslash; it is made on first use.
        EXPECT_EQ(NewTempFileName(u".sfx", ExcludeTrailingBackslash(folder), u"pre"),
                  folder + c.Name);
        EXPECT_TRUE(IsFolder(folder));
        // Neither created nor recorded.
        EXPECT_FALSE(PathExists(folder + c.Name));
    }
}

TEST_F(LXTempFiles, TempFileNamesSkipWhatExists) {
    std::u16string folder = SystemTempPath() + u"Lum Temp Names\\";
    Names = {folder};
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    WriteTestFile(folder + u"x-1.txt");
    // A folder of the name counts too: the caller could not create the file there.
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder + u"x-2.txt"), nullptr));
    TRandomValues random({1, 0x10001, 2, 3});
    EXPECT_EQ(NewTempFileName(u".txt", folder, u"x"), folder + u"x-3.txt");
    EXPECT_EQ(random.Used(), 4u);
}

TEST_F(LXTempFiles, TempFileNamesInNestedNewFolders) {
    std::u16string top = SystemTempPath() + u"Lum Temp Nested";
    Names = {top};
    TRandomValues random({0xBEEF});
    EXPECT_EQ(NewTempFileName(u"", top + u"\\A\\B", u""), top + u"\\A\\B\\-BEEF");
    EXPECT_TRUE(IsFolder(top + u"\\A\\B"));
}

TEST_F(LXTempFiles, TheMarkerMustMatchExactly) {
    TRandomValues random({0x0ABC, 0x0ABD});
    EXPECT_EQ(NewTempFileName(u".log", u"**WideGetTempPath**", u"m"),
              SystemTempPath() + u"m-ABC.log");
    // In any other spelling it is a folder name like any other; this one cannot be made.
    ExpectRaises<ELumGeneralError>([] { NewTempFileName(u".log", u"**widegettemppath**", u"m"); },
                                   "ELumGeneralError", u"Could not create **widegettemppath**\\");
    ExpectRaises<ELumGeneralError>([] { NewTempFileName(u".log", u" **WideGetTempPath**", u"m"); },
                                   "ELumGeneralError", u"Could not create  **WideGetTempPath**\\");
}

TEST_F(LXTempFiles, FolderThatCannotBeCreated) {
    std::u16string file = SystemTempPath() + u"Lum Plain File";
    Names = {file};
    WriteTestFile(file);
    TRandomValues random({5});
    ExpectRaises<ELumGeneralError>([&] { NewTempFileName(u".txt", file + u"\\Sub", u"tmp"); },
                                   "ELumGeneralError", u"Could not create " + file + u"\\Sub\\");
}

TEST_F(LXTempFiles, GarbageCollectedFileNames) {
    std::u16string made = SystemTempPath() + u"tmp-FACE.txt";
    std::u16string open = SystemTempPath() + u"tmp-FACF.txt";
    std::u16string never = SystemTempPath() + u"tmp-FAD0.txt";
    Names = {made, open, never};
    TRandomValues random({0x0001FACE, 0x0002FACF, 0xFAD0});
    EXPECT_EQ(NewGarbageCollectedFileName(u".txt"), made);
    EXPECT_EQ(NewGarbageCollectedFileName(u".txt"), open);
    EXPECT_EQ(NewGarbageCollectedFileName(u".txt"), never);
    WriteTestFile(made);
    // A file still open cannot go; it is left without an error, as is the one never made.
    TScopedFile held(CreateFileW(WinStr(open), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_NO_THROW(Stop());
    EXPECT_FALSE(PathExists(made));
    EXPECT_TRUE(IsFile(open));
    EXPECT_FALSE(PathExists(never));
}

TEST_F(LXTempFiles, ListsAreGoneAfterTheLastStop) {
    Stop();
    TRandomValues random({0x77});
    ExpectRaises<ELumInternalError>([] { NewGarbageCollectedFolder(); }, "ELumInternalError",
                                    u"Internal Error: GarbageCollectedFolderList not assigned.");
    // Checked first: no folder was named, so none is left that nobody would delete.
    EXPECT_EQ(random.Used(), 0u);
    ExpectRaises<ELumInternalError>([] { NewGarbageCollectedFileName(u".txt"); },
                                    "ELumInternalError",
                                    u"Internal Error: GarbageCollectedFileList not assigned.");
    EXPECT_EQ(random.Used(), 0u);
    ExpectRaises<ELumInternalError>([] { CleanUpGarbageCollectedFolders(); }, "ELumInternalError",
                                    u"Internal Error: GarbageCollectedFolderList not assigned.");
    ExpectRaises<ELumInternalError>([] { CleanUpGarbageCollectedFiles(); }, "ELumInternalError",
                                    u"Internal Error: GarbageCollectedFileList not assigned.");
    // Names that are not recorded still work.
    EXPECT_EQ(NewTempFileName(u".txt", TempPathMarker, u"tmp"), SystemTempPath() + u"tmp-77.txt");
}

TEST_F(LXTempFiles, DeletingAFolderNeverRaisesAfterTheLastStop) {
    std::u16string folder = SystemTempPath() + u"Lum Late Folder\\";
    Names = {folder};
    Stop();
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    EXPECT_NO_THROW(DeleteGarbageCollectedFolder(folder));
    EXPECT_FALSE(PathExists(folder));
}
