#include "toolkit/base/LumByteIO.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every kind of value once, as the writer puts it.
Bytes Sample() {
    TByteWriter out;
    out.U8(0xAB);
    out.U16(0x1234);
    out.U32(0xDEADBEEF);
    out.U64(0x0102030405060708ull);
    out.I8(-2);
    out.I16(-300);
    out.I32(-70000);
    out.I64(std::numeric_limits<std::int64_t>::min());
    out.Utf16(u"h\u00e9");
    out.Utf16Z(u"zero");
    out.Bytes("ab", 2);
    out.Uleb(624485);
    out.Sleb(-123456);
    out.U8(0); // an empty zero-terminated text
    return out.Take();
}

// Reads back what Sample wrote, checking each value.
void ReadSample(TByteReader& in) {
    EXPECT_EQ(in.U8(), 0xAB);
    EXPECT_EQ(in.U16(), 0x1234);
    EXPECT_EQ(in.U32(), 0xDEADBEEFu);
    EXPECT_EQ(in.U64(), 0x0102030405060708ull);
    EXPECT_EQ(in.I8(), -2);
    EXPECT_EQ(in.I16(), -300);
    EXPECT_EQ(in.I32(), -70000);
    EXPECT_EQ(in.I64(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(in.Utf16(2), u"h\u00e9");
    EXPECT_EQ(in.Utf16Z(), u"zero");
    auto ab = in.Bytes(2);
    EXPECT_EQ(std::string(ab.begin(), ab.end()), "ab");
    EXPECT_EQ(in.Uleb(), 624485u);
    EXPECT_EQ(in.Sleb(), -123456);
    EXPECT_EQ(in.CString(), "");
}

} // namespace

TEST(ByteIO, IntegersAreLittleEndian) {
    TByteWriter out;
    out.U32(0x11223344);
    out.I16(-2);
    EXPECT_EQ(out.Data(), (Bytes{0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF}));
    std::uint8_t raw[8];
    StoreLittleEndian<std::uint64_t>(0x8877665544332211ull, raw);
    EXPECT_EQ(raw[0], 0x11);
    EXPECT_EQ(raw[7], 0x88);
    EXPECT_EQ(LoadLittleEndian<std::uint64_t>(raw), 0x8877665544332211ull);
    EXPECT_EQ(LoadLittleEndian<std::int16_t>(out.Data().data() + 4), -2);
}

TEST(ByteIO, WhatTheWriterWritesReadsBack) {
    Bytes bytes = Sample();
    TByteReader in(bytes);
    ReadSample(in);
    EXPECT_TRUE(in.AtEnd());
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(in.Position(), bytes.size());
}

TEST(ByteIO, EveryTruncationRaisesAndReadsNothingPastTheEnd) {
    Bytes bytes = Sample();
    for (size_t size = 0; size < bytes.size(); ++size) {
        SCOPED_TRACE(size);
        // A copy of exactly that size, so that the sanitizer would see a read past its end.
        Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        TByteReader in(cut);
        try {
            ReadSample(in);
            ADD_FAILURE() << "no error";
        } catch (const EByteReadError& error) {
            EXPECT_LE(error.Offset(), size);
            EXPECT_LE(in.Position(), size);
        }
    }
}

TEST(ByteIO, AFailedReadLeavesThePositionAndSaysWhere) {
    Bytes bytes{1, 2, 3};
    TByteReader in(bytes);
    in.U8();
    try {
        in.U32();
        FAIL() << "no error";
    } catch (const EByteReadError& error) {
        EXPECT_EQ(error.Offset(), 1u);
        EXPECT_STREQ(error.what(), "4 bytes at offset 1 past the end (size 3)");
    }
    EXPECT_EQ(in.Position(), 1u);
    EXPECT_EQ(in.U16(), 0x0302);
    EXPECT_THROW(in.U8(), EByteReadError);

    // Zero-terminated reads without their zero, and texts or skips larger than what is left.
    Bytes text{'a', 0, 'b', 0};
    TByteReader noZero(text);
    EXPECT_THROW(noZero.Utf16Z(), EByteReadError);
    EXPECT_EQ(noZero.Position(), 0u);
    noZero.Skip(2);
    EXPECT_EQ(noZero.CString(), "b");
    Bytes unterminated{'x', 'y'};
    TByteReader open(unterminated);
    EXPECT_THROW(open.CString(), EByteReadError);
    EXPECT_EQ(open.Position(), 0u);
    TByteReader huge(text);
    EXPECT_THROW(huge.Utf16(0xFFFFFFFFu), EByteReadError);
    EXPECT_THROW(huge.Bytes(5), EByteReadError);
    EXPECT_THROW(huge.Skip(std::numeric_limits<std::uint64_t>::max()), EByteReadError);
    EXPECT_THROW(huge.Seek(5), EByteReadError);
    huge.Seek(4);
    EXPECT_TRUE(huge.AtEnd());
}

TEST(ByteIO, PositionSeekSkipAndAlignment) {
    Bytes bytes(10, 0);
    bytes[8] = 7;
    TByteReader in(bytes);
    in.Skip(1);
    in.AlignTo(4);
    EXPECT_EQ(in.Position(), 4u);
    in.AlignTo(4);
    EXPECT_EQ(in.Position(), 4u);
    in.Seek(8);
    EXPECT_EQ(in.U8(), 7);
    in.AlignTo(4); // 12 lies beyond: the end
    EXPECT_TRUE(in.AtEnd());
    EXPECT_TRUE(in.Has(0));
    EXPECT_FALSE(in.Has(1));

    TByteWriter out;
    out.U8(1);
    out.AlignTo(4);
    out.U32(0);
    out.PatchU32(4, 0xAABBCCDD);
    EXPECT_EQ(out.Data(), (Bytes{1, 0, 0, 0, 0xDD, 0xCC, 0xBB, 0xAA}));
    EXPECT_THROW(out.PatchU32(5, 0), std::out_of_range);
}

TEST(ByteIO, Leb128RoundTripsAtTheEdges) {
    const std::uint64_t unsignedValues[] = {
        0, 1, 127, 128, 16383, 16384, 0xFFFFFFFFu, std::numeric_limits<std::uint64_t>::max()};
    const std::int64_t signedValues[] = {0,
                                         1,
                                         -1,
                                         63,
                                         64,
                                         -64,
                                         -65,
                                         0x7FFFFFFF,
                                         std::numeric_limits<std::int64_t>::min(),
                                         std::numeric_limits<std::int64_t>::max()};
    for (std::uint64_t value : unsignedValues) {
        TByteWriter out;
        out.Uleb(value);
        TByteReader in(out.Data());
        EXPECT_EQ(in.Uleb(), value);
        EXPECT_TRUE(in.AtEnd());
    }
    for (std::int64_t value : signedValues) {
        TByteWriter out;
        out.Sleb(value);
        TByteReader in(out.Data());
        EXPECT_EQ(in.Sleb(), value);
        EXPECT_TRUE(in.AtEnd());
    }
    // The known encodings of DWARF's examples.
    TByteWriter known;
    known.Uleb(624485);
    known.Sleb(-123456);
    EXPECT_EQ(known.Data(), (Bytes{0xE5, 0x8E, 0x26, 0xC0, 0xBB, 0x78}));
}

TEST(ByteIO, Leb128LongerThan64BitsIsCheckedOrWrapped) {
    // Eleven bytes: one too many for 64 bits.
    Bytes padded(10, 0x80);
    padded.push_back(0x00);
    TByteReader checked(padded);
    EXPECT_THROW(checked.Uleb(), EByteReadError);
    EXPECT_EQ(checked.Position(), 0u);
    EXPECT_THROW(checked.Sleb(), EByteReadError);
    TByteReader wrapping(padded);
    EXPECT_EQ(wrapping.Uleb(TLebLength::Wrapping), 0u);
    EXPECT_TRUE(wrapping.AtEnd());
    wrapping.Seek(0);
    EXPECT_EQ(wrapping.Sleb(TLebLength::Wrapping), 0);

    // Ten bytes whose last carries more than the 64th bit.
    Bytes overflow(9, 0xFF);
    overflow.push_back(0x02);
    TByteReader in(overflow);
    EXPECT_THROW(in.Uleb(), EByteReadError);
    // Wrapped: the bit beyond the 64th is dropped.
    EXPECT_EQ(TByteReader(overflow).Uleb(TLebLength::Wrapping),
              std::uint64_t{std::numeric_limits<std::int64_t>::max()});

    // A number whose bytes run out.
    Bytes open{0x80, 0x80};
    EXPECT_THROW(TByteReader(open).Uleb(), EByteReadError);
    EXPECT_THROW(TByteReader(open).Sleb(TLebLength::Wrapping), EByteReadError);
}

TEST(ByteIO, TheNonRaisingFormsAnswerNothingWhereTheOthersRaise) {
    Bytes bytes{0x34, 0x12, 0xE5, 0x8E, 0x26, 0x80};
    TByteReader in(bytes);
    EXPECT_EQ(in.TryRead<std::uint16_t>(), 0x1234);
    EXPECT_FALSE(in.TryRead<std::uint64_t>());
    EXPECT_EQ(in.Position(), 2u);
    EXPECT_EQ(in.TryUleb(), 624485u);
    EXPECT_FALSE(in.TryUleb()); // 0x80 continues past the end
    EXPECT_FALSE(in.TrySleb());
    EXPECT_EQ(in.Position(), 5u);

    Bytes tooLong(10, 0xFF);
    tooLong.push_back(0x7F);
    TByteReader longer(tooLong);
    EXPECT_FALSE(longer.TryUleb());
    EXPECT_FALSE(longer.TrySleb());
    EXPECT_EQ(longer.Position(), 0u);
    EXPECT_EQ(longer.TrySleb(TLebLength::Wrapping), -1);
    EXPECT_TRUE(longer.AtEnd());
}
