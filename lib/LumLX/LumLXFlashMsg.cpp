#include "lib/LumLX/LumLXFlashMsg.h"

#include "lib/LumLX/LumLXUtilsWin.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/persist/LumComponents.h"

#include <algorithm>
#include <string>

TLumFlashForm::TLumFlashForm(TLumComponent* owner) : TLumForm(owner) {
    PushCursor(crHourGlass);
}

TLumFlashForm::~TLumFlashForm() {
    PopCursor();
}

const TLumClass& TLumFlashForm::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumFlashForm>("TLumFlashForm", &TLumForm::StaticClass()).Build();
    return cls;
}

void TLumFlashForm::SetMessage(std::u16string_view text) {
    std::u16string caption(text);
    HWND window = Handle();
    HDC dc = GetWindowDC(window);
    Win32Check(dc != nullptr);
    SIZE extent{};
    BOOL measured =
        GetTextExtentPoint32W(dc, WinStr(caption), static_cast<int>(caption.size()), &extent);
    ReleaseDC(window, dc);
    Win32Check(measured);
    SetWidth(std::max(Width(), static_cast<int>(extent.cx)));
    SetCaption(caption);
}

TLumOwned<TLumFlashForm> ShowFlashMessage(std::u16string_view text) {
    TLumOwned<TLumFlashForm> form(TLumCustomForm::Create<TLumFlashForm>(Application()));
    // The system keeps a window with a caption at least at its minimum tracking height, which
    // is more than a tool window's frame: the strip may be as low as its frame.
    form->Constraints()->SetMinHeight(form->Height() - form->ClientHeight());
    form->SetClientHeight(0);
    form->SetMessage(text);
    form->Show();
    form->Repaint();
    return form;
}
