#pragma once
// Paths as text: backslashes, folders and names, without asking the file system.

#include <string>
#include <string_view>

/// The path with "\" appended unless it ends in one; "" gives "\".
std::u16string IncludeTrailingBackslash(std::u16string_view path);

/// The path without one final "\".
std::u16string ExcludeTrailingBackslash(std::u16string_view path);

/// The name after the last "\" or ":", without its extension (from its last ".").
std::u16string FileNameWithoutExtension(std::u16string_view path);

/// The folder part: up to the last "\" or ":", without the backslash unless the folder is a
/// root ("C:\a\b" gives "C:\a", "C:\a" gives "C:\", "a" gives "").
std::u16string PathFolder(std::u16string_view path);
