// The hints of a form's controls, shown as tooltips with the hint's short part.
#include "toolkit/ui/LumForms.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"

#include <vector>

namespace {

struct THintTool {
    HWND Parent;
    HWND Control;
    std::u16string Text;
};

// Every windowed control below `parent` with a hint whose hints show, and the hint's short part.
void CollectHintTools(TLumWinControl& parent, std::vector<THintTool>& tools) {
    for (int i = 0; i < parent.ControlCount(); ++i) {
        auto control = dynamic_cast<TLumWinControl*>(parent.Controls(i));
        if (!control || !control->HandleAllocated()) {
            continue;
        }
        std::u16string hint = control->Hint().substr(0, control->Hint().find(u'|'));
        if (!hint.empty() && control->HintShows()) {
            tools.push_back({parent.Handle(), control->Handle(), std::move(hint)});
        }
        CollectHintTools(*control, tools);
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
    std::vector<THintTool> tools;
    CollectHintTools(*this, tools);
    // A form without hints needs neither the tooltip nor the common controls loaded for it.
    if (tools.empty()) {
        return;
    }
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    Win32Check(tooltip_ != nullptr);
    for (THintTool& hint : tools) {
        TOOLINFOW tool{};
        // The size the common controls of every version take.
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hint.Parent;
        tool.uId = reinterpret_cast<UINT_PTR>(hint.Control);
        tool.lpszText = const_cast<wchar_t*>(WinStr(hint.Text));
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}
