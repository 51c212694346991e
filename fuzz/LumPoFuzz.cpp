// libFuzzer target for reading translation catalogues (PO files). What reads must write and read
// back to the same entries and header.
#include "lib/LumTrx/LumTrxPo.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Expect(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    TPoCatalogue catalogue;
    try {
        catalogue = ReadPo(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const EPoError&) {
        return 0;
    }
    TPoCatalogue again = ReadPo(WritePo(catalogue));
    Expect(again.Header == catalogue.Header);
    Expect(again.Entries.size() == catalogue.Entries.size());
    for (size_t i = 0; i < again.Entries.size(); ++i) {
        // Comments are lines of text: only their line breaks may be laid out anew.
        Expect(again.Entries[i].Context == catalogue.Entries[i].Context);
        Expect(again.Entries[i].Id == catalogue.Entries[i].Id);
        Expect(again.Entries[i].Str == catalogue.Entries[i].Str);
        Expect(again.Entries[i].Flags == catalogue.Entries[i].Flags);
    }
    return 0;
}
