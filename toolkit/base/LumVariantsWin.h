#pragma once
// Variants holding COM objects (Win32).

#include "toolkit/base/LumVariants.h"

struct IUnknown;

/// A reference to a COM object (any interface derived from IUnknown, IDispatch included):
/// AddRef and Release, and QueryInterface for IDispatch.
TLumInterface ComInterface(IUnknown* object);
