#pragma once
// A read-only stream over a resource of a loaded module (Win32).

#include "toolkit/base/LumStreams.h"
#include "toolkit/res/LumResId.h"

#include <cstdint>

struct HINSTANCE__;

/// A read-only stream over a resource of a module: the resource found by type and name (text
/// names are matched without regard to case), loaded and locked; the stream reads the
/// module's memory without copying it. The module must stay loaded while the stream lives.
class TLumResourceStream : public TLumCustomMemoryStream {
  public:
    /// A missing resource, or one that cannot be loaded, raises EResNotFound
    /// "Resource %s not found" with the name.
    TLumResourceStream(HINSTANCE__* instance, const TResId& name, const TResId& type);
    /// The resource with a numeric id.
    TLumResourceStream(HINSTANCE__* instance, std::uint16_t id, const TResId& type);

    /// Raises EStreamError "Can't write to a read-only resource stream".
    size_t Write(const void* buffer, size_t count) override;
    /// Raises EStreamError "Can't write to a read-only resource stream".
    void SetSize(std::int64_t size) override;
};
