#include "toolkit/res/LumModuleResourcesWin.h"

#include "toolkit/base/LumOSErrors.h"

#include <exception>

namespace {

TResId IdOf(LPCWSTR pointer) {
    if (IS_INTRESOURCE(pointer)) {
        return TResId(static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(pointer)));
    }
    return TResId(std::u16string_view(reinterpret_cast<const char16_t*>(pointer)));
}

// What the enumeration callbacks collect. A callback must not let an exception through the
// system's frames: it keeps it and stops the enumeration, and the caller raises it again.
struct TCollected {
    std::vector<TResId> Ids;
    std::vector<std::uint16_t> Languages;
    std::exception_ptr Error;
};

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR param) {
    auto* collected = reinterpret_cast<TCollected*>(param);
    try {
        collected->Ids.push_back(IdOf(type));
        return TRUE;
    } catch (...) {
        collected->Error = std::current_exception();
        return FALSE;
    }
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    auto* collected = reinterpret_cast<TCollected*>(param);
    try {
        collected->Ids.push_back(IdOf(name));
        return TRUE;
    } catch (...) {
        collected->Error = std::current_exception();
        return FALSE;
    }
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    auto* collected = reinterpret_cast<TCollected*>(param);
    try {
        collected->Languages.push_back(language);
        return TRUE;
    } catch (...) {
        collected->Error = std::current_exception();
        return FALSE;
    }
}

void CheckEnumeration(BOOL succeeded, const TCollected& collected) {
    if (collected.Error) {
        std::rethrow_exception(collected.Error);
    }
    Win32Check(succeeded);
}

} // namespace

LPCWSTR ResourcePointer(const TResId& id) {
    return id.IsNumber() ? MAKEINTRESOURCEW(id.Number()) : WinStr(id.Name());
}

TScopedLibrary LoadDataModule(const std::u16string& fileName) {
    TScopedLibrary module(LoadLibraryExW(WinStr(fileName), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    Win32Check(module.IsValid());
    return module;
}

std::vector<TModuleResource> EnumerateModuleResources(HMODULE module) {
    TCollected types;
    BOOL listed = EnumResourceTypesW(module, &CollectType, reinterpret_cast<LONG_PTR>(&types));
    if (!listed && !types.Error && types.Ids.empty()) {
        // A module without a resource directory is not a failure: it has no resources.
        DWORD error = GetLastError();
        if (error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND) {
            return {};
        }
    }
    CheckEnumeration(listed, types);

    std::vector<TModuleResource> resources;
    for (const TResId& type : types.Ids) {
        TCollected names;
        CheckEnumeration(EnumResourceNamesW(module, ResourcePointer(type), &CollectName,
                                            reinterpret_cast<LONG_PTR>(&names)),
                         names);
        for (const TResId& name : names.Ids) {
            TCollected languages;
            CheckEnumeration(EnumResourceLanguagesW(module, ResourcePointer(type),
                                                    ResourcePointer(name), &CollectLanguage,
                                                    reinterpret_cast<LONG_PTR>(&languages)),
                             languages);
            for (std::uint16_t language : languages.Languages) {
                HRSRC found =
                    FindResourceExW(module, ResourcePointer(type), ResourcePointer(name), language);
                Win32Check(found != nullptr);
                HGLOBAL loaded = LoadResource(module, found);
                Win32Check(loaded != nullptr);
                const void* data = LockResource(loaded);
                Win32Check(data != nullptr);
                SetLastError(ERROR_SUCCESS);
                DWORD size = SizeofResource(module, found);
                Win32Check(size != 0 || GetLastError() == ERROR_SUCCESS);
                resources.push_back(
                    {type, name, language, {static_cast<const std::uint8_t*>(data), size}});
            }
        }
    }
    return resources;
}
