// libFuzzer target for Format: the input is a format text (a translation module can bring
// any), used as ANSI and as UTF-16, with one argument of each kind. A bad format raises
// EConvertError; whatever formats stays within the width cap per directive. The checks on
// translated format strings read the same texts: they raise only ELumGeneralError, and a
// canonical form is its own canonical form and agrees with its original as the original
// agrees with itself (a text may use one index with two types).
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// What one directive can add besides its padding: the longest argument text, or a number with
// its digits, signs and separators (%n of the largest double has about 420 characters).
constexpr size_t kDirectiveText = 1024;

template <class Text> void FormatWithEveryKind(const Text& format) {
    static const char kAnsi[] = "ansi text";
    static const int kObject = 0;
    Text out;
    try {
        out = Format(format, 42, -7, std::int64_t{-9000000000}, 3.25, -1.5e300, kAnsi,
                     u"wide \u00e9", static_cast<const void*>(&kObject), 1023, 0);
    } catch (const EConvertError&) {
        return;
    }
    if (out.size() > format.size() * (kFormatMaxWidth + kDirectiveText)) {
        std::abort();
    }
}

// Empty when the two agree.
std::u16string MatchMessage(const std::u16string& reference, const std::u16string& text) {
    try {
        CheckFormatStringsMatch(reference, text);
    } catch (const ELumGeneralError& error) {
        return error.Message();
    }
    return {};
}

void CheckCanonicalForm(const std::u16string& format) {
    std::u16string canonical;
    try {
        canonical = CanonicalFormatString(format);
    } catch (const ELumGeneralError&) {
        return;
    }
    if (CanonicalFormatString(canonical) != canonical) {
        std::abort();
    }
    if (MatchMessage(format, format) != MatchMessage(format, canonical)) {
        std::abort();
    }
    MatchMessage(format, u"%s %d %f %p");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string ansi(reinterpret_cast<const char*>(data), size);
    FormatWithEveryKind(ansi);
    std::u16string wide;
    for (size_t i = 0; i + 1 < size; i += 2) {
        wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    }
    FormatWithEveryKind(wide);
    FormatWithEveryKind(AnsiToWide(ansi));
    CheckCanonicalForm(wide);
    CheckCanonicalForm(AnsiToWide(ansi));
    return 0;
}
