// The translation utilities under Wine: the language table against the prefix's locales and
// against tables of locales given by the test, translation file names and languages, build
// identities and prepared modules (files made from the built Ostrin.exe and a stand-in
// library), the section readers, and the choice of a module by registry and thread locale.

#include "lib/LumTrx/LumTrxUtils.h"
#include "lib/LumTrx/LumDbgUtils.h"
#include "tests/lib/LumTrx/LumTrxTestModules.h"
#include "tests/support/LumTestChecks.h"
#include "tests/support/LumTestFiles.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumBuildIdentity.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/res/LumResourceUpdateWin.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

namespace {

std::u16string OstrinExe() {
    return TestBuildFolder() + u"\\app\\Ostrin.exe";
}

std::u16string Container() {
    return TestBuildFolder() + u"\\standin\\capicom1\\capicom.dll";
}

std::string Utf8(const std::u16string& text) {
    return WideToUtf8(text);
}

class TrxFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        RemoveTree(folder_);
        ASSERT_TRUE(CreateDirectoryW(WinStr(folder_), nullptr));
    }
    void TearDown() override { RemoveTree(folder_); }

    std::u16string Path(std::u16string_view name) const {
        return folder_ + u"\\" + std::u16string(name);
    }

    std::u16string folder_ = SystemTempPath() + u"LumTrxUtilsTest";
};

class TrxLangsTable : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { LumTrxUtilsUnit.Start(); }
    static void TearDownTestSuite() { LumTrxUtilsUnit.Stop(); }
};

std::u16string NameOf(TLangId langId) {
    return Format(u"L%.4X", static_cast<int>(langId));
}

std::vector<std::u16string> Entries(const TLumTrxLangs& langs) {
    std::vector<std::u16string> entries;
    for (int i = 0; i < langs.Count(); ++i) {
        entries.push_back(langs.EntryAt(i) + u"=" + NameOf(langs.LangIdAt(i)));
    }
    return entries;
}

} // namespace

// ---- The language table from given locales ----

TEST(TrxLangs, TakenAbbreviationsGetTheirSubLanguageAndNeutralEntriesNeedASecondSubLanguage) {
    TLumTrxLangs langs({{0x0407, u"DEU"},
                        {0x0409, u"ENU"},
                        {0x0411, u"JPN"},
                        {0x0807, u"DES"},
                        {0x1407, u"DEU"},
                        {0x0425, u"ETI"},
                        {0x0809, u"ENG"},
                        {0x040A, u"ESP"},
                        {0x080A, u"ESM"}},
                       &NameOf);
    // Sorted by extension: German, English and Spanish have a second sub-language and so a
    // neutral entry; Japanese and Estonian have none.
    EXPECT_EQ(Entries(langs), (std::vector<std::u16string>{
                                  u"05.DEU|L1407=L1407",
                                  u"DE|L0007=L0007",
                                  u"DES|L0807=L0807",
                                  u"DEU|L0407=L0407",
                                  u"EN|L0009=L0009",
                                  u"ENG|L0809=L0809",
                                  u"ENU|L0409=L0409",
                                  u"ES|L000A=L000A",
                                  u"ESM|L080A=L080A",
                                  u"ESP|L040A=L040A",
                                  u"ETI|L0425=L0425",
                                  u"JPN|L0411=L0411",
                              }));
    EXPECT_EQ(langs.IndexOfExt(u"05.deu"), 0);
    EXPECT_EQ(langs.LangIdOfExt(u"ES"), 0x000A);
    EXPECT_EQ(langs.IndexOfExt(u"JA"), -1);
    EXPECT_EQ(langs.IndexOfExt(u"ET"), -1);
}

// Wine gives a dozen locales the abbreviation ZZZ, default sub-languages among them.
TEST(TrxLangs, SharedAbbreviationsNeverStopTheTableNorRepeatAnExtension) {
    TLumTrxLangs langs({{0x0466, u"ZZZ"},
                        {0x0C51, u"ZZZ"},
                        {0x0467, u"ZZZ"},
                        {0x0867, u"ZZZ"},
                        {0x0458, u"ZZZ"},
                        {0x0858, u"ZZZ"},
                        {0x0866, u"ZZZ"}},
                       &NameOf);
    EXPECT_EQ(Entries(langs), (std::vector<std::u16string>{
                                  u"01.ZZZ|L0467=L0467",
                                  u"02.ZZZ|L0867=L0867",
                                  u"03.ZZZ|L0C51=L0C51",
                                  u"ZZ|L0067=L0067",
                                  u"ZZZ|L0466=L0466",
                              }));
}

// ---- The language table of the prefix ----

TEST_F(TrxLangsTable, HoldsEveryLocaleWithItsAbbreviationAndTheNeutralForms) {
    const TLumTrxLangs& langs = TrxLangs();
    // Wine 8 supports 255 locales; nearly all have an abbreviation, and many primary
    // languages have several sub-languages.
    EXPECT_GT(langs.Count(), 200);
    ASSERT_GE(langs.IndexOfExt(u"DEU"), 0);
    EXPECT_EQ(langs.LangIdOfExt(u"DEU"), 0x0407);
    EXPECT_EQ(langs.LangIdOfExt(u"DES"), 0x0807);
    EXPECT_EQ(langs.LangIdOfExt(u"DE"), 0x0007);
    EXPECT_EQ(langs.LangIdOfExt(u"ENU"), 0x0409);
    // A neutral entry shows the English name of the language.
    EXPECT_EQ(langs.EntryAt(langs.IndexOfExt(u"DE")), u"DE|German");

    std::set<std::u16string> extensions;
    int prefixed = 0;
    for (int i = 0; i < langs.Count(); ++i) {
        SCOPED_TRACE(Utf8(langs.EntryAt(i)));
        std::u16string ext = langs.ExtAt(i);
        EXPECT_TRUE(extensions.insert(AsciiUpperCase(ext)).second);
        EXPECT_EQ(langs.IndexOfExt(ext), i);
        TLangId langId = langs.LangIdAt(i);
        if (ext.size() == 2) {
            EXPECT_EQ(langId >> 10, 0);
        } else if (ext.size() > 3) {
            // "%.2X.ABC": the sub-language of a locale whose abbreviation another one has.
            ++prefixed;
            ASSERT_EQ(ext.size(), 6u);
            EXPECT_EQ(ext.substr(0, 2), Format(u"%.2X", langId >> 10));
            EXPECT_GE(langs.IndexOfExt(ext.substr(3)), 0);
        }
    }
    EXPECT_GT(prefixed, 0) << "the prefix has no locales that share an abbreviation";
}

TEST_F(TrxLangsTable, LooksUpExtensionsWithOrWithoutOneDotInAnyCase) {
    const TLumTrxLangs& langs = TrxLangs();
    int deu = langs.IndexOfExt(u"DEU");
    EXPECT_EQ(langs.IndexOfExt(u"deu"), deu);
    EXPECT_EQ(langs.IndexOfExt(u".DEU"), deu);
    EXPECT_EQ(langs.IndexOfExt(u".dEu"), deu);
    EXPECT_EQ(langs.IndexOfExt(u"..DEU"), -1);
    EXPECT_EQ(langs.IndexOfExt(u"DEUX"), -1);
    EXPECT_EQ(langs.IndexOfExt(u""), -1);
    EXPECT_EQ(langs.IndexOfExt(u"QQQ"), -1);
    EXPECT_EQ(langs.LangIdOfExt(u"QQQ"), 0);
    EXPECT_EQ(langs.ExtOfLangId(0x0407), u"DEU");
    EXPECT_EQ(langs.ExtOfLangId(0x0007), u"DE");
    EXPECT_EQ(langs.ExtOfLangId(0x7FFF), u"???");
    EXPECT_EQ(langs.IndexOfLangId(0x7FFF), -1);
}

TEST_F(TrxLangsTable, TranslationFileNamesAndLanguages) {
    const std::u16string exe = u"C:\\Pro.gram\\Ostrin.exe";
    // The stand-in has no version information; Ostrin.exe's says US English.
    EXPECT_EQ(TranslationFileName(exe, 0x0407), u"C:\\Pro.gram\\Ostrin.DEU");
    EXPECT_EQ(TranslationFileName(u"C:\\Pro.gram\\Ostrin", 0x0007), u"C:\\Pro.gram\\Ostrin.DE");
    EXPECT_EQ(TranslationFileName(exe, 0x7FFF), u"C:\\Pro.gram\\Ostrin.???");
    EXPECT_EQ(TranslationFileName(OstrinExe(), 0x0409), OstrinExe());
    EXPECT_EQ(FileVersionLanguage(OstrinExe()), 0x0409);

    EXPECT_EQ(TranslationLanguage(exe, u"C:\\Pro.gram\\Ostrin.deu"), 0x0407);
    EXPECT_EQ(TranslationLanguage(exe, u"C:\\Pro.gram\\Ostrin.DE"), 0x0007);
    EXPECT_EQ(TranslationLanguage(exe, u"C:\\Pro.gram\\Ostrin"), 0);
    EXPECT_EQ(TranslationLanguage(exe, u"C:\\Pro.gram\\Ostrin.xyz"), 0);
    EXPECT_EQ(TranslationLanguage(OstrinExe(), AsciiUpperCase(OstrinExe())), 0x0409);
}

TEST(TrxCodePage, OnlyASystemWithoutWideWindowFunctionsWarnsOfAnotherCodePage) {
    EXPECT_EQ(CodePageWarning(0x0419, false, 1252),
              u"The current System Locale does not support the display of Russian characters."
              u"\r\nThe user interface may appear garbled.");
    EXPECT_EQ(CodePageWarning(0x0419, false, 1251), u"");
    EXPECT_EQ(CodePageWarning(0x0407, false, 1252), u"");
    EXPECT_EQ(CodePageWarning(0x0419, true, 1252), u"");
}

// ---- Sections, identities and prepared modules ----

TEST_F(TrxFiles, SectionsOfTheProgramAndOfFilesThatAreNone) {
    EXPECT_TRUE(FileHasSection(OstrinExe(), "LUM.RSM"));
    EXPECT_FALSE(FileHasSection(OstrinExe(), "LUM.XYZ"));
    EXPECT_FALSE(FileHasSection(Path(u"missing.dll"), "LUM.RSM"));
    WriteTestFile(Path(u"text.dll"), "MZ but nothing more");
    EXPECT_FALSE(FileHasSection(Path(u"text.dll"), "LUM.RSM"));
    EXPECT_EQ(ReadSectionText(Path(u"text.dll"), "LUM.RSM"), u"");
    WriteTestFile(Path(u"empty.dll"));
    EXPECT_FALSE(FileHasSection(Path(u"empty.dll"), "LUM.RSM"));
    EXPECT_FALSE(IsSoundResourceModule(Path(u"empty.dll")));
    EXPECT_TRUE(IsSoundResourceModule(OstrinExe()));

    std::u16string map = ReadSectionText(OstrinExe(), "LUM.RSM");
    EXPECT_NE(map.find(u"=LumSysConst_SEndOfFile\r\n"), std::u16string::npos);
    EXPECT_NE(map.find(u"=LumTrxSysInit_SNotPrepared\r\n"), std::u16string::npos);
    EXPECT_EQ(map.substr(map.size() - 2), u"\r\n");
}

TEST_F(TrxFiles, ASectionThatTheFileEndsInsideIsAnInternalError) {
    std::vector<std::uint8_t> bytes = ReadTestFile(OstrinExe());
    std::optional<TPeImage> image = TPeImage::Parse(bytes);
    ASSERT_TRUE(image);
    const TPeSection* section = image->FindSection("LUM.RSM");
    ASSERT_TRUE(section);
    bytes.resize(section->PointerToRawData + 100);
    WriteTestBytes(Path(u"Ostrin.exe"), bytes);
    EXPECT_TRUE(FileHasSection(Path(u"Ostrin.exe"), "LUM.RSM"));
    std::uint32_t requested = std::min(section->VirtualSize, section->SizeOfRawData);
    EXPECT_EQ(
        MessageOf<ELumInternalError>([&] { ReadSectionText(Path(u"Ostrin.exe"), "LUM.RSM"); }),
        Format(u"%d bytes were requested.  %d bytes were returned.", static_cast<int>(requested),
               100));
    // A file cut short is no module at all: the checks refuse it instead of reading past it.
    EXPECT_FALSE(IsSoundResourceModule(Path(u"Ostrin.exe")));
    EXPECT_THROW(IsModulePrepared(Path(u"Ostrin.exe")), EOSError);
}

TEST_F(TrxFiles, BuildIdentitiesFromEitherResourceCompareExactly) {
    const std::u16string guid = u"{0123ABCD-4567-89AB-CDEF-0123456789AB}";
    std::u16string exeIdentity = ReadBuildIdentity(OstrinExe());
    EXPECT_TRUE(IsRegistryGuid(exeIdentity)) << Utf8(exeIdentity);
    EXPECT_EQ(ReadBuildIdentity(Container()), u"");

    MakeTestModule(Container(), OstrinExe(), Path(u"Same.DEU"));
    EXPECT_TRUE(SameBuildIdentity(OstrinExe(), Path(u"Same.DEU")));

    std::u16string lower = exeIdentity;
    for (char16_t& c : lower) {
        c = c >= u'A' && c <= u'F' ? static_cast<char16_t>(c + 32) : c;
    }
    MakeTestModule(Container(), OstrinExe(), Path(u"Lower.DEU"),
                   TTestModuleOptions().WithIdentity(lower));
    EXPECT_EQ(ReadBuildIdentity(Path(u"Lower.DEU")), lower);
    EXPECT_FALSE(SameBuildIdentity(OstrinExe(), Path(u"Lower.DEU")));

    // The placeholder counts as none; the second place is read then.
    MakeTestModule(Container(), OstrinExe(), Path(u"Placeholder.DEU"),
                   TTestModuleOptions().WithIdentity(std::u16string(kBuildIdentityPlaceholder)));
    EXPECT_EQ(ReadBuildIdentity(Path(u"Placeholder.DEU")), u"");
    {
        TLumResourceUpdate update(Path(u"Placeholder.DEU"));
        std::vector<std::uint8_t> data;
        for (char16_t c : guid) {
            data.push_back(static_cast<std::uint8_t>(c));
            data.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        update.Update(RcDataType(), TResId(u"LUM.GUID"), 0, data);
        update.Commit();
    }
    EXPECT_EQ(ReadBuildIdentity(Path(u"Placeholder.DEU")), guid);
}

TEST_F(TrxFiles, APreparedModuleHasTheNameMapAndAnIdentity) {
    EXPECT_TRUE(IsModulePrepared(OstrinExe()));
    MakeTestModule(Container(), OstrinExe(), Path(u"Prepared.DEU"));
    EXPECT_TRUE(IsModulePrepared(Path(u"Prepared.DEU")));
    EXPECT_NO_THROW(RequireModulePrepared(Path(u"Prepared.DEU")));

    MakeTestModule(Container(), OstrinExe(), Path(u"NoMap.DEU"),
                   TTestModuleOptions().WithoutNameMap());
    EXPECT_FALSE(IsModulePrepared(Path(u"NoMap.DEU")));
    MakeTestModule(Container(), OstrinExe(), Path(u"NoIdentity.DEU"),
                   TTestModuleOptions().WithIdentity(u""));
    EXPECT_FALSE(IsModulePrepared(Path(u"NoIdentity.DEU")));
    MakeTestModule(Container(), OstrinExe(), Path(u"Placeholder.DEU"),
                   TTestModuleOptions().WithIdentity(std::u16string(kBuildIdentityPlaceholder)));
    EXPECT_FALSE(IsModulePrepared(Path(u"Placeholder.DEU")));
    EXPECT_EQ(
        MessageOf<ELumInternalError>([&] { RequireModulePrepared(Path(u"Placeholder.DEU")); }),
        u"Internal Error: LUM.RSM or LUM_TRX_GUID resource not created.  (" +
            Path(u"Placeholder.DEU") + u")");

    // What cannot be read or is no module raises, as a failed load would.
    EXPECT_THROW(IsModulePrepared(Path(u"missing.DEU")), EFOpenError);
    WriteTestFile(Path(u"text.DEU"), "not a module");
    EXPECT_THROW(IsModulePrepared(Path(u"text.DEU")), EOSError);
}

// ---- Choosing the module ----

TEST(TrxModuleNames, TheExtensionReplacesOnlyAnExtensionOfTheName) {
    EXPECT_EQ(ResourceModuleFileName(u"C:\\a\\Prog.exe", u"DEU"), u"C:\\a\\Prog.DEU");
    EXPECT_EQ(ResourceModuleFileName(u"C:\\a.b\\Prog", u"DEU"), u"C:\\a.b\\Prog.DEU");
    EXPECT_EQ(ResourceModuleFileName(u"C:Prog", u"DE"), u"C:Prog.DE");
    EXPECT_EQ(ResourceModuleFileName(u"Prog.x.exe", u"DE"), u"Prog.x.DE");
}

class TrxChoice : public TrxFiles {
  protected:
    void SetUp() override {
        TrxFiles::SetUp();
        WriteTestFile(exe_, "the program");
        exeLong_ = LongPathName(exe_);
    }
    void TearDown() override {
        Configure({});
        TrxFiles::TearDown();
    }

    // The value named by the program's long path under the current user's locales key;
    // nothing configured removes it.
    void Configure(std::optional<std::u16string> ext) { ConfigureTranslation(exeLong_, ext); }

    std::u16string exe_ = Path(u"Prog.exe");
    std::u16string exeLong_;
};

TEST_F(TrxChoice, TheConfiguredExtensionThenTheThreadLocalesNames) {
    std::u16string abbreviation = ThreadLocaleAbbreviation();
    ASSERT_EQ(abbreviation.size(), 3u);
    EXPECT_EQ(FindResourceModuleFile(exe_), u"");

    // A folder of a candidate's name is no module, and neither is a file that does not load.
    ASSERT_TRUE(CreateDirectoryW(WinStr(Path(u"Prog.") + abbreviation), nullptr));
    WriteTestFile(Path(u"Prog.") + abbreviation.substr(0, 2), "no module");
    EXPECT_EQ(FindResourceModuleFile(exe_), u"");

    ASSERT_TRUE(
        CopyFileW(WinStr(Container()), WinStr(Path(u"Prog.") + abbreviation.substr(0, 2)), FALSE));
    EXPECT_EQ(FindResourceModuleFile(exe_),
              exeLong_.substr(0, exeLong_.size() - 3) + abbreviation.substr(0, 2));

    ASSERT_TRUE(CopyFileW(WinStr(Container()), WinStr(Path(u"Prog.XYZ")), FALSE));
    Configure(u"XYZ");
    EXPECT_EQ(ConfiguredResourceExtension(exeLong_), u"XYZ");
    EXPECT_EQ(FindResourceModuleFile(exe_), exeLong_.substr(0, exeLong_.size() - 3) + u"XYZ");

    // Configured but empty: the thread locale's names again.
    Configure(u"");
    EXPECT_EQ(FindResourceModuleFile(exe_),
              exeLong_.substr(0, exeLong_.size() - 3) + abbreviation.substr(0, 2));
}

TEST_F(TrxChoice, InstallingAModuleFreesTheOneBefore) {
    ASSERT_TRUE(CopyFileW(WinStr(Container()), WinStr(Path(u"One.DEU")), FALSE));
    HMODULE module = LoadLibraryExW(WinStr(Path(u"One.DEU")), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    InstallResourceModule(module);
    EXPECT_EQ(FindResourceHInstance(MainInstance()), module);
    InstallResourceModule(MainInstance());
    EXPECT_EQ(FindResourceHInstance(MainInstance()), MainInstance());
    // Freed: the file can be replaced now.
    EXPECT_TRUE(DeleteFileW(WinStr(Path(u"One.DEU"))));
}
