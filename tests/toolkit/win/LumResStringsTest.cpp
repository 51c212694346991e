#include "toolkit/base/LumResStrings.h"

#include "rstr/LumSysConst.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

std::u16string TempCopyOfThisExecutable() {
    wchar_t self[MAX_PATH];
    wchar_t temp[MAX_PATH];
    EXPECT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    EXPECT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    std::u16string copy = FromWinStr(temp) + u"LumResStringsTest.module";
    EXPECT_TRUE(CopyFileW(self, WinStr(copy), FALSE));
    return copy;
}

// The executable's string table block as 16 texts.
std::vector<std::u16string> OwnBlock(WORD block) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(block), RT_STRING);
    auto words = static_cast<const std::uint16_t*>(LockResource(LoadResource(nullptr, found)));
    std::vector<std::u16string> texts;
    size_t pos = 0;
    for (int i = 0; i < 16; ++i) {
        texts.emplace_back(reinterpret_cast<const char16_t*>(words + pos + 1), words[pos]);
        pos += 1 + words[pos];
    }
    return texts;
}

std::vector<std::uint16_t> BlockData(const std::vector<std::u16string>& texts) {
    std::vector<std::uint16_t> data;
    for (const std::u16string& text : texts) {
        data.push_back(static_cast<std::uint16_t>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
    }
    return data;
}

// Replaces a string table block of a module file.
void UpdateBlock(const std::u16string& file, WORD block, const std::vector<std::uint16_t>& data) {
    HANDLE update = BeginUpdateResourceW(WinStr(file), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(block), kNeutral,
                                const_cast<std::uint16_t*>(data.data()),
                                static_cast<DWORD>(data.size() * 2)));
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
}

// Leaves a module file without any resources.
void DeleteAllResources(const std::u16string& file) {
    HANDLE update = BeginUpdateResourceW(WinStr(file), TRUE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
}

// The module records' unit makes LoadResString read the active module.
class ResStrings : public ::testing::Test {
  protected:
    void SetUp() override { LumResModuleUnit.Start(); }
    void TearDown() override { LumResModuleUnit.Stop(); }
};

class ResourceModule : public ResStrings {
  protected:
    void SetUp() override {
        ResStrings::SetUp();
        file_ = TempCopyOfThisExecutable();
    }
    void TearDown() override {
        SetResourceHInstance(MainInstance(), MainInstance());
        ResStrings::TearDown();
        module_.Reset();
        DeleteFileW(WinStr(file_));
    }
    void Activate() {
        module_.Reset(LoadLibraryExW(WinStr(file_), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(module_);
        SetResourceHInstance(MainInstance(), module_.Get());
    }

    std::u16string file_;
    TScopedLibrary module_;
};

} // namespace

TEST_F(ResStrings, LoadedFromTheExecutablesStringTable) {
    EXPECT_EQ(FindResourceHInstance(MainInstance()), MainInstance());
    EXPECT_EQ(LoadResString(LumSysConst::SOSError), LumSysConst::SOSError.Text);
    EXPECT_EQ(LoadResString(LumSysConst::SEndOfFile), u"Read beyond end of file");
}

TEST_F(ResourceModule, TextsComeFromTheActiveModule) {
    WORD block = LumSysConst::SOSError.Id / 16 + 1;
    auto texts = OwnBlock(block);
    texts[LumSysConst::SOSError.Id % 16] = u"Systemfehler %d:\r\n%s";
    auto data = BlockData(texts);
    UpdateBlock(file_, block, data);
    Activate();

    EXPECT_EQ(LoadResString(LumSysConst::SOSError), u"Systemfehler %d:\r\n%s");
    EXPECT_EQ(EOSError::FromCode(5, u"Zugriff verweigert").Message(),
              u"Systemfehler 5:\r\nZugriff verweigert");
    // The neighbours in the block are unchanged.
    EXPECT_EQ(LoadResString(LumSysConst::SUnkOSError), LumSysConst::SUnkOSError.Text);
}

TEST_F(ResourceModule, MissingStringRaisesResNotFound) {
    DeleteAllResources(file_);
    Activate();
    try {
        LoadResString(LumSysConst::SOSError);
        FAIL() << "no exception";
    } catch (const EResNotFound& error) {
        EXPECT_EQ(error.Message(), u"Resource " +
                                       AsciiToWide(std::to_string(LumSysConst::SOSError.Id)) +
                                       u" not found");
    }
}
