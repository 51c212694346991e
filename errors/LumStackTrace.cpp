#include "errors/LumStackTrace.h"

#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumScopeGuard.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constinit TTraceOptions options(static_cast<unsigned>(TTraceOption::toCaptureStack));

struct Notifier {
    TExceptNotifier Function;
    TNotifierPriority Priority;
};

// Made on first use, so that raises during the start of other modules find them.
std::mutex& NotifierLock() {
    static std::mutex lock;
    return lock;
}

std::vector<Notifier>& Notifiers() {
    static std::vector<Notifier> notifiers;
    return notifiers;
}

// Set while this thread runs the notifiers: a raise inside one is not notified again.
constinit thread_local bool notifying = false;

// The latest raises of this thread, for RaiseAddressOf: a few, since a handler may raise and
// catch again before the exception it handles is reported.
struct RecentRaise {
    const Exception* Error;
    std::uint32_t Address;
};
constexpr size_t kRecentRaises = 8;
constinit thread_local RecentRaise recentRaises[kRecentRaises] = {};
constinit thread_local size_t nextRaise = 0;
constinit thread_local std::uint32_t lastRaiseAddress = 0;

const void* AsPointer(std::uint32_t address) {
    return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address));
}

// The length of an indirect call (FF /2) from its ModR/M byte and, when it has one, its SIB
// byte; -1 when the encoding needs a SIB byte that is not there.
int IndirectCallLength(std::uint8_t modrm, std::optional<std::uint8_t> sib) {
    int mod = modrm >> 6;
    int rm = modrm & 7;
    if (mod == 3) {
        return 2;
    }
    if (rm == 4 && !sib) {
        return -1;
    }
    switch (mod) {
    case 0:
        return rm == 4 ? ((*sib & 7) == 5 ? 7 : 3) : rm == 5 ? 6 : 2;
    case 1:
        return rm == 4 ? 4 : 3;
    default:
        return rm == 4 ? 7 : 6;
    }
}

} // namespace

// ---- Options ----

TTraceOptions& TTraceOptions::Include(TTraceOption option) {
    bits_.fetch_or(static_cast<unsigned>(option), std::memory_order_relaxed);
    return *this;
}

TTraceOptions& TTraceOptions::Exclude(TTraceOption option) {
    bits_.fetch_and(~static_cast<unsigned>(option), std::memory_order_relaxed);
    return *this;
}

bool TTraceOptions::Contains(TTraceOption option) const {
    return (Value() & static_cast<unsigned>(option)) != 0;
}

TTraceOptions& TraceOptions() {
    return options;
}

// ---- Raise notification ----

void AddExceptNotifier(TExceptNotifier notifier, TNotifierPriority priority) {
    std::lock_guard lock(NotifierLock());
    std::vector<Notifier>& notifiers = Notifiers();
    auto same = [&](const Notifier& n) { return n.Function == notifier; };
    if (std::find_if(notifiers.begin(), notifiers.end(), same) != notifiers.end()) {
        return;
    }
    // After the last one of the same or a higher priority.
    auto at = std::find_if(notifiers.begin(), notifiers.end(),
                           [&](const Notifier& n) { return n.Priority < priority; });
    notifiers.insert(at, {notifier, priority});
}

void RemoveExceptNotifier(TExceptNotifier notifier) {
    std::lock_guard lock(NotifierLock());
    std::erase_if(Notifiers(), [&](const Notifier& n) { return n.Function == notifier; });
}

void NotifyRaise(const TRaiseInfo& raise) {
    if (notifying) {
        return;
    }
    TRestore busy(notifying, true);
    // Nothing may leave: the raise that is being notified must go on as it was.
    try {
        std::vector<Notifier> current;
        {
            std::lock_guard lock(NotifierLock());
            current = Notifiers();
        }
        for (const Notifier& notifier : current) {
            try {
                notifier.Function(raise);
            } catch (...) {
            }
        }
    } catch (...) {
    }
}

void RecordRaise(const Exception* error, std::uint32_t address) {
    lastRaiseAddress = address;
    recentRaises[nextRaise] = {error, address};
    nextRaise = (nextRaise + 1) % kRecentRaises;
}

const void* LastRaiseAddress() {
    return AsPointer(lastRaiseAddress);
}

const void* RaiseAddressOf(const Exception& error) {
    for (size_t i = 1; i <= kRecentRaises; ++i) {
        const RecentRaise& raise = recentRaises[(nextRaise + kRecentRaises - i) % kRecentRaises];
        if (raise.Error == &error) {
            return AsPointer(raise.Address);
        }
    }
    return AsPointer(lastRaiseAddress);
}

// ---- Captured stacks ----

void TLumGlobalStackList::Add(std::shared_ptr<const TLumStackInfoList> list) {
    // Released after the lock.
    std::shared_ptr<const TLumStackInfoList> previous;
    std::shared_ptr<const TLumStackInfoList> oldest;
    std::lock_guard lock(lock_);
    if (recent_.size() == kRecent) {
        oldest = std::move(recent_.front());
        recent_.erase(recent_.begin());
    }
    recent_.push_back(list);
    for (auto& held : lists_) {
        if (held->ThreadID() == list->ThreadID()) {
            previous = std::exchange(held, std::move(list));
            return;
        }
    }
    lists_.push_back(std::move(list));
}

std::shared_ptr<const TLumStackInfoList> TLumGlobalStackList::Find(std::uint32_t threadId) const {
    std::lock_guard lock(lock_);
    for (const auto& held : lists_) {
        if (held->ThreadID() == threadId) {
            return held;
        }
    }
    return nullptr;
}

std::shared_ptr<const TLumStackInfoList> TLumGlobalStackList::FindRaised(std::uint32_t threadId,
                                                                         const void* raised) const {
    {
        std::lock_guard lock(lock_);
        // Newest first: an object's address may be used again by a later exception.
        for (auto it = recent_.rbegin(); raised && it != recent_.rend(); ++it) {
            if ((*it)->ThreadID() == threadId && (*it)->Raised() == raised) {
                return *it;
            }
        }
    }
    return Find(threadId);
}

int TLumGlobalStackList::Count() const {
    std::lock_guard lock(lock_);
    return static_cast<int>(lists_.size());
}

void TLumGlobalStackList::Clear() {
    std::vector<std::shared_ptr<const TLumStackInfoList>> released;
    std::vector<std::shared_ptr<const TLumStackInfoList>> releasedRecent;
    std::lock_guard lock(lock_);
    released.swap(lists_);
    releasedRecent.swap(recent_);
}

TLumGlobalStackList& GlobalStackList() {
    static TLumGlobalStackList list;
    return list;
}

// ---- Frame text ----

std::string FormatFrameText(std::uint32_t address, const TLumLocationInfo* location,
                            std::string_view moduleName, bool includeModuleName,
                            bool includeAddressOffset, bool includeLineOffset) {
    std::string text;
    if (!location) {
        text = Format("[%p]", AsPointer(address));
    } else if (location->LineNumber == 0) {
        std::string offset =
            includeAddressOffset ? Format(" + $%x", location->OffsetFromProcedure) : std::string();
        text = location->UnitName.empty()
                   ? Format("[%p] %s%s", AsPointer(address), location->ProcedureName, offset)
                   : Format("[%p] %s.%s%s", AsPointer(address), location->UnitName,
                            location->ProcedureName, offset);
    } else {
        std::string lineOffset;
        if (includeLineOffset && location->ProcedureFirstLine > 0) {
            lineOffset = Format(" + %d", std::int64_t{location->LineNumber} -
                                             std::int64_t{location->ProcedureFirstLine});
        }
        std::string offset;
        if (includeAddressOffset) {
            std::int64_t fromLine = location->OffsetFromLine;
            offset = fromLine >= 0 ? Format(" + $%x", fromLine) : Format(" - $%x", -fromLine);
        }
        text = Format("[%p] %s.%s (Line %u, \"%s\"%s)%s", AsPointer(address), location->UnitName,
                      location->ProcedureName, location->LineNumber, location->SourceName,
                      lineOffset, offset);
    }
    if (includeModuleName) {
        // Right after the bracketed address: "[" + eight digits + "]".
        text.insert(10, Format("{%-12s}", moduleName));
    }
    return text;
}

// ---- Stack walking ----

TCodeView::TCodeView(std::span<const TModuleImage> modules, std::uint32_t hookStart,
                     std::uint32_t hookEnd)
    : modules_(modules), hookStart_(hookStart), hookEnd_(hookEnd) {
    if (modules.empty()) {
        return;
    }
    std::uint32_t high = 0;
    low_ = ~std::uint32_t{0};
    for (const TModuleImage& module : modules) {
        low_ = std::min(low_, module.Start);
        high = std::max(high, module.End);
    }
    span_ = high > low_ ? high - low_ : 0;
}

bool TCodeView::Accepted(std::uint32_t address) const {
    for (const TModuleImage& module : modules_) {
        if (address >= module.Start && address < module.End) {
            return true;
        }
    }
    return false;
}

std::optional<std::array<std::uint8_t, 8>> TCodeView::BytesBefore(std::uint32_t address) const {
    if (address < 8) {
        return std::nullopt;
    }
    std::uint32_t from = address - 8;
    for (const TModuleImage& module : modules_) {
        if (address < module.Start || address > module.End) {
            continue;
        }
        for (const TModuleImage::Region& region : module.Readable) {
            if (from >= region.Address && address - region.Address <= region.Bytes.size()) {
                std::array<std::uint8_t, 8> bytes;
                std::memcpy(bytes.data(), region.Bytes.data() + (from - region.Address), 8);
                return bytes;
            }
        }
    }
    return std::nullopt;
}

int CallInstructionLength(const std::array<std::uint8_t, 8>& before) {
    if (before[3] == 0xE8) {
        return 5;
    }
    for (int length : {2, 3, 4, 6, 7}) {
        size_t at = before.size() - static_cast<size_t>(length);
        std::uint8_t modrm = before[at + 1];
        if (before[at] != 0xFF || ((modrm >> 3) & 7) != 2) {
            continue;
        }
        std::optional<std::uint8_t> sib;
        if (at + 2 < before.size()) {
            sib = before[at + 2];
        }
        if (IndirectCallLength(modrm, sib) == length) {
            return length;
        }
    }
    return 0;
}

std::vector<std::uint32_t> StackFrames(std::span<const std::uint32_t> stack,
                                       std::uint32_t stackAddress, std::uint32_t framePointer,
                                       bool raw, const TCodeView& code) {
    std::vector<std::uint32_t> frames;
    auto callerOf = [&](std::uint32_t returnAddress) -> std::optional<std::uint32_t> {
        if (!code.Accepted(returnAddress)) {
            return std::nullopt;
        }
        auto before = code.BytesBefore(returnAddress);
        int length = before ? CallInstructionLength(*before) : 0;
        if (length == 0) {
            return std::nullopt;
        }
        return returnAddress - static_cast<std::uint32_t>(length);
    };
    if (raw) {
        for (std::uint32_t word : stack) {
            // Most words of a stack point nowhere near code: one comparison rules them out.
            if (!code.InSpan(word)) {
                continue;
            }
            auto caller = callerOf(word);
            if (caller && (frames.empty() || frames.back() != *caller)) {
                frames.push_back(*caller);
            }
        }
        return frames;
    }
    std::uint64_t top = stackAddress + std::uint64_t{stack.size()} * 4;
    std::uint32_t frame = framePointer;
    while (frame >= stackAddress && frame % 4 == 0 && frame + std::uint64_t{8} <= top) {
        size_t at = (frame - stackAddress) / 4;
        std::uint32_t outer = stack[at];
        if (auto caller = callerOf(stack[at + 1])) {
            frames.push_back(*caller);
        }
        if (outer <= frame) {
            break; // the chain must go up the stack, or it ends (or loops)
        }
        frame = outer;
    }
    return frames;
}

namespace {

// The encodings of values in unwind tables that the language-specific data uses.
constexpr std::uint8_t kEncodingOmit = 0xFF;

// Reads the language-specific data; every read checks the end and fails from then on.
class TLsdaReader {
  public:
    explicit TLsdaReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool Ok() const { return ok_; }
    size_t Position() const { return pos_; }

    std::uint8_t Byte() {
        if (!ok_ || pos_ >= bytes_.size()) {
            ok_ = false;
            return 0;
        }
        return bytes_[pos_++];
    }

    std::int64_t Sleb128() {
        std::uint64_t value = 0;
        unsigned shift = 0;
        std::uint8_t b = 0;
        do {
            b = Byte();
            if (shift < 64) {
                value |= std::uint64_t{b & 0x7Fu} << shift;
            }
            shift += 7;
        } while (ok_ && (b & 0x80));
        if (shift < 64 && (b & 0x40)) {
            value |= ~std::uint64_t{0} << shift;
        }
        return static_cast<std::int64_t>(value);
    }

    std::uint64_t Uleb128() {
        std::uint64_t value = 0;
        for (unsigned shift = 0; ok_; shift += 7) {
            std::uint8_t b = Byte();
            if (shift < 64) {
                value |= std::uint64_t{b & 0x7Fu} << shift;
            }
            if (!(b & 0x80)) {
                break;
            }
        }
        return value;
    }

    // A value of the encoding's format; the application part (relative to the text, the
    // function and so on) does not change it here: only whether it is zero is used, and the
    // positions of call sites are always relative to the function's start.
    std::uint64_t Encoded(std::uint8_t encoding) {
        switch (encoding & 0x0F) {
        case 0x00: // pointer
        case 0x03: // unsigned 4 bytes
        case 0x0B: // signed 4 bytes
            return Fixed(4);
        case 0x01: // ULEB128
        case 0x09: // SLEB128, the same bytes; call sites never use it
            return Uleb128();
        case 0x02:
        case 0x0A:
            return Fixed(2);
        case 0x04:
        case 0x0C:
            return Fixed(8);
        default:
            ok_ = false;
            return 0;
        }
    }

  private:
    std::uint64_t Fixed(int size) {
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= std::uint64_t{Byte()} << (8 * i);
        }
        return value;
    }

    std::span<const std::uint8_t> bytes_;
    size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace

namespace {

// The parts of the language-specific data that the questions below need.
struct TLsdaHeader {
    std::uint8_t TypeEncoding = kEncodingOmit;
    size_t TypeTableEnd = 0;
    size_t ActionTable = 0;
};

struct TCallSite {
    std::uint64_t LandingPad = 0;
    std::uint64_t Action = 0;
};

// The call-site entry for the instruction at `offset`, when the data has one.
std::optional<TCallSite> FindCallSite(std::span<const std::uint8_t> lsda, std::uint64_t offset,
                                      TLsdaHeader& header) {
    TLsdaReader reader(lsda);
    std::uint8_t landingPadBase = reader.Byte();
    if (landingPadBase != kEncodingOmit) {
        reader.Encoded(landingPadBase);
    }
    header.TypeEncoding = reader.Byte();
    if (header.TypeEncoding != kEncodingOmit) {
        std::uint64_t typeTable = reader.Uleb128();
        if (typeTable > lsda.size() - std::min(reader.Position(), lsda.size())) {
            return std::nullopt;
        }
        header.TypeTableEnd = reader.Position() + static_cast<size_t>(typeTable);
    }
    std::uint8_t callSiteEncoding = reader.Byte();
    std::uint64_t tableLength = reader.Uleb128();
    if (!reader.Ok() || tableLength > lsda.size() - reader.Position()) {
        return std::nullopt;
    }
    size_t end = reader.Position() + static_cast<size_t>(tableLength);
    header.ActionTable = end;
    while (reader.Ok() && reader.Position() < end) {
        std::uint64_t start = reader.Encoded(callSiteEncoding);
        std::uint64_t length = reader.Encoded(callSiteEncoding);
        std::uint64_t landingPad = reader.Encoded(callSiteEncoding);
        std::uint64_t action = reader.Uleb128();
        if (!reader.Ok()) {
            break;
        }
        // The table is sorted by start.
        if (offset < start) {
            break;
        }
        if (offset - start < length) {
            return TCallSite{landingPad, action};
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<TExceptFrameKind> LandingPadKind(std::span<const std::uint8_t> lsda,
                                               std::uint64_t offset) {
    TLsdaHeader header;
    std::optional<TCallSite> site = FindCallSite(lsda, offset, header);
    if (!site || site->LandingPad == 0) {
        return std::nullopt;
    }
    return site->Action == 0 ? TExceptFrameKind::efCleanup : TExceptFrameKind::efHandler;
}

std::optional<TCatchClauses> CatchClauses(std::span<const std::uint8_t> lsda,
                                          std::uint64_t offset) {
    TLsdaHeader header;
    std::optional<TCallSite> site = FindCallSite(lsda, offset, header);
    if (!site || site->LandingPad == 0 || site->Action == 0) {
        return std::nullopt;
    }
    TCatchClauses clauses;
    clauses.TypeEncoding = header.TypeEncoding;
    clauses.TypeTableEnd = header.TypeTableEnd;
    // The action records form a chain; a record's second number leads from where it stands
    // to the next record, 0 ends the chain. A chain that goes round ends at the bound.
    std::uint64_t at = header.ActionTable + (site->Action - 1);
    for (int record = 0; record < 64; ++record) {
        if (at >= lsda.size()) {
            return std::nullopt;
        }
        TLsdaReader reader(lsda.subspan(static_cast<size_t>(at)));
        std::int64_t filter = reader.Sleb128();
        size_t next = reader.Position();
        std::int64_t displacement = reader.Sleb128();
        if (!reader.Ok()) {
            return std::nullopt;
        }
        if (filter != 0) {
            clauses.Filters.push_back(filter);
        }
        if (displacement == 0) {
            return clauses;
        }
        at += next + static_cast<std::uint64_t>(displacement);
    }
    return std::nullopt;
}

std::optional<TTypeEntry> TypeEntryAt(std::span<const std::uint8_t> lsda,
                                      const TCatchClauses& clauses, std::int64_t filter) {
    // Four-byte entries only: what GCC writes for 32-bit code.
    constexpr size_t kEntrySize = 4;
    std::uint8_t format = clauses.TypeEncoding & 0x0F;
    if (filter <= 0 || (format != 0x00 && format != 0x03 && format != 0x0B) ||
        static_cast<std::uint64_t>(filter) > clauses.TypeTableEnd / kEntrySize ||
        clauses.TypeTableEnd > lsda.size()) {
        return std::nullopt;
    }
    TTypeEntry entry{0, clauses.TypeTableEnd - static_cast<size_t>(filter) * kEntrySize};
    for (size_t i = 0; i < kEntrySize; ++i) {
        entry.Value |= std::uint32_t{lsda[entry.Offset + i]} << (8 * i);
    }
    return entry;
}

std::vector<TLumStackInfoItem> RaiseFrames(const TRaiseInfo& raise,
                                           std::span<const std::uint32_t> stack, bool raw,
                                           const TCodeView& code) {
    std::vector<TLumStackInfoItem> items;
    if (raise.OSException) {
        items.push_back({raise.Address, 0});
    }
    for (std::uint32_t caller :
         StackFrames(stack, raise.StackPointer, raise.FramePointer, raw, code)) {
        if (!code.InRaiseHook(caller)) {
            items.push_back({caller, static_cast<int>(items.size())});
        }
    }
    return items;
}
