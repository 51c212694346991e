#pragma once
// Undo on the way out, as objects: a guard runs its action when its scope ends, on the normal
// path, only when an exception leaves the scope, or not at all once dismissed; a restorer puts
// a variable back to the value it had. They replace catch (...) { undo; throw; } blocks.

#include <exception>
#include <utility>

enum class TGuardWhen {
    Always,    ///< however the scope ends
    OnFailure, ///< only when an exception leaves the scope
};

template <class Action> class TScopeGuard {
  public:
    explicit TScopeGuard(Action action, TGuardWhen when = TGuardWhen::Always)
        : action_(std::move(action)), when_(when), exceptions_(std::uncaught_exceptions()) {}
    TScopeGuard(const TScopeGuard&) = delete;
    TScopeGuard& operator=(const TScopeGuard&) = delete;

    /// Runs the action (see TGuardWhen) unless dismissed. An action that raises while an
    /// exception is already on its way ends the process, as any destructor would; undo actions
    /// are written not to raise.
    ~TScopeGuard() noexcept(false) {
        if (active_ && (when_ == TGuardWhen::Always || std::uncaught_exceptions() > exceptions_)) {
            action_();
        }
    }

    /// The work succeeded: nothing to undo.
    void Dismiss() { active_ = false; }

  private:
    Action action_;
    TGuardWhen when_;
    int exceptions_;
    bool active_ = true;
};

/// Runs `action` when the scope ends.
template <class Action> [[nodiscard]] TScopeGuard<Action> OnScopeExit(Action action) {
    return TScopeGuard<Action>(std::move(action), TGuardWhen::Always);
}

/// Runs `action` only when an exception leaves the scope: the undo of a step half done.
template <class Action> [[nodiscard]] TScopeGuard<Action> OnScopeFailure(Action action) {
    return TScopeGuard<Action>(std::move(action), TGuardWhen::OnFailure);
}

/// Sets a variable for the length of a scope and puts the old value back at its end.
template <class T> class TRestore {
  public:
    TRestore(T& target, T value)
        : target_(target), saved_(std::exchange(target, std::move(value))) {}
    TRestore(const TRestore&) = delete;
    TRestore& operator=(const TRestore&) = delete;
    ~TRestore() { target_ = std::move(saved_); }

  private:
    T& target_;
    T saved_;
};
