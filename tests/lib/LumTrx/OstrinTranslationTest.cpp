// Ostrin.exe with translation modules beside it, in a Wine prefix of its own: the modules are
// made by the test from the built program, the program is run from a folder of the test, and
// its message boxes and the caption of its main form are read from its windows.

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "tests/lib/LumTrx/LumTrxTestModules.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumBuildIdentity.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

namespace {

constexpr char16_t kEnglish[] = u"CAPICOM 2.0 setup";
constexpr char16_t kGerman[] = u"CAPICOM 2.0 einrichten";
constexpr char16_t kNotPrepared[] = u"The translation resource was not properly prepared.  The "
                                    u"application will run without a translation.";

// The program, started; ended by force if it still runs when the test is over.
class Started {
  public:
    explicit Started(const std::u16string& exe, std::u16string_view arguments = {}) {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::u16string commandLine = u"\"" + exe + u"\" " + std::u16string(arguments);
        PROCESS_INFORMATION pi{};
        EXPECT_TRUE(CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.data()), nullptr,
                                   nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        process_.Reset(pi.hProcess);
        CloseHandle(pi.hThread);
        id_ = pi.dwProcessId;
    }
    ~Started() {
        if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.Get(), 1);
            WaitForSingleObject(process_.Get(), 5000);
        }
    }

    /// The main form once it shows the caption; null when it never does.
    HWND WaitForForm(std::u16string_view caption) {
        return WaitForProcessWindowWithCaption(id_, L"TLumForm", caption, 20000);
    }
    /// The message box's text, after pressing its OK button; nothing when none appears.
    std::optional<TAnsweredBox> AnswerMessageBox() {
        HWND box = WaitForProcessWindow(id_, L"#32770", 20000);
        if (!box) {
            return std::nullopt;
        }
        TAnsweredBox answered{WindowText(box), MessageBoxText(box)};
        PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        return answered;
    }
    bool Ends(DWORD milliseconds = 30000) {
        return WaitForSingleObject(process_.Get(), milliseconds) == WAIT_OBJECT_0;
    }
    int MessageBoxes() { return CountProcessWindows(id_, L"#32770"); }

  private:
    TScopedKernelHandle process_;
    DWORD id_ = 0;
};

class OstrinTranslation : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        ASSERT_TRUE(CopyFileW(WinStr(built_), WinStr(exe_), FALSE));
        exeLong_ = LongPathName(exe_);
    }
    void TearDown() override {
        Configure(std::nullopt);
        RemoveTree(folder_);
    }

    void Configure(std::optional<std::u16string> ext) { ConfigureTranslation(exeLong_, ext); }

    void MakeModule(std::u16string_view ext, const TTestModuleOptions& options) {
        MakeTestModule(container_, built_, ResourceModuleFileName(exe_, ext), options);
    }

    std::u16string folder_ = SystemTempPath() + u"OstrinTranslation";
    std::u16string built_ = TestBuildFolder() + u"\\app\\Ostrin.exe";
    std::u16string container_ = TestBuildFolder() + u"\\standin\\capicom1\\capicom.dll";
    std::u16string exe_ = folder_ + u"\\Ostrin.exe";
    std::u16string exeLong_;
};

} // namespace

TEST_F(OstrinTranslation, TheConfiguredModuleOfThisBuildTranslatesTheMainForm) {
    MakeModule(u"DEU", TTestModuleOptions().WithCaption(kGerman));
    Configure(u"DEU");
    Started program(exe_);
    // A message box would keep the form from being created at all.
    EXPECT_TRUE(program.WaitForForm(kGerman));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, AModuleCreatedFromTheProgramIsTakenAtStartUp) {
    std::u16string module;
    {
        TUnit* const units[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit,
                                &LumTrxUtilsUnit};
        TUnitSequence started(units);
        module = CreateTranslation(exe_, 0x0407);
    }
    ASSERT_EQ(module, ResourceModuleFileName(exe_, u"DEU"));
    EXPECT_TRUE(IsModulePrepared(module));
    // A translator's change shows that the program's texts come from the module.
    SetModuleCaption(module, kGerman);
    Configure(u"DEU");
    Started program(exe_);
    EXPECT_TRUE(program.WaitForForm(kGerman));
    EXPECT_EQ(program.MessageBoxes(), 0);
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, AnEmptyConfiguredExtensionFallsThroughToTheThreadLocale) {
    std::u16string abbreviation = ThreadLocaleAbbreviation();
    ASSERT_EQ(abbreviation.size(), 3u);
    MakeModule(abbreviation.substr(0, 2), TTestModuleOptions().WithCaption(kGerman));
    Configure(u"");
    {
        Started program(exe_);
        EXPECT_TRUE(program.WaitForForm(kGerman));
        EXPECT_TRUE(program.Ends());
    }
    MakeModule(abbreviation, TTestModuleOptions().WithCaption(u"CAPICOM 2.0 (three letters)"));
    Started program(exe_);
    EXPECT_TRUE(program.WaitForForm(u"CAPICOM 2.0 (three letters)"));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, WithoutAModuleNothingIsShownBeforeTheForm) {
    Configure(u"DEU");
    Started program(exe_);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, AModuleWithoutIdentityIsReportedAndTheProgramsTextsAreUsed) {
    MakeModule(u"DEU", TTestModuleOptions().WithCaption(kGerman).WithIdentity(
                           std::u16string(kBuildIdentityPlaceholder)));
    Configure(u"DEU");
    Started program(exe_);
    std::optional<TAnsweredBox> box = program.AnswerMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Caption, u"");
    EXPECT_EQ(box->Text, kNotPrepared);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
}

// The notice comes from the executable's own strings, not from the module put aside.
TEST_F(OstrinTranslation, AnUnpreparedModuleWithoutStringsIsReportedInTheProgramsWords) {
    MakeModule(u"DEU", TTestModuleOptions()
                           .WithIdentity(std::u16string(kBuildIdentityPlaceholder))
                           .WithoutStrings());
    Configure(u"DEU");
    Started program(exe_);
    std::optional<TAnsweredBox> box = program.AnswerMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Text, kNotPrepared);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, ATruncatedModuleIsReportedAndDoesNotStopTheProgram) {
    MakeModule(u"DEU", TTestModuleOptions().WithCaption(kGerman));
    std::u16string module = ResourceModuleFileName(exe_, u"DEU");
    std::vector<std::uint8_t> bytes = ReadTestFile(module);
    bytes.resize(bytes.size() * 2 / 3);
    WriteTestBytes(module, bytes);
    Configure(u"DEU");
    Started program(exe_);
    std::optional<TAnsweredBox> box = program.AnswerMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Text, kNotPrepared);
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, AModuleOfAnotherBuildIsPutAsideWithTheUpdatesMessage) {
    MakeModule(u"DEU", TTestModuleOptions().WithCaption(kGerman).WithIdentity(
                           u"{01234567-89AB-CDEF-0123-456789ABCDEF}"));
    Configure(u"DEU");
    Started program(exe_);
    std::optional<TAnsweredBox> box = program.AnswerMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Caption, u"");
    EXPECT_EQ(box->Text, u"The translation resource " + exeLong_.substr(0, exeLong_.size() - 3) +
                             u"DEU was made for another build of this program, and this program "
                             u"cannot update it.");
    EXPECT_TRUE(program.WaitForForm(kEnglish));
    EXPECT_TRUE(program.Ends());
}

TEST_F(OstrinTranslation, UnattendedTheNoticeWaitsForNoAnswer) {
    MakeModule(u"DEU",
               TTestModuleOptions().WithIdentity(std::u16string(kBuildIdentityPlaceholder)));
    Configure(u"DEU");
    Started program(exe_, u"/S");
    // A message box would keep the program from ending.
    bool ended = false;
    int boxes = 0;
    for (int waited = 0; waited < 30000 && !ended; waited += 100) {
        boxes = std::max(boxes, program.MessageBoxes());
        ended = program.Ends(100);
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(boxes, 0);
}
