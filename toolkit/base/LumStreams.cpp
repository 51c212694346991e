#include "toolkit/base/LumStreams.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumResStrings.h"

#include <algorithm>
#include <cstring>
#include <limits>

TLumStream::~TLumStream() = default;

std::int64_t TLumStream::Size() {
    std::int64_t position = Seek(0, soCurrent);
    std::int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TLumStream::ReadBuffer(void* buffer, size_t count) {
    if (count != 0 && Read(buffer, count) != count) {
        throw EReadError(LoadResString(LumRtlConsts::SReadError));
    }
}

void TLumStream::WriteBuffer(const void* buffer, size_t count) {
    if (count != 0 && Write(buffer, count) != count) {
        throw EWriteError(LoadResString(LumRtlConsts::SWriteError));
    }
}

std::int64_t TLumStream::CopyFrom(TLumStream& source, std::int64_t count) {
    if (count < 0) {
        return 0;
    }
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr size_t kChunk = 64 * 1024;
    std::vector<std::uint8_t> buffer(static_cast<size_t>(std::min<std::int64_t>(count, kChunk)));
    std::int64_t left = count;
    while (left > 0) {
        size_t part = static_cast<size_t>(std::min<std::int64_t>(left, kChunk));
        source.ReadBuffer(buffer.data(), part);
        WriteBuffer(buffer.data(), part);
        left -= static_cast<std::int64_t>(part);
    }
    return count;
}

void TLumCustomMemoryStream::SetPointer(const std::uint8_t* memory, size_t size) {
    memory_ = memory;
    size_ = size;
}

size_t TLumCustomMemoryStream::Read(void* buffer, size_t count) {
    if (position_ >= size_) {
        return 0;
    }
    size_t part = std::min(count, size_ - position_);
    std::memcpy(buffer, memory_ + position_, part);
    position_ += part;
    return part;
}

std::int64_t TLumCustomMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == soBeginning ? 0
                        : origin == soCurrent ? static_cast<std::int64_t>(position_)
                                              : static_cast<std::int64_t>(size_);
    // Overflow-safe: base is at most the size of memory, far from the limits.
    if (offset < -base ||
        offset > static_cast<std::int64_t>(std::numeric_limits<size_t>::max() / 2) - base) {
        throw EStreamError(LoadResString(LumRtlConsts::SSeekError));
    }
    position_ = static_cast<size_t>(base + offset);
    return static_cast<std::int64_t>(position_);
}

void TLumCustomMemoryStream::SaveToStream(TLumStream& destination) const {
    destination.WriteBuffer(memory_, size_);
}

void TLumCustomMemoryStream::SaveToFile(const std::u16string& path) const {
    TLumFileStream file(path, fmCreate);
    SaveToStream(file);
}

TLumMemoryStream::TLumMemoryStream(std::string_view bytes) {
    Write(bytes.data(), bytes.size());
    position_ = 0;
}

void TLumMemoryStream::Resize(size_t size) {
    data_.resize(size);
    SetPointer(data_.data(), data_.size());
}

size_t TLumMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) {
        return 0;
    }
    // A position past the end leaves a gap of zero bytes.
    if (count > data_.max_size() - position_) {
        throw EWriteError(LoadResString(LumRtlConsts::SWriteError));
    }
    if (position_ + count > data_.size()) {
        Resize(position_ + count);
    }
    std::memcpy(data_.data() + position_, buffer, count);
    position_ += count;
    return count;
}

void TLumMemoryStream::SetSize(std::int64_t size) {
    if (size < 0 || static_cast<std::uint64_t>(size) > data_.max_size()) {
        throw EStreamError(LoadResString(LumRtlConsts::SInvalidStreamSize));
    }
    Resize(static_cast<size_t>(size));
    position_ = std::min(position_, data_.size());
}

std::string TLumMemoryStream::Bytes() const {
    return std::string(data_.begin(), data_.end());
}

void TLumMemoryStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    SetPointer(nullptr, 0);
    position_ = 0;
}

void TLumMemoryStream::LoadFromStream(TLumStream& source) {
    source.SetPosition(0);
    std::int64_t size = source.Size();
    if (size < 0 || static_cast<std::uint64_t>(size) > data_.max_size()) {
        throw EReadError(LoadResString(LumRtlConsts::SReadError));
    }
    std::vector<std::uint8_t> data(static_cast<size_t>(size));
    source.ReadBuffer(data.data(), data.size());
    data_ = std::move(data);
    SetPointer(data_.data(), data_.size());
    position_ = 0;
}

void TLumMemoryStream::LoadFromFile(const std::u16string& path) {
    TLumFileStream file(path, fmOpenRead);
    LoadFromStream(file);
}
