#pragma once
// The clipboard's text, as ANSI (CF_TEXT) and as Unicode (CF_UNICODETEXT).

#include <string>

/// Puts ANSI text on the clipboard, replacing what was there. A clipboard that cannot be
/// opened or written raises EOSError.
void ClipboardSetText(const std::string& text);
/// Puts Unicode text on the clipboard.
void ClipboardSetWideText(const std::u16string& text);
/// The clipboard's ANSI text; empty when it holds none.
std::string ClipboardText();
/// The clipboard's Unicode text; empty when it holds none.
std::u16string ClipboardWideText();
