// The raise hooks and stack capture of the win32 build. Every throw goes through the wrapped
// throw entry (-Wl,--wrap=__cxa_throw), which notes the raise and, while tracking is on, calls
// the notifiers before the real throw starts unwinding.

#include "errors/LumStackTraceWin.h"

#include "debuginfo/LumDebugInfo.h"
#include "errors/LumRaiseHooks.h"
#include "errors/LumSysFaultsWin.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/win/LumProgram.h"
#include "toolkit/win/LumSystemWin.h"

#include <cxxabi.h>
#include <tlhelp32.h>
#include <unwind.h>

#include <cstring>
#include <exception>
#include <optional>

// The bounds of the raise hooks' code: the linker puts ".text$lumhook0", "1" and "2" in this
// order, and the hooks are in "1".
asm(R"(
    .section .text$lumhook0,"xr"
    .globl _LumRaiseHookBegin
_LumRaiseHookBegin:
    .section .text$lumhook2,"xr"
    .globl _LumRaiseHookEnd
_LumRaiseHookEnd:
    .text
)");
extern "C" const char LumRaiseHookBegin[];
extern "C" const char LumRaiseHookEnd[];

namespace {

constinit std::atomic<bool> tracking{false};

std::mutex& TrackingLock() {
    static std::mutex lock;
    return lock;
}

constinit thread_local std::optional<TFaultOrigin> faultBeingRaised;

// The object of this thread's latest throw when the notifiers were left out because the
// throwing function catches it itself; thrown again from that handler, it is notified then.
constinit thread_local const void* unnotifiedThrow = nullptr;

std::uint32_t AddressOf(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The call instruction before a return address of our own code (which is readable).
std::uint32_t CallerOf(std::uint32_t returnAddress) {
    std::array<std::uint8_t, 8> before;
    std::memcpy(before.data(), reinterpret_cast<const void*>(returnAddress - 8), before.size());
    int length = CallInstructionLength(before);
    return returnAddress - (length ? length : 1);
}

// ---- Modules whose frames count ----

// The readable parts of a module's image, from the protection of its pages.
TModuleImage ModuleImage(std::uint32_t start, std::uint32_t size) {
    TModuleImage module{start, start + size, {}};
    std::uint32_t at = start;
    while (at < module.End) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(reinterpret_cast<const void*>(static_cast<std::uintptr_t>(at)), &region,
                         sizeof region) == 0) {
            RaiseLastOSError();
        }
        std::uint32_t end = std::min<std::uint64_t>(
            AddressOf(region.BaseAddress) + std::uint64_t{region.RegionSize}, module.End);
        constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY |
                                    PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                                    PAGE_EXECUTE_WRITECOPY;
        if (region.State == MEM_COMMIT && (region.Protect & kReadable) &&
            !(region.Protect & PAGE_GUARD)) {
            module.Readable.push_back(
                {at,
                 {reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(at)),
                  end - at}});
        }
        at = end;
    }
    return module;
}

std::uint32_t ImageSize(HMODULE module) {
    auto image = reinterpret_cast<const std::uint8_t*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew)
        ->OptionalHeader.SizeOfImage;
}

using TModuleList = std::vector<TModuleImage>;

// The runtime's own module (the executable), or every module of the process.
std::shared_ptr<const TModuleList> BuildModuleList(bool allModules) {
    auto modules = std::make_shared<TModuleList>();
    if (!allModules) {
        HMODULE exe = GetModuleHandleW(nullptr);
        modules->push_back(ModuleImage(AddressOf(exe), ImageSize(exe)));
        return modules;
    }
    TScopedKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
    Win32Check(snapshot.IsValid());
    MODULEENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot.Get(), &entry); more;
         more = Module32NextW(snapshot.Get(), &entry)) {
        modules->push_back(ModuleImage(AddressOf(entry.modBaseAddr), entry.modBaseSize));
    }
    return modules;
}

// The list kept with toKeepModuleList, built once for each choice of modules.
struct TKeptModules {
    std::mutex Lock;
    std::shared_ptr<const TModuleList> Modules;
    bool AllModules = false;
};

TKeptModules& KeptModules() {
    static TKeptModules kept;
    return kept;
}

std::shared_ptr<const TModuleList> ModuleList(unsigned options) {
    bool all = options & static_cast<unsigned>(TTraceOption::toAllModules);
    if (!(options & static_cast<unsigned>(TTraceOption::toKeepModuleList))) {
        return BuildModuleList(all);
    }
    TKeptModules& kept = KeptModules();
    std::lock_guard lock(kept.Lock);
    if (!kept.Modules || kept.AllModules != all) {
        kept.Modules = BuildModuleList(all);
        kept.AllModules = all;
    }
    return kept.Modules;
}

// ---- Exception frames ----

// The readable bytes from an address to the end of its memory region.
std::span<const std::uint8_t> ReadableFrom(const void* address) {
    MEMORY_BASIC_INFORMATION region;
    if (!address || VirtualQuery(address, &region, sizeof region) != sizeof region ||
        region.State != MEM_COMMIT || (region.Protect & (PAGE_NOACCESS | PAGE_GUARD))) {
        return {};
    }
    auto start = static_cast<const std::uint8_t*>(address);
    auto end = static_cast<const std::uint8_t*>(region.BaseAddress) + region.RegionSize;
    return {start, static_cast<size_t>(end - start)};
}

struct TExceptFrameWalk {
    const TRaiseInfo* Raise;
    const TCodeView* Code;
    bool PastHooks = false;
    std::vector<TLumExceptFrame> Frames;
};

_Unwind_Reason_Code VisitExceptFrame(_Unwind_Context* context, void* data) {
    auto& walk = *static_cast<TExceptFrameWalk*>(data);
    constexpr size_t kMostFrames = 256;
    int beforeInstruction = 0;
    auto ip = static_cast<std::uint32_t>(_Unwind_GetIPInfo(context, &beforeInstruction));
    // The walk starts inside the capture; the raise's own frames begin after the raise hooks.
    if (walk.Code->InRaiseHook(ip)) {
        walk.PastHooks = true;
        return _URC_NO_REASON;
    }
    if (!walk.PastHooks || ip == 0) {
        return _URC_NO_REASON;
    }
    std::uint32_t at = beforeInstruction ? ip : ip - 1;
    auto lsda = static_cast<const std::uint8_t*>(_Unwind_GetLanguageSpecificData(context));
    auto start = static_cast<std::uint32_t>(_Unwind_GetRegionStart(context));
    if (lsda && at >= start) {
        if (auto kind = LandingPadKind(ReadableFrom(lsda), at - start)) {
            // A fault's frame "returns" to the byte after the faulting instruction.
            std::uint32_t caller = at == walk.Raise->Address ? at : CallerOf(ip);
            walk.Frames.push_back({caller, *kind});
        }
    }
    return walk.Frames.size() < kMostFrames ? _URC_NO_REASON : _URC_END_OF_STACK;
}

// The frames with code for the raise, from the unwind tables of the frames it will pass.
std::vector<TLumExceptFrame> ExceptFrames(const TRaiseInfo& raise, const TCodeView& code) {
    TExceptFrameWalk walk{&raise, &code, false, {}};
    _Unwind_Backtrace(&VisitExceptFrame, &walk);
    return std::move(walk.Frames);
}

// ---- Raises that their own function catches ----

// Whether one of the handler's catch clauses takes an exception of the type. A clause that
// cannot be read, or a throw() list, counts as not taking it.
bool ClausesTake(std::span<const std::uint8_t> lsda, const TCatchClauses& clauses,
                 const std::type_info* thrown, const void* object) {
    for (std::int64_t filter : clauses.Filters) {
        std::optional<TTypeEntry> entry = TypeEntryAt(lsda, clauses, filter);
        if (!entry) {
            return false;
        }
        std::uint32_t value = entry->Value;
        if (value == 0) {
            return true;
        }
        std::uint8_t application = clauses.TypeEncoding & 0x70;
        if (application == 0x10) {
            value += AddressOf(lsda.data() + entry->Offset);
        } else if (application != 0) {
            return false;
        }
        if (clauses.TypeEncoding & 0x80) {
            value = *reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(value));
        }
        auto type = reinterpret_cast<const std::type_info*>(static_cast<std::uintptr_t>(value));
        void* adjusted = const_cast<void*>(object);
        if (type->__do_catch(thrown, &adjusted, 1)) {
            return true;
        }
    }
    return false;
}

struct TRaisingFrameSearch {
    const std::type_info* Type;
    const void* Object;
    bool PastHooks = false;
    bool Caught = false;
};

_Unwind_Reason_Code VisitRaisingFrame(_Unwind_Context* context, void* data) {
    auto& search = *static_cast<TRaisingFrameSearch*>(data);
    int beforeInstruction = 0;
    auto ip = static_cast<std::uint32_t>(_Unwind_GetIPInfo(context, &beforeInstruction));
    bool inHooks = ip >= AddressOf(LumRaiseHookBegin) && ip < AddressOf(LumRaiseHookEnd);
    if (!search.PastHooks || inHooks) {
        search.PastHooks = search.PastHooks || inHooks;
        return _URC_NO_REASON;
    }
    // The first frame after the hooks: the function that raised.
    std::uint32_t at = beforeInstruction ? ip : ip - 1;
    auto lsda = static_cast<const std::uint8_t*>(_Unwind_GetLanguageSpecificData(context));
    auto start = static_cast<std::uint32_t>(_Unwind_GetRegionStart(context));
    if (lsda && at >= start) {
        std::span<const std::uint8_t> bytes = ReadableFrom(lsda);
        if (std::optional<TCatchClauses> clauses = CatchClauses(bytes, at - start)) {
            search.Caught = ClausesTake(bytes, *clauses, search.Type, search.Object);
        }
    }
    return _URC_END_OF_STACK;
}

// Whether the function that threw catches the exception itself: the runtime's search for a
// handler ends in that frame, so the raise never reaches a report unless it is thrown again.
bool CaughtWhereRaised(const TRaiseInfo& raise) {
    TRaisingFrameSearch search{raise.Type, raise.Object};
    _Unwind_Backtrace(&VisitRaisingFrame, &search);
    return search.Caught;
}

// ---- Capture ----

void CaptureStack(const TRaiseInfo& raise) {
    unsigned options = TraceOptions().Value();
    if (!(options & static_cast<unsigned>(TTraceOption::toCaptureStack))) {
        return;
    }
    TStackBounds bounds = ThreadStackBounds();
    std::span<const std::uint32_t> stack;
    if (raise.StackPointer >= bounds.Low && raise.StackPointer < bounds.High &&
        raise.StackPointer % 4 == 0) {
        stack = {
            reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(raise.StackPointer)),
            (bounds.High - raise.StackPointer) / 4};
    }
    std::shared_ptr<const TModuleList> modules = ModuleList(options);
    TCodeView code(*modules, AddressOf(LumRaiseHookBegin), AddressOf(LumRaiseHookEnd));
    bool raw = options & static_cast<unsigned>(TTraceOption::toRawStackScan);
    std::vector<TLumStackInfoItem> items = RaiseFrames(raise, stack, raw, code);
    std::vector<TLumExceptFrame> exceptFrames;
    if (options & static_cast<unsigned>(TTraceOption::toCaptureExceptionFrames)) {
        exceptFrames = ExceptFrames(raise, code);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    TLumLocalTime time{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                       now.wMinute, now.wSecond, now.wMilliseconds};
    const void* raised =
        raise.LumException ? static_cast<const void*>(raise.LumException) : raise.Object;
    GlobalStackList().Add(std::make_shared<const TLumStackInfoList>(
        GetCurrentThreadId(), time, std::move(items), raised, std::move(exceptFrames)));
}

// What a hook knows of a throw or rethrow whose hook frame is `hookFrame`: the caller's frame
// pointer, then the return into the throwing code.
TRaiseInfo ThrowInfo(const void* object, const std::type_info* type,
                     const std::uint32_t* hookFrame) {
    TRaiseInfo raise;
    raise.Object = object;
    raise.Type = type;
    void* adjusted = const_cast<void*>(object);
    if (typeid(Exception).__do_catch(type, &adjusted, 1)) {
        raise.LumException = static_cast<const Exception*>(adjusted);
    }
    raise.Address = CallerOf(hookFrame[1]);
    raise.StackPointer = AddressOf(hookFrame);
    raise.FramePointer = AddressOf(hookFrame);
    return raise;
}

// What the throw hook knows of a throw, passed on to the notifiers. Kept out of the hook so
// that the hook's own code is only the call of this and of the real throw.
__attribute__((noinline)) void NotifyThrow(void* object, std::type_info* type,
                                           const std::uint32_t* hookFrame) noexcept {
    TraceStartup(type->name());
    TRaiseInfo raise = ThrowInfo(object, type, hookFrame);
    if (std::optional<TFaultOrigin> fault = std::exchange(faultBeingRaised, std::nullopt)) {
        raise.OSException = true;
        raise.Address = fault->Address;
        raise.StackPointer = fault->StackPointer;
        raise.FramePointer = fault->FramePointer;
    }
    RecordRaise(raise.LumException, raise.Address);
    unnotifiedThrow = nullptr;
    if (tracking.load(std::memory_order_acquire)) {
        // A throw that its own function catches costs no capture: it cannot reach a report
        // unless the handler throws it again.
        if (!raise.OSException && CaughtWhereRaised(raise)) {
            unnotifiedThrow = object;
        } else {
            NotifyRaise(raise);
        }
    }
    TraceStartup("raise noted");
}

// A rethrow (`throw;`) of the throw that was not notified: notified now, from the handler.
__attribute__((noinline)) void NotifyRethrow(const std::uint32_t* hookFrame) noexcept {
    const void* unnotified = std::exchange(unnotifiedThrow, nullptr);
    if (!unnotified || !tracking.load(std::memory_order_acquire)) {
        return;
    }
    // The C++ library's exception_ptr is the thrown object's address and nothing else.
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    std::exception_ptr handled = std::current_exception();
    void* current = nullptr;
    std::memcpy(&current, &handled, sizeof current);
    if (current && current == unnotified) {
        NotifyRaise(ThrowInfo(current, abi::__cxa_current_exception_type(), hookFrame));
    }
}

void Stop() {
    StopExceptionTracking();
    GlobalStackList().Clear();
    TKeptModules& kept = KeptModules();
    std::lock_guard lock(kept.Lock);
    kept.Modules.reset();
}

} // namespace

extern "C" [[noreturn]] void __real___cxa_throw(void* object, std::type_info* type,
                                                void (*destructor)(void*));

extern "C" [[noreturn]] LUM_RAISE_HOOK_CODE void
__wrap___cxa_throw(void* object, std::type_info* type, void (*destructor)(void*)) {
    NotifyThrow(object, type, static_cast<const std::uint32_t*>(__builtin_frame_address(0)));
    __real___cxa_throw(object, type, destructor);
}

extern "C" [[noreturn]] void __real___cxa_rethrow();

extern "C" [[noreturn]] LUM_RAISE_HOOK_CODE void __wrap___cxa_rethrow() {
    NotifyRethrow(static_cast<const std::uint32_t*>(__builtin_frame_address(0)));
    __real___cxa_rethrow();
}

// The C++ library's last words before an abort name the exception's type through its
// demangler (about 50 KB of code and data). A windowed program has no console to show them
// on, so the name stays as the compiler wrote it and the demangler is not linked
// (-Wl,--wrap=__cxa_demangle). Status -2: "not a name the demangler takes".
extern "C" char* __wrap___cxa_demangle(const char*, char*, size_t*, int* status) {
    if (status != nullptr) {
        *status = -2;
    }
    return nullptr;
}

void SetFaultBeingRaised(const TFaultOrigin& origin) {
    faultBeingRaised = origin;
}

std::shared_ptr<const TLumStackInfoList> LastCapturedStack() {
    return GlobalStackList().Find(GetCurrentThreadId());
}

std::shared_ptr<const TLumStackInfoList> CapturedStackOf(const Exception& error) {
    return GlobalStackList().FindRaised(GetCurrentThreadId(), &error);
}

void StartExceptionTracking() {
    std::lock_guard lock(TrackingLock());
    if (tracking.load()) {
        return;
    }
    LumSysFaultsUnit.Start();
    AddExceptNotifier(&CaptureStack, TNotifierPriority::npFirst);
    tracking.store(true, std::memory_order_release);
}

void StopExceptionTracking() {
    std::lock_guard lock(TrackingLock());
    if (!tracking.load()) {
        return;
    }
    tracking.store(false, std::memory_order_release);
    RemoveExceptNotifier(&CaptureStack);
    LumSysFaultsUnit.Stop();
}

bool ExceptionTrackingActive() {
    return tracking.load(std::memory_order_acquire);
}

TUnit LumStackTraceUnit("LumStackTrace", nullptr, &Stop);

// ---- Locations ----

namespace {

HMODULE ModuleOf(std::uint32_t address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(address)), &module)) {
        return nullptr;
    }
    // Address 0 reads as "no name" and gives the executable: check the answer.
    std::uint32_t start = AddressOf(module);
    return address >= start && address - start < ImageSize(module) ? module : nullptr;
}

// The module's packed debug information, as mapped with its image.
std::span<const std::uint8_t> DebugSection(HMODULE module) {
    auto image = reinterpret_cast<const std::uint8_t*>(module);
    std::uint32_t size = ImageSize(module);
    auto headers = TPeImage::Parse({image, size});
    const TPeSection* section = headers ? headers->FindSection(kDebugSectionName) : nullptr;
    if (!section || section->VirtualAddress > size ||
        section->VirtualSize > size - section->VirtualAddress) {
        return {};
    }
    return {image + section->VirtualAddress, section->VirtualSize};
}

} // namespace

std::optional<TLumLocationInfo> GetLocationInfo(std::uint32_t address) {
    HMODULE module = ModuleOf(address);
    if (!module) {
        return std::nullopt;
    }
    // Inflated on the first lookup and kept: nothing of it is done at start-up.
    auto found = KeptDebugSection(DebugSection(module)).Lookup(address - AddressOf(module));
    if (!found) {
        return std::nullopt;
    }
    return TLumLocationInfo{std::move(*found), address, kDebugSectionName};
}

std::string ModuleNameOf(std::uint32_t address) {
    std::u16string name = ModuleFileNameOf(address);
    return WideToAnsi(name.substr(name.find_last_of(u"\\/") + 1));
}

std::string FrameText(std::uint32_t address, bool includeModuleName, bool includeAddressOffset,
                      bool includeLineOffset) {
    std::optional<TLumLocationInfo> location = GetLocationInfo(address);
    return FormatFrameText(address, location ? &*location : nullptr,
                           includeModuleName ? ModuleNameOf(address) : std::string(),
                           includeModuleName, includeAddressOffset, includeLineOffset);
}

void AppendFramesTo(const TLumStackInfoList& list, std::vector<std::string>& lines,
                    bool includeModuleName, bool includeAddressOffset, bool includeLineOffset) {
    for (const TLumStackInfoItem& item : list.Items()) {
        lines.push_back(FrameText(item.CallerAddress, includeModuleName, includeAddressOffset,
                                  includeLineOffset));
    }
}
