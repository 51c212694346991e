#pragma once
// The boundary between Win32 results and the runtime's exceptions. Every failed system call
// becomes an exception here and nowhere else.

#include <cstdint>
#include <string>

/// The system's text for an error code or COM result, without the trailing line break;
/// empty when the system has none.
std::u16string SysErrorMessage(std::uint32_t errorCode);

/// Raises EOSError for the code ("A call to an OS function failed" for 0).
[[noreturn]] void RaiseOSError(std::uint32_t errorCode);

/// Raises EOSError for GetLastError().
[[noreturn]] void RaiseLastOSError();

/// Raises EOSError for GetLastError() unless the call succeeded.
inline void Win32Check(bool succeeded) {
    if (!succeeded) {
        RaiseLastOSError();
    }
}

/// Raises EOleSysError for a failing (negative) COM result; returns a success code unchanged.
std::int32_t OleCheck(std::int32_t result);
