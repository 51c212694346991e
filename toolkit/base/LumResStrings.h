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

/// Where resource strings come from: the Win32 runtime reads them from the active resource
/// module (toolkit/win/LumResModule.h installs that loader at its unit's start).
using TResStringLoader = std::u16string (*)(const TResStringRec& rec);

/// Makes `loader` the one LoadResString goes through and returns the previous one; nullptr
/// goes back to the declared texts.
TResStringLoader SetResStringLoader(TResStringLoader loader);

/// The string's text through the installed loader; the declared text when none is installed
/// (the host build, where there are no resource modules). A loader raises EResNotFound when
/// its module lacks the string.
std::u16string LoadResString(const TResStringRec& rec);
