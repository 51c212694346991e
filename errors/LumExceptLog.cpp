#include "errors/LumExceptLog.h"

#include "toolkit/LumFormat.h"

#include <algorithm>

std::vector<std::string> LogHeaderLines(int width, const std::string& dateTime, bool wasEmpty) {
    if (width == 0) {
        width = 100;
    }
    width = std::max(width, 20);
    std::vector<std::string> lines;
    if (!wasEmpty) {
        lines.emplace_back();
    }
    lines.push_back(std::string(static_cast<size_t>(width), '='));
    lines.push_back(Format("= %-*s =", width - 4, dateTime));
    lines.push_back(std::string(static_cast<size_t>(width), '='));
    return lines;
}

std::vector<std::string> LogTextLines(const std::string& text, int indent) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        line.erase(line.find_last_not_of(" \t") + 1);
        lines.push_back(std::string(static_cast<size_t>(std::max(indent, 0)), ' ') + line);
        if (end == std::string::npos) {
            break;
        }
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::vector<std::u16string> ErrorTextLines(const std::u16string& text) {
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(u"\r\n\u2028", start);
        if (end == std::u16string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + ((text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ? 2 : 1);
    }
    return lines;
}

std::u16string ErrorFileName(const std::u16string& folder, const std::u16string& exeName, int number) {
    return Format(u"%s%s_Error_%.4d.txt", folder, exeName, number);
}
