// The general utilities' Office applications: where each is installed, and which versions the
// unit found at its first start.
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include "lib/LumLX/LumLXRegistry.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/win/LumSystemWin.h"

namespace {

// The executable of each application, in the order of TOfficeApps.
constexpr std::u16string_view kOfficeExecutables[OfficeAppCount] = {
    u"WINWORD.EXE", u"EXCEL.EXE", u"OUTLOOK.EXE", u"MSACCESS.EXE"};

} // namespace

std::u16string GetOfficeInstallRoot(std::u16string_view officeVersion, std::u16string_view app) {
    TLumRegistryLX registry(KEY_READ);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!registry.OpenKeyReadOnly(
            Format(u"Software\\Microsoft\\Office\\%s\\%s\\InstallRoot", officeVersion, app))) {
        return {};
    }
    return UtilsShared::ReadPathValue(registry, u"Path");
}

std::u16string GetOfficeVersion(std::u16string_view app, std::u16string_view exeName) {
    for (std::u16string_view version : {u"11.0", u"10.0", u"9.0"}) {
        std::u16string root = GetOfficeInstallRoot(version, app);
        // Without a full install root the executable would be looked up from the current
        // folder, and a copy lying there would pass for an installation.
        if (UtilsShared::IsFullPath(root) && FileExists(root + std::u16string(exeName))) {
            return std::u16string(version);
        }
    }
    return {};
}

const std::array<std::u16string, OfficeAppCount>& OfficeVersions() {
    return UtilsShared::OfficeState().Versions;
}

const std::array<bool, OfficeAppCount>& OfficeInstalled() {
    return UtilsShared::OfficeState().Installed;
}

UtilsShared::TOfficeState UtilsShared::FindOfficeVersions() {
    TOfficeState found;
    for (std::size_t app = 0; app < OfficeAppCount; ++app) {
        found.Versions[app] =
            GetOfficeVersion(OfficeAppName(static_cast<TOfficeApps>(app)), kOfficeExecutables[app]);
        found.Installed[app] = !found.Versions[app].empty();
    }
    return found;
}
