#pragma once
// Shortcuts: a key with its shift keys, and the texts menus show and form texts carry for them.
// The key names and modifier words are resource strings, so a translation shows its own.

#include <cstdint>
#include <string>
#include <string_view>

/// A key with its shift keys: the virtual key in the low byte, scShift, scCtrl, scAlt above.
using TShortCut = std::uint16_t;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

/// "Shift+", "Ctrl+" and "Alt+" as they apply, then the key's name ("Ctrl+N", "F5", "Del"),
/// the words taken from the active resource module's strings; empty for a key without a name.
std::u16string ShortCutToText(TShortCut shortCut);
/// The shortcut that ShortCutToText writes as the text (modifier words without regard to
/// case); 0 for a text that names no key.
TShortCut TextToShortCut(std::u16string_view text);
