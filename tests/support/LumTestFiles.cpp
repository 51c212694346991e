#include "tests/support/LumTestFiles.h"

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>

std::u16string TestBuildFolder() {
    std::u16string path = OwnModuleFileName();
    path.resize(path.rfind(u'\\'));
    path.resize(path.rfind(u'\\'));
    return path;
}

std::u16string SystemTempPath() {
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    EXPECT_TRUE(length > 0 && length < MAX_PATH) << "GetTempPathW failed";
    return FromWinStr(temp, length < MAX_PATH ? length : 0);
}

bool PathExists(const std::u16string& path) {
    return GetFileAttributesW(WinStr(path)) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(WinStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(WinStr(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(std::u16string path) {
    while (path.size() > 3 && path.back() == u'\\') {
        path.pop_back();
    }
    if (IsFile(path)) {
        SetFileAttributesW(WinStr(path), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(WinStr(path));
        return;
    }
    WIN32_FIND_DATAW found;
    TScopedFind find(FindFirstFileW(WinStr(path + u"\\*"), &found));
    if (!find) {
        return;
    }
    do {
        std::u16string name = FromWinStr(found.cFileName);
        if (name != u"." && name != u"..") {
            RemoveTree(path + u"\\" + name);
        }
    } while (FindNextFileW(find.Get(), &found));
    find.Reset();
    RemoveDirectoryW(WinStr(path));
}

std::vector<std::uint8_t> ReadTestFile(const std::u16string& path) {
    TScopedFile file(CreateFileW(WinStr(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return {};
    }
    std::vector<std::uint8_t> bytes(GetFileSize(file.Get(), nullptr));
    DWORD read = 0;
    if (!bytes.empty() &&
        !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return {};
    }
    bytes.resize(read);
    return bytes;
}

void WriteTestFile(const std::u16string& path, std::string_view content) {
    TScopedFile file(CreateFileW(WinStr(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << WideToUtf8(path);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                          nullptr) &&
                written == content.size())
        << WideToUtf8(path);
}
