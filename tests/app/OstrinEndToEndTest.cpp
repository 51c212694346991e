// Ostrin.exe end to end, in a Wine prefix of its own: the test prepares the system folder and
// registry, starts the program, reads its windows, presses their buttons, and checks what the
// program left behind.

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumLX/LumLXVerUtils.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <optional>
#include <vector>

namespace {

// <build>/tests/OstrinEndToEndTest.exe → <build>
std::u16string BuildFolder() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::u16string path = FromWinStr(self);
    path.resize(path.rfind(u'\\'));
    path.resize(path.rfind(u'\\'));
    return path;
}

std::u16string Target() {
    return GetSystemDir() + u"\\capicom.dll";
}

void CallServerEntry(const std::u16string& path, const char* entry) {
    TScopedLibrary library(LoadLibraryW(WinStr(path)));
    if (!library) {
        return;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    if (auto fn = reinterpret_cast<Entry>(
            reinterpret_cast<void*>(GetProcAddress(library.Get(), entry)))) {
        fn();
    }
}

// Nothing of CAPICOM on the machine: no file in the system folder, no ProgID.
void RemoveCapicom() {
    std::u16string target = Target();
    if (FileExists(target)) {
        CallServerEntry(target, "DllUnregisterServer");
        SetFileAttributesW(WinStr(target), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(DeleteFileW(WinStr(target)));
    }
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"CAPICOM.EncryptedData");
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L"CAPICOM.EncryptedData.1");
    ASSERT_EQ(GetCapicomVersion(), 0u);
}

// CAPICOM 1.0 installed and registered in the system folder.
void InstallOldCapicom() {
    std::u16string target = Target();
    ASSERT_TRUE(CopyFileW(WinStr(BuildFolder() + u"\\standin\\capicom1\\capicom.dll"),
                          WinStr(target), FALSE));
    CallServerEntry(target, "DllRegisterServer");
    ASSERT_EQ(GetCapicomVersion(), MakeVersion(1, 0, 0, 0));
}

class Program {
  public:
    explicit Program(const std::u16string& exe) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::u16string commandLine = u"\"" + exe + u"\"";
        started_ = GetTickCount();
        PROCESS_INFORMATION pi{};
        BOOL ok = CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.data()), nullptr,
                                 nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        EXPECT_TRUE(ok) << WideToUtf8(exe);
        process_.Reset(pi.hProcess);
        CloseHandle(pi.hThread);
        id_ = pi.dwProcessId;
    }
    ~Program() {
        if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.Get(), 1);
            WaitForSingleObject(process_.Get(), 5000);
        }
    }

    /// Waits for the process to end; the milliseconds it ran, or nothing on time-out.
    std::optional<DWORD> WaitForExit(DWORD milliseconds) {
        if (WaitForSingleObject(process_.Get(), milliseconds) != WAIT_OBJECT_0) {
            return std::nullopt;
        }
        return GetTickCount() - started_;
    }

    HWND WaitForWindow(const wchar_t* className) { return WaitForProcessWindow(id_, className); }
    HWND FindWindowOf(const wchar_t* className) { return FindProcessWindow(id_, className); }
    HWND WaitForDialog(std::u16string_view caption, DWORD milliseconds = 15000) {
        return WaitForProcessWindowWithCaption(id_, L"TLumForm", caption, milliseconds);
    }

  private:
    TScopedKernelHandle process_;
    DWORD id_ = 0;
    DWORD started_ = 0;
};

FILETIME LastWrite(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(WinStr(path), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override { RemoveCapicom(); }
    void TearDown() override { RemoveCapicom(); }

    std::u16string ostrin_ = BuildFolder() + u"\\app\\Ostrin.exe";
};

} // namespace

TEST_F(EndToEnd, InstallsAndRegistersThenEndsAndASecondRunWritesNothing) {
    {
        Program program(ostrin_);
        ASSERT_TRUE(program.WaitForExit(30000)) << "the program did not end by itself";
    }
    ASSERT_TRUE(FileExists(Target()));
    EXPECT_EQ(GetFileVersion(Target()), MakeVersion(2, 0, 0, 3));
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));
    EXPECT_TRUE(SameAsciiText(GetProgIDServerPath(u"CAPICOM.EncryptedData"), Target()));

    FILETIME before = LastWrite(Target());
    Sleep(1100);
    Program again(ostrin_);
    auto ran = again.WaitForExit(30000);
    ASSERT_TRUE(ran) << "the second run did not end by itself";
    FILETIME after = LastWrite(Target());
    EXPECT_EQ(CompareFileTime(&before, &after), 0) << "the second run wrote the library again";
    std::printf("second run (nothing to do) took %lu ms\n", static_cast<unsigned long>(*ran));
}

TEST_F(EndToEnd, ReplacesAnOlderVersion) {
    InstallOldCapicom();
    Program program(ostrin_);
    ASSERT_TRUE(program.WaitForExit(30000));
    EXPECT_EQ(GetFileVersion(Target()), MakeVersion(2, 0, 0, 3));
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));
}

TEST_F(EndToEnd, ReplacesAReadOnlyFile) {
    InstallOldCapicom();
    ASSERT_TRUE(SetFileAttributesW(WinStr(Target()), FILE_ATTRIBUTE_READONLY));
    Program program(ostrin_);
    ASSERT_TRUE(program.WaitForExit(30000));
    EXPECT_EQ(GetFileVersion(Target()), MakeVersion(2, 0, 0, 3));
    EXPECT_EQ(GetFileAttributesW(WinStr(Target())) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));
}

TEST_F(EndToEnd, FailingRegistrationIsReportedInTheDialogAndTheFormStays) {
    Program program(BuildFolder() + u"\\app\\OstrinRegFail.exe");
    // The application title is the executable's name.
    HWND dialog = program.WaitForDialog(u"OstrinRegFail  (Application Error)");
    ASSERT_NE(dialog, nullptr) << "no exception dialog";
    std::u16string message = DialogMessageText(dialog);
    std::u16string tail = u"\r\n\r\nError occurred while registering " + Target() + u".";
    ASSERT_GT(message.size(), tail.size());
    EXPECT_TRUE(SameAsciiText(message.substr(message.size() - tail.size()), tail))
        << WideToUtf8(message);

    ASSERT_TRUE(WaitForDialogDetails(dialog));
    std::vector<std::u16string> lines = SplitLines(DialogDetailsText(dialog));
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], u"Exception class: EOleSysError");
    // The message keeps its line breaks (the system's text may have some of its own): the
    // registration line ends it, the OLE line follows.
    EXPECT_EQ(lines[2].substr(0, 19), u"Exception message: ");
    size_t ole = 3;
    while (ole < lines.size() && lines[ole].substr(0, 19) != u"OLE Exception Code:") {
        ++ole;
    }
    ASSERT_LT(ole + 2, lines.size());
    EXPECT_TRUE(
        SameAsciiText(lines[ole - 1], u"Error occurred while registering " + Target() + u"."));
    EXPECT_EQ(lines[ole - 2], u"");
    EXPECT_EQ(lines[ole], u"OLE Exception Code: 0x80004005 (-2147467259)");
    EXPECT_EQ(lines[ole + 1], std::u16string(100, u'-'));
    EXPECT_EQ(lines[ole + 2].substr(0, 22), u"Stack list, generated ");
    bool timerFrame = false;
    for (const std::u16string& line : lines) {
        timerFrame =
            timerFrame || line.find(u"OstrinFrm.TOstrinForm::Timer1Timer") != std::u16string::npos;
    }
    EXPECT_TRUE(timerFrame) << "no frame of the timer's handler";

    HWND form = program.WaitForDialog(u"CAPICOM 2.0 setup - registering...");
    ASSERT_NE(form, nullptr);
    // The library was written; only its registration failed.
    EXPECT_TRUE(FileExists(Target()));

    PostMessageW(FindChildWithText(dialog, L"TLumButton", u"OK"), BM_CLICK, 0, 0);
    EXPECT_FALSE(program.WaitForExit(1000)) << "the program ended after the failure";
    EXPECT_NE(program.WaitForDialog(u"CAPICOM 2.0 setup - registering...", 1000), nullptr);
}

TEST_F(EndToEnd, OldBrowserLibraryStopsTheProgramBeforeAnyWindow) {
    // The program and a browser library of version 4 beside it, which the library search
    // finds before the system's.
    std::u16string folder = SystemTempPath() + u"OstrinOldBrowser";
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    ASSERT_TRUE(CopyFileW(WinStr(ostrin_), WinStr(folder + u"\\Ostrin.exe"), FALSE));
    ASSERT_TRUE(CopyFileW(WinStr(BuildFolder() + u"\\standin\\wininet4\\wininet.dll"),
                          WinStr(folder + u"\\wininet.dll"), FALSE));
    // Wine takes its own browser library for that name unless told to prefer the file.
    const wchar_t* overrides = L"Software\\Wine\\AppDefaults\\Ostrin.exe\\DllOverrides";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, overrides, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const wchar_t value[] = L"native,builtin";
    RegSetValueExW(key, L"wininet", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
    RegCloseKey(key);
    {
        Program program(folder + u"\\Ostrin.exe");
        HWND box = program.WaitForWindow(L"#32770");
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(MessageBoxText(box), u"This program requires Internet Explorer 5.0 or newer.\r\n"
                                       u"You can download it from "
                                       u"http://www.microsoft.com/windows/ie/downloads/");
        EXPECT_EQ(WindowText(box), u"Ostrin");
        EXPECT_EQ(program.FindWindowOf(L"TLumForm"), nullptr);
        EXPECT_EQ(program.FindWindowOf(L"TLumApplication"), nullptr);
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        EXPECT_TRUE(program.WaitForExit(15000));
    }
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Ostrin.exe");
    EXPECT_FALSE(FileExists(Target()));
    RemoveTree(folder);
}
