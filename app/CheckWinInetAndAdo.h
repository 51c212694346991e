#pragma once
// The table of shared components that programs of the maker may need, with the lowest good
// version of each and where to get it; the check that tells the user what is missing; and the
// list of modules whose versions error reports name first.

#include "lib/LumLX/LumLXVerUtils.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/base/LumWin.h"

#include <array>
#include <cstdint>
#include <string>

class TLumStringList;

struct TNeededComp {
    /// Display name (a resource string), ANSI.
    std::string Name;
    /// Short key shown in reports.
    std::u16string Key;
    /// Upper 32 bits of the installed version (major high, minor low); 0 when absent.
    std::int32_t InstalledMajorMinor = 0;
    TVersionNumber InstalledVersion = 0;
    /// Lowest acceptable major/minor, packed the same way.
    std::int32_t Required = 0;
    /// Highest listed major/minor; 0x7FFFFFFF means no limit.
    std::int32_t Maximum = 0;
    /// Where the component can be obtained, ANSI.
    std::string DownloadLocation;
    /// File name appended to the download location; may be empty.
    std::u16string DownloadFile;
    /// Command-line switches of the download file; may be empty.
    std::u16string InstallParams;
    std::uint32_t Flag = 0;
    std::uint32_t ExitCode = 0;
};

constexpr std::size_t NeededCompCount = 11;

/// The table, filled with the installed versions when the unit starts.
std::array<TNeededComp, NeededCompCount>& NeededComps();

/// True when every entry selected by the mask (bit i selects entry i) is installed in a
/// sufficient major/minor version. Otherwise the first failing entry is named to the user in
/// the plain message box, with where to download it, and the answer is false.
bool CheckNeededComps(std::uint16_t mask);

/// The message CheckNeededComps shows for the mask: the first failing entry with where to
/// download it; empty when every selected entry is good enough.
std::u16string NeededCompsMessage(std::uint16_t mask);

/// The web address of the maker's download folder, ending in "/".
extern const char DownloadPrefix[];

/// Adds a file path to the modules reports name first, unless the list holds it already
/// (compared without regard to case).
void RegisterReportModule(const std::u16string& path);
/// The registered module paths, the program's own executable first.
const TLumStringList& ReportModules();

/// The system information block of error reports: the report modules with their versions,
/// the operating system, user and locale, memory and disk space, the installed versions of
/// the table's components, the dial-up library warning and the Office versions. The list is
/// cleared first; lines added before an exception stay in it.
void AddSystemInfo(TLumStringList& lines);

/// Starts: fills the table (names, places, installed versions), registers the program's
/// executable as the first report module and makes AddSystemInfo the exception dialog's system
/// information hook. Stops: puts back the hook it replaced and releases the table's texts and
/// the list.
extern TUnit CheckWinInetAndAdoUnit;
