#include "toolkit/base/LumOSErrors.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumWin.h"

std::u16string SysErrorMessage(std::uint32_t errorCode) {
    wchar_t* buffer = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       nullptr, errorCode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::u16string text = length ? FromWinStr(buffer, length) : std::u16string();
    if (buffer) {
        LocalFree(buffer);
    }
    // The system ends its texts with a line break (and sometimes a full stop after it).
    while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ')) {
        text.pop_back();
    }
    return text;
}

void RaiseOSError(std::uint32_t errorCode) {
    throw EOSError::FromCode(errorCode, SysErrorMessage(errorCode));
}

void RaiseLastOSError() {
    RaiseOSError(GetLastError());
}

std::int32_t OleCheck(std::int32_t result) {
    if (result < 0) {
        throw EOleSysError::FromCode(result, SysErrorMessage(static_cast<std::uint32_t>(result)));
    }
    return result;
}
