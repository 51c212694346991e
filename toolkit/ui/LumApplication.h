#pragma once
// The application object: the hidden application window that owns the forms, the message
// loop with its chain of message filters, terminate, the title, modal state and the
// exchangeable exception hook that every exception escaping a handler goes to.

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/persist/LumComponents.h"

#include <functional>
#include <string>
#include <vector>

class TLumCustomForm;

/// Where an exception that escaped a handler is presented.
using TExceptionHook = std::function<void(TLumPersistent* sender, Exception& error)>;

/// Sees each message the loop takes before it is translated and dispatched. Menus, MDI
/// accelerators and registered messages join the loop this way without the loop knowing them.
class TLumMessageFilter {
  public:
    virtual ~TLumMessageFilter() = default;
    /// True when the filter handled the message: the filters after it do not see it, and the
    /// loop neither translates nor dispatches it.
    virtual bool PreTranslateMessage(MSG& msg) = 0;
};

class TLumApplication : public TLumComponent {
  public:
    explicit TLumApplication(TLumComponent* owner);
    ~TLumApplication() override;

    /// The hidden application window that owns the forms.
    HWND Handle();
    void Initialize();

    /// Creates a form from its resources with the application as owner; the first form
    /// created becomes the main form.
    template <class T> T* CreateForm() {
        T* form = T::template Create<T>(this);
        if (!mainForm_) {
            mainForm_ = form;
        }
        return form;
    }
    TLumCustomForm* MainForm() const { return mainForm_; }
    void SetMainForm(TLumCustomForm* form) { mainForm_ = form; }
    /// Frees a component once the messages now queued for the application are handled.
    void QueueFree(TLumComponent* component);

    /// Shows the main form and handles messages until Terminate.
    void Run();
    /// Ends Run once the current message is handled.
    void Terminate();
    bool Terminated() const { return terminated_; }
    /// Handles every message waiting now, then returns.
    void ProcessMessages();
    /// Waits for one message and handles it.
    void HandleMessage();
    /// Handles one message as the loop does: the message filters in the order they were
    /// added, then the form's keyboard preview and dialog keys, then translation and dispatch.
    void DispatchOne(MSG& msg);

    /// Adds a filter behind those added before it. The owner removes it before it goes.
    void AddMessageFilter(TLumMessageFilter* filter);
    /// Removes a filter; one that is not in the chain is ignored. A filter may remove itself
    /// or another one while it looks at a message.
    void RemoveMessageFilter(TLumMessageFilter* filter);

    const std::u16string& Title() const { return title_; }
    void SetTitle(const std::u16string& title);

    /// Installs the exception hook and answers the one it replaces, so that whoever installs
    /// a hook can hand on to the one before it and put that one back when it stops. Without
    /// a hook, ShowException shows the message.
    TExceptionHook SetExceptionHook(TExceptionHook hook);
    const TExceptionHook& ExceptionHook() const { return exceptionHook_; }
    /// Hands the exception being handled now to the hook (the silent abort is dropped). A
    /// hook that fails shows its own failure in the standard box; nothing leaves here.
    void HandleException(TLumPersistent* sender);
    /// The standard message box for an exception: its message, the title as caption.
    void ShowException(const Exception& error);

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    void Notification(TLumComponent* component, TOperation operation) override;

  private:
    bool ProcessMessage(MSG& msg);
    bool FormKeys(MSG& msg);

    HWND handle_ = nullptr;
    TLumCustomForm* mainForm_ = nullptr;
    bool terminated_ = false;
    std::u16string title_;
    std::vector<TLumMessageFilter*> filters_;
    TExceptionHook exceptionHook_;
};

/// The modal state of a window: while it lives, the thread's other visible and enabled
/// windows are disabled and the mouse capture is released; at its end the windows are enabled
/// again and the window that was active before is activated again.
class TLumModalState {
  public:
    explicit TLumModalState(HWND modalWindow);
    ~TLumModalState();
    TLumModalState(const TLumModalState&) = delete;
    TLumModalState& operator=(const TLumModalState&) = delete;

  private:
    void EnableAgain();

    HWND previous_;
    std::vector<HWND> disabled_;
};

/// The application object; it exists while LumApplicationUnit runs (LumFormsUnit starts it).
TLumApplication* Application();

/// Starts: creates the application object. Stops: frees it, and with it every form.
extern TUnit LumApplicationUnit;

/// Hands the exception being handled now to the application's exception hook, from a catch
/// block of code that the system calls back (a window procedure, a timer procedure). Never
/// raises: without an application, or when handing over fails, the system's message box
/// says that an exception went unhandled.
void HandleCallbackException(TLumPersistent* sender);

/// The plain message box: modal, no icon, one OK button, the application title as caption,
/// centred on the screen.
void ShowMessage(const std::u16string& text);
