#pragma once
// The base of every control: TLumControl (position, visibility, text, font, colour, anchors,
// events), TLumWinControl (a window of its own; children; focus; message handling) and
// TLumGraphicControl (drawn by its parent). One window procedure serves every window the
// toolkit creates; no exception leaves it: what escapes a handler goes to the application's
// exception hook.

#include "toolkit/base/LumWin.h"
#include "toolkit/persist/LumComponents.h"
#include "toolkit/ui/LumGraphics.h"
#include "toolkit/ui/LumInput.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// A window message on its way through a control.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

// The toolkit's own notifications (CM_) and messages reflected from a parent to the child
// they concern (CN_).
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 3;
constexpr UINT CM_FONTCHANGED = CM_BASE + 5;
constexpr UINT CM_COLORCHANGED = CM_BASE + 6;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 8;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 9;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 11;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 18;
constexpr UINT CM_MENUCHANGED = CM_BASE + 21;
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 25;
/// Asked of a form's controls for the dialog manager's Escape: 1 from a cancel button.
constexpr UINT CM_ISCANCELBUTTON = CM_BASE + 0x81;
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;

enum class TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TLumSet<TAnchorKind>;
template <> struct TLumEnumInfo<TAnchorKind> { static const TLumIdentTable& Idents(); };

/// Where a control sits in its parent: stacked along an edge of the client area, filling what
/// the others leave, or where its bounds and anchors put it.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
template <> struct TLumEnumInfo<TAlign> { static const TLumIdentTable& Idents(); };

class TLumWinControl;
class TLumCustomForm;

class TLumControl : public TLumComponent {
  public:
    explicit TLumControl(TLumComponent* owner);
    /// Leaves its parent.
    ~TLumControl() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TLumWinControl* Parent() const { return parent_; }
    virtual void SetParent(TLumWinControl* parent);
    bool HasParent() const override { return true; }
    void SetParentComponent(TLumComponent* parent) override;

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    /// Moves and sizes the control; an explicit change also renews its anchor rules.
    virtual void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }

    virtual int ClientWidth() const { return width_; }
    virtual int ClientHeight() const { return height_; }
    virtual void SetClientWidth(int v) { SetWidth(v); }
    virtual void SetClientHeight(int v) { SetHeight(v); }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    /// Visible itself and every parent up to a top-level window.
    bool Showing() const;

    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);

    TAnchors Anchors() const { return anchors_; }
    void SetAnchors(TAnchors anchors);
    TAlign Align() const { return align_; }
    /// Aligned controls are laid out by the parent whenever its client area or the set of its
    /// aligned children changes.
    void SetAlign(TAlign align);

    /// The caption or text of the control.
    virtual std::u16string Text() const { return text_; }
    virtual void SetText(const std::u16string& text);
    std::u16string Caption() const { return Text(); }
    void SetCaption(const std::u16string& text) { SetText(text); }

    TLumFont* Font() { return &font_; }
    const TLumFont* Font() const { return &font_; }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool value);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool value);

    const std::u16string& Hint() const { return hint_; }
    void SetHint(const std::u16string& hint) { hint_ = hint; }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value);
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool value);
    /// Whether the hint shows: the control's own switch, or its parent's when it follows it.
    bool HintShows() const;

    /// What a stream stores: colour, font and hint switch when not taken from the parent;
    /// the Parent... switches and Visible only for controls that sit in a parent (forms
    /// store their client size instead of their size).
    bool ColorStored() const;
    bool ParentColorStored() const;
    bool FontStored() const;
    bool ShowHintStored() const;
    virtual bool InParent() const { return true; }
    bool SizeStored() const { return InParent(); }

    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor) { cursor_ = cursor; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;

    /// Fires OnClick.
    virtual void Click();
    virtual void DblClick();

    virtual void Invalidate();
    /// Invalidates and paints at once.
    void Repaint();

    /// Handles a message addressed to this control; the base does the default handling.
    virtual void WndProc(TMessage& message);
    /// Sends a message straight to WndProc and answers its result.
    LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

    /// Recomputes the control's position from its anchors after the parent's client area
    /// changed from the size its rules were made at.
    void ApplyAnchors(int parentClientWidth, int parentClientHeight);
    /// Remembers the current position against the parent's current client size.
    void UpdateAnchorRules();

    void Loaded() override;

  protected:
    /// After the bounds changed (window or not).
    virtual void BoundsChanged();
    virtual void VisibleChanged();
    virtual void TextChanged();
    virtual void FontChanged();
    virtual void ColorChanged();
    /// A parent's font or colour changed; controls that follow it copy it.
    void ParentFontChanged();
    void ParentColorChanged();
    /// The class's colour and whether the control follows its parent's colour; a stream stores
    /// the colour when it differs from `storedDefault` (the colour itself unless given).
    void InitColor(TColor color, bool parentColor, std::optional<TColor> storedDefault = {});

    std::u16string text_;
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;

  private:
    friend class TLumWinControl;

    TLumWinControl* parent_ = nullptr;
    bool visible_ = true;
    bool enabled_ = true;
    TAnchors anchors_{TAnchorKind::akLeft, TAnchorKind::akTop};
    TAlign align_ = TAlign::alNone;
    TLumFont font_;
    bool parentFont_ = true;
    bool updatingFont_ = false;
    TColor color_ = clWindow;
    bool parentColor_ = false;
    TColor defaultColor_ = clWindow;
    bool defaultParentColor_ = false;
    std::u16string hint_;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    TCursor cursor_ = crDefault;
    bool anchoring_ = false;
    struct AnchorRule {
        int ParentWidth = 0;
        int ParentHeight = 0;
        RECT Bounds{};
        bool Valid = false;
    } anchorRule_;
};

/// What CreateWnd passes to CreateWindowExW.
struct TCreateParams {
    std::u16string Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    HWND WndParent = nullptr;
    /// The class the window is registered under ("TLumButton").
    std::u16string WinClassName;
    /// A system class it takes its behaviour from ("BUTTON"), or empty for the toolkit's own.
    std::u16string SysClassName;
    UINT ClassStyle = CS_DBLCLKS;
};

class TLumWinControl : public TLumControl {
  public:
    explicit TLumWinControl(TLumComponent* owner);
    /// Frees the child controls first (whoever owns them), then the window.
    ~TLumWinControl() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// The window; created on first use.
    HWND Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }
    void HandleNeeded() { Handle(); }
    /// Destroys and creates the window again, for style changes.
    void RecreateWnd();
    void DestroyHandle();

    /// The control whose window this is, or null.
    static TLumWinControl* FindControl(HWND window);

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TLumControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }

    int TabOrder() const;
    void SetTabOrder(int order);
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool value);
    bool TabStopStored() const;

    virtual bool CanFocus() const;
    bool Focused() const;
    void SetFocus();

    std::u16string Text() const override;

    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;

    void SetBounds(int left, int top, int width, int height) override;
    void SetEnabled(bool enabled) override;
    void Invalidate() override;
    void GetChildren(const std::function<void(TLumComponent*)>& proc, TLumComponent* root) override;
    /// Paints pending invalid areas now.
    void Update();

    void WndProc(TMessage& message) override;
    /// The handling of the window class the control is made from (MDI frames and children
    /// hand on to the system's MDI handling instead).
    virtual void DefaultHandler(TMessage& message);

    /// Lays the aligned children out in the client area (AlignRect), in the order top, bottom,
    /// left, right, client; each group in the order the children were inserted.
    void AlignControls();

  protected:
    virtual void CreateParams(TCreateParams& params);
    /// Creates the window (and the windows of child controls that are visible).
    virtual void CreateWnd();
    /// After the window exists: applies font, text and state kept while there was none.
    virtual void CreateWindowDone();
    virtual void DestroyWnd();

    void BoundsChanged() override;
    void VisibleChanged() override;
    void TextChanged() override;
    void FontChanged() override;
    void ColorChanged() override;

    /// The key went down in this control; returns false when a handler consumed it.
    virtual bool DoKeyDown(std::uint16_t& key, TShiftState shift);
    /// The client area changed size: aligned children, anchors of children, OnResize.
    virtual void Resize();
    /// The area aligned children share; the whole client area in the base.
    virtual RECT AlignRect();
    /// After AlignControls placed the aligned children; `rest` is what they left free.
    virtual void AlignDone(const RECT& rest);
    /// A child came, went, moved or was shown or hidden.
    virtual void ControlsChanged() {}
    /// Draws the graphic children in their places.
    void PaintControls(TLumCanvas& canvas);
    /// The class's own tab stop default, which streams leave out.
    void InitTabStop(bool value);
    /// The brush WM_CTLCOLOR messages answer with.
    HBRUSH ColorBrush();
    /// Left and top of the window relative to its parent's client area for CreateWindowEx
    /// and SetWindowPos; forms use screen positions.
    virtual POINT WindowOrigin() const { return {left_, top_}; }

    HWND handle_ = nullptr;

  private:
    friend class TLumControl;
    friend LRESULT CALLBACK LumWindowProc(HWND, UINT, WPARAM, LPARAM);

    void InsertControl(TLumControl* control);
    void RemoveControl(TLumControl* control);
    void UpdateChildZOrder();

    std::vector<TLumControl*> controls_;
    std::vector<TLumWinControl*> tabList_;
    WNDPROC defWndProc_ = nullptr;
    bool tabStop_ = false;
    bool defaultTabStop_ = false;
    int tabOrderRequest_ = -1;
    bool aligning_ = false;
    TScopedGdiObject brush_;
};

/// A control without a window of its own; its parent draws it.
class TLumGraphicControl : public TLumControl {
  public:
    explicit TLumGraphicControl(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// Draws the control; the canvas's origin is the parent's client area.
    virtual void Paint(TLumCanvas& canvas) = 0;
    void Invalidate() override;
};

/// The form a control sits on, or null.
TLumCustomForm* GetParentForm(TLumControl* control);

/// The window procedure of every toolkit window.
LRESULT CALLBACK LumWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
