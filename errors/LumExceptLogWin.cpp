// Log file, event log, numbered error files and ANSI text files.
#include "errors/LumExceptLogWin.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumPaths.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>

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

void WriteToEventLog(const std::u16string& text) {
    TScopedHandle<TEventSourceTraits> source(
        RegisterEventSourceW(nullptr, WinStr(ExeNameWithoutExtension())));
    Win32Check(source.IsValid());
    const wchar_t* strings[] = {WinStr(text)};
    Win32Check(
        ReportEventW(source.Get(), EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
}

std::u16string WriteErrorFile(const std::u16string& text) {
    std::u16string name = ExeNameWithoutExtension();
    std::u16string folder = TempFolder() + name + u"\\";
    ForceDirectoriesWithMessage(folder);
    std::u16string path;
    for (int number = 1;; ++number) {
        path = ErrorFileName(folder, name, number);
        if (GetFileAttributesW(WinStr(path)) == INVALID_FILE_ATTRIBUTES) {
            break;
        }
    }
    std::string bytes = "\xFF\xFE";
    for (const std::u16string& line : ErrorTextLines(text)) {
        for (char16_t c : line + u"\r\n") {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
    }
    WriteWholeFile(path, bytes);
    return path;
}

void SaveErrorText(const std::u16string& text) {
    if (OSVersion().IsNT()) {
        WriteToEventLog(text);
    } else {
        WriteErrorFile(text);
    }
}

void SaveAnsiTextFile(const std::u16string& path, const std::u16string& text) {
    WriteWholeFile(path, WideToAnsi(text));
}
