#include "toolkit/base/LumInflate.h"

#include "toolkit/base/LumByteIO.h"

#include <array>
#include <cstring>

namespace {

constexpr int kMaxCodeBits = 15;
constexpr int kEndOfBlock = 256;
// The most codes a dynamic block may declare: the symbols that can ever stand for data.
constexpr size_t kMaxLiteralCodes = 286;
constexpr size_t kMaxDistanceCodes = 30;

// Length symbols 257 to 285 and distance symbols 0 to 29: the smallest value and the extra
// bits that are added to it.
constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtraBits = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtraBits = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                             4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                             9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block gives the lengths of the code-length code.
constexpr std::array<std::uint8_t, 19> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                           11, 4,  12, 3, 13, 2, 14, 1, 15};

// Two bits give at most 258 bytes (a match whose length and distance codes have one bit each),
// so a byte of deflate data never gives more than this.
constexpr size_t kMaxRatio = 1032;

enum class TBuild { Built, OverSubscribed, Incomplete };

// A canonical Huffman code as a table indexed by the code's longest length in bits of input,
// first bit lowest; each entry holds the symbol whose code those bits start with and the code's
// length, or 0 where no code does (an incomplete code).
class THuffmanTable {
  public:
    // An empty code, or one of a single one-bit code, is accepted incomplete unless `complete`
    // is asked for: deflate writes such codes for blocks with one distance or none.
    TBuild Build(std::span<const std::uint8_t> lengths, bool complete) {
        std::array<int, kMaxCodeBits + 1> count{};
        for (std::uint8_t length : lengths) {
            ++count[length];
        }
        count[0] = 0;
        int left = 1;
        bits_ = 0;
        for (int length = 1; length <= kMaxCodeBits; ++length) {
            left = 2 * left - count[length];
            if (left < 0) {
                return TBuild::OverSubscribed;
            }
            if (count[length] > 0) {
                bits_ = length;
            }
        }
        if (left > 0 && (complete || bits_ > 1)) {
            return TBuild::Incomplete;
        }
        std::array<std::uint32_t, kMaxCodeBits + 1> next{};
        for (int length = 1, code = 0; length <= kMaxCodeBits; ++length) {
            code = (code + count[length - 1]) << 1;
            next[length] = static_cast<std::uint32_t>(code);
        }
        entries_.assign(size_t{1} << bits_, 0);
        for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
            int length = lengths[symbol];
            if (length == 0) {
                continue;
            }
            // Codes go into the stream first bit highest, the table is indexed first bit lowest.
            std::uint32_t code = next[length]++;
            std::uint32_t reversed = 0;
            for (int i = 0; i < length; ++i) {
                reversed = reversed << 1 | (code >> i & 1);
            }
            for (size_t at = reversed; at < entries_.size(); at += size_t{1} << length) {
                entries_[at] = static_cast<std::uint16_t>(symbol << 4 | length);
            }
        }
        return TBuild::Built;
    }

    int Bits() const { return bits_; }
    std::uint16_t Entry(std::uint64_t bits) const {
        return entries_[bits & ((std::uint64_t{1} << bits_) - 1)];
    }

  private:
    std::vector<std::uint16_t> entries_;
    int bits_ = 0;
};

struct TFault {
    const char* What;
    size_t Offset;
};

// One inflation. Each step answers false after noting the fault; nothing is raised here, so
// that TryInflate raises nothing.
class TInflater {
  public:
    TInflater(std::span<const std::uint8_t> in, size_t inflatedSize)
        : in_(in), out_(inflatedSize) {}

    bool Run() {
        bool last = false;
        while (!last) {
            std::uint32_t header;
            if (!ReadBits(3, header)) {
                return false;
            }
            last = header & 1;
            bool read = false;
            switch (header >> 1) {
            case 0:
                read = Stored();
                break;
            case 1:
                read = Fixed();
                break;
            case 2:
                read = Dynamic();
                break;
            default:
                return Fail("deflate block of type 3");
            }
            if (!read) {
                return false;
            }
        }
        if (written_ != out_.size()) {
            return Fail("deflate data inflates to fewer bytes than announced");
        }
        // Only the padding bits of the last byte may be left.
        if (at_ != in_.size() || count_ >= 8) {
            return Fail("bytes after the end of the deflate data", (BitsUsed() + 7) / 8);
        }
        return true;
    }

    const TFault& Fault() const { return fault_; }
    std::vector<std::uint8_t> Take() { return std::move(out_); }

  private:
    size_t BitsUsed() const { return at_ * 8 - static_cast<size_t>(count_); }

    // Notes the fault at the byte that holds the last bit read, or at `offset`.
    bool Fail(const char* what, std::optional<size_t> offset = std::nullopt) {
        fault_ = {what, offset ? *offset : BitsUsed() > 0 ? (BitsUsed() - 1) / 8 : 0};
        return false;
    }

    // Takes bytes of input until `bits` bits are there or the input ends.
    void Fill(int bits) {
        while (count_ < bits && at_ < in_.size()) {
            buffer_ |= std::uint64_t{in_[at_++]} << count_;
            count_ += 8;
        }
    }

    void Drop(int bits) {
        buffer_ >>= bits;
        count_ -= bits;
    }

    bool ReadBits(int bits, std::uint32_t& value) {
        Fill(bits);
        if (count_ < bits) {
            return Fail("deflate data ends early");
        }
        value = static_cast<std::uint32_t>(buffer_ & ((std::uint64_t{1} << bits) - 1));
        Drop(bits);
        return true;
    }

    bool Decode(const THuffmanTable& table, int& symbol) {
        Fill(table.Bits());
        std::uint16_t entry = table.Entry(buffer_);
        int length = entry & 15;
        // Bits past the end of the input read as zeros: a code found in them is no answer.
        if (length == 0 ? count_ < table.Bits() : length > count_) {
            return Fail("deflate data ends early");
        }
        if (length == 0) {
            return Fail("deflate data holds a bit sequence that is not a code");
        }
        Drop(length);
        symbol = entry >> 4;
        return true;
    }

    bool Put(std::uint8_t byte) {
        if (written_ == out_.size()) {
            return Fail("deflate data inflates to more bytes than announced");
        }
        out_[written_++] = byte;
        return true;
    }

    bool Stored() {
        Drop(count_ % 8);
        std::uint32_t length;
        std::uint32_t complement;
        if (!ReadBits(16, length) || !ReadBits(16, complement)) {
            return false;
        }
        if (length != (~complement & 0xFFFF)) {
            return Fail("stored block length does not match its complement");
        }
        // Whole bytes that are already in the bit buffer come first.
        for (; length > 0 && count_ > 0; --length) {
            std::uint32_t byte;
            if (!ReadBits(8, byte) || !Put(static_cast<std::uint8_t>(byte))) {
                return false;
            }
        }
        if (length > out_.size() - written_) {
            return Fail("deflate data inflates to more bytes than announced");
        }
        if (length > in_.size() - at_) {
            return Fail("deflate data ends early");
        }
        // Not for an empty block: the output may have no storage at all.
        if (length > 0) {
            std::memcpy(out_.data() + written_, in_.data() + at_, length);
        }
        at_ += length;
        written_ += length;
        return true;
    }

    bool Fixed() {
        std::array<std::uint8_t, 288> literals;
        std::memset(literals.data(), 8, 144);
        std::memset(literals.data() + 144, 9, 112);
        std::memset(literals.data() + 256, 7, 24);
        std::memset(literals.data() + 280, 8, 8);
        std::array<std::uint8_t, 32> distances;
        distances.fill(5);
        literals_.Build(literals, true);
        distances_.Build(distances, true);
        return Codes();
    }

    bool Built(TBuild result) {
        switch (result) {
        case TBuild::Built:
            return true;
        case TBuild::OverSubscribed:
            return Fail("deflate code lengths over-subscribe");
        case TBuild::Incomplete:
            return Fail("deflate code lengths leave the code incomplete");
        }
        return false;
    }

    bool Dynamic() {
        std::uint32_t literalCount;
        std::uint32_t distanceCount;
        std::uint32_t lengthCodeCount;
        if (!ReadBits(5, literalCount) || !ReadBits(5, distanceCount) ||
            !ReadBits(4, lengthCodeCount)) {
            return false;
        }
        literalCount += 257;
        distanceCount += 1;
        lengthCodeCount += 4;
        if (literalCount > kMaxLiteralCodes || distanceCount > kMaxDistanceCodes) {
            return Fail("deflate block declares more length or distance codes than exist");
        }

        std::array<std::uint8_t, 19> codeLengths{};
        for (std::uint32_t i = 0; i < lengthCodeCount; ++i) {
            std::uint32_t length;
            if (!ReadBits(3, length)) {
                return false;
            }
            codeLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(length);
        }
        THuffmanTable lengthCode;
        if (!Built(lengthCode.Build(codeLengths, true))) {
            return false;
        }

        // The lengths of both codes run on as one sequence; a repeat may cross from one into
        // the other.
        std::array<std::uint8_t, kMaxLiteralCodes + kMaxDistanceCodes> lengths{};
        size_t total = literalCount + distanceCount;
        for (size_t n = 0; n < total;) {
            int symbol;
            if (!Decode(lengthCode, symbol)) {
                return false;
            }
            if (symbol < 16) {
                lengths[n++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t repeated = 0;
            std::uint32_t count;
            if (symbol == 16) {
                if (n == 0) {
                    return Fail("deflate code length repeat with no length before it");
                }
                repeated = lengths[n - 1];
                if (!ReadBits(2, count)) {
                    return false;
                }
                count += 3;
            } else if (symbol == 17) {
                if (!ReadBits(3, count)) {
                    return false;
                }
                count += 3;
            } else {
                if (!ReadBits(7, count)) {
                    return false;
                }
                count += 11;
            }
            if (count > total - n) {
                return Fail("deflate code length repeat runs past the last code");
            }
            std::memset(lengths.data() + n, repeated, count);
            n += count;
        }
        if (lengths[kEndOfBlock] == 0) {
            return Fail("deflate block has no end-of-block code");
        }
        std::span<const std::uint8_t> all(lengths.data(), total);
        return Built(literals_.Build(all.first(literalCount), false)) &&
               Built(distances_.Build(all.subspan(literalCount), false)) && Codes();
    }

    // The literals and matches of a block up to its end-of-block code.
    bool Codes() {
        for (;;) {
            int symbol;
            if (!Decode(literals_, symbol)) {
                return false;
            }
            if (symbol < kEndOfBlock) {
                if (!Put(static_cast<std::uint8_t>(symbol))) {
                    return false;
                }
                continue;
            }
            if (symbol == kEndOfBlock) {
                return true;
            }
            size_t lengthCode = static_cast<size_t>(symbol) - 257;
            if (lengthCode >= kLengthBase.size()) {
                return Fail("deflate data uses length code 286 or 287");
            }
            std::uint32_t extra;
            if (!ReadBits(kLengthExtraBits[lengthCode], extra)) {
                return false;
            }
            size_t length = kLengthBase[lengthCode] + extra;
            int distanceCode;
            if (!Decode(distances_, distanceCode)) {
                return false;
            }
            if (static_cast<size_t>(distanceCode) >= kDistanceBase.size()) {
                return Fail("deflate data uses distance code 30 or 31");
            }
            if (!ReadBits(kDistanceExtraBits[distanceCode], extra)) {
                return false;
            }
            size_t distance = kDistanceBase[distanceCode] + extra;
            if (distance > written_) {
                return Fail("deflate distance reaches back before the start of the data");
            }
            if (length > out_.size() - written_) {
                return Fail("deflate data inflates to more bytes than announced");
            }
            // Byte by byte: a match may overlap the bytes it makes.
            for (size_t i = 0; i < length; ++i, ++written_) {
                out_[written_] = out_[written_ - distance];
            }
        }
    }

    std::span<const std::uint8_t> in_;
    size_t at_ = 0;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
    std::vector<std::uint8_t> out_;
    size_t written_ = 0;
    THuffmanTable literals_;
    THuffmanTable distances_;
    TFault fault_{"", 0};
};

// The inflated bytes, or the fault.
std::optional<std::vector<std::uint8_t>> Run(std::span<const std::uint8_t> deflated,
                                             size_t inflatedSize, TFault& fault) {
    // Checked before the output is allocated: a damaged size must not ask for gigabytes.
    if (inflatedSize / kMaxRatio > deflated.size()) {
        fault = {"deflate data is too short for the announced size", 0};
        return std::nullopt;
    }
    TInflater inflater(deflated, inflatedSize);
    if (!inflater.Run()) {
        fault = inflater.Fault();
        return std::nullopt;
    }
    return inflater.Take();
}

} // namespace

std::vector<std::uint8_t> Inflate(std::span<const std::uint8_t> deflated, size_t inflatedSize) {
    TFault fault{"", 0};
    std::optional<std::vector<std::uint8_t>> inflated = Run(deflated, inflatedSize, fault);
    if (!inflated) {
        throw EByteReadError(fault.Offset, fault.What);
    }
    return std::move(*inflated);
}

std::optional<std::vector<std::uint8_t>> TryInflate(std::span<const std::uint8_t> deflated,
                                                    size_t inflatedSize) {
    TFault fault{"", 0};
    return Run(deflated, inflatedSize, fault);
}
