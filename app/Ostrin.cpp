// Program entry of Ostrin.

#include "app/CheckWinInetAndAdo.h"
#include "app/OstrinFrm.h"
#include "app/OstrinRun.h"
#include "app/OstrinSetup.h"
#include "errors/ExceptDlg.h"
#include "errors/LumStackTraceWin.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgExceptDlg.h"
#include "lib/LumTrx/LumTrxSysInit.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumBasicControls.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/ui/LumTimer.h"
#include "toolkit/win/LumProgram.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

namespace {

// The modules of the program in the order they start; they stop in reverse.
TUnit* const kUnits[] = {
    &LumResModuleUnit,     &LumLXUtilsUnit,    &LumFormsUnit,        &LumLXFormsUnit,
    &LumBasicControlsUnit, &LumTimerUnit,      &LumStackTraceUnit,   &ExceptDlgUnit,
    &LumTrxUtilsUnit,      &LumTrxSysInitUnit, &LumDbgExceptDlgUnit, &CheckWinInetAndAdoUnit,
};

constexpr char16_t kSupportAddress[] = u"support@lum-software.example";

void OstrinMain() {
    SupportEmailAddress = kSupportAddress;
    // Only the browser library is required before the window appears.
    if (!CheckNeededComps(1)) {
        SetOstrinExitCode(ecMissingPrerequisite);
        return;
    }
    Application()->Initialize();
    TraceStartup("application initialised");
    OstrinForm = Application()->CreateForm<TOstrinForm>();
    TraceStartup("main form created");
    Application()->Run();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    LockDownLibrarySearch();
    TraceStartup("entry");
    // Unattended, no message box may wait for an answer: notices go where failures go.
    if (IsUnattendedCommandLine(FromWinStr(GetCommandLineW()))) {
        SetTranslationNoticeHook(&KeepUnattendedText);
    }
    return RunOstrin(kUnits, &OstrinMain);
}
