#pragma once
// Resource entries for the tests of the .res model and the build identity.

#include "toolkit/res/LumResFile.h"
#include "toolkit/res/LumResId.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

inline TResEntry TestResEntry(TResId type, TResId name, std::vector<std::uint8_t> data,
                              std::uint16_t language = 0) {
    TResEntry entry;
    entry.Type = std::move(type);
    entry.Name = std::move(name);
    entry.Language = language;
    entry.Data = std::move(data);
    return entry;
}

/// Three resources as the program carries them: a named type, a string table, a form.
inline std::vector<TResEntry> SampleResources() {
    return {TestResEntry(TResId::Of(u"file"), TResId::Of(u"CapicomDll"), {1, 2, 3, 4, 5}),
            TestResEntry(TResId::Of(kRtString), TResId::Of(4096), {0, 0, 1}, 0x409),
            TestResEntry(TResId::Of(kRtRcData), TResId::Of(u"TOSTRINFORM"), {'L', 'P', 'F', '0'})};
}

/// An ASCII text as bytes, for messages and patterns.
inline std::string AsciiOf(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}
