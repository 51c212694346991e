#pragma once
// Menus: items with captions (the "&" marks the access key), shortcuts, check marks, sub-menus
// and click events, and the main menu a form shows in its menu bar. Items may be owner-drawn.

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumShortCuts.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/persist/LumComponents.h"
#include "toolkit/ui/LumInput.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// The shortcut of a key pressed with the given shift keys.
TShortCut ShortCut(std::uint16_t key, TShiftState shift);

struct TMenuTraits {
    using Handle = HMENU;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DestroyMenu(h); }
};
/// A menu and, as the system does it, the sub-menus in it.
using TScopedMenu = TScopedHandle<TMenuTraits>;

class TLumMenu;
class TLumMenuItem;

using TMenuMeasureItemEvent =
    TLumEvent<void(TLumPersistent* sender, HDC dc, int& width, int& height)>;
using TMenuDrawItemEvent =
    TLumEvent<void(TLumPersistent* sender, HDC dc, const RECT& rect, bool selected)>;

class TLumMenuItem : public TLumComponent {
  public:
    explicit TLumMenuItem(TLumComponent* owner);
    /// Leaves its parent item and frees its own items.
    ~TLumMenuItem() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    const std::u16string& Caption() const { return caption_; }
    void SetCaption(const std::u16string& caption);
    TShortCut ShortCut() const { return shortCut_; }
    void SetShortCut(TShortCut shortCut);
    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    /// The image of an owner-drawn item in its menu's images; -1 for none.
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);

    int Count() const { return static_cast<int>(items_.size()); }
    TLumMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    int IndexOf(const TLumMenuItem* item) const;
    /// Takes the item as the last of its sub-items (it leaves its former parent).
    void Add(TLumMenuItem* item);
    void Insert(int index, TLumMenuItem* item);
    /// The item leaves this one without being freed.
    void Remove(TLumMenuItem* item);
    TLumMenuItem* Parent() const { return parent_; }
    /// The menu the item is part of, or null.
    TLumMenu* Menu() const;

    /// The command id of the item's WM_COMMAND.
    UINT Command() const { return command_; }
    /// The sub-menu's handle when the item has items (made with the menu, which owns it), else
    /// null.
    HMENU Handle() const { return handle_; }
    /// Whether the menu draws it: items of an owner-drawing menu.
    bool OwnerDrawn() const;

    /// Fires OnClick.
    virtual void Click();

    TNotifyEvent OnClick;
    TMenuMeasureItemEvent OnMeasureItem;
    TMenuDrawItemEvent OnDrawItem;

    /// The size of an owner-drawn item: OnMeasureItem, else its caption's.
    void MeasureItem(HDC dc, int& width, int& height);
    /// Draws an owner-drawn item: OnDrawItem, else its caption.
    void DrawItem(HDC dc, const RECT& rect, bool selected);

    bool HasParent() const override { return true; }
    void SetParentComponent(TLumComponent* parent) override;
    void GetChildren(const std::function<void(TLumComponent*)>& proc, TLumComponent* root) override;

  private:
    friend class TLumMenu;

    /// Something shown changed: the menu makes its handles again.
    void Changed();
    /// Appends the item to `menu` (its sub-menu made first).
    void AppendTo(HMENU menu);
    void ForgetHandles();

    std::u16string caption_;
    TShortCut shortCut_ = 0;
    bool checked_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    int imageIndex_ = -1;
    UINT command_;
    TLumMenuItem* parent_ = nullptr;
    TLumMenu* menu_ = nullptr;
    std::vector<TLumMenuItem*> items_;
    HMENU handle_ = nullptr;
};

/// A tree of menu items; its top-level items are the sub-items of Items().
class TLumMenu : public TLumComponent {
  public:
    explicit TLumMenu(TLumComponent* owner);
    ~TLumMenu() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// The root item; its sub-items are the menu's top-level items.
    TLumMenuItem* Items() { return &items_; }
    /// The menu's handle, made on first use and again after each change.
    HMENU Handle();
    /// Top-level items are owner-drawn.
    bool OwnerDraw() const { return ownerDraw_; }
    void SetOwnerDraw(bool value);

    /// The item with that command id, or null.
    TLumMenuItem* FindItem(UINT command);
    /// The item whose sub-menu has that handle, or null.
    TLumMenuItem* FindItemByHandle(HMENU menu);
    /// Clicks the item of the command id; false when the menu has none.
    bool DispatchCommand(UINT command);
    /// Clicks the enabled item with that shortcut; false when there is none.
    bool IsShortCut(TShortCut shortCut);

    /// Told after the handles were made again (the form puts the new menu in place).
    std::function<void()> OnChange;

    void GetChildren(const std::function<void(TLumComponent*)>& proc, TLumComponent* root) override;

  protected:
    /// Makes an empty menu handle: a menu bar or a popup menu.
    virtual HMENU CreateMenuHandle() = 0;

  private:
    friend class TLumMenuItem;

    void Changed();
    void Rebuild();

    TLumMenuItem items_;
    TScopedMenu handle_;
    bool ownerDraw_ = false;
};

/// The menu bar of a form.
class TLumMainMenu : public TLumMenu {
  public:
    explicit TLumMainMenu(TLumComponent* owner) : TLumMenu(owner) {}
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    HMENU CreateMenuHandle() override;
};

/// Turns owner-drawn top-level items that draw nothing of their own (no image, no drawing
/// handlers) back into plain string items with their captions, on systems after 4.0, where
/// the menu bar draws those itself.
void FixUpMainMenu(TLumMainMenu* menu);

/// Registers the menu classes for streaming.
extern TUnit LumMenusUnit;
