// Log file, event log, numbered error files and ANSI text files.
#include "errors/LumExceptLogWin.h"

#include "rstr/LumExceptLog.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>
#include <utility>

namespace {

std::u16string ExeNameWithoutExtension() {
    return FileNameWithoutExtension(OwnModuleFileName());
}

void WriteWholeFile(const std::u16string& path, const std::string& bytes) {
    TLumFileStream file(path, fmCreate);
    file.WriteBuffer(bytes.data(), bytes.size());
}

// An event source of RegisterEventSource, given back with DeregisterEventSource.
struct TEventSourceTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeregisterEventSource(h); }
};

void WriteToSystemEventLog(const std::u16string& source,
                           const std::vector<std::u16string>& entries) {
    TScopedHandle<TEventSourceTraits> handle(RegisterEventSourceW(nullptr, WinStr(source)));
    Win32Check(handle.IsValid());
    for (const std::u16string& entry : entries) {
        const wchar_t* strings[] = {WinStr(entry)};
        Win32Check(
            ReportEventW(handle.Get(), EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
    }
}

TEventLogWriter eventLogWriter = nullptr;

// The numbered error files of a folder run out at some point; an error report is not worth
// more tries than this.
constexpr int kMostErrorFiles = 10000;

// Creates the next free numbered error file of the folder, new: a file that appears between
// the look and the creation is never written over.
std::pair<std::u16string, TScopedFile> NewErrorFile(const std::u16string& folder,
                                                    const std::u16string& name) {
    for (int number = 1; number <= kMostErrorFiles; ++number) {
        std::u16string path = ErrorFileName(folder, name, number);
        TScopedFile file(CreateFileW(WinStr(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            return {path, std::move(file)};
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            RaiseOSError(error);
        }
    }
    RaiseOSError(ERROR_FILE_EXISTS);
}

} // namespace

TSimpleExceptionLog::TSimpleExceptionLog(std::u16string fileName)
    : fileName_(fileName.empty() ? IncludeTrailingBackslash(PathFolder(OwnModuleFileName())) +
                                       ExeNameWithoutExtension() + u"_Err.log"
                                 : std::move(fileName)) {}

TSimpleExceptionLog::~TSimpleExceptionLog() = default;

bool TSimpleExceptionLog::IsOpen() const {
    return file_.IsValid();
}

void TSimpleExceptionLog::OpenForAppend() {
    if (IsOpen()) {
        wasEmpty_ = false;
        return;
    }
    TScopedFile file(CreateFileW(WinStr(fileName_), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return;
    }
    LARGE_INTEGER end{};
    LARGE_INTEGER zero{};
    SetFilePointerEx(file.Get(), zero, &end, FILE_END);
    wasEmpty_ = end.QuadPart == 0;
    file_ = std::move(file);
}

void TSimpleExceptionLog::CloseFile() {
    file_.Reset();
}

void TSimpleExceptionLog::WriteBytes(const std::string& bytes) {
    DWORD written = 0;
    Win32Check(
        WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

void TSimpleExceptionLog::WriteLines(const std::string& text, int indent) {
    if (!IsOpen()) {
        return;
    }
    std::string bytes;
    for (const std::string& line : LogTextLines(text, indent)) {
        bytes += line + "\r\n";
    }
    WriteBytes(bytes);
}

void TSimpleExceptionLog::WriteHeader(int width) {
    OpenForAppend();
    if (!IsOpen()) {
        return;
    }
    std::string bytes;
    for (const std::string& line : LogHeaderLines(width, WideToAnsi(NowText()), wasEmpty_)) {
        bytes += line + "\r\n";
    }
    WriteBytes(bytes);
}

std::u16string LocalDateTimeText(const SYSTEMTIME& when) {
    wchar_t date[128];
    wchar_t time[128];
    int dateLength = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &when, nullptr, date, 128);
    int timeLength = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &when, nullptr, time, 128);
    return FromWinStr(date, static_cast<size_t>(std::max(dateLength - 1, 0))) + u" " +
           FromWinStr(time, static_cast<size_t>(std::max(timeLength - 1, 0)));
}

std::u16string NowText() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalDateTimeText(now);
}

TEventLogWriter SetEventLogWriter(TEventLogWriter writer) {
    return std::exchange(eventLogWriter, writer);
}

void WriteToEventLog(const std::u16string& text) {
    (eventLogWriter ? eventLogWriter : &WriteToSystemEventLog)(ExeNameWithoutExtension(),
                                                               EventLogParts(text));
}

std::u16string WriteErrorFile(const std::u16string& text, std::u16string folder) {
    std::u16string name = ExeNameWithoutExtension();
    if (folder.empty()) {
        folder = TempFolder() + name + u"\\";
    }
    folder = IncludeTrailingBackslash(folder);
    ForceDirectoriesWithMessage(folder);
    std::string bytes = "\xFF\xFE";
    for (const std::u16string& line : ErrorTextLines(text)) {
        for (char16_t c : line + u"\r\n") {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
    }
    auto created = NewErrorFile(folder, name);
    const std::u16string& path = created.first;
    TScopedFile& file = created.second;
    // A file the disk could not take whole is not left behind as if it held the report.
    auto incomplete = OnScopeFailure([&] {
        file.Reset();
        DeleteFileW(WinStr(path));
    });
    DWORD written = 0;
    Win32Check(
        WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    if (written != bytes.size()) {
        RaiseOSError(ERROR_HANDLE_DISK_FULL);
    }
    Win32Check(CloseHandle(file.Release()));
    return path;
}

TSavedErrorText SaveErrorText(const std::u16string& text) {
    std::u16string reason;
    if (OSVersion().IsNT()) {
        try {
            WriteToEventLog(text);
            return {true, {}};
        } catch (const Exception& error) {
            reason = error.Message();
        }
    }
    // The executable's own folder of error files, then the temporary folder itself.
    for (bool own : {true, false}) {
        try {
            return {false, WriteErrorFile(text, own ? std::u16string() : TempFolder())};
        } catch (const Exception& error) {
            reason = error.Message();
        }
    }
    throw ELumGeneralError(Format(LoadResString(LumExceptLog::SErrorTextNotSaved), reason));
}

void SaveAnsiTextFile(const std::u16string& path, const std::u16string& text) {
    WriteWholeFile(path, WideToAnsi(text));
}
