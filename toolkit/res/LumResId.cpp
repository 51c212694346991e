#include "toolkit/res/LumResId.h"

#include "toolkit/base/LumStrings.h"

#include <tuple>

TResId TResId::Of(std::u16string_view name) {
    return name.empty() ? TResId() : TResId(AsciiUpperCase(name));
}

std::u16string TResId::Display() const {
    return isName_ ? name_ : AsciiToWide(std::to_string(number_));
}

std::strong_ordering TResId::operator<=>(const TResId& other) const {
    return std::tie(isName_, name_, number_) <=>
           std::tie(other.isName_, other.name_, other.number_);
}
