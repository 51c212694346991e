#pragma once
// The executable's build identity: the hash over its resources. The resources that carry it
// and their format are toolkit/res/LumBuildIdentity.h.

#include "toolkit/res/LumBuildIdentity.h"

#include <string>
#include <vector>

/// A GUID in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", derived from a SHA-256
/// of every resource but a previous identity, so it changes exactly when a resource changes.
std::u16string BuildIdentity(const std::vector<TResEntry>& entries);
