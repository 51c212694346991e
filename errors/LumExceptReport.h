#pragma once
// The error report's sections: the lines that describe the machine (system, processor,
// display), the loaded modules, the focused controls, and the system information block. The
// report is ANSI text, one line per entry. The tables and the formatting of what was gathered
// are portable; gathering it from the system is Win32.

#include "errors/LumStackTrace.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

using TReportLines = std::vector<std::string>;

constexpr int kSeparatorWidth = 100;
constexpr char kSeparatorChar = '-';

// ---- Operating system ----

/// The platform's name as reports give it, from the version the system reports and, for the
/// 9x family, the product version of its kernel32 (major in the high and minor in the low 16
/// bits; 4.90 marks Windows ME). From 5.2 on, the NT family names workstations and servers
/// apart, and version 10.0 tells its releases by the build number (Windows 11 from 22000,
/// the servers 2016, 2019 from 17763, 2022 from 20348, 2025 from 26100); `serverR2` marks
/// Windows Server 2003 R2. Empty when the version is not one of those known.
std::string OSName(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                   const std::string& servicePack, std::uint32_t kernelProductVersion,
                   std::uint32_t build = 0, bool server = false, bool serverR2 = false);

/// What a system says about its product, for the product type.
struct TProductFacts {
    std::uint32_t Major = 0;
    std::uint32_t Minor = 0;
    /// Service-pack level from the registry's CSDVersion (0x0600 gives 6).
    int ServicePackLevel = 0;
    /// From the extended version information, when the system has it.
    bool HasExtendedInfo = false;
    bool Workstation = false;
    bool Datacenter = false;
    bool Enterprise = false;
    bool Personal = false;
    /// The web edition's suite flag (Windows Server 2003).
    bool WebEdition = false;
    /// The product the system names for itself from 6.0 on (GetProductInfo); 0 when unknown.
    std::uint32_t ProductInfo = 0;
    /// The registry's ProductType ("WINNT", "SERVERNT", "LANMANNT").
    std::string RegistryProductType;
};

/// "Workstation", "Server", "Professional", ... for the NT family; empty when undecided. From
/// 6.0 on the edition the system names for itself ("Home", "Professional", "Enterprise",
/// "Datacenter", ...), for a server it does not name by its suite flags.
std::string ProductType(const TProductFacts& facts);

/// The service-pack level from the CSDVersion value: four hexadecimal digits read back as a
/// decimal number, divided by 100 (0x0600 gives 6).
int ServicePackLevel(std::uint32_t csdVersion);

// ---- Processor ----

/// "Intel", "AMD", "Cyrix", "Transmeta", or "Unknown" for any other vendor identification.
std::string ProcessorManufacturer(const std::string& vendorId);

/// The processor's name from the manufacturer's table by family and model; the brand string
/// the processor reports when the table has no entry; "Unknown" for an unknown vendor.
std::string ProcessorName(const std::string& vendorId, int family, int model,
                          const std::string& brandString);

/// The frequency moved to the nearer of the usual steps of its last two digits (0, 20, 33,
/// 50, 60, 66, 80, 90, 100), upwards on a tie: 1998 gives 2000, 1011 gives 1020.
int RoundProcessorFrequency(int megahertz);

struct TProcessorFacts {
    std::string VendorId;
    int Family = 0;
    int Model = 0;
    std::string BrandString;
    int Megahertz = 0;
    bool Mmx = false;
    bool FdivBug = false;
};

/// "Processor: %s, %s, %d MHz %s%s".
std::string ProcessorLine(const TProcessorFacts& facts);

// ---- Lines of the report ----

/// The separator: 100 "-".
std::string SeparatorLine();

/// "System   : %s %s, Version: %d.%d, Build: %x, \"%s\"".
std::string SystemLine(const std::string& osName, const std::string& productType,
                       std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                       const std::string& servicePack);

/// "Display  : %dx%d pixels, %d bpp".
std::string DisplayLine(int width, int height, int bitsPerPixel);

/// A loaded module as the report lists it.
struct TReportModule {
    std::uint32_t Base = 0;
    std::string Path;
    /// The preferred image base from its PE header; 0 when the header cannot be read.
    std::uint32_t PreferredBase = 0;
    bool HasVersion = false;
    std::uint64_t FileVersion = 0;
    std::string FileVersionText;
    std::string Description;
};

/// The lines of the modules section: "List of loaded modules:", each module sorted by its
/// base address (compared as signed 32-bit numbers), then a separator.
void AppendModuleLines(std::vector<TReportModule> modules, TReportLines& lines);

/// "Thread: %s" with the thread's identifier and the name it was registered under, for an
/// exception handed over from a worker thread: "Thread: 1234 \"Report writer\"".
std::string ThreadLine(std::uint32_t threadId, const std::string& name);

/// The exception frames of a captured stack, after its frames: "Exception frames:", then each
/// frame's text (`frameTexts`, in the same order) with "  (handler)" or "  (clean-up)".
void AppendExceptFrameLines(const std::vector<TLumExceptFrame>& frames,
                            const std::vector<std::string>& frameTexts, TReportLines& lines);

/// Runs `build` to add one section's lines. What it raises stays in the section: the lines it
/// added so far are kept and one line says which section failed and why ("[The list of
/// loaded modules could not be built: EOSError: ...]", the message on one line), so that one
/// failing section never costs the report the others.
void AppendReportSection(std::u16string_view sectionName, TReportLines& lines,
                         const std::function<void(TReportLines&)>& build);

/// The names of the report's sections, as AppendReportSection says them.
std::u16string StackSectionName();
std::u16string SystemSectionName();
std::u16string ModulesSectionName();
std::u16string ActiveControlsSectionName();
std::u16string MessageSectionName();
std::u16string SystemInfoSectionName();

/// "Exception message: " + message, and for an OLE error "OLE Exception Code: 0x%0:.8x (%0:d)".
std::string ExceptionMessageLine(const std::string& message);
std::string OleCodeLine(std::int32_t code);

/// The focused control and its parents as "%s \"%s\"" (class name, component name).
struct TControlName {
    std::string ClassName;
    std::string Name;
};
void AppendActiveControlLines(const std::vector<TControlName>& chain, TReportLines& lines);
