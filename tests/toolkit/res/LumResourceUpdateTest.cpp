// Resource updates on a copy of a small PE file (a stand-in library): a committed update is
// in the file, an uncommitted one leaves it byte for byte as it was.
#include "toolkit/res/LumResourceUpdateWin.h"

#include "tests/standin/LumStandins.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumPeImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> ReadFile(const std::u16string& path) {
    std::ifstream in(WideToAnsi(path), std::ios::binary);
    EXPECT_TRUE(in) << WideToUtf8(path);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The resource's data as the system loads it from the file, or nothing when it is not there.
std::optional<std::string> LoadedResource(const std::u16string& file, const wchar_t* type,
                                          const wchar_t* name) {
    HMODULE module = LoadLibraryExW(WinStr(file), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(module, nullptr);
    std::optional<std::string> data;
    if (HRSRC found = FindResourceW(module, name, type)) {
        auto bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
        data = std::string(bytes, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return data;
}

class ResourceUpdate : public ::testing::Test {
  protected:
    void SetUp() override {
        copy_ = SystemTempPath() + u"LumResourceUpdateTest.dll";
        ASSERT_TRUE(CopyFileW(WinStr(StandinPath(u"capicom1\\capicom.dll")), WinStr(copy_), FALSE));
        original_ = ReadFile(copy_);
        ASSERT_FALSE(original_.empty());
    }
    void TearDown() override { DeleteFileW(WinStr(copy_)); }

    std::u16string copy_;
    std::vector<std::uint8_t> original_;
};

const std::vector<std::uint8_t> kData = {'L', 'u', 'm', 0, 1, 2};

} // namespace

TEST_F(ResourceUpdate, ACommittedUpdateIsInTheFile) {
    {
        TLumResourceUpdate update(copy_);
        EXPECT_TRUE(update.Active());
        update.Update(RcDataType(), TResId(u"LUMTEST"), 0, kData);
        update.Update(RcDataType(), TResId(std::uint16_t(77)), 0x409, kData);
        update.Commit();
        EXPECT_FALSE(update.Active());
    }
    EXPECT_EQ(LoadedResource(copy_, RT_RCDATA, L"LUMTEST"),
              std::string(kData.begin(), kData.end()));
    EXPECT_TRUE(LoadedResource(copy_, RT_RCDATA, MAKEINTRESOURCEW(77)));
    // The walker finds what the system wrote, version information included.
    std::vector<std::uint8_t> bytes = ReadFile(copy_);
    auto image = TPeImage::Parse(bytes);
    ASSERT_TRUE(image);
    auto found = image->FindResourceEntry(RcDataType(), TResId(u"LUMTEST"));
    ASSERT_TRUE(found);
    auto data = image->ResourceData(*found);
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.end()), kData);
    EXPECT_TRUE(image->FindResourceEntry(TResId(std::uint16_t(16)), TResId(std::uint16_t(1))));

    // Deleting in the same update takes it out again; starting over removes everything not put
    // back. (Wine keeps a resource already in the file that an update deletes; Windows removes
    // it.)
    {
        TLumResourceUpdate update(copy_);
        update.Update(RcDataType(), TResId(u"LUMOTHER"), 0, kData);
        update.Delete(RcDataType(), TResId(u"LUMOTHER"), 0);
        update.Commit();
    }
    EXPECT_FALSE(LoadedResource(copy_, RT_RCDATA, L"LUMOTHER"));
    EXPECT_TRUE(LoadedResource(copy_, RT_RCDATA, L"LUMTEST"));
    {
        TLumResourceUpdate update(copy_, true);
        update.Update(RcDataType(), TResId(std::uint16_t(78)), 0, kData);
        update.Commit();
    }
    EXPECT_FALSE(LoadedResource(copy_, RT_RCDATA, L"LUMTEST"));
    EXPECT_FALSE(LoadedResource(copy_, RT_RCDATA, MAKEINTRESOURCEW(77)));
    EXPECT_TRUE(LoadedResource(copy_, RT_RCDATA, MAKEINTRESOURCEW(78)));
    std::vector<std::uint8_t> after = ReadFile(copy_);
    auto rest = TPeImage::Parse(after);
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->Resources().size(), 1u);
}

TEST_F(ResourceUpdate, AnUncommittedUpdateLeavesTheFileAsItWas) {
    {
        TLumResourceUpdate update(copy_);
        update.Update(RcDataType(), TResId(u"LUMTEST"), 0, kData);
    }
    EXPECT_EQ(ReadFile(copy_), original_);
    // Also when an exception leaves the scope half way.
    try {
        TLumResourceUpdate update(copy_, true);
        update.Update(RcDataType(), TResId(u"LUMTEST"), 0, kData);
        throw EAbort(u"stop");
    } catch (const EAbort&) {
    }
    EXPECT_EQ(ReadFile(copy_), original_);
    EXPECT_FALSE(LoadedResource(copy_, RT_RCDATA, L"LUMTEST"));
}

TEST_F(ResourceUpdate, FailuresRaiseEOSError) {
    EXPECT_THROW(TLumResourceUpdate(SystemTempPath() + u"no such folder\\none.dll"), EOSError);
    TLumResourceUpdate update(copy_);
    update.Commit();
    EXPECT_THROW(update.Commit(), EOSError);
    EXPECT_THROW(update.Update(RcDataType(), TResId(u"LATE"), 0, kData), EOSError);
}
