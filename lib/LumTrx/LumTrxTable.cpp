// The table itself: fields, the current row's accessors, posting and merging. Loading and
// saving the module file are in LumTrxTableFile.cpp.
#include "lib/LumTrx/LumTrxTable.h"

#include "rstr/LumTrxTable.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/data/LumFields.h"

#include <climits>
#include <cstdint>
#include <unordered_map>

// A form row keeps its parsed property in the 32-bit integer field.
static_assert(sizeof(TFrmProperty*) == sizeof(std::int32_t));

namespace {

// No limit on the wide-string fields' length.
constexpr int kUnlimited = INT_MAX;

// The field of that name, of the class the table made it with, given its display width.
template <class F> F& BoundField(TDataSet& table, std::u16string_view name, int displayWidth) {
    auto* field = dynamic_cast<F*>(table.FieldByName(name));
    if (!field) {
        throw ELumInternalError(Format(LoadResString(LumTrxTable::SFieldClass), name));
    }
    if (displayWidth > 0) {
        field->SetDisplayWidth(displayWidth);
    }
    return *field;
}

} // namespace

TLumTransTable::TLumTransTable(TLumComponent* owner) : TLumVarArrayDataSet(owner) {
    FieldDefs().Add(u"TranID", ftWideString, kUnlimited, true);
    FieldDefs().Add(u"TranType", ftWideString, kUnlimited, true);
    FieldDefs().Add(u"StringTableIDOrPFrmProp", ftInteger, 0, true);
    FieldDefs().Add(u"RefValue", ftWideString, kUnlimited, false);
    FieldDefs().Add(u"TranValue", ftWideString, kUnlimited, false);
    FieldDefs().Add(u"Comment", ftWideString, kUnlimited, false);
    FieldDefs().Add(u"Translated", ftBoolean, 0, true);
}

TLumTransTable::~TLumTransTable() = default;

const TLumClass& TLumTransTable::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumTransTable>("TLumTransTable", &TLumVarArrayDataSet::StaticClass())
            .Build();
    return cls;
}

// ---- Fields

// The Unicode field classes, as the data set base chooses them.
TFieldClass TLumTransTable::GetFieldClass(TFieldType type) {
    return TLumVarArrayDataSet::GetFieldClass(type);
}

// The definitions are made once, by the constructor.
void TLumTransTable::InternalInitFieldDefs() {}

void TLumTransTable::AfterCreateFields() {
    TLumVarArrayDataSet::AfterCreateFields();
    tranId_ = &BoundField<TWideStringField>(*this, u"TranID", 30);
    tranType_ = &BoundField<TWideStringField>(*this, u"TranType", 20);
    stringIdOrProp_ = &BoundField<TIntegerField>(*this, u"StringTableIDOrPFrmProp", 0);
    stringIdOrProp_->SetVisible(false);
    refValue_ = &BoundField<TWideStringField>(*this, u"RefValue", 50);
    tranValue_ = &BoundField<TWideStringField>(*this, u"TranValue", 40);
    comment_ = &BoundField<TWideStringField>(*this, u"Comment", 40);
    translated_ = &BoundField<TBooleanField>(*this, u"Translated", 15);
}

// The fields exist only while the table is open.
template <class F> F& TLumTransTable::Bound(F* field) const {
    CheckActive();
    return *field;
}

// ---- The current row

std::u16string TLumTransTable::TranID() {
    return Bound(tranId_).AsWideString();
}

void TLumTransTable::SetTranID(const std::u16string& id) {
    Bound(tranId_).SetAsWideString(id);
}

std::u16string TLumTransTable::TranType() {
    return Bound(tranType_).AsWideString();
}

void TLumTransTable::SetTranType(const std::u16string& type) {
    Bound(tranType_).SetAsWideString(type);
}

std::u16string TLumTransTable::RefValue() {
    return Bound(refValue_).AsWideString();
}

void TLumTransTable::SetRefValue(const std::u16string& text) {
    Bound(refValue_).SetAsWideString(text);
}

std::u16string TLumTransTable::Value() {
    return Bound(tranValue_).AsWideString();
}

void TLumTransTable::SetValue(const std::u16string& text) {
    Bound(tranValue_).SetAsWideString(text);
}

std::u16string TLumTransTable::Comment() {
    return Bound(comment_).AsWideString();
}

void TLumTransTable::SetComment(const std::u16string& text) {
    Bound(comment_).SetAsWideString(text);
}

bool TLumTransTable::Translated() {
    return Bound(translated_).AsBoolean();
}

void TLumTransTable::SetTranslated(bool translated) {
    Bound(translated_).SetAsBoolean(translated);
}

bool TLumTransTable::IsStringResource() {
    return TranType() == kResourceStringType;
}

std::uint16_t TLumTransTable::StringTableID() {
    if (!IsStringResource()) {
        throw ELumInternalError(LoadResString(LumTrxTable::SNoStringIdGet));
    }
    return static_cast<std::uint16_t>(Bound(stringIdOrProp_).AsInteger());
}

void TLumTransTable::SetStringTableID(std::uint16_t id) {
    if (!IsStringResource()) {
        throw ELumInternalError(LoadResString(LumTrxTable::SNoStringIdSet));
    }
    Bound(stringIdOrProp_).SetAsInteger(id);
}

TFrmProperty* TLumTransTable::FrmProp() {
    std::u16string type = TranType();
    if (type.empty()) {
        throw ELumInternalError(LoadResString(LumTrxTable::SNoPropertyGetUndefined));
    }
    if (type == kResourceStringType) {
        throw ELumInternalError(LoadResString(LumTrxTable::SNoPropertyGetString));
    }
    auto reference = static_cast<std::uint32_t>(Bound(stringIdOrProp_).AsInteger());
    return reinterpret_cast<TFrmProperty*>(static_cast<std::uintptr_t>(reference));
}

void TLumTransTable::SetFrmProp(TFrmProperty* property) {
    std::u16string type = TranType();
    if (type.empty()) {
        throw ELumInternalError(LoadResString(LumTrxTable::SNoPropertySetUndefined));
    }
    if (type == kResourceStringType) {
        throw ELumInternalError(LoadResString(LumTrxTable::SNoPropertySetString));
    }
    auto reference = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(property));
    Bound(stringIdOrProp_).SetAsInteger(static_cast<std::int32_t>(reference));
}

// ---- Inserting and posting

void TLumTransTable::DoAfterInsert() {
    TLumVarArrayDataSet::DoAfterInsert();
    SetTranslated(false);
}

void TLumTransTable::DoBeforePost() {
    TLumVarArrayDataSet::DoBeforePost();
    bool stringRow = IsStringResource();
    if (stringRow) {
        std::u16string reference = RefValue();
        if (!reference.empty()) {
            CheckFormatStringsMatch(reference, Value());
        }
    }
    // Rows being inserted are the ones loading adds: what they hold is in the module already.
    if (State() != dsEdit) {
        return;
    }
    if (stringRow) {
        PutString(stringBlocks_, StringTableID(), Value());
    } else {
        ConvertForWriting(*FrmProp(), Value());
    }
    modified_ = true;
}

// ---- Finding and merging

bool TLumTransTable::LocateTranID(const std::u16string& id) {
    if (!IsEmpty() && TranID() == id) {
        return true;
    }
    return Locate(u"TranID", TLumVariant(id), TLocateOptions{loCaseInsensitive});
}

TLumTransTable::THeldView::THeldView(TLumTransTable& table, bool keepPosition) : table_(table) {
    table_.SetFiltered(false);
    if (keepPosition) {
        position_ = table_.GetBookmark();
    }
    table_.DisableControls();
}

TLumTransTable::THeldView::~THeldView() {
    // A row left in edit by a failure is dropped: moving would post it.
    table_.Cancel();
    if (!position_.empty() && table_.BookmarkValid(position_)) {
        table_.GotoBookmark(position_);
    }
    table_.SetFiltered(true);
    table_.EnableControls();
}

bool TLumTransTable::Fits(const std::u16string& value) {
    if (!IsStringResource()) {
        return true;
    }
    std::u16string reference = RefValue();
    if (reference.empty()) {
        return true;
    }
    try {
        CheckFormatStringsMatch(reference, value);
        return true;
    } catch (const ELumGeneralError&) {
        return false;
    }
}

std::u16string TLumTransTable::RowText(TRowHandle row, const TField& field) {
    TLumVariant value;
    GetRecordValue(row, field.Index(), value);
    return value.IsNull() || value.IsEmpty() ? std::u16string() : value.AsWideString();
}

bool TLumTransTable::RowFlag(TRowHandle row, const TField& field) {
    TLumVariant value;
    GetRecordValue(row, field.Index(), value);
    return !value.IsNull() && !value.IsEmpty() && value.AsBoolean();
}

TRowHandle
TLumTransTable::RowOfTranID(const std::u16string& id,
                            const std::unordered_map<std::u16string, TRowHandle>& exact) {
    if (auto found = exact.find(id); found != exact.end()) {
        return found->second;
    }
    int index = LocateRecord(u"TranID", TLumVariant(id), TLocateOptions{loCaseInsensitive});
    return index < 0 ? nullptr : RecordList().Get(index);
}

void TLumTransTable::Merge(TLumTransTable& other, bool mark) {
    // Walked in sorted order by position: a posted row keeps its place (its TranID does not
    // change), and one that moves before a row of the same TranID in another case moves among
    // rows already walked. The other table's rows are read where they are stored, without
    // moving its cursor: found by their exact TranID through an index made once, and only
    // failing that searched without regard to case.
    THeldView held(*this, true);
    const TField& otherId = other.Bound(other.tranId_);
    std::unordered_map<std::u16string, TRowHandle> exact;
    exact.reserve(static_cast<std::size_t>(other.RecordList().Count()));
    for (int i = 0; i < other.RecordList().Count(); ++i) {
        TRowHandle row = other.RecordList().Get(i);
        exact.emplace(other.RowText(row, otherId), row);
    }
    First();
    for (int recNo = 1; !Eof(); ++recNo) {
        if (TRowHandle row = other.RowOfTranID(TranID(), exact)) {
            bool stringRow = other.RowText(row, *other.tranType_) == kResourceStringType;
            bool translated = other.RowFlag(row, *other.translated_);
            std::u16string value = other.RowText(row, *other.tranValue_);
            if (stringRow) {
                value = CanonicalFormatStringOrText(value);
            }
            // A text whose arguments this row's reference no longer takes (the program's
            // text changed since) stays behind, to be translated anew, rather than stop the
            // merge.
            if (translated && Fits(value)) {
                Edit();
                SetValue(value);
                SetComment(other.RowText(row, *other.comment_));
                if (mark) {
                    SetTranslated(true);
                }
                Post();
            } else if (!translated && stringRow && Value() != value && Fits(value)) {
                Edit();
                SetValue(value);
                Post();
            }
            if (RecNo() != recNo) {
                SetRecNo(recNo);
            }
        }
        Next();
    }
}
