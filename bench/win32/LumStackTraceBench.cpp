// Timings of stack capture under Wine: throw-and-catch per second with tracking off and on
// (raw scan, as the program sets it, and the frame-pointer walk), at a shallow stack and
// under a deeper one; the difference per raise is the cost of capture. Also a throw that the
// throwing function catches itself, and a processor fault raised as an exception. Run by
// scripts/bench-wine.sh; the first argument, if any, is the number of raises per timing.

#include "errors/LumStackTraceWin.h"
#include "errors/LumSysFaultsWin.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumWin.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// Ten frames between the catch and the throw, as a handler called from the toolkit has.
[[gnu::noipa]] int Raise(int depth) {
    if (depth == 0) {
        throw ELumGeneralError(u"benchmark");
    }
    return Raise(depth - 1) + 1;
}

// The same depth, but the function that throws catches the exception itself, as a fallback
// inside a probe does.
[[gnu::noipa]] int RaiseAndCatch(int depth) {
    if (depth > 0) {
        return RaiseAndCatch(depth - 1) + 1;
    }
    try {
        throw ELumGeneralError(u"benchmark");
    } catch (const Exception&) {
        return -1;
    }
}

[[gnu::noipa]] int ReadThrough(const volatile int* pointer) {
    return *pointer;
}

[[gnu::noipa]] int Fault(int depth) {
    if (depth == 0) {
        return ReadThrough(nullptr);
    }
    return Fault(depth - 1) + 1;
}

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Microseconds per raise, the best of three runs.
double Time(int raises, int (*raise)(int)) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        double start = Seconds();
        for (int i = 0; i < raises; ++i) {
            try {
                raise(10);
            } catch (const Exception&) {
            }
        }
        best = std::min(best, (Seconds() - start) * 1e6 / raises);
    }
    return best;
}

// Runs the body with `kilobytes` of stack in use below it, as a deeper program has.
[[gnu::noipa]] void Below(int kilobytes, const std::function<void()>& body) {
    if (kilobytes <= 0) {
        body();
        return;
    }
    volatile char frame[1024];
    frame[0] = 0;
    Below(kilobytes - 1, body);
    frame[1] = frame[0];
}

void Report(const char* what, double off, double on) {
    std::printf("  %-34s %9.0f raises/s %8.2f us/raise   capture %6.2f us (x%.2f)\n", what,
                1e6 / on, on, on - off, on / off);
}

void Measure(int raises, const char* title, int (*raise)(int)) {
    std::printf("%s\n", title);
    StopExceptionTracking();
    double off = Time(raises, raise);
    std::printf("  %-34s %9.0f raises/s %8.2f us/raise\n", "tracking off", 1e6 / off, off);
    StartExceptionTracking();
    TraceOptions().SetValue(21);
    Report("tracking on, raw scan (21)", off, Time(raises, raise));
    TraceOptions().SetValue(17);
    Report("tracking on, frame walk (17)", off, Time(raises, raise));
    TraceOptions().SetValue(21);
}

} // namespace

int main(int argc, char** argv) {
    int raises = argc > 1 ? std::atoi(argv[1]) : 20000;
    LumStackTraceUnit.Start();
    // Faults are raised as exceptions only while the fault unit runs; it stays started so
    // that tracking off and on time the same raise.
    LumSysFaultsUnit.Start();
    std::printf("%d raises per timing, best of three, 10 frames between catch and raise\n\n",
                raises);
    Measure(raises, "throw and catch, shallow stack:", &Raise);
    Below(64, [&] { Measure(raises, "throw and catch, 64 KB more stack in use:", &Raise); });
    Measure(raises, "throw caught by the function that throws it:", &RaiseAndCatch);
    Measure(raises, "null read raised as EAccessViolation, shallow stack:", &Fault);
    StopExceptionTracking();
    LumSysFaultsUnit.Stop();
    LumStackTraceUnit.Stop();
    return 0;
}
