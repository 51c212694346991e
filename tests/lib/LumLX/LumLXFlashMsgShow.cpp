// Shows nested flash messages for scripts/screenshots.sh: LumLXFlashMsgShow SECONDS.
#include "lib/LumLX/LumLXFlashMsg.h"

#include "lib/LumLX/LumLXUtils.h"
#include "toolkit/win/LumResModule.h"

#include <cstdio>
#include <cstdlib>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit};

// Paints what is waiting for `milliseconds`, as the work behind a notice would not.
void Pump(int milliseconds) {
    DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        Application()->ProcessMessages();
        Sleep(20);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: LumLXFlashMsgShow SECONDS\n");
        return 2;
    }
    int seconds = std::atoi(argv[1]);
    TUnitSequence units(kUnits);
    {
        auto outer = ShowFlashMessage(
            u"Updating Translation Resource (C:\\Program Files\\Ostrin\\Ostrin.DEU)");
        auto inner =
            ShowFlashMessage(u"Reading Translation Info for C:\\Program Files\\Ostrin\\Ostrin.exe");
        inner->SetTop(inner->Top() + 60);
        Pump(seconds * 1000);
    }
    units.Stop();
    return 0;
}
