#pragma once
// File versions: the packed version number the whole library compares, its text forms, and
// the reading of a file's version information.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- Version numbers (portable) ----

/// A file version: major in bits 48 to 63, minor in 32 to 47, release in 16 to 31, build in 0
/// to 15. 0 means "not installed" or "no version information". The upper 32 bits serve on
/// their own as a major/minor number, compared as a signed 32-bit integer.
using TVersionNumber = std::uint64_t;

/// The text forms of a version number.
enum TVersionFormat {
    vfFull,         ///< "2.0.0.3"
    vfRelease,      ///< "2.0.0"
    vfShortRelease, ///< "2.0 r0"
    vfMajorMinor,   ///< "2.0"
};

/// Packs the four 16-bit parts, most significant first.
constexpr TVersionNumber MakeVersion(std::uint16_t major, std::uint16_t minor,
                                     std::uint16_t release, std::uint16_t build) {
    return (TVersionNumber(major) << 48) | (TVersionNumber(minor) << 32) |
           (TVersionNumber(release) << 16) | TVersionNumber(build);
}

/// The major/minor number: the upper 32 bits, as the signed value that comparisons use.
constexpr std::int32_t VersionMajorMinor(TVersionNumber version) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(version >> 32));
}

/// The version in the chosen form, each part an unsigned decimal.
std::u16string VersionToStr(TVersionFormat format, TVersionNumber version);

/// The fixed part of a file's version information (the system's VS_FIXEDFILEINFO).
struct TFixedFileInfo {
    std::uint32_t Signature;
    std::uint32_t StrucVersion;
    std::uint32_t FileVersionMS;
    std::uint32_t FileVersionLS;
    std::uint32_t ProductVersionMS;
    std::uint32_t ProductVersionLS;
    std::uint32_t FileFlagsMask;
    std::uint32_t FileFlags;
    std::uint32_t FileOS;
    std::uint32_t FileType;
    std::uint32_t FileSubtype;
    std::uint32_t FileDateMS;
    std::uint32_t FileDateLS;
};
static_assert(sizeof(TFixedFileInfo) == 52);

// ---- Version information of files (Win32) ----
// Through the system primitives (toolkit/win/LumSystemWin.h), which take version.dll from
// the system folder at run time.

/// The file's whole version-information block; empty when the file has none or it cannot be
/// read. Raises Exception "Internal Error: File does not exist: " + path when no file is there
/// (nothing at the path, or a folder).
std::vector<std::uint8_t> ReadVersionInfo(const std::u16string& path);

/// The first entry of the file's translation table: language in the low 16 bits, code page in
/// the high 16 bits; 0 when there is none.
std::uint32_t GetFirstTranslation(const std::u16string& path);

/// The named string of the file's version information (e.g. "CompanyName") for the language
/// and code page, cut at its first NUL; when either is 0, both are taken from the first
/// translation. Empty when the file has no version information or no such string.
std::u16string GetVersionInfoString(std::u16string_view name, const std::u16string& path,
                                    std::uint16_t language = 0, std::uint16_t codePage = 0);

/// The file's fixed version information; all zero when it has none.
TFixedFileInfo GetFixedFileInfo(const std::u16string& path);

/// The file version from the fixed version information; 0 when there is none.
TVersionNumber GetFileVersion(const std::u16string& path);
