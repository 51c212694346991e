// The variant's values and arrays, and the counted interface references it holds.
#include "toolkit/base/LumVariants.h"

#include "rstr/LumVariants.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"

#include <climits>
#include <cstdint>
#include <utility>
#include <vector>

struct TLumVariant::TArray {
    int Low = 0;
    TVarType ElementType = varVariant;
    std::vector<TLumVariant> Items;
};

namespace {

[[noreturn]] void ArrayError(const TResStringRec& text) {
    throw EVariantError(LoadResString(text));
}

// An array whose elements would take more than 2 GB cannot exist in the 32-bit program; the
// count is refused before it is ever narrowed to size_t.
constexpr std::int64_t kMaxArrayCount = INT_MAX / sizeof(TLumVariant);

// The element count from low to high bound, computed in 64 bits so that no bound overflows.
size_t ArrayCount(int lowBound, int highBound) {
    std::int64_t count = std::int64_t{highBound} - lowBound + 1;
    if (count < 0 || count > kMaxArrayCount) {
        ArrayError(LumVariants::SVarArrayCreate);
    }
    return static_cast<size_t>(count);
}

TLumVariant ZeroOf(TVarType type) {
    if (type == varVariant) {
        return TLumVariant();
    }
    return TLumVariant().ChangeType(type);
}

} // namespace

// ---- TLumInterface

TLumInterface::TLumInterface(void* object, const TInterfaceOps* ops)
    : object_(object), ops_(object ? ops : nullptr) {
    if (object_) {
        ops_->AddRef(object_);
    }
}

TLumInterface::TLumInterface(const TLumInterface& other)
    : TLumInterface(other.object_, other.ops_) {}

TLumInterface::TLumInterface(TLumInterface&& other) noexcept
    : object_(std::exchange(other.object_, nullptr)), ops_(std::exchange(other.ops_, nullptr)) {}

TLumInterface& TLumInterface::operator=(TLumInterface other) noexcept {
    std::swap(object_, other.object_);
    std::swap(ops_, other.ops_);
    return *this;
}

TLumInterface::~TLumInterface() {
    if (object_) {
        ops_->Release(object_);
    }
}

TLumInterface TLumInterface::QueryDispatch() const {
    if (!object_ || !ops_->QueryDispatch) {
        return {};
    }
    void* dispatch = ops_->QueryDispatch(object_);
    if (!dispatch) {
        return {};
    }
    // The query added the caller's reference; the new TLumInterface adds its own.
    TLumInterface result(dispatch, ops_);
    ops_->Release(dispatch);
    return result;
}

// ---- TLumVariant

TLumVariant::TArrayBox::TArrayBox(std::unique_ptr<TArray> array) : array_(std::move(array)) {}
TLumVariant::TArrayBox::TArrayBox(const TArrayBox& other)
    : array_(std::make_unique<TArray>(*other.array_)) {}
TLumVariant::TArrayBox::TArrayBox(TArrayBox&& other) noexcept = default;
TLumVariant::TArrayBox& TLumVariant::TArrayBox::operator=(const TArrayBox& other) {
    array_ = std::make_unique<TArray>(*other.array_);
    return *this;
}
TLumVariant::TArrayBox& TLumVariant::TArrayBox::operator=(TArrayBox&& other) noexcept = default;
TLumVariant::TArrayBox::~TArrayBox() = default;

TLumVariant::TLumVariant(const TLumVariant& other) = default;
// A variant moved from is Empty, never a kind without its value.
TLumVariant::TLumVariant(TLumVariant&& other) noexcept
    : type_(std::exchange(other.type_, varEmpty)), value_(std::exchange(other.value_, {})) {}
TLumVariant::~TLumVariant() = default;

TLumVariant& TLumVariant::operator=(const TLumVariant& other) {
    // Through a copy: other may live inside this variant's own array.
    TLumVariant copy(other);
    return *this = std::move(copy);
}

TLumVariant& TLumVariant::operator=(TLumVariant&& other) noexcept {
    type_ = std::exchange(other.type_, varEmpty);
    value_ = std::exchange(other.value_, {});
    return *this;
}

TLumVariant::TLumVariant(const TDecimal& value) : type_(varDecimal), value_(value) {
    if (value.Scale > 28) {
        throw EConvertError(Format(LoadResString(LumVariants::SInvalidDecimalScale),
                                   static_cast<int>(value.Scale)));
    }
}

TLumVariant::TLumVariant(TVarType type, TPayload value) : type_(type), value_(std::move(value)) {}

TLumVariant TLumVariant::Null() {
    return TLumVariant(varNull, std::monostate());
}

TLumVariant TLumVariant::FromDate(double value) {
    return TLumVariant(varDate, value);
}

TLumVariant TLumVariant::FromUnknown(TLumInterface value) {
    return TLumVariant(varUnknown, std::move(value));
}

TLumVariant TLumVariant::FromDispatch(TLumInterface value) {
    return TLumVariant(varDispatch, std::move(value));
}

TVarType TLumVariant::VarType() const {
    if (type_ == varArray) {
        return static_cast<TVarType>(varArray | ArrayData().ElementType);
    }
    return type_;
}

TLumVariant::TArray& TLumVariant::ArrayData() const {
    if (type_ != varArray) {
        ArrayError(LumVariants::SVarNotArray);
    }
    return std::get<TArrayBox>(value_).Get();
}

int TLumVariant::ArrayLowBound() const {
    return ArrayData().Low;
}

int TLumVariant::ArrayHighBound() const {
    const TArray& array = ArrayData();
    // Low + count passes INT_MAX for an array that ends at INT_MAX. An empty array never
    // starts at INT_MIN, so the result fits.
    return static_cast<int>(std::int64_t{array.Low} +
                            static_cast<std::int64_t>(array.Items.size()) - 1);
}

const TLumVariant& TLumVariant::GetElement(int index) const {
    const TArray& array = ArrayData();
    std::int64_t offset = static_cast<std::int64_t>(index) - array.Low;
    if (offset < 0 || offset >= static_cast<std::int64_t>(array.Items.size())) {
        ArrayError(LumVariants::SVarArrayBounds);
    }
    return array.Items[static_cast<size_t>(offset)];
}

void TLumVariant::PutElement(int index, const TLumVariant& value) {
    TArray& array = ArrayData();
    std::int64_t offset = static_cast<std::int64_t>(index) - array.Low;
    if (offset < 0 || offset >= static_cast<std::int64_t>(array.Items.size())) {
        ArrayError(LumVariants::SVarArrayBounds);
    }
    // Converted (or copied) first: value may be this very array or one of its elements.
    TLumVariant element = value.ChangeType(array.ElementType);
    array.Items[static_cast<size_t>(offset)] = std::move(element);
}

void TLumVariant::ArrayRedim(int highBound) {
    TArray& array = ArrayData();
    array.Items.resize(ArrayCount(array.Low, highBound), ZeroOf(array.ElementType));
}

TLumVariant VarArrayCreate(int lowBound, int highBound, TVarType elementType) {
    size_t count = ArrayCount(lowBound, highBound);
    if (elementType != varVariant && !IsScalarKind(elementType)) {
        ArrayError(LumVariants::SVarArrayCreate);
    }
    auto array = std::make_unique<TLumVariant::TArray>();
    array->Low = lowBound;
    array->ElementType = elementType;
    array->Items.assign(count, ZeroOf(elementType));
    return TLumVariant(varArray, TLumVariant::TArrayBox(std::move(array)));
}
