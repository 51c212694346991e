#include "lib/LumTrx/LumTrxUtils.h"

#include "rstr/LumTrxUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumBuildIdentity.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/ui/LumApplication.h"
#include "toolkit/win/LumProgram.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <mutex>

namespace {

constexpr TLangId PrimaryOf(std::uint32_t id) {
    return static_cast<TLangId>(id & 0x3FF);
}
constexpr TLangId SubOf(std::uint32_t id) {
    return static_cast<TLangId>((id >> 10) & 0x3F);
}
constexpr TLangId LangIdOf(TLangId primary, TLangId sub) {
    return static_cast<TLangId>(primary | (sub << 10));
}
constexpr TLangId kSubDefault = SUBLANG_DEFAULT;

void* AsObject(TLangId langId) {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(langId));
}
TLangId FromObject(void* object) {
    return static_cast<TLangId>(reinterpret_cast<std::uintptr_t>(object));
}

std::u16string LocaleText(LCID locale, LCTYPE type) {
    wchar_t text[128] = {};
    if (!GetLocaleInfoW(locale, type, text, 128)) {
        return {};
    }
    return FromWinStr(text);
}

LCID LocaleOf(TLangId langId) {
    return MAKELCID(langId, SORT_DEFAULT);
}

// EnumSystemLocalesW hands its callback no context; the table is built on the main thread.
std::vector<TLumLocale>* enumerated = nullptr;

BOOL CALLBACK AddLocale(LPWSTR text) {
    LCID lcid = std::wcstoul(text, nullptr, 16);
    std::u16string abbreviation = LocaleText(lcid, LOCALE_SABBREVLANGNAME);
    if (!abbreviation.empty()) {
        enumerated->push_back({lcid, std::move(abbreviation)});
    }
    return TRUE;
}

std::vector<TLumLocale> SystemLocales() {
    std::vector<TLumLocale> locales;
    enumerated = &locales;
    EnumSystemLocalesW(&AddLocale, LCID_SUPPORTED);
    enumerated = nullptr;
    return locales;
}

std::u16string SystemLangName(TLangId langId) {
    return LocaleText(LocaleOf(langId), SubOf(langId) ? LOCALE_SLANGUAGE : LOCALE_SENGLANGUAGE);
}

// The table is made on first use: enumerating the system's locales takes milliseconds, and a
// start without a translation module never needs it.
std::mutex trxLangsLock;
bool trxLangsAvailable = false;
std::unique_ptr<TLumTrxLangs> trxLangs;

void Start() {
    std::lock_guard lock(trxLangsLock);
    trxLangsAvailable = true;
}

void Stop() {
    std::lock_guard lock(trxLangsLock);
    trxLangsAvailable = false;
    trxLangs.reset();
}

} // namespace

TUnit LumTrxUtilsUnit("LumTrxUtils", &Start, &Stop);

// ---------------------------------------------------------------------------------------------
// TLumTrxLangs

TLumTrxLangs::TLumTrxLangs() {
    Build(SystemLocales(), &SystemLangName);
}

TLumTrxLangs::TLumTrxLangs(const std::vector<TLumLocale>& locales, const TLangNameSource& names) {
    Build(locales, names);
}

void TLumTrxLangs::Build(const std::vector<TLumLocale>& locales, const TLangNameSource& names) {
    list_.SetSorted(true);
    list_.SetDuplicates(dupError);
    // Systems give several locales the same abbreviation, a default sub-language among them
    // too (Wine's "ZZZ" for locales it has no abbreviation for): the first keeps the plain
    // extension, the others take their sub-language as a prefix, and a locale whose prefixed
    // extension is taken as well is left out. Nothing here may keep the program from starting.
    auto taken = [this](const std::u16string& ext) { return list_.IndexOf(ext) >= 0; };
    // Neutral candidates: the two-letter form of each default sub-language.
    TLumStringList neutral;
    for (const TLumLocale& locale : locales) {
        TLangId primary = PrimaryOf(locale.Lcid);
        TLangId sub = SubOf(locale.Lcid);
        std::u16string ext = locale.Abbreviation;
        if (taken(ext)) {
            ext = Format(u"%.2X.%s", static_cast<int>(sub), ext);
        }
        if (taken(ext)) {
            continue;
        }
        list_.AddObject(ext, AsObject(LangIdOf(primary, sub)));
        if (sub == kSubDefault) {
            neutral.AddObject(locale.Abbreviation.substr(0, 2), AsObject(LangIdOf(primary, 0)));
        }
    }
    // A neutral entry only where a primary language has a sub-language besides the default.
    for (const TLumLocale& locale : locales) {
        if (SubOf(locale.Lcid) == kSubDefault) {
            continue;
        }
        int index = neutral.IndexOfObject(AsObject(LangIdOf(PrimaryOf(locale.Lcid), 0)));
        if (index >= 0) {
            if (!taken(neutral.Strings(index))) {
                list_.AddObject(neutral.Strings(index), neutral.Objects(index));
            }
            neutral.Delete(index);
        }
    }
    list_.SetSorted(false);
    for (int i = 0; i < list_.Count(); ++i) {
        list_.SetStrings(i, list_.Strings(i) + u"|" + names(FromObject(list_.Objects(i))));
    }
    list_.SetSorted(true);
}

std::u16string TLumTrxLangs::ExtAt(int index) const {
    const std::u16string& entry = list_.Strings(index);
    return entry.substr(0, entry.find(u'|'));
}

TLangId TLumTrxLangs::LangIdAt(int index) const {
    return FromObject(list_.Objects(index));
}

int TLumTrxLangs::IndexOfExt(std::u16string_view ext) const {
    if (!ext.empty() && ext.front() == u'.') {
        ext.remove_prefix(1);
    }
    int index = 0;
    list_.Find(std::u16string(ext) + u"|", index);
    if (index >= Count()) {
        return -1;
    }
    return list_.CompareStrings(ExtAt(index), ext) == 0 ? index : -1;
}

int TLumTrxLangs::IndexOfLangId(TLangId langId) const {
    return list_.IndexOfObject(AsObject(langId));
}

std::u16string TLumTrxLangs::ExtOfLangId(TLangId langId) const {
    int index = IndexOfLangId(langId);
    return index < 0 ? u"???" : ExtAt(index);
}

TLangId TLumTrxLangs::LangIdOfExt(std::u16string_view ext) const {
    int index = IndexOfExt(ext);
    return index < 0 ? 0 : LangIdAt(index);
}

const TLumTrxLangs& TrxLangs() {
    std::lock_guard lock(trxLangsLock);
    if (!trxLangsAvailable) {
        throw ELumInternalError(u"Internal Error: TrxLangs used before LumTrxUtils started.");
    }
    if (!trxLangs) {
        trxLangs = std::make_unique<TLumTrxLangs>();
        TraceStartup("table of languages made");
    }
    return *trxLangs;
}

// ---------------------------------------------------------------------------------------------
// Translation files

TLangId FileVersionLanguage(const std::u16string& file) {
    return static_cast<TLangId>(VersionInfoTranslation(FileVersionInfo(file)) & 0xFFFF);
}

std::u16string TranslationFileName(const std::u16string& exeFile, TLangId langId) {
    if (langId == FileVersionLanguage(exeFile)) {
        return exeFile;
    }
    return ResourceModuleFileName(exeFile, TrxLangs().ExtOfLangId(langId));
}

TLangId TranslationLanguage(const std::u16string& exeFile, const std::u16string& moduleFile) {
    if (LumCompareStrings(exeFile, moduleFile, false) == 0) {
        return FileVersionLanguage(exeFile);
    }
    size_t delimiter = moduleFile.find_last_of(u".\\:");
    if (delimiter == std::u16string::npos || moduleFile[delimiter] != u'.') {
        return 0;
    }
    return TrxLangs().LangIdOfExt(std::u16string_view(moduleFile).substr(delimiter));
}

namespace {

// The file's image, whole within the file: a file that is no image or is cut short is refused
// with the loader's code for what it cannot load.
const TPeImage& SoundImage(const TLumModuleFile& pe) {
    if (!pe.Image() || !IsSoundImage(*pe.Image())) {
        RaiseOSError(ERROR_BAD_EXE_FORMAT);
    }
    return *pe.Image();
}

std::u16string ResourceText(const TPeImage& image, std::u16string_view name) {
    std::optional<TPeResource> entry = image.FindResourceEntry(RcDataType(), TResId(name));
    return entry ? ParseBuildIdentity(image.ResourceData(*entry)) : std::u16string();
}

std::u16string BuildIdentityOf(const TPeImage& image) {
    std::u16string identity = ResourceText(image, kBuildIdentityName);
    return identity.empty() ? ResourceText(image, kBuildIdentitySecondName) : identity;
}

} // namespace

std::u16string ReadBuildIdentity(const std::u16string& file) {
    TLumModuleFile pe(file);
    return BuildIdentityOf(SoundImage(pe));
}

bool SameBuildIdentity(const std::u16string& fileA, const std::u16string& fileB) {
    return ReadBuildIdentity(fileA) == ReadBuildIdentity(fileB);
}

bool IsModulePrepared(const std::u16string& file) {
    TLumModuleFile pe(file);
    const TPeImage& image = SoundImage(pe);
    constexpr char16_t kNameMap[] = u"LUM.RSM";
    bool hasNameMap = image.FindSection("LUM.RSM") ||
                      image.FindResourceEntry(RcDataType(), TResId(std::u16string_view(kNameMap)));
    return hasNameMap && !BuildIdentityOf(image).empty();
}

void RequireModulePrepared(const std::u16string& file) {
    if (!IsModulePrepared(file)) {
        throw ELumInternalError(Format(LoadResString(LumTrxUtils::SModuleNotPrepared), u"LUM.RSM",
                                       u"LUM_TRX_GUID", file));
    }
}

std::u16string CodePageWarning(TLangId langId, bool wideWindowFunctions, unsigned systemCodePage) {
    if (wideWindowFunctions) {
        return {};
    }
    LCID locale = LocaleOf(langId);
    std::u16string codePageText = LocaleText(locale, LOCALE_IDEFAULTANSICODEPAGE);
    unsigned codePage = systemCodePage;
    if (!codePageText.empty() && std::all_of(codePageText.begin(), codePageText.end(),
                                             [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
        codePage = static_cast<unsigned>(std::stoul(WideToAnsi(codePageText)));
    }
    if (codePage == 0 || codePage == systemCodePage) {
        return {};
    }
    return Format(LoadResString(LumTrxUtils::SCodePageUnsupported),
                  LocaleText(locale, LOCALE_SENGLANGUAGE)) +
           u"\r\n" + LoadResString(LumTrxUtils::SGarbledInterface);
}

void WarnIfCodePageUnsupported(TLangId langId) {
    std::u16string warning = CodePageWarning(langId, !RunningOSVersion().IsWin9x(), GetACP());
    if (!warning.empty()) {
        ShowMessage(warning);
    }
}

std::u16string ActiveResourceModuleFileName() {
    std::u16string exeFile = OwnModuleFileName();
    if (FindResourceHInstance(MainInstance()) == MainInstance()) {
        return LongPathName(exeFile);
    }
    std::u16string file = FindResourceModuleFile(exeFile);
    if (file.empty()) {
        throw ELumInternalError(LoadResString(LumTrxUtils::SNoResourceModule));
    }
    return file;
}
