// The general utilities' temporary files and folders: new items under names nobody can
// foresee, and the lists of what to delete at the unit's last stop. The program runs elevated
// in a folder that other processes of the user can write to, so nothing here follows a link
// or junction that such a process could plant, and the clean-up deletes only the very items
// this process created and what they hold, never a link.
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include "rstr/LumLXUtils.h"
#include "rstr/LumSystemWin.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/win/LumSystemWin.h"

#include <map>
#include <optional>
#include <vector>

using namespace UtilsShared;

namespace {

// Far deeper than anything this process makes in its folders; what another process nests
// deeper stays.
constexpr int kMaxTreeDepth = 64;

// A file system object as long as it exists: its volume and its index on that volume. A name
// that is deleted and made again names another object.
struct TFileIdentity {
    DWORD Volume = 0;
    DWORD IndexHigh = 0;
    DWORD IndexLow = 0;

    bool operator==(const TFileIdentity&) const = default;
};

// What a handle is open on.
struct TOpenedInfo {
    DWORD Attributes = 0;
    TFileIdentity Identity;
};

// Calls of Vista and later, looked up at run time, with the two information classes used
// (the headers declare them only for Vista and later builds).
using GetFinalPathProc = DWORD(WINAPI*)(HANDLE file, wchar_t* path, DWORD size, DWORD flags);
using SetFileInfoProc = BOOL(WINAPI*)(HANDLE file, int infoClass, void* info, DWORD size);
constexpr int kFileBasicInfo = 0;
constexpr int kFileDispositionInfo = 4;
struct TFileBasicInfo {
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    DWORD FileAttributes;
};
struct TFileDispositionInfo {
    BOOLEAN DeleteFile;
};

struct TFileApi {
    GetFinalPathProc GetFinalPath;
    SetFileInfoProc SetFileInfo;
};

const TFileApi& FileApi() {
    static const TFileApi api = [] {
        // kernel32 is in every process: asking it by name loads nothing.
        HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        return TFileApi{ProcAddress<GetFinalPathProc>(kernel, "GetFinalPathNameByHandleW"),
                        ProcAddress<SetFileInfoProc>(kernel, "SetFileInformationByHandle")};
    }();
    return api;
}

// The identities of the recorded folders and files, by the text recorded in their list.
std::map<std::u16string, TFileIdentity>& CreatedItems() {
    static std::map<std::u16string, TFileIdentity> items;
    return items;
}

[[noreturn]] void RaiseCouldNotCreate(const std::u16string& path) {
    throw ELumGeneralError(Format(LoadResString(LumSystemWin::SCouldNotCreate), path));
}

std::optional<TOpenedInfo> OpenedInfo(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) {
        return std::nullopt;
    }
    return TOpenedInfo{info.dwFileAttributes,
                       {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow}};
}

// The path the handle's object has, with every link resolved; empty when the system cannot
// tell.
std::u16string FinalPath(HANDLE handle) {
    std::u16string buffer(MAX_PATH, u'\0');
    for (;;) {
        DWORD length = FileApi().GetFinalPath(handle, reinterpret_cast<wchar_t*>(buffer.data()),
                                              static_cast<DWORD>(buffer.size()), 0);
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        // Too small: the length asked for counts the terminating NUL.
        buffer.assign(length, u'\0');
    }
}

std::u16string UpperCase(std::u16string text) {
    if (!text.empty()) {
        CharUpperBuffW(reinterpret_cast<wchar_t*>(text.data()), static_cast<DWORD>(text.size()));
    }
    return text;
}

// Whether `item`, opened as `name` in the folder that `folder` is open on, is that folder's
// plain item of that name: no link or junction itself, and not reached through one that took
// the folder's place after it was opened.
bool IsPlainItem(HANDLE folder, HANDLE item, std::u16string_view name, const TOpenedInfo& info) {
    if (info.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return false;
    }
    if (!FileApi().GetFinalPath) {
        // Systems without the call honour FILE_FLAG_OPEN_REPARSE_POINT: the attribute tells.
        return true;
    }
    std::u16string folderPath = FinalPath(folder);
    std::u16string itemPath = FinalPath(item);
    if (folderPath.empty() || itemPath.empty()) {
        return false;
    }
    if (folderPath.back() != u'\\') {
        folderPath += u'\\';
    }
    return UpperCase(folderPath + std::u16string(name)) == UpperCase(itemPath);
}

// A folder that items are made in or deleted from, held while that happens.
TScopedFile OpenFolder(const std::u16string& folder) {
    return TScopedFile(CreateFileW(WinStr(folder), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

struct TOpenedItem {
    TScopedFile Handle;
    TOpenedInfo Info;
};

enum class TOpenResult { Opened, Missing, Failed, Link };

// Opens the item `name` at `path` in the folder open on `folder`: the item itself, never what a
// link of that name leads to, and only when it is the plain item of that name. For deletion it
// may be deleted and its read-only attribute cleared; otherwise it is held against renaming
// and deletion (no FILE_SHARE_DELETE) while what is in it goes, so that the paths below it keep
// leading into it. (Wine lists no folder that a handle may delete.)
TOpenResult OpenPlainItem(HANDLE folder, const std::u16string& path, std::u16string_view name,
                          bool forDeletion, TOpenedItem& item) {
    DWORD access =
        forDeletion ? DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES : FILE_READ_ATTRIBUTES;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (forDeletion ? FILE_SHARE_DELETE : 0);
    item.Handle.Reset(CreateFileW(WinStr(path), access, share, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!item.Handle) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? TOpenResult::Missing
                                                                              : TOpenResult::Failed;
    }
    std::optional<TOpenedInfo> info = OpenedInfo(item.Handle.Get());
    if (!info) {
        return TOpenResult::Failed;
    }
    item.Info = *info;
    return IsPlainItem(folder, item.Handle.Get(), name, *info) ? TOpenResult::Opened
                                                               : TOpenResult::Link;
}

// Marks the item the handle is open on for deletion when the handle closes, a read-only one
// only when asked; false where the system cannot (before Vista) or refuses.
bool MarkForDeletion(HANDLE item, DWORD attributes, bool clearReadOnly) {
    SetFileInfoProc setInfo = FileApi().SetFileInfo;
    if (!setInfo) {
        return false;
    }
    if (clearReadOnly && (attributes & FILE_ATTRIBUTE_READONLY)) {
        TFileBasicInfo basic{};
        basic.FileAttributes = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
        if (basic.FileAttributes == 0) {
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        }
        setInfo(item, kFileBasicInfo, &basic, sizeof basic);
    }
    TFileDispositionInfo disposition{TRUE};
    return setInfo(item, kFileDispositionInfo, &disposition, sizeof disposition);
}

// Deletes the item the handle is open on: through the handle where the system can (it goes
// when the handle closes), else by its path, which still names it, as it was just checked and
// neither call follows a link that took its place.
bool DeleteOpened(TOpenedItem& item, const std::u16string& path, bool clearReadOnly) {
    bool viaHandle = FileApi().SetFileInfo != nullptr;
    bool marked =
        viaHandle && MarkForDeletion(item.Handle.Get(), item.Info.Attributes, clearReadOnly);
    item.Handle.Reset();
    if (viaHandle) {
        return marked;
    }
    return (item.Info.Attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(WinStr(path))
                                                             : DeleteFileW(WinStr(path));
}

bool DeleteContents(HANDLE folder, const std::u16string& path, int depth);

// Deletes the folder `held` (open as OpenPlainItem holds it, at `path`, named `name` in the
// folder open on `parent`) with what it holds; false when something stays. It is opened again
// for its own deletion and must still be the same folder.
bool DeleteFolder(HANDLE parent, const std::u16string& path, std::u16string_view name,
                  TOpenedItem held, int depth) {
    if (depth >= kMaxTreeDepth || !DeleteContents(held.Handle.Get(), path, depth + 1)) {
        return false;
    }
    TFileIdentity identity = held.Info.Identity;
    held.Handle.Reset();
    TOpenedItem folder;
    return OpenPlainItem(parent, path, name, true, folder) == TOpenResult::Opened &&
           folder.Info.Identity == identity && DeleteOpened(folder, path, true);
}

bool DeleteEntry(HANDLE folder, const std::u16string& folderPath, const std::u16string& name,
                 DWORD listed, int depth) {
    // A link or junction is another process's: it stays, and the folder with it. (Removing it
    // is no safe option either: Wine's RemoveDirectoryW removes the folder a link leads to.)
    if (listed & FILE_ATTRIBUTE_REPARSE_POINT) {
        return false;
    }
    std::u16string path = folderPath + u"\\" + name;
    TOpenedItem item;
    switch (OpenPlainItem(folder, path, name, !(listed & FILE_ATTRIBUTE_DIRECTORY), item)) {
    case TOpenResult::Missing:
        return true;
    case TOpenResult::Failed:
    case TOpenResult::Link:
        return false;
    case TOpenResult::Opened:
        break;
    }
    if (item.Info.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return DeleteFolder(folder, path, name, std::move(item), depth);
    }
    return DeleteOpened(item, path, true);
}

// Deletes what the folder open on `folder`, at `path`, holds; false when something stays.
bool DeleteContents(HANDLE folder, const std::u16string& path, int depth) {
    struct TEntry {
        std::u16string Name;
        DWORD Attributes;
    };
    std::vector<TEntry> entries;
    {
        WIN32_FIND_DATAW found;
        TScopedFind find(FindFirstFileW(WinStr(path + u"\\*"), &found));
        if (!find) {
            return false;
        }
        do {
            std::u16string name = FromWinStr(found.cFileName);
            if (name != u"." && name != u"..") {
                entries.push_back({std::move(name), found.dwFileAttributes});
            }
        } while (FindNextFileW(find.Get(), &found));
    }
    bool complete = true;
    for (const TEntry& entry : entries) {
        complete = DeleteEntry(folder, path, entry.Name, entry.Attributes, depth) && complete;
    }
    return complete;
}

// A recorded item is deleted only while it is still the one this process created: the same
// object (its identity), and the plain item of its name in its folder (a file system may give
// a new item the index of one that is gone, and a link leads to an object of another name).

// Deletes a recorded folder with what it holds. True when it is gone or another process's (so
// that it is forgotten), false when it stays.
bool DeleteCreatedFolder(const std::u16string& recorded, const TFileIdentity& identity) {
    std::u16string path = ExcludeTrailingBackslash(recorded);
    std::u16string name = path.substr(path.rfind(u'\\') + 1);
    TScopedFile parent = OpenFolder(PathFolder(path));
    if (!parent) {
        return false;
    }
    TOpenedItem folder;
    switch (OpenPlainItem(parent.Get(), path, name, false, folder)) {
    case TOpenResult::Missing:
    case TOpenResult::Link:
        return true;
    case TOpenResult::Failed:
        return false;
    case TOpenResult::Opened:
        break;
    }
    if (folder.Info.Identity != identity || !(folder.Info.Attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return true;
    }
    return DeleteFolder(parent.Get(), path, name, std::move(folder), 0);
}

// Deletes a recorded file; one held open by another process, a read-only one and what took its
// name are left.
void DeleteCreatedFile(const std::u16string& path, const TFileIdentity& identity) {
    TScopedFile parent = OpenFolder(PathFolder(path));
    TOpenedItem file;
    if (parent &&
        OpenPlainItem(parent.Get(), path, path.substr(path.rfind(u'\\') + 1), true, file) ==
            TOpenResult::Opened &&
        file.Info.Identity == identity && !(file.Info.Attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteOpened(file, path, false);
    }
}

// 128 random bits as 32 upper-case hexadecimal digits.
std::u16string RandomName() {
    std::u16string name;
    for (int i = 0; i < 4; ++i) {
        name += Format(u"%.8x", RandomNumber());
    }
    return name;
}

// Whether a failed creation found the name taken rather than the folder unusable.
bool NameTaken(const std::u16string& path, DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
           GetFileAttributesW(WinStr(path)) != INVALID_FILE_ATTRIBUTES;
}

// Creates the file, or nothing when its name is taken (by anything, a link too).
std::optional<TFileIdentity> CreateNewFile(HANDLE folder, const std::u16string& path,
                                           std::u16string_view name) {
    TScopedFile file(CreateFileW(WinStr(path), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr));
    if (!file) {
        if (NameTaken(path, GetLastError())) {
            return std::nullopt;
        }
        RaiseCouldNotCreate(path);
    }
    std::optional<TOpenedInfo> info = OpenedInfo(file.Get());
    if (!info || !IsPlainItem(folder, file.Get(), name, *info)) {
        // Made through a link: the new, empty file is ours to take back, but only through
        // the handle; its path leads elsewhere.
        MarkForDeletion(file.Get(), 0, false);
        return std::nullopt;
    }
    return info->Identity;
}

// Creates the folder, or nothing when its name is taken or what the name leads to right after
// is not the plain folder of that name.
std::optional<TFileIdentity> CreateNewFolder(HANDLE folder, const std::u16string& path,
                                             std::u16string_view name) {
    if (!CreateDirectoryW(WinStr(path), nullptr)) {
        if (NameTaken(path, GetLastError())) {
            return std::nullopt;
        }
        RaiseCouldNotCreate(IncludeTrailingBackslash(path));
    }
    TOpenedItem created;
    switch (OpenPlainItem(folder, path, name, false, created)) {
    case TOpenResult::Opened:
        if (created.Info.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return created.Info.Identity;
        }
        [[fallthrough]];
    case TOpenResult::Link:
        // Not what was made; it is not deleted, and the name is given up.
        return std::nullopt;
    case TOpenResult::Missing:
    case TOpenResult::Failed:
        break;
    }
    RaiseCouldNotCreate(IncludeTrailingBackslash(path));
}

struct TNewItem {
    std::u16string Path;
    TFileIdentity Identity;
};

// Creates a file or folder prefix + random name + suffix in the folder (which ends in a
// backslash and exists), trying TempNameTries names.
TNewItem CreateTempItem(const std::u16string& folder, std::u16string_view prefix,
                        std::u16string_view suffix, bool isFolder) {
    TScopedFile parent = OpenFolder(folder);
    if (!parent) {
        RaiseCouldNotCreate(folder);
    }
    for (int tries = 0; tries < TempNameTries; ++tries) {
        std::u16string name = std::u16string(prefix) + RandomName() + std::u16string(suffix);
        std::u16string path = folder + name;
        std::optional<TFileIdentity> identity = isFolder ? CreateNewFolder(parent.Get(), path, name)
                                                         : CreateNewFile(parent.Get(), path, name);
        if (identity) {
            return {std::move(path), *identity};
        }
    }
    throw ELumGeneralError(Format(LoadResString(LumLXUtils::SNoTempName), folder, TempNameTries));
}

TNewItem CreateTempFile(std::u16string_view suffix, std::u16string_view folder,
                        std::u16string_view prefix) {
    std::u16string directory =
        IncludeTrailingBackslash(folder == TempPathMarker ? TempPath() : std::u16string(folder));
    ForceDirectoriesWithMessage(directory);
    return CreateTempItem(directory, std::u16string(prefix) + u"-", suffix, false);
}

} // namespace

std::u16string TempPath() {
    return TempFolder();
}

std::u16string NewGarbageCollectedFolder() {
    // Checked first, so that no folder is made that nobody would delete.
    TLumStringList& folders = FolderList();
    std::u16string parent = IncludeTrailingBackslash(TempPath());
    ForceDirectoriesWithMessage(parent);
    TNewItem item = CreateTempItem(parent, u"Temp", u"", true);
    std::u16string folder = item.Path + u"\\";
    folders.Add(folder);
    CreatedItems()[folder] = item.Identity;
    return folder;
}

std::u16string NewTempFileName(std::u16string_view suffix, std::u16string_view folder,
                               std::u16string_view prefix) {
    return CreateTempFile(suffix, folder, prefix).Path;
}

std::u16string NewGarbageCollectedFileName(std::u16string_view suffix) {
    TLumStringList& files = FileList();
    TNewItem item = CreateTempFile(suffix, TempPathMarker, u"tmp");
    files.Add(item.Path);
    CreatedItems()[item.Path] = item.Identity;
    return item.Path;
}

void DeleteGarbageCollectedFolder(const std::u16string& path) {
    try {
        TLumStringList& folders = FolderList();
        int index = folders.IndexOf(IncludeTrailingBackslash(path));
        if (index < 0) {
            return;
        }
        std::u16string recorded = folders.Strings(index);
        auto created = CreatedItems().find(recorded);
        if (created == CreatedItems().end() || DeleteCreatedFolder(recorded, created->second)) {
            folders.Delete(index);
            CreatedItems().erase(recorded);
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
    for (int i = 0; i < folders.Count(); ++i) {
        CreatedItems().erase(folders.Strings(i));
    }
    folders.Clear();
}

void CleanUpGarbageCollectedFiles() {
    TLumStringList& files = FileList();
    for (int i = 0; i < files.Count(); ++i) {
        const std::u16string& path = files.Strings(i);
        if (auto created = CreatedItems().find(path); created != CreatedItems().end()) {
            DeleteCreatedFile(path, created->second);
            CreatedItems().erase(created);
        }
    }
    files.Clear();
}
