#include "toolkit/ui/LumGraphics.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumOSErrors.h"

#include <algorithm>
#include <cmath>
#include <cstring>

const TLumIdentTable& ColorIdents() {
    static const TLumIdentTable table = {
        {"clBlack", clBlack},
        {"clMaroon", clMaroon},
        {"clGreen", clGreen},
        {"clOlive", clOlive},
        {"clNavy", clNavy},
        {"clPurple", clPurple},
        {"clTeal", clTeal},
        {"clGray", clGray},
        {"clSilver", clSilver},
        {"clRed", clRed},
        {"clLime", clLime},
        {"clYellow", clYellow},
        {"clBlue", clBlue},
        {"clFuchsia", clFuchsia},
        {"clAqua", clAqua},
        {"clWhite", clWhite},
        {"clScrollBar", clScrollBar},
        {"clBackground", clBackground},
        {"clActiveCaption", clActiveCaption},
        {"clInactiveCaption", clInactiveCaption},
        {"clMenu", clMenu},
        {"clWindow", clWindow},
        {"clWindowFrame", clWindowFrame},
        {"clMenuText", clMenuText},
        {"clWindowText", clWindowText},
        {"clCaptionText", clCaptionText},
        {"clHighlight", clHighlight},
        {"clHighlightText", clHighlightText},
        {"clBtnFace", clBtnFace},
        {"clBtnShadow", clBtnShadow},
        {"clGrayText", clGrayText},
        {"clBtnText", clBtnText},
        {"clBtnHighlight", clBtnHighlight},
        {"clInfoText", clInfoText},
        {"clInfoBk", clInfoBk},
        {"clMenuBar", clMenuBar},
        {"clNone", clNone},
        {"clDefault", clDefault},
    };
    return table;
}

COLORREF ColorToRGB(TColor color) {
    if (color < 0) {
        return GetSysColor(color & 0xFF);
    }
    return static_cast<COLORREF>(color & 0xFFFFFF);
}

const TLumIdentTable& CharsetIdents() {
    static const TLumIdentTable table = {
        {"ANSI_CHARSET", ANSI_CHARSET},
        {"DEFAULT_CHARSET", DEFAULT_CHARSET},
        {"SYMBOL_CHARSET", SYMBOL_CHARSET},
        {"MAC_CHARSET", MAC_CHARSET},
        {"SHIFTJIS_CHARSET", SHIFTJIS_CHARSET},
        {"HANGEUL_CHARSET", HANGEUL_CHARSET},
        {"JOHAB_CHARSET", JOHAB_CHARSET},
        {"GB2312_CHARSET", GB2312_CHARSET},
        {"CHINESEBIG5_CHARSET", CHINESEBIG5_CHARSET},
        {"GREEK_CHARSET", GREEK_CHARSET},
        {"TURKISH_CHARSET", TURKISH_CHARSET},
        {"VIETNAMESE_CHARSET", VIETNAMESE_CHARSET},
        {"HEBREW_CHARSET", HEBREW_CHARSET},
        {"ARABIC_CHARSET", ARABIC_CHARSET},
        {"BALTIC_CHARSET", BALTIC_CHARSET},
        {"RUSSIAN_CHARSET", RUSSIAN_CHARSET},
        {"THAI_CHARSET", THAI_CHARSET},
        {"EASTEUROPE_CHARSET", EASTEUROPE_CHARSET},
        {"OEM_CHARSET", OEM_CHARSET},
    };
    return table;
}

const TLumIdentTable& TLumEnumInfo<TFontStyle>::Idents() {
    static const TLumIdentTable table = {
        {"fsBold", 0}, {"fsItalic", 1}, {"fsUnderline", 2}, {"fsStrikeOut", 3}};
    return table;
}

const TLumIdentTable& TLumEnumInfo<TFontPitch>::Idents() {
    static const TLumIdentTable table = {{"fpDefault", 0}, {"fpVariable", 1}, {"fpFixed", 2}};
    return table;
}

TLumFont::TLumFont() = default;
TLumFont::~TLumFont() = default;

const TLumClass& TLumFont::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumFont>("TLumFont", &TLumPersistent::StaticClass())
            // A stored font stores all of itself but the pitch.
            .Prop<&TLumFont::Charset, &TLumFont::SetCharset>("Charset", nullptr, &CharsetIdents())
            .Prop<&TLumFont::Color, &TLumFont::SetColor>("Color", nullptr, &ColorIdents())
            .Prop<&TLumFont::Height, &TLumFont::SetHeight>("Height")
            .Prop<&TLumFont::Name, &TLumFont::SetName>("Name")
            .Prop<&TLumFont::Pitch, &TLumFont::SetPitch>("Pitch", TFontPitch::fpDefault)
            .Prop<&TLumFont::Style, &TLumFont::SetStyle>("Style")
            .Build();
    return cls;
}

void TLumFont::Assign(const TLumPersistent& source) {
    auto font = dynamic_cast<const TLumFont*>(&source);
    if (!font) {
        TLumPersistent::Assign(source);
        return;
    }
    name_ = font->name_;
    height_ = font->height_;
    charset_ = font->charset_;
    color_ = font->color_;
    style_ = font->style_;
    pitch_ = font->pitch_;
    pixelsPerInch_ = font->pixelsPerInch_;
    Changed();
}

void TLumFont::SetName(const std::u16string& name) {
    if (name != name_ && !name.empty()) {
        name_ = name;
        Changed();
    }
}

void TLumFont::SetHeight(int height) {
    if (height != height_) {
        height_ = height;
        Changed();
    }
}

int TLumFont::Size() const {
    return static_cast<int>(std::lround(-height_ * 72.0 / pixelsPerInch_));
}

void TLumFont::SetSize(int points) {
    SetHeight(-static_cast<int>(std::lround(points * pixelsPerInch_ / 72.0)));
}

void TLumFont::SetCharset(int charset) {
    if (charset != charset_) {
        charset_ = charset;
        Changed();
    }
}

void TLumFont::SetColor(TColor color) {
    if (color != color_) {
        color_ = color;
        Changed();
    }
}

void TLumFont::SetStyle(TFontStyles style) {
    if (!(style == style_)) {
        style_ = style;
        Changed();
    }
}

void TLumFont::SetPitch(TFontPitch pitch) {
    if (pitch != pitch_) {
        pitch_ = pitch;
        Changed();
    }
}

HFONT TLumFont::Handle() {
    if (!handle_) {
        LOGFONTW lf{};
        lf.lfHeight = height_;
        lf.lfWeight = style_.Contains(TFontStyle::fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = style_.Contains(TFontStyle::fsItalic);
        lf.lfUnderline = style_.Contains(TFontStyle::fsUnderline);
        lf.lfStrikeOut = style_.Contains(TFontStyle::fsStrikeOut);
        lf.lfCharSet = static_cast<BYTE>(charset_);
        lf.lfQuality = DEFAULT_QUALITY;
        lf.lfPitchAndFamily = pitch_ == TFontPitch::fpFixed      ? FIXED_PITCH
                              : pitch_ == TFontPitch::fpVariable ? VARIABLE_PITCH
                                                                 : DEFAULT_PITCH;
        size_t length = std::min<size_t>(name_.size(), LF_FACESIZE - 1);
        std::memcpy(lf.lfFaceName, name_.data(), length * sizeof(char16_t));
        HFONT font = CreateFontIndirectW(&lf);
        Win32Check(font != nullptr);
        handle_.Reset(font);
    }
    return static_cast<HFONT>(handle_.Get());
}

void TLumFont::Changed() {
    // The old font stays alive until the users of the font have switched to the new one.
    TScopedGdiObject old = std::move(handle_);
    if (OnChange) {
        OnChange();
    }
}

TLumClientDC::TLumClientDC(HWND window) : window_(window), dc_(GetDC(window)) {}

TLumClientDC::~TLumClientDC() {
    if (dc_) {
        ReleaseDC(window_, dc_);
    }
}

TLumPaintDC::TLumPaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}

// EndPaint belongs to every BeginPaint: it also shows the caret again that BeginPaint hid.
TLumPaintDC::~TLumPaintDC() {
    EndPaint(window_, &paint_);
}

TLumCanvas::TLumCanvas() {
    font_.OnChange = [this] {
        if (dc_ && oldFont_) {
            SelectObject(dc_, font_.Handle());
        }
    };
}

TLumCanvas::~TLumCanvas() {
    DeselectObjects();
}

HDC TLumCanvas::Handle() {
    if (!dc_) {
        CreateHandle();
    }
    SelectObjects();
    return dc_;
}

void TLumCanvas::SetHandle(HDC dc) {
    if (dc == dc_) {
        return;
    }
    DeselectObjects();
    dc_ = dc;
}

void TLumCanvas::AdoptHandle(HDC dc) {
    dc_ = dc;
}

void TLumCanvas::CreateHandle() {
    throw EInvalidOperation(u"Canvas does not allow drawing");
}

void TLumCanvas::FreeHandle() {
    SetHandle(nullptr);
}

void TLumCanvas::SelectObjects() {
    HGDIOBJ font = SelectObject(dc_, font_.Handle());
    if (!oldFont_) {
        oldFont_ = font;
    }
    if (!brush_) {
        brush_.Reset(CreateSolidBrush(ColorToRGB(brushColor_)));
        Win32Check(brush_.IsValid());
    }
    HGDIOBJ brush = SelectObject(dc_, brush_.Get());
    if (!oldBrush_) {
        oldBrush_ = brush;
    }
    if (!pen_) {
        pen_.Reset(CreatePen(PS_SOLID, 1, ColorToRGB(penColor_)));
        Win32Check(pen_.IsValid());
    }
    HGDIOBJ pen = SelectObject(dc_, pen_.Get());
    if (!oldPen_) {
        oldPen_ = pen;
    }
    SetTextColor(dc_, ColorToRGB(font_.Color()));
    SetBkMode(dc_, TRANSPARENT);
}

// Puts the context's own objects back, so that ours can be deleted and the context released.
void TLumCanvas::DeselectObjects() {
    if (dc_) {
        if (oldFont_) {
            SelectObject(dc_, oldFont_);
        }
        if (oldBrush_) {
            SelectObject(dc_, oldBrush_);
        }
        if (oldPen_) {
            SelectObject(dc_, oldPen_);
        }
    }
    oldFont_ = oldBrush_ = oldPen_ = nullptr;
}

void TLumCanvas::SetBrushColor(TColor color) {
    brushColor_ = color;
    if (dc_ && oldBrush_) {
        SelectObject(dc_, oldBrush_);
        oldBrush_ = nullptr;
    }
    brush_.Reset();
}

void TLumCanvas::SetPenColor(TColor color) {
    penColor_ = color;
    if (dc_ && oldPen_) {
        SelectObject(dc_, oldPen_);
        oldPen_ = nullptr;
    }
    pen_.Reset();
}

SIZE TLumCanvas::TextExtent(const std::u16string& text) {
    SIZE size{};
    Win32Check(GetTextExtentPoint32W(Handle(), WinStr(text), static_cast<int>(text.size()), &size));
    return size;
}

void TLumCanvas::TextOut(int x, int y, const std::u16string& text) {
    ::TextOutW(Handle(), x, y, WinStr(text), static_cast<int>(text.size()));
}

int TLumCanvas::DrawText(const std::u16string& text, RECT& rect, UINT format) {
    return ::DrawTextW(Handle(), WinStr(text), static_cast<int>(text.size()), &rect, format);
}

void TLumCanvas::FillRect(const RECT& rect) {
    HDC dc = Handle();
    ::FillRect(dc, &rect, static_cast<HBRUSH>(brush_.Get()));
}

void TLumCanvas::MoveTo(int x, int y) {
    MoveToEx(Handle(), x, y, nullptr);
}

void TLumCanvas::LineTo(int x, int y) {
    ::LineTo(Handle(), x, y);
}

void TLumCanvas::DrawIcon(int x, int y, HICON icon) {
    ::DrawIcon(Handle(), x, y, icon);
}
