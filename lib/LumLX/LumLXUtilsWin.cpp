// The Win32 topics of the general utilities: files and folders, temporary files and folders,
// library and COM server locations, Office, the operating system's version, system queries,
// shell execution, the cursor stack and the component probes.
#include "lib/LumLX/LumLXUtils.h"

#include "lib/LumLX/LumLXRegistry.h"
#include "toolkit/win/LumSystemWin.h"
#include "rstr/LumLXUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStringList.h"

#include <objbase.h>
#include <shellapi.h>

#include <memory>
#include <vector>

namespace {

// ---- Module state ----

struct TOfficeState {
    std::array<std::u16string, OfficeAppCount> Versions;
    std::array<bool, OfficeAppCount> Installed{};
};

TOfficeState& OfficeState() {
    static TOfficeState state;
    return state;
}

// The executable of each application, in the order of TOfficeApps.
constexpr std::u16string_view kOfficeExecutables[OfficeAppCount] = {
    u"WINWORD.EXE", u"EXCEL.EXE", u"OUTLOOK.EXE", u"MSACCESS.EXE"};

// The temporary folders and files to delete at the last stop, and the saved cursors. None of
// them exists while the unit is stopped.
struct TUtilsLists {
    std::unique_ptr<TLumStringList> Folders;
    std::unique_ptr<TLumStringList> Files;
    std::unique_ptr<std::vector<TCursor>> Cursors;
};

TUtilsLists& Lists() {
    static TUtilsLists lists;
    return lists;
}

constexpr std::u16string_view kFolderListName = u"GarbageCollectedFolderList";
constexpr std::u16string_view kFileListName = u"GarbageCollectedFileList";

TLumStringList& FolderList() {
    CheckAssigned(Lists().Folders.get(), kFolderListName);
    return *Lists().Folders;
}

TLumStringList& FileList() {
    CheckAssigned(Lists().Files.get(), kFileListName);
    return *Lists().Files;
}

std::vector<TCursor>& CursorStack() {
    CheckAssigned(Lists().Cursors.get(), u"CursorStack");
    return *Lists().Cursors;
}

void StartUnit() {
    // Filled aside first, so that a probe that raises leaves the state as it was.
    TOfficeState found;
    for (std::size_t app = 0; app < OfficeAppCount; ++app) {
        found.Versions[app] =
            GetOfficeVersion(OfficeAppName(static_cast<TOfficeApps>(app)), kOfficeExecutables[app]);
        found.Installed[app] = !found.Versions[app].empty();
    }
    TUtilsLists lists{std::make_unique<TLumStringList>(), std::make_unique<TLumStringList>(),
                      std::make_unique<std::vector<TCursor>>()};
    OfficeState() = std::move(found);
    Lists() = std::move(lists);
}

void StopUnit() {
    // The lists go and the versions are cleared even when a clean-up raises.
    struct TRelease {
        ~TRelease() {
            Lists() = TUtilsLists();
            OfficeState() = TOfficeState();
        }
    } release;
    CleanUpGarbageCollectedFolders();
    CleanUpGarbageCollectedFiles();
}

// ---- Helpers ----

// Whether anything, file or folder, is at the path.
bool PathExists(const std::u16string& path) {
    return GetFileAttributesW(WinStr(path)) != INVALID_FILE_ATTRIBUTES;
}

// The owner of shell windows: the application's, or none while the toolkit is not running
// (at the last stop of this unit the application is gone already).
HWND ApplicationWindow() {
    TLumApplication* application = Application();
    return application ? application->Handle() : nullptr;
}

// The stored name of the path's last element. Wildcards would find some other file.
bool FindStoredName(const std::u16string& path, std::u16string& name) {
    if (path.find_first_of(u"*?") != std::u16string::npos) {
        return false;
    }
    WIN32_FIND_DATAW found;
    TScopedFind find(FindFirstFileW(WinStr(path), &found));
    if (!find) {
        return false;
    }
    name = FromWinStr(found.cFileName);
    return true;
}

// The stored name of the last element, or the name as the path gives it when there is none.
std::u16string StoredOrGivenName(const std::u16string& path) {
    std::u16string name;
    if (FindStoredName(path, name)) {
        return name;
    }
    std::size_t delimiter = path.find_last_of(u"\\:");
    return delimiter == std::u16string::npos ? path : path.substr(delimiter + 1);
}

std::u16string FullPathName(const std::u16string& path) {
    std::u16string buffer(MAX_PATH, u'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD length = GetFullPathNameW(WinStr(path), size,
                                        reinterpret_cast<wchar_t*>(buffer.data()), nullptr);
        Win32Check(length != 0);
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
        // Too small: the length asked for counts the terminating NUL.
        buffer.assign(length, u'\0');
    }
}

std::u16string ClassIdText(const GUID& id) {
    return Format(u"{%.8x-%.4x-%.4x-%.2x%.2x-%.2x%.2x%.2x%.2x%.2x%.2x}", id.Data1, id.Data2,
                  id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4],
                  id.Data4[5], id.Data4[6], id.Data4[7]);
}

TVersionNumber LibraryVersion(const std::u16string& moduleName) {
    std::u16string path = GetModulePath(moduleName);
    return path.empty() ? 0 : GetFileVersion(path);
}

TVersionNumber ExistingFileVersion(const std::u16string& path) {
    return FileExists(path) ? GetFileVersion(path) : 0;
}

TVersionNumber FirstProgIDVersion(const std::u16string& progId, const std::u16string& fallback) {
    TVersionNumber version = GetProgIDVersion(progId);
    return version != 0 ? version : GetProgIDVersion(fallback);
}

TVersionNumber CrystalFileVersion(std::u16string_view fileName) {
    return ExistingFileVersion(GetWindowsDir() + u"\\Crystal\\" + std::u16string(fileName));
}

} // namespace

TUnit LumLXUtilsUnit("LumLXUtils", &StartUnit, &StopUnit);

// ---- Consistency checks ----

void CheckFileExists(const std::u16string& path) {
    if (!FileExists(path)) {
        throw Exception(LoadResString(LumLXUtils::SFileDoesNotExist) + path);
    }
}

// ---- Files and folders ----

std::u16string LongName(const std::u16string& path) {
    std::u16string name;
    return FindStoredName(path, name) ? name : path;
}

std::u16string LongPath(const std::u16string& path) {
    if (path.empty()) {
        return {};
    }
    // Walk up to the root collecting the elements' stored names, then join them downwards:
    // a loop, since a deep path must not cost a deep stack.
    std::vector<std::u16string> names;
    std::u16string current = FullPathName(path);
    std::u16string result;
    for (;;) {
        std::u16string folder = PathFolder(current);
        if (folder.empty()) {
            result = StoredOrGivenName(current);
            break;
        }
        // The folder part is a prefix of the path, so equal length means a root.
        if (folder.size() == current.size()) {
            result = current;
            break;
        }
        names.push_back(StoredOrGivenName(current));
        current = std::move(folder);
    }
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        result = IncludeTrailingBackslash(result) + *name;
    }
    return result;
}

std::u16string OwnFileName() { return OwnModuleFileName(); }

void DeleteThroughShell(const std::u16string& path, std::uint16_t flags,
                        const std::u16string& progressTitle) {
    if (path.empty()) {
        // The shell would read an empty list; there is nothing to delete.
        Abort();
    }
    std::u16string source = path;
    // A root keeps its backslash: "C:" alone names the drive's current folder.
    if (DirectoryExists(path) && PathFolder(path) != path) {
        source = ExcludeTrailingBackslash(path);
    }
    // A list of names ended by an empty one: the second NUL is c_str's.
    source.push_back(u'\0');
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = ApplicationWindow();
    operation.wFunc = FO_DELETE;
    operation.pFrom = WinStr(source);
    operation.fFlags = flags;
    operation.lpszProgressTitle = progressTitle.empty() ? nullptr : WinStr(progressTitle);
    if (SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted) {
        Abort();
    }
}

void ClearReadOnly(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(WinStr(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Neither a file nor a folder: nothing to clear.
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        Win32Check(SetFileAttributesW(WinStr(path), attributes & ~FILE_ATTRIBUTE_READONLY));
    }
}

void ForceDeleteFile(const std::u16string& path) {
    if (DeleteFileW(WinStr(path))) {
        return;
    }
    ClearReadOnly(path);
    Win32Check(DeleteFileW(WinStr(path)));
}

void DeleteExistingFile(const std::u16string& path) {
    if (FileExists(path)) {
        ForceDeleteFile(path);
    }
}

std::u16string GetSystemDir() { return SystemFolder(); }

std::u16string GetWindowsDir() { return WindowsFolder(); }

std::u16string GetModulePath(const std::u16string& moduleName) {
    // Mapped only: neither its imports nor its initialisation run, so a library planted in the
    // search path cannot execute anything here.
    TScopedLibrary library(
        LoadLibraryExW(WinStr(moduleName), nullptr, DONT_RESOLVE_DLL_REFERENCES));
    if (!library) {
        return {};
    }
    return ModuleFileName(library.Get());
}

// ---- Temporary files and folders ----

std::u16string TempPath() { return TempFolder(); }

std::u16string NewGarbageCollectedFolder() {
    // Checked first, so that no folder is made that nobody would delete.
    TLumStringList& folders = FolderList();
    std::u16string folder;
    do {
        folder = IncludeTrailingBackslash(TempPath() + u"Temp" + Format(u"%d", RandomNumber()));
        // Without the backslash, so that a file of that name is seen too.
    } while (PathExists(ExcludeTrailingBackslash(folder)));
    ForceDirectoriesWithMessage(folder);
    folders.Add(folder);
    return folder;
}

std::u16string NewTempFileName(std::u16string_view suffix, std::u16string_view folder,
                               std::u16string_view prefix) {
    std::u16string directory =
        IncludeTrailingBackslash(folder == TempPathMarker ? TempPath() : std::u16string(folder));
    ForceDirectoriesWithMessage(directory);
    std::u16string name;
    do {
        name = directory + std::u16string(prefix) + u"-" + Format(u"%x", RandomNumber() & 0xFFFF) +
               std::u16string(suffix);
        // A folder of that name counts too: the caller could not create the file there.
    } while (PathExists(name));
    return name;
}

std::u16string NewGarbageCollectedFileName(std::u16string_view suffix) {
    TLumStringList& files = FileList();
    std::u16string name = NewTempFileName(suffix, TempPathMarker, u"tmp");
    files.Add(name);
    return name;
}

void DeleteGarbageCollectedFolder(const std::u16string& path) {
    try {
        if (DirectoryExists(path)) {
            DeleteThroughShell(path, FOF_NOCONFIRMATION | FOF_NOERRORUI, u"");
        }
        TLumStringList& folders = FolderList();
        if (int index = folders.IndexOf(path); index >= 0) {
            folders.Delete(index);
        }
    } catch (...) {
        // Clean-up runs at exit and on error paths: a folder that stays is no reason to fail.
    }
}

void CleanUpGarbageCollectedFolders() {
    TLumStringList& folders = FolderList();
    // From the last made to the first.
    for (int i = folders.Count() - 1; i >= 0; --i) {
        // A copy: the deletion removes the entry it is given.
        DeleteGarbageCollectedFolder(std::u16string(folders.Strings(i)));
    }
    folders.Clear();
}

void CleanUpGarbageCollectedFiles() {
    TLumStringList& files = FileList();
    for (int i = 0; i < files.Count(); ++i) {
        // A file never made, or one still open or read-only, is left alone.
        DeleteFileW(WinStr(files.Strings(i)));
    }
    files.Clear();
}

// ---- COM servers ----

std::u16string GetInprocServerPath(const GUID& classId) {
    TLumRegistryLX registry(KEY_READ);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    if (!registry.OpenKeyReadOnly(u"CLSID\\" + ClassIdText(classId) + u"\\InprocServer32")) {
        return {};
    }
    return registry.ReadString(u"");
}

std::u16string GetProgIDServerPath(const std::u16string& progId) {
    CLSID classId;
    if (FAILED(CLSIDFromProgID(WinStr(progId), &classId))) {
        return {};
    }
    return GetInprocServerPath(classId);
}

TVersionNumber GetProgIDVersion(const std::u16string& progId) {
    std::u16string path = GetProgIDServerPath(progId);
    return path.empty() ? 0 : ExistingFileVersion(path);
}

// ---- Office ----

std::u16string GetOfficeInstallRoot(std::u16string_view officeVersion, std::u16string_view app) {
    TLumRegistryLX registry(KEY_READ);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!registry.OpenKeyReadOnly(
            Format(u"Software\\Microsoft\\Office\\%s\\%s\\InstallRoot", officeVersion, app)) ||
        !registry.ValueExists(u"Path")) {
        return {};
    }
    return registry.ReadString(u"Path");
}

std::u16string GetOfficeVersion(std::u16string_view app, std::u16string_view exeName) {
    for (std::u16string_view version : {u"11.0", u"10.0", u"9.0"}) {
        std::u16string root = GetOfficeInstallRoot(version, app);
        // Without an install root the bare executable name would be looked up in the current
        // folder, and a copy lying there would pass for an installation.
        if (!root.empty() && FileExists(root + std::u16string(exeName))) {
            return std::u16string(version);
        }
    }
    return {};
}

const std::array<std::u16string, OfficeAppCount>& OfficeVersions() {
    return OfficeState().Versions;
}

const std::array<bool, OfficeAppCount>& OfficeInstalled() { return OfficeState().Installed; }

// ---- Operating system descriptions ----

std::u16string GetOSVersionString() {
    const TOSVersion& version = OSVersion();
    return OSVersionText(version.PlatformId, version.Major, version.Minor, version.Build,
                         version.ServicePack);
}

TVersionNumber GetKernelVersion(std::u16string& productName) {
    productName.clear();
    std::u16string path = GetModulePath(u"kernel32");
    if (path.empty()) {
        return 0;
    }
    productName = GetVersionInfoString(u"ProductName", path);
    return GetFileVersion(path);
}

// ---- System queries ----

bool UserIsAdministrator() {
    // Outside the NT family there are no access tokens: everybody may do everything.
    if (!OSVersion().IsNT()) {
        return true;
    }
    HANDLE opened = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &opened) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
        return false;
    }
    TScopedKernelHandle token(opened);
    // 1,024 bytes hold the groups of most tokens; a user in many groups gets the size the
    // system asks for, so that membership is not denied for want of room.
    std::vector<DWORD> buffer(1024 / sizeof(DWORD));
    DWORD needed = 0;
    if (!GetTokenInformation(token.Get(), TokenGroups, buffer.data(),
                             static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &needed)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return false;
        }
        buffer.resize((needed + sizeof(DWORD) - 1) / sizeof(DWORD));
        if (!GetTokenInformation(token.Get(), TokenGroups, buffer.data(),
                                 static_cast<DWORD>(buffer.size() * sizeof(DWORD)), &needed)) {
            return false;
        }
    }
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    alignas(DWORD) BYTE administrators[SECURITY_MAX_SID_SIZE];
    Win32Check(InitializeSid(administrators, &ntAuthority, 2));
    *GetSidSubAuthority(administrators, 0) = SECURITY_BUILTIN_DOMAIN_RID;
    *GetSidSubAuthority(administrators, 1) = DOMAIN_ALIAS_RID_ADMINS;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    const SID_AND_ATTRIBUTES* group = groups->Groups;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(group[i].Sid, administrators)) {
            return true;
        }
    }
    return false;
}

bool KeyIsDown(int virtualKey) {
    // Bit 0 only records a press since the previous query; the high bit is the key held now.
    return static_cast<std::uint16_t>(GetAsyncKeyState(virtualKey)) >= 2;
}

std::u16string LocaleText(std::uint32_t locale, std::uint32_t item) {
    int length = GetLocaleInfoW(locale, item, nullptr, 0);
    if (length <= 0) {
        return u"???";
    }
    std::u16string text(static_cast<std::size_t>(length), u'\0');
    length = GetLocaleInfoW(locale, item, reinterpret_cast<wchar_t*>(text.data()), length);
    if (length <= 0) {
        return u"???";
    }
    return text.substr(0, text.find(u'\0'));
}

std::u16string LocaleDisplayName(std::uint32_t locale) {
    return LocaleText(locale, LOCALE_SENGLANGUAGE) + u" (" +
           LocaleText(locale, LOCALE_SENGCOUNTRY) + u")";
}

// ---- Shell execution ----

void ShellExec(HWND owner, const std::u16string& verb, const std::u16string& file, int showCommand,
               const std::u16string& directory, const std::u16string& parameters) {
    auto optional = [](const std::u16string& text) {
        return text.empty() ? nullptr : WinStr(text);
    };
    HINSTANCE result = ShellExecuteW(owner, optional(verb), WinStr(file), optional(parameters),
                                     optional(directory), showCommand);
    CheckShellExecuteResult(reinterpret_cast<INT_PTR>(result), verb, file);
}

void ShellOpen(const std::u16string& file, const std::u16string& parameters,
               const std::u16string& directory, int showCommand) {
    ShellExec(ApplicationWindow(), u"open", file, showCommand, directory, parameters);
}

// ---- Cursor stack ----

void PushCursor(TCursor cursor) {
    CursorStack().push_back(ScreenCursor());
    SetScreenCursor(cursor);
}

void PopCursor() {
    std::vector<TCursor>& stack = CursorStack();
    TCursor cursor = crDefault;
    if (!stack.empty()) {
        cursor = stack.back();
        stack.pop_back();
    }
    SetScreenCursor(cursor);
}

// ---- Component probes ----

TVersionNumber GetWinInetVersion() { return LibraryVersion(u"wininet"); }

TVersionNumber GetMapiVersion() { return LibraryVersion(u"mapi32"); }

std::u16string GetMapiCompanyName() {
    std::u16string path = GetModulePath(u"mapi32");
    return path.empty() ? std::u16string() : GetVersionInfoString(u"CompanyName", path);
}

TVersionNumber GetCapicomVersion() { return GetProgIDVersion(u"CAPICOM.EncryptedData"); }

TVersionNumber GetMdacVersion() {
    return FirstProgIDVersion(u"RowPosition.RowPosition", u"RowPosition.RowPosition.1");
}

TVersionNumber GetJetVersion() { return GetProgIDVersion(u"Microsoft.Jet.OLEDB.4.0"); }

TVersionNumber GetDaoVersion() { return FirstProgIDVersion(u"DAO.TableDef.36", u"DAO.TableDef"); }

TVersionNumber GetSqlDmoVersion() {
    return FirstProgIDVersion(u"SQLDMO.Application.7.0", u"SQLDMO.Application");
}

TVersionNumber GetCrystalVersion() { return LibraryVersion(u"Crpe32"); }

TVersionNumber GetCrystalOleDbVersion() { return CrystalFileVersion(u"p2soledb.dll"); }

TVersionNumber GetCrystalUflVersion() { return CrystalFileVersion(u"u2lcom.dll"); }

TVersionNumber GetCrystalXlsVersion() { return CrystalFileVersion(u"U2FXLS.DLL"); }

TVersionNumber GetRpaWInetVersion(std::u16string& companyName) {
    companyName.clear();
    std::u16string path = GetModulePath(u"Rpawinet");
    if (path.empty()) {
        return 0;
    }
    companyName = GetVersionInfoString(u"CompanyName", path);
    return GetFileVersion(path);
}
