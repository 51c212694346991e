#pragma once
// The basic controls the library's forms use: push button, single- and multi-line edit (also
// as a borderless read-only label), and the bevel line.

#include "toolkit/base/LumUnits.h"
#include "toolkit/ui/LumControlBase.h"

#include <string>
#include <vector>

class TLumButton : public TLumWinControl {
  public:
    explicit TLumButton(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    /// The button the Enter key presses.
    bool Default() const { return default_; }
    void SetDefault(bool value);
    /// The button the Escape key presses.
    bool Cancel() const { return cancel_; }
    void SetCancel(bool value) { cancel_ = value; }
    /// Set as the parent form's modal result when clicked.
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }

    /// Sets the form's modal result, then fires OnClick.
    void Click() override;
    void WndProc(TMessage& message) override;

  protected:
    void CreateParams(TCreateParams& params) override;

  private:
    bool default_ = false;
    bool cancel_ = false;
    int modalResult_ = 0;
};

enum class TBorderStyle { bsNone, bsSingle };
template <> struct TLumEnumInfo<TBorderStyle> { static const TLumIdentTable& Idents(); };

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
template <> struct TLumEnumInfo<TScrollStyle> { static const TLumIdentTable& Idents(); };

/// An edit control: the text, a border or none, read-only, selection.
class TLumCustomEdit : public TLumWinControl {
  public:
    explicit TLumCustomEdit(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool value);

    int SelStart();
    void SetSelStart(int position);
    int SelLength();
    void SetSelLength(int length);

    std::u16string TextValue() const { return Text(); }
    void SetTextValue(const std::u16string& text) { SetText(text); }

    void WndProc(TMessage& message) override;

  protected:
    void CreateParams(TCreateParams& params) override;

  private:
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    bool readOnly_ = false;
};

class TLumEdit : public TLumCustomEdit {
  public:
    explicit TLumEdit(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

  protected:
    void CreateParams(TCreateParams& params) override;
};

class TLumMemo;

/// The lines of a memo, read from and written to its text.
class TLumMemoLines : public TLumPersistent {
  public:
    explicit TLumMemoLines(TLumMemo& memo) : memo_(memo) {}
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    int Count() const;
    std::u16string Get(int index) const;
    std::u16string operator[](int index) const { return Get(index); }
    void Add(const std::u16string& line);
    void Insert(int index, const std::u16string& line);
    void Delete(int index);
    void Clear();
    /// The lines joined by CR LF, each line ended by one.
    std::u16string Text() const;
    /// Splits at CR LF, LF or CR.
    void SetText(const std::u16string& text);
    std::vector<std::u16string> ToVector() const;
    void Assign(const TLumPersistent& source) override;

    /// Suspends drawing of the memo until the matching EndUpdate.
    void BeginUpdate();
    void EndUpdate();

    /// Stored as "Strings", a list of texts.
    void DefineProperties(TLumFiler& filer) override;

  private:
    void Store(const std::vector<std::u16string>& lines);

    TLumMemo& memo_;
    int updateCount_ = 0;
};

/// A multi-line edit control.
class TLumMemo : public TLumCustomEdit {
  public:
    explicit TLumMemo(TLumComponent* owner);
    ~TLumMemo() override;
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TLumMemoLines* Lines() { return &lines_; }
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle style);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    bool WantReturns() const { return wantReturns_; }
    void SetWantReturns(bool value);
    /// The number of lines the control shows, counting wrapped ones.
    int LineCount();
    /// Moves the caret into view.
    void ScrollCaret();
    /// Shows or hides the vertical scroll bar without changing ScrollBars.
    void ShowVerticalScrollBar(bool show);

  protected:
    void CreateParams(TCreateParams& params) override;

  private:
    TLumMemoLines lines_;
    TScrollStyle scrollBars_ = TScrollStyle::ssNone;
    bool wordWrap_ = true;
    bool wantReturns_ = true;
};

enum class TBevelShape {
    bsBox,
    bsFrame,
    bsTopLine,
    bsBottomLine,
    bsLeftLine,
    bsRightLine,
    bsSpacer
};
template <> struct TLumEnumInfo<TBevelShape> { static const TLumIdentTable& Idents(); };
enum class TBevelStyle { bsLowered, bsRaised };
template <> struct TLumEnumInfo<TBevelStyle> { static const TLumIdentTable& Idents(); };

class TLumBevel : public TLumGraphicControl {
  public:
    explicit TLumBevel(TLumComponent* owner);
    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TBevelShape Shape() const { return shape_; }
    void SetShape(TBevelShape shape);
    TBevelStyle Style() const { return style_; }
    void SetStyle(TBevelStyle style);

    void Paint(TLumCanvas& canvas) override;

  private:
    TBevelShape shape_ = TBevelShape::bsBox;
    TBevelStyle style_ = TBevelStyle::bsLowered;
};

/// Registers the controls of this module for form streams.
extern TUnit LumBasicControlsUnit;
