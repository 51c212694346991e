#pragma once
// The resources of a loaded module, every one of them: enumerated by type, name and language,
// each with its locked data. Win32 only.

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumResId.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

/// One resource of a module under its type, name and language.
struct TModuleResource {
    TResId Type;
    TResId Name;
    std::uint16_t Language = 0;
    /// The locked data in the module's memory: valid only while the module stays loaded.
    std::span<const std::uint8_t> Data;
};

/// The id as the resource calls take it: MAKEINTRESOURCEW of a number, or the name's text,
/// which lives as long as the id.
LPCWSTR ResourcePointer(const TResId& id);

/// Loads the file as a data module (its code never runs, its imports are not resolved), for
/// reading its resources. Raises EOSError when it cannot be loaded.
TScopedLibrary LoadDataModule(const std::u16string& fileName);

/// Every resource of the module: its types, for each type its names, for each name its
/// languages, in the order the system enumerates them. A module without any resources has
/// none. A failed enumeration, or a resource that cannot be found, loaded, locked or sized,
/// raises EOSError.
std::vector<TModuleResource> EnumerateModuleResources(HMODULE module);
