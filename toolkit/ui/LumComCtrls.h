#pragma once
// Bars: the tool bar with its buttons, the status bar with its panels and the control bar
// that holds tool bars. Tool and status bars are the common controls' windows; their classes
// are initialised on first use.

#include "toolkit/base/LumUnits.h"
#include "toolkit/ui/LumControlBase.h"

#include <string>
#include <vector>

enum class TToolButtonStyle { tbsButton, tbsCheck, tbsSeparator };
template <> struct TLumEnumInfo<TToolButtonStyle> { static const TLumIdentTable& Idents(); };

class TToolBar;

/// A button of a tool bar; its position is its index among the bar's buttons.
class TToolButton : public TLumComponent {
  public:
    explicit TToolButton(TLumComponent* owner);
    ~TToolButton() override;
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    const std::u16string& Caption() const { return caption_; }
    void SetCaption(const std::u16string& caption);
    TToolButtonStyle Style() const { return style_; }
    void SetStyle(TToolButtonStyle style);
    bool Down() const { return down_; }
    void SetDown(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    TToolBar* ToolBar() const { return toolBar_; }

    /// Fires OnClick.
    void Click();
    TNotifyEvent OnClick;

    bool HasParent() const override { return true; }
    void SetParentComponent(TLumComponent* parent) override;

  private:
    friend class TToolBar;
    void Changed();

    std::u16string caption_;
    TToolButtonStyle style_ = TToolButtonStyle::tbsButton;
    bool down_ = false;
    bool enabled_ = true;
    int command_;
    TToolBar* toolBar_ = nullptr;
};

/// A row of text buttons (the system's tool bar, flat, with its text beside the buttons).
class TToolBar : public TLumWinControl {
  public:
    explicit TToolBar(TLumComponent* owner);
    ~TToolBar() override;
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    int ButtonCount() const { return static_cast<int>(buttons_.size()); }
    TToolButton* Buttons(int index) const { return buttons_.at(static_cast<size_t>(index)); }
    /// Takes the button as the last one (it leaves its former bar).
    void AddButton(TToolButton* button);
    void RemoveButton(TToolButton* button);

    void GetChildren(const std::function<void(TLumComponent*)>& proc, TLumComponent* root) override;
    void WndProc(TMessage& message) override;

  protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWindowDone() override;

  private:
    friend class TToolButton;
    void ButtonsChanged();
    void FillButtons();

    std::vector<TToolButton*> buttons_;
};

/// A panel of a status bar.
struct TLumStatusPanel {
    std::u16string Text;
    int Width = 50;
    bool operator==(const TLumStatusPanel&) const = default;
};

/// The status bar: panels with widths (the last one reaches to the right end), or one simple
/// panel with its own text; the size grip in the corner.
class TLumStatusBar : public TLumWinControl {
  public:
    explicit TLumStatusBar(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    int PanelCount() const { return static_cast<int>(panels_.size()); }
    const TLumStatusPanel& Panels(int index) const {
        return panels_.at(static_cast<size_t>(index));
    }
    void AddPanel(const std::u16string& text, int width);
    void SetPanelText(int index, const std::u16string& text);
    void SetPanelWidth(int index, int width);
    void ClearPanels();
    /// Sends the part layout (SB_SETPARTS) and the texts to the window again.
    void UpdatePanels();
    /// The parts' right edges as UpdatePanels sends them.
    std::vector<int> PartEdges() const;
    /// The parts' right edges as the window has them now (SB_GETPARTS); empty without a window.
    std::vector<int> WindowParts() const;

    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool value);
    const std::u16string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::u16string& text);
    bool SizeGrip() const { return sizeGrip_; }
    void SetSizeGrip(bool value);

    /// The panels, stored as a collection of items with Text and Width.
    void DefineProperties(TLumFiler& filer) override;

  protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWindowDone() override;

  private:
    std::vector<TLumStatusPanel> panels_;
    bool simplePanel_ = false;
    std::u16string simpleText_;
    bool sizeGrip_ = true;
};

/// A bar that holds tool bars in bands: the children with the same top form a row, in the
/// order of their lefts, and each starts at its own left or right after the one before it,
/// whichever is further right. A child given the left of another plus one so comes right
/// after it.
class TLumControlBar : public TLumWinControl {
  public:
    explicit TLumControlBar(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    void WndProc(TMessage& message) override;

  protected:
    void CreateParams(TCreateParams& params) override;
    void ControlsChanged() override;

  private:
    bool arranging_ = false;
};

/// Registers the bar classes for streaming.
extern TUnit LumComCtrlsUnit;
