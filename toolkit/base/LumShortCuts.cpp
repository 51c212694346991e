// Shortcut values and their texts: modifier words and key names from the active resource
// module, so that a translation shows them in its language.
#include "toolkit/base/LumShortCuts.h"

#include "rstr/LumShortCuts.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"

#include <string>

namespace {

struct TKeyName {
    std::uint8_t Key;
    const TResStringRec& Name;
};

// Virtual-key codes with a name of their own; letters, digits and function keys are named
// after themselves.
const TKeyName kKeyNames[] = {
    {0x08, LumShortCuts::SmkcBkSp},  {0x09, LumShortCuts::SmkcTab},
    {0x0D, LumShortCuts::SmkcEnter}, {0x1B, LumShortCuts::SmkcEsc},
    {0x20, LumShortCuts::SmkcSpace}, {0x21, LumShortCuts::SmkcPgUp},
    {0x22, LumShortCuts::SmkcPgDn},  {0x23, LumShortCuts::SmkcEnd},
    {0x24, LumShortCuts::SmkcHome},  {0x25, LumShortCuts::SmkcLeft},
    {0x26, LumShortCuts::SmkcUp},    {0x27, LumShortCuts::SmkcRight},
    {0x28, LumShortCuts::SmkcDown},  {0x2D, LumShortCuts::SmkcIns},
    {0x2E, LumShortCuts::SmkcDel},
};

constexpr std::uint8_t kF1 = 0x70;
constexpr std::uint8_t kF24 = 0x87;

struct TModifier {
    std::uint16_t Bit;
    const TResStringRec& Word;
};

const TModifier kModifiers[] = {
    {scShift, LumShortCuts::SmkcShift},
    {scCtrl, LumShortCuts::SmkcCtrl},
    {scAlt, LumShortCuts::SmkcAlt},
};

std::u16string KeyName(std::uint8_t key) {
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
        return std::u16string(1, static_cast<char16_t>(key));
    }
    if (key >= kF1 && key <= kF24) {
        return u"F" + AsciiToWide(std::to_string(key - kF1 + 1));
    }
    for (const TKeyName& name : kKeyNames) {
        if (name.Key == key) {
            return LoadResString(name.Name);
        }
    }
    return {};
}

// Whether the text starts with the word, without regard to case; if so, drops it.
bool TakeWord(std::u16string_view& text, std::u16string_view word) {
    if (word.empty() || text.size() < word.size() ||
        !SameAsciiText(text.substr(0, word.size()), word)) {
        return false;
    }
    text.remove_prefix(word.size());
    return true;
}

} // namespace

std::u16string ShortCutToText(TShortCut shortCut) {
    std::u16string name = KeyName(static_cast<std::uint8_t>(shortCut & 0xFF));
    if (name.empty()) {
        return {};
    }
    std::u16string text;
    for (const TModifier& modifier : kModifiers) {
        if (shortCut & modifier.Bit) {
            text += LoadResString(modifier.Word);
        }
    }
    return text + name;
}

TShortCut TextToShortCut(std::u16string_view text) {
    std::uint16_t modifiers = 0;
    bool found = true;
    while (found) {
        found = false;
        for (const TModifier& modifier : kModifiers) {
            if (TakeWord(text, LoadResString(modifier.Word))) {
                modifiers |= modifier.Bit;
                found = true;
            }
        }
    }
    if (text.empty()) {
        return 0;
    }
    for (unsigned key = 1; key <= 0xFF; ++key) {
        std::u16string name = KeyName(static_cast<std::uint8_t>(key));
        if (!name.empty() && SameAsciiText(name, text)) {
            return static_cast<std::uint16_t>(modifiers | key);
        }
    }
    return 0;
}
