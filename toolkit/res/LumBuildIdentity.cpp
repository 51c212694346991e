#include "toolkit/res/LumBuildIdentity.h"

#include "toolkit/base/LumByteIO.h"

namespace {

TResEntry RcData(std::u16string_view name, std::vector<std::uint8_t> data) {
    TResEntry entry;
    entry.Type = TResId::Of(kRtRcData);
    entry.Name = TResId::Of(name);
    entry.Data = std::move(data);
    return entry;
}

bool IsHexDigit(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

} // namespace

bool IsRegistryGuid(std::u16string_view text) {
    if (text.size() != kBuildIdentityLength || text.front() != u'{' || text.back() != u'}') {
        return false;
    }
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != u'-' : !IsHexDigit(text[i])) {
            return false;
        }
    }
    return true;
}

bool IsBuildIdentityResource(const TResEntry& entry) {
    return entry.Type == TResId::Of(kRtRcData) && entry.Name == TResId::Of(kBuildIdentityName);
}

TResEntry BuildIdentityResource(std::u16string_view identity) {
    TByteWriter data;
    data.Utf16(identity);
    return RcData(kBuildIdentityName, data.Take());
}

TResEntry TranslationFlagResource() {
    return RcData(kTranslationFlagName, std::vector<std::uint8_t>(kTranslationFlagText.begin(),
                                                                  kTranslationFlagText.end()));
}

std::u16string ParseBuildIdentity(std::span<const std::uint8_t> data) {
    TByteReader in(data);
    std::u16string text = in.Utf16(data.size() / 2);
    text.resize(std::min(text.size(), text.find(u'\0')));
    return text == kBuildIdentityPlaceholder ? std::u16string() : text;
}
