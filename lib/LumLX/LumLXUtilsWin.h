#pragma once
// The general utilities whose declarations take native or window types (Win32): a COM class
// id, the owner window of shell execution, the screen's cursors. Everything else is in
// LumLXUtils.h, which this includes.

#include "lib/LumLX/LumLXUtils.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumControlBase.h"

#include <string>

// ---- COM servers ----

/// The file of the InprocServer32 registered for the class (HKEY_CLASSES_ROOT): a REG_EXPAND_SZ
/// value expanded, a path without folder or with a relative one taken from the system folder,
/// where the program's locked-down library search would load it from. Empty when none is
/// registered, when the value holds no text (a number, binary data), or when it names a file
/// only relative to the current drive or folder ("\x.dll", "C:x.dll"). Never raises for what
/// the registry holds.
std::u16string GetInprocServerPath(const GUID& classId);

// ---- Shell execution ----

/// ShellExecuteW; an empty verb, directory or parameter text is passed as none. A result of 32
/// or less raises as CheckShellExecuteResult says.
void ShellExec(HWND owner, const std::u16string& verb, const std::u16string& file, int showCommand,
               const std::u16string& directory, const std::u16string& parameters);

// ---- Cursor stack ----

/// Saves the screen's cursor on the stack and shows the given one. Raises ELumInternalError
/// "Internal Error: CursorStack not assigned." while the unit is stopped.
void PushCursor(TCursor cursor);

/// Shows the cursor saved last and drops it from the stack; crDefault when the stack is empty.
/// Raises the "not assigned" error while the unit is stopped.
void PopCursor();
