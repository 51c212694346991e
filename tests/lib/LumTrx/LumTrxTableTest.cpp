// The translation table: its rows and their accessors, the format check on edits and the
// merge of two tables on rows made by hand; loading, marks and comments and saving on
// translation modules made from a copy of the built program.
#include "lib/LumTrx/LumTrxTable.h"

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgUtils.h"
#include "lib/LumTrx/LumTrxFrmUtilsWin.h"
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/data/LumFields.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/res/LumResourceUpdateWin.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit, &LumTrxUtilsUnit};

using TTable = TLumOwned<TLumTransTable>;

TTable NewTable() {
    return TTable(new TLumTransTable(nullptr));
}

// The message of the exception of class E that the call raises; empty when it raises none.
template <class E, class F> std::u16string MessageOf(F call) {
    try {
        call();
    } catch (const E& error) {
        return error.Message();
    }
    return {};
}

class TransTable : public TUnitsTest<kUnits> {};

// ---- Rows made by hand

// A table of string rows and rows of the properties of one parsed form.
class TransTableRows : public TransTable {
  protected:
    void SetUp() override {
        form_.Parse("object Main: TMain\r\n"
                    "  Caption = 'Setup'\r\n"
                    "  Hint = 'Sets up'\r\n"
                    "end\r\n",
                    &properties_);
        table_->Open();
    }

    static void AddString(TLumTransTable& table, const std::u16string& id, std::uint16_t stringId,
                          const std::u16string& value, const std::u16string& reference = {},
                          bool translated = false) {
        table.Append();
        table.SetTranID(id);
        table.SetTranType(kResourceStringType);
        table.SetStringTableID(stringId);
        table.SetRefValue(reference);
        table.SetValue(value);
        table.SetTranslated(translated);
        table.Post();
    }

    static void AddFormRow(TLumTransTable& table, TFrmProperty* property,
                           const std::u16string& value, bool translated = false,
                           const std::u16string& comment = {}) {
        table.Append();
        table.SetTranID(AnsiToWide(property->FullName));
        table.SetTranType(AnsiToWide(property->Name));
        table.SetFrmProp(property);
        table.SetValue(value);
        table.SetComment(comment);
        table.SetTranslated(translated);
        table.Post();
    }

    TFrmForm form_;
    std::vector<TFrmProperty*> properties_;
    TTable table_ = NewTable();
};

TEST_F(TransTableRows, FieldsAndTheAccessorsOfEachKindOfRow) {
    struct Field {
        const char16_t* name;
        int displayWidth;
        bool visible;
        bool required;
    };
    const Field fields[] = {
        {u"TranID", 30, true, true},
        {u"TranType", 20, true, true},
        {u"RefValue", 50, true, false},
        {u"TranValue", 40, true, false},
        {u"Comment", 40, true, false},
        {u"Translated", 15, true, true},
        {u"StringTableIDOrPFrmProp", -1, false, true},
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(WideToUtf8(f.name));
        TField* field = table_->FieldByName(f.name);
        if (f.displayWidth >= 0) {
            EXPECT_EQ(field->DisplayWidth(), f.displayWidth);
        }
        EXPECT_EQ(field->Visible(), f.visible);
        EXPECT_EQ(field->Required(), f.required);
    }
    EXPECT_EQ(table_->FieldByName(u"TranValue")->Size(), 2147483647);

    // A new row starts untranslated.
    table_->Append();
    EXPECT_FALSE(table_->Translated());
    // Without type a row is neither kind.
    EXPECT_EQ(MessageOf<ELumInternalError>([&] { table_->FrmProp(); }),
              u"Can not get PFrmProp for an undefined type.");
    EXPECT_EQ(MessageOf<ELumInternalError>([&] { table_->SetFrmProp(properties_[0]); }),
              u"Can not set PFrmProp for an undefined type.");
    table_->Cancel();

    AddString(*table_, u"Module_SText", 65100, u"Text");
    ASSERT_TRUE(table_->LocateTranID(u"Module_SText"));
    EXPECT_TRUE(table_->IsStringResource());
    EXPECT_EQ(table_->StringTableID(), 65100);
    EXPECT_EQ(MessageOf<ELumInternalError>([&] { table_->FrmProp(); }),
              u"Can not get PFrmProp for a string resource.");
    table_->Edit();
    EXPECT_EQ(MessageOf<ELumInternalError>([&] { table_->SetFrmProp(properties_[0]); }),
              u"Can not set PFrmProp for a string resource.");
    table_->Cancel();

    AddFormRow(*table_, properties_[0], u"Setup");
    ASSERT_TRUE(table_->LocateTranID(u"Main.Caption"));
    EXPECT_FALSE(table_->IsStringResource());
    EXPECT_EQ(table_->TranType(), u"Caption");
    EXPECT_EQ(table_->FrmProp(), properties_[0]);
    EXPECT_EQ(MessageOf<ELumInternalError>([&] { table_->StringTableID(); }),
              u"Can not get StringTableID if not a string resource.");
    table_->Edit();
    EXPECT_EQ(MessageOf<ELumInternalError>([&] { table_->SetStringTableID(1); }),
              u"Can not set StringTableID if not a string resource.");
    table_->Cancel();

    // The type's name counts with its case.
    table_->Append();
    table_->SetTranType(u"ResourceString");
    EXPECT_FALSE(table_->IsStringResource());
    table_->Cancel();

    // The current row answers at once; another is found without regard to case.
    EXPECT_TRUE(table_->LocateTranID(u"module_stext"));
    EXPECT_EQ(table_->TranID(), u"Module_SText");
    EXPECT_FALSE(table_->LocateTranID(u"Module_SOther"));

    table_->Close();
    EXPECT_THROW(table_->TranID(), EDatabaseError);
}

TEST_F(TransTableRows, EditsAreCheckedAsFormatStringsAndApplied) {
    AddString(*table_, u"Module_SLines", 65100, u"File %0:s has %1:d lines",
              u"File %s has %d lines");
    AddString(*table_, u"Module_SPlain", 65101, u"Plain");
    AddFormRow(*table_, properties_[0], u"Setup");
    // Rows being inserted, as loading adds them, change nothing.
    EXPECT_EQ(properties_[0]->Value, "'Setup'");
    EXPECT_FALSE(table_->Modified());

    ASSERT_TRUE(table_->LocateTranID(u"Module_SLines"));
    table_->Edit();
    table_->SetValue(u"%d Zeilen hat %s");
    EXPECT_EQ(MessageOf<ELumGeneralError>([&] { table_->Post(); }),
              u"Argument types for index 0 do not match. (%0:s <> %0:d)");
    EXPECT_EQ(table_->State(), dsEdit);
    EXPECT_FALSE(table_->Modified());
    table_->SetValue(u"%d Zeilen");
    EXPECT_EQ(MessageOf<ELumGeneralError>([&] { table_->Post(); }),
              u"Argument types for index 0 do not match. (%0:s <> %0:d)");
    table_->SetValue(u"%0:s");
    EXPECT_EQ(MessageOf<ELumGeneralError>([&] { table_->Post(); }),
              u"Number of format specifiers do not match.");
    // Moved by explicit indexes, each keeping its type.
    table_->SetValue(u"%1:d Zeilen in %0:s");
    table_->Post();
    EXPECT_EQ(table_->State(), dsBrowse);
    EXPECT_TRUE(table_->Modified());
    EXPECT_EQ(table_->Value(), u"%1:d Zeilen in %0:s");

    // Without a reference anything goes.
    ASSERT_TRUE(table_->LocateTranID(u"Module_SPlain"));
    table_->Edit();
    table_->SetValue(u"100% sicher %");
    table_->Post();
    EXPECT_EQ(table_->Value(), u"100% sicher %");

    // A form row's value goes into the parsed property at once.
    ASSERT_TRUE(table_->LocateTranID(u"Main.Caption"));
    table_->Edit();
    table_->SetValue(u"It's set up");
    table_->Post();
    EXPECT_EQ(properties_[0]->Value, "'It'#39's set up'");
    EXPECT_EQ(form_.Render(), "object Main: TMain\r\n"
                              "  Caption = 'It'#39's set up'\r\n"
                              "  Hint = 'Sets up'\r\n"
                              "end\r\n");
}

TEST_F(TransTableRows, MergeTakesTranslationsWithAndWithoutMark) {
    for (bool mark : {true, false}) {
        SCOPED_TRACE(mark ? "with mark" : "without mark");
        TFrmForm form;
        std::vector<TFrmProperty*> properties;
        form.Parse("object Main: TMain\r\n  Caption = 'Setup'\r\n  Hint = 'Sets up'\r\nend\r\n",
                   &properties);
        TTable table = NewTable();
        table->Open();
        AddString(*table, u"M_SCount", 65100, u"%0:s of %1:d", u"%s of %d");
        AddString(*table, u"M_SDraft", 65101, u"Draft");
        AddString(*table, u"M_SSame", 65102, u"%0:s %1:s", u"%s %s");
        AddString(*table, u"M_SOnlyHere", 65103, u"Here", {}, true);
        AddString(*table, u"M_SChanged", 65104, u"%d files", u"%d files");
        AddString(*table, u"M_SPercent", 65105, u"Half");
        AddFormRow(*table, properties[0], u"Setup");
        AddFormRow(*table, properties[1], u"Sets up");
        table->SetSort(u"TranID");

        TTable other = NewTable();
        other->Open();
        AddString(*other, u"m_scount", 1, u"%s von %d", {}, true);
        other->Edit();
        other->SetComment(u"checked");
        other->Post();
        AddString(*other, u"M_SDraft", 2, u"Entwurf %s %d");
        AddString(*other, u"M_SSame", 3, u"%s %s");
        // The program's text changed its argument since: this translation stays behind.
        AddString(*other, u"M_SChanged", 4, u"%s Dateien", {}, true);
        // No sound format string: carried as it stands.
        AddString(*other, u"M_SPercent", 5, u"50%", {}, true);
        AddString(*other, u"M_SNotThere", 6, u"Fehlt", {}, true);
        AddFormRow(*other, properties[0], u"Einrichten", true, u"short");
        AddFormRow(*other, properties[1], u"Richtet ein");
        other->SetSort(u"TranID");

        ASSERT_TRUE(table->LocateTranID(u"M_SOnlyHere"));
        table->SetFiltered(false);
        table->Merge(*other, mark);
        EXPECT_EQ(table->TranID(), u"M_SOnlyHere");
        EXPECT_EQ(table->Sort(), u"TranID");
        EXPECT_TRUE(table->Filtered());
        EXPECT_FALSE(table->ControlsDisabled());
        EXPECT_EQ(table->RecordCount(), 8);

        struct Row {
            const char16_t* id;
            const char16_t* value;
            bool translated;
            const char16_t* comment;
        };
        const Row rows[] = {
            {u"M_SCount", u"%0:s von %1:d", mark, u"checked"},
            {u"M_SDraft", u"Entwurf %0:s %1:d", false, u""},
            {u"M_SSame", u"%0:s %1:s", false, u""},
            {u"M_SOnlyHere", u"Here", true, u""},
            {u"M_SChanged", u"%d files", false, u""},
            {u"M_SPercent", u"50%", mark, u""},
            {u"Main.Caption", u"Einrichten", mark, u"short"},
            // An untranslated form row gives nothing.
            {u"Main.Hint", u"Sets up", false, u""},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(WideToUtf8(row.id));
            ASSERT_TRUE(table->LocateTranID(row.id));
            EXPECT_EQ(table->Value(), row.value);
            EXPECT_EQ(table->Translated(), row.translated);
            EXPECT_EQ(table->Comment(), row.comment);
        }
        EXPECT_EQ(properties[0]->Value, "'Einrichten'");
        EXPECT_EQ(properties[1]->Value, "'Sets up'");
        EXPECT_TRUE(table->Modified());
    }
}

TEST_F(TransTableRows, MergeFindsRowsInAnyOrderAndWithoutRegardToCase) {
    for (const char16_t* sort : {u"", u"TranID"}) {
        SCOPED_TRACE(WideToUtf8(sort));
        // Two rows of this table differ in case only: each takes its own translation.
        TTable table = NewTable();
        table->Open();
        AddString(*table, u"M_SFirst", 1, u"First");
        AddString(*table, u"M_SSecond", 2, u"Second");
        AddString(*table, u"m_sfirst", 5, u"first");
        AddString(*table, u"M_SThird", 3, u"Third");
        AddString(*table, u"M_SFourth", 4, u"Fourth");
        table->SetSort(u"TranID");

        // In another order; one TranID differs in case only, one is there in both cases
        // (the exact one counts) and one is missing.
        TTable other = NewTable();
        other->Open();
        AddString(*other, u"M_SThird", 3, u"Dritte", {}, true);
        AddString(*other, u"m_ssecond", 2, u"Zweite", {}, true);
        AddString(*other, u"m_sfirst", 1, u"erste", {}, true);
        AddString(*other, u"M_SFirst", 1, u"Erste", {}, true);
        other->SetSort(sort);

        table->Merge(*other, true);
        std::map<std::u16string, std::pair<std::u16string, bool>> rows;
        for (table->First(); !table->Eof(); table->Next()) {
            rows[table->TranID()] = {table->Value(), table->Translated()};
        }
        const std::map<std::u16string, std::pair<std::u16string, bool>> expected = {
            {u"M_SFirst", {u"Erste", true}},    {u"m_sfirst", {u"erste", true}},
            {u"M_SSecond", {u"Zweite", true}},  {u"M_SThird", {u"Dritte", true}},
            {u"M_SFourth", {u"Fourth", false}},
        };
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(table->RecordCount(), 5);
        EXPECT_EQ(other->RecordCount(), 4);
    }
}

// ---- Modules

// A translation module made from a copy of the program, beside it.
class TransTableModule : public TransTable {
  protected:
    void SetUp() override {
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        ASSERT_TRUE(
            CopyFileW(WinStr(TestBuildFolder() + u"\\app\\Ostrin.exe"), WinStr(exe_), FALSE));
        ASSERT_EQ(CreateTranslation(exe_, 0x0407), module_);
    }
    void TearDown() override { RemoveTree(folder_); }

    // Inserts the lines (CR LF ended) as the first properties of the form resource's root.
    void AddFormLines(std::u16string_view resource, const std::string& lines) {
        TModuleResource found;
        std::string text;
        {
            TScopedLibrary module = LoadDataModule(module_);
            for (const TModuleResource& r : EnumerateModuleResources(module.Get())) {
                if (r.Type == RcDataType() && r.Name.IsName() && r.Name.Name() == resource) {
                    found = r;
                    text = FormBinaryToText(std::string(r.Data.begin(), r.Data.end()));
                }
            }
        }
        ASSERT_FALSE(text.empty());
        // The form's own list of translatable properties gives way to the test's.
        size_t own = text.find("  LumTranslatableProps.WideStrings = (");
        if (own != std::string::npos) {
            text.erase(own, text.find(")\r\n", own) + 3 - own);
        }
        text.insert(text.find("\r\n") + 2, lines);
        std::string binary = FormTextToBinary(text);
        TLumResourceUpdate update(module_);
        update.Update(
            found.Type, found.Name, found.Language,
            std::span(reinterpret_cast<const std::uint8_t*>(binary.data()), binary.size()));
        update.Commit();
    }

    void WriteSideTexts(std::u16string_view marks, std::u16string_view comments) {
        std::unique_ptr<TLumResourceUpdate> update = BeginResourceUpdate(module_, false);
        SaveRcText(*update, u"LUM.XRS", marks);
        SaveRcText(*update, u"LUM_TRX_XRC", comments);
        update->Commit();
    }

    std::u16string ModuleText(std::u16string_view name) {
        TScopedLibrary module = LoadDataModule(module_);
        return ReadResourceText(module.Get(), name);
    }

    std::u16string ModuleString(UINT id) {
        TScopedLibrary module = LoadDataModule(module_);
        const wchar_t* text = nullptr;
        int length = LoadStringW(module.Get(), id, reinterpret_cast<LPWSTR>(&text), 0);
        return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
    }

    int NamedStrings() {
        return static_cast<int>(SplitLines(ReadSectionText(exe_, "LUM.RSM")).size());
    }

    std::u16string folder_ = SystemTempPath() + u"LumTrxTable";
    std::u16string exe_ = folder_ + u"\\Ostrin.exe";
    std::u16string module_ = folder_ + u"\\Ostrin.DEU";
    TTable table_ = NewTable();
};

constexpr char kTranslatableMain[] = "  LumTranslatableProps.WideStrings = (\r\n"
                                     "    'Caption'\r\n"
                                     "    'Hint'\r\n"
                                     "    'resourcestring')\r\n"
                                     "  Hint = 'Sets up'\r\n"
                                     "  resourcestring = 'Not a row'\r\n";

TEST_F(TransTableModule, LoadsFormAndStringRowsWithTheirMarksAndComments) {
    AddFormLines(u"TOSTRINFORM", kTranslatableMain);
    WriteSideTexts(u"OstrinForm.Caption=TRUE\r\n"
                   u"OstrinForm.Hint=false\r\n"
                   u"LumSysConst_SOperationAborted=\r\n"
                   u"lumsysconst_sunkoserror=True\r\n"
                   u"LumSysConst_SEndOfFile=FALSE\r\n"
                   u"LumSysConst_SResNotFound=1\r\n"
                   // Of two lines for one row the first counts, though the second is in its case.
                   u"lumsysconst_sassertionfailed=TRUE\r\n"
                   u"LumSysConst_SAssertionFailed=false\r\n",
                   u"OstrinForm.Caption=The caption bar\r\n"
                   u"LumSysConst_SEndOfFile=Seen = kept\r\n");
    table_->Load(exe_, module_);
    EXPECT_EQ(table_->FileName(), module_);
    EXPECT_FALSE(table_->ReadOnly());
    EXPECT_FALSE(table_->Modified());
    EXPECT_TRUE(table_->Filtered());
    EXPECT_EQ(table_->Sort(), u"TranID");
    // Every string the name map names, the form's two translatable properties, and not the
    // property named "resourcestring".
    EXPECT_EQ(table_->RecordCount(), NamedStrings() + 2);
    EXPECT_FALSE(table_->LocateTranID(u"OstrinForm.resourcestring"));

    struct Row {
        const char16_t* id;
        const char16_t* type;
        const char16_t* value;
        bool translated;
        const char16_t* comment;
    };
    const Row rows[] = {
        {u"OstrinForm.Caption", u"Caption", u"CAPICOM 2.0 setup", true, u"The caption bar"},
        {u"OstrinForm.Hint", u"Hint", u"Sets up", false, u""},
        {u"LumSysConst_SOperationAborted", u"resourcestring", u"Operation aborted", false, u""},
        {u"LumSysConst_SUnkOSError", u"resourcestring", u"A call to an OS function failed", true,
         u""},
        {u"LumSysConst_SEndOfFile", u"resourcestring", u"Read beyond end of file", false,
         u"Seen = kept"},
        {u"LumSysConst_SResNotFound", u"resourcestring", u"Resource %s not found", true, u""},
        {u"LumSysConst_SAssertionFailed", u"resourcestring", u"Assertion failure", true, u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.id));
        ASSERT_TRUE(table_->LocateTranID(row.id));
        EXPECT_EQ(table_->TranType(), row.type);
        EXPECT_EQ(table_->Value(), row.value);
        EXPECT_EQ(table_->Translated(), row.translated);
        EXPECT_EQ(table_->Comment(), row.comment);
    }
    ASSERT_TRUE(table_->LocateTranID(u"OstrinForm.Caption"));
    EXPECT_EQ(table_->FrmProp()->FullName, "OstrinForm.Caption");
    ASSERT_TRUE(table_->LocateTranID(u"LumSysConst_SEndOfFile"));
    EXPECT_EQ(ModuleString(table_->StringTableID()), u"Read beyond end of file");

    // Loading again starts afresh.
    table_->Load(exe_, module_);
    EXPECT_EQ(table_->RecordCount(), NamedStrings() + 2);
}

TEST_F(TransTableModule, TheExecutableIsReadOnly) {
    table_->Load(exe_, exe_);
    EXPECT_TRUE(table_->ReadOnly());
    // The named strings and the main form's caption.
    EXPECT_EQ(table_->RecordCount(), NamedStrings() + 1);
    ASSERT_TRUE(table_->LocateTranID(u"LumSysConst_SOperationAborted"));
    table_->Edit();
    EXPECT_THROW(table_->SetValue(u"Abgebrochen"), EDatabaseError);
    EXPECT_THROW(table_->SetTranslated(true), EDatabaseError);
    table_->SetComment(u"comments may be written");
    table_->Post();

    std::vector<std::uint8_t> before = ReadTestFile(exe_);
    EXPECT_EQ(MessageOf<ELumInternalError>([&] { table_->Save(false); }),
              u"You can not save changes directly to the application exe (" + exe_ + u").");
    EXPECT_EQ(ReadTestFile(exe_), before);
}

TEST_F(TransTableModule, MissingAndUnpreparedModulesAreRefused) {
    std::u16string missing = folder_ + u"\\Ostrin.FRA";
    EXPECT_EQ(MessageOf<ELumGeneralError>([&] { table_->Load(exe_, missing); }),
              u"File " + missing + u" doesn't exist.");
    std::u16string unprepared = folder_ + u"\\capicom.dll";
    ASSERT_TRUE(CopyFileW(WinStr(TestBuildFolder() + u"\\standin\\capicom1\\capicom.dll"),
                          WinStr(unprepared), FALSE));
    EXPECT_EQ(MessageOf<ELumInternalError>([&] { table_->Load(exe_, unprepared); }),
              u"Internal Error: LUM.RSM or LUM_TRX_GUID resource not created.  (" + unprepared +
                  u")");
}

TEST_F(TransTableModule, SavingNothingTranslatedWritesTheEmptyLists) {
    WriteSideTexts(u"LumSysConst_SEndOfFile=TRUE\r\n", u"LumSysConst_SEndOfFile=note\r\n");
    table_->Load(exe_, module_);
    ASSERT_TRUE(table_->LocateTranID(u"LumSysConst_SEndOfFile"));
    table_->Edit();
    table_->SetTranslated(false);
    table_->SetComment(u"");
    table_->Post();
    table_->Save(false);
    EXPECT_FALSE(table_->Modified());
    EXPECT_EQ(ModuleText(u"LUM.XRS"), u".\r\n");
    EXPECT_EQ(ModuleText(u"LUM_TRX_XRC"), u".\r\n");
}

TEST_F(TransTableModule, SavedEditsMarksAndCommentsLoadAgain) {
    AddFormLines(u"TOSTRINFORM", kTranslatableMain);
    table_->Load(exe_, module_);
    ASSERT_TRUE(table_->LocateTranID(u"OstrinForm.Caption"));
    table_->Edit();
    table_->SetValue(u"CAPICOM 2.0 einrichten");
    table_->SetComment(u"Titelleiste");
    table_->SetTranslated(true);
    table_->Post();
    ASSERT_TRUE(table_->LocateTranID(u"LumSysConst_SOperationAborted"));
    table_->Edit();
    table_->SetValue(u"Vorgang abgebrochen");
    table_->Post();
    // With mark, a row whose value differs from its reference counts as translated.
    ASSERT_TRUE(table_->LocateTranID(u"LumSysConst_SResNotFound"));
    table_->Edit();
    table_->SetRefValue(u"Resource %s not found");
    table_->SetValue(u"Ressource %s fehlt");
    table_->Post();
    ASSERT_TRUE(table_->LocateTranID(u"LumSysConst_SEndOfFile"));
    table_->Edit();
    table_->SetRefValue(u"Read beyond end of file");
    table_->Post();
    ASSERT_TRUE(table_->LocateTranID(u"LumSysConst_SOperationAborted"));
    table_->Save(true);
    EXPECT_FALSE(table_->Modified());
    EXPECT_EQ(table_->TranID(), u"LumSysConst_SOperationAborted");

    EXPECT_EQ(ModuleText(u"LUM.XRS"),
              u"LumSysConst_SResNotFound=TRUE\r\nOstrinForm.Caption=TRUE\r\n");
    EXPECT_EQ(ModuleText(u"LUM_TRX_XRC"), u"OstrinForm.Caption=Titelleiste\r\n");
    TTable again = NewTable();
    again->Load(exe_, module_);
    ASSERT_TRUE(again->LocateTranID(u"OstrinForm.Caption"));
    EXPECT_EQ(again->Value(), u"CAPICOM 2.0 einrichten");
    EXPECT_TRUE(again->Translated());
    EXPECT_EQ(again->Comment(), u"Titelleiste");
    ASSERT_TRUE(again->LocateTranID(u"LumSysConst_SOperationAborted"));
    EXPECT_EQ(again->Value(), u"Vorgang abgebrochen");
    EXPECT_FALSE(again->Translated());
    EXPECT_EQ(ModuleString(again->StringTableID()), u"Vorgang abgebrochen");
    ASSERT_TRUE(again->LocateTranID(u"LumSysConst_SResNotFound"));
    EXPECT_EQ(again->Value(), u"Ressource %s fehlt");
    EXPECT_TRUE(again->Translated());
    // The module is still a sound, prepared module of this build.
    EXPECT_TRUE(IsModulePrepared(module_));
    EXPECT_TRUE(SameBuildIdentity(exe_, module_));
}

TEST_F(TransTableModule, AFailedSaveLeavesTheModuleAsItWas) {
    // Forms are written in the order of their names: the dialog's before the main form's.
    AddFormLines(u"TEXCEPTIONDIALOG", "  LumTranslatableProps.WideStrings = (\r\n"
                                      "    'Caption')\r\n");
    AddFormLines(u"TOSTRINFORM", kTranslatableMain);
    table_->Load(exe_, module_);
    ASSERT_TRUE(table_->LocateTranID(u"ExceptionDialog.Caption"));
    table_->Edit();
    table_->SetValue(u"Fehler");
    table_->Post();
    // A value text that no longer converts to a form stream: writing the main form fails.
    ASSERT_TRUE(table_->LocateTranID(u"OstrinForm.Caption"));
    table_->FrmProp()->Value = "'not ended";
    std::vector<std::uint8_t> before = ReadTestFile(module_);
    EXPECT_THROW(table_->Save(false), Exception);
    EXPECT_EQ(ReadTestFile(module_), before);
    EXPECT_TRUE(table_->Modified());
}

} // namespace
