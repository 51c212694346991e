#include "tests/support/LumTestWindows.h"

#include <algorithm>
#include <cwchar>

namespace {

struct WindowSearch {
    DWORD Process;
    const wchar_t* Class;
    std::vector<HWND> Found;
    bool All;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    if (process == search->Process && IsWindowVisible(window) && !wcscmp(name, search->Class)) {
        search->Found.push_back(window);
        return search->All;
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

struct ChildSearch {
    const wchar_t* Class;
    std::vector<HWND> Found;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<ChildSearch*>(data);
    wchar_t name[64];
    GetClassNameW(child, name, 64);
    if (!wcscmp(name, search->Class)) {
        search->Found.push_back(child);
    }
    return TRUE;
}

} // namespace

std::vector<HWND> ChildWindows(HWND parent, const wchar_t* className) {
    ChildSearch search{className, {}};
    EnumChildWindows(parent, &CollectChild, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

HWND FindChildWithText(HWND parent, const wchar_t* className, std::u16string_view text) {
    for (HWND child : ChildWindows(parent, className)) {
        if (WindowText(child) == text) {
            return child;
        }
    }
    return nullptr;
}

HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
    WindowSearch search{processId, className, {}, false};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found.empty() ? nullptr : search.Found.front();
}

std::vector<HWND> ProcessWindows(DWORD processId, const wchar_t* className) {
    WindowSearch search{processId, className, {}, true};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

int CountProcessWindows(DWORD processId, const wchar_t* className) {
    return static_cast<int>(ProcessWindows(processId, className).size());
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

// WM_GETTEXT itself: GetWindowText of another process's window answers only the window's
// title, not an edit control's text.
std::u16string WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return {};
    }
    std::u16string text(length + 1, u'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied)) {
        return {};
    }
    text.resize(std::min<size_t>(copied, length));
    return text;
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

HWND WaitForProcessWindowWithCaption(DWORD processId, const wchar_t* className,
                                     std::u16string_view caption, DWORD milliseconds) {
    DWORD end = GetTickCount() + milliseconds;
    do {
        WindowSearch search{processId, className, {}, true};
        EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
        for (HWND window : search.Found) {
            if (WindowText(window) == caption) {
                return window;
            }
        }
        Sleep(50);
    } while (static_cast<int>(end - GetTickCount()) > 0);
    return nullptr;
}

// The dialog's two text boxes: the details have a horizontal scroll bar, the message not.
namespace {
HWND DialogMemo(HWND dialog, bool details) {
    for (HWND memo : ChildWindows(dialog, L"TLumMemo")) {
        bool scrolls = (GetWindowLongW(memo, GWL_STYLE) & WS_HSCROLL) != 0;
        if (scrolls == details) {
            return memo;
        }
    }
    return nullptr;
}
} // namespace

std::u16string DialogMessageText(HWND dialog) {
    HWND memo = DialogMemo(dialog, false);
    return memo ? WindowText(memo) : std::u16string();
}

std::u16string DialogDetailsText(HWND dialog) {
    HWND memo = DialogMemo(dialog, true);
    return memo ? WindowText(memo) : std::u16string();
}

bool WaitForDialogDetails(HWND dialog, DWORD milliseconds) {
    DWORD end = GetTickCount() + milliseconds;
    do {
        HWND ok = FindChildWithText(dialog, L"TLumButton", u"OK");
        if (ok && IsWindowEnabled(ok) &&
            DialogDetailsText(dialog).find(u"List of loaded modules:") != std::u16string::npos) {
            return true;
        }
        Sleep(30);
    } while (static_cast<int>(end - GetTickCount()) > 0);
    return false;
}
