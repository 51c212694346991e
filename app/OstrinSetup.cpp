#include "app/OstrinSetup.h"

#include "app/CheckWinInetAndAdo.h"
#include "lib/LumLX/LumLXSetupInstall.h"
#include "lib/LumLX/LumLXUtils.h"
#include "rstr/OstrinSetup.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/res/LumResourceStream.h"
#include "toolkit/win/LumResModule.h"

namespace {

constexpr std::size_t kCapicomEntry = 2;

TOstrinExitCode exitCode = ecOtherError;

std::u16string CapicomTarget() {
    return GetSystemDir() + u"\\capicom.dll";
}

} // namespace

TOstrinExitCode OstrinExitCode() {
    return exitCode;
}

void SetOstrinExitCode(TOstrinExitCode code) {
    exitCode = code;
}

int FinalExitCode(bool frameCompleted) {
    if (!frameCompleted && (exitCode == ecSuccess || exitCode == ecRestartRequired)) {
        return ecOtherError;
    }
    return exitCode;
}

TSetupResult RunCapicomSetup(const std::function<void(TSetupStep)>& onStep) {
    SetOstrinExitCode(ecOtherError);
    // Only major and minor count: an installed 2.0.0.1 is good enough.
    const TNeededComp& capicom = NeededComps()[kCapicomEntry];
    if (capicom.InstalledMajorMinor >= capicom.Required) {
        SetOstrinExitCode(ecSuccess);
        return TSetupResult::srCurrent;
    }
    std::u16string target = CapicomTarget();
    if (onStep) {
        onStep(TSetupStep::ssInstalling);
    }
    TLumResourceStream library(MainInstance(), TResId(u"capicomdll"), TResId(u"FILE"));
    SetOstrinExitCode(ecWriteFailed);
    TLibraryInstall install(target, {library.Memory(), static_cast<std::size_t>(library.Size())});
    if (install.SwapIn() == TSwapResult::srScheduled) {
        SetOstrinExitCode(ecRestartRequired);
        return TSetupResult::srRestartRequired;
    }
    SetOstrinExitCode(ecOtherError);
    if (onStep) {
        onStep(TSetupStep::ssRegistering);
    }
    SetOstrinExitCode(ecRegistrationFailed);
    install.Register();
    SetOstrinExitCode(ecSuccess);
    return TSetupResult::srInstalled;
}

std::u16string RestartRequiredText() {
    return Format(LoadResString(OstrinSetup::SRestartRequired), CapicomTarget());
}
