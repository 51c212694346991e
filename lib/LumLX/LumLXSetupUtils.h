#pragma once
// Setup steps: registering a COM server library.

#include <string>

/// Loads the library by its full path, calls its DllRegisterServer with COM and OLE initialised
/// on the calling thread, and frees it again. A library that cannot be loaded or lacks the
/// entry point raises EOSError; a failing result raises EOleSysError with the code. A failure
/// of the call itself gets two line breaks and "Error occurred while registering <path>."
/// appended to its message.
void RegisterDll(const std::u16string& path);
