#pragma once
// Text conversions. Wide text is UTF-16 (std::u16string) everywhere; ANSI text is bytes in the
// system's ANSI code page (std::string).

#include <string>
#include <string_view>
#include <vector>

/// ANSI (system code page) to UTF-16. Bytes the code page does not map become U+FFFD.
std::u16string AnsiToWide(std::string_view ansi);

/// UTF-16 to ANSI (system code page). Characters the code page lacks become '?'.
std::string WideToAnsi(std::u16string_view wide);

/// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::u16string_view wide);

/// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string Utf8ToWide(std::string_view utf8);

/// Plain ASCII text widened character by character (for literals and numbers).
std::u16string AsciiToWide(std::string_view ascii);

/// Upper case of ASCII letters only; everything else unchanged.
std::u16string AsciiUpperCase(std::u16string_view text);

/// Case-insensitive equality of ASCII letters; other characters compare exactly.
bool SameAsciiText(std::u16string_view a, std::u16string_view b);
bool SameAsciiText(std::string_view a, std::string_view b);

/// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

/// The lines of a text, split at CR LF, CR and LF; a break at the very end starts no line.
std::vector<std::u16string> SplitLines(std::u16string_view text);
std::vector<std::string> SplitLines(std::string_view text);
