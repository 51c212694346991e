// Handing a message to the user's mail client through Simple MAPI.
#include "lib/LumLX/LumLXMapiUtils.h"

#include "rstr/LumLXMapiUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumSystemWin.h"

#include <mapi.h>

#include <string>

namespace {

// The Unicode message of MAPISendMailW (in the mail library of Windows 8 and later), laid out
// as the ANSI one with wide texts; the platform headers here declare only the ANSI one.
struct TMapiRecipDescW {
    ULONG ulReserved;
    ULONG ulRecipClass;
    PWSTR lpszName;
    PWSTR lpszAddress;
    ULONG ulEIDSize;
    LPVOID lpEntryID;
};
struct TMapiFileDescW {
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;
    PWSTR lpszPathName;
    PWSTR lpszFileName;
    LPVOID lpFileType;
};
struct TMapiMessageW {
    ULONG ulReserved;
    PWSTR lpszSubject;
    PWSTR lpszNoteText;
    PWSTR lpszMessageType;
    PWSTR lpszDateReceived;
    PWSTR lpszConversationID;
    FLAGS flFlags;
    TMapiRecipDescW* lpOriginator;
    ULONG nRecipCount;
    TMapiRecipDescW* lpRecips;
    ULONG nFileCount;
    TMapiFileDescW* lpFiles;
};
using TMapiSendMailW = ULONG(WINAPI*)(LHANDLE, ULONG_PTR, TMapiMessageW*, FLAGS, ULONG);

struct TAnsiMapi {
    using Char = char;
    using Message = MapiMessage;
    using Recip = MapiRecipDesc;
    using File = MapiFileDesc;
    static std::string Text(const std::string& ansi) { return ansi; }
};

struct TWideMapi {
    using Char = wchar_t;
    using Message = TMapiMessageW;
    using Recip = TMapiRecipDescW;
    using File = TMapiFileDescW;
    static std::wstring Text(const std::string& ansi) { return Wide(AnsiToWide(ansi)); }
    static std::wstring Wide(const std::u16string& text) { return {text.begin(), text.end()}; }
};

// The Simple MAPI message with the texts and descriptors it points to, in one object that
// stays in place for the call: Simple MAPI takes writable texts.
template <class Mapi> class TMapiMessage {
  public:
    using Text = std::basic_string<typename Mapi::Char>;

    TMapiMessage(const TMapiMail& mail, Text path, Text fileName)
        : subject_(Mapi::Text(mail.Subject)), body_(Mapi::Text(mail.Body)), path_(std::move(path)),
          fileName_(std::move(fileName)) {
        message_.lpszSubject = subject_.data();
        message_.lpszNoteText = body_.data();
        if (!mail.SenderAddress.empty()) {
            originator_.Set(MAPI_ORIG, mail.SenderName, mail.SenderAddress);
            message_.lpOriginator = &originator_.Desc;
        }
        if (!mail.RecipientAddress.empty()) {
            recipient_.Set(MAPI_TO, mail.RecipientName, mail.RecipientAddress);
            message_.nRecipCount = 1;
            message_.lpRecips = &recipient_.Desc;
        }
        if (!path_.empty()) {
            // Not placed inside the text: the client shows it as an attachment of its own.
            file_.nPosition = 0xFFFFFFFF;
            file_.lpszPathName = path_.data();
            file_.lpszFileName = fileName_.empty() ? nullptr : fileName_.data();
            message_.nFileCount = 1;
            message_.lpFiles = &file_;
        }
    }
    TMapiMessage(const TMapiMessage&) = delete;
    TMapiMessage& operator=(const TMapiMessage&) = delete;

    typename Mapi::Message* Get() { return &message_; }

  private:
    // An SMTP address; named by its address when it has no name of its own.
    struct TParty {
        void Set(ULONG recipClass, const std::string& name, const std::string& address) {
            Name = Mapi::Text(name.empty() ? address : name);
            Address = Mapi::Text("SMTP:" + address);
            Desc.ulRecipClass = recipClass;
            Desc.lpszName = Name.data();
            Desc.lpszAddress = Address.data();
        }
        Text Name;
        Text Address;
        typename Mapi::Recip Desc{};
    };

    Text subject_;
    Text body_;
    Text path_;
    Text fileName_;
    TParty originator_;
    TParty recipient_;
    typename Mapi::File file_{};
    typename Mapi::Message message_{};
};

// The system folder's MAPI32.DLL, for this call only. Loaded by full path rather than by the
// library search: the program runs elevated, often from a download folder, where a planted
// MAPI32.DLL would be found first and run. Its own dependencies come from its folder too.
TSystemLibrary LoadMapiLibrary() {
    try {
        return LoadSystemLibrary(u"MAPI32.DLL");
    } catch (const EOSError&) {
        throw ELumGeneralError(LoadResString(LumLXMapiUtils::SMapiNotAvailable));
    }
}

// The text in the ANSI code page, when the code page can write all of it.
bool AnsiCanWrite(const std::u16string& text, std::string& ansi) {
    ansi = WideToAnsi(text);
    return AnsiToWide(ansi) == text;
}

// The file's short path in the ANSI code page; raises when the file has none it can write.
std::string AnsiShortPath(const std::u16string& path) {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = GetShortPathNameW(WinStr(path), buffer.data(), MAX_PATH);
    if (length >= MAX_PATH) {
        buffer.resize(length);
        length = GetShortPathNameW(WinStr(path), buffer.data(), length);
    }
    std::string ansi;
    if (length == 0 || length >= buffer.size() ||
        !AnsiCanWrite(FromWinStr(buffer.data(), length), ansi)) {
        throw ELumGeneralError(Format(LoadResString(LumLXMapiUtils::SMapiAttachmentPath), path));
    }
    return ansi;
}

void CheckResult(ULONG result) {
    if (result == MAPI_USER_ABORT) {
        Abort();
    }
    if (result != SUCCESS_SUCCESS) {
        throw ELumGeneralError(MapiErrorText(result));
    }
}

} // namespace

void SendMailViaMapi(const TMapiMail& mail) {
    TSystemLibrary library = LoadMapiLibrary();
    auto sendMail = library.FindProc<LPMAPISENDMAIL>("MAPISendMail");
    if (!sendMail) {
        throw ELumGeneralError(LoadResString(LumLXMapiUtils::SMapiSendMailNotAvailable));
    }
    FLAGS flags = mail.WithoutDialog ? 0 : MAPI_LOGON_UI | MAPI_DIALOG;
    auto parent = reinterpret_cast<ULONG_PTR>(Application()->Handle());
    std::string path;
    std::string fileName;
    if (!AnsiCanWrite(mail.AttachmentPath, path)) {
        if (auto sendMailW = library.FindProc<TMapiSendMailW>("MAPISendMailW")) {
            TMapiMessage<TWideMapi> message(mail, TWideMapi::Wide(mail.AttachmentPath), {});
            CheckResult(sendMailW(0, parent, message.Get(), flags, 0));
            return;
        }
        // The short path names the file in the code page; the message keeps the file's name.
        path = AnsiShortPath(mail.AttachmentPath);
        std::u16string name = mail.AttachmentPath.substr(mail.AttachmentPath.rfind(u'\\') + 1);
        if (!AnsiCanWrite(name, fileName)) {
            fileName.clear();
        }
    }
    TMapiMessage<TAnsiMapi> message(mail, path, fileName);
    CheckResult(sendMail(lhSessionNull, parent, message.Get(), flags, 0));
}
