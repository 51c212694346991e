// libFuzzer target for the form stream conversions. The first byte chooses the direction:
// odd, the rest is form text; even, the rest is a binary form stream. Malformed input must
// raise the conversion's own error; whatever converts must convert back to the same result.
#include "toolkit/base/LumExceptions.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/base/LumStreams.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string TextToBinary(const std::string& text) {
    TLumMemoryStream input(text);
    TLumMemoryStream output;
    ObjectTextToBinary(input, output);
    return output.Bytes();
}

std::string BinaryToText(const std::string& binary) {
    TLumMemoryStream input(binary);
    TLumMemoryStream output;
    ObjectBinaryToText(input, output);
    return output.Bytes();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        std::string binary;
        try {
            binary = TextToBinary(input);
        } catch (const EParserError&) {
            return 0;
        }
        if (TextToBinary(BinaryToText(binary)) != binary) {
            std::abort();
        }
    } else {
        std::string text;
        try {
            text = BinaryToText(input);
        } catch (const EReadError&) {
            return 0;
        }
        if (BinaryToText(TextToBinary(text)) != text) {
            std::abort();
        }
    }
    return 0;
}
