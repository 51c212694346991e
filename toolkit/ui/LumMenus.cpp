#include "toolkit/ui/LumMenus.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumGraphics.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>

namespace {

// Command ids of menu items: above the dialog ids (IDOK, IDCANCEL, ...) that come as
// WM_COMMAND too, below the ids the system gives the windows of an MDI window list (0xFF00).
UINT nextCommand = 0x100;

void Start() {
    RegisterComponentClass(TLumMainMenu::StaticClass());
    RegisterComponentClass(TLumMenuItem::StaticClass());
}

} // namespace

TUnit LumMenusUnit("LumMenus", &Start, nullptr);

TShortCut ShortCut(std::uint16_t key, TShiftState shift) {
    auto result = static_cast<TShortCut>(key & 0xFF);
    if (shift.Contains(TShiftStateFlag::ssShift)) {
        result |= scShift;
    }
    if (shift.Contains(TShiftStateFlag::ssCtrl)) {
        result |= scCtrl;
    }
    if (shift.Contains(TShiftStateFlag::ssAlt)) {
        result |= scAlt;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// TLumMenuItem

TLumMenuItem::TLumMenuItem(TLumComponent* owner) : TLumComponent(owner), command_(nextCommand++) {
    if (nextCommand >= 0xF000) {
        nextCommand = 0x100;
    }
}

TLumMenuItem::~TLumMenuItem() {
    while (!items_.empty()) {
        TLumMenuItem* item = items_.back();
        // An item a component owns is freed with its owner; this one only lets go of it.
        if (item->Owner()) {
            Remove(item);
        } else {
            item->Free();
        }
    }
    if (parent_) {
        parent_->Remove(this);
    }
}

const TLumClass& TLumMenuItem::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumMenuItem>("TLumMenuItem", &TLumComponent::StaticClass())
            .Creatable()
            .Prop<&TLumMenuItem::Caption, &TLumMenuItem::SetCaption>("Caption", std::u16string())
            .Prop<&TLumMenuItem::Checked, &TLumMenuItem::SetChecked>("Checked", false)
            .Prop<&TLumMenuItem::Enabled, &TLumMenuItem::SetEnabled>("Enabled", true)
            .Prop<&TLumMenuItem::ImageIndex, &TLumMenuItem::SetImageIndex>("ImageIndex", -1)
            .Prop<&TLumMenuItem::ShortCut, &TLumMenuItem::SetShortCut>("ShortCut", 0)
            .Prop<&TLumMenuItem::Visible, &TLumMenuItem::SetVisible>("Visible", true)
            .Event<&TLumMenuItem::OnClick>("OnClick")
            .Event<&TLumMenuItem::OnDrawItem>("OnDrawItem")
            .Event<&TLumMenuItem::OnMeasureItem>("OnMeasureItem")
            .Build();
    return cls;
}

void TLumMenuItem::SetCaption(const std::u16string& caption) {
    if (caption != caption_) {
        caption_ = caption;
        Changed();
    }
}

void TLumMenuItem::SetShortCut(TShortCut shortCut) {
    if (shortCut != shortCut_) {
        shortCut_ = shortCut;
        Changed();
    }
}

void TLumMenuItem::SetChecked(bool value) {
    if (value != checked_) {
        checked_ = value;
        Changed();
    }
}

void TLumMenuItem::SetEnabled(bool value) {
    if (value != enabled_) {
        enabled_ = value;
        Changed();
    }
}

void TLumMenuItem::SetVisible(bool value) {
    if (value != visible_) {
        visible_ = value;
        Changed();
    }
}

void TLumMenuItem::SetImageIndex(int index) {
    if (index != imageIndex_) {
        imageIndex_ = index;
        Changed();
    }
}

int TLumMenuItem::IndexOf(const TLumMenuItem* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TLumMenuItem::Add(TLumMenuItem* item) {
    Insert(Count(), item);
}

void TLumMenuItem::Insert(int index, TLumMenuItem* item) {
    if (item->parent_) {
        item->parent_->Remove(item);
    }
    index = std::clamp(index, 0, Count());
    items_.insert(items_.begin() + index, item);
    item->parent_ = this;
    Changed();
}

void TLumMenuItem::Remove(TLumMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) {
        return;
    }
    items_.erase(it);
    item->parent_ = nullptr;
    Changed();
}

TLumMenu* TLumMenuItem::Menu() const {
    const TLumMenuItem* root = this;
    while (root->parent_) {
        root = root->parent_;
    }
    return root->menu_;
}

bool TLumMenuItem::OwnerDrawn() const {
    TLumMenu* menu = Menu();
    return menu && menu->OwnerDraw() && parent_ && !parent_->parent_;
}

void TLumMenuItem::Click() {
    if (OnClick) {
        OnClick(this);
    }
}

void TLumMenuItem::MeasureItem(HDC dc, int& width, int& height) {
    if (OnMeasureItem) {
        OnMeasureItem(this, dc, width, height);
        return;
    }
    RECT r{0, 0, 0, 0};
    DrawTextW(dc, WinStr(caption_), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    width = r.right + 8;
    height = std::max<int>(r.bottom + 4, GetSystemMetrics(SM_CYMENU));
}

void TLumMenuItem::DrawItem(HDC dc, const RECT& rect, bool selected) {
    if (OnDrawItem) {
        OnDrawItem(this, dc, rect, selected);
        return;
    }
    FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    RECT text = rect;
    DrawTextW(dc, WinStr(caption_), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void TLumMenuItem::SetParentComponent(TLumComponent* parent) {
    if (auto item = dynamic_cast<TLumMenuItem*>(parent)) {
        item->Add(this);
    } else if (auto menu = dynamic_cast<TLumMenu*>(parent)) {
        menu->Items()->Add(this);
    }
}

void TLumMenuItem::GetChildren(const std::function<void(TLumComponent*)>& proc,
                               TLumComponent* root) {
    for (TLumMenuItem* item : items_) {
        if (item->Owner() == root) {
            proc(item);
        }
    }
}

void TLumMenuItem::Changed() {
    if (TLumMenu* menu = Menu()) {
        menu->Changed();
    }
}

void TLumMenuItem::AppendTo(HMENU menu) {
    if (!visible_) {
        return;
    }
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_DATA;
    std::u16string text = caption_;
    if (caption_ == u"-") {
        info.fType = MFT_SEPARATOR;
    } else {
        info.fMask |= MIIM_STRING;
        info.fType = OwnerDrawn() ? MFT_OWNERDRAW : MFT_STRING;
        if (std::u16string keys = ShortCutToText(shortCut_); !keys.empty()) {
            text += u"\t" + keys;
        }
        info.dwTypeData = const_cast<wchar_t*>(WinStr(text));
    }
    info.fState = (checked_ ? MFS_CHECKED : 0) | (enabled_ ? 0 : MFS_GRAYED);
    info.wID = command_;
    info.dwItemData = reinterpret_cast<ULONG_PTR>(this);
    if (!items_.empty()) {
        handle_ = CreatePopupMenu();
        Win32Check(handle_ != nullptr);
        info.fMask |= MIIM_SUBMENU;
        info.hSubMenu = handle_;
        for (TLumMenuItem* item : items_) {
            item->AppendTo(handle_);
        }
    }
    Win32Check(InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &info));
}

void TLumMenuItem::ForgetHandles() {
    handle_ = nullptr;
    for (TLumMenuItem* item : items_) {
        item->ForgetHandles();
    }
}

// ---------------------------------------------------------------------------------------------
// TLumMenu

TLumMenu::TLumMenu(TLumComponent* owner) : TLumComponent(owner), items_(nullptr) {
    items_.menu_ = this;
}

TLumMenu::~TLumMenu() {
    items_.menu_ = nullptr;
}

const TLumClass& TLumMenu::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumMenu>("TLumMenu", &TLumComponent::StaticClass())
            .Prop<&TLumMenu::OwnerDraw, &TLumMenu::SetOwnerDraw>("OwnerDraw", false)
            .Build();
    return cls;
}

HMENU TLumMenu::Handle() {
    if (!handle_) {
        Rebuild();
    }
    return handle_.Get();
}

void TLumMenu::SetOwnerDraw(bool value) {
    if (value != ownerDraw_) {
        ownerDraw_ = value;
        Changed();
    }
}

void TLumMenu::Changed() {
    if (handle_ && !IsLoading() && !IsDestroying()) {
        Rebuild();
    }
}

// The new handles are made and handed out before the old ones go, so that a window never
// shows a destroyed menu.
void TLumMenu::Rebuild() {
    TScopedMenu menu(CreateMenuHandle());
    Win32Check(menu.IsValid());
    items_.ForgetHandles();
    items_.handle_ = menu.Get();
    for (TLumMenuItem* item : items_.items_) {
        item->AppendTo(menu.Get());
    }
    TScopedMenu old(handle_.Release());
    handle_ = std::move(menu);
    if (OnChange) {
        OnChange();
    }
}

namespace {

template <class Predicate> TLumMenuItem* FindIn(TLumMenuItem* item, Predicate matches) {
    for (int i = 0; i < item->Count(); ++i) {
        TLumMenuItem* sub = item->Items(i);
        if (matches(sub)) {
            return sub;
        }
        if (TLumMenuItem* found = FindIn(sub, matches)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

TLumMenuItem* TLumMenu::FindItem(UINT command) {
    return FindIn(&items_, [command](TLumMenuItem* item) { return item->Command() == command; });
}

TLumMenuItem* TLumMenu::FindItemByHandle(HMENU menu) {
    return menu ? FindIn(&items_, [menu](TLumMenuItem* item) { return item->Handle() == menu; })
                : nullptr;
}

bool TLumMenu::DispatchCommand(UINT command) {
    TLumMenuItem* item = FindItem(command);
    if (!item || item->Count() > 0) {
        return false;
    }
    item->Click();
    return true;
}

bool TLumMenu::IsShortCut(TShortCut shortCut) {
    if (shortCut == 0) {
        return false;
    }
    TLumMenuItem* item = FindIn(
        &items_, [shortCut](TLumMenuItem* candidate) { return candidate->ShortCut() == shortCut; });
    for (TLumMenuItem* up = item; up; up = up->Parent()) {
        if (!up->Enabled() || !up->Visible()) {
            return false;
        }
    }
    if (item) {
        item->Click();
    }
    return item != nullptr;
}

void TLumMenu::GetChildren(const std::function<void(TLumComponent*)>& proc, TLumComponent* root) {
    items_.GetChildren(proc, root);
}

// ---------------------------------------------------------------------------------------------

const TLumClass& TLumMainMenu::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumMainMenu>("TLumMainMenu", &TLumMenu::StaticClass())
            .Creatable()
            .Build();
    return cls;
}

HMENU TLumMainMenu::CreateMenuHandle() {
    return CreateMenu();
}

void FixUpMainMenu(TLumMainMenu* menu) {
    if (!menu || OSVersion().Major <= 4) {
        return;
    }
    HMENU handle = menu->Handle();
    TLumMenuItem* root = menu->Items();
    int position = 0;
    for (int i = 0; i < root->Count(); ++i) {
        TLumMenuItem* item = root->Items(i);
        if (!item->Visible()) {
            continue;
        }
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        if (GetMenuItemInfoW(handle, static_cast<UINT>(position), TRUE, &info) &&
            (info.fType & MFT_OWNERDRAW) && item->ImageIndex() < 0 && !item->OnDrawItem &&
            !item->OnMeasureItem) {
            info.fMask = MIIM_FTYPE | MIIM_STRING;
            info.fType = (info.fType & ~MFT_OWNERDRAW) | MFT_STRING;
            info.dwTypeData = const_cast<wchar_t*>(WinStr(item->Caption()));
            Win32Check(SetMenuItemInfoW(handle, static_cast<UINT>(position), TRUE, &info));
        }
        ++position;
    }
}
