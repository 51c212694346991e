#pragma once
// The program's only window: a caption bar that tells what the setup does, and the timer that
// does it once the window is on screen.

#include "lib/LumLX/LumLXForms.h"
#include "toolkit/ui/LumTimer.h"

class TOstrinForm : public TLumFormLX {
  public:
    explicit TOstrinForm(TLumComponent* owner) : TLumFormLX(owner) {}

    static const TLumClass& StaticClass();
    const TLumClass& ClassType() const override { return StaticClass(); }

    TLumTimer* Timer1 = nullptr;

    /// Runs once: the setup job (RunCapicomSetup) with the captions of its steps, the restart
    /// notice when the installed library is in use, then the application's end. A failure
    /// leaves the form on screen with the last caption.
    void Timer1Timer(TLumPersistent* sender);
};

/// The main form, once the program has created it.
extern TOstrinForm* OstrinForm;
