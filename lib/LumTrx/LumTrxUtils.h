#pragma once
// The translation runtime's utilities: the table of languages and the extensions of their
// translation modules, the file name and language of a translation, and the checks that tell
// a prepared translation module (one with the name map and a build identity) from another.

#include "toolkit/base/LumStringList.h"
#include "toolkit/base/LumUnits.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// A Windows language identifier: primary language in bits 0 to 9, sub-language above.
using TLangId = std::uint16_t;

/// A locale as the system lists it: its identifier and three-letter language abbreviation.
struct TLumLocale {
    std::uint32_t Lcid = 0;
    std::u16string Abbreviation;
};

/// The display name of a language: its localised name for a sub-language, its English name for
/// a neutral one (sub-language 0); empty when the system has none.
using TLangNameSource = std::function<std::u16string(TLangId langId)>;

/// The extensions of translation modules and the languages they stand for. Each entry is
/// "EXT|Display name" with its LANGID: the locale's three-letter abbreviation (DEU), for a
/// locale whose abbreviation is taken the sub-language in two hexadecimal digits, "." and the
/// abbreviation (02.DEU), and the two-letter neutral form (DE) for a primary language that has
/// another sub-language besides its default one. An extension is never in the table twice: a
/// locale whose extension is taken even with its sub-language, and a neutral form that
/// another primary language has already, are left out.
class TLumTrxLangs {
  public:
    /// The table of the system's supported locales.
    TLumTrxLangs();
    /// The table of the given locales, in their order, named by `names`.
    TLumTrxLangs(const std::vector<TLumLocale>& locales, const TLangNameSource& names);
    TLumTrxLangs(const TLumTrxLangs&) = delete;
    TLumTrxLangs& operator=(const TLumTrxLangs&) = delete;

    int Count() const { return list_.Count(); }
    /// The entry's text up to its first "|".
    std::u16string ExtAt(int index) const;
    TLangId LangIdAt(int index) const;
    /// The whole entry, "EXT|Display name".
    const std::u16string& EntryAt(int index) const { return list_.Strings(index); }
    /// The index of the extension (one leading "." ignored, case ignored), or -1.
    int IndexOfExt(std::u16string_view ext) const;
    /// The first entry of that language, or -1.
    int IndexOfLangId(TLangId langId) const;
    /// The extension of the language, "???" when it has none.
    std::u16string ExtOfLangId(TLangId langId) const;
    /// The language of the extension, 0 when it has none.
    TLangId LangIdOfExt(std::u16string_view ext) const;

  private:
    void Build(const std::vector<TLumLocale>& locales, const TLangNameSource& names);

    TLumStringList list_;
};

/// The table of the system's languages while LumTrxUtilsUnit runs, made on the first call after
/// the unit started (a start-up trace mark tells when). Raises ELumInternalError when the unit
/// does not run.
const TLumTrxLangs& TrxLangs();

/// The language of the file's version information (the low word of its first translation);
/// 0 when the file has none.
TLangId FileVersionLanguage(const std::u16string& file);

/// The name of the translation module of the executable for the language: the executable's
/// own name for the language of its version information, its name with the extension
/// replaced by ExtOfLangId otherwise ("Ostrin.???" for a language without one).
std::u16string TranslationFileName(const std::u16string& exeFile, TLangId langId);

/// The language of a translation module: the executable's version-information language when
/// the module is the executable, else the language of the module name's extension (0 when it
/// has none).
TLangId TranslationLanguage(const std::u16string& exeFile, const std::u16string& moduleFile);

/// The build identity of a module file: RCDATA LUM_TRX_GUID, or LUM.GUID when that is missing,
/// empty or the placeholder; empty when neither has one. Raises EFOpenError when the file
/// cannot be read and EOSError (ERROR_BAD_EXE_FORMAT) when it is not a sound PE image.
std::u16string ReadBuildIdentity(const std::u16string& file);

/// Whether the two files have the same build identity, letter case counting.
bool SameBuildIdentity(const std::u16string& fileA, const std::u16string& fileB);

/// Whether the file is a prepared module: it has the name map (section or RCDATA LUM.RSM) and
/// a build identity. Raises as ReadBuildIdentity.
bool IsModulePrepared(const std::u16string& file);

/// Raises ELumInternalError "Internal Error: LUM.RSM or LUM_TRX_GUID resource not created.
/// (<file>)" unless the file is a prepared module.
void RequireModulePrepared(const std::u16string& file);

/// The warning that the system cannot show the language's characters, "" when there is none
/// to give: only a system without wide window functions warns, when the language's ANSI code
/// page is known, not 0 and not `systemCodePage`.
std::u16string CodePageWarning(TLangId langId, bool wideWindowFunctions, unsigned systemCodePage);

/// Shows CodePageWarning for this system in the plain message box, if there is one.
void WarnIfCodePageUnsupported(TLangId langId);

/// The file of the active resource module, found again as the runtime found it: the
/// executable's long path when it is its own resource module. Raises ELumInternalError
/// "Internal Error: Can not determine resource module." when the file is no longer found.
std::u16string ActiveResourceModuleFileName();

/// Its start builds TrxLangs; its last stop frees it.
extern TUnit LumTrxUtilsUnit;
