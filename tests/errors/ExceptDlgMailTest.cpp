// The dialog's e-mail button with the recording simple-MAPI stand-in in place of the system
// folder's MAPI32.DLL (a prefix of its own, WINEDLLOVERRIDES=mapi32=n): the message it hands
// over, and the attachment it writes; and the files the dialog hands to other programs when
// the temporary folder's name is outside the ANSI code page.

#include "errors/ExceptDlg.h"

#include "errors/LumStackTraceWin.h"
#include "lib/LumLX/LumLXMapiUtils.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgExceptDlg.h"
#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumHandle.h"
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

// A text field of the stand-in's record.
std::string RecordedText(const std::string& record, const std::string& name) {
    size_t at = record.find("\n" + name + "#");
    if (at == std::string::npos) {
        return "(missing)";
    }
    size_t start = record.find('=', at) + 1;
    return record.substr(start, record.find('\n', start) - start);
}

// While it lives, the temporary folder is a new one whose name the ANSI code page (1252)
// cannot write.
class TUnicodeTempFolder {
  public:
    TUnicodeTempFolder() : folder_(SystemTempPath() + u"LumTemp\u0416\u03A9\\") {
        RemoveTree(folder_);
        EXPECT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH];
            DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
            saved_.push_back(length ? std::optional(FromWinStr(value, length)) : std::nullopt);
            SetEnvironmentVariableW(name, WinStr(folder_));
        }
    }
    ~TUnicodeTempFolder() {
        const wchar_t* names[] = {L"TMP", L"TEMP"};
        for (size_t i = 0; i < saved_.size(); ++i) {
            SetEnvironmentVariableW(names[i], saved_[i] ? WinStr(*saved_[i]) : nullptr);
        }
        RemoveTree(folder_);
    }
    TUnicodeTempFolder(const TUnicodeTempFolder&) = delete;
    TUnicodeTempFolder& operator=(const TUnicodeTempFolder&) = delete;

    const std::u16string& Folder() const { return folder_; }

  private:
    std::u16string folder_;
    std::vector<std::optional<std::u16string>> saved_;
};

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

    // Mails the report of an exception from a new dialog; answers the details.
    std::string MailReport() {
        ELumGeneralError error(u"Mailed from far away");
        auto* dialog = TLumCustomForm::Create<TLumDbgExceptionDialog>(Application());
        PrepareExceptionDialog(*dialog, error);
        dialog->BuildDetails();
        dialog->EmailBtnClick(dialog->EmailBtn);
        std::string details = WideToAnsi(dialog->DetailsMemo->Text());
        dialog->Free();
        return details;
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

// A client with only the ANSI entry gets the file's short path, and its name apart.
TEST_F(DialogMail, AnAttachmentInAUnicodeFolderReachesAnAnsiClient) {
    TUnicodeTempFolder temp;
    std::string details = MailReport();
    std::string record = FileBytes(record_);
    EXPECT_EQ(record.find("unicode="), std::string::npos);
    std::string path = RecordedText(record, "file0.path");
    EXPECT_EQ(RecordedText(record, "file0.name"), "Error Details.txt");
    EXPECT_EQ(AnsiToWide(WideToAnsi(AnsiToWide(path))), AnsiToWide(path)) << "an ANSI path";
    EXPECT_EQ(FileBytes(AnsiToWide(path)), details);
    wchar_t full[MAX_PATH];
    DWORD length = GetLongPathNameW(WinStr(AnsiToWide(path)), full, MAX_PATH);
    std::u16string longPath = FromWinStr(full, length);
    EXPECT_TRUE(longPath.starts_with(temp.Folder())) << WideToUtf8(longPath);
    EXPECT_TRUE(longPath.ends_with(u"\\Error Details.txt"));
}

// A client with the Unicode entry gets the path as it is.
TEST_F(DialogMail, AnAttachmentInAUnicodeFolderKeepsItsPathWithTheUnicodeEntry) {
    ASSERT_TRUE(CopyFileW(WinStr(StandinPath(u"mapiw\\mapi32.dll")),
                          WinStr(GetSystemDir() + u"\\mapi32.dll"), FALSE));
    TUnicodeTempFolder temp;
    std::string details = MailReport();
    std::string record = FileBytes(record_);
    EXPECT_EQ(record.substr(0, 10), "unicode=1\n");
    std::u16string path = Utf8ToWide(RecordedText(record, "file0.path"));
    EXPECT_TRUE(path.starts_with(temp.Folder())) << WideToUtf8(path);
    EXPECT_TRUE(path.ends_with(u"\\Error Details.txt"));
    EXPECT_EQ(FileBytes(path), details);
    EXPECT_NE(record.find("file0.name=null\n"), std::string::npos);
    EXPECT_EQ(RecordedText(record, "subject"), "MailTest Issue");
}

namespace {

// While it lives, text files open with a command that copies them to `copy`.
class TTextFileViewer {
  public:
    explicit TTextFileViewer(const std::u16string& copy) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L".txt", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        txt_.Reset(key);
        wchar_t value[256];
        DWORD size = sizeof value;
        if (RegQueryValueExW(txt_.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                             &size) == ERROR_SUCCESS) {
            previous_ = FromWinStr(value, size / sizeof(wchar_t));
            previous_.resize(previous_.find(u'\0') == std::u16string::npos ? previous_.size()
                                                                           : previous_.find(u'\0'));
        }
        SetDefault(txt_.Get(), u"LumTestViewer");
        HKEY command = nullptr;
        RegCreateKeyExW(HKEY_CLASSES_ROOT, L"LumTestViewer\\shell\\open\\command", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &command, nullptr);
        TScopedRegKey commandKey(command);
        SetDefault(commandKey.Get(),
                   u"C:\\windows\\system32\\cmd.exe /c copy \"%1\" \"" + copy + u"\"");
    }
    ~TTextFileViewer() {
        SetDefault(txt_.Get(), previous_);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"LumTestViewer");
    }
    TTextFileViewer(const TTextFileViewer&) = delete;
    TTextFileViewer& operator=(const TTextFileViewer&) = delete;

  private:
    static void SetDefault(HKEY key, const std::u16string& value) {
        EXPECT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(WinStr(value)),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    TScopedRegKey txt_;
    std::u16string previous_;
};

} // namespace

// Shift + double-click on the details: the text file, in a folder whose name the ANSI code
// page cannot write, is what the viewer opens.
TEST_F(DialogMail, TheDetailsOpenAsTextFromAUnicodeFolder) {
    std::u16string copy = SystemTempPath() + u"LumViewerCopy.txt";
    DeleteFileW(WinStr(copy));
    TTextFileViewer viewer(copy);
    std::string details;
    {
        TUnicodeTempFolder temp;
        ELumGeneralError error(u"Viewed from far away");
        auto* dialog = TLumCustomForm::Create<TLumDbgExceptionDialog>(Application());
        PrepareExceptionDialog(*dialog, error);
        dialog->BuildDetails();
        details = WideToAnsi(dialog->DetailsMemo->Text());
        keybd_event(VK_SHIFT, 0, 0, 0);
        dialog->DetailsMemoDblClick(dialog->DetailsMemo);
        keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
        dialog->Free();
        for (int i = 0; i < 300 && !IsFile(copy); ++i) {
            Sleep(50);
        }
    }
    ASSERT_TRUE(IsFile(copy)) << "the viewer was not given the file";
    Sleep(200); // the copy may still be written
    EXPECT_EQ(FileBytes(copy), details);
    DeleteFileW(WinStr(copy));
}
