#include "errors/LumExceptLog.h"

#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"

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
    std::vector<std::string> lines = SplitLines(text);
    for (std::string& line : lines) {
        line.erase(line.find_last_not_of(" \t") + 1);
        line.insert(0, static_cast<size_t>(std::max(indent, 0)), ' ');
    }
    return lines;
}

std::vector<std::u16string> ErrorTextLines(const std::u16string& text) {
    std::u16string breaks = text;
    std::replace(breaks.begin(), breaks.end(), u'\u2028', u'\n');
    return SplitLines(breaks);
}

std::u16string ErrorFileName(const std::u16string& folder, const std::u16string& exeName,
                             int number) {
    return Format(u"%s%s_Error_%.4d.txt", folder, exeName, number);
}
