#include "tools/LumBuildIdentity.h"

#include "tools/LumSha256.h"

#include <algorithm>

namespace {

const std::u16string kIdentityName = u"LUM_TRX_GUID";

bool IsIdentity(const TResEntry& entry) {
    return entry.Type == TResId::Of(kRtRcData) && entry.Name == TResId::Of(kIdentityName);
}

void HashU32(TSha256& hash, std::uint32_t value) {
    std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                             static_cast<std::uint8_t>(value >> 16),
                             static_cast<std::uint8_t>(value >> 24)};
    hash.Update(bytes);
}

void HashId(TSha256& hash, const TResId& id) {
    HashU32(hash, id.IsName() ? 0xFFFFFFFF : id.Number);
    HashU32(hash, static_cast<std::uint32_t>(id.Name.size()));
    for (char16_t c : id.Name) {
        HashU32(hash, c);
    }
}

TResEntry RcData(const std::u16string& name, std::vector<std::uint8_t> data) {
    TResEntry entry;
    entry.Type = TResId::Of(kRtRcData);
    entry.Name = TResId::Of(name);
    entry.Data = std::move(data);
    return entry;
}

} // namespace

std::u16string BuildIdentity(const std::vector<TResEntry>& entries) {
    std::vector<TResEntry> sorted;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(sorted),
                 [](const TResEntry& e) { return !IsIdentity(e); });
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

TResEntry IdentityResource(const std::u16string& identity) {
    std::vector<std::uint8_t> data;
    for (char16_t c : identity) {
        data.push_back(static_cast<std::uint8_t>(c));
        data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return RcData(kIdentityName, std::move(data));
}

TResEntry TranslationFlagResource() {
    static constexpr std::string_view kText =
        "This application is enabled to version check its resource module.";
    return RcData(u"LUM_TRX_FLAG", std::vector<std::uint8_t>(kText.begin(), kText.end()));
}
