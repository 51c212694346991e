// Interface references to COM objects: the counting and the dispatch query of IUnknown.
#include "toolkit/base/LumVariantsWin.h"

#include "toolkit/base/LumWin.h"

#include <oaidl.h>

namespace {

void ComAddRef(void* object) {
    static_cast<IUnknown*>(object)->AddRef();
}

void ComRelease(void* object) {
    static_cast<IUnknown*>(object)->Release();
}

// A failed query means the object has no dispatch interface; the caller reports that.
void* ComQueryDispatch(void* object) {
    void* dispatch = nullptr;
    if (FAILED(static_cast<IUnknown*>(object)->QueryInterface(__uuidof(IDispatch), &dispatch))) {
        return nullptr;
    }
    return dispatch;
}

constexpr TInterfaceOps kComOps{ComAddRef, ComRelease, ComQueryDispatch};

} // namespace

TLumInterface ComInterface(IUnknown* object) {
    return TLumInterface(object, &kComOps);
}
