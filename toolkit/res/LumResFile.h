#pragma once
// The 32-bit resource file format (.res): the input and output of the resource compiler.
// Each entry is a header (size, type, name, language, flags) followed by its data, both
// padded to four bytes; the file starts with an empty entry.

#include "toolkit/res/LumResId.h"

#include <cstdint>
#include <span>
#include <vector>

struct TResEntry {
    TResId Type;
    TResId Name;
    std::uint16_t Language = 0;
    std::uint16_t MemoryFlags = 0x0030; // moveable, pure
    std::uint32_t DataVersion = 0;
    std::uint32_t Version = 0;
    std::uint32_t Characteristics = 0;
    std::vector<std::uint8_t> Data;
};

/// Parses a .res file; raises std::runtime_error naming what is malformed.
std::vector<TResEntry> ReadResFile(std::span<const std::uint8_t> bytes);

/// Writes entries in the .res format, starting with the empty entry.
std::vector<std::uint8_t> WriteResFile(const std::vector<TResEntry>& entries);

/// Orders entries by type, name and language (numbers before names, as in a resource
/// directory); raises std::runtime_error when two entries share all three.
void SortResEntries(std::vector<TResEntry>& entries);
