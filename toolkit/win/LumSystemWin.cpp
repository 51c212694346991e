#include "toolkit/win/LumSystemWin.h"

#include "rstr/LumSystemWin.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumResStrings.h"

#include <algorithm>
#include <cstring>
#include <span>

static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

namespace {

// The system fills a caller's buffer and answers the length it wrote. The buffer grows while
// the system reports it too small, so that a long folder or path is never cut. `Fill`
// answers the length written (without NUL), or the size needed when `size` was too small
// (which is then larger than `size`), or 0 on failure.
template <class Fill> std::u16string GrowingBuffer(Fill fill) {
    std::u16string buffer(MAX_PATH, u'\0');
    for (;;) {
        auto size = static_cast<DWORD>(buffer.size());
        DWORD length = fill(reinterpret_cast<wchar_t*>(buffer.data()), size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            buffer.resize(length);
            return buffer.substr(0, buffer.find(u'\0'));
        }
        buffer.assign(std::max<size_t>(length, size_t(size) * 2), u'\0');
    }
}

// GetModuleFileNameW reports a cut name by filling the buffer completely. Paths end at
// 32,767 characters, so a name still cut at that size is a failure.
std::u16string ModuleFileNameOrEmpty(HMODULE module) {
    return GrowingBuffer([module](wchar_t* buffer, DWORD size) -> DWORD {
        DWORD length = GetModuleFileNameW(module, buffer, size);
        if (length == size) {
            return size < 32768 ? size + 1 : 0;
        }
        return length;
    });
}

class TVersionApi {
  public:
    using GetSizeProc = DWORD(WINAPI*)(const wchar_t*, DWORD*);
    using GetInfoProc = BOOL(WINAPI*)(const wchar_t*, DWORD, DWORD, void*);
    using QueryProc = BOOL(WINAPI*)(const void*, const wchar_t*, void**, UINT*);

    TVersionApi()
        : library_(LoadSystemLibrary(u"version.dll")),
          GetSize(library_.Proc<GetSizeProc>("GetFileVersionInfoSizeW")),
          GetInfo(library_.Proc<GetInfoProc>("GetFileVersionInfoW")),
          Query(library_.Proc<QueryProc>("VerQueryValueW")) {}

  private:
    TSystemLibrary library_;

  public:
    const GetSizeProc GetSize;
    const GetInfoProc GetInfo;
    const QueryProc Query;
};

// Kept for the rest of the process once loaded; a failed load is tried again next time.
const TVersionApi& VersionApi() {
    static const TVersionApi api;
    return api;
}

// The bytes of the value at `subBlock`, bounded by the block: a damaged block cannot make a
// reader run past its end. Empty when the value is not there.
std::span<const std::uint8_t> QueryValue(const std::vector<std::uint8_t>& block,
                                         const std::u16string& subBlock, bool isText) {
    void* value = nullptr;
    UINT length = 0;
    if (block.empty() || !VersionApi().Query(block.data(), WinStr(subBlock), &value, &length) ||
        value == nullptr) {
        return {};
    }
    auto first = static_cast<const std::uint8_t*>(value);
    if (first < block.data() || first >= block.data() + block.size()) {
        return {};
    }
    // Text values are measured in characters, the others in bytes.
    size_t bytes = isText ? size_t(length) * 2 : length;
    size_t available = static_cast<size_t>(block.data() + block.size() - first);
    return {first, std::min(bytes, available)};
}

std::u16string HexDigits(std::uint32_t value, int digits) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string text(static_cast<size_t>(digits), u'0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) {
        text[static_cast<size_t>(i)] = kHex[value & 0xF];
    }
    return text;
}

} // namespace

// ---- Modules ----

std::u16string ModuleFileName(HMODULE module) {
    std::u16string name = ModuleFileNameOrEmpty(module);
    Win32Check(!name.empty());
    return name;
}

std::u16string ModuleFileNameOf(std::uintptr_t address) {
    HMODULE module = nullptr;
    // Address 0 reads as "no name" and would give the executable.
    if (address == 0 || !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                            reinterpret_cast<LPCWSTR>(address), &module)) {
        return {};
    }
    return ModuleFileNameOrEmpty(module);
}

std::u16string OwnModuleFileName() {
    return ModuleFileName(nullptr);
}

// ---- Environment ----

std::u16string ExpandEnvironment(const std::u16string& text) {
    if (text.empty()) {
        return {};
    }
    // The expansion answers the size it wrote or needs, the NUL counted either way.
    return GrowingBuffer([&text](wchar_t* buffer, DWORD size) -> DWORD {
        DWORD needed = ExpandEnvironmentStringsW(WinStr(text), buffer, size);
        return needed != 0 && needed <= size ? needed - 1 : needed;
    });
}

// ---- Folders ----

// The folder queries answer the size they need, NUL included, when the buffer is too small.

std::u16string SystemFolder() {
    return GrowingBuffer(
        [](wchar_t* buffer, DWORD size) -> DWORD { return GetSystemDirectoryW(buffer, size); });
}

std::u16string WindowsFolder() {
    return GrowingBuffer(
        [](wchar_t* buffer, DWORD size) -> DWORD { return GetWindowsDirectoryW(buffer, size); });
}

std::u16string TempFolder() {
    std::u16string folder = GrowingBuffer(
        [](wchar_t* buffer, DWORD size) -> DWORD { return GetTempPathW(size, buffer); });
    Win32Check(!folder.empty());
    return folder;
}

// ---- Files and folders ----

bool FileExists(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(WinStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(WinStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectories(const std::u16string& path) {
    if (path.empty()) {
        throw ELumGeneralError(LoadResString(LumSystemWin::SCannotCreateDir));
    }
    // The missing folders from the deepest up, created from the top down. A loop, since a deep
    // path must not cost a deep stack.
    std::vector<std::u16string> missing;
    for (std::u16string folder = ExcludeTrailingBackslash(path);
         !folder.empty() && !DirectoryExists(folder);) {
        std::u16string parent = ExcludeTrailingBackslash(PathFolder(folder));
        if (parent == folder) {
            // A drive that is not there.
            return false;
        }
        missing.push_back(std::move(folder));
        folder = std::move(parent);
    }
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        // Someone else may have made it meanwhile.
        if (!CreateDirectoryW(WinStr(*folder), nullptr) && !DirectoryExists(*folder)) {
            return false;
        }
    }
    return true;
}

void ForceDirectoriesWithMessage(const std::u16string& path) {
    if (!ForceDirectories(path)) {
        throw ELumGeneralError(Format(LoadResString(LumSystemWin::SCouldNotCreate), path));
    }
}

// ---- Operating system ----

const TOSVersion& OSVersion() {
    static const TOSVersion version = [] {
        OSVERSIONINFOEXW info{};
        info.dwOSVersionInfoSize = sizeof info;
        TOSVersion result;
        if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
            result.HasProductInfo = true;
        } else {
            // Systems before NT 4 SP6 know only the short structure.
            info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
            Win32Check(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)));
        }
        result.PlatformId = info.dwPlatformId;
        result.Major = info.dwMajorVersion;
        result.Minor = info.dwMinorVersion;
        // The Windows 9x family keeps major and minor in the build number's high word.
        result.Build = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? LOWORD(info.dwBuildNumber)
                                                                       : info.dwBuildNumber;
        result.ServicePack = FromWinStr(info.szCSDVersion);
        if (result.HasProductInfo) {
            result.ServicePackMajor = info.wServicePackMajor;
            result.SuiteMask = info.wSuiteMask;
            result.ProductType = info.wProductType;
        }
        return result;
    }();
    return version;
}

// ---- Library search ----

namespace {

// The kernel's functions that came after the oldest systems the program runs on, looked up
// rather than imported, so that the program still starts where one is missing.
template <class F> F KernelProc(const char* name) {
    return ProcAddress<F>(GetModuleHandleW(L"kernel32.dll"), name);
}

// Libraries that system components load by name when they first need them, dependencies
// first: they are taken from wherever the search finds them at that moment.
constexpr std::u16string_view kOnDemandLibraries[] = {
    u"msimg32.dll", u"dwmapi.dll",  u"uxtheme.dll", u"cryptbase.dll",
    u"userenv.dll", u"propsys.dll", u"winmm.dll",
};

HMODULE LoadByFullPath(const std::u16string& path) {
    DWORD flags = LibrarySearchFlagsSupported()
                      ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32
                      : LOAD_WITH_ALTERED_SEARCH_PATH;
    return LoadLibraryExW(WinStr(path), nullptr, flags);
}

int PinOnDemandLibraries() {
    std::u16string folder = SystemFolder();
    if (folder.empty()) {
        return 0;
    }
    int pinned = 0;
    for (std::u16string_view name : kOnDemandLibraries) {
        // Kept for the life of the process: a later load by name must find this one loaded.
        if (LoadByFullPath(folder + u"\\" + std::u16string(name)) != nullptr) {
            ++pinned;
        }
    }
    return pinned;
}

TLibrarySearchLock LockDown() {
    TLibrarySearchLock lock;
    if (auto setDefault = KernelProc<BOOL(WINAPI*)(DWORD)>("SetDefaultDllDirectories")) {
        lock.SystemFolderOnly = setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    }
    if (auto setDllDirectory = KernelProc<BOOL(WINAPI*)(LPCWSTR)>("SetDllDirectoryW")) {
        lock.CurrentFolderRemoved = setDllDirectory(L"") != FALSE;
    }
    if (auto setSearchPathMode = KernelProc<BOOL(WINAPI*)(DWORD)>("SetSearchPathMode")) {
        lock.SafeSearchPath = setSearchPathMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE |
                                                BASE_SEARCH_PATH_PERMANENT) != FALSE;
    }
    lock.PinnedLibraries = PinOnDemandLibraries();
    return lock;
}

} // namespace

TLibrarySearchLock LockDownLibrarySearch() {
    // Once: the search path mode is permanent, and a second call would be refused.
    static const TLibrarySearchLock lock = LockDown();
    return lock;
}

bool LibrarySearchFlagsSupported() {
    // The documented test: the flags came with AddDllDirectory.
    static const bool supported = KernelProc<void*(WINAPI*)(LPCWSTR)>("AddDllDirectory") != nullptr;
    return supported;
}

TScopedLibrary LoadLibraryByFullPath(const std::u16string& path) {
    TScopedLibrary library(LoadByFullPath(path));
    Win32Check(library.IsValid());
    return library;
}

TScopedLibrary MapLibraryWithoutRunning(std::u16string_view name) {
    DWORD flags = DONT_RESOLVE_DLL_REFERENCES;
    if (LibrarySearchFlagsSupported()) {
        flags |= LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
    }
    return TScopedLibrary(LoadLibraryExW(WinStr(std::u16string(name)), nullptr, flags));
}

const TOSVersion& RunningOSVersion() {
    static const TOSVersion running = [] {
        TOSVersion version = OSVersion();
        using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOEXW*);
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        auto getVersion = ntdll ? ProcAddress<TRtlGetVersion>(ntdll, "RtlGetVersion") : nullptr;
        OSVERSIONINFOEXW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!version.IsNT() || !getVersion || getVersion(&info) != 0) {
            return version;
        }
        version.Major = info.dwMajorVersion;
        version.Minor = info.dwMinorVersion;
        version.Build = info.dwBuildNumber;
        version.ServicePack = FromWinStr(info.szCSDVersion);
        version.HasProductInfo = true;
        version.ServicePackMajor = info.wServicePackMajor;
        version.SuiteMask = info.wSuiteMask;
        version.ProductType = info.wProductType;
        return version;
    }();
    return running;
}

// ---- Libraries from the system folder ----

void TSystemLibrary::RaiseMissingProc() {
    RaiseLastOSError();
}

TSystemLibrary LoadSystemLibrary(std::u16string_view name) {
    std::u16string folder = SystemFolder();
    // Without the folder, "\name" would be the root of the current drive.
    if (folder.empty()) {
        RaiseLastOSError();
    }
    return TSystemLibrary(LoadLibraryByFullPath(folder + u"\\" + std::u16string(name)));
}

// ---- Computer and user ----

std::u16string ComputerName() {
    wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    Win32Check(GetComputerNameW(buffer, &size));
    return FromWinStr(buffer, size);
}

std::u16string UserName() {
    // 256 characters and the NUL: the longest user name the system allows.
    wchar_t buffer[257];
    DWORD size = 257;
    Win32Check(GetUserNameW(buffer, &size));
    return FromWinStr(buffer);
}

// ---- Version information of files ----

std::vector<std::uint8_t> FileVersionInfo(const std::u16string& path) {
    const TVersionApi& api = VersionApi();
    DWORD ignored = 0;
    DWORD size = api.GetSize(WinStr(path), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<std::uint8_t> block(size, 0);
    if (!api.GetInfo(WinStr(path), 0, size, block.data())) {
        return {};
    }
    return block;
}

std::uint32_t VersionInfoTranslation(const std::vector<std::uint8_t>& block) {
    std::span<const std::uint8_t> value = QueryValue(block, u"\\VarFileInfo\\Translation", false);
    std::uint32_t translation = 0;
    if (value.size() >= sizeof(translation)) {
        std::memcpy(&translation, value.data(), sizeof(translation));
    }
    return translation;
}

std::u16string VersionInfoString(const std::vector<std::uint8_t>& block, std::u16string_view name,
                                 std::uint16_t language, std::uint16_t codePage) {
    if (block.empty()) {
        return {};
    }
    if (language == 0 || codePage == 0) {
        std::uint32_t translation = VersionInfoTranslation(block);
        language = translation & 0xFFFF;
        codePage = translation >> 16;
    }
    std::u16string subBlock = u"\\StringFileInfo\\" + HexDigits(language, 4) +
                              HexDigits(codePage, 4) + u"\\" + std::u16string(name);
    std::span<const std::uint8_t> value = QueryValue(block, subBlock, true);
    std::u16string text(value.size() / 2, u'\0');
    if (!text.empty()) {
        std::memcpy(text.data(), value.data(), text.size() * 2);
    }
    if (size_t nul = text.find(u'\0'); nul != std::u16string::npos) {
        text.resize(nul);
    }
    return text;
}

VS_FIXEDFILEINFO VersionInfoFixed(const std::vector<std::uint8_t>& block) {
    VS_FIXEDFILEINFO info{};
    std::span<const std::uint8_t> value = QueryValue(block, u"\\", false);
    if (!value.empty()) {
        std::memcpy(&info, value.data(), std::min(value.size(), sizeof(info)));
    }
    return info;
}

std::uint64_t VersionInfoFileVersion(const std::vector<std::uint8_t>& block) {
    VS_FIXEDFILEINFO info = VersionInfoFixed(block);
    return (std::uint64_t(info.dwFileVersionMS) << 32) | info.dwFileVersionLS;
}
