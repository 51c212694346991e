// The general utilities' module state: the unit's start and stop, what they create and clear,
// and the helpers the Win32 topic files share (LumLXUtilsSharedWin.h).
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumSystemWin.h"

#include <memory>
#include <utility>

namespace {

// None of the lists exists while the unit is stopped.
struct TUtilsLists {
    std::unique_ptr<TLumStringList> Folders;
    std::unique_ptr<TLumStringList> Files;
    std::unique_ptr<std::vector<TCursor>> Cursors;
};

TUtilsLists& Lists() {
    static TUtilsLists lists;
    return lists;
}

UtilsShared::TOfficeState& Office() {
    static UtilsShared::TOfficeState state;
    return state;
}

void StartUnit() {
    // Filled aside first, so that a probe that raises leaves the state as it was.
    UtilsShared::TOfficeState found = UtilsShared::FindOfficeVersions();
    TUtilsLists lists{std::make_unique<TLumStringList>(), std::make_unique<TLumStringList>(),
                      std::make_unique<std::vector<TCursor>>()};
    Office() = std::move(found);
    Lists() = std::move(lists);
}

void StopUnit() {
    // The lists go and the versions are cleared even when a clean-up raises.
    auto release = OnScopeExit([] {
        Lists() = TUtilsLists();
        Office() = UtilsShared::TOfficeState();
    });
    CleanUpGarbageCollectedFolders();
    CleanUpGarbageCollectedFiles();
}

} // namespace

TUnit LumLXUtilsUnit("LumLXUtils", &StartUnit, &StopUnit);

namespace UtilsShared {

const TOfficeState& OfficeState() {
    return Office();
}

TLumStringList& FolderList() {
    CheckAssigned(Lists().Folders.get(), u"GarbageCollectedFolderList");
    return *Lists().Folders;
}

TLumStringList& FileList() {
    CheckAssigned(Lists().Files.get(), u"GarbageCollectedFileList");
    return *Lists().Files;
}

std::vector<TCursor>& CursorStack() {
    CheckAssigned(Lists().Cursors.get(), u"CursorStack");
    return *Lists().Cursors;
}

HWND ApplicationWindow() {
    TLumApplication* application = Application();
    return application ? application->Handle() : nullptr;
}

TVersionNumber ExistingFileVersion(const std::u16string& path) {
    return FileExists(path) ? GetFileVersion(path) : 0;
}

} // namespace UtilsShared
