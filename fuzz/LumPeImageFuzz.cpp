// libFuzzer target for the PE image reader and its resource-directory walker, with the
// string-table blocks it finds. The input is the image file. The headers' reader raises
// nothing; the walker raises only EByteReadError; every span they hand out must lie inside
// the bytes. A block read as the list of its strings writes back a block that reads as the
// same list.
#include "lib/LumTrx/LumTrxResourceUtils.h"
#include "toolkit/base/LumByteIO.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/res/LumStringTables.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

constexpr std::uint16_t kStringTableType = 6;

// A span handed out must lie inside the image's bytes; reading it lets the address sanitizer
// check that too.
unsigned CheckInside(std::span<const std::uint8_t> all, std::span<const std::uint8_t> part) {
    if (!part.empty() &&
        (part.data() < all.data() || part.data() + part.size() > all.data() + all.size())) {
        std::abort();
    }
    unsigned sum = 0;
    for (std::uint8_t byte : part) {
        sum += byte;
    }
    return sum;
}

void CheckStringBlock(std::uint16_t block, std::span<const std::uint8_t> data) {
    DecodeStringBlock(data);
    TStringBlockList list = ReadStringBlockList(block, data);
    if (list.empty()) {
        return;
    }
    TStringBlockSlots slots = StringBlockSlots(list);
    if (ReadStringBlockList(slots.Block, EncodeStringBlock(slots.Slots)) != list) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    std::optional<TPeImage> image = TPeImage::Parse(bytes);
    if (!image) {
        return 0;
    }
    for (const TPeSection& section : image->Sections()) {
        CheckInside(bytes, image->SectionData(section));
        if (image->FindSection(section.Name) == nullptr) {
            std::abort();
        }
        image->FileOffsetOf(section.VirtualAddress);
    }
    image->NextSectionAddress();
    try {
        for (const TPeResource& resource : image->Resources()) {
            std::span<const std::uint8_t> data = image->ResourceData(resource);
            CheckInside(bytes, data);
            if (resource.Type == TResId(kStringTableType) && resource.Name.IsNumber()) {
                CheckStringBlock(resource.Name.Number(), data);
            }
            if (!image->FindResourceEntry(resource.Type, resource.Name)) {
                std::abort();
            }
        }
    } catch (const EByteReadError&) {
    }
    return 0;
}
