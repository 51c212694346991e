#pragma once
// The program's exception dialog: the base dialog with a clipboard and an e-mail button, the
// system information block, and the saving of errors that happen while it is open. Also the
// support address that reports are mailed to and the hook that supplies the system
// information block.

#include "errors/ExceptDlg.h"
#include "toolkit/base/LumUnits.h"

#include <string>

class TLumStringList;

/// The maker's support address; the program entry assigns it first thing.
extern std::u16string SupportEmailAddress;

/// Fills a list with the system information lines of a report.
using TSystemInfoHook = void (*)(TLumStringList& lines);
/// Makes `hook` the builder of the system information block (none: the block is empty) and
/// answers the one it replaces, for whoever installs one to put back when it stops.
TSystemInfoHook SetSystemInfoHook(TSystemInfoHook hook);

class TLumDbgExceptionDialog : public TExceptionDialog {
  public:
    explicit TLumDbgExceptionDialog(TLumComponent* owner);
    ~TLumDbgExceptionDialog() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TLumButton* ClipboardBtn = nullptr;
    TLumButton* EmailBtn = nullptr;

    /// Details may be built as soon as the dialog shows.
    bool DetailsAllowed = true;
    /// Built, or given up after a failed attempt; never false again.
    bool DetailsBuilt = false;
    /// The report was saved because of a secondary exception.
    bool ReportSaved = false;
    /// The presented exception's message, for the e-mail.
    std::u16string ExceptionMessage;

    TModalResult ShowModal() override;
    void BeforeBuildDetails() override;
    void FillDetails() override;
    void AfterBuildDetails() override;

    void DetailsBtnClick(TLumPersistent* sender) override;
    void FormKeyDown(TLumPersistent* sender, std::uint16_t& key, TShiftState shift) override;
    void FormPaint(TLumPersistent* sender) override;
    void ClipboardBtnClick(TLumPersistent* sender);
    void EmailBtnClick(TLumPersistent* sender);
    void DetailsMemoDblClick(TLumPersistent* sender);

    /// The exception being handled now when the details' first line names its class; null
    /// otherwise.
    Exception* HandledException();
    /// Grows the message label until the message fits (within the screen), moving the
    /// controls below it down by as much.
    void FitMessageLabel();
    /// A fixed-pitch font for the details that the system has.
    void ChooseDetailsFont();
};

/// The live program dialog, or null.
TLumDbgExceptionDialog* CurrentDialog();

/// The hook while the program dialog module runs: an exception raised while a dialog is open
/// is saved (the report once, then its own stack, as it was when the exception reached the
/// hook; SaveErrorText); when that is not possible the standard message box says so. Then
/// every exception goes on to the hook this one replaced (the base dialog's, which shows it
/// in the standard message box while a dialog is open).
void HandleSecondaryException(TLumPersistent* sender, Exception& error);

/// Starts: the program dialog replaces the dialog class, and HandleSecondaryException the
/// application's hook, wrapping it. Stops: the class and the hook they replaced put back,
/// SupportEmailAddress emptied.
extern TUnit LumDbgExceptDlgUnit;
