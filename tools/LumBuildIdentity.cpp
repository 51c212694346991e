#include "tools/LumBuildIdentity.h"

#include "toolkit/base/LumByteIO.h"
#include "tools/LumSha256.h"

#include <algorithm>

namespace {

void HashU32(TSha256& hash, std::uint32_t value) {
    std::uint8_t bytes[4];
    StoreLittleEndian(value, bytes);
    hash.Update(bytes);
}

void HashId(TSha256& hash, const TResId& id) {
    HashU32(hash, id.IsName() ? 0xFFFFFFFF : id.Number());
    HashU32(hash, static_cast<std::uint32_t>(id.Name().size()));
    for (char16_t c : id.Name()) {
        HashU32(hash, c);
    }
}

} // namespace

std::u16string BuildIdentity(const std::vector<TResEntry>& entries) {
    std::vector<TResEntry> sorted;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(sorted),
                 [](const TResEntry& e) { return !IsBuildIdentityResource(e); });
    SortResEntries(sorted);
    TSha256 hash;
    for (const TResEntry& entry : sorted) {
        HashId(hash, entry.Type);
        HashId(hash, entry.Name);
        HashU32(hash, entry.Language);
        HashU32(hash, static_cast<std::uint32_t>(entry.Data.size()));
        hash.Update(entry.Data);
    }
    auto digest = hash.Final();
    // A name-based GUID: version 5 in the time-high field, the RFC 4122 variant.
    digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0F) | 0x50);
    digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3F) | 0x80);
    static const char* hex = "0123456789ABCDEF";
    std::u16string text = u"{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += u'-';
        }
        text += static_cast<char16_t>(hex[digest[i] >> 4]);
        text += static_cast<char16_t>(hex[digest[i] & 0xF]);
    }
    return text + u"}";
}
