#pragma once
// What the Win32 topic files of the general utilities (LumLX*Win.cpp) share: the unit's state
// from its first start to its last stop, and two helpers. Users include LumLXUtils.h.

#include "lib/LumLX/LumLXUtilsWin.h"
#include "toolkit/base/LumStringList.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

class TLumRegistry;

namespace UtilsShared {

/// The installed Office version of each application (indexed by TOfficeApps) and whether
/// there is one.
struct TOfficeState {
    std::array<std::u16string, OfficeAppCount> Versions;
    std::array<bool, OfficeAppCount> Installed{};
};

/// Looks for each application's installation (LumLXOfficeWin.cpp).
TOfficeState FindOfficeVersions();

/// What the unit's first start found; empty while the unit is stopped.
const TOfficeState& OfficeState();

/// The temporary folders and files to delete at the last stop, and the saved cursors. Each
/// raises ELumInternalError "Internal Error: <name> not assigned." while the unit is stopped
/// (GarbageCollectedFolderList, GarbageCollectedFileList, CursorStack).
TLumStringList& FolderList();
TLumStringList& FileList();
std::vector<TCursor>& CursorStack();

/// The owner of shell windows: the application's, or none while the toolkit is not running
/// (at the last stop of this unit the application is gone already).
HWND ApplicationWindow();

/// The file version of the file at the path; 0 when no file is there.
TVersionNumber ExistingFileVersion(const std::u16string& path);

/// Whether the path is a full one ("C:\..." or "\\server\..."), which names the same file
/// whatever the current drive and folder are (LumLXFilesWin.cpp).
bool IsFullPath(std::u16string_view path);

/// The named value of the registry's open key as a path: a REG_EXPAND_SZ value expanded, a
/// REG_SZ one as stored. Empty when the value is absent or holds no text (a number, binary
/// data, a list): such an entry only makes its component look absent (LumLXFilesWin.cpp).
std::u16string ReadPathValue(const TLumRegistry& registry, std::u16string_view name);

} // namespace UtilsShared
