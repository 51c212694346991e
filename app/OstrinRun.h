#pragma once
// How the program runs: with its window, or unattended ("/S") with no window at all, its
// failures kept in the event log and told by the exit code.

#include <span>
#include <string>
#include <string_view>

class TUnit;

/// Whether the command line (as GetCommandLineW gives it: the program's name first) asks for
/// the unattended run: one of its arguments is "/S" (any case, quoted or not). Other arguments
/// are ignored.
bool IsUnattendedCommandLine(std::u16string_view commandLine);

/// Runs the program and answers its exit code (TOstrinExitCode). Unattended, the units start,
/// the prerequisite check and the setup job run without any window or message box, and every
/// failure and the restart notice are kept in the event log (in a numbered error file when
/// the event log refuses them). Otherwise RunProgram starts the units and runs `mainBlock`.
int RunOstrin(std::span<TUnit* const> units, void (*mainBlock)());

/// Keeps a text of the unattended run: in the event log, or in a numbered error file when the
/// event log refuses it. Raises nothing; a text that neither takes is lost, and the exit code
/// still tells what happened.
void KeepUnattendedText(const std::u16string& text);
