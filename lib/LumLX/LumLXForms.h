#pragma once
// The library's extended form. Beyond the toolkit's form it gives a form its own taskbar
// button, activates the modal window when a form disabled behind it is clicked, docks the
// tool bar and status bar of the active maximised MDI child into the MDI form's bars, keeps
// menu switches of a maximised MDI child from flickering, and refuses combinations of form
// style and taskbar button that cannot work.

#include "toolkit/base/LumUnits.h"
#include "toolkit/ui/LumComCtrls.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/ui/LumThunks.h"

#include <memory>

class TLumFormLX : public TLumForm {
  public:
    explicit TLumFormLX(TLumComponent* owner) : TLumForm(owner) {}
    /// Gives the MDI client and the status bar their procedures back; an MDI child's redraw
    /// lock, taken when its destruction began, is released last.
    ~TLumFormLX() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// fsMDIChild with TaskBarButton on raises ELumInternalError and leaves the style as it is.
    void SetFormStyle(TFormStyle style) override;
    bool TaskBarButton() const { return taskBarButton_; }
    /// An unowned top-level window with its own taskbar button (the window is made again).
    /// Raises ELumGeneralError for an MDI child. Switching it off may close a main form whose
    /// close waited for the last other form with a button of its own.
    void SetTaskBarButton(bool value);
    /// Fixes the menu's owner-drawn top-level items up first.
    void SetMenu(TLumMainMenu* menu) override;

    /// The bar the MDI tool bars sit in; coloured as the menu bar.
    TLumControlBar* MDIControlBar() const { return mdiControlBar_; }
    void SetMDIControlBar(TLumControlBar* bar);
    TToolBar* MDIToolBar() const { return mdiToolBar_; }
    void SetMDIToolBar(TToolBar* bar);
    TLumStatusBar* MDIStatusBar() const { return mdiStatusBar_; }
    void SetMDIStatusBar(TLumStatusBar* bar);

    /// Moves this MDI child's tool bar and status bar into the main form's bars (true) or
    /// back (false); nothing when they are there already or the main form is no TLumFormLX.
    /// Raises ELumInternalError for a form that is not an MDI child.
    void MDIChild_UpdateMdiDockState(bool docked);
    /// Whether this MDI child's bars sit in the main form's.
    bool Docked() const { return docked_; }
    /// On the main form: the child status bar shown inside its own, or null.
    TLumStatusBar* DockedChildStatusBar() const { return dockedChildStatusBar_; }

    void WndProc(TMessage& message) override;

  protected:
    void Loaded() override;
    void Notification(TLumComponent* component, TOperation operation) override;
    void CreateParams(TCreateParams& params) override;
    void CreateWindowDone() override;
    void Resize() override;
    void BeforeDestruction() override;
    /// An MDI child always frees itself; a main form with its own button waits, hidden, while
    /// other forms with buttons of their own are open.
    TCloseAction DoClose(TCloseAction action) override;

  private:
    bool Designing() const;
    bool IsMainForm() const;
    void ColorControlBar();
    void RehookStatusBar();
    void RefreshDockState(bool withLock);
    void DockToolBar(TLumFormLX& main, bool docked);
    void DockStatusBar(TLumFormLX& main, bool docked);
    void SetDockedChildStatusBar(TLumStatusBar* bar);
    void HookMdiClient();
    LRESULT MdiClientProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT StatusBarProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    void PaintDockSeparators(HWND window);
    void SetCursorMessage(TMessage& message);
    /// The MDI messages: WM_NCPAINT, WM_INITMENUPOPUP, WM_MDIACTIVATE. True when handled.
    bool MdiMessage(TMessage& message);

    /// The MDI redraw lock, module-wide: the main form's window updates and its MDI client's
    /// drawing stop with the first lock and resume, the client redrawn, with the last release.
    static void LockMdiRedraw();
    static void UnlockMdiRedraw();

    bool suppressNcPaint_ = false;
    std::unique_ptr<TLumWndProcThunk> clientThunk_;
    TLumWindowHook clientHook_;
    TLumStatusBar* dockedChildStatusBar_ = nullptr;
    TLumWindowHook statusHook_;
    TLumStatusBar* hookedStatusBar_ = nullptr;
    std::unique_ptr<TLumWndProcThunk> statusThunk_;
    struct SavedStatusBar {
        TAlign Align = TAlign::alNone;
        bool SizeGrip = false;
        RECT Bounds{};
    } savedStatusBar_;
    bool docked_ = false;
    bool taskBarButton_ = false;
    bool redrawLocked_ = false;
    TLumControlBar* mdiControlBar_ = nullptr;
    TToolBar* mdiToolBar_ = nullptr;
    TLumStatusBar* mdiStatusBar_ = nullptr;
};

/// Starts: looks FlashWindowEx up (raising the OS error when user32.dll cannot be loaded),
/// registers the bring-to-front message. Stops: empties the module's form lists.
extern TUnit LumLXFormsUnit;

/// The window message registered as "Lum.BringToFront" (0 before the unit started).
UINT BringToFrontMessage();
/// The forms whose TaskBarButton is on, in the order they switched it on.
int TaskBarFormCount();
