#pragma once
// The runtime's module records: for each module, the module its resources are taken from (its
// resource instance). That is the module itself until a translation module is installed.

#include "toolkit/LumUnits.h"
#include "toolkit/LumWin.h"

/// The executable's own instance handle.
HINSTANCE MainInstance();

/// The resource instance of the module; the module itself when nothing else was set.
HINSTANCE FindResourceHInstance(HINSTANCE instance);

/// Makes `resource` the resource instance of `instance`. The previous resource module is not
/// freed here; whoever installs a translation module decides that.
void SetResourceHInstance(HINSTANCE instance, HINSTANCE resource);

/// At its last stop the unit frees a translation module that is still installed for the
/// executable and forgets all records.
extern TUnit LumResModuleUnit;
