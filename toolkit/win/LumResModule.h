#pragma once
// The runtime's module records: for each module, the module its resources are taken from (its
// resource instance). That is the module itself until a translation module is installed.

#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/base/LumWin.h"

/// The executable's own instance handle.
HINSTANCE MainInstance();

/// The resource instance of the module; the module itself when nothing else was set.
HINSTANCE FindResourceHInstance(HINSTANCE instance);

/// Makes `resource` the resource instance of `instance`. The previous resource module is not
/// freed here; whoever installs a translation module decides that.
void SetResourceHInstance(HINSTANCE instance, HINSTANCE resource);

/// The string from the executable's resource module's string tables; raises EResNotFound
/// "Resource %s not found" with the id when that module lacks it.
std::u16string LoadModuleResString(const TResStringRec& rec);

/// Its start makes LoadResString read through LoadModuleResString. Its last stop puts the
/// previous loader back, frees a translation module that is still installed for the
/// executable and forgets all records.
extern TUnit LumResModuleUnit;
