#pragma once
// Processor faults raised as exceptions (Win32).

#include "errors/LumSysFaults.h"

/// While started, faults in the executable's code are raised as exceptions. The exception of a
/// stack overflow is raised on a reserve stack, and the stack's guard page is set again when
/// a handler catches it, so that a later overflow is caught too. One thread at a time can be
/// overflowing; faults that cannot be raised (another thread overflowing, a stack pointer off
/// its stack) stay with the system.
extern TUnit LumSysFaultsUnit;
