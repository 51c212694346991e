#include "app/CheckWinInetAndAdo.h"

#include "lib/LumLX/LumLXUtils.h"
#include "rstr/CheckWinInetAndAdo.h"
#include "rstr/LumLXUtils.h"
#include "toolkit/LumFormat.h"
#include "toolkit/LumForms.h"
#include "toolkit/LumStringList.h"
#include "toolkit/LumStrings.h"

#include <memory>

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
    {&CheckWinInetAndAdo::SSqlDmoDesc, u"SQL-DMO", 0x07CE000B, kNoLimit, u"LumSqlDmoSetup.exe",
     u"", 0, 0, &GetSqlDmoVersion},
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

std::u16string OwnExecutable() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return FromWinStr(path, length);
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
    RegisterReportModule(OwnExecutable());
    for (size_t i = 0; i < NeededCompCount; ++i) {
        table[i].InstalledVersion = kEntries[i].Probe();
    }
    CopyMajorMinor();
}

void Stop() {
    reportModules.reset();
    for (TNeededComp& comp : table) {
        comp = TNeededComp();
    }
}

} // namespace

TUnit CheckWinInetAndAdoUnit("CheckWinInetAndAdo", &Start, &Stop);

std::array<TNeededComp, NeededCompCount>& NeededComps() { return table; }

bool CheckNeededComps(std::uint16_t mask) {
    for (size_t i = 0; i < NeededCompCount; ++i) {
        const TNeededComp& comp = table[i];
        if ((mask & (1u << i)) && comp.InstalledMajorMinor < comp.Required) {
            std::u16string format = LoadResString(LumLXUtils::SProgramRequires) + u"\r\n" +
                                    LoadResString(LumLXUtils::SWhereToDownload);
            ShowMessage(Format(format, comp.Name,
                               AnsiToWide(comp.DownloadLocation) + comp.DownloadFile));
            return false;
        }
    }
    return true;
}

void RegisterReportModule(const std::u16string& path) {
    if (reportModules->IndexOf(path) < 0) {
        reportModules->Add(path);
    }
}

const TLumStringList& ReportModules() { return *reportModules; }
