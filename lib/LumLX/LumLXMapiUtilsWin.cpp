// Handing a message to the user's mail client through Simple MAPI.
#include "lib/LumLX/LumLXMapiUtils.h"

#include "rstr/LumLXMapiUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumSystemWin.h"

#include <mapi.h>

namespace {

// The Simple MAPI message with the texts and descriptors it points to, in one object that
// stays in place for the call: Simple MAPI takes writable ANSI texts.
class TMapiMessage {
  public:
    explicit TMapiMessage(const TMapiMail& mail)
        : subject_(mail.Subject), body_(mail.Body), path_(mail.AttachmentPath) {
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
            message_.nFileCount = 1;
            message_.lpFiles = &file_;
        }
    }
    TMapiMessage(const TMapiMessage&) = delete;
    TMapiMessage& operator=(const TMapiMessage&) = delete;

    MapiMessage* Get() { return &message_; }

  private:
    // An SMTP address; named by its address when it has no name of its own.
    struct TParty {
        void Set(ULONG recipClass, const std::string& name, const std::string& address) {
            Name = name.empty() ? address : name;
            Address = "SMTP:" + address;
            Desc.ulRecipClass = recipClass;
            Desc.lpszName = Name.data();
            Desc.lpszAddress = Address.data();
        }
        std::string Name;
        std::string Address;
        MapiRecipDesc Desc{};
    };

    std::string subject_;
    std::string body_;
    std::string path_;
    TParty originator_;
    TParty recipient_;
    MapiFileDesc file_{};
    MapiMessage message_{};
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

} // namespace

void SendMailViaMapi(const TMapiMail& mail) {
    TMapiMessage message(mail);
    TSystemLibrary library = LoadMapiLibrary();
    auto sendMail = library.FindProc<LPMAPISENDMAIL>("MAPISendMail");
    if (!sendMail) {
        throw ELumGeneralError(LoadResString(LumLXMapiUtils::SMapiSendMailNotAvailable));
    }
    FLAGS flags = mail.WithoutDialog ? 0 : MAPI_LOGON_UI | MAPI_DIALOG;
    auto parent = reinterpret_cast<ULONG_PTR>(Application()->Handle());
    ULONG result = sendMail(lhSessionNull, parent, message.Get(), flags, 0);
    if (result == MAPI_USER_ABORT) {
        Abort();
    }
    if (result != SUCCESS_SUCCESS) {
        throw ELumGeneralError(MapiErrorText(result));
    }
}
