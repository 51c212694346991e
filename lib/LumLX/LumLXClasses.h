#pragma once
// TLumList: an ordered list of untyped references stored inside a larger block with free slots
// in front of the first item and behind the last, so that inserting or deleting near either end
// is cheap. Whichever side of the insertion or deletion point holds fewer items is the one that
// moves.

#include "toolkit/base/LumVariants.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

/// What happened to an item, as the notification handler is told.
enum TListNotification : int { lnAdded = 0, lnDeleted = 2 };

/// The set operations of TLumList::Assign, with their codes.
enum TListAssignOp : int {
    laCopy = 0,
    laAnd = 1,
    laOr = 2,
    laXor = 3,
    laSrcUnbind = 4,
    laDestUnbind = 5,
};

/// Three-way comparison of two items: negative, 0 or positive. A plain function without context,
/// so a caller that needs context holds it itself (and guards it) for the length of the sort.
using TListSortCompare = int (*)(void* item1, void* item2);

using TListNotifyEvent = std::function<void(void* item, TListNotification action)>;

namespace LumListSort {

// Ranges this short are finished by insertion sort, which beats partitioning them.
inline constexpr int kInsertionLimit = 16;

template <class Compare> void InsertionSort(void** items, int left, int right, Compare& compare) {
    for (int i = left + 1; i <= right; ++i) {
        void* item = items[i];
        int j = i;
        for (; j > left && compare(item, items[j - 1]) < 0; --j) {
            items[j] = items[j - 1];
        }
        items[j] = item;
    }
}

template <class Compare> void HeapSort(void** items, int left, int right, Compare& compare) {
    auto less = [&compare](void* a, void* b) { return compare(a, b) < 0; };
    std::make_heap(items + left, items + right + 1, less);
    std::sort_heap(items + left, items + right + 1, less);
}

// Orders items[a], items[b], items[c] so that items[b] is their median.
template <class Compare> void MedianOfThree(void** items, int a, int b, int c, Compare& compare) {
    if (compare(items[b], items[a]) < 0) {
        std::swap(items[a], items[b]);
    }
    if (compare(items[c], items[b]) < 0) {
        std::swap(items[b], items[c]);
        if (compare(items[b], items[a]) < 0) {
            std::swap(items[a], items[b]);
        }
    }
}

template <class Compare>
void IntroSort(void** items, int left, int right, Compare& compare, int depth) {
    while (right - left > kInsertionLimit) {
        if (depth-- == 0) {
            HeapSort(items, left, right, compare);
            return;
        }
        int middle = left + (right - left) / 2;
        MedianOfThree(items, left, middle, right, compare);
        void* pivot = items[middle];
        int i = left;
        int j = right;
        // The bounds are checked on every step: a comparison that contradicts itself must not
        // lead the scan out of the range.
        do {
            while (i < right && compare(items[i], pivot) < 0) {
                ++i;
            }
            while (j > left && compare(items[j], pivot) > 0) {
                --j;
            }
            if (i <= j) {
                std::swap(items[i], items[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        // The smaller part by recursion, the larger by the loop: the depth stays logarithmic.
        if (j - left < right - i) {
            IntroSort(items, left, j, compare, depth);
            left = i;
        } else {
            IntroSort(items, i, right, compare, depth);
            right = j;
        }
    }
    InsertionSort(items, left, right, compare);
}

} // namespace LumListSort

/// Sorts items[left..right] by a three-way comparison (negative, 0 or positive): an introsort
/// (quicksort with a median-of-three pivot, insertion sort for short ranges, heapsort when the
/// partitions degenerate), so never worse than n log n. Not stable. `compare` may be a function
/// pointer or, for speed, a lambda or function object the compiler can inline. No index ever
/// leaves [left, right], even for a comparison that contradicts itself.
template <class Compare> void SortItems(void** items, int left, int right, Compare compare) {
    if (right <= left) {
        return;
    }
    int depth = 0;
    for (int n = right - left + 1; n > 1; n >>= 1) {
        depth += 2;
    }
    LumListSort::IntroSort(items, left, right, compare, depth);
}

class TLumList {
  public:
    /// The largest count and capacity a list accepts.
    static constexpr int MaxListSize = 0x7FFFFFF;

    TLumList() = default;
    TLumList(const TLumList&) = delete;
    TLumList& operator=(const TLumList&) = delete;
    /// Clears the list (notifying every deleted item that is not none) and releases the block.
    /// The handler must not raise here; the items go in any case.
    virtual ~TLumList();

    /// Appends the item and answers its index; notifies lnAdded unless the item is none.
    int Add(void* item);
    /// Puts the item at index (0 to Count()), moving the smaller side of the list. Raises
    /// EListError "List index out of bounds (%d)" for any other index.
    void Insert(int index, void* item);
    /// The item at index; raises EListError "List index out of bounds (%d)" outside 0 to
    /// Count() - 1.
    void* Get(int index) const;
    /// The index of the first item equal to item (by reference), or -1.
    int IndexOf(const void* item) const;
    /// Removes deleteCount items from index on, then notifies lnDeleted for each removed item
    /// that is not none, in their former order. Raises ELumInternalError "Internal Error:
    /// DelCount must be greater than 0. (%d)" when deleteCount is not positive and EListError
    /// "List index out of bounds (%d)" when the range leaves the list; nothing changes then.
    void DeleteRange(int index, int deleteCount);
    /// DeleteRange(index, 1).
    void Delete(int index) { DeleteRange(index, 1); }

    int Count() const { return count_; }
    /// Shrinks by deleting the items from newCount on (with notification) or grows with slots
    /// that hold none (without). Raises EListError "List count out of bounds (%d)" outside 0 to
    /// MaxListSize.
    void SetCount(int newCount);

    /// Slots from the first item to the end of the block.
    int Capacity() const { return static_cast<int>(end_ - first_); }
    /// Resizes the block so that newCapacity slots follow the first item, always leaving free
    /// slots in front of it. Raises ELumGeneralError "List capacity out of bounds (%d)" below
    /// Count() or above MaxListSize.
    void SetCapacity(int newCapacity);
    /// Free slots between the start of the block and the first item.
    int FrontGap() const { return static_cast<int>(first_ - block_.get()); }

    /// Sorts the items (SortItems); not stable. The compare function must not change the list.
    void Sort(TListSortCompare compare);

    /// Sort with a comparison the compiler can inline (a lambda or function object taking two
    /// items and answering negative, 0 or positive): the same algorithm, so the same order as
    /// Sort with an equal function, equal items included.
    template <class Compare> void SortBy(Compare compare) {
        SortItems(first_, 0, count_ - 1, compare);
    }

    /// Set operations with source (items compared by reference). With a second source, this list
    /// first becomes a copy of source and the operator then works with secondSource:
    /// laCopy: clear, take the source's capacity, add its items in order.
    /// laAnd: keep only items the source holds. laOr: add the source's items missing here.
    /// laXor: keep the items only one of the two holds (this list's first, then the source's).
    /// laSrcUnbind: remove every item the source holds.
    /// laDestUnbind: become the source's items missing here, in reverse source order.
    /// Either source may be this list itself; it is then taken as it was before the call.
    void Assign(const TLumList& source, TListAssignOp op = laCopy,
                const TLumList* secondSource = nullptr);

    /// Deletes every item (with notification) and releases the block.
    virtual void Clear();

    /// Called with every item added or deleted that is not none; empty by default.
    TListNotifyEvent OnNotify;

  protected:
    /// Adds the growth delta to the capacity.
    virtual void Grow();
    /// Calls OnNotify when it is set.
    virtual void Notify(void* item, TListNotification action);
    /// Raises EListError with message formatted with value. Overrides must raise too.
    [[noreturn]] virtual void Error(std::u16string_view message, int value) const;

  private:
    struct FreeBlock {
        void operator()(void** block) const { std::free(block); }
    };

    /// The growth delta for a capacity: 4 up to 8, 16 up to 64, then a quarter, at most 16384.
    static int GrowthDelta(int capacity);
    void EnsureFrontGap();
    void CopyItems(const TLumList& source);

    void** first_ = nullptr;
    std::unique_ptr<void*, FreeBlock> block_;
    void** end_ = nullptr;
    std::int32_t count_ = 0;
};

/// A row of the variant-array data set: one variant per field.
using TVarArrayRow = std::vector<TLumVariant>;

/// A TLumList of rows with typed access. It does not own its rows: whoever creates a row
/// frees it (the data set, when it deletes the row or closes).
class TVarArrayList : public TLumList {
  public:
    int Add(TVarArrayRow* row) { return TLumList::Add(row); }
    void Insert(int index, TVarArrayRow* row) { TLumList::Insert(index, row); }
    TVarArrayRow* Get(int index) const { return static_cast<TVarArrayRow*>(TLumList::Get(index)); }
    int IndexOf(const TVarArrayRow* row) const { return TLumList::IndexOf(row); }
};
