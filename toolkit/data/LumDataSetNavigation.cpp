// The ring of record buffers, navigation, resynchronisation and bookmarks.
#include "toolkit/data/LumDataSet.h"

#include "rstr/LumDataSet.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"

#include <algorithm>

// ---- The ring

void TDataSet::EnsureBuffers() {
    if (buffers_.empty()) {
        ResizeBuffers(WantedBufferCount());
    }
}

void TDataSet::ResizeBuffers(int count) {
    // The rows of the buffers that go or come are read again by the next resync.
    while (static_cast<int>(buffers_.size()) > count + 1) {
        FreeRecordBuffer(buffers_.back());
        buffers_.pop_back();
    }
    while (static_cast<int>(buffers_.size()) < count + 1) {
        buffers_.push_back(AllocRecordBuffer());
    }
    bufferCount_ = count;
    bufferCountPending_ = false;
    recordCount_ = std::min(recordCount_, count);
    activeRecord_ = std::min(activeRecord_, count - 1);
    if (currentRecord_ >= count) {
        currentRecord_ = -1;
    }
}

void TDataSet::FreeBuffers() {
    for (TRecordBuffer& buffer : buffers_) {
        FreeRecordBuffer(buffer);
    }
    buffers_.clear();
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = false;
    eof_ = false;
}

void TDataSet::ClearBuffers() {
    EnsureBuffers();
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = false;
    eof_ = false;
}

void TDataSet::ActivateBuffers() {
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
}

TRecordBuffer TDataSet::ActiveBuffer() const {
    return buffers_.empty() ? nullptr : buffers_[static_cast<size_t>(activeRecord_)];
}

// Takes the buffer at `from` out and puts it in at `to`; the ones between close the gap.
void TDataSet::MoveBuffer(int from, int to) {
    auto at = [this](int index) { return buffers_.begin() + index; };
    if (from < to) {
        std::rotate(at(from), at(from + 1), at(to + 1));
    } else if (from > to) {
        std::rotate(at(to), at(from), at(from + 1));
    }
}

void TDataSet::SetCurrentRecord(int index) {
    if (currentRecord_ == index) {
        return;
    }
    TRecordBuffer buffer = buffers_[static_cast<size_t>(index)];
    switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
        InternalSetToRecord(buffer);
        break;
    case bfBOF:
        InternalFirst();
        break;
    case bfEOF:
        InternalLast();
        break;
    }
    currentRecord_ = index;
}

void TDataSet::UpdateCursorPos() {
    if (recordCount_ > 0) {
        SetCurrentRecord(activeRecord_);
    }
}

// Reads the row after the last buffered one into the spare buffer and appends it; when all
// buffers show rows, the first one leaves.
bool TDataSet::GetNextRecord() {
    EnsureBuffers();
    if (recordCount_ > 0) {
        SetCurrentRecord(recordCount_ - 1);
    }
    if (GetRecord(buffers_[static_cast<size_t>(recordCount_)], gmNext, true) != grOK) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
    } else if (recordCount_ < bufferCount_) {
        ++recordCount_;
    } else {
        MoveBuffer(0, recordCount_);
    }
    currentRecord_ = recordCount_ - 1;
    return true;
}

// Reads the row before the first buffered one and puts it in front; the active buffer keeps
// its row while the buffers fill, and its place once they are full.
bool TDataSet::GetPriorRecord() {
    EnsureBuffers();
    if (recordCount_ > 0) {
        SetCurrentRecord(0);
    }
    if (GetRecord(buffers_[static_cast<size_t>(recordCount_)], gmPrior, true) != grOK) {
        CursorPosChanged();
        return false;
    }
    if (recordCount_ == 0) {
        ActivateBuffers();
    } else {
        MoveBuffer(recordCount_, 0);
        if (recordCount_ < bufferCount_) {
            ++recordCount_;
            ++activeRecord_;
        }
    }
    currentRecord_ = 0;
    return true;
}

int TDataSet::GetNextRecords() {
    int read = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord()) {
        ++read;
    }
    return read;
}

int TDataSet::GetPriorRecords() {
    int read = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord()) {
        ++read;
    }
    return read;
}

// ---- Navigation

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    InternalFirst();
    GetNextRecords();
    bof_ = true;
    eof_ = recordCount_ == 0;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    InternalLast();
    GetPriorRecords();
    eof_ = true;
    bof_ = recordCount_ == 0;
    DataEvent(deDataSetChange);
    DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
    CheckBrowseMode();
    if ((distance <= 0 || eof_) && (distance >= 0 || bof_)) {
        return 0;
    }
    DoBeforeScroll();
    bof_ = false;
    eof_ = false;
    int moved = 0;
    int scrolled = 0;
    for (; distance > 0; --distance, ++moved) {
        if (activeRecord_ < recordCount_ - 1) {
            ++activeRecord_;
            continue;
        }
        bool full = recordCount_ == bufferCount_;
        if (!GetNextRecord()) {
            eof_ = true;
            break;
        }
        activeRecord_ = recordCount_ - 1;
        scrolled += full ? 1 : 0;
    }
    for (; distance < 0; ++distance, --moved) {
        if (activeRecord_ > 0) {
            --activeRecord_;
            continue;
        }
        bool full = recordCount_ == bufferCount_;
        if (!GetPriorRecord()) {
            bof_ = true;
            break;
        }
        activeRecord_ = 0;
        scrolled -= full ? 1 : 0;
    }
    DataEvent(deDataSetScroll, scrolled);
    DoAfterScroll();
    return moved;
}

int TDataSet::RecNo() {
    return GetRecordNumber();
}

void TDataSet::SetRecNo(int recNo) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetRecordNumber(recNo);
    DoAfterScroll();
}

void TDataSet::Resync(TResyncMode mode) {
    EnsureBuffers();
    if (bufferCountPending_ && state_ == dsBrowse) {
        ResizeBuffers(WantedBufferCount());
    }
    TRecordBuffer spare = buffers_[static_cast<size_t>(recordCount_)];
    if (mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(spare, gmCurrent, true) != grOK) {
            DatabaseError(LoadResString(LumDataSet::SRecordNotFound));
        }
    } else if (GetRecord(spare, gmCurrent, false) != grOK &&
               GetRecord(spare, gmNext, false) != grOK &&
               GetRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        // No rows: both ends at once.
        bof_ = true;
        eof_ = true;
        DataEvent(deDataSetChange);
        return;
    }
    int before = mode.Contains(rmCenter) ? (bufferCount_ - 1) / 2 : activeRecord_;
    MoveBuffer(recordCount_, 0);
    ActivateBuffers();
    while (before > 0 && GetPriorRecord()) {
        --before;
    }
    GetNextRecords();
    GetPriorRecords();
    DataEvent(deDataSetChange);
}

void TDataSet::ResyncAfterFailure() noexcept {
    try {
        Resync({});
    } catch (...) {
        // The first failure is the one the caller hears of.
    }
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    UpdateCursorPos();
    {
        auto resync = OnScopeFailure([this] { ResyncAfterFailure(); });
        InternalRefresh();
    }
    Resync({});
}

// ---- Bookmarks

TBookmark TDataSet::GetBookmark() {
    if ((state_ != dsBrowse && state_ != dsEdit && state_ != dsInsert) || recordCount_ == 0 ||
        GetBookmarkFlag(ActiveBuffer()) != bfCurrent) {
        return {};
    }
    TBookmark bookmark(static_cast<size_t>(bookmarkSize_));
    GetBookmarkData(ActiveBuffer(), bookmark.data());
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
    if (bookmark.empty()) {
        return;
    }
    if (static_cast<int>(bookmark.size()) != bookmarkSize_) {
        DatabaseError(LoadResString(LumDataSet::SInvalidBookmark));
    }
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(bookmark.data());
    Resync({rmExact, rmCenter});
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& bookmark) {
    if (!Active() || bookmark.empty() || static_cast<int>(bookmark.size()) != bookmarkSize_) {
        return false;
    }
    bool valid = false;
    try {
        InternalGotoBookmark(bookmark.data());
        // The spare buffer past the ring: no row shown is overwritten.
        valid = GetRecord(buffers_[static_cast<size_t>(bufferCount_)], gmCurrent, false) == grOK;
    } catch (const EDatabaseError&) {
        // A data set that cannot find the bookmark's row says so with a database error.
    }
    CursorPosChanged();
    UpdateCursorPos();
    return valid;
}
