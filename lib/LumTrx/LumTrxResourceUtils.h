#pragma once
// The parts of translation-module writing that need no system: string tables held as lists of
// their strings, resource texts, and telling a form resource by its first bytes.
// The Win32 operations (resource updates, enumeration, copying) are in
// LumTrxResourceUtilsWin.h.

#include "toolkit/res/LumStringTables.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// A string of a string table with its id.
struct TBlockString {
    std::uint16_t Id = 0;
    std::u16string Text;
    bool operator==(const TBlockString&) const = default;
};

/// One string-table block: its non-empty strings in slot order.
using TStringBlockList = std::vector<TBlockString>;
using TStringBlockLists = std::vector<TStringBlockList>;

/// The non-empty strings of string-table resource `block` (its number, from 1) from its bytes;
/// a block cut short gives the strings before the cut, and a number outside 1 to 4096, where no
/// string id lies, gives none.
TStringBlockList ReadStringBlockList(std::uint16_t block, std::span<const std::uint8_t> data);

/// Replaces the text of string `id` in the first non-empty list whose first string lies in the
/// id's block. Nothing happens when there is no such list or it lacks the id: a string is only
/// ever changed, never added.
void PutString(TStringBlockLists& blocks, std::uint16_t id, std::u16string_view text);

/// The block of a non-empty list: its number (the block of its first string) and the 16 slots,
/// each string in the slot of its own id, the others empty. An empty list has no block
/// (number 0). A string whose id lies outside the block raises ELumInternalError.
struct TStringBlockSlots {
    std::uint16_t Block = 0;
    TStringBlock Slots;
};
TStringBlockSlots StringBlockSlots(const TStringBlockList& list);

/// Whether data starting with these bytes is a binary form stream: its first byte is 255 or
/// its first four bytes are the filer signature "LPF0".
bool IsFormStreamStart(std::span<const std::uint8_t> bytes);

/// A resource text's bytes: UTF-16LE, no terminator.
std::vector<std::uint8_t> ResourceTextBytes(std::u16string_view text);
/// A resource text from its bytes: size / 2 characters (an odd last byte is not a character).
std::u16string ResourceTextOf(std::span<const std::uint8_t> data);

/// Resource texts are stored under upper-case names: raises Exception "Internal Error:
/// SaveRcText.ResName must be upper case." when the name differs from its upper case.
void CheckResourceTextName(std::u16string_view name);
