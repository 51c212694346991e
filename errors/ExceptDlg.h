#pragma once
// The exception dialog: every exception that escapes an event handler ends here instead of in
// the plain message box. It shows the message, and behind a details toggle the report (class,
// address, stack, system, modules, focused controls, system information).

#include "errors/LumDebugThreadsWin.h"
#include "errors/LumExceptLogWin.h"
#include "errors/LumExceptReportWin.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/ui/LumBasicControls.h"
#include "toolkit/ui/LumForms.h"

#include <memory>

/// The dialog's private message: build the details now that the dialog is on screen.
constexpr UINT UM_BUILD_DETAILS = WM_USER + 256;

/// Bits of the dialog's Tag.
enum TExceptionDialogTag : int {
    /// The report is also written into the simple log.
    edtWriteLog = 1,
    /// The message never gets a scroll bar.
    edtNoMessageScrollBar = 2,
};

/// The report's sections.
enum TReportSection : unsigned {
    rsStackList = 1,
    rsSystem = 2,
    rsModules = 4,
    rsActiveControls = 8,
    rsAll = 15,
};

class TExceptionDialog : public TLumForm {
  public:
    explicit TExceptionDialog(TLumComponent* owner);
    ~TExceptionDialog() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TLumButton* OkBtn = nullptr;
    TLumMemo* DetailsMemo = nullptr;
    TLumButton* DetailsBtn = nullptr;
    TLumBevel* Bevel1 = nullptr;
    TLumMemo* TextLabel = nullptr;

    bool DetailsShown = false;
    bool ShownOnMainThread = false;
    TLumControl* LastActiveControl = nullptr;
    /// The stack of the exception, taken when the exception reached the hook.
    std::shared_ptr<const TLumStackInfoList> ExceptionStack;
    int CollapsedHeight = 0;
    int ExpandedClientHeight = 0;
    std::unique_ptr<TSimpleExceptionLog> Log;

    virtual int SeparatorWidth() const { return kSeparatorWidth; }
    virtual char SeparatorChar() const { return kSeparatorChar; }
    virtual void AfterBuildDetails() {}
    virtual void BeforeBuildDetails() {}
    /// Appends all report sections.
    virtual void FillDetails();

    void FormCreate(TLumPersistent* sender);
    void FormDestroy(TLumPersistent* sender);
    void FormShow(TLumPersistent* sender);
    virtual void FormPaint(TLumPersistent* sender);
    void FormResize(TLumPersistent* sender);
    virtual void FormKeyDown(TLumPersistent* sender, std::uint16_t& key, TShiftState shift);
    virtual void DetailsBtnClick(TLumPersistent* sender);

    /// Fills the details (hourglass, memo updates suspended); whatever happens, the buttons
    /// end enabled, OK focused and the cursor restored.
    void BuildDetails();
    void SetDetailsShown(bool show);
    /// The message, a line break, and the details.
    std::u16string ReportText();
    void CopyReportToClipboard();
    /// Writes the report into the simple log (only when the tag has edtWriteLog).
    void WriteReportToLog();
    /// Shows a vertical scroll bar on the message when it does not fit (unless the tag has
    /// edtNoMessageScrollBar).
    void UpdateMessageScrollBar();

    void AppendSectionSeparator();
    /// Appends the sections; each is built on its own, and one that fails leaves a line
    /// that says so in its place (AppendReportSection).
    void AppendReportSections(unsigned sections);
    /// Appends lines to the details.
    void AppendDetails(const TReportLines& lines);
    /// Inserts a line into the details before the given line.
    void InsertDetailsLine(int index, const std::string& line);

  protected:
    void BuildDetailsMessage(TMessage& message);
};

/// Creates the dialog an exception is presented in.
using TExceptionDialogClass = TExceptionDialog* (*)(TLumComponent* owner);
/// Makes `dialogClass` the class that PresentException creates and answers the one it
/// replaces, for whoever installs one to put back when it stops.
TExceptionDialogClass SetExceptionDialogClass(TExceptionDialogClass dialogClass);
TExceptionDialog* CreateBaseExceptionDialog(TLumComponent* owner);

/// True while an exception is being presented.
bool ExceptionDialogShowing();

/// Fills a dialog for the exception: where it is shown and which control had the focus, the
/// message (a full stop at its end, CR LF line breaks), the stack and the report's opening
/// lines ("Exception class: %s", "Exception address: %p", a separator). For an exception a
/// worker thread handed over, the stack is the worker's and "Thread: %s" stands in place of
/// the address; otherwise the stack is the one this thread captured when it raised `error`.
void PrepareExceptionDialog(TExceptionDialog& dialog, const Exception& error,
                            const TLumThreadException* thread = nullptr);

/// Presents the exception in a new dialog, modally; the dialog is freed afterwards.
void PresentException(Exception& error, const TLumThreadException* thread = nullptr);

/// The application's exception hook: presents the exception, or, while a dialog is already
/// showing, shows it in the standard message box.
void HandleApplicationException(TLumPersistent* sender, Exception& error);

/// The worker threads' hook (TLumDebugThreadList): the same as HandleApplicationException
/// for an exception that a registered worker thread handed over, presented with the worker's
/// thread and stack.
void HandleThreadException(const TLumThreadException& handed);

/// Starts: stack capture at every raise, HandleApplicationException as the application's
/// exception hook and HandleThreadException as the worker threads' hook. Stops: the capture
/// stopped and the hooks they replaced put back.
extern TUnit ExceptDlgUnit;
