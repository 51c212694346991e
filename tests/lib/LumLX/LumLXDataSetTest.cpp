#include "lib/LumLX/LumLXDataSet.h"

#include "lib/LumLX/LumLXVarArrayDataSet.h"
#include "tests/lib/LumLX/LumLXDataSetTestTable.h"
#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::u16string& text) {
    return WideToUtf8(text);
}

TTestTableOwned OpenTable(std::initializer_list<std::pair<const char16_t*, int>> rows) {
    TTestTableOwned table = MakeTable();
    table->Open();
    AddRows(*table, rows);
    return table;
}

TLumVariant Pair(const char16_t* name, int qty) {
    TLumVariant key = VarArrayCreate(0, 1);
    key.PutElement(0, TLumVariant(name));
    key.PutElement(1, TLumVariant(qty));
    return key;
}

} // namespace

// ---- Opening and closing

TEST(LumDataSet, OpensWithFieldsFromTheDefinitionsAndDiscardsItsRowsWhenClosed) {
    TTestTableOwned table = MakeTable();
    table->Open();
    ASSERT_EQ(table->FieldCount(), 3);
    EXPECT_TRUE(table->DefaultFields());
    // Wide text gets the Unicode field class.
    EXPECT_EQ(table->Fields(0)->ClassName(), "TLumWideStringField");
    EXPECT_EQ(table->Fields(1)->ClassName(), "TIntegerField");
    EXPECT_EQ(table->Fields(2)->FieldNo(), 3);
    EXPECT_EQ(table->RecordSize(), 3 * 16 + 8);
    EXPECT_EQ(table->BookmarkSize(), static_cast<int>(sizeof(void*)));
    AddRows(*table, {{u"A", 1}, {u"B", 2}});
    EXPECT_EQ(table->RecordCount(), 2);

    table->Close();
    EXPECT_EQ(table->FieldCount(), 0);
    EXPECT_EQ(table->RecordCount(), 0);
    table->Open();
    EXPECT_EQ(table->RecordCount(), 0);
    EXPECT_TRUE(table->Bof());
    EXPECT_TRUE(table->Eof());
}

TEST(LumDataSet, FieldCountOutsideOneTo4095IsAnAssertionAtOpen) {
    TTestTableOwned none(new TTestTable());
    ExpectRaises<EAssertionFailed>(
        [&] { none->Open(); }, "EAssertionFailed",
        u"TLumDataSet.InternalOpen: FieldCount must be greater than zero. "
        u"(LumLX\\LumLXDataSet, line 603)");
    EXPECT_FALSE(none->Active());

    TTestTableOwned wide(new TTestTable());
    for (int i = 0; i < 4095; ++i) {
        wide->FieldDefs().Add(u"F" + AsciiToWide(std::to_string(i)), ftInteger);
    }
    wide->Open();
    EXPECT_EQ(wide->RecordSize(), 65528);
    wide->Close();
    wide->FieldDefs().Add(u"F4095", ftInteger);
    ExpectRaises<EAssertionFailed>([&] { wide->Open(); }, "EAssertionFailed",
                                   u"TLumDataSet.InternalOpen: FieldCount exceeds limits. "
                                   u"(LumLX\\LumLXDataSet, line 602)");
    EXPECT_FALSE(wide->Active());
    EXPECT_EQ(wide->FieldCount(), 0);
}

// ---- Browsing

TEST(LumDataSet, AnEmptySetIsAtBothEndsWhateverItIsAskedFor) {
    TTestTableOwned table = OpenTable({});
    EXPECT_TRUE(table->Bof());
    EXPECT_TRUE(table->Eof());
    EXPECT_TRUE(table->IsEmpty());
    table->Next();
    table->Prior();
    table->Last();
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(table->Cursor(), -1);
    EXPECT_EQ(table->RecNo(), 0);
    EXPECT_TRUE(table->FieldByName(u"Name")->IsNull());
}

TEST(LumDataSet, BrowsesForwardAndBackWithEofAndBofAtTheEnds) {
    TTestTableOwned table = OpenTable({{u"A", 1}, {u"B", 2}, {u"C", 3}});
    table->First();
    EXPECT_TRUE(table->Bof());
    EXPECT_FALSE(table->Eof());
    EXPECT_EQ(Utf8(Current(*table)), "A");
    table->Next();
    table->Next();
    EXPECT_EQ(Utf8(Current(*table)), "C");
    EXPECT_FALSE(table->Eof());
    table->Next();
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(Utf8(Current(*table)), "C");
    table->Prior();
    EXPECT_EQ(Utf8(Current(*table)), "B");
    EXPECT_EQ(table->RecNo(), 2);
    EXPECT_EQ(table->MoveBy(-5), -1);
    EXPECT_TRUE(table->Bof());
    table->Last();
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(table->RecNo(), 3);

    table->SetRecNo(2);
    EXPECT_EQ(Utf8(Current(*table)), "B");
    // Numbers beyond the rows are taken to the nearest row.
    table->SetRecNo(99);
    EXPECT_EQ(Utf8(Current(*table)), "C");
    table->SetRecNo(0);
    EXPECT_EQ(Utf8(Current(*table)), "A");
}

// ---- Editing

TEST(LumDataSet, InsertPutsTheRowBeforeTheCurrentOneAndAppendAtTheEnd) {
    TTestTableOwned table = OpenTable({});
    table->Insert();
    table->FieldByName(u"Name")->SetAsWideString(u"first");
    table->Post();
    EXPECT_EQ(table->Cursor(), 0);
    AddRows(*table, {{u"B", 2}, {u"C", 3}});
    table->First();
    table->Next();
    table->Insert();
    table->FieldByName(u"Name")->SetAsWideString(u"X");
    table->Post();
    EXPECT_EQ(Utf8(Current(*table)), "X");
    EXPECT_EQ(table->RecNo(), 2);
    table->Append();
    table->FieldByName(u"Name")->SetAsWideString(u"Z");
    table->Post();
    EXPECT_EQ(table->RecNo(), 5);
    EXPECT_EQ(Utf8(Names(*table)), "first X B C Z");

    // Unsorted rows come back in storage order when the list is built again.
    table->Refresh();
    EXPECT_EQ(Utf8(Names(*table)), "first B C X Z");
}

TEST(LumDataSet, EditPostAndCancelKeepTheRowWhereItIs) {
    TTestTableOwned table = OpenTable({{u"A", 1}, {u"B", 2}, {u"C", 3}});
    table->First();
    table->Next();
    table->Edit();
    table->FieldByName(u"Qty")->SetAsInteger(20);
    table->Post();
    EXPECT_EQ(table->RecNo(), 2);
    EXPECT_EQ(table->FieldByName(u"Qty")->AsInteger(), 20);

    table->Edit();
    table->FieldByName(u"Qty")->SetAsInteger(99);
    table->Cancel();
    EXPECT_EQ(table->FieldByName(u"Qty")->AsInteger(), 20);
    EXPECT_EQ(table->RecNo(), 2);

    table->Insert();
    table->FieldByName(u"Name")->SetAsWideString(u"X");
    table->Cancel();
    EXPECT_EQ(Utf8(Current(*table)), "B");
    EXPECT_EQ(table->RecordCount(), 3);
}

TEST(LumDataSet, DeleteKeepsTheIndexSoTheNextRowBecomesCurrent) {
    TTestTableOwned table = OpenTable({{u"A", 1}, {u"B", 2}, {u"C", 3}});
    table->First();
    table->Next();
    table->Delete();
    EXPECT_EQ(Utf8(Current(*table)), "C");
    table->Delete();
    EXPECT_EQ(Utf8(Current(*table)), "A");
    table->Delete();
    EXPECT_TRUE(table->IsEmpty());
    EXPECT_EQ(table->Cursor(), -1);

    ExpectRaises<EDatabaseError>([&] { table->Delete(); }, "EDatabaseError",
                                 u"Internal Error: SnapRecordPosition() required a record count.");
    table->Edit();
    ExpectRaises<EDatabaseError>([&] { table->Post(); }, "EDatabaseError",
                                 u"Internal Error: SnapRecordPosition() required a record count.");
}

// ---- Sorting

TEST(LumDataSet, SortsWithoutRegardToCaseAndPostsNewRowsIntoTheirPlace) {
    TTestTableOwned table = OpenTable({{u"b", 1}, {u"A", 2}, {u"c", 3}});
    table->SetSort(u"Name");
    EXPECT_EQ(Utf8(Names(*table)), "A b c");

    table->Insert();
    table->FieldByName(u"Name")->SetAsWideString(u"B");
    table->Post();
    EXPECT_EQ(Utf8(Current(*table)), "B");
    EXPECT_EQ(table->RecNo(), 2);
    EXPECT_EQ(Utf8(Names(*table)), "A B b c");

    // An edited key moves the row.
    table->First();
    table->Edit();
    table->FieldByName(u"Name")->SetAsWideString(u"z");
    table->Post();
    EXPECT_EQ(Utf8(Current(*table)), "z");
    EXPECT_EQ(table->RecNo(), 4);

    // Searches on the sort field find the rows where posts and deletes left them.
    table->ValueReads = 0;
    ASSERT_TRUE(table->Locate(u"Name", TLumVariant(u"Z"), {loCaseInsensitive}));
    EXPECT_EQ(table->RecNo(), 4);
    // Where case counts: the row in that case, though one in another case comes first.
    ASSERT_TRUE(table->Locate(u"Name", TLumVariant(u"b"), {}));
    EXPECT_EQ(table->RecNo(), 2);
    table->Delete();
    ASSERT_TRUE(table->Locate(u"Name", TLumVariant(u"c"), {}));
    EXPECT_EQ(table->RecNo(), 2);
    EXPECT_FALSE(table->Locate(u"Name", TLumVariant(u"b"), {}));
    EXPECT_FALSE(table->Locate(u"Name", TLumVariant(u"A"), {}));

    // A row changed behind the data set's back takes its place at the next refresh.
    table->StoreValue(0, 0, TLumVariant(u"y"));
    table->Refresh();
    EXPECT_EQ(Utf8(Names(*table)), "c y z");
    ASSERT_TRUE(table->Locate(u"Name", TLumVariant(u"Y"), {loCaseInsensitive}));
    EXPECT_EQ(table->RecNo(), 2);
}

TEST(LumDataSet, AnEditedRowStaysBetweenItsNeighboursOrGoesBeforeItsEquals) {
    TTestTableOwned table = OpenTable({{u"a", 1}, {u"b", 2}, {u"B", 3}, {u"c", 4}});
    table->SetSort(u"Name");
    // A new key that still sorts between the neighbours: the row stays, found by its new key.
    table->Last();
    table->Edit();
    table->FieldByName(u"Name")->SetAsWideString(u"d");
    table->Post();
    EXPECT_EQ(table->RecNo(), 4);
    table->First();
    ASSERT_TRUE(table->Locate(u"Name", TLumVariant(u"D"), {loCaseInsensitive}));
    EXPECT_EQ(table->RecNo(), 4);
    EXPECT_FALSE(table->Locate(u"Name", TLumVariant(u"c"), {loCaseInsensitive}));

    // The second of two rows equal without regard to case goes before the first when posted.
    table->SetRecNo(3);
    std::u16string second = table->FieldByName(u"Name")->AsWideString();
    table->Edit();
    table->FieldByName(u"Qty")->SetAsInteger(30);
    table->Post();
    EXPECT_EQ(table->RecNo(), 2);
    EXPECT_EQ(table->FieldByName(u"Name")->AsWideString(), second);
    EXPECT_EQ(table->RecordCount(), 4);
}

TEST(LumDataSet, SortsOnTwoFieldsWithTiesOnTheFirst) {
    TTestTableOwned table = OpenTable({{u"x", 2}, {u"X", 1}, {u"a", 5}, {u"x", 0}});
    table->SetSort(u"Name; Qty");
    std::vector<int> qty;
    for (const TLumVariant& value : table->ListedValues(1)) {
        qty.push_back(value.AsInteger());
    }
    EXPECT_EQ(qty, (std::vector<int>{5, 0, 1, 2}));
}

TEST(LumDataSet, ASortFieldThatDoesNotExistIsRaisedAndTheSortCleared) {
    TTestTableOwned table = OpenTable({{u"b", 1}, {u"a", 2}});
    ExpectRaises<EDatabaseError>([&] { table->SetSort(u"Name;Nope"); }, "EDatabaseError",
                                 u"No field named 'Nope'");
    EXPECT_TRUE(table->Sort().empty());
    EXPECT_EQ(Utf8(Names(*table)), "b a");
}

// A sort that rebuilt the list under a row being edited used to post its values into whatever
// row then stood at the cursor; the edit is posted first.
TEST(LumDataSet, ChangingTheSortWhileEditingPostsTheEditFirst) {
    TTestTableOwned table = OpenTable({{u"c", 1}, {u"a", 2}, {u"b", 3}});
    table->First();
    table->Edit();
    table->FieldByName(u"Qty")->SetAsInteger(10);
    table->SetSort(u"Name");
    EXPECT_EQ(table->State(), dsBrowse);
    std::vector<int> qty;
    for (const TLumVariant& value : table->ListedValues(1)) {
        qty.push_back(value.AsInteger());
    }
    EXPECT_EQ(qty, (std::vector<int>{2, 3, 10}));
    EXPECT_EQ(Utf8(Current(*table)), "c");
}

// ---- Finding rows

TEST(LumDataSet, QuickFindBisectsTheSortedRows) {
    TTestTableOwned table = OpenTable({{u"b", 1}, {u"d", 2}, {u"b", 3}, {u"f", 4}, {u"B", 5}});
    int index = -1;
    ExpectRaises<EAssertionFailed>(
        [&] { table->QuickFind(TLumVariant(u"b"), index, {}, true); }, "EAssertionFailed",
        u"QuickFind requires Sort fields. (LumLX\\LumLXDataSet, line 681)");
    table->SetSort(u"Name");
    EXPECT_TRUE(table->QuickFind(TLumVariant(u"B"), index, {loCaseInsensitive}, true));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(table->QuickFind(TLumVariant(u"B"), index, {loCaseInsensitive}, false));
    EXPECT_LE(index, 2);
    EXPECT_TRUE(Utf8(table->ListedValues(0)[static_cast<size_t>(index)].AsWideString()) == "b" ||
                Utf8(table->ListedValues(0)[static_cast<size_t>(index)].AsWideString()) == "B");
    // Not there: where it would go.
    EXPECT_FALSE(table->QuickFind(TLumVariant(u"e"), index, {loCaseInsensitive}, true));
    EXPECT_EQ(index, 4);
    EXPECT_FALSE(table->QuickFind(TLumVariant(u"z"), index, {loCaseInsensitive}, true));
    EXPECT_EQ(index, 5);
}

TEST(LumDataSet, LocateBisectsOnTheSortFieldsAndScansOtherwise) {
    TTestTableOwned table = MakeTable();
    table->Open();
    for (int i = 0; i < 1000; ++i) {
        TLumVariant values[] = {TLumVariant(u"Key" + AsciiToWide(std::to_string(1000 + i))),
                                TLumVariant(i % 7)};
        table->AppendRecord(values);
    }
    table->SetSort(u"Name");

    table->ValueReads = 0;
    EXPECT_TRUE(table->Locate(u"name", TLumVariant(u"KEY1500"), {loCaseInsensitive}));
    EXPECT_EQ(table->RecNo(), 501);
    // About log2(1000) reads for the search, three per row for the buffer it lands in.
    EXPECT_LT(table->ValueReads, 40);

    EXPECT_TRUE(table->Locate(u"Name", TLumVariant(u"key17"), {loCaseInsensitive, loPartialKey}));
    EXPECT_EQ(Utf8(Current(*table)), "Key1700");
    // Without options the case counts.
    EXPECT_FALSE(table->Locate(u"Name", TLumVariant(u"key1500"), {}));
    EXPECT_EQ(Utf8(Current(*table)), "Key1700");

    table->ValueReads = 0;
    EXPECT_TRUE(table->Locate(u"Qty", TLumVariant(3), {}));
    EXPECT_EQ(Utf8(Current(*table)), "Key1003");
    EXPECT_GT(table->ValueReads, 3);
    EXPECT_FALSE(table->Locate(u"Qty", TLumVariant(9), {}));
    EXPECT_FALSE(table->Locate(u"Nope", TLumVariant(3), {}));
    EXPECT_EQ(Utf8(Current(*table)), "Key1003");
}

// Several key fields keep the caller's options: the case does not count for either.
TEST(LumDataSet, LocateOnSeveralFieldsKeepsTheOptions) {
    TTestTableOwned table = OpenTable({{u"Ab", 1}, {u"ab", 2}, {u"AB", 2}});
    EXPECT_TRUE(table->Locate(u"Name;Qty", Pair(u"aB", 2), {loCaseInsensitive}));
    EXPECT_EQ(table->RecNo(), 2);
    EXPECT_TRUE(table->Locate(u"Name;Qty", Pair(u"AB", 2), {}));
    EXPECT_EQ(table->RecNo(), 3);
    EXPECT_FALSE(table->Locate(u"Name;Qty", TLumVariant(u"AB"), {}));

    table->SetSort(u"Name;Qty");
    EXPECT_TRUE(table->Locate(u"Name;Qty", Pair(u"aB", 2), {loCaseInsensitive}));
    EXPECT_EQ(table->FieldByName(u"Qty")->AsInteger(), 2);
}

TEST(LumDataSet, LookupAnswersTheResultFieldsWithoutMoving) {
    TTestTableOwned table = OpenTable({{u"A", 1}, {u"B", 2}, {u"C", 3}});
    table->First();
    EXPECT_EQ(table->Lookup(u"Name", TLumVariant(u"B"), u"Qty").AsInteger(), 2);
    TLumVariant both = table->Lookup(u"Qty", TLumVariant(3), u"Name;Qty");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(Utf8(both.GetElement(0).AsWideString()), "C");
    EXPECT_TRUE(table->Lookup(u"Name", TLumVariant(u"b"), u"Qty").IsNull());
    EXPECT_TRUE(table->Lookup(u"Nope", TLumVariant(u"B"), u"Qty").IsNull());
    EXPECT_EQ(Utf8(Current(*table)), "A");
}

// ---- Filtering

TEST(LumDataSet, FiltersByTheEventAndHidesRowsTheHandlerLeavesAlone) {
    TTestTableOwned table = OpenTable({{u"A", 1}, {u"B", 2}, {u"C", 3}, {u"D", 4}});
    int calls = 0;
    table->SetOnFilterRecord(TFilterRecordEvent([&](TDataSet* dataSet, bool& accept) {
        ++calls;
        if (dataSet->FieldByName(u"Qty")->AsInteger() % 2 == 0) {
            accept = true;
        }
    }));
    EXPECT_EQ(calls, 0);
    table->SetFiltered(true);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(Utf8(Names(*table)), "B D");
    EXPECT_EQ(table->RecordCount(), 2);

    // Other options filter again, the same ones do not.
    table->SetFilterOptions({foCaseInsensitive});
    EXPECT_EQ(calls, 8);
    table->SetFilterOptions({foCaseInsensitive});
    EXPECT_EQ(calls, 8);

    table->SetOnFilterRecord(TFilterRecordEvent([](TDataSet*, bool&) {}));
    EXPECT_TRUE(table->IsEmpty());
    table->SetFiltered(false);
    EXPECT_EQ(Utf8(Names(*table)), "A B C D");
}

TEST(LumDataSet, AFilterTextWithoutHandlerIsRaisedWhenTheRowsAreFiltered) {
    TTestTableOwned table = OpenTable({{u"A", 1}});
    table->SetFilterText(u"Qty > 1");
    ExpectRaises<ELumGeneralError>([&] { table->SetFiltered(true); }, "ELumGeneralError",
                                   u"TLumDataSet.Filter property is not supported yet.");
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->State(), dsBrowse);
    // A handler takes precedence over the text.
    table->SetOnFilterRecord(TFilterRecordEvent([](TDataSet*, bool& accept) { accept = true; }));
    EXPECT_EQ(table->RecordCount(), 1);
}

// ---- Bookmarks

TEST(LumDataSet, BookmarksFollowTheirRowAcrossSortAndFilterChanges) {
    TTestTableOwned table = OpenTable({{u"c", 1}, {u"a", 2}, {u"b", 3}});
    table->First();
    TBookmark c = table->GetBookmark();
    ASSERT_EQ(c.size(), sizeof(void*));
    table->SetSort(u"Name");
    table->First();
    table->GotoBookmark(c);
    EXPECT_EQ(Utf8(Current(*table)), "c");
    EXPECT_EQ(table->RecNo(), 3);

    table->SetOnFilterRecord(TFilterRecordEvent([](TDataSet* dataSet, bool& accept) {
        accept = dataSet->FieldByName(u"Qty")->AsInteger() > 1;
    }));
    table->SetFiltered(true);
    EXPECT_FALSE(table->BookmarkValid(c));
    ExpectRaises<EDatabaseError>([&] { table->GotoBookmark(c); }, "EDatabaseError",
                                 u"Bookmark not found.");
    table->SetFiltered(false);
    EXPECT_TRUE(table->BookmarkValid(c));
    EXPECT_FALSE(table->BookmarkValid(TBookmark{1, 2}));
}

TEST(LumDataSet, ComparesBookmarksByTheirRowsPositions) {
    TTestTableOwned table =
        OpenTable({{u"A", 1}, {u"B", 2}, {u"C", 3}, {u"D", 4}, {u"E", 5}, {u"F", 6}});
    table->SetRecNo(3);
    TBookmark third = table->GetBookmark();
    table->SetRecNo(6);
    TBookmark sixth = table->GetBookmark();
    EXPECT_EQ(table->CompareBookmarks(third, sixth), -1);
    EXPECT_EQ(table->CompareBookmarks(sixth, third), 1);
    EXPECT_EQ(table->CompareBookmarks(third, third), 0);
    // Bookmarks that name no listed row stand before all others.
    EXPECT_EQ(table->CompareBookmarks(TBookmark{}, third), -1);
    table->Delete();
    EXPECT_EQ(table->CompareBookmarks(sixth, third), -1);
}

// A deleted row's handle is not given to a new row, so its bookmark stays dead.
TEST(LumDataSet, ABookmarkOfADeletedRowFindsNothingAfterNewRowsCame) {
    TTestTableOwned table = OpenTable({{u"A", 1}, {u"B", 2}});
    table->Last();
    TBookmark gone = table->GetBookmark();
    table->Delete();
    for (int i = 0; i < 200; ++i) {
        AddRows(*table, {{u"N", i}});
    }
    EXPECT_FALSE(table->BookmarkValid(gone));
    ExpectRaises<EDatabaseError>([&] { table->GotoBookmark(gone); }, "EDatabaseError",
                                 u"Bookmark not found.");
    EXPECT_EQ(table->CompareBookmarks(gone, table->GetBookmark()), -1);
}

// ---- Failures the framework reaches the data set with

TEST(LumDataSet, TheCurrentRowOutsideTheRowsIsAnInternalError) {
    TTestTableOwned table = OpenTable({{u"A", 1}});
    table->InternalFirst();
    ExpectRaises<EDatabaseError>(
        [&] { table->Resync({rmExact}); }, "EDatabaseError",
        u"Internal Error: TLumDataSet.InternalGetRecord has no current record.");
    table->Resync({});
    EXPECT_EQ(Utf8(Current(*table)), "A");
}

TEST(LumDataSet, AFieldTypeWithoutNativeBufferIsAnInternalError) {
    TTestTableOwned table(new TTestTable());
    table->FieldDefs().Add(u"Any", ftVariant);
    table->Open();
    table->Append();
    ExpectRaises<EDatabaseError>(
        [&] { table->Fields(0)->SetAsVariant(TLumVariant(1)); }, "EDatabaseError",
        u"Internal Error: BufferToVar() encountered unexpected field type.");
    // Null needs no buffer.
    table->Fields(0)->Clear();
    table->Post();
    EXPECT_TRUE(table->Fields(0)->IsNull());

    table->StoreValue(0, 0, TLumVariant(1));
    table->Resync({});
    ExpectRaises<EDatabaseError>(
        [&] { table->Fields(0)->AsVariant(); }, "EDatabaseError",
        u"Internal Error: VarToBuffer() encountered unexpected field type.");
}

// A stored value a 16-bit field cannot hold is refused, not read as its low 16 bits.
TEST(LumDataSet, ANarrowFieldRefusesAStoredValueOutOfItsRange) {
    TTestTableOwned table(new TTestTable());
    table->FieldDefs().Add(u"Small", ftSmallint);
    table->Open();
    TLumVariant values[] = {TLumVariant(5)};
    table->AppendRecord(values);
    table->StoreValue(0, 0, TLumVariant(70000));
    table->Resync({});
    ExpectRaises<EConvertError>([&] { table->Fields(0)->AsInteger(); }, "EConvertError",
                                u"Variant value 70000 is out of range for type (Smallint)");
}

TEST(LumDataSet, WithoutBuffersFieldsHaveNoActiveRow) {
    TTestTableOwned table = MakeTable();
    TIntegerField* qty = new TIntegerField(table.get());
    qty->SetFieldName(u"Qty");
    qty->SetDataSet(table.get());
    ExpectRaises<ELumInternalError>([&] { qty->AsInteger(); }, "ELumInternalError",
                                    u"Internal Error: ActiveBuffer not assigned.");
}

// ---- Values of every field type

namespace {

// An interface object that counts its references and is its own dispatch interface.
struct TCountedObject {
    int References = 0;
};

const TInterfaceOps kCountedOps = {
    [](void* object) { ++static_cast<TCountedObject*>(object)->References; },
    [](void* object) { --static_cast<TCountedObject*>(object)->References; },
    [](void* object) -> void* {
        ++static_cast<TCountedObject*>(object)->References;
        return object;
    },
};

} // namespace

TEST(LumDataSet, EveryFieldTypeKeepsItsValues) {
    TCountedObject object;
    {
        TTestTableOwned table(new TTestTable());
        const std::pair<const char16_t*, TFieldType> defs[] = {
            {u"Str", ftString},      {u"Fixed", ftFixedChar}, {u"Guid", ftGuid},
            {u"Wide", ftWideString}, {u"Small", ftSmallint},  {u"Word", ftWord},
            {u"Int", ftInteger},     {u"Auto", ftAutoInc},    {u"Large", ftLargeint},
            {u"Bool", ftBoolean},    {u"Float", ftFloat},     {u"Money", ftCurrency},
            {u"Bcd", ftBCD},         {u"Date", ftDate},       {u"Time", ftTime},
            {u"Stamp", ftDateTime},  {u"Intf", ftInterface},  {u"Disp", ftIDispatch},
        };
        for (auto [name, type] : defs) {
            table->FieldDefs().Add(name, type, 40);
        }
        table->Open();
        auto field = [&](const char16_t* name) { return table->FieldByName(name); };
        const std::u16string wide = u"wide \u00E9\u4E2D";
        const std::string guid = "{12345678-ABCD-1234-abcd-123456789ABC}";
        table->Append();
        field(u"Str")->SetAsString("ansi");
        field(u"Fixed")->SetAsString("fix");
        field(u"Guid")->SetAsString(guid);
        field(u"Wide")->SetAsWideString(wide);
        field(u"Small")->SetAsInteger(-32768);
        field(u"Word")->SetAsInteger(65535);
        field(u"Int")->SetAsInteger(INT32_MIN);
        field(u"Auto")->SetAsInteger(7);
        // 2^53 + 1 has no double of its own: it must not pass through one.
        field(u"Large")->SetAsLargeInt(9007199254740993LL);
        field(u"Bool")->SetAsBoolean(true);
        field(u"Float")->SetAsFloat(1.5);
        field(u"Money")->SetAsFloat(2.25);
        field(u"Bcd")->SetAsCurrency(TCurrency{123456});
        field(u"Date")->SetAsDateTime(36526);
        field(u"Time")->SetAsDateTime(0.5);
        field(u"Stamp")->SetAsDateTime(36526.25);
        field(u"Intf")->SetAsVariant(
            TLumVariant::FromUnknown(TLumInterface(&object, &kCountedOps)));
        field(u"Disp")->SetAsVariant(
            TLumVariant::FromDispatch(TLumInterface(&object, &kCountedOps)));
        table->Post();
        table->First();

        EXPECT_EQ(field(u"Str")->AsVariant().VarType(), varString);
        EXPECT_EQ(field(u"Str")->AsString(), "ansi");
        EXPECT_EQ(field(u"Guid")->AsString(), guid);
        EXPECT_EQ(field(u"Wide")->AsVariant().VarType(), varOleStr);
        EXPECT_EQ(Utf8(field(u"Wide")->AsWideString()), Utf8(wide));
        EXPECT_EQ(field(u"Small")->AsVariant().VarType(), varSmallint);
        EXPECT_EQ(field(u"Small")->AsInteger(), -32768);
        EXPECT_EQ(field(u"Word")->AsVariant().VarType(), varWord);
        EXPECT_EQ(field(u"Word")->AsInteger(), 65535);
        EXPECT_EQ(field(u"Int")->AsInteger(), INT32_MIN);
        EXPECT_EQ(field(u"Large")->AsVariant().VarType(), varInt64);
        EXPECT_EQ(field(u"Large")->AsLargeInt(), 9007199254740993LL);
        EXPECT_EQ(field(u"Bool")->AsVariant().VarType(), varBoolean);
        EXPECT_TRUE(field(u"Bool")->AsBoolean());
        EXPECT_EQ(field(u"Money")->AsVariant().VarType(), varDouble);
        EXPECT_EQ(field(u"Money")->AsFloat(), 2.25);
        EXPECT_EQ(field(u"Bcd")->AsVariant().VarType(), varCurrency);
        EXPECT_EQ(field(u"Bcd")->AsCurrency().Value, 123456);
        EXPECT_EQ(field(u"Stamp")->AsVariant().VarType(), varDate);
        EXPECT_EQ(field(u"Stamp")->AsDateTime(), 36526.25);
        EXPECT_EQ(field(u"Intf")->AsVariant().VarType(), varUnknown);
        EXPECT_EQ(field(u"Intf")->AsVariant().AsInterface().Get(), &object);
        EXPECT_EQ(field(u"Disp")->AsVariant().VarType(), varDispatch);
        EXPECT_EQ(field(u"Fixed")->AsString(), "fix");
        EXPECT_EQ(field(u"Auto")->AsInteger(), 7);
        EXPECT_EQ(field(u"Float")->AsFloat(), 1.5);
        EXPECT_EQ(field(u"Date")->AsDateTime(), 36526.0);
        EXPECT_EQ(field(u"Time")->AsDateTime(), 0.5);

        table->Edit();
        ExpectRaises<EConvertError>([&] { field(u"Small")->SetAsInteger(40000); }, "EConvertError",
                                    u"Variant value 40000 is out of range for type (Smallint)");
        ExpectRaises<EConvertError>([&] { field(u"Guid")->SetAsString("{nope}"); }, "EConvertError",
                                    u"'{nope}' is not a GUID");
        table->Cancel();
        EXPECT_EQ(field(u"Small")->AsInteger(), -32768);
        // Closing discards the rows, and with them their references.
        EXPECT_GT(object.References, 0);
        table->Close();
        EXPECT_EQ(object.References, 0);
    }
}
