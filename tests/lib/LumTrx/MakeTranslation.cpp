// Makes a translation module beside a program the way the tests make theirs: all of the
// program's resources and its name map in a copy of a stand-in library, with the main form's
// caption changed. Usage: MakeTranslation.exe EXT CAPTION [PROGRAM]; the program is the built
// Ostrin.exe unless given (DEU "CAPICOM 2.0 einrichten" makes app\Ostrin.DEU). For trying
// translations with scripts/run.sh.

#include "tests/lib/LumTrx/LumTrxTestModules.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumResModule.h"

#include <cstdio>
#include <exception>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: MakeTranslation.exe EXT CAPTION [PROGRAM]\n");
        return 2;
    }
    std::u16string build = TestBuildFolder();
    std::u16string program = argc == 4 ? FromWinStr(argv[3]) : build + u"\\app\\Ostrin.exe";
    std::u16string module = ResourceModuleFileName(program, FromWinStr(argv[1]));
    try {
        MakeTestModule(build + u"\\standin\\capicom1\\capicom.dll", program, module,
                       TTestModuleOptions().WithCaption(FromWinStr(argv[2])));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%s\n", WideToUtf8(module).c_str());
    return 0;
}
