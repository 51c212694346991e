#include "toolkit/win/LumProgram.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

namespace {

// Runs one step; shows what escapes it (but the silent abort) and says whether it completed.
template <class Step> bool Guarded(Step step) {
    try {
        step();
        return true;
    } catch (const EAbort&) {
        return false;
    } catch (const std::exception& error) {
        ShowFatalException(error);
        return false;
    }
}

// ---- Start-up trace ----

struct TTraceMark {
    std::int64_t Ticks;
    char Label[64];
};

// All zero until the trace is turned on, so that it takes no room in the file.
struct TTrace {
    std::array<wchar_t, MAX_PATH> File;
    std::int64_t TicksPerSecond;
    // The performance counter's value when the process was created.
    std::int64_t CreationTicks;
    std::array<TTraceMark, 1024> Marks;
    std::atomic<size_t> Count;
};

enum class TTraceState { tsUnknown, tsOff, tsOn };

constinit std::atomic<TTraceState> traceState{TTraceState::tsUnknown};
constinit TTrace* trace = nullptr;

std::int64_t Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

std::int64_t FileTimeValue(const FILETIME& time) {
    return static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) |
                                     time.dwLowDateTime);
}

void Mark(std::string_view label) noexcept {
    size_t at = trace->Count.fetch_add(1);
    if (at >= trace->Marks.size()) {
        return;
    }
    TTraceMark& mark = trace->Marks[at];
    mark.Ticks = Ticks();
    size_t length = std::min(label.size(), sizeof mark.Label - 1);
    std::memcpy(mark.Label, label.data(), length);
    mark.Label[length] = 0;
}

// The number right-aligned in a column of the width.
std::string Column(long long value, size_t width) {
    char digits[24];
    std::string text(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

void WriteTrace() {
    TScopedKernelHandle file(CreateFileW(trace->File.data(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        return;
    }
    size_t count = std::min(trace->Count.load(), trace->Marks.size());
    std::string text;
    std::int64_t previous = trace->CreationTicks;
    auto micro = [](std::int64_t ticks) {
        return static_cast<long long>(ticks * 1000000 / trace->TicksPerSecond);
    };
    for (size_t i = 0; i < count; ++i) {
        const TTraceMark& mark = trace->Marks[i];
        text += Column(micro(mark.Ticks - trace->CreationTicks), 9) + " " +
                Column(micro(mark.Ticks - previous), 8) + "  " + mark.Label + "\r\n";
        previous = mark.Ticks;
    }
    DWORD written = 0;
    WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void ObserveUnit(const TUnit& unit, bool started) {
    Mark(std::string(started ? "started " : "stopped ") + unit.Name());
}

// Decides once whether the trace is on; when it is, sets it up and marks the time spent so far.
TTraceState StartTrace() noexcept {
    static std::once_flag once;
    std::call_once(once, [] {
        static constinit TTrace kept{};
        DWORD length = GetEnvironmentVariableW(L"LUM_STARTUP_TRACE", kept.File.data(),
                                               static_cast<DWORD>(kept.File.size()));
        if (length == 0 || length >= kept.File.size()) {
            traceState.store(TTraceState::tsOff);
            return;
        }
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        kept.TicksPerSecond = frequency.QuadPart;
        FILETIME creation, exit, kernel, user, now;
        GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
        GetSystemTimeAsFileTime(&now);
        std::int64_t sinceCreation = FileTimeValue(now) - FileTimeValue(creation);
        kept.CreationTicks = Ticks() - sinceCreation * kept.TicksPerSecond / 10000000;
        trace = &kept;
        SetUnitObserver(&ObserveUnit);
        std::atexit(&WriteTrace);
        traceState.store(TTraceState::tsOn);
    });
    return traceState.load();
}

} // namespace

void ShowFatalException(const std::exception& error) {
    auto lumError = dynamic_cast<const Exception*>(&error);
    std::u16string text = lumError ? lumError->Message() : Utf8ToWide(error.what());
    std::u16string caption = lumError ? AsciiToWide(lumError->ClassName()) : u"Error";
    MessageBoxW(nullptr, WinStr(text), WinStr(caption), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

int RunProgram(std::span<TUnit* const> units, void (*mainBlock)()) {
    TraceStartup("program frame");
    std::optional<TUnitSequence> sequence;
    bool ok = Guarded([&] { sequence.emplace(units); });
    if (!ok) {
        return 1;
    }
    TraceStartup("units started");
    ok = Guarded(mainBlock);
    TraceStartup("main block ended");
    ok = Guarded([&] { sequence->Stop(); }) && ok;
    TraceStartup("units stopped");
    return ok ? 0 : 1;
}

void TraceStartup(std::string_view label) noexcept {
    TTraceState state = traceState.load(std::memory_order_relaxed);
    if (state == TTraceState::tsUnknown) {
        state = StartTrace();
    }
    if (state == TTraceState::tsOn) {
        Mark(label);
    }
}
