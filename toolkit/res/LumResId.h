#pragma once
// A resource type or name, as resource files, resource directories and the Win32 resource calls
// know it: a 16-bit number, or a UTF-16 name. One type for the build tools, the .res file
// model, the PE resource walker and the runtime's resource stream.

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

class TResId {
  public:
    /// The number 0 (the type and name of the empty entry that opens a .res file).
    constexpr TResId() = default;
    constexpr explicit TResId(std::uint16_t number) : number_(number) {}
    /// A name as given; the system matches names without regard to case (see Of).
    TResId(std::u16string_view name) : name_(name), isName_(true) {}
    TResId(const char16_t* name) : TResId(std::u16string_view(name)) {}

    static TResId Of(std::uint16_t number) { return TResId(number); }
    /// A name in upper case (ASCII letters), as the resource compiler stores names; an empty
    /// name is the number 0, as a .res file reads it.
    static TResId Of(std::u16string_view name);

    bool IsNumber() const { return !isName_; }
    bool IsName() const { return isName_; }
    /// The number; 0 for a name.
    std::uint16_t Number() const { return number_; }
    /// The name; empty for a number.
    const std::u16string& Name() const { return name_; }
    /// The name, or the number in decimal.
    std::u16string Display() const;

    bool operator==(const TResId&) const = default;
    /// Numbers before names (as in a resource directory), numbers by value, names by their
    /// code units.
    std::strong_ordering operator<=>(const TResId& other) const;

  private:
    std::u16string name_;
    std::uint16_t number_ = 0;
    bool isName_ = false;
};

/// The system's resource types the formats and the runtime use.
constexpr std::uint16_t kRtString = 6;
constexpr std::uint16_t kRtRcData = 10;

/// The system's resource type of raw data (RT_RCDATA).
inline TResId RcDataType() {
    return TResId(kRtRcData);
}
