#pragma once
// Forms. With them come the application object and the screen, which forms work with.

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/ui/LumApplication.h"
#include "toolkit/ui/LumControlBase.h"
#include "toolkit/ui/LumMenus.h"
#include "toolkit/ui/LumScreen.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
template <> struct TLumEnumInfo<TFormBorderStyle> { static const TLumIdentTable& Idents(); };

enum class TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TLumSet<TBorderIcon>;
template <> struct TLumEnumInfo<TBorderIcon> { static const TLumIdentTable& Idents(); };

enum class TPosition {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
template <> struct TLumEnumInfo<TPosition> { static const TLumIdentTable& Idents(); };

enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
template <> struct TLumEnumInfo<TFormStyle> { static const TLumIdentTable& Idents(); };

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
template <> struct TLumEnumInfo<TWindowState> { static const TLumIdentTable& Idents(); };

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = IDOK;
constexpr TModalResult mrCancel = IDCANCEL;
constexpr TModalResult mrAbort = IDABORT;
constexpr TModalResult mrRetry = IDRETRY;
constexpr TModalResult mrIgnore = IDIGNORE;
constexpr TModalResult mrYes = IDYES;
constexpr TModalResult mrNo = IDNO;
const TLumIdentTable& ModalResultIdents();

using TCloseEvent = TLumEvent<void(TLumPersistent* sender, TCloseAction& action)>;
using TCloseQueryEvent = TLumEvent<void(TLumPersistent* sender, bool& canClose)>;

/// A control's size limits; 0 means no limit.
class TLumSizeConstraints : public TLumPersistent {
  public:
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    int MinWidth() const { return minWidth_; }
    int MinHeight() const { return minHeight_; }
    int MaxWidth() const { return maxWidth_; }
    int MaxHeight() const { return maxHeight_; }
    void SetMinWidth(int v) { Set(minWidth_, v); }
    void SetMinHeight(int v) { Set(minHeight_, v); }
    void SetMaxWidth(int v) { Set(maxWidth_, v); }
    void SetMaxHeight(int v) { Set(maxHeight_, v); }

    std::function<void()> OnChange;

  private:
    void Set(int& field, int value);

    int minWidth_ = 0;
    int minHeight_ = 0;
    int maxWidth_ = 0;
    int maxHeight_ = 0;
};

/// A canvas on a control's window, outside painting (for measuring, mostly).
class TLumControlCanvas : public TLumCanvas {
  public:
    explicit TLumControlCanvas(TLumWinControl* control) : control_(control) {}
    ~TLumControlCanvas() override;
    /// Gives back a context got outside painting.
    void FreeContext();

  protected:
    void CreateHandle() override;
    void FreeHandle() override;

  private:
    TLumWinControl* control_;
    std::optional<TLumClientDC> owned_;
};

class TLumCustomForm : public TLumWinControl {
  public:
    explicit TLumCustomForm(TLumComponent* owner);
    ~TLumCustomForm() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// Creates a form of class T and streams its layout in from the form resources of its
    /// classes (the first below `root` down to T), then runs OnCreate. A form whose classes
    /// have no resource raises EResNotFound.
    template <class T> static T* Create(TLumComponent* owner, const TLumClass* root = nullptr) {
        T* form = new T(owner);
        form->InitFromResources(T::StaticClass(), root, *form);
        return form;
    }
    /// Creates a form without any form resource (laid out in code), then runs OnCreate.
    template <class T> static T* CreateNew(TLumComponent* owner) {
        T* form = new T(owner);
        form->FinishCreate(*form);
        return form;
    }

    TFormBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TFormBorderStyle style);
    TBorderIcons BorderIcons() const { return borderIcons_; }
    void SetBorderIcons(TBorderIcons icons);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition position) { position_ = position; }
    TFormStyle FormStyle() const { return formStyle_; }
    virtual void SetFormStyle(TFormStyle style);
    TWindowState WindowState() const;
    void SetWindowState(TWindowState state);
    /// Takes the window state from the system's placement of the window.
    void ReadWindowState();
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool value) { keyPreview_ = value; }
    TLumWinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(TLumWinControl* control);
    TLumSizeConstraints* Constraints() { return &constraints_; }
    int PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(int value) { pixelsPerInch_ = value; }
    int TextHeight() const { return textHeight_; }
    void SetTextHeight(int value) { textHeight_ = value; }
    bool OldCreateOrder() const { return oldCreateOrder_; }
    void SetOldCreateOrder(bool value) { oldCreateOrder_ = value; }

    /// The menu bar's menu, or null. The form shows each change of it (CM_MENUCHANGED).
    TLumMainMenu* Menu() const { return menu_; }
    virtual void SetMenu(TLumMainMenu* menu);

    // ---- MDI ----
    // An fsMDIForm holds its MDI children in the MDI client window, which takes the client
    // area that aligned controls leave. An fsMDIChild lives in the main form's MDI client,
    // which must exist when the child's window is made.

    /// The item whose sub-menu lists the MDI children (an fsMDIForm's), or null.
    TLumMenuItem* WindowMenu() const { return windowMenu_; }
    void SetWindowMenu(TLumMenuItem* item);
    /// The MDI client window of an fsMDIForm whose window exists, else null.
    HWND ClientHandle() const { return clientHandle_; }
    /// The active MDI child, or null.
    TLumCustomForm* ActiveMDIChild() const;
    int MDIChildCount() const;
    /// The MDI children from the top of the z-order down.
    TLumCustomForm* MDIChildren(int index) const;
    void Cascade();
    void Tile();
    void ArrangeIcons();
    /// Activates the next MDI child.
    void Next();
    void Previous();

    bool InParent() const override { return false; }
    void DefineProperties(TLumFiler& filer) override;
    int ClientWidth() const override;
    int ClientHeight() const override;
    void SetClientWidth(int value) override;
    void SetClientHeight(int value) override;

    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult result) { modalResult_ = result; }
    bool Modal() const { return modal_; }
    /// Shows the form modally; returns its modal result once it is set. Other windows of the
    /// thread are disabled meanwhile.
    virtual TModalResult ShowModal();
    /// Modal: sets mrCancel. Otherwise asks OnCloseQuery and OnClose; the main form's close
    /// ends the application.
    void Close();
    /// Frees the form once the messages now queued for it are handled.
    void Release();

    TLumCanvas& Canvas() { return canvas_; }

    /// The system's MDI handling for MDI frames (DefFrameProc) and children (DefMDIChildProc).
    void DefaultHandler(TMessage& message) override;

    /// A handler for a message the form defines (WM_USER and above, registered messages).
    void SetMessageHandler(UINT message, std::function<void(TMessage&)> handler);
    /// Posts a message to the form's own window.
    void PostMessageToSelf(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    /// Sends a message to the form's own window and waits for its handling.
    LRESULT SendMessageToSelf(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    /// Gives every windowed control with a hint, whose hints show, a tooltip with the hint's
    /// short part (the text before "|"). Runs when the form is shown. A form without such a
    /// control gets no tooltip window.
    void UpdateHints();
    /// The tooltip window of the hints, or null before the form was shown or when no hint shows.
    HWND HintWindow() const { return OwnsTooltip() ? tooltip_ : nullptr; }

    /// The form's keyboard preview: returns false when a handler consumed the key.
    bool PreviewKeyDown(std::uint16_t& key, TShiftState shift);

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnPaint;
    TNotifyEvent OnActivate;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

    void WndProc(TMessage& message) override;

  protected:
    void CreateParams(TCreateParams& params) override;
    /// An MDI child without an MDI form to hold it raises EInvalidOperation.
    void CreateWnd() override;
    void CreateWindowDone() override;
    /// An MDI child is destroyed through its MDI client.
    void DestroyWnd() override;
    /// An fsMDIForm's MDI client takes what the aligned controls leave.
    void AlignDone(const RECT& rest) override;
    void Notification(TLumComponent* component, TOperation operation) override;
    void BeforeDestruction() override;
    void VisibleChanged() override;
    POINT WindowOrigin() const override { return {left_, top_}; }
    bool DoKeyDown(std::uint16_t& key, TShiftState shift) override;
    /// Paints the graphic controls, then fires OnPaint.
    virtual void Paint();
    /// OnCloseQuery; true when the form may close.
    virtual bool CloseQuery();
    /// Runs OnClose with the default action and answers the action.
    virtual TCloseAction DoClose(TCloseAction action);
    void Loaded() override;

  private:
    void InitFromResources(const TLumClass& cls, const TLumClass* root, TLumCustomForm& self);
    void FinishCreate(TLumCustomForm& self);
    bool OwnsTooltip() const;
    void ApplyPosition();
    SIZE FrameSize() const;
    void CloseModal();
    void PaintWindow();
    /// Puts the menu's current handle in the menu bar (through the MDI client for MDI frames).
    void ApplyMenu();
    void CreateMdiClient();
    void DestroyMdiClient();
    HWND MdiClientOf() const;
    bool MenuMessage(TMessage& message);

    TFormBorderStyle borderStyle_ = TFormBorderStyle::bsSizeable;
    TBorderIcons borderIcons_{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize,
                              TBorderIcon::biMaximize};
    TPosition position_ = TPosition::poDefaultPosOnly;
    TFormStyle formStyle_ = TFormStyle::fsNormal;
    TWindowState windowState_ = TWindowState::wsNormal;
    bool keyPreview_ = false;
    TLumWinControl* activeControl_ = nullptr;
    TLumSizeConstraints constraints_;
    int pixelsPerInch_ = 96;
    int textHeight_ = 13;
    bool oldCreateOrder_ = false;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    TModalResult modalResult_ = mrNone;
    bool modal_ = false;
    bool destroyFired_ = false;
    TLumControlCanvas canvas_;
    std::map<UINT, std::function<void(TMessage&)>> messageHandlers_;
    HWND tooltip_ = nullptr;
    TLumMainMenu* menu_ = nullptr;
    TLumMenuItem* windowMenu_ = nullptr;
    HWND clientHandle_ = nullptr;
    std::unique_ptr<TLumMessageFilter> mdiAccelerators_;
};

/// The toolkit's form with every property published.
class TLumForm : public TLumCustomForm {
  public:
    explicit TLumForm(TLumComponent* owner) : TLumCustomForm(owner) {}
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
};

/// Starts: the application object and the screen (LumApplicationUnit, LumScreenUnit), and
/// registers the toolkit's form, menu and bar classes for streaming. Stops: frees the application
/// (and with it every form), then the screen.
extern TUnit LumFormsUnit;
