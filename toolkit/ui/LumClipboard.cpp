#include "toolkit/ui/LumClipboard.h"

#include "toolkit/base/LumHandle.h"
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

// Memory from GlobalAlloc: the clipboard's data travel in it.
struct TGlobalMemoryTraits {
    using Handle = HGLOBAL;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { GlobalFree(h); }
};
using TScopedGlobalMemory = TScopedHandle<TGlobalMemoryTraits>;

// GlobalLock for as long as the object lives; Data() is null when the lock failed.
class LockedMemory {
  public:
    explicit LockedMemory(HGLOBAL memory) : memory_(memory), data_(GlobalLock(memory)) {}
    ~LockedMemory() {
        if (data_) {
            GlobalUnlock(memory_);
        }
    }
    LockedMemory(const LockedMemory&) = delete;
    LockedMemory& operator=(const LockedMemory&) = delete;

    void* Data() const { return data_; }

  private:
    HGLOBAL memory_;
    void* data_;
};

void SetData(UINT format, const void* data, size_t bytes) {
    OpenedClipboard clipboard;
    Win32Check(EmptyClipboard());
    TScopedGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    Win32Check(memory.IsValid());
    {
        LockedMemory target(memory.Get());
        if (!target.Data()) {
            RaiseLastOSError();
        }
        std::memcpy(target.Data(), data, bytes);
    }
    if (!SetClipboardData(format, memory.Get())) {
        RaiseLastOSError();
    }
    // The clipboard owns the memory now.
    memory.Release();
}

template <class Char> std::basic_string<Char> GetData(UINT format) {
    OpenedClipboard clipboard;
    HANDLE memory = GetClipboardData(format);
    if (!memory) {
        return {};
    }
    LockedMemory locked(memory);
    auto text = static_cast<const Char*>(locked.Data());
    if (!text) {
        return {};
    }
    size_t limit = GlobalSize(memory) / sizeof(Char);
    size_t length = 0;
    while (length < limit && text[length] != 0) {
        ++length;
    }
    return std::basic_string<Char>(text, length);
}

} // namespace

void ClipboardSetText(const std::string& text) {
    SetData(CF_TEXT, text.c_str(), text.size() + 1);
}

void ClipboardSetWideText(const std::u16string& text) {
    SetData(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(char16_t));
}

std::string ClipboardText() {
    return GetData<char>(CF_TEXT);
}

std::u16string ClipboardWideText() {
    return GetData<char16_t>(CF_UNICODETEXT);
}
