#include "lib/LumTrx/LumTrxResourceUtilsWin.h"

#include "lib/LumLX/LumLXFlashMsg.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumTrxMinimumDllWin.h"
#include "lib/LumTrx/LumTrxTable.h"
#include "rstr/LumTrxResourceUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumSystemWin.h"

namespace {

// The template with the executable's resources and canonical format strings, at `target`;
// removed again when it cannot be completed, so that no half-made module is left to be taken
// for a translation.
void BuildModule(const std::u16string& exeFile, const std::u16string& target) {
    auto removeHalfMade = OnScopeFailure([&] { DeleteFileW(WinStr(target)); });
    {
        TLumFileStream file(target, fmCreate);
        std::span<const std::uint8_t> image = MinimumDllImage();
        file.WriteBuffer(image.data(), image.size());
    }
    CopyResources(exeFile, target);
    CanonicalizeFormatStrings(exeFile, target);
}

TLumOwned<TLumTransTable> LoadTable(const std::u16string& exeFile,
                                    const std::u16string& moduleFile) {
    TLumOwned<TLumTransTable> table(new TLumTransTable(nullptr));
    table->Load(exeFile, moduleFile);
    return table;
}

bool SameFileName(const std::u16string& a, const std::u16string& b) {
    return lstrcmpiW(WinStr(a), WinStr(b)) == 0;
}

} // namespace

std::u16string CreateTranslation(const std::u16string& exeFile, TLangId langId) {
    std::u16string module = TranslationFileName(exeFile, langId);
    if (FileExists(module)) {
        throw ELumInternalError(
            Format(LoadResString(LumTrxResourceUtils::STranslationExists), module));
    }
    BuildModule(exeFile, module);
    return module;
}

void CanonicalizeFormatStrings(const std::u16string& exeFile, const std::u16string& moduleFile) {
    TLumOwned<TLumTransTable> table = LoadTable(exeFile, moduleFile);
    table->DisableControls();
    auto enable = OnScopeExit([&] { table->EnableControls(); });
    for (table->First(); !table->Eof(); table->Next()) {
        if (!table->IsStringResource()) {
            continue;
        }
        std::u16string text = table->Value();
        std::u16string canonical = CanonicalFormatStringOrText(text);
        if (canonical != text) {
            // The program's own text stays the reference a translation is checked against.
            table->Edit();
            table->SetRefValue(text);
            table->SetValue(canonical);
            table->Post();
        }
    }
    table->Save(false);
}

void CarryTranslations(const std::u16string& exeFile, const std::u16string& oldModule,
                       const std::u16string& newModule) {
    TLumOwned<TLumTransTable> old = LoadTable(exeFile, oldModule);
    TLumOwned<TLumTransTable> rebuilt = LoadTable(exeFile, newModule);
    rebuilt->Merge(*old, true);
    rebuilt->Save(false);
}

void UpdateTranslation(const std::u16string& exeFile, const std::u16string& moduleFile,
                       const TCarryTranslations& carry) {
    TLumOwned<TLumFlashForm> flash = ShowFlashMessage(
        LoadResString(LumTrxResourceUtils::SUpdatingTranslation) + moduleFile + u")");
    TLangId langId = TranslationLanguage(exeFile, moduleFile);
    Assert(SameFileName(TranslationFileName(exeFile, langId), moduleFile),
           u"LumTrx\\LumTrxResourceUtils", 422);
    // The old module holds the translators' work: it is replaced only by a complete new one.
    std::u16string building = moduleFile + u".tmp";
    DeleteExistingFile(building);
    auto removeBuilding = OnScopeFailure([&] { DeleteFileW(WinStr(building)); });
    BuildModule(exeFile, building);
    carry(moduleFile, building);
    Win32Check(MoveFileExW(WinStr(building), WinStr(moduleFile),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE);
}

void UpdateTranslation(const std::u16string& exeFile, const std::u16string& moduleFile) {
    UpdateTranslation(exeFile, moduleFile,
                      [&](const std::u16string& oldModule, const std::u16string& newModule) {
                          CarryTranslations(exeFile, oldModule, newModule);
                      });
}
