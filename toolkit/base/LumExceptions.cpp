#include "toolkit/base/LumExceptions.h"

#include "rstr/LumSysConst.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"

Exception::Exception(std::u16string message)
    : message_(std::move(message)), what_(WideToUtf8(message_)) {}

Exception::~Exception() = default;

void Exception::SetMessage(std::u16string message) {
    message_ = std::move(message);
    what_ = WideToUtf8(message_);
}

void Abort() {
    throw EAbort(LoadResString(LumSysConst::SOperationAborted));
}

EOSError::EOSError(std::u16string message, std::uint32_t errorCode)
    : Exception(std::move(message)), errorCode_(errorCode) {}

EOSError EOSError::FromCode(std::uint32_t errorCode, std::u16string_view systemText) {
    if (errorCode == 0) {
        return EOSError(LoadResString(LumSysConst::SUnkOSError), 0);
    }
    return EOSError(Format(LoadResString(LumSysConst::SOSError), errorCode, systemText), errorCode);
}

EOleSysError::EOleSysError(std::u16string message, std::int32_t errorCode)
    : EOleError(std::move(message)), errorCode_(errorCode) {}

EOleSysError EOleSysError::FromCode(std::int32_t errorCode, std::u16string_view systemText) {
    if (systemText.empty()) {
        return EOleSysError(Format(LoadResString(LumSysConst::SOleError), errorCode), errorCode);
    }
    return EOleSysError(std::u16string(systemText), errorCode);
}

void Assert(bool condition, std::u16string_view source, int line, std::u16string_view text) {
    if (condition) {
        return;
    }
    std::u16string what =
        text.empty() ? LoadResString(LumSysConst::SAssertionFailed) : std::u16string(text);
    throw EAssertionFailed(Format(LoadResString(LumSysConst::SAssertError), what, source, line));
}
