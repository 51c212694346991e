#pragma once
// Translation catalogues in GNU gettext's PO format, the form translators' editors and
// translation servers read and write: per entry a context (msgctxt), the source text (msgid),
// the translation (msgstr), translator comments ("# "), extracted comments ("#.") and flags
// ("#,"). Files are UTF-8 with C-style escapes in quoted texts. Portable.

#include "toolkit/base/LumExceptions.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// One entry of a catalogue (the header entry apart).
struct TPoEntry {
    /// Translator comments, one a line ("# text").
    std::vector<std::u16string> Comments;
    /// Comments of the tool that made the catalogue, one a line ("#. text").
    std::vector<std::u16string> ExtractedComments;
    /// Flags ("#, fuzzy"), each word without the commas.
    std::vector<std::u16string> Flags;
    std::optional<std::u16string> Context;
    std::u16string Id;
    std::u16string Str;
    /// Lines (from 1) where the entry and its keywords start; 0 for a keyword it lacks.
    int Line = 0;
    int ContextLine = 0;
    int StrLine = 0;

    bool HasFlag(std::u16string_view flag) const;
};

/// A header field ("Content-Type", "text/plain; charset=UTF-8").
using TPoHeaderField = std::pair<std::u16string, std::u16string>;

struct TPoCatalogue {
    /// The header entry's fields in order; written as the entry with the empty msgid.
    std::vector<TPoHeaderField> Header;
    std::vector<TPoEntry> Entries;
};

/// A catalogue that cannot be read: the message and the line (from 1) it concerns.
class EPoError : public EParserError {
  public:
    EPoError(int line, std::u16string message) : EParserError(std::move(message)), line_(line) {}
    int Line() const { return line_; }
    const char* ClassName() const override { return "EPoError"; }

  private:
    int line_;
};

/// The catalogue as UTF-8 PO text, lines ended by LF: the header entry, then each entry with
/// its comments, flags, msgctxt (when it has one), msgid and msgstr. A text with line breaks
/// inside is written as "" followed by one quoted line per line; nothing else is wrapped.
/// Control characters other than tab, CR and LF are written as three-digit octal escapes.
std::string WritePo(const TPoCatalogue& catalogue);

/// Reads PO text (a leading UTF-8 byte-order mark, CR LF line ends, quoted texts continued on
/// following lines and obsolete "#~" entries are accepted; references "#:" and previous texts
/// "#|" are passed over). Raises EPoError with the line for a syntax error, an escape it does
/// not know, text that is not UTF-8, an entry without msgstr, plural forms, a second header,
/// and a header that names a character set other than UTF-8.
TPoCatalogue ReadPo(std::string_view text);

/// The value of the header field of that name (letter case ignored); empty when there is none.
std::u16string PoHeaderValue(const TPoCatalogue& catalogue, std::u16string_view name);
