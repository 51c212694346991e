// The portable part of the error-report e-mail: result texts and the report message.
#include "lib/LumLX/LumLXMapiUtils.h"

#include "rstr/LumLXMapiUtils.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"

namespace {

// The Simple MAPI result codes that have a text of their own.
const TResStringRec* MapiErrorRec(std::uint32_t code) {
    using namespace LumLXMapiUtils;
    switch (code) {
    case 1:
        return &SMapiUserAbort;
    case 2:
        return &SMapiFailure;
    case 3:
        return &SMapiLoginFailure;
    case 5:
        return &SMapiInsufficientMemory;
    case 9:
        return &SMapiTooManyFiles;
    case 10:
        return &SMapiTooManyRecipients;
    case 11:
        return &SMapiAttachmentNotFound;
    case 12:
        return &SMapiAttachmentOpenFailure;
    case 14:
        return &SMapiUnknownRecipient;
    case 15:
        return &SMapiBadRecipType;
    case 18:
        return &SMapiTextTooLarge;
    case 21:
        return &SMapiAmbiguousRecipient;
    case 25:
        return &SMapiInvalidRecips;
    default:
        return nullptr;
    }
}

} // namespace

std::u16string MapiErrorText(std::uint32_t code) {
    if (const TResStringRec* rec = MapiErrorRec(code)) {
        return LoadResString(*rec);
    }
    return Format(LoadResString(LumLXMapiUtils::SMapiOtherError), code);
}

std::u16string ErrorReportMailBody(std::u16string_view message) {
    // The message is an argument, never part of the format: its own "%" stay as they are.
    return Format(LoadResString(LumLXMapiUtils::SReportMailBody), message);
}

TMapiMail ErrorReportMail(std::u16string_view title, std::u16string_view message,
                          std::u16string_view attachmentPath, std::u16string_view supportAddress) {
    TMapiMail mail;
    mail.Subject = WideToAnsi(Format(LoadResString(LumLXMapiUtils::SReportMailSubject), title));
    mail.Body = WideToAnsi(ErrorReportMailBody(message));
    mail.AttachmentPath = attachmentPath;
    mail.RecipientName =
        WideToAnsi(Format(LoadResString(LumLXMapiUtils::SReportMailRecipient), title));
    mail.RecipientAddress = WideToAnsi(supportAddress);
    return mail;
}
