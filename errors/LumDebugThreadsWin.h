#pragma once
// Worker threads whose exceptions are reported like those of the user-interface thread. A
// worker registers under a name; an exception that leaves it is handed over, with the stack
// the worker captured when it raised it, to the thread that installed the hook, and the hook
// runs there from that thread's message loop (the exception dialog presents it, with
// "Thread: %s" in place of the exception address).

#include "errors/LumStackTrace.h"

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// An exception that a registered worker thread handed over.
struct TLumThreadException {
    std::exception_ptr Error;
    std::uint32_t ThreadID = 0;
    /// The name the worker was registered under.
    std::u16string ThreadName;
    /// The stack the worker captured when it raised the exception; null when it has none.
    std::shared_ptr<const TLumStackInfoList> Stack;
};

/// Presents an exception handed over by a worker thread.
using TThreadExceptionHook = void (*)(const TLumThreadException& handed);

/// The registry of worker threads; safe to use from any thread.
class TLumDebugThreadList {
  public:
    TLumDebugThreadList();
    ~TLumDebugThreadList();
    TLumDebugThreadList(const TLumDebugThreadList&) = delete;
    TLumDebugThreadList& operator=(const TLumDebugThreadList&) = delete;

    /// Registers a thread under a name (a thread registered again takes the new name).
    void RegisterThread(std::uint32_t threadId, std::u16string name);
    void UnregisterThread(std::uint32_t threadId);
    bool IsRegistered(std::uint32_t threadId) const;
    /// The name a thread was registered under; empty when it is not registered.
    std::u16string ThreadName(std::uint32_t threadId) const;
    int Count() const;

    /// From a catch block of a registered thread: hands the exception over to the hook's
    /// thread, with the calling thread's name and its captured stack of the exception, and
    /// returns at once. False, and nothing handed over, when the calling thread is not
    /// registered or no hook is set: the caller keeps the exception.
    bool HandOver(std::exception_ptr error);

    /// Runs the hook for each exception handed over so far, in order; the hand-over window
    /// calls it. The hook's exception leaves; the ones after it come with the window's next
    /// message.
    void DeliverHandedOver();

    /// Installs the hook and answers the one it replaces. The hook runs on the thread that
    /// installs it: a message-only window of that thread receives the hand-overs, so the
    /// thread must handle messages (as the user-interface thread does, in modal loops too).
    /// Set a hook and put it back on the same thread.
    TThreadExceptionHook SetHook(TThreadExceptionHook hook);

  private:
    struct TTarget;
    struct TRegistered {
        std::uint32_t ThreadID;
        std::u16string Name;
    };

    mutable std::mutex lock_;
    std::vector<TRegistered> threads_;
    std::deque<TLumThreadException> pending_;
    TThreadExceptionHook hook_ = nullptr;
    std::unique_ptr<TTarget> target_;
};

/// The process's registry of worker threads.
TLumDebugThreadList& DebugThreadList();

/// A worker thread registered under a name while its body runs: an exception that leaves the
/// body is handed over (TLumDebugThreadList::HandOver). The destructor waits for the thread.
class TLumDebugThread {
  public:
    TLumDebugThread(std::u16string name, std::function<void()> body);
    ~TLumDebugThread();
    TLumDebugThread(const TLumDebugThread&) = delete;
    TLumDebugThread& operator=(const TLumDebugThread&) = delete;

    /// Waits for the thread to end.
    void Join();
    /// The thread's identifier once it has ended (0 before).
    std::uint32_t ThreadID() const;
    /// The exception that left the body and could not be handed over (no hook was set);
    /// null otherwise. Read after Join.
    std::exception_ptr KeptException() const;

  private:
    void Run(const std::u16string& name, const std::function<void()>& body);

    std::uint32_t threadId_ = 0;
    std::exception_ptr kept_;
    std::thread thread_;
};
