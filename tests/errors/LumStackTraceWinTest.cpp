// Stack capture under Wine, in an executable that carries its own LUM.DBG section: throws and
// processor faults from functions of this file, whose frames must name this unit, the
// functions and the lines below. The line constants sit right above the lines they name.

#include "errors/LumStackTraceWin.h"
#include "errors/LumSysFaultsWin.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <thread>

namespace stacktest {

// noipa: each function keeps its own frame and name, and callers do not learn that it cannot
// throw (a stack overflow must be able to unwind through them).

constexpr std::uint32_t kThrowerLine = __LINE__ + 1;
[[gnu::noipa]] int Thrower(int value) {
    if (value > 0) {
        throw ELumGeneralError(u"known place"); // kThrowerLine + 2
    }
    return value;
}

// Uses the result, so that the call is no tail call and this frame stays.
constexpr std::uint32_t kCallsThrowerLine = __LINE__ + 1;
[[gnu::noipa]] int CallsThrower(int value) {
    return Thrower(value + 1) * 2; // kCallsThrowerLine + 1
}

constexpr std::uint32_t kOtherThrowerLine = __LINE__ + 1;
[[gnu::noipa]] void OtherThrower() {
    throw EListError(u"other place"); // kOtherThrowerLine + 1
}

constexpr std::uint32_t kReadLine = __LINE__ + 1;
[[gnu::noipa]] int ReadThrough(const volatile int* pointer) {
    return *pointer + 1; // kReadLine + 1
}

constexpr std::uint32_t kCallsReaderLine = __LINE__ + 1;
[[gnu::noipa]] int CallsReader(const volatile int* pointer) {
    return ReadThrough(pointer) * 2; // kCallsReaderLine + 1
}

[[gnu::noipa]] void WriteThrough(volatile int* pointer) {
    *pointer = 1;
}

constexpr std::uint32_t kDivideLine = __LINE__ + 1;
[[gnu::noipa]] int Divide(int a, int b) {
    return a / b; // kDivideLine + 1
}

constexpr std::uint32_t kCallThroughLine = __LINE__ + 1;
[[gnu::noipa]] int CallThrough(int (*function)()) {
    return function() + 1; // kCallThroughLine + 1
}

// Deeper until the stack runs out (depth never becomes negative).
[[gnu::noipa]] int Recurse(int depth) {
    volatile char buffer[512];
    buffer[0] = static_cast<char>(depth);
    return depth < 0 ? 0 : Recurse(depth + 1) + buffer[0];
}

// A frame with clean-up code for the call (its string is destroyed on the way out), and one
// with a handler.
[[gnu::noipa]] int CleansUp(int value) {
    std::string held(100, 'x');
    return Thrower(value + 1) + static_cast<int>(held.size());
}

[[gnu::noipa]] int Handles(int value) {
    try {
        return CleansUp(value) * 2;
    } catch (const ELumGeneralError&) {
        return -1;
    }
}

// Throws that the throwing function catches: for the type, for every type, or not for the
// type thrown; and one that its handler throws again.
[[gnu::noipa]] int CatchesItsType(int value) {
    try {
        if (value > 0) {
            throw ELumGeneralError(u"kept here");
        }
    } catch (const Exception&) {
        return -1;
    }
    return value;
}

[[gnu::noipa]] int CatchesEverything(int value) {
    try {
        if (value > 0) {
            throw EListError(u"kept here");
        }
    } catch (...) {
        return -1;
    }
    return value;
}

constexpr std::uint32_t kCatchesOtherTypeLine = __LINE__ + 1;
[[gnu::noipa]] int CatchesOtherType(int value) {
    try {
        if (value > 0) {
            throw ELumGeneralError(u"passes on"); // kCatchesOtherTypeLine + 3
        }
    } catch (const EListError&) {
        return -1;
    }
    return value;
}

constexpr std::uint32_t kRethrowsLine = __LINE__ + 1;
[[gnu::noipa]] int Rethrows(int value) {
    try {
        if (value > 0) {
            throw ELumGeneralError(u"thrown again");
        }
    } catch (const Exception&) {
        throw; // kRethrowsLine + 6
    }
    return value;
}

[[gnu::noipa]] void Halt() {
    asm volatile("hlt");
}
[[gnu::noipa]] void Undefined() {
    asm volatile("ud2");
}

} // namespace stacktest

namespace {

using namespace stacktest;

std::string At(std::uint32_t address) {
    return Format("[%p]", reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address)));
}

// "unit.procedure (Line n, "file"" as this file's frames begin.
std::string Here(const char* procedure, std::uint32_t line) {
    return Format(" LumStackTraceWinTest.stacktest::%s (Line %u, \"LumStackTraceWinTest.cpp\"",
                  procedure, line);
}

std::vector<TLumStackInfoItem> Frames() {
    auto stack = LastCapturedStack();
    return stack ? stack->Items() : std::vector<TLumStackInfoItem>{};
}

std::string Text(const TLumStackInfoItem& item) {
    return FrameText(item.CallerAddress, false, false, false);
}

class StackTraceWin : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        LumStackTraceUnit.Start();
        TraceOptions()
            .Include(TTraceOption::toRawStackScan)
            .Include(TTraceOption::toKeepModuleList);
        StartExceptionTracking();
    }
    static void TearDownTestSuite() {
        StopExceptionTracking();
        LumStackTraceUnit.Stop();
        TraceOptions().SetValue(static_cast<unsigned>(TTraceOption::toCaptureStack));
    }
};

} // namespace

TEST_F(StackTraceWin, AThrowsFramesNameItsUnitProceduresAndLines) {
    ASSERT_EQ(TraceOptions().Value(), 21u);
    std::uint32_t raisedAt = 0;
    try {
        CallsThrower(1);
    } catch (const ELumGeneralError& error) {
        raisedAt =
            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(RaiseAddressOf(error)));
    }
    auto frames = Frames();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames[0].CallerAddress, raisedAt);
    EXPECT_EQ(frames[0].Level, 0);
    EXPECT_EQ(Text(frames[0]),
              At(frames[0].CallerAddress) + Here("Thrower", kThrowerLine + 2) + ")");
    EXPECT_EQ(Text(frames[1]),
              At(frames[1].CallerAddress) + Here("CallsThrower", kCallsThrowerLine + 1) + ")");
    EXPECT_EQ(frames[1].Level, 1);
    // With line offsets (lines since the procedure's first) and address offsets.
    std::string full = FrameText(frames[0].CallerAddress, false, true, true);
    std::string begin = At(frames[0].CallerAddress) + Here("Thrower", kThrowerLine + 2) + " + 2) ";
    EXPECT_EQ(full.substr(0, begin.size()), begin);
    EXPECT_TRUE(std::regex_match(full.substr(begin.size()), std::regex(R"([+-] \$[0-9A-F]+)")))
        << full;
    // With the module's name: longer than twelve characters, so not padded.
    EXPECT_EQ(FrameText(frames[1].CallerAddress, true, false, false),
              At(frames[1].CallerAddress) + "{LumStackTraceWinTest.exe}" +
                  Here("CallsThrower", kCallsThrowerLine + 1) + ")");
    // The frames go on into the test itself and beyond; none lies in the raise hooks.
    for (const TLumStackInfoItem& item : frames) {
        EXPECT_EQ(Text(item).find("__wrap___cxa_throw"), std::string::npos);
    }
    std::vector<std::string> lines;
    AppendFramesTo(*LastCapturedStack(), lines, false, true, true);
    ASSERT_EQ(lines.size(), frames.size());
    EXPECT_EQ(lines[0], full);
}

TEST_F(StackTraceWin, TheFrameWalkFindsTheSameInnerFrames) {
    TraceOptions().SetValue(static_cast<unsigned>(TTraceOption::toCaptureStack));
    try {
        CallsThrower(1);
    } catch (const ELumGeneralError&) {
    }
    TraceOptions().Include(TTraceOption::toRawStackScan).Include(TTraceOption::toKeepModuleList);
    auto frames = Frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(Text(frames[0]),
              At(frames[0].CallerAddress) + Here("Thrower", kThrowerLine + 2) + ")");
    EXPECT_EQ(Text(frames[1]),
              At(frames[1].CallerAddress) + Here("CallsThrower", kCallsThrowerLine + 1) + ")");
}

TEST_F(StackTraceWin, EveryRaiseReplacesTheThreadsStack) {
    try {
        CallsThrower(1);
    } catch (const ELumGeneralError&) {
    }
    auto first = LastCapturedStack();
    // Handled silently, and still the stack a report would show.
    try {
        OtherThrower();
    } catch (const EListError&) {
    }
    auto latest = LastCapturedStack();
    ASSERT_NE(latest, first);
    EXPECT_EQ(Text(latest->Items()[0]), At(latest->Items()[0].CallerAddress) +
                                            Here("OtherThrower", kOtherThrowerLine + 1) + ")");
    EXPECT_EQ(latest->ThreadID(), GetCurrentThreadId());
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(latest->TimeStamp().Year, now.wYear);
    EXPECT_EQ(latest->TimeStamp().Month, now.wMonth);
    EXPECT_EQ(latest->TimeStamp().Day, now.wDay);
    // The first list is still whole for whoever holds it.
    EXPECT_EQ(Text(first->Items()[0]),
              At(first->Items()[0].CallerAddress) + Here("Thrower", kThrowerLine + 2) + ")");
}

TEST_F(StackTraceWin, AnotherThreadsRaiseKeepsItsOwnList) {
    auto mine = LastCapturedStack();
    DWORD otherId = 0;
    std::thread([&] {
        otherId = GetCurrentThreadId();
        try {
            OtherThrower();
        } catch (const EListError&) {
        }
    }).join();
    EXPECT_EQ(LastCapturedStack(), mine);
    auto other = GlobalStackList().Find(otherId);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->ThreadID(), otherId);
    EXPECT_EQ(Text(other->Items()[0]), At(other->Items()[0].CallerAddress) +
                                           Here("OtherThrower", kOtherThrowerLine + 1) + ")");
}

TEST_F(StackTraceWin, ANullReadIsAnAccessViolationWithItsStack) {
    int result = 0;
    try {
        result = CallsReader(nullptr);
        FAIL() << "no exception";
    } catch (const EAccessViolation& error) {
        EXPECT_EQ(error.Message(),
                  AsciiToWide(Format("Access violation at address %s in module "
                                     "'LumStackTraceWinTest.exe'. Read of address 00000000",
                                     At(error.ExceptionAddress()).substr(1, 8))));
        EXPECT_EQ(error.ExceptionCode(), kFaultAccessViolation);
        EXPECT_EQ(RaiseAddressOf(error),
                  reinterpret_cast<const void*>(std::uintptr_t{error.ExceptionAddress()}));
        auto frames = Frames();
        ASSERT_GE(frames.size(), 2u);
        EXPECT_EQ(frames[0].CallerAddress, error.ExceptionAddress());
        EXPECT_EQ(Text(frames[0]),
                  At(frames[0].CallerAddress) + Here("ReadThrough", kReadLine + 1) + ")");
        EXPECT_EQ(Text(frames[1]),
                  At(frames[1].CallerAddress) + Here("CallsReader", kCallsReaderLine + 1) + ")");
    }
    EXPECT_EQ(result, 0);
    // Three times in a row, and a write as well.
    for (int i = 0; i < 3; ++i) {
        EXPECT_THROW(CallsReader(nullptr), EAccessViolation);
    }
    try {
        WriteThrough(reinterpret_cast<volatile int*>(16));
        FAIL() << "no exception";
    } catch (const EAccessViolation& error) {
        EXPECT_EQ(error.Message(),
                  AsciiToWide(Format("Access violation at address %s in module "
                                     "'LumStackTraceWinTest.exe'. Write of address 00000010",
                                     At(error.ExceptionAddress()).substr(1, 8))));
    }
}

TEST_F(StackTraceWin, ADivisionByZeroIsCaughtAsEDivByZero) {
    try {
        Divide(7, 0);
        FAIL() << "no exception";
    } catch (const EDivByZero& error) {
        EXPECT_EQ(error.Message(), u"Division by zero");
        auto frames = Frames();
        ASSERT_GE(frames.size(), 1u);
        EXPECT_EQ(frames[0].CallerAddress, error.ExceptionAddress());
        EXPECT_EQ(Text(frames[0]),
                  At(frames[0].CallerAddress) + Here("Divide", kDivideLine + 1) + ")");
    }
}

TEST_F(StackTraceWin, ACallOfANullPointerNamesItsCaller) {
    try {
        CallThrough(nullptr);
        FAIL() << "no exception";
    } catch (const EAccessViolation& error) {
        EXPECT_EQ(error.Message(),
                  u"Access violation at address 00000000. Execution of address 00000000");
        auto frames = Frames();
        ASSERT_GE(frames.size(), 2u);
        EXPECT_EQ(Text(frames[0]), "[00000000]");
        EXPECT_EQ(Text(frames[1]),
                  At(frames[1].CallerAddress) + Here("CallThrough", kCallThroughLine + 1) + ")");
    }
}

TEST_F(StackTraceWin, AStackOverflowIsCaughtAgainAndAgain) {
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        try {
            Recurse(0);
            FAIL() << "no exception";
        } catch (const EStackOverflow& error) {
            EXPECT_EQ(error.Message(), u"Stack overflow");
            auto frames = Frames();
            ASSERT_GE(frames.size(), 2u);
            EXPECT_EQ(frames[0].CallerAddress, error.ExceptionAddress());
            EXPECT_NE(Text(frames[1]).find(" LumStackTraceWinTest.stacktest::Recurse (Line "),
                      std::string::npos);
        }
    }
}

TEST_F(StackTraceWin, PrivilegedAndUndefinedInstructions) {
    EXPECT_THROW(Halt(), EPrivilege);
    try {
        Undefined();
        FAIL() << "no exception";
    } catch (const EExternalException& error) {
        EXPECT_EQ(error.Message(), u"External exception C000001D");
    }
}

namespace {

int notified = 0;
// Raises and handles an exception of its own while it runs.
void RaisingNotifier(const TRaiseInfo&) {
    ++notified;
    try {
        OtherThrower();
    } catch (const EListError&) {
    }
}

} // namespace

TEST_F(StackTraceWin, ANotifierIsNotReenteredByItsOwnRaise) {
    AddExceptNotifier(&RaisingNotifier);
    notified = 0;
    try {
        CallsThrower(1);
    } catch (const ELumGeneralError&) {
    }
    RemoveExceptNotifier(&RaisingNotifier);
    EXPECT_EQ(notified, 1);
    // The stack notifier runs first; the notifier's own raise captured nothing.
    auto frames = Frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(Text(frames[0]),
              At(frames[0].CallerAddress) + Here("Thrower", kThrowerLine + 2) + ")");
}

TEST_F(StackTraceWin, OtherModulesHaveNoLocation) {
    auto inKernel = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "GetTickCount")));
    EXPECT_FALSE(GetLocationInfo(inKernel));
    EXPECT_EQ(FrameText(inKernel, false, true, true), At(inKernel));
    EXPECT_EQ(FrameText(inKernel, true, true, true), At(inKernel) + "{kernel32.dll}");
    EXPECT_EQ(ModuleNameOf(0x10), "");
    EXPECT_EQ(FrameText(0x10, true, false, false), "[00000010]{            }");
}

TEST_F(StackTraceWin, TrackingStartsOnceAndStops) {
    StartExceptionTracking(); // already on: nothing changes
    EXPECT_TRUE(ExceptionTrackingActive());
    StopExceptionTracking();
    EXPECT_FALSE(ExceptionTrackingActive());
    auto before = LastCapturedStack();
    try {
        OtherThrower();
    } catch (const EListError& error) {
        // Raises are still noted, only not captured.
        EXPECT_NE(RaiseAddressOf(error), nullptr);
    }
    EXPECT_EQ(LastCapturedStack(), before);
    StartExceptionTracking();
    EXPECT_TRUE(ExceptionTrackingActive());
}

TEST_F(StackTraceWin, TheStackOfAnExceptionOutlivesLaterRaises) {
    try {
        CallsThrower(1);
    } catch (const ELumGeneralError& error) {
        try {
            OtherThrower();
        } catch (const EListError&) {
        }
        auto latest = LastCapturedStack();
        EXPECT_EQ(Text(latest->Items()[0]), At(latest->Items()[0].CallerAddress) +
                                                Here("OtherThrower", kOtherThrowerLine + 1) + ")");
        auto own = CapturedStackOf(error);
        ASSERT_NE(own, nullptr);
        EXPECT_EQ(Text(own->Items()[0]),
                  At(own->Items()[0].CallerAddress) + Here("Thrower", kThrowerLine + 2) + ")");
    }
    // An object never raised gets the thread's latest stack.
    ELumGeneralError never(u"never raised");
    EXPECT_EQ(CapturedStackOf(never), LastCapturedStack());
}

TEST_F(StackTraceWin, ExceptionFramesAreTheFramesWithCodeForTheRaise) {
    EXPECT_EQ(Handles(1), -1);
    EXPECT_TRUE(LastCapturedStack()->ExceptFrames().empty()) << "only with the option";

    TraceOptions().Include(TTraceOption::toCaptureExceptionFrames);
    EXPECT_EQ(Handles(1), -1);
    TraceOptions().Exclude(TTraceOption::toCaptureExceptionFrames);
    const auto& frames = LastCapturedStack()->ExceptFrames();
    auto find = [&](const char* procedure) {
        for (size_t i = 0; i < frames.size(); ++i) {
            if (Text({frames[i].CallerAddress, 0}).find(procedure) != std::string::npos) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    int cleanup = find("stacktest::CleansUp");
    int handler = find("stacktest::Handles");
    ASSERT_GE(cleanup, 0);
    ASSERT_GT(handler, cleanup);
    EXPECT_EQ(frames[cleanup].Kind, TExceptFrameKind::efCleanup);
    EXPECT_EQ(frames[handler].Kind, TExceptFrameKind::efHandler);
    // The frames are the calls, as in the stack itself.
    auto items = LastCapturedStack()->Items();
    EXPECT_NE(std::find_if(items.begin(), items.end(),
                           [&](const TLumStackInfoItem& item) {
                               return item.CallerAddress == frames[handler].CallerAddress;
                           }),
              items.end());
    // None of the capture's own frames, which handle exceptions of their own.
    for (const TLumExceptFrame& frame : frames) {
        EXPECT_EQ(Text({frame.CallerAddress, 0}).find("NotifyRaise"), std::string::npos);
    }
}

TEST_F(StackTraceWin, AThrowCaughtByItsOwnFunctionIsNotCapturedUnlessThrownAgain) {
    try {
        OtherThrower();
    } catch (const EListError&) {
    }
    auto before = LastCapturedStack();
    const void* raisedBefore = LastRaiseAddress();
    EXPECT_EQ(CatchesItsType(1), -1);
    EXPECT_EQ(LastCapturedStack(), before);
    EXPECT_NE(LastRaiseAddress(), raisedBefore) << "the raise is still noted";
    EXPECT_EQ(CatchesEverything(1), -1);
    EXPECT_EQ(LastCapturedStack(), before);

    // A handler of the function that is not for the type: the raise goes on and is captured.
    try {
        CatchesOtherType(1);
        ADD_FAILURE() << "no exception";
    } catch (const ELumGeneralError& error) {
        auto own = CapturedStackOf(error);
        ASSERT_NE(own, nullptr);
        ASSERT_NE(own, before);
        EXPECT_EQ(Text(own->Items()[0]), At(own->Items()[0].CallerAddress) +
                                             Here("CatchesOtherType", kCatchesOtherTypeLine + 3) +
                                             ")");
    }

    // Thrown again from the handler: captured there, and the report's address stays the raise.
    try {
        Rethrows(1);
        ADD_FAILURE() << "no exception";
    } catch (const ELumGeneralError& error) {
        auto own = CapturedStackOf(error);
        ASSERT_NE(own, nullptr);
        ASSERT_FALSE(own->Items().empty());
        EXPECT_EQ(Text(own->Items()[0]),
                  At(own->Items()[0].CallerAddress) + Here("Rethrows", kRethrowsLine + 6) + ")");
        EXPECT_NE(RaiseAddressOf(error), reinterpret_cast<const void*>(static_cast<std::uintptr_t>(
                                             own->Items()[0].CallerAddress)));
    }
}
