#include "toolkit/ui/LumBasicControls.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/ui/LumForms.h"

#include <algorithm>

namespace {

void Start() {
    RegisterComponentClass(TLumButton::StaticClass());
    RegisterComponentClass(TLumEdit::StaticClass());
    RegisterComponentClass(TLumMemo::StaticClass());
    RegisterComponentClass(TLumBevel::StaticClass());
}

} // namespace

TUnit LumBasicControlsUnit("LumBasicControls", &Start, nullptr);

// ---------------------------------------------------------------------------------------------
// TLumButton

TLumButton::TLumButton(TLumComponent* owner) : TLumWinControl(owner) {
    SetBounds(0, 0, 75, 25);
    InitColor(clBtnFace, false);
    InitTabStop(true);
}

const TLumClass& TLumButton::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumButton>("TLumButton", &TLumWinControl::StaticClass())
            .Creatable()
            .Prop<&TLumButton::Cancel, &TLumButton::SetCancel>("Cancel", false)
            .Prop<&TLumButton::Caption, &TLumButton::SetCaption>("Caption", std::u16string())
            .Prop<&TLumButton::Default, &TLumButton::SetDefault>("Default", false)
            .Prop<&TLumButton::ModalResult, &TLumButton::SetModalResult>("ModalResult", 0,
                                                                         &ModalResultIdents())
            .Build();
    return cls;
}

void TLumButton::CreateParams(TCreateParams& params) {
    TLumWinControl::CreateParams(params);
    params.SysClassName = u"BUTTON";
    params.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TLumButton::SetDefault(bool value) {
    if (value == default_) {
        return;
    }
    default_ = value;
    if (HandleAllocated()) {
        SendMessageW(Handle(), BM_SETSTYLE, value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    }
}

void TLumButton::Click() {
    if (TLumCustomForm* form = GetParentForm(this)) {
        form->SetModalResult(modalResult_);
    }
    TLumWinControl::Click();
}

void TLumButton::WndProc(TMessage& m) {
    switch (m.Msg) {
    case CN_COMMAND:
        if (HIWORD(m.WParam) == BN_CLICKED) {
            Click();
        }
        return;
    case CM_ISCANCELBUTTON:
        m.Result = cancel_ ? 1 : 0;
        return;
    default:
        TLumWinControl::WndProc(m);
    }
}

// ---------------------------------------------------------------------------------------------
// Edits

const TLumIdentTable& TLumEnumInfo<TBorderStyle>::Idents() {
    static const TLumIdentTable table = {{"bsNone", 0}, {"bsSingle", 1}};
    return table;
}

const TLumIdentTable& TLumEnumInfo<TScrollStyle>::Idents() {
    static const TLumIdentTable table = {
        {"ssNone", 0}, {"ssHorizontal", 1}, {"ssVertical", 2}, {"ssBoth", 3}};
    return table;
}

TLumCustomEdit::TLumCustomEdit(TLumComponent* owner) : TLumWinControl(owner) {
    SetBounds(0, 0, 121, 21);
    InitColor(clWindow, false);
    InitTabStop(true);
}

const TLumClass& TLumCustomEdit::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumCustomEdit>("TLumCustomEdit", &TLumWinControl::StaticClass())
            .Prop<&TLumCustomEdit::BorderStyle, &TLumCustomEdit::SetBorderStyle>(
                "BorderStyle", TBorderStyle::bsSingle)
            .Prop<&TLumCustomEdit::ReadOnly, &TLumCustomEdit::SetReadOnly>("ReadOnly", false)
            .Build();
    return cls;
}

void TLumCustomEdit::CreateParams(TCreateParams& params) {
    TLumWinControl::CreateParams(params);
    params.SysClassName = u"EDIT";
    if (borderStyle_ == TBorderStyle::bsSingle) {
        params.ExStyle |= WS_EX_CLIENTEDGE;
    }
    if (readOnly_) {
        params.Style |= ES_READONLY;
    }
}

void TLumCustomEdit::SetBorderStyle(TBorderStyle style) {
    if (style != borderStyle_) {
        borderStyle_ = style;
        RecreateWnd();
    }
}

void TLumCustomEdit::SetReadOnly(bool value) {
    readOnly_ = value;
    if (HandleAllocated()) {
        SendMessageW(Handle(), EM_SETREADONLY, value, 0);
    }
}

int TLumCustomEdit::SelStart() {
    DWORD start = 0;
    SendMessageW(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    return static_cast<int>(start);
}

void TLumCustomEdit::SetSelStart(int position) {
    SendMessageW(Handle(), EM_SETSEL, position, position);
}

int TLumCustomEdit::SelLength() {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end - start);
}

void TLumCustomEdit::SetSelLength(int length) {
    int start = SelStart();
    SendMessageW(Handle(), EM_SETSEL, start, start + length);
}

void TLumCustomEdit::WndProc(TMessage& m) {
    if (m.Msg == CN_COMMAND) {
        if (HIWORD(m.WParam) == EN_CHANGE) {
            text_ = Text();
        }
        return;
    }
    TLumWinControl::WndProc(m);
}

TLumEdit::TLumEdit(TLumComponent* owner) : TLumCustomEdit(owner) {}

const TLumClass& TLumEdit::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumEdit>("TLumEdit", &TLumCustomEdit::StaticClass())
            .Creatable()
            .Prop<&TLumEdit::TextValue, &TLumEdit::SetTextValue>("Text", std::u16string())
            .Build();
    return cls;
}

void TLumEdit::CreateParams(TCreateParams& params) {
    TLumCustomEdit::CreateParams(params);
    params.Style |= ES_AUTOHSCROLL;
}

// ---------------------------------------------------------------------------------------------
// TLumMemoLines

const TLumClass& TLumMemoLines::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumMemoLines>("TLumMemoLines", &TLumPersistent::StaticClass()).Build();
    return cls;
}

std::vector<std::u16string> TLumMemoLines::ToVector() const {
    return SplitLines(memo_.Text());
}

int TLumMemoLines::Count() const {
    return static_cast<int>(ToVector().size());
}

std::u16string TLumMemoLines::Get(int index) const {
    auto lines = ToVector();
    if (index < 0 || index >= static_cast<int>(lines.size())) {
        throw EStringListError(Format(LoadResString(LumRtlConsts::SListIndexError), index));
    }
    return lines[static_cast<size_t>(index)];
}

void TLumMemoLines::Store(const std::vector<std::u16string>& lines) {
    std::u16string text;
    for (const std::u16string& line : lines) {
        text += line + u"\r\n";
    }
    memo_.SetText(text);
}

void TLumMemoLines::Add(const std::u16string& line) {
    Insert(Count(), line);
}

void TLumMemoLines::Insert(int index, const std::u16string& line) {
    auto lines = ToVector();
    if (index < 0 || index > static_cast<int>(lines.size())) {
        throw EStringListError(Format(LoadResString(LumRtlConsts::SListIndexError), index));
    }
    lines.insert(lines.begin() + index, line);
    Store(lines);
}

void TLumMemoLines::Delete(int index) {
    auto lines = ToVector();
    if (index < 0 || index >= static_cast<int>(lines.size())) {
        throw EStringListError(Format(LoadResString(LumRtlConsts::SListIndexError), index));
    }
    lines.erase(lines.begin() + index);
    Store(lines);
}

void TLumMemoLines::Clear() {
    memo_.SetText(u"");
}

std::u16string TLumMemoLines::Text() const {
    std::u16string text;
    for (const std::u16string& line : ToVector()) {
        text += line + u"\r\n";
    }
    return text;
}

void TLumMemoLines::SetText(const std::u16string& text) {
    Store(SplitLines(text));
}

void TLumMemoLines::Assign(const TLumPersistent& source) {
    if (auto other = dynamic_cast<const TLumMemoLines*>(&source)) {
        Store(other->ToVector());
        return;
    }
    TLumPersistent::Assign(source);
}

void TLumMemoLines::BeginUpdate() {
    if (updateCount_++ == 0 && memo_.HandleAllocated()) {
        SendMessageW(memo_.Handle(), WM_SETREDRAW, FALSE, 0);
    }
}

void TLumMemoLines::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && memo_.HandleAllocated()) {
        SendMessageW(memo_.Handle(), WM_SETREDRAW, TRUE, 0);
        memo_.Invalidate();
    }
}

void TLumMemoLines::DefineProperties(TLumFiler& filer) {
    filer.DefineProperty(
        "Strings",
        [this](TLumFormReader& reader) {
            std::vector<std::u16string> lines;
            reader.ReadListBegin();
            while (!reader.EndOfList()) {
                lines.push_back(reader.ReadString());
            }
            reader.ReadListEnd();
            Store(lines);
        },
        [this](TLumFormWriter& writer) {
            writer.WriteListBegin();
            for (const std::u16string& line : ToVector()) {
                writer.WriteString(line);
            }
            writer.WriteListEnd();
        },
        Count() > 0 &&
            !(filer.Ancestor() &&
              static_cast<const TLumMemoLines*>(filer.Ancestor())->ToVector() == ToVector()));
}

// ---------------------------------------------------------------------------------------------
// TLumMemo

TLumMemo::TLumMemo(TLumComponent* owner) : TLumCustomEdit(owner), lines_(*this) {
    SetBounds(0, 0, 185, 89);
}

TLumMemo::~TLumMemo() = default;

const TLumClass& TLumMemo::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumMemo>("TLumMemo", &TLumCustomEdit::StaticClass())
            .Creatable()
            .Object<&TLumMemo::Lines>("Lines")
            .Prop<&TLumMemo::ScrollBars, &TLumMemo::SetScrollBars>("ScrollBars",
                                                                   TScrollStyle::ssNone)
            .Prop<&TLumMemo::WantReturns, &TLumMemo::SetWantReturns>("WantReturns", true)
            .Prop<&TLumMemo::WordWrap, &TLumMemo::SetWordWrap>("WordWrap", true)
            .Build();
    return cls;
}

void TLumMemo::CreateParams(TCreateParams& params) {
    TLumCustomEdit::CreateParams(params);
    params.Style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL;
    if (!wordWrap_) {
        params.Style |= ES_AUTOHSCROLL;
    }
    if (wantReturns_) {
        params.Style |= ES_WANTRETURN;
    }
    if (scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth) {
        params.Style |= WS_VSCROLL;
    }
    if (scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth) {
        params.Style |= WS_HSCROLL;
    }
}

void TLumMemo::SetScrollBars(TScrollStyle style) {
    if (style != scrollBars_) {
        scrollBars_ = style;
        RecreateWnd();
    }
}

void TLumMemo::SetWordWrap(bool value) {
    if (value != wordWrap_) {
        wordWrap_ = value;
        RecreateWnd();
    }
}

void TLumMemo::SetWantReturns(bool value) {
    if (value != wantReturns_) {
        wantReturns_ = value;
        RecreateWnd();
    }
}

int TLumMemo::LineCount() {
    return static_cast<int>(SendMessageW(Handle(), EM_GETLINECOUNT, 0, 0));
}

void TLumMemo::ScrollCaret() {
    SendMessageW(Handle(), EM_SCROLLCARET, 0, 0);
}

void TLumMemo::ShowVerticalScrollBar(bool show) {
    ShowScrollBar(Handle(), SB_VERT, show);
}

// ---------------------------------------------------------------------------------------------
// TLumBevel

const TLumIdentTable& TLumEnumInfo<TBevelShape>::Idents() {
    static const TLumIdentTable table = {{"bsBox", 0},        {"bsFrame", 1},    {"bsTopLine", 2},
                                         {"bsBottomLine", 3}, {"bsLeftLine", 4}, {"bsRightLine", 5},
                                         {"bsSpacer", 6}};
    return table;
}

const TLumIdentTable& TLumEnumInfo<TBevelStyle>::Idents() {
    static const TLumIdentTable table = {{"bsLowered", 0}, {"bsRaised", 1}};
    return table;
}

TLumBevel::TLumBevel(TLumComponent* owner) : TLumGraphicControl(owner) {
    SetBounds(0, 0, 50, 50);
}

const TLumClass& TLumBevel::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumBevel>("TLumBevel", &TLumGraphicControl::StaticClass())
            .Creatable()
            .Prop<&TLumBevel::Shape, &TLumBevel::SetShape>("Shape", TBevelShape::bsBox)
            .Prop<&TLumBevel::Style, &TLumBevel::SetStyle>("Style", TBevelStyle::bsLowered)
            .Build();
    return cls;
}

void TLumBevel::SetShape(TBevelShape shape) {
    shape_ = shape;
    Invalidate();
}

void TLumBevel::SetStyle(TBevelStyle style) {
    style_ = style;
    Invalidate();
}

// A line in the shadow colour with one in the highlight colour beside it (swapped when raised).
void TLumBevel::Paint(TLumCanvas& canvas) {
    TColor first = style_ == TBevelStyle::bsLowered ? clBtnShadow : clBtnHighlight;
    TColor second = style_ == TBevelStyle::bsLowered ? clBtnHighlight : clBtnShadow;
    int l = Left();
    int t = Top();
    int r = Left() + Width();
    int b = Top() + Height();
    auto line = [&](TColor color, int x1, int y1, int x2, int y2) {
        canvas.SetPenColor(color);
        canvas.MoveTo(x1, y1);
        canvas.LineTo(x2, y2);
    };
    switch (shape_) {
    case TBevelShape::bsTopLine:
        line(first, l, t, r, t);
        line(second, l, t + 1, r, t + 1);
        break;
    case TBevelShape::bsBottomLine:
        line(first, l, b - 2, r, b - 2);
        line(second, l, b - 1, r, b - 1);
        break;
    case TBevelShape::bsLeftLine:
        line(first, l, t, l, b);
        line(second, l + 1, t, l + 1, b);
        break;
    case TBevelShape::bsRightLine:
        line(first, r - 2, t, r - 2, b);
        line(second, r - 1, t, r - 1, b);
        break;
    case TBevelShape::bsBox:
    case TBevelShape::bsFrame:
        line(first, l, b - 1, l, t);
        line(first, l, t, r - 1, t);
        line(second, r - 1, t, r - 1, b - 1);
        line(second, r - 1, b - 1, l, b - 1);
        break;
    case TBevelShape::bsSpacer:
        break;
    }
}
