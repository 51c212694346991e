// libFuzzer target for the form stream conversions. The first byte chooses the direction:
// odd, the rest is form text; even, the rest is a binary form stream. Malformed input must
// raise the conversion's own error; whatever converts must convert back to the same result.
#include "toolkit/base/LumExceptions.h"
#include "toolkit/persist/LumFormStream.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        std::string binary;
        try {
            binary = FormTextToBinary(input);
        } catch (const EParserError&) {
            return 0;
        }
        if (FormTextToBinary(FormBinaryToText(binary)) != binary) {
            std::abort();
        }
    } else {
        std::string text;
        try {
            text = FormBinaryToText(input);
        } catch (const EReadError&) {
            return 0;
        }
        if (FormBinaryToText(FormTextToBinary(text)) != text) {
            std::abort();
        }
    }
    return 0;
}
