#include "toolkit/win/LumRegistry.h"

#include "rstr/LumRegistry.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"

#include <vector>

namespace {

[[noreturn]] void RaiseRegistryError(const TResStringRec& text, std::u16string_view name) {
    throw ERegistryException(Format(LoadResString(text), name));
}

// Key paths without the leading and trailing backslashes that callers may write; the
// registry functions take neither.
std::u16string_view Trimmed(std::u16string_view key) {
    while (!key.empty() && key.front() == u'\\') {
        key.remove_prefix(1);
    }
    while (!key.empty() && key.back() == u'\\') {
        key.remove_suffix(1);
    }
    return key;
}

// The key below `parent`, opened with `access`; an empty key when it cannot be opened.
TScopedRegKey OpenRegKey(HKEY parent, const std::u16string& path, REGSAM access) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(parent, WinStr(path), 0, access, &opened) != ERROR_SUCCESS) {
        return {};
    }
    return TScopedRegKey(opened);
}

// The key below `parent`, created when it does not exist; an empty key when neither works.
TScopedRegKey CreateRegKey(HKEY parent, const std::u16string& path, REGSAM access) {
    HKEY created = nullptr;
    if (RegCreateKeyExW(parent, WinStr(path), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                        &created, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return TScopedRegKey(created);
}

// Deletes a key below `parent` with everything under it, children first, since a key that
// still has subkeys cannot be deleted.
bool DeleteTree(HKEY parent, const std::u16string& path) {
    TScopedRegKey key = OpenRegKey(parent, path, KEY_READ | DELETE);
    if (!key) {
        return false;
    }
    std::vector<std::u16string> children;
    for (DWORD index = 0;; ++index) {
        // Key names are at most 255 characters.
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        children.push_back(FromWinStr(name, length));
    }
    bool complete = true;
    for (const std::u16string& child : children) {
        complete = DeleteTree(key.Get(), child) && complete;
    }
    key.Reset();
    return RegDeleteKeyW(parent, WinStr(path)) == ERROR_SUCCESS && complete;
}

} // namespace

TLumRegistry::TLumRegistry(REGSAM access) : access_(access) {}

TLumRegistry::~TLumRegistry() = default;

void TLumRegistry::SetRootKey(HKEY root) {
    CloseKey();
    rootKey_ = root;
}

HKEY TLumRegistry::BaseKey(std::u16string_view key) const {
    bool fromRoot = !key.empty() && key.front() == u'\\';
    return fromRoot || !currentKey_ ? rootKey_ : currentKey_.Get();
}

std::u16string TLumRegistry::FullPath(std::u16string_view key) const {
    bool fromRoot = !key.empty() && key.front() == u'\\';
    std::u16string path(Trimmed(key));
    if (fromRoot || !currentKey_ || currentPath_.empty()) {
        return path;
    }
    return path.empty() ? currentPath_ : currentPath_ + u"\\" + path;
}

bool TLumRegistry::OpenKey(std::u16string_view key, bool canCreate) {
    std::u16string sub(Trimmed(key));
    TScopedRegKey opened = canCreate ? CreateRegKey(BaseKey(key), sub, access_)
                                     : OpenRegKey(BaseKey(key), sub, access_);
    if (!opened) {
        return false;
    }
    std::u16string path = FullPath(key);
    currentKey_ = std::move(opened);
    currentPath_ = std::move(path);
    return true;
}

bool TLumRegistry::OpenKeyReadOnly(std::u16string_view key) {
    TRestore<REGSAM> readOnly(access_, KEY_READ);
    return OpenKey(key, false);
}

void TLumRegistry::CloseKey() {
    currentKey_.Reset();
    currentPath_.clear();
}

bool TLumRegistry::KeyExists(std::u16string_view key) {
    return static_cast<bool>(OpenRegKey(BaseKey(key), std::u16string(Trimmed(key)), KEY_READ));
}

bool TLumRegistry::ValueExists(std::u16string_view name) const {
    std::u16string valueName(name);
    return RegQueryValueExW(currentKey_.Get(), WinStr(valueName), nullptr, nullptr, nullptr,
                            nullptr) == ERROR_SUCCESS;
}

TRegDataType TLumRegistry::GetDataType(std::u16string_view name) const {
    std::u16string valueName(name);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(currentKey_.Get(), WinStr(valueName), nullptr, &type, nullptr, nullptr) !=
        ERROR_SUCCESS) {
        return rdUnknown;
    }
    switch (type) {
    case REG_SZ:
        return rdString;
    case REG_EXPAND_SZ:
        return rdExpandString;
    case REG_DWORD:
        return rdInteger;
    case REG_BINARY:
        return rdBinary;
    default:
        return rdUnknown;
    }
}

std::u16string TLumRegistry::ReadString(std::u16string_view name) const {
    std::u16string valueName(name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(currentKey_.Get(), WinStr(valueName), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        RaiseRegistryError(LumRegistry::SInvalidRegType, name);
    }
    if (size / 2 == 0) {
        return {};
    }
    // Room for every byte the value holds, so that a malformed value of odd size still reads;
    // its last half character is dropped below.
    std::u16string text((size + 1) / 2, u'\0');
    DWORD read = size;
    if (RegQueryValueExW(currentKey_.Get(), WinStr(valueName), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(text.data()), &read) != ERROR_SUCCESS) {
        RaiseRegistryError(LumRegistry::SRegGetDataFailed, name);
    }
    text.resize(read / 2);
    if (size_t nul = text.find(u'\0'); nul != std::u16string::npos) {
        text.resize(nul);
    }
    return text;
}

std::int32_t TLumRegistry::ReadInteger(std::u16string_view name) const {
    std::u16string valueName(name);
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(currentKey_.Get(), WinStr(valueName), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        RaiseRegistryError(LumRegistry::SRegGetDataFailed, name);
    }
    if (type != REG_DWORD || size != sizeof(DWORD)) {
        RaiseRegistryError(LumRegistry::SInvalidRegType, name);
    }
    DWORD value = 0;
    if (RegQueryValueExW(currentKey_.Get(), WinStr(valueName), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
        RaiseRegistryError(LumRegistry::SRegGetDataFailed, name);
    }
    return static_cast<std::int32_t>(value);
}

void TLumRegistry::WriteData(std::u16string_view name, DWORD type, const void* data, DWORD size) {
    std::u16string valueName(name);
    if (RegSetValueExW(currentKey_.Get(), WinStr(valueName), 0, type,
                       static_cast<const BYTE*>(data), size) != ERROR_SUCCESS) {
        RaiseRegistryError(LumRegistry::SRegSetDataFailed, name);
    }
}

void TLumRegistry::WriteText(std::u16string_view name, DWORD type, std::u16string_view value) {
    // With its terminating NUL, which the registry stores as part of the value.
    std::u16string text(value);
    WriteData(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

void TLumRegistry::WriteString(std::u16string_view name, std::u16string_view value) {
    WriteText(name, REG_SZ, value);
}

void TLumRegistry::WriteExpandString(std::u16string_view name, std::u16string_view value) {
    WriteText(name, REG_EXPAND_SZ, value);
}

void TLumRegistry::WriteInteger(std::u16string_view name, std::int32_t value) {
    auto data = static_cast<DWORD>(value);
    WriteData(name, REG_DWORD, &data, sizeof(data));
}

bool TLumRegistry::DeleteValue(std::u16string_view name) {
    std::u16string valueName(name);
    return RegDeleteValueW(currentKey_.Get(), WinStr(valueName)) == ERROR_SUCCESS;
}

bool TLumRegistry::DeleteKey(std::u16string_view key) {
    std::u16string sub(Trimmed(key));
    // An empty path would name the base key itself.
    return !sub.empty() && DeleteTree(BaseKey(key), sub);
}
