#pragma once
// Where error reports go besides the dialog: the simple log file, the event log or numbered
// error files for an error that happens while the dialog is open, and plain text files saved
// from the report.

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
std::u16string ErrorFileName(const std::u16string& folder, const std::u16string& exeName, int number);

#ifdef _WIN32
/// A log file that reports are appended to, each under a dated header.
class TSimpleExceptionLog {
public:
    /// Without a name: <folder of the executable>\<executable name>_Err.log. The file is not
    /// touched here.
    explicit TSimpleExceptionLog(std::u16string fileName = {});
    ~TSimpleExceptionLog();
    TSimpleExceptionLog(const TSimpleExceptionLog&) = delete;
    TSimpleExceptionLog& operator=(const TSimpleExceptionLog&) = delete;

    const std::u16string& FileName() const { return fileName_; }
    bool IsOpen() const;
    bool WasEmpty() const { return wasEmpty_; }

    /// Opens (creating it if missing) for writing at the end, others may read. A file that
    /// cannot be opened leaves the log closed; nothing is reported.
    void OpenForAppend();
    void CloseFile();
    /// Writes the text's lines (only when open).
    void WriteLines(const std::string& text, int indent);
    /// Opens the file and writes the header with the current date and time.
    void WriteHeader(int width);

private:
    void WriteBytes(const std::string& bytes);

    std::u16string fileName_;
    void* handle_;
    bool wasEmpty_ = false;
};

struct _SYSTEMTIME;

/// A local date and time in the user's short date and long time format.
std::u16string LocalDateTimeText(const _SYSTEMTIME& time);

/// The current local date and time in the user's short date and long time format.
std::u16string NowText();

/// Keeps the text of an error: in the application event log on the NT family, in a numbered
/// error file otherwise.
void SaveErrorText(const std::u16string& text);

/// Reports one error event with the text, under an event source named after the executable.
void WriteToEventLog(const std::u16string& text);

/// Writes the text as UTF-16 with a byte-order mark into the next free numbered error file in
/// <temporary folder>\<executable name>\, and answers its path.
std::u16string WriteErrorFile(const std::u16string& text);

/// Saves text as ANSI (system code page), replacing a file of that name.
void SaveAnsiTextFile(const std::u16string& path, const std::u16string& text);
#endif
