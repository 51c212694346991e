#pragma once
// The program's frame: start the units, run the main block, stop the units; and the start-up
// trace that shows where the time of a start goes.

#include "toolkit/base/LumUnits.h"

#include <exception>
#include <span>
#include <string_view>

/// Starts the units in order, runs the main block, then stops them in reverse. An exception
/// that escapes a start, the main block or a stop (other than the silent abort) is shown in
/// a message box; the silent abort is not shown. Returns the process exit code: 0 when every
/// step completed, 1 otherwise.
int RunProgram(std::span<TUnit* const> units, void (*mainBlock)());

/// Shows an exception that nothing else handled: its class name and message in a message box.
void ShowFatalException(const std::exception& error);

/// Marks a point of the start-up trace. When the environment variable LUM_STARTUP_TRACE names
/// a file, the first mark turns the trace on: from then on every mark, and every unit started
/// or stopped, is kept with its time since the process was created, and at the process's exit
/// the marks are written to that file, one line each (microseconds since creation, since the
/// previous mark, the label cut to 63 characters). Without the variable a mark costs a test of
/// a flag. Any thread; marks beyond the first 1,024 are dropped.
void TraceStartup(std::string_view label) noexcept;
