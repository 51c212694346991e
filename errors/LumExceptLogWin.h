#pragma once
// Writing error reports: the simple log file, the event log, numbered error files and plain
// text files saved from the report.

#include "errors/LumExceptLog.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumWin.h"

#include <string>
#include <vector>

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

/// Where SaveErrorText kept a text.
struct TSavedErrorText {
    /// In the application event log (Path empty), or in the error file at Path.
    bool EventLog = false;
    std::u16string Path;
};

/// Keeps the text of an error: in the application event log on the NT family; when that
/// fails, and on other platforms, in the next numbered error file of
/// <temporary folder>\<executable name>\, and when that fails too, in one directly in the
/// temporary folder. Raises ELumGeneralError "The error report could not be saved: %s" with
/// the last reason when the text could be kept nowhere.
TSavedErrorText SaveErrorText(const std::u16string& text);

/// Writes event-log entries: the source's name and the strings, one entry each.
using TEventLogWriter = void (*)(const std::u16string& source,
                                 const std::vector<std::u16string>& entries);

/// Makes `writer` the one WriteToEventLog uses (null: the system's event log, the start
/// value) and answers the one it replaces.
TEventLogWriter SetEventLogWriter(TEventLogWriter writer);

/// Reports the text as error events under an event source named after the executable: one
/// event, or, for a text over an entry's limit, one for each of its numbered parts
/// (EventLogParts). Raises EOSError when the event log refuses an entry.
void WriteToEventLog(const std::u16string& text);

/// Writes the text as UTF-16 with a byte-order mark into the next free numbered error file
/// "<exe>_Error_<n>.txt" of the folder (created with its parents; by default
/// <temporary folder>\<executable name>\), and answers its path. The file is created new, never
/// over one that appeared meanwhile.
std::u16string WriteErrorFile(const std::u16string& text, std::u16string folder = {});

/// Saves text as ANSI (system code page), replacing a file of that name.
void SaveAnsiTextFile(const std::u16string& path, const std::u16string& text);
