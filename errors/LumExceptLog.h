#pragma once
// Where error reports go besides the dialog: the simple log file, the event log or numbered
// error files for an error that happens while the dialog is open, and plain text files saved
// from the report. The layout of what is written; the writing itself is in LumExceptLogWin.h.

#include <string>
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
