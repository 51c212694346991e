#pragma once
// The toolkit's registry class: one open key at a time under a chosen root, read and write of
// values by name, and the Unicode string read the library builds on. Win32 only.

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumWin.h"

#include <cstdint>
#include <string>
#include <string_view>

/// The kinds of registry data the class tells apart.
enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TLumRegistry {
  public:
    /// Root HKEY_CURRENT_USER; keys are opened with `access` (KEY_ALL_ACCESS by default).
    explicit TLumRegistry(REGSAM access = KEY_ALL_ACCESS);
    TLumRegistry(const TLumRegistry&) = delete;
    TLumRegistry& operator=(const TLumRegistry&) = delete;
    virtual ~TLumRegistry();

    HKEY RootKey() const { return rootKey_; }
    /// Closes the open key, then makes `root` (a predefined key) the root.
    void SetRootKey(HKEY root);

    /// The open key, or nullptr when none is open.
    HKEY CurrentKey() const { return currentKey_.Get(); }
    /// The path of the open key below the root, without a leading backslash.
    const std::u16string& CurrentPath() const { return currentPath_; }

    /// Opens `key` with Access(), creating it when `canCreate` is set, and makes it the open
    /// key. A key that starts with a backslash is taken from the root; any other from the open
    /// key, or from the root when none is open. Returns false, and keeps the open key, when
    /// the key does not exist or cannot be opened.
    bool OpenKey(std::u16string_view key, bool canCreate);

    /// OpenKey for reading only (KEY_READ), without creating the key.
    bool OpenKeyReadOnly(std::u16string_view key);

    /// Closes the open key, if any.
    void CloseKey();

    /// Whether `key` (resolved as OpenKey does) exists and can be read. The open key stays.
    bool KeyExists(std::u16string_view key);

    /// Whether the open key has a value of that name (empty: the default value).
    bool ValueExists(std::u16string_view name) const;

    /// The type of the named value of the open key; rdUnknown when it does not exist or is of
    /// a type the class does not know.
    TRegDataType GetDataType(std::u16string_view name) const;

    /// The named string value of the open key (empty name: the default value), cut at its
    /// first NUL; an expandable string is returned unexpanded. A value that cannot be queried
    /// (for example one that does not exist) gives the empty text. Raises ERegistryException
    /// "Invalid data type for '%s'" for a value that is not a string, and "Failed to get data
    /// for '%s'" when the data cannot be read after its size was found.
    std::u16string ReadString(std::u16string_view name) const;

    /// The named DWORD value of the open key. Raises ERegistryException "Failed to get data
    /// for '%s'" when it cannot be read (it does not exist), "Invalid data type for '%s'" when
    /// it is not a DWORD.
    std::int32_t ReadInteger(std::u16string_view name) const;

    /// Writes a string (REG_SZ), an expandable string (REG_EXPAND_SZ) or a DWORD to the open
    /// key. Raises ERegistryException "Failed to set data for '%s'" on failure.
    void WriteString(std::u16string_view name, std::u16string_view value);
    void WriteExpandString(std::u16string_view name, std::u16string_view value);
    void WriteInteger(std::u16string_view name, std::int32_t value);

    /// Deletes the named value of the open key; false when it could not be deleted.
    bool DeleteValue(std::u16string_view name);

    /// Deletes `key` (resolved as OpenKey does) with all its subkeys; false when it does not
    /// exist or could not be deleted completely.
    bool DeleteKey(std::u16string_view key);

  private:
    // The key that `key` is relative to, and the path below it (no leading backslash).
    HKEY BaseKey(std::u16string_view key) const;
    std::u16string FullPath(std::u16string_view key) const;
    void WriteData(std::u16string_view name, DWORD type, const void* data, DWORD size);
    void WriteText(std::u16string_view name, DWORD type, std::u16string_view value);

    HKEY rootKey_ = HKEY_CURRENT_USER;
    REGSAM access_;
    TScopedRegKey currentKey_;
    std::u16string currentPath_;
};
