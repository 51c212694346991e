// The variant's conversions: from every kind to every other, with the rules LumVariants.h
// states, and the typed accessors built on them.
#include "toolkit/base/LumVariants.h"

#include "toolkit/base/LumDateTime.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumVariantsNumbers.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

// The conversion code below reads and builds variants through this one door.
struct TVariantAccess {
    template <class T> static const T& Get(const TLumVariant& v) { return std::get<T>(v.value_); }
    static TLumVariant Make(TVarType type, TLumVariant::TPayload value) {
        return TLumVariant(type, std::move(value));
    }
};

using namespace VariantNumbers;

namespace {

int BitsOf(TVarType t) {
    switch (t) {
    case varShortInt:
    case varByte:
        return 8;
    case varSmallint:
    case varWord:
        return 16;
    case varInteger:
    case varLongWord:
        return 32;
    default:
        return 64;
    }
}

TDecimal DecimalOfCurrency(TCurrency value) {
    return DecimalOfInteger(value.Value < 0, MagnitudeOf(value.Value), 4);
}

std::u16string CurrencyText(TCurrency value) {
    std::uint64_t magnitude = MagnitudeOf(value.Value);
    std::u16string text = UnsignedToText(magnitude / 10000);
    if (unsigned fraction = magnitude % 10000) {
        std::u16string digits = UnsignedToText(fraction + 10000).substr(1);
        while (digits.back() == u'0') {
            digits.pop_back();
        }
        text += u'.' + digits;
    }
    return value.Value < 0 ? u"-" + text : text;
}

TNumber IntegerNumber(std::int64_t v) {
    TNumber n;
    n.negative = v < 0;
    n.magnitude = MagnitudeOf(v);
    return n;
}

TNumber UnsignedNumber(std::uint64_t v) {
    TNumber n;
    n.magnitude = v;
    return n;
}

TNumber FloatNumber(double f) {
    TNumber n;
    n.kind = TNumber::Kind::Float;
    n.f = f;
    return n;
}

TNumber DecimalNumber(const TDecimal& d) {
    TNumber n;
    n.kind = TNumber::Kind::Decimal;
    n.decimal = d;
    return n;
}

std::u16string ValueText(const TLumVariant& v);

// A text on its way to the target kind: decimals and currency read it exactly, integers read
// digits exactly and anything else as a rounded float, dates read date texts.
TNumber NumberOfText(const TLumVariant& v, std::u16string_view text, TVarType target) {
    if (target == varDate) {
        std::optional<double> date = DateTimeFromText(text);
        if (!date) {
            RaiseCouldNotConvert(v.VarType(), target);
        }
        return FloatNumber(*date);
    }
    if (target == varCurrency || target == varDecimal) {
        TDecimal d;
        switch (ReadDecimalText(text, d)) {
        case TNumberRead::Ok:
            return DecimalNumber(d);
        case TNumberRead::Overflow:
            RaiseOutOfRange(text, target);
        case TNumberRead::Invalid:
            RaiseCouldNotConvert(v.VarType(), target);
        }
    }
    if (IsIntegerKind(target)) {
        TNumber n;
        switch (ReadIntegerText(text, n.negative, n.magnitude)) {
        case TNumberRead::Ok:
            return n;
        case TNumberRead::Overflow:
            RaiseOutOfRange(text, target);
        case TNumberRead::Invalid:
            break;
        }
    }
    double f = 0;
    switch (ReadFloatText(text, f)) {
    case TNumberRead::Ok:
        return FloatNumber(f);
    case TNumberRead::Overflow:
        RaiseOutOfRange(text, target);
    case TNumberRead::Invalid:
        break;
    }
    RaiseCouldNotConvert(v.VarType(), target);
}

// The value rounded half to even to an integer: sign and magnitude, or nothing when the
// magnitude needs more than 64 bits.
bool RoundedInteger(const TNumber& n, bool& negative, std::uint64_t& magnitude) {
    switch (n.kind) {
    case TNumber::Kind::Integer:
        negative = n.negative;
        magnitude = n.magnitude;
        return true;
    case TNumber::Kind::Float: {
        if (!std::isfinite(n.f)) {
            return false;
        }
        double r = std::nearbyint(n.f);
        if (std::fabs(r) >= 18446744073709551616.0) {
            return false;
        }
        negative = r < 0;
        magnitude = static_cast<std::uint64_t>(std::fabs(r));
        return true;
    }
    case TNumber::Kind::Currency:
    case TNumber::Kind::Decimal: {
        TDecimal d = n.kind == TNumber::Kind::Decimal ? n.decimal : DecimalOfCurrency(n.currency);
        std::optional<std::uint64_t> rounded = ScaledMagnitude64(d, 0);
        if (!rounded) {
            return false;
        }
        magnitude = *rounded;
        negative = d.Negative && magnitude != 0;
        return true;
    }
    }
    return false;
}

TLumVariant ToIntegerKind(const TLumVariant& source, TVarType target) {
    TNumber n = NumberOf(source, target);
    bool negative = false;
    std::uint64_t magnitude = 0;
    int bits = BitsOf(target);
    bool fits = RoundedInteger(n, negative, magnitude);
    if (IsSignedKind(target)) {
        std::uint64_t limit = std::uint64_t{1} << (bits - 1);
        fits = fits && (negative ? magnitude <= limit : magnitude < limit);
        if (!fits) {
            RaiseOutOfRange(ValueText(source), target);
        }
        auto value = negative ? static_cast<std::int64_t>(0 - magnitude)
                              : static_cast<std::int64_t>(magnitude);
        return TVariantAccess::Make(target, value);
    }
    std::uint64_t max = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    fits = fits && (!negative || magnitude == 0) && magnitude <= max;
    if (!fits) {
        RaiseOutOfRange(ValueText(source), target);
    }
    return TVariantAccess::Make(target, magnitude);
}

TCurrency CurrencyOf(const TLumVariant& source) {
    TNumber n = NumberOf(source, varCurrency);
    constexpr double kLimit = 9223372036854775808.0;
    if (n.kind == TNumber::Kind::Currency) {
        return n.currency;
    }
    if (n.kind == TNumber::Kind::Float) {
        double r = std::nearbyint(n.f * 10000.0);
        if (!(r >= -kLimit && r < kLimit)) {
            RaiseOutOfRange(ValueText(source), varCurrency);
        }
        return TCurrency{static_cast<std::int64_t>(r)};
    }
    std::optional<std::uint64_t> magnitude = ScaledMagnitude64(DecimalOfNumber(source, n), 4);
    bool negative = n.kind == TNumber::Kind::Integer ? n.negative : n.decimal.Negative;
    std::uint64_t limit = std::uint64_t{1} << 63;
    if (!magnitude || (negative ? *magnitude > limit : *magnitude >= limit)) {
        RaiseOutOfRange(ValueText(source), varCurrency);
    }
    return TCurrency{negative ? static_cast<std::int64_t>(0 - *magnitude)
                              : static_cast<std::int64_t>(*magnitude)};
}

bool BooleanOf(const TLumVariant& source) {
    if (IsTextKind(source.VarType())) {
        std::u16string text = source.AsWideString();
        if (std::optional<bool> b = BooleanText(text)) {
            return *b;
        }
        double f = 0;
        if (ReadFloatText(text, f) != TNumberRead::Ok) {
            RaiseCouldNotConvert(source.VarType(), varBoolean);
        }
        return f != 0;
    }
    TNumber n = NumberOf(source, varBoolean);
    switch (n.kind) {
    case TNumber::Kind::Integer:
        return n.magnitude != 0;
    case TNumber::Kind::Float:
        return n.f != 0;
    case TNumber::Kind::Currency:
        return n.currency.Value != 0;
    case TNumber::Kind::Decimal:
        return !DecimalIsZero(n.decimal);
    }
    return false;
}

std::u16string TextOf(const TLumVariant& v, TVarType target) {
    using A = TVariantAccess;
    TVarType type = v.VarType();
    switch (type) {
    case varEmpty:
        return u"";
    case varBoolean:
        return A::Get<bool>(v) ? u"True" : u"False";
    case varSingle:
        return Format(u"%.7g", static_cast<double>(A::Get<float>(v)));
    case varDouble:
        return Format(u"%g", A::Get<double>(v));
    case varDate: {
        std::optional<std::u16string> text = DateTimeToText(A::Get<double>(v));
        if (!text) {
            RaiseCouldNotConvert(type, target);
        }
        return *text;
    }
    case varCurrency:
        return CurrencyText(A::Get<TCurrency>(v));
    case varDecimal:
        return A::Get<TDecimal>(v).ToText();
    case varString:
        return AnsiToWide(A::Get<std::string>(v));
    case varOleStr:
        return A::Get<std::u16string>(v);
    default:
        if (IsSignedKind(type)) {
            return SignedToText(A::Get<std::int64_t>(v));
        }
        if (IsUnsignedKind(type)) {
            return UnsignedToText(A::Get<std::uint64_t>(v));
        }
        RaiseCouldNotConvert(type, target);
    }
}

// The value as error messages show it; dates as their number, which never fails.
std::u16string ValueText(const TLumVariant& v) {
    if (v.VarType() == varDate) {
        return Format(u"%g", v.AsDouble());
    }
    return TextOf(v, varOleStr);
}

TLumInterface InterfaceOf(const TLumVariant& v, TVarType target) {
    TVarType type = v.VarType();
    if (type == varEmpty) {
        return {};
    }
    if (!IsInterfaceKind(type)) {
        RaiseCouldNotConvert(type, target);
    }
    const TLumInterface& ref = TVariantAccess::Get<TLumInterface>(v);
    if (target == varUnknown || type == varDispatch || !ref) {
        return ref;
    }
    TLumInterface dispatch = ref.QueryDispatch();
    if (!dispatch) {
        RaiseCouldNotConvert(type, target);
    }
    return dispatch;
}

} // namespace

namespace VariantNumbers {

TNumber NumberOf(const TLumVariant& v, TVarType target) {
    using A = TVariantAccess;
    TVarType type = v.VarType();
    switch (type) {
    case varEmpty:
        return TNumber{};
    case varBoolean:
        return IntegerNumber(A::Get<bool>(v) ? -1 : 0);
    case varSingle:
        return FloatNumber(A::Get<float>(v));
    case varDouble:
    case varDate:
        return FloatNumber(A::Get<double>(v));
    case varCurrency: {
        TNumber n;
        n.kind = TNumber::Kind::Currency;
        n.currency = A::Get<TCurrency>(v);
        return n;
    }
    case varDecimal:
        return DecimalNumber(A::Get<TDecimal>(v));
    case varString:
        return NumberOfText(v, AnsiToWide(A::Get<std::string>(v)), target);
    case varOleStr:
        return NumberOfText(v, A::Get<std::u16string>(v), target);
    default:
        if (IsSignedKind(type)) {
            return IntegerNumber(A::Get<std::int64_t>(v));
        }
        if (IsUnsignedKind(type)) {
            return UnsignedNumber(A::Get<std::uint64_t>(v));
        }
        RaiseCouldNotConvert(type, target);
    }
}

TDecimal DecimalOfNumber(const TLumVariant& source, const TNumber& n) {
    switch (n.kind) {
    case TNumber::Kind::Integer:
        return DecimalOfInteger(n.negative, n.magnitude);
    case TNumber::Kind::Currency:
        return DecimalOfCurrency(n.currency);
    case TNumber::Kind::Decimal:
        return n.decimal;
    case TNumber::Kind::Float:
        break;
    }
    std::optional<TDecimal> d = DecimalOfDouble(n.f);
    if (!d) {
        RaiseOutOfRange(ValueText(source), varDecimal);
    }
    return *d;
}

double DoubleOfNumber(const TNumber& n) {
    switch (n.kind) {
    case TNumber::Kind::Integer: {
        auto magnitude = static_cast<double>(n.magnitude);
        return n.negative ? -magnitude : magnitude;
    }
    case TNumber::Kind::Float:
        return n.f;
    case TNumber::Kind::Currency:
        return static_cast<double>(n.currency.Value) / 10000.0;
    case TNumber::Kind::Decimal:
        return DecimalToDouble(n.decimal);
    }
    return 0;
}

std::optional<bool> BooleanText(std::u16string_view text) {
    text = TrimBlanks(text);
    if (SameAsciiText(text, u"True")) {
        return true;
    }
    if (SameAsciiText(text, u"False")) {
        return false;
    }
    return std::nullopt;
}

} // namespace VariantNumbers

TLumVariant TLumVariant::ChangeType(TVarType type) const {
    if (type == varVariant || type == VarType()) {
        return *this;
    }
    if (type_ == varArray || (type_ == varNull && type != varNull)) {
        RaiseCouldNotConvert(VarType(), type);
    }
    switch (type) {
    case varEmpty:
        RaiseCouldNotConvert(type_, type);
    case varNull:
        if (type_ != varEmpty) {
            RaiseCouldNotConvert(type_, type);
        }
        return Null();
    case varBoolean:
        return TLumVariant(BooleanOf(*this));
    case varSingle: {
        double value = DoubleOfNumber(NumberOf(*this, type));
        if (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()) {
            RaiseOutOfRange(ValueText(*this), type);
        }
        return TLumVariant(static_cast<float>(value));
    }
    case varDouble:
        return TLumVariant(DoubleOfNumber(NumberOf(*this, type)));
    case varDate:
        return FromDate(DoubleOfNumber(NumberOf(*this, type)));
    case varCurrency:
        return TLumVariant(CurrencyOf(*this));
    case varDecimal:
        return TLumVariant(DecimalOfNumber(*this, NumberOf(*this, type)));
    case varOleStr:
        return TLumVariant(TextOf(*this, type));
    case varString:
        return TLumVariant(WideToAnsi(TextOf(*this, type)));
    case varUnknown:
        return FromUnknown(InterfaceOf(*this, type));
    case varDispatch:
        return FromDispatch(InterfaceOf(*this, type));
    default:
        if (IsIntegerKind(type)) {
            return ToIntegerKind(*this, type);
        }
        RaiseCouldNotConvert(VarType(), type);
    }
}

bool TLumVariant::AsBoolean() const {
    return std::get<bool>(ChangeType(varBoolean).value_);
}

std::int32_t TLumVariant::AsInteger() const {
    return static_cast<std::int32_t>(std::get<std::int64_t>(ChangeType(varInteger).value_));
}

std::int64_t TLumVariant::AsInt64() const {
    return std::get<std::int64_t>(ChangeType(varInt64).value_);
}

double TLumVariant::AsDouble() const {
    return std::get<double>(ChangeType(varDouble).value_);
}

double TLumVariant::AsDate() const {
    return std::get<double>(ChangeType(varDate).value_);
}

TCurrency TLumVariant::AsCurrency() const {
    return std::get<TCurrency>(ChangeType(varCurrency).value_);
}

TDecimal TLumVariant::AsDecimal() const {
    return std::get<TDecimal>(ChangeType(varDecimal).value_);
}

std::string TLumVariant::AsString() const {
    return std::get<std::string>(ChangeType(varString).value_);
}

std::u16string TLumVariant::AsWideString() const {
    return std::get<std::u16string>(ChangeType(varOleStr).value_);
}

TLumInterface TLumVariant::AsInterface() const {
    return std::get<TLumInterface>(ChangeType(varUnknown).value_);
}

TLumInterface TLumVariant::AsDispatch() const {
    return std::get<TLumInterface>(ChangeType(varDispatch).value_);
}
