#pragma once
// The error report's sections: the lines that describe the machine (system, processor,
// display), the loaded modules, the focused controls, and the system information block. The
// report is ANSI text, one line per entry. The tables and the formatting of what was gathered
// are portable; gathering it from the system is Win32.

#include <cstdint>
#include <string>
#include <vector>

using TReportLines = std::vector<std::string>;

constexpr int kSeparatorWidth = 100;
constexpr char kSeparatorChar = '-';

// ---- Operating system ----

/// The platform's name as reports give it, from the version the system reports and, for the
/// 9x family, the product version of its kernel32 (major in the high and minor in the low 16
/// bits; 4.90 marks Windows ME). Empty when the version is not one of those known.
std::string OSName(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                   const std::string& servicePack, std::uint32_t kernelProductVersion);

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
    /// The registry's ProductType ("WINNT", "SERVERNT", "LANMANNT").
    std::string RegistryProductType;
};

/// "Workstation", "Server", "Professional", ... for the NT family; empty when undecided.
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

/// "Exception message: " + message, and for an OLE error "OLE Exception Code: 0x%0:.8x (%0:d)".
std::string ExceptionMessageLine(const std::string& message);
std::string OleCodeLine(std::int32_t code);

/// The focused control and its parents as "%s \"%s\"" (class name, component name).
struct TControlName {
    std::string ClassName;
    std::string Name;
};
void AppendActiveControlLines(const std::vector<TControlName>& chain, TReportLines& lines);
