#pragma once
// Binary data in little-endian order, read and written through one checked reader and one
// writer: integers of each width, bytes, UTF-16 text, zero-terminated text and LEB128 numbers.
// Every read is checked against the end of the bytes before it happens; a read that would
// pass the end (or a LEB128 number too long for 64 bits) raises EByteReadError, and the
// reader stays where it was.
//
// Part of lum_toolkit_text: the build tools use it before the resource string headers exist,
// so it needs no resource string and its error is no Exception (whose texts are resource
// strings); callers that raise a text of their own catch EByteReadError and raise that.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

/// A read outside the bytes, or malformed data the reader itself can tell (a LEB128 number
/// longer than 64 bits allow).
class EByteReadError : public std::runtime_error {
  public:
    /// "N bytes at offset X are past the end (size Y)".
    EByteReadError(std::uint64_t offset, std::uint64_t wanted, std::uint64_t size);
    /// Any other text, for the offset where the malformed data starts.
    EByteReadError(std::uint64_t offset, const std::string& what);

    /// Where the failed read started.
    std::uint64_t Offset() const { return offset_; }

  private:
    std::uint64_t offset_;
};

/// The value of sizeof(T) little-endian bytes; the caller has checked that they are there.
template <class T> T LoadLittleEndian(const std::uint8_t* bytes) {
    static_assert(std::is_integral_v<T> || std::is_same_v<T, char16_t>);
    using Unsigned = std::make_unsigned_t<T>;
    Unsigned value = 0;
    for (size_t i = sizeof(T); i-- > 0;) {
        value = static_cast<Unsigned>(value << 8 | bytes[i]);
    }
    return static_cast<T>(value);
}

/// Stores the value as sizeof(T) little-endian bytes.
template <class T> void StoreLittleEndian(T value, std::uint8_t* bytes) {
    static_assert(std::is_integral_v<T> || std::is_same_v<T, char16_t>);
    auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

/// How a LEB128 read treats a number longer than 64 bits.
enum class TLebLength {
    /// At most ten bytes and no bit beyond the 64th: anything longer raises EByteReadError.
    Checked,
    /// Any length; bits beyond the 64th are dropped (DWARF readers that tolerate padding).
    Wrapping,
};

/// Reads little-endian data from bytes that must outlive it.
class TByteReader {
  public:
    explicit TByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    TByteReader(const void* data, size_t size)
        : bytes_(static_cast<const std::uint8_t*>(data), size) {}

    std::span<const std::uint8_t> Data() const { return bytes_; }
    size_t Size() const { return bytes_.size(); }
    size_t Position() const { return position_; }
    size_t Remaining() const { return bytes_.size() - position_; }
    bool AtEnd() const { return position_ >= bytes_.size(); }
    /// Whether `count` more bytes are there.
    bool Has(std::uint64_t count) const { return count <= Remaining(); }

    /// Moves to an offset from the start; past the end raises.
    void Seek(std::uint64_t position);
    void Skip(std::uint64_t count);
    /// Moves up to the next multiple of `alignment`, or to the end where that lies beyond.
    void AlignTo(size_t alignment);

    std::uint8_t U8() { return Read<std::uint8_t>(); }
    std::uint16_t U16() { return Read<std::uint16_t>(); }
    std::uint32_t U32() { return Read<std::uint32_t>(); }
    std::uint64_t U64() { return Read<std::uint64_t>(); }
    std::int8_t I8() { return Read<std::int8_t>(); }
    std::int16_t I16() { return Read<std::int16_t>(); }
    std::int32_t I32() { return Read<std::int32_t>(); }
    std::int64_t I64() { return Read<std::int64_t>(); }
    /// An unsigned integer of 1 to 8 bytes.
    std::uint64_t Unsigned(size_t size);

    template <class T> T Read() {
        Need(sizeof(T));
        T value = LoadLittleEndian<T>(bytes_.data() + position_);
        position_ += sizeof(T);
        return value;
    }

    /// The next `count` bytes, without copying.
    std::span<const std::uint8_t> Bytes(std::uint64_t count);
    /// `count` UTF-16 code units.
    std::u16string Utf16(std::uint64_t count);
    /// UTF-16 code units up to a zero unit, which is read but not returned.
    std::u16string Utf16Z();
    /// Bytes up to a zero byte, which is read but not returned.
    std::string_view CString();

    std::uint64_t Uleb(TLebLength length = TLebLength::Checked);
    std::int64_t Sleb(TLebLength length = TLebLength::Checked);

    // The forms that raise nothing, for readers that must not raise (the stack traces' debug
    // information is read while an exception is being reported): nothing where the forms
    // above raise, and the position stays.
    template <class T> std::optional<T> TryRead() {
        if (!Has(sizeof(T))) {
            return std::nullopt;
        }
        return Read<T>();
    }
    std::optional<std::uint64_t> TryUleb(TLebLength length = TLebLength::Checked);
    std::optional<std::int64_t> TrySleb(TLebLength length = TLebLength::Checked);

  private:
    enum class TLebResult { Read, PastTheEnd, TooLong };

    void Need(std::uint64_t count) const;
    // Reads a LEB128 number into `value` (its bits, for a signed one); on failure the position
    // stays and `failedAt` says where.
    TLebResult ReadLeb(bool isSigned, TLebLength length, std::uint64_t& value, size_t& failedAt);
    [[noreturn]] void RaiseLeb(TLebResult result, size_t failedAt) const;

    std::span<const std::uint8_t> bytes_;
    size_t position_ = 0;
};

/// Writes little-endian data into a growing buffer.
class TByteWriter {
  public:
    const std::vector<std::uint8_t>& Data() const { return bytes_; }
    /// The bytes written, leaving the writer empty.
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }
    size_t Size() const { return bytes_.size(); }

    void U8(std::uint8_t value) { Write(value); }
    void U16(std::uint16_t value) { Write(value); }
    void U32(std::uint32_t value) { Write(value); }
    void U64(std::uint64_t value) { Write(value); }
    void I8(std::int8_t value) { Write(value); }
    void I16(std::int16_t value) { Write(value); }
    void I32(std::int32_t value) { Write(value); }
    void I64(std::int64_t value) { Write(value); }

    template <class T> void Write(T value) {
        size_t at = bytes_.size();
        bytes_.resize(at + sizeof(T));
        StoreLittleEndian(value, bytes_.data() + at);
    }
    /// Overwrites four bytes written before, at offset `at` (a size known only later).
    void PatchU32(size_t at, std::uint32_t value);

    void Bytes(std::span<const std::uint8_t> bytes);
    void Bytes(const void* data, size_t size);
    /// The code units, without a terminator.
    void Utf16(std::u16string_view text);
    /// The code units and a zero unit.
    void Utf16Z(std::u16string_view text);
    void Uleb(std::uint64_t value);
    void Sleb(std::int64_t value);
    /// Zero bytes up to the next multiple of `alignment`.
    void AlignTo(size_t alignment);

  private:
    std::vector<std::uint8_t> bytes_;
};
