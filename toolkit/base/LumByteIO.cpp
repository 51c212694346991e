#include "toolkit/base/LumByteIO.h"

#include <algorithm>

EByteReadError::EByteReadError(std::uint64_t offset, std::uint64_t wanted, std::uint64_t size)
    : std::runtime_error(std::to_string(wanted) + (wanted == 1 ? " byte" : " bytes") +
                         " at offset " + std::to_string(offset) + " past the end (size " +
                         std::to_string(size) + ")"),
      offset_(offset) {}

EByteReadError::EByteReadError(std::uint64_t offset, const std::string& what)
    : std::runtime_error(what + " at offset " + std::to_string(offset)), offset_(offset) {}

// ---- Reading ----

void TByteReader::Need(std::uint64_t count) const {
    if (count > Remaining()) {
        throw EByteReadError(position_, count, bytes_.size());
    }
}

void TByteReader::Seek(std::uint64_t position) {
    if (position > bytes_.size()) {
        throw EByteReadError(position, 0, bytes_.size());
    }
    position_ = static_cast<size_t>(position);
}

void TByteReader::Skip(std::uint64_t count) {
    Need(count);
    position_ += static_cast<size_t>(count);
}

void TByteReader::AlignTo(size_t alignment) {
    size_t aligned = (position_ + alignment - 1) / alignment * alignment;
    position_ = std::min(bytes_.size(), aligned);
}

std::uint64_t TByteReader::Unsigned(size_t size) {
    Need(size);
    std::uint64_t value = 0;
    for (size_t i = 0; i < size && i < 8; ++i) {
        value |= std::uint64_t{bytes_[position_ + i]} << (8 * i);
    }
    position_ += size;
    return value;
}

std::span<const std::uint8_t> TByteReader::Bytes(std::uint64_t count) {
    Need(count);
    auto bytes = bytes_.subspan(position_, static_cast<size_t>(count));
    position_ += static_cast<size_t>(count);
    return bytes;
}

std::u16string TByteReader::Utf16(std::uint64_t count) {
    // Checked as a whole first, so that a huge count allocates nothing.
    if (count > Remaining() / 2) {
        throw EByteReadError(position_, count * 2, bytes_.size());
    }
    std::u16string text(static_cast<size_t>(count), u'\0');
    for (char16_t& c : text) {
        c = Read<char16_t>();
    }
    return text;
}

std::u16string TByteReader::Utf16Z() {
    size_t start = position_;
    std::u16string text;
    try {
        for (char16_t c = Read<char16_t>(); c != 0; c = Read<char16_t>()) {
            text += c;
        }
    } catch (const EByteReadError&) {
        position_ = start;
        throw;
    }
    return text;
}

std::string_view TByteReader::CString() {
    auto begin = reinterpret_cast<const char*>(bytes_.data()) + position_;
    size_t length = std::string_view(begin, Remaining()).find('\0');
    if (length == std::string_view::npos) {
        throw EByteReadError(position_, "unterminated text");
    }
    position_ += length + 1;
    return std::string_view(begin, length);
}

TByteReader::TLebResult TByteReader::ReadLeb(bool isSigned, TLebLength length, std::uint64_t& value,
                                             size_t& failedAt) {
    size_t at = position_;
    value = 0;
    int shift = 0;
    std::uint8_t byte = 0;
    do {
        if (at >= bytes_.size()) {
            failedAt = at;
            return TLebResult::PastTheEnd;
        }
        byte = bytes_[at++];
        std::uint64_t bits = byte & 0x7Fu;
        // Ten bytes hold 64 bits; the tenth may only carry the 64th (unsigned).
        if (length == TLebLength::Checked &&
            (shift > 63 || (!isSigned && shift == 63 && bits > 1))) {
            failedAt = position_;
            return TLebResult::TooLong;
        }
        if (shift < 64) {
            value |= bits << shift;
        }
        shift += 7;
    } while (byte & 0x80);
    if (isSigned && shift < 64 && (byte & 0x40)) {
        value |= ~std::uint64_t{0} << shift;
    }
    position_ = at;
    return TLebResult::Read;
}

void TByteReader::RaiseLeb(TLebResult result, size_t failedAt) const {
    if (result == TLebResult::TooLong) {
        throw EByteReadError(failedAt, "LEB128 number longer than 64 bits");
    }
    throw EByteReadError(failedAt, 1, bytes_.size());
}

std::uint64_t TByteReader::Uleb(TLebLength length) {
    std::uint64_t value;
    size_t failedAt;
    if (TLebResult result = ReadLeb(false, length, value, failedAt); result != TLebResult::Read) {
        RaiseLeb(result, failedAt);
    }
    return value;
}

std::int64_t TByteReader::Sleb(TLebLength length) {
    std::uint64_t value;
    size_t failedAt;
    if (TLebResult result = ReadLeb(true, length, value, failedAt); result != TLebResult::Read) {
        RaiseLeb(result, failedAt);
    }
    return static_cast<std::int64_t>(value);
}

std::optional<std::uint64_t> TByteReader::TryUleb(TLebLength length) {
    std::uint64_t value;
    size_t failedAt;
    if (ReadLeb(false, length, value, failedAt) != TLebResult::Read) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> TByteReader::TrySleb(TLebLength length) {
    std::uint64_t value;
    size_t failedAt;
    if (ReadLeb(true, length, value, failedAt) != TLebResult::Read) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(value);
}

// ---- Writing ----

void TByteWriter::PatchU32(size_t at, std::uint32_t value) {
    if (at > bytes_.size() || bytes_.size() - at < 4) {
        throw std::out_of_range("TByteWriter::PatchU32 outside the bytes written");
    }
    StoreLittleEndian(value, bytes_.data() + at);
}

void TByteWriter::Bytes(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void TByteWriter::Bytes(const void* data, size_t size) {
    Bytes(std::span(static_cast<const std::uint8_t*>(data), size));
}

void TByteWriter::Utf16(std::u16string_view text) {
    for (char16_t c : text) {
        Write(c);
    }
}

void TByteWriter::Utf16Z(std::u16string_view text) {
    Utf16(text);
    Write(char16_t{0});
}

void TByteWriter::Uleb(std::uint64_t value) {
    do {
        std::uint8_t byte = value & 0x7F;
        value >>= 7;
        bytes_.push_back(value ? byte | 0x80 : byte);
    } while (value);
}

void TByteWriter::Sleb(std::int64_t value) {
    while (true) {
        std::uint8_t byte = value & 0x7F;
        value >>= 7; // arithmetic: the sign stays
        bool done = (value == 0 && !(byte & 0x40)) || (value == -1 && (byte & 0x40));
        bytes_.push_back(done ? byte : byte | 0x80);
        if (done) {
            return;
        }
    }
}

void TByteWriter::AlignTo(size_t alignment) {
    while (bytes_.size() % alignment) {
        bytes_.push_back(0);
    }
}
