#pragma once
// The build identity's format: the resources that carry an executable's build identity and
// mark it as able to check its translation module. The identity itself (a hash of every other
// resource) is computed by the build tool (tools/LumBuildIdentity.h).
//
//   RCDATA LUM_TRX_GUID   the identity, a GUID in registry form with braces: 38 UTF-16LE
//                         characters without a terminating zero, 76 bytes. The placeholder
//                         "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" means no identity.
//   RCDATA LUM.GUID       second place for the identity, same form (translation modules).
//   RCDATA LUM_TRX_FLAG   65 bytes of ANSI text; nothing reads it.

#include "toolkit/res/LumResFile.h"

#include <span>
#include <string>
#include <string_view>

inline constexpr char16_t kBuildIdentityName[] = u"LUM_TRX_GUID";
inline constexpr char16_t kBuildIdentitySecondName[] = u"LUM.GUID";
inline constexpr char16_t kTranslationFlagName[] = u"LUM_TRX_FLAG";
inline constexpr std::u16string_view kBuildIdentityPlaceholder =
    u"{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
inline constexpr std::string_view kTranslationFlagText =
    "This application is enabled to version check its resource module.";
/// Characters of an identity in registry form, and bytes of its resource.
inline constexpr size_t kBuildIdentityLength = 38;
inline constexpr size_t kBuildIdentitySize = 2 * kBuildIdentityLength;

/// Whether the text is a GUID in registry form: "{" 8-4-4-4-12 hexadecimal digits "}".
bool IsRegistryGuid(std::u16string_view text);

/// Whether the entry is RCDATA LUM_TRX_GUID.
bool IsBuildIdentityResource(const TResEntry& entry);

/// RCDATA LUM_TRX_GUID holding the identity as UTF-16LE without a terminating zero.
TResEntry BuildIdentityResource(std::u16string_view identity);

/// RCDATA LUM_TRX_FLAG holding the 65-byte text.
TResEntry TranslationFlagResource();

/// The identity held by the data of an identity resource: its UTF-16LE text (up to a zero
/// character, an odd last byte ignored); empty when that is the placeholder.
std::u16string ParseBuildIdentity(std::span<const std::uint8_t> data);
