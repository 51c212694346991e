// The variant's comparison: how two variants relate across kinds.
#include "toolkit/base/LumVariants.h"

#include "toolkit/base/LumDateTime.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumVariantsNumbers.h"

#include <optional>

using namespace VariantNumbers;

namespace {

TVariantRelation RelationOf(int order) {
    return order < 0 ? vrLessThan : order > 0 ? vrGreaterThan : vrEqual;
}

template <class T> TVariantRelation RelationOf(T a, T b) {
    if (a < b) {
        return vrLessThan;
    }
    if (b < a) {
        return vrGreaterThan;
    }
    return a == b ? vrEqual : vrNotEqual; // NaN
}

TVariantRelation CompareNumbers(const TLumVariant& a, const TLumVariant& b) {
    TVarType ta = a.VarType();
    TVarType tb = b.VarType();
    // Texts were turned into numbers by the caller, so nothing here raises.
    TNumber na = NumberOf(a, varVariant);
    TNumber nb = NumberOf(b, varVariant);
    if (ta == varSingle && tb == varSingle) {
        return RelationOf(na.f, nb.f);
    }
    if (IsFloatKind(ta) || IsFloatKind(tb)) {
        // Integers of 64 bits and doubles are both exact in long double where it is wider.
        auto value = [](const TNumber& n) -> long double {
            if (n.kind == TNumber::Kind::Integer) {
                auto magnitude = static_cast<long double>(n.magnitude);
                return n.negative ? -magnitude : magnitude;
            }
            return DoubleOfNumber(n);
        };
        return RelationOf(value(na), value(nb));
    }
    return RelationOf(CompareDecimals(DecimalOfNumber(a, na), DecimalOfNumber(b, nb)));
}

// A text against a number: the text is read as a number of the other side's kind; integers,
// Booleans and currency read it as an exact decimal, so "1.5" is not 2.
TVariantRelation CompareTextWithNumber(std::u16string_view text, const TLumVariant& number) {
    TVarType kind = number.VarType();
    if (kind == varDate) {
        std::optional<double> date = DateTimeFromText(text);
        return date ? CompareNumbers(TLumVariant::FromDate(*date), number) : vrNotEqual;
    }
    if (kind == varBoolean) {
        if (std::optional<bool> b = BooleanText(text)) {
            return CompareNumbers(TLumVariant(*b), number);
        }
    }
    double f = 0;
    if (kind == varSingle || kind == varDouble) {
        if (ReadFloatText(text, f) != TNumberRead::Ok) {
            return vrNotEqual;
        }
        return kind == varSingle ? CompareNumbers(TLumVariant(static_cast<float>(f)), number)
                                 : CompareNumbers(TLumVariant(f), number);
    }
    TDecimal d;
    switch (ReadDecimalText(text, d)) {
    case TNumberRead::Ok:
        return CompareNumbers(TLumVariant(d), number);
    case TNumberRead::Overflow:
        return ReadFloatText(text, f) == TNumberRead::Ok ? CompareNumbers(TLumVariant(f), number)
                                                         : vrNotEqual;
    case TNumberRead::Invalid:
        break;
    }
    return vrNotEqual;
}

TVariantRelation Reversed(TVariantRelation r) {
    return r == vrLessThan ? vrGreaterThan : r == vrGreaterThan ? vrLessThan : r;
}

} // namespace

TVariantRelation VarCompareValue(const TLumVariant& a, const TLumVariant& b, bool ignoreCase) {
    TVarType ta = a.VarType();
    TVarType tb = b.VarType();
    if (ta == varEmpty || ta == varNull || tb == varEmpty || tb == varNull) {
        return ta == tb ? vrEqual : vrNotEqual;
    }
    if (IsInterfaceKind(ta) && IsInterfaceKind(tb)) {
        return a.AsInterface() == b.AsInterface() ? vrEqual : vrNotEqual;
    }
    if (IsTextKind(ta) && IsTextKind(tb)) {
        return RelationOf(LumCompareStrings(a.AsWideString(), b.AsWideString(), !ignoreCase));
    }
    if (IsNumberKind(ta) && IsNumberKind(tb)) {
        return CompareNumbers(a, b);
    }
    if (IsTextKind(ta) && IsNumberKind(tb)) {
        return CompareTextWithNumber(a.AsWideString(), b);
    }
    if (IsNumberKind(ta) && IsTextKind(tb)) {
        return Reversed(CompareTextWithNumber(b.AsWideString(), a));
    }
    return vrNotEqual;
}

bool VarSameValue(const TLumVariant& a, const TLumVariant& b, bool ignoreCase) {
    return VarCompareValue(a, b, ignoreCase) == vrEqual;
}
