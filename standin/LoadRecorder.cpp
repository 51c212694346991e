// A library that records every start: its initialisation appends the library's full path and a
// line break (UTF-8) to the file named by the environment variable LUM_LOAD_RECORD. Planted
// under the names of system components beside a program or in its current folder, it tells a
// test whether the library search of that program ever ran a planted copy. It exports nothing,
// imports only the kernel and the C runtime, and never fails its start.

#include "toolkit/base/LumWin.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t record[MAX_PATH];
    DWORD recordLength = GetEnvironmentVariableW(L"LUM_LOAD_RECORD", record, MAX_PATH);
    if (recordLength == 0 || recordLength >= MAX_PATH) {
        return TRUE;
    }
    wchar_t path[1024];
    DWORD length = GetModuleFileNameW(module, path, 1024);
    if (length == 0 || length >= 1024) {
        length = 0;
    }
    char line[4096];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), line,
                                    sizeof line - 1, nullptr, nullptr);
    line[bytes++] = '\n';
    HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(bytes), &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
