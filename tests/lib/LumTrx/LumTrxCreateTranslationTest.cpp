// Making translation modules from a copy of the built program, and making them again: the
// old module is only ever replaced by a complete new one.
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumTrxTable.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "tests/lib/LumTrx/LumTrxTestModules.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr TLangId kGerman = 0x0407;
constexpr char16_t kCaption[] = u"OstrinForm.Caption";
constexpr char kOutsideBlock[] = "LumTrxResourceUtils_SStringOutsideBlock";
constexpr char kExists[] = "LumTrxResourceUtils_STranslationExists";

// The lines of a side resource, in any order.
std::vector<std::u16string> SortedLines(std::u16string text) {
    std::vector<std::u16string> lines;
    for (size_t end = text.find(u"\r\n"); end != std::u16string::npos; end = text.find(u"\r\n")) {
        lines.push_back(text.substr(0, end));
        text.erase(0, end + 2);
    }
    EXPECT_EQ(text, u"") << "a line without its line break";
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::u16string Utf16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit, &LumTrxUtilsUnit};

class CreateTranslation : public TUnitsTest<kUnits> {
  protected:
    void SetUp() override {
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        ASSERT_TRUE(
            CopyFileW(WinStr(TestBuildFolder() + u"\\app\\Ostrin.exe"), WinStr(exe_), FALSE));
    }
    void TearDown() override { RemoveTree(folder_); }

    std::u16string folder_ = SystemTempPath() + u"LumTrxCreateTranslation";
    std::u16string exe_ = folder_ + u"\\Ostrin.exe";
    std::u16string module_ = folder_ + u"\\Ostrin.DEU";
};

class UpdateTranslation : public CreateTranslation {
  protected:
    void SetUp() override {
        CreateTranslation::SetUp();
        ASSERT_EQ(::CreateTranslation(exe_, kGerman), module_);
        SetModuleCaption(module_, u"CAPICOM 2.0 einrichten");
        old_ = ReadTestFile(module_);
        ASSERT_FALSE(old_.empty());
    }

    void ExpectOldModuleKept() {
        EXPECT_EQ(ReadTestFile(module_), old_);
        EXPECT_FALSE(FileExists(module_ + u".tmp"));
    }

    std::vector<std::uint8_t> old_;
};

} // namespace

TEST_F(CreateTranslation, GivesAPreparedModuleOfThisBuildAndNeverOverwritesOne) {
    std::u16string made = ::CreateTranslation(exe_, kGerman);
    EXPECT_EQ(made, module_);
    EXPECT_TRUE(IsModulePrepared(made));
    EXPECT_TRUE(SameBuildIdentity(exe_, made));
    EXPECT_TRUE(IsSoundResourceModule(made));

    SetModuleCaption(made, u"translated");
    std::vector<std::uint8_t> translated = ReadTestFile(made);
    try {
        ::CreateTranslation(exe_, kGerman);
        ADD_FAILURE() << "made the translation twice";
    } catch (const ELumInternalError& error) {
        EXPECT_EQ(error.Message(),
                  u"Internal Error: This translation already exists (" + module_ + u").");
    }
    EXPECT_EQ(ReadTestFile(made), translated);
}

TEST_F(CreateTranslation, GivesFormatStringsIndexesAndMarksNothingTranslated) {
    std::u16string made = ::CreateTranslation(exe_, kGerman);
    // With indexes a translation may take the arguments in another order.
    EXPECT_EQ(ModuleString(made, ResourceStringId(exe_, kOutsideBlock)),
              u"Internal Error: String %0:d does not belong to string table block %1:d.");
    EXPECT_EQ(ModuleString(made, ResourceStringId(exe_, kExists)),
              u"Internal Error: This translation already exists (%s).");
    EXPECT_EQ(ModuleText(made, u"LUM.XRS"), u".\r\n");
    EXPECT_EQ(ModuleText(made, u"LUM_TRX_XRC"), u".\r\n");
}

TEST_F(CreateTranslation, AModuleThatCannotBeCompletedIsNotLeftBehind) {
    // A program without resources to copy: the copy fails after the template was written.
    std::u16string empty = folder_ + u"\\Empty.exe";
    WriteTestBytes(empty, {'M', 'Z'});
    EXPECT_THROW(::CreateTranslation(empty, kGerman), Exception);
    EXPECT_FALSE(FileExists(folder_ + u"\\Empty.DEU"));
}

TEST_F(UpdateTranslation, TheNewModuleReplacesTheOldOnlyWhenCompleteWithTheTranslations) {
    bool carried = false;
    ::UpdateTranslation(exe_, module_,
                        [&](const std::u16string& oldModule, const std::u16string& newModule) {
                            EXPECT_EQ(oldModule, module_);
                            EXPECT_EQ(newModule, module_ + u".tmp");
                            EXPECT_EQ(ReadTestFile(oldModule), old_);
                            EXPECT_TRUE(IsModulePrepared(newModule));
                            SetModuleCaption(newModule, u"carried over");
                            carried = true;
                        });
    EXPECT_TRUE(carried);
    EXPECT_FALSE(FileExists(module_ + u".tmp"));
    EXPECT_TRUE(IsModulePrepared(module_));
    EXPECT_TRUE(SameBuildIdentity(exe_, module_));
    std::vector<std::uint8_t> updated = ReadTestFile(module_);
    EXPECT_NE(updated, old_);
    std::optional<TPeImage> image = TPeImage::Parse(updated);
    ASSERT_TRUE(image);
    std::string form;
    for (const TPeResource& resource : image->Resources()) {
        if (resource.Type == RcDataType() && resource.Name == TResId(u"TOSTRINFORM")) {
            std::span<const std::uint8_t> data = image->ResourceData(resource);
            form = FormBinaryToText(std::string(data.begin(), data.end()));
        }
    }
    EXPECT_NE(form.find("Caption = 'carried over'"), std::string::npos) << form;
}

TEST_F(UpdateTranslation, TheModuleOfThisBuildKeepsTheTranslationsCommentsAndMarks) {
    {
        TLumOwned<TLumTransTable> table(new TLumTransTable(nullptr));
        table->Load(exe_, module_);
        ASSERT_TRUE(table->LocateTranID(kCaption));
        table->Edit();
        table->SetValue(u"CAPICOM 2.0 einrichten");
        table->SetTranslated(true);
        table->Post();
        ASSERT_TRUE(table->LocateTranID(Utf16(kOutsideBlock)));
        table->Edit();
        table->SetValue(u"Interner Fehler: Block %1:d hat keinen String %0:d.");
        table->SetComment(u"Argumente vertauscht");
        table->SetTranslated(true);
        table->Post();
        table->Save(false);
    }
    SetModuleIdentity(module_, u"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    ASSERT_FALSE(SameBuildIdentity(exe_, module_));

    ::UpdateTranslation(exe_, module_);
    EXPECT_TRUE(SameBuildIdentity(exe_, module_));
    EXPECT_FALSE(FileExists(module_ + u".tmp"));
    EXPECT_EQ(ModuleString(module_, ResourceStringId(exe_, kOutsideBlock)),
              u"Interner Fehler: Block %1:d hat keinen String %0:d.");
    EXPECT_EQ(ModuleString(module_, ResourceStringId(exe_, kExists)),
              u"Internal Error: This translation already exists (%s).");
    EXPECT_EQ(SortedLines(ModuleText(module_, u"LUM.XRS")),
              (std::vector<std::u16string>{Utf16(kOutsideBlock) + u"=TRUE",
                                           std::u16string(kCaption) + u"=TRUE"}));
    EXPECT_EQ(ModuleText(module_, u"LUM_TRX_XRC"),
              Utf16(kOutsideBlock) + u"=Argumente vertauscht\r\n");
    TLumOwned<TLumTransTable> table(new TLumTransTable(nullptr));
    table->Load(exe_, module_);
    ASSERT_TRUE(table->LocateTranID(kCaption));
    EXPECT_EQ(table->Value(), u"CAPICOM 2.0 einrichten");
}

TEST_F(UpdateTranslation, AFailureHalfWayLeavesTheOldModuleAsItWas) {
    // The translations cannot be carried over: the new module was complete but is dropped.
    EXPECT_THROW(::UpdateTranslation(exe_, module_,
                                     [](const std::u16string&, const std::u16string&) {
                                         throw ELumGeneralError(u"no table");
                                     }),
                 ELumGeneralError);
    ExpectOldModuleKept();

    // The temporary file is held by another program: the new module cannot even be begun.
    std::u16string building = module_ + u".tmp";
    {
        TScopedFile locked(
            CreateFileW(WinStr(building), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(locked);
        bool carried = false;
        EXPECT_THROW(::UpdateTranslation(
                         exe_, module_,
                         [&](const std::u16string&, const std::u16string&) { carried = true; }),
                     EOSError);
        EXPECT_FALSE(carried);
        EXPECT_EQ(ReadTestFile(module_), old_);
    }
    DeleteFileW(WinStr(building));
}

TEST_F(UpdateTranslation, AModuleOfAnotherNameThanItsLanguagesIsAnAssertion) {
    std::u16string other = folder_ + u"\\Ostrin.XYZ";
    ASSERT_TRUE(CopyFileW(WinStr(module_), WinStr(other), FALSE));
    try {
        ::UpdateTranslation(exe_, other, [](const std::u16string&, const std::u16string&) {});
        ADD_FAILURE() << "updated a module of no language";
    } catch (const EAssertionFailed& error) {
        EXPECT_EQ(error.Message(), u"Assertion failure (LumTrx\\LumTrxResourceUtils, line 422)");
    }
    EXPECT_EQ(ReadTestFile(other), old_);
    EXPECT_FALSE(FileExists(other + u".tmp"));
}
