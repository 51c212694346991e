#include "toolkit/base/LumUnits.h"

#include <exception>

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
    try {
        for (; running_ < units_.size(); ++running_) {
            units_[running_]->Start();
        }
    } catch (...) {
        // The failed start is the failure to report; a stop failing on the way out would
        // only hide it.
        try {
            Stop();
        } catch (...) {
        }
        throw;
    }
}

// A stop that raises here ends the process: destructors do not throw, and the program's
// normal path calls Stop itself, where a failure is reported.
TUnitSequence::~TUnitSequence() { Stop(); }

void TUnitSequence::Stop() {
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
    if (first) {
        std::rethrow_exception(first);
    }
}
