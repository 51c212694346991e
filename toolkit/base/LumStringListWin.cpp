// The string lists' comparison: the user locale's, as the rest of the system sorts text.
#include "toolkit/base/LumStringList.h"

#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumWin.h"

#include <algorithm>
#include <climits>

int LumCompareStrings(std::u16string_view a, std::u16string_view b, bool caseSensitive) {
    auto length = [](std::u16string_view text) {
        return static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
    };
    int result = CompareStringW(LOCALE_USER_DEFAULT, caseSensitive ? 0 : NORM_IGNORECASE,
                                reinterpret_cast<const wchar_t*>(a.data()), length(a),
                                reinterpret_cast<const wchar_t*>(b.data()), length(b));
    Win32Check(result != 0);
    return result - CSTR_EQUAL;
}
