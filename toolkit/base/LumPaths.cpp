#include "toolkit/base/LumPaths.h"

namespace {

bool IsPathDelimiter(char16_t c) {
    return c == u'\\' || c == u':';
}

// The index of the last "\" or ":", or npos.
std::size_t LastDelimiter(std::u16string_view path) {
    return path.find_last_of(u"\\:");
}

} // namespace

std::u16string IncludeTrailingBackslash(std::u16string_view path) {
    std::u16string result(path);
    if (result.empty() || result.back() != u'\\') {
        result += u'\\';
    }
    return result;
}

std::u16string ExcludeTrailingBackslash(std::u16string_view path) {
    if (!path.empty() && path.back() == u'\\') {
        path.remove_suffix(1);
    }
    return std::u16string(path);
}

std::u16string FileNameWithoutExtension(std::u16string_view path) {
    std::size_t delimiter = LastDelimiter(path);
    std::u16string_view name =
        delimiter == std::u16string_view::npos ? path : path.substr(delimiter + 1);
    return std::u16string(name.substr(0, name.rfind(u'.')));
}

std::u16string PathFolder(std::u16string_view path) {
    std::size_t delimiter = LastDelimiter(path);
    if (delimiter == std::u16string_view::npos) {
        return {};
    }
    // A backslash stays where it makes the folder a root: "C:\", "\", "\\".
    std::size_t length = delimiter + 1;
    if (path[delimiter] == u'\\' && delimiter > 0 && !IsPathDelimiter(path[delimiter - 1])) {
        length = delimiter;
    }
    return std::u16string(path.substr(0, length));
}
