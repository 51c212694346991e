#pragma once
// The program's only window: a caption bar that tells what the setup does, and the timer that
// does it once the window is on screen.

#include "toolkit/ui/LumForms.h"
#include "toolkit/ui/LumTimer.h"

class TOstrinForm : public TLumForm {
  public:
    explicit TOstrinForm(TLumComponent* owner) : TLumForm(owner) {}

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TLumTimer* Timer1 = nullptr;

    /// Runs once: when the installed CAPICOM is older than 2.0, writes the embedded library
    /// into the system folder and registers it; then ends the application. A failure leaves
    /// the form on screen with the last caption.
    void Timer1Timer(TLumPersistent* sender);
};

/// The main form, once the program has created it.
extern TOstrinForm* OstrinForm;
