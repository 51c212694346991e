#pragma once
// The library's consistency checks: a failed one raises with a fixed text. Below the other
// modules of the library, which all call them.

#include <string>
#include <string_view>

/// Raises the base Exception with the message unless the condition holds.
void Check(bool condition, const std::u16string& message);

/// Raises ELumInternalError "Internal Error: %s not assigned." with the name when the object
/// is none.
void CheckAssigned(const void* object, std::u16string_view name);

/// Raises Exception "Internal Error: File does not exist: " + path unless a file (not a
/// folder) is at the path. Win32 only.
void CheckFileExists(const std::u16string& path);
