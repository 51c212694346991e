// Forms: creation from resources, creation parameters, sizes, styles, showing and painting,
// and the form's messages.
#include "toolkit/ui/LumForms.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/persist/LumPersist.h"
#include "toolkit/ui/LumComCtrls.h"

#include <algorithm>

namespace {

// The screen comes first and goes last: freeing the forms may still ask for it.
void Start() {
    LumScreenUnit.Start();
    auto stopScreen = OnScopeFailure([] { LumScreenUnit.Stop(); });
    LumApplicationUnit.Start();
    auto stopApplication = OnScopeFailure([] { LumApplicationUnit.Stop(); });
    RegisterComponentClass(TLumForm::StaticClass());
    LumMenusUnit.Start();
    LumComCtrlsUnit.Start();
}

void Stop() {
    LumComCtrlsUnit.Stop();
    LumMenusUnit.Stop();
    LumApplicationUnit.Stop();
    LumScreenUnit.Stop();
}

} // namespace

TUnit LumFormsUnit("LumForms", &Start, &Stop);

const TLumIdentTable& TLumEnumInfo<TFormBorderStyle>::Idents() {
    static const TLumIdentTable table = {{"bsNone", 0},       {"bsSingle", 1},
                                         {"bsSizeable", 2},   {"bsDialog", 3},
                                         {"bsToolWindow", 4}, {"bsSizeToolWin", 5}};
    return table;
}

const TLumIdentTable& TLumEnumInfo<TBorderIcon>::Idents() {
    static const TLumIdentTable table = {
        {"biSystemMenu", 0}, {"biMinimize", 1}, {"biMaximize", 2}, {"biHelp", 3}};
    return table;
}

const TLumIdentTable& TLumEnumInfo<TPosition>::Idents() {
    static const TLumIdentTable table = {{"poDesigned", 0},       {"poDefault", 1},
                                         {"poDefaultPosOnly", 2}, {"poDefaultSizeOnly", 3},
                                         {"poScreenCenter", 4},   {"poDesktopCenter", 5},
                                         {"poMainFormCenter", 6}, {"poOwnerFormCenter", 7}};
    return table;
}

const TLumIdentTable& TLumEnumInfo<TFormStyle>::Idents() {
    static const TLumIdentTable table = {
        {"fsNormal", 0}, {"fsMDIChild", 1}, {"fsMDIForm", 2}, {"fsStayOnTop", 3}};
    return table;
}

const TLumIdentTable& TLumEnumInfo<TWindowState>::Idents() {
    static const TLumIdentTable table = {{"wsNormal", 0}, {"wsMinimized", 1}, {"wsMaximized", 2}};
    return table;
}

const TLumIdentTable& ModalResultIdents() {
    static const TLumIdentTable table = {
        {"mrNone", mrNone},   {"mrOk", mrOk},         {"mrCancel", mrCancel}, {"mrAbort", mrAbort},
        {"mrRetry", mrRetry}, {"mrIgnore", mrIgnore}, {"mrYes", mrYes},       {"mrNo", mrNo}};
    return table;
}

// ---------------------------------------------------------------------------------------------
// TLumSizeConstraints

const TLumClass& TLumSizeConstraints::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumSizeConstraints>("TLumSizeConstraints", &TLumPersistent::StaticClass())
            .Prop<&TLumSizeConstraints::MaxHeight, &TLumSizeConstraints::SetMaxHeight>("MaxHeight",
                                                                                       0)
            .Prop<&TLumSizeConstraints::MaxWidth, &TLumSizeConstraints::SetMaxWidth>("MaxWidth", 0)
            .Prop<&TLumSizeConstraints::MinHeight, &TLumSizeConstraints::SetMinHeight>("MinHeight",
                                                                                       0)
            .Prop<&TLumSizeConstraints::MinWidth, &TLumSizeConstraints::SetMinWidth>("MinWidth", 0)
            .Build();
    return cls;
}

void TLumSizeConstraints::Set(int& field, int value) {
    if (field != value) {
        field = value;
        if (OnChange) {
            OnChange();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TLumControlCanvas

TLumControlCanvas::~TLumControlCanvas() {
    FreeContext();
}

void TLumControlCanvas::CreateHandle() {
    owned_.emplace(control_->Handle());
    Win32Check(owned_->Handle() != nullptr);
    AdoptHandle(owned_->Handle());
}

void TLumControlCanvas::FreeHandle() {
    FreeContext();
}

void TLumControlCanvas::FreeContext() {
    if (owned_) {
        SetHandle(nullptr);
        owned_.reset();
    }
}

// ---------------------------------------------------------------------------------------------
// TLumCustomForm

TLumCustomForm::TLumCustomForm(TLumComponent* owner) : TLumWinControl(owner), canvas_(this) {
    // Forms store their colour, as it is not the controls' default window colour.
    InitColor(clBtnFace, false, clWindow);
    SetParentFont(false);
    // Forms appear when shown, not when created.
    SetVisible(false);
    clientWidth_ = 320;
    clientHeight_ = 240;
    SIZE frame = FrameSize();
    left_ = 0;
    top_ = 0;
    width_ = clientWidth_ + frame.cx;
    height_ = clientHeight_ + frame.cy;
    constraints_.OnChange = [this] {
        if (HandleAllocated()) {
            SetWindowPos(Handle(), nullptr, 0, 0, width_, height_,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    };
}

TLumCustomForm::~TLumCustomForm() {
    if (menu_) {
        menu_->OnChange = nullptr;
    }
    // The base's destructor destroys the window as a plain control's: an MDI child leaves its
    // MDI client here, and the MDI keys' filter leaves the application.
    if (formStyle_ == TFormStyle::fsMDIChild) {
        DestroyWnd();
    }
    DestroyMdiClient();
    if (OwnsTooltip()) {
        DestroyWindow(tooltip_);
    }
    canvas_.FreeContext();
    messageHandlers_.clear();
}

const TLumClass& TLumCustomForm::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumCustomForm>("TLumCustomForm", &TLumWinControl::StaticClass()).Build();
    return cls;
}

// The form's properties in the order its streams list them.
const TLumClass& TLumForm::StaticClass() {
    using F = TLumForm;
    static const TLumClass cls =
        TLumClassBuilder<F>("TLumForm", &TLumCustomForm::StaticClass())
            .Republish("Left")
            .Republish("Top")
            .Prop<&F::ActiveControl, &F::SetActiveControl>("ActiveControl")
            .Republish("Anchors")
            .Prop<&F::BorderIcons, &F::SetBorderIcons>(
                "BorderIcons", TBorderIcons{TBorderIcon::biSystemMenu, TBorderIcon::biMinimize,
                                            TBorderIcon::biMaximize})
            .Prop<&F::BorderStyle, &F::SetBorderStyle>("BorderStyle", TFormBorderStyle::bsSizeable)
            .Prop<&F::Caption, &F::SetCaption>("Caption")
            .Prop<&F::ClientHeight, &F::SetClientHeight>("ClientHeight")
            .Prop<&F::ClientWidth, &F::SetClientWidth>("ClientWidth")
            .Republish("Color")
            .Object<&F::Constraints>("Constraints")
            .Republish("Cursor")
            .Republish("Enabled")
            .Republish("Font")
            .Prop<&F::FormStyle, &F::SetFormStyle>("FormStyle", TFormStyle::fsNormal)
            .Republish("Hint")
            .Prop<&F::KeyPreview, &F::SetKeyPreview>("KeyPreview", false)
            .Prop<&F::Menu, &F::SetMenu>("Menu")
            .Prop<&F::OldCreateOrder, &F::SetOldCreateOrder>("OldCreateOrder")
            .Prop<&F::Position, &F::SetPosition>("Position", TPosition::poDefaultPosOnly)
            .Republish("ShowHint")
            .Prop<&F::WindowMenu, &F::SetWindowMenu>("WindowMenu")
            .Prop<&F::WindowState, &F::SetWindowState>("WindowState", TWindowState::wsNormal)
            .Event<&F::OnActivate>("OnActivate")
            .Republish("OnClick")
            .Event<&F::OnClose>("OnClose")
            .Event<&F::OnCloseQuery>("OnCloseQuery")
            .Event<&F::OnCreate>("OnCreate")
            .Republish("OnDblClick")
            .Event<&F::OnDestroy>("OnDestroy")
            .Event<&F::OnHide>("OnHide")
            .Republish("OnKeyDown")
            .Republish("OnKeyUp")
            .Event<&F::OnPaint>("OnPaint")
            .Republish("OnResize")
            .Event<&F::OnShow>("OnShow")
            .Build();
    return cls;
}

// Stored after every published property, as the last lines of a form's stream.
void TLumCustomForm::DefineProperties(TLumFiler& filer) {
    TLumWinControl::DefineProperties(filer);
    auto ancestor = static_cast<const TLumCustomForm*>(filer.Ancestor());
    filer.DefineProperty(
        "PixelsPerInch", [this](TLumFormReader& reader) { pixelsPerInch_ = reader.ReadInteger(); },
        [this](TLumFormWriter& writer) { writer.WriteInteger(pixelsPerInch_); },
        !ancestor || ancestor->pixelsPerInch_ != pixelsPerInch_);
    filer.DefineProperty(
        "TextHeight", [this](TLumFormReader& reader) { textHeight_ = reader.ReadInteger(); },
        [this](TLumFormWriter& writer) { writer.WriteInteger(textHeight_); },
        !ancestor || ancestor->textHeight_ != textHeight_);
}

void TLumCustomForm::InitFromResources(const TLumClass& cls, const TLumClass* root,
                                       TLumCustomForm& self) {
    // A form that could not be made is freed. Its OnDestroy must not end the process while the
    // failure that got here is on its way: that failure is the one to report.
    auto freeSelf = OnScopeFailure([&self] {
        try {
            self.Free();
        } catch (...) {
        }
    });
    ReadFormResources(self, cls, root ? *root : TLumForm::StaticClass());
    FinishCreate(self);
}

void TLumCustomForm::FinishCreate(TLumCustomForm& self) {
    if (self.OnCreate) {
        self.OnCreate(&self);
    }
}

void TLumCustomForm::BeforeDestruction() {
    if (!destroyFired_) {
        destroyFired_ = true;
        if (OnDestroy) {
            OnDestroy(this);
        }
    }
    TLumWinControl::BeforeDestruction();
}

void TLumCustomForm::Loaded() {
    TLumWinControl::Loaded();
    for (int i = 0; i < ComponentCount(); ++i) {
        if (auto control = dynamic_cast<TLumControl*>(Components(i))) {
            control->UpdateAnchorRules();
        }
    }
}

SIZE TLumCustomForm::FrameSize() const {
    TCreateParams params;
    const_cast<TLumCustomForm*>(this)->CreateParams(params);
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, params.Style, FALSE, params.ExStyle);
    return {r.right - r.left, r.bottom - r.top};
}

void TLumCustomForm::CreateParams(TCreateParams& params) {
    TLumWinControl::CreateParams(params);
    params.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    params.ExStyle = 0;
    params.WndParent = Application() ? Application()->Handle() : nullptr;
    switch (borderStyle_) {
    case TFormBorderStyle::bsNone:
        params.Style |= WS_POPUP;
        break;
    case TFormBorderStyle::bsSingle:
        params.Style |= WS_CAPTION | WS_BORDER;
        break;
    case TFormBorderStyle::bsSizeable:
        params.Style |= WS_CAPTION | WS_THICKFRAME;
        break;
    case TFormBorderStyle::bsDialog:
        params.Style |= WS_POPUP | WS_CAPTION;
        params.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        break;
    case TFormBorderStyle::bsToolWindow:
        params.Style |= WS_CAPTION;
        params.ExStyle |= WS_EX_TOOLWINDOW;
        break;
    case TFormBorderStyle::bsSizeToolWin:
        params.Style |= WS_CAPTION | WS_THICKFRAME;
        params.ExStyle |= WS_EX_TOOLWINDOW;
        break;
    }
    if (borderStyle_ != TFormBorderStyle::bsNone &&
        borderIcons_.Contains(TBorderIcon::biSystemMenu)) {
        params.Style |= WS_SYSMENU;
        bool framed = borderStyle_ == TFormBorderStyle::bsSingle ||
                      borderStyle_ == TFormBorderStyle::bsSizeable;
        if (framed && borderIcons_.Contains(TBorderIcon::biMinimize)) {
            params.Style |= WS_MINIMIZEBOX;
        }
        if (framed && borderIcons_.Contains(TBorderIcon::biMaximize)) {
            params.Style |= WS_MAXIMIZEBOX;
        }
        if (borderIcons_.Contains(TBorderIcon::biHelp) &&
            !(params.Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))) {
            params.ExStyle |= WS_EX_CONTEXTHELP;
        }
    }
    if (formStyle_ == TFormStyle::fsStayOnTop) {
        params.ExStyle |= WS_EX_TOPMOST;
    }
    if (formStyle_ == TFormStyle::fsMDIChild) {
        params.Style &= ~WS_POPUP;
        params.ExStyle |= WS_EX_MDICHILD;
        params.WndParent = MdiClientOf();
    }
    params.X = left_;
    params.Y = top_;
    params.Width = width_;
    params.Height = height_;
    params.WinClassName = u"TLumForm";
}

void TLumCustomForm::CreateWindowDone() {
    TLumWinControl::CreateWindowDone();
    ApplyMenu();
    if (formStyle_ == TFormStyle::fsMDIForm) {
        CreateMdiClient();
    }
    // The frame of the real window may differ from the computed one (menus, themes).
    if (clientWidth_ != 0 || clientHeight_ != 0) {
        RECT client;
        GetClientRect(handle_, &client);
        if (client.right != clientWidth_ || client.bottom != clientHeight_) {
            SetBounds(left_, top_, width_ + clientWidth_ - client.right,
                      height_ + clientHeight_ - client.bottom);
        }
    }
}

int TLumCustomForm::ClientWidth() const {
    if (handle_) {
        RECT r;
        GetClientRect(handle_, &r);
        return r.right;
    }
    return clientWidth_;
}

int TLumCustomForm::ClientHeight() const {
    if (handle_) {
        RECT r;
        GetClientRect(handle_, &r);
        return r.bottom;
    }
    return clientHeight_;
}

void TLumCustomForm::SetClientWidth(int value) {
    clientWidth_ = value;
    SIZE frame = FrameSize();
    if (handle_) {
        frame.cx = width_ - ClientWidth();
    }
    SetBounds(left_, top_, value + frame.cx, height_);
}

void TLumCustomForm::SetClientHeight(int value) {
    clientHeight_ = value;
    SIZE frame = FrameSize();
    if (handle_) {
        frame.cy = height_ - ClientHeight();
    }
    SetBounds(left_, top_, width_, value + frame.cy);
}

void TLumCustomForm::SetBorderStyle(TFormBorderStyle style) {
    if (style == borderStyle_) {
        return;
    }
    int cw = ClientWidth();
    int ch = ClientHeight();
    borderStyle_ = style;
    RecreateWnd();
    SetClientWidth(cw);
    SetClientHeight(ch);
}

void TLumCustomForm::SetBorderIcons(TBorderIcons icons) {
    if (icons == borderIcons_) {
        return;
    }
    int cw = ClientWidth();
    int ch = ClientHeight();
    borderIcons_ = icons;
    RecreateWnd();
    SetClientWidth(cw);
    SetClientHeight(ch);
}

void TLumCustomForm::SetFormStyle(TFormStyle style) {
    if (style != formStyle_) {
        formStyle_ = style;
        RecreateWnd();
    }
}

TWindowState TLumCustomForm::WindowState() const {
    if (handle_) {
        if (IsIconic(handle_)) {
            return TWindowState::wsMinimized;
        }
        if (IsZoomed(handle_)) {
            return TWindowState::wsMaximized;
        }
        return TWindowState::wsNormal;
    }
    return windowState_;
}

void TLumCustomForm::SetWindowState(TWindowState state) {
    windowState_ = state;
    if (handle_ && Visible() && formStyle_ == TFormStyle::fsMDIChild &&
        state != TWindowState::wsMinimized) {
        SendMessageW(GetParent(handle_),
                     state == TWindowState::wsMaximized ? WM_MDIMAXIMIZE : WM_MDIRESTORE,
                     reinterpret_cast<WPARAM>(handle_), 0);
    } else if (handle_ && Visible()) {
        ShowWindow(handle_, state == TWindowState::wsMinimized   ? SW_MINIMIZE
                            : state == TWindowState::wsMaximized ? SW_MAXIMIZE
                                                                 : SW_RESTORE);
    }
}

void TLumCustomForm::SetActiveControl(TLumWinControl* control) {
    activeControl_ = control;
    if (control && !IsLoading() && Visible() && control->CanFocus()) {
        control->SetFocus();
    }
}

void TLumCustomForm::ApplyPosition() {
    if (formStyle_ != TFormStyle::fsMDIChild &&
        (position_ == TPosition::poScreenCenter || position_ == TPosition::poDesktopCenter)) {
        int x = (GetSystemMetrics(SM_CXSCREEN) - width_) / 2;
        int y = (GetSystemMetrics(SM_CYSCREEN) - height_) / 2;
        SetBounds(std::max(x, 0), std::max(y, 0), width_, height_);
    }
}

void TLumCustomForm::VisibleChanged() {
    if (Visible()) {
        HandleNeeded();
        ApplyPosition();
        UpdateHints();
        ShowWindow(handle_, windowState_ == TWindowState::wsMaximized   ? SW_SHOWMAXIMIZED
                            : windowState_ == TWindowState::wsMinimized ? SW_SHOWMINIMIZED
                                                                        : SW_SHOW);
        Perform(CM_SHOWINGCHANGED);
        // As if it came from a message: what escapes the handler goes to the exception hook.
        if (OnShow) {
            try {
                OnShow(this);
            } catch (...) {
                HandleCallbackException(this);
            }
        }
        if (activeControl_ && activeControl_->CanFocus()) {
            activeControl_->SetFocus();
        }
    } else if (handle_) {
        if (OnHide) {
            OnHide(this);
        }
        ShowWindow(handle_, SW_HIDE);
        Perform(CM_SHOWINGCHANGED);
    }
}

void TLumCustomForm::SetMessageHandler(UINT message, std::function<void(TMessage&)> handler) {
    messageHandlers_[message] = std::move(handler);
}

void TLumCustomForm::PostMessageToSelf(UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Check(PostMessageW(Handle(), message, wParam, lParam));
}

LRESULT TLumCustomForm::SendMessageToSelf(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(Handle(), message, wParam, lParam);
}

// With key preview the loop has shown the key to OnKeyDown already.
bool TLumCustomForm::DoKeyDown(std::uint16_t& key, TShiftState shift) {
    return keyPreview_ ? key != 0 : TLumWinControl::DoKeyDown(key, shift);
}

bool TLumCustomForm::PreviewKeyDown(std::uint16_t& key, TShiftState shift) {
    if (keyPreview_ && OnKeyDown) {
        OnKeyDown(this, key, shift);
    }
    if (key != 0 && menu_ && menu_->IsShortCut(ShortCut(key, shift))) {
        key = 0;
    }
    return key != 0;
}

void TLumCustomForm::Paint() {
    PaintControls(canvas_);
    if (OnPaint) {
        OnPaint(this);
    }
}

void TLumCustomForm::PaintWindow() {
    TLumPaintDC paint(handle_);
    canvas_.FreeContext();
    canvas_.SetHandle(paint.Handle());
    // The canvas lets go of the context before EndPaint.
    auto release = OnScopeExit([this] { canvas_.SetHandle(nullptr); });
    Paint();
}

void TLumCustomForm::WndProc(TMessage& m) {
    if (auto it = messageHandlers_.find(m.Msg); it != messageHandlers_.end()) {
        it->second(m);
        return;
    }
    if (MenuMessage(m)) {
        return;
    }
    switch (m.Msg) {
    case WM_PAINT:
        PaintWindow();
        return;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(handle_, &r);
        ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, ColorBrush());
        m.Result = 1;
        return;
    }
    case WM_CLOSE:
        Close();
        return;
    case WM_GETMINMAXINFO: {
        DefaultHandler(m);
        auto* info = reinterpret_cast<MINMAXINFO*>(m.LParam);
        if (constraints_.MinWidth() > 0) {
            info->ptMinTrackSize.x = constraints_.MinWidth();
        }
        if (constraints_.MinHeight() > 0) {
            info->ptMinTrackSize.y = constraints_.MinHeight();
        }
        if (constraints_.MaxWidth() > 0) {
            info->ptMaxTrackSize.x = constraints_.MaxWidth();
        }
        if (constraints_.MaxHeight() > 0) {
            info->ptMaxTrackSize.y = constraints_.MaxHeight();
        }
        return;
    }
    case WM_COMMAND:
        // The dialog manager's Escape: the cancel button, if there is one, is clicked.
        if (LOWORD(m.WParam) == IDCANCEL && m.LParam == 0) {
            for (int i = 0; i < ComponentCount(); ++i) {
                auto button = dynamic_cast<TLumWinControl*>(Components(i));
                if (button && button->Perform(CM_ISCANCELBUTTON) && button->CanFocus()) {
                    button->Click();
                    return;
                }
            }
            return;
        }
        break;
    case DM_GETDEFID:
        // The dialog manager's Enter key goes to the default button.
        for (int i = 0; i < ComponentCount(); ++i) {
            auto button = dynamic_cast<TLumWinControl*>(Components(i));
            if (button && button->HandleAllocated() && IsWindowEnabled(button->Handle()) &&
                (GetWindowLongW(button->Handle(), GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON &&
                GetParentForm(button) == this) {
                m.Result = MAKELRESULT(GetDlgCtrlID(button->Handle()), DC_HASDEFID);
                return;
            }
        }
        m.Result = 0;
        return;
    case WM_ACTIVATE:
        DefaultHandler(m);
        if (LOWORD(m.WParam) != WA_INACTIVE) {
            if (activeControl_ && activeControl_->CanFocus()) {
                activeControl_->SetFocus();
            }
            if (OnActivate) {
                OnActivate(this);
            }
        } else if (TLumWinControl* focused = FindControl(GetFocus());
                   focused && GetParentForm(focused) == this) {
            activeControl_ = focused;
        }
        return;
    default:
        break;
    }
    TLumWinControl::WndProc(m);
}

// ---------------------------------------------------------------------------------------------

TLumCustomForm* GetParentForm(TLumControl* control) {
    TLumControl* top = control;
    while (top && top->Parent()) {
        top = top->Parent();
    }
    return dynamic_cast<TLumCustomForm*>(top);
}
