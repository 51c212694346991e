// The general utilities' temporary files and folders: new names, and the lists of what to
// delete at the unit's last stop.
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include "toolkit/base/LumFormat.h"
#include "toolkit/win/LumSystemWin.h"

#include <shellapi.h>

using namespace UtilsShared;

namespace {

// Whether anything, file or folder, is at the path.
bool PathExists(const std::u16string& path) {
    return GetFileAttributesW(WinStr(path)) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::u16string TempPath() {
    return TempFolder();
}

std::u16string NewGarbageCollectedFolder() {
    // Checked first, so that no folder is made that nobody would delete.
    TLumStringList& folders = FolderList();
    std::u16string folder;
    do {
        folder = IncludeTrailingBackslash(TempPath() + u"Temp" + Format(u"%d", RandomNumber()));
        // Without the backslash, so that a file of that name is seen too.
    } while (PathExists(ExcludeTrailingBackslash(folder)));
    ForceDirectoriesWithMessage(folder);
    folders.Add(folder);
    return folder;
}

std::u16string NewTempFileName(std::u16string_view suffix, std::u16string_view folder,
                               std::u16string_view prefix) {
    std::u16string directory =
        IncludeTrailingBackslash(folder == TempPathMarker ? TempPath() : std::u16string(folder));
    ForceDirectoriesWithMessage(directory);
    std::u16string name;
    do {
        name = directory + std::u16string(prefix) + u"-" + Format(u"%x", RandomNumber() & 0xFFFF) +
               std::u16string(suffix);
        // A folder of that name counts too: the caller could not create the file there.
    } while (PathExists(name));
    return name;
}

std::u16string NewGarbageCollectedFileName(std::u16string_view suffix) {
    TLumStringList& files = FileList();
    std::u16string name = NewTempFileName(suffix, TempPathMarker, u"tmp");
    files.Add(name);
    return name;
}

void DeleteGarbageCollectedFolder(const std::u16string& path) {
    try {
        if (DirectoryExists(path)) {
            DeleteThroughShell(path, FOF_NOCONFIRMATION | FOF_NOERRORUI, u"");
        }
        TLumStringList& folders = FolderList();
        if (int index = folders.IndexOf(path); index >= 0) {
            folders.Delete(index);
        }
    } catch (...) {
        // Clean-up runs at exit and on error paths: a folder that stays is no reason to fail.
    }
}

void CleanUpGarbageCollectedFolders() {
    TLumStringList& folders = FolderList();
    // From the last made to the first.
    for (int i = folders.Count() - 1; i >= 0; --i) {
        // A copy: the deletion removes the entry it is given.
        DeleteGarbageCollectedFolder(std::u16string(folders.Strings(i)));
    }
    folders.Clear();
}

void CleanUpGarbageCollectedFiles() {
    TLumStringList& files = FileList();
    for (int i = 0; i < files.Count(); ++i) {
        // A file never made, or one still open or read-only, is left alone.
        DeleteFileW(WinStr(files.Strings(i)));
    }
    files.Clear();
}
