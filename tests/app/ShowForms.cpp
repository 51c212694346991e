// Shows the program's windows for screenshots: scripts/screenshots.sh starts it on a virtual
// display and photographs the screen while the window is up.
//
//   ShowForms main SECONDS              the main form, its timer stopped
//   ShowForms dialog SECONDS            the exception dialog of a failed registration
//   ShowForms dialog-expanded SECONDS   the same with its details shown

#include "app/CheckWinInetAndAdo.h"
#include "app/OstrinFrm.h"
#include "errors/ExceptDlg.h"
#include "errors/LumStackTraceWin.h"
#include "lib/LumLX/LumLXSetupUtils.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgExceptDlg.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/ui/LumBasicControls.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/ui/LumTimer.h"
#include "toolkit/win/LumResModule.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit,     &LumLXUtilsUnit,      &LumFormsUnit,
                         &LumBasicControlsUnit, &LumTimerUnit,        &LumStackTraceUnit,
                         &ExceptDlgUnit,        &LumDbgExceptDlgUnit, &CheckWinInetAndAdoUnit};

void ShowFor(TLumCustomForm* form, int seconds) {
    form->Show();
    DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    while (static_cast<int>(end - GetTickCount()) > 0) {
        Application()->ProcessMessages();
        Sleep(20);
    }
}

// A timer that runs an action once, after the delay.
TLumTimer* Once(int milliseconds, std::function<void()> action) {
    auto* timer = new TLumTimer(Application());
    timer->SetInterval(milliseconds);
    timer->OnTimer = TNotifyEvent([timer, action](TLumPersistent*) {
        timer->SetEnabled(false);
        action();
    });
    return timer;
}

// <build>/tests/ShowForms.exe → <build>/standin/regfail.dll
std::u16string FailingLibrary() {
    std::u16string path = OwnFileName();
    path.resize(path.rfind(u'\\'));
    path.resize(path.rfind(u'\\'));
    return path + u"\\standin\\regfail.dll";
}

void ShowDialog(int seconds, bool expanded) {
    if (expanded) {
        Once(800, [] {
            if (CurrentDialog()) {
                CurrentDialog()->DetailsBtnClick(CurrentDialog()->DetailsBtn);
            }
        });
    }
    Once(seconds * 1000, [] {
        if (CurrentDialog()) {
            CurrentDialog()->SetModalResult(mrOk);
        }
    });
    try {
        RegisterDll(FailingLibrary());
    } catch (...) {
        Application()->HandleException(nullptr);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc == 3 ? argv[1] : "";
    if (mode != "main" && mode != "dialog" && mode != "dialog-expanded") {
        std::fprintf(stderr, "usage: ShowForms main|dialog|dialog-expanded SECONDS\n");
        return 2;
    }
    int seconds = std::atoi(argv[2]);
    TUnitSequence units(kUnits);
    Application()->SetTitle(u"Ostrin");
    Application()->Initialize();
    auto* form = Application()->CreateForm<TOstrinForm>();
    form->Timer1->SetEnabled(false);
    if (mode == "main") {
        ShowFor(form, seconds);
    } else {
        form->Show();
        form->SetCaption(u"CAPICOM 2.0 setup - registering...");
        ShowDialog(seconds, mode == "dialog-expanded");
    }
    units.Stop();
    return 0;
}
