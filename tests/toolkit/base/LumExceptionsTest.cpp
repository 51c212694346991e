#include "toolkit/base/LumExceptions.h"

#include <gtest/gtest.h>

TEST(Exceptions, OSErrorTexts) {
    EOSError zero = EOSError::FromCode(0, u"ignored");
    EXPECT_EQ(zero.Message(), u"A call to an OS function failed");
    EXPECT_EQ(zero.ErrorCode(), 0u);

    EOSError denied = EOSError::FromCode(5, u"Access is denied.");
    EXPECT_EQ(denied.Message(), u"System Error.  Code: 5.\r\nAccess is denied.");
    EXPECT_EQ(denied.ErrorCode(), 5u);
    EXPECT_STREQ(denied.ClassName(), "EOSError");
}

TEST(Exceptions, OleErrorTextsKeepTheCode) {
    auto code = static_cast<std::int32_t>(0x80004005);
    EOleSysError bare = EOleSysError::FromCode(code, u"");
    EXPECT_EQ(bare.Message(), u"OLE error 80004005");
    EXPECT_EQ(bare.ErrorCode(), code);
    EXPECT_STREQ(bare.ClassName(), "EOleSysError");
    EXPECT_EQ(EOleSysError::FromCode(code, u"Unspecified error").Message(), u"Unspecified error");
}

TEST(Exceptions, AssertionTexts) {
    EXPECT_NO_THROW(Assert(true, u"LumLX\\LumLXUtils", 10));
    try {
        Assert(false, u"LumTrx\\LumTrxUtils", 144);
        FAIL() << "no exception";
    } catch (const EAssertionFailed& error) {
        EXPECT_EQ(error.Message(), u"Assertion failure (LumTrx\\LumTrxUtils, line 144)");
        EXPECT_STREQ(error.ClassName(), "EAssertionFailed");
    }
    try {
        Assert(false, u"LumLX\\LumLXUtils", 7, u"List is empty");
        FAIL() << "no exception";
    } catch (const EAssertionFailed& error) {
        EXPECT_EQ(error.Message(), u"List is empty (LumLX\\LumLXUtils, line 7)");
    }
}

// A handler adds context to the message and raises the same object again: the class and
// the code survive.
TEST(Exceptions, RaisedAgainWithNewMessage) {
    try {
        try {
            throw EOleSysError::FromCode(static_cast<std::int32_t>(0x8000FFFF), u"Catastrophic");
        } catch (Exception& error) {
            error.SetMessage(error.Message() + u"\r\n\r\nmore");
            throw;
        }
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.Message(), u"Catastrophic\r\n\r\nmore");
        EXPECT_EQ(error.ErrorCode(), static_cast<std::int32_t>(0x8000FFFF));
        EXPECT_STREQ(error.what(), "Catastrophic\r\n\r\nmore");
    }
}

TEST(Exceptions, ClassNamesAndBases) {
    EXPECT_STREQ(EFCreateError(u"x").ClassName(), "EFCreateError");
    EXPECT_NE(
        dynamic_cast<const EStreamError*>(&static_cast<const Exception&>(EFCreateError(u"x"))),
        nullptr);
    EXPECT_STREQ(ELumInternalError(u"Internal Error: x").ClassName(), "ELumInternalError");
    EXPECT_STREQ(ELumGeneralError(u"x").ClassName(), "ELumGeneralError");
    EXPECT_STREQ(EResNotFound(u"x").ClassName(), "EResNotFound");
    EXPECT_STREQ(Exception(u"x").ClassName(), "Exception");
}

TEST(Exceptions, AbortIsSilentAbort) {
    try {
        Abort();
        FAIL() << "no exception";
    } catch (const EAbort& error) {
        EXPECT_EQ(error.Message(), u"Operation aborted");
        EXPECT_STREQ(error.ClassName(), "EAbort");
    }
}
