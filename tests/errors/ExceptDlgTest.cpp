// The exception dialogs under Wine: the report they build, the details toggle, the message
// label that grows, the caption rules, and an exception raised while a dialog is open.

#include "errors/ExceptDlg.h"

#include "errors/LumStackTraceWin.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgExceptDlg.h"
#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestChecks.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumScopeGuard.h"
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

__attribute__((noinline)) void FailInTheWorker() {
    throw ELumGeneralError(u"Failed in the worker");
}

void SystemInfoForTests(TLumStringList& lines) {
    lines.Clear();
    lines.Add(u"first info line");
    lines.Add(u"second info line");
}

void FailingSystemInfo(TLumStringList& lines) {
    lines.Add(u"gathered before the failure");
    throw EOSError(u"System Error.  Code: 5.\r\nAccess is denied", 5);
}

void FailingEventLog(const std::u16string&, const std::vector<std::u16string>&) {
    RaiseOSError(ERROR_ACCESS_DENIED);
}

bool StackNames(const std::vector<std::u16string>& lines, std::u16string_view procedure) {
    int stack = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with(u"Stack list, generated ")) {
            stack = static_cast<int>(i);
        } else if (stack >= 0 && lines[i] == std::u16string(100, u'-')) {
            return false;
        } else if (stack >= 0 && lines[i].find(procedure) != std::u16string::npos) {
            return true;
        }
    }
    return false;
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
        DWORD end = GetTickCount() + 60000;
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
        // A message box over the dialog disables it and Escape is lost on it: press Escape
        // again until the dialog goes, so a slow machine cannot leave the test waiting.
        end = GetTickCount() + 60000;
        while (IsWindow(dialog) && IsWindowVisible(dialog) &&
               static_cast<int>(end - GetTickCount()) > 0) {
            if (IsWindowEnabled(dialog)) {
                PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
            }
            Sleep(200);
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
        // The running system is named (Wine's prefixes pass for Windows 7 or later).
        EXPECT_TRUE(lines[system].starts_with(u"System   : Windows ")) << WideToUtf8(lines[system]);
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

// A handler that raises and handles an exception of its own before it reports the one it
// handles: the report still shows the stack of the exception it reports.
TEST_F(ExceptionDialogs, TheStackIsTheOneOfTheReportedRaise) {
    try {
        RaiseOleFailure();
    } catch (Exception& error) {
        try {
            throw EListError(u"in between");
        } catch (const EListError&) {
        }
        TLumDbgExceptionDialog* dialog = Prepared(error);
        dialog->BuildDetails();
        auto lines = Lines(dialog->DetailsMemo->Text());
        dialog->Free();
        EXPECT_TRUE(StackNames(lines, u"ExceptDlgTest.RaiseOleFailure"));
    }
}

TEST_F(ExceptionDialogs, AFailingSectionCostsOnlyItself) {
    SetSystemInfoHook(&FailingSystemInfo);
    // A library whose file is moved away after it was loaded.
    std::u16string loaded = TempPath() + u"LumMovedModule.dll";
    std::u16string moved = TempPath() + u"LumMovedModule.moved";
    DeleteFileW(WinStr(moved));
    ASSERT_TRUE(CopyFileW(WinStr(StandinPath(u"noregister.dll")), WinStr(loaded), FALSE));
    TScopedLibrary library(LoadLibraryW(WinStr(loaded)));
    ASSERT_TRUE(library.IsValid());
    ASSERT_TRUE(MoveFileW(WinStr(loaded), WinStr(moved)));
    auto cleanUp = OnScopeExit([&] {
        library.Reset();
        DeleteFileW(WinStr(moved));
    });
    try {
        RaiseOleFailure();
    } catch (Exception& error) {
        TLumDbgExceptionDialog* dialog = Prepared(error);
        dialog->BuildDetails();
        auto lines = Lines(dialog->DetailsMemo->Text());
        dialog->Free();
        int module = -1;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i].ends_with(u"] " + loaded)) {
                module = static_cast<int>(i);
            }
        }
        ASSERT_GE(module, 0) << "the moved module is listed";
        // With its version as far as it can still be read (Wine reads the mapped image's),
        // else "(no version info)".
        EXPECT_TRUE(lines[module + 1].starts_with(std::u16string(11, u' ')) ||
                    lines[module + 1].starts_with(u"<"))
            << WideToUtf8(lines[module + 1]);
        // The other sections are all there, the hook's lines up to its failure too.
        EXPECT_TRUE(StackNames(lines, u"ExceptDlgTest.RaiseOleFailure"));
        EXPECT_GE(IndexOf(lines, u"System   : "), 0);
        EXPECT_GE(IndexOf(lines, u"Exception message: Unspecified error"), 0);
        int info = IndexOf(lines, u"gathered before the failure");
        ASSERT_GT(info, module);
        EXPECT_EQ(lines[info + 1], u"[The system information could not be built: EOSError: "
                                   u"System Error.  Code: 5. Access is denied]");
    }
}

TEST_F(ExceptionDialogs, AWorkerThreadsExceptionIsReportedWithItsThreadAndStack) {
    std::u16string details;
    std::u16string label;
    std::uint32_t worker = 0;
    {
        DialogDriver driver([&](HWND dialog) {
            WaitForDialogDetails(dialog);
            details = DialogDetailsText(dialog);
            label = DialogMessageText(dialog);
        });
        TLumDebugThread thread(u"Report worker", &FailInTheWorker);
        thread.Join();
        worker = thread.ThreadID();
        EXPECT_FALSE(thread.KeptException());
        // The hand-over comes with this thread's messages.
        Application()->ProcessMessages();
        EXPECT_TRUE(driver.Found());
    }
    auto lines = Lines(details);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], u"Exception class: ELumGeneralError");
    EXPECT_EQ(lines[1], Format(u"Thread: %u \"Report worker\"", worker));
    EXPECT_EQ(lines[2], u"Exception message: Failed in the worker");
    EXPECT_TRUE(StackNames(lines, u"ExceptDlgTest.FailInTheWorker"));
    EXPECT_EQ(label, u"Failed in the worker.");
    EXPECT_EQ(DebugThreadList().Count(), 0);
}

TEST_F(ExceptionDialogs, WithoutAThreadHookTheWorkerKeepsItsException) {
    TThreadExceptionHook hook = DebugThreadList().SetHook(nullptr);
    TLumDebugThread thread(u"Unheard worker", &FailInTheWorker);
    thread.Join();
    DebugThreadList().SetHook(hook);
    ASSERT_TRUE(thread.KeptException());
    EXPECT_THROW(std::rethrow_exception(thread.KeptException()), ELumGeneralError);
}

namespace {

// While it lives, the event log fails and the temporary folder is `temp`.
class TSavingTrouble {
  public:
    explicit TSavingTrouble(const std::u16string& temp) {
        previous_ = SetEventLogWriter(&FailingEventLog);
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH];
            DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
            saved_.push_back(length ? std::optional(FromWinStr(value, length)) : std::nullopt);
            if (!temp.empty()) {
                SetEnvironmentVariableW(name, WinStr(temp));
            }
        }
    }
    ~TSavingTrouble() {
        SetEventLogWriter(previous_);
        const wchar_t* names[] = {L"TMP", L"TEMP"};
        for (size_t i = 0; i < saved_.size(); ++i) {
            SetEnvironmentVariableW(names[i], saved_[i] ? WinStr(*saved_[i]) : nullptr);
        }
    }
    TSavingTrouble(const TSavingTrouble&) = delete;
    TSavingTrouble& operator=(const TSavingTrouble&) = delete;

  private:
    TEventLogWriter previous_;
    std::vector<std::optional<std::u16string>> saved_;
};

} // namespace

TEST_F(ExceptionDialogs, SavingFallsBackToFilesAndFailsAloud) {
    std::u16string name = FileNameWithoutExtension(OwnFileName());
    std::u16string temp = TempPath();
    std::u16string own = temp + name + u"\\";
    RemoveTree(own);
    {
        TSavingTrouble trouble(u"");
        // The event log fails: the numbered file in the program's own folder.
        TSavedErrorText saved = SaveErrorText(u"first\r\nsecond");
        EXPECT_FALSE(saved.EventLog);
        EXPECT_EQ(saved.Path, ErrorFileName(own, name, 1));
        TLumStringList text;
        text.LoadFromFile(saved.Path);
        EXPECT_EQ(text.Text(), u"first\r\nsecond\r\n");
        RemoveTree(own);

        // That folder cannot be made, for a file of its name: the temporary folder itself.
        WriteTestFile(temp + name, "in the way");
        saved = SaveErrorText(u"third");
        EXPECT_EQ(saved.Path, ErrorFileName(temp, name, 1));
        EXPECT_TRUE(IsFile(saved.Path));
        DeleteFileW(WinStr(saved.Path));
        DeleteFileW(WinStr(temp + name));
    }
    // Nowhere to write at all: the failure is raised, not swallowed.
    WriteTestFile(temp + u"LumNotAFolder", "");
    {
        TSavingTrouble trouble(temp + u"LumNotAFolder\\sub\\");
        std::u16string message = MessageOf<ELumGeneralError>([] { SaveErrorText(u"lost"); });
        EXPECT_TRUE(message.starts_with(u"The error report could not be saved: "))
            << WideToUtf8(message);
    }
    DeleteFileW(WinStr(temp + u"LumNotAFolder"));
}

TEST_F(ExceptionDialogs, ASecondExceptionThatCannotBeSavedIsToldFirst) {
    std::u16string temp = TempPath();
    WriteTestFile(temp + u"LumNotAFolder", "");
    TSavingTrouble trouble(temp + u"LumNotAFolder\\sub\\");
    TMessageBoxAnswerer answerer;
    TLumOwned<TLumTimer> timer(new TLumTimer(nullptr));
    timer->SetInterval(700);
    timer->OnTimer = TNotifyEvent([&](TLumPersistent* sender) {
        static_cast<TLumTimer*>(sender)->SetEnabled(false);
        throw ELumGeneralError(u"The second failure");
    });
    {
        DialogDriver driver([&](HWND) { Sleep(1500); });
        try {
            RaiseOleFailure();
        } catch (...) {
            Application()->HandleException(nullptr);
        }
    }
    DeleteFileW(WinStr(temp + u"LumNotAFolder"));
    auto boxes = answerer.Answered();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].Text.starts_with(u"The error report could not be saved: "));
    EXPECT_EQ(boxes[1].Text, u"The second failure");
}
