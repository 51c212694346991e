#include "toolkit/win/LumSystemWin.h"

#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Environment(const wchar_t* name) {
    wchar_t value[1024];
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return FromWinStr(value, length);
}

std::u16string Upper(const std::u16string& text) {
    return AsciiUpperCase(text);
}

// A copy of a system library under a folder whose path is longer than MAX_PATH.
class LongFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = SystemTempPath() + u"LumSystemWinTest";
        std::u16string folder = root_;
        for (;;) {
            ASSERT_TRUE(CreateDirectoryW(WinStr(u"\\\\?\\" + folder), nullptr) ||
                        GetLastError() == ERROR_ALREADY_EXISTS);
            if (folder.size() > 300) {
                break;
            }
            folder += u"\\a-folder-with-a-long-name";
        }
        library_ = folder + u"\\LumCopy.dll";
        ASSERT_TRUE(CopyFileW(WinStr(SystemFolder() + u"\\version.dll"),
                              WinStr(u"\\\\?\\" + library_), FALSE));
    }
    void TearDown() override { RemoveTree(u"\\\\?\\" + root_); }

    std::u16string root_;
    std::u16string library_;
};

} // namespace

TEST(SystemWin, ModuleNames) {
    std::u16string own = OwnModuleFileName();
    EXPECT_EQ(Upper(own.substr(own.rfind(u'\\') + 1)), u"LUMSYSTEMWINTEST.EXE");
    EXPECT_EQ(ModuleFileName(nullptr), own);
    EXPECT_EQ(ModuleFileName(GetModuleHandleW(L"kernel32")),
              ModuleFileNameOf(reinterpret_cast<std::uintptr_t>(&GetTickCount)));
    // Addresses no module holds have no name, and asking never raises.
    EXPECT_EQ(ModuleFileNameOf(0), u"");
    EXPECT_EQ(ModuleFileNameOf(16), u"");
}

TEST_F(LongFolder, ModuleFileNameIsNeverCut) {
    HMODULE module = LoadLibraryW(WinStr(library_));
    ASSERT_NE(module, nullptr);
    std::u16string name = ModuleFileName(module);
    FreeLibrary(module);
    EXPECT_GT(name.size(), size_t{MAX_PATH});
    EXPECT_EQ(Upper(name), Upper(library_));
}

TEST(SystemWin, Folders) {
    wchar_t expected[MAX_PATH];
    UINT length = GetSystemDirectoryW(expected, MAX_PATH);
    EXPECT_EQ(SystemFolder(), FromWinStr(expected, length));
    length = GetWindowsDirectoryW(expected, MAX_PATH);
    EXPECT_EQ(WindowsFolder(), FromWinStr(expected, length));
    EXPECT_NE(SystemFolder().back(), u'\\');
    EXPECT_EQ(TempFolder(), SystemTempPath());
    EXPECT_EQ(TempFolder().back(), u'\\');
}

TEST(SystemWin, EnvironmentExpansion) {
    EXPECT_EQ(Upper(ExpandEnvironment(u"%SystemRoot%\\system32\\x.dll")),
              Upper(WindowsFolder() + u"\\system32\\x.dll"));
    EXPECT_EQ(ExpandEnvironment(u"%LUM_NO_SUCH_VARIABLE%\\x"), u"%LUM_NO_SUCH_VARIABLE%\\x");
    EXPECT_EQ(ExpandEnvironment(u"plain"), u"plain");
    EXPECT_EQ(ExpandEnvironment(u""), u"");
    // Longer than the first buffer: it grows, nothing is cut.
    std::u16string part(400, u'p');
    ASSERT_TRUE(SetEnvironmentVariableW(L"LUM_LONG_PART", WinStr(part)));
    EXPECT_EQ(ExpandEnvironment(u"%LUM_LONG_PART%\\%LUM_LONG_PART%"), part + u"\\" + part);
    SetEnvironmentVariableW(L"LUM_LONG_PART", nullptr);
}

TEST(SystemWin, OSVersionAsTheSystemReportsIt) {
    const TOSVersion& version = OSVersion();
    DWORD packed = GetVersion();
    EXPECT_EQ(version.Major, LOBYTE(LOWORD(packed)));
    EXPECT_EQ(version.Minor, HIBYTE(LOWORD(packed)));
    EXPECT_TRUE(version.IsNT());
    EXPECT_FALSE(version.IsWin9x());
    EXPECT_TRUE(version.HasProductInfo);
    EXPECT_EQ(version.Build, HIWORD(packed));
    // Asked once: the same record every time.
    EXPECT_EQ(&OSVersion(), &version);

    // The kernel's own answer: never older than what the program is told, and asked once too.
    const TOSVersion& running = RunningOSVersion();
    EXPECT_TRUE(running.IsNT());
    EXPECT_GE((running.Major << 16) | running.Minor, (version.Major << 16) | version.Minor);
    EXPECT_GE(running.Build, 1u);
    EXPECT_EQ(&RunningOSVersion(), &running);
}

TEST(SystemWin, SystemLibrariesByFullPath) {
    TSystemLibrary kernel = LoadSystemLibrary(u"kernel32.dll");
    EXPECT_EQ(Upper(ModuleFileName(kernel.Handle())), Upper(SystemFolder() + u"\\kernel32.dll"));
    using TickCount = DWORD(WINAPI*)();
    EXPECT_EQ(kernel.Proc<TickCount>("GetTickCount"), &GetTickCount);
    EXPECT_EQ(kernel.FindProc<TickCount>("LumNoSuchFunction"), nullptr);
    EXPECT_THROW(kernel.Proc<TickCount>("LumNoSuchFunction"), EOSError);
    // A library the system folder does not have is not looked for anywhere else.
    EXPECT_THROW(LoadSystemLibrary(u"LumNoSuchLibrary.dll"), EOSError);
}

TEST(SystemWin, ComputerAndUserNames) {
    // Wine's environment names both, independently of the calls.
    EXPECT_EQ(ComputerName(), Environment(L"COMPUTERNAME"));
    EXPECT_LE(ComputerName().size(), size_t{MAX_COMPUTERNAME_LENGTH});
    EXPECT_EQ(UserName(), Environment(L"USERNAME"));
}

TEST(SystemWin, VersionInformationOfFiles) {
    std::vector<std::uint8_t> block = FileVersionInfo(SystemFolder() + u"\\kernel32.dll");
    ASSERT_FALSE(block.empty());
    VS_FIXEDFILEINFO fixed = VersionInfoFixed(block);
    EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(VersionInfoFileVersion(block),
              (std::uint64_t(fixed.dwFileVersionMS) << 32) | fixed.dwFileVersionLS);
    EXPECT_NE(VersionInfoTranslation(block), 0u);
    std::uint32_t translation = VersionInfoTranslation(block);
    std::u16string name = VersionInfoString(block, u"OriginalFilename");
    EXPECT_EQ(Upper(name), u"KERNEL32.DLL");
    EXPECT_EQ(
        VersionInfoString(block, u"OriginalFilename", translation & 0xFFFF, translation >> 16),
        name);
    EXPECT_EQ(VersionInfoString(block, u"LumNoSuchValue"), u"");

    // No file, or a file without version information: an empty block and empty answers.
    EXPECT_TRUE(FileVersionInfo(SystemFolder() + u"\\LumNoSuchFile.dll").empty());
    EXPECT_TRUE(FileVersionInfo(SystemFolder()).empty());
    std::vector<std::uint8_t> none;
    EXPECT_EQ(VersionInfoFileVersion(none), 0u);
    EXPECT_EQ(VersionInfoTranslation(none), 0u);
    EXPECT_EQ(VersionInfoString(none, u"FileVersion"), u"");
}
