// The prerequisite table, the check that names what is missing, and the report's module list.

#include "app/CheckWinInetAndAdo.h"

#include "lib/LumLX/LumLXUtils.h"
#include "tests/support/LumTestUnits.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &CheckWinInetAndAdoUnit};

class Prerequisites : public TUnitsTest<kUnits> {
  protected:
    void SetUp() override { saved_ = NeededComps(); }
    void TearDown() override { NeededComps() = saved_; }

    // Pretends a component is installed in a major/minor version.
    static void Installed(size_t index, std::int32_t majorMinor) {
        NeededComps()[index].InstalledMajorMinor = majorMinor;
    }

    // Runs the check, answering its message box; the answered boxes.
    static std::vector<TAnsweredBox> Check(std::uint16_t mask, bool expected) {
        TMessageBoxAnswerer answerer;
        EXPECT_EQ(CheckNeededComps(mask), expected);
        return answerer.Answered();
    }

    std::array<TNeededComp, NeededCompCount> saved_;
};

} // namespace

TEST_F(Prerequisites, TableHoldsEveryEntry) {
    const auto& t = NeededComps();
    const char16_t* keys[] = {u"IE",      u"MAPI", u"CAPICOM",  u"MDAC",     u"JET",     u"DAO",
                              u"SQL-DMO", u"CRPE", u"CRPE-SQL", u"CRPE-UFL", u"CRPE-XLS"};
    const std::int32_t required[] = {0x00050000, 0x00010000, 0x00020000, 0x00020032,
                                     0x00040000, 0x0003003C, 0x07CE000B, 0x00080005,
                                     0x00080005, 0x00080000, 0x00080005};
    for (size_t i = 0; i < NeededCompCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(t[i].Key, keys[i]);
        EXPECT_EQ(t[i].Required, required[i]);
        EXPECT_EQ(t[i].InstalledMajorMinor, static_cast<std::int32_t>(t[i].InstalledVersion >> 32));
    }
    EXPECT_EQ(t[0].Name, "Internet Explorer 5.0 or newer");
    EXPECT_EQ(t[2].Name, "Microsoft CryptoAPI for COM 2.0");
    EXPECT_EQ(t[10].Name, "Seagate Crystal Reports XLS Support");
    EXPECT_EQ(t[4].Maximum, 0x00040000);
    EXPECT_EQ(t[5].Maximum, 0x0003003C);
    EXPECT_EQ(t[0].Maximum, 0x7FFFFFFF);
    EXPECT_EQ(t[1].DownloadLocation, "your Windows CD.");
    EXPECT_TRUE(t[1].DownloadFile.empty());
    // Entries with a download file are on the maker's download page.
    for (size_t i = 2; i < NeededCompCount; ++i) {
        EXPECT_EQ(t[i].DownloadLocation, DownloadPrefix);
        EXPECT_EQ(t[i].DownloadFile.substr(t[i].DownloadFile.size() - 4), u".exe");
    }
    EXPECT_EQ(t[3].DownloadFile, t[4].DownloadFile);
    EXPECT_EQ(t[7].DownloadFile, t[10].DownloadFile);
    EXPECT_EQ(t[3].InstallParams, u"/q /c:\"dasetup.exe /q /n\"");
    EXPECT_EQ(t[8].InstallParams, u"/s /v/f /v/qr");
    EXPECT_EQ(t[9].Flag, 1u);
    EXPECT_EQ(t[9].ExitCode, 3010u);
    EXPECT_EQ(t[2].Flag, 0u);
    // The prefix's browser library is recent enough.
    EXPECT_GE(t[0].InstalledMajorMinor, 0x00050000);
}

TEST_F(Prerequisites, NothingSelectedOrNothingMissingPasses) {
    for (auto& comp : NeededComps()) {
        comp.InstalledMajorMinor = 0;
    }
    EXPECT_TRUE(Check(0, true).empty());
    // Bits 11 to 15 select no entry.
    EXPECT_TRUE(Check(0xF800, true).empty());
    Installed(0, 0x00060000);
    EXPECT_TRUE(Check(1, true).empty());
}

TEST_F(Prerequisites, MissingBrowserIsNamedWithWhereToGetIt) {
    Installed(0, 0);
    auto boxes = Check(1, false);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text,
              u"This program requires Internet Explorer 5.0 or newer.\r\n"
              u"You can download it from http://www.microsoft.com/windows/ie/downloads/");
    EXPECT_EQ(boxes[0].Caption, Application()->Title());
}

TEST_F(Prerequisites, OnlyTheFirstMissingEntryIsNamed) {
    Installed(1, 0);
    Installed(2, 0);
    auto boxes = Check(0x0006, false);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, u"This program requires Windows Messaging (mapi32.dll).\r\n"
                             u"You can download it from your Windows CD.");

    boxes = Check(0x0004, false);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, u"This program requires Microsoft CryptoAPI for COM 2.0.\r\n"
                             u"You can download it from " +
                                 AsciiToWide(DownloadPrefix) + NeededComps()[2].DownloadFile);
}

TEST_F(Prerequisites, OnlyMajorAndMinorCount) {
    Installed(5, 0x00030033); // DAO 3.51 is below 3.60
    EXPECT_EQ(Check(1u << 5, false).size(), 1u);
    Installed(4, 0x00040000); // Jet 4.0 passes although it is also the maximum
    EXPECT_TRUE(Check(1u << 4, true).empty());
    Installed(2, 0x00020000); // CAPICOM 2.0.0.1 would count as 2.0
    EXPECT_TRUE(Check(1u << 2, true).empty());
}

TEST_F(Prerequisites, ReportModulesStartWithTheProgramAndIgnoreCase) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_GE(ReportModules().Count(), 1);
    EXPECT_EQ(ReportModules().Strings(0), FromWinStr(self));
    int count = ReportModules().Count();
    RegisterReportModule(AsciiUpperCase(FromWinStr(self)));
    EXPECT_EQ(ReportModules().Count(), count);
    RegisterReportModule(u"C:\\windows\\system32\\kernel32.dll");
    EXPECT_EQ(ReportModules().Count(), count + 1);
}

namespace {

// The line's position in the block, or -1.
int Find(const TLumStringList& lines, std::u16string_view prefix, int from = 0) {
    for (int i = from; i < lines.Count(); ++i) {
        if (lines.Strings(i).substr(0, prefix.size()) == prefix) {
            return i;
        }
    }
    return -1;
}

} // namespace

TEST_F(Prerequisites, SystemInformationBlockInItsOrder) {
    TLumStringList lines;
    lines.Add(u"left over");
    AddSystemInfo(lines);
    const std::u16string separator(37, u'-');
    ASSERT_GE(lines.Count(), 20);
    EXPECT_EQ(lines.Strings(0).substr(0, 16), u"CheckWinInetAndA");
    int os = Find(lines, u"OS = NT ");
    ASSERT_GT(os, 0);
    EXPECT_EQ(lines.Strings(os - 1), separator);
    const std::u16string_view order[] = {u"Kernel = ",
                                         u"Administrator = True",
                                         u"Computer Name = ",
                                         u"System Locale ID = 1033: English (",
                                         u"ANSI Code Page = 1252,  ISO 8859-1,  Latin 1 (ANSI)",
                                         u"System Time = ",
                                         u"-------",
                                         u"Total Physical Memory: ",
                                         u"Avail Physical Memory: ",
                                         u"Memory Load: ",
                                         u"-------",
                                         u"Total Windows HD Space (C:) = ",
                                         u"Free Windows HD Space = ",
                                         u"-------",
                                         u"IE\t(",
                                         u"MAPI\t(",
                                         u"CAPICOM\t(",
                                         u"CRPE-XLS\t(",
                                         u"-------",
                                         u"Word=",
                                         u"Excel=",
                                         u"Outlook=",
                                         u"Access=",
                                         u"-------"};
    int at = os;
    for (std::u16string_view prefix : order) {
        SCOPED_TRACE(WideToUtf8(std::u16string(prefix)));
        int found = Find(lines, prefix, at + 1);
        ASSERT_GT(found, at);
        at = found;
    }
    EXPECT_EQ(at, lines.Count() - 1);
    EXPECT_EQ(Find(lines, u"User Locale ID = "), -1) << "same locale for user and system";
    EXPECT_EQ(Find(lines, u"left over"), -1);
    // The MAPI line names the library's maker.
    std::u16string mapi = lines.Strings(Find(lines, u"MAPI\t("));
    EXPECT_EQ(mapi.substr(mapi.find(u")   (")), u")   (" + GetMapiCompanyName() + u")");
    EXPECT_EQ(Find(lines, u"RpaWInet.dll"), -1);
}

TEST_F(Prerequisites, DialUpLibraryOfAKnownBadVersionIsWarnedAbout) {
    // The library beside the test executable is what the library search finds first.
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::u16string folder = FromWinStr(self);
    folder.resize(folder.rfind(u'\\'));
    std::u16string copy = folder + u"\\rpawinet.dll";
    ASSERT_TRUE(CopyFileW(WinStr(folder + u"\\..\\standin\\rpawinet.dll"), WinStr(copy), FALSE));
    TLumStringList lines;
    AddSystemInfo(lines);
    DeleteFileW(WinStr(copy));
    int line = Find(lines, u"RpaWInet.dll\t(3.13.0.7)   (CompuServe");
    ASSERT_GT(line, 0);
    EXPECT_EQ(lines.Strings(line + 1),
              u"Warning: your version of RpaWInet.dll is known to be unstable.");
}

TEST_F(Prerequisites, MemoryFiguresBeyondFourGigabytes) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    ASSERT_TRUE(GlobalMemoryStatusEx(&status));
    TLumStringList lines;
    AddSystemInfo(lines);
    int total = Find(lines, u"Total Physical Memory: ");
    ASSERT_GE(total, 0);
    // The whole machine, also where that is more than a 32-bit figure holds.
    EXPECT_EQ(lines.Strings(total), u"Total Physical Memory: " +
                                        AsciiToWide(std::to_string(status.ullTotalPhys >> 20)) +
                                        u" MB");
    std::u16string avail = lines.Strings(total + 1);
    ASSERT_TRUE(avail.starts_with(u"Avail Physical Memory: "));
    EXPECT_GT(std::stoull(WideToUtf8(avail.substr(23))), 0u);
}

TEST_F(Prerequisites, AReportModuleDeletedSinceShowsAsNotInstalled) {
    std::u16string path = TempPath() + u"LumGoneReportModule.dll";
    ASSERT_TRUE(CopyFileW(WinStr(GetSystemDir() + u"\\kernel32.dll"), WinStr(path), FALSE));
    RegisterReportModule(path);
    TLumStringList lines;
    AddSystemInfo(lines);
    EXPECT_GE(Find(lines, u"LumGoneReportModule: "), 0);
    EXPECT_EQ(Find(lines, u"LumGoneReportModule: (Not Installed)"), -1);
    DeleteFileW(WinStr(path));
    AddSystemInfo(lines);
    EXPECT_GE(Find(lines, u"LumGoneReportModule: (Not Installed)"), 0);
}
