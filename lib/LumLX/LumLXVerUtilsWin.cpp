// Version information of files, read through the system primitives.
#include "lib/LumLX/LumLXVerUtils.h"

#include "lib/LumLX/LumLXChecks.h"
#include "toolkit/win/LumSystemWin.h"

#include <cstring>

static_assert(sizeof(VS_FIXEDFILEINFO) == sizeof(TFixedFileInfo));

std::vector<std::uint8_t> ReadVersionInfo(const std::u16string& path) {
    CheckFileExists(path);
    return FileVersionInfo(path);
}

std::uint32_t GetFirstTranslation(const std::u16string& path) {
    return VersionInfoTranslation(ReadVersionInfo(path));
}

std::u16string GetVersionInfoString(std::u16string_view name, const std::u16string& path,
                                    std::uint16_t language, std::uint16_t codePage) {
    return VersionInfoString(ReadVersionInfo(path), name, language, codePage);
}

TFixedFileInfo GetFixedFileInfo(const std::u16string& path) {
    VS_FIXEDFILEINFO fixed = VersionInfoFixed(ReadVersionInfo(path));
    TFixedFileInfo info;
    std::memcpy(&info, &fixed, sizeof info);
    return info;
}

TVersionNumber GetFileVersion(const std::u16string& path) {
    return VersionInfoFileVersion(ReadVersionInfo(path));
}
