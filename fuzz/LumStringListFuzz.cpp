// libFuzzer target for loading string lists. The input is a stream to load (any byte-order
// mark or none) and, read as text, a comma text to parse. What loads must come back unchanged
// through the list's own text, its UTF-16 stream and its comma text.
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumStrings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::u16string> Items(const TLumStringList& list) {
    std::vector<std::u16string> items;
    for (int i = 0; i < list.Count(); ++i) {
        items.push_back(list.Strings(i));
    }
    return items;
}

void Expect(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void RoundTrips(const TLumStringList& list) {
    std::vector<std::u16string> items = Items(list);

    TLumStringList fromText;
    fromText.SetText(list.Text());
    Expect(Items(fromText) == items);

    TLumMemoryStream stream;
    list.SaveToStream(stream, teUnicode);
    stream.SetPosition(0);
    TLumStringList fromStream;
    fromStream.LoadFromStream(stream);
    Expect(Items(fromStream) == items);

    TLumStringList fromCommas;
    fromCommas.SetCommaText(list.CommaText());
    Expect(Items(fromCommas) == items);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);

    TLumMemoryStream stream(bytes);
    TLumStringList loaded;
    loaded.LoadFromStream(stream);
    RoundTrips(loaded);
    for (int i = 0; i < loaded.Count(); ++i) {
        loaded.Names(i);
        loaded.ValueFromIndex(i);
    }

    TLumStringList parsed;
    parsed.SetCommaText(AnsiToWide(bytes));
    // Items of a comma text may hold line breaks, which the plain text cannot keep.
    TLumStringList again;
    again.SetCommaText(parsed.CommaText());
    Expect(Items(again) == Items(parsed));
    return 0;
}
