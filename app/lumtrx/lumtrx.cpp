// lumtrx.exe, the translator's tool (README, "Translator's tool").

#include "app/lumtrx/LumTrxConsole.h"
#include "app/lumtrx/LumTrxTool.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

#include <vector>

namespace {

// What the table and the flash message need, in the order the program starts them.
TUnit* const kUnits[] = {&LumResModuleUnit, &LumLXUtilsUnit, &LumFormsUnit, &LumTrxUtilsUnit};

} // namespace

int wmain(int argc, wchar_t** argv) {
    LockDownLibrarySearch();
    TConsoleOutput output;
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(FromWinStr(argv[i]));
    }
    try {
        TUnitSequence units(kUnits);
        int code = RunLumTrx(args, output);
        units.Stop();
        return code;
    } catch (const Exception& error) {
        output.Err(AsciiToWide(error.ClassName()) + u": " + error.Message());
    } catch (const std::exception& error) {
        output.Err(u"std::exception: " + Utf8ToWide(error.what()));
    }
    return teFailed;
}
