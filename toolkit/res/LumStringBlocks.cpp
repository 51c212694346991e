// The string-table blocks apart from the build's declarations and name map, so that the runtime
// links only these.

#include "toolkit/res/LumStringTables.h"

#include "toolkit/base/LumByteIO.h"

#include <stdexcept>

std::vector<std::uint8_t> EncodeStringBlock(const TStringBlock& strings) {
    TByteWriter out;
    for (const std::u16string& text : strings) {
        if (text.size() > 0xFFFF) {
            throw std::runtime_error("a string of a string table is too long");
        }
        out.U16(static_cast<std::uint16_t>(text.size()));
        out.Utf16(text);
    }
    return out.Take();
}

std::vector<std::u16string> DecodeStringBlock(std::span<const std::uint8_t> block) {
    // Raises nothing: the runtime loads its resource strings through it, also while an
    // exception is being reported. A block cut short keeps the strings before the cut.
    TByteReader in(block);
    std::vector<std::u16string> strings;
    while (strings.size() < kStringsPerBlock) {
        auto length = in.TryRead<std::uint16_t>();
        if (!length || !in.Has(std::uint64_t{*length} * 2)) {
            break;
        }
        strings.push_back(in.Utf16(*length));
    }
    return strings;
}
