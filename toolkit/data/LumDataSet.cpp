// The data set's lifecycle and state, its fields, links, controls and events.
#include "toolkit/data/LumDataSet.h"

#include "rstr/LumDataSet.h"
#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"

#include <algorithm>
#include <utility>

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view TrimField(std::u16string_view name) {
    while (!name.empty() && IsBlank(name.front())) {
        name.remove_prefix(1);
    }
    while (!name.empty() && IsBlank(name.back())) {
        name.remove_suffix(1);
    }
    return name;
}

} // namespace

void DatabaseError(std::u16string message) {
    throw EDatabaseError(std::move(message));
}

// ---- TDataLink

TDataLink::~TDataLink() {
    SetDataSet(nullptr);
}

void TDataLink::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) {
        return;
    }
    if (dataSet_) {
        std::exchange(dataSet_, nullptr)->RemoveLink(this);
    }
    if (dataSet) {
        dataSet_ = dataSet;
        dataSet->AddLink(this);
    }
}

void TDataLink::SetBufferCount(int count) {
    count = std::max(count, 1);
    if (count == bufferCount_) {
        return;
    }
    bufferCount_ = count;
    if (dataSet_) {
        dataSet_->UpdateBufferCount();
    }
}

// ---- Lifecycle

TDataSet::TDataSet(TLumComponent* owner) : TLumComponent(owner) {}

TDataSet::~TDataSet() {
    for (TDataLink* link : links_) {
        link->dataSet_ = nullptr;
    }
    // Persistent fields outlive the data set; the default fields it owns go with it.
    for (TField* field : fields_) {
        field->dataSet_ = nullptr;
    }
}

const TLumClass& TDataSet::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TDataSet>("TDataSet", &TLumComponent::StaticClass()).Build();
    return cls;
}

void TDataSet::BeforeDestruction() {
    if (state_ != dsInactive) {
        // The handlers may refer to objects already gone: no events.
        state_ = dsInactive;
        CloseCursor();
    }
    TLumComponent::BeforeDestruction();
}

void TDataSet::SetActive(bool active) {
    if (IsLoading()) {
        streamedActive_ = active;
        return;
    }
    if (active == Active()) {
        return;
    }
    if (active) {
        DoBeforeOpen();
        OpenCursor();
        DoAfterOpen();
        if (!IsEmpty()) {
            DoAfterScroll();
        }
    } else {
        DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        DoAfterClose();
    }
}

void TDataSet::Loaded() {
    TLumComponent::Loaded();
    if (std::exchange(streamedActive_, false)) {
        SetActive(true);
    }
}

void TDataSet::OpenCursor() {
    {
        auto undo = OnScopeFailure([this] {
            state_ = dsInactive;
            CloseCursor();
        });
        defaultFields_ = fields_.empty();
        state_ = dsOpening;
        InternalOpen();
        if (!IsCursorOpen()) {
            DatabaseError(LoadResString(LumDataSet::SCursorNotOpen));
        }
        ResizeBuffers(WantedBufferCount());
        ClearBuffers();
        InternalFirst();
        GetNextRecords();
        bof_ = true;
        eof_ = recordCount_ == 0;
    }
    SetState(dsBrowse);
}

void TDataSet::CloseCursor() {
    FreeBuffers();
    InternalClose();
}

void TDataSet::SetState(TDataSetState state) {
    if (state_ == state) {
        return;
    }
    state_ = state;
    modified_ = false;
    DataEvent(deUpdateState);
}

void TDataSet::CheckActive() const {
    if (state_ == dsInactive) {
        DatabaseError(LoadResString(LumDataSet::SDataSetClosed));
    }
}

TDataSet::TTempState::TTempState(TDataSet& dataSet, TDataSetState state)
    : dataSet_(dataSet), saved_(std::exchange(dataSet.state_, state)) {}

TDataSet::TTempState::~TTempState() {
    dataSet_.state_ = saved_;
}

// ---- Fields

TField* TDataSet::Fields(int index) const {
    if (index < 0 || index >= FieldCount()) {
        throw EListError(Format(LoadResString(LumRtlConsts::SListIndexError), index));
    }
    return fields_[static_cast<size_t>(index)];
}

TField* TDataSet::FindField(std::u16string_view name) const {
    for (TField* field : fields_) {
        if (SameFieldName(field->FieldName(), name)) {
            return field;
        }
    }
    return nullptr;
}

TField* TDataSet::FieldByName(std::u16string_view name) const {
    TField* field = FindField(name);
    if (!field) {
        DatabaseError(Format(LoadResString(LumDataSet::SFieldNotFound), name));
    }
    return field;
}

TField* TDataSet::FieldByNumber(int fieldNo) const {
    for (TField* field : fields_) {
        if (field->FieldNo() == fieldNo) {
            return field;
        }
    }
    return nullptr;
}

std::vector<TField*> TDataSet::GetFieldList(std::u16string_view names) const {
    std::vector<TField*> list;
    while (!names.empty()) {
        size_t end = names.find(u';');
        std::u16string_view name = TrimField(names.substr(0, end));
        if (!name.empty()) {
            list.push_back(FieldByName(name));
        }
        names = end == std::u16string_view::npos ? std::u16string_view() : names.substr(end + 1);
    }
    return list;
}

void TDataSet::AddField(TField* field) {
    fields_.push_back(field);
    field->dataSet_ = this;
}

void TDataSet::RemoveField(TField* field) {
    auto it = std::find(fields_.begin(), fields_.end(), field);
    if (it == fields_.end()) {
        return;
    }
    fields_.erase(it);
    field->dataSet_ = nullptr;
    field->fieldNo_ = 0;
    // The buffers are laid out by field: with one gone they no longer match the fields.
    if (state_ != dsInactive) {
        state_ = dsInactive;
        CloseCursor();
        DataEvent(deUpdateState);
    }
}

void TDataSet::CreateFields() {
    for (int i = 0; i < fieldDefs_.Count(); ++i) {
        fieldDefs_.Items(i).CreateField(*this);
    }
}

void TDataSet::DestroyFields() {
    if (!defaultFields_) {
        return;
    }
    while (!fields_.empty()) {
        TField* field = fields_.back();
        fields_.pop_back();
        field->dataSet_ = nullptr;
        field->Free();
    }
}

void TDataSet::BindFields() {
    for (TField* field : fields_) {
        // A field made from its definition finds it by number.
        int number = field->fieldNo_;
        const TFieldDef* def =
            number > 0 && number <= fieldDefs_.Count() &&
                    SameFieldName(fieldDefs_.Items(number - 1).Name(), field->FieldName())
                ? &fieldDefs_.Items(number - 1)
                : fieldDefs_.Find(field->FieldName());
        if (!def) {
            DatabaseError(Format(LoadResString(LumDataSet::SFieldNotFound), field->FieldName()));
        }
        if (def->DataType() != field->DataType()) {
            DatabaseError(
                Format(LoadResString(LumDataSet::SFieldTypeMismatch), field->FieldName()));
        }
        field->fieldNo_ = def->FieldNo();
    }
}

TFieldClass TDataSet::GetFieldClass(TFieldType type) {
    switch (type) {
    case ftString:
    case ftFixedChar:
        return &TStringField::StaticClass();
    case ftGuid:
        return &TGuidField::StaticClass();
    case ftWideString:
        return &TWideStringField::StaticClass();
    case ftSmallint:
        return &TSmallintField::StaticClass();
    case ftInteger:
        return &TIntegerField::StaticClass();
    case ftWord:
        return &TWordField::StaticClass();
    case ftAutoInc:
        return &TAutoIncField::StaticClass();
    case ftLargeint:
        return &TLargeintField::StaticClass();
    case ftBoolean:
        return &TBooleanField::StaticClass();
    case ftFloat:
        return &TFloatField::StaticClass();
    case ftCurrency:
        return &TCurrencyField::StaticClass();
    case ftBCD:
        return &TBCDField::StaticClass();
    case ftDate:
        return &TDateField::StaticClass();
    case ftTime:
        return &TTimeField::StaticClass();
    case ftDateTime:
        return &TDateTimeField::StaticClass();
    case ftVariant:
        return &TVariantField::StaticClass();
    case ftInterface:
        return &TInterfaceField::StaticClass();
    case ftIDispatch:
        return &TIDispatchField::StaticClass();
    case ftUnknown:
        break;
    }
    return nullptr;
}

void TDataSet::InternalPost() {
    CheckRequiredFields();
}

void TDataSet::CheckRequiredFields() {
    for (TField* field : fields_) {
        if (field->Required() && !field->ReadOnly() && field->IsNull()) {
            DatabaseError(Format(LoadResString(LumDataSet::SFieldRequired), field->DisplayLabel()));
        }
    }
}

// ---- Links, controls and events

void TDataSet::AddLink(TDataLink* link) {
    links_.push_back(link);
    UpdateBufferCount();
}

void TDataSet::RemoveLink(TDataLink* link) {
    links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
    UpdateBufferCount();
}

int TDataSet::WantedBufferCount() const {
    int count = 1;
    for (const TDataLink* link : links_) {
        count = std::max(count, link->BufferCount());
    }
    return count;
}

void TDataSet::UpdateBufferCount() {
    int wanted = WantedBufferCount();
    if (buffers_.empty()) {
        bufferCount_ = wanted;
        return;
    }
    if (wanted == bufferCount_) {
        bufferCountPending_ = false;
        return;
    }
    // The active buffer holds the changes of a row being edited: they must not be dropped.
    if (state_ != dsBrowse) {
        bufferCountPending_ = true;
        return;
    }
    UpdateCursorPos();
    ResizeBuffers(wanted);
    Resync({});
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
    if (event == deFieldChange) {
        modified_ = true;
    }
    if (disableCount_ > 0 || state_ == dsFilter) {
        return;
    }
    // A link may leave while it is told.
    std::vector<TDataLink*> links = links_;
    for (TDataLink* link : links) {
        if (std::find(links_.begin(), links_.end(), link) != links_.end()) {
            link->DataEvent(event, info);
        }
    }
}

void TDataSet::DisableControls() {
    if (disableCount_++ == 0) {
        disableState_ = state_;
    }
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0 || --disableCount_ > 0) {
        return;
    }
    if (disableState_ != state_) {
        DataEvent(deUpdateState);
    }
    if (disableState_ != dsInactive && state_ != dsInactive) {
        DataEvent(deDataSetChange);
    }
}

void TDataSet::Fire(const TDataSetNotifyEvent& event) {
    if (event) {
        event(this);
    }
}

void TDataSet::DoBeforeOpen() {
    Fire(BeforeOpen);
}

void TDataSet::DoAfterOpen() {
    Fire(AfterOpen);
}

void TDataSet::DoBeforeClose() {
    Fire(BeforeClose);
}

void TDataSet::DoAfterClose() {
    Fire(AfterClose);
}

void TDataSet::DoBeforeInsert() {
    Fire(BeforeInsert);
}

void TDataSet::DoAfterInsert() {
    Fire(AfterInsert);
}

void TDataSet::DoBeforeEdit() {
    Fire(BeforeEdit);
}

void TDataSet::DoAfterEdit() {
    Fire(AfterEdit);
}

void TDataSet::DoBeforePost() {
    Fire(BeforePost);
}

void TDataSet::DoAfterPost() {
    Fire(AfterPost);
}

void TDataSet::DoBeforeCancel() {
    Fire(BeforeCancel);
}

void TDataSet::DoAfterCancel() {
    Fire(AfterCancel);
}

void TDataSet::DoBeforeDelete() {
    Fire(BeforeDelete);
}

void TDataSet::DoAfterDelete() {
    Fire(AfterDelete);
}

void TDataSet::DoOnNewRecord() {
    Fire(OnNewRecord);
}

void TDataSet::DoBeforeScroll() {
    if (state_ != dsFilter) {
        Fire(BeforeScroll);
    }
}

void TDataSet::DoAfterScroll() {
    if (state_ != dsFilter) {
        Fire(AfterScroll);
    }
}
