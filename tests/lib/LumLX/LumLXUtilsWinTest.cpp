// The Win32 topics of the general utilities: folders, library and COM server locations, Office
// and the component probes. Registry entries and files that the tests make are their own
// (ProgIDs "Lum.ProbeTest.*", Office applications "LumProbe*") wherever the probe allows it,
// and every test removes what it made.
#include "lib/LumLX/LumLXUtilsWin.h"

#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestChecks.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/win/LumRegistry.h"
#include "toolkit/win/LumSystemWin.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <regex>
#include <vector>

namespace {

// A folder of the test's own under the temporary folder, removed with its files.
class TTempFolder {
  public:
    explicit TTempFolder(std::u16string_view name) {
        path_ = SystemTempPath() + std::u16string(name);
        RemoveTree(path_);
        EXPECT_TRUE(CreateDirectoryW(WinStr(path_), nullptr)) << WideToUtf8(path_);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    ~TTempFolder() { RemoveTree(path_); }

    const std::u16string& Path() const { return path_; }

    /// Creates a file (and its folder) below the folder; returns its full path.
    std::u16string AddFile(std::u16string_view relative, std::string_view content = "x") {
        std::u16string file = path_ + u"\\" + std::u16string(relative);
        CreateDirectoryW(WinStr(file.substr(0, file.rfind(u'\\'))), nullptr);
        WriteTestFile(file, content);
        return file;
    }

    /// Copies a file into the folder under a new name; returns its full path.
    std::u16string AddCopy(const std::u16string& source, std::u16string_view name) {
        std::u16string file = path_ + u"\\" + std::u16string(name);
        EXPECT_TRUE(CopyFileW(WinStr(source), WinStr(file), FALSE)) << WideToUtf8(file);
        return file;
    }

  private:
    std::u16string path_;
};

// A copy of a file beside this executable, in the program's folder where the library
// probes look first, for the life of the object.
class TBesideProgram {
  public:
    TBesideProgram(const std::u16string& source, std::u16string_view name) {
        std::u16string own = OwnModuleFileName();
        path_ = own.substr(0, own.rfind(u'\\') + 1) + std::u16string(name);
        EXPECT_TRUE(CopyFileW(WinStr(source), WinStr(path_), FALSE)) << WideToUtf8(path_);
    }
    TBesideProgram(const TBesideProgram&) = delete;
    TBesideProgram& operator=(const TBesideProgram&) = delete;
    ~TBesideProgram() { DeleteFileW(WinStr(path_)); }

    const std::u16string& Path() const { return path_; }

  private:
    std::u16string path_;
};

// Makes a folder the current one for the life of the object.
class TCurrentFolder {
  public:
    explicit TCurrentFolder(const std::u16string& folder) {
        GetCurrentDirectoryW(MAX_PATH, saved_);
        EXPECT_TRUE(SetCurrentDirectoryW(WinStr(folder))) << WideToUtf8(folder);
    }
    TCurrentFolder(const TCurrentFolder&) = delete;
    TCurrentFolder& operator=(const TCurrentFolder&) = delete;
    ~TCurrentFolder() { SetCurrentDirectoryW(saved_); }

  private:
    wchar_t saved_[MAX_PATH]{};
};

// Puts a folder in front of PATH, where the classic library search looks last, for the life
// of the object.
class TSearchFolder {
  public:
    explicit TSearchFolder(const std::u16string& folder) {
        wchar_t old[32767];
        DWORD length = GetEnvironmentVariableW(L"PATH", old, 32767);
        old_ = FromWinStr(old, length);
        SetEnvironmentVariableW(L"PATH", WinStr(folder + u";" + old_));
    }
    TSearchFolder(const TSearchFolder&) = delete;
    TSearchFolder& operator=(const TSearchFolder&) = delete;
    ~TSearchFolder() { SetEnvironmentVariableW(L"PATH", WinStr(old_)); }

  private:
    std::u16string old_;
};

std::u16string ClassIdText(const GUID& id) {
    wchar_t text[40];
    StringFromGUID2(id, text, 40);
    return FromWinStr(text);
}

// A ProgID of the test's own naming a class whose InprocServer32 the test sets; both are
// removed at the end.
class TTestServer {
  public:
    TTestServer(std::u16string progId, const GUID& classId)
        : progId_(std::move(progId)), classKey_(u"CLSID\\" + ClassIdText(classId)) {
        TLumRegistry registry;
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        EXPECT_TRUE(registry.OpenKey(progId_ + u"\\CLSID", true));
        registry.WriteString(u"", ClassIdText(classId));
        EXPECT_TRUE(registry.OpenKey(u"\\" + classKey_ + u"\\InprocServer32", true));
    }
    TTestServer(const TTestServer&) = delete;
    TTestServer& operator=(const TTestServer&) = delete;
    ~TTestServer() {
        TLumRegistry registry;
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        registry.DeleteKey(progId_);
        registry.DeleteKey(classKey_);
    }

    /// Opens the class's InprocServer32 key for writing its values.
    TLumRegistry& Server() {
        server_.SetRootKey(HKEY_CLASSES_ROOT);
        EXPECT_TRUE(server_.OpenKey(classKey_ + u"\\InprocServer32", false));
        return server_;
    }

  private:
    std::u16string progId_;
    std::u16string classKey_;
    TLumRegistry server_;
};

constexpr GUID kClassA = {
    0x9d336d72, 0x3854, 0x498e, {0x8c, 0x30, 0x48, 0xc5, 0xae, 0x79, 0x7b, 0xef}};
constexpr GUID kClassB = {
    0x4ffb92a0, 0xe430, 0x4429, {0x86, 0x38, 0x78, 0xb4, 0xf0, 0xc7, 0x9a, 0x44}};

// Calls an entry point of a stand-in loaded by full path (our own code, so running it is fine).
HRESULT CallStandin(const std::u16string& path, const char* entry) {
    TScopedLibrary library(LoadLibraryW(WinStr(path)));
    EXPECT_TRUE(library) << WideToUtf8(path);
    auto proc = ProcAddress<HRESULT(WINAPI*)()>(library.Get(), entry);
    EXPECT_NE(proc, nullptr) << entry;
    return proc ? proc() : E_UNEXPECTED;
}

std::u16string StartedStandins() {
    wchar_t value[4096];
    DWORD length = GetEnvironmentVariableW(L"LUM_STANDIN_STARTED", value, 4096);
    return FromWinStr(value, length < 4096 ? length : 0);
}

} // namespace

// ---- Folders and files ----

TEST(LXUtilsWin, SystemAndWindowsFolders) {
    std::u16string system = GetSystemDir();
    std::u16string windows = GetWindowsDir();
    ASSERT_GT(windows.size(), 3u);
    EXPECT_NE(windows.back(), u'\\');
    EXPECT_NE(system.back(), u'\\');
    EXPECT_EQ(AsciiUpperCase(system), AsciiUpperCase(windows + u"\\system32"));
    EXPECT_TRUE(FileExists(system + u"\\kernel32.dll"));
}

TEST(LXUtilsWin, FileExistsOnlyForFiles) {
    TTempFolder folder(u"LumProbeFiles");
    std::u16string file = folder.AddFile(u"present.txt");
    CreateDirectoryW(WinStr(folder.Path() + u"\\sub.dll"), nullptr);
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(folder.Path() + u"\\sub.dll"));
    EXPECT_FALSE(FileExists(folder.Path()));
    EXPECT_FALSE(FileExists(folder.Path() + u"\\absent.txt"));
    EXPECT_FALSE(FileExists(u""));

    EXPECT_NO_THROW(CheckFileExists(file));
    ExpectRaises<Exception>([&] { CheckFileExists(folder.Path() + u"\\sub.dll"); }, "Exception",
                            u"Internal Error: File does not exist: " + folder.Path() +
                                u"\\sub.dll");
}

// ---- Library locations ----

TEST(LXUtilsWin, ModulePathFollowsTheLibrarySearch) {
    EXPECT_EQ(AsciiUpperCase(GetModulePath(u"wininet")),
              AsciiUpperCase(GetSystemDir() + u"\\wininet.dll"));
    EXPECT_EQ(AsciiUpperCase(GetModulePath(u"kernel32")),
              AsciiUpperCase(GetSystemDir() + u"\\kernel32.dll"));
    EXPECT_EQ(AsciiUpperCase(GetModulePath(u"wininet.dll")),
              AsciiUpperCase(GetSystemDir() + u"\\wininet.dll"));
    EXPECT_EQ(GetModulePath(u"LumNoSuchLibrary"), u"");

    TTempFolder folder(u"LumProbeModules");
    std::u16string notALibrary = folder.AddFile(u"notalib.dll", "plain text");
    EXPECT_EQ(GetModulePath(notALibrary), u"");
}

TEST(LXUtilsWin, ModulePathLooksInTheProgramsFolderThenTheSystemFolderOnly) {
    TTempFolder folder(u"LumProbeModules");
    std::u16string standin = StandinPath(u"rpawinet.dll");
    folder.AddCopy(standin, u"LumProbeModule.dll");
    ASSERT_EQ(GetModuleHandleW(L"LumProbeModule.dll"), nullptr);
    {
        // Neither the current folder (often the download folder) nor PATH is searched.
        TCurrentFolder current(folder.Path());
        TSearchFolder search(folder.Path());
        EXPECT_EQ(GetModulePath(u"LumProbeModule"), u"");
        TBesideProgram beside(standin, u"LumProbeModule.dll");
        EXPECT_EQ(AsciiUpperCase(GetModulePath(u"LumProbeModule")), AsciiUpperCase(beside.Path()));
    }
    // Mapped only: its initialisation never ran, and it is unloaded again.
    EXPECT_EQ(StartedStandins().find(u"LumProbeModule.dll"), std::u16string::npos);
    EXPECT_EQ(GetModuleHandleW(L"LumProbeModule.dll"), nullptr);

    // The marker does work when the library is loaded to run.
    {
        TScopedLibrary loaded(LoadLibraryW(WinStr(folder.Path() + u"\\LumProbeModule.dll")));
        ASSERT_TRUE(loaded);
    }
    EXPECT_NE(StartedStandins().find(u"LumProbeModule.dll"), std::u16string::npos);
}

// ---- Component probes that locate libraries ----

TEST(LXUtilsWin, SystemLibraryProbes) {
    const std::u16string system = GetSystemDir();
    TVersionNumber wininet = GetWinInetVersion();
    EXPECT_NE(wininet, 0u);
    EXPECT_EQ(wininet, GetFileVersion(system + u"\\wininet.dll"));
    EXPECT_GE(VersionMajorMinor(wininet), 0x00050000);

    EXPECT_NE(GetMapiVersion(), 0u);
    EXPECT_EQ(GetMapiVersion(), GetFileVersion(system + u"\\mapi32.dll"));
    EXPECT_EQ(GetMapiCompanyName(), GetVersionInfoString(u"CompanyName", system + u"\\mapi32.dll"));
    EXPECT_FALSE(GetMapiCompanyName().empty());

    std::u16string product = u"stale";
    TVersionNumber kernel = GetKernelVersion(product);
    EXPECT_NE(kernel, 0u);
    EXPECT_EQ(kernel, GetFileVersion(system + u"\\kernel32.dll"));
    EXPECT_EQ(product, GetVersionInfoString(u"ProductName", system + u"\\kernel32.dll"));
}

TEST(LXUtilsWin, RpaWInetProbe) {
    std::u16string company = u"stale";
    EXPECT_EQ(GetRpaWInetVersion(company), 0u);
    EXPECT_EQ(company, u"");

    TBesideProgram beside(StandinPath(u"rpawinet.dll"), u"rpawinet.dll");
    EXPECT_EQ(GetRpaWInetVersion(company), MakeVersion(3, 13, 0, 7));
    EXPECT_EQ(company, u"CompuServe Interactive Services, Inc.");
}

TEST(LXUtilsWin, CrystalProbes) {
    EXPECT_EQ(GetCrystalVersion(), 0u);
    TBesideProgram beside(StandinPath(u"rpawinet.dll"), u"crpe32.dll");
    EXPECT_EQ(GetCrystalVersion(), MakeVersion(3, 13, 0, 7));
}

TEST(LXUtilsWin, CrystalFilesInTheWindowsFolder) {
    const std::u16string crystal = GetWindowsDir() + u"\\Crystal";
    ASSERT_EQ(GetFileAttributesW(WinStr(crystal)), INVALID_FILE_ATTRIBUTES)
        << "the test prefix must not have a Crystal folder";
    struct Case {
        const char16_t* File;
        TVersionNumber (*Probe)();
    };
    const Case cases[] = {
        {u"p2soledb.dll", &GetCrystalOleDbVersion},
        {u"u2lcom.dll", &GetCrystalUflVersion},
        {u"U2FXLS.DLL", &GetCrystalXlsVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.File));
        EXPECT_EQ(c.Probe(), 0u);
    }
    ASSERT_TRUE(CreateDirectoryW(WinStr(crystal), nullptr));
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.File));
        std::u16string file = crystal + u"\\" + c.File;
        ASSERT_TRUE(CopyFileW(WinStr(StandinPath(u"rpawinet.dll")), WinStr(file), FALSE));
        EXPECT_EQ(c.Probe(), MakeVersion(3, 13, 0, 7));
        DeleteFileW(WinStr(file));
        EXPECT_EQ(c.Probe(), 0u);
    }
    EXPECT_TRUE(RemoveDirectoryW(WinStr(crystal)));
}

// ---- COM servers ----

TEST(LXUtilsWin, ProgIDServerPaths) {
    const std::u16string system = GetSystemDir();
    const std::u16string kernel = system + u"\\kernel32.dll";
    const TVersionNumber kernelVersion = GetFileVersion(kernel);
    ASSERT_NE(kernelVersion, 0u);
    const std::u16string capicom = StandinPath(u"capicom.dll");
    ASSERT_TRUE(SetEnvironmentVariableW(L"LUM_PROBE_SERVER", L"kernel32.dll"));
    enum Kind { Plain, Expandable };
    struct Case {
        const char* Title;
        std::u16string Stored;
        Kind Type;
        std::u16string Path;
        TVersionNumber Version;
    };
    const Case cases[] = {
        {"full path", capicom, Plain, capicom, MakeVersion(2, 0, 0, 3)},
        {"empty", u"", Plain, u"", 0},
        {"no folder", u"kernel32.dll", Plain, kernel, kernelVersion},
        {"relative folder", u"..\\system32\\kernel32.dll", Plain,
         system + u"\\..\\system32\\kernel32.dll", kernelVersion},
        {"expandable", u"%SystemRoot%\\system32\\kernel32.dll", Expandable,
         GetWindowsDir() + u"\\system32\\kernel32.dll", kernelVersion},
        {"expandable to a bare name", u"%LUM_PROBE_SERVER%", Expandable, kernel, kernelVersion},
        {"expandable with an unknown variable", u"%LUM_NO_SUCH_VARIABLE%\\kernel32.dll", Expandable,
         system + u"\\%LUM_NO_SUCH_VARIABLE%\\kernel32.dll", 0},
        {"variable in a plain string", u"%SystemRoot%\\system32\\kernel32.dll", Plain,
         system + u"\\%SystemRoot%\\system32\\kernel32.dll", 0},
        {"root of the current drive", u"\\windows\\system32\\kernel32.dll", Plain, u"", 0},
        {"current folder of a drive", u"C:kernel32.dll", Plain, u"", 0},
        {"missing file", system + u"\\LumNoSuchServer.dll", Plain,
         system + u"\\LumNoSuchServer.dll", 0},
        {"a folder", system, Plain, system, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Title);
        TTestServer server(u"Lum.ProbeTest.Server", kClassA);
        if (c.Type == Expandable) {
            server.Server().WriteExpandString(u"", c.Stored);
        } else {
            server.Server().WriteString(u"", c.Stored);
        }
        EXPECT_EQ(AsciiUpperCase(GetInprocServerPath(kClassA)), AsciiUpperCase(c.Path));
        EXPECT_EQ(AsciiUpperCase(GetProgIDServerPath(u"Lum.ProbeTest.Server")),
                  AsciiUpperCase(c.Path));
        EXPECT_EQ(GetProgIDVersion(u"Lum.ProbeTest.Server"), c.Version);
    }
    SetEnvironmentVariableW(L"LUM_PROBE_SERVER", nullptr);
}

TEST(LXUtilsWin, ServerWithoutFolderIsNeverTakenFromTheCurrentFolder) {
    TTempFolder folder(u"LumProbeCurrent");
    folder.AddCopy(StandinPath(u"capicom.dll"), u"LumProbeServer.dll");
    TCurrentFolder current(folder.Path());
    ASSERT_TRUE(FileExists(u"LumProbeServer.dll"));
    TTestServer server(u"Lum.ProbeTest.Server", kClassA);
    server.Server().WriteString(u"", u"LumProbeServer.dll");
    EXPECT_EQ(GetProgIDServerPath(u"Lum.ProbeTest.Server"),
              GetSystemDir() + u"\\LumProbeServer.dll");
    EXPECT_EQ(GetProgIDVersion(u"Lum.ProbeTest.Server"), 0u);
}

TEST(LXUtilsWin, ProgIDWithoutServerValue) {
    TTestServer server(u"Lum.ProbeTest.Server", kClassA);
    EXPECT_EQ(GetProgIDServerPath(u"Lum.ProbeTest.Server"), u"");
    EXPECT_EQ(GetProgIDVersion(u"Lum.ProbeTest.Server"), 0u);
    EXPECT_EQ(GetProgIDServerPath(u"Lum.ProbeTest.NotRegistered"), u"");
    EXPECT_EQ(GetProgIDVersion(u"Lum.ProbeTest.NotRegistered"), 0u);
    EXPECT_EQ(GetInprocServerPath(kClassB), u"");
}

namespace {

// Gives the open key's default value raw data of a registry type.
void WriteRawDefault(TLumRegistry& key, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(
        RegSetValueExW(key.CurrentKey(), nullptr, 0, type, static_cast<const BYTE*>(data), size),
        ERROR_SUCCESS);
}

struct TOtherType {
    const char* Title;
    DWORD Type;
    std::vector<std::uint8_t> Data;
};

const std::vector<TOtherType>& OtherTypes() {
    static const std::vector<TOtherType> types = {
        {"number", REG_DWORD, {1, 0, 0, 0}},
        {"binary", REG_BINARY, {'c', 0, ':', 0, '\\', 0}},
        {"list of texts", REG_MULTI_SZ, {'c', 0, 0, 0, 0, 0}},
        {"no type", REG_NONE, {}},
    };
    return types;
}

} // namespace

TEST(LXUtilsWin, ServerPathOfAnotherTypeIsNoServer) {
    for (const TOtherType& other : OtherTypes()) {
        SCOPED_TRACE(other.Title);
        TTestServer server(u"Lum.ProbeTest.Server", kClassA);
        WriteRawDefault(server.Server(), other.Type, other.Data.data(),
                        static_cast<DWORD>(other.Data.size()));
        EXPECT_EQ(GetInprocServerPath(kClassA), u"");
        EXPECT_EQ(GetProgIDServerPath(u"Lum.ProbeTest.Server"), u"");
        EXPECT_EQ(GetProgIDVersion(u"Lum.ProbeTest.Server"), 0u);
    }
}

TEST(LXUtilsWin, CapicomVersionOfTheRegisteredStandin) {
    const std::u16string capicom2 = StandinPath(u"capicom.dll");
    const std::u16string capicom1 = StandinPath(u"capicom1\\capicom.dll");
    THiddenProgID hidden(u"CAPICOM.EncryptedData");
    THiddenProgID hiddenVersioned(u"CAPICOM.EncryptedData.1");
    ASSERT_EQ(GetProgIDServerPath(u"CAPICOM.EncryptedData"), u"");

    ASSERT_EQ(CallStandin(capicom1, "DllRegisterServer"), S_OK);
    EXPECT_EQ(AsciiUpperCase(GetProgIDServerPath(u"CAPICOM.EncryptedData")),
              AsciiUpperCase(capicom1));
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(1, 0, 0, 0));

    ASSERT_EQ(CallStandin(capicom2, "DllRegisterServer"), S_OK);
    EXPECT_EQ(AsciiUpperCase(GetProgIDServerPath(u"CAPICOM.EncryptedData")),
              AsciiUpperCase(capicom2));
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));

    // The old server's removal leaves the ProgIDs that the new one took.
    EXPECT_EQ(CallStandin(capicom1, "DllUnregisterServer"), S_OK);
    EXPECT_EQ(GetCapicomVersion(), MakeVersion(2, 0, 0, 3));

    EXPECT_EQ(CallStandin(capicom2, "DllUnregisterServer"), S_OK);
    EXPECT_EQ(GetProgIDServerPath(u"CAPICOM.EncryptedData"), u"");
    EXPECT_EQ(GetCapicomVersion(), 0u);
}

TEST(LXUtilsWin, ProbesWithAFallbackProgID) {
    const std::u16string capicom2 = StandinPath(u"capicom.dll");
    const std::u16string rpawinet = StandinPath(u"rpawinet.dll");
    struct Case {
        const char16_t* First;
        const char16_t* Second;
        TVersionNumber (*Probe)();
    };
    const Case cases[] = {
        {u"DAO.TableDef.36", u"DAO.TableDef", &GetDaoVersion},
        {u"SQLDMO.Application.7.0", u"SQLDMO.Application", &GetSqlDmoVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.First));
        ASSERT_EQ(GetProgIDServerPath(c.First), u"");
        ASSERT_EQ(GetProgIDServerPath(c.Second), u"");
        EXPECT_EQ(c.Probe(), 0u);
        {
            // Only the second registered: its server's version.
            TTestServer second(c.Second, kClassB);
            second.Server().WriteString(u"", rpawinet);
            EXPECT_EQ(c.Probe(), MakeVersion(3, 13, 0, 7));
            // Both registered: the first wins.
            TTestServer first(c.First, kClassA);
            first.Server().WriteString(u"", capicom2);
            EXPECT_EQ(c.Probe(), MakeVersion(2, 0, 0, 3));
        }
        {
            // The first registered with a server file that is not there: the second counts.
            TTestServer second(c.Second, kClassB);
            second.Server().WriteString(u"", rpawinet);
            TTestServer first(c.First, kClassA);
            first.Server().WriteString(u"", u"missing.dll");
            EXPECT_EQ(c.Probe(), MakeVersion(3, 13, 0, 7));
        }
        EXPECT_EQ(c.Probe(), 0u);
    }
}

TEST(LXUtilsWin, MdacProbeFallsBackToTheVersionedProgID) {
    // Wine registers both RowPosition ProgIDs for its oledb32.dll.
    const std::u16string server = GetProgIDServerPath(u"RowPosition.RowPosition.1");
    ASSERT_TRUE(FileExists(server)) << WideToUtf8(server);
    const TVersionNumber version = GetFileVersion(server);
    ASSERT_NE(version, 0u);
    EXPECT_EQ(GetMdacVersion(), version);
    {
        THiddenProgID hidden(u"RowPosition.RowPosition");
        EXPECT_EQ(GetProgIDServerPath(u"RowPosition.RowPosition"), u"");
        EXPECT_EQ(GetMdacVersion(), version);
    }
    EXPECT_EQ(GetProgIDServerPath(u"RowPosition.RowPosition"), server);
}

TEST(LXUtilsWin, JetProbe) {
    ASSERT_EQ(GetProgIDServerPath(u"Microsoft.Jet.OLEDB.4.0"), u"");
    EXPECT_EQ(GetJetVersion(), 0u);
    TTestServer jet(u"Microsoft.Jet.OLEDB.4.0", kClassA);
    jet.Server().WriteString(u"", StandinPath(u"capicom.dll"));
    EXPECT_EQ(GetJetVersion(), MakeVersion(2, 0, 0, 3));
}

// ---- Office ----

namespace {

// Install roots of Office applications of the test's own under HKEY_LOCAL_MACHINE; the keys
// it creates are removed at the end, the Office version keys too when it made them.
class Office : public ::testing::Test {
  protected:
    static constexpr const char16_t* kVersions[] = {u"11.0", u"10.0", u"9.0"};

    void SetUp() override {
        TLumRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        for (const char16_t* version : kVersions) {
            std::u16string key = u"Software\\Microsoft\\Office\\" + std::u16string(version);
            if (!registry.KeyExists(key)) {
                made_.push_back(key);
            }
        }
        if (!registry.KeyExists(u"Software\\Microsoft\\Office")) {
            made_.push_back(u"Software\\Microsoft\\Office");
        }
    }
    void TearDown() override {
        TLumRegistry registry;
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        for (const char16_t* version : kVersions) {
            for (const char16_t* app : {u"LumProbeA", u"LumProbeB", u"Word"}) {
                registry.DeleteKey(u"Software\\Microsoft\\Office\\" + std::u16string(version) +
                                   u"\\" + app);
            }
        }
        for (const std::u16string& key : made_) {
            registry.DeleteKey(key);
        }
    }

    // Registers `folder` (as given: it should end with a backslash) as the install root.
    void SetInstallRoot(std::u16string_view version, std::u16string_view app,
                        const std::u16string& folder, bool expandable = false) {
        TLumRegistry registry;
        OpenInstallRoot(registry, version, app);
        if (expandable) {
            registry.WriteExpandString(u"Path", folder);
        } else {
            registry.WriteString(u"Path", folder);
        }
    }

    void OpenInstallRoot(TLumRegistry& registry, std::u16string_view version,
                         std::u16string_view app) {
        registry.SetRootKey(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(registry.OpenKey(u"Software\\Microsoft\\Office\\" + std::u16string(version) +
                                         u"\\" + std::u16string(app) + u"\\InstallRoot",
                                     true));
    }

    TTempFolder folder_{u"LumProbeOffice"};
    std::vector<std::u16string> made_;
};

} // namespace

TEST_F(Office, InstallRoot) {
    EXPECT_EQ(GetOfficeInstallRoot(u"11.0", u"LumProbeA"), u"");
    SetInstallRoot(u"11.0", u"LumProbeA", u"C:\\Office11\\");
    EXPECT_EQ(GetOfficeInstallRoot(u"11.0", u"LumProbeA"), u"C:\\Office11\\");
    EXPECT_EQ(GetOfficeInstallRoot(u"10.0", u"LumProbeA"), u"");
    EXPECT_EQ(GetOfficeInstallRoot(u"11.0", u"LumProbeB"), u"");
}

TEST_F(Office, NewestVersionWhoseFolderHoldsTheExecutable) {
    const std::u16string root11 = folder_.Path() + u"\\Office11\\";
    const std::u16string root10 = folder_.Path() + u"\\Office10\\";
    const std::u16string root9 = folder_.Path() + u"\\Office9\\";
    folder_.AddFile(u"Office11\\LUMA.EXE");
    folder_.AddFile(u"Office10\\LUMA.EXE");
    folder_.AddFile(u"Office10\\LUMB.EXE");
    folder_.AddFile(u"Office9\\LUMB.EXE");

    EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"LUMA.EXE"), u"");
    SetInstallRoot(u"10.0", u"LumProbeA", root10);
    EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"LUMA.EXE"), u"10.0");
    SetInstallRoot(u"11.0", u"LumProbeA", root11);
    EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"LUMA.EXE"), u"11.0");
    EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"OTHER.EXE"), u"");

    // A registered root without the executable does not count; 9.0 is the last tried.
    SetInstallRoot(u"11.0", u"LumProbeB", root11);
    SetInstallRoot(u"9.0", u"LumProbeB", root9);
    EXPECT_EQ(GetOfficeVersion(u"LumProbeB", u"LUMB.EXE"), u"9.0");
    SetInstallRoot(u"10.0", u"LumProbeB", root10);
    EXPECT_EQ(GetOfficeVersion(u"LumProbeB", u"LUMB.EXE"), u"10.0");
}

TEST_F(Office, ExecutableNameIsAppendedWithoutSeparator) {
    folder_.AddFile(u"Office11\\LUMA.EXE");
    SetInstallRoot(u"11.0", u"LumProbeA", folder_.Path() + u"\\Office11");
    EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"LUMA.EXE"), u"");
    // The name joins the folder's last element instead.
    folder_.AddFile(u"Office11LUMA.EXE");
    EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"LUMA.EXE"), u"11.0");
}

TEST_F(Office, InstallRootThatIsNotAFullPathIsNotTheCurrentFolder) {
    folder_.AddFile(u"LUMA.EXE");
    folder_.AddFile(u"Office11\\LUMA.EXE");
    TCurrentFolder current(folder_.Path());
    EXPECT_TRUE(FileExists(u"LUMA.EXE"));
    EXPECT_TRUE(FileExists(u"Office11\\LUMA.EXE"));
    for (const char16_t* root : {u"", u"Office11\\", u".\\"}) {
        SCOPED_TRACE(WideToUtf8(root));
        SetInstallRoot(u"11.0", u"LumProbeA", root);
        EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"LUMA.EXE"), u"");
    }
}

TEST_F(Office, ExpandableInstallRoot) {
    folder_.AddFile(u"Office11\\LUMA.EXE");
    ASSERT_TRUE(SetEnvironmentVariableW(L"LUM_PROBE_OFFICE", WinStr(folder_.Path())));
    SetInstallRoot(u"11.0", u"LumProbeA", u"%LUM_PROBE_OFFICE%\\Office11\\", true);
    EXPECT_EQ(GetOfficeInstallRoot(u"11.0", u"LumProbeA"), folder_.Path() + u"\\Office11\\");
    EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"LUMA.EXE"), u"11.0");
    SetEnvironmentVariableW(L"LUM_PROBE_OFFICE", nullptr);
}

TEST_F(Office, InstallRootOfAnotherTypeIsNoInstallation) {
    for (const TOtherType& other : OtherTypes()) {
        SCOPED_TRACE(other.Title);
        for (const char16_t* app : {u"LumProbeA", u"Word"}) {
            TLumRegistry registry;
            OpenInstallRoot(registry, u"11.0", app);
            ASSERT_EQ(RegSetValueExW(registry.CurrentKey(), L"Path", 0, other.Type,
                                     other.Data.data(), static_cast<DWORD>(other.Data.size())),
                      ERROR_SUCCESS);
        }
        EXPECT_EQ(GetOfficeInstallRoot(u"11.0", u"LumProbeA"), u"");
        EXPECT_EQ(GetOfficeVersion(u"LumProbeA", u"LUMA.EXE"), u"");
        // The unit's start goes on: Word only looks absent.
        ASSERT_NO_THROW(LumLXUtilsUnit.Start());
        EXPECT_EQ(OfficeVersions()[oaWord], u"");
        EXPECT_FALSE(OfficeInstalled()[oaWord]);
        LumLXUtilsUnit.Stop();
    }
}

TEST(LXUtilsWin, UnitFindsNoOfficeInTheTestPrefix) {
    LumLXUtilsUnit.Start();
    for (std::size_t app = 0; app < OfficeAppCount; ++app) {
        SCOPED_TRACE(app);
        EXPECT_EQ(OfficeVersions()[app], u"");
        EXPECT_FALSE(OfficeInstalled()[app]);
    }
    LumLXUtilsUnit.Stop();
    EXPECT_EQ(LumLXUtilsUnit.StartCount(), 0);
}

// ---- Operating system ----

TEST(LXUtilsWin, OSVersionString) {
    std::string text = WideToUtf8(GetOSVersionString());
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(NT \d+\.\d+ \(Build \d+\) .*)"))) << text;
    EXPECT_EQ(GetOSVersionString(), GetOSVersionString());
}
