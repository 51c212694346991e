// The report's tables and lines, and the texts of the log and error files.

#include "errors/LumExceptReport.h"
#include "errors/LumExceptLog.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ExceptReport, OperatingSystemNames) {
    struct Case {
        std::uint32_t platform, major, minor;
        const char* servicePack;
        std::uint32_t kernel;
        const char* name;
    };
    const Case cases[] = {
        {1, 4, 0, "", 0, "Windows 95"},
        {1, 4, 0, " B ", 0, "Windows 95 OSR2"},
        {1, 4, 10, "", 0x0004000A, "Windows 98"},
        {1, 4, 10, " A ", 0x0004000A, "Windows 98 SE"},
        {1, 4, 10, "", 0x0004005A, "Windows ME"}, // a 98 version number with ME's kernel
        {1, 4, 90, "", 0, "Windows ME"},
        {1, 4, 95, "", 0, ""},
        {2, 3, 51, "", 0, "Windows NT 3.51"},
        {2, 3, 10, "", 0, "Windows NT 3.10"},
        {2, 4, 0, "Service Pack 6", 0, "Windows NT 4.0"},
        {2, 5, 0, "", 0, "Windows 2000"},
        {2, 5, 1, "Service Pack 2", 0, "Windows XP"},
        {0, 3, 10, "", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OSName(c.platform, c.major, c.minor, c.servicePack, c.kernel), c.name);
    }
}

TEST(ExceptReport, OperatingSystemNamesAfterXP) {
    struct Case {
        std::uint32_t major, minor, build;
        bool server, r2;
        const char* name;
    };
    const Case cases[] = {
        {5, 2, 3790, false, false, "Windows XP x64 Edition"},
        {5, 2, 3790, true, false, "Windows Server 2003"},
        {5, 2, 3790, true, true, "Windows Server 2003 R2"},
        {6, 0, 6002, false, false, "Windows Vista"},
        {6, 0, 6003, true, false, "Windows Server 2008"},
        {6, 1, 7601, false, false, "Windows 7"},
        {6, 1, 7601, true, false, "Windows Server 2008 R2"},
        {6, 2, 9200, false, false, "Windows 8"},
        {6, 2, 9200, true, false, "Windows Server 2012"},
        {6, 3, 9600, false, false, "Windows 8.1"},
        {6, 3, 9600, true, false, "Windows Server 2012 R2"},
        {10, 0, 19045, false, false, "Windows 10"},
        {10, 0, 21999, false, false, "Windows 10"},
        {10, 0, 22000, false, false, "Windows 11"},
        {10, 0, 26100, false, false, "Windows 11"},
        {10, 0, 14393, true, false, "Windows Server 2016"},
        {10, 0, 17763, true, false, "Windows Server 2019"},
        {10, 0, 20348, true, false, "Windows Server 2022"},
        {10, 0, 26100, true, false, "Windows Server 2025"},
        // Versions nobody knows yet stay unnamed rather than wrongly named.
        {6, 4, 9841, false, false, ""},
        {11, 0, 30000, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor) + "." +
                     std::to_string(c.build));
        EXPECT_EQ(OSName(2, c.major, c.minor, "", 0, c.build, c.server, c.r2), c.name);
    }
    // The 9x family knows nothing of servers or builds.
    EXPECT_EQ(OSName(1, 4, 90, "", 0, 3000, true, true), "Windows ME");
}

namespace {

TProductFacts Facts(std::uint32_t major, std::uint32_t minor, int servicePack, bool workstation) {
    TProductFacts facts;
    facts.Major = major;
    facts.Minor = minor;
    facts.ServicePackLevel = servicePack;
    facts.HasExtendedInfo = true;
    facts.Workstation = workstation;
    return facts;
}

} // namespace

TEST(ExceptReport, ProductTypes) {
    TProductFacts nt4 = Facts(4, 0, 6, true);
    EXPECT_EQ(ProductType(nt4), "Workstation");
    nt4.Workstation = false;
    EXPECT_EQ(ProductType(nt4), "Server");
    // Before service pack 6 the registry decides.
    TProductFacts nt4sp5 = Facts(4, 0, 5, false);
    nt4sp5.RegistryProductType = "lanmannt";
    EXPECT_EQ(ProductType(nt4sp5), "Server");
    TProductFacts w2k = Facts(5, 0, 0, false);
    w2k.Datacenter = true;
    EXPECT_EQ(ProductType(w2k), "Datacenter Server");
    w2k.Datacenter = false;
    w2k.Enterprise = true;
    EXPECT_EQ(ProductType(w2k), "Advanced Server");
    w2k.Enterprise = false;
    EXPECT_EQ(ProductType(w2k), "Server");
    w2k.Workstation = true;
    EXPECT_EQ(ProductType(w2k), "Professional");
    TProductFacts xp = Facts(5, 1, 0, true);
    xp.Personal = true;
    EXPECT_EQ(ProductType(xp), "Home Edition");
    xp.Personal = false;
    EXPECT_EQ(ProductType(xp), "Professional");
    TProductFacts registryOnly;
    for (auto [value, type] : {std::pair{"WINNT", "Workstation"},
                               {"ServerNT", "Advanced Server"},
                               {"LANMANNT", "Server"},
                               {"Other", ""}}) {
        registryOnly.RegistryProductType = value;
        EXPECT_EQ(ProductType(registryOnly), type) << value;
    }
    // From Windows Server 2003 on.
    TProductFacts server2003 = Facts(5, 2, 0, false);
    EXPECT_EQ(ProductType(server2003), "Standard Edition");
    server2003.WebEdition = true;
    EXPECT_EQ(ProductType(server2003), "Web Edition");
    server2003.Enterprise = true;
    EXPECT_EQ(ProductType(server2003), "Enterprise Edition");
    server2003.Datacenter = true;
    EXPECT_EQ(ProductType(server2003), "Datacenter Edition");
    EXPECT_EQ(ProductType(Facts(5, 2, 0, true)), "Professional");
    for (auto [product, type] : {std::pair{0x30u, "Professional"},
                                 {0x65u, "Home"},
                                 {0x04u, "Enterprise"},
                                 {0x79u, "Education"},
                                 {0x01u, "Ultimate"},
                                 {0x08u, "Datacenter"},
                                 {0xA1u, "Pro for Workstations"}}) {
        TProductFacts later = Facts(10, 0, 0, true);
        later.ProductInfo = product;
        EXPECT_EQ(ProductType(later), type) << product;
    }
    // An edition the table does not know: a server by its suite, a workstation by the registry.
    TProductFacts unknownServer = Facts(10, 0, 0, false);
    unknownServer.ProductInfo = 0x12345;
    EXPECT_EQ(ProductType(unknownServer), "Standard");
    unknownServer.Datacenter = true;
    EXPECT_EQ(ProductType(unknownServer), "Datacenter");
    TProductFacts unknownWorkstation = Facts(6, 1, 0, true);
    unknownWorkstation.RegistryProductType = "WinNT";
    EXPECT_EQ(ProductType(unknownWorkstation), "Workstation");
    EXPECT_EQ(ServicePackLevel(0x0600), 6);
    EXPECT_EQ(ServicePackLevel(0x0100), 1);
    EXPECT_EQ(ServicePackLevel(0), 0);
}

TEST(ExceptReport, ProcessorLine) {
    for (auto [mhz, rounded] : {std::pair{1998, 2000},
                                {733, 733},
                                {866, 866},
                                {1011, 1020},
                                {1009, 1000},
                                {1010, 1020},
                                {499, 500},
                                {2400, 2400}}) {
        EXPECT_EQ(RoundProcessorFrequency(mhz), rounded) << mhz;
    }
    auto facts = [](const char* vendor, int family, int model, int mhz, bool mmx, bool fdiv) {
        TProcessorFacts f;
        f.VendorId = vendor;
        f.Family = family;
        f.Model = model;
        f.BrandString = "Brand";
        f.Megahertz = mhz;
        f.Mmx = mmx;
        f.FdivBug = fdiv;
        return f;
    };
    EXPECT_EQ(ProcessorLine(facts("AuthenticAMD", 5, 8, 348, true, false)),
              "Processor: AMD, AMD-K6(R) -2, 350 MHz MMX");
    EXPECT_EQ(ProcessorLine(facts("GenuineIntel", 6, 8, 733, true, true)),
              "Processor: Intel, Pentium III, 733 MHz MMX [FDIV Bug]");
    EXPECT_EQ(ProcessorName("GenuineIntel", 6, 158, "  Intel(R) Core(TM) i7  "),
              "Intel(R) Core(TM) i7");
    EXPECT_EQ(ProcessorLine(facts("SomeoneElse", 5, 4, 100, false, false)),
              "Processor: Unknown, Unknown, 100 MHz ");
    EXPECT_EQ(ProcessorName("CyrixInstead", 5, 2, ""), "Cyrix 6x86");
    EXPECT_EQ(ProcessorName("GenuineTMx86", 5, 4, ""), "Crusoe");
}

TEST(ExceptReport, LinesOfTheReport) {
    EXPECT_EQ(SeparatorLine(), std::string(100, '-'));
    EXPECT_EQ(SystemLine("Windows XP", "Professional", 5, 1, 2600, "Service Pack 2"),
              "System   : Windows XP Professional, Version: 5.1, Build: A28, \"Service Pack 2\"");
    EXPECT_EQ(DisplayLine(1280, 1024, 24), "Display  : 1280x1024 pixels, 24 bpp");
    EXPECT_EQ(OleCodeLine(static_cast<std::int32_t>(0x80004005)),
              "OLE Exception Code: 0x80004005 (-2147467259)");
    EXPECT_EQ(ExceptionMessageLine("Access denied"), "Exception message: Access denied");
    TReportLines lines;
    AppendActiveControlLines({{"TLumButton", "OkBtn"}, {"TLumPanel", ""}, {"TMyForm", "MyForm"}},
                             lines);
    EXPECT_EQ(lines, (TReportLines{"Active Controls hiearchy:", "TLumButton \"OkBtn\"",
                                   "TLumPanel \"\"", "TMyForm \"MyForm\"", SeparatorLine()}));
}

TEST(ExceptReport, ModulesSortedBySignedBaseWithPrefixes) {
    auto module = [](std::uint32_t base, const char* path, std::uint32_t preferred,
                     std::uint64_t version, const char* versionText, const char* description) {
        TReportModule m;
        m.Base = base;
        m.Path = path;
        m.PreferredBase = preferred;
        m.HasVersion = version != 0;
        m.FileVersion = version;
        m.FileVersionText = versionText;
        m.Description = description;
        return m;
    };
    std::vector<TReportModule> modules = {
        module(0x80000000, "C:\\high.dll", 0x80000000, 0x0001000200030004, "1.2.3.4", "High"),
        module(0x00400000, "C:\\app.exe", 0x00400000, 0x0002000000000003, "2.0.0.3", ""),
        module(0x10000000, "C:\\moved.dll", 0x00800000, 0, "", ""),
    };
    TReportLines lines;
    AppendModuleLines(modules, lines);
    const std::string blank(11, ' ');
    EXPECT_EQ(lines, (TReportLines{"List of loaded modules:",
                                   // 0x80000000 is negative as a signed number: it comes first.
                                   "[80000000] C:\\high.dll", blank + "1.2.3.4 - 1.2.3.4",
                                   blank + "High", "[00400000] C:\\app.exe",
                                   blank + "2.0.0.3 - 2.0.0.3", "[10000000] C:\\moved.dll",
                                   "<00800000> (no version info)", SeparatorLine()}));
}

TEST(ExceptReport, ThreadAndExceptionFrameLines) {
    EXPECT_EQ(ThreadLine(1234, "Report writer"), "Thread: 1234 \"Report writer\"");
    TReportLines lines;
    AppendExceptFrameLines({}, {}, lines);
    EXPECT_TRUE(lines.empty()) << "no heading without exception frames";
    AppendExceptFrameLines(
        {{0x401000, TExceptFrameKind::efCleanup}, {0x402000, TExceptFrameKind::efHandler}},
        {"[00401000] A.f", "[00402000] B.g"}, lines);
    EXPECT_EQ(lines, (TReportLines{"Exception frames:", "[00401000] A.f  (clean-up)",
                                   "[00402000] B.g  (handler)"}));
}

TEST(ExceptReport, AFailingSectionLeavesOneLineAndItsLinesSoFar) {
    TReportLines lines = {"before"};
    AppendReportSection(u"list of loaded modules", lines, [](TReportLines& section) {
        section.push_back("[00400000] C:\\app.exe");
        throw EOSError(u"System Error.  Code: 5.\r\nAccess is denied.\r\n", 5);
    });
    AppendReportSection(u"system section", lines,
                        [](TReportLines&) { throw std::runtime_error("out of order"); });
    AppendReportSection(u"stack list", lines,
                        [](TReportLines& section) { section.push_back("fine"); });
    EXPECT_EQ(lines, (TReportLines{"before", "[00400000] C:\\app.exe",
                                   "[The list of loaded modules could not be built: EOSError: "
                                   "System Error.  Code: 5. Access is denied. ]",
                                   "[The system section could not be built: std::exception: "
                                   "out of order]",
                                   "fine"}));
}

TEST(ExceptLog, HeaderWidthAndSeparation) {
    auto lines = LogHeaderLines(10, "12/8/2026 1:02:03 AM", true);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string(20, '='));
    EXPECT_EQ(lines[1], "= 12/8/2026 1:02:03 AM =");
    EXPECT_EQ(lines[2], std::string(20, '='));
    auto wide = LogHeaderLines(0, "now", false);
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(wide[0], "");
    EXPECT_EQ(wide[1].size(), 100u);
    EXPECT_EQ(wide[2], "= now" + std::string(93, ' ') + " =");
    // A date longer than the space is not cut.
    EXPECT_EQ(LogHeaderLines(20, "a date far too long to fit", true)[1],
              "= a date far too long to fit =");
}

TEST(ExceptLog, LinesOfTextsAndFiles) {
    EXPECT_EQ(LogTextLines("one  \r\ntwo\nthree\t\r\n", 2),
              (std::vector<std::string>{"  one", "  two", "  three"}));
    EXPECT_EQ(ErrorTextLines(u"a\r\nb\rc\nd\u2028e"),
              (std::vector<std::u16string>{u"a", u"b", u"c", u"d", u"e"}));
    EXPECT_EQ(ErrorTextLines(u"last line without break"),
              (std::vector<std::u16string>{u"last line without break"}));
    EXPECT_EQ(ErrorFileName(u"C:\\Temp\\Ostrin\\", u"Ostrin", 2),
              u"C:\\Temp\\Ostrin\\Ostrin_Error_0002.txt");
}

namespace {

// The parts without their "(Part n of m)" lines, joined.
std::u16string Joined(const std::vector<std::u16string>& parts) {
    std::u16string text;
    for (const std::u16string& part : parts) {
        text += part.substr(part.find(u"\r\n") + 2);
    }
    return text;
}

} // namespace

TEST(ExceptLog, LongEventTextsGoInNumberedParts) {
    // Fits: the text alone, without a part number.
    EXPECT_EQ(EventLogParts(u"short report"), std::vector<std::u16string>{u"short report"});
    std::u16string exact(kEventLogStringLimit, u'x');
    EXPECT_EQ(EventLogParts(exact), std::vector<std::u16string>{exact});

    // A 40,000-character report of 80-character lines: two parts, cut after a line.
    std::u16string report;
    while (report.size() < 40000) {
        report += std::u16string(78, u'r') + u"\r\n";
    }
    auto parts = EventLogParts(report);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].substr(0, 15), u"(Part 1 of 2)\r\n");
    EXPECT_EQ(parts[1].substr(0, 15), u"(Part 2 of 2)\r\n");
    for (const auto& part : parts) {
        EXPECT_LE(part.size(), kEventLogStringLimit);
    }
    EXPECT_EQ(parts[0].substr(parts[0].size() - 2), u"\r\n");
    EXPECT_EQ(Joined(parts), report);

    // One long line: cut at the limit, but never between the halves of a surrogate pair.
    std::u16string line(100, u'a');
    line[54] = 0xD83D;
    line[55] = 0xDE00;
    auto small = EventLogParts(line, 50);
    for (const auto& part : small) {
        SCOPED_TRACE(WideToUtf8(part));
        EXPECT_LE(part.size(), 50u);
        EXPECT_FALSE(part.back() >= 0xD800 && part.back() < 0xDC00);
    }
    EXPECT_EQ(Joined(small), line);
    // More than nine parts: the longer numbers still fit the limit.
    auto many = EventLogParts(std::u16string(1000, u'm'), 40);
    EXPECT_GT(many.size(), 9u);
    std::u16string count = AsciiToWide(std::to_string(many.size()));
    EXPECT_TRUE(many.back().starts_with(u"(Part " + count + u" of " + count + u")\r\n"));
    for (const auto& part : many) {
        EXPECT_LE(part.size(), 40u);
    }
    EXPECT_EQ(Joined(many), std::u16string(1000, u'm'));
}
