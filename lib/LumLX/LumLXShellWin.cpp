// The general utilities' shell execution: opening files and programs through the shell.
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include <shellapi.h>

using namespace UtilsShared;

void ShellExec(HWND owner, const std::u16string& verb, const std::u16string& file, int showCommand,
               const std::u16string& directory, const std::u16string& parameters) {
    auto optional = [](const std::u16string& text) {
        return text.empty() ? nullptr : WinStr(text);
    };
    HINSTANCE result = ShellExecuteW(owner, optional(verb), WinStr(file), optional(parameters),
                                     optional(directory), showCommand);
    CheckShellExecuteResult(reinterpret_cast<INT_PTR>(result), verb, file);
}

void ShellOpen(const std::u16string& file, const std::u16string& parameters,
               const std::u16string& directory, int showCommand) {
    ShellExec(ApplicationWindow(), u"open", file, showCommand, directory, parameters);
}
