#include "lib/LumTrx/LumDbgExceptDlg.h"

#include "errors/LumStackTraceWin.h"
#include "lib/LumLX/LumLXMapiUtils.h"
#include "lib/LumLX/LumLXUtils.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumClipboard.h"

#include <algorithm>
#include <utility>

std::u16string SupportEmailAddress;

namespace {

TSystemInfoHook systemInfoHook = nullptr;
TLumDbgExceptionDialog* currentDialog = nullptr;
// What this module's start replaced, put back when it stops.
TExceptionDialogClass replacedClass = nullptr;
TExceptionHook replacedHook;

// Under the development environment of this name the details are built only on request.
constexpr char16_t kDevelopmentHost[] = u"LumIde32.exe";

TExceptionDialog* CreateProgramDialog(TLumComponent* owner) {
    return TLumCustomForm::Create<TLumDbgExceptionDialog>(owner);
}

// The lines the system information hook supplies, converted to ANSI; nothing when no hook is
// set. When the hook fails, the lines it gave so far stay, and a line says what failed.
void AppendSystemInfoBlock(TReportLines& lines) {
    if (!systemInfoHook) {
        return;
    }
    TLumStringList info;
    std::exception_ptr failure;
    try {
        systemInfoHook(info);
    } catch (...) {
        failure = std::current_exception();
    }
    for (int i = 0; i < info.Count(); ++i) {
        lines.push_back(WideToAnsi(info.Strings(i)));
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

std::u16string JoinLines(const TReportLines& lines) {
    std::u16string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += u"\r\n";
        }
        text += AnsiToWide(lines[i]);
    }
    return text;
}

void Start() {
    replacedClass = SetExceptionDialogClass(&CreateProgramDialog);
    replacedHook = Application()->SetExceptionHook(&HandleSecondaryException);
    RegisterComponentClass(TLumDbgExceptionDialog::StaticClass());
}

void Stop() {
    TExceptionHook replaced = std::exchange(replacedHook, nullptr);
    if (Application()) {
        Application()->SetExceptionHook(std::move(replaced));
    }
    SetExceptionDialogClass(std::exchange(replacedClass, nullptr));
    SupportEmailAddress.clear();
}

} // namespace

TUnit LumDbgExceptDlgUnit("LumDbgExceptDlg", &Start, &Stop);

TSystemInfoHook SetSystemInfoHook(TSystemInfoHook hook) {
    return std::exchange(systemInfoHook, hook);
}

TLumDbgExceptionDialog* CurrentDialog() {
    return currentDialog;
}

TLumDbgExceptionDialog::TLumDbgExceptionDialog(TLumComponent* owner) : TExceptionDialog(owner) {
    currentDialog = this;
    std::u16string exe = OwnFileName();
    DetailsAllowed = !SameAsciiText(exe.substr(exe.find_last_of(u"\\/:") + 1), kDevelopmentHost);
}

TLumDbgExceptionDialog::~TLumDbgExceptionDialog() {
    currentDialog = nullptr;
}

const TLumClass& TLumDbgExceptionDialog::StaticClass() {
    using D = TLumDbgExceptionDialog;
    static const TLumClass cls =
        TLumClassBuilder<D>("TLumDbgExceptionDialog", &TExceptionDialog::StaticClass())
            .Field("ClipboardBtn", &D::ClipboardBtn)
            .Field("EmailBtn", &D::EmailBtn)
            .Method("ClipboardBtnClick", &D::ClipboardBtnClick)
            .Method("EmailBtnClick", &D::EmailBtnClick)
            .Method("DetailsMemoDblClick", &D::DetailsMemoDblClick)
            .Build();
    return cls;
}

Exception* TLumDbgExceptionDialog::HandledException() {
    std::exception_ptr current = std::current_exception();
    if (!current || DetailsMemo->Lines()->Count() == 0) {
        return nullptr;
    }
    std::u16string first = DetailsMemo->Lines()->Get(0);
    try {
        std::rethrow_exception(current);
    } catch (Exception& error) {
        if (first.find(AsciiToWide(error.ClassName())) != std::u16string::npos) {
            return &error;
        }
    } catch (...) {
    }
    return nullptr;
}

TModalResult TLumDbgExceptionDialog::ShowModal() {
    MessageBeep(MB_ICONHAND);
    Exception* handled = HandledException();
    if (handled) {
        ExceptionMessage = handled->Message();
    }
    const std::u16string& title = Application()->Title();
    if (dynamic_cast<ELumGeneralError*>(handled)) {
        SetCaption(title);
    } else {
        SetCaption(Format(u"%s  (Application Error)", title));
    }
    FitMessageLabel();
    ChooseDetailsFont();
    return TLumForm::ShowModal();
}

void TLumDbgExceptionDialog::FitMessageLabel() {
    RECT bounds{0, 0, TextLabel->ClientWidth() - 14, Screen()->Height()};
    std::u16string text = TextLabel->Text();
    std::replace(text.begin(), text.end(), u':', u' ');
    int measured = Canvas().DrawText(text, bounds, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL);
    int limit = Screen()->Height() - 2 * (ExpandedClientHeight - Bevel1->Top()) -
                (Height() - TextLabel->ClientHeight()) - DetailsMemo->Left();
    int growth = std::min(measured, limit) - TextLabel->ClientHeight();
    if (growth <= 0) {
        return;
    }
    for (TLumControl* below : std::initializer_list<TLumControl*>{
             DetailsBtn, ClipboardBtn, EmailBtn, OkBtn, Bevel1, DetailsMemo}) {
        below->SetTop(below->Top() + growth);
    }
    TextLabel->SetHeight(TextLabel->Height() + growth);
    Constraints()->SetMaxHeight(Height() + growth);
    SetHeight(Height() + growth);
    ExpandedClientHeight += growth;
    CollapsedHeight += growth;
}

void TLumDbgExceptionDialog::ChooseDetailsFont() {
    if (Screen()->HasFont(DetailsMemo->Font()->Name())) {
        return;
    }
    if (Screen()->HasFont(u"Courier New")) {
        DetailsMemo->Font()->SetName(u"Courier New");
    } else {
        DetailsMemo->SetParentFont(true);
    }
}

void TLumDbgExceptionDialog::BeforeBuildDetails() {
    if (!DetailsAllowed || DetailsBuilt) {
        Abort();
    }
}

void TLumDbgExceptionDialog::FillDetails() {
    TReportLines messageLines;
    AppendReportSection(MessageSectionName(), messageLines, [this](TReportLines& lines) {
        if (Exception* handled = HandledException()) {
            lines.push_back(ExceptionMessageLine(WideToAnsi(handled->Message())));
            if (auto ole = dynamic_cast<EOleSysError*>(handled)) {
                lines.push_back(OleCodeLine(ole->ErrorCode()));
            }
        }
    });
    // Before the opening lines' separator; a message with line breaks of its own stays whole.
    int at = 2;
    for (const std::string& line : messageLines) {
        InsertDetailsLine(at, line);
        at += std::max<int>(1, static_cast<int>(SplitLines(line).size()));
    }
    TExceptionDialog::FillDetails();
    TReportLines info;
    AppendReportSection(SystemInfoSectionName(), info, &AppendSystemInfoBlock);
    AppendDetails(info);
}

void TLumDbgExceptionDialog::AfterBuildDetails() {
    DetailsBuilt = true;
}

void TLumDbgExceptionDialog::DetailsBtnClick(TLumPersistent* sender) {
    DetailsAllowed = true;
    try {
        if (!DetailsBuilt) {
            SendMessageToSelf(UM_BUILD_DETAILS);
        }
        TExceptionDialog::DetailsBtnClick(sender);
        ClipboardBtn->SetVisible(DetailsShown);
        EmailBtn->SetVisible(DetailsShown);
    } catch (const EAbort&) {
        throw;
    } catch (const Exception& error) {
        DetailsBuilt = true;
        AppendDetails({"===============================", "==   LUM DEBUG PARSE ERROR   ==",
                       "===============================", error.ClassName(),
                       WideToAnsi(error.Message())});
    }
}

void TLumDbgExceptionDialog::FormKeyDown(TLumPersistent* sender, std::uint16_t& key,
                                         TShiftState shift) {
    if (key == VK_ESCAPE) {
        SetModalResult(mrCancel);
        return;
    }
    TExceptionDialog::FormKeyDown(sender, key, shift);
}

void TLumDbgExceptionDialog::FormPaint(TLumPersistent*) {
    Canvas().DrawIcon(10, 11, LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_HAND)));
}

void TLumDbgExceptionDialog::ClipboardBtnClick(TLumPersistent*) {
    ClipboardSetWideText(DetailsMemo->Text());
}

void TLumDbgExceptionDialog::EmailBtnClick(TLumPersistent*) {
    std::u16string attachment = NewGarbageCollectedFolder() + std::u16string(ErrorReportFileName);
    SaveAnsiTextFile(attachment, DetailsMemo->Text());
    SendMailViaMapi(
        ErrorReportMail(Application()->Title(), ExceptionMessage, attachment, SupportEmailAddress));
}

void TLumDbgExceptionDialog::DetailsMemoDblClick(TLumPersistent*) {
    if (!KeyIsDown(VK_SHIFT)) {
        return;
    }
    std::u16string file = NewGarbageCollectedFileName(u".txt");
    SaveAnsiTextFile(file, DetailsMemo->Text());
    ShellOpen(file, u"", u"", SW_SHOW);
}

void HandleSecondaryException(TLumPersistent* sender, Exception& error) {
    if (TLumDbgExceptionDialog* dialog = currentDialog) {
        // Taken first: building the details below may raise and catch exceptions of its own.
        std::shared_ptr<const TLumStackInfoList> stack = CapturedStackOf(error);
        try {
            if (!dialog->ReportSaved) {
                if (!dialog->DetailsBuilt) {
                    // Counted as built before the attempt: a build that fails again comes
                    // back here and must not try once more.
                    dialog->DetailsAllowed = true;
                    dialog->DetailsBuilt = true;
                    dialog->SendMessageToSelf(UM_BUILD_DETAILS);
                }
                // A failed build came back here and may have saved the report already.
                if (!dialog->ReportSaved) {
                    SaveErrorText(dialog->DetailsMemo->Text());
                    dialog->ReportSaved = true;
                }
            }
            TReportLines lines = {"<----Secondary Exception Stack Trace---->", error.ClassName(),
                                  WideToAnsi(error.Message()), ""};
            AppendStackFrames(stack.get(), lines);
            SaveErrorText(JoinLines(lines));
        } catch (const Exception& failure) {
            // The report could be kept nowhere: the user hears of it before the error itself.
            Application()->ShowException(failure);
        }
    }
    if (replacedHook) {
        replacedHook(sender, error);
    } else {
        Application()->ShowException(error);
    }
}
