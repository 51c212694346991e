#include "errors/ExceptDlg.h"

#include "errors/LumStackTraceWin.h"
#include "rstr/LumForms.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumClipboard.h"

#include <utility>

namespace {

TExceptionDialog* dialog = nullptr;
DWORD mainThreadId = 0;
TExceptionDialogClass dialogClass = &CreateBaseExceptionDialog;
bool dialogShowing = false;
// The application's hook before this module started, put back when it stops.
TExceptionHook replacedHook;
TThreadExceptionHook replacedThreadHook = nullptr;

// Texts of the message label: a full stop at the end, CR LF line breaks.
std::u16string LabelText(const std::u16string& message) {
    std::u16string text;
    for (size_t i = 0; i < message.size(); ++i) {
        char16_t c = message[i];
        if (c == u'\r' || c == u'\n') {
            text += u"\r\n";
            if (c == u'\r' && i + 1 < message.size() && message[i + 1] == u'\n') {
                ++i;
            }
        } else {
            text += c;
        }
    }
    if (text.empty() || text.back() != u'.') {
        text += u'.';
    }
    return text;
}

void Start() {
    mainThreadId = GetCurrentThreadId();
    TraceOptions().Include(TTraceOption::toRawStackScan).Include(TTraceOption::toKeepModuleList);
    StartExceptionTracking();
    replacedHook = Application()->SetExceptionHook(&HandleApplicationException);
    replacedThreadHook = DebugThreadList().SetHook(&HandleThreadException);
    RegisterComponentClass(TExceptionDialog::StaticClass());
}

void Stop() {
    DebugThreadList().SetHook(std::exchange(replacedThreadHook, nullptr));
    TExceptionHook replaced = std::exchange(replacedHook, nullptr);
    if (Application()) {
        Application()->SetExceptionHook(std::move(replaced));
    }
    StopExceptionTracking();
}

// Presents the exception unless a dialog shows already; then it goes to the standard box.
void Present(Exception& error, const TLumThreadException* thread) {
    if (dialogShowing) {
        Application()->ShowException(error);
        return;
    }
    TRestore<bool> showing(dialogShowing, true);
    PresentException(error, thread);
}

} // namespace

TUnit ExceptDlgUnit("ExceptDlg", &Start, &Stop);

TExceptionDialogClass SetExceptionDialogClass(TExceptionDialogClass newClass) {
    return std::exchange(dialogClass, newClass);
}

bool ExceptionDialogShowing() {
    return dialogShowing;
}

TExceptionDialog* CreateBaseExceptionDialog(TLumComponent* owner) {
    return TLumCustomForm::Create<TExceptionDialog>(owner);
}

TExceptionDialog::TExceptionDialog(TLumComponent* owner) : TLumForm(owner) {
    SetMessageHandler(UM_BUILD_DETAILS, [this](TMessage& m) { BuildDetailsMessage(m); });
}

TExceptionDialog::~TExceptionDialog() = default;

const TLumClass& TExceptionDialog::StaticClass() {
    using D = TExceptionDialog;
    static const TLumClass cls = TLumClassBuilder<D>("TExceptionDialog", &TLumForm::StaticClass())
                                     .Field("OkBtn", &D::OkBtn)
                                     .Field("DetailsMemo", &D::DetailsMemo)
                                     .Field("DetailsBtn", &D::DetailsBtn)
                                     .Field("Bevel1", &D::Bevel1)
                                     .Field("TextLabel", &D::TextLabel)
                                     .Method("FormCreate", &D::FormCreate)
                                     .Method("FormDestroy", &D::FormDestroy)
                                     .Method("FormShow", &D::FormShow)
                                     .Method("FormPaint", &D::FormPaint)
                                     .Method("FormResize", &D::FormResize)
                                     .Method("FormKeyDown", &D::FormKeyDown)
                                     .Method("DetailsBtnClick", &D::DetailsBtnClick)
                                     .Build();
    return cls;
}

void TExceptionDialog::FormCreate(TLumPersistent*) {
    Log = std::make_unique<TSimpleExceptionLog>();
    ExpandedClientHeight = ClientHeight();
    SetDetailsShown(false);
    SetCaption(Format(u"%s - application error", Application()->Title()));
}

void TExceptionDialog::FormDestroy(TLumPersistent*) {
    Log.reset();
}

void TExceptionDialog::FormShow(TLumPersistent*) {
    BeforeBuildDetails();
    MessageBeep(MB_ICONHAND);
    // On the main thread the details are built once the dialog is on screen.
    if (ShownOnMainThread && GetWindowThreadProcessId(Handle(), nullptr) == mainThreadId) {
        PostMessageToSelf(UM_BUILD_DETAILS);
    } else {
        BuildDetails();
    }
}

void TExceptionDialog::BuildDetailsMessage(TMessage&) {
    Repaint();
    BuildDetails();
}

void TExceptionDialog::FormPaint(TLumPersistent*) {
    HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_HAND));
    Canvas().DrawIcon(TextLabel->Left() - GetSystemMetrics(SM_CXICON) - 15, TextLabel->Top(), icon);
}

void TExceptionDialog::FormResize(TLumPersistent*) {
    UpdateMessageScrollBar();
}

void TExceptionDialog::FormKeyDown(TLumPersistent*, std::uint16_t& key, TShiftState shift) {
    if (key == 'C' && shift.Contains(TShiftStateFlag::ssCtrl)) {
        CopyReportToClipboard();
        MessageBeep(MB_OK);
    }
}

void TExceptionDialog::DetailsBtnClick(TLumPersistent*) {
    SetDetailsShown(!DetailsShown);
}

void TExceptionDialog::BuildDetails() {
    Screen()->SetCursor(crHourGlass);
    DetailsMemo->Lines()->BeginUpdate();
    auto finish = OnScopeExit([this] {
        DetailsMemo->Lines()->EndUpdate();
        OkBtn->SetEnabled(true);
        DetailsBtn->SetEnabled(true);
        if (OkBtn->CanFocus()) {
            OkBtn->SetFocus();
        }
        Screen()->SetCursor(crDefault);
    });
    FillDetails();
    WriteReportToLog();
    DetailsMemo->SetSelStart(0);
    DetailsMemo->ScrollCaret();
    AfterBuildDetails();
}

void TExceptionDialog::FillDetails() {
    AppendReportSections(rsAll);
}

void TExceptionDialog::SetDetailsShown(bool show) {
    DetailsShown = show;
    std::u16string base;
    for (char16_t c : DetailsBtn->Caption()) {
        if (c != u'<' && c != u'>') {
            base += c;
        }
    }
    size_t first = base.find_first_not_of(u' ');
    base = first == std::u16string::npos
               ? std::u16string()
               : base.substr(first, base.find_last_not_of(u' ') - first + 1);
    std::u16string caption;
    if (show) {
        Constraints()->SetMinHeight(CollapsedHeight + 100);
        Constraints()->SetMaxHeight(Screen()->Height());
        caption = u"<< " + base;
        SetClientHeight(ExpandedClientHeight);
        DetailsMemo->SetHeight(ExpandedClientHeight - DetailsMemo->Top() - 3);
    } else {
        ExpandedClientHeight = ClientHeight();
        caption = base + u" >>";
        if (CollapsedHeight != 0) {
            SetHeight(CollapsedHeight);
        } else {
            SetClientHeight(Bevel1->Top());
            CollapsedHeight = Height();
        }
        Constraints()->SetMinHeight(CollapsedHeight);
        Constraints()->SetMaxHeight(CollapsedHeight);
    }
    DetailsBtn->SetCaption(caption);
    DetailsMemo->SetEnabled(show);
}

std::u16string TExceptionDialog::ReportText() {
    std::u16string text = TextLabel->Text();
    if (text.size() < 2 || text.substr(text.size() - 2) != u"\r\n") {
        text += u"\r\n";
    }
    return text + u"\r\n" + DetailsMemo->Text();
}

void TExceptionDialog::CopyReportToClipboard() {
    ClipboardSetText(WideToAnsi(ReportText()));
}

void TExceptionDialog::WriteReportToLog() {
    if (!(Tag() & edtWriteLog)) {
        return;
    }
    Log->WriteHeader(SeparatorWidth());
    auto close = OnScopeExit([this] { Log->CloseFile(); });
    Log->WriteLines(WideToAnsi(ReportText()), 0);
}

void TExceptionDialog::UpdateMessageScrollBar() {
    if (Tag() & edtNoMessageScrollBar) {
        return;
    }
    Canvas().Font().Assign(*TextLabel->Font());
    int lineHeight = Canvas().TextHeight(u"Wg");
    TextLabel->ShowVerticalScrollBar(TextLabel->LineCount() * lineHeight >
                                     TextLabel->ClientHeight());
}

void TExceptionDialog::AppendSectionSeparator() {
    AppendDetails({std::string(static_cast<size_t>(SeparatorWidth()), SeparatorChar())});
}

void TExceptionDialog::AppendDetails(const TReportLines& lines) {
    std::u16string text = DetailsMemo->Text();
    for (const std::string& line : lines) {
        text += AnsiToWide(line) + u"\r\n";
    }
    DetailsMemo->SetText(text);
}

void TExceptionDialog::InsertDetailsLine(int index, const std::string& line) {
    DetailsMemo->Lines()->Insert(index, AnsiToWide(line));
}

void TExceptionDialog::AppendReportSections(unsigned sections) {
    TReportLines lines;
    if (sections & rsStackList) {
        AppendReportSection(StackSectionName(), lines, [this](TReportLines& section) {
            AppendStackSection(ExceptionStack.get(), section);
        });
    }
    if (sections & rsSystem) {
        AppendReportSection(SystemSectionName(), lines, &AppendSystemSection);
    }
    if (sections & rsModules) {
        AppendReportSection(ModulesSectionName(), lines, &AppendModulesSection);
    }
    if (sections & rsActiveControls) {
        AppendReportSection(ActiveControlsSectionName(), lines, [this](TReportLines& section) {
            AppendActiveControlsSection(LastActiveControl, section);
        });
    }
    AppendDetails(lines);
}

void PrepareExceptionDialog(TExceptionDialog& dialog, const Exception& error,
                            const TLumThreadException* thread) {
    dialog.ExceptionStack = thread ? thread->Stack : CapturedStackOf(error);
    dialog.ShownOnMainThread = GetCurrentThreadId() == mainThreadId;
    dialog.LastActiveControl = Screen()->ActiveControl();
    dialog.TextLabel->SetText(LabelText(error.Message()));
    dialog.UpdateMessageScrollBar();
    dialog.AppendDetails(
        {Format("Exception class: %s", error.ClassName()),
         thread ? ThreadLine(thread->ThreadID, WideToAnsi(thread->ThreadName))
                : Format("Exception address: %p", RaiseAddressOf(error)),
         std::string(static_cast<size_t>(dialog.SeparatorWidth()), dialog.SeparatorChar())});
}

void PresentException(Exception& error, const TLumThreadException* thread) {
    if (!dialog) {
        dialog = dialogClass(Application());
    }
    auto release = OnScopeExit([] {
        if (TExceptionDialog* d = std::exchange(dialog, nullptr)) {
            d->Free();
        }
    });
    PrepareExceptionDialog(*dialog, error, thread);
    dialog->ShowModal();
}

void HandleApplicationException(TLumPersistent*, Exception& error) {
    Present(error, nullptr);
}

void HandleThreadException(const TLumThreadException& handed) {
    // Presented from within a handler of the exception, as on the user-interface thread, so
    // that the dialog finds the exception it presents.
    try {
        std::rethrow_exception(handed.Error);
    } catch (const EAbort&) {
    } catch (Exception& error) {
        Present(error, &handed);
    } catch (const std::exception& error) {
        Exception wrapped(Utf8ToWide(error.what()));
        Present(wrapped, &handed);
    } catch (...) {
        Exception unknown(LoadResString(LumForms::SUnknownException));
        Present(unknown, &handed);
    }
}
