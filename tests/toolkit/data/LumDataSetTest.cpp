// The data-set framework: fields and their rules, the buffers behind linked controls, events,
// error events and streaming. It is driven through the variant-array data set, the framework's
// concrete data set.
#include "toolkit/data/LumDataSet.h"

#include "tests/lib/LumLX/LumLXDataSetTestTable.h"
#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#ifdef _WIN32
#include "toolkit/ui/LumApplication.h"
#endif

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::string Utf8(const std::u16string& text) {
    return WideToUtf8(text);
}

TTestTableOwned OpenTable(int rows) {
    TTestTableOwned table = MakeTable();
    table->Open();
    for (int i = 0; i < rows; ++i) {
        TLumVariant values[] = {TLumVariant(std::u16string(1, static_cast<char16_t>(u'A' + i))),
                                TLumVariant(i + 1)};
        table->AppendRecord(values);
    }
    table->First();
    return table;
}

// Writes down what the data set tells it.
class TRecordingLink : public TDataLink {
  public:
    using TDataLink::TDataLink;
    std::vector<TDataEvent> Events;
    std::vector<std::intptr_t> Infos;

  protected:
    void DataEvent(TDataEvent event, std::intptr_t info) override {
        Events.push_back(event);
        Infos.push_back(info);
    }
};

// Writes down the events of a data set as one text.
struct TEventLog {
    std::string Text;

    TDataSetNotifyEvent Note(const char* name) {
        return TDataSetNotifyEvent([this, name](TDataSet*) { Text += std::string(name) + " "; });
    }

    void Watch(TDataSet& dataSet) {
        dataSet.BeforeOpen = Note("BeforeOpen");
        dataSet.AfterOpen = Note("AfterOpen");
        dataSet.BeforeClose = Note("BeforeClose");
        dataSet.AfterClose = Note("AfterClose");
        dataSet.BeforeInsert = Note("BeforeInsert");
        dataSet.AfterInsert = Note("AfterInsert");
        dataSet.BeforeEdit = Note("BeforeEdit");
        dataSet.AfterEdit = Note("AfterEdit");
        dataSet.BeforePost = Note("BeforePost");
        dataSet.AfterPost = Note("AfterPost");
        dataSet.BeforeCancel = Note("BeforeCancel");
        dataSet.AfterCancel = Note("AfterCancel");
        dataSet.BeforeDelete = Note("BeforeDelete");
        dataSet.AfterDelete = Note("AfterDelete");
        dataSet.BeforeScroll = Note("BeforeScroll");
        dataSet.AfterScroll = Note("AfterScroll");
        dataSet.OnNewRecord = Note("OnNewRecord");
    }

    std::string Take() { return std::exchange(Text, {}); }
};

} // namespace

// ---- Fields

TEST(LumFields, DefinitionsAndFieldListsResolveNamesWithoutRegardToCase) {
    TFieldDefs defs;
    defs.Add(u"Name", ftString, 10, true);
    ExpectRaises<EDatabaseError>([&] { defs.Add(u"NAME", ftInteger); }, "EDatabaseError",
                                 u"Field name 'NAME' is defined twice");
    EXPECT_EQ(defs.Count(), 1);
    EXPECT_EQ(defs.Find(u"name"), &defs.Items(0));
    ExpectRaises<EListError>([&] { defs.Items(1); }, "EListError", u"List index out of bounds (1)");

    TTestTableOwned table = OpenTable(0);
    std::vector<TField*> fields = table->GetFieldList(u" qty ;;NAME; ");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0], table->Fields(1));
    EXPECT_EQ(fields[1], table->Fields(0));
    ExpectRaises<EDatabaseError>([&] { table->GetFieldList(u"Name;Nope"); }, "EDatabaseError",
                                 u"No field named 'Nope'");
    EXPECT_EQ(table->FieldByNumber(2), table->Fields(1));
    EXPECT_EQ(table->FieldByNumber(4), nullptr);
}

TEST(LumFields, ValuesAreWrittenOnlyInEditModeToWritableFields) {
    TTestTableOwned table = OpenTable(1);
    TField* qty = table->FieldByName(u"Qty");
    ExpectRaises<EDatabaseError>([&] { qty->SetAsInteger(5); }, "EDatabaseError",
                                 u"The data set is not editing a row");
    table->Edit();
    qty->SetReadOnly(true);
    ExpectRaises<EDatabaseError>([&] { qty->SetAsInteger(5); }, "EDatabaseError",
                                 u"Field 'Qty' is read-only");
    qty->SetReadOnly(false);
    EXPECT_FALSE(table->Modified());
    qty->SetAsString("12");
    EXPECT_TRUE(table->Modified());
    EXPECT_EQ(qty->AsInteger(), 12);
    ExpectRaises<EConvertError>([&] { qty->SetAsString("twelve"); }, "EConvertError",
                                u"Could not convert variant of type (String) into type (Integer)");
    qty->Clear();
    EXPECT_TRUE(qty->IsNull());
    EXPECT_EQ(qty->AsInteger(), 0);
    EXPECT_EQ(qty->AsString(), "");
    EXPECT_FALSE(qty->AsBoolean());
    EXPECT_TRUE(qty->AsVariant().IsNull());
    table->Post();
    EXPECT_TRUE(qty->IsNull());
}

TEST(LumFields, APostWithARequiredFieldNullIsRefusedAndTheRowStaysInInsertMode) {
    TTestTableOwned table(new TTestTable());
    table->FieldDefs().Add(u"Name", ftWideString, 10, true);
    table->Open();
    table->Fields(0)->SetDisplayLabel(u"Full name");
    table->Append();
    ExpectRaises<EDatabaseError>([&] { table->Post(); }, "EDatabaseError",
                                 u"Field 'Full name' needs a value");
    EXPECT_EQ(table->State(), dsInsert);
    table->Fields(0)->SetAsWideString(u"x");
    table->Post();
    EXPECT_EQ(table->RecordCount(), 1);
}

// The toolkit's classes show text through the ANSI code page; the Unicode classes as stored.
TEST(LumFields, UnicodeFieldClassesShowTheirTextAsStored) {
    const std::u16string text = u"\u4E2D-\u00E9";
    TTestTableOwned table = MakeTable();
    auto* plain = new TWideStringField(table.get());
    plain->SetFieldName(u"Name");
    plain->SetDataSet(table.get());
    table->Open();
    EXPECT_FALSE(table->DefaultFields());
    ASSERT_EQ(table->FieldCount(), 1);
    table->Append();
    plain->SetText(text);
    table->Post();
    EXPECT_EQ(Utf8(plain->AsWideString()), Utf8(AnsiToWide(WideToAnsi(text))));
    EXPECT_NE(Utf8(plain->AsWideString()), Utf8(text));

    table->Close();
    EXPECT_EQ(table->FieldCount(), 1);
    plain->SetDataSet(nullptr);
    table->Open();
    TField* unicode = table->FieldByName(u"Name");
    table->Append();
    unicode->SetText(text);
    table->Post();
    EXPECT_EQ(Utf8(unicode->DisplayText()), Utf8(text));
    EXPECT_EQ(Utf8(unicode->AsWideString()), Utf8(text));
}

TEST(LumFields, PersistentFieldsMustMatchTheirDefinitions) {
    TTestTableOwned table = MakeTable();
    auto* qty = new TStringField(table.get());
    qty->SetFieldName(u"Qty");
    qty->SetDataSet(table.get());
    ExpectRaises<EDatabaseError>([&] { table->Open(); }, "EDatabaseError",
                                 u"Field 'Qty' does not have the type of its definition");
    EXPECT_FALSE(table->Active());
    qty->SetFieldName(u"Count");
    ExpectRaises<EDatabaseError>([&] { table->Open(); }, "EDatabaseError",
                                 u"No field named 'Count'");
    qty->SetDataSet(nullptr);
    EXPECT_EQ(qty->Index(), -1);
    table->Open();
    EXPECT_EQ(table->FieldCount(), 3);
    ExpectRaises<EDatabaseError>([&] { qty->SetDataSet(table.get()); }, "EDatabaseError",
                                 u"Fields cannot change while the data set is open");
}

// The buffers are laid out by field: a field freed under an open data set closes it.
TEST(LumFields, AFieldFreedWhileItsDataSetIsOpenClosesIt) {
    TTestTableOwned table = MakeTable();
    auto* name = new TWideStringField(nullptr);
    name->SetFieldName(u"Name");
    name->SetDataSet(table.get());
    auto* qty = new TIntegerField(nullptr);
    qty->SetFieldName(u"Qty");
    qty->SetDataSet(table.get());
    table->Open();
    AddRows(*table, {{u"A", 1}});
    qty->Free();
    EXPECT_FALSE(table->Active());
    EXPECT_EQ(table->FieldCount(), 1);
    table->Open();
    EXPECT_TRUE(table->IsEmpty());
    name->Free();
}

// ---- Buffers and links

TEST(LumDataSetBuffers, LinkedControlsGetAsManyBuffersAsTheyShowRows) {
    TTestTableOwned table = OpenTable(10);
    TRecordingLink grid(3);
    grid.SetDataSet(table.get());
    EXPECT_EQ(table->BufferCount(), 3);
    EXPECT_EQ(table->BufferedRecords(), 3);
    EXPECT_EQ(table->ActiveRecord(), 0);

    grid.Events.clear();
    grid.Infos.clear();
    table->MoveBy(4);
    EXPECT_EQ(Utf8(Current(*table)), "E");
    EXPECT_EQ(table->ActiveRecord(), 2);
    ASSERT_FALSE(grid.Events.empty());
    EXPECT_EQ(grid.Events.back(), deDataSetScroll);
    EXPECT_EQ(grid.Infos.back(), 2);
    table->MoveBy(-3);
    EXPECT_EQ(Utf8(Current(*table)), "B");
    EXPECT_EQ(table->ActiveRecord(), 0);
    EXPECT_EQ(table->RecNo(), 2);

    table->Last();
    EXPECT_EQ(table->ActiveRecord(), 2);
    EXPECT_EQ(Utf8(Current(*table)), "J");
    ASSERT_TRUE(table->Locate(u"Name", TLumVariant(u"E"), {}));
    EXPECT_EQ(table->ActiveRecord(), 1);
    EXPECT_EQ(table->RecNo(), 5);

    table->Insert();
    EXPECT_EQ(table->ActiveRecord(), 1);
    table->FieldByName(u"Name")->SetAsWideString(u"D2");
    table->Post();
    EXPECT_EQ(Utf8(Names(*table)), "A B C D D2 E F G H I J");

    // Fewer buffers while editing would drop the edited row: the change waits for the post.
    table->Locate(u"Name", TLumVariant(u"G"), {});
    table->Edit();
    table->FieldByName(u"Qty")->SetAsInteger(70);
    grid.SetBufferCount(1);
    EXPECT_EQ(table->BufferCount(), 3);
    table->Post();
    EXPECT_EQ(table->BufferCount(), 1);
    EXPECT_EQ(Utf8(Current(*table)), "G");
    EXPECT_EQ(table->FieldByName(u"Qty")->AsInteger(), 70);
    grid.SetDataSet(nullptr);
    EXPECT_EQ(table->BufferCount(), 1);
}

TEST(LumDataSetBuffers, DisabledControlsHearNothingUntilTheOutermostEnable) {
    TTestTableOwned table = OpenTable(3);
    TRecordingLink control;
    control.SetDataSet(table.get());
    table->DisableControls();
    table->DisableControls();
    table->Next();
    table->Edit();
    table->FieldByName(u"Qty")->SetAsInteger(5);
    table->EnableControls();
    EXPECT_TRUE(control.Events.empty());
    EXPECT_TRUE(table->ControlsDisabled());
    table->EnableControls();
    EXPECT_EQ(control.Events, (std::vector<TDataEvent>{deUpdateState, deDataSetChange}));
    EXPECT_FALSE(table->ControlsDisabled());
    table->EnableControls();
    EXPECT_EQ(control.Events.size(), 2u);

    control.Events.clear();
    control.Infos.clear();
    table->FieldByName(u"Qty")->SetAsInteger(6);
    ASSERT_EQ(control.Events.size(), 1u);
    EXPECT_EQ(control.Events[0], deFieldChange);
    EXPECT_EQ(control.Infos[0], reinterpret_cast<std::intptr_t>(table->FieldByName(u"Qty")));
}

// ---- Events

TEST(LumDataSetEvents, RunInTheOrderOfTheOperations) {
    TTestTableOwned table = MakeTable();
    TEventLog log;
    log.Watch(*table);
    table->Open();
    EXPECT_EQ(log.Take(), "BeforeOpen AfterOpen ");
    table->Append();
    EXPECT_EQ(log.Take(), "BeforeInsert BeforeScroll OnNewRecord AfterInsert AfterScroll ");
    table->FieldByName(u"Name")->SetAsWideString(u"A");
    table->Post();
    EXPECT_EQ(log.Take(), "BeforePost AfterPost ");
    table->Edit();
    table->Cancel();
    EXPECT_EQ(log.Take(), "BeforeEdit AfterEdit BeforeCancel AfterCancel ");
    table->Delete();
    EXPECT_EQ(log.Take(), "BeforeDelete BeforeScroll AfterDelete AfterScroll ");
    table->Next();
    EXPECT_EQ(log.Take(), "");
    table->Close();
    EXPECT_EQ(log.Take(), "BeforeClose AfterClose ");
}

namespace {

// A descendant that starts new rows at 1 and refuses a post with a quantity below 1.
class TCheckedTable : public TTestTable {
  protected:
    void DoAfterInsert() override {
        FieldByName(u"Qty")->SetAsInteger(1);
        TTestTable::DoAfterInsert();
    }
    void DoBeforePost() override {
        TTestTable::DoBeforePost();
        if (FieldByName(u"Qty")->AsInteger() < 1) {
            throw ELumGeneralError(u"too few");
        }
    }
};

} // namespace

TEST(LumDataSetEvents, DescendantsAddTheirStepsToTheEvents) {
    TLumOwned<TCheckedTable> table(new TCheckedTable());
    table->FieldDefs().Add(u"Qty", ftInteger);
    table->Open();
    TEventLog log;
    table->AfterInsert = log.Note("AfterInsert");
    table->BeforePost = log.Note("BeforePost");
    table->Append();
    EXPECT_EQ(table->FieldByName(u"Qty")->AsInteger(), 1);
    table->FieldByName(u"Qty")->SetAsInteger(0);
    ExpectRaises<ELumGeneralError>([&] { table->Post(); }, "ELumGeneralError", u"too few");
    EXPECT_EQ(table->State(), dsInsert);
    EXPECT_EQ(log.Take(), "AfterInsert BeforePost ");
    table->FieldByName(u"Qty")->SetAsInteger(2);
    table->Post();
    EXPECT_EQ(table->RecordCount(), 1);
}

TEST(LumDataSetEvents, LeavingEditModePostsChangesAndCancelsAnUntouchedInsert) {
    TTestTableOwned table = OpenTable(1);
    table->OnNewRecord =
        TDataSetNotifyEvent([](TDataSet* dataSet) { dataSet->Fields(1)->SetAsInteger(42); });
    table->Append();
    EXPECT_FALSE(table->Modified());
    table->CheckBrowseMode();
    EXPECT_EQ(table->RecordCount(), 1);

    table->Append();
    table->Fields(0)->SetAsWideString(u"new");
    table->CheckBrowseMode();
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(table->Fields(1)->AsInteger(), 42);
    EXPECT_EQ(table->State(), dsBrowse);
}

TEST(LumDataSetEvents, ErrorEventsRetryAbortOrFail) {
    TTestTableOwned table(new TTestTable());
    table->FieldDefs().Add(u"Name", ftWideString, 10, true);
    table->Open();
    int retries = 0;
    table->OnPostError =
        TDataSetErrorEvent([&](TDataSet* dataSet, EDatabaseError&, TDataAction& action) {
            ++retries;
            dataSet->Fields(0)->SetAsWideString(u"filled");
            action = daRetry;
        });
    table->Append();
    table->Post();
    EXPECT_EQ(retries, 1);
    EXPECT_EQ(Utf8(table->Fields(0)->AsWideString()), "filled");

    table->OnPostError = TDataSetErrorEvent(
        [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daAbort; });
    table->Append();
    EXPECT_THROW(table->Post(), EAbort);
    EXPECT_EQ(table->State(), dsInsert);
    table->Cancel();

    std::u16string seen;
    table->OnDeleteError = TDataSetErrorEvent(
        [&](TDataSet*, EDatabaseError& error, TDataAction&) { seen = error.Message(); });
    table->Delete();
    ExpectRaises<EDatabaseError>([&] { table->Delete(); }, "EDatabaseError",
                                 u"Internal Error: SnapRecordPosition() required a record count.");
    EXPECT_EQ(Utf8(seen), "Internal Error: SnapRecordPosition() required a record count.");
}

TEST(LumDataSetEvents, InsertRecordStoresTheValuesInFieldOrder) {
    TTestTableOwned table = OpenTable(2);
    table->Next();
    TLumVariant values[] = {TLumVariant(u"X"), TLumVariant::Null(), TLumVariant(2.5)};
    table->InsertRecord(values);
    EXPECT_EQ(table->RecNo(), 2);
    EXPECT_TRUE(table->Fields(1)->IsNull());
    EXPECT_EQ(table->Fields(2)->AsFloat(), 2.5);
    EXPECT_EQ(Utf8(Names(*table)), "A X B");
}

// ---- Streaming and exceptions

TEST(LumDataSetClass, PublishesItsPropertiesInOrder) {
    std::vector<std::string> names;
    for (const TPropInfo* property : TLumVarArrayDataSet::StaticClass().AllProperties()) {
        names.push_back(property->Name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{
                  "Tag",          "Active",        "BufferCount",  "Filtered",      "Sort",
                  "BeforeOpen",   "AfterOpen",     "BeforeClose",  "AfterClose",    "BeforeInsert",
                  "AfterInsert",  "BeforeEdit",    "AfterEdit",    "BeforePost",    "AfterPost",
                  "BeforeCancel", "AfterCancel",   "BeforeDelete", "AfterDelete",   "BeforeScroll",
                  "AfterScroll",  "OnDeleteError", "OnEditError",  "OnFilterRecord"}));

    TTestTableOwned table = OpenTable(3);
    const TLumClass& cls = table->ClassType();
    ExpectRaises<EReadError>(
        [&] { cls.FindProperty("BufferCount")->Set(*table, TPropValue::OfInt(5)); }, "EReadError",
        u"Property BufferCount cannot be set");
    EXPECT_EQ(cls.FindProperty("BufferCount")->Get(*table).Int, 1);

    // The filter handler set as a property filters at once.
    TPropValue handler;
    handler.Method = TFilterRecordEvent::Function(
        [](TDataSet* dataSet, bool& accept) { accept = dataSet->Fields(1)->AsInteger() > 1; });
    handler.MethodName = "KeepLarge";
    table->SetFiltered(true);
    cls.FindProperty("OnFilterRecord")->Set(*table, handler);
    EXPECT_EQ(table->RecordCount(), 2);
    EXPECT_EQ(table->OnFilterRecord().MethodName(), "KeepLarge");
}

TEST(LumDataSetClass, AStreamedActiveOpensWhenLoadingEnds) {
    TTestTableOwned table = MakeTable();
    table->BeginLoading();
    table->ClassType().FindProperty("Active")->Set(*table, TPropValue::OfBool(true));
    EXPECT_FALSE(table->Active());
    table->Loaded();
    EXPECT_TRUE(table->Active());
}

#ifdef _WIN32

TEST(LumDataSetClass, HandledExceptionsGoToTheApplication) {
    LumApplicationUnit.Start();
    std::vector<std::u16string> seen;
    TExceptionHook previous =
        Application()->SetExceptionHook([&](TLumPersistent* sender, Exception& error) {
            EXPECT_NE(dynamic_cast<TDataSet*>(sender), nullptr);
            seen.push_back(error.Message());
        });
    {
        TTestTableOwned table = OpenTable(0);
        try {
            table->Delete();
        } catch (const EDatabaseError&) {
            table->HandleException();
        }
    }
    Application()->SetExceptionHook(std::move(previous));
    LumApplicationUnit.Stop();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(Utf8(seen[0]), "Internal Error: SnapRecordPosition() required a record count.");
}

#else

// The host build has no application: the exception goes on to the caller.
TEST(LumDataSetClass, HandledExceptionsGoOnWithoutAnApplication) {
    TTestTableOwned table = OpenTable(0);
    try {
        try {
            table->Delete();
        } catch (const EDatabaseError&) {
            table->HandleException();
        }
        ADD_FAILURE() << "the exception went nowhere";
    } catch (const EDatabaseError& error) {
        EXPECT_EQ(Utf8(error.Message()),
                  "Internal Error: SnapRecordPosition() required a record count.");
    }
}

#endif
