#pragma once
// The kinds of variant values: their codes, their names, the groups the conversion rules speak
// of, and the two errors every conversion raises (LumVariants.h has the rules).

#include <cstdint>
#include <string>
#include <string_view>

/// Kinds of variant values, with the runtime's codes. An array is varArray combined with the
/// kind of its elements.
enum TVarType : std::uint16_t {
    varEmpty = 0x0000,
    varNull = 0x0001,
    varSmallint = 0x0002,
    varInteger = 0x0003,
    varSingle = 0x0004,
    varDouble = 0x0005,
    varCurrency = 0x0006,
    varDate = 0x0007,
    varOleStr = 0x0008,
    varDispatch = 0x0009,
    varBoolean = 0x000B,
    varVariant = 0x000C,
    varUnknown = 0x000D,
    varDecimal = 0x000E,
    varShortInt = 0x0010,
    varByte = 0x0011,
    varWord = 0x0012,
    varLongWord = 0x0013,
    varInt64 = 0x0014,
    varUInt64 = 0x0015,
    varString = 0x0100,
    varArray = 0x2000,
};

/// The kind's name as conversion errors print it: "Integer", "String", "OleStr", "Null", ...;
/// an array is "Array " and its element kind's name; an unknown code "$" and four hex digits.
std::u16string VarTypeAsText(TVarType type);

constexpr bool IsSignedKind(TVarType t) {
    return t == varShortInt || t == varSmallint || t == varInteger || t == varInt64;
}
constexpr bool IsUnsignedKind(TVarType t) {
    return t == varByte || t == varWord || t == varLongWord || t == varUInt64;
}
constexpr bool IsIntegerKind(TVarType t) {
    return IsSignedKind(t) || IsUnsignedKind(t);
}
/// Single, Double and Date (a date is a double).
constexpr bool IsFloatKind(TVarType t) {
    return t == varSingle || t == varDouble || t == varDate;
}
/// The kinds that hold a number: integers, floats, currency, decimals and Boolean (-1 and 0).
constexpr bool IsNumberKind(TVarType t) {
    return IsIntegerKind(t) || IsFloatKind(t) || t == varCurrency || t == varDecimal ||
           t == varBoolean;
}
/// String (ANSI) and OleStr (wide).
constexpr bool IsTextKind(TVarType t) {
    return t == varString || t == varOleStr;
}
constexpr bool IsInterfaceKind(TVarType t) {
    return t == varUnknown || t == varDispatch;
}
/// The kinds an array's elements may have besides varVariant.
constexpr bool IsScalarKind(TVarType t) {
    return IsNumberKind(t) || IsTextKind(t) || IsInterfaceKind(t);
}

/// Raises EConvertError "Could not convert variant of type (%s) into type (%s)".
[[noreturn]] void RaiseCouldNotConvert(TVarType from, TVarType to);

/// Raises EConvertError "Variant value %s is out of range for type (%s)".
[[noreturn]] void RaiseOutOfRange(std::u16string_view valueText, TVarType to);
