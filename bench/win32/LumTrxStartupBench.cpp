// What a translation module costs at start-up, under Wine: the runtime's choice of the module
// and the translation check, as the program does them, for a copy of Ostrin.exe with a
// prepared module of its own build beside it and for a copy without one (the same extension
// configured for both). The difference of the medians is the cost of the module. The table of
// languages, built at every start with or without a module, is timed apart. Then the module
// of another build, which the check makes again from the program with its translations: the
// rebuild in this process, and the whole start of Ostrin.exe until its main form shows, beside
// the start with a module of its own build. Run by bench/trx-startup.sh; the first argument,
// if any, is the number of repetitions (50), the second that of the program's starts (9).

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "tests/lib/LumTrx/LumTrxTestModules.h"
#include "tests/support/LumTestWindows.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

namespace {

std::u16string BuildFolder() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::u16string path = FromWinStr(self);
    for (int up = 0; up < 3; ++up) {
        path.resize(path.rfind(u'\\'));
    }
    return path;
}

double Now() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double MedianMs(int repetitions, const std::function<void()>& step,
                const std::function<void()>& prepare = {}) {
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        if (prepare) {
            prepare();
        }
        double start = Now();
        step();
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The runtime's choice at its start, then the translation check on the module it took.
void StartWithModule(const std::u16string& exe) {
    std::u16string chosen = FindResourceModuleFile(exe, false);
    HMODULE module = IsSoundResourceModule(chosen)
                         ? LoadLibraryExW(WinStr(chosen), nullptr, LOAD_LIBRARY_AS_DATAFILE)
                         : nullptr;
    std::u16string active = FindResourceModuleFile(exe);
    bool fits = module && IsModulePrepared(active) &&
                CodePageWarning(TranslationLanguage(exe, active), true, GetACP()).empty() &&
                SameBuildIdentity(exe, active);
    if (!fits) {
        std::fprintf(stderr, "the module was not taken\n");
        std::exit(1);
    }
    FreeLibrary(module);
}

void StartWithoutModule(const std::u16string& exe) {
    if (!FindResourceModuleFile(exe, false).empty()) {
        std::fprintf(stderr, "a module was found\n");
        std::exit(1);
    }
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
}

// The check on a module of another build: the module is made again from the program, with
// the old translations carried over, and loaded.
void StartWithRebuild(const std::u16string& exe) {
    std::u16string active = FindResourceModuleFile(exe);
    if (active.empty() || !IsModulePrepared(active) || SameBuildIdentity(exe, active)) {
        Fail("no module of another build");
    }
    UpdateTranslation(exe, active);
    TScopedLibrary module(LoadLibraryExW(WinStr(active), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module || !SameBuildIdentity(exe, active)) {
        Fail("the module was not rebuilt");
    }
}

// The program started until its main form shows `caption`, then ended at once (before its
// timer looks at the library).
void StartProgram(const std::u16string& exe, std::u16string_view caption) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::u16string commandLine = u"\"" + exe + u"\"";
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.data()), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &si, &pi)) {
        Fail("the program did not start");
    }
    TScopedKernelHandle process(pi.hProcess);
    CloseHandle(pi.hThread);
    bool shown = false;
    for (DWORD end = GetTickCount() + 30000;
         !shown && static_cast<int>(end - GetTickCount()) > 0;) {
        for (HWND form : ProcessWindows(pi.dwProcessId, L"TLumForm")) {
            wchar_t title[256] = {};
            GetWindowTextW(form, title, 256);
            shown = shown || FromWinStr(title) == caption;
        }
        Sleep(1);
    }
    TerminateProcess(process.Get(), 0);
    WaitForSingleObject(process.Get(), 10000);
    if (!shown) {
        Fail("the main form did not show the translation");
    }
}

} // namespace

int main(int argc, char** argv) {
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 50;
    int starts = argc > 2 ? std::atoi(argv[2]) : 9;
    std::u16string built = BuildFolder() + u"\\app\\Ostrin.exe";
    std::u16string container = BuildFolder() + u"\\standin\\capicom1\\capicom.dll";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::u16string with = FromWinStr(temp) + u"LumTrxStartupBench-with";
    std::u16string without = FromWinStr(temp) + u"LumTrxStartupBench-without";
    CreateDirectoryW(WinStr(with), nullptr);
    CreateDirectoryW(WinStr(without), nullptr);
    CopyFileW(WinStr(built), WinStr(with + u"\\Ostrin.exe"), FALSE);
    CopyFileW(WinStr(built), WinStr(without + u"\\Ostrin.exe"), FALSE);
    MakeTestModule(container, built, with + u"\\Ostrin.DEU",
                   TTestModuleOptions().WithCaption(u"CAPICOM 2.0 einrichten"));
    ConfigureTranslation(LongPathName(with + u"\\Ostrin.exe"), u"DEU");
    ConfigureTranslation(LongPathName(without + u"\\Ostrin.exe"), u"DEU");
    LumTrxUtilsUnit.Start();

    double withModule = MedianMs(repetitions, [&] { StartWithModule(with + u"\\Ostrin.exe"); });
    double withoutModule =
        MedianMs(repetitions, [&] { StartWithoutModule(without + u"\\Ostrin.exe"); });
    double languages = MedianMs(repetitions, [] { TLumTrxLangs langs; });
    std::u16string exe = with + u"\\Ostrin.exe";
    std::u16string module = with + u"\\Ostrin.DEU";
    std::printf("  find the candidate:   %.3f ms\n",
                MedianMs(repetitions, [&] { FindResourceModuleFile(exe, false); }));
    std::printf("  find it loading it:   %.3f ms\n",
                MedianMs(repetitions, [&] { FindResourceModuleFile(exe); }));
    std::printf("  sound module:         %.3f ms\n",
                MedianMs(repetitions, [&] { IsSoundResourceModule(module); }));
    std::printf("  prepared module:      %.3f ms\n",
                MedianMs(repetitions, [&] { IsModulePrepared(module); }));
    std::printf("  identity of program:  %.3f ms\n",
                MedianMs(repetitions, [&] { ReadBuildIdentity(exe); }));
    std::printf("  identity of module:   %.3f ms\n",
                MedianMs(repetitions, [&] { ReadBuildIdentity(module); }));
    std::printf("module size: %lu bytes, program size: %lu bytes\n",
                static_cast<unsigned long>(ReadTestFile(with + u"\\Ostrin.DEU").size()),
                static_cast<unsigned long>(ReadTestFile(built).size()));
    std::printf("start-up with a prepared module of the same build: %.3f ms (median of %d)\n",
                withModule, repetitions);
    std::printf("start-up without a module:                         %.3f ms\n", withoutModule);
    std::printf("cost of the module:                                %.3f ms\n",
                withModule - withoutModule);
    std::printf("table of languages (every start):                  %.3f ms\n", languages);

    LumTrxUtilsUnit.Stop();

    // A module of another build, with the main form's caption translated: the same module
    // as above under another identity, copied into place before every start.
    constexpr char16_t kGerman[] = u"CAPICOM 2.0 einrichten";
    std::u16string old = with + u"\\Ostrin.DEU.old";
    CopyFileW(WinStr(module), WinStr(old), FALSE);
    SetModuleIdentity(old, u"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    auto putOldModule = [&] {
        if (!CopyFileW(WinStr(old), WinStr(module), FALSE)) {
            Fail("cannot put the old module in place");
        }
    };
    double rebuild;
    {
        TUnit* const units[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit,
                                &LumTrxUtilsUnit};
        TUnitSequence started(units);
        rebuild = MedianMs(
            repetitions, [&] { StartWithRebuild(exe); }, putOldModule);
    }
    std::printf("check and rebuild of a module of another build:    %.3f ms (median of %d)\n",
                rebuild, repetitions);
    // The start with a module of its own build, after one that made it so.
    putOldModule();
    StartProgram(exe, kGerman);
    double sameStart = MedianMs(starts, [&] { StartProgram(exe, kGerman); });
    double rebuildStart = MedianMs(
        starts, [&] { StartProgram(exe, kGerman); }, putOldModule);
    std::printf("Ostrin.exe until its main form shows (median of %d starts):\n", starts);
    std::printf("  module of the same build:                        %.1f ms\n", sameStart);
    std::printf("  module of another build, rebuilt:                %.1f ms\n", rebuildStart);

    ConfigureTranslation(LongPathName(with + u"\\Ostrin.exe"), std::nullopt);
    ConfigureTranslation(LongPathName(without + u"\\Ostrin.exe"), std::nullopt);
    return 0;
}
