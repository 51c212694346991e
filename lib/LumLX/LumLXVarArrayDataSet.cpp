#include "lib/LumLX/LumLXVarArrayDataSet.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"

#include <utility>

namespace {

TVarArrayRow& RowOf(TRowHandle row) {
    return *static_cast<TVarArrayRow*>(row);
}

} // namespace

TLumVarArrayDataSet::TLumVarArrayDataSet(TLumComponent* owner) : TLumDataSet(owner) {}

TLumVarArrayDataSet::~TLumVarArrayDataSet() {
    ClearVarArrays();
}

const TLumClass& TLumVarArrayDataSet::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumVarArrayDataSet>("TLumVarArrayDataSet", &TLumDataSet::StaticClass())
            .Build();
    return cls;
}

void TLumVarArrayDataSet::ClearVarArrays() {
    for (int i = 0; i < storage_.Count(); ++i) {
        delete storage_.Get(i);
    }
    storage_.Clear();
    retired_.clear();
}

void TLumVarArrayDataSet::InternalClose() {
    TLumDataSet::InternalClose();
    ClearVarArrays();
}

void TLumVarArrayDataSet::LoadRecordList(TLumList& list, TRowHandle) {
    list.Assign(storage_);
}

TLumVariant& TLumVarArrayDataSet::ValueAt(TRowHandle row, int fieldIndex) {
    TVarArrayRow& values = RowOf(row);
    if (fieldIndex < 0 || static_cast<size_t>(fieldIndex) >= values.size()) {
        throw EListError(Format(LoadResString(LumRtlConsts::SListIndexError), fieldIndex));
    }
    return values[static_cast<size_t>(fieldIndex)];
}

void TLumVarArrayDataSet::GetRecordValue(TRowHandle row, int fieldIndex, TLumVariant& value) {
    value = ValueAt(row, fieldIndex);
}

void TLumVarArrayDataSet::SetRecordValue(TRowHandle row, int fieldIndex, const TLumVariant& value) {
    ValueAt(row, fieldIndex) = value;
}

void TLumVarArrayDataSet::DeleteRecordData(TRowHandle row) {
    int index = storage_.IndexOf(static_cast<TVarArrayRow*>(row));
    if (index < 0) {
        return;
    }
    std::unique_ptr<TVarArrayRow> deleted(storage_.Get(index));
    storage_.Delete(index);
    TVarArrayRow().swap(*deleted);
    retired_.push_back(std::move(deleted));
}

TRowHandle TLumVarArrayDataSet::NewRecordData() {
    auto row = std::make_unique<TVarArrayRow>(static_cast<size_t>(FieldCount()));
    storage_.Add(row.get());
    return row.release();
}
