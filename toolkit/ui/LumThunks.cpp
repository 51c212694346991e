#include "toolkit/ui/LumThunks.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/ui/LumApplication.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// One stub: pop the return address, push the thunk, push the return address back, jump to
// the entry. The entry is stdcall with the thunk as its first argument and so takes the
// four arguments of the window procedure plus the thunk off the stack.
constexpr size_t kSlotSize = 16;
constexpr size_t kPageSize = 4096;
constexpr size_t kSlotsPerPage = kPageSize / kSlotSize;

struct Page {
    std::uint8_t* Base;
    std::vector<bool> Used;
    size_t UsedCount = 0;
};

// Stubs live in pages that are executable and read-only except for the moment a slot is
// written; pages with no slot in use are given back.
class StubPool {
  public:
    /// A free slot, taken; the code is written by Fill.
    std::uint8_t* Reserve() {
        Page* page = FreePage();
        size_t slot = 0;
        while (page->Used[slot]) {
            ++slot;
        }
        page->Used[slot] = true;
        ++page->UsedCount;
        return page->Base + slot * kSlotSize;
    }

    static void Fill(std::uint8_t* at, const std::uint8_t (&code)[kSlotSize]) {
        // Pages are aligned to their size, so the slot's page starts at the address rounded down.
        auto base = reinterpret_cast<std::uint8_t*>(reinterpret_cast<std::uintptr_t>(at) &
                                                    ~static_cast<std::uintptr_t>(kPageSize - 1));
        DWORD old = 0;
        Win32Check(VirtualProtect(base, kPageSize, PAGE_READWRITE, &old));
        std::memcpy(at, code, kSlotSize);
        Win32Check(VirtualProtect(base, kPageSize, PAGE_EXECUTE_READ, &old));
        Win32Check(FlushInstructionCache(GetCurrentProcess(), at, kSlotSize));
    }

    void Release(void* stub) {
        auto at = static_cast<std::uint8_t*>(stub);
        for (auto it = pages_.begin(); it != pages_.end(); ++it) {
            if (at < it->Base || at >= it->Base + kPageSize) {
                continue;
            }
            it->Used[static_cast<size_t>(at - it->Base) / kSlotSize] = false;
            if (--it->UsedCount == 0) {
                VirtualFree(it->Base, 0, MEM_RELEASE);
                pages_.erase(it);
            }
            return;
        }
    }

  private:
    Page* FreePage() {
        for (Page& page : pages_) {
            if (page.UsedCount < kSlotsPerPage) {
                return &page;
            }
        }
        void* base = VirtualAlloc(nullptr, kPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        Win32Check(base != nullptr);
        DWORD old = 0;
        if (!VirtualProtect(base, kPageSize, PAGE_EXECUTE_READ, &old)) {
            DWORD error = GetLastError();
            VirtualFree(base, 0, MEM_RELEASE);
            RaiseOSError(error);
        }
        pages_.push_back({static_cast<std::uint8_t*>(base), std::vector<bool>(kSlotsPerPage)});
        return &pages_.back();
    }

    std::vector<Page> pages_;
};

StubPool& Pool() {
    static StubPool pool;
    return pool;
}

void Put32(std::uint8_t* at, std::uint32_t value) {
    std::memcpy(at, &value, sizeof value);
}

} // namespace

TLumWndProcThunk::TLumWndProcThunk(TLumPersistent* sender, Handler handler)
    : sender_(sender), handler_(std::move(handler)) {
    std::uint8_t code[kSlotSize] = {0x58,                     // pop eax
                                    0x68, 0,    0,    0,   0, // push this
                                    0x50,                     // push eax
                                    0xE9, 0,    0,    0,   0, // jmp Entry
                                    0xCC, 0xCC, 0xCC, 0xCC};  // int3 padding
    std::uint8_t* stub = Pool().Reserve();
    auto release = OnScopeFailure([stub] { Pool().Release(stub); });
    Put32(code + 2, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(this)));
    // The jump's distance counts from the end of the jump instruction.
    auto entry = reinterpret_cast<std::uintptr_t>(&TLumWndProcThunk::Entry);
    Put32(code + 8,
          static_cast<std::uint32_t>(entry - (reinterpret_cast<std::uintptr_t>(stub) + 12)));
    StubPool::Fill(stub, code);
    proc_ = reinterpret_cast<WNDPROC>(stub);
}

TLumWndProcThunk::~TLumWndProcThunk() {
    Pool().Release(reinterpret_cast<void*>(proc_));
}

LRESULT CALLBACK TLumWndProcThunk::Entry(TLumWndProcThunk* self, HWND window, UINT msg,
                                         WPARAM wParam, LPARAM lParam) {
    try {
        return self->handler_(window, msg, wParam, lParam);
    } catch (...) {
        HandleCallbackException(self->sender_);
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// TLumWindowHook

void TLumWindowHook::Install(HWND window, WNDPROC proc) {
    Restore();
    SetLastError(0);
    auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
    if (!previous && GetLastError() != 0) {
        RaiseLastOSError();
    }
    window_ = window;
    proc_ = proc;
    previous_ = previous;
}

void TLumWindowHook::Restore() {
    if (!window_) {
        return;
    }
    if (IsWindow(window_) &&
        reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window_, GWLP_WNDPROC)) == proc_) {
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
    }
    window_ = nullptr;
    proc_ = nullptr;
    previous_ = nullptr;
}

LRESULT TLumWindowHook::CallPrevious(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) const {
    return CallWindowProcW(previous_ ? previous_ : DefWindowProcW, window, msg, wParam, lParam);
}
