#include "toolkit/base/LumInflate.h"

#include "toolkit/base/LumByteIO.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Raw deflate data as the host's zlib writes it.
Bytes Deflate(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&stream, data.size()));
    stream.next_in = const_cast<Bytes::value_type*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// The type of the first block (0 stored, 1 fixed, 2 dynamic).
int FirstBlockType(const Bytes& deflated) {
    return deflated.empty() ? -1 : deflated[0] >> 1 & 3;
}

Bytes Text(size_t size) {
    static const char* const words[] = {"procedure ",     "TOstrinForm::", "Timer1Timer ",
                                        "OstrinFrm.cpp ", "line ",         "unit\n"};
    std::mt19937 random(7);
    Bytes text;
    while (text.size() < size) {
        const char* word = words[random() % 6];
        text.insert(text.end(), word, word + std::char_traits<char>::length(word));
    }
    text.resize(size);
    return text;
}

Bytes Random(size_t size) {
    std::mt19937 random(11);
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// Deflate data written bit by bit, for streams no compressor writes.
class TBitWriter {
  public:
    TBitWriter& Bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i, ++bit_) {
            if (bit_ % 8 == 0) {
                bytes_.push_back(0);
            }
            bytes_.back() |= static_cast<std::uint8_t>((value >> i & 1) << (bit_ % 8));
        }
        return *this;
    }
    // A Huffman code goes first bit highest.
    TBitWriter& Code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) {
            Bits(code >> i & 1, 1);
        }
        return *this;
    }
    // A symbol of the fixed literal/length code, and of the fixed distance code.
    TBitWriter& Fixed(int symbol) {
        if (symbol < 144) {
            return Code(0x30 + symbol, 8);
        }
        if (symbol < 256) {
            return Code(0x190 + symbol - 144, 9);
        }
        if (symbol < 280) {
            return Code(symbol - 256, 7);
        }
        return Code(0xC0 + symbol - 280, 8);
    }
    TBitWriter& Distance(int symbol) { return Code(symbol, 5); }
    Bytes Take() { return std::move(bytes_); }

  private:
    Bytes bytes_;
    int bit_ = 0;
};

TBitWriter FinalBlock(int type) {
    TBitWriter out;
    out.Bits(1, 1).Bits(type, 2);
    return out;
}

// A final dynamic block of 257 literal/length and one distance code whose code-length code
// has two one-bit codes: 0 (code 0) and `other` (code 1), one of 16, 17 or 18.
TBitWriter DynamicHeader(int other) {
    TBitWriter out = FinalBlock(2);
    out.Bits(0, 5).Bits(0, 5).Bits(0, 4);
    // The first four code-length code lengths are those of 16, 17, 18 and 0.
    for (int symbol : {16, 17, 18}) {
        out.Bits(symbol == other ? 1 : 0, 3);
    }
    out.Bits(1, 3);
    return out;
}

// A final dynamic block whose literal/length code has one code of one bit (0), for the end of
// the block, and whose distance code is empty, then `bit`. Deflate allows both codes.
Bytes EndOfBlockOnly(int bit) {
    TBitWriter out = FinalBlock(2);
    out.Bits(0, 5).Bits(0, 5).Bits(14, 4);
    // The code-length code: 18 of one bit, 0 and 1 of two, given in the order 16, 17, 18, 0,
    // then 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14 and 1.
    out.Bits(0, 3).Bits(0, 3).Bits(1, 3).Bits(2, 3);
    for (int i = 0; i < 13; ++i) {
        out.Bits(0, 3);
    }
    out.Bits(2, 3);
    // 256 zeros, a one for the end of the block, a zero for the distance.
    out.Code(0, 1).Bits(127, 7).Code(0, 1).Bits(107, 7).Code(3, 2).Code(2, 2);
    return out.Bits(static_cast<std::uint32_t>(bit), 1).Take();
}

// "a" and a match of three bytes with the fixed distance code given.
Bytes MatchAfterOneByte(int distanceCode) {
    return FinalBlock(1).Fixed('a').Fixed(257).Distance(distanceCode).Fixed(256).Take();
}

std::string FailureOf(const Bytes& deflated, size_t size) {
    try {
        Inflate(deflated, size);
    } catch (const EByteReadError& error) {
        EXPECT_FALSE(TryInflate(deflated, size));
        return error.what();
    }
    return "inflated";
}

} // namespace

TEST(Inflate, RoundTripsOfZlibDataAtEachLevelAndBlockType) {
    struct Case {
        const char* Name;
        Bytes Data;
        int Level;
        int Strategy;
        int BlockType; // of the first block; -1 where it does not matter
    };
    Bytes allValues;
    for (int round = 0; round < 3; ++round) {
        for (int value = 0; value < 256; ++value) {
            allValues.push_back(static_cast<std::uint8_t>(value));
        }
    }
    Bytes run(300'000, 'a');
    Bytes mixed = Text(50'000);
    Bytes noise = Random(20'000);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), run.begin(), run.begin() + 70'000);

    const Case cases[] = {
        {"empty, stored", {}, 0, Z_DEFAULT_STRATEGY, 0},
        {"empty, fixed", {}, 9, Z_DEFAULT_STRATEGY, 1},
        {"one byte", {0x42}, 9, Z_DEFAULT_STRATEGY, 1},
        {"text, stored", Text(150'000), 0, Z_DEFAULT_STRATEGY, 0},
        {"text, level 1", Text(150'000), 1, Z_DEFAULT_STRATEGY, 2},
        {"text, level 9", Text(150'000), 9, Z_DEFAULT_STRATEGY, 2},
        {"text, fixed code", Text(150'000), 9, Z_FIXED, 1},
        {"all byte values, level 1", allValues, 1, Z_DEFAULT_STRATEGY, -1},
        {"all byte values, level 9", allValues, 9, Z_DEFAULT_STRATEGY, -1},
        {"all byte values, fixed code", allValues, 9, Z_FIXED, 1},
        {"long run, level 1", run, 1, Z_DEFAULT_STRATEGY, -1},
        {"long run, level 9", run, 9, Z_DEFAULT_STRATEGY, -1},
        {"long run, matches of distance one", run, 9, Z_RLE, -1},
        {"noise, level 9 (stored)", Random(100'000), 9, Z_DEFAULT_STRATEGY, 0},
        {"text, noise and a run, level 9", mixed, 9, Z_DEFAULT_STRATEGY, 2},
        {"literals only", Text(40'000), 9, Z_HUFFMAN_ONLY, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes deflated = Deflate(c.Data, c.Level, c.Strategy);
        if (c.BlockType >= 0) {
            EXPECT_EQ(FirstBlockType(deflated), c.BlockType);
        }
        EXPECT_EQ(Inflate(deflated, c.Data.size()), c.Data);
        EXPECT_EQ(TryInflate(deflated, c.Data.size()), c.Data);
    }
}

TEST(Inflate, MatchesMayOverlapWhatTheyCopy) {
    // "a", then 4 bytes from one back; "b", then 6 bytes from two back.
    Bytes deflated = FinalBlock(1)
                         .Fixed('a')
                         .Fixed(258)
                         .Distance(0)
                         .Fixed('b')
                         .Fixed(260)
                         .Distance(1)
                         .Fixed(256)
                         .Take();
    std::string expected = "aaaaabababab";
    EXPECT_EQ(Inflate(deflated, expected.size()), Bytes(expected.begin(), expected.end()));
}

TEST(Inflate, MalformedDataIsRefused) {
    Bytes text = Text(5'000);
    Bytes deflated = Deflate(text, 9);
    Bytes trailing = deflated;
    trailing.push_back(0);

    struct Case {
        const char* Name;
        Bytes Data;
        size_t Size;
        std::string Failure;
    };
    const Case cases[] = {
        {"block type 3", {0x07, 0x00}, 0, "deflate block of type 3 at offset 0"},
        {"stored length against its complement",
         {0x01, 0x05, 0x00, 0xFA, 0xFE, 1, 2, 3, 4, 5},
         5,
         "stored block length does not match its complement"},
        {"stored block longer than its data",
         {0x01, 0x05, 0x00, 0xFA, 0xFF, 1, 2, 3},
         5,
         "ends early"},
        {"distance before the start", MatchAfterOneByte(1), 4, "reaches back before the start"},
        {"distance code 30", MatchAfterOneByte(30), 4, "distance code 30 or 31"},
        {"length code 286", FinalBlock(1).Fixed(286).Take(), 0, "length code 286 or 287"},
        {"more bytes than announced", deflated, text.size() - 1, "more bytes than announced"},
        {"fewer bytes than announced", deflated, text.size() + 1, "fewer bytes than announced"},
        {"bytes after the end", trailing, text.size(),
         "bytes after the end of the deflate data at offset " + std::to_string(deflated.size())},
        {"a size no data of this length gives", Bytes(10, 0), 11 * 1032,
         "too short for the announced size"},
        {"the largest size", deflated, std::numeric_limits<size_t>::max(), "too short"},
        {"over-subscribed code-length code",
         FinalBlock(2).Bits(0, 14).Bits(1, 3).Bits(1, 3).Bits(1, 3).Bits(1, 3).Take(), 0,
         "over-subscribe"},
        {"incomplete code-length code", FinalBlock(2).Bits(0, 14).Bits(0, 9).Bits(1, 3).Take(), 0,
         "incomplete"},
        {"more distance codes than exist", FinalBlock(2).Bits(0, 5).Bits(30, 5).Bits(0, 4).Take(),
         0, "more length or distance codes than exist"},
        {"repeat of no length", DynamicHeader(16).Bits(1, 1).Bits(0, 2).Take(), 0,
         "repeat with no length before it"},
        {"repeat past the last code",
         DynamicHeader(18).Bits(1, 1).Bits(127, 7).Bits(1, 1).Bits(127, 7).Take(), 0,
         "runs past the last code"},
        {"no end-of-block code",
         DynamicHeader(18).Bits(1, 1).Bits(127, 7).Bits(1, 1).Bits(109, 7).Take(), 0,
         "no end-of-block code"},
        {"a bit sequence that is no code", EndOfBlockOnly(1), 0, "not a code"},
    };
    // The streams that the faults above alter are sound without them.
    EXPECT_EQ(Inflate(MatchAfterOneByte(0), 4), Bytes(4, 'a'));
    EXPECT_EQ(Inflate(EndOfBlockOnly(0), 0), Bytes());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string failure = FailureOf(c.Data, c.Size);
        EXPECT_NE(failure.find(c.Failure), std::string::npos) << failure;
    }
}

TEST(Inflate, EveryTruncationIsRefused) {
    for (int level : {0, 1, 9}) {
        SCOPED_TRACE(level);
        Bytes text = Text(3'000);
        Bytes deflated = Deflate(text, level);
        for (size_t length = 0; length < deflated.size(); ++length) {
            Bytes cut(deflated.begin(), deflated.begin() + static_cast<long>(length));
            EXPECT_FALSE(TryInflate(cut, text.size())) << length;
        }
    }
}
