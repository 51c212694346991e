#include "toolkit/base/LumOSErrors.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

#include <gtest/gtest.h>

TEST(OSErrors, LastErrorBecomesEOSErrorWithTheSystemText) {
    HANDLE file = CreateFileW(L"C:\\no such folder\\no such file.txt", GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(file, INVALID_HANDLE_VALUE);
    DWORD code = GetLastError();
    try {
        Win32Check(file != INVALID_HANDLE_VALUE);
        FAIL() << "no exception";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), code);
        std::u16string text = SysErrorMessage(code);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.back(), u'\n');
        EXPECT_EQ(error.Message(),
                  u"System Error.  Code: " + AsciiToWide(std::to_string(code)) + u".\r\n" + text);
    }
}

TEST(OSErrors, CodeZeroIsTheGenericText) {
    SetLastError(0);
    try {
        RaiseLastOSError();
        FAIL() << "no exception";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.Message(), u"A call to an OS function failed");
    }
}

TEST(OSErrors, OleCheckRaisesOnFailureCodesOnly) {
    EXPECT_EQ(OleCheck(S_OK), S_OK);
    EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
    try {
        OleCheck(E_FAIL);
        FAIL() << "no exception";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode(), E_FAIL);
        EXPECT_EQ(error.Message(), SysErrorMessage(static_cast<std::uint32_t>(E_FAIL)));
        EXPECT_FALSE(error.Message().empty());
    }
    // A code the system has no text for.
    auto unknown = static_cast<std::int32_t>(0xA0041234);
    ASSERT_TRUE(SysErrorMessage(static_cast<std::uint32_t>(unknown)).empty());
    try {
        OleCheck(unknown);
        FAIL() << "no exception";
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.Message(), u"OLE error A0041234");
    }
}
