// Saves an error text the way a second error in the dialog does. Wine's event log keeps
// nothing but prints each event's text on its eventlog channel, which the test reads.

#include "errors/LumExceptLogWin.h"

int main() {
    SaveErrorText(u"Lum event log probe: secondary report");
    return 0;
}
