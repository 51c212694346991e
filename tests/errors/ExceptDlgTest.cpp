// The exception dialogs under Wine: the report they build, the details toggle, the message
// label that grows, the caption rules, and an exception raised while a dialog is open.

#include "errors/ExceptDlg.h"

#include "errors/LumStackTraceWin.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgExceptDlg.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumPersist.h"
#include "toolkit/res/LumResourceStream.h"
#include "toolkit/ui/LumClipboard.h"
#include "toolkit/ui/LumTimer.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit,     &LumLXUtilsUnit,     &LumFormsUnit,
                         &LumBasicControlsUnit, &LumTimerUnit,       &LumStackTraceUnit,
                         &ExceptDlgUnit,        &LumDbgExceptDlgUnit};

// A known place to raise from: its frame must show in the report's stack.
__attribute__((noinline)) void RaiseOleFailure() {
    throw EOleSysError::FromCode(static_cast<std::int32_t>(0x80004005), u"Unspecified error");
}

void SystemInfoForTests(TLumStringList& lines) {
    lines.Clear();
    lines.Add(u"first info line");
    lines.Add(u"second info line");
}

std::vector<std::u16string> Lines(const std::u16string& text) {
    return SplitLines(text);
}

int IndexOf(const std::vector<std::u16string>& lines, std::u16string_view prefix) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].substr(0, prefix.size()) == prefix) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

class ExceptionDialogs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        units_.emplace(kUnits);
        Application()->SetTitle(u"DialogTest");
    }
    static void TearDownTestSuite() {
        units_->Stop();
        units_.reset();
    }
    void SetUp() override { SetSystemInfoHook(&SystemInfoForTests); }
    void TearDown() override { SetSystemInfoHook(nullptr); }

    // A program dialog prepared for the exception being handled, not shown.
    static TLumDbgExceptionDialog* Prepared(const Exception& error) {
        auto* dialog = TLumCustomForm::Create<TLumDbgExceptionDialog>(Application());
        PrepareExceptionDialog(*dialog, error);
        return dialog;
    }

    static std::optional<TUnitSequence> units_;
};

std::optional<TUnitSequence> ExceptionDialogs::units_;

// Drives a modal dialog from another thread: waits for it, runs the steps, then presses
// Escape (the dialog closes) and waits for the dialog to go.
class DialogDriver {
  public:
    using Step = std::function<void(HWND dialog)>;

    explicit DialogDriver(Step step) : thread_([this, step] { Run(step); }) {}
    ~DialogDriver() { thread_.join(); }
    bool Found() const { return found_; }

  private:
    void Run(const Step& step) {
        HWND dialog = nullptr;
        DWORD end = GetTickCount() + 15000;
        while (!dialog && static_cast<int>(end - GetTickCount()) > 0) {
            for (HWND candidate : {FindProcessWindow(GetCurrentProcessId(), L"TLumForm")}) {
                if (candidate && IsWindowEnabled(candidate)) {
                    dialog = candidate;
                }
            }
            Sleep(30);
        }
        if (!dialog) {
            return;
        }
        found_ = true;
        step(dialog);
        PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        for (int i = 0; i < 200 && IsWindow(dialog) && IsWindowVisible(dialog); ++i) {
            Sleep(20);
        }
    }

    bool found_ = false;
    std::thread thread_;
};

} // namespace

TEST_F(ExceptionDialogs, ReportHasItsSectionsInOrder) {
    try {
        RaiseOleFailure();
    } catch (Exception& error) {
        TLumDbgExceptionDialog* dialog = Prepared(error);
        EXPECT_EQ(dialog->HandledException(), &error);
        dialog->BuildDetails();
        auto lines = Lines(dialog->DetailsMemo->Text());
        dialog->Free();

        ASSERT_GE(lines.size(), 10u);
        EXPECT_EQ(lines[0], u"Exception class: EOleSysError");
        EXPECT_EQ(lines[1].substr(0, 19), u"Exception address: ");
        EXPECT_EQ(lines[1].size(), 27u);
        EXPECT_EQ(lines[2], u"Exception message: Unspecified error");
        EXPECT_EQ(lines[3], u"OLE Exception Code: 0x80004005 (-2147467259)");
        EXPECT_EQ(lines[4], std::u16string(100, u'-'));
        int stack = IndexOf(lines, u"Stack list, generated ");
        int system = IndexOf(lines, u"System   : ");
        int modules = IndexOf(lines, u"List of loaded modules:");
        int info = IndexOf(lines, u"first info line");
        ASSERT_EQ(stack, 5);
        EXPECT_LT(stack, system);
        EXPECT_EQ(lines[system + 1].substr(0, 11), u"Processor: ");
        EXPECT_EQ(lines[system + 2].substr(0, 11), u"Display  : ");
        EXPECT_EQ(lines[system + 3], std::u16string(100, u'-'));
        EXPECT_EQ(modules, system + 4);
        EXPECT_GT(info, modules);
        EXPECT_EQ(lines[info + 1], u"second info line");
        EXPECT_EQ(info + 2, static_cast<int>(lines.size()));
        // The frame of the function that raised names its unit and procedure.
        bool named = false;
        for (int i = stack + 1; i < system; ++i) {
            named =
                named || lines[i].find(u"ExceptDlgTest.RaiseOleFailure") != std::u16string::npos;
        }
        EXPECT_TRUE(named);
    }
}

TEST_F(ExceptionDialogs, NoCapturedStackNoStackSection) {
    ELumGeneralError error(u"never thrown");
    GlobalStackList().Clear();
    TLumDbgExceptionDialog* dialog = Prepared(error);
    dialog->BuildDetails();
    auto lines = Lines(dialog->DetailsMemo->Text());
    dialog->Free();
    EXPECT_EQ(IndexOf(lines, u"Stack list"), -1);
    // Not the exception being handled: no message lines either.
    EXPECT_EQ(IndexOf(lines, u"Exception message:"), -1);
    EXPECT_EQ(lines[2], std::u16string(100, u'-'));
    EXPECT_EQ(lines[3].substr(0, 11), u"System   : ");
}

TEST_F(ExceptionDialogs, OpensCollapsedAndTogglesItsDetails) {
    ELumGeneralError error(u"Something went wrong");
    TLumDbgExceptionDialog* dialog = Prepared(error);
    dialog->Show();
    EXPECT_EQ(dialog->DetailsBtn->Caption(), u"&Details >>");
    EXPECT_EQ(dialog->ClientHeight(), dialog->Bevel1->Top());
    EXPECT_FALSE(dialog->ClipboardBtn->Visible());
    EXPECT_FALSE(dialog->DetailsMemo->Enabled());
    int collapsed = dialog->Height();

    dialog->DetailsBtnClick(dialog->DetailsBtn);
    EXPECT_EQ(dialog->DetailsBtn->Caption(), u"<< &Details");
    EXPECT_TRUE(dialog->ClipboardBtn->Visible());
    EXPECT_TRUE(dialog->EmailBtn->Visible());
    EXPECT_TRUE(dialog->DetailsMemo->Enabled());
    EXPECT_EQ(dialog->ClientHeight(), 257);
    EXPECT_EQ(dialog->DetailsMemo->Height(), 257 - dialog->DetailsMemo->Top() - 3);
    EXPECT_TRUE(dialog->DetailsBuilt);

    dialog->DetailsBtnClick(dialog->DetailsBtn);
    EXPECT_EQ(dialog->DetailsBtn->Caption(), u"&Details >>");
    EXPECT_FALSE(dialog->EmailBtn->Visible());
    EXPECT_EQ(dialog->Height(), collapsed);
    dialog->Free();
}

TEST_F(ExceptionDialogs, LongMessageGrowsTheLabelAndMovesWhatIsBelow) {
    std::u16string message;
    for (int i = 0; i < 12; ++i) {
        message += u"A long message that needs several lines of the label to be read. ";
    }
    ELumGeneralError error(message);
    TLumDbgExceptionDialog* dialog = Prepared(error);
    int label = dialog->TextLabel->Height();
    int ok = dialog->OkBtn->Top();
    int details = dialog->DetailsBtn->Top();
    int bevel = dialog->Bevel1->Top();
    int memo = dialog->DetailsMemo->Top();
    int height = dialog->Height();
    dialog->FitMessageLabel();
    int growth = dialog->TextLabel->Height() - label;
    EXPECT_GT(growth, 0);
    EXPECT_EQ(dialog->OkBtn->Top(), ok + growth);
    EXPECT_EQ(dialog->DetailsBtn->Top(), details + growth);
    EXPECT_EQ(dialog->Bevel1->Top(), bevel + growth);
    EXPECT_EQ(dialog->DetailsMemo->Top(), memo + growth);
    EXPECT_EQ(dialog->Height(), height + growth);
    dialog->Free();

    // A one-line message leaves the layout as stored.
    ELumGeneralError shortError(u"Short.");
    dialog = Prepared(shortError);
    label = dialog->TextLabel->Height();
    dialog->FitMessageLabel();
    EXPECT_EQ(dialog->TextLabel->Height(), label);
    dialog->Free();
}

TEST_F(ExceptionDialogs, MessageTextGetsAFullStopAndCrLfBreaks) {
    struct Case {
        const char16_t* message;
        const char16_t* label;
    };
    const Case cases[] = {{u"Done.", u"Done."}, {u"", u"."}, {u"one\ntwo", u"one\r\ntwo."}};
    for (const Case& c : cases) {
        ELumGeneralError error(c.message);
        TLumDbgExceptionDialog* dialog = Prepared(error);
        EXPECT_EQ(dialog->TextLabel->Text(), c.label);
        dialog->Free();
    }
}

TEST_F(ExceptionDialogs, ShownModallyWithTheCaptionRule) {
    std::u16string caption;
    std::u16string label;
    std::u16string details;
    {
        DialogDriver driver([&](HWND dialog) {
            WaitForDialogDetails(dialog);
            caption = WindowText(dialog);
            details = DialogDetailsText(dialog);
        });
        try {
            RaiseOleFailure();
        } catch (...) {
            Application()->HandleException(nullptr);
        }
    }
    EXPECT_EQ(caption, u"DialogTest  (Application Error)");
    EXPECT_EQ(details.substr(0, 29), u"Exception class: EOleSysError");
    EXPECT_FALSE(ExceptionDialogShowing());
    EXPECT_EQ(CurrentDialog(), nullptr);

    {
        DialogDriver driver([&](HWND dialog) {
            caption = WindowText(dialog);
            label = DialogMessageText(dialog);
        });
        try {
            throw ELumGeneralError(u"Misused");
        } catch (...) {
            Application()->HandleException(nullptr);
        }
        EXPECT_TRUE(driver.Found());
    }
    EXPECT_EQ(caption, u"DialogTest");
    EXPECT_EQ(label, u"Misused.");
}

TEST_F(ExceptionDialogs, SecondExceptionIsSavedAndShownInTheStandardBox) {
    TMessageBoxAnswerer answerer;
    int dialogs = 0;
    // A failure while the dialog is open: a timer that raises once.
    TLumOwned<TLumTimer> timer(new TLumTimer(nullptr));
    timer->SetInterval(700);
    timer->OnTimer = TNotifyEvent([&](TLumPersistent* sender) {
        static_cast<TLumTimer*>(sender)->SetEnabled(false);
        throw ELumGeneralError(u"The second failure");
    });
    {
        DialogDriver driver([&](HWND) {
            Sleep(1500);
            dialogs = CountProcessWindows(GetCurrentProcessId(), L"TLumForm");
        });
        try {
            RaiseOleFailure();
        } catch (...) {
            Application()->HandleException(nullptr);
        }
    }
    auto boxes = answerer.Answered();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, u"The second failure");
    EXPECT_EQ(boxes[0].Caption, u"DialogTest");
    EXPECT_EQ(dialogs, 1) << "a second dialog was opened";
}

TEST_F(ExceptionDialogs, ErrorFilesAreNumbered) {
    std::u16string first = WriteErrorFile(u"line one\r\nline two");
    std::u16string second = WriteErrorFile(u"another");
    std::u16string folder = TempPath() + FileNameWithoutExtension(OwnFileName()) + u"\\";
    EXPECT_EQ(first, ErrorFileName(folder, FileNameWithoutExtension(OwnFileName()), 1));
    EXPECT_EQ(second, ErrorFileName(folder, FileNameWithoutExtension(OwnFileName()), 2));
    TLumStringList text;
    text.LoadFromFile(first);
    EXPECT_EQ(text.Text(), u"line one\r\nline two\r\n");
    DeleteFileW(WinStr(first));
    DeleteFileW(WinStr(second));
    RemoveDirectoryW(WinStr(folder));
}

TEST_F(ExceptionDialogs, CopyingTheReport) {
    ELumGeneralError error(u"Copy me");
    TLumDbgExceptionDialog* dialog = Prepared(error);
    dialog->BuildDetails();
    std::uint16_t key = 'C';
    dialog->FormKeyDown(dialog, key, TShiftState{TShiftStateFlag::ssCtrl});
    EXPECT_EQ(AnsiToWide(ClipboardText()), dialog->ReportText());
    EXPECT_EQ(dialog->ReportText().substr(0, 12), u"Copy me.\r\n\r\n");
    dialog->ClipboardBtnClick(dialog->ClipboardBtn);
    EXPECT_EQ(ClipboardWideText(), dialog->DetailsMemo->Text());
    // Escape closes with Cancel; other keys go on.
    key = VK_ESCAPE;
    dialog->FormKeyDown(dialog, key, TShiftState{});
    EXPECT_EQ(dialog->ModalResult(), mrCancel);
    dialog->Free();
}

namespace {

std::string FormText(const std::string& binary) {
    TLumMemoryStream in(binary);
    TLumMemoryStream out;
    ObjectBinaryToText(in, out);
    return out.Bytes();
}

std::string StoredFormText(const char16_t* resource) {
    TLumResourceStream stream(MainInstance(), TResId(resource), RcDataType());
    return FormText(std::string(reinterpret_cast<const char*>(stream.Memory()),
                                static_cast<size_t>(stream.Size())));
}

std::string WrittenFormText(TLumComponent& form, TLumComponent* ancestor) {
    TLumMemoryStream written;
    WriteComponent(written, form, ancestor);
    return FormText(written.Bytes());
}

} // namespace

// The dialogs' forms as streamed in (without OnCreate, which changes them at run time) write
// back to their stored texts; the program's as differences from the base dialog.
TEST_F(ExceptionDialogs, DialogFormsWriteBackTheirStreams) {
    auto* base = TLumCustomForm::CreateNew<TExceptionDialog>(Application());
    ReadFormResources(*base, TExceptionDialog::StaticClass(), TLumForm::StaticClass());
    auto* program = TLumCustomForm::CreateNew<TLumDbgExceptionDialog>(Application());
    ReadFormResources(*program, TLumDbgExceptionDialog::StaticClass(), TLumForm::StaticClass());
    EXPECT_EQ(WrittenFormText(*base, nullptr), StoredFormText(u"TEXCEPTIONDIALOG"));
    EXPECT_EQ(WrittenFormText(*program, base), StoredFormText(u"TLUMDBGEXCEPTIONDIALOG"));
    program->Free();
    base->Free();
}

TEST_F(ExceptionDialogs, TwoReportsInOneLogFile) {
    std::u16string path = TempPath() + u"LumExceptDlgTest_Err.log";
    DeleteFileW(WinStr(path));
    for (const char* report : {"first report  \r\nline", "second report"}) {
        TSimpleExceptionLog log(path);
        log.WriteHeader(30);
        log.WriteLines(report, 2);
        log.CloseFile();
        EXPECT_FALSE(log.IsOpen());
    }
    TLumMemoryStream file;
    file.LoadFromFile(path);
    std::vector<std::string> lines = SplitLines(file.Bytes());
    DeleteFileW(WinStr(path));
    ASSERT_EQ(lines.size(), 10u);
    const std::string equals(30, '=');
    EXPECT_EQ(lines[0], equals);
    EXPECT_EQ(lines[1].size(), 30u);
    EXPECT_EQ(lines[1].substr(0, 2), "= ");
    EXPECT_EQ(lines[2], equals);
    EXPECT_EQ(lines[3], "  first report");
    EXPECT_EQ(lines[4], "  line");
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], equals);
    EXPECT_EQ(lines[8], equals);
    EXPECT_EQ(lines[9], "  second report");
    // Without a name the log sits beside the executable.
    EXPECT_EQ(TSimpleExceptionLog().FileName(),
              IncludeTrailingBackslash(PathFolder(OwnFileName())) + u"ExceptDlgTest_Err.log");
}
