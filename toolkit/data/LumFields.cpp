// The field base class and the field definitions.
#include "toolkit/data/LumFields.h"

#include "rstr/LumDataSet.h"
#include "rstr/LumFields.h"
#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/data/LumDataSet.h"

#include <algorithm>

namespace {

bool IsNullValue(const TLumVariant& value) {
    return value.IsNull() || value.IsEmpty();
}

} // namespace

bool SameFieldName(std::u16string_view a, std::u16string_view b) {
    return LumCompareStrings(a, b, false) == 0;
}

// ---- TField

TField::TField(TLumComponent* owner) : TLumComponent(owner) {}

TField::~TField() {
    if (dataSet_) {
        dataSet_->RemoveField(this);
    }
}

const TLumClass& TField::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TField>("TField", &TLumComponent::StaticClass()).Build();
    return cls;
}

void TField::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) {
        return;
    }
    if ((dataSet_ && dataSet_->Active()) || (dataSet && dataSet->Active())) {
        throw EDatabaseError(LoadResString(LumDataSet::SFieldsFixedWhileOpen));
    }
    if (dataSet_) {
        dataSet_->RemoveField(this);
    }
    if (dataSet) {
        dataSet->AddField(this);
    }
}

int TField::Index() const {
    if (!dataSet_) {
        return -1;
    }
    const auto& fields = dataSet_->fields_;
    return static_cast<int>(std::find(fields.begin(), fields.end(), this) - fields.begin());
}

int TField::DisplayWidth() const {
    return displayWidth_ >= 0 ? displayWidth_ : DefaultDisplayWidth();
}

std::u16string TField::DisplayLabel() const {
    return displayLabel_.empty() ? fieldName_ : displayLabel_;
}

TDataSet& TField::CheckDataSet() const {
    if (!dataSet_) {
        throw EDatabaseError(Format(LoadResString(LumFields::SFieldNoDataSet), fieldName_));
    }
    return *dataSet_;
}

bool TField::GetData(void* buffer) const {
    return CheckDataSet().GetFieldData(const_cast<TField*>(this), buffer);
}

void TField::SetData(const void* buffer) {
    TDataSet& dataSet = CheckDataSet();
    if (readOnly_) {
        throw EDatabaseError(Format(LoadResString(LumFields::SFieldReadOnly), fieldName_));
    }
    if (dataSet.State() != dsEdit && dataSet.State() != dsInsert) {
        throw EDatabaseError(LoadResString(LumDataSet::SNotEditing));
    }
    dataSet.SetFieldData(this, buffer);
}

bool TField::IsNull() const {
    return !GetData(nullptr);
}

TLumVariant TField::AsVariant() const {
    return GetValue();
}

void TField::SetAsVariant(const TLumVariant& value) {
    if (IsNullValue(value)) {
        Clear();
    } else {
        SetValue(value);
    }
}

void TField::Clear() {
    SetData(nullptr);
}

std::string TField::AsString() const {
    TLumVariant value = GetValue();
    return value.IsNull() ? std::string() : value.AsString();
}

void TField::SetAsString(const std::string& value) {
    SetValue(TLumVariant(value));
}

std::u16string TField::AsWideString() const {
    TLumVariant value = GetValue();
    return value.IsNull() ? std::u16string() : value.AsWideString();
}

void TField::SetAsWideString(const std::u16string& value) {
    SetValue(TLumVariant(value));
}

std::int32_t TField::AsInteger() const {
    TLumVariant value = GetValue();
    return value.IsNull() ? 0 : value.AsInteger();
}

void TField::SetAsInteger(std::int32_t value) {
    SetValue(TLumVariant(value));
}

std::int64_t TField::AsLargeInt() const {
    TLumVariant value = GetValue();
    return value.IsNull() ? 0 : value.AsInt64();
}

void TField::SetAsLargeInt(std::int64_t value) {
    SetValue(TLumVariant(value));
}

double TField::AsFloat() const {
    TLumVariant value = GetValue();
    return value.IsNull() ? 0.0 : value.AsDouble();
}

void TField::SetAsFloat(double value) {
    SetValue(TLumVariant(value));
}

TCurrency TField::AsCurrency() const {
    TLumVariant value = GetValue();
    return value.IsNull() ? TCurrency{} : value.AsCurrency();
}

void TField::SetAsCurrency(TCurrency value) {
    SetValue(TLumVariant(value));
}

bool TField::AsBoolean() const {
    TLumVariant value = GetValue();
    return !value.IsNull() && value.AsBoolean();
}

void TField::SetAsBoolean(bool value) {
    SetValue(TLumVariant(value));
}

double TField::AsDateTime() const {
    TLumVariant value = GetValue();
    return value.IsNull() ? 0.0 : value.AsDate();
}

void TField::SetAsDateTime(double value) {
    SetValue(TLumVariant::FromDate(value));
}

std::u16string TField::DisplayText() const {
    return AnsiToWide(AsString());
}

void TField::SetText(const std::u16string& text) {
    SetAsString(WideToAnsi(text));
}

// ---- Definitions

TField* TFieldDef::CreateField(TDataSet& dataSet) const {
    TFieldClass cls = dataSet.GetFieldClass(dataType_);
    if (!cls || !cls->Create) {
        throw EDatabaseError(Format(LoadResString(LumFields::SNoFieldClass), name_));
    }
    TLumOwned<TLumComponent> made(cls->Create(&dataSet));
    auto* field = dynamic_cast<TField*>(made.get());
    if (auto* text = dynamic_cast<TStringField*>(field); text && dataType_ == ftFixedChar) {
        text->SetFixedChar(true);
    }
    if (!field || field->DataType() != dataType_) {
        throw EDatabaseError(Format(LoadResString(LumDataSet::SFieldTypeMismatch), name_));
    }
    field->fieldName_ = name_;
    field->size_ = size_;
    field->required_ = required_;
    field->fieldNo_ = fieldNo_;
    dataSet.AddField(field);
    made.release();
    return field;
}

const TFieldDef& TFieldDefs::Add(const std::u16string& name, TFieldType type, int size,
                                 bool required) {
    if (Find(name)) {
        throw EDatabaseError(Format(LoadResString(LumFields::SDuplicateFieldName), name));
    }
    defs_.push_back(std::make_unique<TFieldDef>(name, type, size, required, Count() + 1));
    return *defs_.back();
}

const TFieldDef& TFieldDefs::Items(int index) const {
    if (index < 0 || index >= Count()) {
        throw EListError(Format(LoadResString(LumRtlConsts::SListIndexError), index));
    }
    return *defs_[static_cast<size_t>(index)];
}

const TFieldDef* TFieldDefs::Find(std::u16string_view name) const {
    for (const auto& def : defs_) {
        if (SameFieldName(def->Name(), name)) {
            return def.get();
        }
    }
    return nullptr;
}
