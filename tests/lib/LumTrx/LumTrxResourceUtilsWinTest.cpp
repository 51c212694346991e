// Writing translation modules under Wine: the template library, resource texts, string tables
// written and read back, copying every resource of the built program into a library that has
// resources of its own, the program's form resources, and a system without the wide update
// calls.
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "lib/LumTrx/LumTrxMinimumDllWin.h"

#include "lib/LumLX/LumLXUtils.h"
#include "tests/support/LumTestFiles.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumFormsUnit, &LumLXUtilsUnit};

const std::u16string ostrinExe = TestBuildFolder() + u"\\app\\Ostrin.exe";

std::vector<std::uint8_t> ReadAll(const std::u16string& path) {
    TLumFileStream file(path, fmOpenRead);
    std::vector<std::uint8_t> bytes(static_cast<size_t>(file.Size()));
    file.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

void WriteAll(const std::u16string& path, std::span<const std::uint8_t> bytes) {
    TLumFileStream file(path, fmCreate);
    file.WriteBuffer(bytes.data(), bytes.size());
}

std::string Key(const TResData& resource) {
    return WideToUtf8(resource.Type.Display() + u"/" + resource.Name.Display() + u"/" +
                      AsciiToWide(std::to_string(resource.Language)));
}

std::vector<TResData> ResourcesOf(HMODULE module) {
    std::vector<TResData> list;
    EnumerateResources(module, list);
    return list;
}

class ResourceUtils : public TUnitsTest<kUnits> {
  protected:
    // A fresh copy of the template.
    void SetUp() override {
        module_ = SystemTempPath() + u"LumTrxResourceUtilsTest.dll";
        WriteAll(module_, MinimumDllImage());
    }
    void TearDown() override { DeleteFileW(WinStr(module_)); }

    std::u16string module_;
};

} // namespace

TEST_F(ResourceUtils, TheTemplateLoadsAsDataAndTakesUpdates) {
    std::vector<std::uint8_t> image(MinimumDllImage().begin(), MinimumDllImage().end());
    std::optional<TPeImage> pe = TPeImage::Parse(image);
    ASSERT_TRUE(pe);
    std::printf("template library: %u bytes\n", static_cast<unsigned>(image.size()));
    {
        TScopedLibrary module = LoadDataModule(module_);
        std::vector<TResData> own = ResourcesOf(module.Get());
        ASSERT_EQ(own.size(), 2u);
        EXPECT_TRUE(std::all_of(own.begin(), own.end(),
                                [](const TResData& r) { return r.Type == RcDataType(); }));
    }
    std::unique_ptr<TLumResourceUpdate> update = BeginResourceUpdate(module_, true);
    SaveRcText(*update, u"LUM.RSM", u"65535=LumSysConst_SOperationAborted\r\n");
    update->Commit();

    TScopedLibrary module = LoadDataModule(module_);
    std::vector<TResData> now = ResourcesOf(module.Get());
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].Name, TResId(u"LUM.RSM"));
    EXPECT_TRUE(HasResourceText(module.Get(), u"lum.rsm"));
    EXPECT_EQ(ReadResourceText(module.Get(), u"LUM.RSM"),
              u"65535=LumSysConst_SOperationAborted\r\n");
    EXPECT_FALSE(HasResourceText(module.Get(), u"LUMTRXTEMPLATE"));
    EXPECT_EQ(ReadResourceText(module.Get(), u"LUMTRXTEMPLATE"), u"");
}

TEST_F(ResourceUtils, RefusedWritesRaise) {
    std::unique_ptr<TLumResourceUpdate> update = BeginResourceUpdate(module_, false);
    EXPECT_THROW(SaveRcText(*update, u"Lum.Rsm", u"x"), Exception);
    EXPECT_THROW(BeginResourceUpdate(module_ + u".missing", false), EOSError);
    EXPECT_THROW(LoadDataModule(module_ + u".missing"), EOSError);
}

TEST_F(ResourceUtils, StringTablesWithGapsAndEmptiedStrings) {
    TStringBlockLists written{
        {{33, u"one"}, {37, u"five"}}, {{49, u"gone"}, {50, u"stays"}}, {{64, u"alone"}}};
    PutString(written, 49, u"");
    PutString(written, 64, u"");
    {
        std::unique_ptr<TLumResourceUpdate> update = BeginResourceUpdate(module_, true);
        WriteStringTables(*update, written);
        update->Commit();
    }
    TScopedLibrary module = LoadDataModule(module_);
    TStringBlockLists read{{{1, u"dropped"}}};
    ReadStringTables(module.Get(), read);
    // The block whose only string was emptied is written with all slots empty and reads back
    // without strings.
    std::sort(read.begin(), read.end(),
              [](const auto& a, const auto& b) { return a.size() > b.size(); });
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0], (TStringBlockList{{33, u"one"}, {37, u"five"}}));
    EXPECT_EQ(read[1], (TStringBlockList{{50, u"stays"}}));
    EXPECT_TRUE(read[2].empty());

    // The system finds each string under its own id, and nothing in the gap.
    wchar_t buffer[16];
    EXPECT_EQ(LoadStringW(module.Get(), 37, buffer, 16), 4);
    EXPECT_EQ(LoadStringW(module.Get(), 34, buffer, 16), 0);
}

TEST_F(ResourceUtils, CopyResourcesGivesTheSourcesResourcesAndNameMap) {
    CopyResources(ostrinExe, module_);

    TScopedLibrary source = LoadDataModule(ostrinExe);
    TScopedLibrary target = LoadDataModule(module_);
    std::vector<TResData> from = ResourcesOf(source.Get());
    std::vector<TResData> to = ResourcesOf(target.Get());
    ASSERT_FALSE(from.empty());
    ASSERT_EQ(to.size(), from.size() + 1);
    for (const TResData& resource : from) {
        SCOPED_TRACE(Key(resource));
        auto copy = std::find_if(to.begin(), to.end(), [&](const TResData& r) {
            return r.Type == resource.Type && r.Name == resource.Name &&
                   r.Language == resource.Language;
        });
        ASSERT_NE(copy, to.end());
        EXPECT_TRUE(std::ranges::equal(copy->Data, resource.Data));
    }
    // Nothing of the template's own is left; the name map section came as a resource text.
    EXPECT_FALSE(HasResourceText(target.Get(), u"LUMTRXTEMPLATE"));
    std::vector<std::uint8_t> exe = ReadAll(ostrinExe);
    std::optional<TPeImage> image = TPeImage::Parse(exe);
    ASSERT_TRUE(image);
    const TPeSection* section = image->FindSection("LUM.RSM");
    ASSERT_NE(section, nullptr);
    std::u16string map = ReadResourceText(target.Get(), u"LUM.RSM");
    EXPECT_EQ(map, ResourceTextOf(image->SectionData(*section)));
    EXPECT_TRUE(map.starts_with(u"65") && map.ends_with(u"\r\n"));
}

TEST_F(ResourceUtils, FormResourcesOfTheProgram) {
    TScopedLibrary module = LoadDataModule(ostrinExe);
    std::vector<std::string> names{"left over"};
    ListFormResources(module.Get(), names);
    // The forms; not the build identity, which is RCDATA text.
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"TEXCEPTIONDIALOG", "TLUMDBGEXCEPTIONDIALOG", "TLUMFLASHFORM",
                                     "TOSTRINFORM"}));
    EXPECT_TRUE(HasResourceText(module.Get(), u"LUM_TRX_GUID"));
}

TEST_F(ResourceUtils, WithoutTheWideCallsNothingIsTouched) {
    TWideSystemQuery previous = SetWideSystemQuery([] { return false; });
    auto restore = OnScopeExit([&] { SetWideSystemQuery(previous); });
    std::vector<std::uint8_t> before = ReadAll(module_);
    for (auto write : {+[](const std::u16string& file) { BeginResourceUpdate(file, true); },
                       +[](const std::u16string& file) { CopyResources(ostrinExe, file); }}) {
        try {
            write(module_);
            ADD_FAILURE() << "no error";
        } catch (const ELumGeneralError& error) {
            EXPECT_EQ(error.Message(),
                      u"Translation resource editing is not available on this version of Windows.");
        }
        EXPECT_EQ(ReadAll(module_), before);
    }
}
