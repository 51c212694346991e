#include "app/CheckWinInetAndAdo.h"

#include "errors/LumExceptLogWin.h"
#include "errors/LumExceptReportWin.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgExceptDlg.h"
#include "rstr/CheckWinInetAndAdo.h"
#include "rstr/LumLXUtils.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumProgram.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>

#include <memory>
#include <utility>

const char DownloadPrefix[] = "https://downloads.lum-software.example/components/";

namespace {

constexpr std::int32_t kNoLimit = 0x7FFFFFFF;

struct Entry {
    const TResStringRec* Name;
    const char16_t* Key;
    std::int32_t Required;
    std::int32_t Maximum;
    const char16_t* DownloadFile;
    const char16_t* InstallParams;
    std::uint32_t Flag;
    std::uint32_t ExitCode;
    TVersionNumber (*Probe)();
};

constexpr const char16_t* kDataAccessParams = u"/q /c:\"dasetup.exe /q /n\"";
constexpr const char16_t* kReportParams = u"/s /v/f /v/qr";

const Entry kEntries[NeededCompCount] = {
    {&LumLXUtils::SIE5orNewer, u"IE", 0x00050000, kNoLimit, u"", u"", 0, 0, &GetWinInetVersion},
    {&CheckWinInetAndAdo::SMapiDesc, u"MAPI", 0x00010000, kNoLimit, u"", u"", 0, 0,
     &GetMapiVersion},
    {&CheckWinInetAndAdo::SCapiComDesc, u"CAPICOM", 0x00020000, kNoLimit, u"LumCapicomSetup.exe",
     u"", 0, 0, &GetCapicomVersion},
    {&CheckWinInetAndAdo::SMdacDesc, u"MDAC", 0x00020032, kNoLimit, u"LumDataAccessSetup.exe",
     kDataAccessParams, 1, 3010, &GetMdacVersion},
    {&CheckWinInetAndAdo::SJetDesc, u"JET", 0x00040000, 0x00040000, u"LumDataAccessSetup.exe",
     kDataAccessParams, 1, 3010, &GetJetVersion},
    {&CheckWinInetAndAdo::SDaoDesc, u"DAO", 0x0003003C, 0x0003003C, u"LumDaoSetup.exe", u"", 0, 0,
     &GetDaoVersion},
    {&CheckWinInetAndAdo::SSqlDmoDesc, u"SQL-DMO", 0x07CE000B, kNoLimit, u"LumSqlDmoSetup.exe", u"",
     0, 0, &GetSqlDmoVersion},
    {&CheckWinInetAndAdo::SCrystal, u"CRPE", 0x00080005, kNoLimit, u"LumReportRuntimeSetup.exe",
     kReportParams, 1, 3010, &GetCrystalVersion},
    {&CheckWinInetAndAdo::SCrystalSQL, u"CRPE-SQL", 0x00080005, kNoLimit,
     u"LumReportRuntimeSetup.exe", kReportParams, 1, 3010, &GetCrystalOleDbVersion},
    {&CheckWinInetAndAdo::SCrystalUFL, u"CRPE-UFL", 0x00080000, kNoLimit,
     u"LumReportRuntimeSetup.exe", kReportParams, 1, 3010, &GetCrystalUflVersion},
    {&CheckWinInetAndAdo::SCrystalXLS, u"CRPE-XLS", 0x00080005, kNoLimit,
     u"LumReportRuntimeSetup.exe", kReportParams, 1, 3010, &GetCrystalXlsVersion},
};

std::array<TNeededComp, NeededCompCount> table;
std::unique_ptr<TLumStringList> reportModules;
// The system information builder before this module started, put back when it stops.
TSystemInfoHook replacedSystemInfoHook = nullptr;

// Entries with a download file are on the maker's download page.
void SetDownloadPrefix() {
    for (TNeededComp& comp : table) {
        if (!comp.DownloadFile.empty()) {
            comp.DownloadLocation = DownloadPrefix;
        }
    }
}

void CopyMajorMinor() {
    for (TNeededComp& comp : table) {
        comp.InstalledMajorMinor = static_cast<std::int32_t>(comp.InstalledVersion >> 32);
    }
}

// A name the system may fail to give stays empty in the block.
std::u16string TextOrEmpty(std::u16string (*query)()) {
    try {
        return query();
    } catch (const EOSError&) {
        return {};
    }
}

void Start() {
    for (size_t i = 0; i < NeededCompCount; ++i) {
        const Entry& e = kEntries[i];
        TNeededComp& comp = table[i];
        comp = TNeededComp();
        comp.Name = WideToAnsi(LoadResString(*e.Name));
        comp.Key = e.Key;
        comp.Required = e.Required;
        comp.Maximum = e.Maximum;
        comp.DownloadFile = e.DownloadFile;
        comp.InstallParams = e.InstallParams;
        comp.Flag = e.Flag;
        comp.ExitCode = e.ExitCode;
    }
    table[0].DownloadLocation = WideToAnsi(LoadResString(LumLXUtils::SIEWebLink));
    table[1].DownloadLocation = WideToAnsi(LoadResString(CheckWinInetAndAdo::SMapiWebLink));
    SetDownloadPrefix();
    reportModules = std::make_unique<TLumStringList>();
    RegisterReportModule(OwnModuleFileName());
    for (size_t i = 0; i < NeededCompCount; ++i) {
        table[i].InstalledVersion = kEntries[i].Probe();
        TraceStartup(WideToAnsi(u"probe " + std::u16string(kEntries[i].Key)));
    }
    CopyMajorMinor();
    replacedSystemInfoHook = SetSystemInfoHook(&AddSystemInfo);
}

const char16_t kSeparator[] = u"-------------------------------------";

void Stop() {
    SetSystemInfoHook(std::exchange(replacedSystemInfoHook, nullptr));
    reportModules.reset();
    for (TNeededComp& comp : table) {
        comp = TNeededComp();
    }
}

} // namespace

TUnit CheckWinInetAndAdoUnit("CheckWinInetAndAdo", &Start, &Stop);

std::array<TNeededComp, NeededCompCount>& NeededComps() {
    return table;
}

bool CheckNeededComps(std::uint16_t mask) {
    std::u16string message = NeededCompsMessage(mask);
    if (message.empty()) {
        return true;
    }
    ShowMessage(message);
    return false;
}

std::u16string NeededCompsMessage(std::uint16_t mask) {
    for (size_t i = 0; i < NeededCompCount; ++i) {
        const TNeededComp& comp = table[i];
        if ((mask & (1u << i)) && comp.InstalledMajorMinor < comp.Required) {
            std::u16string format = LoadResString(LumLXUtils::SProgramRequires) + u"\r\n" +
                                    LoadResString(LumLXUtils::SWhereToDownload);
            return Format(format, comp.Name, AnsiToWide(comp.DownloadLocation) + comp.DownloadFile);
        }
    }
    return {};
}

void RegisterReportModule(const std::u16string& path) {
    if (reportModules->IndexOf(path) < 0) {
        reportModules->Add(path);
    }
}

const TLumStringList& ReportModules() {
    return *reportModules;
}

void AddSystemInfo(TLumStringList& lines) {
    lines.Clear();
    for (int i = 0; i < reportModules->Count(); ++i) {
        const std::u16string& path = reportModules->Strings(i);
        std::u16string name = FileNameWithoutExtension(path);
        lines.Add(FileExists(path)
                      ? name + u": " + VersionToStr(vfShortRelease, GetFileVersion(path))
                      : name + u": (Not Installed)");
    }
    lines.Add(kSeparator);
    // The system the program runs on, not the older one it is told of for want of a manifest
    // that names the newer ones.
    const TOSVersion os = RunningOSVersion();
    lines.Add(u"OS = " +
              OSVersionText(os.PlatformId, os.Major, os.Minor, os.Build, os.ServicePack));
    std::u16string kernelProduct;
    TVersionNumber kernel = GetKernelVersion(kernelProduct);
    lines.Add(u"Kernel = " + VersionToStr(vfFull, kernel) + u" (" + kernelProduct + u")");
    if (OSVersion().IsNT()) {
        lines.Add(std::u16string(u"Administrator = ") +
                  (UserIsAdministrator() ? u"True" : u"False"));
    }
    lines.Add(u"Computer Name = " + TextOrEmpty(&ComputerName) + u" (" + TextOrEmpty(&UserName) +
              u")");
    LCID systemLocale = GetSystemDefaultLCID();
    LCID userLocale = GetUserDefaultLCID();
    lines.Add(Format(u"System Locale ID = %u: %s", systemLocale, LocaleDisplayName(systemLocale)));
    if (userLocale != systemLocale) {
        lines.Add(Format(u"User Locale ID = %u: %s", userLocale, LocaleDisplayName(userLocale)));
    }
    try {
        wchar_t sortName[255];
        int length = GetLocaleInfoW(userLocale, 0x1013, sortName, 255);
        if (length <= 0) {
            RaiseLastOSError();
        }
        lines.Add(u"Sort Order = " + FromWinStr(sortName, static_cast<size_t>(length - 1)));
    } catch (const Exception&) {
        // The sort order is the one line a system may not be able to give.
    }
    lines.Add(Format(u"ANSI Code Page = %u,  %s", GetACP(), CodePageIsoName(GetACP())));
    lines.Add(u"System Time = " + NowText());
    lines.Add(kSeparator);
    // The 64-bit figures: the older call's stop at 2 or 4 GB in a 32-bit process.
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory)) {
        memory = MEMORYSTATUSEX{};
    }
    lines.Add(Format(u"Total Physical Memory: %d MB", memory.ullTotalPhys >> 20));
    lines.Add(Format(u"Avail Physical Memory: %d MB", memory.ullAvailPhys >> 20));
    lines.Add(Format(u"Memory Load: %d%%", static_cast<int>(memory.dwMemoryLoad)));
    lines.Add(kSeparator);
    std::u16string drive = GetWindowsDir().substr(0, 2);
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!GetDiskFreeSpaceW(WinStr(drive + u"\\"), &sectorsPerCluster, &bytesPerSector,
                           &freeClusters, &totalClusters)) {
        sectorsPerCluster = bytesPerSector = freeClusters = totalClusters = 0;
    }
    lines.Add(Format(u"Total Windows HD Space (%s) = %d MB", drive,
                     MegaBytes(totalClusters, sectorsPerCluster, bytesPerSector)));
    lines.Add(Format(u"Free Windows HD Space = %d MB",
                     MegaBytes(freeClusters, sectorsPerCluster, bytesPerSector)));
    lines.Add(kSeparator);
    for (size_t i = 0; i < NeededCompCount; ++i) {
        std::u16string line =
            table[i].Key + u"\t(" + VersionToStr(vfFull, table[i].InstalledVersion) + u")";
        if (i == 1) {
            line += u"   (" + GetMapiCompanyName() + u")";
        }
        lines.Add(line);
    }
    std::u16string company;
    TVersionNumber rpa = GetRpaWInetVersion(company);
    if (rpa != 0) {
        lines.Add(u"RpaWInet.dll\t(" + VersionToStr(vfFull, rpa) + u")   (" + company + u")");
    }
    constexpr std::u16string_view kUnstableVendor = u"CompuServe";
    if (rpa < MakeVersion(3, 14, 0, 0) && company.size() >= kUnstableVendor.size() &&
        SameAsciiText(company.substr(0, kUnstableVendor.size()), kUnstableVendor)) {
        lines.Add(u"Warning: your version of RpaWInet.dll is known to be unstable.");
    }
    lines.Add(kSeparator);
    for (std::size_t app = 0; app < OfficeAppCount; ++app) {
        lines.Add(std::u16string(OfficeAppName(static_cast<TOfficeApps>(app))) + u"=" +
                  OfficeVersions()[app]);
    }
    lines.Add(kSeparator);
}
