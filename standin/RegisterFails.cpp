// A library whose DllRegisterServer fails with the COM result STANDIN_REGISTER_RESULT: E_FAIL
// for a failure the system has a text for, or a customer-defined code it has none for.

#include "toolkit/base/LumWin.h"

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    return static_cast<HRESULT>(STANDIN_REGISTER_RESULT);
}
