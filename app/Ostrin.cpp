// Program entry of Ostrin.

#include "toolkit/LumProgram.h"
#include "toolkit/LumResModule.h"
#include "toolkit/LumWin.h"

namespace {

// The modules of the program in the order they start; they stop in reverse.
TUnit* const kUnits[] = {
    &LumResModuleUnit,
};

void OstrinMain() {}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunProgram(kUnits, &OstrinMain); }
