#include "toolkit/res/LumResourceStream.h"

#include "tests/support/LumTestChecks.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumWin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// The bytes of LUMTESTFILE in LumStreamsWinTest.rc.
const std::string kFileBytes("Resource bytes\r\n\x00\x01\xFE\xFF", 20);

HINSTANCE Self() {
    return GetModuleHandleW(nullptr);
}

std::string ReadAll(TLumStream& stream) {
    std::string bytes(static_cast<size_t>(stream.Size() - stream.Position()), '\0');
    stream.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

std::string FileBytes(const std::filesystem::path& path) {
    TLumMemoryStream stream;
    stream.LoadFromFile(path.u16string());
    return stream.Bytes();
}

class ResourceStream : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("lumresstream-" +
                   std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path folder_;
};

} // namespace

TEST_F(ResourceStream, ReadsTheResourceFoundByNameWithoutRegardToCase) {
    const char16_t* names[] = {u"LUMTESTFILE", u"lumTestFile"};
    for (const char16_t* name : names) {
        SCOPED_TRACE(std::filesystem::path(name).string());
        TLumResourceStream stream(Self(), name, u"file");
        EXPECT_EQ(stream.Size(), 20);
        EXPECT_EQ(ReadAll(stream), kFileBytes);
    }
    TLumResourceStream stream(Self(), u"LumTestFile", u"FILE");
    stream.Seek(-4, soEnd);
    unsigned char tail[4];
    stream.ReadBuffer(tail, 4);
    EXPECT_EQ(tail[0], 0x00);
    EXPECT_EQ(tail[3], 0xFF);
    EXPECT_EQ(MessageOf<EReadError>([&] { stream.ReadBuffer(tail, 1); }), u"Stream read error");
}

TEST_F(ResourceStream, FindsNumberedResources) {
    TLumResourceStream byId(Self(), 42, RcDataType());
    EXPECT_EQ(ReadAll(byId), "numbered");
    TLumResourceStream byName(Self(), TResId(std::uint16_t(42)), TResId(std::uint16_t(10)));
    EXPECT_EQ(ReadAll(byName), "numbered");
}

TEST_F(ResourceStream, MissingResourcesRaiseResourceNotFound) {
    struct Case {
        const char* what;
        std::function<void()> create;
        const char16_t* message;
    };
    const Case cases[] = {
        {"name", [] { TLumResourceStream(Self(), u"capicomdll", u"FILE"); },
         u"Resource capicomdll not found"},
        {"type", [] { TLumResourceStream(Self(), u"LUMTESTFILE", RcDataType()); },
         u"Resource LUMTESTFILE not found"},
        {"id", [] { TLumResourceStream(Self(), 43, RcDataType()); }, u"Resource 43 not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(MessageOf<EResNotFound>(c.create), c.message);
    }
}

TEST_F(ResourceStream, RefusesEveryWrite) {
    TLumResourceStream stream(Self(), u"LUMTESTFILE", u"FILE");
    const std::function<void()> writes[] = {
        [&] { stream.Write("x", 1); },
        [&] { stream.WriteBuffer("x", 1); },
        [&] { stream.SetSize(0); },
        [&] {
            TLumMemoryStream source("abc");
            stream.CopyFrom(source, 0);
        },
    };
    for (size_t i = 0; i < std::size(writes); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(MessageOf<EStreamError>(writes[i]),
                  u"Can't write to a read-only resource stream");
    }
    stream.SetPosition(0);
    EXPECT_EQ(ReadAll(stream), kFileBytes);
}

TEST_F(ResourceStream, SavesEveryByteToANewOrExistingFile) {
    std::filesystem::path target = folder_ / "capicom.dll";
    TLumResourceStream stream(Self(), u"lumtestfile", u"FILE");
    stream.SetPosition(5);
    stream.SaveToFile(target.u16string());
    EXPECT_EQ(FileBytes(target), kFileBytes);
    EXPECT_EQ(stream.Position(), 5);

    // An existing longer file is truncated.
    TLumMemoryStream(std::string(100, 'x')).SaveToFile(target.u16string());
    stream.SaveToFile(target.u16string());
    EXPECT_EQ(FileBytes(target), kFileBytes);
    EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(ResourceStream, SaveToFileFailuresNameThePath) {
    TLumResourceStream stream(Self(), u"LUMTESTFILE", u"FILE");

    std::filesystem::path folder = folder_ / "capicom.dll";
    std::filesystem::create_directory(folder);
    EXPECT_EQ(MessageOf<EFCreateError>([&] { stream.SaveToFile(folder.u16string()); }),
              u"Cannot create file " + folder.u16string());
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    std::filesystem::path missing = folder_ / "no-folder" / "capicom.dll";
    EXPECT_EQ(MessageOf<EFCreateError>([&] { stream.SaveToFile(missing.u16string()); }),
              u"Cannot create file " + missing.u16string());

    // The file is opened without sharing, so a file in use cannot be replaced.
    std::filesystem::path busy = folder_ / "busy.dll";
    TLumFileStream holder(busy.u16string(), fmCreate);
    EXPECT_EQ(MessageOf<EFCreateError>([&] { stream.SaveToFile(busy.u16string()); }),
              u"Cannot create file " + busy.u16string());
}

TEST_F(ResourceStream, FileStreamSharing) {
    std::u16string path = (folder_ / "shared.bin").u16string();
    {
        TLumFileStream created(path, fmCreate);
        created.WriteBuffer("abc", 3);
        EXPECT_EQ(MessageOf<EFOpenError>([&] { TLumFileStream(path, fmOpenRead); }),
                  u"Cannot open file " + path);
    }
    // Readers share with readers, not with writers.
    TLumFileStream reader(path, fmOpenRead);
    TLumFileStream secondReader(path, fmOpenRead);
    EXPECT_EQ(ReadAll(secondReader), "abc");
    EXPECT_EQ(MessageOf<EFOpenError>([&] { TLumFileStream(path, fmOpenWrite); }),
              u"Cannot open file " + path);
    EXPECT_EQ(MessageOf<EWriteError>([&] { reader.WriteBuffer("x", 1); }), u"Stream write error");
}
