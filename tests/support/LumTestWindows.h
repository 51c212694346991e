#pragma once
// Test helpers for windows of the system: finding a process's windows, reading captions and
// message box texts, and answering message boxes that the code under test shows modally.

#include "toolkit/base/LumWin.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

/// The first visible top-level window of the process with that class, or null.
HWND FindProcessWindow(DWORD processId, const wchar_t* className);

/// The visible top-level windows of the process with that class, in window order.
std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className);

/// How many visible top-level windows of that class the process has.
int CountProcessWindows(DWORD processId, const wchar_t* className);

/// Waits up to `milliseconds` for FindProcessWindow to find one.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD milliseconds = 15000);

std::u16string WindowText(HWND window);

/// The message of a message box: its longest static text.
std::u16string MessageBoxText(HWND box);

/// The child windows of a window that have the class, in window order.
std::vector<HWND> ChildWindows(HWND parent, const wchar_t* className);

/// The first child of the class whose text is `text`, or null.
HWND FindChildWithText(HWND parent, const wchar_t* className, std::u16string_view text);

/// The first visible top-level window of the process with that class and caption, waiting up
/// to `milliseconds` for it.
HWND WaitForProcessWindowWithCaption(DWORD processId, const wchar_t* className,
                                     std::u16string_view caption, DWORD milliseconds = 15000);

/// Waits until an exception dialog has built its details (its details box lists the loaded
/// modules and its OK button is enabled again); false on time-out.
bool WaitForDialogDetails(HWND dialog, DWORD milliseconds = 15000);

/// The texts of an exception dialog's message label and details box.
std::u16string DialogMessageText(HWND dialog);
std::u16string DialogDetailsText(HWND dialog);

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
