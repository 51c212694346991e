#pragma once
// The library's registry class. Win32 only.

#include "toolkit/win/LumRegistry.h"

/// The toolkit's registry class under the library's name; the library's registry lookups
/// (COM servers, Office, the translation module's locale keys) go through it.
class TLumRegistryLX : public TLumRegistry {
  public:
    using TLumRegistry::TLumRegistry;
    ~TLumRegistryLX() override;
};
