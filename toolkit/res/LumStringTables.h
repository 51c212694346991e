#pragma once
// Resource strings as modules declare them in .rstr files, and what the build makes of them:
// string-table resources, the name map and a C++ header per module; and the readers of the
// string-table blocks and the name map that the runtime and the tests use.
//
// A .rstr file holds one declaration per line; blank lines and lines starting with "#" are
// ignored:
//     Identifier [Id] = "Text"
// Id is a fixed string id (1 to 65535) for strings whose id others rely on. The text takes the
// escapes \r \n \t \\ \" and \uXXXX; other characters are UTF-8.

#include "toolkit/res/LumResFile.h"

#include <array>
#include <cstdint>
#include <span>
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
std::vector<TDeclaredString>
ParseStringDeclarations(std::string_view module, std::string_view content, std::string_view source);

/// Gives each string its id: fixed ids as declared, the others counting down from 65535 in
/// declaration order, skipping ids already taken. Raises std::runtime_error on a repeated
/// fixed id or qualified name, or when the ids run out.
void AssignStringIds(std::vector<TDeclaredString>& strings);

// ---- String-table blocks ----
// An RT_STRING resource holds the 16 strings with ids (block - 1) * 16 to (block - 1) * 16 + 15,
// each a 16-bit length and that many UTF-16LE code units (an absent string has length 0).

constexpr size_t kStringsPerBlock = 16;
using TStringBlock = std::array<std::u16string, kStringsPerBlock>;

/// The block that holds a string id, and the string's index in it.
constexpr std::uint16_t StringBlockOf(std::uint16_t id) {
    return static_cast<std::uint16_t>(id / kStringsPerBlock + 1);
}
constexpr unsigned StringIndexOf(std::uint16_t id) {
    return id % kStringsPerBlock;
}

/// The block's bytes; a string longer than 65535 code units raises std::runtime_error.
std::vector<std::uint8_t> EncodeStringBlock(const TStringBlock& strings);

/// The strings of a block in order: all 16, or the whole ones before the point where the block
/// is cut short (a length or text past its end). Bytes after the 16th string are ignored.
/// Raises nothing.
std::vector<std::u16string> DecodeStringBlock(std::span<const std::uint8_t> block);

/// The RT_STRING blocks holding the strings (16 per block, block = id / 16 + 1), language
/// neutral.
std::vector<TResEntry> StringTableResources(const std::vector<TDeclaredString>& strings);

// ---- The name map (section and resource LUM.RSM) ----
// UTF-16LE text without byte-order mark: for every resource string one line "id=Module_Identifier"
// ended by CR LF, in ascending id order, each id once.

struct TNameMapEntry {
    std::uint16_t Id = 0;
    /// The qualified identifier, "Module_Identifier".
    std::string Name;
    bool operator==(const TNameMapEntry&) const = default;
};

/// The map's entries of the declared strings, in ascending id order.
std::vector<TNameMapEntry> NameMapEntries(const std::vector<TDeclaredString>& strings);

/// The name map as text.
std::u16string NameMapText(const std::vector<TDeclaredString>& strings);

/// The map's bytes (UTF-16LE) for entries in ascending id order.
std::vector<std::uint8_t> WriteNameMap(const std::vector<TNameMapEntry>& entries);

/// The entries of a map's bytes. Zero bytes after the text (the padding of a section's raw data)
/// are ignored. A map that breaks the format (an odd size, a line without its CR LF, an id that
/// is no number from 1 to 65535 or that does not ascend, an empty or non-ASCII name) raises
/// std::runtime_error "name map line N: problem".
std::vector<TNameMapEntry> ReadNameMap(std::span<const std::uint8_t> bytes);

/// The C++ header of one module: a TResStringRec constant per string in a namespace named
/// after the module.
std::string ModuleHeaderText(std::string_view module, const std::vector<TDeclaredString>& strings);
