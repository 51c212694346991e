// TLumFormLX: the module's state, the properties, own taskbar buttons, modal popups,
// activation and closing. The MDI parts are in LumLXFormsMdi.cpp.
#include "lib/LumLX/LumLXForms.h"

#include "rstr/LumLXForms.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using TFlashWindowEx = BOOL(WINAPI*)(PFLASHWINFO);

std::vector<TLumFormLX*> taskBarForms;
bool pendingMainClose = false;
std::vector<TLumFormLX*> bringToFrontForms;
UINT bringToFrontMessage = 0;
TFlashWindowEx flashWindowEx = nullptr;
bool exitHookRegistered = false;

void Start() {
    {
        TSystemLibrary user32 = LoadSystemLibrary(u"user32.dll");
        flashWindowEx = user32.FindProc<TFlashWindowEx>("FlashWindowEx");
    }
    taskBarForms.clear();
    pendingMainClose = false;
    bringToFrontForms.clear();
    bringToFrontMessage = RegisterWindowMessageW(L"Lum.BringToFront");
}

void Stop() {
    taskBarForms.clear();
    bringToFrontForms.clear();
}

template <class T> void EraseValue(std::vector<T*>& list, T* value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

// Whether the foreground window is one of this process's: the application is active.
bool ApplicationActive() {
    DWORD process = 0;
    HWND foreground = GetForegroundWindow();
    return foreground && GetWindowThreadProcessId(foreground, &process) &&
           process == GetCurrentProcessId();
}

// The modal window that waits in front of `window`, or null.
HWND ModalPopupOf(HWND window) {
    if (!window) {
        return nullptr;
    }
    HWND popup = GetLastActivePopup(window);
    if (!popup || !IsWindow(popup) || popup == window || GetWindow(popup, GW_OWNER) != window ||
        !IsWindowEnabled(popup)) {
        return nullptr;
    }
    auto form = dynamic_cast<TLumCustomForm*>(TLumWinControl::FindControl(popup));
    if (form && form->Modal()) {
        return popup;
    }
    bool modalFrame = (GetWindowLongW(popup, GWL_STYLE) & DS_MODALFRAME) != 0 &&
                      (GetWindowLongW(popup, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) != 0;
    return modalFrame ? popup : nullptr;
}

HWND ApplicationModalPopup() {
    return Application() ? ModalPopupOf(Application()->Handle()) : nullptr;
}

void Flash(HWND window) {
    if (flashWindowEx) {
        FLASHWINFO info{};
        info.cbSize = 20;
        info.hwnd = window;
        info.dwFlags = FLASHW_CAPTION;
        info.uCount = 3;
        info.dwTimeout = 70;
        flashWindowEx(&info);
    } else {
        FlashWindow(window, TRUE);
    }
}

// The application's own window carries the program's taskbar button unless the main form
// has one of its own.
void UpdateApplicationButton(bool formHasButton, bool designing) {
    if (Application()) {
        ShowWindow(Application()->Handle(), formHasButton && !designing ? SW_HIDE : SW_SHOW);
    }
}

// At the program's end an MDI main form disappears before its children are torn down.
void HideMdiMainFormAtExit() {
    TLumCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    if (main && main->FormStyle() == TFormStyle::fsMDIForm && main->HandleAllocated()) {
        ShowWindow(main->Handle(), SW_HIDE);
    }
}

} // namespace

TUnit LumLXFormsUnit("LumLXForms", &Start, &Stop);

UINT BringToFrontMessage() {
    return bringToFrontMessage;
}

int TaskBarFormCount() {
    return static_cast<int>(taskBarForms.size());
}

const TLumClass& TLumFormLX::StaticClass() {
    using F = TLumFormLX;
    static const TLumClass cls =
        TLumClassBuilder<F>("TLumFormLX", &TLumForm::StaticClass())
            .Republish("FormStyle")
            .Prop<&F::TaskBarButton, &F::SetTaskBarButton>("TaskBarButton", false)
            .Republish("Menu")
            .Prop<&F::MDIControlBar, &F::SetMDIControlBar>("MDIControlBar")
            .Prop<&F::MDIToolBar, &F::SetMDIToolBar>("MDIToolBar")
            .Prop<&F::MDIStatusBar, &F::SetMDIStatusBar>("MDIStatusBar")
            .Build();
    return cls;
}

bool TLumFormLX::Designing() const {
    return ComponentState().Contains(TComponentStateFlag::csDesigning);
}

bool TLumFormLX::IsMainForm() const {
    return Application() && Application()->MainForm() == this;
}

void TLumFormLX::SetFormStyle(TFormStyle style) {
    if (style == FormStyle()) {
        return;
    }
    if (style == TFormStyle::fsMDIChild && taskBarButton_) {
        throw ELumInternalError(LoadResString(LumLXForms::SMDIChildTaskBarButton));
    }
    TLumForm::SetFormStyle(style);
    RefreshDockState(true);
}

void TLumFormLX::SetTaskBarButton(bool value) {
    if (value == taskBarButton_) {
        return;
    }
    if (taskBarButton_) {
        EraseValue(taskBarForms, this);
        if (pendingMainClose && taskBarForms.size() == 1 && Application() &&
            Application()->MainForm() == taskBarForms.front()) {
            taskBarForms.front()->Close();
        }
    }
    if (FormStyle() == TFormStyle::fsMDIChild) {
        throw ELumGeneralError(LoadResString(LumLXForms::SNoTaskBarButton));
    }
    taskBarButton_ = value;
    if (value) {
        taskBarForms.push_back(this);
    }
    if (!IsDestroying() && !Designing()) {
        RecreateWnd();
        if (IsMainForm()) {
            UpdateApplicationButton(taskBarButton_, false);
        }
    }
}

void TLumFormLX::SetMenu(TLumMainMenu* menu) {
    FixUpMainMenu(menu);
    TLumForm::SetMenu(menu);
}

void TLumFormLX::CreateParams(TCreateParams& params) {
    TLumForm::CreateParams(params);
    if (taskBarButton_ && !Designing()) {
        params.ExStyle |= WS_EX_APPWINDOW;
        params.WndParent = nullptr;
    }
}

void TLumFormLX::BeforeDestruction() {
    if (FormStyle() == TFormStyle::fsMDIChild && !redrawLocked_) {
        LockMdiRedraw();
        redrawLocked_ = true;
    }
    TLumForm::BeforeDestruction();
    EraseValue(bringToFrontForms, this);
    // Nothing may leave a destruction: what the main form's delayed close raises goes to the
    // exception hook.
    try {
        SetTaskBarButton(false);
    } catch (...) {
        HandleCallbackException(this);
    }
}

TLumFormLX::~TLumFormLX() {
    auto unlock = OnScopeExit([this] {
        if (redrawLocked_) {
            UnlockMdiRedraw();
        }
    });
    EraseValue(taskBarForms, this);
    EraseValue(bringToFrontForms, this);
    clientHook_.Restore();
    statusHook_.Restore();
}

TCloseAction TLumFormLX::DoClose(TCloseAction action) {
    if (FormStyle() == TFormStyle::fsMDIChild) {
        action = TCloseAction::caFree;
    }
    action = TLumForm::DoClose(action);
    if (IsMainForm() && taskBarButton_ && !Designing() && action != TCloseAction::caNone &&
        taskBarForms.size() >= 2) {
        action = TCloseAction::caNone;
        pendingMainClose = true;
        Hide();
    }
    return action;
}

// A click on a form that a modal window disables brings that window up.
void TLumFormLX::SetCursorMessage(TMessage& m) {
    bool active = ApplicationActive();
    TLumForm::WndProc(m);
    if (reinterpret_cast<HWND>(m.WParam) != handle_ || HIWORD(m.LParam) != WM_LBUTTONDOWN ||
        IsWindowEnabled(handle_)) {
        return;
    }
    if (HWND popup = ModalPopupOf(handle_)) {
        SetActiveWindow(popup);
        if (active) {
            MessageBeep(0);
            Flash(popup);
        }
    } else if (HWND appPopup = ApplicationModalPopup()) {
        SetActiveWindow(appPopup);
        if (active) {
            Flash(appPopup);
        }
    }
}

void TLumFormLX::WndProc(TMessage& m) {
    if (bringToFrontMessage != 0 && m.Msg == bringToFrontMessage && !bringToFrontForms.empty()) {
        std::vector<TLumFormLX*> forms;
        forms.swap(bringToFrontForms);
        for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
            if ((*it)->HandleAllocated()) {
                BringWindowToTop((*it)->Handle());
            }
        }
        SetActiveWindow(reinterpret_cast<HWND>(m.WParam));
        return;
    }
    switch (m.Msg) {
    case WM_ACTIVATE:
        TLumForm::WndProc(m);
        if (LOWORD(m.WParam) == WA_ACTIVE && taskBarButton_ && !Designing()) {
            HWND popup = ApplicationModalPopup();
            if (!IsWindowEnabled(handle_) && popup) {
                SetActiveWindow(popup);
            }
            UpdateApplicationButton(true, false);
        }
        return;
    case WM_ACTIVATEAPP:
        TLumForm::WndProc(m);
        if (m.WParam && Visible() && taskBarButton_ && !Designing() && !IsWindowEnabled(handle_)) {
            if (HWND popup = ApplicationModalPopup()) {
                bringToFrontForms.push_back(this);
                PostMessageW(handle_, bringToFrontMessage, reinterpret_cast<WPARAM>(popup), 0);
            }
        }
        return;
    case WM_SETCURSOR:
        SetCursorMessage(m);
        return;
    case WM_SYSCOMMAND:
        if ((m.WParam & 0xFFF0) == SC_MINIMIZE && IsMainForm() && taskBarButton_ && !Designing()) {
            DefaultHandler(m);
            return;
        }
        break;
    case CM_VISIBLECHANGED:
        if (IsMainForm()) {
            UpdateApplicationButton(taskBarButton_, Designing());
            if (m.WParam && !exitHookRegistered) {
                exitHookRegistered = true;
                std::atexit(&HideMdiMainFormAtExit);
            }
        }
        break;
    case CM_MENUCHANGED:
        FixUpMainMenu(Menu());
        break;
    case WM_THEMECHANGED:
        ColorControlBar();
        break;
    default:
        if (MdiMessage(m)) {
            return;
        }
        break;
    }
    TLumForm::WndProc(m);
    if (m.Msg == CM_SHOWINGCHANGED &&
        (!Application() || !Application()->MainForm() || IsMainForm())) {
        UpdateApplicationButton(taskBarButton_, Designing());
    }
}
