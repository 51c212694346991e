#include "toolkit/base/LumDateTime.h"

#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumNumberText.h"
#include "toolkit/base/LumStrings.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr std::int64_t kUnixEpochDay = 25569; // 1970-01-01
constexpr std::int64_t kMsPerDay = 86400000;

// Years 1 to 9999 only: the range the date texts can show.
constexpr double kMinDate = -693593.0; // 0001-01-01
constexpr double kMaxDate = 2958466.0; // 10000-01-01

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    auto yoe = static_cast<unsigned>(y - era * 400);
    unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    auto doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<std::int64_t>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

unsigned DaysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// Reads the digits at pos; false when there are none or more than maxDigits.
bool ReadNumber(std::u16string_view text, size_t& pos, int maxDigits, int& value) {
    size_t start = pos;
    value = 0;
    while (pos < text.size() && IsAsciiDigit(text[pos]) &&
           static_cast<int>(pos - start) < maxDigits) {
        value = value * 10 + (text[pos++] - u'0');
    }
    return pos > start && (pos == text.size() || !IsAsciiDigit(text[pos]));
}

} // namespace

std::optional<std::u16string> DateTimeToText(double date) {
    if (!(date >= kMinDate && date < kMaxDate)) {
        return std::nullopt;
    }
    double whole = std::trunc(date);
    auto ms = static_cast<std::int64_t>(std::llround(std::fabs(date - whole) * kMsPerDay));
    auto day = static_cast<std::int64_t>(whole);
    if (ms == kMsPerDay) {
        ms = 0;
        ++day;
    }
    std::int64_t y = 0;
    unsigned m = 0;
    unsigned d = 0;
    CivilFromDays(day - kUnixEpochDay, y, m, d);
    std::u16string text =
        Format(u"%d/%d/%.4d", static_cast<int>(m), static_cast<int>(d), static_cast<int>(y));
    if (ms != 0) {
        auto seconds = static_cast<int>(ms / 1000);
        int hour = seconds / 3600;
        int hour12 = hour % 12 == 0 ? 12 : hour % 12;
        text += Format(u" %d:%.2d:%.2d %s", hour12, seconds / 60 % 60, seconds % 60,
                       hour < 12 ? u"AM" : u"PM");
    }
    return text;
}

std::optional<double> DateTimeFromText(std::u16string_view text) {
    text = TrimBlanks(text);
    size_t pos = 0;
    bool hasDate = false;
    std::int64_t days = 0;
    if (text.find(u'/') != std::u16string_view::npos) {
        int m = 0;
        int d = 0;
        int y = 0;
        if (!ReadNumber(text, pos, 2, m) || pos >= text.size() || text[pos++] != u'/' ||
            !ReadNumber(text, pos, 2, d) || pos >= text.size() || text[pos++] != u'/' ||
            !ReadNumber(text, pos, 4, y)) {
            return std::nullopt;
        }
        if (y < 1 || m < 1 || m > 12 || d < 1 ||
            d > static_cast<int>(DaysInMonth(y, static_cast<unsigned>(m)))) {
            return std::nullopt;
        }
        days = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) + kUnixEpochDay;
        hasDate = true;
        while (pos < text.size() && text[pos] == u' ') {
            ++pos;
        }
    }
    double time = 0;
    if (pos < text.size()) {
        int h = 0;
        int n = 0;
        int s = 0;
        if (!ReadNumber(text, pos, 2, h) || pos >= text.size() || text[pos++] != u':' ||
            !ReadNumber(text, pos, 2, n)) {
            return std::nullopt;
        }
        if (pos < text.size() && text[pos] == u':') {
            ++pos;
            if (!ReadNumber(text, pos, 2, s)) {
                return std::nullopt;
            }
        }
        while (pos < text.size() && text[pos] == u' ') {
            ++pos;
        }
        std::u16string_view marker = text.substr(pos);
        if (!marker.empty()) {
            bool pm = SameAsciiText(marker, u"PM");
            if ((!pm && !SameAsciiText(marker, u"AM")) || h < 1 || h > 12) {
                return std::nullopt;
            }
            h = h % 12 + (pm ? 12 : 0);
        }
        if (h > 23 || n > 59 || s > 59) {
            return std::nullopt;
        }
        time = (h * 3600 + n * 60 + s) / 86400.0;
    } else if (!hasDate) {
        return std::nullopt;
    }
    auto whole = static_cast<double>(days);
    return days < 0 ? whole - time : whole + time;
}
