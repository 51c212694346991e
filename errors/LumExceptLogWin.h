#pragma once
// Writing error reports: the simple log file, the event log, numbered error files and plain
// text files saved from the report.

#include "errors/LumExceptLog.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumWin.h"

#include <string>

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
    TScopedFile file_;
    bool wasEmpty_ = false;
};

/// A local date and time in the user's short date and long time format.
std::u16string LocalDateTimeText(const SYSTEMTIME& time);

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
