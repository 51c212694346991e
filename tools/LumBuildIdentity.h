#pragma once
// The executable's build identity and the resources that mark it as able to check its
// translation module.

#include "toolkit/res/LumResFile.h"

#include <string>
#include <vector>

/// A GUID in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", derived from a SHA-256
/// of every resource but a previous identity, so it changes exactly when a resource changes.
std::u16string BuildIdentity(const std::vector<TResEntry>& entries);

/// RCDATA "LUM_TRX_GUID": the identity as 38 UTF-16LE characters without a terminating zero.
TResEntry IdentityResource(const std::u16string& identity);

/// RCDATA "LUM_TRX_FLAG": the 65-byte ANSI text that says the application checks its module.
TResEntry TranslationFlagResource();
