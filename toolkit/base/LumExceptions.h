#pragma once
// The runtime's exception classes. Every failure of the system is one of these; each carries a
// message and reports the class name that error reports print.

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

class Exception : public std::exception {
  public:
    explicit Exception(std::u16string message);
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    ~Exception() override;

    const std::u16string& Message() const { return message_; }
    /// Replaces the message, for handlers that add context and raise the same object again.
    void SetMessage(std::u16string message);

    /// The class name reports print, e.g. "EOSError".
    virtual const char* ClassName() const { return "Exception"; }

    /// The message as UTF-8, for code that only knows std::exception.
    const char* what() const noexcept override { return what_.c_str(); }

  private:
    std::u16string message_;
    std::string what_;
};

// A class that adds nothing but its name to its base.
#define LUM_EXCEPTION_CLASS(Name, Base)                                                            \
    class Name : public Base {                                                                     \
      public:                                                                                      \
        using Base::Base;                                                                          \
        const char* ClassName() const override { return #Name; }                                   \
    }

/// The silent abort: unwinds like any exception but is never shown to the user.
LUM_EXCEPTION_CLASS(EAbort, Exception);

/// Raises the silent abort with the runtime's text "Operation aborted".
[[noreturn]] void Abort();

LUM_EXCEPTION_CLASS(EConvertError, Exception);
LUM_EXCEPTION_CLASS(EListError, Exception);
LUM_EXCEPTION_CLASS(EStringListError, Exception);
LUM_EXCEPTION_CLASS(EStreamError, Exception);
LUM_EXCEPTION_CLASS(EFileStreamError, EStreamError);
LUM_EXCEPTION_CLASS(EFCreateError, EFileStreamError);
LUM_EXCEPTION_CLASS(EFOpenError, EFileStreamError);
LUM_EXCEPTION_CLASS(EReadError, EStreamError);
LUM_EXCEPTION_CLASS(EWriteError, EStreamError);
LUM_EXCEPTION_CLASS(EResNotFound, Exception);
LUM_EXCEPTION_CLASS(ERegistryException, Exception);
LUM_EXCEPTION_CLASS(EDatabaseError, Exception);
LUM_EXCEPTION_CLASS(EInvalidOperation, Exception);
LUM_EXCEPTION_CLASS(EParserError, Exception);
LUM_EXCEPTION_CLASS(EVariantError, Exception);
LUM_EXCEPTION_CLASS(EComponentError, Exception);
LUM_EXCEPTION_CLASS(EOleError, Exception);

/// A processor fault raised as an exception: its exception code and the faulting instruction.
class EExternal : public Exception {
  public:
    EExternal(std::u16string message, std::uint32_t exceptionCode, std::uint32_t exceptionAddress)
        : Exception(std::move(message)), exceptionCode_(exceptionCode),
          exceptionAddress_(exceptionAddress) {}

    std::uint32_t ExceptionCode() const { return exceptionCode_; }
    std::uint32_t ExceptionAddress() const { return exceptionAddress_; }
    const char* ClassName() const override { return "EExternal"; }

  private:
    std::uint32_t exceptionCode_;
    std::uint32_t exceptionAddress_;
};

LUM_EXCEPTION_CLASS(EAccessViolation, EExternal);
LUM_EXCEPTION_CLASS(EDivByZero, EExternal);
LUM_EXCEPTION_CLASS(EIntOverflow, EExternal);
LUM_EXCEPTION_CLASS(EStackOverflow, EExternal);
LUM_EXCEPTION_CLASS(EPrivilege, EExternal);
/// A fault without a class of its own (an illegal instruction).
LUM_EXCEPTION_CLASS(EExternalException, EExternal);

/// The library's error for misuse and environment failures.
LUM_EXCEPTION_CLASS(ELumGeneralError, Exception);
/// The library's error for broken internal assumptions; its texts begin "Internal Error: ".
LUM_EXCEPTION_CLASS(ELumInternalError, Exception);

/// A failed operating-system call, carrying the last error code.
class EOSError : public Exception {
  public:
    EOSError(std::u16string message, std::uint32_t errorCode);

    /// "System Error.  Code: %d.\r\n%s" with the code and the system's text for it, or
    /// "A call to an OS function failed" when the code is 0.
    static EOSError FromCode(std::uint32_t errorCode, std::u16string_view systemText);

    std::uint32_t ErrorCode() const { return errorCode_; }
    const char* ClassName() const override { return "EOSError"; }

  private:
    std::uint32_t errorCode_;
};

/// A failing COM result code.
class EOleSysError : public EOleError {
  public:
    EOleSysError(std::u16string message, std::int32_t errorCode);

    /// The system's text for the code, or "OLE error %.8x" when the system has none.
    static EOleSysError FromCode(std::int32_t errorCode, std::u16string_view systemText);

    std::int32_t ErrorCode() const { return errorCode_; }
    const char* ClassName() const override { return "EOleSysError"; }

  private:
    std::int32_t errorCode_;
};

/// A programming assertion that did not hold: "%s (%s, line %d)".
class EAssertionFailed : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const override { return "EAssertionFailed"; }
};

/// Raises EAssertionFailed unless the condition holds. The text defaults to
/// "Assertion failure"; source names the module, e.g. "LumLX\LumLXUtils".
void Assert(bool condition, std::u16string_view source, int line, std::u16string_view text = {});
