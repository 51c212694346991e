#pragma once
// The program's frame: start the units, run the main block, stop the units.

#include "toolkit/base/LumUnits.h"

#include <exception>
#include <span>

/// Starts the units in order, runs the main block, then stops them in reverse. An exception
/// that escapes a start, the main block or a stop (other than the silent abort) is shown in
/// a message box; the silent abort is not shown. Returns the process exit code: 0 when every
/// step completed, 1 otherwise.
int RunProgram(std::span<TUnit* const> units, void (*mainBlock)());

/// Shows an exception that nothing else handled: its class name and message in a message box.
void ShowFatalException(const std::exception& error);
