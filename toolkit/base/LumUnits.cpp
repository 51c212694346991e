#include "toolkit/base/LumUnits.h"

#include "toolkit/base/LumScopeGuard.h"

#include <atomic>

namespace {

constinit std::atomic<TUnitObserver> unitObserver{nullptr};

void Observe(const TUnit& unit, bool started) {
    if (TUnitObserver observer = unitObserver.load(std::memory_order_relaxed)) {
        observer(unit, started);
    }
}

} // namespace

TUnitObserver SetUnitObserver(TUnitObserver observer) {
    return unitObserver.exchange(observer);
}

void TUnit::Start() {
    if (count_ == 0) {
        if (start_) {
            start_();
        }
        Observe(*this, true);
    }
    ++count_;
}

void TUnit::Stop() {
    if (count_ == 0) {
        return;
    }
    if (--count_ == 0) {
        if (stop_) {
            stop_();
        }
        Observe(*this, false);
    }
}

TUnitSequence::TUnitSequence(std::span<TUnit* const> units) : units_(units) {
    // The failed start is the failure to report; a stop failing on the way out would only
    // hide it, so what the stops raise is dropped there.
    auto stopStarted = OnScopeFailure([this] { StopAll(); });
    for (; running_ < units_.size(); ++running_) {
        units_[running_]->Start();
    }
}

// A stop that raises here ends the process: destructors do not throw, and the program's
// normal path calls Stop itself, where a failure is reported.
TUnitSequence::~TUnitSequence() {
    Stop();
}

void TUnitSequence::Stop() {
    if (std::exception_ptr first = StopAll()) {
        std::rethrow_exception(first);
    }
}

std::exception_ptr TUnitSequence::StopAll() noexcept {
    std::exception_ptr first;
    while (running_ > 0) {
        try {
            units_[--running_]->Stop();
        } catch (...) {
            if (!first) {
                first = std::current_exception();
            }
        }
    }
    return first;
}
