#pragma once
// The one place that brings in <windows.h>; every Win32 file includes this header instead.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the wide API takes UTF-16");

/// Passes UTF-16 text to the wide API.
inline const wchar_t* WinStr(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

/// Takes UTF-16 text from the wide API.
inline std::u16string FromWinStr(const wchar_t* text) {
    return text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : std::u16string();
}

inline std::u16string FromWinStr(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
