#pragma once
// Where error reports go besides the dialog: the simple log file, the event log or numbered
// error files for an error that happens while the dialog is open, and plain text files saved
// from the report. The layout of what is written; the writing itself is in LumExceptLogWin.h.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// The header WriteHeader writes: an empty line first unless the file was empty, then the
/// width in "=", "= <dateTime> =" padded to the width, and the "=" line again. A width of 0
/// means 100; a width below 20 becomes 20.
std::vector<std::string> LogHeaderLines(int width, const std::string& dateTime, bool wasEmpty);

/// The lines of a text as the log writes them: each with `indent` spaces in front and its
/// trailing blanks removed.
std::vector<std::string> LogTextLines(const std::string& text, int indent);

/// A text split into lines at CR LF, CR, LF and U+2028.
std::vector<std::u16string> ErrorTextLines(const std::u16string& text);

/// "<folder><name>_Error_<n, four digits>.txt".
std::u16string ErrorFileName(const std::u16string& folder, const std::u16string& exeName,
                             int number);

/// The most characters one string of an event-log entry may hold.
constexpr std::size_t kEventLogStringLimit = 31839;

/// A text as the strings of event-log entries: the text alone when it fits the limit;
/// otherwise parts of at most `limit` characters, each beginning with "(Part n of m)" and a
/// line break, cut after a line break in the second half of a part where there is one, and
/// never inside a surrogate pair.
std::vector<std::u16string> EventLogParts(std::u16string_view text,
                                          std::size_t limit = kEventLogStringLimit);
