#pragma once
// TLumStringList: the toolkit's list of Unicode strings, each with an optional object pointer
// that the list does not own. Optionally sorted, with a duplicates policy and case-insensitive
// comparison by default.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TLumStream;

enum TDuplicates {
    /// Adding a string that a sorted list holds already does nothing.
    dupIgnore,
    dupAccept,
    /// Adding a string that a sorted list holds already raises EStringListError.
    dupError,
};

enum TTextEncoding {
    /// Bytes in the system's ANSI code page.
    teAnsi,
    /// UTF-16 little endian, starting with the byte-order mark.
    teUnicode,
};

/// Compares two texts as the string lists do: < 0, 0 or > 0. On Windows this is the user
/// locale's comparison (CompareStringW, with NORM_IGNORECASE when not case-sensitive). The
/// host build compares the texts after Unicode simple case folding; when case matters, texts
/// that are equal apart from case are ordered lower case first, as the Windows comparison
/// orders letters.
int LumCompareStrings(std::u16string_view a, std::u16string_view b, bool caseSensitive);

/// The most bytes a string list loads from a stream: its texts are counted in int.
inline constexpr std::int64_t kStringListMaxStreamSize = 0x7FFFFFFF;

class TLumStringList {
  public:
    using TNotifyEvent = std::function<void(TLumStringList& sender)>;
    /// Compares the items at two indexes: < 0, 0 or > 0.
    using TCompare = std::function<int(const TLumStringList& list, int index1, int index2)>;

    TLumStringList() = default;
    TLumStringList(const TLumStringList&) = delete;
    TLumStringList& operator=(const TLumStringList&) = delete;

    /// Called before the list changes and after it changed, unless an update is under way.
    TNotifyEvent OnChanging;
    TNotifyEvent OnChange;

    int Count() const { return static_cast<int>(items_.size()); }
    /// An index outside 0..Count-1 raises EStringListError "List index out of bounds (%d)"
    /// in every operation that takes one.
    const std::u16string& Strings(int index) const;
    /// Replaces the string; raises EStringListError on a sorted list.
    void SetStrings(int index, std::u16string text);
    void* Objects(int index) const;
    void SetObjects(int index, void* object);

    /// Adds the string (at its sorted place in a sorted list) and returns its index. A sorted
    /// list that holds the string already returns that index (dupIgnore) or raises
    /// EStringListError "String list does not allow duplicates" (dupError).
    int Add(std::u16string text);
    int AddObject(std::u16string text, void* object);
    /// Inserts at the index (0..Count); a sorted list raises EStringListError
    /// "Operation not allowed on sorted list".
    void Insert(int index, std::u16string text);
    void InsertObject(int index, std::u16string text, void* object);
    void Delete(int index);
    void Clear();
    /// Swaps two items; a sorted list raises EStringListError.
    void Exchange(int index1, int index2);
    /// Moves an item to another index; a sorted list raises EStringListError.
    void Move(int currentIndex, int newIndex);

    /// The index of the first item equal to the text (in the list's comparison), or -1.
    int IndexOf(std::u16string_view text) const;
    int IndexOfObject(const void* object) const;
    /// Looks for the text: by binary search in a sorted list, where `index` receives the first
    /// match or the place where the text would be inserted; from the start otherwise, where
    /// `index` receives the first match or Count.
    bool Find(std::u16string_view text, int& index) const;

    /// Sorts the list in its comparison; equal items keep their order.
    void Sort();
    /// Sorts an unsorted list with the given comparison; a sorted list is left as it is.
    void CustomSort(const TCompare& compare);

    bool Sorted() const { return sorted_; }
    /// Turning sorting on sorts the list.
    void SetSorted(bool sorted);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
    bool CaseSensitive() const { return caseSensitive_; }
    /// A sorted list is sorted again in the new comparison.
    void SetCaseSensitive(bool caseSensitive);
    /// Compares two texts as this list does.
    int CompareStrings(std::u16string_view a, std::u16string_view b) const;

    /// Every item followed by CR LF.
    std::u16string Text() const;
    /// Replaces the items by the lines of the text, split at CR LF, LF or CR; a line break at
    /// the end does not start another item.
    void SetText(std::u16string_view text);
    /// The items separated by commas; an item that is empty or holds a blank, a control
    /// character, a comma or a double quote is written in double quotes, with its double
    /// quotes doubled.
    std::u16string CommaText() const;
    /// Replaces the items by those of a comma text; commas and blanks outside quotes separate
    /// items.
    void SetCommaText(std::u16string_view text);

    /// The part of the item before the first "="; empty when it has none.
    std::u16string Names(int index) const;
    /// The part of the item after the first "="; empty when it has none.
    std::u16string ValueFromIndex(int index) const;
    /// The value of the first item whose name is `name`; empty when there is none.
    std::u16string Values(std::u16string_view name) const;
    /// Sets the value of the item named `name`, adding "name=value" when there is none; an
    /// empty value deletes the item.
    void SetValues(std::u16string_view name, std::u16string_view value);
    /// The index of the first item whose name equals `name` (in the list's comparison), or -1.
    int IndexOfName(std::u16string_view name) const;

    /// Suspends OnChanging and OnChange until the matching EndUpdate. The first BeginUpdate
    /// calls OnChanging, the last EndUpdate calls OnChange; an EndUpdate without BeginUpdate
    /// does nothing.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    /// Replaces the items (strings and objects) by those of the source.
    void Assign(const TLumStringList& source);
    /// Adds the items of the source (its strings and objects) in its order.
    void AddStrings(const TLumStringList& source);

    /// Replaces the items by the lines of the rest of the stream: UTF-16 (little or big
    /// endian) or UTF-8 when it starts with that byte-order mark, ANSI otherwise. A rest
    /// longer than kStringListMaxStreamSize raises EStringListError "Stream of %d bytes is too
    /// large for a string list" before anything is read or changed.
    void LoadFromStream(TLumStream& stream);
    /// Writes Text(): as ANSI, or as UTF-16 little endian after the byte-order mark.
    void SaveToStream(TLumStream& stream, TTextEncoding encoding = teAnsi) const;
    /// As LoadFromStream; a file that cannot be opened raises EFOpenError.
    void LoadFromFile(const std::u16string& path);
    /// As SaveToStream into a new file; a file that cannot be created raises EFCreateError.
    void SaveToFile(const std::u16string& path, TTextEncoding encoding = teAnsi) const;

    int Capacity() const { return static_cast<int>(items_.capacity()); }
    /// Reserves room; a capacity below Count raises EStringListError
    /// "List capacity out of bounds (%d)".
    void SetCapacity(int capacity);

  private:
    struct TItem {
        std::u16string text;
        void* object;
    };

    void Changing();
    void Changed();
    void CheckIndex(int index) const;
    void CheckUnsorted() const;
    void InsertItem(int index, std::u16string text, void* object);
    void SortItems();

    std::vector<TItem> items_;
    bool sorted_ = false;
    bool caseSensitive_ = false;
    TDuplicates duplicates_ = dupIgnore;
    int updateCount_ = 0;
};
