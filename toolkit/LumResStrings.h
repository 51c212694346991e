#pragma once
// Resource strings: user-visible texts that a translation module can replace. Each module
// declares its texts in a .rstr file; the build turns them into string tables of the
// executable, a name map and a header of TResStringRec constants.

#include <cstdint>
#include <string>
#include <string_view>

struct TResStringRec {
    std::uint16_t Id;
    /// The text as the module declares it (what the executable's own string table holds).
    std::u16string_view Text;
};

/// The string's text from the active resource module. On the host build, where there are no
/// resource modules, the declared text. Raises EResNotFound when the active module lacks it.
std::u16string LoadResString(const TResStringRec& rec);
