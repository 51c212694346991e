#include "lib/LumTrx/LumTrxPo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TPoEntry Entry(std::u16string context, std::u16string id, std::u16string str) {
    TPoEntry entry;
    entry.Context = std::move(context);
    entry.Id = std::move(id);
    entry.Str = std::move(str);
    return entry;
}

void ExpectSameEntry(const TPoEntry& read, const TPoEntry& written) {
    EXPECT_EQ(read.Context, written.Context);
    EXPECT_EQ(read.Id, written.Id);
    EXPECT_EQ(read.Str, written.Str);
    EXPECT_EQ(read.Comments, written.Comments);
    EXPECT_EQ(read.ExtractedComments, written.ExtractedComments);
    EXPECT_EQ(read.Flags, written.Flags);
}

// The message and line of the EPoError that reading the text raises.
std::pair<int, std::u16string> ErrorOf(std::string_view text) {
    try {
        ReadPo(text);
    } catch (const EPoError& error) {
        return {error.Line(), error.Message()};
    }
    return {0, u"(no error)"};
}

const char kHeader[] = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";

} // namespace

TEST(LumTrxPo, WrittenCatalogueReadsBackWithEveryCharacterAndLayout) {
    TPoCatalogue catalogue;
    catalogue.Header = {{u"Project-Id-Version", u"Ostrin"},
                        {u"Content-Type", u"text/plain; charset=UTF-8"},
                        {u"Language-Team", u"Deutsch \u00DCbersetzer"}};
    TPoEntry caption = Entry(u"TOstrinForm.Caption", u"CAPICOM 2.0 setup",
                             u"CAPICOM 2.0 einrichten \u00E4\u00F6\u00FC\u00DF \u4E2D \U0001F600");
    caption.ExtractedComments = {u"Caption"};
    caption.Comments = {u"Titelzeile, kurz halten", u""};
    TPoEntry message = Entry(u"LumSysConst_SOSError", u"System Error.  Code: %d.\r\n%s",
                             u"Systemfehler.  Code: %0:d.\r\n%1:s");
    message.ExtractedComments = {u"resourcestring"};
    message.Flags = {u"fuzzy", u"no-wrap"};
    TPoEntry awkward = Entry(u"A_B", u"tab\there \"quoted\" back\\slash \x01\x7F end\n",
                             u"two\nlines\nand a third");
    TPoEntry untranslated = Entry(u"A_C", u"", u"");
    catalogue.Entries = {caption, message, awkward, untranslated};

    std::string text = WritePo(catalogue);
    // What editors and gettext's tools expect to see.
    EXPECT_NE(text.find("msgctxt \"TOstrinForm.Caption\"\nmsgid \"CAPICOM 2.0 setup\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Language-Team: Deutsch \xC3\x9C"
                        "bersetzer\\n\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("# Titelzeile, kurz halten\n#\n#. Caption\n"), std::string::npos);
    EXPECT_NE(text.find("#, fuzzy, no-wrap\n"), std::string::npos);
    EXPECT_NE(text.find("msgid \"\"\n\"System Error.  Code: %d.\\r\\n\"\n\"%s\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("msgid \"tab\\there \\\"quoted\\\" back\\\\slash \\001\\177 end\\n\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("msgstr \"\"\n\"two\\n\"\n\"lines\\n\"\n\"and a third\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\xE4\xB8\xAD \xF0\x9F\x98\x80"), std::string::npos);

    TPoCatalogue read = ReadPo(text);
    EXPECT_EQ(read.Header, catalogue.Header);
    ASSERT_EQ(read.Entries.size(), catalogue.Entries.size());
    for (size_t i = 0; i < read.Entries.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectSameEntry(read.Entries[i], catalogue.Entries[i]);
    }
    EXPECT_TRUE(read.Entries[1].HasFlag(u"fuzzy"));
    EXPECT_FALSE(read.Entries[0].HasFlag(u"fuzzy"));
}

TEST(LumTrxPo, ReadsWhatEditorsWriteWithLineNumbers) {
    // Byte-order mark, CR LF, wrapped texts, octal and hex escapes, references, previous texts,
    // flags without spaces and an obsolete entry with its comment.
    std::string text = "\xEF\xBB\xBF"
                       "# header comment\r\n"
                       "msgid \"\"\r\n"
                       "msgstr \"\"\r\n"
                       "\"Language: de\\n\"\r\n"
                       "\"Content-Type: text/plain; charset=utf-8\\n\"\r\n"
                       "\r\n"
                       "#  two spaces kept\r\n"
                       "#: src/file.cpp:12\r\n"
                       "#| msgid \"old\"\r\n"
                       "#,fuzzy,no-wrap\r\n"
                       "msgctxt \"Ctx\"\r\n"
                       "msgid \"\"\r\n"
                       "  \"first \"   \r\n"
                       "\"second\"\r\n"
                       "msgstr \"\\303\\244\\x41\\7\" \"+\"\r\n"
                       "\r\n"
                       "# goes with the obsolete entry\r\n"
                       "#~ msgctxt \"Gone\"\r\n"
                       "#~ msgid \"gone\"\r\n"
                       "#~ msgstr \"weg\"\r\n"
                       "msgctxt \"Next\"\r\n"
                       "msgid \"n\"\r\n"
                       "msgstr \"\"";
    TPoCatalogue catalogue = ReadPo(text);
    EXPECT_EQ(PoHeaderValue(catalogue, u"language"), u"de");
    ASSERT_EQ(catalogue.Entries.size(), 2u);
    const TPoEntry& first = catalogue.Entries[0];
    EXPECT_EQ(first.Comments, std::vector<std::u16string>{u" two spaces kept"});
    EXPECT_EQ(first.Flags, (std::vector<std::u16string>{u"fuzzy", u"no-wrap"}));
    EXPECT_EQ(first.Context, u"Ctx");
    EXPECT_EQ(first.Id, u"first second");
    EXPECT_EQ(first.Str, u"\u00E4A\a+");
    EXPECT_EQ(first.Line, 7);
    EXPECT_EQ(first.ContextLine, 11);
    EXPECT_EQ(first.StrLine, 15);
    const TPoEntry& next = catalogue.Entries[1];
    EXPECT_TRUE(next.Comments.empty());
    EXPECT_EQ(next.Context, u"Next");
    EXPECT_EQ(next.Line, 21);
    EXPECT_EQ(next.Str, u"");
}

TEST(LumTrxPo, RefusesBrokenCatalogueNamingTheLine) {
    struct Case {
        std::string text;
        int line;
        std::u16string message;
    };
    const std::string h = kHeader; // three lines
    const Case cases[] = {
        {h + "msgctxt \"a\"\nmsgid \"x\"\n\nmsgctxt \"b\"\n", 4, u"The entry has no msgstr."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgid \"y\"\nmsgstr \"\"\n", 4,
         u"The entry has no msgstr."},
        {h + "msgstr \"x\"\n", 4, u"\"msgstr\" is out of place here."},
        {h + "msgid \"x\"\nmsgctxt \"a\"\n", 4, u"The entry has no msgstr."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"y\"\nmsgstr \"z\"\n", 7,
         u"\"msgstr\" is out of place here."},
        {h + "msgctxt \"a\"\n# comment\nmsgid \"x\"\nmsgstr \"\"\n", 5,
         u"\"#\" is out of place here."},
        {h + "\"stray\"\n", 4, u"\"...\" is out of place here."},
        {h + "msgid \"x\"\nmsgid_plural \"xs\"\n", 5,
         u"Plural forms are not used in these catalogues."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr[0] \"y\"\n", 6,
         u"Plural forms are not used in these catalogues."},
        {h + "msgtext \"x\"\n", 4, u"Unknown keyword \"msgtext\"."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"ab\n", 6,
         u"The quoted text does not end on its line."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"ab\\\"\n", 6,
         u"The quoted text does not end on its line."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr y\n", 6, u"A quoted text is expected here."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"y\" z\n", 6,
         u"Unexpected text after the quoted text."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"\\q\"\n", 6,
         u"Unknown escape sequence \"\\q\"."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"\\400\"\n", 6,
         u"Unknown escape sequence \"\\400\"."},
        {h + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"\\xg\"\n", 6,
         u"Unknown escape sequence \"\\x\"."},
        {h + "msgid \"\"\nmsgstr \"\"\n", 4, u"The catalogue has a second header entry."},
        {"msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n", 2,
         u"The catalogue's character set is ISO-8859-1; only UTF-8 is read."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto [line, message] = ErrorOf(c.text);
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(message, c.message);
    }
}

TEST(LumTrxPo, RefusesTextThatIsNotUtf8RatherThanReplacingIt) {
    const std::string bad[] = {
        "\xC3",             // cut short
        "\xC3\x28",         // continuation byte missing
        "\xC0\xAF",         // overlong "/"
        "\xED\xA0\x80",     // a surrogate
        "\xF4\x90\x80\x80", // above U+10FFFF
        "\xE4",             // Latin-1 "ä"
    };
    for (const std::string& bytes : bad) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        std::string text =
            std::string(kHeader) + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"" + bytes + "\"\n";
        EXPECT_EQ(ErrorOf(text),
                  std::make_pair(6, std::u16string(u"The text is not valid UTF-8.")));
        // Also written as escapes.
        std::string escaped;
        for (char c : bytes) {
            escaped += "\\" + std::to_string(static_cast<unsigned char>(c) / 64) +
                       std::to_string(static_cast<unsigned char>(c) / 8 % 8) +
                       std::to_string(static_cast<unsigned char>(c) % 8);
        }
        text = std::string(kHeader) + "msgctxt \"a\"\nmsgid \"x\"\nmsgstr \"" + escaped + "\"\n";
        EXPECT_EQ(ErrorOf(text).second, u"The text is not valid UTF-8.");
    }
}
