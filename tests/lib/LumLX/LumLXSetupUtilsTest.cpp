// The setup's file and registration steps, with their failures as the user sees them.

#include "lib/LumLX/LumLXSetupUtils.h"

#include "lib/LumLX/LumLXUtils.h"
#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>

namespace {

std::u16string Decimal(std::uint32_t value) {
    return AsciiToWide(std::to_string(value));
}

class SetupSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = SystemTempPath() + u"LumSetupSteps";
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        target_ = folder_ + u"\\capicom.dll";
    }
    void TearDown() override { RemoveTree(folder_); }
    void WriteTarget(const char* text) { WriteTestFile(target_, text); }

    std::u16string folder_;
    std::u16string target_;
};

std::u16string RegistrationLine(const std::u16string& path) {
    return u"\r\n\r\nError occurred while registering " + path + u".";
}

} // namespace

TEST_F(SetupSteps, DeletingTouchesOnlyFiles) {
    // Nothing there: nothing happens.
    EXPECT_NO_THROW(DeleteExistingFile(target_));

    // A folder of that name is left alone.
    ASSERT_TRUE(CreateDirectoryW(WinStr(target_), nullptr));
    EXPECT_NO_THROW(DeleteExistingFile(target_));
    EXPECT_NE(GetFileAttributesW(WinStr(target_)), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryW(WinStr(target_));

    // A read-only file: the first deletion fails, the attribute goes, the second succeeds.
    WriteTarget("old");
    ASSERT_TRUE(SetFileAttributesW(WinStr(target_), FILE_ATTRIBUTE_READONLY));
    DeleteExistingFile(target_);
    EXPECT_FALSE(FileExists(target_));
}

TEST_F(SetupSteps, FileHeldOpenFailsWithTheSystemsError) {
    WriteTarget("in use");
    TScopedFile holder(CreateFileW(WinStr(target_), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    try {
        DeleteExistingFile(target_);
        FAIL() << "no exception";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(error.Message(),
                  u"System Error.  Code: 32.\r\n" + SysErrorMessage(ERROR_SHARING_VIOLATION));
    }
    EXPECT_TRUE(FileExists(target_));
}

TEST_F(SetupSteps, ClearReadOnlyTakesFilesAndFolders) {
    EXPECT_NO_THROW(ClearReadOnly(target_)); // neither file nor folder
    ASSERT_TRUE(CreateDirectoryW(WinStr(target_), nullptr));
    ASSERT_TRUE(SetFileAttributesW(WinStr(target_), FILE_ATTRIBUTE_READONLY));
    ClearReadOnly(target_);
    EXPECT_EQ(GetFileAttributesW(WinStr(target_)) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(SetupSteps, RegistrationFailuresAndTheirTexts) {
    struct Case {
        const char16_t* standin;
        std::u16string expected; // without the registration line
        bool registrationLine;
    };
    const Case cases[] = {
        {u"regfail.dll", SysErrorMessage(static_cast<std::uint32_t>(E_FAIL)), true},
        {u"regunknown.dll", u"OLE error A0041234", true},
        {u"noregister.dll",
         u"System Error.  Code: " + Decimal(ERROR_PROC_NOT_FOUND) + u".\r\n" +
             SysErrorMessage(ERROR_PROC_NOT_FOUND),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.standin));
        std::u16string path = StandinPath(c.standin);
        try {
            RegisterDll(path);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& error) {
            std::u16string expected =
                c.expected + (c.registrationLine ? RegistrationLine(path) : u"");
            EXPECT_EQ(error.Message(), expected);
            EXPECT_STREQ(error.ClassName(), c.registrationLine ? "EOleSysError" : "EOSError");
        }
    }
    // The failing code stays with the exception.
    try {
        RegisterDll(StandinPath(u"regfail.dll"));
    } catch (const EOleSysError& error) {
        EXPECT_EQ(error.ErrorCode(), E_FAIL);
    }
}

TEST_F(SetupSteps, FilesThatAreNoLibraryFailToLoad) {
    WriteTarget("This is not a library.");
    try {
        RegisterDll(target_);
        FAIL() << "no exception";
    } catch (const EOSError& error) {
        EXPECT_NE(error.ErrorCode(), 0u);
        EXPECT_EQ(error.Message().find(u"Error occurred while registering"), std::u16string::npos);
    }
    DeleteFileW(WinStr(target_));
    EXPECT_THROW(RegisterDll(target_), EOSError);
}

TEST_F(SetupSteps, RegistersAServerUnderItsOwnPath) {
    THiddenProgID progId(u"CAPICOM.EncryptedData");
    THiddenProgID versioned(u"CAPICOM.EncryptedData.1");
    ASSERT_TRUE(CopyFileW(WinStr(StandinPath(u"capicom.dll")), WinStr(target_), FALSE));
    RegisterDll(target_);
    EXPECT_TRUE(SameAsciiText(GetProgIDServerPath(u"CAPICOM.EncryptedData"), target_));
    EXPECT_EQ(GetProgIDVersion(u"CAPICOM.EncryptedData"), MakeVersion(2, 0, 0, 3));
    {
        TScopedLibrary library(LoadLibraryW(WinStr(target_)));
        auto unregister =
            ProcAddress<HRESULT(STDAPICALLTYPE*)()>(library.Get(), "DllUnregisterServer");
        ASSERT_NE(unregister, nullptr);
        unregister();
    }
    // Unloaded again: the file can be deleted.
    EXPECT_TRUE(DeleteFileW(WinStr(target_)));
}
