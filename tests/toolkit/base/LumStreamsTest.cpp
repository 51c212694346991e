#include "toolkit/base/LumStreams.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

// A stream that takes at most a few bytes per write, as a full disk would.
class ShortWrites : public TLumMemoryStream {
  public:
    size_t Write(const void* buffer, size_t count) override {
        return TLumMemoryStream::Write(buffer, std::min<size_t>(count, 3));
    }
};

std::string ReadAll(TLumStream& stream) {
    std::string bytes(static_cast<size_t>(stream.Size() - stream.Position()), '\0');
    stream.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

// A fresh folder for the test's files, removed afterwards.
class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("lumstreams-" +
                   std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::u16string PathOf(const char16_t* name) const { return (folder_ / name).u16string(); }

    std::filesystem::path folder_;
};

} // namespace

TEST(MemoryStream, ReadsWritesAndSeeks) {
    TLumMemoryStream stream;
    EXPECT_EQ(stream.Write("hello", 5), 5u);
    EXPECT_EQ(stream.Size(), 5);
    EXPECT_EQ(stream.Position(), 5);
    EXPECT_EQ(stream.Seek(-3, soCurrent), 2);
    EXPECT_EQ(stream.Write("LL", 2), 2u);
    EXPECT_EQ(stream.Bytes(), "heLLo");
    EXPECT_EQ(stream.Seek(-1, soEnd), 4);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 1u);
    EXPECT_EQ(buffer[0], 'o');
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 0u);
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros) {
    TLumMemoryStream stream("ab");
    EXPECT_EQ(stream.Position(), 0);
    stream.SetPosition(4);
    stream.WriteBuffer("z", 1);
    EXPECT_EQ(stream.Bytes(), std::string("ab\0\0z", 5));
    stream.SetPosition(10);
    EXPECT_EQ(stream.Read(nullptr, 0), 0u);
    char c = 0;
    EXPECT_EQ(stream.Read(&c, 1), 0u);
    EXPECT_EQ(stream.Size(), 5);
}

TEST(MemoryStream, SetSizeTruncatesAndExtends) {
    TLumMemoryStream stream("abcdef");
    stream.SetPosition(5);
    stream.SetSize(3);
    EXPECT_EQ(stream.Bytes(), "abc");
    EXPECT_EQ(stream.Position(), 3);
    stream.SetSize(5);
    EXPECT_EQ(stream.Bytes(), std::string("abc\0\0", 5));
    EXPECT_EQ(stream.Position(), 3);
    stream.Clear();
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Position(), 0);
}

TEST(MemoryStream, ShortReadsAndBadPositionsRaise) {
    TLumMemoryStream stream("abc");
    char buffer[4];
    EXPECT_EQ(MessageOf<EReadError>([&] { stream.ReadBuffer(buffer, 4); }), u"Stream read error");
    stream.SetPosition(0);
    EXPECT_EQ(MessageOf<EStreamError>([&] { stream.Seek(-1, soBeginning); }), u"Stream seek error");
    EXPECT_EQ(MessageOf<EStreamError>([&] { stream.Seek(-4, soEnd); }), u"Stream seek error");
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(MessageOf<EStreamError>([&] { stream.SetSize(-1); }), u"Invalid stream size");
    // A zero-byte transfer needs no bytes at all.
    stream.SetPosition(3);
    stream.ReadBuffer(buffer, 0);
}

TEST(MemoryStream, ShortWritesRaise) {
    ShortWrites target;
    EXPECT_EQ(MessageOf<EWriteError>([&] { target.WriteBuffer("abcd", 4); }),
              u"Stream write error");
    target.SetSize(0);
    EXPECT_EQ(MessageOf<EWriteError>([&] { TLumMemoryStream("abcdef").SaveToStream(target); }),
              u"Stream write error");
    target.SetPosition(0);
    target.WriteBuffer("abc", 3);
    EXPECT_EQ(target.Bytes(), "abc");
}

TEST(MemoryStream, CopyFromTakesTheWholeSourceOrAPart) {
    TLumMemoryStream source("0123456789");
    source.SetPosition(7);
    TLumMemoryStream whole;
    EXPECT_EQ(whole.CopyFrom(source, 0), 10);
    EXPECT_EQ(whole.Bytes(), "0123456789");

    source.SetPosition(2);
    TLumMemoryStream part;
    EXPECT_EQ(part.CopyFrom(source, 3), 3);
    EXPECT_EQ(part.Bytes(), "234");
    EXPECT_EQ(source.Position(), 5);

    TLumMemoryStream nothing;
    EXPECT_EQ(nothing.CopyFrom(source, -1), 0);
    EXPECT_EQ(nothing.Size(), 0);
    EXPECT_EQ(source.Position(), 5);

    TLumMemoryStream tooMuch;
    EXPECT_EQ(MessageOf<EReadError>([&] { tooMuch.CopyFrom(source, 6); }), u"Stream read error");
}

TEST(MemoryStream, CopiesLargerThanOneChunk) {
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 % 251);
    }
    TLumMemoryStream source(bytes);
    TLumMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(source, 0), 200000);
    EXPECT_EQ(copy.Bytes(), bytes);
}

TEST(MemoryStream, LoadFromStreamReplacesTheContents) {
    TLumMemoryStream source("new bytes");
    source.SetPosition(4);
    TLumMemoryStream stream("old");
    stream.LoadFromStream(source);
    EXPECT_EQ(stream.Bytes(), "new bytes");
    EXPECT_EQ(stream.Position(), 0);
    TLumMemoryStream saved;
    saved.WriteBuffer("<", 1);
    stream.SaveToStream(saved);
    EXPECT_EQ(saved.Bytes(), "<new bytes");
}

using FileStream = TempFolder;

TEST_F(FileStream, CreatesWritesAndReadsBack) {
    std::u16string path = PathOf(u"data.bin");
    {
        TLumFileStream file(path, fmCreate);
        file.WriteBuffer("0123456789", 10);
        EXPECT_EQ(file.Size(), 10);
        file.SetSize(4);
        EXPECT_EQ(file.Position(), 4);
        file.WriteBuffer("xy", 2);
    }
    TLumFileStream file(path, fmOpenRead);
    EXPECT_EQ(file.FileName(), path);
    EXPECT_EQ(ReadAll(file), "0123xy");
    file.SetPosition(2);
    EXPECT_EQ(ReadAll(file), "23xy");
    char c;
    EXPECT_EQ(file.Read(&c, 1), 0u);
}

TEST_F(FileStream, CreateTruncatesAndOpenWriteKeepsTheRest) {
    std::u16string path = PathOf(u"data.bin");
    TLumMemoryStream("long old contents").SaveToFile(path);
    TLumMemoryStream("new").SaveToFile(path);
    TLumMemoryStream loaded;
    loaded.LoadFromFile(path);
    EXPECT_EQ(loaded.Bytes(), "new");
    {
        TLumFileStream file(path, fmOpenWrite);
        file.WriteBuffer("N", 1);
    }
    {
        TLumFileStream file(path, fmOpenReadWrite);
        file.Seek(0, soEnd);
        file.WriteBuffer("!", 1);
    }
    loaded.LoadFromFile(path);
    EXPECT_EQ(loaded.Bytes(), "New!");
}

TEST_F(FileStream, FailuresNameThePath) {
    std::u16string missing = PathOf(u"missing.bin");
    std::u16string inMissingFolder = PathOf(u"no-such-folder/data.bin");
    std::u16string folder = PathOf(u"sub");
    std::filesystem::create_directory(folder_ / "sub");

    EXPECT_EQ(MessageOf<EFOpenError>([&] { TLumFileStream(missing, fmOpenRead); }),
              u"Cannot open file " + missing);
    EXPECT_EQ(MessageOf<EFOpenError>([&] { TLumFileStream(missing, fmOpenReadWrite); }),
              u"Cannot open file " + missing);
    EXPECT_EQ(MessageOf<EFOpenError>([&] { TLumMemoryStream().LoadFromFile(missing); }),
              u"Cannot open file " + missing);
    EXPECT_EQ(MessageOf<EFCreateError>([&] { TLumFileStream(inMissingFolder, fmCreate); }),
              u"Cannot create file " + inMissingFolder);
    EXPECT_EQ(MessageOf<EFCreateError>([&] { TLumMemoryStream("x").SaveToFile(folder); }),
              u"Cannot create file " + folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder_ / "sub"));
}
