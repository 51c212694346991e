// Resource strings from the active resource module's string tables.
#include "toolkit/LumResStrings.h"

#include "rstr/LumSysConst.h"
#include "toolkit/LumExceptions.h"
#include "toolkit/LumFormat.h"
#include "toolkit/LumResModule.h"
#include "toolkit/LumStrings.h"

namespace {

[[noreturn]] void RaiseStringNotFound(std::uint16_t id) {
    // The declared text, not the module's: the module just failed to supply a string.
    throw EResNotFound(Format(LumSysConst::SResNotFound.Text, AsciiToWide(std::to_string(id))));
}

} // namespace

std::u16string LoadResString(const TResStringRec& rec) {
    HINSTANCE module = FindResourceHInstance(MainInstance());
    // A string table block holds 16 strings, each a 16-bit length and that many characters.
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(rec.Id / 16 + 1), RT_STRING);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    auto block = loaded ? static_cast<const std::uint16_t*>(LockResource(loaded)) : nullptr;
    if (!block) {
        RaiseStringNotFound(rec.Id);
    }
    size_t words = SizeofResource(module, found) / 2;
    size_t pos = 0;
    for (unsigned index = 0; index < rec.Id % 16u; ++index) {
        if (pos >= words) {
            RaiseStringNotFound(rec.Id);
        }
        pos += 1 + block[pos];
    }
    if (pos >= words || pos + 1 + block[pos] > words) {
        RaiseStringNotFound(rec.Id);
    }
    return std::u16string(reinterpret_cast<const char16_t*>(block + pos + 1), block[pos]);
}
