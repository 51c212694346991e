#pragma once
// Keyboard and mouse: the modifier keys held down, key events, the mouse cursors and the
// cursor the whole screen shows.

#include "toolkit/base/LumWin.h"
#include "toolkit/persist/LumComponents.h"

#include <cstdint>

enum class TShiftStateFlag { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TLumSet<TShiftStateFlag>;
/// The modifier keys held down now.
TShiftState KeyboardShiftState();

using TKeyEvent = TLumEvent<void(TLumPersistent* sender, std::uint16_t& key, TShiftState shift)>;

/// Mouse cursors: the system's own (negative) and crDefault (0), the control's class cursor.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crNone = -1;
constexpr TCursor crArrow = -2;
constexpr TCursor crCross = -3;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNESW = -6;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crUpArrow = -10;
constexpr TCursor crHourGlass = -11;
constexpr TCursor crNo = -18;
constexpr TCursor crAppStart = -19;
constexpr TCursor crHelp = -20;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crSizeAll = -22;
const TLumIdentTable& CursorIdents();
/// The system cursor of a cursor value (the arrow for crDefault).
HCURSOR CursorHandle(TCursor cursor);
/// The cursor every toolkit window shows while it is not crDefault (the screen's cursor).
TCursor ScreenCursor();
/// Sets the screen's cursor and shows it at once, not only at the next mouse move.
void SetScreenCursor(TCursor cursor);
