// The portable part of the error-report e-mail: result texts, the report body and message.
#include "lib/LumLX/LumLXMapiUtils.h"

#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

TEST(MapiUtils, ErrorTextOfEveryCode) {
    struct Case {
        std::uint32_t Code;
        const char16_t* Text;
    };
    const Case cases[] = {
        {1, u"The user canceled one of the dialog boxes. No message was sent."},
        {2, u"One or more unspecified errors occurred. No message was sent."},
        {3, u"There was no default logon, and the user failed to log on successfully when the "
            u"logon dialog box was displayed. No message was sent."},
        {5, u"There was insufficient memory to proceed. No message was sent."},
        {9, u"There were too many file attachments. No message was sent."},
        {10, u"There were too many recipients. No message was sent."},
        {11, u"The specified attachment was not found. No message was sent."},
        {12, u"The specified attachment could not be opened. No message was sent."},
        {14, u"A recipient did not appear in the address list. No message was sent."},
        {15, u"The type of a recipient was not MAPI_TO, MAPI_CC, or MAPI_BCC. No message was "
             u"sent."},
        {18, u"The text in the message was too large. No message was sent."},
        {21, u"A recipient matched more than one of the recipient descriptor structures and "
             u"MAPI_DIALOG was not set. No message was sent."},
        {25, u"One or more recipients were invalid or did not resolve to any address."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Code);
        EXPECT_EQ(MapiErrorText(c.Code), c.Text);
    }
}

TEST(MapiUtils, ErrorTextOfOtherCodes) {
    struct Case {
        std::uint32_t Code;
        const char16_t* Text;
    };
    // The gaps of the table, its ends and codes far beyond it.
    const Case cases[] = {
        {0, u"MAPISendMail resulted in an error (0)."},
        {4, u"MAPISendMail resulted in an error (4)."},
        {6, u"MAPISendMail resulted in an error (6)."},
        {13, u"MAPISendMail resulted in an error (13)."},
        {16, u"MAPISendMail resulted in an error (16)."},
        {20, u"MAPISendMail resulted in an error (20)."},
        {24, u"MAPISendMail resulted in an error (24)."},
        {26, u"MAPISendMail resulted in an error (26)."},
        {99, u"MAPISendMail resulted in an error (99)."},
        {4294967295u, u"MAPISendMail resulted in an error (4294967295)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Code);
        EXPECT_EQ(MapiErrorText(c.Code), c.Text);
    }
}

TEST(MapiUtils, BodyWholeText) {
    // Three empty lines of room for each answer; no line break after the last line.
    EXPECT_EQ(ErrorReportMailBody(u"Access violation at address 0040A1B2."),
              u"Error message:\r\n"
              u"  Access violation at address 0040A1B2.\r\n"
              u"\r\n"
              u">> 1. What steps did you perform prior to encountering this error?\r\n"
              u"\r\n\r\n\r\n"
              u">> 2. What were you trying to accomplish?\r\n"
              u"\r\n\r\n\r\n"
              u">> 3. How often do you receive this error message?\r\n"
              u"\r\n\r\n\r\n"
              u">> 4. Besides email, what is the best way to contact you?\r\n"
              u"\r\n\r\n\r\n"
              u">> ^^^^^ Thank you for reporting this error! ^^^^^^\r\n"
              u"\r\n"
              u"(The attached file, \"Error Details.txt\", contains technical details about "
              u"this error.)");
}

TEST(MapiUtils, BodyMessages) {
    struct Case {
        const char16_t* Message;
        const char16_t* Opening;
    };
    const Case cases[] = {
        // No identified exception: the indentation alone.
        {u"", u"Error message:\r\n  \r\n\r\n>> 1."},
        // Directives inside the message are its text, not formatting.
        {u"100% %s %d done", u"Error message:\r\n  100% %s %d done\r\n\r\n>> 1."},
        // A message of several lines is taken as it is.
        {u"First\r\n\r\nSecond", u"Error message:\r\n  First\r\n\r\nSecond\r\n\r\n>> 1."},
        {u"Gr\u00F6\u00DFe \u20AC", u"Error message:\r\n  Gr\u00F6\u00DFe \u20AC\r\n\r\n>> 1."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Message));
        std::u16string body = ErrorReportMailBody(c.Message);
        EXPECT_EQ(body.substr(0, std::u16string_view(c.Opening).size()), c.Opening);
        EXPECT_FALSE(body.ends_with(u"\r\n"));
        EXPECT_TRUE(body.ends_with(u"technical details about this error.)"));
    }
}

TEST(MapiUtils, ReportMail) {
    TMapiMail mail = ErrorReportMail(u"Ostrin", u"Gr\u00F6\u00DFe 100%",
                                     u"C:\\Temp\\Lum1\\Error Details.txt", u"help@example.com");
    EXPECT_EQ(mail.Subject, "Ostrin Issue");
    EXPECT_EQ(mail.RecipientName, "Ostrin Support");
    EXPECT_EQ(mail.RecipientAddress, "help@example.com");
    EXPECT_EQ(mail.AttachmentPath, u"C:\\Temp\\Lum1\\Error Details.txt");
    EXPECT_EQ(mail.SenderName, "");
    EXPECT_EQ(mail.SenderAddress, "");
    EXPECT_FALSE(mail.WithoutDialog);
    // The body in the ANSI code page (Windows-1252 here), line breaks kept.
    EXPECT_EQ(mail.Body.substr(0, 32), "Error message:\r\n  Gr\xF6\xDF"
                                       "e 100%\r\n\r\n");
    // One byte for each character of the body.
    EXPECT_EQ(mail.Body.size(), 419u);
}

TEST(MapiUtils, ReportMailEdges) {
    // No support address: the mail goes without recipient; no title leaves the bare words.
    TMapiMail mail = ErrorReportMail(u"", u"", u"", u"");
    EXPECT_EQ(mail.Subject, " Issue");
    EXPECT_EQ(mail.RecipientName, " Support");
    EXPECT_EQ(mail.RecipientAddress, "");
    EXPECT_EQ(mail.AttachmentPath, u"");
    EXPECT_EQ(mail.Body.substr(0, 20), "Error message:\r\n  \r\n");
    // Characters outside the code page become '?', as Simple MAPI could not carry them.
    EXPECT_EQ(ErrorReportMail(u"\u041E\u0441\u0442\u0440\u0438\u043D", u"", u"", u"").Subject,
              "?????? Issue");
    EXPECT_EQ(ErrorReportMail(u"A%sB", u"", u"", u"").Subject, "A%sB Issue");
    // The attachment's path stays as the system names it: the file must still be found.
    EXPECT_EQ(
        ErrorReportMail(u"", u"", u"C:\\Temp\\\u0416\u03A9\\Error Details.txt", u"").AttachmentPath,
        u"C:\\Temp\\\u0416\u03A9\\Error Details.txt");
}
