// The data set over row handles: rebuilding the record list, filtering, sorting, and finding
// rows by bisection or by a scan.
#include "lib/LumLX/LumLXDataSet.h"

#include "lib/LumLX/LumLXUtils.h"
#include "rstr/LumLXDataSet.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::u16string_view kAssertSource = u"LumLX\\LumLXDataSet";

std::vector<int> IndexesOf(const std::vector<TField*>& fields) {
    std::vector<int> indexes;
    indexes.reserve(fields.size());
    for (const TField* field : fields) {
        indexes.push_back(field->Index());
    }
    return indexes;
}

} // namespace

TLumDataSet::TSortKey::TSortKey(TLumVariant value) : Value(std::move(value)) {
    IsText = IsTextKind(Value.VarType());
    if (IsText) {
        Text = Value.AsWideString();
    }
}

int TLumDataSet::CompareKeys(const TSortKey& a, const TSortKey& b, TLocateOptions options) {
    if (a.IsText && b.IsText && !options.Empty()) {
        return CompareTexts(a.Text, b.Text, options);
    }
    return CompareVariants(a.Value, b.Value, options);
}

// ---- The sort keys

void TLumDataSet::ForgetSortKeys() noexcept {
    keysValid_ = false;
    keyFields_.clear();
    keyRows_.clear();
    keys_.clear();
}

void TLumDataSet::SortKeyRemoved(int index) noexcept {
    if (!keysValid_ || index < 0 || static_cast<std::size_t>(index) >= keyRows_.size()) {
        ForgetSortKeys();
        return;
    }
    std::size_t width = keyFields_.size();
    keyRows_.erase(keyRows_.begin() + index);
    auto first = keys_.begin() + static_cast<std::ptrdiff_t>(index * width);
    keys_.erase(first, first + static_cast<std::ptrdiff_t>(width));
}

void TLumDataSet::SortKeyInserted(int index, TRowHandle row,
                                  const TLumVariant& keyValues) noexcept {
    if (!keysValid_ || index < 0 || static_cast<std::size_t>(index) > keyRows_.size()) {
        ForgetSortKeys();
        return;
    }
    try {
        TPreparedKey key = PrepareKey(keyValues, keyFields_.size());
        if (!key.ByParts) {
            ForgetSortKeys();
            return;
        }
        keyRows_.insert(keyRows_.begin() + index, row);
        keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(index * keyFields_.size()),
                     std::make_move_iterator(key.Parts.begin()),
                     std::make_move_iterator(key.Parts.end()));
    } catch (...) {
        // Without the keys a search reads the rows.
        ForgetSortKeys();
    }
}

// ---- Rebuilding

void TLumDataSet::RebuildRecordList() {
    int oldCursor = cursor_;
    bool atRow = oldCursor >= 0 && oldCursor < recordList_.Count();
    TRowHandle row = atRow ? recordList_.Get(oldCursor) : nullptr;
    ForgetSortKeys();
    LoadRecordList(recordList_, row);
    FilterRecordList(recordList_);
    SortRecordList(recordList_);
    int count = recordList_.Count();
    if (!atRow) {
        cursor_ = std::min(oldCursor, count);
        return;
    }
    int index = recordList_.IndexOf(row);
    if (index >= 0) {
        cursor_ = index;
    } else if (oldCursor >= count) {
        cursor_ = -1;
        Resync({});
    } else {
        cursor_ = oldCursor;
    }
}

// ---- Filtering

bool TLumDataSet::FilterActive() const {
    return Filtered() && (static_cast<bool>(OnFilterRecord()) || !Filter().empty());
}

bool TLumDataSet::FilterRecord() {
    bool accept = false;
    if (OnFilterRecord()) {
        OnFilterRecord()(this, accept);
    } else if (!Filter().empty()) {
        throw ELumGeneralError(LoadResString(LumLXDataSet::SFilterNotSupported));
    }
    return accept;
}

void TLumDataSet::FilterRecordList(TLumList& list) {
    if (!FilterActive()) {
        return;
    }
    TTempState filtering(*this, dsFilter);
    TLumList accepted;
    First();
    while (!Eof()) {
        if (FilterRecord()) {
            TRowHandle row;
            GetBookmarkData(ActiveBuffer(), &row);
            accepted.Add(row);
        }
        Next();
    }
    list.Assign(accepted);
}

void TLumDataSet::SetFiltered(bool filtered) {
    bool wasActive = FilterActive();
    TDataSet::SetFiltered(filtered);
    if (Active() && wasActive != FilterActive()) {
        Refresh();
    }
}

void TLumDataSet::SetFilterText(const std::u16string& text) {
    bool wasActive = FilterActive();
    bool changed = text != Filter();
    TDataSet::SetFilterText(text);
    if (Active() && (wasActive != FilterActive() || (changed && FilterActive()))) {
        Refresh();
    }
}

void TLumDataSet::SetFilterOptions(TFilterOptions options) {
    bool changed = options != FilterOptions();
    TDataSet::SetFilterOptions(options);
    if (Active() && changed && FilterActive()) {
        Refresh();
    }
}

void TLumDataSet::SetOnFilterRecord(const TFilterRecordEvent& handler) {
    bool wasActive = FilterActive();
    // Handlers cannot be compared: any handler set or replaced counts as other code.
    bool changed = static_cast<bool>(handler) || static_cast<bool>(OnFilterRecord());
    TDataSet::SetOnFilterRecord(handler);
    if (Active() && (wasActive != FilterActive() || (changed && FilterActive()))) {
        Refresh();
    }
}

// ---- Sorting

void TLumDataSet::SetSort(const std::u16string& sort) {
    if (sort == sort_) {
        return;
    }
    sort_ = sort;
    if (Active()) {
        Refresh();
    }
}

void TLumDataSet::SortRecordList(TLumList& list) {
    if (sort_.empty()) {
        return;
    }
    std::vector<TField*> fields;
    {
        auto clear = OnScopeFailure([this] { sort_.clear(); });
        fields = GetFieldList(sort_);
    }
    std::vector<int> indexes = IndexesOf(fields);
    // Each row's key is read once; the comparison then runs over the keys. It carries the keys
    // with it, so sorts of several data sets need no shared state.
    struct TRowKey {
        TRowHandle Row;
        std::size_t First;
    };
    const int count = list.Count();
    const std::size_t width = indexes.size();
    std::vector<TRowKey> rows(static_cast<std::size_t>(count));
    std::vector<TSortKey> keys;
    keys.reserve(rows.size() * width);
    TLumList order;
    order.SetCapacity(count);
    for (int i = 0; i < count; ++i) {
        TRowKey& row = rows[static_cast<std::size_t>(i)];
        row.Row = list.Get(i);
        row.First = keys.size();
        for (int index : indexes) {
            TLumVariant value;
            GetRecordValue(row.Row, index, value);
            keys.emplace_back(std::move(value));
        }
        order.Add(&row);
    }
    const TLocateOptions options{loCaseInsensitive};
    order.SortBy([&keys, width, options](void* a, void* b) {
        const TSortKey* first = &keys[static_cast<TRowKey*>(a)->First];
        const TSortKey* second = &keys[static_cast<TRowKey*>(b)->First];
        for (std::size_t i = 0; i < width; ++i) {
            if (int result = CompareKeys(first[i], second[i], options)) {
                return result;
            }
        }
        return 0;
    });
    TLumList sorted;
    sorted.SetCapacity(count);
    std::vector<TRowHandle> sortedRows;
    sortedRows.reserve(rows.size());
    std::vector<TSortKey> sortedKeys;
    sortedKeys.reserve(keys.size());
    for (int i = 0; i < count; ++i) {
        const TRowKey& row = *static_cast<TRowKey*>(order.Get(i));
        sorted.Add(row.Row);
        sortedRows.push_back(row.Row);
        auto first = keys.begin() + static_cast<std::ptrdiff_t>(row.First);
        sortedKeys.insert(sortedKeys.end(), std::make_move_iterator(first),
                          std::make_move_iterator(first + static_cast<std::ptrdiff_t>(width)));
    }
    list.Assign(sorted);
    if (&list == &recordList_) {
        keyFields_ = std::move(indexes);
        keyRows_ = std::move(sortedRows);
        keys_ = std::move(sortedKeys);
        keysValid_ = true;
    }
}

// ---- Searching

TLumDataSet::TPreparedKey TLumDataSet::PrepareKey(const TLumVariant& key, std::size_t fieldCount) {
    TPreparedKey prepared;
    if (fieldCount == 1) {
        prepared.Parts.emplace_back(key);
    } else if (key.IsArray() && key.ArrayLowBound() == 0 &&
               key.ArrayHighBound() == static_cast<int>(fieldCount) - 1) {
        for (std::size_t i = 0; i < fieldCount; ++i) {
            prepared.Parts.emplace_back(key.GetElement(static_cast<int>(i)));
        }
    } else {
        prepared.ByParts = false;
        prepared.Whole = key;
    }
    return prepared;
}

int TLumDataSet::CompareRowWithKey(int index, const std::vector<TField*>& fields,
                                   const TPreparedKey& key, TLocateOptions options) {
    TRowHandle row = recordList_.Get(index);
    if (!key.ByParts) {
        return CompareVariants(GetRecordKeyValues(row, fields), key.Whole, options);
    }
    const std::size_t width = key.Parts.size();
    if (keysValid_ && keyRows_[static_cast<std::size_t>(index)] == row) {
        const TSortKey* rowKey = &keys_[static_cast<std::size_t>(index) * width];
        for (std::size_t i = 0; i < width; ++i) {
            if (int result = CompareKeys(rowKey[i], key.Parts[i], options)) {
                return result;
            }
        }
        return 0;
    }
    // The keys no longer describe the list: the rows are read.
    ForgetSortKeys();
    for (std::size_t i = 0; i < width; ++i) {
        TLumVariant value;
        GetRecordValue(row, fields[i]->Index(), value);
        if (int result = CompareKeys(TSortKey(std::move(value)), key.Parts[i], options)) {
            return result;
        }
    }
    return 0;
}

bool TLumDataSet::QuickFind(const TLumVariant& key, int& index, TLocateOptions options,
                            bool findFirst) {
    Assert(!sort_.empty(), kAssertSource, 681, u"QuickFind requires Sort fields.");
    std::vector<TField*> fields = GetFieldList(sort_);
    if (keysValid_ && (keyFields_ != IndexesOf(fields) ||
                       keyRows_.size() != static_cast<std::size_t>(recordList_.Count()))) {
        ForgetSortKeys();
    }
    TPreparedKey prepared = PrepareKey(key, fields.size());
    int low = 0;
    int high = recordList_.Count() - 1;
    bool found = false;
    while (low <= high) {
        int middle = (low + high) / 2;
        int result = CompareRowWithKey(middle, fields, prepared, options);
        if (result < 0) {
            low = middle + 1;
        } else {
            high = middle - 1;
            if (result == 0) {
                found = true;
                if (!findFirst) {
                    low = middle;
                }
            }
        }
    }
    index = low;
    return found;
}

bool TLumDataSet::KeepsSortPlace(TRowHandle row) noexcept {
    const int count = recordList_.Count();
    const int index = cursor_;
    if (!keysValid_ || index < 0 || index >= count ||
        keyRows_.size() != static_cast<std::size_t>(count) ||
        keyRows_[static_cast<std::size_t>(index)] != row) {
        return false;
    }
    try {
        std::vector<TField*> fields = GetFieldList(sort_);
        if (keyFields_ != IndexesOf(fields)) {
            return false;
        }
        TPreparedKey key = PrepareKey(GetActiveKeyValues(fields), fields.size());
        const TLocateOptions options{loCaseInsensitive};
        if (!key.ByParts ||
            (index > 0 && CompareRowWithKey(index - 1, fields, key, options) >= 0) ||
            (index + 1 < count && CompareRowWithKey(index + 1, fields, key, options) < 0) ||
            !keysValid_) {
            return false;
        }
        std::move(key.Parts.begin(), key.Parts.end(),
                  keys_.begin() + static_cast<std::ptrdiff_t>(index) *
                                      static_cast<std::ptrdiff_t>(keyFields_.size()));
        return true;
    } catch (...) {
        // The full way decides, and raises what it raises.
        return false;
    }
}

// Several key fields are compared one by one under the options, as one field is: the options
// are not lost on the way into the elements of the key array.
bool TLumDataSet::RowMatches(TRowHandle row, const std::vector<TField*>& fields,
                             const TLumVariant& keyValues, TLocateOptions options) {
    TLumVariant value;
    if (fields.size() == 1) {
        GetRecordValue(row, fields[0]->Index(), value);
        return VariantsEqual(value, keyValues, options);
    }
    if (!keyValues.IsArray() || keyValues.ArrayLowBound() != 0 ||
        keyValues.ArrayHighBound() != static_cast<int>(fields.size()) - 1) {
        return VariantsEqual(GetRecordKeyValues(row, fields), keyValues, options);
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        GetRecordValue(row, fields[i]->Index(), value);
        if (!VariantsEqual(value, keyValues.GetElement(static_cast<int>(i)), options)) {
            return false;
        }
    }
    return true;
}

int TLumDataSet::LocateRecord(std::u16string_view keyFields, const TLumVariant& keyValues,
                              TLocateOptions options) {
    CheckBrowseMode();
    try {
        std::vector<TField*> fields = GetFieldList(keyFields);
        if (!sort_.empty() && fields == GetFieldList(sort_)) {
            // The rows are in order without regard to case, so the bisection compares so too;
            // a search where case counts then looks among the rows it found equal.
            TLocateOptions anyCase = options;
            anyCase.Include(loCaseInsensitive);
            int index = 0;
            if (!QuickFind(keyValues, index, anyCase, true)) {
                return -1;
            }
            if (options.Contains(loCaseInsensitive)) {
                return index;
            }
            TPreparedKey key = PrepareKey(keyValues, fields.size());
            for (;
                 index < recordList_.Count() && CompareRowWithKey(index, fields, key, anyCase) == 0;
                 ++index) {
                if (CompareRowWithKey(index, fields, key, options) == 0) {
                    return index;
                }
            }
            return -1;
        }
        for (int i = 0; i < recordList_.Count(); ++i) {
            if (RowMatches(recordList_.Get(i), fields, keyValues, options)) {
                return i;
            }
        }
        return -1;
    } catch (const Exception&) {
        // Whatever keeps the row from being found (a field name, a value that does not
        // compare) means that it is not found.
        return -1;
    }
}

bool TLumDataSet::Locate(std::u16string_view keyFields, const TLumVariant& keyValues,
                         TLocateOptions options) {
    int index = LocateRecord(keyFields, keyValues, options);
    if (index < 0) {
        return false;
    }
    DoBeforeScroll();
    cursor_ = index;
    Resync({rmExact, rmCenter});
    DoAfterScroll();
    return true;
}

TLumVariant TLumDataSet::Lookup(std::u16string_view keyFields, const TLumVariant& keyValues,
                                std::u16string_view resultFields) {
    int index = LocateRecord(keyFields, keyValues, {});
    if (index < 0) {
        return TLumVariant::Null();
    }
    return GetRecordKeyValues(recordList_.Get(index), GetFieldList(resultFields));
}
