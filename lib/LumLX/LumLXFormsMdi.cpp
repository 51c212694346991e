// TLumFormLX and MDI: the redraw lock, docking a maximised child's bars into the main form's,
// the hooks on the MDI client and the main form's status bar, the control bar's colour.
#include "lib/LumLX/LumLXForms.h"

#include "rstr/LumLXForms.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

int redrawLockCount = 0;
bool redrawLockedUpdates = false;

TLumFormLX* MainFormLX() {
    return Application() ? dynamic_cast<TLumFormLX*>(Application()->MainForm()) : nullptr;
}

bool ThemesEnabled() {
    try {
        TSystemLibrary themes = LoadSystemLibrary(u"uxtheme.dll");
        auto isThemeActive = themes.FindProc<BOOL(WINAPI*)()>("IsThemeActive");
        auto isAppThemed = themes.FindProc<BOOL(WINAPI*)()>("IsAppThemed");
        return isThemeActive && isAppThemed && isThemeActive() && isAppThemed();
    } catch (const EOSError&) {
        return false;
    }
}

// A single simple panel or no panels count as one panel of 100.
int FirstPanelWidth(const TLumStatusBar& bar) {
    return bar.SimplePanel() || bar.PanelCount() == 0 ? 100 : bar.Panels(0).Width;
}

int TotalPanelWidth(const TLumStatusBar& bar) {
    if (bar.SimplePanel() || bar.PanelCount() == 0) {
        return FirstPanelWidth(bar);
    }
    int total = 0;
    for (int i = 0; i < bar.PanelCount(); ++i) {
        total += bar.Panels(i).Width;
    }
    return total;
}

void VerticalLine(HDC dc, int x, int top, int bottom, COLORREF color) {
    TScopedGdiObject pen(CreatePen(PS_SOLID, 1, color));
    if (!pen) {
        return;
    }
    HGDIOBJ old = SelectObject(dc, pen.Get());
    MoveToEx(dc, x, top, nullptr);
    LineTo(dc, x, bottom);
    SelectObject(dc, old);
}

} // namespace

void TLumFormLX::LockMdiRedraw() {
    TLumCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    if (main && main->ClientHandle() && redrawLockCount == 0) {
        redrawLockedUpdates = LockWindowUpdate(main->Handle()) != FALSE;
        SendMessageW(main->ClientHandle(), WM_SETREDRAW, FALSE, 0);
    }
    ++redrawLockCount;
}

void TLumFormLX::UnlockMdiRedraw() {
    if (redrawLockCount > 0) {
        --redrawLockCount;
    }
    if (redrawLockCount != 0) {
        return;
    }
    TLumCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    if (main && main->ClientHandle()) {
        SendMessageW(main->ClientHandle(), WM_SETREDRAW, TRUE, 0);
        RedrawWindow(main->ClientHandle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME | RDW_NOINTERNALPAINT);
        main->Repaint();
    }
    if (redrawLockedUpdates) {
        LockWindowUpdate(nullptr);
        redrawLockedUpdates = false;
    }
}

void TLumFormLX::Loaded() {
    TLumForm::Loaded();
    ColorControlBar();
    RehookStatusBar();
    RefreshDockState(true);
}

void TLumFormLX::Notification(TLumComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) {
        if (component == mdiControlBar_) {
            mdiControlBar_ = nullptr;
            ColorControlBar();
        }
        if (component == mdiToolBar_) {
            mdiToolBar_ = nullptr;
        }
        if (component == mdiStatusBar_) {
            mdiStatusBar_ = nullptr;
            RehookStatusBar();
        }
        // A docked child bar that goes while docked (its form freed) must not be painted.
        if (component == dockedChildStatusBar_) {
            dockedChildStatusBar_ = nullptr;
            if (mdiStatusBar_ && !IsDestroying()) {
                mdiStatusBar_->UpdatePanels();
            }
        }
    }
    TLumForm::Notification(component, operation);
}

void TLumFormLX::SetMDIControlBar(TLumControlBar* bar) {
    if (bar == mdiControlBar_) {
        return;
    }
    mdiControlBar_ = bar;
    if (bar) {
        bar->FreeNotification(this);
    }
    ColorControlBar();
    RefreshDockState(true);
}

void TLumFormLX::SetMDIToolBar(TToolBar* bar) {
    if (bar == mdiToolBar_) {
        return;
    }
    mdiToolBar_ = bar;
    if (bar) {
        bar->FreeNotification(this);
    }
    RefreshDockState(true);
}

void TLumFormLX::SetMDIStatusBar(TLumStatusBar* bar) {
    if (bar == mdiStatusBar_) {
        return;
    }
    mdiStatusBar_ = bar;
    if (bar) {
        bar->FreeNotification(this);
    }
    RehookStatusBar();
    RefreshDockState(true);
}

void TLumFormLX::ColorControlBar() {
    if (mdiControlBar_ && !Designing()) {
        mdiControlBar_->SetColor(ThemesEnabled() ? clMenuBar : clMenu);
    }
}

void TLumFormLX::CreateWindowDone() {
    TLumForm::CreateWindowDone();
    if (FormStyle() == TFormStyle::fsMDIForm) {
        HookMdiClient();
    }
    // The bars' windows were made again with the form's.
    RehookStatusBar();
}

void TLumFormLX::Resize() {
    TLumForm::Resize();
    if (TLumFormLX* main = MainFormLX(); main && !main->suppressNcPaint_) {
        RefreshDockState(false);
    }
}

// Only the main form's active MDI child has its bars docked, and only while maximised. With
// the lock the bars always move out and back in, whatever the recorded state says.
void TLumFormLX::RefreshDockState(bool withLock) {
    TLumCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    if (FormStyle() != TFormStyle::fsMDIChild || IsLoading() || IsDestroying() || !main ||
        main->ActiveMDIChild() != this) {
        return;
    }
    bool maximized = WindowState() == TWindowState::wsMaximized;
    if (!withLock) {
        MDIChild_UpdateMdiDockState(maximized);
        return;
    }
    LockMdiRedraw();
    auto unlock = OnScopeExit([] { UnlockMdiRedraw(); });
    MDIChild_UpdateMdiDockState(!maximized);
    MDIChild_UpdateMdiDockState(maximized);
}

void TLumFormLX::MDIChild_UpdateMdiDockState(bool docked) {
    if (IsLoading()) {
        return;
    }
    if (FormStyle() != TFormStyle::fsMDIChild) {
        throw ELumInternalError(LoadResString(LumLXForms::SDockStateNotMDIChild));
    }
    if (docked == docked_) {
        return;
    }
    TLumFormLX* main = MainFormLX();
    if (!main) {
        return;
    }
    LockMdiRedraw();
    auto unlock = OnScopeExit([] { UnlockMdiRedraw(); });
    DockToolBar(*main, docked);
    DockStatusBar(*main, docked);
    docked_ = docked;
}

void TLumFormLX::DockToolBar(TLumFormLX& main, bool docked) {
    if (!mdiToolBar_ || !mdiControlBar_ || !main.mdiToolBar_ || !main.mdiControlBar_) {
        return;
    }
    mdiToolBar_->Hide();
    if (docked) {
        mdiToolBar_->SetParent(main.mdiControlBar_);
        mdiToolBar_->SetLeft(main.mdiToolBar_->Left() + 1);
    } else {
        mdiToolBar_->SetParent(mdiControlBar_);
        mdiToolBar_->SetLeft(0);
    }
    mdiControlBar_->SetTop(0);
    mdiToolBar_->Show();
}

void TLumFormLX::DockStatusBar(TLumFormLX& main, bool docked) {
    TLumStatusBar* bar = mdiStatusBar_;
    TLumStatusBar* mainBar = main.mdiStatusBar_;
    if (!bar || !mainBar) {
        return;
    }
    if (docked) {
        savedStatusBar_ = {bar->Align(), bar->SizeGrip(), bar->BoundsRect()};
        bar->SetSizeGrip(false);
        bar->SetAlign(TAlign::alNone);
        bar->SetTop(0);
        bar->SetHeight(mainBar->Height());
        bar->SetLeft(FirstPanelWidth(*mainBar) + 2);
        bar->SetWidth(TotalPanelWidth(*bar) - 2);
        bar->SetParent(mainBar);
        main.SetDockedChildStatusBar(bar);
    } else {
        bar->SetParent(this);
        bar->SetAlign(savedStatusBar_.Align);
        const RECT& r = savedStatusBar_.Bounds;
        bar->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
        bar->SetSizeGrip(savedStatusBar_.SizeGrip);
        main.SetDockedChildStatusBar(nullptr);
    }
    // A bar made again while it moved has lost its hook.
    main.RehookStatusBar();
    mainBar->UpdatePanels();
}

void TLumFormLX::SetDockedChildStatusBar(TLumStatusBar* bar) {
    if (dockedChildStatusBar_ && dockedChildStatusBar_ != bar) {
        dockedChildStatusBar_->RemoveFreeNotification(this);
    }
    dockedChildStatusBar_ = bar;
    if (bar) {
        bar->FreeNotification(this);
    }
}

bool TLumFormLX::MdiMessage(TMessage& m) {
    switch (m.Msg) {
    case WM_NCPAINT:
        if (FormStyle() == TFormStyle::fsMDIForm && suppressNcPaint_) {
            return true;
        }
        return false;
    case WM_INITMENUPOPUP:
        if (FormStyle() == TFormStyle::fsMDIForm && WindowMenu() && ClientHandle() &&
            WindowMenu()->Handle() == reinterpret_cast<HMENU>(m.WParam)) {
            SendMessageW(ClientHandle(), WM_MDIREFRESHMENU, 0, 0);
        }
        return false;
    case WM_MDIACTIVATE:
        TLumForm::WndProc(m);
        if (FormStyle() == TFormStyle::fsMDIChild && !IsDestroying()) {
            if (reinterpret_cast<HWND>(m.LParam) == handle_) {
                ReadWindowState();
                MDIChild_UpdateMdiDockState(WindowState() == TWindowState::wsMaximized);
            } else if (reinterpret_cast<HWND>(m.WParam) == handle_) {
                MDIChild_UpdateMdiDockState(false);
            }
        }
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Hooks

void TLumFormLX::RehookStatusBar() {
    HWND window =
        mdiStatusBar_ && mdiStatusBar_->HandleAllocated() ? mdiStatusBar_->Handle() : nullptr;
    if (hookedStatusBar_ == mdiStatusBar_ && statusHook_.Window() == window) {
        return;
    }
    statusHook_.Restore();
    hookedStatusBar_ = nullptr;
    if (!window) {
        return;
    }
    if (!statusThunk_) {
        statusThunk_ = std::make_unique<TLumWndProcThunk>(
            this, [this](HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
                return StatusBarProc(w, msg, wParam, lParam);
            });
    }
    statusHook_.Install(window, statusThunk_->Proc());
    hookedStatusBar_ = mdiStatusBar_;
}

LRESULT TLumFormLX::StatusBarProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    TLumStatusBar* docked = dockedChildStatusBar_;
    if (!docked) {
        return statusHook_.CallPrevious(window, msg, wParam, lParam);
    }
    // The own panels after the first move right by the docked bar's width; a part reaching
    // to the end (-1) still does.
    std::vector<int> parts;
    if (msg == SB_SETPARTS && lParam) {
        int width = TotalPanelWidth(*docked);
        const int* edges = reinterpret_cast<const int*>(lParam);
        parts.assign(edges, edges + std::min<WPARAM>(wParam, 256));
        for (int& edge : parts) {
            if (edge != -1) {
                edge += width;
            }
        }
        wParam = parts.size();
        lParam = reinterpret_cast<LPARAM>(parts.data());
    }
    LRESULT result = statusHook_.CallPrevious(window, msg, wParam, lParam);
    if (msg == WM_PAINT) {
        PaintDockSeparators(window);
    }
    return result;
}

// Lines that frame the docked bar as if it were one of the own panels.
void TLumFormLX::PaintDockSeparators(HWND window) {
    TLumStatusBar* docked = dockedChildStatusBar_;
    if (!docked || !mdiStatusBar_) {
        return;
    }
    int f = FirstPanelWidth(*mdiStatusBar_);
    int d = TotalPanelWidth(*docked);
    RECT client;
    GetClientRect(window, &client);
    int h = client.bottom;
    HDC dc = GetDC(window);
    if (!dc) {
        return;
    }
    auto release = OnScopeExit([window, dc] { ReleaseDC(window, dc); });
    COLORREF own = ColorToRGB(mdiStatusBar_->Color());
    COLORREF child = ColorToRGB(docked->Color());
    VerticalLine(dc, f - 1, 0, h, own);
    VerticalLine(dc, f, 0, h, own);
    VerticalLine(dc, f + 1, 0, h, child);
    VerticalLine(dc, f + d, 0, h, child);
    VerticalLine(dc, f + d + 1, 0, h, own);
    VerticalLine(dc, f + d + 2, 0, h - 1, own);
    VerticalLine(dc, f - 1, 2, h, 0xFFFFFF);
    VerticalLine(dc, f + d + 2, 2, h - 1, 0x808080);
}

void TLumFormLX::HookMdiClient() {
    if (!clientThunk_) {
        clientThunk_ = std::make_unique<TLumWndProcThunk>(
            this, [this](HWND w, UINT msg, WPARAM wParam, LPARAM lParam) {
                return MdiClientProc(w, msg, wParam, lParam);
            });
    }
    clientHook_.Install(ClientHandle(), clientThunk_->Proc());
}

// A menu switch with a maximised child: the child is told it is restored and maximised again
// around it, with the frame's painting held back meanwhile, so the menu bar does not flicker.
LRESULT TLumFormLX::MdiClientProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    TLumCustomForm* child = msg == WM_MDISETMENU ? ActiveMDIChild() : nullptr;
    if (!child || child->WindowState() != TWindowState::wsMaximized) {
        return clientHook_.CallPrevious(window, msg, wParam, lParam);
    }
    HWND childWindow = child->Handle();
    RECT r;
    GetClientRect(childWindow, &r);
    LPARAM size = MAKELPARAM(r.right, r.bottom);
    suppressNcPaint_ = true;
    SendMessageW(childWindow, WM_SIZE, SIZE_RESTORED, size);
    auto after = OnScopeExit([this, childWindow, size] {
        SendMessageW(childWindow, WM_SIZE, SIZE_MAXIMIZED, size);
        suppressNcPaint_ = false;
        RECT strip{0, -1, Width(), 0};
        RedrawWindow(handle_, &strip, nullptr, RDW_INVALIDATE | RDW_FRAME);
    });
    return clientHook_.CallPrevious(window, msg, wParam, lParam);
}
