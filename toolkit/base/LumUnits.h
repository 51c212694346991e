#pragma once
// Module start and stop. Every module with state of its own has one TUnit; the program lists
// its units in one explicit order, starts them before its entry runs and stops them in reverse
// after it returns. A unit may be started more than once (a module that needs another starts
// it itself); only the first start and the matching last stop act.

#include <exception>
#include <span>

class TUnit {
  public:
    using Action = void (*)();

    /// Constant-initialised, so no unit depends on the order of static construction.
    constexpr TUnit(const char* name, Action start, Action stop)
        : name_(name), start_(start), stop_(stop) {}
    TUnit(const TUnit&) = delete;
    TUnit& operator=(const TUnit&) = delete;

    /// Runs the start action on the first call; a start that raises leaves the unit stopped.
    void Start();
    /// Runs the stop action when the last start is matched. A stop without a start is ignored.
    void Stop();

    const char* Name() const { return name_; }
    int StartCount() const { return count_; }

  private:
    const char* name_;
    Action start_;
    Action stop_;
    int count_ = 0;
};

/// Told of every unit whose start or stop action has just run (`started` false for a stop).
using TUnitObserver = void (*)(const TUnit& unit, bool started);
/// Sets the one observer (none by default) and returns the previous one.
TUnitObserver SetUnitObserver(TUnitObserver observer);

/// Starts units in the given order and stops them in reverse. When a start raises, the units
/// already started are stopped again (in reverse) and the exception goes on.
class TUnitSequence {
  public:
    explicit TUnitSequence(std::span<TUnit* const> units);
    /// Stops what Stop has not stopped yet.
    ~TUnitSequence();
    TUnitSequence(const TUnitSequence&) = delete;
    TUnitSequence& operator=(const TUnitSequence&) = delete;

    /// Stops every unit in reverse order. When a stop raises, the remaining units are still
    /// stopped and the first exception goes on afterwards.
    void Stop();

  private:
    // Stops every unit in reverse order and answers the first exception a stop raised.
    std::exception_ptr StopAll() noexcept;

    std::span<TUnit* const> units_;
    size_t running_ = 0;
};
