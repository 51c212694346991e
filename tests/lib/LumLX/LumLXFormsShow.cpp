// Shows an MDI main form for screenshots (scripts/screenshots.sh): a menu with a window menu,
// the frame's own tool bar and status bar, and a maximised child whose tool bar and status
// bar are docked into the frame's, beside a second child.
//
//   LumLXFormsShow SECONDS

#include "lib/LumLX/LumLXForms.h"
#include "toolkit/ui/LumBasicControls.h"
#include "toolkit/win/LumResModule.h"

#include <cstdlib>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumBasicControlsUnit, &LumLXFormsUnit};

TToolBar* AddToolBar(TLumFormLX* form, TLumControlBar* bar, int width,
                     std::initializer_list<const char16_t*> captions) {
    auto* tools = new TToolBar(form);
    tools->SetParent(bar);
    tools->SetBounds(0, 0, width, 22);
    for (const char16_t* caption : captions) {
        auto* button = new TToolButton(form);
        button->SetCaption(caption);
        tools->AddButton(button);
    }
    return tools;
}

void Equip(TLumFormLX* form, int toolWidth, std::initializer_list<const char16_t*> captions) {
    auto* bar = new TLumControlBar(form);
    bar->SetParent(form);
    bar->SetAlign(TAlign::alTop);
    form->SetMDIControlBar(bar);
    form->SetMDIToolBar(AddToolBar(form, bar, toolWidth, captions));
    auto* status = new TLumStatusBar(form);
    status->SetParent(form);
    status->SetAlign(TAlign::alBottom);
    form->SetMDIStatusBar(status);
}

TLumFormLX* Child(const char16_t* caption) {
    auto* child = TLumCustomForm::CreateNew<TLumFormLX>(Application());
    child->SetFormStyle(TFormStyle::fsMDIChild);
    child->SetCaption(caption);
    child->SetClientWidth(300);
    child->SetClientHeight(160);
    auto* memo = new TLumMemo(child);
    memo->SetParent(child);
    memo->SetAlign(TAlign::alClient);
    memo->SetText(caption);
    return child;
}

void Run(int seconds) {
    auto* main = TLumCustomForm::CreateNew<TLumFormLX>(Application());
    Application()->SetMainForm(main);
    main->SetCaption(u"MDI frame");
    main->SetFormStyle(TFormStyle::fsMDIForm);
    main->SetLeft(40);
    main->SetTop(40);
    main->SetClientWidth(720);
    main->SetClientHeight(440);
    auto* menu = new TLumMainMenu(main);
    for (const char16_t* caption : {u"&File", u"&Edit", u"&Window"}) {
        auto* item = new TLumMenuItem(main);
        item->SetCaption(caption);
        menu->Items()->Add(item);
        auto* sub = new TLumMenuItem(main);
        sub->SetCaption(u"&Cascade");
        item->Add(sub);
    }
    main->SetMenu(menu);
    main->SetWindowMenu(menu->Items()->Items(2));
    Equip(main, 150, {u"New", u"Open", u"Save"});
    main->MDIStatusBar()->AddPanel(u"Frame", 120);
    main->MDIStatusBar()->AddPanel(u"Ready", 100);
    main->Show();

    TLumFormLX* notes = Child(u"Notes");
    notes->Show();
    TLumFormLX* report = Child(u"Report");
    Equip(report, 160, {u"Print", u"Zoom", u"Find"});
    report->MDIStatusBar()->AddPanel(u"Page 1", 90);
    report->MDIStatusBar()->AddPanel(u"Report", 110);
    report->Show();
    report->SetWindowState(TWindowState::wsMaximized);

    DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    while (static_cast<int>(end - GetTickCount()) > 0) {
        Application()->ProcessMessages();
        Sleep(20);
    }
}

} // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    TUnitSequence units(kUnits);
    Run(seconds);
    units.Stop();
    return 0;
}
