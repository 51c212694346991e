// The section's two forms, and the readers kept for the sections of loaded images.

#include "debuginfo/LumDebugInfo.h"

#include "toolkit/base/LumByteIO.h"
#include "toolkit/base/LumInflate.h"

#include <cstring>
#include <memory>

using namespace DebugLayout;

void TDebugSection::Open() const {
    if (bytes_.size() < kDeflatedHeaderSize ||
        std::memcmp(bytes_.data(), kMagic, sizeof kMagic) != 0) {
        return;
    }
    if (LoadLittleEndian<std::uint32_t>(bytes_.data() + 4) != kDeflatedVersion) {
        reader_ = TDebugInfoReader::Open(bytes_);
        return;
    }
    std::uint32_t packedSize = LoadLittleEndian<std::uint32_t>(bytes_.data() + 8);
    std::uint32_t deflatedSize = LoadLittleEndian<std::uint32_t>(bytes_.data() + 12);
    if (deflatedSize > bytes_.size() - kDeflatedHeaderSize) {
        return;
    }
    auto packed = TryInflate(bytes_.subspan(kDeflatedHeaderSize, deflatedSize), packedSize);
    if (!packed) {
        return;
    }
    inflated_ = std::move(*packed);
    reader_ = TDebugInfoReader::Open(inflated_);
}

std::optional<TDebugLocation> TDebugSection::Lookup(std::uint32_t address) const {
    std::call_once(opened_, [this] { Open(); });
    if (!reader_) {
        return std::nullopt;
    }
    return reader_->Lookup(address);
}

const TDebugSection& KeptDebugSection(std::span<const std::uint8_t> bytes) {
    struct Kept {
        std::span<const std::uint8_t> Bytes;
        std::unique_ptr<TDebugSection> Section;
    };
    static std::mutex lock;
    // Never destroyed: a report made while the process ends still finds its section.
    static std::vector<Kept>& kept = *new std::vector<Kept>;
    std::lock_guard hold(lock);
    for (const Kept& k : kept) {
        if (k.Bytes.data() == bytes.data() && k.Bytes.size() == bytes.size()) {
            return *k.Section;
        }
    }
    kept.push_back({bytes, std::make_unique<TDebugSection>(bytes)});
    return *kept.back().Section;
}
