#pragma once
// Window procedures bound to an object. Each thunk is a small executable stub of its own
// that puts its object in front of the window procedure's arguments and jumps to a common
// entry, so a sub-classed window reaches its object without any lookup per message.

#include "toolkit/base/LumWin.h"

#include <functional>

class TLumPersistent;

class TLumWndProcThunk {
  public:
    using Handler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

    /// Writes the stub. A failure to get or protect executable memory raises the OS error.
    /// What escapes `handler` goes to the application's exception hook with `sender`, and
    /// the message then answers 0.
    TLumWndProcThunk(TLumPersistent* sender, Handler handler);
    /// Gives the stub's slot back; the window that used it must have let go of it.
    ~TLumWndProcThunk();
    TLumWndProcThunk(const TLumWndProcThunk&) = delete;
    TLumWndProcThunk& operator=(const TLumWndProcThunk&) = delete;

    /// The stub, callable as a window procedure.
    WNDPROC Proc() const { return proc_; }

  private:
    static LRESULT CALLBACK Entry(TLumWndProcThunk* self, HWND window, UINT msg, WPARAM wParam,
                                  LPARAM lParam);

    TLumPersistent* sender_;
    Handler handler_;
    WNDPROC proc_ = nullptr;
};

/// A window's procedure replaced by a thunk's for as long as the object lives (or until
/// Restore); the previous procedure is kept for CallWindowProc.
class TLumWindowHook {
  public:
    TLumWindowHook() = default;
    ~TLumWindowHook() { Restore(); }
    TLumWindowHook(const TLumWindowHook&) = delete;
    TLumWindowHook& operator=(const TLumWindowHook&) = delete;

    /// Sub-classes `window` with `proc`; a hook already in place is restored first. Raises the
    /// OS error when the procedure cannot be replaced.
    void Install(HWND window, WNDPROC proc);
    /// Puts the previous procedure back when the window still exists and still has ours.
    void Restore();
    bool Installed() const { return window_ != nullptr; }
    HWND Window() const { return window_; }
    /// Hands a message on to the procedure that was in place before.
    LRESULT CallPrevious(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) const;

  private:
    HWND window_ = nullptr;
    WNDPROC proc_ = nullptr;
    WNDPROC previous_ = nullptr;
};
