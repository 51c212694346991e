// Sending through Simple MAPI with the recording stand-in in place of the system folder's
// MAPI32.DLL. Runs in a Wine prefix of its own, whose system folder the tests change, with
// WINEDLLOVERRIDES=mapi32=n so that Wine loads the file there instead of its own library.

#include "lib/LumLX/LumLXMapiUtils.h"

#include "lib/LumLX/LumLXUtils.h"
#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestChecks.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit};

// The stand-in's record: numbers and markers as written, texts in double quotes.
using TRecord = std::map<std::string, std::string>;

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

TRecord ReadRecord(const std::u16string& path) {
    TScopedFile file(CreateFileW(WinStr(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {};
    }
    std::string bytes(GetFileSize(file.Get(), nullptr), '\0');
    DWORD read = 0;
    EXPECT_TRUE(
        ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
    TRecord record;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t mark = bytes.find_first_of("=#", pos);
        size_t equals = bytes.find('=', pos);
        if (mark == std::string::npos || equals == std::string::npos) {
            ADD_FAILURE() << "malformed record at " << pos;
            break;
        }
        std::string name = bytes.substr(pos, mark - pos);
        size_t end;
        if (bytes[mark] == '#') {
            size_t length = std::stoul(bytes.substr(mark + 1, equals - mark - 1));
            record[name] = Quoted(bytes.substr(equals + 1, length));
            end = equals + 1 + length;
        } else {
            end = bytes.find('\n', equals);
            record[name] = bytes.substr(equals + 1, end - equals - 1);
        }
        if (end >= bytes.size() || bytes[end] != '\n') {
            ADD_FAILURE() << "unterminated field " << name;
            break;
        }
        pos = end + 1;
    }
    return record;
}

// The fields of a message with the given subject and note and nothing else, as the library
// receives it from a send with the compose window.
TRecord BareMessage(std::string_view subject, std::string_view note) {
    return {
        {"session", "0"},
        {"parent", std::to_string(reinterpret_cast<std::uintptr_t>(Application()->Handle()))},
        {"flags", "9"},
        {"reserved", "0"},
        {"message", "set"},
        {"message.reserved", "0"},
        {"subject", Quoted(subject)},
        {"note", Quoted(note)},
        {"type", "null"},
        {"date", "null"},
        {"conversation", "null"},
        {"message.flags", "0"},
        {"originator", "null"},
        {"recipients", "0"},
        {"recipients.array", "null"},
        {"files", "0"},
        {"files.array", "null"},
    };
}

void AddParty(TRecord& record, const std::string& party, const char* recipClass,
              std::string_view name, std::string_view address) {
    record[party + ".reserved"] = "0";
    record[party + ".class"] = recipClass;
    record[party + ".name"] = Quoted(name);
    record[party + ".address"] = Quoted(address);
    record[party + ".eidsize"] = "0";
    record[party + ".eid"] = "null";
}

class MapiSend : public TUnitsTest<kUnits> {
  protected:
    void SetUp() override {
        DeleteFileW(WinStr(recordPath_));
        ASSERT_TRUE(SetEnvironmentVariableW(L"LUM_MAPI_RECORD", WinStr(recordPath_)));
        ASSERT_TRUE(SetEnvironmentVariableW(L"LUM_MAPI_RESULT", nullptr) ||
                    GetLastError() == ERROR_ENVVAR_NOT_FOUND);
        Install(StandinPath(u"mapi\\mapi32.dll"));
    }
    void TearDown() override {
        // Whatever the send did, the library is not left behind in the process.
        EXPECT_EQ(GetModuleHandleW(WinStr(MapiPath())), nullptr);
        DeleteFileW(WinStr(recordPath_));
        SetEnvironmentVariableW(L"LUM_MAPI_RESULT", nullptr);
    }

    static std::u16string MapiPath() { return GetSystemDir() + u"\\mapi32.dll"; }

    static void Install(const std::u16string& library) {
        ASSERT_TRUE(CopyFileW(WinStr(library), WinStr(MapiPath()), FALSE));
    }
    static void Uninstall() {
        ASSERT_TRUE(DeleteFileW(WinStr(MapiPath())) || GetLastError() == ERROR_FILE_NOT_FOUND);
    }
    static void SetResult(const wchar_t* code) {
        ASSERT_TRUE(SetEnvironmentVariableW(L"LUM_MAPI_RESULT", code));
    }

    TRecord Record() const { return ReadRecord(recordPath_); }
    bool Recorded() const { return FileExists(recordPath_); }

    const std::u16string recordPath_ = SystemTempPath() + u"LumMapiRecord.txt";
};

// Sends a short error report through MAPISendMail.
void SendSmallReport() {
    SendMailViaMapi(ErrorReportMail(u"Ostrin", u"x", u"", u"support@example.com"));
}

} // namespace

TEST_F(MapiSend, ReportMailArrivesExactly) {
    TMapiMail mail =
        ErrorReportMail(u"Ostrin", u"Registration failed.",
                        u"C:\\users\\lum\\Temp\\LumA1\\Error Details.txt", u"support@example.com");
    SendMailViaMapi(mail);

    TRecord expected = BareMessage("Ostrin Issue", mail.Body);
    expected["recipients"] = "1";
    expected["recipients.array"] = "set";
    AddParty(expected, "recipient0", "1", "Ostrin Support", "SMTP:support@example.com");
    expected["files"] = "1";
    expected["files.array"] = "set";
    expected["file0.reserved"] = "0";
    expected["file0.flags"] = "0";
    expected["file0.position"] = "4294967295";
    expected["file0.path"] = Quoted("C:\\users\\lum\\Temp\\LumA1\\Error Details.txt");
    expected["file0.name"] = "null";
    expected["file0.type"] = "null";
    EXPECT_EQ(Record(), expected);
    EXPECT_TRUE(mail.Body.starts_with("Error message:\r\n  Registration failed.\r\n\r\n>> 1."));
    EXPECT_TRUE(IsWindow(Application()->Handle()));
}

TEST_F(MapiSend, Originator) {
    struct Case {
        const char* Name;
        const char* Address;
        const char* ShownName; // nullptr: no originator
    };
    const Case cases[] = {
        {"", "", nullptr},
        {"Lum Support", "", nullptr},
        {"", "me@example.com", "me@example.com"},
        {"Lum Support", "me@example.com", "Lum Support"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + "/" + c.Address);
        TMapiMail mail;
        mail.Subject = "Report";
        mail.Body = "Text";
        mail.SenderName = c.Name;
        mail.SenderAddress = c.Address;
        mail.WithoutDialog = true;
        SendMailViaMapi(mail);

        TRecord expected = BareMessage("Report", "Text");
        expected["flags"] = "0";
        if (c.ShownName) {
            expected["originator"] = "set";
            AddParty(expected, "originator", "0", c.ShownName, std::string("SMTP:") + c.Address);
        }
        EXPECT_EQ(Record(), expected);
    }
}

TEST_F(MapiSend, Recipient) {
    struct Case {
        const char* Name;
        const char* Address;
        const char* ShownName; // nullptr: no recipient
    };
    const Case cases[] = {
        {"", "", nullptr},
        // A name without an address is no recipient.
        {"Ostrin Support", "", nullptr},
        {"", "help@example.com", "help@example.com"},
        {"Ostrin Support", "help@example.com", "Ostrin Support"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + "/" + c.Address);
        TMapiMail mail;
        mail.RecipientName = c.Name;
        mail.RecipientAddress = c.Address;
        SendMailViaMapi(mail);

        TRecord expected = BareMessage("", "");
        if (c.ShownName) {
            expected["recipients"] = "1";
            expected["recipients.array"] = "set";
            AddParty(expected, "recipient0", "1", c.ShownName, std::string("SMTP:") + c.Address);
        }
        EXPECT_EQ(Record(), expected);
    }
}

TEST_F(MapiSend, AnsiTextsPassUnchanged) {
    TMapiMail mail;
    mail.Subject = "Gr\xF6\xDF"
                   "e \x80";
    mail.Body = "line 1\r\nline\t2\r\n\r\n\xE9\xE8";
    mail.AttachmentPath = u"C:\\Temp\\\u00C4rger\\Error Details.txt";
    SendMailViaMapi(mail);
    TRecord record = Record();
    EXPECT_EQ(record["subject"], Quoted(mail.Subject));
    EXPECT_EQ(record["note"], Quoted(mail.Body));
    EXPECT_EQ(record["file0.path"], Quoted("C:\\Temp\\\xC4rger\\Error Details.txt"));
    EXPECT_EQ(record["file0.name"], "null");
}

// A path the code page cannot write, of a file that has no short path to stand in for it,
// with a library that has only the ANSI entry: nothing is sent with a wrong path.
TEST_F(MapiSend, AnAttachmentPathNoClientCanBeGiven) {
    TMapiMail mail;
    mail.AttachmentPath = u"C:\\Temp\\Lum\u0416\u03A9Missing\\Error Details.txt";
    EXPECT_EQ(MessageOf<ELumGeneralError>([&] { SendMailViaMapi(mail); }),
              u"The attachment C:\\Temp\\Lum\u0416\u03A9Missing\\Error Details.txt cannot be "
              u"handed to the mail client: the system's code page cannot write its path.");
    EXPECT_FALSE(Recorded());
}

TEST_F(MapiSend, CancelIsSilent) {
    SetResult(L"1");
    bool shown = false;
    TExceptionHook previous =
        Application()->SetExceptionHook([&](TLumPersistent*, Exception&) { shown = true; });
    try {
        SendSmallReport();
        ADD_FAILURE() << "no exception";
    } catch (const EAbort& error) {
        EXPECT_EQ(error.Message(), u"Operation aborted");
        // The application drops it: neither the hook nor a message box sees it.
        Application()->HandleException(nullptr);
    }
    Application()->SetExceptionHook(previous);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(Recorded());
}

TEST_F(MapiSend, ErrorCodesRaiseTheirTexts) {
    struct Case {
        const wchar_t* Code;
        const char16_t* Message;
    };
    const Case cases[] = {
        {L"2", u"One or more unspecified errors occurred. No message was sent."},
        {L"25", u"One or more recipients were invalid or did not resolve to any address."},
        {L"99", u"MAPISendMail resulted in an error (99)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(FromWinStr(c.Code)));
        SetResult(c.Code);
        DeleteFileW(WinStr(recordPath_));
        EXPECT_EQ(MessageOf<ELumGeneralError>(SendSmallReport), c.Message);
        EXPECT_TRUE(Recorded());
        EXPECT_EQ(GetModuleHandleW(WinStr(MapiPath())), nullptr);
    }
}

TEST_F(MapiSend, MissingLibrary) {
    Uninstall();
    EXPECT_EQ(MessageOf<ELumGeneralError>(SendSmallReport),
              u"Mapi32.dll is not available at this time.");
    EXPECT_FALSE(Recorded());
}

TEST_F(MapiSend, LibraryOnlyInCurrentFolderIsNotLoaded) {
    // A planted library where the library search would look (the current folder) is not
    // taken in place of the system folder's missing one.
    Uninstall();
    std::u16string planted = SystemTempPath() + u"LumMapiPlanted";
    CreateDirectoryW(WinStr(planted), nullptr);
    ASSERT_TRUE(CopyFileW(WinStr(StandinPath(u"mapi\\mapi32.dll")),
                          WinStr(planted + u"\\MAPI32.DLL"), FALSE));
    wchar_t previous[MAX_PATH];
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(WinStr(planted)));
    EXPECT_EQ(MessageOf<ELumGeneralError>(SendSmallReport),
              u"Mapi32.dll is not available at this time.");
    EXPECT_TRUE(SetCurrentDirectoryW(previous));
    EXPECT_FALSE(Recorded());
    EXPECT_TRUE(DeleteFileW(WinStr(planted + u"\\MAPI32.DLL")));
    EXPECT_TRUE(RemoveDirectoryW(WinStr(planted)));
}

TEST_F(MapiSend, LibraryWithoutEntryPoint) {
    Install(StandinPath(u"noregister.dll"));
    EXPECT_EQ(MessageOf<ELumGeneralError>(SendSmallReport),
              u"MAPISendMail is not available at this time (in Mapi32.dll).");
    EXPECT_FALSE(Recorded());
}
