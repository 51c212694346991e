#include "toolkit/base/LumUnits.h"

#include "toolkit/base/LumScopeGuard.h"

void TUnit::Start() {
    if (count_ == 0 && start_) {
        start_();
    }
    ++count_;
}

void TUnit::Stop() {
    if (count_ == 0) {
        return;
    }
    if (--count_ == 0 && stop_) {
        stop_();
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
