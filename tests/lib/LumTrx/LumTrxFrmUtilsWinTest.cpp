// Form resources as form text models under Wine: every form of the built program loads and
// renders back, forms written into a library read back with a changed value, and a text that
// does not render back leaves its two files where they can be written.
#include "lib/LumTrx/LumTrxFrmUtilsWin.h"

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumTrxMinimumDllWin.h"
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit};

const std::u16string ostrinExe = TestBuildFolder() + u"\\app\\Ostrin.exe";

std::string ReadText(const std::u16string& path) {
    TLumFileStream file(path, fmOpenRead);
    std::string text(static_cast<size_t>(file.Size()), '\0');
    file.ReadBuffer(text.data(), text.size());
    return text;
}

const TFrmForm* FormNamed(const TFrmFormList& forms, std::string_view name) {
    for (const auto& form : forms) {
        if (form->Name == name) {
            return form.get();
        }
    }
    return nullptr;
}

class FrmUtils : public TUnitsTest<kUnits> {};

} // namespace

TEST_F(FrmUtils, TheProgramsFormsLoadAndWriteBack) {
    TFrmFormList forms;
    TFrmPropertyList properties;
    {
        TScopedLibrary program = LoadDataModule(ostrinExe);
        ReadTranslationInfo(program.Get(), ostrinExe, forms, properties);
    }
    ASSERT_EQ(forms.size(), 4u);
    const TFrmForm* main = FormNamed(forms, "OstrinForm");
    ASSERT_NE(main, nullptr);
    TFrmProperty* caption = nullptr;
    for (TFrmProperty* property : properties) {
        ASSERT_NE(property->Holder, nullptr);
        if (property->FullName == "OstrinForm.Caption") {
            caption = property;
        }
    }
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(ConvertForReading(*caption), u"CAPICOM 2.0 setup");
    ConvertForWriting(*caption, u"CAPICOM 2.0 Einrichtung \u00E4");

    std::u16string module = SystemTempPath() + u"LumTrxFrmUtilsTest.dll";
    TLumFileStream(module, fmCreate)
        .WriteBuffer(MinimumDllImage().data(), MinimumDllImage().size());
    auto remove = OnScopeExit([&] { DeleteFileW(WinStr(module)); });
    {
        std::unique_ptr<TLumResourceUpdate> update = BeginResourceUpdate(module, true);
        WriteForms(*update, forms);
        update->Commit();
    }
    TFrmFormList again;
    TFrmPropertyList againProperties;
    TScopedLibrary written = LoadDataModule(module);
    ReadTranslationInfo(written.Get(), module, again, againProperties);
    ASSERT_EQ(again.size(), forms.size());
    for (const auto& form : forms) {
        const TFrmForm* read = FormNamed(again, form->Name);
        ASSERT_NE(read, nullptr) << form->Name;
        EXPECT_EQ(read->Render(), form->Render());
    }
    EXPECT_NE(
        FormNamed(again, "OstrinForm")->Render().find("Caption = 'CAPICOM 2.0 Einrichtung '#228"),
        std::string::npos);
}

TEST_F(FrmUtils, ATextThatDoesNotRenderBackLeavesItsFiles) {
    // Three spaces indent the property: it parses, and renders with two.
    const std::string text = "object A: TA\r\n   X = 1\r\nend\r\n";
    const std::string rendered = "object A: TA\r\n  X = 1\r\nend\r\n";
    auto failure = [&] {
        TFrmForm form;
        TFrmPropertyList properties;
        try {
            LoadFormFromText(form, text, &properties);
        } catch (const ELumInternalError& error) {
            EXPECT_TRUE(properties.empty());
            return error.Message();
        }
        return std::u16string(u"no error");
    };
    auto expected = [](const std::u16string& folder) {
        return u"Internal Error: Form text did not render correctly.  See the files: \r\n  " +
               folder + u"Lum_Original_Form.txt\r\n  " + folder + u"Lum_Rendered_Form.txt";
    };
    std::u16string original = u"c:\\Lum_Original_Form.txt";
    std::u16string temp = TempFolder();
    auto cleanUp = OnScopeExit([&] {
        RemoveDirectoryW(WinStr(original));
        for (const std::u16string& folder : {std::u16string(u"c:\\"), temp}) {
            DeleteFileW(WinStr(folder + u"Lum_Original_Form.txt"));
            DeleteFileW(WinStr(folder + u"Lum_Rendered_Form.txt"));
        }
    });

    EXPECT_EQ(failure(), expected(u"c:\\"));
    EXPECT_EQ(ReadText(original), text);
    EXPECT_EQ(ReadText(u"c:\\Lum_Rendered_Form.txt"), rendered);

    // Where the root cannot take the file, the temporary folder does.
    DeleteFileW(WinStr(original));
    ASSERT_TRUE(CreateDirectoryW(WinStr(original), nullptr));
    EXPECT_EQ(failure(), expected(temp));
    EXPECT_EQ(ReadText(temp + u"Lum_Original_Form.txt"), text);
    EXPECT_EQ(ReadText(temp + u"Lum_Rendered_Form.txt"), rendered);
}
