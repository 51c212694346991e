// The dialog's e-mail button with the recording simple-MAPI stand-in in place of the system
// folder's MAPI32.DLL (a prefix of its own, WINEDLLOVERRIDES=mapi32=n): the message it hands
// over, and the attachment it writes.

#include "errors/ExceptDlg.h"

#include "errors/LumStackTraceWin.h"
#include "lib/LumLX/LumLXMapiUtils.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgExceptDlg.h"
#include "tests/standin/LumStandins.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumTimer.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit,     &LumLXUtilsUnit,     &LumFormsUnit,
                         &LumBasicControlsUnit, &LumTimerUnit,       &LumStackTraceUnit,
                         &ExceptDlgUnit,        &LumDbgExceptDlgUnit};

std::string FileBytes(const std::u16string& path) {
    TLumMemoryStream stream;
    stream.LoadFromFile(path);
    return stream.Bytes();
}

// The stand-in records "name#length=text" for texts and "name=value" for the rest.
std::string Field(const std::string& record, const std::string& text) {
    return record.find(text) != std::string::npos ? text : "(missing) " + text;
}

std::string TextField(const std::string& name, const std::string& value) {
    return name + "#" + std::to_string(value.size()) + "=" + value + "\n";
}

class DialogMail : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        units_.emplace(kUnits);
        Application()->SetTitle(u"MailTest");
    }
    static void TearDownTestSuite() {
        units_->Stop();
        units_.reset();
    }
    void SetUp() override {
        record_ = TempPath() + u"LumDialogMail.txt";
        SetEnvironmentVariableW(L"LUM_MAPI_RECORD", WinStr(record_));
        ASSERT_TRUE(CopyFileW(WinStr(StandinPath(u"mapi\\mapi32.dll")),
                              WinStr(GetSystemDir() + u"\\mapi32.dll"), FALSE));
        SupportEmailAddress = u"support@lum-software.example";
    }
    void TearDown() override {
        DeleteFileW(WinStr(record_));
        SetEnvironmentVariableW(L"LUM_MAPI_RESULT", nullptr);
    }

    std::u16string record_;
    static std::optional<TUnitSequence> units_;
};

std::optional<TUnitSequence> DialogMail::units_;

} // namespace

TEST_F(DialogMail, SendsTheQuestionnaireWithTheDetailsAttached) {
    try {
        throw ELumGeneralError(u"Nothing works");
    } catch (Exception& error) {
        auto* dialog = TLumCustomForm::Create<TLumDbgExceptionDialog>(Application());
        PrepareExceptionDialog(*dialog, error);
        dialog->ExceptionMessage = error.Message();
        dialog->BuildDetails();
        dialog->EmailBtnClick(dialog->EmailBtn);
        std::string details = WideToAnsi(dialog->DetailsMemo->Text());
        dialog->Free();

        std::string record = FileBytes(record_);
        EXPECT_EQ(Field(record, TextField("subject", "MailTest Issue")),
                  TextField("subject", "MailTest Issue"));
        std::string body = WideToAnsi(ErrorReportMailBody(u"Nothing works"));
        EXPECT_EQ(Field(record, TextField("note", body)), TextField("note", body));
        EXPECT_EQ(Field(record, "recipients=1\n"), "recipients=1\n");
        std::string address = TextField("recipient0.address", "SMTP:support@lum-software.example");
        EXPECT_EQ(Field(record, address), address);
        std::string name = TextField("recipient0.name", "MailTest Support");
        EXPECT_EQ(Field(record, name), name);
        EXPECT_EQ(Field(record, "files=1\n"), "files=1\n");
        EXPECT_EQ(Field(record, "file0.position=4294967295\n"), "file0.position=4294967295\n");
        // The attachment: the details as ANSI text in a new folder, as "Error Details.txt".
        size_t path = record.find("file0.path#");
        ASSERT_NE(path, std::string::npos);
        size_t start = record.find('=', path) + 1;
        std::string attachment = record.substr(start, record.find('\n', start) - start);
        EXPECT_EQ(attachment.substr(attachment.size() - 18), "\\Error Details.txt");
        EXPECT_EQ(FileBytes(AnsiToWide(attachment)), details);
    }
}

TEST_F(DialogMail, CancelIsSilentAndFailuresRaiseTheirText) {
    ELumGeneralError error(u"Mail it");
    auto* dialog = TLumCustomForm::Create<TLumDbgExceptionDialog>(Application());
    PrepareExceptionDialog(*dialog, error);
    SetEnvironmentVariableW(L"LUM_MAPI_RESULT", L"1");
    EXPECT_THROW(dialog->EmailBtnClick(dialog->EmailBtn), EAbort);
    SetEnvironmentVariableW(L"LUM_MAPI_RESULT", L"2");
    try {
        dialog->EmailBtnClick(dialog->EmailBtn);
        ADD_FAILURE() << "no exception";
    } catch (const ELumGeneralError& failure) {
        EXPECT_EQ(failure.Message(),
                  u"One or more unspecified errors occurred. No message was sent.");
    }
    dialog->Free();
}
