// The general utilities' cursor stack: cursors shown for a while and put back in reverse.
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include "toolkit/ui/LumForms.h"

using namespace UtilsShared;

void PushCursor(TCursor cursor) {
    CursorStack().push_back(ScreenCursor());
    SetScreenCursor(cursor);
}

void PopCursor() {
    std::vector<TCursor>& stack = CursorStack();
    TCursor cursor = crDefault;
    if (!stack.empty()) {
        cursor = stack.back();
        stack.pop_back();
    }
    SetScreenCursor(cursor);
}
