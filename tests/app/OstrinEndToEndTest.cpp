// Ostrin.exe end to end, in a Wine prefix of its own: the test prepares the system folder and
// registry, starts the program, reads its windows, presses their buttons, and checks what the
// program left behind and the exit code it ended with. Unattended runs go through a shell,
// which gives the program a file-size limit when asked and keeps what Wine prints of the
// event log.

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumLX/LumLXVerUtils.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

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

using TBytes = std::vector<std::uint8_t>;

std::u16string OldLibrary() {
    return TestBuildFolder() + u"\\standin\\capicom1\\capicom.dll";
}

// What the setup leaves beside the library while it works: the new file, the backup.
std::vector<std::u16string> FilesBesideTarget() {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found;
    TScopedFind find(FindFirstFileW(WinStr(Target() + u".*"), &found));
    if (find) {
        do {
            // The pattern takes the library's own name too, as "*.*" takes names without a dot.
            std::u16string name = FromWinStr(found.cFileName);
            if (!SameAsciiText(name, u"capicom.dll")) {
                names.push_back(name);
            }
        } while (FindNextFileW(find.Get(), &found));
    }
    return names;
}

// Nothing of CAPICOM on the machine: no file in the system folder, no ProgID.
void RemoveCapicom() {
    for (const std::u16string& name : FilesBesideTarget()) {
        DeleteFileW(WinStr(GetSystemDir() + u"\\" + name));
    }
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
    ASSERT_TRUE(CopyFileW(WinStr(OldLibrary()), WinStr(target), FALSE));
    CallServerEntry(target, "DllRegisterServer");
    ASSERT_EQ(GetCapicomVersion(), MakeVersion(1, 0, 0, 0));
}

// COM makes an object of the class CAPICOM.EncryptedData names, from its registered library.
bool EncryptedDataCanBeCreated() {
    if (FAILED(CoInitialize(nullptr))) {
        return false;
    }
    CLSID classId{};
    IUnknown* object = nullptr;
    bool created = SUCCEEDED(CLSIDFromProgID(L"CAPICOM.EncryptedData", &classId)) &&
                   SUCCEEDED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                              reinterpret_cast<void**>(&object)));
    if (object) {
        object->Release();
    }
    // Unloads the library again, so that the next test can remove it.
    CoUninitialize();
    return created;
}

// The 1.0 library in place byte for byte, registered and working, and nothing left beside it.
void ExpectOldCapicomWorks() {
    EXPECT_EQ(ReadTestFile(Target()), ReadTestFile(OldLibrary()));
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(1, 0, 0, 0));
    EXPECT_TRUE(SameAsciiText(GetProgIDServerPath(u"CAPICOM.EncryptedData"), Target()));
    EXPECT_TRUE(EncryptedDataCanBeCreated());
    EXPECT_EQ(FilesBesideTarget(), std::vector<std::u16string>{});
}

class Program {
  public:
    explicit Program(const std::u16string& exe, const std::u16string& arguments = {}) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::u16string commandLine = u"\"" + exe + u"\"";
        if (!arguments.empty()) {
            commandLine += u" " + arguments;
        }
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

    /// The exit code of the process that ended.
    DWORD ExitCode() {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.Get(), &code);
        return code;
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

// Wine's path of a file for the shell; empty outside Wine.
std::string UnixPath(const std::u16string& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    auto convert = ProcAddress<Convert>(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name");
    char* converted = convert ? convert(WinStr(path)) : nullptr;
    if (!converted) {
        return {};
    }
    std::string text = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return text;
}

BOOL CALLBACK CountForeignWindow(HWND window, LPARAM data) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() && IsWindowVisible(window)) {
        ++*reinterpret_cast<int*>(data);
    }
    return TRUE;
}

// Visible top-level windows of other processes than this test.
int ForeignWindows() {
    int count = 0;
    EnumWindows(&CountForeignWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// The shell's part: the limit, the program with Wine's event-log channel on its error output,
// and the exit status into a file that appears when everything is over.
constexpr char kUnattendedScript[] = R"(trap '' XFSZ
if [ -n "$LUM_FILE_LIMIT" ]; then ulimit -f "$LUM_FILE_LIMIT"; fi
WINEDEBUG=err+eventlog wine "$LUM_PROGRAM" /S 2>"$LUM_EVENTS"
echo $? >"$LUM_DONE.part"
mv "$LUM_DONE.part" "$LUM_DONE"
)";

struct TUnattendedRun {
    bool Ended = false;
    /// The exit code as the shell sees it: its low eight bits.
    int Status = -1;
    /// What Wine printed of the event log, one "err:eventlog:ReportEventW L"..."" line an entry.
    std::string Events;
    /// The most windows of other processes that were visible at one time during the run.
    int Windows = 0;
};

// Runs `exe` with "/S" through a shell (Wine starts a Unix program as a process of its own),
// writes limited to `fileSizeLimit` KB when that is not 0.
TUnattendedRun RunUnattended(const std::u16string& exe, unsigned fileSizeLimit = 0) {
    TUnattendedRun run;
    std::u16string folder = SystemTempPath() + u"OstrinUnattended";
    RemoveTree(folder);
    EXPECT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    std::u16string script = folder + u"\\run.sh";
    std::u16string done = folder + u"\\done";
    std::u16string events = folder + u"\\events.txt";
    WriteTestFile(script, kUnattendedScript);
    std::string limit = fileSizeLimit ? std::to_string(fileSizeLimit) : std::string();
    SetEnvironmentVariableA("LUM_FILE_LIMIT", limit.c_str());
    SetEnvironmentVariableA("LUM_PROGRAM", UnixPath(exe).c_str());
    SetEnvironmentVariableA("LUM_EVENTS", UnixPath(events).c_str());
    SetEnvironmentVariableA("LUM_DONE", (UnixPath(folder) + "/done").c_str());
    std::string commandLine = "/bin/sh " + UnixPath(script);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // The shell's handle cannot be waited for under Wine: the file it writes last tells.
    if (!CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        ADD_FAILURE() << "no shell: " << GetLastError();
        return run;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (DWORD waited = 0; waited < 60000 && !run.Ended; waited += 50) {
        run.Windows = std::max(run.Windows, ForeignWindows());
        Sleep(50);
        run.Ended = IsFile(done);
    }
    if (run.Ended) {
        TBytes status = ReadTestFile(done);
        run.Status = std::stoi(std::string(status.begin(), status.end()));
        TBytes printed = ReadTestFile(events);
        std::string all(printed.begin(), printed.end());
        for (size_t at = all.find("err:eventlog:"); at != std::string::npos;
             at = all.find("err:eventlog:", at + 1)) {
            run.Events += all.substr(at, all.find('\n', at) - at) + "\n";
        }
    }
    RemoveTree(folder);
    return run;
}

// A text as Wine's debug channels print it: backslashes doubled, line breaks as \r and \n.
std::string AsPrinted(const std::u16string& text) {
    std::string printed;
    for (char c : WideToUtf8(text)) {
        printed += c == '\\' ? "\\\\" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
    }
    return printed;
}

FILETIME LastWrite(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(WinStr(path), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override { RemoveCapicom(); }
    void TearDown() override { RemoveCapicom(); }

    std::u16string ostrin_ = TestBuildFolder() + u"\\app\\Ostrin.exe";
};

} // namespace

TEST_F(EndToEnd, InstallsAndRegistersThenEndsAndASecondRunWritesNothing) {
    {
        Program program(ostrin_);
        ASSERT_TRUE(program.WaitForExit(30000)) << "the program did not end by itself";
        EXPECT_EQ(program.ExitCode(), 0u);
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
    EXPECT_EQ(again.ExitCode(), 0u) << "already current counts as success";
    FILETIME after = LastWrite(Target());
    EXPECT_EQ(CompareFileTime(&before, &after), 0) << "the second run wrote the library again";
    std::printf("second run (nothing to do) took %lu ms\n", static_cast<unsigned long>(*ran));
}

TEST_F(EndToEnd, ReplacesAnOlderVersionAndKeepsNoBackup) {
    InstallOldCapicom();
    Program program(ostrin_);
    ASSERT_TRUE(program.WaitForExit(30000));
    EXPECT_EQ(program.ExitCode(), 0u);
    EXPECT_EQ(GetFileVersion(Target()), MakeVersion(2, 0, 0, 3));
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));
    EXPECT_TRUE(EncryptedDataCanBeCreated());
    EXPECT_EQ(FilesBesideTarget(), std::vector<std::u16string>{});
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
    Program program(TestBuildFolder() + u"\\app\\OstrinRegFail.exe");
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
    bool raiseFrame = false;
    for (const std::u16string& line : lines) {
        timerFrame =
            timerFrame || line.find(u"OstrinFrm.TOstrinForm::Timer1Timer") != std::u16string::npos;
        // The function that raised, whichever copy of it the optimiser made, with its unit.
        raiseFrame = raiseFrame || line.find(u"LumOSErrorsWin.OleCheck") != std::u16string::npos;
    }
    EXPECT_TRUE(timerFrame) << "no frame of the timer's handler";
    EXPECT_TRUE(raiseFrame) << "no frame of the raising function with its unit:\n"
                            << WideToUtf8(DialogDetailsText(dialog));

    HWND form = program.WaitForDialog(u"CAPICOM 2.0 setup - registering...");
    ASSERT_NE(form, nullptr);
    // The library was written; only its registration failed.
    EXPECT_TRUE(FileExists(Target()));

    PostMessageW(FindChildWithText(dialog, L"TLumButton", u"OK"), BM_CLICK, 0, 0);
    EXPECT_FALSE(program.WaitForExit(1000)) << "the program ended after the failure";
    EXPECT_NE(program.WaitForDialog(u"CAPICOM 2.0 setup - registering...", 1000), nullptr);
    // Closed by the user at last, it ends with the registration's exit code.
    PostMessageW(form, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(15000));
    EXPECT_EQ(program.ExitCode(), 4u);
}

TEST_F(EndToEnd, FailedRegistrationPutsTheOldLibraryBack) {
    InstallOldCapicom();
    Program program(TestBuildFolder() + u"\\app\\OstrinRegFail.exe");
    HWND dialog = program.WaitForDialog(u"OstrinRegFail  (Application Error)");
    ASSERT_NE(dialog, nullptr) << "no exception dialog";
    // The message is the registration's, as without an old library.
    std::u16string message = DialogMessageText(dialog);
    std::u16string tail = u"\r\n\r\nError occurred while registering " + Target() + u".";
    ASSERT_GT(message.size(), tail.size());
    EXPECT_TRUE(SameAsciiText(message.substr(message.size() - tail.size()), tail))
        << WideToUtf8(message);
    // Put back while the dialog is still open.
    ExpectOldCapicomWorks();

    PostMessageW(FindChildWithText(dialog, L"TLumButton", u"OK"), BM_CLICK, 0, 0);
    HWND form = program.WaitForDialog(u"CAPICOM 2.0 setup - registering...");
    ASSERT_NE(form, nullptr);
    PostMessageW(form, WM_CLOSE, 0, 0);
    ASSERT_TRUE(program.WaitForExit(15000));
    EXPECT_EQ(program.ExitCode(), 4u);
}

TEST_F(EndToEnd, UnattendedFailuresGoToTheEventLogAndTheExitCode) {
    InstallOldCapicom();
    {
        SCOPED_TRACE("registration fails");
        TUnattendedRun run = RunUnattended(TestBuildFolder() + u"\\app\\OstrinRegFail.exe");
        ASSERT_TRUE(run.Ended);
        EXPECT_EQ(run.Status, 4);
        EXPECT_EQ(run.Windows, 0);
        std::string line = AsPrinted(u"Error occurred while registering " + Target() + u".");
        EXPECT_NE(run.Events.find(line), std::string::npos) << run.Events;
        ExpectOldCapicomWorks();
    }
    {
        SCOPED_TRACE("the write fails part-way");
        unsigned half = static_cast<unsigned>(
            ReadTestFile(TestBuildFolder() + u"\\standin\\capicom.dll").size() / 2048);
        TUnattendedRun run = RunUnattended(ostrin_, half);
        ASSERT_TRUE(run.Ended);
        EXPECT_EQ(run.Status, 3);
        EXPECT_EQ(run.Windows, 0);
        std::string line = AsPrinted(u"Cannot write file " + Target() + u".");
        EXPECT_NE(run.Events.find(line), std::string::npos) << run.Events;
        ExpectOldCapicomWorks();
    }
}

TEST_F(EndToEnd, UnattendedInstallIsSilent) {
    InstallOldCapicom();
    TUnattendedRun run = RunUnattended(ostrin_);
    ASSERT_TRUE(run.Ended);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Windows, 0);
    EXPECT_EQ(run.Events, "");
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));
    EXPECT_TRUE(EncryptedDataCanBeCreated());
    EXPECT_EQ(FilesBesideTarget(), std::vector<std::u16string>{});
}

TEST_F(EndToEnd, ALibraryInUseIsReplacedAtTheNextRestart) {
    InstallOldCapicom();
    {
        // This test runs the old library while the program tries to replace it.
        TScopedLibrary user(LoadLibraryW(WinStr(Target())));
        ASSERT_TRUE(user);
        Program program(ostrin_);
        HWND box = program.WaitForWindow(L"#32770");
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(MessageBoxText(box),
                  Target() + u" is in use by another program. The new version takes its place "
                             u"when the computer restarts: restart the computer to complete the "
                             u"setup.");
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(program.WaitForExit(15000));
        EXPECT_EQ(program.ExitCode(), 3010u);
    }
    EXPECT_EQ(ReadTestFile(Target()), ReadTestFile(OldLibrary()));
    std::vector<std::u16string> waiting = FilesBesideTarget();
    ASSERT_EQ(waiting.size(), 1u) << "the new library does not wait beside the old one";
    std::u16string newFile = GetSystemDir() + u"\\" + waiting[0];
    EXPECT_EQ(GetFileVersion(newFile), MakeVersion(2, 0, 0, 3));

    // The restart's work as the system will find it; the prefix restarts with none.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    TScopedRegKey sessionManager(key);
    wchar_t pending[4096] = {};
    DWORD size = sizeof pending - sizeof(wchar_t);
    EXPECT_EQ(RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(pending), &size),
              ERROR_SUCCESS);
    std::u16string renames(reinterpret_cast<const char16_t*>(pending), size / 2);
    std::u16string rename = u"\\??\\" + newFile + std::u16string(1, u'\0') + u"!\\??\\" + Target();
    EXPECT_NE(renames.find(rename), std::u16string::npos);
    RegDeleteValueW(key, L"PendingFileRenameOperations");
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    TScopedRegKey runOnce(key);
    EXPECT_EQ(RegQueryValueExW(key, L"Register capicom.dll", nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    RegDeleteValueW(key, L"Register capicom.dll");
}

TEST_F(EndToEnd, OldBrowserLibraryStopsTheProgramBeforeAnyWindow) {
    // The program and a browser library of version 4 beside it, which the library search
    // finds before the system's.
    std::u16string folder = SystemTempPath() + u"OstrinOldBrowser";
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    ASSERT_TRUE(CopyFileW(WinStr(ostrin_), WinStr(folder + u"\\Ostrin.exe"), FALSE));
    ASSERT_TRUE(CopyFileW(WinStr(TestBuildFolder() + u"\\standin\\wininet4\\wininet.dll"),
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
        ASSERT_TRUE(program.WaitForExit(15000));
        EXPECT_EQ(program.ExitCode(), 2u);
    }
    {
        // Unattended: the same text, but in the event log.
        TUnattendedRun run = RunUnattended(folder + u"\\Ostrin.exe");
        ASSERT_TRUE(run.Ended);
        EXPECT_EQ(run.Status, 2);
        EXPECT_EQ(run.Windows, 0);
        EXPECT_NE(run.Events.find(AsPrinted(u"This program requires Internet Explorer 5.0 or newer."
                                            u"\r\nYou can download it from ")),
                  std::string::npos)
            << run.Events;
    }
    SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Ostrin.exe");
    EXPECT_FALSE(FileExists(Target()));
    RemoveTree(folder);
}
