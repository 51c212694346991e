// A library with nothing but its version resource, standing in for a system component that
// is only located and read, never run. When its initialisation does run, it appends its file
// name and ";" to the environment variable LUM_STANDIN_STARTED, so that a test can tell
// whether a probe ran it.

#include "toolkit/base/LumWin.h"

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t path[1024];
    DWORD length = GetModuleFileNameW(module, path, 1024);
    std::wstring name(path, length < 1024 ? length : 0);
    name.erase(0, name.find_last_of(L'\\') + 1);
    wchar_t started[4096];
    DWORD size = GetEnvironmentVariableW(L"LUM_STANDIN_STARTED", started, 4096);
    std::wstring value(started, size < 4096 ? size : 0);
    SetEnvironmentVariableW(L"LUM_STANDIN_STARTED", (value + name + L";").c_str());
    return TRUE;
}
