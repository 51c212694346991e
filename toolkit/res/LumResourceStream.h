#pragma once
// A read-only stream over a resource of a loaded module (Win32).

#include "toolkit/base/LumStreams.h"

#include <cstdint>
#include <string>
#include <string_view>

struct HINSTANCE__;

/// A resource name or type: a text, or a number as the system's integer resources have.
class TResId {
  public:
    TResId(std::u16string_view text) : text_(text) {}
    TResId(const char16_t* text) : text_(text) {}
    constexpr explicit TResId(std::uint16_t number) : number_(number), isNumber_(true) {}

    bool IsNumber() const { return isNumber_; }
    std::uint16_t Number() const { return number_; }
    const std::u16string& Text() const { return text_; }
    /// The text, or the number in decimal.
    std::u16string Display() const;

  private:
    std::u16string text_;
    std::uint16_t number_ = 0;
    bool isNumber_ = false;
};

/// The system's resource type of raw data (RT_RCDATA).
inline TResId RcDataType() {
    return TResId(std::uint16_t(10));
}

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
