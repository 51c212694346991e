// The hints of a form's controls, shown as tooltips with the hint's short part.
#include "toolkit/ui/LumForms.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"

namespace {

void AddHintTools(HWND tooltip, TLumWinControl& parent) {
    for (int i = 0; i < parent.ControlCount(); ++i) {
        auto control = dynamic_cast<TLumWinControl*>(parent.Controls(i));
        if (!control || !control->HandleAllocated()) {
            continue;
        }
        std::u16string hint = control->Hint().substr(0, control->Hint().find(u'|'));
        if (!hint.empty() && control->HintShows()) {
            TOOLINFOW tool{};
            // The size the common controls of every version take.
            tool.cbSize = TTTOOLINFOW_V2_SIZE;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = parent.Handle();
            tool.uId = reinterpret_cast<UINT_PTR>(control->Handle());
            tool.lpszText = const_cast<wchar_t*>(WinStr(hint));
            SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        AddHintTools(tooltip, *control);
    }
}

} // namespace

// The tooltip is owned by the form's window and goes with it when the window is made again.
bool TLumCustomForm::OwnsTooltip() const {
    return tooltip_ && handle_ && IsWindow(tooltip_) && GetWindow(tooltip_, GW_OWNER) == handle_;
}

void TLumCustomForm::UpdateHints() {
    if (OwnsTooltip()) {
        DestroyWindow(tooltip_);
    }
    tooltip_ = nullptr;
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    Win32Check(tooltip_ != nullptr);
    AddHintTools(tooltip_, *this);
}
