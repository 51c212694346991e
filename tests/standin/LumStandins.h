#pragma once
// Where the tests find the stand-in libraries: <build>/standin, beside <build>/tests.

#include "toolkit/LumWin.h"

#include <string>
#include <string_view>

/// The full path of a stand-in, e.g. StandinPath(u"capicom1\\capicom.dll").
inline std::u16string StandinPath(std::u16string_view relative) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::u16string path = FromWinStr(self, length);
    path.resize(path.rfind(u'\\'));
    path.resize(path.rfind(u'\\'));
    return path + u"\\standin\\" + std::u16string(relative);
}
