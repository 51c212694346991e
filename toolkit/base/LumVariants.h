#pragma once
// TLumVariant: the runtime's variant. A value of one of the kinds below, converted between
// kinds on request with the runtime's rules, compared across kinds, and able to hold a
// one-dimensional array of variants.
//
// Conversion rules:
// - Integers widen freely and narrow with a range check; floating-point values, currency and
//   decimals become integers by rounding half to even. A value out of the target's range
//   raises EConvertError "Variant value %s is out of range for type (%s)".
// - Boolean is -1 (True) or 0 (False) as a number; a number is True when it is not 0. As text
//   it is "True" or "False"; texts "True" and "False" in any letter case convert back.
// - Texts convert to numbers with "." as decimal point and an optional exponent; integers also
//   take a text with a fraction, rounded. Numbers become texts as Format's %g writes them
//   (Single with 7 digits, currency and decimals exactly, without trailing zeros). Dates are
//   written and read as "M/d/yyyy h:nn:ss AM/PM", the time left out at midnight.
// - Empty converts to 0, "", False, a zero date and a none interface; Null converts only to
//   Null. Anything else that does not fit raises EConvertError "Could not convert variant of
//   type (%s) into type (%s)" with the names of VarTypeAsText.
//
// The kinds (LumVarTypes.h), the decimals (LumDecimal.h) and the date texts (LumDateTime.h)
// are modules of their own. The class is split by topic: values and arrays (LumVariants.cpp),
// conversions (LumVariantsConvert.cpp) and comparison (LumVariantsCompare.cpp).

#include "toolkit/base/LumDecimal.h"
#include "toolkit/base/LumVarTypes.h"

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

/// A fixed-point amount: a 64-bit integer counting ten-thousandths.
struct TCurrency {
    std::int64_t Value = 0;

    friend constexpr bool operator==(TCurrency, TCurrency) = default;
};

/// How a reference-counted object is kept alive, and asked for its dispatch interface.
struct TInterfaceOps {
    void (*AddRef)(void* object);
    void (*Release)(void* object);
    /// The object's dispatch interface with a reference added for the caller, or none.
    void* (*QueryDispatch)(void* object);
};

/// A counted reference to an interface object (on Windows a COM object, see LumVariantsWin.h).
/// Copies add a reference, destruction releases one.
class TLumInterface {
  public:
    TLumInterface() = default;
    /// Refers to object, adding a reference; a none object gives an empty reference.
    TLumInterface(void* object, const TInterfaceOps* ops);
    TLumInterface(const TLumInterface& other);
    TLumInterface(TLumInterface&& other) noexcept;
    TLumInterface& operator=(TLumInterface other) noexcept;
    ~TLumInterface();

    void* Get() const { return object_; }
    const TInterfaceOps* Ops() const { return ops_; }
    explicit operator bool() const { return object_ != nullptr; }

    /// The object's dispatch interface, or an empty reference when it has none.
    TLumInterface QueryDispatch() const;

    /// The same object.
    friend bool operator==(const TLumInterface& a, const TLumInterface& b) {
        return a.object_ == b.object_;
    }

  private:
    void* object_ = nullptr;
    const TInterfaceOps* ops_ = nullptr;
};

class TLumVariant {
  public:
    /// Empty.
    TLumVariant() = default;
    TLumVariant(const TLumVariant& other);
    TLumVariant(TLumVariant&& other) noexcept;
    TLumVariant& operator=(const TLumVariant& other);
    TLumVariant& operator=(TLumVariant&& other) noexcept;
    ~TLumVariant();

    /// Integers take the kind of their size and signedness: int8_t ShortInt, int16_t Smallint,
    /// int32_t Integer, int64_t Int64, uint8_t Byte, uint16_t Word, uint32_t LongWord,
    /// uint64_t UInt64.
    template <std::integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, char16_t> &&
             !std::same_as<T, wchar_t>) TLumVariant(T value) {
        if constexpr (std::is_signed_v<T>) {
            type_ = sizeof(T) == 1   ? varShortInt
                    : sizeof(T) == 2 ? varSmallint
                    : sizeof(T) == 4 ? varInteger
                                     : varInt64;
            value_ = static_cast<std::int64_t>(value);
        } else {
            type_ = sizeof(T) == 1   ? varByte
                    : sizeof(T) == 2 ? varWord
                    : sizeof(T) == 4 ? varLongWord
                                     : varUInt64;
            value_ = static_cast<std::uint64_t>(value);
        }
    }
    TLumVariant(bool value) : type_(varBoolean), value_(value) {}
    TLumVariant(float value) : type_(varSingle), value_(value) {}
    TLumVariant(double value) : type_(varDouble), value_(value) {}
    TLumVariant(TCurrency value) : type_(varCurrency), value_(value) {}
    /// Raises EConvertError "Decimal scale %d is out of range (0 to 28)" for a larger scale.
    TLumVariant(const TDecimal& value);
    /// ANSI text (String).
    TLumVariant(std::string value) : type_(varString), value_(std::move(value)) {}
    TLumVariant(const char* value) : TLumVariant(std::string(value ? value : "")) {}
    /// Wide text (OleStr).
    TLumVariant(std::u16string value) : type_(varOleStr), value_(std::move(value)) {}
    TLumVariant(const char16_t* value) : TLumVariant(std::u16string(value ? value : u"")) {}
    /// Other pointers would silently become Booleans.
    template <class T> TLumVariant(T*) = delete;

    static TLumVariant Null();
    /// A date: days since 1899-12-30, the fraction being the time of day.
    static TLumVariant FromDate(double value);
    static TLumVariant FromUnknown(TLumInterface value);
    static TLumVariant FromDispatch(TLumInterface value);

    /// The kind; for an array varArray combined with the element kind.
    TVarType VarType() const;
    bool IsEmpty() const { return type_ == varEmpty; }
    bool IsNull() const { return type_ == varNull; }
    bool IsArray() const { return type_ == varArray; }
    /// 1 for an array, 0 for anything else.
    int ArrayDimCount() const { return IsArray() ? 1 : 0; }

    /// The value converted to the kind (varVariant: unchanged). Raises EConvertError as the
    /// rules above say; arrays convert to nothing but themselves.
    TLumVariant ChangeType(TVarType type) const;

    bool AsBoolean() const;
    std::int32_t AsInteger() const;
    std::int64_t AsInt64() const;
    double AsDouble() const;
    /// Days since 1899-12-30.
    double AsDate() const;
    TCurrency AsCurrency() const;
    TDecimal AsDecimal() const;
    /// ANSI text.
    std::string AsString() const;
    std::u16string AsWideString() const;
    /// Unknown, Dispatch or Empty (an empty reference).
    TLumInterface AsInterface() const;
    /// Dispatch, Unknown that has a dispatch interface, or Empty (an empty reference).
    TLumInterface AsDispatch() const;

    /// Bounds of an array; EVariantError "Variant is not an array" for anything else.
    int ArrayLowBound() const;
    int ArrayHighBound() const;
    /// The element at index; valid until the array changes. EVariantError "Variant or safe
    /// array index out of bounds" outside the bounds.
    const TLumVariant& GetElement(int index) const;
    /// Stores value, converted to the element kind unless that is varVariant.
    void PutElement(int index, const TLumVariant& value);
    /// Moves the high bound, keeping the elements that stay and giving new ones the element
    /// kind's zero (Empty for varVariant). EVariantError "Error creating variant or safe array"
    /// below low bound - 1, or for more elements than VarArrayCreate takes.
    void ArrayRedim(int highBound);

  private:
    friend TLumVariant VarArrayCreate(int lowBound, int highBound, TVarType elementType);
    friend struct TVariantAccess;

    struct TArray;
    // Arrays are values: copying a variant copies its elements.
    class TArrayBox {
      public:
        explicit TArrayBox(std::unique_ptr<TArray> array);
        TArrayBox(const TArrayBox& other);
        TArrayBox(TArrayBox&& other) noexcept;
        TArrayBox& operator=(const TArrayBox& other);
        TArrayBox& operator=(TArrayBox&& other) noexcept;
        ~TArrayBox();
        TArray& Get() const { return *array_; }

      private:
        std::unique_ptr<TArray> array_;
    };

    // Signed integers are held as int64_t, unsigned ones as uint64_t, dates as double, the
    // interface kinds as TLumInterface; type_ tells the kind.
    using TPayload =
        std::variant<std::monostate, std::int64_t, std::uint64_t, float, double, bool, TCurrency,
                     TDecimal, std::string, std::u16string, TLumInterface, TArrayBox>;

    TLumVariant(TVarType type, TPayload value);
    TArray& ArrayData() const;

    TVarType type_ = varEmpty;
    TPayload value_;
};

/// A one-dimensional array from lowBound to highBound (highBound = lowBound - 1 for none) of
/// elements of the kind (varVariant: any kind, initially Empty; else the kind's zero). Raises
/// EVariantError "Error creating variant or safe array" for a high bound below lowBound - 1,
/// for elements that would take more than 2 GB (INT_MAX / sizeof(TLumVariant) of them, more
/// than a 32-bit process can hold) or an element kind that is not a scalar kind or varVariant.
TLumVariant VarArrayCreate(int lowBound, int highBound, TVarType elementType = varVariant);

/// How two variants relate; vrNotEqual means they cannot be ordered.
enum TVariantRelation { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

/// The runtime's relation of two variants. Numbers of any kinds (Boolean as -1 and 0, dates as
/// days) compare by value; two texts compare as the toolkit's string lists compare them
/// (LumCompareStrings), ignoring case only when asked; a text against a number is converted to
/// the number's kind first. Empty equals Empty and Null equals Null; Empty or Null against
/// anything else, arrays, a text that is not a number against a number, and NaN give
/// vrNotEqual. Two interface references are equal when they refer to the same object and
/// vrNotEqual otherwise. Never raises.
TVariantRelation VarCompareValue(const TLumVariant& a, const TLumVariant& b,
                                 bool ignoreCase = false);

/// VarCompareValue(a, b, ignoreCase) == vrEqual.
bool VarSameValue(const TLumVariant& a, const TLumVariant& b, bool ignoreCase = false);
