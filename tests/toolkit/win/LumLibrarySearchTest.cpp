// The locked-down library search, in a process of its own because the lock lasts for the rest
// of the process: a recording library (its start appends its path to a file) is planted beside
// this executable and in the current folder, and the loads that follow must not run it.

#include "toolkit/win/LumSystemWin.h"

#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::u16string ProgramFolder() {
    std::u16string own = OwnModuleFileName();
    return own.substr(0, own.rfind(u'\\'));
}

std::string ReadRecord(const std::u16string& path) {
    std::ifstream file(WideToUtf8(path), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The recorder planted under one name beside the program and in a folder made current, its
// record file named in the environment; everything is taken away again at the end.
class LibrarySearch : public ::testing::Test {
  protected:
    static constexpr char16_t kName[] = u"LumPlantedSearch.dll";

    static void SetUpTestSuite() { lock_ = LockDownLibrarySearch(); }

    void SetUp() override {
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        recorder_ = StandinPath(u"recorder\\recorder.dll");
        besideProgram_ = ProgramFolder() + u"\\" + kName;
        inCurrentFolder_ = folder_ + u"\\" + kName;
        ASSERT_TRUE(CopyFileW(WinStr(recorder_), WinStr(besideProgram_), FALSE));
        ASSERT_TRUE(CopyFileW(WinStr(recorder_), WinStr(inCurrentFolder_), FALSE));
        ASSERT_TRUE(SetEnvironmentVariableW(L"LUM_LOAD_RECORD", WinStr(record_)));
        GetCurrentDirectoryW(MAX_PATH, saved_);
        ASSERT_TRUE(SetCurrentDirectoryW(WinStr(folder_)));
    }
    void TearDown() override {
        SetCurrentDirectoryW(saved_);
        SetEnvironmentVariableW(L"LUM_LOAD_RECORD", nullptr);
        DeleteFileW(WinStr(besideProgram_));
        RemoveTree(folder_);
    }

    static TLibrarySearchLock lock_;
    std::u16string folder_ = SystemTempPath() + u"LumLibrarySearch";
    std::u16string record_ = folder_ + u"\\record.txt";
    std::u16string recorder_;
    std::u16string besideProgram_;
    std::u16string inCurrentFolder_;
    wchar_t saved_[MAX_PATH]{};
};

TLibrarySearchLock LibrarySearch::lock_;

} // namespace

TEST_F(LibrarySearch, EveryLockIsInPlaceAndASecondCallAnswersTheSame) {
    // Wine has all three calls, as current Windows does.
    EXPECT_TRUE(lock_.SystemFolderOnly);
    EXPECT_TRUE(lock_.CurrentFolderRemoved);
    EXPECT_TRUE(lock_.SafeSearchPath);
    EXPECT_TRUE(LibrarySearchFlagsSupported());
    TLibrarySearchLock again = LockDownLibrarySearch();
    EXPECT_EQ(again.SystemFolderOnly, lock_.SystemFolderOnly);
    EXPECT_EQ(again.CurrentFolderRemoved, lock_.CurrentFolderRemoved);
    EXPECT_EQ(again.SafeSearchPath, lock_.SafeSearchPath);
}

TEST_F(LibrarySearch, LibrariesLoadedOnDemandAreTheSystemFoldersFromTheStart) {
    // Loaded by name later by the common controls and the themes, and found loaded then.
    EXPECT_GT(lock_.PinnedLibraries, 0);
    for (const wchar_t* name : {L"msimg32.dll", L"dwmapi.dll", L"uxtheme.dll"}) {
        SCOPED_TRACE(WideToUtf8(FromWinStr(name)));
        HMODULE loaded = GetModuleHandleW(name);
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(AsciiUpperCase(ModuleFileName(loaded)),
                  AsciiUpperCase(SystemFolder() + u"\\" + FromWinStr(name)));
    }
}

TEST_F(LibrarySearch, ALibraryLoadedByNameComesFromTheSystemFolderOnly) {
    EXPECT_EQ(LoadLibraryW(L"LumPlantedSearch"), nullptr);
    EXPECT_EQ(LoadLibraryW(L"LumPlantedSearch.dll"), nullptr);
    // Nor through PATH.
    wchar_t path[32767];
    DWORD length = GetEnvironmentVariableW(L"PATH", path, 32767);
    std::u16string oldPath = FromWinStr(path, length);
    SetEnvironmentVariableW(L"PATH", WinStr(folder_ + u";" + oldPath));
    HMODULE throughPath = LoadLibraryW(L"LumPlantedSearch.dll");
    SetEnvironmentVariableW(L"PATH", WinStr(oldPath));
    EXPECT_EQ(throughPath, nullptr);
    // What the system folder has still loads by name.
    HMODULE system = LoadLibraryW(L"msimg32.dll");
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(AsciiUpperCase(ModuleFileName(system)),
              AsciiUpperCase(SystemFolder() + u"\\msimg32.dll"));
    FreeLibrary(system);
    EXPECT_EQ(ReadRecord(record_), "");
}

TEST_F(LibrarySearch, LoadingByFullPathRunsTheLibraryAndRefusesOtherNames) {
    {
        TScopedLibrary loaded = LoadLibraryByFullPath(inCurrentFolder_);
        EXPECT_EQ(AsciiUpperCase(ModuleFileName(loaded.Get())), AsciiUpperCase(inCurrentFolder_));
    }
    // The recorder does record when it runs, so the empty records above mean something.
    EXPECT_EQ(AsciiUpperCase(Utf8ToWide(ReadRecord(record_))),
              AsciiUpperCase(inCurrentFolder_ + u"\n"));
    ASSERT_TRUE(DeleteFileW(WinStr(record_)));
    EXPECT_THROW(LoadLibraryByFullPath(kName), EOSError);
    EXPECT_THROW(LoadLibraryByFullPath(u"LumPlantedSearch"), EOSError);
    EXPECT_EQ(ReadRecord(record_), "");
}
