// The data set over row handles: record buffers, the cursor over the record list, field values
// and editing.
#include "lib/LumLX/LumLXDataSet.h"

#include "lib/LumLX/LumLXChecks.h"
#include "rstr/LumDataSet.h"
#include "rstr/LumLXDataSet.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"

#include <algorithm>
#include <any>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr std::u16string_view kAssertSource = u"LumLX\\LumLXDataSet";

// A record buffer: the header, then one variant per field. The record size counts the header
// as 8 bytes and a variant as 16, as a 32-bit build with 16-byte variants lays them out; the
// size is a 16-bit number, which bounds the field count.
struct TRecordHeader {
    TRowHandle Handle;
    TBookmarkFlag Flag;
    std::uint8_t Reserved[3];
};

constexpr int kHeaderSize = 8;
constexpr int kVariantSize = 16;
constexpr int kMaxFields = (0xFFFF - kHeaderSize) / kVariantSize;
static_assert(kMaxFields == 4095);

constexpr std::size_t kValuesOffset = (sizeof(TRecordHeader) + alignof(TLumVariant) - 1) /
                                      alignof(TLumVariant) * alignof(TLumVariant);
constexpr std::align_val_t kBufferAlignment{
    alignof(TLumVariant) > alignof(TRecordHeader) ? alignof(TLumVariant) : alignof(TRecordHeader)};

TRecordHeader& Header(TRecordBuffer buffer) {
    return *std::launder(reinterpret_cast<TRecordHeader*>(buffer));
}

TLumVariant* Values(TRecordBuffer buffer) {
    return std::launder(reinterpret_cast<TLumVariant*>(buffer + kValuesOffset));
}

[[noreturn]] void RaiseText(const TResStringRec& text) {
    DatabaseError(LoadResString(text));
}

template <class T> T& BufferAs(void* buffer) {
    return *static_cast<T*>(buffer);
}

template <class T> const T& BufferAs(const void* buffer) {
    return *static_cast<const T*>(buffer);
}

// A value into the native buffer of a field type. Narrow integers are range-checked: a value
// a 16-bit field cannot hold raises rather than reading back as another number.
void VarToBuffer(TFieldType type, const TLumVariant& value, void* buffer) {
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftGuid:
        BufferAs<std::string>(buffer) = value.AsString();
        return;
    case ftWideString:
        BufferAs<std::u16string>(buffer) = value.AsWideString();
        return;
    case ftSmallint:
        BufferAs<std::int16_t>(buffer) =
            static_cast<std::int16_t>(value.ChangeType(varSmallint).AsInteger());
        return;
    case ftWord:
        BufferAs<std::uint16_t>(buffer) =
            static_cast<std::uint16_t>(value.ChangeType(varWord).AsInteger());
        return;
    case ftInteger:
    case ftAutoInc:
        BufferAs<std::int32_t>(buffer) = value.AsInteger();
        return;
    case ftBoolean:
        BufferAs<std::int16_t>(buffer) = value.AsBoolean() ? -1 : 0;
        return;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime:
        BufferAs<double>(buffer) = value.AsDouble();
        return;
    case ftBCD:
        BufferAs<TCurrency>(buffer) = value.AsCurrency();
        return;
    case ftLargeint:
        // All 64 bits: a detour through a double would change values beyond 2^53.
        BufferAs<std::int64_t>(buffer) = value.AsInt64();
        return;
    case ftInterface:
        BufferAs<TLumInterface>(buffer) = value.AsInterface();
        return;
    case ftIDispatch:
        BufferAs<TLumInterface>(buffer) = value.AsDispatch();
        return;
    default:
        RaiseText(LumLXDataSet::SVarToBufferType);
    }
}

TLumVariant BufferToVar(TFieldType type, const void* buffer) {
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftGuid:
        return TLumVariant(BufferAs<std::string>(buffer));
    case ftWideString:
        return TLumVariant(BufferAs<std::u16string>(buffer));
    case ftSmallint:
        return TLumVariant(BufferAs<std::int16_t>(buffer));
    case ftWord:
        return TLumVariant(BufferAs<std::uint16_t>(buffer));
    case ftInteger:
    case ftAutoInc:
        return TLumVariant(BufferAs<std::int32_t>(buffer));
    case ftBoolean:
        return TLumVariant(BufferAs<std::int16_t>(buffer) != 0);
    case ftFloat:
    case ftCurrency:
        return TLumVariant(BufferAs<double>(buffer));
    case ftBCD:
        return TLumVariant(BufferAs<TCurrency>(buffer));
    case ftDate:
    case ftTime:
    case ftDateTime:
        return TLumVariant::FromDate(BufferAs<double>(buffer));
    case ftLargeint:
        return TLumVariant(BufferAs<std::int64_t>(buffer));
    case ftInterface:
        return TLumVariant::FromUnknown(BufferAs<TLumInterface>(buffer));
    case ftIDispatch:
        return TLumVariant::FromDispatch(BufferAs<TLumInterface>(buffer));
    default:
        RaiseText(LumLXDataSet::SBufferToVarType);
    }
}

TPropInfo ReadOnlyBufferCount() {
    TPropInfo info;
    info.Name = "BufferCount";
    info.Kind = TPropKind::Integer;
    info.Get = [](const TLumPersistent& self) {
        return TPropValue::OfInt(static_cast<const TLumDataSet&>(self).BufferCount());
    };
    info.Set = [](TLumPersistent&, const TPropValue&) {
        throw EReadError(Format(LoadResString(LumDataSet::SReadOnlyProperty), "BufferCount"));
    };
    info.Stored = [](const TLumPersistent&) { return false; };
    return info;
}

// Through the setter, which refreshes an open data set when the filter changes.
TPropInfo FilterRecordEventProperty() {
    TPropInfo info;
    info.Name = "OnFilterRecord";
    info.Kind = TPropKind::Event;
    info.Get = [](const TLumPersistent& self) {
        const TFilterRecordEvent& event = static_cast<const TLumDataSet&>(self).OnFilterRecord();
        TPropValue value;
        value.MethodName = event.MethodName();
        if (event) {
            value.Method = event.Handler();
        }
        return value;
    };
    info.Set = [](TLumPersistent& self, const TPropValue& value) {
        auto* handler = std::any_cast<TFilterRecordEvent::Function>(&value.Method);
        if (value.Method.has_value() && !handler) {
            RaiseMethodMismatch(value.MethodName);
        }
        static_cast<TLumDataSet&>(self).SetOnFilterRecord(
            handler ? TFilterRecordEvent(*handler, value.MethodName) : TFilterRecordEvent());
    };
    return info;
}

} // namespace

TLumDataSet::TLumDataSet(TLumComponent* owner) : TDataSet(owner) {}

TLumDataSet::~TLumDataSet() = default;

const TLumClass& TLumDataSet::StaticClass() {
    static const TLumClass cls = [] {
        TLumClass built =
            TLumClassBuilder<TLumDataSet>("TLumDataSet", &TDataSet::StaticClass())
                .Prop<&TLumDataSet::Active, &TLumDataSet::SetActive>("Active", false)
                .Prop<&TLumDataSet::Filtered, &TLumDataSet::SetFiltered>("Filtered", false)
                .Prop<&TLumDataSet::Sort, &TLumDataSet::SetSort>("Sort", std::u16string())
                .Event<&TLumDataSet::BeforeOpen>("BeforeOpen")
                .Event<&TLumDataSet::AfterOpen>("AfterOpen")
                .Event<&TLumDataSet::BeforeClose>("BeforeClose")
                .Event<&TLumDataSet::AfterClose>("AfterClose")
                .Event<&TLumDataSet::BeforeInsert>("BeforeInsert")
                .Event<&TLumDataSet::AfterInsert>("AfterInsert")
                .Event<&TLumDataSet::BeforeEdit>("BeforeEdit")
                .Event<&TLumDataSet::AfterEdit>("AfterEdit")
                .Event<&TLumDataSet::BeforePost>("BeforePost")
                .Event<&TLumDataSet::AfterPost>("AfterPost")
                .Event<&TLumDataSet::BeforeCancel>("BeforeCancel")
                .Event<&TLumDataSet::AfterCancel>("AfterCancel")
                .Event<&TLumDataSet::BeforeDelete>("BeforeDelete")
                .Event<&TLumDataSet::AfterDelete>("AfterDelete")
                .Event<&TLumDataSet::BeforeScroll>("BeforeScroll")
                .Event<&TLumDataSet::AfterScroll>("AfterScroll")
                .Event<&TLumDataSet::OnDeleteError>("OnDeleteError")
                .Event<&TLumDataSet::OnEditError>("OnEditError")
                .Build();
        built.Properties.insert(built.Properties.begin() + 1, ReadOnlyBufferCount());
        built.Properties.push_back(FilterRecordEventProperty());
        return built;
    }();
    return cls;
}

// ---- Record buffers

TRecordBuffer TLumDataSet::AllocRecordBuffer() {
    auto* buffer = static_cast<TRecordBuffer>(::operator new(
        kValuesOffset + sizeof(TLumVariant) * static_cast<std::size_t>(bufferFields_),
        kBufferAlignment));
    new (buffer) TRecordHeader{nullptr, bfCurrent, {0, 0, 0}};
    std::uninitialized_value_construct_n(reinterpret_cast<TLumVariant*>(buffer + kValuesOffset),
                                         bufferFields_);
    return buffer;
}

void TLumDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
    if (!buffer) {
        return;
    }
    std::destroy_n(Values(buffer), bufferFields_);
    ::operator delete(buffer, kBufferAlignment);
    buffer = nullptr;
}

std::uint16_t TLumDataSet::GetRecordSize() {
    return static_cast<std::uint16_t>(FieldCount() * kVariantSize + kHeaderSize);
}

void TLumDataSet::InternalInitRecord(TRecordBuffer buffer) {
    Header(buffer) = TRecordHeader{nullptr, bfCurrent, {0, 0, 0}};
    TLumVariant* values = Values(buffer);
    for (int i = 0; i < bufferFields_; ++i) {
        values[i] = TLumVariant::Null();
    }
}

TGetResult TLumDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool doCheck) {
    int count = recordList_.Count();
    TGetResult result = grOK;
    if (count == 0) {
        cursor_ = -1;
        result = grEOF;
    } else if (mode == gmCurrent) {
        result = cursor_ < 0 || cursor_ > count - 1 ? grError : grOK;
    } else if (mode == gmNext) {
        if (cursor_ < count - 1) {
            ++cursor_;
        } else {
            cursor_ = count;
            result = grEOF;
        }
    } else if (cursor_ < 1) {
        cursor_ = -1;
        result = grBOF;
    } else {
        // Never from beyond the place after the last row.
        cursor_ = std::min(cursor_, count) - 1;
    }
    if (result != grOK) {
        InternalInitRecord(buffer);
        if (result == grError && doCheck) {
            RaiseText(LumLXDataSet::SNoCurrentRecord);
        }
        return result;
    }
    TRecordHeader& header = Header(buffer);
    header.Handle = recordList_.Get(cursor_);
    header.Flag = bfCurrent;
    TLumVariant* values = Values(buffer);
    for (int i = 0; i < bufferFields_; ++i) {
        GetRecordValue(header.Handle, i, values[i]);
    }
    return grOK;
}

// ---- Bookmarks and the cursor

void TLumDataSet::GetBookmarkData(TRecordBuffer buffer, void* data) {
    std::memcpy(data, &Header(buffer).Handle, sizeof(TRowHandle));
}

void TLumDataSet::SetBookmarkData(TRecordBuffer buffer, const void* data) {
    std::memcpy(&Header(buffer).Handle, data, sizeof(TRowHandle));
}

TBookmarkFlag TLumDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
    return Header(buffer).Flag;
}

void TLumDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
    Header(buffer).Flag = flag;
}

void TLumDataSet::InternalGotoBookmark(const void* bookmark) {
    TRowHandle row;
    std::memcpy(&row, bookmark, sizeof row);
    int index = recordList_.IndexOf(row);
    if (index < 0) {
        RaiseText(LumLXDataSet::SBookmarkNotFound);
    }
    cursor_ = index;
}

void TLumDataSet::InternalSetToRecord(TRecordBuffer buffer) {
    InternalGotoBookmark(&Header(buffer).Handle);
}

int TLumDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
    // A bookmark of another size, or of a row no longer listed, is at -1.
    auto position = [this](const TBookmark& bookmark) {
        if (bookmark.size() != sizeof(TRowHandle)) {
            return -1;
        }
        TRowHandle row;
        std::memcpy(&row, bookmark.data(), sizeof row);
        return recordList_.IndexOf(row);
    };
    int first = position(a);
    int second = position(b);
    return first > second ? 1 : first < second ? -1 : 0;
}

void TLumDataSet::InternalFirst() {
    cursor_ = -1;
}

void TLumDataSet::InternalLast() {
    cursor_ = recordList_.Count();
}

void TLumDataSet::SnapRecordPosition(bool requireRows) {
    int count = recordList_.Count();
    if (cursor_ > count - 1) {
        cursor_ = count - 1;
    }
    if (cursor_ < 0) {
        cursor_ = 0;
    }
    if (requireRows && count == 0) {
        RaiseText(LumLXDataSet::SSnapRecordCount);
    }
}

int TLumDataSet::GetRecordCount() {
    return recordList_.Count();
}

int TLumDataSet::GetRecordNumber() {
    UpdateCursorPos();
    return cursor_ + 1;
}

void TLumDataSet::SetRecordNumber(int recNo) {
    cursor_ = recNo - 1;
    SnapRecordPosition(false);
    Resync({});
}

// ---- Editing

void TLumDataSet::InternalInsert() {
    if (recordList_.Count() == 0) {
        CursorPosChanged();
        Resync({});
    }
}

void TLumDataSet::InternalAddRecord(TRecordBuffer buffer, bool append) {
    if (append) {
        SetBookmarkFlag(buffer, bfEOF);
    }
    InternalPost();
}

void TLumDataSet::InternalPost() {
    TDataSet::InternalPost();
    TRowHandle row;
    if (State() == dsInsert) {
        SnapRecordPosition(false);
        row = NewRecordData();
    } else {
        SnapRecordPosition(true);
        row = recordList_.Get(cursor_);
    }
    TRecordBuffer buffer = ActiveBuffer();
    const TLumVariant* values = Values(buffer);
    for (int i = 0; i < bufferFields_; ++i) {
        SetRecordValue(row, i, values[i]);
    }
    // An edit that leaves the row's place (its key unchanged) compares two neighbours instead
    // of moving the row and the sort keys through the lists.
    if (State() == dsEdit && !sort_.empty() && KeepsSortPlace(row)) {
        return;
    }
    if (State() == dsEdit) {
        recordList_.Delete(cursor_);
        SortKeyRemoved(cursor_);
    }
    // The row goes back into the list in any case: at its sorted place, at the end when
    // appended, else at the cursor (also when its sorted place cannot be found).
    int position = cursor_;
    TLumVariant key;
    bool placed = false;
    auto insert = OnScopeExit([&] {
        recordList_.Insert(position, row);
        cursor_ = position;
        if (placed) {
            SortKeyInserted(position, row, key);
        } else {
            ForgetSortKeys();
        }
    });
    if (!sort_.empty()) {
        key = GetActiveKeyValues(GetFieldList(sort_));
        int found = 0;
        QuickFind(key, found, {loCaseInsensitive}, true);
        position = found;
        placed = true;
    } else if (State() == dsInsert && GetBookmarkFlag(buffer) == bfEOF) {
        position = recordList_.Count();
    }
}

void TLumDataSet::InternalDelete() {
    SnapRecordPosition(true);
    DeleteRecordData(recordList_.Get(cursor_));
    recordList_.Delete(cursor_);
    SortKeyRemoved(cursor_);
    if (recordList_.Count() > 0) {
        SnapRecordPosition(false);
    } else {
        cursor_ = -1;
        CursorPosChanged();
        Resync({});
    }
}

// ---- Field values

TLumVariant& TLumDataSet::ActiveValue(const TField& field) {
    TRecordBuffer buffer = ActiveBuffer();
    CheckAssigned(buffer, u"ActiveBuffer");
    int index = field.Index();
    if (index < 0 || index >= bufferFields_) {
        DatabaseError(Format(LoadResString(LumDataSet::SFieldNotFound), field.FieldName()));
    }
    return Values(buffer)[index];
}

bool TLumDataSet::GetFieldData(TField* field, void* buffer) {
    const TLumVariant& value = ActiveValue(*field);
    bool hasValue = !value.IsNull() && !value.IsEmpty();
    // A null value has nothing to convert; the field reads the answer.
    if (hasValue && buffer) {
        VarToBuffer(field->DataType(), value, buffer);
    }
    return hasValue;
}

bool TLumDataSet::GetFieldData(int fieldNo, void* buffer) {
    TField* field = FieldByNumber(fieldNo);
    return field && GetFieldData(field, buffer);
}

bool TLumDataSet::GetFieldData(TField* field, void* buffer, bool) {
    return GetFieldData(field, buffer);
}

void TLumDataSet::SetFieldData(TField* field, const void* buffer) {
    TLumVariant& value = ActiveValue(*field);
    value = buffer ? BufferToVar(field->DataType(), buffer) : TLumVariant::Null();
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(field));
}

void TLumDataSet::SetFieldData(TField* field, const void* buffer, bool) {
    SetFieldData(field, buffer);
}

TFieldClass TLumDataSet::GetFieldClass(TFieldType type) {
    if (type == ftWideString) {
        return &TLumWideStringField::StaticClass();
    }
    return TDataSet::GetFieldClass(type);
}

TLumVariant TLumDataSet::GetActiveKeyValues(const std::vector<TField*>& fields) {
    if (fields.size() == 1) {
        return ActiveValue(*fields[0]);
    }
    TLumVariant values = VarArrayCreate(0, static_cast<int>(fields.size()) - 1);
    for (size_t i = 0; i < fields.size(); ++i) {
        values.PutElement(static_cast<int>(i), ActiveValue(*fields[i]));
    }
    return values;
}

TLumVariant TLumDataSet::GetRecordKeyValues(TRowHandle row, const std::vector<TField*>& fields) {
    TLumVariant value;
    if (fields.size() == 1) {
        GetRecordValue(row, fields[0]->Index(), value);
        return value;
    }
    TLumVariant values = VarArrayCreate(0, static_cast<int>(fields.size()) - 1);
    for (size_t i = 0; i < fields.size(); ++i) {
        GetRecordValue(row, fields[i]->Index(), value);
        values.PutElement(static_cast<int>(i), value);
    }
    return values;
}

// ---- Opening, closing and refreshing

void TLumDataSet::InternalOpen() {
    SetBookmarkSize(sizeof(TRowHandle));
    cursor_ = -1;
    InternalInitFieldDefs();
    if (DefaultFields()) {
        CreateFields();
    }
    AfterCreateFields();
    BindFields();
    Assert(FieldCount() <= kMaxFields, kAssertSource, 602,
           u"TLumDataSet.InternalOpen: FieldCount exceeds limits.");
    Assert(FieldCount() >= 1, kAssertSource, 603,
           u"TLumDataSet.InternalOpen: FieldCount must be greater than zero.");
    bufferFields_ = FieldCount();
    RebuildRecordList();
}

bool TLumDataSet::IsCursorOpen() {
    return FieldCount() > 0;
}

void TLumDataSet::InternalClose() {
    DestroyFields();
    cursor_ = -1;
    recordList_.Clear();
    ForgetSortKeys();
    bufferFields_ = 0;
}

void TLumDataSet::InternalRefresh() {
    UpdateCursorPos();
    RebuildRecordList();
}
