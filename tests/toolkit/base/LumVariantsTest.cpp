#include "toolkit/base/LumVariants.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#ifdef _WIN32
#include "toolkit/base/LumVariantsWin.h"
#include "toolkit/base/LumWin.h"

#include <oaidl.h>
#endif

namespace {

std::string Narrow(std::u16string_view text) {
    return WideToUtf8(text);
}

TLumVariant Dec(std::u16string_view text) {
    return TLumVariant(TDecimal::FromText(text));
}
TLumVariant Cur(std::int64_t tenThousandths) {
    return TLumVariant(TCurrency{tenThousandths});
}

// An interface object that counts its references; it may offer a dispatch interface, which
// here is a second object of the same kind.
struct TCounted {
    int refs = 0;
    TCounted* dispatch = nullptr;
};

void CountedAddRef(void* o) {
    ++static_cast<TCounted*>(o)->refs;
}
void CountedRelease(void* o) {
    --static_cast<TCounted*>(o)->refs;
}
void* CountedQuery(void* o) {
    TCounted* d = static_cast<TCounted*>(o)->dispatch;
    if (d) {
        ++d->refs;
    }
    return d;
}
constexpr TInterfaceOps kCountedOps{CountedAddRef, CountedRelease, CountedQuery};
constexpr TInterfaceOps kNoQueryOps{CountedAddRef, CountedRelease, nullptr};

} // namespace

TEST(LumVariant, KindsOfConstructedValues) {
    struct Case {
        TLumVariant value;
        TVarType type;
        const char16_t* name;
    };
    const Case cases[] = {
        {TLumVariant(), varEmpty, u"Empty"},
        {TLumVariant::Null(), varNull, u"Null"},
        {TLumVariant(std::int8_t{-1}), varShortInt, u"ShortInt"},
        {TLumVariant(std::int16_t{-1}), varSmallint, u"Smallint"},
        {TLumVariant(-1), varInteger, u"Integer"},
        {TLumVariant(std::int64_t{-1}), varInt64, u"Int64"},
        {TLumVariant(std::uint8_t{1}), varByte, u"Byte"},
        {TLumVariant(std::uint16_t{1}), varWord, u"Word"},
        {TLumVariant(1u), varLongWord, u"LongWord"},
        {TLumVariant(std::uint64_t{1}), varUInt64, u"UInt64"},
        {TLumVariant(1.5f), varSingle, u"Single"},
        {TLumVariant(1.5), varDouble, u"Double"},
        {Cur(15000), varCurrency, u"Currency"},
        {Dec(u"1.5"), varDecimal, u"Decimal"},
        {TLumVariant::FromDate(1.5), varDate, u"Date"},
        {TLumVariant(true), varBoolean, u"Boolean"},
        {TLumVariant("a"), varString, u"String"},
        {TLumVariant(u"a"), varOleStr, u"OleStr"},
        {TLumVariant::FromUnknown({}), varUnknown, u"Unknown"},
        {TLumVariant::FromDispatch({}), varDispatch, u"Dispatch"},
        {VarArrayCreate(0, 1), static_cast<TVarType>(varArray | varVariant), u"Array Variant"},
        {VarArrayCreate(0, 1, varInteger), static_cast<TVarType>(varArray | varInteger),
         u"Array Integer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        EXPECT_EQ(c.value.VarType(), c.type);
        EXPECT_EQ(VarTypeAsText(c.value.VarType()), c.name);
        EXPECT_EQ(c.value.ArrayDimCount(), (c.type & varArray) ? 1 : 0);
    }
    EXPECT_EQ(VarTypeAsText(static_cast<TVarType>(0x48)), u"$0048");
}

TEST(LumVariant, ConversionsThatSucceed) {
    struct Case {
        TLumVariant source;
        TVarType target;
        const char16_t* expected; // the result as wide text
    };
    const Case cases[] = {
        // Integers widen and narrow within range.
        {TLumVariant(255), varByte, u"255"},
        {TLumVariant(std::int64_t{-2147483648LL}), varInteger, u"-2147483648"},
        {TLumVariant(std::uint64_t{18446744073709551615ULL}), varUInt64, u"18446744073709551615"},
        {TLumVariant(std::int8_t{-128}), varInt64, u"-128"},
        // Rounding half to even.
        {TLumVariant(2.5), varInteger, u"2"},
        {TLumVariant(3.5), varInteger, u"4"},
        {TLumVariant(-2.5), varInteger, u"-2"},
        {Cur(25000), varInteger, u"2"},
        {Cur(15000), varInteger, u"2"},
        {Cur(-5000), varInteger, u"0"},
        {Dec(u"12.5"), varInteger, u"12"},
        {Dec(u"13.5"), varInteger, u"14"},
        {Dec(u"-0.4"), varInteger, u"0"},
        // Texts to numbers.
        {TLumVariant(" 42 "), varInteger, u"42"},
        {TLumVariant(u"-7"), varShortInt, u"-7"},
        {TLumVariant(u"1.5"), varInteger, u"2"},
        {TLumVariant(u"2.5E1"), varInteger, u"25"},
        {TLumVariant(u"1."), varDouble, u"1"},
        {TLumVariant(u".5"), varDouble, u"0.5"},
        {TLumVariant(u"+1.25e-2"), varDouble, u"0.0125"},
        {TLumVariant(u"1e-400"), varDouble, u"0"},
        {TLumVariant(u"12.34"), varCurrency, u"12.34"},
        // Boolean is -1 and 0.
        {TLumVariant(true), varInteger, u"-1"},
        {TLumVariant(false), varByte, u"0"},
        {TLumVariant(5), varBoolean, u"True"},
        {TLumVariant(0.0), varBoolean, u"False"},
        {Dec(u"0.001"), varBoolean, u"True"},
        {TLumVariant(u"true"), varBoolean, u"True"},
        {TLumVariant(" FALSE "), varBoolean, u"False"},
        {TLumVariant(u"0"), varBoolean, u"False"},
        {TLumVariant(u"2"), varBoolean, u"True"},
        // Empty is 0, "" and False.
        {TLumVariant(), varInteger, u"0"},
        {TLumVariant(), varOleStr, u""},
        {TLumVariant(), varBoolean, u"False"},
        {TLumVariant(), varCurrency, u"0"},
        {TLumVariant(), varDate, u"12/30/1899"},
        {TLumVariant(), varNull, u""},
        // Numbers to texts.
        {TLumVariant(0.1), varOleStr, u"0.1"},
        {TLumVariant(1e20), varOleStr, u"1E20"},
        {TLumVariant(1.5e-6), varOleStr, u"1.5E-6"},
        {TLumVariant(0.1f), varOleStr, u"0.1"},
        {TLumVariant(1.0f / 3.0f), varOleStr, u"0.3333333"},
        {TLumVariant(std::int64_t{-9223372036854775807LL - 1}), varString, u"-9223372036854775808"},
        {Cur(12345), varOleStr, u"1.2345"},
        {Cur(-5), varOleStr, u"-0.0005"},
        {Cur(1000000), varOleStr, u"100"},
        {TLumVariant(2.5), varCurrency, u"2.5"},
        // Currency and decimals.
        {Dec(u"1.23455"), varCurrency, u"1.2346"},
        {Dec(u"1.23445"), varCurrency, u"1.2344"},
        {Dec(u"-922337203685477.5808"), varCurrency, u"-922337203685477.5808"},
        {Cur(15000), varDecimal, u"1.5"},
        {TLumVariant(0.1), varDecimal, u"0.1"},
        {TLumVariant(1.0 / 3.0), varDecimal, u"0.333333333333333"},
        {TLumVariant(-250.0), varDecimal, u"-250"},
        {Dec(u"0.1"), varDouble, u"0.1"},
        {TLumVariant(std::uint64_t{18446744073709551615ULL}), varDecimal, u"18446744073709551615"},
        // ANSI and wide texts.
        {TLumVariant(std::string("\xC4pfel")), varOleStr, u"\u00C4pfel"},
        {TLumVariant(u"\u00C4pfel"), varString, u"\u00C4pfel"},
        // Dates.
        {TLumVariant::FromDate(36526.5), varOleStr, u"1/1/2000 12:00:00 PM"},
        {TLumVariant::FromDate(36526), varString, u"1/1/2000"},
        {TLumVariant::FromDate(-1.25), varOleStr, u"12/29/1899 6:00:00 AM"},
        {TLumVariant::FromDate(36526.75), varDouble, u"36526.75"},
        {TLumVariant::FromDate(-693593), varOleStr, u"1/1/0001"},
        {TLumVariant(u"12/31/1999 11:59:59 PM"), varDate, u"12/31/1999 11:59:59 PM"},
        {TLumVariant(u"2/29/2000 00:30"), varDate, u"2/29/2000 12:30:00 AM"},
        {TLumVariant(u"12:00 AM"), varDate, u"12/30/1899"},
        {TLumVariant(u"6:00:00 am"), varDate, u"12/30/1899 6:00:00 AM"},
        // Interfaces.
        {TLumVariant(), varUnknown, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(VarTypeAsText(c.source.VarType())) + " to " +
                     Narrow(VarTypeAsText(c.target)) + ": " + Narrow(c.expected));
        TLumVariant result = c.source.ChangeType(c.target);
        EXPECT_EQ(result.VarType(), c.target);
        if (c.target == varNull) {
            EXPECT_TRUE(result.IsNull());
        } else if (c.target == varUnknown) {
            EXPECT_FALSE(result.AsInterface());
        } else {
            EXPECT_EQ(result.AsWideString(), c.expected);
        }
    }
}

TEST(LumVariant, ConversionsThatFail) {
    struct Case {
        TLumVariant source;
        TVarType target;
        const char16_t* message;
    };
    const Case cases[] = {
        {TLumVariant(300), varByte, u"Variant value 300 is out of range for type (Byte)"},
        {TLumVariant(-1), varWord, u"Variant value -1 is out of range for type (Word)"},
        {TLumVariant(std::int64_t{2147483648LL}), varInteger,
         u"Variant value 2147483648 is out of range for type (Integer)"},
        {TLumVariant(std::uint64_t{9223372036854775808ULL}), varInt64,
         u"Variant value 9223372036854775808 is out of range for type (Int64)"},
        {TLumVariant(1e20), varInt64, u"Variant value 1E20 is out of range for type (Int64)"},
        {TLumVariant(std::nan("")), varInteger,
         u"Variant value NAN is out of range for type (Integer)"},
        {TLumVariant(1e39), varSingle, u"Variant value 1E39 is out of range for type (Single)"},
        {TLumVariant(true), varByte, u"Variant value True is out of range for type (Byte)"},
        {TLumVariant(u"99999999999999999999"), varInt64,
         u"Variant value 99999999999999999999 is out of range for type (Int64)"},
        {TLumVariant(u"1e400"), varDouble,
         u"Variant value 1e400 is out of range for type (Double)"},
        {TLumVariant(1e15), varCurrency, u"Variant value 1E15 is out of range for type (Currency)"},
        {Dec(u"922337203685477.5808"), varCurrency,
         u"Variant value 922337203685477.5808 is out of range for type (Currency)"},
        {TLumVariant(1e30), varDecimal, u"Variant value 1E30 is out of range for type (Decimal)"},
        {TLumVariant(u"79228162514264337593543950336"), varDecimal,
         u"Variant value 79228162514264337593543950336 is out of range for type (Decimal)"},
        {TLumVariant(u"1E29"), varDecimal,
         u"Variant value 1E29 is out of range for type (Decimal)"},
        {TLumVariant("abc"), varInteger,
         u"Could not convert variant of type (String) into type (Integer)"},
        {TLumVariant(u""), varDouble,
         u"Could not convert variant of type (OleStr) into type (Double)"},
        {TLumVariant(u"1,5"), varDouble,
         u"Could not convert variant of type (OleStr) into type (Double)"},
        {TLumVariant(u"1e"), varDecimal,
         u"Could not convert variant of type (OleStr) into type (Decimal)"},
        {TLumVariant(u"yes"), varBoolean,
         u"Could not convert variant of type (OleStr) into type (Boolean)"},
        {TLumVariant(u"2/30/2000"), varDate,
         u"Could not convert variant of type (OleStr) into type (Date)"},
        {TLumVariant(u"13:00 PM"), varDate,
         u"Could not convert variant of type (OleStr) into type (Date)"},
        {TLumVariant::FromDate(1e10), varOleStr,
         u"Could not convert variant of type (Date) into type (OleStr)"},
        {TLumVariant::Null(), varInteger,
         u"Could not convert variant of type (Null) into type (Integer)"},
        {TLumVariant::Null(), varOleStr,
         u"Could not convert variant of type (Null) into type (OleStr)"},
        {TLumVariant::Null(), varBoolean,
         u"Could not convert variant of type (Null) into type (Boolean)"},
        {TLumVariant::Null(), varEmpty,
         u"Could not convert variant of type (Null) into type (Empty)"},
        {TLumVariant(1), varNull, u"Could not convert variant of type (Integer) into type (Null)"},
        {TLumVariant(1), varEmpty,
         u"Could not convert variant of type (Integer) into type (Empty)"},
        {TLumVariant(1), varUnknown,
         u"Could not convert variant of type (Integer) into type (Unknown)"},
        {TLumVariant::FromUnknown({}), varInteger,
         u"Could not convert variant of type (Unknown) into type (Integer)"},
        {VarArrayCreate(0, 0), varInteger,
         u"Could not convert variant of type (Array Variant) into type (Integer)"},
        {VarArrayCreate(0, 0), varOleStr,
         u"Could not convert variant of type (Array Variant) into type (OleStr)"},
        {TLumVariant(1), static_cast<TVarType>(varArray | varInteger),
         u"Could not convert variant of type (Integer) into type (Array Integer)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.message));
        EXPECT_EQ(MessageOf<EConvertError>([&] { c.source.ChangeType(c.target); }), c.message);
    }
}

TEST(LumVariant, TypedAccessors) {
    TLumVariant text(u"12.5");
    EXPECT_EQ(text.AsInteger(), 12);
    EXPECT_EQ(text.AsInt64(), 12);
    EXPECT_EQ(text.AsDouble(), 12.5);
    EXPECT_EQ(text.AsCurrency().Value, 125000);
    EXPECT_EQ(text.AsDecimal().ToText(), u"12.5");
    EXPECT_EQ(text.AsString(), "12.5");
    EXPECT_TRUE(text.AsBoolean());
    EXPECT_EQ(TLumVariant(u"1/2/2000").AsDate(), 36527.0);
    // The source keeps its own kind.
    EXPECT_EQ(text.VarType(), varOleStr);
}

// The decimal module has the texts and the arithmetic (LumDecimalTest); the variant refuses
// what no decimal can be.
TEST(LumVariant, DecimalScaleBeyond28) {
    TDecimal wide;
    wide.Lo64 = 5;
    wide.Scale = 29;
    EXPECT_EQ(MessageOf<EConvertError>([&] { TLumVariant v(wide); }),
              u"Decimal scale 29 is out of range (0 to 28)");
}

TEST(LumVariant, ArraysHaveBoundsAndElements) {
    TLumVariant a = VarArrayCreate(1, 3);
    EXPECT_TRUE(a.IsArray());
    EXPECT_EQ(a.ArrayLowBound(), 1);
    EXPECT_EQ(a.ArrayHighBound(), 3);
    EXPECT_TRUE(a.GetElement(1).IsEmpty());
    a.PutElement(1, TLumVariant(u"x"));
    a.PutElement(3, TLumVariant(7));
    EXPECT_EQ(a.GetElement(1).AsWideString(), u"x");
    EXPECT_EQ(a.GetElement(3).VarType(), varInteger);

    // Copies are values of their own.
    TLumVariant copy = a;
    copy.PutElement(1, TLumVariant(u"y"));
    EXPECT_EQ(a.GetElement(1).AsWideString(), u"x");

    // An array may hold itself as it was.
    a.PutElement(2, a);
    EXPECT_EQ(a.GetElement(2).GetElement(3).AsInteger(), 7);
    EXPECT_TRUE(a.GetElement(2).GetElement(2).IsEmpty());

    a.ArrayRedim(5);
    EXPECT_EQ(a.ArrayHighBound(), 5);
    EXPECT_TRUE(a.GetElement(5).IsEmpty());
    EXPECT_EQ(a.GetElement(3).AsInteger(), 7);
    a.ArrayRedim(0);
    EXPECT_EQ(a.ArrayHighBound(), 0);
    EXPECT_EQ(a.ArrayLowBound(), 1);

    TLumVariant none = VarArrayCreate(0, -1);
    EXPECT_EQ(none.ArrayLowBound(), 0);
    EXPECT_EQ(none.ArrayHighBound(), -1);
}

TEST(LumVariant, TypedArraysConvertWhatTheyStore) {
    TLumVariant a = VarArrayCreate(0, 1, varInteger);
    EXPECT_EQ(a.GetElement(0).VarType(), varInteger);
    EXPECT_EQ(a.GetElement(0).AsInteger(), 0);
    a.PutElement(1, TLumVariant(u"12"));
    EXPECT_EQ(a.GetElement(1).VarType(), varInteger);
    EXPECT_EQ(a.GetElement(1).AsInteger(), 12);
    EXPECT_EQ(MessageOf<EConvertError>([&] { a.PutElement(0, TLumVariant(u"x")); }),
              u"Could not convert variant of type (OleStr) into type (Integer)");
    a.ArrayRedim(2);
    EXPECT_EQ(a.GetElement(2).VarType(), varInteger);
    TLumVariant texts = VarArrayCreate(0, 0, varOleStr);
    EXPECT_EQ(texts.GetElement(0).VarType(), varOleStr);
    EXPECT_EQ(texts.GetElement(0).AsWideString(), u"");
}

TEST(LumVariant, ArrayFailures) {
    TLumVariant a = VarArrayCreate(-2, 2);
    TLumVariant scalar(1);
    struct Case {
        const char* what;
        std::function<void()> call;
        const char16_t* message;
    };
    const Case cases[] = {
        {"below", [&] { a.GetElement(-3); }, u"Variant or safe array index out of bounds"},
        {"above", [&] { a.GetElement(3); }, u"Variant or safe array index out of bounds"},
        {"put above", [&] { a.PutElement(3, TLumVariant(1)); },
         u"Variant or safe array index out of bounds"},
        {"far", [&] { a.GetElement(std::numeric_limits<int>::min()); },
         u"Variant or safe array index out of bounds"},
        {"low bound", [&] { scalar.ArrayLowBound(); }, u"Variant is not an array"},
        {"high bound", [&] { scalar.ArrayHighBound(); }, u"Variant is not an array"},
        {"get", [&] { scalar.GetElement(0); }, u"Variant is not an array"},
        {"redim", [&] { scalar.ArrayRedim(1); }, u"Variant is not an array"},
        {"redim below", [&] { a.ArrayRedim(-4); }, u"Error creating variant or safe array"},
        {"bounds", [] { VarArrayCreate(5, 3); }, u"Error creating variant or safe array"},
        {"wide bounds",
         [] { VarArrayCreate(std::numeric_limits<int>::max(), std::numeric_limits<int>::min()); },
         u"Error creating variant or safe array"},
        {"null elements", [] { VarArrayCreate(0, 1, varNull); },
         u"Error creating variant or safe array"},
        {"array elements", [] { VarArrayCreate(0, 1, varArray); },
         u"Error creating variant or safe array"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MessageOf<EVariantError>(c.call), c.message);
    }
    EXPECT_EQ(a.ArrayLowBound(), -2);
    EXPECT_EQ(a.ArrayHighBound(), 2);
}

TEST(LumVariant, ArraysAtTheEdgesOfTheIndexRange) {
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    TLumVariant top = VarArrayCreate(kMax - 2, kMax);
    EXPECT_EQ(top.ArrayLowBound(), kMax - 2);
    EXPECT_EQ(top.ArrayHighBound(), kMax);
    top.PutElement(kMax, TLumVariant(5));
    EXPECT_EQ(top.GetElement(kMax).AsInteger(), 5);
    EXPECT_EQ(MessageOf<EVariantError>([&] { top.GetElement(kMin); }),
              u"Variant or safe array index out of bounds");
    top.ArrayRedim(kMax - 3);
    EXPECT_EQ(top.ArrayHighBound(), kMax - 3);
    top.ArrayRedim(kMax);
    EXPECT_EQ(top.ArrayHighBound(), kMax);
    EXPECT_TRUE(top.GetElement(kMax).IsEmpty());

    TLumVariant single = VarArrayCreate(kMax, kMax, varInteger);
    EXPECT_EQ(single.ArrayHighBound(), kMax);
    TLumVariant bottom = VarArrayCreate(kMin, kMin);
    EXPECT_EQ(bottom.ArrayLowBound(), kMin);
    EXPECT_EQ(bottom.ArrayHighBound(), kMin);

    // Counts that no 32-bit process could hold are refused before anything is allocated
    // (2^32 elements would wrap to none in a 32-bit size).
    for (auto create : {+[] { VarArrayCreate(kMin, kMax); }, +[] { VarArrayCreate(0, kMax); },
                        +[] { VarArrayCreate(kMin, -1); }}) {
        EXPECT_EQ(MessageOf<EVariantError>(create), u"Error creating variant or safe array");
    }
    EXPECT_EQ(MessageOf<EVariantError>([&] { bottom.ArrayRedim(kMax); }),
              u"Error creating variant or safe array");
    EXPECT_EQ(bottom.ArrayHighBound(), kMin);
}

TEST(LumVariant, Relations) {
    TCounted object;
    TCounted other;
    TLumInterface ref(&object, &kCountedOps);
    struct Case {
        TLumVariant a;
        TLumVariant b;
        bool ignoreCase;
        TVariantRelation expected;
        const char* what;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {TLumVariant(1), TLumVariant(2), false, vrLessThan, "integers"},
        {TLumVariant(std::uint8_t{255}), TLumVariant(255), false, vrEqual, "byte and integer"},
        {TLumVariant(std::uint64_t{18446744073709551615ULL}), TLumVariant(std::int64_t{-1}), false,
         vrGreaterThan, "unsigned above signed"},
        {TLumVariant(std::int64_t{9007199254740993LL}), TLumVariant(9007199254740992.0), false,
         vrGreaterThan, "int64 beyond double precision"},
        {Cur(15000), TLumVariant(1.5), false, vrEqual, "currency and double"},
        {Dec(u"1.50"), Cur(15000), false, vrEqual, "decimal and currency"},
        {Dec(u"0.00001"), Cur(0), false, vrGreaterThan, "decimal finer than currency"},
        {Dec(u"-3"), TLumVariant(-3), false, vrEqual, "decimal and integer"},
        {Dec(u"0.1"), TLumVariant(0.1), false, vrEqual, "decimal and double"},
        {TLumVariant(0.1f), TLumVariant(0.1), false, vrGreaterThan, "single and double"},
        {TLumVariant::FromDate(36526), TLumVariant(36526), false, vrEqual, "date and integer"},
        {TLumVariant(true), TLumVariant(false), false, vrLessThan, "True is -1"},
        {TLumVariant(true), TLumVariant(-1), false, vrEqual, "True and -1"},
        {TLumVariant(u"abc"), TLumVariant(u"abd"), false, vrLessThan, "texts"},
        {TLumVariant(u"ABC"), TLumVariant(u"abc"), true, vrEqual, "texts ignoring case"},
        {TLumVariant("abc"), TLumVariant(u"abc"), false, vrEqual, "ANSI and wide"},
        {TLumVariant(u""), TLumVariant(u"a"), false, vrLessThan, "empty text"},
        {TLumVariant(u"10"), TLumVariant(9), false, vrGreaterThan, "text read as a number"},
        {TLumVariant(9), TLumVariant(u"10"), false, vrLessThan, "number against text"},
        {TLumVariant(u"1.5"), TLumVariant(2), false, vrLessThan, "text not rounded"},
        {TLumVariant(u"1E30"), TLumVariant(5), false, vrGreaterThan, "text beyond decimals"},
        {TLumVariant(u"0.1"), TLumVariant(0.1f), false, vrEqual, "text as single"},
        {TLumVariant(u"True"), TLumVariant(true), false, vrEqual, "text as Boolean"},
        {TLumVariant(u"1/1/2000"), TLumVariant::FromDate(36526), false, vrEqual, "text as date"},
        {TLumVariant(u"abc"), TLumVariant(1), false, vrNotEqual, "text that is no number"},
        {TLumVariant(1), TLumVariant(u"abc"), false, vrNotEqual, "number against no number"},
        {TLumVariant::Null(), TLumVariant::Null(), false, vrEqual, "Null and Null"},
        {TLumVariant(), TLumVariant(), false, vrEqual, "Empty and Empty"},
        {TLumVariant::Null(), TLumVariant(), false, vrNotEqual, "Null and Empty"},
        {TLumVariant::Null(), TLumVariant(5), false, vrNotEqual, "Null and a value"},
        {TLumVariant(5), TLumVariant(), false, vrNotEqual, "a value and Empty"},
        {TLumVariant(), TLumVariant(0), false, vrNotEqual, "Empty and zero"},
        {TLumVariant(nan), TLumVariant(nan), false, vrNotEqual, "NaN"},
        {TLumVariant(nan), TLumVariant(1), false, vrNotEqual, "NaN and a number"},
        {VarArrayCreate(0, 0), VarArrayCreate(0, 0), false, vrNotEqual, "arrays"},
        {VarArrayCreate(0, 0), TLumVariant(1), false, vrNotEqual, "array and number"},
        {TLumVariant(u"a"), VarArrayCreate(0, 0), false, vrNotEqual, "text and array"},
        {TLumVariant::FromUnknown(ref), TLumVariant::FromDispatch(ref), false, vrEqual,
         "same object"},
        {TLumVariant::FromUnknown(ref),
         TLumVariant::FromUnknown(TLumInterface(&other, &kCountedOps)), false, vrNotEqual,
         "other object"},
        {TLumVariant::FromUnknown(ref), TLumVariant(1), false, vrNotEqual, "object and number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(VarCompareValue(c.a, c.b, c.ignoreCase), c.expected);
        EXPECT_EQ(VarSameValue(c.a, c.b, c.ignoreCase), c.expected == vrEqual);
    }
    EXPECT_NE(VarCompareValue(TLumVariant(u"ABC"), TLumVariant(u"abc")), vrEqual);
}

TEST(LumInterface, CountsReferences) {
    TCounted object;
    {
        TLumInterface ref(&object, &kCountedOps);
        EXPECT_EQ(object.refs, 1);
        TLumVariant v = TLumVariant::FromUnknown(ref);
        EXPECT_EQ(object.refs, 2);
        {
            TLumVariant copy = v;
            EXPECT_EQ(object.refs, 3);
            TLumVariant array = VarArrayCreate(0, 1);
            array.PutElement(0, copy);
            EXPECT_EQ(object.refs, 4);
            TLumVariant arrayCopy = array;
            EXPECT_EQ(object.refs, 5);
        }
        EXPECT_EQ(object.refs, 2);
        TLumVariant moved = std::move(v);
        EXPECT_EQ(object.refs, 2);
        moved = TLumVariant(1);
        EXPECT_EQ(object.refs, 1);
    }
    EXPECT_EQ(object.refs, 0);
    TLumInterface none(nullptr, &kCountedOps);
    EXPECT_FALSE(none);
    EXPECT_EQ(none.Ops(), nullptr);
}

TEST(LumInterface, DispatchOnlyWhenTheObjectHasOne) {
    TCounted dispatch;
    TCounted object{0, &dispatch};
    TCounted plain;
    {
        TLumVariant unknown = TLumVariant::FromUnknown(TLumInterface(&object, &kCountedOps));
        TLumInterface d = unknown.AsDispatch();
        EXPECT_EQ(d.Get(), &dispatch);
        EXPECT_EQ(dispatch.refs, 1);
        EXPECT_EQ(unknown.ChangeType(varDispatch).VarType(), varDispatch);
        EXPECT_EQ(dispatch.refs, 1);

        TLumVariant asDispatch = TLumVariant::FromDispatch(d);
        EXPECT_EQ(asDispatch.AsInterface().Get(), &dispatch);
        EXPECT_FALSE(TLumVariant().AsDispatch());

        TLumVariant noDispatch = TLumVariant::FromUnknown(TLumInterface(&plain, &kNoQueryOps));
        EXPECT_EQ(MessageOf<EConvertError>([&] { noDispatch.AsDispatch(); }),
                  u"Could not convert variant of type (Unknown) into type (Dispatch)");
        TLumVariant queryFails = TLumVariant::FromUnknown(TLumInterface(&plain, &kCountedOps));
        EXPECT_EQ(MessageOf<EConvertError>([&] { queryFails.AsDispatch(); }),
                  u"Could not convert variant of type (Unknown) into type (Dispatch)");
    }
    EXPECT_EQ(object.refs, 0);
    EXPECT_EQ(dispatch.refs, 0);
    EXPECT_EQ(plain.refs, 0);
}

#ifdef _WIN32

namespace {

// A COM object with IDispatch (when asked to have it) that counts its references.
class TComObject : public IDispatch {
  public:
    explicit TComObject(bool dispatch) : dispatch_(dispatch) {}
    ULONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == __uuidof(IUnknown) || (dispatch_ && iid == __uuidof(IDispatch))) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

  private:
    bool dispatch_;
};

} // namespace

TEST(LumInterface, WrapsComObjects) {
    TComObject dispatch(true);
    TComObject unknownOnly(false);
    {
        TLumVariant v = TLumVariant::FromUnknown(ComInterface(&dispatch));
        EXPECT_EQ(dispatch.refs, 2u);
        TLumVariant copy = v;
        EXPECT_EQ(dispatch.refs, 3u);
        TLumInterface d = v.AsDispatch();
        EXPECT_EQ(d.Get(), static_cast<IDispatch*>(&dispatch));
        EXPECT_EQ(dispatch.refs, 4u);

        TLumVariant plain = TLumVariant::FromUnknown(ComInterface(&unknownOnly));
        EXPECT_EQ(unknownOnly.refs, 2u);
        EXPECT_EQ(MessageOf<EConvertError>([&] { plain.AsDispatch(); }),
                  u"Could not convert variant of type (Unknown) into type (Dispatch)");
    }
    EXPECT_EQ(dispatch.refs, 1u);
    EXPECT_EQ(unknownOnly.refs, 1u);
}

#endif
