// A form's menu bar, and MDI: the frame with its MDI client, the children in it, and the
// system's MDI keys through the application's message filters.
#include "toolkit/ui/LumForms.h"

#include "rstr/LumFormsMdi.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"

namespace {

// The ids the MDI client gives the entries of the window menu.
constexpr UINT kFirstMdiChildId = 0xFF00;

// Ctrl+F4, Ctrl+F6 and the child's system menu keys reach the active MDI child.
class TMdiAcceleratorFilter : public TLumMessageFilter {
  public:
    explicit TMdiAcceleratorFilter(HWND client) : client_(client) {}
    bool PreTranslateMessage(MSG& msg) override {
        return IsWindow(client_) && TranslateMDISysAccel(client_, &msg);
    }

  private:
    HWND client_;
};

} // namespace

void TLumCustomForm::SetMenu(TLumMainMenu* menu) {
    if (menu == menu_) {
        return;
    }
    if (menu_) {
        menu_->OnChange = nullptr;
        menu_->RemoveFreeNotification(this);
    }
    menu_ = menu;
    if (menu_) {
        menu_->FreeNotification(this);
        menu_->OnChange = [this] { Perform(CM_MENUCHANGED); };
    }
    ApplyMenu();
}

void TLumCustomForm::SetWindowMenu(TLumMenuItem* item) {
    if (item == windowMenu_) {
        return;
    }
    if (windowMenu_) {
        windowMenu_->RemoveFreeNotification(this);
    }
    windowMenu_ = item;
    if (windowMenu_) {
        windowMenu_->FreeNotification(this);
    }
    ApplyMenu();
}

void TLumCustomForm::Notification(TLumComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) {
        if (component == menu_) {
            menu_ = nullptr;
            if (!IsDestroying()) {
                ApplyMenu();
            }
        }
        if (component == windowMenu_) {
            windowMenu_ = nullptr;
        }
    }
    TLumWinControl::Notification(component, operation);
}

void TLumCustomForm::ApplyMenu() {
    if (!handle_ || IsLoading() || formStyle_ == TFormStyle::fsMDIChild) {
        return;
    }
    HMENU menu = menu_ ? menu_->Handle() : nullptr;
    if (clientHandle_ && menu) {
        HMENU windowMenu = windowMenu_ ? windowMenu_->Handle() : nullptr;
        SendMessageW(clientHandle_, WM_MDISETMENU, reinterpret_cast<WPARAM>(menu),
                     reinterpret_cast<LPARAM>(windowMenu));
    } else {
        Win32Check(::SetMenu(handle_, menu));
    }
    DrawMenuBar(handle_);
}

// Commands of the menu, and the drawing of its owner-drawn items.
bool TLumCustomForm::MenuMessage(TMessage& m) {
    switch (m.Msg) {
    case CM_MENUCHANGED:
        ApplyMenu();
        return true;
    case WM_COMMAND:
        return m.LParam == 0 && HIWORD(m.WParam) == 0 && menu_ &&
               menu_->DispatchCommand(LOWORD(m.WParam));
    case WM_MEASUREITEM: {
        auto* info = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
        TLumMenuItem* item =
            menu_ && info->CtlType == ODT_MENU ? menu_->FindItem(info->itemID) : nullptr;
        if (!item || reinterpret_cast<ULONG_PTR>(item) != info->itemData) {
            return false;
        }
        HDC dc = GetDC(handle_);
        HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        int width = 0;
        int height = 0;
        item->MeasureItem(dc, width, height);
        SelectObject(dc, oldFont);
        ReleaseDC(handle_, dc);
        info->itemWidth = static_cast<UINT>(width);
        info->itemHeight = static_cast<UINT>(height);
        m.Result = TRUE;
        return true;
    }
    case WM_DRAWITEM: {
        auto* info = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        TLumMenuItem* item =
            menu_ && info->CtlType == ODT_MENU ? menu_->FindItem(info->itemID) : nullptr;
        if (!item || reinterpret_cast<ULONG_PTR>(item) != info->itemData) {
            return false;
        }
        item->DrawItem(info->hDC, info->rcItem, (info->itemState & ODS_SELECTED) != 0);
        m.Result = TRUE;
        return true;
    }
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// MDI

void TLumCustomForm::DefaultHandler(TMessage& m) {
    if (handle_ && formStyle_ == TFormStyle::fsMDIForm) {
        m.Result = DefFrameProcW(handle_, clientHandle_, m.Msg, m.WParam, m.LParam);
    } else if (handle_ && (GetWindowLongW(handle_, GWL_EXSTYLE) & WS_EX_MDICHILD)) {
        m.Result = DefMDIChildProcW(handle_, m.Msg, m.WParam, m.LParam);
    } else {
        TLumWinControl::DefaultHandler(m);
    }
}

HWND TLumCustomForm::MdiClientOf() const {
    TLumCustomForm* main = Application() ? Application()->MainForm() : nullptr;
    return main && main != this ? main->ClientHandle() : nullptr;
}

void TLumCustomForm::CreateWnd() {
    if (formStyle_ == TFormStyle::fsMDIChild && !MdiClientOf()) {
        throw EInvalidOperation(LoadResString(LumFormsMdi::SNoMDIForm));
    }
    TLumWinControl::CreateWnd();
}

void TLumCustomForm::CreateMdiClient() {
    CLIENTCREATESTRUCT create{};
    create.hWindowMenu = windowMenu_ && menu_ ? windowMenu_->Handle() : nullptr;
    create.idFirstChild = kFirstMdiChildId;
    RECT r;
    GetClientRect(handle_, &r);
    clientHandle_ = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
        WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_HSCROLL | WS_VSCROLL, 0, 0,
        r.right, r.bottom, handle_, nullptr, GetModuleHandleW(nullptr), &create);
    Win32Check(clientHandle_ != nullptr);
    mdiAccelerators_ = std::make_unique<TMdiAcceleratorFilter>(clientHandle_);
    Application()->AddMessageFilter(mdiAccelerators_.get());
    AlignControls();
}

void TLumCustomForm::DestroyMdiClient() {
    if (mdiAccelerators_) {
        if (Application()) {
            Application()->RemoveMessageFilter(mdiAccelerators_.get());
        }
        mdiAccelerators_.reset();
    }
    clientHandle_ = nullptr;
}

void TLumCustomForm::DestroyWnd() {
    HWND client = handle_ ? GetParent(handle_) : nullptr;
    if (handle_ && (GetWindowLongW(handle_, GWL_EXSTYLE) & WS_EX_MDICHILD) && client) {
        text_ = Text();
        SendMessageW(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(handle_), 0);
        handle_ = nullptr;
        return;
    }
    DestroyMdiClient();
    TLumWinControl::DestroyWnd();
}

void TLumCustomForm::AlignDone(const RECT& rest) {
    if (clientHandle_) {
        MoveWindow(clientHandle_, rest.left, rest.top, rest.right - rest.left,
                   rest.bottom - rest.top, TRUE);
    }
}

TLumCustomForm* TLumCustomForm::ActiveMDIChild() const {
    if (!clientHandle_) {
        return nullptr;
    }
    auto active = reinterpret_cast<HWND>(SendMessageW(clientHandle_, WM_MDIGETACTIVE, 0, 0));
    return dynamic_cast<TLumCustomForm*>(FindControl(active));
}

int TLumCustomForm::MDIChildCount() const {
    int count = 0;
    while (MDIChildren(count)) {
        ++count;
    }
    return count;
}

TLumCustomForm* TLumCustomForm::MDIChildren(int index) const {
    if (!clientHandle_) {
        return nullptr;
    }
    for (HWND w = GetWindow(clientHandle_, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        auto form = dynamic_cast<TLumCustomForm*>(FindControl(w));
        if (form && form->formStyle_ == TFormStyle::fsMDIChild && index-- == 0) {
            return form;
        }
    }
    return nullptr;
}

void TLumCustomForm::Cascade() {
    if (clientHandle_) {
        SendMessageW(clientHandle_, WM_MDICASCADE, 0, 0);
    }
}

void TLumCustomForm::Tile() {
    if (clientHandle_) {
        SendMessageW(clientHandle_, WM_MDITILE, MDITILE_VERTICAL, 0);
    }
}

void TLumCustomForm::ArrangeIcons() {
    if (clientHandle_) {
        SendMessageW(clientHandle_, WM_MDIICONARRANGE, 0, 0);
    }
}

void TLumCustomForm::Next() {
    if (TLumCustomForm* active = ActiveMDIChild()) {
        SendMessageW(clientHandle_, WM_MDINEXT, reinterpret_cast<WPARAM>(active->handle_), 0);
    }
}

void TLumCustomForm::Previous() {
    if (TLumCustomForm* active = ActiveMDIChild()) {
        SendMessageW(clientHandle_, WM_MDINEXT, reinterpret_cast<WPARAM>(active->handle_), 1);
    }
}

void TLumCustomForm::ReadWindowState() {
    if (!handle_) {
        return;
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    Win32Check(GetWindowPlacement(handle_, &placement));
    windowState_ = placement.showCmd == SW_SHOWMAXIMIZED   ? TWindowState::wsMaximized
                   : placement.showCmd == SW_SHOWMINIMIZED ? TWindowState::wsMinimized
                                                           : TWindowState::wsNormal;
}
