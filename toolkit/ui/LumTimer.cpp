#include "toolkit/ui/LumTimer.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumApplication.h"

#include <map>

namespace {

// System timer ids of the running timers; the timer procedure finds its component here.
std::map<UINT_PTR, TLumTimer*>& Running() {
    static std::map<UINT_PTR, TLumTimer*> running;
    return running;
}

void Start() {
    RegisterComponentClass(TLumTimer::StaticClass());
}

} // namespace

TUnit LumTimerUnit("LumTimer", &Start, nullptr);

struct TimerDispatch {
    static void CALLBACK Proc(HWND, UINT, UINT_PTR id, DWORD) {
        auto it = Running().find(id);
        if (it == Running().end()) {
            return;
        }
        TLumTimer* timer = it->second;
        // The system calls this from DispatchMessage: nothing may unwind through it.
        try {
            if (timer->OnTimer) {
                timer->OnTimer(timer);
            }
        } catch (...) {
            HandleCallbackException(timer);
        }
    }
};

TLumTimer::TLumTimer(TLumComponent* owner) : TLumComponent(owner) {
    UpdateTimer();
}

TLumTimer::~TLumTimer() {
    enabled_ = false;
    UpdateTimer();
}

const TLumClass& TLumTimer::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TLumTimer>("TLumTimer", &TLumComponent::StaticClass())
            .Creatable()
            .Prop<&TLumTimer::Enabled, &TLumTimer::SetEnabled>("Enabled", true)
            .Prop<&TLumTimer::Interval, &TLumTimer::SetInterval>("Interval", 1000)
            .Event<&TLumTimer::OnTimer>("OnTimer")
            .Build();
    return cls;
}

void TLumTimer::SetEnabled(bool enabled) {
    if (enabled != enabled_) {
        enabled_ = enabled;
        UpdateTimer();
    }
}

void TLumTimer::SetInterval(int interval) {
    if (interval != interval_) {
        interval_ = interval;
        UpdateTimer();
    }
}

void TLumTimer::Loaded() {
    TLumComponent::Loaded();
    UpdateTimer();
}

// The timer runs from the end of loading on, so that a timer streamed with a form starts with
// its stored interval and not with the default.
void TLumTimer::UpdateTimer() {
    if (id_) {
        KillTimer(nullptr, id_);
        Running().erase(id_);
        id_ = 0;
    }
    if (enabled_ && interval_ > 0 && !IsLoading() && !IsDestroying()) {
        UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(interval_), &TimerDispatch::Proc);
        Win32Check(id != 0);
        id_ = id;
        Running()[id] = this;
    }
}
