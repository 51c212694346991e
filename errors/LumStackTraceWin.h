#pragma once
// Stack capture of the running process (Win32): the captured stacks, tracking, and frame texts
// named from the debug information of the loaded modules.

#include "errors/LumStackTrace.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// The current thread's latest captured stack, or null.
std::shared_ptr<const TLumStackInfoList> LastCapturedStack();

/// The stack this thread captured when it raised `error`, even when it raised others since
/// (within the few latest raises of the process); the thread's latest stack for an object it
/// did not raise, or one raised too long ago; null when the thread has none.
std::shared_ptr<const TLumStackInfoList> CapturedStackOf(const Exception& error);

/// Turns on capture at every raise and the mapping of processor faults to exceptions
/// (LumSysFaultsUnit); starting twice does nothing.
void StartExceptionTracking();
/// Turns capture off again and removes the raise hooks.
void StopExceptionTracking();
bool ExceptionTrackingActive();

/// Stops tracking and releases the captured stacks and the module list.
extern TUnit LumStackTraceUnit;
/// The location of an address of the executable (or of another module that carries LUM.DBG);
/// nothing for other addresses.
std::optional<TLumLocationInfo> GetLocationInfo(std::uint32_t address);

/// The file name of the module that holds the address; empty when none does.
std::string ModuleNameOf(std::uint32_t address);

/// One frame's line: "[%p]" without a location; "[%p] unit.procedure" (or "[%p] procedure"
/// without a unit) plus " + $offset" from the procedure's start without a line; with a line
/// "[%p] unit.procedure (Line %u, \"file\" + lines since the procedure's first line)" plus
/// " + $offset" (or " - $offset") from the line's start. Module names put "{name        }"
/// right after the bracketed address.
std::string FrameText(std::uint32_t address, bool includeModuleName, bool includeAddressOffset,
                      bool includeLineOffset);

/// Appends one line per frame of the list, innermost first.
void AppendFramesTo(const TLumStackInfoList& list, std::vector<std::string>& lines,
                    bool includeModuleName, bool includeAddressOffset, bool includeLineOffset);
