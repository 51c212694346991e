// The registry of worker threads and the hand-over of their exceptions.
#include "errors/LumDebugThreadsWin.h"

#include "errors/LumStackTraceWin.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumApplication.h"

#include <algorithm>
#include <utility>

namespace {

constexpr wchar_t kTargetClass[] = L"LumDebugThreadHandOver";
constexpr UINT kHandOverMessage = WM_APP + 0x4C1;

struct TWindowTraits {
    using Handle = HWND;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DestroyWindow(h); }
};

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kHandOverMessage) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    auto* list = reinterpret_cast<TLumDebugThreadList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (list) {
        // Nothing may leave a window procedure.
        try {
            list->DeliverHandedOver();
        } catch (...) {
            HandleCallbackException(nullptr);
        }
    }
    return 0;
}

// The class of the hand-over windows, registered once per process.
void RegisterTargetClass() {
    static const bool registered = [] {
        WNDCLASSW cls{};
        cls.lpfnWndProc = &TargetProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = kTargetClass;
        Win32Check(RegisterClassW(&cls) != 0);
        return true;
    }();
    (void)registered;
}

} // namespace

// The message-only window of the thread that installed the hook.
struct TLumDebugThreadList::TTarget {
    TScopedHandle<TWindowTraits> Window;
};

TLumDebugThreadList::TLumDebugThreadList() = default;
TLumDebugThreadList::~TLumDebugThreadList() = default;

TLumDebugThreadList& DebugThreadList() {
    static TLumDebugThreadList list;
    return list;
}

void TLumDebugThreadList::RegisterThread(std::uint32_t threadId, std::u16string name) {
    std::lock_guard lock(lock_);
    for (TRegistered& thread : threads_) {
        if (thread.ThreadID == threadId) {
            thread.Name = std::move(name);
            return;
        }
    }
    threads_.push_back({threadId, std::move(name)});
}

void TLumDebugThreadList::UnregisterThread(std::uint32_t threadId) {
    std::lock_guard lock(lock_);
    std::erase_if(threads_, [&](const TRegistered& t) { return t.ThreadID == threadId; });
}

bool TLumDebugThreadList::IsRegistered(std::uint32_t threadId) const {
    std::lock_guard lock(lock_);
    return std::any_of(threads_.begin(), threads_.end(),
                       [&](const TRegistered& t) { return t.ThreadID == threadId; });
}

std::u16string TLumDebugThreadList::ThreadName(std::uint32_t threadId) const {
    std::lock_guard lock(lock_);
    for (const TRegistered& thread : threads_) {
        if (thread.ThreadID == threadId) {
            return thread.Name;
        }
    }
    return {};
}

int TLumDebugThreadList::Count() const {
    std::lock_guard lock(lock_);
    return static_cast<int>(threads_.size());
}

bool TLumDebugThreadList::HandOver(std::exception_ptr error) {
    if (!error) {
        return false;
    }
    TLumThreadException handed;
    handed.Error = error;
    handed.ThreadID = GetCurrentThreadId();
    // The stack this thread captured for the exception, taken here on its own thread.
    try {
        std::rethrow_exception(error);
    } catch (const Exception& raised) {
        handed.Stack = CapturedStackOf(raised);
    } catch (...) {
        handed.Stack = LastCapturedStack();
    }
    std::lock_guard lock(lock_);
    auto registered = std::find_if(threads_.begin(), threads_.end(), [&](const TRegistered& t) {
        return t.ThreadID == handed.ThreadID;
    });
    if (registered == threads_.end() || !hook_ || !target_) {
        return false;
    }
    handed.ThreadName = registered->Name;
    pending_.push_back(std::move(handed));
    if (!PostMessageW(target_->Window.Get(), kHandOverMessage, 0, 0)) {
        pending_.pop_back();
        return false;
    }
    return true;
}

void TLumDebugThreadList::DeliverHandedOver() {
    auto rest = OnScopeFailure([this] {
        std::lock_guard lock(lock_);
        if (!pending_.empty() && target_) {
            PostMessageW(target_->Window.Get(), kHandOverMessage, 0, 0);
        }
    });
    // One at a time: the hook may show a modal dialog, whose loop delivers the next ones.
    for (;;) {
        TLumThreadException handed;
        TThreadExceptionHook hook;
        {
            std::lock_guard lock(lock_);
            if (pending_.empty() || !hook_) {
                return;
            }
            handed = std::move(pending_.front());
            pending_.pop_front();
            hook = hook_;
        }
        hook(handed);
    }
}

TThreadExceptionHook TLumDebugThreadList::SetHook(TThreadExceptionHook hook) {
    std::unique_ptr<TTarget> target;
    if (hook) {
        RegisterTargetClass();
        target = std::make_unique<TTarget>();
        target->Window.Reset(CreateWindowExW(0, kTargetClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                             nullptr, GetModuleHandleW(nullptr), nullptr));
        Win32Check(target->Window.IsValid());
        SetWindowLongPtrW(target->Window.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    // The replaced window goes after the lock: destroying it may dispatch messages.
    std::unique_ptr<TTarget> replaced;
    TThreadExceptionHook previous;
    {
        std::lock_guard lock(lock_);
        previous = std::exchange(hook_, hook);
        replaced = std::exchange(target_, std::move(target));
        if (!hook) {
            pending_.clear();
        }
    }
    return previous;
}

TLumDebugThread::TLumDebugThread(std::u16string name, std::function<void()> body)
    : thread_([this, name = std::move(name), body = std::move(body)] { Run(name, body); }) {}

TLumDebugThread::~TLumDebugThread() {
    Join();
}

void TLumDebugThread::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::uint32_t TLumDebugThread::ThreadID() const {
    return thread_.joinable() ? 0 : threadId_;
}

std::exception_ptr TLumDebugThread::KeptException() const {
    return kept_;
}

void TLumDebugThread::Run(const std::u16string& name, const std::function<void()>& body) {
    threadId_ = GetCurrentThreadId();
    TLumDebugThreadList& list = DebugThreadList();
    list.RegisterThread(threadId_, name);
    auto unregister = OnScopeExit([&] { list.UnregisterThread(threadId_); });
    try {
        body();
    } catch (...) {
        if (!list.HandOver(std::current_exception())) {
            kept_ = std::current_exception();
        }
    }
}
