#pragma once
// Stack capture at every raise. Every exception is seen before any handler runs: C++ throws
// through the wrapped throw entry (-Wl,--wrap=__cxa_throw on every win32 executable), and
// processor faults when the runtime raises them as exceptions (errors/LumSysFaults.h). The
// registered notifiers then run, higher priority first, at most once at a time per thread;
// while tracking is on, the stack notifier keeps the raising thread's stack, so that a report
// shows the stack of the raise, not of the place that reports it. A throw that the throwing
// function catches itself (a fallback inside one function) cannot reach a report as it is, so
// the notifiers are not run for it; when that handler throws it again (`throw;`), they run
// then, with the stack from the handler (-Wl,--wrap=__cxa_rethrow).
//
// A frame's text comes from the executable's own debug information (section LUM.DBG):
//   "[00401234] OstrinFrm.TOstrinForm::Timer1Timer (Line 27, \"OstrinFrm.cpp\" + 1) + $5"
//   "[00402345] __cxa_throw + $12"           code known by its symbol only
//   "[7B012345]"                             another module, or no information

#include "debuginfo/LumDebugInfo.h"
#include "toolkit/base/LumUnits.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

class Exception;

// ---- Options ----

enum class TTraceOption : unsigned {
    /// Capture the stack at every raise.
    toCaptureStack = 1,
    /// With the stack, capture the exception frames: the frames the raise will unwind into
    /// that have a handler or clean-up code for it, as the unwind tables say.
    toCaptureExceptionFrames = 2,
    /// Scan the stack word by word instead of following the frame pointers.
    toRawStackScan = 4,
    /// Accept frames in every module, not only in the runtime's own (the executable).
    toAllModules = 8,
    /// Build the list of modules once and keep it.
    toKeepModuleList = 16,
};

/// The options as a set; changes are atomic, since raises on any thread read them.
class TTraceOptions {
  public:
    constexpr explicit TTraceOptions(unsigned bits) : bits_(bits) {}
    TTraceOptions(const TTraceOptions&) = delete;
    TTraceOptions& operator=(const TTraceOptions&) = delete;

    TTraceOptions& Include(TTraceOption option);
    TTraceOptions& Exclude(TTraceOption option);
    bool Contains(TTraceOption option) const;
    unsigned Value() const { return bits_.load(std::memory_order_relaxed); }
    void SetValue(unsigned bits) { bits_.store(bits, std::memory_order_relaxed); }

  private:
    std::atomic<unsigned> bits_;
};

/// The process's options: {toCaptureStack} at first; the exception dialog adds the raw scan
/// and the kept module list (21).
TTraceOptions& TraceOptions();

// ---- Raise notification ----

/// What a notifier learns of a raise.
struct TRaiseInfo {
    /// The object being thrown and its type.
    const void* Object = nullptr;
    const std::type_info* Type = nullptr;
    /// The object as the runtime's exception, or null when it is none.
    const Exception* LumException = nullptr;
    /// The raising instruction: the call of the throw, or the instruction that faulted.
    std::uint32_t Address = 0;
    /// A processor or system fault raised as an exception, not a throw.
    bool OSException = false;
    /// Where the raise's part of the stack begins: the throw hook's frame (the saved frame
    /// pointer, then the return into the throwing code), for a fault the faulting stack
    /// pointer; and the frame pointer from which the frame chain goes on.
    std::uint32_t StackPointer = 0;
    std::uint32_t FramePointer = 0;
};

using TExceptNotifier = void (*)(const TRaiseInfo& raise);

enum class TNotifierPriority { npNormal, npFirst };

/// Registers a notifier; notifiers of the first priority run before the normal ones, each
/// group in the order of registration. Registering one twice changes nothing.
void AddExceptNotifier(TExceptNotifier notifier,
                       TNotifierPriority priority = TNotifierPriority::npNormal);
void RemoveExceptNotifier(TExceptNotifier notifier);

/// Calls the notifiers for a raise unless notifiers already run on this thread (a raise
/// inside a notifier is not notified). A notifier's escaping exception is dropped, so that
/// the raise goes on with its own exception.
void NotifyRaise(const TRaiseInfo& raise);

/// Notes a raise of this thread for LastRaiseAddress and RaiseAddressOf; the raise hooks call
/// it for every raise, whether notifiers run or not.
void RecordRaise(const Exception* error, std::uint32_t address);

/// The raising instruction of the latest raise on this thread; null before the first.
const void* LastRaiseAddress();

/// The raising instruction of an exception object the hooks saw thrown on this thread (one
/// of the latest few), as reports print it ("Exception address: %p"); for any other object,
/// such as one made in a handler and never thrown, the latest raise of the thread.
const void* RaiseAddressOf(const Exception& error);

// ---- Captured stacks ----

struct TLumStackInfoItem {
    /// The call instruction the frame returns to (not the return address); for the first
    /// entry of a fault, the faulting instruction.
    std::uint32_t CallerAddress = 0;
    /// 0 for the innermost frame.
    int Level = 0;
};

/// What a frame does with an exception that unwinds into it.
enum class TExceptFrameKind {
    /// It runs clean-up code (destructors) and lets the exception go on.
    efCleanup,
    /// It has a handler (a catch clause or a throw() list) for the call.
    efHandler,
};

/// An exception frame: a frame on the raise's way out that has code for the exception.
struct TLumExceptFrame {
    /// As in TLumStackInfoItem.
    std::uint32_t CallerAddress = 0;
    TExceptFrameKind Kind = TExceptFrameKind::efCleanup;
};

/// A local date and time, as the system clock gave it.
struct TLumLocalTime {
    std::uint16_t Year = 0;
    std::uint16_t Month = 0;
    std::uint16_t Day = 0;
    std::uint16_t Hour = 0;
    std::uint16_t Minute = 0;
    std::uint16_t Second = 0;
    std::uint16_t Milliseconds = 0;
};

/// One captured stack, innermost frame first. Not changed after capture, so a list can be
/// shared by the thread that made it and the one that reports it.
class TLumStackInfoList {
  public:
    /// `raised` is the exception object whose raise was captured (only compared, never used),
    /// null when unknown.
    TLumStackInfoList(std::uint32_t threadId, TLumLocalTime timeStamp,
                      std::vector<TLumStackInfoItem> items, const void* raised = nullptr,
                      std::vector<TLumExceptFrame> exceptFrames = {})
        : threadId_(threadId), timeStamp_(timeStamp), items_(std::move(items)), raised_(raised),
          exceptFrames_(std::move(exceptFrames)) {}

    std::uint32_t ThreadID() const { return threadId_; }
    const TLumLocalTime& TimeStamp() const { return timeStamp_; }
    const std::vector<TLumStackInfoItem>& Items() const { return items_; }
    int Count() const { return static_cast<int>(items_.size()); }
    const void* Raised() const { return raised_; }
    /// The exception frames, innermost first; empty unless toCaptureExceptionFrames was set.
    const std::vector<TLumExceptFrame>& ExceptFrames() const { return exceptFrames_; }

  private:
    std::uint32_t threadId_;
    TLumLocalTime timeStamp_;
    std::vector<TLumStackInfoItem> items_;
    const void* raised_;
    std::vector<TLumExceptFrame> exceptFrames_;
};

/// The process's captured stacks under one lock: the latest of each thread, and the few
/// latest of the whole process, so that the stack of an exception is still found after a
/// handler raised and caught another one before it reported the first.
class TLumGlobalStackList {
  public:
    TLumGlobalStackList() = default;
    TLumGlobalStackList(const TLumGlobalStackList&) = delete;
    TLumGlobalStackList& operator=(const TLumGlobalStackList&) = delete;

    /// Stores the list as its thread's, releasing the thread's previous one (unless it is
    /// one of the few latest).
    void Add(std::shared_ptr<const TLumStackInfoList> list);
    /// The thread's list, or null. The list stays valid for the caller even when the thread
    /// captures again.
    std::shared_ptr<const TLumStackInfoList> Find(std::uint32_t threadId) const;
    /// The thread's latest list that was captured for the raise of `raised`; the thread's
    /// latest list when none of the kept ones was.
    std::shared_ptr<const TLumStackInfoList> FindRaised(std::uint32_t threadId,
                                                        const void* raised) const;
    /// The number of threads with a list.
    int Count() const;
    void Clear();

  private:
    static constexpr std::size_t kRecent = 16;

    mutable std::mutex lock_;
    std::vector<std::shared_ptr<const TLumStackInfoList>> lists_;
    // The latest lists of all threads, oldest first.
    std::vector<std::shared_ptr<const TLumStackInfoList>> recent_;
};

TLumGlobalStackList& GlobalStackList();

// ---- Frame text ----

/// Where an address lies, as far as the debug information knows: what the debug information's
/// lookup answers (unit, procedure, line, file and the offsets), for which address and from
/// which debug section.
struct TLumLocationInfo : TDebugLocation {
    std::uint32_t Address = 0;
    /// What answered: the debug section's name.
    std::string DebugInfo;
};

/// One frame's line from what is known of it (see FrameText).
std::string FormatFrameText(std::uint32_t address, const TLumLocationInfo* location,
                            std::string_view moduleName, bool includeModuleName,
                            bool includeAddressOffset, bool includeLineOffset);

// ---- Stack walking, on memory that the caller provides ----

/// A module whose frames count: its address range and the parts of it that can be read.
struct TModuleImage {
    std::uint32_t Start = 0;
    std::uint32_t End = 0;
    struct Region {
        std::uint32_t Address;
        std::span<const std::uint8_t> Bytes;
    };
    std::vector<Region> Readable;
};

/// The code the stack walk may look at.
class TCodeView {
  public:
    TCodeView(std::span<const TModuleImage> modules, std::uint32_t hookStart,
              std::uint32_t hookEnd);

    /// The address lies between the lowest module's start and the highest one's end: what
    /// fails this needs no further look.
    bool InSpan(std::uint32_t address) const { return address - low_ < span_; }

    /// The address lies in one of the modules.
    bool Accepted(std::uint32_t address) const;
    /// The eight bytes before the address, when all of them can be read.
    std::optional<std::array<std::uint8_t, 8>> BytesBefore(std::uint32_t address) const;
    /// The address lies in the raise hooks' own code.
    bool InRaiseHook(std::uint32_t address) const {
        return address >= hookStart_ && address < hookEnd_;
    }

  private:
    std::span<const TModuleImage> modules_;
    std::uint32_t hookStart_;
    std::uint32_t hookEnd_;
    std::uint32_t low_ = 0;
    std::uint32_t span_ = 0;
};

/// The length of the call instruction that ends right before a return address, given the
/// eight bytes before it: a direct call of 5 bytes, then indirect calls (FF /2) of 2, 3, 4, 6
/// and 7 bytes, checked in that order; 0 when the bytes end in no call.
int CallInstructionLength(const std::array<std::uint8_t, 8>& before);

/// The caller addresses of the frames on a stack, innermost first. `stack` holds the words
/// from `stackAddress` up to the stack's top. A raw scan takes every word that points into an
/// accepted module right after a call instruction (a frame equal to the one before is
/// skipped); otherwise the frame pointers are followed from `framePointer` while they stay on
/// the stack and go up.
std::vector<std::uint32_t> StackFrames(std::span<const std::uint32_t> stack,
                                       std::uint32_t stackAddress, std::uint32_t framePointer,
                                       bool raw, const TCodeView& code);

/// What the language-specific data of a function's unwind tables (`lsda`, as GCC writes it)
/// say of the instruction `offset` bytes after the function's start (for a call, its return
/// address less one): a handler or clean-up code for it, or nothing (no landing pad, no entry,
/// or data that cannot be read; nothing beyond the span is read).
std::optional<TExceptFrameKind> LandingPadKind(std::span<const std::uint8_t> lsda,
                                               std::uint64_t offset);

/// The catch clauses of a function's handler for one instruction, in the order the runtime
/// tries them.
struct TCatchClauses {
    /// Per clause its filter: a type-table index (1 and up) for a catch clause, a negative
    /// number for a throw() list.
    std::vector<std::int64_t> Filters;
    /// How the type table's entries are stored, and where in the data that table ends (its
    /// entries go down from there, the first right before the end).
    std::uint8_t TypeEncoding = 0xFF;
    size_t TypeTableEnd = 0;
};

/// The catch clauses that the language-specific data (as in LandingPadKind) has for the
/// instruction `offset` bytes after the function's start; nothing when the instruction has no
/// handler (clean-up code only, no landing pad, no entry) or the data cannot be read. Nothing
/// beyond the span is read.
std::optional<TCatchClauses> CatchClauses(std::span<const std::uint8_t> lsda, std::uint64_t offset);

/// A type-table entry as stored: four bytes, before the encoding's relative base or
/// indirection is applied (0 for a clause that takes every exception), and where it stands
/// in the data.
struct TTypeEntry {
    std::uint32_t Value = 0;
    size_t Offset = 0;
};

/// The type-table entry of a catch clause; nothing for a filter that is not a catch clause,
/// an entry outside the data or an entry size other than four bytes.
std::optional<TTypeEntry> TypeEntryAt(std::span<const std::uint8_t> lsda,
                                      const TCatchClauses& clauses, std::int64_t filter);

/// The frames of a raise: for a fault its address first, then the frames of its stack
/// without those inside the raise hooks.
std::vector<TLumStackInfoItem> RaiseFrames(const TRaiseInfo& raise,
                                           std::span<const std::uint32_t> stack, bool raw,
                                           const TCodeView& code);
