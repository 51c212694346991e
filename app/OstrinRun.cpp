#include "app/OstrinRun.h"

#include "app/CheckWinInetAndAdo.h"
#include "app/OstrinSetup.h"
#include "errors/LumExceptLogWin.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumProgram.h"

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t';
}

void UnattendedJob() {
    std::u16string missing = NeededCompsMessage(1);
    if (!missing.empty()) {
        SetOstrinExitCode(ecMissingPrerequisite);
        KeepUnattendedText(missing);
        return;
    }
    if (RunCapicomSetup({}) == TSetupResult::srRestartRequired) {
        KeepUnattendedText(RestartRequiredText());
    }
}

int RunUnattended(std::span<TUnit* const> units) {
    // Nor any box of the system's own, for a drive that is not ready, say.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    bool completed = false;
    try {
        TUnitSequence sequence(units);
        UnattendedJob();
        sequence.Stop();
        completed = true;
    } catch (const EAbort&) {
    } catch (const Exception& error) {
        KeepUnattendedText(error.Message());
    } catch (const std::exception& error) {
        KeepUnattendedText(Utf8ToWide(error.what()));
    }
    return FinalExitCode(completed);
}

} // namespace

bool IsUnattendedCommandLine(std::u16string_view commandLine) {
    // The program's name first: up to the first blank outside quotes, as for every argument;
    // quotes only group and are no part of the text.
    size_t at = 0;
    bool first = true;
    while (at < commandLine.size()) {
        std::u16string argument;
        bool quoted = false;
        for (; at < commandLine.size() && (quoted || !IsSpace(commandLine[at])); ++at) {
            if (commandLine[at] == u'"') {
                quoted = !quoted;
            } else {
                argument += commandLine[at];
            }
        }
        if (!first && SameAsciiText(argument, u"/S")) {
            return true;
        }
        first = false;
        while (at < commandLine.size() && IsSpace(commandLine[at])) {
            ++at;
        }
    }
    return false;
}

int RunOstrin(std::span<TUnit* const> units, void (*mainBlock)()) {
    if (IsUnattendedCommandLine(FromWinStr(GetCommandLineW()))) {
        return RunUnattended(units);
    }
    return FinalExitCode(RunProgram(units, mainBlock) == 0);
}

void KeepUnattendedText(const std::u16string& text) {
    try {
        WriteToEventLog(text);
        return;
    } catch (const std::exception&) {
        // The numbered error file is the place for it then.
    }
    try {
        WriteErrorFile(text);
    } catch (const std::exception&) {
        // Nowhere left to keep it; the exit code still tells.
    }
}
