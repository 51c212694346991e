// libFuzzer target for the form text model of translation modules. The input is parsed as it
// stands: malformed text must raise, and what parses must render. (Text the toolkit never
// writes, such as a property without a name, may render into lines of another indentation;
// loading rejects it, as its rendering differs.) Where the toolkit reads the input, its own
// form text must render back byte for byte, and the converters must read its values or raise.
#include "lib/LumTrx/LumTrxFrmUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/persist/LumFormStream.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Whether the text parses; malformed text raises the parser's errors, nothing else.
bool Parses(TFrmForm& form, const std::string& text, std::vector<TFrmProperty*>* properties) {
    try {
        form.Parse(text, properties);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    TFrmForm raw;
    if (Parses(raw, input, nullptr)) {
        raw.Render();
    }

    std::string canonical;
    try {
        canonical = FormBinaryToText(FormTextToBinary(input));
    } catch (const EParserError&) {
        return 0;
    } catch (const EReadError&) {
        return 0;
    }
    TFrmForm form;
    std::vector<TFrmProperty*> properties;
    if (!Parses(form, canonical, &properties)) {
        return 0;
    }
    if (form.Render() != canonical) {
        std::abort();
    }
    for (TFrmProperty* property : properties) {
        try {
            ConvertForReading(*property);
        } catch (const Exception&) {
            // Properties without converter, and values of another kind under a converted name.
        }
    }
    return 0;
}
