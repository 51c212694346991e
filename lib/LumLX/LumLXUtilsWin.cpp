// The Win32 topics of the general utilities: folders, library and COM server locations,
// Office, the operating system's version and the component probes.
#include "lib/LumLX/LumLXUtils.h"

#include "lib/LumLX/LumLXRegistry.h"
#include "rstr/LumLXUtils.h"
#include "toolkit/LumExceptions.h"
#include "toolkit/LumFormat.h"
#include "toolkit/LumHandle.h"
#include "toolkit/LumOSErrors.h"
#include "toolkit/LumResStrings.h"

#include <objbase.h>

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

void StartUnit() {
    // Filled aside first, so that a probe that raises leaves the state as it was.
    TOfficeState found;
    for (std::size_t app = 0; app < OfficeAppCount; ++app) {
        found.Versions[app] =
            GetOfficeVersion(OfficeAppName(static_cast<TOfficeApps>(app)), kOfficeExecutables[app]);
        found.Installed[app] = !found.Versions[app].empty();
    }
    OfficeState() = std::move(found);
}

void StopUnit() { OfficeState() = TOfficeState(); }

// ---- Helpers ----

// A folder the system writes into a caller's buffer: 260 characters first, and the size the
// system asks for when that is too small, so that a long folder is not cut.
template <class Query> std::u16string SystemFolder(Query query) {
    std::u16string buffer(MAX_PATH, u'\0');
    UINT length = query(reinterpret_cast<wchar_t*>(buffer.data()), MAX_PATH);
    if (length >= MAX_PATH) {
        buffer.assign(length, u'\0');
        length = query(reinterpret_cast<wchar_t*>(buffer.data()), length);
        if (length >= buffer.size()) {
            return {};
        }
    }
    buffer.resize(length);
    return buffer.substr(0, buffer.find(u'\0'));
}

// The file name of a loaded module. The buffer grows while the name fills it completely,
// which is how the system reports a cut name.
std::u16string ModuleFileName(HMODULE module) {
    std::u16string buffer(MAX_PATH, u'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD length = GetModuleFileNameW(module, reinterpret_cast<wchar_t*>(buffer.data()), size);
        Win32Check(length != 0);
        if (length < size || size >= 32768) {
            buffer.resize(length);
            return buffer.substr(0, buffer.find(u'\0'));
        }
        buffer.assign(size * 2, u'\0');
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

bool FileExists(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(WinStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
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

std::u16string GetSystemDir() { return SystemFolder(GetSystemDirectoryW); }

std::u16string GetWindowsDir() { return SystemFolder(GetWindowsDirectoryW); }

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
    // The version as the system reported it the first time it was asked.
    static const OSVERSIONINFOW info = [] {
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof(version);
        Win32Check(GetVersionExW(&version));
        return version;
    }();
    // The Windows 9x family keeps major and minor in the build number's high word.
    DWORD build = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? LOWORD(info.dwBuildNumber)
                                                                  : info.dwBuildNumber;
    return OSVersionText(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, build,
                         FromWinStr(info.szCSDVersion));
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
