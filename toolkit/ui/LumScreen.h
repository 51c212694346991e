#pragma once
// The screen: the control and form that are active, the cursor, the installed fonts and the
// screen's size.

#include "toolkit/base/LumUnits.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/ui/LumInput.h"

#include <string>
#include <vector>

class TLumWinControl;
class TLumCustomForm;

class TLumScreen {
  public:
    /// The control with the keyboard focus, if it is one of ours.
    TLumWinControl* ActiveControl() const;
    /// The active form, if it is one of ours.
    TLumCustomForm* ActiveForm() const;

    TCursor Cursor() const { return ScreenCursor(); }
    void SetCursor(TCursor cursor) { SetScreenCursor(cursor); }

    /// The installed screen fonts, sorted without regard to case.
    const std::vector<std::u16string>& Fonts();
    bool HasFont(const std::u16string& name);

    int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
    int Height() const { return GetSystemMetrics(SM_CYSCREEN); }

  private:
    std::vector<std::u16string> fonts_;
};

/// The screen; it exists while LumScreenUnit runs (LumFormsUnit starts it).
TLumScreen* Screen();

/// Starts: creates the screen object. Stops: deletes it.
extern TUnit LumScreenUnit;
