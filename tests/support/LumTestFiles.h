#pragma once
// Test helpers for files and folders: the temporary folder, what a path names, files made
// with a content and folders removed with everything in them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// The system's temporary folder, with its trailing backslash.
std::u16string SystemTempPath();

/// The win32 build folder of a test executable in <build>/tests (the program is
/// <build>\app\Ostrin.exe).
std::u16string TestBuildFolder();

bool PathExists(const std::u16string& path);
bool IsFolder(const std::u16string& path);
bool IsFile(const std::u16string& path);

/// Removes the folder with all its files and folders, read-only ones too, or the file the
/// path names; a path that names nothing is no error. A trailing backslash is allowed.
void RemoveTree(std::u16string path);

/// The file's bytes; none when it cannot be opened or read.
std::vector<std::uint8_t> ReadTestFile(const std::u16string& path);

/// Creates or replaces the file (its folder must exist) with the content; a failure of the
/// test when that is not possible.
void WriteTestFile(const std::u16string& path, std::string_view content = {});
