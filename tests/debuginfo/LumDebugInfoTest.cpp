#include "debuginfo/LumDebugInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <thread>

namespace {

TDebugInfo Sample() {
    TDebugInfo info;
    // Given out of order; the second overlaps the third and is cut where it begins.
    info.Procedures = {
        {0x3000, 0x40, "OstrinFrm", "TOstrinForm::Timer1Timer", 26},
        {0x1000, 0x20, "Ostrin", "wWinMain", 50},
        {0x1010, 0x100, "", "__cxa_throw", 0},
        {0x2000, 0x0, "Ostrin", "Empty", 1},
    };
    info.Lines = {
        {0x3000, 26, "OstrinFrm.cpp"},
        {0x3010, 27, "OstrinFrm.cpp"},
        {0x3018, 795, "basic_string.h"},
        {0x3020, 30, "OstrinFrm.cpp"},
        {0x3040, 0, ""},
        // Three rows at one address: the last one with a line counts.
        {0x1000, 49, "Ostrin.cpp"},
        {0x1000, 50, "Ostrin.cpp"},
        {0x1000, 0, ""},
        {0x1008, 52, "Ostrin.cpp"},
        {0x1010, 0, ""},
    };
    return info;
}

std::string Describe(const std::optional<TDebugLocation>& l) {
    if (!l) {
        return "none";
    }
    return l->UnitName + "|" + l->ProcedureName + "|+" + std::to_string(l->OffsetFromProcedure) +
           "|" + std::to_string(l->LineNumber) + "|+" + std::to_string(l->OffsetFromLine) + "|" +
           l->SourceName + "|" + std::to_string(l->ProcedureFirstLine);
}

// Raw deflate data of stored blocks, as a compressor writes bytes it cannot shrink: the
// deflated form without a compressor.
std::vector<std::uint8_t> StoredDeflate(std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> out;
    size_t at = 0;
    do {
        size_t length = std::min<size_t>(0xFFFF, bytes.size() - at);
        out.push_back(at + length == bytes.size() ? 1 : 0);
        for (size_t value : {length, ~length}) {
            out.push_back(static_cast<std::uint8_t>(value));
            out.push_back(static_cast<std::uint8_t>(value >> 8));
        }
        out.insert(out.end(), bytes.begin() + at, bytes.begin() + at + length);
        at += length;
    } while (at < bytes.size());
    return out;
}

std::vector<std::uint8_t> DeflatedSample() {
    auto packed = PackDebugInfo(Sample());
    return DeflatedDebugSection(static_cast<std::uint32_t>(packed.size()), StoredDeflate(packed));
}

} // namespace

TEST(DebugInfo, LooksUpProceduresAndLines) {
    auto packed = PackDebugInfo(Sample());
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->ProcedureCount(), 3u); // the empty one is dropped
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0x0FFF, "none"},
        {0x1000, "Ostrin|wWinMain|+0|50|+0|Ostrin.cpp|50"},
        {0x1007, "Ostrin|wWinMain|+7|50|+7|Ostrin.cpp|50"},
        {0x1008, "Ostrin|wWinMain|+8|52|+0|Ostrin.cpp|50"},
        {0x100F, "Ostrin|wWinMain|+15|52|+7|Ostrin.cpp|50"},
        // Cut short by the next procedure, which has no lines.
        {0x1010, "|__cxa_throw|+0|0|+0||0"},
        {0x110F, "|__cxa_throw|+255|0|+0||0"},
        {0x1110, "none"},
        {0x2000, "none"},
        {0x3000, "OstrinFrm|TOstrinForm::Timer1Timer|+0|26|+0|OstrinFrm.cpp|26"},
        {0x3017, "OstrinFrm|TOstrinForm::Timer1Timer|+23|27|+7|OstrinFrm.cpp|26"},
        {0x3018, "OstrinFrm|TOstrinForm::Timer1Timer|+24|795|+0|basic_string.h|26"},
        {0x303F, "OstrinFrm|TOstrinForm::Timer1Timer|+63|30|+31|OstrinFrm.cpp|26"},
        {0x3040, "none"},
        {0xFFFFFFFF, "none"},
    };
    for (auto [address, expected] : cases) {
        SCOPED_TRACE(address);
        EXPECT_EQ(Describe(reader->Lookup(address)), expected);
    }
}

TEST(DebugInfo, RowsBeforeTheProcedureGiveNoLine) {
    TDebugInfo info;
    info.Procedures = {{0x100, 0x10, "U", "P", 0}};
    info.Lines = {{0x0F0, 7, "u.cpp"}};
    auto packed = PackDebugInfo(info);
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    EXPECT_EQ(Describe(reader->Lookup(0x105)), "U|P|+5|0|+0||0");
}

TEST(DebugInfo, RowsThatRepeatTheirLineAreLeftOutButWhereAProcedureStarts) {
    TDebugInfo info;
    info.Procedures = {{0x100, 0x20, "U", "P", 7}, {0x120, 0x10, "U", "Q", 9}};
    info.Lines = {{0x100, 7, "u.cpp"}, {0x104, 7, "u.cpp"}, {0x108, 8, "u.cpp"}, {0x10C, 8, "v.h"},
                  {0x120, 8, "v.h"},   {0x124, 8, "v.h"},   {0x130, 0, ""}};
    auto packed = PackDebugInfo(info);
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->LineCount(), 5u);
    // The offset counts from the line's first row.
    EXPECT_EQ(Describe(reader->Lookup(0x106)), "U|P|+6|7|+6|u.cpp|7");
    // The same line in another file is another line.
    EXPECT_EQ(Describe(reader->Lookup(0x10E)), "U|P|+14|8|+2|v.h|7");
    EXPECT_EQ(Describe(reader->Lookup(0x126)), "U|Q|+6|8|+6|v.h|9");
}

// Many rows, so that lookups cross the 32-row blocks: every address answers as a plain search
// of the input does.
TEST(DebugInfo, AgreesWithASearchOfTheInputAcrossBlocks) {
    std::mt19937 random(7);
    TDebugInfo info;
    std::uint32_t at = 0x1000;
    for (int i = 0; i < 200; ++i) {
        std::uint32_t size = 1 + random() % 40;
        info.Procedures.push_back({at, size, "Unit" + std::to_string(i % 7),
                                   "Proc" + std::to_string(i), static_cast<std::uint32_t>(i)});
        for (std::uint32_t line = 0; line < size; line += 1 + random() % 8) {
            info.Lines.push_back({at + line, 1000 + static_cast<std::uint32_t>(i) * 3 + line,
                                  "file" + std::to_string(i % 5) + ".cpp"});
        }
        at += size + random() % 3;
    }
    auto packed = PackDebugInfo(info);
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->ProcedureCount(), 200u);
    for (std::uint32_t address = 0xFF0; address < at + 4; ++address) {
        SCOPED_TRACE(address);
        const TDebugProcedure* procedure = nullptr;
        for (const auto& p : info.Procedures) {
            if (address >= p.Start && address < p.Start + p.Size) {
                procedure = &p;
            }
        }
        auto found = reader->Lookup(address);
        ASSERT_EQ(found.has_value(), procedure != nullptr);
        if (!procedure) {
            continue;
        }
        const TDebugLine* line = nullptr;
        for (const auto& l : info.Lines) {
            if (l.Address <= address && l.Address >= procedure->Start) {
                line = &l;
            }
        }
        EXPECT_EQ(found->ProcedureName, procedure->Name);
        EXPECT_EQ(found->UnitName, procedure->Unit);
        EXPECT_EQ(found->OffsetFromProcedure, address - procedure->Start);
        EXPECT_EQ(found->ProcedureFirstLine, procedure->FirstLine);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(found->LineNumber, line->Line);
        EXPECT_EQ(found->SourceName, line->File);
        EXPECT_EQ(found->OffsetFromLine, static_cast<std::int32_t>(address - line->Address));
    }
}

TEST(DebugInfo, EmptyInformationAnswersNothing) {
    auto packed = PackDebugInfo({});
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->ProcedureCount(), 0u);
    EXPECT_EQ(reader->LineCount(), 0u);
    EXPECT_FALSE(reader->Lookup(0));
    EXPECT_FALSE(reader->Lookup(0x1000));
}

// Header fields: 8 strings offset, 12 strings size, then per table (16 and 36): row count,
// block count, index offset, data offset, data size.
TEST(DebugInfo, InconsistentHeadersAreRefused) {
    auto packed = PackDebugInfo(Sample());
    auto set = [](std::vector<std::uint8_t> bytes, size_t at, std::uint32_t value) {
        std::memcpy(bytes.data() + at, &value, 4); // the host is little endian, as the format
        return bytes;
    };
    auto get = [&](size_t at) {
        std::uint32_t value;
        std::memcpy(&value, packed.data() + at, 4);
        return value;
    };
    struct Case {
        const char* What;
        std::vector<std::uint8_t> Bytes;
    };
    std::vector<std::uint8_t> wrongMagic = packed;
    wrongMagic[0] = 'X';
    std::vector<std::uint8_t> unterminated = packed;
    unterminated[get(8) + get(12) - 1] = 'x';
    const Case cases[] = {
        {"too short for the header", {packed.begin(), packed.begin() + 55}},
        {"another magic", wrongMagic},
        {"another version", set(packed, 4, 2)},
        {"string pool past the end", set(packed, 12, static_cast<std::uint32_t>(packed.size()))},
        {"string pool without its final zero", unterminated},
        {"row count that does not fit the blocks", set(packed, 16, get(16) + 32)},
        {"index past the end", set(packed, 24, static_cast<std::uint32_t>(packed.size() - 4))},
        {"data past the end", set(packed, 48, static_cast<std::uint32_t>(packed.size()))},
        {"first block not at the data's start", set(packed, get(44) + 4, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_FALSE(TDebugInfoReader::Open(c.Bytes));
    }
}

TEST(DebugInfo, BlocksThatContradictTheirIndexAnswerNothing) {
    TDebugInfo info;
    for (std::uint32_t i = 0; i < 64; ++i) {
        info.Procedures.push_back({0x1000 + i * 0x10, 0x10, "U", "P" + std::to_string(i), 0});
    }
    auto packed = PackDebugInfo(info);
    ASSERT_TRUE(TDebugInfoReader::Open(packed));
    std::uint32_t index;
    std::uint32_t data;
    std::memcpy(&index, packed.data() + 24, 4);
    std::memcpy(&data, packed.data() + 28, 4);
    // The second block's first address in the index moved down from 0x1200 to 0x11F8: its
    // first row disagrees, so it answers nothing; the first block still answers below.
    auto moved = packed;
    moved[index + 8] = 0xF8;
    moved[index + 9] = 0x11;
    auto reader = TDebugInfoReader::Open(moved);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->Lookup(0x1200));
    EXPECT_FALSE(reader->Lookup(0x11F8));
    EXPECT_EQ(reader->Lookup(0x11F0)->ProcedureName, "P31");
    // An address delta of eleven continuation bytes.
    auto overlong = packed;
    std::memset(overlong.data() + data, 0x80, 11);
    reader = TDebugInfoReader::Open(overlong);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->Lookup(0x1000));
    EXPECT_EQ(reader->Lookup(0x1200)->ProcedureName, "P32"); // other blocks still answer
}

// Damage anywhere (a cut, a changed byte) is never read outside the section: the reader
// refuses it or answers with names from the pool. Run under AddressSanitizer on the host.
TEST(DebugInfo, DamagedSectionsAreReadWithinBounds) {
    auto packed = PackDebugInfo(Sample());
    auto probe = [](std::span<const std::uint8_t> bytes) {
        auto reader = TDebugInfoReader::Open(bytes);
        if (!reader) {
            return;
        }
        for (std::uint32_t address : {0x0u, 0x1000u, 0x1008u, 0x1010u, 0x3018u, 0x303Fu}) {
            if (auto found = reader->Lookup(address)) {
                EXPECT_LE(found->ProcedureName.size(), bytes.size());
                EXPECT_LE(found->SourceName.size(), bytes.size());
            }
        }
    };
    for (size_t cut = 0; cut < packed.size(); ++cut) {
        std::vector<std::uint8_t> part(packed.begin(), packed.begin() + cut);
        probe(part);
    }
    for (size_t at = 0; at < packed.size(); ++at) {
        for (std::uint8_t change : {0x01, 0x80, 0xFF}) {
            auto damaged = packed;
            damaged[at] ^= change;
            probe(damaged);
        }
    }
}

// The section in both forms answers as the packed information does.
TEST(DebugSection, BothFormsAnswerAsThePackedInformation) {
    auto packed = PackDebugInfo(Sample());
    auto reader = TDebugInfoReader::Open(packed);
    ASSERT_TRUE(reader);
    auto deflated = DeflatedSample();
    EXPECT_EQ(std::string(deflated.begin(), deflated.begin() + 4), "LDBG");
    EXPECT_EQ(deflated[4], 2);
    TDebugSection plainSection(packed);
    TDebugSection deflatedSection(deflated);
    for (std::uint32_t address = 0xFF0; address < 0x3050; ++address) {
        SCOPED_TRACE(address);
        std::string expected = Describe(reader->Lookup(address));
        EXPECT_EQ(Describe(plainSection.Lookup(address)), expected);
        EXPECT_EQ(Describe(deflatedSection.Lookup(address)), expected);
    }
    EXPECT_NE(Describe(deflatedSection.Lookup(0x3018)), "none");
}

// Header fields of the deflated form: 4 version, 8 packed size, 12 deflated size.
TEST(DebugSection, DamagedDeflatedSectionsAnswerNothing) {
    auto deflated = DeflatedSample();
    auto set = [](std::vector<std::uint8_t> bytes, size_t at, std::uint32_t value) {
        std::memcpy(bytes.data() + at, &value, 4);
        return bytes;
    };
    std::uint32_t packedSize;
    std::memcpy(&packedSize, deflated.data() + 8, 4);
    auto deflatedSize = static_cast<std::uint32_t>(deflated.size() - 16);
    auto badBlock = deflated;
    badBlock[16] = 0x07; // block type 3
    auto innerVersion = deflated;
    innerVersion[16 + 5 + 4] = 3; // the packed information's own version
    struct Case {
        const char* What;
        std::vector<std::uint8_t> Bytes;
    };
    const Case cases[] = {
        {"too short for the header", {deflated.begin(), deflated.begin() + 15}},
        {"deflated data cut short", {deflated.begin(), deflated.end() - 1}},
        {"deflated size past the end", set(deflated, 12, deflatedSize + 1)},
        {"deflated size short of the data", set(deflated, 12, deflatedSize - 1)},
        {"packed size larger than the data gives", set(deflated, 8, packedSize + 1)},
        {"packed size smaller than the data gives", set(deflated, 8, packedSize - 1)},
        {"the largest packed size", set(deflated, 8, 0xFFFFFFFF)},
        {"a block of type 3", badBlock},
        {"packed information of another version", innerVersion},
        {"another version", set(deflated, 4, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TDebugSection section(c.Bytes);
        EXPECT_FALSE(section.Lookup(0x1000));
        EXPECT_FALSE(section.Lookup(0x3018));
    }
}

// The first lookups of several threads at once inflate once, and all of them answer.
TEST(DebugSection, KeptOncePerSectionForEveryThread) {
    // Kept sections stay with their bytes to the process's end.
    static const auto deflated = DeflatedSample();
    static const auto other = DeflatedSample();
    const TDebugSection& kept = KeptDebugSection(deflated);
    EXPECT_EQ(&KeptDebugSection(deflated), &kept);
    EXPECT_NE(&KeptDebugSection(other), &kept);
    std::vector<std::string> answers(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < answers.size(); ++i) {
        threads.emplace_back([&, i] { answers[i] = Describe(kept.Lookup(0x3018)); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& answer : answers) {
        EXPECT_EQ(answer, "OstrinFrm|TOstrinForm::Timer1Timer|+24|795|+0|basic_string.h|26");
    }
}
