#pragma once
// System primitives, written once: module file names, environment expansion, the system's
// folders, the operating system's version, the locked-down library search and libraries loaded
// by full path, computer and user name, and the version information of files. Everything above
// calls these.

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumWin.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- Modules ----

/// The file name of a loaded module (nullptr: the executable). The buffer grows until the
/// name fits, so a long path is never cut. Raises EOSError when the system cannot give it.
std::u16string ModuleFileName(HMODULE module);

/// The file name of the module that holds the address; empty when none does or the system
/// cannot name it. Never raises: stack capture and fault handling call it.
std::u16string ModuleFileNameOf(std::uintptr_t address);

/// The executable's own file name.
std::u16string OwnModuleFileName();

// ---- Environment ----

/// The text with its environment variables (%NAME%) replaced by their values, as the system
/// expands a REG_EXPAND_SZ value; a variable that is not set stays as written. Empty when the
/// system cannot expand it (a result longer than 32,767 characters).
std::u16string ExpandEnvironment(const std::u16string& text);

// ---- Folders ----

/// The Windows system folder, without a trailing backslash; empty when the system fails.
std::u16string SystemFolder();

/// The Windows folder, without a trailing backslash; empty when the system fails.
std::u16string WindowsFolder();

/// The user's temporary folder, with its trailing backslash. Raises EOSError when the system
/// cannot give it.
std::u16string TempFolder();

// ---- Files and folders ----

/// Whether a file is at the path: its attributes can be read and it is not a folder.
bool FileExists(const std::u16string& path);

/// Whether a folder is at the path.
bool DirectoryExists(const std::u16string& path);

/// Creates the folder and its missing parents; false when one cannot be created. An empty
/// path raises ELumGeneralError "Unable to create directory".
bool ForceDirectories(const std::u16string& path);

/// ForceDirectories; a failure raises ELumGeneralError "Could not create %s" with the path.
void ForceDirectoriesWithMessage(const std::u16string& path);

// ---- Operating system ----

/// The operating system's version as GetVersionExW reports it.
struct TOSVersion {
    std::uint32_t PlatformId = 0; ///< VER_PLATFORM_WIN32s, _WINDOWS or _NT
    std::uint32_t Major = 0;
    std::uint32_t Minor = 0;
    /// The build number; on the Windows 9x family only its low word, where it is kept.
    std::uint32_t Build = 0;
    std::u16string ServicePack;
    /// Whether the product fields below were reported (OSVERSIONINFOEXW, NT 4 SP6 and later).
    bool HasProductInfo = false;
    std::uint16_t ServicePackMajor = 0;
    std::uint16_t SuiteMask = 0;
    std::uint8_t ProductType = 0;

    bool IsNT() const { return PlatformId == VER_PLATFORM_WIN32_NT; }
    bool IsWin9x() const { return PlatformId == VER_PLATFORM_WIN32_WINDOWS; }
};

/// The version, asked of the system once per process. Raises EOSError when the system
/// refuses it.
const TOSVersion& OSVersion();

/// The version of the system the program runs on, as its kernel gives it (RtlGetVersion),
/// asked once per process: since Windows 8.1, GetVersionExW answers a program whose manifest
/// does not name the system with 6.2, whatever it runs on. OSVersion() where the kernel has
/// no such call.
const TOSVersion& RunningOSVersion();

// ---- Library search ----

/// What LockDownLibrarySearch put in place; false where the system lacks the call or refused.
struct TLibrarySearchLock {
    /// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32): a library loaded by name, and
    /// every library's own dependencies, come from the system folder only.
    bool SystemFolderOnly = false;
    /// SetDllDirectoryW(L""): the current folder is out of the classic search order too, which
    /// loads with explicit flags such as LOAD_WITH_ALTERED_SEARCH_PATH still follow.
    bool CurrentFolderRemoved = false;
    /// SetSearchPathMode: SearchPathW (and what finds programs through it) looks in the current
    /// folder after the system's folders, for the rest of the process.
    bool SafeSearchPath = false;
    /// How many of the libraries that system components load by name when they need them
    /// (themes, window composition, drawing, cryptography, user profiles, property system,
    /// sound) were loaded from the system folder and kept, so that a later load by name finds
    /// them loaded; the others are not on the system.
    int PinnedLibraries = 0;
};

/// Locks the library search of the process down to the system folder: never the program's
/// folder (often a download folder), the current folder or PATH, where a planted library could
/// wait. The calls are looked up at run time, each used where the system has it; then the
/// libraries that system components load by name on demand are loaded once from the system
/// folder and kept, which covers systems without SetDefaultDllDirectories and loaders that
/// bypass it (delay loads under Wine search the program's folder first). Done once per
/// process; later calls answer what the first achieved. Never raises: it runs before anything
/// that could report an error.
TLibrarySearchLock LockDownLibrarySearch();

/// Whether LoadLibraryExW takes the LOAD_LIBRARY_SEARCH_* flags (Windows 8, or 7 and Vista
/// with the update that brought SetDefaultDllDirectories, and Wine).
bool LibrarySearchFlagsSupported();

/// Loads the library at the full path so that its code may run: its own dependencies come
/// from its folder, then the system folder, never the program's or the current folder or PATH.
/// Raises EOSError when it cannot be loaded, for instance when the path is not a full one.
TScopedLibrary LoadLibraryByFullPath(const std::u16string& path);

/// Maps the library that the loader finds for `name` (e.g. u"wininet") in the program's
/// folder, then the system folder, never the current folder, without resolving its imports
/// or running its initialisation; an empty library when there is none. Where the system lacks
/// the search flags, the classic search order stands in (without the current folder once
/// LockDownLibrarySearch ran).
TScopedLibrary MapLibraryWithoutRunning(std::u16string_view name);

// ---- Libraries from the system folder ----

/// A library loaded by full path from the system folder, with typed access to its functions.
class TSystemLibrary {
  public:
    explicit TSystemLibrary(TScopedLibrary library) : library_(std::move(library)) {}

    HMODULE Handle() const { return library_.Get(); }

    /// The named function as type F; nullptr when the library has none.
    template <class F> F FindProc(const char* name) const {
        return ProcAddress<F>(library_.Get(), name);
    }

    /// The named function as type F. Raises EOSError when the library has none.
    template <class F> F Proc(const char* name) const {
        F proc = FindProc<F>(name);
        if (!proc) {
            RaiseMissingProc();
        }
        return proc;
    }

  private:
    [[noreturn]] static void RaiseMissingProc();

    TScopedLibrary library_;
};

/// The library `name` (e.g. u"version.dll") of the system folder, by full path, loaded as
/// LoadLibraryByFullPath does: never from the program's folder or the current one, where a
/// planted library could wait. Raises EOSError when the system folder is unknown (a bare name
/// would be searched for) or the library cannot be loaded.
TSystemLibrary LoadSystemLibrary(std::u16string_view name);

// ---- Computer and user ----

/// The computer's NetBIOS name. Raises EOSError.
std::u16string ComputerName();

/// The name of the user the process runs as. Raises EOSError.
std::u16string UserName();

// ---- Version information of files ----
// Through the system folder's version.dll, loaded at run time rather than imported.

/// The file's whole version-information block; empty when the file has none, is not there
/// or cannot be read. Raises EOSError when version.dll cannot be loaded.
std::vector<std::uint8_t> FileVersionInfo(const std::u16string& path);

/// The first entry of a block's translation table: language in the low 16 bits, code page in
/// the high 16 bits; 0 when there is none.
std::uint32_t VersionInfoTranslation(const std::vector<std::uint8_t>& block);

/// The named string of a block for the language and code page, cut at its first NUL; when
/// either is 0, both come from the first translation. Empty when there is no such string.
std::u16string VersionInfoString(const std::vector<std::uint8_t>& block, std::u16string_view name,
                                 std::uint16_t language = 0, std::uint16_t codePage = 0);

/// The fixed version information of a block; all zero when it has none.
VS_FIXEDFILEINFO VersionInfoFixed(const std::vector<std::uint8_t>& block);

/// The file version of a block (major in the top 16 bits); 0 when there is none.
std::uint64_t VersionInfoFileVersion(const std::vector<std::uint8_t>& block);
