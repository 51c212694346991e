#include "errors/LumExceptLog.h"

#include "rstr/LumExceptLog.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
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

namespace {

std::u16string PartHeader(size_t number, size_t count) {
    return Format(LoadResString(LumExceptLog::SEventLogPart), number, count) + u"\r\n";
}

// The text in pieces of at most `room` characters.
std::vector<std::u16string_view> Pieces(std::u16string_view text, size_t room) {
    std::vector<std::u16string_view> pieces;
    size_t pos = 0;
    while (text.size() - pos > room) {
        size_t end = pos + room;
        size_t lineEnd = text.rfind(u'\n', end - 1);
        if (lineEnd != std::u16string_view::npos && lineEnd >= pos + room / 2) {
            end = lineEnd + 1;
        } else if (text[end - 1] >= 0xD800 && text[end - 1] < 0xDC00) {
            --end; // a high surrogate stays with its low one
        }
        pieces.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    pieces.push_back(text.substr(pos));
    return pieces;
}

} // namespace

std::vector<std::u16string> EventLogParts(std::u16string_view text, size_t limit) {
    if (text.size() <= limit) {
        return {std::u16string(text)};
    }
    // The headers' length depends on the number of parts, which depends on their length.
    size_t count = 2;
    std::vector<std::u16string_view> pieces;
    for (;;) {
        size_t header = PartHeader(count, count).size();
        if (header + 2 > limit) {
            throw ELumInternalError(u"Internal Error: event-log limit below its part header");
        }
        pieces = Pieces(text, limit - header);
        if (PartHeader(pieces.size(), pieces.size()).size() <= header) {
            break;
        }
        count = pieces.size();
    }
    std::vector<std::u16string> parts;
    for (size_t i = 0; i < pieces.size(); ++i) {
        parts.push_back(PartHeader(i + 1, pieces.size()) + std::u16string(pieces[i]));
    }
    return parts;
}
