#include "toolkit/base/LumStringList.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::vector<std::u16string> Items(const TLumStringList& list) {
    std::vector<std::u16string> items;
    for (int i = 0; i < list.Count(); ++i) {
        items.push_back(list.Strings(i));
    }
    return items;
}

using Texts = std::vector<std::u16string>;

void AddAll(TLumStringList& list, std::initializer_list<const char16_t*> texts) {
    for (const char16_t* text : texts) {
        list.Add(text);
    }
}

} // namespace

TEST(StringList, AddsInsertsDeletesAndKeepsObjects) {
    TLumStringList list;
    int one = 1;
    int two = 2;
    EXPECT_EQ(list.Add(u"b"), 0);
    EXPECT_EQ(list.AddObject(u"d", &two), 1);
    list.InsertObject(0, u"a", &one);
    list.Insert(2, u"c");
    EXPECT_EQ(Items(list), (Texts{u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(list.Objects(0), &one);
    EXPECT_EQ(list.Objects(1), nullptr);
    EXPECT_EQ(list.Objects(3), &two);
    EXPECT_EQ(list.IndexOfObject(&two), 3);
    EXPECT_EQ(list.IndexOfObject(&list), -1);

    list.Delete(1);
    list.SetStrings(0, u"A");
    list.SetObjects(1, &two);
    EXPECT_EQ(Items(list), (Texts{u"A", u"c", u"d"}));
    EXPECT_EQ(list.Objects(1), &two);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, ExchangeAndMoveCarryTheObjects) {
    TLumStringList list;
    AddAll(list, {u"a", u"b", u"c", u"d"});
    int marker = 0;
    list.SetObjects(0, &marker);
    list.Move(0, 2);
    EXPECT_EQ(Items(list), (Texts{u"b", u"c", u"a", u"d"}));
    EXPECT_EQ(list.Objects(2), &marker);
    list.Move(3, 1);
    EXPECT_EQ(Items(list), (Texts{u"b", u"d", u"c", u"a"}));
    list.Exchange(0, 3);
    EXPECT_EQ(Items(list), (Texts{u"a", u"d", u"c", u"b"}));
    EXPECT_EQ(list.Objects(0), &marker);
}

TEST(StringList, IndexErrorsNameTheIndex) {
    TLumStringList list;
    AddAll(list, {u"a", u"b", u"c"});
    struct Case {
        const char* what;
        std::function<void()> action;
        const char16_t* message;
    };
    const Case cases[] = {
        {"Strings(-1)", [&] { list.Strings(-1); }, u"List index out of bounds (-1)"},
        {"Strings(3)", [&] { list.Strings(3); }, u"List index out of bounds (3)"},
        {"Objects(5)", [&] { list.Objects(5); }, u"List index out of bounds (5)"},
        {"SetStrings(3)", [&] { list.SetStrings(3, u"x"); }, u"List index out of bounds (3)"},
        {"SetObjects(-2)", [&] { list.SetObjects(-2, nullptr); }, u"List index out of bounds (-2)"},
        {"Delete(3)", [&] { list.Delete(3); }, u"List index out of bounds (3)"},
        {"Insert(4)", [&] { list.Insert(4, u"x"); }, u"List index out of bounds (4)"},
        {"Insert(-1)", [&] { list.Insert(-1, u"x"); }, u"List index out of bounds (-1)"},
        {"Exchange(0, 3)", [&] { list.Exchange(0, 3); }, u"List index out of bounds (3)"},
        {"Move(7, 0)", [&] { list.Move(7, 0); }, u"List index out of bounds (7)"},
        {"Move(0, 3)", [&] { list.Move(0, 3); }, u"List index out of bounds (3)"},
        {"Names(3)", [&] { list.Names(3); }, u"List index out of bounds (3)"},
        {"ValueFromIndex(-1)", [&] { list.ValueFromIndex(-1); }, u"List index out of bounds (-1)"},
        {"SetCapacity(2)", [&] { list.SetCapacity(2); }, u"List capacity out of bounds (2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MessageOf<EStringListError>(c.action), c.message);
    }
    EXPECT_EQ(Items(list), (Texts{u"a", u"b", u"c"}));
}

TEST(StringList, SortedListsAddAtTheirPlace) {
    TLumStringList list;
    AddAll(list, {u"pear", u"Apple", u"banana"});
    list.SetSorted(true);
    EXPECT_EQ(Items(list), (Texts{u"Apple", u"banana", u"pear"}));
    EXPECT_EQ(list.Add(u"cherry"), 2);
    EXPECT_EQ(list.Add(u"aardvark"), 0);
    EXPECT_EQ(Items(list), (Texts{u"aardvark", u"Apple", u"banana", u"cherry", u"pear"}));

    int index = -1;
    EXPECT_TRUE(list.Find(u"BANANA", index));
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(list.Find(u"blueberry", index));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(list.Find(u"zucchini", index));
    EXPECT_EQ(index, 5);
    EXPECT_EQ(list.IndexOf(u"PEAR"), 4);
    EXPECT_EQ(list.IndexOf(u"plum"), -1);
}

TEST(StringList, SortedListsRefuseOperationsThatBreakTheOrder) {
    TLumStringList list;
    AddAll(list, {u"b", u"a"});
    list.SetSorted(true);
    const std::function<void()> actions[] = {
        [&] { list.Insert(0, u"c"); },
        [&] { list.SetStrings(0, u"z"); },
        [&] { list.Exchange(0, 1); },
        [&] { list.Move(0, 1); },
    };
    for (size_t i = 0; i < std::size(actions); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(MessageOf<EStringListError>(actions[i]), u"Operation not allowed on sorted list");
    }
    EXPECT_EQ(Items(list), (Texts{u"a", u"b"}));
}

TEST(StringList, DuplicatesInSortedLists) {
    TLumStringList list;
    list.SetSorted(true);
    AddAll(list, {u"one", u"two"});

    EXPECT_EQ(list.Add(u"ONE"), 0);
    EXPECT_EQ(list.Count(), 2);

    list.SetDuplicates(dupError);
    EXPECT_EQ(MessageOf<EStringListError>([&] { list.Add(u"Two"); }),
              u"String list does not allow duplicates");
    EXPECT_EQ(list.Count(), 2);

    list.SetDuplicates(dupAccept);
    int marker = 0;
    EXPECT_EQ(list.AddObject(u"ONE", &marker), 1);
    EXPECT_EQ(list.Add(u"One"), 2);
    EXPECT_EQ(Items(list), (Texts{u"one", u"ONE", u"One", u"two"}));
    EXPECT_EQ(list.Objects(1), &marker);
    int index = -1;
    EXPECT_TRUE(list.Find(u"oNe", index));
    EXPECT_EQ(index, 0);

    // Unsorted lists take every string.
    TLumStringList unsorted;
    unsorted.SetDuplicates(dupError);
    AddAll(unsorted, {u"x", u"x"});
    EXPECT_EQ(unsorted.Count(), 2);
}

TEST(StringList, CaseSensitivity) {
    TLumStringList list;
    AddAll(list, {u"Caf\u00e9", u"\u0416\u0443\u043a", u"\u03a3\u03bf\u03c6\u03af\u03b1"});
    EXPECT_EQ(list.IndexOf(u"CAF\u00c9"), 0);
    EXPECT_EQ(list.IndexOf(u"\u0436\u0423\u041a"), 1);
    EXPECT_EQ(list.IndexOf(u"\u03c3\u039f\u03a6\u038a\u0391"), 2);
    EXPECT_EQ(list.IndexOf(u"Cafe"), -1); // the accent is no matter of case

    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf(u"CAF\u00c9"), -1);
    EXPECT_EQ(list.IndexOf(u"Caf\u00e9"), 0);

    EXPECT_EQ(LumCompareStrings(u"abc", u"ABC", false), 0);
    EXPECT_LT(LumCompareStrings(u"abc", u"ABD", false), 0);
    EXPECT_GT(LumCompareStrings(u"abcd", u"ABC", false), 0);
    EXPECT_NE(LumCompareStrings(u"abc", u"ABC", true), 0);
}

TEST(StringList, CaseSensitiveSortingPutsLowerCaseFirst) {
    TLumStringList list;
    AddAll(list, {u"B", u"b", u"A", u"a"});
    list.SetCaseSensitive(true);
    list.Sort();
    EXPECT_EQ(Items(list), (Texts{u"a", u"A", u"b", u"B"}));

    // Without case the sort is stable: equal texts keep their order.
    TLumStringList insensitive;
    AddAll(insensitive, {u"B", u"b", u"A", u"a"});
    insensitive.SetSorted(true);
    EXPECT_EQ(Items(insensitive), (Texts{u"A", u"a", u"B", u"b"}));
    insensitive.SetCaseSensitive(true);
    EXPECT_EQ(Items(insensitive), (Texts{u"a", u"A", u"b", u"B"}));
}

TEST(StringList, CustomSortUsesTheGivenOrder) {
    TLumStringList list;
    AddAll(list, {u"ccc", u"a", u"bb", u"dd"});
    list.CustomSort([](const TLumStringList& l, int i, int j) {
        return static_cast<int>(l.Strings(j).size()) - static_cast<int>(l.Strings(i).size());
    });
    EXPECT_EQ(Items(list), (Texts{u"ccc", u"bb", u"dd", u"a"}));

    list.SetSorted(true);
    list.CustomSort([](const TLumStringList&, int i, int j) { return j - i; });
    EXPECT_EQ(Items(list), (Texts{u"a", u"bb", u"ccc", u"dd"}));
}

TEST(StringList, TextJoinsWithCrLfAndSplitsAtEveryLineBreak) {
    struct Case {
        const char16_t* text;
        Texts items;
    };
    const Case cases[] = {
        {u"", {}},
        {u"a", {u"a"}},
        {u"a\r\n", {u"a"}},
        {u"\r\n", {u""}},
        {u"a\r\n\r\n", {u"a", u""}},
        {u"a\nb\r\nc\rd", {u"a", u"b", u"c", u"d"}},
        {u"a\r\rb\n\n", {u"a", u"", u"b", u""}},
        {u"\n\rx", {u"", u"", u"x"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        TLumStringList list;
        list.SetText(c.text);
        EXPECT_EQ(Items(list), c.items);
    }
    TLumStringList list;
    AddAll(list, {u"one", u"", u"three"});
    EXPECT_EQ(list.Text(), u"one\r\n\r\nthree\r\n");
}

TEST(StringList, CommaTextQuotesWhatWouldNotSurvive) {
    TLumStringList list;
    AddAll(list, {u"a", u"b c", u"", u"x\"y", u"d,e", u"tab\tin"});
    EXPECT_EQ(list.CommaText(), u"a,\"b c\",\"\",\"x\"\"y\",\"d,e\",\"tab\tin\"");
    TLumStringList back;
    back.SetCommaText(list.CommaText());
    EXPECT_EQ(Items(back), Items(list));

    struct Case {
        const char16_t* text;
        Texts items;
    };
    const Case cases[] = {
        {u"", {}},
        {u"  ", {}},
        {u"a b, c ,\"d e\"", {u"a", u"b", u"c", u"d e"}},
        {u"a,,b", {u"a", u"", u"b"}},
        {u"\"\"", {u""}},
        {u"\"open", {u"open"}},
        {u"x\"y", {u"x\"y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        TLumStringList parsed;
        parsed.SetCommaText(c.text);
        EXPECT_EQ(Items(parsed), c.items);
    }
}

TEST(StringList, NamesAndValues) {
    TLumStringList list;
    AddAll(list, {u"Name=Value", u"Empty=", u"NoEquals", u"x=1=2"});
    const char16_t* names[] = {u"Name", u"Empty", u"", u"x"};
    const char16_t* values[] = {u"Value", u"", u"", u"1=2"};
    for (int i = 0; i < list.Count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list.Names(i), names[i]);
        EXPECT_EQ(list.ValueFromIndex(i), values[i]);
    }
    EXPECT_EQ(list.Values(u"NAME"), u"Value");
    EXPECT_EQ(list.Values(u"NoEquals"), u"");
    EXPECT_EQ(list.IndexOfName(u"X"), 3);
    EXPECT_EQ(list.IndexOfName(u"NoEquals"), -1);

    list.SetValues(u"x", u"9");
    list.SetValues(u"New", u"v");
    list.SetValues(u"name", u"");
    EXPECT_EQ(Items(list), (Texts{u"Empty=", u"NoEquals", u"x=9", u"New=v"}));
    list.SetValues(u"absent", u"");
    EXPECT_EQ(list.Count(), 4);
}

TEST(StringList, ValuesOfASortedListKeepTheOrder) {
    TLumStringList list;
    list.SetSorted(true);
    int marker = 0;
    list.AddObject(u"b=1", &marker);
    list.Add(u"c=2");
    list.SetValues(u"a", u"0");
    list.SetValues(u"b", u"5");
    EXPECT_EQ(Items(list), (Texts{u"a=0", u"b=5", u"c=2"}));
    EXPECT_EQ(list.Objects(1), &marker);
}

TEST(StringList, NotifiesChangesOutsideUpdates) {
    TLumStringList list;
    std::vector<std::string> events;
    list.OnChanging = [&](TLumStringList& sender) {
        EXPECT_EQ(&sender, &list);
        events.push_back("changing " + std::to_string(sender.Count()));
    };
    list.OnChange = [&](TLumStringList& sender) {
        events.push_back("change " + std::to_string(sender.Count()));
    };

    list.Add(u"a");
    EXPECT_EQ(events, (std::vector<std::string>{"changing 0", "change 1"}));

    events.clear();
    list.BeginUpdate();
    list.BeginUpdate();
    list.Add(u"b");
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(list.UpdateCount(), 1);
    list.EndUpdate();
    EXPECT_EQ(events, (std::vector<std::string>{"changing 1", "change 1"}));

    events.clear();
    list.EndUpdate();
    EXPECT_EQ(list.UpdateCount(), 0);
    list.SetText(u"x\r\ny\r\nz");
    EXPECT_EQ(events, (std::vector<std::string>{"changing 1", "change 3"}));

    events.clear();
    list.Clear();
    list.Clear();
    EXPECT_EQ(events, (std::vector<std::string>{"changing 3", "change 0"}));

    // A failed operation changes nothing and tells nobody.
    events.clear();
    EXPECT_THROW(list.Delete(0), EStringListError);
    EXPECT_TRUE(events.empty());
}

// An operation that fails part way leaves the list out of its update, and the listeners hear
// of what it changed; one that fails while hearing of it does not hide the first failure.
TEST(StringList, FailurePartWayEndsTheUpdate) {
    TLumStringList list;
    list.SetSorted(true);
    list.SetDuplicates(dupError);
    std::vector<std::string> events;
    list.OnChange = [&](TLumStringList& sender) {
        events.push_back("change " + std::to_string(sender.Count()));
    };
    EXPECT_THROW(list.SetText(u"b\r\na\r\nb"), EStringListError);
    EXPECT_EQ(list.UpdateCount(), 0);
    EXPECT_EQ(Items(list), (Texts{u"a", u"b"}));
    EXPECT_EQ(events, (std::vector<std::string>{"change 2"}));

    list.OnChange = [](TLumStringList&) { throw ELumGeneralError(u"listener failed"); };
    EXPECT_THROW(list.SetCommaText(u"c,c"), EStringListError);
    EXPECT_EQ(list.UpdateCount(), 0);
}

TEST(StringList, AssignAndAddStrings) {
    TLumStringList source;
    int marker = 0;
    source.AddObject(u"b", &marker);
    source.Add(u"a");
    TLumStringList target;
    target.Add(u"old");
    target.Assign(source);
    EXPECT_EQ(Items(target), (Texts{u"b", u"a"}));
    EXPECT_EQ(target.Objects(0), &marker);
    target.Assign(target);
    EXPECT_EQ(Items(target), (Texts{u"b", u"a"}));

    target.AddStrings(target);
    EXPECT_EQ(Items(target), (Texts{u"b", u"a", u"b", u"a"}));

    TLumStringList sorted;
    sorted.SetSorted(true);
    sorted.AddStrings(target);
    EXPECT_EQ(Items(sorted), (Texts{u"a", u"b"}));
}

TEST(StringList, CapacityReservesRoom) {
    TLumStringList list;
    list.SetCapacity(10);
    EXPECT_EQ(list.Capacity(), 10);
    AddAll(list, {u"a", u"b"});
    list.SetCapacity(2);
    EXPECT_EQ(list.Capacity(), 2);
    EXPECT_EQ(Items(list), (Texts{u"a", u"b"}));
}

TEST(StringList, SavesAnsiAndUtf16) {
    TLumStringList list;
    AddAll(list, {u"caf\u00e9", u"\u20ac"});
    TLumMemoryStream ansi;
    list.SaveToStream(ansi);
    EXPECT_EQ(ansi.Bytes(), "caf\xE9\r\n\x80\r\n");

    TLumMemoryStream wide;
    list.SaveToStream(wide, teUnicode);
    EXPECT_EQ(wide.Bytes(), std::string("\xFF\xFE"
                                        "c\0a\0f\0\xE9\0\r\0\n\0\xAC\x20\r\0\n\0",
                                        20));
}

TEST(StringList, LoadingDetectsTheByteOrderMark) {
    struct Case {
        const char* what;
        std::string bytes;
        Texts items;
    };
    const Case cases[] = {
        {"ANSI", "caf\xE9\r\n\x80", {u"caf\u00e9", u"\u20ac"}},
        {"UTF-16LE", std::string("\xFF\xFEz\0\x16\x04\n\0y\0", 10), {u"z\u0416", u"y"}},
        {"UTF-16BE", std::string("\xFE\xFF\0z\x04\x16", 6), {u"z\u0416"}},
        {"UTF-16LE odd", std::string("\xFF\xFEz\0!", 5), {u"z\uFFFD"}},
        {"UTF-8", "\xEF\xBB\xBFz\xD0\x96\r\nx", {u"z\u0416", u"x"}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TLumMemoryStream stream(c.bytes);
        TLumStringList list;
        list.Add(u"old");
        list.LoadFromStream(stream);
        EXPECT_EQ(Items(list), c.items);
    }
}

TEST(StringList, LoadFromStreamReadsTheRestOfTheStream) {
    TLumMemoryStream stream("skip\r\nthese\r\nlines");
    stream.SetPosition(6);
    TLumStringList list;
    list.LoadFromStream(stream);
    EXPECT_EQ(Items(list), (Texts{u"these", u"lines"}));
}

// A stream that says how big it is without holding the bytes, and counts what is read.
class TSizedStream : public TLumStream {
  public:
    TSizedStream(std::int64_t size, std::int64_t position) : size_(size), position_(position) {}
    size_t Read(void*, size_t count) override {
        read_ += count;
        return 0;
    }
    size_t Write(const void*, size_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        position_ = (origin == soBeginning ? 0 : origin == soEnd ? size_ : position_) + offset;
        return position_;
    }
    void SetSize(std::int64_t size) override { size_ = size; }
    size_t BytesRead() const { return read_; }

  private:
    std::int64_t size_;
    std::int64_t position_;
    size_t read_ = 0;
};

TEST(StringList, StreamsBeyondTheLimitAreRefusedUntouched) {
    // 4 GB and a little: a 32-bit size would make that a few bytes.
    const std::int64_t sizes[] = {kStringListMaxStreamSize + 1, std::int64_t{1} << 32,
                                  (std::int64_t{1} << 32) + 5};
    for (std::int64_t size : sizes) {
        SCOPED_TRACE(size);
        TSizedStream stream(size + 10, 10);
        TLumStringList list;
        list.Add(u"kept");
        EXPECT_EQ(MessageOf<EStringListError>([&] { list.LoadFromStream(stream); }),
                  u"Stream of " + AsciiToWide(std::to_string(size)) +
                      u" bytes is too large for a string list");
        EXPECT_EQ(stream.BytesRead(), 0u);
        EXPECT_EQ(Items(list), Texts{u"kept"});
    }
    // What lies before the position does not count: ten bytes are asked for (this stream has
    // none to give).
    TSizedStream tail(kStringListMaxStreamSize + 100, kStringListMaxStreamSize + 90);
    TLumStringList list;
    EXPECT_THROW(list.LoadFromStream(tail), EReadError);
    EXPECT_EQ(tail.BytesRead(), 10u);
}

TEST(StringList, FilesRoundTripInBothEncodings) {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "lumstringlist-files";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::u16string path = (folder / "list.txt").u16string();

    TLumStringList list;
    AddAll(list, {u"\u0416\u0443\u043a", u"", u"end"});
    list.SaveToFile(path, teUnicode);
    TLumStringList loaded;
    loaded.LoadFromFile(path);
    EXPECT_EQ(Items(loaded), Items(list));

    list.SaveToFile(path);
    loaded.LoadFromFile(path);
    EXPECT_EQ(Items(loaded), (Texts{u"???", u"", u"end"}));
    EXPECT_EQ(std::filesystem::file_size(folder / "list.txt"), 12u);

    std::u16string missing = (folder / "missing.txt").u16string();
    EXPECT_EQ(MessageOf<EFOpenError>([&] { loaded.LoadFromFile(missing); }),
              u"Cannot open file " + missing);
    std::filesystem::remove_all(folder);
}
