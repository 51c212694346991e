// The tool bar with its buttons, the control bar, and the start of the bars' unit.
#include "toolkit/ui/LumComCtrls.h"

#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>

namespace {

// Command ids of tool buttons, distinct across bars so that a button moved to another bar
// keeps its id.
int nextButtonCommand = 1;

void Start() {
    RegisterComponentClass(TToolBar::StaticClass());
    RegisterComponentClass(TToolButton::StaticClass());
    RegisterComponentClass(TLumStatusBar::StaticClass());
    RegisterComponentClass(TLumControlBar::StaticClass());
}

} // namespace

TUnit LumComCtrlsUnit("LumComCtrls", &Start, nullptr);

// Defined with the status bar: the common controls' classes the bars use, registered once.
void InitBarClasses();

const TLumIdentTable& TLumEnumInfo<TToolButtonStyle>::Idents() {
    static const TLumIdentTable table = {{"tbsButton", 0}, {"tbsCheck", 1}, {"tbsSeparator", 2}};
    return table;
}

// ---------------------------------------------------------------------------------------------
// TToolButton

TToolButton::TToolButton(TLumComponent* owner)
    : TLumComponent(owner), command_(nextButtonCommand++) {}

TToolButton::~TToolButton() {
    if (toolBar_) {
        toolBar_->RemoveButton(this);
    }
}

const TLumClass& TToolButton::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TToolButton>("TToolButton", &TLumComponent::StaticClass())
            .Creatable()
            .Prop<&TToolButton::Caption, &TToolButton::SetCaption>("Caption", std::u16string())
            .Prop<&TToolButton::Down, &TToolButton::SetDown>("Down", false)
            .Prop<&TToolButton::Enabled, &TToolButton::SetEnabled>("Enabled", true)
            .Prop<&TToolButton::Style, &TToolButton::SetStyle>("Style", TToolButtonStyle::tbsButton)
            .Event<&TToolButton::OnClick>("OnClick")
            .Build();
    return cls;
}

void TToolButton::SetCaption(const std::u16string& caption) {
    if (caption != caption_) {
        caption_ = caption;
        Changed();
    }
}

void TToolButton::SetStyle(TToolButtonStyle style) {
    if (style != style_) {
        style_ = style;
        Changed();
    }
}

void TToolButton::SetDown(bool value) {
    if (value != down_) {
        down_ = value;
        Changed();
    }
}

void TToolButton::SetEnabled(bool value) {
    if (value != enabled_) {
        enabled_ = value;
        Changed();
    }
}

void TToolButton::Click() {
    if (style_ == TToolButtonStyle::tbsCheck) {
        down_ = !down_;
    }
    if (OnClick) {
        OnClick(this);
    }
}

void TToolButton::SetParentComponent(TLumComponent* parent) {
    if (auto bar = dynamic_cast<TToolBar*>(parent)) {
        bar->AddButton(this);
    }
}

void TToolButton::Changed() {
    if (toolBar_) {
        toolBar_->ButtonsChanged();
    }
}

// ---------------------------------------------------------------------------------------------
// TToolBar

TToolBar::TToolBar(TLumComponent* owner) : TLumWinControl(owner) {
    InitColor(clBtnFace, false);
    SetBounds(0, 0, 150, 22);
}

TToolBar::~TToolBar() {
    for (TToolButton* button : buttons_) {
        button->toolBar_ = nullptr;
    }
}

const TLumClass& TToolBar::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TToolBar>("TToolBar", &TLumWinControl::StaticClass()).Creatable().Build();
    return cls;
}

void TToolBar::AddButton(TToolButton* button) {
    if (button->toolBar_) {
        button->toolBar_->RemoveButton(button);
    }
    buttons_.push_back(button);
    button->toolBar_ = this;
    ButtonsChanged();
}

void TToolBar::RemoveButton(TToolButton* button) {
    auto it = std::find(buttons_.begin(), buttons_.end(), button);
    if (it != buttons_.end()) {
        buttons_.erase(it);
        button->toolBar_ = nullptr;
        ButtonsChanged();
    }
}

void TToolBar::GetChildren(const std::function<void(TLumComponent*)>& proc, TLumComponent* root) {
    TLumWinControl::GetChildren(proc, root);
    for (TToolButton* button : buttons_) {
        if (button->Owner() == root) {
            proc(button);
        }
    }
}

void TToolBar::CreateParams(TCreateParams& params) {
    InitBarClasses();
    TLumWinControl::CreateParams(params);
    params.Style |= TBSTYLE_FLAT | TBSTYLE_LIST | CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN;
    params.SysClassName = u"ToolbarWindow32";
}

void TToolBar::CreateWindowDone() {
    SendMessageW(handle_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(handle_, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    TLumWinControl::CreateWindowDone();
    FillButtons();
}

void TToolBar::ButtonsChanged() {
    if (!handle_) {
        return;
    }
    while (SendMessageW(handle_, TB_BUTTONCOUNT, 0, 0) > 0) {
        SendMessageW(handle_, TB_DELETEBUTTON, 0, 0);
    }
    FillButtons();
}

void TToolBar::FillButtons() {
    for (TToolButton* button : buttons_) {
        TBBUTTON tb{};
        tb.iBitmap = I_IMAGENONE;
        tb.idCommand = button->command_;
        tb.fsState = static_cast<BYTE>((button->Enabled() ? TBSTATE_ENABLED : 0) |
                                       (button->Down() ? TBSTATE_CHECKED : 0));
        switch (button->Style()) {
        case TToolButtonStyle::tbsSeparator:
            tb.fsStyle = BTNS_SEP;
            tb.iBitmap = 8;
            break;
        case TToolButtonStyle::tbsCheck:
            tb.fsStyle = BTNS_CHECK | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
            break;
        case TToolButtonStyle::tbsButton:
            tb.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
            break;
        }
        tb.iString = reinterpret_cast<INT_PTR>(WinStr(button->Caption()));
        SendMessageW(handle_, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&tb));
    }
}

void TToolBar::WndProc(TMessage& m) {
    if (m.Msg == CN_COMMAND) {
        for (TToolButton* button : buttons_) {
            if (button->command_ == LOWORD(m.WParam)) {
                button->Click();
                return;
            }
        }
        return;
    }
    TLumWinControl::WndProc(m);
}

// ---------------------------------------------------------------------------------------------
// TLumControlBar

TLumControlBar::TLumControlBar(TLumComponent* owner) : TLumWinControl(owner) {
    InitColor(clBtnFace, false);
    SetBounds(0, 0, 200, 26);
}

const TLumClass& TLumControlBar::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumControlBar>("TLumControlBar", &TLumWinControl::StaticClass())
            .Creatable()
            .Build();
    return cls;
}

void TLumControlBar::CreateParams(TCreateParams& params) {
    TLumWinControl::CreateParams(params);
    params.Style |= WS_CLIPCHILDREN;
}

void TLumControlBar::ControlsChanged() {
    if (arranging_ || IsLoading() || IsDestroying()) {
        return;
    }
    TRestore<bool> arranging(arranging_, true);
    std::vector<TLumControl*> bands;
    for (int i = 0; i < ControlCount(); ++i) {
        if (Controls(i)->Visible()) {
            bands.push_back(Controls(i));
        }
    }
    std::stable_sort(bands.begin(), bands.end(), [](TLumControl* a, TLumControl* b) {
        return a->Top() != b->Top() ? a->Top() < b->Top() : a->Left() < b->Left();
    });
    int rowTop = 0;
    int right = 0;
    for (size_t i = 0; i < bands.size(); ++i) {
        TLumControl* band = bands[i];
        if (i == 0 || band->Top() != rowTop) {
            rowTop = band->Top();
            right = 0;
        }
        int left = std::max(band->Left(), right);
        if (left != band->Left()) {
            band->SetLeft(left);
        }
        right = left + band->Width();
    }
}

void TLumControlBar::WndProc(TMessage& m) {
    if (m.Msg == WM_ERASEBKGND) {
        RECT r;
        GetClientRect(handle_, &r);
        ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, ColorBrush());
        m.Result = 1;
        return;
    }
    TLumWinControl::WndProc(m);
}
