// Ostrin.exe end to end, in a Wine prefix of its own, on what it finds and loads: libraries
// planted beside it and in its current folder never run, and the component probes believe
// neither a server file in the current folder nor a registry value of the wrong type.

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumLX/LumLXVerUtils.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/win/LumRegistry.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace {

// <build>/tests/OstrinSearchTest.exe → <build>
std::u16string Target() {
    return GetSystemDir() + u"\\capicom.dll";
}

// Calls the entry point when the library has it (a failing stand-in may lack it).
void CallServerEntry(const std::u16string& path, const char* entry) {
    TScopedLibrary library(LoadLibraryW(WinStr(path)));
    ASSERT_TRUE(library) << WideToUtf8(path);
    if (auto proc = ProcAddress<HRESULT(STDAPICALLTYPE*)()>(library.Get(), entry)) {
        proc();
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

// The InprocServer32 key of the class a ProgID names, opened for writing.
void OpenServerKey(TLumRegistry& registry, const std::u16string& progId) {
    CLSID classId;
    ASSERT_EQ(CLSIDFromProgID(WinStr(progId), &classId), S_OK) << WideToUtf8(progId);
    wchar_t text[40];
    StringFromGUID2(classId, text, 40);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(registry.OpenKey(u"CLSID\\" + FromWinStr(text) + u"\\InprocServer32", false));
}

FILETIME LastWrite(const std::u16string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(WinStr(path), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// An environment variable set for the life of the object (and for the processes started
// meanwhile), then put back.
class TEnvironment {
  public:
    TEnvironment(const wchar_t* name, const std::u16string& value) : name_(name) {
        wchar_t old[32767];
        DWORD length = GetEnvironmentVariableW(name, old, 32767);
        if (length > 0 && length < 32767) {
            old_ = FromWinStr(old, length);
        }
        SetEnvironmentVariableW(name, WinStr(value));
    }
    TEnvironment(const TEnvironment&) = delete;
    TEnvironment& operator=(const TEnvironment&) = delete;
    ~TEnvironment() { SetEnvironmentVariableW(name_, old_ ? WinStr(*old_) : nullptr); }

  private:
    const wchar_t* name_;
    std::optional<std::u16string> old_;
};

// A program started in a chosen current folder; ended by force if it still runs at the end.
class TProgram {
  public:
    TProgram(const std::u16string& exe, const std::u16string& arguments,
             const std::u16string& currentFolder) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::u16string commandLine = u"\"" + exe + u"\"" + arguments;
        PROCESS_INFORMATION pi{};
        BOOL ok = CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.data()), nullptr,
                                 nullptr, FALSE, 0, nullptr, WinStr(currentFolder), &si, &pi);
        EXPECT_TRUE(ok) << WideToUtf8(exe);
        process_.Reset(pi.hProcess);
        CloseHandle(pi.hThread);
        id_ = pi.dwProcessId;
    }
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;
    ~TProgram() { End(); }

    /// Its exit code once it ended by itself within the time; nothing on time-out.
    std::optional<DWORD> WaitForExit(DWORD milliseconds) {
        DWORD code = 0;
        if (!process_ || WaitForSingleObject(process_.Get(), milliseconds) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process_.Get(), &code)) {
            return std::nullopt;
        }
        return code;
    }

    HWND WaitForDialog(std::u16string_view caption) {
        return WaitForProcessWindowWithCaption(id_, L"TLumForm", caption);
    }

    void End() {
        if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.Get(), 1);
            WaitForSingleObject(process_.Get(), 5000);
        }
    }

  private:
    TScopedKernelHandle process_;
    DWORD id_ = 0;
};

std::string ReadText(const std::u16string& path) {
    std::ifstream file(WideToUtf8(path), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class Search : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveCapicom();
        RemoveTree(root_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(root_), nullptr));
        ASSERT_TRUE(CreateDirectoryW(WinStr(programFolder_), nullptr));
        ASSERT_TRUE(CreateDirectoryW(WinStr(currentFolder_), nullptr));
    }
    void TearDown() override {
        RemoveCapicom();
        RemoveTree(root_);
    }

    // A copy of a program of the build in the program folder; its path.
    std::u16string CopyProgram(std::u16string_view relative) {
        std::u16string source = TestBuildFolder() + u"\\" + std::u16string(relative);
        std::u16string copy = programFolder_ + source.substr(source.rfind(u'\\'));
        EXPECT_TRUE(CopyFileW(WinStr(source), WinStr(copy), FALSE)) << WideToUtf8(source);
        return copy;
    }

    std::u16string root_ = SystemTempPath() + u"OstrinSearch";
    std::u16string programFolder_ = root_ + u"\\program";
    std::u16string currentFolder_ = root_ + u"\\current";
};

// ---- Planted libraries ----

// Libraries that system components load by name while a program runs: the themes and their
// drawing (measured under Wine with WINEDEBUG=+loaddll), window composition, the property
// system, cryptography, user profiles, process status, mail and sound (on Windows); the common
// controls, which programs usually import; and the names the probes look for. Wine loads
// version.dll itself while any process starts, so it is no test of the program.
constexpr const char16_t* kPlantedNames[] = {
    u"uxtheme", u"msimg32", u"dwmapi", u"propsys",  u"cryptbase", u"userenv",
    u"psapi",   u"mapi32",  u"winmm",  u"comctl32", u"crpe32",    u"rpawinet",
};
// Beside the program, the browser library is the one its check is meant to find, and an old
// one stops the program at the check (OstrinEndToEndTest): it waits in the current folder only.
constexpr const char16_t* kPlantedInTheCurrentFolderOnly[] = {u"wininet"};

class Planted : public Search {
  protected:
    static constexpr const char16_t* kPrograms[] = {u"Ostrin.exe", u"OstrinRegFail.exe",
                                                    u"ShowForms.exe"};

    void SetUp() override {
        Search::SetUp();
        // Wine prefers its own libraries unless a name is set native first for the program. It
        // reads that from the registry when a process starts (a WINEDLLOVERRIDES set by this
        // process would not reach the programs it starts).
        for (const char16_t* program : kPrograms) {
            TLumRegistry overrides;
            ASSERT_TRUE(overrides.OpenKey(
                kAppDefaults + std::u16string(program) + u"\\DllOverrides", true));
            for (const char16_t* name : kPlantedNames) {
                overrides.WriteString(name, u"native,builtin");
            }
            for (const char16_t* name : kPlantedInTheCurrentFolderOnly) {
                overrides.WriteString(name, u"native,builtin");
            }
        }
        record_.emplace(L"LUM_LOAD_RECORD", recordFile_);
    }
    void TearDown() override {
        record_.reset();
        TLumRegistry registry;
        for (const char16_t* program : kPrograms) {
            registry.DeleteKey(kAppDefaults + std::u16string(program));
        }
        Search::TearDown();
    }

    static constexpr char16_t kAppDefaults[] = u"\\Software\\Wine\\AppDefaults\\";

    // The recorder as <name>.dll in the folder.
    void Plant(const std::u16string& folder, const char16_t* name) {
        ASSERT_TRUE(CopyFileW(WinStr(TestBuildFolder() + u"\\standin\\recorder\\recorder.dll"),
                              WinStr(folder + u"\\" + name + u".dll"), FALSE));
    }

    void PlantEverywhere() {
        for (const char16_t* name : kPlantedNames) {
            Plant(programFolder_, name);
            Plant(currentFolder_, name);
        }
        for (const char16_t* name : kPlantedInTheCurrentFolderOnly) {
            Plant(currentFolder_, name);
        }
    }

    std::string Recorded() { return ReadText(recordFile_); }

    std::u16string recordFile_ = root_ + u"\\record.txt";
    std::optional<TEnvironment> record_;
};

// The names of the libraries the image imports statically, in upper case.
std::vector<std::string> StaticImports(const std::string& bytes) {
    std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       bytes.size());
    std::optional<TPeImage> image = TPeImage::Parse(data);
    EXPECT_TRUE(image);
    auto u32 = [&](std::size_t offset) {
        std::uint32_t value = 0;
        if (offset + 4 <= bytes.size()) {
            std::memcpy(&value, bytes.data() + offset, 4);
        }
        return value;
    };
    // Data directory 1 of the PE32 optional header.
    std::uint32_t directory = u32(u32(0x3C) + 24 + 96 + 8);
    std::vector<std::string> names;
    std::optional<std::uint32_t> descriptor = image ? image->FileOffsetOf(directory) : std::nullopt;
    for (std::size_t at = descriptor.value_or(bytes.size()); u32(at + 12) != 0; at += 20) {
        std::optional<std::uint32_t> name = image->FileOffsetOf(u32(at + 12));
        EXPECT_TRUE(name);
        if (!name) {
            break;
        }
        std::string text(bytes.c_str() + *name);
        for (char& c : text) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        names.push_back(text);
    }
    return names;
}

} // namespace

TEST(OstrinImports, OnlyLibrariesWindowsAlwaysTakesFromTheSystemFolder) {
    // Known libraries of every Windows from 7 to 11: the loader takes them from the system
    // folder before any search, so they load safely before the program's first statement.
    const std::set<std::string> known = {
        "ADVAPI32.DLL", "COMDLG32.DLL", "GDI32.DLL",    "IMM32.DLL",  "KERNEL32.DLL",
        "MSVCRT.DLL",   "OLE32.DLL",    "OLEAUT32.DLL", "RPCRT4.DLL", "SHELL32.DLL",
        "SHLWAPI.DLL",  "USER32.DLL",   "WS2_32.DLL",
    };
    for (const char16_t* program : {u"Ostrin.exe", u"OstrinRegFail.exe"}) {
        SCOPED_TRACE(WideToUtf8(program));
        std::vector<std::string> imports =
            StaticImports(ReadText(TestBuildFolder() + u"\\app\\" + program));
        EXPECT_NE(std::find(imports.begin(), imports.end(), "KERNEL32.DLL"), imports.end());
        for (const std::string& name : imports) {
            EXPECT_TRUE(known.count(name)) << name << " is imported statically";
        }
    }
}

// Libraries that a start does not call load when first used, not before the first statement:
// not imported statically, their name is in the image for the delay-load stubs.
TEST(OstrinImports, TheShellAndTheCommonControlsLoadWhenFirstUsed) {
    for (const char16_t* program : {u"Ostrin.exe", u"OstrinRegFail.exe"}) {
        SCOPED_TRACE(WideToUtf8(program));
        std::string bytes = ReadText(TestBuildFolder() + u"\\app\\" + program);
        std::vector<std::string> imports = StaticImports(bytes);
        for (const char* name : {"SHELL32.DLL", "COMCTL32.DLL"}) {
            EXPECT_EQ(std::find(imports.begin(), imports.end(), name), imports.end()) << name;
            EXPECT_NE(bytes.find(name), std::string::npos) << name;
        }
    }
}

TEST_F(Planted, AProgramWithoutTheLockRunsAPlantedLibrary) {
    // The test's own program with a window and the same common controls, without the lock:
    // the planted theme library beside it runs, so the planting does reach the search.
    Plant(programFolder_, u"uxtheme");
    TProgram program(CopyProgram(u"tests\\ShowForms.exe"), u" main 2", currentFolder_);
    ASSERT_TRUE(program.WaitForExit(30000)) << "ShowForms did not end";
    EXPECT_NE(Recorded().find("uxtheme.dll"), std::string::npos) << Recorded();
}

TEST_F(Planted, NoneRunsWhileTheProgramInstalls) {
    PlantEverywhere();
    TProgram program(CopyProgram(u"app\\Ostrin.exe"), u"", currentFolder_);
    std::optional<DWORD> exitCode = program.WaitForExit(30000);
    ASSERT_TRUE(exitCode) << "the program did not end by itself";
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));
    EXPECT_EQ(Recorded(), "");
}

TEST_F(Planted, NoneRunsWhileTheProgramReportsAFailure) {
    PlantEverywhere();
    TProgram program(CopyProgram(u"app\\OstrinRegFail.exe"), u"", currentFolder_);
    HWND dialog = program.WaitForDialog(u"OstrinRegFail  (Application Error)");
    ASSERT_NE(dialog, nullptr) << "no exception dialog";
    // The details hold the report with the loaded modules and the system information.
    EXPECT_TRUE(WaitForDialogDetails(dialog));
    program.End();
    EXPECT_EQ(Recorded(), "");
}

// ---- Component probes ----

TEST_F(Search, AServerNamedWithoutFolderIsNotTheCopyInTheCurrentFolder) {
    // A current CAPICOM registered by bare name, the file only in the current folder.
    std::u16string copy = currentFolder_ + u"\\capicom.dll";
    ASSERT_TRUE(
        CopyFileW(WinStr(TestBuildFolder() + u"\\standin\\capicom.dll"), WinStr(copy), FALSE));
    CallServerEntry(copy, "DllRegisterServer");
    {
        TLumRegistry server;
        OpenServerKey(server, u"CAPICOM.EncryptedData");
        server.WriteString(u"", u"capicom.dll");
    }
    ASSERT_FALSE(FileExists(Target()));

    TProgram program(TestBuildFolder() + u"\\app\\Ostrin.exe", u"", currentFolder_);
    std::optional<DWORD> exitCode = program.WaitForExit(30000);
    ASSERT_TRUE(exitCode) << "the program did not end by itself";
    EXPECT_EQ(*exitCode, 0u);
    ASSERT_TRUE(FileExists(Target())) << "the program took the copy in its current folder";
    EXPECT_EQ(GetFileVersion(Target()), MakeVersion(2, 0, 0, 3));
    EXPECT_TRUE(SameAsciiText(GetProgIDServerPath(u"CAPICOM.EncryptedData"), Target()));
}

TEST_F(Search, AnExpandableServerPathIsNotRewrittenOnTheNextRun) {
    {
        TProgram program(TestBuildFolder() + u"\\app\\Ostrin.exe", u"", currentFolder_);
        ASSERT_TRUE(program.WaitForExit(30000)) << "the program did not end by itself";
    }
    ASSERT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));
    {
        TLumRegistry server;
        OpenServerKey(server, u"CAPICOM.EncryptedData");
        server.WriteExpandString(u"", u"%SystemRoot%\\system32\\capicom.dll");
    }
    FILETIME before = LastWrite(Target());
    Sleep(1100);
    TProgram again(TestBuildFolder() + u"\\app\\Ostrin.exe", u"", currentFolder_);
    std::optional<DWORD> exitCode = again.WaitForExit(30000);
    ASSERT_TRUE(exitCode) << "the second run did not end by itself";
    EXPECT_EQ(*exitCode, 0u);
    FILETIME after = LastWrite(Target());
    EXPECT_EQ(CompareFileTime(&before, &after), 0) << "the second run wrote the library again";
    TLumRegistry server(KEY_READ);
    OpenServerKey(server, u"CAPICOM.EncryptedData");
    EXPECT_EQ(server.GetDataType(u""), rdExpandString) << "the second run registered it again";
}

TEST_F(Search, RegistryValuesOfTheWrongTypeOfOtherComponentsDoNotStopTheProgram) {
    // Each probed COM component and Office's Word with a value of another type than text.
    const std::u16string kClass = u"{5A0B7E1C-2F4D-4B8E-9C3A-6D1E0F2B4C7A}";
    const char16_t* progIds[] = {u"Microsoft.Jet.OLEDB.4.0", u"DAO.TableDef.36",
                                 u"SQLDMO.Application.7.0"};
    const char16_t* wordRoot = u"Software\\Microsoft\\Office\\11.0\\Word\\InstallRoot";
    const BYTE binary[] = {'c', 0, ':', 0};
    {
        TLumRegistry registry;
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        for (const char16_t* progId : progIds) {
            ASSERT_TRUE(registry.OpenKey(u"\\" + std::u16string(progId) + u"\\CLSID", true));
            registry.WriteString(u"", kClass);
        }
        ASSERT_TRUE(registry.OpenKey(u"\\CLSID\\" + kClass + u"\\InprocServer32", true));
        ASSERT_EQ(
            RegSetValueExW(registry.CurrentKey(), nullptr, 0, REG_BINARY, binary, sizeof binary),
            ERROR_SUCCESS);
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.OpenKey(wordRoot, true));
        ASSERT_EQ(
            RegSetValueExW(registry.CurrentKey(), L"Path", 0, REG_BINARY, binary, sizeof binary),
            ERROR_SUCCESS);
    }

    TProgram program(TestBuildFolder() + u"\\app\\Ostrin.exe", u"", currentFolder_);
    std::optional<DWORD> exitCode = program.WaitForExit(30000);
    program.End();

    TLumRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    for (const char16_t* progId : progIds) {
        registry.DeleteKey(progId);
    }
    registry.DeleteKey(u"CLSID\\" + kClass);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.DeleteKey(u"Software\\Microsoft\\Office\\11.0\\Word");

    ASSERT_TRUE(exitCode) << "the program did not end by itself";
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));
}
