// The field classes: each reads and writes its native buffer and converts variants to it.
#include "toolkit/data/LumFields.h"

#include "rstr/LumFields.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"

#include <cstdint>
#include <string>
#include <utility>

namespace {

// The native value of a field, or Null.
template <class T, class Make> TLumVariant ReadNative(const TField& field, Make make) {
    T value{};
    return field.GetData(&value) ? make(std::move(value)) : TLumVariant::Null();
}

template <class T> TLumVariant ReadNative(const TField& field) {
    return ReadNative<T>(field, [](T value) { return TLumVariant(std::move(value)); });
}

template <class T> void WriteNative(TField& field, const T& value) {
    field.SetData(&value);
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
bool IsGuidText(const std::string& text) {
    static constexpr std::string_view pattern = "{........-....-....-....-............}";
    if (text.size() != pattern.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (pattern[i] == '.' ? !IsHexDigit(text[i]) : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

template <class C> TLumClass DescribeField(const char* name, const TLumClass& parent) {
    return TLumClassBuilder<C>(name, &parent).Creatable().Build();
}

} // namespace

// ---- Texts

TStringField::TStringField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftString);
}

const TLumClass& TStringField::StaticClass() {
    static const TLumClass cls = DescribeField<TStringField>("TStringField", TField::StaticClass());
    return cls;
}

TLumVariant TStringField::GetValue() const {
    return ReadNative<std::string>(*this);
}

void TStringField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsString());
}

TGuidField::TGuidField(TLumComponent* owner) : TStringField(owner) {
    SetFieldType(ftGuid);
    SetSize(38);
}

const TLumClass& TGuidField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TGuidField>("TGuidField", TStringField::StaticClass());
    return cls;
}

void TGuidField::SetValue(const TLumVariant& value) {
    std::string text = value.AsString();
    if (!IsGuidText(text)) {
        throw EConvertError(Format(LoadResString(LumFields::SInvalidGuid), text));
    }
    WriteNative(*this, text);
}

TWideStringField::TWideStringField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftWideString);
}

const TLumClass& TWideStringField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TWideStringField>("TWideStringField", TField::StaticClass());
    return cls;
}

TLumVariant TWideStringField::GetValue() const {
    return ReadNative<std::u16string>(*this);
}

void TWideStringField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsWideString());
}

const TLumClass& TLumWideStringField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TLumWideStringField>("TLumWideStringField", TWideStringField::StaticClass());
    return cls;
}

std::u16string TLumWideStringField::DisplayText() const {
    return AsWideString();
}

void TLumWideStringField::SetText(const std::u16string& text) {
    SetAsWideString(text);
}

// ---- Integers

TIntegerField::TIntegerField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftInteger);
}

const TLumClass& TIntegerField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TIntegerField>("TIntegerField", TField::StaticClass());
    return cls;
}

TLumVariant TIntegerField::GetValue() const {
    return ReadNative<std::int32_t>(*this);
}

void TIntegerField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsInteger());
}

TSmallintField::TSmallintField(TLumComponent* owner) : TIntegerField(owner) {
    SetFieldType(ftSmallint);
}

const TLumClass& TSmallintField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TSmallintField>("TSmallintField", TIntegerField::StaticClass());
    return cls;
}

TLumVariant TSmallintField::GetValue() const {
    return ReadNative<std::int16_t>(*this);
}

void TSmallintField::SetValue(const TLumVariant& value) {
    // The variant's own range check raises for values a 16-bit integer cannot hold.
    WriteNative(*this, static_cast<std::int16_t>(value.ChangeType(varSmallint).AsInteger()));
}

TWordField::TWordField(TLumComponent* owner) : TIntegerField(owner) {
    SetFieldType(ftWord);
}

const TLumClass& TWordField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TWordField>("TWordField", TIntegerField::StaticClass());
    return cls;
}

TLumVariant TWordField::GetValue() const {
    return ReadNative<std::uint16_t>(*this);
}

void TWordField::SetValue(const TLumVariant& value) {
    WriteNative(*this, static_cast<std::uint16_t>(value.ChangeType(varWord).AsInteger()));
}

TAutoIncField::TAutoIncField(TLumComponent* owner) : TIntegerField(owner) {
    SetFieldType(ftAutoInc);
}

const TLumClass& TAutoIncField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TAutoIncField>("TAutoIncField", TIntegerField::StaticClass());
    return cls;
}

TLargeintField::TLargeintField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftLargeint);
}

const TLumClass& TLargeintField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TLargeintField>("TLargeintField", TField::StaticClass());
    return cls;
}

TLumVariant TLargeintField::GetValue() const {
    return ReadNative<std::int64_t>(*this);
}

void TLargeintField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsInt64());
}

// ---- Other numbers

TFloatField::TFloatField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftFloat);
}

const TLumClass& TFloatField::StaticClass() {
    static const TLumClass cls = DescribeField<TFloatField>("TFloatField", TField::StaticClass());
    return cls;
}

TLumVariant TFloatField::GetValue() const {
    return ReadNative<double>(*this);
}

void TFloatField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsDouble());
}

TCurrencyField::TCurrencyField(TLumComponent* owner) : TFloatField(owner) {
    SetFieldType(ftCurrency);
}

const TLumClass& TCurrencyField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TCurrencyField>("TCurrencyField", TFloatField::StaticClass());
    return cls;
}

TBCDField::TBCDField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftBCD);
}

const TLumClass& TBCDField::StaticClass() {
    static const TLumClass cls = DescribeField<TBCDField>("TBCDField", TField::StaticClass());
    return cls;
}

TLumVariant TBCDField::GetValue() const {
    return ReadNative<TCurrency>(*this);
}

void TBCDField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsCurrency());
}

TBooleanField::TBooleanField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftBoolean);
}

const TLumClass& TBooleanField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TBooleanField>("TBooleanField", TField::StaticClass());
    return cls;
}

TLumVariant TBooleanField::GetValue() const {
    return ReadNative<std::int16_t>(*this,
                                    [](std::int16_t flag) { return TLumVariant(flag != 0); });
}

void TBooleanField::SetValue(const TLumVariant& value) {
    WriteNative(*this, static_cast<std::int16_t>(value.AsBoolean() ? -1 : 0));
}

// ---- Dates

TDateTimeField::TDateTimeField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftDateTime);
}

const TLumClass& TDateTimeField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TDateTimeField>("TDateTimeField", TField::StaticClass());
    return cls;
}

TLumVariant TDateTimeField::GetValue() const {
    return ReadNative<double>(*this, [](double date) { return TLumVariant::FromDate(date); });
}

void TDateTimeField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsDate());
}

TDateField::TDateField(TLumComponent* owner) : TDateTimeField(owner) {
    SetFieldType(ftDate);
}

const TLumClass& TDateField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TDateField>("TDateField", TDateTimeField::StaticClass());
    return cls;
}

TTimeField::TTimeField(TLumComponent* owner) : TDateTimeField(owner) {
    SetFieldType(ftTime);
}

const TLumClass& TTimeField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TTimeField>("TTimeField", TDateTimeField::StaticClass());
    return cls;
}

// ---- Variants and interfaces

TVariantField::TVariantField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftVariant);
}

const TLumClass& TVariantField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TVariantField>("TVariantField", TField::StaticClass());
    return cls;
}

TLumVariant TVariantField::GetValue() const {
    return ReadNative<TLumVariant>(*this, [](TLumVariant value) { return value; });
}

void TVariantField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value);
}

TInterfaceField::TInterfaceField(TLumComponent* owner) : TField(owner) {
    SetFieldType(ftInterface);
}

const TLumClass& TInterfaceField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TInterfaceField>("TInterfaceField", TField::StaticClass());
    return cls;
}

TLumVariant TInterfaceField::GetValue() const {
    return ReadNative<TLumInterface>(
        *this, [](TLumInterface value) { return TLumVariant::FromUnknown(std::move(value)); });
}

void TInterfaceField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsInterface());
}

TIDispatchField::TIDispatchField(TLumComponent* owner) : TInterfaceField(owner) {
    SetFieldType(ftIDispatch);
}

const TLumClass& TIDispatchField::StaticClass() {
    static const TLumClass cls =
        DescribeField<TIDispatchField>("TIDispatchField", TInterfaceField::StaticClass());
    return cls;
}

TLumVariant TIDispatchField::GetValue() const {
    return ReadNative<TLumInterface>(
        *this, [](TLumInterface value) { return TLumVariant::FromDispatch(std::move(value)); });
}

void TIDispatchField::SetValue(const TLumVariant& value) {
    WriteNative(*this, value.AsDispatch());
}
