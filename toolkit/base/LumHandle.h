#pragma once
// One owning wrapper for every kind of Win32 handle. The traits say what an empty handle is
// and how a handle is released; copying is not allowed, moving transfers ownership.

#include "toolkit/base/LumWin.h"

#include <type_traits>
#include <utility>

template <class Traits> class TScopedHandle {
  public:
    using Handle = typename Traits::Handle;

    TScopedHandle() = default;
    explicit TScopedHandle(Handle handle) : handle_(handle) {}
    TScopedHandle(const TScopedHandle&) = delete;
    TScopedHandle& operator=(const TScopedHandle&) = delete;
    TScopedHandle(TScopedHandle&& other) noexcept : handle_(other.Release()) {}
    TScopedHandle& operator=(TScopedHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~TScopedHandle() { Reset(); }

    Handle Get() const { return handle_; }
    bool IsValid() const { return Traits::IsValid(handle_); }
    explicit operator bool() const { return IsValid(); }

    /// Gives up ownership without releasing.
    Handle Release() { return std::exchange(handle_, Traits::Empty()); }

    /// Releases the current handle, if any, and owns the new one.
    void Reset(Handle handle = Traits::Empty()) {
        Handle old = std::exchange(handle_, handle);
        if (Traits::IsValid(old)) {
            Traits::Close(old);
        }
    }

  private:
    Handle handle_ = Traits::Empty();
};

struct TKernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

/// Files, for which INVALID_HANDLE_VALUE is the empty value.
struct TFileHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};

struct TLibraryTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};

struct TRegKeyTraits {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

struct TGdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};

struct TFindTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};

using TScopedKernelHandle = TScopedHandle<TKernelHandleTraits>;
using TScopedFile = TScopedHandle<TFileHandleTraits>;
using TScopedLibrary = TScopedHandle<TLibraryTraits>;
using TScopedRegKey = TScopedHandle<TRegKeyTraits>;
using TScopedGdiObject = TScopedHandle<TGdiObjectTraits>;
using TScopedFind = TScopedHandle<TFindTraits>;

/// The named function of a loaded library as the function pointer type F (e.g.
/// HRESULT(STDAPICALLTYPE*)()); nullptr when the library has none, GetLastError telling why.
/// The one place where an exported address becomes a typed function.
template <class F> F ProcAddress(HMODULE library, const char* name) {
    static_assert(std::is_pointer_v<F> && std::is_function_v<std::remove_pointer_t<F>>,
                  "F is a pointer to a function");
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}
