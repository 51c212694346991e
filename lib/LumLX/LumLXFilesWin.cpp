// The general utilities' files and folders: stored long names, deletion, the system's folders
// and the location of libraries.
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/win/LumRegistry.h"
#include "toolkit/win/LumSystemWin.h"

#include <shellapi.h>

#include <vector>

namespace {

// The stored name of the path's last element. Wildcards would find some other file.
bool FindStoredName(const std::u16string& path, std::u16string& name) {
    if (path.find_first_of(u"*?") != std::u16string::npos) {
        return false;
    }
    WIN32_FIND_DATAW found;
    TScopedFind find(FindFirstFileW(WinStr(path), &found));
    if (!find) {
        return false;
    }
    name = FromWinStr(found.cFileName);
    return true;
}

// The stored name of the last element, or the name as the path gives it when there is none.
std::u16string StoredOrGivenName(const std::u16string& path) {
    std::u16string name;
    if (FindStoredName(path, name)) {
        return name;
    }
    std::size_t delimiter = path.find_last_of(u"\\:");
    return delimiter == std::u16string::npos ? path : path.substr(delimiter + 1);
}

std::u16string FullPathName(const std::u16string& path) {
    std::u16string buffer(MAX_PATH, u'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD length = GetFullPathNameW(WinStr(path), size,
                                        reinterpret_cast<wchar_t*>(buffer.data()), nullptr);
        Win32Check(length != 0);
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
        // Too small: the length asked for counts the terminating NUL.
        buffer.assign(length, u'\0');
    }
}

} // namespace

std::u16string LongName(const std::u16string& path) {
    std::u16string name;
    return FindStoredName(path, name) ? name : path;
}

std::u16string LongPath(const std::u16string& path) {
    if (path.empty()) {
        return {};
    }
    // Walk up to the root collecting the elements' stored names, then join them downwards:
    // a loop, since a deep path must not cost a deep stack.
    std::vector<std::u16string> names;
    std::u16string current = FullPathName(path);
    std::u16string result;
    for (;;) {
        std::u16string folder = PathFolder(current);
        if (folder.empty()) {
            result = StoredOrGivenName(current);
            break;
        }
        // The folder part is a prefix of the path, so equal length means a root.
        if (folder.size() == current.size()) {
            result = current;
            break;
        }
        names.push_back(StoredOrGivenName(current));
        current = std::move(folder);
    }
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        result = IncludeTrailingBackslash(result) + *name;
    }
    return result;
}

std::u16string OwnFileName() {
    return OwnModuleFileName();
}

void DeleteThroughShell(const std::u16string& path, std::uint16_t flags,
                        const std::u16string& progressTitle) {
    if (path.empty()) {
        // The shell would read an empty list; there is nothing to delete.
        Abort();
    }
    std::u16string source = path;
    // A root keeps its backslash: "C:" alone names the drive's current folder.
    if (DirectoryExists(path) && PathFolder(path) != path) {
        source = ExcludeTrailingBackslash(path);
    }
    // A list of names ended by an empty one: the second NUL is c_str's.
    source.push_back(u'\0');
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = UtilsShared::ApplicationWindow();
    operation.wFunc = FO_DELETE;
    operation.pFrom = WinStr(source);
    operation.fFlags = flags;
    operation.lpszProgressTitle = progressTitle.empty() ? nullptr : WinStr(progressTitle);
    if (SHFileOperationW(&operation) != 0 || operation.fAnyOperationsAborted) {
        Abort();
    }
}

void ClearReadOnly(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(WinStr(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Neither a file nor a folder: nothing to clear.
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        Win32Check(SetFileAttributesW(WinStr(path), attributes & ~FILE_ATTRIBUTE_READONLY));
    }
}

void ForceDeleteFile(const std::u16string& path) {
    if (DeleteFileW(WinStr(path))) {
        return;
    }
    ClearReadOnly(path);
    Win32Check(DeleteFileW(WinStr(path)));
}

void DeleteExistingFile(const std::u16string& path) {
    if (FileExists(path)) {
        ForceDeleteFile(path);
    }
}

std::u16string GetSystemDir() {
    return SystemFolder();
}

std::u16string GetWindowsDir() {
    return WindowsFolder();
}

std::u16string GetModulePath(const std::u16string& moduleName) {
    // The program's folder, then the system folder, never the current one; and mapped only:
    // neither its imports nor its initialisation run, so a planted library executes nothing.
    TScopedLibrary library = MapLibraryWithoutRunning(moduleName);
    if (!library) {
        return {};
    }
    return ModuleFileName(library.Get());
}

bool UtilsShared::IsFullPath(std::u16string_view path) {
    auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
    if (path.size() >= 2 && separator(path[0]) && separator(path[1])) {
        return true;
    }
    return path.size() >= 3 && path[1] == u':' && separator(path[2]) &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

std::u16string UtilsShared::ReadPathValue(const TLumRegistry& registry, std::u16string_view name) {
    switch (registry.GetDataType(name)) {
    case rdString:
        return registry.ReadString(name);
    case rdExpandString:
        return ExpandEnvironment(registry.ReadString(name));
    default:
        return {};
    }
}
