// Shows the program's windows for screenshots: scripts/screenshots.sh starts it on a virtual
// display and photographs the screen while the window is up.
//
//   ShowForms main SECONDS    the main form, its timer stopped, for SECONDS seconds

#include "app/OstrinFrm.h"
#include "toolkit/LumForms.h"
#include "toolkit/LumResModule.h"
#include "toolkit/LumTimer.h"
#include "toolkit/LumUnits.h"
#include "toolkit/LumWidgets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumWidgetsUnit, &LumTimerUnit};

void ShowFor(TLumCustomForm* form, int seconds) {
    form->Show();
    DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    while (static_cast<int>(end - GetTickCount()) > 0) {
        Application()->ProcessMessages();
        Sleep(20);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "main") != 0) {
        std::fprintf(stderr, "usage: ShowForms main SECONDS\n");
        return 2;
    }
    TUnitSequence units(kUnits);
    Application()->Initialize();
    auto* form = Application()->CreateForm<TOstrinForm>();
    form->Timer1->SetEnabled(false);
    ShowFor(form, std::atoi(argv[2]));
    units.Stop();
    return 0;
}
