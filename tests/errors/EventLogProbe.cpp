// Saves error texts the way a second error in the dialog does: a short one, and one of
// 40,000 characters, over the limit of an event-log string. Wine's event log keeps nothing
// but prints the start of each event's text on its eventlog channel, which the test reads.

#include "errors/LumExceptLogWin.h"

int main() {
    SaveErrorText(u"Lum event log probe: secondary report");
    std::u16string report;
    for (int line = 0; report.size() < 40000; ++line) {
        report += u"Line " + std::u16string(72, static_cast<char16_t>(u'a' + line % 26)) + u"\r\n";
    }
    SaveErrorText(report);
    return 0;
}
