#include "toolkit/base/LumStringList.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <utility>

namespace {

[[noreturn]] void ListError(const TResStringRec& text) {
    throw EStringListError(LoadResString(text));
}

[[noreturn]] void ListError(const TResStringRec& text, int value) {
    throw EStringListError(Format(LoadResString(text), value));
}

bool NeedsQuotes(std::u16string_view text) {
    return text.empty() || std::any_of(text.begin(), text.end(), [](char16_t c) {
               return c <= u' ' || c == u'"' || c == u',';
           });
}

std::u16string DecodeUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    out.reserve(bytes.size() / 2 + 1);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto first = static_cast<unsigned char>(bytes[i]);
        auto second = static_cast<unsigned char>(bytes[i + 1]);
        out += static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    // A dangling last byte is no character; it is marked rather than dropped unseen.
    if (bytes.size() % 2 != 0) {
        out += u'\uFFFD';
    }
    return out;
}

// Runs the action inside BeginUpdate/EndUpdate, so that listeners hear of one change; of what
// changed also when the action fails part way. A listener failing then is dropped: the
// action's failure is the one to report.
template <class Action> void WithUpdate(TLumStringList& list, Action&& action) {
    list.BeginUpdate();
    {
        auto endOnFailure = OnScopeFailure([&list]() noexcept {
            try {
                list.EndUpdate();
            } catch (...) {
            }
        });
        action();
    }
    list.EndUpdate();
}

} // namespace

void TLumStringList::Changing() {
    if (updateCount_ == 0 && OnChanging) {
        OnChanging(*this);
    }
}

void TLumStringList::Changed() {
    if (updateCount_ == 0 && OnChange) {
        OnChange(*this);
    }
}

void TLumStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) {
        ListError(LumRtlConsts::SListIndexError, index);
    }
}

void TLumStringList::CheckUnsorted() const {
    if (sorted_) {
        ListError(LumRtlConsts::SSortedListError);
    }
}

const std::u16string& TLumStringList::Strings(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].text;
}

void TLumStringList::SetStrings(int index, std::u16string text) {
    CheckUnsorted();
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].text = std::move(text);
    Changed();
}

void* TLumStringList::Objects(int index) const {
    CheckIndex(index);
    return items_[static_cast<size_t>(index)].object;
}

void TLumStringList::SetObjects(int index, void* object) {
    CheckIndex(index);
    Changing();
    items_[static_cast<size_t>(index)].object = object;
    Changed();
}

int TLumStringList::Add(std::u16string text) {
    return AddObject(std::move(text), nullptr);
}

int TLumStringList::AddObject(std::u16string text, void* object) {
    int index = Count();
    if (sorted_ && Find(text, index)) {
        switch (duplicates_) {
        case dupIgnore:
            return index;
        case dupError:
            ListError(LumRtlConsts::SDuplicateString);
        case dupAccept:
            // After the equal items already there, so that equal items keep their order.
            while (index < Count() && CompareStrings(items_[index].text, text) == 0) {
                ++index;
            }
            break;
        }
    }
    InsertItem(index, std::move(text), object);
    return index;
}

void TLumStringList::Insert(int index, std::u16string text) {
    InsertObject(index, std::move(text), nullptr);
}

void TLumStringList::InsertObject(int index, std::u16string text, void* object) {
    CheckUnsorted();
    if (index < 0 || index > Count()) {
        ListError(LumRtlConsts::SListIndexError, index);
    }
    InsertItem(index, std::move(text), object);
}

void TLumStringList::InsertItem(int index, std::u16string text, void* object) {
    Changing();
    items_.insert(items_.begin() + index, TItem{std::move(text), object});
    Changed();
}

void TLumStringList::Delete(int index) {
    CheckIndex(index);
    Changing();
    items_.erase(items_.begin() + index);
    Changed();
}

void TLumStringList::Clear() {
    if (items_.empty()) {
        return;
    }
    Changing();
    items_.clear();
    Changed();
}

void TLumStringList::Exchange(int index1, int index2) {
    // Swapping items of a sorted list would break the order that Find relies on.
    CheckUnsorted();
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
    Changed();
}

void TLumStringList::Move(int currentIndex, int newIndex) {
    CheckUnsorted();
    CheckIndex(currentIndex);
    CheckIndex(newIndex);
    if (currentIndex == newIndex) {
        return;
    }
    Changing();
    auto first = items_.begin();
    if (currentIndex < newIndex) {
        std::rotate(first + currentIndex, first + currentIndex + 1, first + newIndex + 1);
    } else {
        std::rotate(first + newIndex, first + currentIndex, first + currentIndex + 1);
    }
    Changed();
}

int TLumStringList::CompareStrings(std::u16string_view a, std::u16string_view b) const {
    return LumCompareStrings(a, b, caseSensitive_);
}

int TLumStringList::IndexOf(std::u16string_view text) const {
    int index = 0;
    return Find(text, index) ? index : -1;
}

int TLumStringList::IndexOfObject(const void* object) const {
    for (int i = 0; i < Count(); ++i) {
        if (items_[static_cast<size_t>(i)].object == object) {
            return i;
        }
    }
    return -1;
}

bool TLumStringList::Find(std::u16string_view text, int& index) const {
    if (!sorted_) {
        for (index = 0; index < Count(); ++index) {
            if (CompareStrings(items_[static_cast<size_t>(index)].text, text) == 0) {
                return true;
            }
        }
        return false;
    }
    auto found = std::lower_bound(items_.begin(), items_.end(), text,
                                  [this](const TItem& item, std::u16string_view value) {
                                      return CompareStrings(item.text, value) < 0;
                                  });
    index = static_cast<int>(found - items_.begin());
    return found != items_.end() && CompareStrings(found->text, text) == 0;
}

void TLumStringList::SortItems() {
    std::stable_sort(items_.begin(), items_.end(), [this](const TItem& a, const TItem& b) {
        return CompareStrings(a.text, b.text) < 0;
    });
}

void TLumStringList::Sort() {
    if (sorted_ || Count() < 2) {
        return;
    }
    Changing();
    SortItems();
    Changed();
}

void TLumStringList::CustomSort(const TCompare& compare) {
    if (sorted_ || Count() < 2) {
        return;
    }
    Changing();
    // The comparison sees the list by index, so sort a permutation and apply it afterwards.
    std::vector<int> order(items_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = static_cast<int>(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return compare(*this, a, b) < 0; });
    std::vector<TItem> sorted;
    sorted.reserve(items_.size());
    for (int i : order) {
        sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
    }
    items_ = std::move(sorted);
    Changed();
}

void TLumStringList::SetSorted(bool sorted) {
    if (sorted == sorted_) {
        return;
    }
    if (sorted) {
        Sort();
    }
    sorted_ = sorted;
}

void TLumStringList::SetCaseSensitive(bool caseSensitive) {
    if (caseSensitive == caseSensitive_) {
        return;
    }
    caseSensitive_ = caseSensitive;
    if (sorted_ && Count() > 1) {
        Changing();
        SortItems();
        Changed();
    }
}

std::u16string TLumStringList::Text() const {
    std::u16string text;
    for (const TItem& item : items_) {
        text += item.text;
        text += u"\r\n";
    }
    return text;
}

void TLumStringList::SetText(std::u16string_view text) {
    WithUpdate(*this, [&] {
        Clear();
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find_first_of(u"\r\n", start);
            if (end == std::u16string_view::npos) {
                Add(std::u16string(text.substr(start)));
                break;
            }
            Add(std::u16string(text.substr(start, end - start)));
            start = end + 1;
            if (text[end] == u'\r' && start < text.size() && text[start] == u'\n') {
                ++start;
            }
        }
    });
}

std::u16string TLumStringList::CommaText() const {
    std::u16string text;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (i > 0) {
            text += u',';
        }
        const std::u16string& item = items_[i].text;
        if (!NeedsQuotes(item)) {
            text += item;
            continue;
        }
        text += u'"';
        for (char16_t c : item) {
            text += c;
            if (c == u'"') {
                text += u'"';
            }
        }
        text += u'"';
    }
    return text;
}

void TLumStringList::SetCommaText(std::u16string_view text) {
    auto isBlank = [](char16_t c) { return c <= u' '; };
    WithUpdate(*this, [&] {
        Clear();
        size_t i = 0;
        while (i < text.size() && isBlank(text[i])) {
            ++i;
        }
        while (i < text.size()) {
            std::u16string item;
            if (text[i] == u'"') {
                // A quoted item ends at a single quote; an unclosed one at the end of the text.
                ++i;
                while (i < text.size()) {
                    if (text[i] == u'"') {
                        if (i + 1 < text.size() && text[i + 1] == u'"') {
                            item += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    item += text[i++];
                }
            } else {
                while (i < text.size() && text[i] != u',' && !isBlank(text[i])) {
                    item += text[i++];
                }
            }
            Add(std::move(item));
            while (i < text.size() && isBlank(text[i])) {
                ++i;
            }
            if (i < text.size() && text[i] == u',') {
                ++i;
                while (i < text.size() && isBlank(text[i])) {
                    ++i;
                }
            }
        }
    });
}

std::u16string TLumStringList::Names(int index) const {
    const std::u16string& item = Strings(index);
    size_t equals = item.find(u'=');
    return equals == std::u16string::npos ? std::u16string() : item.substr(0, equals);
}

std::u16string TLumStringList::ValueFromIndex(int index) const {
    const std::u16string& item = Strings(index);
    size_t equals = item.find(u'=');
    return equals == std::u16string::npos ? std::u16string() : item.substr(equals + 1);
}

int TLumStringList::IndexOfName(std::u16string_view name) const {
    for (int i = 0; i < Count(); ++i) {
        const std::u16string& item = items_[static_cast<size_t>(i)].text;
        size_t equals = item.find(u'=');
        if (equals != std::u16string::npos &&
            CompareStrings(std::u16string_view(item).substr(0, equals), name) == 0) {
            return i;
        }
    }
    return -1;
}

std::u16string TLumStringList::Values(std::u16string_view name) const {
    int index = IndexOfName(name);
    return index < 0 ? std::u16string() : ValueFromIndex(index);
}

void TLumStringList::SetValues(std::u16string_view name, std::u16string_view value) {
    int index = IndexOfName(name);
    if (value.empty()) {
        if (index >= 0) {
            Delete(index);
        }
        return;
    }
    std::u16string item = std::u16string(name) + u'=' + std::u16string(value);
    if (index < 0) {
        Add(std::move(item));
    } else if (sorted_) {
        // The new value may move the item, so it is taken out and added at its new place.
        void* object = items_[static_cast<size_t>(index)].object;
        WithUpdate(*this, [&] {
            Delete(index);
            AddObject(std::move(item), object);
        });
    } else {
        SetStrings(index, std::move(item));
    }
}

void TLumStringList::BeginUpdate() {
    if (updateCount_ == 0) {
        Changing();
    }
    ++updateCount_;
}

void TLumStringList::EndUpdate() {
    if (updateCount_ == 0) {
        return;
    }
    --updateCount_;
    if (updateCount_ == 0) {
        Changed();
    }
}

void TLumStringList::Assign(const TLumStringList& source) {
    if (&source == this) {
        return;
    }
    WithUpdate(*this, [&] {
        Clear();
        AddStrings(source);
    });
}

void TLumStringList::AddStrings(const TLumStringList& source) {
    // Copied first, so that adding a list to itself adds each item once.
    std::vector<TItem> items = source.items_;
    WithUpdate(*this, [&] {
        for (TItem& item : items) {
            AddObject(std::move(item.text), item.object);
        }
    });
}

void TLumStringList::LoadFromStream(TLumStream& stream) {
    std::int64_t size = std::max<std::int64_t>(stream.Size() - stream.Position(), 0);
    // Checked before the size is narrowed: a 32-bit size_t would cut a stream over 4 GB short.
    if (size > kStringListMaxStreamSize) {
        throw EStringListError(Format(LoadResString(LumRtlConsts::SStreamTooLarge), size));
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    stream.ReadBuffer(bytes.data(), bytes.size());
    std::string_view view(bytes);
    if (view.starts_with("\xFF\xFE")) {
        SetText(DecodeUtf16(view.substr(2), false));
    } else if (view.starts_with("\xFE\xFF")) {
        SetText(DecodeUtf16(view.substr(2), true));
    } else if (view.starts_with("\xEF\xBB\xBF")) {
        SetText(Utf8ToWide(view.substr(3)));
    } else {
        SetText(AnsiToWide(view));
    }
}

void TLumStringList::SaveToStream(TLumStream& stream, TTextEncoding encoding) const {
    std::u16string text = Text();
    if (encoding == teAnsi) {
        std::string bytes = WideToAnsi(text);
        stream.WriteBuffer(bytes.data(), bytes.size());
        return;
    }
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    stream.WriteBuffer(bytes.data(), bytes.size());
}

void TLumStringList::LoadFromFile(const std::u16string& path) {
    TLumFileStream file(path, fmOpenRead);
    LoadFromStream(file);
}

void TLumStringList::SaveToFile(const std::u16string& path, TTextEncoding encoding) const {
    TLumFileStream file(path, fmCreate);
    SaveToStream(file, encoding);
}

void TLumStringList::SetCapacity(int capacity) {
    if (capacity < Count()) {
        ListError(LumRtlConsts::SListCapacityError, capacity);
    }
    std::vector<TItem> items;
    items.reserve(static_cast<size_t>(capacity));
    std::move(items_.begin(), items_.end(), std::back_inserter(items));
    items_ = std::move(items);
}
