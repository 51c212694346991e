#include "errors/LumExceptReport.h"

#include "rstr/LumExceptReport.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <map>

namespace {

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool SameTextNoCase(const std::string& a, const char* b) {
    std::string lower = a;
    std::string other = b;
    auto fold = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; });
    };
    fold(lower);
    fold(other);
    return lower == other;
}

// Processor names of the manufacturers' older parts, by family and model.
const std::map<std::pair<int, int>, const char*>& NameTable(const std::string& manufacturer) {
    static const std::map<std::pair<int, int>, const char*> intel = {
        {{4, 0}, "i80486DX"},     {{4, 1}, "i80486DX"},          {{4, 2}, "i80486SX"},
        {{4, 3}, "i80486DX2"},    {{4, 4}, "i80486SL"},          {{4, 5}, "i80486SX2"},
        {{4, 7}, "i80486DX2 WB"}, {{4, 8}, "i80486DX4"},         {{4, 9}, "i80486DX4 WB"},
        {{5, 1}, "Pentium"},      {{5, 2}, "Pentium"},           {{5, 3}, "Pentium OverDrive"},
        {{5, 4}, "Pentium MMX"},  {{5, 7}, "Pentium"},           {{5, 8}, "Pentium MMX"},
        {{6, 1}, "Pentium Pro"},  {{6, 3}, "Pentium II"},        {{6, 5}, "Pentium II"},
        {{6, 6}, "Celeron"},      {{6, 7}, "Pentium III"},       {{6, 8}, "Pentium III"},
        {{6, 9}, "Pentium M"},    {{6, 10}, "Pentium III Xeon"}, {{6, 11}, "Pentium III"},
        {{6, 13}, "Pentium M"},   {{15, 0}, "Pentium 4"},        {{15, 1}, "Pentium 4"},
        {{15, 2}, "Pentium 4"},   {{15, 3}, "Pentium 4"},        {{15, 4}, "Pentium 4"}};
    static const std::map<std::pair<int, int>, const char*> amd = {{{4, 3}, "Am486DX2"},
                                                                   {{4, 7}, "Am486DX2 WB"},
                                                                   {{4, 8}, "Am486DX4"},
                                                                   {{4, 9}, "Am486DX4 WB"},
                                                                   {{4, 14}, "Am5x86"},
                                                                   {{4, 15}, "Am5x86 WB"},
                                                                   {{5, 0}, "AMD-K5"},
                                                                   {{5, 1}, "AMD-K5"},
                                                                   {{5, 2}, "AMD-K5"},
                                                                   {{5, 3}, "AMD-K5"},
                                                                   {{5, 6}, "AMD-K6(R)"},
                                                                   {{5, 7}, "AMD-K6(R)"},
                                                                   {{5, 8}, "AMD-K6(R) -2"},
                                                                   {{5, 9}, "AMD-K6(R) -III"},
                                                                   {{6, 1}, "AMD Athlon(tm)"},
                                                                   {{6, 2}, "AMD Athlon(tm)"},
                                                                   {{6, 3}, "AMD Duron(tm)"},
                                                                   {{6, 4}, "AMD Athlon(tm)"},
                                                                   {{6, 6}, "AMD Athlon(tm) MP"},
                                                                   {{6, 7}, "AMD Duron(tm)"},
                                                                   {{6, 8}, "AMD Athlon(tm) XP"}};
    static const std::map<std::pair<int, int>, const char*> cyrix = {{{4, 4}, "Cyrix MediaGX"},
                                                                     {{5, 2}, "Cyrix 6x86"},
                                                                     {{5, 4}, "Cyrix GXm"},
                                                                     {{6, 0}, "Cyrix 6x86MX"}};
    static const std::map<std::pair<int, int>, const char*> transmeta = {{{5, 4}, "Crusoe"},
                                                                         {{15, 2}, "Efficeon"}};
    static const std::map<std::pair<int, int>, const char*> none;
    if (manufacturer == "Intel") {
        return intel;
    }
    if (manufacturer == "AMD") {
        return amd;
    }
    if (manufacturer == "Cyrix") {
        return cyrix;
    }
    if (manufacturer == "Transmeta") {
        return transmeta;
    }
    return none;
}

// The NT family from 5.2 on, whose workstations and servers have names of their own.
std::string LaterNTName(std::uint32_t major, std::uint32_t minor, std::uint32_t build, bool server,
                        bool serverR2) {
    if (major == 5 && minor == 2) {
        if (server) {
            return serverR2 ? "Windows Server 2003 R2" : "Windows Server 2003";
        }
        return "Windows XP x64 Edition";
    }
    if (major == 6) {
        static const char* const workstations[] = {"Windows Vista", "Windows 7", "Windows 8",
                                                   "Windows 8.1"};
        static const char* const servers[] = {"Windows Server 2008", "Windows Server 2008 R2",
                                              "Windows Server 2012", "Windows Server 2012 R2"};
        if (minor < std::size(servers)) {
            return server ? servers[minor] : workstations[minor];
        }
        return {};
    }
    if (major == 10 && minor == 0) {
        if (!server) {
            return build >= 22000 ? "Windows 11" : "Windows 10";
        }
        if (build >= 26100) {
            return "Windows Server 2025";
        }
        if (build >= 20348) {
            return "Windows Server 2022";
        }
        return build >= 17763 ? "Windows Server 2019" : "Windows Server 2016";
    }
    return {};
}

// The editions the system names for itself from 6.0 on (GetProductInfo's product types).
const char* ProductInfoName(std::uint32_t product) {
    static const std::map<std::uint32_t, const char*> names = {
        {0x01, "Ultimate"},
        {0x02, "Home Basic"},
        {0x03, "Home Premium"},
        {0x04, "Enterprise"},
        {0x05, "Home Basic N"},
        {0x06, "Business"},
        {0x07, "Standard"},
        {0x08, "Datacenter"},
        {0x09, "Small Business Server"},
        {0x0A, "Enterprise"},
        {0x0B, "Starter"},
        {0x0C, "Datacenter"},
        {0x0D, "Standard"},
        {0x0E, "Enterprise"},
        {0x10, "Business N"},
        {0x11, "Web Server"},
        {0x13, "Home Server"},
        {0x1B, "Enterprise N"},
        {0x1C, "Ultimate N"},
        {0x30, "Professional"},
        {0x31, "Professional N"},
        {0x62, "Home N"},
        {0x63, "Home China"},
        {0x64, "Home Single Language"},
        {0x65, "Home"},
        {0x79, "Education"},
        {0x7A, "Education N"},
        {0x7D, "Enterprise LTSC"},
        {0xA1, "Pro for Workstations"},
        {0xA4, "Pro Education"},
    };
    auto it = names.find(product);
    return it == names.end() ? nullptr : it->second;
}

} // namespace

std::string OSName(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                   const std::string& servicePack, std::uint32_t kernelProductVersion,
                   std::uint32_t build, bool server, bool serverR2) {
    constexpr std::uint32_t kWindows9x = 1;
    constexpr std::uint32_t kWindowsNT = 2;
    constexpr std::uint32_t kMillenniumKernel = (4u << 16) | 90u;
    std::string sp = Trimmed(servicePack);
    if (platformId == kWindows9x) {
        if (minor < 10) {
            return sp == "B" ? "Windows 95 OSR2" : "Windows 95";
        }
        if (minor < 90) {
            if (kernelProductVersion == kMillenniumKernel) {
                return "Windows ME";
            }
            return sp == "A" ? "Windows 98 SE" : "Windows 98";
        }
        return minor == 90 ? "Windows ME" : "";
    }
    if (platformId == kWindowsNT) {
        if (major == 3 && (minor == 10 || minor == 50 || minor == 51)) {
            return Format("Windows NT 3.%u", minor);
        }
        if (major == 4) {
            return Format("Windows NT 4.%u", minor);
        }
        if (major == 5 && minor == 0) {
            return "Windows 2000";
        }
        if (major == 5 && minor == 1) {
            return "Windows XP";
        }
        return LaterNTName(major, minor, build, server, serverR2);
    }
    return {};
}

int ServicePackLevel(std::uint32_t csdVersion) {
    std::string digits = Format("%.4x", csdVersion);
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            // Hexadecimal letters make no decimal number; such a level counts as none.
            return 0;
        }
        value = value * 10 + (c - '0');
    }
    return value / 100;
}

std::string ProductType(const TProductFacts& f) {
    if (f.HasExtendedInfo) {
        if (f.Major == 4 && f.ServicePackLevel >= 6) {
            return f.Workstation ? "Workstation" : "Server";
        }
        if (f.Major == 5 && f.Minor == 0) {
            if (f.Workstation) {
                return "Professional";
            }
            return f.Datacenter ? "Datacenter Server" : f.Enterprise ? "Advanced Server" : "Server";
        }
        if (f.Major == 5 && f.Minor == 1 && f.Workstation) {
            return f.Personal ? "Home Edition" : "Professional";
        }
        if (f.Major == 5 && f.Minor == 2) {
            if (f.Workstation) {
                return "Professional";
            }
            return f.Datacenter   ? "Datacenter Edition"
                   : f.Enterprise ? "Enterprise Edition"
                   : f.WebEdition ? "Web Edition"
                                  : "Standard Edition";
        }
        if (f.Major >= 6) {
            if (const char* name = ProductInfoName(f.ProductInfo)) {
                return name;
            }
            if (!f.Workstation) {
                return f.Datacenter ? "Datacenter" : f.Enterprise ? "Enterprise" : "Standard";
            }
        }
    }
    if (SameTextNoCase(f.RegistryProductType, "WINNT")) {
        return "Workstation";
    }
    if (SameTextNoCase(f.RegistryProductType, "SERVERNT")) {
        return "Advanced Server";
    }
    if (SameTextNoCase(f.RegistryProductType, "LANMANNT")) {
        return "Server";
    }
    return {};
}

std::string ProcessorManufacturer(const std::string& vendorId) {
    static const std::map<std::string, std::string> vendors = {{"GenuineIntel", "Intel"},
                                                               {"CyrixInstead", "Cyrix"},
                                                               {"AuthenticAMD", "AMD"},
                                                               {"GenuineTMx86", "Transmeta"}};
    auto it = vendors.find(vendorId);
    return it == vendors.end() ? "Unknown" : it->second;
}

std::string ProcessorName(const std::string& vendorId, int family, int model,
                          const std::string& brandString) {
    std::string manufacturer = ProcessorManufacturer(vendorId);
    if (manufacturer == "Unknown") {
        return manufacturer;
    }
    const auto& table = NameTable(manufacturer);
    auto it = table.find({family, model});
    if (it != table.end()) {
        return it->second;
    }
    std::string brand = Trimmed(brandString);
    return brand.empty() ? "Unknown" : brand;
}

int RoundProcessorFrequency(int megahertz) {
    static const int steps[] = {0, 20, 33, 50, 60, 66, 80, 90, 100};
    int rest = megahertz % 100;
    int base = megahertz - rest;
    for (size_t i = 1; i < std::size(steps); ++i) {
        if (steps[i] > rest) {
            int lower = steps[i - 1];
            int upper = steps[i];
            return base + (rest - lower < upper - rest ? lower : upper);
        }
    }
    return megahertz;
}

std::string ProcessorLine(const TProcessorFacts& facts) {
    return Format("Processor: %s, %s, %d MHz %s%s", ProcessorManufacturer(facts.VendorId),
                  ProcessorName(facts.VendorId, facts.Family, facts.Model, facts.BrandString),
                  RoundProcessorFrequency(facts.Megahertz), facts.Mmx ? "MMX" : "",
                  facts.FdivBug ? " [FDIV Bug]" : "");
}

std::string SeparatorLine() {
    return std::string(kSeparatorWidth, kSeparatorChar);
}

std::string SystemLine(const std::string& osName, const std::string& productType,
                       std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                       const std::string& servicePack) {
    return Format("System   : %s %s, Version: %d.%d, Build: %x, \"%s\"", osName, productType, major,
                  minor, build, servicePack);
}

std::string DisplayLine(int width, int height, int bitsPerPixel) {
    return Format("Display  : %dx%d pixels, %d bpp", width, height, bitsPerPixel);
}

void AppendModuleLines(std::vector<TReportModule> modules, TReportLines& lines) {
    std::stable_sort(
        modules.begin(), modules.end(), [](const TReportModule& a, const TReportModule& b) {
            return static_cast<std::int32_t>(a.Base) < static_cast<std::int32_t>(b.Base);
        });
    lines.push_back("List of loaded modules:");
    const std::string blank(11, ' ');
    for (const TReportModule& m : modules) {
        lines.push_back(Format("[%.8x] %s", m.Base, m.Path));
        std::string prefix = (m.PreferredBase != 0 && m.PreferredBase != m.Base)
                                 ? Format("<%.8x> ", m.PreferredBase)
                                 : blank;
        if (!m.HasVersion) {
            lines.push_back(prefix + "(no version info)");
            continue;
        }
        lines.push_back(prefix +
                        Format("%u.%u.%u.%u", static_cast<std::uint32_t>(m.FileVersion >> 48),
                               static_cast<std::uint32_t>((m.FileVersion >> 32) & 0xFFFF),
                               static_cast<std::uint32_t>((m.FileVersion >> 16) & 0xFFFF),
                               static_cast<std::uint32_t>(m.FileVersion & 0xFFFF)) +
                        " - " + m.FileVersionText);
        if (!m.Description.empty()) {
            lines.push_back(blank + m.Description);
        }
    }
    lines.push_back(SeparatorLine());
}

std::string ExceptionMessageLine(const std::string& message) {
    return "Exception message: " + message;
}

std::string OleCodeLine(std::int32_t code) {
    return Format("OLE Exception Code: 0x%0:.8x (%0:d)", code);
}

void AppendActiveControlLines(const std::vector<TControlName>& chain, TReportLines& lines) {
    lines.push_back("Active Controls hiearchy:");
    for (const TControlName& control : chain) {
        lines.push_back(Format("%s \"%s\"", control.ClassName, control.Name));
    }
    lines.push_back(SeparatorLine());
}

std::string ThreadLine(std::uint32_t threadId, const std::string& name) {
    return Format("Thread: %s", Format("%u \"%s\"", threadId, name));
}

void AppendExceptFrameLines(const std::vector<TLumExceptFrame>& frames,
                            const std::vector<std::string>& frameTexts, TReportLines& lines) {
    if (frames.empty()) {
        return;
    }
    lines.push_back(WideToAnsi(LoadResString(LumExceptReport::SExceptFrames)));
    std::string handler = WideToAnsi(LoadResString(LumExceptReport::SExceptFrameHandler));
    std::string cleanup = WideToAnsi(LoadResString(LumExceptReport::SExceptFrameCleanup));
    for (size_t i = 0; i < frames.size() && i < frameTexts.size(); ++i) {
        lines.push_back(Format(frames[i].Kind == TExceptFrameKind::efHandler ? handler : cleanup,
                               frameTexts[i]));
    }
}

namespace {

// A message on one line: its line breaks as single spaces.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (line.empty() || line.back() != ' ') {
                line += ' ';
            }
        } else {
            line += c;
        }
    }
    return line;
}

} // namespace

void AppendReportSection(std::u16string_view sectionName, TReportLines& lines,
                         const std::function<void(TReportLines&)>& build) {
    std::string className;
    std::string message;
    try {
        build(lines);
        return;
    } catch (const Exception& error) {
        className = error.ClassName();
        message = WideToAnsi(error.Message());
    } catch (const std::exception& error) {
        className = "std::exception";
        message = error.what();
    } catch (...) {
        className = "?";
    }
    lines.push_back(
        WideToAnsi(Format(LoadResString(LumExceptReport::SReportSectionFailed), sectionName,
                          AnsiToWide(className), AnsiToWide(OneLine(message)))));
}

std::u16string StackSectionName() {
    return LoadResString(LumExceptReport::SStackSection);
}

std::u16string SystemSectionName() {
    return LoadResString(LumExceptReport::SSystemSection);
}

std::u16string ModulesSectionName() {
    return LoadResString(LumExceptReport::SModulesSection);
}

std::u16string ActiveControlsSectionName() {
    return LoadResString(LumExceptReport::SActiveControlsSection);
}

std::u16string MessageSectionName() {
    return LoadResString(LumExceptReport::SMessageSection);
}

std::u16string SystemInfoSectionName() {
    return LoadResString(LumExceptReport::SSystemInfoSection);
}
