#include "tests/support/LumTestWindows.h"

#include <algorithm>
#include <cwchar>

namespace {

struct WindowSearch {
    DWORD Process;
    const wchar_t* Class;
    HWND Found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    if (process == search->Process && IsWindowVisible(window) && !wcscmp(name, search->Class)) {
        search->Found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK KeepLongestStatic(HWND child, LPARAM data) {
    wchar_t name[32];
    GetClassNameW(child, name, 32);
    auto* best = reinterpret_cast<std::u16string*>(data);
    std::u16string text = WindowText(child);
    if (!_wcsicmp(name, L"Static") && text.size() > best->size()) {
        *best = text;
    }
    return TRUE;
}

} // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
    WindowSearch search{processId, className, nullptr};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD milliseconds) {
    DWORD end = GetTickCount() + milliseconds;
    do {
        if (HWND window = FindProcessWindow(processId, className)) {
            return window;
        }
        Sleep(50);
    } while (static_cast<int>(end - GetTickCount()) > 0);
    return nullptr;
}

std::u16string WindowText(HWND window) {
    wchar_t text[4096];
    int length = GetWindowTextW(window, text, 4096);
    return FromWinStr(text, static_cast<size_t>(std::max(length, 0)));
}

std::u16string MessageBoxText(HWND box) {
    std::u16string longest;
    EnumChildWindows(box, &KeepLongestStatic, reinterpret_cast<LPARAM>(&longest));
    return longest;
}

TMessageBoxAnswerer::TMessageBoxAnswerer() {
    InitializeCriticalSection(&lock_);
    thread_ = std::thread([this] { Watch(); });
}

TMessageBoxAnswerer::~TMessageBoxAnswerer() {
    stop_ = true;
    thread_.join();
    DeleteCriticalSection(&lock_);
}

std::vector<TAnsweredBox> TMessageBoxAnswerer::Answered() {
    EnterCriticalSection(&lock_);
    std::vector<TAnsweredBox> copy = answered_;
    LeaveCriticalSection(&lock_);
    return copy;
}

void TMessageBoxAnswerer::Watch() {
    DWORD self = GetCurrentProcessId();
    while (!stop_) {
        HWND box = FindProcessWindow(self, L"#32770");
        if (box && std::find(seen_.begin(), seen_.end(), box) == seen_.end()) {
            seen_.push_back(box);
            TAnsweredBox answer{WindowText(box), MessageBoxText(box)};
            EnterCriticalSection(&lock_);
            answered_.push_back(answer);
            LeaveCriticalSection(&lock_);
            PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        }
        Sleep(20);
    }
}
