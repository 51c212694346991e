// The translatable form under Wine: its two name lists in form streams (with and without an
// ancestor), renames that the lists follow, its interface, and a form created while a
// translation module is the active resource module.

#include "lib/LumTrx/LumTrxForms.h"

#include "app/OstrinFrm.h"
#include "tests/lib/LumTrx/LumTrxTestModules.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumPersist.h"
#include "toolkit/ui/LumBasicControls.h"
#include "toolkit/ui/LumTimer.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumBasicControlsUnit, &LumTimerUnit};

std::vector<std::u16string> Strings(const TLumStringList& list) {
    std::vector<std::u16string> strings;
    for (int i = 0; i < list.Count(); ++i) {
        strings.push_back(list.Strings(i));
    }
    return strings;
}

TLumStringList& ListOf(std::initializer_list<std::u16string> strings) {
    static TLumStringList list;
    list.Clear();
    for (const std::u16string& text : strings) {
        list.Add(text);
    }
    return list;
}

class TrxForms : public TUnitsTest<kUnits> {
  protected:
    // The main form from its resource, its timer stopped so that no setup can run.
    // The main form's own list gives way: each test sets the lists it is about.
    static TOstrinForm* NewForm() {
        TOstrinForm* form = TLumTrxForm::Create<TOstrinForm>(Application());
        form->Timer1->SetEnabled(false);
        form->SetLumTranslatableProps(ListOf({}));
        return form;
    }

    static std::string Written(TOstrinForm& form, TOstrinForm* ancestor = nullptr) {
        TLumMemoryStream stream;
        WriteComponent(stream, form, ancestor);
        return stream.Bytes();
    }
};

} // namespace

TEST_F(TrxForms, AFormWithoutListsStoresNone) {
    TLumOwned<TOstrinForm> form(NewForm());
    EXPECT_EQ(form->LumTranslatableProps()->Count(), 0);
    EXPECT_EQ(form->LumInlineClasses()->Count(), 0);
    EXPECT_EQ(FormBinaryToText(Written(*form)).find("WideStrings"), std::string::npos);
}

TEST_F(TrxForms, ListsGoThroughTheStreamSortedAndWithoutDuplicates) {
    TLumOwned<TOstrinForm> form(NewForm());
    form->SetLumTranslatableProps(
        ListOf({u"Timer1.Tag", u"Caption", u"caption", u"Hint", u"\u00DCberschrift.Caption"}));
    form->SetLumInlineClasses(ListOf({u"TFrame2", u"TFrame1", u"TFRAME1"}));
    EXPECT_EQ(Strings(*form->LumTranslatableProps()),
              (std::vector<std::u16string>{u"Caption", u"Hint", u"Timer1.Tag",
                                           u"\u00DCberschrift.Caption"}));
    EXPECT_EQ(Strings(*form->LumInlineClasses()),
              (std::vector<std::u16string>{u"TFrame1", u"TFrame2"}));

    std::string binary = Written(*form);
    std::string text = FormBinaryToText(binary);
    EXPECT_NE(text.find("  LumTranslatableProps.WideStrings = (\r\n"
                        "    'Caption'\r\n"
                        "    'Hint'\r\n"
                        "    'Timer1.Tag'\r\n"
                        "    #220'berschrift.Caption')\r\n"
                        "  LumInlineClasses.WideStrings = (\r\n"
                        "    'TFrame1'\r\n"
                        "    'TFrame2')\r\n"),
              std::string::npos)
        << text;

    // Without a layout of its own, so that the stream makes its timer.
    TLumOwned<TOstrinForm> copy(TLumCustomForm::CreateNew<TOstrinForm>(Application()));
    copy->SetLumTranslatableProps(ListOf({u"Stale"}));
    TLumMemoryStream stream(binary);
    ReadComponent(stream, *copy);
    EXPECT_EQ(Strings(*copy->LumTranslatableProps()), Strings(*form->LumTranslatableProps()));
    EXPECT_EQ(Strings(*copy->LumInlineClasses()), Strings(*form->LumInlineClasses()));
}

TEST_F(TrxForms, ReadingTakesAnsiItemsAndCollapsesDuplicatesButRefusesOtherValues) {
    TLumOwned<TOstrinForm> form(NewForm());
    std::string text = "object OstrinForm: TOstrinForm\r\n"
                       "  LumTranslatableProps.WideStrings = (\r\n"
                       "    'Caption'\r\n"
                       "    'CAPTION'\r\n"
                       "    'A'#1058)\r\n"
                       "end\r\n";
    TLumMemoryStream stream(FormTextToBinary(text));
    ReadComponent(stream, *form);
    EXPECT_EQ(Strings(*form->LumTranslatableProps()),
              (std::vector<std::u16string>{u"A\u0422", u"Caption"}));

    TLumMemoryStream wrong(FormTextToBinary("object OstrinForm: TOstrinForm\r\n"
                                            "  LumInlineClasses.WideStrings = (\r\n"
                                            "    12)\r\n"
                                            "end\r\n"));
    EXPECT_THROW(ReadComponent(wrong, *form), EReadError);
}

TEST_F(TrxForms, AnEmptyListIsStoredOnlyAgainstAnAncestorWhoseListIsNot) {
    TLumOwned<TOstrinForm> ancestor(NewForm());
    TLumOwned<TOstrinForm> form(NewForm());
    EXPECT_EQ(FormBinaryToText(Written(*form, ancestor.get())).find("WideStrings"),
              std::string::npos);

    ancestor->SetLumTranslatableProps(ListOf({u"Caption"}));
    std::string text = FormBinaryToText(Written(*form, ancestor.get()));
    EXPECT_NE(text.find("LumTranslatableProps.WideStrings = ()"), std::string::npos) << text;
    EXPECT_EQ(text.find("LumInlineClasses.WideStrings"), std::string::npos) << text;

    // Reading the empty list over an inherited one empties it.
    TLumMemoryStream stream(FormTextToBinary(text));
    ReadComponent(stream, *ancestor);
    EXPECT_EQ(ancestor->LumTranslatableProps()->Count(), 0);
}

TEST_F(TrxForms, EntriesFollowTheRenameOfTheirComponent) {
    TLumOwned<TOstrinForm> form(NewForm());
    auto* button = new TLumButton(form.get());
    button->SetName(u"Button1");
    auto* panel = new TLumButton(form.get());
    panel->SetName(u"Panel1");
    form->SetLumTranslatableProps(ListOf({u"Caption", u"Button1.Caption", u"Panel1.Caption",
                                          u"Button1.Font.Name", u"button1.Hint"}));

    button->SetName(u"OkButton");
    EXPECT_EQ(Strings(*form->LumTranslatableProps()),
              (std::vector<std::u16string>{u"Button1.Font.Name", u"Caption", u"OkButton.Caption",
                                           u"OkButton.Hint", u"Panel1.Caption"}));

    // A name the toolkit refuses leaves the list alone.
    std::vector<std::u16string> before = Strings(*form->LumTranslatableProps());
    EXPECT_THROW(button->SetName(u"Panel1"), EComponentError);
    EXPECT_THROW(button->SetName(u"1st"), EComponentError);
    EXPECT_EQ(Strings(*form->LumTranslatableProps()), before);

    // From or to no name: nothing follows.
    button->SetName(u"");
    EXPECT_EQ(Strings(*form->LumTranslatableProps()), before);
    button->SetName(u"OkButton");
    EXPECT_EQ(Strings(*form->LumTranslatableProps()), before);
}

TEST_F(TrxForms, TheInterfaceHandsOutTheFormsLists) {
    TLumOwned<TOstrinForm> form(NewForm());
    ILumTrxForm* trx = nullptr;
    ASSERT_EQ(form->QueryInterface(IID_ILumTrxForm, reinterpret_cast<void**>(&trx)), S_OK);
    EXPECT_EQ(trx->GetTranslatableProps(), form->LumTranslatableProps());
    EXPECT_EQ(trx->GetInlineClasses(), form->LumInlineClasses());
    constexpr GUID kOtherInterface = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* other = &trx;
    EXPECT_EQ(form->QueryInterface(kOtherInterface, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(TrxForms, AFormCreatedWhileATranslationIsActiveIsTranslatedAtOnce) {
    std::u16string folder = SystemTempPath() + u"LumTrxFormsTest";
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryW(WinStr(folder), nullptr));
    std::u16string module = folder + u"\\Ostrin.DEU";
    MakeTestModule(
        TestBuildFolder() + u"\\standin\\capicom1\\capicom.dll",
        TestBuildFolder() + u"\\app\\Ostrin.exe", module,
        TTestModuleOptions().WithCaption(u"CAPICOM 2.0 einrichten \u2013 \u00DCbersetzung"));
    HMODULE translation = LoadLibraryExW(WinStr(module), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(translation);
    InstallResourceModule(translation);
    {
        TLumOwned<TOstrinForm> form(NewForm());
        EXPECT_EQ(form->Caption(), u"CAPICOM 2.0 einrichten \u2013 \u00DCbersetzung");
        EXPECT_EQ(form->Timer1->Interval(), 250);
    }
    InstallResourceModule(MainInstance());
    TLumOwned<TOstrinForm> form(NewForm());
    EXPECT_EQ(form->Caption(), u"CAPICOM 2.0 setup");
    RemoveTree(folder);
}
