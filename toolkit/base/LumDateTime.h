#pragma once
// Dates as the variants hold them: days since 1899-12-30, the fraction being the time of day
// (before 1899-12-30 the fraction still counts forward from midnight: -1.25 is 1899-12-29
// 06:00), in the proleptic Gregorian calendar; and their text form "M/d/yyyy h:nn:ss AM/PM".

#include <optional>
#include <string>
#include <string_view>

/// The date as "M/d/yyyy" followed by " h:nn:ss AM" or " PM", the time left out when it is
/// midnight to the millisecond. Nothing outside the years 1 to 9999 (and for NaN).
std::optional<std::u16string> DateTimeToText(double date);

/// Reads "M/d/yyyy", "h:nn[:ss] [AM|PM]" (hours 1 to 12 with the marker, else 0 to 23) or the
/// two separated by blanks, blanks around them ignored; a time alone is a time of 1899-12-30.
/// Nothing for any other text or a day the month does not have.
std::optional<double> DateTimeFromText(std::u16string_view text);
