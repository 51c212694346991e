// Editing: edit, insert and append, post, cancel, delete, and leaving edit mode.
#include "toolkit/data/LumDataSet.h"

#include "rstr/LumDataSet.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"

#include <algorithm>

template <class Operation>
void TDataSet::CheckOperation(Operation operation, const TDataSetErrorEvent& errorEvent) {
    for (;;) {
        try {
            UpdateCursorPos();
            operation();
            return;
        } catch (EDatabaseError& error) {
            TDataAction action = daFail;
            if (errorEvent) {
                errorEvent(this, error, action);
            }
            if (action == daFail) {
                throw;
            }
            if (action == daAbort) {
                Abort();
            }
        }
    }
}

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert) {
        return;
    }
    CheckActive();
    DoBeforeEdit();
    CheckOperation([this] { InternalEdit(); }, OnEditError);
    SetState(dsEdit);
    DataEvent(deRecordChange);
    DoAfterEdit();
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    DoBeforeInsert();
    DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    {
        auto back = OnScopeFailure([this] {
            state_ = dsBrowse;
            ResyncAfterFailure();
        });
        DoOnNewRecord();
    }
    // What OnNewRecord filled in is the row's start, not a change.
    modified_ = false;
    DataEvent(deDataSetChange);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::Insert() {
    BeginInsertAppend();
    {
        auto back = OnScopeFailure([this] { ResyncAfterFailure(); });
        // The spare buffer takes the active place; the rows from there on move down.
        MoveBuffer(recordCount_, activeRecord_);
        TRecordBuffer buffer = ActiveBuffer();
        InitRecord(buffer);
        if (recordCount_ == 0) {
            SetBookmarkFlag(buffer, bfBOF);
        } else {
            // The new row stands before the row that was active: the cursor goes there.
            TBookmark next(static_cast<size_t>(bookmarkSize_));
            GetBookmarkData(buffers_[static_cast<size_t>(activeRecord_ + 1)], next.data());
            SetBookmarkData(buffer, next.data());
        }
        if (recordCount_ < bufferCount_) {
            ++recordCount_;
        }
        InternalInsert();
    }
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    {
        auto back = OnScopeFailure([this] { ResyncAfterFailure(); });
        ClearBuffers();
        TRecordBuffer buffer = buffers_[0];
        InitRecord(buffer);
        SetBookmarkFlag(buffer, bfEOF);
        recordCount_ = 1;
        GetPriorRecords();
        InternalLast();
    }
    EndInsertAppend();
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
    InternalInitRecord(buffer);
    SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::UpdateRecord() {
    if (state_ != dsEdit && state_ != dsInsert) {
        DatabaseError(LoadResString(LumDataSet::SNotEditing));
    }
    DataEvent(deUpdateRecord);
}

void TDataSet::Post() {
    UpdateRecord();
    DataEvent(deCheckBrowseMode);
    DoBeforePost();
    CheckOperation([this] { InternalPost(); }, OnPostError);
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert) {
        return;
    }
    DataEvent(deCheckBrowseMode);
    DoBeforeCancel();
    UpdateCursorPos();
    if (state_ == dsEdit) {
        InternalCancel();
    }
    SetState(dsBrowse);
    Resync({});
    DoAfterCancel();
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert) {
        Cancel();
        return;
    }
    DataEvent(deCheckBrowseMode);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation([this] { InternalDelete(); }, OnDeleteError);
    SetState(dsBrowse);
    Resync({});
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode);
    if (state_ == dsEdit || state_ == dsInsert) {
        UpdateRecord();
        if (modified_) {
            Post();
        } else {
            Cancel();
        }
    }
}

void TDataSet::InsertRecord(std::span<const TLumVariant> values) {
    AddRecord(values, false);
}

void TDataSet::AppendRecord(std::span<const TLumVariant> values) {
    AddRecord(values, true);
}

void TDataSet::AddRecord(std::span<const TLumVariant> values, bool append) {
    if (append) {
        Append();
    } else {
        Insert();
    }
    size_t count = std::min(values.size(), fields_.size());
    for (size_t i = 0; i < count; ++i) {
        fields_[i]->SetAsVariant(values[i]);
    }
    DoBeforePost();
    TRecordBuffer buffer = ActiveBuffer();
    CheckOperation([this, buffer, append] { InternalAddRecord(buffer, append); }, OnPostError);
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
}
