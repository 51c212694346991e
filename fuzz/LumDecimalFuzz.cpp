// libFuzzer target for decimal texts: the input is a text (as ANSI bytes and as UTF-16) that a
// variant conversion may be given. It reads as a decimal or raises EConvertError; what it reads
// writes back as a text that reads as the same value and is written the same again.
#include "toolkit/base/LumDecimal.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Expect(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void ReadText(std::u16string_view text) {
    TDecimal value;
    try {
        value = TDecimal::FromText(text);
    } catch (const EConvertError&) {
        TDecimal unused;
        Expect(ReadDecimalText(text, unused) != TNumberRead::Ok);
        return;
    }
    TDecimal same;
    Expect(ReadDecimalText(text, same) == TNumberRead::Ok && CompareDecimals(same, value) == 0);
    std::u16string written = value.ToText();
    TDecimal back = TDecimal::FromText(written);
    Expect(CompareDecimals(back, value) == 0);
    Expect(back.ToText() == written);
    DecimalToDouble(value);
    for (int scale = 0; scale <= 28; scale += 7) {
        ScaledMagnitude64(value, scale);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string ansi(reinterpret_cast<const char*>(data), size);
    ReadText(AnsiToWide(ansi));
    std::u16string wide;
    for (size_t i = 0; i + 1 < size; i += 2) {
        wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    }
    ReadText(wide);
    return 0;
}
