#include "lib/LumTrx/LumTrxResourceUtils.h"

#include "rstr/LumTrxResourceUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>

TStringBlockList ReadStringBlockList(std::uint16_t block, std::span<const std::uint8_t> data) {
    TStringBlockList list;
    // Ids are 16 bits: blocks 1 to 4096 hold them all, and another number holds none.
    if (block == 0 || block > StringBlockOf(0xFFFF)) {
        return list;
    }
    std::vector<std::u16string> strings = DecodeStringBlock(data);
    for (size_t slot = 0; slot < strings.size(); ++slot) {
        if (!strings[slot].empty()) {
            auto id = static_cast<std::uint16_t>((block - 1) * kStringsPerBlock + slot);
            list.push_back({id, std::move(strings[slot])});
        }
    }
    return list;
}

void PutString(TStringBlockLists& blocks, std::uint16_t id, std::u16string_view text) {
    auto inBlock = [id](const TStringBlockList& list) {
        return !list.empty() && StringBlockOf(list.front().Id) == StringBlockOf(id);
    };
    auto block = std::find_if(blocks.begin(), blocks.end(), inBlock);
    if (block == blocks.end()) {
        return;
    }
    auto entry = std::find_if(block->begin(), block->end(),
                              [id](const TBlockString& s) { return s.Id == id; });
    if (entry != block->end()) {
        entry->Text = text;
    }
}

TStringBlockSlots StringBlockSlots(const TStringBlockList& list) {
    TStringBlockSlots result;
    if (list.empty()) {
        return result;
    }
    result.Block = StringBlockOf(list.front().Id);
    for (const TBlockString& string : list) {
        // A string of another block would land in a wrong slot of this one.
        if (StringBlockOf(string.Id) != result.Block) {
            throw ELumInternalError(Format(LoadResString(LumTrxResourceUtils::SStringOutsideBlock),
                                           string.Id, result.Block));
        }
        result.Slots[StringIndexOf(string.Id)] = string.Text;
    }
    return result;
}

bool IsFormStreamStart(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty() && bytes[0] == 255) {
        return true;
    }
    return bytes.size() >= 4 && bytes[0] == 'L' && bytes[1] == 'P' && bytes[2] == 'F' &&
           bytes[3] == '0';
}

std::vector<std::uint8_t> ResourceTextBytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::u16string ResourceTextOf(std::span<const std::uint8_t> data) {
    std::u16string text(data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return text;
}

void CheckResourceTextName(std::u16string_view name) {
    if (name != AsciiUpperCase(name)) {
        throw Exception(LoadResString(LumTrxResourceUtils::SResNameNotUpperCase));
    }
}
