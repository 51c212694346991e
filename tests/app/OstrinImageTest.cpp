// The built Ostrin.exe: its name map section, build identity and other resources.

#include "rstr/LumSysConst.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumPeImage.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> ReadAll(const std::u16string& path) {
    TScopedFile file(CreateFileW(WinStr(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(file) << WideToUtf8(path);
    std::vector<std::uint8_t> bytes(file ? GetFileSize(file.Get(), nullptr) : 0);
    DWORD read = 0;
    if (file) {
        ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    }
    bytes.resize(read);
    return bytes;
}

class OstrinImage : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        bytes_ = new std::vector<std::uint8_t>(ReadAll((TestBuildFolder() + u"\\app\\Ostrin.exe")));
        module_ = LoadLibraryExW(WinStr((TestBuildFolder() + u"\\app\\Ostrin.exe")), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        FreeLibrary(module_);
        delete bytes_;
    }

    static std::string Resource(const wchar_t* name, const wchar_t* type) {
        HRSRC found = FindResourceW(module_, name, type);
        if (!found) {
            return {};
        }
        auto data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(data, SizeofResource(module_, found));
    }

    static std::vector<std::uint8_t>* bytes_;
    static HMODULE module_;
};

std::vector<std::uint8_t>* OstrinImage::bytes_;
HMODULE OstrinImage::module_;

} // namespace

TEST_F(OstrinImage, NameMapSectionHasTheExactFormat) {
    ASSERT_NE(module_, nullptr);
    auto image = TPeImage::Parse(*bytes_);
    ASSERT_TRUE(image);
    const TPeSection* section = image->FindSection("LUM.RSM");
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(section->Characteristics,
              static_cast<std::uint32_t>(IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ));
    auto data = image->SectionData(*section);
    EXPECT_EQ(data.size(), section->VirtualSize);
    EXPECT_EQ(section->SizeOfRawData % image->FileAlignment(), 0u);
    for (size_t i = section->VirtualSize; i < section->SizeOfRawData; ++i) {
        ASSERT_EQ((*bytes_)[section->PointerToRawData + i], 0) << "padding at " << i;
    }
    ASSERT_EQ(data.size() % 2, 0u);
    std::u16string text(data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text[0], u'\uFEFF');
    ASSERT_EQ(text.substr(text.size() - 2), u"\r\n");

    std::map<int, std::string> lines;
    int previous = 0;
    std::regex format("([0-9]+)=([A-Za-z_][A-Za-z0-9_]*_[A-Za-z_][A-Za-z0-9_]*)");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u"\r\n", start);
        ASSERT_NE(end, std::u16string::npos);
        std::string line = WideToUtf8(text.substr(start, end - start));
        start = end + 2;
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, format)) << line;
        int id = std::stoi(match[1]);
        EXPECT_GT(id, previous) << "ids ascend, each once: " << line;
        previous = id;
        lines[id] = match[2];
    }

    // Every declared string is in the map under its qualified name, and the executable's
    // string table holds its text under that id.
    const std::pair<TResStringRec, const char*> declared[] = {
        {LumSysConst::SOperationAborted, "LumSysConst_SOperationAborted"},
        {LumSysConst::SOSError, "LumSysConst_SOSError"},
        {LumSysConst::SUnkOSError, "LumSysConst_SUnkOSError"},
        {LumSysConst::SOleError, "LumSysConst_SOleError"},
        {LumSysConst::SAssertionFailed, "LumSysConst_SAssertionFailed"},
        {LumSysConst::SAssertError, "LumSysConst_SAssertError"},
        {LumSysConst::SInvalidFormat, "LumSysConst_SInvalidFormat"},
        {LumSysConst::SArgumentMissing, "LumSysConst_SArgumentMissing"},
        {LumSysConst::SResNotFound, "LumSysConst_SResNotFound"},
        {LumSysConst::SEndOfFile, "LumSysConst_SEndOfFile"},
    };
    for (const auto& [rec, name] : declared) {
        SCOPED_TRACE(name);
        EXPECT_EQ(lines[rec.Id], name);
        const wchar_t* stored = nullptr;
        int length = LoadStringW(module_, rec.Id, reinterpret_cast<wchar_t*>(&stored), 0);
        ASSERT_GT(length, 0);
        EXPECT_EQ(FromWinStr(stored, static_cast<size_t>(length)), rec.Text);
    }
    EXPECT_EQ(lines.at(65535), "LumSysConst_SOperationAborted");
}

TEST_F(OstrinImage, CarriesBuildIdentityAndTranslationFlag) {
    std::string guid = Resource(L"LUM_TRX_GUID", RT_RCDATA);
    ASSERT_EQ(guid.size(), 76u);
    std::u16string text(38, u'\0');
    for (size_t i = 0; i < 38; ++i) {
        text[i] = static_cast<char16_t>(static_cast<std::uint8_t>(guid[2 * i]) |
                                        (static_cast<std::uint8_t>(guid[2 * i + 1]) << 8));
    }
    EXPECT_TRUE(std::regex_match(
        WideToUtf8(text),
        std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})")))
        << WideToUtf8(text);
    EXPECT_NE(WideToUtf8(text), "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");

    EXPECT_EQ(Resource(L"LUM_TRX_FLAG", RT_RCDATA),
              "This application is enabled to version check its resource module.");
    // Names match without regard to case.
    EXPECT_EQ(Resource(L"lum_trx_flag", RT_RCDATA).size(), 65u);
}

TEST_F(OstrinImage, VersionAndManifest) {
    EXPECT_FALSE(Resource(MAKEINTRESOURCEW(1), RT_VERSION).empty());
    std::string manifest = Resource(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    EXPECT_NE(manifest.find("requireAdministrator"), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
}

// The loader wants the sections contiguous; the DWARF of the link is gone.
TEST_F(OstrinImage, SectionsAreContiguousAndDebugInfoIsStripped) {
    auto image = TPeImage::Parse(*bytes_);
    ASSERT_TRUE(image);
    std::uint32_t expected = image->Sections().front().VirtualAddress;
    for (const TPeSection& section : image->Sections()) {
        SCOPED_TRACE(section.Name);
        EXPECT_EQ(section.VirtualAddress, expected);
        std::uint32_t size = section.VirtualSize ? section.VirtualSize : section.SizeOfRawData;
        std::uint32_t align = image->SectionAlignment();
        expected = section.VirtualAddress + (size + align - 1) / align * align;
        EXPECT_NE(section.Name.rfind(".debug", 0), 0u);
    }
    EXPECT_EQ(image->SizeOfImage(), expected);
}
