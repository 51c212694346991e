#pragma once
// Test helpers for windows of the system: finding a process's windows, reading captions and
// message box texts, and answering message boxes that the code under test shows modally.

#include "toolkit/LumWin.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

/// The first visible top-level window of the process with that class, or null.
HWND FindProcessWindow(DWORD processId, const wchar_t* className);

/// Waits up to `milliseconds` for FindProcessWindow to find one.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD milliseconds = 15000);

std::u16string WindowText(HWND window);

/// The message of a message box: its longest static text.
std::u16string MessageBoxText(HWND box);

/// A message box this process showed, as it was answered.
struct TAnsweredBox {
    std::u16string Caption;
    std::u16string Text;
};

/// While it lives, a thread watches this process for message boxes, records each one's
/// caption and text and presses its OK button, so that code showing one modally goes on.
class TMessageBoxAnswerer {
public:
    TMessageBoxAnswerer();
    ~TMessageBoxAnswerer();
    TMessageBoxAnswerer(const TMessageBoxAnswerer&) = delete;
    TMessageBoxAnswerer& operator=(const TMessageBoxAnswerer&) = delete;

    /// The boxes answered so far (call from the thread that showed them, after they closed).
    std::vector<TAnsweredBox> Answered();

private:
    void Watch();

    std::atomic<bool> stop_{false};
    CRITICAL_SECTION lock_;
    std::vector<TAnsweredBox> answered_;
    std::vector<HWND> seen_;
    std::thread thread_;
};
