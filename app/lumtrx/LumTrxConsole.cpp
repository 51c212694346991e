#include "app/lumtrx/LumTrxConsole.h"

#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode);
}

// Buffered output is written in pieces of this size at most; a list of 10,000 rows is one
// write per piece instead of one per row.
constexpr size_t kFlushSize = 64 * 1024;

} // namespace

TConsoleOutput::TConsoleOutput() {
    out_.Handle = GetStdHandle(STD_OUTPUT_HANDLE);
    err_.Handle = GetStdHandle(STD_ERROR_HANDLE);
    out_.Console = IsConsole(out_.Handle);
    err_.Console = IsConsole(err_.Handle);
}

TConsoleOutput::~TConsoleOutput() {
    Flush(out_);
    Flush(err_);
}

void TConsoleOutput::Out(std::u16string_view line) {
    Write(out_, line);
}

void TConsoleOutput::Err(std::u16string_view line) {
    // What went wrong comes after what was listed before it.
    Flush(out_);
    Write(err_, line);
    Flush(err_);
}

void TConsoleOutput::Write(TStream& stream, std::u16string_view line) {
    if (stream.Handle == nullptr || stream.Handle == INVALID_HANDLE_VALUE) {
        return;
    }
    if (stream.Console) {
        std::u16string text = std::u16string(line) + u"\r\n";
        DWORD written = 0;
        WriteConsoleW(stream.Handle, text.data(), static_cast<DWORD>(text.size()), &written,
                      nullptr);
        return;
    }
    stream.Pending += WideToUtf8(line);
    stream.Pending += "\r\n";
    if (stream.Pending.size() >= kFlushSize) {
        Flush(stream);
    }
}

void TConsoleOutput::Flush(TStream& stream) {
    // Output that cannot be written (a closed pipe) has nowhere to be reported.
    size_t done = 0;
    while (done < stream.Pending.size()) {
        DWORD written = 0;
        if (!WriteFile(stream.Handle, stream.Pending.data() + done,
                       static_cast<DWORD>(stream.Pending.size() - done), &written, nullptr) ||
            written == 0) {
            break;
        }
        done += written;
    }
    stream.Pending.clear();
}
