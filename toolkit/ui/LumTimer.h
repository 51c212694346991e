#pragma once
// The timer component: OnTimer every Interval milliseconds while Enabled, delivered by the
// message loop of the thread that created it.

#include "toolkit/base/LumUnits.h"
#include "toolkit/persist/LumComponents.h"

#include <cstdint>

class TLumTimer : public TLumComponent {
  public:
    explicit TLumTimer(TLumComponent* owner);
    ~TLumTimer() override;

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    /// Milliseconds between events; 0 stops the timer.
    int Interval() const { return interval_; }
    void SetInterval(int interval);

    TNotifyEvent OnTimer;

    void Loaded() override;

  private:
    friend struct TimerDispatch;
    void UpdateTimer();

    bool enabled_ = true;
    int interval_ = 1000;
    std::uintptr_t id_ = 0;
};

/// Registers the timer for form streams.
extern TUnit LumTimerUnit;
