#pragma once
// Colours, fonts, the device contexts of windows and the canvas that controls draw and
// measure with.

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/persist/LumComponents.h"

#include <cstdint>
#include <functional>
#include <string>

/// A colour: 0x00BBGGRR, or a system colour (0x80000000 | COLOR_xxx index).
using TColor = std::int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSystemColor = static_cast<TColor>(0x80000000);
constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR;
constexpr TColor clBackground = clSystemColor | COLOR_BACKGROUND;
constexpr TColor clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION;
constexpr TColor clInactiveCaption = clSystemColor | COLOR_INACTIVECAPTION;
constexpr TColor clMenu = clSystemColor | COLOR_MENU;
constexpr TColor clWindow = clSystemColor | COLOR_WINDOW;
constexpr TColor clWindowFrame = clSystemColor | COLOR_WINDOWFRAME;
constexpr TColor clMenuText = clSystemColor | COLOR_MENUTEXT;
constexpr TColor clWindowText = clSystemColor | COLOR_WINDOWTEXT;
constexpr TColor clCaptionText = clSystemColor | COLOR_CAPTIONTEXT;
constexpr TColor clHighlight = clSystemColor | COLOR_HIGHLIGHT;
constexpr TColor clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT;
constexpr TColor clBtnFace = clSystemColor | COLOR_BTNFACE;
constexpr TColor clBtnShadow = clSystemColor | COLOR_BTNSHADOW;
constexpr TColor clGrayText = clSystemColor | COLOR_GRAYTEXT;
constexpr TColor clBtnText = clSystemColor | COLOR_BTNTEXT;
constexpr TColor clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT;
constexpr TColor clInfoText = clSystemColor | COLOR_INFOTEXT;
constexpr TColor clInfoBk = clSystemColor | COLOR_INFOBK;
constexpr TColor clMenuBar = clSystemColor | 30; // COLOR_MENUBAR
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

/// The colour names streams use ("clBtnFace").
const TLumIdentTable& ColorIdents();
/// RGB of a colour, system colours resolved.
COLORREF ColorToRGB(TColor color);

/// Character-set names streams use ("DEFAULT_CHARSET").
const TLumIdentTable& CharsetIdents();

enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TLumSet<TFontStyle>;
template <> struct TLumEnumInfo<TFontStyle> { static const TLumIdentTable& Idents(); };

enum class TFontPitch { fpDefault, fpVariable, fpFixed };
template <> struct TLumEnumInfo<TFontPitch> { static const TLumIdentTable& Idents(); };

/// A font description and the GDI font made from it on demand.
class TLumFont : public TLumPersistent {
  public:
    TLumFont();
    ~TLumFont() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }
    void Assign(const TLumPersistent& source) override;

    const std::u16string& Name() const { return name_; }
    void SetName(const std::u16string& name);
    /// Character height in pixels; negative, as the system takes it.
    int Height() const { return height_; }
    void SetHeight(int height);
    /// Size in points at the font's pixels per inch.
    int Size() const;
    void SetSize(int points);
    int Charset() const { return charset_; }
    void SetCharset(int charset);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles style);
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch pitch);
    int PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(int ppi) { pixelsPerInch_ = ppi; }

    /// The GDI font; made on first use and again after a change. The font keeps it.
    HFONT Handle();

    /// Called after every change.
    std::function<void()> OnChange;

  private:
    void Changed();

    std::u16string name_ = u"MS Sans Serif";
    int height_ = -11;
    int charset_ = DEFAULT_CHARSET;
    TColor color_ = clWindowText;
    TFontStyles style_;
    TFontPitch pitch_ = TFontPitch::fpDefault;
    int pixelsPerInch_ = 96;
    TScopedGdiObject handle_;
};

/// The context of a window's client area got outside painting (GetDC; the whole screen for a
/// null window), given back with ReleaseDC when the object goes.
class TLumClientDC {
  public:
    explicit TLumClientDC(HWND window);
    ~TLumClientDC();
    TLumClientDC(const TLumClientDC&) = delete;
    TLumClientDC& operator=(const TLumClientDC&) = delete;

    /// The context; null when GetDC failed.
    HDC Handle() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

/// Painting a window in answer to WM_PAINT: BeginPaint, and EndPaint when the object goes.
class TLumPaintDC {
  public:
    explicit TLumPaintDC(HWND window);
    ~TLumPaintDC();
    TLumPaintDC(const TLumPaintDC&) = delete;
    TLumPaintDC& operator=(const TLumPaintDC&) = delete;

    /// The context to paint on; null when BeginPaint failed.
    HDC Handle() const { return dc_; }
    /// The area to paint and whether the background needs erasing.
    const PAINTSTRUCT& PaintStruct() const { return paint_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

/// Drawing and measuring on a device context. A canvas either borrows a context (SetHandle)
/// or gets one itself through CreateHandle and gives it back in FreeHandle.
class TLumCanvas {
  public:
    TLumCanvas();
    virtual ~TLumCanvas();
    TLumCanvas(const TLumCanvas&) = delete;
    TLumCanvas& operator=(const TLumCanvas&) = delete;

    /// The context with the font, pen and brush selected.
    HDC Handle();
    /// Borrows a context (null to let go of it).
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return dc_ != nullptr; }

    TLumFont& Font() { return font_; }
    TColor BrushColor() const { return brushColor_; }
    void SetBrushColor(TColor color);
    TColor PenColor() const { return penColor_; }
    void SetPenColor(TColor color);

    SIZE TextExtent(const std::u16string& text);
    int TextWidth(const std::u16string& text) { return TextExtent(text).cx; }
    int TextHeight(const std::u16string& text) { return TextExtent(text).cy; }
    void TextOut(int x, int y, const std::u16string& text);
    /// DrawTextW with the canvas font; with DT_CALCRECT the rectangle receives the size the
    /// text needs. Returns the text's height.
    int DrawText(const std::u16string& text, RECT& rect, UINT format);
    void FillRect(const RECT& rect);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void DrawIcon(int x, int y, HICON icon);

  protected:
    /// Gets a context when none is set; the base has none to get and raises.
    virtual void CreateHandle();
    /// Gives a context got by CreateHandle back.
    virtual void FreeHandle();
    /// Stores a context got by CreateHandle.
    void AdoptHandle(HDC dc);

  private:
    void SelectObjects();
    void DeselectObjects();

    HDC dc_ = nullptr;
    TLumFont font_;
    TColor brushColor_ = clWhite;
    TColor penColor_ = clBlack;
    TScopedGdiObject brush_;
    TScopedGdiObject pen_;
    HGDIOBJ oldFont_ = nullptr;
    HGDIOBJ oldBrush_ = nullptr;
    HGDIOBJ oldPen_ = nullptr;
};
