// The setup's file and registration steps, with their failures as the user sees them, and the
// replacement of a library that never loses the one that works.

#include "lib/LumLX/LumLXSetupUtils.h"

#include "lib/LumLX/LumLXSetupInstall.h"
#include "lib/LumLX/LumLXUtils.h"
#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <optional>
#include <vector>

namespace {

std::u16string Decimal(std::uint32_t value) {
    return AsciiToWide(std::to_string(value));
}

class SetupSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = SystemTempPath() + u"LumSetupSteps";
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        target_ = folder_ + u"\\capicom.dll";
    }
    void TearDown() override { RemoveTree(folder_); }
    void WriteTarget(const char* text) { WriteTestFile(target_, text); }

    std::u16string folder_;
    std::u16string target_;
};

std::u16string RegistrationLine(const std::u16string& path) {
    return u"\r\n\r\nError occurred while registering " + path + u".";
}

using TBytes = std::vector<std::uint8_t>;

// The names in a folder, but "." and "..".
std::vector<std::u16string> FolderNames(const std::u16string& folder) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found;
    TScopedFind find(FindFirstFileW(WinStr(folder + u"\\*"), &found));
    if (find) {
        do {
            std::u16string name = FromWinStr(found.cFileName);
            if (name != u"." && name != u"..") {
                names.push_back(name);
            }
        } while (FindNextFileW(find.Get(), &found));
    }
    return names;
}

// A registry value as it was, put back (or removed again) at the end of the test.
class TSavedValue {
  public:
    TSavedValue(HKEY root, const wchar_t* key, const wchar_t* name) : key_(key), name_(name) {
        EXPECT_EQ(RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                  nullptr, &handle_, nullptr),
                  ERROR_SUCCESS);
        DWORD size = 0;
        if (RegQueryValueExW(handle_, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.emplace(size);
            RegQueryValueExW(handle_, name, nullptr, &type_, data_->data(), &size);
        }
    }
    ~TSavedValue() {
        if (data_) {
            RegSetValueExW(handle_, name_, 0, type_, data_->data(),
                           static_cast<DWORD>(data_->size()));
        } else {
            RegDeleteValueW(handle_, name_);
        }
        RegCloseKey(handle_);
    }
    TSavedValue(const TSavedValue&) = delete;
    TSavedValue& operator=(const TSavedValue&) = delete;

    /// The value's text now: a string, or a list of strings each followed by "|".
    std::u16string Text() const {
        DWORD size = 0;
        DWORD type = 0;
        if (RegQueryValueExW(handle_, name_, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return {};
        }
        std::u16string text(size / 2, u'\0');
        RegQueryValueExW(handle_, name_, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &size);
        while (!text.empty() && text.back() == u'\0') {
            text.pop_back();
        }
        for (char16_t& c : text) {
            c = c == u'\0' ? u'|' : c;
        }
        return type == REG_MULTI_SZ ? text + u"|" : text;
    }

  private:
    const wchar_t* key_;
    const wchar_t* name_;
    HKEY handle_ = nullptr;
    DWORD type_ = 0;
    std::optional<TBytes> data_;
};

// The tests of a library's replacement: a folder standing in for the system folder, and the
// ProgIDs the stand-ins register kept as the shared prefix had them.
class LibraryInstall : public SetupSteps {
  protected:
    TBytes Standin(std::u16string_view name) { return ReadTestFile(StandinPath(name)); }

    // An old library in place and registered, as an earlier setup left it.
    void InstallOld() {
        ASSERT_TRUE(
            CopyFileW(WinStr(StandinPath(u"capicom1\\capicom.dll")), WinStr(target_), FALSE));
        RegisterDll(target_);
        ASSERT_EQ(GetProgIDVersion(u"CAPICOM.EncryptedData"), MakeVersion(1, 0, 0, 0));
    }

    // The registered server is the target and COM makes its object from it.
    void ExpectServes(TVersionNumber version) {
        EXPECT_TRUE(SameAsciiText(GetProgIDServerPath(u"CAPICOM.EncryptedData"), target_));
        EXPECT_EQ(GetProgIDVersion(u"CAPICOM.EncryptedData"), version);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        CLSID classId{};
        IUnknown* object = nullptr;
        EXPECT_EQ(CLSIDFromProgID(L"CAPICOM.EncryptedData", &classId), S_OK);
        EXPECT_EQ(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)),
                  S_OK);
        if (object) {
            object->Release();
        }
        CoUninitialize();
    }

    void TearDown() override {
        // Whatever the test registered goes with the file, before the folder does.
        if (auto unregister = TScopedLibrary(LoadLibraryW(WinStr(target_)))) {
            if (auto entry = ProcAddress<HRESULT(STDAPICALLTYPE*)()>(unregister.Get(),
                                                                     "DllUnregisterServer")) {
                entry();
            }
        }
        SetupSteps::TearDown();
    }

    THiddenProgID progId_{u"CAPICOM.EncryptedData"};
    THiddenProgID versioned_{u"CAPICOM.EncryptedData.1"};
};

} // namespace

TEST_F(SetupSteps, DeletingTouchesOnlyFiles) {
    // Nothing there: nothing happens.
    EXPECT_NO_THROW(DeleteExistingFile(target_));

    // A folder of that name is left alone.
    ASSERT_TRUE(CreateDirectoryW(WinStr(target_), nullptr));
    EXPECT_NO_THROW(DeleteExistingFile(target_));
    EXPECT_NE(GetFileAttributesW(WinStr(target_)), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryW(WinStr(target_));

    // A read-only file: the first deletion fails, the attribute goes, the second succeeds.
    WriteTarget("old");
    ASSERT_TRUE(SetFileAttributesW(WinStr(target_), FILE_ATTRIBUTE_READONLY));
    DeleteExistingFile(target_);
    EXPECT_FALSE(FileExists(target_));
}

TEST_F(SetupSteps, FileHeldOpenFailsWithTheSystemsError) {
    WriteTarget("in use");
    TScopedFile holder(CreateFileW(WinStr(target_), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    try {
        DeleteExistingFile(target_);
        FAIL() << "no exception";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(error.Message(),
                  u"System Error.  Code: 32.\r\n" + SysErrorMessage(ERROR_SHARING_VIOLATION));
    }
    EXPECT_TRUE(FileExists(target_));
}

TEST_F(SetupSteps, ClearReadOnlyTakesFilesAndFolders) {
    EXPECT_NO_THROW(ClearReadOnly(target_)); // neither file nor folder
    ASSERT_TRUE(CreateDirectoryW(WinStr(target_), nullptr));
    ASSERT_TRUE(SetFileAttributesW(WinStr(target_), FILE_ATTRIBUTE_READONLY));
    ClearReadOnly(target_);
    EXPECT_EQ(GetFileAttributesW(WinStr(target_)) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(SetupSteps, RegistrationFailuresAndTheirTexts) {
    struct Case {
        const char16_t* standin;
        std::u16string expected; // without the registration line
        bool registrationLine;
    };
    const Case cases[] = {
        {u"regfail.dll", SysErrorMessage(static_cast<std::uint32_t>(E_FAIL)), true},
        {u"regunknown.dll", u"OLE error A0041234", true},
        {u"noregister.dll",
         u"System Error.  Code: " + Decimal(ERROR_PROC_NOT_FOUND) + u".\r\n" +
             SysErrorMessage(ERROR_PROC_NOT_FOUND),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.standin));
        std::u16string path = StandinPath(c.standin);
        try {
            RegisterDll(path);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            std::u16string expected =
                c.expected + (c.registrationLine ? RegistrationLine(path) : u"");
            EXPECT_EQ(error.Message(), expected);
            EXPECT_STREQ(error.ClassName(), c.registrationLine ? "EOleSysError" : "EOSError");
        }
    }
    // The failing code stays with the exception.
    try {
        RegisterDll(StandinPath(u"regfail.dll"));
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode(), E_FAIL);
    }
}

TEST_F(SetupSteps, FilesThatAreNoLibraryFailToLoad) {
    WriteTarget("This is not a library.");
    try {
        RegisterDll(target_);
        FAIL() << "no exception";
    } catch (const EOSError& error) {
        EXPECT_NE(error.ErrorCode(), 0u);
        EXPECT_EQ(error.Message().find(u"Error occurred while registering"), std::u16string::npos);
    }
    DeleteFileW(WinStr(target_));
    EXPECT_THROW(RegisterDll(target_), EOSError);
}

TEST_F(SetupSteps, RegistersAServerUnderItsOwnPath) {
    THiddenProgID progId(u"CAPICOM.EncryptedData");
    THiddenProgID versioned(u"CAPICOM.EncryptedData.1");
    ASSERT_TRUE(CopyFileW(WinStr(StandinPath(u"capicom.dll")), WinStr(target_), FALSE));
    RegisterDll(target_);
    EXPECT_TRUE(SameAsciiText(GetProgIDServerPath(u"CAPICOM.EncryptedData"), target_));
    EXPECT_EQ(GetProgIDVersion(u"CAPICOM.EncryptedData"), MakeVersion(2, 0, 0, 3));
    {
        TScopedLibrary library(LoadLibraryW(WinStr(target_)));
        auto unregister =
            ProcAddress<HRESULT(STDAPICALLTYPE*)()>(library.Get(), "DllUnregisterServer");
        ASSERT_NE(unregister, nullptr);
        unregister();
    }
    // Unloaded again: the file can be deleted.
    EXPECT_TRUE(DeleteFileW(WinStr(target_)));
}

TEST_F(SetupSteps, RegistrationHasComInitialisedAndEndsIt) {
    // The stand-in refuses to register in a thread without COM.
    RegisterDll(StandinPath(u"needscom.dll"));
    // Given back: the thread may join any apartment again.
    HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(again, S_OK);
    if (SUCCEEDED(again)) {
        CoUninitialize();
    }
}

TEST(ImageFileVersion, ComesFromTheImagesVersionResource) {
    EXPECT_EQ(ImageFileVersion(ReadTestFile(StandinPath(u"capicom.dll"))), MakeVersion(2, 0, 0, 3));
    EXPECT_EQ(ImageFileVersion(ReadTestFile(StandinPath(u"capicom1\\capicom.dll"))),
              MakeVersion(1, 0, 0, 0));
    const std::string text = "MZ but nothing else";
    EXPECT_EQ(ImageFileVersion({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}),
              0u);
}

TEST_F(LibraryInstall, ANewTargetNeedsNoBackup) {
    TBytes image = Standin(u"capicom.dll");
    TLibraryInstall install(target_, image);
    // Beside the target, under a name of its own, complete before anything else happens.
    EXPECT_EQ(PathFolder(install.NewFile()), folder_);
    EXPECT_EQ(ReadTestFile(install.NewFile()), image);
    EXPECT_FALSE(PathExists(target_));

    EXPECT_EQ(install.SwapIn(), TSwapResult::srSwapped);
    EXPECT_EQ(install.Backup(), u"");
    install.Register();
    EXPECT_EQ(ReadTestFile(target_), image);
    EXPECT_EQ(FolderNames(folder_), std::vector<std::u16string>{u"capicom.dll"});
    ExpectServes(MakeVersion(2, 0, 0, 3));
}

TEST_F(LibraryInstall, ReplacesTheOldLibraryAndDropsTheBackup) {
    InstallOld();
    TBytes old = ReadTestFile(target_);
    ASSERT_TRUE(SetFileAttributesW(WinStr(target_), FILE_ATTRIBUTE_READONLY));
    TBytes image = Standin(u"capicom.dll");
    {
        TLibraryInstall install(target_, image);
        EXPECT_EQ(ReadTestFile(target_), old) << "the target changed before the swap";
        EXPECT_EQ(install.SwapIn(), TSwapResult::srSwapped);
        EXPECT_EQ(ReadTestFile(install.Backup()), old);
        install.Register();
        EXPECT_EQ(install.Backup(), u"");
    }
    EXPECT_EQ(ReadTestFile(target_), image);
    EXPECT_EQ(GetFileAttributesW(WinStr(target_)) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(FolderNames(folder_), std::vector<std::u16string>{u"capicom.dll"});
    ExpectServes(MakeVersion(2, 0, 0, 3));
}

TEST_F(LibraryInstall, ALibraryThatFailsToRegisterGivesWayToTheOldOne) {
    InstallOld();
    TBytes old = ReadTestFile(target_);
    TLibraryInstall install(target_, Standin(u"regfail.dll"));
    ASSERT_EQ(install.SwapIn(), TSwapResult::srSwapped);
    try {
        install.Register();
        FAIL() << "no exception";
    } catch (const EOleSysError& error) {
        // The registration's own text, untouched by the undo that worked.
        EXPECT_EQ(error.Message(),
                  SysErrorMessage(static_cast<std::uint32_t>(E_FAIL)) + RegistrationLine(target_));
        EXPECT_EQ(error.ErrorCode(), E_FAIL);
    }
    EXPECT_EQ(ReadTestFile(target_), old);
    EXPECT_EQ(FolderNames(folder_), std::vector<std::u16string>{u"capicom.dll"});
    ExpectServes(MakeVersion(1, 0, 0, 0));
}

TEST_F(LibraryInstall, ASwapThatIsNeverRegisteredIsUndone) {
    InstallOld();
    TBytes old = ReadTestFile(target_);
    {
        TLibraryInstall install(target_, Standin(u"capicom.dll"));
        ASSERT_EQ(install.SwapIn(), TSwapResult::srSwapped);
        // Something fails before the registration: the object goes.
    }
    EXPECT_EQ(ReadTestFile(target_), old);
    EXPECT_EQ(FolderNames(folder_), std::vector<std::u16string>{u"capicom.dll"});
    ExpectServes(MakeVersion(1, 0, 0, 0));
}

TEST_F(LibraryInstall, WriteFailuresNameThePathAndTheReasonAndLeaveNothing) {
    // No folder to write into.
    std::u16string missing = folder_ + u"\\missing\\capicom.dll";
    try {
        TLibraryInstall install(missing, Standin(u"capicom.dll"));
        FAIL() << "no exception";
    } catch (const EFCreateError& error) {
        std::u16string head = u"Cannot create file " + missing + u".";
        EXPECT_EQ(error.Message().substr(0, head.size()), head) << WideToUtf8(error.Message());
        std::u16string reason = u"\r\n" + SysErrorMessage(ERROR_PATH_NOT_FOUND);
        ASSERT_GT(error.Message().size(), reason.size());
        EXPECT_EQ(error.Message().substr(error.Message().size() - reason.size()), reason);
    }

    // A folder where the library belongs: the written file cannot take its name.
    ASSERT_TRUE(CreateDirectoryW(WinStr(target_), nullptr));
    {
        TLibraryInstall install(target_, Standin(u"capicom.dll"));
        try {
            install.SwapIn();
            FAIL() << "no exception";
        } catch (const EFCreateError& error) {
            EXPECT_EQ(error.Message().substr(0, 19 + target_.size()),
                      u"Cannot create file " + target_);
            EXPECT_NE(error.Message().find(u"\r\n"), std::u16string::npos) << "no reason";
        }
    }
    EXPECT_TRUE(IsFolder(target_));
    EXPECT_EQ(FolderNames(folder_), std::vector<std::u16string>{u"capicom.dll"});
}

TEST_F(LibraryInstall, NamesThatAreTakenAreNotReused) {
    // Leftovers of an earlier run with this process's number.
    std::u16string taken = Format(u"%s.%x-0.new", target_, GetCurrentProcessId());
    std::u16string takenBackup = Format(u"%s.%x-0.bak", target_, GetCurrentProcessId());
    WriteTestFile(taken, "someone else's");
    WriteTestFile(takenBackup, "someone else's too");
    WriteTarget("old");
    {
        TLibraryInstall install(target_, Standin(u"capicom.dll"));
        EXPECT_NE(install.NewFile(), taken);
        ASSERT_EQ(install.SwapIn(), TSwapResult::srSwapped);
        EXPECT_NE(install.Backup(), takenBackup);
        EXPECT_EQ(ReadTestFile(install.Backup()), (TBytes{'o', 'l', 'd'}));
    }
    EXPECT_EQ(ReadTestFile(taken),
              (TBytes{'s', 'o', 'm', 'e', 'o', 'n', 'e', ' ', 'e', 'l', 's', 'e', '\'', 's'}));
    EXPECT_EQ(ReadTestFile(target_), (TBytes{'o', 'l', 'd'}));
    EXPECT_EQ(FolderNames(folder_).size(), 3u);
}

TEST_F(LibraryInstall, ATargetInUseIsReplacedAtTheNextRestart) {
    TSavedValue pending(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager",
                        L"PendingFileRenameOperations");
    TSavedValue runOnce(HKEY_LOCAL_MACHINE,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                        L"Register capicom.dll");
    InstallOld();
    TBytes old = ReadTestFile(target_);
    std::u16string newFile;
    {
        // Another program runs the old library.
        TScopedLibrary user(LoadLibraryW(WinStr(target_)));
        ASSERT_TRUE(user);
        TLibraryInstall install(target_, Standin(u"capicom.dll"));
        newFile = install.NewFile();
        EXPECT_EQ(install.SwapIn(), TSwapResult::srScheduled);
        EXPECT_EQ(install.NewFile(), u"");
        EXPECT_EQ(install.Backup(), u"");
    }
    EXPECT_EQ(ReadTestFile(target_), old);
    // The written file waits for the restart, and regsvr32 for the logon after it.
    EXPECT_EQ(ReadTestFile(newFile), Standin(u"capicom.dll"));
    std::u16string rename = u"\\??\\" + newFile + u"|!\\??\\" + target_ + u"|";
    EXPECT_NE(pending.Text().find(rename), std::u16string::npos) << WideToUtf8(pending.Text());
    std::u16string command = runOnce.Text();
    std::u16string tail = u"\\regsvr32.exe\" /s \"" + target_ + u"\"";
    ASSERT_GT(command.size(), tail.size());
    EXPECT_EQ(command.substr(command.size() - tail.size()), tail);
    EXPECT_EQ(command[0], u'"');
    EXPECT_EQ(FolderNames(folder_).size(), 2u);
    ExpectServes(MakeVersion(1, 0, 0, 0));
}
