#pragma once
// Error reports by e-mail through Simple MAPI: the texts of Simple MAPI's result codes, the
// message that carries a report to the support address, and the hand-over to the user's mail
// client. The texts and the report message are portable; the hand-over is Win32.

#include <cstdint>
#include <string>
#include <string_view>

/// The name of the file that a mailed report attaches the details as.
inline constexpr std::u16string_view ErrorReportFileName = u"Error Details.txt";

/// One message for SendMailViaMapi. The texts are in the system's ANSI code page, which is
/// what Simple MAPI takes; the attachment's path is the system's own (UTF-16), so that a file
/// in a folder whose name that code page cannot write is still found. An empty address
/// leaves that party out of the message (no originator, no recipient); an empty attachment
/// path means no attachment.
struct TMapiMail {
    std::string Subject;
    std::string Body;
    std::u16string AttachmentPath;
    std::string SenderName;
    std::string SenderAddress;
    std::string RecipientName;
    std::string RecipientAddress;
    /// Hands the message over without the mail client's compose window (and its logon
    /// dialog); otherwise the user sees the message and decides whether to send it.
    bool WithoutDialog = false;
};

/// The text for a Simple MAPI result code, e.g. "One or more unspecified errors occurred. No
/// message was sent." for 2; "MAPISendMail resulted in an error (%d)." with the code in
/// decimal for codes without a text of their own. Meant for the non-zero codes.
std::u16string MapiErrorText(std::uint32_t code);

/// The questionnaire that heads a mailed report: "Error message:", the message indented by
/// two spaces, four numbered questions each followed by three empty lines, the thanks and
/// the note on the attached file. Lines are separated by CR LF, with none after the last.
std::u16string ErrorReportMailBody(std::u16string_view message);

/// The report mail of the exception dialog: subject "<title> Issue", the body of
/// ErrorReportMailBody, the attachment, no sender, the recipient "<title> Support" at
/// `supportAddress`, with the compose window. The texts are converted to ANSI here.
TMapiMail ErrorReportMail(std::u16string_view title, std::u16string_view message,
                          std::u16string_view attachmentPath, std::u16string_view supportAddress);

/// Hands the message to the mail client through MAPISendMail of the system folder's
/// MAPI32.DLL, with the application window as parent, so the compose window is modal to the
/// program. Returns when the client took the message. When the user cancels in the client,
/// raises the silent abort (EAbort); raises ELumGeneralError with the library's missing or
/// MapiErrorText of any other result. The library is loaded for this call only. Needs the
/// toolkit running (LumFormsUnit), for the application window.
/// An attachment path that the ANSI code page cannot write goes through the library's
/// MAPISendMailW when it has one (the texts converted); otherwise as the file's short path,
/// with the file's own name as the attachment's name; when there is no such path either,
/// raises ELumGeneralError "The attachment %s cannot be handed to the mail client: ...".
void SendMailViaMapi(const TMapiMail& mail);
