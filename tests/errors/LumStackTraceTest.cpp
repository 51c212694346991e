// The portable parts of stack capture: call recognition, the raw scan and the frame-pointer
// walk on a stack and code made up here, frame texts, the stack store, the notifiers and the
// exceptions that faults are raised as.

#include "errors/LumStackTrace.h"
#include "errors/LumSysFaults.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::array<std::uint8_t, 8> Before(std::initializer_list<std::uint8_t> tail) {
    std::array<std::uint8_t, 8> bytes{0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90};
    std::copy(tail.begin(), tail.end(), bytes.end() - tail.size());
    return bytes;
}

// A module at 0x401000 whose code is nops with calls written in at chosen places.
class FakeCode {
  public:
    static constexpr std::uint32_t kStart = 0x401000;

    FakeCode() : bytes_(0x1000, 0x90) {}

    // Writes the instruction so that it ends at `end`; returns `end` (the return address).
    std::uint32_t Put(std::uint32_t end, std::initializer_list<std::uint8_t> instruction) {
        std::copy(instruction.begin(), instruction.end(),
                  bytes_.begin() + (end - kStart - instruction.size()));
        return end;
    }

    // Readable from `readableFrom` on; the module itself spans 0x1000 bytes.
    std::vector<TModuleImage> Modules(std::uint32_t readableFrom = kStart) const {
        TModuleImage module{kStart, kStart + 0x1000, {}};
        module.Readable.push_back(
            {readableFrom, std::span<const std::uint8_t>(bytes_).subspan(readableFrom - kStart)});
        return {module};
    }

  private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace

TEST(StackTrace, RecognisesCallInstructionsBeforeAReturnAddress) {
    struct Case {
        const char* What;
        std::array<std::uint8_t, 8> Bytes;
        int Length;
    };
    const Case cases[] = {
        {"call rel32", Before({0xE8, 0x10, 0x20, 0x30, 0x40}), 5},
        {"call eax", Before({0xFF, 0xD0}), 2},
        {"call [eax]", Before({0xFF, 0x10}), 2},
        {"call [esp]", Before({0xFF, 0x14, 0x24}), 3},
        {"call [eax+8]", Before({0xFF, 0x50, 0x08}), 3},
        {"call [esp+8]", Before({0xFF, 0x54, 0x24, 0x08}), 4},
        {"call [disp32]", Before({0xFF, 0x15, 0x00, 0x10, 0x40, 0x00}), 6},
        {"call [eax+disp32]", Before({0xFF, 0x90, 0x00, 0x01, 0x00, 0x00}), 6},
        {"call [disp32+eax*4]", Before({0xFF, 0x14, 0x85, 0x00, 0x10, 0x40, 0x00}), 7},
        {"call [esp+disp32]", Before({0xFF, 0x94, 0x24, 0x00, 0x01, 0x00, 0x00}), 7},
        // A direct call wins over an indirect reading of the same bytes.
        {"call rel32 ending in FF D0", Before({0xE8, 0x00, 0x00, 0xFF, 0xD0}), 5},
        {"jmp eax", Before({0xFF, 0xE0}), 0},
        {"push [eax]", Before({0xFF, 0x30}), 0},
        {"call [esp] cut to two bytes", Before({0xFF, 0x14}), 0},
        {"call [disp32] one byte short", Before({0xFF, 0x15, 0x00, 0x10, 0x40}), 0},
        {"nops", Before({}), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(CallInstructionLength(c.Bytes), c.Length);
    }
}

TEST(StackTrace, RawScanTakesWordsAfterCallsInAcceptedModules) {
    FakeCode code;
    std::uint32_t direct = code.Put(0x401105, {0xE8, 0x11, 0x22, 0x33, 0x44});
    std::uint32_t indirect = code.Put(0x401203, {0xFF, 0x50, 0x08});
    std::uint32_t plain = 0x401300; // nops before it
    std::uint32_t early = code.Put(0x40100A, {0xE8, 0x11, 0x22, 0x33, 0x44});
    auto modules = code.Modules(0x401000);
    TCodeView view(modules, 0, 0);
    const std::uint32_t stack[] = {
        0x12345678, direct,     direct, // the same frame twice in a row counts once
        plain,      0x77001000, indirect,
        direct,                           // again after another frame: a frame of its own
        early,      0x401000,   0x402000, // the module's start and the first address after it
    };
    auto frames = StackFrames(stack, 0x0012F000, 0, true, view);
    EXPECT_EQ(frames,
              (std::vector<std::uint32_t>{direct - 5, indirect - 3, direct - 5, early - 5}));

    // The eight bytes before a return address must be readable.
    auto unreadable = code.Modules(0x401004);
    TCodeView partly(unreadable, 0, 0);
    EXPECT_EQ(StackFrames(stack, 0x0012F000, 0, true, partly),
              (std::vector<std::uint32_t>{direct - 5, indirect - 3, direct - 5}));
}

TEST(StackTrace, FrameWalkFollowsTheFramePointersUpTheStack) {
    FakeCode code;
    std::uint32_t first = code.Put(0x401105, {0xE8, 1, 2, 3, 4});
    std::uint32_t second = code.Put(0x401205, {0xE8, 1, 2, 3, 4});
    std::uint32_t third = code.Put(0x401305, {0xE8, 1, 2, 3, 4});
    auto modules = code.Modules();
    TCodeView view(modules, 0, 0);
    constexpr std::uint32_t base = 0x0012F000;
    // Frames at base+8, base+24 and base+40; the middle one returns outside the module and
    // is left out, the walk goes on through it.
    std::vector<std::uint32_t> stack(16, 0);
    auto put = [&](std::uint32_t at, std::uint32_t outer, std::uint32_t ret) {
        stack[(at - base) / 4] = outer;
        stack[(at - base) / 4 + 1] = ret;
    };
    put(base + 8, base + 24, first);
    put(base + 24, base + 40, 0x77001234);
    put(base + 40, base + 48, second);
    put(base + 48, base + 56, third);
    put(base + 56, base + 56, first); // points at itself: the chain ends after this frame
    EXPECT_EQ(StackFrames(stack, base, base + 8, false, view),
              (std::vector<std::uint32_t>{first - 5, second - 5, third - 5, first - 5}));

    struct Case {
        const char* What;
        std::uint32_t FramePointer;
        size_t Count;
    };
    const Case cases[] = {
        {"below the stack", base - 8, 0},
        {"not aligned", base + 10, 0},
        {"its return address past the top", base + 60, 0},
        {"the last frame", base + 56, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(StackFrames(stack, base, c.FramePointer, false, view).size(), c.Count);
    }
    // A chain that goes down the stack ends.
    put(base + 40, base + 8, second);
    EXPECT_EQ(StackFrames(stack, base, base + 8, false, view),
              (std::vector<std::uint32_t>{first - 5, second - 5}));
}

TEST(StackTrace, RaiseFramesPutAFaultFirstAndLeaveOutTheHooks) {
    FakeCode code;
    std::uint32_t user = code.Put(0x401105, {0xE8, 1, 2, 3, 4});
    std::uint32_t hook = code.Put(0x401805, {0xE8, 1, 2, 3, 4});
    std::uint32_t outer = code.Put(0x401905, {0xE8, 1, 2, 3, 4});
    auto modules = code.Modules();
    TCodeView view(modules, 0x401800, 0x401900);
    const std::uint32_t stack[] = {user, hook, outer};

    TRaiseInfo thrown;
    thrown.StackPointer = 0x0012F000;
    auto items = RaiseFrames(thrown, stack, true, view);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].CallerAddress, user - 5);
    EXPECT_EQ(items[0].Level, 0);
    EXPECT_EQ(items[1].CallerAddress, outer - 5);
    EXPECT_EQ(items[1].Level, 1);

    // A fault's own address comes first and stays, even inside the hooks.
    TRaiseInfo fault = thrown;
    fault.OSException = true;
    fault.Address = 0x401850;
    items = RaiseFrames(fault, stack, true, view);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].CallerAddress, 0x401850u);
    EXPECT_EQ(items[1].CallerAddress, user - 5);
    EXPECT_EQ(items[2].CallerAddress, outer - 5);
    EXPECT_EQ(items[2].Level, 2);
}

TEST(StackTrace, FrameTextInAllItsForms) {
    TLumLocationInfo line;
    line.UnitName = "OstrinFrm";
    line.ProcedureName = "TOstrinForm::Timer1Timer";
    line.OffsetFromProcedure = 0x2A;
    line.LineNumber = 31;
    line.OffsetFromLine = 5;
    line.SourceName = "OstrinFrm.cpp";
    line.ProcedureFirstLine = 26;
    TLumLocationInfo before = line;
    before.OffsetFromLine = -0x1B;
    TLumLocationInfo firstUnknown = line;
    firstUnknown.ProcedureFirstLine = 0;
    TLumLocationInfo noLine;
    noLine.UnitName = "Ostrin";
    noLine.ProcedureName = "wWinMain";
    noLine.OffsetFromProcedure = 0x1F4;
    TLumLocationInfo noUnit = noLine;
    noUnit.UnitName.clear();
    noUnit.ProcedureName = "__cxa_throw";
    noUnit.OffsetFromProcedure = 0;

    struct Case {
        const TLumLocationInfo* Location;
        const char* Module;
        bool Modules, AddressOffset, LineOffset;
        const char* Text;
    };
    const Case cases[] = {
        {nullptr, "", false, true, true, "[0040A1B2]"},
        {nullptr, "kernel32.dll", true, true, true, "[0040A1B2]{kernel32.dll}"},
        {nullptr, "user32.dll", true, false, false, "[0040A1B2]{user32.dll  }"},
        {&line, "", false, true, true,
         "[0040A1B2] OstrinFrm.TOstrinForm::Timer1Timer (Line 31, \"OstrinFrm.cpp\" + 5) + $5"},
        {&line, "", false, false, false,
         "[0040A1B2] OstrinFrm.TOstrinForm::Timer1Timer (Line 31, \"OstrinFrm.cpp\")"},
        {&line, "", false, false, true,
         "[0040A1B2] OstrinFrm.TOstrinForm::Timer1Timer (Line 31, \"OstrinFrm.cpp\" + 5)"},
        {&line, "Ostrin.exe", true, true, false,
         "[0040A1B2]{Ostrin.exe  } OstrinFrm.TOstrinForm::Timer1Timer (Line 31, "
         "\"OstrinFrm.cpp\") + $5"},
        {&line, "OstrinRegFail.exe", true, false, false,
         "[0040A1B2]{OstrinRegFail.exe} OstrinFrm.TOstrinForm::Timer1Timer (Line 31, "
         "\"OstrinFrm.cpp\")"},
        {&before, "", false, true, true,
         "[0040A1B2] OstrinFrm.TOstrinForm::Timer1Timer (Line 31, \"OstrinFrm.cpp\" + 5) - $1B"},
        {&firstUnknown, "", false, true, true,
         "[0040A1B2] OstrinFrm.TOstrinForm::Timer1Timer (Line 31, \"OstrinFrm.cpp\") + $5"},
        {&noLine, "", false, true, true, "[0040A1B2] Ostrin.wWinMain + $1F4"},
        {&noLine, "", false, false, true, "[0040A1B2] Ostrin.wWinMain"},
        {&noUnit, "", false, true, false, "[0040A1B2] __cxa_throw + $0"},
        {&noUnit, "Ostrin.exe", true, false, false, "[0040A1B2]{Ostrin.exe  } __cxa_throw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(FormatFrameText(0x0040A1B2, c.Location, c.Module, c.Modules, c.AddressOffset,
                                  c.LineOffset),
                  c.Text);
    }
}

TEST(StackTrace, TheStoreKeepsOneListPerThread) {
    TLumGlobalStackList store;
    auto list = [](std::uint32_t thread, std::uint32_t address) {
        return std::make_shared<const TLumStackInfoList>(
            thread, TLumLocalTime{2024, 5, 6, 7, 8, 9, 10},
            std::vector<TLumStackInfoItem>{{address, 0}});
    };
    EXPECT_EQ(store.Find(1), nullptr);
    store.Add(list(1, 0x1111));
    store.Add(list(2, 0x2222));
    auto held = store.Find(1);
    store.Add(list(1, 0x3333)); // replaces thread 1's list
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.Find(1)->Items()[0].CallerAddress, 0x3333u);
    EXPECT_EQ(store.Find(2)->Items()[0].CallerAddress, 0x2222u);
    // The replaced list stays whole for whoever still reads it.
    EXPECT_EQ(held->Items()[0].CallerAddress, 0x1111u);
    EXPECT_EQ(held->TimeStamp().Year, 2024);
    EXPECT_EQ(store.Find(3), nullptr);
    store.Clear();
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.Find(2), nullptr);
}

TEST(StackTrace, TheStoreFindsTheStackOfARaiseAfterLaterOnes) {
    TLumGlobalStackList store;
    int first = 0;
    int second = 0;
    auto list = [](std::uint32_t thread, std::uint32_t address, const void* raised) {
        return std::make_shared<const TLumStackInfoList>(
            thread, TLumLocalTime{}, std::vector<TLumStackInfoItem>{{address, 0}}, raised);
    };
    store.Add(list(1, 0x1111, &first));
    store.Add(list(2, 0x2222, &first)); // the same object raised again on another thread
    store.Add(list(1, 0x3333, &second));
    EXPECT_EQ(store.FindRaised(1, &first)->Items()[0].CallerAddress, 0x1111u);
    EXPECT_EQ(store.FindRaised(2, &first)->Items()[0].CallerAddress, 0x2222u);
    EXPECT_EQ(store.FindRaised(1, &second)->Items()[0].CallerAddress, 0x3333u);
    // An object never raised, or none: the thread's latest.
    int never = 0;
    EXPECT_EQ(store.FindRaised(1, &never)->Items()[0].CallerAddress, 0x3333u);
    EXPECT_EQ(store.FindRaised(1, nullptr)->Items()[0].CallerAddress, 0x3333u);
    EXPECT_EQ(store.FindRaised(3, &first), nullptr);
    EXPECT_EQ(store.Count(), 2);
    // The same object raised again later is that raise.
    store.Add(list(1, 0x4444, &first));
    EXPECT_EQ(store.FindRaised(1, &first)->Items()[0].CallerAddress, 0x4444u);
    // Only the latest few are kept besides each thread's latest.
    for (std::uint32_t i = 0; i < 40; ++i) {
        store.Add(list(1, 0x5000 + i, &never));
    }
    EXPECT_EQ(store.FindRaised(1, &second)->Items()[0].CallerAddress, 0x5000u + 39);
    store.Clear();
    EXPECT_EQ(store.FindRaised(2, &first), nullptr);
}

namespace {

// The language-specific data of a function as GCC writes it: no landing-pad base, no type
// table, then the call-site table in the given encoding.
std::vector<std::uint8_t> Lsda(std::uint8_t encoding, const std::vector<std::uint8_t>& table) {
    std::vector<std::uint8_t> bytes = {0xFF, 0xFF, encoding,
                                       static_cast<std::uint8_t>(table.size())};
    for (std::uint8_t b : table) {
        bytes.push_back(b);
    }
    return bytes;
}

std::vector<std::uint8_t> U32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

} // namespace

TEST(StackTrace, LandingPadsOfTheUnwindTables) {
    using K = TExceptFrameKind;
    // Calls at 0x10..0x18 with clean-up, 0x20..0x24 without a landing pad, 0x30..0x40 with a
    // handler (action 1); ULEB128 entries.
    auto uleb =
        Lsda(0x01, {0x10, 0x08, 0x50, 0x00, 0x20, 0x04, 0x00, 0x00, 0x30, 0x10, 0x60, 0x01});
    struct Case {
        std::uint64_t offset;
        std::optional<K> kind;
    };
    const Case cases[] = {{0x05, std::nullopt}, {0x10, K::efCleanup}, {0x17, K::efCleanup},
                          {0x18, std::nullopt}, {0x21, std::nullopt}, {0x30, K::efHandler},
                          {0x3F, K::efHandler}, {0x40, std::nullopt}, {0x400, std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(LandingPadKind(uleb, c.offset), c.kind);
    }
    // Four-byte entries, and a type table and a landing-pad base before the call sites.
    std::vector<std::uint8_t> table;
    for (std::uint32_t value : {0x100u, 0x20u, 0x180u}) {
        auto bytes = U32(value);
        table.insert(table.end(), bytes.begin(), bytes.end());
    }
    table.push_back(0x03);
    auto udata4 = Lsda(0x03, table);
    EXPECT_EQ(LandingPadKind(udata4, 0x110), K::efHandler);
    std::vector<std::uint8_t> withBase = {0x03, 0, 0, 0, 0, 0x00, 0x05};
    withBase.insert(withBase.end(), udata4.begin() + 2, udata4.end());
    EXPECT_EQ(LandingPadKind(withBase, 0x110), K::efHandler);
    // Cut short anywhere, or with a table longer than the data: nothing, and no read beyond.
    for (size_t size = 0; size < uleb.size(); ++size) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> cut(uleb.begin(), uleb.begin() + static_cast<long>(size));
        EXPECT_EQ(LandingPadKind(cut, 0x30), std::nullopt);
    }
    auto tooLong = uleb;
    tooLong[3] = 0x7F;
    EXPECT_EQ(LandingPadKind(tooLong, 0x10), std::nullopt);
    EXPECT_EQ(LandingPadKind(Lsda(0x07, {0x10, 0x08, 0x50, 0x00}), 0x10), std::nullopt)
        << "an encoding call sites never use";
}

namespace {

// Language-specific data with a type table as GCC writes it for 32-bit code: calls at
// 0x10..0x20 with a handler (action record 1), 0x30..0x40 with clean-up only, 0x50..0x58 with
// a handler whose chain goes round. Record 1 catches type 1, then everything (type 2), then
// has a throw() list; the type table ends the data.
std::vector<std::uint8_t> LsdaWithTypes() {
    std::vector<std::uint8_t> callSites = {0x10, 0x10, 0x40, 0x01, 0x30, 0x10,
                                           0x50, 0x00, 0x50, 0x08, 0x60, 0x07};
    std::vector<std::uint8_t> actions = {0x01, 0x01, 0x02, 0x01, 0x7F, 0x00, 0x01, 0x7F};
    std::vector<std::uint8_t> types = {0, 0, 0, 0, 0x44, 0x33, 0x22, 0x11};
    // From after the type table's offset to the table's end.
    auto typeTable =
        static_cast<std::uint8_t>(2 + callSites.size() + actions.size() + types.size());
    std::vector<std::uint8_t> bytes = {0xFF, 0x9B, typeTable, 0x01,
                                       static_cast<std::uint8_t>(callSites.size())};
    for (const auto* part : {&callSites, &actions, &types}) {
        bytes.insert(bytes.end(), part->begin(), part->end());
    }
    return bytes;
}

} // namespace

TEST(StackTrace, CatchClausesOfTheUnwindTables) {
    auto lsda = LsdaWithTypes();
    auto clauses = CatchClauses(lsda, 0x18);
    ASSERT_TRUE(clauses);
    EXPECT_EQ(clauses->Filters, (std::vector<std::int64_t>{1, 2, -1}));
    EXPECT_EQ(clauses->TypeEncoding, 0x9B);
    EXPECT_EQ(clauses->TypeTableEnd, lsda.size());
    auto first = TypeEntryAt(lsda, *clauses, 1);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Value, 0x11223344u);
    EXPECT_EQ(first->Offset, lsda.size() - 4);
    auto any = TypeEntryAt(lsda, *clauses, 2);
    ASSERT_TRUE(any);
    EXPECT_EQ(any->Value, 0u) << "a clause that takes everything";
    EXPECT_EQ(TypeEntryAt(lsda, *clauses, -1), std::nullopt) << "a throw() list";
    EXPECT_EQ(TypeEntryAt(lsda, *clauses, 100), std::nullopt) << "before the data's start";
    // No handler: before the first call site, clean-up only, and a chain that goes round.
    EXPECT_EQ(CatchClauses(lsda, 0x05), std::nullopt);
    EXPECT_EQ(CatchClauses(lsda, 0x30), std::nullopt);
    EXPECT_EQ(CatchClauses(lsda, 0x52), std::nullopt);
    // Cut short anywhere: the clauses or nothing, and no read beyond the span.
    for (size_t size = 0; size < lsda.size(); ++size) {
        SCOPED_TRACE(size);
        std::span<const std::uint8_t> cut(lsda.data(), size);
        if (auto found = CatchClauses(cut, 0x18)) {
            for (std::int64_t filter : found->Filters) {
                TypeEntryAt(cut, *found, filter);
            }
        }
    }
}

namespace {

std::vector<std::string>* calls = nullptr;

void First(const TRaiseInfo&) {
    calls->push_back("first");
}
void Second(const TRaiseInfo&) {
    calls->push_back("second");
}
void Urgent(const TRaiseInfo&) {
    calls->push_back("urgent");
}
void Failing(const TRaiseInfo&) {
    calls->push_back("failing");
    throw ELumGeneralError(u"notifier failed");
}
// Raises again while the notifiers run: that raise is not notified.
void Nested(const TRaiseInfo& raise) {
    calls->push_back("nested");
    NotifyRaise(raise);
}

class Notifiers : public ::testing::Test {
  protected:
    void SetUp() override { calls = &log_; }
    void TearDown() override {
        for (auto notifier : {&First, &Second, &Urgent, &Failing, &Nested}) {
            RemoveExceptNotifier(notifier);
        }
        calls = nullptr;
    }
    std::vector<std::string> log_;
};

} // namespace

TEST_F(Notifiers, RunByPriorityThenInOrderOfRegistration) {
    AddExceptNotifier(&First);
    AddExceptNotifier(&Urgent, TNotifierPriority::npFirst);
    AddExceptNotifier(&Second);
    AddExceptNotifier(&First); // once only
    NotifyRaise({});
    EXPECT_EQ(log_, (std::vector<std::string>{"urgent", "first", "second"}));
    RemoveExceptNotifier(&Urgent);
    log_.clear();
    NotifyRaise({});
    EXPECT_EQ(log_, (std::vector<std::string>{"first", "second"}));
}

TEST_F(Notifiers, ARaiseInsideANotifierIsNotNotifiedAndFailuresStayInside) {
    AddExceptNotifier(&Nested);
    AddExceptNotifier(&Failing);
    AddExceptNotifier(&Second);
    EXPECT_NO_THROW(NotifyRaise({}));
    EXPECT_EQ(log_, (std::vector<std::string>{"nested", "failing", "second"}));
    // The flag is per thread and is cleared afterwards.
    log_.clear();
    std::thread([] { NotifyRaise({}); }).join();
    NotifyRaise({});
    EXPECT_EQ(log_.size(), 6u);
}

TEST(StackTrace, RaiseAddressesAreRecordedPerObject) {
    auto at = [](std::uintptr_t address) { return reinterpret_cast<const void*>(address); };
    ELumGeneralError a(u"a");
    ELumGeneralError b(u"b");
    ELumGeneralError neverThrown(u"c");
    RecordRaise(&a, 0x401010);
    RecordRaise(&b, 0x402020);
    EXPECT_EQ(LastRaiseAddress(), at(0x402020));
    EXPECT_EQ(RaiseAddressOf(a), at(0x401010));
    EXPECT_EQ(RaiseAddressOf(b), at(0x402020));
    EXPECT_EQ(RaiseAddressOf(neverThrown), at(0x402020)); // the thread's latest raise
    // Only the latest eight raises are remembered.
    for (std::uint32_t i = 0; i < 8; ++i) {
        RecordRaise(nullptr, 0x403000 + i);
    }
    EXPECT_EQ(RaiseAddressOf(a), at(0x403007));
    const void* other = at(1);
    std::thread([&] { other = LastRaiseAddress(); }).join();
    EXPECT_EQ(other, nullptr);
    // The address as the report's opening line prints it.
    EXPECT_EQ(Format("Exception address: %p", RaiseAddressOf(b)), "Exception address: 00403007");
}

TEST(StackTrace, TraceOptionsStartWithCaptureOnly) {
    EXPECT_EQ(TraceOptions().Value(), 1u);
    TraceOptions().Include(TTraceOption::toRawStackScan).Include(TTraceOption::toKeepModuleList);
    EXPECT_EQ(TraceOptions().Value(), 21u);
    EXPECT_TRUE(TraceOptions().Contains(TTraceOption::toRawStackScan));
    EXPECT_FALSE(TraceOptions().Contains(TTraceOption::toAllModules));
    TraceOptions().Exclude(TTraceOption::toRawStackScan).Exclude(TTraceOption::toKeepModuleList);
    EXPECT_EQ(TraceOptions().Value(), 1u);
}

TEST(SysFaults, FaultsBecomeTheRuntimesExceptions) {
    struct Case {
        TProcessorFault Fault;
        const char* ClassName;
        const char16_t* Message;
    };
    const Case cases[] = {
        {{kFaultAccessViolation, 0x00401234, u"Ostrin.exe", 0, 0},
         "EAccessViolation",
         u"Access violation at address 00401234 in module 'Ostrin.exe'. Read of address 00000000"},
        {{kFaultAccessViolation, 0x00401234, u"Ostrin.exe", 1, 0x10},
         "EAccessViolation",
         u"Access violation at address 00401234 in module 'Ostrin.exe'. Write of address 00000010"},
        {{kFaultAccessViolation, 0, u"", 8, 0},
         "EAccessViolation",
         u"Access violation at address 00000000. Execution of address 00000000"},
        {{kFaultIntDivideByZero, 0x00401000, u"Ostrin.exe", 0, 0},
         "EDivByZero",
         u"Division by zero"},
        {{kFaultIntOverflow, 0x00401000, u"Ostrin.exe", 0, 0}, "EIntOverflow", u"Integer overflow"},
        {{kFaultStackOverflow, 0x00401000, u"Ostrin.exe", 1, 0x00031FFC},
         "EStackOverflow",
         u"Stack overflow"},
        {{kFaultPrivilegedInstruction, 0x00401000, u"Ostrin.exe", 0, 0},
         "EPrivilege",
         u"Privileged instruction"},
        {{kFaultIllegalInstruction, 0x00401000, u"Ostrin.exe", 0, 0},
         "EExternalException",
         u"External exception C000001D"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ClassName);
        EXPECT_TRUE(IsMappedFault(c.Fault.Code));
        try {
            RaiseProcessorFault(c.Fault);
            ADD_FAILURE() << "no exception";
        } catch (const EExternal& error) {
            EXPECT_STREQ(error.ClassName(), c.ClassName);
            EXPECT_EQ(error.Message(), c.Message);
            EXPECT_EQ(error.ExceptionCode(), c.Fault.Code);
            EXPECT_EQ(error.ExceptionAddress(), c.Fault.Address);
        }
    }
    EXPECT_FALSE(IsMappedFault(0x80000003)); // a breakpoint stays with the system
    EXPECT_FALSE(IsMappedFault(0xE06D7363));
}
