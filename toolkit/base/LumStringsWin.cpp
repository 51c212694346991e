// ANSI conversions through the system's ANSI code page.
#include "toolkit/base/LumStrings.h"

#include "toolkit/base/LumWin.h"

#include <algorithm>
#include <climits>

std::u16string AnsiToWide(std::string_view ansi) {
    if (ansi.empty()) {
        return {};
    }
    // Texts handled here are far below INT_MAX; the conversion API counts in int.
    int length = static_cast<int>(std::min<size_t>(ansi.size(), INT_MAX));
    int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    std::u16string out(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, reinterpret_cast<wchar_t*>(out.data()),
                        needed);
    return out;
}

std::string WideToAnsi(std::u16string_view wide) {
    if (wide.empty()) {
        return {};
    }
    int length = static_cast<int>(std::min<size_t>(wide.size(), INT_MAX));
    auto source = reinterpret_cast<const wchar_t*>(wide.data());
    int needed = WideCharToMultiByte(CP_ACP, 0, source, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, source, length, out.data(), needed, nullptr, nullptr);
    return out;
}
