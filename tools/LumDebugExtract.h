#pragma once
// From an unstripped link to the packed debug information: the functions and line tables of
// its DWARF, and for code without DWARF (the static runtime libraries) the function symbols of
// its COFF symbol table, with readable names.

#include "debuginfo/LumDebugInfo.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

/// Everything LUM.DBG holds for the 32-bit PE image: addresses relative to its image base,
/// each function's unit and first line from where it is written, files without their
/// folders. Code
/// outside the image's code sections (the copies of shared functions that the linker
/// discarded) is left out. Raises std::runtime_error when the bytes are no PE image or their
/// DWARF or symbol table is malformed.
TDebugInfo ExtractDebugInfo(std::span<const std::uint8_t> image);

/// A demangled C++ name without what a stack line does not need: the parameter list, the
/// qualifiers after it, the return type of a template function and the "[clone ...]" notes.
/// "int ns::Max<int>(int, int) const [clone .cold]" gives "ns::Max<int>".
std::string ReadableName(std::string_view demangled);

/// The name with each template argument list that stands inside another one shortened to
/// "<...>": a stack line needs the template, not every argument of its arguments.
/// "std::vector<std::basic_string<char> >::push_back" gives
/// "std::vector<std::basic_string<...> >::push_back". An operator's name is kept from
/// "operator" on, since its "<" and ">" are no brackets.
std::string BriefName(std::string_view name);

/// A symbol of the i686 COFF symbol table as a readable name: the leading underscore of C
/// symbols and the "@n" of stdcall and fastcall symbols go; C++ symbols are demangled and
/// made readable. "__ZN11TOstrinForm11Timer1TimerEP14TLumPersistent" gives
/// "TOstrinForm::Timer1Timer", "_GetTickCount@0" gives "GetTickCount".
std::string ReadableSymbolName(std::string_view symbol);

/// A function's name as DWARF gives it, with the classes and namespaces that the symbol at its
/// entry names where DWARF has none (link-time optimised code is described without them):
/// ("Timer1Timer", "__ZN11TOstrinForm11Timer1TimerEP14TLumPersistent") gives
/// "TOstrinForm::Timer1Timer". Only a plain scope is taken: not an anonymous namespace, which
/// DWARF names leave out as well, nor a function's local class.
std::string ScopedName(std::string_view dwarfName, std::string_view symbol);

/// The unit of a source file: its name without folders and extension ("OstrinFrm").
std::string UnitOfFile(std::string_view path);

/// The file name without folders ("OstrinFrm.cpp").
std::string FileNameOf(std::string_view path);
