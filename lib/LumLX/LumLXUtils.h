#pragma once
// The library's general utilities, grouped by topic: consistency checks (LumLXChecks.h),
// comparison of variants, numbers and texts, paths, files and folders, temporary files and
// folders that are removed at the module's last stop, library and COM server locations,
// installed Office applications, descriptions of the operating system, system queries, shell
// execution and the probes that find the installed versions of shared components. The
// topics marked Win32 are built for Windows only; the few declarations that take native or
// window types (a COM class id, an owner window, cursors) are in LumLXUtilsWin.h.

#include "lib/LumLX/LumLXChecks.h"
#include "lib/LumLX/LumLXVerUtils.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/base/LumVariants.h"
#include "toolkit/data/LumDataSetTypes.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// ---- Variant comparison ----

/// Compares two texts: < 0, 0 or > 0 as LumCompareStrings orders them, ignoring case with
/// loCaseInsensitive. With loPartialKey a longer `a` is cut to b's length first, so a text
/// that begins with b compares equal (but b against that text does not).
int CompareTexts(std::u16string_view a, std::u16string_view b, TLocateOptions options);

/// Whether two variants are equal. Arrays are equal when their bounds are and each pair of
/// elements is equal under no options (the caller's options are not passed on). Scalars
/// without options: Empty equals only Empty, Null only Null, decimals are taken as currency,
/// then VarSameValue decides. With options: both as texts, equal under CompareTexts. A scalar
/// comparison that raises (a value without a text, say) answers false.
bool VariantsEqual(const TLumVariant& a, const TLumVariant& b, TLocateOptions options);

/// Orders two variants: -1, 0 or 1; two texts compared under options answer CompareTexts'
/// own result. Arrays must have the same bounds (else EAssertionFailed) and compare element
/// by element under the same options. Scalars follow VarCompareValue; values it cannot
/// order answer -1 for Null or Empty before a value, 1 for a value after them, else 0.
int CompareVariants(const TLumVariant& a, const TLumVariant& b, TLocateOptions options);

/// Whether the variant is Null or Empty.
bool IsNullOrEmpty(const TLumVariant& value);

// ---- Numbers and texts ----

/// x * y * z / 1,048,576, rounded down. The product is exact; a result beyond 64 bits raises
/// ELumInternalError.
std::uint64_t MegaBytes(std::uint64_t x, std::uint64_t y, std::uint64_t z);

/// The item appended to the text, preceded by the separator unless the text is empty.
std::u16string AppendWithSeparator(std::u16string_view text, std::u16string_view item,
                                   std::u16string_view separator);

// ---- Shell execution ----

/// Returns for a ShellExecute result above 32; otherwise raises ELumGeneralError with the
/// system's meaning of the code (31 under the verb "print", in any letter case, is "not
/// printable"), or ELumInternalError "Internal Error: ShellExecute() returned code %d for
/// "%s"." with the file for a code without one.
void CheckShellExecuteResult(std::intptr_t result, std::u16string_view verb,
                             std::u16string_view file);

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

// ---- Module start and stop (Win32) ----

/// The first start finds the installed Office versions (OfficeVersions, OfficeInstalled) and
/// creates the lists of temporary folders and files and the cursor stack. The last stop
/// deletes the recorded folders (last first), then the recorded files (first first), frees
/// the lists and the stack and clears the Office versions.
extern TUnit LumLXUtilsUnit;

// ---- Files and folders (Win32) ----

/// The name of the path's last element as the file system stores it (long, in its letter
/// case); the path unchanged when nothing of that name is found. A name with wildcards is
/// not looked up.
std::u16string LongName(const std::u16string& path);

/// The full path with every element in its stored long form, from the root down; elements
/// that do not exist keep the name given. Empty for an empty path; a root unchanged. Raises
/// EOSError when the full path cannot be formed.
std::u16string LongPath(const std::u16string& path);

/// The program's own module file name.
std::u16string OwnFileName();

/// Deletes the file or folder (with its contents) through the shell's file operation, owned
/// by the application window, with the flags (FOF_*) and the progress title. A failure or a
/// cancellation raises the silent abort, as does an empty path.
void DeleteThroughShell(const std::u16string& path, std::uint16_t flags,
                        const std::u16string& progressTitle);

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

/// The full path of the library that the loader finds for `moduleName` (e.g. "wininet") in
/// the program's folder, then the system folder, never the current folder; empty when there
/// is none. The library is mapped without resolving its references or running its
/// initialisation, and freed again. Raises EOSError when the mapped library's file name cannot
/// be obtained.
std::u16string GetModulePath(const std::u16string& moduleName);

// ---- Random numbers (Win32) ----

/// A random value over the whole signed 32-bit range from the system's cryptographic random
/// source (SystemRandomBytes, toolkit/win/LumRandomWin.h), so that names made from it cannot be
/// foreseen by another process. Raises EOSError when the system gives no random bytes.
std::int32_t RandomNumber();

/// What RandomNumber answers instead of the system's source (tests substitute a known
/// sequence).
using TRandomSource = std::function<std::int32_t()>;

/// Makes RandomNumber answer the source's values; an empty source gives the system's back.
/// Returns the source that was in place.
TRandomSource SetRandomSource(TRandomSource source);

// ---- Temporary files and folders (Win32) ----
// Names carry 128 random bits: four RandomNumber values, each as eight upper-case hexadecimal
// digits. Each item is created new (a name that is taken, by a file, a folder or a link, is
// given up for another), and after at most TempNameTries names ELumGeneralError "No unused
// temporary name in %s after %d tries" is raised with the folder. An item reached through a
// link (the opened item's final path is not its folder's final path and its name) is deleted
// again and its name counts as taken. The clean-up deletes only the very files and folders
// this process created (the same file system object, checked through an opened handle), and
// deletes a folder's contents without following any link or junction in it: such a link is
// left, and the folder with it.

/// How many names are tried before a new temporary item is given up.
inline constexpr int TempNameTries = 10;

/// Names the user's temporary folder as a folder of NewTempFileName.
inline constexpr std::u16string_view TempPathMarker = u"**WideGetTempPath**";

/// The system's temporary folder, normally ending in a backslash. Raises EOSError when the
/// system has none.
std::u16string TempPath();

/// Creates a new, empty folder "Temp<32 hexadecimal digits>\" under TempPath (made with its
/// parents when missing), records it for deletion at the unit's last stop and returns it
/// (ending in a backslash). Raises ELumGeneralError "Could not create %s" when it cannot be
/// created, the "No unused temporary name" error when every name tried is taken, and
/// ELumInternalError "Internal Error: GarbageCollectedFolderList not assigned." while the unit
/// is stopped.
std::u16string NewGarbageCollectedFolder();

/// Creates a new, empty file folder + prefix + "-" + 32 hexadecimal digits + suffix and returns
/// its name; the caller writes it. The folder (TempPathMarker, exactly so, for TempPath) is
/// created with its parents as by ForceDirectoriesWithMessage. Nothing is recorded. Raises
/// ELumGeneralError "Could not create %s" with the file's name when the system refuses it, and
/// the "No unused temporary name" error when every name tried is taken.
std::u16string NewTempFileName(std::u16string_view suffix, std::u16string_view folder,
                               std::u16string_view prefix);

/// NewTempFileName(suffix, TempPathMarker, "tmp"), recorded for deletion at the unit's last
/// stop. Raises ELumInternalError "Internal Error: GarbageCollectedFileList not assigned."
/// while the unit is stopped (before any file is created).
std::u16string NewGarbageCollectedFileName(std::u16string_view suffix);

/// Deletes a recorded folder with its contents and forgets it; never raises. A folder that is
/// not recorded, or that is no longer the one this process created, is left alone; one that
/// cannot be deleted completely stays on disk and recorded.
void DeleteGarbageCollectedFolder(const std::u16string& path);

/// Deletes every recorded folder, last first, and empties the list. Raises the "not assigned"
/// error while the unit is stopped.
void CleanUpGarbageCollectedFolders();

/// Deletes every recorded file that is still the one this process created and can be deleted
/// (a read-only one too), first first, and empties the list. Raises the "not assigned" error
/// while the unit is stopped.
void CleanUpGarbageCollectedFiles();

// ---- COM servers (Win32) ----

/// GetInprocServerPath (LumLXUtilsWin.h) of the ProgID's class; empty when the ProgID is
/// not registered.
std::u16string GetProgIDServerPath(const std::u16string& progId);

/// The file version of the ProgID's in-process server (found as GetInprocServerPath says: a
/// path without folder is looked for in the system folder, never the current one); 0 when the
/// path is empty or no file is there.
TVersionNumber GetProgIDVersion(const std::u16string& progId);

// ---- Office (Win32) ----

/// The "Path" value of the key Software\Microsoft\Office\<version>\<app>\InstallRoot under
/// HKEY_LOCAL_MACHINE (a folder ending with a backslash), a REG_EXPAND_SZ value expanded;
/// empty when there is none or the value holds no text.
std::u16string GetOfficeInstallRoot(std::u16string_view officeVersion, std::u16string_view app);

/// The first of "11.0", "10.0", "9.0" whose install root of the application, a full path,
/// holds the executable; empty when none does.
std::u16string GetOfficeVersion(std::u16string_view app, std::u16string_view exeName);

/// The installed Office version of each application (indexed by TOfficeApps), found at the
/// unit's first start; empty texts while it is stopped.
const std::array<std::u16string, OfficeAppCount>& OfficeVersions();

/// True where OfficeVersions holds a version.
const std::array<bool, OfficeAppCount>& OfficeInstalled();

// ---- Operating system descriptions (Win32) ----

/// OSVersionText of the version the system reports.
std::u16string GetOSVersionString();

/// The file version of the kernel32 library the system loads; `productName` receives its
/// "ProductName" string. 0 and an empty name when it cannot be found.
TVersionNumber GetKernelVersion(std::u16string& productName);

// ---- System queries (Win32) ----

/// True outside the NT family. On NT whether the thread's access token (else the process's)
/// holds the built-in Administrators group, enabled or not; false when the token cannot be
/// opened or read.
bool UserIsAdministrator();

/// Whether the key is held down now (a press since the last query alone does not count).
bool KeyIsDown(int virtualKey);

/// The locale's text for the item (LOCALE_*); "???" when the system has none.
std::u16string LocaleText(std::uint32_t locale, std::uint32_t item);

/// English language name + " (" + English country name + ")", e.g. "German (Germany)".
std::u16string LocaleDisplayName(std::uint32_t locale);

// ---- Shell execution (Win32) ----

/// ShellExec with the verb "open", owned by the application window.
void ShellOpen(const std::u16string& file, const std::u16string& parameters,
               const std::u16string& directory, int showCommand);

// ---- Component probes: installed versions, 0 when absent (Win32) ----

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
