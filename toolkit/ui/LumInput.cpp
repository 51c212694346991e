#include "toolkit/ui/LumInput.h"

#include <map>

namespace {

// The screen's cursor lives apart from the screen object: code that runs before the toolkit
// starts or after it stops may set it too.
TCursor screenCursor = crDefault;

} // namespace

TShiftState KeyboardShiftState() {
    TShiftState state;
    if (GetKeyState(VK_SHIFT) < 0) {
        state.Include(TShiftStateFlag::ssShift);
    }
    if (GetKeyState(VK_CONTROL) < 0) {
        state.Include(TShiftStateFlag::ssCtrl);
    }
    if (GetKeyState(VK_MENU) < 0) {
        state.Include(TShiftStateFlag::ssAlt);
    }
    return state;
}

const TLumIdentTable& CursorIdents() {
    static const TLumIdentTable table = {
        {"crDefault", crDefault},   {"crNone", crNone},           {"crArrow", crArrow},
        {"crCross", crCross},       {"crIBeam", crIBeam},         {"crSizeNESW", crSizeNESW},
        {"crSizeNS", crSizeNS},     {"crSizeNWSE", crSizeNWSE},   {"crSizeWE", crSizeWE},
        {"crUpArrow", crUpArrow},   {"crHourGlass", crHourGlass}, {"crNo", crNo},
        {"crAppStart", crAppStart}, {"crHelp", crHelp},           {"crHandPoint", crHandPoint},
        {"crSizeAll", crSizeAll}};
    return table;
}

HCURSOR CursorHandle(TCursor cursor) {
    static const std::map<TCursor, LPCWSTR> system = {{crDefault, IDC_ARROW},
                                                      {crArrow, IDC_ARROW},
                                                      {crCross, IDC_CROSS},
                                                      {crIBeam, IDC_IBEAM},
                                                      {crSizeNESW, IDC_SIZENESW},
                                                      {crSizeNS, IDC_SIZENS},
                                                      {crSizeNWSE, IDC_SIZENWSE},
                                                      {crSizeWE, IDC_SIZEWE},
                                                      {crUpArrow, IDC_UPARROW},
                                                      {crHourGlass, IDC_WAIT},
                                                      {crNo, IDC_NO},
                                                      {crAppStart, IDC_APPSTARTING},
                                                      {crHelp, IDC_HELP},
                                                      {crHandPoint, IDC_HAND},
                                                      {crSizeAll, IDC_SIZEALL}};
    if (cursor == crNone) {
        return nullptr;
    }
    auto it = system.find(cursor);
    return LoadCursorW(nullptr, it == system.end() ? IDC_ARROW : it->second);
}

TCursor ScreenCursor() {
    return screenCursor;
}

void SetScreenCursor(TCursor cursor) {
    screenCursor = cursor;
    POINT p;
    GetCursorPos(&p);
    // Show it now, not only at the next mouse move.
    if (cursor != crDefault) {
        ::SetCursor(CursorHandle(cursor));
    } else {
        SetCursorPos(p.x, p.y);
    }
}
