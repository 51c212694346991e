#pragma once
// The setup job, run by the main form's timer and by the unattended run alike: when the
// installed CAPICOM is older than 2.0, the embedded library takes the installed one's place and
// is registered. And the exit code the program ends with.

#include <functional>
#include <string>

/// The exit codes of Ostrin.exe, for deployment scripts (the README lists them).
enum TOstrinExitCode : int {
    ecSuccess = 0,             ///< the library was installed, or the installed one is current
    ecOtherError = 1,          ///< any other failure, or the setup never came to an end
    ecMissingPrerequisite = 2, ///< the browser library is missing or too old
    ecWriteFailed = 3,         ///< the library could not be written or put in place
    ecRegistrationFailed = 4,  ///< the new library could not be loaded or registered
    ecRestartRequired = 3010,  ///< the installed library is in use: a restart completes it
};

/// The exit code as far as the run has come: ecOtherError until something decides it.
TOstrinExitCode OstrinExitCode();
void SetOstrinExitCode(TOstrinExitCode code);

/// The exit code of a run whose frame (RunProgram or the unattended run) completed or not: a
/// frame that failed after the setup succeeded makes it ecOtherError.
int FinalExitCode(bool frameCompleted);

/// The steps of the job that its caller is told about as they begin.
enum class TSetupStep { ssInstalling, ssRegistering };

/// How the job ended when it raised nothing.
enum class TSetupResult {
    srCurrent,         ///< CAPICOM 2.0 or newer was there: nothing written
    srInstalled,       ///< the embedded library was installed and registered
    srRestartRequired, ///< the installed library is in use: replaced at the next restart
};

/// The job. When table entry 2 (CAPICOM) is older than 2.0 (major and minor only), the
/// embedded library (resource "FILE"/"capicomdll") replaces <system folder>\capicom.dll and is
/// registered, the old file kept until the new one is registered and put back when it cannot
/// be (TLibraryInstall). `onStep`, when given, is called as installing and registering begin.
/// A failure raises as the step does; the exit code names the step that failed.
TSetupResult RunCapicomSetup(const std::function<void(TSetupStep)>& onStep);

/// The text that tells the user the library is in use and a restart completes the setup.
std::u16string RestartRequiredText();
