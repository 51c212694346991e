// A library whose DllRegisterServer succeeds only when the calling thread has COM in a
// single-threaded apartment, as OleInitialize leaves it, and fails with CO_E_NOTINITIALIZED
// otherwise: many real servers create objects or load type libraries while they register.

#include "toolkit/base/LumWin.h"

#include <objbase.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    // Joining the multi-threaded apartment is refused exactly when the thread is in a
    // single-threaded one already.
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (result == RPC_E_CHANGED_MODE) {
        return S_OK;
    }
    if (SUCCEEDED(result)) {
        CoUninitialize();
    }
    return CO_E_NOTINITIALIZED;
}
