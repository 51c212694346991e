// TLumWinControl and the window procedure of every toolkit window.
#include "toolkit/ui/LumControlBase.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumApplication.h"

#include <algorithm>
#include <climits>
#include <map>

namespace {

const wchar_t* const kControlProperty = L"LumControl";

// The control whose window is being created: the window procedure binds the first message
// of a new window to it.
TLumWinControl* creationControl = nullptr;

// Child windows need distinct ids for WM_COMMAND and the dialog manager.
UINT_PTR nextControlId = 100;

template <class T> void EraseValue(std::vector<T*>& list, T* value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

// Registers the window class once; answers the procedure that does the class's own handling.
WNDPROC RegisterWindowClass(const TCreateParams& params) {
    static std::map<std::u16string, WNDPROC> registered;
    auto it = registered.find(params.WinClassName);
    if (it != registered.end()) {
        return it->second;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    WNDPROC defaultProc = DefWindowProcW;
    if (!params.SysClassName.empty()) {
        Win32Check(GetClassInfoExW(nullptr, WinStr(params.SysClassName), &wc));
        defaultProc = wc.lpfnWndProc;
        wc.cbSize = sizeof wc;
    } else {
        wc.style = params.ClassStyle;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    }
    wc.lpfnWndProc = LumWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = WinStr(params.WinClassName);
    wc.hbrBackground = nullptr;
    Win32Check(RegisterClassExW(&wc) != 0);
    registered.emplace(params.WinClassName, defaultProc);
    return defaultProc;
}

} // namespace

LRESULT CALLBACK LumWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto control = static_cast<TLumWinControl*>(GetPropW(window, kControlProperty));
    if (!control) {
        control = creationControl;
        if (!control) {
            return DefWindowProcW(window, msg, wParam, lParam);
        }
        creationControl = nullptr;
        control->handle_ = window;
        SetPropW(window, kControlProperty, control);
    }
    TMessage message{msg, wParam, lParam, 0};
    try {
        control->WndProc(message);
    } catch (...) {
        HandleCallbackException(control);
    }
    if (msg == WM_NCDESTROY) {
        RemovePropW(window, kControlProperty);
        control->handle_ = nullptr;
    }
    return message.Result;
}

// ---------------------------------------------------------------------------------------------
// TLumWinControl

TLumWinControl::TLumWinControl(TLumComponent* owner) : TLumControl(owner) {}

TLumWinControl::~TLumWinControl() {
    while (!controls_.empty()) {
        controls_.back()->Free();
    }
    DestroyHandle();
}

const TLumClass& TLumWinControl::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumWinControl>("TLumWinControl", &TLumControl::StaticClass())
            .Prop<&TLumWinControl::TabOrder, &TLumWinControl::SetTabOrder>("TabOrder")
            .StoredWhen(&TLumWinControl::InParent)
            .Prop<&TLumWinControl::TabStop, &TLumWinControl::SetTabStop>("TabStop")
            .StoredWhen(&TLumWinControl::TabStopStored)
            .Event<&TLumWinControl::OnKeyDown>("OnKeyDown")
            .Event<&TLumWinControl::OnKeyUp>("OnKeyUp")
            .Build();
    return cls;
}

HWND TLumWinControl::Handle() {
    if (!handle_) {
        CreateWnd();
    }
    return handle_;
}

TLumWinControl* TLumWinControl::FindControl(HWND window) {
    return window ? static_cast<TLumWinControl*>(GetPropW(window, kControlProperty)) : nullptr;
}

void TLumWinControl::CreateParams(TCreateParams& params) {
    params.Caption = text_;
    params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (Visible()) {
        params.Style |= WS_VISIBLE;
    }
    if (!Enabled()) {
        params.Style |= WS_DISABLED;
    }
    if (tabStop_) {
        params.Style |= WS_TABSTOP;
    }
    POINT origin = WindowOrigin();
    params.X = origin.x;
    params.Y = origin.y;
    params.Width = width_;
    params.Height = height_;
    params.WndParent = Parent() ? Parent()->Handle() : nullptr;
    params.WinClassName = AsciiToWide(ClassName());
}

void TLumWinControl::CreateWnd() {
    TCreateParams params;
    CreateParams(params);
    defWndProc_ = RegisterWindowClass(params);
    HMENU id = nullptr;
    // The MDI client numbers its children itself.
    if ((params.Style & WS_CHILD) && !(params.ExStyle & WS_EX_MDICHILD)) {
        id = reinterpret_cast<HMENU>(nextControlId++);
    }
    creationControl = this;
    HWND window =
        CreateWindowExW(params.ExStyle, WinStr(params.WinClassName), WinStr(params.Caption),
                        params.Style, params.X, params.Y, params.Width, params.Height,
                        params.WndParent, id, GetModuleHandleW(nullptr), nullptr);
    creationControl = nullptr;
    if (!window) {
        RaiseLastOSError();
    }
    handle_ = window;
    CreateWindowDone();
}

void TLumWinControl::CreateWindowDone() {
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), FALSE);
    for (TLumControl* child : controls_) {
        if (auto win = dynamic_cast<TLumWinControl*>(child); win && win->Visible()) {
            win->HandleNeeded();
        }
    }
    UpdateChildZOrder();
}

void TLumWinControl::DestroyWnd() {
    if (handle_) {
        text_ = Text();
        DestroyWindow(handle_);
        handle_ = nullptr;
    }
}

void TLumWinControl::DestroyHandle() {
    for (TLumControl* child : controls_) {
        if (auto win = dynamic_cast<TLumWinControl*>(child)) {
            win->DestroyHandle();
        }
    }
    DestroyWnd();
}

void TLumWinControl::RecreateWnd() {
    if (handle_) {
        DestroyHandle();
        HandleNeeded();
    }
}

void TLumWinControl::WndProc(TMessage& m) {
    switch (m.Msg) {
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        // Notifications from a child window go to the child's control.
        if (TLumWinControl* child = FindControl(reinterpret_cast<HWND>(m.LParam));
            child && child != this) {
            m.Result = child->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
            return;
        }
        break;
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORSTATIC:
    case CN_CTLCOLORBTN: {
        auto dc = reinterpret_cast<HDC>(m.WParam);
        SetTextColor(dc, ColorToRGB(Font()->Color()));
        SetBkColor(dc, ColorToRGB(Color()));
        m.Result = reinterpret_cast<LRESULT>(ColorBrush());
        return;
    }
    case WM_WINDOWPOSCHANGED: {
        RECT r;
        GetWindowRect(handle_, &r);
        if (HWND parent = GetParent(handle_);
            parent && (GetWindowLongW(handle_, GWL_STYLE) & WS_CHILD)) {
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        }
        left_ = r.left;
        top_ = r.top;
        width_ = r.right - r.left;
        height_ = r.bottom - r.top;
        break;
    }
    case WM_SIZE:
        DefaultHandler(m);
        Resize();
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        auto key = static_cast<std::uint16_t>(m.WParam);
        if (!DoKeyDown(key, KeyboardShiftState())) {
            return;
        }
        m.WParam = key;
        break;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (OnKeyUp) {
            auto key = static_cast<std::uint16_t>(m.WParam);
            OnKeyUp(this, key, KeyboardShiftState());
            if (key == 0) {
                return;
            }
            m.WParam = key;
        }
        break;
    case WM_LBUTTONDBLCLK:
        DefaultHandler(m);
        DblClick();
        return;
    case WM_SETCURSOR:
        if (LOWORD(m.LParam) == HTCLIENT) {
            TCursor cursor = ScreenCursor() != crDefault ? ScreenCursor() : Cursor();
            if (cursor != crDefault) {
                ::SetCursor(CursorHandle(cursor));
                m.Result = TRUE;
                return;
            }
        }
        break;
    default:
        if (m.Msg >= CM_BASE && m.Msg < CN_BASE + 0x400) {
            TLumControl::WndProc(m);
            return;
        }
        break;
    }
    DefaultHandler(m);
}

void TLumWinControl::DefaultHandler(TMessage& m) {
    if (!handle_) {
        return;
    }
    m.Result = CallWindowProcW(defWndProc_ ? defWndProc_ : DefWindowProcW, handle_, m.Msg, m.WParam,
                               m.LParam);
}

bool TLumWinControl::DoKeyDown(std::uint16_t& key, TShiftState shift) {
    if (OnKeyDown) {
        OnKeyDown(this, key, shift);
    }
    return key != 0;
}

void TLumWinControl::Resize() {
    AlignControls();
    int width = ClientWidth();
    int height = ClientHeight();
    for (TLumControl* child : std::vector<TLumControl*>(controls_)) {
        if (child->Align() == TAlign::alNone) {
            child->ApplyAnchors(width, height);
        }
    }
    if (OnResize) {
        OnResize(this);
    }
}

RECT TLumWinControl::AlignRect() {
    return {0, 0, ClientWidth(), ClientHeight()};
}

void TLumWinControl::AlignDone(const RECT&) {}

void TLumWinControl::AlignControls() {
    if (aligning_ || IsLoading() || IsDestroying()) {
        return;
    }
    TRestore<bool> aligning(aligning_, true);
    RECT rest = AlignRect();
    for (TAlign align :
         {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
        for (TLumControl* child : std::vector<TLumControl*>(controls_)) {
            if (child->Align() != align || !child->Visible()) {
                continue;
            }
            int width = std::max<int>(rest.right - rest.left, 0);
            int height = std::max<int>(rest.bottom - rest.top, 0);
            switch (align) {
            case TAlign::alTop:
                child->SetBounds(rest.left, rest.top, width, child->Height());
                rest.top += child->Height();
                break;
            case TAlign::alBottom:
                child->SetBounds(rest.left, rest.bottom - child->Height(), width, child->Height());
                rest.bottom -= child->Height();
                break;
            case TAlign::alLeft:
                child->SetBounds(rest.left, rest.top, child->Width(), height);
                rest.left += child->Width();
                break;
            case TAlign::alRight:
                child->SetBounds(rest.right - child->Width(), rest.top, child->Width(), height);
                rest.right -= child->Width();
                break;
            default:
                child->SetBounds(rest.left, rest.top, width, height);
                rest.left = rest.right;
                rest.top = rest.bottom;
                break;
            }
        }
    }
    AlignDone(rest);
}

void TLumWinControl::PaintControls(TLumCanvas& canvas) {
    for (TLumControl* child : controls_) {
        if (auto graphic = dynamic_cast<TLumGraphicControl*>(child);
            graphic && graphic->Visible()) {
            graphic->Paint(canvas);
        }
    }
}

HBRUSH TLumWinControl::ColorBrush() {
    if (!brush_) {
        brush_.Reset(CreateSolidBrush(ColorToRGB(Color())));
        Win32Check(brush_.IsValid());
    }
    return static_cast<HBRUSH>(brush_.Get());
}

void TLumWinControl::ColorChanged() {
    brush_.Reset();
    for (TLumControl* child : controls_) {
        child->Perform(CM_PARENTCOLORCHANGED);
    }
    Invalidate();
}

void TLumWinControl::FontChanged() {
    TLumControl::FontChanged();
    if (handle_) {
        SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), TRUE);
    }
    for (TLumControl* child : controls_) {
        child->Perform(CM_PARENTFONTCHANGED);
    }
}

std::u16string TLumWinControl::Text() const {
    if (!handle_) {
        return text_;
    }
    int length = GetWindowTextLengthW(handle_);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    int copied = GetWindowTextW(handle_, reinterpret_cast<wchar_t*>(text.data()), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

void TLumWinControl::TextChanged() {
    if (handle_) {
        Win32Check(SetWindowTextW(handle_, WinStr(text_)));
    }
}

void TLumWinControl::SetBounds(int left, int top, int width, int height) {
    TLumControl::SetBounds(left, top, width, height);
}

void TLumWinControl::BoundsChanged() {
    if (handle_) {
        POINT origin = WindowOrigin();
        SetWindowPos(handle_, nullptr, origin.x, origin.y, width_, height_,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        TLumControl::BoundsChanged();
    }
}

void TLumWinControl::VisibleChanged() {
    if (Visible() && Parent() && Parent()->HandleAllocated()) {
        HandleNeeded();
    }
    if (handle_) {
        ShowWindow(handle_, Visible() ? SW_SHOWNA : SW_HIDE);
    }
}

void TLumWinControl::SetEnabled(bool enabled) {
    TLumControl::SetEnabled(enabled);
    if (handle_) {
        EnableWindow(handle_, enabled);
    }
}

void TLumWinControl::Invalidate() {
    if (handle_) {
        InvalidateRect(handle_, nullptr, TRUE);
    }
}

void TLumWinControl::Update() {
    if (handle_) {
        UpdateWindow(handle_);
    }
}

void TLumWinControl::GetChildren(const std::function<void(TLumComponent*)>& proc,
                                 TLumComponent* root) {
    TLumControl::GetChildren(proc, root);
    for (TLumControl* child : controls_) {
        if (child->Owner() == root) {
            proc(child);
        }
    }
}

int TLumWinControl::TabOrder() const {
    if (!Parent()) {
        return -1;
    }
    const auto& list = Parent()->tabList_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TLumWinControl::SetTabOrder(int order) {
    if (!Parent()) {
        return;
    }
    auto& list = Parent()->tabList_;
    // While a stream is read the siblings do not all exist yet: the list is ordered by the
    // requested positions instead.
    if (IsLoading()) {
        tabOrderRequest_ = order;
        std::stable_sort(list.begin(), list.end(), [](TLumWinControl* a, TLumWinControl* b) {
            auto rank = [](TLumWinControl* c) {
                return c->tabOrderRequest_ < 0 ? INT_MAX : c->tabOrderRequest_;
            };
            return rank(a) < rank(b);
        });
        Parent()->UpdateChildZOrder();
        return;
    }
    EraseValue(list, this);
    size_t at = order < 0 ? list.size() : std::min(static_cast<size_t>(order), list.size());
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), this);
    Parent()->UpdateChildZOrder();
}

void TLumWinControl::InitTabStop(bool value) {
    SetTabStop(value);
    defaultTabStop_ = value;
}

bool TLumWinControl::TabStopStored() const {
    return tabStop_ != defaultTabStop_;
}

void TLumWinControl::SetTabStop(bool value) {
    if (value == tabStop_) {
        return;
    }
    tabStop_ = value;
    if (handle_) {
        LONG style = GetWindowLongW(handle_, GWL_STYLE);
        SetWindowLongW(handle_, GWL_STYLE, value ? style | WS_TABSTOP : style & ~WS_TABSTOP);
    }
}

// The dialog manager moves the focus in window order, so the windows follow the tab order.
void TLumWinControl::UpdateChildZOrder() {
    HWND previous = HWND_TOP;
    for (TLumWinControl* child : tabList_) {
        if (child->handle_) {
            SetWindowPos(child->handle_, previous, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
            previous = child->handle_;
        }
    }
}

bool TLumWinControl::CanFocus() const {
    for (const TLumControl* c = this; c; c = c->Parent()) {
        if (!c->Visible() || !c->Enabled()) {
            return false;
        }
    }
    return true;
}

bool TLumWinControl::Focused() const {
    return handle_ && GetFocus() == handle_;
}

void TLumWinControl::SetFocus() {
    ::SetFocus(Handle());
}

void TLumWinControl::InsertControl(TLumControl* control) {
    controls_.push_back(control);
    control->parent_ = this;
    if (auto win = dynamic_cast<TLumWinControl*>(control)) {
        tabList_.push_back(win);
        if (handle_ && win->Visible()) {
            win->HandleNeeded();
            UpdateChildZOrder();
        }
    }
    if (control->Align() != TAlign::alNone) {
        AlignControls();
    }
    ControlsChanged();
    Invalidate();
}

void TLumWinControl::RemoveControl(TLumControl* control) {
    if (auto win = dynamic_cast<TLumWinControl*>(control)) {
        win->DestroyHandle();
        EraseValue(tabList_, win);
    }
    EraseValue(controls_, control);
    control->parent_ = nullptr;
    if (control->Align() != TAlign::alNone) {
        AlignControls();
    }
    ControlsChanged();
    Invalidate();
}
