#pragma once
// Between the raise hooks of the win32 build: the throw hook (LumStackTraceWin.cpp) and the
// fault raiser (LumSysFaultsWin.cpp).

#include <cstdint>

/// The hooks' own code lies in one section, between two markers, so that frames inside it
/// can be told apart (the linker sorts ".text$" sections by name).
#define LUM_RAISE_HOOK_CODE __attribute__((section(".text$lumhook1"), noinline))

/// Where a fault that is being raised as an exception happened.
struct TFaultOrigin {
    std::uint32_t Address;
    std::uint32_t StackPointer;
    std::uint32_t FramePointer;
};

/// Tells the throw hook that this thread's next throw raises a fault.
void SetFaultBeingRaised(const TFaultOrigin& origin);

/// The calling thread's stack as its thread information block gives it: the lowest committed
/// address and the top (exclusive). Read directly, since the header's NtCurrentTeb trips a
/// false -Warray-bounds of GCC 12.
struct TStackBounds {
    std::uint32_t Low;
    std::uint32_t High;
};

inline TStackBounds ThreadStackBounds() {
    TStackBounds bounds;
    asm("movl %%fs:8, %0" : "=r"(bounds.Low));
    asm("movl %%fs:4, %0" : "=r"(bounds.High));
    return bounds;
}
