// Processor faults raised as exceptions. A vectored handler sees the fault before any frame
// handler; for a fault in the executable's code it makes the faulting thread continue in a
// small trampoline, as if the faulting instruction had called it, and the trampoline raises
// the exception. The trampoline's unwind rule leads the unwinder from it to the faulting
// instruction, so the exception unwinds from there like any throw.
//
// While the handler runs, the system's dispatcher keeps the fault's context on the stack right
// below the faulting stack pointer, so the handler writes nothing there: it hands the fault
// over in registers (EAX, ECX, EDX, which the faulting code no longer needs), and the
// trampoline pushes what it needs once the thread runs again.

#include "errors/LumSysFaultsWin.h"

#include "errors/LumRaiseHooks.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumSystemWin.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <iterator>

namespace {

// The codes the trampolines carry, by their index here.
constexpr std::uint32_t kMappedCodes[] = {
    kFaultAccessViolation, kFaultIllegalInstruction,    kFaultIntDivideByZero,
    kFaultIntOverflow,     kFaultPrivilegedInstruction,
};

// A stack overflow leaves too little stack to raise an exception on (under Wine, less than
// the unwinder needs), so its exception is raised on this reserve; one thread at a time.
constexpr size_t kReserveStackSize = 64 * 1024;
alignas(16) unsigned char reserveStack[kReserveStackSize];
constinit std::atomic<DWORD> reserveOwner{0};

// A stack overflow as the handler leaves it at the top of the reserve stack.
struct TOverflowRecord {
    std::uint32_t Address;
    std::uint32_t Access;
    std::uint32_t Target;
    std::uint32_t FramePointer;
    // The stack slot below the faulting stack pointer that is to hold the return into the
    // faulting code; the trampoline's unwind rule reads it from here.
    std::uint32_t ReturnSlot;
};
static_assert(offsetof(TOverflowRecord, ReturnSlot) == 16, "the unwind rule reads offset 16");

constinit std::uint32_t imageStart = 0;
constinit std::uint32_t imageEnd = 0;

struct TVectoredHandlerTraits {
    using Handle = PVOID;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { RemoveVectoredExceptionHandler(h); }
};
TScopedHandle<TVectoredHandlerTraits> faultHandler;

bool InImage(std::uint32_t address) {
    return address >= imageStart && address < imageEnd;
}

std::u16string ModuleNameAt(std::uint32_t address) {
    std::u16string name = ModuleFileNameOf(address);
    return name.substr(name.find_last_of(u"\\/") + 1);
}

[[noreturn]] void Raise(std::uint32_t code, std::uint32_t address, std::uint32_t access,
                        std::uint32_t target, std::uint32_t stackPointer,
                        std::uint32_t framePointer) {
    SetFaultBeingRaised({address, stackPointer, framePointer});
    TProcessorFault fault;
    fault.Code = code;
    fault.Address = address;
    fault.ModuleName = ModuleNameAt(address);
    fault.Access = access;
    fault.Target = target;
    RaiseProcessorFault(fault);
}

} // namespace

extern "C" void LumFaultTrampoline();
extern "C" void LumCallFaultTrampoline();
extern "C" void LumOverflowTrampoline();

// Raises a fault handed over in registers; the trampoline passes them on the stack.
extern "C" [[noreturn]] LUM_RAISE_HOOK_CODE __attribute__((force_align_arg_pointer, used)) void
LumRaiseFault(std::uint32_t codeAndAccess, std::uint32_t target, std::uint32_t returnSlot,
              std::uint32_t address, std::uint32_t framePointer) {
    // The faulting code's stack begins just above the return slot pushed for it; a bad call's
    // own return address is part of its caller's stack.
    std::uint32_t stackPointer = InImage(address) ? returnSlot + 4 : returnSlot;
    Raise(kMappedCodes[codeAndAccess & 0xFF], address, codeAndAccess >> 8, target, stackPointer,
          framePointer);
}

// Raises a stack overflow from its record on the reserve stack.
extern "C" [[noreturn]] LUM_RAISE_HOOK_CODE
    __attribute__((regparm(1), force_align_arg_pointer, used)) void
    LumRaiseOverflow(const TOverflowRecord* record) {
    Raise(kFaultStackOverflow, record->Address, record->Access, record->Target,
          record->ReturnSlot + 4, record->FramePointer);
}

// LumFaultTrampoline is entered at the faulting stack pointer with ECX = the faulting
// instruction, EDX = code index and access (access << 8), EAX = the address accessed. It
// pushes the faulting instruction's address + 1 as a return address (the unwinder looks up
// the byte before a return address, which is then the faulting instruction itself); from there
// on the frame is an ordinary one: CFA = ESP + 4, return address at CFA - 4, as in the common
// entry rules. LumCallFaultTrampoline is entered with the return address of a call of an
// address outside every module already at ESP.
//
// LumOverflowTrampoline is entered on the reserve stack with ESP at the overflow's record. It
// writes the return into the faulting code to the record's return slot, on the thread's own
// stack; its unwind rule takes the faulting frame's stack from there:
// CFA = [ESP + 16] + 4 (DW_CFA_def_cfa_expression: DW_OP_breg4 16, DW_OP_deref,
// DW_OP_plus_uconst 4), return address (column 8) at CFA - 4.
asm(R"(
    .section .text$lumhook1,"xr"
    .globl _LumFaultTrampoline
    .globl _LumCallFaultTrampoline
    .def _LumFaultTrampoline; .scl 2; .type 32; .endef
_LumFaultTrampoline:
    .cfi_startproc
    pushl %ecx
    incl (%esp)
_LumCallFaultTrampoline:
    pushl %ebp
    .cfi_adjust_cfa_offset 4
    pushl %ecx
    .cfi_adjust_cfa_offset 4
    leal 8(%esp), %ecx
    pushl %ecx
    .cfi_adjust_cfa_offset 4
    pushl %eax
    .cfi_adjust_cfa_offset 4
    pushl %edx
    .cfi_adjust_cfa_offset 4
    call _LumRaiseFault
    ud2
    .cfi_endproc

    .globl _LumOverflowTrampoline
    .def _LumOverflowTrampoline; .scl 2; .type 32; .endef
_LumOverflowTrampoline:
    .cfi_startproc
    .cfi_escape 0x0f, 0x05, 0x74, 0x10, 0x06, 0x23, 0x04
    .cfi_offset 8, -4
    movl (%esp), %ecx
    incl %ecx
    movl 16(%esp), %edx
    movl %ecx, (%edx)
    movl %esp, %eax
    call _LumRaiseOverflow
    ud2
    .cfi_endproc
    .text
)");

namespace {

LONG CALLBACK FaultHandler(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    CONTEXT& context = *pointers->ContextRecord;
    std::uint32_t code = record.ExceptionCode;
    if (!IsMappedFault(code) || (record.ExceptionFlags & EXCEPTION_NONCONTINUABLE)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    TStackBounds stack = ThreadStackBounds();
    std::uint32_t esp = context.Esp;
    if (esp % 4 != 0 || esp < stack.Low + 4 || esp >= stack.High) {
        return EXCEPTION_CONTINUE_SEARCH; // not on its thread's stack: nothing to unwind
    }
    std::uint32_t access = record.NumberParameters > 0 ? record.ExceptionInformation[0] : 0;
    std::uint32_t target = record.NumberParameters > 1 ? record.ExceptionInformation[1] : 0;
    bool inImage = InImage(context.Eip);
    // A call of an address outside every module (a null function pointer): the call's own
    // return address leads back into our code.
    bool badCall = !inImage && code == kFaultAccessViolation && access == 8 &&
                   InImage(*reinterpret_cast<const std::uint32_t*>(esp));
    if (!inImage && !badCall) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (code == kFaultStackOverflow) {
        DWORD free = 0;
        if (!inImage || !reserveOwner.compare_exchange_strong(free, GetCurrentThreadId())) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        auto overflow = reinterpret_cast<TOverflowRecord*>(reserveStack + kReserveStackSize) - 1;
        *overflow = {context.Eip, access, target, context.Ebp, esp - 4};
        context.Esp = reinterpret_cast<std::uintptr_t>(overflow);
        context.Eip = reinterpret_cast<std::uintptr_t>(&LumOverflowTrampoline);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    auto index = static_cast<std::uint32_t>(
        std::find(std::begin(kMappedCodes), std::end(kMappedCodes), code) -
        std::begin(kMappedCodes));
    context.Ecx = context.Eip;
    context.Edx = index | (access << 8);
    context.Eax = target;
    context.Eip =
        reinterpret_cast<std::uintptr_t>(inImage ? &LumFaultTrampoline : &LumCallFaultTrampoline);
    return EXCEPTION_CONTINUE_EXECUTION;
}

void Start() {
    auto image = reinterpret_cast<const std::uint8_t*>(GetModuleHandleW(nullptr));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    imageStart = reinterpret_cast<std::uintptr_t>(image);
    imageEnd = imageStart + nt->OptionalHeader.SizeOfImage;
    faultHandler.Reset(AddVectoredExceptionHandler(1, &FaultHandler));
    Win32Check(faultHandler.IsValid());
}

void Stop() {
    faultHandler.Reset();
}

} // namespace

TUnit LumSysFaultsUnit("LumSysFaults", &Start, &Stop);

// Every catch begins here (-Wl,--wrap=__cxa_begin_catch): once the thread that overflowed its
// stack is back in a handler, its stack has unwound, so its guard page can be set again and
// the reserve stack freed.
extern "C" void* __real___cxa_begin_catch(void* exception) noexcept;

extern "C" void* __wrap___cxa_begin_catch(void* exception) noexcept {
    DWORD owner = reserveOwner.load(std::memory_order_acquire);
    if (owner != 0 && owner == GetCurrentThreadId() && _resetstkoflw() != 0) {
        reserveOwner.store(0, std::memory_order_release);
    }
    return __real___cxa_begin_catch(exception);
}
