// Gathering the report's sections from the running system.
#include "errors/LumExceptReportWin.h"

#include "errors/LumExceptLogWin.h"
#include "errors/LumStackTraceWin.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/ui/LumControlBase.h"
#include "toolkit/ui/LumGraphics.h"
#include "toolkit/win/LumRegistry.h"
#include "toolkit/win/LumSystemWin.h"

#include <cpuid.h>
#include <x86intrin.h>

#include <cstring>
#include <optional>
#include <set>

namespace {

std::string Ansi(const std::u16string& text) {
    return WideToAnsi(text);
}

std::u16string ReadMachineString(const char16_t* key, const char16_t* value) {
    TLumRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    return registry.OpenKeyReadOnly(key) && registry.ValueExists(value) ? registry.ReadString(value)
                                                                        : std::u16string();
}

std::uint32_t ReadMachineInteger(const char16_t* key, const char16_t* value) {
    TLumRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!registry.OpenKeyReadOnly(key) || !registry.ValueExists(value) ||
        registry.GetDataType(value) != rdInteger) {
        return 0;
    }
    return static_cast<std::uint32_t>(registry.ReadInteger(value));
}

int MeasuredMegahertz() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    std::uint64_t cyclesBefore = __rdtsc();
    Sleep(50);
    std::uint64_t cyclesAfter = __rdtsc();
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    return seconds > 0 ? static_cast<int>((cyclesAfter - cyclesBefore) / seconds / 1e6 + 0.5) : 0;
}

// The division whose wrong result gave the early Pentium's division bug away.
bool HasFdivBug() {
    volatile double x = 4195835.0;
    volatile double y = 3145727.0;
    return x - (x / y) * y >= 1.0;
}

struct LoadedModule {
    std::uint32_t Base;
    std::u16string Path;
};

// The process's modules through the process-status library, taken from the system folder.
bool ModulesFromProcessStatus(std::vector<LoadedModule>& modules) {
    std::optional<TSystemLibrary> psapi;
    try {
        psapi.emplace(LoadSystemLibrary(u"psapi.dll"));
    } catch (const EOSError&) {
        return false;
    }
    using Enumerate = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
    auto enumerate = psapi->FindProc<Enumerate>("EnumProcessModules");
    if (!enumerate) {
        return false;
    }
    std::vector<HMODULE> handles(256);
    DWORD needed = 0;
    HANDLE process = GetCurrentProcess();
    while (true) {
        DWORD bytes = static_cast<DWORD>(handles.size() * sizeof(HMODULE));
        if (!enumerate(process, handles.data(), bytes, &needed)) {
            return false;
        }
        if (needed <= bytes) {
            break;
        }
        handles.resize(needed / sizeof(HMODULE));
    }
    handles.resize(needed / sizeof(HMODULE));
    for (HMODULE handle : handles) {
        modules.push_back({static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle)),
                           ModuleFileNameOf(reinterpret_cast<std::uintptr_t>(handle))});
    }
    return true;
}

// Without the process-status library: every new allocation base of a mapped image.
void ModulesFromAddressSpace(std::vector<LoadedModule>& modules) {
    std::set<void*> seen;
    MEMORY_BASIC_INFORMATION info;
    auto address = static_cast<char*>(nullptr);
    while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
        if (info.Type == MEM_IMAGE && info.AllocationBase &&
            seen.insert(info.AllocationBase).second) {
            modules.push_back(
                {static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(info.AllocationBase)),
                 ModuleFileNameOf(reinterpret_cast<std::uintptr_t>(info.AllocationBase))});
        }
        char* next = static_cast<char*>(info.BaseAddress) + info.RegionSize;
        if (next <= address) {
            break;
        }
        address = next;
    }
}

// The preferred image base from the module's headers as mapped; 0 when unreadable.
std::uint32_t PreferredBase(std::uint32_t base) {
    MEMORY_BASIC_INFORMATION info;
    auto start = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(base));
    if (VirtualQuery(start, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT ||
        (info.Protect & (PAGE_NOACCESS | PAGE_GUARD))) {
        return 0;
    }
    size_t readable = static_cast<const std::uint8_t*>(info.BaseAddress) + info.RegionSize - start;
    auto image = TPeImage::Parse({start, readable});
    return image ? image->ImageBase() : 0;
}

TReportModule ReportModule(const LoadedModule& loaded) {
    TReportModule report;
    report.Base = loaded.Base;
    report.Path = Ansi(loaded.Path);
    try {
        report.PreferredBase = PreferredBase(loaded.Base);
        std::vector<std::uint8_t> info = FileVersionInfo(loaded.Path);
        if (VersionInfoFixed(info).dwSignature != 0) {
            report.FileVersion = VersionInfoFileVersion(info);
            report.FileVersionText = Ansi(VersionInfoString(info, u"FileVersion"));
            report.Description = Ansi(VersionInfoString(info, u"FileDescription"));
            report.HasVersion = true;
        }
    } catch (const Exception&) {
        // Its file may be gone since it was loaded: the module is listed all the same.
        report.HasVersion = false;
    }
    return report;
}

// The edition the system names for itself (from 6.0 on); 0 when it names none.
std::uint32_t ProductInfo(const TOSVersion& version) {
    using TGetProductInfo = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto getProductInfo = kernel ? ProcAddress<TGetProductInfo>(kernel, "GetProductInfo") : nullptr;
    DWORD product = 0;
    if (!getProductInfo ||
        !getProductInfo(version.Major, version.Minor, version.ServicePackMajor, 0, &product)) {
        return 0;
    }
    return product;
}

} // namespace

TProcessorFacts GatherProcessorFacts() {
    TProcessorFacts facts;
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) {
        throw ELumGeneralError(u"The processor cannot be identified.");
    }
    char vendor[13] = {};
    std::memcpy(vendor, &ebx, 4);
    std::memcpy(vendor + 4, &edx, 4);
    std::memcpy(vendor + 8, &ecx, 4);
    facts.VendorId = vendor;
    __get_cpuid(1, &eax, &ebx, &ecx, &edx);
    int family = (eax >> 8) & 0xF;
    int model = (eax >> 4) & 0xF;
    if (family == 0xF) {
        family += (eax >> 20) & 0xFF;
    }
    if (family == 6 || family >= 0xF) {
        model += ((eax >> 16) & 0xF) << 4;
    }
    facts.Family = family;
    facts.Model = model;
    facts.Mmx = (edx >> 23) & 1;
    unsigned maxExtended = __get_cpuid_max(0x80000000, nullptr);
    if (maxExtended >= 0x80000004) {
        char brand[49] = {};
        for (unsigned leaf = 0; leaf < 3; ++leaf) {
            unsigned regs[4];
            __get_cpuid(0x80000002 + leaf, &regs[0], &regs[1], &regs[2], &regs[3]);
            std::memcpy(brand + 16 * leaf, regs, 16);
        }
        facts.BrandString = brand;
    }
    std::uint32_t registered =
        ReadMachineInteger(u"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", u"~MHz");
    facts.Megahertz = registered ? static_cast<int>(registered) : MeasuredMegahertz();
    facts.FdivBug = HasFdivBug();
    return facts;
}

void AppendSystemSection(TReportLines& lines) {
    const TOSVersion version = RunningOSVersion();
    TProductFacts product;
    product.HasExtendedInfo = version.HasProductInfo;
    std::string servicePack = Ansi(version.ServicePack);
    std::string osName;
    if (version.IsWin9x()) {
        VS_FIXEDFILEINFO kernel =
            VersionInfoFixed(FileVersionInfo(SystemFolder() + u"\\kernel32.dll"));
        osName = OSName(version.PlatformId, version.Major, version.Minor, servicePack,
                        kernel.dwProductVersionMS);
    } else {
        bool server = version.HasProductInfo && version.ProductType != VER_NT_WORKSTATION;
        osName = OSName(version.PlatformId, version.Major, version.Minor, servicePack, 0,
                        version.Build, server, GetSystemMetrics(SM_SERVERR2) != 0);
    }
    std::string productType;
    if (version.IsNT()) {
        product.Major = version.Major;
        product.Minor = version.Minor;
        product.Workstation = version.ProductType == VER_NT_WORKSTATION;
        product.Datacenter = version.SuiteMask & VER_SUITE_DATACENTER;
        product.Enterprise = version.SuiteMask & VER_SUITE_ENTERPRISE;
        product.Personal = version.SuiteMask & VER_SUITE_PERSONAL;
        product.WebEdition = version.SuiteMask & VER_SUITE_BLADE;
        product.ProductInfo = version.Major >= 6 ? ProductInfo(version) : 0;
        product.ServicePackLevel = ServicePackLevel(
            ReadMachineInteger(u"SYSTEM\\CurrentControlSet\\Control\\Windows", u"CSDVersion"));
        product.RegistryProductType = Ansi(ReadMachineString(
            u"System\\CurrentControlSet\\Control\\ProductOptions", u"ProductType"));
        productType = ProductType(product);
    }
    lines.push_back(
        SystemLine(osName, productType, version.Major, version.Minor, version.Build, servicePack));
    try {
        lines.push_back(ProcessorLine(GatherProcessorFacts()));
    } catch (const Exception& error) {
        lines.push_back("---------------- Exception during CPU Info --------------");
        lines.push_back(std::string(error.ClassName()) + ": " + Ansi(error.Message()));
        lines.push_back("---------------- Exception during CPU Info --------------");
    }
    TLumClientDC screen(nullptr);
    int bpp = GetDeviceCaps(screen.Handle(), BITSPIXEL) * GetDeviceCaps(screen.Handle(), PLANES);
    lines.push_back(DisplayLine(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), bpp));
    lines.push_back(SeparatorLine());
}

void AppendModulesSection(TReportLines& lines) {
    std::vector<LoadedModule> loaded;
    if (!ModulesFromProcessStatus(loaded)) {
        loaded.clear();
        ModulesFromAddressSpace(loaded);
    }
    if (loaded.empty()) {
        return;
    }
    std::vector<TReportModule> modules;
    for (const LoadedModule& m : loaded) {
        modules.push_back(ReportModule(m));
    }
    AppendModuleLines(std::move(modules), lines);
}

void AppendActiveControlsSection(TLumControl* control, TReportLines& lines) {
    if (!control) {
        return;
    }
    std::vector<TControlName> chain;
    for (TLumControl* c = control; c; c = c->Parent()) {
        chain.push_back({c->ClassName(), Ansi(c->Name())});
    }
    AppendActiveControlLines(chain, lines);
}

void AppendStackSection(const TLumStackInfoList* stack, TReportLines& lines) {
    if (!stack) {
        return;
    }
    const TLumLocalTime& t = stack->TimeStamp();
    SYSTEMTIME captured{t.Year, t.Month, 0, t.Day, t.Hour, t.Minute, t.Second, t.Milliseconds};
    lines.push_back("Stack list, generated " + Ansi(LocalDateTimeText(captured)));
    AppendFramesTo(*stack, lines, false, true, true);
    std::vector<std::string> texts;
    for (const TLumExceptFrame& frame : stack->ExceptFrames()) {
        texts.push_back(FrameText(frame.CallerAddress, false, true, true));
    }
    AppendExceptFrameLines(stack->ExceptFrames(), texts, lines);
    lines.push_back(SeparatorLine());
}

void AppendStackFrames(const TLumStackInfoList* stack, TReportLines& lines) {
    if (stack) {
        AppendFramesTo(*stack, lines, false, false, false);
    }
}
