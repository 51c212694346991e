#pragma once
// Processor faults as exceptions of the runtime's classes. A fault in the executable's own code
// (an access violation, a division by zero, a stack overflow, ...) is raised as an exception
// at the faulting instruction, so an ordinary catch handles it and the stack unwinds as for a
// throw; the raise hooks see it like any raise (errors/LumStackTrace.h). Faults in other
// modules are left to those modules' own handlers. The win32 build compiles with
// -fnon-call-exceptions and -fasynchronous-unwind-tables so that a faulting instruction can
// unwind (cmake/Lum.cmake).

#include "toolkit/base/LumUnits.h"

#include <cstdint>
#include <string>

/// The system's codes of the faults that are raised as exceptions.
enum : std::uint32_t {
    kFaultAccessViolation = 0xC0000005,
    kFaultIllegalInstruction = 0xC000001D,
    kFaultIntDivideByZero = 0xC0000094,
    kFaultIntOverflow = 0xC0000095,
    kFaultPrivilegedInstruction = 0xC0000096,
    kFaultStackOverflow = 0xC00000FD,
};

/// What is known of a fault when it is raised.
struct TProcessorFault {
    std::uint32_t Code = 0;
    /// The faulting instruction.
    std::uint32_t Address = 0;
    /// The file name of the module that holds the instruction; empty when none does.
    std::u16string ModuleName;
    /// For an access violation: the kind of access (0 read, 1 write, 8 execution) and the
    /// address accessed.
    std::uint32_t Access = 0;
    std::uint32_t Target = 0;
};

/// Whether faults of this code are raised as exceptions.
bool IsMappedFault(std::uint32_t code);

/// Raises the runtime's exception for a fault (an EExternal): EAccessViolation "Access
/// violation at address %p in module '%s'. %s of address %p" (without the module part when no
/// module holds the instruction), EDivByZero, EIntOverflow, EStackOverflow, EPrivilege, and
/// EExternalException "External exception %x" for an illegal instruction.
[[noreturn]] void RaiseProcessorFault(const TProcessorFault& fault);
