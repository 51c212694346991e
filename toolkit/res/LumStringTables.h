#pragma once
// Resource strings as modules declare them in .rstr files, and what the build makes of them:
// string-table resources, the name map and a C++ header per module.
//
// A .rstr file holds one declaration per line; blank lines and lines starting with "#" are
// ignored:
//     Identifier [Id] = "Text"
// Id is a fixed string id (1 to 65535) for strings whose id others rely on. The text takes the
// escapes \r \n \t \\ \" and \uXXXX; other characters are UTF-8.

#include "toolkit/res/LumResFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TDeclaredString {
    std::string Module;
    std::string Identifier;
    int FixedId = -1;
    std::u16string Text;
    std::uint16_t Id = 0; // assigned by AssignStringIds
};

/// Parses one module's declarations; raises std::runtime_error with "source:line: problem".
std::vector<TDeclaredString> ParseStringDeclarations(std::string_view module,
                                                     std::string_view content,
                                                     std::string_view source);

/// Gives each string its id: fixed ids as declared, the others counting down from 65535 in
/// declaration order, skipping ids already taken. Raises std::runtime_error on a repeated
/// fixed id or qualified name, or when the ids run out.
void AssignStringIds(std::vector<TDeclaredString>& strings);

/// The RT_STRING blocks holding the strings (16 per block, block = id / 16 + 1), language
/// neutral.
std::vector<TResEntry> StringTableResources(const std::vector<TDeclaredString>& strings);

/// The name map: "id=Module_Identifier" and CR LF for every string, in ascending id order.
std::u16string NameMapText(const std::vector<TDeclaredString>& strings);

/// The C++ header of one module: a TResStringRec constant per string in a namespace named
/// after the module.
std::string ModuleHeaderText(std::string_view module, const std::vector<TDeclaredString>& strings);
