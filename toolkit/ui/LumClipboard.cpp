#include "toolkit/ui/LumClipboard.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumWin.h"

#include <cstring>

namespace {

// Another program may hold the clipboard for a moment; a few tries ride that out.
class OpenedClipboard {
public:
    OpenedClipboard() {
        for (int attempt = 0; attempt < 10; ++attempt) {
            if (OpenClipboard(nullptr)) {
                return;
            }
            Sleep(20);
        }
        RaiseLastOSError();
    }
    ~OpenedClipboard() { CloseClipboard(); }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

void SetData(UINT format, const void* data, size_t bytes) {
    OpenedClipboard clipboard;
    Win32Check(EmptyClipboard());
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    Win32Check(memory != nullptr);
    void* target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        RaiseLastOSError();
    }
    std::memcpy(target, data, bytes);
    GlobalUnlock(memory);
    // On success the clipboard owns the memory.
    if (!SetClipboardData(format, memory)) {
        GlobalFree(memory);
        RaiseLastOSError();
    }
}

template <class Char> std::basic_string<Char> GetData(UINT format) {
    OpenedClipboard clipboard;
    HANDLE memory = GetClipboardData(format);
    if (!memory) {
        return {};
    }
    auto text = static_cast<const Char*>(GlobalLock(memory));
    if (!text) {
        return {};
    }
    size_t limit = GlobalSize(memory) / sizeof(Char);
    size_t length = 0;
    while (length < limit && text[length] != 0) {
        ++length;
    }
    std::basic_string<Char> result(text, length);
    GlobalUnlock(memory);
    return result;
}

} // namespace

void ClipboardSetText(const std::string& text) {
    SetData(CF_TEXT, text.c_str(), text.size() + 1);
}

void ClipboardSetWideText(const std::u16string& text) {
    SetData(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(char16_t));
}

std::string ClipboardText() { return GetData<char>(CF_TEXT); }

std::u16string ClipboardWideText() { return GetData<char16_t>(CF_UNICODETEXT); }
