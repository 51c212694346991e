#pragma once
// The library's general utilities, grouped by topic: consistency checks, files and folders,
// library and COM server locations, installed Office applications, descriptions of the
// operating system, and the probes that find the installed versions of shared components.
// Portable topics come first; the Win32 ones follow in the _WIN32 block.

#include "lib/LumLX/LumLXVerUtils.h"
#include "toolkit/LumUnits.h"

#ifdef _WIN32
#include "toolkit/LumWin.h"
#endif

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// ---- Operating system descriptions ----

/// "Win32s" for 0, "Win9x" for 1, "NT" for 2, any other value in decimal.
std::u16string PlatformName(std::uint32_t platformId);

/// "%s %d.%d (Build %d) %s" from PlatformName and the other parts, e.g.
/// "NT 5.1 (Build 2600) Service Pack 2".
std::u16string OSVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                             std::uint32_t build, std::u16string_view servicePack);

/// The ISO name of an ANSI code page, e.g. "ISO 8859-1,  Latin 1 (ANSI)" for 1252;
/// "(Unknown ISO equivalent)" for code pages outside 1250 to 1257.
std::u16string CodePageIsoName(std::uint32_t codePage);

// ---- Office applications ----

enum TOfficeApps { oaWord, oaExcel, oaOutlook, oaAccess };
inline constexpr std::size_t OfficeAppCount = 4;

/// The application's name as Office registers it: "Word", "Excel", "Outlook", "Access".
std::u16string_view OfficeAppName(TOfficeApps app);

#ifdef _WIN32
// ---- Module start and stop ----

/// The first start finds the installed Office versions (OfficeVersions, OfficeInstalled); the
/// last stop clears them.
extern TUnit LumLXUtilsUnit;

// ---- Consistency checks ----

/// Raises Exception "Internal Error: File does not exist: " + path unless FileExists(path).
void CheckFileExists(const std::u16string& path);

// ---- Files and folders ----

/// Whether a file is at the path: its attributes can be read and it is not a folder.
bool FileExists(const std::u16string& path);

/// Removes the read-only attribute of an existing file or folder; does nothing when there is
/// neither. Raises EOSError when the attributes cannot be written.
void ClearReadOnly(const std::u16string& path);

/// Deletes the file; when that fails, clears its read-only attribute and tries once more. The
/// second failure raises EOSError (a file another process holds open, say). No retry beyond.
void ForceDeleteFile(const std::u16string& path);

/// ForceDeleteFile when a file (not a folder) is at the path; otherwise nothing.
void DeleteExistingFile(const std::u16string& path);

/// The Windows system folder, without a trailing backslash; empty when the system fails.
std::u16string GetSystemDir();

/// The Windows folder, without a trailing backslash; empty when the system fails.
std::u16string GetWindowsDir();

/// The full path of the library that the system's library search finds for `moduleName`
/// (e.g. "wininet"); empty when there is none. The library is mapped without resolving its
/// references or running its initialisation, and freed again. Raises EOSError when the
/// mapped library's file name cannot be obtained.
std::u16string GetModulePath(const std::u16string& moduleName);

// ---- COM servers ----

/// The InprocServer32 path registered for the class (HKEY_CLASSES_ROOT), as stored: not
/// expanded, possibly relative. Empty when none is registered. Raises ERegistryException when
/// the registered value is not a string.
std::u16string GetInprocServerPath(const GUID& classId);

/// GetInprocServerPath of the ProgID's class; empty when the ProgID is not registered.
std::u16string GetProgIDServerPath(const std::u16string& progId);

/// The file version of the ProgID's in-process server; 0 when the path is empty or no file is
/// there (so a path without folder or with unexpanded variables gives 0).
TVersionNumber GetProgIDVersion(const std::u16string& progId);

// ---- Office ----

/// The "Path" value of the key Software\Microsoft\Office\<version>\<app>\InstallRoot under
/// HKEY_LOCAL_MACHINE (a folder ending with a backslash); empty when there is none.
std::u16string GetOfficeInstallRoot(std::u16string_view officeVersion, std::u16string_view app);

/// The first of "11.0", "10.0", "9.0" whose install root of the application holds the
/// executable; empty when none does.
std::u16string GetOfficeVersion(std::u16string_view app, std::u16string_view exeName);

/// The installed Office version of each application (indexed by TOfficeApps), found at the
/// unit's first start; empty texts while it is stopped.
const std::array<std::u16string, OfficeAppCount>& OfficeVersions();

/// True where OfficeVersions holds a version.
const std::array<bool, OfficeAppCount>& OfficeInstalled();

// ---- Operating system descriptions ----

/// OSVersionText of the version the system reports.
std::u16string GetOSVersionString();

/// The file version of the kernel32 library the system loads; `productName` receives its
/// "ProductName" string. 0 and an empty name when it cannot be found.
TVersionNumber GetKernelVersion(std::u16string& productName);

// ---- Component probes: installed versions, 0 when absent ----

TVersionNumber GetWinInetVersion();      ///< the library found for "wininet"
TVersionNumber GetMapiVersion();         ///< the library found for "mapi32"
std::u16string GetMapiCompanyName();     ///< "CompanyName" of that library; empty if none
TVersionNumber GetCapicomVersion();      ///< ProgID "CAPICOM.EncryptedData"
TVersionNumber GetMdacVersion();         ///< "RowPosition.RowPosition", then ".1"
TVersionNumber GetJetVersion();          ///< "Microsoft.Jet.OLEDB.4.0"
TVersionNumber GetDaoVersion();          ///< "DAO.TableDef.36", then "DAO.TableDef"
TVersionNumber GetSqlDmoVersion();       ///< "SQLDMO.Application.7.0", then without ".7.0"
TVersionNumber GetCrystalVersion();      ///< the library found for "Crpe32"
TVersionNumber GetCrystalOleDbVersion(); ///< <Windows>\Crystal\p2soledb.dll
TVersionNumber GetCrystalUflVersion();   ///< <Windows>\Crystal\u2lcom.dll
TVersionNumber GetCrystalXlsVersion();   ///< <Windows>\Crystal\U2FXLS.DLL
/// The library found for "Rpawinet"; `companyName` receives its "CompanyName" string (empty
/// when the library is absent).
TVersionNumber GetRpaWInetVersion(std::u16string& companyName);
#endif
