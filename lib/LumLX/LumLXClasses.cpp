#include "lib/LumLX/LumLXClasses.h"

#include "rstr/LumLXClasses.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

void MoveSlots(void** to, void** from, int slots) {
    if (slots > 0) {
        std::memmove(to, from, static_cast<size_t>(slots) * sizeof(void*));
    }
}

// Hoare partitioning around the middle item. The scans stop at the range's ends, so a compare
// function that contradicts itself cannot lead them out of the list, and only the smaller part
// is sorted recursively, so the stack stays shallow on any input. The two parts are disjoint,
// so the order in which they are sorted does not change the result.

} // namespace

TLumList::~TLumList() {
    Clear();
}

int TLumList::GrowthDelta(int capacity) {
    if (capacity > 64) {
        return std::min(capacity / 4, 0x4000);
    }
    return capacity > 8 ? 16 : 4;
}

void TLumList::Grow() {
    SetCapacity(Capacity() + GrowthDelta(Capacity()));
}

void TLumList::Notify(void* item, TListNotification action) {
    if (OnNotify) {
        OnNotify(item, action);
    }
}

void TLumList::Error(std::u16string_view message, int value) const {
    throw EListError(Format(message, value));
}

void TLumList::Clear() {
    SetCount(0);
    block_.reset();
    first_ = nullptr;
    end_ = nullptr;
}

void TLumList::EnsureFrontGap() {
    if (first_ != block_.get()) {
        return;
    }
    int capacity = Capacity();
    int delta = GrowthDelta(capacity);
    // Growing in place (large blocks are remapped, not copied) and then moving the items once
    // is cheaper than copying them into a fresh block.
    void** old = block_.release();
    auto block = static_cast<void**>(
        std::realloc(old, static_cast<size_t>(delta + capacity) * sizeof(void*)));
    if (!block) {
        block_.reset(old);
        throw std::bad_alloc();
    }
    block_.reset(block);
    MoveSlots(block + delta, block, count_);
    first_ = block + delta;
    end_ = first_ + capacity;
}

void TLumList::SetCapacity(int newCapacity) {
    if (newCapacity < count_ || newCapacity > MaxListSize) {
        throw ELumGeneralError(
            Format(LoadResString(LumLXClasses::SListCapacityError), newCapacity));
    }
    if (newCapacity == Capacity()) {
        return;
    }
    EnsureFrontGap();
    // Deleting at the front widens the gap; keeping all of it would let a list used as a queue
    // (add at the end, delete at the front) grow its block without bound.
    int gap = std::min(FrontGap(), std::max(newCapacity, GrowthDelta(newCapacity)));
    if (gap != FrontGap()) {
        MoveSlots(block_.get() + gap, first_, count_);
        first_ = block_.get() + gap;
    }
    void** old = block_.release();
    auto block = static_cast<void**>(
        std::realloc(old, static_cast<size_t>(gap + newCapacity) * sizeof(void*)));
    if (!block) {
        block_.reset(old);
        throw std::bad_alloc();
    }
    block_.reset(block);
    first_ = block + gap;
    end_ = first_ + newCapacity;
}

int TLumList::Add(void* item) {
    if (count_ == Capacity()) {
        Grow();
        Assert(count_ < Capacity(), u"LumLX\\LumLXClasses", __LINE__, u"Grow left no free slot.");
    }
    int index = count_;
    first_[index] = item;
    ++count_;
    if (item) {
        Notify(item, lnAdded);
    }
    return index;
}

void TLumList::Insert(int index, void* item) {
    if (index < 0 || index > count_) {
        Error(LoadResString(LumLXClasses::SListIndexError), index);
    }
    if (count_ == Capacity()) {
        Grow();
        Assert(count_ < Capacity(), u"LumLX\\LumLXClasses", __LINE__, u"Grow left no free slot.");
    }
    if (index < count_ - index) {
        EnsureFrontGap();
        --first_;
        MoveSlots(first_, first_ + 1, index);
    } else if (index < count_) {
        MoveSlots(first_ + index + 1, first_ + index, count_ - index);
    }
    first_[index] = item;
    ++count_;
    if (item) {
        Notify(item, lnAdded);
    }
}

void* TLumList::Get(int index) const {
    if (index < 0 || index >= count_) {
        Error(LoadResString(LumLXClasses::SListIndexError), index);
    }
    return first_[index];
}

int TLumList::IndexOf(const void* item) const {
    for (int i = 0; i < count_; ++i) {
        if (first_[i] == item) {
            return i;
        }
    }
    return -1;
}

void TLumList::DeleteRange(int index, int deleteCount) {
    if (deleteCount <= 0) {
        throw ELumInternalError(Format(LoadResString(LumLXClasses::SDelCountError), deleteCount));
    }
    if (index < 0 || static_cast<std::int64_t>(index) + deleteCount > count_) {
        Error(LoadResString(LumLXClasses::SListIndexError), index);
    }
    // The removed items are notified after the list is consistent again, so they are kept aside;
    // single deletions, the common case, need no allocation for that.
    void* few[16];
    std::vector<void*> many;
    void** removed = few;
    if (deleteCount > 16) {
        many.assign(first_ + index, first_ + index + deleteCount);
        removed = many.data();
    } else {
        std::copy(first_ + index, first_ + index + deleteCount, few);
    }
    count_ -= deleteCount;
    if (index < count_ - index) {
        MoveSlots(first_ + deleteCount, first_, index);
        first_ += deleteCount;
    } else if (index < count_) {
        MoveSlots(first_ + index, first_ + index + deleteCount, count_ - index);
    }
    for (int i = 0; i < deleteCount; ++i) {
        if (removed[i]) {
            Notify(removed[i], lnDeleted);
        }
    }
}

void TLumList::SetCount(int newCount) {
    if (newCount < 0 || newCount > MaxListSize) {
        Error(LoadResString(LumLXClasses::SListCountError), newCount);
    }
    if (Capacity() < newCount) {
        SetCapacity(newCount);
    }
    if (newCount > count_) {
        std::fill(first_ + count_, first_ + newCount, nullptr);
        count_ = newCount;
    } else if (newCount < count_) {
        DeleteRange(newCount, count_ - newCount);
    }
}

void TLumList::Sort(TListSortCompare compare) {
    SortItems(first_, 0, count_ - 1, compare);
}

void TLumList::CopyItems(const TLumList& source) {
    Clear();
    SetCapacity(source.Capacity());
    for (int i = 0; i < source.count_; ++i) {
        Add(source.first_[i]);
    }
}

void TLumList::Assign(const TLumList& source, TListAssignOp op, const TLumList* secondSource) {
    // A source that is this list is read as it was before the call, not as it changes.
    TLumList sourceBefore;
    TLumList secondBefore;
    const TLumList* from = &source;
    if (from == this) {
        sourceBefore.CopyItems(*this);
        from = &sourceBefore;
    }
    if (secondSource == this) {
        secondBefore.CopyItems(*this);
        secondSource = &secondBefore;
    }
    if (secondSource) {
        CopyItems(*from);
        from = secondSource;
    }
    switch (op) {
    case laCopy:
        CopyItems(*from);
        break;
    case laAnd:
        for (int i = count_ - 1; i >= 0; --i) {
            if (from->IndexOf(first_[i]) < 0) {
                Delete(i);
            }
        }
        break;
    case laOr:
        for (int i = 0; i < from->count_; ++i) {
            if (IndexOf(from->first_[i]) < 0) {
                Add(from->first_[i]);
            }
        }
        break;
    case laXor: {
        TLumList missing;
        missing.SetCapacity(from->count_);
        for (int i = 0; i < from->count_; ++i) {
            if (IndexOf(from->first_[i]) < 0) {
                missing.Add(from->first_[i]);
            }
        }
        for (int i = count_ - 1; i >= 0; --i) {
            if (from->IndexOf(first_[i]) >= 0) {
                Delete(i);
            }
        }
        if (Capacity() < count_ + missing.count_) {
            SetCapacity(count_ + missing.count_);
        }
        for (int i = 0; i < missing.count_; ++i) {
            Add(missing.first_[i]);
        }
        break;
    }
    case laSrcUnbind:
        for (int i = count_ - 1; i >= 0; --i) {
            if (from->IndexOf(first_[i]) >= 0) {
                Delete(i);
            }
        }
        break;
    case laDestUnbind: {
        TLumList missing;
        for (int i = from->count_ - 1; i >= 0; --i) {
            if (IndexOf(from->first_[i]) < 0) {
                missing.Add(from->first_[i]);
            }
        }
        CopyItems(missing);
        break;
    }
    }
}
