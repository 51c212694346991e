// Temporary files and folders: their names, their creation and their deletion at the
// utilities unit's last stop. Random values are fixed by the tests, so that names are known
// and collisions happen on purpose; every name a test uses is removed before and after it.
// Links are what another process of the user could plant in the temporary folder: a link in
// place of a name, in place of a recorded folder, or inside one.
#include "lib/LumLX/LumLXUtils.h"

#include "tests/support/LumTestChecks.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestRandom.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

// Values for RandomNumber: far from what the generator is likely to give other tests. A name
// takes four; the tests choose the first and fix the other three.
constexpr std::int32_t kBase = 1734567000;
constexpr std::int32_t kRest[] = {0x11111111, 0x22222222, 0x33333333};
constexpr char16_t kRestDigits[] = u"111111112222222233333333";

std::vector<std::int32_t> Draws(std::initializer_list<std::int32_t> firsts) {
    std::vector<std::int32_t> values;
    for (std::int32_t first : firsts) {
        values.push_back(first);
        values.insert(values.end(), std::begin(kRest), std::end(kRest));
    }
    return values;
}

// The 32 digits of a name whose first value is `first`.
std::u16string Digits(std::int32_t first) {
    return Format(u"%.8x", first) + kRestDigits;
}

std::u16string FolderName(std::int32_t first) {
    return SystemTempPath() + u"Temp" + Digits(first) + u"\\";
}

std::u16string FileName(std::int32_t first) {
    return SystemTempPath() + u"tmp-" + Digits(first) + u".txt";
}

// The file's text, or "(unreadable)" when there is no such file.
std::u16string FileText(const std::u16string& path) {
    if (!IsFile(path)) {
        return u"(unreadable)";
    }
    std::vector<std::uint8_t> bytes = ReadTestFile(path);
    return AsciiToWide(std::string(bytes.begin(), bytes.end()));
}

// Starts a program of the host, as Wine starts one for a Windows program, and waits until
// `done` holds (Wine gives no process handle that can be waited for).
bool RunHostProgram(const std::u16string& program, const std::u16string& arguments,
                    const std::function<bool()>& done) {
    std::u16string commandLine = u"\"" + program + u"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(WinStr(program), reinterpret_cast<wchar_t*>(commandLine.data()), nullptr,
                        nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    TScopedKernelHandle processHandle(process.hProcess);
    TScopedKernelHandle thread(process.hThread);
    for (int i = 0; i < 500 && !done(); ++i) {
        Sleep(10);
    }
    return done();
}

// The host's name of a path under Wine; empty on Windows.
std::u16string HostPath(const std::u16string& path) {
    using UnixNameProc = char*(CDECL*)(const wchar_t*);
    auto unixName =
        ProcAddress<UnixNameProc>(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    char* name = unixName ? unixName(WinStr(path)) : nullptr;
    if (!name) {
        return {};
    }
    std::u16string result = AsciiToWide(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Makes `link` a symbolic link to the folder `target`. Where CreateSymbolicLinkW does nothing
// (Wine 8), the host's own link is made, which Wine shows as a reparse point as Windows shows
// a link.
bool MakeLink(const std::u16string& link, const std::u16string& target) {
    using CreateLinkProc = BOOLEAN(WINAPI*)(const wchar_t*, const wchar_t*, DWORD);
    auto createLink =
        ProcAddress<CreateLinkProc>(GetModuleHandleW(L"kernel32.dll"), "CreateSymbolicLinkW");
    if (createLink && createLink(WinStr(link), WinStr(target), 1) && PathExists(link)) {
        return true;
    }
    std::u16string hostLink = HostPath(link);
    std::u16string hostTarget = HostPath(target);
    return !hostLink.empty() && !hostTarget.empty() &&
           RunHostProgram(u"Z:\\bin\\ln", u"-s \"" + hostTarget + u"\" \"" + hostLink + u"\"",
                          [&] { return PathExists(link); });
}

// Removes a link made by MakeLink without touching what it leads to. (Under Wine,
// RemoveDirectoryW of a link removes the empty folder it leads to instead.)
void RemoveLink(const std::u16string& link) {
    if (std::u16string hostLink = HostPath(link); !hostLink.empty()) {
        RunHostProgram(u"Z:\\bin\\rm", u"-f \"" + hostLink + u"\"",
                       [&] { return !PathExists(link); });
    } else {
        RemoveDirectoryW(WinStr(link));
    }
}

bool IsLink(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(WinStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Each test finds the unit stopped, runs with it started (Stop() ends that early, to see the
// clean-up) and leaves it stopped. The names in `Links` and then in `Names` are removed before
// and after.
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
        // Links first: removing a tree through a link would empty what it leads to.
        for (const std::u16string& link : Links) {
            if (IsLink(ExcludeTrailingBackslash(link))) {
                RemoveLink(ExcludeTrailingBackslash(link));
            }
        }
        for (const std::u16string& name : Names) {
            RemoveTree(name);
        }
    }

    std::vector<std::u16string> Names;
    std::vector<std::u16string> Links;
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

TEST_F(LXTempFiles, NamesCarry128RandomBits) {
    // Four values a name, each as eight hexadecimal digits, negative ones as their pattern.
    Names = {SystemTempPath() + u"Temp80000000FFFFFFFF0000000A7FFFFFFF\\",
             SystemTempPath() + u"tmp-00000000DEADBEEF000000010000002A.log"};
    {
        TRandomValues random({INT32_MIN, -1, 10, INT32_MAX, 0, -559038737, 1, 42});
        EXPECT_EQ(NewGarbageCollectedFolder(), Names[0]);
        EXPECT_EQ(NewGarbageCollectedFileName(u".log"), Names[1]);
        EXPECT_EQ(random.Used(), 8u);
    }
    // From the system's source: 32 digits, and no name twice.
    std::u16string first = NewGarbageCollectedFolder();
    std::u16string second = NewGarbageCollectedFolder();
    Names.insert(Names.end(), {first, second});
    for (const std::u16string& folder : {first, second}) {
        SCOPED_TRACE(WideToUtf8(folder));
        ASSERT_EQ(folder.size(), SystemTempPath().size() + 4 + 32 + 1);
        EXPECT_EQ(folder.substr(0, SystemTempPath().size() + 4), SystemTempPath() + u"Temp");
        EXPECT_EQ(folder.find_first_not_of(u"0123456789ABCDEF", SystemTempPath().size() + 4),
                  folder.size() - 1);
        EXPECT_TRUE(IsFolder(folder));
    }
    EXPECT_NE(first, second);
}

TEST_F(LXTempFiles, NewFolderIsCreatedAndDeletedAtTheLastStop) {
    Names = {FolderName(kBase + 1)};
    TRandomValues random(Draws({kBase + 1}));
    std::u16string folder = NewGarbageCollectedFolder();
    EXPECT_EQ(folder, FolderName(kBase + 1));
    ASSERT_TRUE(IsFolder(folder));
    WriteTestFile(folder + u"Error Details.txt");
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder + u"Inner"), nullptr));
    WriteTestFile(folder + u"Inner\\more.txt");
    // Read-only files and folders go too.
    ASSERT_TRUE(SetFileAttributesW(WinStr(folder + u"Inner\\more.txt"), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(WinStr(folder + u"Inner"), FILE_ATTRIBUTE_READONLY));
    // A start that is not the first and its stop change nothing.
    LumLXUtilsUnit.Start();
    LumLXUtilsUnit.Stop();
    EXPECT_TRUE(IsFile(folder + u"Error Details.txt"));
    Stop();
    EXPECT_FALSE(PathExists(folder));
}

TEST_F(LXTempFiles, TakenNamesAreGivenUpForNewOnes) {
    Names = {FolderName(kBase + 2),
             FolderName(kBase + 3),
             FolderName(kBase + 4),
             FolderName(kBase + 5),
             FolderName(kBase + 6),
             FolderName(kBase + 7),
             SystemTempPath() + u"Lum Link Target\\"};
    Links = {FolderName(kBase + 6)};
    // A file, a folder and a link that are not ours hold three of the names.
    WriteTestFile(ExcludeTrailingBackslash(FolderName(kBase + 4)));
    ASSERT_TRUE(CreateDirectoryW(WinStr(FolderName(kBase + 5)), nullptr));
    std::u16string target = Names.back();
    ASSERT_TRUE(CreateDirectoryW(WinStr(target), nullptr));
    WriteTestFile(target + u"keep.txt", "target");
    ASSERT_TRUE(MakeLink(ExcludeTrailingBackslash(FolderName(kBase + 6)),
                         ExcludeTrailingBackslash(target)));
    TRandomValues random(
        Draws({kBase + 2, kBase + 2, kBase + 3, kBase + 4, kBase + 5, kBase + 6, kBase + 7}));
    std::u16string first = NewGarbageCollectedFolder();
    std::u16string second = NewGarbageCollectedFolder();
    std::u16string third = NewGarbageCollectedFolder();
    EXPECT_EQ(first, FolderName(kBase + 2));
    EXPECT_EQ(second, FolderName(kBase + 3));
    EXPECT_EQ(third, FolderName(kBase + 7));
    EXPECT_EQ(random.Used(), 7u * 4);
    Stop();
    EXPECT_FALSE(PathExists(first));
    EXPECT_FALSE(PathExists(second));
    EXPECT_FALSE(PathExists(third));
    // What was not ours stays, and nothing was made through the link.
    EXPECT_TRUE(IsFile(ExcludeTrailingBackslash(FolderName(kBase + 4))));
    EXPECT_TRUE(IsFolder(FolderName(kBase + 5)));
    EXPECT_TRUE(IsLink(ExcludeTrailingBackslash(FolderName(kBase + 6))));
    EXPECT_EQ(FileText(target + u"keep.txt"), u"target");
}

TEST_F(LXTempFiles, AfterTenTakenNamesCreationGivesUp) {
    std::u16string folder = SystemTempPath() + u"Lum Taken Names\\";
    Names = {folder, FolderName(kBase + 40)};
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    WriteTestFile(folder + u"x-" + Digits(kBase + 41));
    WriteTestFile(ExcludeTrailingBackslash(FolderName(kBase + 40)));
    // The same taken name every time: a source that never changes cannot loop for ever.
    {
        TRandomValues random(Draws({kBase + 41, kBase + 41, kBase + 41, kBase + 41, kBase + 41,
                                    kBase + 41, kBase + 41, kBase + 41, kBase + 41, kBase + 41}));
        ExpectRaises<ELumGeneralError>(
            [&] { NewTempFileName(u"", folder, u"x"); }, "ELumGeneralError",
            u"No unused temporary name in " + folder + u" after 10 tries");
        EXPECT_EQ(random.Used(), 40u);
    }
    TRandomValues random(Draws({kBase + 40, kBase + 40, kBase + 40, kBase + 40, kBase + 40,
                                kBase + 40, kBase + 40, kBase + 40, kBase + 40, kBase + 40}));
    ExpectRaises<ELumGeneralError>([] { NewGarbageCollectedFolder(); }, "ELumGeneralError",
                                   u"No unused temporary name in " + SystemTempPath() +
                                       u" after 10 tries");
    EXPECT_EQ(random.Used(), 40u);
}

TEST_F(LXTempFiles, FolderTheUserDeletedIsSkipped) {
    Names = {FolderName(kBase + 7), FolderName(kBase + 8), FolderName(kBase + 9)};
    TRandomValues random(Draws({kBase + 7, kBase + 8, kBase + 9}));
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
    TRandomValues random(Draws({kBase + 10, kBase + 11}));
    std::u16string recorded = NewGarbageCollectedFolder();
    std::u16string kept = NewGarbageCollectedFolder();
    WriteTestFile(recorded + u"a.txt");
    // Without the trailing backslash it is found all the same.
    DeleteGarbageCollectedFolder(ExcludeTrailingBackslash(recorded));
    EXPECT_FALSE(PathExists(recorded));
    // Forgotten: made again by someone else, it is not deleted at the last stop.
    ASSERT_TRUE(CreateDirectoryW(WinStr(recorded), nullptr));
    // A folder this process did not create is not deleted, and no error escapes.
    std::u16string unrecorded = SystemTempPath() + u"Lum Unrecorded Folder\\";
    ASSERT_TRUE(CreateDirectoryW(WinStr(unrecorded), nullptr));
    WriteTestFile(unrecorded + u"b.txt");
    EXPECT_NO_THROW(DeleteGarbageCollectedFolder(unrecorded));
    EXPECT_TRUE(IsFile(unrecorded + u"b.txt"));
    EXPECT_NO_THROW(DeleteGarbageCollectedFolder(u""));
    Stop();
    EXPECT_TRUE(IsFolder(recorded));
    EXPECT_FALSE(PathExists(kept));
}

TEST_F(LXTempFiles, CleanUpDeletesOnlyWhatThisProcessCreated) {
    std::u16string target = SystemTempPath() + u"Lum Link Target\\";
    Names = {FolderName(kBase + 12),
             FolderName(kBase + 13),
             FileName(kBase + 14),
             SystemTempPath() + u"Lum Moved Folder",
             SystemTempPath() + u"Lum Moved File",
             target};
    Links = {FolderName(kBase + 13)};
    TRandomValues random(Draws({kBase + 12, kBase + 13, kBase + 14}));
    std::u16string replaced = NewGarbageCollectedFolder();
    std::u16string linked = NewGarbageCollectedFolder();
    std::u16string file = NewGarbageCollectedFileName(u".txt");
    // Another process moves each away and puts its own in the place: a folder of its own with
    // a file in it, a link to a folder of its own, a file of its own.
    std::u16string moved = SystemTempPath() + u"Lum Moved Folder";
    ASSERT_TRUE(MoveFileW(WinStr(ExcludeTrailingBackslash(replaced)), WinStr(moved)));
    ASSERT_TRUE(CreateDirectoryW(WinStr(replaced), nullptr));
    WriteTestFile(replaced + u"theirs.txt", "theirs");
    ASSERT_TRUE(RemoveDirectoryW(WinStr(linked)));
    ASSERT_TRUE(CreateDirectoryW(WinStr(target), nullptr));
    WriteTestFile(target + u"keep.txt", "target");
    ASSERT_TRUE(MakeLink(ExcludeTrailingBackslash(linked), ExcludeTrailingBackslash(target)));
    ASSERT_TRUE(MoveFileW(WinStr(file), WinStr(SystemTempPath() + u"Lum Moved File")));
    WriteTestFile(file, "theirs");
    Stop();
    EXPECT_EQ(FileText(replaced + u"theirs.txt"), u"theirs");
    EXPECT_EQ(FileText(target + u"keep.txt"), u"target");
    EXPECT_EQ(FileText(file), u"theirs");
    // What was moved away is not followed either.
    EXPECT_TRUE(IsFolder(moved));
}

TEST_F(LXTempFiles, LinksInsideAFolderAreNotFollowed) {
    std::u16string target = SystemTempPath() + u"Lum Link Target\\";
    Names = {FolderName(kBase + 15), target};
    TRandomValues random(Draws({kBase + 15}));
    std::u16string folder = NewGarbageCollectedFolder();
    Links = {folder + u"Sub\\Planted"};
    ASSERT_TRUE(CreateDirectoryW(WinStr(target), nullptr));
    WriteTestFile(target + u"keep.txt", "target");
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder + u"Sub"), nullptr));
    WriteTestFile(folder + u"Sub\\report.txt");
    WriteTestFile(folder + u"top.txt");
    ASSERT_TRUE(MakeLink(folder + u"Sub\\Planted", ExcludeTrailingBackslash(target)));
    Stop();
    EXPECT_EQ(FileText(target + u"keep.txt"), u"target");
    // What is plainly ours goes; the link is not, so it stays, and the folders it is in.
    EXPECT_FALSE(PathExists(folder + u"top.txt"));
    EXPECT_FALSE(PathExists(folder + u"Sub\\report.txt"));
    EXPECT_TRUE(IsLink(folder + u"Sub\\Planted"));
}

TEST_F(LXTempFiles, ALinkToAnEmptyFolderLeavesThatFolder) {
    // An empty folder is what a careless removal of the link would take with it.
    std::u16string target = SystemTempPath() + u"Lum Link Target\\";
    Names = {FolderName(kBase + 19), target};
    TRandomValues random(Draws({kBase + 19}));
    std::u16string folder = NewGarbageCollectedFolder();
    Links = {folder + u"Planted"};
    ASSERT_TRUE(CreateDirectoryW(WinStr(target), nullptr));
    ASSERT_TRUE(MakeLink(Links[0], ExcludeTrailingBackslash(target)));
    Stop();
    EXPECT_TRUE(IsFolder(target));
    EXPECT_TRUE(IsLink(Links[0]));
}

TEST_F(LXTempFiles, CleanUpsEmptyTheLists) {
    Names = {FolderName(kBase + 16), FolderName(kBase + 17), FileName(kBase + 18)};
    TRandomValues random(Draws({kBase + 16, kBase + 18, kBase + 17}));
    std::u16string folder = NewGarbageCollectedFolder();
    std::u16string file = NewGarbageCollectedFileName(u".txt");
    EXPECT_EQ(file, FileName(kBase + 18));
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

TEST_F(LXTempFiles, TempFilesAreCreatedEmptyAndNotRecorded) {
    std::u16string folder = SystemTempPath() + u"Lum Temp Names\\";
    Names = {folder};
    struct Case {
        std::int32_t Random;
        const char16_t* Name;
    };
    const Case cases[] = {
        {0x12345678, u"pre-12345678111111112222222233333333.sfx"},
        {0x0000000A, u"pre-0000000A111111112222222233333333.sfx"},
        {-1, u"pre-FFFFFFFF111111112222222233333333.sfx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Name));
        TRandomValues random(Draws({c.Random}));
        // The folder is given without its backslash; it is made on first use.
        EXPECT_EQ(NewTempFileName(u".sfx", ExcludeTrailingBackslash(folder), u"pre"),
                  folder + c.Name);
        EXPECT_TRUE(IsFile(folder + c.Name));
        EXPECT_EQ(FileText(folder + c.Name), u"");
    }
    Stop();
    EXPECT_TRUE(IsFile(folder + cases[0].Name));
}

TEST_F(LXTempFiles, TempFileNamesSkipWhatExists) {
    std::u16string folder = SystemTempPath() + u"Lum Temp Names\\";
    std::u16string target = SystemTempPath() + u"Lum Link Target\\";
    Names = {folder, target};
    Links = {folder + u"x-" + Digits(3) + u".txt"};
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    WriteTestFile(folder + u"x-" + Digits(1) + u".txt", "theirs");
    // A folder of the name counts too: the caller could not write the file there.
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder + u"x-" + Digits(2) + u".txt"), nullptr));
    // So does a link: a file made through it would land in the folder it leads to.
    ASSERT_TRUE(CreateDirectoryW(WinStr(target), nullptr));
    ASSERT_TRUE(MakeLink(Links[0], ExcludeTrailingBackslash(target)));
    TRandomValues random(Draws({1, 2, 3, 4}));
    EXPECT_EQ(NewTempFileName(u".txt", folder, u"x"), folder + u"x-" + Digits(4) + u".txt");
    EXPECT_EQ(random.Used(), 16u);
    EXPECT_EQ(FileText(folder + u"x-" + Digits(1) + u".txt"), u"theirs");
    EXPECT_TRUE(IsLink(Links[0]));
}

TEST_F(LXTempFiles, TempFileNamesInNestedNewFolders) {
    std::u16string top = SystemTempPath() + u"Lum Temp Nested";
    Names = {top};
    TRandomValues random(Draws({0xBEEF}));
    EXPECT_EQ(NewTempFileName(u"", top + u"\\A\\B", u""), top + u"\\A\\B\\-" + Digits(0xBEEF));
    EXPECT_TRUE(IsFolder(top + u"\\A\\B"));
}

TEST_F(LXTempFiles, TheMarkerMustMatchExactly) {
    Names = {SystemTempPath() + u"m-" + Digits(0x0ABC) + u".log"};
    TRandomValues random(Draws({0x0ABC, 0x0ABD}));
    EXPECT_EQ(NewTempFileName(u".log", u"**WideGetTempPath**", u"m"), Names[0]);
    // In any other spelling it is a folder name like any other; this one cannot be made.
    ExpectRaises<ELumGeneralError>([] { NewTempFileName(u".log", u"**widegettemppath**", u"m"); },
                                   "ELumGeneralError", u"Could not create **widegettemppath**\\");
    ExpectRaises<ELumGeneralError>([] { NewTempFileName(u".log", u" **WideGetTempPath**", u"m"); },
                                   "ELumGeneralError", u"Could not create  **WideGetTempPath**\\");
}

TEST_F(LXTempFiles, WhatCannotBeCreated) {
    std::u16string file = SystemTempPath() + u"Lum Plain File";
    Names = {file};
    WriteTestFile(file);
    TRandomValues random(Draws({5, 6}));
    ExpectRaises<ELumGeneralError>([&] { NewTempFileName(u".txt", file + u"\\Sub", u"tmp"); },
                                   "ELumGeneralError", u"Could not create " + file + u"\\Sub\\");
    // A name the file system refuses is no taken name to try again.
    std::u16string bad = SystemTempPath() + u"tmp-" + Digits(5) + u"?.txt";
    ExpectRaises<ELumGeneralError>([] { NewTempFileName(u"?.txt", TempPathMarker, u"tmp"); },
                                   "ELumGeneralError", u"Could not create " + bad);
    EXPECT_EQ(random.Used(), 4u);
}

TEST_F(LXTempFiles, GarbageCollectedFileNames) {
    std::u16string made = FileName(0xFACE);
    std::u16string open = FileName(0xFACF);
    std::u16string readOnly = FileName(0xFAD0);
    std::u16string empty = FileName(0xFAD1);
    Names = {made, open, readOnly, empty};
    TRandomValues random(Draws({0xFACE, 0xFACF, 0xFAD0, 0xFAD1}));
    EXPECT_EQ(NewGarbageCollectedFileName(u".txt"), made);
    EXPECT_EQ(NewGarbageCollectedFileName(u".txt"), open);
    EXPECT_EQ(NewGarbageCollectedFileName(u".txt"), readOnly);
    EXPECT_EQ(NewGarbageCollectedFileName(u".txt"), empty);
    // The caller writes the file it was given.
    WriteTestFile(made, "report");
    WriteTestFile(readOnly);
    ASSERT_TRUE(SetFileAttributesW(WinStr(readOnly), FILE_ATTRIBUTE_READONLY));
    // A file still open without sharing its deletion cannot go; it is left without an error,
    // as is a read-only one.
    TScopedFile held(CreateFileW(WinStr(open), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_NO_THROW(Stop());
    EXPECT_FALSE(PathExists(made));
    EXPECT_FALSE(PathExists(empty));
    EXPECT_TRUE(IsFile(open));
    EXPECT_TRUE(IsFile(readOnly));
    SetFileAttributesW(WinStr(readOnly), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(LXTempFiles, ListsAreGoneAfterTheLastStop) {
    Names = {SystemTempPath() + u"tmp-" + Digits(0x77) + u".txt"};
    Stop();
    TRandomValues random(Draws({0x77}));
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
    // Files that are not recorded are still made.
    EXPECT_EQ(NewTempFileName(u".txt", TempPathMarker, u"tmp"), Names[0]);
}

TEST_F(LXTempFiles, DeletingAFolderNeverRaisesAfterTheLastStop) {
    std::u16string folder = SystemTempPath() + u"Lum Late Folder\\";
    Names = {folder};
    Stop();
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    EXPECT_NO_THROW(DeleteGarbageCollectedFolder(folder));
    // Nothing is recorded any more, so nothing is this process's to delete.
    EXPECT_TRUE(IsFolder(folder));
}
